#include "engine/Crosspoints.h"

#include "CrosspointFakes.h"
#include "engine/CodeTables.h"
#include "engine/XyBurst.h"

#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmar {
namespace {

using test::FrameState;
using test::scross;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> texts(const std::vector<TypeEntry>& list) {
    std::vector<std::string> out;
    for (const TypeEntry& e : list)
        out.push_back(e.text + "=" + std::to_string(e.type));
    return out;
}

// ---- type choosers ----------------------------------------------------------

struct TypeRow {
    const char* name;
    int family;
    std::function<void(FrameState&)> setup;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
};

TEST(CrosspointTypeLists, PortsAndCardsPerSide) {
    const auto allCards = [](FrameState& f) {
        f.card(1, kCardTypeSdi);
        f.card(2, kCardTypeAd);
        f.card(3, kCardTypeDa);
        f.card(4, kCardTypeAes);
        f.card(5, kCardTypeMadi, 0); // no ports without a mode
        f.card(6, kCardTypeMadi, 1);
        f.card(7, kCardTypeAd2);
        f.card(8, kCardTypeEq);
    };
    const std::vector<TypeRow> rows = {
        {"bare 461",
         kFamily461,
         [](FrameState&) {},
         {"AES=8", "PHD=9", "MADI=10"},
         {"AES=8", "PHD=9", "MADI=10"}},
        {"main board without PHD",
         kFamily461,
         [](FrameState& f) { f.s.settings.hwConf[kModuleMainBoard].boardCode.assign("460201"); },
         {"AES=8", "MADI=10"},
         {"AES=8", "MADI=10"}},
        {"SFP hotlink and MADI, IP module",
         kFamily461,
         [](FrameState& f) {
             f.fit(kModuleSfp);
             f.fit(kModuleIpAudio);
             f.s.settings.optMode[1].value = 2;
             f.s.settings.optMode[2].value = 1;
         },
         {"AES=8", "PHD=9", "MADI=10", "SFP 1 - HOTLINK=11", "SFP 2 - MADI=12", "IP=13"},
         {"AES=8", "PHD=9", "MADI=10", "SFP 1 - HOTLINK=11", "SFP 2 - MADI=12", "IP=13"}},
        {"SFP 2 redundant copy of SFP 1",
         kFamily461,
         [](FrameState& f) {
             f.fit(kModuleSfp);
             f.s.settings.optMode[1].value = 1;
             f.s.settings.optMode[2].value = 1;
             f.s.settings.optRedundancy[0] = 1;
         },
         {"AES=8", "PHD=9", "MADI=10", "SFP 1 - MADI=11"},
         {"AES=8", "PHD=9", "MADI=10", "SFP 1 - MADI=11"}},
        {"SFP modes without the SFP module",
         kFamily461,
         [](FrameState& f) { f.s.settings.optMode[1].value = 1; },
         {"AES=8", "PHD=9", "MADI=10"},
         {"AES=8", "PHD=9", "MADI=10"}},
        {"460 with every card type",
         kFamily460,
         allCards,
         {"AES=8", "PHD=9", "MADI=10", "CARD1   - SDI=0", "CARD2   - AD=1", "CARD4   - AES=3",
          "CARD6   - MADI=5", "CARD7   - AD=6", "CARD8   - EQ=7"},
         {"AES=8", "PHD=9", "MADI=10", "CARD1   - SDI=0", "CARD3   - DA=2", "CARD4   - AES=3",
          "CARD6   - MADI=5", "CARD8   - EQ=7"}},
        {"461 never lists cards",
         kFamily461,
         allCards,
         {"AES=8", "PHD=9", "MADI=10"},
         {"AES=8", "PHD=9", "MADI=10"}},
        {"465 has no matrix", kFamily465, allCards, {}, {}},
        {"450 has no matrix", kFamily450, allCards, {}, {}},
    };
    for (const TypeRow& r : rows) {
        SCOPED_TRACE(r.name);
        FrameState f(r.family);
        r.setup(f);
        EXPECT_EQ(texts(typeListFor(f.s, kSideInput)), r.inputs);
        EXPECT_EQ(texts(typeListFor(f.s, kSideOutput)), r.outputs);
    }
}

// ---- channel lists ----------------------------------------------------------

struct ChannelRow {
    const char* name;
    std::function<void(FrameState&)> setup;
    int side;
    int type;
    bool stereo;
    std::size_t count;
    // entries checked by index: {index, text, channel}
    std::vector<std::tuple<std::size_t, std::string, int>> probes;
};

TEST(CrosspointChannelLists, EveryPortTypeMonoAndStereo) {
    const auto none = [](FrameState&) {};
    const auto phdTwo = [](FrameState& f) { f.s.settings.phdMode[0] = 1; };
    const auto madi64 = [](FrameState& f) { f.s.settings.madiOutMode[1].modes[3] = 1; };
    const auto sfpHotlink = [](FrameState& f) { f.s.settings.optMode[1].value = 2; };
    const auto sfp2Madi = [](FrameState& f) { f.s.settings.optMode[2].value = 1; };
    const auto flows = [](FrameState& f) {
        f.fit(kModuleIpAudio);
        f.s.live.txFlows[3].flow = 3;
        f.s.live.txFlowSlots[3][1] = {3, 1, 5};
        f.s.live.rxFlows[2].flow = 2;
        f.s.live.rxFlowSlots[2][0] = {2, 0, 9};
        f.s.live.txFlowSlots[4][0] = {4, 0, 6}; // flow 4 itself is gone
    };
    const std::vector<ChannelRow> rows = {
        {"AES mono",
         none,
         kSideInput,
         kPortTypeAes,
         false,
         16,
         {{0, "AES  01", 513}, {15, "AES  16", 528}}},
        {"AES stereo",
         none,
         kSideOutput,
         kPortTypeAes,
         true,
         8,
         {{0, "AES  01  L+R", 513}, {7, "AES  08  L+R", 527}}},
        {"PHD single",
         none,
         kSideInput,
         kPortTypePhd,
         false,
         16,
         {{0, "PHD  01", 529}, {15, "PHD  16", 544}}},
        {"PHD two ports",
         phdTwo,
         kSideInput,
         kPortTypePhd,
         false,
         64,
         {{0, "PHD1  01", 529}, {32, "PHD2  01", 561}, {63, "PHD2  32", 592}}},
        {"PHD two ports stereo",
         phdTwo,
         kSideInput,
         kPortTypePhd,
         true,
         32,
         {{15, "PHD1  16  L+R", 559}, {16, "PHD2  01  L+R", 561}}},
        {"MADI inputs", none, kSideInput, kPortTypeMadi, false, 64, {{63, "MADI  64", 656}}},
        {"MADI outputs, 56 channels",
         none,
         kSideOutput,
         kPortTypeMadi,
         false,
         56,
         {{55, "MADI  56", 648}}},
        {"MADI outputs, 64 channels",
         madi64,
         kSideOutput,
         kPortTypeMadi,
         false,
         64,
         {{63, "MADI  64", 656}}},
        {"SFP 1 hotlink mono, three digits",
         sfpHotlink,
         kSideInput,
         kPortTypeSfp1,
         false,
         128,
         {{0, "CHN  001", 657}, {127, "CHN  128", 784}}},
        {"SFP 1 hotlink stereo, two digits",
         sfpHotlink,
         kSideInput,
         kPortTypeSfp1,
         true,
         64,
         {{0, "CHN  01  L+R", 657}, {63, "CHN  64  L+R", 783}}},
        {"SFP 2 MADI outputs, 56 channels",
         sfp2Madi,
         kSideOutput,
         kPortTypeSfp2,
         false,
         56,
         {{0, "CHN  01", 785}, {55, "CHN  56", 840}}},
        {"SFP port switched off", none, kSideInput, kPortTypeSfp1, false, 0, {}},
        {"IP outputs carry transmit flows",
         flows,
         kSideOutput,
         kPortTypeIp,
         false,
         64,
         {{4, "IP  05  -  Flow 3-2", 917}, {5, "IP  06", 918}, {8, "IP  09", 921}}},
        {"IP inputs carry receive flows",
         flows,
         kSideInput,
         kPortTypeIp,
         false,
         64,
         {{4, "IP  05", 917}, {8, "IP  09  -  Flow 2-1", 921}}},
        {"IP stereo",
         flows,
         kSideOutput,
         kPortTypeIp,
         true,
         32,
         {{2, "IP  03  L+R  -  Flow 3-2", 917}, {3, "IP  04  L+R", 919}}},
        {"SDI card",
         [](FrameState& f) { f.card(2, kCardTypeSdi); },
         kSideInput,
         1,
         false,
         32,
         {{0, "CARD2  01", 65}, {31, "CARD2  32", 96}}},
        {"AD card has no outputs",
         [](FrameState& f) { f.card(1, kCardTypeAd); },
         kSideOutput,
         0,
         false,
         0,
         {}},
        {"DA card outputs",
         [](FrameState& f) { f.card(1, kCardTypeDa); },
         kSideOutput,
         0,
         false,
         8,
         {{7, "CARD1  08", 8}}},
        {"AD two-channel",
         [](FrameState& f) { f.card(3, kCardTypeAd2); },
         kSideInput,
         2,
         false,
         2,
         {{1, "CARD3  02", 130}}},
        {"MADI card in mode 0",
         [](FrameState& f) { f.card(1, kCardTypeMadi, 0); },
         kSideInput,
         0,
         false,
         0,
         {}},
        {"MADI card, redundant",
         [](FrameState& f) { f.card(1, kCardTypeMadi, 1, 1); },
         kSideInput,
         0,
         false,
         64,
         {{63, "CARD1  64", 64}}},
        {"MADI card without redundancy: second block at 1025",
         [](FrameState& f) { f.card(1, kCardTypeMadi, 1, 0); },
         kSideInput,
         0,
         false,
         128,
         {{0, "CARD1  001", 1},
          {63, "CARD1  064", 64},
          {64, "CARD1  065", 1025},
          {127, "CARD1  128", 1088}}},
        {"MADI card hotlink stereo: second block from pair 33",
         [](FrameState& f) { f.card(2, kCardTypeMadi, 2, 1); },
         kSideOutput,
         1,
         true,
         64,
         {{0, "CARD2  001  L+R", 65},
          {32, "CARD2  033  L+R", 1089},
          {63, "CARD2  064  L+R", 1151}}},
        {"EQ card",
         [](FrameState& f) { f.card(8, kCardTypeEq); },
         kSideOutput,
         7,
         false,
         128,
         {{0, "CARD8  001", 449}, {64, "CARD8  065", 1473}, {127, "CARD8  128", 1536}}},
    };
    for (const ChannelRow& r : rows) {
        SCOPED_TRACE(r.name);
        FrameState f(kFamily460);
        r.setup(f);
        const std::vector<ChannelEntry> list = channelListFor(f.s, r.side, r.type, r.stereo);
        ASSERT_EQ(list.size(), r.count);
        for (const auto& [index, text, channel] : r.probes) {
            EXPECT_EQ(list[index].text, text);
            EXPECT_EQ(list[index].channel, channel);
        }
    }
    FrameState unit(kFamily450);
    EXPECT_THAT(channelListFor(unit.s, kSideInput, kPortTypeAes, false), IsEmpty());
}

// ---- control panel ----------------------------------------------------------

struct PanelRig : test::CrosspointRigBase {
    CCrosspointPanel panel{f.s, sink, questions, burst};

