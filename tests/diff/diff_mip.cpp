// Randomized differential testing of the MIP optimizer: generator, peers,
// independent checks and the comparison of one case.
//
// Feasible families are built around a planted point x0 (integer where the
// column is) that satisfies every row, and an objective c = A'y + d with row
// duals y and reduced costs d of the signs the bounds allow, so the LP
// relaxation is bounded: the MIP has an optimum no worse than c'x0.
#include "diff/diff_mip.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <numeric>
#include <sstream>

#include "diff/diff_rng.h"
#include "vanto/vnt_params.h"

namespace vnt::diff {

using LD = long double;

namespace {

const char* const kMipFamilyNames[] = {"mipmix", "knapsack", "setcover", "setpart", "fixcharge", "bigm",
                                       "mipscaled", "mipinf", "mipunbd", "semicont", "sos"};
static_assert(sizeof(kMipFamilyNames) / sizeof(kMipFamilyNames[0]) == static_cast<size_t>(MipFamily::kCount));

bool isInf(double b) { return std::fabs(b) >= kInf; }
bool isIntType(char t) { return t == 'B' || t == 'I' || t == 'N'; }
bool isSemiType(char t) { return t == 'S' || t == 'N'; }

std::string num(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}


// Row-wise working form of a generated MIP.
struct Builder {
  std::vector<double> lb, ub, x0, c;  // c: minimization-form cost (filled at the end)
  std::vector<char> ct;
  std::vector<std::vector<std::pair<int, double>>> rows;
  std::vector<double> lo, up;         // row limits
  std::vector<char> kind;             // L G E R
  std::vector<SosSet> sos;
  int objsen = 1;
  double offset = 0;

