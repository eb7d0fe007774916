// End-to-end LP tests through the public C interface: real models read from
// file and solved by the dual and the primal simplex, checked against the
// reference optima, and the returned solution checked independently for
// primal and dual feasibility in the model's own (unscaled) terms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/models.h"
#include "common/row_interval.h"
#include "lp_api/lp_fixture.h"
#include "vanto/vanto.h"

namespace {

using vnt::test::modelPath;
using vnt::test::objectiveMatches;
using vnt::test::references;

constexpr double kFeasTol = 1e-6;
constexpr double kOptTol = 1e-6;

class Lp : public vnt::test::LpFixture {
 protected:
  // Independent check of the solution: bounds, row activities against the
  // row limits, reduced costs recomputed from the duals, and the sign
  // conditions of the reduced costs at the nonbasic bounds.
  void checkOptimalSolution(const std::string& what) {
    const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
    std::vector<double> x(n), dj(n), pi(m), slack(m), lb(n), ub(n), obj(n), rhs(m), rng(m);
    std::vector<char> sense(m);
    std::vector<int> cstat(n), rstat(m);
    ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetdj(env, lp, dj.data(), 0, n - 1), 0);
    if (m > 0) {
      ASSERT_EQ(VNTgetpi(env, lp, pi.data(), 0, m - 1), 0);
      ASSERT_EQ(VNTgetslack(env, lp, slack.data(), 0, m - 1), 0);
      ASSERT_EQ(VNTgetrhs(env, lp, rhs.data(), 0, m - 1), 0);
      ASSERT_EQ(VNTgetsense(env, lp, sense.data(), 0, m - 1), 0);
      ASSERT_EQ(VNTgetrngval(env, lp, rng.data(), 0, m - 1), 0);
    }
    ASSERT_EQ(VNTgetlb(env, lp, lb.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetub(env, lp, ub.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetobj(env, lp, obj.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetbase(env, lp, cstat.data(), rstat.data()), 0);
    const int sen = VNTgetobjsen(env, lp);
    const Matrix a = matrix();
    const auto& beg = a.beg;
    const auto& ind = a.ind;
    const auto& val = a.val;
    std::vector<double> ax(m, 0.0), atpi(n, 0.0);
    double xmax = 1.0;
    for (int j = 0; j < n; ++j) {
      for (int k = beg[j]; k < beg[j + 1]; ++k) {
        ax[ind[k]] += val[k] * x[j];
        atpi[j] += val[k] * pi[ind[k]];
      }
      xmax = std::max(xmax, std::fabs(x[j]));
    }
    double worstP = 0, worstD = 0;
    for (int j = 0; j < n; ++j) {
      worstP = std::max({worstP, lb[j] - x[j], x[j] - ub[j]});
      double d = obj[j] - atpi[j];
      EXPECT_NEAR(d, dj[j], 1e-6 * std::max(1.0, std::fabs(obj[j]))) << what << " column " << j;
      double ds = sen * d;  // minimization sign
      // A nonbasic column sits at the bound its status names.
      const double bscale = 1.0 + std::fabs(x[j]);
      if (cstat[j] == 0) {
        EXPECT_NEAR(x[j], lb[j], 1e-9 * bscale) << what << " column " << j << " at lower";
      } else if (cstat[j] == 2) {
        EXPECT_NEAR(x[j], ub[j], 1e-9 * bscale) << what << " column " << j << " at upper";
      }
      if (lb[j] == ub[j]) continue;  // a fixed column may price either way
      if (cstat[j] == 0) worstD = std::max(worstD, -ds);
      else if (cstat[j] == 2) worstD = std::max(worstD, ds);
      else worstD = std::max(worstD, std::fabs(ds));
    }
    for (int i = 0; i < m; ++i) {
      const auto [lo, up] = vnt::test::rowInterval(sense[i], rhs[i], rng[i]);
      double scale = std::max(1.0, std::fabs(rhs[i]));
      worstP = std::max({worstP, (lo - ax[i]) / scale, (ax[i] - up) / scale});
      EXPECT_NEAR(slack[i], rhs[i] - ax[i], 1e-6 * std::max(1.0, xmax)) << what << " row " << i;
      // The dual of a row must have the sign its active side allows (in
      // minimization form: <= 0 when the upper limit binds, >= 0 when the
      // lower one does); an inactive side forbids that sign.
      double ps = sen * pi[i];
      bool atLo = ax[i] <= lo + 1e-6 * scale, atUp = ax[i] >= up - 1e-6 * scale;
      if (!atUp) worstD = std::max(worstD, -ps);
      if (!atLo) worstD = std::max(worstD, ps);
    }
    EXPECT_LE(worstP, kFeasTol) << what << ": primal infeasibility";
    EXPECT_LE(worstD, kOptTol) << what << ": dual infeasibility";
  }
};

// Small and medium Netlib models, solved by both simplex methods.
const char* kQuickNetlib[] = {"afiro",  "sc50a",    "sc205",  "sc105",    "share1b", "blend",
                              "kb2",    "share2b",  "stocfor1", "scagr7", "recipe",  "boeing2",
                              "israel", "brandy",   "lotfi",  "vtpbase",  "e226",    "bandm",
                              "grow7",  "capri",    "finnis", "scfxm1",   "etamacro", "agg"};

class NetlibBoth : public Lp, public ::testing::WithParamInterface<const char*> {};

TEST_P(NetlibBoth, DualAndPrimalReachTheReferenceOptimum) {
  const std::string name = GetParam();
  auto it = references().find(name);
  ASSERT_NE(it, references().end());
  read("netlib", name);
  for (int method : {2, 1}) {
    const char* label = method == 2 ? "dual" : "primal";
    // Solve each time from scratch: a fresh copy of the file.
    read("netlib", name);
    int st = method == 2 ? VNTdualopt(env, lp) : VNTprimopt(env, lp);
    ASSERT_EQ(st, 0) << name << " " << label;
    ASSERT_EQ(VNTgetstat(env, lp), 1) << name << " " << label;
    double obj = 0;
    ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
    EXPECT_TRUE(objectiveMatches(obj, it->second.objective))
        << name << " " << label << ": " << obj << " vs " << it->second.objective;
    checkOptimalSolution(name + " " + label);
    EXPECT_EQ(VNTgetmethod(env, lp), method);
    EXPECT_GT(VNTgetitcnt(env, lp), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Quick, NetlibBoth, ::testing::ValuesIn(kQuickNetlib));

const char* kQuickInfeasible[] = {"itest2", "itest6", "box1", "ex72a", "ex73a", "forest6",
                                  "galenet", "klein1", "gosh", "bgprtr"};

class Infeasible : public Lp, public ::testing::WithParamInterface<const char*> {};

TEST_P(Infeasible, EndsInfeasibleNeverOptimal) {
  const std::string name = GetParam();
  // The simplex methods themselves (presolve settles several of these).
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 0), 0);
  for (int method : {2, 1}) {
    read("infeas", name);
    int st = method == 2 ? VNTdualopt(env, lp) : VNTprimopt(env, lp);
    ASSERT_EQ(st, 0);
    EXPECT_EQ(VNTgetstat(env, lp), 3) << name << (method == 2 ? " dual" : " primal");
  }
}

INSTANTIATE_TEST_SUITE_P(Quick, Infeasible, ::testing::ValuesIn(kQuickInfeasible));

TEST_F(Lp, WarmStartAfterBoundChangesMatchesColdSolve) {
  read("netlib", "scfxm1");
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  const long long coldIters = VNTLgetitcnt(env, lp);
  const int n = VNTgetnumcols(env, lp);
  std::vector<double> x(n);
  ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0);
  // Tighten the upper bounds of a few columns that are positive at the
  // optimum: the old basis stays dual feasible, the new optimum moves.
  std::vector<int> idx;
  std::vector<char> lu;
  std::vector<double> bd;
  for (int j = 0; j < n && idx.size() < 10; j += 7)
    if (x[j] > 1e-3) {
      idx.push_back(j);
      lu.push_back('U');
      bd.push_back(x[j] * 0.9);
    }
  ASSERT_FALSE(idx.empty());
  ASSERT_EQ(VNTchgbds(env, lp, static_cast<int>(idx.size()), idx.data(), lu.data(), bd.data()), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 0);  // the change discards the solution
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  const int warmStat = VNTgetstat(env, lp);
  double warmObj = 0;
  VNTgetobjval(env, lp, &warmObj);
  const long long warmIters = VNTLgetitcnt(env, lp);

  // The same model solved cold in a second problem.
  int st = 0;
  VNTLPptr cold = VNTcreateprob(env, &st, "cold");
  ASSERT_EQ(VNTreadcopyprob(env, cold, modelPath("netlib", "scfxm1").c_str(), nullptr), 0);
  ASSERT_EQ(VNTchgbds(env, cold, static_cast<int>(idx.size()), idx.data(), lu.data(), bd.data()), 0);
  ASSERT_EQ(VNTdualopt(env, cold), 0);
  EXPECT_EQ(VNTgetstat(env, cold), warmStat);
  if (warmStat == 1) {
    double coldObj = 0;
    VNTgetobjval(env, cold, &coldObj);
    EXPECT_TRUE(objectiveMatches(warmObj, coldObj)) << warmObj << " vs " << coldObj;
    checkOptimalSolution("scfxm1 warm");
  }
  EXPECT_LT(warmIters, coldIters / 2) << "warm " << warmIters << " cold " << coldIters;
  VNTfreeprob(env, &cold);
}

TEST_F(Lp, IterationLimitStopsWithQueryableBasis) {
  read("netlib", "bandm");
  ASSERT_EQ(VNTsetlongparam(env, VNT_PARAM_ITLIM, 5), 0);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 10);
  EXPECT_LE(VNTgetitcnt(env, lp), 5);
  std::vector<int> cstat(VNTgetnumcols(env, lp)), rstat(VNTgetnumrows(env, lp));
  EXPECT_EQ(VNTgetbase(env, lp, cstat.data(), rstat.data()), 0);
  int basic = 0;
  for (int s : cstat) basic += s == 1;
  for (int s : rstat) basic += s == 1;
  EXPECT_EQ(basic, static_cast<int>(rstat.size()));
  // Lifting the limit finishes from where the solve stopped.
  ASSERT_EQ(VNTsetlongparam(env, VNT_PARAM_ITLIM, 9223372036800000000LL), 0);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 1);
}

