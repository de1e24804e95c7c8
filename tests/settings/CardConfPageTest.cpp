#include "settings/CardConfPage.h"

#include "engine/CodeTables.h"
#include "protocol/RequestEncoder.h"
#include "engine/SettingsApply.h"
#include "settings/SettingsPages.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>

namespace velmar {
namespace {

using ::testing::ElementsAre;

// Slots 1..6 hold an SDI, AD, DA, AES, MADI and two-channel AD card; 7 and 8 are empty.
std::unique_ptr<DeviceSettings> frameWithCards() {
    auto s = std::make_unique<DeviceSettings>();
    const std::pair<int, const char*> fitted[] = {
        {kCardTypeSdi, "460210A   230115"},  {kCardTypeAd, "460130A   230115"},
        {kCardTypeDa, "460230A   230115"},   {kCardTypeAes, "460240A   230115"},
        {kCardTypeMadi, "460250A   230115"}, {kCardTypeAd2, "460132A   230115"}};
    for (std::size_t i = 0; i < std::size(fitted); ++i) {
        const std::size_t slot = i + 1;
        s->hwConf[slot + 8].present = 1;
        s->hwConf[slot + 8].boardCode.assign(fitted[i].second);
        s->cards[slot].cardType = fitted[i].first;
    }
    CardRecord& madi = s->cards[5];
    madi.cardMode = 1;
    madi.channels[1].madiInMode = 1;
    madi.channels[1].madiOutMode = {1, 0, 1}; // default status, high frame rate, 64 ch
    madi.channels[2].madiDsdMode = 1;
    s->cards[2].channels[3].micLevel = {true, 12, 5};
    s->cards[2].channels[3].lineLevel = {false, 4, 50};
    return s;
}

SettingsDialogInputs family0() { return {}; }

std::vector<std::string> linesOf(const SettingsApplyPlan& plan) {
    std::vector<std::string> out;
    for (const DeviceMessage& m : plan.requests) {
        std::array<char, kEncodeBufferSize> buffer{};
        const std::size_t n = encodeMessage(m, buffer);
        out.emplace_back(buffer.data(), n > 0 && buffer[n - 1] == '\r' ? n - 1 : n);
    }
    return out;
}

// Edits one slot's Value cells on the page, confirms the page and returns the lines sent.
std::vector<std::string> applyEdits(const DeviceSettings& before, int slot,
                                    const std::vector<std::pair<int, const char*>>& edits) {
    CCardConfPage page;
    page.distribute(before, family0());
    page.load();
    page.selectSlot(slot - 1);
    for (const auto& [row, text] : edits)
        page.commitValue(row, text);
    page.store();
    auto after = std::make_unique<DeviceSettings>(before);
    page.gather(*after);
    const SettingsApplyContext none{};
    return linesOf(planSettingsApply(before, *after, none));
}

TEST(CardRows, EachCardTypeListsItsParameters) {
    const auto s = frameWithCards();
    EXPECT_EQ(cardParameterRows(s->cards[1]).size(), 20U);
    EXPECT_EQ(cardParameterRows(s->cards[2]).size(), 48U);
    EXPECT_EQ(cardParameterRows(s->cards[6]).size(), 12U) << "two-channel AD";
    EXPECT_EQ(cardParameterRows(s->cards[3]).size(), 24U);
    EXPECT_EQ(cardParameterRows(s->cards[4]).size(), 8U);
    EXPECT_EQ(cardParameterRows(s->cards[5]).size(), 15U);
    EXPECT_TRUE(cardParameterRows(s->cards[7]).empty());

    const auto sdi = cardParameterRows(s->cards[1]);
    EXPECT_EQ(sdi[0], (CardParamRow{"1", "Embedder", "disable"}));
    EXPECT_EQ(sdi[4], (CardParamRow{"1", "Tx embedder mode group 3", "remove"}));
    EXPECT_EQ(sdi[19], (CardParamRow{"2", "Rx SRC group 4", "disable"}));
    const auto ad = cardParameterRows(s->cards[2]);
    EXPECT_EQ(ad[2 * 6 + 4], (CardParamRow{"3", "Mic clipping level", "-12.05"}));
    EXPECT_EQ(ad[2 * 6 + 5], (CardParamRow{"3", "Line clipping level", "4.50"}));
}

TEST(CardRows, MadiPortsFollowTheInterfaceType) {
    auto s = frameWithCards();
    CardRecord& madi = s->cards[5];
    auto rows = cardParameterRows(madi);
    EXPECT_EQ(rows[0], (CardParamRow{"both", "Interface type", "madi"}));
    EXPECT_EQ(rows[3], (CardParamRow{"1", "Input mode / sample rate", "as internal"}));
    EXPECT_EQ(rows[5].value, "high");
    EXPECT_EQ(rows[6].value, "default");
    EXPECT_EQ(rows[7].value, "64 ch");
    EXPECT_EQ(rows[14], (CardParamRow{"2", "Output DSD mode", "dsd over pcm"}));

    madi.cardRedundancy = 1; // both ports carry port 1's settings
    rows = cardParameterRows(madi);
    EXPECT_EQ(rows[9].value, "as internal");
    EXPECT_EQ(rows[14].value, "native");

    madi.cardMode = 2;
    madi.hotlinkInMode = 1;
    rows = cardParameterRows(madi);
    EXPECT_EQ(rows[3].value, "external");
    EXPECT_EQ(rows[5].value, "internal") << "the Hotlink output mode";
    for (int r : {4, 6, 7, 8, 9, 10, 11, 12, 13, 14})
        EXPECT_EQ(rows[static_cast<std::size_t>(r)].value, "") << r;

    madi.cardMode = 7; // no such type: shown as disabled, ports empty
    rows = cardParameterRows(madi);
    EXPECT_EQ(rows[0].value, "disabled");
    EXPECT_EQ(rows[3].value, "");
}

TEST(CardPage, SlotsFollowTheHardwareReportAndTheFamily) {
    const auto s = frameWithCards();
    CCardConfPage page;
    page.distribute(*s, family0());
    page.load();
    ASSERT_EQ(page.slots.size(), 8U);
    EXPECT_TRUE(page.slotsEnabled);
    EXPECT_FALSE(page.paramsEnabled);

    page.selectSlot(6); // slot 7: nothing fitted
    EXPECT_FALSE(page.paramsEnabled);
    EXPECT_TRUE(page.params.empty());
    EXPECT_EQ(page.highlightedRow(), -1);

    page.selectSlot(0);
    EXPECT_TRUE(page.paramsEnabled);
    EXPECT_EQ(page.highlightedRow(), 0);
    EXPECT_EQ(page.params.size(), 20U);

    SettingsDialogInputs family1;
    family1.family = 1;
    page.distribute(*s, family1);
    page.load();
    EXPECT_TRUE(page.slots.empty());
    EXPECT_FALSE(page.slotsEnabled);
    page.selectSlot(0);
    EXPECT_TRUE(page.params.empty());
}

TEST(CardPage, OneGroupModeChangeSendsOneRequest) {
    const auto s = frameWithCards();
    // Row 4 is SDI channel 1's group 3 mode.
    EXPECT_THAT(applyEdits(*s, 1, {{4, "use SRC"}}), ElementsAre("&sembmode,1,1,3,4"));
    // Channel 2's Tx sample rate (row 11), and an AES channel.
    EXPECT_THAT(applyEdits(*s, 1, {{11, "44.1 kHz"}}), ElementsAre("&stxsrcrate,1,2,1"));
    EXPECT_THAT(applyEdits(*s, 4, {{6, "enable"}}), ElementsAre("&saesrxsrcena,4,7,1"));
    // Nothing chosen, nothing sent.
    EXPECT_TRUE(applyEdits(*s, 2, {}).empty());
}

TEST(CardPage, SelectingAnotherSlotStoresTheOneLeft) {
    const auto s = frameWithCards();
    CCardConfPage page;
    page.distribute(*s, family0());
    page.load();
    page.selectSlot(1); // AD
    page.commitValue(0, "mic");
    page.commitValue(2, "on");
    page.selectSlot(2); // DA: the AD rows were stored on leaving
    EXPECT_EQ(page.params.size(), 24U);
    auto after = std::make_unique<DeviceSettings>(*s);
    page.gather(*after);
    EXPECT_EQ(after->cards[2].channels[1].inputMode, 1);
    EXPECT_EQ(after->cards[2].channels[1].phantomPower, 1);
    EXPECT_EQ(after->cards[2].channels[3].micLevel, s->cards[2].channels[3].micLevel);
}

TEST(CardPage, LevelsAreShownButNotEditable) {
    const auto s = frameWithCards();
    CCardConfPage page;
    page.distribute(*s, family0());
    page.load();
    page.selectSlot(1);
    const CCardConfPage::Editor mic = page.editorFor(2 * 6 + 4);
    EXPECT_THAT(mic.entries, ElementsAre("-12.05"));
    EXPECT_TRUE(mic.enabled);
    EXPECT_FALSE(page.editorFor(2 * 6 + 5).enabled) << "line level";
    const CCardConfPage::Editor mode = page.editorFor(0);
    EXPECT_THAT(mode.entries, ElementsAre("line", "mic"));
    EXPECT_EQ(mode.selected, 0);
}

// Each DA channel shows and keeps its own DSD filter, through the dialog, the
// confirmed settings and a .cfg file saved and loaded again; only channel 1's,
// the card's one filter, goes to the frame.
TEST(CardPage, DaDsdFilterIsKeptPerChannelAndOnlyChannelOneIsSent) {
    const struct {
        std::vector<int> channels; // set to "enable"
        std::vector<std::string> sent;
    } rows[] = {
        {{1}, {"&sdadsdfilter,3,1"}},
        {{2}, {}},
        {{8}, {}},
        {{1, 2, 8}, {"&sdadsdfilter,3,1"}},
    };
    const auto before = frameWithCards();
    const auto dsdRow = [](int channel) { return (channel - 1) * 3 + 2; };
    for (const auto& row : rows) {
        const std::string name = ::testing::PrintToString(row.channels);
        CSettingsDialogLogic dialog(*before, family0());
        dialog.cardPage.selectSlot(2);
        for (const int channel : row.channels) {
            EXPECT_TRUE(dialog.cardPage.editorFor(dsdRow(channel)).enabled) << name;
            dialog.cardPage.commitValue(dsdRow(channel), "enable");
        }
        ASSERT_FALSE(dialog.storeAll().has_value()) << name;
        EXPECT_EQ(linesOf(planSettingsApply(*before, dialog.settings(), {})), row.sent) << name;

        // Confirmed, then opened again and a file of it saved and loaded.
        const DeviceSettings kept = settingsAfterApply(*before, *before, dialog.settings());
        CSettingsDialogLogic again(kept, family0());
        ASSERT_TRUE(again.loadFile(again.fileText(), "da.cfg").loaded) << name;
        again.cardPage.selectSlot(2);
        for (int channel = 1; channel <= 8; ++channel) {
            const bool edited = std::count(row.channels.begin(), row.channels.end(), channel) > 0;
            EXPECT_EQ(again.cardPage.params[static_cast<std::size_t>(dsdRow(channel))].value,
                      edited ? "enable" : "disable")
                << name << " channel " << channel;
        }
    }
}

TEST(CardPage, MadiEditorsFollowTheInterfaceChosen) {
    const auto s = frameWithCards();
    CCardConfPage page;
    page.distribute(*s, family0());
    page.load();
    page.selectSlot(4);
    EXPECT_TRUE(page.editorFor(4).enabled) << "Rx SRC under madi";
    page.commitValue(1, "enable"); // redundancy: the port editors stay enabled
    EXPECT_TRUE(page.editorFor(10).enabled);
    page.commitValue(0, "hotlink");
    EXPECT_FALSE(page.editorFor(4).enabled);
    EXPECT_FALSE(page.editorFor(9).enabled) << "port 2 input under hotlink";
    const CCardConfPage::Editor input = page.editorFor(3);
    EXPECT_TRUE(input.enabled);
    EXPECT_THAT(input.entries, ElementsAre("internal", "external"));
    page.commitValue(0, "disabled");
    EXPECT_FALSE(page.editorFor(3).enabled);
}

TEST(CardPage, MadiToHotlinkSendsBothHotlinkModes) {
    const auto s = frameWithCards();
    EXPECT_THAT(applyEdits(*s, 5, {{0, "hotlink"}}),
                ElementsAre("&scifmode,5,2", "&schlinkinmode,5,0", "&schlinkoutmode,5,0"));
    // With the row showing "external" read under hotlink, the input mode goes out as 1.
    EXPECT_THAT(applyEdits(*s, 5, {{0, "hotlink"}, {3, "external"}}),
                ElementsAre("&scifmode,5,2", "&schlinkinmode,5,1", "&schlinkoutmode,5,0"));
}

TEST(CardPage, RedundancySkipsPortTwo) {
    auto s = frameWithCards();
    s->cards[5].cardRedundancy = 1;
    // Port 2's channel count row (row 13) changes; only port 1 is configured.
    EXPECT_TRUE(applyEdits(*s, 5, {{13, "56 ch"}}).empty());
    EXPECT_THAT(applyEdits(*s, 5, {{7, "56 ch"}}), ElementsAre("&scmadioutmode,5,1,1,0,0"));
}

} // namespace
} // namespace velmar