  int n() const { return static_cast<int>(lb.size()); }
  int addCol(char t, double l, double u, double x) {
    ct.push_back(t); lb.push_back(l); ub.push_back(u); x0.push_back(x); c.push_back(0);
    return n() - 1;
  }
  LD act(const std::vector<std::pair<int, double>>& row) const {
    LD s = 0;
    for (auto [j, v] : row) s += static_cast<LD>(v) * x0[j];
    return s;
  }
  void addRow(std::vector<std::pair<int, double>> row, char k, double l, double u) {
    rows.push_back(std::move(row)); kind.push_back(k); lo.push_back(l); up.push_back(u);
  }
  // A row through x0 of kind k with integer slack up to slack.
  void addRowAround(Rng& r, std::vector<std::pair<int, double>> row, char k, int slack) {
    const double a = static_cast<double>(act(row));
    const double s1 = r.range(0, slack), s2 = r.range(0, slack);
    switch (k) {
      case 'L': addRow(std::move(row), 'L', -kInf, a + s1); break;
      case 'G': addRow(std::move(row), 'G', a - s1, kInf); break;
      case 'E': addRow(std::move(row), 'E', a, a); break;
      default: addRow(std::move(row), 'R', a - s1, a + s2); break;
    }
  }
  // Objective c = A'y + d from duals of the right signs (the LP relaxation
  // is then bounded), y zero with probability yZero.
  void dualObjective(Rng& r, double yZero) {
    std::fill(c.begin(), c.end(), 0.0);
    for (size_t i = 0; i < rows.size(); ++i) {
      if (r.chance(yZero)) continue;
      const double v = r.range(1, 6);
      double y = 0;
      switch (kind[i]) {
        case 'L': y = -v; break;
        case 'G': y = v; break;
        default: y = r.chance(0.5) ? v : -v; break;
      }
      if (kind[i] == 'L' && isInf(up[i])) y = 0;
      if (kind[i] == 'G' && isInf(lo[i])) y = 0;
      for (auto [j, a] : rows[i]) c[j] += y * a;
    }
    for (int j = 0; j < n(); ++j) {
      // Semi-continuous columns relax to [0, ub]: boxed.
      const bool lf = !isInf(lb[j]) || isSemiType(ct[j]), uf = !isInf(ub[j]);
      const int d = r.range(0, 5);
      if (lf && uf) c[j] += r.chance(0.5) ? d : -d;
      else if (lf) c[j] += d;
      else if (uf) c[j] -= d;
    }
  }
  Mip finish() const {
    Mip m;
    Lp& lp = m.lp;
    lp.n = n();
    lp.m = static_cast<int>(rows.size());
    lp.objsen = objsen;
    lp.offset = offset;
    for (int j = 0; j < lp.n; ++j) lp.obj.push_back(c[j] * objsen);
    lp.lb = lb; lp.ub = ub;
    m.ctype = ct;
    m.sos = sos;
    std::vector<std::vector<std::pair<int, double>>> cols(lp.n);
    for (int i = 0; i < lp.m; ++i) {
      for (auto [j, v] : rows[i])
        if (v != 0) cols[j].emplace_back(i, v);
      switch (kind[i]) {
        case 'L': lp.sense.push_back('L'); lp.rhs.push_back(up[i]); lp.rng.push_back(0); break;
        case 'G': lp.sense.push_back('G'); lp.rhs.push_back(lo[i]); lp.rng.push_back(0); break;
        case 'E': lp.sense.push_back('E'); lp.rhs.push_back(lo[i]); lp.rng.push_back(0); break;
        default: lp.sense.push_back('R'); lp.rhs.push_back(lo[i]); lp.rng.push_back(up[i] - lo[i]); break;
      }
    }
    for (int j = 0; j < lp.n; ++j) {
      std::sort(cols[j].begin(), cols[j].end());
      lp.beg.push_back(lp.nnz());
      lp.cnt.push_back(static_cast<int>(cols[j].size()));
      for (auto [i, v] : cols[j]) { lp.ind.push_back(i); lp.val.push_back(v); }
    }
    return m;
  }
};

// A column of every bound kind; x0 integral for integer columns.
void randomColumn(Builder& b, Rng& r, char t) {
  if (t == 'B') {
    if (r.chance(0.05)) { const double v = r.range(0, 1); b.addCol('B', v, v, v); return; }
    b.addCol('B', 0, 1, r.range(0, 1));
    return;
  }
  const int a = r.range(-6, 6), w = r.range(1, 8);
  double lb = 0, ub = kInf, x = 0;
  switch (r.range(0, 6)) {
    case 0: lb = a; ub = a + w; x = a + r.range(0, w); break;                    // boxed
    case 1: lb = r.chance(0.6) ? 0 : a; ub = kInf; x = lb + r.range(0, 5); break;  // lower only
    case 2: lb = -kInf; ub = a; x = a - r.range(0, 5); break;                    // upper only
    case 3: lb = -kInf; ub = kInf; x = r.range(-5, 5); break;                    // free
    case 4: lb = ub = x = a; break;                                              // fixed
    case 5: lb = a - 0.4; ub = a + w + 0.7; x = a + r.range(0, w); break;        // fractional bounds
    default: lb = -r.range(1, 9); ub = lb + w; x = lb + r.range(0, w); break;    // negative lower
  }
  if (t == 'C' && r.chance(0.5) && lb != ub) {
    // A continuous planted value off the integers.
    const double h = x + 0.5;
    if (h <= ub) x = h;
  }
  b.addCol(t, lb, ub, x);
}

struct MixShape {
  int nMin = 3, nMax = 18, mMin = 1, mMax = 14;
  int semi = 0;      // semi-continuous / semi-integer columns
  int sets = 0;      // special ordered sets
};

// Columns, planted sets, rows through x0, objective from duals.
void buildMix(Builder& b, Rng& r, const MixShape& s) {
  const int n = r.range(s.nMin, s.nMax);
  for (int j = 0; j < n; ++j) {
    const int roll = r.range(0, 99);
    randomColumn(b, r, roll < 35 ? 'B' : roll < 75 ? 'I' : 'C');
  }
  for (int k = 0; k < s.semi; ++k) {
    const char t = r.chance(0.5) ? 'S' : 'N';
    const double l = r.range(1, 4) + (t == 'S' && r.chance(0.3) ? 0.5 : 0.0), u = l + r.range(1, 6);
    const double x = r.chance(0.4) ? 0.0 : l + r.range(0, static_cast<int>(u - l));
    b.addCol(t, l, u, x);
  }
  for (int k = 0; k < s.sets; ++k) {
    SosSet set;
    set.type = r.chance(0.5) ? '1' : '2';
    const int size = r.range(2, 5);
    for (int q = 0; q < size; ++q) {
      const char t = r.chance(0.5) ? 'C' : 'I';
      set.ind.push_back(b.addCol(t, 0, r.range(1, 8), 0));
      set.wt.push_back(q + 1);
    }
    // Planted: one member on (SOS1) or two neighbours (SOS2), or none.
    if (r.chance(0.85)) {
      const int p = r.range(0, size - 1);
      b.x0[set.ind[p]] = r.range(1, static_cast<int>(b.ub[set.ind[p]]));
      if (set.type == '2' && p + 1 < size && r.chance(0.6)) b.x0[set.ind[p + 1]] = r.range(1, static_cast<int>(b.ub[set.ind[p + 1]]));
    }
    b.sos.push_back(set);
  }
  const int nAll = b.n();
  const int m = r.range(s.mMin, s.mMax);
  const double p = r.chance(0.3) ? 0.5 + 0.4 * r.uni() : 0.15 + 0.3 * r.uni();
  int cont = -1;
  for (int j = 0; j < nAll; ++j)
    if (b.ct[j] == 'C' && b.lb[j] != b.ub[j]) cont = j;
  for (int i = 0; i < m; ++i) {
    std::vector<std::pair<int, double>> row;
    for (int j = 0; j < nAll; ++j)
      if (r.chance(p)) row.emplace_back(j, r.nonzeroInt(9));
    if (row.empty()) row.emplace_back(r.range(0, nAll - 1), r.nonzeroInt(9));
    const char k = "LLGGERR"[r.range(0, 6)];
    // An equality over general integers alone is a lattice problem that no
    // solver settles quickly at these sizes; most get a continuous column.
    if (k == 'E' && cont >= 0 && r.chance(0.7)) {
      bool has = false;
      for (auto& [j, v] : row) has = has || j == cont;
      if (!has) row.emplace_back(cont, r.nonzeroInt(5));
    }
    b.addRowAround(r, std::move(row), k, 5);
  }
  b.dualObjective(r, 0.35);
  b.objsen = r.chance(0.35) ? -1 : 1;
  if (r.chance(0.3)) b.offset = r.range(-40, 40) * 0.5;
}

MipCase genMix(Rng& r, const MixShape& s) {
  MipCase c;
  Builder b;
  buildMix(b, r, s);
  c.mip = b.finish();
  c.planted = b.x0;
  c.note = std::to_string(c.mip.lp.m) + "x" + std::to_string(c.mip.lp.n);
  return c;
}

MipCase genKnapsack(Rng& r) {
  MipCase c;
  Builder b;
  const int n = r.range(6, 24), k = r.range(1, 4);
  for (int j = 0; j < n; ++j) {
    if (r.chance(0.7)) b.addCol('B', 0, 1, 0);
    else b.addCol('I', 0, r.range(2, 5), 0);
  }
  std::vector<double> profit(n, 0.0);
  for (int i = 0; i < k; ++i) {
    std::vector<std::pair<int, double>> row;
    double total = 0;
    for (int j = 0; j < n; ++j) {
      const double w = r.range(1, 60);
      row.emplace_back(j, w);
      total += w * b.ub[j];
      profit[j] += w / k;
    }
    b.addRow(std::move(row), 'L', -kInf, std::floor(total * (0.3 + 0.3 * r.uni())));
  }
  // Correlated profits make the bound weak.
  for (int j = 0; j < n; ++j) b.c[j] = -std::round(profit[j] + r.range(-5, 15));
  if (r.chance(0.2)) {
    // A cardinality equality over a few binaries.
    std::vector<std::pair<int, double>> row;
    for (int j = 0; j < n; ++j)
      if (b.ct[j] == 'B' && r.chance(0.5)) row.emplace_back(j, 1.0);
    if (!row.empty()) {
      const double want = r.range(0, static_cast<int>(row.size()) / 2);
      b.addRow(std::move(row), 'E', want, want);
      c.intent = Intent::Optimal;  // the peers decide: the capacity may forbid it
    }
  }
  b.objsen = r.chance(0.5) ? -1 : 1;
  if (b.objsen < 0) c.note = "max ";
  c.mip = b.finish();
  if (b.rows.size() == static_cast<size_t>(k)) c.planted = b.x0;  // zero is feasible
  c.note += std::to_string(k) + "x" + std::to_string(n);
  return c;
}

MipCase genSetCover(Rng& r) {
  MipCase c;
  Builder b;
  const int m = r.range(8, 28), n = r.range(8, 36);
  const double p = 0.08 + 0.2 * r.uni();
  const bool multi = r.chance(0.25);  // general integer multicover
  std::vector<std::vector<std::pair<int, double>>> rows(m);
  for (int j = 0; j < n; ++j) {
    b.addCol(multi ? 'I' : 'B', 0, multi ? 3 : 1, multi ? 3 : 1);
    b.c[j] = r.range(1, 20);
    for (int i = 0; i < m; ++i)
      if (r.chance(p)) rows[i].emplace_back(j, 1.0);
  }
  for (int i = 0; i < m; ++i) {
    if (rows[i].empty()) rows[i].emplace_back(r.range(0, n - 1), 1.0);
    const double need = multi ? r.range(1, 4) : (rows[i].size() >= 2 && r.chance(0.1) ? 2 : 1);
    b.addRow(std::move(rows[i]), 'G', need, kInf);
  }
  c.mip = b.finish();
  c.planted = b.x0;  // everything taken covers every row (3 copies cover 4 only if two sets)
  c.note = std::string(multi ? "multicover " : "") + std::to_string(m) + "x" + std::to_string(n);
  return c;
}

MipCase genSetPart(Rng& r) {
  MipCase c;
  Builder b;
  const int m = r.range(6, 22);
  std::vector<int> el(m);
  std::iota(el.begin(), el.end(), 0);
  for (int i = m - 1; i > 0; --i) std::swap(el[i], el[r.range(0, i)]);
  std::vector<std::vector<std::pair<int, double>>> rows(m);
  int pos = 0;
  while (pos < m) {  // the planted partition
    const int j = b.addCol('B', 0, 1, 1);
    b.c[j] = r.range(1, 20);
    for (int q = r.range(1, 4); q > 0 && pos < m; --q) rows[el[pos++]].emplace_back(j, 1.0);
  }
  const int extra = r.range(b.n(), 3 * b.n());
  for (int k = 0; k < extra; ++k) {
    const int j = b.addCol('B', 0, 1, 0);
    b.c[j] = r.range(1, 20);
    const int size = r.range(1, 4);
    for (int q = 0; q < size; ++q) {
      const int i = r.range(0, m - 1);
      if (rows[i].empty() || rows[i].back().first != j) rows[i].emplace_back(j, 1.0);
    }
  }
  for (int i = 0; i < m; ++i) b.addRow(std::move(rows[i]), 'E', 1, 1);
  if (r.chance(0.3)) {
    b.objsen = -1;
    for (double& v : b.c) v = -v;
  }
  c.mip = b.finish();
  c.planted = b.x0;
  c.note = std::to_string(m) + "x" + std::to_string(b.n());
  return c;
}

MipCase genFixCharge(Rng& r) {
  MipCase c;
  Builder b;
  const int F = r.range(2, 6), K = r.range(3, 10);
  std::vector<double> cap(F), dem(K);
  double sd = 0, su = 0;
  for (double& d : dem) sd += d = r.range(1, 15);
  for (double& u : cap) su += u = r.range(10, 50);
  if (su < sd)
    for (double& u : cap) u = std::ceil(u * sd / su) + 1;
  std::vector<int> y(F);
  for (int i = 0; i < F; ++i) { y[i] = b.addCol('B', 0, 1, 1); b.c[y[i]] = r.range(20, 120); }
  std::vector<std::vector<int>> x(F, std::vector<int>(K));
  // Planted: greedy assignment into the (all open) capacities.
  std::vector<double> left = cap;
  std::vector<std::vector<double>> flow(F, std::vector<double>(K, 0.0));
  for (int k = 0; k < K; ++k) {
    double need = dem[k];
    for (int i = 0; i < F && need > 0; ++i) {
      const double t = std::min(need, left[i]);
      flow[i][k] = t; left[i] -= t; need -= t;
    }
  }
  const bool intFlow = r.chance(0.3);
  for (int i = 0; i < F; ++i)
    for (int k = 0; k < K; ++k) {
      x[i][k] = b.addCol(intFlow ? 'I' : 'C', 0, r.chance(0.5) ? kInf : dem[k], flow[i][k]);
      b.c[x[i][k]] = r.range(1, 10);
    }
  for (int k = 0; k < K; ++k) {
    std::vector<std::pair<int, double>> row;
    for (int i = 0; i < F; ++i) row.emplace_back(x[i][k], 1.0);
    if (r.chance(0.7)) b.addRow(std::move(row), 'E', dem[k], dem[k]);
    else b.addRow(std::move(row), 'G', dem[k], kInf);
  }
  for (int i = 0; i < F; ++i) {
    std::vector<std::pair<int, double>> row;
    for (int k = 0; k < K; ++k) row.emplace_back(x[i][k], 1.0);
    row.emplace_back(y[i], -cap[i]);
    b.addRow(std::move(row), 'L', -kInf, 0);
  }
  c.mip = b.finish();
  c.planted = b.x0;
  c.note = std::to_string(F) + " sites " + std::to_string(K) + " customers" + (intFlow ? " integer flows" : "");
  return c;
}

MipCase genBigM(Rng& r) {
  MipCase c;
  Builder b;
  const int J = r.range(3, 6);
  std::vector<double> p(J);
  double H = 0;
  for (double& v : p) H += v = r.range(1, 9);
  const int mk = r.range(0, 9);
  const double M = mk < 4 ? H : mk < 7 ? 100 * H : mk < 9 ? 1e4 : 1e6;
  std::vector<int> s(J);
  double t = 0;
  for (int j = 0; j < J; ++j) {  // planted: the jobs in order
    s[j] = b.addCol('C', 0, H, t);
    b.c[s[j]] = r.range(0, 2);
    t += p[j];
  }
  const int cmax = b.addCol('C', 0, kInf, t);
  b.c[cmax] = r.range(1, 5);
  for (int j = 0; j < J; ++j)
    for (int k = j + 1; k < J; ++k) {
      // z = 1: j before k; z = 0: k before j.
      const int z = b.addCol('B', 0, 1, 1);
      b.addRow({{s[j], 1.0}, {s[k], -1.0}, {z, M}}, 'L', -kInf, M - p[j]);
      b.addRow({{s[k], 1.0}, {s[j], -1.0}, {z, -M}}, 'L', -kInf, -p[k]);
    }
  for (int j = 0; j < J; ++j) b.addRow({{cmax, 1.0}, {s[j], -1.0}}, 'G', p[j], kInf);
  c.mip = b.finish();
  c.planted = b.x0;
  c.note = std::to_string(J) + " jobs, M " + num(M);
  return c;
}

MipCase genScaledMix(Rng& r) {
  MipCase c = genMix(r, MixShape{});
  Lp& lp = c.mip.lp;
  std::vector<double> rs(lp.m), cs(lp.n, 1.0);
  for (double& v : rs) v = std::pow(10.0, -3 + 6 * r.uni());
  // Only continuous columns can be scaled without changing the model.
  for (int j = 0; j < lp.n; ++j)
    if (c.mip.ctype[j] == 'C') cs[j] = std::pow(10.0, -3 + 6 * r.uni());
  const double os = std::pow(10.0, -2 + 4 * r.uni());
  for (int j = 0; j < lp.n; ++j) {
    for (int k = lp.beg[j]; k < lp.beg[j] + lp.cnt[j]; ++k) lp.val[k] *= rs[lp.ind[k]] * cs[j];
    lp.obj[j] *= cs[j] * os;
    if (!isInf(lp.lb[j])) lp.lb[j] /= cs[j];
    if (!isInf(lp.ub[j])) lp.ub[j] /= cs[j];
    c.planted[j] /= cs[j];
  }
  lp.offset *= os;
  for (int i = 0; i < lp.m; ++i) {
    if (!isInf(lp.rhs[i])) lp.rhs[i] *= rs[i];
    lp.rng[i] *= rs[i];
  }
  // Rounding moves the planted point off equality rows by a few ulps: the
  // peers decide feasibility.
  c.planted.clear();
  c.note = "scaled " + c.note;
  return c;
}

MipCase genInfeas(Rng& r) {
  MipCase c;
  const int variant = r.range(0, 3);
  if (variant == 3) {
    // An infeasible LP with some columns made integer.
    GenOptions g;
    g.maxRows = 30;
    Case lc = generate(r.next() % 1000000, Family::Infeas, g);
    c.mip.lp = lc.lp;
    c.mip.ctype.assign(lc.lp.n, 'C');
    for (int j = 0; j < lc.lp.n; ++j)
      if (r.chance(0.5)) c.mip.ctype[j] = 'I';
    c.note = "LP infeasible " + lc.note;
    c.intent = Intent::Infeasible;
    return c;
  }
  Builder b;
  buildMix(b, r, MixShape{});
  std::vector<int> ints;
  for (int j = 0; j < b.n(); ++j)
    if ((b.ct[j] == 'I' || b.ct[j] == 'B') && b.lb[j] != b.ub[j]) ints.push_back(j);
  if (ints.empty()) ints.push_back(b.addCol('I', -3, 7, 0));
  for (int i = static_cast<int>(ints.size()) - 1; i > 0; --i) std::swap(ints[i], ints[r.range(0, i)]);
  ints.resize(std::min<size_t>(ints.size(), r.range(1, 5)));
  std::vector<std::pair<int, double>> row;
  for (int j : ints) row.emplace_back(j, 2.0 * r.nonzeroInt(4));
  const double a = static_cast<double>(b.act(row));
  if (variant == 0) {
    // Even coefficients, odd right-hand side.
    b.addRow(std::move(row), 'E', a + 1, a + 1);
    c.note = "parity row";
  } else if (variant == 1) {
    // A range strictly between two consecutive values of the row.
    b.addRow(std::move(row), 'R', a + 0.3, a + 1.6);
    c.note = "range between even values";
  } else {
    // Two rows that leave only a fractional value of a sum of integers.
    std::vector<std::pair<int, double>> sum;
    for (int j : ints) sum.emplace_back(j, 1.0);
    const double s = static_cast<double>(b.act(sum));
    b.addRow(sum, 'G', s + 0.25, kInf);
    b.addRow(std::move(sum), 'L', -kInf, s + 0.75);
    c.note = "sum between integers";
  }
  c.mip = b.finish();
  c.note += " " + std::to_string(c.mip.lp.m) + "x" + std::to_string(c.mip.lp.n);
  c.intent = Intent::Infeasible;
  return c;
}

MipCase genUnbd(Rng& r) {
  MipCase c;
  Builder b;
  buildMix(b, r, MixShape{});
  // Two integer columns u, v >= 0 whose sum direction (1, 1) keeps every row
  // and improves the objective; x0 with u = v = 0 stays feasible.
  const int u = b.addCol(r.chance(0.8) ? 'I' : 'C', 0, kInf, 0), v = b.addCol('I', 0, kInf, 0);
  for (size_t i = 0; i < b.rows.size(); ++i) {
    if (!r.chance(0.5)) continue;
    const double a = r.nonzeroInt(5);
    double bv = -a;
    if (b.kind[i] == 'L') bv -= r.range(0, 2);
    if (b.kind[i] == 'G') bv += r.range(0, 2);
    b.rows[i].emplace_back(u, a);
    b.rows[i].emplace_back(v, bv);
  }
  b.c[u] = r.range(-5, 5);
  b.c[v] = -b.c[u] - r.range(1, 4);
  c.mip = b.finish();
  c.planted = b.x0;
  c.intent = Intent::Unbounded;
  c.note = std::to_string(c.mip.lp.m) + "x" + std::to_string(c.mip.lp.n);
  return c;
}

}  // namespace

bool Mip::hasSemi() const {
  for (char t : ctype)
    if (isSemiType(t)) return true;
  return false;
}

const char* mipFamilyName(MipFamily f) { return kMipFamilyNames[static_cast<int>(f)]; }

bool mipFamilyFromName(const std::string& s, MipFamily& f) {
  for (int k = 0; k < static_cast<int>(MipFamily::kCount); ++k)
    if (s == kMipFamilyNames[k]) { f = static_cast<MipFamily>(k); return true; }
  return false;
}

MipCase generateMip(uint64_t id, MipFamily family) {
  Rng r(id * 977 + static_cast<uint64_t>(family) * 104729 + 5);
  MipCase c;
  switch (family) {
    case MipFamily::Mix: c = genMix(r, MixShape{}); break;
    case MipFamily::Knapsack: c = genKnapsack(r); break;
    case MipFamily::SetCover: c = genSetCover(r); break;
    case MipFamily::SetPart: c = genSetPart(r); break;
    case MipFamily::FixCharge: c = genFixCharge(r); break;
    case MipFamily::BigM: c = genBigM(r); break;
    case MipFamily::Scaled: c = genScaledMix(r); break;
    case MipFamily::Infeas: c = genInfeas(r); break;
    case MipFamily::Unbd: c = genUnbd(r); break;
    case MipFamily::Semi: {
      MixShape s;
      s.semi = r.range(1, 5);
      c = genMix(r, s);
      break;
    }
    case MipFamily::Sos: {
      MixShape s;
      s.nMax = 10;
      s.sets = r.range(1, 3);
      c = genMix(r, s);
      break;
    }
    default: break;
  }
  c.id = id;
  c.family = family;
  return c;
}

// ---------------------------------------------------------------------------
// Forms for the peers

Mip reformulate(const Mip& in) {
  Mip out = in;
  if (!in.hasSemi() && in.sos.empty()) return out;
  out.sos.clear();
  Lp& lp = out.lp;
  // Row-wise additions, turned into column entries at the end.
  std::vector<std::vector<std::pair<int, double>>> extraCols;  // per new column: (row, value)
  std::vector<std::vector<std::pair<int, double>>> addToCol(lp.n);
  auto newRow = [&](char sense, double rhs) {
    lp.sense.push_back(sense); lp.rhs.push_back(rhs); lp.rng.push_back(0);
    return lp.m++;
  };
  auto newBinary = [&]() {
    extraCols.emplace_back();
    out.ctype.push_back('B');
    lp.obj.push_back(0); lp.lb.push_back(0); lp.ub.push_back(1);
    return static_cast<int>(extraCols.size()) - 1;
  };
  const int n0 = lp.n;
  for (int j = 0; j < n0; ++j) {
    if (!isSemiType(in.ctype[j])) continue;
    const int z = newBinary();
    const int r1 = newRow('L', 0), r2 = newRow('G', 0);  // x - u z <= 0, x - l z >= 0
    addToCol[j].emplace_back(r1, 1.0);
    addToCol[j].emplace_back(r2, 1.0);
    extraCols[z].emplace_back(r1, -in.lp.ub[j]);
    extraCols[z].emplace_back(r2, -in.lp.lb[j]);
    out.ctype[j] = in.ctype[j] == 'N' ? 'I' : 'C';
    lp.lb[j] = 0;
  }
  for (const SosSet& s : in.sos) {
    const int k = static_cast<int>(s.ind.size());
    const int card = newRow('L', 1);
    std::vector<int> sw;  // switches: one per member (SOS1) or per segment (SOS2)
    const int nsw = s.type == '1' ? k : k - 1;
    for (int q = 0; q < nsw; ++q) {
      sw.push_back(newBinary());
      extraCols[sw.back()].emplace_back(card, 1.0);
    }
    for (int q = 0; q < k; ++q) {
      const int j = s.ind[q];
      const int row = newRow('L', 0);  // x_j - u_j (switches covering j) <= 0
      addToCol[j].emplace_back(row, 1.0);
      if (s.type == '1') extraCols[sw[q]].emplace_back(row, -in.lp.ub[j]);
      else {
        if (q > 0) extraCols[sw[q - 1]].emplace_back(row, -in.lp.ub[j]);
        if (q < k - 1) extraCols[sw[q]].emplace_back(row, -in.lp.ub[j]);
      }
    }
  }
  // Rebuild the column form.
  Lp res = lp;
  res.beg.clear(); res.cnt.clear(); res.ind.clear(); res.val.clear();
  res.n = n0 + static_cast<int>(extraCols.size());
  for (int j = 0; j < res.n; ++j) {
    res.beg.push_back(res.nnz());
    int cnt = 0;
    if (j < n0) {
      for (int q = in.lp.beg[j]; q < in.lp.beg[j] + in.lp.cnt[j]; ++q) {
        res.ind.push_back(in.lp.ind[q]); res.val.push_back(in.lp.val[q]); ++cnt;
      }
      for (auto [i, v] : addToCol[j]) { res.ind.push_back(i); res.val.push_back(v); ++cnt; }
    } else {
      for (auto [i, v] : extraCols[j - n0]) { res.ind.push_back(i); res.val.push_back(v); ++cnt; }
    }
    res.cnt.push_back(cnt);
  }
  out.lp = res;
  return out;
}

std::string toMipMps(const Mip& m, const std::string& name, bool freeTag) {
  const Lp& lp = m.lp;
  std::ostringstream o;
  o << "NAME " << name << (freeTag ? " FREE" : "") << "\nROWS\n N obj\n";
  for (int i = 0; i < lp.m; ++i) o << " " << (lp.sense[i] == 'R' ? 'E' : lp.sense[i]) << " R" << i << "\n";
  o << "COLUMNS\n";
  bool inInt = false;
  int marker = 0;
  for (int j = 0; j < lp.n; ++j) {
    const bool isInt = isIntType(m.ctype[j]);
    if (isInt != inInt) {
      o << " M" << marker++ << " 'MARKER' " << (isInt ? "'INTORG'" : "'INTEND'") << "\n";
      inInt = isInt;
    }
    const double c = lp.obj[j] * lp.objsen;
    o << " C" << j << " obj " << num(c) << "\n";
    for (int k = lp.beg[j]; k < lp.beg[j] + lp.cnt[j]; ++k)
      o << " C" << j << " R" << lp.ind[k] << " " << num(lp.val[k]) << "\n";
  }
  if (inInt) o << " M" << marker << " 'MARKER' 'INTEND'\n";
  o << "RHS\n";
  for (int i = 0; i < lp.m; ++i)
    if (lp.rhs[i] != 0 && !isInf(lp.rhs[i])) o << " RHS R" << i << " " << num(lp.rhs[i]) << "\n";
  o << "RANGES\n";
  for (int i = 0; i < lp.m; ++i)
    if (lp.sense[i] == 'R' && lp.rng[i] != 0) o << " RNG R" << i << " " << num(lp.rng[i]) << "\n";
  o << "BOUNDS\n";
  for (int j = 0; j < lp.n; ++j) {
    const double lb = lp.lb[j], ub = lp.ub[j];
    const bool loInf = isInf(lb), upInf = isInf(ub);
    if (isSemiType(m.ctype[j])) {
      o << " SC BND C" << j << " " << num(ub) << "\n";
      o << " LO BND C" << j << " " << num(lb) << "\n";
      continue;
    }
    if (!loInf && !upInf && lb == ub) { o << " FX BND C" << j << " " << num(lb) << "\n"; continue; }
    if (loInf && upInf) { o << " FR BND C" << j << "\n"; continue; }
    if (!upInf) o << " UP BND C" << j << " " << num(ub) << "\n";
    else if (isIntType(m.ctype[j])) o << " PL BND C" << j << "\n";  // no default binary upper bound
    if (loInf) o << " MI BND C" << j << "\n";
    else if (lb != 0 || (!upInf && ub < 0)) o << " LO BND C" << j << " " << num(lb) << "\n";
  }
  if (!m.sos.empty()) {
    o << "SOS\n";
    for (size_t s = 0; s < m.sos.size(); ++s) {
      o << " S" << m.sos[s].type << " SOS s" << s << " 1\n";
      for (size_t q = 0; q < m.sos[s].ind.size(); ++q)
        o << "    C" << m.sos[s].ind[q] << " " << num(m.sos[s].wt[q]) << "\n";
    }
  }
  o << "ENDATA\n";
  return o.str();
}

bool readMip(Ours& ours, const std::string& path, Mip& m) {
  m = Mip();
  if (!readModel(ours, path, m.lp)) return false;
  int rc = 0;
  VNTENVptr env = ours.env();
  VNTLPptr p = VNTcreateprob(env, &rc, "case");
  if (!p) return false;
  m.ctype.assign(m.lp.n, 'C');
  bool ok = VNTreadcopyprob(env, p, path.c_str(), nullptr) == 0;
  // A model without column types (a plain LP) answers an error here.
  if (ok && m.lp.n > 0 && VNTgetctype(env, p, m.ctype.data(), 0, m.lp.n - 1) != 0) m.ctype.assign(m.lp.n, 'C');
  VNTfreeprob(env, &p);
  // Sets from the SOS section of a file written by toMipMps (columns C<j>).
  std::ifstream f(path);
  std::string line;
  bool inSos = false;
  while (ok && std::getline(f, line)) {
    if (line.rfind("SOS", 0) == 0) { inSos = true; continue; }
    if (line.rfind("ENDATA", 0) == 0) break;
    if (!inSos) continue;
    std::istringstream ls(line);
    std::string a, b;
    ls >> a >> b;
    if (a == "S1" || a == "S2") {
      m.sos.emplace_back();
      m.sos.back().type = a[1];
    } else if (!m.sos.empty() && a.size() > 1 && a[0] == 'C') {
      const int j = std::atoi(a.c_str() + 1);
      ok = j >= 0 && j < m.lp.n;
      if (ok) { m.sos.back().ind.push_back(j); m.sos.back().wt.push_back(std::strtod(b.c_str(), nullptr)); }
    }
  }
  return ok;
}

// ---------------------------------------------------------------------------
// Ours

static Outcome mipOutcome(int rc, int stat) {
  switch (stat) {
    case VNTMIP_OPTIMAL:
    case VNTMIP_OPTIMAL_TOL: return Outcome::Optimal;
    case VNTMIP_INFEASIBLE: return Outcome::Infeasible;
    case VNTMIP_UNBOUNDED: return Outcome::Unbounded;
    case VNTMIP_INForUNBD: return Outcome::InfOrUnbd;
    case VNTMIP_SOL_LIM:
    case VNTMIP_NODE_LIM_FEAS:
    case VNTMIP_NODE_LIM_INFEAS:
    case VNTMIP_TIME_LIM_FEAS:
    case VNTMIP_TIME_LIM_INFEAS:
    case VNTMIP_DETTIME_LIM_FEAS:
    case VNTMIP_DETTIME_LIM_INFEAS:
    case VNTMIP_ITLIM_FEAS:
    case VNTMIP_ITLIM_INFEAS: return Outcome::IterLimit;
    default: break;
  }
  return rc != 0 ? Outcome::Error : Outcome::Other;
}

MipResult solveOursMip(Ours& ours, const Mip& m, const MipConfig& c, const std::string& workDir) {
  MipResult r;
  VNTENVptr env = ours.env();
  VNTsetdefaults(env);
  VNTsetintparam(env, VNT_PARAM_SCRIND, 0);
  // VANTO_DIFF_THREADS=K runs the tree search on K threads.
  const char* threads = std::getenv("VANTO_DIFF_THREADS");
  VNTsetintparam(env, VNT_PARAM_THREADS, threads ? std::max(1, std::atoi(threads)) : 1);
  VNTsetdblparam(env, VNT_PARAM_TILIM, c.seconds);
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 100000);
  VNTsetdblparam(env, VNT_PARAM_EPGAP, 1e-9);
  VNTsetdblparam(env, VNT_PARAM_EPAGAP, 1e-9);
  if (c.name == "nopre") VNTsetintparam(env, VNT_PARAM_PREIND, 0);
  if (c.name == "plain") {
    for (int p : {VNTPARAM_MIP_Cuts_Cliques, VNTPARAM_MIP_Cuts_Covers, VNTPARAM_MIP_Cuts_FlowCovers,
                  VNTPARAM_MIP_Cuts_GUBCovers, VNTPARAM_MIP_Cuts_Gomory, VNTPARAM_MIP_Cuts_Implied,
                  VNTPARAM_MIP_Cuts_MIRCut, VNTPARAM_MIP_Cuts_ZeroHalfCut, VNTPARAM_MIP_Cuts_Disjunctive,
                  VNTPARAM_MIP_Cuts_LiftProj, VNTPARAM_MIP_Cuts_MCFCut, VNTPARAM_MIP_Cuts_PathCut})
      VNTsetintparam(env, p, -1);
    VNTsetintparam(env, VNTPARAM_MIP_Strategy_HeuristicFreq, -1);
    VNTsetintparam(env, VNTPARAM_MIP_Strategy_RINSHeur, -1);
    VNTsetintparam(env, VNTPARAM_MIP_Strategy_Probe, -1);
  }
  if (c.name == "deep") {
    VNTsetintparam(env, VNTPARAM_MIP_Cuts_Nodecuts, 3);
    VNTsetintparam(env, VNTPARAM_MIP_Cuts_ZeroHalfCut, 2);
    VNTsetintparam(env, VNTPARAM_MIP_Strategy_RINSHeur, 5);
    VNTsetintparam(env, VNTPARAM_MIP_Strategy_Probe, 3);
    VNTsetintparam(env, VNTPARAM_MIP_Strategy_HeuristicFreq, 3);
  }
  int rc = 0;
  VNTLPptr p = nullptr;
  bool fromFile = !m.sos.empty();
  if (fromFile) {
    // Sets reach the library through the reader only.
    const std::string path = tempBase(workDir, "sos") + ".mps";
    p = VNTcreateprob(env, &rc, "mipdiff");
    if (p && writeFile(path, toMipMps(m, "mipdiff", false))) rc = VNTreadcopyprob(env, p, path.c_str(), nullptr);
    std::remove(path.c_str());
    if (p && rc != 0) VNTfreeprob(env, &p);
  } else {
    p = ours.load(m.lp, rc);
    if (p) {
      rc = VNTcopyctype(env, p, m.ctype.data());
      if (rc != 0) VNTfreeprob(env, &p);
    }
  }
  if (!p) {
    r.rc = rc;
    r.outcome = Outcome::Error;
    return r;
  }
  r.rc = VNTmipopt(env, p);
  r.stat = VNTgetstat(env, p);
  r.outcome = mipOutcome(r.rc, r.stat);
  r.nodes = VNTgetnodecnt(env, p);
  if (VNTgetobjval(env, p, &r.obj) != 0) r.obj = NAN;
  if (VNTgetbestobjval(env, p, &r.bound) != 0) r.bound = NAN;
  if (fromFile) {
    // The file holds the minimization form without the offset.
    r.obj = r.obj * m.lp.objsen + m.lp.offset;
    r.bound = r.bound * m.lp.objsen + m.lp.offset;
  }
  r.x.assign(m.lp.n, NAN);
  if (m.lp.n > 0 && VNTgetx(env, p, r.x.data(), 0, m.lp.n - 1) != 0) r.x.assign(m.lp.n, NAN);
  VNTfreeprob(env, &p);
  VNTsetdefaults(env);
  VNTsetintparam(env, VNT_PARAM_SCRIND, 0);
  return r;
}

