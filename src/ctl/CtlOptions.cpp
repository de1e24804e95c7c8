#include "ctl/CtlOptions.h"

#include "ctl/CtlIpRouting.h"
#include "link/Ipv4.h"
#include "main/DeviceState.h"
#include "protocol/WireText.h"

#include <algorithm>

namespace velmar {

namespace {

enum class OptionId {
    Json,
    Timeout,
    Telnet,
    Type,
    Wait,
    DryRun,
    Make,
    Verbose,
    Help,
    Version,
    Yes,
    Restart,
    Release,
    Dhcp,
    Serial,
    Cards,
    Mini,
    Dante,
    Watch,
    Csv,
    InputLabel,
    OutputLabel,
    SkipInvalid,
    All,
    Log
};

struct OptionSpec {
    std::string_view name;
    OptionId id;
    std::string_view valueName; // empty for a switch
};

constexpr OptionSpec kOptions[] = {
    {"--json", OptionId::Json, ""},
    {"--timeout", OptionId::Timeout, "MS"},
    {"--telnet", OptionId::Telnet, ""},
    {"--type", OptionId::Type, "MODEL"},
    {"--wait", OptionId::Wait, "MS"},
    {"--dry-run", OptionId::DryRun, ""},
    {"--make", OptionId::Make, "MAKE"},
    {"--verbose", OptionId::Verbose, ""},
    {"-v", OptionId::Verbose, ""},
    {"--help", OptionId::Help, ""},
    {"-h", OptionId::Help, ""},
    {"--version", OptionId::Version, ""},
    {"--yes", OptionId::Yes, ""},
    {"--restart", OptionId::Restart, ""},
    {"--release", OptionId::Release, "R"},
    {"--dhcp", OptionId::Dhcp, ""},
    {"--serial", OptionId::Serial, "SN"},
    {"--cards", OptionId::Cards, ""},
    {"--mini", OptionId::Mini, ""},
    {"--dante", OptionId::Dante, ""},
    {"--watch", OptionId::Watch, ""},
    {"--csv", OptionId::Csv, ""},
    {"--input", OptionId::InputLabel, "TEXT"},
    {"--output", OptionId::OutputLabel, "TEXT"},
    {"--skip-invalid", OptionId::SkipInvalid, ""},
    {"--all", OptionId::All, ""},
    {"--log", OptionId::Log, "DIR"},
};

// What follows the command words.
enum class Operands {
    None,
    Host,
    HostPairs,
    HostOutputs,
    HostFile,
    HostLine,
    HostFiles,
    DirOut,
    HostIdName,
    Addressing, // HOST (or --serial SN), then --dhcp or ADDRESS MASK GATEWAY
    HostWords, // checked by ipRoutingOperandProblem
    HostChannel,
    Hosts
};

struct CommandSpec {
    std::string_view first;  // the command word
    std::string_view second; // the word after "xpt" or "settings", else empty
    CtlVerb verb;
    Operands operands;
    std::string_view usage; // after "velmarctl "
};

constexpr CommandSpec kCommands[] = {
    {"discover", "", CtlVerb::Discover, Operands::None, "discover [--wait MS]"},
    {"status", "", CtlVerb::Status, Operands::Host, "status HOST"},
    {"routes", "", CtlVerb::Routes, Operands::Host, "routes HOST"},
    {"route", "", CtlVerb::Route, Operands::HostPairs, "route HOST OUT IN [OUT IN ...]"},
    {"unroute", "", CtlVerb::Unroute, Operands::HostOutputs, "unroute HOST OUT [OUT ...]"},
    {"xpt", "save", CtlVerb::XptSave, Operands::HostFile, "xpt save HOST FILE"},
    {"xpt", "load", CtlVerb::XptLoad, Operands::HostFile, "xpt load HOST FILE [--dry-run]"},
    {"watch", "", CtlVerb::Watch, Operands::Host, "watch HOST [--log DIR]"},
    {"send", "", CtlVerb::Send, Operands::HostLine, "send HOST LINE"},
    {"settings", "show", CtlVerb::SettingsShow, Operands::Host, "settings show HOST"},
    {"settings", "save", CtlVerb::SettingsSave, Operands::HostFile, "settings save HOST FILE"},
    {"settings", "apply", CtlVerb::SettingsApply, Operands::HostFile,
     "settings apply HOST FILE [--dry-run]"},
    {"cards", "", CtlVerb::Cards, Operands::Host, "cards HOST [--make x|brix [--dry-run]]"},
    {"flash", "", CtlVerb::Flash, Operands::HostFiles, "flash HOST FILE... [--yes] [--restart]"},
    {"flash-join", "", CtlVerb::FlashJoin, Operands::DirOut,
     "flash-join --type 460|450 [--release R] DIR OUT"},
    {"set-id", "", CtlVerb::SetId, Operands::HostIdName, "set-id HOST ID NAME"},
    {"set-ip", "", CtlVerb::SetIp, Operands::Addressing,
     "set-ip HOST|--serial SN --dhcp|ADDRESS MASK GATEWAY"},
    {"uptime", "", CtlVerb::Uptime, Operands::Host, "uptime HOST"},
    {"dump", "", CtlVerb::Dump, Operands::HostFile, "dump HOST FILE [--cards] [--mini] [--dante]"},
    {"inputs", "", CtlVerb::Inputs, Operands::Host, "inputs HOST [--watch]"},
    {"flows", "", CtlVerb::Flows, Operands::Host, "flows HOST"},
    {"flow", "create", CtlVerb::FlowCreate, Operands::HostWords,
     "flow create HOST tx ID SLOTS ADDRESS PORT | rx ID SLOTS PORT LATENCY"},
    {"flow", "delete", CtlVerb::FlowDelete, Operands::HostWords, "flow delete HOST tx|rx ID|all"},
    {"dante", "routes", CtlVerb::DanteRoutes, Operands::Host, "dante routes HOST"},
    {"dante", "route", CtlVerb::DanteRoute, Operands::HostWords,
     "dante route HOST X SOURCE-HOST Y"},
    {"dante", "unroute", CtlVerb::DanteUnroute, Operands::HostWords, "dante unroute HOST X"},
    {"ppm", "create", CtlVerb::PpmCreate, Operands::HostWords,
     "ppm create HOST ID ADDRESS PORT [CHANNELS [RATE]]"},
    {"ppm", "remove", CtlVerb::PpmRemove, Operands::HostWords, "ppm remove HOST ID"},
    {"ppm", "assign", CtlVerb::PpmAssign, Operands::HostWords, "ppm assign HOST ID FIRST"},
    {"ppm", "", CtlVerb::Ppm, Operands::Host, "ppm HOST"},
    {"labels", "get", CtlVerb::LabelsGet, Operands::Host, "labels get HOST [--csv]"},
    {"labels", "set", CtlVerb::LabelsSet, Operands::HostChannel,
     "labels set HOST CHANNEL [--input TEXT] [--output TEXT]"},
    {"labels", "import", CtlVerb::LabelsImport, Operands::HostFile,
     "labels import HOST FILE.csv [--dry-run] [--skip-invalid]"},
    {"labels", "export", CtlVerb::LabelsExport, Operands::HostFile, "labels export HOST FILE.csv"},
    {"gains", "", CtlVerb::Gains, Operands::Host, "gains HOST"},
    {"levels", "", CtlVerb::Levels, Operands::Host, "levels HOST"},
    {"health", "", CtlVerb::Health, Operands::Hosts, "health [--all [--wait MS] | HOST...]"},
};

constexpr std::string_view kCommandList =
    "discover, status, routes, route, unroute, xpt save, xpt load, watch, send, settings show, "
    "settings save, settings apply, cards, flash, flash-join, set-id, set-ip, uptime, dump, "
    "inputs, flows, flow create, flow delete, dante routes, dante route, dante unroute, ppm, "
    "ppm create, ppm remove, ppm assign, labels get, labels set, labels import, labels export, "
    "gains, levels, health";

// What a frame takes as its ID and name.
constexpr int kMaxDeviceId = 99;
constexpr std::size_t kMaxDeviceName = 16;

std::string quoted(std::string_view word) {
    std::string out = "'";
    out.append(word);
    out.push_back('\'');
    return out;
}

std::string usageOf(const CommandSpec& command) {
    return "usage is velmarctl " + std::string(command.usage);
}

// Plain decimal digits whose value lies in [low, high]; signs, "0x", blanks
// and trailing junk are no number. Digits past `high` stop accumulating, so
// any length of digits is safe.
std::optional<int> parseBounded(std::string_view text, int low, int high) {
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

// Why no frame can have this address, or empty when one can.
std::string_view notAFrameAddress(Ipv4Address address) {
    if (address == 0)
        return "the unspecified address";
    if (address == 0xFFFFFFFFu)
        return "the broadcast address";
    if ((address >> 28) == 0xE)
        return "a multicast address";
    return {};
}

bool isHelpWord(std::string_view word) { return word == "-h" || word == "--help"; }

// A word that starts with '-' is an option, except "-" itself and what looks
// like a negative number: those are operands, so "-1" as OUT is refused as a
// number rather than as an unknown option.
bool looksLikeOption(std::string_view word) {
    return word.size() > 1 && word[0] == '-' && !(word[1] >= '0' && word[1] <= '9');
}

class CParser {
public:
    explicit CParser(std::span<const std::string_view> args) : m_args(args) {}

    CtlParse run();

private:
    bool readWords();
    bool applyOption(const OptionSpec& option, std::string_view value);
    bool readOperands(const CommandSpec& command, std::span<const std::string_view> rest);
    bool readHost(std::string_view word);
    bool readAddressing(const CommandSpec& command, std::span<const std::string_view> rest);
    bool readChannel(std::string_view word, std::string_view what, int& into);
    bool addRoute(const CtlRoute& route);
    bool readMs(std::string_view word, std::string_view option, int& into);
    bool fail(std::string message) {
        m_error = std::move(message);
        return false;
    }

    std::span<const std::string_view> m_args;
    std::vector<std::string_view> m_positional;
    CtlOptions m_options;
    bool m_sawWait = false;
    bool m_sawDryRun = false;
    bool m_sawMake = false;
    bool m_sawFlashSwitch = false; // --yes or --restart
    bool m_sawRelease = false;
    bool m_sawDumpSwitch = false; // --cards, --mini or --dante
    bool m_sawSerial = false;
    bool m_sawWatch = false;
    bool m_sawCsv = false;
    bool m_sawLabelText = false; // --input or --output
    bool m_sawSkipInvalid = false;
    bool m_sawLog = false;
    std::string m_error;
};

CtlParse CParser::run() {
    CtlParse result;
    if (m_args.empty()) {
        result.options = CtlOptions{};
        return result;
    }
    // Help and version win over anything else on the line, mistakes included.
    const auto optionsEnd = std::find(m_args.begin(), m_args.end(), std::string_view("--"));
    for (const CtlVerb wanted : {CtlVerb::Help, CtlVerb::Version}) {
        const bool present = std::any_of(m_args.begin(), optionsEnd, [&](std::string_view w) {
            return wanted == CtlVerb::Help ? isHelpWord(w) : w == "--version";
        });
        if (present) {
            result.options = CtlOptions{};
            result.options->verb = wanted;
            return result;
        }
    }

    if (!readWords()) {
        result.error = std::move(m_error);
        return result;
    }
    if (m_positional.empty()) {
        result.error = "no command given; the commands are " + std::string(kCommandList);
        return result;
    }

    const std::string_view first = m_positional[0];
    const CommandSpec* command = nullptr;
    bool knownFirst = false;
    for (const CommandSpec& candidate : kCommands) {
        if (candidate.first != first)
            continue;
        knownFirst = true;
        if (candidate.second.empty() ||
            (m_positional.size() > 1 && m_positional[1] == candidate.second)) {
            command = &candidate;
            break;
        }
    }
    if (!knownFirst) {
        result.error =
            "unknown command " + quoted(first) + "; the commands are " + std::string(kCommandList);
        return result;
    }
    if (command == nullptr) {
        const std::string words = first == "xpt"      ? "save or load"
                                  : first == "flow"   ? "create or delete"
                                  : first == "dante"  ? "routes, route or unroute"
                                  : first == "labels" ? "get, set, import or export"
                                                      : "show, save or apply";
        result.error = std::string(first) + " needs " + words +
                       (m_positional.size() > 1 ? ", not " + quoted(m_positional[1]) : "");
        return result;
    }
    m_options.verb = command->verb;

    if (m_sawWait && command->verb != CtlVerb::Discover &&
        !(command->verb == CtlVerb::Health && m_options.all)) {
        result.error = "--wait only goes with discover and health --all";
        return result;
    }
    if (m_sawMake && command->verb != CtlVerb::Cards) {
        result.error = "--make only goes with cards";
        return result;
    }
    if (m_sawDryRun && command->verb != CtlVerb::XptLoad &&
        command->verb != CtlVerb::SettingsApply && command->verb != CtlVerb::LabelsImport &&
        !(command->verb == CtlVerb::Cards && m_sawMake)) {
        result.error =
            "--dry-run only goes with xpt load, settings apply, cards --make and labels import";
        return result;
    }
    if (m_sawCsv && command->verb != CtlVerb::LabelsGet) {
        result.error = "--csv only goes with labels get";
        return result;
    }
    if (m_sawLabelText && command->verb != CtlVerb::LabelsSet) {
        result.error = "--input and --output only go with labels set";
        return result;
    }
    if (command->verb == CtlVerb::LabelsSet && !m_sawLabelText) {
        result.error = "labels set needs --input TEXT, --output TEXT or both";
        return result;
    }
    if (m_sawSkipInvalid && command->verb != CtlVerb::LabelsImport) {
        result.error = "--skip-invalid only goes with labels import";
        return result;
    }

    if (m_sawFlashSwitch && command->verb != CtlVerb::Flash) {
        result.error = "--yes and --restart only go with flash";
        return result;
    }
    if (m_sawWatch && command->verb != CtlVerb::Inputs) {
        result.error = "--watch only goes with inputs (for every message, use the watch command)";
        return result;
    }
    if (m_sawRelease && command->verb != CtlVerb::FlashJoin) {
        result.error = "--release only goes with flash-join";
        return result;
    }
    if (m_sawDumpSwitch && command->verb != CtlVerb::Dump) {
        result.error = "--cards, --mini and --dante only go with dump";
        return result;
    }
    if ((m_sawSerial || m_options.dhcp) && command->verb != CtlVerb::SetIp) {
        result.error = "--serial and --dhcp only go with set-ip";
        return result;
    }
    if (m_options.all && command->verb != CtlVerb::Health) {
        result.error = "--all only goes with health";
        return result;
    }
    if (m_sawLog && command->verb != CtlVerb::Watch) {
        result.error = "--log only goes with watch";
        return result;
    }
    if (command->verb == CtlVerb::FlashJoin && m_options.type != "460" && m_options.type != "450") {
        result.error = "flash-join needs --type 460 or --type 450" +
                       (m_options.type.empty() ? std::string() : ", not " + quoted(m_options.type));
        return result;
    }

    const std::size_t commandWords = command->second.empty() ? 1 : 2;
    if (!readOperands(*command, std::span(m_positional).subspan(commandWords))) {
        result.error = std::move(m_error);
        return result;
    }
    result.options = std::move(m_options);
    return result;
}

// Splits the line into options (applied at once) and positional words.
bool CParser::readWords() {
    bool optionsEnded = false;
    for (std::size_t at = 0; at < m_args.size(); ++at) {
        const std::string_view word = m_args[at];
        if (optionsEnded || !looksLikeOption(word)) {
            m_positional.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        std::string_view name = word;
        std::optional<std::string_view> inlineValue;
        if (const auto equals = word.find('='); word.starts_with("--") && equals != word.npos) {
            name = word.substr(0, equals);
            inlineValue = word.substr(equals + 1);
        }
        const auto option = std::find_if(std::begin(kOptions), std::end(kOptions),
                                         [&](const OptionSpec& o) { return o.name == name; });
        if (option == std::end(kOptions))
            return fail("unknown option " + quoted(name));

        std::string_view value;
        if (option->valueName.empty()) {
            if (inlineValue)
                return fail(std::string(name) + " takes no value, not " + quoted(*inlineValue));
        } else if (inlineValue) {
            value = *inlineValue;
        } else {
            // The next word is the value unless the line ends or another
            // option stands there, which means the value was forgotten.
            if (at + 1 >= m_args.size() || m_args[at + 1].starts_with("--"))
                return fail(std::string(name) + " needs a value (" +
                            std::string(option->valueName) + ")");
            value = m_args[++at];
        }
        if (!applyOption(*option, value))
            return false;
    }
    return true;
}

bool CParser::applyOption(const OptionSpec& option, std::string_view value) {
    switch (option.id) {
    case OptionId::Json: m_options.json = true; return true;
    case OptionId::Verbose: m_options.verbose = true; return true;
    case OptionId::Telnet: m_options.telnet = true; return true;
    case OptionId::DryRun:
        m_options.dryRun = true;
        m_sawDryRun = true;
        return true;
    case OptionId::Make:
        m_sawMake = true;
        m_options.make = cardMakeFromWord(value);
        return m_options.make.has_value() ||
               fail("--make must be x (X type) or brix (Brix type), not " + quoted(value));
    case OptionId::Timeout:
        m_options.timeoutGiven = true;
        return readMs(value, option.name, m_options.timeoutMs);
    case OptionId::Wait: m_sawWait = true; return readMs(value, option.name, m_options.waitMs);
    case OptionId::Type:
        if (value.empty())
            return fail("--type needs a MODEL such as 460, not an empty word");
        // An unknown type would pick the start requests of some other model.
        if (!isKnownModel(value))
            return fail("--type must be one of " + knownModelList() + ", not " + quoted(value));
        m_options.type = std::string(value);
        return true;
    case OptionId::Yes:
        m_options.yes = true;
        m_sawFlashSwitch = true;
        return true;
    case OptionId::Restart:
        m_options.restart = true;
        m_sawFlashSwitch = true;
        return true;
    case OptionId::Release:
        m_options.release = std::string(value);
        m_sawRelease = true;
        return true;
    case OptionId::Dhcp: m_options.dhcp = true; return true;
    case OptionId::Serial:
        m_sawSerial = true;
        // It travels quoted in one datagram line.
        if (value.empty())
            return fail("--serial needs the frame's serial number, not an empty word");
        if (const auto why = sendableTextProblem(value))
            return fail("--serial " + quoted(value) + " " + *why);
        m_options.serial = std::string(value);
        return true;
    case OptionId::Cards: m_options.dumpCards = m_sawDumpSwitch = true; return true;
    case OptionId::Mini: m_options.dumpMini = m_sawDumpSwitch = true; return true;
    case OptionId::Dante: m_options.dumpDante = m_sawDumpSwitch = true; return true;
    case OptionId::Watch:
        m_options.watch = true;
        m_sawWatch = true;
        return true;
    case OptionId::Csv:
        m_options.csv = true;
        m_sawCsv = true;
        return true;
    case OptionId::InputLabel:
    case OptionId::OutputLabel: {
        // The frame's tokenizer would split or cut such a label; refuse it here.
        const bool input = option.id == OptionId::InputLabel;
        if (auto problem = sendableTextProblem(value, 16))
            return fail(std::string(option.name) + " " + quoted(value) + ": the label " + *problem);
        (input ? m_options.inputLabel : m_options.outputLabel) = std::string(value);
        m_sawLabelText = true;
        return true;
    }
    case OptionId::SkipInvalid:
        m_options.skipInvalid = true;
        m_sawSkipInvalid = true;
        return true;
    case OptionId::All: m_options.all = true; return true;
    case OptionId::Log:
        if (value.empty())
            return fail("--log needs a folder (DIR), not an empty word");
        m_options.logFolder = std::string(value);
        m_sawLog = true;
        return true;
    case OptionId::Help:
    case OptionId::Version:
        // Only reached as "--help=..." or "--version=...", refused before.
        return true;
    }
    return true;
}

bool CParser::readOperands(const CommandSpec& command, std::span<const std::string_view> rest) {
    const auto missing = [&](std::string_view what) {
        return fail("missing " + std::string(what) + ": " + usageOf(command));
    };
    const auto unexpected = [&](std::string_view word) {
        std::string message = "unexpected " + quoted(word) + ": " + usageOf(command);
        if (command.operands == Operands::HostLine)
            message += " (quote a LINE that holds blanks)";
        return fail(std::move(message));
    };

    if (command.operands == Operands::None)
        return rest.empty() || unexpected(rest[0]);
    if (command.operands == Operands::Hosts) {
        if (m_options.all && !rest.empty())
            return fail("--all searches for every frame: name no HOST with it");
        if (!m_options.all && rest.empty())
            return fail("health needs --all or at least one HOST: " + usageOf(command));
        for (const std::string_view word : rest) {
            if (!readHost(word))
                return false;
            // Checking one frame twice would only cost a second connection.
            if (std::find(m_options.hosts.begin(), m_options.hosts.end(), m_options.host) ==
                m_options.hosts.end())
                m_options.hosts.push_back(m_options.host);
        }
        m_options.host.clear();
        return true;
    }
    if (command.operands == Operands::DirOut) {
        if (rest.size() < 2)
            return missing(rest.empty() ? "DIR and OUT" : "OUT");
        if (rest.size() > 2)
            return unexpected(rest[2]);
        if (rest[0].empty() || rest[1].empty())
            return fail("DIR and OUT must not be empty");
        m_options.folder = std::string(rest[0]);
        m_options.file = std::string(rest[1]);
        return true;
    }

    if (command.operands == Operands::Addressing && m_sawSerial)
        return readAddressing(command, rest);
    if (rest.empty())
        return missing("HOST");
    if (!readHost(rest[0]))
        return false;
    rest = rest.subspan(1);

    switch (command.operands) {
    case Operands::None:
    case Operands::DirOut:
    case Operands::Hosts: return true;
    case Operands::Addressing: return readAddressing(command, rest);
    case Operands::HostIdName: {
        if (rest.size() < 2)
            return missing(rest.empty() ? "ID and NAME" : "NAME");
        if (rest.size() > 2)
            return unexpected(rest[2]);
        const std::optional<int> id = parseBounded(rest[0], 0, kMaxDeviceId);
        if (!id)
            return fail("ID must be a whole number from 0 to " + std::to_string(kMaxDeviceId) +
                        ", not " + quoted(rest[0]));
        if (const auto why = sendableTextProblem(rest[1], kMaxDeviceName))
            return fail("NAME " + quoted(rest[1]) + " " + *why);
        m_options.deviceId = *id;
        m_options.deviceName = std::string(rest[1]);
        return true;
    }
    case Operands::HostChannel: {
        if (rest.empty())
            return missing("CHANNEL");
        if (rest.size() > 1)
            return unexpected(rest[1]);
        const std::optional<int> channel = parseBounded(rest[0], 1, 2048);
        if (!channel)
            return fail("CHANNEL must be a number from 1 to 2048, not " + quoted(rest[0]));
        m_options.channel = *channel;
        return true;
    }
    case Operands::HostFiles:
        if (rest.empty())
            return missing("FILE");
        for (const std::string_view word : rest) {
            if (word.empty())
                return fail("FILE must not be empty");
            m_options.files.emplace_back(word);
        }
        return true;
    case Operands::Host: return rest.empty() || unexpected(rest[0]);
    case Operands::HostPairs:
        if (rest.empty())
            return missing("OUT IN");
        if (rest.size() % 2 != 0)
            return fail("OUT " + quoted(rest.back()) + " has no IN: route takes OUT IN pairs");
        for (std::size_t k = 0; k < rest.size(); k += 2) {
            CtlRoute route;
            if (!readChannel(rest[k], "OUT", route.output) ||
                !readChannel(rest[k + 1], "IN", route.input) || !addRoute(route))
                return false;
        }
        return true;
    case Operands::HostOutputs:
        if (rest.empty())
            return missing("OUT");
        for (const std::string_view word : rest) {
            CtlRoute route;
            if (!readChannel(word, "OUT", route.output) || !addRoute(route))
                return false;
        }
        return true;
    case Operands::HostFile:
        if (rest.empty())
            return missing("FILE");
        if (rest.size() > 1)
            return unexpected(rest[1]);
        if (rest[0].empty())
            return fail("FILE must not be empty");
        m_options.file = std::string(rest[0]);
        return true;
    case Operands::HostLine:
        if (rest.empty())
            return missing("LINE");
        if (rest.size() > 1)
            return unexpected(rest[1]);
        if (rest[0].empty())
            return fail("LINE must not be empty");
        m_options.line = std::string(rest[0]);
        return true;
    case Operands::HostWords:
        for (const std::string_view word : rest)
            m_options.words.emplace_back(word);
        if (auto problem = ipRoutingOperandProblem(command.verb, m_options.words))
            return fail(*problem + ": " + usageOf(command));
        return true;
    }
    return true;
}

bool CParser::readAddressing(const CommandSpec& command, std::span<const std::string_view> rest) {
    if (m_options.dhcp) {
        if (!rest.empty())
            return fail("unexpected " + quoted(rest[0]) + ": --dhcp takes no addresses; " +
                        usageOf(command));
        return true;
    }
    if (rest.size() < 3)
        return fail("missing " +
                    std::string(rest.empty()       ? "--dhcp or ADDRESS MASK GATEWAY"
                                : rest.size() == 1 ? "MASK GATEWAY"
                                                   : "GATEWAY") +
                    ": " + usageOf(command));
    if (rest.size() > 3)
        return fail("unexpected " + quoted(rest[3]) + ": " + usageOf(command));
    constexpr std::string_view kNames[] = {"ADDRESS", "MASK", "GATEWAY"};
    for (std::size_t k = 0; k < 3; ++k) {
        if (!parseIpv4(rest[k]))
            return fail(std::string(kNames[k]) +
                        " must be a dotted IPv4 address such as 192.168.1.20, not " +
                        quoted(rest[k]));
        m_options.addresses.emplace_back(rest[k]);
    }
    const Ipv4Address address = *parseIpv4(rest[0]);
    if (address == 0 || address == 0xFFFFFFFFu)
        return fail("ADDRESS " + quoted(rest[0]) + " is " + std::string(notAFrameAddress(address)) +
                    ", not an address a frame can take; nothing was sent");
    return true;
}

bool CParser::readHost(std::string_view word) {
    std::string_view address = word;
    // The mark the device list puts in front of a frame in recovery mode or
    // in the "#" state; kept in the host for the caller to match the row.
    if (address.starts_with('*') || address.starts_with('#'))
        address.remove_prefix(1);
    const std::optional<Ipv4Address> parsed = parseIpv4(address);
    if (!parsed)
        return fail("HOST must be a dotted IPv4 address such as 192.168.1.20, not " + quoted(word));
    // No frame has these: a connect would only wait out its time-out. (A
    // subnet's own broadcast address cannot be told without its mask.)
    if (const std::string_view why = notAFrameAddress(*parsed); !why.empty())
        return fail("HOST " + quoted(word) + " is " + std::string(why) +
                    ", not the address of a frame");
    m_options.host = std::string(word);
    return true;
}

bool CParser::addRoute(const CtlRoute& route) {
    // Which of two inputs an output ends up with would depend on the order
    // the frame takes them: the operator meant one of them, not both.
    const auto same = std::find_if(m_options.routes.begin(), m_options.routes.end(),
                                   [&](const CtlRoute& r) { return r.output == route.output; });
    if (same != m_options.routes.end())
        return fail("output " + std::to_string(route.output) + " is named twice; nothing was sent");
    m_options.routes.push_back(route);
    return true;
}

bool CParser::readChannel(std::string_view word, std::string_view what, int& into) {
    const auto number = parseBounded(word, 1, kCtlMaxChannel);
    if (!number) {
        std::string message = std::string(what) + " must be a number from 1 to " +
                              std::to_string(kCtlMaxChannel) + ", not " + quoted(word);
        if (what == "IN" && word == "0")
            message += " (unroute clears a crosspoint)";
        return fail(std::move(message));
    }
    into = *number;
    return true;
}

bool CParser::readMs(std::string_view word, std::string_view option, int& into) {
    const auto number = parseBounded(word, kCtlMinMs, kCtlMaxMs);
    if (!number)
        return fail(std::string(option) + " must be a number of milliseconds from " +
                    std::to_string(kCtlMinMs) + " to " + std::to_string(kCtlMaxMs) + ", not " +
                    quoted(word));
    into = *number;
    return true;
}

} // namespace

CtlParse parseCtlArguments(std::span<const std::string_view> args) { return CParser(args).run(); }

std::string ctlVersionText() { return "velmarctl " + std::string(kCtlVersion); }

std::string ctlHelpText() {
    return R"(Usage: velmarctl [OPTIONS] COMMAND [OPERANDS]

Talks to frames from scripts, with the same engine as the Velmar window.
Options may stand before or after the command words; "--" ends them.

HOST is the frame's dotted IPv4 address. It may carry the mark that discover
prints in front of a frame in recovery mode ("*") or in the "#" state ("#"),
as in *192.168.1.20. Without --type, velmarctl first searches for the frame
to learn its type, as the window's device list does.

Commands:
  discover [--wait MS]
      Search the network; print one line per frame that answers.
      velmarctl discover
      velmarctl discover --wait 3000

  status HOST
      Show identity, model, family, versions, modules, cards, sync, sample
      rate, power supplies and fans. What the frame did not report is shown
      as "not reported" and named on standard error (exit status 1).
      velmarctl status 192.168.1.20
      velmarctl --json status 192.168.1.20

  routes HOST
      List the connected crosspoints. A frame that does not report the
      route of every output gives exit status 1 (so do xpt save, which then
      writes no file, and xpt load).
      velmarctl routes 192.168.1.20

  route HOST OUT IN [OUT IN ...]
      Connect input IN to output OUT for each pair (both 1 to 1536).
      velmarctl route 192.168.1.20 5 17 6 18

  unroute HOST OUT [OUT ...]
      Clear the crosspoint of each output OUT.
      velmarctl unroute 192.168.1.20 5 6

  xpt save HOST FILE
      Save the frame's crosspoints to an .xpt file.
      velmarctl xpt save 192.168.1.20 show.xpt

  xpt load HOST FILE [--dry-run]
      Set the crosspoints stored in an .xpt file. With --dry-run, print what
      would be set and change nothing.
      velmarctl xpt load 192.168.1.20 show.xpt --dry-run

  watch HOST [--log DIR]
      Print every message the frame sends on its own until interrupted
      (Ctrl+C), with the names of the channels it names. With --log, also
      append what happened (link, sync, rate, PSUs, fans, inputs, routes)
      to the event log in DIR, in the window's format (events.jsonl).
      velmarctl watch 192.168.1.20 --json
      velmarctl watch 192.168.1.20 --log ~/velmar-log

  send HOST LINE
      Send one request line and print the decoded reply (the line that
      carries the request's tag; --verbose shows the others too).
      velmarctl send 192.168.1.20 '?gcross,5'

  settings show HOST
      Show every frame-wide setting, grouped and named as a .cfg file
      names them.
      velmarctl settings show 192.168.1.20 --json

  settings save HOST FILE
      Save the frame's settings to a .cfg file, as the settings dialog's
      "Save to file..." does.
      velmarctl settings save 192.168.1.20 show.cfg

  settings apply HOST FILE [--dry-run]
      Read a .cfg file over the frame's settings and send what differs, as
      the settings dialog's "Save changes" does; each reply is reported as
      confirmed, refused or unanswered. A line out of its place or a value
      the pages do not take refuses the whole file: each such line is named,
      nothing is sent, exit status 2. With --dry-run, print the request lines
      that would be sent and send nothing.
      velmarctl settings apply 192.168.1.20 show.cfg --dry-run

  cards HOST [--make x|brix [--dry-run]]
      Show the frame's modules as the HW configuration dialog lists them
      (type and version, serial number, software versions) and the settings
      of each fitted card as the Card configuration page shows them. With
      --make, rewrite the make letter in the type of every fitted card that
      has another one, as the dialog's "Change cards to X type" and "Change
      cards to Brix type" do; each card's reply is reported as confirmed,
      refused or unanswered. With --dry-run, print the requests that would
      be sent and send nothing.
      velmarctl cards 192.168.1.20 --json
      velmarctl cards 192.168.1.20 --make x --dry-run

  flash HOST FILE... [--yes] [--restart]
      Program flash images (*.flash) into the frame, one record per
      acknowledgement, in the order named; every file is checked before
      anything is sent. A file whose header names no type is only sent
      with --yes; an explicit --timeout bounds each acknowledgement.
      With --restart, a frame that took every file is restarted (a
      frame in recovery mode loads its application).
      Progress shows on a terminal; otherwise a line per tenth.
      velmarctl flash 192.168.1.20 frame.flash --restart

  flash-join --type 460|450 [--release R] DIR OUT
      Join the component images of one release found in DIR into OUT, as
      the window's "Save all flash file" does; with --release the joined
      file starts with its header line.
      velmarctl flash-join --type 460 --release 2.1 images all.flash

  set-id HOST ID NAME
      Give the frame its ID (0 to 99) and name (at most 16 characters, no
      quote, comma or control character), as "ID settings" does. An
      unchanged ID and name send nothing.
      velmarctl set-id 192.168.1.20 7 'Studio A'

  set-ip HOST --dhcp|ADDRESS MASK GATEWAY
  set-ip --serial SN --dhcp|ADDRESS MASK GATEWAY
      Give the connected frame automatic addressing (--dhcp) or a fixed
      address, as "Network settings" does; unchanged settings send nothing.
      With --serial, no connection is made: the set-address request goes to
      the frame with that serial number, and a search then confirms that it
      answers at its new address (exit status 1 if it does not).
      velmarctl set-ip 192.168.1.20 192.168.1.30 255.255.255.0 192.168.1.1
      velmarctl set-ip --serial 460000230001 --dhcp

  uptime HOST
      Show the time since the frame's last restart, the moment of that
      restart, and its total time in operation.
      velmarctl uptime 192.168.1.20 --json

  dump HOST FILE [--cards] [--mini] [--dante]
      Write the module HW/SW dump (board codes, serial numbers, software
      versions, the Dante module's MAC and the AD cards' input mode) of
      the cards, the mini (SFP) module and the Dante module, as the
      window's "Save module HW/SW dump" does. Without any of the three, all
      of them are written.
      velmarctl dump 192.168.1.20 Modules.txt --cards --dante

  inputs HOST [--watch]
      Show the signal status of every main-board input and, on a 460, of
      the inputs of its SDI, AD, AES and MADI cards, as the Signal input
      status dialog shows it; "?" marks an input the frame did not report
      (exit status 1). With --watch, then print one line per input whose
      status changes until interrupted (Ctrl+C ends it with status 0).
      velmarctl inputs 192.168.1.20 --json
      velmarctl inputs 192.168.1.20 --watch

  flows HOST
      List the Tx and Rx flows of the frame's Dante module with their slot
      channels, as "Manual IP routing control" lists them.
      velmarctl flows 192.168.1.20 --json

  flow create HOST tx ID SLOTS ADDRESS PORT
  flow create HOST rx ID SLOTS PORT LATENCY
      Create a flow (ID 1..32, 1..8 slots, port 14528..14591, latency in
      us), checked and sent as the dialog's "Create" does; even slot counts
      get their channels at once. Each reply is reported as confirmed,
      refused or unanswered.
      velmarctl flow create 192.168.1.20 tx 3 8 192.168.1.50 14530

  flow delete HOST tx|rx ID|all
      Delete one flow, or every flow of that direction.
      velmarctl flow delete 192.168.1.20 rx all

  dante routes HOST
      List the automatic routes of the 64 destination channels.
  dante route HOST X SOURCE-HOST Y
      Route destination channel X (1..64) to channel Y (1..64) of the Dante
      device SOURCE-HOST; automatic routing must be on.
  dante unroute HOST X
      Remove the route of destination channel X.
      velmarctl dante route 192.168.1.20 3 studio-b 5

  ppm HOST
      List the PPM streams with their slot channels.
  ppm create HOST ID ADDRESS PORT [CHANNELS [RATE]]
      Create a stream (ID 1..65535, port 1000..65535, 2..255 channels,
      default 64, rate 10..60000 ms, default 50).
  ppm remove HOST ID
      Remove a stream.
  ppm assign HOST ID FIRST
      Put channels FIRST, FIRST+1 ... on the stream's slots; FIRST 0
      clears them.
      velmarctl ppm assign 192.168.1.20 7 33

  labels get HOST [--csv]
      Read every channel's input and output label, as the Channel labels
      dialog lists them; with --csv as a label file on standard output.
      velmarctl labels get 192.168.1.20 --csv

  labels set HOST CHANNEL [--input TEXT] [--output TEXT]
      Set one channel's labels (at most 16 bytes of UTF-8, no quote, comma or
      control character; an empty TEXT clears); only a label that differs
      from the frame's is sent.
      velmarctl labels set 192.168.1.20 17 --input Kick --output Desk-1

  labels import HOST FILE.csv [--dry-run] [--skip-invalid]
      Write the labels of a label file (header channel,type,input,output,
      as a spreadsheet saves CSV); only labels that differ from the frame's
      are sent, and the frame's confirmations and refusals are counted.
      Refused rows are reported with their line numbers; then nothing is
      sent unless --skip-invalid is given. With --dry-run, print what
      would be sent and send nothing.
      velmarctl labels import 192.168.1.20 labels.csv --dry-run

  labels export HOST FILE.csv
      Save every channel's labels as a label file.
      velmarctl labels export 192.168.1.20 labels.csv

  gains HOST
      List every channel's input and output gain, phase and mute, as the
      Gain settings dialog does.
      velmarctl gains 192.168.1.20 --json

  levels HOST
      List every channel's input and output level detector: time 1,
      level 1, time 2, level 2, enable and status, as the Level detectors
      dialog does.
      velmarctl levels 192.168.1.20

  health [--all [--wait MS] | HOST...]
      Check frames before a show: connect to all of them at once, read
      identity, sync, sample rate, PSUs, fans and input status and print
      one line per frame with its verdict (OK, Warning, Alarm or
      Unreachable). --all checks every frame that answers a search.
      Exit status 0 when all are OK, 1 when any has a warning or alarm
      (a value it did not report is a warning), 3 when any is unreachable.
      velmarctl health --all
      velmarctl health 192.168.1.20 192.168.1.21 --json

Options:
  --json          Print JSON instead of text.
  --timeout MS    Wait at most MS milliseconds for the frame each time: to
                  connect, for each reply (default 5000).
  --telnet        Connect to the telnet port, as the window's telnet switch
                  does.
  --type MODEL    The frame's type as the device list's Type column shows it
                  (460, 461, 465, 450, QB16, RB16 or GRID); skips the search
                  for the frame.
  --wait MS       discover and health --all only: collect replies for MS
                  milliseconds (default 1000).
  --make MAKE     cards only: change every fitted card to X type (x) or to
                  Brix type (brix).
  --dry-run       xpt load, settings apply, cards --make and labels import
                  only: change nothing.
  --csv           labels get only: print a label file.
  --input TEXT    labels set only: the channel's input label.
  --output TEXT   labels set only: the channel's output label.
  --skip-invalid  labels import only: send the rows that are not refused.
  --yes           flash only: send a file whose type cannot be verified.
  --restart       flash only: restart the frame after a successful run.
  --release R     flash-join only: the release named in the header line.
  --dhcp          set-ip only: automatic addressing.
  --serial SN     set-ip only: readdress the frame with this serial number
                  without connecting to it.
  --cards, --mini, --dante
                  dump only: the modules written.
  --watch         inputs only: follow the status until interrupted.
  --all           health only: check every frame that answers a search.
  --log DIR       watch only: append the events to the event log in DIR.
  -v, --verbose   send: also print the lines that are not the reply (the
                  frame's own messages, stray lines) as unsolicited.
  -h, --help      Print this help.
  --version       Print the version.
  --              End the options; every word after it is an operand.
MS is a whole number from 1 to 3600000. An option with a value may also be
written --name=value, as in --timeout=2000.

Exit status:
  0  success
  1  the frame refused or did not answer (flash: a programming error, with
     the record it stopped at)
  2  usage error (also a file that cannot be read or written, a settings
     or flash file that is refused, or routes beyond the frame's
     crosspoints; nothing is sent then)
  3  frame not reachable, or it closed the connection
Errors are written to standard error; with --json, standard output also
gets {"error": "...", "exit": N} when the command printed no other document.
)";
}

} // namespace velmar
