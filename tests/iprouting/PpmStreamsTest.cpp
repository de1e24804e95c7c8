#include "iprouting/PpmStreams.h"

#include "IpRoutingFakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

struct PpmRig {
    DeviceState state = test::connectedFrame();
    test::RecordingSink sink;
    test::ScriptedQuestions questions;
    test::FrameLines frame;
    CPpmLogic logic{state, sink, questions};

    void feed(const std::string& line) { frame.feed(logic, line); }
    // "gppminfo": id, then address, port, channels, rate, phase, enable.
    void info(int id, int channels, int enable = 0, int port = 10100) {
        feed(":gppminfo,0," + std::to_string(id) + ",'10.0.0.152'," + std::to_string(port) + "," +
             std::to_string(channels) + ",50,0," + std::to_string(enable));
    }
};

TEST(PpmStreams, OpeningListsAndTheIdReplyAsksEachStream) {
    PpmRig r;
    r.logic.opened();
    EXPECT_THAT(r.sink.take(), ElementsAre("?lppmid"));

    r.info(7, 4, 1, 10200);
    ASSERT_THAT(r.logic.rows(), SizeIs(1));
    const PpmRow& row = r.logic.rows()[0];
    EXPECT_EQ(row.id, 7U);
    EXPECT_EQ(row.address, "10.0.0.152");
    EXPECT_EQ(row.port, "10200");
    EXPECT_EQ(row.channels, "4");
    EXPECT_EQ(row.time, "50");
    EXPECT_EQ(row.phase, "0");
    EXPECT_EQ(row.enable, "1") << "gppminfo carries the enable flag";

    r.info(7, 8, 0, 10200);
    ASSERT_THAT(r.logic.rows(), SizeIs(1)) << "updated, not added";
    EXPECT_EQ(r.logic.rows()[0].channels, "8");

    r.logic.refresh();
    EXPECT_THAT(r.logic.rows(), IsEmpty());
    EXPECT_THAT(r.sink.take(), ElementsAre("?lppmid"));
}

TEST(PpmStreams, QuickCreateMakesConsecutiveStreams) {
    PpmRig r;
    EXPECT_TRUE(r.logic.create().sent);
    EXPECT_TRUE(r.logic.create().sent);
    EXPECT_THAT(r.sink.take(), ElementsAre("&sppmcreate,'10.0.0.152',10100,1,64,50,0",
                                           "&sppmcreate,'10.0.0.152',10101,2,64,50,0"));

    r.feed(":sppmcreate,0,'10.0.0.152',10100,1,64,50,0");
    ASSERT_THAT(r.logic.rows(), SizeIs(1));
    EXPECT_EQ(r.logic.rows()[0].enable, "0");

    PpmCreateSettings s;
    s.id = 40;
    s.address = "10.0.5.5";
    s.port = 12000;
    s.channels = 16;
    s.rate = 100;
    s.phase = true;
    EXPECT_TRUE(r.logic.createWith(s).sent);
    EXPECT_THAT(r.sink.take(), ElementsAre("&sppmcreate,'10.0.5.5',12000,40,16,100,1"));
    EXPECT_EQ(r.logic.quick().nextId, 41U);
    EXPECT_EQ(r.logic.quick().nextPort, 12001);

    s.address = "0.0.0.0";
    EXPECT_FALSE(r.logic.createWith(s).sent) << "no address, no stream";
    s.address = "10.0.5.5";
    s.port = 999;
    EXPECT_EQ(r.logic.createWith(s).message, "The port must be 1000 to 65535");
    s.port = 12000;
    s.channels = 256;
    EXPECT_FALSE(r.logic.createWith(s).sent);
    s.channels = 16;
    s.rate = 9;
    EXPECT_FALSE(r.logic.createWith(s).sent);
    EXPECT_THAT(r.sink.take(), IsEmpty());
    EXPECT_EQ(r.logic.quick().nextId, 41U) << "a refused dialog changes nothing";
}

TEST(PpmStreams, MenuCommandsGoLastSelectedFirst) {
    PpmRig r;
    r.info(3, 4, 0);
    r.info(5, 2, 1);

    r.logic.quick().firstChannel = 17;
    r.logic.quick().channels = 64;
    EXPECT_TRUE(r.logic.assignChannels({0, 1}).sent);
    EXPECT_THAT(r.sink.take(), ElementsAre("&sppmchn,5,1,17", "&sppmchn,5,2,18", "&sppmchn,3,1,17",
                                           "&sppmchn,3,2,18", "&sppmchn,3,3,19", "&sppmchn,3,4,20"))
        << "only the stream's own slots";
    r.logic.quick().channels = 1;
    r.logic.deassignChannels({0});
    EXPECT_THAT(r.sink.take(), ElementsAre("&sppmchn,3,1,0")) << "the field is smaller";

    r.logic.toggleEnable({0, 1});
    EXPECT_THAT(r.sink.take(), ElementsAre("&sppmenable,5,0", "&sppmenable,3,1"));

    r.questions.answer = false;
    EXPECT_FALSE(r.logic.removeSelected({0, 1}).sent);
    EXPECT_THAT(r.questions.asked, ElementsAre("PPM streams: ARE YOU SURE"));
    EXPECT_THAT(r.sink.take(), IsEmpty()) << "No sends nothing";
    r.questions.answer = true;
    EXPECT_TRUE(r.logic.removeSelected({0, 1}).sent);
    EXPECT_THAT(r.sink.take(), ElementsAre("&sppmdelete,5", "&sppmdelete,3"));

    r.feed(":sppmenable,0,3,1");
    EXPECT_EQ(r.logic.rows()[0].enable, "1");
    r.feed(":sppmdelete,0,3");
    ASSERT_THAT(r.logic.rows(), SizeIs(1));
    EXPECT_EQ(r.logic.rows()[0].id, 5U);
    r.feed(":sppmdelete,2,5");
    EXPECT_THAT(r.logic.rows(), SizeIs(1)) << "a refusal removes nothing";
    EXPECT_EQ(r.logic.notice(), "The frame refused to remove stream 5 (status 2)");
}

