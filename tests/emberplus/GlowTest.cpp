#include "emberplus/Glow.h"

#include "emberplus/Ber.h"
#include "emberplus/S101.h"

#include "HexBytes.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using test::unhex;

GlowElement command(GlowCommandType type, std::optional<std::uint32_t> mask = std::nullopt) {
    GlowElement c;
    c.type = GlowElementType::Command;
    c.command = type;
    c.dirFieldMask = mask;
    return c;
}

GlowElement element(GlowElementType type, std::int32_t number,
                    std::vector<GlowElement> children = {}) {
    GlowElement e;
    e.type = type;
    e.number = number;
    if (!children.empty())
        e.children = std::move(children);
    return e;
}

GlowElement qualified(GlowElementType type, GlowPath path, std::vector<GlowElement> children = {}) {
    GlowElement e = element(type, 0, std::move(children));
    e.path = std::move(path);
    return e;
}

// The same BER with every constructed value in the indefinite form, as
// libember-based providers and consumers write it.
std::string toIndefinite(std::string_view bytes) {
    std::string out;
    ber::CBerReader r(bytes);
    ber::Tlv v;
    while (r.next(v)) {
        ber::CBerWriter w;
        if (!v.constructed) {
            w.octets(v.content, v.tag); // same tag, same contents
            out += w.bytes();
            continue;
        }
        w.begin(v.tag);
        std::string head = w.take();
        head.back() = '\x80';
        out += head;
        out += toIndefinite(v.content);
        out += std::string(2, '\0');
    }
    return out;
}

// Requests exactly as node-emberplus encodes them (bytes from its encoder):
// each decodes to what was asked, and our encoder writes the same bytes back.
TEST(Glow, ReadsAndWritesWhatNodeEmberplusSends) {
    const struct {
        const char* bytes;
        std::vector<GlowElement> expected;
    } cases[] = {
        {"60106b0ea00c620aa003020120a1030201ff",
         {command(GlowCommandType::GetDirectory, 0xFFFFFFFFu)}},
        {"601e6b1ca01a6a18a0040d020102a210640ea00c620aa003020120a1030201ff",
         {qualified(GlowElementType::Node, {1, 2},
                    {command(GlowCommandType::GetDirectory, 0xFFFFFFFFu)})}},
        {"60326b30a02e632ca003020101a2256423a021631fa003020100a2186416a0146112a003020103a20b64"
         "09a0076205a00302011e",
         {element(GlowElementType::Node, 1,
                  {element(GlowElementType::Node, 0,
                           {element(GlowElementType::Parameter, 3,
                                    {command(GlowCommandType::Subscribe)})})})}},
    };
    for (const auto& c : cases) {
        const std::string bytes = unhex(c.bytes);
        const GlowDecoded d = decodeGlow(bytes);
        ASSERT_TRUE(d.ok()) << d.error;
        EXPECT_EQ(encodeGlow(d.elements), bytes);
        EXPECT_EQ(encodeGlow(c.expected), bytes);
    }

    // A value set on a qualified parameter, and a take on a qualified matrix.
    const GlowDecoded set =
        decodeGlow(unhex("601b6b19a0176915a0050d03010003a10c310aa2030201fbad03020101"));
    ASSERT_TRUE(set.ok()) << set.error;
    ASSERT_EQ(set.elements.size(), 1u);
    const GlowElement& p = set.elements[0];
    EXPECT_EQ(p.type, GlowElementType::Parameter);
    EXPECT_EQ(p.path, (GlowPath{1, 0, 3}));
    ASSERT_TRUE(p.contents && p.contents->value);
    EXPECT_EQ(std::get<std::int64_t>(*p.contents->value), -5);
    EXPECT_EQ(p.contents->type, GlowParameterType::Integer);

    const GlowDecoded take = decodeGlow(
        unhex("60236b21a01f711da0040d020102a5153013a011700fa003020107a1030d0103a203020100"));
    ASSERT_TRUE(take.ok()) << take.error;
    const GlowElement& m = take.elements.at(0);
    EXPECT_EQ(m.type, GlowElementType::Matrix);
    EXPECT_EQ(m.path, (GlowPath{1, 2}));
    ASSERT_TRUE(m.connections);
    ASSERT_EQ(m.connections->size(), 1u);
    EXPECT_EQ(m.connections->at(0).target, 7);
    EXPECT_EQ(m.connections->at(0).sources, (std::vector<std::int32_t>{3}));
    EXPECT_EQ(m.connections->at(0).operation, GlowConnectionOperation::Absolute);
    EXPECT_FALSE(m.connections->at(0).disposition);
}

