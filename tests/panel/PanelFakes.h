#pragma once

#include "engine/EngineFakes.h"
#include "engine/Questions.h"

#include <string>
#include <vector>

namespace velmar::test {

// Keeps every request as its encoded line.
class RecordingSink final : public IRequestSink {
public:
    std::vector<std::string> sent;
    void sendRequest(DeviceMessage message) override { sent.push_back(lineOf(message)); }
    std::vector<std::string> take() {
        std::vector<std::string> out;
        out.swap(sent);
        return out;
    }
};

class ScriptedQuestions final : public IQuestions {
public:
    bool answer = true;
    std::vector<std::string> asked; // "caption|text"
    bool askYesNo(std::string_view title, std::string_view text) override {
        asked.push_back(std::string(title) + "|" + std::string(text));
        return answer;
    }
};

// A frame line decoded as the link would hand it over.
inline DeviceMessage decoded(CResponseDecoder& decoder, const std::string& line) {
    DeviceMessage m;
    const DecodeResult r = decoder.decode(line + "\r", m);
    EXPECT_TRUE(r.delivered) << line;
    EXPECT_NE(m.command, CommandId::InvalidReply) << line;
    return m;
}

} // namespace velmar::test