TEST_F(Lp, TerminateFlagStopsAtFirstPoll) {
  read("netlib", "bandm");
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 0), 0);  // the simplex's first poll
  int flag = 1;
  ASSERT_EQ(VNTsetterminate(env, &flag), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 13);
  VNTsetterminate(env, nullptr);
}

TEST_F(Lp, DeterministicTickLimitStops) {
  read("netlib", "bandm");
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_DETTILIM, 1e-3), 0);
  ASSERT_EQ(VNTprimopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 25);
}

TEST_F(Lp, QueriesWithoutSolutionAndBadRanges) {
  EXPECT_EQ(VNTgetstat(env, lp), 0);
  read("netlib", "afiro");
  double x[64];
  EXPECT_EQ(VNTgetx(env, lp, x, 0, 0), 1217);
  EXPECT_EQ(VNTgetitcnt(env, lp), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  const int n = VNTgetnumcols(env, lp);
  errors.lines.clear();
  EXPECT_EQ(VNTgetx(env, lp, x, 0, n), 1200);
  EXPECT_TRUE(errors.contains("VNTgetx")) << (errors.lines.empty() ? "" : errors.lines[0]);
  EXPECT_EQ(VNTLgetx(env, lp, x, -1, 2), 1200);
  EXPECT_EQ(VNTgetx(env, lp, nullptr, 0, 1), 1004);
}

TEST_F(Lp, StatusStrings) {
  char buf[128];
  EXPECT_STREQ(VNTgetstatstring(env, 1, buf), "optimal");
  EXPECT_EQ(VNTgetstatstring(env, 7, buf), nullptr);
  EXPECT_STREQ(buf, "Unknown status value");
  ASSERT_NE(VNTgetstatstring(env, 3, buf), nullptr);
  EXPECT_STREQ(buf, "infeasible");
  ASSERT_NE(VNTgetstatstring(env, 102, buf), nullptr);
  EXPECT_STREQ(buf, "integer optimal, tolerance");
}

TEST_F(Lp, MaximizationExample) {
  ASSERT_EQ(VNTreadcopyprob(env, lp, VANTO_SOURCE_DIR "/examples/production.mps", nullptr), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  double obj = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
  EXPECT_NEAR(obj, 2150.0, 1e-6);
  checkOptimalSolution("production");
  // Active '<=' rows (labour and steel bind, their duals are nonzero) have
  // their slacks nonbasic at the lower bound; the slack rows are basic.
  int cstat[3], rstat[4];
  ASSERT_EQ(VNTgetbase(env, lp, cstat, rstat), 0);
  EXPECT_EQ(rstat[1], VNT_AT_LOWER);  // LABOUR
  EXPECT_EQ(rstat[3], VNT_AT_LOWER);  // STEEL
  EXPECT_EQ(rstat[0], VNT_BASIC);     // MACHINE has room left
}

TEST_F(Lp, DualStopsAtTheObjectiveLimit) {
  read("netlib", "scfxm1");  // minimization, optimum about 18416.76
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_OBJULIM, 1000.0), 0);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 12);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_OBJULIM, 1e75), 0);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 1);
}

