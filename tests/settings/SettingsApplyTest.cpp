#include "engine/SettingsApply.h"

#include "engine/CodeTables.h"
#include "protocol/RequestEncoder.h"
#include "settings/SettingsFile.h"

#include <array>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace velmar {
namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;

// The settings of a frame with everything fitted, as the frame reported them.
std::unique_ptr<DeviceSettings> frameSettings() {
    auto s = std::make_unique<DeviceSettings>();
    s->aliveTime = 30;
    s->systemDelay = 10;
    s->genRate = 2;
    s->rateAdaptSource = 1;
    s->wordClockOut = 1;
    s->deviceId = 7;
    s->deviceName.assign("Studio A");
    s->networkSettings.mode = 0;
    s->networkSettings.ipAddress.assign("192.168.0.20");
    s->networkSettings.subnetMask.assign("255.255.255.0");
    s->networkSettings.gateway.assign("192.168.0.1");
    s->networkSettings.macAddress.assign("0050C2AB0001");
    s->aesChannelStatus = 1;
    s->madiInMode[1] = {1, {1, 0, 0, 0, 0}};
    s->madiOutMode[1] = {1, {0, 1, 0, 1}, 1};
    s->phdMode = {1, 2, 3};
    s->optRedundancy = {0, 0};
    s->optMode[1] = {1, 1};
    s->optMode[2] = {2, 2};
    s->hotlinkInMode[2] = {2, 1};
    s->ipAudio.moduleName.assign("stage-left");
    s->ipAudio.primary.ipAddress.assign("10.0.0.5");
    s->ipAudio.primary.subnetMask.assign("255.0.0.0");
    s->ipAudio.primary.gateway.assign("10.0.0.1");
    s->ipAudio.primary.dns.assign("10.0.0.2");
    s->ipAudio.latency = 1000;
    s->syncPriority.fill(0);
    s->syncPriority[0] = 1;
    s->cards[1].cardType = kCardTypeSdi;
    s->cards[2].cardType = kCardTypeMadi;
    s->cards[2].cardMode = 1;
    s->cards[3].cardType = kCardTypeDa;
    s->cards[4].cardType = kCardTypeAd2;
    s->cards[5].cardType = kCardTypeAes;
    s->cards[6].cardType = kCardTypeAd;
    s->cards[7].cardType = kCardTypeEq;
    return s;
}

constexpr SettingsApplyContext kEverythingFitted{true, true, 0, 0, 2000};
constexpr SettingsApplyContext kNothingFitted{false, false, 0, 0, 0};
constexpr SettingsApplyContext kDanteLocked{true, true, 1, 0, 2000};
constexpr SettingsApplyContext kDanteInDomain{true, true, 0, 2, 2000};
constexpr SettingsApplyContext kDanteDomainReleased{true, true, 0, 3, 2000};

