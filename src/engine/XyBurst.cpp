#include "engine/XyBurst.h"

namespace velmar {

DeviceMessage crosspointRequest(int output, int input) {
    DeviceMessage m = DeviceMessage::request(CommandId::scross);
    m.setI(1, output);
    m.setI(2, input);
    return m;
}

void CXyBurst::start(int lastOutput, bool clearInputs) {
    if (lastOutput < 1)
        return;
    m_running = true;
    m_clearInputs = clearInputs;
    m_next = 1;
    m_last = lastOutput;
    m_timers.startTimer(kTimerXyBurst, kPeriodMs);
}

void CXyBurst::stop() {
    m_running = false;
    m_timers.stopTimer(kTimerXyBurst);
}

bool CXyBurst::onTick() {
    if (!m_running) {
        m_timers.stopTimer(kTimerXyBurst);
        return false;
    }
    const int n = m_next;
    // Stop before sending: a reply handled inside sendRequest then already
    // sees the burst over when this was its last step.
    if (n >= m_last)
        stop();
    else
        ++m_next;
    m_sink.sendRequest(crosspointRequest(n, m_clearInputs ? 0 : n));
    return true;
}

std::string CXyControl::refusal(int input, int output) const {
    if (!m_state.connected)
        return "Not connected: nothing sent";
    if (m_state.programming)
        return "A firmware transfer is running: nothing sent";
    if (m_burst.running())
        return "A burst is running: nothing sent";
    if (output < kOutputMin || output > kOutputMax)
        return "Output " + std::to_string(output) + " is outside " + std::to_string(kOutputMin) +
               ".." + std::to_string(kOutputMax) + ": nothing sent";
    if (input < kInputMin || input > kInputMax)
        return "Input " + std::to_string(input) + " is outside " + std::to_string(kInputMin) +
               ".." + std::to_string(kInputMax) + ": nothing sent";
    return {};
}

bool CXyControl::allowed(int input, int output) {
    m_notice = refusal(input, output);
    return m_notice.empty();
}

void CXyControl::noteBeyondFrame(int input, int output, bool burst) {
    const int count = m_state.crosspointCount();
    if (count <= 0 || (output <= count && input <= count))
        return;
    const std::string channels = std::to_string(count);
    if (burst) {
        m_notice = "Outputs above ";
        m_notice += channels;
        m_notice += " do not exist on this frame: the burst sends to them, but nothing will "
                    "answer for them";
        return;
    }
    const bool out = output > count;
    m_notice = out ? "Output " : "Input ";
    m_notice += std::to_string(out ? output : input);
    m_notice += " is beyond this frame's ";
    m_notice += channels;
    m_notice += " channels: sent as asked, but the frame has no such ";
    m_notice += out ? "output" : "input";
}

bool CXyControl::connectPressed(int input, int output) {
    if (!allowed(input, output))
        return false;
    m_sink.sendRequest(crosspointRequest(output, input));
    noteBeyondFrame(input, output, false);
    return true;
}

bool CXyControl::interrogatePressed(int output) {
    if (!allowed(kInputMin, output))
        return false;
    DeviceMessage m = DeviceMessage::request(CommandId::gcross);
    m.setI(1, output);
    m_sink.sendRequest(m);
    noteBeyondFrame(kInputMin, output, false);
    return true;
}

bool CXyControl::burstPressed(int input, int output) {
    if (!allowed(input, output))
        return false;
    if (!m_questions.askYesNo(kTitle, kBurstQuestion))
        return false;
    // The link may have gone while the question was open.
    if (!allowed(input, output))
        return false;
    m_burst.start(output, input == 0);
    noteBeyondFrame(kInputMin, output, true);
    return true;
}

std::string CXyControl::responseInputText() const {
    return m_hasResponse ? std::to_string(m_responseInput) : std::string();
}

std::string CXyControl::responseOutputText() const {
    return m_hasResponse ? std::to_string(m_responseOutput) : std::string();
}

bool CXyControl::takeResponseChanged() {
    const bool changed = m_responseChanged;
    m_responseChanged = false;
    return changed;
}

void CXyControl::onDeviceMessage(const DeviceMessage& message, bool, const CResponseDecoder&) {
    if (message.command != CommandId::gcross && message.command != CommandId::scross)
        return;
    m_hasResponse = true;
    m_responseChanged = true;
    m_responseOutput = message.i(1);
    m_responseInput = message.i(2);
}

} // namespace velmar
