// velmarctl's flow, dante and ppm commands against a simulated frame with a
// Dante module, run in this process so the frame and the command share one
// event loop.

#include "CtlSupport.h"
#include "IntegrationSupport.h"
#include "ctl/CCtlRunner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>

namespace velmar {
namespace {

using framesim::CSimulatedFrame;

constexpr const char* kFrame = "127.0.0.2";

class CtlIpRouting : public test::CtlInProcess {
protected:
    void SetUp() override {
        frame = test::startFrame("460", kFrame,
                                 [](framesim::FrameProfile& p) { p.ipMaxLatency = 5000; });
        ASSERT_TRUE(frame);
    }
    DeviceMessage frameValue(CommandId get, std::initializer_list<int> address) const {
        DeviceMessage a;
        int slot = 1;
        for (const int v : address)
            a.setI(slot++, v);
        return frame->model().current(get, a);
    }
    bool has(std::string_view text) const { return out.find(text) != std::string::npos; }

    std::unique_ptr<CSimulatedFrame> frame;
};

TEST_F(CtlIpRouting, FlowsAreCreatedListedAndDeleted) {
    ASSERT_EQ(run({"flows", kFrame}), kExitOk) << err;
    EXPECT_EQ(out, "Tx flows\n  none\nRx flows\n  none\n");

    ASSERT_EQ(run({"flow", "create", kFrame, "tx", "3", "8", "10.0.9.1", "14530"}), kExitOk)
        << err << out;
    EXPECT_TRUE(has("scrtxflow,3,8,'10.0.9.1',14530: confirmed\n")) << out;
    EXPECT_TRUE(has("stxflowslot,3,7,24: confirmed\n")) << out;
    EXPECT_TRUE(has("9 confirmed, 0 refused, 0 unanswered\n")) << out;
    ASSERT_EQ(run({"flow", "create", kFrame, "rx", "1", "2", "14528", "1000"}), kExitOk) << err;

    ASSERT_EQ(run({"flows", kFrame}), kExitOk) << err;
    EXPECT_EQ(out, "Tx flows\n  3: 8 slots, port 14530, to 10.0.9.1, channels 17, 18, 19, 20, "
                   "21, 22, 23, 24\nRx flows\n  1: 2 slots, port 14528, latency 1000 us, "
                   "channels 1, 2\n");
    ASSERT_EQ(run({"flows", kFrame, "--json"}), kExitOk) << err;
    const QJsonArray tx = json()["tx"].toArray();
    ASSERT_EQ(tx.size(), 1) << out;
    EXPECT_EQ(tx[0].toObject()["address"].toString(), QStringLiteral("10.0.9.1"));
    EXPECT_EQ(tx[0].toObject()["channels"].toArray()[7].toInt(), 24);

    ASSERT_EQ(run({"flow", "delete", kFrame, "tx", "3"}), kExitOk) << err;
    EXPECT_EQ(frameValue(CommandId::gcrtxflow, {3}).i(2), 0);
    ASSERT_EQ(run({"flow", "delete", kFrame, "rx", "all"}), kExitOk) << err;
    EXPECT_EQ(frameValue(CommandId::gcrrxflow, {1}).i(2), 0);
}

TEST_F(CtlIpRouting, RefusalsAndUsageErrors) {
    ASSERT_EQ(run({"flow", "create", kFrame, "tx", "3", "2", "10.0.9.1", "14530"}), kExitOk);
    // Checked here before anything is sent.
    EXPECT_EQ(run({"flow", "create", kFrame, "tx", "3", "2", "10.0.9.2", "14531"}), kExitFrame);
    EXPECT_EQ(err, "velmarctl: ID in use\n");
    EXPECT_EQ(run({"flow", "delete", kFrame, "tx", "4"}), kExitFrame);
    EXPECT_EQ(err, "velmarctl: there is no Tx flow 4\n");
    // Refused by the frame: a route while automatic routing is off.
    EXPECT_EQ(run({"dante", "route", kFrame, "3", "studio-b", "5", "--json"}), kExitFrame);
    const QJsonArray requests = json()["requests"].toArray();
    ASSERT_EQ(requests.size(), 1) << out;
    EXPECT_EQ(requests[0].toObject()["result"].toString(), QStringLiteral("refused"));

    EXPECT_EQ(run({"flow", "create", kFrame, "tx", "3", "9", "10.0.9.1", "14530"}), kExitUsage);
    EXPECT_NE(err.find("SLOTS must be 1 to 8, not '9'"), std::string::npos) << err;
    EXPECT_EQ(run({"flow", "delete", kFrame, "up", "1"}), kExitUsage);
    EXPECT_EQ(run({"dante", "route", kFrame, "3", "studio,b", "5"}), kExitUsage);
    EXPECT_NE(err.find("holds a quote, comma or control character"), std::string::npos) << err;
    EXPECT_EQ(run({"ppm", "create", kFrame, "1", "10.0.0.152", "999"}), kExitUsage);
    EXPECT_EQ(run({"dante", kFrame}), kExitUsage);
}

TEST_F(CtlIpRouting, RoutesAreMadeListedAndRemoved) {
    frame->model().store(CommandId::gautorouteip, [] {
        DeviceMessage v;
        v.setI(1, 1);
        return v;
    }());
    ASSERT_EQ(run({"dante", "route", kFrame, "3", "studio-b", "5"}), kExitOk) << err << out;
    EXPECT_EQ(out, "&scrossip,3,'localhost','05','studio-b': confirmed\n"
                   "1 confirmed, 0 refused, 0 unanswered\n");
    ASSERT_EQ(run({"dante", "routes", kFrame}), kExitOk) << err;
    EXPECT_EQ(out, "Automatic routing on\n  3 on localhost <- 05 on studio-b\n");
    ASSERT_EQ(run({"dante", "routes", kFrame, "--json"}), kExitOk) << err;
    EXPECT_EQ(json()["routes"].toArray()[0].toObject()["source"].toInt(), 5);

    ASSERT_EQ(run({"dante", "unroute", kFrame, "3"}), kExitOk) << err;
    EXPECT_TRUE(frameValue(CommandId::gcrossip, {3}).text(10, 32).empty());
    EXPECT_EQ(run({"dante", "unroute", kFrame, "3"}), kExitFrame);
    EXPECT_EQ(err, "velmarctl: destination channel 3 is not routed\n");
}

TEST_F(CtlIpRouting, PpmStreamsAreCreatedAssignedAndRemoved) {
    ASSERT_EQ(run({"ppm", "create", kFrame, "7", "10.0.0.152", "10100", "4", "100"}), kExitOk)
        << err << out;
    EXPECT_EQ(run({"ppm", "create", kFrame, "8", "10.0.0.152", "10100"}), kExitFrame)
        << "the port is taken";
    ASSERT_EQ(run({"ppm", "assign", kFrame, "7", "33"}), kExitOk) << err << out;
    EXPECT_TRUE(has("4 confirmed, 0 refused, 0 unanswered\n")) << out;

    ASSERT_EQ(run({"ppm", kFrame}), kExitOk) << err;
    EXPECT_EQ(out, "stream 7: to 10.0.0.152:10100, 4 channels, every 100 ms, phase 0, "
                   "disabled\n  channels 33,34,35,36\n");
    ASSERT_EQ(run({"ppm", kFrame, "--json"}), kExitOk) << err;
    const QJsonObject stream = json()["streams"].toArray()[0].toObject();
    EXPECT_EQ(stream["id"].toInt(), 7);
    EXPECT_EQ(stream["slots"].toArray()[3].toInt(), 36);

    ASSERT_EQ(run({"ppm", "remove", kFrame, "7"}), kExitOk) << err;
    ASSERT_EQ(run({"ppm", kFrame}), kExitOk) << err;
    EXPECT_EQ(out, "no PPM streams\n");
    EXPECT_EQ(run({"ppm", "remove", kFrame, "7"}), kExitFrame);
}

} // namespace
} // namespace velmar

