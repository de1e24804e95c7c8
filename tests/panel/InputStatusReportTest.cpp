#include "panel/InputStatusReport.h"

#include "protocol/JsonWriter.h"
#include "engine/CodeTables.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

DeviceState frameWithCards() {
    DeviceState s;
    s.family = kFamily460;
    for (int input = 1; input <= kMainInputs; ++input) {
        s.live.mainInputStatus[std::size_t(input)].index = input;
        s.live.mainInputStatus[std::size_t(input)].value.assign("--A");
    }
    s.settings.cards[1].cardType = kCardTypeSdi;
    s.settings.cards[3].cardType = kCardTypeAd2;
    s.live.sdiRxStatus[0] = {1, 1, 1, 2, 2};
    s.live.sdiRxStatus[1] = {1, 2, 0, 0, 0};
    return s;
}

TEST(InputStatusReport, TablesAndTextFollowTheDialog) {
    DeviceState s = frameWithCards();
    const auto tables = inputStatusTables(s);
    ASSERT_EQ(tables.size(), 3U) << "main board, SDI and AD; no AES or MADI card";
    EXPECT_EQ(tables[1].name, "SDI");
    EXPECT_EQ(tables[2].rows.size(), 2U);
    EXPECT_EQ(unreportedInputs(tables), 0);

    const std::string text = inputStatusText(s);
    EXPECT_THAT(text, HasSubstr("Main board\nInput  Signal error  Sync error  Active\n"));
    EXPECT_THAT(text, HasSubstr("SDI cards\nInput       Locked  Format   Frame rate\n"
                                "Slot 1 - 1  yes     HD SDI   25 Hz\n"
                                "Slot 1 - 2  no      invalid  23.98 Hz\n"));
    EXPECT_THAT(text, HasSubstr("Slot 3 - 2  no      no\n"));
    EXPECT_THAT(text, Not(HasSubstr("not reported")));

    s.family = kFamily461;
    EXPECT_EQ(inputStatusTables(s).size(), 1U);
    EXPECT_THAT(inputStatusText(s), HasSubstr("460 frames only"));
}

TEST(InputStatusReport, UnreportedAndHostileTexts) {
    DeviceState s = frameWithCards();
    s.live.mainInputStatus[5] = {};
    s.live.mainInputStatus[6].value.assign("\x1b[2");
    const auto tables = inputStatusTables(s);
    EXPECT_EQ(unreportedInputs(tables), 1);
    const std::string text = inputStatusText(s);
    EXPECT_THAT(text, HasSubstr("AES 5  ?             ?           ?\n"));
    EXPECT_THAT(text, HasSubstr("? = not reported by the frame"));
    EXPECT_THAT(text, Not(HasSubstr("\x1b"))) << "frame texts are made safe for a terminal";
}

TEST(InputStatusReport, Json) {
    DeviceState s = frameWithCards();
    s.live.mainInputStatus[2] = {};
    CJsonWriter out;
    writeInputStatusJson(out, s);
    const std::string doc = out.text();
    EXPECT_THAT(doc,
                HasSubstr(R"({"family":0,"main":[{"number":1,"input":"AES 1",)"
                          R"("signalError":"","syncError":"","active":"yes","reported":true})"));
    EXPECT_THAT(doc, HasSubstr(R"({"number":2,"input":"AES 2","signalError":"?","syncError":"?",)"
                               R"("active":"?","reported":false})"));
    EXPECT_THAT(doc, HasSubstr(R"({"kind":"SDI","slot":1,"number":1,"input":"Slot 1 - 1",)"
                               R"("locked":"yes","format":"HD SDI","frameRate":"25 Hz",)"
                               R"("reported":true})"));
    EXPECT_THAT(doc, HasSubstr(R"({"kind":"AD","slot":3,"number":2,"input":"Slot 3 - 2",)"
                               R"("signal":"no","overload":"no","reported":true}]})"));
}

TEST(InputStatusReport, WatchTellsOnlyWhatChanged) {
    DeviceState s = frameWithCards();
    CInputStatusWatch watch(s);
    EXPECT_THAT(watch.changes(), IsEmpty());

    s.live.mainInputStatus[3].value.assign("ESa");
    s.live.sdiRxStatus[1] = {1, 2, 1, 3, 7};
    auto changes = watch.changes();
    ASSERT_EQ(changes.size(), 2U);
    EXPECT_EQ(inputStatusChangeText(changes[0]),
              R"(AES 3: Signal error "error", Sync error "error", Active "no")");
    EXPECT_EQ(inputStatusChangeText(changes[1]),
              R"(SDI Slot 1 - 2: Locked "yes", Format "3G SDI", Frame rate "60 Hz")");
    CJsonWriter out;
    writeInputStatusChangeJson(out, changes[0]);
    EXPECT_EQ(out.text(), R"({"number":3,"input":"AES 3","signalError":"error",)"
                          R"("syncError":"error","active":"no","reported":true})");
    EXPECT_THAT(watch.changes(), IsEmpty()) << "told once";

    // A card that shows up is told row by row.
    s.settings.cards[8].cardType = kCardTypeMadi;
    changes = watch.changes();
    ASSERT_EQ(changes.size(), 2U);
    EXPECT_EQ(inputStatusChangeText(changes[1]),
              R"(MADI Slot 8 - 2: Signal error "?", Sync error "?", Active "?")");
}

} // namespace
} // namespace velmar
