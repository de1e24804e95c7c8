#include "PanelFakes.h"
#include "panel/PanelUnitDialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using test::RecordingSink;
using test::ScriptedQuestions;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct PanelRig {
    RecordingSink sink;
    ScriptedQuestions questions;
    CPanelUnitLogic logic{sink, questions};
    CResponseDecoder decoder;

    void reply(const std::string& line) {
        logic.onDeviceMessage(test::decoded(decoder, line), line[0] == ':', decoder);
    }
};

TEST(PanelUnit, OpeningReadsEverythingInOrder) {
    PanelRig rig;
    rig.logic.start();
    const auto sent = rig.sink.take();
    ASSERT_EQ(sent.size(), 1U + 12 + 12 + 11 + 32 + 1 + 1);
    EXPECT_EQ(sent[0], "?gmaster");
    EXPECT_EQ(sent[1], "?gkeymode,1");
    EXPECT_EQ(sent[12], "?gkeymode,12");
    EXPECT_EQ(sent[13], "?gkeystate,1");
    EXPECT_EQ(sent[25], "?gledstate,1");
    EXPECT_EQ(sent[35], "?gledstate,11");
    EXPECT_EQ(sent[36], "?gringledstate,1");
    EXPECT_EQ(sent[67], "?gringledstate,32");
    EXPECT_EQ(sent[68], "?gledint");
    EXPECT_EQ(sent[69], "?grotcount");
}

TEST(PanelUnit, RowsShowWhatTheUnitReported) {
    PanelRig rig;
    EXPECT_THAT(rig.logic.keyRow(1), ElementsAre("1", "0", "0", "0", "off"));
    EXPECT_THAT(rig.logic.keyRow(12), ElementsAre("12", "0", "0", "0", "---"));
    EXPECT_THAT(rig.logic.ringRow(32), ElementsAre("32", "0"));
    EXPECT_EQ(rig.logic.intensityField(), "2");

    rig.reply(":gkeymode,0,3,2,500");
    rig.reply(":skeystate,0,3,7");
    rig.reply(":gledstate,0,3,1");
    rig.reply(":sringledstate,0,32,3");
    rig.reply(":gledint,0,3");
    rig.reply(":grotcount,0,-12");
    rig.reply(":smaster,0,1");
    EXPECT_TRUE(rig.logic.takeChanged());
    EXPECT_THAT(rig.logic.keyRow(3), ElementsAre("3", "2", "500", "7", "on"));
    EXPECT_THAT(rig.logic.ringRow(32), ElementsAre("32", "3"));
    EXPECT_EQ(rig.logic.intensityField(), "3");
    EXPECT_EQ(rig.logic.rotaryCount(), -12);
    EXPECT_TRUE(rig.logic.master());
    rig.reply(":gmaster,0,0");
    EXPECT_FALSE(rig.logic.master());
}

TEST(PanelUnit, RepliesOutsideTheUnitOrWithAnErrorChangeNothing) {
    PanelRig rig;
    rig.reply(":gkeymode,0,13,2,500");
    rig.reply(":gkeystate,0,0,9");
    rig.reply(":gledstate,0,12,1"); // key 12 has no LED
    rig.reply(":gringledstate,0,33,2");
    rig.reply(":gledint,0,4");
    rig.reply(":gkeymode,3,1,4,4"); // an error status
    EXPECT_FALSE(rig.logic.takeChanged());
    for (int k = 1; k <= kPanelKeys; ++k)
        EXPECT_EQ(rig.logic.keyRow(k)[1], "0") << k;
    EXPECT_EQ(rig.logic.ringLed(32), 0);
    EXPECT_EQ(rig.logic.intensityField(), "2");
    EXPECT_THAT(rig.logic.notice(), IsEmpty());
}