// ---------------------------------------------------------------------------
// Independent checks

namespace {

constexpr double kSoftFactor = 10;

void addFailure(std::vector<CheckFailure>& out, const std::string& kind, const std::string& detail) {
  for (auto& f : out)
    if (f.kind == kind) return;
  out.push_back({kind, detail});
}

std::string fmt2(const char* f, double a, double b, int j) {
  char buf[256];
  std::snprintf(buf, sizeof buf, f, j, a, b);
  return buf;
}

// Rows of m at x: violations beyond the tolerance, relative to the row's size.
// A violation up to kSoftFactor times the tolerance is a matter of tolerance
// (scaled feasibility, integrality times a big coefficient): it is reported
// under the kind with kSoftSuffix, which is not a failure unless strict.
void checkRows(const Mip& m, const std::vector<double>& x, double tol, const std::string& kind, bool strict,
               std::vector<CheckFailure>& out) {
  const Lp& lp = m.lp;
  std::vector<LD> act(lp.m, 0);
  std::vector<double> mag(lp.m, 0.0);
  for (int j = 0; j < lp.n; ++j)
    for (int k = lp.beg[j]; k < lp.beg[j] + lp.cnt[j]; ++k) {
      act[lp.ind[k]] += static_cast<LD>(lp.val[k]) * x[j];
      mag[lp.ind[k]] = std::max(mag[lp.ind[k]], std::fabs(lp.val[k] * x[j]));
    }
  for (int i = 0; i < lp.m; ++i) {
    double lo, up;
    lp.rowLimits(i, lo, up);
    const double a = static_cast<double>(act[i]);
    const double scale = std::max({1.0, isInf(lo) ? 0.0 : std::fabs(lo), isInf(up) ? 0.0 : std::fabs(up), mag[i]});
    const double viol = std::max(isInf(lo) ? 0.0 : lo - a, isInf(up) ? 0.0 : a - up);
    if (viol <= tol * scale) continue;
    const std::string k = strict || viol > kSoftFactor * tol * scale ? kind : kind + kSoftSuffix;
    addFailure(out, k, fmt2(a < lo ? "R%d activity %.17g below %.17g" : "R%d activity %.17g above %.17g", a,
                            a < lo ? lo : up, i));
  }
}

}  // namespace

