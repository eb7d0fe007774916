// Quality measures of a stored solution: violations, residuals, magnitudes
// and the condition number of the basis; and the quality display.
#include <algorithm>
#include <cmath>
#include <vector>

#include "api/frame.h"
#include "model/opsupport.h"
#include "params/params.h"
#include "simplex/lpdriver.h"
#include "tools/tools.h"

namespace vnt::tools {

using simplex::LpEngine;
using simplex::LpState;

namespace {

// Violation of a reduced cost (minimization sign) for a variable with the
// given bounds and position: at its lower bound it may not be negative, at
// its upper bound not positive, elsewhere it must vanish.
double djViolation(double d, bool basic, bool fixed, bool atLower, bool atUpper) {
  if (fixed && !basic) return 0.0;
  if (basic) return std::fabs(d);
  if (atLower) return std::max(0.0, -d);
  if (atUpper) return std::max(0.0, d);
  return std::fabs(d);
}

// Estimate of the 1-norm condition number ||B||_1 ||B^-1||_1 (Hager's
// method with Higham's extra test vector).  `solve(v, transposed)` applies
// B^-1 (or B^-T) in place; `colNorm1(p)` is the 1-norm of basis column p.
template <class Solve, class ColNorm>
double conditionEstimate(int m, Solve solve, ColNorm colNorm1) {
  if (m == 0) return 1.0;
  double normB = 0.0;
  for (int p = 0; p < m; ++p) normB = std::max(normB, colNorm1(p));
  std::vector<double> x(m, 1.0 / m), y(m), z(m);
  double est = 0.0;
  int last = -1;
  for (int it = 0; it < 5; ++it) {
    y = x;
    solve(y.data(), false);
    double s = 0.0;
    for (double v : y) s += std::fabs(v);
    est = std::max(est, s);
    for (int p = 0; p < m; ++p) z[p] = y[p] >= 0.0 ? 1.0 : -1.0;
    solve(z.data(), true);
    int j = 0;
    double zx = 0.0;
    for (int i = 0; i < m; ++i) {
      if (std::fabs(z[i]) > std::fabs(z[j])) j = i;
      zx += z[i] * x[i];
    }
    if ((it > 0 && std::fabs(z[j]) <= zx) || j == last) break;
    std::fill(x.begin(), x.end(), 0.0);
    x[j] = 1.0;
    last = j;
  }
  // Alternating test vector: guards against the rare cases where the
  // iteration stops at a poor local maximum.
  for (int i = 0; i < m; ++i)
    x[i] = (i % 2 ? -1.0 : 1.0) * (1.0 + (m > 1 ? static_cast<double>(i) / (m - 1) : 0.0));
  solve(x.data(), false);
  double alt = 0.0;
  for (double v : x) alt += std::fabs(v);
  est = std::max(est, 2.0 * alt / (3.0 * m));
  return normB * est;
}

void chargeSolve(Env& env, int m) { model::ops::countWork(env, m, 5); }

}  // namespace

const LpState* storedSolution(const model::Problem& p) {
  const LpState* s = simplex::findLpState(p);
  return s && s->stat != 0 && !s->noSolution && s->x.size() == static_cast<size_t>(p.data->cols()) ? s : nullptr;
}

void setEngineOptions(Env& env, simplex::LpOptions& o) {
  o.feasibilityTol = params::getDbl(env, kParamFeasibilityTol);
  o.optimalityTol = params::getDbl(env, kParamOptimalityTol);
  o.iterationLimit = params::getLong(env, kParamIterationLimit);
  o.display = 0;
  o.poll = [&env]() { return checkLimits(env); };
  o.workCounter = env.realCounter ? &env.realCounter->value : nullptr;
}

void rowActivities(const model::ModelData& md, const double* x, double* ax) {
  const int n = md.numCols(), m = md.numRows();
  std::fill(ax, ax + m, 0.0);
  for (int j = 0; j < n; ++j) {
    const double xj = x[j];
    if (xj == 0.0) continue;
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) ax[md.matind[k]] += md.matval[k] * xj;
  }
}

int solutionQuality(Env& env, model::Problem& p, Quality& q) {
  q = Quality{};
  const LpState* s = storedSolution(p);
  if (!s) return 1217;
  model::ModelData md;
  if (int st = model::exportData(p, md)) return st;
  const size_t n = static_cast<size_t>(md.numCols()), m = static_cast<size_t>(md.numRows());
  SolutionValues v;
  v.x = s->x.data();
  if (s->slack.size() == m) v.slack = s->slack.data();
  if (s->dual && s->pi.size() == m && s->dj.size() == n) {
    v.pi = s->pi.data();
    v.dj = s->dj.data();
  }
  if (s->basic && s->cstat.size() == n && s->rstat.size() == m) {
    v.cstat = s->cstat.data();
    v.rstat = s->rstat.data();
  }
  measureSolution(md, v, q);
  model::ops::countWork(env, md.numNz() + md.numCols() + md.numRows(), 3);
  return 0;
}

