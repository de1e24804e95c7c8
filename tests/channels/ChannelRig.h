#pragma once

#include "engine/EngineFakes.h"
#include "engine/Questions.h"

#include <string>
#include <string_view>
#include <vector>

namespace velmar::test {

class ScriptedQuestions final : public IQuestions {
public:
    bool answer = true;
    std::vector<std::string> asked;
    bool askYesNo(std::string_view title, std::string_view text) override {
        asked.push_back(std::string(title) + ": " + std::string(text));
        return answer;
    }
};

// A connected engine over fakes, shaped as the frame a test needs: a 460
// with 1536 channels ("big"), a 461 (offset 512 outside service mode), with
// or without PHD ports.
struct ChannelRig : EngineRig {
    ScriptedQuestions questions;

    explicit ChannelRig(int family = kFamily460, bool big = false, bool noPhd = false,
                        bool service = false) {
        engine.setStartupFlags(false, false, service);
        connect(family);
        if (big)
            feed(":gswver,0,2,'m','2.0.0.1'");
        if (noPhd)
            feed(":ghwconf,0,2,1,'460101-03','B'");
        link.take();
    }
    const DeviceState& state() const { return engine.state(); }
};

} // namespace velmar::test
