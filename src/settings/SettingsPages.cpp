#include "settings/SettingsPages.h"

#include "link/Ipv4.h"
#include "protocol/WireText.h"
#include "settings/SettingsFile.h"

#include <algorithm>
#include <charconv>

namespace velmar {

namespace {

using Entries = std::vector<ComboEntry>;

const Entries& genRateEntries() {
    static const Entries e{{"44.1 kHz", 1},      {"48 kHz", 2},    {"88.2 kHz", 3},
                           {"96 kHz", 4},        {"176.4 kHz", 5}, {"192 kHz", 6},
                           {"DXD 352.8 kHz", 7}, {"384 kHz", 8},   {"DSD 64 x fs", 9},
                           {"DSD 128 x fs", 10}};
    return e;
}

Entries adaptSourceEntries(bool noPhd) {
    Entries e{{"Internal", 1},     {"AES11", 3},       {"AES Input 1", 5}, {"AES Input 2", 6},
              {"AES Input 3", 7},  {"AES Input 4", 8}, {"AES Input 5", 9}, {"AES Input 6", 10},
              {"AES Input 7", 11}, {"AES Input 8", 12}};
    if (!noPhd) {
        e.push_back({"PHD 1", 13});
        e.push_back({"PHD 2", 14});
    }
    for (const ComboEntry& tail :
         {ComboEntry{"Madi coax", 15}, {"SFP 1", 16}, {"SFP 2", 17}, {"IP", 18}})
        e.push_back(tail);
    return e;
}

const Entries kWordClockEntries{{"Base (44.1 or 48 kHz)", 0}, {"Sample rate", 1}};
const Entries kChannelStatusEntries{{"Transparent", 0}, {"Default", 1}};
const Entries kMadiInputEntries{{"Auto", 0}, {"As internal", 1}};
const Entries kFrameRateEntries{{"High", 0}, {"Legacy", 1}};
const Entries kChannelCountEntries{{"56 ch", 0}, {"64 ch", 1}};
const Entries kDsdEntries{{"Native", 0}, {"DSD over PCM", 1}};
const Entries kPortConfigEntries{{"Primary and expansion", 0}, {"2 x Primary", 1}};
const Entries kSwitchModeEntries{{"Switched", 0}, {"Redundant", 1}};
const Entries kRedundancyEntries{{"Disabled", 0}, {"Enabled", 1}};
const Entries kRedundancyModeEntries{{"Automatic", 0}, {"SFP 1 active", 1}, {"SFP 2 active", 2}};
const Entries kInterfaceTypeEntries{{"Disabled", 0}, {"Madi", 1}, {"Hotlink", 2}};
const Entries kHotlinkInputEntries{{"Internal", 0}, {"External", 1}};

constexpr std::int32_t kTypeDisabled = 0;
constexpr std::int32_t kTypeMadi = 1;
constexpr std::int32_t kTypeHotlink = 2;
constexpr std::int32_t kPortConfigTwoPrimary = 1;
constexpr std::int32_t kSwitchRedundant = 1;

Entries emulationEntries(bool twoPrimary) {
    return {{twoPrimary ? "2 x HDIO" : "HDIO", 0},
            {"HD MADI", 1},
            {"GRID 16x16", 2},
            {"GRID 32x32", 3}};
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

// A whole number the operator typed; the framework's validation message otherwise.
std::optional<PageError> parseRange(std::string_view text, std::int32_t low, std::int32_t high,
                                    int control, std::int32_t& out) {
    const std::string t = trimmed(text);
    std::int64_t v = 0;
    const char* begin = t.data() + (t.starts_with('+') ? 1 : 0);
    const auto [end, ec] = std::from_chars(begin, t.data() + t.size(), v);
    if (t.empty() || ec != std::errc{} || end != t.data() + t.size())
        return PageError{"Please enter an integer.", control};
    if (v < low || v > high)
        return PageError{"Please enter an integer between " + std::to_string(low) + " and " +
                             std::to_string(high) + ".",
                         control};
    out = static_cast<std::int32_t>(v);
    return std::nullopt;
}

std::optional<PageError> checkText(std::string_view text, std::size_t maxLength,
                                   std::string_view what, int control) {
    if (text.size() > maxLength)
        return PageError{std::string(what) + " holds at most " + std::to_string(maxLength) +
                             " characters.",
                         control};
    if (!isSendableSettingsText(text))
        return PageError{std::string(what) +
                             " cannot hold a quote, a comma or a control character: the frame "
                             "would not receive it intact.",
                         control};
    return std::nullopt;
}

std::string macLine(std::string_view mac) {
    return mac.empty() ? std::string{} : "MAC address : " + std::string(mac);
}

template <std::size_t N>
void loadBlock(AddressBlockState& block, std::int32_t mode,
               const std::array<const FixedText<N>*, 4>& texts, std::size_t count,
               std::string_view mac) {
    block.automatic.checked = mode == 1;
    block.fixed.checked = mode != 1;
    block.addresses.assign(count, EditState{});
    for (std::size_t i = 0; i < count; ++i)
        block.addresses[i].text = shownAddress(texts[i]->view());
    block.macText = macLine(mac);
}

// Reads an address block back: the fixed addresses when its group box is
// chosen, "0.0.0.0" for each otherwise. What the operator left as it was
// shown keeps the text the frame reported, so a frame that reported nothing,
// or an address in DHCP mode, is not sent a changed address (and asked to
// restart) by a dialog in which nobody touched the block.
template <std::size_t N>
std::optional<PageError> storeBlock(const AddressBlockState& block, std::int32_t& mode,
                                    const std::array<FixedText<N>*, 4>& texts, std::size_t count,
                                    int control) {
    const bool sameChoice = block.automatic.checked == (mode == 1);
    std::array<std::string, 4> values;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view before = texts[i]->view();
        const bool untouched =
            block.automatic.checked ||
            (i < block.addresses.size() && block.addresses[i].text == shownAddress(before));
        if (sameChoice && untouched) {
            values[i] = before;
            continue;
        }
        if (!block.fixed.checked) {
            values[i] = "0.0.0.0";
            continue;
        }
        const std::optional<std::string> a = storedAddress(block.addresses[i].text);
        if (!a)
            return PageError{"Enter the address as four numbers from 0 to 255 separated by "
                             "points.",
                             control + static_cast<int>(i)};
        values[i] = *a;
    }
    for (std::size_t i = 0; i < count; ++i)
        texts[i]->assign(values[i]);
    if (!sameChoice)
        mode = block.automatic.checked ? 1 : 0;
    return std::nullopt;
}

} // namespace

SettingsDialogInputs settingsDialogInputs(const DeviceState& state) {
    const int version = state.versionNumber();
    SettingsDialogInputs in;
    in.family = state.family;
    in.noPhd = state.noPhd();
    in.versionAbove2000000 = version > 2000000;
    in.versionAbove2000200 = version > 2000200;
    in.bkLock = state.live.bkLock;
    in.bkDomainState = state.live.bkDomain[2];
    in.sfpPresent = state.sfpPresent();
    in.ipModulePresent = state.ipModulePresent();
    return in;
}

// ---- control states ----

void ComboState::selectValue(std::int32_t value) {
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [value](const ComboEntry& e) { return e.value == value; });
    selected = it == entries.end() ? -1 : static_cast<int>(it - entries.begin());
}

