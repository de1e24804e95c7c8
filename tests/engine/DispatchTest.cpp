#include "EngineFakes.h"

#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmar {
namespace {

using test::EngineRig;
using test::FakeDialog;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string numbers(int first, int count) {
    std::string out;
    for (int k = 0; k < count; ++k)
        out += "," + std::to_string(first + k);
    return out;
}

// A connected 461 whose start and stage-two requests are out of the way.
struct DispatchRig : EngineRig {
    FakeDialog dialog; // stands in for whichever dialog a row opens
    explicit DispatchRig(int family = kFamily461) {
        connect(family);
        link.take();
    }
    const DeviceSettings& s() const { return engine.state().settings; }
    const LiveStatus& live() const { return engine.state().live; }
};

// The status bar lines the dispatch wrote, without the start-up poll's
// progress (the rig's frame never finishes answering it).
std::vector<std::string> notices(const DispatchRig& r) {
    std::vector<std::string> out;
    for (const std::string& m : r.view.statusMessages)
        if (!m.starts_with("Reading "))
            out.push_back(m);
    return out;
}

struct Row {
    const char* name;
    std::vector<std::string> setup;
    std::string line;
    std::function<void(DispatchRig&)> check;
    IDialogSink* DialogRegistry::*dialog = nullptr;
};

void runRows(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        DispatchRig rig;
        if (r.dialog != nullptr)
            rig.engine.dialogs().*r.dialog = &rig.dialog;
        for (const std::string& line : r.setup)
            rig.feed(line);
        rig.link.take();
        rig.view.statusMessages.clear();
        rig.feed(r.line);
        r.check(rig);
    }
}

TEST(Dispatch, IdentityAndInventory) {
    runRows({
        {"gdevinfo of an unknown model makes the family 460",
         {},
         ":gdevinfo,0,'X9',5,'SN-1'",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().deviceModel.view(), "X9");
             EXPECT_EQ(r.s().deviceModelNumber, 5);
             EXPECT_EQ(r.s().serialNumber.view(), "SN-1");
             EXPECT_EQ(r.engine.state().family, kFamily460);
             EXPECT_EQ(r.view.typeListRebuilds, 1);
             EXPECT_EQ(r.view.rowAddress, "10.0.1.20");
             EXPECT_EQ(r.view.rowModel, "X9");
             EXPECT_EQ(r.view.rowSerial, "SN-1");
         }},
        {"sdevinfo of the same family rebuilds nothing",
         {},
         ":sdevinfo,0,'RB16',1,'S'",
         [](DispatchRig& r) {
             EXPECT_EQ(r.engine.state().family, kFamily461);
             EXPECT_EQ(r.view.typeListRebuilds, 0);
             EXPECT_EQ(r.view.rowModel, "RB16");
         }},
        {"gip",
         {},
         ":gip,0,1,'10.0.0.9','255.0.0.0','10.0.0.1','0011AABBCCDD'",
         [](DispatchRig& r) {
             const NetworkSettings& n = r.s().networkSettings;
             EXPECT_EQ(n.mode, 1);
             EXPECT_EQ(n.ipAddress.view(), "10.0.0.9");
             EXPECT_EQ(n.subnetMask.view(), "255.0.0.0");
             EXPECT_EQ(n.gateway.view(), "10.0.0.1");
             EXPECT_EQ(n.macAddress.view(), "0011AABBCCDD");
         }},
        {"sip takes the addresses the frame confirmed and keeps the MAC",
         {":gip,0,0,'10.0.0.9','255.0.0.0','10.0.0.1','0011AABBCCDD'"},
         ":sip,0,1,'0.0.0.0','0.0.0.0','0.0.0.0'",
         [](DispatchRig& r) {
             const NetworkSettings& n = r.s().networkSettings;
             EXPECT_EQ(n.mode, 1);
             EXPECT_EQ(n.ipAddress.view(), "0.0.0.0");
             EXPECT_EQ(n.gateway.view(), "0.0.0.0");
             EXPECT_EQ(n.macAddress.view(), "0011AABBCCDD");
         }},
        {"ghwconf module 2 decides PHD",
         {},
         ":ghwconf,0,2,1,'460101-03','B'",
         [](DispatchRig& r) {
             EXPECT_TRUE(r.engine.state().noPhd());
             EXPECT_EQ(r.s().hwConf[2].secondText.view(), "B");
         }},
        {"ghwconf module 20 types the card slots",
         {":ghwconf,0,9,1,'460130',''", ":ghwconf,0,10,0,'460210',''",
          ":ghwconf,0,11,1,'460132',''", ":ghwconf,0,12,1,'460250',''"},
         ":ghwconf,0,20,0,'',''",
         [](DispatchRig& r) {
             EXPECT_EQ(r.engine.state().cardType(1), 2);
             EXPECT_EQ(r.engine.state().cardType(2), 0) << "not fitted";
             EXPECT_EQ(r.engine.state().cardType(3), 6);
             EXPECT_EQ(r.engine.state().cardType(4), 5);
             EXPECT_EQ(r.s().cards[1].cardMode, 1);
             EXPECT_EQ(r.s().cards[3].cardMode, 1);
             EXPECT_EQ(r.s().cards[4].cardMode, 0);
         }},
        {"gswver module 2 sets the version",
         {},
         ":gswver,0,2,'a','2.0.0.1','b','c'",
         [](DispatchRig& r) {
             EXPECT_EQ(r.engine.state().versionNumber(), 2000001);
             EXPECT_EQ(r.s().swVersion[2].first[1].view(), "b");
             EXPECT_EQ(r.s().swVersion[2].second[1].view(), "c");
         }},
        {"operating time goes to its dialog whatever the status",
         {},
         ":gtotopertime,4",
         [](DispatchRig& r) { EXPECT_THAT(r.dialog.received, ElementsAre(":gtotopertime,4,0,0")); },
         &DialogRegistry::operatingTime},
    });
}

