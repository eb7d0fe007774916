// Solution checks: row activities, slacks and reduced costs from given
// values, infeasibility counts and per-row / per-column violations, the
// quality measures by code, and the objective of a given point.
#include <algorithm>
#include <cmath>
#include <vector>

#include "api/chk_decls.h"
#include "api/frame.h"
#include "model/opsupport.h"
#include "params/params.h"
#include "simplex/lpdriver.h"
#include "tools/tools.h"

namespace vnt::chk {

using simplex::LpState;
using tools::storedSolution;

namespace {


// The stored solution's x, or 1217.
int pointOrStored(const model::Problem& p, const double* x, const double** out) {
  if (x) {
    *out = x;
    return 0;
  }
  const LpState* s = storedSolution(p);
  if (!s) return 1217;
  *out = s->x.data();
  return 0;
}

// Signed violation of v against [lo, up]: 0 inside, v - up above, v - lo
// below.
double violation(double v, double lo, double up) {
  if (v > up) return v - up;
  if (v < lo) return v - lo;
  return 0.0;
}

}  // namespace

int getax(Env& env, model::Problem& lp, double* x, int begin, int end) {
  if (!x) return 1004;
  if (int st = model::ops::checkRange(env, "VNTgetax", begin, end, lp.data->numRows())) return st;
  const LpState* s = storedSolution(lp);
  if (!s) return 1217;
  if (end < begin) return 0;
  return model::ops::guarded([&] {
    model::ModelData md;
    if (int st = model::exportData(lp, md)) return st;
    std::vector<double> ax(md.numRows());
    tools::rowActivities(md, s->x.data(), ax.data());
    std::copy(ax.begin() + begin, ax.begin() + end + 1, x);
    model::ops::countWork(env, md.numNz() + md.numRows());
    return 0;
  });
}

int slackfromx(Env& env, model::Problem& lp, const double* x, double* slack) {
  if (!x || !slack) return 1004;
  return model::ops::guarded([&] {
    model::ModelData md;
    if (int st = model::exportData(lp, md)) return st;
    const int m = md.numRows();
    std::vector<double> ax(m);
    tools::rowActivities(md, x, ax.data());
    for (int i = 0; i < m; ++i) slack[i] = md.rhs[i] - ax[i];
    model::ops::countWork(env, md.numNz() + m);
    return 0;
  });
}

int djfrompi(Env& env, model::Problem& lp, const double* pi, double* dj) {
  if (!pi || !dj) return 1004;
  if (model::isMipType(lp.probtype)) return 1017;
  return model::ops::guarded([&] {
    model::ModelData md;
    if (int st = model::exportData(lp, md)) return st;
    for (int j = 0, n = md.numCols(); j < n; ++j) {
      double d = md.obj[j];
      for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) d -= md.matval[k] * pi[md.matind[k]];
      dj[j] = d;
    }
    model::ops::countWork(env, md.numNz() + md.numCols());
    return 0;
  });
}

// Number of bound and row-limit violations of the stored solution beyond
// the feasibility tolerance.
int checkpfeas(Env& env, model::Problem& lp, int* infeas_p) {
  if (!infeas_p) return 1004;
  const LpState* s = storedSolution(lp);
  if (!s) return 1217;
  return model::ops::guarded([&] {
    model::ModelData md;
    if (int st = model::exportData(lp, md)) return st;
    const double tol = params::getDbl(env, tools::kParamFeasibilityTol);
    const int n = md.numCols(), m = md.numRows();
    std::vector<double> ax(m);
    tools::rowActivities(md, s->x.data(), ax.data());
    int cnt = 0;
    for (int j = 0; j < n; ++j)
      if (std::fabs(violation(s->x[j], md.lb[j], md.ub[j])) > tol) ++cnt;
    for (int i = 0; i < m; ++i) {
      double lo, up;
      simplex::rowActivityLimits(md, i, &lo, &up);
      if (std::fabs(violation(ax[i], lo, up)) > tol) ++cnt;
    }
    *infeas_p = cnt;
    model::ops::countWork(env, md.numNz() + n + m);
    return 0;
  });
}

