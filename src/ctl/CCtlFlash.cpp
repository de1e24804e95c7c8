// velmarctl flash and flash-join: the firmware dialog's run and the window's
// "Save all flash file", without the windows.

#include "ctl/CCtlRunner.h"
#include "ctl/FlashProgress.h"
#include "protocol/JsonWriter.h"
#include "link/QtText.h"
#include "engine/CQtTimerHost.h"
#include "maintenance/FlashFiles.h"
#include "maintenance/FlashTransfer.h"
#include "protocol/TerminalText.h"

#include <QElapsedTimer>
#include <map>

namespace velmar {

namespace {

// Answers the run's questions from the command line and reports its progress.
class CCtlFlashHost final : public IFlashRunHost {
public:
    CCtlFlashHost(const CtlOptions& o, std::map<std::string, std::string> files, bool terminal,
                  std::function<void(std::string_view)> print,
                  std::function<void(std::string_view)> fail)
        : m_options(o), m_files(std::move(files)), m_terminal(terminal && !o.json),
          m_print(std::move(print)), m_fail(std::move(fail)) {
        m_clock.start();
    }

    std::optional<std::string> readFile(const std::string& path) override {
        const auto it = m_files.find(path);
        if (it == m_files.end())
            return std::nullopt;
        return it->second;
    }
    void showMessage(std::string_view text) override { m_fail(text); }
    void showWarning(std::string_view text) override { m_fail(text); }
    // The programming error is told with its record by the command itself.
    void showFailure(std::string_view) override {}
    bool askYesNo(FlashQuestion question, std::string_view) override {
        switch (question) {
        case FlashQuestion::Start: return true;
        case FlashQuestion::Unverified: return m_options.yes;
        case FlashQuestion::Restart: m_restartAsked = true; return m_options.restart;
        }
        return false;
    }
    void displayChanged(const FlashDisplay& d) override {
        if (m_options.json || d.total == 0)
            return;
        if (d.sent == 0) {
            m_clock.restart();
            m_tenth = 0;
        }
        if (m_terminal) {
            // One line, rewritten in place, at most ten times a second.
            if (d.sent != d.total && m_lastDraw.isValid() && m_lastDraw.elapsed() < 100)
                return;
            m_lastDraw.start();
            std::string line = "\r";
            line += flashProgressText(m_fileIndex, m_fileCount, d.sent, d.total, m_clock.elapsed());
            line += "\x1b[K";
            m_print(line);
            m_lineOpen = true;
            return;
        }
        const int tenth = d.total > 0 ? d.sent * 10 / d.total : 0;
        if (tenth > m_tenth) {
            m_tenth = tenth;
            m_print(
                flashProgressText(m_fileIndex, m_fileCount, d.sent, d.total, m_clock.elapsed()) +
                "\n");
        }
    }
    void programmingChanged(bool on) override {
        if (m_programming)
            m_programming(on);
    }
    void restartRequested() override { m_restarted = true; }
    void fileEnded(const FlashOutcome& outcome) override {
        endLine();
        m_ended.push_back(outcome);
    }

