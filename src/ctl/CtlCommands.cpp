// The command table's machinery: the families in their order, and the
// operand readers every family shares.
#include "ctl/CtlCommands.h"

#include <vector>

namespace velmar {

std::string ctlQuoted(std::string_view word) {
    std::string out = "'";
    out.append(word);
    out.push_back('\'');
    return out;
}

// Plain decimal digits whose value lies in [low, high]; signs, "0x", blanks
// and trailing junk are no number. Digits past `high` stop accumulating, so
// any length of digits is safe.
std::optional<int> ctlParseBounded(std::string_view text, int low, int high) {
    if (text.empty())
        return std::nullopt;
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        if (value <= high)
            value = value * 10 + (c - '0');
    }
    if (value < low || value > high)
        return std::nullopt;
    return static_cast<int>(value);
}

std::string_view ctlNotAFrameAddress(Ipv4Address address) {
    if (address == 0)
        return "the unspecified address";
    if (address == 0xFFFFFFFFu)
        return "the broadcast address";
    if ((address >> 28) == 0xE)
        return "a multicast address";
    return {};
}

std::span<const CtlCommandSpec> ctlCommands() {
    // The families in the order the help lists them.
    static const std::vector<CtlCommandSpec> rows = [] {
        std::vector<CtlCommandSpec> all;
        for (const auto family :
             {ctlSearchCommands, ctlCrosspointCommands, ctlMessageCommands, ctlSettingsCommands,
              ctlFlashCommands, ctlAdminCommands, ctlInputCommands, ctlIpRoutingCommands,
              ctlLabelCommands, ctlHealthCommands})
            for (const CtlCommandSpec& row : family())
                all.push_back(row);
        return all;
    }();
    return rows;
}

std::string ctlCommandList() {
    std::string list;
    for (const CtlCommandSpec& row : ctlCommands()) {
        if (!list.empty())
            list += ", ";
        list += row.first;
        if (!row.second.empty()) {
            list += ' ';
            list += row.second;
        }
    }
    return list;
}

std::string CtlOperandReader::usage() const {
    std::string text = "usage is velmarctl ";
    text += command.usage;
    return text;
}

bool CtlOperandReader::missing(std::string_view what) {
    std::string message = "missing ";
    message += what;
    message += ": ";
    return fail(message + usage());
}

bool CtlOperandReader::unexpected(std::string_view word) {
    return fail("unexpected " + ctlQuoted(word) + ": " + usage());
}

bool CtlOperandReader::readHost(std::string_view word) {
    std::string_view address = word;
    // The mark the device list puts in front of a frame in recovery mode or
    // in the "#" state; kept in the host for the caller to match the row.
    if (address.starts_with('*') || address.starts_with('#'))
        address.remove_prefix(1);
    const std::optional<Ipv4Address> parsed = parseIpv4(address);
    if (!parsed)
        return fail("HOST must be a dotted IPv4 address such as 192.168.1.20, not " +
                    ctlQuoted(word));
    // No frame has these: a connect would only wait out its time-out. (A
    // subnet's own broadcast address cannot be told without its mask.)
    if (const std::string_view why = ctlNotAFrameAddress(*parsed); !why.empty())
        return fail("HOST " + ctlQuoted(word) + " is " + std::string(why) +
                    ", not the address of a frame");
    options.host = std::string(word);
    return true;
}

bool CtlOperandReader::readHostThen(std::span<const std::string_view> rest,
                                    bool (*then)(CtlOperandReader&,
                                                 std::span<const std::string_view>)) {
    if (rest.empty())
        return missing("HOST");
    return readHost(rest[0]) && then(*this, rest.subspan(1));
}

bool ctlNoOperands(CtlOperandReader& r, std::span<const std::string_view> rest) {
    return rest.empty() || r.unexpected(rest[0]);
}

bool ctlHostOnly(CtlOperandReader& r, std::span<const std::string_view> rest) {
    return r.readHostThen(rest, ctlNoOperands);
}

bool ctlHostFile(CtlOperandReader& r, std::span<const std::string_view> rest) {
    return r.readHostThen(rest, [](CtlOperandReader& r, std::span<const std::string_view> rest) {
        if (rest.empty())
            return r.missing("FILE");
        if (rest.size() > 1)
            return r.unexpected(rest[1]);
        if (rest[0].empty())
            return r.fail("FILE must not be empty");
        r.options.file = std::string(rest[0]);
        return true;
    });
}

} // namespace velmar
