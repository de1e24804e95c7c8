#include "settings/SettingsPages.h"

#include "settings/SettingsFile.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace velmar {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// DeviceSettings is large (the label tables); tests keep it on the heap.
std::unique_ptr<DeviceSettings> freshSettings() { return std::make_unique<DeviceSettings>(); }

// A frame with every page's values set to something distinct.
std::unique_ptr<DeviceSettings> sampleSettings() {
    auto s = freshSettings();
    s->deviceId = 7;
    s->deviceName.assign("Studio A");
    s->networkSettings.mode = 0;
    s->networkSettings.ipAddress.assign("192.168.0.20");
    s->networkSettings.subnetMask.assign("255.255.255.0");
    s->networkSettings.gateway.assign("192.168.0.1");
    s->networkSettings.macAddress.assign("0050C2AB0001");
    s->systemDelay = 12;
    s->aliveTime = 30;
    s->genRate = 2;
    s->rateAdaptSource = 16;
    s->wordClockOut = 1;
    for (std::size_t i = 0; i < s->syncPriority.size(); ++i)
        s->syncPriority[i] = static_cast<std::uint8_t>(i + 1);
    s->syncTerm = 1;
    s->aesChannelStatus = 1;
    s->madiInMode[1].values = {1, 0, 0, 0, 0};
    s->madiOutMode[1].modes = {0, 1, 0, 1};
    s->madiOutMode[1].dsdMode = 1;
    s->phdMode = {1, 2, 3};

    IpAudioSettings& ip = s->ipAudio;
    ip.moduleName.assign("stage-left");
    ip.primary.mode = 0;
    ip.primary.ipAddress.assign("10.0.0.5");
    ip.primary.subnetMask.assign("255.0.0.0");
    ip.primary.gateway.assign("10.0.0.1");
    ip.primary.dns.assign("10.0.0.2");
    ip.primary.macAddress.assign("001DC1000001");
    ip.secondary.mode = 1;
    ip.secondary.ipAddress.assign("0.0.0.0");
    ip.secondary.subnetMask.assign("0.0.0.0");
    ip.secondary.gateway.assign("0.0.0.0");
    ip.secondary.dns.assign("0.0.0.0");
    ip.secondary.macAddress.assign("001DC1000002");
    ip.switchMode = 1;
    ip.sampleRateEnable = 1;
    ip.preferredMaster = 0;
    ip.latency = 1000;
    ip.unicastClock = 3; // not on any page: must survive a store
    ip.frameSize = 16;

    s->optMode[1].value = 1; // Madi
    s->madiInMode[2].values[0] = 1;
    s->madiOutMode[2].modes = {0, 0, 1, 1};
    s->madiOutMode[2].dsdMode = 0;
    s->optMode[2].value = 2; // Hotlink
    s->madiInMode[3].values[0] = 1;
    s->madiOutMode[3].modes = {0, 1, 1, 0};
    s->madiOutMode[3].dsdMode = 1;
    s->hotlinkInMode[1].value = 0;
    s->hotlinkOutMode[1].value = 0;
    s->hotlinkInMode[2].value = 1;
    s->hotlinkOutMode[2].value = 1;
    s->optRedundancy = {0, 0};
    return s;
}

SettingsDialogInputs fullInputs() {
    SettingsDialogInputs in;
    in.family = kFamily460;
    in.versionAbove2000000 = true;
    in.versionAbove2000200 = true;
    in.sfpPresent = true;
    in.ipModulePresent = true;
    return in;
}

// The position of the entry showing `text`, -1 when the list has none.
int indexOfText(const ComboState& c, std::string_view text) {
    for (std::size_t i = 0; i < c.entries.size(); ++i)
        if (c.entries[i].text == text)
            return static_cast<int>(i);
    return -1;
}

std::string selectedText(const ComboState& c) {
    if (c.selected < 0 || c.selected >= static_cast<int>(c.entries.size()))
        return "(none)";
    return std::string(c.entries[static_cast<std::size_t>(c.selected)].text);
}

void choose(ComboState& c, std::string_view text) {
    const int i = indexOfText(c, text);
    ASSERT_GE(i, 0) << "no entry " << text;
    c.selected = i;
}

TEST(SettingsDialogInputs, TakenFromTheFrameState) {
    auto state = std::make_unique<DeviceState>();
    state->family = kFamily460;
    state->live.bkLock = 1;
    state->live.bkDomain = {5, 6, 3};
    state->settings.hwConf[kModuleSfp].present = 1;
    state->settings.hwConf[kModuleMainBoard].boardCode.assign("460101 A01");

    struct Case {
        const char* version;
        bool above2000000, above2000200;
    };
    // Both limits are exclusive.
    for (const Case& c : {Case{"2.0.0.0", false, false}, Case{"2.0.0.1", true, false},
                          Case{"2.0.2.0", true, false}, Case{"2.0.2.1", true, true}}) {
        state->settings.swVersion[kModuleMainBoard].second[0].assign(c.version);
        const SettingsDialogInputs in = settingsDialogInputs(*state);
        EXPECT_EQ(in.versionAbove2000000, c.above2000000) << c.version;
        EXPECT_EQ(in.versionAbove2000200, c.above2000200) << c.version;
    }
    const SettingsDialogInputs in = settingsDialogInputs(*state);
    EXPECT_EQ(in.family, kFamily460);
    EXPECT_EQ(in.bkLock, 1);
    EXPECT_EQ(in.bkDomainState, 3); // the third value of the domain report
    EXPECT_TRUE(in.sfpPresent);
    EXPECT_FALSE(in.ipModulePresent);
    EXPECT_TRUE(in.noPhd);

    state->settings.hwConf[kModuleMainBoard].boardCode.assign("460100 A01");
    EXPECT_FALSE(settingsDialogInputs(*state).noPhd);
}

// ---- control states ----

TEST(SettingsComboState, SelectsByValueOrIndexAndKeepsThePreviousValueWithoutSelection) {
    ComboState c;
    c.reset({{"a", 5}, {"b", 9}, {"c", 1}});
    c.selectValue(9);
    EXPECT_EQ(c.selected, 1);
    EXPECT_EQ(c.valueOr(-7), 9);
    c.selectValue(2); // no entry carries 2
    EXPECT_EQ(c.selected, -1);
    EXPECT_EQ(c.valueOr(-7), -7);

    c.selectIndex(2);
    EXPECT_EQ(c.valueOr(0), 1); // the entry's data, not its position
    for (const int outside : {3, -1, 1000}) {
        c.selectIndex(outside);
        EXPECT_EQ(c.selected, -1) << outside;
        EXPECT_EQ(c.valueOr(42), 42) << outside;
    }

    c.selectIndex(0);
    c.reset({{"x", 0}});
    EXPECT_EQ(c.selected, -1);
}

TEST(SettingsComboState, SelectionBeyondTheListCountsAsNone) {
    ComboState c;
    c.reset({{"a", 1}});
    c.selected = 4; // a stale position after the list shrank
    EXPECT_EQ(c.valueOr(3), 3);
}

TEST(SettingsTextRules, NameCharactersThatWouldNotReachTheFrame) {
    for (const char c : {'\'', '"', ',', '\n', '\r', '\t', '\x01', '\x7f'})
        EXPECT_FALSE(acceptsSettingsCharacter(c)) << int(c);
    for (const char c : {'a', 'Z', '0', ' ', '-', '_', '.', '<'})
        EXPECT_TRUE(acceptsSettingsCharacter(c)) << c;
}

