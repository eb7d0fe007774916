// Property tests of the basis factorization: solves against the basis matrix
// itself, long update sequences against fresh factorizations, singular
// bases and their repair, sparse against dense solve paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "simplex/factor.h"

namespace {

using vnt::simplex::Factor;
using vnt::simplex::MatrixView;
using vnt::simplex::WorkVec;

struct Mat {
  int m = 0, n = 0;
  std::vector<int64_t> start{0};
  std::vector<int> index;
  std::vector<double> value;

  void addColumn(const std::vector<std::pair<int, double>>& e) {
    for (auto [i, v] : e) {
      index.push_back(i);
      value.push_back(v);
    }
    start.push_back(static_cast<int64_t>(index.size()));
    ++n;
  }
  MatrixView view() const {
    MatrixView a;
    a.m = m;
    a.n = n;
    a.start = start.data();
    a.index = index.data();
    a.value = value.data();
    return a;
  }
  // y += coef * column of variable v (structural or logical).
  void axpy(int v, double coef, std::vector<double>& y) const {
    if (v >= n) {
      y[v - n] += coef;
      return;
    }
    for (int64_t p = start[v]; p < start[v + 1]; ++p) y[index[p]] += coef * value[p];
  }
  double dot(int v, const std::vector<double>& y) const {
    if (v >= n) return y[v - n];
    double d = 0.0;
    for (int64_t p = start[v]; p < start[v + 1]; ++p) d += value[p] * y[index[p]];
    return d;
  }
};

// A sparse matrix with the structure of LP constraint matrices: every column
// has one larger entry on a random "own" row plus a few others, and some
// columns are much denser than the rest.  `wild` spreads the magnitudes of
// the other entries over four orders (such bases can be very ill-conditioned,
// so only backward errors are meaningful for them).
Mat randomMatrix(int m, int n, double avgPerCol, std::mt19937_64& rng, bool wild = true) {
  Mat a;
  a.m = m;
  std::uniform_real_distribution<double> uni(0.0, 1.0);
  std::uniform_int_distribution<int> row(0, m - 1);
  std::vector<int> mark(m, -1);
  for (int j = 0; j < n; ++j) {
    std::vector<std::pair<int, double>> e;
    int own = row(rng);
    double sgn = uni(rng) < 0.5 ? -1.0 : 1.0;
    e.push_back({own, sgn * (1.0 + 4.0 * uni(rng))});
    mark[own] = j;
    int extra = static_cast<int>(std::floor(avgPerCol - 1.0 + uni(rng)));
    if (uni(rng) < 0.02) extra = std::min(m - 1, extra * 10 + 10);
    for (int t = 0; t < extra; ++t) {
      int i = row(rng);
      if (mark[i] == j) continue;
      mark[i] = j;
      double v = (uni(rng) - 0.5) * 2.0;
      if (wild && uni(rng) < 0.1) v *= 100.0;
      if (wild && uni(rng) < 0.1) v *= 0.01;
      e.push_back({i, v});
    }
    a.addColumn(e);
  }
  return a;
}

// A basis with a share of structurals and logicals for the rest.
std::vector<int> randomBasis(const Mat& a, double structShare, std::mt19937_64& rng) {
  std::vector<int> cols(a.n);
  for (int j = 0; j < a.n; ++j) cols[j] = j;
  std::shuffle(cols.begin(), cols.end(), rng);
  int ns = std::min(a.n, static_cast<int>(structShare * a.m));
  std::vector<int> basis(cols.begin(), cols.begin() + ns);
  std::vector<int> rows(a.m);
  for (int i = 0; i < a.m; ++i) rows[i] = i;
  std::shuffle(rows.begin(), rows.end(), rng);
  for (int i = 0; static_cast<int>(basis.size()) < a.m; ++i) basis.push_back(a.n + rows[i]);
  std::shuffle(basis.begin(), basis.end(), rng);
  return basis;
}

WorkVec randomVector(int m, int nnz, std::mt19937_64& rng) {
  WorkVec x;
  x.resize(m);
  std::uniform_int_distribution<int> row(0, m - 1);
  std::uniform_real_distribution<double> uni(-1.0, 1.0);
  for (int t = 0; t < nnz; ++t) {
    int i = row(rng);
    if (x.val[i] == 0.0) x.idx[x.nnz++] = i;
    x.val[i] = uni(rng);
    if (x.val[i] == 0.0) x.val[i] = 0.5;
  }
  return x;
}

double infNorm(const std::vector<double>& v) {
  double s = 0.0;
  for (double d : v) s = std::max(s, std::fabs(d));
  return s;
}

// Index list must cover every nonzero and hold no duplicates.
void expectPacked(const WorkVec& x) {
  ASSERT_TRUE(x.packed);
  std::vector<char> seen(x.val.size(), 0);
  for (int k = 0; k < x.nnz; ++k) {
    ASSERT_FALSE(seen[x.idx[k]]) << "duplicate index " << x.idx[k];
    seen[x.idx[k]] = 1;
  }
  for (size_t i = 0; i < x.val.size(); ++i)
    if (x.val[i] != 0.0) {
      ASSERT_TRUE(seen[i]) << "nonzero " << i << " missing from index";
    }
}

// Normwise backward error of B x = b: |B x - b| / (|B| |x| + |b|), infinity norms.
double ftranResidual(const Mat& a, const std::vector<int>& basis, const std::vector<double>& b,
                     const WorkVec& x) {
  std::vector<double> r(a.m, 0.0), rowAbs(a.m, 0.0);
  for (int j = 0; j < a.m; ++j) {
    const int v = basis[j];
    a.axpy(v, x.val[j], r);
    if (v >= a.n) {
      rowAbs[v - a.n] += 1.0;
    } else {
      for (int64_t p = a.start[v]; p < a.start[v + 1]; ++p) rowAbs[a.index[p]] += std::fabs(a.value[p]);
    }
  }
  for (int i = 0; i < a.m; ++i) r[i] -= b[i];
  return infNorm(r) / (infNorm(rowAbs) * infNorm(x.val) + infNorm(b));
}

// Normwise backward error of B^T y = c.
double btranResidual(const Mat& a, const std::vector<int>& basis, const std::vector<double>& c,
                     const WorkVec& y) {
  double worst = 0.0, normBt = 0.0;
  for (int j = 0; j < a.m; ++j) {
    const int v = basis[j];
    double d = 0.0, s = 1.0;
    if (v >= a.n) {
      d = y.val[v - a.n];
    } else {
      s = 0.0;
      for (int64_t p = a.start[v]; p < a.start[v + 1]; ++p) {
        d += a.value[p] * y.val[a.index[p]];
        s += std::fabs(a.value[p]);
      }
    }
    worst = std::max(worst, std::fabs(d - c[j]));
    normBt = std::max(normBt, s);
  }
  return worst / (normBt * infNorm(y.val) + infNorm(c));
}

void checkSolves(const Factor& f, const Mat& a, const std::vector<int>& basis, int nnzRhs,
                 std::mt19937_64& rng, double density, double tol = 1e-12) {
  WorkVec x = randomVector(a.m, nnzRhs, rng);
  std::vector<double> b = x.val;
  f.ftran(x, density);
  expectPacked(x);
  EXPECT_LT(ftranResidual(a, basis, b, x), tol);
  WorkVec y = randomVector(a.m, nnzRhs, rng);
  std::vector<double> c = y.val;
  f.btran(y, density);
  expectPacked(y);
  EXPECT_LT(btranResidual(a, basis, c, y), tol);
}

struct Shape {
  int m;
  double perCol;
  double structShare;
};

TEST(FactorSolve, RandomBasesSparseAndDenseRightHandSides) {
  std::mt19937_64 rng(12345);
  const Shape shapes[] = {{1, 1.0, 1.0},    {5, 2.0, 1.0},    {40, 3.0, 0.8},
                          {200, 4.0, 0.5},  {200, 8.0, 1.0},  {600, 3.0, 0.9},
                          {1500, 5.0, 0.7}, {120, 40.0, 1.0}, {3000, 2.5, 0.6}};
  for (const Shape& s : shapes) {
    SCOPED_TRACE(testing::Message() << "m=" << s.m << " perCol=" << s.perCol);
    Mat a = randomMatrix(s.m, 2 * s.m, s.perCol, rng);
    std::vector<int> basis = randomBasis(a, s.structShare, rng);
    Factor f;
    std::vector<int> rep;
    int nrep = f.build(a.view(), basis.data(), &rep);
    ASSERT_GE(nrep, 0);
    EXPECT_EQ(nrep, static_cast<int>(rep.size()));
    for (int nnz : {1, 3, std::max(1, s.m / 10), s.m})
      for (double dens : {1.0, 0.01}) checkSolves(f, a, basis, nnz, rng, dens);
  }
}

TEST(FactorSolve, SlackBasisIsTrivial) {
  std::mt19937_64 rng(7);
  Mat a = randomMatrix(50, 80, 4.0, rng);
  std::vector<int> basis(50);
  for (int i = 0; i < 50; ++i) basis[i] = a.n + (i * 7) % 50;
  Factor f;
  EXPECT_EQ(f.build(a.view(), basis.data()), 0);
  EXPECT_EQ(f.stats().lNnz, 0);
  EXPECT_EQ(f.stats().uNnz, 0);
  EXPECT_DOUBLE_EQ(f.conditionRatio(), 1.0);
  checkSolves(f, a, basis, 5, rng, 1.0, 1e-15);
}

TEST(FactorSolve, ThresholdKeepsBadlyScaledBasisAccurate) {
  // Entries over many orders of magnitude: a pivot threshold of 0.9 must keep
  // the solves accurate, and so must the default.
  std::mt19937_64 rng(99);
  for (double u : {0.01, 0.9}) {
    Mat a = randomMatrix(300, 600, 6.0, rng);
    std::uniform_real_distribution<double> e(-4.0, 4.0);
    for (double& v : a.value) v *= std::pow(10.0, e(rng));
    std::vector<int> basis = randomBasis(a, 1.0, rng);
    Factor f;
    f.setPivotThreshold(u);
    EXPECT_DOUBLE_EQ(f.pivotThreshold(), u);
    ASSERT_GE(f.build(a.view(), basis.data()), 0);
    checkSolves(f, a, basis, 300, rng, 1.0);
  }
}

// ---------------------------------------------------------------------------
// Singular bases

TEST(FactorRepair, DependentColumnsAreReplacedByLogicals) {
  std::mt19937_64 rng(3);
  Mat a = randomMatrix(60, 0, 3.0, rng);
  Mat base = randomMatrix(60, 60, 3.0, rng);
  a = base;
  // 60: copy of column 5; 61: column 7 + 2 * column 9; 62: empty column;
  // 63 and 64: both only in row 0 (structurally singular pair).
  auto col = [&](int j) {
    std::vector<std::pair<int, double>> e;
    for (int64_t p = base.start[j]; p < base.start[j + 1]; ++p) e.push_back({base.index[p], base.value[p]});
    return e;
  };
  a.addColumn(col(5));
  {
    std::vector<double> d(60, 0.0);
    base.axpy(7, 1.0, d);
    base.axpy(9, 2.0, d);
    std::vector<std::pair<int, double>> e;
    for (int i = 0; i < 60; ++i)
      if (d[i] != 0.0) e.push_back({i, d[i]});
    a.addColumn(e);
  }
  a.addColumn({});
  a.addColumn({{0, 1.0}});
  a.addColumn({{0, 3.0}});

  struct Case {
    std::vector<int> extra;     // structurals added to the basis
    std::vector<int> logicals;  // logicals added
    int expectMin;              // repairs at least
  };
  const Case cases[] = {
      {{5, 60}, {}, 1},
      {{7, 9, 61}, {}, 1},
      {{62}, {}, 1},
      {{63, 64}, {}, 1},
      {{}, {4, 4, 4}, 2},       // the same logical three times
      {{5, 60, 7, 9, 61, 62, 63, 64}, {0}, 5},
  };
  for (const Case& c : cases) {
    // Fill the rest of the basis with logicals of distinct rows not touched by
    // the extra columns where possible, so the dependency stays.
    std::vector<int> basis;
    for (int v : c.extra) basis.push_back(v);
    for (int r : c.logicals) basis.push_back(a.n + r);
    std::vector<char> used(60, 0);
    for (int v : c.extra)
      for (int64_t p = a.start[v]; p < a.start[v + 1]; ++p) used[a.index[p]] = 1;
    for (int r : c.logicals) used[r] = 1;
    for (int i = 0; i < 60 && static_cast<int>(basis.size()) < 60; ++i)
      if (!used[i]) basis.push_back(a.n + i);
    for (int i = 0; static_cast<int>(basis.size()) < 60; ++i) basis.push_back(10 + i);  // structurals
    std::shuffle(basis.begin(), basis.end(), rng);
    std::vector<int> before = basis;

    Factor f;
    std::vector<int> rep;
    int nrep = f.build(a.view(), basis.data(), &rep);
    ASSERT_GE(nrep, c.expectMin);
    ASSERT_EQ(nrep, static_cast<int>(rep.size()));
    // Exactly the reported positions changed, each to a logical, all distinct.
    std::vector<char> isRep(60, 0);
    for (int p : rep) {
      isRep[p] = 1;
      EXPECT_GE(basis[p], a.n);
    }
    for (int j = 0; j < 60; ++j)
      if (!isRep[j]) {
        EXPECT_EQ(basis[j], before[j]);
      }
    std::vector<int> sorted = basis;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    // The repaired basis factorizes without repairs and solves accurately.
    checkSolves(f, a, basis, 60, rng, 1.0);
    Factor g;
    std::vector<int> again = basis;
    EXPECT_EQ(g.build(a.view(), again.data()), 0);
    EXPECT_EQ(again, basis);
  }
}

TEST(FactorRepair, NumericallyDependentColumn) {
  // A column equal to a combination of others up to rounding is dependent.
  std::mt19937_64 rng(17);
  Mat a = randomMatrix(200, 300, 4.0, rng);
  std::vector<int> basis = randomBasis(a, 1.0, rng);
  Factor f0;
  ASSERT_GE(f0.build(a.view(), basis.data()), 0);
  std::vector<double> d(200, 0.0);
  a.axpy(basis[0], 0.3, d);
  a.axpy(basis[1], -1.7, d);
  a.axpy(basis[2], 2.1, d);
  std::vector<std::pair<int, double>> e;
  for (int i = 0; i < 200; ++i)
    if (d[i] != 0.0) e.push_back({i, d[i]});
  a.addColumn(e);
  basis[3] = a.n - 1;
  Factor f;
  std::vector<int> rep;
  EXPECT_GE(f.build(a.view(), basis.data(), &rep), 1);
  checkSolves(f, a, basis, 200, rng, 1.0);
}

// ---------------------------------------------------------------------------
// Updates

// Simplex-like sequence: a random entering column replaces a position with
// a reasonably large pivot; rebuild when asked.  After each update the solves
// are checked against the current basis and against a fresh factorization.
void runUpdates(int m, double perCol, int steps, uint64_t seed, bool productForm) {
  std::mt19937_64 rng(seed);
  Mat a = randomMatrix(m, 3 * m, perCol, rng, false);
  std::vector<int> basis = randomBasis(a, 0.5, rng);
  Factor f;
  f.setProductFormUpdate(productForm);
  // Forrest-Tomlin keeps the backward error near that of a fresh factor;
  // product-form etas carry the rounding errors of the FTRAN'd columns along,
  // and random bases can be badly conditioned.  A wrong update gives O(1).
  const double tol = productForm ? 1e-7 : 1e-10;
  ASSERT_GE(f.build(a.view(), basis.data()), 0);
  std::vector<char> inBasis(a.n + m, 0);
  for (int v : basis) inBasis[v] = 1;
  std::uniform_int_distribution<int> var(0, a.n + m - 1);
  int rebuilds = 0, done = 0;
  for (int it = 0; it < steps; ++it) {
    int q;
    do q = var(rng);
    while (inBasis[q]);
    WorkVec col;
    col.resize(m);
    a.axpy(q, 1.0, col.val);
    col.repack();
    f.ftranForUpdate(col, 0.05);
    double mx = 0.0;
    for (int k = 0; k < col.nnz; ++k) mx = std::max(mx, std::fabs(col.val[col.idx[k]]));
    if (mx < 1e-7) continue;
    std::vector<int> cand;
    for (int k = 0; k < col.nnz; ++k)
      if (std::fabs(col.val[col.idx[k]]) >= 0.5 * mx) cand.push_back(col.idx[k]);
    int p = cand[std::uniform_int_distribution<int>(0, static_cast<int>(cand.size()) - 1)(rng)];
    if (it % 2 == 0) {
      // The leaving row of B^-1, as the dual simplex computes it before the
      // update (the update then takes its row elimination from it).
      WorkVec e;
      e.resize(m);
      e.val[p] = it % 4 == 0 ? 1.0 : -2.5;
      e.idx[e.nnz++] = p;
      f.btran(e, 0.05);
    }
    inBasis[basis[p]] = 0;
    basis[p] = q;
    inBasis[q] = 1;
    int rc = f.update(p, col.val[p]);
    ++done;
    if (rc != 0) {
      std::vector<int> rep;
      ASSERT_GE(f.build(a.view(), basis.data(), &rep), 0);
      for (int pos : rep) (void)pos;
      std::fill(inBasis.begin(), inBasis.end(), 0);
      for (int v : basis) inBasis[v] = 1;
      ++rebuilds;
    }
    if (it % 7 == 0 || it == steps - 1) {
      SCOPED_TRACE(testing::Message() << "step " << it << " updates " << f.numUpdates());
      checkSolves(f, a, basis, 2, rng, 0.01, tol);
      checkSolves(f, a, basis, m, rng, 1.0, tol);
      // Against a fresh factorization of the same basis.
      Factor g;
      std::vector<int> b2 = basis;
      ASSERT_EQ(g.build(a.view(), b2.data()), 0);
      WorkVec x = randomVector(m, 5, rng), x2 = x;
      f.ftran(x);
      g.ftran(x2);
      const double tx = 1e-6 * (1.0 + infNorm(x2.val));
      for (int i = 0; i < m; ++i) EXPECT_NEAR(x.val[i], x2.val[i], tx);
      WorkVec y = randomVector(m, 5, rng), y2 = y;
      f.btran(y);
      g.btran(y2);
      const double ty = 1e-6 * (1.0 + infNorm(y2.val));
      for (int i = 0; i < m; ++i) EXPECT_NEAR(y.val[i], y2.val[i], ty);
    }
  }
  EXPECT_GT(done, steps / 2);
  // Most updates must have been taken (not refused and rebuilt).
  EXPECT_LT(f.stats().refusedUpdates, steps / 20 + 2);
  EXPECT_LT(rebuilds, steps / 5);
}

TEST(FactorUpdate, LongSequencesMatchFreshFactorization) {
  for (bool pf : {false, true}) {
    SCOPED_TRACE(pf ? "product form" : "Forrest-Tomlin");
    runUpdates(30, 3.0, 400, 1, pf);
    runUpdates(300, 4.0, 600, 2, pf);
    runUpdates(1000, 3.0, 400, 3, pf);
  }
}

TEST(FactorUpdate, PivotDisagreementAsksForRebuild) {
  std::mt19937_64 rng(11);
  Mat a = randomMatrix(40, 80, 3.0, rng, false);
  std::vector<int> basis = randomBasis(a, 0.5, rng);
  Factor f;
  ASSERT_GE(f.build(a.view(), basis.data()), 0);
  WorkVec col;
  col.resize(40);
  a.axpy(basis[3], 2.0, col.val);
  a.axpy(basis[5], 1.0, col.val);
  col.repack();
  f.ftranForUpdate(col);
  EXPECT_NEAR(col.val[3], 2.0, 1e-12);
  EXPECT_EQ(f.update(3, 2.0 * (1.0 + 1e-3)), 1);
  EXPECT_FALSE(f.valid());
  // The same column with the matching pivot is accepted.
  ASSERT_EQ(f.build(a.view(), basis.data()), 0);
  col.clear();
  a.axpy(basis[3], 2.0, col.val);
  a.axpy(basis[5], 1.0, col.val);
  col.repack();
  f.ftranForUpdate(col);
  EXPECT_EQ(f.update(3, col.val[3]), 0);
  EXPECT_TRUE(f.valid());
  EXPECT_EQ(f.numUpdates(), 1);
}

TEST(FactorUpdate, UpdateLimitAsksForRebuildButKeepsFactorsUsable) {
  std::mt19937_64 rng(12);
  Mat a = randomMatrix(100, 300, 3.0, rng, false);
  std::vector<int> basis = randomBasis(a, 0.3, rng);
  Factor f;
  f.setUpdateLimit(3);
  ASSERT_GE(f.build(a.view(), basis.data()), 0);
  std::vector<char> inBasis(a.n + 100, 0);
  for (int v : basis) inBasis[v] = 1;
  int rc = 0, q = 0;
  for (int k = 0; k < 3; ++k) {
    while (inBasis[q]) ++q;
    WorkVec col;
    col.resize(100);
    a.axpy(q, 1.0, col.val);
    col.repack();
    f.ftranForUpdate(col);
    int p = col.idx[0];
    for (int t = 0; t < col.nnz; ++t)
      if (std::fabs(col.val[col.idx[t]]) > std::fabs(col.val[p])) p = col.idx[t];
    inBasis[basis[p]] = 0;
    basis[p] = q;
    inBasis[q] = 1;
    rc = f.update(p);
    if (k < 2) {
      EXPECT_EQ(rc, 0);
    }
  }
  EXPECT_EQ(rc, 1);
  EXPECT_TRUE(f.valid());
  checkSolves(f, a, basis, 100, rng, 1.0);
}

// ---------------------------------------------------------------------------
// Sparse (symbolic) solves against dense ones

TEST(FactorSolve, HypersparsePathMatchesDensePath) {
  std::mt19937_64 rng(21);
  const int m = 4000;
  Mat a = randomMatrix(m, 2 * m, 2.5, rng, false);
  std::vector<int> basis = randomBasis(a, 0.6, rng);
  Factor f;
  ASSERT_GE(f.build(a.view(), basis.data()), 0);
  std::vector<char> inBasis(a.n + m, 0);
  for (int v : basis) inBasis[v] = 1;
  std::uniform_int_distribution<int> var(0, a.n + m - 1);
  for (int round = 0; round < 40; ++round) {
    for (int nnz : {1, 2, 10}) {
      WorkVec x = randomVector(m, nnz, rng), xd = x;
      std::vector<double> b = x.val;
      f.ftran(x, 0.001);
      f.ftran(xd, 1.0);
      expectPacked(x);
      // Same operations in another order: equal up to rounding.
      const double tx = 1e-12 * (1.0 + infNorm(xd.val));
      for (int i = 0; i < m; ++i) ASSERT_NEAR(x.val[i], xd.val[i], tx);
      EXPECT_LT(ftranResidual(a, basis, b, x), 1e-10);
      WorkVec y = randomVector(m, nnz, rng), yd = y;
      std::vector<double> c = y.val;
      f.btran(y, 0.001);
      f.btran(yd, 1.0);
      expectPacked(y);
      const double ty = 1e-12 * (1.0 + infNorm(yd.val));
      for (int i = 0; i < m; ++i) ASSERT_NEAR(y.val[i], yd.val[i], ty);
      EXPECT_LT(btranResidual(a, basis, c, y), 1e-10);
    }
    // An update between rounds so the row etas take part.
    int q;
    do q = var(rng);
    while (inBasis[q]);
    WorkVec col;
    col.resize(m);
    a.axpy(q, 1.0, col.val);
    col.repack();
    f.ftranForUpdate(col, 0.001);
    int p = col.idx[0];
    for (int t = 0; t < col.nnz; ++t)
      if (std::fabs(col.val[col.idx[t]]) > std::fabs(col.val[p])) p = col.idx[t];
    inBasis[basis[p]] = 0;
    basis[p] = q;
    inBasis[q] = 1;
    if (f.update(p) != 0) {
      ASSERT_GE(f.build(a.view(), basis.data()), 0);
      std::fill(inBasis.begin(), inBasis.end(), 0);
      for (int v : basis) inBasis[v] = 1;
    }
  }
  EXPECT_GT(f.stats().hyperFtrans, 0);
  EXPECT_GT(f.stats().hyperBtrans, 0);
}

// ---------------------------------------------------------------------------
// Recovery ladder

TEST(FactorRecovery, ThresholdLadderAndConditionTable) {
  std::vector<double> seq{0.01};
  while (seq.back() < 0.99999) seq.push_back(vnt::simplex::raiseMarkowitzThreshold(seq.back()));
  ASSERT_EQ(seq.size(), 11u);
  EXPECT_DOUBLE_EQ(seq[1], 0.1);
  EXPECT_NEAR(seq[2], 0.2, 1e-12);
  EXPECT_NEAR(seq[9], 0.9, 1e-12);
  EXPECT_DOUBLE_EQ(seq[10], 0.99999);
  EXPECT_DOUBLE_EQ(vnt::simplex::raiseMarkowitzThreshold(0.99999), 0.99999);
  using vnt::simplex::factorIllConditioned;
  EXPECT_TRUE(factorIllConditioned(5e9, 0.01));
  EXPECT_FALSE(factorIllConditioned(5e9, 0.1));
  EXPECT_FALSE(factorIllConditioned(5e9, 0.5));
  EXPECT_TRUE(factorIllConditioned(2e12, 0.3));
  EXPECT_FALSE(factorIllConditioned(2e12, 0.5));
  EXPECT_TRUE(factorIllConditioned(2e13, 0.9));
  EXPECT_FALSE(factorIllConditioned(2e13, 0.99999));
  EXPECT_FALSE(factorIllConditioned(1e9, 0.01));
}

TEST(FactorRecovery, ConditionRatioOfScaledPivots) {
  // Diagonal basis: the ratio is max(1, max|d|) / min(1, min|d|).
  Mat a;
  a.m = 3;
  a.addColumn({{0, 4.0}});
  a.addColumn({{1, 0.25}});
  a.addColumn({{2, -2.0}});
  std::vector<int> basis{0, 1, 2};
  Factor f;
  ASSERT_EQ(f.build(a.view(), basis.data()), 0);
  EXPECT_DOUBLE_EQ(f.conditionRatio(), 16.0);
}

TEST(FactorUpdate, TinyPivotIsRefused) {
  std::mt19937_64 rng(5);
  Mat a = randomMatrix(20, 40, 3.0, rng);
  std::vector<int> basis = randomBasis(a, 0.5, rng);
  Factor f;
  ASSERT_GE(f.build(a.view(), basis.data()), 0);
  // Entering column = basic column at position 0 plus 1e-14 times the one at 1:
  // its pivot at position 1 is 1e-14.
  WorkVec col;
  col.resize(20);
  a.axpy(basis[0], 1.0, col.val);
  a.axpy(basis[1], 1e-14, col.val);
  col.repack();
  f.ftranForUpdate(col);
  EXPECT_NEAR(col.val[0], 1.0, 1e-12);
  EXPECT_EQ(f.update(1), 1);
  EXPECT_EQ(f.stats().refusedUpdates, 1);
}

}  // namespace
