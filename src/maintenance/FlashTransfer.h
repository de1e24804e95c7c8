#pragma once

#include "engine/FirmwareOutcome.h"

#include "engine/EngineInterfaces.h"
#include "maintenance/FlashFile.h"
#include "protocol/DeviceMessage.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

inline constexpr int kFlashBeginWaitMs = 1000;   // for the begin acknowledgement
inline constexpr int kFlashRecordWaitMs = 10000; // for each record and the end
// The frame may take a while to prepare its flash before acknowledging the
// begin; after the first wait it gets this much longer, then the run is judged.
inline constexpr int kFlashBeginGraceMs = 10000;

// How one file's transfer ended.
struct FlashTransferEnd {
    enum class Cause {
        EndAcknowledged, // the frame acknowledged the end request
        Refused,         // the frame answered a request with an error
        Silent,          // the frame did not answer in time
        NoRecord,        // the begin was acknowledged, but no record could be read
        LinkLost,        // the link to the frame went down
    };
    Cause cause = Cause::Silent;
    int recordsSent = 0;
    // What the frame had not answered: 0 the begin, 1 a record, 2 the end, -1 nothing.
    int awaitedPhase = -1;
    int waitedMs = 0; // how long the frame was given, for Silent
};

// What the transfer tells its owner.
class IFlashTransferClient {
public:
    virtual ~IFlashTransferClient() = default;
    virtual void programmingChanged(bool on) = 0;
    virtual void
    recordsSent(int count) = 0; // after each record, and with the end's acknowledgement
    // The watchdog ended the transfer, or the link did.
    virtual void transferEnded(const FlashTransferEnd& end) = 0;
};

// Sends one flash image to the frame: the begin request, then one record per
// acknowledgement, then the end request. Driven by the frame's "sprog" replies
// and by the firmware watchdog timer, which ends every transfer: a silent
// frame, an error reply or the end's acknowledgement all let it fire.
//
// Acknowledgements carry no tag, so each one is matched against the one
// request that is out: a second acknowledgement of the same record, or one of
// another phase, moves nothing. The next request goes out through the
// watchdog timer armed for 0 ms, after what arrived together is handled.
class CFlashTransfer {
public:
    CFlashTransfer(ITimerHost& timers, IRequestSink& sink, IFlashTransferClient& client);

    // The longest the frame is given for any one answer; 0 (the default)
    // keeps the watchdog's own periods, a limit only ever shortens them.
    void setWaitLimitMs(int ms) { m_limitMs = ms > 0 ? ms : 0; }

    // Sends the begin request for the file `text` and arms the watchdog.
    void begin(std::string path, std::string text);
    void onReply(const DeviceMessage& reply);
    void onTimer();
    // The run was given up (its dialog closed, its link lost): a late
    // acknowledgement finds nothing to send and nothing to judge.
    void abandon();

    bool prepared() const { return !m_path.empty(); }
    bool programming() const { return m_programming; }
    int recordsSent() const { return m_sent; }
    const std::string& path() const { return m_path; }
    // The phase whose answer is awaited: 0, 1 or 2; -1 when none is.
    int awaitedPhase() const { return m_awaited; }

private:
    void setProgramming(bool on);
    void sendRecord(std::string_view line);
    void sendEnd();
    void sendNext(); // the first record after the begin, else the next record or the end
    void endNow(FlashTransferEnd::Cause cause);
    int bounded(int ms) const { return m_limitMs > 0 && m_limitMs < ms ? m_limitMs : ms; }
    std::optional<std::string_view> nextLine(); // nullopt at the end of the file

    ITimerHost& m_timers;
    IRequestSink& m_sink;
    IFlashTransferClient& m_client;
    std::string m_path;
    std::string m_text;
    CFlashLineReader m_reader{{}};
    bool m_programming = false;
    bool m_beginGraceUsed = false;
    int m_limitMs = 0;
    int m_awaited = -1;         // the phase of the one request that is out
    bool m_sendPending = false; // acknowledged: the next request goes out at the next turn
    int m_waitedMs = 0;         // how long the frame has been given for it
    FlashTransferEnd::Cause m_cause = FlashTransferEnd::Cause::Silent; // when the watchdog fires
    int m_sent = 0;
};

// What the run shows: the dialog's texts and bar, and whether it may close.
struct FlashDisplay {
    std::string line = "0";                        // records sent, as last shown
    std::string count = "of 0 records programmed"; // the total
    std::string file;                              // name and release
    std::string fileOf;                            // "File 1 of 3"
    int bar = 0;                                   // 0..100
    bool closeEnabled = true;
    int sent = 0;  // records sent of the file being programmed, every one counted
    int total = 0; // its record count
    // Not empty once a transfer failed: what happened, shown until the next run.
    std::string failure;
};

