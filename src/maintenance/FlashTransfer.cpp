#include "maintenance/FlashTransfer.h"

#include "engine/DeviceState.h"

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
    m_cause = FlashTransferEnd::Cause::Silent;
    m_sink.sendRequest(programRequest(kPhaseBegin));
    m_awaited = kPhaseBegin;
    m_waitedMs = bounded(kFlashBeginWaitMs);
    m_timers.startTimer(kTimerFirmware, m_waitedMs);
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
    m_awaited = kPhaseRecord;
    ++m_sent;
    m_client.recordsSent(m_sent);
}

void CFlashTransfer::sendEnd() {
    m_sink.sendRequest(programRequest(kPhaseEnd));
    m_awaited = kPhaseEnd;
}

void CFlashTransfer::endNow(FlashTransferEnd::Cause cause) {
    m_cause = cause;
    m_beginGraceUsed = true;
    m_timers.startTimer(kTimerFirmware, 0);
}

void CFlashTransfer::onReply(const DeviceMessage& reply) {
    if (reply.command != CommandId::sprog || !reply.isReply() || !prepared())
        return;
    if (reply.status != 0) {
        // Refused, the begin included: the watchdog ends it now.
        m_sendPending = false;
        endNow(FlashTransferEnd::Cause::Refused);
        return;
    }
    // Only the answer to the request that is out counts: a second
    // acknowledgement, or one of another phase, is more than was sent.
    if (m_awaited < 0 || reply.i(1) != m_awaited)
        return;
    m_awaited = -1;
    switch (reply.i(1)) {
    case kPhaseBegin:
        setProgramming(true);
        m_reader = CFlashLineReader(m_text);
        [[fallthrough]];
    case kPhaseRecord:
        // The next request goes out once the lines that arrived with this
        // one are handled, so a duplicate among them finds nothing out and
        // is not taken for the next record's answer.
        m_sendPending = true;
        m_timers.startTimer(kTimerFirmware, 0);
        return;
    case kPhaseEnd:
        m_client.recordsSent(m_sent);
        endNow(FlashTransferEnd::Cause::EndAcknowledged);
        return;
    default: return;
    }
}

void CFlashTransfer::sendNext() {
    m_sendPending = false;
    m_waitedMs = bounded(kFlashRecordWaitMs);
    m_timers.startTimer(kTimerFirmware, m_waitedMs);
    std::optional<std::string_view> line = nextLine();
    if (m_sent == 0) {
        // One line of another kind may stand ahead of the records.
        if (line && !isRecord(*line))
            line = nextLine();
        if (line && isRecord(*line))
            sendRecord(*line);
        else
            endNow(FlashTransferEnd::Cause::NoRecord);
        return;
    }
    if (line && isRecord(*line))
        sendRecord(*line);
    else
        sendEnd();
}

void CFlashTransfer::onTimer() {
    m_timers.stopTimer(kTimerFirmware);
    if (!prepared())
        return;
    if (m_sendPending) {
        sendNext();
        return;
    }
    if (!m_programming && !m_beginGraceUsed) {
        // No begin acknowledgement yet: the frame may still be preparing,
        // within the limit the caller set for any one answer.
        m_beginGraceUsed = true;
        const int grace = m_limitMs > 0 ? std::min(kFlashBeginGraceMs, m_limitMs - m_waitedMs)
                                        : kFlashBeginGraceMs;
        if (grace > 0) {
            m_waitedMs += grace;
            m_timers.startTimer(kTimerFirmware, grace);
            return;
        }
    }
    FlashTransferEnd end;
    end.cause = m_cause;
    end.recordsSent = m_sent;
    end.awaitedPhase = m_awaited;
    end.waitedMs = m_waitedMs;
    abandon();
    m_client.transferEnded(end);
}

