// User cuts and lazy constraints supplied with the problem: add, free and
// count.  Both are linear rows kept apart from the constraint matrix; the
// MIP search uses user cuts as cuts (separated from their pool when the LP
// point violates them) and holds every solution to the lazy constraints.
// Ranged rows have no meaning here (1215).
#include <string>
#include <vector>

#include "api/chk_decls.h"
#include "model/opsupport.h"
#include "model/problem.h"

namespace vnt::chk {

using namespace vnt::model;
using namespace vnt::model::ops;

namespace {

int addList(Env& env, Problem& lp, ChangeKind kind, std::vector<LinearConstraint>& list, int rcnt, long long nzcnt,
            const double* rhs, const char* sense, const long long* rmatbeg, const int* rmatind,
            const double* rmatval, char** names) {
  if (int st = refuseFixed(lp)) return st;
  if (rcnt < 0 || nzcnt < 0) return 1003;
  if (rcnt == 0) return 0;
  if (!rhs || !sense || !rmatbeg || (nzcnt > 0 && (!rmatind || !rmatval))) return 1004;
  if (int st = flushCache(env, lp)) return st;
  std::vector<std::string> nm;
  if (int st = namesIn(env, names, rcnt, nm)) return st;
  for (int k = 0; k < rcnt; ++k)
    if (sense[k] != 'L' && sense[k] != 'E' && sense[k] != 'G') return reportError(env, 1215, k);
  const bool dc = dataCheck(env);
  if (int st = checkNumbers(env, rhs, rcnt, Num::Finite, dc)) return st;
  if (int st = checkSparse(env, rcnt, nzcnt, rmatbeg, rmatind, rmatval, lp.data->cols(), 1201, dc)) return st;
  return guarded([&] {
    notifyChange(lp, kind);
    list.reserve(list.size() + static_cast<size_t>(rcnt));
    for (int k = 0; k < rcnt; ++k) {
      LinearConstraint c;
      if (!nm.empty()) c.name = std::move(nm[k]);
      c.sense = sense[k];
      c.rhs = rhs[k];
      const long long end = k + 1 < rcnt ? rmatbeg[k + 1] : nzcnt;
      for (long long q = rmatbeg[k]; q < end; ++q) {
        if (rmatval[q] == 0.0) continue;
        c.ind.push_back(rmatind[q]);
        c.val.push_back(rmatval[q]);
      }
      list.push_back(std::move(c));
    }
    countWork(env, nzcnt + rcnt);
    return 0;
  });
}

int freeList(Problem& lp, ChangeKind kind, std::vector<LinearConstraint>& list) {
  if (int st = refuseFixed(lp)) return st;
  if (list.empty()) return 0;
  notifyChange(lp, kind);
  list.clear();
  list.shrink_to_fit();
  return 0;
}

}  // namespace

int addusercuts(Env& env, Problem& lp, int rcnt, long long nzcnt, const double* rhs, const char* sense,
                const long long* rmatbeg, const int* rmatind, const double* rmatval, char** cutname) {
  return addList(env, lp, ChangeKind::UserCuts, lp.data->usercuts, rcnt, nzcnt, rhs, sense, rmatbeg, rmatind,
                 rmatval, cutname);
}

int addlazyconstraints(Env& env, Problem& lp, int rcnt, long long nzcnt, const double* rhs, const char* sense,
                       const long long* rmatbeg, const int* rmatind, const double* rmatval, char** lazyname) {
  return addList(env, lp, ChangeKind::LazyConstraints, lp.data->lazycons, rcnt, nzcnt, rhs, sense, rmatbeg,
                 rmatind, rmatval, lazyname);
}

int freeusercuts(Env&, Problem& lp) { return freeList(lp, ChangeKind::UserCuts, lp.data->usercuts); }

int freelazyconstraints(Env&, Problem& lp) { return freeList(lp, ChangeKind::LazyConstraints, lp.data->lazycons); }

int getnumusercuts(Env&, Problem& lp, int* result_out) {
  *result_out = static_cast<int>(lp.data->usercuts.size());
  return 0;
}

int getnumlazyconstraints(Env&, Problem& lp, int* result_out) {
  *result_out = static_cast<int>(lp.data->lazycons.size());
  return 0;
}

}  // namespace vnt::chk
