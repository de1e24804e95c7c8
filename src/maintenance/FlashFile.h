#pragma once

#include "protocol/DeviceMessage.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// A flash image: Motorola S-record lines, sent to the frame one by one exactly
// as they stand, behind an optional header line ";Type:460,Release:2.1".

// The longest record one "sprog" request carries (its text field less the NUL).
inline constexpr std::size_t kMaxRecordLength = fields::kProgramLine.capacity - 1;
// Even a joined image of every component is far smaller; anything larger is
// not a flash file.
inline constexpr std::size_t kMaxFlashFileBytes = std::size_t{64} * 1024 * 1024;

// Walks a file's lines in place, without their CR LF or LF ends, so a file
// of many short lines costs no more memory than its bytes.
class CFlashLineReader {
public:
    explicit CFlashLineReader(std::string_view text) : m_text(text) {}
    // The next line; nullopt at the end of the text.
    std::optional<std::string_view> next();
    // The 1-based number of the line last returned.
    std::size_t lineNumber() const { return m_number; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_number = 0;
};

inline constexpr std::string_view kFlashTypeFrame = "460"; // every family but the panel unit
inline constexpr std::string_view kFlashTypePanel = "450"; // the control panel unit

struct FlashHeader {
    std::string type;    // empty when the first line names none
    std::string release; // empty when it names none
};

// Reads the header from a file's first line; a line without ":" and "," names
// no type.
FlashHeader parseFlashHeader(std::string_view firstLine);

struct FlashFile {
    std::string text; // the whole file, as read
    FlashHeader header;
    int recordCount = 0; // non-empty lines that begin with "S"
    // Why the file cannot be sent as it stands (a record too long for a
    // request, or one with bytes a request cannot carry), naming the line;
    // empty when it can.
    std::string refusal;
};

FlashFile parseFlashFile(std::string bytes);

// Whether an image of `type` fits a frame of `family`: "450" only the panel
// unit, "460" every other family. nullopt when the type is neither, so the
// file cannot be verified.
std::optional<bool> flashFitsFamily(std::string_view type, int family);

// The name the image goes by in the dialog: the path after its last "\" or
// "/", and "  (release: R)" when the header names a release.
std::string flashDisplayName(std::string_view path, std::string_view release);

// ---- joining the component images of one release ----------------------------

enum class FlashJoinType { Frame = 0, Panel = 1 }; // "460", "450"

struct FlashComponent {
    std::string_view fileName;
    bool dropLastRecord = false; // the image continues in the next one
};

const std::vector<FlashComponent>& flashComponents(FlashJoinType type);
std::string_view flashJoinTypeText(FlashJoinType type);

// The longest file name the save dialog proposes.
inline constexpr std::size_t kMaxJoinNameLength = 31;
// "zarvo_460_all", "dorn_450_2.1_all"; a release too long for the limit is
// shortened so that the name still ends in "_all".
std::string flashJoinFileName(FlashJoinType type, std::string_view release);

struct FlashJoinResult {
    std::string text;    // the joined image, when ok
    std::string missing; // the component that could not be read
    std::string problem; // why the release cannot stand in the header line
    bool ok() const { return missing.empty() && problem.empty(); }
};

// Why `release` cannot stand in a header line, or nothing: a control
// character would end the line (and start a record of its own) or act on the
// terminal of whoever reads the file.
std::optional<std::string> flashReleaseProblem(std::string_view release);

// Reads a component by file name; nullopt when it cannot be read.
using FlashComponentReader = std::function<std::optional<std::string>(std::string_view)>;

// Joins the components in table order: the header line when the release is
// not empty, then every record line of each component (all but the last of
// the marked ones), each ended by "\n". A component that cannot be read
// spoils the whole result, and so does a release that fails
// flashReleaseProblem.
FlashJoinResult joinFlashComponents(FlashJoinType type, std::string_view release,
                                    const FlashComponentReader& read);

} // namespace velmar