void ComboState::selectIndex(std::int32_t value) {
    selected = value >= 0 && value < static_cast<std::int32_t>(entries.size()) ? value : -1;
}

std::int32_t ComboState::valueOr(std::int32_t previous) const {
    if (selected < 0 || selected >= static_cast<int>(entries.size()))
        return previous;
    return entries[static_cast<std::size_t>(selected)].value;
}

void ComboState::reset(std::vector<ComboEntry> newEntries) {
    entries = std::move(newEntries);
    selected = -1;
}

// Byte by byte: each byte of a letter outside ASCII passes; the whole text is checked.
bool acceptsSettingsCharacter(char c) { return isSendableCharacter(c); }

std::optional<std::string> storedAddress(std::string_view shown) {
    std::array<std::uint32_t, 4> octets{};
    std::size_t field = 0;
    std::size_t digits = 0;
    for (const char c : shown) {
        if (c == '.') {
            if (++field >= octets.size())
                return std::nullopt;
            digits = 0;
        } else if (c >= '0' && c <= '9') {
            if (++digits > 3)
                return std::nullopt;
            octets[field] = octets[field] * 10 + static_cast<std::uint32_t>(c - '0');
            if (octets[field] > 255)
                return std::nullopt;
        } else if (c != ' ') {
            return std::nullopt;
        }
    }
    Ipv4Address value = 0;
    for (const std::uint32_t octet : octets)
        value = (value << 8) | octet;
    if (value == 0 || value == 0xFFFFFFFFU)
        return std::string("0.0.0.0");
    return formatIpv4(value);
}

