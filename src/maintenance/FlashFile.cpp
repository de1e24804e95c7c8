#include "maintenance/FlashFile.h"

#include "main/DeviceState.h"

namespace velmar {

FlashHeader parseFlashHeader(std::string_view firstLine) {
    FlashHeader h;
    const std::size_t colon = firstLine.find(':');
    if (colon == std::string_view::npos)
        return h;
    const std::string_view rest = firstLine.substr(colon + 1);
    const std::size_t comma = rest.find(',');
    if (comma == std::string_view::npos)
        return h;
    h.type = std::string(rest.substr(0, comma));
    const std::string_view tail = rest.substr(comma + 1);
    if (const std::size_t c = tail.find(':'); c != std::string_view::npos)
        h.release = std::string(tail.substr(c + 1));
    return h;
}

namespace {

bool isRecord(std::string_view line) { return !line.empty() && line.front() == 'S'; }

// A request carries printable text only; anything else would reach the frame
// changed or cut short.
bool printable(std::string_view line) {
    for (const char c : line)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e)
            return false;
    return true;
}

} // namespace

FlashFile parseFlashFile(std::string_view bytes) {
    FlashFile f;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find('\n', pos);
        const bool last = end == std::string_view::npos;
        if (last)
            end = bytes.size();
        std::string_view line = bytes.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        f.lines.emplace_back(line);
        pos = last ? bytes.size() : end + 1;
    }
    if (!f.lines.empty())
        f.header = parseFlashHeader(f.lines.front());
    for (std::size_t i = 0; i < f.lines.size(); ++i) {
        const std::string& line = f.lines[i];
        if (!isRecord(line))
            continue;
        ++f.recordCount;
        if (!f.refusal.empty())
            continue;
        const std::string number = std::to_string(i + 1);
        if (line.size() > kMaxRecordLength)
            f.refusal = "Line " + number + " is longer than " + std::to_string(kMaxRecordLength) +
                        " characters and cannot be sent";
        else if (!printable(line))
            f.refusal = "Line " + number + " holds characters that cannot be sent";
    }
    return f;
}

std::optional<bool> flashFitsFamily(std::string_view type, int family) {
    if (type == kFlashTypePanel)
        return family == kFamily450;
    if (type == kFlashTypeFrame)
        return family != kFamily450;
    return std::nullopt;
}

std::string flashDisplayName(std::string_view path, std::string_view release) {
    const std::size_t slash = path.find_last_of("\\/");
    std::string name(slash == std::string_view::npos ? path : path.substr(slash + 1));
    if (!release.empty())
        name += "  (release: " + std::string(release) + ")";
    return name;
}

// ---- joining ----------------------------------------------------------------

const std::vector<FlashComponent>& flashComponents(FlashJoinType type) {
    static const std::vector<FlashComponent> frame = {
        {"cycloneIII_3c25_niosII_application_selector_ext_flash.flash"},
        {"Nios460core_ext_flash.flash", true},
        {"Nios460core_ext_flash_1_.flash"},
        {"470_main_board_fpga_ext_flash.flash"},
        {"460101MainBoardFpga.flash"},
        {"AesEbuFpga_ext_flash.flash"},
        {"QB16AdFpga_ext_flash.flash"},
        {"QB16DaFpgaB_ext_flash.flash"},
        {"MadiFpga_ext_flash.flash"},
        {"SdiAudEmbExt_ext_flash.flash"},
        {"SdiRxSrc_ext_flash.flash"},
        {"DspFpgaCard_ext_flash.flash"},
    };
    static const std::vector<FlashComponent> panel = {
        {"cycloneIII_3c25_niosII_application_selector_ext_flash.flash"},
        {"Nios450_ext_flash.flash", true},
        {"Nios450_ext_flash_1_.flash"},
    };
    return type == FlashJoinType::Panel ? panel : frame;
}

std::string_view flashJoinTypeText(FlashJoinType type) {
    return type == FlashJoinType::Panel ? kFlashTypePanel : kFlashTypeFrame;
}

std::string flashJoinFileName(FlashJoinType type, std::string_view release) {
    const std::string prefix = type == FlashJoinType::Panel ? "dorn_450_" : "zarvo_460_";
    if (release.empty())
        return prefix + "all";
    constexpr std::string_view suffix = "_all";
    const std::size_t room = kMaxJoinNameLength - prefix.size() - suffix.size();
    return prefix + std::string(release.substr(0, room)) + std::string(suffix);
}

FlashJoinResult joinFlashComponents(FlashJoinType type, std::string_view release,
                                    const FlashComponentReader& read) {
    FlashJoinResult out;
    if (!release.empty())
        out.text = ";Type:" + std::string(flashJoinTypeText(type)) +
                   ",Release:" + std::string(release) + "\n";
    for (const FlashComponent& c : flashComponents(type)) {
        const std::optional<std::string> bytes = read(c.fileName);
        if (!bytes) {
            out.text.clear();
            out.missing = std::string(c.fileName);
            return out;
        }
        const FlashFile file = parseFlashFile(*bytes);
        int left = file.recordCount - (c.dropLastRecord ? 1 : 0);
        for (const std::string& line : file.lines) {
            if (left <= 0)
                break;
            if (line.empty() || line.front() != 'S')
                continue;
            out.text += line;
            out.text += '\n';
            --left;
        }
    }
    return out;
}

} // namespace velmar
