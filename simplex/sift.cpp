// Sifting: the loop over working LPs, the default pricer and the bound
// perturbation of the working columns.
#include "simplex/sift.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>

#include "env/limits.h"
#include "params/params.h"
#include "simplex/lpdriver.h"

namespace vnt::simplex {

namespace {

constexpr double kInf = tol::kInfinity;
// Passes without progress of the working objective that start the bound
// perturbation, the relative size of the perturbation, and the least
// objective change that counts as progress.
constexpr int kStallPasses = 5;
constexpr double kPerturbSize = 1e-6;
constexpr double kProgressRel = 1e-9;
// Phase 1 pricing tolerance: tightened tenfold while above this floor when
// nothing prices out; at the floor, the problem is infeasible.
constexpr double kPhase1TolFloor = 1e-10;
// Default pricer: columns added per pass (a share of the rows or of the
// columns, whichever is larger, at least a minimum), the working-set size that starts trimming (a multiple of the
// rows), and the least reduced cost (times the pricing tolerance) of a column
// that may leave.
constexpr double kAddPerRow = 1.0;
constexpr double kAddPerCol = 0.01;
constexpr int kAddMin = 50;
constexpr double kTrimPerRow = 3.0;
constexpr int kTrimMin = 200;
constexpr double kLeaveFactor = 100.0;
// Iterations after which a working primal solve hands over to the dual.
constexpr int64_t kPrimalCapBase = 1000;
constexpr int64_t kPrimalCapPerRow = 5;
// Phase 1 penalty of an artificial: this many times the largest cost.
constexpr double kPenaltyFactor = 10.0;
// Initial working set: each row covered by this many columns.
constexpr int kInitialCover = 2;

bool finiteLo(double v) { return v > -kInf; }
bool finiteUp(double v) { return v < kInf; }

// Draw in [0, 1) from the environment's random stream (or a local one).
double draw(uint64_t* state) {
  static thread_local uint64_t local = 0x9e3779b97f4a7c15ULL;
  uint64_t& s = state ? *state : local;
  s += 0x9e3779b97f4a7c15ULL;
  uint64_t z = s;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * (1.0 / 9007199254740992.0);
}

// Nonbasic status of a column resting at value v.
int restStatus(const model::ModelData& md, int j, double v) {
  if (finiteLo(md.lb[j]) && v == md.lb[j]) return kBasisAtLower;
  if (finiteUp(md.ub[j]) && v == md.ub[j]) return kBasisAtUpper;
  return kBasisFree;
}

// Phase 1 with the infeasibility alone as its objective.
bool pureInfeasibility(const SiftState& st) { return st.phase == 1 && st.pureCosts; }

// Reduced cost of column j in minimization form of the current objective.
double minFormDj(const SiftState& st, int j) {
  const model::ModelData& md = *st.full;
  const bool pure = pureInfeasibility(st);
  double d = pure ? 0.0 : md.obj[j];
  for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) d -= st.pi[md.matind[k]] * md.matval[k];
  return pure ? d : d * md.objsen;
}

// How far column j, resting at a bound, prices out (0 when it does not).
double attraction(const SiftState& st, int j, double tolD) {
  const model::ModelData& md = *st.full;
  if (md.lb[j] == md.ub[j]) return 0.0;
  const double d = minFormDj(st, j);
  const double v = st.rest[j];
  const bool atLo = finiteLo(md.lb[j]) && v == md.lb[j];
  const bool atUp = finiteUp(md.ub[j]) && v == md.ub[j];
  if (atLo && d < -tolD) return -d;
  if (atUp && d > tolD) return d;
  if (!atLo && !atUp && std::fabs(d) > tolD) return std::fabs(d);
  return 0.0;
}

double columnNorm(const model::ModelData& md, int j) {
  double s = 0.0;
  for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) s += md.matval[k] * md.matval[k];
  return std::sqrt(std::max(s, 1e-12));
}

// Initial working set: columns by objective per unit norm (in the direction
// of optimization), each taken while it covers a row that has fewer than
// kInitialCover columns so far.
void initialWorkingSet(SiftState& st) {
  const model::ModelData& md = *st.full;
  std::vector<std::pair<double, int>> order;
  order.reserve(st.n);
  for (int j = 0; j < st.n; ++j) {
    if (md.matbeg[j] == md.matbeg[j + 1]) continue;
    order.emplace_back(md.objsen * md.obj[j] / st.colNorm[j], j);
  }
  std::sort(order.begin(), order.end());
  std::vector<int> cover(st.m, 0);
  std::vector<int> pick;
  int uncovered = st.m;
  for (const auto& [score, j] : order) {
    if (uncovered == 0) break;
    bool useful = false;
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k)
      if (cover[md.matind[k]] < kInitialCover) useful = true;
    if (!useful) continue;
    pick.push_back(j);
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k)
      if (++cover[md.matind[k]] == kInitialCover) --uncovered;
  }
  siftAddCols(st, static_cast<int>(pick.size()), pick.data());
}

