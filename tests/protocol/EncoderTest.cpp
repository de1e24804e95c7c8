#include "CodecTestSupport.h"

#include <gtest/gtest.h>
#include <string>

namespace velmar {
namespace {

using test::encoded;

DeviceMessage req(CommandId id) { return DeviceMessage::request(id); }

TEST(Encoder, ExampleLines) {
    EXPECT_EQ(encoded(req(CommandId::gdevinfo)), "?gdevinfo\r");

    DeviceMessage cross = req(CommandId::scross);
    cross.setI(1, 5);
    cross.setI(2, 17);
    EXPECT_EQ(encoded(cross), "&scross,5,17,0,0\r");

    DeviceMessage gain = req(CommandId::sgain);
    gain.setI(1, 1);
    gain.setI(2, 20);
    gain.setDecimal(3, {true, 3, 50});
    EXPECT_EQ(encoded(gain), "&sgain,1,20,-3.50,0,0\r");

    DeviceMessage alive;
    alive.command = CommandId::aliverequest;
    alive.flags = FlagReply | FlagAlive;
    EXPECT_EQ(encoded(alive), ":aliverequest,0\r");
    alive.flags = FlagRequest | FlagAlive;
    EXPECT_EQ(encoded(alive), "?aliverequest\r");

    DeviceMessage prog = req(CommandId::sprog);
    prog.setI(1, 1);
    prog.setText(fields::kProgramLine, ":10000000AABBCCDD,'x'");
    EXPECT_EQ(encoded(prog), "&sprog,1#:10000000AABBCCDD,'x'\r");
}

TEST(Encoder, PrefixFollowsFlagsAndKeyword) {
    struct Row {
        CommandId id;
        std::uint8_t flags;
        const char* line;
    };
    const Row rows[] = {
        {CommandId::gmaster, 0x10, "?gmaster\r"},   {CommandId::smaster, 0x10, "&smaster,0\r"},
        {CommandId::sclear, 0x10, "&sclear\r"},     {CommandId::lppmid, 0x10, "?lppmid\r"},
        {CommandId::error, 0x10, "?error\r"},       {CommandId::gmaster, 0x20, ":gmaster,0\r"},
        {CommandId::smaster, 0x00, "%smaster,0\r"}, {CommandId::smaster, 0x40, "%smaster,0\r"},
        {CommandId::smaster, 0x18, "&smaster,0\r"}, {CommandId::gmaster, 0x30, "%gmaster,0\r"},
    };
    for (const Row& r : rows) {
        DeviceMessage m;
        m.command = r.id;
        m.flags = r.flags;
        EXPECT_EQ(encoded(m), r.line) << int(r.flags);
    }
}

TEST(Encoder, ReplyAlwaysCarriesStatus) {
    DeviceMessage m;
    m.command = CommandId::gcross;
    m.flags = FlagReply;
    m.setI(1, 5);
    EXPECT_EQ(encoded(m), ":gcross,0,5\r") << "status 0 is written too";
    m.status = -12;
    EXPECT_EQ(encoded(m), ":gcross,-12,5\r");
    m.flags = FlagReply | FlagAlive;
    EXPECT_EQ(encoded(m), ":gcross,-12,5\r");
}

TEST(Encoder, Tags) {
    DeviceMessage m = req(CommandId::gdevid);
    EXPECT_EQ(encoded(m), "?gdevid\r");
    m.tag = 7;
    EXPECT_EQ(encoded(m), "?gdevid,*7\r");
    m.tag = 65535;
    EXPECT_EQ(encoded(m), "?gdevid,*65535\r");

    DeviceMessage prog = req(CommandId::sprog);
    prog.setI(1, 1);
    prog.tag = 3;
    prog.setText(fields::kProgramLine, "S00F");
    EXPECT_EQ(encoded(prog), "&sprog,1,*3#S00F\r") << "the tag comes before the programming text";
}

TEST(Encoder, ValueKinds) {
    DecimalValue d{true, 0, 5};
    DeviceMessage m = req(CommandId::sadmiclevel);
    m.setI(1, 3);
    m.setI(2, -7);
    m.setDecimal(3, d);
    EXPECT_EQ(encoded(m), "&sadmiclevel,3,-7,-0.05\r");
    m.setDecimal(3, {false, 12, 0});
    EXPECT_EQ(encoded(m), "&sadmiclevel,3,-7,12.00\r");
    m.setDecimal(3, {false, 0, 99});
    EXPECT_EQ(encoded(m), "&sadmiclevel,3,-7,0.99\r");

    DeviceMessage ppm = req(CommandId::sppmchn);
    ppm.setU(1, 4294967295U);
    ppm.setI(2, -1);
    ppm.setU(3, 3000000000U);
    EXPECT_EQ(encoded(ppm), "&sppmchn,4294967295,-1,3000000000\r");

    DeviceMessage id = req(CommandId::sdevid);
    id.setI(1, 12);
    id.setText(2, 17, "Studio A, rack 2"); // quotes and commas go out unchanged
    EXPECT_EQ(encoded(id), "&sdevid,12,'Studio A, rack 2'\r");
    id.setText(2, 17, "");
    EXPECT_EQ(encoded(id), "&sdevid,12,''\r");

    DeviceMessage status = req(CommandId::gpsustatus);
    status.setI(2, 2);
    EXPECT_EQ(encoded(status), "?gpsustatus,2\r") << "the unit travels in p2";
}

TEST(Encoder, SpecialLayouts) {
    DeviceMessage create = req(CommandId::sppmcreate);
    create.setText(6, 16, "meter");
    create.setI(5, 2);
    create.setU(1, 9);
    create.setI(2, 3);
    create.setI(3, 4);
    create.setI(4, 5);
    EXPECT_EQ(encoded(create), "&sppmcreate,'meter',2,9,3,4,5\r");

    DeviceMessage cmd = req(CommandId::scmd);
    cmd.setText(fields::kScmdFirst, "abcde");
    cmd.setText(fields::kScmdSecond, "xyz");
    cmd.setText(fields::kScmdThird, "12345");
    EXPECT_EQ(encoded(cmd), "&scmd,ab,xyz,12345\r") << "each text is cut to 2, 3 and 5 characters";

    DeviceMessage board = req(CommandId::sboardinfo);
    board.setI(1, 4);
    board.setI(2, 7);
    board.setText(fields::kBoardInfoFirst, "SN0001");
    board.setText(fields::kBoardInfoSecond, "2024-01-02");
    board.setText(fields::kBoardInfoThird, "rev B");
    board.setI(fields::kBoardInfoLastSlot, 99);
    EXPECT_EQ(encoded(board), "&sboardinfo,4,7,'SN0001','2024-01-02','rev B',99\r");

    for (int step : {0, 2}) {
        DeviceMessage prog = req(CommandId::sprog);
        prog.setI(1, step);
        prog.setText(fields::kProgramLine, "ignored");
        EXPECT_EQ(encoded(prog), "&sprog," + std::to_string(step) + "\r");
    }

    DeviceMessage restart = req(CommandId::srestart);
    restart.setI(1, 1);
    EXPECT_EQ(encoded(restart), "&srestart,1\r");
    DeviceMessage mad = req(CommandId::smadioutmode);
    mad.setI(1, 1);
    mad.setI(3, 3);
    mad.setI(4, 4);
    mad.setI(5, 5);
    EXPECT_EQ(encoded(mad), "&smadioutmode,1,3,4,5\r");
    DeviceMessage sip = req(CommandId::sip);
    sip.setI(1, 0);
    sip.setText(2, 16, "192.168.0.10");
    sip.setText(6, 16, "255.255.255.0");
    sip.setText(10, 16, "192.168.0.1");
    EXPECT_EQ(encoded(sip), "&sip,0,'192.168.0.10','255.255.255.0','192.168.0.1'\r");
}

TEST(Encoder, NothingForNonCommandsOrNoRoom) {
    DeviceMessage m = req(CommandId::gdevinfo);
    std::array<char, 16> buffer{};
    EXPECT_EQ(encodeMessage(m, std::span<char>(buffer.data(), 1)), 0U) << "size 1 leaves no room";
    EXPECT_EQ(encodeMessage(m, std::span<char>(buffer.data(), std::size_t{0})), 0U);
    EXPECT_EQ(encodeMessage(m, std::span<char>()), 0U);
    for (CommandId id : {CommandId::InvalidReply, static_cast<CommandId>(300),
                         CommandId::reserved17, CommandId::reserved67, CommandId::reserved131}) {
        m.command = id;
        EXPECT_EQ(encodeMessage(m, buffer), 0U);
    }
}

TEST(Encoder, CutsWhereTheRoomEnds) {
    DeviceMessage m = req(CommandId::scross);
    m.setI(1, 5);
    m.setI(2, 17);
    m.tag = 9;
    const std::string full = "&scross,5,17,0,0,*9\r";
    EXPECT_EQ(encoded(m), full);
    // With every smaller buffer the line is the same text cut at size - 1, and
    // only a line that fits whole ends in a carriage return.
    for (std::size_t size = 1; size <= full.size(); ++size)
        EXPECT_EQ(encoded(m, size), full.substr(0, size - 1)) << size;
    EXPECT_EQ(encoded(m, full.size() + 1), full);
    // Room that runs out after the arguments leaves out the tag.
    EXPECT_EQ(encoded(m, 17), "&scross,5,17,0,0");
}

TEST(Encoder, ControlCharactersNeverReachTheWire) {
    // A label or a file line with a line end in it would let its rest reach the
    // frame as a command of its own.
    DeviceMessage label = req(CommandId::slabel);
    label.setI(1, 0);
    label.setI(2, 3);
    label.setText(3, 17, "Vox\r&sclear\r");
    EXPECT_EQ(encoded(label), "&slabel,0,3,'Vox&sclear'\r");

    DeviceMessage name = req(CommandId::sbkname);
    name.setText(1, 32,
                 std::string("a\nb\tc\x7f"
                             "d\x1b"
                             "e\xc3\xa9",
                             11));
    EXPECT_EQ(encoded(name), "&sbkname,'abcde\xc3\xa9'\r") << "bytes above 0x7F stay";

    DeviceMessage prog = req(CommandId::sprog);
    prog.setI(1, 1);
    prog.setText(fields::kProgramLine, ":0011\r\n");
    EXPECT_EQ(encoded(prog), "&sprog,1#:0011\r") << "a CRLF file line loses its line end";

    DeviceMessage cmd = req(CommandId::scmd);
    cmd.setText(fields::kScmdFirst, "\ra");
    cmd.setText(fields::kScmdSecond, "b\n");
    EXPECT_EQ(encoded(cmd), "&scmd,a,b,\r");
}

TEST(Encoder, LongProgrammingLineIsCutAndLosesItsLineEnd) {
    DeviceMessage prog = req(CommandId::sprog);
    prog.setI(1, 1);
    prog.setText(fields::kProgramLine, std::string(255, 'A'));
    const std::string line = encoded(prog);
    EXPECT_EQ(line.size(), 8U + 1 + 255 + 1);
    EXPECT_EQ(line.back(), '\r');
    const std::string cut = encoded(prog, 100);
    EXPECT_EQ(cut.size(), 99U);
    EXPECT_EQ(cut.find('\r'), std::string::npos);
}

} // namespace
} // namespace velmar
