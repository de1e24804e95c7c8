#pragma once

#include "engine/DeviceState.h"
#include "settings/CardConfPage.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// The logic of the settings dialog's pages, without widgets. Each page keeps
// its own values (its share of DeviceSettings) and the state of its controls:
// what each list holds and selects, what each field shows, what is enabled or
// visible. The Qt pages copy the operator's input into these states, call the
// page's handlers, and show the states again; every rule lives here.

// What the dialog is given besides its copy of the settings.
struct SettingsDialogInputs {
    int family = 0;
    bool noPhd = false;               // the frame has no PHD ports
    bool versionAbove2000000 = false; // SFP redundancy exists
    bool versionAbove2000200 = false; // Dante preferred master and latency exist
    std::int32_t bkLock = 0;          // last "gbklock"
    std::int32_t bkDomainState = 0;   // third value of the last "gbkdomain"
    bool sfpPresent = false;          // optional module fitted
    bool ipModulePresent = false;     // Dante module fitted
};

SettingsDialogInputs settingsDialogInputs(const DeviceState& state);

// ---- control states ----

struct ComboEntry {
    std::string_view text;
    std::int32_t value = 0; // what the settings, the file and the request carry
    friend bool operator==(const ComboEntry&, const ComboEntry&) = default;
};

struct ComboState {
    std::vector<ComboEntry> entries;
    int selected = -1; // -1: no selection
    bool enabled = true;
    // Selects the entry whose value is `value`; none when no entry has it.
    void selectValue(std::int32_t value);
    // Selects the entry at position `value`; none when there is no such entry.
    void selectIndex(std::int32_t value);
    // The selected entry's value, or `previous` when nothing is selected.
    std::int32_t valueOr(std::int32_t previous) const;
    // A rebuilt list with nothing selected.
    void reset(std::vector<ComboEntry> newEntries);
};

struct EditState {
    std::string text;
    bool enabled = true;
};

struct CheckState {
    bool checked = false;
    bool enabled = true;
};

// A validation that failed when a page was stored: the page keeps the focus
// and the operator is told why.
struct PageError {
    std::string message;
    int control = 0; // which field to focus, as the page numbers them
};

// The texts a name or address field refuses to take: a quote, a comma or a
// control character would not reach the frame intact.
bool acceptsSettingsCharacter(char c);

// The address a fixed-address block stores for what its field shows: four
// numbers 0..255; missing numbers count as 0, as in an address control. An
// address that is all zeros or all ones means none and becomes "0.0.0.0".
// No value when the text is not such an address.
std::optional<std::string> storedAddress(std::string_view shown);
// How a stored address text is shown in an address field ("" shows 0.0.0.0).
std::string shownAddress(std::string_view stored);

// ---- ID ----
class CDevIdPage {
public:
    enum Control { kId = 1, kName };
    static constexpr int kMaxId = 99;
    static constexpr int kNameLength = 16;

    void distribute(const DeviceSettings& s);
    void gather(DeviceSettings& s) const;
    void load();
    std::optional<PageError> store();

    EditState id, name;

private:
    std::int32_t m_id = 0;
    std::string m_name;
};

// ---- an address block: "Obtain an IP address automatically" or a fixed one ----
struct AddressBlockState {
    CheckState automatic;             // the plain radio button
    CheckState fixed;                 // the group box's caption radio
    std::vector<EditState> addresses; // IP, subnet, gateway (and DNS on the Dante page)
    std::string macText;              // "MAC address : ..." or empty
    bool macVisible = true;
    bool enabled = true; // the whole block
    void chooseAutomatic(bool automaticChosen);
};

// ---- Network ----
class CDevLanPage {
public:
    void distribute(const DeviceSettings& s);
    void gather(DeviceSettings& s) const;
    void load();
    std::optional<PageError> store();

    AddressBlockState block;

private:
    NetworkSettings m_values;
};

// ---- Sample rate ----
class CSampleRatePage {
public:
    void distribute(const DeviceSettings& s, const SettingsDialogInputs& in);
    void gather(DeviceSettings& s) const;
    void load();
    void store();

