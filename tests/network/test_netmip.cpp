// MIPs with a network core solved with the network simplex as the root and
// node LP algorithm (start and sub-problem algorithm 3): fixed-charge
// transportation and network design models (flow conservation rows, some
// negated, plus linking rows x_a <= u_a y_a with binary y_a).  The same
// optimum as with the dual simplex, a solution that meets every row, and the
// network solves really happen (and do not with the default algorithm).
#include <cmath>

#include "network/net_fixture.h"
#include "network/network.h"

namespace {

using vnt::test::Flow;
using vnt::test::FlowGen;
using vnt::test::kInf;

class NetMip : public vnt::test::NetFixture {
 protected:
  void SetUp() override {
    NetFixture::SetUp();
    int st = 0;
    mip = VNTcreateprob(env, &st, "fixedcharge");
    ASSERT_NE(mip, nullptr);
    // Caps: a cycling or runaway search fails rather than hangs.
    ASSERT_EQ(VNTsetlongparam(env, VNTPARAM_MIP_Limits_Nodes, 50000), 0);
    ASSERT_EQ(VNTsetdblparam(env, VNTPARAM_MIP_Tolerances_MIPGap, 0.0), 0);
    ASSERT_EQ(VNTsetdblparam(env, VNTPARAM_MIP_Tolerances_AbsMIPGap, 0.0), 0);
  }
  void TearDown() override {
    VNTfreeprob(env, &mip);
    NetFixture::TearDown();
  }

  // Columns: the flows x_a (0..m-1), then the opening variables y_a.  Rows:
  // one conservation row per node (negated where flip[v]), then x_a - u_a y_a <= 0.
  void build(const Flow& f, FlowGen& g) {
    const int m = f.arcs();
    rows_ = f.n + m;
    std::vector<int> beg, cnt, ind;
    std::vector<double> val, obj, lb, ub;
    std::vector<double> flip(f.n);
    for (int v = 0; v < f.n; ++v) flip[v] = g.uni(0, 3) == 0 ? -1.0 : 1.0;
    for (int a = 0; a < m; ++a) {
      beg.push_back(static_cast<int>(ind.size()));
      ind.push_back(f.tail[a]), val.push_back(flip[f.tail[a]]);
      ind.push_back(f.head[a]), val.push_back(-flip[f.head[a]]);
      ind.push_back(f.n + a), val.push_back(1.0);
      cnt.push_back(3);
      obj.push_back(f.cost[a]), lb.push_back(0.0), ub.push_back(kInf);
    }
    for (int a = 0; a < m; ++a) {
      beg.push_back(static_cast<int>(ind.size()));
      ind.push_back(f.n + a), val.push_back(-f.ub[a]);
      cnt.push_back(1);
      obj.push_back(g.uni(20, 200)), lb.push_back(0.0), ub.push_back(1.0);
    }
    std::vector<double> rhs(rows_, 0.0);
    std::vector<char> sense(rows_, 'L');
    for (int v = 0; v < f.n; ++v) rhs[v] = flip[v] * f.supply[v], sense[v] = 'E';
    ASSERT_EQ(VNTcopylp(env, mip, 2 * m, rows_, 1, obj.data(), rhs.data(), sense.data(), beg.data(), cnt.data(),
                        ind.data(), val.data(), lb.data(), ub.data(), nullptr),
              0);
    std::vector<char> ctype(2 * m, 'C');
    for (int a = 0; a < m; ++a) ctype[m + a] = 'B';
    ASSERT_EQ(VNTcopyctype(env, mip, ctype.data()), 0);
  }

