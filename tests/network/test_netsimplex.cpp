// The network simplex end to end: random min-cost-flow instances of many
// families solved through VNTNETprimopt, each solution checked independently
// (bounds, conservation, reduced-cost optimality) and its optimum compared
// with the dual simplex on the same problem written as an LP; infeasible and
// unbounded networks; every pricing rule; warm starts; limits and the log.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "network/net_fixture.h"

namespace {

using vnt::test::Flow;
using vnt::test::FlowGen;
using vnt::test::kInf;

class NetSimplex : public vnt::test::NetFixture {
 protected:
  // Solve as a network and as an LP; both must agree.
  void solveAndCompare(const Flow& f) {
    load(f);
    ASSERT_EQ(VNTNETprimopt(env, net), 0) << f.family;
    checkOptimal(f);
    double lpObj = 0;
    ASSERT_EQ(lpSolve(f, &lpObj), 1) << f.family;
    EXPECT_NEAR(objval(), lpObj, 1e-7 * (1 + std::fabs(lpObj))) << f.family;
  }
};

TEST_F(NetSimplex, RandomFamiliesMatchTheDualSimplex) {
  VNTsetintparam(env, VNTPARAM_Network_Display, 0);
  for (unsigned seed = 1; seed <= 6; ++seed) {
    FlowGen g(seed);
    solveAndCompare(g.transportation(g.uni(2, 12), g.uni(2, 15), false));
    solveAndCompare(g.assignment(g.uni(3, 25)));
    solveAndCompare(g.shortestPath(g.uni(3, 40), g.uni(0, 120)));
    solveAndCompare(g.maxFlow(g.uni(4, 30), g.uni(10, 150)));
    solveAndCompare(g.general(g.uni(3, 30), g.uni(5, 120), false));
    solveAndCompare(g.general(g.uni(3, 30), g.uni(5, 120), true));
  }
}

TEST_F(NetSimplex, CapacitatedTransportationMayBeInfeasible) {
  VNTsetintparam(env, VNTPARAM_Network_Display, 0);
  int infeasible = 0, optimal = 0;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    FlowGen g(100 + seed);
    Flow f = g.transportation(g.uni(2, 6), g.uni(2, 6), true);
    load(f);
    ASSERT_EQ(VNTNETprimopt(env, net), 0);
    double lpObj = 0;
    const int lpStat = lpSolve(f, &lpObj);
    const int stat = VNTNETgetstat(env, net);
    if (stat == 1) {
      ++optimal;
      checkOptimal(f);
      ASSERT_EQ(lpStat, 1);
      EXPECT_NEAR(objval(), lpObj, 1e-7 * (1 + std::fabs(lpObj)));
    } else {
      ++infeasible;
      EXPECT_EQ(stat, 3);
      EXPECT_TRUE(lpStat == 3 || lpStat == 4) << lpStat;
      int pfeas = -1, dfeas = -1;
      ASSERT_EQ(VNTNETsolninfo(env, net, &pfeas, &dfeas), 0);
      EXPECT_EQ(pfeas, 0);
    }
  }
  // The family is tight enough to give both outcomes.
  EXPECT_GT(infeasible, 0);
  EXPECT_GT(optimal, 0);
}

TEST_F(NetSimplex, InfeasibleNetworks) {
  VNTsetintparam(env, VNTPARAM_Network_Display, 1);
  Flow f;
  f.n = 4;
  f.supply = {5, 0, 0, -4};  // unbalanced
  f.arc(0, 1, 0, kInf, 1);
  f.arc(1, 3, 0, kInf, 1);
  f.arc(0, 2, 0, kInf, 3);
  f.arc(2, 3, 0, kInf, 1);
  load(f);
  ASSERT_EQ(VNTNETprimopt(env, net), 0);
  EXPECT_EQ(VNTNETgetstat(env, net), 3);
  EXPECT_TRUE(results.contains("Network - Infeasible:  ")) << results.all();
  EXPECT_TRUE(results.contains("Infeasibility = ")) << results.all();
  // Balanced, but the capacity into the sink is too small; a negative-cost
  // cycle of unbounded capacity elsewhere must not hide the infeasibility.
  f.supply = {4, 0, 0, -4};
  f.ub[1] = 1, f.ub[3] = 2;
  f.arc(1, 2, 0, kInf, -5);
  f.arc(2, 1, 0, kInf, 1);
  load(f);
  ASSERT_EQ(VNTNETprimopt(env, net), 0);
  EXPECT_EQ(VNTNETgetstat(env, net), 3);
  double lpObj;
  EXPECT_NE(lpSolve(f, &lpObj), 1);
  // Contradictory bounds.
  f.lb[0] = 3, f.ub[0] = 2;
  load(f);
  ASSERT_EQ(VNTNETprimopt(env, net), 0);
  EXPECT_EQ(VNTNETgetstat(env, net), 3);
}

