#pragma once

#include "engine/PollingEngine.h"
#include "protocol/CommandTable.h"
#include "protocol/RequestEncoder.h"

#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace velmar::test {

// A virtual clock with the window's timers: advancing fires every due timer in
// time order (ties in the order they were started); a timer refires with its
// period until stopped, and starting a running one replaces its period.
class FakeTimerHost final : public ITimerHost {
public:
    std::function<void(int)> onFire;

    void startTimer(int id, int periodMs) override {
        m_timers[id] = {m_now + periodMs, periodMs, ++m_sequence};
    }
    void stopTimer(int id) override { m_timers.erase(id); }

    bool running(int id) const { return m_timers.count(id) != 0; }
    long long now() const { return m_now; }

    void advance(long long ms) {
        const long long target = m_now + ms;
        for (;;) {
            auto next = m_timers.end();
            for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
                if (it->second.due <= target &&
                    (next == m_timers.end() || it->second.due < next->second.due ||
                     (it->second.due == next->second.due &&
                      it->second.sequence < next->second.sequence)))
                    next = it;
            if (next == m_timers.end())
                break;
            const int id = next->first;
            m_now = next->second.due;
            next->second.due += std::max(1, next->second.period);
            if (onFire)
                onFire(id);
        }
        m_now = target;
    }

private:
    struct Timer {
        long long due;
        int period;
        long long sequence;
    };
    std::map<int, Timer> m_timers;
    long long m_now = 0;
    long long m_sequence = 0;
};

inline std::string lineOf(const DeviceMessage& m) {
    std::array<char, kEncodeBufferSize> buffer{};
    const std::size_t n = encodeMessage(m, buffer);
    std::string line(buffer.data(), n);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

class FakeLink final : public ILink {
public:
    struct Open {
        std::string address;
        int port;
        bool probe;
    };
    int openResult = 0;
    std::vector<Open> opens;
    int closes = 0;
    std::vector<std::string> sent; // encoded lines without the carriage return

    int open(std::string_view address, int port, bool probeFirst) override {
        opens.push_back({std::string(address), port, probeFirst});
        return openResult;
    }
    void close() override { ++closes; }
    void send(const DeviceMessage& message) override { sent.push_back(lineOf(message)); }

    std::vector<std::string> take() {
        std::vector<std::string> out;
        out.swap(sent);
        return out;
    }
};

class FakeOperator final : public IOperator {
public:
    std::vector<std::string> messages;
    bool answer = false;
    void showMessage(std::string_view text) override { messages.emplace_back(text); }
    bool askYesNo(std::string_view) override { return answer; }
};

class FakeView final : public IMainView {
public:
    std::string title;
    StatusFields status;
    int statusUpdates = 0;
    bool settingsEnabled = false;
    bool crosspointControls = false;
    std::string connectText;
    int deviceListResets = 0;
    std::string rowAddress, rowModel, rowSerial, rowName;
    int rowId = -1;
    int crosspointClears = 0;
    int typeListRebuilds = 0;
    std::vector<int> rowsRedrawn;
    int fullRedraws = 0;
    std::vector<bool> ipFlowRefills;
    int selectionClears = 0;
    std::vector<std::string> statusMessages;
    std::vector<std::string> offline;

    void titleChanged(std::string_view t) override { title = t; }
    void statusFieldsChanged(const StatusFields& f) override {
        status = f;
        ++statusUpdates;
    }
    void settingsEnabledChanged(bool e) override { settingsEnabled = e; }
    void crosspointControlsEnabledChanged(bool e) override { crosspointControls = e; }
    void connectButtonTextChanged(std::string_view t) override { connectText = t; }
    void deviceListReset() override { ++deviceListResets; }
    void deviceRowInfoChanged(std::string_view a, std::string_view m, std::string_view s) override {
        rowAddress = a;
        rowModel = m;
        rowSerial = s;
    }
    void deviceRowIdentityChanged(std::string_view a, int id, std::string_view n) override {
        rowAddress = a;
        rowId = id;
        rowName = n;
    }
    void crosspointListCleared() override { ++crosspointClears; }
    void rebuildCrosspointTypeLists() override { ++typeListRebuilds; }
    void crosspointRowChanged(int output) override { rowsRedrawn.push_back(output); }
    void crosspointListChanged() override { ++fullRedraws; }
    void ipFlowListChanged(bool outputs) override { ipFlowRefills.push_back(outputs); }
    void inputOutputSelectionCleared() override { ++selectionClears; }
    void statusMessage(std::string_view text) override { statusMessages.emplace_back(text); }
    void deviceOffline(std::string_view address) override { offline.emplace_back(address); }
};

class FakeDialog final : public ISignalInputStatusSink {
public:
    // What reached the dialog, as keyword, status and the first values.
    std::vector<std::string> received;
    int refreshes = 0;
    void onDeviceMessage(const DeviceMessage& m, bool isReply, const CResponseDecoder&) override {
        const std::string keyword(keywordOf(m.command));
        received.push_back((isReply ? ":" : "!") + keyword + "," + std::to_string(m.status) + "," +
                           std::to_string(m.i(1)) + "," + std::to_string(m.i(2)));
    }
    void refreshAll() override { ++refreshes; }
};

// An engine wired to fakes, with helpers to connect and to feed frame lines.
struct EngineRig {
    FakeTimerHost timers;
    FakeLink link;
    FakeOperator op;
    FakeView view;
    CPollingEngine engine{timers, link, op, view};

    EngineRig() {
        timers.onFire = [this](int id) { engine.onTimer(id); };
        engine.initialise();
    }

    // Connects through a device list row; the telnet settle time passes too.
    void connect(int family = kFamily461, int runMode = kRunModeApplication,
                 std::string address = "10.0.1.20") {
        static constexpr std::string_view kTypes[] = {"460", "461", "465", "", "", "", "450"};
        const std::string column = (runMode == 0 ? "*" : runMode == 2 ? "#" : "") + address;
        ASSERT_TRUE(engine.selectDevice(address, column, kTypes[family]));
        if (engine.state().port == kPortTelnet)
            timers.advance(kTelnetSettleMs);
    }

    // Hands one line from the frame to the engine the way the receiver does.
    void feed(const std::string& line) {
        const std::string bytes = line + "\r";
        DeviceMessage m;
        const DecodeResult r = engine.decoder().decode(bytes, m);
        ASSERT_TRUE(r.delivered) << line;
        ASSERT_NE(m.command, CommandId::InvalidReply) << line;
        if (!engine.receiving())
            return;
        engine.onDataReceived();
        if ((m.flags & FlagAlive) != 0)
            return;
        engine.onMessage(m, m.flags == FlagReply);
    }
};

} // namespace velmar::test