std::string shownAddress(std::string_view stored) {
    const std::optional<Ipv4Address> a = parseIpv4(stored);
    return formatIpv4(a.value_or(0));
}

void AddressBlockState::chooseAutomatic(bool automaticChosen) {
    automatic.checked = automaticChosen;
    fixed.checked = !automaticChosen;
}

// ---- ID ----

void CDevIdPage::distribute(const DeviceSettings& s) {
    m_id = s.deviceId;
    m_name = std::string(s.deviceName.view());
}

void CDevIdPage::gather(DeviceSettings& s) const {
    s.deviceId = m_id;
    s.deviceName.assign(m_name);
}

void CDevIdPage::load() {
    id.text = std::to_string(m_id);
    name.text = m_name;
}

std::optional<PageError> CDevIdPage::store() {
    std::int32_t value = 0;
    if (auto e = parseRange(id.text, 0, kMaxId, kId, value))
        return e;
    if (auto e = checkText(name.text, kNameLength, "The name", kName))
        return e;
    m_id = value;
    m_name = name.text;
    return std::nullopt;
}

// ---- Network ----

void CDevLanPage::distribute(const DeviceSettings& s) { m_values = s.networkSettings; }

void CDevLanPage::gather(DeviceSettings& s) const {
    // The MAC address is the frame's own and stays as reported.
    s.networkSettings.mode = m_values.mode;
    s.networkSettings.ipAddress = m_values.ipAddress;
    s.networkSettings.subnetMask = m_values.subnetMask;
    s.networkSettings.gateway = m_values.gateway;
}

void CDevLanPage::load() {
    const NetworkSettings& v = m_values;
    loadBlock<16>(block, v.mode, {&v.ipAddress, &v.subnetMask, &v.gateway, &v.gateway}, 3,
                  v.macAddress.view());
}

std::optional<PageError> CDevLanPage::store() {
    NetworkSettings v = m_values;
    if (auto e =
            storeBlock<16>(block, v.mode, {&v.ipAddress, &v.subnetMask, &v.gateway, nullptr}, 3, 1))
        return e;
    m_values = v;
    return std::nullopt;
}

// ---- Sample rate ----

void CSampleRatePage::distribute(const DeviceSettings& s, const SettingsDialogInputs& in) {
    m_noPhd = in.noPhd;
    m_genRate = s.genRate;
    m_adaptSource = s.rateAdaptSource;
    m_wordClock = s.wordClockOut;
}

void CSampleRatePage::gather(DeviceSettings& s) const {
    s.genRate = m_genRate;
    s.rateAdaptSource = m_adaptSource;
    s.wordClockOut = m_wordClock;
}

void CSampleRatePage::load() {
    genRate.reset(genRateEntries());
    genRate.selectValue(m_genRate);
    adaptSource.reset(adaptSourceEntries(m_noPhd));
    adaptSource.selectValue(m_adaptSource);
    wordClockOut.reset(kWordClockEntries);
    wordClockOut.selectValue(m_wordClock);
}

void CSampleRatePage::store() {
    m_genRate = genRate.valueOr(m_genRate);
    m_adaptSource = adaptSource.valueOr(m_adaptSource);
    m_wordClock = wordClockOut.valueOr(m_wordClock);
}

// ---- Synchronization ----

namespace {
struct SyncSourceRow {
    std::string_view text;
    int source;
};
constexpr SyncSourceRow kSyncRows[] = {
    {"Word clock", 2},   {"AES11", 3},        {"Video clock", 4},  {"AES Input 1", 5},
    {"AES Input 2", 6},  {"AES Input 3", 7},  {"AES Input 4", 8},  {"AES Input 5", 9},
    {"AES Input 6", 10}, {"AES Input 7", 11}, {"AES Input 8", 12}, {"Madi coax", 15},
    {"SFP 1", 16},       {"SFP 2", 17},       {"IP", 18},
};
constexpr int kPhdSource1 = 13;
constexpr int kPhdSource2 = 14;
} // namespace

