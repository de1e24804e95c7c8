#include "maintenance/FlashTransfer.h"

#include "main/DeviceState.h"

#include <algorithm>
#include <utility>

namespace velmar {

namespace {

constexpr int kPhaseBegin = 0;
constexpr int kPhaseRecord = 1;
constexpr int kPhaseEnd = 2;

DeviceMessage programRequest(int phase) {
    DeviceMessage m = DeviceMessage::request(CommandId::sprog);
    m.setI(1, phase);
    return m;
}

bool isRecord(std::string_view line) { return !line.empty() && line.front() == 'S'; }

} // namespace

// ---- transfer ---------------------------------------------------------------

CFlashTransfer::CFlashTransfer(ITimerHost& timers, IRequestSink& sink, IFlashTransferClient& client)
    : m_timers(timers), m_sink(sink), m_client(client) {}

void CFlashTransfer::begin(std::string path, std::string text) {
    m_path = std::move(path);
    m_text = std::move(text);
    m_reader = CFlashLineReader(m_text);
    m_sent = 0;
    m_beginGraceUsed = false;
    m_endAcknowledged = false;
    m_sink.sendRequest(programRequest(kPhaseBegin));
    m_timers.startTimer(kTimerFirmware, kFlashBeginWaitMs);
}

void CFlashTransfer::setProgramming(bool on) {
    if (m_programming == on)
        return;
    m_programming = on;
    m_client.programmingChanged(on);
}

// Empty lines are passed over here as the count passes over them, so a blank
// line inside or at the end of a file never cuts the transfer short.
std::optional<std::string_view> CFlashTransfer::nextLine() {
    while (const std::optional<std::string_view> line = m_reader.next())
        if (!line->empty())
            return line;
    return std::nullopt;
}

void CFlashTransfer::sendRecord(std::string_view line) {
    DeviceMessage m = programRequest(kPhaseRecord);
    m.setText(fields::kProgramLine, line);
    m_sink.sendRequest(m);
    ++m_sent;
    m_client.recordsSent(m_sent);
}

void CFlashTransfer::sendEnd() { m_sink.sendRequest(programRequest(kPhaseEnd)); }

void CFlashTransfer::onReply(const DeviceMessage& reply) {
    if (reply.command != CommandId::sprog || !reply.isReply() || !prepared())
        return;
    if (reply.status != 0) {
        // Refused, the begin included: the watchdog ends it now.
        m_beginGraceUsed = true;
        m_timers.startTimer(kTimerFirmware, 0);
        return;
    }
    switch (reply.i(1)) {
    case kPhaseBegin: {
        if (m_programming)
            return;
        setProgramming(true);
        m_timers.startTimer(kTimerFirmware, kFlashRecordWaitMs);
        m_reader = CFlashLineReader(m_text);
        std::optional<std::string_view> line = nextLine();
        // One line of another kind may stand ahead of the records.
        if (line && !isRecord(*line))
            line = nextLine();
        if (line && isRecord(*line))
            sendRecord(*line); // else the watchdog ends it: nothing to send
        return;
    }
    case kPhaseRecord: {
        if (!m_programming)
            return;
        m_timers.startTimer(kTimerFirmware, kFlashRecordWaitMs);
        const std::optional<std::string_view> line = nextLine();
        if (line && isRecord(*line))
            sendRecord(*line);
        else
            sendEnd();
        return;
    }
    case kPhaseEnd:
        if (!m_programming)
            return;
        m_endAcknowledged = true;
        m_client.recordsSent(m_sent);
        m_timers.startTimer(kTimerFirmware, 0);
        return;
    default: return;
    }
}

void CFlashTransfer::onTimer() {
    m_timers.stopTimer(kTimerFirmware);
    if (!prepared())
        return;
    if (!m_programming && !m_beginGraceUsed) {
        // No begin acknowledgement yet: the frame may still be preparing.
        m_beginGraceUsed = true;
        m_timers.startTimer(kTimerFirmware, kFlashBeginGraceMs);
        return;
    }
    const int sent = m_sent;
    const bool acknowledged = m_endAcknowledged;
    m_reader = CFlashLineReader({});
    m_text.clear();
    m_path.clear();
    m_sent = 0;
    m_endAcknowledged = false;
    setProgramming(false);
    m_client.transferEnded(sent, acknowledged);
}

void CFlashTransfer::abandon() {
    if (prepared())
        m_timers.stopTimer(kTimerFirmware);
    m_reader = CFlashLineReader({});
    m_text.clear();
    m_path.clear();
    m_sent = 0;
    m_endAcknowledged = false;
    setProgramming(false);
}

// ---- run --------------------------------------------------------------------

DeviceMessage flashRestartRequest(int runMode) {
    if (runMode == kRunModeRecovery)
        return DeviceMessage::request(CommandId::sloadapp);
    DeviceMessage m = DeviceMessage::request(CommandId::srestart);
    m.setI(1, 1);
    return m;
}

CFlashRun::CFlashRun(ITimerHost& timers, IRequestSink& sink, IFlashRunHost& host)
    : m_host(host), m_sink(sink), m_transfer(timers, sink, *this) {}

bool CFlashRun::start(const std::vector<std::string>& paths) {
    if (busy())
        return false;
    m_fileCount = 0;
    m_fileIndex = 0;
    m_closeWanted = false;
    m_outcome = {};
    m_queue.clear();
    for (const std::string& p : paths)
        if (!p.empty())
            m_queue.push_back(p);
    if (m_queue.empty())
        return false;
    if (!m_host.askYesNo(FlashQuestion::Start, kFlashStartQuestion))
        return false;
    m_fileCount = static_cast<int>(m_queue.size());
    m_fileIndex = 1;
    return prepareNext(true);
}

bool CFlashRun::prepareNext(bool checkHeader) {
    const std::string path = m_queue.back();
    m_queue.pop_back();
    return prepare(path, checkHeader);
}

void CFlashRun::endRun() {
    m_queue.clear();
    m_fileIndex = 0;
    m_fileCount = 0;
    m_total = 0;
    m_display.closeEnabled = true;
    show();
}

void CFlashRun::refuse(const std::string& path, std::string reason) {
    m_outcome = {FlashOutcome::Refused, 0, 0, path, std::move(reason)};
    endRun();
}

bool CFlashRun::prepare(const std::string& path, bool checkHeader) {
    const std::optional<std::string> bytes = m_host.readFile(path);
    const std::string name = flashDisplayName(path, {});
    if (!bytes) {
        const std::string why = "Cannot read the flash file " + name + ": nothing was sent";
        m_host.showMessage(why);
        refuse(path, why);
        return false;
    }
    FlashFile file = parseFlashFile(std::move(*bytes));
    std::string release;
    if (checkHeader) {
        const std::optional<bool> fits = flashFitsFamily(file.header.type, m_family);
        if (fits && !*fits) {
            m_host.showWarning(kFlashNotCompatible);
            refuse(path, std::string(kFlashNotCompatible));
            return false;
        }
        if (!fits && !m_host.askYesNo(FlashQuestion::Unverified, kFlashUnverified)) {
            refuse(path, "The flash file could not be verified");
            return false;
        }
        release = file.header.release;
    }
    if (file.recordCount == 0) {
        const std::string why = "The flash file " + name + " holds no records: nothing was sent";
        m_host.showMessage(why);
        refuse(path, why);
        return false;
    }
    if (!file.refusal.empty()) {
        const std::string why = "Flash file " + name + ": " + file.refusal + ". Nothing was sent.";
        m_host.showMessage(why);
        refuse(path, why);
        return false;
    }
    m_path = path;
    m_total = file.recordCount;
    m_step = m_total / 100;
    m_display.line = "0";
    m_display.count = "of " + std::to_string(m_total) + " records programmed";
    m_display.file = flashDisplayName(path, release);
    if (m_fileCount > 0)
        m_display.fileOf =
            "File " + std::to_string(m_fileIndex) + " of " + std::to_string(m_fileCount);
    m_display.bar = 0;
    m_display.sent = 0;
    m_display.total = m_total;
    m_display.closeEnabled = false;
    show();
    m_transfer.begin(path, std::move(file.text));
    return true;
}

void CFlashRun::recordsSent(int n) {
    const int total = m_total;
    m_display.sent = n;
    if (n % 64 == 0 || total - n < 64)
        m_display.line = std::to_string(n);
    if (m_step == 0 && total > 0)
        m_display.bar = std::min(100, n * 100 / total); // fewer than 100 records: per record
    else if (n == 1)
        m_display.bar = 0;
    else if (n == total)
        m_display.bar = 100;
    else if (m_step > 0 && n % m_step == 0)
        m_display.bar = std::min(100, m_display.bar + 1);
    show();
}

void CFlashRun::transferEnded(int sent, bool endAcknowledged) {
    const bool programmed = endAcknowledged && sent == m_total;
    m_outcome = {
        programmed ? FlashOutcome::Programmed : FlashOutcome::Failed, sent, m_total, m_path, {}};
    m_host.fileEnded(m_outcome);
    bool restart = false;
    if (programmed && m_queue.empty()) {
        std::string text = "Flash successfully programmed.\nRestart device";
        if (m_runMode == kRunModeRecovery)
            text += " and load application";
        restart = m_host.askYesNo(FlashQuestion::Restart, text);
        m_fileIndex = 0;
        m_fileCount = 0;
    } else if (!programmed) {
        m_host.showMessage("Flash programming error");
        m_queue.clear();
        m_fileIndex = 0;
        m_fileCount = 0;
    }
    m_total = 0;
    if (restart) {
        m_sink.sendRequest(flashRestartRequest(m_runMode));
        m_host.restartRequested();
        m_closeWanted = true;
        m_display.closeEnabled = true;
        show();
        return;
    }
    if (!m_queue.empty()) {
        ++m_fileIndex;
        prepareNext(false);
        return;
    }
    m_display.closeEnabled = true;
    show();
}

bool CFlashRun::close() {
    if (m_transfer.programming())
        return false;
    // A begin request may still be unanswered; its late acknowledgement
    // must start nothing once the dialog is gone.
    m_transfer.abandon();
    m_queue.clear();
    m_fileIndex = 0;
    m_fileCount = 0;
    m_total = 0;
    return true;
}

} // namespace velmar
