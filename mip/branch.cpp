// Branching on the restrictions other than integrality: semi-continuous and
// semi-integer columns, special ordered sets and indicator constraints.
#include <algorithm>
#include <cmath>

#include "mip/search.h"

namespace vnt::mip {

using simplex::LpStatus;

// The LP objective of one side of a branch (bound changes on several
// variables) after a limited number of dual iterations from the node's
// basis; tol::kNone when the side is empty.  Bounds and basis are restored.
double Search::sideObjective(const std::vector<BoundChange>& ch, double z, long long lim, bool* stopped) {
  std::vector<BoundChange>& side = sideOld_;
  side = ch;
  if (!intersect(side)) return tol::kNone;
  std::vector<BoundChange> old;
  old.reserve(side.size());
  for (const BoundChange& c : side) old.push_back({c.k, curLo[c.k], curUp[c.k]});
  for (const BoundChange& c : side) applyChange(c.k, c.lo, c.up);
  const LpStatus st = solveLp(lim);
  const long long it = engine->iterations();
  strongIterations += it;
  mipIterations += it;
  double obj = lpObjective();
  if (st == LpStatus::kTimeLimit || st == LpStatus::kAborted || st == LpStatus::kDetTimeLimit) *stopped = true;
  if (st == LpStatus::kInfeasible || st == LpStatus::kObjectiveLimit) obj = tol::kNone;
  else if (st != LpStatus::kOptimal && st != LpStatus::kOptimalUnscaledInfeas) obj = std::max(z, std::min(obj, tol::kNone));
  for (auto c = old.rbegin(); c != old.rend(); ++c) applyChange(c->k, c->lo, c->up);
  return obj;
}

// When a restriction other than integrality is violated too, its branch is
// strong-branched and taken instead of the column's when it scores higher
// (the product of the children's objective gains).
bool Search::restrictionBeatsColumn(double z, std::vector<BoundChange>& down, std::vector<BoundChange>& up, int* col,
                                    char* kind, bool* stopped) {
  if (chosenScore_ <= 0.0 || strongIterations > mipIterations / 2 + tol::kStrongBudgetFloor) return false;
  std::vector<BoundChange>& dn = sideDown_;
  std::vector<BoundChange>& upc = sideUp_;
  int rcol = -1;
  char rkind = 'X';
  dn.clear();
  upc.clear();
  if (!pickRestrictionBranch(dn, upc, &rcol, &rkind)) return false;
  const long long lim = std::clamp<long long>(
      2 * (nodeCount > 0 ? mipIterations / std::max(1LL, nodeCount) : 50), 20, 500);
  Basis& b = sbBasis_;
  snapshotBasis(b);
  double gain[2];
  for (int d = 0; d < 2; ++d) {
    gain[d] = sideObjective(d == 0 ? dn : upc, z, lim, stopped) - z;
    installBasis(b);
    if (*stopped) return false;
  }
  const double score = std::max(gain[0], tol::kPseudoEps) * std::max(gain[1], tol::kPseudoEps);
  if (!(score > chosenScore_)) return false;
  down = dn;
  up = upc;
  *col = rcol;
  *kind = rkind;
  return true;
}

// The two children's bound changes for the first violated restriction of
// the node's LP solution (false when every one holds).
bool Search::pickRestrictionBranch(std::vector<BoundChange>& down, std::vector<BoundChange>& up, int* col,
                                   char* kind) {
  // Semi-continuous and semi-integer columns: off (0) or on ([l,u]).
  for (int k = 0; k < w.n; ++k) {
    if (w.kind[k] != kSemiCont && w.kind[k] != kSemiInt) continue;
    const double v = xsave_[k], l = w.semiLo[k], u = w.semiUp[k];
    const bool off = std::fabs(v) <= rp.feasTol;
    const double lo = std::min(l, u), hi = std::max(l, u);
    const bool inPart = v >= lo - rp.feasTol && v <= hi + rp.feasTol;
    const bool onDecided = l > 0 ? curLo[k] >= l : curUp[k] <= u;
    if (off || onDecided) continue;
    if (inPart && !(w.kind[k] == kSemiInt && std::fabs(v - std::round(v)) > rp.intTol)) continue;
    down.push_back({k, 0.0, 0.0});
    if (l > 0) up.push_back({k, l, curUp[k]});
    else up.push_back({k, curLo[k], u});
    *col = k;
    *kind = 'S';
    return true;
  }
  // Sets.
  for (const SetRecord& s : w.sets) {
    const int K = static_cast<int>(s.cols.size());
    int first = -1, last = -1, cnt = 0;
    double sw = 0, sx = 0;
    for (int k = 0; k < K; ++k) {
      const double v = std::fabs(xsave_[s.cols[k]]);
      if (v > rp.feasTol) {
        if (first < 0) first = k;
        last = k;
        ++cnt;
        sw += v * k;
        sx += v;
      }
    }
    bool violated;
    if (s.type == '1') violated = cnt > 1;
    else violated = cnt > 2 || (cnt == 2 && (last != first + 1 || !s.pairOk[first])) || (last - first >= 2);
    if (!violated) continue;
    const double avg = sw / sx;
    if (s.type == '1') {
      // Split between first and last: members above r to 0 / up to r to 0.
      int r = std::clamp(static_cast<int>(std::floor(avg)), first, last - 1);
      for (int k = r + 1; k < K; ++k) down.push_back({s.cols[k], 0.0, 0.0});
      for (int k = 0; k <= r; ++k) up.push_back({s.cols[k], 0.0, 0.0});
    } else if (last - first >= 2) {
      const int r = std::clamp(static_cast<int>(std::lround(avg)), first + 1, last - 1);
      for (int k = r + 1; k < K; ++k) down.push_back({s.cols[k], 0.0, 0.0});
      for (int k = 0; k < r; ++k) up.push_back({s.cols[k], 0.0, 0.0});
    } else {
      // Two adjacent members that may not be nonzero together.
      for (int k = first + 1; k < K; ++k) down.push_back({s.cols[k], 0.0, 0.0});
      for (int k = 0; k <= first; ++k) up.push_back({s.cols[k], 0.0, 0.0});
    }
    *kind = 'X';
    return true;
  }
  // Indicators: the indicator column sits at its active value but the
  // constraint is not enforced yet, or a reversed equality is undecided.
  for (const IndicatorRecord& ir : w.inds) {
    const double zv = xsave_[ir.z];
    const bool fixed = curLo[ir.z] == curUp[ir.z];
    if (!fixed) {
      if (std::fabs(zv - std::round(zv)) > rp.intTol) continue;  // fractional: integer branching covers it
      bool bad = false;
      const bool atActive = std::fabs(zv - ir.active) <= rp.intTol;
      if (atActive && ir.row >= 0) {
        const double a = rowAct(ir.row);
        bad = a < ir.lo - rp.feasTol || a > ir.up + rp.feasTol;
      }
      if (!atActive && ir.revA >= 0) {
        const double a = rowAct(ir.revA);
        bool holdsA = a >= ir.revAlo - rp.feasTol && a <= ir.revAup + rp.feasTol;
        bool holdsB = false;
        if (ir.revB >= 0) {
          const double bb = rowAct(ir.revB);
          holdsB = bb >= ir.revBlo - rp.feasTol && bb <= ir.revBup + rp.feasTol;
        }
        bad = !(holdsA || holdsB);
      }
      if (!bad) continue;
      down = {{ir.z, 0.0, 0.0}};
      up = {{ir.z, 1.0, 1.0}};
      *col = ir.z;
      *kind = 'V';
      return true;
    }
    if (ir.revB >= 0 && std::fabs(curLo[ir.z] - ir.active) >= 0.5) {
      // Fixed at the inactive value: one side of the equality must fail.
      const double a = rowAct(ir.revA);
      const bool holdsA = a >= ir.revAlo - rp.feasTol, holdsB = a <= ir.revBup + rp.feasTol;
      const bool enforced = curLo[w.n + ir.revA] > -tol::kInf || curUp[w.n + ir.revB] < tol::kInf;
      if (holdsA || holdsB || enforced) continue;
      down.push_back({w.n + ir.revA, ir.revAlo, ir.revAup});
      up.push_back({w.n + ir.revB, ir.revBlo, ir.revBup});
      *kind = 'X';
      return true;
    }
  }
  return false;
}


}  // namespace vnt::mip