std::vector<GlowElement> everyKind() {
    GlowElement node = element(GlowElementType::Node, 1);
    node.contents = GlowContents{};
    node.contents->identifier = "frame-1";
    node.contents->description = "Velmar \xc3\xa9 frame";
    node.contents->isRoot = true;
    node.contents->isOnline = false;

    std::vector<GlowElement> params;
    const GlowValue values[] = {std::int64_t{-1234567890123}, 48000.5, std::string("word"), true,
                                std::monostate{}};
    std::int32_t n = 0;
    for (const GlowValue& v : values) {
        GlowElement p = element(GlowElementType::Parameter, n++);
        p.contents = GlowContents{};
        p.contents->identifier = "p";
        p.contents->value = v;
        params.push_back(p);
    }
    GlowElement e = element(GlowElementType::Parameter, 9);
    e.contents = GlowContents{};
    e.contents->value = std::int64_t{2};
    e.contents->minimum = std::int64_t{0};
    e.contents->maximum = 3.5;
    e.contents->access = GlowAccess::ReadWrite;
    e.contents->format = "%d Hz";
    e.contents->type = GlowParameterType::Enum;
    e.contents->isOnline = true;
    e.contents->enumMap = std::vector<GlowEnumEntry>{{"internal", 0}, {"word clock", 1}, {"", -7}};
    params.push_back(e);
    node.children = params;

    GlowElement matrix = element(GlowElementType::Matrix, 2);
    matrix.contents = GlowContents{};
    matrix.contents->identifier = "crosspoints";
    matrix.contents->matrixType = GlowMatrixType::OneToN;
    matrix.contents->addressingMode = GlowAddressingMode::Linear;
    matrix.contents->targetCount = 1536;
    matrix.contents->sourceCount = 1537;
    matrix.contents->maximumTotalConnects = 1536;
    matrix.contents->maximumConnectsPerTarget = 1;
    matrix.contents->labels = std::vector<GlowLabel>{{{1, 3}, "Primary"}, {{1, 4, 200}, "Other"}};
    matrix.targets = std::vector<std::int32_t>{0, 1, 1535};
    matrix.sources = std::vector<std::int32_t>{0, 200};
    matrix.connections = std::vector<GlowConnection>{
        {0, std::vector<std::int32_t>{5}, GlowConnectionOperation::Absolute,
         GlowConnectionDisposition::Tally},
        {1, std::vector<std::int32_t>{}, std::nullopt, GlowConnectionDisposition::Pending},
        {1535, std::nullopt, GlowConnectionOperation::Disconnect, std::nullopt}};
    node.children->push_back(matrix);
    node.children->push_back(element(GlowElementType::Node, 7, {}));
    node.children->back().children = std::vector<GlowElement>{}; // "no children"

    GlowElement qm = qualified(GlowElementType::Matrix, {1, 2});
    qm.connections = std::vector<GlowConnection>{
        {3, std::vector<std::int32_t>{1, 2, 300000}, std::nullopt, std::nullopt}};
    GlowElement qp = qualified(GlowElementType::Parameter, {4294967295u, 0});
    qp.contents = GlowContents{};
    qp.contents->value = -0.001;
    return {node, qm, qp,
            qualified(GlowElementType::Node, {1}, {command(GlowCommandType::Unsubscribe)}),
            command(GlowCommandType::GetDirectory)};
}

