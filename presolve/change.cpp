// Changes that keep a presolved problem: rows added to the original problem
// are carried to the reduced one, objective changes are carried when no
// reduction rests on the costs that change; and the basic presolve, which
// only tightens bounds and finds redundant rows without reducing anything.
#include <algorithm>
#include <cmath>
#include <map>
#include <new>

#include "api/chk_decls.h"
#include "model/opsupport.h"
#include "presolve/crush.h"
#include "presolve/presolve.h"
#include "presolve/records.h"

namespace vnt::presolve {

namespace {

// Rows (lists of (column, value)) appended to a column-wise model.
void appendRows(model::ModelData& md, const std::vector<std::vector<Entry>>& rows, const std::vector<double>& rhs,
                const std::vector<char>& sense) {
  const int n = md.numCols();
  std::vector<int64_t> extra(n + 1, 0);
  const int m0 = md.numRows();
  for (const auto& row : rows)
    for (const Entry& e : row) ++extra[e.idx + 1];
  for (int j = 0; j < n; ++j) extra[j + 1] += extra[j];
  std::vector<int64_t> beg(n + 1, 0);
  std::vector<int> ind(md.matind.size() + extra[n]);
  std::vector<double> val(ind.size());
  int64_t w = 0;
  std::vector<int64_t> fillPos(n);
  for (int j = 0; j < n; ++j) {
    beg[j] = w;
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k, ++w) {
      ind[w] = md.matind[k];
      val[w] = md.matval[k];
    }
    fillPos[j] = w;
    w += extra[j + 1] - extra[j];
  }
  beg[n] = w;
  for (size_t t = 0; t < rows.size(); ++t)
    for (const Entry& e : rows[t]) {
      ind[fillPos[e.idx]] = m0 + static_cast<int>(t);
      val[fillPos[e.idx]++] = e.val;
    }
  md.matbeg = std::move(beg);
  md.matind = std::move(ind);
  md.matval = std::move(val);
  md.rhs.insert(md.rhs.end(), rhs.begin(), rhs.end());
  md.sense.insert(md.sense.end(), sense.begin(), sense.end());
  if (!md.rngval.empty()) md.rngval.resize(md.rhs.size(), 0.0);
}

// The reduced problem object follows the reduced model (same handle).
int refreshReduced(Env& env, PresolveState& s) {
  if (!s.reducedProblem) return 0;
  const int type = s.reducedProblem->probtype;
  model::ModelData copy = s.pre->reduced;
  if (int st = model::replaceData(env, *s.reducedProblem, std::move(copy))) return st;
  s.reducedProblem->probtype = type;
  return 0;
}

// Row names of the reduced model from the original's.
void reducedRowNames(Presolved& pre) {
  const model::ModelData& o = pre.post->orig;
  model::ModelData& r = pre.reduced;
  if (o.rowname.empty()) return;
  r.rowname.resize(pre.rowOrig.size());
  for (size_t ir = 0; ir < pre.rowOrig.size(); ++ir) r.rowname[ir] = o.rowname[pre.rowOrig[ir]];
}

bool sameValue(double a, double b) { return std::fabs(a - b) <= 1e-12 * std::max({1.0, std::fabs(a), std::fabs(b)}); }

// Carry rows m0 .. m0+cnt-1 of the (already extended) original model `md`
// to the presolved problem.  False when a row touches a column that a
// reduction took out in a way the row may void (the presolve result is
// then dropped by the caller); nothing is changed in that case.
bool carryRows(Presolved& pre, const model::ModelData& md, int m0) {
  Postsolve& ps = *pre.post;
  const int n = ps.n0, cnt = md.numRows() - m0;
  // Row-wise view of the new rows.
  std::vector<std::vector<Entry>> rowsOrig(cnt);
  for (int j = 0; j < n; ++j)
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k)
      if (md.matind[k] >= m0) rowsOrig[md.matind[k] - m0].push_back({j, md.matval[k]});
  std::vector<std::vector<Entry>> rowsRed(cnt);
  std::vector<double> rhs(cnt);
  std::vector<char> sense(cnt);
  // Entries the new rows add to the saved column lists of the records (the
  // dual postsolve of a removed column needs every row it sits in).
  std::map<size_t, std::vector<Entry>> listAdd;
  std::vector<double> coef(n, 0.0);
  for (int t = 0; t < cnt; ++t) {
    const char sn = md.sense[m0 + t];
    if (sn != 'L' && sn != 'G' && sn != 'E') return false;
    std::fill(coef.begin(), coef.end(), 0.0);
    for (const Entry& e : rowsOrig[t]) coef[e.idx] += e.val;
    double offset = 0.0;
    const int row = m0 + t;
    const bool ok = crushFormVisit(ps, coef, offset, [&](size_t rec, int, double f) {
      if (f == 0.0) return true;
      const Record& r = ps.recs[rec];
      if (r.flags & kByCost) return false;
      switch (r.kind) {
        case RecKind::kFixedCol:
        case RecKind::kSubstitution:
        case RecKind::kDoubleton:
        case RecKind::kFreeSingleton:
        case RecKind::kSlackSingleton:
          listAdd[rec].push_back({row, f});
          return true;
        default:
          return false;
      }
    });
    if (!ok) return false;
    for (size_t jr = 0; jr < pre.colOrig.size(); ++jr) {
      const double v = coef[pre.colOrig[jr]];
      if (v != 0.0) rowsRed[t].push_back({static_cast<int>(jr), v});
    }
    rhs[t] = md.rhs[m0 + t] - offset;
    sense[t] = sn;
  }
  // Commit: saved lists, original model, maps and the reduced model.
  for (auto& [rec, add] : listAdd) {
    Record& r = ps.recs[rec];
    // The list of the column's other rows: the column entries of a fixed
    // or doubleton column, the second list of the others.
    const bool second = r.kind != RecKind::kFixedCol && r.kind != RecKind::kDoubleton;
    int64_t& b = second ? r.beg2 : r.beg;
    int64_t& e = second ? r.end2 : r.end;
    const auto nb = static_cast<int64_t>(ps.pool.size());
    for (int64_t p = b; p < e; ++p) {
      ps.pool.push_back(ps.pool[p]);
      ps.poolFlag.push_back(ps.poolFlag[p]);
    }
    for (const Entry& x : add) {
      ps.pool.push_back(x);
      ps.poolFlag.push_back(0);
    }
    b = nb;
    e = static_cast<int64_t>(ps.pool.size());
  }
  ps.orig = md;
  ps.m0 = md.numRows();
  rowLimits(md, ps.origLo, ps.origUp);
  const int mr = pre.reduced.numRows();
  appendRows(pre.reduced, rowsRed, rhs, sense);
  for (int t = 0; t < cnt; ++t) {
    pre.rowReduced.push_back(mr + t);
    pre.rowOrig.push_back(m0 + t);
  }
  pre.origRows = ps.m0;
  pre.counts.rowsAdded += cnt;  // rows of both models, not kept from the presolved one
  reducedRowNames(pre);
  return true;
}

