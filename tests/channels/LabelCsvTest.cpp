#include "channels/LabelCsv.h"

#include "main/EngineFakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>

namespace velmar {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr ChannelRange k460{0, 1536, true}; // no PHD ports: 529..592 blocked

TEST(LabelCsv, WritesWhatASpreadsheetReadsBack) {
    const std::vector<LabelRow> rows{
        {1, "Kick", "Desk 1"}, {2, "", ""}, {529, "", ""}, {1536, " Lead", "Out"}};
    const std::string text = writeLabelCsv(k460, rows);
    EXPECT_EQ(text, "channel,type,input,output\r\n"
                    "1,CARD 1,Kick,Desk 1\r\n"
                    "2,CARD 1,,\r\n"
                    "529,----,,\r\n"
                    "1536,CARD 8,\" Lead\",Out\r\n");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");

    const LabelCsvRead back = readLabelCsv(text, ChannelRange{0, 1536, false});
    EXPECT_THAT(back.refused, IsEmpty());
    EXPECT_EQ(back.rows, rows);
}

TEST(LabelCsv, RefusedRowsCarryTheirLineNumbers) {
    const std::string text = "\xEF\xBB\xBF"
                             "Channel, Type, Input, Output\n"
                             "3,CARD 1,Kick,Desk 3\n"
                             "\n"
                             "4,,\"Kick, snare\",\n" // line 4: a comma in a label
                             "5,,SEVENTEEN-CHARS-X,\n"
                             "530,,Phd,\n"
                             "1537,,Beyond,\n"
                             "3,,Again,\n"
                             "x,,Nan,\n"
                             "6,,Tab\there,\n"
                             "7,,too,many,fields\n"
                             "8,,\"Two\nlines\",\n" // starts on line 12
                             "9,,\"It's\",ok\n"
                             "10,CARD 1,\"Open";
    const LabelCsvRead read = readLabelCsv(text, k460);
    EXPECT_EQ(read.error, "");
    EXPECT_THAT(read.rows, ElementsAre(LabelRow{3, "Kick", "Desk 3"}));
    std::vector<int> lines;
    for (const LabelCsvRefusal& r : read.refused)
        lines.push_back(r.line);
    EXPECT_THAT(lines, ElementsAre(4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15));
    EXPECT_EQ(read.refused[0].reason, "input label holds a quote, comma or control character");
    EXPECT_EQ(read.refused[3].reason, "channel 1537 is not one of 1 .. 1536");
    EXPECT_EQ(read.refused[4].reason, "channel 3 is named a second time");
}

TEST(LabelCsv, AFileWithoutTheHeaderIsRefusedWhole) {
    EXPECT_EQ(readLabelCsv("", k460).error, "the file is empty");
    const LabelCsvRead read = readLabelCsv("1,CARD 1,Kick,Desk\n", k460);
    EXPECT_EQ(read.error, "line 1 is not the header \"channel,type,input,output\"");
    EXPECT_THAT(read.rows, IsEmpty());
}

TEST(LabelCsv, OnlyLabelsThatDifferAreSent) {
    std::map<std::pair<int, int>, std::string> frame{{{0, 1}, "Kick"}, {{1, 1}, "Desk 1"}};
    const auto labelOf = [&](LabelKind kind, int channel) -> std::string {
        const auto it = frame.find({static_cast<int>(kind), channel});
        return it == frame.end() ? std::string() : it->second;
    };
    const std::vector<LabelRow> rows{{1, "Kick", "Desk 9"}, {2, "", ""}, {3, "Snare", ""}};
    std::vector<std::string> lines;
    for (const DeviceMessage& m : labelChangeRequests(rows, labelOf))
        lines.push_back(test::lineOf(m));
    EXPECT_THAT(lines, ElementsAre("&slabel,1,1,'Desk 9'", "&slabel,0,3,'Snare'"));
}

} // namespace
} // namespace velmar
