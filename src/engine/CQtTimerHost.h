#pragma once

#include "engine/EngineInterfaces.h"

#include <functional>
#include <map>
#include <memory>

class QTimer;

namespace velmar {

// The numbered timers on QTimers: one precise QTimer per id, made on first
// use, on the thread that owns the host. A firing timer calls `onFired(id)`;
// who handles which id is the owner's business.
class CQtTimerHost final : public ITimerHost {
public:
    explicit CQtTimerHost(std::function<void(int)> onFired);
    ~CQtTimerHost() override;
    CQtTimerHost(const CQtTimerHost&) = delete;
    CQtTimerHost& operator=(const CQtTimerHost&) = delete;

    void startTimer(int id, int periodMs) override; // a running timer takes the new period
    void stopTimer(int id) override;

private:
    std::function<void(int)> m_onFired;
    std::map<int, std::unique_ptr<QTimer>> m_timers;
};

} // namespace velmar
