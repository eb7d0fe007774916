// Generator of random LPs for the differential tests.  Feasible families are
// built from a primal point x0 inside every bound and row limit and a dual
// point (y, d) of the right signs, with c = A'y + d: both feasible, so the LP
// has an optimum.  The other families add a construction on top of such a
// model (a contradicting row combination, a hidden improving ray, ...).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "diff/diff_lp.h"
#include "diff/diff_rng.h"

namespace vnt::diff {

namespace {

// Row-wise working form while building; turned into the column form at the end.
struct Build {
  int n = 0;
  std::vector<std::vector<std::pair<int, double>>> rows;
  std::vector<double> lb, ub, x0, d;  // column bounds, primal point, reduced costs
  std::vector<char> kind;             // row kind: L G E R(+) r(-) (R with negative range)
  std::vector<double> lo, up;         // row limits
  std::vector<double> y;              // row duals (minimization form)
  double offset = 0.0;
  int objsen = 1;
  std::vector<double> extraObj;  // cost added on top of A'y + d (columns appended later)
  std::vector<std::pair<int, double>> forcedObj;  // columns whose cost is set outright

  long double act(int i) const {
    long double s = 0;
    for (auto [j, v] : rows[i]) s += static_cast<long double>(v) * x0[j];
    return s;
  }
};

enum BoundKind { kFree, kLower, kUpper, kBoxed, kFixed, kNegLower, kBeyondInf, kBoundKinds };

void addColumn(Build& b, Rng& r, int kind, bool atBound) {
  double lb = 0, ub = kInf, x = 0;
  const int a = r.range(-5, 5), w = r.range(1, 8);
  switch (kind) {
    case kFree: lb = -kInf; ub = kInf; x = r.range(-4, 4); break;
    case kLower: lb = r.chance(0.6) ? 0 : a; ub = kInf; x = atBound ? lb : lb + r.range(0, 5); break;
    case kUpper: lb = -kInf; ub = a; x = atBound ? ub : ub - r.range(0, 5); break;
    case kBoxed:
      lb = a; ub = a + w;
      x = atBound ? (r.chance(0.5) ? lb : ub) : lb + r.range(0, w);
      break;
    case kFixed: lb = ub = x = a; break;
    case kNegLower:
      lb = -r.range(1, 9); ub = r.chance(0.5) ? kInf : lb + w;
      x = atBound ? lb : lb + r.range(0, w);
      break;
    default:  // bounds given beyond the infinity value
      lb = r.chance(0.5) ? -1e30 : 0.0; ub = r.chance(0.5) ? 1e25 : 2e20;
      x = lb > -kInf ? lb + (atBound ? 0 : r.range(0, 3)) : r.range(-3, 3);
      break;
  }
  b.lb.push_back(lb); b.ub.push_back(ub); b.x0.push_back(x);
  ++b.n;
}

// Reduced cost of a column that keeps dual feasibility for its bound kind.
double pickReducedCost(Rng& r, double lb, double ub, double zeroProb) {
  if (r.chance(zeroProb)) return 0.0;
  const bool hasLo = lb > -kInf, hasUp = ub < kInf;
  const double v = r.range(1, 9);
  if (hasLo && hasUp) return r.chance(0.5) ? v : -v;
  if (hasLo) return v;
  if (hasUp) return -v;
  return 0.0;
}

// Limits and dual of row i from its activity at x0 and the chosen kind.
// slackMax 0 makes every inequality tight at x0 (primal degeneracy).
void setRow(Build& b, Rng& r, int i, char kind, int slackMax, double yZero) {
  const double act = static_cast<double>(b.act(i));
  const double s1 = slackMax > 0 && r.chance(0.6) ? r.range(0, slackMax) : 0;
  const double s2 = slackMax > 0 ? r.range(0, slackMax) : 0;
  double lo = -kInf, up = kInf, y = 0;
  const double v = r.range(1, 9);
  const bool zeroY = r.chance(yZero);
  switch (kind) {
    case 'L': up = act + s1; y = zeroY ? 0 : -v; break;
    case 'G': lo = act - s1; y = zeroY ? 0 : v; break;
    case 'E': lo = up = act; y = zeroY ? 0 : (r.chance(0.5) ? v : -v); break;
    case 'R': lo = act - s1; up = act + s2; y = zeroY ? 0 : (r.chance(0.5) ? v : -v); break;
    case 'r': lo = act - s2; up = act + s1; y = zeroY ? 0 : (r.chance(0.5) ? v : -v); break;
    default: break;
  }
  b.kind[i] = kind; b.lo[i] = lo; b.up[i] = up; b.y[i] = y;
}

char randomRowKind(Rng& r) { return "LLGGERr"[r.range(0, 6)]; }

void addRow(Build& b, std::vector<std::pair<int, double>> coefs) {
  b.rows.push_back(std::move(coefs));
  b.kind.push_back('L'); b.lo.push_back(-kInf); b.up.push_back(kInf); b.y.push_back(0.0);
}

// A feasible, bounded model with integer data: m rows, n columns, density p.
void buildBase(Build& b, Rng& r, int m, int n, double p, double degen, bool emptyRows) {
  for (int j = 0; j < n; ++j) addColumn(b, r, r.range(0, kBoundKinds - 1), r.chance(degen));
  for (int i = 0; i < m; ++i) {
    std::vector<std::pair<int, double>> row;
    const bool empty = emptyRows && r.chance(0.05);
    if (!empty)
      for (int j = 0; j < n; ++j)
        if (r.chance(p)) row.emplace_back(j, r.nonzeroInt(9));
    if (!empty && row.empty()) row.emplace_back(r.range(0, n - 1), r.nonzeroInt(9));
    addRow(b, std::move(row));
    setRow(b, r, i, randomRowKind(r), degen > 0.8 ? 0 : 6, 0.3 + 0.5 * degen);
  }
}

void finishDuals(Build& b, Rng& r, double zeroProb) {
  b.d.resize(b.n);
  for (int j = 0; j < b.n; ++j) b.d[j] = pickReducedCost(r, b.lb[j], b.ub[j], zeroProb);
}

// Column form with senses.  The objective is A'y + d (+ extraObj), in the
// model's sense.
Lp finish(const Build& b) {
  Lp lp;
  lp.n = b.n;
  lp.m = static_cast<int>(b.rows.size());
  lp.objsen = b.objsen;
  lp.offset = b.offset;
  lp.lb = b.lb; lp.ub = b.ub;
  std::vector<long double> c(b.n, 0.0L);
  std::vector<std::vector<std::pair<int, double>>> cols(b.n);
  for (int i = 0; i < lp.m; ++i)
    for (auto [j, v] : b.rows[i]) {
      cols[j].emplace_back(i, v);
      c[j] += static_cast<long double>(v) * b.y[i];
    }
  lp.obj.resize(b.n);
  for (int j = 0; j < b.n; ++j) {
    long double cj = c[j] + (j < static_cast<int>(b.d.size()) ? b.d[j] : 0.0);
    if (j < static_cast<int>(b.extraObj.size())) cj += b.extraObj[j];
    for (auto [k, v] : b.forcedObj)
      if (k == j) cj = v;
    lp.obj[j] = static_cast<double>(cj) * b.objsen;
    if (lp.obj[j] == 0.0) lp.obj[j] = 0.0;  // no negative zeros in files
  }
  for (int j = 0; j < b.n; ++j) {
    lp.beg.push_back(static_cast<int>(lp.ind.size()));
    lp.cnt.push_back(static_cast<int>(cols[j].size()));
    for (auto [i, v] : cols[j]) { lp.ind.push_back(i); lp.val.push_back(v); }
  }
  lp.rhs.resize(lp.m); lp.rng.assign(lp.m, 0.0); lp.sense.resize(lp.m);
  for (int i = 0; i < lp.m; ++i) {
    const double lo = b.lo[i], up = b.up[i];
    if (lo <= -kInf && up >= kInf) { lp.sense[i] = 'L'; lp.rhs[i] = kInf; continue; }  // free row
    if (lo <= -kInf) { lp.sense[i] = 'L'; lp.rhs[i] = up; continue; }
    if (up >= kInf) { lp.sense[i] = 'G'; lp.rhs[i] = lo; continue; }
    if (lo == up && b.kind[i] != 'R' && b.kind[i] != 'r') { lp.sense[i] = 'E'; lp.rhs[i] = lo; continue; }
    lp.sense[i] = 'R';
    if (b.kind[i] == 'r') { lp.rhs[i] = up; lp.rng[i] = lo - up; }  // negative range
    else { lp.rhs[i] = lo; lp.rng[i] = up - lo; }
  }
  return lp;
}

// Duplicate some columns (same column, cost and bounds: ties everywhere).
void duplicateColumns(Build& b, Rng& r, int count) {
  for (int t = 0; t < count && b.n > 0; ++t) {
    const int j = r.range(0, b.n - 1);
    b.lb.push_back(b.lb[j]); b.ub.push_back(b.ub[j]);
    // The copy sits at a bound (or 0 when free) so that x0 stays feasible.
    double x = b.lb[j] > -kInf ? b.lb[j] : (b.ub[j] < kInf ? b.ub[j] : 0.0);
    b.x0.push_back(0.0);
    const int k = b.n++;
    for (auto& row : b.rows)
      for (size_t e = 0; e < row.size(); ++e)
        if (row[e].first == j) { row.emplace_back(k, row[e].second); break; }
    // Move x0 mass so that activities do not change: x0[k] = x, x0[j] -= x
    // is only valid if j stays within its bounds; otherwise leave x0[k] at a
    // bound-feasible value and recompute the row limits afterwards.
    b.x0[k] = x;
  }
}

Case genMixed(Rng& r, const GenOptions& o, bool large) {
  Case c;
  Build b;
  int m, n;
  double p;
  if (large) {
    m = r.range(std::min(60, o.maxRows), std::max(60, o.maxRows));
    n = r.range(m / 2, 2 * m);
    const bool dense = m <= 120 && r.chance(0.3);
    p = dense ? 0.2 + 0.6 * r.uni() : std::min(1.0, r.range(2, 6) / static_cast<double>(m));
    c.note = dense ? "dense" : "sparse";
  } else {
    m = r.chance(0.5) ? r.range(2, 12) : r.range(13, 60);
    n = r.range(std::max(2, m / 2), 2 * m + 2);
    p = r.chance(0.3) ? 0.5 + 0.5 * r.uni() : std::max(0.05, r.uni() * 0.5);
  }
  buildBase(b, r, m, n, p, 0.3, true);
  finishDuals(b, r, 0.3);
  b.objsen = r.chance(0.3) ? -1 : 1;
  if (r.chance(0.4)) b.offset = r.range(-50, 50) * 0.5;
  c.lp = finish(b);
  c.note += " " + std::to_string(m) + "x" + std::to_string(n);
  return c;
}

Case genDegen(Rng& r, const GenOptions&) {
  Case c;
  Build b;
  const int m = r.chance(0.5) ? r.range(3, 8) : r.range(9, 40);
  const int n = r.range(m, 2 * m + 2);
  // Columns mostly at lower bound 0 so that many rows have zero rhs.
  for (int j = 0; j < n; ++j) {
    const int kind = r.chance(0.7) ? kLower : r.range(0, kBoundKinds - 1);
    addColumn(b, r, kind, true);
    if (kind == kLower && r.chance(0.8)) { b.lb[j] = 0; b.x0[j] = 0; }
  }
  for (int i = 0; i < m; ++i) {
    std::vector<std::pair<int, double>> row;
    for (int j = 0; j < n; ++j)
      if (r.chance(0.5)) row.emplace_back(j, r.range(1, 3) * (r.chance(0.7) ? 1 : -1));
    if (row.empty()) row.emplace_back(r.range(0, n - 1), 1);
    addRow(b, std::move(row));
  }
  duplicateColumns(b, r, r.range(1, 3));
  // Duplicate a row or two.
  for (int t = r.range(0, 2); t > 0; --t) addRow(b, b.rows[r.range(0, m - 1)]);
  for (size_t i = 0; i < b.rows.size(); ++i) setRow(b, r, static_cast<int>(i), "LLGE"[r.range(0, 3)], 0, 0.6);
  finishDuals(b, r, 0.7);
  // Cost ties: round the duals to few values already; flip sense sometimes.
  b.objsen = r.chance(0.3) ? -1 : 1;
  c.lp = finish(b);
  c.note = std::to_string(c.lp.m) + "x" + std::to_string(c.lp.n);
  return c;
}

// Rows that are combinations of others, with tiny perturbations of the
// coefficients and the limits.
Case genNearDep(Rng& r, const GenOptions& o) {
  Case c;
  Build b;
  const int m = r.range(3, 30), n = r.range(m, 2 * m + 2);
  buildBase(b, r, m, n, 0.3 + 0.5 * r.uni(), 0.3, false);
  const int extra = r.range(1, std::max(1, m / 2));
  for (int t = 0; t < extra; ++t) {
    std::vector<double> dense(n, 0.0);
    const int parts = r.range(1, 3);
    for (int q = 0; q < parts; ++q) {
      const int src = r.range(0, m - 1);
      const double w = r.nonzeroInt(3);
      for (auto [j, v] : b.rows[src]) dense[j] += w * v;
    }
    std::vector<std::pair<int, double>> row;
    for (int j = 0; j < n; ++j) {
      if (dense[j] == 0) continue;
      double v = dense[j];
      if (r.chance(0.5)) v *= 1 + (r.chance(0.5) ? 1 : -1) * std::pow(10.0, -9 + 3 * r.uni());
      row.emplace_back(j, v);
    }
    if (row.empty()) continue;
    addRow(b, std::move(row));
    const int i = static_cast<int>(b.rows.size()) - 1;
    setRow(b, r, i, randomRowKind(r), r.chance(0.5) ? 0 : 3, 0.7);
    // Perturb the limits by a relative 1e-9 .. 1e-6 outwards (keeps x0 feasible).
    const double eps = std::pow(10.0, -9 + 3 * r.uni());
    if (b.lo[i] > -kInf) b.lo[i] -= eps * std::max(1.0, std::fabs(b.lo[i]));
    if (b.up[i] < kInf) b.up[i] += eps * std::max(1.0, std::fabs(b.up[i]));
    if (b.kind[i] == 'E') b.kind[i] = 'R';
  }
  finishDuals(b, r, 0.4);
  b.objsen = r.chance(0.3) ? -1 : 1;
  c.lp = finish(b);
  c.note = std::to_string(c.lp.m) + "x" + std::to_string(c.lp.n) + " +" + std::to_string(extra) + " combined";
  (void)o;
  return c;
}

// Two equality rows whose coefficients and right-hand sides differ in the
// ninth significant digit, both satisfied exactly by an integer point: the
// coefficients are integers of nine digits over 2^27, so every activity is
// exact in double and in the written file.
Case genNearPar(Rng& r, const GenOptions&) {
  Case c;
  Build b;
  const int n = r.range(3, 8);
  for (int j = 0; j < n; ++j) {
    b.lb.push_back(0); b.ub.push_back(r.chance(0.7) ? 10.0 : kInf);
    b.x0.push_back(r.range(0, 10));
    ++b.n;
  }
  std::vector<std::pair<int, double>> r1, r2;
  for (int j = 0; j < n; ++j) {
    const long long k = 100000000LL + static_cast<long long>(r.next() % 900000000ULL);
    const long long k2 = k + r.nonzeroInt(9);
    r1.emplace_back(j, std::ldexp(static_cast<double>(k), -27));
    r2.emplace_back(j, std::ldexp(static_cast<double>(k2), -27));
  }
  addRow(b, r1);
  addRow(b, r2);
  setRow(b, r, 0, 'E', 0, 0.3);
  setRow(b, r, 1, 'E', 0, 0.3);
  // A third row: a plain inequality through x0 or a sum limit.
  std::vector<std::pair<int, double>> r3;
  for (int j = 0; j < n; ++j)
    if (r.chance(0.6)) r3.emplace_back(j, r.range(1, 5));
  if (r3.empty()) r3.emplace_back(0, 1.0);
  addRow(b, r3);
  setRow(b, r, 2, r.chance(0.5) ? 'L' : 'G', 4, 0.3);
  finishDuals(b, r, 0.3);
  b.objsen = r.chance(0.5) ? -1 : 1;
  c.lp = finish(b);
  c.note = "3x" + std::to_string(n);
  return c;
}

// An integer base scaled by powers of ten per row and column.
Case genScaled(Rng& r, const GenOptions& o) {
  Case c = genMixed(r, o, false);
  Lp& lp = c.lp;
  std::vector<double> rs(lp.m), cs(lp.n);
  for (double& v : rs) v = std::pow(10.0, -2 + 4.5 * r.uni());
  for (double& v : cs) v = std::pow(10.0, -2 + 4.5 * r.uni());
  // x' = x / cs: A' = R A C, c' = C c, bounds / cs, limits * rs.
  for (int j = 0; j < lp.n; ++j) {
    for (int k = lp.beg[j]; k < lp.beg[j] + lp.cnt[j]; ++k) lp.val[k] *= rs[lp.ind[k]] * cs[j];
    lp.obj[j] *= cs[j];
    if (lp.lb[j] > -kInf) lp.lb[j] /= cs[j];
    if (lp.ub[j] < kInf) lp.ub[j] /= cs[j];
  }
  for (int i = 0; i < lp.m; ++i) {
    if (std::fabs(lp.rhs[i]) < kInf) lp.rhs[i] *= rs[i];
    lp.rng[i] *= rs[i];
  }
  c.note = "scaled " + c.note;
  return c;
}

// Infeasible: one or two constructions on a feasible base.
Case genInfeas(Rng& r, const GenOptions& o, bool withRay) {
  Case c;
  Build b;
  const int m = r.range(2, 25), n = r.range(std::max(2, m / 2), 2 * m + 2);
  buildBase(b, r, m, n, 0.2 + 0.5 * r.uni(), 0.3, false);
  const int how = r.range(0, 3);
  std::vector<char> proofRow;  // rows the infeasibility proof uses (the ray must stay out of them)
  auto mark = [&](int i) {
    if (static_cast<int>(proofRow.size()) <= i) proofRow.resize(i + 1, 0);
    proofRow[i] = 1;
  };
  switch (how) {
    case 0: {  // a combination of equality rows with an impossible right-hand side
      const int k = std::min(m, r.range(1, 3));
      std::vector<double> dense(n, 0.0);
      double target = 0;
      for (int q = 0; q < k; ++q) {
        const int i = r.range(0, m - 1);
        mark(i);
        setRow(b, r, i, 'E', 0, 0.3);
        const double w = r.nonzeroInt(3);
        for (auto [j, v] : b.rows[i]) dense[j] += w * v;
        target += w * b.lo[i];
      }
      std::vector<std::pair<int, double>> row;
      for (int j = 0; j < n; ++j)
        if (dense[j] != 0) row.emplace_back(j, dense[j]);
      if (row.empty()) {  // the combination cancelled: a plain conflicting empty row
        addRow(b, {});
        b.kind.back() = 'G'; b.lo.back() = 1.0;
        c.note = "empty row >= 1";
        break;
      }
      addRow(b, std::move(row));
      b.kind.back() = 'E';
      b.lo.back() = b.up.back() = target + (r.chance(0.5) ? 1 : -1) * (r.chance(0.5) ? 1.0 : 1e-3);
      c.note = "combination of E rows with another rhs";
      break;
    }
    case 1: {  // a row beyond what the bounds allow
      std::vector<std::pair<int, double>> row;
      long double maxAct = 0;
      for (int j = 0; j < n; ++j) {
        if (b.lb[j] <= -kInf || b.ub[j] >= kInf) continue;
        const double v = r.nonzeroInt(5);
        row.emplace_back(j, v);
        maxAct += v > 0 ? v * b.ub[j] : v * b.lb[j];
      }
      if (row.empty()) {
        b.lb[0] = 0; b.ub[0] = 1; b.x0[0] = 0;
        row.emplace_back(0, 1.0);
        maxAct = 1;
      }
      addRow(b, std::move(row));
      b.kind.back() = 'G';
      b.lo.back() = static_cast<double>(maxAct) + r.range(1, 3);
      c.note = "row above its bound-implied maximum";
      break;
    }
    case 2: {  // an empty ranged row that excludes zero
      addRow(b, {});
      b.kind.back() = 'R';
      b.lo.back() = r.range(1, 4);
      b.up.back() = b.lo.back() + r.range(0, 3);
      c.note = "empty ranged row excluding 0";
      break;
    }
    default: {  // the same row twice with disjoint limits
      const int i = r.range(0, m - 1);
      mark(i);
      if (b.rows[i].empty()) b.rows[i].emplace_back(0, 1.0);
      const double act = static_cast<double>(b.act(i));
      b.kind[i] = 'L'; b.lo[i] = -kInf; b.up[i] = act; b.y[i] = 0;
      addRow(b, b.rows[i]);
      b.kind.back() = 'G'; b.lo.back() = act + r.range(1, 2);
      c.note = "row copy with disjoint limits";
    }
  }
  mark(static_cast<int>(b.rows.size()) - 1);  // the added row (every construction adds one last)
  finishDuals(b, r, 0.3);
  if (withRay) {  // a pair of columns along which the objective falls without limit
    std::vector<std::pair<int, double>> col;
    const int t = r.range(-3, 3), u = r.range(1, 4);
    const int k1 = b.n, k2 = b.n + 1;
    b.lb.push_back(0); b.ub.push_back(kInf); b.x0.push_back(0);
    b.lb.push_back(-kInf); b.ub.push_back(0); b.x0.push_back(0);
    b.n += 2;
    proofRow.resize(b.rows.size(), 0);
    for (size_t i = 0; i < b.rows.size(); ++i)
      if (!proofRow[i] && r.chance(0.3)) {
        const double v = r.nonzeroInt(5);
        b.rows[i].emplace_back(k1, v); b.rows[i].emplace_back(k2, v);
      }
    // Costs beyond A'y: d is dual-infeasible along e_k1 - e_k2.
    b.d.push_back(0); b.d.push_back(0);
    b.extraObj.assign(b.n, 0.0);
    b.extraObj[k1] = t; b.extraObj[k2] = t + u;
    c.note += ", plus an improving ray";
  }
  b.objsen = r.chance(0.3) ? -1 : 1;
  c.lp = finish(b);
  (void)o;
  return c;
}

// Unbounded: a feasible base plus a hidden improving direction.
Case genUnbd(Rng& r, const GenOptions& o) {
  Case c;
  Build b;
  const int m = r.range(2, 25), n = r.range(std::max(2, m / 2), 2 * m + 2);
  buildBase(b, r, m, n, 0.2 + 0.5 * r.uni(), 0.3, true);
  finishDuals(b, r, 0.3);
  b.extraObj.assign(b.n, 0.0);
  if (r.chance(0.5)) {
    // A column that only loosens inequality rows, with falling cost.
    const int k = b.n++;
    b.lb.push_back(r.chance(0.5) ? 0.0 : -2.0); b.ub.push_back(kInf);
    b.x0.push_back(b.lb.back());
    for (size_t i = 0; i < b.rows.size(); ++i) {
      if (!r.chance(0.5)) continue;
      const bool openUp = b.up[i] >= kInf, openLo = b.lo[i] <= -kInf;
      if (openUp && !openLo) b.rows[i].emplace_back(k, r.range(1, 5));
      else if (openLo && !openUp) b.rows[i].emplace_back(k, -r.range(1, 5));
    }
    // x0 changed the activities only by x0[k] * column: recompute tight limits.
    for (size_t i = 0; i < b.rows.size(); ++i) {
      const double act = static_cast<double>(b.act(static_cast<int>(i)));
      if (b.lo[i] > -kInf) b.lo[i] = std::min(b.lo[i], act);
      if (b.up[i] < kInf) b.up[i] = std::max(b.up[i], act);
    }
    b.d.push_back(0);
    b.extraObj.push_back(0.0);
    b.forcedObj.emplace_back(k, -r.range(1, 5));
    c.note = "column loosening inequalities with falling cost";
  } else {
    const int t = r.range(-3, 3), u = r.range(1, 4);
    const int k1 = b.n, k2 = b.n + 1;
    b.lb.push_back(0); b.ub.push_back(kInf); b.x0.push_back(0);
    b.lb.push_back(-kInf); b.ub.push_back(0); b.x0.push_back(0);
    b.n += 2;
    for (auto& row : b.rows)
      if (r.chance(0.4)) {
        const double v = r.nonzeroInt(5);
        row.emplace_back(k1, v); row.emplace_back(k2, v);
      }
    b.d.push_back(0); b.d.push_back(0);
    b.extraObj.push_back(t); b.extraObj.push_back(t + u);
    c.note = "column pair e_k1 - e_k2 with falling cost";
  }
  b.objsen = r.chance(0.3) ? -1 : 1;
  c.lp = finish(b);
  (void)o;
  return c;
}

// Small degenerate models of the kind that cycle under the largest-coefficient
// rule: the classical 3-row example in random row/column order and scaling,
// and random 5-row models with zero right-hand sides and tied costs.
Case genCycle(Rng& r, const GenOptions&) {
  Case c;
  Lp& lp = c.lp;
  if (r.chance(0.3)) {
    // min -3/4 x1 + 20 x2 - 1/2 x3 + 6 x4
    //  1/4 x1 -  8 x2 -     x3 + 9 x4 <= 0
    //  1/2 x1 - 12 x2 - 1/2 x3 + 3 x4 <= 0
    //                        x3       <= 1,   x >= 0;  optimum -1/20
    double a[3][4] = {{0.25, -8, -1, 9}, {0.5, -12, -0.5, 3}, {0, 0, 1, 0}};
    double cost[4] = {-0.75, 20, -0.5, 6};
    double rhs[3] = {0, 0, 1};
    int pc[4] = {0, 1, 2, 3}, pr[3] = {0, 1, 2};
    for (int t = 3; t > 0; --t) std::swap(pc[t], pc[r.range(0, t)]);
    for (int t = 2; t > 0; --t) std::swap(pr[t], pr[r.range(0, t)]);
    const bool scale = r.chance(0.5);
    lp.n = 4; lp.m = 3;
    lp.objsen = 1;
    for (int jj = 0; jj < 4; ++jj) {
      const int j = pc[jj];
      const double s = scale ? std::ldexp(1.0, r.range(-3, 3)) : 1.0;
      lp.obj.push_back(cost[j] * s);
      lp.lb.push_back(0); lp.ub.push_back(kInf);
      lp.beg.push_back(lp.nnz());
      int cnt = 0;
      for (int ii = 0; ii < 3; ++ii)
        if (a[pr[ii]][j] != 0) { lp.ind.push_back(ii); lp.val.push_back(a[pr[ii]][j] * s); ++cnt; }
      lp.cnt.push_back(cnt);
    }
    for (int ii = 0; ii < 3; ++ii) { lp.rhs.push_back(rhs[pr[ii]]); lp.sense.push_back('L'); lp.rng.push_back(0); }
    c.note = "classical cycling example";
    return c;
  }
  Build b;
  const int m = r.range(4, 6), n = r.range(5, 8);
  for (int j = 0; j < n; ++j) { b.lb.push_back(0); b.ub.push_back(r.chance(0.2) ? 1.0 : kInf); b.x0.push_back(0); ++b.n; }
  for (int i = 0; i < m; ++i) {
    std::vector<std::pair<int, double>> row;
    for (int j = 0; j < n; ++j)
      if (r.chance(0.7)) row.emplace_back(j, r.range(-4, 4) * 0.5);
    row.erase(std::remove_if(row.begin(), row.end(), [](auto& e) { return e.second == 0; }), row.end());
    if (row.empty()) row.emplace_back(r.range(0, n - 1), 1.0);
    addRow(b, std::move(row));
    setRow(b, r, i, r.chance(0.8) ? 'L' : 'E', 0, 0.5);
  }
  // A bounding row keeps the optimum finite even when the duals say little.
  std::vector<std::pair<int, double>> sum;
  for (int j = 0; j < n; ++j) sum.emplace_back(j, 1.0);
  addRow(b, std::move(sum));
  b.kind.back() = 'L'; b.up.back() = 1; b.y.back() = -r.range(0, 2);
  finishDuals(b, r, 0.5);
  b.extraObj.assign(b.n, 0.0);
  for (int j = 0; j < n; ++j) b.extraObj[j] = -r.range(0, 1);  // ties; the sum row bounds them
  // Keep dual feasibility: the extra costs are only negative on columns the
  // sum row bounds, so the LP stays bounded (it is a bounded polytope).
  c.lp = finish(b);
  c.note = "degenerate " + std::to_string(c.lp.m) + "x" + std::to_string(c.lp.n);
  return c;
}

}  // namespace

void Lp::rowLimits(int i, double& lo, double& up) const {
  const double b = rhs[i];
  switch (sense[i]) {
    case 'L': lo = -kInf; up = b; break;
    case 'G': lo = b; up = kInf; break;
    case 'E': lo = up = b; break;
    default:
      if (rng[i] >= 0) { lo = b; up = b + rng[i]; }
      else { lo = b + rng[i]; up = b; }
  }
  if (lo <= -kInf) lo = -kInf;
  if (up >= kInf) up = kInf;
}

const char* intentName(Intent k) {
  switch (k) {
    case Intent::Optimal: return "optimal";
    case Intent::Infeasible: return "infeasible";
    case Intent::Unbounded: return "unbounded";
    case Intent::InfOrUnbd: return "inf-or-unbd";
    default: return "error";
  }
}

static const char* const kFamilyNames[] = {"mixed", "degen", "neardep", "nearpar", "scaled", "large",
                                           "infeas", "unbd", "infunbd", "crossed", "cycle", "baddata"};

const char* familyName(Family f) { return kFamilyNames[static_cast<int>(f)]; }

bool familyFromName(const std::string& s, Family& f) {
  for (int k = 0; k < static_cast<int>(Family::kCount); ++k)
    if (s == kFamilyNames[k]) { f = static_cast<Family>(k); return true; }
  return false;
}

Case generate(uint64_t id, Family family, const GenOptions& opt) {
  Rng r(id * 131 + static_cast<uint64_t>(family) * 7919 + 17);
  Case c;
  switch (family) {
    case Family::Mixed: c = genMixed(r, opt, false); break;
    case Family::Degen: c = genDegen(r, opt); break;
    case Family::NearDep: c = genNearDep(r, opt); break;
    case Family::NearPar: c = genNearPar(r, opt); break;
    case Family::Scaled: c = genScaled(r, opt); break;
    case Family::Large: c = genMixed(r, opt, true); break;
    case Family::Infeas: c = genInfeas(r, opt, false); c.intent = Intent::Infeasible; break;
    case Family::Unbd: c = genUnbd(r, opt); c.intent = Intent::Unbounded; break;
    case Family::InfUnbd: c = genInfeas(r, opt, true); c.intent = Intent::InfOrUnbd; break;
    case Family::Crossed: {
      c = genMixed(r, opt, false);
      const int j = r.range(0, c.lp.n - 1);
      const double base = c.lp.ub[j] < kInf ? c.lp.ub[j] : (c.lp.lb[j] > -kInf ? c.lp.lb[j] : 0.0);
      c.lp.ub[j] = base;
      c.lp.lb[j] = base + r.range(1, 4);
      c.intent = Intent::Infeasible;
      c.note += " crossed bounds on C" + std::to_string(j);
      break;
    }
    case Family::Cycle: c = genCycle(r, opt); break;
    case Family::BadData: c = genMixed(r, opt, false); c.intent = Intent::Error; break;
    default: break;
  }
  c.id = id;
  c.family = family;
  return c;
}

// ---------------------------------------------------------------------------

void Change::applyTo(Lp& lp) const {
  for (size_t k = 0; k < bdIdx.size(); ++k) {
    const int j = bdIdx[k];
    if (bdLu[k] == 'L' || bdLu[k] == 'B') lp.lb[j] = bdVal[k];
    if (bdLu[k] == 'U' || bdLu[k] == 'B') lp.ub[j] = bdVal[k];
  }
  for (size_t k = 0; k < objIdx.size(); ++k) lp.obj[objIdx[k]] = objVal[k];
  for (size_t k = 0; k < rhsIdx.size(); ++k) lp.rhs[rhsIdx[k]] = rhsVal[k];
  if (offsetChanged) lp.offset = offset;
}

std::string Change::describe() const {
  std::ostringstream s;
  for (size_t k = 0; k < bdIdx.size(); ++k) s << " bound " << bdLu[k] << " C" << bdIdx[k] << "=" << bdVal[k];
  for (size_t k = 0; k < objIdx.size(); ++k) s << " obj C" << objIdx[k] << "=" << objVal[k];
  for (size_t k = 0; k < rhsIdx.size(); ++k) s << " rhs R" << rhsIdx[k] << "=" << rhsVal[k];
  if (offsetChanged) s << " offset=" << offset;
  return s.str();
}

Change randomChange(const Lp& lp, uint64_t seed, bool withOffset) {
  Rng r(seed * 7 + 3);
  Change ch;
  const int nb = r.range(0, 3), no = r.range(0, 3), nr = lp.m > 0 ? r.range(0, 2) : 0;
  for (int t = 0; t < nb; ++t) {
    const int j = r.range(0, lp.n - 1);
    // A change that keeps lb <= ub: move one side within the other.
    const double lb = lp.lb[j], ub = lp.ub[j];
    if (r.chance(0.5)) {
      const double v = ub < kInf ? ub - r.range(0, 4) : r.range(-5, 5);
      ch.bdIdx.push_back(j); ch.bdLu.push_back('L'); ch.bdVal.push_back(v);
    } else if (r.chance(0.7)) {
      const double v = lb > -kInf ? lb + r.range(0, 4) : r.range(-5, 5);
      ch.bdIdx.push_back(j); ch.bdLu.push_back('U'); ch.bdVal.push_back(v);
    } else {
      ch.bdIdx.push_back(j); ch.bdLu.push_back('B'); ch.bdVal.push_back(r.range(-3, 3));
    }
    // Later changes of the same column must see this one: keep it simple by
    // never touching a column twice.
    for (int q = 0; q + 1 < static_cast<int>(ch.bdIdx.size()); ++q)
      if (ch.bdIdx[q] == j) { ch.bdIdx.pop_back(); ch.bdLu.pop_back(); ch.bdVal.pop_back(); break; }
  }
  for (int t = 0; t < no; ++t) {
    const int j = r.range(0, lp.n - 1);
    ch.objIdx.push_back(j);
    ch.objVal.push_back(lp.obj[j] + r.range(-5, 5));
  }
  for (int t = 0; t < nr; ++t) {
    const int i = r.range(0, lp.m - 1);
    if (std::fabs(lp.rhs[i]) >= kInf) continue;
    ch.rhsIdx.push_back(i);
    ch.rhsVal.push_back(lp.rhs[i] + r.range(-3, 3));
  }
  if (withOffset) {
    ch.offsetChanged = true;
    ch.offset = lp.offset + r.range(1, 20);
  }
  return ch;
}

// ---------------------------------------------------------------------------

static std::string num(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string toMps(const Lp& lp, const std::string& name) {
  std::ostringstream o;
  o << "NAME " << name << "\nROWS\n N obj\n";
  for (int i = 0; i < lp.m; ++i) {
    char s = lp.sense[i] == 'R' ? 'E' : lp.sense[i];
    if (s == 'L' && lp.rhs[i] >= kInf) s = 'N';  // free row
    // A free row is written as N; readers keep the first N row as the
    // objective, which is ours, so later N rows are dropped by some readers.
    // The generator gives free rows no coefficients' role, so this is safe.
    o << " " << s << " R" << i << "\n";
  }
  o << "COLUMNS\n";
  for (int j = 0; j < lp.n; ++j) {
    const double c = lp.obj[j] * lp.objsen;
    if (c != 0) o << " C" << j << " obj " << num(c) << "\n";
    for (int k = lp.beg[j]; k < lp.beg[j] + lp.cnt[j]; ++k)
      o << " C" << j << " R" << lp.ind[k] << " " << num(lp.val[k]) << "\n";
    if (c == 0 && lp.cnt[j] == 0) o << " C" << j << " obj 0\n";
  }
  o << "RHS\n";
  for (int i = 0; i < lp.m; ++i)
    if (lp.rhs[i] != 0 && std::fabs(lp.rhs[i]) < kInf) o << " RHS R" << i << " " << num(lp.rhs[i]) << "\n";
  o << "RANGES\n";
  for (int i = 0; i < lp.m; ++i)
    if (lp.sense[i] == 'R') {
      // An E row with range r: [rhs, rhs + r] for r > 0, [rhs + r, rhs] for r < 0;
      // a zero range stays an equality.
      if (lp.rng[i] != 0) o << " RNG R" << i << " " << num(lp.rng[i]) << "\n";
    }
  o << "BOUNDS\n";
  for (int j = 0; j < lp.n; ++j) {
    const double lb = lp.lb[j], ub = lp.ub[j];
    const bool loInf = lb <= -kInf, upInf = ub >= kInf;
    if (!loInf && !upInf && lb == ub) { o << " FX BND C" << j << " " << num(lb) << "\n"; continue; }
    if (loInf && upInf) { o << " FR BND C" << j << "\n"; continue; }
    // The upper bound first: some readers take a negative UP on a zero lower
    // bound as a free lower bound; an explicit LO afterwards settles it.
    if (!upInf) o << " UP BND C" << j << " " << num(ub) << "\n";
    if (loInf) o << " MI BND C" << j << "\n";
    else if (lb != 0 || (!upInf && ub < 0)) o << " LO BND C" << j << " " << num(lb) << "\n";
  }
  o << "ENDATA\n";
  return o.str();
}

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
  return static_cast<bool>(f);
}

}  // namespace vnt::diff

