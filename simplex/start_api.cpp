// Starting information for the next solve (a basis, or primal and dual values
// from which one is derived), the pricing weights kept with a basis, and the
// certificates of unboundedness (a primal ray) and of infeasibility (a Farkas
// row combination).
//
// Dual steepest-edge weights belong to basis positions.  Through the
// interface they travel either with an explicit head (copydnorms / getdnorms:
// one weight per basis position, head[p] = j for column j, -i-1 for the slack
// of row i) or implicitly with a basis (copybasednorms / getbasednorms: one
// weight per basic variable, basic columns by increasing index first, then the
// slacks of basic rows by increasing row index).  The weights are those of
// the engine's working (scaled) form; they are meant to be handed back as
// they were received.  Primal weights are the devex reference weights, one per
// column and one per row.
#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "api/chk_decls.h"
#include "env/env.h"
#include "model/opsupport.h"
#include "params/params.h"
#include "simplex/lpdriver.h"

namespace vnt {
namespace {

// A primal value this close to a bound (relative to 1 + |bound|) sits on it
// when a start basis is derived from values; reduced costs and duals below
// this magnitude count as zero.
constexpr double kStartBoundTol = 1e-9;
constexpr double kStartDualTol = 1e-9;
// An entry of y^T A below this fraction of the sum of the magnitudes of its
// terms, and an entry of y below this fraction of the largest, is rounding
// noise of an exact zero and does not enter the proof.
constexpr double kFarkasNoise = 1e-11;

}  // namespace
}  // namespace vnt

namespace vnt::simplex {

namespace {

int loadFromModel(Env& env, model::Problem& p, LpState& s) {
  if (int st = model::flushCache(env, p)) return st;
  return loadModelIntoEngine(env, p, s);
}

}  // namespace

int installStartBasis(Env& env, model::Problem& p, LpState& s, const int* cstat, const int* rstat) {
  if (int st = loadFromModel(env, p, s)) return st;
  const model::ProblemData& d = *p.data;
  const int n = d.cols(), m = d.rows();
  s.clearSolution();
  s.startCstat.assign(cstat, cstat + n);
  s.startRstat.assign(rstat, rstat + m);
  // The engine reads a nonbasic '<=' row at its upper activity limit.
  std::vector<int> r(rstat, rstat + m);
  for (int i = 0; i < m; ++i)
    if (d.sense[i] == 'L' && r[i] == 0) r[i] = 2;
  if (s.engine->setBasis(cstat, r.data()) != 0) {
    s.reload = true;  // the next solve installs (and repairs) it
    return 1262;
  }
  return 0;
}

int syncedEngine(Env& env, model::Problem& p, LpState& s) {
  if (s.engine && !s.reload) return 0;
  const int n = p.data->numCols(), m = p.data->numRows();
  if (static_cast<int>(s.startCstat.size()) == n && static_cast<int>(s.startRstat.size()) == m) {
    std::vector<int> c(s.startCstat), r(s.startRstat);
    int st = installStartBasis(env, p, s, c.data(), r.data());
    return st == 1262 ? 0 : st;
  }
  return loadFromModel(env, p, s);
}

}  // namespace vnt::simplex

// ---------------------------------------------------------------------------
// Checked entries.

