// Problem lifecycle and the query operations.
#include <algorithm>
#include <cstring>
#include <new>

#include "api/chk_decls.h"
#include "model/opsupport.h"
#include "model/problem.h"

namespace vnt::chk {

using namespace vnt::model;
using namespace vnt::model::ops;

namespace {


// Range queries of per-row or per-column values.
template <class T, class Get>
int rangeQuery(Env& env, Problem& lp, const char* name, T* out, int begin, int end, bool cols,
               Get get) {
  if (int st = flushCache(env, lp)) return st;
  if (end < begin) return 0;
  const ProblemData& d = *lp.data;
  if (int st = checkRange(env, name, begin, end, cols ? d.cols() : d.rows())) return st;
  if (!out) return 1004;
  for (int k = begin; k <= end; ++k) out[k - begin] = get(d, k);
  countWork(env, end - begin + 1);
  return 0;
}

// Names of a range, one after another into namestore.
int nameQuery(Env& env, Problem& lp, const char* opname, bool cols, char** name, char* namestore,
              long long storespace, long long* surplus_p, int begin, int end) {
  if (int st = flushCache(env, lp)) return st;
  if (!surplus_p) return 1004;
  if (end < begin) {
    *surplus_p = 0;
    return 0;
  }
  const ProblemData& d = *lp.data;
  if (int st = checkRange(env, opname, begin, end, cols ? d.cols() : d.rows())) return st;
  const NameTable& t = cols ? d.colnames : d.rownames;
  if (!t.present()) return 1219;
  if (storespace < 0) return 1003;
  if (storespace > 0 && (!name || !namestore)) return 1004;
  return guarded([&] { return copyNamesOut(env, t, begin, end, name, namestore, storespace, surplus_p); });
}

int stringQuery(Env& env, const std::string& s, char* buf, long long space, long long* surplus_p) {
  if (!surplus_p) return 1004;
  if (space < 0) return 1003;
  const std::string out = nameOut(env, s);
  const long long need = static_cast<long long>(out.size()) + 1;
  *surplus_p = space - need;
  if (need > space) return buf ? 1207 : -1207;
  if (!buf) return 1004;
  std::memcpy(buf, out.c_str(), out.size() + 1);
  return 0;
}

// Matrix slices.  Column-wise copies the stored columns; row-wise gathers
// the entries of the rows begin..end by a pass over the columns.
int matrixQuery(Env& env, Problem& lp, const char* opname, bool byCols, long long* nzcnt_p,
                long long* beg, int* ind, double* val, long long space, long long* surplus_p,
                int begin, int end) {
  if (int st = flushCache(env, lp)) return st;
  if (!nzcnt_p || !surplus_p) return 1004;
  if (end < begin) {
    *nzcnt_p = 0;
    *surplus_p = space;
    return 0;
  }
  const ProblemData& d = *lp.data;
  if (int st = checkRange(env, opname, begin, end, byCols ? d.cols() : d.rows())) return st;
  if (!beg) return 1004;
  if (space < 0) return 1003;
  if (space > 0 && (!ind || !val)) return 1004;
  return guarded([&] {
    if (byCols) {
      long long need = 0;
      for (int j = begin; j <= end; ++j) need += d.matcnt[j];
      *surplus_p = space - need;
      if (need > space) return ind ? 1207 : -1207;
      long long pos = 0;
      for (int j = begin; j <= end; ++j) {
        beg[j - begin] = pos;
        const int64_t b = d.matbeg[j];
        std::copy(d.matind.begin() + b, d.matind.begin() + b + d.matcnt[j], ind + pos);
        std::copy(d.matval.begin() + b, d.matval.begin() + b + d.matcnt[j], val + pos);
        pos += d.matcnt[j];
      }
      *nzcnt_p = pos;
      countWork(env, 2 * pos + (end - begin + 1));
      return 0;
    }
    const int nr = end - begin + 1;
    std::vector<long long> cnt(nr + 1, 0);
    const int n = d.cols();
    for (int j = 0; j < n; ++j) {
      const int64_t b = d.matbeg[j], e = b + d.matcnt[j];
      for (int64_t q = b; q < e; ++q) {
        const int i = d.matind[q];
        if (i >= begin && i <= end) ++cnt[i - begin + 1];
      }
    }
    for (int r = 0; r < nr; ++r) cnt[r + 1] += cnt[r];
    const long long need = cnt[nr];
    *surplus_p = space - need;
    countWork(env, d.nz);
    if (need > space) return ind ? 1207 : -1207;
    for (int r = 0; r < nr; ++r) beg[r] = cnt[r];
    for (int j = 0; j < n; ++j) {
      const int64_t b = d.matbeg[j], e = b + d.matcnt[j];
      for (int64_t q = b; q < e; ++q) {
        const int i = d.matind[q];
        if (i < begin || i > end) continue;
        const long long p = cnt[i - begin]++;
        ind[p] = j;
        val[p] = d.matval[q];
      }
    }
    *nzcnt_p = need;
    countWork(env, 2 * need + nr);
    return 0;
  });
}

int indexQuery(Env& env, Problem& lp, const char* lname, int* index_p, bool cols) {
  if (!lname || !index_p) return 1004;
  if (int st = flushCache(env, lp)) return st;
  const NameTable& t = cols ? lp.data->colnames : lp.data->rownames;
  if (!t.present()) return 1210;
  std::string s;
  if (int st = nameIn(env, lname, s)) return st;
  int k = -1;
  if (int st = guarded([&] {
        k = t.find(s);
        return 0;
      }))
    return st;
  if (k < 0) return 1210;
  *index_p = k;
  countWork(env, 1);
  return 0;
}

int countTypes(Problem& lp, const char* types, int* result_out) {
  const std::vector<char>& t = lp.data->ctype;
  int c = 0;
  for (char x : t)
    if (std::strchr(types, x)) ++c;
  for (char x : lp.data->cache.ctype)
    if (std::strchr(types, x)) ++c;
  *result_out = c;
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Lifecycle

int createprob(Env& env, const char* name, VNTLPptr* result_out) {
  if (!name) return 1004;
  std::string s;
  if (int st = nameIn(env, name, s)) return st;
  int st = 0;
  Problem* p = newProblem(env, s, &st);
  if (!p) return st;
  *result_out = reinterpret_cast<VNTLPptr>(p);
  return 0;
}

int freeprob(Env& env, VNTLPptr* lp_p) {
  if (!lp_p) return 1004;
  // The caller's own handle: a redirected problem is freed together with
  // its fixed problem.
  auto* p = reinterpret_cast<Problem*>(*lp_p);
  if (!p || p->self != p || !p->data || p->fixedParent) return 1009;
  Env* r = &env;
  while (r->parent) r = r->parent;
  if (p->root != r) return 1806;
  destroyProblem(*p->env, p);
  *lp_p = nullptr;
  return 0;
}

int cloneprob(Env& env, Problem& lp, VNTLPptr* result_out) {
  if (int st = flushCache(env, lp)) return st;
  int st = 0;
  Problem* p = cloneProblem(*lp.env, lp, &st);
  if (!p) return st;
  *result_out = reinterpret_cast<VNTLPptr>(p);
  return 0;
}

// ---------------------------------------------------------------------------
// Counts and scalars

int getnumrows(Env&, Problem& lp, int* result_out) {
  *result_out = lp.data->numRows();
  return 0;
}

int getnumcols(Env&, Problem& lp, int* result_out) {
  *result_out = lp.data->numCols();
  return 0;
}

int getnumnz(Env&, Problem& lp, long long* result_out) {
  *result_out = lp.data->numNz();
  return 0;
}

int getobjsen(Env&, Problem& lp, int* result_out) {
  *result_out = lp.data->objsen;
  return 0;
}

int getprobtype(Env&, Problem& lp, int* result_out) {
  *result_out = lp.probtype;
  return 0;
}

int getobjoffset(Env&, Problem& lp, double* objoffset_p) {
  if (!objoffset_p) return 1004;
  *objoffset_p = lp.data->objoffset;
  return 0;
}

int getcoef(Env& env, Problem& lp, int i, int j, double* coef_p) {
  if (int st = flushCache(env, lp)) return st;
  const ProblemData& d = *lp.data;
  if (i < 0 || i >= d.rows()) return reportError(env, 1203, static_cast<long long>(i));
  if (j < 0 || j >= d.cols()) return reportError(env, 1201, static_cast<long long>(j));
  if (!coef_p) return 1004;
  *coef_p = d.coef(i, j);
  countWork(env, 1 + d.matcnt[j]);
  return 0;
}

// ---------------------------------------------------------------------------
// Ranges of values

int getobj(Env& env, Problem& lp, double* obj, int begin, int end) {
  return rangeQuery(env, lp, "VNTgetobj", obj, begin, end, true,
                    [](const ProblemData& d, int k) { return d.obj[k]; });
}
int getlb(Env& env, Problem& lp, double* lb, int begin, int end) {
  return rangeQuery(env, lp, "VNTgetlb", lb, begin, end, true,
                    [](const ProblemData& d, int k) { return d.lb[k]; });
}
int getub(Env& env, Problem& lp, double* ub, int begin, int end) {
  return rangeQuery(env, lp, "VNTgetub", ub, begin, end, true,
                    [](const ProblemData& d, int k) { return d.ub[k]; });
}
int getrhs(Env& env, Problem& lp, double* rhs, int begin, int end) {
  return rangeQuery(env, lp, "VNTgetrhs", rhs, begin, end, false,
                    [](const ProblemData& d, int k) { return d.rhs[k]; });
}
int getrngval(Env& env, Problem& lp, double* rngval, int begin, int end) {
  return rangeQuery(env, lp, "VNTgetrngval", rngval, begin, end, false,
                    [](const ProblemData& d, int k) { return d.rngval.empty() ? 0.0 : d.rngval[k]; });
}
int getsense(Env& env, Problem& lp, char* sense, int begin, int end) {
  return rangeQuery(env, lp, "VNTgetsense", sense, begin, end, false,
                    [](const ProblemData& d, int k) { return d.sense[k]; });
}

int getctype(Env& env, Problem& lp, char* xctype, int begin, int end) {
  if (!isMipType(lp.probtype)) return 3003;
  return rangeQuery(env, lp, "VNTgetctype", xctype, begin, end, true,
                    [](const ProblemData& d, int k) { return d.ctype.empty() ? 'C' : d.ctype[k]; });
}

int getnumint(Env&, Problem& lp, int* result_out) { return countTypes(lp, "I", result_out); }
int getnumbin(Env&, Problem& lp, int* result_out) { return countTypes(lp, "B", result_out); }
int getnumsemicont(Env&, Problem& lp, int* result_out) { return countTypes(lp, "S", result_out); }
int getnumsemiint(Env&, Problem& lp, int* result_out) { return countTypes(lp, "N", result_out); }

// ---------------------------------------------------------------------------
// Matrix

int getcols(Env& env, Problem& lp, long long* nzcnt_p, long long* cmatbeg, int* cmatind,
            double* cmatval, long long cmatspace, long long* surplus_p, int begin, int end) {
  return matrixQuery(env, lp, "VNTgetcols", true, nzcnt_p, cmatbeg, cmatind, cmatval, cmatspace,
                     surplus_p, begin, end);
}

int getrows(Env& env, Problem& lp, long long* nzcnt_p, long long* rmatbeg, int* rmatind,
            double* rmatval, long long rmatspace, long long* surplus_p, int begin, int end) {
  return matrixQuery(env, lp, "VNTgetrows", false, nzcnt_p, rmatbeg, rmatind, rmatval, rmatspace,
                     surplus_p, begin, end);
}

// ---------------------------------------------------------------------------
// Names

int getcolname(Env& env, Problem& lp, char** name, char* namestore, long long storespace,
               long long* surplus_p, int begin, int end) {
  return nameQuery(env, lp, "VNTgetcolname", true, name, namestore, storespace, surplus_p, begin,
                   end);
}

int getrowname(Env& env, Problem& lp, char** name, char* namestore, long long storespace,
               long long* surplus_p, int begin, int end) {
  return nameQuery(env, lp, "VNTgetrowname", false, name, namestore, storespace, surplus_p, begin,
                   end);
}

int getobjname(Env& env, Problem& lp, char* buf_str, long long bufspace, long long* surplus_p) {
  return guarded([&] { return stringQuery(env, lp.data->objname, buf_str, bufspace, surplus_p); });
}

int getprobname(Env& env, Problem& lp, char* buf_str, long long bufspace, long long* surplus_p) {
  return guarded([&] { return stringQuery(env, lp.data->probname, buf_str, bufspace, surplus_p); });
}

int getcolindex(Env& env, Problem& lp, const char* lname, int* index_p) {
  return indexQuery(env, lp, lname, index_p, true);
}

int getrowindex(Env& env, Problem& lp, const char* lname, int* index_p) {
  return indexQuery(env, lp, lname, index_p, false);
}

}  // namespace vnt::chk
