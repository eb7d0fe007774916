// The LP optimize operations and the solution queries.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "api/chk_decls.h"
#include "env/env.h"
#include "env/limits.h"
#include "model/opsupport.h"
#include "params/params.h"
#include "presolve/presolve.h"
#include "simplex/lpdriver.h"

namespace vnt::network {
// LP method 3 (network/): weak, so that builds without the network
// subsystem serve the method by the dual simplex.
__attribute__((weak)) int hybridOptimize(Env& env, model::Problem& p, int lpMethod);
}  // namespace vnt::network

namespace vnt::simplex {

namespace {

// Parameter numbers the driver reads.
enum Param : int {
  kParamAdvance = 1001,
  kParamCrash = 1007,
  kParamDGradient = 1009,
  kParamMarkowitz = 1013,
  kParamOptimality = 1014,
  kParamPerturbConst = 1015,
  kParamFeasibility = 1016,
  kParamDisplay = 1019,
  kParamIterations = 1020,
  kParamLowerObj = 1025,
  kParamUpperObj = 1026,
  kParamPGradient = 1029,
  kParamPresolve = 1030,
  kParamPreDual = 1044,
  kParamRefactor = 1031,
  kParamScale = 1034,
  kParamSingLimit = 1037,
  kParamTimeLimit = 1039,
  kParamLpMethod = 1062,
  kParamThreads = 1067,
  kParamMemory = 1082,
  kParamNumerical = 1083,
  kParamParallel = 1109,
  kParamRandomSeed = 1124,
};

}  // namespace

void engineOptionsFromParams(Env& env, LpOptions& o, bool dual, int sense, double offset) {
  o.feasibilityTol = params::getDbl(env, kParamFeasibility);
  o.optimalityTol = params::getDbl(env, kParamOptimality);
  o.markowitzTol = params::getDbl(env, kParamMarkowitz);
  if (params::getInt(env, kParamNumerical) == 1 && o.markowitzTol == 0.01) o.markowitzTol = 0.9;
  o.perturbationConst = params::getDbl(env, kParamPerturbConst);
  o.iterationLimit = params::getLong(env, kParamIterations);
  o.refactorInterval = params::getInt(env, kParamRefactor);
  o.singularityLimit = params::getInt(env, kParamSingLimit);
  o.crash = params::getInt(env, kParamCrash);
  o.display = params::getInt(env, kParamDisplay);
  o.dualPricing = params::getInt(env, kParamDGradient);
  o.primalPricing = params::getInt(env, kParamPGradient);
  o.scale = params::getInt(env, kParamScale) >= 0;
  o.randomSeed = static_cast<uint64_t>(params::getInt(env, kParamRandomSeed));
  // The dual simplex stops once its objective passes the objective limit in
  // the direction of optimization (upper limit when minimizing, lower when
  // maximizing); the engine takes it in minimization form without the
  // objective constant.
  o.objectiveLimit = 1e75;
  if (dual) {
    double lim = sense > 0 ? params::getDbl(env, kParamUpperObj) : params::getDbl(env, kParamLowerObj);
    if (std::fabs(lim) < 1e75) o.objectiveLimit = sense * (lim - offset);
  }
  o.log = [&env](const char* line) { print(env, Chan::Log, "%s", line); };
  o.poll = [&env]() { return checkLimits(env); };
  o.workCounter = env.realCounter ? &env.realCounter->value : nullptr;
}

namespace {

// The engine describes a nonbasic row by its activity (0 at the lower limit,
// 2 at the upper); the library describes the row's slack or range variable,
// which is at its lower bound whenever an inequality row is active.  Only a
// '<=' row reads differently.
void rowStatusToLibrary(const model::ProblemData& d, int* rstat) {
  for (int i = 0; i < d.rows(); ++i)
    if (d.sense[i] == 'L' && rstat[i] == 2) rstat[i] = 0;
}
std::vector<int> rowStatusToEngine(const model::ProblemData& d, const std::vector<int>& rstat) {
  std::vector<int> r(rstat);
  for (int i = 0; i < d.rows() && i < static_cast<int>(r.size()); ++i)
    if (d.sense[i] == 'L' && r[i] == 0) r[i] = 2;
  return r;
}

int loadEngine(Env& env, model::Problem& p, LpState& s) {
  if (int st = loadModelIntoEngine(env, p, s)) return st;
  const int n = p.data->cols(), m = p.data->rows();
  const bool advanced = params::getInt(env, kParamAdvance) != 0;
  if (advanced && static_cast<int>(s.startCstat.size()) == n && static_cast<int>(s.startRstat.size()) == m) {
    std::vector<int> rstat = rowStatusToEngine(*p.data, s.startRstat);
    if (s.engine->setBasis(s.startCstat.data(), rstat.data()) != 0)
      print(env, Chan::Log, "Advanced basis not built.\n");
  }
  return 0;
}

// Pass bound, objective and row changes to a loaded engine.
void syncEngine(const model::Problem& p, LpState& s) {
  const model::ProblemData& d = *p.data;
  LpEngine& e = *s.engine;
  e.setObjOffset(d.objoffset);
  if (s.objDirty)
    for (int j = 0; j < d.cols(); ++j) e.setObj(j, d.obj[j]);
  std::sort(s.dirtyCols.begin(), s.dirtyCols.end());
  s.dirtyCols.erase(std::unique(s.dirtyCols.begin(), s.dirtyCols.end()), s.dirtyCols.end());
  for (int j : s.dirtyCols)
    if (j >= 0 && j < d.cols()) e.setColBounds(j, d.lb[j], d.ub[j]);
  std::sort(s.dirtyRows.begin(), s.dirtyRows.end());
  s.dirtyRows.erase(std::unique(s.dirtyRows.begin(), s.dirtyRows.end()), s.dirtyRows.end());
  for (int i : s.dirtyRows) {
    if (i < 0 || i >= d.rows()) continue;
    double lo, up;
    rowActivityLimits(d, i, &lo, &up);
    e.setRowBounds(i, lo, up, d.rhs[i]);
  }
  s.objDirty = false;
  s.dirtyCols.clear();
  s.dirtyRows.clear();
}

}  // namespace

void storeEngineSolution(const model::Problem& p, LpState& s, int method) {
  LpEngine& e = *s.engine;
  const int n = e.numCols(), m = e.numRows();
  s.stat = static_cast<int>(e.status());
  s.noSolution = false;
  s.method = method;
  s.objval = e.objective();
  s.x.resize(n);
  s.dj.resize(n);
  s.slack.resize(m);
  s.pi.resize(m);
  s.cstat.resize(n);
  s.rstat.resize(m);
  e.getX(s.x.data());
  e.getDj(s.dj.data());
  e.getSlack(s.slack.data());
  e.getPi(s.pi.data());
  e.getBasis(s.cstat.data(), s.rstat.data());
  rowStatusToLibrary(*p.data, s.rstat.data());
  s.basic = true;
  s.dual = true;
  s.primalFeasible = s.stat == 1;
  s.dualFeasible = s.stat == 1;
  s.itcnt = e.iterations();
  s.phase1cnt = e.phase1Iterations();
  s.startCstat = s.cstat;
  s.startRstat = s.rstat;
}

int loadModelIntoEngine(Env& env, model::Problem& p, LpState& s) {
  model::ModelData md;
  if (int st = model::exportData(p, md)) return st;
  if (!s.engine) {
    s.engine.reset(new (std::nothrow) LpEngine);
    if (!s.engine) return 1001;
  }
  // Scaling is decided when the model is loaded.
  s.engine->options().scale = params::getInt(env, kParamScale) >= 0;
  if (s.engine->load(md) != 0) return 1003;
  s.reload = false;
  s.objDirty = false;
  s.dirtyCols.clear();
  s.dirtyRows.clear();
  return 0;
}

void LpState::clearSolution() {
  stat = 0;
  basic = dual = primalFeasible = dualFeasible = false;
  noSolution = false;
  itcnt = phase1cnt = 0;
  x.clear();
  slack.clear();
  pi.clear();
  dj.clear();
  cstat.clear();
  rstat.clear();
}

bool LpState::onChange(model::Problem&, const model::ChangeEvent& ev) {
  using model::ChangeKind;
  if (!model::changesSolution(ev.kind)) return true;
  clearSolution();
  switch (ev.kind) {
    case ChangeKind::Bounds:
      if (ev.ind) dirtyCols.insert(dirtyCols.end(), ev.ind, ev.ind + ev.cnt);
      else reload = true;
      return true;
    case ChangeKind::Objective:
      objDirty = true;
      return true;
    case ChangeKind::Rhs:
    case ChangeKind::Sense:
    case ChangeKind::RangeValues:
      if (ev.ind) dirtyRows.insert(dirtyRows.end(), ev.ind, ev.ind + ev.cnt);
      else reload = true;
      return true;
    case ChangeKind::ObjOffset:
      return true;  // the constant is passed to the engine before every solve
    case ChangeKind::ObjSense:
    case ChangeKind::Coefficients:
    case ChangeKind::ColTypes:
    case ChangeKind::ProbType:
      reload = true;  // same dimensions: the start basis still fits
      return true;
    case ChangeKind::AddRows:
      // New rows start basic (their slacks), old statuses stay.
      startRstat.insert(startRstat.end(), static_cast<size_t>(ev.cnt), 1);
      reload = true;
      return true;
    case ChangeKind::AddCols:
      startCstat.insert(startCstat.end(), static_cast<size_t>(ev.cnt), 0);
      reload = true;
      return true;
    case ChangeKind::DelRows:
    case ChangeKind::DelCols: {
      std::vector<int>& v = ev.kind == ChangeKind::DelRows ? startRstat : startCstat;
      if (ev.map && !v.empty()) {
        std::vector<int> kept;
        for (size_t k = 0; k < v.size(); ++k)
          if (ev.map[k] >= 0) kept.push_back(v[k]);
        v.swap(kept);
      } else {
        startCstat.clear();
        startRstat.clear();
      }
      reload = true;
      return true;
    }
    default:
      return false;
  }
}

LpState* lpState(model::Problem& p) {
  auto& slot = p.state[model::kSlotLp];
  if (!slot) slot.reset(new (std::nothrow) LpState);
  return static_cast<LpState*>(slot.get());
}

const LpState* findLpState(const model::Problem& p) {
  return static_cast<const LpState*>(p.state[model::kSlotLp].get());
}

namespace {

// Threads an optimization may use: the thread parameter, or every online
// processor when it is 0.
int threadLimit(const Env& env) {
  int t = params::getInt(env, kParamThreads);
  if (t > 0) return t;
  const ProcConfig& pc = env.procs ? *env.procs : procConfig();
  return std::max(1, pc.online);
}

// The starting basis decides between the primal and the dual simplex: a basis
// that is primal feasible but not dual feasible goes to the primal.
int methodForStart(LpEngine& e) {
  return e.startFavoursPrimal() ? kMethodPrimal : kMethodDual;
}

}  // namespace

int chooseMethod(Env& env, model::Problem& p, LpState& s, bool allowConcurrent) {
  int m = params::getInt(env, kParamLpMethod);
  if (m == kMethodConcurrent && !allowConcurrent) m = kMethodAuto;
  if (m != kMethodAuto) return m;
  const model::ProblemData& d = *p.data;
  if (allowConcurrent && threadLimit(env) > 1 && params::getInt(env, kParamMemory) == 0 &&
      std::max(d.rows(), d.cols()) >= kConcurrentMinDim)
    return kMethodConcurrent;
  if (params::getInt(env, kParamAdvance) != 0 && s.engine && !s.reload && !s.startCstat.empty() &&
      p.probtype != model::kQP)
    return methodForStart(*s.engine);
  return kMethodDual;
}

namespace {

// The concurrent method runs the dual and the primal simplex side by side.
// One of them is the lead: the method the start basis favours, else the
// dual.  The other, the second participant, is charged a multiple of its
// work on a common clock, and in deterministic mode it never runs ahead of
// the lead on that clock: it waits until the lead's clock has caught up.  So
// the second participant costs a fixed share of the lead's CPU time, and the
// winner is the participant that finishes with the lower clock, whatever the
// timing of the threads.
// Clock units per work unit: a dual simplex work unit costs about one and a
// half times the CPU time of a primal one (geometric mean over the large
// Netlib and MIPLIB models), so that the clock measures CPU time alike for
// both methods.
inline constexpr uint64_t kDualUnitCost = 3;
inline constexpr uint64_t kPrimalUnitCost = 2;
// The second participant's clock runs this many times faster: it gets about
// this fraction of the lead's CPU time, and wins only when it needs less
// than this fraction of the lead's work.  On the large Netlib and MIPLIB
// relaxations the primal, second to the dual, was never eight times faster
// (dano3mip: 2.9 times), so its share is pure cost there: 16 costs about 6%
// of the lead's CPU where 8 cost 12%.
inline constexpr uint64_t kSecondShare = 16;
uint64_t clockRate(int method, bool second) {
  uint64_t r = method == kMethodPrimal ? kPrimalUnitCost : kDualUnitCost;
  return second ? r * kSecondShare : r;
}

// One participant.  Its work is counted privately; its clock (work times
// rate) is published at every poll.
struct Racer {
  std::unique_ptr<LpEngine> own;  // the second participant's engine
  LpEngine* engine = nullptr;
  int method = kMethodDual;
  uint64_t rate = 1;
  uint64_t work = 0;                    // written by the participant's thread only
  std::atomic<uint64_t> clock{0};       // work * rate as last published
  std::atomic<bool> done{false};        // finished with a definite answer
  std::atomic<bool> ended{false};       // returned, whatever the outcome
  uint64_t finalClock = 0;              // valid once done
  std::vector<std::string> log;         // the participant's log lines, kept until the winner is known
  uint64_t now() const { return work * rate; }
};

bool definite(LpStatus st) {
  return st == LpStatus::kOptimal || st == LpStatus::kInfeasible || st == LpStatus::kUnbounded ||
         st == LpStatus::kInfeasibleOrUnbounded;
}

// The stop rule of a participant against its rival.  Opportunistic: stop as
// soon as the rival has an answer.  Deterministic: stop only once this
// participant's clock passed the rival's final clock, so that the winner is
// the participant with the lower clock whatever the timing of the threads.
bool beaten(const Racer& self, const Racer& rival, bool deterministic) {
  if (!rival.done.load(std::memory_order_acquire)) {
    // A rival that gave up without an answer does not stop anyone.
    return false;
  }
  if (!deterministic) return true;
  return self.now() > rival.finalClock;
}

constexpr int kStopBeaten = 13;  // the participant's own status is discarded

const char* methodName(int method) { return method == kMethodPrimal ? "primal Simplex" : "dual Simplex"; }

int runConcurrent(Env& env, model::Problem& p, LpState& s, const model::ModelData& md) {
  const int sense = p.data->objsen;
  const double offset = p.data->objoffset;
  const bool display = params::getInt(env, kParamDisplay) != 0;
  int pm = params::getInt(env, kParamParallel);
  const bool deterministic = pm == 1 || (pm == 0 && params::getDbl(env, kParamTimeLimit) >= 1e75);
  if (display)
    print(env, Chan::Results, "Parallel mode: %s, using up to %d threads for concurrent optimization:\n",
          deterministic ? "deterministic" : "opportunistic", 2);

  const bool startBasis = params::getInt(env, kParamAdvance) != 0 && !s.startCstat.empty();
  Racer lead, second;
  lead.engine = s.engine.get();
  lead.method = startBasis ? methodForStart(*s.engine) : kMethodDual;
  second.method = lead.method == kMethodDual ? kMethodPrimal : kMethodDual;
  lead.rate = clockRate(lead.method, false);
  second.rate = clockRate(second.method, true);
  second.own.reset(new (std::nothrow) LpEngine);
  if (!second.own) return 1001;
  second.engine = second.own.get();

  std::mutex mu;
  std::condition_variable cv;
  auto publish = [&](Racer& r) {
    {
      std::lock_guard<std::mutex> g(mu);
      r.clock.store(r.now(), std::memory_order_release);
    }
    cv.notify_all();
  };
  auto finish = [&](Racer& r, LpStatus st) {
    {
      std::lock_guard<std::mutex> g(mu);
      r.clock.store(r.now(), std::memory_order_release);
      if (definite(st)) {
        r.finalClock = r.now();
        r.done.store(true, std::memory_order_release);
      }
      r.ended.store(true, std::memory_order_release);
    }
    cv.notify_all();
  };
  // Deterministic mode: the second participant waits while its clock is
  // ahead of the lead's (until the lead ends).
  auto waitForLead = [&]() {
    if (!deterministic) return;
    std::unique_lock<std::mutex> l(mu);
    cv.wait(l, [&]() {
      return lead.ended.load(std::memory_order_acquire) || second.now() <= lead.clock.load(std::memory_order_acquire);
    });
  };

  std::atomic<bool> leadStoppedOnLimit{false};
  LpOptions& ol = lead.engine->options();
  engineOptionsFromParams(env, ol, lead.method == kMethodDual, sense, offset);
  ol.workCounter = &lead.work;
  ol.log = [&lead](const char* line) { lead.log.emplace_back(line); };
  uint64_t pushed = 0;  // lead work already added to the environment's counter
  ol.poll = [&]() {
    if (env.realCounter) env.realCounter->value += lead.work - pushed;
    pushed = lead.work;
    publish(lead);
    if (int st = checkLimits(env)) {
      leadStoppedOnLimit.store(true, std::memory_order_release);
      return st;
    }
    return beaten(lead, second, deterministic) ? kStopBeaten : 0;
  };

  LpOptions& os = second.engine->options();
  engineOptionsFromParams(env, os, second.method == kMethodDual, sense, offset);
  os.workCounter = &second.work;
  os.log = [&second](const char* line) { second.log.emplace_back(line); };
  os.poll = [&]() {
    // Nobody waits for the second participant's clock: no lock needed.
    second.clock.store(second.now(), std::memory_order_release);
    // The lead's thread watches the environment's limits; once it stopped on
    // one, the second participant stops too.
    if (leadStoppedOnLimit.load(std::memory_order_acquire)) return kStopBeaten;
    if (beaten(second, lead, deterministic)) return kStopBeaten;
    waitForLead();
    return beaten(second, lead, deterministic) ? kStopBeaten : 0;
  };
  // A poll at every iteration keeps the second participant within one
  // iteration of its allowance (an iteration of a wide model is costly).
  os.pollInterval = 1;

  if (display) {
    print(env, Chan::Results, " * Starting %s on 1 thread...\n", methodName(lead.method));
    print(env, Chan::Results, " * Starting %s on 1 thread...\n", methodName(second.method));
  }
  // The second participant's thread: it pays for copying the model (one unit
  // per nonzero, row and column) before it may start, so a lead that finishes
  // cheaply leaves it unloaded.
  auto secondRun = [&]() {
    LpStatus st = LpStatus::kNonOptimal;
    try {
      second.work = static_cast<uint64_t>(md.numNz()) + static_cast<uint64_t>(md.numRows()) + static_cast<uint64_t>(md.numCols());
      waitForLead();
      if (!leadStoppedOnLimit.load(std::memory_order_acquire) && !beaten(second, lead, deterministic) &&
          second.engine->load(md) == 0) {
        if (static_cast<int>(s.startCstat.size()) == md.numCols() && static_cast<int>(s.startRstat.size()) == md.numRows()) {
          std::vector<int> rstat = rowStatusToEngine(*p.data, s.startRstat);
          second.engine->setBasis(s.startCstat.data(), rstat.data());
        }
        st = second.method == kMethodPrimal ? second.engine->solvePrimal() : second.engine->solveDual();
      }
    } catch (...) {
      st = LpStatus::kNonOptimal;
    }
    finish(second, st);
  };
  std::thread worker;
  bool threaded = false;
  try {
    worker = std::thread(secondRun);
    threaded = true;
  } catch (...) {
    threaded = false;  // no thread: the lead runs alone
    second.ended.store(true);
  }
  if (int st = pushLimitFrameFromParams(env)) {
    leadStoppedOnLimit.store(true);
    finish(lead, LpStatus::kNonOptimal);
    if (threaded) worker.join();
    return st;
  }
  LpStatus sl = lead.method == kMethodPrimal ? lead.engine->solvePrimal() : lead.engine->solveDual();
  finish(lead, sl);
  popLimitFrame(env);
  if (env.realCounter) env.realCounter->value += lead.work - pushed;
  if (threaded) worker.join();
  if (env.realCounter) env.realCounter->value += second.work;

  for (LpOptions* o : {&ol, &os}) {
    o->log = nullptr;
    o->poll = nullptr;
    o->workCounter = nullptr;
  }

  // The winner: the participant with an answer (the one with the lower clock
  // when both have one; the lead on a tie); without any answer, the lead.
  const bool secondWins = second.done && (!lead.done || second.finalClock < lead.finalClock);
  Racer& win = secondWins ? second : lead;
  for (const std::string& line : win.log) print(env, Chan::Log, "%s", line.c_str());
  if (display)
    print(env, Chan::Results, "%s solved model.\n\n", win.method == kMethodPrimal ? "\nPrimal simplex" : "\nDual simplex");
  if (secondWins) s.engine.swap(second.own);
  return -win.method;  // negative: the method that produced the solution
}

}  // namespace

namespace {

// One optimization of the problem as it is (no presolve).
int solveModel(Env& env, model::Problem& p, LpState* s, int method) {
  if (method == kMethodSifting || (method == kMethodAuto && params::getInt(env, kParamLpMethod) == kMethodSifting))
    return siftOptimize(env, p, *s);
  // Without the advanced start every solve begins from the slack basis with
  // fresh pricing weights.
  if (params::getInt(env, kParamAdvance) == 0) s->reload = true;
  if (s->reload || !s->engine) {
    if (int st = loadEngine(env, p, *s)) return st;
  } else {
    syncEngine(p, *s);
  }
  if (method == kMethodAuto) method = chooseMethod(env, p, *s, true);
  if (method == kMethodConcurrent) {
    model::ModelData md;
    if (int st = model::exportData(p, md)) return st;
    int r = runConcurrent(env, p, *s, md);
    if (r > 0) return r;
    storeEngineSolution(p, *s, -r);
    flushChannel(env, Chan::Log);
    return s->engine->basisSingular() ? 1256 : 0;
  }
  // The methods not built into this engine (network, barrier, sifting) are
  // served by the dual simplex.
  if (method != kMethodPrimal) method = kMethodDual;
  engineOptionsFromParams(env, s->engine->options(), method == kMethodDual, p.data->objsen, p.data->objoffset);
  if (int st = pushLimitFrameFromParams(env)) return st;
  if (method == kMethodPrimal) s->engine->solvePrimal();
  else s->engine->solveDual();
  popLimitFrame(env);
  // The callbacks capture the environment: drop them with the call.
  s->engine->options().log = nullptr;
  s->engine->options().poll = nullptr;
  storeEngineSolution(p, *s, method);
  flushChannel(env, Chan::Log);
  // Out of singularity repairs: the basis is reported singular.
  return s->engine->basisSingular() ? 1256 : 0;
}

constexpr int kPresolveSkipped = -1;

// Presolve runs unless switched off or an advanced start basis is there to
// warm start from (a re-solve after a change keeps the warm-start speed).
bool presolveWanted(Env& env, const model::Problem& p, const LpState& s) {
  if (params::getInt(env, kParamPresolve) == 0) return false;
  const size_t n = static_cast<size_t>(p.data->cols()), m = static_cast<size_t>(p.data->rows());
  if (params::getInt(env, kParamAdvance) != 0 && n + m > 0 && s.startCstat.size() == n && s.startRstat.size() == m)
    return false;
  return true;
}

// The automatic setting forms the dual of a reduced problem with at least
// this many times as many rows as columns (and kAutoDualMinRows rows): the
// dual then has few rows and many columns, which suits the simplex better
// (the relaxation of seymour, 4656 rows and 1092 columns after presolve,
// solves in half the time; qiu at 1.5 rows per column loses).
inline constexpr int kAutoDualRowsPerCol = 3;
inline constexpr int kAutoDualMinRows = 1000;

bool dualPays(const model::ModelData& red) {
  const int64_t m = red.numRows(), n = red.numCols();
  return m >= kAutoDualMinRows && m >= kAutoDualRowsPerCol * n;
}

// With VNTPARAM_Preprocessing_Dual 1, or at its automatic setting (0) when
// the method is chosen automatically and dualPays says so, the dual of the
// reduced problem is solved in its place, and its answer becomes the reduced
// problem's solution and basis.  False (nothing solved) when the dual is not
// formed or not solved to optimality: the reduced problem is then solved
// itself.  -1 keeps the primal.
struct DualRun {
  long long itcnt = 0, phase1cnt = 0;
  int method = 0;
};
bool dualWanted(Env& env, const presolve::Presolved& pre, int method) {
  const int preDual = params::getInt(env, kParamPreDual);
  return preDual > 0 || (preDual == 0 && method == kMethodAuto && dualPays(pre.reduced));
}
bool solveReducedDual(Env& env, const presolve::Presolved& pre, int method, presolve::Solution& rs, DualRun& out) {
  if (!dualWanted(env, pre, method)) return false;
  presolve::DualForm f;
  if (!presolve::formDual(pre.reduced, f)) return false;
  int st = 0;
  model::Problem* dp = presolve::makeDetachedProblem(env, f.dual, model::kLP, &st);
  if (!dp) return false;
  bool ok = false;
  if (LpState* ds = lpState(*dp)) {
    print(env, Chan::Results, "DUAL formed by presolve\n");
    const int r = solveModel(env, *dp, ds, method);
    if (r == 0 && ds->stat == 1 && ds->engine) {
      LpEngine& e = *ds->engine;
      presolve::Solution dsol;
      const int nd = e.numCols(), md = e.numRows();
      dsol.x.resize(nd);
      dsol.pi.resize(md);
      dsol.cstat.resize(nd);
      dsol.rstat.resize(md);
      e.getX(dsol.x.data());
      e.getPi(dsol.pi.data());
      e.getBasis(dsol.cstat.data(), dsol.rstat.data());
      presolve::dualToPrimal(f, pre.reduced, dsol, rs);
      out.itcnt = ds->itcnt;
      out.phase1cnt = ds->phase1cnt;
      out.method = ds->method;
      ok = true;
    }
  }
  presolve::freeDetachedProblem(dp);
  return ok;
}

// Presolve, solve the reduced problem, map its basis back and let the
// simplex finish on the original problem from that basis (no iterations
// when the mapped basis is optimal).
int optimizeWithPresolve(Env& env, model::Problem& p, LpState& s, int method) {
  model::ModelData md;
  if (int st = model::exportData(p, md)) return st;
  std::unique_ptr<presolve::Presolved> pre(new (std::nothrow) presolve::Presolved);
  if (!pre) return kPresolveSkipped;
  const presolve::Options opt = presolve::optionsFromParams(env, false);
  int st = presolve::run(env, md, opt, "LP", *pre);
  if (st == 1001) {
    print(env, Chan::Results, "Insufficient memory for presolve.\n");
    return kPresolveSkipped;
  }
  if (st == presolve::kInfeasible || st == presolve::kUnbounded || st == presolve::kInfeasibleOrUnbounded) {
    s.clearSolution();
    s.noSolution = true;
    s.stat = st == presolve::kInfeasible ? 3 : st == presolve::kUnbounded ? 2 : 4;
    return st;
  }
  if (st) {
    // Stopped inside presolve: the status says why.
    s.clearSolution();
    s.noSolution = true;
    s.stat = st == presolve::kTimeLimit ? 11 : st == presolve::kDetTimeLimit ? 25 : st == presolve::kAborted ? 13 : 0;
    return st;
  }
  // A problem presolve left as it is goes to the simplex directly, unless
  // its dual formulation is to be solved.
  if (pre->nothingReduced() && !dualWanted(env, *pre, method)) return kPresolveSkipped;

  presolve::Solution rs;
  long long redIt = 0, redPh1 = 0;
  int used = method == kMethodPrimal ? kMethodPrimal : kMethodDual;
  model::Problem* red = nullptr;
  DualRun viaDual;
  if (!pre->allEliminated() && solveReducedDual(env, *pre, method, rs, viaDual)) {
    red = presolve::makeDetachedProblem(env, pre->reduced, model::kLP, &st);
    redIt = viaDual.itcnt;
    redPh1 = viaDual.phase1cnt;
    used = viaDual.method;
  } else if (!pre->allEliminated()) {
    red = presolve::makeDetachedProblem(env, pre->reduced, model::kLP, &st);
    if (!red) return st ? st : 1001;
    LpState* rsState = lpState(*red);
    if (!rsState) {
      presolve::freeDetachedProblem(red);
      return 1001;
    }
    const int r = solveModel(env, *red, rsState, method);
    if (r > 0 && r != 1256) {
      presolve::freeDetachedProblem(red);
      return r;
    }
    if (rsState->stat == 2 || rsState->stat == 3 || rsState->stat == 4) {
      // The original problem settles it from scratch, so that its own
      // certificate (Farkas row, ray) comes with the answer.
      presolve::freeDetachedProblem(red);
      s.reload = true;
      return kPresolveSkipped;
    }
    LpEngine& e = *rsState->engine;
    const int nr = e.numCols(), mr = e.numRows();
    rs.x.resize(nr);
    rs.dj.resize(nr);
    rs.pi.resize(mr);
    rs.rowAct.resize(mr);
    rs.cstat.resize(nr);
    rs.rstat.resize(mr);
    e.getX(rs.x.data());
    e.getDj(rs.dj.data());
    e.getPi(rs.pi.data());
    e.getRowActivity(rs.rowAct.data());
    e.getBasis(rs.cstat.data(), rs.rstat.data());
    redIt = rsState->itcnt;
    redPh1 = rsState->phase1cnt;
    s.siftItcnt = rsState->siftItcnt;
    s.siftPhase1cnt = rsState->siftPhase1cnt;
    used = rsState->method;
  }
  presolve::Solution os;
  pre->uncrush(rs, os, true);
  if (presolve::storeState(env, p, std::move(pre), red) != 0) presolve::freeDetachedProblem(red);

  // The original problem from the mapped-back basis.
  if (int r = loadModelIntoEngine(env, p, s)) return r;
  LpEngine& e = *s.engine;
  if (e.setBasis(os.cstat.data(), os.rstat.data()) != 0) print(env, Chan::Log, "Advanced basis not built.\n");
  const int clean = e.startFavoursPrimal() ? kMethodPrimal : kMethodDual;
  engineOptionsFromParams(env, e.options(), clean == kMethodDual, p.data->objsen, p.data->objoffset);
  e.options().iterationLimit = std::max<int64_t>(0, e.options().iterationLimit - redIt);
  if (int r = pushLimitFrameFromParams(env)) return r;
  if (clean == kMethodPrimal) e.solvePrimal();
  else e.solveDual();
  popLimitFrame(env);
  e.options().log = nullptr;
  e.options().poll = nullptr;
  storeEngineSolution(p, s, used);
  s.itcnt += redIt;
  s.phase1cnt += redPh1;
  flushChannel(env, Chan::Log);
  return e.basisSingular() ? 1256 : 0;
}

}  // namespace

int optimizeLp(Env& env, model::Problem& p, int method) {
  // A model with several objectives has no single optimum to report.
  if (!p.data->objectives.empty()) return 1070;
  if (model::isMipType(p.probtype)) return 1017;
  if (p.probtype == model::kQP) return 1018;
  if (p.probtype == model::kQCP) return 1031;
  if (int st = model::flushCache(env, p)) return st;
  if (int st = model::checkSolveData(env, p)) return st;
  if (&network::hybridOptimize != nullptr &&
      (method == kMethodNetwork || (method == kMethodAuto && params::getInt(env, kParamLpMethod) == kMethodNetwork)))
    return network::hybridOptimize(env, p, kMethodDual);
  LpState* s = lpState(p);
  if (!s) return 1001;
  params::displayChanged(env);
  if (presolveWanted(env, p, *s)) {
    const int r = optimizeWithPresolve(env, p, *s, method);
    if (r == presolve::kInfeasibleOrUnbounded) {
      // Presolve found a direction that improves the objective without
      // limit: the problem is unbounded if it is feasible.  The simplex on
      // the original problem settles which, with a point and a ray for an
      // unbounded answer and a Farkas certificate for an infeasible one.
      s->reload = true;
      const int st = solveModel(env, p, s, method);
      if (st != 0) return st;
      if (s->stat == 2) return presolve::kUnbounded;
      if (s->stat == 4) {
        s->noSolution = true;
        return presolve::kInfeasibleOrUnbounded;
      }
      return 0;
    }
    if (r != presolve::kInfeasible) {
      if (r != kPresolveSkipped) return r;
    } else {
      // Presolve's verdict comes without row weights: the simplex solves the
      // original problem, so that the answer carries a Farkas certificate,
      // and its own answer stands, with its values, should it find the
      // problem feasible (an unbounded answer keeps its point and ray).
      s->reload = true;
      const int st = solveModel(env, p, s, method);
      if (st != 0 || s->stat != 3) return st;
      s->noSolution = true;  // presolve's outcome: a status without values
      return presolve::kInfeasible;
    }
  }
  return solveModel(env, p, s, method);
}

}  // namespace vnt::simplex