TEST(Glow, EveryElementKindSurvivesARoundTripInEitherLengthForm) {
    const std::vector<GlowElement> tree = everyKind();
    const std::string bytes = encodeGlow(tree);
    for (const std::string& form : {bytes, toIndefinite(bytes)}) {
        const GlowDecoded d = decodeGlow(form);
        ASSERT_TRUE(d.ok()) << d.error;
        EXPECT_EQ(encodeGlow(d.elements), bytes);
        ASSERT_EQ(d.elements.size(), tree.size());
        const GlowElement& node = d.elements[0];
        EXPECT_EQ(node.contents->description, "Velmar \xc3\xa9 frame");
        EXPECT_EQ(node.contents->isOnline, false);
        const GlowElement& e = node.children->at(5);
        EXPECT_EQ(e.contents->access, GlowAccess::ReadWrite);
        ASSERT_EQ(e.contents->enumMap->size(), 3u);
        EXPECT_EQ(e.contents->enumMap->at(1).text, "word clock");
        EXPECT_EQ(e.contents->enumMap->at(2).value, -7);
        EXPECT_EQ(std::get<double>(*e.contents->maximum), 3.5);
        EXPECT_TRUE(std::holds_alternative<std::monostate>(*node.children->at(4).contents->value));
        const GlowElement& m = node.children->at(6);
        EXPECT_EQ(m.contents->labels->at(1).basePath, (GlowPath{1, 4, 200}));
        EXPECT_EQ(m.targets, (std::vector<std::int32_t>{0, 1, 1535}));
        EXPECT_EQ(m.connections->at(1).sources, std::vector<std::int32_t>{});
        EXPECT_FALSE(m.connections->at(2).sources);
        EXPECT_EQ(m.connections->at(1).disposition, GlowConnectionDisposition::Pending);
        EXPECT_TRUE(node.children->at(7).children && node.children->at(7).children->empty());
        EXPECT_EQ(d.elements[2].path, (GlowPath{4294967295u, 0}));
        EXPECT_EQ(std::get<double>(*d.elements[2].contents->value), -0.001);
        EXPECT_EQ(d.elements[4].type, GlowElementType::Command);
        EXPECT_FALSE(d.elements[4].dirFieldMask);
    }
}

// A full 1536 x 1536 one-to-N crosspoint's connections fit one message that
// S101 cuts into packets and puts back together unchanged.
TEST(Glow, AFullCrosspointTravelsWhole) {
    GlowElement m = qualified(GlowElementType::Matrix, {1, 2});
    m.connections = std::vector<GlowConnection>{};
    for (std::int32_t t = 0; t < 1536; ++t)
        m.connections->push_back({t, std::vector<std::int32_t>{1535 - t}, std::nullopt,
                                  GlowConnectionDisposition::Tally});
    const std::string glow = encodeGlow({m});
    CS101Decoder framing;
    std::vector<S101Message> out;
    ASSERT_TRUE(framing.feed(s101EncodeEmber(glow), out)) << framing.error();
    ASSERT_EQ(out.size(), 1u);
    const GlowDecoded d = decodeGlow(out[0].payload);
    ASSERT_TRUE(d.ok()) << d.error;
    ASSERT_EQ(d.elements.at(0).connections->size(), 1536u);
    EXPECT_EQ(d.elements[0].connections->at(1000).sources, (std::vector<std::int32_t>{535}));
}

