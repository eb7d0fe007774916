// Feasibility repair: on every infeasible model the relaxed point's
// violations are exactly covered by the reported total relaxation, and that
// total is no larger than the optimum of the same relaxation written out as
// an ordinary LP through the interface.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "lp_api/lp_fixture.h"

namespace {

class FeasOpt : public LpFixtureTest {
 protected:
  void SetUp() override {
    LpFixtureTest::SetUp();
    VNTsetlongparam(env, VNT_PARAM_ITLIM, 200000);
  }
  // Sum of the row and column violations of the stored solution.
  double violationSum() {
    const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
    std::vector<double> r(m), c(n);
    EXPECT_EQ(VNTgetrowinfeas(env, lp, nullptr, r.data(), 0, m - 1), 0);
    EXPECT_EQ(VNTgetcolinfeas(env, lp, nullptr, c.data(), 0, n - 1), 0);
    double s = 0;
    for (double v : r) s += std::fabs(v);
    for (double v : c) s += std::fabs(v);
    return s;
  }
  // The least total relaxation of every row and finite bound at unit cost,
  // as an LP built here: elastic columns on the rows, bound rows with their
  // own elastic columns.
  double directRelaxation() {
    int st = 0;
    VNTLPptr d = VNTcloneprob(env, lp, &st);
    EXPECT_NE(d, nullptr);
    const int n = VNTgetnumcols(env, d), m = VNTgetnumrows(env, d);
    std::vector<char> sense(m);
    std::vector<double> lb(n), ub(n), zero(n, 0.0);
    EXPECT_EQ(VNTgetsense(env, d, sense.data(), 0, m - 1), 0);
    EXPECT_EQ(VNTgetlb(env, d, lb.data(), 0, n - 1), 0);
    EXPECT_EQ(VNTgetub(env, d, ub.data(), 0, n - 1), 0);
    std::vector<int> idx(n);
    for (int j = 0; j < n; ++j) idx[j] = j;
    EXPECT_EQ(VNTchgobj(env, d, n, idx.data(), zero.data()), 0);
    EXPECT_EQ(VNTchgobjsen(env, d, VNT_MIN), 0);
    std::vector<int> beg, ind;
    std::vector<double> val, obj, clb, cub;
    auto elastic = [&](int row, double coef) {
      beg.push_back(static_cast<int>(ind.size()));
      ind.push_back(row);
      val.push_back(coef);
      obj.push_back(1.0);
      clb.push_back(0.0);
      cub.push_back(1e20);
    };
    for (int i = 0; i < m; ++i) {
      if (sense[i] != 'G') elastic(i, -1.0);
      if (sense[i] != 'L') elastic(i, 1.0);
    }
    // Bound rows x_j + r >= lb_j and x_j - r <= ub_j.
    int rows = m;
    for (int j = 0; j < n; ++j) {
      for (int side = 0; side < 2; ++side) {
        const double b = side == 0 ? lb[j] : ub[j];
        if (std::fabs(b) >= 1e20) continue;
        const char s = side == 0 ? 'G' : 'L';
        const int rb = 0, ri = j;
        const double rv = 1.0;
        EXPECT_EQ(VNTaddrows(env, d, 0, 1, 1, &b, &s, &rb, &ri, &rv, nullptr, nullptr), 0);
        elastic(rows++, side == 0 ? 1.0 : -1.0);
      }
    }
    std::vector<int> free(2 * n);
    std::vector<char> lu(2 * n);
    std::vector<double> inf(2 * n);
    for (int j = 0; j < n; ++j) {
      free[2 * j] = free[2 * j + 1] = j;
      lu[2 * j] = 'L';
      lu[2 * j + 1] = 'U';
      inf[2 * j] = -1e20;
      inf[2 * j + 1] = 1e20;
    }
    EXPECT_EQ(VNTchgbds(env, d, 2 * n, free.data(), lu.data(), inf.data()), 0);
    EXPECT_EQ(VNTaddcols(env, d, static_cast<int>(obj.size()), static_cast<int>(ind.size()), obj.data(), beg.data(),
                         ind.data(), val.data(), clb.data(), cub.data(), nullptr),
              0);
    EXPECT_EQ(VNTlpopt(env, d), 0);
    EXPECT_EQ(VNTgetstat(env, d), 1);
    double v = NAN;
    EXPECT_EQ(VNTgetobjval(env, d, &v), 0);
    VNTfreeprob(env, &d);
    return v;
  }
};

TEST_F(FeasOpt, EveryInfeasibleModelIsRepairedAtLeastCost) {
  int done = 0;
  for (const auto& e : std::filesystem::directory_iterator(vnt::test::dataDir() + "/infeas")) {
    std::string name = e.path().filename().string();
    if (name.size() < 8 || name.substr(name.size() - 7) != ".mps.gz") continue;
    name = name.substr(0, name.size() - 7);
    SCOPED_TRACE(name);
    read("infeas", name);
    const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
    // The largest models (their direct LP has a row per bound) run when
    // VANTO_LONG_TESTS is set.
    if (n > 2000 && !std::getenv("VANTO_LONG_TESTS")) continue;
    std::vector<double> rowPref(m, 1.0), colPref(n, 1.0);
    ASSERT_EQ(VNTfeasopt(env, lp, rowPref.data(), rowPref.data(), colPref.data(), colPref.data()), 0);
    ASSERT_EQ(VNTgetstat(env, lp), 14);
    double total = NAN;
    ASSERT_EQ(VNTgetobjval(env, lp, &total), 0);
    EXPECT_GT(total, 0.0);
    // The point's violations are what was relaxed.
    const double viol = violationSum();
    EXPECT_NEAR(viol, total, 1e-6 * (1 + total));
    // No more than the same relaxation solved as a plain LP.
    const double direct = directRelaxation();
    EXPECT_LE(total, direct + 1e-6 * (1 + std::fabs(direct)));
    ++done;
  }
  EXPECT_GE(done, 15);
}

TEST_F(FeasOpt, SecondPhaseOptimizesTheObjectiveOverTheLeastRelaxation) {
  read("infeas", "itest6");
  const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
  std::vector<double> rowPref(m, 1.0), colPref(n, 1.0);
  ASSERT_EQ(VNTfeasopt(env, lp, rowPref.data(), nullptr, colPref.data(), colPref.data()), 0);
  double least = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &least), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_FEASOPTMODE, 1), 0);
  ASSERT_EQ(VNTfeasopt(env, lp, rowPref.data(), nullptr, colPref.data(), colPref.data()), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 15);
  EXPECT_LE(violationSum(), least + 1e-6 * (1 + least));
  // The objective value is the original objective at the point.
  std::vector<double> x(n);
  ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0);
  double obj = 0, fx = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
  ASSERT_EQ(VNTEobjfromx(env, lp, x.data(), &fx), 0);
  EXPECT_NEAR(obj, fx, 1e-9 * (1 + std::fabs(fx)));
}