void measureSolution(const model::ModelData& md, const SolutionValues& v, Quality& q) {
  q = Quality{};
  const int n = md.numCols(), m = md.numRows();
  const double sen = md.objsen < 0 ? -1.0 : 1.0;
  const bool duals = v.pi && v.dj;
  const bool basis = v.cstat && v.rstat;
  const bool haveSlack = v.slack != nullptr;
  const double* x = v.x;
  q.hasDual = duals;
  std::vector<double> ax(m);
  rowActivities(md, x, ax.data());
  for (int j = 0; j < n; ++j) {
    const double xj = x[j];
    q.primalInf.add(std::max(md.lb[j] - xj, xj - md.ub[j]), j);
    q.xMax.add(std::fabs(xj), j);
    if (!md.ctype.empty() && md.ctype[j] != 'C') {
      const char t = md.ctype[j];
      // Semi-continuous columns may also sit at zero.
      if (t == 'I' || t == 'B' || ((t == 'N') && xj != 0.0)) q.intInf.add(std::fabs(xj - std::round(xj)), j);
    }
    if (!duals) continue;
    double atpi = 0.0;
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) atpi += md.matval[k] * v.pi[md.matind[k]];
    q.dualResid.add(std::fabs(md.obj[j] - atpi - v.dj[j]), j);
    q.djMax.add(std::fabs(v.dj[j]), j);
    const bool fixed = md.lb[j] == md.ub[j];
    bool basic, atLower, atUpper;
    if (basis) {
      basic = v.cstat[j] == simplex::kBasisBasic;
      atLower = v.cstat[j] == simplex::kBasisAtLower;
      atUpper = v.cstat[j] == simplex::kBasisAtUpper;
    } else {
      // Without a basis: a value at a bound allows the one-sided sign.
      atLower = md.lb[j] > -model::kInfBound && std::fabs(xj - md.lb[j]) <= 1e-9 * (1 + std::fabs(xj));
      atUpper = md.ub[j] < model::kInfBound && std::fabs(xj - md.ub[j]) <= 1e-9 * (1 + std::fabs(xj));
      basic = false;
      if (atLower && atUpper) atLower = atUpper = false, basic = false;
    }
    q.dualInf.add(fixed && !basic ? 0.0 : djViolation(sen * v.dj[j], basic, fixed, atLower, atUpper), j);
  }
  for (int i = 0; i < m; ++i) {
    double lo, up;
    simplex::rowActivityLimits(md, i, &lo, &up);
    const double act = ax[i];
    q.primalInf.add(std::max(lo - act, act - up), n + i);
    if (haveSlack) {
      q.primalResid.add(std::fabs(ax[i] - (md.rhs[i] - v.slack[i])), n + i);
      q.slackMax.add(std::fabs(v.slack[i]), n + i);
    }
    if (!duals) continue;
    q.piMax.add(std::fabs(v.pi[i]), n + i);
    // The row's dual is the reduced cost of its activity.
    const bool basic = basis && v.rstat[i] == simplex::kBasisBasic;
    const bool atUpper = up < model::kInfBound && (lo <= -model::kInfBound || std::fabs(act - up) < std::fabs(act - lo));
    double viol;
    if (basis || lo == up) viol = djViolation(sen * v.pi[i], basic, lo == up, !atUpper, atUpper);
    else {
      // Without a basis a row strictly inside its limits needs a zero dual.
      const double tolAct = 1e-9 * (1 + std::fabs(act));
      const bool atLo = lo > -model::kInfBound && act - lo <= tolAct;
      const bool atUp = up < model::kInfBound && up - act <= tolAct;
      viol = djViolation(sen * v.pi[i], !atLo && !atUp, false, atLo, atUp);
    }
    q.dualInf.add(viol, n + i);
  }
}