std::vector<CheckFailure> checkMipAnswer(const Mip& m, const MipResult& r, const MipTol& t) {
  std::vector<CheckFailure> out;
  if (r.outcome == Outcome::Error) addFailure(out, "error", "optimize returned " + std::to_string(r.rc));
  if (r.outcome == Outcome::Other) addFailure(out, "other-status", "status " + std::to_string(r.stat));
  // An unbounded answer comes with a feasible point (the proof that the
  // model is not infeasible): checked as an optimal one's.
  if (r.outcome != Outcome::Optimal && r.outcome != Outcome::Unbounded) return out;
  const Lp& lp = m.lp;
  for (int j = 0; j < lp.n; ++j)
    if (!std::isfinite(r.x[j])) { addFailure(out, "no-solution", "x of C" + std::to_string(j) + " not finite"); return out; }
  std::vector<double> rounded = r.x;
  LD cx = lp.offset, cxMag = 0;
  for (int j = 0; j < lp.n; ++j) {
    const double x = r.x[j], lb = lp.lb[j], ub = lp.ub[j];
    const char type = m.ctype[j];
    if (isIntType(type)) {
      rounded[j] = std::round(x);
      if (std::fabs(x - rounded[j]) > t.integrality)
        addFailure(out, "integrality", fmt2("C%d x=%.17g not integral (nearest %.17g)", x, rounded[j], j));
    }
    const double btol = t.primal * std::max(1.0, std::fabs(x));
    if (isSemiType(type) && std::fabs(x) <= btol) rounded[j] = 0;
    else {
      if (!isInf(lb) && lb - x > btol) addFailure(out, isSemiType(type) ? "semi-domain" : "bound", fmt2("C%d x=%.17g below %.17g", x, lb, j));
      if (!isInf(ub) && x - ub > btol) addFailure(out, isSemiType(type) ? "semi-domain" : "bound", fmt2("C%d x=%.17g above %.17g", x, ub, j));
    }
    cx += static_cast<LD>(lp.obj[j]) * x;
    cxMag += std::fabs(lp.obj[j] * x);
  }
  for (const SosSet& s : m.sos) {
    std::vector<int> on;
    for (size_t q = 0; q < s.ind.size(); ++q)
      if (std::fabs(r.x[s.ind[q]]) > t.primal) on.push_back(static_cast<int>(q));
    const bool ok = s.type == '1' ? on.size() <= 1 : on.size() <= 1 || (on.size() == 2 && on[1] == on[0] + 1);
    if (!ok) addFailure(out, "sos", "SOS" + std::string(1, s.type) + " with " + std::to_string(on.size()) + " members on");
  }
  checkRows(m, r.x, t.primal, "row", t.strict, out);
  // The same rows with the integer values rounded: an answer that lives on
  // the integrality tolerance (a big-M row switched by z = 1e-6) fails here.
  checkRows(m, rounded, t.primal, "rounded-row", t.strict, out);
  const double want = static_cast<double>(cx);
  if (std::fabs(r.obj - want) > 1e-9 * static_cast<double>(cxMag) + 1e-7 * std::max(1.0, std::fabs(want)))
    addFailure(out, "objective", fmt2("C%d reported %.17g, c'x + offset = %.17g", r.obj, want, -1));
  if (std::isfinite(r.bound) && lp.objsen * (r.bound - r.obj) > t.objective * std::max(1.0, std::fabs(r.obj)))
    addFailure(out, "best-bound", fmt2("C%d best bound %.17g beyond the incumbent %.17g", r.bound, r.obj, -1));
  return out;
}

