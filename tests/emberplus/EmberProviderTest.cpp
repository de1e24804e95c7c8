#include "emberplus/EmberProvider.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace velmar;
using namespace velmar::ember;

namespace {

EmberFrame frame8(std::string id = "a") {
    EmberFrame f;
    f.id = std::move(id);
    f.name = "Studio 1";
    f.type = "460";
    f.serial = "46012345";
    f.firmware = "2.31";
    f.online = true;
    f.syncSource = "Word";
    f.syncLocked = true;
    f.sampleRate = "48 kHz";
    f.psus = {{1, 1}, {2, 0}};
    f.fans = {{1, -1}};
    f.crosspoints = 8;
    f.routes = {0, 3, 0, 1, 0, 0, 0, 0, 8};
    std::vector<std::string> inputs(9), outputs(9);
    inputs[3] = "Mic 3";
    outputs[1] = "Desk L";
    f.inputLabels = std::make_shared<const std::vector<std::string>>(std::move(inputs));
    f.outputLabels = std::make_shared<const std::vector<std::string>>(std::move(outputs));
    return f;
}

GlowElement command(GlowCommandType type) {
    GlowElement c;
    c.type = GlowElementType::Command;
    c.command = type;
    return c;
}

// A qualified element holding one command, as most consumers ask.
GlowElement ask(GlowPath path, GlowCommandType type = GlowCommandType::GetDirectory,
                GlowElementType kind = GlowElementType::Node) {
    GlowElement e;
    e.type = kind;
    e.path = std::move(path);
    e.children = std::vector<GlowElement>{command(type)};
    return e;
}

GlowElement connect(std::uint32_t frame, std::vector<GlowConnection> connections) {
    GlowElement m;
    m.type = GlowElementType::Matrix;
    m.path = GlowPath{frame, kCrosspoints};
    m.connections = std::move(connections);
    return m;
}

GlowConnection conn(int target, std::vector<std::int32_t> sources,
                    GlowConnectionOperation op = GlowConnectionOperation::Absolute) {
    GlowConnection c;
    c.target = target;
    c.sources = std::move(sources);
    c.operation = op;
    return c;
}

struct Fixture {
    CEmberProvider provider;
    std::vector<EmberSend> sends;
    explicit Fixture(EmberProviderLimits limits = {}) : provider(2, limits) {
        provider.frameChanged(0, frame8("a"), sends);
        EmberFrame b = frame8("b");
        b.online = false;
        provider.frameChanged(1, b, sends);
        sends.clear();
        provider.connect(1);
        provider.connect(2);
    }
    // Every element the client was sent since the last call, decoded.
    std::vector<GlowElement> got(EmberClient client) {
        std::vector<GlowElement> out;
        for (const EmberSend& s : sends) {
            if (s.client != client)
                continue;
            GlowDecoded d = decodeGlow(s.glow);
            EXPECT_TRUE(d.ok()) << d.error;
            out.insert(out.end(), d.elements.begin(), d.elements.end());
        }
        std::erase_if(sends, [client](const EmberSend& s) { return s.client == client; });
        return out;
    }
    std::vector<EmberRequest> handle(EmberClient client, std::vector<GlowElement> message) {
        return provider.handle(client, message, sends);
    }
};

std::vector<GlowConnection> connectionsOf(const std::vector<GlowElement>& elements) {
    std::vector<GlowConnection> out;
    for (const GlowElement& e : elements)
        if (e.type == GlowElementType::Matrix && e.connections)
            out.insert(out.end(), e.connections->begin(), e.connections->end());
    return out;
}

} // namespace

