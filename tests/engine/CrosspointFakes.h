#pragma once

#include "EngineFakes.h"
#include "engine/DeviceState.h"
#include "engine/Questions.h"
#include "engine/XyBurst.h"

#include <string>
#include <vector>

namespace velmar::test {

// Keeps what was sent as encoded lines ("&scross,1,513,0,0").
class RecordingSink final : public IRequestSink {
public:
    std::vector<std::string> lines;
    void sendRequest(DeviceMessage message) override { lines.push_back(lineOf(message)); }
    std::vector<std::string> take() {
        std::vector<std::string> out;
        out.swap(lines);
        return out;
    }
};

class FakeQuestions final : public IQuestions {
public:
    bool answer = true;
    std::vector<std::string> asked; // "title|text"
    bool askYesNo(std::string_view title, std::string_view text) override {
        asked.push_back(std::string(title) + "|" + std::string(text));
        return answer;
    }
};

inline std::string scross(int output, int input) {
    return "&scross," + std::to_string(output) + "," + std::to_string(input) + ",0,0";
}

// A connected frame as the dispatch would have filled it.
struct FrameState {
    DeviceState s;

    explicit FrameState(int family = kFamily460, const char* version = "1.5.0.0") {
        s.reset(true, 0x0A000114);
        s.family = family;
        setVersion(version);
    }
    void setVersion(const char* version) {
        s.settings.swVersion[kModuleMainBoard].second[0].assign(version);
    }
    // A 1536-output 460.
    void make1536() {
        s.family = kFamily460;
        setVersion("2.0.0.1");
    }
    void fit(int module) { s.settings.hwConf[static_cast<std::size_t>(module)].present = 1; }
    void card(int slot, int type, int mode = 0, int redundancy = 0) {
        auto& c = s.settings.cards[static_cast<std::size_t>(slot)];
        c.cardType = type;
        c.cardMode = mode;
        c.cardRedundancy = redundancy;
        fit(kModuleFirstCard + slot - 1);
    }
    void route(int output, int input) {
        s.live.crosspoints[static_cast<std::size_t>(output)] = input;
    }
};

// A frame state with the fakes every crosspoint object is built on.
struct CrosspointRigBase {
    FrameState f{kFamily460};
    FakeTimerHost timers;
    RecordingSink sink;
    FakeQuestions questions;
    CXyBurst burst{timers, sink};
};

} // namespace velmar::test
