#include "iprouting/FlowControl.h"

#include "IpRoutingFakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

struct FlowRig {
    DeviceState state = test::connectedFrame();
    test::RecordingSink sink;
    test::ScriptedQuestions questions;
    test::FrameLines frame;
    CFlowLogic logic{state, sink, questions, {"10.0.1.20", "10.0.1.21"}};

    FlowRig() {
        state.settings.ipAudio.primary.ipAddress.assign("10.0.2.20");
        state.live.maxLatency = 5000;
    }
    void feed(const std::string& line) { frame.feed(logic, line); }
    void createTx(int id, int slots, int port = kFlowPortFirst,
                  std::string destination = "10.0.9.1") {
        logic.fields().txId = id;
        logic.fields().txSlots = slots;
        logic.fields().txPort = port;
        logic.fields().txDestination = std::move(destination);
    }
};

TEST(FlowControl, OpeningAsksStateThenEveryFlowTxBeforeRx) {
    FlowRig r;
    r.state.settings.ipAudio.moduleName.assign("DANTE-1");
    r.logic.fields().txDestination = "10.0.0.5";
    r.logic.opened();
    const auto sent = r.sink.take();
    ASSERT_THAT(sent, SizeIs(4 + 64)) << "a refresh is 64 requests";
    EXPECT_THAT(std::vector(sent.begin(), sent.begin() + 6),
                ElementsAre("?guniclkip", "?guniclkstip", "?grxportrng", "?gmaxlatencyip,'DANTE-1'",
                            "?gcrtxflow,1", "?gcrrxflow,1"));
    EXPECT_EQ(sent.back(), "?gcrrxflow,32");
    EXPECT_EQ(r.logic.fields().txDestination, "0.0.0.0");

    r.state.settings.ipAudio.moduleName.clear();
    r.logic.opened();
    EXPECT_EQ(r.sink.take()[3], "?gmaxlatencyip,'localhost'");
}

TEST(FlowControl, RefreshWithNoFlowsLeavesBothListsEmpty) {
    FlowRig r;
    r.feed(":gcrtxflow,0,2,4,'10.0.9.1',14530");
    r.logic.refresh();
    EXPECT_THAT(r.sink.take(), SizeIs(64 + 4)) << "64 flow reads, after the 4 slot reads";
    for (int id = 1; id <= kFlowCount; ++id) {
        r.feed(":gcrtxflow,0," + std::to_string(id) + ",0,'',0");
        r.feed(":gcrrxflow,0," + std::to_string(id) + ",0,0,0");
    }
    EXPECT_THAT(r.logic.rows(FlowDirection::Tx), IsEmpty());
    EXPECT_THAT(r.logic.rows(FlowDirection::Rx), IsEmpty());
    EXPECT_FALSE(r.logic.record(FlowDirection::Tx, 2).exists());
}

TEST(FlowControl, FlowRepliesMakeRowsAskSlotsAndShowChannels) {
    FlowRig r;
    r.feed(":gcrtxflow,0,3,4,'10.0.9.1',14600");
    EXPECT_THAT(r.sink.take(), ElementsAre("?gtxflowslot,3,0", "?gtxflowslot,3,1",
                                           "?gtxflowslot,3,2", "?gtxflowslot,3,3"));
    r.feed(":gtxflowslot,0,3,0,9");
    r.feed(":gtxflowslot,0,3,1,10");
    r.feed(":gtxflowslot,0,3,8,99"); // no slot 8: ignored
    r.feed(":gtxflowslot,4,3,2,77"); // error status: ignored
    ASSERT_THAT(r.logic.rows(FlowDirection::Tx), SizeIs(1));
    const FlowRow& row = r.logic.rows(FlowDirection::Tx)[0];
    EXPECT_EQ(row.id, 3);
    EXPECT_EQ(row.slots, "4");
    EXPECT_EQ(row.port, "14600");
    EXPECT_EQ(row.addressOrLatency, "10.0.9.1");
    EXPECT_EQ(row.channels, "9, 10, 0, 0");

    r.feed(":grxflowslot,0,5,0,33");
    r.feed(":gcrrxflow,0,5,2,14531,1000");
    ASSERT_THAT(r.logic.rows(FlowDirection::Rx), SizeIs(1));
    EXPECT_EQ(r.logic.rows(FlowDirection::Rx)[0].addressOrLatency, "1000");
    EXPECT_EQ(r.logic.rows(FlowDirection::Rx)[0].channels, "33, 0");

    // The same flow again replaces its row; an error reply to a read changes nothing.
    r.feed(":gcrtxflow,0,3,2,'10.0.9.2',14600");
    r.feed(":gcrtxflow,5");
    ASSERT_THAT(r.logic.rows(FlowDirection::Tx), SizeIs(1));
    EXPECT_EQ(r.logic.rows(FlowDirection::Tx)[0].addressOrLatency, "10.0.9.2");
    // A set reply with no slots removes the flow.
    r.feed(":scrtxflow,0,3,0,'10.0.9.2',14600");
    EXPECT_THAT(r.logic.rows(FlowDirection::Tx), IsEmpty());
    r.feed(":gcrtxflow,0,33,2,'10.0.9.2',14600");
    EXPECT_THAT(r.logic.rows(FlowDirection::Tx), IsEmpty()) << "no flow 33";
}