TEST(EmberProvider, DirectoriesDescribeTheTreeAtEveryLevel) {
    Fixture f({.maxElementsPerMessage = 3});
    // The root: a node per frame, online or not.
    f.handle(1, {command(GlowCommandType::GetDirectory)});
    const auto root = f.got(1);
    ASSERT_EQ(root.size(), 2u);
    EXPECT_EQ(root[0].number, 1);
    EXPECT_EQ(root[0].contents->identifier, "a");
    EXPECT_EQ(root[0].contents->description, "Studio 1");
    EXPECT_EQ(root[1].contents->isOnline, false);

    struct Case {
        GlowPath path;
        std::vector<std::string> identifiers; // of the children, in order
    };
    for (const Case& c : std::vector<Case>{
             {{1}, {"identity", "status", "crosspoints", "labels"}},
             {{1, kIdentity}, {"name", "type", "serial", "firmware", "online"}},
             {{1, kStatus}, {"syncSource", "sampleRate", "syncLock", "psu1", "psu2", "fan1"}},
             {{1, kLabels}, {"targets", "sources"}},
             {{1, kLabels, kSourceLabels}, {"s0", "s1", "s2", "s3", "s4", "s5", "s6", "s7"}},
         }) {
        f.handle(1, {ask(c.path)});
        EXPECT_EQ(f.sends.size(), 1u); // one message, however large
        const auto replies = f.got(1);
        std::vector<std::string> ids;
        for (const GlowElement& e : replies) { // each child qualified, side by side
            ASSERT_TRUE(e.path.has_value());
            EXPECT_EQ(GlowPath(e.path->begin(), e.path->end() - 1), c.path);
            ids.push_back(e.contents->identifier.value_or("?"));
        }
        EXPECT_EQ(ids, c.identifiers);
    }

    // Values, enumerations and access.
    f.handle(1, {ask({1, kStatus})});
    const auto status = f.got(1);
    const GlowContents& sync = *status[0].contents;
    EXPECT_EQ(sync.type, GlowParameterType::Enum);
    EXPECT_EQ(sync.access, GlowAccess::Read);
    const auto& entries = *sync.enumMap;
    const auto word = std::find_if(entries.begin(), entries.end(),
                                   [](const GlowEnumEntry& e) { return e.text == "Word"; });
    ASSERT_NE(word, entries.end());
    EXPECT_EQ(std::get<std::int64_t>(*sync.value), word->value);
    EXPECT_EQ(std::get<std::int64_t>(*status[4].contents->value), 2); // psu2 faulty
    EXPECT_EQ(std::get<std::int64_t>(*status[5].contents->value), 0); // fan1 not reported
    f.handle(1,
             {ask({1, kIdentity, 3}, GlowCommandType::GetDirectory, GlowElementType::Parameter)});
    const auto serial = f.got(1);
    ASSERT_EQ(serial.size(), 1u);
    EXPECT_EQ(std::get<std::string>(*serial[0].contents->value), "46012345");
    f.handle(1, {ask({1, kLabels, kTargetLabels})});
    const auto targets = f.got(1);
    EXPECT_EQ(std::get<std::string>(*targets[0].contents->value), "Desk L");
    EXPECT_EQ(targets[0].contents->access, GlowAccess::ReadWrite);

    // The matrix: its contents and every connection.
    f.handle(1, {ask({1, kCrosspoints}, GlowCommandType::GetDirectory, GlowElementType::Matrix)});
    const auto matrix = f.got(1);
    ASSERT_EQ(matrix.size(), 1u);
    const GlowContents& m = *matrix[0].contents;
    EXPECT_EQ(m.matrixType, GlowMatrixType::OneToN);
    EXPECT_EQ(m.addressingMode, GlowAddressingMode::Linear);
    EXPECT_EQ(m.targetCount, 8);
    EXPECT_EQ(m.sourceCount, 8);
    ASSERT_EQ(m.labels->size(), 1u);
    EXPECT_EQ((*m.labels)[0].basePath, (GlowPath{1, kLabels}));
    const auto all = connectionsOf(matrix);
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(all[0].sources, std::vector<std::int32_t>{2}); // output 1 from input 3
    EXPECT_EQ(all[1].sources, std::vector<std::int32_t>{});  // unrouted
    EXPECT_EQ(all[7].disposition, GlowConnectionDisposition::Tally);

    // The same asked with unqualified nodes gets the same answer; a path
    // that names nothing gets none.
    GlowElement status1;
    status1.type = GlowElementType::Node;
    status1.number = kStatus;
    status1.children = std::vector<GlowElement>{command(GlowCommandType::GetDirectory)};
    GlowElement frameA;
    frameA.number = 1;
    frameA.children = std::vector<GlowElement>{status1};
    f.handle(2, {frameA, ask({9}), ask({1, 7}), ask({1, kIdentity, 99})});
    EXPECT_EQ(f.got(2).size(), status.size());
}

