#include "channels/CRunProgress.h"

#include "channels/RequestRun.h"
#include "link/QtText.h"
#include "engine/PollingEngine.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

namespace velmar {

namespace {

constexpr int kPollMs = 50;
constexpr int kShowAfterMs = 500;
int g_stallMs = kStallMs;

// One pass over `requests`; `run` is registered for the replies meanwhile.
void runOnce(CPollingEngine& engine, CRequestRun& run, std::vector<DeviceMessage> requests,
             const QString& label, QWidget* parent) {
    engine.dialogs().requestRun = &run;
    const int total = static_cast<int>(requests.size());
    QProgressDialog progress(label, QStringLiteral("Cancel"), 0, total, parent);
    progress.setObjectName(QStringLiteral("requestProgress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(kShowAfterMs);
    progress.setAutoClose(false);
    progress.setAutoReset(false);

    QEventLoop loop;
    QTimer tick;
    QElapsedTimer quiet;
    int lastAnswered = -1;
    QObject::connect(&progress, &QProgressDialog::canceled, &loop, [&run] { run.cancel(); });
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (run.answered() != lastAnswered) {
            lastAnswered = run.answered();
            quiet.restart();
            progress.setValue(lastAnswered);
        } else if (!engine.state().connected) {
            run.stalled("the link was lost");
        } else if (quiet.elapsed() > g_stallMs) {
            run.stalled();
        }
        if (!run.running())
            loop.quit();
    });
    // The loop ends as soon as the last answer is in, not at the next tick.
    run.setOnFinished([&loop] { loop.quit(); });
    quiet.start();
    run.start(std::move(requests));
    if (run.running()) {
        tick.start(kPollMs);
        loop.exec();
    }
    engine.dialogs().requestRun = nullptr;
    progress.close();
}

} // namespace

void setRunStallMs(int ms) { g_stallMs = ms > 0 ? ms : kStallMs; }

std::string runRequestsWithProgress(CPollingEngine& engine, std::vector<DeviceMessage> requests,
                                    std::string_view what, const QString& label, QWidget* parent) {
    if (requests.empty())
        return {};
    if (!engine.state().connected)
        return "Not connected; nothing was sent.";
    // A run inside a run (a nested dialog) would steal the replies: keep the outer one.
    if (engine.dialogs().requestRun != nullptr)
        return "Another run of requests is in progress; nothing was sent.";

    std::string report;
    for (;;) {
        CRequestRun run(engine);
        runOnce(engine, run, std::move(requests), label, parent);
        report += run.summary(what);
        // A stalled run keeps what it did not get through; offer to send that
        // again while the link is up, so a long apply is not left half done.
        if (!run.partial() || !engine.state().connected)
            return report;
        QString text = qs(run.summary(what));
        text += QLatin1Char('\n');
        text += QLatin1Char('\n');
        text += qs(run.retryQuestion(what));
        const QString title = parent != nullptr ? parent->windowTitle() : QString();
        if (QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::Yes) != QMessageBox::Yes)
            return report;
        requests = run.remaining();
        report += " Retried the rest: ";
    }
}

} // namespace velmar