// The objective limit compares the objective with its constant: a constant
// that lifts the optimum above the limit stops the dual, one that lowers it
// below lets the solve finish.  The constant also reaches a warm re-solve.
TEST_F(Lp, ObjectiveConstantCountsInTheLimitAndOnWarmResolve) {
  read("netlib", "scfxm1");  // minimization, optimum about 18416.76
  ASSERT_EQ(VNTchgobjoffset(env, lp, 20000.0), 0);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_OBJULIM, 30000.0), 0);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 12);
  read("netlib", "scfxm1");
  ASSERT_EQ(VNTchgobjoffset(env, lp, -20000.0), 0);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_OBJULIM, 0.0), 0);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  double z = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &z), 0);
  EXPECT_TRUE(objectiveMatches(z, references().at("scfxm1").objective - 20000.0)) << z;
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_OBJULIM, 1e75), 0);

  // Solve, change the constant, solve again from the same basis.
  read("netlib", "afiro");
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  double z0 = 0, z1 = 0, z2 = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &z0), 0);
  ASSERT_EQ(VNTchgobjoffset(env, lp, 10.0), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  EXPECT_EQ(VNTgetitcnt(env, lp), 0);
  ASSERT_EQ(VNTgetobjval(env, lp, &z1), 0);
  EXPECT_NEAR(z1, z0 + 10.0, 1e-9 * (1.0 + std::fabs(z0)));
  ASSERT_EQ(VNTchgobjoffset(env, lp, -2.5), 0);
  ASSERT_EQ(VNTprimopt(env, lp), 0);
  ASSERT_EQ(VNTgetobjval(env, lp, &z2), 0);
  EXPECT_NEAR(z2, z0 - 2.5, 1e-9 * (1.0 + std::fabs(z0)));
}

