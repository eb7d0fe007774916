// Networks inside LPs: a network copied into an LP, extracted back, and LPs
// made of a network part (rows negated, columns scaled) plus side
// constraints solved by LP method 3 and by the hybrid optimizer to the same
// optimum as the dual simplex.
#include <cmath>

#include "network/net_fixture.h"

namespace {

using vnt::test::Flow;
using vnt::test::FlowGen;
using vnt::test::kInf;

class NetExtract : public vnt::test::NetFixture {
 protected:
  void SetUp() override {
    NetFixture::SetUp();
    int st = 0;
    lp = VNTcreateprob(env, &st, "lp");
    ASSERT_NE(lp, nullptr);
    VNTsetintparam(env, VNTPARAM_Preprocessing_Presolve, 0);
  }
  void TearDown() override {
    VNTfreeprob(env, &lp);
    NetFixture::TearDown();
  }

  // The flow problem as an LP with each node row multiplied by rowScale[v]
  // (+-1), each column by colScale[a], plus `side` random side rows
  // (capacity-like limits on sums of arc flows).
  void buildLp(const Flow& f, const std::vector<double>& rowScale, const std::vector<double>& colScale, int side,
               FlowGen& g) {
    const int m = f.arcs();
    std::vector<int> beg(m), cnt(m, 2), ind(2 * m);
    std::vector<double> val(2 * m), obj(m), lb(m), ub(m), rhs(f.n);
    for (int a = 0; a < m; ++a) {
      // Column a holds y = x / colScale: entries and cost scale with it.
      const double s = colScale[a];
      beg[a] = 2 * a;
      ind[2 * a] = f.tail[a], val[2 * a] = rowScale[f.tail[a]] * s;
      ind[2 * a + 1] = f.head[a], val[2 * a + 1] = -rowScale[f.head[a]] * s;
      obj[a] = f.cost[a] * s;
      lb[a] = f.lb[a] <= -kInf ? -kInf : f.lb[a] / s;
      ub[a] = f.ub[a] >= kInf ? kInf : f.ub[a] / s;
    }
    for (int v = 0; v < f.n; ++v) rhs[v] = rowScale[v] * f.supply[v];
    std::vector<char> sense(f.n, 'E');
    ASSERT_EQ(VNTcopylp(env, lp, m, f.n, f.objsen, obj.data(), rhs.data(), sense.data(), beg.data(), cnt.data(),
                        ind.data(), val.data(), lb.data(), ub.data(), nullptr),
              0);
    for (int k = 0; k < side; ++k) {
      std::vector<int> cols;
      std::vector<double> vals;
      for (int t = 0; t < 4; ++t) {
        const int a = g.uni(0, m - 1);
        if (std::find(cols.begin(), cols.end(), a) != cols.end()) continue;
        cols.push_back(a);
        vals.push_back(colScale[a]);
      }
      double lim = g.uni(5, 40);
      char sen = 'L';
      int zero = 0;
      ASSERT_EQ(VNTaddrows(env, lp, 0, 1, static_cast<int>(cols.size()), &lim, &sen, &zero, cols.data(), vals.data(),
                           nullptr, nullptr),
                0);
    }
  }

  int solveWith(int method, double* obj) {
    VNTsetintparam(env, VNTPARAM_LPMethod, method);
    EXPECT_EQ(VNTlpopt(env, lp), 0);
    const int stat = VNTgetstat(env, lp);
    if (stat == 1) VNTgetobjval(env, lp, obj);
    return stat;
  }

