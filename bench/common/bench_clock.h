// Clocks of the benchmarks.  CPU time is far less disturbed than wall time on
// a shared, loaded machine, and it is what the peers report for themselves.
#pragma once

#include <chrono>
#include <ctime>

namespace vnt::bench {

// CPU seconds of this process so far (all its threads, user and system).
inline double cpuNow() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// CPU seconds of the calling thread so far.
inline double threadCpuNow() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Seconds of a monotonic wall clock.
inline double wallNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace vnt::bench