// A column whose lower bound exceeds its upper bound makes the model
// infeasible: status 3 before any iteration, whether the bounds come from a
// file, from the model building operations or from a bound change before a
// warm re-solve; never an "optimal" answer with a value outside a bound.
TEST_F(Lp, CrossedBoundsAreInfeasibleBeforeAnyIteration) {
  // min x + y  s.t.  x + y >= 2,  0 <= y <= 10, x in [3, 1].
  const std::string path = ::testing::TempDir() + "crossed_bounds.mps";
  {
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("NAME CROSSED\nROWS\n N obj\n G c1\nCOLUMNS\n x obj 1 c1 1\n y obj 1 c1 1\n"
               "RHS\n rhs c1 2\nBOUNDS\n LO bnd x 3\n UP bnd x 1\n UP bnd y 10\nENDATA\n",
               f);
    std::fclose(f);
  }
  // The simplex methods themselves: presolve ends such a run before them
  // with its own diagnostic (tests/presolve).
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 0), 0);
  for (int method : {0, 1, 2}) {
    ASSERT_EQ(VNTreadcopyprob(env, lp, path.c_str(), nullptr), 0);
    double lb = 0, ub = 0;
    ASSERT_EQ(VNTgetlb(env, lp, &lb, 0, 0), 0);
    ASSERT_EQ(VNTgetub(env, lp, &ub, 0, 0), 0);
    ASSERT_GT(lb, ub);  // the file's bounds are kept as given
    const int st = method == 0 ? VNTlpopt(env, lp) : method == 1 ? VNTprimopt(env, lp) : VNTdualopt(env, lp);
    ASSERT_EQ(st, 0);
    EXPECT_EQ(VNTgetstat(env, lp), 3) << "method " << method;
    EXPECT_EQ(VNTgetitcnt(env, lp), 0) << "method " << method;
  }
  std::remove(path.c_str());

  // Bounds crossed by a change after an optimal solve.
  for (int method : {1, 2}) {
    read("netlib", "afiro");
    ASSERT_EQ(VNTdualopt(env, lp), 0);
    ASSERT_EQ(VNTgetstat(env, lp), 1);
    double z0 = 0;
    ASSERT_EQ(VNTgetobjval(env, lp, &z0), 0);
    const int j = 1;
    double ub = 0;
    ASSERT_EQ(VNTgetub(env, lp, &ub, j, j), 0);
    const char lu[] = {'L', 'U'};
    const int idx[] = {j, j};
    const double crossed[] = {3.0, 1.0};
    ASSERT_EQ(VNTchgbds(env, lp, 2, idx, lu, crossed), 0);
    ASSERT_EQ(method == 1 ? VNTprimopt(env, lp) : VNTdualopt(env, lp), 0);
    EXPECT_EQ(VNTgetstat(env, lp), 3) << "method " << method;
    EXPECT_EQ(VNTgetitcnt(env, lp), 0);
    // Putting the bounds back restores the optimum.
    const double restored[] = {0.0, ub};
    ASSERT_EQ(VNTchgbds(env, lp, 2, idx, lu, restored), 0);
    ASSERT_EQ(method == 1 ? VNTprimopt(env, lp) : VNTdualopt(env, lp), 0);
    ASSERT_EQ(VNTgetstat(env, lp), 1);
    double z1 = 0;
    ASSERT_EQ(VNTgetobjval(env, lp, &z1), 0);
    EXPECT_TRUE(objectiveMatches(z1, z0)) << z1 << " vs " << z0;
    checkOptimalSolution("afiro after uncrossing");
  }
  // A crossing within the feasibility tolerance is not an empty interval.
  read("netlib", "afiro");
  const int j = 1;
  const char lu[] = {'L', 'U'};
  const int idx[] = {j, j};
  double x1 = 0;
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  ASSERT_EQ(VNTgetx(env, lp, &x1, j, j), 0);
  const double nearly[] = {x1 + 1e-9, x1};
  ASSERT_EQ(VNTchgbds(env, lp, 2, idx, lu, nearly), 0);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 1);
}

