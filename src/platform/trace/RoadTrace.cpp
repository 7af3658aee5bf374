#include "platform/trace/RoadTrace.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace wendle {

namespace {

bool tracing()
{
    static const bool on = std::getenv("WENDLE_TRACE") != nullptr;
    return on;
}

} // namespace

void traceStep(const char *step)
{
    if (!tracing())
        return;
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "wendle-trace %lld.%06ld %d %s\n", static_cast<long long>(now.tv_sec), now.tv_nsec / 1000,
                 static_cast<int>(::getpid()), step);
    std::fflush(stderr);
}

} // namespace wendle
