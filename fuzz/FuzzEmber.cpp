// Reads arbitrary bytes as an Ember+ consumer's stream, cut into pieces, and
// hands every message to the Glow decoder; the bytes are also decoded as one
// Glow message. What must hold: the framing holds no more than its bounds,
// every fault comes with a reason, and whatever decodes encodes again and
// decodes to the same encoding.

#include "FuzzSupport.h"
#include "emberplus/Glow.h"
#include "emberplus/S101.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void decodeChecked(std::string_view bytes, const velmar::GlowLimits& limits) {
    const velmar::GlowDecoded d = velmar::decodeGlow(bytes, limits);
    if (!d.ok())
        return;
    const std::string again = velmar::encodeGlow(d.elements);
    const velmar::GlowDecoded back = velmar::decodeGlow(again);
    FUZZ_CHECK(back.ok());
    FUZZ_CHECK(velmar::encodeGlow(back.elements) == again);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t piece = 1 + data[0] % 64;
    ++data;
    --size;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    velmar::GlowLimits limits;
    limits.maxDepth = 32;
    limits.maxElements = 4096;
    limits.maxStringBytes = 1024;
    decodeChecked(bytes, limits);

    velmar::S101Limits framing;
    framing.maxFrameBytes = 512;
    framing.maxMessageBytes = 4096;
    velmar::CS101Decoder decoder(framing);
    std::vector<velmar::S101Message> messages;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        const bool ok = decoder.feed(bytes.substr(at, piece), messages);
        FUZZ_CHECK(decoder.pendingBytes() <= framing.maxFrameBytes + framing.maxMessageBytes);
        for (const velmar::S101Message& m : messages) {
            FUZZ_CHECK(m.payload.size() <= framing.maxMessageBytes);
            if (m.kind == velmar::S101Message::Kind::Ember)
                decodeChecked(m.payload, limits);
            else
                FUZZ_CHECK(m.payload.empty());
        }
        messages.clear();
        if (!ok) {
            FUZZ_CHECK(!decoder.error().empty());
            break;
        }
    }
    return 0;
}