TEST_F(Lp, CopiedBasisStartsAtTheOptimum) {
  read("netlib", "sc105");
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  std::vector<int> cstat(VNTgetnumcols(env, lp)), rstat(VNTgetnumrows(env, lp));
  ASSERT_EQ(VNTgetbase(env, lp, cstat.data(), rstat.data()), 0);
  int st = 0;
  VNTLPptr other = VNTcreateprob(env, &st, "copy");
  ASSERT_EQ(VNTreadcopyprob(env, other, modelPath("netlib", "sc105").c_str(), nullptr), 0);
  ASSERT_EQ(VNTcopybase(env, other, cstat.data(), rstat.data()), 0);
  ASSERT_EQ(VNTprimopt(env, other), 0);
  EXPECT_EQ(VNTgetstat(env, other), 1);
  EXPECT_LE(VNTgetitcnt(env, other), 2);
  double z = 0, zOther = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &z), 0);
  ASSERT_EQ(VNTgetobjval(env, other, &zOther), 0);
  EXPECT_TRUE(objectiveMatches(zOther, z)) << zOther << " vs " << z;
  EXPECT_TRUE(objectiveMatches(zOther, references().at("sc105").objective));
  VNTfreeprob(env, &other);
}

// The solution record's description: method, basic solution, feasibility
// flags, and the phase 1 share of the iterations.
TEST_F(Lp, SolutionInfoAndPhase1Count) {
  int method = -1, type = -1, pfeas = -1, dfeas = -1;
  ASSERT_EQ(VNTsolninfo(env, lp, &method, &type, &pfeas, &dfeas), 0);
  EXPECT_EQ(method, 0);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(VNTgetphase1cnt(env, lp), 0);
  // The primal from the slack basis (no crash) of a model whose slack basis
  // is infeasible spends iterations in phase 1.
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_CRAIND, 0), 0);
  read("netlib", "scfxm1");
  ASSERT_EQ(VNTprimopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  ASSERT_EQ(VNTsolninfo(env, lp, &method, &type, &pfeas, &dfeas), 0);
  EXPECT_EQ(method, 1);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(pfeas, 1);
  EXPECT_EQ(dfeas, 1);
  const int p1 = VNTgetphase1cnt(env, lp);
  EXPECT_GT(p1, 0);
  EXPECT_LT(p1, VNTgetitcnt(env, lp));
  // A re-solve from the optimal basis has no iterations at all.
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  EXPECT_EQ(VNTgetitcnt(env, lp), 0);
  EXPECT_EQ(VNTgetphase1cnt(env, lp), 0);
  ASSERT_EQ(VNTsolninfo(env, lp, &method, &type, &pfeas, &dfeas), 0);
  EXPECT_EQ(method, 2);
  // An infeasible answer (from the simplex itself) is not primal feasible.
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 0), 0);
  read("infeas", "itest6");
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 3);
  ASSERT_EQ(VNTsolninfo(env, lp, &method, &type, &pfeas, &dfeas), 0);
  EXPECT_EQ(method, 2);
  EXPECT_EQ(pfeas, 0);
  // Null outputs are allowed.
  EXPECT_EQ(VNTsolninfo(env, lp, nullptr, nullptr, nullptr, nullptr), 0);
}

// The iteration log lines of each method: the dual's name its objective
// "Dual objective" (or its dual infeasibility), the primal's do not.
bool dualLogLine(const std::string& l) {
  return l.find("Iteration:") == 0 && (l.find("Dual objective") != std::string::npos || l.find("ual infeas") != std::string::npos);
}
bool primalLogLine(const std::string& l) {
  return l.find("Iteration:") == 0 && !dualLogLine(l);
}

