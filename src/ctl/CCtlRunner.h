#pragma once

#include "session/CCtlSession.h"
#include "ctl/CtlOptions.h"
#include "session/ReplyBook.h"
#include "link/DeviceList.h"

#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace velmar {

// Where velmarctl writes and which ports it uses; tests capture the output
// and may keep the numbered timers on a clock of their own.
struct CtlEnvironment {
    std::function<void(std::string_view)> out; // standard output
    std::function<void(std::string_view)> err; // standard error
    quint16 framePort = 10002;                 // search, echo probe
    quint16 replyPort = 10004;                 // search replies
    bool outIsTerminal = false;                // standard output is a terminal (progress lines)
    CCtlSession::TimerHostFactory timers;
};

// Runs one velmarctl command from start to end and returns its exit status.
// Each command that talks to a frame connects through a CCtlSession, waits
// until the frame has answered the window's start-up poll, does its work and
// disconnects.
class CCtlRunner {
public:
    explicit CCtlRunner(CtlEnvironment environment);
    ~CCtlRunner();

    // The command line without the program name: parsing, help, usage errors.
    int runArguments(std::span<const std::string_view> args);
    int run(const CtlOptions& options);

    // Ctrl+C: ends a watch (exit 0) or abandons any other wait.
    void interrupt();
    // The command's connection while it runs; null otherwise.
    CCtlSession* session() { return m_session.get(); }

    // The verb of each runner row: every command row needs one, and no verb
    // may have two.
    static std::vector<CtlVerb> runnerVerbs();

private:
    using Runner = int (CCtlRunner::*)(const CtlOptions&);
    struct RunnerRow {
        CtlVerb verb;
        Runner run;
    };
    static std::span<const RunnerRow> runners();
    // Each family's runners, in that family's file.
    static std::span<const RunnerRow> statusRunners();
    static std::span<const RunnerRow> crosspointRunners();
    static std::span<const RunnerRow> settingsRunners();
    static std::span<const RunnerRow> flashRunners();
    static std::span<const RunnerRow> adminRunners();
    static std::span<const RunnerRow> ipRoutingRunners();
    static std::span<const RunnerRow> labelRunners();
    static std::span<const RunnerRow> healthRunners();

    int discover(const CtlOptions& o);
    int status(const CtlOptions& o);
    int routes(const CtlOptions& o);
    int route(const CtlOptions& o);
    int xptSave(const CtlOptions& o);
    // Writes what `produce` makes of the connected, settled frame to o.file,
    // once `require` holds; the target is checked before connecting.
    int saveFromFrame(const CtlOptions& o, bool (CCtlRunner::*require)(),
                      const std::function<std::string(const DeviceState&)>& produce);
    int xptLoad(const CtlOptions& o);
    int watch(const CtlOptions& o);
    int send(const CtlOptions& o);
    int settingsShow(const CtlOptions& o);
    int settingsSave(const CtlOptions& o);
    int settingsApply(const CtlOptions& o);
    int cards(const CtlOptions& o);
    int changeCards(const CtlOptions& o, CardMake make);
    int flash(const CtlOptions& o);
    int flashJoin(const CtlOptions& o);
    int setId(const CtlOptions& o);
    int setIp(const CtlOptions& o);
    int setIpBySerial(const CtlOptions& o);
    int uptime(const CtlOptions& o);
    int dump(const CtlOptions& o);
    // Sends the requests of an administration command and reports each reply.
    int sendAdminRequests(const CtlOptions& o, const std::vector<DeviceMessage>& requests,
                          std::string_view what);
    int finishAdminRequests(const CtlOptions& o, class CSettingsReplyTracker& tracker,
                            std::string_view what);
    void printUnchanged(const CtlOptions& o, std::string_view text);
    int inputs(const CtlOptions& o);
    // flows, flow create/delete, dante routes/route/unroute, ppm and its changes
    int ipRouting(const CtlOptions& o);
    int labelsGet(const CtlOptions& o);
    int labelsSet(const CtlOptions& o);
    int labelsImport(const CtlOptions& o);
    int labelsExport(const CtlOptions& o);
    int gains(const CtlOptions& o);
    int levels(const CtlOptions& o);
    // Connects and reads every listed channel's labels, as the frame answered
    // the requests for them, into `rows`.
    int readLabels(const CtlOptions& o, std::vector<struct LabelRow>& rows);
    // On a connected session: reads the labels; false when the frame did not
    // report them all (the link stays up either way).
    bool readLabelsQuietly(const CtlOptions& o);
    // Sends a run of requests with a bounded number in flight; each wait for
    // the next answer is bounded by timeoutMs. Done, or why the run stopped.
    // `via`, when given, sees each reply first and passes it on to the run.
    CCtlSession::Wait runRequests(class CRequestRun& run, std::vector<DeviceMessage> requests,
                                  int timeoutMs, IDialogSink* via = nullptr);
    int health(const CtlOptions& o);