void CFlashTransfer::abandon() {
    if (prepared())
        m_timers.stopTimer(kTimerFirmware);
    m_reader = CFlashLineReader({});
    m_text.clear();
    m_path.clear();
    m_sent = 0;
    m_awaited = -1;
    m_sendPending = false;
    m_cause = FlashTransferEnd::Cause::Silent;
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
    std::vector<std::string> chosen;
    for (const std::string& p : paths)
        if (!p.empty())
            chosen.push_back(p);
    if (chosen.empty())
        return false;
    if (!m_display.failure.empty()) {
        m_display.failure.clear();
        show();
    }
    // Every file is read and checked before the operator is asked, so that
    // no answer of theirs can send a file that is not an image for this frame.
    std::vector<std::string> unverified;
    std::deque<Prepared> files;
    for (const std::string& path : chosen) {
        std::optional<Prepared> file = check(path, unverified);
        if (!file)
            return false;
        files.push_back(std::move(*file));
    }
    if (!unverified.empty()) {
        std::string text(kFlashUnverified);
        text += "?\n\nNo type in the header of:";
        for (const std::string& name : unverified)
            text += "\n  " + name;
        if (!m_host.askYesNo(FlashQuestion::Unverified, text)) {
            refuse(chosen.back(), "The flash file could not be verified");
            return false;
        }
    }
    m_queue = std::move(files);
    if (!m_host.askYesNo(FlashQuestion::Start, startQuestion())) {
        m_queue.clear();
        return false;
    }
    m_fileCount = static_cast<int>(m_queue.size());
    m_fileIndex = 1;
    Prepared first = std::move(m_queue.back());
    m_queue.pop_back();
    begin(std::move(first));
    return true;
}

std::optional<CFlashRun::Prepared> CFlashRun::check(const std::string& path,
                                                    std::vector<std::string>& unverified) {
    const std::string name = flashDisplayName(path, {});
    std::optional<std::string> bytes = m_host.readFile(path);
    if (!bytes) {
        const std::string why = "Cannot read the flash file " + name + ": nothing was sent";
        m_host.showMessage(why);
        refuse(path, why);
        return std::nullopt;
    }
    FlashFile file = parseFlashFile(std::move(*bytes));
    if (file.recordCount == 0) {
        const std::string why = "The flash file " + name + " holds no records: nothing was sent";
        m_host.showMessage(why);
        refuse(path, why);
        return std::nullopt;
    }
    if (!file.refusal.empty()) {
        const std::string why = "Flash file " + name + ": " + file.refusal + ". Nothing was sent.";
        m_host.showMessage(why);
        refuse(path, why);
        return std::nullopt;
    }
    const std::optional<bool> fits = flashFitsFamily(file.header.type, m_family);
    if (fits && !*fits) {
        std::string why(kFlashNotCompatible);
        why += ": ";
        why += name;
        why += " is an image for the ";
        why += file.header.type;
        why += ". Nothing was sent.";
        m_host.showWarning(why);
        refuse(path, why);
        return std::nullopt;
    }
    if (!fits)
        unverified.push_back(name);
    return Prepared{path, std::move(file.text), file.header.release, file.recordCount};
}

std::string CFlashRun::startQuestion() const {
    std::string text(kFlashStartQuestion);
    text += "?\n\nFrame: ";
    text += m_frameLabel.empty() ? std::string("the connected frame") : m_frameLabel;
    text += m_queue.size() == 1 ? "\nFile:" : "\nFiles, in this order:";
    // The queue is programmed from its back.
    for (auto it = m_queue.rbegin(); it != m_queue.rend(); ++it) {
        text += "\n  ";
        text += flashDisplayName(it->path, it->release);
        text += ", ";
        text += std::to_string(it->records);
        text += it->records == 1 ? " record" : " records";
    }
    return text;
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
    m_outcome = {FlashOutcome::Refused, 0, 0, path, std::move(reason), false};
    m_host.fileEnded(m_outcome);
    endRun();
}

