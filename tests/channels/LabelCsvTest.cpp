#include "channels/LabelCsv.h"

#include "engine/EngineFakes.h"

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
    EXPECT_EQ(read.refused[1].reason, "input label is longer than 16 bytes");
    EXPECT_EQ(read.refused[3].reason, "channel 1537 is not one of 1 .. 1536");
    EXPECT_EQ(read.refused[4].reason, "channel 3 is named a second time");
}

TEST(LabelCsv, AFileWithoutTheHeaderIsRefusedWhole) {
    EXPECT_EQ(readLabelCsv("", k460).error, "the file is empty");
    const LabelCsvRead read = readLabelCsv("1,CARD 1,Kick,Desk\n", k460);
    EXPECT_EQ(read.error, "line 1 is not the header \"channel,type,input,output\"");
    EXPECT_THAT(read.rows, IsEmpty());
}

TEST(LabelCsv, TheLimitIsSixteenBytesOfUtf8) {
    const std::string eight = "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9";
    const LabelCsvRead read = readLabelCsv(std::string(kLabelCsvHeader) + "\n1,," + eight +
                                               ",\n2,," + eight + "x,\n3,,Caf\xE9,\n",
                                           k460);
    EXPECT_THAT(read.rows, ElementsAre(LabelRow{1, eight, ""})) << "8 letters in 16 bytes";
    ASSERT_EQ(read.refused.size(), 2U);
    EXPECT_EQ(read.refused[0].reason, "input label is longer than 16 bytes");
    EXPECT_EQ(read.refused[1].reason, "input label holds bytes that are not UTF-8 text");
}

TEST(LabelCsv, LinesEndingInCrAloneAreNamedAsSuch) {
    const std::string crOnly = std::string(kLabelCsvHeader) + "\r1,CARD 1,Kick,Desk\r";
    const LabelCsvRead read = readLabelCsv(crOnly, k460);
    EXPECT_EQ(read.error, "its lines end in CR alone, which is not read here (save it with CR "
                          "LF or LF line endings)");
    EXPECT_THAT(read.rows, IsEmpty());
    EXPECT_EQ(readLabelCsv(std::string(kLabelCsvHeader) + "\r\n1,,Kick,Desk\r\n", k460).rows.size(),
              1U);
}

// Files built to make a parser slow: each is read in one pass, so this test
// is quick by construction (the timing itself is in bench/).
TEST(LabelCsv, HostileFilesOfOneMebibyteAreReadInOnePass) {
    constexpr std::size_t kHalf = 512 * 1024;
    const std::string header = std::string(kLabelCsvHeader) + "\n";
    struct Row {
        const char* name;
        std::string text;
        std::size_t rows;
        std::size_t refused;
    };
    const Row rows[] = {
        {"blanks, a letter, then quotes",
         header + "1," + std::string(kHalf, ' ') + "x" + std::string(kHalf, '"') + ",a,b\n", 1, 0},
        {"a quoted field of blanks, then quotes",
         header + "1,\"" + std::string(kHalf, ' ') + "\"x" + std::string(kHalf, '"') + ",a,b\n", 1,
         0},
        {"commas", header + std::string(2 * kHalf, ','), 0, 1},
        {"line breaks", header + std::string(2 * kHalf, '\n'), 0, 0},
        {"an unclosed quote", header + "1,\"" + std::string(2 * kHalf, 'x'), 0, 1},
        {"doubled quotes", header + "1,\"" + std::string(2 * kHalf, '"'), 0, 1},
    };
    for (const Row& r : rows) {
        const LabelCsvRead read = readLabelCsv(r.text, k460);
        EXPECT_EQ(read.error, "") << r.name;
        EXPECT_EQ(read.rows.size(), r.rows) << r.name;
        EXPECT_EQ(read.refused.size(), r.refused) << r.name;
    }
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
