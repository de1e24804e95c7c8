#include "link/DiscoveryDatagrams.h"

#include <algorithm>

namespace velmar {

namespace {

// Characters below 0x20 and DEL never travel inside a line.
std::string withoutControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F)
            out += c;
    }
    return out;
}

} // namespace

bool isAcceptableSearchReply(std::span<const char> d) {
    return d.size() > 6 && d.size() <= kMaxSearchReply && (d[0] == '!' || d[0] == ':') &&
           d[1] == 'e' && d.back() == '\r';
}

std::optional<std::string> queuedSearchReply(std::string_view senderAddress,
                                             std::span<const char> datagram) {
    if (!isAcceptableSearchReply(datagram))
        return std::nullopt;
    // The first eight characters ("!edev,0," or ":edev,0,") are skipped
    // whatever they hold; a NUL ends the text as it would a C string.
    std::string_view text(datagram.data(), datagram.size() - 1);
    text = text.substr(0, std::min(text.size(), text.find('\0')));
    if (text.size() <= 8)
        return std::nullopt;
    std::string queued(senderAddress);
    queued += ',';
    queued += text.substr(8);
    if (datagram[0] == '!')
        queued += ',';
    return queued;
}

std::array<char, kEchoPacketSize> echoProbePacket() {
    std::array<char, kEchoPacketSize> packet{};
    packet[0] = static_cast<char>(kEchoPacketSize);
    packet[1] = 0;
    std::copy(kEchoText.begin(), kEchoText.end(), packet.begin() + 2);
    return packet;
}

bool isEchoAnswer(std::span<const char> r) {
    return r.size() == kEchoPacketSize && static_cast<unsigned char>(r[0]) == kEchoPacketSize &&
           std::string_view(r.data() + 2, r.size() - 2) == kEchoText;
}

int echoProbeTries(int timeoutMs) { return timeoutMs >= kEchoPollMs ? timeoutMs / kEchoPollMs : 1; }

std::string setAddressLine(const SetAddressRequest& r) {
    std::string line = "%eip,'";
    line += withoutControls(r.serialNumber);
    line += "',";
    line += std::to_string(r.mode);
    line += ",'";
    line += withoutControls(r.ipAddress);
    line += "','";
    line += withoutControls(r.subnetMask);
    line += "','";
    line += withoutControls(r.gateway);
    line += "',";
    line += r.apply ? '1' : '0';
    line += '\r';
    return line;
}

} // namespace velmar