TEST_F(NetSimplex, UnboundedNetworks) {
  VNTsetintparam(env, VNTPARAM_Network_Display, 1);
  for (unsigned seed = 1; seed <= 5; ++seed) {
    FlowGen g(300 + seed);
    Flow f = g.transportation(3, 4, false);
    // A negative-cost cycle without capacity among three of the sinks.
    f.arc(3, 4, 0, kInf, -2);
    f.arc(4, 5, 0, kInf, 1);
    f.arc(5, 3, 0, kInf, g.uni(-5, 0));
    load(f);
    ASSERT_EQ(VNTNETprimopt(env, net), 0);
    EXPECT_EQ(VNTNETgetstat(env, net), 2);
    double lpObj;
    const int lpStat = lpSolve(f, &lpObj);
    EXPECT_TRUE(lpStat == 2 || lpStat == 4) << lpStat;
  }
  EXPECT_TRUE(results.contains("Network - Unbounded:  ")) << results.all();
  // Maximizing a profitable arc without an upper bound: unbounded too.
  Flow f;
  f.objsen = -1;
  f.n = 2;
  f.supply = {0, 0};
  f.arc(0, 1, 0, kInf, 1);
  f.arc(1, 0, 0, kInf, 0);
  load(f);
  ASSERT_EQ(VNTNETprimopt(env, net), 0);
  EXPECT_EQ(VNTNETgetstat(env, net), 2);
}

TEST_F(NetSimplex, EveryPricingRuleReachesTheSameOptimum) {
  VNTsetintparam(env, VNTPARAM_Network_Display, 0);
  for (unsigned seed = 1; seed <= 3; ++seed) {
    FlowGen g(500 + seed);
    const Flow f = g.general(60, 400, seed == 2);
    load(f);
    double first = 0;
    for (int pricing = 0; pricing <= 3; ++pricing) {
      ASSERT_EQ(VNTsetintparam(env, VNTPARAM_Network_Pricing, pricing), 0);
      VNTNETcopybase(env, net, std::vector<int>(f.arcs(), 0).data(), std::vector<int>(f.n, 1).data());
      ASSERT_EQ(VNTNETprimopt(env, net), 0);
      checkOptimal(f);
      if (pricing == 0) first = objval();
      else EXPECT_NEAR(objval(), first, 1e-9 * (1 + std::fabs(first))) << "pricing " << pricing;
    }
  }
}

