#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace wendle {

using TimerId = std::uint64_t; // 0 is never a live timer

// Timers of the main run loop. Callbacks run on the main thread, one at a
// time, never inside the call that scheduled them.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    virtual TimerId schedule(std::chrono::milliseconds interval, bool repeating, std::function<void()> action) = 0;
    // Stops a timer; unknown or finished ids are ignored.
    virtual void cancel(TimerId id) = 0;
};

} // namespace wendle