// ---------------------------------------------------------------------------
// Peers

bool cbcAvailable() { return access("/usr/bin/cbc", X_OK) == 0; }

PeerResult solveCbc(const Mip& m0, const std::string& workDir, int seconds) {
  PeerResult p;
  if (!cbcAvailable()) { p.detail = "no cbc"; return p; }
  const Mip m = reformulate(m0);
  const std::string base = tempBase(workDir, "cbc");
  const std::string mps = base + ".mps", sol = base + ".sol", log = base + ".log";
  if (!writeFile(mps, toMipMps(m, "cbcdiff", true))) { p.outcome = Outcome::Error; return p; }
  const std::string cmd = "timeout " + std::to_string(seconds + 10) + " /usr/bin/cbc '" + mps + "' -sec " +
                          std::to_string(seconds) + " -solve -solution '" + sol + "' > '" + log + "' 2>&1";
  const int rc = std::system(cmd.c_str());
  std::ifstream f(sol);
  std::string line;
  std::getline(f, line);
  const auto val = line.find("objective value");
  const double obj = val == std::string::npos ? NAN : std::strtod(line.c_str() + val + 15, nullptr);
  if (line.rfind("Optimal", 0) == 0) { p.outcome = Outcome::Optimal; p.obj = obj * m.lp.objsen + m.lp.offset; }
  else if (line.rfind("Infeasible", 0) == 0 || line.rfind("Integer infeasible", 0) == 0) p.outcome = Outcome::Infeasible;
  else if (line.rfind("Unbounded", 0) == 0) p.outcome = Outcome::Unbounded;
  else if (line.find("Stopped") != std::string::npos) p.outcome = Outcome::IterLimit;
  else p.outcome = Outcome::Other;
  p.detail = "cbc: " + line + " (rc " + std::to_string(rc) + ")";
  std::remove(mps.c_str());
  std::remove(sol.c_str());
  std::remove(log.c_str());
  return p;
}