TEST(FlowControl, TxCreateAssignsChannelsOnlyForEvenSlotCounts) {
    struct Case {
        int id, slots;
        std::vector<int> channels;
    };
    const Case cases[] = {
        {3, 8, {17, 18, 19, 20, 21, 22, 23, 24}},
        {9, 8, {1, 2, 3, 4, 5, 6, 7, 8}},
        {11, 6, {61, 62, 63, 64, 65, 66}},
        {1, 2, {1, 2}},
        {1, 1, {}},
        {2, 3, {}},
        {4, 5, {}},
        {5, 7, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.id) + "/" + std::to_string(c.slots));
        FlowRig r;
        r.createTx(c.id, c.slots, 14540);
        ASSERT_TRUE(r.logic.createTx().sent);
        const auto sent = r.sink.take();
        ASSERT_THAT(sent, SizeIs(1 + c.channels.size()));
        EXPECT_EQ(sent[0], "&scrtxflow," + std::to_string(c.id) + "," + std::to_string(c.slots) +
                               ",'10.0.9.1',14540");
        for (std::size_t j = 0; j < c.channels.size(); ++j)
            EXPECT_EQ(sent[1 + j], "&stxflowslot," + std::to_string(c.id) + "," +
                                       std::to_string(j) + "," + std::to_string(c.channels[j]));
    }
}

