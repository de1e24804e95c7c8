// velmar-server's configuration: the file, the command line and the checks
// that stop a start; its token file and the reconnect back-off.

#include "server/ServerConfig.h"
#include "server/Tokens.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velmar {
namespace {

struct ConfigCase {
    const char* name;
    const char* text;
    const char* error; // nullptr: accepted
};

TEST(ServerConfig, FileLinesAreTakenOrRefusedWithTheirLine) {
    const ConfigCase cases[] = {
        {"comments and blanks", "# a comment\n\n   \n# listen = 0.0.0.0:1\n", nullptr},
        {"every key", "listen = 127.0.0.1:9000\nframe = 10.0.0.2=studio-a\nframe=10.0.0.3\n"
                      "token-file = /t\ntls-certificate = /c\ntls-key = /k\n"
                      "state-directory = /s\nchange-timeout = 7\n", nullptr},
        {"unknown key", "listen = 127.0.0.1:1\nlisen = x\n", "s.conf:2: unknown setting \"lisen\""},
        {"no equals", "frame 10.0.0.2\n", "s.conf:1: not \"key = value\""},
        {"bad frame address", "frame = 10.0.0.256\n", "s.conf:1: \"10.0.0.256\" is not an IPv4"},
        {"bad frame id", "frame = 10.0.0.2=a b\n", "s.conf:1: a frame ID is"},
        {"empty value", "token-file =\n", "s.conf:1: token-file needs a value"},
        {"listen without port", "listen = 127.0.0.1\n", "s.conf:1: listen wants ADDRESS:PORT"},
        {"listen port too big", "listen = 127.0.0.1:65536\n", "s.conf:1: listen wants"},
        {"timeout zero", "change-timeout = 0\n", "s.conf:1: change-timeout wants whole seconds"},
        {"frame ID too long", "frame = 10.0.0.2=aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\n",
         "s.conf:1: a frame ID is"},
    };
    for (const ConfigCase& c : cases) {
        ServerConfig config;
        const auto error = applyConfigText(config, c.text, "s.conf");
        if (!c.error)
            EXPECT_FALSE(error) << c.name << ": " << error->text();
        else
            ASSERT_TRUE(error && error->text().rfind(c.error, 0) == 0)
                << c.name << ": " << (error ? error->text() : "accepted");
    }
    ServerConfig config;
    ASSERT_FALSE(applyConfigText(config,
                                 "listen = 127.0.0.1:9000\nframe = 10.0.0.2=studio-a\n"
                                 "frame=10.0.0.3\nchange-timeout = 7\n",
                                 "s.conf"));
    EXPECT_EQ(config.listenPort, 9000);
    ASSERT_EQ(config.frames.size(), 2U);
    EXPECT_EQ(config.frames[0].id, "studio-a");
    EXPECT_EQ(config.frames[1].id, "10.0.0.3"); // the address when no ID is given
    EXPECT_EQ(config.changeTimeoutMs, 7000);
}

TEST(ServerConfig, CommandLineOptionsAndTheWholeConfigurationChecks) {
    ServerArguments args;
    ASSERT_FALSE(parseServerArguments({"--config", "/etc/s.conf", "--frame=10.0.0.2=a",
                                       "--frame", "10.0.0.3", "--listen", "0.0.0.0:8470"},
                                      args));
    EXPECT_EQ(args.configFile, "/etc/s.conf");
    ASSERT_EQ(args.settings.size(), 3U);
    EXPECT_EQ(args.settings[2], (std::pair<std::string, std::string>{"listen", "0.0.0.0:8470"}));

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--frames", "1"}, {"--listen"}, {"stray"}}) {
        ServerArguments a;
        EXPECT_TRUE(parseServerArguments(bad, a)) << bad.front();
    }

    ServerConfig config;
    for (const auto& [key, value] : args.settings)
        ASSERT_FALSE(applyServerSetting(config, key, value, "--" + key));
    // Beyond loopback only with tokens.
    auto error = checkServerConfig(config);
    ASSERT_TRUE(error);
    EXPECT_NE(error->why.find("needs a token file"), std::string::npos);
    config.tokenFile = "/etc/velmar/tokens";
    EXPECT_FALSE(checkServerConfig(config));
    config.tlsCertificate = "/c";
    EXPECT_TRUE(checkServerConfig(config)); // a certificate without its key
    config.tlsKey = "/k";
    EXPECT_FALSE(checkServerConfig(config));
    config.frames.push_back({"10.0.0.9", "a"});
    error = checkServerConfig(config);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->why, "the frame ID \"a\" is given twice");
}

TEST(ServerConfig, FramesTakeVideohubOptionsAndClientsTheirNetworks) {
    struct FrameCase {
        const char* text;
        const char* id; // nullptr: refused
        std::uint16_t port;
        bool readOnly;
    };
    const FrameCase frames[] = {
        {"10.0.0.2", "10.0.0.2", 0, false},
        {"10.0.0.2=a videohub-port=9990", "a", 9990, false},
        {"10.0.0.2  videohub-read-only\tvideohub-port=9991 ", "10.0.0.2", 9991, true},
        {"10.0.0.2=a videohub-port=0", nullptr, 0, false},
        {"10.0.0.2=a videohub-port=65536", nullptr, 0, false},
        {"10.0.0.2=a videohub-port=", nullptr, 0, false},
        {"10.0.0.2 videohub-readonly", nullptr, 0, false},
        {"10.0.0.2 port=9990", nullptr, 0, false},
    };
    for (const FrameCase& c : frames) {
        std::string why;
        const auto frame = parseServedFrame(c.text, why);
        ASSERT_EQ(frame.has_value(), c.id != nullptr) << c.text << ": " << why;
        if (!frame)
            continue;
        EXPECT_EQ(frame->id, c.id) << c.text;
        EXPECT_EQ(frame->videohubPort, c.port) << c.text;
        EXPECT_EQ(frame->videohubReadOnly, c.readOnly) << c.text;
    }

    ServerConfig config;
    ASSERT_FALSE(applyServerSetting(config, "videohub-allow", "10.0.0.0/8, 192.168.1.7", "x"));
    ASSERT_EQ(config.videohubAllow.size(), 2U);
    struct Member {
        const char* address;
        bool in;
    };
    for (const Member& m : {Member{"10.200.3.4", true}, Member{"11.0.0.1", false},
                            Member{"192.168.1.7", true}, Member{"192.168.1.8", false},
                            Member{"127.0.0.1", false}})
        EXPECT_EQ(clientAllowed(config.videohubAllow, *parseIpv4(m.address)), m.in) << m.address;
    // Without networks, loopback only.
    EXPECT_TRUE(clientAllowed({}, *parseIpv4("127.3.0.1")));
    EXPECT_FALSE(clientAllowed({}, *parseIpv4("10.0.0.1")));
    EXPECT_TRUE(Ipv4Network({0, 0}).contains(0xFFFFFFFF));
    for (const char* bad : {"10.0.0.0/33", "10.0.0/8", "10.0.0.0/8,", "10.0.0.0/-1"})
        EXPECT_TRUE(applyServerSetting(config, "videohub-allow", bad, "x")) << bad;

    std::string why;
    config.frames = {*parseServedFrame("10.0.0.2=a videohub-port=9990", why),
                     *parseServedFrame("10.0.0.3=b videohub-port=9990", why)};
    const auto twice = checkServerConfig(config);
    ASSERT_TRUE(twice);
    EXPECT_EQ(twice->why, "the Videohub port 9990 is given to two frames");

    // Ember+: one port for all, its own networks, never a Videohub port.
    ServerConfig ember;
    ASSERT_FALSE(applyServerSetting(ember, "ember-port", "9000", "x"));
    ASSERT_FALSE(applyServerSetting(ember, "ember-allow", "192.168.0.0/16", "x"));
    EXPECT_EQ(ember.emberPort, 9000);
    ASSERT_EQ(ember.emberAllow.size(), 1U);
    EXPECT_TRUE(ember.videohubAllow.empty());
    for (const char* bad : {"0", "65536", "", "90x"})
        EXPECT_TRUE(applyServerSetting(ember, "ember-port", bad, "x")) << bad;
    ember.frames = {*parseServedFrame("10.0.0.2=a videohub-port=9000", why)};
    const auto clash = checkServerConfig(ember);
    ASSERT_TRUE(clash);
    EXPECT_EQ(clash->why, "the Ember+ port 9000 is also a frame's Videohub port");
}

TEST(ServerConfig, ReconnectDelayDoublesToThirtySecondsWithBoundedJitter) {
    const int expected[] = {1000, 2000, 4000, 8000, 16000, 30000, 30000};
    for (int attempt = 1; attempt <= 7; ++attempt) {
        const int base = expected[attempt - 1];
        EXPECT_EQ(reconnectDelayMs(attempt, 0.5), base) << attempt;
        EXPECT_EQ(reconnectDelayMs(attempt, 0.0), base * 4 / 5) << attempt;
        EXPECT_EQ(reconnectDelayMs(attempt, 1.0), base * 6 / 5) << attempt;
    }
}

TEST(Tokens, FileFormatModeAndLookup) {
    const char* good = "# name role token\n"
                       "desk operator 0123456789abcdef0123\n"
                       "wall  viewer\tfedcba9876543210fedc\n";
    TokenFileResult r = parseTokenFile(good, "tokens");
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.tokens.size(), 2U);
    EXPECT_EQ(r.tokens[1].role, Role::Viewer);

    const std::pair<const char*, const char*> bad[] = {
        {"desk admin 0123456789abcdef0123\n", "tokens:1: unknown role \"admin\""},
        {"desk operator short\n", "tokens:1: the token of \"desk\" is shorter than 16"},
        {"desk operator\n", "tokens:1: not \"NAME ROLE TOKEN\""},
        {"a viewer 0123456789abcdef0123\na operator 1123456789abcdef0123\n",
         "tokens:2: the name \"a\" is given twice"},
        {"a viewer 0123456789abcdef0123\nb operator 0123456789abcdef0123\n",
         "tokens:2: the token of \"b\" is another name's token too"},
        {"# nothing\n", "tokens: no tokens"},
    };
    for (const auto& [text, error] : bad) {
        const TokenFileResult t = parseTokenFile(text, "tokens");
        EXPECT_EQ(t.error.rfind(error, 0), 0U) << text << " -> " << t.error;
        EXPECT_TRUE(t.tokens.empty());
        EXPECT_EQ(t.error.find("0123456789abcdef"), std::string::npos) << "a secret in an error";
    }

    EXPECT_EQ(tokenFileModeProblem(0600, "t"), "");
    EXPECT_EQ(tokenFileModeProblem(0400, "t"), "");
    for (const unsigned mode : {0640U, 0604U, 0620U, 0666U})
        EXPECT_NE(tokenFileModeProblem(mode, "t"), "") << std::oct << mode;

    EXPECT_EQ(findToken(r.tokens, "fedcba9876543210fedc"), &r.tokens[1]);
    for (const char* wrong : {"", "fedcba9876543210fed", "fedcba9876543210fedcX",
                              "Fedcba9876543210fedc"})
        EXPECT_EQ(findToken(r.tokens, wrong), nullptr) << wrong;

    EXPECT_EQ(bearerToken("Bearer abc"), "abc");
    EXPECT_EQ(bearerToken("bearer   abc"), "abc");
    for (const char* other : {"Basic abc", "Bearer", "Bearer ", "Bearerabc"})
        EXPECT_FALSE(bearerToken(other)) << other;
}

} // namespace
} // namespace velmar
