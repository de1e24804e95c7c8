#include "events/EventDeriver.h"

#include "EngineFakes.h"
#include "EventFakes.h"
#include "maintenance/FlashTransfer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The real engine and dispatch on fakes, with the deriver hooked in as the
// window hooks it.
struct EventRig : test::EngineRig {
    test::VirtualEventClock clock;
    test::RecordingSink sink;
    CEventDeriver deriver{clock, sink};

    EventRig() { engine.setStateObserver(&deriver); }

    // Connected, with the identity and the fitted units a start poll reports.
    void connectReported() {
        connect();
        feed(":gdevid,0,4,'Studio A'");
        feed(":gdevinfo,0,'461',2,'SN-77'");
        feed(":gpsuconf,0,3");
        feed(":gfanconf,0,7");
    }
};

TEST(EventDeriver, LinkEventsCarryTheFrameAndTheCause) {
    EventRig rig;
    rig.connectReported();
    rig.clock.now += 1500;
    rig.engine.onLinkLost(LinkLoss::Silent);
    ASSERT_EQ(rig.sink.events.size(), 2u);
    const Event& lost = rig.sink.events[1];
    EXPECT_EQ(lost.kind, EventKind::LinkLost);
    EXPECT_EQ(lost.severity, EventSeverity::Warning);
    EXPECT_EQ(lost.text, "Link lost: the frame stopped answering");
    EXPECT_EQ(lost.timeMs, rig.sink.events[0].timeMs + 1500);
    EXPECT_EQ(lost.frame, (FrameIdentity{"10.0.1.20", 4, "Studio A", "SN-77"}));
    EXPECT_EQ(rig.sink.events[0].frame.address, "10.0.1.20");

    rig.sink.events.clear();
    rig.connect();
    rig.engine.disconnect();
    rig.engine.disconnect(); // already closed: no second event
    EXPECT_THAT(rig.sink.take(),
                ElementsAre("info connect: Connected", "info disconnect: Disconnected"));

    rig.link.openResult = 1;
    EXPECT_FALSE(rig.engine.connect("10.0.1.21"));
    ASSERT_EQ(rig.sink.events.size(), 1u);
    EXPECT_EQ(rig.sink.events[0].kind, EventKind::ConnectFailed);
    EXPECT_EQ(rig.sink.events[0].frame.address, "10.0.1.21");
}

TEST(EventDeriver, PowerAndFansFailAndRecoverOnce) {
    EventRig rig;
    rig.connectReported();
    rig.sink.events.clear();
    rig.feed(":gpsustatus,0,1,0");
    rig.feed(":gpsustatus,0,2,0");
    rig.feed(":gfanstatus,0,3,0");
    EXPECT_THAT(rig.sink.take(), IsEmpty()) << "a good first report is no change";

    rig.feed("!gpsustatus,0,2,1");
    rig.feed("!gpsustatus,0,2,1"); // repeated: no second event
    rig.feed(":gpsustatus,0,2,1");
    rig.feed("!gfanstatus,0,3,2");
    rig.feed("!gfanstatus,0,3,1"); // another fault code, still faulty
    rig.feed("!gpsustatus,0,2,0");
    rig.feed("!gfanstatus,0,3,0");
    EXPECT_THAT(rig.sink.take(),
                ElementsAre("alarm psu: PSU 2 failed", "alarm fan: FAN 3 failed",
                            "info psu: PSU 2 recovered", "info fan: FAN 3 recovered"));
}

TEST(EventDeriver, FaultPresentAtConnectIsAnAlarmButUnfittedUnitsAreSilent) {
    EventRig rig;
    rig.connect();
    rig.feed(":gpsuconf,0,1"); // only PSU 1 fitted
    rig.feed(":gfanconf,0,0");
    rig.sink.events.clear();
    rig.feed(":gpsustatus,0,1,1");
    rig.feed(":gpsustatus,0,2,1"); // stored as 0? fitted mask has no PSU 2
    rig.feed(":gfanstatus,0,1,1");
    EXPECT_THAT(rig.sink.take(), ElementsAre("alarm psu: PSU 1 is faulty"));

    // After a reconnect the units are unknown again: the same fault is told anew.
    rig.engine.disconnect();
    rig.connect();
    rig.feed(":gpsuconf,0,1");
    rig.sink.events.clear();
    rig.feed(":gpsustatus,0,1,1");
    EXPECT_THAT(rig.sink.take(), ElementsAre("alarm psu: PSU 1 is faulty"));
}