TEST(Dispatch, SettingsWithZeroOnError) {
    struct Field {
        const char* keyword;
        std::function<std::int32_t(const DispatchRig&)> get;
    };
    const Field fields[] = {
        {"gsystemdelay", [](const DispatchRig& r) { return r.s().systemDelay; }},
        {"galivetime", [](const DispatchRig& r) { return r.s().aliveTime; }},
        {"ggenrate", [](const DispatchRig& r) { return r.s().genRate; }},
        {"sgenrate", [](const DispatchRig& r) { return r.s().genRate; }},
        {"gactrate", [](const DispatchRig& r) { return r.live().actualRate; }},
        {"grateadptsrc", [](const DispatchRig& r) { return r.s().rateAdaptSource; }},
        {"srateadptsrc", [](const DispatchRig& r) { return r.s().rateAdaptSource; }},
        {"gwclkout", [](const DispatchRig& r) { return r.s().wordClockOut; }},
        {"swclkout", [](const DispatchRig& r) { return r.s().wordClockOut; }},
        {"gaeschstat", [](const DispatchRig& r) { return r.s().aesChannelStatus; }},
        {"saeschstat", [](const DispatchRig& r) { return r.s().aesChannelStatus; }},
        {"gsyncterm", [](const DispatchRig& r) { return r.s().syncTerm; }},
        {"gbklock", [](const DispatchRig& r) { return r.live().bkLock; }},
        {"gswmodeip", [](const DispatchRig& r) { return r.s().ipAudio.switchMode; }},
        {"sswmodeip", [](const DispatchRig& r) { return r.s().ipAudio.switchMode; }},
        {"gsrenaip", [](const DispatchRig& r) { return r.s().ipAudio.sampleRateEnable; }},
        {"ssrenaip", [](const DispatchRig& r) { return r.s().ipAudio.sampleRateEnable; }},
        {"suniclkip", [](const DispatchRig& r) { return r.s().ipAudio.unicastClock; }},
        {"guniclkip", [](const DispatchRig& r) { return r.s().ipAudio.unicastClock; }},
        {"gautorouteip", [](const DispatchRig& r) { return r.s().ipAudio.autoRouting; }},
        {"sautorouteip", [](const DispatchRig& r) { return r.s().ipAudio.autoRouting; }},
    };
    for (const Field& f : fields) {
        SCOPED_TRACE(f.keyword);
        DispatchRig rig;
        rig.feed(std::string(":") + f.keyword + ",0,3");
        EXPECT_EQ(f.get(rig), 3);
        rig.feed(std::string(":") + f.keyword + ",-5,4");
        EXPECT_EQ(f.get(rig), 0) << "an error reply stores 0";
    }
}

