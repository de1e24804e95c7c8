#include "FrameModel.h"

#include "protocol/ArgumentLayout.h"
#include "protocol/CommandTable.h"
#include "protocol/RequestEncoder.h"
#include "protocol/ResponseDecoder.h"

#include <array>
#include <gtest/gtest.h>

namespace velmar::framesim {
namespace {

// Drives the model with request lines as the program writes them and reads
// its answers with the program's decoder.
class FrameModelTest : public ::testing::Test {
protected:
    CFrameModel model{*presetProfile("460")};
    CResponseDecoder decoder;

    Outcome send(const std::string& line, std::string_view programText = {}) {
        DeviceMessage m;
        CResponseDecoder requestDecoder;
        const std::string withEnd = line + "\r";
        const DecodeResult r = requestDecoder.decode(withEnd, m, CResponseDecoder::Column::Request);
        EXPECT_TRUE(r.delivered) << line;
        return model.handle(m, programText);
    }
    // The single reply to a request, without its carriage return.
    std::string ask(const std::string& line) {
        const Outcome o = send(line);
        EXPECT_EQ(o.replies.size(), 1u) << line;
        if (o.replies.empty())
            return {};
        std::string r = o.replies.front();
        EXPECT_EQ(r.back(), '\r');
        r.pop_back();
        return r;
    }
    DeviceMessage decode(const std::string& line) {
        DeviceMessage m;
        const std::string withEnd = line.back() == '\r' ? line : line + "\r";
        EXPECT_TRUE(decoder.decode(withEnd, m).delivered) << line;
        return m;
    }
};

struct Golden {
    const char* request;
    const char* reply;
};

// One representative per command family, answered from the 460 preset.
const Golden kGolden[] = {
    {"?gdevinfo", ":gdevinfo,0,'460',0,'460000230001'"},
    {"?gdevid", ":gdevid,0,1,'Frame 460'"},
    {"?gip", ":gip,0,0,'127.0.0.2','255.0.0.0','0.0.0.0','0050C2000001'"},
    {"?ghwconf,2", ":ghwconf,0,2,1,'460100A   230115','4601002303001'"},
    {"?ghwconf,10", ":ghwconf,0,10,1,'460130A   230115','4601302303012'"},
    {"?ghwconf,16", ":ghwconf,0,16,0,'',''"},
    {"?ghwconf,1", ":ghwconf,0,1"},
    {"?gswver,2", ":gswver,0,2,'APP','2.1.0.5'"},
    {"?gpsuconf", ":gpsuconf,0,3"},
    {"?gfanconf", ":gfanconf,0,7"},
    {"?gpsustatus,2", ":gpsustatus,0,2,0"},
    {"?gsyncstat", ":gsyncstat,0,1,0"},
    {"?gactrate", ":gactrate,0,2"},
    {"?gsyncprio,3", ":gsyncprio,0,3,2"},
    {"?gmaininpstatus,1", ":gmaininpstatus,0,1,OK"},
    {"?gcross,1", ":gcross,0,1,0"},
    {"?ggain,1,20", ":ggain,0,1,20,0.00,0,0"},
    {"?gbkname", ":gbkname,0,'Frame-IP'"},
    {"?guniclkstip", ":guniclkstip,0,0,Idle"},
    {"?gadbrdtype,2", ":gadbrdtype,0,2,1"},
    {"?gadmiclevel,2,1", ":gadmiclevel,0,2,1,0.00"},
    {"?gembmode,1,2,4", ":gembmode,0,1,2,4,0"},
    {"?gcifmode,5", ":gcifmode,0,5,1"},
    {"?gcdelay,7,1", ":gcdelay,0,7,1,0"},
    {"?gmadioutmode,2", ":gmadioutmode,0,2,0,0,0"},
    {"?lsyncprio,2,17", ":lsyncprio,0,2,17,1,2,3,0,0,0,0,0,0,0,0,0,0,0,0,0,0"},
    {"?lmaininprate,13,2", ":lmaininprate,0,13,2,2,2"},
    {"?llabel,1,5,2", ":llabel,0,1,5,2,'',''"},
    {"&sdevid,7,'Studio'", ":sdevid,0,7,'Studio'"},
    {"&sgain,1,20,-3.50,1,0", ":sgain,0,1,20,-3.50,1,0"},
    {"&slabel,0,3,'Mic 3'", ":slabel,0,0,3,'Mic 3'"},
    {"?gmaster", ":gmaster,0,1"},
    {"&sidentify,1", ":sidentify,0,1"},
    {"?aliverequest", ":aliverequest,0"},
};

TEST_F(FrameModelTest, FamiliesAnswerWithTheirReplyLayout) {
    for (const Golden& g : kGolden)
        EXPECT_EQ(ask(g.request), g.reply) << g.request;
}

// Every command the program can send gets an answer the program's decoder
// reads as that command (or, for a list that answers item by item, as the
// get command of its items), and the tag comes back on the reply.
TEST_F(FrameModelTest, EveryCommandAnswersDecodably) {
    for (int i = 0; i < kCommandCount; ++i) {
        const auto id = static_cast<CommandId>(i);
        if (isReserved(id))
            continue;
        DeviceMessage m = DeviceMessage::request(id);
        m.setI(1, 1);
        m.setI(2, 1);
        m.setI(3, 1);
        m.setI(4, 1);
        m.tag = 99;
        if (id == CommandId::sprog)
            m.setI(1, 0);
        const Outcome o = model.handle(m);
        ASSERT_FALSE(o.replies.empty()) << keywordOf(id);
        const DeviceMessage first = decode(o.replies.front());
        EXPECT_EQ(first.command, id) << keywordOf(id) << ": " << o.replies.front();
        EXPECT_TRUE(first.isReply()) << keywordOf(id);
        EXPECT_EQ(first.tag, 99) << keywordOf(id) << ": " << o.replies.front();
        for (std::size_t k = 1; k < o.replies.size(); ++k)
            EXPECT_NE(decode(o.replies[k]).command, CommandId::InvalidReply) << o.replies[k];
        if (id != CommandId::sclear)
            model.reset();
    }
}

TEST_F(FrameModelTest, ErrorRepliesStopAtTheBar) {
    EXPECT_EQ(ask("?gcross,1537"), ":gcross,1,1537");
    EXPECT_EQ(ask("?gcross,0"), ":gcross,1,0");
    EXPECT_EQ(ask("?glabel,0,2049"), ":glabel,1,0,2049");
    EXPECT_EQ(ask("?gcrtxflow,33"), ":gcrtxflow,1");
    EXPECT_EQ(ask("?gmaininpstatus,15"), ":gmaininpstatus,1,15");
    // An AD command on the DA card's slot
    EXPECT_EQ(ask("?gadsigdet,3,1"), ":gadsigdet,1,3,1,0");
    const DeviceMessage m = decode(ask("?glabel,1,9999"));
    EXPECT_EQ(m.status, 1);
    EXPECT_EQ(m.command, CommandId::glabel);
}

TEST_F(FrameModelTest, ListsStayWithinTheirBounds) {
    EXPECT_EQ(ask("?lcross,1,129"), ":lcross,1,1,129");
    EXPECT_EQ(ask("?lcross,1500,40"), ":lcross,1,1500,40");
    EXPECT_EQ(ask("?lcross,1,0"), ":lcross,1,1,0");
    EXPECT_EQ(ask("?lsyncprio,2,18"), ":lsyncprio,1,2,18");
    EXPECT_EQ(ask("?lmaininpstatus,2,14"), ":lmaininpstatus,1,2,14");
    EXPECT_EQ(ask("?llabel,0,1,33"), ":llabel,1,0,1,33");

    const DeviceMessage full = decode(ask("?lcross,1409,128"));
    EXPECT_EQ(full.status, 0);
    EXPECT_EQ(full.i(2), 128);
    const DeviceMessage inputs = decode(ask("?lmaininpstatus,1,14"));
    EXPECT_EQ(inputs.status, 0);
    EXPECT_EQ(decoder.inputStatusList()[0].view(), "OK");
    EXPECT_EQ(decoder.inputStatusList()[13].channel, 14);
}

TEST_F(FrameModelTest, SetsChangeStateAndAreAnnounced) {
    const Outcome o = send("&scross,5,17,0,0");
    ASSERT_EQ(o.replies.size(), 1u);
    EXPECT_EQ(o.replies[0], ":scross,0,5,17,0,0\r");
    ASSERT_EQ(o.announcements.size(), 1u);
    EXPECT_EQ(o.announcements[0], "!gcross,0,5,17\r");
    EXPECT_EQ(model.crosspoint(5), 17);
    EXPECT_EQ(ask("?gcross,5"), ":gcross,0,5,17");

    const DeviceMessage list = decode(ask("?lcross,1,8"));
    ASSERT_EQ(list.status, 0);
    EXPECT_EQ(decoder.crosspointList()[4], 17);
    EXPECT_EQ(decoder.crosspointList()[3], 0);

    send("&slabel,1,7,'Out 7'");
    EXPECT_EQ(model.label(1, 7), "Out 7");
    decode(ask("?llabel,1,6,2"));
    EXPECT_EQ(decoder.labelList()[1].view(), "Out 7");

    // A set keeps what it does not carry: the MAC stays with the address.
    send("&sip,1,'10.1.2.3','255.255.0.0','10.1.0.1'");
    EXPECT_EQ(ask("?gip"), ":gip,0,1,'10.1.2.3','255.255.0.0','10.1.0.1','0050C2000001'");

    send("&sdevid,9,'Renamed'");
    EXPECT_EQ(model.deviceName(), "Renamed");
    EXPECT_EQ(model.searchReply(':'), ":edev,0,1,9,'Renamed','460',x,'460000230001'\r");
}

TEST_F(FrameModelTest, RoutesOnlyInputsItHas) {
    const int count = model.profile().crosspointCount();
    const std::string last = std::to_string(count);
    const std::string beyond = std::to_string(count + 1);
    for (const std::string& input : {beyond, std::string("99999"), std::string("-1")}) {
        SCOPED_TRACE(input);
        const Outcome o = send("&scross,5," + input + ",0,0");
        ASSERT_EQ(o.replies.size(), 1u);
        EXPECT_NE(decode(o.replies[0]).status, 0);
        EXPECT_TRUE(o.announcements.empty());
        EXPECT_EQ(model.crosspoint(5), 0);
    }
    EXPECT_EQ(decode(send("&scross,5," + last + ",0,0").replies.at(0)).status, 0);
    EXPECT_EQ(model.crosspoint(5), count);
    EXPECT_EQ(decode(send("&scross,5,0,0,0").replies.at(0)).status, 0);
    EXPECT_EQ(model.crosspoint(5), 0);
}

TEST_F(FrameModelTest, ClearReturnsToTheProfile) {
    send("&scross,5,17,0,0");
    send("&sdevid,9,'Renamed'");
    EXPECT_EQ(ask("&sclear"), ":sclear,0");
    EXPECT_EQ(model.crosspoint(5), 0);
    EXPECT_EQ(model.deviceName(), "Frame 460");
}

TEST_F(FrameModelTest, ListsAnsweredItemByItem) {
    send("&sgain,0,2,1.25,0,1");
    const Outcome o = send("?lgain,0,1,3");
    ASSERT_EQ(o.replies.size(), 4u);
    EXPECT_EQ(o.replies[0], ":lgain,0,0,1,3\r");
    EXPECT_EQ(o.replies[2], ":ggain,0,0,2,1.25,0,1\r");
    EXPECT_EQ(decode(o.replies[3]).i(2), 3);
}

TEST_F(FrameModelTest, BoardInfoRewritesTheCardRecord) {
    EXPECT_EQ(ask("&sboardinfo,2,1,'460130A X 230115','4601302303012','000000',0"),
              ":sboardinfo,0,2,1,'460130A X 230115','4601302303012','000000',0");
    EXPECT_EQ(ask("?ghwconf,10"), ":ghwconf,0,10,1,'460130A X 230115','4601302303012'");
    // slot 8 holds no card
    EXPECT_EQ(decode(ask("&sboardinfo,2,7,'460130A X 230115','4601302303012','000000',0")).status,
              1);
}

// Every set the Card configuration page sends is kept: its get partner
// answers with the new value (slots of the 460 preset: 1 SDI, 2 AD, 3 DA,
// 4 AES, 5 MADI, 6 AD with two channels).
TEST_F(FrameModelTest, CardSetsAreReadBackByTheirGets) {
    const struct {
        const char* set;
        const char* get;
        const char* after;
    } cases[] = {
        {"&sembena,1,2,1", "?gembena,1,2", ":gembena,0,1,2,1"},
        {"&stxsrcrate,1,1,2", "?gtxsrcrate,1,1", ":gtxsrcrate,0,1,1,2"},
        {"&sembmode,1,2,3,4", "?gembmode,1,2,3", ":gembmode,0,1,2,3,4"},
        {"&srxsrcena,1,1,4,1", "?grxsrcena,1,1,4", ":grxsrcena,0,1,1,4,1"},
        {"&sadinpmode,2,8,1", "?gadinpmode,2,8", ":gadinpmode,0,2,8,1"},
        {"&sadmute,6,2,1", "?gadmute,6,2", ":gadmute,0,6,2,1"},
        {"&sadphanpow,2,1,1", "?gadphanpow,2,1", ":gadphanpow,0,2,1,1"},
        {"&sadphase,2,3,1", "?gadphase,2,3", ":gadphase,0,2,3,1"},
        {"&sdamute,3,5,1", "?gdamute,3,5", ":gdamute,0,3,5,1"},
        {"&sdadsdfilter,3,1", "?gdadsdfilter,3", ":gdadsdfilter,0,3,1"},
        {"&saesrxsrcena,4,8,1", "?gaesrxsrcena,4,8", ":gaesrxsrcena,0,4,8,1"},
        {"&scifmode,5,1", "?gcifmode,5", ":gcifmode,0,5,1"},
        {"&scifred,5,1,2", "?gcifred,5", ":gcifred,0,5,1,2"},
        {"&scmadiinmode,5,2,1", "?gcmadiinmode,5,2", ":gcmadiinmode,0,5,2,1"},
        {"&scmadioutmode,5,1,1,0,1", "?gcmadioutmode,5,1", ":gcmadioutmode,0,5,1,1,0,1"},
        {"&scmadidsdmode,5,2,1", "?gcmadidsdmode,5,2", ":gcmadidsdmode,0,5,2,1"},
        {"&scmadirxsrcena,5,1,1", "?gcmadirxsrcena,5,1", ":gcmadirxsrcena,0,5,1,1"},
        {"&schlinkinmode,5,1", "?gchlinkinmode,5", ":gchlinkinmode,0,5,1"},
        {"&schlinkoutmode,5,1", "?gchlinkoutmode,5", ":gchlinkoutmode,0,5,1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.set);
        EXPECT_EQ(decode(ask(c.set)).status, 0);
        EXPECT_EQ(ask(c.get), c.after);
    }
}

TEST_F(FrameModelTest, PpmStreamsLiveFromCreateToDelete) {
    EXPECT_EQ(ask("?gppmid"), ":gppmid,0,1");
    EXPECT_EQ(ask("?gppminfo,1"), ":gppminfo,1,1");
    EXPECT_EQ(ask("&sppmcreate,'Meter',2,1,8,1,0"), ":sppmcreate,0,'Meter',2,1,8,1,0");
    EXPECT_EQ(ask("?gppminfo,1"), ":gppminfo,0,1,'Meter',2,8,1,0,0");
    EXPECT_EQ(ask("?lppmid"), ":lppmid,0,1");
    EXPECT_EQ(ask("?gppmid"), ":gppmid,0,2");
    EXPECT_EQ(ask("&sppmenable,1,1"), ":sppmenable,0,1,1");
    EXPECT_EQ(ask("?gppmenable,1"), ":gppmenable,0,1,1");
    EXPECT_EQ(ask("&sppmdelete,1"), ":sppmdelete,0,1");
    EXPECT_EQ(ask("?gppmenable,1"), ":gppmenable,1,1");
}

TEST_F(FrameModelTest, PpmStreamsRefuseATakenPortAndForeignSlots) {
    ASSERT_EQ(decode(ask("&sppmcreate,'10.0.0.152',10100,1,4,50,0")).status, 0);
    EXPECT_EQ(decode(ask("&sppmcreate,'10.0.0.152',10100,2,4,50,0")).status,
              CFrameModel::kStatusInUse);
    EXPECT_EQ(decode(ask("&sppmcreate,'10.0.0.152',10101,2,256,50,0")).status,
              CFrameModel::kStatusOutOfRange);
    EXPECT_EQ(ask("&sppmchn,1,4,2048"), ":sppmchn,0,1,4,2048");
    EXPECT_EQ(ask("?gppmchn,1,4"), ":gppmchn,0,1,4,2048");
    EXPECT_EQ(decode(ask("&sppmchn,1,5,7")).status, CFrameModel::kStatusOutOfRange)
        << "the stream has 4 slots";
    EXPECT_EQ(decode(ask("&sppmchn,1,0,7")).status, CFrameModel::kStatusOutOfRange);
    EXPECT_EQ(decode(ask("&sppmchn,1,1,2049")).status, CFrameModel::kStatusOutOfRange);
    EXPECT_EQ(ask("?gppmextchn,1,4"), ":gppmextchn,0,1,4,2048,0") << "one slot table";
    EXPECT_EQ(ask("&sppmextchn,1,3,5,1"), ":sppmextchn,0,1,3,5,1");
    EXPECT_EQ(ask("?gppmchn,1,3"), ":gppmchn,0,1,3,2053");
    EXPECT_EQ(ask("?gppmextchn,1,3"), ":gppmextchn,0,1,3,5,1");
    EXPECT_EQ(ask("&sppmenable,1,1"), ":sppmenable,0,1,1");
    EXPECT_EQ(ask("?gppminfo,1"), ":gppminfo,0,1,'10.0.0.152',10100,4,50,0,1")
        << "the info carries the enable flag as switched";
}

TEST_F(FrameModelTest, FlowsLiveFromCreateToDeleteAndRefuseWhatIsTaken) {
    EXPECT_EQ(ask("?grxportrng"), ":grxportrng,0,14528,14591");
    EXPECT_EQ(ask("?gcrtxflow,3"), ":gcrtxflow,0,3,0,'',0");
    EXPECT_EQ(ask("&scrtxflow,3,2,'10.0.9.1',14528"), ":scrtxflow,0,3,2,'10.0.9.1',14528");
    EXPECT_EQ(ask("?gcrtxflow,3"), ":gcrtxflow,0,3,2,'10.0.9.1',14528");
    EXPECT_EQ(ask("&stxflowslot,3,1,18"), ":stxflowslot,0,3,1,18");
    EXPECT_EQ(ask("?gtxflowslot,3,1"), ":gtxflowslot,0,3,1,18");

    struct Refusal {
        const char* request;
        std::int32_t status;
    };
    const Refusal refusals[] = {
        {"&scrtxflow,3,2,'10.0.9.2',14530", CFrameModel::kStatusInUse}, // the ID
        {"&scrtxflow,4,2,'10.0.9.2',14528", CFrameModel::kStatusInUse}, // the port
        {"&scrtxflow,4,9,'10.0.9.2',14530", CFrameModel::kStatusOutOfRange},
        {"&scrtxflow,4,2,'10.0.9',14530", CFrameModel::kStatusOutOfRange},
        {"&scrtxflow,33,2,'10.0.9.2',14530", CFrameModel::kStatusOutOfRange},
        {"&stxflowslot,3,2,5", CFrameModel::kStatusOutOfRange},        // slot 2 of 2
        {"&stxflowslot,4,0,5", CFrameModel::kStatusOutOfRange},        // no flow 4
        {"&scrrxflow,1,2,14600,500", CFrameModel::kStatusOutOfRange},  // outside the range
        {"&scrrxflow,1,2,14528,1001", CFrameModel::kStatusOutOfRange}, // above the maximum
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.request);
        EXPECT_EQ(decode(ask(r.request)).status, r.status);
    }
    EXPECT_EQ(ask("?gcrtxflow,3"), ":gcrtxflow,0,3,2,'10.0.9.1',14528") << "nothing changed";

    EXPECT_EQ(ask("&scrrxflow,1,2,14528,1000"), ":scrrxflow,0,1,2,14528,1000")
        << "a Tx flow's port does not hold an Rx flow back";
    const Outcome deleted = send("&scrtxflow,3,0,'10.0.9.1',14528");
    ASSERT_EQ(deleted.replies.size(), 1u);
    EXPECT_EQ(deleted.announcements.at(0), "!gcrtxflow,0,3,0,'',0\r");
    EXPECT_EQ(ask("?gtxflowslot,3,1"), ":gtxflowslot,0,3,1,0") << "its slots went with it";
    EXPECT_EQ(ask("&scrtxflow,4,2,'10.0.9.2',14528"), ":scrtxflow,0,4,2,'10.0.9.2',14528");
}

TEST_F(FrameModelTest, AutomaticRoutesNeedAutomaticRouting) {
    EXPECT_EQ(decode(ask("&scrossip,3,'localhost','05','studio-b'")).status,
              CFrameModel::kStatusNotInThisMode);
    EXPECT_EQ(ask("&sautorouteip,1"), ":sautorouteip,0,1");
    EXPECT_EQ(ask("&scrossip,3,'localhost','05','studio-b'"),
              ":scrossip,0,3,'localhost','05','studio-b'");
    EXPECT_EQ(ask("?gcrossip,3,'localhost'"), ":gcrossip,0,3,'localhost','05','studio-b'");
    EXPECT_EQ(decode(ask("&scrossip,3,'localhost','65','studio-b'")).status,
              CFrameModel::kStatusOutOfRange);
    EXPECT_EQ(decode(ask("&scrossip,3,'localhost','5','studio-b'")).status,
              CFrameModel::kStatusOutOfRange);
    EXPECT_EQ(ask("&scrossip,3,'localhost','','studio-b'"),
              ":scrossip,0,3,'localhost','','studio-b'");
    EXPECT_EQ(ask("?gcrossip,3,'localhost'"), ":gcrossip,0,3,'localhost','','studio-b'");
}

TEST_F(FrameModelTest, FirmwareRecordsAreKeptAndAcknowledgedWithThePhase) {
    EXPECT_EQ(ask("&sprog,0"), ":sprog,0,0");
    EXPECT_EQ(send("&sprog,1", "S00F0000").replies.at(0), ":sprog,0,1\r");
    EXPECT_EQ(send("&sprog,1", "S1130000").replies.at(0), ":sprog,0,1\r");
    EXPECT_EQ(ask("&sprog,2"), ":sprog,0,2");
    EXPECT_TRUE(model.programmingCompleted());
    EXPECT_EQ(model.programRecords(), (std::vector<std::string>{"S00F0000", "S1130000"}));

    // A record outside a transfer is refused.
    EXPECT_EQ(decode(send("&sprog,1", "S1").replies.at(0)).status, CFrameModel::kStatusProgramming);
}

TEST_F(FrameModelTest, RestartCommandsCloseTheLink) {
    EXPECT_TRUE(send("&srestart,1").closeLink);
    EXPECT_TRUE(send("&sloadboot").closeLink);
    EXPECT_TRUE(send("&sloadapp,1").closeLink);
    EXPECT_FALSE(send("&sidentify,1").closeLink);
}

TEST_F(FrameModelTest, ScriptedChangesGiveTheirMessages) {
    EXPECT_EQ(model.setSyncStatus(2, 4), "!gsyncstat,0,4,2\r");
    EXPECT_EQ(model.setInputStatus(3, "ERR"), "!gmaininpstatus,0,3,ERR\r");
    EXPECT_EQ(model.setPsuStatus(2, 1), "!gpsustatus,0,2,1\r");
    EXPECT_EQ(model.setFanStatus(3, 1), "!gfanstatus,0,3,1\r");
    EXPECT_EQ(model.setUnicastClockStatus(1, "Locked"), "!guniclkstip,0,1,Locked\r");
    EXPECT_EQ(ask("?gsyncstat"), ":gsyncstat,0,4,2");
    const DeviceMessage m = decode(model.setInputStatus(4, "OK"));
    EXPECT_EQ(m.flags, 0);
    EXPECT_EQ(m.command, CommandId::gmaininpstatus);
}

TEST(FrameModelModes, RecoveryAnswersOnlyMaintenance) {
    CFrameModel model(*presetProfile("recovery"));
    CResponseDecoder decoder;
    const auto ask = [&](CommandId id, std::int32_t p1) {
        DeviceMessage m = DeviceMessage::request(id);
        m.setI(1, p1);
        DeviceMessage r;
        decoder.decode(model.handle(m).replies.at(0), r);
        return r;
    };
    EXPECT_EQ(ask(CommandId::gswver, 2).status, 0);
    EXPECT_EQ(ask(CommandId::ghwconf, 2).status, 0);
    EXPECT_EQ(ask(CommandId::gcross, 1).status, CFrameModel::kStatusNotInThisMode);
    EXPECT_EQ(model.searchReply(':').substr(0, 10), ":edev,0,0,");
    CFrameModel hash(*presetProfile("hash"));
    EXPECT_EQ(hash.searchReply(':').substr(0, 10), ":edev,0,2,");
}

TEST(FrameModelFaults, RefusedCommandsAnswerWithTheirStatus) {
    FrameProfile p = *presetProfile("460");
    p.faults.refused[CommandId::gcross] = 9;
    CFrameModel model(p);
    DeviceMessage m = DeviceMessage::request(CommandId::gcross);
    m.setI(1, 3);
    EXPECT_EQ(model.handle(m).replies.at(0), ":gcross,9,3\r");
    model.faults().refused.clear();
    EXPECT_EQ(model.handle(m).replies.at(0), ":gcross,0,3,0\r");
}

TEST(FrameModelFaults, FirmwareTransferFailsAtTheChosenRecord) {
    FrameProfile p = *presetProfile("460");
    p.faults.failProgramAtRecord = 2;
    CFrameModel model(p);
    DeviceMessage m = DeviceMessage::request(CommandId::sprog);
    m.setI(1, 0);
    model.handle(m);
    m.setI(1, 1);
    EXPECT_EQ(model.handle(m, "S1").replies.at(0), ":sprog,0,1\r");
    EXPECT_EQ(model.handle(m, "S2").replies.at(0), ":sprog,3,1\r");
    EXPECT_FALSE(model.programmingActive());
}

} // namespace
} // namespace velmar::framesim

