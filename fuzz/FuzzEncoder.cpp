// Encodes messages built from arbitrary bytes. The program fills messages from
// operator input and from files (labels, names, programming lines), so nothing
// in a message may break the line: whatever it holds, the result fits the
// connection's buffer, carries no control character, and ends in at most one
// carriage return.
//
// Input layout (little-endian):
//   bytes 0-1   command id (values above 219 included on purpose)
//   byte  2     flags
//   bytes 3-4   tag
//   bytes 5-8   status
//   bytes 9-10  size of a second, smaller output buffer (1..512)
//   bytes 11..  payload, copied from its start; the rest stays 0

#include "FuzzSupport.h"
#include "protocol/CommandId.h"
#include "protocol/CommandTable.h"
#include "protocol/DeviceMessage.h"
#include "protocol/RequestEncoder.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>

namespace {

using velmar::DeviceMessage;

constexpr std::size_t kHeaderSize = 11;

using velmar::fuzz::isControl;

std::uint32_t readLE(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

bool sameMessage(const DeviceMessage& a, const DeviceMessage& b) {
    return a.length == b.length && a.reserved == b.reserved && a.flags == b.flags &&
           a.tag == b.tag && a.size == b.size && a.command == b.command && a.status == b.status &&
           a.payload == b.payload;
}

void checkLine(std::string_view line) {
    if (line.empty())
        return;
    const bool terminated = line.back() == '\r';
    // Only a line cut at the buffer's end may lack its carriage return.
    FUZZ_CHECK(terminated || line.size() == velmar::kEncodeBufferSize - 1);
    const std::string_view body = terminated ? line.substr(0, line.size() - 1) : line;
    FUZZ_CHECK(std::none_of(body.begin(), body.end(), isControl));
    FUZZ_CHECK(std::string_view("?&:%").find(line.front()) != std::string_view::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderSize)
        return 0;

    DeviceMessage m;
    m.command = static_cast<velmar::CommandId>(readLE(data, 2));
    m.flags = data[2];
    m.tag = static_cast<std::uint16_t>(readLE(data + 3, 2));
    m.status = static_cast<std::int32_t>(readLE(data + 5, 4));
    const std::size_t smallSize = 1 + readLE(data + 9, 2) % velmar::kEncodeBufferSize;
    std::memcpy(m.payload.data(), data + kHeaderSize,
                std::min(size - kHeaderSize, m.payload.size()));
    const DeviceMessage before = m;

    std::array<char, velmar::kEncodeBufferSize> buffer;
    const std::size_t n = velmar::encodeMessage(m, buffer);
    FUZZ_CHECK(n <= velmar::kEncodeBufferSize - 1);
    FUZZ_CHECK((n == 0) == velmar::keywordOf(m.command).empty());
    const std::string_view line(buffer.data(), n);
    checkLine(line);
    // The keyword follows the prefix character unchanged.
    if (n > 0)
        FUZZ_CHECK(line.substr(1).starts_with(velmar::keywordOf(m.command)));

    // Encoding only reads the message.
    FUZZ_CHECK(sameMessage(before, m));

    // A buffer too small for the line gets its beginning, never more: an exact
    // heap allocation lets the address sanitizer catch a write past its end.
    const auto small = std::make_unique<char[]>(smallSize);
    const std::size_t cut = velmar::encodeMessage(m, std::span<char>(small.get(), smallSize));
    FUZZ_CHECK(cut <= smallSize - 1);
    FUZZ_CHECK(cut == std::min(n, smallSize - 1));
    FUZZ_CHECK(line.substr(0, cut) == std::string_view(small.get(), cut));
    return 0;
}