void CSyncPrioPage::distribute(const DeviceSettings& s) {
    m_priority = s.syncPriority;
    m_term = s.syncTerm;
}

void CSyncPrioPage::gather(DeviceSettings& s) const {
    s.syncPriority = m_priority;
    s.syncTerm = m_term;
}

void CSyncPrioPage::load() {
    rows.clear();
    for (const SyncSourceRow& r : kSyncRows)
        rows.push_back(
            {r.text, r.source,
             std::to_string(unsigned{m_priority[static_cast<std::size_t>(r.source - 2)]})});
    termination.checked = m_term != 0;
}

void CSyncPrioPage::store() {
    for (const Row& r : rows) {
        if (r.sourceNumber < kSyncSourceFirst || r.sourceNumber > kSyncSourceLast ||
            r.sourceNumber == kPhdSource1 || r.sourceNumber == kPhdSource2 || r.priority.empty())
            continue;
        const std::int32_t v = cfgIntegerValue(r.priority);
        if (v >= 0 && v <= kMaxPriority)
            m_priority[static_cast<std::size_t>(r.sourceNumber - 2)] = static_cast<std::uint8_t>(v);
    }
    m_term = termination.checked ? 1 : 0;
}

std::string CSyncPrioPage::priorityAfterEdit(std::string_view text) {
    const std::int32_t v = cfgIntegerValue(text);
    return v < 0 || v > kMaxPriority ? std::string("0") : std::string(text);
}

// ---- AES ----

void CAesPage::distribute(const DeviceSettings& s) { m_value = s.aesChannelStatus; }
void CAesPage::gather(DeviceSettings& s) const { s.aesChannelStatus = m_value; }
void CAesPage::load() {
    channelStatus.reset(kChannelStatusEntries);
    channelStatus.selectIndex(m_value);
}
void CAesPage::store() { m_value = channelStatus.valueOr(m_value); }

// ---- MADI ----

MadiValues MadiValues::of(const DeviceSettings& s, int port) {
    const auto p = static_cast<std::size_t>(port);
    const MadiOutMode& out = s.madiOutMode[p];
    return {s.madiInMode[p].values[0], out.modes[2], out.modes[1], out.modes[3], out.dsdMode};
}

void MadiValues::put(DeviceSettings& s, int port) const {
    const auto p = static_cast<std::size_t>(port);
    s.madiInMode[p].values[0] = inputMode;
    s.madiOutMode[p].modes[1] = channelStatus;
    s.madiOutMode[p].modes[2] = legacyFrame;
    s.madiOutMode[p].modes[3] = channelCount;
    s.madiOutMode[p].dsdMode = dsdMode;
}

void CMadiCoaxPage::distribute(const DeviceSettings& s) { m_values = MadiValues::of(s, 1); }
void CMadiCoaxPage::gather(DeviceSettings& s) const { m_values.put(s, 1); }

void CMadiCoaxPage::load() {
    const auto fill = [](ComboState& c, const Entries& e, std::int32_t v) {
        c.reset(e);
        c.selectIndex(v);
    };
    fill(inputRate, kMadiInputEntries, m_values.inputMode);
    fill(frameRate, kFrameRateEntries, m_values.legacyFrame);
    fill(channelStatus, kChannelStatusEntries, m_values.channelStatus);
    fill(channelCount, kChannelCountEntries, m_values.channelCount);
    fill(dsdMode, kDsdEntries, m_values.dsdMode);
}

void CMadiCoaxPage::store() {
    m_values.inputMode = inputRate.valueOr(m_values.inputMode);
    m_values.legacyFrame = frameRate.valueOr(m_values.legacyFrame);
    m_values.channelStatus = channelStatus.valueOr(m_values.channelStatus);
    m_values.channelCount = channelCount.valueOr(m_values.channelCount);
    m_values.dsdMode = dsdMode.valueOr(m_values.dsdMode);
}

// ---- PHD ----

void CPhdPage::distribute(const DeviceSettings& s, const SettingsDialogInputs& in) {
    m_noPhd = in.noPhd;
    m_values = s.phdMode;
}

void CPhdPage::gather(DeviceSettings& s) const { s.phdMode = m_values; }

void CPhdPage::load() {
    if (m_noPhd) {
        for (ComboState* c : {&portConfig, &emulation1, &emulation2}) {
            c->reset({});
            c->enabled = false;
        }
        return;
    }
    portConfig.reset(kPortConfigEntries);
    portConfig.selectIndex(m_values[0]);
    fillEmulation();
}

