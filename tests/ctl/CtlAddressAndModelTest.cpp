// Operands that could only end in a network time-out or a wrong guess are
// refused as usage errors before anything is sent.

#include "ctl/CtlOptions.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

CtlParse parse(std::initializer_list<std::string_view> words) {
    return parseCtlArguments(std::span<const std::string_view>(words.begin(), words.size()));
}

void expectRefused(std::initializer_list<std::string_view> words, std::string_view says) {
    const CtlParse result = parse(words);
    std::string where;
    for (const std::string_view w : words)
        where.append(" ").append(w);
    EXPECT_FALSE(result.options.has_value()) << where;
    EXPECT_NE(result.error.find(says), std::string::npos) << where << " -> " << result.error;
}

TEST(CtlHostAddress, AddressesNoFrameCanHaveAreUsageErrors) {
    expectRefused({"status", "0.0.0.0"}, "unspecified");
    expectRefused({"status", "*0.0.0.0"}, "unspecified");
    expectRefused({"routes", "255.255.255.255"}, "broadcast");
    expectRefused({"status", "224.0.0.1"}, "multicast");
    expectRefused({"watch", "239.255.255.250"}, "multicast");
    expectRefused({"send", "#230.1.2.3", "?gcross,5"}, "multicast");
    for (const char* host : {"0.0.0.0", "255.255.255.255", "224.0.0.0"})
        expectRefused({"route", host, "1", "2"}, "not the address of a frame");
}

TEST(CtlHostAddress, OrdinaryAndEdgeAddressesPass) {
    // A subnet's own broadcast (x.y.z.255) cannot be told without the mask:
    // 10.0.0.255 may be a frame on a /16.
    for (const char* host :
         {"10.0.0.255", "223.255.255.255", "240.0.0.1", "0.0.0.1", "127.0.0.2", "*192.168.1.20"}) {
        const CtlParse result = parse({"status", host});
        ASSERT_TRUE(result.options.has_value()) << host << ": " << result.error;
        EXPECT_EQ(result.options->host, host);
    }
}

TEST(CtlType, OnlyModelsTheProgramKnows) {
    for (const char* model : {"460", "461", "465", "450", "QB16", "RB16", "GRID"}) {
        const CtlParse result = parse({"--type", model, "status", "10.0.1.20"});
        ASSERT_TRUE(result.options.has_value()) << model << ": " << result.error;
        EXPECT_EQ(result.options->type, model);
    }
    expectRefused({"--type", "462", "status", "10.0.1.20"}, "'462'");
    expectRefused({"--type=qb16", "status", "10.0.1.20"}, "'qb16'");
    expectRefused({"--type=a=b", "status", "10.0.1.20"}, "'a=b'"); // the = form keeps the rest
    expectRefused({"status", "10.0.1.20", "--type", "460 "}, "must be one of");
    const CtlParse listed = parse({"--type", "x", "status", "10.0.1.20"});
    for (const char* model : {"460", "461", "465", "450", "QB16", "RB16", "GRID"})
        EXPECT_NE(listed.error.find(model), std::string::npos) << listed.error;
}

TEST(CtlRoutes, AnOutputNamedTwiceIsAUsageError) {
    expectRefused({"route", "10.0.1.20", "5", "17", "6", "18", "5", "19"},
                  "output 5 is named twice");
    expectRefused({"route", "10.0.1.20", "5", "17", "5", "17"}, "output 5 is named twice");
    expectRefused({"unroute", "10.0.1.20", "7", "8", "7"}, "output 7 is named twice");
    // The same input on two outputs is an ordinary fan-out.
    const CtlParse fanOut = parse({"route", "10.0.1.20", "5", "17", "6", "17"});
    ASSERT_TRUE(fanOut.options.has_value()) << fanOut.error;
    EXPECT_EQ(fanOut.options->routes.size(), 2u);
}

TEST(CtlVerbose, SwitchIsReadAnywhere) {
    for (const auto& words :
         {std::vector<std::string_view>{"send", "10.0.1.20", "gip", "--verbose"},
          std::vector<std::string_view>{"-v", "send", "10.0.1.20", "gip"}}) {
        const CtlParse result = parseCtlArguments(words);
        ASSERT_TRUE(result.options.has_value()) << result.error;
        EXPECT_TRUE(result.options->verbose);
    }
    EXPECT_FALSE(parse({"send", "10.0.1.20", "gip"}).options->verbose);
    expectRefused({"send", "10.0.1.20", "gip", "--verbose=yes"}, "--verbose");
}

} // namespace
} // namespace velmar
