// Sifting (LP method 5) end to end: wide models solve to their reference
// optimum with a basis that is primal and dual feasible on the whole model,
// generated wide LPs with every kind of column bound agree with the dual
// simplex, and the run's limits, counters and log behave as documented.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "lp_api/lp_fixture.h"

namespace {

using vnt::test::modelPath;
using vnt::test::objectiveMatches;
using vnt::test::reference;

class Sift : public LpFixtureTest {
 protected:
  void SetUp() override {
    LpFixtureTest::SetUp();
    // Every solve is capped: a cycling regression fails instead of hanging.
    ASSERT_EQ(VNTsetlongparam(env, VNTPARAM_Simplex_Limits_Iterations, 200000), 0);
    ASSERT_EQ(VNTsetlongparam(env, VNTPARAM_Sifting_Iterations, 2000), 0);
  }
  // The solution on the problem is optimal and its basis passes the
  // library's own feasibility checks on the whole model.
  void expectOptimalBasis(const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(VNTgetstat(env, lp), 1);
    int method = -1;
    EXPECT_EQ(VNTsolninfo(env, lp, &method, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(method, 5);
    int pinf = -1, dinf = -1;
    ASSERT_EQ(VNTcheckpfeas(env, lp, &pinf), 0);
    ASSERT_EQ(VNTcheckdfeas(env, lp, &dinf), 0);
    EXPECT_EQ(pinf, 0);
    EXPECT_EQ(dinf, 0);
    const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
    std::vector<int> cstat(n), rstat(m);
    ASSERT_EQ(VNTgetbase(env, lp, cstat.data(), rstat.data()), 0);
    int basic = 0;
    for (int s : cstat) basic += s == 1;
    for (int s : rstat) basic += s == 1;
    EXPECT_EQ(basic, m);
  }
  double objective() {
    double obj = NAN;
    EXPECT_EQ(VNTgetobjval(env, lp, &obj), 0);
    return obj;
  }
};

TEST_F(Sift, WideNetlibModelsReachTheirReferenceOptimum) {
  // With and without presolve (the reduced model is sifted, the original
  // finished from the mapped basis).
  const std::vector<const char*> sets[2] = {{"fit2d", "fit1d", "scsd8", "scsd6", "sctap1", "afiro"},
                                            {"fit2d", "scsd8", "wood1p"}};
  for (int presolve : {0, 1}) {
    ASSERT_EQ(VNTsetintparam(env, VNTPARAM_Preprocessing_Presolve, presolve), 0);
    for (const char* name : sets[presolve]) {
      SCOPED_TRACE(std::string(name) + (presolve ? " presolved" : ""));
      read("netlib", name);
      ASSERT_EQ(VNTsiftopt(env, lp), 0);
      expectOptimalBasis(name);
      EXPECT_TRUE(objectiveMatches(objective(), reference("netlib", name).objective)) << objective();
      const long long passes = VNTgetsiftitcnt(env, lp);
      EXPECT_GE(passes, 1LL);
      EXPECT_LE(VNTgetsiftphase1cnt(env, lp), passes);
      EXPECT_GT(VNTgetitcnt(env, lp), 0);
    }
  }
}

TEST_F(Sift, SetPartitioningRelaxationsMatchTheDualSimplex) {
  // The LP relaxation of a wide set-partitioning model (36 rows, 87,482
  // columns): the method parameter routes lpopt to sifting; the dual simplex
  // on a fresh copy gives the optimum to compare with (16310.667).  air04
  // and air05 run in the sifting benchmark, too slow for this suite.
  ASSERT_EQ(VNTsetintparam(env, VNTPARAM_Preprocessing_Presolve, 0), 0);
  for (const char* name : {"nw04"}) {
    SCOPED_TRACE(name);
    read("miplib3", name);
    ASSERT_EQ(VNTchgprobtype(env, lp, VNTPROB_LP), 0);
    ASSERT_EQ(VNTsetintparam(env, VNTPARAM_LPMethod, 5), 0);
    ASSERT_EQ(VNTlpopt(env, lp), 0);
    expectOptimalBasis(name);
    const double sifted = objective();
    EXPECT_GE(VNTgetsiftitcnt(env, lp), 2LL);
    ASSERT_EQ(VNTsetintparam(env, VNTPARAM_LPMethod, 0), 0);
    read("miplib3", name);
    ASSERT_EQ(VNTchgprobtype(env, lp, VNTPROB_LP), 0);
    ASSERT_EQ(VNTdualopt(env, lp), 0);
    ASSERT_EQ(VNTgetstat(env, lp), 1);
    EXPECT_TRUE(objectiveMatches(sifted, objective(), 1e-9)) << sifted << " vs " << objective();
    EXPECT_EQ(VNTgetsiftitcnt(env, lp), 0LL);  // the counters belong to the last sifting run
  }
}

// A wide LP with columns of every bound kind (lower, upper only, boxed,
// fixed, free), rows of every sense including ranges, feasible by
// construction; minimized or maximized.  With boxedOnly every column is
// boxed (the working LPs after pricing then go to the dual simplex).
void makeWideLp(VNTENVptr env, VNTLPptr lp, unsigned seed, int m, int n, bool maximize, bool boxedOnly = false) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> obj(n), lb(n), ub(n), x0(n);
  std::vector<int> beg(n), cnt(n), ind;
  std::vector<double> val;
  for (int j = 0; j < n; ++j) {
    const int kind = boxedOnly ? 5 + static_cast<int>(rng() % 3) : static_cast<int>(rng() % 10);
    lb[j] = 0.0;
    ub[j] = VNT_INFBOUND;
    if (kind <= 3) lb[j] = std::round(4 * u(rng));                   // lower bound
    else if (kind == 4) { lb[j] = -VNT_INFBOUND; ub[j] = 3 + u(rng); }  // upper only
    else if (kind <= 7) { lb[j] = -1 + u(rng); ub[j] = lb[j] + 2; }     // boxed
    else if (kind == 8) { lb[j] = ub[j] = u(rng); }                     // fixed
    else { lb[j] = -VNT_INFBOUND; }                                     // free
    x0[j] = std::fabs(lb[j]) < 1e20 ? lb[j] + 0.5 * (ub[j] < 1e20 ? ub[j] - lb[j] : 1.0)
                                    : (ub[j] < 1e20 ? ub[j] - 0.5 : u(rng));
    beg[j] = static_cast<int>(ind.size());
    for (int i = 0; i < m; ++i)
      if (rng() % 4 == 0) {
        ind.push_back(i);
        val.push_back(std::round(8 * u(rng)) / 2 + (rng() % 2 ? 0.25 : 0.0));
      }
    cnt[j] = static_cast<int>(ind.size()) - beg[j];
    // Costs that keep the optimum finite: every ray of the feasible set
    // (lower-only columns up, upper-only ones down, free ones either way)
    // worsens the objective or leaves it as it is.
    const double c = std::round(10 * u(rng));
    if (kind <= 3) obj[j] = std::fabs(c);
    else if (kind == 4) obj[j] = -std::fabs(c);
    else if (kind == 9) obj[j] = 0.0;
    else obj[j] = c;
    if (maximize) obj[j] = -obj[j];
  }
  std::vector<double> ax(m, 0.0);
  for (int j = 0; j < n; ++j)
    for (int k = beg[j]; k < beg[j] + cnt[j]; ++k) ax[ind[k]] += val[k] * x0[j];
  std::vector<double> rhs(m), rng_(m, 0.0);
  std::vector<char> sense(m);
  for (int i = 0; i < m; ++i) {
    const int kind = static_cast<int>(rng() % 4);
    sense[i] = "LGER"[kind];
    rhs[i] = kind == 0 ? ax[i] + 1 : kind == 1 ? ax[i] - 1 : kind == 2 ? ax[i] : ax[i] - 2;
    if (kind == 3) rng_[i] = 4;
  }
  ASSERT_EQ(VNTnewrows(env, lp, m, rhs.data(), sense.data(), rng_.data(), nullptr), 0);
  ASSERT_EQ(VNTaddcols(env, lp, n, static_cast<int>(ind.size()), obj.data(), beg.data(), ind.data(), val.data(),
                       lb.data(), ub.data(), nullptr),
            0);
  ASSERT_EQ(VNTchgobjsen(env, lp, maximize ? VNT_MAX : VNT_MIN), 0);
  (void)cnt;
}

TEST_F(Sift, GeneratedWideLpsAgreeWithTheDualSimplex) {
  ASSERT_EQ(VNTsetintparam(env, VNTPARAM_Preprocessing_Presolve, 0), 0);
  int optimal = 0;
  for (unsigned seed = 1; seed <= 24; ++seed) {
    const bool maximize = seed % 2 == 0, boxed = seed % 3 == 0;
    SCOPED_TRACE("seed " + std::to_string(seed));
    VNTLPptr other = VNTcreateprob(env, nullptr, "dual");
    ASSERT_NE(other, nullptr);
    makeWideLp(env, lp, seed, 12 + static_cast<int>(seed % 5) * 6, 400, maximize, boxed);
    makeWideLp(env, other, seed, 12 + static_cast<int>(seed % 5) * 6, 400, maximize, boxed);
    ASSERT_EQ(VNTsiftopt(env, lp), 0);
    ASSERT_EQ(VNTdualopt(env, other), 0);
    const int want = VNTgetstat(env, other);
    ASSERT_EQ(VNTgetstat(env, lp), want);
    if (want == 1) {
      ++optimal;
      expectOptimalBasis("generated");
      double a = 0, b = 0;
      ASSERT_EQ(VNTgetobjval(env, lp, &a), 0);
      ASSERT_EQ(VNTgetobjval(env, other, &b), 0);
      EXPECT_NEAR(a, b, 1e-7 * (1 + std::fabs(b)));
    }
    VNTfreeprob(env, &other);
    ASSERT_EQ(VNTdelrows(env, lp, 0, VNTgetnumrows(env, lp) - 1), 0);
    ASSERT_EQ(VNTdelcols(env, lp, 0, VNTgetnumcols(env, lp) - 1), 0);
  }
  EXPECT_EQ(optimal, 24);  // the family is bounded by construction
}

TEST_F(Sift, InfeasibleModelsAreReportedInfeasible) {
  ASSERT_EQ(VNTsetintparam(env, VNTPARAM_Preprocessing_Presolve, 0), 0);
  ASSERT_EQ(VNTsetdblparam(env, VNTPARAM_Simplex_Tolerances_Optimality, 1e-6), 0);
  for (const char* name : {"bgprtr", "itest6", "klein1", "bgdbg1", "galenet"}) {
    SCOPED_TRACE(name);
    read("infeas", name);
    ASSERT_EQ(VNTsiftopt(env, lp), 0);
    EXPECT_EQ(VNTgetstat(env, lp), 3);
    // Phase 1 ends only after the pricing tolerance was tightened; the
    // optimality tolerance is back at its value afterwards.
    EXPECT_GE(VNTgetsiftphase1cnt(env, lp), 1LL);
    EXPECT_EQ(VNTgetsiftphase1cnt(env, lp), VNTgetsiftitcnt(env, lp));
    double tol = 0;
    ASSERT_EQ(VNTgetdblparam(env, VNTPARAM_Simplex_Tolerances_Optimality, &tol), 0);
    EXPECT_EQ(tol, 1e-6);
  }
}

TEST_F(Sift, IterationLimitDisplayAndCounters) {
  ASSERT_EQ(VNTsetintparam(env, VNTPARAM_Preprocessing_Presolve, 0), 0);
  read("netlib", "scsd8");
  // No pass at all: stopped at once on the sifting iteration limit.
  ASSERT_EQ(VNTsetlongparam(env, VNTPARAM_Sifting_Iterations, 0), 0);
  ASSERT_EQ(VNTsiftopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 10);
  EXPECT_EQ(VNTgetsiftitcnt(env, lp), 0LL);
  EXPECT_EQ(logLines.all().find("Sifting iteration"), std::string::npos);
  // Three passes, one log line each.
  ASSERT_EQ(VNTsetlongparam(env, VNTPARAM_Sifting_Iterations, 3), 0);
  logLines.lines.clear();
  ASSERT_EQ(VNTsiftopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 10);
  EXPECT_EQ(VNTgetsiftitcnt(env, lp), 3LL);
  EXPECT_NE(logLines.all().find("Sifting iteration    1 ["), std::string::npos) << logLines.all();
  EXPECT_NE(logLines.all().find("Sifting iteration    3 ["), std::string::npos);
  EXPECT_EQ(logLines.all().find("Sifting iteration    4 ["), std::string::npos);
  EXPECT_NE(logLines.all().find("Infeasibility = "), std::string::npos);
  // Display 2 frames each line by blank lines; 0 is silent.
  ASSERT_EQ(VNTsetlongparam(env, VNTPARAM_Sifting_Iterations, 2000), 0);
  ASSERT_EQ(VNTsetintparam(env, VNTPARAM_Sifting_Display, 2), 0);
  logLines.lines.clear();
  ASSERT_EQ(VNTsiftopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 1);
  EXPECT_NE(logLines.all().find("\nSifting iteration    1 ["), std::string::npos);
  EXPECT_NE(logLines.all().find("Objective     = "), std::string::npos);
  EXPECT_NE(logLines.all().find("\n\n"), std::string::npos);
  ASSERT_EQ(VNTsetintparam(env, VNTPARAM_Sifting_Display, 0), 0);
  logLines.lines.clear();
  ASSERT_EQ(VNTsiftopt(env, lp), 0);
  EXPECT_EQ(logLines.all().find("Sifting iteration"), std::string::npos) << logLines.all();
  // Every working-LP method reaches the same optimum.
  double want = reference("netlib", "scsd8").objective;
  for (int alg = 0; alg <= 4; ++alg) {
    SCOPED_TRACE("method " + std::to_string(alg));
    ASSERT_EQ(VNTsetintparam(env, VNTPARAM_Sifting_Algorithm, alg), 0);
    ASSERT_EQ(VNTsiftopt(env, lp), 0);
    expectOptimalBasis("scsd8");
    EXPECT_TRUE(objectiveMatches(objective(), want));
  }
}

}  // namespace