PeerResult solveGlpkMip(const Mip& m0, const std::string& workDir, int seconds) {
  PeerResult p;
  if (!glpsolAvailable()) { p.detail = "no glpsol"; return p; }
  const Mip m = reformulate(m0);
  const GlpsolRun g =
      runGlpsol(toMipMps(m, "glpkdiff", false), "--tmlim " + std::to_string(seconds), seconds + 10, workDir, "glpk");
  if (!g.written) { p.outcome = Outcome::Error; return p; }
  const std::string& status = g.status;
  const double obj = g.obj;
  const int rc = g.rc;
  if (status.find("INTEGER OPTIMAL") != std::string::npos) {
    p.outcome = Outcome::Optimal;
    p.obj = obj * m.lp.objsen + m.lp.offset;
  } else if (status.find("INTEGER EMPTY") != std::string::npos || status.find("INFEASIBLE") != std::string::npos) {
    p.outcome = Outcome::Infeasible;
  } else {
    // An unbounded relaxation leaves glpsol's MIP status undefined.
    p.outcome = Outcome::Other;
  }
  p.detail = "glpsol:" + status + " (rc " + std::to_string(rc) + ")";
  return p;
}

std::vector<PeerResult> solveHighsMipBatch(const std::vector<const Mip*>& ms, const std::string& workDir) {
  std::vector<PeerResult> res(ms.size());
  if (!highsAvailable()) return {};
  const std::string base = tempBase(workDir, "highs");
  const std::string in = base + ".txt", out = base + ".res";
  std::vector<Mip> forms;  // sets reformulated; semi-continuous columns passed as such
  forms.reserve(ms.size());
  for (const Mip* m : ms) {
    if (m->sos.empty()) forms.push_back(*m);
    else forms.push_back(reformulate(*m));
  }
  std::vector<const Lp*> lps;
  std::vector<const std::vector<char>*> ctypes;
  for (const Mip& mm : forms) {
    lps.push_back(&mm.lp);
    ctypes.push_back(&mm.ctype);
  }
  writeHighsBatch(in, lps, &ctypes);
  std::vector<HighsAnswer> answers;
  runHighsBatch("milp", in, out, 0, answers);
  for (const HighsAnswer& a : answers) {
    if (a.index >= res.size()) continue;
    PeerResult& p = res[a.index];
    const Lp& lp = forms[a.index].lp;
    switch (a.status) {
      case 0: p.outcome = Outcome::Optimal; p.obj = a.obj * lp.objsen + lp.offset; break;
      case 1: p.outcome = Outcome::IterLimit; break;
      case 2: p.outcome = Outcome::Infeasible; break;
      case 3: p.outcome = Outcome::Unbounded; break;
      default: p.outcome = Outcome::Error; break;
    }
    p.detail = "highs milp status " + std::to_string(a.status);
  }
  for (auto& p : res)
    if (p.outcome == Outcome::None) { p.outcome = Outcome::Error; p.detail = "no highs answer"; }
  std::remove(in.c_str());
  std::remove(out.c_str());
  return res;
}