TEST(Dispatch, ErrorStatusIsIgnoredExceptWhereListed) {
    // Every command the dispatch handles whatever the status.
    const CommandId handled[] = {
        CommandId::gtotopertime, CommandId::gcuropertime, CommandId::gmaininpstatus,
        CommandId::gcross,       CommandId::glabel,       CommandId::ggain,
        CommandId::gsdirxstat,   CommandId::scrtxflow,    CommandId::scrrxflow,
        CommandId::stxflowslot,  CommandId::srxflowslot,
        // refusals of routing and PPM changes reach their open dialog, which says so
        CommandId::scrossip, CommandId::sperformip, CommandId::sppmcreate, CommandId::sppmdelete,
        CommandId::sppmchn, CommandId::sppmextchn, CommandId::sppmenable};
    for (const CommandId id : handled)
        EXPECT_EQ(dispatchErrorRule(id), OnError::Handle) << toIndex(id);
    for (const CommandId id : {CommandId::aliverequest, CommandId::error, CommandId::srestart,
                               CommandId::sidentify, CommandId::gdasigdet, CommandId::gdacardet,
                               CommandId::gmaininprate, CommandId::InvalidReply})
        EXPECT_EQ(dispatchErrorRule(id), OnError::NoRow) << toIndex(id);

    runRows({
        {"gdevid with error",
         {":gdevid,0,4,'Old'"},
         ":gdevid,1,9,'New'",
         [](DispatchRig& r) { EXPECT_EQ(r.s().deviceName.view(), "Old"); }},
        {"gpsustatus with error",
         {":gpsuconf,0,3", ":gpsustatus,0,1,1"},
         ":gpsustatus,3,1",
         [](DispatchRig& r) { EXPECT_EQ(r.live().psuStatus[1], 1); }},
        {"gcross with error keeps the route and says so",
         {"!gcross,0,5,17"},
         ":gcross,2,5",
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().crosspoints[5], 17);
             EXPECT_THAT(notices(r),
                         ElementsAre("The frame did not report output 5 (CARD1  05) (status 2)"));
         }},
        {"lcross with error",
         {":lcross,0,1,2,7,8"},
         ":lcross,1,1,2",
         [](DispatchRig& r) { EXPECT_EQ(r.live().crosspoints[1], 7); }},
        {"gsdirxstat with error is stored",
         {},
         ":gsdirxstat,9,1,2,5,6,7",
         [](DispatchRig& r) {
             const std::array<std::int32_t, 5> want = {1, 2, 5, 6, 7};
             EXPECT_EQ(r.live().sdiRxStatus[1], want);
         }},
        {"gmaininpstatus with error clears the entry",
         {":gmaininpstatus,0,3,LCK"},
         ":gmaininpstatus,1,3",
         [](DispatchRig& r) { EXPECT_TRUE(r.live().mainInputStatus[3].value.empty()); }},
        {"lmaininpstatus with error clears all 14",
         {":gmaininpstatus,0,3,LCK", ":gmaininpstatus,0,14,ERR"},
         ":lmaininpstatus,2,1,14",
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().mainInputStatus, (std::array<InputStatusPair, 15>{}));
         }},
        {"gbkip with error clears the record",
         {":gbkip,0,1,'1.2.3.4','255.0.0.0','1.2.3.1','1.2.3.2','AB'"},
         ":gbkip,2",
         [](DispatchRig& r) { EXPECT_EQ(r.s().ipAudio.primary, IpAudioAddress{}); }},
        {"gbkname with error empties it",
         {":gbkname,0,'Dante'"},
         ":gbkname,1",
         [](DispatchRig& r) { EXPECT_TRUE(r.s().ipAudio.moduleName.empty()); }},
        {"gbkdomain with error",
         {":gbkdomain,0,1,2,3"},
         ":gbkdomain,1",
         [](DispatchRig& r) { EXPECT_EQ(r.live().bkDomain, (std::array<std::int32_t, 3>{})); }},
        {"grxportrng with error",
         {":grxportrng,0,4000,4100"},
         ":grxportrng,1,4000,4100",
         [](DispatchRig& r) { EXPECT_EQ(r.live().rxPortRange, (std::array<std::int32_t, 2>{})); }},
        {"soptred with error",
         {":goptred,0,1,2"},
         ":soptred,1,1,2",
         [](DispatchRig& r) { EXPECT_EQ(r.s().optRedundancy, (std::array<std::int32_t, 2>{})); }},
        {"goptinact with error",
         {":goptinact,0,2,1"},
         ":goptinact,4,2",
         [](DispatchRig& r) { EXPECT_EQ(r.live().optInactive[2], 0); }},
        {"gprefmastip reads the value behind the name",
         {},
         ":gprefmastip,0,'Main',1",
         [](DispatchRig& r) { EXPECT_EQ(r.s().ipAudio.preferredMaster, 1); }},
        {"gprefmastip with error",
         {":gprefmastip,0,'Main',1"},
         ":gprefmastip,2",
         [](DispatchRig& r) { EXPECT_EQ(r.s().ipAudio.preferredMaster, 0); }},
        {"sprefmastip reads the value behind the name",
         {},
         ":sprefmastip,0,'Main',1",
         [](DispatchRig& r) { EXPECT_EQ(r.s().ipAudio.preferredMaster, 1); }},
        {"gmaxlatencyip",
         {},
         ":gmaxlatencyip,0,'M',2000",
         [](DispatchRig& r) { EXPECT_EQ(r.live().maxLatency, 2000); }},
        {"gframeip with error",
         {":gframeip,0,'M',64"},
         ":gframeip,3",
         [](DispatchRig& r) { EXPECT_EQ(r.s().ipAudio.frameSize, 0); }},
        {"sprog with error reaches the transfer",
         {},
         ":sprog,5,1",
         [](DispatchRig& r) { EXPECT_THAT(r.dialog.received, ElementsAre(":sprog,5,1,0")); },
         &DialogRegistry::firmwareUpdate},
    });
}

