#pragma once

#include "engine/DeviceState.h"
#include "engine/DialogRegistry.h"
#include "engine/Dispatch.h"
#include "engine/EngineInterfaces.h"
#include "engine/StateObserver.h"
#include "protocol/DeviceMessage.h"
#include "protocol/ResponseDecoder.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// The working core of the main window. Input flows like this:
//
//   device list row ──selectDevice──► connect ──ILink::open──► reset as connected
//        │                                                          │
//        │           start requests (at once, or 300 ms later on the telnet port)
//        ▼                                                          ▼
//   receiver ──onDataReceived / onMessage──► dispatch ──► DeviceState ──► IMainView
//                                              │                          dialogs
//                                              └─ timers 7 and 11: stage-two poll,
//                                                 "&Settings" and the card poll
//
// Timer 6 watches the link: a frame that stays silent for two ticks is dropped.
// Everything runs on one thread; the engine never blocks and never reads a clock.
class CPollingEngine final : public IDispatchHost {
public:
    static constexpr std::string_view kConnectFailed = "Connect failed, target not responding";

    CPollingEngine(ITimerHost& timers, ILink& link, IOperator& op, IMainView& view);

    // Command-line switches, set once before the window opens.
    void setStartupFlags(bool telnet, bool xy, bool service);
    // The window's start: shows the offline state.
    void initialise();

    // A device list row was chosen: drops an existing link, takes run mode and
    // family from the row's address and Type columns, and connects to `address`.
    // The row's name, when it has one, is how the status bar names the frame.
    bool selectDevice(std::string_view address, std::string_view listAddressColumn,
                      std::string_view listTypeColumn, std::string_view rowName = {});
    // The connect button: disconnects when connected, else connects to `address`
    // with the current run mode and family. True when a link was opened.
    bool connect(std::string_view address);
    void disconnect();
    void onPeerClosed() { onLinkLost(LinkLoss::Closed); }
    // The link ended without the operator: disconnects, says so in the status
    // bar and marks the frame's row offline.
    void onLinkLost(LinkLoss cause);
    // The connected frame announced itself on its own (it restarted or was
    // changed): the link is closed, and the status bar says why.
    void onFrameAnnounced();
    // How the status bar names the connected frame: "Studio A (10.0.1.20)".
    std::string frameLabel() const;
    // What the dialogs still open say once the last link ended: which frame,
    // and whether it was lost or closed. Empty before the first link ends.
    const std::string& linkEndedNotice() const { return m_linkEndedNotice; }

    // The lists and the grid name channels by their labels, which only a
    // label read brings. With this on, a frame with channel labels is read
    // once per link after its start-up poll: a few "llabel" blocks at a time,
    // the next as the replies come, so the link stays free for the operator.
    void setReadLabelsInBackground(bool on) { m_labelReadWanted = on; }
    static constexpr int kLabelReadWindow = 4;        // blocks asked at a time
    static constexpr int kLabelReadStallMs = 2000;    // no reply: ask the next ones anyway
    static constexpr int kLabelReadFallbackMs = 3000; // start-up poll never complete: read anyway
    // Requests of the read still to send, and whether it runs.
    std::size_t labelReadLeft() const { return m_labelQueue.size() - m_labelNext; }
    bool labelReadRunning() const { return m_labelReadStarted && labelReadLeft() > 0; }
    // The start-up poll: requests sent and replies received since the connect;
    // `reading` until every request of the start and stage-two polls is answered.
    struct StartupProgress {
        bool reading = false;
        bool lastStageSent = false;
        int sent = 0;
        int answered = 0;
    };
    const StartupProgress& startupProgress() const { return m_startup; }

    // Returns false for the timers the engine does not own (5, 8, 9, 10), after
    // stopping the one-shot ones among them, so the shell can route them on.
    bool onTimer(int id);

    // The receiver's entry points.
    bool receiving() const { return m_state.receiving; }
    void onDataReceived();
    void onMessage(const DeviceMessage& message, bool isReply);
    void onMessage(const DeviceMessage& message, bool isReply, const CResponseDecoder& decoder);
    CResponseDecoder& decoder() { return m_decoder; }

    // Requests: completed as requests (flags 0x10, no tag) and sent while connected.
    void sendRequest(DeviceMessage message) override;
    // Sent as the caller set the flags (alive requests).
    void sendRaw(const DeviceMessage& message);

    void startRequests();
    void stageTwoPoll();
    void pollCards();

    // The settings dialog ended with its "yes" result: `edited` becomes the
    // settings (settingsAfterApply, with `opened` the copy the dialog was
    // given) and every changed group is sent (planSettingsApply). Returns 0
    // (nothing sent), 1 (sent: new stage-two poll) or 2 (network group sent:
    // restart offered).
    int applySettings(const DeviceSettings& edited, const DeviceSettings& opened);
    void setRestartCommand(std::function<void()> restart) { m_restart = std::move(restart); }
    // Connecting and disconnecting end a running X-Y burst through this.
    void setBurstStop(std::function<void()> stop) { m_burstStop = std::move(stop); }

    bool settingsEnabled() const { return m_settingsEnabled; }

    // Who keeps the frame's history (the event log); none by default.
    void setStateObserver(IStateObserver* observer) { m_observer = observer; }
    IStateObserver* stateObserver() const { return m_observer; }

    // A firmware transfer suspends alive supervision.
    void setProgramming(bool on) { m_state.programming = on; }

    void updateTitle() override;
    std::string title() const;
    StatusFields statusFields() const;
    void showSampleRate() override;
    void showSyncSource() override;
    void showPowerAndFans() override;

    const DeviceState& state() const { return m_state; }
    DialogRegistry& dialogs() { return m_dialogs; }

private:
    void resetLink(bool connected);
    void stopBurst();
    void aliveTick();
    void startPollTimer();
    void settingsReady();
    void sendAliveRequest();
    void publishStatus();
    void setSettingsEnabled(bool enabled);
    void reportStartup();
    void startLabelRead();
    void sendLabelWindow();
    void labelTimer();
    std::string frameName() const; // the row's name, else the frame's, else the address

    ITimerHost& m_timers;
    ILink& m_link;
    IOperator& m_operator;
    IMainView& m_view;
    DeviceState m_state;
    CResponseDecoder m_decoder;
    DialogRegistry m_dialogs;
    DispatchContext m_context;
    std::function<void()> m_restart;
    std::function<void()> m_burstStop;

    std::string m_syncSourceText;
    std::string m_sampleRateText;
    StatusFields m_shownStatus;
    bool m_statusShown = false;
    bool m_settingsEnabled = false;
    std::string m_rowName;   // the chosen row's name, for the next connect
    std::string m_frameName; // the connected frame's, as the row named it
    StartupProgress m_startup;
    IStateObserver* m_observer = nullptr;
    std::string m_lossText; // why the link is being dropped; empty when asked to
    std::string m_linkEndedNotice;

    bool m_labelReadWanted = false;
    bool m_labelReadStarted = false;
    std::vector<DeviceMessage> m_labelQueue;
    std::size_t m_labelNext = 0;
    int m_labelInFlight = 0;
};

} // namespace velmar
