// Basic presolve: the column bounds that the rows imply (bound propagation
// over the rows' activity limits) and the rows that those bounds make
// redundant.  The problem itself is left as it is.
#include <algorithm>
#include <cmath>
#include <string>

#include "api/chk_decls.h"
#include "model/opsupport.h"
#include "presolve/presolve.h"
#include "presolve/records.h"

namespace vnt::presolve {

namespace {

constexpr int kBasicPasses = 20;  // propagation sweeps over the rows at most

struct RowView {
  std::vector<int64_t> beg;
  std::vector<int> col;
  std::vector<double> val;
};

RowView rowView(const model::ModelData& md) {
  const int m = md.numRows(), n = md.numCols();
  RowView v;
  v.beg.assign(m + 1, 0);
  for (int64_t k = 0; k < md.matbeg[n]; ++k) ++v.beg[md.matind[k] + 1];
  for (int i = 0; i < m; ++i) v.beg[i + 1] += v.beg[i];
  v.col.resize(md.matbeg[n]);
  v.val.resize(md.matbeg[n]);
  std::vector<int64_t> pos(v.beg.begin(), v.beg.end() - 1);
  for (int j = 0; j < n; ++j)
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) {
      v.col[pos[md.matind[k]]] = j;
      v.val[pos[md.matind[k]]++] = md.matval[k];
    }
  return v;
}

}  // namespace