TEST(Dispatch, SyncAndMainBoard) {
    runRows({
        {"gsyncprio",
         {},
         ":gsyncprio,0,18,31",
         [](DispatchRig& r) { EXPECT_EQ(r.engine.state().syncPriorityOf(18), 31); }},
        {"lsyncprio from source 2",
         {},
         ":lsyncprio,0,2,17" + numbers(1, 17),
         [](DispatchRig& r) {
             for (int source = 2; source <= 18; ++source)
                 EXPECT_EQ(r.engine.state().syncPriorityOf(source), source - 1);
         }},
        {"lsyncprio not from source 2",
         {},
         ":lsyncprio,0,3,2,5,6",
         [](DispatchRig& r) { EXPECT_EQ(r.engine.state().syncPriorityOf(3), 0); }},
        {"gsyncstat",
         {},
         "!gsyncstat,0,4,1",
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().syncSource, 4);
             EXPECT_EQ(r.live().syncState, 1);
             EXPECT_EQ(r.view.status.syncSource.text, "Video");
             EXPECT_TRUE(r.view.status.syncSource.red);
         }},
        {"lmaininpstatus",
         {},
         ":lmaininpstatus,0,1,14,A,B,C,D,E,F,G,H,I,J,K,L,M,NOP",
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().mainInputStatus[1].index, 1);
             EXPECT_EQ(r.live().mainInputStatus[1].value.view(), "A");
             EXPECT_EQ(r.live().mainInputStatus[14].index, 14);
             EXPECT_EQ(r.live().mainInputStatus[14].value.view(), "NOP");
         }},
        {"gmadiinmode",
         {},
         ":gmadiinmode,0,3,2",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().madiInMode[3].port, 3);
             EXPECT_EQ(r.s().madiInMode[3].values[0], 2);
         }},
        {"gmadioutmode keeps the DSD mode; port 3 rebuilds",
         {":gmadidsdmode,0,3,1"},
         ":gmadioutmode,0,3,4,5,6",
         [](DispatchRig& r) {
             const std::array<std::int32_t, 4> modes = {0, 4, 5, 6};
             EXPECT_EQ(r.s().madiOutMode[3].modes, modes);
             EXPECT_EQ(r.s().madiOutMode[3].dsdMode, 1);
             EXPECT_EQ(r.view.typeListRebuilds, 1);
         }},
        {"gmadioutmode port 1 does not rebuild",
         {},
         ":gmadioutmode,0,1,4,5,6",
         [](DispatchRig& r) { EXPECT_EQ(r.view.typeListRebuilds, 0); }},
        {"gphdmode",
         {},
         ":gphdmode,0,1,2,3",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().phdMode, (std::array<std::int32_t, 3>{1, 2, 3}));
         }},
        {"goptmode",
         {},
         ":goptmode,0,2,2",
         [](DispatchRig& r) { EXPECT_EQ(r.s().optMode[2].value, 2); }},
        {"goptred rebuilds when the first value changes",
         {},
         ":goptred,0,1,2",
         [](DispatchRig& r) { EXPECT_EQ(r.view.typeListRebuilds, 1); }},
        {"goptred unchanged first value",
         {},
         ":goptred,0,0,2",
         [](DispatchRig& r) {
             EXPECT_EQ(r.view.typeListRebuilds, 0);
             EXPECT_EQ(r.s().optRedundancy[1], 2);
         }},
        {"ghlinkoutmode",
         {},
         ":ghlinkoutmode,0,1,3",
         [](DispatchRig& r) { EXPECT_EQ(r.s().hotlinkOutMode[1].value, 3); }},
    });
}

TEST(Dispatch, PowerAndCooling) {
    runRows({
        {"gpsuconf with error still asks both PSUs",
         {":gpsuconf,0,3"},
         ":gpsuconf,5,3",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().psuConfig, 0);
             EXPECT_THAT(r.link.take(), ElementsAre("?gpsustatus,1", "?gpsustatus,2"));
             r.feed(":gpsustatus,0,1,1");
             EXPECT_EQ(r.live().psuStatus[1], 0) << "not fitted is not faulty";
         }},
        {"spsuconf asks nothing",
         {},
         ":spsuconf,0,1",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().psuConfig, 1);
             EXPECT_THAT(r.link.sent, IsEmpty());
         }},
        {"gfanconf with error asks no fan",
         {},
         ":gfanconf,1,7",
         [](DispatchRig& r) { EXPECT_THAT(r.link.sent, IsEmpty()); }},
        {"gfanstatus stored while fans are fitted",
         {":gfanconf,0,2"},
         ":gfanstatus,0,2,1",
         [](DispatchRig& r) { EXPECT_EQ(r.live().fanStatus[2], 1); }},
    });
}