TEST(SettingsAddress, StoredAddressJoinsFourNumbersAndMapsNoneToZeros) {
    EXPECT_EQ(storedAddress("192.168.0.20"), "192.168.0.20");
    EXPECT_EQ(storedAddress("010.001.000.009"), "10.1.0.9");
    EXPECT_EQ(storedAddress("192.168"), "192.168.0.0"); // missing fields count as 0
    EXPECT_EQ(storedAddress("10..0.1"), "10.0.0.1");
    EXPECT_EQ(storedAddress(" 10. 0. 0. 1"), "10.0.0.1"); // blanks of an address control
    // All zeros or all ones mean "no address".
    EXPECT_EQ(storedAddress("255.255.255.255"), "0.0.0.0");
    EXPECT_EQ(storedAddress("0.0.0.0"), "0.0.0.0");
    EXPECT_EQ(storedAddress(""), "0.0.0.0");
    EXPECT_EQ(storedAddress("255.255.255.254"), "255.255.255.254");

    for (const char* bad : {"256.0.0.1", "1.2.3.4.5", "1000.0.0.1", "10.0.0.x", "10,0,0,1",
                            "-1.0.0.0", "10.0.0.1/24"})
        EXPECT_EQ(storedAddress(bad), std::nullopt) << bad;
}

TEST(SettingsAddress, ShownAddressReadsTheStoredTextOrShowsZeros) {
    EXPECT_EQ(shownAddress("192.168.0.20"), "192.168.0.20");
    EXPECT_EQ(shownAddress(""), "0.0.0.0");
    EXPECT_EQ(shownAddress("not an address"), "0.0.0.0");
    EXPECT_EQ(shownAddress("300.1.1.1"), "0.0.0.0");
    // What is shown stores back as it was.
    EXPECT_EQ(storedAddress(shownAddress("172.16.4.1")), "172.16.4.1");
}

// ---- ID, System delay, Alive time ----

TEST(SettingsIdPage, TakesAnIdInRangeAndASendableName) {
    auto s = sampleSettings();
    CDevIdPage page;
    page.distribute(*s);
    page.load();
    EXPECT_EQ(page.id.text, "7");
    EXPECT_EQ(page.name.text, "Studio A");

    page.id.text = " 99 ";
    page.name.text = std::string(16, 'n');
    EXPECT_EQ(page.store(), std::nullopt);
    page.gather(*s);
    EXPECT_EQ(s->deviceId, 99);
    EXPECT_EQ(s->deviceName.view(), std::string(16, 'n'));
}

TEST(SettingsIdPage, RefusesAnIdOutOfRangeAndTakesNothing) {
    for (const char* bad : {"100", "-1", "", "abc", "12x", "99999999999"}) {
        auto s = sampleSettings();
        CDevIdPage page;
        page.distribute(*s);
        page.load();
        page.id.text = bad;
        page.name.text = "Other";
        const std::optional<PageError> e = page.store();
        ASSERT_TRUE(e.has_value()) << bad;
        EXPECT_EQ(e->control, CDevIdPage::kId) << bad;
        EXPECT_FALSE(e->message.empty());
        page.gather(*s);
        EXPECT_EQ(s->deviceId, 7) << bad;
        EXPECT_EQ(s->deviceName.view(), "Studio A") << bad; // not half taken
    }
}

TEST(SettingsIdPage, RefusesANameTheFrameCouldNotReceive) {
    for (const std::string& bad :
         {std::string("a,b"), std::string("it's"), std::string("say \"hi\""),
          std::string("tab\there"), std::string("line\nbreak"), std::string(17, 'n')}) {
        auto s = sampleSettings();
        CDevIdPage page;
        page.distribute(*s);
        page.load();
        page.id.text = "5";
        page.name.text = bad;
        const std::optional<PageError> e = page.store();
        ASSERT_TRUE(e.has_value()) << bad;
        EXPECT_EQ(e->control, CDevIdPage::kName) << bad;
        page.gather(*s);
        EXPECT_EQ(s->deviceId, 7) << bad; // the valid ID waits for a valid name
        EXPECT_EQ(s->deviceName.view(), "Studio A") << bad;
    }
}

TEST(SettingsNumberPages, SystemDelayAndAliveTimeTakeOnlyTheirRanges) {
    auto s = sampleSettings();
    auto d = std::make_unique<CSettingsDialogLogic>(*s, fullInputs());
    EXPECT_EQ(d->systemDelayPage.value.text, "12");
    EXPECT_EQ(d->aliveTimePage.value.text, "30");

    struct Case {
        bool delay; // else alive time
        const char* text;
        std::optional<std::int32_t> taken;
    };
    for (const Case& c :
         {Case{true, "64", 64}, Case{true, "0", 0}, Case{true, "+5", 5}, Case{true, "65", {}},
          Case{true, "-1", {}}, Case{true, "", {}}, Case{false, "300", 300}, Case{false, "301", {}},
          Case{false, "2.5", {}}}) {
        CNumberPage page = c.delay ? d->systemDelayPage : d->aliveTimePage;
        const std::int32_t before = c.delay ? 12 : 30;
        page.value.text = c.text;
        EXPECT_EQ(page.store().has_value(), !c.taken.has_value()) << c.text;
        auto out = sampleSettings();
        page.gather(*out);
        EXPECT_EQ(c.delay ? out->systemDelay : out->aliveTime, c.taken.value_or(before)) << c.text;
    }

    d->systemDelayPage.value.text = "65";
    const std::optional<PageError> e = d->systemDelayPage.store();
    ASSERT_TRUE(e.has_value());
    EXPECT_THAT(e->message, HasSubstr("64")); // the operator learns the range
}

// ---- Network ----

TEST(SettingsNetworkPage, LoadsFixedAddressOrDhcp) {
    auto s = sampleSettings();
    CDevLanPage page;
    page.distribute(*s);
    page.load();
    EXPECT_TRUE(page.block.fixed.checked);
    EXPECT_FALSE(page.block.automatic.checked);
    ASSERT_EQ(page.block.addresses.size(), 3U);
    EXPECT_EQ(page.block.addresses[0].text, "192.168.0.20");
    EXPECT_EQ(page.block.addresses[1].text, "255.255.255.0");
    EXPECT_EQ(page.block.addresses[2].text, "192.168.0.1");
    EXPECT_EQ(page.block.macText, "MAC address : 0050C2AB0001");

    s->networkSettings.mode = 1;
    s->networkSettings.ipAddress.assign("");
    s->networkSettings.macAddress.assign("");
    page.distribute(*s);
    page.load();
    EXPECT_TRUE(page.block.automatic.checked);
    EXPECT_FALSE(page.block.fixed.checked);
    EXPECT_EQ(page.block.addresses[0].text, "0.0.0.0");
    EXPECT_EQ(page.block.macText, "");
}

TEST(SettingsNetworkPage, StoresFixedAddressesAndNoneAsZeros) {
    auto s = sampleSettings();
    CDevLanPage page;
    page.distribute(*s);
    page.load();
    page.block.addresses[0].text = "10.1.2.3";
    page.block.addresses[1].text = "255.255.255.255";
    page.block.addresses[2].text = "0.0.0.0";
    EXPECT_EQ(page.store(), std::nullopt);
    page.gather(*s);
    EXPECT_EQ(s->networkSettings.mode, 0);
    EXPECT_EQ(s->networkSettings.ipAddress.view(), "10.1.2.3");
    EXPECT_EQ(s->networkSettings.subnetMask.view(), "0.0.0.0");
    EXPECT_EQ(s->networkSettings.gateway.view(), "0.0.0.0");
    EXPECT_EQ(s->networkSettings.macAddress.view(), "0050C2AB0001"); // the frame's own
}

TEST(SettingsNetworkPage, AutomaticStoresDhcpAndZerosWhateverTheFieldsShow) {
    auto s = sampleSettings();
    CDevLanPage page;
    page.distribute(*s);
    page.load();
    page.block.chooseAutomatic(true);
    EXPECT_FALSE(page.block.fixed.checked);
    page.block.addresses[0].text = "garbage"; // not read under DHCP
    EXPECT_EQ(page.store(), std::nullopt);
    page.gather(*s);
    EXPECT_EQ(s->networkSettings.mode, 1);
    EXPECT_EQ(s->networkSettings.ipAddress.view(), "0.0.0.0");
    EXPECT_EQ(s->networkSettings.subnetMask.view(), "0.0.0.0");
    EXPECT_EQ(s->networkSettings.gateway.view(), "0.0.0.0");
}

