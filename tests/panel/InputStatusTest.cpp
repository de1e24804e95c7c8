#include "PanelFakes.h"
#include "engine/CodeTables.h"
#include "panel/InputStatusDialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Cells = std::vector<std::string>;

void mainStatus(DeviceState& s, int input, std::string_view text) {
    s.live.mainInputStatus[static_cast<std::size_t>(input)].index = input;
    s.live.mainInputStatus[static_cast<std::size_t>(input)].value.assign(text);
}

void fitCard(DeviceState& s, int slot, int type) {
    s.settings.cards[static_cast<std::size_t>(slot)].cardType = type;
}

DeviceState frame460() {
    DeviceState s;
    s.family = kFamily460;
    return s;
}

TEST(InputStatusCells, MainBoard) {
    DeviceState s = frame460();
    mainStatus(s, 1, "ESA");
    mainStatus(s, 2, "--a");
    mainStatus(s, 3, "-Sx"); // neither a nor A: the main board reads it as active
    mainStatus(s, 11, "");
    EXPECT_THAT(mainInputRow(s, 1).cells, ElementsAre("AES 1", "error", "error", "yes"));
    EXPECT_THAT(mainInputRow(s, 2).cells, ElementsAre("AES 2", "", "", "no"));
    EXPECT_THAT(mainInputRow(s, 3).cells, ElementsAre("AES 3", "", "error", "yes"));
    EXPECT_THAT(mainInputRow(s, 11).cells, ElementsAre("MADI", "", "", "yes"));
    EXPECT_THAT(mainInputRow(s, 4).cells, ElementsAre("AES 4", "?", "?", "?")) << "never reported";
    EXPECT_THAT(mainInputRow(s, 14).cells[0], "IP");
    EXPECT_EQ(mainInputRow(s, 14).entry, 14);
}

TEST(InputStatusCells, PhdRowsWithoutPhd) {
    DeviceState s = frame460();
    mainStatus(s, 9, "ESA");
    mainStatus(s, 10, "ESA");
    EXPECT_THAT(mainInputRow(s, 9).cells, ElementsAre("PHD 1", "error", "error", "yes"));
    s.settings.hwConf[kModuleMainBoard].boardCode.assign("460001");
    EXPECT_THAT(mainInputRow(s, 9).cells, ElementsAre("PHD 1", "----", "----", "----"));
    EXPECT_THAT(mainInputRow(s, 10).cells, ElementsAre("PHD 2", "----", "----", "----"));
    EXPECT_THAT(mainInputRow(s, 11).cells[1], "?");
}

TEST(InputStatusCells, SfpRowsMarkTheInactiveMemberOfARedundantPair) {
    DeviceState s = frame460();
    mainStatus(s, 12, "--A");
    mainStatus(s, 13, "--a");
    s.live.optInactive[1] = 1;
    s.live.optInactive[2] = 1;
    EXPECT_EQ(mainInputRow(s, 12).cells[3], "yes") << "not redundant";
    s.settings.optRedundancy = {1, 0};
    EXPECT_EQ(mainInputRow(s, 12).cells[3], "yes *");
    EXPECT_EQ(mainInputRow(s, 13).cells[3], "no *");
    s.live.optInactive[2] = 0;
    EXPECT_EQ(mainInputRow(s, 13).cells[3], "no");
}

TEST(InputStatusCells, SdiCard) {
    DeviceState s = frame460();
    fitCard(s, 3, kCardTypeSdi);
    s.live.sdiRxStatus[2 * 3 + 1 - 3] = {3, 1, 1, 2, 7};
    s.live.sdiRxStatus[2 * 3 + 2 - 3] = {3, 2, 0, 4, 8};
    EXPECT_THAT(cardInputRow(s, InputCardKind::Sdi, 3, 1).cells,
                ElementsAre("Slot 3 - 1", "yes", "HD SDI", "60 Hz"));
    EXPECT_THAT(cardInputRow(s, InputCardKind::Sdi, 3, 2).cells,
                ElementsAre("Slot 3 - 2", "no", "error", "error"));
    for (const auto& [code, text] : std::vector<std::pair<int, std::string>>{
             {0, "invalid"}, {1, "SD SDI"}, {3, "3G SDI"}, {-1, "error"}}) {
        s.live.sdiRxStatus[4][3] = code;
        EXPECT_EQ(cardInputRow(s, InputCardKind::Sdi, 3, 1).cells[2], text) << code;
    }
    for (const auto& [code, text] : std::vector<std::pair<int, std::string>>{
             {0, "23.98 Hz"}, {3, "29.97 Hz"}, {6, "59.94 Hz"}, {-3, "error"}}) {
        s.live.sdiRxStatus[4][4] = code;
        EXPECT_EQ(cardInputRow(s, InputCardKind::Sdi, 3, 1).cells[3], text) << code;
    }
    EXPECT_THAT(cardInputRow(s, InputCardKind::Sdi, 4, 1).cells,
                ElementsAre("Slot 4 - 1", "?", "?", "?"));
}

