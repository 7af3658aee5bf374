#pragma once

#include "platform/scheduler/Scheduler.h"

#include <QHash>
#include <QObject>

class QTimer;

namespace wendle {

class QtScheduler : public Scheduler {
public:
    QtScheduler() = default;
    ~QtScheduler() override;
    QtScheduler(const QtScheduler &) = delete;
    QtScheduler &operator=(const QtScheduler &) = delete;

    TimerId schedule(std::chrono::milliseconds interval, bool repeating, std::function<void()> action) override;
    void cancel(TimerId id) override;

private:
    QHash<TimerId, QTimer *> m_timers;
    TimerId m_nextId = 1;
};

} // namespace wendle
