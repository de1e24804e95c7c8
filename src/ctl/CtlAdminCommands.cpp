// The administration commands: set-id, set-ip, uptime and dump.
#include "ctl/CtlCommands.h"
#include "protocol/WireText.h"

namespace velmar {

namespace {

using Words = std::span<const std::string_view>;

// What a frame takes as its ID and name.
constexpr int kMaxDeviceId = 99;
constexpr std::size_t kMaxDeviceName = 16;

// HOST ID NAME
bool readIdName(CtlOperandReader& r, Words rest) {
    return r.readHostThen(rest, [](CtlOperandReader& r, Words rest) {
        if (rest.size() < 2)
            return r.missing(rest.empty() ? "ID and NAME" : "NAME");
        if (rest.size() > 2)
            return r.unexpected(rest[2]);
        const std::optional<int> id = ctlParseBounded(rest[0], 0, kMaxDeviceId);
        if (!id)
            return r.fail("ID must be a whole number from 0 to " + std::to_string(kMaxDeviceId) +
                          ", not " + ctlQuoted(rest[0]));
        if (const auto why = sendableTextProblem(rest[1], kMaxDeviceName))
            return r.fail("NAME " + ctlQuoted(rest[1]) + " " + *why);
        r.options.deviceId = *id;
        r.options.deviceName = std::string(rest[1]);
        return true;
    });
}

// --dhcp, or ADDRESS MASK GATEWAY.
bool readAddresses(CtlOperandReader& r, Words rest) {
    if (r.options.dhcp) {
        if (!rest.empty())
            return r.fail("unexpected " + ctlQuoted(rest[0]) + ": --dhcp takes no addresses; " +
                          r.usage());
        return true;
    }
    if (rest.size() < 3)
        return r.fail("missing " +
                      std::string(rest.empty()       ? "--dhcp or ADDRESS MASK GATEWAY"
                                  : rest.size() == 1 ? "MASK GATEWAY"
                                                     : "GATEWAY") +
                      ": " + r.usage());
    if (rest.size() > 3)
        return r.fail("unexpected " + ctlQuoted(rest[3]) + ": " + r.usage());
    constexpr std::string_view kNames[] = {"ADDRESS", "MASK", "GATEWAY"};
    for (std::size_t k = 0; k < 3; ++k) {
        if (!parseIpv4(rest[k]))
            return r.fail(std::string(kNames[k]) +
                          " must be a dotted IPv4 address such as 192.168.1.20, not " +
                          ctlQuoted(rest[k]));
        r.options.addresses.emplace_back(rest[k]);
    }
    const Ipv4Address address = *parseIpv4(rest[0]);
    if (address == 0 || address == 0xFFFFFFFFu)
        return r.fail("ADDRESS " + ctlQuoted(rest[0]) + " is " +
                      std::string(ctlNotAFrameAddress(address)) +
                      ", not an address a frame can take; nothing was sent");
    return true;
}

// HOST (or --serial SN), then the addressing.
bool readAddressing(CtlOperandReader& r, Words rest) {
    return r.sawSerial ? readAddresses(r, rest) : r.readHostThen(rest, readAddresses);
}

constexpr CtlCommandSpec kRows[] = {
    {"set-id", "", CtlVerb::SetId, readIdName, "set-id HOST ID NAME", "",
     "Give the frame its ID (0 to 99) and name (at most 16 characters, no\n"
     "quote, comma or control character), as \"ID settings\" does. An\n"
     "unchanged ID and name send nothing.\n"
     "velmarctl set-id 192.168.1.20 7 'Studio A'"},
    {"set-ip", "", CtlVerb::SetIp, readAddressing,
     "set-ip HOST|--serial SN --dhcp|ADDRESS MASK GATEWAY",
     "set-ip HOST --dhcp|ADDRESS MASK GATEWAY\n"
     "set-ip --serial SN --dhcp|ADDRESS MASK GATEWAY",
     "Give the connected frame automatic addressing (--dhcp) or a fixed\n"
     "address, as \"Network settings\" does; unchanged settings send nothing.\n"
     "With --serial, no connection is made: the set-address request goes to\n"
     "the frame with that serial number, and a search then confirms that it\n"
     "answers at its new address (exit status 1 if it does not).\n"
     "velmarctl set-ip 192.168.1.20 192.168.1.30 255.255.255.0 192.168.1.1\n"
     "velmarctl set-ip --serial 460000230001 --dhcp"},
    {"uptime", "", CtlVerb::Uptime, ctlHostOnly, "uptime HOST", "",
     "Show the time since the frame's last restart, the moment of that\n"
     "restart, and its total time in operation.\n"
     "velmarctl uptime 192.168.1.20 --json"},
    {"dump", "", CtlVerb::Dump, ctlHostFile, "dump HOST FILE [--cards] [--mini] [--dante]", "",
     "Write the module HW/SW dump (board codes, serial numbers, software\n"
     "versions, the Dante module's MAC and the AD cards' input mode) of\n"
     "the cards, the mini (SFP) module and the Dante module, as the\n"
     "window's \"Save module HW/SW dump\" does. Without any of the three, all\n"
     "of them are written.\n"
     "velmarctl dump 192.168.1.20 Modules.txt --cards --dante"},
};

} // namespace

std::span<const CtlCommandSpec> ctlAdminCommands() { return kRows; }

} // namespace velmar
