#include "protocol/CommandTable.h"

#include "protocol/ArgumentLayout.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace velmar {
namespace {

TEST(CommandTable, EveryKeywordMapsBackToItsId) {
    int keywords = 0;
    for (int i = 0; i < kCommandCount; ++i) {
        const auto id = static_cast<CommandId>(i);
        const std::string_view key = keywordOf(id);
        if (isReserved(id)) {
            EXPECT_TRUE(key.empty()) << i;
            continue;
        }
        ++keywords;
        EXPECT_EQ(commandOf(key), id) << key;
    }
    EXPECT_EQ(keywords, 217);
}

TEST(CommandTable, RowsSitAtTheirNumbers) {
    struct Row {
        int id;
        const char* keyword;
    };
    const Row rows[] = {{0, "aliverequest"}, {1, "error"},           {2, "sprog"},
                        {16, "gswver"},      {18, "gmaininpstatus"}, {43, "gcross"},
                        {66, "grxportrng"},  {68, "glevdetthres"},   {124, "scmd"},
                        {130, "sip"},        {132, "sgenrate"},      {148, "scross"},
                        {205, "sledint"},    {206, "lcross"},        {219, "lcdelay"}};
    for (const Row& r : rows)
        EXPECT_EQ(keywordOf(static_cast<CommandId>(r.id)), r.keyword);
}

TEST(CommandTable, ReservedAndUnknownNeverMatch) {
    EXPECT_TRUE(isReserved(CommandId::reserved17));
    EXPECT_TRUE(isReserved(CommandId::reserved67));
    EXPECT_TRUE(isReserved(CommandId::reserved131));
    EXPECT_FALSE(isReserved(CommandId::gcross));
    EXPECT_EQ(toIndex(CommandId::InvalidReply), 220);
    EXPECT_TRUE(keywordOf(CommandId::InvalidReply).empty());
    for (const char* key :
         {"", "GCROSS", "Gcross", "gcros", "gcrossx", "lcdelayy", " gcross", "aaa", "zzz"})
        EXPECT_EQ(commandOf(key), CommandId::InvalidReply) << '"' << key << '"';
}

// Catches transcription slips in the layout rows: arguments of one direction
// must not overlap, and every argument lies inside p1..p35.
TEST(ArgumentLayout, ArgumentsNeverOverlap) {
    const auto checkLayout = [](const ArgLayout& layout, const std::string& where) {
        std::set<int> used;
        for (const ArgSpec& a : layout.all()) {
            int bytes = 4;
            if (a.kind == ValueKind::Decimal)
                bytes = 8;
            if (a.kind == ValueKind::Text || a.kind == ValueKind::Raw)
                bytes = a.capacity;
            ASSERT_GT(bytes, 0) << where;
            ASSERT_LE(a.offset + bytes, 35 * 4) << where;
            for (int b = a.offset; b < a.offset + bytes; ++b)
                ASSERT_TRUE(used.insert(b).second) << where << " byte " << b;
        }
        if (layout.bar >= 0) {
            ASSERT_LE(layout.bar, layout.count) << where;
        }
    };
    for (int i = 0; i < kCommandCount; ++i) {
        const auto id = static_cast<CommandId>(i);
        const std::string key(keywordOf(id));
        checkLayout(layoutOf(id).request, key + " request");
        checkLayout(layoutOf(id).reply, key + " reply");
    }
}

TEST(ArgumentLayout, SpecialRows) {
    // "gppminfo" and "sppmcreate" travel in their own order.
    const ArgLayout& info = layoutOf(CommandId::gppminfo).reply;
    ASSERT_EQ(info.count, 7);
    EXPECT_EQ(info.bar, 1);
    const int infoSlots[] = {1, 6, 5, 2, 3, 4, 10};
    for (int k = 0; k < 7; ++k)
        EXPECT_EQ(info.args[static_cast<std::size_t>(k)].slot(), infoSlots[k]);
    EXPECT_EQ(info.args[1].kind, ValueKind::Text);
    EXPECT_EQ(info.args[1].capacity, 16);

    const ArgLayout& create = layoutOf(CommandId::sppmcreate).request;
    ASSERT_EQ(create.count, 6);
    EXPECT_EQ(create.args[0].slot(), 6);
    EXPECT_EQ(create.args[2].kind, ValueKind::Unsigned);
    EXPECT_EQ(layoutOf(CommandId::sppmcreate).reply.bar, 0);

    // "sboardinfo": three texts back to back from p3, then p13.
    const ArgLayout& board = layoutOf(CommandId::sboardinfo).request;
    ASSERT_EQ(board.count, 6);
    EXPECT_EQ(board.args[2].offset, 8);
    EXPECT_EQ(board.args[3].offset, 25);
    EXPECT_EQ(board.args[4].offset, 39);
    EXPECT_EQ(board.args[5].slot(), 13);

    EXPECT_EQ(layoutOf(CommandId::ghwconf).special, LayoutSpecial::HwConf);
    EXPECT_EQ(layoutOf(CommandId::gswver).special, LayoutSpecial::SwVer);
    EXPECT_EQ(layoutOf(CommandId::lcross).special, LayoutSpecial::List);
    EXPECT_EQ(layoutOf(CommandId::srestart).reply.count, 0);
    EXPECT_EQ(layoutOf(CommandId::gpsustatus).reply.args[0].slot(), 2);
    EXPECT_EQ(layoutOf(CommandId::gpsustatus).reply.bar, 1);
    EXPECT_EQ(layoutOf(CommandId::InvalidReply).reply.count, 0);
}

} // namespace
} // namespace velmar