// The working LP of the current phase and working set.
void buildWorking(const SiftState& st, model::ModelData& w) {
  const model::ModelData& md = *st.full;
  const bool ph1 = st.phase == 1;
  const bool pure = pureInfeasibility(st);
  w.objsen = pure ? 1 : md.objsen;
  w.objoffset = pure ? 0.0 : md.objoffset;
  w.sense = md.sense;
  w.rhs = md.rhs;
  w.rngval = md.rngval;
  // Resting columns away from zero shift the rows (and the objective).
  for (int j = 0; j < st.n; ++j) {
    const double v = st.rest[j];
    if (st.where[j] >= 0 || v == 0.0) continue;
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) w.rhs[md.matind[k]] -= md.matval[k] * v;
    if (!pure) w.objoffset += md.obj[j] * v;
  }
  const int na = static_cast<int>(st.artRow.size());
  const int nw = na + static_cast<int>(st.work.size());
  w.obj.resize(nw);
  w.lb.resize(nw);
  w.ub.resize(nw);
  w.matbeg.assign(1, 0);
  w.matbeg.reserve(nw + 1);
  w.matind.clear();
  w.matval.clear();
  for (int a = 0; a < na; ++a) {
    w.obj[a] = !ph1 ? 0.0 : pure ? 1.0 : md.objsen * st.penalty;
    w.lb[a] = 0.0;
    w.ub[a] = ph1 ? kInf : 0.0;
    w.matind.push_back(st.artRow[a]);
    w.matval.push_back(st.artSign[a]);
    w.matbeg.push_back(static_cast<int64_t>(w.matind.size()));
  }
  for (size_t p = 0; p < st.work.size(); ++p) {
    const int j = st.work[p];
    const int c = na + static_cast<int>(p);
    w.obj[c] = pure ? 0.0 : md.obj[j];
    w.lb[c] = st.perturbed ? st.pertLo[j] : md.lb[j];
    w.ub[c] = st.perturbed ? st.pertUp[j] : md.ub[j];
    w.matind.insert(w.matind.end(), md.matind.begin() + md.matbeg[j], md.matind.begin() + md.matbeg[j + 1]);
    w.matval.insert(w.matval.end(), md.matval.begin() + md.matbeg[j], md.matval.begin() + md.matbeg[j + 1]);
    w.matbeg.push_back(static_cast<int64_t>(w.matind.size()));
  }
}

