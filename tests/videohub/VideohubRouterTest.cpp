#include "videohub/VideohubRouter.h"

#include "protocol/ChannelNames.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

// A four-channel frame: output 1 from input 2, output 2 unrouted, output 3
// from input 4, output 4 from input 1; input 1 and output 4 labelled.
VideohubFrame smallFrame() {
    VideohubFrame f;
    f.id = "a";
    f.name = "Studio A";
    f.type = "460";
    f.serial = "46-0123";
    f.read = true;
    f.crosspoints = 4;
    f.routes = {0, 2, 0, 4, 1};
    f.inputLabels = {"", "CAM 1", "", "", ""};
    f.outputLabels = {"", "", "", "", "PA L"};
    return f;
}

VideohubBlock block(std::string header, std::vector<std::string> lines = {}) {
    return {std::move(header), std::move(lines)};
}

// Text with "@N" standing for channel N's name.
std::string named(std::string_view text) {
    std::string s;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '@') {
            s += channelDisplayName(text[++i] - '0');
        } else {
            s += text[i];
        }
    }
    return s;
}

// All the text a client was sent, in order.
std::string to(VideohubClient client, const std::vector<VideohubSend>& sends) {
    std::string s;
    for (const VideohubSend& send : sends)
        if (send.client == client)
            s += send.text;
    return s;
}

TEST(VideohubRouter, PreludeOfAKnownFrame) {
    CVideohubRouter router(false);
    std::vector<VideohubSend> sends;
    router.frameChanged(smallFrame(), sends);
    EXPECT_TRUE(sends.empty()) << "nobody to tell yet";
    EXPECT_EQ(router.connect(1), named("PROTOCOL PREAMBLE:\nVersion: 2.8\n\n"
                                       "VIDEOHUB DEVICE:\nDevice present: true\n"
                                       "Model name: Velmar 460\nFriendly name: Studio A\n"
                                       "Unique ID: 460123\nVideo inputs: 5\n"
                                       "Video processing units: 0\nVideo outputs: 4\n"
                                       "Video monitoring outputs: 0\nSerial ports: 0\n\n"
                                       "INPUT LABELS:\n0 CAM 1\n1 @2\n2 @3\n3 @4\n"
                                       "4 Unrouted\n\n"
                                       "OUTPUT LABELS:\n0 @1\n1 @2\n2 @3\n3 PA L\n\n"
                                       "VIDEO OUTPUT LOCKS:\n0 U\n1 U\n2 U\n3 U\n\n"
                                       "VIDEO OUTPUT ROUTING:\n0 1\n1 4\n2 3\n3 0\n\n"
                                       "END PRELUDE:\n\n"));
}

// A frame not yet seen has no device; once seen it is sent whole, and its
// routing once it has been read.
TEST(VideohubRouter, AFrameSeenLaterIsSentWhenKnown) {
    CVideohubRouter router(false);
    EXPECT_EQ(router.connect(1), "PROTOCOL PREAMBLE:\nVersion: 2.8\n\n"
                                 "VIDEOHUB DEVICE:\nDevice present: false\n\nEND PRELUDE:\n\n");
    std::vector<VideohubSend> sends;
    router.handle(1, block("VIDEO OUTPUT ROUTING:", {"0 1"}), sends);
    EXPECT_EQ(to(1, sends), "NAK\n\n") << "no outputs to route yet";

    VideohubFrame f = smallFrame();
    f.name.clear();
    f.read = false;
    sends.clear();
    router.frameChanged(f, sends);
    const std::string known = to(1, sends);
    EXPECT_EQ(known.rfind("VIDEOHUB DEVICE:\nDevice present: true\n", 0), 0u) << known;
    EXPECT_NE(known.find("Friendly name: a\n"), std::string::npos) << "the ID when unnamed";
    EXPECT_NE(known.find("VIDEO OUTPUT LOCKS:\n"), std::string::npos);
    EXPECT_EQ(known.find("VIDEO OUTPUT ROUTING:"), std::string::npos) << "routes not read yet";

    f.read = true;
    sends.clear();
    router.frameChanged(f, sends);
    EXPECT_EQ(to(1, sends), "VIDEO OUTPUT ROUTING:\n0 1\n1 4\n2 3\n3 0\n\n");
}