TEST(PanelUnit, ARefusedSetIsReported) {
    PanelRig rig;
    rig.reply(":gkeymode,0,2,1,10");
    rig.reply(":skeymode,5,2,3,30");
    EXPECT_THAT(rig.logic.keyRow(2), ElementsAre("2", "1", "10", "0", "off"));
    EXPECT_NE(rig.logic.notice().find("skeymode"), std::string::npos);
    EXPECT_NE(rig.logic.notice().find("status 5"), std::string::npos);

    // The master box and the LED buttons go back to what the unit has.
    rig.logic.masterToggled(true);
    EXPECT_FALSE(rig.logic.master()) << "not before the unit says so";
    rig.reply(":smaster,1,1");
    EXPECT_FALSE(rig.logic.master());
    EXPECT_TRUE(rig.logic.takeChanged()) << "the box is redrawn from the unit's value";
    rig.logic.selectKey(2);
    rig.logic.ledChosen(LedChoice::On);
    EXPECT_EQ(rig.logic.ledChoice(), LedChoice::On);
    rig.reply(":sledstate,1,2,1");
    EXPECT_EQ(rig.logic.ledChoice(), LedChoice::Off);
    rig.reply(":sledstate,0,2,1");
    EXPECT_THAT(rig.logic.keyRow(2)[4], "on");
}

TEST(PanelUnit, SelectingAKeyCopiesItIntoTheFields) {
    PanelRig rig;
    rig.reply(":gkeymode,0,4,3,1234");
    rig.reply(":gkeystate,0,4,9");
    rig.reply(":gledstate,0,4,1");
    rig.logic.selectKey(4);
    EXPECT_EQ(rig.logic.modeField(), "3");
    EXPECT_EQ(rig.logic.valueField(), "1234");
    EXPECT_EQ(rig.logic.stateField(), "9");
    EXPECT_EQ(rig.logic.ledChoice(), LedChoice::On);
    EXPECT_TRUE(rig.logic.ledRadioEnabled());
    rig.logic.selectKey(12);
    EXPECT_EQ(rig.logic.ledChoice(), LedChoice::None);
    EXPECT_FALSE(rig.logic.ledRadioEnabled());
    rig.logic.selectKey(13); // not a key: the selection stays
    EXPECT_EQ(rig.logic.selectedKey(), 12);
}

TEST(PanelUnit, KeyModeSet) {
    PanelRig rig;
    rig.reply(":gkeymode,0,5,2,77");
    rig.logic.keyModeSetPressed("1", "2");
    EXPECT_THAT(rig.sink.take(), IsEmpty()) << "no key chosen yet";
    EXPECT_FALSE(rig.logic.notice().empty());

    rig.logic.selectKey(5);
    rig.logic.keyModeSetPressed("4", "65535");
    EXPECT_THAT(rig.sink.take(), ElementsAre("&skeymode,5,4,65535"));
    EXPECT_THAT(rig.logic.keyRow(5), ElementsAre("5", "2", "77", "0", "off"))
        << "the list waits for the unit's answer";

    // Mode 0 sends nothing and puts the key's own values back.
    rig.logic.keyModeSetPressed("0", "999");
    EXPECT_THAT(rig.sink.take(), IsEmpty());
    EXPECT_EQ(rig.logic.modeField(), "2");
    EXPECT_EQ(rig.logic.valueField(), "77");

    for (const auto& [mode, value] :
         std::vector<std::pair<std::string, std::string>>{{"5", "1"},
                                                          {"-1", "1"},
                                                          {"x", "1"},
                                                          {"", "1"},
                                                          {"1", "65536"},
                                                          {"1", "-1"},
                                                          {"1", "1.5"},
                                                          {"2", "99999999999999999999"}}) {
        rig.logic.keyModeSetPressed(mode, value);
        EXPECT_THAT(rig.sink.take(), IsEmpty()) << mode << " / " << value;
        EXPECT_FALSE(rig.logic.notice().empty()) << mode << " / " << value;
    }
    rig.logic.keyModeSetPressed(" 1 ", "0");
    EXPECT_THAT(rig.sink.take(), ElementsAre("&skeymode,5,1,0"));
    EXPECT_TRUE(rig.logic.notice().empty()) << "a good value clears the last refusal";
}

