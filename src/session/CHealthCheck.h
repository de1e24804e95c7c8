#pragma once

#include "session/CCtlSession.h"
#include "engine/Health.h"

#include <QObject>
#include <QThread>
#include <memory>
#include <vector>

namespace velmar {

// Checks frames at the same time, each on a thread of its own with its own
// connection, so a silent frame holds up nobody else and twenty frames take
// about as long as one. Used by velmarctl health and the window's "Check all".
// The signals arrive in the thread that called start().
class CHealthCheck final : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool telnet = false;
        int timeoutMs = 5000;
        quint16 framePort = 10002;
    };

    explicit CHealthCheck(QObject* parent = nullptr) : QObject(parent) {}
    // Waits for the checks still running (each ends by its time-out).
    ~CHealthCheck() override;

    // One frame, on the calling thread.
    static HealthReport checkOne(const CtlTarget& target, const Options& options);

    // Starts a check of every target; false while a run is still going.
    bool start(std::vector<CtlTarget> targets, const Options& options);
    bool running() const;
    const std::vector<CtlTarget>& targets() const { return m_targets; }
    // Meaningful once checked(index) was emitted.
    const HealthReport& report(int index) const {
        return m_reports.at(static_cast<std::size_t>(index));
    }
    const std::vector<HealthReport>& reports() const { return m_reports; }

Q_SIGNALS:
    void checked(int index);
    void finished();

private:
    void joinAll();

    std::vector<CtlTarget> m_targets;
    std::vector<HealthReport> m_reports;
    std::vector<std::unique_ptr<QThread>> m_threads;
    int m_pending = 0;
};

} // namespace velmar
