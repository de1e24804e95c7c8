#include "CodecTestSupport.h"
#include "protocol/ArgumentLayout.h"
#include "protocol/CommandTable.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmar {
namespace {

using Column = CResponseDecoder::Column;

// Representative values for every argument of a layout, different per position
// so that a swapped or shifted argument shows.
void fill(DeviceMessage& m, const ArgLayout& layout) {
    int k = 0;
    for (const ArgSpec& a : layout.all()) {
        ++k;
        switch (a.kind) {
        case ValueKind::Int: m.setI(a.slot(), (k % 2 ? -1 : 1) * (1234 * k + 7)); break;
        case ValueKind::Unsigned:
            m.setU(a.slot(), 4000000000U + static_cast<std::uint32_t>(k));
            break;
        case ValueKind::Decimal:
            m.setDecimal(a.slot(), {k % 2 == 1, static_cast<std::int16_t>(k * 11),
                                    static_cast<std::int16_t>(k * 7 % 100)});
            break;
        case ValueKind::Text:
        case ValueKind::Raw: {
            const std::string text =
                "T" + std::to_string(k) + " abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOP";
            m.setText(TextField{a.offset, a.capacity}, text);
            break;
        }
        }
    }
}

void expectSameValues(const DeviceMessage& sent, const DeviceMessage& got, const ArgLayout& layout,
                      const std::string& where) {
    for (const ArgSpec& a : layout.all()) {
        switch (a.kind) {
        case ValueKind::Int:
        case ValueKind::Unsigned:
            EXPECT_EQ(got.u(a.slot()), sent.u(a.slot())) << where << " p" << a.slot();
            break;
        case ValueKind::Decimal:
            EXPECT_EQ(got.decimal(a.slot()), sent.decimal(a.slot())) << where << " p" << a.slot();
            break;
        case ValueKind::Text:
        case ValueKind::Raw:
            EXPECT_EQ(got.text(TextField{a.offset, a.capacity}),
                      sent.text(TextField{a.offset, a.capacity}))
                << where << " @" << a.offset;
            break;
        }
    }
}

bool sameLayout(const ArgLayout& a, const ArgLayout& b) {
    if (a.count != b.count)
        return false;
    for (int k = 0; k < a.count; ++k) {
        const ArgSpec& x = a.args[static_cast<std::size_t>(k)];
        const ArgSpec& y = b.args[static_cast<std::size_t>(k)];
        if (x.kind != y.kind || x.offset != y.offset || x.capacity != y.capacity)
            return false;
    }
    return true;
}

// Every request the encoder writes is read back to the same values by the
// request column; where a reply is "as the request", a reply-flagged message
// also decodes back by the reply column. Both with and without a tag.
TEST(RoundTrip, EveryCommandDecodesBackToWhatWasEncoded) {
    CResponseDecoder decoder;
    int replyRows = 0;
    for (int i = 0; i < kCommandCount; ++i) {
        const auto id = static_cast<CommandId>(i);
        if (isReserved(id))
            continue;
        const CommandLayout& layout = layoutOf(id);
        for (std::uint16_t tag : {std::uint16_t{0}, std::uint16_t{4321}}) {
            DeviceMessage sent = DeviceMessage::request(id);
            fill(sent, layout.request);
            if (id == CommandId::sprog)
                sent.setI(1, 2); // step 1 appends its programming text behind "#"
            sent.tag = tag;
            const std::string where = std::string(keywordOf(id)) + " tag " + std::to_string(tag);

            const std::string line = test::encoded(sent);
            ASSERT_EQ(line.back(), '\r') << where;
            DeviceMessage got = test::decodedLine(decoder, line, Column::Request);
            ASSERT_EQ(got.command, id) << where << ": " << line;
            const std::uint8_t alive = id == CommandId::aliverequest ? FlagAlive : 0;
            EXPECT_EQ(got.flags, FlagRequest | alive) << where;
            EXPECT_EQ(got.tag, tag) << where;
            expectSameValues(sent, got, layout.request, where);

            if (!sameLayout(layout.request, layout.reply) || layout.special == LayoutSpecial::List)
                continue;
            ++replyRows;
            sent.flags = FlagReply;
            const std::string reply = test::encoded(sent);
            got = test::decodedLine(decoder, reply);
            ASSERT_EQ(got.command, id) << where << ": " << reply;
            EXPECT_EQ(got.flags, FlagReply | alive) << where;
            EXPECT_EQ(got.tag, tag) << where;
            expectSameValues(sent, got, layout.reply, where);
        }
    }
    EXPECT_GT(replyRows, 80 * 2);
}

// The connection's receive loop: carry what is left of a line, decode until
// nothing is consumed.
class Receiver {
public:
    std::vector<DeviceMessage> messages;

    void receive(std::string_view chunk) {
        m_buffer.append(chunk);
        std::string_view rest = m_buffer;
        while (!rest.empty()) {
            DeviceMessage m;
            const DecodeResult r = m_decoder.decode(rest, m);
            if (r.consumed == 0 || r.consumed > rest.size())
                break;
            if (r.delivered)
                messages.push_back(m);
            rest.remove_prefix(r.consumed);
        }
        m_buffer = std::string(rest);
    }

private:
    CResponseDecoder m_decoder;
    std::string m_buffer;
};

TEST(Framing, LineSplitAtEveryPositionIsDeliveredOnce) {
    const std::string stream = "\r\n:gcross,0,5,17\r\n!gsyncstat,0,1,4\r:gdevid,0,9,'Main,2'\r";
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        Receiver rx;
        rx.receive(std::string_view(stream).substr(0, cut));
        rx.receive(std::string_view(stream).substr(cut));
        ASSERT_EQ(rx.messages.size(), 3U) << "cut at " << cut;
        EXPECT_EQ(rx.messages[0].command, CommandId::gcross);
        EXPECT_EQ(rx.messages[0].i(2), 17);
        EXPECT_EQ(rx.messages[1].command, CommandId::gsyncstat);
        EXPECT_EQ(rx.messages[2].text(2, 17), "Main");
    }
    // And byte by byte.
    Receiver rx;
    for (char c : stream)
        rx.receive(std::string_view(&c, 1));
    EXPECT_EQ(rx.messages.size(), 3U);
}

} // namespace
} // namespace velmar
