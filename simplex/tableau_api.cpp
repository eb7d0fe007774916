// Solves with the basis factors for callers (FTRAN, BTRAN, rows and columns of
// the basis inverse and of the tableau), the basis head, and the solution
// quality display.
//
// The engine factorizes the scaled basis  Bs = R B D  (R: row scale factors;
// D per basis position: the scale factor of a basic structural, the
// reciprocal row factor of a basic logical).  Hence
//   B^-1 = D Bs^-1 R   and   B^-T = R Bs^-T D,
// which is how every vector below is brought back to the caller's units.
#include <algorithm>
#include <cmath>
#include <vector>

#include "api/chk_decls.h"
#include "api/frame.h"
#include "env/env.h"
#include "model/opsupport.h"
#include "model/modeldata.h"
#include "simplex/lpdriver.h"

namespace vnt::simplex {

bool LpEngine::isScaled() const {
  for (double s : colScale_)
    if (s != 1.0) return true;
  for (double s : rowScale_)
    if (s != 1.0) return true;
  return false;
}

bool LpEngine::basisFactorReady() {
  if (!factorValid_) return false;
  if (factor_.valid()) return true;
  // An update was refused after the last basis change: rebuild the factors of
  // the current basis.
  return refactor();
}

namespace {

// The engine of a problem whose factors describe its current basis, or null.
LpEngine* factoredEngine(model::Problem& p) {
  LpState* s = static_cast<LpState*>(p.state[model::kSlotLp].get());
  if (!s || !s->engine || s->reload) return nullptr;
  LpEngine* e = s->engine.get();
  if (e->numRows() != p.data->numRows() || e->numCols() != p.data->numCols()) return nullptr;
  return e->basisFactorReady() ? e : nullptr;
}

// D of the basis position p.
double positionScale(const LpEngine& e, int p) {
  const int k = e.basisHead(p), n = e.numCols();
  return k < n ? e.colScaleFactor(k) : 1.0 / e.rowScaleFactor(k - n);
}

void ftranInPlace(LpEngine& e, WorkVec& v) {
  v.repack();
  e.basisFactor().ftran(v, 1.0);
}
void btranInPlace(LpEngine& e, WorkVec& v) {
  v.repack();
  e.basisFactor().btran(v, 1.0);
}

// Scaled row of Bs^-1 at position r, scaled so that R times it is row r of
// B^-1.
void scaledInverseRow(LpEngine& e, int r, WorkVec& v) {
  const int m = e.numRows();
  v.resize(m);
  v.val[r] = positionScale(e, r);
  btranInPlace(e, v);
}

// Dense unscaled solves: x := B^-1 x (row space to basis positions) and
// y := B^-T y (basis positions to row space).
void unscaledFtran(LpEngine& e, double* x) {
  const int m = e.numRows();
  WorkVec v;
  v.resize(m);
  for (int i = 0; i < m; ++i) v.val[i] = x[i] * e.rowScaleFactor(i);
  ftranInPlace(e, v);
  for (int p = 0; p < m; ++p) x[p] = v.val[p] * positionScale(e, p);
}

void unscaledBtran(LpEngine& e, double* y) {
  const int m = e.numRows();
  WorkVec v;
  v.resize(m);
  for (int p = 0; p < m; ++p) v.val[p] = y[p] * positionScale(e, p);
  btranInPlace(e, v);
  for (int i = 0; i < m; ++i) y[i] = v.val[i] * e.rowScaleFactor(i);
}

}  // namespace

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

}  // namespace vnt::simplex

// ---------------------------------------------------------------------------
// Checked entries.

