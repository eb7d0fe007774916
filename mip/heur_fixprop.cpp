// Fix-and-propagate: a search for a first solution without LPs until every
// integer column is fixed.
//
// The integer columns are fixed one at a time in an order guided by the LP
// solution at hand (binaries with the largest LP values first, so that the
// decisions that settle most come first; then the general integers, the
// nearly integral ones first).  Each fixing is propagated through the rows
// (activity bounds); a fixing that empties some column's domain is replaced
// by the other value, and when both fail the search backtracks to the most
// recent decision whose other value was not tried yet (a limited number of
// times).  Two value rules are tried in turn: the rounding of the LP value,
// then a rule that sets a binary to 1 whenever its LP value is clearly
// positive (set partitioning and covering rows are then settled by the
// propagation that follows).  Before them a fail-first rule works on the
// rows: the row that still needs a move and has the fewest free columns
// gets its most promising column moved.  With every integer fixed, the LP over the
// continuous columns gives their values; when that LP is infeasible a
// sub-MIP keeps the fixings that agree with the LP solution and frees the
// rest (a repair).  When no rule gets through, RENS: the integer columns
// integral in the LP solution are fixed there and a sub-MIP searches over
// the others.
#include <algorithm>
#include <cmath>

#include "env/limits.h"
#include "mip/propagate.h"
#include "mip/search.h"
#include "mip/starts.h"

