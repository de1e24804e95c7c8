// Feeds arbitrary received bytes through the same loop the connection runs on
// every receive: a 1024-byte carry buffer, decode until nothing is consumed,
// drop what was consumed, keep the rest for the next receive. The input's own
// bytes decide how it is split into receives, so lines cut at every position
// are covered.
//
// Every delivered message is checked for what must hold whatever the frame
// sends, and is encoded again: a decoded text must never let a control
// character or a second line end reach the wire.

#include "FuzzSupport.h"
#include "protocol/ArgumentLayout.h"
#include "protocol/CommandId.h"
#include "protocol/CommandTable.h"
#include "protocol/DeviceMessage.h"
#include "protocol/RequestEncoder.h"
#include "protocol/ResponseDecoder.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

using velmar::CommandId;
using velmar::CResponseDecoder;
using velmar::DeviceMessage;

constexpr std::size_t kCarrySize = 1024;

using velmar::fuzz::isControl;

// A text field ends with a NUL inside its capacity (clamped to the payload, as
// the record clamps every access).
bool terminatedWithin(const DeviceMessage& m, velmar::TextField field) {
    if (field.offset >= DeviceMessage::kPayloadBytes)
        return true;
    const std::size_t room =
        std::min<std::size_t>(field.capacity, DeviceMessage::kPayloadBytes - field.offset);
    return room == 0 || std::memchr(m.payload.data() + field.offset, 0, room) != nullptr;
}

void checkTexts(const DeviceMessage& m, CommandId id, CResponseDecoder::Column column) {
    const velmar::CommandLayout& layout = velmar::layoutOf(id);
    const velmar::ArgLayout& args =
        column == CResponseDecoder::Column::Reply ? layout.reply : layout.request;
    for (const velmar::ArgSpec& arg : args.all())
        if (arg.kind == velmar::ValueKind::Text || arg.kind == velmar::ValueKind::Raw)
            FUZZ_CHECK(terminatedWithin(m, {arg.offset, arg.capacity}));
    if (layout.special == velmar::LayoutSpecial::SwVer) {
        for (int pair = 0; pair < velmar::fields::kSwVerPairs; ++pair) {
            FUZZ_CHECK(terminatedWithin(m, velmar::fields::swVerFirst(pair)));
            FUZZ_CHECK(terminatedWithin(m, velmar::fields::swVerSecond(pair)));
        }
    }
}

void checkListTables(const CResponseDecoder& decoder) {
    for (const auto& e : decoder.inputStatusList())
        FUZZ_CHECK(std::memchr(e.text.data(), 0, e.text.size()) != nullptr);
    for (const auto& e : decoder.labelList())
        FUZZ_CHECK(std::memchr(e.text.data(), 0, e.text.size()) != nullptr);
}

void checkMessage(const CResponseDecoder& decoder, const DeviceMessage& m,
                  CResponseDecoder::Column column) {
    const int command = velmar::toIndex(m.command);
    FUZZ_CHECK(command >= 0 && command <= velmar::toIndex(CommandId::InvalidReply));

    // Request, reply and alive are the only bits; request and reply never together.
    FUZZ_CHECK((m.flags & ~(velmar::FlagAlive | velmar::FlagRequest | velmar::FlagReply)) == 0);
    FUZZ_CHECK((m.flags & (velmar::FlagRequest | velmar::FlagReply)) !=
               (velmar::FlagRequest | velmar::FlagReply));
    FUZZ_CHECK(m.status >= -32767 && m.status <= 32767);
    FUZZ_CHECK(m.size == static_cast<std::uint16_t>(m.status));

    if (m.command == CommandId::aliverequest)
        FUZZ_CHECK(m.isAlive() && m.status == 0);

    if (m.command == CommandId::InvalidReply) {
        FUZZ_CHECK(m.i(1) == 1);
        FUZZ_CHECK(m.i(2) >= 0 && m.i(2) <= velmar::toIndex(CommandId::InvalidReply));
        FUZZ_CHECK(m.tag == 0);
        // values read before the failure stay, so their texts must be sound too
        checkTexts(m, static_cast<CommandId>(m.i(2)), column);
    } else {
        checkTexts(m, m.command, column);
    }
    checkListTables(decoder);

    std::array<char, velmar::kEncodeBufferSize> line;
    const std::size_t n = velmar::encodeMessage(m, line);
    FUZZ_CHECK(n <= velmar::kEncodeBufferSize - 1);
    FUZZ_CHECK((n == 0) == velmar::keywordOf(m.command).empty());
    if (n > 0) {
        FUZZ_CHECK(line[n - 1] == '\r');
        FUZZ_CHECK(std::none_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(n - 1),
                                isControl));
    }
}

// How many bytes the next receive delivers: the byte at the split point picks
// either everything that is left or a short piece, so both whole lines and
// lines cut anywhere occur.
std::size_t nextReceiveSize(const std::uint8_t* data, std::size_t size, std::size_t pos) {
    const std::uint8_t b = data[pos];
    const std::size_t left = size - pos;
    return (b & 1) != 0 ? left : std::min<std::size_t>(left, 1 + b % 97);
}

void receiveAll(const std::uint8_t* data, std::size_t size, CResponseDecoder::Column column) {
    CResponseDecoder decoder;
    DeviceMessage message;
    std::array<char, kCarrySize> carry;
    std::size_t carried = 0;

    std::size_t pos = 0;
    while (pos < size) {
        std::array<char, kCarrySize> local;
        std::memcpy(local.data(), carry.data(), carried);
        std::size_t length = carried;
        carried = 0;

        const std::size_t received =
            std::min(nextReceiveSize(data, size, pos), kCarrySize - length);
        std::memcpy(local.data() + length, data + pos, received);
        length += received;
        pos += received;

        std::size_t offset = 0;
        while (offset < length) {
            const std::size_t remaining = length - offset;
            const velmar::DecodeResult r =
                decoder.decode(std::string_view(local.data() + offset, remaining), message, column);
            FUZZ_CHECK(r.consumed <= remaining);
            FUZZ_CHECK(!r.delivered || r.consumed > 0);
            if (r.consumed == 0 || r.consumed > remaining)
                break;
            if (r.delivered)
                checkMessage(decoder, message, column);
            offset += r.consumed;
        }

        const std::size_t left = length - offset;
        if (left > 0 && left < kCarrySize) {
            std::memmove(carry.data(), local.data() + offset, left);
            carried = left;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The program reads everything by the reply column; the simulated frame
    // reads the program's requests by the request column.
    receiveAll(data, size, CResponseDecoder::Column::Reply);
    receiveAll(data, size, CResponseDecoder::Column::Request);
    return 0;
}
