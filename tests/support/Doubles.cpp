#include "support/Doubles.h"

namespace wendle::test {

TimerId ManualScheduler::schedule(std::chrono::milliseconds interval, bool repeating, std::function<void()> action)
{
    const TimerId id = m_next++;
    m_timers[id] = Timer{m_now + interval, interval, repeating, std::move(action)};
    return id;
}

void ManualScheduler::advance(std::chrono::milliseconds step)
{
    const auto end = m_now + step;
    while (true) {
        auto next = m_timers.end();
        for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
            if (it->second.due <= end && (next == m_timers.end() || it->second.due < next->second.due))
                next = it;
        }
        if (next == m_timers.end())
            break;
        m_now = next->second.due;
        auto action = next->second.action;
        if (next->second.repeating)
            next->second.due += next->second.interval;
        else
            m_timers.erase(next);
        action();
    }
    m_now = end;
}

} // namespace wendle::test
