#include "engine/CodeTables.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(CodeTables, NamesAndUnknownCodes) {
    struct Row {
        int code;
        const char* rate;
        const char* sync;
    };
    const Row rows[] = {
        {0, "Error", "Error"},    {1, "44.1 kHz", "Internal"}, {2, "48 kHz", "Word"},
        {3, "88.2 kHz", "AES11"}, {4, "96 kHz", "Video"},      {5, "176.4 kHz", "AES 1"},
        {7, "DXD", "AES 3"},      {10, "DSD 128", "AES 6"},    {11, "Error", "AES 7"},
        {12, "Error", "AES 8"},   {13, "Error", "PHD 1"},      {15, "Error", "Madi"},
        {17, "Error", "SFP 2"},   {18, "Error", "IP"},         {19, "Error", "Error"},
        {-1, "Error", "Error"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(sampleRateName(r.code), r.rate) << r.code;
        EXPECT_EQ(syncSourceName(r.code), r.sync) << r.code;
    }
}

TEST(CodeTables, CardTypeFromTheFirstSixCharactersOfTheBoardCode) {
    struct Row {
        const char* code;
        int type;
    };
    const Row rows[] = {
        {"460210", 1}, {"460130-02", 2}, {"460230", 3}, {"460240", 4},
        {"460250", 5}, {"460132", 6},    {"460610", 7}, {"460260", 8},
        {"46013", 0},  {"", 0},          {"460999", 0}, {" 460210", 0},
    };
    for (const Row& r : rows)
        EXPECT_EQ(cardTypeFromBoardCode(r.code), r.type) << r.code;
}

} // namespace
} // namespace velmar
