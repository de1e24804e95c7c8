#include "session/CHealthCheck.h"

#include "link/DeviceList.h"

namespace velmar {

CHealthCheck::~CHealthCheck() { joinAll(); }

void CHealthCheck::joinAll() {
    for (const std::unique_ptr<QThread>& thread : m_threads)
        thread->wait();
    m_threads.clear();
}

bool CHealthCheck::running() const { return m_pending > 0; }

HealthReport CHealthCheck::checkOne(const CtlTarget& target, const Options& o) {
    const std::string address(bareAddress(target.addressColumn));
    CCtlSession session(o.framePort);
    if (!session.open(target, o.telnet, o.timeoutMs)) {
        const std::string& why = session.lastMessage();
        return unreachableHealth(address, why.empty() ? "not reachable" : why);
    }
    const CCtlSession::Wait wait = session.waitUntilSettled(o.timeoutMs);
    if (wait == CCtlSession::Wait::LinkLost) {
        const std::string why(linkLossText(session.lossCause()));
        session.close();
        return unreachableHealth(address, why + " during the check");
    }
    HealthReport report = assessHealth(session.state());
    report.frame.address = address;
    if (wait != CCtlSession::Wait::Done) {
        // What did arrive is judged; that the rest did not is a warning.
        if (report.verdict == HealthVerdict::Healthy)
            report.verdict = HealthVerdict::Warning;
        report.problems.push_back("did not finish answering within " + std::to_string(o.timeoutMs) +
                                  " ms");
    }
    session.close();
    return report;
}

bool CHealthCheck::start(std::vector<CtlTarget> targets, const Options& options) {
    if (running())
        return false;
    joinAll();
    m_targets = std::move(targets);
    m_reports.assign(m_targets.size(), HealthReport{});
    m_pending = static_cast<int>(m_targets.size());
    if (m_pending == 0) {
        Q_EMIT finished();
        return true;
    }
    for (std::size_t k = 0; k < m_targets.size(); ++k) {
        // Each thread writes its own report only; the finished signal comes
        // back queued to this object's thread, after the write.
        auto thread = std::unique_ptr<QThread>(QThread::create(
            [this, k, options] { m_reports[k] = checkOne(m_targets[k], options); }));
        connect(thread.get(), &QThread::finished, this, [this, k] {
            --m_pending;
            Q_EMIT checked(static_cast<int>(k));
            if (m_pending == 0)
                Q_EMIT finished();
        });
        thread->start();
        m_threads.push_back(std::move(thread));
    }
    return true;
}

} // namespace velmar