int pickMeasure(const Quality& q, int what, bool mip, double* value, int* where) {
  const Measure* m = nullptr;
  bool isSum = false;
  switch (what) {
    case kQualMaxPrimalInfeas: case kQualMaxScaledPrimalInfeas: m = &q.primalInf; break;
    case kQualSumPrimalInfeas: case kQualSumScaledPrimalInfeas: m = &q.primalInf; isSum = true; break;
    case kQualMaxDualInfeas: case kQualMaxScaledDualInfeas: m = &q.dualInf; break;
    case kQualSumDualInfeas: case kQualSumScaledDualInfeas: m = &q.dualInf; isSum = true; break;
    case kQualMaxIntInfeas: m = &q.intInf; break;
    case kQualSumIntInfeas: m = &q.intInf; isSum = true; break;
    case kQualMaxPrimalResidual: case kQualMaxScaledPrimalResidual: m = &q.primalResid; break;
    case kQualSumPrimalResidual: case kQualSumScaledPrimalResidual: m = &q.primalResid; isSum = true; break;
    case kQualMaxDualResidual: case kQualMaxScaledDualResidual: m = &q.dualResid; break;
    case kQualSumDualResidual: case kQualSumScaledDualResidual: m = &q.dualResid; isSum = true; break;
    case kQualMaxX: case kQualMaxScaledX: m = &q.xMax; break;
    case kQualMaxSlack: case kQualMaxScaledSlack: m = &q.slackMax; break;
    case kQualMaxPi: case kQualMaxScaledPi: m = &q.piMax; break;
    case kQualMaxRedCost: case kQualMaxScaledRedCost: m = &q.djMax; break;
    default: return 1003;
  }
  const bool dualMeasure = m == &q.dualInf || m == &q.dualResid || m == &q.piMax || m == &q.djMax;
  if (dualMeasure && !q.hasDual) return mip ? 1017 : 1232;
  if (where) {
    if (isSum) return 1003;
    *where = m->where;
    return 0;
  }
  *value = isSum ? m->sum : m->max;
  return 0;
}

int scaledSolutionQuality(Env& env, model::Problem& p, Quality& q) {
  q = Quality{};
  if (!storedSolution(p)) return 1217;
  LpEngine* e = simplex::factoredEngine(p);
  if (!e) return 1258;
  const int n = e->numCols(), m = e->numRows();
  const std::vector<double>& x = e->scaledValues();
  const std::vector<double>& d = e->scaledReducedCosts();
  const std::vector<double>& lo = e->scaledLower();
  const std::vector<double>& up = e->scaledUpper();
  const std::vector<double>& c = e->scaledCosts();
  const simplex::MatrixView& a = e->scaledMatrix();
  std::vector<double> ax(m, 0.0), slack(m);
  e->getSlack(slack.data());
  q.hasDual = true;
  for (int k = 0; k < n + m; ++k) {
    q.primalInf.add(std::max(lo[k] - x[k], x[k] - up[k]), k);
    q.dualInf.add(djViolation(d[k], e->variableBasic(k), lo[k] == up[k], e->variableAtLower(k), e->variableAtUpper(k)), k);
  }
  for (int j = 0; j < n; ++j) {
    double aty = 0.0;
    for (int64_t k = a.start[j]; k < a.start[j + 1]; ++k) {
      ax[a.index[k]] += a.value[k] * x[j];
      aty -= a.value[k] * d[n + a.index[k]];  // y_i = -d(slack i)
    }
    q.dualResid.add(std::fabs(c[j] - aty - d[j]), j);
    q.xMax.add(std::fabs(x[j]), j);
    q.djMax.add(std::fabs(d[j]), j);
  }
  for (int i = 0; i < m; ++i) {
    q.primalResid.add(std::fabs(ax[i] + x[n + i]), n + i);
    q.slackMax.add(std::fabs(slack[i] * e->rowScaleFactor(i)), n + i);
    q.piMax.add(std::fabs(d[n + i]), n + i);
  }
  model::ops::countWork(env, a.start[n] + n + m, 3);
  return 0;
}

int basisKappa(Env& env, model::Problem& p, bool scaled, double* kappa) {
  LpEngine* e = simplex::factoredEngine(p);
  if (!e) return 1258;
  const int m = e->numRows(), n = e->numCols();
  if (scaled) {
    const simplex::Factor& f = e->basisFactor();
    simplex::WorkVec col, w;
    col.resize(m);
    w.resize(m);
    *kappa = conditionEstimate(
        m,
        [&](double* v, bool transposed) {
          std::copy(v, v + m, w.val.begin());
          w.repack();
          if (transposed) f.btran(w, 1.0);
          else f.ftran(w, 1.0);
          std::copy(w.val.begin(), w.val.end(), v);
          chargeSolve(env, m);
        },
        [&](int pos) {
          e->scaledColumn(e->basisHead(pos), col);
          double t = 0.0;
          for (int k = 0; k < col.nnz; ++k) t += std::fabs(col.val[col.idx[k]]);
          col.clear();
          return t;
        });
    return 0;
  }
  model::ModelData md;
  if (int st = model::exportData(p, md)) return st;
  *kappa = conditionEstimate(
      m,
      [&](double* v, bool transposed) {
        if (transposed) simplex::unscaledBtran(*e, v);
        else simplex::unscaledFtran(*e, v);
        chargeSolve(env, m);
      },
      [&](int pos) {
        const int k = e->basisHead(pos);
        if (k >= n) return 1.0;
        double t = 0.0;
        for (int64_t q = md.matbeg[k]; q < md.matbeg[k + 1]; ++q) t += std::fabs(md.matval[q]);
        return t;
      });
  return 0;
}

}  // namespace vnt::tools