// Carry the objective of `md` (the original model after the change) to the
// presolved problem.  False when a reduction rests on a cost that changed.
bool carryObjective(Presolved& pre, const model::ModelData& md) {
  Postsolve& ps = *pre.post;
  const int n = ps.n0;
  bool byOther = false;
  for (const Record& r : ps.recs) byOther |= (r.flags & kByOtherCosts) != 0;
  bool changed = false;
  for (int j = 0; j < n; ++j) changed |= md.obj[j] != ps.orig.obj[j];
  if (!changed) return true;
  if (byOther) return false;
  // The cost each record saw, before and after.
  auto run = [&](const std::vector<double>& obj, std::vector<double>& seen, double& offset) {
    std::vector<double> coef(obj.begin(), obj.end());
    seen.assign(ps.recs.size(), 0.0);
    offset = 0.0;
    crushFormVisit(ps, coef, offset, [&](size_t rec, int, double f) {
      seen[rec] = f;
      return true;
    });
    return coef;
  };
  std::vector<double> seenOld, seenNew;
  double offOld = 0.0, offNew = 0.0;
  run(ps.orig.obj, seenOld, offOld);
  const std::vector<double> coef = run(md.obj, seenNew, offNew);
  for (size_t t = 0; t < ps.recs.size(); ++t)
    if ((ps.recs[t].flags & kByCost) && !sameValue(seenOld[t], seenNew[t])) return false;
  // Commit: the records' costs (minimization form), the original and the
  // reduced objective.
  const double sen = ps.objsen >= 0 ? 1.0 : -1.0;
  for (size_t t = 0; t < ps.recs.size(); ++t) {
    Record& r = ps.recs[t];
    switch (r.kind) {
      case RecKind::kFixedCol:
      case RecKind::kFreeSingleton:
      case RecKind::kSubstitution:
      case RecKind::kSlackSingleton: r.c = sen * seenNew[t]; break;
      case RecKind::kDoubleton: r.d = sen * seenNew[t]; break;
      default: break;
    }
  }
  ps.orig.obj = md.obj;
  for (size_t jr = 0; jr < pre.colOrig.size(); ++jr) pre.reduced.obj[jr] = coef[pre.colOrig[jr]];
  pre.reduced.objoffset = md.objoffset + offNew;
  return true;
}

}  // namespace

}  // namespace vnt::presolve

