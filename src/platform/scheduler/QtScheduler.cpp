#include "platform/scheduler/QtScheduler.h"

#include <QTimer>

namespace wendle {

QtScheduler::~QtScheduler()
{
    for (QTimer *timer : std::as_const(m_timers))
        delete timer;
}

TimerId QtScheduler::schedule(std::chrono::milliseconds interval, bool repeating, std::function<void()> action)
{
    const TimerId id = m_nextId++;
    auto *timer = new QTimer;
    // A coarse timer may fire up to 5% early; the delays here are promises
    // ("half a second after the command") and few, so they are kept to the ms.
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(!repeating);
    timer->setInterval(interval);
    QObject::connect(timer, &QTimer::timeout, timer, [this, id, repeating, action = std::move(action)] {
        if (!repeating)
            cancel(id); // deleted later, so the running lambda stays valid
        action();
    });
    m_timers.insert(id, timer);
    timer->start();
    return id;
}

void QtScheduler::cancel(TimerId id)
{
    QTimer *timer = m_timers.take(id);
    if (!timer)
        return;
    timer->stop();
    timer->deleteLater();
}

} // namespace wendle
