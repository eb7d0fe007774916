// The network simplex engine's two starts without a caller's basis, the
// cheapest-path tree of the transshipment nodes and the all-artificial tree,
// on random networks with transshipment nodes, closed and infinite arcs,
// negative costs on capacitated arcs and unbalanced supplies: the same status
// and optimum both ways, and each optimal answer checked from the data
// (bounds, conservation, reduced-cost signs from the potentials).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "network/netsimplex.h"

namespace {

using vnt::network::NetSimplex;
using vnt::network::NetSimplexOptions;

struct Net {
  int n = 0;
  std::vector<int> tail, head;
  std::vector<double> cap, cost, supply;
};

Net randomNet(unsigned seed, bool balanced) {
  std::mt19937 rng(seed);
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  Net f;
  f.n = uni(4, 60);
  f.supply.assign(f.n, 0.0);
  const int sources = uni(1, std::max(1, f.n / 5)), sinks = uni(1, std::max(1, f.n / 5));
  for (int k = 0; k < 10 * sources; ++k) f.supply[uni(0, sources - 1)] += 1;
  double total = 10.0 * sources;
  if (!balanced) total += uni(-3, 3);
  for (int k = 0; k < static_cast<int>(total); ++k) f.supply[f.n - 1 - uni(0, sinks - 1)] -= 1;
  const int m = uni(f.n, 6 * f.n);
  for (int k = 0; k < m; ++k) {
    const int a = uni(0, f.n - 1), b = uni(0, f.n - 1);
    if (a == b) continue;
    const int kind = uni(0, 9);
    const double cap = kind == 0 ? 0.0 : kind <= 3 ? vnt::network::kNetInf : uni(1, 25);
    // Negative costs only where the capacity keeps cycles bounded.
    const double cost = cap < vnt::network::kNetInf && uni(0, 3) == 0 ? -uni(1, 20) : uni(0, 50);
    f.tail.push_back(a), f.head.push_back(b), f.cap.push_back(cap), f.cost.push_back(cost);
  }
  // A path through every node with ample capacity keeps most instances feasible.
  if (uni(0, 4) != 0)
    for (int v = 0; v + 1 < f.n; ++v)
      f.tail.push_back(v), f.head.push_back(v + 1), f.cap.push_back(1000), f.cost.push_back(uni(40, 90)),
          f.tail.push_back(v + 1), f.head.push_back(v), f.cap.push_back(1000), f.cost.push_back(uni(40, 90));
  return f;
}

struct Answer {
  int status = 0;
  double objective = 0;
};

Answer solve(const Net& f, bool crash) {
  NetSimplex ns;
  ns.reset(f.n, f.tail, f.head, f.cap, f.cost, f.supply);
  NetSimplexOptions opt;
  opt.crashStart = crash;
  opt.iterationLimit = 100000;  // a cycling regression fails instead of hanging
  Answer r;
  r.status = ns.solve(opt);
  r.objective = ns.objective();
  if (r.status != vnt::network::kNetOptimal) return r;
  const int m = static_cast<int>(f.tail.size());
  std::vector<double> balance(f.supply);
  for (int a = 0; a < m; ++a) {
    const double x = ns.flow(a);
    EXPECT_GE(x, -1e-9) << "arc " << a;
    if (f.cap[a] < vnt::network::kNetInf) {
      EXPECT_LE(x, f.cap[a] + 1e-9) << "arc " << a;
    }
    balance[f.tail[a]] -= x;
    balance[f.head[a]] += x;
    const double d = f.cost[a] - ns.potential(f.tail[a]) + ns.potential(f.head[a]);
    if (f.cap[a] <= 0) continue;  // a closed arc may price either way
    if (x > 1e-9 && (f.cap[a] >= vnt::network::kNetInf || x < f.cap[a] - 1e-9)) {
      EXPECT_NEAR(d, 0.0, 1e-6) << "arc " << a;
    } else if (x <= 1e-9) {
      EXPECT_GE(d, -1e-6) << "arc " << a;
    } else {
      EXPECT_LE(d, 1e-6) << "arc " << a;
    }
  }
  for (int v = 0; v < f.n; ++v) EXPECT_NEAR(balance[v], 0.0, 1e-7) << "node " << v;
  return r;
}

TEST(NetStart, CheapestPathAndArtificialStartsAgree) {
  int optimal = 0, infeasible = 0;
  for (unsigned seed = 1; seed <= 150; ++seed) {
    const Net f = randomNet(seed, seed % 5 != 0);
    const Answer crash = solve(f, true), plain = solve(f, false);
    ASSERT_EQ(crash.status, plain.status) << "seed " << seed;
    if (crash.status == vnt::network::kNetOptimal) {
      ++optimal;
      EXPECT_NEAR(crash.objective, plain.objective, 1e-7 * (1 + std::fabs(plain.objective))) << "seed " << seed;
    } else {
      infeasible += crash.status == vnt::network::kNetInfeasible;
    }
  }
  // Both kinds of outcome occur, so each path is exercised.
  EXPECT_GT(optimal, 50);
  EXPECT_GT(infeasible, 5);
}

// A caller's tree holding a free arc (two opposite copies) with no flow,
// named by the copy that points away from the root: the other copy carries
// it, so the tree is strongly feasible and used as given.
TEST(NetStart, FreeArcAtZeroFlowInAGivenTree) {
  for (int flip = 0; flip < 2; ++flip) {
    NetSimplex ns;
    // Nodes 0 and 1, arcs 0->1 and 1->0 (one free arc), a closed arc 1->0.
    ns.reset(2, {0, 1, 1}, {1, 0, 0}, {vnt::network::kNetInf, vnt::network::kNetInf, 0.0}, {2.0, -2.0, 5.0},
             {0.0, 0.0});
    ns.setTwin(0, 1);
    std::vector<signed char> upper(3, 0);
    std::vector<char> arcs(3, 0), nodes{1, 0};
    if (flip) nodes = {0, 1};
    arcs[flip ? 1 : 0] = 1;  // the copy leaving the node that hangs from the root
    ns.setStart(upper, &arcs, &nodes);
    NetSimplexOptions opt;
    opt.iterationLimit = 100;
    ASSERT_EQ(ns.solve(opt), vnt::network::kNetOptimal) << "flip " << flip;
    EXPECT_TRUE(ns.usedStartTree()) << "flip " << flip;
    EXPECT_EQ(ns.objective(), 0.0);
  }
}

}  // namespace