TEST(EventDeriver, SyncAndSampleRate) {
    EventRig rig;
    rig.connectReported();
    rig.sink.events.clear();
    rig.feed(":gsyncstat,0,2,0");
    rig.feed(":gactrate,0,2");
    EXPECT_THAT(rig.sink.take(), IsEmpty());

    rig.feed("!gsyncstat,0,2,1");
    rig.feed("!gsyncstat,0,2,1");
    rig.feed("!gsyncstat,0,2,0");
    rig.feed("!gsyncstat,0,1,0");
    rig.feed("!gactrate,0,4");
    rig.feed("!gactrate,0,4");
    rig.feed("!gactrate,0,99");
    EXPECT_THAT(rig.sink.take(),
                ElementsAre("alarm sync-lock: Sync lost (Word)",
                            "info sync-lock: Sync locked again (Word)",
                            "info sync-source: Sync source changed from Word to Internal",
                            "info sample-rate: Sample rate changed from 48 kHz to 96 kHz",
                            "warning sample-rate: Sample rate changed from 96 kHz to Error"));

    EventRig unlocked;
    unlocked.connect();
    unlocked.sink.events.clear();
    unlocked.feed(":gsyncstat,0,5,3");
    EXPECT_THAT(unlocked.sink.take(), ElementsAre("alarm sync-lock: Sync not locked (AES 1)"));
}

TEST(EventDeriver, InputStatusChangesButNotItsFirstReportOrARefusal) {
    EventRig rig;
    rig.connectReported();
    rig.sink.events.clear();
    rig.feed(":gmaininpstatus,0,3,LCK");
    rig.feed("!gmaininpstatus,0,3,LCK");
    rig.feed("!gmaininpstatus,0,3,ERR");
    rig.feed(":lmaininpstatus,2,1,14");  // refused list: every entry blank
    rig.feed("!gmaininpstatus,0,3,ERR"); // back to what was last known: no change
    rig.feed("!gmaininpstatus,0,3,LCK");
    EXPECT_THAT(rig.sink.take(),
                ElementsAre("info input-status: Input 3 status changed from \"LCK\" to \"ERR\"",
                            "info input-status: Input 3 status changed from \"ERR\" to \"LCK\""));
}

TEST(EventDeriver, RoutesTellOwnFromOtherClientsAndIgnoreThePoll) {
    EventRig rig;
    rig.connectReported();
    rig.feed(":lcross,0,1,3,7,0,9");
    rig.feed(":gcross,0,1,7"); // a poll repeating what is known
    rig.sink.events.clear();

    rig.feed(":scross,0,2,5,0,0");
    rig.feed("!gcross,0,3,12");
    rig.feed("!gcross,0,3,12");
    rig.feed(":scross,9,1,4,0,0");
    rig.feed(":gcross,0,1,7"); // the refused route's read-back
    rig.feed("!gcross,0,2,0");
    rig.feed(":gcross,0,9999,1"); // an output the frame does not have
    const std::vector<std::string> got = rig.sink.take();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_THAT(got[0], ::testing::StartsWith("info route: Route set: output 2 "));
    EXPECT_THAT(got[0], ::testing::HasSubstr("fed by input 5 "));
    EXPECT_THAT(got[1],
                ::testing::StartsWith("info route-other-client: Route changed by another client: "
                                      "output 3 "));
    EXPECT_THAT(got[2], ::testing::StartsWith("warning route-refused: Route refused (status 9): "
                                              "output 1 "));
    EXPECT_THAT(got[3], ::testing::EndsWith(" disconnected"));
}

TEST(EventDeriver, SettingsAppliedAndFirmwareOutcome) {
    EventRig rig;
    rig.connectReported();
    rig.sink.events.clear();
    DeviceSettings edited = rig.engine.state().settings;
    const DeviceSettings opened = edited;
    edited.systemDelay = 7;
    rig.engine.applySettings(edited, opened);
    const DeviceSettings now = rig.engine.state().settings;
    rig.engine.applySettings(now, now); // nothing changed: nothing sent, no event
    EXPECT_THAT(rig.sink.take(),
                ElementsAre("info settings-applied: Settings applied: 1 request sent"));

    FlashOutcome outcome;
    outcome.kind = FlashOutcome::Failed;
    outcome.recordsSent = 12;
    outcome.totalRecords = 40;
    outcome.path = "/tmp/main.flash";
    rig.deriver.firmwareEnded(rig.engine.state(), outcome);
    outcome.kind = FlashOutcome::Programmed;
    outcome.recordsSent = 40;
    rig.deriver.firmwareEnded(rig.engine.state(), outcome);
    EXPECT_THAT(rig.sink.take(),
                ElementsAre("alarm firmware: Firmware transfer failed after 12 of 40 records: "
                            "/tmp/main.flash",
                            "info firmware: Firmware programmed from /tmp/main.flash (40 of 40 "
                            "records)"));
}

// The deriver on its own timers, whose virtual time is also the events' clock.
struct FlapRig : test::EngineRig {
    struct TimerClock final : IEventClock {
        const test::FakeTimerHost& timers;
        explicit TimerClock(const test::FakeTimerHost& t) : timers(t) {}
        std::int64_t nowMs() const override { return 1765218397000 + timers.now(); }
    };
    test::FakeTimerHost flapTimers;
    TimerClock clock{flapTimers};
    test::RecordingSink sink;
    CEventDeriver deriver{clock, sink, &flapTimers};

