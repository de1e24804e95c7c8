#include "maintenance/FlashFile.h"

#include "engine/DeviceState.h"
#include "protocol/TerminalText.h"

#include <cctype>
#include <utility>

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

// "S", the record type digit, then hexadecimal digits: a line of text that
// happens to begin with "S" is no image.
bool looksLikeRecord(std::string_view line) {
    if (line.size() < 2 || line[1] < '0' || line[1] > '9')
        return false;
    for (const char c : line.substr(2))
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

} // namespace

std::optional<std::string_view> CFlashLineReader::next() {
    if (m_pos >= m_text.size())
        return std::nullopt;
    std::size_t end = m_text.find('\n', m_pos);
    if (end == std::string_view::npos)
        end = m_text.size();
    std::string_view line = m_text.substr(m_pos, end - m_pos);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    m_pos = end + 1;
    ++m_number;
    return line;
}

FlashFile parseFlashFile(std::string bytes) {
    FlashFile f;
    f.text = std::move(bytes);
    CFlashLineReader reader(f.text);
    // The transfer skips one line ahead of the first record and ends at the
    // next line that is none; records behind such a line would never be sent.
    std::size_t strayLine = 0; // the last non-empty line that is no record
    int linesAhead = 0;        // non-empty lines that are no record, before the first one
    while (const std::optional<std::string_view> line = reader.next()) {
        if (reader.lineNumber() == 1)
            f.header = parseFlashHeader(*line);
        if (line->empty())
            continue;
        if (!isRecord(*line)) {
            strayLine = reader.lineNumber();
            if (f.recordCount == 0)
                ++linesAhead;
            continue;
        }
        ++f.recordCount;
        const std::size_t stray = std::exchange(strayLine, 0);
        if (!f.refusal.empty())
            continue;
        const std::string number = std::to_string(reader.lineNumber());
        if (stray != 0 && (f.recordCount > 1 || linesAhead > 1)) {
            f.refusal = "Line ";
            f.refusal += std::to_string(stray);
            f.refusal += " is no record but stands before the record in line ";
            f.refusal += number;
            f.refusal += ", which would never be sent";
        } else if (line->size() > kMaxRecordLength)
            f.refusal = "Line " + number + " is longer than " + std::to_string(kMaxRecordLength) +
                        " characters and cannot be sent";
        else if (!printable(*line))
            f.refusal = "Line " + number + " holds characters that cannot be sent";
        else if (!looksLikeRecord(*line))
            f.refusal = "Line " + number + " begins with S but is no S-record (S, a digit, " +
                        "then hexadecimal digits)";
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

std::optional<std::string> flashReleaseProblem(std::string_view release) {
    for (std::size_t i = 0; i < release.size();) {
        const auto byte = static_cast<unsigned char>(release[i]);
        if (byte < 0x20 || byte == 0x7f || isC1Control(release, i))
            return "the release holds a control character";
        if (byte < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = utf8SequenceLength(release, i);
        if (length == 0)
            return "the release holds bytes that are not UTF-8 text";
        i += length;
    }
    return std::nullopt;
}

FlashJoinResult joinFlashComponents(FlashJoinType type, std::string_view release,
                                    const FlashComponentReader& read) {
    FlashJoinResult out;
    if (const auto why = flashReleaseProblem(release)) {
        out.problem = *why;
        return out;
    }
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
        const FlashFile file = parseFlashFile(std::move(*bytes));
        int left = file.recordCount - (c.dropLastRecord ? 1 : 0);
        CFlashLineReader reader(file.text);
        while (left > 0) {
            const std::optional<std::string_view> line = reader.next();
            if (!line)
                break;
            if (!isRecord(*line))
                continue;
            out.text += *line;
            out.text += '\n';
            --left;
        }
    }
    return out;
}

} // namespace velmar