void CPhdPage::portConfigChanged() {
    if (!m_noPhd)
        fillEmulation();
}

// Both emulation lists follow the shown port configuration and select the
// modes the page holds, so flipping the configuration back and forth does not
// lose them.
void CPhdPage::fillEmulation() {
    const bool twoPrimary = portConfig.valueOr(-1) == kPortConfigTwoPrimary;
    emulation1.reset(emulationEntries(twoPrimary));
    emulation1.selectIndex(m_values[1]);
    emulation2.reset(emulationEntries(true));
    emulation2.enabled = twoPrimary;
    if (twoPrimary)
        emulation2.selectIndex(m_values[2]);
}

void CPhdPage::store() {
    if (m_noPhd)
        return;
    const std::int32_t config = portConfig.valueOr(m_values[0]);
    const std::int32_t port1 = emulation1.valueOr(m_values[1]);
    const std::int32_t port2 = config != 0 ? emulation2.valueOr(m_values[2]) : 0;
    m_values = {config, port1, port2};
}

// ---- Dante ----

void CDantePage::distribute(const DeviceSettings& s, const SettingsDialogInputs& in) {
    m_values = s.ipAudio;
    m_in = in;
    m_active = in.ipModulePresent && !s.ipAudio.primary.macAddress.empty();
}

void CDantePage::gather(DeviceSettings& s) const { s.ipAudio = m_values; }

bool CDantePage::editable() const {
    return m_active && m_in.bkLock == 0 && m_in.bkDomainState != 1 && m_in.bkDomainState != 2;
}

void CDantePage::load() {
    switchMode.reset(kSwitchModeEntries);
    primary.addresses.assign(4, EditState{});
    secondary.addresses.assign(4, EditState{});
    if (m_active) {
        const IpAudioAddress& p = m_values.primary;
        const IpAudioAddress& q = m_values.secondary;
        name.text = std::string(m_values.moduleName.view());
        loadBlock<16>(primary, p.mode, {&p.ipAddress, &p.subnetMask, &p.gateway, &p.dns}, 4,
                      p.macAddress.view());
        loadBlock<16>(secondary, q.mode, {&q.ipAddress, &q.subnetMask, &q.gateway, &q.dns}, 4,
                      q.macAddress.view());
        switchMode.selectIndex(m_values.switchMode);
        sampleRateControl.checked = m_values.sampleRateEnable != 0;
        preferredMaster.checked = m_values.preferredMaster != 0;
        latency.text = std::to_string(m_values.latency);
    }
    applyRules();
}

void CDantePage::switchModeChanged() { applyRules(); }

// The one place that decides what the operator may touch on this page.
void CDantePage::applyRules() {
    const bool edit = editable();
    name.enabled = edit;
    primary.enabled = edit;
    primary.macVisible = edit;
    switchMode.enabled = edit;
    secondary.enabled = edit && switchMode.valueOr(-1) == kSwitchRedundant;
    secondary.macVisible = edit;
    const bool clockControls =
        m_active && m_in.bkLock == 0 && (m_in.bkDomainState == 0 || m_in.bkDomainState == 3);
    sampleRateControl.enabled = clockControls;
    preferredMaster.enabled = clockControls && m_in.versionAbove2000200;
    latency.enabled = clockControls && m_in.versionAbove2000200;
}

std::optional<PageError> CDantePage::store() {
    // A page that was never loaded (module without a MAC address), or one the
    // operator could not change, leaves the module's values as they came.
    if (!editable())
        return std::nullopt;
    IpAudioSettings v = m_values;
    if (auto e = checkText(name.text, kNameLength, "The Brooklyn II name", kName))
        return e;
    v.moduleName.assign(name.text);
    IpAudioAddress& p = v.primary;
    IpAudioAddress& q = v.secondary;
    if (auto e = storeBlock<16>(primary, p.mode, {&p.ipAddress, &p.subnetMask, &p.gateway, &p.dns},
                                4, kPrimary * 10))
        return e;
    if (auto e =
            storeBlock<16>(secondary, q.mode, {&q.ipAddress, &q.subnetMask, &q.gateway, &q.dns}, 4,
                           kSecondary * 10))
        return e;
    v.switchMode = switchMode.valueOr(v.switchMode);
    if (sampleRateControl.enabled)
        v.sampleRateEnable = sampleRateControl.checked ? 1 : 0;
    if (preferredMaster.enabled)
        v.preferredMaster = preferredMaster.checked ? 1 : 0;
    if (latency.enabled) {
        if (auto e = parseRange(latency.text, 0, kMaxLatency, kLatency, v.latency))
            return e;
    }
    m_values = v;
    return std::nullopt;
}