TEST(EmberProvider, ConnectionsBecomeRequestsOrAnswersAsTheyStand) {
    struct Case {
        const char* what;
        std::uint32_t frame;
        GlowConnection asked;
        std::vector<EmberRoute> routes;   // handed to the frame
        std::vector<std::int32_t> answer; // sources the consumer hears now
        GlowConnectionDisposition disposition;
    };
    using Op = GlowConnectionOperation;
    const auto pending = GlowConnectionDisposition::Pending;
    const auto tally = GlowConnectionDisposition::Tally;
    for (const Case& c : std::vector<Case>{
             {"absolute", 1, conn(1, {4}), {{2, 5}}, {4}, pending},
             {"absolute none unroutes", 1, conn(0, {}), {{1, 0}}, {}, pending},
             {"connect", 1, conn(4, {7}, Op::Connect), {{5, 8}}, {7}, pending},
             {"disconnect its source", 1, conn(0, {2}, Op::Disconnect), {{1, 0}}, {}, pending},
             {"disconnect another source", 1, conn(0, {5}, Op::Disconnect), {}, {2}, tally},
             {"two sources on one-to-N", 1, conn(0, {1, 2}), {}, {2}, tally},
             {"a source out of range", 1, conn(0, {8}), {}, {2}, tally},
             {"a frame offline", 2, conn(0, {1}), {}, {2}, tally},
         }) {
        SCOPED_TRACE(c.what);
        Fixture f;
        const auto requests = f.handle(1, {connect(c.frame, {c.asked})});
        if (c.routes.empty()) {
            EXPECT_TRUE(requests.empty());
        } else {
            ASSERT_EQ(requests.size(), 1u);
            EXPECT_EQ(requests[0].frame, static_cast<int>(c.frame) - 1);
            ASSERT_EQ(requests[0].routes.size(), c.routes.size());
            EXPECT_EQ(requests[0].routes[0].output, c.routes[0].output);
            EXPECT_EQ(requests[0].routes[0].input, c.routes[0].input);
        }
        const auto heard = connectionsOf(f.got(1));
        ASSERT_EQ(heard.size(), 1u);
        EXPECT_EQ(heard[0].target, c.asked.target);
        EXPECT_EQ(heard[0].sources, c.answer);
        EXPECT_EQ(heard[0].disposition, c.disposition);
        EXPECT_TRUE(f.got(2).empty()); // nobody else hears of a request
    }

    // A target out of range is passed over; the last word on a target wins.
    Fixture f;
    const auto requests = f.handle(1, {connect(1, {conn(8, {1}), conn(2, {1}), conn(2, {6})})});
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_EQ(requests[0].routes.size(), 1u);
    EXPECT_EQ(requests[0].routes[0].input, 7);
}

TEST(EmberProvider, OnlyFollowersHearChangesAndTheAskerHearsTheOutcome) {
    Fixture f;
    f.provider.connect(3);
    // 1 follows the matrix and the status, 2 the target labels, 3 nothing.
    f.handle(1, {ask({1, kCrosspoints}, GlowCommandType::GetDirectory, GlowElementType::Matrix),
                 ask({1, kStatus})});
    f.handle(2, {ask({1, kLabels, kTargetLabels})});
    f.got(1);
    f.got(2);

    // A route the frame confirmed or announced: to the matrix's followers once.
    f.provider.routesReported(0, {{2, 6}, {1, 3}}, f.sends);
    auto heard = connectionsOf(f.got(1));
    ASSERT_EQ(heard.size(), 1u); // output 1 was already from input 3
    EXPECT_EQ(heard[0].target, 1);
    EXPECT_EQ(heard[0].sources, std::vector<std::int32_t>{5});
    EXPECT_TRUE(f.got(2).empty());
    EXPECT_TRUE(f.got(3).empty());

    // A refused request: the asker hears the target as it stands, with a tally.
    EmberRequest refused;
    refused.frame = 0;
    refused.routes = {{4, 1}};
    f.provider.settled(3, refused, f.sends);
    heard = connectionsOf(f.got(3));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].sources, std::vector<std::int32_t>{}); // output 4 still unrouted
    EXPECT_EQ(heard[0].disposition, GlowConnectionDisposition::Tally);

    // Labels and status values go to those who read them.
    f.provider.labelsReported(0, {{1, true, "Desk L2"}, {1, false, "Line 1"}}, f.sends);
    auto values = f.got(2);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].path, (GlowPath{1, kLabels, kTargetLabels, 0}));
    EXPECT_EQ(std::get<std::string>(*values[0].contents->value), "Desk L2");
    EmberFrame now = f.provider.frame(0);
    now.syncLocked = false;
    now.routes[3] = 0;
    auto relabelled = *now.outputLabels;
    relabelled[8] = "Spare";
    now.outputLabels = std::make_shared<const std::vector<std::string>>(std::move(relabelled));
    f.provider.frameChanged(0, now, f.sends);
    values = f.got(1);
    const auto lock = std::find_if(values.begin(), values.end(), [](const GlowElement& e) {
        return e.type == GlowElementType::Parameter;
    });
    ASSERT_NE(lock, values.end());
    EXPECT_EQ(lock->path, (GlowPath{1, kStatus, 3}));
    EXPECT_EQ(std::get<std::int64_t>(*lock->contents->value), 2); // unlocked
    heard = connectionsOf(values);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].target, 2);
    EXPECT_EQ(f.got(2).size(), 1u); // the label of output 8
    EXPECT_TRUE(f.got(3).empty());

    // Unsubscribing ends it; a departed client hears nothing more.
    f.handle(1, {ask({1, kCrosspoints}, GlowCommandType::Unsubscribe, GlowElementType::Matrix)});
    f.provider.disconnect(2);
    f.provider.routesReported(0, {{2, 1}}, f.sends);
    f.provider.labelsReported(0, {{1, true, "Desk L3"}}, f.sends);
    EXPECT_TRUE(f.sends.empty());

    // The large directories, read again after a change, tell the change.
    for (int round = 0; round < 2; ++round) {
        f.handle(3, {ask({1, kCrosspoints}, GlowCommandType::GetDirectory, GlowElementType::Matrix),
                     ask({1, kLabels, kTargetLabels})});
        const auto read = f.got(3);
        EXPECT_EQ(connectionsOf(read)[1].sources, std::vector<std::int32_t>{round == 0 ? 0 : 4});
        EXPECT_EQ(std::get<std::string>(*read[1].contents->value), round == 0 ? "Desk L3" : "Desk L4");
        f.provider.routesReported(0, {{2, 5}}, f.sends);
        f.provider.labelsReported(0, {{1, true, "Desk L4"}}, f.sends);
        f.sends.clear();
    }
}

