// The frame-wide settings the settings dialog reads and writes: each set is
// kept and read back, a value a frame would not take is refused and changes
// nothing, and the other clients hear of every change.

#include "FrameModel.h"
#include "SimulatedFrame.h"
#include "TestClient.h"
#include "protocol/ResponseDecoder.h"

#include <gtest/gtest.h>

namespace velmar::framesim {
namespace {

// Drives a model with request lines as the program writes them.
class SettingsModel {
public:
    explicit SettingsModel(FrameProfile profile) : model(std::move(profile)) {}

    Outcome send(const std::string& line) {
        DeviceMessage m;
        CResponseDecoder requestDecoder;
        const DecodeResult r =
            requestDecoder.decode(line + "\r", m, CResponseDecoder::Column::Request);
        EXPECT_TRUE(r.delivered) << line;
        return model.handle(m);
    }
    // The single reply, without its carriage return.
    std::string ask(const std::string& line) {
        const Outcome o = send(line);
        if (o.replies.size() != 1u) {
            ADD_FAILURE() << line << " gave " << o.replies.size() << " replies";
            return {};
        }
        return o.replies.front().substr(0, o.replies.front().size() - 1);
    }
    int status(const std::string& replyLine) {
        DeviceMessage m;
        CResponseDecoder decoder;
        EXPECT_TRUE(decoder.decode(replyLine + "\r", m).delivered) << replyLine;
        return m.status;
    }