TEST(FlowControl, TxCreateRefusals) {
    FlowRig r;
    r.feed(":gcrtxflow,0,2,4,'10.0.9.1',14530");
    r.sink.take();
    struct Case {
        int id, slots, port;
        std::string destination;
        std::string message;
    };
    const Case cases[] = {
        {2, 4, 14540, "10.0.9.1", "ID in use"},
        {3, 4, 14530, "10.0.9.1", "Port in use"},
        {1, 0, 14540, "10.0.9.1", "A flow carries 1 to 8 slots"},
        {1, 9, 14540, "10.0.9.1", "A flow carries 1 to 8 slots"},
        {33, 2, 14540, "10.0.9.1", "The flow ID must be 1 to 32"},
        {1, 2, 14592, "10.0.9.1", "The port must be 14528 to 14591"},
        {1, 2, 14540, "0.0.0.0", "Enter the IP address of the receiving Dante device"},
        {1, 2, 14540, "255.255.255.255", "Enter the IP address of the receiving Dante device"},
        {1, 2, 14540, "10.0.9", "Enter the IP address of the receiving Dante device"},
        {1, 2, 14540, "10.0.1.20", "IP address is the frame's own address"},
        {1, 2, 14540, "10.0.2.20", "IP address is the frame's own address"},
        {1, 2, 14540, "10.0.1.21", "IP address is not a valid Dante device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message + " " + c.destination);
        r.createTx(c.id, c.slots, c.port, c.destination);
        const FlowOutcome out = r.logic.createTx();
        EXPECT_FALSE(out.sent);
        EXPECT_EQ(out.message, c.message);
        EXPECT_THAT(r.sink.take(), IsEmpty());
    }
    r.state.connected = false;
    r.createTx(4, 2);
    EXPECT_FALSE(r.logic.createTx().sent);
    r.state.connected = true;
    r.state.programming = true;
    EXPECT_FALSE(r.logic.createTx().sent);
    EXPECT_THAT(r.sink.take(), IsEmpty());
}

TEST(FlowControl, RxCreateChecksLatencyAgainstTheModulesMaximum) {
    FlowRig r;
    r.feed(":gcrrxflow,0,1,2,14528,1000");
    r.sink.take();
    r.logic.fields().rxId = 1;
    EXPECT_EQ(r.logic.createRx().message, "ID in use");
    r.logic.fields().rxId = 2;
    r.logic.fields().rxPort = 14528;
    EXPECT_EQ(r.logic.createRx().message, "Port in use");
    r.logic.fields().rxPort = 14529;
    r.logic.fields().rxLatency = 5001;
    EXPECT_EQ(r.logic.createRx().message, "Rx latency is above maximum which is 5000 us");
    EXPECT_THAT(r.sink.take(), IsEmpty());

    r.logic.fields().rxLatency = 5000;
    r.logic.fields().rxSlots = 2;
    ASSERT_TRUE(r.logic.createRx().sent);
    EXPECT_THAT(r.sink.take(), ElementsAre("&scrrxflow,2,2,14529,5000", "&srxflowslot,2,0,3",
                                           "&srxflowslot,2,1,4"));

    // No maximum reported yet: every latency above 0 is refused, 0 passes.
    r.state.live.maxLatency = 0;
    r.logic.fields().rxId = 3;
    r.logic.fields().rxPort = 14535;
    r.logic.fields().rxLatency = 1;
    EXPECT_EQ(r.logic.createRx().message, "Rx latency is above maximum which is 0 us");
    r.logic.fields().rxLatency = 0;
    EXPECT_TRUE(r.logic.createRx().sent);
}

TEST(FlowControl, FieldsAdvanceWithCreatedFlowsAndStopAtTheirEnds) {
    FlowRig r;
    for (int k = 0; k < 3; ++k) {
        const FlowFields f = r.logic.fields();
        r.logic.fields().txSlots = 2;
        r.logic.fields().txDestination = "10.0.9.1";
        ASSERT_TRUE(r.logic.createTx().sent);
        EXPECT_EQ(r.sink.take()[0], "&scrtxflow," + std::to_string(f.txId) + ",2,'10.0.9.1'," +
                                        std::to_string(f.txPort));
        r.feed(":scrtxflow,0," + std::to_string(f.txId) + ",2,'10.0.9.1'," +
               std::to_string(f.txPort));
        r.sink.take();
    }
    EXPECT_EQ(r.logic.fields().txId, 4);
    EXPECT_EQ(r.logic.fields().txPort, kFlowPortFirst + 3);

    // A flow that is not the field's changes nothing.
    r.feed(":gcrtxflow,0,9,2,'10.0.9.1',14560");
    EXPECT_EQ(r.logic.fields().txId, 4);
    EXPECT_EQ(r.logic.fields().txPort, kFlowPortFirst + 3);

    r.logic.fields().txId = 32;
    r.logic.fields().txPort = kFlowPortLast;
    r.feed(":scrtxflow,0,32,2,'10.0.9.1',14591");
    EXPECT_EQ(r.logic.fields().txId, 32);
    EXPECT_EQ(r.logic.fields().txPort, kFlowPortLast);

    r.logic.fields().rxId = 31;
    r.logic.fields().rxPort = 14590;
    r.feed(":scrrxflow,0,31,2,14590,1000");
    EXPECT_EQ(r.logic.fields().rxId, 32);
    EXPECT_EQ(r.logic.fields().rxPort, 14591);
    // A deleted flow advances nothing.
    r.feed(":scrrxflow,0,32,0,14591,1000");
    EXPECT_EQ(r.logic.fields().rxId, 32);
}

TEST(FlowControl, DeleteFlowAndDeleteAll) {
    FlowRig r;
    r.feed(":gcrtxflow,0,1,2,'10.0.9.1',14528");
    r.feed(":gcrtxflow,0,4,2,'10.0.9.4',14531");
    r.feed(":gcrrxflow,0,2,2,14529,900");
    r.feed(":gcrrxflow,0,7,2,14533,800");
    r.sink.take();

    EXPECT_TRUE(r.logic.deleteFlow(1, 0).sent) << "Tx first";
    EXPECT_THAT(r.sink.take(), ElementsAre("&scrtxflow,4,0,'10.0.9.4',14531"));
    EXPECT_TRUE(r.logic.deleteFlow(-1, 0).sent);
    EXPECT_THAT(r.sink.take(), ElementsAre("&scrrxflow,2,0,14529,900"));
    EXPECT_FALSE(r.logic.deleteFlow(-1, 5).sent);

    r.questions.answer = false;
    EXPECT_FALSE(r.logic.deleteAll().sent);
    EXPECT_THAT(r.questions.asked, ElementsAre("IP flows: Delete all Rx/Tx flows"));
    EXPECT_THAT(r.sink.take(), IsEmpty());

    r.questions.answer = true;
    EXPECT_TRUE(r.logic.deleteAll().sent);
    EXPECT_THAT(r.sink.take(),
                ElementsAre("&scrrxflow,2,0,14529,900", "&scrrxflow,7,0,14533,800",
                            "&scrtxflow,1,0,'10.0.9.1',14528", "&scrtxflow,4,0,'10.0.9.4',14531"));

    // Both lists empty: no question, nothing sent.
    for (const char* line : {":scrrxflow,0,2,0,14529,900", ":scrrxflow,0,7,0,14533,800",
                             ":scrtxflow,0,1,0,'10.0.9.1',14528", ":scrtxflow,0,4,0,'',14531"})
        r.feed(line);
    r.questions.asked.clear();
    EXPECT_FALSE(r.logic.deleteAll().sent);
    EXPECT_THAT(r.questions.asked, IsEmpty());
    EXPECT_THAT(r.sink.take(), IsEmpty());
}

TEST(FlowControl, UnicastClockingAndRefusals) {
    FlowRig r;
    r.feed(":guniclkip,0,1");
    EXPECT_TRUE(r.logic.unicastClock());
    r.feed(":guniclkip,3");
    EXPECT_FALSE(r.logic.unicastClock()) << "0 on an error reply";

    r.feed(":guniclkstip,0,1,locked to 10.0.9.1");
    EXPECT_EQ(r.logic.unicastStatus(), "") << "our own request's reply changes nothing";
    r.feed("!guniclkstip,0,1,locked to 10.0.9.1");
    EXPECT_EQ(r.logic.unicastStatus(), "locked to 10.0.9.1");

    r.logic.unicastClockClicked(true);
    EXPECT_THAT(r.sink.take(), ElementsAre("&suniclkip,1", "?guniclkstip"));
    r.logic.unicastClockClicked(false);
    EXPECT_THAT(r.sink.take(), ElementsAre("&suniclkip,0", "?guniclkstip"));

    EXPECT_TRUE(r.logic.notice().empty());
    r.feed(":scrtxflow,1");
    EXPECT_EQ(r.logic.notice(), "The frame refused the flow change (status 1)");
}

TEST(FlowControl, ARefusedChangeListsNothingAndRereadsTheFlow) {
    FlowRig r;
    r.feed(":scrrxflow,5,4,2,14528,1000");
    EXPECT_THAT(r.logic.rows(FlowDirection::Rx), IsEmpty()) << "the echo of a refused flow";
    EXPECT_FALSE(r.logic.record(FlowDirection::Rx, 4).exists());
    EXPECT_EQ(r.logic.fields().rxId, 1) << "nothing advanced";
    EXPECT_EQ(r.logic.notice(), "The frame refused the flow change (status 5)");
    EXPECT_THAT(r.sink.take(), ElementsAre("?gcrrxflow,4"));

    r.feed(":gcrtxflow,0,2,2,'10.0.9.1',14530");
    r.feed(":gtxflowslot,0,2,1,4");
    r.sink.take();
    r.feed(":stxflowslot,1,2,1,60");
    EXPECT_EQ(r.logic.rows(FlowDirection::Tx)[0].channels, "0, 4");
    EXPECT_THAT(r.sink.take(), ElementsAre("?gtxflowslot,2,1"));
}

} // namespace
} // namespace velmar
