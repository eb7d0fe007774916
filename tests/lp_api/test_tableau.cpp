// Solves with the basis factors through the C interface, checked against the
// model's own matrix after an optimal solve of real models: B times a column
// of B^-1 is a unit vector, rows of B^-1 A agree with rows of B^-1 times A,
// FTRAN and BTRAN are adjoint, and basic columns of the tableau are unit
// vectors.  Also the solution quality display.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/models.h"
#include "lp_api/lp_fixture.h"

namespace {

using vnt::test::modelPath;

constexpr double kTol = 1e-7;  // relative agreement of identities

class Tableau : public vnt::test::LpFixture, public ::testing::WithParamInterface<std::string> {};

TEST_F(LpFixtureTest, SolvesNeedAFactorization) {
  read("netlib", "afiro");
  const int m = VNTgetnumrows(env, lp);
  std::vector<double> x(m, 3.0), y(m, 0.0);
  EXPECT_EQ(VNTftran(env, lp, x.data()), 1258);
  EXPECT_TRUE(std::all_of(x.begin(), x.end(), [](double v) { return v == 3.0; }));
  EXPECT_EQ(VNTbtran(env, lp, x.data()), 1258);
  EXPECT_EQ(VNTbinvrow(env, lp, 0, y.data()), 1258);
  EXPECT_EQ(VNTbinvcol(env, lp, 0, y.data()), 1258);
  EXPECT_EQ(VNTbinvacol(env, lp, 0, y.data()), 1258);
  std::vector<double> z(VNTgetnumcols(env, lp));
  EXPECT_EQ(VNTbinvarow(env, lp, 0, z.data()), 1258);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  EXPECT_EQ(VNTftran(env, lp, x.data()), 0);
  // Out-of-range positions and columns are refused.
  EXPECT_NE(VNTbinvrow(env, lp, m, y.data()), 0);
  EXPECT_NE(VNTbinvacol(env, lp, -1, y.data()), 0);
  // Replacing the basis drops the factorization.
  std::vector<int> cstat(VNTgetnumcols(env, lp)), rstat(m);
  ASSERT_EQ(VNTgetbase(env, lp, cstat.data(), rstat.data()), 0);
  ASSERT_EQ(VNTcopybase(env, lp, cstat.data(), rstat.data()), 0);
  EXPECT_EQ(VNTftran(env, lp, x.data()), 1258);
}

TEST_P(Tableau, IdentitiesHoldAfterOptimalSolve) {
  read("netlib", GetParam());
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1) << GetParam();
  const Matrix a = matrix();
  const int m = a.m, n = a.n;
  std::vector<int> head(m);
  std::vector<double> xb(m);
  ASSERT_EQ(VNTgetbhead(env, lp, head.data(), xb.data()), 0);
  // The basic values agree with the solution.
  std::vector<double> x(n), slack(m);
  ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0);
  ASSERT_EQ(VNTgetslack(env, lp, slack.data(), 0, m - 1), 0);
  for (int p = 0; p < m; ++p) {
    const double want = head[p] >= 0 ? x[head[p]] : slack[-head[p] - 1];
    EXPECT_NEAR(xb[p], want, 1e-9 * std::max(1.0, std::fabs(want)));
  }
  auto bTimes = [&](const std::vector<double>& v) {  // B v, v indexed by position
    std::vector<double> r(m, 0.0);
    for (int p = 0; p < m; ++p) {
      if (v[p] == 0.0) continue;
      if (head[p] < 0) r[-head[p] - 1] += v[p];
      else
        for (int k = a.beg[head[p]]; k < a.beg[head[p] + 1]; ++k) r[a.ind[k]] += a.val[k] * v[p];
    }
    return r;
  };
  std::vector<int> sample;
  const int step = std::max(1, m / 40);
  for (int i = 0; i < m; i += step) sample.push_back(i);

  std::vector<double> col(m), row(m), tab(n), acol(m);
  for (int j : sample) {
    // B * binvcol(j) = e_j.
    ASSERT_EQ(VNTbinvcol(env, lp, j, col.data()), 0);
    std::vector<double> e = bTimes(col);
    double scale = 1.0;
    for (double v : col) scale = std::max(scale, std::fabs(v));
    for (int r = 0; r < m; ++r) ASSERT_NEAR(e[r], r == j ? 1.0 : 0.0, kTol * scale) << GetParam() << " col " << j;
  }
  for (int i : sample) {
    ASSERT_EQ(VNTbinvrow(env, lp, i, row.data()), 0);
    ASSERT_EQ(VNTbinvarow(env, lp, i, tab.data()), 0);
    double scale = 1.0;
    for (double v : row) scale = std::max(scale, std::fabs(v));
    // binvarow(i) = binvrow(i) * A, column by column.
    for (int j = 0; j < n; ++j) {
      double s = 0.0, mag = 0.0;
      for (int k = a.beg[j]; k < a.beg[j + 1]; ++k) {
        s += row[a.ind[k]] * a.val[k];
        mag += std::fabs(row[a.ind[k]] * a.val[k]);
      }
      ASSERT_NEAR(tab[j], s, kTol * std::max(1.0, mag)) << GetParam() << " row " << i << " col " << j;
    }
    // Basic columns of the tableau (and the slack columns, whose entries are
    // those of binvrow) form the unit vector of position i.
    for (int p = 0; p < m; ++p) {
      const double v = head[p] >= 0 ? tab[head[p]] : row[-head[p] - 1];
      ASSERT_NEAR(v, p == i ? 1.0 : 0.0, kTol * scale) << GetParam() << " row " << i << " position " << p;
    }
  }
  // binvacol(j) is the column j of the same tableau.
  for (int j = 0; j < n; j += std::max(1, n / 30)) {
    ASSERT_EQ(VNTbinvacol(env, lp, j, acol.data()), 0);
    for (int i : sample) {
      ASSERT_EQ(VNTbinvarow(env, lp, i, tab.data()), 0);
      ASSERT_NEAR(acol[i], tab[j], kTol * std::max(1.0, std::fabs(tab[j]))) << GetParam();
    }
  }
  // FTRAN solves B x = b; BTRAN solves B^T y = c; and v^T (B^-1 u) equals
  // (B^-T v)^T u.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  std::vector<double> b(m), c(m), u(m), v(m);
  for (int i = 0; i < m; ++i) b[i] = U(rng), c[i] = U(rng);
  u = b;
  ASSERT_EQ(VNTftran(env, lp, u.data()), 0);
  std::vector<double> bu = bTimes(u);
  double us = 1.0;
  for (double t : u) us = std::max(us, std::fabs(t));
  for (int i = 0; i < m; ++i) ASSERT_NEAR(bu[i], b[i], kTol * us) << GetParam();
  v = c;
  ASSERT_EQ(VNTbtran(env, lp, v.data()), 0);
  double vs = 1.0;
  for (double t : v) vs = std::max(vs, std::fabs(t));
  for (int p = 0; p < m; ++p) {
    double s = 0.0;
    if (head[p] < 0) s = v[-head[p] - 1];
    else
      for (int k = a.beg[head[p]]; k < a.beg[head[p] + 1]; ++k) s += v[a.ind[k]] * a.val[k];
    ASSERT_NEAR(s, c[p], kTol * vs * 10) << GetParam() << " position " << p;
  }
  double lhs = 0, rhs = 0, mag = 1;
  for (int i = 0; i < m; ++i) {
    lhs += c[i] * u[i];  // c^T B^-1 b
    rhs += v[i] * b[i];  // (B^-T c)^T b
    mag += std::fabs(c[i] * u[i]) + std::fabs(v[i] * b[i]);
  }
  EXPECT_NEAR(lhs, rhs, kTol * mag) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Netlib, Tableau,
                         ::testing::Values("afiro", "sc50a", "blend", "share2b", "israel", "boeing1",
                                           "grow7", "e226"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

// The display lines, and the values they show against an independent
// computation of the same maxima.
double valueAfter(const std::vector<std::string>& lines, const std::string& prefix, double* scaled = nullptr) {
  for (const auto& l : lines)
    if (l.rfind(prefix, 0) == 0) {
      double u = NAN, s = NAN;
      const char* t = l.c_str() + prefix.size();
      int got = std::sscanf(t, "%lf (%lf)", &u, &s);
      if (scaled && got == 2) *scaled = s;
      return u;
    }
  return NAN;
}

class Quality : public vnt::test::LpFixture {
 protected:
  // A start installed through the interface loads the model with the
  // scaling parameter in force (here: the slack basis).
  void unscaledIfAsked(int scaleParam) {
    if (scaleParam >= 0) return;
    const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
    std::vector<int> cstat(n, 0), rstat(m, 1);
    ASSERT_EQ(VNTcopystart(env, lp, cstat.data(), rstat.data(), nullptr, nullptr, nullptr, nullptr), 0);
  }
};

TEST_F(Quality, ScaledAndUnscaledLines) {
  for (int scaleParam : {0, -1}) {
    ASSERT_EQ(VNTsetintparam(env, 1034, scaleParam), 0);
    read("netlib", "israel");
    unscaledIfAsked(scaleParam);
    ASSERT_EQ(VNTdualopt(env, lp), 0);
    ASSERT_EQ(VNTgetstat(env, lp), 1);
    results.lines.clear();
    ASSERT_EQ(VNTEshowquality(env, lp), 0);
    const auto& L = results.lines;
    ASSERT_EQ(L.size(), 9u);
    const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
    std::vector<double> x(n), dj(n), pi(m), slack(m);
    ASSERT_EQ(VNTsolution(env, lp, nullptr, nullptr, x.data(), pi.data(), slack.data(), dj.data()), 0);
    auto amax = [](const std::vector<double>& v) {
      double r = 0;
      for (double t : v) r = std::max(r, std::fabs(t));
      return r;
    };
    if (scaleParam == 0) {
      const char* want[] = {"Max. unscaled (scaled) Ax-b resid.          = ",
                            "Max. unscaled (scaled) c-B'pi resid.        = ",
                            "Max. unscaled (scaled) |x|                  = ",
                            "Max. unscaled (scaled) |slack|              = ",
                            "Max. unscaled (scaled) |pi|                 = ",
                            "Max. unscaled (scaled) |red-cost|           = "};
      for (int k = 0; k < 6; ++k) EXPECT_EQ(L[2 + k].rfind(want[k], 0), 0u) << L[2 + k];
      EXPECT_TRUE(L[0] == "There are no bound infeasibilities.\n" ||
                  L[0].rfind("Max. unscaled (scaled) bound infeas.        = ", 0) == 0) << L[0];
      EXPECT_TRUE(L[1] == "There are no reduced-cost infeasibilities.\n" ||
                  L[1].rfind("Max. unscaled (scaled) reduced-cost infeas. = ", 0) == 0) << L[1];
      EXPECT_EQ(L[8].rfind("Condition number of scaled basis            = ", 0), 0u) << L[8];
      double s = NAN;
      EXPECT_LT(valueAfter(L, want[0], &s), 1e-8 * std::max(1.0, amax(x)));
      EXPECT_LT(s, 1e-8);
      EXPECT_LT(valueAfter(L, want[1]), 1e-8);
      EXPECT_NEAR(valueAfter(L, want[2]), amax(x), 1e-5 * amax(x));
      EXPECT_NEAR(valueAfter(L, want[3]), amax(slack), 1e-5 * amax(slack));
      EXPECT_NEAR(valueAfter(L, want[4]), amax(pi), 1e-5 * amax(pi));
      EXPECT_NEAR(valueAfter(L, want[5]), amax(dj), 1e-5 * amax(dj));
      EXPECT_GE(valueAfter(L, "Condition number of scaled basis            = "), 1.0);
    } else {
      const char* want[] = {"Maximum Ax-b residual              = ", "Maximum c-B'pi residual            = ",
                            "Maximum |x|                        = ", "Maximum |slack|                    = ",
                            "Maximum |pi|                       = ", "Maximum |red-cost|                 = "};
      for (int k = 0; k < 6; ++k) EXPECT_EQ(L[2 + k].rfind(want[k], 0), 0u) << L[2 + k];
      EXPECT_TRUE(L[0] == "There are no bound infeasibilities.\n" ||
                  L[0].rfind("Maximum bound infeasibility        = ", 0) == 0) << L[0];
      EXPECT_TRUE(L[1] == "There are no reduced-cost infeasibilities.\n" ||
                  L[1].rfind("Maximum reduced-cost infeasibility = ", 0) == 0) << L[1];
      EXPECT_EQ(L[8].rfind("Condition number of unscaled basis = ", 0), 0u) << L[8];
      EXPECT_LT(valueAfter(L, want[0]), 1e-8 * std::max(1.0, amax(x)));
      EXPECT_LT(valueAfter(L, want[1]), 1e-8);
      EXPECT_NEAR(valueAfter(L, want[2]), amax(x), 1e-5 * amax(x));
      EXPECT_NEAR(valueAfter(L, want[4]), amax(pi), 1e-5 * amax(pi));
      EXPECT_GE(valueAfter(L, "Condition number of unscaled basis = "), 1.0);
    }
    double bi = valueAfter(L, scaleParam == 0 ? "Max. unscaled (scaled) bound infeas.        = "
                                              : "Maximum bound infeasibility        = ");
    if (!std::isnan(bi)) {
      EXPECT_LT(bi, 1e-6);
    }
  }
}

// The condition estimate on a basis whose condition is known: a diagonal
// basis diag(1, 1e-6) (no scaling) has condition number 1e6 in the 1-norm.
TEST_F(Quality, ConditionEstimateOfKnownBasis) {
  ASSERT_EQ(VNTsetintparam(env, 1034, -1), 0);
  // max x1 + x2  s.t.  x1 <= 1,  1e-6 x2 <= 1.
  double obj[] = {1, 1}, rhs[] = {1, 1}, lb[] = {0, 0}, ub[] = {1e20, 1e20};
  int beg[] = {0, 1}, cnt[] = {1, 1}, ind[] = {0, 1};
  double val[] = {1.0, 1e-6};
  char sense[] = {'L', 'L'};
  ASSERT_EQ(VNTcopylp(env, lp, 2, 2, -1, obj, rhs, sense, beg, cnt, ind, val, lb, ub, nullptr), 0);
  unscaledIfAsked(-1);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  results.lines.clear();
  ASSERT_EQ(VNTEshowquality(env, lp), 0);
  double k = valueAfter(results.lines, "Condition number of unscaled basis = ");
  EXPECT_NEAR(k, 1e6, 1e4);
}

}  // namespace
