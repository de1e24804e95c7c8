#include "settings/HwConfDialog.h"

#include "protocol/RequestEncoder.h"
#include "protocol/ResponseDecoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace velmar {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::string line(const DeviceMessage& m) {
    std::array<char, kEncodeBufferSize> buffer{};
    std::string text(buffer.data(), encodeMessage(m, buffer));
    while (!text.empty() && text.back() == '\r')
        text.pop_back();
    return text;
}

class RecordingSink final : public IRequestSink {
public:
    std::vector<std::string> sent;
    void sendRequest(DeviceMessage message) override { sent.push_back(line(message)); }
};

class ScriptedQuestions final : public IQuestions {
public:
    bool answer = true;
    std::vector<std::string> asked;
    bool askYesNo(std::string_view title, std::string_view text) override {
        asked.push_back(std::string(title) + ": " + std::string(text));
        return answer;
    }
};

void fit(DeviceState& s, int module, std::string_view type, std::string_view serial) {
    HwConfRecord& r = s.settings.hwConf[static_cast<std::size_t>(module)];
    r.module = module;
    r.present = 1;
    r.boardCode.assign(type);
    r.secondText.assign(serial);
}

// A 460 in application mode: main board, AD card in slot 1, DA card of X type
// in slot 3, slot 2 and 4..8 empty except an SDI card in slot 5.
std::unique_ptr<DeviceState> frame() {
    auto s = std::make_unique<DeviceState>();
    s->connected = true;
    s->family = kFamily460;
    s->runMode = kRunModeApplication;
    fit(*s, kModuleMainBoard, "460100A   230115", "4601002303001");
    fit(*s, 9, "460130A   230115", "4601302303011");
    fit(*s, 11, "460230B X 230115", "4602302303013");
    fit(*s, 13, "460210A   230115", "4602102303015");
    s->settings.swVersion[2].first[0].assign("APP");
    s->settings.swVersion[2].second[0].assign("2.1.0.5");
    return s;
}

TEST(CardMakeLetter, OnlyTheNinthCharacterChanges) {
    // The code 460130, variant A and three blanks, then the production date.
    EXPECT_EQ(withMakeLetter("460130A   230115", CardMake::X), "460130A X 230115");
    EXPECT_EQ(withMakeLetter("460130A X 230115", CardMake::Brix), "460130A   230115");
    EXPECT_EQ(withMakeLetter("460130ABCD230115", CardMake::X), "460130ABXD230115");
    // Nine characters are enough; fewer cannot hold the letter and are not padded.
    EXPECT_EQ(withMakeLetter("460130AB ", CardMake::X), "460130ABX");
    EXPECT_EQ(withMakeLetter("460130AB", CardMake::X), std::nullopt);
    EXPECT_EQ(withMakeLetter("", CardMake::Brix), std::nullopt);
}

TEST(CardMakeLetter, WordsOfTheCommandLine) {
    EXPECT_EQ(cardMakeFromWord("x"), CardMake::X);
    EXPECT_EQ(cardMakeFromWord("X"), CardMake::X);
    EXPECT_EQ(cardMakeFromWord("Brix"), CardMake::Brix);
    EXPECT_EQ(cardMakeFromWord("brixx"), std::nullopt);
    EXPECT_EQ(cardMakeFromWord(""), std::nullopt);
}

TEST(CardBoardInfo, RequestCarriesTheWholeRecord) {
    HwConfRecord record;
    record.present = 1;
    record.boardCode.assign("460130A   230115");
    record.secondText.assign("4601302303012");
    EXPECT_EQ(line(cardBoardInfoRequest(2, record, "460130A X 230115")),
              "&sboardinfo,2,1,'460130A X 230115','4601302303012','000000',0");
    EXPECT_EQ(line(cardBoardInfoRequest(8, record, "460130A   230115")),
              "&sboardinfo,2,7,'460130A   230115','4601302303012','000000',0");
}

