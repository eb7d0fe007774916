// Primal heuristics and reduced-cost fixing, end to end: the root dives and
// the feasibility pump find an incumbent on models where the root LP and its
// rounding give none, their
// parameters switch them off, every dive rule leaves the answer right, and the
// heuristic incumbents carry the heuristic mark in the node log;
// fix-and-propagate finds first solutions of set-partitioning models at the
// root, the pump finds one on 10teams, RINS at every node keeps the
// optimum and local branching improves root incumbents; the cheap ones give
// an incumbent before the first cut round, and every heuristic's incumbent
// holds on the model as read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "common/models.h"
#include "vanto/vanto.h"
#include "mip_fixture.h"

namespace {

using vnt::test::modelPath;
using vnt::test::references;

class MipHeur : public vnt::test::MipFixture {
 protected:
  // Root only: the search stops after node 0.
  int rootOnly() {
    VNTsetlongparam(env, VNT_PARAM_NODELIM, 1);
    EXPECT_EQ(VNTmipopt(env, lp), 0);
    return VNTgetstat(env, lp);
  }
  double objective() {
    double obj = 0;
    EXPECT_EQ(VNTgetobjval(env, lp, &obj), 0);
    return obj;
  }
};

// Models on which rounding the root LP solution finds nothing.
constexpr const char* kHardToRound[] = {"vpm2"};

TEST_F(MipHeur, RootDivesFindAnIncumbentWhereRoundingFindsNone) {
  for (const char* name : kHardToRound) {
    SCOPED_TRACE(name);
    read(name);
    // Without the dives: no incumbent after the root.
    VNTsetlongparam(env, VNT_PARAM_HEURFREQ, -1);
    EXPECT_EQ(rootOnly(), VNTMIP_NODE_LIM_INFEAS);
    // With them (the default): an incumbent, feasible by the incumbent check
    // and no better than the optimum, marked as a heuristic solution.
    VNTsetlongparam(env, VNT_PARAM_HEURFREQ, 0);
    results.text.clear();
    read(name);
    EXPECT_EQ(rootOnly(), VNTMIP_NODE_LIM_FEAS);
    const double ref = references().at(name).objective;
    EXPECT_GE(objective(), ref - 1e-6 * std::max(1.0, std::fabs(ref)));
    EXPECT_TRUE(std::regex_search(results.text, std::regex("\n\\* +[01]\\+"))) << results.text;
  }
}

TEST_F(MipHeur, EachDiveRuleThePumpAndZeroEffort) {
  const char* name = kHardToRound[0];
  // The fractional and coefficient dives find a solution on their own; the
  // guided dive needs an incumbent to follow, so with it alone only the
  // feasibility pump can find one; zero effort runs neither.
  VNTsetintparam(env, VNT_PARAM_FPHEUR, -1);
  VNTsetintparam(env, VNT_PARAM_DIVETYPE, 1);
  read(name);
  EXPECT_EQ(rootOnly(), VNTMIP_NODE_LIM_FEAS);
  VNTsetintparam(env, VNT_PARAM_DIVETYPE, 3);
  read(name);
  EXPECT_EQ(rootOnly(), VNTMIP_NODE_LIM_INFEAS);
  for (int fp : {1, 2}) {
    SCOPED_TRACE(fp);
    VNTsetintparam(env, VNT_PARAM_FPHEUR, fp);
    read(name);
    results.text.clear();
    EXPECT_EQ(rootOnly(), VNTMIP_NODE_LIM_FEAS);
    EXPECT_NE(results.text.find("Feasibility pump: elapsed "), std::string::npos);
    const double ref = references().at(name).objective;
    EXPECT_GE(objective(), ref - 1e-6 * std::max(1.0, std::fabs(ref)));
  }
  VNTsetintparam(env, VNT_PARAM_DIVETYPE, 0);
  VNTsetdblparam(env, VNT_PARAM_HEUREFFORT, 0.0);
  read(name);
  EXPECT_EQ(rootOnly(), VNTMIP_NODE_LIM_INFEAS);
}

// 10teams: after the root cuts, the dives and plain RENS find no schedule
// (every fixing order runs into deep conflicts) and fix-and-propagate's
// schedule from the first LP is some 5% above the optimum; the pump,
// rounding with propagation and closing with its sub-MIP, gets within 1%.
// The incumbent must satisfy the model as read and not pass the optimum.
TEST_F(MipHeur, PumpFindsAScheduleOnTenTeamsAtTheRoot) {
  read("10teams");
  results.text.clear();
  ASSERT_EQ(rootOnly(), VNTMIP_NODE_LIM_FEAS) << results.text;
  EXPECT_NE(results.text.find("Feasibility pump: elapsed "), std::string::npos);
  EXPECT_TRUE(std::regex_search(results.text, std::regex("\n\\* +[01]\\+"))) << results.text;
  const double ref = references().at("10teams").objective;
  EXPECT_GE(objective(), ref - 1e-6 * std::max(1.0, std::fabs(ref)));
  EXPECT_LE(objective(), ref * 1.01) << results.text;
  expectFeasible(incumbent());
}

// The cheap heuristics run on the first root LP solution, before the cut
// loop: on these models (whose root LP does not round) the first incumbent,
// marked as a heuristic's, comes before the log line of the first cut round,
// holds on the model as read and does not pass the optimum.  With the
// heuristics off there is no incumbent before the cut rounds end.
TEST_F(MipHeur, IncumbentBeforeTheFirstCutRound) {
  const std::regex incumbentLine(R"(\n\* +0\+)"), cutRound(R"(\n +0 +0 )");
  for (const char* name : {"p0201", "fixnet6", "vpm2"}) {
    SCOPED_TRACE(name);
    for (long long freq : {-1LL, 0LL}) {
      VNTsetlongparam(env, VNT_PARAM_HEURFREQ, freq);
      read(name);
      results.text.clear();
      rootOnly();
      std::smatch inc, cut;
      const bool hasInc = std::regex_search(results.text, inc, incumbentLine);
      ASSERT_TRUE(std::regex_search(results.text, cut, cutRound)) << results.text;
      if (freq < 0) {
        EXPECT_TRUE(!hasInc || inc.position(0) > cut.position(0)) << results.text;
        continue;
      }
      ASSERT_TRUE(hasInc) << results.text;
      EXPECT_LT(inc.position(0), cut.position(0)) << results.text;
      const double ref = references().at(name).objective;
      EXPECT_GE(objective(), ref - 1e-6 * std::max(1.0, std::fabs(ref)));
      expectFeasible(incumbent());
    }
  }
}

// Whatever heuristic finds the incumbent, it holds on the model as read:
// each heuristic on its own (the others off as far as their switches go)
// at the root and at every few nodes, on models with general integers,
// continuous columns and equality rows.
TEST_F(MipHeur, HeuristicIncumbentsHoldOnTheModelAsRead) {
  struct Setting {
    const char* what;
    int dive, fp, lb;
    long long rins;
  };
  const Setting settings[] = {
      {"pump, objective share", 3, 1, 0, -1}, {"pump, distance only", 3, 2, 0, -1},
      {"fractional and coefficient dives", 1, -1, 0, -1}, {"pseudo-cost dives", 2, -1, 0, -1},
      {"dives, RINS and local branching", 0, -1, 1, 1},
  };
  int found = 0;
  for (const char* name : {"bell3a", "vpm2"}) {
    for (const Setting& st : settings) {
      SCOPED_TRACE(std::string(name) + ": " + st.what);
      VNTsetintparam(env, VNT_PARAM_DIVETYPE, st.dive);
      VNTsetintparam(env, VNT_PARAM_FPHEUR, st.fp);
      VNTsetintparam(env, VNT_PARAM_LBHEUR, st.lb);
      VNTsetlongparam(env, VNT_PARAM_RINSHEUR, st.rins);
      VNTsetlongparam(env, VNT_PARAM_HEURFREQ, 5);
      VNTsetlongparam(env, VNT_PARAM_SUBMIPNODELIMIT, 20);
      VNTsetlongparam(env, VNT_PARAM_NODELIM, 20);
      VNTsetlongparam(env, VNT_PARAM_CUTPASS, -1);
      read(name);
      ASSERT_EQ(VNTmipopt(env, lp), 0);
      const int stat = VNTgetstat(env, lp);
      if (stat == VNTMIP_NODE_LIM_INFEAS) continue;
      ++found;
      const double ref = references().at(name).objective;
      EXPECT_GE(objective(), ref - 1e-6 * std::max(1.0, std::fabs(ref)));
      expectFeasible(incumbent());
    }
  }
  EXPECT_GE(found, 8);  // of 10
}

// Dives at nodes (every node, every rule) and reduced-cost fixing with the
// incumbents they bring keep the optimum.
TEST_F(MipHeur, EveryDiveRuleAtEveryNodeKeepsTheOptimum) {
  struct Case {
    const char* name;
    long long freq;
  };
  for (const Case& c : {Case{"p0033", 1}, Case{"lseu", 20}}) {
    for (int rule : {0, 1, 2, 3}) {
      SCOPED_TRACE(std::string(c.name) + " dive rule " + std::to_string(rule));
      VNTsetintparam(env, VNT_PARAM_DIVETYPE, rule);
      VNTsetlongparam(env, VNT_PARAM_HEURFREQ, c.freq);
      read(c.name);
      ASSERT_EQ(VNTmipopt(env, lp), 0);
      const int stat = VNTgetstat(env, lp);
      ASSERT_TRUE(stat == VNTMIP_OPTIMAL || stat == VNTMIP_OPTIMAL_TOL) << stat;
      const double ref = references().at(c.name).objective;
      EXPECT_NEAR(objective(), ref, 1e-4 * std::fabs(ref) + 1e-6);
      double bound = 0;
      ASSERT_EQ(VNTgetbestobjval(env, lp, &bound), 0);
      EXPECT_LE(bound, ref + 1e-6 * std::max(1.0, std::fabs(ref)));
    }
  }
}

// Random set-partitioning models with a planted partition (so each has a
// solution): every row is covered by exactly one planted column, and decoy
// columns cover random sets of rows.  Costs favour the decoys so the root LP
// is fractional.  With the guided dive (which needs an incumbent) and the
// pump off, only rounding and fix-and-propagate can find a solution at the
// root; the incumbent found must be a partition.
TEST_F(MipHeur, FixAndPropagateFindsPartitionsAtTheRoot) {
  uint64_t rnd = 12345;
  auto next = [&rnd](int k) {
    rnd = rnd * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<int>((rnd >> 33) % static_cast<uint64_t>(k));
  };
  int found = 0, fractionalRoots = 0;
  const int kModels = 12;
  for (int t = 0; t < kModels; ++t) {
    SCOPED_TRACE(t);
    const int m = 40, planted = 10, decoys = 110, n = planted + decoys;
    std::vector<std::vector<int>> cover(n);
    // Planted: rows dealt out to 10 columns.
    std::vector<int> perm(m);
    for (int i = 0; i < m; ++i) perm[i] = i;
    for (int i = m - 1; i > 0; --i) std::swap(perm[i], perm[next(i + 1)]);
    for (int i = 0; i < m; ++i) cover[i % planted].push_back(perm[i]);
    for (int j = planted; j < n; ++j) {
      const int k = 2 + next(4);
      for (int q = 0; q < k; ++q) {
        const int i = next(m);
        if (std::find(cover[j].begin(), cover[j].end(), i) == cover[j].end()) cover[j].push_back(i);
      }
    }
    VNTfreeprob(env, &lp);
    int st = 0;
    lp = VNTcreateprob(env, &st, "partition");
    ASSERT_NE(lp, nullptr);
    std::vector<double> rhs(m, 1.0);
    std::vector<char> sense(m, 'E');
    ASSERT_EQ(VNTnewrows(env, lp, m, rhs.data(), sense.data(), nullptr, nullptr), 0);
    std::vector<int> beg, ind;
    std::vector<double> val, obj, lb(n, 0.0), ub(n, 1.0);
    for (int j = 0; j < n; ++j) {
      beg.push_back(static_cast<int>(ind.size()));
      for (int i : cover[j]) {
        ind.push_back(i);
        val.push_back(1.0);
      }
      // Planted columns cost more per row than the decoys.
      obj.push_back(static_cast<double>(cover[j].size()) * (j < planted ? 3.0 : 1.0 + 0.1 * next(10)));
    }
    ASSERT_EQ(VNTaddcols(env, lp, n, static_cast<int>(ind.size()), obj.data(), beg.data(), ind.data(), val.data(),
                         lb.data(), ub.data(), nullptr), 0);
    std::vector<char> ctype(n, 'B');
    ASSERT_EQ(VNTcopyctype(env, lp, ctype.data()), 0);
    VNTsetintparam(env, VNT_PARAM_DIVETYPE, 3);
    VNTsetintparam(env, VNT_PARAM_FPHEUR, -1);
    VNTsetlongparam(env, VNT_PARAM_CUTPASS, -1);
    // The LP relaxation must be fractional, else there is nothing for a
    // heuristic to do.
    VNTLPptr relax = VNTcloneprob(env, lp, &st);
    ASSERT_NE(relax, nullptr);
    ASSERT_EQ(VNTchgprobtype(env, relax, VNTPROB_LP), 0);
    ASSERT_EQ(VNTlpopt(env, relax), 0);
    std::vector<double> xr(n);
    ASSERT_EQ(VNTgetx(env, relax, xr.data(), 0, n - 1), 0);
    VNTfreeprob(env, &relax);
    bool fractional = false;
    for (double v : xr) fractional = fractional || std::fabs(v - std::round(v)) > 1e-6;
    if (!fractional) continue;
    ++fractionalRoots;
    const int stat = rootOnly();
    if (stat != VNTMIP_NODE_LIM_FEAS) continue;
    ++found;
    const std::vector<double> x = incumbent();
    std::vector<int> rowSum(m, 0);
    for (int j = 0; j < n; ++j) {
      ASSERT_TRUE(x[j] == 0.0 || x[j] == 1.0) << x[j];
      if (x[j] == 1.0)
        for (int i : cover[j]) ++rowSum[i];
    }
    for (int i = 0; i < m; ++i) EXPECT_EQ(rowSum[i], 1) << "row " << i;
  }
  // Fix-and-propagate (with its backtracking) finds most of these.
  ASSERT_GE(fractionalRoots, kModels / 2);
  EXPECT_GE(found * 4, fractionalRoots * 3) << found << " of " << fractionalRoots;
}

// RINS at every node (p0201) or every tenth (lseu): a sub-MIP around the
// node's LP solution and the incumbent; the optimum and the bound stay right.
TEST_F(MipHeur, RinsAtNodesKeepsTheOptimum) {
  for (const char* name : {"p0201", "lseu"}) {
    SCOPED_TRACE(name);
    VNTsetlongparam(env, VNT_PARAM_RINSHEUR, 1);
    VNTsetlongparam(env, VNT_PARAM_HEURFREQ, name[0] == 'p' ? 1 : 10);
    VNTsetlongparam(env, VNT_PARAM_SUBMIPNODELIMIT, 20);
    read(name);
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    const int stat = VNTgetstat(env, lp);
    ASSERT_TRUE(stat == VNTMIP_OPTIMAL || stat == VNTMIP_OPTIMAL_TOL) << stat;
    const double ref = references().at(name).objective;
    EXPECT_NEAR(objective(), ref, 1e-4 * std::fabs(ref) + 1e-6);
    double bound = 0;
    ASSERT_EQ(VNTgetbestobjval(env, lp, &bound), 0);
    EXPECT_LE(bound, ref + 1e-6 * std::max(1.0, std::fabs(ref)));
  }
}

// Local branching at the root: it runs last among the root heuristics, so
// with it the root's incumbent is never worse, and on these models (whose
// root heuristics stop short of the optimum) it improves at least one; every
// incumbent satisfies the model and does not pass the optimum.
TEST_F(MipHeur, LocalBranchingImprovesTheRootIncumbent) {
  int improved = 0;
  for (const char* name : {"p0201", "misc07"}) {
    SCOPED_TRACE(name);
    double obj[2] = {0, 0};
    for (int lb : {0, 1}) {
      VNTsetintparam(env, VNT_PARAM_LBHEUR, lb);
      read(name);
      ASSERT_EQ(rootOnly(), VNTMIP_NODE_LIM_FEAS);
      obj[lb] = objective();
      expectFeasible(incumbent());
    }
    const double ref = references().at(name).objective;
    const double tol = 1e-6 * std::max(1.0, std::fabs(ref));
    EXPECT_GE(obj[1], ref - tol);
    EXPECT_LE(obj[1], obj[0] + tol);
    if (obj[1] < obj[0] - tol) ++improved;
  }
  EXPECT_GE(improved, 1);
}

// Every incumbent is shifted as far as the rows allow in the direction its
// costs improve: at the end of the root no integer column with a cost can
// move one step that way with the rest kept, unless a bound or a row stops
// it (checked here on the model as read, presolve off so that the search's
// columns are the model's).  On a covering model the rounding of an LP point
// covers many rows twice; p0201, misc07 and vpm2 have general rows and
// continuous columns.  (No cuts: they do not matter here.)
TEST_F(MipHeur, RootIncumbentsAdmitNoImprovingShift) {
  // The incumbent of the loaded model: the columns that could move (0 when
  // the root ended without one).
  auto movable = [&]() {
    const int stat = rootOnly();
    if (stat != VNTMIP_NODE_LIM_FEAS && stat != VNTMIP_OPTIMAL && stat != VNTMIP_OPTIMAL_TOL) return 0;
    const std::vector<double> x = incumbent();
    expectFeasible(x);
    const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
    std::vector<double> obj(n), lb(n), ub(n), rhs(m), rng(m, 0.0);
    std::vector<char> ctype(n), rsense(m);
    EXPECT_EQ(VNTgetobj(env, lp, obj.data(), 0, n - 1), 0);
    EXPECT_EQ(VNTgetlb(env, lp, lb.data(), 0, n - 1), 0);
    EXPECT_EQ(VNTgetub(env, lp, ub.data(), 0, n - 1), 0);
    EXPECT_EQ(VNTgetctype(env, lp, ctype.data(), 0, n - 1), 0);
    EXPECT_EQ(VNTgetrhs(env, lp, rhs.data(), 0, m - 1), 0);
    EXPECT_EQ(VNTgetsense(env, lp, rsense.data(), 0, m - 1), 0);
    VNTgetrngval(env, lp, rng.data(), 0, m - 1);
    const int sen = VNTgetobjsen(env, lp);
    // Columns with their row entries, and the row activities at x.
    std::vector<std::vector<std::pair<int, double>>> col(n);
    std::vector<double> act(m, 0.0);
    std::vector<int> ind(n);
    std::vector<double> val(n);
    for (int i = 0; i < m; ++i) {
      int nz = 0, beg = 0, surplus = 0;
      EXPECT_EQ(VNTgetrows(env, lp, &nz, &beg, ind.data(), val.data(), n, &surplus, i, i), 0);
      for (int k = 0; k < nz; ++k) {
        col[ind[k]].push_back({i, val[k]});
        act[i] += val[k] * x[ind[k]];
      }
    }
    auto rowHolds = [&](int i, double a) {
      const double t = 1e-6 * std::max(1.0, std::fabs(rhs[i]));
      switch (rsense[i]) {
        case 'L': return a <= rhs[i] + t;
        case 'G': return a >= rhs[i] - t;
        case 'E': return std::fabs(a - rhs[i]) <= t;
        default: {  // ranged
          const double lo = std::min(rhs[i], rhs[i] + rng[i]), hi = std::max(rhs[i], rhs[i] + rng[i]);
          return a >= lo - t && a <= hi + t;
        }
      }
    };
    int candidates = 0;
    for (int j = 0; j < n; ++j) {
      if ((ctype[j] != 'I' && ctype[j] != 'B') || obj[j] == 0.0) continue;
      const double d = sen * obj[j] > 0 ? -1.0 : 1.0;
      const double v = std::round(x[j]) + d;
      if (v < lb[j] - 1e-9 || v > ub[j] + 1e-9) continue;
      ++candidates;
      bool holds = true;
      for (const auto& [i, a] : col[j]) holds = holds && rowHolds(i, act[i] + a * d);
      EXPECT_FALSE(holds) << "column " << j << " can move from " << x[j] << " to " << v;
    }
    return candidates;
  };
  VNTsetintparam(env, VNT_PARAM_PREIND, 0);
  VNTsetlongparam(env, VNT_PARAM_CUTPASS, -1);
  int checked = 0;
  for (const char* name : {"p0033", "p0201", "lseu", "misc07", "vpm2", "mod008", "bell3a"}) {
    SCOPED_TRACE(name);
    read(name);
    if (movable() > 0) ++checked;
  }
  // Random covering models: 120 rows, 900 columns of 2 to 7 rows, costs 1 to 4;
  // the root's incumbent is the rounding of its LP point (the other
  // heuristics off).
  VNTsetlongparam(env, VNT_PARAM_HEURFREQ, -1);
  uint64_t rnd = 777;
  auto next = [&rnd](int k) {
    rnd = rnd * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<int>((rnd >> 33) % static_cast<uint64_t>(k));
  };
  for (int t = 0; t < 3; ++t) {
    SCOPED_TRACE(t);
    const int m = 120, n = 900;
    VNTfreeprob(env, &lp);
    int st = 0;
    lp = VNTcreateprob(env, &st, "cover");
    ASSERT_NE(lp, nullptr);
    std::vector<double> rhs(m, 1.0);
    std::vector<char> sense(m, 'G');
    ASSERT_EQ(VNTnewrows(env, lp, m, rhs.data(), sense.data(), nullptr, nullptr), 0);
    std::vector<int> beg, ind;
    std::vector<double> val, obj, lb(n, 0.0), ub(n, 1.0);
    for (int j = 0; j < n; ++j) {
      beg.push_back(static_cast<int>(ind.size()));
      std::vector<int> rows;
      for (int q = 2 + next(6); q > 0; --q) {
        const int i = next(m);
        if (std::find(rows.begin(), rows.end(), i) == rows.end()) rows.push_back(i);
      }
      for (int i : rows) {
        ind.push_back(i);
        val.push_back(1.0);
      }
      obj.push_back(1.0 + next(4));
    }
    ASSERT_EQ(VNTaddcols(env, lp, n, static_cast<int>(ind.size()), obj.data(), beg.data(), ind.data(), val.data(),
                         lb.data(), ub.data(), nullptr), 0);
    std::vector<char> ctype(n, 'B');
    ASSERT_EQ(VNTcopyctype(env, lp, ctype.data()), 0);
    if (movable() > 0) ++checked;
  }
  // Most incumbents have columns that their bounds let move.
  EXPECT_GE(checked, 6);
}

}  // namespace
