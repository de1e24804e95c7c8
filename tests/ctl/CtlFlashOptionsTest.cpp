#include "ctl/CtlOptions.h"
#include "ctl/FlashProgress.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

CtlParse parse(std::initializer_list<std::string_view> words) {
    return parseCtlArguments(std::span<const std::string_view>(words.begin(), words.size()));
}

TEST(CtlFlashOptions, FlashTakesFilesAndItsSwitches) {
    const CtlParse p = parse({"flash", "10.0.0.5", "a.flash", "b.flash", "--yes", "--restart"});
    ASSERT_TRUE(p.options) << p.error;
    EXPECT_EQ(p.options->verb, CtlVerb::Flash);
    EXPECT_EQ(p.options->host, "10.0.0.5");
    EXPECT_EQ(p.options->files, (std::vector<std::string>{"a.flash", "b.flash"}));
    EXPECT_TRUE(p.options->yes);
    EXPECT_TRUE(p.options->restart);

    const CtlParse plain = parse({"flash", "10.0.0.5", "a.flash"});
    ASSERT_TRUE(plain.options);
    EXPECT_FALSE(plain.options->yes);
    EXPECT_FALSE(plain.options->restart);

    EXPECT_EQ(parse({"flash", "10.0.0.5"}).error,
              "missing FILE: usage is velmarctl flash HOST FILE... [--yes] [--restart]");
    EXPECT_EQ(parse({"flash", "10.0.0.5", ""}).error, "FILE must not be empty");
    EXPECT_EQ(parse({"status", "10.0.0.5", "--yes"}).error,
              "--yes and --restart only go with flash");
}

TEST(CtlFlashOptions, FlashJoinNeedsAnImageTypeAndTwoPaths) {
    const CtlParse p =
        parse({"flash-join", "--type", "450", "--release", "2.1", "images", "out.flash"});
    ASSERT_TRUE(p.options) << p.error;
    EXPECT_EQ(p.options->verb, CtlVerb::FlashJoin);
    EXPECT_EQ(p.options->type, "450");
    EXPECT_EQ(p.options->release, "2.1");
    EXPECT_EQ(p.options->folder, "images");
    EXPECT_EQ(p.options->file, "out.flash");

    EXPECT_EQ(parse({"flash-join", "images", "out.flash"}).error,
              "flash-join needs --type 460 or --type 450");
    EXPECT_EQ(parse({"flash-join", "--type", "461", "images", "out.flash"}).error,
              "flash-join needs --type 460 or --type 450, not '461'");
    EXPECT_EQ(parse({"flash-join", "--type", "460", "images"}).error,
              "missing OUT: usage is velmarctl flash-join --type 460|450 [--release R] DIR OUT");
    EXPECT_FALSE(parse({"flash-join", "--type", "460", "a", "b", "c"}).options);
    EXPECT_EQ(parse({"routes", "10.0.0.5", "--release", "1"}).error,
              "--release only goes with flash-join");
}

TEST(CtlFlashOptions, HelpNamesTheFlashCommandsWithinEightyColumns) {
    const std::string help = ctlHelpText();
    EXPECT_NE(help.find("flash HOST FILE... [--yes] [--restart]"), std::string::npos);
    EXPECT_NE(help.find("flash-join --type 460|450 [--release R] DIR OUT"), std::string::npos);
    std::size_t start = 0;
    while (start < help.size()) {
        const std::size_t end = help.find('\n', start);
        EXPECT_LT((end == std::string::npos ? help.size() : end) - start, 80u);
        start = end == std::string::npos ? help.size() : end + 1;
    }
}

TEST(FlashProgress, RateAndTimeLeft) {
    EXPECT_EQ(flashProgressText(1, 2, 0, 5000, 0),
              "File 1 of 2: 0 of 5000 records, -- records/s, -- left");
    // 1000 records in 2 s: 500/s, 4000 left take 8 s.
    EXPECT_EQ(flashProgressText(1, 2, 1000, 5000, 2000),
              "File 1 of 2: 1000 of 5000 records, 500 records/s, 0:08 left");
    EXPECT_EQ(flashProgressText(2, 2, 10, 1000, 1000),
              "File 2 of 2: 10 of 1000 records, 10 records/s, 1:39 left");
    EXPECT_EQ(flashProgressText(1, 1, 5000, 5000, 4000),
              "File 1 of 1: 5000 of 5000 records, 1250 records/s, 0:00 left");
}

} // namespace
} // namespace velmar
