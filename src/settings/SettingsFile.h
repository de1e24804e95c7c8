#pragma once

#include "main/DeviceState.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// The device settings file (*.cfg): "[Device settings]", then one "Key=value"
// line per setting in a fixed order with section lines between them, CR LF
// after each. Reading is positional: the n-th line holding "=" is setting n,
// whatever its key says; lines without "=" are skipped. The shell does the file
// dialogs and the file I/O (through readFileBounded); these functions turn a
// DeviceSettings into the file's text and the text back into settings.
namespace cfg {

inline constexpr std::string_view kDefaultExtension = "*.cfg";
inline constexpr std::string_view kFilter = "Device settings (*.cfg)|*.cfg|All Files (*.*)|*.*||";
inline constexpr std::string_view kSaveTitle = "Save device settings";
inline constexpr std::string_view kLoadTitle = "Load device settings";

// Settings lines the reader takes; later ones are ignored.
inline constexpr int kSettingLines = 66;
// A file is taken only when it reaches one of the settings that newer files
// end with: it then holds at least this many "=" lines.
inline constexpr int kMinimumSettingLines = 63;

} // namespace cfg

// A .cfg written by the program is about 1.5 KB. Anything far beyond that is
// not one, and reading it would only cost memory.
inline constexpr std::size_t kMaxSettingsFileBytes = 256 * 1024;

// The file's text for `settings`, byte for byte as the program has always
// written it. Texts holding control characters lose them, so that one value
// can never turn into several lines and shift every setting after it.
std::string writeSettingsFile(const DeviceSettings& settings);

// A value of the file that was not taken as it stood.
struct CfgValueNote {
    enum class Kind {
        Refused, // a name or address holding a quote, comma or control character: not taken
        Cut,     // a text longer than its field: cut to the field
    };
    Kind kind = Kind::Refused;
    int line = 0;           // line number in the file, from 1
    std::string_view field; // the key the program writes for that setting ("Name=" -> "Name")
    int kept = 0;           // Cut: the characters the field holds
    friend bool operator==(const CfgValueNote&, const CfgValueNote&) = default;
};

struct SettingsFileContent {
    // `base` with the file's values laid over it; equal to `base` when refused.
    DeviceSettings settings;
    // Non-empty when the file is not taken at all (not a text file, or too few
    // settings lines); then nothing of it may be used.
    std::string refusal;
    std::vector<CfgValueNote> notes; // in file order
    int settingLines = 0;            // "=" lines read, those beyond the last setting included
    bool accepted() const { return refusal.empty(); }
};

// Reads a file's bytes over a copy of `base` (the fields the file does not
// carry keep their values). Integers are read leniently (blanks, a sign, digits
// up to the first other character, 0 without digits); the AES channel status
// mode and the redundancy values are clamped as the pages know them; a priority
// keeps its low eight bits; MAC lines are never taken. A file holding NUL bytes,
// or fewer than cfg::kMinimumSettingLines settings lines, is refused.
SettingsFileContent readSettingsFile(std::string_view bytes, const DeviceSettings& base);

// One sentence per note for the operator ("Line 3 (Name): not taken, it holds
// a quote, comma or control character."), joined by newlines; empty without notes.
std::string settingsFileNotesText(const std::vector<CfgValueNote>& notes);

// Whether a name or address text can travel to the frame intact: the frame
// splits its lines at commas and ends a text at a quote (' or ").
bool isSendableSettingsText(std::string_view text);

// The integer of a value as the reader takes it; values beyond the int range
// saturate.
std::int32_t cfgIntegerValue(std::string_view value);

} // namespace velmar