TEST(Dispatch, Crosspoints) {
    runRows({
        {"unsolicited gcross redraws its row",
         {},
         "!gcross,0,5,17",
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().crosspoints[5], 17);
             EXPECT_THAT(r.view.rowsRedrawn, ElementsAre(5));
             EXPECT_EQ(r.view.fullRedraws, 0);
         }},
        {"gcross reply goes to the X-Y dialog and redraws a changed row",
         {},
         ":gcross,0,5,17",
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().crosspoints[5], 17);
             EXPECT_THAT(r.dialog.received, ElementsAre(":gcross,0,5,17"));
             EXPECT_THAT(r.view.rowsRedrawn, ElementsAre(5));
             EXPECT_THAT(notices(r),
                         ElementsAre("Frame reports output 5 (CARD1  05) fed by input 17 "
                                     "(CARD1  17)"));
         },
         &DialogRegistry::xyControl},
        {"gcross reply with the route already shown leaves the row alone",
         {"!gcross,0,5,17"},
         ":gcross,0,5,17",
         [](DispatchRig& r) { EXPECT_THAT(r.view.rowsRedrawn, ElementsAre(5)); }},
        {"refused scross keeps the live route and asks the frame for it",
         {"!gcross,0,5,17"},
         ":scross,3,5,9,0,0",
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().crosspoints[5], 17);
             EXPECT_THAT(r.dialog.received, IsEmpty());
             EXPECT_THAT(r.view.rowsRedrawn, ElementsAre(5));
             EXPECT_THAT(r.link.sent, ElementsAre("?gcross,5"));
             EXPECT_THAT(notices(r),
                         ElementsAre("Route refused (status 3): output 5 (CARD1  05) from input "
                                     "9; asking for its route"));
         },
         &DialogRegistry::xyControl},
        {"refused scross from another controller changes nothing and asks nothing",
         {"!gcross,0,5,17"},
         "!scross,3,5,9,0,0",
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().crosspoints[5], 17);
             EXPECT_THAT(r.link.sent, IsEmpty());
         }},
        {"confirmed scross updates the row and tells the operator",
         {},
         ":scross,0,593,513,0,0",
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().crosspoints[593], 513);
             EXPECT_THAT(r.view.rowsRedrawn, ElementsAre(593));
             EXPECT_THAT(notices(r),
                         ElementsAre("Route confirmed: output 593 (MADI  01) fed by input 513 "
                                     "(AES  01)"));
         }},
        {"confirmed disconnect",
         {"!gcross,0,5,17"},
         ":scross,0,5,0,0,0",
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().crosspoints[5], 0);
             EXPECT_THAT(notices(r),
                         ElementsAre("Route confirmed: output 5 (CARD1  05) not connected"));
         }},
        {"lcross block in the middle",
         {},
         ":lcross,0,129,128" + numbers(1, 128),
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().crosspoints[129], 1);
             EXPECT_EQ(r.live().crosspoints[256], 128);
             EXPECT_EQ(r.live().crosspoints[257], 0);
             EXPECT_EQ(r.view.fullRedraws, 0);
         }},
        {"lcross eighth block ends at 1024",
         {},
         ":lcross,0,897,128" + numbers(1, 128),
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().crosspoints[1024], 128);
             EXPECT_EQ(r.view.fullRedraws, 1);
         }},
        {"lcross past the end",
         {},
         ":lcross,0,961,128" + numbers(1, 128),
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().crosspoints[961], 0);
             EXPECT_EQ(r.view.fullRedraws, 0);
         }},
    });

    DispatchRig big(kFamily460);
    big.feed(":gswver,0,2,'m','2.0.0.1'");
    big.feed(":lcross,0,897,128" + numbers(1, 128));
    EXPECT_EQ(big.view.fullRedraws, 0);
    big.feed(":lcross,0,1409,128" + numbers(1, 128));
    EXPECT_EQ(big.live().crosspoints[1536], 128);
    EXPECT_EQ(big.view.fullRedraws, 1);
    big.feed("!gcross,0,1536,3");
    EXPECT_EQ(big.live().crosspoints[1536], 3);
}

