// Fixture and generators of the network tests: an environment with captured
// channels, one network problem, random min-cost-flow instances of several
// families, loading them as a network and as the equivalent LP, and an
// independent check of a network solution.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "common/env_fixture.h"
#include "vanto/vanto.h"

namespace vnt::test {

inline constexpr double kInf = 1e20;

struct Flow {
  std::string family;
  int objsen = 1;
  int n = 0;
  std::vector<double> supply;
  std::vector<int> tail, head;
  std::vector<double> lb, ub, cost;
  int arcs() const { return static_cast<int>(tail.size()); }
  void arc(int t, int h, double l, double u, double c) {
    tail.push_back(t), head.push_back(h), lb.push_back(l), ub.push_back(u), cost.push_back(c);
  }
};

// Instance families; every instance is derived from the seed alone.
class FlowGen {
 public:
  explicit FlowGen(unsigned seed) : rng_(seed) {}
  int uni(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  // Balanced transportation: s sources, d sinks, every pair an arc.
  Flow transportation(int s, int d, bool capacitated) {
    Flow f;
    f.family = "transportation";
    f.n = s + d;
    f.supply.assign(f.n, 0.0);
    int total = 0;
    for (int i = 0; i < s; ++i) total += (f.supply[i] = uni(1, 40));
    for (int j = 0; j < d; ++j) f.supply[s + j] = 0;
    for (int k = 0; k < total; ++k) f.supply[s + uni(0, d - 1)] -= 1;  // random split of the demand
    for (int i = 0; i < s; ++i)
      for (int j = 0; j < d; ++j) f.arc(i, s + j, 0, capacitated ? uni(5, 30) : kInf, uni(1, 50));
    return f;
  }

  // Assignment: n workers, n jobs, unit supplies, random subset of pairs
  // plus a perfect matching so that it stays feasible.
  Flow assignment(int n) {
    Flow f;
    f.family = "assignment";
    f.n = 2 * n;
    f.supply.assign(f.n, 0.0);
    for (int i = 0; i < n; ++i) f.supply[i] = 1, f.supply[n + i] = -1;
    std::vector<int> perm(n);
    for (int i = 0; i < n; ++i) perm[i] = i;
    std::shuffle(perm.begin(), perm.end(), rng_);
    for (int i = 0; i < n; ++i) f.arc(i, n + perm[i], 0, 1, uni(20, 60));
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j)
        if (uni(0, 2) == 0) f.arc(i, n + j, 0, 1, uni(0, 60));
    return f;
  }

  // Shortest paths from node 0 to every node (supply n-1 at 0, -1 elsewhere)
  // on a random strongly connected digraph with nonnegative costs.
  Flow shortestPath(int n, int extra) {
    Flow f;
    f.family = "shortest path";
    f.n = n;
    f.supply.assign(n, -1.0);
    f.supply[0] = n - 1;
    for (int v = 0; v < n; ++v) f.arc(v, (v + 1) % n, 0, kInf, uni(5, 100));
    for (int k = 0; k < extra; ++k) {
      int a = uni(0, n - 1), b = uni(0, n - 1);
      if (a != b) f.arc(a, b, 0, kInf, uni(0, 100));
    }
    return f;
  }

  // Maximum flow from 0 to n-1 as a min-cost circulation: the return arc
  // n-1 -> 0 earns one per unit.
  Flow maxFlow(int n, int m) {
    Flow f;
    f.family = "max flow";
    f.n = n;
    f.supply.assign(n, 0.0);
    for (int k = 0; k < m; ++k) {
      int a = uni(0, n - 1), b = uni(0, n - 1);
      if (a != b && b != 0 && a != n - 1) f.arc(a, b, 0, uni(1, 20), 0);
    }
    f.arc(n - 1, 0, 0, kInf, -1);
    return f;
  }

  // General instance: balanced random supplies along a spanning path that
  // keeps it feasible, lower bounds (some negative), fixed, free and
  // lower-unbounded arcs, optional maximization (costs then negated so that
  // the optimum stays bounded).
  Flow general(int n, int m, bool maximize) {
    Flow f;
    f.family = maximize ? "general max" : "general";
    f.objsen = maximize ? -1 : 1;
    f.n = n;
    f.supply.assign(n, 0.0);
    // A feasible flow first: random arcs with random flows inside their bounds.
    std::vector<double> flow;
    for (int k = 0; k < m; ++k) {
      int a = uni(0, n - 1), b = uni(0, n - 1);
      if (a == b) continue;
      const int kind = uni(0, 9);
      double lo = 0, up = kInf, x;
      if (kind <= 3) lo = 0, up = uni(1, 30);
      else if (kind == 4) lo = uni(1, 5), up = lo + uni(0, 20);
      else if (kind == 5) lo = -uni(1, 10), up = uni(0, 10);
      else if (kind == 6) lo = up = uni(-3, 6);
      else if (kind == 7) lo = -kInf, up = uni(-2, 10);
      else if (kind == 8) lo = -kInf, up = kInf;
      // Costs nonnegative on arcs unbounded above, so no unbounded cycle.
      double c = uni(0, 40);
      if (up < kInf && lo > -kInf && uni(0, 3) == 0) c = -uni(0, 20);
      if (lo <= -kInf && up >= kInf) c = 0;  // a free arc needs a zero cost cycle-wise
      if (lo <= -kInf) c = -std::abs(c);     // going down gets cheaper: stays bounded
      const double a0 = lo <= -kInf ? (up >= kInf ? -10 : up - 10) : lo;
      const double b0 = up >= kInf ? a0 + 20 : up;
      x = std::floor(a0 + (b0 - a0) * uni(0, 100) / 100.0);
      f.arc(a, b, lo, up, maximize ? -c : c);
      flow.push_back(x);
      f.supply[a] += x;
      f.supply[b] -= x;
    }
    return f;
  }

