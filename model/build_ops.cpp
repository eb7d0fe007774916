// Model-building operations: copy, add, delete and change.
//
// Every operation checks everything first (counts, required arrays, names,
// data checks), then reports its change event and only then changes the
// data, so a failing call leaves the problem as it was.
#include <algorithm>
#include <cmath>
#include <new>

#include "api/chk_decls.h"
#include "model/opsupport.h"
#include "model/problem.h"

namespace vnt::model {

FixedBuilder fixedBuilder();

namespace {

using namespace ops;

// Type after column types were given to a continuous problem.
int withIntegers(int t) {
  switch (t) {
    case kLP: return kMILP;
    case kQP: return kMIQP;
    case kQCP: return kMIQCP;
    default: return t;
  }
}

// Columns appended with empty matrix columns.
void appendCols(ProblemData& d, long long ccnt, const double* obj, const double* lb,
                const double* ub, const char* ctype, std::vector<std::string>& names) {
  const int n0 = d.cols();
  const size_t n1 = static_cast<size_t>(n0 + ccnt);
  growTo(d.obj, n1);
  growTo(d.lb, n1);
  growTo(d.ub, n1);
  growTo(d.matbeg, n1);
  growTo(d.matcnt, n1);
  growTo(d.matcap, n1);
  for (long long k = 0; k < ccnt; ++k) {
    d.obj.push_back(obj ? obj[k] : 0.0);
    d.lb.push_back(lb ? clampBound(lb[k]) : 0.0);
    double u = kInfBound;
    if (ub) u = clampBound(ub[k]);
    else if (ctype && ctype[k] == 'B') u = 1.0;
    d.ub.push_back(u);
    d.matbeg.push_back(static_cast<int64_t>(d.matind.size()));
    d.matcnt.push_back(0);
    d.matcap.push_back(0);
  }
  // The columns before these are continuous unless they were typed already.
  if (ctype) {
    d.ctype.resize(n0, 'C');
    d.ctype.insert(d.ctype.end(), ctype, ctype + ccnt);
  } else if (!d.ctype.empty()) {
    d.ctype.resize(n1, 'C');
  }
  if (!names.empty() || d.colnames.present()) {
    d.colnames.materialize(n0, 'x');
    for (long long k = 0; k < ccnt; ++k)
      d.colnames.append(names.empty() ? "x" + std::to_string(n0 + k + 1) : std::move(names[k]));
  }
  d.scratch.resize(n1, 0);
}

void appendRows(ProblemData& d, long long rcnt, const double* rhs, const char* sense,
                const double* rngval, std::vector<std::string>& names) {
  const int m0 = d.rows();
  const size_t m1 = static_cast<size_t>(m0 + rcnt);
  growTo(d.rhs, m1);
  growTo(d.sense, m1);
  for (long long k = 0; k < rcnt; ++k) {
    d.rhs.push_back(rhs ? rhs[k] : 0.0);
    d.sense.push_back(sense ? sense[k] : 'L');
  }
  bool anyRng = false;
  if (rngval)
    for (long long k = 0; k < rcnt; ++k) anyRng |= rngval[k] != 0.0;
  if (anyRng || !d.rngval.empty()) {
    d.rngval.resize(m0, 0.0);
    for (long long k = 0; k < rcnt; ++k) d.rngval.push_back(rngval ? rngval[k] : 0.0);
  }
  if (!names.empty() || d.rownames.present()) {
    d.rownames.materialize(m0, 'c');
    for (long long k = 0; k < rcnt; ++k)
      d.rownames.append(names.empty() ? "c" + std::to_string(m0 + k + 1) : std::move(names[k]));
  }
}

void maybeCompact(ProblemData& d) {
  const int64_t store = static_cast<int64_t>(d.matind.size());
  // Columns get room to grow again, so that the columns touched by the next
  // additions do not all move at once (which would make the next
  // compaction come soon and building in batches quadratic).
  if (d.garbage > (1 << 16) && d.garbage > store / 2) d.compactMatrix(50, 2);
}

// Rows given row-wise (beg/ind/val) appended to the matrix as rows m0...
void addRowEntries(ProblemData& d, int m0, long long rcnt, long long nzcnt, const long long* beg,
                   const int* ind, const double* val) {
  if (nzcnt == 0) return;
  std::vector<int>& cnt = d.scratch;  // kept zero between operations
  std::vector<int> touched;
  const long long start = beg[0];
  for (long long e = start; e < nzcnt; ++e) {
    if (val[e] == 0.0) continue;
    if (cnt[ind[e]]++ == 0) touched.push_back(ind[e]);
  }
  try {
    for (int j : touched) d.reserveInColumn(j, cnt[j]);
  } catch (...) {
    for (int j : touched) cnt[j] = 0;
    throw;
  }
  for (int j : touched) cnt[j] = 0;
  for (long long r = 0; r < rcnt; ++r) {
    const long long b = beg[r], e = r + 1 < rcnt ? beg[r + 1] : nzcnt;
    for (long long k = b; k < e; ++k) {
      if (val[k] == 0.0) continue;
      const int j = ind[k];
      const int64_t pos = d.matbeg[j] + d.matcnt[j];
      d.matind[pos] = m0 + static_cast<int>(r);
      d.matval[pos] = val[k];
      ++d.matcnt[j];
      ++d.nz;
    }
  }
}

// Columns n0.. get their entries (given column-wise).
void addColEntries(ProblemData& d, int n0, long long ccnt, long long nzcnt, const long long* beg,
                   const int* ind, const double* val) {
  if (nzcnt == 0) return;
  for (long long c = 0; c < ccnt; ++c) {
    const int j = n0 + static_cast<int>(c);
    const long long b = beg[c], e = c + 1 < ccnt ? beg[c + 1] : nzcnt;
    int k = 0;
    for (long long q = b; q < e; ++q) k += val[q] != 0.0;
    if (k == 0) continue;
    d.reserveInColumn(j, k);
    int64_t pos = d.matbeg[j];
    for (long long q = b; q < e; ++q) {
      if (val[q] == 0.0) continue;
      d.matind[pos] = ind[q];
      d.matval[pos] = val[q];
      ++pos;
    }
    d.matcnt[j] = k;
    d.nz += k;
  }
}

// Remove rows (keep[i] == 0) from the data; map gets the new indices.
void removeRows(ProblemData& d, const std::vector<char>& keep, const std::vector<int>& map) {
  const int m = d.rows();
  int k = 0;
  for (int i = 0; i < m; ++i) {
    if (!keep[i]) continue;
    d.rhs[k] = d.rhs[i];
    d.sense[k] = d.sense[i];
    if (!d.rngval.empty()) d.rngval[k] = d.rngval[i];
    ++k;
  }
  d.rhs.resize(k);
  d.sense.resize(k);
  if (!d.rngval.empty()) d.rngval.resize(k);
  d.rownames.compact(keep);
  const int n = d.cols();
  for (int j = 0; j < n; ++j) {
    const int64_t b = d.matbeg[j];
    int c = 0;
    for (int q = 0; q < d.matcnt[j]; ++q) {
      const int i = d.matind[b + q];
      if (!keep[i]) continue;
      d.matind[b + c] = map[i];
      d.matval[b + c] = d.matval[b + q];
      ++c;
    }
    d.nz -= d.matcnt[j] - c;
    d.matcnt[j] = c;
  }
}

template <class T>
void compactVec(std::vector<T>& v, const std::vector<char>& keep) {
  if (v.empty()) return;
  size_t k = 0;
  for (size_t i = 0; i < v.size(); ++i)
    if (keep[i]) v[k++] = std::move(v[i]);
  v.resize(k);
}

// Remap column references of a sparse list; drops deleted members.
void remapList(std::vector<int>& ind, std::vector<double>& val, const std::vector<int>& map) {
  size_t k = 0;
  for (size_t q = 0; q < ind.size(); ++q) {
    if (map[ind[q]] < 0) continue;
    ind[k] = map[ind[q]];
    val[k] = val[q];
    ++k;
  }
  ind.resize(k);
  val.resize(k);
}

void remapQuad(std::vector<QuadTerm>& t, const std::vector<int>& map) {
  size_t k = 0;
  for (auto& q : t) {
    if (map[q.col1] < 0 || map[q.col2] < 0) continue;
    QuadTerm n{map[q.col1], map[q.col2], q.coef};
    if (n.col1 > n.col2) std::swap(n.col1, n.col2);
    t[k++] = n;
  }
  t.resize(k);
}

void removeCols(ProblemData& d, const std::vector<char>& keep, const std::vector<int>& map) {
  const int n = d.cols();
  int k = 0;
  for (int j = 0; j < n; ++j) {
    if (!keep[j]) {
      d.garbage += d.matcap[j];
      d.nz -= d.matcnt[j];
      continue;
    }
    d.obj[k] = d.obj[j];
    d.lb[k] = d.lb[j];
    d.ub[k] = d.ub[j];
    if (!d.ctype.empty()) d.ctype[k] = d.ctype[j];
    d.matbeg[k] = d.matbeg[j];
    d.matcnt[k] = d.matcnt[j];
    d.matcap[k] = d.matcap[j];
    ++k;
  }
  d.obj.resize(k);
  d.lb.resize(k);
  d.ub.resize(k);
  if (!d.ctype.empty()) d.ctype.resize(k);
  d.matbeg.resize(k);
  d.matcnt.resize(k);
  d.matcap.resize(k);
  d.scratch.resize(k);
  d.colnames.compact(keep);
  remapQuad(d.qobj, map);
  for (auto& s : d.sos) remapList(s.ind, s.weight, map);
  for (auto& q : d.qconstr) {
    remapList(q.linind, q.linval, map);
    remapQuad(q.quad, map);
  }
  {
    size_t w = 0;
    for (auto& ic : d.indconstr) {
      if (map[ic.indvar] < 0) continue;
      ic.indvar = map[ic.indvar];
      remapList(ic.ind, ic.val, map);
      d.indconstr[w++] = std::move(ic);
    }
    d.indconstr.resize(w);
  }
  for (auto* v : {&d.usercuts, &d.lazycons})
    for (auto& lc : *v) remapList(lc.ind, lc.val, map);
  // A piecewise-linear constraint without its x or y variable has no
  // meaning left: it goes with the deleted column.
  {
    size_t w = 0;
    for (size_t q = 0; q < d.pwl.size(); ++q) {
      PwlConstraint& f = d.pwl[q];
      if (map[f.xcol] < 0 || map[f.ycol] < 0) continue;
      f.xcol = map[f.xcol];
      f.ycol = map[f.ycol];
      if (w != q) d.pwl[w] = std::move(f);
      ++w;
    }
    d.pwl.resize(w);
  }
  for (size_t q = 1; q < d.objectives.size(); ++q)
    remapList(d.objectives[q].ind, d.objectives[q].val, map);
  {
    // The priority order keeps the columns that stay.
    size_t w = 0;
    for (OrderEntry& e : d.order)
      if (map[e.col] >= 0) {
        e.col = map[e.col];
        d.order[w++] = e;
      }
    d.order.resize(w);
  }
  maybeCompact(d);
}

// Keep masks and maps from a range or a flag array.
void buildMap(int count, std::vector<char>& keep, std::vector<int>& map) {
  map.assign(count, -1);
  int k = 0;
  for (int i = 0; i < count; ++i)
    if (keep[i]) map[i] = k++;
}


// Value checks of new columns and new rows (before anything changes).
int checkColumnValues(Env& env, long long ccnt, const double* obj, const double* lb, const double* ub,
                      const char* xctype, bool dc) {
  if (int st = checkNumbers(env, obj, ccnt, Num::Coef, dc)) return st;
  if (int st = checkNumbers(env, lb, ccnt, Num::AnySize, dc)) return st;
  if (int st = checkNumbers(env, ub, ccnt, Num::AnySize, dc)) return st;
  if (dc)
    if (int st = checkCtypes(env, xctype, ccnt)) return st;
  return 0;
}

int checkRowValues(Env& env, long long rcnt, const double* rhs, const char* sense, const double* rngval,
                   bool dc) {
  if (dc)
    if (int st = checkSenses(env, sense, rcnt)) return st;
  if (int st = checkNumbers(env, rhs, rcnt, Num::Finite, dc)) return st;
  return checkRanges(env, rngval, rcnt, dc, [&](long long k) { return sense ? sense[k] : 'L'; });
}

int prepare(Env& env, Problem& lp) {
  if (int st = refuseFixed(lp)) return st;
  return flushCache(env, lp);
}

// Both copy operations.
int copyImpl(Env& env, Problem& lp, int numcols, int numrows, int objsense, const double* obj,
             const double* rhs, const char* sense, const long long* matbeg,
             const long long* matcnt, const int* matind, const double* matval, const double* lb,
             const double* ub, const double* rngval, char** colname, char** rowname) {
  if (int st = refuseFixed(lp)) return st;
  if (numcols < 0 || numrows < 0) return 1003;
  if (numcols > 0 && (!matbeg || !matcnt)) return 1004;
  const bool dc = dataCheck(env);
  long long total = 0;
  for (int j = 0; j < numcols; ++j) {
    if (matcnt[j] < 0) return reportError(env, 1227, static_cast<long long>(j));
    if (matbeg[j] < 0) return 1200;
    if (j > 0 && dc && matbeg[j] < matbeg[j - 1]) return reportError(env, 1226, static_cast<long long>(j));
    total = std::max(total, matbeg[j] + matcnt[j]);
  }
  if (total > 0 && (!matind || !matval)) return 1004;
  // Overlapping columns.
  {
    std::vector<int> order(numcols);
    for (int j = 0; j < numcols; ++j) order[j] = j;
    bool sorted = true;
    for (int j = 1; j < numcols && sorted; ++j) sorted = matbeg[j] >= matbeg[j - 1];
    if (!sorted)
      std::sort(order.begin(), order.end(), [&](int a, int b) { return matbeg[a] < matbeg[b]; });
    for (int k = 1; k < numcols; ++k) {
      const int a = order[k - 1], b = order[k];
      if (matbeg[a] + matcnt[a] > matbeg[b]) return reportError(env, 1228, static_cast<long long>(a));
    }
  }
  std::vector<std::string> cn, rn;
  if (int st = namesIn(env, colname, numcols, cn)) return st;
  if (int st = namesIn(env, rowname, numrows, rn)) return st;
  if (dc) {
    if (objsense != 1 && objsense != -1) return 1003;
    if (int st = checkSenses(env, sense, numrows)) return st;
  }
  if (int st = checkNumbers(env, obj, numcols, Num::Coef, dc)) return st;
  if (int st = checkNumbers(env, rhs, numrows, Num::Finite, dc)) return st;
  if (int st = checkNumbers(env, lb, numcols, Num::AnySize, dc)) return st;
  if (int st = checkNumbers(env, ub, numcols, Num::AnySize, dc)) return st;
  if (int st = checkRanges(env, rngval, numrows, dc, [&](long long i) { return sense ? sense[i] : 'L'; }))
    return st;
  std::vector<int> tmp;
  for (int j = 0; j < numcols; ++j) {
    const long long b = matbeg[j], e = b + matcnt[j];
    for (long long q = b; q < e; ++q)
      if (matind[q] < 0 || matind[q] >= numrows)
        return reportError(env, 1203, static_cast<long long>(matind[q]));
    if (int st = checkNumbers(env, matval + b, e - b, Num::Coef, dc)) return st;
    if (dc) {
      tmp.assign(matind + b, matind + e);
      std::sort(tmp.begin(), tmp.end());
      if (std::adjacent_find(tmp.begin(), tmp.end()) != tmp.end()) return 1222;
    }
  }
  return guarded([&] {
    ModelData m;
    m.probname = lp.data->probname;
    m.objname = lp.data->objname;
    m.objsen = objsense < 0 ? -1 : 1;
    m.obj.resize(numcols);
    m.lb.resize(numcols);
    m.ub.resize(numcols);
    m.matbeg.assign(numcols + 1, 0);
    for (int j = 0; j < numcols; ++j) {
      m.obj[j] = obj ? obj[j] : 0.0;
      m.lb[j] = lb ? clampBound(lb[j]) : 0.0;
      m.ub[j] = ub ? clampBound(ub[j]) : kInfBound;
      const long long b = matbeg[j], e = b + matcnt[j];
      for (long long q = b; q < e; ++q) {
        if (matval[q] == 0.0) continue;
        m.matind.push_back(matind[q]);
        m.matval.push_back(matval[q]);
      }
      m.matbeg[j + 1] = static_cast<int64_t>(m.matind.size());
    }
    m.rhs.resize(numrows);
    m.sense.resize(numrows);
    for (int i = 0; i < numrows; ++i) {
      m.rhs[i] = rhs ? rhs[i] : 0.0;
      m.sense[i] = sense ? sense[i] : 'L';
    }
    if (rngval) {
      bool any = false;
      for (int i = 0; i < numrows; ++i) any |= rngval[i] != 0.0;
      if (any) m.rngval.assign(rngval, rngval + numrows);
    }
    m.colname = std::move(cn);
    m.rowname = std::move(rn);
    return replaceData(env, lp, std::move(m));
  });
}

}  // namespace
}  // namespace vnt::model