// A block nobody touched keeps what the frame reported: an empty address
// (never answered) is not turned into "0.0.0.0", and a DHCP frame's obtained
// address is not zeroed, so no "sip" (and no restart question) follows.
TEST(SettingsNetworkPage, AnUntouchedBlockKeepsWhatTheFrameReported) {
    auto s = sampleSettings();
    s->networkSettings.ipAddress.assign("");
    s->networkSettings.gateway.assign("");
    CDevLanPage page;
    page.distribute(*s);
    page.load();
    ASSERT_EQ(page.block.addresses[0].text, "0.0.0.0");
    ASSERT_EQ(page.store(), std::nullopt);
    DeviceSettings after = *s;
    page.gather(after);
    EXPECT_EQ(after.networkSettings, s->networkSettings);

    // Typing the address that was shown anew is still no change; another one is.
    page.block.addresses[1].text = "255.255.0.0";
    ASSERT_EQ(page.store(), std::nullopt);
    page.gather(after);
    EXPECT_EQ(after.networkSettings.ipAddress.view(), "");
    EXPECT_EQ(after.networkSettings.subnetMask.view(), "255.255.0.0");

    s->networkSettings.mode = 1;
    s->networkSettings.ipAddress.assign("10.0.0.50");
    page.distribute(*s);
    page.load();
    ASSERT_EQ(page.store(), std::nullopt);
    after = *s;
    page.gather(after);
    EXPECT_EQ(after.networkSettings, s->networkSettings);

    // The same frame through the whole dialog: nothing to send.
    CSettingsDialogLogic dialog(*s, fullInputs());
    ASSERT_EQ(dialog.storeAll(), std::nullopt);
    EXPECT_EQ(dialog.settings().networkSettings, s->networkSettings);
}

TEST(SettingsNetworkPage, RefusesABadAddressAndTakesNothing) {
    auto s = sampleSettings();
    CDevLanPage page;
    page.distribute(*s);
    page.load();
    page.block.addresses[0].text = "10.9.9.9";
    page.block.addresses[2].text = "192.168.0.300";
    const std::optional<PageError> e = page.store();
    ASSERT_TRUE(e.has_value());
    EXPECT_FALSE(e->message.empty());
    page.gather(*s);
    EXPECT_EQ(s->networkSettings.ipAddress.view(), "192.168.0.20");
    EXPECT_EQ(s->networkSettings.gateway.view(), "192.168.0.1");
}

// ---- Sample rate ----

TEST(SettingsSampleRatePage, ValuesOutsideTheListsShowNoSelectionAndAreKept) {
    for (const std::int32_t rate : {0, 11}) {
        auto s = sampleSettings();
        s->genRate = rate;
        CSampleRatePage page;
        page.distribute(*s, fullInputs());
        page.load();
        EXPECT_EQ(page.genRate.selected, -1) << rate;
        page.store();
        page.gather(*s);
        EXPECT_EQ(s->genRate, rate);
    }
}

TEST(SettingsSampleRatePage, SelectsByValueAndStoresTheEntryData) {
    auto s = sampleSettings();
    s->genRate = 10;
    s->rateAdaptSource = 15;
    CSampleRatePage page;
    page.distribute(*s, fullInputs());
    page.load();
    EXPECT_EQ(selectedText(page.genRate), "DSD 128 x fs");
    EXPECT_EQ(selectedText(page.adaptSource), "Madi coax");
    EXPECT_EQ(selectedText(page.wordClockOut), "Sample rate");

    choose(page.genRate, "DXD 352.8 kHz");
    choose(page.adaptSource, "AES11");
    choose(page.wordClockOut, "Base (44.1 or 48 kHz)");
    page.store();
    page.gather(*s);
    EXPECT_EQ(s->genRate, 7);
    EXPECT_EQ(s->rateAdaptSource, 3);
    EXPECT_EQ(s->wordClockOut, 0);
}

TEST(SettingsSampleRatePage, PhdSourcesOnlyWithPhdPorts) {
    auto s = sampleSettings();
    s->rateAdaptSource = 13;
    CSampleRatePage page;
    page.distribute(*s, fullInputs());
    page.load();
    EXPECT_EQ(selectedText(page.adaptSource), "PHD 1");
    EXPECT_GE(indexOfText(page.adaptSource, "PHD 2"), 0);

    SettingsDialogInputs in = fullInputs();
    in.noPhd = true;
    page.distribute(*s, in);
    page.load();
    EXPECT_EQ(indexOfText(page.adaptSource, "PHD 1"), -1);
    EXPECT_EQ(indexOfText(page.adaptSource, "PHD 2"), -1);
    EXPECT_EQ(page.adaptSource.selected, -1);
    EXPECT_EQ(page.adaptSource.entries.back().value, 18); // "IP" still there
    page.store();
    page.gather(*s);
    EXPECT_EQ(s->rateAdaptSource, 13);
}

// ---- Synchronization ----

TEST(SettingsSyncPage, RowsLeaveOutThePhdSources) {
    auto s = sampleSettings();
    CSyncPrioPage page;
    page.distribute(*s);
    page.load();
    ASSERT_EQ(page.rows.size(), 15U);
    for (const CSyncPrioPage::Row& r : page.rows) {
        EXPECT_NE(r.sourceNumber, 13);
        EXPECT_NE(r.sourceNumber, 14);
        // Priority index = source - 2, and the sample gives index i the value i + 1.
        EXPECT_EQ(r.priority, std::to_string(r.sourceNumber - 1)) << r.source;
    }
    EXPECT_EQ(page.rows[0].source, "Word clock");
    EXPECT_EQ(page.rows[11].source, "Madi coax");
    EXPECT_EQ(page.rows[11].sourceNumber, 15);
    EXPECT_EQ(page.rows[14].source, "IP");
    EXPECT_EQ(page.rows[14].sourceNumber, 18);
    EXPECT_TRUE(page.termination.checked);
}

TEST(SettingsSyncPage, StoreTakesValidCellsAndNeverTouchesPhdPriorities) {
    auto s = sampleSettings();
    CSyncPrioPage page;
    page.distribute(*s);
    page.load();
    for (CSyncPrioPage::Row& r : page.rows)
        r.priority = "31";
    page.rows[0].priority = "";   // emptied: Word clock keeps 1
    page.rows[1].priority = "40"; // out of range: AES11 keeps 2
    page.rows[2].priority = "0";  // Video clock disabled
    page.termination.checked = false;
    page.store();
    page.gather(*s);
    EXPECT_EQ(s->syncPriority[0], 1);
    EXPECT_EQ(s->syncPriority[1], 2);
    EXPECT_EQ(s->syncPriority[2], 0);
    EXPECT_EQ(s->syncPriority[3], 31);
    EXPECT_EQ(s->syncPriority[11], 12); // PHD 1
    EXPECT_EQ(s->syncPriority[12], 13); // PHD 2
    EXPECT_EQ(s->syncPriority[16], 31);
    EXPECT_EQ(s->syncTerm, 0);
}

TEST(SettingsSyncPage, EditedCellOutOfRangeShowsZero) {
    EXPECT_EQ(CSyncPrioPage::priorityAfterEdit("32"), "0");
    EXPECT_EQ(CSyncPrioPage::priorityAfterEdit("-1"), "0");
    EXPECT_EQ(CSyncPrioPage::priorityAfterEdit("99999999999"), "0");
    EXPECT_EQ(CSyncPrioPage::priorityAfterEdit("31"), "31");
    EXPECT_EQ(CSyncPrioPage::priorityAfterEdit("0"), "0");
    EXPECT_EQ(CSyncPrioPage::priorityAfterEdit("7"), "7");
    EXPECT_EQ(CSyncPrioPage::priorityAfterEdit(""), ""); // stays empty, so the store skips it
}

// ---- AES and MADI coax ----