namespace {

// Count of the entries of the stored duals whose sign does not fit where
// their variable sits, beyond the optimality tolerance.
int countDualInfeas(Env& env, model::Problem& lp, int* cnt) {
  const LpState* s = storedSolution(lp);
  if (!s) return 1217;
  if (!s->dual) return 1232;
  model::ModelData md;
  if (int st = model::exportData(lp, md)) return st;
  const double tol = params::getDbl(env, tools::kParamOptimalityTol);
  const int n = md.numCols(), m = md.numRows();
  const double sen = md.objsen < 0 ? -1.0 : 1.0;
  std::vector<double> ax(m);
  tools::rowActivities(md, s->x.data(), ax.data());
  const bool basis = s->basic && s->cstat.size() == static_cast<size_t>(n);
  int c = 0;
  auto check = [&](double d, double v, double lo, double up, int stat) {
    if (lo == up) return;
    d *= sen;
    bool atLo, atUp;
    if (basis) {
      atLo = stat == simplex::kBasisAtLower;
      atUp = stat == simplex::kBasisAtUpper;
      if (stat == simplex::kBasisBasic) atLo = atUp = false;
    } else {
      const double t = tol * (1 + std::fabs(v));
      atLo = lo > -model::kInfBound && v - lo <= t;
      atUp = up < model::kInfBound && up - v <= t;
    }
    double viol;
    if (atLo && !atUp) viol = -d;
    else if (atUp && !atLo) viol = d;
    else if (atLo && atUp) viol = 0.0;
    else viol = std::fabs(d);
    if (viol > tol) ++c;
  };
  for (int j = 0; j < n; ++j) check(s->dj[j], s->x[j], md.lb[j], md.ub[j], basis ? s->cstat[j] : -1);
  for (int i = 0; i < m; ++i) {
    double lo, up;
    simplex::rowActivityLimits(md, i, &lo, &up);
    // The row's dual is the reduced cost of its activity; the library's
    // row status speaks of the slack, so derive the side from the activity.
    int stat = -1;
    if (basis) {
      if (s->rstat[i] == simplex::kBasisBasic) stat = simplex::kBasisBasic;
      else {
        const bool nearUp = up < model::kInfBound &&
                            (lo <= -model::kInfBound || std::fabs(ax[i] - up) < std::fabs(ax[i] - lo));
        stat = nearUp ? simplex::kBasisAtUpper : simplex::kBasisAtLower;
        if (lo <= -model::kInfBound && up >= model::kInfBound) stat = simplex::kBasisFree;
      }
    }
    check(s->pi[i], ax[i], lo, up, stat);
  }
  model::ops::countWork(env, md.numNz() + n + m);
  *cnt = c;
  return 0;
}

}  // namespace

int checkdfeas(Env& env, model::Problem& lp, int* infeas_p) {
  if (!infeas_p) return 1004;
  if (model::isMipType(lp.probtype)) return 1017;
  return model::ops::guarded([&] { return countDualInfeas(env, lp, infeas_p); });
}

// The stored status when the stored values bear it out; an optimal status
// whose values fail the primal or dual check reads 6 (non-optimal), a
// feasible-solution status that fails the primal check likewise.
int checksoln(Env& env, model::Problem& lp, int* lpstatus_p) {
  if (!lpstatus_p) return 1004;
  const LpState* s = storedSolution(lp);
  if (!s) return 1217;
  const int stat = s->stat;
  int pinf = 0, dinf = 0;
  if (int st = checkpfeas(env, lp, &pinf)) return st;
  const bool claimsOptimal = stat == 1 || stat == 101 || stat == 102;
  const bool claimsFeasible = claimsOptimal || stat == 23 || stat == 5 || stat == 104 || stat == 105 ||
                              stat == 107 || stat == 109 || stat == 111 || stat == 113;
  if (stat == 1 && s->dual) {
    if (int st = model::ops::guarded([&] { return countDualInfeas(env, lp, &dinf); })) return st;
  }
  *lpstatus_p = (claimsFeasible && pinf > 0) || (claimsOptimal && dinf > 0) ? 6 : stat;
  return 0;
}