// Solve the working LP from the last working basis.
LpStatus solveWorking(SiftState& st, const SiftOptions& opt, model::ModelData& w, bool haveBasis) {
  buildWorking(st, w);
  LpEngine& e = st.engine;
  if (e.load(w) != 0) return LpStatus::kNonOptimal;
  const int na = static_cast<int>(st.artRow.size());
  const int nw = na + static_cast<int>(st.work.size());
  if (haveBasis) {
    std::vector<int> cstat(nw);
    std::copy(st.artStat.begin(), st.artStat.end(), cstat.begin());
    std::copy(st.workStat.begin(), st.workStat.end(), cstat.begin() + na);
    e.setBasis(cstat.data(), st.rowStat.data());  // a refused basis leaves the slack basis
  }
  LpOptions& o = e.options();
  const bool scale = o.scale;
  o = opt.lp;
  o.scale = scale;
  o.optimalityTol = st.pricingTol;
  o.iterationLimit = std::max<int64_t>(0, opt.lp.iterationLimit - st.workIt);
  int method = st.method;
  // Automatic: after columns were added to an optimal working basis it is
  // still primal feasible and the primal simplex goes on from it, unless
  // every column is boxed: then the dual simplex starts dual feasible by
  // putting each new column that prices out at its other bound, and needs
  // far fewer iterations than the primal on these degenerate LPs.
  if (method == kMethodAuto) method = st.primalStart && !st.allBoxed ? kMethodPrimal : kMethodDual;
  // Network and barrier working solves are served by the dual simplex.
  LpStatus s;
  int64_t its = 0;
  if (method == kMethodPrimal) {
    // A primal solve that stalls on a degenerate working LP hands its basis
    // to the dual simplex after a multiple of the rows' worth of iterations.
    const int64_t total = o.iterationLimit;
    const int64_t cap = kPrimalCapBase + kPrimalCapPerRow * static_cast<int64_t>(st.m);
    o.iterationLimit = std::min(total, cap);
    s = e.solvePrimal();
    its = e.iterations();
    if (s == LpStatus::kIterationLimit && total > cap) {
      o.iterationLimit = total - its;
      s = e.solveDual();
      its += e.iterations();
    }
  } else {
    s = e.solveDual();
    its = e.iterations();
  }
  st.workIt += its;
  if (st.phase == 1) st.workPhase1 += its;
  // Read the working solution back.
  std::vector<int> cstat(nw);
  st.rowStat.resize(st.m);
  e.getBasis(cstat.data(), st.rowStat.data());
  st.artStat.assign(cstat.begin(), cstat.begin() + na);
  st.workStat.assign(cstat.begin() + na, cstat.end());
  std::vector<double> x(nw);
  e.getX(x.data());
  st.workX.assign(x.begin() + na, x.end());
  st.pi.resize(st.m);
  e.getPi(st.pi.data());
  st.objval = e.objective();
  double artMax = 0.0;
  st.infeas = 0.0;
  for (int a = 0; a < na; ++a) {
    artMax = std::max(artMax, std::fabs(x[a]));
    st.infeas += std::fabs(x[a]);
  }
  if (st.phase == 1 && s == LpStatus::kOptimal && artMax <= opt.lp.feasibilityTol) st.infeas = 0.0;
  return s;
}

void startPerturbation(SiftState& st, const SiftOptions& opt) {
  const model::ModelData& md = *st.full;
  st.pertLo = md.lb;
  st.pertUp = md.ub;
  for (int j : st.work) {
    if (md.lb[j] == md.ub[j]) continue;
    if (std::fabs(md.lb[j]) < kInf)
      st.pertLo[j] = md.lb[j] - kPerturbSize * (1.0 + std::fabs(md.lb[j])) * draw(opt.randomState);
    if (std::fabs(md.ub[j]) < kInf)
      st.pertUp[j] = md.ub[j] + kPerturbSize * (1.0 + std::fabs(md.ub[j])) * draw(opt.randomState);
  }
  st.perturbed = true;
}

void logPass(const SiftState& st, const SiftOptions& opt) {
  if (opt.display <= 0 || !opt.log) return;
  char line[160];
  const char* pre = opt.display >= 2 ? "\n" : "";
  if (st.phase == 2)
    std::snprintf(line, sizeof line, "%sSifting iteration %4lld [%5lld]:   Objective     = %20.6f\n", pre,
                  st.itcnt, static_cast<long long>(st.work.size()), st.objval);
  else
    std::snprintf(line, sizeof line, "%sSifting iteration %4lld [%5lld]:   Infeasibility = %20.6f\n", pre,
                  st.itcnt, static_cast<long long>(st.work.size()), st.infeas);
  opt.log(line);
  if (opt.display >= 2) opt.log("\n");
}

}  // namespace

int siftAddCols(SiftState& st, int cnt, const int* ind) {
  int changed = 0;
  for (int k = 0; k < cnt; ++k) {
    const int j = ind[k];
    if (j < 0 || j >= st.n || st.where[j] >= 0) continue;
    st.where[j] = static_cast<int>(st.work.size());
    st.work.push_back(j);
    st.workStat.push_back(restStatus(*st.full, j, st.rest[j]));
    st.workX.push_back(st.rest[j]);
    ++changed;
  }
  return changed;
}

int siftDelCols(SiftState& st, int cnt, const int* ind) {
  if (st.perturbed) return 0;  // columns leave only at their true bounds
  const model::ModelData& md = *st.full;
  int changed = 0;
  for (int k = 0; k < cnt; ++k) {
    const int j = ind[k];
    if (j < 0 || j >= st.n || st.where[j] < 0) continue;
    const int p = st.where[j];
    double v;
    switch (st.workStat[p]) {
      case kBasisAtLower: v = md.lb[j]; break;
      case kBasisAtUpper: v = md.ub[j]; break;
      case kBasisFree: v = 0.0; break;
      default: continue;  // basic
    }
    if (std::fabs(v) >= kInf || (st.workStat[p] == kBasisFree && st.workX[p] != 0.0)) continue;
    st.rest[j] = v;
    st.where[j] = -2;  // leaving
    ++changed;
  }
  if (changed == 0) return 0;
  size_t out = 0;
  for (size_t p = 0; p < st.work.size(); ++p) {
    const int j = st.work[p];
    if (st.where[j] == -2) {
      st.where[j] = -1;
      continue;
    }
    st.work[out] = j;
    st.workStat[out] = st.workStat[p];
    st.workX[out] = st.workX[p];
    st.where[j] = static_cast<int>(out);
    ++out;
  }
  st.work.resize(out);
  st.workStat.resize(out);
  st.workX.resize(out);
  return changed;
}

