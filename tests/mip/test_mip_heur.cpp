// Primal heuristics and reduced-cost fixing, end to end: the root dives and
// the feasibility pump find an incumbent on models where the root LP and its
// rounding give none, their
// parameters switch them off, every dive rule leaves the answer right, and the
// heuristic incumbents carry the heuristic mark in the node log.
#include <gtest/gtest.h>

#include <cmath>
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

}  // namespace