TEST(SettingsAesPage, SelectsByIndexAndKeepsAnUnknownMode) {
    auto s = sampleSettings();
    CAesPage page;
    page.distribute(*s);
    page.load();
    EXPECT_EQ(selectedText(page.channelStatus), "Default");
    choose(page.channelStatus, "Transparent");
    page.store();
    page.gather(*s);
    EXPECT_EQ(s->aesChannelStatus, 0);

    s->aesChannelStatus = 2;
    page.distribute(*s);
    page.load();
    EXPECT_EQ(page.channelStatus.selected, -1);
    page.store();
    page.gather(*s);
    EXPECT_EQ(s->aesChannelStatus, 2);
}

TEST(SettingsMadiPage, EachListWritesItsOwnField) {
    auto s = freshSettings();
    CMadiCoaxPage page;
    page.distribute(*s);
    page.load();
    for (ComboState* c :
         {&page.inputRate, &page.frameRate, &page.channelStatus, &page.channelCount, &page.dsdMode})
        EXPECT_EQ(c->selected, 0);

    // One list at a time, so a value landing in the wrong field shows.
    choose(page.channelStatus, "Default");
    page.store();
    page.gather(*s);
    EXPECT_EQ(s->madiOutMode[1].modes[1], 1);
    EXPECT_THAT(writeSettingsFile(*s), HasSubstr("MadiOutChnSt=1\r\n"));
    EXPECT_THAT(writeSettingsFile(*s), HasSubstr("MadiOutLegFr=0\r\n"));

    choose(page.frameRate, "Legacy");
    page.store();
    page.gather(*s);
    EXPECT_THAT(writeSettingsFile(*s), HasSubstr("MadiOutLegFr=1\r\n"));
    EXPECT_THAT(writeSettingsFile(*s), HasSubstr("MadiOutMode=0\r\n"));

    choose(page.channelCount, "64 ch");
    choose(page.inputRate, "As internal");
    choose(page.dsdMode, "DSD over PCM");
    page.store();
    page.gather(*s);
    EXPECT_EQ(s->madiInMode[1].values[0], 1);
    EXPECT_EQ(s->madiOutMode[1].modes, (std::array<std::int32_t, 4>{0, 1, 1, 1}));
    EXPECT_EQ(s->madiOutMode[1].dsdMode, 1);
    EXPECT_THAT(writeSettingsFile(*s), HasSubstr("MadiOutMode=1\r\n"));
    // Ports 2 and 3 belong to the optional module.
    EXPECT_EQ(s->madiOutMode[2], MadiOutMode{});
    EXPECT_EQ(s->madiInMode[2], MadiInMode{});
}

TEST(SettingsMadiPage, LoadShowsEachFieldInItsList) {
    auto s = freshSettings();
    s->madiOutMode[1].modes = {0, 0, 1, 0}; // legacy frame only
    CMadiCoaxPage page;
    page.distribute(*s);
    page.load();
    EXPECT_EQ(selectedText(page.frameRate), "Legacy");
    EXPECT_EQ(selectedText(page.channelStatus), "Transparent");
    EXPECT_EQ(selectedText(page.channelCount), "56 ch");
}

// ---- PHD ----

TEST(SettingsPhdPage, WithoutPhdPortsEverythingIsEmptyAndDisabled) {
    auto s = sampleSettings();
    SettingsDialogInputs in = fullInputs();
    in.noPhd = true;
    CPhdPage page;
    page.distribute(*s, in);
    page.load();
    for (const ComboState* c : {&page.portConfig, &page.emulation1, &page.emulation2}) {
        EXPECT_TRUE(c->entries.empty());
        EXPECT_FALSE(c->enabled);
        EXPECT_EQ(c->selected, -1);
    }
    page.store();
    page.gather(*s);
    EXPECT_EQ(s->phdMode, (std::array<std::int32_t, 3>{1, 2, 3}));
}

TEST(SettingsPhdPage, PortConfigurationDecidesTheEmulationLists) {
    auto s = sampleSettings(); // 2 x Primary, GRID 16x16, GRID 32x32
    CPhdPage page;
    page.distribute(*s, fullInputs());
    page.load();
    EXPECT_EQ(selectedText(page.portConfig), "2 x Primary");
    EXPECT_EQ(page.emulation1.entries[0].text, "2 x HDIO");
    EXPECT_EQ(selectedText(page.emulation1), "GRID 16x16");
    EXPECT_TRUE(page.emulation2.enabled);
    EXPECT_EQ(selectedText(page.emulation2), "GRID 32x32");

    choose(page.portConfig, "Primary and expansion");
    page.portConfigChanged();
    EXPECT_EQ(page.emulation1.entries[0].text, "HDIO");
    EXPECT_FALSE(page.emulation2.enabled);
    EXPECT_EQ(page.emulation2.selected, -1);
}

TEST(SettingsPhdPage, FlippingTheConfigurationRestoresTheStoredModes) {
    auto s = sampleSettings();
    CPhdPage page;
    page.distribute(*s, fullInputs());
    page.load();
    choose(page.emulation1, "HD MADI");
    choose(page.emulation2, "2 x HDIO");
    choose(page.portConfig, "Primary and expansion");
    page.portConfigChanged();
    choose(page.portConfig, "2 x Primary");
    page.portConfigChanged();
    EXPECT_EQ(selectedText(page.emulation1), "GRID 16x16");
    EXPECT_EQ(selectedText(page.emulation2), "GRID 32x32");
}

TEST(SettingsPhdPage, PrimaryAndExpansionStoresPortTwoAsZero) {
    auto s = sampleSettings();
    CPhdPage page;
    page.distribute(*s, fullInputs());
    page.load();
    choose(page.portConfig, "Primary and expansion");
    page.portConfigChanged();
    choose(page.emulation1, "GRID 32x32");
    page.store();
    page.gather(*s);
    EXPECT_EQ(s->phdMode, (std::array<std::int32_t, 3>{0, 3, 0}));

    // Back to two primaries: port 2 is taken from its list again.
    choose(page.portConfig, "2 x Primary");
    page.portConfigChanged();
    choose(page.emulation2, "HD MADI");
    page.store();
    page.gather(*s);
    EXPECT_EQ(s->phdMode, (std::array<std::int32_t, 3>{1, 3, 1}));
}

TEST(SettingsPhdPage, ValuesOutsideTheListsAreKept) {
    auto s = sampleSettings();
    s->phdMode = {5, 7, 9};
    CPhdPage page;
    page.distribute(*s, fullInputs());
    page.load();
    EXPECT_EQ(page.portConfig.selected, -1);
    EXPECT_EQ(page.emulation1.selected, -1);
    page.store();
    page.gather(*s);
    EXPECT_EQ(s->phdMode, (std::array<std::int32_t, 3>{5, 7, 9}));
}

// ---- Dante ----

struct SettingsDantePage : ::testing::Test {
    std::unique_ptr<DeviceSettings> s = sampleSettings();
    SettingsDialogInputs in = fullInputs();
    CDantePage page;
    void open() {
        page.distribute(*s, in);
        page.load();
    }
    IpAudioSettings stored() {
        auto out = sampleSettings();
        page.gather(*out);
        return out->ipAudio;
    }
    void expectAllDisabled() {
        EXPECT_FALSE(page.editable());
        EXPECT_FALSE(page.name.enabled);
        EXPECT_FALSE(page.primary.enabled);
        EXPECT_FALSE(page.secondary.enabled);
        EXPECT_FALSE(page.primary.macVisible);
        EXPECT_FALSE(page.secondary.macVisible);
        EXPECT_FALSE(page.switchMode.enabled);
        EXPECT_FALSE(page.sampleRateControl.enabled);
        EXPECT_FALSE(page.preferredMaster.enabled);
        EXPECT_FALSE(page.latency.enabled);
    }
    // What an operator would type if the controls let them.
    void editEverything() {
        page.name.text = "changed";
        page.primary.chooseAutomatic(true);
        page.secondary.chooseAutomatic(false);
        for (EditState& a : page.secondary.addresses)
            a.text = "10.0.0.9";
        page.switchMode.selectIndex(0);
        page.sampleRateControl.checked = false;
        page.preferredMaster.checked = true;
        page.latency.text = "250";
    }
};