namespace vnt::diff {

Lp dropRowsCols(const Lp& lp, const std::vector<char>& dropRow, const std::vector<char>& dropCol) {
  Lp out;
  out.objsen = lp.objsen;
  out.offset = lp.offset;
  std::vector<int> newRow(lp.m, -1);
  for (int i = 0; i < lp.m; ++i)
    if (!dropRow[i]) {
      newRow[i] = out.m++;
      out.rhs.push_back(lp.rhs[i]); out.rng.push_back(lp.rng[i]); out.sense.push_back(lp.sense[i]);
    }
  for (int j = 0; j < lp.n; ++j) {
    if (dropCol[j]) continue;
    ++out.n;
    out.obj.push_back(lp.obj[j]); out.lb.push_back(lp.lb[j]); out.ub.push_back(lp.ub[j]);
    out.beg.push_back(out.nnz());
    int c = 0;
    for (int k = lp.beg[j]; k < lp.beg[j] + lp.cnt[j]; ++k)
      if (newRow[lp.ind[k]] >= 0) { out.ind.push_back(newRow[lp.ind[k]]); out.val.push_back(lp.val[k]); ++c; }
    out.cnt.push_back(c);
  }
  return out;
}

Lp minimize(const Lp& input, const std::function<bool(const Lp&)>& stillFails, int maxTries) {
  Lp cur = input;
  int tries = 0;
  for (int pass = 0; pass < 2 && tries < maxTries; ++pass) {
    for (int what = 0; what < 2; ++what) {  // rows, then columns
      int size = what == 0 ? cur.m : cur.n;
      for (int chunk = std::max(1, size / 2); chunk >= 1 && tries < maxTries; chunk /= 2) {
        for (int start = 0; start < (what == 0 ? cur.m : cur.n) && tries < maxTries;) {
          const int total = what == 0 ? cur.m : cur.n;
          if (what == 1 && total - chunk < 1) break;
          std::vector<char> dr(cur.m, 0), dc(cur.n, 0);
          for (int k = start; k < std::min(total, start + chunk); ++k) (what == 0 ? dr : dc)[k] = 1;
          Lp cand = dropRowsCols(cur, dr, dc);
          ++tries;
          if (stillFails(cand)) cur = std::move(cand);  // same start: the next chunk slid in
          else start += chunk;
        }
        if (chunk == 1) break;
      }
    }
  }
  return cur;
}

}  // namespace vnt::diff