// ---------------------------------------------------------------------------
// Checked entries.

namespace vnt::chk {

using simplex::findLpState;
using simplex::LpState;

namespace {

// Status texts: long and short, searched in this order.
struct StatText {
  int code;
  const char* longText;
  const char* shortText;
};
const StatText kStatTexts[] = {
#include "simplex/stat_table.inc"
};

const LpState* solved(const model::Problem& p) {
  const LpState* s = findLpState(p);
  // A presolve that settled the problem leaves a status without values.
  return s && s->stat != 0 && !s->noSolution && s->x.size() == static_cast<size_t>(p.data->cols()) ? s : nullptr;
}

int copyRange(Env& env, const model::Problem& p, const char* name, const std::vector<double>& src,
              double* dst, int begin, int end, int count, bool needDual) {
  if (int st = model::ops::refuseFixed(p)) return st;
  if (!dst) return 1004;
  if (int st = model::ops::checkRange(env, name, begin, end, count)) return st;
  const LpState* s = solved(p);
  if (!s) return 1217;
  if (needDual && !s->dual) return 1232;
  if (end >= begin) {
    std::copy(src.begin() + begin, src.begin() + end + 1, dst);
    model::ops::countWork(env, end - begin + 1);
  }
  return 0;
}

}  // namespace

// Long or short text of a solution status, or null for an unknown code.
const char* statText(int code, bool shortText) {
  if (code == 1) return "optimal";
  for (const StatText& t : kStatTexts) {
    if (t.code == 0) break;
    if (t.code == code) return shortText ? t.shortText : t.longText;
  }
  return nullptr;
}

int lpopt(Env& env, model::Problem& lp) { return simplex::optimizeLp(env, lp, simplex::kMethodAuto); }
int primopt(Env& env, model::Problem& lp) {
  return simplex::optimizeLp(env, lp, simplex::kMethodPrimal);
}
int dualopt(Env& env, model::Problem& lp) {
  return simplex::optimizeLp(env, lp, simplex::kMethodDual);
}
int siftopt(Env& env, model::Problem& lp) {
  return simplex::optimizeLp(env, lp, simplex::kMethodSifting);
}

int getstat(Env&, model::Problem& lp, int* result_out) {
  const LpState* s = findLpState(lp);
  *result_out = s ? s->stat : 0;
  return 0;
}

const char* getstatstring(VNTCENVptr env, int statind, char* buffer) {
  if (!env || !buffer) return nullptr;
  const char* t = statText(statind, false);
  strcpy(buffer, t ? t : "Unknown status value");
  return t ? buffer : nullptr;
}

int getobjval(Env&, model::Problem& lp, double* objval_p) {
  if (!objval_p) return 1004;
  const LpState* s = solved(lp);
  if (!s) return 1217;
  *objval_p = s->objval;
  return 0;
}

int getx(Env& env, model::Problem& lp, double* x, int begin, int end) {
  const LpState* s = solved(lp);
  return copyRange(env, lp, "VNTgetx", s ? s->x : std::vector<double>{}, x, begin, end,
                   lp.data->numCols(), false);
}
int getdj(Env& env, model::Problem& lp, double* dj, int begin, int end) {
  const LpState* s = solved(lp);
  return copyRange(env, lp, "VNTgetdj", s ? s->dj : std::vector<double>{}, dj, begin, end,
                   lp.data->numCols(), true);
}
int getpi(Env& env, model::Problem& lp, double* pi, int begin, int end) {
  const LpState* s = solved(lp);
  return copyRange(env, lp, "VNTgetpi", s ? s->pi : std::vector<double>{}, pi, begin, end,
                   lp.data->numRows(), true);
}
int getslack(Env& env, model::Problem& lp, double* slack, int begin, int end) {
  const LpState* s = solved(lp);
  return copyRange(env, lp, "VNTgetslack", s ? s->slack : std::vector<double>{}, slack, begin,
                   end, lp.data->numRows(), false);
}

int solution(Env&, model::Problem& lp, int* lpstat_p, double* objval_p, double* x, double* pi,
             double* slack, double* dj) {
  if (model::isMipType(lp.probtype) && (pi || dj)) return 1017;
  const LpState* s = solved(lp);
  if (!s) return 1217;
  if ((pi || dj) && !s->dual) return 1232;
  if (lpstat_p) *lpstat_p = s->stat;
  if (objval_p) *objval_p = s->objval;
  if (x) std::copy(s->x.begin(), s->x.end(), x);
  if (pi) std::copy(s->pi.begin(), s->pi.end(), pi);
  if (slack) std::copy(s->slack.begin(), s->slack.end(), slack);
  if (dj) std::copy(s->dj.begin(), s->dj.end(), dj);
  return 0;
}

int solninfo(Env&, model::Problem& lp, int* method_p, int* type_p, int* pfeas_p, int* dfeas_p) {
  const LpState* s = solved(lp);
  if (method_p) *method_p = s ? s->method : 0;
  if (type_p) *type_p = s ? (s->basic ? 1 : 2) : 0;
  if (pfeas_p) *pfeas_p = s && s->primalFeasible ? 1 : 0;
  if (dfeas_p) *dfeas_p = s && s->dualFeasible ? 1 : 0;
  return 0;
}

int getitcnt(Env&, model::Problem& lp, long long* result_out) {
  const LpState* s = solved(lp);
  *result_out = s ? s->itcnt : 0;
  return 0;
}

int getphase1cnt(Env&, model::Problem& lp, long long* result_out) {
  const LpState* s = solved(lp);
  *result_out = s ? s->phase1cnt : 0;
  return 0;
}

int getsiftitcnt(Env&, model::Problem& lp, long long* result_out) {
  const LpState* s = findLpState(lp);
  *result_out = s ? s->siftItcnt : 0;
  return 0;
}

int getsiftphase1cnt(Env&, model::Problem& lp, long long* result_out) {
  const LpState* s = findLpState(lp);
  *result_out = s ? s->siftPhase1cnt : 0;
  return 0;
}

int getmethod(Env&, model::Problem& lp, int* result_out) {
  const LpState* s = solved(lp);
  *result_out = s ? s->method : 0;
  return 0;
}

int getbase(Env&, model::Problem& lp, int* cstat, int* rstat) {
  const LpState* s = solved(lp);
  if (!s) return 1217;
  if (!s->basic) return 1262;
  if (cstat) std::copy(s->cstat.begin(), s->cstat.end(), cstat);
  if (rstat) std::copy(s->rstat.begin(), s->rstat.end(), rstat);
  return 0;
}

int copybase(Env& env, model::Problem& lp, const int* cstat, const int* rstat) {
  if (int st = model::flushCache(env, lp)) return st;
  const int n = lp.data->numCols(), m = lp.data->numRows();
  if ((n > 0 && !cstat) || (m > 0 && !rstat)) return 1004;
  // A basis with the wrong number of basic variables is kept and repaired
  // (or replaced by the slack basis) when the next solve installs it.
  for (int j = 0; j < n; ++j)
    if (cstat[j] < 0 || cstat[j] > 3) return reportError(env, 1253, static_cast<long long>(cstat[j]));
  for (int i = 0; i < m; ++i)
    if (rstat[i] < 0 || rstat[i] > 2) return reportError(env, 1253, static_cast<long long>(rstat[i]));
  LpState* s = simplex::lpState(lp);
  if (!s) return 1001;
  s->startCstat.assign(cstat, cstat + n);
  s->startRstat.assign(rstat, rstat + m);
  s->reload = true;  // install the basis at the next solve
  s->clearSolution();
  return 0;
}

}  // namespace vnt::chk

namespace vnt::simplex {

bool startBasis(const model::Problem& p, std::vector<int>& cstat, std::vector<int>& rstat) {
  const LpState* s = findLpState(p);
  if (!s || !p.data) return false;
  const std::size_t n = static_cast<std::size_t>(p.data->numCols()), m = static_cast<std::size_t>(p.data->numRows());
  if (s->startCstat.size() != n || s->startRstat.size() != m || n + m == 0) return false;
  cstat = s->startCstat;
  rstat = s->startRstat;
  return true;
}

}  // namespace vnt::simplex
