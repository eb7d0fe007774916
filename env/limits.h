// Limit frames: time and deterministic limits active for an optimization,
// newest first.  checkLimits() (env/env.h) polls the innermost frame.
#pragma once

#include <cstdint>

#include "env/env.h"

namespace vnt {

struct LimitFrame {
  LimitFrame* prev = nullptr;
  double deadline = 1e75;      // absolute, on the frame's clock; 1e75 = none
  int clockKind = 0;           // 0 wall, 1 CPU
  double lastReading = 0.0;    // clock at the last reading
  double accumSeconds = 0.0;
  uint64_t detLimit = ~0ull;   // absolute counter value; all ones = none
  uint64_t lastCounter = 0;    // counter at the last clock reading
  uint64_t nextReading = 0;    // counter value at which the clock is read next
  uint64_t accumUnits = 0;
};

// Push a frame from the current time-limit parameters (or explicit limits:
// seconds and ticks relative to now; negative means "from the parameters").
int pushLimitFrame(Env& env, double seconds = -1.0, double ticks = -1.0);
void popLimitFrame(Env& env);
int clockKind(const Env& env);
double readClock(int kind);

}  // namespace vnt