namespace velmar {
namespace {

// A list the frame refuses, answers for another ID, or counts below zero is
// an error, never an empty list.
TEST_F(CtlIpRouting, ListsThatAnswerSomethingElseAreErrors) {
    ASSERT_EQ(run({"ppm", "create", kFrame, "7", "10.0.0.152", "10100", "4", "100"}), kExitOk)
        << err;
    struct Row {
        std::vector<std::string_view> command;
        std::function<void(framesim::FaultPlan&)> fault;
        const char* says;
    };
    const Row rows[] = {
        {{"ppm", kFrame},
         [](framesim::FaultPlan& f) { f.refused[CommandId::lppmid] = 3; },
         "the frame refused to report the PPM stream list (status 3)"},
        {{"ppm", kFrame},
         [](framesim::FaultPlan& f) { f.otherId.insert(CommandId::gppminfo); },
         "the frame answered for PPM stream 8, which was not asked for"},
        {{"ppm", kFrame},
         [](framesim::FaultPlan& f) { f.negativeCount.insert(CommandId::gppminfo); },
         "the frame reported -1 channels for PPM stream 7"},
        {{"flows", kFrame},
         [](framesim::FaultPlan& f) { f.refused[CommandId::gcrrxflow] = 2; },
         "the frame refused to report Rx flow 1 (status 2)"},
        {{"flows", kFrame},
         [](framesim::FaultPlan& f) { f.otherId.insert(CommandId::gcrtxflow); },
         "the frame answered for Tx flow 33, which was not asked for"},
        {{"flows", kFrame},
         [](framesim::FaultPlan& f) { f.negativeCount.insert(CommandId::gcrtxflow); },
         "the frame reported -1 slots for Tx flow 1"},
        {{"dante", "routes", kFrame},
         [](framesim::FaultPlan& f) { f.refused[CommandId::gcrossip] = 1; },
         "the frame refused to report the route of channel 1 (status 1)"},
    };
    for (const Row& r : rows) {
        frame->faults() = framesim::FaultPlan{};
        r.fault(frame->faults());
        EXPECT_EQ(run(r.command), kExitFrame) << r.says;
        EXPECT_EQ(err, std::string("velmarctl: 127.0.0.2: ") + r.says + "\n");
        EXPECT_EQ(out, "") << r.says;
    }
}

} // namespace
} // namespace velmar