// The automatic method choice: large models run the dual and the primal
// simplex side by side when two threads may be used.  In deterministic mode
// the same participant wins every time, with the same iterations and the
// same log, and the log is the winner's alone.
TEST_F(Lp, LargeModelsRunConcurrentlyAndDeterministically) {
  const std::string name = "ship12l";  // 5427 columns
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_THREADS, 2), 0);
  long long its = 0;
  // With presolve (the reduced model still races) and without it; without
  // it no clean-up solve follows the race, so the log is the winner's alone.
  for (int presolve : {1, 0}) {
    ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, presolve), 0);
    int method = 0;
    std::vector<std::string> firstLog;
    for (int run = 0; run < 2; ++run) {
      results.lines.clear();
      logLines.lines.clear();
      read("netlib", name);
      ASSERT_EQ(VNTlpopt(env, lp), 0);
      EXPECT_TRUE(results.contains("Parallel mode: deterministic, using up to 2 threads for concurrent optimization:"));
      // Without a start basis the dual leads.
      const size_t dualStart = results.index(" * Starting dual Simplex on 1 thread...");
      const size_t primalStart = results.index(" * Starting primal Simplex on 1 thread...");
      EXPECT_LT(dualStart, primalStart);
      EXPECT_LT(primalStart, results.lines.size());
      ASSERT_EQ(VNTgetstat(env, lp), 1);
      double obj = 0;
      ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
      EXPECT_TRUE(objectiveMatches(obj, references().at(name).objective)) << obj;
      checkOptimalSolution(name + " concurrent");
      const int m = VNTgetmethod(env, lp);
      ASSERT_TRUE(m == 1 || m == 2) << m;
      // The finisher is named, and its log is the one printed.
      EXPECT_TRUE(results.contains(m == 2 ? "Dual simplex solved model." : "Primal simplex solved model."));
      EXPECT_FALSE(results.contains(m == 2 ? "Primal simplex solved model." : "Dual simplex solved model."));
      const auto& lines = logLines.lines;
      if (!presolve) {
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), m == 2 ? dualLogLine : primalLogLine));
        EXPECT_FALSE(std::any_of(lines.begin(), lines.end(), m == 2 ? primalLogLine : dualLogLine));
      }
      // Deterministic mode: the same winner with the same iterations and log
      // lines each time.
      if (run == 0) {
        method = m;
        its = VNTgetitcnt(env, lp);
        firstLog = lines;
      } else {
        EXPECT_EQ(m, method);
        EXPECT_EQ(VNTgetitcnt(env, lp), its);
        EXPECT_EQ(lines, firstLog);
      }
    }
  }
  // A warm re-solve after a bound change continues from the winner's basis:
  // cap a column that is positive at the optimum; the optimum moves, a few
  // iterations reach it, and a cold solve of the changed model agrees.
  const int n = VNTgetnumcols(env, lp);
  std::vector<double> x(n);
  ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0);
  int j = 0;
  while (j < n && x[j] < 1.0) ++j;
  ASSERT_LT(j, n);
  double before = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &before), 0);
  const char up = 'U';
  const double cap = 0.5 * x[j];
  ASSERT_EQ(VNTchgbds(env, lp, 1, &j, &up, &cap), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_LPMETHOD, 2), 0);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  EXPECT_GT(VNTgetitcnt(env, lp), 0);
  EXPECT_LT(VNTgetitcnt(env, lp), its / 4);
  double after = 0, xj = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &after), 0);
  ASSERT_EQ(VNTgetx(env, lp, &xj, j, j), 0);
  EXPECT_LE(xj, cap + 1e-6);
  EXPECT_GT(after, before + 1e-9 * std::fabs(before));  // minimization: capping costs something
  checkOptimalSolution(name + " warm after bound change");
  read("netlib", name);
  ASSERT_EQ(VNTchgbds(env, lp, 1, &j, &up, &cap), 0);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  double cold = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &cold), 0);
  EXPECT_TRUE(objectiveMatches(after, cold)) << after << " vs " << cold;
}

// A start basis that is primal feasible but not dual feasible makes the
// primal simplex the lead of the concurrent method; the answer agrees with a
// cold solve of the changed model.
TEST_F(Lp, ConcurrentMethodLetsTheStartBasisChooseTheLead) {
  const std::string name = "ship12l";
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_THREADS, 2), 0);
  read("netlib", name);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  // New costs: the old ones times factors in [1, 3) (all costs of this model
  // are nonnegative, so it stays bounded); the optimal basis stays primal
  // feasible and loses dual feasibility.
  const int n = VNTgetnumcols(env, lp);
  std::vector<double> obj(n);
  std::vector<int> ind(n);
  ASSERT_EQ(VNTgetobj(env, lp, obj.data(), 0, n - 1), 0);
  for (int j = 0; j < n; ++j) {
    ASSERT_GE(obj[j], 0.0);
    ind[j] = j;
    obj[j] *= 1.0 + 2.0 * ((j * 7919) % 1000) / 1000.0;
  }
  ASSERT_EQ(VNTchgobj(env, lp, n, ind.data(), obj.data()), 0);
  results.lines.clear();
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  ASSERT_TRUE(results.contains("Parallel mode: deterministic"));
  EXPECT_LT(results.index(" * Starting primal Simplex on 1 thread..."), results.index(" * Starting dual Simplex on 1 thread..."));
  EXPECT_LT(results.index(" * Starting dual Simplex on 1 thread..."), results.lines.size());
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  checkOptimalSolution(name + " concurrent from a primal start");
  double warm = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &warm), 0);
  read("netlib", name);
  ASSERT_EQ(VNTchgobj(env, lp, n, ind.data(), obj.data()), 0);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  double cold = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &cold), 0);
  EXPECT_TRUE(objectiveMatches(warm, cold)) << warm << " vs " << cold;
}