TEST(EmberProvider, LabelWritesAreRequestsAndReadOnlyValuesAnswerAsTheyStand) {
    Fixture f;
    GlowElement label;
    label.type = GlowElementType::Parameter;
    label.path = GlowPath{1, kLabels, kSourceLabels, 2};
    label.contents.emplace().value = GlowValue{std::string("Mic 3 new")};
    GlowElement name = label;
    name.path = GlowPath{1, kIdentity, 1};
    const auto requests = f.handle(1, {label, name});
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_EQ(requests[0].labels.size(), 1u);
    EXPECT_EQ(requests[0].labels[0].channel, 3);
    EXPECT_FALSE(requests[0].labels[0].output);
    EXPECT_EQ(requests[0].labels[0].text, "Mic 3 new");
    const auto heard = f.got(1);
    ASSERT_EQ(heard.size(), 1u); // the name is read-only: as it stands
    EXPECT_EQ(std::get<std::string>(*heard[0].contents->value), "Studio 1");
}

TEST(EmberProvider, BoundsOnWorkPerMessageAndWatches) {
    Fixture f({.maxElementsPerMessage = 2, .maxCommandsPerMessage = 4, .maxWatchesPerClient = 3});
    std::vector<GlowElement> many(10, ask({1, kIdentity}));
    f.handle(1, many);
    EXPECT_EQ(f.got(1).size(), 4u * 5u); // four directories of five parameters
    f.handle(1, {ask({1}), ask({1, kStatus}), ask({1, kLabels}), ask({2})});
    EXPECT_EQ(f.provider.watches(1), 3u);
    // Updates of many elements go out a bounded number per message.
    f.got(1);
    f.handle(2, {ask({1, kLabels, kTargetLabels})});
    f.got(2);
    f.provider.labelsReported(
        0, {{1, true, "1"}, {2, true, "2"}, {3, true, "3"}, {4, true, "4"}, {5, true, "5"}},
        f.sends);
    EXPECT_EQ(f.sends.size(), 3u);
    EXPECT_EQ(f.got(2).size(), 5u);
    // Texts from a frame that are not UTF-8 go out as U+FFFD.
    EmberFrame odd = f.provider.frame(0);
    odd.name = "Bad \xC3 name";
    f.provider.frameChanged(0, odd, f.sends);
    f.got(1);
    f.handle(2,
             {ask({1, kIdentity, 1}, GlowCommandType::GetDirectory, GlowElementType::Parameter)});
    const auto heard = f.got(2);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(std::get<std::string>(*heard[0].contents->value), "Bad \xEF\xBF\xBD name");
}