TEST_F(SettingsDantePage, ActivePageLoadsTheModule) {
    open();
    EXPECT_TRUE(page.active());
    EXPECT_TRUE(page.editable());
    EXPECT_EQ(page.name.text, "stage-left");
    EXPECT_TRUE(page.primary.fixed.checked);
    ASSERT_EQ(page.primary.addresses.size(), 4U);
    EXPECT_EQ(page.primary.addresses[3].text, "10.0.0.2");
    EXPECT_EQ(page.primary.macText, "MAC address : 001DC1000001");
    EXPECT_TRUE(page.secondary.automatic.checked);
    EXPECT_EQ(selectedText(page.switchMode), "Redundant");
    EXPECT_TRUE(page.secondary.enabled);
    EXPECT_TRUE(page.sampleRateControl.checked);
    EXPECT_TRUE(page.sampleRateControl.enabled);
    EXPECT_TRUE(page.preferredMaster.enabled);
    EXPECT_EQ(page.latency.text, "1000");
}

TEST_F(SettingsDantePage, StoreTakesEveryControl) {
    open();
    editEverything();
    page.secondary.addresses[1].text = "255.255.255.255";
    page.switchModeChanged();
    EXPECT_EQ(page.store(), std::nullopt);
    const IpAudioSettings v = stored();
    EXPECT_EQ(v.moduleName.view(), "changed");
    EXPECT_EQ(v.primary.mode, 1);
    EXPECT_EQ(v.primary.ipAddress.view(), "0.0.0.0");
    EXPECT_EQ(v.primary.dns.view(), "0.0.0.0");
    EXPECT_EQ(v.primary.macAddress.view(), "001DC1000001");
    EXPECT_EQ(v.secondary.mode, 0);
    EXPECT_EQ(v.secondary.ipAddress.view(), "10.0.0.9");
    EXPECT_EQ(v.secondary.subnetMask.view(), "0.0.0.0");
    EXPECT_EQ(v.switchMode, 0);
    EXPECT_EQ(v.sampleRateEnable, 0);
    EXPECT_EQ(v.preferredMaster, 1);
    EXPECT_EQ(v.latency, 250);
    EXPECT_EQ(v.unicastClock, 3); // not on the page
    EXPECT_EQ(v.frameSize, 16);
}

TEST_F(SettingsDantePage, InactivePageLeavesTheModuleValuesAsDistributed) {
    s->ipAudio.primary.macAddress.assign(""); // fitted, MAC not reported yet
    const IpAudioSettings before = s->ipAudio;
    open();
    EXPECT_FALSE(page.active());
    expectAllDisabled();
    EXPECT_EQ(page.store(), std::nullopt);
    EXPECT_EQ(stored(), before);

    editEverything(); // even controls changed behind the page's back are not read
    EXPECT_EQ(page.store(), std::nullopt);
    EXPECT_EQ(stored(), before);
}

TEST_F(SettingsDantePage, ModuleNotFittedIsInactive) {
    in.ipModulePresent = false;
    open();
    EXPECT_FALSE(page.active());
    expectAllDisabled();
}

TEST_F(SettingsDantePage, LockedOrDomainManagedModuleIsReadOnly) {
    const IpAudioSettings before = s->ipAudio;
    for (const auto& [lock, domain] :
         {std::pair{1, 0}, std::pair{5, 3}, std::pair{0, 1}, std::pair{0, 2}}) {
        in.bkLock = lock;
        in.bkDomainState = domain;
        open();
        EXPECT_TRUE(page.active());
        expectAllDisabled();
        EXPECT_EQ(page.name.text, "stage-left"); // shown, not editable
        editEverything();
        EXPECT_EQ(page.store(), std::nullopt);
        EXPECT_EQ(stored(), before) << lock << "/" << domain;
    }
}

TEST_F(SettingsDantePage, DomainStateThreeIsEditableOtherStatesLoseClockControls) {
    in.bkDomainState = 3;
    open();
    EXPECT_TRUE(page.editable());
    EXPECT_TRUE(page.sampleRateControl.enabled);

    in.bkDomainState = 4;
    open();
    EXPECT_TRUE(page.editable());
    EXPECT_TRUE(page.name.enabled);
    EXPECT_FALSE(page.sampleRateControl.enabled);
    EXPECT_FALSE(page.latency.enabled);
    page.sampleRateControl.checked = false;
    EXPECT_EQ(page.store(), std::nullopt);
    EXPECT_EQ(stored().sampleRateEnable, 1);
}

TEST_F(SettingsDantePage, SecondaryBlockOnlyUnderRedundant) {
    open();
    choose(page.switchMode, "Switched");
    page.switchModeChanged();
    EXPECT_FALSE(page.secondary.enabled);
    EXPECT_TRUE(page.primary.enabled);
    choose(page.switchMode, "Redundant");
    page.switchModeChanged();
    EXPECT_TRUE(page.secondary.enabled);

    s->ipAudio.switchMode = 0;
    open();
    EXPECT_FALSE(page.secondary.enabled);
}

TEST_F(SettingsDantePage, OlderFirmwareHasNoPreferredMasterOrLatency) {
    in.versionAbove2000200 = false;
    open();
    EXPECT_TRUE(page.sampleRateControl.enabled);
    EXPECT_FALSE(page.preferredMaster.enabled);
    EXPECT_FALSE(page.latency.enabled);
    page.preferredMaster.checked = true;
    page.latency.text = "not a number"; // never read while disabled
    EXPECT_EQ(page.store(), std::nullopt);
    const IpAudioSettings v = stored();
    EXPECT_EQ(v.preferredMaster, 0);
    EXPECT_EQ(v.latency, 1000);
}

TEST_F(SettingsDantePage, RefusalsNameTheirFieldAndTakeNothing) {
    const IpAudioSettings before = s->ipAudio;
    struct Case {
        const char* what;
        void (*edit)(CDantePage&);
        int control;
    };
    const Case cases[] = {
        {"latency too high", [](CDantePage& p) { p.latency.text = "100000"; },
         CDantePage::kLatency},
        {"latency negative", [](CDantePage& p) { p.latency.text = "-1"; }, CDantePage::kLatency},
        {"name with comma", [](CDantePage& p) { p.name.text = "a,b"; }, CDantePage::kName},
        {"name too long", [](CDantePage& p) { p.name.text = std::string(32, 'x'); },
         CDantePage::kName},
    };
    for (const Case& c : cases) {
        open();
        page.switchMode.selectIndex(0); // an edit that must not be half taken
        c.edit(page);
        const std::optional<PageError> e = page.store();
        ASSERT_TRUE(e.has_value()) << c.what;
        EXPECT_EQ(e->control, c.control) << c.what;
        EXPECT_EQ(stored(), before) << c.what;
    }

    open();
    page.latency.text = "99999";
    page.name.text = std::string(31, 'x');
    EXPECT_EQ(page.store(), std::nullopt);
    EXPECT_EQ(stored().latency, 99999);

    open();
    page.secondary.chooseAutomatic(false);
    page.secondary.addresses[0].text = "10.0.0.256";
    page.name.text = "new";
    ASSERT_TRUE(page.store().has_value());
    EXPECT_EQ(stored(), before);
}

// ---- Optional module ----

struct SettingsOptionalPage : ::testing::Test {
    std::unique_ptr<DeviceSettings> s = sampleSettings();
    SettingsDialogInputs in = fullInputs();
    COptModPage page;
    void open() {
        page.distribute(*s, in);
        page.load();
    }
    std::unique_ptr<DeviceSettings> stored() {
        page.store();
        auto out = sampleSettings();
        page.gather(*out);
        return out;
    }
    static std::vector<const ComboState*> lists(const COptModPage::Sfp& f) {
        return {&f.type, &f.input, &f.frameRate, &f.channelStatus, &f.channelCount, &f.dsdMode};
    }
};

