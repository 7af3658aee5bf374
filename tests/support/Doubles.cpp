#include "support/Doubles.h"

#include <algorithm>

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
        const auto next =
            std::min_element(m_timers.begin(), m_timers.end(), [](const auto &a, const auto &b) { return a.second.due < b.second.due; });
        if (next == m_timers.end() || next->second.due > end)
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
