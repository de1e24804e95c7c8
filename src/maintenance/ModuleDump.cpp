#include "maintenance/ModuleDump.h"

namespace velmar {

namespace {

// AD card types whose input mode the dump records.
constexpr int kCardTypeAd = 2;
constexpr int kCardTypeAdTwoChannel = 6;

// A value from the frame on one line of its own: a line end or another
// control character inside it would break the file's lines apart.
void appendValue(std::string& out, std::string_view value) {
    for (const char c : value)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            out += c;
}

void appendLine(std::string& out, std::string_view key, int module, std::string_view value) {
    out += key;
    out += std::to_string(module);
    out += '=';
    appendValue(out, value);
    out += '\n';
}

void appendModule(std::string& out, const DeviceSettings& s, int module) {
    const HwConfRecord& hw = s.hwConf[static_cast<std::size_t>(module)];
    appendLine(out, "BoardType_", module, hw.boardCode.view());
    appendLine(out, "BoardSN_", module, hw.secondText.view());
    appendLine(out, "BoardSW_", module,
               softwareText(s.swVersion[static_cast<std::size_t>(module)]));
}

bool fitted(const DeviceSettings& s, int module) {
    return s.hwConf[static_cast<std::size_t>(module)].present != 0;
}

} // namespace

std::string CCardsLogic::unavailableReason(const DeviceState& state) {
    if (!state.connected)
        return "Not connected to a frame.";
    if (state.family == kFamily465)
        return "A 465 frame reports no modules for a dump.";
    return {};
}

std::string softwareText(const SwVersionRecord& record) {
    std::string out;
    for (int pair = 0; pair < fields::kSwVerPairs; ++pair) {
        const std::string_view name = record.first[static_cast<std::size_t>(pair)].view();
        const std::string_view version = record.second[static_cast<std::size_t>(pair)].view();
        if (name.empty() || version.empty())
            break;
        if (pair > 0)
            out += " | ";
        out += name;
        out += ": ";
        out += version;
    }
    return out;
}

std::string moduleDumpText(const DeviceSettings& s, DumpChoice choice) {
    std::string out = "[Module information]\n";
    const bool dante = choice.dante && fitted(s, kModuleIpAudio);
    if (dante) {
        out += "--- LAN ---\n";
        out += "DanteMAC=";
        appendValue(out, s.ipAudio.primary.macAddress.view());
        out += '\n';
    }
    out += "--- HW & SW information ---\n";
    if (choice.mini && fitted(s, kModuleSfp))
        appendModule(out, s, kModuleSfp);
    if (choice.cards) {
        for (int module = kModuleFirstCard; module < kModuleFirstCard + kCardSlots; ++module) {
            if (!fitted(s, module))
                continue;
            appendModule(out, s, module);
            // The input mode belongs to the card the record names, which is
            // the slot's own in every report a frame sends.
            const int named = s.hwConf[static_cast<std::size_t>(module)].module;
            if (named < kModuleFirstCard || named >= kModuleFirstCard + kCardSlots)
                continue;
            const CardRecord& card =
                s.cards[static_cast<std::size_t>(named - kModuleFirstCard + 1)];
            if (card.cardType == kCardTypeAd || card.cardType == kCardTypeAdTwoChannel)
                appendLine(out, "BoardMode_", module, card.cardMode != 0 ? "MicLine" : "Line");
        }
    }
    if (dante)
        appendModule(out, s, kModuleIpAudio);
    return out;
}

} // namespace velmar