TEST(Dispatch, ChannelParametersOnlyWhileTheirDialogIsOpen) {
    runRows({
        {"glabel with the dialog closed",
         {},
         ":glabel,0,1,7,'Vox'",
         [](DispatchRig& r) { EXPECT_TRUE(r.s().outputLabels[7].empty()); }},
        {"glabel with the dialog open",
         {},
         ":glabel,0,1,7,'Vox'",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().outputLabels[7].view(), "Vox");
             EXPECT_TRUE(r.s().inputLabels[7].empty());
             EXPECT_EQ(r.dialog.received.size(), 1U);
         },
         &DialogRegistry::channelLabels},
        {"glabel refused with the dialog open",
         {":glabel,0,1,7,'Vox'"},
         ":glabel,3,1,7",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().outputLabels[7].view(), "Vox") << "unknown, not empty";
             EXPECT_EQ(r.dialog.received.size(), 1U) << "only the first";
         },
         &DialogRegistry::channelLabels},
        {"slabel with error",
         {},
         ":slabel,2,0,7",
         [](DispatchRig& r) { EXPECT_THAT(r.dialog.received, IsEmpty()); },
         &DialogRegistry::channelLabels},
        {"llabel",
         {},
         ":llabel,0,0,1023,2,'A','B'",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().inputLabels[1023].view(), "A");
             EXPECT_EQ(r.s().inputLabels[1024].view(), "B");
         },
         &DialogRegistry::channelLabels},
        {"ggain with error still reaches the dialog",
         {},
         ":ggain,1,0,20,0.00,0,0",
         [](DispatchRig& r) { EXPECT_EQ(r.dialog.received.size(), 1U); },
         &DialogRegistry::gainSettings},
        {"ggain for channel 0",
         {},
         ":ggain,0,0,0,1.00,0,0",
         [](DispatchRig& r) { EXPECT_THAT(r.dialog.received, IsEmpty()); },
         &DialogRegistry::gainSettings},
        {"glevdetstate",
         {},
         ":glevdetstate,0,1,3,1",
         [](DispatchRig& r) { EXPECT_EQ(r.dialog.received.size(), 1U); },
         &DialogRegistry::levelDetectors},
    });
}

TEST(Dispatch, Cards) {
    runRows({
        {"gadbrdtype",
         {},
         ":gadbrdtype,0,1,4",
         [](DispatchRig& r) { EXPECT_EQ(r.s().cards[1].cardMode, 4); }},
        {"sadbrdtype refreshes the HW configuration",
         {},
         ":sadbrdtype,0,1,3,'AD'",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().cards[1].cardMode, 3);
             EXPECT_EQ(r.dialog.received.size(), 1U);
         },
         &DialogRegistry::hwConfiguration},
        {"gadmiclevel",
         {},
         ":gadmiclevel,0,1,8,-12.50",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().cards[1].channels[8].micLevel, (DecimalValue{true, 12, 50}));
         }},
        {"gadsigdet",
         {},
         ":gadsigdet,0,8,1,1",
         [](DispatchRig& r) { EXPECT_EQ(r.live().adSignal[8][1], 1); }},
        {"gembmode",
         {},
         ":gembmode,0,2,1,3,1",
         [](DispatchRig& r) { EXPECT_EQ(r.s().cards[2].channels[1].embedMode[3], 1); }},
        {"gembmode group 5",
         {},
         ":gembmode,0,2,1,5,1",
         [](DispatchRig& r) { EXPECT_EQ(r.s().cards[2], CardRecord{}); }},
        {"gtxsrcrate",
         {},
         ":gtxsrcrate,0,2,2,4",
         [](DispatchRig& r) { EXPECT_EQ(r.s().cards[2].channels[2].txSourceRate, 4); }},
        {"gsdirxstat entry of slot 8 port 2",
         {},
         ":gsdirxstat,0,8,2,1,1,1",
         [](DispatchRig& r) { EXPECT_EQ(r.live().sdiRxStatus[15][0], 8); }},
        {"gcifmode rebuilds",
         {},
         ":gcifmode,0,5,2",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().cards[5].cardMode, 2);
             EXPECT_EQ(r.view.typeListRebuilds, 1);
         }},
        {"gcmadiinmode of a MADI card",
         {":gcifmode,0,5,1"},
         ":gcmadiinmode,0,5,2,3",
         [](DispatchRig& r) { EXPECT_EQ(r.s().cards[5].channels[2].madiInMode, 3); }},
        {"gcmadiinmode of a hotlink card",
         {":gcifmode,0,5,2"},
         ":gcmadiinmode,0,5,2,3",
         [](DispatchRig& r) { EXPECT_EQ(r.s().cards[5].channels[2].madiInMode, 0); }},
        {"scmadirxsrcena with error clears",
         {":gcifmode,0,5,1", ":gcmadirxsrcena,0,5,1,1"},
         ":scmadirxsrcena,2,5,1,1",
         [](DispatchRig& r) { EXPECT_EQ(r.s().cards[5].channels[1].madiRxSourceEnable, 0); }},
        {"gchlinkinmode of a hotlink card",
         {":gcifmode,0,5,2"},
         ":gchlinkinmode,0,5,3",
         [](DispatchRig& r) { EXPECT_EQ(r.s().cards[5].hotlinkInMode, 3); }},
        {"gcifred",
         {},
         ":gcifred,0,5,1,2",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().cards[5].cardRedundancy, 1);
             EXPECT_EQ(r.s().cards[5].cardRedundancyValue, 2);
         }},
        {"gaesinpstatus",
         {},
         ":gaesinpstatus,0,4,8,LCK",
         [](DispatchRig& r) { EXPECT_EQ(r.live().aesInputStatus[4][8].status.view(), "LCK"); }},
        {"sboardinfo updates a fitted slot",
         {":ghwconf,0,10,1,'460230','old'"},
         ":sboardinfo,0,2,1,'460230-02','new','x',0",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().hwConf[10].boardCode.view(), "460230-02");
             EXPECT_EQ(r.s().hwConf[10].secondText.view(), "new");
         }},
        {"sboardinfo for an empty slot",
         {},
         ":sboardinfo,0,2,1,'460230-02','new','x',0",
         [](DispatchRig& r) { EXPECT_TRUE(r.s().hwConf[10].boardCode.empty()); }},
        {"sboardinfo refused: the record stays, the HW configuration dialog hears it",
         {":ghwconf,0,10,1,'460230','old'"},
         ":sboardinfo,1,2,1,'460230-02','new','x',0",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().hwConf[10].boardCode.view(), "460230");
             EXPECT_EQ(r.s().hwConf[10].secondText.view(), "old");
             ASSERT_FALSE(r.dialog.received.empty());
             EXPECT_EQ(r.dialog.received.back(), ":sboardinfo,1,2,1");
         },
         &DialogRegistry::hwConfiguration},
        {"ghwconf and gswver reach the HW configuration dialog",
         {":gswver,0,10,'APP','1.0.0.0'"},
         ":ghwconf,0,10,1,'460230','new'",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().hwConf[10].secondText.view(), "new");
             EXPECT_EQ(r.dialog.received,
                       (std::vector<std::string>{":gswver,0,10,5263425", ":ghwconf,0,10,1"}))
                 << "the second value of gswver is its first text's bytes";
         },
         &DialogRegistry::hwConfiguration},
    });
}