    PanelRig() {
        f.card(1, kCardTypeSdi);
        f.card(8, kCardTypeEq);
        panel.rebuildTypeLists();
    }
    int typeRow(int side, int type) const {
        const auto& list = panel.typeList(side);
        for (std::size_t k = 0; k < list.size(); ++k)
            if (list[k].type == type)
                return static_cast<int>(k);
        return -1;
    }
    void show(int side, int type) { panel.selectType(side, typeRow(side, type)); }
};

TEST(CrosspointPanel, RebuildSelectsTheFirstTypeAndFillsAes) {
    PanelRig rig;
    for (int side : {kSideInput, kSideOutput}) {
        EXPECT_EQ(rig.panel.selectedTypeRow(side), 0);
        EXPECT_EQ(rig.panel.selectedType(side), kPortTypeAes);
        ASSERT_EQ(rig.panel.channelList(side).size(), 16u);
    }
    rig.show(kSideOutput, 0);
    rig.panel.setStereo(true); // both lists follow the choice
    EXPECT_EQ(rig.panel.channelList(kSideInput).size(), 8u);
    EXPECT_EQ(rig.panel.channelList(kSideOutput).front().text, "CARD1  01  L+R");
    EXPECT_FALSE(rig.panel.refreshIpLists(kSideOutput));

    rig.f.s.family = kFamily465;
    rig.panel.rebuildTypeLists();
    EXPECT_THAT(rig.panel.typeList(kSideInput), IsEmpty());
    EXPECT_THAT(rig.panel.channelList(kSideOutput), IsEmpty());
    EXPECT_EQ(rig.panel.selectedType(kSideOutput), -1);
}

TEST(CrosspointPanel, IpListFollowsTheFlows) {
    PanelRig rig;
    rig.f.fit(kModuleIpAudio);
    rig.panel.rebuildTypeLists();
    rig.show(kSideOutput, kPortTypeIp);
    EXPECT_EQ(rig.panel.channelList(kSideOutput)[0].text, "IP  01");
    rig.f.s.live.txFlows[1].flow = 1;
    rig.f.s.live.txFlowSlots[1][0] = {1, 0, 1};
    EXPECT_FALSE(rig.panel.refreshIpLists(kSideInput)); // the input side shows AES
    EXPECT_TRUE(rig.panel.refreshIpLists(kSideOutput));
    EXPECT_EQ(rig.panel.channelList(kSideOutput)[0].text, "IP  01  -  Flow 1-1");
}

struct ConnectRow {
    const char* name;
    bool stereo;
    int inputType;
    std::vector<int> inputRows;
    int outputType;
    std::vector<int> outputRows;
    std::vector<std::string> sent;
    bool frame1536 = false;
};

TEST(CrosspointPanel, ConnectPairsSelections) {
    const std::vector<ConnectRow> rows = {
        {"stereo: one input 513 to outputs 1 and 3",
         true,
         kPortTypeAes,
         {0},
         0,
         {0, 1},
         {scross(1, 513), scross(2, 514), scross(3, 513), scross(4, 514)}},
        {"one input feeds every output",
         false,
         kPortTypeAes,
         {2},
         0,
         {0, 5, 9},
         {scross(1, 515), scross(6, 515), scross(10, 515)}},
        {"three inputs and two outputs route two pairs",
         false,
         kPortTypeAes,
         {0, 1, 2},
         0,
         {4, 5},
         {scross(5, 513), scross(6, 514)}},
        {"two inputs and three outputs route two pairs",
         false,
         kPortTypeAes,
         {3, 4},
         0,
         {0, 1, 2},
         {scross(1, 516), scross(2, 517)}},
        {"no input, nothing", false, kPortTypeAes, {}, 0, {0, 1}, {}},
        {"no output, nothing", false, kPortTypeAes, {0}, 0, {}, {}},
        {"output 1536 on a 1024 frame is skipped", false, kPortTypeAes, {0}, 7, {126, 127}, {}},
        {"output 1536 on a 1536 frame",
         false,
         kPortTypeAes,
         {0},
         7,
         {127},
         {scross(1536, 513)},
         true},
        {"input above the count is skipped, the other pair goes",
         false,
         7,
         {127, 0},
         kPortTypeAes,
         {0, 1},
         {scross(514, 449)}},
        {"rows outside the list are ignored",
         false,
         kPortTypeAes,
         {0, 99},
         0,
         {0, 99},
         {scross(1, 513)}},
    };
    for (const ConnectRow& r : rows) {
        SCOPED_TRACE(r.name);
        PanelRig rig;
        if (r.frame1536)
            rig.f.make1536();
        rig.panel.setStereo(r.stereo);
        rig.show(kSideInput, r.inputType);
        rig.show(kSideOutput, r.outputType);
        const int sent = rig.panel.connectSelected(r.inputRows, r.outputRows);
        EXPECT_EQ(rig.sink.lines, r.sent);
        EXPECT_EQ(sent, static_cast<int>(r.sent.size()));
        EXPECT_THAT(rig.questions.asked, IsEmpty());
        // An empty side is said in the status bar; what the Part skips quietly stays quiet.
        const bool emptySide = r.inputRows.empty() || r.outputRows.empty();
        EXPECT_EQ(rig.panel.notice().empty(), !emptySide) << rig.panel.notice();
    }
    PanelRig rig;
    rig.panel.connectSelected({}, {});
    EXPECT_EQ(rig.panel.notice(), "Connect: select an input and the outputs it should feed");
    rig.panel.connectSelected({}, std::vector<int>{0});
    EXPECT_EQ(rig.panel.notice(), "Connect: select the input that should feed the outputs");
    rig.panel.connectSelected(std::vector<int>{0}, {});
    EXPECT_EQ(rig.panel.notice(), "Connect: select the outputs the input should feed");
}

TEST(CrosspointPanel, OnlyTheFirst1024SelectedEntriesCount) {
    PanelRig rig;
    rig.show(kSideOutput, 0);
    std::vector<int> outputs(1500, 0);
    EXPECT_EQ(rig.panel.connectSelected(std::vector<int>{0}, outputs), 1024);
}

TEST(CrosspointPanel, DisconnectAsksAndClearsTheOutputs) {
    PanelRig rig;
    rig.show(kSideOutput, 0);
    rig.panel.setStereo(true);
    rig.questions.answer = false;
    EXPECT_EQ(rig.panel.disconnectSelected(std::vector<int>{0, 2}), 0);
    EXPECT_THAT(rig.questions.asked, ElementsAre("Crosspoint control|Disconnect"));
    EXPECT_THAT(rig.sink.lines, IsEmpty());

    rig.questions.answer = true;
    rig.panel.disconnectSelected(std::vector<int>{0, 2});
    EXPECT_THAT(rig.sink.take(),
                ElementsAre(scross(1, 0), scross(2, 0), scross(5, 0), scross(6, 0)));

    EXPECT_EQ(rig.panel.notice(), "");

    rig.questions.asked.clear();
    EXPECT_EQ(rig.panel.disconnectSelected({}), 0); // nothing selected: no question
    EXPECT_THAT(rig.questions.asked, IsEmpty());
    EXPECT_EQ(rig.panel.notice(), "Disconnect: select the outputs to disconnect");
}

TEST(CrosspointPanel, RefusedWhileOfflineProgrammingOrBursting) {
    const std::vector<std::pair<const char*, std::function<void(PanelRig&)>>> rows = {
        {"disconnected", [](PanelRig& r) { r.f.s.connected = false; }},
        {"firmware transfer", [](PanelRig& r) { r.f.s.programming = true; }},
        {"X-Y burst", [](PanelRig& r) { r.burst.start(4, false); }},
    };
    for (const auto& [name, setup] : rows) {
        SCOPED_TRACE(name);
        PanelRig rig;
        setup(rig);
        EXPECT_EQ(rig.panel.connectSelected(std::vector<int>{0}, std::vector<int>{0}), 0);
        EXPECT_NE(rig.panel.notice().find("Connect: "), std::string::npos);
        EXPECT_NE(rig.panel.notice().find(", nothing sent"), std::string::npos);
        EXPECT_EQ(rig.panel.disconnectSelected(std::vector<int>{0}), 0);
        EXPECT_NE(rig.panel.notice().find("Disconnect: "), std::string::npos);
        EXPECT_THAT(rig.sink.lines, IsEmpty());
        EXPECT_THAT(rig.questions.asked, IsEmpty());
    }
}

// ---- crosspoint list --------------------------------------------------------

struct ListRig : test::CrosspointRigBase {
    CCrosspointList list{f.s, sink, questions, burst};