TEST_F(Lp, OneThreadOrMemoryEmphasisRunsTheDual) {
  read("netlib", "ship12l");
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_THREADS, 1), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_FALSE(results.contains("Parallel mode"));
  EXPECT_EQ(VNTgetmethod(env, lp), 2);
  read("netlib", "ship12l");
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_THREADS, 2), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_MEMORYEMPHASIS, 1), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_FALSE(results.contains("Parallel mode"));
  EXPECT_EQ(VNTgetmethod(env, lp), 2);
  EXPECT_EQ(VNTgetstat(env, lp), 1);
}

TEST_F(Lp, ConcurrentMethodOnSmallAndInfeasibleModels) {
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_THREADS, 2), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_LPMETHOD, 6), 0);
  for (int opportunistic : {0, 1}) {
    ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PARALLELMODE, opportunistic ? -1 : 1), 0);
    results.lines.clear();
    read("netlib", "afiro");
    ASSERT_EQ(VNTlpopt(env, lp), 0);
    EXPECT_TRUE(results.contains(opportunistic ? "Parallel mode: opportunistic" : "Parallel mode: deterministic"));
    ASSERT_EQ(VNTgetstat(env, lp), 1);
    checkOptimalSolution("afiro concurrent");
    // Infeasible models reach the concurrent method with presolve off
    // (presolve settles some of them before).
    ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 0), 0);
    for (const char* name : {"itest6", "galenet", "forest6"}) {
      read("infeas", name);
      ASSERT_EQ(VNTlpopt(env, lp), 0);
      EXPECT_EQ(VNTgetstat(env, lp), 3) << name;
    }
    ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 1), 0);
  }
  // The dual and primal entries never run the concurrent method.
  results.lines.clear();
  read("netlib", "afiro");
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  EXPECT_FALSE(results.contains("Parallel mode"));
}

TEST_F(Lp, AdvancedStartAfterObjectiveChangeGoesToThePrimal) {
  read("netlib", "sc105");
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  ASSERT_EQ(VNTgetmethod(env, lp), 2);
  // Negating the objective keeps the optimal basis primal feasible but makes
  // it dual infeasible: the automatic choice takes the primal.
  const int n = VNTgetnumcols(env, lp);
  std::vector<double> obj(n);
  std::vector<int> ind(n);
  ASSERT_EQ(VNTgetobj(env, lp, obj.data(), 0, n - 1), 0);
  for (int j = 0; j < n; ++j) {
    ind[j] = j;
    obj[j] = -obj[j];
  }
  ASSERT_EQ(VNTchgobj(env, lp, n, ind.data(), obj.data()), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_EQ(VNTgetmethod(env, lp), 1);
  EXPECT_EQ(VNTgetstat(env, lp), 1);
  checkOptimalSolution("sc105 negated");
  // Without the advanced start the choice stays with the dual.
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_ADVIND, 0), 0);
  ASSERT_EQ(VNTchgobj(env, lp, n, ind.data(), obj.data()), 0);
  for (double& c : obj) c = -c;
  ASSERT_EQ(VNTchgobj(env, lp, n, ind.data(), obj.data()), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_EQ(VNTgetmethod(env, lp), 2);
}

// A singular starting basis: two identical columns both basic.  The repair
// swaps a logical in and, on a model this small, drops the column that left;
// the end of the solve checks the dropped column's reduced cost.
TEST_F(Lp, SingularStartBasisIsRepairedAndDroppedColumnsChecked) {
  // min c1 x1 + c2 x2 - x3:  x1 + x2 >= 2,  x1 + x2 <= 10,  x3 <= 5, with
  // (c1, c2) = (1, 0.5) and then (0.5, 1).  Whichever of the two identical
  // columns the repair drops is the cheaper one in exactly one of the two
  // runs: there its reduced cost violates optimality, it is reported and
  // reincluded; in the other run it prices out.
  double lb[] = {0, 0, 0}, ub[] = {1e20, 1e20, 1e20};
  double rhs[] = {2.0, 10.0, 5.0};
  char sense[] = {'G', 'L', 'L'};
  int beg[] = {0, 2, 4}, cnt[] = {2, 2, 1}, ind[] = {0, 1, 0, 1, 2};
  double val[] = {1, 1, 1, 1, 1};
  const char* cn[] = {"x1", "x2", "x3"};
  const char* rn[] = {"lo", "hi", "cap"};
  int cstat[] = {1, 1, 1}, rstat[] = {0, 0, 0};
  int nSatisfied = 0, nReincluded = 0;
  for (int order = 0; order < 2; ++order) {
    double obj[] = {order == 0 ? 1.0 : 0.5, order == 0 ? 0.5 : 1.0, -1.0};
    ASSERT_EQ(VNTcopylpwnames(env, lp, 3, 3, 1, obj, rhs, sense, beg, cnt, ind, val, lb, ub, nullptr,
                              const_cast<char**>(cn), const_cast<char**>(rn)),
              0);
    ASSERT_EQ(VNTcopybase(env, lp, cstat, rstat), 0);
    logLines.lines.clear();
    ASSERT_EQ(VNTdualopt(env, lp), 0);
    if (std::getenv("VANTO_SHOW_LOG"))
      for (const auto& l : logLines.lines) std::printf("%s", l.c_str());
    EXPECT_TRUE(logLines.contains("Repairing basis singularity."));
    EXPECT_TRUE(logLines.contains("fixed because of singularity."));
    const bool satisfied = logLines.contains("Dropped variables satisfy optimality criteria.");
    const bool reincluded = logLines.contains("There are 1 violations to optimality.") &&
                            logLines.contains("Attempting to reinclude dropped variables.");
    EXPECT_TRUE(satisfied != reincluded);
    nSatisfied += satisfied;
    nReincluded += reincluded;
    ASSERT_EQ(VNTgetstat(env, lp), 1);
    double z = 0;
    ASSERT_EQ(VNTgetobjval(env, lp, &z), 0);
    EXPECT_NEAR(z, -4.0, 1e-9);  // the cheaper column at 2, x3 at 5
    checkOptimalSolution("singular start");
  }
  EXPECT_EQ(nSatisfied, 1);
  EXPECT_EQ(nReincluded, 1);

  // Without repairs the singular basis is an error.
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SINGLIM, 0), 0);
  ASSERT_EQ(VNTcopybase(env, lp, cstat, rstat), 0);
  EXPECT_EQ(VNTdualopt(env, lp), 1256);
  EXPECT_TRUE(errors.contains("Basis singular"));
}