enum class FlashQuestion { Start, Unverified, Restart };

class IFlashRunHost {
public:
    virtual ~IFlashRunHost() = default;
    // The whole file; nullopt when it cannot be read.
    virtual std::optional<std::string> readFile(const std::string& path) = 0;
    virtual void showMessage(std::string_view text) = 0;
    virtual void showWarning(std::string_view text) = 0; // with the exclamation icon
    // A transfer failed: what happened, where, and what the frame may need.
    virtual void showFailure(std::string_view text) { showMessage(text); }
    virtual bool askYesNo(FlashQuestion question, std::string_view text) = 0;
    virtual void displayChanged(const FlashDisplay& display) = 0;
    virtual void programmingChanged(bool on) = 0;
    // The run succeeded and the operator wants the frame restarted; the run
    // has sent "srestart" or "sloadapp" already.
    virtual void restartRequested() = 0;
    // A file was refused, or its transfer ended (programmed or failed),
    // before the run goes on.
    virtual void fileEnded(const FlashOutcome&) {}
};

inline constexpr std::string_view kFlashCaption = "Firmware update";
inline constexpr std::string_view kFlashStartQuestion = "Start programming flash";
inline constexpr std::string_view kFlashNotCompatible =
    "Flash file is not compatible with current device type";
inline constexpr std::string_view kFlashUnverified =
    "Flash file cannot be verified, continue anyway";
inline constexpr std::string_view kFlashProgrammingError = "Flash programming error";
inline constexpr std::string_view kFlashRecoveryHint =
    "The frame's flash may be only partly written: if it does not start its "
    "application, it needs its recovery mode to be programmed again.";

// The request that restarts the frame after a successful run: "sloadapp" in
// recovery mode, else "srestart" with 1.
DeviceMessage flashRestartRequest(int runMode);

// A run of the firmware dialog: the files the operator chose, programmed from
// the last chosen to the first, with progress and a judgement per file.
// Every file is read and checked before anything is sent, and the question
// names them and the frame.
class CFlashRun final : private IFlashTransferClient {
public:
    CFlashRun(ITimerHost& timers, IRequestSink& sink, IFlashRunHost& host);

    // The frame the run programs, as the connection shows it; `label` names
    // it in the question ("Studio A (10.0.1.20)").
    void setDevice(int family, int runMode, std::string label = {}) {
        m_family = family;
        m_runMode = runMode;
        m_frameLabel = std::move(label);
    }
    // See CFlashTransfer::setWaitLimitMs.
    void setWaitLimitMs(int ms) { m_transfer.setWaitLimitMs(ms); }
    // The chosen files, in the order the file dialog returned them. Checks
    // them all, then asks whether to start; false when nothing started.
    bool start(const std::vector<std::string>& paths);
    void onReply(const DeviceMessage& reply) { m_transfer.onReply(reply); }
    void onTimer() { m_transfer.onTimer(); }
    // The link went down: the transfer fails now, with where it stopped.
    void linkLost();
    // The dialog closes: may it, and if so nothing of the run goes on.
    bool close();

    bool busy() const { return m_transfer.prepared(); }
    bool programming() const { return m_transfer.programming(); }
    bool closeWanted() const { return m_closeWanted; }
    const FlashDisplay& display() const { return m_display; }
    int fileIndex() const { return m_fileIndex; }
    int fileCount() const { return m_fileCount; }
    std::size_t queued() const { return m_queue.size(); }
    int totalRecords() const { return m_total; }
    const FlashOutcome& outcome() const { return m_outcome; }
    // The file being programmed; empty when none is.
    const std::string& currentPath() const { return m_transfer.path(); }

private:
    // A file read and checked, waiting for its turn.
    struct Prepared {
        std::string path;
        std::string text;
        std::string release;
        int records = 0;
    };

    void programmingChanged(bool on) override { m_host.programmingChanged(on); }
    void recordsSent(int count) override;
    void transferEnded(const FlashTransferEnd& end) override;

    std::optional<Prepared> check(const std::string& path, std::vector<std::string>& unverified);
    void begin(Prepared file);
    void refuse(const std::string& path, std::string reason);
    void endRun();
    std::string startQuestion() const;
    std::string failureText(const FlashTransferEnd& end) const;
    void show() { m_host.displayChanged(m_display); }

    IFlashRunHost& m_host;
    IRequestSink& m_sink;
    CFlashTransfer m_transfer;
    std::deque<Prepared> m_queue; // the next file to program at the back
    int m_family = 0;
    int m_runMode = 1;
    std::string m_frameLabel;
    int m_total = 0;
    int m_step = 100;
    int m_fileCount = 0;
    int m_fileIndex = 0;
    bool m_closeWanted = false;
    FlashDisplay m_display;
    FlashOutcome m_outcome;
    std::string m_path;
};

} // namespace velmar
