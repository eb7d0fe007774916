// The basis factorization on bases of Netlib models: random structural
// bases (dependent columns repaired by logicals), solves checked against the
// basis matrix, and a simplex-like update sequence checked against a fresh
// factorization.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "simplex/factor.h"
#include "simplex_factor/mps_columns.h"

namespace {

using vnt::simplex::Factor;
using vnt::simplex::MatrixView;
using vnt::simplex::WorkVec;
using vnt::testing::Model;

void loadColumn(const Model& md, int v, WorkVec& x) {
  x.clear();
  if (v >= md.n) {
    x.val[v - md.n] = 1.0;
    x.idx[x.nnz++] = v - md.n;
    return;
  }
  for (int64_t p = md.start[v]; p < md.start[v + 1]; ++p) {
    x.val[md.index[p]] = md.value[p];
    x.idx[x.nnz++] = md.index[p];
  }
}

// Normwise backward error of B x = b.
double ftranError(const Model& md, const std::vector<int>& basis, const std::vector<double>& b,
                  const WorkVec& x) {
  std::vector<double> r(md.m, 0.0), rowAbs(md.m, 0.0);
  double xn = 0.0, bn = 0.0;
  for (int j = 0; j < md.m; ++j) {
    const int v = basis[j];
    xn = std::max(xn, std::fabs(x.val[j]));
    if (v >= md.n) {
      r[v - md.n] += x.val[j];
      rowAbs[v - md.n] += 1.0;
      continue;
    }
    for (int64_t p = md.start[v]; p < md.start[v + 1]; ++p) {
      r[md.index[p]] += md.value[p] * x.val[j];
      rowAbs[md.index[p]] += std::fabs(md.value[p]);
    }
  }
  double rn = 0.0, an = 0.0;
  for (int i = 0; i < md.m; ++i) {
    rn = std::max(rn, std::fabs(r[i] - b[i]));
    an = std::max(an, rowAbs[i]);
    bn = std::max(bn, std::fabs(b[i]));
  }
  return rn / (an * xn + bn);
}

// Normwise backward error of B^T y = c.
double btranError(const Model& md, const std::vector<int>& basis, const std::vector<double>& c,
                  const WorkVec& y) {
  double rn = 0.0, an = 0.0, yn = 0.0, cn = 0.0;
  for (double v : y.val) yn = std::max(yn, std::fabs(v));
  for (int j = 0; j < md.m; ++j) {
    const int v = basis[j];
    double d = 0.0, s = 1.0;
    if (v >= md.n) {
      d = y.val[v - md.n];
    } else {
      s = 0.0;
      for (int64_t p = md.start[v]; p < md.start[v + 1]; ++p) {
        d += md.value[p] * y.val[md.index[p]];
        s += std::fabs(md.value[p]);
      }
    }
    rn = std::max(rn, std::fabs(d - c[j]));
    an = std::max(an, s);
    cn = std::max(cn, std::fabs(c[j]));
  }
  return rn / (an * yn + cn);
}

// Build with the recovery ladder of the driver: a factor whose pivots are too
// far apart for the threshold in force is rebuilt with a raised threshold.
// Returns the number of repairs of all passes (positions added to `replaced`).
int buildChecked(Factor& f, const MatrixView& a, std::vector<int>& basis, std::vector<int>* replaced = nullptr) {
  std::vector<int> rep;
  int total = 0;
  for (;;) {
    const int rc = f.build(a, basis.data(), &rep);
    if (rc < 0) return rc;
    total += rc;
    if (replaced) replaced->insert(replaced->end(), rep.begin(), rep.end());
    if (!vnt::simplex::factorIllConditioned(f.conditionRatio(), f.pivotThreshold())) return total;
    f.setPivotThreshold(vnt::simplex::raiseMarkowitzThreshold(f.pivotThreshold()));
  }
}

class NetlibFactor : public testing::TestWithParam<const char*> {};

TEST_P(NetlibFactor, SolvesAndUpdatesOnStructuralBases) {
  Model md;
  const std::string path = std::string(VANTO_DATA_DIR) + "/netlib/" + GetParam() + ".mps.gz";
  ASSERT_TRUE(vnt::testing::readMps(path, md)) << path;
  const int m = md.m;
  MatrixView a{md.m, md.n, md.start.data(), md.index.data(), md.value.data()};

  // As many structurals as rows (or all of them), dependent ones repaired.
  std::mt19937_64 rng(42);
  std::vector<int> cols(md.n);
  for (int j = 0; j < md.n; ++j) cols[j] = j;
  std::shuffle(cols.begin(), cols.end(), rng);
  std::vector<int> basis(cols.begin(), cols.begin() + std::min(md.n, m));
  for (int i = 0; static_cast<int>(basis.size()) < m; ++i) basis.push_back(md.n + i);
  std::vector<int> original = basis;
  Factor f;
  std::vector<int> rep;
  const int nrep = buildChecked(f, a, basis, &rep);
  ASSERT_GE(nrep, 0);
  for (int j = 0; j < m; ++j) {
    if (std::find(rep.begin(), rep.end(), j) != rep.end()) {
      EXPECT_GE(basis[j], md.n);
    } else {
      EXPECT_EQ(basis[j], original[j]);
    }
  }
  {
    Factor g;
    g.setPivotThreshold(f.pivotThreshold());
    std::vector<int> again = basis;
    ASSERT_EQ(g.build(a, again.data()), 0) << "the repaired basis must be nonsingular";
  }

  WorkVec x, y;
  x.resize(m);
  y.resize(m);
  std::uniform_int_distribution<int> pickCol(0, md.n - 1), pickRow(0, m - 1), pickVar(0, md.n + m - 1);
  for (int k = 0; k < 40; ++k) {
    for (double hint : {1.0, 0.01}) {
      loadColumn(md, pickCol(rng), x);
      std::vector<double> b = x.val;
      f.ftran(x, hint);
      EXPECT_LT(ftranError(md, basis, b, x), 1e-13);
      y.clear();
      const int r = pickRow(rng);
      y.val[r] = 1.0;
      y.idx[y.nnz++] = r;
      std::vector<double> c = y.val;
      f.btran(y, hint);
      EXPECT_LT(btranError(md, basis, c, y), 1e-13);
    }
  }

  // Simplex-like sequence: leaving row BTRAN, entering column FTRAN, update.
  std::vector<int> posOf(md.n + m, -1);
  for (int j = 0; j < m; ++j) posOf[basis[j]] = j;
  int updates = 0;
  for (int it = 0; it < 150; ++it) {
    int q = pickVar(rng);
    if (posOf[q] >= 0) continue;
    loadColumn(md, q, x);
    f.ftranForUpdate(x, 0.05);
    int p = -1;
    for (int k = 0; k < x.nnz; ++k)
      if (p < 0 || std::fabs(x.val[x.idx[k]]) > std::fabs(x.val[p])) p = x.idx[k];
    if (p < 0 || std::fabs(x.val[p]) < 1e-6) continue;
    y.clear();
    y.val[p] = 1.0;
    y.idx[y.nnz++] = p;
    f.btran(y, 0.05);
    posOf[basis[p]] = -1;
    basis[p] = q;
    posOf[q] = p;
    if (f.update(p, x.val[p]) != 0) {
      ASSERT_EQ(buildChecked(f, a, basis), 0);
    } else {
      ++updates;
    }
  }
  EXPECT_GT(updates, 50);
  Factor g;
  g.setPivotThreshold(f.pivotThreshold());
  std::vector<int> b2 = basis;
  ASSERT_EQ(buildChecked(g, a, b2), 0);
  for (int k = 0; k < 20; ++k) {
    loadColumn(md, pickCol(rng), x);
    WorkVec x2 = x;
    std::vector<double> b = x.val;
    f.ftran(x, 0.05);
    g.ftran(x2, 0.05);
    EXPECT_LT(ftranError(md, basis, b, x), 1e-11);
    double diff = 0.0, norm = 0.0;
    for (int i = 0; i < m; ++i) {
      diff = std::max(diff, std::fabs(x.val[i] - x2.val[i]));
      norm = std::max(norm, std::fabs(x2.val[i]));
    }
    EXPECT_LT(diff, 1e-8 * (1.0 + norm));
  }
}

INSTANTIATE_TEST_SUITE_P(Models, NetlibFactor,
                         testing::Values("afiro", "sc205", "scfxm1", "25fv47", "bnl2", "ship04s", "maros-r7"),
                         [](const testing::TestParamInfo<const char*>& param) {
                           std::string s = param.param;
                           std::replace(s.begin(), s.end(), '-', '_');
                           return s;
                         });

}  // namespace