// Without the advanced start a re-solve starts over from the slack basis;
// with it (the default) the last basis makes the re-solve immediate.
TEST_F(Lp, AdvancedStartOffSolvesFromScratch) {
  read("netlib", "sc105");
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  const long long cold = VNTgetitcnt(env, lp);
  ASSERT_GT(cold, 10);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  EXPECT_EQ(VNTgetitcnt(env, lp), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_ADVIND, 0), 0);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  EXPECT_EQ(VNTgetitcnt(env, lp), cold);
  EXPECT_EQ(VNTgetstat(env, lp), 1);
  // Scaling off takes effect on the first load too: the quality display then
  // has only the unscaled lines.
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCAIND, -1), 0);
  read("netlib", "sc105");
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  results.lines.clear();
  ASSERT_EQ(VNTEshowquality(env, lp), 0);
  EXPECT_TRUE(results.contains("Condition number of unscaled basis"));
  EXPECT_FALSE(results.contains("(scaled)"));
}

TEST_F(Lp, MultiObjectiveModelsAreRefused) {
  read("netlib", "afiro");
  ASSERT_EQ(VNTsetnumobjs(env, lp, 2), 0);
  EXPECT_EQ(VNTlpopt(env, lp), 1070);
  EXPECT_EQ(VNTdualopt(env, lp), 1070);
  EXPECT_EQ(VNTgetstat(env, lp), 0);
  read("netlib", "afiro");
  EXPECT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 1);
}

// The primal starts from a triangular crash basis unless the crash is off;
// both starts reach the same optimum.
TEST_F(Lp, PrimalWithAndWithoutCrashReachesTheOptimum) {
  for (const char* name : {"afiro", "sc205", "scfxm1", "bandm", "degen2"}) {
    for (int crash : {0, 1}) {
      ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_CRAIND, crash), 0);
      read("netlib", name);
      ASSERT_EQ(VNTprimopt(env, lp), 0);
      ASSERT_EQ(VNTgetstat(env, lp), 1) << name << " crash " << crash;
      double obj = 0;
      ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
      EXPECT_TRUE(objectiveMatches(obj, references().at(name).objective)) << name << " crash " << crash;
      checkOptimalSolution(std::string(name) + (crash ? " crash" : " slack start"));
    }
  }
}

// Primal pricing choices: devex, steepest edge with exact or slack-basis
// initial weights, and Dantzig all reach the optimum; the log names the
// weights in use.
TEST_F(Lp, PrimalPricingModesReachTheOptimum) {
  for (int mode : {-1, 1, 2, 3}) {
    ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PPRIIND, mode), 0);
    for (const char* name : {"sc205", "scfxm1", "bandm", "grow7"}) {
      logLines.lines.clear();
      read("netlib", name);
      ASSERT_EQ(VNTprimopt(env, lp), 0);
      ASSERT_EQ(VNTgetstat(env, lp), 1) << name << " mode " << mode;
      double obj = 0;
      ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
      EXPECT_TRUE(objectiveMatches(obj, references().at(name).objective)) << name << " mode " << mode;
      if (mode >= 2) {
        EXPECT_TRUE(logLines.contains("Using steepest-edge."));
        EXPECT_TRUE(logLines.contains("Initializing primal norms . . ."));
      } else if (mode == 1) {
        EXPECT_TRUE(logLines.contains("Using devex."));
      }
    }
  }
}

}  // namespace
