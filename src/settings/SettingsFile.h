#pragma once

#include "engine/DeviceState.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// The device settings file (*.cfg): "[Device settings]", then one "Key=value"
// line per setting in a fixed order with section lines between them, CR LF
// after each. The n-th line holding "=" is setting n and must carry that
// setting's key; lines without "=" are skipped. The shell does the file
// dialogs and the file I/O (through readFileBounded); these functions turn a
// DeviceSettings into the file's text and the text back into settings.
namespace cfg {

inline constexpr std::string_view kDefaultExtension = "*.cfg";
inline constexpr std::string_view kFilter = "Device settings (*.cfg)|*.cfg|All Files (*.*)|*.*||";
inline constexpr std::string_view kSaveTitle = "Save device settings";
inline constexpr std::string_view kLoadTitle = "Load device settings";

// Settings lines a file holds at most.
inline constexpr int kSettingLines = 66;
// A file is taken only when it reaches one of the settings that newer files
// end with: it then holds at least this many "=" lines.
inline constexpr int kMinimumSettingLines = 63;
// Problems a refusal lists one by one; the rest are counted.
inline constexpr int kMaxProblemsListed = 20;

} // namespace cfg

// A .cfg written by the program is about 1.5 KB. Anything far beyond that is
// not one, and reading it would only cost memory.
inline constexpr std::size_t kMaxSettingsFileBytes = 256 * 1024;

// The file's text for `settings`, byte for byte as the program has always
// written it. Texts holding control characters lose them, so that one value
// can never turn into several lines and shift every setting after it.
std::string writeSettingsFile(const DeviceSettings& settings);

// A line of a file that the reader does not take. One is enough to refuse
// the whole file: a partial apply would leave the frame half changed.
struct CfgProblem {
    int line = 0;           // line number in the file, from 1
    std::string_view field; // the setting's key without "=" ("Name"); empty past the last setting
    std::string text;       // "line 3 (ID): \"abc\" is not a whole number"
    friend bool operator==(const CfgProblem&, const CfgProblem&) = default;
};

struct SettingsFileContent {
    // `base` with the file's values laid over it; equal to `base` when refused.
    DeviceSettings settings;
    // Non-empty when the file is not taken (not a text file, too few settings
    // lines, or lines listed in `problems`); then nothing of it may be used.
    std::string refusal;
    std::vector<CfgProblem> problems; // in file order, at most cfg::kMaxProblemsListed
    int problemsNotListed = 0;        // further lines with a problem
    int settingLines = 0;             // "=" lines read, those beyond the last setting included
    bool accepted() const { return refusal.empty(); }
};

// Reads a file's bytes over a copy of `base` (the fields the file does not
// carry keep their values). Each "=" line must carry the key of the setting at
// its place; numbers are whole decimal numbers (blanks around them allowed);
// each value must be one the settings pages take (an address four numbers
// 0..255, a name without quotes or commas and within its field) unless it is
// the value `base` already holds, which sends nothing. MAC lines are never
// taken. Every line with a problem is listed; a file holding NUL bytes, fewer
// than cfg::kMinimumSettingLines settings lines or any problem is refused.
SettingsFileContent readSettingsFile(std::string_view bytes, const DeviceSettings& base);

// The refusal and one line per problem, for a message box or a terminal.
std::string settingsFileRefusalText(const SettingsFileContent& content);

// Whether a name or address text can travel to the frame intact: the frame
// splits its lines at commas and ends a text at a quote (' or ").
bool isSendableSettingsText(std::string_view text);

// The integer of a value read leniently (blanks, a sign, digits up to the
// first other character, 0 without digits); values beyond the int range
// saturate. For what an operator types into a cell, not for files.
std::int32_t cfgIntegerValue(std::string_view value);

// A whole decimal number with optional blanks around it and an optional sign,
// within the int range; nothing otherwise.
std::optional<std::int32_t> cfgStrictInteger(std::string_view value);

} // namespace velmar