    void endLine() {
        if (m_lineOpen)
            m_print("\n");
        m_lineOpen = false;
    }
    void setFile(int index, int count) {
        m_fileIndex = index;
        m_fileCount = count;
    }
    std::function<void(bool)> m_programming;
    std::vector<FlashOutcome> m_ended;
    bool m_restarted = false;
    bool m_restartAsked = false;

private:
    const CtlOptions& m_options;
    std::map<std::string, std::string> m_files;
    bool m_terminal;
    std::function<void(std::string_view)> m_print;
    std::function<void(std::string_view)> m_fail;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastDraw;
    int m_fileIndex = 0;
    int m_fileCount = 0;
    int m_tenth = 0;
    bool m_lineOpen = false;
};

std::string fileName(const std::string& path) { return flashDisplayName(path, {}); }

} // namespace

std::span<const CCtlRunner::RunnerRow> CCtlRunner::flashRunners() {
    static constexpr RunnerRow kRows[] = {
        {CtlVerb::Flash, &CCtlRunner::flash},
        {CtlVerb::FlashJoin, &CCtlRunner::flashJoin},
    };
    return kRows;
}

int CCtlRunner::flash(const CtlOptions& o) {
    // Every file is read and checked before connecting: a file that cannot be
    // sent as it stands never costs a connection, and nothing is half sent.
    std::map<std::string, std::string> files;
    for (const std::string& path : o.files) {
        std::string error;
        std::optional<std::string> bytes = readFlashFile(qs(path), &error);
        if (!bytes) {
            fail(error + "; nothing was sent");
            return kExitUsage;
        }
        FlashFile parsed = parseFlashFile(std::move(*bytes));
        if (parsed.recordCount == 0) {
            fail(path + ": holds no records; nothing was sent");
            return kExitUsage;
        }
        if (!parsed.refusal.empty()) {
            fail(path + ": " + parsed.refusal + "; nothing was sent");
            return kExitUsage;
        }
        // Every file's header is checked before anything is sent; whether
        // the type fits the frame is seen once it is connected.
        if (!o.yes && !flashFitsFamily(parsed.header.type, 0).has_value()) {
            fail(path + ": " + std::string(kFlashUnverified) +
                 "? Its header names no type (--yes sends it anyway); nothing was sent");
            return kExitUsage;
        }
        files[path] = std::move(parsed.text);
    }

    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;

    CCtlFlashHost host(
        o, std::move(files), m_env.outIsTerminal, [this](std::string_view t) { print(t); },
        [this](std::string_view t) { fail(t); });
    CFlashRun* run = nullptr;
    CQtTimerHost timers([&run](int id) {
        if (id == kTimerFirmware && run)
            run->onTimer();
    });
    CFlashRun flashRun(timers, m_session->engine(), host);
    run = &flashRun;
    // An explicit --timeout bounds every wait of the transfer as it bounds
    // every other answer; without it the watchdog keeps its own periods.
    if (o.timeoutGiven)
        flashRun.setWaitLimitMs(o.timeoutMs);
    host.m_programming = [this](bool on) { m_session->engine().setProgramming(on); };
    m_session->setObserver([&](const DeviceMessage& m, bool isReply, const CResponseDecoder&) {
        if (isReply && m.command == CommandId::sprog)
            flashRun.onReply(m);
    });
    flashRun.setDevice(m_session->state().family, m_session->state().runMode,
                       m_session->engine().frameLabel());

    // The window programs the last chosen file first; here the files go in
    // the order they are named.
    std::vector<std::string> queue(o.files.rbegin(), o.files.rend());
    const auto follow = [&] { host.setFile(flashRun.fileIndex(), flashRun.fileCount()); };
    host.setFile(1, static_cast<int>(queue.size()));
    if (!flashRun.start(queue)) {
        disconnect();
        return kExitUsage; // refused before anything was sent; the reason is written
    }
    // The run bounds every wait itself: its watchdog ends a silent transfer.
    int lastIndex = 0;
    const CCtlSession::Wait wait = m_session->waitFor(
        [&] {
            if (flashRun.fileIndex() != lastIndex && flashRun.fileIndex() != 0) {
                lastIndex = flashRun.fileIndex();
                follow();
            }
            return !flashRun.busy();
        },
        -1);
    host.endLine();
    const bool restarted = host.m_restarted;
    m_session->setObserver(nullptr);
    if (wait != CCtlSession::Wait::Done) {
        // Where the transfer stood, before it is ended.
        std::string where = fileName(flashRun.currentPath()); // fail() makes it safe
        if (o.files.size() > 1) {
            where += " (file ";
            where += std::to_string(flashRun.fileIndex());
            where += " of ";
            where += std::to_string(o.files.size());
            where += ")";
        }
        const int sent = flashRun.display().sent;
        if (sent == 0) {
            where += ": the transfer stopped at the begin request";
        } else {
            where += ": the transfer stopped at record ";
            where += std::to_string(sent);
            where += " of ";
            where += std::to_string(flashRun.display().total);
        }
        if (wait == CCtlSession::Wait::LinkLost)
            flashRun.linkLost();
        else
            flashRun.close();
        host.endLine();
        m_session->setObserver(nullptr);
        m_session->engine().setProgramming(false);
        fail(where);
        const int rc = waitFailure(wait, "the transfer stopped");
        if (wait == CCtlSession::Wait::LinkLost)
            fail(kFlashRecoveryHint);
        return rc;
    }
    disconnect();

    const bool allProgrammed =
        host.m_ended.size() == o.files.size() &&
        std::all_of(host.m_ended.begin(), host.m_ended.end(),
                    [](const FlashOutcome& f) { return f.kind == FlashOutcome::Programmed; });
    if (!allProgrammed && !host.m_ended.empty() &&
        host.m_ended.back().kind == FlashOutcome::Failed) {
        const FlashOutcome& f = host.m_ended.back();
        std::string text = f.path;
        text += ": programming error: ";
        text += f.reason;
        fail(text);
        if (f.recordsSent > 0)
            fail(kFlashRecoveryHint);
        const std::size_t left = o.files.size() - host.m_ended.size();
        if (left > 0)
            fail(std::to_string(left) + " further file" + (left == 1 ? " was" : "s were") +
                 " not sent");
    } else if (!allProgrammed) {
        fail("the run ended before every file was programmed");
    }
    if (o.json) {
        CJsonWriter out;
        out.beginObject().key("files").beginArray();
        for (const std::string& path : o.files) {
            out.beginObject().field("file", std::string_view(path));
            const auto it = std::find_if(host.m_ended.begin(), host.m_ended.end(),
                                         [&](const FlashOutcome& f) { return f.path == path; });
            if (it == host.m_ended.end()) {
                out.field("result", "not sent");
            } else {
                out.field("result", it->kind == FlashOutcome::Programmed ? "programmed" : "error")
                    .field("records", it->totalRecords)
                    .field("sent", it->recordsSent);
            }
            out.endObject();
        }
        out.endArray().field("restarted", restarted).endObject();
        printJson(out.text());
    } else if (allProgrammed) {
        for (const FlashOutcome& f : host.m_ended)
            print(terminalSafe(fileName(f.path)) + ": " + std::to_string(f.totalRecords) +
                  " records programmed\n");
        if (restarted)
            print(m_session && m_session->state().runMode == kRunModeRecovery
                      ? "frame told to load its application\n"
                      : "frame restarted\n");
    }
    return allProgrammed ? kExitOk : kExitFrame;
}

int CCtlRunner::flashJoin(const CtlOptions& o) {
    const FlashJoinType type = o.type == "450" ? FlashJoinType::Panel : FlashJoinType::Frame;
    int records = 0;
    const std::string error = joinFlashFilesAt(qs(o.folder), qs(o.file), type, o.release, &records);
    if (!error.empty()) {
        fail(error);
        return kExitUsage;
    }
    if (o.json) {
        CJsonWriter out;
        out.beginObject()
            .field("file", std::string_view(o.file))
            .field("type", flashJoinTypeText(type))
            .field("release", std::string_view(o.release))
            .field("records", records)
            .endObject();
        printJson(out.text());
    } else {
        print(terminalSafe(o.file) + ": " + std::to_string(records) + " records joined\n");
    }
    return kExitOk;
}

} // namespace velmar
