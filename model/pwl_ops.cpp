// Piecewise-linear constraints y = f(x): add, delete and query.
//
// A constraint is given by its two variables, the slopes left of the first
// and right of the last breakpoint, and the breakpoints (x[k], y[k]) with
// non-decreasing x.  Two consecutive breakpoints may share their abscissa
// (a jump of f); three may not, there must be at least one breakpoint, and
// the two variables must differ: other data do not define a function
// (1213).  Adding a constraint to a continuous problem makes it a MIP
// (LP -> MILP, QP -> MIQP, QCP -> MIQCP), as the constraint needs the MIP
// search; deleting constraints leaves the type alone, and changing the type
// back to a continuous one drops the constraints.  Deleting a column drops
// the constraints on it.
#include <cmath>
#include <cstring>

#include "api/chk_decls.h"
#include "model/opsupport.h"
#include "model/problem.h"

namespace vnt::chk {

using namespace vnt::model;
using namespace vnt::model::ops;

namespace {


int withIntegers(int t) {
  switch (t) {
    case kLP: return kMILP;
    case kQP: return kMIQP;
    case kQCP: return kMIQCP;
    default: return t;
  }
}

// Breakpoints that define a function: abscissae non-decreasing, at most two
// sharing one value.
bool wellDefined(const double* x, int n) {
  for (int k = 1; k < n; ++k) {
    if (x[k] < x[k - 1]) return false;
    if (k >= 2 && x[k] == x[k - 1] && x[k - 1] == x[k - 2]) return false;
  }
  return true;
}

int deleteWith(Problem& lp, const std::vector<char>& keep, int* delstat) {
  ProblemData& d = *lp.data;
  notifyChange(lp, ChangeKind::Pwl);
  int k = 0;
  const int n = static_cast<int>(d.pwl.size());
  for (int i = 0; i < n; ++i) {
    if (!keep[i]) {
      if (delstat) delstat[i] = -1;
      continue;
    }
    if (delstat) delstat[i] = k;
    if (k != i) d.pwl[k] = std::move(d.pwl[i]);
    ++k;
  }
  d.pwl.resize(k);
  return 0;
}

}  // namespace

int addpwl(Env& env, Problem& lp, int vary, int varx, double preslope, double postslope,
           int nbreaks, const double* breakx, const double* breaky, const char* pwlname) {
  if (int st = refuseFixed(lp)) return st;
  if (nbreaks < 0) return 1003;
  if (int st = flushCache(env, lp)) return st;
  if (!breakx || !breaky) return 1004;
  std::string name;
  if (pwlname)
    if (int st = nameIn(env, pwlname, name)) return st;
  const int n = lp.data->cols();
  if (vary < 0 || vary >= n) return reportError(env, 1201, static_cast<long long>(vary));
  if (varx < 0 || varx >= n) return reportError(env, 1201, static_cast<long long>(varx));
  {
    const bool dc = dataCheck(env);
    if (int st = checkNumber(env, preslope, Num::AnySize, dc)) return st;
    if (int st = checkNumber(env, postslope, Num::AnySize, dc)) return st;
    if (int st = checkNumbers(env, breakx, nbreaks, Num::Finite, dc)) return st;
    if (int st = checkNumbers(env, breaky, nbreaks, Num::Finite, dc)) return st;
  }
  if (nbreaks == 0 || vary == varx || !wellDefined(breakx, nbreaks)) return 1213;
  return guarded([&] {
    PwlConstraint f;
    f.name = std::move(name);
    f.ycol = vary;
    f.xcol = varx;
    f.preslope = preslope;
    f.postslope = postslope;
    f.x.assign(breakx, breakx + nbreaks);
    f.y.assign(breaky, breaky + nbreaks);
    ProblemData& d = *lp.data;
    d.pwl.reserve(d.pwl.size() + 1);
    notifyChange(lp, ChangeKind::Pwl);
    const int nt = withIntegers(lp.probtype);
    if (nt != lp.probtype) {
      notifyChange(lp, ChangeKind::ProbType);
      if (d.ctype.empty()) d.ctype.assign(d.cols(), 'C');
      lp.probtype = nt;
    }
    d.pwl.push_back(std::move(f));
    return 0;
  });
}

int delpwl(Env& env, Problem& lp, int begin, int end) {
  if (int st = refuseFixed(lp)) return st;
  if (end < begin) return 0;
  const int cnt = static_cast<int>(lp.data->pwl.size());
  if (int st = checkRange(env, "VNTdelpwl", begin, end, cnt)) return st;
  return guarded([&] {
    std::vector<char> keep(cnt, 1);
    for (int i = begin; i <= end; ++i) keep[i] = 0;
    return deleteWith(lp, keep, nullptr);
  });
}

int delsetpwl(Env&, Problem& lp, int* delstat) {
  if (int st = refuseFixed(lp)) return st;
  const int cnt = static_cast<int>(lp.data->pwl.size());
  if (cnt == 0) return 0;
  if (!delstat) return 1004;
  return guarded([&] {
    std::vector<char> keep(cnt);
    for (int i = 0; i < cnt; ++i) keep[i] = delstat[i] != 1;
    return deleteWith(lp, keep, delstat);
  });
}

int getnumpwl(Env&, Problem& lp, int* result_out) {
  *result_out = static_cast<int>(lp.data->pwl.size());
  return 0;
}

int getpwl(Env& env, Problem& lp, int pwlindex, int* vary_p, int* varx_p, double* preslope_p,
           double* postslope_p, int* nbreaks_p, double* breakx, double* breaky, int breakspace,
           int* surplus_p) {
  const ProblemData& d = *lp.data;
  if (pwlindex < 0 || pwlindex >= static_cast<int>(d.pwl.size())) return 1200;
  if (!surplus_p) return 1004;
  if (breakspace < 0) return 1003;
  const PwlConstraint& f = d.pwl[pwlindex];
  const int nb = static_cast<int>(f.x.size());
  *surplus_p = breakspace - nb;
  if (nb > breakspace) return (breakx || breaky) ? 1207 : -1207;
  if (breakspace > 0 && (!breakx || !breaky)) return 1004;
  if (vary_p) *vary_p = f.ycol;
  if (varx_p) *varx_p = f.xcol;
  if (preslope_p) *preslope_p = f.preslope;
  if (postslope_p) *postslope_p = f.postslope;
  if (nbreaks_p) *nbreaks_p = nb;
  if (nb > 0) {
    std::memcpy(breakx, f.x.data(), sizeof(double) * nb);
    std::memcpy(breaky, f.y.data(), sizeof(double) * nb);
  }
  countWork(env, 2LL * nb + 4);
  return 0;
}

int getpwlindex(Env& env, Problem& lp, const char* lname, int* index_p) {
  if (!lname || !index_p) return 1004;
  std::string s;
  if (int st = nameIn(env, lname, s)) return st;
  const auto& v = lp.data->pwl;
  for (size_t k = 0; k < v.size(); ++k)
    if (!v[k].name.empty() && v[k].name == s) {
      *index_p = static_cast<int>(k);
      countWork(env, static_cast<long long>(k) + 1, 1);
      return 0;
    }
  countWork(env, static_cast<long long>(v.size()), 1);
  return 1210;
}

int getpwlname(Env& env, Problem& lp, char* buf_str, long long bufspace, long long* surplus_p,
               int which) {
  const auto& v = lp.data->pwl;
  if (which < 0 || which >= static_cast<int>(v.size())) return 1200;
  if (!surplus_p) return 1004;
  if (bufspace < 0) return 1003;
  if (v[which].name.empty()) return 1219;
  return guarded([&] {
    const std::string out = nameOut(env, v[which].name);
    const long long need = static_cast<long long>(out.size()) + 1;
    *surplus_p = bufspace - need;
    if (need > bufspace) return buf_str ? 1207 : -1207;
    std::memcpy(buf_str, out.c_str(), out.size() + 1);
    return 0;
  });
}

}  // namespace vnt::chk