namespace vnt::chk {

using simplex::LpEngine;

namespace {

constexpr int kNoFactor = 1258;

// Work of one solve in the caller's units: scaling in and out, the solve.
void chargeSolve(Env& env, int m) {
  model::ops::countWork(env, m, 2);
  model::ops::countWork(env, m, 3);
}

}  // namespace

int ftran(Env& env, model::Problem& lp, double* x) {
  if (!x) return 1004;
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return kNoFactor;
  simplex::unscaledFtran(*e, x);
  chargeSolve(env, e->numRows());
  return 0;
}

int btran(Env& env, model::Problem& lp, double* y) {
  if (!y) return 1004;
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return kNoFactor;
  simplex::unscaledBtran(*e, y);
  chargeSolve(env, e->numRows());
  return 0;
}

int binvcol(Env& env, model::Problem& lp, int j, double* x) {
  if (!x) return 1004;
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return kNoFactor;
  const int m = e->numRows();
  if (j < 0 || j >= m) return reportError(env, 1203, static_cast<long long>(j));
  std::fill(x, x + m, 0.0);
  x[j] = 1.0;
  simplex::unscaledFtran(*e, x);
  chargeSolve(env, m);
  return 0;
}

int binvrow(Env& env, model::Problem& lp, int i, double* y) {
  if (!y) return 1004;
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return kNoFactor;
  const int m = e->numRows();
  if (i < 0 || i >= m) return reportError(env, 1203, static_cast<long long>(i));
  simplex::WorkVec v;
  simplex::scaledInverseRow(*e, i, v);
  for (int r = 0; r < m; ++r) y[r] = v.val[r] * e->rowScaleFactor(r);
  chargeSolve(env, m);
  return 0;
}

int binvacol(Env& env, model::Problem& lp, int j, double* x) {
  if (!x) return 1004;
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return kNoFactor;
  const int m = e->numRows(), n = e->numCols();
  if (j < 0 || j >= n) return reportError(env, 1201, static_cast<long long>(j));
  // B^-1 A_j = D Bs^-1 (R A_j) and R A_j = As_j / c_j.
  simplex::WorkVec v;
  v.resize(m);
  e->scaledColumn(j, v);
  simplex::ftranInPlace(*e, v);
  const double cj = e->colScaleFactor(j);
  for (int p = 0; p < m; ++p) x[p] = v.val[p] * simplex::positionScale(*e, p) / cj;
  chargeSolve(env, m);
  model::ops::countWork(env, v.nnz, 1);
  return 0;
}

int binvarow(Env& env, model::Problem& lp, int i, double* z) {
  if (!z) return 1004;
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return kNoFactor;
  const int m = e->numRows(), n = e->numCols();
  if (i < 0 || i >= m) return reportError(env, 1203, static_cast<long long>(i));
  // Row i of B^-1 A: with y = R rho (rho the scaled inverse row),
  // y^T A_j = rho^T (R A_j) = rho^T As_j / c_j.
  simplex::WorkVec v;
  simplex::scaledInverseRow(*e, i, v);
  const simplex::MatrixView& a = e->scaledMatrix();
  const double* rho = v.val.data();
  for (int j = 0; j < n; ++j) {
    double s = 0.0;
    for (int64_t k = a.start[j]; k < a.start[j + 1]; ++k) s += rho[a.index[k]] * a.value[k];
    z[j] = s / e->colScaleFactor(j);
  }
  chargeSolve(env, m);
  model::ops::countWork(env, a.start[n], 1);
  return 0;
}

int getbhead(Env& env, model::Problem& lp, int* head, double* x) {
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return kNoFactor;
  const int m = e->numRows(), n = e->numCols();
  std::vector<double> slack;
  if (x) {
    slack.resize(m);
    e->getSlack(slack.data());
  }
  const std::vector<double>& xs = e->scaledValues();
  for (int p = 0; p < m; ++p) {
    const int k = e->basisHead(p);
    if (head) head[p] = k < n ? k : -(k - n) - 1;
    if (x) x[p] = k < n ? xs[k] * e->colScaleFactor(k) : slack[k - n];
  }
  model::ops::countWork(env, m, 2);
  return 0;
}

namespace {

// Largest violations and magnitudes of a basic solution.
struct Quality {
  double boundInf = 0, djInf = 0, axResid = 0, piResid = 0;
  double xMax = 0, slackMax = 0, piMax = 0, djMax = 0;
  double kappa = 1.0;
};

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

// The quality of the stored solution in the caller's units.
Quality unscaledQuality(const model::ModelData& md, const simplex::LpState& s) {
  Quality q;
  const int n = md.numCols(), m = md.numRows();
  const double sen = md.objsen < 0 ? -1.0 : 1.0;
  std::vector<double> ax(m, 0.0);
  for (int j = 0; j < n; ++j) {
    const double xj = s.x[j];
    double atpi = 0.0;
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) {
      ax[md.matind[k]] += md.matval[k] * xj;
      atpi += md.matval[k] * s.pi[md.matind[k]];
    }
    q.boundInf = std::max({q.boundInf, md.lb[j] - xj, xj - md.ub[j]});
    const bool basic = s.cstat[j] == simplex::kBasisBasic;
    q.djInf = std::max(q.djInf, djViolation(sen * s.dj[j], basic, md.lb[j] == md.ub[j],
                                            s.cstat[j] == simplex::kBasisAtLower,
                                            s.cstat[j] == simplex::kBasisAtUpper));
    if (basic) q.piResid = std::max(q.piResid, std::fabs(md.obj[j] - atpi));
    q.xMax = std::max(q.xMax, std::fabs(xj));
    q.djMax = std::max(q.djMax, std::fabs(s.dj[j]));
  }
  for (int i = 0; i < m; ++i) {
    double lo, up;
    simplex::rowActivityLimits(md, i, &lo, &up);
    const double act = md.rhs[i] - s.slack[i];
    q.boundInf = std::max({q.boundInf, lo - act, act - up});
    q.axResid = std::max(q.axResid, std::fabs(ax[i] - act));
    // The row's dual is the reduced cost of its activity.
    const bool basic = s.rstat[i] == simplex::kBasisBasic;
    const bool atUpper = up < model::kInfBound && (lo <= -model::kInfBound || std::fabs(act - up) < std::fabs(act - lo));
    q.djInf = std::max(q.djInf, djViolation(sen * s.pi[i], basic, lo == up, !atUpper, atUpper));
    if (basic) q.piResid = std::max(q.piResid, std::fabs(s.pi[i]));
    q.slackMax = std::max(q.slackMax, std::fabs(s.slack[i]));
    q.piMax = std::max(q.piMax, std::fabs(s.pi[i]));
  }
  return q;
}

// The same measures on the engine's working (scaled) form.
Quality scaledQuality(LpEngine& e) {
  Quality q;
  const int n = e.numCols(), m = e.numRows();
  const std::vector<double>& x = e.scaledValues();
  const std::vector<double>& d = e.scaledReducedCosts();
  const std::vector<double>& lo = e.scaledLower();
  const std::vector<double>& up = e.scaledUpper();
  const std::vector<double>& c = e.scaledCosts();
  const simplex::MatrixView& a = e.scaledMatrix();
  std::vector<double> ax(m, 0.0), slack(m);
  e.getSlack(slack.data());
  for (int j = 0; j < n + m; ++j) {
    q.boundInf = std::max({q.boundInf, lo[j] - x[j], x[j] - up[j]});
    q.djInf = std::max(q.djInf, djViolation(d[j], e.variableBasic(j), lo[j] == up[j],
                                            e.variableAtLower(j), e.variableAtUpper(j)));
  }
  for (int j = 0; j < n; ++j) {
    double aty = 0.0;
    for (int64_t k = a.start[j]; k < a.start[j + 1]; ++k) {
      ax[a.index[k]] += a.value[k] * x[j];
      aty -= a.value[k] * d[n + a.index[k]];  // y_i = -d(slack i)
    }
    if (e.variableBasic(j)) q.piResid = std::max(q.piResid, std::fabs(c[j] - aty));
    q.xMax = std::max(q.xMax, std::fabs(x[j]));
    q.djMax = std::max(q.djMax, std::fabs(d[j]));
  }
  for (int i = 0; i < m; ++i) {
    q.axResid = std::max(q.axResid, std::fabs(ax[i] + x[n + i]));
    if (e.variableBasic(n + i)) q.piResid = std::max(q.piResid, std::fabs(d[n + i]));
    q.slackMax = std::max(q.slackMax, std::fabs(slack[i] * e.rowScaleFactor(i)));
    q.piMax = std::max(q.piMax, std::fabs(d[n + i]));
  }
  return q;
}

}  // namespace

