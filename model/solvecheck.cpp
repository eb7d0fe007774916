// The data check at the start of every optimization.
#include <cmath>
#include <cstddef>

#include "model/opsupport.h"
#include "model/problem.h"

namespace vnt::model {

namespace {

// Index of the first entry that is NaN or of magnitude at least `limit`,
// or -1 (one comparison per entry: a NaN fails every comparison).
long long firstBad(const double* v, size_t n, double limit) {
  for (size_t k = 0; k < n; ++k)
    if (!(std::fabs(v[k]) < limit)) return static_cast<long long>(k);
  return -1;
}

// 1225 for a NaN, else 1233 printed with the sign.
int refuse(Env& env, double v) { return std::isnan(v) ? 1225 : ops::reportInfinite(env, v); }

}  // namespace

int checkSolveData(Env& env, Problem& p) {
  if (int st = flushCache(env, p)) return st;
  const ProblemData& d = *p.data;
  const size_t n = d.obj.size(), m = d.rhs.size();
  const double inf = HUGE_VAL;
  // NaN first, wherever it is, so that a NaN is never reported as an
  // infinite entry elsewhere.
  for (const std::vector<double>* v : {&d.lb, &d.ub})
    for (double x : *v)
      if (std::isnan(x)) return 1225;
  long long badObj = firstBad(d.obj.data(), n, kInfBound);
  long long badRhs = firstBad(d.rhs.data(), m, inf);
  if (badObj >= 0 && std::isnan(d.obj[badObj])) return 1225;
  if (badRhs >= 0 && std::isnan(d.rhs[badRhs])) return 1225;
  if (std::isnan(d.objoffset)) return 1225;
  double badCoef = 0.0;
  bool anyBadCoef = false;
  for (size_t j = 0; j < n; ++j) {
    const double* v = d.matval.data() + d.matbeg[j];
    const long long k = firstBad(v, static_cast<size_t>(d.matcnt[j]), kInfBound);
    if (k < 0) continue;
    // Keep looking for a NaN after an entry that is only too large.
    for (long long q = k; q < d.matcnt[j]; ++q)
      if (std::isnan(v[q])) return 1225;
    if (!anyBadCoef) badCoef = v[k];
    anyBadCoef = true;
  }
  for (const QuadTerm& t : d.qobj)
    if (std::isnan(t.coef)) return 1225;
  for (double r : d.rngval)
    if (std::isnan(r)) return 1225;

  if (std::isinf(d.objoffset)) return ops::reportInfinite(env, d.objoffset);
  if (badObj >= 0) return refuse(env, d.obj[badObj]);
  if (anyBadCoef) return refuse(env, badCoef);
  for (const QuadTerm& t : d.qobj)
    if (std::fabs(t.coef) >= kInfBound) return ops::reportInfinite(env, t.coef);
  if (badRhs >= 0) return refuse(env, d.rhs[badRhs]);
  for (size_t i = 0; i < m; ++i) {
    const char s = d.sense[i];
    if (s != 'L' && s != 'E' && s != 'G' && s != 'R') return reportError(env, 1215, static_cast<long long>(i));
    if (s == 'R' && i < d.rngval.size() && std::isinf(d.rngval[i])) return ops::reportInfinite(env, d.rngval[i]);
  }
  return 0;
}

}  // namespace vnt::model