TEST(Dispatch, IpAudio) {
    runRows({
        {"gcrtxflow",
         {},
         ":gcrtxflow,0,3,2,'flow',5",
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().txFlows[3].name.view(), "flow");
             EXPECT_EQ(r.live().txFlows[3].extra, 5);
             EXPECT_EQ(r.dialog.received.size(), 1U);
             EXPECT_THAT(r.view.ipFlowRefills, IsEmpty());
         },
         &DialogRegistry::manualIpRouting},
        {"scrtxflow with no channels clears",
         {":gcrtxflow,0,3,2,'flow',5"},
         ":scrtxflow,0,3,0,'',0",
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().txFlows[3], TxFlow{});
             EXPECT_THAT(r.view.ipFlowRefills, ElementsAre(true));
         }},
        {"scrrxflow with no channels clears and reaches the flow dialog",
         {":gcrrxflow,0,4,2,1,1"},
         ":scrrxflow,0,4,0,0,0",
         [](DispatchRig& r) {
             EXPECT_EQ(r.live().rxFlows[4], RxFlow{});
             EXPECT_EQ(r.dialog.received.size(), 2U) << "the dialog's list drops the flow too";
             EXPECT_THAT(r.view.ipFlowRefills, ElementsAre(false));
         },
         &DialogRegistry::manualIpRouting},
        {"gtxflowslot",
         {},
         ":gtxflowslot,0,32,7,12",
         [](DispatchRig& r) { EXPECT_EQ(r.live().txFlowSlots[32][7].channel, 12); }},
        {"srxflowslot with error is stored",
         {},
         ":srxflowslot,2,1,0,5",
         [](DispatchRig& r) { EXPECT_EQ(r.live().rxFlowSlots[1][0].channel, 5); }},
        {"sperformip refused keeps the stored values and reaches the dialog",
         {":sperformip,0,'M',64,1000"},
         ":sperformip,2,'M',32,5000",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().ipAudio.latency, 1000);
             EXPECT_EQ(r.s().ipAudio.frameSize, 64);
             EXPECT_EQ(r.dialog.received.size(), 2U);
         },
         &DialogRegistry::autoIpRouting},
        {"sperformip",
         {},
         ":sperformip,0,'M',64,1000",
         [](DispatchRig& r) {
             EXPECT_EQ(r.s().ipAudio.latency, 1000);
             EXPECT_EQ(r.s().ipAudio.frameSize, 64);
         }},
        {"guniclkstip only when unsolicited",
         {},
         ":guniclkstip,0,1,x",
         [](DispatchRig& r) { EXPECT_THAT(r.dialog.received, IsEmpty()); },
         &DialogRegistry::manualIpRouting},
        {"lppmid asks each listed stream",
         {},
         ":lppmid,0,5,0,4294967295",
         [](DispatchRig& r) {
             EXPECT_THAT(r.link.take(), ElementsAre("?gppminfo,5", "?gppminfo,4294967295"));
         }},
        {"lppmid without ids asks for nothing after a list with ids",
         {":lppmid,0,5,6"},
         ":lppmid,0",
         [](DispatchRig& r) { EXPECT_THAT(r.link.take(), IsEmpty()); }},
        {"gppminfo goes to the PPM dialog",
         {},
         ":gppminfo,0,5,'S',1,2,3,4,1",
         [](DispatchRig& r) { EXPECT_EQ(r.dialog.received.size(), 1U); },
         &DialogRegistry::ppmStreams},
        {"gkeystate of key 13",
         {},
         ":gkeystate,0,13,1",
         [](DispatchRig& r) { EXPECT_THAT(r.dialog.received, IsEmpty()); },
         &DialogRegistry::controlPanelUnit},
        {"gkeystate of key 12",
         {},
         ":gkeystate,0,12,1",
         [](DispatchRig& r) { EXPECT_EQ(r.dialog.received.size(), 1U); },
         &DialogRegistry::controlPanelUnit},
        {"gledint goes to the panel dialog, as sledint does",
         {},
         ":gledint,0,3",
         [](DispatchRig& r) { EXPECT_EQ(r.dialog.received.size(), 1U); },
         &DialogRegistry::controlPanelUnit},
        {"a refused get stays away from the panel dialog",
         {},
         ":gledint,4,2",
         [](DispatchRig& r) { EXPECT_THAT(r.dialog.received, IsEmpty()); },
         &DialogRegistry::controlPanelUnit},
        {"a refused set reaches the panel dialog, index or not",
         {},
         ":skeymode,4,0,0,0",
         [](DispatchRig& r) { EXPECT_THAT(r.dialog.received, ElementsAre(":skeymode,4,0,0")); },
         &DialogRegistry::controlPanelUnit},
    });
}