namespace velmar::framesim {
namespace {

TEST(FrameModelProfile, StartsWithTheProfilesCrosspoints) {
    std::string error;
    const std::optional<FrameProfile> profile =
        parseProfile("preset = 461\ncross.5 = 17\ncross.1024 = 513\n", error);
    ASSERT_TRUE(profile) << error;
    CFrameModel model(*profile);
    EXPECT_EQ(model.crosspoint(5), 17);
    EXPECT_EQ(model.crosspoint(1024), 513);
    EXPECT_EQ(model.crosspoint(6), 0);
    FrameProfile bad = *profile;
    EXPECT_FALSE(applySetting(bad, "cross.1537", "1", error));
    EXPECT_FALSE(applySetting(bad, "cross.3", "-1", error));
}

} // namespace
} // namespace velmar::framesim

namespace velmar::framesim {
namespace {

DeviceMessage programStep(int phase) {
    DeviceMessage m = DeviceMessage::request(CommandId::sprog);
    m.setI(1, phase);
    return m;
}

TEST(FrameModelFaults, FirmwareRecordFallsSilentAtTheChosenRecord) {
    FrameProfile p = *presetProfile("460");
    p.faults.silentProgramAtRecord = 3;
    CFrameModel model(p);
    model.handle(programStep(0));
    EXPECT_EQ(model.handle(programStep(1), "S1").replies.size(), 1u);
    EXPECT_EQ(model.handle(programStep(1), "S2").replies.size(), 1u);
    EXPECT_TRUE(model.handle(programStep(1), "S3").replies.empty());
    EXPECT_EQ(model.programRecords(), (std::vector<std::string>{"S1", "S2", "S3"}));
    EXPECT_TRUE(model.programmingActive());
}

TEST(FrameModelFaults, EachTransferKeepsItsOwnRecords) {
    CFrameModel model(*presetProfile("460"));
    model.handle(programStep(0));
    model.handle(programStep(1), "S1A");
    model.handle(programStep(1), "S1B");
    model.handle(programStep(2));
    EXPECT_TRUE(model.programmingCompleted());
    model.handle(programStep(0));
    model.handle(programStep(1), "S2A");
    ASSERT_EQ(model.programTransfers().size(), 2u);
    EXPECT_EQ(model.programTransfers()[0], (std::vector<std::string>{"S1A", "S1B"}));
    EXPECT_EQ(model.programTransfers()[1], (std::vector<std::string>{"S2A"}));
    EXPECT_EQ(model.programRecords(), (std::vector<std::string>{"S2A"}));
    for (int i = 0; i < 40; ++i)
        model.handle(programStep(0));
    EXPECT_EQ(model.programTransfers().size(), CFrameModel::kMaxKeptTransfers);
}

} // namespace
} // namespace velmar::framesim