int siftDefaultPricer(Env&, SiftState& st, void*) {
  const double tolD = st.pricingTol;
  std::vector<std::pair<double, int>> cand;
  for (int j = 0; j < st.n; ++j) {
    if (st.where[j] >= 0) continue;
    const double a = attraction(st, j, tolD);
    if (a > 0.0) cand.emplace_back(-a / st.colNorm[j], j);
  }
  const size_t limit = static_cast<size_t>(std::max({double(kAddMin), kAddPerRow * st.m, kAddPerCol * st.n}));
  if (cand.size() > limit) {
    std::nth_element(cand.begin(), cand.begin() + static_cast<std::ptrdiff_t>(limit), cand.end());
    cand.resize(limit);
  }
  std::vector<int> in;
  in.reserve(cand.size());
  for (const auto& c : cand) in.push_back(c.second);
  // Trim: the nonbasic working columns with the largest reduced costs leave
  // once the set has outgrown its cap (the new columns included).
  const size_t cap = static_cast<size_t>(std::max<double>(kTrimMin, kTrimPerRow * st.m)) + in.size();
  if (!st.perturbed && st.work.size() + in.size() > cap) {
    std::vector<std::pair<double, int>> leave;
    for (size_t p = 0; p < st.work.size(); ++p) {
      const int j = st.work[p];
      const int s = st.workStat[p];
      if (s != kBasisAtLower && s != kBasisAtUpper) continue;
      const double d = minFormDj(st, j);
      const double wrong = s == kBasisAtLower ? d : -d;  // how far it prices against entering
      if (wrong > kLeaveFactor * tolD) leave.emplace_back(-wrong, j);
    }
    const size_t excess = st.work.size() + in.size() - cap;
    if (leave.size() > excess) {
      std::nth_element(leave.begin(), leave.begin() + static_cast<std::ptrdiff_t>(excess), leave.end());
      leave.resize(excess);
    }
    std::vector<int> out;
    for (const auto& l : leave) out.push_back(l.second);
    siftDelCols(st, static_cast<int>(out.size()), out.data());
  }
  st.added = siftAddCols(st, static_cast<int>(in.size()), in.data());
  return 0;
}

