#include "settings/SettingsFile.h"

#include "link/Ipv4.h"
#include "protocol/WireText.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <span>

namespace velmar {

namespace {

enum class CfgKind {
    Integer,
    Priority, // one byte of the priority table
    Text,     // a name
    Address,  // a dotted-quad address, or empty when the frame reported none
    Mac,      // written for the reader's eyes, never read back
};

using IntRef = std::int32_t& (*)(DeviceSettings&);
using TextRef = std::span<char> (*)(DeviceSettings&);

// The values a page takes for one setting, as inclusive ranges.
struct Range {
    std::int32_t low = 0;
    std::int32_t high = 0;
};

struct CfgEntry {
    std::string_view section; // the section line written before this entry, if any
    std::string_view key;     // with its "="
    CfgKind kind = CfgKind::Integer;
    IntRef integer = nullptr;
    TextRef text = nullptr;
    int priorityIndex = 0;
    std::span<const Range> allowed{}; // Integer and Priority
    bool marksAccepted = false;       // reaching this line makes the file a complete one
};

template <std::size_t N>
std::span<char> textSpan(FixedText<N>& t) {
    return {t.chars.data(), N};
}

constexpr Range kFlag[] = {{0, 1}};
constexpr Range kOneOfThree[] = {{0, 2}};
constexpr Range kOneOfFour[] = {{0, 3}};
constexpr Range kDeviceId[] = {{0, 99}};
constexpr Range kSystemDelay[] = {{0, 64}};
constexpr Range kAliveTime[] = {{0, 300}};
constexpr Range kGenRate[] = {{1, 10}};
// Internal, AES11, AES inputs 1..8, PHD 1 and 2, MADI coax, SFP 1 and 2, IP.
constexpr Range kAdaptSource[] = {{1, 1}, {3, 3}, {5, 18}};
constexpr Range kPriority[] = {{0, 31}};

constexpr CfgEntry number(std::string_view section, std::string_view key, IntRef ref,
                          std::span<const Range> allowed, bool marksAccepted = false) {
    return {section, key, CfgKind::Integer, ref, nullptr, 0, allowed, marksAccepted};
}
constexpr CfgEntry text(std::string_view section, std::string_view key, TextRef ref) {
    return {section, key, CfgKind::Text, nullptr, ref, 0, {}, false};
}
constexpr CfgEntry address(std::string_view section, std::string_view key, TextRef ref) {
    return {section, key, CfgKind::Address, nullptr, ref, 0, {}, false};
}
constexpr CfgEntry mac(std::string_view key, TextRef ref) {
    return {{}, key, CfgKind::Mac, nullptr, ref, 0, {}, false};
}
constexpr CfgEntry priority(std::string_view section, std::string_view key, int index) {
    return {section, key, CfgKind::Priority, nullptr, nullptr, index, kPriority, false};
}

// Field accessors, kept short so the table below reads as the file does.
#define VELMAR_INT(expr) +[](DeviceSettings& s) -> std::int32_t& { return s.expr; }
#define VELMAR_TEXT(expr) +[](DeviceSettings& s) { return textSpan(s.expr); }

constexpr std::string_view kSectionId = "--- ID ---";
constexpr std::string_view kSectionLan = "--- LAN ---";
constexpr std::string_view kSectionOptional = "--- Optional module ---";
constexpr std::string_view kSectionDante = "--- Dante module ---";

// The file, setting by setting: entry n is the n-th line holding "=". The
// ranges are what the pages offer for each value.
constexpr CfgEntry kEntries[] = {
    number(kSectionId, "ID=", VELMAR_INT(deviceId), kDeviceId),
    text({}, "Name=", VELMAR_TEXT(deviceName)),
    address(kSectionLan, "IP=", VELMAR_TEXT(networkSettings.ipAddress)),
    address({}, "Subnet=", VELMAR_TEXT(networkSettings.subnetMask)),
    address({}, "Gateway=", VELMAR_TEXT(networkSettings.gateway)),
    mac("MAC=", VELMAR_TEXT(networkSettings.macAddress)),
    number({}, "DHCP=", VELMAR_INT(networkSettings.mode), kFlag),
    number("--- System delay ---", "SystemDelay=", VELMAR_INT(systemDelay), kSystemDelay),
    number("--- Alive time ---", "AliveTime=", VELMAR_INT(aliveTime), kAliveTime),
    number("--- General sample rate ---", "SampleRate=", VELMAR_INT(genRate), kGenRate),
    number({}, "SampleRateAdaptSrc=", VELMAR_INT(rateAdaptSource), kAdaptSource),
    number({}, "WordClkOutMode=", VELMAR_INT(wordClockOut), kFlag),
    priority("--- Sync priority ---", "SyncWordPrio=", 0),
    priority({}, "SyncAES11Prio=", 1),
    priority({}, "SyncVideoPrio=", 2),
    priority({}, "SyncAES1Prio=", 3),
    priority({}, "SyncAES2Prio=", 4),
    priority({}, "SyncAES3Prio=", 5),
    priority({}, "SyncAES4Prio=", 6),
    priority({}, "SyncAES5Prio=", 7),
    priority({}, "SyncAES6Prio=", 8),
    priority({}, "SyncAES7Prio=", 9),
    priority({}, "SyncAES8Prio=", 10),
    // Indexes 11 and 12 (PHD 1 and 2) are not part of the file.
    priority({}, "SyncMadiPrio=", 13),
    priority({}, "SyncSFP1Prio=", 14),
    priority({}, "SyncSFP2Prio=", 15),
    priority({}, "SyncIPPrio=", 16),
    number({}, "SyncTermEnable=", VELMAR_INT(syncTerm), kFlag),
    number("--- Madi coax ---", "MadiInMode=", VELMAR_INT(madiInMode[1].values[0]), kFlag),
    number({}, "MadiOutChnSt=", VELMAR_INT(madiOutMode[1].modes[1]), kFlag),
    number({}, "MadiOutLegFr=", VELMAR_INT(madiOutMode[1].modes[2]), kFlag),
    number({}, "MadiOutMode=", VELMAR_INT(madiOutMode[1].modes[3]), kFlag),
    number({}, "MadiOutDsdMode=", VELMAR_INT(madiOutMode[1].dsdMode), kFlag),
    number("--- PHD ---", "PortCfg=", VELMAR_INT(phdMode[0]), kFlag),
    number({}, "EmuMode1=", VELMAR_INT(phdMode[1]), kOneOfFour),
    number({}, "EmuMode2=", VELMAR_INT(phdMode[2]), kOneOfFour),
    text(kSectionDante, "DanteName=", VELMAR_TEXT(ipAudio.moduleName)),
    address({}, "DanteIP=", VELMAR_TEXT(ipAudio.primary.ipAddress)),
    address({}, "DanteSubnet=", VELMAR_TEXT(ipAudio.primary.subnetMask)),
    address({}, "DanteGW=", VELMAR_TEXT(ipAudio.primary.gateway)),
    address({}, "DanteDNS=", VELMAR_TEXT(ipAudio.primary.dns)),
    mac("DanteMAC=", VELMAR_TEXT(ipAudio.primary.macAddress)),
    number({}, "DanteDHCP=", VELMAR_INT(ipAudio.primary.mode), kFlag),
    number({}, "DanteSRate=", VELMAR_INT(ipAudio.sampleRateEnable), kFlag),
    number({}, "DanteSwMode=", VELMAR_INT(ipAudio.switchMode), kFlag),
    address({}, "DanteSecIP=", VELMAR_TEXT(ipAudio.secondary.ipAddress)),
    address({}, "DanteSecSubnet=", VELMAR_TEXT(ipAudio.secondary.subnetMask)),
    address({}, "DanteSecGW=", VELMAR_TEXT(ipAudio.secondary.gateway)),
    address({}, "DanteSecDNS=", VELMAR_TEXT(ipAudio.secondary.dns)),
    number({}, "DanteSecDHCP=", VELMAR_INT(ipAudio.secondary.mode), kFlag),
    number(kSectionOptional, "OptMod1Mode=", VELMAR_INT(optMode[1].value), kOneOfThree),
    number({}, "MadiMod1InMode=", VELMAR_INT(madiInMode[2].values[0]), kFlag),
    number({}, "MadiMod1OutChnSt=", VELMAR_INT(madiOutMode[2].modes[1]), kFlag),
    number({}, "MadiMod1OutLegFr=", VELMAR_INT(madiOutMode[2].modes[2]), kFlag),
    number({}, "MadiMod1OutMode=", VELMAR_INT(madiOutMode[2].modes[3]), kFlag),
    number({}, "MadiMod1OutDsdMode=", VELMAR_INT(madiOutMode[2].dsdMode), kFlag),
    number({}, "OptMod2Mode=", VELMAR_INT(optMode[2].value), kOneOfThree),
    number({}, "MadiMod2InMode=", VELMAR_INT(madiInMode[3].values[0]), kFlag),
    number({}, "MadiMod2OutChnSt=", VELMAR_INT(madiOutMode[3].modes[1]), kFlag),
    number({}, "MadiMod2OutLegFr=", VELMAR_INT(madiOutMode[3].modes[2]), kFlag),
    number({}, "MadiMod2OutMode=", VELMAR_INT(madiOutMode[3].modes[3]), kFlag),
    number({}, "MadiMod2OutDsdMode=", VELMAR_INT(madiOutMode[3].dsdMode), kFlag),
    // The lines below came later; older files end before them and are not taken.
    number("--- AES ---", "AesChnStMode=", VELMAR_INT(aesChannelStatus), kFlag, true),
    number(kSectionOptional, "RedundancyEnable=", VELMAR_INT(optRedundancy[0]), kFlag),
    number({}, "RedundancyMode=", VELMAR_INT(optRedundancy[1]), kOneOfThree, true),
    number(kSectionDante, "DanteMaster=", VELMAR_INT(ipAudio.preferredMaster), kFlag, true),
};

#undef VELMAR_INT
#undef VELMAR_TEXT

static_assert(std::size(kEntries) == cfg::kSettingLines);

constexpr std::string_view kHeader = "[Device settings]";
constexpr std::string_view kLineEnd = "\r\n";

std::string_view textOf(std::span<const char> chars) {
    const auto end = std::find(chars.begin(), chars.end() - 1, '\0');
    return {chars.data(), static_cast<std::size_t>(end - chars.begin())};
}

bool isControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

std::string_view fieldName(std::string_view key) { return key.substr(0, key.size() - 1); }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmedBlanks(std::string_view t) {
    while (!t.empty() && isBlank(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && isBlank(t.back()))
        t.remove_suffix(1);
    return t;
}

// A file's text quoted in a message: short, and without control characters,
// whatever the file holds.
std::string quoted(std::string_view text) {
    constexpr std::size_t kShown = 40;
    std::string out = "\"";
    for (const char c : text.substr(0, kShown))
        out += isControl(c) ? '?' : c;
    if (text.size() > kShown)
        out += "...";
    out += '"';
    return out;
}

// "0 or 1", "0 to 99", "1, 3 or 5 to 18".
std::string rangesText(std::span<const Range> ranges) {
    std::vector<std::string> parts;
    for (const Range& r : ranges) {
        if (r.low == r.high) {
            parts.push_back(std::to_string(r.low));
        } else if (r.high == r.low + 1) {
            parts.push_back(std::to_string(r.low));
            parts.push_back(std::to_string(r.high));
        } else {
            std::string part = std::to_string(r.low);
            part += " to ";
            part += std::to_string(r.high);
            parts.push_back(std::move(part));
        }
    }
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += i + 1 == parts.size() ? " or " : ", ";
        out += parts[i];
    }
    return out;
}

bool inRanges(std::int32_t v, std::span<const Range> ranges) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [v](const Range& r) { return v >= r.low && v <= r.high; });
}