// Implied bounds (lb, ub in/out) and redundant rows (rstat: -1 redundant,
// 0 kept) of `md`.  Returns 0 or 1117 after printing the diagnostic.
int basicPresolve(Env& env, const model::ModelData& md, std::vector<double>& lb, std::vector<double>& ub,
                  std::vector<int>& rstat, double feasTol) {
  const int m = md.numRows(), n = md.numCols();
  std::vector<double> lo, up;
  rowLimits(md, lo, up);
  const RowView rv = rowView(md);
  std::vector<char> isInt(n, 0), semi(n, 0);
  for (int j = 0; j < static_cast<int>(md.ctype.size()); ++j) {
    const char t = md.ctype[j];
    isInt[j] = t == 'B' || t == 'I' || t == 'N';
    semi[j] = t == 'S' || t == 'N';
  }
  auto rowName = [&](int i) { return i < static_cast<int>(md.rowname.size()) ? md.rowname[i] : "c" + std::to_string(i + 1); };
  auto colName = [&](int j) { return j < static_cast<int>(md.colname.size()) ? md.colname[j] : "x" + std::to_string(j + 1); };
  // The values a column can take: a semi-continuous one also 0.
  auto domLo = [&](int j) { return semi[j] ? std::min(0.0, lb[j]) : lb[j]; };
  auto domUp = [&](int j) { return semi[j] ? std::max(0.0, ub[j]) : ub[j]; };
  struct Act {
    double min = 0, max = 0, scale = 0;
    int infMin = 0, infMax = 0;
  };
  auto activity = [&](int i) {
    Act a;
    for (int64_t k = rv.beg[i]; k < rv.beg[i + 1]; ++k) {
      const int j = rv.col[k];
      const double v = rv.val[k];
      const double l = v > 0 ? domLo(j) : domUp(j), h = v > 0 ? domUp(j) : domLo(j);
      if (isInf(l) || std::fabs(l) > tol::kHugeBound) ++a.infMin;
      else { a.min += v * l; a.scale = std::max(a.scale, std::fabs(v * l)); }
      if (isInf(h) || std::fabs(h) > tol::kHugeBound) ++a.infMax;
      else { a.max += v * h; a.scale = std::max(a.scale, std::fabs(v * h)); }
    }
    return a;
  };
  auto tolOf = [&](double ref) { return feasTol * std::max(1.0, std::fabs(ref)); };
  for (int pass = 0; pass < kBasicPasses; ++pass) {
    bool moved = false;
    for (int i = 0; i < m; ++i) {
      const Act a = activity(i);
      const double slack = tolOf(a.scale);
      if ((a.infMin == 0 && !isInf(up[i]) && a.min > up[i] + slack) ||
          (a.infMax == 0 && !isInf(lo[i]) && a.max < lo[i] - slack)) {
        print(env, Chan::Results, "Implied bounds make row '%.255s' infeasible.\n", rowName(i).c_str());
        return kInfeasible;
      }
      for (int64_t k = rv.beg[i]; k < rv.beg[i + 1]; ++k) {
        const int j = rv.col[k];
        if (semi[j]) continue;
        const double v = rv.val[k];
        const double l = v > 0 ? lb[j] : ub[j], h = v > 0 ? ub[j] : lb[j];
        // Activity of the rest of the row.
        double restMin = -tol::kInf, restMax = tol::kInf;
        const bool lFinite = !isInf(l) && std::fabs(l) <= tol::kHugeBound;
        const bool hFinite = !isInf(h) && std::fabs(h) <= tol::kHugeBound;
        if (a.infMin == 0) restMin = a.min - v * l;
        else if (a.infMin == 1 && !lFinite) restMin = a.min;
        if (a.infMax == 0) restMax = a.max - v * h;
        else if (a.infMax == 1 && !hFinite) restMax = a.max;
        // v x_j in [lo - restMax, up - restMin].
        double nlo = -tol::kInf, nhi = tol::kInf;
        const double tl = isInf(lo[i]) || isInf(restMax) ? -tol::kInf : lo[i] - restMax;
        const double th = isInf(up[i]) || isInf(restMin) ? tol::kInf : up[i] - restMin;
        if (v > 0) {
          if (!isInf(tl)) nlo = tl / v;
          if (!isInf(th)) nhi = th / v;
        } else {
          if (!isInf(th)) nlo = th / v;
          if (!isInf(tl)) nhi = tl / v;
        }
        if (isInt[j]) {
          if (!isInf(nlo)) nlo = std::ceil(nlo - tol::kIntRound);
          if (!isInf(nhi)) nhi = std::floor(nhi + tol::kIntRound);
        }
        if (!isInf(nlo) && std::fabs(nlo) < tol::kHugeBound &&
            nlo > lb[j] + tol::kBoundGain * std::max(1.0, std::fabs(lb[j])) + (isInt[j] ? 0.0 : tolOf(nlo))) {
          lb[j] = nlo;
          moved = true;
        }
        if (!isInf(nhi) && std::fabs(nhi) < tol::kHugeBound &&
            nhi < ub[j] - tol::kBoundGain * std::max(1.0, std::fabs(ub[j])) - (isInt[j] ? 0.0 : tolOf(nhi))) {
          ub[j] = nhi;
          moved = true;
        }
        if (lb[j] > ub[j]) {
          if (lb[j] - ub[j] > tolOf(std::max(std::fabs(lb[j]), std::fabs(ub[j])))) {
            print(env, Chan::Results, "Infeasible column '%.255s'.\n", colName(j).c_str());
            return kInfeasible;
          }
          lb[j] = ub[j] = 0.5 * (lb[j] + ub[j]);
        }
      }
    }
    if (!moved) break;
  }
  rstat.assign(m, 0);
  for (int i = 0; i < m; ++i) {
    const Act a = activity(i);
    const double slack = 1e-9 * std::max(1.0, a.scale);
    const bool loRed = isInf(lo[i]) || (a.infMin == 0 && a.min >= lo[i] - slack);
    const bool upRed = isInf(up[i]) || (a.infMax == 0 && a.max <= up[i] + slack);
    if (loRed && upRed) rstat[i] = -1;
  }
  return 0;
}

}  // namespace vnt::presolve

namespace vnt::chk {

int basicpresolve(Env& env, model::Problem& lp, double* redlb, double* redub, int* rstat) {
  if (int st = model::ops::refuseFixed(lp)) return st;
  if (int st = model::flushCache(env, lp)) return st;
  model::ModelData md;
  if (int st = model::exportData(lp, md)) return st;
  std::vector<double> lb = md.lb, ub = md.ub;
  std::vector<int> rs;
  const presolve::Options opt = presolve::optionsFromParams(env, model::isMipType(lp.probtype));
  int st = 0;
  try {
    st = presolve::basicPresolve(env, md, lb, ub, rs, opt.feasTol);
  } catch (const std::bad_alloc&) {
    print(env, Chan::Results, "Insufficient memory for presolve.\n");
    return 1001;
  }
  if (st) return st;
  if (redlb) std::copy(lb.begin(), lb.end(), redlb);
  if (redub) std::copy(ub.begin(), ub.end(), redub);
  if (rstat) std::copy(rs.begin(), rs.end(), rstat);
  model::ops::countWork(env, md.numNz());
  return 0;
}

}  // namespace vnt::chk
