// Feasibility repair for linear programs: the rows and bounds the caller
// allows to move are relaxed by elastic variables, each unit of relaxation
// costing the reciprocal of its preference, and the total cost is
// minimized; in the second mode the original objective is then optimized
// among the points with that least relaxation.  The relaxed point becomes the
// problem's solution (statuses 14 and 15).
//
// Elastic form: a relaxable row a_i x <= b gets a_i x - e <= b (e >= 0),
// a >= row a_i x + e >= b, an equality or ranged row both; a relaxable lower
// bound l_j becomes the row x_j + r >= l_j with x_j's own lower bound
// dropped, an upper bound likewise.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "api/chk_decls.h"
#include "api/frame.h"
#include "env/limits.h"
#include "model/opsupport.h"
#include "params/params.h"
#include "simplex/lpdriver.h"
#include "tools/tools.h"

namespace vnt::tools {

using simplex::LpEngine;
using simplex::LpStatus;

namespace {

constexpr double kInf = 1e20;
constexpr int kParamFeasoptMode = 1084;
// Slack allowed on the least relaxation while the second phase optimizes
// the objective (relative to the relaxation, plus absolute).
constexpr double kPhase2Slack = 1e-9;

struct Elastic {
  model::ModelData md;      // the elastic model
  std::vector<double> cost;  // relaxation cost of each elastic column (from column n on)
};

int addRow(model::ModelData& md, double rhs, char sense) {
  md.rhs.push_back(rhs);
  md.sense.push_back(sense);
  if (!md.rngval.empty()) md.rngval.push_back(0.0);
  if (!md.rowname.empty()) md.rowname.push_back("feasopt_r" + std::to_string(md.rhs.size()));
  return md.numRows() - 1;
}

Elastic elasticModel(const model::ModelData& orig, const double* rhsPref, const double* rngPref,
                     const double* lbPref, const double* ubPref) {
  Elastic el;
  model::ModelData& md = el.md;
  md = orig;
  md.ctype.clear();
  md.qobj.clear();
  md.objsen = 1;
  md.objoffset = 0.0;
  std::fill(md.obj.begin(), md.obj.end(), 0.0);
  const int n = orig.numCols(), m = orig.numRows();
  auto pref = [](const double* p, int k) { return p && p[k] > 0 ? p[k] : 0.0; };
  struct NewCol {
    int row;
    double coef;
  };
  std::vector<NewCol> cols;
  std::vector<std::vector<int>> extraRows(n);  // rows where column j gains the entry 1
  for (int i = 0; i < m; ++i) {
    double p = pref(rhsPref, i);
    if (orig.sense[i] == 'R') p = std::max(p, pref(rngPref, i));
    if (p <= 0) continue;
    const char s = orig.sense[i];
    if (s == 'L' || s == 'E' || s == 'R') {
      cols.push_back({i, -1.0});
      el.cost.push_back(1.0 / p);
    }
    if (s == 'G' || s == 'E' || s == 'R') {
      cols.push_back({i, 1.0});
      el.cost.push_back(1.0 / p);
    }
  }
  for (int j = 0; j < n; ++j) {
    const double pl = pref(lbPref, j), pu = pref(ubPref, j);
    if (pl > 0 && orig.lb[j] > -kInf) {
      md.lb[j] = -kInf;
      const int r = addRow(md, orig.lb[j], 'G');
      extraRows[j].push_back(r);
      cols.push_back({r, 1.0});
      el.cost.push_back(1.0 / pl);
    }
    if (pu > 0 && orig.ub[j] < kInf) {
      md.ub[j] = kInf;
      const int r = addRow(md, orig.ub[j], 'L');
      extraRows[j].push_back(r);
      cols.push_back({r, -1.0});
      el.cost.push_back(1.0 / pu);
    }
  }
  // The matrix: the original columns with their new entries, then the
  // elastic columns.
  md.matind.clear();
  md.matval.clear();
  md.matbeg.assign(1, 0);
  for (int j = 0; j < n; ++j) {
    for (int64_t k = orig.matbeg[j]; k < orig.matbeg[j + 1]; ++k) {
      md.matind.push_back(orig.matind[k]);
      md.matval.push_back(orig.matval[k]);
    }
    for (int r : extraRows[j]) {
      md.matind.push_back(r);
      md.matval.push_back(1.0);
    }
    md.matbeg.push_back(static_cast<int64_t>(md.matind.size()));
  }
  for (size_t k = 0; k < cols.size(); ++k) {
    md.obj.push_back(el.cost[k]);
    md.lb.push_back(0.0);
    md.ub.push_back(kInf);
    if (!md.colname.empty()) md.colname.push_back("feasopt_" + std::to_string(k));
    md.matind.push_back(cols[k].row);
    md.matval.push_back(cols[k].coef);
    md.matbeg.push_back(static_cast<int64_t>(md.matind.size()));
  }
  return el;
}

int solveElastic(Env& env, const model::ModelData& md, std::vector<double>& x, double* obj) {
  LpEngine e;
  setEngineOptions(env, e.options());
  if (e.load(md)) return -1003;
  LpStatus st = e.solveDual();
  if (st != LpStatus::kOptimal && st != LpStatus::kInfeasible && st != LpStatus::kUnbounded &&
      st != LpStatus::kIterationLimit && st != LpStatus::kTimeLimit && st != LpStatus::kAborted &&
      st != LpStatus::kDetTimeLimit)
    st = e.solvePrimal();
  x.resize(md.numCols());
  e.getX(x.data());
  *obj = e.objective();
  return static_cast<int>(st);
}

}  // namespace

int feasoptRun(Env& env, model::Problem& lp, const double* rhs, const double* rng, const double* lb,
               const double* ub) {
  if (model::isMipType(lp.probtype)) return 1017;
  if (lp.probtype != model::kLP) return 1018;
  const int mode = params::getInt(env, kParamFeasoptMode);
  // Counting or squaring the relaxations needs the integer or quadratic
  // optimizers; this repair minimizes their weighted sum.
  if (mode != 0 && mode != 1) return 1811;
  if (int st = model::flushCache(env, lp)) return st;
  model::ModelData orig;
  if (int st = model::exportData(lp, orig)) return st;
  const int n = orig.numCols(), m = orig.numRows();
  for (const double* p : {rhs, rng})
    if (p)
      for (int i = 0; i < m; ++i)
        if (std::isnan(p[i])) return 1003;
  for (const double* p : {lb, ub})
    if (p)
      for (int j = 0; j < n; ++j)
        if (std::isnan(p[j])) return 1003;
  if (int push = pushLimitFrameFromParams(env)) return push;
  Elastic el = elasticModel(orig, rhs, rng, lb, ub);
  std::vector<double> x;
  double relax = 0.0;
  int st = solveElastic(env, el.md, x, &relax);
  int result = 0;
  int stat = 0;
  if (st < 0) result = -st;
  else if (st == static_cast<int>(LpStatus::kInfeasible)) stat = 3;  // the fixed part alone is infeasible
  else if (st != static_cast<int>(LpStatus::kOptimal)) stat = st == static_cast<int>(LpStatus::kIterationLimit) ? 10
                                                             : st == static_cast<int>(LpStatus::kTimeLimit) ? 11
                                                             : st == static_cast<int>(LpStatus::kDetTimeLimit) ? 25
                                                             : st == static_cast<int>(LpStatus::kAborted) ? 13 : 6;
  else if (mode == 0) stat = 14;
  else {
    // Second phase: the original objective over the least relaxation.
    model::ModelData p2 = el.md;
    p2.objsen = orig.objsen;
    for (int j = 0; j < n; ++j) p2.obj[j] = orig.obj[j];
    for (size_t k = 0; k < el.cost.size(); ++k) p2.obj[n + k] = 0.0;
    const int r = addRow(p2, relax + kPhase2Slack * (1.0 + std::fabs(relax)), 'L');
    // The budget row over the elastic columns (each holds one entry so far).
    model::ModelData q = p2;
    q.matind.clear();
    q.matval.clear();
    q.matbeg.assign(1, 0);
    for (int c = 0; c < p2.numCols(); ++c) {
      for (int64_t k = p2.matbeg[c]; k < p2.matbeg[c + 1]; ++k) {
        q.matind.push_back(p2.matind[k]);
        q.matval.push_back(p2.matval[k]);
      }
      if (c >= n) {
        q.matind.push_back(r);
        q.matval.push_back(el.cost[c - n]);
      }
      q.matbeg.push_back(static_cast<int64_t>(q.matind.size()));
    }
    std::vector<double> x2;
    double obj2 = 0.0;
    const int st2 = solveElastic(env, q, x2, &obj2);
    // Without an optimum of the second phase (unbounded objective, a
    // limit) the first phase's point stands.
    if (st2 == static_cast<int>(LpStatus::kOptimal)) {
      x.swap(x2);
      stat = 15;
    } else {
      stat = 14;
    }
  }
  popLimitFrame(env);
  if (result) return result;
  // The relaxed point is the problem's solution.
  simplex::LpState* s = simplex::lpState(lp);
  if (!s) return 1001;
  s->clearSolution();
  s->stat = stat;
  if (stat == 14 || stat == 15) {
    s->x.assign(x.begin(), x.begin() + n);
    std::vector<double> ax(m);
    rowActivities(orig, s->x.data(), ax.data());
    s->slack.resize(m);
    for (int i = 0; i < m; ++i) s->slack[i] = orig.rhs[i] - ax[i];
    double total = 0.0, cx = orig.objoffset;
    for (size_t k = 0; k < el.cost.size(); ++k) total += el.cost[k] * x[n + k];
    for (int j = 0; j < n; ++j) cx += orig.obj[j] * s->x[j];
    // Sum mode: the objective value is the least total relaxation; with the
    // second phase it is the original objective at the relaxed point.
    s->objval = stat == 14 ? total : cx;
    s->method = simplex::kMethodDual;
  } else {
    s->noSolution = true;
  }
  return 0;
}

}  // namespace vnt::tools

namespace vnt::chk {

int feasopt(Env& env, model::Problem& lp, const double* rhs, const double* rng, const double* lb, const double* ub) {
  return model::ops::guarded([&] { return tools::feasoptRun(env, lp, rhs, rng, lb, ub); });
}

}  // namespace vnt::chk