TEST_F(SettingsOptionalPage, LoadShowsEachModuleByItsType) {
    open();
    const COptModPage::Sfp& madi = page.sfp[0];
    EXPECT_EQ(madi.title, " SFP 1 ");
    EXPECT_EQ(selectedText(madi.type), "Madi");
    EXPECT_EQ(madi.inputLabel, "Input sample rate");
    EXPECT_EQ(selectedText(madi.input), "As internal");
    EXPECT_EQ(selectedText(madi.frameRate), "Legacy");
    EXPECT_EQ(selectedText(madi.channelStatus), "Transparent");
    EXPECT_EQ(selectedText(madi.channelCount), "64 ch");
    EXPECT_EQ(selectedText(madi.dsdMode), "Native");
    EXPECT_TRUE(madi.frameRate.enabled);

    const COptModPage::Sfp& hotlink = page.sfp[1];
    EXPECT_TRUE(hotlink.visible);
    EXPECT_EQ(selectedText(hotlink.type), "Hotlink");
    EXPECT_EQ(hotlink.inputLabel, "Mode");
    EXPECT_EQ(selectedText(hotlink.input), "External");
    EXPECT_TRUE(hotlink.input.enabled);
    for (const ComboState* c :
         {&hotlink.frameRate, &hotlink.channelStatus, &hotlink.channelCount, &hotlink.dsdMode}) {
        EXPECT_FALSE(c->enabled);
        EXPECT_EQ(c->selected, -1);
    }
    EXPECT_TRUE(page.redundancy.enabled);
    EXPECT_EQ(selectedText(page.redundancy), "Disabled");
    EXPECT_FALSE(page.redundancyMode.enabled);
    EXPECT_EQ(page.redundancyMode.selected, -1);
}

TEST_F(SettingsOptionalPage, NotFittedDisablesEverythingAndKeepsTheModes) {
    in.sfpPresent = false;
    s->optRedundancy = {1, 2};
    open();
    EXPECT_FALSE(page.redundancy.enabled);
    EXPECT_EQ(page.redundancy.selected, -1);
    EXPECT_FALSE(page.redundancyMode.enabled);
    EXPECT_EQ(page.redundancyMode.selected, -1);
    for (const COptModPage::Sfp& f : page.sfp)
        for (const ComboState* c : lists(f)) {
            EXPECT_FALSE(c->enabled);
            EXPECT_EQ(c->selected, -1);
        }
    const auto out = stored();
    EXPECT_EQ(out->optMode, s->optMode);
    EXPECT_EQ(out->madiInMode, s->madiInMode);
    EXPECT_EQ(out->madiOutMode, s->madiOutMode);
    EXPECT_EQ(out->hotlinkInMode, s->hotlinkInMode);
    EXPECT_EQ(out->hotlinkOutMode, s->hotlinkOutMode);
    EXPECT_EQ(out->optRedundancy, (std::array<std::int32_t, 2>{1, 2}));
}

TEST_F(SettingsOptionalPage, RedundancyEnabledRunsOneSfp) {
    s->optRedundancy = {1, 2};
    open();
    EXPECT_EQ(selectedText(page.redundancy), "Enabled");
    EXPECT_FALSE(page.sfp[1].visible);
    EXPECT_EQ(page.sfp[0].title, " SFP ");
    EXPECT_TRUE(page.redundancyMode.enabled);
    EXPECT_EQ(selectedText(page.redundancyMode), "SFP 2 active");

    choose(page.redundancyMode, "Automatic");
    const auto out = stored();
    EXPECT_EQ(out->optRedundancy, (std::array<std::int32_t, 2>{1, 0}));
}

TEST_F(SettingsOptionalPage, RedundancyDisabledRefillsBothSfpsFromThePageValues) {
    s->optRedundancy = {1, 1};
    open();
    choose(page.sfp[0].type, "Hotlink");
    page.typeChanged(0);
    choose(page.redundancy, "Disabled");
    page.redundancyChanged();
    EXPECT_TRUE(page.sfp[1].visible);
    EXPECT_EQ(page.sfp[0].title, " SFP 1 ");
    EXPECT_EQ(page.sfp[1].title, " SFP 2 ");
    EXPECT_FALSE(page.redundancyMode.enabled);
    EXPECT_EQ(page.redundancyMode.selected, -1);
    EXPECT_EQ(selectedText(page.sfp[0].type), "Madi");
    EXPECT_EQ(selectedText(page.sfp[0].channelCount), "64 ch");

    const auto out = stored();
    EXPECT_EQ(out->optRedundancy, (std::array<std::int32_t, 2>{0, 0}));

    // And enabling it again from the list.
    choose(page.redundancy, "Enabled");
    page.redundancyChanged();
    EXPECT_FALSE(page.sfp[1].visible);
    EXPECT_EQ(page.sfp[0].title, " SFP ");
    EXPECT_TRUE(page.redundancyMode.enabled);
}

TEST_F(SettingsOptionalPage, ChangingTheTypeRebuildsTheInputAndOutputs) {
    open();
    COptModPage::Sfp& f = page.sfp[1];

    choose(f.type, "Madi");
    page.typeChanged(1);
    EXPECT_EQ(f.inputLabel, "Input sample rate");
    EXPECT_EQ(selectedText(f.input), "Auto");
    EXPECT_TRUE(f.input.enabled);
    for (const ComboState* c : {&f.frameRate, &f.channelStatus, &f.channelCount, &f.dsdMode}) {
        EXPECT_TRUE(c->enabled);
        EXPECT_EQ(c->selected, 0);
    }

    choose(f.type, "Hotlink");
    page.typeChanged(1);
    EXPECT_EQ(f.inputLabel, "Mode");
    EXPECT_EQ(selectedText(f.input), "Internal");
    EXPECT_EQ(indexOfText(f.input, "External"), 1);
    for (const ComboState* c : {&f.frameRate, &f.channelStatus, &f.channelCount, &f.dsdMode}) {
        EXPECT_FALSE(c->enabled);
        EXPECT_EQ(c->selected, -1);
    }

    choose(f.type, "Disabled");
    page.typeChanged(1);
    EXPECT_FALSE(f.input.enabled);
    EXPECT_EQ(f.input.selected, -1);
    EXPECT_FALSE(f.frameRate.enabled);
    EXPECT_EQ(f.dsdMode.selected, -1);
}

TEST_F(SettingsOptionalPage, StoreMadiWritesTheModulesPort) {
    open();
    COptModPage::Sfp& f = page.sfp[1]; // module 2: MADI port 3
    choose(f.type, "Madi");
    page.typeChanged(1);
    choose(f.input, "As internal");
    choose(f.channelStatus, "Default");
    choose(f.dsdMode, "DSD over PCM");
    const auto out = stored();
    EXPECT_EQ(out->optMode[2].value, 1);
    EXPECT_EQ(out->madiInMode[3].values[0], 1);
    EXPECT_EQ(out->madiOutMode[3].modes[1], 1); // channel status
    EXPECT_EQ(out->madiOutMode[3].modes[2], 0); // frame rate High
    EXPECT_EQ(out->madiOutMode[3].modes[3], 0); // 56 ch
    EXPECT_EQ(out->madiOutMode[3].dsdMode, 1);
    // Module 1 and the coax port stay.
    EXPECT_EQ(out->madiOutMode[2], s->madiOutMode[2]);
    EXPECT_EQ(out->madiOutMode[1], s->madiOutMode[1]);
    EXPECT_EQ(out->optMode[1].value, 1);
}

TEST_F(SettingsOptionalPage, StoreHotlinkSetsInputAndOutputMode) {
    open();
    COptModPage::Sfp& f = page.sfp[0]; // module 1, was Madi
    choose(f.type, "Hotlink");
    page.typeChanged(0);
    choose(f.input, "External");
    const auto out = stored();
    EXPECT_EQ(out->optMode[1].value, 2);
    EXPECT_EQ(out->hotlinkInMode[1].value, 1);
    EXPECT_EQ(out->hotlinkOutMode[1].value, 1);
    EXPECT_EQ(out->hotlinkInMode[2].value, 1); // module 2 untouched
}

