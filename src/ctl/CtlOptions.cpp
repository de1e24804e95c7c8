#include "ctl/CtlOptions.h"

#include "ctl/CtlCommands.h"
#include "engine/DeviceState.h"
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
        result.error = "no command given; the commands are " + ctlCommandList();
        return result;
    }

    // A row whose second word is on the line wins over the bare command
    // ("ppm create" over "ppm HOST").
    const std::string_view first = m_positional[0];
    const CtlCommandSpec* command = nullptr;
    std::vector<std::string_view> seconds;
    for (const CtlCommandSpec& candidate : ctlCommands()) {
        if (candidate.first != first)
            continue;
        if (candidate.second.empty()) {
            if (command == nullptr)
                command = &candidate;
        } else if (m_positional.size() > 1 && m_positional[1] == candidate.second) {
            command = &candidate;
            break;
        } else {
            seconds.push_back(candidate.second);
        }
    }
    if (command == nullptr && seconds.empty()) {
        result.error =
            "unknown command " + ctlQuoted(first) + "; the commands are " + ctlCommandList();
        return result;
    }
    if (command == nullptr) {
        std::string words;
        for (std::size_t k = 0; k < seconds.size(); ++k) {
            if (k > 0)
                words += k + 1 == seconds.size() ? " or " : ", ";
            words += seconds[k];
        }
        result.error = std::string(first) + " needs " + words +
                       (m_positional.size() > 1 ? ", not " + ctlQuoted(m_positional[1]) : "");
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
    const std::size_t commandWords = command->second.empty() ? 1 : 2;
    CtlOperandReader reader(m_options, *command, m_sawSerial);
    if (!command->operands(reader, std::span(m_positional).subspan(commandWords))) {
        result.error = std::move(reader.error);
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
            return fail("unknown option " + ctlQuoted(name));

        std::string_view value;
        if (option->valueName.empty()) {
            if (inlineValue)
                return fail(std::string(name) + " takes no value, not " + ctlQuoted(*inlineValue));
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
               fail("--make must be x (X type) or brix (Brix type), not " + ctlQuoted(value));
    case OptionId::Timeout:
        m_options.timeoutGiven = true;
        return readMs(value, option.name, m_options.timeoutMs);
    case OptionId::Wait: m_sawWait = true; return readMs(value, option.name, m_options.waitMs);
    case OptionId::Type:
        if (value.empty())
            return fail("--type needs a MODEL such as 460, not an empty word");
        // An unknown type would pick the start requests of some other model.
        if (!isKnownModel(value))
            return fail("--type must be one of " + knownModelList() + ", not " + ctlQuoted(value));
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
            return fail("--serial " + ctlQuoted(value) + " " + *why);
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
            return fail(std::string(option.name) + " " + ctlQuoted(value) + ": the label " +
                        *problem);
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

bool CParser::readMs(std::string_view word, std::string_view option, int& into) {
    const auto number = ctlParseBounded(word, kCtlMinMs, kCtlMaxMs);
    if (!number)
        return fail(std::string(option) + " must be a number of milliseconds from " +
                    std::to_string(kCtlMinMs) + " to " + std::to_string(kCtlMaxMs) + ", not " +
                    ctlQuoted(word));
    into = *number;
    return true;
}

} // namespace

CtlParse parseCtlArguments(std::span<const std::string_view> args) { return CParser(args).run(); }

std::string ctlVersionText() { return "velmarctl " + std::string(kCtlVersion); }

} // namespace velmar