  std::mt19937& rng() { return rng_; }

 private:
  std::mt19937 rng_;
};

class NetFixture : public EnvTest<Capture> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(openEnv(kResults | kWarnings | kErrors | kLog));
    int st = 0;
    net = VNTNETcreateprob(env, &st, "testnet");
    ASSERT_NE(net, nullptr);
    // Every solve is capped so that a cycling regression fails fast.
    ASSERT_EQ(VNTsetlongparam(env, VNTPARAM_Network_Iterations, 2000000), 0);
  }
  void TearDown() override {
    VNTNETfreeprob(env, &net);
    EnvTest::TearDown();
  }

  void load(const Flow& f, VNTNETptr into = nullptr) {
    VNTNETptr t = into ? into : net;
    ASSERT_EQ(VNTNETcopynet(env, t, f.objsen, f.n, f.supply.data(), nullptr, f.arcs(), f.tail.data(),
                            f.head.data(), f.lb.data(), f.ub.data(), f.cost.data(), nullptr),
              0);
  }

  // The same problem as an LP: one equality row per node (outflow minus
  // inflow equals supply), one column per arc; solved by the dual simplex.
  int lpSolve(const Flow& f, double* obj) {
    int st = 0;
    VNTLPptr lp = VNTcreateprob(env, &st, "asLp");
    EXPECT_NE(lp, nullptr);
    const int m = f.arcs();
    std::vector<int> beg(m), cnt(m, 2), ind(2 * m);
    std::vector<double> val(2 * m);
    for (int a = 0; a < m; ++a) {
      beg[a] = 2 * a;
      ind[2 * a] = f.tail[a], val[2 * a] = 1.0;
      ind[2 * a + 1] = f.head[a], val[2 * a + 1] = -1.0;
    }
    std::vector<char> sense(f.n, 'E');
    EXPECT_EQ(VNTcopylp(env, lp, m, f.n, f.objsen, f.cost.data(), f.supply.data(), sense.data(), beg.data(),
                        cnt.data(), ind.data(), val.data(), f.lb.data(), f.ub.data(), nullptr),
              0);
    VNTsetintparam(env, VNTPARAM_LPMethod, 2);
    VNTsetintparam(env, VNTPARAM_Preprocessing_Presolve, 0);
    EXPECT_EQ(VNTlpopt(env, lp), 0);
    const int stat = VNTgetstat(env, lp);
    if (stat == 1) VNTgetobjval(env, lp, obj);
    VNTfreeprob(env, &lp);
    return stat;
  }

  // Independent optimality check of the stored network solution against the
  // instance: bounds, conservation, objective, complementary slackness of
  // the reduced costs recomputed from the potentials.
  void checkOptimal(const Flow& f, double tol = 1e-6) {
    ASSERT_EQ(VNTNETgetstat(env, net), 1) << f.family;
    const int m = f.arcs(), n = f.n;
    std::vector<double> x(m), pi(n), dj(m), slack(n);
    int stat = 0;
    double obj = 0;
    ASSERT_EQ(VNTNETsolution(env, net, &stat, &obj, x.data(), pi.data(), slack.data(), dj.data()), 0);
    std::vector<double> bal(f.supply);
    double cx = 0, scale = 1;
    for (int a = 0; a < m; ++a) {
      scale = std::max(scale, std::fabs(x[a]));
      EXPECT_GE(x[a], f.lb[a] - tol) << f.family << " arc " << a;
      EXPECT_LE(x[a], f.ub[a] + tol) << f.family << " arc " << a;
      bal[f.tail[a]] -= x[a];
      bal[f.head[a]] += x[a];
      cx += f.cost[a] * x[a];
    }
    for (int v = 0; v < n; ++v) {
      EXPECT_NEAR(bal[v], 0.0, tol * scale) << f.family << " node " << v;
      EXPECT_NEAR(slack[v], bal[v], tol * scale) << f.family << " node " << v;
    }
    EXPECT_NEAR(obj, cx, 1e-9 * (1 + std::fabs(cx))) << f.family;
    for (int a = 0; a < m; ++a) {
      const double d = f.objsen * (f.cost[a] - pi[f.tail[a]] + pi[f.head[a]]);
      EXPECT_NEAR(f.objsen * dj[a], d, 1e-7 * (1 + std::fabs(d))) << f.family;
      const bool atLo = x[a] <= f.lb[a] + tol, atUp = x[a] >= f.ub[a] - tol;
      const double dtol = 1e-6 * (1 + std::fabs(f.cost[a]));
      if (!atLo) {
        EXPECT_LE(d, dtol) << f.family << " arc " << a << " above its lower bound";
      }
      if (!atUp) {
        EXPECT_GE(d, -dtol) << f.family << " arc " << a << " below its upper bound";
      }
    }
  }

  double objval() {
    double v = 0;
    EXPECT_EQ(VNTNETgetobjval(env, net, &v), 0);
    return v;
  }

  VNTNETptr net = nullptr;
};

}  // namespace vnt::test