TEST_F(SettingsOptionalPage, StoreDisabledClearsTheModule) {
    open();
    choose(page.sfp[1].type, "Disabled"); // module 2, was Hotlink
    page.typeChanged(1);
    const auto out = stored();
    EXPECT_EQ(out->optMode[2].value, 0);
    EXPECT_EQ(out->hotlinkInMode[2].value, 0);
    EXPECT_EQ(out->hotlinkOutMode[2].value, 0);
    EXPECT_EQ(out->madiInMode[3].values[0], 0);
    EXPECT_EQ(out->madiOutMode[3].modes, (std::array<std::int32_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(out->madiOutMode[3].dsdMode, 0);
    EXPECT_EQ(out->madiInMode[2].values[0], 1); // module 1 keeps its values
}

TEST_F(SettingsOptionalPage, UnknownTypeShowsNoSelectionAndKeepsTheModule) {
    s->optMode[1].value = 7;
    open();
    EXPECT_EQ(page.sfp[0].type.selected, -1);
    EXPECT_FALSE(page.sfp[0].input.enabled);
    const auto out = stored();
    EXPECT_EQ(out->optMode[1].value, 7);
    EXPECT_EQ(out->madiInMode[2], s->madiInMode[2]);
    EXPECT_EQ(out->madiOutMode[2], s->madiOutMode[2]);
}

TEST_F(SettingsOptionalPage, RedundancyNeedsNewerFirmware) {
    in.versionAbove2000000 = false;
    s->optRedundancy = {1, 2};
    open();
    EXPECT_FALSE(page.redundancy.enabled);
    EXPECT_EQ(page.redundancy.selected, -1);
    EXPECT_FALSE(page.redundancyMode.enabled);
    EXPECT_TRUE(page.sfp[1].visible);
    EXPECT_TRUE(page.sfp[0].type.enabled);
    EXPECT_EQ(stored()->optRedundancy, (std::array<std::int32_t, 2>{1, 2}));
}

// ---- hardware views ----

TEST(SettingsHwViews, SoftwareVersionTextStopsAtTheFirstIncompletePair) {
    SwVersionRecord r;
    EXPECT_EQ(swVersionText(r), "");
    r.first[0].assign("App");
    r.second[0].assign("2.1.0");
    r.first[1].assign("Boot");
    r.second[1].assign("1.0");
    r.first[3].assign("Fpga"); // after an empty pair: not shown
    r.second[3].assign("7");
    EXPECT_EQ(swVersionText(r), "App: 2.1.0 | Boot: 1.0");

    r.second[0].assign(""); // empty version in the first pair
    EXPECT_EQ(swVersionText(r), "");
}

TEST(SettingsHwViews, RowsInOrderWithSlotsOnlyWhenShown) {
    EXPECT_TRUE(cardSlotsShown(0));
    EXPECT_TRUE(cardSlotsShown(3));
    EXPECT_TRUE(cardSlotsShown(5));
    for (const int family : {1, 2, 4, 6})
        EXPECT_FALSE(cardSlotsShown(family)) << family;

    auto s = freshSettings();
    s->hwConf[2].present = 1;
    s->hwConf[2].boardCode.assign("460100 A01");
    s->hwConf[2].secondText.assign("4601002501001");
    s->swVersion[2].first[0].assign("App");
    s->swVersion[2].second[0].assign("2.1.0");
    s->hwConf[11].present = -1; // any non-zero value means fitted
    s->hwConf[11].boardCode.assign("460230 B02");
    s->hwConf[19].present = 0;
    s->hwConf[19].boardCode.assign("stale text");

    const std::vector<HwRow> all = hwConfigurationRows(*s, true);
    ASSERT_EQ(all.size(), 14U);
    const std::vector<std::pair<int, std::string>> expected{
        {2, "Main board"},   {3, "Optional"},     {9, "Card slot 1"},  {10, "Card slot 2"},
        {11, "Card slot 3"}, {12, "Card slot 4"}, {13, "Card slot 5"}, {14, "Card slot 6"},
        {15, "Card slot 7"}, {16, "Card slot 8"}, {17, "Front panel"}, {18, "Brooklyn II"},
        {19, "PSU 1"},       {20, "PSU 2"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(all[i].entry, expected[i].first);
        EXPECT_EQ(all[i].module, expected[i].second);
    }
    EXPECT_TRUE(all[0].fitted);
    EXPECT_EQ(all[0].typeAndVersion, "460100 A01");
    EXPECT_EQ(all[0].serialNumber, "4601002501001");
    EXPECT_EQ(all[0].swVersions, "App: 2.1.0");
    EXPECT_TRUE(all[4].fitted);
    EXPECT_EQ(all[4].typeAndVersion, "460230 B02");
    EXPECT_FALSE(all[12].fitted);
    EXPECT_EQ(all[12].typeAndVersion, ""); // a module not fitted shows its name only

    const std::vector<HwRow> noSlots = hwConfigurationRows(*s, cardSlotsShown(kFamily450));
    ASSERT_EQ(noSlots.size(), 6U);
    EXPECT_EQ(noSlots[1].module, "Optional");
    EXPECT_EQ(noSlots[2].module, "Front panel");
    EXPECT_EQ(noSlots[2].entry, 17);
}

TEST(SettingsHwViews, CardRowsDescribeFittedBoardsByPrefix) {
    EXPECT_EQ(cardDescription("460210A01"), "SDI emb-/deembedder with SRC");
    EXPECT_EQ(cardDescription("460130"), "AD converter");
    EXPECT_EQ(cardDescription("460132X99"), "AD converter");
    EXPECT_EQ(cardDescription("460230"), "DA converter");
    EXPECT_EQ(cardDescription("460240"), "AES with SRC");
    EXPECT_EQ(cardDescription("460250"), "MADI dual / Hotlink");
    EXPECT_EQ(cardDescription("460260"), "Dante IP audio with SRC");
    EXPECT_EQ(cardDescription("460610"), "EQ");
    EXPECT_EQ(cardDescription("460131"), "");
    EXPECT_EQ(cardDescription("4602"), ""); // shorter than a prefix
    EXPECT_EQ(cardDescription(""), "");

    auto s = freshSettings();
    s->hwConf[9].present = 1;
    s->hwConf[9].boardCode.assign("460250 X01 extra");
    s->hwConf[16].present = 1;
    s->hwConf[16].boardCode.assign("999999");
    s->hwConf[10].present = -1; // fitted, as on the hardware page
    s->hwConf[10].boardCode.assign("460240");
    s->hwConf[12].boardCode.assign("460130"); // not fitted

    EXPECT_TRUE(cardSlotRows(*s, false).empty());
    const std::vector<CardSlotRow> rows = cardSlotRows(*s, true);
    ASSERT_EQ(rows.size(), 8U);
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].slot, std::to_string(i + 1));
    EXPECT_TRUE(rows[0].fitted);
    EXPECT_EQ(rows[0].type, "460250 X0"); // the first nine characters
    EXPECT_EQ(rows[0].description, "MADI dual / Hotlink");
    EXPECT_TRUE(rows[7].fitted);
    EXPECT_EQ(rows[7].description, "");
    EXPECT_TRUE(rows[1].fitted);
    EXPECT_EQ(rows[1].description, "AES with SRC");
    EXPECT_FALSE(rows[3].fitted);
    EXPECT_EQ(rows[3].type, "");
    EXPECT_EQ(rows[3].description, "");
}

// ---- the dialog ----

std::unique_ptr<CSettingsDialogLogic> openDialog(const DeviceSettings& s,
                                                 const SettingsDialogInputs& in = fullInputs()) {
    return std::make_unique<CSettingsDialogLogic>(s, in);
}

TEST(SettingsDialog, TitleNamesTheFrameAndItsFixedAddress) {
    auto s = sampleSettings();
    EXPECT_EQ(openDialog(*s)->title(), " Device settings for <Studio A> at 192.168.0.20");
    s->networkSettings.mode = 1;
    EXPECT_EQ(openDialog(*s)->title(), " Device settings for <Studio A>");
    s->deviceName.assign("");
    s->networkSettings.mode = 0;
    EXPECT_EQ(openDialog(*s)->title(), " Device settings");
}

TEST(SettingsDialog, TabTexts) {
    EXPECT_EQ(CSettingsDialogLogic::tabText(CSettingsDialogLogic::kIdPage), " ID ");
    EXPECT_EQ(CSettingsDialogLogic::tabText(CSettingsDialogLogic::kHwPage), " HW configuration ");
    EXPECT_EQ(CSettingsDialogLogic::tabText(CSettingsDialogLogic::kPageCount), "");
    EXPECT_EQ(CSettingsDialogLogic::tabText(-1), "");
}

TEST(SettingsDialog, OpeningAndSavingUntouchedChangesNothing) {
    auto s = sampleSettings();
    auto d = openDialog(*s);
    EXPECT_EQ(d->storeAll(), std::nullopt);
    EXPECT_EQ(d->settings(), *s);
}

TEST(SettingsDialog, StoreAllGathersEditsFromSeveralPages) {
    auto s = sampleSettings();
    auto d = openDialog(*s);
    d->idPage.id.text = "42";
    choose(d->sampleRatePage.genRate, "96 kHz");
    d->syncPage.rows[0].priority = "9";
    d->aliveTimePage.value.text = "120";
    EXPECT_EQ(d->storeAll(), std::nullopt);
    EXPECT_EQ(d->settings().deviceId, 42);
    EXPECT_EQ(d->settings().genRate, 4);
    EXPECT_EQ(d->settings().syncPriority[0], 9);
    EXPECT_EQ(d->settings().aliveTime, 120);
    EXPECT_EQ(d->settings().systemDelay, 12);
}

TEST(SettingsDialog, StoreAllStopsAtTheFirstRefusingPage) {
    auto s = sampleSettings();
    auto d = openDialog(*s);
    d->idPage.id.text = "42";                         // fine
    d->lanPage.block.addresses[0].text = "1.2.3.999"; // refused
    d->systemDelayPage.value.text = "1000";           // refused too, but later
    const auto failure = d->storeAll();
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->page, CSettingsDialogLogic::kNetworkPage);
    EXPECT_FALSE(failure->error.message.empty());
    EXPECT_EQ(d->settings(), *s); // nothing gathered

    d->lanPage.block.addresses[0].text = "1.2.3.99";
    const auto second = d->storeAll();
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->page, CSettingsDialogLogic::kSystemDelayPage);
    EXPECT_EQ(d->settings(), *s);

    d->systemDelayPage.value.text = "64";
    EXPECT_EQ(d->storeAll(), std::nullopt);
    EXPECT_EQ(d->settings().deviceId, 42);
    EXPECT_EQ(d->settings().networkSettings.ipAddress.view(), "1.2.3.99");
    EXPECT_EQ(d->settings().systemDelay, 64);
}