// Checks one value and lays it over the settings; the reason when it is not taken.
// `s` still holds the base's value of this setting: each setting is read once.
std::optional<std::string> takeValue(const CfgEntry& e, std::string_view value,
                                     DeviceSettings& s) {
    switch (e.kind) {
    case CfgKind::Integer:
    case CfgKind::Priority: {
        if (trimmedBlanks(value).empty())
            return std::string("no value; a whole number belongs here");
        const std::optional<std::int32_t> v = cfgStrictInteger(value);
        if (!v) {
            std::string why = quoted(value);
            why += " is not a whole number";
            return why;
        }
        const auto index = static_cast<std::size_t>(e.priorityIndex);
        const std::int32_t held =
            e.kind == CfgKind::Integer ? e.integer(s) : std::int32_t{s.syncPriority[index]};
        // What the settings already hold is never sent, so it passes as it is.
        if (!inRanges(*v, e.allowed) && *v != held) {
            std::string why = std::to_string(*v);
            why += " is not a value the settings take (";
            why += rangesText(e.allowed);
            why += ')';
            return why;
        }
        if (e.kind == CfgKind::Integer)
            e.integer(s) = *v;
        else
            s.syncPriority[index] = static_cast<std::uint8_t>(*v);
        return std::nullopt;
    }
    case CfgKind::Text:
    case CfgKind::Address: {
        const std::span<char> field = e.text(s);
        if (value != textOf(field)) {
            if (auto why = sendableTextProblem(value, field.size() - 1))
                return why;
            if (e.kind == CfgKind::Address && !value.empty() && !parseIpv4(value)) {
                std::string why = quoted(value);
                why += " is not an address (four numbers from 0 to 255 separated by points)";
                return why;
            }
        }
        const std::size_t n = std::min(value.size(), field.size() - 1);
        std::copy_n(value.data(), n, field.data());
        std::fill(field.begin() + static_cast<std::ptrdiff_t>(n), field.end(), '\0');
        return std::nullopt;
    }
    case CfgKind::Mac: break; // the frame's own; a file never changes it
    }
    return std::nullopt;
}

} // namespace