    std::vector<int> outputs() const {
        std::vector<int> out;
        for (int row = 0; row < list.rowCount(); ++row)
            out.push_back(list.outputAt(row));
        return out;
    }
    std::vector<std::string> titlesOfAFullRound() {
        std::vector<std::string> out{std::string(list.headerTitle(0))};
        do {
            list.headerClicked(0);
            out.emplace_back(list.headerTitle(0));
        } while (list.rangeFilter() != 0 && out.size() < 20);
        return out;
    }
};

TEST(CrosspointList, RangeFilterSkipsRangesTheFrameLacks) {
    const std::vector<
        std::tuple<const char*, std::function<void(FrameState&)>, std::vector<std::string>>>
        rows = {
            {"460 without cards or SFP",
             [](FrameState&) {},
             {"ALL", "AES", "PHD", "MADI", "IP", "ALL"}},
            {"460 with cards 2 and 5 and both SFP ports",
             [](FrameState& f) {
                 f.card(2, kCardTypeSdi);
                 f.card(5, kCardTypeDa);
                 f.s.settings.optMode[1].value = 1;
                 f.s.settings.optMode[2].value = 2;
             },
             {"ALL", "CARD2", "CARD5", "AES", "PHD", "MADI", "SFP1", "SFP2", "IP", "ALL"}},
            {"SFP 2 as redundant copy",
             [](FrameState& f) {
                 f.s.settings.optMode[1].value = 1;
                 f.s.settings.optMode[2].value = 1;
                 f.s.settings.optRedundancy[0] = 1;
             },
             {"ALL", "AES", "PHD", "MADI", "SFP1", "IP", "ALL"}},
            {"461 goes straight to AES and has no SFP ranges",
             [](FrameState& f) {
                 f.s.family = kFamily461;
                 f.card(1, kCardTypeSdi);
                 f.s.settings.optMode[1].value = 1;
             },
             {"ALL", "AES", "PHD", "MADI", "IP", "ALL"}},
        };
    for (const auto& [name, setup, titles] : rows) {
        SCOPED_TRACE(name);
        ListRig rig;
        setup(rig.f);
        EXPECT_EQ(rig.titlesOfAFullRound(), titles);
    }
    ListRig rig;
    EXPECT_EQ(rig.list.headerTitle(1), "INPUT");
    EXPECT_EQ(rig.list.headerTitle(2), "OUTPUT");
}

TEST(CrosspointList, LabelsStandBesideTheChannelNames) {
    ListRig rig;
    rig.f.route(1, 513);
    rig.f.route(2, 0);
    rig.f.s.settings.inputLabels[513].assign("Kick");
    rig.f.s.settings.outputLabels[1].assign("Desk 1");
    rig.f.s.settings.inputLabels[1].assign("Not this side");
    rig.list.redrawAll(kSortByOutput);
    ASSERT_EQ(rig.list.rowCount(), 1);
    EXPECT_EQ(rig.list.text(0, 1), "AES  01  Kick");
    EXPECT_EQ(rig.list.text(0, 2), "CARD1  01  Desk 1");
}

TEST(CrosspointList, RowsOfTheRangeInOutputOrder) {
    ListRig rig;
    rig.f.make1536();
    rig.f.card(2, kCardTypeSdi);
    for (auto [o, i] :
         {std::pair{1, 5}, {70, 513}, {1100, 600}, {514, 3}, {1536, 1}, {300, 0}, {301, -1}})
        rig.f.route(o, i);
    EXPECT_EQ(rig.list.redrawAll(kSortByOutput), CCrosspointList::Change{.reset = true});
    EXPECT_THAT(rig.outputs(), ElementsAre(1, 70, 514, 1100, 1536));
    EXPECT_EQ(rig.list.text(1, 1), "AES  01");
    EXPECT_EQ(rig.list.text(1, 2), "CARD2  06");
    EXPECT_EQ(rig.list.text(3, 2), "CARD2  76");
    EXPECT_EQ(rig.list.text(1, 0), "");
    EXPECT_EQ(rig.list.text(9, 1), "");

    rig.list.headerClicked(0); // CARD2: both banks of slot 2
    EXPECT_EQ(rig.list.headerTitle(0), "CARD2");
    EXPECT_THAT(rig.outputs(), ElementsAre(70, 1100));
    rig.list.headerClicked(0); // AES
    EXPECT_THAT(rig.outputs(), ElementsAre(514));
}

TEST(CrosspointList, SummaryNamesTheFilterAndWhatItLeavesOut) {
    ListRig rig;
    rig.f.make1536();
    for (int output = 1; output <= 1536; ++output)
        rig.f.route(output, 1);
    rig.list.redrawAll(kSortByOutput);
    EXPECT_EQ(rig.list.summary(), "ALL: 1536 of 1536");
    while (rig.list.headerTitle(0) != "MADI")
        rig.list.headerClicked(0);
    EXPECT_EQ(rig.list.summary(), "MADI: 64 of 1536");
    rig.f.route(600, 0);
    rig.list.redrawOutput(600);
    EXPECT_EQ(rig.list.summary(), "MADI: 63 of 1535");
}

TEST(CrosspointList, FilterGoesBackToAllOnAnotherFrame) {
    ListRig rig;
    rig.f.route(513, 1);
    rig.f.route(1, 2);
    rig.list.clear(); // connected to the first frame
    rig.list.headerClicked(0);
    ASSERT_EQ(rig.list.headerTitle(0), "AES");

    // The same frame again (a reconnect): the operator's choice stays.
    rig.f.s.reset(false, 0);
    rig.list.clear();
    rig.f.s.reset(true, 0x0A000114);
    rig.list.clear();
    EXPECT_EQ(rig.list.headerTitle(0), "AES");

    // Another frame: all rows again, so nothing is hidden unnoticed.
    rig.f.s.reset(true, 0x0A000115);
    rig.f.route(513, 1);
    rig.f.route(1, 2);
    rig.list.clear();
    EXPECT_EQ(rig.list.headerTitle(0), "ALL");
    rig.list.redrawAll(kSortByOutput);
    EXPECT_THAT(rig.outputs(), ElementsAre(1, 513));
}

TEST(CrosspointList, HeaderClicksSortByInputAndBack) {
    ListRig rig;
    rig.f.route(1, 900);
    rig.f.route(3, 5);
    rig.f.route(2, 5);
    rig.f.route(4, 17);
    rig.list.redrawAll(kSortByOutput);
    rig.list.headerClicked(1);
    EXPECT_EQ(rig.list.sortMode(), kSortByInput);
    EXPECT_THAT(rig.outputs(), ElementsAre(2, 3, 4, 1));
    rig.list.headerClicked(1); // twice: output order again
    EXPECT_EQ(rig.list.sortMode(), kSortNone);
    EXPECT_THAT(rig.outputs(), ElementsAre(1, 2, 3, 4));
    rig.list.headerClicked(2);
    EXPECT_EQ(rig.list.sortMode(), kSortByOutput);
    rig.list.headerClicked(2);
    EXPECT_EQ(rig.list.sortMode(), kSortNone);
    EXPECT_THAT(rig.outputs(), ElementsAre(1, 2, 3, 4));
}

TEST(CrosspointList, OneOutputRedrawsOnlyItsRow) {
    ListRig rig;
    for (int o = 1; o <= 4; ++o)
        rig.f.route(o, 100 + o);
    rig.list.redrawAll(kSortByOutput);
    using Change = CCrosspointList::Change;

    rig.f.route(2, 7); // changed: moves to the end
    EXPECT_EQ(rig.list.redrawOutput(2), (Change{.removedRow = 1, .appended = true}));
    EXPECT_THAT(rig.outputs(), ElementsAre(1, 3, 4, 2));
    EXPECT_EQ(rig.list.inputAt(3), 7);

    rig.f.route(3, 0); // disconnected: gone
    EXPECT_EQ(rig.list.redrawOutput(3), (Change{.removedRow = 1}));
    EXPECT_THAT(rig.outputs(), ElementsAre(1, 4, 2));

    rig.f.route(9, 1); // new
    EXPECT_EQ(rig.list.redrawOutput(9), (Change{.appended = true}));
    EXPECT_EQ(rig.list.redrawOutput(1200), Change{}); // beyond a 1024 frame

    rig.list.headerClicked(0); // AES range
    rig.f.route(5, 1);
    EXPECT_EQ(rig.list.redrawOutput(5), Change{}); // outside the range
    EXPECT_EQ(rig.list.rowCount(), 0);
}

// Item views need each change announced while the rows are still as before.
struct RecordingSignals final : IRowSignals {
    const CCrosspointList* list = nullptr;
    std::vector<std::string> calls; // each with the row count at that moment
    void note(const std::string& what) {
        calls.push_back(what + "@" + std::to_string(list->rowCount()));
    }
    void beginReset() override { note("beginReset"); }
    void endReset() override { note("endReset"); }
    void beginRemove(int row) override { note("beginRemove " + std::to_string(row)); }
    void endRemove() override { note("endRemove"); }
    void beginAppend(int row) override { note("beginAppend " + std::to_string(row)); }
    void endAppend() override { note("endAppend"); }
};

TEST(CrosspointList, ModelHearsOfChangesBeforeTheyHappen) {
    ListRig rig;
    RecordingSignals signals;
    signals.list = &rig.list;
    rig.list.setRowSignals(&signals);
    rig.f.route(1, 5);
    rig.f.route(2, 6);
    rig.list.redrawAll(kSortByOutput);
    rig.f.route(1, 9);
    rig.list.redrawOutput(1);
    rig.list.clear();
    EXPECT_THAT(signals.calls,
                ElementsAre("beginReset@0", "endReset@2", "beginRemove 0@2", "endRemove@1",
                            "beginAppend 1@1", "endAppend@2", "beginReset@2", "endReset@0"));
}

TEST(CrosspointList, ContextMenuDisconnectGoesLastSelectedFirst) {
    ListRig rig;
    for (int o = 1; o <= 5; ++o)
        rig.f.route(o, o + 10);
    rig.list.redrawAll(kSortByOutput);
    EXPECT_TRUE(rig.list.menuAvailable(std::vector<int>{0}));
    EXPECT_FALSE(rig.list.menuAvailable({}));

    rig.questions.answer = false;
    EXPECT_EQ(rig.list.disconnectSelectedRows(std::vector<int>{0, 2}), 0);
    EXPECT_THAT(rig.questions.asked, ElementsAre("Crosspoint status|Disconnect selected"));
    rig.questions.answer = true;
    EXPECT_EQ(rig.list.disconnectSelectedRows(std::vector<int>{0, 2, 4}), 3);
    EXPECT_THAT(rig.sink.take(), ElementsAre(scross(5, 0), scross(3, 0), scross(1, 0)));

    rig.f.s.programming = true;
    EXPECT_EQ(rig.list.disconnectSelectedRows(std::vector<int>{0}), 0);
    rig.f.s.programming = false;
    rig.f.s.connected = false;
    EXPECT_FALSE(rig.list.menuAvailable(std::vector<int>{0}));
    EXPECT_EQ(rig.list.disconnectSelectedRows(std::vector<int>{0}), 0);
    EXPECT_THAT(rig.sink.lines, IsEmpty());
}

} // namespace
} // namespace velmar
