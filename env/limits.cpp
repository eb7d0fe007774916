#include "env/limits.h"

#include <unistd.h>

#include <algorithm>

#include "params/params.h"

namespace vnt {

namespace {
constexpr double kMaxScheduleAhead = 1000000000.0;  // counter units
constexpr double kSecondsSlack = 0.1;               // added to measured seconds
}  // namespace

int clockKind(const Env& env) {
  int ct = params::getInt(env, 1006);
  if (ct == 1) return 1;
  if (ct == 2) return 0;
  int procs = env.procs ? env.procs->online : procConfig().online;
  if (params::getInt(env, 1067) == 1 || procs == 1) return 1;
  return 0;
}

double readClock(int kind) { return kind == 1 ? cpuSeconds() : wallSeconds(); }

double envTime(const Env& env) { return readClock(clockKind(env)); }

int pushLimitFrame(Env& env, double seconds, double ticks) {
  LimitFrame* f = envNew<LimitFrame>(env);
  if (!f) return 1001;
  f->clockKind = clockKind(env);
  f->wallAtStart = wallSeconds();
  f->cpuAtStart = cpuSeconds();
  f->lastReading = f->clockKind == 1 ? f->cpuAtStart : f->wallAtStart;
  f->deadline = seconds >= kNoTimeLimit ? kNoTimeLimit : f->lastReading + seconds;
  const WorkCounter* c = env.counter;
  uint64_t now = (c && c != dummyCounter()) ? c->value : 0;
  f->lastCounter = now;
  f->nextReading = now;
  if (ticks < kNoTimeLimit) {
    double units = ticks * kUnitsPerTick;
    double lim = static_cast<double>(now) + units;
    f->detLimit = lim >= 1.8e19 ? kNoDetLimit : static_cast<uint64_t>(lim);
  }
  f->prev = env.limits;
  env.limits = f;
  return 0;
}

int pushLimitFrameFromParams(Env& env) {
  return pushLimitFrame(env, params::getDbl(env, 1039), params::getDbl(env, 1127));
}

void popLimitFrame(Env& env) {
  LimitFrame* f = env.limits;
  if (!f) return;
  env.limits = f->prev;
  envDelete(env, f);
}

// Steps 1 and 2: the user's terminate function and the three flags.
static inline int terminateSources(const Env& env) {
  if (env.terminateFn && env.terminateFn(env.terminateHandle)) return 13;
  if (env.terminateFlag && *env.terminateFlag) return 13;
  if (env.terminateFlag2 && *env.terminateFlag2) return 13;
  if (env.terminateFlag3 && *env.terminateFlag3) return 13;
  return 0;
}

// Re-base a frame whose clock kind changed since it was made (for example
// because the thread count changed): move the deadline and the last reading
// from the old clock's time line to the new one.
static void rebase(const Env& env, LimitFrame* f) {
  int kind = clockKind(env);
  if (kind == f->clockKind) return;
  double oldStart = f->clockKind == 1 ? f->cpuAtStart : f->wallAtStart;
  double newStart = kind == 1 ? f->cpuAtStart : f->wallAtStart;
  double shift = newStart - oldStart;
  if (f->deadline < kNoTimeLimit) f->deadline += shift;
  f->lastReading += shift;
  f->clockKind = kind;
}

// Steps 3 and 4 on one frame.  The common path with a real counter and no
// reading due is a few comparisons.
static int checkFrame(Env& env, LimitFrame* f) {
  if (env.siblingStop && *env.siblingStop) return 9034;
  WorkCounter* c = env.counter;
  const bool real = c != dummyCounter() && c != nullptr;
  if (real && f->detLimit != kNoDetLimit && c->value >= f->detLimit) return 25;
  if (f->deadline >= kNoTimeLimit) return 0;
  if (!real) {
    rebase(env, f);
    ++env.clockReadings;
    return readClock(f->clockKind) >= f->deadline ? 11 : 0;
  }
  const uint64_t units = c->value;
  if (units < f->nextReading) return 0;
  rebase(env, f);
  ++env.clockReadings;
  double now = readClock(f->clockKind);
  double dt = now - f->lastReading;
  if (dt < 0 && f->clockKind == 0) dt = 0;
  f->accumSeconds += dt;
  f->accumUnits += units - f->lastCounter;
  f->lastReading = now;
  f->lastCounter = units;
  if (now >= f->deadline) return 11;
  // Seconds per unit so far; schedule the next reading after a quarter of the
  // units predicted to remain, at most kMaxScheduleAhead ahead.
  double perUnit = (f->accumSeconds + kSecondsSlack) /
                   static_cast<double>(f->accumUnits > 0 ? f->accumUnits : 1);
  double left = (f->deadline - now) / perUnit;
  double ahead = std::min(left / 4.0, kMaxScheduleAhead);
  if (ahead < 1.0) ahead = 1.0;
  f->nextReading = units + static_cast<uint64_t>(ahead);
  return 0;
}

int checkLimits(Env& env) {
  if (int r = terminateSources(env)) return r;
  if (env.limits)
    if (int r = checkFrame(env, env.limits)) return r;
  if (Env* p = env.parent) {
    // A worker also stops for its parent's sources and its ancestors' limits.
    if (int r = terminateSources(*p)) return r;
    if (p->parent) return checkLimits(*p->parent);
  }
  return 0;
}

}  // namespace vnt