TEST(PanelUnit, KeyStateAndIntensity) {
    PanelRig rig;
    rig.logic.selectKey(12);
    rig.logic.keyStateSetPressed("65535");
    rig.logic.keyStateSetPressed("65536");
    rig.logic.intensitySetPressed("0");
    rig.logic.intensitySetPressed("4");
    rig.logic.intensitySetPressed("1");
    rig.logic.intensitySetPressed("3");
    EXPECT_THAT(rig.sink.take(), ElementsAre("&skeystate,12,65535", "&sledint,1", "&sledint,3"));
}

TEST(PanelUnit, LedRadio) {
    PanelRig rig;
    rig.logic.ledChosen(LedChoice::On);
    EXPECT_THAT(rig.sink.take(), IsEmpty()) << "no key chosen";

    rig.logic.selectKey(12);
    rig.logic.ledChosen(LedChoice::On);
    rig.logic.ledChosen(LedChoice::Off);
    EXPECT_THAT(rig.sink.take(), IsEmpty()) << "key 12 has no LED";

    rig.logic.selectKey(11); // reported off
    rig.logic.ledChosen(LedChoice::Off);
    EXPECT_THAT(rig.sink.take(), IsEmpty()) << "the same choice as before";
    rig.logic.ledChosen(LedChoice::On);
    rig.logic.ledChosen(LedChoice::On);
    rig.logic.ledChosen(LedChoice::Off);
    EXPECT_THAT(rig.sink.take(), ElementsAre("&sledstate,11,1", "&sledstate,11,0"));
}

TEST(PanelUnit, RingMasterIdentifyAndClear) {
    PanelRig rig;
    rig.logic.ringLedChosen(2);
    EXPECT_THAT(rig.sink.take(), IsEmpty()) << "no ring LED chosen";
    rig.logic.selectRingLed(33);
    rig.logic.ringLedChosen(2);
    EXPECT_THAT(rig.sink.take(), IsEmpty());
    rig.logic.selectRingLed(32);
    rig.logic.ringLedChosen(3);
    rig.logic.ringLedChosen(4);
    rig.logic.masterToggled(true);
    rig.logic.masterToggled(false);
    rig.logic.identifyPressed();
    EXPECT_THAT(rig.sink.take(),
                ElementsAre("&sringledstate,32,3", "&smaster,1", "&smaster,0", "&sidentify,10"));

    rig.questions.answer = false;
    rig.logic.clearAllLedsPressed();
    EXPECT_THAT(rig.sink.take(), IsEmpty());
    EXPECT_THAT(rig.questions.asked, ElementsAre("450 DORN settings|Clear all leds (state=0)"));

    rig.questions.answer = true;
    rig.logic.clearAllLedsPressed();
    const auto sent = rig.sink.take();
    ASSERT_EQ(sent.size(), 11U + 32U);
    EXPECT_EQ(sent[0], "&sledstate,1,0");
    EXPECT_EQ(sent[10], "&sledstate,11,0");
    EXPECT_EQ(sent[11], "&sringledstate,1,0");
    EXPECT_EQ(sent[42], "&sringledstate,32,0");
}

} // namespace
} // namespace velmar

namespace velmar {
namespace {

TEST(PanelUnit, ListKeysPageBy31AndStopAtTheEnds) {
    struct Row {
        int from;
        KeyListMove move;
        int to;
    } const rows[] = {
        {1, KeyListMove::PageDown, 12}, {0, KeyListMove::PageDown, 12},
        {12, KeyListMove::PageUp, 1},   {6, KeyListMove::PageUp, 1},
        {6, KeyListMove::Home, 1},      {6, KeyListMove::End, 12},
        {0, KeyListMove::PageUp, 1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(movedKey(r.from, r.move), r.to) << r.from << " " << static_cast<int>(r.move);
}

} // namespace
} // namespace velmar
