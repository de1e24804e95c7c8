#include "protocol/RequestEncoder.h"

#include "protocol/ArgumentLayout.h"
#include "protocol/CommandTable.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string_view>

namespace velmar {

namespace {

// Quoted texts are built in a scratch of this size: quote, text, quote, NUL.
constexpr std::size_t kQuoteScratch = 64;
constexpr std::size_t kMaxQuotedText = kQuoteScratch - 3;

bool isControl(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
}

// Output cursor over the caller's buffer. Every piece goes through put(): the
// separator only while there is room, then as much of the text as still fits.
class LineWriter {
public:
    explicit LineWriter(std::span<char> buffer) : m_out(buffer.data()), m_room(buffer.size() - 1) {}

    void put(char separator, std::string_view text) {
        if (separator != '\0' && m_room > 0) {
            m_out[m_written++] = separator;
            --m_room;
        }
        const std::size_t n = std::min(text.size(), m_room);
        if (n > 0)
            std::memcpy(m_out + m_written, text.data(), n);
        m_written += n;
        m_room -= n;
    }

    bool hasRoom() const { return m_room > 0; }
    std::size_t written() const { return m_written; }

private:
    char* m_out;
    std::size_t m_written = 0;
    std::size_t m_room;
};

// A text with its control characters left out, at most `limit` characters.
template <std::size_t N>
std::string_view cleanText(std::string_view text, std::array<char, N>& scratch, std::size_t at,
                           std::size_t limit) {
    std::size_t n = at;
    for (char c : text) {
        if (n - at >= limit)
            break;
        if (!isControl(c))
            scratch[n++] = c;
    }
    return {scratch.data(), n};
}

std::string_view formatSigned(std::int64_t value, std::array<char, 12>& scratch) {
    const auto r = std::to_chars(scratch.data(), scratch.data() + scratch.size(), value);
    return {scratch.data(), static_cast<std::size_t>(r.ptr - scratch.data())};
}

// "%d.%.2d", with a leading "-" for a negative value.
std::string_view formatDecimal(DecimalValue d, std::array<char, 24>& scratch) {
    char* p = scratch.data();
    char* const end = p + scratch.size();
    if (d.negative)
        *p++ = '-';
    p = std::to_chars(p, end, static_cast<int>(d.whole)).ptr;
    *p++ = '.';
    int h = d.hundredths;
    if (h < 0) {
        *p++ = '-';
        h = -h;
    }
    if (h < 10)
        *p++ = '0';
    p = std::to_chars(p, end, h).ptr;
    return {scratch.data(), static_cast<std::size_t>(p - scratch.data())};
}

void writeArgument(LineWriter& w, const DeviceMessage& m, const ArgSpec& arg) {
    switch (arg.kind) {
    case ValueKind::Int: {
        std::array<char, 12> s;
        w.put(',', formatSigned(m.i(arg.slot()), s));
        break;
    }
    case ValueKind::Unsigned: {
        std::array<char, 12> s;
        w.put(',', formatSigned(m.u(arg.slot()), s));
        break;
    }
    case ValueKind::Decimal: {
        std::array<char, 24> s;
        w.put(',', formatDecimal(m.decimal(arg.slot()), s));
        break;
    }
    case ValueKind::Text: {
        std::array<char, kQuoteScratch> s;
        s[0] = '\'';
        const std::string_view body =
            cleanText(m.text(TextField{arg.offset, arg.capacity}), s, 1, kMaxQuotedText);
        s[body.size()] = '\'';
        w.put(',', {s.data(), body.size() + 1});
        break;
    }
    case ValueKind::Raw: {
        std::array<char, kQuoteScratch> s;
        w.put(',', cleanText(m.text(TextField{arg.offset, arg.capacity}), s, 0, kMaxQuotedText));
        break;
    }
    }
}

} // namespace

std::size_t encodeMessage(const DeviceMessage& m, std::span<char> buffer) {
    if (buffer.data() == nullptr || buffer.empty())
        return 0;
    const std::string_view keyword = keywordOf(m.command);
    if (keyword.empty())
        return 0;

    LineWriter w(buffer);
    char prefix = '%';
    switch (m.flags & 0xF0) {
    case FlagRequest: prefix = keyword.front() == 's' ? '&' : '?'; break;
    case FlagReply: prefix = ':'; break;
    default: break;
    }
    w.put(prefix, keyword);

    if (m.flags & FlagReply) {
        std::array<char, 12> s;
        w.put(',', formatSigned(m.status, s));
    }

    for (const ArgSpec& arg : layoutOf(m.command).request.all())
        writeArgument(w, m, arg);

    if (w.hasRoom()) {
        if (m.tag != 0) {
            std::array<char, 12> s;
            s[0] = '*';
            const auto r = std::to_chars(s.data() + 1, s.data() + s.size(), m.tag);
            w.put(',', {s.data(), static_cast<std::size_t>(r.ptr - s.data())});
        }
        if (m.command == CommandId::sprog && m.i(1) == 1) {
            std::array<char, fields::kProgramLine.capacity> s;
            w.put('#', cleanText(m.text(fields::kProgramLine), s, 0, s.size()));
        }
        if (w.hasRoom())
            w.put('\r', {});
    }
    return w.written();
}

} // namespace velmar