    CFrameModel model;
};

struct SettingCase {
    const char* set;     // the new value
    const char* get;     // the request that reads it back
    const char* after;   // its answer once the set was taken
    const char* refused; // a value out of range for the same setting
};

// Every set request the settings pages and the apply step send, with a value
// that differs from the 460 preset's.
const SettingCase kSettings[] = {
    {"&salivetime,120", "?galivetime", ":galivetime,0,120", "&salivetime,301"},
    {"&ssystemdelay,64", "?gsystemdelay", ":gsystemdelay,0,64", "&ssystemdelay,65"},
    {"&sgenrate,10", "?ggenrate", ":ggenrate,0,10", "&sgenrate,0"},
    {"&srateadptsrc,15", "?grateadptsrc", ":grateadptsrc,0,15", "&srateadptsrc,4"},
    {"&srateadptsrc,18", "?grateadptsrc", ":grateadptsrc,0,18", "&srateadptsrc,19"},
    {"&swclkout,1", "?gwclkout", ":gwclkout,0,1", "&swclkout,2"},
    {"&sdevid,99,'Studio B'", "?gdevid", ":gdevid,0,99,'Studio B'", "&sdevid,100,'Studio C'"},
    {"&sdevid,0,'Studio B'", "?gdevid", ":gdevid,0,0,'Studio B'", "&sdevid,-1,'Studio B'"},
    {"&sip,0,'10.1.2.3','255.255.0.0','10.1.0.1'", "?gip",
     ":gip,0,0,'10.1.2.3','255.255.0.0','10.1.0.1','0050C2000001'",
     "&sip,0,'10.1.2.256','255.255.0.0','10.1.0.1'"},
    {"&sip,1,'0.0.0.0','0.0.0.0','0.0.0.0'", "?gip",
     ":gip,0,1,'0.0.0.0','0.0.0.0','0.0.0.0','0050C2000001'",
     "&sip,2,'0.0.0.0','0.0.0.0','0.0.0.0'"},
    {"&spsuconf,1", "?gpsuconf", ":gpsuconf,0,1", "&spsuconf,4"},
    {"&sfanconf,3", "?gfanconf", ":gfanconf,0,3", "&sfanconf,8"},
    {"&saeschstat,1", "?gaeschstat", ":gaeschstat,0,1", "&saeschstat,2"},
    {"&ssyncprio,16,31", "?gsyncprio,16", ":gsyncprio,0,16,31", "&ssyncprio,16,32"},
    {"&ssyncprio,2,0", "?gsyncprio,2", ":gsyncprio,0,2,0", "&ssyncprio,2,-1"},
    {"&ssyncterm,1", "?gsyncterm", ":gsyncterm,0,1", "&ssyncterm,2"},
    {"&smadiinmode,1,1", "?gmadiinmode,1", ":gmadiinmode,0,1,1", "&smadiinmode,1,2"},
    {"&smadiinmode,3,1", "?gmadiinmode,3", ":gmadiinmode,0,3,1", "&smadiinmode,4,1"},
    {"&smadioutmode,2,1,0,1", "?gmadioutmode,2", ":gmadioutmode,0,2,1,0,1",
     "&smadioutmode,2,1,2,1"},
    {"&smadidsdmode,3,1", "?gmadidsdmode,3", ":gmadidsdmode,0,3,1", "&smadidsdmode,3,-1"},
    {"&sphdmode,1,3,2", "?gphdmode", ":gphdmode,0,1,3,2", "&sphdmode,1,4,2"},
    {"&soptmode,2,2", "?goptmode,2", ":goptmode,0,2,2", "&soptmode,2,3"},
    {"&soptred,1,2", "?goptred", ":goptred,0,1,2", "&soptred,1,3"},
    {"&shlinkinmode,1,1", "?ghlinkinmode,1", ":ghlinkinmode,0,1,1", "&shlinkinmode,1,2"},
    {"&shlinkoutmode,2,1", "?ghlinkoutmode,2", ":ghlinkoutmode,0,2,1", "&shlinkoutmode,3,1"},
    {"&sbkname,'Stage-Left'", "?gbkname", ":gbkname,0,'Stage-Left'", "&sbkname,''"},
    {"&sbkip,0,'10.0.0.5','255.0.0.0','10.0.0.1','10.0.0.2'", "?gbkip",
     ":gbkip,0,0,'10.0.0.5','255.0.0.0','10.0.0.1','10.0.0.2','001DC1000001'",
     "&sbkip,0,'10.0.0.5','255.0.0.0','10.0.0.1','dns'"},
    {"&sbksecip,1,'0.0.0.0','0.0.0.0','0.0.0.0','0.0.0.0'", "?gbksecip",
     ":gbksecip,0,1,'0.0.0.0','0.0.0.0','0.0.0.0','0.0.0.0','001DC1000002'",
     "&sbksecip,0,'10.0.0.5','255.0.0.0','10.0.0','0.0.0.0'"},
    {"&sswmodeip,1", "?gswmodeip", ":gswmodeip,0,1", "&sswmodeip,2"},
    {"&ssrenaip,0", "?gsrenaip", ":gsrenaip,0,0", "&ssrenaip,-1"},
    {"&sprefmastip,'localhost',1", "?gprefmastip,'localhost'", ":gprefmastip,0,'localhost',1",
     "&sprefmastip,'localhost',2"},
};

TEST(SettingsState, EverySettingIsKeptRefusedOutOfRangeAndAnnounced) {
    for (const SettingCase& c : kSettings) {
        SCOPED_TRACE(c.set);
        SettingsModel frame(*presetProfile("460"));
        const std::string before = frame.ask(c.get);
        ASSERT_NE(before, c.after) << "the preset already holds the new value";

        const Outcome set = frame.send(c.set);
        ASSERT_EQ(set.replies.size(), 1u);
        EXPECT_EQ(frame.status(set.replies[0].substr(0, set.replies[0].size() - 1)), 0);
        ASSERT_EQ(set.announcements.size(), 1u);
        EXPECT_EQ(set.announcements[0], "!" + std::string(c.after + 1) + "\r");
        EXPECT_EQ(frame.ask(c.get), c.after);

        const Outcome refused = frame.send(c.refused);
        ASSERT_EQ(refused.replies.size(), 1u);
        EXPECT_NE(frame.status(refused.replies[0].substr(0, refused.replies[0].size() - 1)), 0);
        EXPECT_TRUE(refused.announcements.empty());
        EXPECT_EQ(frame.ask(c.get), c.after);

        // A fresh frame refuses it too: the refusal does not depend on the first set.
        SettingsModel fresh(*presetProfile("460"));
        EXPECT_NE(fresh.status(fresh.ask(c.refused)), 0);
        EXPECT_EQ(fresh.ask(c.get), before);
    }
}

TEST(SettingsState, ClearReturnsEverySettingToTheProfile) {
    SettingsModel frame(*presetProfile("460"));
    std::vector<std::string> before;
    for (const SettingCase& c : kSettings)
        before.push_back(frame.ask(c.get));
    for (const SettingCase& c : kSettings)
        frame.send(c.set);
    frame.send("&sclear");
    for (std::size_t k = 0; k < std::size(kSettings); ++k)
        EXPECT_EQ(frame.ask(kSettings[k].get), before[k]) << kSettings[k].get;
}

TEST(SettingsState, UnitsTakenOutOfTheConfigurationReportNothing) {
    FrameProfile p = *presetProfile("460");
    p.psuStatus[2] = 1;
    p.fanStatus[3] = 1;
    SettingsModel frame(p);
    EXPECT_EQ(frame.ask("?gpsustatus,2"), ":gpsustatus,0,2,1");
    EXPECT_EQ(frame.ask("?gfanstatus,3"), ":gfanstatus,0,3,1");
    frame.send("&spsuconf,1");
    frame.send("&sfanconf,3");
    EXPECT_EQ(frame.ask("?gpsustatus,2"), ":gpsustatus,0,2,0");
    EXPECT_EQ(frame.ask("?gfanstatus,3"), ":gfanstatus,0,3,0");
}

TEST(SettingsState, LatencyIsSetWithinTheModulesLimits) {
    SettingsModel frame(*presetProfile("460"));
    EXPECT_EQ(frame.ask("?gmaxlatencyip,'localhost'"), ":gmaxlatencyip,0,'localhost',1000");

    const Outcome set = frame.send("&sperformip,'localhost',8,600");
    ASSERT_EQ(set.replies.size(), 1u);
    EXPECT_EQ(set.replies[0], ":sperformip,0,'localhost',8,600\r");
    ASSERT_EQ(set.announcements.size(), 2u);
    EXPECT_EQ(set.announcements[0], "!gframeip,0,'localhost',8\r");
    EXPECT_EQ(set.announcements[1], "!glatencyip,0,'localhost',600\r");

    // Below 250 us, above the maximum, or a packet size the module does not know.
    for (const char* bad : {"&sperformip,'localhost',4,249", "&sperformip,'localhost',32,1001",
                            "&sperformip,'localhost',12,600", "&sperformip,'localhost',0,600"}) {
        const Outcome refused = frame.send(bad);
        ASSERT_EQ(refused.replies.size(), 1u) << bad;
        EXPECT_NE(frame.status(refused.replies[0].substr(0, refused.replies[0].size() - 1)), 0)
            << bad;
        EXPECT_TRUE(refused.announcements.empty()) << bad;
    }
    EXPECT_EQ(frame.ask("?gframeip,'localhost'"), ":gframeip,0,'localhost',8");
    EXPECT_EQ(frame.ask("?glatencyip,'localhost'"), ":glatencyip,0,'localhost',600");

    // The maximum comes from the profile; the edges are taken.
    FrameProfile wide = *presetProfile("460");
    wide.ipMaxLatency = 5000;
    SettingsModel wideFrame(wide);
    EXPECT_EQ(wideFrame.status(wideFrame.ask("&sperformip,'localhost',32,5000")), 0);
    EXPECT_EQ(wideFrame.status(wideFrame.ask("&sperformip,'localhost',4,250")), 0);
    EXPECT_NE(wideFrame.status(wideFrame.ask("&sperformip,'localhost',32,5001")), 0);
}

TEST(SettingsState, TheModuleAnswersToItsNameLocalhostAndNoName) {
    SettingsModel frame(*presetProfile("460"));
    ASSERT_EQ(frame.status(frame.ask("&sperformip,'localhost',16,800")), 0);
    ASSERT_EQ(frame.status(frame.ask("&sprefmastip,'Frame-IP',1")), 0);

    // The same values under every name the module goes by, echoed as asked.
    EXPECT_EQ(frame.ask("?glatencyip,'Frame-IP'"), ":glatencyip,0,'Frame-IP',800");
    EXPECT_EQ(frame.ask("?glatencyip,''"), ":glatencyip,0,'',800");
    EXPECT_EQ(frame.ask("?gprefmastip,'localhost'"), ":gprefmastip,0,'localhost',1");

    // A rename keeps them; the old name then stands for another device.
    ASSERT_EQ(frame.status(frame.ask("&sbkname,'Renamed'")), 0);
    EXPECT_EQ(frame.ask("?glatencyip,'Renamed'"), ":glatencyip,0,'Renamed',800");
    EXPECT_EQ(frame.ask("?gframeip,'Renamed'"), ":gframeip,0,'Renamed',16");
    EXPECT_EQ(frame.ask("?glatencyip,'Frame-IP'"), ":glatencyip,0,'Frame-IP',1000");
}

TEST(SettingsState, ALockedOrManagedModuleRefusesItsSettings) {
    const char* const kModuleSets[] = {
        "&sbkname,'Other'",
        "&sbkip,1,'0.0.0.0','0.0.0.0','0.0.0.0','0.0.0.0'",
        "&sbksecip,1,'0.0.0.0','0.0.0.0','0.0.0.0','0.0.0.0'",
        "&sswmodeip,1",
        "&ssrenaip,0",
        "&sprefmastip,'localhost',1",
        "&sperformip,'localhost',8,600",
    };
    struct Case {
        int lock;
        int domainState;
        bool refused;
    };
    for (const Case c : {Case{1, 0, true}, Case{0, 1, true}, Case{0, 2, true}, Case{0, 3, false},
                         Case{0, 0, false}}) {
        SCOPED_TRACE("lock " + std::to_string(c.lock) + " domain " + std::to_string(c.domainState));
        FrameProfile profile = *presetProfile("460");
        profile.ipLock = c.lock;
        profile.ipDomainState = c.domainState;
        SettingsModel frame(profile);
        EXPECT_EQ(frame.ask("?gbklock"), ":gbklock,0," + std::to_string(c.lock));
        EXPECT_EQ(frame.ask("?gbkdomain"), ":gbkdomain,0,0,0," + std::to_string(c.domainState));
        for (const char* set : kModuleSets) {
            const Outcome o = frame.send(set);
            ASSERT_EQ(o.replies.size(), 1u) << set;
            const int status = frame.status(o.replies[0].substr(0, o.replies[0].size() - 1));
            EXPECT_EQ(status, c.refused ? CFrameModel::kStatusNotInThisMode : 0) << set;
            EXPECT_EQ(o.announcements.empty(), c.refused) << set;
        }
        EXPECT_EQ(frame.ask("?gbkname"),
                  c.refused ? ":gbkname,0,'Frame-IP'" : ":gbkname,0,'Other'");
        // The frame's own settings are not the module's.
        EXPECT_EQ(frame.status(frame.ask("&sgenrate,4")), 0);
    }
}

TEST(SettingsState, AFrameWithoutPhdRefusesPhdSettings) {
    FrameProfile profile = *presetProfile("460");
    ASSERT_TRUE(profile.hasPhd());
    profile.modules[kMainBoardModule].boardText = "460101A   230115";
    ASSERT_FALSE(profile.hasPhd());
    SettingsModel frame(profile);
    EXPECT_NE(frame.status(frame.ask("&sphdmode,1,1,1")), 0);
    EXPECT_EQ(frame.ask("?gphdmode"), ":gphdmode,0,0,0,0");
    EXPECT_NE(frame.status(frame.ask("&srateadptsrc,13")), 0);
    EXPECT_NE(frame.status(frame.ask("&srateadptsrc,14")), 0);
    EXPECT_EQ(frame.ask("?grateadptsrc"), ":grateadptsrc,0,1");

    // With PHD both are taken.
    SettingsModel withPhd(*presetProfile("460"));
    EXPECT_EQ(withPhd.status(withPhd.ask("&srateadptsrc,14")), 0);
    EXPECT_EQ(withPhd.ask("?grateadptsrc"), ":grateadptsrc,0,14");
}

TEST(SettingsState, AFrameWithoutTheModulesRefusesTheirSettings) {
    FrameProfile profile = *presetProfile("460");
    profile.modules[kSfpModule] = {};
    profile.modules[kIpModule] = {};
    SettingsModel frame(profile);
    for (const char* set : {"&soptmode,1,2", "&soptred,1,0", "&shlinkinmode,1,1",
                            "&smadiinmode,2,1", "&smadioutmode,3,1,1,1", "&smadidsdmode,2,1",
                            "&sbkname,'X'", "&sswmodeip,1", "&sperformip,'localhost',8,600"})
        EXPECT_NE(frame.status(frame.ask(set)), 0) << set;
    EXPECT_EQ(frame.ask("?gmadiinmode,2"), ":gmadiinmode,0,2,0");
    // The coax port is the frame's own.
    EXPECT_EQ(frame.status(frame.ask("&smadiinmode,1,1")), 0);
}

TEST(SettingsState, TheProfileSetsTheStartingValues) {
    std::string error;
    const auto profile = parseProfile("system-delay = 12\n"
                                      "rate-adapt-source = 16\n"
                                      "word-clock-out = 1\n"
                                      "sync-term = 1\n"
                                      "aes-channel-status = 1\n"
                                      "madi.2 = 1,1,0,1,1\n"
                                      "phd = 1,2,3\n"
                                      "opt-mode.2 = 2\n"
                                      "opt-redundancy = 1,2\n"
                                      "hotlink.2 = 1,0\n"
                                      "ip-module.primary.dns = 10.0.0.53\n"
                                      "ip-module.sample-rate-control = 0\n"
                                      "ip-module.preferred-master = 1\n"
                                      "ip-module.latency = 2000\n"
                                      "ip-module.max-latency = 5000\n"
                                      "ip-module.frame-size = 32\n"
                                      "ip-module.lock = 1\n"
                                      "ip-module.domain-state = 3\n",
                                      error);
    ASSERT_TRUE(profile) << error;
    SettingsModel frame(*profile);
    const std::pair<const char*, const char*> kExpected[] = {
        {"?gsystemdelay", ":gsystemdelay,0,12"},
        {"?grateadptsrc", ":grateadptsrc,0,16"},
        {"?gwclkout", ":gwclkout,0,1"},
        {"?gsyncterm", ":gsyncterm,0,1"},
        {"?gaeschstat", ":gaeschstat,0,1"},
        {"?gmadiinmode,2", ":gmadiinmode,0,2,1"},
        {"?gmadioutmode,2", ":gmadioutmode,0,2,1,0,1"},
        {"?gmadidsdmode,2", ":gmadidsdmode,0,2,1"},
        {"?gmadiinmode,1", ":gmadiinmode,0,1,0"},
        {"?gphdmode", ":gphdmode,0,1,2,3"},
        {"?goptmode,1", ":goptmode,0,1,1"},
        {"?goptmode,2", ":goptmode,0,2,2"},
        {"?goptred", ":goptred,0,1,2"},
        {"?ghlinkinmode,2", ":ghlinkinmode,0,2,1"},
        {"?ghlinkoutmode,2", ":ghlinkoutmode,0,2,0"},
        {"?gbkip",
         ":gbkip,0,0,'192.168.10.2','255.255.255.0','0.0.0.0','10.0.0.53','001DC1000001'"},
        {"?gsrenaip", ":gsrenaip,0,0"},
        {"?gprefmastip,''", ":gprefmastip,0,'',1"},
        {"?glatencyip,''", ":glatencyip,0,'',2000"},
        {"?gmaxlatencyip,''", ":gmaxlatencyip,0,'',5000"},
        {"?gframeip,''", ":gframeip,0,'',32"},
        {"?gbklock", ":gbklock,0,1"},
        {"?gbkdomain", ":gbkdomain,0,0,0,3"},
    };
    for (const auto& [get, expected] : kExpected)
        EXPECT_EQ(frame.ask(get), expected) << get;
}

TEST(SettingsState, MalformedProfileValuesAreRefused) {
    for (const char* line :
         {"madi.1 = 1,0,0,0", "madi.4 = 0,0,0,0,0", "phd = 1,2", "phd = 1,x,2", "hotlink.3 = 0,0",
          "opt-redundancy = 1", "opt-mode.0 = 1", "system-delay = ten", "ip-module.lock = "}) {
        std::string error;
        EXPECT_FALSE(parseProfile(line, error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
}

// Over real sockets: the second client hears each taken setting as its "!"
// message and nothing of a refused one.
TEST(SettingsStateWire, TheOtherClientHearsTakenSettingsOnly) {
    FrameProfile profile = *presetProfile("460");
    profile.aliveIntervalMs = 0;
    CSimulatedFrame frame(profile);
    QString error;
    ASSERT_TRUE(frame.start(&error)) << error.toStdString();
    test::CTestClient a, b;
    const QString address = QString::fromStdString(profile.bindAddress);
    ASSERT_TRUE(a.connectTo(address, frame.commandPort()));
    ASSERT_TRUE(b.connectTo(address, frame.commandPort()));
    ASSERT_TRUE(QTest::qWaitFor([&]() { return frame.clientCount() == 2; }, test::kWaitMs));

    EXPECT_EQ(a.askLine("&ssyncprio,16,40\r").message.status, 1);
    EXPECT_EQ(a.askLine("&ssystemdelay,65\r").message.status, 1);
    EXPECT_EQ(a.askLine("&ssyncprio,16,9\r").message.status, 0);
    EXPECT_EQ(a.askLine("&sdevid,7,'Studio B'\r").message.status, 0);
    EXPECT_EQ(a.askLine("&sperformip,'localhost',4,300\r").message.status, 0);

    ASSERT_TRUE(b.waitLines(4));
    EXPECT_EQ(b.lines()[0].text, "!gsyncprio,0,16,9");
    EXPECT_EQ(b.lines()[1].text, "!gdevid,0,7,'Studio B'");
    EXPECT_EQ(b.lines()[2].text, "!gframeip,0,'localhost',4");
    EXPECT_EQ(b.lines()[3].text, "!glatencyip,0,'localhost',300");
    EXPECT_EQ(b.lines()[0].message.flags, 0);

    // Both read the new values back.
    EXPECT_EQ(b.askLine("?gsyncprio,16\r").text, ":gsyncprio,0,16,9");
    EXPECT_EQ(b.askLine("?gsystemdelay\r").text, ":gsystemdelay,0,0");
    EXPECT_EQ(a.askLine("?gdevid\r").text, ":gdevid,0,7,'Studio B'");
    // The list the program polls the priorities with reads the same state.
    EXPECT_EQ(b.askLine("?lsyncprio,15,3\r").text, ":lsyncprio,0,15,3,0,9,0");
    EXPECT_EQ(b.lines().size(), 7u);
}

} // namespace
} // namespace velmar::framesim