namespace vnt::chk {

using presolve::PresolveState;

namespace {

// Run `change` on the problem with its presolve result set aside, then let
// `carry` bring the result up to date; the result is kept when it can be.
template <class Change, class Carry>
int keepPresolved(Env& env, model::Problem& lp, Change&& change, Carry&& carry) {
  PresolveState* s = presolve::findState(lp);
  if (!s || !s->pre) return change();
  std::unique_ptr<model::SolverState> hold = std::move(lp.state[model::kSlotPresolve]);
  const int m0 = lp.data->rows();
  const int st = change();
  if (st) {
    lp.state[model::kSlotPresolve] = std::move(hold);
    return st;
  }
  model::ModelData md;
  if (model::exportData(lp, md) != 0) return 0;  // the result stays dropped
  try {
    if (!carry(*s->pre, md, m0)) return 0;
  } catch (const std::bad_alloc&) {
    return 0;  // partly carried: dropped
  }
  if (presolve::refreshReduced(env, *s) != 0) return 0;
  lp.state[model::kSlotPresolve] = std::move(hold);
  return 0;
}

}  // namespace

// Rows added for a solve that reuses the presolved model: they go into the
// problem like VNTaddrows rows and, crushed through the reductions, into the
// presolved model.  A row on a column that a reduction resting on the
// objective took out cannot be carried: the presolve result is dropped
// (the next optimization presolves again).  Without a presolved model the
// call is an ordinary row addition.
int preaddrows(Env& env, model::Problem& lp, int rcnt, long long nzcnt, const double* rhs, const char* sense,
               const long long* rmatbeg, const int* rmatind, const double* rmatval, char** rowname) {
  return keepPresolved(
      env, lp, [&] { return addrows(env, lp, 0, rcnt, nzcnt, rhs, sense, rmatbeg, rmatind, rmatval, nullptr, rowname); },
      [&](presolve::Presolved& pre, const model::ModelData& md, int m0) {
        return md.numRows() == m0 || presolve::carryRows(pre, md, m0);
      });
}

// Objective changes of the original problem carried to the presolved one.
int prechgobj(Env& env, model::Problem& lp, int cnt, const int* indices, const double* values) {
  return keepPresolved(
      env, lp, [&] { return chgobj(env, lp, cnt, indices, values); },
      [&](presolve::Presolved& pre, const model::ModelData& md, int) { return presolve::carryObjective(pre, md); });
}

}  // namespace vnt::chk