TEST(SettingsDialog, StoreAllLeavesAnInactiveDantePageAlone) {
    auto s = sampleSettings();
    s->ipAudio.primary.macAddress.assign("");
    auto d = openDialog(*s);
    EXPECT_EQ(d->storeAll(), std::nullopt);
    EXPECT_EQ(d->settings().ipAudio, s->ipAudio);
}

TEST(SettingsDialog, PhdValuesAreNotGatheredWithoutPhdPorts) {
    auto s = sampleSettings();
    SettingsDialogInputs in = fullInputs();
    in.noPhd = true;
    auto d = openDialog(*s, in);
    EXPECT_EQ(d->storePage(CSettingsDialogLogic::kPhdPage), std::nullopt);
    EXPECT_EQ(d->storeAll(), std::nullopt);
    EXPECT_EQ(d->settings().phdMode, (std::array<std::int32_t, 3>{1, 2, 3}));
}

TEST(SettingsDialog, FileTextIgnoresPageEditsMadeAfterOpening) {
    auto s = sampleSettings();
    auto d = openDialog(*s);
    const std::string before = d->fileText();
    EXPECT_EQ(before, writeSettingsFile(*s));
    d->idPage.id.text = "55";
    d->idPage.name.text = "Edited";
    EXPECT_EQ(d->storePage(CSettingsDialogLogic::kIdPage), std::nullopt);
    EXPECT_EQ(d->fileText(), before);
    EXPECT_THAT(d->fileText(), HasSubstr("ID=7\r\n"));
}

TEST(SettingsDialog, AcceptedFileReplacesTheCopyAndReloadsThePages) {
    auto s = sampleSettings();
    auto other = sampleSettings();
    other->deviceId = 23;
    other->deviceName.assign("Remote B");
    other->genRate = 6;
    other->phdMode = {0, 1, 0};
    const std::string file = writeSettingsFile(*other);

    auto d = openDialog(*s);
    d->idPage.id.text = "55"; // an edit the load throws away
    EXPECT_EQ(d->storePage(CSettingsDialogLogic::kIdPage), std::nullopt);

    const auto outcome = d->loadFile(file, "remote.cfg");
    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.message, "");
    EXPECT_EQ(d->settings().deviceId, 23);
    EXPECT_EQ(d->idPage.id.text, "23");
    EXPECT_EQ(d->idPage.name.text, "Remote B");
    EXPECT_EQ(selectedText(d->sampleRatePage.genRate), "192 kHz");
    EXPECT_EQ(selectedText(d->phdPage.portConfig), "Primary and expansion");
    EXPECT_FALSE(d->phdPage.emulation2.enabled);
    EXPECT_EQ(d->title(), " Device settings for <Remote B> at 192.168.0.20");
    EXPECT_EQ(d->fileText(), file);

    EXPECT_EQ(d->storeAll(), std::nullopt); // the page values were replaced too
    EXPECT_EQ(d->settings().deviceId, 23);
}

TEST(SettingsDialog, RefusedFileChangesNothingAndSaysWhy) {
    auto s = sampleSettings();
    auto other = sampleSettings();
    other->deviceId = 23;
    std::string file = writeSettingsFile(*other);
    // Cut after the 62nd setting line, "MadiMod2OutDsdMode=".
    const auto at = file.find("MadiMod2OutDsdMode=");
    ASSERT_NE(at, std::string::npos);
    file.resize(file.find("\r\n", at) + 2);
    ASSERT_EQ(std::count(file.begin(), file.end(), '='), 62);

    auto d = openDialog(*s);
    d->idPage.id.text = "55"; // an edit in progress stays
    const auto outcome = d->loadFile(file, "old.cfg");
    EXPECT_FALSE(outcome.loaded);
    EXPECT_THAT(outcome.message, HasSubstr("old.cfg"));
    EXPECT_THAT(outcome.message, HasSubstr("62"));
    EXPECT_EQ(d->settings(), *s);
    EXPECT_EQ(d->idPage.id.text, "55");

    // One more line, whatever its value, makes the same file acceptable.
    const auto accepted = d->loadFile(file + "AesChnStMode=0\r\n", "old.cfg");
    EXPECT_TRUE(accepted.loaded);
    EXPECT_EQ(d->settings().deviceId, 23);
}

// A file with a value the pages would not take is refused whole: the
// dialog keeps what it had, edits in progress included.
TEST(SettingsDialog, AFileWithAWrongLineIsRefusedWhole) {
    auto s = sampleSettings();
    std::string file = writeSettingsFile(*s);
    const std::string name = "Name=Studio A\r\n";
    const auto at = file.find(name);
    ASSERT_NE(at, std::string::npos);
    file.replace(at, name.size(), "Name=Bad,Name\r\n");

    auto d = openDialog(*s);
    d->idPage.id.text = "55";
    const auto outcome = d->loadFile(file, "bad.cfg");
    EXPECT_FALSE(outcome.loaded);
    EXPECT_EQ(outcome.message, "bad.cfg was not loaded: 1 line is not what a device settings "
                               "file holds:\nline 4 (Name): holds a quote, comma or control "
                               "character\nThe settings in the dialog are unchanged.");
    EXPECT_EQ(d->settings(), *s);
    EXPECT_EQ(d->idPage.id.text, "55");
}

} // namespace
} // namespace velmar
