// Feasibility pump.
//
// Alternates between a rounding of the LP point and the LP point nearest (in
// the integer columns, L1 distance) to that rounding, with a share of the
// objective that fades out.  The rounding propagates as it goes: the integer
// columns are taken in order of their distance to an integer (the settled
// ones first), each is fixed at its rounded value and the fixing is
// propagated through the rows, so that later columns round to values the
// earlier ones leave possible (a value that empties a domain is replaced by
// the other one).  On set-partitioning rows this turns a point with many
// columns near 0.5 into a rounding that covers each row once.
//
// A rounding that repeats the last one is perturbed by flipping the columns
// farthest from their LP value; one that repeats an older one by a random
// flip of every column whose distance plus a random amount passes one half.
// When the rounds are spent, a sub-MIP fixes the integer columns that are
// integral in the nearest LP point found and searches over the others.
#include <algorithm>
#include <cmath>

#include "env/limits.h"
#include "mip/propagate.h"
#include "mip/search.h"

namespace vnt::mip {

using simplex::LpStatus;

namespace {
constexpr int kMinRounds = 10;             // pump rounds at least,
constexpr int kRoundsPerEffort = 100;      //   and this many per unit of heuristic effort
constexpr double kAlphaDecay = 0.9;        // objective share: factor per round
constexpr double kAlphaOff = 1e-3;         //   below this the objective is dropped
constexpr size_t kCycleMemory = 8;         // roundings remembered for the cycle test
constexpr int kFlipMin = 10, kFlipSpread = 21;  // short cycle: flip 10 to 30 columns
constexpr double kRestartLo = -0.3, kRestartHi = 0.7;  // long cycle: random shift range

bool optimalLp(LpStatus s) { return s == LpStatus::kOptimal || s == LpStatus::kOptimalUnscaledInfeas; }
}  // namespace

bool Search::feasibilityPump(long long iterBudget) {
  const int n = w.n;
  if (cutRows_.size() != static_cast<size_t>(w.m)) buildCutRows();
  std::vector<double>& x = diveX_;
  x.assign(xsave_.begin(), xsave_.end());
  std::vector<double> target(n), cost(n, 0.0), guide(n), bestX;
  std::vector<int> ints, order;
  std::vector<char> isBin(n, 0);
  for (int j = 0; j < n; ++j)
    if (w.kind[j] == kInt) {
      ints.push_back(j);
      isBin[j] = curLo[j] == 0.0 && curUp[j] == 1.0;
    }
  Basis saved;
  snapshotBasis(saved);
  const Path* savedPath = enginePath;
  double cnorm = 0.0;
  for (int j = 0; j < n; ++j) cnorm += w.lp.obj[j] * w.lp.obj[j];
  cnorm = std::sqrt(cnorm);
  double alpha = rp.fpHeur == 2 || cnorm <= 0 ? 0.0 : 1.0;
  const double distScale = std::sqrt(static_cast<double>(std::max<size_t>(1, ints.size())));
  // The propagator over the node's bounds; when those bounds alone are
  // already contradictory the rounding goes without it.
  Propagator pr(w, cutRows_, curLo.data(), curUp.data());
  const bool propOk = pr.propagateAll();
  const size_t base = pr.trail.size();
  double propDone = 0.0;
  uint64_t rnd = 0x9E3779B97F4A7C15ULL ^ static_cast<uint64_t>(nodeCount + 1);
  auto next = [&rnd]() {
    rnd ^= rnd << 13;
    rnd ^= rnd >> 7;
    rnd ^= rnd << 17;
    return rnd;
  };
  auto uniform = [&next]() { return static_cast<double>(next() >> 11) * 0x1.0p-53; };
  // Rounds the integer columns of g into target, propagating each fixing.
  auto roundByPropagation = [&](const std::vector<double>& g) {
    for (int j = 0; j < n; ++j) target[j] = w.kind[j] == kInt ? std::round(g[j]) : g[j];
    if (!propOk) return;
    pr.undo(base);
    order = ints;
    std::sort(order.begin(), order.end(), [&](int a, int b) {
      const bool ba = isBin[a], bb = isBin[b];
      if (ba != bb) return ba;
      if (ba) return g[a] > g[b] || (g[a] == g[b] && a < b);
      const double fa = std::fabs(g[a] - std::round(g[a])), fb = std::fabs(g[b] - std::round(g[b]));
      return fa < fb || (fa == fb && a < b);
    });
    for (int j : order) {
      if (pr.lo[j] == pr.up[j]) {
        target[j] = pr.lo[j];
        continue;
      }
      const double v = std::min(pr.up[j], std::max(pr.lo[j], std::round(g[j])));
      const size_t mark = pr.trail.size();
      if (pr.tighten(j, v, v) && pr.propagate()) {
        target[j] = v;
        continue;
      }
      pr.undo(mark);
      const double other = g[j] >= v ? v + 1 : v - 1;
      if (other >= pr.lo[j] && other <= pr.up[j] && pr.tighten(j, other, other) && pr.propagate()) {
        target[j] = other;
        continue;
      }
      pr.undo(mark);
      target[j] = v;  // neither value fits: the plain rounding, left to the LP
    }
    if (env_->counter) env_->counter->add(static_cast<uint64_t>(pr.work - propDone));
    propDone = pr.work;
  };
  auto flipped = [&](int j) {
    const double t = target[j];
    if (t + 1 <= curUp[j] && (x[j] >= t || t - 1 < curLo[j])) return t + 1;
    if (t - 1 >= curLo[j]) return t - 1;
    return t;
  };
  std::vector<std::vector<double>> seen;  // recent roundings
  simplex::LpOptions& o = engine->options();
  long long spent = 0;
  int iter = 0;
  double bestInfeas = 1e300;
  bool found = false;
  const int maxIter = std::max(kMinRounds, static_cast<int>(kRoundsPerEffort * rp.heurEffort));
  const double t0 = envTime(*env_), k0 = detTicks(*env_);
  std::vector<double>& r = heurX_;
  for (iter = 1; iter <= maxIter && spent < iterBudget; ++iter) {
    if (checkLimits(*env_) || detTicks(*env_) > heurDeadline_) break;
    roundByPropagation(x);
    // A repeated rounding: perturb the guide and round again.
    int repeat = -1;
    for (size_t q = 0; q < seen.size(); ++q)
      if (std::equal(seen[q].begin(), seen[q].end(), target.begin())) repeat = static_cast<int>(q);
    if (repeat >= 0) {
      guide = x;
      if (repeat + 1 == static_cast<int>(seen.size())) {
        order.clear();
        for (int j : ints)
          if (curLo[j] < curUp[j]) order.push_back(j);
        std::sort(order.begin(), order.end(), [&](int a, int b) {
          return std::fabs(x[a] - target[a]) > std::fabs(x[b] - target[b]);
        });
        const size_t flips = std::min(order.size(), static_cast<size_t>(kFlipMin + next() % kFlipSpread));
        for (size_t q = 0; q < flips; ++q) guide[order[q]] = flipped(order[q]);
      } else {
        for (int j : ints) {
          const double shift = std::max(0.0, kRestartLo + (kRestartHi - kRestartLo) * uniform());
          if (std::fabs(x[j] - target[j]) + shift > 0.5) guide[j] = flipped(j);
          else guide[j] = target[j];
        }
      }
      roundByPropagation(guide);
    }
    seen.push_back(target);
    if (seen.size() > kCycleMemory) seen.erase(seen.begin());
    // The rounding itself may already be a solution (an unchecked candidate,
  // offered quietly as the dives' are).
    r.assign(target.begin(), target.begin() + w.n0);
    if (offerSolution(r.data(), true, "dive")) {
      found = true;
      break;
    }
    // Distance objective (internal minimization form, then the engine's sense).
    for (int j = 0; j < n; ++j) {
      double c = 0.0;
      if (w.kind[j] == kInt) {
        if (target[j] <= curLo[j]) c = 1.0;
        else if (target[j] >= curUp[j]) c = -1.0;
        else c = x[j] > target[j] ? 1.0 : -1.0;  // inside: pull toward the rounding
      }
      c = (1.0 - alpha) * c + (alpha > 0 ? alpha * distScale * sense * w.lp.obj[j] / cnorm : 0.0);
      if (c != cost[j] || iter == 1) engine->setObj(j, sense * c);
      cost[j] = c;
    }
    alpha *= kAlphaDecay;
    if (alpha < kAlphaOff) alpha = 0.0;
    o.iterationLimit = std::max(1LL, iterBudget - spent);
    o.objectiveLimit = 1e75;
    // The dual simplex: the distance objective changes many costs at once,
    // and from the last basis the primal simplex walks long degenerate
    // paths where the dual (its boxed phase 1 takes the new costs) is quick.
    const LpStatus st = engine->solveDual();
    const long long it = engine->iterations();
    spent += it;
    mipIterations += it;
      if (!optimalLp(st)) break;
    engine->getX(x.data());
    double infeas = 0.0;
    int nfrac = 0;
    for (int j : ints) {
      const double f = std::fabs(x[j] - std::round(x[j]));
      infeas += f;
      if (f > rp.intTol) ++nfrac;
    }
    if (infeas < bestInfeas) {
      bestInfeas = infeas;
      bestX = x;
    }
    if (nfrac == 0) {
      r.assign(x.begin(), x.begin() + w.n0);
      for (int j = 0; j < w.n0; ++j)
        if (w.kind[j] == kInt) r[j] = std::round(r[j]);
      if (offerSolution(r.data(), true, "dive")) {
        found = true;
        break;
      }
    }
    if (lockRounding(x.data())) {
      found = true;
      break;
    }
  }
  if (rp.display >= 2)
    print(*env_, Chan::Results, "Feasibility pump: elapsed %.2f sec., %.2f ticks, phase %d, iter %d, best infeas %.2f\n",
          envTime(*env_) - t0, detTicks(*env_) - k0, 1, std::min(iter, maxIter), bestInfeas < 1e300 ? bestInfeas : 0.0);
  // Restore the objective, the basis and the engine's hold on the node.
  for (int j = 0; j < n; ++j) engine->setObj(j, w.lp.obj[j]);
  installBasis(saved);
  enginePath = savedPath;
  if (found || bestX.empty() || checkLimits(*env_)) return found;
  // Closing sub-MIP around the nearest LP point: its integral integer
  // columns stay fixed, except those at their lower bound in a model row
  // with a fractional column (fixed there, they would leave the row too few
  // columns to choose from: on partitioning rows the sub-MIP would be
  // empty).
  std::vector<char> fix(w.n0, 0);
  std::vector<double> val(w.n0, 0.0);
  for (int j = 0; j < w.n0; ++j)
    if (w.kind[j] == kInt && std::fabs(bestX[j] - std::round(bestX[j])) <= rp.intTol) {
      fix[j] = 1;
      val[j] = std::round(bestX[j]);
    }
  std::vector<char> release(w.n0, 0);
  for (int i = 0; i < w.m; ++i) {
    if (static_cast<size_t>(i) < rowFamily_.size() && rowFamily_[i] != -1) continue;
    bool frac = false;
    for (const auto& [j, a] : cutRows_[i])
      if (j < w.n0 && w.kind[j] == kInt && !fix[j]) frac = true;
    if (!frac) continue;
    for (const auto& [j, a] : cutRows_[i])
      if (j < w.n0 && fix[j] && val[j] <= curLo[j]) release[j] = 1;
  }
  for (int j = 0; j < w.n0; ++j)
    if (release[j]) fix[j] = 0;
  long long nfix = 0, nint = 0;
  for (int j = 0; j < w.n0; ++j)
    if (w.kind[j] == kInt) {
      ++nint;
      nfix += fix[j];
    }
  if (nint == 0 || nfix == 0 || nfix == nint) return false;
  return runSubMip(fix, val, "pump");
}

}  // namespace vnt::mip