std::vector<std::string> linesOf(const SettingsApplyPlan& plan) {
    std::vector<std::string> lines;
    for (const DeviceMessage& m : plan.requests) {
        EXPECT_TRUE(m.isRequest());
        std::array<char, kEncodeBufferSize> buffer{};
        std::string line(buffer.data(), encodeMessage(m, buffer));
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

struct ApplyRow {
    const char* name;
    std::function<void(DeviceSettings&)> change;
    SettingsApplyContext context;
    std::vector<std::string> lines;
    ApplyResult result;
};

const std::vector<std::string> kSyncPriorityLines = {
    "&ssyncprio,2,1",  "&ssyncprio,3,0",  "&ssyncprio,4,0",  "&ssyncprio,5,0",  "&ssyncprio,6,0",
    "&ssyncprio,7,0",  "&ssyncprio,8,0",  "&ssyncprio,9,0",  "&ssyncprio,10,0", "&ssyncprio,11,0",
    "&ssyncprio,12,0", "&ssyncprio,13,0", "&ssyncprio,14,0", "&ssyncprio,15,0", "&ssyncprio,16,5",
    "&ssyncprio,17,0", "&ssyncprio,18,0"};

const ApplyRow kRows[] = {
    {"nothing changed", [](DeviceSettings&) {}, kEverythingFitted, {}, ApplyResult::NothingSent},
    {"alive time",
     [](DeviceSettings& s) { s.aliveTime = 45; },
     kEverythingFitted,
     {"&salivetime,45"},
     ApplyResult::Sent},
    {"system delay",
     [](DeviceSettings& s) { s.systemDelay = 64; },
     kEverythingFitted,
     {"&ssystemdelay,64"},
     ApplyResult::Sent},
    {"general sample rate",
     [](DeviceSettings& s) { s.genRate = 4; },
     kEverythingFitted,
     {"&sgenrate,4"},
     ApplyResult::Sent},
    {"adaption source",
     [](DeviceSettings& s) { s.rateAdaptSource = 18; },
     kEverythingFitted,
     {"&srateadptsrc,18"},
     ApplyResult::Sent},
    {"word clock out",
     [](DeviceSettings& s) { s.wordClockOut = 0; },
     kEverythingFitted,
     {"&swclkout,0"},
     ApplyResult::Sent},
    {"device name",
     [](DeviceSettings& s) { s.deviceName.assign("Studio B"); },
     kEverythingFitted,
     {"&sdevid,7,'Studio B'"},
     ApplyResult::Sent},
    {"device id",
     [](DeviceSettings& s) { s.deviceId = 8; },
     kEverythingFitted,
     {"&sdevid,8,'Studio A'"},
     ApplyResult::Sent},
    {"gateway",
     [](DeviceSettings& s) { s.networkSettings.gateway.assign("192.168.0.254"); },
     kEverythingFitted,
     {"&sip,0,'192.168.0.20','255.255.255.0','192.168.0.254'"},
     ApplyResult::NetworkSent},
    {"dhcp",
     [](DeviceSettings& s) {
         s.networkSettings.mode = 1;
         s.networkSettings.ipAddress.assign("0.0.0.0");
         s.networkSettings.subnetMask.assign("0.0.0.0");
         s.networkSettings.gateway.assign("0.0.0.0");
     },
     kEverythingFitted,
     {"&sip,1,'0.0.0.0','0.0.0.0','0.0.0.0'"},
     ApplyResult::NetworkSent},
    {"mac alone is not sent",
     [](DeviceSettings& s) { s.networkSettings.macAddress.assign("X"); },
     kEverythingFitted,
     {},
     ApplyResult::NothingSent},
    {"aes channel status",
     [](DeviceSettings& s) { s.aesChannelStatus = 0; },
     kEverythingFitted,
     {"&saeschstat,0"},
     ApplyResult::Sent},
    {"madi coax dsd mode",
     [](DeviceSettings& s) { s.madiOutMode[1].dsdMode = 0; },
     kEverythingFitted,
     {"&smadiinmode,1,1", "&smadioutmode,1,1,0,1", "&smadidsdmode,1,0"},
     ApplyResult::Sent},
    {"madi coax legacy frame",
     [](DeviceSettings& s) { s.madiOutMode[1].modes[2] = 1; },
     kEverythingFitted,
     {"&smadiinmode,1,1", "&smadioutmode,1,1,1,1", "&smadidsdmode,1,1"},
     ApplyResult::Sent},
    {"phd",
     [](DeviceSettings& s) { s.phdMode[0] = 0; },
     kEverythingFitted,
     {"&sphdmode,0,2,3"},
     ApplyResult::Sent},
    {"optional module not fitted",
     [](DeviceSettings& s) {
         s.optMode[1].value = 2;
         s.optRedundancy = {1, 1};
         s.hotlinkInMode[1].value = 1;
     },
     kNothingFitted,
     {},
     ApplyResult::NothingSent},
    {"redundancy",
     [](DeviceSettings& s) {
         s.optRedundancy = {1, 2};
     },
     kEverythingFitted,
     {"&soptred,1,2"},
     ApplyResult::Sent},
    {"module 1 mode",
     [](DeviceSettings& s) { s.optMode[1].value = 0; },
     kEverythingFitted,
     {"&soptmode,1,0"},
     ApplyResult::Sent},
    {"module 2 mode",
     [](DeviceSettings& s) { s.optMode[2].value = 1; },
     kEverythingFitted,
     {"&soptmode,2,1"},
     ApplyResult::Sent},
    {"module 2 under redundancy",
     [](DeviceSettings& s) {
         s.optRedundancy = {1, 0};
         s.optMode[2].value = 1;
         s.madiInMode[3].values[0] = 1;
         s.hotlinkOutMode[2].value = 1;
     },
     kEverythingFitted,
     {"&soptred,1,0"},
     ApplyResult::Sent},
    {"module 1 madi",
     [](DeviceSettings& s) { s.madiInMode[2].values[0] = 1; },
     kEverythingFitted,
     {"&smadiinmode,2,1", "&smadioutmode,2,0,0,0", "&smadidsdmode,2,0"},
     ApplyResult::Sent},
    {"module 2 madi",
     [](DeviceSettings& s) { s.madiOutMode[3].modes[3] = 1; },
     kEverythingFitted,
     {"&smadiinmode,3,0", "&smadioutmode,3,0,0,1", "&smadidsdmode,3,0"},
     ApplyResult::Sent},
    {"module 2 hotlink",
     [](DeviceSettings& s) { s.hotlinkOutMode[2].value = 1; },
     kEverythingFitted,
     {"&shlinkinmode,2,1", "&shlinkoutmode,2,1"},
     ApplyResult::Sent},
    {"dante not fitted",
     [](DeviceSettings& s) {
         s.ipAudio.moduleName.assign("x");
         s.ipAudio.latency = 500;
     },
     kNothingFitted,
     {},
     ApplyResult::NothingSent},
    {"dante name",
     [](DeviceSettings& s) { s.ipAudio.moduleName.assign("stage-right"); },
     kEverythingFitted,
     {"&sbkname,'stage-right'"},
     ApplyResult::Sent},
    {"dante primary",
     [](DeviceSettings& s) { s.ipAudio.primary.dns.assign("10.0.0.3"); },
     kEverythingFitted,
     {"&sbkip,0,'10.0.0.5','255.0.0.0','10.0.0.1','10.0.0.3'"},
     ApplyResult::NetworkSent},
    {"dante primary mac alone",
     [](DeviceSettings& s) { s.ipAudio.primary.macAddress.assign("1"); },
     kEverythingFitted,
     {},
     ApplyResult::NothingSent},
    {"dante switch mode",
     [](DeviceSettings& s) { s.ipAudio.switchMode = 1; },
     kEverythingFitted,
     {"&sswmodeip,1"},
     ApplyResult::NetworkSent},
    {"dante secondary",
     [](DeviceSettings& s) { s.ipAudio.secondary.mode = 1; },
     kEverythingFitted,
     {"&sbksecip,1,'','','',''"},
     ApplyResult::NetworkSent},
    {"dante sample rate control",
     [](DeviceSettings& s) { s.ipAudio.sampleRateEnable = 1; },
     kEverythingFitted,
     {"&ssrenaip,1"},
     ApplyResult::Sent},
    {"dante preferred master",
     [](DeviceSettings& s) { s.ipAudio.preferredMaster = 1; },
     kEverythingFitted,
     {"&sprefmastip,'stage-left',1"},
     ApplyResult::Sent},
    {"dante latency",
     [](DeviceSettings& s) { s.ipAudio.latency = 400; },
     kEverythingFitted,
     {"&sperformip,'stage-left',4,400"},
     ApplyResult::Sent},
    {"dante latency beyond the maximum",
     [](DeviceSettings& s) { s.ipAudio.latency = 5000; },
     kEverythingFitted,
     {"&sperformip,'stage-left',32,2000"},
     ApplyResult::Sent},
    {"unnamed module is localhost",
     [](DeviceSettings& s) {
         s.ipAudio.moduleName.clear();
         s.ipAudio.preferredMaster = 1;
     },
     kEverythingFitted,
     {"&sbkname,''", "&sprefmastip,'localhost',1"},
     ApplyResult::Sent},
    {"renamed module is addressed by its new name",
     [](DeviceSettings& s) {
         s.ipAudio.moduleName.assign("new");
         s.ipAudio.latency = 1500;
     },
     kEverythingFitted,
     {"&sbkname,'new'", "&sperformip,'new',16,1500"},
     ApplyResult::Sent},
    {"locked dante is read back",
     [](DeviceSettings& s) {
         s.ipAudio.moduleName.assign("new");
         s.ipAudio.primary.mode = 1;
         s.ipAudio.switchMode = 1;
         s.ipAudio.secondary.dns.assign("1.1.1.1");
         s.ipAudio.sampleRateEnable = 1;
         s.ipAudio.preferredMaster = 1;
         s.ipAudio.latency = 250;
     },
     kDanteLocked,
     {"?gbkname", "?gbkip", "?gswmodeip", "?gbksecip", "?gsrenaip", "?gprefmastip,'stage-left'",
      "?gframeip,'stage-left'", "?glatencyip,'stage-left'"},
     ApplyResult::NothingSent},
    {"dante in a domain is read back",
     [](DeviceSettings& s) { s.ipAudio.latency = 250; },
     kDanteInDomain,
     {"?gframeip,'stage-left'", "?glatencyip,'stage-left'"},
     ApplyResult::NothingSent},
    {"dante read back does not hide other changes",
     [](DeviceSettings& s) {
         s.ipAudio.primary.mode = 1;
         s.syncTerm = 1;
     },
     kDanteInDomain,
     {"?gbkip", "&ssyncterm,1"},
     ApplyResult::Sent},
    {"dante domain released",
     [](DeviceSettings& s) { s.ipAudio.sampleRateEnable = 1; },
     kDanteDomainReleased,
     {"&ssrenaip,1"},
     ApplyResult::Sent},
    {"one sync priority sends all", [](DeviceSettings& s) { s.syncPriority[14] = 5; },
     kEverythingFitted, kSyncPriorityLines, ApplyResult::Sent},
    {"sync termination",
     [](DeviceSettings& s) { s.syncTerm = 1; },
     kEverythingFitted,
     {"&ssyncterm,1"},
     ApplyResult::Sent},
    {"sdi group 3 mode",
     [](DeviceSettings& s) { s.cards[1].channels[2].embedMode[3] = 1; },
     kEverythingFitted,
     {"&sembmode,1,2,3,1"},
     ApplyResult::Sent},
    {"sdi port values",
     [](DeviceSettings& s) {
         s.cards[1].channels[1].embedderEnable = 1;
         s.cards[1].channels[1].txSourceRate = 2;
         s.cards[1].channels[1].rxSourceEnable[4] = 1;
     },
     kEverythingFitted,
     {"&sembena,1,1,1", "&stxsrcrate,1,1,2", "&srxsrcena,1,1,4,1"},
     ApplyResult::Sent},
    {"madi card to hotlink",
     [](DeviceSettings& s) { s.cards[2].cardMode = 2; },
     kEverythingFitted,
     {"&scifmode,2,2", "&schlinkinmode,2,0", "&schlinkoutmode,2,0"},
     ApplyResult::Sent},
    {"madi card port 2",
     [](DeviceSettings& s) {
         s.cards[2].channels[2].madiOutMode = {1, 0, 1};
     },
     kEverythingFitted,
     {"&scmadioutmode,2,2,1,0,1"},
     ApplyResult::Sent},
    {"madi card port 2 under redundancy",
     [](DeviceSettings& s) {
         s.cards[2].cardRedundancy = 1;
         s.cards[2].channels[2].madiInMode = 1;
     },
     kEverythingFitted,
     {"&scifred,2,1,0"},
     ApplyResult::Sent},
    {"madi card level values only",
     [](DeviceSettings& s) {
         s.cards[2].channels[1].madiRxSourceEnable = 1;
         s.cards[2].channels[1].madiDsdMode = 1;
     },
     kEverythingFitted,
     {"&scmadirxsrcena,2,1,1", "&scmadidsdmode,2,1,1"},
     ApplyResult::Sent},
    {"da mute and filter",
     [](DeviceSettings& s) {
         s.cards[3].channels[2].daMute = 1;
         s.cards[3].channels[1].daMute = 1;
         s.cards[3].channels[1].dsdFilter = 1;
         s.cards[3].channels[2].dsdFilter = 1;
     },
     kEverythingFitted,
     {"&sdamute,3,1,1", "&sdadsdfilter,3,1", "&sdamute,3,2,1"},
     ApplyResult::Sent},
    {"da level is never sent",
     [](DeviceSettings& s) {
         s.cards[3].channels[1].outputLevel = {false, 6, 0};
     },
     kEverythingFitted,
     {},
     ApplyResult::NothingSent},
    {"two-channel ad card",
     [](DeviceSettings& s) {
         s.cards[4].channels[2].phase = 1;
         s.cards[4].channels[3].phase = 1;
     },
     kEverythingFitted,
     {"&sadphase,4,2,1"},
     ApplyResult::Sent},
    {"ad card",
     [](DeviceSettings& s) {
         s.cards[6].channels[8].inputMode = 1;
         s.cards[6].channels[8].adMute = 1;
         s.cards[6].channels[8].phantomPower = 1;
     },
     kEverythingFitted,
     {"&sadinpmode,6,8,1", "&sadmute,6,8,1", "&sadphanpow,6,8,1"},
     ApplyResult::Sent},
    {"aes card",
     [](DeviceSettings& s) { s.cards[5].channels[7].aesRxSourceEnable = 1; },
     kEverythingFitted,
     {"&saesrxsrcena,5,7,1"},
     ApplyResult::Sent},
    {"eq card has nothing to send",
     [](DeviceSettings& s) { s.cards[7].channels[1].dsdFilter = 1; },
     kEverythingFitted,
     {},
     ApplyResult::NothingSent},
};

TEST(SettingsApply, SendsExactlyTheChangedGroup) {
    const auto before = frameSettings();
    for (const ApplyRow& row : kRows) {
        auto after = std::make_unique<DeviceSettings>(*before);
        row.change(*after);
        const SettingsApplyPlan plan = planSettingsApply(*before, *after, row.context);
        EXPECT_THAT(linesOf(plan), ElementsAreArray(row.lines)) << row.name;
        EXPECT_EQ(plan.result, row.result) << row.name;
    }
}

TEST(SettingsApply, GroupsGoOutInTheirOrder) {
    const auto before = frameSettings();
    auto after = std::make_unique<DeviceSettings>(*before);
    // Changed in reverse order of sending.
    after->cards[5].channels[1].aesRxSourceEnable = 1;
    after->syncTerm = 1;
    after->ipAudio.sampleRateEnable = 1;
    after->optMode[1].value = 2;
    after->phdMode[2] = 0;
    after->madiInMode[1].values[0] = 0;
    after->aesChannelStatus = 0;
    after->networkSettings.mode = 1;
    after->deviceId = 9;
    after->wordClockOut = 0;
    after->rateAdaptSource = 3;
    after->genRate = 1;
    after->systemDelay = 0;
    after->aliveTime = 0;
    const SettingsApplyPlan plan = planSettingsApply(*before, *after, kEverythingFitted);
    EXPECT_THAT(linesOf(plan),
                ElementsAre("&salivetime,0", "&ssystemdelay,0", "&sgenrate,1", "&srateadptsrc,3",
                            "&swclkout,0", "&sdevid,9,'Studio A'",
                            "&sip,1,'192.168.0.20','255.255.255.0','192.168.0.1'", "&saeschstat,0",
                            "&smadiinmode,1,0", "&smadioutmode,1,1,0,1", "&smadidsdmode,1,1",
                            "&sphdmode,1,2,0", "&soptmode,1,2", "&ssrenaip,1", "&ssyncterm,1",
                            "&saesrxsrcena,5,1,1"));
    EXPECT_EQ(plan.result, ApplyResult::NetworkSent) << "a later group does not lower the result";
}

TEST(SettingsApply, CardsGoOutSlotBySlot) {
    const auto before = frameSettings();
    auto after = std::make_unique<DeviceSettings>(*before);
    after->cards[6].channels[1].adMute = 1;
    after->cards[1].channels[1].embedderEnable = 1;
    after->cards[3].channels[8].daMute = 1;
    EXPECT_THAT(linesOf(planSettingsApply(*before, *after, kNothingFitted)),
                ElementsAre("&sembena,1,1,1", "&sdamute,3,8,1", "&sadmute,6,1,1"));
}

TEST(SettingsApply, AFileFromAnotherFrameRenamesAndReaddressesThisOne) {
    const auto here = frameSettings();
    auto other = std::make_unique<DeviceSettings>(*here);
    other->deviceId = 3;
    other->deviceName.assign("Truck 2");
    other->networkSettings.ipAddress.assign("192.168.0.30");
    other->networkSettings.macAddress.assign("0050C2AB0099");
    const SettingsFileContent read = readSettingsFile(writeSettingsFile(*other), *here);
    ASSERT_TRUE(read.accepted());
    const SettingsApplyPlan plan = planSettingsApply(*here, read.settings, kEverythingFitted);
    EXPECT_THAT(linesOf(plan), ElementsAre("&sdevid,3,'Truck 2'",
                                           "&sip,0,'192.168.0.30','255.255.255.0','192.168.0.1'"));
    EXPECT_EQ(plan.result, ApplyResult::NetworkSent) << "the restart question follows";

    // The same file loaded again changes nothing more.
    const SettingsApplyPlan again = planSettingsApply(
        read.settings, readSettingsFile(writeSettingsFile(*other), read.settings).settings,
        kEverythingFitted);
    EXPECT_TRUE(again.requests.empty());
    EXPECT_EQ(again.result, ApplyResult::NothingSent);
}

TEST(SettingsApply, LatencyAndPacketSize) {
    struct Row {
        std::int32_t latency;
        std::int32_t maxLatency;
        PerformValues expected;
    };
    const Row rows[] = {
        {0, 5000, {250, 4}},      {249, 5000, {250, 4}},    {249, 0, {250, 4}},
        {250, 5000, {250, 4}},    {499, 5000, {499, 4}},    {500, 5000, {500, 8}},
        {999, 5000, {999, 8}},    {1000, 5000, {1000, 16}}, {1999, 5000, {1999, 16}},
        {2000, 5000, {2000, 32}}, {5000, 5000, {5000, 32}}, {5000, 1500, {1500, 16}},
        {800, 0, {1000, 4}},      {800, 300, {300, 4}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(performValues(r.latency, r.maxLatency), r.expected)
            << r.latency << " with maximum " << r.maxLatency;
}

TEST(SettingsApply, ContextFromTheState) {
    DeviceState state;
    EXPECT_EQ(settingsApplyContext(state).sfpPresent, false);
    state.settings.hwConf[kModuleSfp].present = 1;
    state.settings.hwConf[kModuleIpAudio].present = 1;
    state.live.bkLock = 0;
    state.live.bkDomain = {0, 0, 2};
    state.live.maxLatency = 3000;
    const SettingsApplyContext c = settingsApplyContext(state);
    EXPECT_TRUE(c.sfpPresent);
    EXPECT_TRUE(c.ipModulePresent);
    EXPECT_EQ(c.maxLatency, 3000);
    EXPECT_FALSE(danteConfigurable(c)) << "domain state 2";
    EXPECT_TRUE(danteConfigurable({true, true, 0, 0, 0}));
    EXPECT_TRUE(danteConfigurable({true, true, 0, 3, 0}));
    EXPECT_FALSE(danteConfigurable({true, true, 0, 1, 0}));
    EXPECT_FALSE(danteConfigurable({true, true, 5, 0, 0}));
}

} // namespace
} // namespace velmar

namespace velmar {
namespace {

// Replies that came in while the dialog was open (a card's report, a
// relabelled channel) are not undone by the copy the dialog was opened with;
// what the pages edit is taken from the dialog.
TEST(SettingsAfterApply, KeepsWhatOnlyTheFrameReports) {
    const auto opened = frameSettings();
    auto current = std::make_unique<DeviceSettings>(*opened);
    current->hwConf[11].present = 1;
    current->hwConf[11].boardCode.assign("460230A   230115");
    current->inputLabels[5].assign("Vocal");
    current->cards[2].channels[1].daMute = 1; // the card poll answered late
    current->networkSettings.macAddress.assign("0050C2000099");
    auto edited = std::make_unique<DeviceSettings>(*opened);
    edited->systemDelay = 21;
    edited->deviceName.assign("Renamed");
    edited->cards[6].channels[3].adMute = 1; // edited on the card page

    const auto next =
        std::make_unique<DeviceSettings>(settingsAfterApply(*current, *opened, *edited));
    EXPECT_EQ(next->systemDelay, 21);
    EXPECT_EQ(next->deviceName.view(), "Renamed");
    EXPECT_EQ(next->hwConf, current->hwConf);
    EXPECT_EQ(next->inputLabels[5].view(), "Vocal");
    EXPECT_EQ(next->cards[2], current->cards[2]);
    EXPECT_EQ(next->cards[6], edited->cards[6]);
    EXPECT_EQ(next->networkSettings.macAddress.view(), "0050C2000099");
    // Only the edits go out; the card the frame reported is not sent back.
    EXPECT_THAT(linesOf(planSettingsApply(*current, *next, kEverythingFitted)),
                ElementsAre("&ssystemdelay,21", "&sdevid,7,'Renamed'", "&sadmute,6,3,1"));
}

} // namespace
} // namespace velmar