TEST(PpmStreams, AssignmentListAndSlotBounds) {
    PpmRig r;
    r.info(3, 3);
    r.logic.showAssignment(3);
    EXPECT_THAT(r.sink.take(), ElementsAre("?gppmchn,3,1", "?gppmchn,3,2", "?gppmchn,3,3"));
    r.feed(":gppmchn,0,3,1,9");
    r.feed(":gppmchn,0,3,2,2048");
    r.feed(":gppmchn,0,3,0,5");    // no slot 0
    r.feed(":gppmchn,0,3,256,5");  // no slot 256
    r.feed(":gppmchn,0,3,3,2049"); // beyond the bank
    EXPECT_EQ(r.logic.assignmentStream(), 3U);
    EXPECT_EQ(r.logic.assignmentText(), "9,2048,0");
    EXPECT_EQ(r.logic.stream(3)->slots[0], 0);
    EXPECT_EQ(r.logic.stream(3)->slots[255], 0);

    r.feed(":gppmextchn,0,3,3,5,1");
    EXPECT_EQ(r.logic.assignmentText(), "9,2048,2053") << "the extended bank adds 2048";

    // A stream not in the table: 64 slots asked, in two banks on a big frame.
    r.state.family = kFamily460;
    r.state.settings.swVersion[kModuleMainBoard].second[0].assign("2.0.0.1");
    r.logic.showAssignment(9);
    const auto sent = r.sink.take();
    ASSERT_THAT(sent, SizeIs(64));
    EXPECT_EQ(sent[0], "?gppmextchn,9,1");

    // A channel above the first bank is set in the extended one.
    r.logic.quick().firstChannel = 2048;
    r.logic.quick().channels = 2;
    r.logic.assignChannels({0});
    EXPECT_THAT(r.sink.take(), ElementsAre("&sppmchn,3,1,2048", "&sppmextchn,3,2,1,1"));
}

TEST(PpmStreams, TableHoldsThirtyTwoStreams) {
    PpmRig r;
    for (int id = 1; id <= 33; ++id)
        r.info(id, 2);
    EXPECT_THAT(r.logic.rows(), SizeIs(32));
    EXPECT_EQ(r.logic.stream(33), nullptr);
    EXPECT_EQ(r.logic.notice(), "The frame reports more than 32 streams; stream 33 is not shown");
    r.feed(":sppmdelete,0,4");
    r.info(33, 2);
    EXPECT_NE(r.logic.stream(33), nullptr) << "the freed entry takes it";
}

TEST(PpmStreams, CreateSaysWhereItGoesAndTheFormNamesTheField) {
    PpmRig r;
    EXPECT_EQ(r.logic.createTarget(), "ID 1 to 10.0.0.152:10100");
    r.logic.create();
    EXPECT_EQ(r.logic.createTarget(), "ID 2 to 10.0.0.152:10101");

    const auto with = [](auto change) {
        PpmCreateSettings s;
        change(s);
        return s;
    };
    const std::pair<PpmCreateSettings, PpmField> rows[] = {
        {with([](auto& s) { s.id = 0; }), PpmField::StreamId},
        {with([](auto& s) { s.address = "10.0.0"; }), PpmField::Address},
        {with([](auto& s) { s.address = "0.0.0.0"; }), PpmField::Address},
        {with([](auto& s) { s.port = 999; }), PpmField::Port},
        {with([](auto& s) { s.channels = 256; }), PpmField::Channels},
        {with([](auto& s) { s.rate = 60001; }), PpmField::Rate},
    };
    for (const auto& [settings, field] : rows) {
        const PpmOutcome out = r.logic.createWith(settings);
        EXPECT_FALSE(out.sent);
        EXPECT_EQ(out.field, field) << out.message;
    }
    EXPECT_EQ(r.logic.createTarget(), "ID 2 to 10.0.0.152:10101") << "refusals change nothing";

    r.state.connected = false;
    PpmCreateSettings s;
    s.address = "10.0.7.7";
    EXPECT_EQ(r.logic.createWith(s).message, "Not connected");
    EXPECT_EQ(r.logic.createTarget(), "ID 2 to 10.0.0.152:10101") << "not taken while offline";
    r.sink.take();
}

} // namespace
} // namespace velmar