TEST(Dispatch, OutOfRangeIndexesChangeNothing) {
    const std::string lines[] = {
        "!gcross,0,0,5",
        "!gcross,0,1025,5",
        ":scross,0,1025,5,0,0",
        ":gsyncprio,0,1,5",
        ":gsyncprio,0,19,5",
        ":gsyncprio,0,2,32",
        ":ghwconf,0,21,1,'a','b'",
        ":gswver,0,0,'a','1.0.0.0'",
        ":gpsustatus,0,3,1",
        ":gfanstatus,0,4,1",
        ":gmadiinmode,0,4,1",
        ":goptmode,0,3,1",
        ":gadinpmode,0,9,1,1",
        ":gadinpmode,0,1,9,1",
        ":gadinpmode,0,0,1,1",
        ":gembena,0,1,3,0,1",
        ":gsdirxstat,0,9,1,1,1,1",
        ":gsdirxstat,0,1,3,1,1,1",
        ":gcifinact,0,1,3,1",
        ":gcrtxflow,0,33,1,'x',0",
        ":gtxflowslot,0,1,8,1",
        ":grxflowslot,0,1,-1,1",
        ":gmaininpstatus,0,15,X",
        ":lcross,0,0,2,1,2",
        ":lsyncprio,0,2,0",
        ":sboardinfo,0,2,8,'a','b','c',0",
        ":sboardinfo,0,1,0,'a','b','c',0",
        ":gaesinpstatus,0,1,9,X",
        ":gcifstatus,0,1,0,X",
        ":gtempstatus,0,40",
        ":gmaininprate,0,1,2",
    };
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        DispatchRig rig;
        rig.feed(":ghwconf,0,9,1,'460130',''");
        const DeviceSettings settings = rig.s();
        const LiveStatus live = rig.live();
        const std::size_t redraws = rig.view.rowsRedrawn.size();
        rig.feed(line);
        EXPECT_TRUE(rig.s() == settings);
        EXPECT_TRUE(rig.live() == live);
        EXPECT_EQ(rig.view.rowsRedrawn.size(), redraws);
        EXPECT_THAT(rig.link.sent, IsEmpty());
    }
}

} // namespace
} // namespace velmar
