#include "link/CLineReceiver.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace velmar {

void CLineReceiver::reset() {
    m_carry = 0;
    ++m_epoch;
}

void CLineReceiver::onReceived(std::span<const char> bytes) {
    // Work on the carried bytes and the new ones behind them.
    const std::size_t take = std::min(bytes.size(), room());
    std::memcpy(m_buffer.data() + m_carry, bytes.data(), take);
    std::size_t length = m_carry + take;
    m_carry = 0;

    if (!m_handler.receiving())
        return;
    m_handler.onDataReceived();

    const unsigned epoch = m_epoch;
    std::size_t pos = 0;
    while (pos < length) {
        DeviceMessage m;
        const std::string_view rest(m_buffer.data() + pos, length - pos);
        const DecodeResult r = m_decoder.decode(rest, m);
        if (r.consumed == 0 || r.consumed > rest.size())
            break;
        pos += r.consumed;
        if (!r.delivered)
            continue;
        switch (m.flags) {
        case FlagRequest | FlagAlive:
            m.flags = FlagReply | FlagAlive;
            m_handler.sendRaw(m);
            break;
        case FlagReply: m_handler.onMessage(m, true); break;
        case FlagReply | FlagAlive: m_handler.onAliveAnswer(m); break;
        default: m_handler.onMessage(m, false); break;
        }
        // The handler may have closed the link; what is left belongs to it.
        if (epoch != m_epoch)
            return;
    }

    const std::size_t remaining = length - pos;
    if (remaining > 0 && remaining < kBufferSize) {
        std::memmove(m_buffer.data(), m_buffer.data() + pos, remaining);
        m_carry = remaining;
    }
}

} // namespace velmar