TEST(InputStatusCells, AdAesAndMadiCards) {
    DeviceState s = frame460();
    s.live.adSignal[2][8] = 1;
    EXPECT_THAT(cardInputRow(s, InputCardKind::Ad, 2, 8).cells,
                ElementsAre("Slot 2 - 8", "yes", "no"));
    EXPECT_EQ(cardInputRow(s, InputCardKind::Ad, 2, 8).entry, 16);

    auto& aes = s.live.aesInputStatus[5][7];
    aes = {5, 7, {}};
    aes.status.assign("E-x");
    EXPECT_THAT(cardInputRow(s, InputCardKind::Aes, 5, 7).cells,
                ElementsAre("Slot 5 - 7", "error", "", "yes"));

    // A third character other than a or A leaves a MADI card's Active cell empty.
    auto& madi = s.live.cardIfStatus[6][2];
    madi = {6, 2, {}};
    madi.status.assign("-Sx");
    EXPECT_THAT(cardInputRow(s, InputCardKind::Madi, 6, 2).cells,
                ElementsAre("Slot 6 - 2", "", "error", ""));
    madi.status.assign("--a");
    s.live.cardIfInactive[6][2] = 1;
    EXPECT_EQ(cardInputRow(s, InputCardKind::Madi, 6, 2).cells[3], "no") << "not redundant";
    s.settings.cards[6].cardRedundancy = 1;
    EXPECT_EQ(cardInputRow(s, InputCardKind::Madi, 6, 2).cells[3], "no *");
    madi.status.assign("--A");
    EXPECT_EQ(cardInputRow(s, InputCardKind::Madi, 6, 2).cells[3], "yes *");
    EXPECT_THAT(cardInputRow(s, InputCardKind::Madi, 6, 1).cells[1], "?");
}

TEST(InputStatusLists, CardRowsByKindAndFamily) {
    DeviceState s = frame460();
    fitCard(s, 1, kCardTypeAd);
    fitCard(s, 2, kCardTypeSdi);
    fitCard(s, 4, kCardTypeAd2);
    fitCard(s, 5, kCardTypeDa);
    const auto labels = [&s](InputCardKind kind) {
        Cells out;
        for (const InputStatusRow& r : cardInputRows(s, kind))
            out.push_back(r.cells[0]);
        return out;
    };
    EXPECT_THAT(labels(InputCardKind::Sdi), ElementsAre("Slot 2 - 1", "Slot 2 - 2"));
    const Cells ad = labels(InputCardKind::Ad);
    ASSERT_EQ(ad.size(), 10U);
    EXPECT_EQ(ad[7], "Slot 1 - 8");
    EXPECT_EQ(ad[9], "Slot 4 - 2");
    EXPECT_THAT(labels(InputCardKind::Aes), IsEmpty());

    for (const int family : {kFamily461, kFamily465, kFamily450}) {
        s.family = family;
        EXPECT_THAT(labels(InputCardKind::Ad), IsEmpty()) << family;
    }
}

TEST(InputStatusLists, ColumnsOfEachKind) {
    EXPECT_THAT(cardInputColumns(InputCardKind::Sdi),
                ElementsAre("Input", "Locked", "Format", "Frame rate"));
    EXPECT_THAT(cardInputColumnWidths(InputCardKind::Sdi), ElementsAre(60, 78, 78, 78));
    EXPECT_THAT(cardInputColumns(InputCardKind::Ad), ElementsAre("Input", "Signal", "Overload"));
    EXPECT_EQ(cardInputColumns(InputCardKind::Madi), mainInputColumns());
}

// The logic as the main window drives it: replies pass the dispatch first.
struct StatusRig {
    test::EngineRig rig;
    std::unique_ptr<CInputStatusLogic> logic;

    explicit StatusRig(int family = kFamily460) {
        rig.connect(family);
        // The inventory: AES in slot 1, MADI in slot 2, SDI in slot 3.
        rig.feed(":ghwconf,0,9,1,'460240',''");
        rig.feed(":ghwconf,0,10,1,'460250',''");
        rig.feed(":ghwconf,0,11,1,'460210',''");
        rig.feed(":ghwconf,0,20,0,'',''");
        logic = std::make_unique<CInputStatusLogic>(rig.engine.state());
        rig.engine.dialogs().signalInputStatus = logic.get();
    }
    ~StatusRig() { rig.engine.dialogs().signalInputStatus = nullptr; }
    Cells mainCells(int input) const { return logic->mainRows()[std::size_t(input - 1)].cells; }
};