namespace vnt::mip {

using simplex::LpStatus;

namespace {
constexpr double kUpRuleMin = 0.1;      // second value rule: binaries at or above this LP value try 1 first
constexpr long long kMaxBacktracks = 5000;  // per value rule (the work limit usually ends it first)
constexpr double kRepairFixShare = 0.3;  // the repair sub-MIP needs at least this share of integers fixed
}  // namespace

bool Search::fixAndPropagate(double workLimit, bool allowRepair) {
  if (!w.sets.empty() || !w.inds.empty()) return false;
  for (int j = 0; j < w.n; ++j)
    if (w.kind[j] == kSemiCont || w.kind[j] == kSemiInt) return false;
  if (cutRows_.size() != static_cast<size_t>(w.m)) buildCutRows();
  const int n = w.n;
  const double* x = xsave_.data();
  Propagator pr(w, cutRows_, curLo.data(), curUp.data());
  double workDone = 0.0;
  auto account = [&]() {
    if (env_->counter) env_->counter->add(static_cast<uint64_t>(pr.work - workDone));
    workDone = pr.work;
  };
  if (!pr.propagateAll()) {
    account();
    return false;
  }
  std::vector<int> order;
  for (int j = 0; j < n; ++j)
    if (w.kind[j] == kInt) order.push_back(j);
  auto isBin = [&](int j) { return curLo[j] == 0.0 && curUp[j] == 1.0; };
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    const bool ba = isBin(a), bb = isBin(b);
    if (ba != bb) return ba;
    if (ba) return x[a] > x[b];
    const double fa = std::fabs(x[a] - std::round(x[a])), fb = std::fabs(x[b] - std::round(x[b]));
    return fa < fb;
  });
  const size_t base = pr.trail.size();
  // Rows that still need a move: their lower limit is not yet guaranteed by
  // the bounds (covering and partitioning rows waiting for a one).  The
  // fail-first rule takes the neediest such row (fewest free columns) and
  // moves its free column with the largest LP value toward the limit.
  // Returns the column (-1: no row needs anything) and the value to try.
  auto failFirst = [&](double* value) {
    int bestRow = -1, bestFree = 0;
    for (int i = 0; i < w.m; ++i) {
      const double L = w.lo[n + i];
      if (!finiteB(L)) continue;
      const auto& row = cutRows_[i];
      double minAct = 0.0;
      int nfree = 0;
      bool minInf = false;
      for (const auto& [j, a] : row) {
        const double lo = a > 0 ? pr.lo[j] : pr.up[j];
        if (!finiteB(lo)) minInf = true;
        else minAct += a * lo;
        if (pr.lo[j] < pr.up[j]) ++nfree;
      }
      pr.work += static_cast<double>(row.size());
      if ((!minInf && minAct >= L - rp.feasTol) || nfree == 0) continue;  // met, or nothing to move
      if (bestRow < 0 || nfree < bestFree) {
        bestRow = i;
        bestFree = nfree;
      }
    }
    if (bestRow < 0) return -1;
    int best = -1;
    bool raise = true;
    double bestScore = -1e300;
    for (const auto& [j, a] : cutRows_[bestRow]) {
      if (pr.lo[j] == pr.up[j] || w.kind[j] != kInt) continue;
      // How far the LP solution already moved this column toward the limit
      // (ties: the cheaper move).
      const double span = pr.up[j] - pr.lo[j];
      const double toward = a > 0 ? (x[j] - pr.lo[j]) : (pr.up[j] - x[j]);
      const double score = (finiteB(span) ? toward / span : 0.0) - 1e-9 * sense * w.lp.obj[j] * (a > 0 ? 1 : -1);
      if (score > bestScore) {
        bestScore = score;
        best = j;
        raise = a > 0;
      }
    }
    if (best < 0) return -1;
    const double v = std::min(pr.up[best], std::max(pr.lo[best], x[best]));
    *value = isBin(best) ? (raise ? 1.0 : 0.0) : raise ? std::ceil(v - rp.intTol) : std::floor(v + rp.intTol);
    return best;
  };
  // One decision of the search: the column, the trail mark before it and
  // the value not tried yet (none when alt is false).
  struct Decision {
    int col;
    size_t mark;
    double other;
    bool alt;
  };
  std::vector<Decision> stack;
  bool complete = false;
  // Rules: 0 fail-first on the rows, then the static order; 1 the static
  // order with the LP values rounded; 2 the static order with binaries of
  // clearly positive LP value at 1.
  for (int rule = 0; rule < 3 && !complete; ++rule) {
    pr.undo(base);
    stack.clear();
    long long backtracks = 0;
    size_t cursor = 0;
    bool failed = false;
    const double ruleLimit = workLimit * (rule + 1) / 3.0;  // each rule a third of the work
    for (;;) {
      if (pr.work > ruleLimit || checkLimits(*env_)) {
        failed = true;
        break;
      }
      // The next decision.
      int j = -1;
      double first = 0.0;
      if (rule == 0) j = failFirst(&first);
      if (j < 0) {
        while (cursor < order.size() && pr.lo[order[cursor]] == pr.up[order[cursor]]) ++cursor;
        if (cursor == order.size()) break;  // every integer column fixed
        j = order[cursor];
        const double v = std::min(pr.up[j], std::max(pr.lo[j], x[j]));
        first = std::round(v);
        if (rule == 2 && isBin(j) && v >= kUpRuleMin) first = 1.0;
      }
      const double v = std::min(pr.up[j], std::max(pr.lo[j], x[j]));
      double second = v >= first ? first + 1 : first - 1;
      if (v == first) second = first + 1 <= pr.up[j] ? first + 1 : first - 1;
      if (first > v) second = std::floor(v) < first ? std::floor(v) : first - 1;
      const bool hasSecond = second >= pr.lo[j] && second <= pr.up[j] && second != first;
      const size_t mark = pr.trail.size();
      if (pr.tighten(j, first, first) && pr.propagate()) {
        stack.push_back({j, mark, second, hasSecond});
        continue;
      }
      pr.undo(mark);
      if (hasSecond && pr.tighten(j, second, second) && pr.propagate()) {
        stack.push_back({j, mark, 0.0, false});
        continue;
      }
      pr.undo(mark);
      // Both values fail here: back to the latest decision with a value left.
      bool resumed = false;
      while (!resumed) {
        while (!stack.empty() && !stack.back().alt) {
          pr.undo(stack.back().mark);
          stack.pop_back();
        }
        if (stack.empty() || ++backtracks > kMaxBacktracks) break;
        Decision& d = stack.back();
        pr.undo(d.mark);
        d.alt = false;
        if (pr.tighten(d.col, d.other, d.other) && pr.propagate()) resumed = true;
        else pr.undo(d.mark);
      }
      if (!resumed) {
        failed = true;
        break;
      }
      cursor = 0;
    }
    complete = !failed;
    account();
    if (checkLimits(*env_)) break;
  }
  account();
  if (!complete) return allowRepair && !checkLimits(*env_) && rens();

  std::vector<double>& r = heurX_;
  bool anyCont = false;
  for (int j = 0; j < n; ++j)
    if (w.kind[j] != kInt && pr.lo[j] < pr.up[j]) anyCont = true;
  if (!anyCont) {
    r.assign(w.n0, 0.0);
    for (int j = 0; j < w.n0; ++j) r[j] = pr.lo[j];
    return offerSolution(r.data(), true, "propagation");
  }
  // The LP over the continuous columns with every integer fixed; the node's
  // bounds and basis come back afterwards.
  Basis saved;
  snapshotBasis(saved);
  const Path* savedPath = enginePath;
  std::vector<BoundChange> undo;
  undo.reserve(order.size());
  for (int j : order) {
    undo.push_back({j, curLo[j], curUp[j]});
    applyChange(j, pr.lo[j], pr.lo[j]);
  }
  const LpStatus st = solveLp(std::max<long long>(1000, rootLpIterations_));
  mipIterations += engine->iterations();
  bool found = false;
  const bool lpOk = st == LpStatus::kOptimal || st == LpStatus::kOptimalUnscaledInfeas;
  if (lpOk) {
    std::vector<double>& xl = diveX_;
    xl.resize(n);
    engine->getX(xl.data());
    r.assign(xl.begin(), xl.begin() + w.n0);
    for (int j = 0; j < w.n0; ++j)
      if (w.kind[j] == kInt) r[j] = pr.lo[j];
    found = offerSolution(r.data(), true, "propagation");
  }
  for (auto it = undo.rbegin(); it != undo.rend(); ++it) applyChange(it->k, it->lo, it->up);
  installBasis(saved);
  enginePath = savedPath;
  lpFresh_ = false;
  if (found || lpOk || !allowRepair) return found;
  // Repair: the fixings that agree with the LP solution stay, the others
  // are freed, and a small sub-MIP looks for the rest.
  std::vector<double> fixVal(n, 0.0);
  std::vector<char> fix(n, 0);
  long long nfix = 0, nint = 0;
  for (int j : order) {
    ++nint;
    if (std::fabs(x[j] - pr.lo[j]) <= rp.intTol) {
      fix[j] = 1;
      fixVal[j] = pr.lo[j];
      ++nfix;
    }
  }
  if (nint == 0 || static_cast<double>(nfix) < kRepairFixShare * static_cast<double>(nint)) return false;
  return runSubMip(fix, fixVal, "propagation");
}

// RENS (relaxation-enforced neighbourhood search): the integer columns that
// are integral in the LP solution stay at their values, and a sub-MIP
// searches over the fractional ones (within their rounding interval).
bool Search::rens() {
  std::vector<double> val(w.n0, 0.0);
  std::vector<char> fix(w.n0, 0);
  long long nfix = 0, nint = 0;
  for (int j = 0; j < w.n0; ++j) {
    if (w.kind[j] != kInt) continue;
    ++nint;
    const double v = xsave_[j];
    if (std::fabs(v - std::round(v)) <= rp.intTol) {
      fix[j] = 1;
      val[j] = std::round(v);
      ++nfix;
    }
  }
  if (nint == 0 || nfix == nint || static_cast<double>(nfix) < kRepairFixShare * static_cast<double>(nint))
    return false;
  return runSubMip(fix, val, "rens");
}

}  // namespace vnt::mip
