// The command lines of set-id, set-ip, uptime and dump.

#include "ctl/CtlOptions.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

CtlParse parse(std::vector<std::string_view> args) { return parseCtlArguments(args); }

TEST(CtlAdminOptions, AcceptedLines) {
    auto r = parse({"set-id", "10.0.1.20", "7", "Studio A"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->verb, CtlVerb::SetId);
    EXPECT_EQ(r.options->deviceId, 7);
    EXPECT_EQ(r.options->deviceName, "Studio A");

    r = parse({"set-ip", "10.0.1.20", "--dhcp"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_TRUE(r.options->dhcp);
    EXPECT_EQ(r.options->host, "10.0.1.20");
    EXPECT_TRUE(r.options->addresses.empty());

    r = parse({"set-ip", "--serial", "SN01", "10.0.1.30", "255.255.255.0", "10.0.1.1"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->serial, "SN01");
    EXPECT_TRUE(r.options->host.empty());
    EXPECT_EQ(r.options->addresses,
              (std::vector<std::string>{"10.0.1.30", "255.255.255.0", "10.0.1.1"}));

    r = parse({"dump", "10.0.1.20", "Modules.txt", "--cards", "--dante"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->file, "Modules.txt");
    EXPECT_TRUE(r.options->dumpCards);
    EXPECT_FALSE(r.options->dumpMini);
    EXPECT_TRUE(r.options->dumpDante);

    r = parse({"uptime", "10.0.1.20", "--json"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->verb, CtlVerb::Uptime);
}

TEST(CtlAdminOptions, RefusedLinesSayWhy) {
    struct Row {
        std::vector<std::string_view> args;
        std::string_view says;
    };
    const Row rows[] = {
        {{"set-id", "10.0.1.20", "100", "A"}, "0 to 99"},
        {{"set-id", "10.0.1.20", "-1", "A"}, "ID"},
        {{"set-id", "10.0.1.20", "7"}, "NAME"},
        {{"set-id", "10.0.1.20", "7", "0123456789abcdefghij"}, "longer than 16"},
        {{"set-id", "10.0.1.20", "7", "Studio,A"}, "quote, comma or control"},
        {{"set-id", "10.0.1.20", "7", "A", "B"}, "'B'"},
        {{"set-ip", "10.0.1.20"}, "--dhcp or ADDRESS MASK GATEWAY"},
        {{"set-ip", "10.0.1.20", "10.0.1.30", "255.255.255.0"}, "GATEWAY"},
        {{"set-ip", "10.0.1.20", "10.0.1.30", "255.255.255", "10.0.1.1"}, "MASK"},
        {{"set-ip", "10.0.1.20", "255.255.255.255", "255.0.0.0", "10.0.0.1"}, "broadcast"},
        {{"set-ip", "10.0.1.20", "0.0.0.0", "255.0.0.0", "10.0.0.1"}, "unspecified"},
        {{"set-ip", "10.0.1.20", "--dhcp", "10.0.1.30"}, "--dhcp takes no addresses"},
        {{"set-ip", "--serial", "SN'1", "--dhcp"}, "quote"},
        {{"set-ip", "--serial", "", "--dhcp"}, "--serial"},
        {{"status", "10.0.1.20", "--dhcp"}, "only go with set-ip"},
        {{"status", "10.0.1.20", "--cards"}, "only go with dump"},
        {{"dump", "10.0.1.20"}, "FILE"},
    };
    for (const Row& row : rows) {
        const CtlParse r = parse(row.args);
        EXPECT_FALSE(r.options) << row.says;
        EXPECT_NE(r.error.find(row.says), std::string::npos) << r.error;
    }
}

TEST(CtlAdminOptions, HelpNamesTheCommands) {
    const std::string help = ctlHelpText();
    for (const char* usage : {"\n  set-id HOST ID NAME\n", "\n  uptime HOST\n",
                              "\n  dump HOST FILE [--cards] [--mini] [--dante]\n",
                              "\n  set-ip --serial SN --dhcp|ADDRESS MASK GATEWAY\n"})
        EXPECT_NE(help.find(usage), std::string::npos) << usage;
}

} // namespace
} // namespace velmar
