#include "protocol/DeviceMessage.h"

#include "protocol/ChannelNames.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(DeviceMessage, SlotsAreLittleEndian32BitValues) {
    DeviceMessage m;
    m.setI(1, -2);
    m.setU(2, 0x01020304U);
    EXPECT_EQ(m.i(1), -2);
    EXPECT_EQ(m.u(1), 0xFFFFFFFEU);
    EXPECT_EQ(m.payload[4], 0x04);
    EXPECT_EQ(m.payload[7], 0x01);
    EXPECT_EQ(m.u(2), 0x01020304U);
}

TEST(DeviceMessage, AccessOutsideThePayloadIsHarmless) {
    DeviceMessage m;
    const auto before = m.payload;
    m.setI(0, 5);
    m.setI(DeviceMessage::kPayloadSlots + 1, 5);
    m.setDecimal(DeviceMessage::kPayloadSlots, {true, 1, 2});
    m.setText(TextField{DeviceMessage::kPayloadBytes - 2, 17}, "abcdef");
    EXPECT_EQ(m.i(0), 0);
    EXPECT_EQ(m.i(-3), 0);
    EXPECT_EQ(m.i(DeviceMessage::kPayloadSlots + 1), 0);
    // The text was clamped to the last two bytes: one character and the NUL.
    EXPECT_EQ(m.text(TextField{DeviceMessage::kPayloadBytes - 2, 17}), "a");
    EXPECT_EQ(m.payload[DeviceMessage::kPayloadBytes - 1], 0);
    EXPECT_TRUE(std::equal(before.begin(), before.end() - 2, m.payload.begin()));
    EXPECT_TRUE(m.text(TextField{DeviceMessage::kPayloadBytes, 10}).empty());
}

TEST(DeviceMessage, TextsKeepTheirCapacity) {
    DeviceMessage m;
    m.setI(6, 77); // p1..p5 hold 20 bytes, the text's 17 end inside p5
    m.setText(1, 17, "a label that is far too long");
    EXPECT_EQ(m.text(1, 17), "a label that is ");
    EXPECT_EQ(m.payload[16], 0);
    EXPECT_EQ(m.i(6), 77) << "the text must not run into the next field";
    m.setText(1, 17, "ab");
    EXPECT_EQ(m.text(1, 17), "ab");
    EXPECT_EQ(m.payload[3], 0) << "the rest of the field is cleared";
    // A programming line of 255 characters fits from p2 on.
    const std::string line(300, 'x');
    m.setText(fields::kProgramLine, line);
    EXPECT_EQ(m.text(fields::kProgramLine).size(), 255U);
}

TEST(DeviceMessage, DecimalKeepsItsSignWhenTheWholePartIsZero) {
    DeviceMessage m;
    m.setDecimal(3, {true, 0, 50});
    EXPECT_EQ(m.decimal(3), (DecimalValue{true, 0, 50}));
    EXPECT_EQ(m.payload[8], 1);  // negative, the rest of its slot 0
    EXPECT_EQ(m.payload[12], 0); // whole
    EXPECT_EQ(m.payload[14], 50);
    m.setDecimal(3, {false, 300, 7});
    EXPECT_EQ(m.i(3), 0);
    EXPECT_EQ(m.decimal(3), (DecimalValue{false, 300, 7}));
}

TEST(DeviceMessage, RequestsAreMarkedAsSuch) {
    const DeviceMessage m = DeviceMessage::request(CommandId::gcross);
    EXPECT_EQ(m.flags, FlagRequest);
    EXPECT_EQ(m.tag, 0);
    EXPECT_EQ(m.length, m.size + 6);
    EXPECT_TRUE(m.isRequest());
    EXPECT_FALSE(m.isReply());
}

TEST(ChannelNames, EachPortGroupAndItsEdges) {
    struct Row {
        int channel;
        const char* name;
    };
    const Row rows[] = {
        {1, "CARD1  01"},     {64, "CARD1  64"},   {65, "CARD2  01"},    {512, "CARD8  64"},
        {513, "AES  01"},     {528, "AES  16"},    {529, "PHD1  01"},    {560, "PHD1  32"},
        {561, "PHD2  01"},    {592, "PHD2  32"},   {593, "MADI  01"},    {656, "MADI  64"},
        {657, "SFP1  01"},    {784, "SFP1  128"},  {785, "SFP2  01"},    {912, "SFP2  128"},
        {913, "IP  01"},      {976, "IP  64"},     {977, "CHN  977"},    {1000, "CHN  1000"},
        {1024, "CHN  1024"},  {1025, "CARD1  65"}, {1088, "CARD1  128"}, {1089, "CARD2  65"},
        {1536, "CARD8  128"}, {1537, "CHN  1537"}, {0, "CHN  00"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(channelDisplayName(r.channel), r.name) << r.channel;
}

} // namespace
} // namespace velmar
