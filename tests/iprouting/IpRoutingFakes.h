#pragma once

#include "engine/DeviceState.h"
#include "engine/EngineInterfaces.h"
#include "engine/Questions.h"
#include "protocol/RequestEncoder.h"
#include "protocol/ResponseDecoder.h"

#include <array>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::test {

inline std::string requestLine(const DeviceMessage& m) {
    std::array<char, kEncodeBufferSize> buffer{};
    std::string text(buffer.data(), encodeMessage(m, buffer));
    while (!text.empty() && text.back() == '\r')
        text.pop_back();
    return text;
}

// Keeps every request as the line it would travel as.
class RecordingSink final : public IRequestSink {
public:
    std::vector<std::string> sent;
    void sendRequest(DeviceMessage message) override { sent.push_back(requestLine(message)); }
    std::vector<std::string> take() { return std::exchange(sent, {}); }
};

class ScriptedQuestions final : public IQuestions {
public:
    bool answer = true;
    std::vector<std::string> asked;
    bool askYesNo(std::string_view title, std::string_view text) override {
        asked.push_back(std::string(title) + ": " + std::string(text));
        return answer;
    }
};

// Turns a frame line (without the carriage return) into the message the
// dispatch would hand a dialog.
class FrameLines {
public:
    DeviceMessage decode(const std::string& line) {
        const std::string bytes = line + "\r";
        DeviceMessage m;
        const DecodeResult r = m_decoder.decode(bytes, m);
        EXPECT_TRUE(r.delivered) << line;
        EXPECT_NE(m.command, CommandId::InvalidReply) << line;
        return m;
    }
    const CResponseDecoder& decoder() const { return m_decoder; }

    // Feeds a reply (":...") or a message of the frame's own ("!...") to a dialog.
    template <typename Sink>
    void feed(Sink& sink, const std::string& line) {
        const DeviceMessage m = decode(line);
        sink.onDeviceMessage(m, line.starts_with(":"), m_decoder);
    }

private:
    CResponseDecoder m_decoder;
};

inline DeviceState connectedFrame() {
    DeviceState s;
    s.connected = true;
    s.connectedAddress = "10.0.1.20";
    s.deviceAddress = (10U << 24) | (1U << 8) | 20U;
    return s;
}

} // namespace velmar::test
