#include "engine/CQtTimerHost.h"

#include <QTimer>

namespace velmar {

CQtTimerHost::CQtTimerHost(std::function<void(int)> onFired) : m_onFired(std::move(onFired)) {}

CQtTimerHost::~CQtTimerHost() = default;

void CQtTimerHost::startTimer(int id, int periodMs) {
    std::unique_ptr<QTimer>& timer = m_timers[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.get(), &QTimer::timeout, timer.get(), [this, id] { m_onFired(id); });
    }
    timer->start(periodMs);
}

void CQtTimerHost::stopTimer(int id) {
    const auto it = m_timers.find(id);
    if (it != m_timers.end())
        it->second->stop();
}

} // namespace velmar