namespace {

int infeasRange(Env& env, model::Problem& lp, const double* x, double* out, int begin, int end, bool rows,
                const char* name) {
  if (!out) return 1004;
  const int count = rows ? lp.data->numRows() : lp.data->numCols();
  if (int st = model::ops::checkRange(env, name, begin, end, count)) return st;
  const double* px = nullptr;
  if (int st = pointOrStored(lp, x, &px)) return st;
  if (end < begin) return 0;
  return model::ops::guarded([&] {
    model::ModelData md;
    if (int st = model::exportData(lp, md)) return st;
    if (rows) {
      std::vector<double> ax(md.numRows());
      tools::rowActivities(md, px, ax.data());
      for (int i = begin; i <= end; ++i) {
        double lo, up;
        simplex::rowActivityLimits(md, i, &lo, &up);
        out[i - begin] = violation(ax[i], lo, up);
      }
      model::ops::countWork(env, md.numNz() + md.numRows());
    } else {
      for (int j = begin; j <= end; ++j) {
        // A semi-continuous column may also rest at zero.
        const bool semi = !md.ctype.empty() && (md.ctype[j] == 'S' || md.ctype[j] == 'N');
        out[j - begin] = semi && px[j] == 0.0 ? 0.0 : violation(px[j], md.lb[j], md.ub[j]);
      }
      model::ops::countWork(env, end - begin + 1);
    }
    return 0;
  });
}

}  // namespace

int getrowinfeas(Env& env, model::Problem& lp, const double* x, double* infeasout, int begin, int end) {
  return infeasRange(env, lp, x, infeasout, begin, end, true, "VNTgetrowinfeas");
}

int getcolinfeas(Env& env, model::Problem& lp, const double* x, double* infeasout, int begin, int end) {
  return infeasRange(env, lp, x, infeasout, begin, end, false, "VNTgetcolinfeas");
}

namespace {

// The measure of `what`, scaled or not, and whether it is a maximum (with
// a location) or a sum.
int qualityMeasure(Env& env, model::Problem& lp, int what, double* value, int* where) {
  using namespace tools;
  if (what == kQualKappa) {
    simplex::LpEngine* e = simplex::factoredEngine(lp);
    if (!storedSolution(lp)) return 1217;
    if (!e) return 1258;
    if (where) return 1003;
    return basisKappa(env, lp, e->isScaled(), value);
  }
  if (what < kQualMaxPrimalInfeas || what > kQualMaxScaledRedCost) return 1003;
  // Even codes are the scaled forms, except the sum of integer infeasibilities.
  const bool scaled = what % 2 == 0 && what != kQualSumIntInfeas;
  Quality q;
  if (int st = scaled ? scaledSolutionQuality(env, lp, q) : solutionQuality(env, lp, q)) return st;
  return pickMeasure(q, what, model::isMipType(lp.probtype), value, where);
}

}  // namespace

int getdblquality(Env& env, model::Problem& lp, double* quality_p, int what) {
  if (!quality_p) return 1004;
  return model::ops::guarded([&] { return qualityMeasure(env, lp, what, quality_p, nullptr); });
}

int getintquality(Env& env, model::Problem& lp, int* quality_p, int what) {
  if (!quality_p) return 1004;
  double unused = 0.0;
  return model::ops::guarded([&] { return qualityMeasure(env, lp, what, &unused, quality_p); });
}

// Objective value c'x (+ 1/2 x'Qx) plus the objective constant at x.
int objfromx(Env& env, model::Problem& lp, const double* x, double* objval_p) {
  if (!x || !objval_p) return 1004;
  const model::ProblemData& d = *lp.data;
  if (!d.cache.rhs.empty() || !d.cache.obj.empty()) {
    return model::ops::guarded([&] {
      model::ModelData md;
      if (int st = model::exportData(lp, md)) return st;
      double v = md.objoffset;
      for (int j = 0; j < md.numCols(); ++j) v += md.obj[j] * x[j];
      for (const model::QuadTerm& t : md.qobj) v += (t.col1 == t.col2 ? 0.5 : 1.0) * t.coef * x[t.col1] * x[t.col2];
      *objval_p = v;
      return 0;
    });
  }
  double v = d.objoffset;
  for (int j = 0; j < d.cols(); ++j) v += d.obj[j] * x[j];
  for (const model::QuadTerm& t : d.qobj) v += (t.col1 == t.col2 ? 0.5 : 1.0) * t.coef * x[t.col1] * x[t.col2];
  *objval_p = v;
  model::ops::countWork(env, d.cols() + static_cast<long long>(d.qobj.size()));
  return 0;
}

}  // namespace vnt::chk
