#include "settings/SettingsFile.h"

#include "protocol/WireText.h"

#include <algorithm>
#include <limits>
#include <span>

namespace velmar {

namespace {

enum class CfgKind {
    Integer,
    Priority, // one byte of the priority table
    Text,     // a name or an address
    Mac,      // written for the reader's eyes, never read back
};

using IntRef = std::int32_t& (*)(DeviceSettings&);
using TextRef = std::span<char> (*)(DeviceSettings&);

struct CfgEntry {
    std::string_view section; // the section line written before this entry, if any
    std::string_view key;     // with its "="
    CfgKind kind = CfgKind::Integer;
    IntRef integer = nullptr;
    TextRef text = nullptr;
    int priorityIndex = 0;
    std::int32_t clampAbove = -1; // a value above this is read as 0; -1: no clamp
    bool marksAccepted = false;   // reaching this line makes the file a complete one
};

template <std::size_t N>
std::span<char> textSpan(FixedText<N>& t) {
    return {t.chars.data(), N};
}

constexpr CfgEntry number(std::string_view section, std::string_view key, IntRef ref,
                          std::int32_t clampAbove = -1, bool marksAccepted = false) {
    return {section, key, CfgKind::Integer, ref, nullptr, 0, clampAbove, marksAccepted};
}
constexpr CfgEntry text(std::string_view section, std::string_view key, TextRef ref) {
    return {section, key, CfgKind::Text, nullptr, ref, 0, -1, false};
}
constexpr CfgEntry mac(std::string_view key, TextRef ref) {
    return {{}, key, CfgKind::Mac, nullptr, ref, 0, -1, false};
}
constexpr CfgEntry priority(std::string_view section, std::string_view key, int index) {
    return {section, key, CfgKind::Priority, nullptr, nullptr, index, -1, false};
}

// Field accessors, kept short so the table below reads as the file does.
#define VELMAR_INT(expr) +[](DeviceSettings& s) -> std::int32_t& { return s.expr; }
#define VELMAR_TEXT(expr) +[](DeviceSettings& s) { return textSpan(s.expr); }

constexpr std::string_view kSectionId = "--- ID ---";
constexpr std::string_view kSectionLan = "--- LAN ---";
constexpr std::string_view kSectionOptional = "--- Optional module ---";
constexpr std::string_view kSectionDante = "--- Dante module ---";

// The file, setting by setting: entry n is the n-th line holding "=".
constexpr CfgEntry kEntries[] = {
    number(kSectionId, "ID=", VELMAR_INT(deviceId)),
    text({}, "Name=", VELMAR_TEXT(deviceName)),
    text(kSectionLan, "IP=", VELMAR_TEXT(networkSettings.ipAddress)),
    text({}, "Subnet=", VELMAR_TEXT(networkSettings.subnetMask)),
    text({}, "Gateway=", VELMAR_TEXT(networkSettings.gateway)),
    mac("MAC=", VELMAR_TEXT(networkSettings.macAddress)),
    number({}, "DHCP=", VELMAR_INT(networkSettings.mode)),
    number("--- System delay ---", "SystemDelay=", VELMAR_INT(systemDelay)),
    number("--- Alive time ---", "AliveTime=", VELMAR_INT(aliveTime)),
    number("--- General sample rate ---", "SampleRate=", VELMAR_INT(genRate)),
    number({}, "SampleRateAdaptSrc=", VELMAR_INT(rateAdaptSource)),
    number({}, "WordClkOutMode=", VELMAR_INT(wordClockOut)),
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
    number({}, "SyncTermEnable=", VELMAR_INT(syncTerm)),
    number("--- Madi coax ---", "MadiInMode=", VELMAR_INT(madiInMode[1].values[0])),
    number({}, "MadiOutChnSt=", VELMAR_INT(madiOutMode[1].modes[1])),
    number({}, "MadiOutLegFr=", VELMAR_INT(madiOutMode[1].modes[2])),
    number({}, "MadiOutMode=", VELMAR_INT(madiOutMode[1].modes[3])),
    number({}, "MadiOutDsdMode=", VELMAR_INT(madiOutMode[1].dsdMode)),
    number("--- PHD ---", "PortCfg=", VELMAR_INT(phdMode[0])),
    number({}, "EmuMode1=", VELMAR_INT(phdMode[1])),
    number({}, "EmuMode2=", VELMAR_INT(phdMode[2])),
    text(kSectionDante, "DanteName=", VELMAR_TEXT(ipAudio.moduleName)),
    text({}, "DanteIP=", VELMAR_TEXT(ipAudio.primary.ipAddress)),
    text({}, "DanteSubnet=", VELMAR_TEXT(ipAudio.primary.subnetMask)),
    text({}, "DanteGW=", VELMAR_TEXT(ipAudio.primary.gateway)),
    text({}, "DanteDNS=", VELMAR_TEXT(ipAudio.primary.dns)),
    mac("DanteMAC=", VELMAR_TEXT(ipAudio.primary.macAddress)),
    number({}, "DanteDHCP=", VELMAR_INT(ipAudio.primary.mode)),
    number({}, "DanteSRate=", VELMAR_INT(ipAudio.sampleRateEnable)),
    number({}, "DanteSwMode=", VELMAR_INT(ipAudio.switchMode)),
    text({}, "DanteSecIP=", VELMAR_TEXT(ipAudio.secondary.ipAddress)),
    text({}, "DanteSecSubnet=", VELMAR_TEXT(ipAudio.secondary.subnetMask)),
    text({}, "DanteSecGW=", VELMAR_TEXT(ipAudio.secondary.gateway)),
    text({}, "DanteSecDNS=", VELMAR_TEXT(ipAudio.secondary.dns)),
    number({}, "DanteSecDHCP=", VELMAR_INT(ipAudio.secondary.mode)),
    number(kSectionOptional, "OptMod1Mode=", VELMAR_INT(optMode[1].value)),
    number({}, "MadiMod1InMode=", VELMAR_INT(madiInMode[2].values[0])),
    number({}, "MadiMod1OutChnSt=", VELMAR_INT(madiOutMode[2].modes[1])),
    number({}, "MadiMod1OutLegFr=", VELMAR_INT(madiOutMode[2].modes[2])),
    number({}, "MadiMod1OutMode=", VELMAR_INT(madiOutMode[2].modes[3])),
    number({}, "MadiMod1OutDsdMode=", VELMAR_INT(madiOutMode[2].dsdMode)),
    number({}, "OptMod2Mode=", VELMAR_INT(optMode[2].value)),
    number({}, "MadiMod2InMode=", VELMAR_INT(madiInMode[3].values[0])),
    number({}, "MadiMod2OutChnSt=", VELMAR_INT(madiOutMode[3].modes[1])),
    number({}, "MadiMod2OutLegFr=", VELMAR_INT(madiOutMode[3].modes[2])),
    number({}, "MadiMod2OutMode=", VELMAR_INT(madiOutMode[3].modes[3])),
    number({}, "MadiMod2OutDsdMode=", VELMAR_INT(madiOutMode[3].dsdMode)),
    // The lines below came later; older files end before them and are not taken.
    number("--- AES ---", "AesChnStMode=", VELMAR_INT(aesChannelStatus), 1, true),
    number(kSectionOptional, "RedundancyEnable=", VELMAR_INT(optRedundancy[0]), 1),
    number({}, "RedundancyMode=", VELMAR_INT(optRedundancy[1]), 2, true),
    number(kSectionDante, "DanteMaster=", VELMAR_INT(ipAudio.preferredMaster), -1, true),
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
    SettingsFileContent content{base, {}, {}, 0};
    if (bytes.find('\0') != std::string_view::npos) {
        content.refusal = "it holds NUL bytes, so it is not a device settings file";
        return content;
    }

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
        if (index >= cfg::kSettingLines)
            continue;
        const CfgEntry& e = kEntries[index];
        const std::string_view value = line.substr(equals + 1);
        DeviceSettings& s = content.settings;
        switch (e.kind) {
        case CfgKind::Integer: {
            std::int32_t v = cfgIntegerValue(value);
            if (e.clampAbove >= 0 && v > e.clampAbove)
                v = 0;
            e.integer(s) = v;
            break;
        }
        case CfgKind::Priority:
            // A byte keeps the low eight bits, as it always did: 300 reads as 44.
            s.syncPriority[static_cast<std::size_t>(e.priorityIndex)] = static_cast<std::uint8_t>(
                static_cast<std::uint32_t>(cfgIntegerValue(value)) & 0xFFU);
            break;
        case CfgKind::Text: {
            if (!isSendableSettingsText(value)) {
                content.notes.push_back(
                    {CfgValueNote::Kind::Refused, lineNumber, fieldName(e.key), 0});
                break;
            }
            const std::span<char> field = e.text(s);
            const std::size_t n = std::min(value.size(), field.size() - 1);
            if (n < value.size())
                content.notes.push_back(
                    {CfgValueNote::Kind::Cut, lineNumber, fieldName(e.key), static_cast<int>(n)});
            std::copy_n(value.data(), n, field.data());
            std::fill(field.begin() + static_cast<std::ptrdiff_t>(n), field.end(), '\0');
            break;
        }
        case CfgKind::Mac: break; // the frame's own; a file never changes it
        }
        accepted = accepted || e.marksAccepted;
    }

    if (!accepted) {
        content.settings = base;
        content.notes.clear();
        content.refusal = "it holds " + std::to_string(content.settingLines) +
                          " settings lines; a complete device settings file holds at least " +
                          std::to_string(cfg::kMinimumSettingLines);
    }
    return content;
}

std::string settingsFileNotesText(const std::vector<CfgValueNote>& notes) {
    std::string out;
    for (const CfgValueNote& n : notes) {
        if (!out.empty())
            out += '\n';
        out += "Line " + std::to_string(n.line) + " (" + std::string(n.field) + "): ";
        out += n.kind == CfgValueNote::Kind::Refused
                   ? "not taken, it holds a quote, comma or control character."
                   : "too long, cut to " + std::to_string(n.kept) + " characters.";
    }
    return out;
}

} // namespace velmar