namespace vnt::chk {

using namespace vnt::model;
using namespace vnt::model::ops;

int copylp(Env& env, Problem& lp, int numcols, int numrows, int objsense, const double* obj,
           const double* rhs, const char* sense, const long long* matbeg, const long long* matcnt,
           const int* matind, const double* matval, const double* lb, const double* ub,
           const double* rngval) {
  return copyImpl(env, lp, numcols, numrows, objsense, obj, rhs, sense, matbeg, matcnt, matind,
                  matval, lb, ub, rngval, nullptr, nullptr);
}

int copylpwnames(Env& env, Problem& lp, int numcols, int numrows, int objsense, const double* obj,
                 const double* rhs, const char* sense, const long long* matbeg,
                 const long long* matcnt, const int* matind, const double* matval,
                 const double* lb, const double* ub, const double* rngval, char** colname,
                 char** rowname) {
  return copyImpl(env, lp, numcols, numrows, objsense, obj, rhs, sense, matbeg, matcnt, matind,
                  matval, lb, ub, rngval, colname, rowname);
}

int copyobjname(Env& env, Problem& lp, const char* objname) {
  if (int st = refuseFixed(lp)) return st;
  if (!objname) return 1004;
  std::string s;
  if (int st = nameIn(env, objname, s)) return st;
  notifyChange(lp, ChangeKind::ObjName);
  lp.data->objname.swap(s);
  return 0;
}

// The event of an addition of cnt rows or columns at the end.
static void notifyAdded(Problem& lp, ChangeKind kind, int cnt) {
  ChangeEvent ev{kind};
  ev.cnt = cnt;
  notifyChange(lp, ev);
}

int addrows(Env& env, Problem& lp, int ccnt, int rcnt, long long nzcnt, const double* rhs,
            const char* sense, const long long* rmatbeg, const int* rmatind, const double* rmatval,
            char** colname, char** rowname) {
  if (int st = refuseFixed(lp)) return st;
  if (ccnt < 0 || rcnt < 0 || nzcnt < 0) return 1003;
  if (rcnt == 0) return 0;
  if (nzcnt > 0 && (!rmatbeg || !rmatind || !rmatval)) return 1004;
  if (int st = flushCache(env, lp)) return st;
  ProblemData& d = *lp.data;
  std::vector<std::string> cn, rn;
  if (int st = namesIn(env, colname, ccnt, cn)) return st;
  if (int st = namesIn(env, rowname, rcnt, rn)) return st;
  const bool dc = dataCheck(env);
  if (dc)
    if (int st = checkSenses(env, sense, rcnt)) return st;
  if (int st = checkNumbers(env, rhs, rcnt, Num::Finite, dc)) return st;
  if (int st = checkSparse(env, rcnt, nzcnt, rmatbeg, rmatind, rmatval, d.cols() + ccnt, 1201, dc))
    return st;
  return guarded([&] {
    if (ccnt > 0) notifyAdded(lp, ChangeKind::AddCols, ccnt);
    notifyAdded(lp, ChangeKind::AddRows, rcnt);
    const int m0 = d.rows();
    appendCols(d, ccnt, nullptr, nullptr, nullptr, nullptr, cn);
    appendRows(d, rcnt, rhs, sense, nullptr, rn);
    addRowEntries(d, m0, rcnt, nzcnt, rmatbeg, rmatind, rmatval);
    maybeCompact(d);
    return 0;
  });
}

int addcols(Env& env, Problem& lp, int ccnt, long long nzcnt, const double* obj,
            const long long* cmatbeg, const int* cmatind, const double* cmatval, const double* lb,
            const double* ub, char** colname) {
  if (int st = refuseFixed(lp)) return st;
  if (ccnt < 0 || nzcnt < 0) return 1003;
  if (ccnt == 0) return 0;
  if (nzcnt > 0 && (!cmatbeg || !cmatind || !cmatval)) return 1004;
  if (int st = flushCache(env, lp)) return st;
  ProblemData& d = *lp.data;
  std::vector<std::string> cn;
  if (int st = namesIn(env, colname, ccnt, cn)) return st;
  const bool dc = dataCheck(env);
  if (int st = checkColumnValues(env, ccnt, obj, lb, ub, nullptr, dc)) return st;
  if (int st = checkSparse(env, ccnt, nzcnt, cmatbeg, cmatind, cmatval, d.rows(), 1203, dc))
    return st;
  return guarded([&] {
    notifyAdded(lp, ChangeKind::AddCols, ccnt);
    const int n0 = d.cols();
    appendCols(d, ccnt, obj, lb, ub, nullptr, cn);
    addColEntries(d, n0, ccnt, nzcnt, cmatbeg, cmatind, cmatval);
    return 0;
  });
}

int newrows(Env& env, Problem& lp, int rcnt, const double* rhs, const char* sense,
            const double* rngval, char** rowname) {
  if (int st = refuseFixed(lp)) return st;
  if (rcnt < 0) return 1003;
  if (rcnt == 0) return 0;
  if (int st = flushCache(env, lp)) return st;
  std::vector<std::string> rn;
  if (int st = namesIn(env, rowname, rcnt, rn)) return st;
  if (int st = checkRowValues(env, rcnt, rhs, sense, rngval, dataCheck(env))) return st;
  return guarded([&] {
    notifyAdded(lp, ChangeKind::AddRows, rcnt);
    appendRows(*lp.data, rcnt, rhs, sense, rngval, rn);
    return 0;
  });
}

int newcols(Env& env, Problem& lp, int ccnt, const double* obj, const double* lb, const double* ub,
            const char* xctype, char** colname) {
  if (int st = refuseFixed(lp)) return st;
  if (ccnt < 0) return 1003;
  if (ccnt == 0) return 0;
  if (int st = flushCache(env, lp)) return st;
  std::vector<std::string> cn;
  if (int st = namesIn(env, colname, ccnt, cn)) return st;
  if (int st = checkColumnValues(env, ccnt, obj, lb, ub, xctype, dataCheck(env))) return st;
  return guarded([&] {
    notifyAdded(lp, ChangeKind::AddCols, ccnt);
    const int nt = xctype ? withIntegers(lp.probtype) : lp.probtype;
    if (nt != lp.probtype) notifyChange(lp, ChangeKind::ProbType);
    appendCols(*lp.data, ccnt, obj, lb, ub, xctype, cn);
    lp.probtype = nt;
    return 0;
  });
}

// Removes the rows (or columns) whose keep flag is 0; delstat receives the
// new index of each old one (-1 when removed).
static int delWith(Problem& lp, std::vector<char>& keep, int* delstat, bool cols) {
  ProblemData& d = *lp.data;
  std::vector<int> map;
  buildMap(cols ? d.cols() : d.rows(), keep, map);
  ChangeEvent ev{cols ? ChangeKind::DelCols : ChangeKind::DelRows};
  ev.map = map.data();
  for (char k : keep) ev.cnt += !k;
  notifyChange(lp, ev);
  if (cols) removeCols(d, keep, map);
  else removeRows(d, keep, map);
  if (delstat) std::copy(map.begin(), map.end(), delstat);
  return 0;
}

// VNTdelrows / VNTdelcols: the range begin..end.
static int delRange(Env& env, Problem& lp, int begin, int end, bool cols) {
  if (int st = prepare(env, lp)) return st;
  if (end < begin) return 0;
  const int count = cols ? lp.data->cols() : lp.data->rows();
  if (int st = checkRange(env, cols ? "VNTdelcols" : "VNTdelrows", begin, end, count)) return st;
  return guarded([&] {
    std::vector<char> keep(count, 1);
    std::fill(keep.begin() + begin, keep.begin() + end + 1, 0);
    return delWith(lp, keep, nullptr, cols);
  });
}

// VNTdelsetrows / VNTdelsetcols: the entries flagged 1 in delstat.
static int delSet(Env& env, Problem& lp, int* delstat, bool cols) {
  if (int st = prepare(env, lp)) return st;
  const int count = cols ? lp.data->cols() : lp.data->rows();
  if (count == 0) return 0;
  if (!delstat) return 1004;
  return guarded([&] {
    std::vector<char> keep(count);
    for (int k = 0; k < count; ++k) keep[k] = delstat[k] != 1;
    return delWith(lp, keep, delstat, cols);
  });
}

int delrows(Env& env, Problem& lp, int begin, int end) { return delRange(env, lp, begin, end, false); }
int delcols(Env& env, Problem& lp, int begin, int end) { return delRange(env, lp, begin, end, true); }
int delsetrows(Env& env, Problem& lp, int* delstat) { return delSet(env, lp, delstat, false); }
int delsetcols(Env& env, Problem& lp, int* delstat) { return delSet(env, lp, delstat, true); }

int delnames(Env& env, Problem& lp) {
  if (int st = prepare(env, lp)) return st;
  notifyChange(lp, ChangeKind::ColNames);
  notifyChange(lp, ChangeKind::RowNames);
  lp.data->colnames.clear();
  lp.data->rownames.clear();
  return 0;
}

// The shape of the change operations that take a list of rows or columns:
// the handle and count checks, the required arrays, the pending additions,
// the index check, then the operation's own checks (`check`, which may also
// allocate what the change needs), and only then the change event and the
// change itself (`apply`, which no longer fails), so that a failing call
// changes nothing.
struct ListChange {
  ChangeKind kind;
  int cnt;
  const int* ind;
  bool arrays;  // the operation's other required arrays are present
  bool cols;    // the indices are columns (else rows)
  const double* val = nullptr;
  const char* chars = nullptr;
};

template <class Check, class Apply>
int changeList(Env& env, Problem& lp, const ListChange& c, Check&& check, Apply&& apply) {
  if (int st = refuseFixed(lp)) return st;
  if (c.cnt < 0) return 1003;
  if (c.cnt == 0) return 0;
  if (!c.ind || !c.arrays) return 1004;
  if (int st = flushCache(env, lp)) return st;
  ProblemData& d = *lp.data;
  if (int st = checkIndices(env, c.ind, c.cnt, c.cols ? d.cols() : d.rows(), c.cols ? 1201 : 1203)) return st;
  return guarded([&] {
    if (int st = check(d)) return st;
    ChangeEvent ev{c.kind};
    ev.cnt = c.cnt;
    ev.ind = c.ind;
    ev.val = c.val;
    ev.chars = c.chars;
    notifyChange(lp, ev);
    apply(d);
    return 0;
  });
}

// One entry changed by VNTchgcoef: reported like a list of one.
void notifyOne(Problem& lp, ChangeKind kind, const int& index, const double& value) {
  ChangeEvent ev{kind};
  ev.cnt = 1;
  ev.ind = &index;
  ev.val = &value;
  notifyChange(lp, ev);
}

int chgbds(Env& env, Problem& lp, int cnt, const int* indices, const char* lu, const double* bd) {
  const ListChange c{ChangeKind::Bounds, cnt, indices, lu && bd, true, bd, lu};
  auto check = [&](ProblemData&) {
    const bool dc = dataCheck(env);
    if (dc)
      if (int st = checkBoundTypes(env, lu, cnt)) return st;
    return checkNumbers(env, bd, cnt, Num::AnySize, dc);
  };
  return changeList(env, lp, c, check, [&](ProblemData& d) {
    for (int k = 0; k < cnt; ++k) {
      const int j = indices[k];
      const char t = lu[k];
      if (t != 'L' && t != 'U' && t != 'B') continue;
      double v = bd[k];
      const bool setL = t == 'L' || t == 'B', setU = t == 'U' || t == 'B';
      if (v >= kInfBound) v = kInfBound;
      else if (v <= -kInfBound) v = -kInfBound;
      else if (std::fabs(v) < kZeroBound) v = 0.0;
      if (setL) {
        if (v >= kInfBound) print(env, Chan::Warning, "Warning:  Infinity lower bound ignored.\n");
        else d.lb[j] = v;
      }
      if (setU) {
        if (v <= -kInfBound) print(env, Chan::Warning, "Warning:  -Infinity upper bound ignored.\n");
        else d.ub[j] = v;
      }
    }
  });
}

// chgobj / chgrhs / chgrngval share their shape.
static int chgValues(Env& env, Problem& lp, int cnt, const int* indices, const double* values,
                     ChangeKind kind) {
  const bool cols = kind == ChangeKind::Objective;
  const ListChange c{kind, cnt, indices, values != nullptr, cols, values};
  auto check = [&](ProblemData& d) {
    const bool dc = dataCheck(env);
    if (kind == ChangeKind::RangeValues) {
      if (int st = checkRanges(env, values, cnt, dc, [&](long long k) { return d.sense[indices[k]]; }))
        return st;
      if (d.rngval.empty()) d.rngval.assign(d.rows(), 0.0);  // all zero: no change yet
      return 0;
    }
    return checkNumbers(env, values, cnt, cols ? Num::Coef : Num::Finite, dc);
  };
  return changeList(env, lp, c, check, [&](ProblemData& d) {
    std::vector<double>& target = cols ? d.obj : kind == ChangeKind::Rhs ? d.rhs : d.rngval;
    for (int k = 0; k < cnt; ++k) target[indices[k]] = values[k];
  });
}

int chgobj(Env& env, Problem& lp, int cnt, const int* indices, const double* values) {
  return chgValues(env, lp, cnt, indices, values, ChangeKind::Objective);
}
int chgrhs(Env& env, Problem& lp, int cnt, const int* indices, const double* values) {
  return chgValues(env, lp, cnt, indices, values, ChangeKind::Rhs);
}
int chgrngval(Env& env, Problem& lp, int cnt, const int* indices, const double* values) {
  return chgValues(env, lp, cnt, indices, values, ChangeKind::RangeValues);
}

int chgsense(Env& env, Problem& lp, int cnt, const int* indices, const char* sense) {
  const ListChange c{ChangeKind::Sense, cnt, indices, sense != nullptr, false, nullptr, sense};
  auto check = [&](ProblemData&) { return dataCheck(env) ? checkSenses(env, sense, cnt) : 0; };
  return changeList(env, lp, c, check, [&](ProblemData& d) {
    for (int k = 0; k < cnt; ++k) d.sense[indices[k]] = sense[k];
  });
}

int chgcoef(Env& env, Problem& lp, int i, int j, double newvalue) {
  if (int st = prepare(env, lp)) return st;
  ProblemData& d = *lp.data;
  if (i < -1 || i >= d.rows() || j < -2 || j >= d.cols()) return 1200;
  if (i == -1 && j == -2) return 1211;
  // The value is checked as what it changes: a coefficient, a right-hand
  // side (or the objective offset), or a range value.
  const bool dc = dataCheck(env);
  const bool coef = j >= 0;
  if (j == -2) {
    if (int st = checkRanges(env, &newvalue, 1, dc, [&](long long) { return d.sense[i]; })) return st;
  } else if (int st = checkNumber(env, newvalue, coef ? Num::Coef : Num::Finite, dc)) {
    return st;
  }
  return guarded([&] {
    if (i == -1 && j == -1) {
      if (d.objoffset != newvalue) notifyChange(lp, ChangeKind::ObjOffset);
      d.objoffset = newvalue;
    } else if (i == -1) {
      notifyOne(lp, ChangeKind::Objective, j, newvalue);
      d.obj[j] = newvalue;
    } else if (j == -1) {
      notifyOne(lp, ChangeKind::Rhs, i, newvalue);
      d.rhs[i] = newvalue;
    } else if (j == -2) {
      if (d.rngval.empty()) d.rngval.assign(d.rows(), 0.0);
      notifyOne(lp, ChangeKind::RangeValues, i, newvalue);
      d.rngval[i] = newvalue;
    } else {
      notifyChange(lp, ChangeKind::Coefficients);
      d.setCoef(i, j, newvalue);
    }
    return 0;
  });
}

int chgcoeflist(Env& env, Problem& lp, int numcoefs, const int* rowlist, const int* collist,
                const double* vallist) {
  if (int st = refuseFixed(lp)) return st;
  if (numcoefs < 0) return 1003;
  if (numcoefs == 0) return 0;
  if (!rowlist || !collist || !vallist) return 1004;
  if (int st = flushCache(env, lp)) return st;
  ProblemData& d = *lp.data;
  if (int st = checkIndices(env, rowlist, numcoefs, d.rows(), 1203)) return st;
  if (int st = checkIndices(env, collist, numcoefs, d.cols(), 1201)) return st;
  if (int st = checkNumbers(env, vallist, numcoefs, Num::Coef, dataCheck(env))) return st;
  return guarded([&] {
    // Reserve first so that the changes cannot stop half way.
    std::vector<int>& cnt = d.scratch;
    std::vector<int> touched;
    for (int k = 0; k < numcoefs; ++k)
      if (cnt[collist[k]]++ == 0) touched.push_back(collist[k]);
    try {
      for (int j : touched) d.reserveInColumn(j, cnt[j]);
    } catch (...) {
      for (int j : touched) cnt[j] = 0;
      throw;
    }
    for (int j : touched) cnt[j] = 0;
    notifyChange(lp, ChangeKind::Coefficients);
    for (int k = 0; k < numcoefs; ++k) d.setCoef(rowlist[k], collist[k], vallist[k]);
    return 0;
  });
}

static int chgNames(Env& env, Problem& lp, int cnt, const int* indices, char** newname, bool cols) {
  const ListChange c{cols ? ChangeKind::ColNames : ChangeKind::RowNames, cnt, indices, newname != nullptr, cols};
  std::vector<std::string> names;
  NameTable created;
  auto check = [&](ProblemData& d) {
    if (int st = namesIn(env, newname, cnt, names)) return st;
    // Default names for the others, made before the change so that a
    // failure changes nothing.
    if (!(cols ? d.colnames : d.rownames).present()) created.materialize(cols ? d.cols() : d.rows(), cols ? 'x' : 'c');
    return 0;
  };
  return changeList(env, lp, c, check, [&](ProblemData& d) {
    NameTable& t = cols ? d.colnames : d.rownames;
    if (!t.present()) t = std::move(created);
    for (int k = 0; k < cnt; ++k) t.set(indices[k], std::move(names[k]));
  });
}

int chgcolname(Env& env, Problem& lp, int cnt, const int* indices, char** newname) {
  return chgNames(env, lp, cnt, indices, newname, true);
}
int chgrowname(Env& env, Problem& lp, int cnt, const int* indices, char** newname) {
  return chgNames(env, lp, cnt, indices, newname, false);
}

int chgname(Env& env, Problem& lp, int key, int ij, const char* newname_str) {
  if (int st = refuseFixed(lp)) return st;
  if (key != 'c' && key != 'r') return 1003;
  if (!newname_str) return 1004;
  char* names[1] = {const_cast<char*>(newname_str)};
  return chgNames(env, lp, 1, &ij, names, key == 'c');
}

int chgprobname(Env& env, Problem& lp, const char* probname) {
  if (int st = refuseFixed(lp)) return st;
  if (!probname) return 1004;
  std::string s;
  if (int st = nameIn(env, probname, s)) return st;
  notifyChange(lp, ChangeKind::ProbName);
  lp.data->probname.swap(s);
  return 0;
}

int chgobjsen(Env& env, Problem& lp, int maxormin) {
  if (int st = refuseFixed(lp)) return st;
  if (dataCheck(env) && maxormin != 1 && maxormin != -1) return 1003;
  const int s = maxormin < 0 ? -1 : 1;
  if (s == lp.data->objsen) return 0;
  notifyChange(lp, ChangeKind::ObjSense);
  lp.data->objsen = s;
  return 0;
}

int chgobjoffset(Env& env, Problem& lp, double offset) {
  if (int st = refuseFixed(lp)) return st;
  if (int st = checkNumber(env, offset, Num::Finite, dataCheck(env))) return st;
  if (offset == lp.data->objoffset) return 0;
  notifyChange(lp, ChangeKind::ObjOffset);
  lp.data->objoffset = offset;
  return 0;
}

int chgprobtype(Env& env, Problem& lp, int type) {
  // On a fixed problem the caller's handle was redirected here: changing
  // away from the fixed type returns the original problem.
  if (lp.fixedParent) {
    if (type == lp.probtype) return 0;
    Problem& parent = *lp.fixedParent;
    switch (type) {
      case kLP: case kMILP: case kQP: case kMIQP: case kQCP: case kMIQCP: break;
      // Another fixed type never fits the unfixed problem behind this one.
      case kFixedMILP: return 1024;
      case kFixedMIQP: return 1029;
      case kFixedMIQCP: return 9019;
      default:
        return 1022;
    }
    parent.redirect = nullptr;
    parent.kind = 0;
    delete &lp;  // the fixed problem is owned by its parent and not registered
    return chgprobtype(env, parent, type);
  }
  if (type == lp.probtype) return 0;
  if (int st = flushCache(env, lp)) return st;
  ProblemData& d = *lp.data;
  switch (type) {
    case kLP: case kMILP: case kQP: case kMIQP: case kQCP: case kMIQCP: break;
    case kFixedMILP:
    case kFixedMIQP:
    case kFixedMIQCP: {
      if (type == kFixedMILP && lp.probtype != kMILP) return 1024;
      if (type == kFixedMIQP && lp.probtype != kMIQP) return 1029;
      if (type == kFixedMIQCP && lp.probtype != kMIQCP) return 9019;
      FixedBuilder b = fixedBuilder();
      if (!b) return 1217;
      auto* fixed = new (std::nothrow) Problem;
      if (!fixed) return 1001;
      fixed->data = new (std::nothrow) ProblemData;
      if (!fixed->data) {
        delete fixed;
        return 1001;
      }
      fixed->self = fixed;
      fixed->env = lp.env;
      fixed->root = lp.root;
      fixed->probtype = type;
      fixed->fixedParent = &lp;
      if (int st = b(env, lp, type, *fixed)) {
        delete fixed;
        return st;
      }
      lp.redirect = fixed;
      lp.kind = type;
      return 0;
    }
    default:
      return 1022;
  }
  return guarded([&] {
    const bool mip = type == kMILP || type == kMIQP || type == kMIQCP;
    std::vector<char> ctype;
    if (mip) ctype = d.ctype.empty() ? std::vector<char>(d.cols(), 'C') : d.ctype;
    notifyChange(lp, ChangeKind::ProbType);
    if (!mip && !d.ctype.empty()) notifyChange(lp, ChangeKind::ColTypes);
    d.ctype.swap(ctype);
    if (!mip) {
      d.sos.clear();
      d.order.clear();
    }
    // Piecewise-linear constraints need the MIP search: a continuous type
    // drops them like the SOS.
    if (!mip && !d.pwl.empty()) {
      notifyChange(lp, ChangeKind::Pwl);
      d.pwl.clear();
    }
    if (type == kLP || type == kMILP) {
      if (!d.qobj.empty()) notifyChange(lp, ChangeKind::Quadratic);
      d.qobj.clear();
    }
    if (type != kQCP && type != kMIQCP) {
      if (!d.qconstr.empty()) notifyChange(lp, ChangeKind::Quadratic);
      d.qconstr.clear();
    }
    lp.probtype = type;
    return 0;
  });
}

// Column types.
int copyctype(Env& env, Problem& lp, const char* xctype) {
  if (int st = prepare(env, lp)) return st;
  ProblemData& d = *lp.data;
  if (!xctype) return 1004;
  if (d.cols() == 0 && !isMipType(lp.probtype)) {
    // Nothing to type; the problem still becomes a MIP.
  }
  if (dataCheck(env))
    if (int st = checkCtypes(env, xctype, d.cols())) return st;
  return guarded([&] {
    std::vector<char> t(xctype, xctype + d.cols());
    notifyChange(lp, ChangeKind::ColTypes);
    const int nt = withIntegers(lp.probtype);
    if (nt != lp.probtype) notifyChange(lp, ChangeKind::ProbType);
    d.ctype.swap(t);
    lp.probtype = nt;
    return 0;
  });
}

int chgctype(Env& env, Problem& lp, int cnt, const int* indices, const char* xctype) {
  const ListChange c{ChangeKind::ColTypes, cnt, indices, xctype != nullptr, true, nullptr, xctype};
  std::vector<char> t;
  auto check = [&](ProblemData& d) {
    if (dataCheck(env))
      if (int st = checkCtypes(env, xctype, cnt)) return st;
    t = d.ctype.empty() ? std::vector<char>(d.cols(), 'C') : d.ctype;
    return 0;
  };
  return changeList(env, lp, c, check, [&](ProblemData& d) {
    const int nt = withIntegers(lp.probtype);
    if (nt != lp.probtype) notifyChange(lp, ChangeKind::ProbType);
    for (int k = 0; k < cnt; ++k) t[indices[k]] = xctype[k];
    d.ctype.swap(t);
    lp.probtype = nt;
  });
}

// Pending additions.
int cacheNewRows(Env& env, Problem& lp, int rcnt, const double* rhs, const char* sense,
                 const double* rngval, char** rowname) {
  if (int st = refuseFixed(lp)) return st;
  if (rcnt < 0) return 1003;
  if (rcnt == 0) return 0;
  std::vector<std::string> rn;
  if (int st = namesIn(env, rowname, rcnt, rn)) return st;
  if (int st = checkRowValues(env, rcnt, rhs, sense, rngval, dataCheck(env))) return st;
  return guarded([&] {
    PendingAdditions& c = lp.data->cache;
    const size_t c0 = c.rhs.size();
    growTo(c.rhs, c0 + rcnt);
    growTo(c.sense, c0 + rcnt);
    growTo(c.rngval, c0 + rcnt);
    if (!rn.empty() || !c.rowname.empty()) growTo(c.rowname, c0 + rcnt);
    notifyAdded(lp, ChangeKind::AddRows, rcnt);
    if (!rn.empty() && c.rowname.empty() && c0 > 0) {
      const int m0 = lp.data->rows();
      for (size_t k = 0; k < c0; ++k) c.rowname.push_back("c" + std::to_string(m0 + k + 1));
    }
    for (int k = 0; k < rcnt; ++k) {
      c.rhs.push_back(rhs ? rhs[k] : 0.0);
      c.sense.push_back(sense ? sense[k] : 'L');
      c.rngval.push_back(rngval ? rngval[k] : 0.0);
      if (!rn.empty()) c.rowname.push_back(std::move(rn[k]));
      else if (!c.rowname.empty())
        c.rowname.push_back("c" + std::to_string(lp.data->rows() + c0 + k + 1));
    }
    return 0;
  });
}

int cacheNewCols(Env& env, Problem& lp, int ccnt, const double* obj, const double* lb,
                 const double* ub, const char* xctype, char** colname) {
  if (int st = refuseFixed(lp)) return st;
  if (ccnt < 0) return 1003;
  if (ccnt == 0) return 0;
  std::vector<std::string> cn;
  if (int st = namesIn(env, colname, ccnt, cn)) return st;
  if (int st = checkColumnValues(env, ccnt, obj, lb, ub, xctype, dataCheck(env))) return st;
  return guarded([&] {
    PendingAdditions& c = lp.data->cache;
    const size_t c0 = c.obj.size();
    const int n0 = lp.data->cols();
    growTo(c.obj, c0 + ccnt);
    growTo(c.lb, c0 + ccnt);
    growTo(c.ub, c0 + ccnt);
    notifyAdded(lp, ChangeKind::AddCols, ccnt);
    const int nt = xctype ? withIntegers(lp.probtype) : lp.probtype;
    if (nt != lp.probtype) notifyChange(lp, ChangeKind::ProbType);
    // Types are kept once any cached column has one (the earlier cached
    // columns are continuous).
    const bool typed = xctype || !c.ctype.empty();
    if (xctype && c.ctype.empty()) c.ctype.assign(c0, 'C');
    if (!cn.empty() && c.colname.empty())
      for (size_t k = 0; k < c0; ++k) c.colname.push_back("x" + std::to_string(n0 + k + 1));
    for (int k = 0; k < ccnt; ++k) {
      c.obj.push_back(obj ? obj[k] : 0.0);
      c.lb.push_back(lb ? clampBound(lb[k]) : 0.0);
      double u = kInfBound;
      if (ub) u = clampBound(ub[k]);
      else if (xctype && xctype[k] == 'B') u = 1.0;
      c.ub.push_back(u);
      if (typed) c.ctype.push_back(xctype ? xctype[k] : 'C');
      if (!cn.empty()) c.colname.push_back(std::move(cn[k]));
      else if (!c.colname.empty()) c.colname.push_back("x" + std::to_string(n0 + c0 + k + 1));
    }
    lp.probtype = nt;
    return 0;
  });
}

int cacheNewNZsByNZ(Env& env, Problem& lp, long long nzcnt, const int* rowind, const int* colind,
                    const double* val) {
  if (int st = refuseFixed(lp)) return st;
  if (nzcnt < 0) return 1003;
  if (nzcnt == 0) return 0;
  if (!rowind || !colind || !val) return 1004;
  ProblemData& d = *lp.data;
  if (int st = checkIndices(env, rowind, nzcnt, d.numRows(), 1203)) return st;
  if (int st = checkIndices(env, colind, nzcnt, d.numCols(), 1201)) return st;
  if (int st = checkNumbers(env, val, nzcnt, Num::Coef, dataCheck(env))) return st;
  return guarded([&] {
    PendingAdditions& c = d.cache;
    const size_t c0 = c.nzrow.size();
    growTo(c.nzrow, c0 + nzcnt);
    growTo(c.nzcol, c0 + nzcnt);
    growTo(c.nzval, c0 + nzcnt);
    notifyChange(lp, ChangeKind::Coefficients);
    c.nzrow.insert(c.nzrow.end(), rowind, rowind + nzcnt);
    c.nzcol.insert(c.nzcol.end(), colind, colind + nzcnt);
    c.nzval.insert(c.nzval.end(), val, val + nzcnt);
    return 0;
  });
}

}  // namespace vnt::chk