// ---------------------------------------------------------------------------
// The quality display.

namespace vnt::chk {

using simplex::LpEngine;
using simplex::LpState;

int showquality(Env& env, model::Problem& lp);
int showquality(Env& env, model::Problem& lp) {
  const LpState* s = simplex::findLpState(lp);
  if (!s || s->stat == 0) return 1217;
  if (!s->basic) return 1261;
  tools::Quality u;
  if (int st = tools::solutionQuality(env, lp, u)) return st;
  LpEngine* e = simplex::factoredEngine(lp);
  if (e && e->isScaled()) {
    tools::Quality sc;
    double kappa = 1.0;
    if (int st = tools::scaledSolutionQuality(env, lp, sc)) return st;
    if (int st = tools::basisKappa(env, lp, true, &kappa)) return st;
    if (u.primalInf.max > 0 || sc.primalInf.max > 0)
      print(env, Chan::Results, "Max. unscaled (scaled) bound infeas.        = %g (%g)\n", u.primalInf.max, sc.primalInf.max);
    else
      print(env, Chan::Results, "There are no bound infeasibilities.\n");
    if (u.dualInf.max > 0 || sc.dualInf.max > 0)
      print(env, Chan::Results, "Max. unscaled (scaled) reduced-cost infeas. = %g (%g)\n", u.dualInf.max, sc.dualInf.max);
    else
      print(env, Chan::Results, "There are no reduced-cost infeasibilities.\n");
    print(env, Chan::Results, "Max. unscaled (scaled) Ax-b resid.          = %g (%g)\n", u.primalResid.max, sc.primalResid.max);
    print(env, Chan::Results, "Max. unscaled (scaled) c-B'pi resid.        = %g (%g)\n", u.dualResid.max, sc.dualResid.max);
    print(env, Chan::Results, "Max. unscaled (scaled) |x|                  = %g (%g)\n", u.xMax.max, sc.xMax.max);
    print(env, Chan::Results, "Max. unscaled (scaled) |slack|              = %g (%g)\n", u.slackMax.max, sc.slackMax.max);
    print(env, Chan::Results, "Max. unscaled (scaled) |pi|                 = %g (%g)\n", u.piMax.max, sc.piMax.max);
    print(env, Chan::Results, "Max. unscaled (scaled) |red-cost|           = %g (%g)\n", u.djMax.max, sc.djMax.max);
    print(env, Chan::Results, "Condition number of scaled basis            = %.1e\n", kappa);
    return 0;
  }
  double kappa = 1.0;
  if (e) tools::basisKappa(env, lp, false, &kappa);
  if (u.primalInf.max > 0)
    print(env, Chan::Results, "Maximum bound infeasibility        = %g\n", u.primalInf.max);
  else
    print(env, Chan::Results, "There are no bound infeasibilities.\n");
  if (u.dualInf.max > 0)
    print(env, Chan::Results, "Maximum reduced-cost infeasibility = %g\n", u.dualInf.max);
  else
    print(env, Chan::Results, "There are no reduced-cost infeasibilities.\n");
  print(env, Chan::Results, "Maximum Ax-b residual              = %g\n", u.primalResid.max);
  print(env, Chan::Results, "Maximum c-B'pi residual            = %g\n", u.dualResid.max);
  print(env, Chan::Results, "Maximum |x|                        = %g\n", u.xMax.max);
  print(env, Chan::Results, "Maximum |slack|                    = %g\n", u.slackMax.max);
  print(env, Chan::Results, "Maximum |pi|                       = %g\n", u.piMax.max);
  print(env, Chan::Results, "Maximum |red-cost|                 = %g\n", u.djMax.max);
  if (e) print(env, Chan::Results, "Condition number of unscaled basis = %.1e\n", kappa);
  return 0;
}

}  // namespace vnt::chk

// The quality display is exported outside the dispatch tables.
extern "C" VNTAPI int VNTAPIENTRY VNTEshowquality(VNTENVptr envHandle, VNTLPptr lpHandle) {
  vnt::Env* env = nullptr;
  vnt::model::Problem* lp = nullptr;
  int st = vnt::api::enter(envHandle, lpHandle, &env, &lp, false);
  if (st == 0) st = vnt::chk::showquality(*env, *lp);
  vnt::api::report(env, &st);
  return st;
}