  // Solves with the given root and node algorithms; the status, and the
  // objective when optimal.  Every row is checked at the answer.
  int solve(int startAlg, int subAlg, double* obj) {
    VNTsetintparam(env, VNTPARAM_MIP_Strategy_StartAlgorithm, startAlg);
    VNTsetintparam(env, VNTPARAM_MIP_Strategy_SubAlgorithm, subAlg);
    EXPECT_EQ(VNTmipopt(env, mip), 0);
    const int stat = VNTgetstat(env, mip);
    if (stat != VNTMIP_OPTIMAL && stat != VNTMIP_OPTIMAL_TOL) return stat;
    EXPECT_EQ(VNTgetobjval(env, mip, obj), 0);
    std::vector<double> slack(rows_);
    EXPECT_EQ(VNTgetslack(env, mip, slack.data(), 0, rows_ - 1), 0);
    std::vector<char> sense(rows_);
    EXPECT_EQ(VNTgetsense(env, mip, sense.data(), 0, rows_ - 1), 0);
    for (int i = 0; i < rows_; ++i) {
      if (sense[i] == 'E') EXPECT_NEAR(slack[i], 0.0, 1e-5) << "row " << i;
      else EXPECT_GE(slack[i], -1e-5) << "row " << i;
    }
    return stat;
  }

  VNTLPptr mip = nullptr;
  int rows_ = 0;
};

// Capacitated transportation and transshipment networks: the optimum by
// algorithm 3 at the root and the nodes equals the one by the dual.
TEST_F(NetMip, FixedChargeNetworksSameOptimumByNetworkAlgorithm) {
  VNTsetintparam(env, VNTPARAM_Preprocessing_Presolve, 0);
  int solvedByNetwork = 0;
  for (unsigned seed = 1; seed <= 8; ++seed) {
    FlowGen g(seed);
    Flow f = seed % 2 ? g.transportation(3 + seed % 3, 4 + seed % 2, true) : g.shortestPath(8 + seed, 14);
    for (int a = 0; a < f.arcs(); ++a)
      if (f.ub[a] >= kInf) f.ub[a] = g.uni(10, 60);
    SCOPED_TRACE("seed " + std::to_string(seed) + " " + f.family);
    ASSERT_NO_FATAL_FAILURE(build(f, g));
    double dual = 0, net = 0, rootOnly = 0;
    const int sd = solve(0, 0, &dual);
    const long long before = vnt::network::nodeNetworkSolves();
    const int sn = solve(3, 3, &net);
    const long long solves = vnt::network::nodeNetworkSolves() - before;
    ASSERT_EQ(sd, sn);
    if (sd != VNTMIP_OPTIMAL && sd != VNTMIP_OPTIMAL_TOL) continue;
    EXPECT_NEAR(net, dual, 1e-6 * (1 + std::fabs(dual)));
    EXPECT_GE(solves, 1);
    solvedByNetwork += solves > 0;
    // The root by the dual, the nodes by the network.
    ASSERT_EQ(solve(0, 3, &rootOnly), sd);
    EXPECT_NEAR(rootOnly, dual, 1e-6 * (1 + std::fabs(dual)));
    // The default algorithms never solve a network.
    const long long idle = vnt::network::nodeNetworkSolves();
    solve(0, 2, &dual);
    EXPECT_EQ(vnt::network::nodeNetworkSolves(), idle);
  }
  EXPECT_GE(solvedByNetwork, 4);
}

// Presolve on, and an infeasible network core (demand beyond every
// capacity): the status agrees with the dual's.
TEST_F(NetMip, PresolvedAndInfeasibleCoresAgreeWithTheDual) {
  for (unsigned seed = 11; seed <= 13; ++seed) {
    FlowGen g(seed);
    Flow f = g.transportation(4, 4, true);
    if (seed == 13)
      for (int a = 0; a < f.arcs(); ++a) f.ub[a] = 1;  // supplies of 1..40 cannot leave the sources
    SCOPED_TRACE("seed " + std::to_string(seed));
    ASSERT_NO_FATAL_FAILURE(build(f, g));
    double dual = 0, net = 0;
    const int sd = solve(0, 0, &dual);
    const int sn = solve(3, 3, &net);
    ASSERT_EQ(sd, sn);
    if (seed == 13) EXPECT_EQ(sd, VNTMIP_INFEASIBLE);
    else EXPECT_NEAR(net, dual, 1e-6 * (1 + std::fabs(dual)));
  }
}

}  // namespace