    ComboState genRate, adaptSource, wordClockOut;

private:
    bool m_noPhd = false;
    std::int32_t m_genRate = 0, m_adaptSource = 0, m_wordClock = 0;
};

// ---- Synchronization ----
class CSyncPrioPage {
public:
    struct Row {
        std::string_view source;
        int sourceNumber = 0;
        std::string priority; // the cell as shown
    };
    static constexpr int kMaxPriority = 31;

    void distribute(const DeviceSettings& s);
    void gather(DeviceSettings& s) const;
    void load();
    void store();
    // The text a priority cell keeps when its edit ends.
    static std::string priorityAfterEdit(std::string_view text);

    std::vector<Row> rows;
    CheckState termination;

private:
    std::array<std::uint8_t, kSyncSourceLast - kSyncSourceFirst + 1> m_priority{};
    std::int32_t m_term = 0;
};

// ---- AES ----
class CAesPage {
public:
    void distribute(const DeviceSettings& s);
    void gather(DeviceSettings& s) const;
    void load();
    void store();

    ComboState channelStatus;

private:
    std::int32_t m_value = 0;
};

// The five settings of one MADI port as the pages show them.
struct MadiValues {
    std::int32_t inputMode = 0;
    std::int32_t legacyFrame = 0;
    std::int32_t channelStatus = 0;
    std::int32_t channelCount = 0;
    std::int32_t dsdMode = 0;
    static MadiValues of(const DeviceSettings& s, int port);
    void put(DeviceSettings& s, int port) const;
};

// ---- MADI (coax port) ----
class CMadiCoaxPage {
public:
    void distribute(const DeviceSettings& s);
    void gather(DeviceSettings& s) const;
    void load();
    void store();

    ComboState inputRate, frameRate, channelStatus, channelCount, dsdMode;

private:
    MadiValues m_values;
};

// ---- PHD ----
class CPhdPage {
public:
    void distribute(const DeviceSettings& s, const SettingsDialogInputs& in);
    void gather(DeviceSettings& s) const;
    void load();
    void store();
    void portConfigChanged(); // the operator chose another port configuration

    ComboState portConfig, emulation1, emulation2;

private:
    void fillEmulation();
    bool m_noPhd = false;
    std::array<std::int32_t, 3> m_values{};
};

// ---- Dante ----
class CDantePage {
public:
    enum Control { kName = 1, kLatency, kPrimary, kSecondary };
    static constexpr int kNameLength = 31;
    static constexpr int kMaxLatency = 99999;

    void distribute(const DeviceSettings& s, const SettingsDialogInputs& in);
    void gather(DeviceSettings& s) const;
    void load();
    std::optional<PageError> store();
    void switchModeChanged();

    // The module is fitted and has reported its MAC address.
    bool active() const { return m_active; }
    // Settings can be changed from here (active, not locked, not domain managed).
    bool editable() const;

    EditState name;
    AddressBlockState primary, secondary;
    ComboState switchMode;
    CheckState sampleRateControl, preferredMaster;
    EditState latency;

private:
    void applyRules();
    IpAudioSettings m_values;
    SettingsDialogInputs m_in;
    bool m_active = false;
};

// ---- Optional module ----
class COptModPage {
public:
    struct Sfp {
        std::string_view title; // " SFP 1 ", " SFP ", " SFP 2 "
        bool visible = true;
        ComboState type;
        std::string_view inputLabel;
        ComboState input, frameRate, channelStatus, channelCount, dsdMode;
    };

    void distribute(const DeviceSettings& s, const SettingsDialogInputs& in);
    void gather(DeviceSettings& s) const;
    void load();
    void store();
    void redundancyChanged();
    void typeChanged(int sfp); // 0 or 1