int siftRun(Env& env, const model::ModelData& md, const SiftOptions& opt, SiftState& st) {
  st.full = &md;
  st.m = md.numRows();
  st.n = md.numCols();
  st.rowLo.resize(st.m);
  st.rowUp.resize(st.m);
  st.artRow.clear();
  st.artSign.clear();
  for (int i = 0; i < st.m; ++i) {
    rowActivityLimits(md, i, &st.rowLo[i], &st.rowUp[i]);
    if (finiteLo(st.rowLo[i])) {
      st.artRow.push_back(i);
      st.artSign.push_back(1.0);
    }
    if (finiteUp(st.rowUp[i])) {
      st.artRow.push_back(i);
      st.artSign.push_back(-1.0);
    }
  }
  st.allBoxed = true;
  for (int j = 0; j < st.n; ++j) st.allBoxed = st.allBoxed && finiteLo(md.lb[j]) && finiteUp(md.ub[j]);
  st.colNorm.resize(st.n);
  for (int j = 0; j < st.n; ++j) st.colNorm[j] = columnNorm(md, j);
  st.rest.resize(st.n);
  for (int j = 0; j < st.n; ++j)
    st.rest[j] = finiteLo(md.lb[j]) ? md.lb[j] : finiteUp(md.ub[j]) ? md.ub[j] : 0.0;
  st.where.assign(st.n, -1);
  st.work.clear();
  st.workStat.clear();
  st.workX.clear();
  st.phase = 1;
  st.pureCosts = false;
  double cmax = 1.0;
  for (int j = 0; j < st.n; ++j) cmax = std::max(cmax, std::fabs(md.obj[j]));
  st.penalty = kPenaltyFactor * cmax;
  st.itcnt = st.phase1cnt = st.workIt = st.workPhase1 = 0;
  st.method = opt.method;
  st.endState = kSiftRunning;
  st.perturbed = false;
  st.primalStart = false;
  st.pricingTol = opt.lp.optimalityTol;
  st.workStatus = LpStatus::kUnknown;
  if (!st.pricer) st.pricer = siftDefaultPricer;
  initialWorkingSet(st);

  model::ModelData w;
  bool havePrices = false;  // a working solution of the current phase to price from
  bool haveBasis = false;
  int stall = 0;
  double best = kInf;
  int status = 0;
  while (st.endState == kSiftRunning) {
    if (st.itcnt >= opt.iterationLimit) {
      st.endState = kSiftIterationLimit;
      break;
    }
    if (havePrices) {
      st.added = 0;
      if (int r = st.pricer(env, st, st.pricerArg)) {
        status = r;
        st.endState = kSiftStopped;
        break;
      }
      if (st.added == 0) {
        if (st.perturbed) {
          if (opt.display > 0 && opt.log) opt.log("Removing sifting perturbation\n");
          st.perturbed = false;
          st.primalStart = false;  // the true bounds: the dual finishes
        } else if (st.phase == 2) {
          st.endState = kSiftFinished;
          break;
        } else if (!st.pureCosts) {
          // The penalty did not drive the artificials out: minimize the
          // infeasibility alone, solving again before pricing.
          st.pureCosts = true;
          havePrices = false;
          stall = 0;
          best = kInf;
        } else if (st.pricingTol > kPhase1TolFloor) {
          st.pricingTol *= 0.1;
          if (opt.setOptimalityTol) opt.setOptimalityTol(st.pricingTol);
        } else {
          st.endState = kSiftFinished;  // phase 1 cannot go on: infeasible
          break;
        }
      }
    }
    if (!st.perturbed && stall >= kStallPasses) {
      startPerturbation(st, opt);
      if (opt.display > 0 && opt.log) opt.log("Sifting perturbation started\n");
      stall = 0;
    }
    const LpStatus s = solveWorking(st, opt, w, haveBasis);
    st.primalStart = s == LpStatus::kOptimal;
    haveBasis = true;
    st.workStatus = s;
    ++st.itcnt;
    if (st.phase == 1) ++st.phase1cnt;
    if (s != LpStatus::kOptimal) {
      if (s == LpStatus::kUnbounded && st.phase == 1 && !st.pureCosts) {
        // The penalized working LP has a ray: only the infeasibility alone
        // tells whether the problem is feasible.
        logPass(st, opt);
        st.pureCosts = true;
        havePrices = false;
        continue;
      }
      if (s == LpStatus::kUnbounded && st.phase == 2) {
        st.endState = kSiftFinished;  // a restriction of the problem is unbounded
      } else if (s == LpStatus::kIterationLimit || s == LpStatus::kTimeLimit || s == LpStatus::kAborted ||
                 s == LpStatus::kDetTimeLimit) {
        st.endState = kSiftStopped;
      } else {
        if (opt.log) opt.log("Failure to solve work LP\n");
        st.endState = kSiftStopped;
        status = st.engine.basisSingular() ? 1256 : 0;
      }
      logPass(st, opt);
      break;
    }
    logPass(st, opt);
    const double value = pureInfeasibility(st) ? st.infeas : md.objsen * st.objval;
    if (value < best - kProgressRel * (1.0 + std::fabs(best))) {
      best = value;
      stall = 0;
    } else {
      ++stall;
    }
    if (st.phase == 1 && st.infeas == 0.0) {
      // Feasible: the artificials are fixed at zero.  After the infeasibility
      // alone, or with an artificial still basic, the working LP is solved
      // again before any pricing; after the penalized objective its duals
      // already price the true costs.
      bool artBasic = false;
      for (int a : st.artStat) artBasic = artBasic || a == kBasisBasic;
      havePrices = !st.pureCosts && !artBasic;
      st.phase = 2;
      st.pricingTol = opt.lp.optimalityTol;
      if (opt.setOptimalityTol) opt.setOptimalityTol(st.pricingTol);
      best = kInf;
      stall = 0;
    } else {
      havePrices = true;
    }
  }
  if (opt.setOptimalityTol) opt.setOptimalityTol(opt.lp.optimalityTol);
  return status;
}

