// Strong branching on the LP held by a problem: for each column given, the
// LP with the column's upper bound moved down to floor(x_j) and, apart, with
// its lower bound moved up to ceil(x_j), each re-solved by the dual simplex
// from the optimal basis for at most a given number of iterations.  The
// problem's solution, basis and bounds are as before afterwards.
#include <algorithm>
#include <cmath>
#include <vector>

#include "api/chk_decls.h"
#include "env/limits.h"
#include "model/opsupport.h"
#include "simplex/lpdriver.h"

namespace vnt::chk {

namespace {

using simplex::LpStatus;

constexpr double kNoObjective = 1e75;  // objective of an empty branch (user sense times this)

// Return code of a strong-branching solve stopped by a limit (0: not stopped).
int stopCode(LpStatus st) {
  switch (st) {
    case LpStatus::kTimeLimit: return 1266;
    case LpStatus::kDetTimeLimit: return 1270;
    case LpStatus::kAborted: return 1263;
    default: return 0;
  }
}

}  // namespace

int strongbranch(Env& env, model::Problem& lp, const int* indices, int cnt, double* downobj, double* upobj,
                 long long itlim) {
  if (cnt < 0) return 1003;
  if (cnt > 0 && (!indices || !downobj || !upobj)) return 1004;
  const int n = lp.data->numCols();
  for (int k = 0; k < cnt; ++k)
    if (indices[k] < 0 || indices[k] >= n) return 1201;
  simplex::LpState* s = simplex::lpState(lp);
  // An optimal basis of the problem as it stands.
  if (!s || !s->engine || s->reload || !s->dirtyCols.empty() || !s->dirtyRows.empty() || s->objDirty ||
      s->stat != 1 || s->noSolution || s->x.size() != static_cast<size_t>(n))
    return 1217;
  simplex::LpEngine& e = *s->engine;
  const int m = e.numRows();
  const int sense = lp.data->objsen < 0 ? -1 : 1;
  std::vector<int> cstat(n), rstat(m);
  e.getBasis(cstat.data(), rstat.data());
  simplex::LpOptions& o = e.options();
  const simplex::LpOptions saved = o;
  o.iterationLimit = itlim > 0 ? itlim : 0;
  o.objectiveLimit = 1e75;
  o.display = 0;
  o.log = nullptr;
  o.poll = [&env]() { return checkLimits(env); };
  if (int st = pushLimitFrameFromParams(env)) {
    o = saved;
    return st;
  }
  int rc = 0;
  for (int k = 0; k < cnt && rc == 0; ++k) {
    const int j = indices[k];
    const double v = s->x[j], lb = lp.data->lb[j], ub = lp.data->ub[j];
    for (int d = 0; d < 2 && rc == 0; ++d) {
      double& out = d == 0 ? downobj[k] : upobj[k];
      const double lo = d == 0 ? lb : std::max(lb, std::ceil(v));
      const double up = d == 0 ? std::min(ub, std::floor(v)) : ub;
      if (lo == lb && up == ub) {  // the branch changes nothing
        out = s->objval;
        continue;
      }
      if (lo > up) {
        out = sense * kNoObjective;
        continue;
      }
      e.setColBounds(j, lo, up);
      const LpStatus st = o.iterationLimit > 0 ? e.solveDual() : LpStatus::kIterationLimit;
      model::ops::countWork(env, static_cast<long long>(e.iterations()) * (m + 1));
      if (st == LpStatus::kInfeasible) {
        out = sense * kNoObjective;  // an empty branch
      } else if (st == LpStatus::kIterationLimit && o.iterationLimit == 0) {
        out = s->objval;
      } else {
        // Optimal, or stopped early: the dual simplex keeps a basic solution
        // whose objective bounds the branch's optimum.
        out = e.objective();
        if (sense * (out - s->objval) < 0) out = s->objval;
      }
      rc = stopCode(st);
      e.setColBounds(j, lb, ub);
      e.setBasis(cstat.data(), rstat.data());
    }
  }
  popLimitFrame(env);
  o = saved;
  return rc;
}

}  // namespace vnt::chk
