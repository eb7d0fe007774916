// Limit frames: time and deterministic limits active for an optimization,
// newest first.  checkLimits() (env/env.h) polls the innermost frame.
#pragma once

#include <cstdint>

#include "env/env.h"

namespace vnt {

inline constexpr double kNoTimeLimit = 1e75;
inline constexpr uint64_t kNoDetLimit = ~0ull;
inline constexpr double kUnitsPerTick = 1048576.0;  // 2^20 counter units per tick

struct LimitFrame {
  LimitFrame* prev = nullptr;
  double deadline = kNoTimeLimit;  // absolute, on the frame's clock
  int clockKind = 0;               // 0 wall, 1 CPU
  double wallAtStart = 0.0;        // both clocks read when the frame was made
  double cpuAtStart = 0.0;
  double lastReading = 0.0;        // frame clock at the last reading
  double accumSeconds = 0.0;
  uint64_t detLimit = kNoDetLimit; // absolute counter value
  uint64_t lastCounter = 0;        // counter at the last clock reading
  uint64_t nextReading = 0;        // counter value at which the clock is read next
  uint64_t accumUnits = 0;
};

// Push a frame: limits in seconds and ticks relative to now (values of 1e75
// or more mean none).  pushLimitFrameFromParams uses the time-limit (1039) and
// deterministic time-limit (1127) parameters.
int pushLimitFrame(Env& env, double seconds, double ticks);
int pushLimitFrameFromParams(Env& env);
void popLimitFrame(Env& env);
int clockKind(const Env& env);
double readClock(int kind);

}  // namespace vnt