void CFlashRun::begin(Prepared file) {
    m_path = file.path;
    m_total = file.records;
    m_step = m_total / 100;
    // Appended piece by piece: GCC 12 at -O3 warns falsely on literal + string.
    m_display.line.assign(1, '0');
    m_display.count.assign("of ");
    m_display.count += std::to_string(m_total);
    m_display.count += " records programmed";
    m_display.file = flashDisplayName(file.path, file.release);
    if (m_fileCount > 0)
        m_display.fileOf =
            "File " + std::to_string(m_fileIndex) + " of " + std::to_string(m_fileCount);
    m_display.bar = 0;
    m_display.sent = 0;
    m_display.total = m_total;
    m_display.closeEnabled = false;
    m_display.failure.clear();
    show();
    m_transfer.begin(std::move(file.path), std::move(file.text));
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

std::string CFlashRun::failureText(const FlashTransferEnd& end) const {
    using Cause = FlashTransferEnd::Cause;
    std::string record = "record ";
    record += std::to_string(end.recordsSent);
    record += " of ";
    record += std::to_string(m_total);
    const std::string awaited = end.awaitedPhase == 0   ? std::string("the begin request")
                                : end.awaitedPhase == 2 ? std::string("the end request")
                                                        : record;
    std::string text;
    switch (end.cause) {
    case Cause::LinkLost:
        text = "The link to the frame was lost at ";
        text += end.recordsSent == 0 ? std::string("the begin request") : record;
        break;
    case Cause::Refused:
        text = "The frame refused ";
        text += awaited;
        break;
    case Cause::Silent:
        text = "The frame did not answer ";
        text += awaited;
        text += " within ";
        text += std::to_string(end.waitedMs);
        text += " ms";
        break;
    case Cause::NoRecord: text = "No record could be read after the begin request"; break;
    case Cause::EndAcknowledged:
        text = "The frame acknowledged the end after ";
        text += record;
        break;
    }
    return text;
}

void CFlashRun::transferEnded(const FlashTransferEnd& end) {
    const int sent = end.recordsSent;
    const bool programmed =
        end.cause == FlashTransferEnd::Cause::EndAcknowledged && sent == m_total;
    m_outcome = {programmed ? FlashOutcome::Programmed : FlashOutcome::Failed,
                 sent,
                 m_total,
                 m_path,
                 programmed ? std::string() : failureText(end),
                 end.cause == FlashTransferEnd::Cause::LinkLost};
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
        // Said at once and left standing in the dialog: which file, which
        // record, and what the frame may need now.
        std::string text(kFlashProgrammingError);
        text += "\n\n";
        text += flashDisplayName(m_path, {});
        if (m_fileCount > 1) {
            text += " (file ";
            text += std::to_string(m_fileIndex);
            text += " of ";
            text += std::to_string(m_fileCount);
            text += ")";
        }
        text += ": ";
        text += m_outcome.reason;
        text += ".";
        if (m_queue.size() == 1) {
            text += " The file after it was not sent.";
        } else if (!m_queue.empty()) {
            text += " The ";
            text += std::to_string(m_queue.size());
            text += " files after it were not sent.";
        }
        if (sent > 0 || m_outcome.linkLost) {
            text += "\n";
            text += kFlashRecoveryHint;
        }
        m_display.failure = text;
        m_display.closeEnabled = true;
        m_queue.clear();
        show();
        m_host.showFailure(text);
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
        Prepared next = std::move(m_queue.back());
        m_queue.pop_back();
        begin(std::move(next));
        return;
    }
    m_display.closeEnabled = true;
    show();
}

void CFlashRun::linkLost() {
    if (!busy())
        return;
    FlashTransferEnd end;
    end.cause = FlashTransferEnd::Cause::LinkLost;
    end.recordsSent = m_transfer.recordsSent();
    end.awaitedPhase = m_transfer.awaitedPhase();
    m_transfer.abandon();
    transferEnded(end);
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
