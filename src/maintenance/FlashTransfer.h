#pragma once

#include "main/EngineInterfaces.h"
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

// What the transfer tells its owner.
class IFlashTransferClient {
public:
    virtual ~IFlashTransferClient() = default;
    virtual void programmingChanged(bool on) = 0;
    virtual void
    recordsSent(int count) = 0; // after each record, and with the end's acknowledgement
    // The watchdog ended the transfer; `endAcknowledged` only when the frame
    // acknowledged the end request.
    virtual void transferEnded(int recordsSent, bool endAcknowledged) = 0;
};

// Sends one flash image to the frame: the begin request, then one record per
// acknowledgement, then the end request. Driven by the frame's "sprog" replies
// and by the firmware watchdog timer, which ends every transfer: a silent
// frame, an error reply or the end's acknowledgement all let it fire.
class CFlashTransfer {
public:
    CFlashTransfer(ITimerHost& timers, IRequestSink& sink, IFlashTransferClient& client);

    // Sends the begin request for the file `text` and arms the watchdog.
    void begin(std::string path, std::string text);
    void onReply(const DeviceMessage& reply);
    void onTimer();
    // The run was given up (its dialog closed): a late acknowledgement finds
    // nothing to send and nothing to judge.
    void abandon();

    bool prepared() const { return !m_path.empty(); }
    bool programming() const { return m_programming; }
    int recordsSent() const { return m_sent; }
    const std::string& path() const { return m_path; }

private:
    void setProgramming(bool on);
    void sendRecord(std::string_view line);
    void sendEnd();
    std::optional<std::string_view> nextLine(); // nullopt at the end of the file

    ITimerHost& m_timers;
    IRequestSink& m_sink;
    IFlashTransferClient& m_client;
    std::string m_path;
    std::string m_text;
    CFlashLineReader m_reader{{}};
    bool m_programming = false;
    bool m_beginGraceUsed = false;
    bool m_endAcknowledged = false;
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
};

enum class FlashQuestion { Start, Unverified, Restart };

// How the last file of a run ended.
struct FlashOutcome {
    enum Kind { None, Programmed, Failed, Refused } kind = None;
    int recordsSent = 0;
    int totalRecords = 0;
    std::string path;
    std::string reason; // why a file was refused
};

class IFlashRunHost {
public:
    virtual ~IFlashRunHost() = default;
    // The whole file; nullopt when it cannot be read.
    virtual std::optional<std::string> readFile(const std::string& path) = 0;
    virtual void showMessage(std::string_view text) = 0;
    virtual void showWarning(std::string_view text) = 0; // with the exclamation icon
    virtual bool askYesNo(FlashQuestion question, std::string_view text) = 0;
    virtual void displayChanged(const FlashDisplay& display) = 0;
    virtual void programmingChanged(bool on) = 0;
    // The run succeeded and the operator wants the frame restarted; the run
    // has sent "srestart" or "sloadapp" already.
    virtual void restartRequested() = 0;
    // A file's transfer ended (programmed or failed), before the run goes on.
    virtual void fileEnded(const FlashOutcome&) {}
};

inline constexpr std::string_view kFlashCaption = "Firmware update";
inline constexpr std::string_view kFlashStartQuestion = "Start programming flash";
inline constexpr std::string_view kFlashNotCompatible =
    "Flash file is not compatible with current device type";
inline constexpr std::string_view kFlashUnverified =
    "Flash file cannot be verified, continue anyway";

// The request that restarts the frame after a successful run: "sloadapp" in
// recovery mode, else "srestart" with 1.
DeviceMessage flashRestartRequest(int runMode);

// A run of the firmware dialog: the files the operator chose, programmed from
// the last chosen to the first, with progress and a judgement per file.
class CFlashRun final : private IFlashTransferClient {
public:
    CFlashRun(ITimerHost& timers, IRequestSink& sink, IFlashRunHost& host);

    // The frame the run programs, as the connection shows it.
    void setDevice(int family, int runMode) {
        m_family = family;
        m_runMode = runMode;
    }
    // The chosen files, in the order the file dialog returned them. Asks
    // whether to start; false when nothing started.
    bool start(const std::vector<std::string>& paths);
    void onReply(const DeviceMessage& reply) { m_transfer.onReply(reply); }
    void onTimer() { m_transfer.onTimer(); }
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

private:
    void programmingChanged(bool on) override { m_host.programmingChanged(on); }
    void recordsSent(int count) override;
    void transferEnded(int recordsSent, bool endAcknowledged) override;

    bool prepare(const std::string& path, bool checkHeader);
    void refuse(const std::string& path, std::string reason);
    void endRun();
    bool prepareNext(bool checkHeader);
    void show() { m_host.displayChanged(m_display); }

    IFlashRunHost& m_host;
    IRequestSink& m_sink;
    CFlashTransfer m_transfer;
    std::deque<std::string> m_queue;
    int m_family = 0;
    int m_runMode = 1;
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