// ---- Optional module ----

void COptModPage::distribute(const DeviceSettings& s, const SettingsDialogInputs& in) {
    m_in = in;
    for (std::size_t i = 0; i < 2; ++i) {
        Module& m = m_modules[i];
        m.mode = s.optMode[i + 1].value;
        m.madi = MadiValues::of(s, static_cast<int>(i) + 2);
        m.hotlinkIn = s.hotlinkInMode[i + 1].value;
        m.hotlinkOut = s.hotlinkOutMode[i + 1].value;
    }
    m_redundancy = s.optRedundancy;
}

void COptModPage::gather(DeviceSettings& s) const {
    for (std::size_t i = 0; i < 2; ++i) {
        const Module& m = m_modules[i];
        s.optMode[i + 1].value = m.mode;
        m.madi.put(s, static_cast<int>(i) + 2);
        s.hotlinkInMode[i + 1].value = m.hotlinkIn;
        s.hotlinkOutMode[i + 1].value = m.hotlinkOut;
    }
    s.optRedundancy = m_redundancy;
}

void COptModPage::load() {
    const bool redundancyShown = m_in.sfpPresent && m_in.versionAbove2000000;
    redundancy.reset(kRedundancyEntries);
    redundancy.enabled = redundancyShown;
    if (redundancyShown)
        redundancy.selectIndex(m_redundancy[0]);
    redundancyMode.reset(kRedundancyModeEntries);
    fillSfp(0);
    fillSfp(1);
    showRedundancy(redundancy.valueOr(0) == 1);
}

void COptModPage::redundancyChanged() {
    const bool enabled = redundancy.valueOr(0) == 1;
    showRedundancy(enabled);
    if (!enabled) {
        fillSfp(0);
        fillSfp(1);
    }
}

// Redundancy runs both SFPs as one interface: the second one's group goes away.
void COptModPage::showRedundancy(bool enabled) {
    sfp[0].title = enabled ? " SFP " : " SFP 1 ";
    sfp[1].title = " SFP 2 ";
    sfp[1].visible = !enabled;
    redundancyMode.enabled = enabled;
    if (enabled)
        redundancyMode.selectIndex(m_redundancy[1]);
    else
        redundancyMode.selected = -1;
}

void COptModPage::fillInput(int i, std::int32_t type) {
    Sfp& f = sfp[static_cast<std::size_t>(i)];
    f.inputLabel = type == kTypeHotlink ? "Mode" : "Input sample rate";
    f.input.reset(type == kTypeHotlink ? kHotlinkInputEntries : kMadiInputEntries);
    f.input.enabled = type == kTypeMadi || type == kTypeHotlink;
    const bool madi = type == kTypeMadi;
    const auto output = [madi](ComboState& c, const Entries& e) {
        c.reset(e);
        c.enabled = madi;
    };
    output(f.frameRate, kFrameRateEntries);
    output(f.channelStatus, kChannelStatusEntries);
    output(f.channelCount, kChannelCountEntries);
    output(f.dsdMode, kDsdEntries);
}

void COptModPage::fillSfp(int i) {
    Sfp& f = sfp[static_cast<std::size_t>(i)];
    const Module& m = m_modules[static_cast<std::size_t>(i)];
    const bool fitted = m_in.sfpPresent;
    f.type.reset(kInterfaceTypeEntries);
    f.type.enabled = fitted;
    if (fitted)
        f.type.selectIndex(m.mode);
    const std::int32_t type = f.type.valueOr(-1);
    fillInput(i, type);
    if (type == kTypeHotlink) {
        f.input.selectIndex(m.hotlinkIn);
    } else if (type == kTypeMadi) {
        f.input.selectIndex(m.madi.inputMode);
        f.frameRate.selectIndex(m.madi.legacyFrame);
        f.channelStatus.selectIndex(m.madi.channelStatus);
        f.channelCount.selectIndex(m.madi.channelCount);
        f.dsdMode.selectIndex(m.madi.dsdMode);
    }
}

