// Primal heuristics on the working LP engine and reduced-cost fixing.
//
// Dives: from the node's LP solution, bound one fractional integer column at
// a time (chosen by the dive rule), re-solve with the dual simplex and go on
// until the LP solution is integral, infeasible, worse than the incumbent or
// the LP-iteration budget is spent.  One backtrack per level flips the last
// bound.  The node's bounds, basis and LP solution are restored afterwards.
//
// Reduced-cost fixing: a nonbasic integer column with reduced cost d at its
// lower bound l can only rise by (cutoff - z) / d before the LP bound passes
// the cutoff, so its upper bound becomes l + floor((cutoff - z) / d) (the
// mirror image at the upper bound).  At the root the fixings are global, and
// the root's reduced costs are used again whenever the cutoff improves.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "env/limits.h"
#include "mip/search.h"
#include "params/params.h"

namespace vnt::mip {

using simplex::LpStatus;

namespace {
enum HeurParam : int {
  kDive = 2060, kRins = 2061, kLocalBranching = 2063, kFpHeur = 2098, kHeurEffort = 2120, kSubMipNodes = 2212,
};
constexpr double kDjTol = 1e-7;          // reduced costs below this fix nothing
constexpr double kFixSlack = 1e-6;       // rounding slack of the fixing quotient
constexpr long long kRootDiveBase = 1000;  // LP iterations per root dive, at least
constexpr long long kNodeDiveBase = 300;   // LP iterations per node dive, at least
constexpr long long kAutoHeurFreq = 50;    // nodes between node dives when automatic
constexpr int kMaxDiveDepth = 100000;
constexpr double kRootHeurShare = 0.5;     // root dives (and the pump): this share of the root's work so far
constexpr double kRootHeurMinTicks = 100.0;  // but at least this many deterministic ticks
constexpr double kPropWorkPerNnz = 200.0;  // fix-and-propagate: row-entry visits per nonzero
constexpr double kPropWorkFloor = 2e7;     //   (at least this many)
constexpr double kNodePropShare = 0.25;    // at nodes: this share of the root's allowance
constexpr double kEarlyHeurShare = 1.0;    // before the cut loop: this share of the work so far
constexpr double kEarlyHeurMinTicks = 200.0;  //   but at least this many ticks
constexpr double kPumpAgainGap = 0.01;     // after the cuts, the pump again above this relative gap

bool optimalLp(LpStatus s) { return s == LpStatus::kOptimal || s == LpStatus::kOptimalUnscaledInfeas; }
}  // namespace

void readHeuristicParams(Env& env, RunParams& rp) {
  rp.diveType = params::getInt(env, kDive);
  rp.rinsFreq = params::getLong(env, kRins);
  rp.localBranching = params::getInt(env, kLocalBranching);
  rp.fpHeur = params::getInt(env, kFpHeur);
  rp.heurEffort = params::getDbl(env, kHeurEffort);
  rp.subMipNodes = params::getLong(env, kSubMipNodes);
}

// ---------------------------------------------------------------------------
// Locks: rows that stop a column from moving down (0) or up (1).

void Search::computeLocks() {
  for (int d = 0; d < 2; ++d) locks_[d].assign(w.n, 0);
  for (int j = 0; j < w.n; ++j)
    for (int64_t k = w.lp.matbeg[j]; k < w.lp.matbeg[j + 1]; ++k) {
      const int i = w.lp.matind[k];
      const double a = w.lp.matval[k];
      const bool hasLo = w.lo[w.n + i] > -tol::kInf, hasUp = w.up[w.n + i] < tol::kInf;
      if (a > 0) {
        if (hasLo) ++locks_[0][j];
        if (hasUp) ++locks_[1][j];
      } else if (a < 0) {
        if (hasUp) ++locks_[0][j];
        if (hasLo) ++locks_[1][j];
      }
    }
}

// Simple rounding: every fractional integer column moves in a direction no
// row objects to.  Fails when a column has locks both ways.
bool Search::lockRounding(const double* x) {
  if (locks_[0].size() != static_cast<size_t>(w.n)) return false;
  std::vector<double>& r = heurX_;
  r.assign(x, x + w.n0);
  for (int j = 0; j < w.n0; ++j) {
    if (w.kind[j] != kInt) {
      if (w.kind[j] != kCont) return false;
      continue;
    }
    const double v = r[j];
    if (std::fabs(v - std::round(v)) <= rp.intTol) {
      r[j] = std::round(v);
      continue;
    }
    if (locks_[0][j] == 0) r[j] = std::floor(v);
    else if (locks_[1][j] == 0) r[j] = std::ceil(v);
    else return false;
  }
  return offerSolution(r.data(), true, "rounding");
}

// ---------------------------------------------------------------------------
// Diving.

bool Search::dive(DiveRule rule, long long iterBudget) {
  if (rule == kDiveGuided && !hasIncumbent()) return false;
  const int n = w.n;
  std::vector<double>& x = diveX_;
  x.assign(xsave_.begin(), xsave_.end());
  // What is changed and must be restored.
  struct Level {
    int k;
    double lo, up;  // bounds before the level
    double v;       // LP value that was rounded
    bool firstUp, flipped;
  };
  std::vector<Level> levels;
  long long backtracks = 0;
  const long long maxBacktracks = std::max(2LL, iterBudget / 10);  // empty LPs end in few iterations
  Basis saved;
  snapshotBasis(saved);
  const Path* savedPath = enginePath;
  bool found = false;
  long long spent = 0;
  int depth = 0;
  for (;;) {
    if (checkLimits(*env_) || detTicks(*env_) > heurDeadline_) break;
    // Candidates and the rule's choice.
    int best = -1;
    bool bestUp = false;
    double bestScore = -1e300;
    int nfrac = 0;
    for (int j = 0; j < n; ++j) {
      if (w.kind[j] != kInt) continue;
      const double v = x[j];
      const double f = v - std::floor(v);
      if (f <= rp.intTol || f >= 1.0 - rp.intTol) continue;
      ++nfrac;
      bool up;
      double score;
      switch (rule) {
        case kDiveFractional:
          up = f > 0.5;
          score = -std::min(f, 1.0 - f);
          break;
        case kDiveCoefficient: {
          const int ld = locks_[0][j], lu = locks_[1][j];
          up = lu < ld || (lu == ld && f > 0.5);
          const int l = up ? lu : ld;
          // Columns free to round one way are left for the final rounding.
          score = (ld == 0 || lu == 0) ? -1e9 : -(l * 10.0) - (up ? 1.0 - f : f);
          break;
        }
        case kDivePseudo: {
          const double pd = pcCnt[0][j] > 0 ? pcSum[0][j] / pcCnt[0][j] : 1.0;
          const double pu = pcCnt[1][j] > 0 ? pcSum[1][j] / pcCnt[1][j] : 1.0;
          if (f < 0.3) up = false;
          else if (f > 0.7) up = true;
          else up = pu * (1.0 - f) < pd * f;
          const double cDir = up ? pu * (1.0 - f) : pd * f, cOther = up ? pd * f : pu * (1.0 - f);
          score = (1.0 + cOther) / (1.0 + cDir) / std::max(0.01, up ? 1.0 - f : f);
          break;
        }
        case kDiveGuided:
        default: {
          const double t = incumbentX.size() > static_cast<size_t>(j) ? incumbentX[j] : std::round(v);
          up = t > v;
          score = -std::fabs(t - v);
          break;
        }
      }
      if (score > bestScore) {
        bestScore = score;
        best = j;
        bestUp = up;
      }
    }
    if (nfrac == 0) {
      // Integral in the integer columns: the restrictions of the model are
      // checked by the incumbent entry.
      std::vector<double>& r = heurX_;
      r.assign(x.begin(), x.begin() + w.n0);
      for (int j = 0; j < w.n0; ++j)
        if (w.kind[j] == kInt) r[j] = std::round(r[j]);
      found = offerSolution(r.data(), true, "dive");
      break;
    }
    // Rounding of the dive's LP solution is cheap: try it on the way down.
    if (lockRounding(x.data())) {
      found = true;
      break;
    }
    if (best < 0 || ++depth > kMaxDiveDepth) break;
    // A new level: the chosen side first; on an empty LP the deepest level
    // not yet flipped takes its other side (levels below it are undone).
    levels.push_back({best, curLo[best], curUp[best], x[best], bestUp, false});
    bool ok = false, over = false;
    bool flipSide = false;
    for (;;) {
      Level& L = levels.back();
      const bool up = flipSide ? !L.firstUp : L.firstUp;
      const double nlo = up ? std::ceil(L.v) : L.lo;
      const double nup = up ? L.up : std::floor(L.v);
      LpStatus st = LpStatus::kInfeasible;
      if (nlo <= nup) {
        applyChange(L.k, nlo, nup);
        const long long left = iterBudget - spent;
        if (left <= 0) {
          over = true;
          break;
        }
        st = solveLp(left);
        const long long it = engine->iterations();
        spent += it;
        mipIterations += it;
      }
      if (optimalLp(st)) {
        ok = true;
        engine->getX(x.data());
        break;
      }
      if (st != LpStatus::kInfeasible && st != LpStatus::kObjectiveLimit) {
        over = true;  // iteration budget, a limit or trouble: the dive ends
        break;
      }
      while (!levels.empty() && levels.back().flipped) {
        applyChange(levels.back().k, levels.back().lo, levels.back().up);
        levels.pop_back();
      }
      if (levels.empty() || backtracks >= maxBacktracks) {
        over = true;
        break;
      }
      ++backtracks;
      levels.back().flipped = true;
      applyChange(levels.back().k, levels.back().lo, levels.back().up);
      flipSide = true;
    }
    if (!ok || over) break;
  }
  // Restore the node: bounds in reverse order, then its basis.
  for (auto it = levels.rbegin(); it != levels.rend(); ++it) applyChange(it->k, it->lo, it->up);
  installBasis(saved);
  enginePath = savedPath;
  if (found) ++diveSolutions_;
  return found;
}

// ---------------------------------------------------------------------------
// The heuristic schedule.

// While a root heuristic runs, the engine stops its LPs at heurDeadline_ as
// at a time limit; the caller's poll comes back when the guard ends.
struct Search::HeurDeadlineGuard {
  Search& s;
  std::function<int()> outer;
  explicit HeurDeadlineGuard(Search& search) : s(search), outer(search.engine->options().poll) {
    std::function<int()> o = outer;
    s.engine->options().poll = [&ss = s, o]() {
      if (int st = o ? o() : 0) return st;
      return detTicks(*ss.env_) > ss.heurDeadline_ ? static_cast<int>(LpStatus::kTimeLimit) : 0;
    };
  }
  ~HeurDeadlineGuard() {
    s.heurDeadline_ = 1e300;
    s.engine->options().poll = std::move(outer);
  }
};

// The first root LP solution, before any cut round: rounding, then
// fix-and-propagate and the feasibility pump with a small budget.  A long
// cut loop then runs with an incumbent, whose cutoff prunes its LPs and lets
// reduced-cost fixing work as soon as the loop ends.  Nothing here changes
// the LP: the engine is back at the root's optimal basis afterwards (the
// same one, so that the cut loop starts from the same vertex) and the node's
// solution (xsave_, rowActivity_) is read again.
void Search::earlyHeuristics() {
  if (rp.heurFreq < 0 || rp.heurEffort <= 0 || lastIinf_ == 0 || hasIncumbent() || subMip) return;
  if (locks_[0].size() != static_cast<size_t>(w.n)) computeLocks();
  tryRounding();
  if (!hasIncumbent()) lockRounding(xsave_.data());
  if (hasIncumbent() || checkLimits(*env_)) return;
  const double effort = rp.heurEffort;
  const double now = detTicks(*env_);
  bool touchedLp = false;
  Basis saved;
  snapshotBasis(saved);
  const Path* savedPath = enginePath;
  {
    HeurDeadlineGuard guard(*this);
    heurDeadline_ = now + effort * std::max(kEarlyHeurMinTicks, kEarlyHeurShare * (now - runStartTicks));
    double nnz = 0.0;
    for (int j = 0; j < w.n; ++j) nnz += static_cast<double>(w.lp.matbeg[j + 1] - w.lp.matbeg[j]);
    // Without the repair and RENS sub-MIPs: those wait for the cut loop's
    // tighter LP point.
    fixAndPropagate(effort * (kPropWorkFloor + kPropWorkPerNnz * nnz), false);
    touchedLp = true;
    if (!hasIncumbent() && rp.fpHeur >= 0 && !checkLimits(*env_) && detTicks(*env_) < heurDeadline_) {
      const long long base = std::max(kRootDiveBase, mipIterations / 2);
      feasibilityPump(std::max<long long>(1, static_cast<long long>(effort * 10.0 * static_cast<double>(base))));
    }
  }
  if (hasIncumbent()) {
    ++earlySolutions_;
    earlyIncumbentObj_ = incumbentObj;
  }
  if (!touchedLp) return;
  installBasis(saved);
  enginePath = savedPath;
  const LpStatus st = solveLp();
  mipIterations += engine->iterations();
  if (optimalLp(st)) {
    engine->getX(xsave_.data());
    engine->getRowActivity(rowActivity_.data());
  }
}

void Search::heuristics(bool root) {
  lpFresh_ = true;
  if (locks_[0].size() != static_cast<size_t>(w.n)) computeLocks();
  // Rounding of the node's LP solution.
  if (root || lastIinf_ <= 8) tryRounding();
  if (lastIinf_ > 0) lockRounding(xsave_.data());
  if (rp.heurFreq < 0 || lastIinf_ == 0) return;
  if (root) {
    rootLpIterations_ = mipIterations;
    subMipTicks_ = 0.0;
    localBranchedAt_ = tol::kNone;
  }
  const long long freq = rp.heurFreq > 0 ? rp.heurFreq : kAutoHeurFreq;
  if (!root && (nodeCount % freq) != 0) return;
  ++heurCalls_;
  const double effort = rp.heurEffort;
  if (effort <= 0) return;
  const long long base = root ? std::max(kRootDiveBase, rootLpIterations_ / 2)
                              : std::max(kNodeDiveBase, rootLpIterations_ / 10);
  const long long budget = std::max<long long>(1, static_cast<long long>(effort * static_cast<double>(base)));
  DiveRule rules[4];
  int nr = 0;
  switch (rp.diveType) {
    case 1: rules[nr++] = kDiveFractional; rules[nr++] = kDiveCoefficient; break;
    case 2: rules[nr++] = kDivePseudo; break;
    case 3: rules[nr++] = kDiveGuided; break;
    default:
      if (root) {
        rules[nr++] = kDiveCoefficient;
        rules[nr++] = kDiveFractional;
        rules[nr++] = kDivePseudo;
        rules[nr++] = kDiveGuided;
      } else {
        // One rule per call, in turn; guided once there is an incumbent.
        static constexpr DiveRule kTurn[4] = {kDivePseudo, kDiveGuided, kDiveCoefficient, kDiveFractional};
        DiveRule r = kTurn[heurCalls_ % 4];
        if (r == kDiveGuided && !hasIncumbent()) r = kDivePseudo;
        rules[nr++] = r;
      }
      break;
  }
  // At the root the dives together, and the pump, may each do about half
  // the work the root has done so far, in deterministic ticks (on models
  // whose LPs are slow the iteration budgets alone run long).
  const double now = detTicks(*env_);
  const double allowance = effort * std::max(kRootHeurMinTicks, kRootHeurShare * (now - runStartTicks));
  // The engine stops a heuristic's LP at the deadline as at a time limit.
  std::optional<HeurDeadlineGuard> guard;
  if (root) guard.emplace(*this);
  heurDeadline_ = root ? now + allowance : 1e300;
  bool dived = false;
  // Without an incumbent: fix-and-propagate first (no LP until every
  // integer column is fixed).
  if (!hasIncumbent() && !checkLimits(*env_)) {
    double nnz = 0.0;
    for (int j = 0; j < w.n; ++j) nnz += static_cast<double>(w.lp.matbeg[j + 1] - w.lp.matbeg[j]);
    const double work = effort * (kPropWorkFloor + kPropWorkPerNnz * nnz) * (root ? 1.0 : kNodePropShare);
    fixAndPropagate(work, root);
    dived = true;
  }
  for (int q = 0; q < nr; ++q) {
    if (checkLimits(*env_) || detTicks(*env_) > heurDeadline_) break;
    dive(rules[q], budget);
    dived = true;
  }
  // No solution after the root dives, or only the one found before the cut
  // loop and still far from the bound: the feasibility pump (its objective
  // share and its closing sub-MIP under the incumbent's cutoff aim higher
  // than fix-and-propagate's first solution).
  const bool poorEarly = hasIncumbent() && incumbentObj >= earlyIncumbentObj_ &&
                         incumbentObj - rootBound > kPumpAgainGap * std::max(1.0, std::fabs(incumbentObj));
  if (root && (!hasIncumbent() || poorEarly) && rp.fpHeur >= 0 && !checkLimits(*env_)) {
    heurDeadline_ = detTicks(*env_) + allowance;
    feasibilityPump(std::max<long long>(1, static_cast<long long>(effort * 10.0 * static_cast<double>(base))));
    dived = true;
  }
  guard.reset();
  // With an incumbent: RINS around it and the node's LP solution.
  if (rinsDue(root) && !checkLimits(*env_)) rins();
  // Local branching around an incumbent it has not searched yet.
  if (rp.localBranching == 1 && hasIncumbent() && incumbentObj < localBranchedAt_ && !checkLimits(*env_))
    localBranch();
  if (dived) {
    // Back at the node's basis: solve once more so that its factors, reduced
    // costs and statuses are current for fixing and branching.
    const LpStatus st = solveLp();
    mipIterations += engine->iterations();
    lpFresh_ = optimalLp(st);
  }
}

// ---------------------------------------------------------------------------
// Reduced-cost fixing.

void Search::reducedCostFixing(Node& nd, bool root) {
  if ((cutoff >= tol::kNone && !root) || !lpFresh_) return;
  const int n = w.n;
  std::vector<double>& dj = diveRow_;
  dj.resize(n);
  engine->getDj(dj.data());
  cstat_.resize(w.n);
  rstat_.resize(w.m);
  engine->getBasis(cstat_.data(), rstat_.data());
  const double z = lpObjective();
  if (root) {
    rootDj_.assign(n, 0.0);
    rootAt_.assign(n, 0.0);
    for (int j = 0; j < n; ++j)
      if ((cstat_[j] == simplex::kBasisAtLower && sense * dj[j] > 0) ||
          (cstat_[j] == simplex::kBasisAtUpper && sense * dj[j] < 0)) {
        rootDj_[j] = sense * dj[j];
        rootAt_[j] = cstat_[j] == simplex::kBasisAtLower ? curLo[j] : curUp[j];
      }
    rootZ_ = z;
  }
  if (cutoff >= tol::kNone) return;
  const double gap = cutoff - z;
  if (!(gap > 0)) return;
  localFix_.clear();
  for (int j = 0; j < n; ++j) {
    if (w.kind[j] != kInt || !w.indOfCol[j].empty()) continue;
    const double l = curLo[j], u = curUp[j];
    if (l == u || l <= -tol::kInf || u >= tol::kInf) continue;
    const double d = sense * dj[j];
    if (cstat_[j] == simplex::kBasisAtLower && d > kDjTol) {
      const double nu = l + std::floor(gap / d + kFixSlack);
      if (nu < u) localFix_.push_back({j, l, nu});
    } else if (cstat_[j] == simplex::kBasisAtUpper && d < -kDjTol) {
      const double nl = u - std::floor(gap / -d + kFixSlack);
      if (nl > l) localFix_.push_back({j, nl, u});
    }
  }
  if (localFix_.empty()) return;
  rcFixed_ += static_cast<long long>(localFix_.size());
  if (root) {
    // Global: the root's bounds are the model's.
    for (const BoundChange& c : localFix_) {
      w.lo[c.k] = std::max(w.lo[c.k], c.lo);
      w.up[c.k] = std::min(w.up[c.k], c.up);
      applyChange(c.k, c.lo, c.up);
    }
    rcCutoff_ = cutoff;
    return;
  }
  // Local: the node's path carries the fixings to its children.  The LP
  // solution stays optimal (the columns sit at the bound they keep).
  auto p = std::make_shared<Path>();
  p->parent = nd.path;
  p->changes = localFix_;
  for (const BoundChange& c : p->changes) {
    applyChange(c.k, c.lo, c.up);
    if (!isTouched[c.k]) {
      isTouched[c.k] = 1;
      touched.push_back(c.k);
    }
  }
  const bool engineHeld = enginePath == nd.path.get();
  nd.path = std::move(p);
  if (engineHeld) enginePath = nd.path.get();
}

// With a better cutoff the root's reduced costs fix more columns for the
// whole tree.  Called between nodes; the next node's move applies them.
void Search::globalReducedCostFixing() {
  if (rootDj_.size() != static_cast<size_t>(w.n) || cutoff >= rcCutoff_ || cutoff >= tol::kNone) return;
  rcCutoff_ = cutoff;
  const double gap = cutoff - rootZ_;
  if (!(gap > 0)) return;
  for (int j = 0; j < w.n; ++j) {
    const double d = rootDj_[j];
    if (d == 0.0 || w.kind[j] != kInt || !w.indOfCol[j].empty()) continue;
    const double l = w.lo[j], u = w.up[j];
    if (l == u || l <= -tol::kInf || u >= tol::kInf) continue;
    bool changed = false;
    // The root's reduced cost was taken at the bound the column sat on at
    // the root (strong branching may have moved it from the global one).
    const double at = rootAt_[j];
    if (d > kDjTol) {
      const double nu = at + std::floor(gap / d + kFixSlack);
      if (nu < u) {
        w.up[j] = nu;
        changed = true;
      }
    } else if (d < -kDjTol) {
      const double nl = at - std::floor(gap / -d + kFixSlack);
      if (nl > l) {
        w.lo[j] = nl;
        changed = true;
      }
    }
    if (changed) {
      ++rcFixed_;
      if (!isTouched[j]) {
        isTouched[j] = 1;
        touched.push_back(j);
      }
    }
  }
}

}  // namespace vnt::mip
