#include "session/RouteTracker.h"

#include "protocol/JsonWriter.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using O = CRouteTracker::Outcome;

DeviceMessage reply(CommandId id, std::int32_t status, int output, int input) {
    DeviceMessage m = DeviceMessage::request(id);
    m.flags = FlagReply;
    m.status = status;
    m.setI(1, output);
    m.setI(2, input);
    return m;
}

TEST(RouteTracker, OnlyTheFramesScrossReplyDecides) {
    CRouteTracker t;
    t.expect(5, 17);
    t.expect(6, 0);
    t.expect(7, 3);
    // Another client's change and a read are not answers.
    EXPECT_FALSE(t.onMessage(reply(CommandId::gcross, 0, 5, 17), false));
    EXPECT_FALSE(t.onMessage(reply(CommandId::gcross, 0, 5, 17), true));
    EXPECT_FALSE(t.onMessage(reply(CommandId::scross, 0, 5, 17), false));
    EXPECT_FALSE(t.onMessage(reply(CommandId::scross, 0, 99, 1), true)); // never asked
    EXPECT_FALSE(t.allAnswered());

    EXPECT_TRUE(t.onMessage(reply(CommandId::scross, 0, 5, 17), true));
    EXPECT_TRUE(t.onMessage(reply(CommandId::scross, 1, 6, 0), true));
    // Status 0, but the frame reports another input than asked: not done.
    EXPECT_TRUE(t.onMessage(reply(CommandId::scross, 0, 7, 4), true));
    EXPECT_FALSE(t.onMessage(reply(CommandId::scross, 0, 5, 17), true)) << "answered already";
    EXPECT_TRUE(t.allAnswered());
    EXPECT_FALSE(t.allConfirmed());

    const auto& e = t.entries();
    EXPECT_EQ(e[0].outcome, O::Confirmed);
    EXPECT_EQ(e[1].outcome, O::Refused);
    EXPECT_EQ(e[1].status, 1);
    EXPECT_EQ(e[2].outcome, O::Refused);
    EXPECT_EQ(e[2].reported, 4);
}

TEST(RouteTracker, SameOutputTwiceMatchesOldestFirstAndRestIsUnanswered) {
    CRouteTracker t;
    t.expect(5, 1);
    t.expect(5, 2);
    t.expect(8, 8);
    EXPECT_TRUE(t.onMessage(reply(CommandId::scross, 0, 5, 1), true));
    EXPECT_TRUE(t.onMessage(reply(CommandId::scross, 0, 5, 2), true));
    EXPECT_EQ(t.entries()[0].outcome, O::Confirmed);
    EXPECT_EQ(t.entries()[1].outcome, O::Confirmed);
    EXPECT_FALSE(t.allAnswered());
    t.giveUp();
    EXPECT_TRUE(t.allAnswered());
    EXPECT_EQ(t.entries()[2].outcome, O::Unanswered);
    EXPECT_EQ(t.count(O::Unanswered), 1);
    EXPECT_FALSE(t.onMessage(reply(CommandId::scross, 0, 8, 8), true)) << "too late to count";
}

TEST(RouteTracker, ReportsNameEveryOutcome) {
    CRouteTracker t;
    t.expect(5, 17);
    t.expect(6, 513);
    t.expect(7, 0);
    t.expect(8, 2);
    t.onMessage(reply(CommandId::scross, 0, 5, 17), true);
    t.onMessage(reply(CommandId::scross, 3, 6, 0), true);
    t.onMessage(reply(CommandId::scross, 0, 7, 9), true);
    t.giveUp();
    EXPECT_EQ(routeOutcomeText(t),
              "output 5 CARD1  05 <- input 17 CARD1  17: confirmed\n"
              "output 6 CARD1  06 <- input 513 AES  01: refused (status 3)\n"
              "output 7 CARD1  07 <- nothing: refused (the frame reports input 9 CARD1  09)\n"
              "output 8 CARD1  08 <- input 2 CARD1  02: unanswered\n"
              "1 confirmed, 2 refused, 1 unanswered\n");
    CJsonWriter json;
    writeRouteOutcomeJson(json, t);
    EXPECT_EQ(json.text(),
              R"({"routes":[{"output":5,"input":17,"result":"confirmed","status":0,"reported":17},)"
              R"({"output":6,"input":513,"result":"refused","status":3},)"
              R"({"output":7,"input":0,"result":"refused","status":0,"reported":9},)"
              R"({"output":8,"input":2,"result":"unanswered"}],)"
              R"("confirmed":1,"refused":2,"unanswered":1})");
}

} // namespace
} // namespace velmar