TEST(InputStatusLogic, AnAnnouncedChangeRewritesOnlyItsRow) {
    StatusRig r;
    r.rig.feed(":lmaininpstatus,0,1,14,--A,--A,--A,--A,--A,--A,--A,--A,--A,--A,--A,--A,--A,--A");
    EXPECT_TRUE(r.logic->takeChanges().mainChanged);
    EXPECT_THAT(r.mainCells(5), ElementsAre("AES 5", "", "", "yes"));

    r.rig.feed("!gmaininpstatus,0,5,ESa");
    EXPECT_TRUE(r.logic->takeChanges().mainChanged);
    EXPECT_THAT(r.mainCells(5), ElementsAre("AES 5", "error", "error", "no"));
    EXPECT_THAT(r.mainCells(4), ElementsAre("AES 4", "", "", "yes"));

    // The same text again changes nothing.
    r.rig.feed("!gmaininpstatus,0,5,ESa");
    EXPECT_FALSE(r.logic->takeChanges().mainChanged);
}

TEST(InputStatusLogic, SingleRefreshesKeepTheirRowAndTheRestWaitsForAFullRefresh) {
    StatusRig r;
    r.logic->refreshAll();
    EXPECT_EQ(r.logic->kind(), InputCardKind::Sdi);
    ASSERT_EQ(r.logic->cardRows().size(), 2U);
    r.rig.feed("!gsdirxstat,0,3,2,1,3,2");
    EXPECT_THAT(r.logic->cardRows()[1].cells, ElementsAre("Slot 3 - 2", "yes", "3G SDI", "25 Hz"));
    EXPECT_THAT(r.logic->cardRows()[0].cells[1], "?");

    // Not of the kind on show, or beyond the card's inputs: nothing changes.
    r.logic->takeChanges();
    r.rig.feed("!gcifstatus,0,2,1,ESA");
    r.rig.feed("!gsdirxstat,0,2,1,1,3,2");
    EXPECT_FALSE(r.logic->takeChanges().cardsChanged);

    r.logic->selectKind(InputCardKind::Madi);
    EXPECT_TRUE(r.logic->takeChanges().cardsRebuilt);
    EXPECT_THAT(r.logic->cardRows()[0].cells, ElementsAre("Slot 2 - 1", "error", "error", "yes"));
    r.rig.feed(":gcifinact,0,2,1,1");
    r.rig.feed(":scifred,0,2,1,0");
    EXPECT_THAT(r.logic->cardRows()[0].cells[3], "yes *");

    r.logic->selectKind(InputCardKind::Aes);
    EXPECT_EQ(r.logic->cardRows().size(), 8U);
    r.rig.feed("!gaesinpstatus,0,1,8,-Sa");
    EXPECT_THAT(r.logic->cardRows()[7].cells, ElementsAre("Slot 1 - 8", "", "error", "no"));

    r.logic->selectKind(InputCardKind::Ad);
    EXPECT_THAT(r.logic->cardRows(), IsEmpty()) << "no AD card: an empty list";
}

TEST(InputStatusLogic, FamilyChangeEmptiesAndDisablesTheCards) {
    StatusRig r;
    EXPECT_TRUE(r.logic->cardsEnabled());
    EXPECT_EQ(r.logic->cardRows().size(), 2U);
    EXPECT_EQ(r.logic->cardListNote(), "") << "rows speak for themselves";
    // A kind without a card says so rather than looking unread.
    for (const InputCardKind kind : kInputCardKinds) {
        r.logic->selectKind(kind);
        EXPECT_EQ(r.logic->cardListNote().empty(), !r.logic->cardRows().empty());
        if (r.logic->cardRows().empty()) {
            EXPECT_EQ(r.logic->cardListNote(),
                      "No " + std::string(inputCardKindName(kind)) + " card in this frame");
        }
    }
    r.logic->selectKind(InputCardKind::Sdi);
    r.logic->takeChanges();
    r.rig.feed(":gdevinfo,0,'450',1,'S1'");
    const auto changes = r.logic->takeChanges();
    EXPECT_TRUE(changes.familyChanged);
    EXPECT_FALSE(r.logic->cardsEnabled());
    EXPECT_THAT(r.logic->cardRows(), IsEmpty());
    EXPECT_EQ(r.logic->cardListNote(), "Cards are listed for 460 frames only");
    r.rig.feed("!gsdirxstat,0,3,2,1,3,2");
    EXPECT_THAT(r.logic->cardRows(), IsEmpty());
    EXPECT_EQ(r.logic->mainRows().size(), 14U);
}

TEST(InputStatusLogic, StartsOnTheFamilyOfTheFrame) {
    for (const int family : {kFamily461, kFamily465, kFamily450}) {
        StatusRig r(family);
        EXPECT_FALSE(r.logic->cardsEnabled()) << family;
        EXPECT_THAT(r.logic->cardRows(), IsEmpty()) << family;
    }
}

} // namespace
} // namespace velmar