TEST(VideohubRouter, AnswersEachBlock) {
    struct Case {
        const char* what;
        VideohubBlock in;
        std::string answer;
        std::vector<std::pair<int, int>> routes; // asked of the frame
        std::size_t labels = 0;
    };
    const Case cases[] = {
        {"ping", block("PING:"), "ACK\n\n", {}},
        {"a route and an unroute",
         block("VIDEO OUTPUT ROUTING:", {"0 2", "3 4"}),
         "ACK\n\n",
         {{1, 3}, {4, 0}}},
        {"a routing dump",
         block("VIDEO OUTPUT ROUTING:"),
         "ACK\n\nVIDEO OUTPUT ROUTING:\n0 1\n1 4\n2 3\n3 0\n\n",
         {}},
        {"an output label dump",
         block("OUTPUT LABELS:"),
         named("ACK\n\nOUTPUT LABELS:\n0 @1\n1 @2\n2 @3\n3 PA L\n\n"),
         {}},
        {"the device", block("VIDEOHUB DEVICE:"), "ACK\n\nVIDEOHUB DEVICE:\n", {}},
        {"labels with spaces", block("INPUT LABELS:", {"1 Camera two", "2 "}), "ACK\n\n", {}, 2},
        {"an unknown block", block("VIDEO MONITORING OUTPUT ROUTING:", {"0 1"}), "", {}},
        {"a header without its colon", block("PING"), "NAK\n\n", {}},
        {"an output past the last", block("VIDEO OUTPUT ROUTING:", {"4 1"}), "NAK\n\n", {}},
        {"an input past Unrouted", block("VIDEO OUTPUT ROUTING:", {"0 5"}), "NAK\n\n", {}},
        {"a word for an input", block("VIDEO OUTPUT ROUTING:", {"0 two"}), "NAK\n\n", {}},
        {"one bad line of two", block("VIDEO OUTPUT ROUTING:", {"0 1", "1"}), "NAK\n\n", {}},
        {"a negative port", block("VIDEO OUTPUT ROUTING:", {"-1 1"}), "NAK\n\n", {}},
        {"trailing text", block("VIDEO OUTPUT ROUTING:", {"0 1 x"}), "NAK\n\n", {}},
        {"a lock word", block("VIDEO OUTPUT LOCKS:", {"0 X"}), "NAK\n\n", {}},
        {"a label past the last", block("OUTPUT LABELS:", {"4 x"}), "NAK\n\n", {}},
        {"the Unrouted input's label", block("INPUT LABELS:", {"4 x"}), "NAK\n\n", {}},
    };
    for (const Case& c : cases) {
        CVideohubRouter router(false);
        std::vector<VideohubSend> sends;
        router.frameChanged(smallFrame(), sends);
        router.connect(1);
        const VideohubRequest r = router.handle(1, c.in, sends);
        const std::string got = to(1, sends);
        EXPECT_EQ(got.substr(0, c.answer.size()), c.answer) << c.what;
        if (c.answer.size() <= 5) { // a bare ACK or NAK: nothing after it
            EXPECT_EQ(got, c.answer) << c.what;
        }
        std::vector<std::pair<int, int>> routes;
        for (const VideohubRoute& route : r.routes)
            routes.emplace_back(route.output, route.input);
        EXPECT_EQ(routes, c.routes) << c.what;
        EXPECT_EQ(r.labels.size(), c.labels) << c.what;
    }
}

TEST(VideohubRouter, LabelsAskedKeepTheirText) {
    CVideohubRouter router(false);
    std::vector<VideohubSend> sends;
    router.frameChanged(smallFrame(), sends);
    router.connect(1);
    const auto r = router.handle(1, block("OUTPUT LABELS:", {"2 Desk  mix", "0 "}), sends);
    ASSERT_EQ(r.labels.size(), 2u);
    EXPECT_EQ(r.labels[0].channel, 3);
    EXPECT_TRUE(r.labels[0].output);
    EXPECT_EQ(r.labels[0].text, "Desk  mix");
    EXPECT_EQ(r.labels[1].text, "");
}

TEST(VideohubRouter, ReadOnlyRefusesEveryChange) {
    CVideohubRouter router(true);
    std::vector<VideohubSend> sends;
    router.frameChanged(smallFrame(), sends);
    router.connect(1);
    for (const VideohubBlock& b :
         {block("VIDEO OUTPUT ROUTING:", {"0 1"}), block("VIDEO OUTPUT LOCKS:", {"0 O"}),
          block("INPUT LABELS:", {"0 x"}), block("OUTPUT LABELS:", {"0 x"})}) {
        sends.clear();
        const auto r = router.handle(1, b, sends);
        EXPECT_EQ(to(1, sends), "NAK\n\n") << b.header;
        EXPECT_TRUE(r.routes.empty() && r.labels.empty()) << b.header;
    }
    EXPECT_EQ(router.lockOwner(0), 0u);
    sends.clear();
    router.handle(1, block("PING:"), sends);
    router.handle(1, block("VIDEO OUTPUT LOCKS:"), sends);
    EXPECT_EQ(to(1, sends), "ACK\n\nACK\n\nVIDEO OUTPUT LOCKS:\n0 U\n1 U\n2 U\n3 U\n\n");
}

