#pragma once

namespace wendle {

// With WENDLE_TRACE set in the environment, each process of Wendle prints
// the steps a message takes on its way through it, one line each on
// standard error: "wendle-trace SECONDS PROCESS STEP", the seconds from the
// system's monotonic clock (one clock for every process, so the client's
// lines and the daemon's sort together). bench/road_trace reads them. Without
// the variable a step costs one test of a flag.
void traceStep(const char *step);

} // namespace wendle
