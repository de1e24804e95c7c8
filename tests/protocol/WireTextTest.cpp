#include "protocol/WireText.h"

#include <gtest/gtest.h>
#include <string>

namespace velmar {
namespace {

TEST(WireText, RefusesWhatTheFrameWouldSplitOrCut) {
    EXPECT_TRUE(isSendableText("Studio A-2 (main)"));
    EXPECT_TRUE(isSendableText(""));
    for (const std::string& bad :
         {std::string("a,b"), std::string("it's"), std::string("say \"x\""),
          std::string("tab\there"), std::string("nul\0x", 5), std::string("del\x7f")}) {
        EXPECT_FALSE(isSendableText(bad)) << bad;
    }
}

TEST(WireText, NamesTheProblemInPlainWords) {
    EXPECT_FALSE(sendableTextProblem("SOURCE-0001", 16).has_value());
    EXPECT_EQ(sendableTextProblem("a,b", 16).value_or(""),
              "holds a quote, comma or control character");
    EXPECT_EQ(sendableTextProblem(std::string(17, 'x'), 16).value_or(""),
              "is longer than 16 bytes");
    const std::string street = "Caf\xC3\xA9 Stra\xC3\x9F"
                               "e 123"; // 15 letters in 17 bytes
    EXPECT_EQ(sendableTextProblem(street, 16).value_or(""), "is longer than 16 bytes");
    EXPECT_EQ(sendableTextProblem("Caf\xE9", 16).value_or(""),
              "holds bytes that are not UTF-8 text");
    EXPECT_FALSE(sendableTextProblem(std::string(16, 'x'), 16).has_value());
    EXPECT_FALSE(sendableTextProblem(std::string(300, 'x')).has_value()) << "0 means no limit";
}

TEST(WireText, TakesOnlyWellFormedUtf8) {
    struct Row {
        const char* name;
        std::string text;
        bool sendable;
    };
    const Row rows[] = {
        {"two-byte letter", "Caf\xC3\xA9", true},
        {"three-byte sign", "\xE2\x82\xAC 5", true},
        {"four-byte, the last there is", "\xF4\x8F\xBF\xBF", true},
        {"Latin-1 byte", "Caf\xE9", false},
        {"stray continuation byte", "a\x80", false},
        {"cut short at the end", "Caf\xC3", false},
        {"overlong slash", "\xC0\xAF", false},
        {"overlong three-byte", "\xE0\x80\xAF", false},
        {"surrogate half", "\xED\xA0\x80", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
        {"lead byte F5", "\xF5\x80\x80\x80", false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(isSendableText(r.text), r.sendable) << r.name;
        EXPECT_EQ(sendableTextProblem(r.text, 16).has_value(), !r.sendable) << r.name;
    }
    for (char c : std::string("\xC3\xA9\xE9"))
        EXPECT_TRUE(isSendableCharacter(c)) << "input filters look at one byte at a time";
}

} // namespace
} // namespace velmar