TEST_F(NetSimplex, WarmStartsFromTheLastAndFromACopiedBasis) {
  VNTsetintparam(env, VNTPARAM_Network_Display, 0);
  FlowGen g(7);
  Flow f = g.general(80, 500, false);
  load(f);
  ASSERT_EQ(VNTNETprimopt(env, net), 0);
  checkOptimal(f);
  const double opt = objval();
  const long long cold = VNTNETgetitcnt(env, net);
  EXPECT_GT(cold, 0);
  std::vector<int> astat(f.arcs()), nstat(f.n);
  ASSERT_EQ(VNTNETgetbase(env, net, astat.data(), nstat.data()), 0);
  // The basis counts one basic variable per node.
  long long basic = 0;
  for (int s : astat) basic += s == 1;
  for (int s : nstat) basic += s == 1;
  EXPECT_EQ(basic, f.n);
  // Re-solving from the optimal basis takes no pivot.
  ASSERT_EQ(VNTNETprimopt(env, net), 0);
  EXPECT_EQ(VNTNETgetitcnt(env, net), 0);
  EXPECT_NEAR(objval(), opt, 1e-9 * (1 + std::fabs(opt)));
  // Into a fresh problem through copybase.
  int st = 0;
  VNTNETptr other = VNTNETcreateprob(env, &st, "other");
  ASSERT_NE(other, nullptr);
  load(f, other);
  ASSERT_EQ(VNTNETcopybase(env, other, astat.data(), nstat.data()), 0);
  ASSERT_EQ(VNTNETprimopt(env, other), 0);
  EXPECT_EQ(VNTNETgetitcnt(env, other), 0);
  double o2 = 0;
  ASSERT_EQ(VNTNETgetobjval(env, other, &o2), 0);
  EXPECT_NEAR(o2, opt, 1e-9 * (1 + std::fabs(opt)));
  VNTNETfreeprob(env, &other);
  // Cost changes then a warm re-solve: same optimum as a cold solve.
  for (int k = 0; k < 20; ++k) {
    const int a = g.uni(0, f.arcs() - 1);
    if (f.lb[a] <= -kInf) continue;
    f.cost[a] = g.uni(0, 40);
    ASSERT_EQ(VNTNETchgobj(env, net, 1, &a, &f.cost[a]), 0);
  }
  ASSERT_EQ(VNTNETprimopt(env, net), 0);
  checkOptimal(f);
  const double warm = objval();
  double lpObj = 0;
  ASSERT_EQ(lpSolve(f, &lpObj), 1);
  EXPECT_NEAR(warm, lpObj, 1e-7 * (1 + std::fabs(lpObj)));
}

TEST_F(NetSimplex, IterationLimitLogAndSummary) {
  FlowGen g(11);
  const Flow f = g.transportation(300, 320, false);
  load(f);
  ASSERT_EQ(VNTsetintparam(env, VNTPARAM_Network_Display, 2), 0);
  ASSERT_EQ(VNTNETprimopt(env, net), 0);
  checkOptimal(f);
  const long long its = VNTNETgetitcnt(env, net);
  ASSERT_GT(its, 1000) << "the instance is too easy to show the log";
  EXPECT_TRUE(logLines.contains("Iteration:  1000   ")) << logLines.all();
  EXPECT_TRUE(results.contains("Network - Optimal:  Objective = ")) << results.all();
  EXPECT_TRUE(results.contains("Network time = ")) << results.all();
  EXPECT_LE(VNTNETgetphase1cnt(env, net), its);
  // Cold again with a limit below the pivots needed.
  VNTNETcopybase(env, net, std::vector<int>(f.arcs(), 0).data(), std::vector<int>(f.n, 1).data());
  ASSERT_EQ(VNTsetlongparam(env, VNTPARAM_Network_Iterations, 50), 0);
  ASSERT_EQ(VNTNETprimopt(env, net), 0);
  EXPECT_EQ(VNTNETgetstat(env, net), 10);
  EXPECT_EQ(VNTNETgetitcnt(env, net), 50);
  EXPECT_TRUE(results.contains("Network - Iteration limit exceeded:  ")) << results.all();
  // Display 0: no log, no summary.
  results.lines.clear();
  logLines.lines.clear();
  VNTsetintparam(env, VNTPARAM_Network_Display, 0);
  VNTsetlongparam(env, VNTPARAM_Network_Iterations, 2000000);
  ASSERT_EQ(VNTNETprimopt(env, net), 0);
  EXPECT_EQ(VNTNETgetstat(env, net), 1);
  EXPECT_TRUE(results.lines.empty());
  EXPECT_TRUE(logLines.lines.empty());
}

// Larger instances: transportation with degenerate structure and a
// grid-like min-cost flow; stresses the tree update on long paths.
TEST_F(NetSimplex, LargerInstancesStayOptimal) {
  VNTsetintparam(env, VNTPARAM_Network_Display, 0);
  FlowGen g(21);
  solveAndCompare(g.transportation(50, 50, false));
  // A long chain with shortcuts: deep trees.
  Flow f;
  f.family = "chain";
  f.n = 400;
  f.supply.assign(f.n, 0.0);
  f.supply[0] = 50, f.supply[f.n - 1] = -50;
  for (int v = 0; v + 1 < f.n; ++v) f.arc(v, v + 1, 0, g.uni(50, 80), g.uni(1, 9));
  for (int k = 0; k < 600; ++k) {
    int a = g.uni(0, f.n - 1), b = g.uni(0, f.n - 1);
    if (a != b) f.arc(a, b, 0, g.uni(1, 20), g.uni(1, 10) * std::abs(b - a));
  }
  solveAndCompare(f);
}

