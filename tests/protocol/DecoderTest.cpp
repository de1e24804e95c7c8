#include "CodecTestSupport.h"
#include "protocol/CommandTable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>

namespace velmar {
namespace {

using Column = CResponseDecoder::Column;
using ::testing::Each;

class Decoder : public ::testing::Test {
protected:
    DeviceMessage line(const std::string& bytes, Column column = Column::Reply) {
        return test::decodedLine(m_decoder, bytes, column);
    }
    void expectInvalid(const std::string& bytes, CommandId was) {
        const DeviceMessage m = line(bytes);
        EXPECT_EQ(m.command, CommandId::InvalidReply) << bytes;
        EXPECT_EQ(m.i(1), 1) << bytes;
        EXPECT_EQ(m.i(2), toIndex(was)) << bytes;
    }
    CResponseDecoder m_decoder;
};

// ---- framing ----

TEST_F(Decoder, Framing) {
    struct Row {
        std::string bytes;
        std::size_t consumed;
        bool delivered;
    };
    const Row rows[] = {
        {"", 0, false},
        {"noise without a start", 0, false},
        {":gcross,0,5,17", 0, false},     // no line end yet: keep it all
        {"xx:gcross,0,5,17", 2, false},   // drop the noise in front only
        {"\r\r:gmaster,0,1\r", 15, true}, // carriage returns before the start are noise
        {"abcd:gdevid,0,5,'Main'\r", 23, true},
        {":gmaster,0,1\r:gmaster,0,2\r", 13, true},
        {"\r", 0, false},
    };
    for (const Row& r : rows) {
        DeviceMessage m;
        const DecodeResult result = m_decoder.decode(r.bytes, m);
        EXPECT_EQ(result.consumed, r.consumed) << r.bytes;
        EXPECT_EQ(result.delivered, r.delivered) << r.bytes;
    }
}

TEST_F(Decoder, ExampleAndEdgeLines) {
    DeviceMessage m = line(":gcross,0,5,17\r");
    EXPECT_EQ(m.flags, FlagReply);
    EXPECT_EQ(m.command, CommandId::gcross);
    EXPECT_EQ(toIndex(m.command), 43);
    EXPECT_EQ(m.status, 0);
    EXPECT_EQ(m.i(1), 5);
    EXPECT_EQ(m.i(2), 17);

    m = line(":glabel,3,0,7\r");
    EXPECT_EQ(m.status, 3);
    EXPECT_EQ(m.size, 3);
    EXPECT_EQ(m.i(1), 0);
    EXPECT_EQ(m.i(2), 7);
    EXPECT_EQ(m.text(3, 17), "");

    m = line("!gsyncstat,0,1,4\r");
    EXPECT_EQ(m.flags, 0);
    EXPECT_EQ(m.command, CommandId::gsyncstat);
    EXPECT_EQ(m.i(1), 1);
    EXPECT_EQ(m.i(2), 4);

    m = line("abcd:gdevid,0,5,'Main'\r");
    EXPECT_EQ(m.i(1), 5);
    EXPECT_EQ(m.text(2, 17), "Main");

    m = line("\r\r:gmaster,0,1\r");
    EXPECT_EQ(m.command, CommandId::gmaster);
    EXPECT_EQ(m.i(1), 1);

    m = line(":ggain,0,1,20,-0.50,0,0\r");
    EXPECT_EQ(m.decimal(3), (DecimalValue{true, 0, 50}));

    m = line(":gppmid,0,4294967295\r");
    EXPECT_EQ(m.u(1), 4294967295U);

    m = line(":glabel,0,0,7,'a,b'\r");
    EXPECT_EQ(m.text(3, 17), "a") << "a comma inside quotes still splits";
}

TEST_F(Decoder, LineWithoutEndWaitsForIt) {
    std::string bytes = ":gcross,0,5,17";
    DeviceMessage m;
    EXPECT_EQ(m_decoder.decode(bytes, m).consumed, 0U);
    bytes += '\r';
    const DecodeResult r = m_decoder.decode(bytes, m);
    EXPECT_TRUE(r.delivered);
    EXPECT_EQ(r.consumed, bytes.size());
    EXPECT_EQ(m.i(2), 17);
}

TEST_F(Decoder, InvalidReplies) {
    expectInvalid(":gfoo,0,1\r", CommandId::InvalidReply);
    expectInvalid(":GCROSS,0,5,17\r", CommandId::InvalidReply);
    expectInvalid(":gcross,0,5\r", CommandId::gcross);           // missing input
    expectInvalid(":gcross,0,12345678,17\r", CommandId::gcross); // eight digits
    expectInvalid(":gcross,0,5,+17\r", CommandId::gcross);
    expectInvalid(":gcross,0,5,17x\r", CommandId::gcross);
    expectInvalid(":gcross,0,-,17\r", CommandId::gcross);
    expectInvalid(":ggain,0,1,20,3,0,0\r", CommandId::ggain); // no "."
    expectInvalid(":ggain,0,1,20,3.,0,0\r", CommandId::ggain);
    expectInvalid(":ggain,0,1,20,3.505,0,0\r", CommandId::ggain);
    expectInvalid(":ggain,0,1,20,32768.00,0,0\r", CommandId::ggain);
    expectInvalid(":ggain,0,1,20,.50,0,0\r", CommandId::ggain);
    expectInvalid(":gppmid,0,4294967296\r", CommandId::gppmid);
    expectInvalid(":gppmid,0,-1\r", CommandId::gppmid);
    expectInvalid(":gmaster,32768,1\r", CommandId::gmaster);  // status beyond 32767
    expectInvalid(":gmaster,123456,1\r", CommandId::gmaster); // six digits
    expectInvalid(":gmaster,x,1\r", CommandId::gmaster);

    // Values read before the failure stay.
    const DeviceMessage m = line(":ggain,0,1,20,bad,0,0\r");
    EXPECT_EQ(m.command, CommandId::InvalidReply);
    EXPECT_EQ(m.i(1), 1);
    EXPECT_EQ(m.i(2), toIndex(CommandId::ggain));
    EXPECT_EQ(m.tag, 0);
}

TEST_F(Decoder, ValueLimits) {
    DeviceMessage m = line(":gcross,0,9999999,-9999999\r");
    EXPECT_EQ(m.i(1), 9999999);
    EXPECT_EQ(m.i(2), -9999999);
    m = line(":ggain,0,1,20,-32767.5,1,2\r");
    EXPECT_EQ(m.decimal(3), (DecimalValue{true, 32767, 5}))
        << "one digit gives hundredths as written";
    m = line(":ggain,-32767,1,20,0.00,1,2\r");
    EXPECT_EQ(m.status, -32767);
    EXPECT_EQ(m.size, static_cast<std::uint16_t>(-32767));
}

TEST_F(Decoder, LinesRejectedWithoutMessage) {
    const std::string tooLongKeyword = ":" + std::string(25, 'g') + ",0\r";
    const std::string tooManyArgs = [] {
        std::string s = ":gcross,0";
        for (int i = 0; i < 161; ++i)
            s += ",1";
        return s + "\r";
    }();
    std::string maxArgs = ":gcross,0";
    for (int i = 0; i < 160; ++i)
        maxArgs += ",1";
    maxArgs += "\r";
    for (const std::string& bytes :
         {std::string(":\r"), std::string(":,,,\r"), tooLongKeyword, tooManyArgs}) {
        DeviceMessage m;
        const DecodeResult r = m_decoder.decode(bytes, m);
        EXPECT_EQ(r.consumed, bytes.size());
        EXPECT_FALSE(r.delivered);
    }
    EXPECT_EQ(line(maxArgs).command, CommandId::gcross);
    EXPECT_EQ(line(":" + std::string(24, 'g') + ",0\r").command, CommandId::InvalidReply);
}

TEST_F(Decoder, RunsOfCommasAreOneSeparator) {
    const DeviceMessage m = line(":gcross,,0,,,5,17,\r");
    EXPECT_EQ(m.command, CommandId::gcross);
    EXPECT_EQ(m.i(1), 5);
    EXPECT_EQ(m.i(2), 17);
}

TEST_F(Decoder, BarStopsErrorReplies) {
    DeviceMessage m = line(":gbkip,5\r");
    EXPECT_EQ(m.command, CommandId::gbkip) << "nothing before the bar";
    EXPECT_EQ(m.status, 5);
    m = line(":gpsustatus,2,1\r");
    EXPECT_EQ(m.command, CommandId::gpsustatus);
    EXPECT_EQ(m.i(2), 1);
    EXPECT_EQ(m.i(1), 0);
    // Arguments past the bar in an error reply are ignored.
    m = line(":glabel,3,0,7,'Vox'\r");
    EXPECT_EQ(m.text(3, 17), "");
    // Without a bar the error reply still carries everything.
    expectInvalid(":ggain,3,0,7\r", CommandId::ggain);
    m = line(":gcrossip,1,4,'a'\r");
    EXPECT_EQ(m.i(1), 4);
    EXPECT_EQ(m.text(2, 32), "a");
    // Status 0 reads past the bar.
    m = line(":gcrossip,0,4,'a','b','c'\r");
    EXPECT_EQ(m.text(18, 32), "c");
    expectInvalid(":gcrossip,0,4,'a'\r", CommandId::gcrossip);
}

TEST_F(Decoder, TextsAndRawTexts) {
    DeviceMessage m = line(":gdevinfo,0,'460-long-model',12,'SN 1234567890123456789'\r");
    EXPECT_EQ(m.text(1, 7), "460-lo");
    EXPECT_EQ(m.i(3), 12);
    EXPECT_EQ(m.text(4, 17), "SN 1234567890123");
    m = line(":gdevinfo,0,460,12,'SN\r");
    EXPECT_EQ(m.text(1, 7), "") << "no quote gives an empty text";
    EXPECT_EQ(m.text(4, 17), "SN");
    m = line(":gdevinfo,0,x'Q'y,12,''\r");
    EXPECT_EQ(m.text(1, 7), "Q");
    m = line(":gmaininpstatus,0,3,LOCKED\r");
    EXPECT_EQ(m.text(2, 4), "LOC");
    m = line(":guniclkstip,0,2,Locked to grandmaster 'A'\r");
    EXPECT_EQ(m.text(2, 32), "Locked to grandmaster 'A'");
}

TEST_F(Decoder, Tags) {
    EXPECT_EQ(line(":gmaster,0,1,*77\r").tag, 77);
    EXPECT_EQ(line(":gmaster,0,1,*0\r").tag, 0);
    EXPECT_EQ(line(":gmaster,0,1,*65535\r").tag, 65535);
    EXPECT_EQ(line(":gmaster,0,1,*65536\r").tag, 0);
    EXPECT_EQ(line(":gmaster,0,1,*x\r").tag, 0);
    EXPECT_EQ(line(":gmaster,0,1,*-3\r").tag, 0);
    EXPECT_EQ(line(":gmaster,0,1,*12,5\r").tag, 0) << "only the last token";
    EXPECT_EQ(line(":aliverequest,0,*12\r").tag, 12);
    EXPECT_EQ(line(":gmaster,0,1x,*77\r").tag, 0) << "no tag on a line that does not decode";
}

TEST_F(Decoder, AliveLines) {
    DeviceMessage m = line("?aliverequest\r");
    EXPECT_EQ(m.flags, FlagRequest | FlagAlive);
    EXPECT_EQ(m.status, 0);
    m = line(":aliverequest,0\r");
    EXPECT_EQ(m.flags, FlagReply | FlagAlive);
    m = line(":aliverequest,3\r");
    EXPECT_EQ(m.status, 0) << "an alive line never carries a status";
    m = line("?aliverequest,*12\r");
    EXPECT_EQ(m.tag, 12);
    m = line("%gmaster,1\r");
    EXPECT_EQ(m.flags, 0);
    EXPECT_EQ(m.i(1), 1);
}

TEST_F(Decoder, HwConfRecordOnlyForSomeModules) {
    DeviceMessage m = line(":ghwconf,0,2,17,'SN-2','2023-05'\r");
    EXPECT_EQ(m.i(1), 2);
    EXPECT_EQ(m.i(2), 17);
    EXPECT_EQ(m.text(fields::kHwConfFirst), "SN-2");
    EXPECT_EQ(m.text(fields::kHwConfSecond), "2023-05");
    for (int module : {1, 4, 8, 21}) {
        m = line(":ghwconf,0," + std::to_string(module) + ",17,'SN','X'\r");
        EXPECT_EQ(m.command, CommandId::ghwconf) << module;
        EXPECT_EQ(m.i(2), 0) << module;
        EXPECT_EQ(m.text(fields::kHwConfFirst), "") << module;
    }
    EXPECT_EQ(line(":ghwconf,0,20,1,'a','b'\r").text(fields::kHwConfSecond), "b");
    expectInvalid(":ghwconf,0,9,1\r", CommandId::ghwconf);
}

TEST_F(Decoder, SwVerPairs) {
    DeviceMessage m =
        line(":gswver,0,2,'2.1.0.5','App','1.0','Boot','3.3','FPGA','4.4','DSP','x','y'\r");
    EXPECT_EQ(m.i(1), 2);
    EXPECT_EQ(m.text(fields::swVerFirst(0)), "2.1.0.5");
    EXPECT_EQ(m.text(fields::swVerSecond(0)), "App");
    EXPECT_EQ(m.text(fields::swVerFirst(3)), "4.4");
    EXPECT_EQ(m.text(fields::swVerSecond(3)), "DSP");
    m = line(":gswver,0,1,'1.2','A','odd'\r");
    EXPECT_EQ(m.text(fields::swVerFirst(0)), "1.2");
    EXPECT_EQ(m.text(fields::swVerFirst(1)), "") << "a text without its partner is not read";
    m = line(":gswver,0,1,'1.2','A',*9\r");
    EXPECT_EQ(m.tag, 9);
    EXPECT_EQ(m.text(fields::swVerSecond(0)), "A");
}

TEST_F(Decoder, CrosspointList) {
    std::string bytes = ":lcross,0,1,128";
    for (int i = 0; i < 128; ++i)
        bytes += "," + std::to_string(i + 1000);
    DeviceMessage m = line(bytes + "\r");
    EXPECT_EQ(m.command, CommandId::lcross);
    EXPECT_EQ(m.i(2), 128);
    EXPECT_EQ(m_decoder.crosspointList()[0], 1000);
    EXPECT_EQ(m_decoder.crosspointList()[127], 1127);

    m = line(":lcross,0,129,2,7,8\r");
    EXPECT_EQ(m_decoder.crosspointList()[0], 7);
    EXPECT_EQ(m_decoder.crosspointList()[2], 0) << "the table is cleared before it is filled";

    // An error reply carries the fixed arguments only and leaves the table alone.
    m = line(":lcross,4,1,2\r");
    EXPECT_EQ(m.command, CommandId::lcross);
    EXPECT_EQ(m.i(2), 2);
    EXPECT_EQ(m_decoder.crosspointList()[0], 7);

    expectInvalid(":lcross,0,1,129\r", CommandId::lcross);
    expectInvalid(":lcross,0,1,3,5,6\r", CommandId::lcross);  // a missing item
    expectInvalid(":lcross,0,1,2,5,*3\r", CommandId::lcross); // a tag is no item
    expectInvalid(":lcross,0,1,2,5,x\r", CommandId::lcross);

    m = line(":lccross,0,2,1,3,41,42,43\r");
    EXPECT_EQ(m.i(3), 3);
    EXPECT_EQ(m_decoder.crosspointList()[2], 43);
    expectInvalid(":lccross,0,2,1,129\r", CommandId::lccross);
}

TEST_F(Decoder, OtherLists) {
    DeviceMessage m = line(":lsyncprio,0,1,3,4,5,6\r");
    EXPECT_EQ(m_decoder.syncPriorityList()[2], 6);
    expectInvalid(":lsyncprio,0,1,18\r", CommandId::lsyncprio);

    m = line(":lmaininpstatus,0,1,14,A,B,C,D,E,F,G,H,I,J,K,L,M,LOCKED\r");
    EXPECT_EQ(m.command, CommandId::lmaininpstatus);
    EXPECT_EQ(m_decoder.inputStatusList()[0].channel, 1);
    EXPECT_EQ(m_decoder.inputStatusList()[13].channel, 14);
    EXPECT_EQ(m_decoder.inputStatusList()[13].view(), "LOC");
    expectInvalid(":lmaininpstatus,0,2,14,A,B,C,D,E,F,G,H,I,J,K,L,M,N\r",
                  CommandId::lmaininpstatus);
    expectInvalid(":lmaininpstatus,0,0,15\r", CommandId::lmaininpstatus);
    m = line(":lmaininprate,0,5,10,1,2,3,4,5,6,7,8,9,10\r");
    EXPECT_EQ(m_decoder.inputRateList()[9], 10);
    expectInvalid(":lmaininprate,0,6,10,1,2,3,4,5,6,7,8,9,10\r", CommandId::lmaininprate);

    m = line(":llabel,0,1,33,2,'Kick','Snare,2'\r");
    EXPECT_EQ(m_decoder.labelList()[0].direction, 1);
    EXPECT_EQ(m_decoder.labelList()[0].channel, 33);
    EXPECT_EQ(m_decoder.labelList()[1].channel, 34);
    EXPECT_EQ(m_decoder.labelList()[0].view(), "Kick");
    EXPECT_EQ(m_decoder.labelList()[1].view(), "Snare");
    expectInvalid(":llabel,0,1,33,33\r", CommandId::llabel);
    m = line(":llabel,0,0,1,1,x\r");
    EXPECT_EQ(m.command, CommandId::llabel);
    EXPECT_EQ(m_decoder.labelList()[0].view(), "") << "an item without quotes is an empty label";

    m = line(":llevdetstate,0,1,1,2,1,0\r");
    EXPECT_EQ(m_decoder.levelDetectorList()[1], 0);
    EXPECT_EQ(m_decoder.levelDetectorList()[0], 1);
    m = line(":llevdetstatus,0,1,1,1,9\r");
    EXPECT_EQ(m_decoder.levelDetectorList()[0], 9);
    EXPECT_EQ(m_decoder.levelDetectorList()[1], 0);
    m = line(":lcdelay,0,1,1,2,100,200\r");
    EXPECT_EQ(m_decoder.delayList()[1], 200);
    expectInvalid(":lcdelay,0,1,1,129\r", CommandId::lcdelay);

    // Lists whose reply only echoes the request.
    m = line(":lgain,0,1,2,3\r");
    EXPECT_EQ(m.command, CommandId::lgain);
    EXPECT_EQ(m.i(3), 3);
}

TEST_F(Decoder, PpmIdList) {
    DeviceMessage m = line(":lppmid,0,5,4294967295,7\r");
    EXPECT_EQ(m.command, CommandId::lppmid);
    EXPECT_EQ(m_decoder.ppmIdList()[0], 5U);
    EXPECT_EQ(m_decoder.ppmIdList()[1], 4294967295U);
    EXPECT_EQ(m_decoder.ppmIdList()[2], 7U);
    EXPECT_EQ(m_decoder.ppmIdList()[3], 0U);

    m = line(":lppmid,0,8,9,*4\r");
    EXPECT_EQ(m.tag, 4);
    EXPECT_EQ(m_decoder.ppmIdList()[1], 9U);
    EXPECT_EQ(m_decoder.ppmIdList()[2], 0U) << "the tag is no id";

    std::string many = ":lppmid,0";
    for (int i = 1; i <= 33; ++i)
        many += "," + std::to_string(i);
    m = line(many + "\r");
    EXPECT_EQ(m_decoder.ppmIdList()[31], 32U) << "33 tokens store the first 32";
    m = line(":lppmid,0,1\r");
    EXPECT_EQ(m_decoder.ppmIdList()[0], 1U);
    m = line(many + ",34\r");
    EXPECT_EQ(m.command, CommandId::InvalidReply) << "more ids than the table holds";
    EXPECT_THAT(m_decoder.ppmIdList(), Each(0U)) << "no half stale table";
}

TEST_F(Decoder, PpmIdListThatEmptiesOrFailsLeavesNoStaleIds) {
    line(":lppmid,0,5,6\r");
    DeviceMessage m = line(":lppmid,0\r");
    EXPECT_EQ(m.command, CommandId::lppmid);
    EXPECT_THAT(m_decoder.ppmIdList(), Each(0U)) << "no ids: the frame has no streams";

    line(":lppmid,0,5,6\r");
    m = line(":lppmid,0,7,x\r");
    EXPECT_EQ(m.command, CommandId::InvalidReply);
    EXPECT_THAT(m_decoder.ppmIdList(), Each(0U));
}

TEST_F(Decoder, CopyOutHonoursTheLimits) {
    line(":lcross,0,1,2,7,8\r");
    std::array<std::int32_t, 128> out{};
    out.fill(-1);
    EXPECT_FALSE(m_decoder.copyCrosspointList(129, out));
    EXPECT_EQ(out[0], -1);
    EXPECT_TRUE(m_decoder.copyCrosspointList(2, out));
    EXPECT_EQ(out[1], 8);
    EXPECT_EQ(out[127], 0) << "the whole table is copied";
    std::array<CResponseDecoder::LabelEntry, 32> labels{};
    EXPECT_FALSE(m_decoder.copyLabelList(33, labels));
    std::array<std::int32_t, 17> sync{};
    EXPECT_TRUE(m_decoder.copySyncPriorityList(17, sync));
    EXPECT_FALSE(m_decoder.copySyncPriorityList(18, sync));
}

TEST_F(Decoder, RequestColumnReadsTheProgramsRequests) {
    DeviceMessage m = line("?gcross,5\r", Column::Request);
    EXPECT_EQ(m.flags, FlagRequest);
    EXPECT_EQ(m.i(1), 5);
    m = line("&scross,5,17,0,0,*3\r", Column::Request);
    EXPECT_EQ(m.i(2), 17);
    EXPECT_EQ(m.tag, 3);
    m = line("?gpsustatus,2\r", Column::Request);
    EXPECT_EQ(m.i(2), 2);
    m = line("?gswver,2\r", Column::Request);
    EXPECT_EQ(m.i(1), 2);
}

TEST_F(Decoder, OneBadLineDoesNotAffectTheNext) {
    const std::string bytes = ":gcross,0,x\r:gcross,0,5,17\r";
    DeviceMessage m;
    DecodeResult r = m_decoder.decode(bytes, m);
    EXPECT_EQ(m.command, CommandId::InvalidReply);
    r = m_decoder.decode(std::string_view(bytes).substr(r.consumed), m);
    EXPECT_TRUE(r.delivered);
    EXPECT_EQ(m.command, CommandId::gcross);
    EXPECT_EQ(m.i(2), 17);
}

TEST_F(Decoder, EmbeddedNulEndsTheLine) {
    const std::string bytes("?gcross,5\0garbage\r", 18);
    const DeviceMessage m = line(bytes, Column::Request);
    EXPECT_EQ(m.command, CommandId::gcross);
    EXPECT_EQ(m.i(1), 5);
}

} // namespace
} // namespace velmar