bool agreesMip(const MipResult& ours, const PeerResult& peer, const MipTol& t) {
  Tol lt;
  lt.objective = t.objective;
  return agreesOutcome(ours.outcome, ours.obj, peer, lt);
}

// ---------------------------------------------------------------------------
// Cases

bool MipCaseReport::anyUnexplained() const {
  for (const auto& s : solves)
    if (!s.agree && !s.explained && !s.limit) return true;
  return false;
}

bool anyHardFailure(const std::vector<CheckFailure>& f) {
  for (const auto& e : f)
    if (!isSoftKind(e.kind)) return true;
  return false;
}

bool isSoftKind(const std::string& kind) {
  return kind.size() > std::strlen(kSoftSuffix) && kind.compare(kind.size() - std::strlen(kSoftSuffix), std::string::npos, kSoftSuffix) == 0;
}

bool MipCaseReport::anyFailure() const {
  for (const auto& s : solves)
    if (anyHardFailure(s.failures)) return true;
  return false;
}

static void describePeer(std::ostringstream& o, const char* name, const PeerResult& p) {
  if (p.outcome == Outcome::None) return;
  o << "; " << name << " " << outcomeName(p.outcome);
  if (p.outcome == Outcome::Optimal) o << " " << num(p.obj);
}

std::string MipCaseReport::summary() const {
  std::ostringstream o;
  o << "case " << c.id << " " << mipFamilyName(c.family) << " (" << c.note << ", " << c.mip.lp.m << "x"
    << c.mip.lp.n << ")";
  describePeer(o, "cbc", cbc);
  describePeer(o, "glpk", glpk);
  describePeer(o, "highs", highs);
  for (const auto& s : solves) {
    if (s.agree && s.failures.empty()) continue;
    o << "\n  " << s.config << ": " << outcomeName(s.ours.outcome) << " (status " << s.ours.stat << ", rc "
      << s.ours.rc << ", obj " << num(s.ours.obj) << ", bound " << num(s.ours.bound) << ", " << s.ours.nodes
      << " nodes)";
    if (!s.agree) o << (s.limit ? " [limit]" : s.explained ? " [explained: " + s.explanation + "]" : " [UNEXPLAINED]");
    for (const auto& f : s.failures) o << "\n    check " << f.kind << ": " << f.detail;
  }
  return o.str();
}

