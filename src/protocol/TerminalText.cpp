#include "protocol/TerminalText.h"

namespace velmar {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void appendHex(std::string& out, unsigned char byte) {
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

} // namespace

std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
    if (at >= text.size())
        return 0;
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // no over-long forms
        if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    if (byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(k) < 0x80 || byte(k) > 0xBF)
            return 0;
    return length;
}

bool isC1Control(std::string_view text, std::size_t at) {
    return at + 1 < text.size() && static_cast<unsigned char>(text[at]) == 0xC2 &&
           static_cast<unsigned char>(text[at + 1]) >= 0x80 &&
           static_cast<unsigned char>(text[at + 1]) <= 0x9F;
}

void appendTerminalSafe(std::string& out, std::string_view text, std::string_view alsoEscaped) {
    out.reserve(out.size() + text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c == '\\' || (c < 0x80 && alsoEscaped.find(static_cast<char>(c)) != alsoEscaped.npos)) {
            out += '\\';
            out += static_cast<char>(c);
            ++at;
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++at;
        } else if (c < 0x80) {
            appendHex(out, c);
            ++at;
        } else if (isC1Control(text, at)) {
            const auto code = static_cast<unsigned char>(text[at + 1]);
            out += "\\u00";
            out += kHex[code >> 4];
            out += kHex[code & 0xF];
            at += 2;
        } else if (const std::size_t length = utf8SequenceLength(text, at); length > 0) {
            out.append(text.substr(at, length));
            at += length;
        } else {
            appendHex(out, c);
            ++at;
        }
    }
}

std::string terminalSafe(std::string_view text, std::string_view alsoEscaped) {
    std::string out;
    appendTerminalSafe(out, text, alsoEscaped);
    return out;
}

} // namespace velmar
