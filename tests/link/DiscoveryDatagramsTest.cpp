#include "link/DiscoveryDatagrams.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace velmar {
namespace {

std::span<const char> bytes(const std::string& s) { return {s.data(), s.size()}; }

TEST(SearchReply, AcceptanceAndQueuedText) {
    const std::string reply = ":edev,0,1,12,'Studio A','460',x,'SN01'\r";
    EXPECT_EQ(queuedSearchReply("192.168.1.20", bytes(reply)),
              "192.168.1.20,1,12,'Studio A','460',x,'SN01'");
    const std::string own = "!edev,0,1,12,'Studio A','460',x,'SN01'\r";
    EXPECT_EQ(queuedSearchReply("192.168.1.20", bytes(own)),
              "192.168.1.20,1,12,'Studio A','460',x,'SN01',")
        << "a frame's own announcement is marked by a trailing comma";
    // The first eight characters are skipped whatever they hold.
    EXPECT_EQ(queuedSearchReply("10.0.0.1", bytes(":eXXXXXX2,7\r")), "10.0.0.1,2,7");
}

TEST(SearchReply, MalformedDatagramsAreDropped) {
    const std::string tooLong = ":edev,0," + std::string(249, 'a') + "\r"; // 258 bytes
    const std::string longest = ":edev,0," + std::string(247, 'a') + "\r"; // 256 bytes
    ASSERT_EQ(longest.size(), kMaxSearchReply);
    const std::string rows[] = {
        "?edev\r",                        // our own search, looped back
        ":edev\r",                        // exactly six bytes
        ":e\r",                           // too short
        ":edev,0,1,12,'A','460',x,'S'",   // no carriage return
        ":xdev,0,1,12,'A','460',x,'S'\r", // second byte not "e"
        "%edev,0,1,12,'A','460',x,'S'\r", // first byte neither "!" nor ":"
        ":edev,0,\r",                     // nothing after eight characters
        tooLong,
        std::string(":edev,0,\0abc\r", 13), // a NUL ends the text
    };
    for (const std::string& d : rows)
        EXPECT_FALSE(queuedSearchReply("10.0.0.1", bytes(d)).has_value()) << d;
    EXPECT_TRUE(queuedSearchReply("10.0.0.1", bytes(longest)).has_value());
    EXPECT_TRUE(isAcceptableSearchReply(bytes(":edev,0\r")));
    EXPECT_FALSE(queuedSearchReply("10.0.0.1", bytes(":edev,0\r")).has_value());
}

TEST(EchoProbe, PacketAndAnswer) {
    const auto packet = echoProbePacket();
    ASSERT_EQ(packet.size(), 11U);
    EXPECT_EQ(packet[0], 11);
    EXPECT_EQ(packet[1], 0);
    EXPECT_EQ(std::string(packet.data() + 2, 9), "Brix Echo");
    EXPECT_TRUE(isEchoAnswer(packet));

    std::string wrongLength(packet.data(), packet.size());
    wrongLength[0] = 12;
    EXPECT_FALSE(isEchoAnswer(bytes(wrongLength)));
    const std::string longer = std::string(packet.data(), packet.size()) + "x";
    EXPECT_FALSE(isEchoAnswer(bytes(longer)));
    std::string otherText(packet.data(), packet.size());
    otherText[10] = 'O';
    EXPECT_FALSE(isEchoAnswer(bytes(otherText)));
    std::string secondByte(packet.data(), packet.size());
    secondByte[1] = 7;
    EXPECT_TRUE(isEchoAnswer(bytes(secondByte))) << "the second byte is not checked";
    EXPECT_FALSE(isEchoAnswer({}));

    EXPECT_EQ(echoProbeTries(1000), 20);
    EXPECT_EQ(echoProbeTries(50), 1);
    EXPECT_EQ(echoProbeTries(10), 1);
    EXPECT_EQ(echoProbeTries(0), 1);
}

TEST(SetAddress, LineAndControlCharacters) {
    SetAddressRequest r{"SN01", 1, "10.0.0.9", "255.255.0.0", "10.0.0.1", true};
    EXPECT_EQ(setAddressLine(r), "%eip,'SN01',1,'10.0.0.9','255.255.0.0','10.0.0.1',1\r");
    r.apply = false;
    r.serialNumber = "SN\r&sclear\r";
    EXPECT_EQ(setAddressLine(r), "%eip,'SN&sclear',1,'10.0.0.9','255.255.0.0','10.0.0.1',0\r");
}

TEST(SocketDrops, ReadFromTheKernelTable) {
    const std::string table =
        "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
        "timeout inode ref pointer drops\n"
        "  100: 00000000:2714 00000000:0000 07 00000000:00000000 00:00000000 00000000  1000    "
        "    0 48213 2 ffff8e1a0a6e1a00 0\n"
        "  207: 0100007F:2712 00000000:0000 07 00000000:0003FA00 00:00000000 00000000  1000    "
        "    0 48250 2 ffff8e1a0a6e2200 725\n";
    EXPECT_EQ(udpDropsOfSocket(table, 48250), std::optional<std::uint64_t>(725));
    EXPECT_EQ(udpDropsOfSocket(table, 48213), std::optional<std::uint64_t>(0));
    EXPECT_EQ(udpDropsOfSocket(table, 725), std::nullopt) << "only the inode column identifies";
    EXPECT_EQ(udpDropsOfSocket(table, 99), std::nullopt);
    EXPECT_EQ(udpDropsOfSocket("", 48250), std::nullopt);
    // The header line is never a socket, and a cut or mangled line is no count.
    EXPECT_EQ(udpDropsOfSocket("0 1 2 3 4 5 6 7 8 48250 10 11 12\n", 48250), std::nullopt);
    EXPECT_EQ(udpDropsOfSocket("h\n 1: a b 07 t:r 0:0 0 1000 0 48250 2 p\n", 48250), std::nullopt);
    EXPECT_EQ(udpDropsOfSocket("h\n 1: a b 07 t:r 0:0 0 1000 0 48250 2 p x7\n", 48250),
              std::nullopt);
}

} // namespace
} // namespace velmar
