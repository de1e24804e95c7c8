#include "videohub/VideohubBlocks.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

std::vector<VideohubBlock> parseAll(std::string_view text, CVideohubParser& parser) {
    std::vector<VideohubBlock> out;
    EXPECT_TRUE(parser.feed(text, out)) << parser.error();
    return out;
}

// Blocks as the protocol's description shows them, fed whole and one byte at
// a time: the same blocks either way.
TEST(VideohubParser, CutsTheDescribedBlocksWhateverTheChunks) {
    const std::string text =
        "VIDEO OUTPUT ROUTING:\n7 2\n\n"
        "OUTPUT LABELS:\r\n7 New output 8 label\r\n10 New output 11 label\r\n\r\n"
        "\n\nPING:\n\n"
        "SERIAL PORT LOCKS:\n7 F\n\n";
    CVideohubParser whole;
    const auto blocks = parseAll(text, whole);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[0].header, "VIDEO OUTPUT ROUTING:");
    EXPECT_EQ(blocks[0].lines, std::vector<std::string>{"7 2"});
    EXPECT_EQ(blocks[1].lines,
              (std::vector<std::string>{"7 New output 8 label", "10 New output 11 label"}));
    EXPECT_EQ(blocks[2].header, "PING:");
    EXPECT_TRUE(blocks[2].lines.empty());
    EXPECT_EQ(blocks[3].header, "SERIAL PORT LOCKS:");

    CVideohubParser bytewise;
    std::vector<VideohubBlock> pieces;
    for (const char c : text)
        ASSERT_TRUE(bytewise.feed(std::string_view(&c, 1), pieces));
    ASSERT_EQ(pieces.size(), blocks.size());
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(pieces[i].header, blocks[i].header);
        EXPECT_EQ(pieces[i].lines, blocks[i].lines);
    }
    EXPECT_EQ(bytewise.pendingBytes(), 0u);

    std::vector<VideohubBlock> none;
    CVideohubParser partial;
    ASSERT_TRUE(partial.feed("VIDEO OUTPUT ROUTING:\n7 2\n", none));
    EXPECT_TRUE(none.empty()) << "a block is complete only at its blank line";
    EXPECT_GT(partial.pendingBytes(), 0u);
}

TEST(VideohubParser, EveryBoundIsAClose) {
    const VideohubLimits limits{16, 3, 2};
    struct Case {
        const char* what;
        std::string text;
        bool ok;
    };
    const Case cases[] = {
        {"a line at the bound", std::string(16, 'A') + "\n\n", true},
        {"a line past the bound", std::string(17, 'A') + "\n\n", false},
        {"a line past the bound, unended", std::string(17, 'A'), false},
        {"lines at the bound", "X:\n1\n2\n3\n\n", true},
        {"lines past the bound", "X:\n1\n2\n3\n4\n\n", false},
        {"blocks at the bound", "A:\n\nB:\n\n", true},
        {"blocks past the bound", "A:\n\nB:\n\nC:\n\n", false},
    };
    for (const Case& c : cases) {
        CVideohubParser parser(limits);
        std::vector<VideohubBlock> out;
        EXPECT_EQ(parser.feed(c.text, out), c.ok) << c.what;
        EXPECT_EQ(parser.failed(), !c.ok) << c.what;
        if (!c.ok) {
            EXPECT_FALSE(parser.error().empty());
            EXPECT_FALSE(parser.feed("PING:\n\n", out)) << "a failed parser takes nothing more";
        }
    }
}

TEST(VideohubWriters, WriteTheDescribedBlocks) {
    EXPECT_EQ(videohubPreamble(), "PROTOCOL PREAMBLE:\nVersion: 2.8\n\n");
    VideohubDevice d;
    EXPECT_EQ(videohubDeviceBlock(d), "VIDEOHUB DEVICE:\nDevice present: false\n\n");
    d = {true, "Blackmagic Smart Videohub", "Studio", "7C2E0D021714", 16, 16};
    EXPECT_EQ(videohubDeviceBlock(d), "VIDEOHUB DEVICE:\n"
                                      "Device present: true\n"
                                      "Model name: Blackmagic Smart Videohub\n"
                                      "Friendly name: Studio\n"
                                      "Unique ID: 7C2E0D021714\n"
                                      "Video inputs: 16\n"
                                      "Video processing units: 0\n"
                                      "Video outputs: 16\n"
                                      "Video monitoring outputs: 0\n"
                                      "Serial ports: 0\n\n");
    EXPECT_EQ(videohubIndexedBlock("INPUT LABELS:", {{0, "VTR 1"}, {1, "VTR 2"}}),
              "INPUT LABELS:\n0 VTR 1\n1 VTR 2\n\n");
    EXPECT_EQ(videohubEndPrelude(), "END PRELUDE:\n\n");
}

TEST(VideohubWriters, SplitsIndexedLines) {
    struct Case {
        const char* line;
        bool ok;
        int index;
        const char* value;
    };
    const Case cases[] = {
        {"7 2", true, 7, "2"},  {"10 New output 11 label", true, 10, "New output 11 label"},
        {"3 ", true, 3, ""},    {"7", false, 0, ""},
        {" 7 2", false, 0, ""}, {"-1 2", false, 0, ""},
        {"x 2", false, 0, ""},  {"99999999999 2", false, 0, ""},
        {"7\t2", false, 0, ""},
    };
    for (const Case& c : cases) {
        int index = 0;
        std::string_view value;
        EXPECT_EQ(splitVideohubLine(c.line, index, value), c.ok) << c.line;
        if (c.ok) {
            EXPECT_EQ(index, c.index) << c.line;
            EXPECT_EQ(value, c.value) << c.line;
        }
    }
}

} // namespace
} // namespace velmar
