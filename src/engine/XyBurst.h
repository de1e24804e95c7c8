#pragma once

#include "engine/DeviceState.h"
#include "engine/DialogRegistry.h"
#include "engine/EngineInterfaces.h"
#include "engine/Questions.h"

#include <string>
#include <string_view>

namespace velmar {

// The X-Y burst: one "scross" per tick of timer 5 (1 ms) for outputs 1..N,
// routing input n to output n, or nothing (input 0) to each. It belongs to the
// main window rather than to the X-Y dialog because the window's crosspoint
// commands must stay refused while it runs.
class CXyBurst {
public:
    static constexpr int kPeriodMs = 1;

    CXyBurst(ITimerHost& timers, IRequestSink& sink) : m_timers(timers), m_sink(sink) {}

    // Starts at output 1; a running burst starts over. Nothing for last < 1.
    void start(int lastOutput, bool clearInputs);
    void stop();
    bool running() const { return m_running; }

    // Timer 5 fired: sends the next "scross". False when no burst runs (the
    // timer is stopped then, so a stray tick cannot send anything).
    bool onTick();

private:
    ITimerHost& m_timers;
    IRequestSink& m_sink;
    bool m_running = false;
    bool m_clearInputs = false;
    int m_next = 1;
    int m_last = 0;
};

// The logic of `CXYDlg` ("X-Y crosspoint control"): sets and reads single
// crosspoints by number and runs the burst. The dialog hands in the numbers of
// its two fields and shows the response fields whenever responseChanged() is
// true after a reply.
class CXyControl final : public IDialogSink {
public:
    static constexpr std::string_view kTitle = "X-Y crosspoint control";
    static constexpr std::string_view kBurstQuestion = "ARE YOU SURE";
    static constexpr std::string_view kBurstText = "Loop 1 to Output and set Cross";
    // The output field takes 1..2048, the input field 0..2048 (0: nothing
    // routed); the dialog's validators enforce it as far as typing allows.
    static constexpr int kOutputMin = 1;
    static constexpr int kOutputMax = 2048;
    static constexpr int kInputMin = 0;
    static constexpr int kInputMax = 2048;

    CXyControl(const DeviceState& state, IRequestSink& sink, IQuestions& questions, CXyBurst& burst)
        : m_state(state), m_sink(sink), m_questions(questions), m_burst(burst) {}

    // The buttons. Each returns whether a request was sent (or the burst started);
    // all do nothing while disconnected, during a firmware transfer or a burst,
    // or with an output outside 1..2048 or an input outside 0..2048; notice()
    // then says why.
    bool connectPressed(int input, int output); // "Connect": "scross" (output, input)
    bool interrogatePressed(int output);        // "Interrogate output": "gcross" (output)
    bool burstPressed(int input, int output);   // "BURST": asks, then outputs 1..output
    // "Close" or the window closed: a running burst ends with the dialog.
    void closed() { m_burst.stop(); }
    // Why the last button sent nothing, or what to know about what it sent
    // (an output the frame does not have); empty otherwise.
    const std::string& notice() const { return m_notice; }

    // The "( Response )" fields: the last "gcross"/"scross" reply's values.
    bool hasResponse() const { return m_hasResponse; }
    int responseInput() const { return m_responseInput; }
    int responseOutput() const { return m_responseOutput; }
    std::string responseInputText() const;
    std::string responseOutputText() const;
    // True once after each new response; the dialog redraws its fields then.
    bool takeResponseChanged();

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    // Empty when a request may go out, else why not.
    std::string refusal(int input, int output) const;
    bool allowed(int input, int output);
    // The numbers pass the fields' checks but may lie beyond this frame's
    // channels: the request goes out as asked, and the notice says why no
    // answer will show.
    void noteBeyondFrame(int input, int output, bool burst);

    const DeviceState& m_state;
    IRequestSink& m_sink;
    IQuestions& m_questions;
    CXyBurst& m_burst;
    bool m_hasResponse = false;
    bool m_responseChanged = false;
    int m_responseInput = 0;
    int m_responseOutput = 0;
    std::string m_notice;
};

// "scross" (output, input) as every crosspoint command sends it.
DeviceMessage crosspointRequest(int output, int input);

} // namespace velmar