    ComboState redundancy, redundancyMode;
    std::array<Sfp, 2> sfp;

private:
    struct Module {
        std::int32_t mode = 0; // 0 disabled, 1 MADI, 2 Hotlink
        MadiValues madi;
        std::int32_t hotlinkIn = 0;
        std::int32_t hotlinkOut = 0;
    };
    void fillSfp(int i);
    void showRedundancy(bool enabled);
    void fillInput(int i, std::int32_t type);
    std::array<Module, 2> m_modules{};
    std::array<std::int32_t, 2> m_redundancy{};
    SettingsDialogInputs m_in;
};

// ---- System delay and Alive time: one number in a range ----
class CNumberPage {
public:
    CNumberPage(std::int32_t DeviceSettings::*field, std::int32_t low, std::int32_t high)
        : m_field(field), m_low(low), m_high(high) {}
    void distribute(const DeviceSettings& s);
    void gather(DeviceSettings& s) const;
    void load();
    std::optional<PageError> store();
    std::int32_t low() const { return m_low; }
    std::int32_t high() const { return m_high; }

    EditState value;

private:
    std::int32_t DeviceSettings::*m_field;
    std::int32_t m_low, m_high;
    std::int32_t m_value = 0;
};

// ---- the two hardware views (read-only here) ----
struct HwRow {
    std::string module;
    std::string typeAndVersion;
    std::string serialNumber;
    std::string swVersions;
    int entry = 0;
    bool fitted = false;
};
std::string swVersionText(const SwVersionRecord& record);
std::vector<HwRow> hwConfigurationRows(const DeviceSettings& s, bool slotsShown);

// ---- the dialog ----
class CSettingsDialogLogic {
public:
    enum Page {
        kIdPage,
        kNetworkPage,
        kSampleRatePage,
        kSyncPage,
        kAesPage,
        kMadiPage,
        kPhdPage,
        kDantePage,
        kOptionalPage,
        kCardPage,
        kSystemDelayPage,
        kAliveTimePage,
        kHwPage,
        kPageCount
    };
    static std::string_view tabText(int page);
    // "the Alive time page", for messages about a page.
    static std::string pageName(int page);

    CSettingsDialogLogic(const DeviceSettings& settings, const SettingsDialogInputs& inputs);

    std::string title() const;
    const SettingsDialogInputs& inputs() const { return m_in; }
    // The dialog's copy: what "Save to file..." writes and what the main
    // window applies after a confirmed "Save changes".
    const DeviceSettings& settings() const { return m_settings; }

    // Copies the record into every page and loads the controls.
    void distributeAndLoad();
    // Takes `settings` as the dialog's copy and reloads every page, as an
    // accepted file does.
    void replaceSettings(const DeviceSettings& settings);
    // Reads one page's controls back (when the operator leaves it).
    std::optional<PageError> storePage(int page);
    // Stores every page in tab order and gathers them into the copy; the page
    // that refused is returned and nothing is gathered.
    struct StoreFailure {
        int page = 0;
        PageError error;
    };
    std::optional<StoreFailure> storeAll();

    // "Save to file...": the copy as it was distributed, without page edits.
    std::string fileText() const;
    // "Load from file...": an accepted file replaces the copy and reloads
    // every page. A refused file changes nothing and its reason, with each
    // line that is wrong, comes back as text; empty when the file loaded.
    struct LoadOutcome {
        bool loaded = false;
        std::string message;
    };
    LoadOutcome loadFile(std::string_view bytes, std::string_view shownPath);

    CDevIdPage idPage;
    CDevLanPage lanPage;
    CSampleRatePage sampleRatePage;
    CSyncPrioPage syncPage;
    CAesPage aesPage;
    CMadiCoaxPage madiPage;
    CPhdPage phdPage;
    CDantePage dantePage;
    COptModPage optPage;
    CNumberPage systemDelayPage{&DeviceSettings::systemDelay, 0, 64};
    CNumberPage aliveTimePage{&DeviceSettings::aliveTime, 0, 300};
    CCardConfPage cardPage;
    std::vector<HwRow> hwRows;

private:
    DeviceSettings m_settings;
    SettingsDialogInputs m_in;
};

} // namespace velmar