TEST(CardChangePlan, FittedCardsInSlotOrderWhoseLetterDiffers) {
    auto s = frame();
    fit(*s, 16, "460240A   230115", "4602402303018");
    s->settings.hwConf[13].present = 0; // slot 5: reported, but not fitted
    const CardChangePlan toX = planCardChange(s->settings.hwConf, CardMake::X);
    ASSERT_EQ(toX.changes.size(), 2U);
    EXPECT_EQ(toX.changes[0].slot, 1);
    EXPECT_EQ(toX.changes[0].newType, "460130A X 230115");
    EXPECT_EQ(toX.changes[1].slot, 8);
    EXPECT_EQ(line(toX.changes[1].request),
              "&sboardinfo,2,7,'460240A X 230115','4602402303018','000000',0");
    EXPECT_THAT(toX.leftAlone, IsEmpty());

    const CardChangePlan toBrix = planCardChange(s->settings.hwConf, CardMake::Brix);
    ASSERT_EQ(toBrix.changes.size(), 1U);
    EXPECT_EQ(toBrix.changes[0].slot, 3);
    EXPECT_EQ(toBrix.changes[0].oldType, "460230B X 230115");
    EXPECT_EQ(toBrix.changes[0].newType, "460230B   230115");
}

TEST(CardChangePlan, CardsOfTheMakeAlreadyAndTextsThatCannotTravelSendNothing) {
    auto s = frame();
    for (const int module : {9, 13})
        s->settings.hwConf[static_cast<std::size_t>(module)].boardCode.assign("460130A X 230115");
    EXPECT_THAT(planCardChange(s->settings.hwConf, CardMake::X).changes, IsEmpty());

    // A text the request line would carry changed is not written at all.
    s->settings.hwConf[9].boardCode.assign("460130");
    s->settings.hwConf[11].secondText.assign("46023\x01"
                                             "2303013");
    const CardChangePlan plan = planCardChange(s->settings.hwConf, CardMake::Brix);
    ASSERT_EQ(plan.leftAlone.size(), 2U);
    EXPECT_EQ(plan.leftAlone[0].slot, 1);
    EXPECT_THAT(plan.leftAlone[0].reason, HasSubstr("too short"));
    EXPECT_EQ(plan.leftAlone[1].slot, 3);
    EXPECT_THAT(plan.leftAlone[1].reason, HasSubstr("cannot carry"));
    ASSERT_EQ(plan.changes.size(), 1U);
    EXPECT_EQ(plan.changes[0].slot, 5);
}

class HwConfDialog : public ::testing::Test {
protected:
    std::unique_ptr<DeviceState> state = frame();
    RecordingSink sink;
    ScriptedQuestions questions;

    std::unique_ptr<CHwConfLogic> open() {
        return std::make_unique<CHwConfLogic>(*state, sink, questions);
    }
    static const HwRow& row(const CHwConfLogic& logic, std::string_view module) {
        for (const HwRow& r : logic.rows())
            if (r.module == module)
                return r;
        static const HwRow none;
        ADD_FAILURE() << "no row " << module;
        return none;
    }
    // The frame's answer for a card, after the dispatch has done its part
    // (a confirmation writes the main window's record), then the dialog's turn.
    void reply(CHwConfLogic& logic, int slot, std::string_view type, std::int32_t status) {
        DeviceMessage m = DeviceMessage::request(CommandId::sboardinfo);
        m.flags = FlagReply;
        m.status = status;
        m.setI(1, 2);
        m.setI(2, slot - 1);
        m.setText(fields::kBoardInfoFirst, type);
        if (status == 0)
            state->settings.hwConf[static_cast<std::size_t>(8 + slot)].boardCode.assign(type);
        logic.onDeviceMessage(m, true, decoder);
    }
    CResponseDecoder decoder;
};

TEST_F(HwConfDialog, RowsShowTheTablesWithoutColouringAndAUnitListsItsMainBoardOnly) {
    auto logic = open();
    EXPECT_EQ(logic->rows().size(), 14U);
    EXPECT_EQ(row(*logic, "Card slot 1").typeAndVersion, "460130A   230115");
    EXPECT_EQ(row(*logic, "Main board").swVersions, "APP: 2.1.0.5");
    EXPECT_EQ(row(*logic, "Card slot 2").typeAndVersion, "");
    EXPECT_TRUE(logic->buttonsEnabled());

    state->family = kFamily450;
    auto unit = open();
    ASSERT_EQ(unit->rows().size(), 1U);
    EXPECT_EQ(unit->rows()[0].module, "Main board");
    EXPECT_FALSE(unit->buttonsEnabled());
    EXPECT_FALSE(unit->changeCardsPressed(CardMake::X));
    EXPECT_THAT(questions.asked, IsEmpty());
    EXPECT_THAT(sink.sent, IsEmpty());
}

