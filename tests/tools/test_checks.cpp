// Solution checks and quality measures: consistency with the solution
// queries on solved Netlib models, violations of perturbed points computed
// independently from the matrix, and argument errors.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "lp_api/lp_fixture.h"

namespace {

class Checks : public LpFixtureTest {
 protected:
  void SetUp() override {
    LpFixtureTest::SetUp();
    VNTsetlongparam(env, VNT_PARAM_ITLIM, 50000);
  }
};

double maxAbs(const std::vector<double>& v) {
  double s = 0.0;
  for (double x : v) s = std::max(s, std::fabs(x));
  return s;
}
double scaleOf(const std::vector<double>& v) { return std::max(1.0, maxAbs(v)); }

TEST_F(Checks, SolvedModelsAreConsistentAndClean) {
  for (const char* name : {"afiro", "sc50a", "blend", "share2b", "kb2", "scagr7", "boeing2", "recipe"}) {
    SCOPED_TRACE(name);
    read("netlib", name);
    ASSERT_EQ(VNTlpopt(env, lp), 0);
    ASSERT_EQ(VNTgetstat(env, lp), 1);
    const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
    std::vector<double> x(n), pi(m), slack(m), dj(n), ax(m), rhs(m);
    ASSERT_EQ(VNTsolution(env, lp, nullptr, nullptr, x.data(), pi.data(), slack.data(), dj.data()), 0);
    ASSERT_EQ(VNTgetrhs(env, lp, rhs.data(), 0, m - 1), 0);
    // Row activities from the stored x against rhs - slack.
    ASSERT_EQ(VNTgetax(env, lp, ax.data(), 0, m - 1), 0);
    const double sx = scaleOf(x), sp = scaleOf(pi);
    for (int i = 0; i < m; ++i) EXPECT_NEAR(ax[i], rhs[i] - slack[i], 1e-7 * sx) << i;
    // Slacks and reduced costs recomputed from x and pi.
    std::vector<double> s2(m), d2(n);
    ASSERT_EQ(VNTslackfromx(env, lp, x.data(), s2.data()), 0);
    for (int i = 0; i < m; ++i) EXPECT_NEAR(s2[i], slack[i], 1e-7 * sx) << i;
    ASSERT_EQ(VNTdjfrompi(env, lp, pi.data(), d2.data()), 0);
    for (int j = 0; j < n; ++j) EXPECT_NEAR(d2[j], dj[j], 1e-7 * sp) << j;
    // The optimal solution passes the checks.
    int pinf = -1, dinf = -1, stat = -1;
    ASSERT_EQ(VNTcheckpfeas(env, lp, &pinf), 0);
    ASSERT_EQ(VNTcheckdfeas(env, lp, &dinf), 0);
    ASSERT_EQ(VNTchecksoln(env, lp, &stat), 0);
    EXPECT_EQ(pinf, 0);
    EXPECT_EQ(dinf, 0);
    EXPECT_EQ(stat, 1);
    // Quality measures: small violations and residuals, sane magnitudes.
    double q = -1;
    ASSERT_EQ(VNTgetdblquality(env, lp, &q, VNT_QUAL_MAX_PRIMAL_INFEAS), 0);
    EXPECT_LE(q, 1e-6);
    ASSERT_EQ(VNTgetdblquality(env, lp, &q, VNT_QUAL_MAX_DUAL_INFEAS), 0);
    EXPECT_LE(q, 1e-6);
    ASSERT_EQ(VNTgetdblquality(env, lp, &q, VNT_QUAL_MAX_PRIMAL_RESIDUAL), 0);
    EXPECT_LE(q, 1e-7 * sx);
    ASSERT_EQ(VNTgetdblquality(env, lp, &q, VNT_QUAL_MAX_DUAL_RESIDUAL), 0);
    EXPECT_LE(q, 1e-7 * sp);
    ASSERT_EQ(VNTgetdblquality(env, lp, &q, VNT_QUAL_MAX_X), 0);
    EXPECT_DOUBLE_EQ(q, maxAbs(x));
    int where = -2;
    ASSERT_EQ(VNTgetintquality(env, lp, &where, VNT_QUAL_MAX_X), 0);
    ASSERT_GE(where, 0);
    ASSERT_LT(where, n);
    EXPECT_DOUBLE_EQ(std::fabs(x[where]), q);
    ASSERT_EQ(VNTgetdblquality(env, lp, &q, VNT_QUAL_MAX_PI), 0);
    EXPECT_DOUBLE_EQ(q, maxAbs(pi));
    ASSERT_EQ(VNTgetdblquality(env, lp, &q, VNT_QUAL_KAPPA), 0);
    EXPECT_GE(q, 1.0);
    ASSERT_EQ(VNTgetdblquality(env, lp, &q, VNT_QUAL_MAX_SCALED_PRIMAL_INFEAS), 0);
    EXPECT_LE(q, 1e-6);
    // The objective of the optimal point.
    double obj = 0, fx = 0;
    ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
    ASSERT_EQ(VNTEobjfromx(env, lp, x.data(), &fx), 0);
    EXPECT_NEAR(fx, obj, 1e-9 * (1 + std::fabs(obj)));
  }
}

// Violations of random points against an independent evaluation from the
// matrix; the largest of them is where the quality query says.
TEST_F(Checks, ViolationsOfGivenPoints) {
  read("netlib", "sc50a");
  const Matrix a = matrix();
  const int n = a.n, m = a.m;
  std::vector<double> lb(n), ub(n), rhs(m), rng(m, 0.0);
  std::vector<char> sense(m);
  ASSERT_EQ(VNTgetlb(env, lp, lb.data(), 0, n - 1), 0);
  ASSERT_EQ(VNTgetub(env, lp, ub.data(), 0, n - 1), 0);
  ASSERT_EQ(VNTgetrhs(env, lp, rhs.data(), 0, m - 1), 0);
  ASSERT_EQ(VNTgetsense(env, lp, sense.data(), 0, m - 1), 0);
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> u(-5, 15);
  for (int trial = 0; trial < 5; ++trial) {
    std::vector<double> x(n);
    for (double& v : x) v = u(gen);
    std::vector<double> ax(m, 0.0);
    for (int j = 0; j < n; ++j)
      for (int k = a.beg[j]; k < a.beg[j + 1]; ++k) ax[a.ind[k]] += a.val[k] * x[j];
    std::vector<double> rowInf(m), colInf(n);
    ASSERT_EQ(VNTgetrowinfeas(env, lp, x.data(), rowInf.data(), 0, m - 1), 0);
    ASSERT_EQ(VNTgetcolinfeas(env, lp, x.data(), colInf.data(), 0, n - 1), 0);
    for (int i = 0; i < m; ++i) {
      double want = 0.0;
      if (sense[i] != 'G' && ax[i] > rhs[i]) want = ax[i] - rhs[i];
      if (sense[i] != 'L' && ax[i] < rhs[i]) want = ax[i] - rhs[i];
      EXPECT_NEAR(rowInf[i], want, 1e-9 * (1 + std::fabs(ax[i]))) << "row " << i;
    }
    for (int j = 0; j < n; ++j) {
      const double want = x[j] > ub[j] ? x[j] - ub[j] : x[j] < lb[j] ? x[j] - lb[j] : 0.0;
      EXPECT_DOUBLE_EQ(colInf[j], want) << "column " << j;
    }
    // A sub-range reports the same entries.
    if (m > 3) {
      std::vector<double> part(2);
      ASSERT_EQ(VNTgetrowinfeas(env, lp, x.data(), part.data(), 2, 3), 0);
      EXPECT_DOUBLE_EQ(part[0], rowInf[2]);
      EXPECT_DOUBLE_EQ(part[1], rowInf[3]);
    }
  }
}

TEST_F(Checks, ArgumentErrors) {
  read("netlib", "afiro");
  const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
  std::vector<double> x(n, 0.0), out(std::max(n, m));
  int k = 0;
  double q = 0;
  // Nothing solved yet.
  EXPECT_EQ(VNTgetax(env, lp, out.data(), 0, m - 1), 1217);
  EXPECT_EQ(VNTcheckpfeas(env, lp, &k), 1217);
  EXPECT_EQ(VNTgetdblquality(env, lp, &q, VNT_QUAL_MAX_X), 1217);
  EXPECT_EQ(VNTgetrowinfeas(env, lp, nullptr, out.data(), 0, m - 1), 1217);
  // A given point needs no solution.
  EXPECT_EQ(VNTgetrowinfeas(env, lp, x.data(), out.data(), 0, m - 1), 0);
  EXPECT_EQ(VNTslackfromx(env, lp, x.data(), out.data()), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_EQ(VNTgetax(env, lp, nullptr, 0, 0), 1004);
  EXPECT_EQ(VNTslackfromx(env, lp, nullptr, out.data()), 1004);
  EXPECT_EQ(VNTdjfrompi(env, lp, x.data(), nullptr), 1004);
  EXPECT_EQ(VNTcheckdfeas(env, lp, nullptr), 1004);
  EXPECT_EQ(VNTEobjfromx(env, lp, nullptr, &q), 1004);
  EXPECT_EQ(VNTgetax(env, lp, out.data(), 0, m), 1200);
  EXPECT_EQ(VNTgetcolinfeas(env, lp, x.data(), out.data(), -1, 0), 1200);
  EXPECT_EQ(VNTgetdblquality(env, lp, &q, 0), 1003);
  EXPECT_EQ(VNTgetdblquality(env, lp, &q, 99), 1003);
  // A sum has no location.
  EXPECT_EQ(VNTgetintquality(env, lp, &k, VNT_QUAL_SUM_PRIMAL_INFEAS), 1003);
  // Integer infeasibility of a continuous model is zero, located nowhere.
  ASSERT_EQ(VNTgetdblquality(env, lp, &q, VNT_QUAL_MAX_INT_INFEAS), 0);
  EXPECT_EQ(q, 0.0);
  ASSERT_EQ(VNTgetintquality(env, lp, &k, VNT_QUAL_MAX_INT_INFEAS), 0);
  EXPECT_EQ(k, -1);
  // Reduced costs from duals are not available for a MIP.
  const char t = 'I';
  const int j0 = 0;
  ASSERT_EQ(VNTchgctype(env, lp, 1, &j0, &t), 0);
  std::vector<double> pi(m, 0.0), dj(n);
  EXPECT_EQ(VNTdjfrompi(env, lp, pi.data(), dj.data()), 1017);
}

TEST_F(Checks, ObjectiveFromPointIncludesOffset) {
  read("netlib", "afiro");
  const int n = VNTgetnumcols(env, lp);
  std::vector<double> x(n, 1.0), obj(n);
  ASSERT_EQ(VNTgetobj(env, lp, obj.data(), 0, n - 1), 0);
  ASSERT_EQ(VNTchgobjoffset(env, lp, 12.5), 0);
  double want = 12.5, got = 0;
  for (double c : obj) want += c;
  ASSERT_EQ(VNTEobjfromx(env, lp, x.data(), &got), 0);
  EXPECT_NEAR(got, want, 1e-12 * (1 + std::fabs(want)));
}

}  // namespace