namespace vnt::chk {

using simplex::LpEngine;
using simplex::LpState;

namespace {

LpState* stateOf(model::Problem& p) { return static_cast<LpState*>(p.state[model::kSlotLp].get()); }

// The engine when it is loaded and in step with the model, else null.
LpEngine* currentEngine(model::Problem& p) {
  LpState* s = stateOf(p);
  if (!s || !s->engine || s->reload) return nullptr;
  if (s->engine->numRows() != p.data->numRows() || s->engine->numCols() != p.data->numCols())
    return nullptr;
  return s->engine.get();
}

int checkStatuses(Env& env, const int* cstat, int n, const int* rstat, int m) {
  for (int j = 0; j < n; ++j)
    if (cstat[j] < 0 || cstat[j] > 3) return reportError(env, 1253, static_cast<long long>(cstat[j]));
  for (int i = 0; i < m; ++i)
    if (rstat[i] < 0 || rstat[i] > 2) return reportError(env, 1253, static_cast<long long>(rstat[i]));
  return 0;
}

bool positiveFinite(double v) { return v > 0.0 && std::isfinite(v); }

// Norms: a NaN is the data error every operation gives for it (1225); any
// other value that is not positive and finite is a bad argument (1003).
int checkNorms(Env& env, const double* v, int len) {
  if (!v) return 0;
  if (int st = model::ops::checkNumbers(env, v, len, model::ops::Num::AnySize, false)) return st;
  for (int k = 0; k < len; ++k)
    if (!positiveFinite(v[k])) return 1003;
  return 0;
}

// Internal variable of a head entry (j >= 0: column; -i-1: slack of row i),
// or -1 when out of range.
int headVariable(int h, int n, int m) {
  if (h >= 0) return h < n ? h : -1;
  const int i = -h - 1;
  return i < m ? n + i : -1;
}

// A basis for primal and/or dual values.  Variables strictly inside their
// bounds and the slacks of inactive rows must be basic (columns farthest from
// a bound first); then come the slacks of rows whose dual is zero and the
// columns at a bound whose reduced cost is zero (degenerate basic variables
// at an optimal vertex); the rest sit at the bound their value or reduced
// cost points to.  Positions still open are filled with slacks; a dependent
// choice is repaired by the factorization at the next solve.
void basisFromValues(const model::ProblemData& d, const double* cprim, const double* rprim,
                     const double* cdual, const double* rdual, std::vector<int>& cstat,
                     std::vector<int>& rstat) {
  const int n = d.cols(), m = d.rows();
  const double sen = d.objsen < 0 ? -1.0 : 1.0;
  cstat.assign(n, 0);
  rstat.assign(m, 0);
  auto near = [](double v, double b) { return std::fabs(v - b) <= kStartBoundTol * (1.0 + std::fabs(b)); };
  // Candidates as (group, key, variable): group 0 must be basic, group 1 may
  // be; variables >= n are slacks.
  struct Cand {
    int group;
    double key;
    int var;
    bool operator<(const Cand& o) const {
      return group != o.group ? group < o.group : (key != o.key ? key < o.key : var < o.var);
    }
  };
  std::vector<Cand> cand;
  for (int i = 0; i < m; ++i) {
    double lo, up;
    simplex::rowActivityLimits(d, i, &lo, &up);
    const bool fl = lo > -model::kInfBound, fu = up < model::kInfBound;
    int side = -1;  // 0 at the lower activity limit, 2 at the upper
    bool inside = false;
    if (rprim) {
      const double act = d.rhs[i] - rprim[i];
      if (fl && near(act, lo)) side = 0;
      else if (fu && near(act, up)) side = 2;
      else inside = true;
    }
    const bool zeroDual = rdual && std::fabs(rdual[i]) <= kStartDualTol;
    if (!inside && side < 0 && rdual && !zeroDual) {
      const double pi = sen * rdual[i];
      side = pi > 0 && fl ? 0 : (pi < 0 && fu ? 2 : -1);
    }
    if (inside) cand.push_back({0, -1e300, n + i});
    else if (zeroDual || (!rdual && side < 0)) cand.push_back({1, 0.0, n + i});
    rstat[i] = d.sense[i] == 'R' && side == 2 ? 2 : 0;
  }
  for (int j = 0; j < n; ++j) {
    const double lb = d.lb[j], ub = d.ub[j];
    const bool fl = lb > -model::kInfBound, fu = ub < model::kInfBound;
    int st = fl ? 0 : (fu ? 2 : 3);
    bool inside = false;
    double dist = 0.0;
    if (cprim) {
      const double x = cprim[j];
      if (fl && near(x, lb)) st = 0;
      else if (fu && near(x, ub)) st = 2;
      else if (!fl && !fu && x == 0.0) st = 3;
      else {
        inside = true;
        dist = std::min(fl ? x - lb : 1e300, fu ? ub - x : 1e300);
      }
    }
    const double dj = cdual ? sen * cdual[j] : 0.0;
    const bool zeroDj = cdual && std::fabs(dj) <= kStartDualTol;
    if (!inside && !cprim && cdual && !zeroDj) st = dj > 0 && fl ? 0 : (dj < 0 && fu ? 2 : st);
    cstat[j] = st;
    if (inside) cand.push_back({0, -dist, j});
    else if (zeroDj && lb != ub) cand.push_back({2, 0.0, j});
  }
  std::sort(cand.begin(), cand.end());
  int basic = 0;
  for (const Cand& c : cand) {
    if (basic >= m) break;
    if (c.var < n) cstat[c.var] = 1;
    else rstat[c.var - n] = 1;
    ++basic;
  }
  for (int i = 0; i < m && basic < m; ++i)
    if (rstat[i] != 1) {
      rstat[i] = 1;
      ++basic;
    }
}

}  // namespace

int copystart(Env& env, model::Problem& lp, const int* cstat, const int* rstat, const double* cprim,
              const double* rprim, const double* cdual, const double* rdual) {
  if (int st = model::flushCache(env, lp)) return st;
  const int n = lp.data->numCols(), m = lp.data->numRows();
  for (const auto& [v, len] : {std::pair{cprim, n}, {rprim, m}, {cdual, n}, {rdual, m}})
    if (int st = model::ops::checkNumbers(env, v, len, model::ops::Num::AnySize, false)) return st;
  LpState* s = simplex::lpState(lp);
  if (!s) return 1001;
  if (cstat && rstat) {
    if (int st = checkStatuses(env, cstat, n, rstat, m)) return st;
    int st = simplex::installStartBasis(env, lp, *s, cstat, rstat);
    return st == 1262 ? 0 : st;
  }
  if (cstat || rstat) return 1004;  // a basis needs both halves
  if (!cprim && !rprim && !cdual && !rdual) return 1004;
  std::vector<int> cs, rs;
  basisFromValues(*lp.data, cprim, rprim, cdual, rdual, cs, rs);
  int st = simplex::installStartBasis(env, lp, *s, cs.data(), rs.data());
  return st == 1262 ? 0 : st;
}

int copybasednorms(Env& env, model::Problem& lp, const int* cstat, const int* rstat,
                   const double* dnorm) {
  if (int st = model::flushCache(env, lp)) return st;
  const int n = lp.data->numCols(), m = lp.data->numRows();
  if ((n > 0 && !cstat) || (m > 0 && !rstat)) return 1004;
  if (int st = checkStatuses(env, cstat, n, rstat, m)) return st;
  if (int st = checkNorms(env, dnorm, m)) return st;
  LpState* s = simplex::lpState(lp);
  if (!s) return 1001;
  int st = simplex::installStartBasis(env, lp, *s, cstat, rstat);
  if (st == 1262) return 0;  // basis kept for repair; weights do not fit it
  if (st) return st;
  if (dnorm) {
    // setBasis numbered the basic variables by increasing internal index,
    // which is the order of the weights.
    std::vector<double>& w = s->engine->dualWeights();
    std::copy(dnorm, dnorm + m, w.begin());
    s->engine->setDualWeightsValid(true);
  }
  return 0;
}

int getbasednorms(Env& env, model::Problem& lp, int* cstat, int* rstat, double* dnorm) {
  LpEngine* e = currentEngine(lp);
  if (!e) return 1262;
  if (!e->dualWeightsValid()) return 1264;
  const model::ProblemData& d = *lp.data;
  const int n = e->numCols(), m = e->numRows();
  std::vector<int> cs(n), rs(m);
  e->getBasis(cs.data(), rs.data());
  for (int i = 0; i < m; ++i)
    if (d.sense[i] == 'L' && rs[i] == 2) rs[i] = 0;
  if (cstat) std::copy(cs.begin(), cs.end(), cstat);
  if (rstat) std::copy(rs.begin(), rs.end(), rstat);
  if (dnorm) {
    const std::vector<double>& w = e->dualWeights();
    int t = 0;
    for (int k = 0; k < n + m; ++k) {
      const int p = e->basisPosition(k);
      if (p >= 0 && t < m) dnorm[t++] = w[p];
    }
  }
  model::ops::countWork(env, n + m, 2);
  return 0;
}

int copydnorms(Env& env, model::Problem& lp, const double* norm, const int* head, int len) {
  if (len < 0) return 1003;
  if (len > 0 && (!norm || !head)) return 1004;
  LpState* s = simplex::lpState(lp);
  if (!s) return 1001;
  if (int st = simplex::syncedEngine(env, lp, *s)) return st;
  LpEngine& e = *s->engine;
  const int n = e.numCols(), m = e.numRows();
  if (len < m) return 1207;
  if (len > m) return 1208;
  if (int st = checkNorms(env, norm, len)) return st;
  std::vector<double> w(e.dualWeights());
  for (int t = 0; t < len; ++t) {
    const int k = headVariable(head[t], n, m);
    if (k < 0) return 1003;
    const int p = e.basisPosition(k);
    if (p < 0) return 1251;
    w[p] = norm[t];
  }
  e.dualWeights() = w;
  e.setDualWeightsValid(true);
  model::ops::countWork(env, len, 2);
  return 0;
}

int getdnorms(Env& env, model::Problem& lp, double* norm, int* head, int* len_p) {
  LpEngine* e = currentEngine(lp);
  if (!e) return 1262;
  if (!e->dualWeightsValid()) return 1264;
  const int n = e->numCols(), m = e->numRows();
  const std::vector<double>& w = e->dualWeights();
  for (int p = 0; p < m; ++p) {
    const int k = e->basisHead(p);
    if (norm) norm[p] = w[p];
    if (head) head[p] = k < n ? k : -(k - n) - 1;
  }
  if (len_p) *len_p = m;
  model::ops::countWork(env, m, 2);
  return 0;
}

int copypnorms(Env& env, model::Problem& lp, const double* cnorm, const double* rnorm, int len) {
  if (len < 0) return 1003;
  if ((len > 0 && !cnorm) || !rnorm) return 1004;
  LpState* s = simplex::lpState(lp);
  if (!s) return 1001;
  if (int st = simplex::syncedEngine(env, lp, *s)) return st;
  LpEngine& e = *s->engine;
  const int n = e.numCols(), m = e.numRows();
  if (len < n) return 1207;
  if (len > n) return 1208;
  if (int st = checkNorms(env, cnorm, n)) return st;
  if (int st = checkNorms(env, rnorm, m)) return st;
  std::vector<double>& w = e.primalWeights();
  std::copy(cnorm, cnorm + n, w.begin());
  std::copy(rnorm, rnorm + m, w.begin() + n);
  model::ops::countWork(env, n + m, 2);
  return 0;
}

int getpnorms(Env& env, model::Problem& lp, double* cnorm, double* rnorm, int* len_p) {
  LpEngine* e = currentEngine(lp);
  if (!e) return 1264;
  const int n = e->numCols(), m = e->numRows();
  const std::vector<double>& w = e->primalWeights();
  if (cnorm) std::copy(w.begin(), w.begin() + n, cnorm);
  if (rnorm) std::copy(w.begin() + n, w.begin() + n + m, rnorm);
  if (len_p) *len_p = n;
  model::ops::countWork(env, n + m, 2);
  return 0;
}

int killdnorms(Env&, model::Problem& lp) {
  LpState* s = stateOf(lp);
  if (s && s->engine) s->engine->setDualWeightsValid(false);
  return 0;
}

int killpnorms(Env&, model::Problem& lp) {
  LpState* s = stateOf(lp);
  if (s && s->engine) {
    std::vector<double>& w = s->engine->primalWeights();
    std::fill(w.begin(), w.end(), 1.0);
  }
  return 0;
}

int getray(Env& env, model::Problem& lp, double* z) {
  if (!z) return 1004;
  LpState* s = stateOf(lp);
  if (!s || s->stat == 0) return 1217;
  std::vector<double> ray;
  if (s->stat != 2 || !s->engine || !s->engine->getPrimalRay(ray)) return 1254;
  std::copy(ray.begin(), ray.end(), z);
  model::ops::countWork(env, static_cast<long long>(ray.size()), 2);
  return 0;
}

int dualfarkas(Env& env, model::Problem& lp, double* y, double* proof_p) {
  if (!y) return 1004;
  LpState* s = stateOf(lp);
  if (!s || s->stat == 0) return 1217;
  std::vector<double> f;
  if (s->stat != 3 || !s->engine || !s->engine->getFarkas(f)) return 1265;
  const model::ProblemData& d = *lp.data;
  const int n = d.cols(), m = d.rows();
  // Intervals of y^T A x over the column bounds and of y^T r over the row
  // limits; the certificate separates them.  Orient y so that the first lies
  // below the second; the proof is the gap between them.
  std::vector<double> zc(n, 0.0), mag(n, 0.0);
  for (int j = 0; j < n; ++j) {
    double t = 0.0, a = 0.0;
    for (int64_t k = d.matbeg[j]; k < d.matbeg[j] + d.matcnt[j]; ++k) {
      t += f[d.matind[k]] * d.matval[k];
      a += std::fabs(f[d.matind[k]] * d.matval[k]);
    }
    zc[j] = t;
    mag[j] = a;
  }
  struct Interval {
    long double lo = 0, up = 0;
    bool loInf = false, upInf = false;
    void add(double c, double l, double u) {
      if (c > 0) {
        if (l <= -model::kInfBound) loInf = true; else lo += static_cast<long double>(c) * l;
        if (u >= model::kInfBound) upInf = true; else up += static_cast<long double>(c) * u;
      } else if (c < 0) {
        if (u >= model::kInfBound) loInf = true; else lo += static_cast<long double>(c) * u;
        if (l <= -model::kInfBound) upInf = true; else up += static_cast<long double>(c) * l;
      }
    }
  } ax, rows;
  double ymax = 0.0;
  for (double t : f) ymax = std::max(ymax, std::fabs(t));
  for (int j = 0; j < n; ++j)
    if (std::fabs(zc[j]) > kFarkasNoise * mag[j]) ax.add(zc[j], d.lb[j], d.ub[j]);
  for (int i = 0; i < m; ++i) {
    if (std::fabs(f[i]) <= kFarkasNoise * ymax) continue;
    double lo, up;
    simplex::rowActivityLimits(d, i, &lo, &up);
    rows.add(f[i], lo, up);
  }
  constexpr double kNoProof = -1e75;
  const double gapUp = ax.upInf || rows.loInf ? kNoProof : static_cast<double>(rows.lo - ax.up);
  const double gapDown = ax.loInf || rows.upInf ? kNoProof : static_cast<double>(ax.lo - rows.up);
  const bool flip = gapDown > gapUp;
  for (int i = 0; i < m; ++i) y[i] = flip ? -f[i] : f[i];
  if (proof_p) *proof_p = flip ? gapDown : gapUp;
  model::ops::countWork(env, d.nz + m, 2);
  return 0;
}

}  // namespace vnt::chk