// The peer: scipy's linprog (HiGHS) on the DIMACS files our writer made.
// Each file is parsed by the script itself, so both the writer and the
// optimum are checked against an outside reading.
constexpr const char* kPeerScript = R"PY(
import sys
import numpy as np
from scipy.optimize import linprog
from scipy.sparse import coo_matrix
for path in sys.argv[1:]:
    sense, n, sup, arcs = 1, 0, {}, []
    for line in open(path):
        f = line.split()
        if not f or f[0] == 'c':
            continue
        if f[0] == 'p':
            sense, n = (1 if f[1] == 'min' else -1), int(f[2])
        elif f[0] == 'n':
            sup[int(f[1]) - 1] = float(f[2])
        elif f[0] == 'a':
            arcs.append((int(f[1]) - 1, int(f[2]) - 1, float(f[3]), float(f[4]), float(f[5])))
    m = len(arcs)
    rows = [a[0] for a in arcs] + [a[1] for a in arcs]
    cols = list(range(m)) * 2
    vals = [1.0] * m + [-1.0] * m
    A = coo_matrix((vals, (rows, cols)), shape=(n, m)).tocsr()
    b = np.array([sup.get(v, 0.0) for v in range(n)])
    bnd = [(None if a[2] <= -1e20 else a[2], None if a[3] >= 1e20 else a[3]) for a in arcs]
    c = np.array([a[4] for a in arcs])  # written as cost times sense: a minimization
    r = linprog(c, A_eq=A, b_eq=b, bounds=bnd, method='highs')
    print(r.status, repr(sense * r.fun) if r.status == 0 else 'nan')
)PY";

TEST_F(NetSimplex, OptimaMatchThePeer) {
  if (std::system("/usr/bin/python3 -c 'import scipy.optimize' > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "scipy not available";
  VNTsetintparam(env, VNTPARAM_Network_Display, 0);
  const std::string dir = "/tmp/vnt_netpeer_" + std::to_string(getpid());
  ASSERT_EQ(std::system(("mkdir -p " + dir).c_str()), 0);
  std::vector<double> ours;
  std::string files;
  for (unsigned seed = 1; seed <= 10; ++seed) {
    FlowGen g(900 + seed);
    Flow f;
    switch (seed % 4) {
      case 0: f = g.transportation(g.uni(5, 20), g.uni(5, 20), false); break;
      case 1: f = g.general(g.uni(20, 60), g.uni(60, 300), seed % 3 == 0); break;
      case 2: f = g.assignment(g.uni(10, 30)); break;
      default: f = g.maxFlow(g.uni(10, 40), g.uni(40, 200)); break;
    }
    load(f);
    ASSERT_EQ(VNTNETprimopt(env, net), 0);
    ASSERT_EQ(VNTNETgetstat(env, net), 1) << f.family;
    ours.push_back(objval());
    const std::string path = dir + "/p" + std::to_string(seed) + ".min";
    ASSERT_EQ(VNTNETwriteprob(env, net, path.c_str(), nullptr), 0);
    files += " " + path;
  }
  const std::string script = dir + "/peer.py";
  std::ofstream(script) << kPeerScript;
  FILE* p = popen(("/usr/bin/python3 " + script + files + " 2>&1").c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  pclose(p);
  std::istringstream in(out);
  for (size_t k = 0; k < ours.size(); ++k) {
    int status = -1;
    double obj = 0;
    ASSERT_TRUE(in >> status >> obj) << out;
    EXPECT_EQ(status, 0) << "instance " << k;
    EXPECT_NEAR(ours[k], obj, 1e-6 * (1 + std::fabs(obj))) << "instance " << k;
  }
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace
