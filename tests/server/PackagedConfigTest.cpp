// The configuration file the package installs: it sets nothing, and each
// setting it shows commented out is one the server takes, at its default
// where the server has one.

#include "server/ServerConfig.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>

namespace velmar {
namespace {

TEST(PackagedConfig, ShowsEveryKeyCommentedOutWithAValueTheServerTakes) {
    std::ifstream in(VELMAR_SOURCE_DIR "/packaging/server.conf");
    ASSERT_TRUE(in) << "packaging/server.conf";
    std::stringstream text;
    text << in.rdbuf();

    ServerConfig asShipped;
    ASSERT_FALSE(applyConfigText(asShipped, text.str(), "server.conf"));
    const ServerConfig defaults;
    EXPECT_EQ(asShipped.listenAddress, defaults.listenAddress);
    EXPECT_EQ(asShipped.listenPort, defaults.listenPort);
    EXPECT_TRUE(asShipped.frames.empty());
    EXPECT_TRUE(asShipped.tokenFile.empty());

    // Uncommented one by one, and then all together.
    const std::regex shown(R"(^# ([a-z-]+) = (\S+).*)");
    std::set<std::string> keys;
    ServerConfig all;
    std::istringstream lines(text.str());
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, shown))
            continue;
        keys.insert(m[1]);
        ServerConfig one;
        const auto error = applyServerSetting(one, m[1].str(), m[2].str(), line);
        EXPECT_FALSE(error) << error->text();
        if (m[1] == "listen" || m[1] == "change-timeout") {
            EXPECT_EQ(one.listenAddress, defaults.listenAddress) << line;
            EXPECT_EQ(one.listenPort, defaults.listenPort) << line;
            EXPECT_EQ(one.changeTimeoutMs, defaults.changeTimeoutMs) << line;
        }
        EXPECT_FALSE(applyServerSetting(all, m[1].str(), m[2].str(), line));
    }
    EXPECT_FALSE(checkServerConfig(all));
    EXPECT_EQ(keys, (std::set<std::string>{"listen", "frame", "token-file", "tls-certificate",
                                           "tls-key", "state-directory", "change-timeout",
                                           "videohub-allow", "ember-port", "ember-allow"}));
}

} // namespace
} // namespace velmar