bool isSendableSettingsText(std::string_view text) { return isSendableText(text); }

std::int32_t cfgIntegerValue(std::string_view value) {
    std::size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || (value[i] >= '\t' && value[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '-' || value[i] == '+'))
        negative = value[i++] == '-';
    std::int64_t magnitude = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
        magnitude = std::min(magnitude * 10 + (value[i] - '0'), kLimit);
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(signedValue, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
}

std::optional<std::int32_t> cfgStrictInteger(std::string_view value) {
    const std::string_view t = trimmedBlanks(value);
    std::size_t i = t.starts_with('+') || t.starts_with('-') ? 1 : 0;
    if (i == t.size())
        return std::nullopt;
    std::int64_t magnitude = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (t[i] - '0');
        if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
            return std::nullopt;
    }
    const std::int64_t v = t.front() == '-' ? -magnitude : magnitude;
    if (v > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

std::string writeSettingsFile(const DeviceSettings& settings) {
    // The accessors hand out references for the reader; the writer works on a copy.
    DeviceSettings s = settings;
    std::string out;
    out.reserve(2048);
    out.append(kHeader).append(kLineEnd);
    for (const CfgEntry& e : kEntries) {
        if (!e.section.empty())
            out.append(e.section).append(kLineEnd);
        out.append(e.key);
        switch (e.kind) {
        case CfgKind::Integer: out += std::to_string(e.integer(s)); break;
        case CfgKind::Priority:
            out +=
                std::to_string(unsigned{s.syncPriority[static_cast<std::size_t>(e.priorityIndex)]});
            break;
        case CfgKind::Text:
        case CfgKind::Address:
        case CfgKind::Mac:
            for (const char c : textOf(e.text(s)))
                if (!isControl(c))
                    out += c;
            break;
        }
        out.append(kLineEnd);
    }
    return out;
}

SettingsFileContent readSettingsFile(std::string_view bytes, const DeviceSettings& base) {
    SettingsFileContent content{base, {}, {}, 0, 0};
    if (bytes.find('\0') != std::string_view::npos) {
        content.refusal = "it holds NUL bytes, so it is not a device settings file";
        return content;
    }

    const auto problem = [&content](int line, std::string_view field, std::string_view why) {
        if (static_cast<int>(content.problems.size()) >= cfg::kMaxProblemsListed) {
            ++content.problemsNotListed;
            return;
        }
        std::string text = "line ";
        text += std::to_string(line);
        if (!field.empty()) {
            text += " (";
            text += field;
            text += ')';
        }
        text += ": ";
        text += why;
        content.problems.push_back({line, field, std::move(text)});
    };

    bool accepted = false;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const int index = content.settingLines++;
        const std::string_view key = trimmedBlanks(line.substr(0, equals));
        if (index >= cfg::kSettingLines) {
            std::string why = "the key ";
            why += quoted(key);
            why += " comes after the last setting (DanteMaster)";
            problem(lineNumber, {}, why);
            continue;
        }
        const CfgEntry& e = kEntries[index];
        // A line out of its place, or a file of another kind, would put its
        // values into the wrong settings.
        if (key != fieldName(e.key)) {
            std::string why = "the key is ";
            why += quoted(key);
            why += ", expected \"";
            why += fieldName(e.key);
            why += '"';
            problem(lineNumber, {}, why);
            continue;
        }
        if (auto why = takeValue(e, line.substr(equals + 1), content.settings))
            problem(lineNumber, fieldName(e.key), *why);
        accepted = accepted || e.marksAccepted;
    }

    const int problems = static_cast<int>(content.problems.size()) + content.problemsNotListed;
    if (problems > 0) {
        content.refusal = std::to_string(problems);
        content.refusal += problems == 1 ? " line is" : " lines are";
        content.refusal += " not what a device settings file holds";
    } else if (!accepted) {
        content.refusal = "it holds ";
        content.refusal += std::to_string(content.settingLines);
        content.refusal += " settings lines; a complete device settings file holds at least ";
        content.refusal += std::to_string(cfg::kMinimumSettingLines);
    }
    if (!content.accepted())
        content.settings = base;
    return content;
}

std::string settingsFileRefusalText(const SettingsFileContent& content) {
    std::string out = content.refusal;
    if (!content.problems.empty())
        out += ':';
    for (const CfgProblem& p : content.problems) {
        out += '\n';
        out += p.text;
    }
    if (content.problemsNotListed > 0) {
        out += "\nand ";
        out += std::to_string(content.problemsNotListed);
        out += content.problemsNotListed == 1 ? " more line" : " more lines";
    }
    return out;
}

} // namespace velmar