    // The window's search: the rows of the frames that answered within waitMs
    // (sooner once `enough` holds); none when no search could be made (`why`).
    std::optional<CDeviceList>
    search(int waitMs, const std::function<bool(const CDeviceList&)>& enough, std::string& why);
    // Finds the frame's row as the window's search would list it: its mark and
    // Type. Without an answer the address is used as typed, like a row added
    // by hand.
    CtlTarget findTarget(const CtlOptions& o);
    // Connects through a new session; an exit status other than kExitOk when
    // the frame was not reached (the message is written already).
    // `events`, when given, hears the engine from before the connect on.
    int openSession(const CtlOptions& o, CCtlSession::Observer observer,
                    IStateObserver* events = nullptr);
    // Connects and waits for the start-up poll; an exit status other than
    // kExitOk when that failed (the message is written already).
    int connectAndSettle(const CtlOptions& o);
    // Frames with a crosspoint matrix only; the message is written otherwise.
    bool requireMatrix();
    // As requireMatrix, and the frame must have told the route of every output:
    // an output it never answered for would show, or be saved, as unrouted.
    bool requireCrosspoints();
    // Frames whose window would offer "Settings" only; the message is written otherwise.
    bool requireSettings();
    // Waits for the tracker's replies and writes their outcome.
    int finishRoutes(const CtlOptions& o, class CRouteTracker& tracker);
    void disconnect();
    int waitFailure(CCtlSession::Wait wait, std::string_view what);
    // Waits until every request `book` files is answered or the time is up;
    // what is still pending then counts as unanswered, and the session stops
    // reporting to the book.
    struct RepliesAwaited {
        CCtlSession::Wait wait;
        int unanswered = 0;
    };
    template <typename Book>
    RepliesAwaited awaitReplies(Book& book, int timeoutMs) {
        const CCtlSession::Wait wait =
            m_session->waitFor([&book] { return book.allAnswered(); }, timeoutMs);
        const int unanswered = static_cast<int>(book.entries().size()) -
                               book.count(ReplyOutcome::Confirmed) -
                               book.count(ReplyOutcome::Refused);
        book.giveUp();
        m_session->setObserver(nullptr);
        return {wait, unanswered};
    }

    int runCommand(const CtlOptions& o);
    void print(std::string_view text);
    // One JSON document and its line end, stamped with the program version.
    void printJson(std::string_view document);
    // Writes the message to standard error, escaped for the terminal, and
    // keeps it for the JSON error document.
    void fail(std::string_view text);
    // {"error":"...","exit":N} on standard output.
    void printJsonError(int exitStatus);

    CtlEnvironment m_env;
    bool m_printed = false; // the command wrote to standard output
    std::string m_lastError;
    std::unique_ptr<CCtlSession> m_session;
    bool m_interrupted = false;
    std::int64_t m_searchDropped = 0; // replies the system dropped in the last search
};

} // namespace velmar
