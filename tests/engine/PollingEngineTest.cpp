#include "EngineFakes.h"

#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmar {
namespace {

using test::EngineRig;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using Lines = std::vector<std::string>;

Lines indexed(const std::string& keyword, int from, int to) {
    Lines out;
    for (int k = from; k <= to; ++k)
        out.push_back(keyword + "," + std::to_string(k));
    return out;
}

Lines concat(std::initializer_list<Lines> parts) {
    Lines out;
    for (const Lines& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The whole start sequence of a frame in run mode 1 or 2.
Lines frameStartLines() {
    return concat({
        {"?gdevid", "?gdevinfo", "?gip"},
        indexed("?ghwconf", 2, 20),
        indexed("?gswver", 2, 20),
        {"?gfanconf",       "?gpsuconf",        "?galivetime",      "?gsystemdelay",
         "?ggenrate",       "?grateadptsrc",    "?gwclkout",        "?lsyncprio,2,17",
         "?gsyncterm",      "?gaeschstat",      "?gphdmode",        "?goptred",
         "?goptmode,1",     "?goptmode,2",      "?gmadiinmode,1",   "?gmadiinmode,2",
         "?gmadiinmode,3",  "?gmadioutmode,1",  "?gmadioutmode,2",  "?gmadioutmode,3",
         "?gmadidsdmode,1", "?gmadidsdmode,2",  "?gmadidsdmode,3",  "?ghlinkinmode,1",
         "?ghlinkinmode,2", "?ghlinkoutmode,1", "?ghlinkoutmode,2", "?gbkip",
         "?gbkname",        "?gswmodeip",       "?gbksecip",        "?gsrenaip",
         "?gprefmastip,''"},
    });
}

TEST(PollingEngine, StartRequestsByFamilyAndRunMode) {
    struct Row {
        const char* name;
        int family;
        int runMode;
        int port;
        bool probe;
        Lines lines;
    };
    const Row rows[] = {
        {"461 application", kFamily461, 1, 10003, true, frameStartLines()},
        {"460 application", kFamily460, 1, 10003, true, frameStartLines()},
        {"460 hash mode", kFamily460, 2, 23, false, frameStartLines()},
        {"461 recovery", kFamily461, 0, 23, false, {"?gip", "?ghwconf,2", "?gswver,2"}},
        {"465 application", kFamily465, 1, 10003, true, {"?gdevid", "?gip"}},
        {"465 recovery", kFamily465, 0, 23, false, {"?gip"}},
        {"450 application",
         kFamily450,
         1,
         10003,
         true,
         {"?gdevid", "?gdevinfo", "?gip", "?ghwconf,2", "?gswver,2", "?galivetime"}},
        {"450 hash mode", kFamily450, 2, 23, false, {"?gip", "?ghwconf,2", "?gswver,2"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EngineRig rig;
        rig.connect(r.family, r.runMode);
        ASSERT_EQ(rig.link.opens.size(), 1U);
        EXPECT_EQ(rig.link.opens[0].address, "10.0.1.20");
        EXPECT_EQ(rig.link.opens[0].port, r.port);
        EXPECT_EQ(rig.link.opens[0].probe, r.probe);
        EXPECT_THAT(rig.link.take(), ElementsAreArray(r.lines));
    }
}

TEST(PollingEngine, TelnetPortWaitsAndDiscardsItsGreeting) {
    EngineRig rig;
    ASSERT_TRUE(rig.engine.selectDevice("10.0.0.7", "*10.0.0.7", "461"));
    EXPECT_EQ(rig.view.title, " Velmar   ( Online ) - using Telnet port");
    EXPECT_FALSE(rig.engine.receiving());
    rig.feed(":gdevid,0,5,'Greeting'");
    rig.timers.advance(299);
    EXPECT_THAT(rig.link.take(), IsEmpty());
    EXPECT_TRUE(rig.engine.state().deviceTitleName.empty()) << "the greeting is not dispatched";
    rig.timers.advance(1);
    EXPECT_TRUE(rig.engine.receiving());
    EXPECT_THAT(rig.link.take(), ElementsAre("?gip", "?ghwconf,2", "?gswver,2"));

    // Recovery mode never gets stage two nor alive supervision.
    rig.feed(":gswver,0,2,'a','2.0.0.1'");
    rig.timers.advance(20000);
    EXPECT_THAT(rig.link.take(), IsEmpty());
    EXPECT_TRUE(rig.engine.state().connected);
}

TEST(PollingEngine, TelnetFlagUsesPort23AndStillProbes) {
    EngineRig rig;
    rig.engine.setStartupFlags(true, true, true);
    rig.connect(kFamily461, kRunModeApplication);
    EXPECT_EQ(rig.link.opens[0].port, 23);
    EXPECT_TRUE(rig.link.opens[0].probe);
    EXPECT_THAT(rig.link.take(), ElementsAreArray(frameStartLines()));
    rig.timers.advance(1000);
    EXPECT_THAT(rig.link.take(), testing::Contains("?gactrate")) << "stage two runs in run mode 1";
}

Lines stageTwo1024() {
    Lines out = {"?gactrate", "?gsyncstat"};
    for (int first = 1; first <= 1024; first += 128)
        out.push_back("?lcross," + std::to_string(first) + ",128");
    out.push_back("?lmaininpstatus,1,14");
    return out;
}

TEST(PollingEngine, StageTwoFollowsTheVersionReplyOrTheFallback) {
    struct Row {
        const char* name;
        int versionReplyAt; // ms after connect, or -1 for none
        int stageTwoAt;
    };
    const Row rows[] = {
        {"no version reply", -1, 1000},
        {"reply at 500 ms", 500, 600},
        {"reply at 950 ms moves it past the fallback", 950, 1050},
        {"reply at 0 ms", 0, 100},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EngineRig rig;
        rig.connect();
        rig.link.take();
        if (r.versionReplyAt >= 0) {
            rig.timers.advance(r.versionReplyAt);
            rig.feed(":gswver,0,2,'main','1.9.0.0'");
        }
        rig.timers.advance(r.stageTwoAt - 1 - rig.timers.now());
        EXPECT_THAT(rig.link.take(), IsEmpty());
        rig.timers.advance(1);
        EXPECT_THAT(rig.link.take(), ElementsAreArray(stageTwo1024()));
        rig.timers.advance(10000 - 1);
        for (const std::string& line : rig.link.take())
            EXPECT_EQ(line, "?aliverequest") << "stage two runs once";
    }
}

TEST(PollingEngine, StageTwoGatesOnModulesVersionAndFamily) {
    EngineRig rig;
    rig.connect(kFamily460);
    rig.feed(":ghwconf,0,18,1,'460700','x'");
    rig.feed(":gswver,0,2,'main','2.1.0.3'");
    rig.link.take();
    rig.timers.advance(100);
    Lines expected = {"?gactrate", "?gsyncstat", "?gmaxlatencyip,''", "?gframeip,''",
                      "?glatencyip,''"};
    for (int first = 1; first <= 1536; first += 128)
        expected.push_back("?lcross," + std::to_string(first) + ",128");
    expected.insert(expected.end(), {"?goptinact,1", "?goptinact,2", "?lmaininpstatus,1,14",
                                     "?gbklock", "?gbkdomain"});
    EXPECT_THAT(rig.link.take(), ElementsAreArray(expected));

    // The same frame reporting 2.1.0.2 on a 461: 1024 outputs, no lock or domain.
    EngineRig older;
    older.connect(kFamily461);
    older.feed(":gswver,0,2,'main','2.1.0.2'");
    older.link.take();
    older.timers.advance(100);
    Lines lines = older.link.take();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "?lcross,897,128"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "?lcross,1025,128"), 0);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "?goptinact,1"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "?gbklock"), 0);
}

// Both sides of each version threshold of stage two: the SFP inactivity from
// above 2.0.0.0, the Dante lock and domain from 2.1.0.3.
TEST(PollingEngine, StageTwoVersionThresholdsOnBothSides) {
    struct Row {
        const char* version;
        bool optInactive;
        bool danteLock;
    };
    for (const Row& r : {Row{"2.0.0.0", false, false}, Row{"2.0.0.1", true, false},
                         Row{"2.1.0.2", true, false}, Row{"2.1.0.3", true, true}}) {
        SCOPED_TRACE(r.version);
        EngineRig rig;
        rig.connect(kFamily461);
        rig.feed(std::string(":gswver,0,2,'main','") + r.version + "'");
        rig.link.take();
        rig.timers.advance(100);
        const Lines lines = rig.link.take();
        for (const char* line : {"?goptinact,1", "?goptinact,2"})
            EXPECT_EQ(std::count(lines.begin(), lines.end(), line), r.optInactive ? 1 : 0);
        for (const char* line : {"?gbklock", "?gbkdomain"})
            EXPECT_EQ(std::count(lines.begin(), lines.end(), line), r.danteLock ? 1 : 0);
    }
}

TEST(PollingEngine, StageTwoOfUnitsWithoutMatrixRebuildsListsAndPings) {
    for (const int family : {kFamily465, kFamily450}) {
        EngineRig rig;
        rig.connect(family);
        rig.link.take();
        const int rebuilds = rig.view.typeListRebuilds;
        rig.timers.advance(1000);
        EXPECT_THAT(rig.link.take(), ElementsAre("?aliverequest")) << family;
        EXPECT_EQ(rig.view.typeListRebuilds, rebuilds + 1);
        EXPECT_FALSE(rig.view.crosspointControls);
    }
}

TEST(PollingEngine, SignalStatusDialogIsRefreshedAfterStageTwo) {
    EngineRig rig;
    test::FakeDialog dialog;
    rig.engine.dialogs().signalInputStatus = &dialog;
    rig.connect();
    rig.timers.advance(1000);
    EXPECT_EQ(dialog.refreshes, 1);
}

Lines cardPollOfEveryType() {
    Lines out;
    const auto sc = [](const std::string& k, int s, int c) {
        return "?" + k + "," + std::to_string(s) + "," + std::to_string(c);
    };
    // slot 1: AD, eight channels
    out.push_back("?gadbrdtype,1");
    for (int ch = 1; ch <= 8; ++ch)
        for (const char* k : {"gadinpmode", "gadmute", "gadphanpow", "gadphase", "gadmiclevel",
                              "gadlinelevel", "gadsigdet", "gadovldet"})
            out.push_back(sc(k, 1, ch));
    // slot 2: SDI
    for (int port = 1; port <= 2; ++port) {
        out.push_back(sc("gembena", 2, port));
        out.push_back(sc("gtxsrcrate", 2, port));
        for (int g = 1; g <= 4; ++g) {
            out.push_back(sc("gembmode", 2, port) + "," + std::to_string(g));
            out.push_back(sc("grxsrcena", 2, port) + "," + std::to_string(g));
        }
    }
    out.push_back("?gsdirxstat,2,1");
    out.push_back("?gsdirxstat,2,2");
    // slot 3: DA
    out.push_back("?gdadsdfilter,3");
    for (int ch = 1; ch <= 8; ++ch)
        for (const char* k : {"gdaoutlevel", "gdamute", "gdasigdet", "gdaovldet", "gdacardet"})
            out.push_back(sc(k, 3, ch));
    // slot 4: AES
    for (int ch = 1; ch <= 8; ++ch)
        out.push_back(sc("gaesrxsrcena", 4, ch));
    for (int ch = 1; ch <= 8; ++ch)
        out.push_back(sc("gaesinpstatus", 4, ch));
    // slot 5: MADI
    for (const char* k : {"?gcifmode,5", "?gcifred,5", "?gchlinkinmode,5", "?gchlinkoutmode,5"})
        out.push_back(k);
    for (int port = 1; port <= 2; ++port)
        for (const char* k :
             {"gcmadiinmode", "gcmadirxsrcena", "gcmadioutmode", "gcmadidsdmode", "gcifinact"})
            out.push_back(sc(k, 5, port));
    out.push_back("?gcifstatus,5,1");
    out.push_back("?gcifstatus,5,2");
    // slot 6: two-channel AD
    out.push_back("?gadbrdtype,6");
    for (int ch = 1; ch <= 2; ++ch)
        for (const char* k : {"gadinpmode", "gadmute", "gadphanpow", "gadphase", "gadmiclevel",
                              "gadlinelevel", "gadsigdet", "gadovldet"})
            out.push_back(sc(k, 6, ch));
    // slot 7: EQ, slot 8: card without ports: nothing
    return out;
}

TEST(PollingEngine, CardPollFollowsTheSecondPsuStatus) {
    EngineRig rig;
    rig.connect();
    const char* codes[] = {"460130", "460210", "460230", "460240",
                           "460250", "460132", "460610", "460260"};
    for (int slot = 1; slot <= 8; ++slot)
        rig.feed(":ghwconf,0," + std::to_string(8 + slot) + ",1,'" + codes[slot - 1] + "-01','r'");
    rig.feed(":ghwconf,0,20,0,'',''");
    rig.feed(":gpsuconf,0,3");
    rig.timers.advance(1000); // stage two
    rig.link.take();

    rig.feed("!gpsustatus,0,2,0"); // unsolicited: no card poll
    rig.feed(":gpsustatus,0,1,0");
    rig.timers.advance(1000);
    EXPECT_THAT(rig.link.take(), IsEmpty());
    EXPECT_FALSE(rig.view.settingsEnabled);

    rig.feed(":gpsustatus,0,2,0");
    rig.timers.advance(199);
    EXPECT_FALSE(rig.view.settingsEnabled);
    EXPECT_THAT(rig.link.take(), IsEmpty());
    rig.timers.advance(1);
    EXPECT_TRUE(rig.view.settingsEnabled);
    EXPECT_THAT(rig.link.take(), ElementsAreArray(cardPollOfEveryType()));
    rig.timers.advance(1000);
    EXPECT_THAT(rig.link.take(), IsEmpty()) << "timer 11 is one-shot";
}

TEST(PollingEngine, AliveSupervision) {
    struct Row {
        const char* name;
        int runMode;
        bool telnetFlag;
        bool programming;
        std::vector<int> dataAt; // ms after connect at which the frame sends something
        int droppedAt;           // -1: never within 30 s
    };
    const Row rows[] = {
        {"silent frame after its first data", 1, false, false, {100}, 10000},
        {"frame that never speaks", 1, false, false, {}, 5000},
        {"data between every tick", 1, false, false, {100, 6000, 11000, 16000, 21000, 26000}, -1},
        {"data stops after 11 s", 1, false, false, {100, 6000, 11000}, 20000},
        {"telnet port", 0, false, false, {}, -1},
        {"telnet flag", 1, true, false, {}, -1},
        {"while programming", 1, false, true, {}, -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EngineRig rig;
        rig.engine.setStartupFlags(r.telnetFlag, false, false);
        rig.connect(kFamily461, r.runMode);
        rig.engine.setProgramming(r.programming);
        rig.link.take();
        int dropped = -1;
        int alives = 0;
        for (int t = 1; t <= 30000 && dropped < 0; ++t) {
            for (int at : r.dataAt)
                if (t == at)
                    rig.feed("!gsyncstat,0,1,0");
            rig.timers.advance(1);
            for (const std::string& line : rig.link.take())
                alives += line == "?aliverequest";
            if (!rig.engine.state().connected)
                dropped = t;
        }
        EXPECT_EQ(dropped, r.droppedAt);
        if (r.runMode != 1 || r.telnetFlag || r.programming)
            EXPECT_EQ(alives, 0);
        else
            EXPECT_GT(alives, 0);
        if (dropped >= 0) {
            EXPECT_EQ(rig.link.closes, 1);
            EXPECT_EQ(rig.view.connectText, "Connect");
        }
    }
}

TEST(PollingEngine, ConnectFailuresAndToggling) {
    struct Row {
        const char* address;
        int openResult;
        bool opened;
    };
    const Row rows[] = {{"", 0, false},           {"0.0.0.0", 0, false},   {"10.0.0.256", 0, false},
                        {"10.0.0", 0, false},     {"10.0.0.5x", 0, false}, {"10.0.0.5", 1, true},
                        {"10.0.0.5", 10061, true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.address);
        EngineRig rig;
        rig.link.openResult = r.openResult;
        EXPECT_FALSE(rig.engine.connect(r.address));
        EXPECT_EQ(rig.link.opens.size(), r.opened ? 1U : 0U);
        EXPECT_THAT(rig.op.messages, ElementsAre("Connect failed, target not responding"));
        EXPECT_FALSE(rig.engine.state().connected);
        EXPECT_THAT(rig.link.sent, IsEmpty());
    }

    EngineRig rig;
    ASSERT_TRUE(rig.engine.connect("10.0.1.20"));
    EXPECT_EQ(rig.view.connectText, "Close");
    EXPECT_EQ(rig.engine.state().deviceAddress, 0x0A000114U);
    EXPECT_FALSE(rig.engine.connect("10.0.1.20")) << "the button disconnects when connected";
    EXPECT_FALSE(rig.engine.state().connected);
    EXPECT_EQ(rig.link.closes, 1);
    EXPECT_EQ(rig.engine.state().deviceAddress, 0U);
}

TEST(PollingEngine, DisconnectWipesStateAndStopsPendingTimers) {
    EngineRig rig;
    rig.connect();
    rig.feed(":gdevid,0,4,'Studio'");
    rig.feed(":gpsuconf,0,3");
    rig.feed(":gpsustatus,0,2,0");
    rig.feed(":gactrate,0,2");
    rig.engine.onPeerClosed();
    EXPECT_FALSE(rig.engine.state().connected);
    EXPECT_EQ(rig.engine.state().settings.psuConfig, 0);
    EXPECT_TRUE(rig.engine.state().settings.deviceName.empty());
    EXPECT_EQ(rig.view.title, " Velmar");
    EXPECT_FALSE(rig.view.settingsEnabled);
    EXPECT_FALSE(rig.view.crosspointControls);
    EXPECT_GE(rig.view.selectionClears, 1);
    EXPECT_EQ(rig.view.status.sampleRate.text, "");
    EXPECT_FALSE(rig.view.status.sampleRate.enabled);
    rig.link.take();
    rig.timers.advance(60000);
    EXPECT_THAT(rig.link.sent, IsEmpty())
        << "no poll, alive or card request after the link is gone";
    EXPECT_FALSE(rig.view.settingsEnabled);
}

TEST(PollingEngine, LostLinkIsNamedWithItsCauseAndTheRowGoesOffline) {
    struct Row {
        const char* name;
        std::string rowName;
        std::function<void(EngineRig&)> lose;
        std::string message;
    };
    const Row rows[] = {
        {"alive time-out", "Studio A", [](EngineRig& r) { r.timers.advance(kAlivePeriodMs * 3); },
         "Link to Studio A (10.0.1.20) lost: the frame stopped answering"},
        {"frame stopped reading", "Studio A",
         [](EngineRig& r) { r.engine.onLinkLost(LinkLoss::Stalled); },
         "Link to Studio A (10.0.1.20) lost: the frame stopped reading what was sent to it"},
        {"peer closed, row without a name: the frame's own name", "",
         [](EngineRig& r) {
             r.feed(":gdevid,0,4,'Truck 2'");
             r.engine.onPeerClosed();
         },
         "Link to Truck 2 (10.0.1.20) lost: the frame closed the connection"},
        {"socket broke, nothing known but the address", "",
         [](EngineRig& r) { r.engine.onLinkLost(LinkLoss::Broken); },
         "Link to 10.0.1.20 lost: the connection broke"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EngineRig rig;
        ASSERT_TRUE(rig.engine.selectDevice("10.0.1.20", "10.0.1.20", "461", r.rowName));
        r.lose(rig);
        EXPECT_FALSE(rig.engine.state().connected);
        ASSERT_FALSE(rig.view.statusMessages.empty());
        EXPECT_EQ(rig.view.statusMessages.back(), r.message);
        EXPECT_THAT(rig.view.offline, ElementsAre("10.0.1.20"));
        // Once gone, a second report changes nothing.
        rig.engine.onLinkLost(LinkLoss::Closed);
        EXPECT_EQ(rig.view.statusMessages.back(), r.message);
        EXPECT_EQ(rig.view.offline.size(), 1U);
    }

    // The operator's own disconnect is no loss.
    EngineRig rig;
    rig.connect();
    rig.engine.disconnect();
    EXPECT_THAT(rig.view.offline, IsEmpty());
    for (const std::string& m : rig.view.statusMessages)
        EXPECT_EQ(m.find("lost"), std::string::npos) << m;
}

TEST(PollingEngine, StartupProgressCountsTheStartPollsReplies) {
    EngineRig rig;
    ASSERT_TRUE(rig.engine.selectDevice("10.0.1.20", "10.0.1.20", "461", "Studio A"));
    const std::size_t start = rig.link.take().size();
    ASSERT_GT(start, 0U);
    EXPECT_THAT(rig.view.statusMessages,
                ElementsAre("Reading Studio A ... 0 of " + std::to_string(start)));
    for (std::size_t k = 1; k <= start; ++k)
        rig.feed(":galivetime,0,5");
    EXPECT_EQ(rig.view.statusMessages.back(),
              "Reading Studio A ... " + std::to_string(start) + " of " + std::to_string(start))
        << "stage two is still to come";
    // A message of the frame's own is no answer.
    rig.feed("!gsyncstat,0,1,0");
    EXPECT_EQ(rig.engine.startupProgress().answered, static_cast<int>(start));

    rig.timers.advance(kStageTwoFallbackMs);
    const std::size_t stageTwo = rig.link.take().size();
    ASSERT_GT(stageTwo, 0U);
    const std::string total = std::to_string(start + stageTwo);
    EXPECT_EQ(rig.view.statusMessages.back(),
              "Reading Studio A ... " + std::to_string(start) + " of " + total);
    for (std::size_t k = 1; k <= stageTwo; ++k)
        rig.feed(":galivetime,0,5");
    EXPECT_EQ(rig.view.statusMessages.back(), "Connected to Studio A: " + total + " replies read");
    EXPECT_FALSE(rig.engine.startupProgress().reading);
    const std::size_t shown = rig.view.statusMessages.size();
    rig.feed(":galivetime,0,5");
    EXPECT_EQ(rig.view.statusMessages.size(), shown) << "later replies are no progress";

    // A new link starts counting afresh; a lost one stops.
    rig.engine.disconnect();
    EXPECT_FALSE(rig.engine.startupProgress().reading);
    rig.connect();
    EXPECT_TRUE(rig.engine.startupProgress().reading);
    EXPECT_EQ(rig.engine.startupProgress().answered, 0);
    EXPECT_EQ(rig.view.statusMessages.back().rfind("Reading 10.0.1.20 ... 0 of ", 0), 0U)
        << "without a row name the address names the frame";
}

TEST(PollingEngine, LinkDroppedDuringTelnetSettlingLeavesTheNextLinkWorking) {
    EngineRig rig;
    ASSERT_TRUE(rig.engine.selectDevice("10.0.0.7", "#10.0.0.7", "460"));
    rig.engine.disconnect();
    rig.connect(kFamily461, kRunModeApplication, "10.0.0.8");
    EXPECT_TRUE(rig.engine.receiving());
    rig.feed(":gdevid,0,3,'Next'");
    EXPECT_EQ(rig.engine.state().deviceTitleName, "Next");
}

TEST(PollingEngine, TitleText) {
    EngineRig rig;
    EXPECT_EQ(rig.view.title, " Velmar");
    rig.connect();
    EXPECT_EQ(rig.view.title, " Velmar   ( Online )");
    rig.feed(":gdevid,0,7,'Stage left'");
    EXPECT_EQ(rig.view.title, " Velmar   ( Online - Stage left )");
    EXPECT_EQ(rig.view.rowAddress, "10.0.1.20");
    EXPECT_EQ(rig.view.rowId, 7);
    EXPECT_EQ(rig.view.rowName, "Stage left");
    rig.engine.disconnect();
    EXPECT_EQ(rig.view.title, " Velmar");
}

TEST(PollingEngine, StatusFields) {
    struct Field {
        std::string text;
        bool enabled;
        bool red;
    };
    struct Row {
        const char* name;
        std::vector<std::string> lines;
        Field sync, rate;
        std::array<Field, 2> psu;
        std::array<Field, 3> fan;
    };
    const Field blank{"", true, false};
    const Field off{"", false, false};
    const Field ok{"OK", true, false};
    const Field faulty{"Faulty", true, true};
    const Row rows[] = {
        {"nothing reported yet", {}, blank, blank, {off, off}, {off, off, off}},
        {"48 kHz locked to Word",
         {":gactrate,0,2", ":gsyncstat,0,2,0"},
         {"Word", true, false},
         {"48 kHz", true, false},
         {off, off},
         {off, off, off}},
        {"unknown rate and sync fault",
         {":gactrate,0,11", ":gsyncstat,0,19,1"},
         {"Error", true, true},
         {"Error", true, true},
         {off, off},
         {off, off, off}},
        {"rate error reply shows code 0",
         {":gactrate,0,4", ":gactrate,5,4"},
         blank,
         {"Error", true, true},
         {off, off},
         {off, off, off}},
        {"PSU 1 faulty, PSU 2 fine, fans 1 and 3 fitted",
         {":gpsuconf,0,3", ":gpsustatus,0,1,1", ":gpsustatus,0,2,0", ":gfanconf,0,5",
          ":gfanstatus,0,1,0", ":gfanstatus,0,3,2"},
         blank,
         blank,
         {faulty, ok},
         {ok, off, faulty}},
        {"PSU 2 not fitted stays empty though reported faulty",
         {":gpsuconf,0,1", ":gpsustatus,0,1,0", ":gpsustatus,0,2,1"},
         blank,
         blank,
         {ok, off},
         {off, off, off}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EngineRig rig;
        rig.connect();
        for (const std::string& line : r.lines)
            rig.feed(line);
        const StatusFields& s = rig.view.status;
        const auto check = [](const StatusField& got, const Field& want, const char* what) {
            EXPECT_EQ(got.text, want.text) << what;
            EXPECT_EQ(got.enabled, want.enabled) << what;
            EXPECT_EQ(got.red, want.red) << what;
        };
        check(s.syncSource, r.sync, "sync");
        check(s.sampleRate, r.rate, "rate");
        check(s.psu[0], r.psu[0], "PSU 1");
        check(s.psu[1], r.psu[1], "PSU 2");
        for (int k = 0; k < 3; ++k)
            check(s.fan[static_cast<std::size_t>(k)], r.fan[static_cast<std::size_t>(k)], "fan");
        EXPECT_EQ(s, rig.engine.statusFields());
    }
}

TEST(PollingEngine, FanStatusIsAskedOnlyForFittedFans) {
    EngineRig rig;
    rig.connect();
    rig.link.take();
    rig.feed(":gfanconf,0,5");
    rig.feed(":gpsuconf,0,2");
    EXPECT_THAT(rig.link.take(),
                ElementsAre("?gfanstatus,1", "?gfanstatus,3", "?gpsustatus,1", "?gpsustatus,2"));
}

TEST(PollingEngine, ApplySettings) {
    EngineRig rig;
    int restarts = 0;
    rig.engine.setRestartCommand([&] { ++restarts; });
    rig.connect();
    rig.feed(":gsystemdelay,0,10");
    rig.timers.advance(1000);
    rig.link.take();

    DeviceSettings edited = rig.engine.state().settings;
    const DeviceSettings opened = edited;
    const int rebuilds = rig.view.typeListRebuilds;
    EXPECT_EQ(rig.engine.applySettings(edited, opened), 0) << "nothing changed, nothing sent";
    EXPECT_TRUE(rig.link.take().empty());
    EXPECT_EQ(rig.view.typeListRebuilds, rebuilds);

    edited.systemDelay = 20;
    EXPECT_EQ(rig.engine.applySettings(edited, opened), 1);
    EXPECT_EQ(rig.engine.state().settings.systemDelay, 20) << "the confirmed copy is taken";
    EXPECT_EQ(rig.view.typeListRebuilds, rebuilds + 1);
    EXPECT_THAT(rig.link.take(), ElementsAre("&ssystemdelay,20"));
    rig.timers.advance(299);
    EXPECT_THAT(rig.link.take(), testing::Not(testing::Contains("?gactrate")));
    rig.timers.advance(1);
    EXPECT_THAT(rig.link.take(), testing::Contains("?gactrate")) << "a new stage two 300 ms later";
    EXPECT_EQ(restarts, 0);

    edited.networkSettings.mode = 1;
    EXPECT_EQ(rig.engine.applySettings(edited, opened), 2);
    EXPECT_THAT(rig.link.take(), ElementsAre(testing::StartsWith("&sip,1,")));
    EXPECT_EQ(restarts, 1);
}

TEST(PollingEngine, TimersOfOtherSubsystemsAreRoutedOn) {
    EngineRig rig;
    for (const int id : {kTimerXyBurst, kTimerFirmware, kTimerDiscoveryQueue, kTimerDeviceList, 42})
        EXPECT_FALSE(rig.engine.onTimer(id)) << id;
    rig.timers.startTimer(kTimerDiscoveryQueue, 200);
    rig.timers.advance(200);
    EXPECT_FALSE(rig.timers.running(kTimerDiscoveryQueue)) << "one-shot: killed when it fires";
    rig.timers.startTimer(kTimerXyBurst, 1);
    rig.timers.advance(3);
    EXPECT_TRUE(rig.timers.running(kTimerXyBurst)) << "the burst runs until its owner stops it";
    rig.connect();
    EXPECT_FALSE(rig.timers.running(kTimerXyBurst)) << "a connect stops the burst";
}

} // namespace
} // namespace velmar

namespace velmar::test {
namespace {

// The lines of `sent` that are label reads, as "kind,first,count".
std::vector<std::string> labelReads(const std::vector<std::string>& sent) {
    std::vector<std::string> out;
    for (const std::string& line : sent)
        if (line.rfind("?llabel,", 0) == 0)
            out.push_back(line.substr(8));
    return out;
}

// Connects, answers the start-up poll with a main board of `version` and
// returns what went out after it was complete.
std::vector<std::string> afterStartup(EngineRig& rig, int family, const std::string& version,
                                      bool answerAll = true) {
    rig.connect(family);
    rig.feed(":gswver,0,2,'m','" + version + "'");
    const std::size_t start = rig.link.take().size();
    for (std::size_t k = 1; k < start; ++k)
        rig.feed(":galivetime,0,5");
    rig.timers.advance(kStageTwoAfterVersionMs);
    const std::size_t stageTwo = rig.link.take().size();
    for (std::size_t k = answerAll ? 0 : 1; k < stageTwo; ++k)
        rig.feed(":galivetime,0,5");
    return rig.link.take();
}

TEST(PollingEngineLabelRead, ReadsTheLabelsAfterTheStartupPollAFewBlocksAtATime) {
    struct Case {
        int family;
        bool service;
        const char* firstBlock;
        std::size_t blocks; // inputs and outputs
    } const cases[] = {
        {kFamily460, false, "0,1,32", 2 * 1536 / 32},
        {kFamily461, false, "0,513,32", 2 * (1024 - 512) / 32},
        {kFamily461, true, "0,1,32", 2 * 1024 / 32},
    };
    for (const Case& c : cases) {
        EngineRig rig;
        rig.engine.setStartupFlags(false, false, c.service);
        rig.engine.setReadLabelsInBackground(true);
        std::vector<std::string> reads = labelReads(afterStartup(rig, c.family, "2.0.0.1"));
        // A 460 needs its second card bank for 1536 channels; the count is the state's.
        const std::size_t total =
            static_cast<std::size_t>(rig.engine.state().crosspointCount() -
                                     (c.family == kFamily461 && !c.service ? 512 : 0)) /
            32 * 2;
        ASSERT_EQ(reads.size(), static_cast<std::size_t>(CPollingEngine::kLabelReadWindow));
        EXPECT_EQ(reads[0], c.firstBlock);
        EXPECT_EQ(reads[1], std::string("1") + std::string(c.firstBlock).substr(1));
        // Each reply lets one more go, until every block has been asked.
        std::size_t sent = reads.size();
        for (std::size_t k = 0; k < total; ++k) {
            rig.feed(k % 2 == 0 ? ":llabel,0,0,1,1,'A'" : ":llabel,0,1,1,1,'B'");
            sent += labelReads(rig.link.take()).size();
            EXPECT_EQ(rig.engine.labelReadLeft() + sent, total);
        }
        EXPECT_EQ(sent, total);
        if (c.family != kFamily460) {
            EXPECT_EQ(total, c.blocks);
        }
        EXPECT_FALSE(rig.timers.running(kTimerLabelRead)) << "once per link";
        rig.timers.advance(10 * CPollingEngine::kLabelReadStallMs);
        EXPECT_TRUE(labelReads(rig.link.take()).empty());
    }
}

TEST(PollingEngineLabelRead, StallsFallbacksAndWhoIsNotRead) {
    {
        // Without answers the next window goes after the stall time, and the read ends.
        EngineRig rig;
        rig.engine.setReadLabelsInBackground(true);
        ASSERT_EQ(labelReads(afterStartup(rig, kFamily461, "2.0.0.1")).size(), 4U);
        rig.timers.advance(CPollingEngine::kLabelReadStallMs - 1);
        EXPECT_TRUE(labelReads(rig.link.take()).empty());
        rig.timers.advance(1);
        EXPECT_EQ(labelReads(rig.link.take()).size(), 4U);
        rig.timers.advance(100 * CPollingEngine::kLabelReadStallMs);
        EXPECT_FALSE(rig.engine.labelReadRunning());
        EXPECT_FALSE(rig.timers.running(kTimerLabelRead));
        // A lost link ends it at once; the next link reads again.
        rig.engine.disconnect();
        EXPECT_FALSE(rig.timers.running(kTimerLabelRead));
    }
    {
        // A start-up poll that never completes still gets its labels read.
        EngineRig rig;
        rig.engine.setReadLabelsInBackground(true);
        EXPECT_TRUE(labelReads(afterStartup(rig, kFamily461, "2.0.0.1", false)).empty());
        EXPECT_TRUE(rig.engine.startupProgress().reading);
        const int sentBefore = rig.engine.startupProgress().sent;
        rig.timers.advance(CPollingEngine::kLabelReadFallbackMs);
        EXPECT_EQ(labelReads(rig.link.take()).size(), 4U);
        EXPECT_EQ(rig.engine.startupProgress().sent, sentBefore) << "not counted as start-up";
    }
    // Not wanted (velmarctl), too old for labels, or no frame with labels: nothing.
    struct Case {
        bool wanted;
        int family;
        const char* version;
    } const none[] = {
        {false, kFamily461, "2.0.0.1"},
        {true, kFamily461, "1.4.0.1"},
        {true, kFamily450, "2.0.0.1"},
    };
    for (const Case& c : none) {
        EngineRig rig;
        rig.engine.setReadLabelsInBackground(c.wanted);
        EXPECT_TRUE(labelReads(afterStartup(rig, c.family, c.version)).empty()) << c.family;
        rig.timers.advance(2 * CPollingEngine::kLabelReadFallbackMs);
        EXPECT_TRUE(labelReads(rig.link.take()).empty()) << c.family;
    }
}

TEST(PollingEngineLabelRead, LinkEndedNoticeNamesTheFrameAndWhy) {
    EngineRig rig;
    EXPECT_EQ(rig.engine.linkEndedNotice(), "");
    ASSERT_TRUE(rig.engine.selectDevice("10.0.1.20", "10.0.1.20", "461", "Studio A"));
    rig.engine.onLinkLost(LinkLoss::Silent);
    EXPECT_EQ(rig.engine.linkEndedNotice().rfind(
                  "The link to Studio A (10.0.1.20) was lost: the frame stopped answering.", 0),
              0U)
        << rig.engine.linkEndedNotice();
    rig.connect();
    rig.engine.disconnect();
    EXPECT_EQ(rig.engine.linkEndedNotice().rfind("The link to 10.0.1.20 was closed.", 0), 0U)
        << rig.engine.linkEndedNotice();
}

} // namespace
} // namespace velmar::test