// Functions, templates, stream collections, invocation results and fields of
// later versions are not ours: they are passed over and the rest is read.
TEST(Glow, UnknownElementsAndFieldsAreSkipped) {
    std::string bytes;
    {
        ber::CBerWriter m;
        m.begin(ber::application(0));
        m.begin(ber::application(11));
        m.begin(ber::context(0));
        m.begin(ber::application(20)); // QualifiedFunction
        m.begin(ber::context(0));
        m.relativeOid({1, 9});
        m.end();
        m.end();
        m.end();
        m.begin(ber::context(0));
        m.begin(ber::application(3)); // Node 4 with a template reference and a Function child
        m.begin(ber::context(0));
        m.integer(4);
        m.end();
        m.begin(ber::context(1));
        m.begin(ber::universal(ber::kSet));
        m.begin(ber::context(5));
        m.relativeOid({7});
        m.end();
        m.begin(ber::context(0));
        m.utf8("kept");
        m.end();
        m.end();
        m.end();
        m.begin(ber::context(2));
        m.begin(ber::application(4));
        m.begin(ber::context(0));
        m.begin(ber::application(19));
        m.begin(ber::context(0));
        m.integer(1);
        m.end();
        m.end();
        m.end();
        m.end();
        m.end();
        m.begin(ber::context(9)); // a field no version has yet
        m.null();
        m.end();
        m.end();
        m.end();
        m.end();
        m.begin(ber::application(6)); // a stream collection beside the elements
        m.end();
        bytes = m.take();
    }
    const GlowDecoded d = decodeGlow(bytes);
    ASSERT_TRUE(d.ok()) << d.error;
    ASSERT_EQ(d.elements.size(), 1u);
    EXPECT_EQ(d.elements[0].number, 4);
    EXPECT_EQ(d.elements[0].contents->identifier, "kept");
    ASSERT_TRUE(d.elements[0].children);
    EXPECT_TRUE(d.elements[0].children->empty());

    // An empty root (what node-emberplus sends for an empty tree) holds nothing.
    const GlowDecoded empty = decodeGlow(unhex("6000"));
    EXPECT_TRUE(empty.ok()) << empty.error;
    EXPECT_TRUE(empty.elements.empty());
}

TEST(Glow, MalformedMessagesGiveAReasonNeverACrash) {
    const std::string good = encodeGlow(everyKind());
    // Every cut of a good message is refused, and nothing it read is lost to a crash.
    for (std::size_t n = 0; n < good.size(); ++n) {
        const GlowDecoded d = decodeGlow(std::string_view(good).substr(0, n));
        EXPECT_FALSE(d.ok()) << n;
    }

    GlowElement deep = command(GlowCommandType::GetDirectory);
    for (int i = 0; i < 40; ++i)
        deep = element(GlowElementType::Node, i, {deep});
    std::vector<GlowElement> many;
    for (int i = 0; i < 50; ++i)
        many.push_back(element(GlowElementType::Node, i));
    GlowElement longName = element(GlowElementType::Node, 1);
    longName.contents = GlowContents{};
    longName.contents->identifier = std::string(100, 'n');
    GlowLimits small;
    small.maxElements = 20;
    small.maxStringBytes = 50;
    const struct {
        std::string bytes;
        GlowLimits limits;
        const char* fault;
    } cases[] = {
        {encodeGlow({deep}), {}, "too deeply"},
        {encodeGlow(many), small, "more than 20 elements"},
        {encodeGlow({longName}), small, "too long"},
        {{}, {}, "empty"},
        {unhex("3000"), {}, "not a Glow root"},
        {unhex("60086b06a0046302a000"), {}, "empty field"},                // number missing
        {unhex("600b6b09a0076305a0030c0141"), {}, "not an integer"},       // number a string
        {unhex("600f6b0da00b6309a00702050100000000"), {}, "out of range"}, // number > 32 bits
        {unhex("600a6b08a0066a04a1023100"), {}, "without its path"},       // no path
        {unhex("600e6b0ca00a6108a003020101a101"), {}, "past the end"},     // bad length
        {unhex("600c6b0aa0086906a0040d020183"), {}, "RELATIVE-OID"},       // path cut short
        {unhex("60806b80a0806380a0800201010000000000000000"), {}, "never closed"}, // EOC missing
    };
    for (const auto& c : cases) {
        const GlowDecoded d = decodeGlow(c.bytes, c.limits);
        EXPECT_FALSE(d.ok());
        EXPECT_NE(d.error.find(c.fault), std::string::npos) << d.error;
    }
}

} // namespace
} // namespace velmar