void COptModPage::typeChanged(int i) {
    Sfp& f = sfp[static_cast<std::size_t>(i)];
    const std::int32_t type = f.type.valueOr(-1);
    fillInput(i, type);
    if (f.input.enabled)
        f.input.selected = 0;
    if (type == kTypeMadi)
        for (ComboState* c : {&f.frameRate, &f.channelStatus, &f.channelCount, &f.dsdMode})
            c->selected = 0;
}

void COptModPage::store() {
    if (m_in.versionAbove2000000) {
        const std::int32_t enable = redundancy.valueOr(m_redundancy[0]);
        m_redundancy = {enable, enable != 0 ? redundancyMode.valueOr(m_redundancy[1]) : 0};
    }
    for (std::size_t i = 0; i < 2; ++i) {
        const Sfp& f = sfp[i];
        Module& m = m_modules[i];
        // Without a selection (module not fitted) the module keeps its values.
        if (f.type.selected < 0)
            continue;
        m.mode = f.type.valueOr(m.mode);
        switch (m.mode) {
        case kTypeMadi:
            m.madi.inputMode = f.input.valueOr(m.madi.inputMode);
            m.madi.legacyFrame = f.frameRate.valueOr(m.madi.legacyFrame);
            m.madi.channelStatus = f.channelStatus.valueOr(m.madi.channelStatus);
            m.madi.channelCount = f.channelCount.valueOr(m.madi.channelCount);
            m.madi.dsdMode = f.dsdMode.valueOr(m.madi.dsdMode);
            break;
        case kTypeHotlink: m.hotlinkIn = m.hotlinkOut = f.input.valueOr(m.hotlinkIn); break;
        case kTypeDisabled:
            m.madi = {};
            m.hotlinkIn = m.hotlinkOut = 0;
            break;
        default: break;
        }
    }
}

// ---- System delay, Alive time ----

void CNumberPage::distribute(const DeviceSettings& s) { m_value = s.*m_field; }
void CNumberPage::gather(DeviceSettings& s) const { s.*m_field = m_value; }
void CNumberPage::load() { value.text = std::to_string(m_value); }
std::optional<PageError> CNumberPage::store() {
    return parseRange(value.text, m_low, m_high, 1, m_value);
}

// ---- hardware views ----

std::string swVersionText(const SwVersionRecord& record) {
    std::string out;
    for (std::size_t k = 0; k < record.first.size(); ++k) {
        const std::string_view name = record.first[k].view();
        const std::string_view version = record.second[k].view();
        if (name.empty() || version.empty())
            break;
        if (!out.empty())
            out += " | ";
        out.append(name).append(": ").append(version);
    }
    return out;
}

