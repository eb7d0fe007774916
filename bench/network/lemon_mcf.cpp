// Peer driver for the min-cost-flow benchmark: reads a DIMACS "min" file,
// solves it with LEMON's network simplex (block search pivot rule) and
// prints "objective <value> seconds <cpu seconds of the solve>" (or
// "status <text>").  Built only when LEMON's headers are installed.
#include <lemon/network_simplex.h>
#include <lemon/smart_graph.h>

#include <cstdio>
#include <limits>
#include <vector>

#include "bench_clock.h"

using vnt::bench::cpuNow;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: lemon_mcf FILE.min\n");
    return 2;
  }
  FILE* in = std::fopen(argv[1], "r");
  if (!in) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 2;
  }
  using G = lemon::SmartDigraph;
  using Value = long long;
  G g;
  G::ArcMap<Value> low(g), cap(g), cost(g);
  G::NodeMap<Value> supply(g);
  std::vector<G::Node> nodes;
  const Value inf = std::numeric_limits<Value>::max();
  char line[512];
  while (std::fgets(line, sizeof line, in)) {
    if (line[0] == 'p') {
      long long n = 0, m = 0;
      if (std::sscanf(line, "p min %lld %lld", &n, &m) != 2) return 2;
      g.reserveNode(static_cast<int>(n));
      g.reserveArc(static_cast<int>(m));
      nodes.reserve(static_cast<size_t>(n));
      for (long long v = 0; v < n; ++v) {
        nodes.push_back(g.addNode());
        supply[nodes.back()] = 0;
      }
    } else if (line[0] == 'n') {
      long long v = 0;
      double s = 0;
      if (std::sscanf(line, "n %lld %lf", &v, &s) != 2) return 2;
      supply[nodes[static_cast<size_t>(v - 1)]] = static_cast<Value>(s);
    } else if (line[0] == 'a') {
      long long t = 0, h = 0;
      double lo = 0, up = 0, c = 0;
      if (std::sscanf(line, "a %lld %lld %lf %lf %lf", &t, &h, &lo, &up, &c) != 5) return 2;
      const G::Arc a = g.addArc(nodes[static_cast<size_t>(t - 1)], nodes[static_cast<size_t>(h - 1)]);
      low[a] = static_cast<Value>(lo);
      cap[a] = up >= 1e18 ? inf : static_cast<Value>(up);
      cost[a] = static_cast<Value>(c);
    }
  }
  std::fclose(in);
  lemon::NetworkSimplex<G, Value, Value> ns(g);
  ns.lowerMap(low).upperMap(cap).costMap(cost).supplyMap(supply);
  const double t0 = cpuNow();
  const auto r = ns.run(lemon::NetworkSimplex<G, Value, Value>::BLOCK_SEARCH);
  const double secs = cpuNow() - t0;
  if (r == lemon::NetworkSimplex<G, Value, Value>::OPTIMAL)
    std::printf("objective %lld seconds %.6f\n", static_cast<long long>(ns.totalCost()), secs);
  else
    std::printf("status %s seconds %.6f\n", r == lemon::NetworkSimplex<G, Value, Value>::INFEASIBLE ? "infeasible" : "unbounded",
                secs);
  return 0;
}
