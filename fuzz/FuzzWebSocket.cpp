// Reads arbitrary bytes as a client's WebSocket frames and checks what must
// hold: messages stay within the bound, text is UTF-8, an error carries one of
// the close codes the reader may give and stops it, and the messages do not
// depend on how the bytes were split. The same bytes also go through the
// strict base64 decoder, whose output must encode back to its input.

#include "FuzzSupport.h"
#include "protocol/TerminalText.h"
#include "server/Digest.h"
#include "server/WebSocketCodec.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kMaxMessage = 1024;

bool isUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        if (static_cast<unsigned char>(text[at]) < 0x80) {
            ++at;
            continue;
        }
        const std::size_t length = velmar::utf8SequenceLength(text, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

std::string run(std::string_view bytes, std::size_t chunk) {
    velmar::CWebSocketReader reader(kMaxMessage);
    std::vector<velmar::WsMessage> out;
    bool ok = true;
    for (std::size_t at = 0; at < bytes.size() && ok; at += chunk)
        ok = reader.feed(bytes.substr(at, chunk), out);
    std::string log;
    for (const velmar::WsMessage& m : out) {
        using Kind = velmar::WsMessage::Kind;
        FUZZ_CHECK(m.payload.size() <= kMaxMessage);
        if (m.kind == Kind::Text || m.kind == Kind::Close)
            FUZZ_CHECK(isUtf8(m.payload));
        if (m.kind != Kind::Text && m.kind != Kind::Binary)
            FUZZ_CHECK(m.payload.size() <= 125);
        if (m.kind == Kind::Close)
            FUZZ_CHECK(m.closeCode == 0 || (m.closeCode >= 1000 && m.closeCode < 5000));
        else
            FUZZ_CHECK(m.closeCode == 0);
        log += std::to_string(static_cast<int>(m.kind));
        log += ':';
        log += m.payload;
        log += '\n';
    }
    if (!ok) {
        const std::uint16_t code = reader.closeCode();
        FUZZ_CHECK(code == 1002 || code == 1007 || code == 1009);
        FUZZ_CHECK(!reader.errorText().empty());
        std::vector<velmar::WsMessage> more;
        FUZZ_CHECK(!reader.feed("\x89\x80\x00\x00\x00\x00", more) && more.empty());
        log += "error ";
        log += std::to_string(code);
    }
    return log;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t chunk = data[0] % 32 + 1;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    FUZZ_CHECK(run(bytes, bytes.size() + 1) == run(bytes, chunk));

    if (const auto decoded = velmar::base64Decode(bytes))
        FUZZ_CHECK(velmar::base64Encode(*decoded) == bytes);
    return 0;
}
