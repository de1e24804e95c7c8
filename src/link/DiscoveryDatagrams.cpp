#include "link/DiscoveryDatagrams.h"

#include <algorithm>
#include <utility>

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

std::optional<std::uint64_t> udpDropsOfSocket(std::string_view table, std::uint64_t inode) {
    // "sl local rem st tx:rx tr:when retrnsmt uid timeout inode ref pointer drops"
    constexpr std::size_t kInodeField = 9;
    constexpr std::size_t kDropsField = 12;
    const auto number = [](std::string_view text) -> std::optional<std::uint64_t> {
        if (text.empty() || text.size() > 19)
            return std::nullopt;
        std::uint64_t value = 0;
        for (char c : text) {
            if (c < '0' || c > '9')
                return std::nullopt;
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
        }
        return value;
    };
    bool header = true;
    while (!table.empty()) {
        const std::size_t nl = table.find('\n');
        std::string_view line = table.substr(0, nl);
        table = nl == std::string_view::npos ? std::string_view{} : table.substr(nl + 1);
        if (std::exchange(header, false))
            continue;
        std::array<std::string_view, kDropsField + 1> fields{};
        std::size_t count = 0;
        while (count < fields.size()) {
            const std::size_t start = line.find_first_not_of(' ');
            if (start == std::string_view::npos)
                break;
            line.remove_prefix(start);
            const std::size_t end = std::min(line.find(' '), line.size());
            fields[count++] = line.substr(0, end);
            line.remove_prefix(end);
        }
        if (count < fields.size() || number(fields[kInodeField]) != inode)
            continue;
        return number(fields[kDropsField]);
    }
    return std::nullopt;
}

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