void siftFullBasis(const SiftState& st, std::vector<int>& cstat, std::vector<int>& rstat) {
  const model::ModelData& md = *st.full;
  cstat.resize(st.n);
  for (int j = 0; j < st.n; ++j) {
    const int p = st.where[j];
    cstat[j] = p >= 0 && p < static_cast<int>(st.workStat.size()) ? st.workStat[p] : restStatus(md, j, st.rest[j]);
  }
  rstat = st.rowStat;
  if (static_cast<int>(rstat.size()) != st.m) rstat.assign(st.m, kBasisBasic);
  // A basic artificial is its row's unit column: the row's logical takes
  // its place (the logical cannot be basic as well).
  for (size_t a = 0; a < st.artStat.size() && a < st.artRow.size(); ++a)
    if (st.artStat[a] == kBasisBasic) rstat[st.artRow[a]] = kBasisBasic;
}


// ---------------------------------------------------------------------------
// LP method 5 on a problem.

namespace {
enum SiftParam : int {
  kParamOptimality = 1014,
  kParamIterations = 1020,
  kParamSiftDisplay = 1076,
  kParamSiftAlgorithm = 1077,
  kParamSiftIterations = 1078,
};
}  // namespace

int siftOptimize(Env& env, model::Problem& p, LpState& s) {
  model::ModelData md;
  if (int r = model::exportData(p, md)) return r;
  std::unique_ptr<SiftState> st(new (std::nothrow) SiftState);
  if (!st) return 1001;
  SiftOptions opt;
  opt.method = params::getInt(env, kParamSiftAlgorithm);
  opt.display = params::getInt(env, kParamSiftDisplay);
  opt.iterationLimit = params::getLong(env, kParamSiftIterations);
  engineOptionsFromParams(env, opt.lp, false, md.objsen, md.objoffset);
  opt.lp.log = nullptr;  // the working solves are quiet; the passes are logged
  opt.lp.display = 0;
  opt.randomState = &env.randomSeed[1];
  opt.log = [&env](const char* line) { print(env, Chan::Log, "%s", line); };
  opt.setOptimalityTol = [&env](double t) { params::setDblParam(env, kParamOptimality, t); };

  if (int r = pushLimitFrameFromParams(env)) return r;
  int status = 0;
  try {
    status = siftRun(env, md, opt, *st);
  } catch (const std::bad_alloc&) {
    status = 1001;
  }
  popLimitFrame(env);
  s.siftItcnt = st->itcnt;
  s.siftPhase1cnt = st->phase1cnt;
  if (status == 1001) return status;

  // The whole problem from the final working basis: the simplex confirms the
  // answer (normally without iterations) and builds the solution record.
  if (int r = loadModelIntoEngine(env, p, s)) return r;
  LpEngine& e = *s.engine;
  std::vector<int> cstat, rstat;
  siftFullBasis(*st, cstat, rstat);
  if (e.setBasis(cstat.data(), rstat.data()) != 0) print(env, Chan::Log, "Advanced basis not built.\n");
  const bool stopped = st->endState == kSiftIterationLimit ||
                       (st->endState == kSiftStopped && status == 0 && st->workStatus != LpStatus::kNonOptimal &&
                        st->workStatus != LpStatus::kInfeasible);
  const int clean = e.startFavoursPrimal() ? kMethodPrimal : kMethodDual;
  engineOptionsFromParams(env, e.options(), clean == kMethodDual, p.data->objsen, p.data->objoffset);
  e.options().log = nullptr;
  e.options().iterationLimit =
      stopped ? 0 : std::max<int64_t>(0, params::getLong(env, kParamIterations) - st->workIt);
  if (int r = pushLimitFrameFromParams(env)) return r;
  if (clean == kMethodPrimal) e.solvePrimal();
  else e.solveDual();
  popLimitFrame(env);
  e.options().poll = nullptr;
  storeEngineSolution(p, s, kMethodSifting);
  if (stopped) {
    // The run's own stop: its limit, or the limit the working solve met.
    s.stat = st->endState == kSiftIterationLimit ? static_cast<int>(LpStatus::kIterationLimit)
                                                  : static_cast<int>(st->workStatus);
    s.primalFeasible = st->phase == 2;
    s.dualFeasible = false;
  }
  s.itcnt += st->workIt;
  s.phase1cnt += st->workPhase1;
  flushChannel(env, Chan::Log);
  if (status) return status;
  return e.basisSingular() ? 1256 : 0;
}

}  // namespace vnt::simplex
