#include "channels/CRunProgress.h"

#include "channels/RequestRun.h"
#include "main/PollingEngine.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

namespace velmar {

namespace {
constexpr int kPollMs = 50;
constexpr int kShowAfterMs = 500;
} // namespace

std::string runRequestsWithProgress(CPollingEngine& engine, std::vector<DeviceMessage> requests,
                                    std::string_view what, const QString& label, QWidget* parent) {
    if (requests.empty())
        return {};
    if (!engine.state().connected)
        return "Not connected; nothing was sent.";
    CRequestRun run(engine);
    // A run inside a run (a nested dialog) would steal the replies: keep the outer one.
    if (engine.dialogs().requestRun != nullptr)
        return "Another run of requests is in progress; nothing was sent.";
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
        } else if (!engine.state().connected || quiet.elapsed() > kStallMs) {
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
    return run.summary(what);
}

} // namespace velmar