MipCaseReport runMipCase(Ours& ours, const MipCase& c, const MipRunOptions& o) {
  MipCaseReport rep;
  rep.c = c;
  rep.cbc = solveCbc(c.mip, o.workDir);
  std::vector<std::string> configs = {"default"};
  if (o.allConfigs) {
    configs.push_back("nopre");
    configs.push_back("plain");
    if (c.id % 4 == 0) configs.push_back("deep");
  }
  bool tieDone = false;
  // A planted feasible point proves the model feasible and bounds the optimum.
  MipResult plantedAsAnswer;
  bool plantedOk = false;
  if (!c.planted.empty()) {
    plantedAsAnswer.outcome = Outcome::Optimal;
    plantedAsAnswer.x = c.planted;
    LD cx = c.mip.lp.offset;
    for (int j = 0; j < c.mip.lp.n; ++j) cx += static_cast<LD>(c.mip.lp.obj[j]) * c.planted[j];
    plantedAsAnswer.obj = plantedAsAnswer.bound = static_cast<double>(cx);
    plantedOk = checkMipAnswer(c.mip, plantedAsAnswer, o.tol).empty();
  }
  for (const auto& name : configs) {
    MipSolveRecord rec;
    rec.config = name;
    rec.ours = solveOursMip(ours, c.mip, {name, o.seconds}, o.workDir);
    rec.failures = checkMipAnswer(c.mip, rec.ours, o.tol);
    if (plantedOk) {
      if (rec.ours.outcome == Outcome::Infeasible)
        addFailure(rec.failures, "planted-feasible", "infeasible, but the planted point satisfies the model");
      if (rec.ours.outcome == Outcome::Optimal &&
          c.mip.lp.objsen * (rec.ours.obj - plantedAsAnswer.obj) >
              o.tol.objective * std::max(1.0, std::fabs(plantedAsAnswer.obj)))
        addFailure(rec.failures, "planted-better",
                   "optimal " + num(rec.ours.obj) + " but the planted point has " + num(plantedAsAnswer.obj));
    }
    if (rec.ours.outcome == Outcome::IterLimit) {
      // Models of these sizes take a peer a fraction of a second: a limit
      // where CBC settled the model is a fault (a search that cannot end).
      rec.limit = true;
      if (rep.cbc.outcome == Outcome::Optimal || rep.cbc.outcome == Outcome::Infeasible)
        addFailure(rec.failures, "limit", "stopped by a limit (status " + std::to_string(rec.ours.stat) + ", " +
                                              std::to_string(rec.ours.nodes) + " nodes) where cbc " + rep.cbc.detail);
      rep.solves.push_back(std::move(rec));
      continue;
    }
    rec.agree = agreesMip(rec.ours, rep.cbc, o.tol);
    if (!rec.agree && o.tieBreak) {
      if (!tieDone) {
        rep.glpk = solveGlpkMip(c.mip, o.workDir);
        const auto h = solveHighsMipBatch({&c.mip}, o.workDir);
        if (!h.empty()) rep.highs = h[0];
        tieDone = true;
      }
      const bool glpkSides = agreesMip(rec.ours, rep.glpk, o.tol);
      const bool glpkAnswered = rep.glpk.outcome == Outcome::Optimal || rep.glpk.outcome == Outcome::Infeasible;
      const bool highsSides = agreesMip(rec.ours, rep.highs, o.tol);
      const bool hard = anyHardFailure(rec.failures);
      if (!hard && (glpkSides || (!glpkAnswered && highsSides))) {
        rec.explained = true;
        rec.explanation = std::string(glpkSides ? "glpk" : "highs") + " agrees with us; cbc " + rep.cbc.detail;
      } else if (!hard && rec.ours.outcome == Outcome::Unbounded && c.intent == Intent::Unbounded &&
                 rep.cbc.outcome == Outcome::Infeasible) {
        // Our point passes the checks, and the family builds an improving
        // integer ray into every model.
        rec.explained = true;
        rec.explanation = "our point passes the checks and the model has an improving integer ray; cbc " + rep.cbc.detail;
      } else if (!hard && !o.tol.strict && rec.ours.outcome == Outcome::Optimal && rep.cbc.outcome == Outcome::Optimal &&
                 std::fabs(rec.ours.obj - rep.cbc.obj) <= kSoftFactor * o.tol.objective * std::max(1.0, std::fabs(rep.cbc.obj))) {
        // An objective a few ulps of the tolerance off, from an answer that
        // passes the checks: a tolerance effect, reported as such.
        rec.explained = true;
        rec.tolerance = true;
        rec.explanation = "objective within " + num(kSoftFactor * o.tol.objective) + " relative of cbc's";
      }
    }
    rep.solves.push_back(std::move(rec));
  }
  return rep;
}

// ---------------------------------------------------------------------------
// Minimizing

namespace {

Mip dropMip(const Mip& m, const std::vector<char>& dropRow, const std::vector<char>& dropCol) {
  Mip out;
  out.lp = dropRowsCols(m.lp, dropRow, dropCol);
  std::vector<int> newCol(m.lp.n, -1);
  for (int j = 0, k = 0; j < m.lp.n; ++j)
    if (!dropCol[j]) { newCol[j] = k++; out.ctype.push_back(m.ctype[j]); }
  for (const SosSet& s : m.sos) {
    SosSet t;
    t.type = s.type;
    for (size_t q = 0; q < s.ind.size(); ++q)
      if (newCol[s.ind[q]] >= 0) { t.ind.push_back(newCol[s.ind[q]]); t.wt.push_back(s.wt[q]); }
    if (t.ind.size() >= 2) out.sos.push_back(t);
  }
  return out;
}

std::string mipFaultPrint(const MipSolveRecord& s, const PeerResult& cbc) {
  std::string p = std::string(outcomeName(s.ours.outcome)) + "|" + outcomeName(cbc.outcome) + "|" +
                  (s.agree ? "agree" : s.explained ? "explained" : "unexplained");
  std::vector<std::string> kinds;
  for (const auto& f : s.failures)
    if (f.kind != "planted-feasible" && f.kind != "planted-better" && !isSoftKind(f.kind)) kinds.push_back(f.kind);
  std::sort(kinds.begin(), kinds.end());
  for (const auto& k : kinds) p += "|" + k;
  return p;
}

}  // namespace

Mip minimizeMipCase(Ours& ours, const MipCase& c, const MipRunOptions& o) {
  const MipCaseReport first = runMipCase(ours, c, o);
  const MipSolveRecord* bad = nullptr;
  for (const auto& s : first.solves)
    if (anyHardFailure(s.failures) || (!s.agree && !s.explained && !s.limit)) { bad = &s; break; }
  if (!bad) return c.mip;
  const std::string config = bad->config, want = mipFaultPrint(*bad, first.cbc);
  auto fails = [&](const Mip& cand) {
    MipCase cc = c;
    cc.mip = cand;
    cc.planted.clear();
    MipRunOptions mo = o;
    mo.allConfigs = config != "default";
    mo.seconds = std::min(o.seconds, 3.0);
    const MipCaseReport r = runMipCase(ours, cc, mo);
    for (const auto& s : r.solves)
      if (s.config == config) return mipFaultPrint(s, r.cbc) == want;
    return false;
  };
  Mip cur = c.mip;
  int tries = 0;
  for (int what = 0; what < 2; ++what) {  // rows, then columns
    for (int chunk = std::max(1, (what == 0 ? cur.lp.m : cur.lp.n) / 2); chunk >= 1 && tries < 300; chunk /= 2) {
      for (int start = 0; tries < 300;) {
        const int total = what == 0 ? cur.lp.m : cur.lp.n;
        if (start >= total || (what == 1 && total - chunk < 1)) break;
        std::vector<char> dr(cur.lp.m, 0), dc(cur.lp.n, 0);
        for (int k = start; k < std::min(total, start + chunk); ++k) (what == 0 ? dr : dc)[k] = 1;
        Mip cand = dropMip(cur, dr, dc);
        ++tries;
        if (fails(cand)) cur = std::move(cand);
        else start += chunk;
      }
      if (chunk == 1) break;
    }
  }
  return cur;
}

}  // namespace vnt::diff
