// Sensitivity ranges of an optimal (or unbounded / infeasible) basis:
// objective coefficients, right-hand sides and column bounds.
//
// Everything is computed on the engine's scaled working form with the
// factors of the final basis Bs = R B D (see simplex/lpdriver.h).  For a
// basis position p holding variable k the scaled value is xs = x / D_p, so a
// ratio (bound - xs) / alpha with alpha a column of Bs^-1 applied to the
// scaled right-hand side R e_r (or to the scaled column divided by its
// scale factor) is already a step in the caller's units.  Objective ratios
// d_k / alpha_pk of scaled reduced costs and tableau entries are divided by
// D_p to give a cost change in the caller's units.
//
// Internal sign conventions: the engine's logical of row i is -a_i x with
// bounds [-rup, -rlo]; raising the right-hand side by t shifts those bounds
// by -t, which moves the basic variables by t * B^-1 e_i.  Costs and reduced
// costs are in minimization form.
#include <algorithm>
#include <cmath>
#include <vector>

#include "api/chk_decls.h"
#include "api/frame.h"
#include "model/opsupport.h"
#include "params/params.h"
#include "simplex/lpdriver.h"
#include "tools/tools.h"

namespace vnt::tools {

using simplex::LpEngine;
using simplex::LpState;
using simplex::WorkVec;

namespace {

constexpr double kInf = 1e20;
constexpr double kHuge = 1e19;          // a range end beyond this is reported as infinite
constexpr double kZeroStep = 1e-10;     // steps and ends below this are exactly zero
constexpr double kPivotTol = 1e-9;      // tableau entries below this do not limit a range
constexpr double kFixedWidth = 1e-10;   // bounds closer than this make a fixed variable

enum class Op { Objective, Rhs, Bounds };

// Checks shared by the three operations, in their order; on success the
// stored solution and the factored engine.
int prepare(Env& env, model::Problem& lp, Op op, int begin, int end, const LpState** sOut, LpEngine** eOut,
            const char* name) {
  if (int st = model::ops::refuseFixed(lp)) return st;
  if (model::isMipType(lp.probtype)) return 1017;
  const LpState* s = simplex::findLpState(lp);
  if (!s || s->stat == 0 || s->noSolution || s->x.size() != static_cast<size_t>(lp.data->cols())) return 1217;
  bool ok = s->stat == 1 || s->stat == 5 || s->stat == 2;
  if (!ok && s->stat == 3 && op != Op::Objective && s->method != simplex::kMethodDual) ok = true;
  if (!ok) return 1260;
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return 1258;
  const int count = op == Op::Rhs ? lp.data->numRows() : lp.data->numCols();
  if (begin > end || begin < 0 || end >= count) {
    if (int st = model::ops::checkRange(env, name, begin, end, count)) return st;
    return 1200;
  }
  *sOut = s;
  *eOut = e;
  return 0;
}

double reportEnd(double v) {
  if (v <= -kHuge) return -kInf;
  if (v >= kHuge) return kInf;
  return v;
}

// Limits of the basic variables for the primal ratio tests (scaled): their
// bounds when the solution is primal feasible; otherwise a variable outside
// its bounds may only move within its side of the violated bound.
struct BasicLimits {
  std::vector<double> lo, up, x;
  void build(const LpEngine& e, bool primalFeasible, double tol) {
    const int m = e.numRows();
    lo.resize(m);
    up.resize(m);
    x.resize(m);
    const std::vector<double>& xs = e.scaledValues();
    const std::vector<double>& l = e.scaledLower();
    const std::vector<double>& u = e.scaledUpper();
    for (int p = 0; p < m; ++p) {
      const int k = e.basisHead(p);
      x[p] = xs[k];
      lo[p] = l[k];
      up[p] = u[k];
      if (primalFeasible) continue;
      if (xs[k] < l[k] - tol) {
        lo[p] = -kInf;
        up[p] = l[k];
      } else if (xs[k] > u[k] + tol) {
        lo[p] = u[k];
        up[p] = kInf;
      }
    }
  }
};

// Ratio test of a primal move x_B += t * alpha over the basic limits:
// [tmin, tmax] keeps every basic variable within its limits.  The range is
// clamped to contain 0.
void primalRatio(const WorkVec& alpha, const BasicLimits& lim, double* tmin, double* tmax, long long* work) {
  double lo = -kInf, hi = kInf;
  auto visit = [&](int p) {
    const double a = alpha.val[p];
    if (std::fabs(a) < kPivotTol) return;
    const bool finLo = lim.lo[p] > -kInf, finUp = lim.up[p] < kInf;
    if (a > 0) {
      if (finLo) lo = std::max(lo, (lim.lo[p] - lim.x[p]) / a);
      if (finUp) hi = std::min(hi, (lim.up[p] - lim.x[p]) / a);
    } else {
      if (finLo) hi = std::min(hi, (lim.lo[p] - lim.x[p]) / a);
      if (finUp) lo = std::max(lo, (lim.up[p] - lim.x[p]) / a);
    }
  };
  if (alpha.packed) {
    for (int q = 0; q < alpha.nnz; ++q) visit(alpha.idx[q]);
    *work += alpha.nnz;
  } else {
    for (int p = 0, m = static_cast<int>(alpha.val.size()); p < m; ++p)
      if (alpha.val[p] != 0.0) visit(p);
    *work += static_cast<long long>(alpha.val.size());
  }
  *tmax = std::max(hi, 0.0);
  *tmin = std::min(lo, 0.0);
  if (std::fabs(*tmax) < kZeroStep) *tmax = 0.0;
  if (std::fabs(*tmin) < kZeroStep) *tmin = 0.0;
}

// FTRAN of the unit column s * e_r (s the row factor), or of the scaled
// column of variable k divided by `div`, into v (cleared first).
void solveUnit(LpEngine& e, int r, WorkVec& v) {
  v.clear();
  v.val[r] = e.rowScaleFactor(r);
  v.idx[0] = r;
  v.nnz = 1;
  v.packed = true;
  e.basisFactor().ftran(v, 0.05);
}
void solveColumn(LpEngine& e, int k, double div, WorkVec& v) {
  v.clear();
  e.scaledColumn(k, v);
  if (div != 1.0)
    for (int q = 0; q < v.nnz; ++q) v.val[v.idx[q]] /= div;
  e.basisFactor().ftran(v, 0.05);
}

void charge(Env& env, int m, long long visited) {
  model::ops::countWork(env, m, 5);
  model::ops::countWork(env, visited, 3);
}

}  // namespace

// ---------------------------------------------------------------------------

int rhsRanges(Env& env, model::Problem& lp, int begin, int end, double* lower, double* upper) {
  const LpState* s = nullptr;
  LpEngine* e = nullptr;
  if (int st = prepare(env, lp, Op::Rhs, begin, end, &s, &e, "VNTrhssa")) return st;
  const int m = e->numRows();
  BasicLimits lim;
  lim.build(*e, s->primalFeasible || s->stat == 1 || s->stat == 5, params::getDbl(env, kParamFeasibilityTol));
  const model::ProblemData& d = *lp.data;
  WorkVec v;
  v.resize(m);
  long long work = 0;
  for (int r = begin; r <= end; ++r) {
    double tmin, tmax;
    solveUnit(*e, r, v);
    primalRatio(v, lim, &tmin, &tmax, &work);
    double lo = d.rhs[r] + tmin, up = d.rhs[r] + tmax;
    if (std::fabs(lo) < kZeroStep) lo = 0.0;
    if (std::fabs(up) < kZeroStep) up = 0.0;
    lower[r - begin] = reportEnd(lo);
    upper[r - begin] = reportEnd(up);
  }
  charge(env, m, work);
  return 0;
}

int boundRanges(Env& env, model::Problem& lp, int begin, int end, double* lblower, double* lbupper,
                double* ublower, double* ubupper) {
  const LpState* s = nullptr;
  LpEngine* e = nullptr;
  if (int st = prepare(env, lp, Op::Bounds, begin, end, &s, &e, "VNTboundsa")) return st;
  const int m = e->numRows();
  const double tol = params::getDbl(env, kParamFeasibilityTol);
  BasicLimits lim;
  lim.build(*e, s->primalFeasible || s->stat == 1 || s->stat == 5, tol);
  const model::ProblemData& d = *lp.data;
  WorkVec v;
  v.resize(m);
  long long work = 0;
  auto put = [&](double* arr, int j, double val) {
    if (arr) arr[j - begin] = reportEnd(std::fabs(val) < kZeroStep ? 0.0 : val);
  };
  for (int j = begin; j <= end; ++j) {
    const double lb = d.lb[j], ub = d.ub[j];
    const double x = s->x[j];
    if (e->variableBasic(j)) {
      if (x < lb - tol) {
        put(lblower, j, x);
        put(lbupper, j, std::min(kInf, ub));
      } else {
        put(lblower, j, -kInf);
        put(lbupper, j, std::min(x, ub));
      }
      if (x > ub + tol) {
        put(ublower, j, -kInf);
        put(ubupper, j, x);
      } else {
        put(ublower, j, std::max(x, lb));
        put(ubupper, j, kInf);
      }
      continue;
    }
    // A nonbasic column moves with the bound it sits at; the basic
    // variables follow along -B^-1 a_j (scaled: divided by the column's
    // factor so that the step is in the caller's units).
    const bool needLower = lblower || lbupper, needUpper = ublower || ubupper;
    const bool atLower = e->variableAtLower(j), atUpper = e->variableAtUpper(j);
    double tmin = 0.0, tmax = 0.0;
    if ((atLower && needLower) || (atUpper && needUpper) || (!atLower && !atUpper)) {
      solveColumn(*e, j, -e->colScaleFactor(j), v);
      primalRatio(v, lim, &tmin, &tmax, &work);
    }
    if (atLower) {
      put(lblower, j, lb + tmin);
      put(lbupper, j, std::min(lb + tmax, ub));
      put(ublower, j, lb);
      put(ubupper, j, kInf);
    } else if (atUpper) {
      put(lblower, j, -kInf);
      put(lbupper, j, ub);
      put(ublower, j, std::max(ub + tmin, lb));
      put(ubupper, j, ub + tmax);
    } else {
      // Free or between its bounds: a bound may pass the value as far as
      // the value itself could move.
      put(lblower, j, -kInf);
      put(lbupper, j, x + tmax);
      put(ublower, j, x + tmin);
      put(ubupper, j, kInf);
    }
  }
  charge(env, m, work);
  return 0;
}

int objRanges(Env& env, model::Problem& lp, int begin, int end, double* lower, double* upper) {
  const LpState* s = nullptr;
  LpEngine* e = nullptr;
  if (int st = prepare(env, lp, Op::Objective, begin, end, &s, &e, "VNTobjsa")) return st;
  const int m = e->numRows(), n = e->numCols();
  const model::ProblemData& d = *lp.data;
  const double sen = d.objsen < 0 ? -1.0 : 1.0;
  const bool clampBasic = s->stat == 1 || s->stat == 5;
  const std::vector<double>& ds = e->scaledReducedCosts();
  const std::vector<double>& l = e->scaledLower();
  const std::vector<double>& u = e->scaledUpper();
  long long work = 0;

  // Ranges of the minimization-form cost change of each basic column in
  // [begin, end], indexed by basis position.
  std::vector<double> dlow(m, -kInf), dup(m, kInf);
  std::vector<char> wanted(m, 0);
  int basicCount = 0;
  for (int j = begin; j <= end; ++j)
    if (e->variableBasic(j)) {
      wanted[e->basisPosition(j)] = 1;
      ++basicCount;
    }
  auto isFixed = [&](int k) { return u[k] - l[k] < kFixedWidth; };
  // The tableau entry alpha = (Bs^-1 As_k)_p of nonbasic k limits the cost
  // change at position p so that d_k keeps its sign.
  auto limit = [&](int p, int k, double alpha) {
    if (std::fabs(alpha) < kPivotTol) return;
    const double q = ds[k] / alpha;
    const bool upperSide = e->variableAtUpper(k);
    const bool lowerSide = e->variableAtLower(k);
    if (lowerSide || upperSide) {
      const bool raisesLimit = (alpha > 0) == lowerSide;  // the ratio caps the increase
      if (raisesLimit) dup[p] = std::min(dup[p], q);
      else dlow[p] = std::max(dlow[p], q);
    } else {
      // Free nonbasic or superbasic: its reduced cost must stay zero.
      dup[p] = std::min(dup[p], std::max(q, 0.0));
      dlow[p] = std::max(dlow[p], std::min(q, 0.0));
    }
  };
  if (basicCount > 0) {
    WorkVec v;
    v.resize(m);
    if (basicCount * 4 <= m) {
      // Few basic columns: one BTRAN per column and its tableau row.
      const simplex::MatrixView& a = e->scaledMatrix();
      for (int j = begin; j <= end; ++j) {
        if (!e->variableBasic(j)) continue;
        const int p = e->basisPosition(j);
        v.clear();
        v.val[p] = 1.0;
        v.idx[0] = p;
        v.nnz = 1;
        v.packed = true;
        e->basisFactor().btran(v, 0.05);
        const double* rho = v.val.data();
        for (int k = 0; k < n; ++k) {
          if (e->variableBasic(k) || isFixed(k)) continue;
          double t = 0.0;
          for (int64_t q = a.start[k]; q < a.start[k + 1]; ++q) t += rho[a.index[q]] * a.value[q];
          limit(p, k, t);
        }
        for (int i = 0; i < m; ++i) {
          const int k = n + i;
          if (e->variableBasic(k) || isFixed(k) || rho[i] == 0.0) continue;
          limit(p, k, rho[i]);
        }
        work += a.start[n] + m;
      }
    } else {
      // Many: one FTRAN per nonbasic variable updates every basic column.
      for (int k = 0; k < n + m; ++k) {
        if (e->variableBasic(k) || isFixed(k)) continue;
        solveColumn(*e, k, 1.0, v);
        auto visit = [&](int p) {
          if (wanted[p]) limit(p, k, v.val[p]);
        };
        if (v.packed) {
          for (int q = 0; q < v.nnz; ++q) visit(v.idx[q]);
          work += v.nnz;
        } else {
          for (int p = 0; p < m; ++p)
            if (v.val[p] != 0.0) visit(p);
          work += m;
        }
      }
    }
  }

  for (int j = begin; j <= end; ++j) {
    const double c = d.obj[j];
    double lo, up;
    if (e->variableBasic(j)) {
      const int p = e->basisPosition(j);
      const double scale = e->colScaleFactor(j);
      double dl = dlow[p], du = dup[p];
      if (dl > -kHuge) dl /= scale;
      if (du < kHuge) du /= scale;
      if (clampBasic) {
        du = std::max(du, 0.0);
        dl = std::min(dl, 0.0);
      } else if (du + kZeroStep < dl) {
        lower[j - begin] = kInf;
        upper[j - begin] = -kInf;
        continue;
      }
      if (sen > 0) {
        lo = dl <= -kHuge ? -kInf : c + dl;
        up = du >= kHuge ? kInf : c + du;
      } else {
        lo = du >= kHuge ? -kInf : c - du;
        up = dl <= -kHuge ? kInf : c - dl;
      }
    } else if (isFixed(j)) {
      lo = -kInf;
      up = kInf;
    } else {
      // Minimization-form reduced cost in the caller's units.
      const double dm = ds[j] / e->colScaleFactor(j);
      const bool free = l[j] <= -kInf && u[j] >= kInf;
      if (free || !(e->variableAtLower(j) || e->variableAtUpper(j))) {
        lo = up = c;
      } else {
        // At its lower bound the minimization cost may rise without limit
        // and fall by dm; at its upper bound the reverse.
        const bool rise = e->variableAtLower(j);
        if (rise == (sen > 0)) {
          lo = c - sen * dm;
          up = kInf;
        } else {
          lo = -kInf;
          up = c - sen * dm;
        }
      }
    }
    lower[j - begin] = reportEnd(lo);
    upper[j - begin] = reportEnd(up);
  }
  charge(env, m, work);
  return 0;
}

}  // namespace vnt::tools