    FlapRig() {
        engine.setStateObserver(&deriver);
        flapTimers.onFire = [this](int id) {
            if (id == kTimerFlapSettle)
                deriver.checkSettled();
        };
        connect();
        feed(":gpsuconf,0,3");
        feed(":gsyncstat,0,2,0");
        feed(":gpsustatus,0,2,0");
        feed(":gmaininpstatus,0,3,LCK");
        sink.events.clear();
    }
};

TEST(EventDeriver, AFlappingValueIsToldOnceAndThenWhereItSettled) {
    struct Row {
        const char* name;
        const char* a;
        const char* b;
        std::vector<std::string> told; // of the first seven changes, at 100 ms each
        std::string settled;           // 10 s after the last
    };
    const Row rows[] = {
        {"sync source",
         "!gsyncstat,0,1,0",
         "!gsyncstat,0,2,0",
         {"info sync-source: Sync source changed from Word to Internal",
          "info sync-source: Sync source changed from Internal to Word",
          "warning sync-source: Sync source changing repeatedly (3 changes in 0.2 s)"},
         "info sync-source: Sync source settled: Internal, after 7 changes in 0.6 s"},
        {"sync lock",
         "!gsyncstat,0,2,1",
         "!gsyncstat,0,2,0",
         {"alarm sync-lock: Sync lost (Word)", "info sync-lock: Sync locked again (Word)",
          "alarm sync-lock: Sync changing repeatedly (3 changes in 0.2 s)"},
         "alarm sync-lock: Sync settled: not locked (Word), after 7 changes in 0.6 s"},
        {"psu",
         "!gpsustatus,0,2,1",
         "!gpsustatus,0,2,0",
         {"alarm psu: PSU 2 failed", "info psu: PSU 2 recovered",
          "alarm psu: PSU 2 changing repeatedly (3 changes in 0.2 s)"},
         "alarm psu: PSU 2 settled: faulty, after 7 changes in 0.6 s"},
        {"input",
         "!gmaininpstatus,0,3,ERR",
         "!gmaininpstatus,0,3,LCK",
         {"info input-status: Input 3 status changed from \"LCK\" to \"ERR\"",
          "info input-status: Input 3 status changed from \"ERR\" to \"LCK\"",
          "warning input-status: Input 3 status changing repeatedly (3 changes in 0.2 s)"},
         "info input-status: Input 3 status settled: \"ERR\", after 7 changes in 0.6 s"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FlapRig rig;
        for (int k = 0; k < 7; ++k) {
            rig.feed(k % 2 == 0 ? row.a : row.b);
            rig.flapTimers.advance(100);
        }
        EXPECT_EQ(rig.sink.take(), row.told);
        EXPECT_EQ(rig.deriver.flapping(), 1);
        // Still within the window of the last change: nothing yet.
        rig.flapTimers.advance(kFlapWindowMs - 1000);
        EXPECT_THAT(rig.sink.take(), IsEmpty());
        // Told by the timer, without another message, within one check.
        rig.flapTimers.advance(1000 + kFlapCheckMs);
        EXPECT_THAT(rig.sink.take(), ElementsAre(row.settled));
        EXPECT_FALSE(rig.flapTimers.running(kTimerFlapSettle));
        // Settled: a later change is an ordinary one again.
        rig.feed(row.b);
        EXPECT_EQ(rig.sink.take(), std::vector<std::string>{row.told[1]});
    }
}

TEST(EventDeriver, ChangesFurtherApartThanTheWindowAreNoFlapAndALinkLossEndsOne) {
    FlapRig rig;
    for (int k = 0; k < 4; ++k) {
        rig.feed(k % 2 == 0 ? "!gsyncstat,0,1,0" : "!gsyncstat,0,2,0");
        rig.flapTimers.advance(kFlapWindowMs / 2 + 1);
    }
    EXPECT_EQ(rig.sink.take().size(), 4u);
    EXPECT_EQ(rig.deriver.flapping(), 0);

    for (int k = 0; k < 3; ++k)
        rig.feed(k % 2 == 0 ? "!gpsustatus,0,2,1" : "!gpsustatus,0,2,0");
    ASSERT_EQ(rig.deriver.flapping(), 1);
    rig.engine.onLinkLost(LinkLoss::Silent);
    EXPECT_EQ(rig.deriver.flapping(), 0);
    EXPECT_FALSE(rig.flapTimers.running(kTimerFlapSettle));
    rig.sink.events.clear();
    rig.flapTimers.advance(2 * kFlapWindowMs);
    EXPECT_THAT(rig.sink.take(), IsEmpty()) << "nothing settles on a closed link";
}

} // namespace
} // namespace velmar
