#include "env/limits.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "params/params.h"

namespace vnt {

namespace {
constexpr double kNoLimit = 1e75;
constexpr uint64_t kMaxScheduleAhead = 1000000000ull;
constexpr double kUnitsPerTick = 1048576.0;  // 2^20
}  // namespace

int clockKind(const Env& env) {
  int ct = params::getInt(env, 1006);
  if (ct == 1) return 1;
  if (ct == 2) return 0;
  long procs = sysconf(_SC_NPROCESSORS_ONLN);
  if (params::getInt(env, 1067) == 1 || procs == 1) return 1;
  return 0;
}

double readClock(int kind) { return kind == 1 ? cpuSeconds() : wallSeconds(); }

double envTime(const Env& env) { return readClock(clockKind(env)); }

int pushLimitFrame(Env& env, double seconds, double ticks) {
  LimitFrame* f = new (std::nothrow) LimitFrame;
  if (!f) return 1001;
  if (seconds < 0) seconds = params::getDbl(env, 1039);
  if (ticks < 0) ticks = params::getDbl(env, 1127);
  f->clockKind = clockKind(env);
  f->lastReading = readClock(f->clockKind);
  f->deadline = seconds >= kNoLimit ? kNoLimit : f->lastReading + seconds;
  uint64_t now = env.counter ? env.counter->value : 0;
  f->lastCounter = now;
  f->nextReading = now;
  if (ticks < kNoLimit) {
    double units = ticks * kUnitsPerTick;
    f->detLimit = units >= 1.8e19 ? ~0ull : now + static_cast<uint64_t>(units);
  }
  f->prev = env.limits;
  env.limits = f;
  return 0;
}

void popLimitFrame(Env& env) {
  LimitFrame* f = env.limits;
  if (!f) return;
  env.limits = f->prev;
  delete f;
}

static int terminateSources(const Env& env) {
  if (env.terminateFn && env.terminateFn(env.terminateHandle)) return 13;
  if (env.terminateFlag && *env.terminateFlag) return 13;
  if (env.terminateFlag2 && *env.terminateFlag2) return 13;
  if (env.terminateFlag3 && *env.terminateFlag3) return 13;
  return 0;
}

static int checkFrame(Env& env, LimitFrame* f) {
  WorkCounter* c = env.counter;
  bool real = c && c != dummyCounter();
  if (f->detLimit != ~0ull && real && c->value >= f->detLimit) return 25;
  if (f->deadline >= kNoLimit) return 0;
  if (real && c->value < f->nextReading) return 0;
  int kind = clockKind(env);
  if (kind != f->clockKind) {
    // The clock changed (e.g. the thread count changed): re-base the frame.
    double shift = readClock(kind) - readClock(f->clockKind);
    f->deadline += shift;
    f->lastReading += shift;
    f->clockKind = kind;
  }
  double now = readClock(kind);
  if (now >= f->deadline) return 11;
  if (real) {
    double dt = now - f->lastReading;
    if (dt < 0 && kind == 0) dt = 0;
    f->accumSeconds += dt;
    f->accumUnits += c->value - f->lastCounter;
    f->lastReading = now;
    f->lastCounter = c->value;
    double perUnit = (f->accumSeconds + 0.1) / static_cast<double>(f->accumUnits + 1);
    double left = (f->deadline - now) / perUnit;
    double ahead = std::min(left / 4.0, static_cast<double>(kMaxScheduleAhead));
    f->nextReading = c->value + static_cast<uint64_t>(std::max(ahead, 1.0));
  }
  return 0;
}

int checkLimits(Env& env) {
  for (Env* e = &env; e; e = e->parent) {
    if (int r = terminateSources(*e)) return r;
    if (e->limits)
      if (int r = checkFrame(*e, e->limits)) return r;
  }
  return 0;
}

}  // namespace vnt