  VNTLPptr lp = nullptr;
};

TEST_F(NetExtract, CopiedNetworkSolvesAlikeAndExtractsBack) {
  VNTsetintparam(env, VNTPARAM_Network_Display, 0);
  for (unsigned seed = 1; seed <= 4; ++seed) {
    FlowGen g(40 + seed);
    const Flow f = g.general(30, 150, seed == 3);
    load(f);
    ASSERT_EQ(VNTNETprimopt(env, net), 0);
    checkOptimal(f);
    const double netObj = objval();
    ASSERT_EQ(VNTcopynettolp(env, lp, net), 0);
    EXPECT_EQ(VNTgetnumrows(env, lp), f.n);
    EXPECT_EQ(VNTgetnumcols(env, lp), f.arcs());
    double lpObj = 0;
    ASSERT_EQ(solveWith(2, &lpObj), 1);
    EXPECT_NEAR(lpObj, netObj, 1e-7 * (1 + std::fabs(netObj)));
    // Extracted back: every row a node, every column an arc, no slacks.
    int st = 0;
    VNTNETptr back = VNTNETcreateprob(env, &st, "back");
    std::vector<int> colmap(f.arcs()), rowmap(f.n);
    ASSERT_EQ(VNTNETextract(env, back, lp, colmap.data(), rowmap.data()), 0);
    EXPECT_EQ(VNTNETgetnumnodes(env, back), f.n);
    EXPECT_EQ(VNTNETgetnumarcs(env, back), f.arcs());
    for (int v = 0; v < f.n; ++v) EXPECT_EQ(rowmap[v], v);
    for (int a = 0; a < f.arcs(); ++a) EXPECT_EQ(colmap[a], a);
    ASSERT_EQ(VNTNETprimopt(env, back), 0);
    double o = 0;
    ASSERT_EQ(VNTNETgetobjval(env, back, &o), 0);
    EXPECT_NEAR(o, netObj, 1e-7 * (1 + std::fabs(netObj)));
    VNTNETfreeprob(env, &back);
  }
}

TEST_F(NetExtract, NetworkWithSideConstraintsByMethodThree) {
  VNTsetintparam(env, VNTPARAM_Network_Display, 1);
  VNTsetintparam(env, VNTPARAM_Network_NetFind, 3);
  int checked = 0;
  for (unsigned seed = 1; seed <= 8; ++seed) {
    FlowGen g(70 + seed);
    const Flow f = seed % 2 ? g.general(25, 120, false) : g.transportation(6, 8, true);
    std::vector<double> rowScale(f.n), colScale(f.arcs());
    for (double& r : rowScale) r = g.uni(0, 1) ? 1.0 : -1.0;
    for (double& c : colScale) c = g.uni(0, 3) ? 1.0 : 0.5 * g.uni(1, 6);
    buildLp(f, rowScale, colScale, 3, g);
    double dualObj = 0, netObj = 0;
    const int dualStat = solveWith(2, &dualObj);
    results.lines.clear();
    VNTcopybase(env, lp, std::vector<int>(f.arcs(), 0).data(),
                std::vector<int>(VNTgetnumrows(env, lp), 1).data());  // a cold start for method 3
    const int netStat = solveWith(3, &netObj);
    EXPECT_EQ(netStat, dualStat) << "seed " << seed;
    if (dualStat == 1 && netStat == 1) {
      ++checked;
      EXPECT_NEAR(netObj, dualObj, 1e-7 * (1 + std::fabs(dualObj))) << "seed " << seed;
    }
    // Every node row is in the network: the side rows are not.
    EXPECT_TRUE(results.contains("Extracted network with ")) << results.all();
    EXPECT_TRUE(results.contains(" and ")) << results.all();
    EXPECT_TRUE(results.contains("Extraction time = ")) << results.all();
  }
  EXPECT_GE(checked, 4);
}

TEST_F(NetExtract, NetFindLevelsAndTheHybridOptimizer) {
  VNTsetintparam(env, VNTPARAM_Network_Display, 0);
  FlowGen g(5);
  const Flow f = g.general(20, 80, false);
  std::vector<double> rowScale(f.n, 1.0), colScale(f.arcs(), 1.0);
  for (int v = 0; v < f.n; v += 2) rowScale[v] = -1.0;
  colScale[0] = 4.0;
  buildLp(f, rowScale, colScale, 0, g);
  // As given, negated rows break the network; reflecting rows takes them
  // all; only scaling takes the scaled column.
  int st = 0;
  VNTNETptr x = VNTNETcreateprob(env, &st, "x");
  std::vector<int> colmap(f.arcs()), rowmap(f.n);
  long long taken[4] = {0, 0, 0, 0};
  for (int level = 1; level <= 3; ++level) {
    ASSERT_EQ(VNTsetintparam(env, VNTPARAM_Network_NetFind, level), 0);
    ASSERT_EQ(VNTNETextract(env, x, lp, colmap.data(), rowmap.data()), 0);
    for (int v = 0; v < f.n; ++v) taken[level] += rowmap[v] >= 0;
  }
  EXPECT_LT(taken[1], f.n);
  EXPECT_EQ(taken[2], f.n - 2) << "the scaled column keeps both of its rows out";
  EXPECT_EQ(taken[3], f.n);
  VNTNETfreeprob(env, &x);
  // Hybrid optimizer with either finishing method.
  double dualObj = 0, o = 0;
  ASSERT_EQ(solveWith(2, &dualObj), 1);
  for (int method : {1, 2}) {
    ASSERT_EQ(VNThybnetopt(env, lp, method), 0);
    ASSERT_EQ(VNTgetstat(env, lp), 1);
    ASSERT_EQ(VNTgetobjval(env, lp, &o), 0);
    EXPECT_NEAR(o, dualObj, 1e-7 * (1 + std::fabs(dualObj)));
  }
  EXPECT_EQ(VNThybnetopt(env, lp, 7), 1003);
}

}  // namespace
