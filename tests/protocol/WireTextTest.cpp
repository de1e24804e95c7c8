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
              "is longer than 16 characters");
    EXPECT_FALSE(sendableTextProblem(std::string(16, 'x'), 16).has_value());
    EXPECT_FALSE(sendableTextProblem(std::string(300, 'x')).has_value()) << "0 means no limit";
}

} // namespace
} // namespace velmar