int showquality(Env& env, model::Problem& lp);
int showquality(Env& env, model::Problem& lp) {
  simplex::LpState* s = static_cast<simplex::LpState*>(lp.state[model::kSlotLp].get());
  if (!s || s->stat == 0) return 1217;
  if (!s->basic) return 1261;
  model::ModelData md;
  if (int st = model::exportData(lp, md)) return st;
  Quality u = unscaledQuality(md, *s);
  LpEngine* e = simplex::factoredEngine(lp);
  const int m = md.numRows();
  model::ops::countWork(env, md.numNz() + md.numCols() + m, 2);
  if (e && e->isScaled()) {
    Quality sc = scaledQuality(*e);
    const simplex::Factor& f = e->basisFactor();
    simplex::WorkVec col;
    col.resize(m);
    sc.kappa = simplex::conditionEstimate(
        m,
        [&](double* v, bool transposed) {
          simplex::WorkVec w;
          w.resize(m);
          std::copy(v, v + m, w.val.begin());
          w.repack();
          if (transposed) f.btran(w, 1.0);
          else f.ftran(w, 1.0);
          std::copy(w.val.begin(), w.val.end(), v);
          chargeSolve(env, m);
        },
        [&](int p) {
          e->scaledColumn(e->basisHead(p), col);
          double t = 0.0;
          for (int k = 0; k < col.nnz; ++k) t += std::fabs(col.val[col.idx[k]]);
          return t;
        });
    if (u.boundInf > 0 || sc.boundInf > 0)
      print(env, Chan::Results, "Max. unscaled (scaled) bound infeas.        = %g (%g)\n", u.boundInf, sc.boundInf);
    else
      print(env, Chan::Results, "There are no bound infeasibilities.\n");
    if (u.djInf > 0 || sc.djInf > 0)
      print(env, Chan::Results, "Max. unscaled (scaled) reduced-cost infeas. = %g (%g)\n", u.djInf, sc.djInf);
    else
      print(env, Chan::Results, "There are no reduced-cost infeasibilities.\n");
    print(env, Chan::Results, "Max. unscaled (scaled) Ax-b resid.          = %g (%g)\n", u.axResid, sc.axResid);
    print(env, Chan::Results, "Max. unscaled (scaled) c-B'pi resid.        = %g (%g)\n", u.piResid, sc.piResid);
    print(env, Chan::Results, "Max. unscaled (scaled) |x|                  = %g (%g)\n", u.xMax, sc.xMax);
    print(env, Chan::Results, "Max. unscaled (scaled) |slack|              = %g (%g)\n", u.slackMax, sc.slackMax);
    print(env, Chan::Results, "Max. unscaled (scaled) |pi|                 = %g (%g)\n", u.piMax, sc.piMax);
    print(env, Chan::Results, "Max. unscaled (scaled) |red-cost|           = %g (%g)\n", u.djMax, sc.djMax);
    print(env, Chan::Results, "Condition number of scaled basis            = %.1e\n", sc.kappa);
    return 0;
  }
  if (e) {
    u.kappa = simplex::conditionEstimate(
        m,
        [&](double* v, bool transposed) {
          if (transposed) simplex::unscaledBtran(*e, v);
          else simplex::unscaledFtran(*e, v);
          chargeSolve(env, m);
        },
        [&](int p) {
          const int k = e->basisHead(p), n = md.numCols();
          if (k >= n) return 1.0;
          double t = 0.0;
          for (int64_t q = md.matbeg[k]; q < md.matbeg[k + 1]; ++q) t += std::fabs(md.matval[q]);
          return t;
        });
  }
  if (u.boundInf > 0)
    print(env, Chan::Results, "Maximum bound infeasibility        = %g\n", u.boundInf);
  else
    print(env, Chan::Results, "There are no bound infeasibilities.\n");
  if (u.djInf > 0)
    print(env, Chan::Results, "Maximum reduced-cost infeasibility = %g\n", u.djInf);
  else
    print(env, Chan::Results, "There are no reduced-cost infeasibilities.\n");
  print(env, Chan::Results, "Maximum Ax-b residual              = %g\n", u.axResid);
  print(env, Chan::Results, "Maximum c-B'pi residual            = %g\n", u.piResid);
  print(env, Chan::Results, "Maximum |x|                        = %g\n", u.xMax);
  print(env, Chan::Results, "Maximum |slack|                    = %g\n", u.slackMax);
  print(env, Chan::Results, "Maximum |pi|                       = %g\n", u.piMax);
  print(env, Chan::Results, "Maximum |red-cost|                 = %g\n", u.djMax);
  if (e) print(env, Chan::Results, "Condition number of unscaled basis = %.1e\n", u.kappa);
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