TEST_F(FeasOpt, OnlyTheAllowedPartsMoveAndErrors) {
  // x + y >= 4, x + y <= 2; x, y in [0, 10].  Only row 1 may move: it is
  // relaxed by 2 and nothing else is violated.
  const double obj[] = {1, 1}, rhs[] = {4, 2}, lb[] = {0, 0}, ub[] = {10, 10};
  const char sen[] = {'G', 'L'};
  const int beg[] = {0, 2}, cnt[] = {2, 2}, ind[] = {0, 1, 0, 1};
  const double val[] = {1, 1, 1, 1};
  ASSERT_EQ(VNTcopylp(env, lp, 2, 2, VNT_MIN, obj, rhs, sen, beg, cnt, ind, val, lb, ub, nullptr), 0);
  const double rowPref[] = {0.0, 1.0};
  ASSERT_EQ(VNTfeasopt(env, lp, rowPref, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 14);
  double r[2], total = 0;
  ASSERT_EQ(VNTgetrowinfeas(env, lp, nullptr, r, 0, 1), 0);
  ASSERT_EQ(VNTgetobjval(env, lp, &total), 0);
  EXPECT_NEAR(r[0], 0.0, 1e-9);
  EXPECT_NEAR(r[1], 2.0, 1e-9);
  EXPECT_NEAR(total, 2.0, 1e-9);
  // A preference of 2 halves the cost of that relaxation.
  const double rowPref2[] = {0.0, 2.0};
  ASSERT_EQ(VNTfeasopt(env, lp, rowPref2, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(VNTgetobjval(env, lp, &total), 0);
  EXPECT_NEAR(total, 1.0, 1e-9);
  // Nothing may move: the problem stays infeasible.
  ASSERT_EQ(VNTfeasopt(env, lp, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 3);
  // Counting modes need the integer optimizer.
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_FEASOPTMODE, 2), 0);
  EXPECT_EQ(VNTfeasopt(env, lp, rowPref, nullptr, nullptr, nullptr), 1811);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_FEASOPTMODE, 0), 0);
  const double bad[] = {NAN, 1.0};
  EXPECT_EQ(VNTfeasopt(env, lp, bad, nullptr, nullptr, nullptr), 1003);
}

}  // namespace