namespace vnt::chk {

int objsa(Env& env, model::Problem& lp, int begin, int end, double* lower, double* upper) {
  if (!lower || !upper) return 1004;
  return model::ops::guarded([&] { return tools::objRanges(env, lp, begin, end, lower, upper); });
}

int rhssa(Env& env, model::Problem& lp, int begin, int end, double* lower, double* upper) {
  if (!lower || !upper) return 1004;
  return model::ops::guarded([&] { return tools::rhsRanges(env, lp, begin, end, lower, upper); });
}

int boundsa(Env& env, model::Problem& lp, int begin, int end, double* lblower, double* lbupper, double* ublower,
            double* ubupper) {
  return model::ops::guarded(
      [&] { return tools::boundRanges(env, lp, begin, end, lblower, lbupper, ublower, ubupper); });
}

}  // namespace vnt::chk

namespace vnt::chk {

namespace {

// Room for the half of a pair the caller left null (none for a range the
// checks refuse before anything is written).
size_t scratchLength(int begin, int end, int count) {
  return begin >= 0 && begin <= end && end < count ? static_cast<size_t>(end - begin) + 1 : 0;
}

}  // namespace

// All ranges of one basis in one call: objective and bound ranges of the
// columns cbegin..cend, right-hand-side ranges of the rows rbegin..rend.
// Every array may be null; a part whose arrays are all null is skipped and
// its index range is not checked.  The parts run in that order and the
// first failure ends the call (so an infeasible basis with objective arrays
// given answers 1260, as VNTobjsa does).
int rangesa(Env& env, model::Problem& lp, int cbegin, int cend, int rbegin, int rend, double* objlower,
            double* objupper, double* lblower, double* lbupper, double* ublower, double* ubupper, double* rhslower,
            double* rhsupper) {
  return model::ops::guarded([&] {
    if (objlower || objupper) {
      std::vector<double> lo, up;
      const size_t len = scratchLength(cbegin, cend, lp.data->numCols());
      if (!objlower) lo.resize(len);
      if (!objupper) up.resize(len);
      if (int st = tools::objRanges(env, lp, cbegin, cend, objlower ? objlower : lo.data(),
                                    objupper ? objupper : up.data()))
        return st;
    }
    if (lblower || lbupper || ublower || ubupper)
      if (int st = tools::boundRanges(env, lp, cbegin, cend, lblower, lbupper, ublower, ubupper)) return st;
    if (rhslower || rhsupper) {
      std::vector<double> lo, up;
      const size_t len = scratchLength(rbegin, rend, lp.data->numRows());
      if (!rhslower) lo.resize(len);
      if (!rhsupper) up.resize(len);
      if (int st = tools::rhsRanges(env, lp, rbegin, rend, rhslower ? rhslower : lo.data(),
                                    rhsupper ? rhsupper : up.data()))
        return st;
    }
    return 0;
  });
}

}  // namespace vnt::chk