std::vector<HwRow> hwConfigurationRows(const DeviceSettings& s, bool slotsShown) {
    std::vector<std::pair<int, std::string>> entries{{2, "Main board"}, {3, "Optional"}};
    if (slotsShown)
        for (int slot = 1; slot <= kCardSlots; ++slot)
            entries.emplace_back(slot + 8, "Card slot " + std::to_string(slot));
    for (const auto& tail : {std::pair<int, std::string>{17, "Front panel"},
                             {18, "Brooklyn II"},
                             {19, "PSU 1"},
                             {20, "PSU 2"}})
        entries.push_back(tail);

    std::vector<HwRow> rows;
    for (const auto& [entry, text] : entries) {
        HwRow row;
        row.module = text;
        row.entry = entry;
        const HwConfRecord& hw = s.hwConf[static_cast<std::size_t>(entry)];
        row.fitted = hw.present != 0;
        if (row.fitted) {
            row.typeAndVersion = std::string(hw.boardCode.view());
            row.serialNumber = std::string(hw.secondText.view());
            row.swVersions = swVersionText(s.swVersion[static_cast<std::size_t>(entry)]);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// ---- the dialog ----

std::string_view CSettingsDialogLogic::tabText(int page) {
    static constexpr std::string_view kTabs[kPageCount] = {
        " ID ",
        " Network ",
        " Sample rate ",
        " Synchronization ",
        " AES ",
        " MADI ",
        " PHD ",
        " Dante ",
        " Optional module ",
        " Card configuration ",
        " System delay ",
        " Alive time ",
        " HW configuration ",
    };
    return page >= 0 && page < kPageCount ? kTabs[page] : std::string_view{};
}

CSettingsDialogLogic::CSettingsDialogLogic(const DeviceSettings& settings,
                                           const SettingsDialogInputs& inputs)
    : m_settings(settings), m_in(inputs) {
    distributeAndLoad();
}

std::string CSettingsDialogLogic::title() const {
    std::string t = " Device settings";
    const std::string_view name = m_settings.deviceName.view();
    if (!name.empty()) {
        t.append(" for <").append(name);
        if (m_settings.networkSettings.mode == 1)
            t.append(">");
        else
            t.append("> at ").append(m_settings.networkSettings.ipAddress.view());
    }
    return t;
}

void CSettingsDialogLogic::distributeAndLoad() {
    const DeviceSettings& s = m_settings;
    idPage.distribute(s);
    lanPage.distribute(s);
    sampleRatePage.distribute(s, m_in);
    syncPage.distribute(s);
    aesPage.distribute(s);
    madiPage.distribute(s);
    phdPage.distribute(s, m_in);
    dantePage.distribute(s, m_in);
    optPage.distribute(s, m_in);
    systemDelayPage.distribute(s);
    aliveTimePage.distribute(s);

    idPage.load();
    lanPage.load();
    sampleRatePage.load();
    syncPage.load();
    aesPage.load();
    madiPage.load();
    phdPage.load();
    dantePage.load();
    optPage.load();
    systemDelayPage.load();
    aliveTimePage.load();
    cardPage.distribute(s, m_in);
    cardPage.load();
    hwRows = hwConfigurationRows(s, cardSlotsShown(m_in.family));
}

void CSettingsDialogLogic::replaceSettings(const DeviceSettings& settings) {
    m_settings = settings;
    distributeAndLoad();
}

std::string CSettingsDialogLogic::pageName(int page) {
    std::string_view text = tabText(page);
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return "the " + std::string(text) + " page";
}

std::optional<PageError> CSettingsDialogLogic::storePage(int page) {
    switch (page) {
    case kIdPage: return idPage.store();
    case kNetworkPage: return lanPage.store();
    case kSampleRatePage: sampleRatePage.store(); break;
    case kSyncPage: syncPage.store(); break;
    case kAesPage: aesPage.store(); break;
    case kMadiPage: madiPage.store(); break;
    case kPhdPage: phdPage.store(); break; // does nothing without PHD ports
    case kDantePage: return dantePage.store();
    case kOptionalPage: optPage.store(); break;
    case kCardPage: cardPage.store(); break;
    case kSystemDelayPage: return systemDelayPage.store();
    case kAliveTimePage: return aliveTimePage.store();
    default: break; // the hardware page only shows the frame's report
    }
    return std::nullopt;
}

std::optional<CSettingsDialogLogic::StoreFailure> CSettingsDialogLogic::storeAll() {
    for (int page = 0; page < kHwPage; ++page)
        if (std::optional<PageError> e = storePage(page))
            return StoreFailure{page, std::move(*e)};
    DeviceSettings& s = m_settings;
    idPage.gather(s);
    lanPage.gather(s);
    sampleRatePage.gather(s);
    syncPage.gather(s);
    aesPage.gather(s);
    madiPage.gather(s);
    if (!m_in.noPhd)
        phdPage.gather(s);
    dantePage.gather(s);
    optPage.gather(s);
    cardPage.gather(s);
    systemDelayPage.gather(s);
    aliveTimePage.gather(s);
    return std::nullopt;
}

std::string CSettingsDialogLogic::fileText() const { return writeSettingsFile(m_settings); }

CSettingsDialogLogic::LoadOutcome CSettingsDialogLogic::loadFile(std::string_view bytes,
                                                                 std::string_view shownPath) {
    const SettingsFileContent content = readSettingsFile(bytes, m_settings);
    LoadOutcome outcome;
    if (!content.accepted()) {
        outcome.message.append(shownPath).append(" was not loaded: ");
        outcome.message.append(settingsFileRefusalText(content));
        outcome.message.append(content.problems.empty() ? "." : "\n");
        outcome.message.append("The settings in the dialog are unchanged.");
        return outcome;
    }
    replaceSettings(content.settings);
    outcome.loaded = true;
    return outcome;
}

} // namespace velmar
