// The dual formulation: an LP  min c'x, L <= Ax <= U, l <= x <= u  is
// written in the form  min c'x', A~x' >= b~ (rows with y >= 0) and
// A~x' = b~ (free y), x' >= 0 or free, by shifting and mirroring columns
// (x = l + x', x = u - x', free x = x'), splitting ranged rows into two
// sides and adding a row -x' >= l - u for a column with two finite bounds.
// Its dual  max b~'y, A~'y <= c (x' >= 0) or = c (free x')  is solved as
// min -b~'y.  The duals of the dual's rows are -x', its columns the row
// duals, and a column of the primal is basic exactly when the dual's row of
// that column is not.
#include <cmath>

#include "presolve/presolve.h"
#include "presolve/records.h"

namespace vnt::presolve {

bool formDual(const model::ModelData& p, DualForm& f) {
  if (!p.qobj.empty() || !p.qconstr.empty() || !p.ctype.empty() || !p.sos.empty() || !p.indconstr.empty() ||
      !p.pwl.empty() || !p.objectives.empty())
    return false;
  const int n = p.numCols(), m = p.numRows();
  f = DualForm{};
  f.n = n;
  f.m = m;
  const double sen = p.objsen >= 0 ? 1.0 : -1.0;
  f.shift.assign(n, 0.0);
  f.sign.assign(n, 1);
  f.boundCol.assign(n, -1);
  std::vector<double> lo, up;
  rowLimits(p, lo, up);
  // Row activity shift a_i'shift.
  for (int j = 0; j < n; ++j) {
    const bool l = !isInf(p.lb[j]), u = !isInf(p.ub[j]);
    if (l) f.shift[j] = p.lb[j];
    else if (u) { f.shift[j] = p.ub[j]; f.sign[j] = -1; }
    else f.sign[j] = 0;
  }
  std::vector<double> as(m, 0.0);
  for (int j = 0; j < n; ++j)
    for (int64_t k = p.matbeg[j]; k < p.matbeg[j + 1]; ++k) as[p.matind[k]] += p.matval[k] * f.shift[j];
  // Dual columns: one per row side (and per equality row), then one per
  // column with two finite bounds.
  f.rowLo.assign(m, -1);
  f.rowUp.assign(m, -1);
  f.rowEq.assign(m, -1);
  model::ModelData& d = f.dual;
  d.objsen = 1;
  d.probname = p.probname;
  std::vector<double> b;
  for (int i = 0; i < m; ++i) {
    const bool l = !isInf(lo[i]), u = !isInf(up[i]);
    if (l && u && lo[i] == up[i]) {
      f.rowEq[i] = static_cast<int>(f.colRow.size());
      f.colRow.push_back(i);
      f.colSigma.push_back(1);
      b.push_back(lo[i] - as[i]);
      continue;
    }
    if (l) {
      f.rowLo[i] = static_cast<int>(f.colRow.size());
      f.colRow.push_back(i);
      f.colSigma.push_back(1);
      b.push_back(lo[i] - as[i]);
    }
    if (u) {
      f.rowUp[i] = static_cast<int>(f.colRow.size());
      f.colRow.push_back(i);
      f.colSigma.push_back(-1);
      b.push_back(-(up[i] - as[i]));
    }
  }
  for (int j = 0; j < n; ++j)
    if (!isInf(p.lb[j]) && !isInf(p.ub[j])) {
      f.boundCol[j] = static_cast<int>(f.colRow.size());
      f.colRow.push_back(-1 - j);
      f.colSigma.push_back(-1);
      b.push_back(-(p.ub[j] - p.lb[j]));
    }
  const int nd = static_cast<int>(f.colRow.size());
  // Row-wise view of A: the dual's columns are A~'s rows.
  std::vector<int64_t> rbeg(m + 1, 0);
  for (int64_t k = 0; k < p.matbeg[n]; ++k) ++rbeg[p.matind[k] + 1];
  for (int i = 0; i < m; ++i) rbeg[i + 1] += rbeg[i];
  std::vector<int> rcol(p.matbeg[n]);
  std::vector<double> rval(p.matbeg[n]);
  {
    std::vector<int64_t> pos(rbeg.begin(), rbeg.end() - 1);
    for (int j = 0; j < n; ++j)
      for (int64_t k = p.matbeg[j]; k < p.matbeg[j + 1]; ++k) {
        rcol[pos[p.matind[k]]] = j;
        rval[pos[p.matind[k]]++] = p.matval[k];
      }
  }
  d.obj.resize(nd);
  d.lb.resize(nd);
  d.ub.assign(nd, model::kInfBound);
  d.matbeg.assign(1, 0);
  for (int k = 0; k < nd; ++k) {
    d.obj[k] = -b[k];
    const int i = f.colRow[k];
    d.lb[k] = (i >= 0 && f.rowEq[i] == k) ? -model::kInfBound : 0.0;
    if (i >= 0) {
      for (int64_t q = rbeg[i]; q < rbeg[i + 1]; ++q) {
        const int j = rcol[q];
        const double s = f.sign[j] == 0 ? 1.0 : f.sign[j];
        d.matind.push_back(j);
        d.matval.push_back(f.colSigma[k] * rval[q] * s);
      }
    } else {
      d.matind.push_back(-1 - i);
      d.matval.push_back(-1.0);
    }
    d.matbeg.push_back(static_cast<int64_t>(d.matind.size()));
  }
  // Dual rows: one per primal column, A~_j'y <= c'_j (x' >= 0) or = c'_j.
  d.rhs.resize(n);
  d.sense.resize(n);
  for (int j = 0; j < n; ++j) {
    const double s = f.sign[j] == 0 ? 1.0 : f.sign[j];
    d.rhs[j] = s * sen * p.obj[j];
    d.sense[j] = f.sign[j] == 0 ? 'E' : 'L';
  }
  return true;
}

void dualToPrimal(const DualForm& f, const model::ModelData& p, const Solution& ds, Solution& out) {
  const int n = f.n, m = f.m;
  const double sen = p.objsen >= 0 ? 1.0 : -1.0;
  out.x.assign(n, 0.0);
  out.pi.assign(m, 0.0);
  out.dj.assign(n, 0.0);
  out.rowAct.assign(m, 0.0);
  out.cstat.assign(n, kAtLower);
  out.rstat.assign(m, kBasic);
  for (int j = 0; j < n; ++j) {
    const double xp = -ds.pi[j];
    const double s = f.sign[j] == 0 ? 1.0 : f.sign[j];
    out.x[j] = f.shift[j] + s * xp;
    const bool dualRowBasic = ds.rstat[j] == kBasic;
    const bool boundTight = f.boundCol[j] >= 0 && ds.cstat[f.boundCol[j]] == kBasic;
    if (boundTight) out.cstat[j] = kAtUpper;
    else if (!dualRowBasic) out.cstat[j] = kBasic;
    else if (f.sign[j] == 0) out.cstat[j] = kFreeNb;
    else out.cstat[j] = f.sign[j] > 0 ? kAtLower : kAtUpper;
    if (out.cstat[j] == kAtLower && !isInf(p.lb[j])) out.x[j] = p.lb[j];
    if (out.cstat[j] == kAtUpper && !isInf(p.ub[j])) out.x[j] = p.ub[j];
  }
  for (int k = 0; k < static_cast<int>(f.colRow.size()); ++k) {
    const int i = f.colRow[k];
    if (i >= 0) out.pi[i] += sen * f.colSigma[k] * ds.x[k];
  }
  for (int i = 0; i < m; ++i) {
    auto basic = [&](int k) { return k >= 0 && ds.cstat[k] == kBasic; };
    if (basic(f.rowEq[i]) || basic(f.rowLo[i])) out.rstat[i] = kAtLower;
    else if (basic(f.rowUp[i])) out.rstat[i] = kAtUpper;
  }
  for (int j = 0; j < n; ++j) {
    double dj = p.obj[j];
    for (int64_t k = p.matbeg[j]; k < p.matbeg[j + 1]; ++k) {
      dj -= p.matval[k] * out.pi[p.matind[k]];
      out.rowAct[p.matind[k]] += p.matval[k] * out.x[j];
    }
    out.dj[j] = dj;
  }
}

}  // namespace vnt::presolve