// Two clients: each sees its own lock as O and the other's as L; a locked
// output refuses the other's routes; U frees only one's own lock, F any; a
// client that leaves lets its locks go.
TEST(VideohubRouter, LocksBelongToTheirClient) {
    CVideohubRouter router(false);
    std::vector<VideohubSend> sends;
    router.frameChanged(smallFrame(), sends);
    router.connect(1);
    router.connect(2);
    struct Step {
        VideohubClient who;
        VideohubBlock in;
        std::string toOne;
        std::string toTwo;
        std::size_t routes;
    };
    const Step steps[] = {
        {1, block("VIDEO OUTPUT LOCKS:", {"1 O", "2 O"}),
         "ACK\n\nVIDEO OUTPUT LOCKS:\n1 O\n2 O\n\n", "VIDEO OUTPUT LOCKS:\n1 L\n2 L\n\n", 0},
        {2, block("VIDEO OUTPUT LOCKS:", {"1 O"}), "", "ACK\n\n", 0},
        {2, block("VIDEO OUTPUT ROUTING:", {"1 0", "3 0"}), "", "ACK\n\n", 1},
        {1, block("VIDEO OUTPUT ROUTING:", {"1 0"}), "ACK\n\n", "", 1},
        {2, block("VIDEO OUTPUT LOCKS:", {"1 U"}), "", "ACK\n\n", 0},
        {2, block("VIDEO OUTPUT LOCKS:", {"1 F"}), "VIDEO OUTPUT LOCKS:\n1 U\n\n",
         "ACK\n\nVIDEO OUTPUT LOCKS:\n1 U\n\n", 0},
    };
    for (const Step& s : steps) {
        sends.clear();
        const auto r = router.handle(s.who, s.in, sends);
        EXPECT_EQ(to(1, sends), s.toOne) << s.who << " " << s.in.lines[0];
        EXPECT_EQ(to(2, sends), s.toTwo) << s.who << " " << s.in.lines[0];
        EXPECT_EQ(r.routes.size(), s.routes) << s.who << " " << s.in.lines[0];
    }
    EXPECT_EQ(router.lockOwner(2), 1u);
    sends.clear();
    router.disconnect(1, sends);
    EXPECT_EQ(to(2, sends), "VIDEO OUTPUT LOCKS:\n2 U\n\n");
    EXPECT_EQ(router.lockOwner(2), 0u);
}

// Only what the frame reports reaches the clients, once: a route reported
// twice (its confirmation and the frame's announcement) is sent once, and a
// label reported blank shows the channel's name again.
TEST(VideohubRouter, ReportsOnlyWhatChanged) {
    CVideohubRouter router(false);
    std::vector<VideohubSend> sends;
    router.frameChanged(smallFrame(), sends);
    router.connect(1);
    router.connect(2);
    router.routesReported({{1, 3}, {2, 0}, {9, 1}}, sends);
    EXPECT_EQ(to(2, sends), "VIDEO OUTPUT ROUTING:\n0 2\n\n");
    sends.clear();
    router.routesReported({{1, 3}}, sends);
    VideohubFrame f = smallFrame();
    f.routes[1] = 3;
    router.frameChanged(f, sends);
    EXPECT_TRUE(sends.empty());
    f.routes[4] = 0;
    f.inputLabels[1] = "";
    router.frameChanged(f, sends);
    EXPECT_EQ(to(1, sends), named("INPUT LABELS:\n0 @1\n\nVIDEO OUTPUT ROUTING:\n3 4\n\n"));
    sends.clear();
    router.labelsReported({{2, true, "MON"}, {2, true, "MON"}, {5, false, "x"}}, sends);
    EXPECT_EQ(to(2, sends), "OUTPUT LABELS:\n1 MON\n\n");
    f.name = "Studio B";
    sends.clear();
    router.frameChanged(f, sends);
    EXPECT_NE(to(1, sends).find("Friendly name: Studio B\n"), std::string::npos);
}

} // namespace
} // namespace velmar
