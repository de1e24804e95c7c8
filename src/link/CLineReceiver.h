#pragma once

#include "protocol/DeviceMessage.h"
#include "protocol/ResponseDecoder.h"

#include <array>
#include <cstddef>
#include <span>

namespace velmar {

// The receiving half of the link: keeps at most 1024 bytes of an unfinished
// line between reads, lets the decoder cut out one line at a time, answers the
// frame's alive requests itself and hands everything else on.
class CLineReceiver {
public:
    static constexpr std::size_t kBufferSize = 1024;

    class IHandler {
    public:
        virtual ~IHandler() = default;
        // While false, every received byte is thrown away.
        virtual bool receiving() const = 0;
        // Any data at all counts as a sign of life.
        virtual void onDataReceived() = 0;
        // A reply to one of our requests (isReply) or a message of the frame's own.
        virtual void onMessage(const DeviceMessage& message, bool isReply) = 0;
        // Sends a message whose flags are already set (the alive answer).
        virtual void sendRaw(const DeviceMessage& message) = 0;
        // The frame's answer to an alive request of ours; only a sign of life
        // to most handlers.
        virtual void onAliveAnswer(const DeviceMessage& /*message*/) {}
    };

    explicit CLineReceiver(IHandler& handler) : m_handler(handler) {}

    // How many bytes the next read may take: the rest of the 1024.
    std::size_t room() const { return kBufferSize - m_carry; }

    // One read's worth of bytes, at most room() of them.
    void onReceived(std::span<const char> bytes);
    // A failed read loses the unfinished line; the link stays.
    void onReceiveError() { m_carry = 0; }
    // A new link starts with nothing carried. Also stops a receive loop that is
    // running, for a handler that closes the link while handling a message.
    void reset();

    const CResponseDecoder& decoder() const { return m_decoder; }

private:
    IHandler& m_handler;
    CResponseDecoder m_decoder;
    std::array<char, kBufferSize> m_buffer{};
    std::size_t m_carry = 0;
    unsigned m_epoch = 0;
};

} // namespace velmar