TEST_F(HwConfDialog, ButtonsNeedApplicationModeAndAFrameWithCardSlots) {
    state->runMode = kRunModeRecovery;
    EXPECT_FALSE(open()->buttonsEnabled());
    state->runMode = kRunModeApplication;
    state->family = kFamily461;
    EXPECT_FALSE(open()->buttonsEnabled());
    EXPECT_EQ(open()->rows().size(), 6U); // no card slot rows
}

TEST_F(HwConfDialog, NoSendsNothingAndYesChangesTheDialogsCopyOnly) {
    auto logic = open();
    questions.answer = false;
    EXPECT_FALSE(logic->changeCardsPressed(CardMake::X));
    EXPECT_THAT(questions.asked, ElementsAre("HW configuration: Change cards to X type"));
    EXPECT_THAT(sink.sent, IsEmpty());
    EXPECT_EQ(row(*logic, "Card slot 1").typeAndVersion, "460130A   230115");

    questions.answer = true;
    EXPECT_TRUE(logic->changeCardsPressed(CardMake::X));
    EXPECT_THAT(sink.sent,
                ElementsAre("&sboardinfo,2,0,'460130A X 230115','4601302303011','000000',0",
                            "&sboardinfo,2,4,'460210A X 230115','4602102303015','000000',0"));
    EXPECT_EQ(row(*logic, "Card slot 1").typeAndVersion, "460130A X 230115");
    EXPECT_EQ(row(*logic, "Card slot 5").typeAndVersion, "460210A X 230115");
    EXPECT_EQ(logic->pendingCount(), 2);
    EXPECT_THAT(logic->notice(), HasSubstr("Waiting for the frame to confirm 2 cards"));
    // The main window's table is the frame's word until it answers.
    EXPECT_EQ(state->settings.hwConf[9].boardCode.view(), "460130A   230115");
}

TEST_F(HwConfDialog, ConfirmationKeepsTheTextAndARefusalRestoresTheFramesRecord) {
    auto logic = open();
    ASSERT_TRUE(logic->changeCardsPressed(CardMake::X));
    ASSERT_EQ(sink.sent.size(), 2U);
    // A poll of the hardware table before the answer does not undo the change on show.
    DeviceMessage poll = DeviceMessage::request(CommandId::ghwconf);
    poll.flags = FlagReply;
    poll.setI(1, 9);
    logic->onDeviceMessage(poll, true, decoder);
    EXPECT_EQ(row(*logic, "Card slot 1").typeAndVersion, "460130A X 230115");

    reply(*logic, 1, "460130A X 230115", 0);
    reply(*logic, 5, "460210A X 230115", 5);
    EXPECT_EQ(logic->pendingCount(), 0);
    EXPECT_EQ(row(*logic, "Card slot 1").typeAndVersion, "460130A X 230115");
    EXPECT_EQ(row(*logic, "Card slot 5").typeAndVersion, "460210A   230115");
    EXPECT_THAT(logic->notice(),
                HasSubstr("refused the new type of the card in slot 5 (status 5)"));
    EXPECT_TRUE(logic->takeChanged());
    EXPECT_FALSE(logic->takeChanged());
}

TEST_F(HwConfDialog, CardsOfTheMakeAlreadyOrALostLinkSendNothing) {
    auto logic = open();
    EXPECT_TRUE(logic->changeCardsPressed(CardMake::Brix));
    ASSERT_EQ(sink.sent.size(), 1U); // only slot 3 was of X type
    sink.sent.clear();
    EXPECT_FALSE(logic->changeCardsPressed(CardMake::Brix));
    EXPECT_THAT(sink.sent, IsEmpty());
    EXPECT_THAT(logic->notice(), HasSubstr("Nothing to change"));

    state->connected = false;
    auto offline = open();
    EXPECT_FALSE(offline->changeCardsPressed(CardMake::X));
    EXPECT_THAT(sink.sent, IsEmpty());
    EXPECT_EQ(row(*offline, "Card slot 1").typeAndVersion, "460130A   230115");
    EXPECT_THAT(offline->notice(), HasSubstr("Not connected"));
}

} // namespace
} // namespace velmar
