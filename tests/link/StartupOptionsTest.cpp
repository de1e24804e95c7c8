#include "link/StartupOptions.h"
#include "link/WindowTitle.h"

#include "link/Ipv4.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(CommandLine, OnlyTheExactWordsSetFlags) {
    struct Row {
        const char* line;
        bool telnet, xy, service;
    };
    const Row rows[] = {
        {"telnet", true, true, true},     {"xy", false, true, false},
        {"vkq", false, false, true},      {"Telnet", false, false, false},
        {"XY", false, false, false},      {"telnet xy", false, false, false},
        {" telnet", false, false, false}, {"", false, false, false},
        {"vkqx", false, false, false},
    };
    for (const Row& r : rows) {
        const StartupOptions o = parseCommandLine(r.line);
        EXPECT_EQ(o.telnet, r.telnet) << r.line;
        EXPECT_EQ(o.xy, r.xy) << r.line;
        EXPECT_EQ(o.service, r.service) << r.line;
    }
}

TEST(WindowTitle, ByLinkState) {
    EXPECT_EQ(windowTitle(false, "", false), " Velmar");
    EXPECT_EQ(windowTitle(false, "Studio A", true), " Velmar");
    EXPECT_EQ(windowTitle(true, "", false), " Velmar   ( Online )");
    EXPECT_EQ(windowTitle(true, "Studio A", false), " Velmar   ( Online - Studio A )");
    EXPECT_EQ(windowTitle(true, "", true), " Velmar   ( Online ) - using Telnet port");
    EXPECT_EQ(windowTitle(true, "B", true), " Velmar   ( Online - B ) - using Telnet port");
}

TEST(Ipv4, StrictDottedQuads) {
    EXPECT_EQ(parseIpv4("10.0.1.20"), (10U << 24) | (1U << 8) | 20U);
    EXPECT_EQ(parseIpv4("255.255.255.255"), 0xFFFFFFFFU);
    EXPECT_EQ(parseIpv4("0.0.0.0"), 0U);
    for (const char* bad : {"", "10.0.1", "10.0.1.20.", "10.0.1.256", "10..1.2", "a.b.c.d",
                            " 10.0.0.1", "10.0.0.1 ", "1000.0.0.1", "10.0.0.-1", "*10.0.0.1"})
        EXPECT_FALSE(parseIpv4(bad).has_value()) << bad;
    EXPECT_EQ(formatIpv4(*parseIpv4("192.168.1.20")), "192.168.1.20");
}

} // namespace
} // namespace velmar
