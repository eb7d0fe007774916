// Min-cost flow benchmark: our network simplex against our dual simplex on
// the same problem written as an LP, against CLP's dual simplex on that LP's
// MPS file and against LEMON's network simplex on a DIMACS file of the same
// instance (driver lemon_mcf, built when LEMON is installed), on generated
// instances of growing size, in one run.
//
// Families: "transp" (complete bipartite transportation, s x d arcs) and
// "mcf" (random sparse min-cost flow in the style of NETGEN: sources and
// sinks joined by a random chain skeleton that keeps it feasible, random
// arcs with capacities and costs; one long skeleton chain makes these hard
// for every network code) and "netgen" (NETGEN's structure, see netgen()).
// Times are CPU seconds of this process
// for our solvers (network solve alone; LP solve alone, the LP built from
// the same arrays), the time CLP reports for itself and the CPU time of
// LEMON's solve alone.
// Usage: bench_network [--maxarcs N] [--dualmax N] [--noclp] [--nolemon]
//                      [--netmax N] [--pricing P] [--family transp|mcf|netgen]
//                      [--seed K] (K shifts every instance's seed)
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "clp_peer.h"
#include "vanto/vanto.h"

namespace {

using vnt::bench::cpuNow;

struct Inst {
  std::string family;
  int n = 0;
  std::vector<double> supply;
  std::vector<int> tail, head;
  std::vector<double> lb, ub, cost;
  void arc(int t, int h, double u, double c) {
    tail.push_back(t), head.push_back(h), lb.push_back(0), ub.push_back(u), cost.push_back(c);
  }
  int arcs() const { return static_cast<int>(tail.size()); }
};

Inst transportation(int s, int d, unsigned seed) {
  std::mt19937 rng(seed);
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  Inst f;
  f.family = "transp";
  f.n = s + d;
  f.supply.assign(f.n, 0.0);
  long long total = 0;
  for (int i = 0; i < s; ++i) total += static_cast<long long>(f.supply[i] = uni(50, 150));
  for (long long k = 0; k < total; ++k) f.supply[s + uni(0, d - 1)] -= 1;
  f.tail.reserve(static_cast<size_t>(s) * d);
  for (int i = 0; i < s; ++i)
    for (int j = 0; j < d; ++j) f.arc(i, s + j, 1e20, uni(1, 1000));
  return f;
}

Inst mcf(int n, int m, unsigned seed) {
  std::mt19937 rng(seed);
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  Inst f;
  f.family = "mcf";
  f.n = n;
  f.supply.assign(n, 0.0);
  const int sources = std::max(1, n / 20), sinks = std::max(1, n / 20);
  const double total = 1000.0 * sources;
  for (int i = 0; i < sources; ++i) f.supply[i] = total / sources;
  for (int j = 0; j < sinks; ++j) f.supply[n - 1 - j] -= total / sinks;
  // Skeleton: a random chain through all nodes with ample capacity and high
  // cost, so the instance is feasible but expensive paths are avoided.
  std::vector<int> perm(n);
  for (int v = 0; v < n; ++v) perm[v] = v;
  std::shuffle(perm.begin() + 1, perm.end(), rng);
  for (int k = 0; k + 1 < n; ++k) f.arc(perm[k], perm[k + 1], total, uni(500, 1000));
  for (int i = 1; i < sources; ++i) f.arc(i, 0, total, uni(1, 10));
  for (int j = 1; j < sinks; ++j) f.arc(n - 1 - j, perm[n - 1], total, uni(1, 10));
  f.arc(perm[n - 1], 0, total, 1000);
  while (f.arcs() < m) {
    const int a = uni(0, n - 1), b = uni(0, n - 1);
    if (a == b) continue;
    f.arc(a, b, uni(1, 20) <= 6 ? 1e20 : uni(100, 1000), uni(1, 100));
  }
  return f;
}

// NETGEN's structure: sqrt(n) sources and sinks, the transshipment nodes
// shared out among the sources as one skeleton chain each, every chain's end
// joined to a few random sinks that take the source's supply (skeleton arcs
// wide enough for it, 30% of them at the highest cost), then random arcs up
// to m with costs 1..10000 and capacities 1..1000 (the NETGEN-8 family:
// n nodes, 8n arcs, total supply 1000 sqrt(n)).
Inst netgen(int n, int m, unsigned seed) {
  std::mt19937 rng(seed);
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  Inst f;
  f.family = "netgen";
  f.n = n;
  f.supply.assign(n, 0.0);
  const int s = std::max(1, static_cast<int>(std::lround(std::sqrt(static_cast<double>(n))))), t = s;
  const int trans = n - s - t;  // nodes 0..s-1 sources, s..s+trans-1 transshipment, the rest sinks
  std::vector<int> perm(std::max(0, trans));
  for (int k = 0; k < trans; ++k) perm[k] = s + k;
  std::shuffle(perm.begin(), perm.end(), rng);
  const long long total = 1000LL * s;
  std::vector<long long> share(s, total / s);
  for (long long k = 0; k < total % s; ++k) ++share[k];
  auto skeleton = [&](int from, int to, double flow) {
    f.arc(from, to, std::max<double>(flow, uni(1, 1000)), uni(1, 10) <= 3 ? 10000 : uni(1, 10000));
  };
  size_t next = 0;
  for (int i = 0; i < s; ++i) {
    f.supply[i] = static_cast<double>(share[i]);
    const size_t len = perm.size() / s + (static_cast<size_t>(i) < perm.size() % s ? 1 : 0);
    int at = i;
    for (size_t k = 0; k < len; ++k, ++next) skeleton(at, perm[next], static_cast<double>(share[i])), at = perm[next];
    // The chain's end feeds one to three random sinks.
    const int ways = uni(1, 3);
    long long left = share[i];
    for (int w = 0; w < ways && left > 0; ++w) {
      const long long part = w + 1 == ways ? left : uni(0, static_cast<int>(left));
      const int sink = s + trans + uni(0, t - 1);
      skeleton(at, sink, static_cast<double>(part));
      f.supply[sink] -= static_cast<double>(part);
      left -= part;
    }
  }
  while (f.arcs() < m) {
    const int a = uni(0, n - 1), b = uni(0, n - 1);
    if (a == b) continue;
    f.arc(a, b, uni(1, 1000), uni(1, 10000));
  }
  return f;
}

struct Run {
  double seconds = -1, obj = 0;
  long long its = 0;
  int stat = 0;
};

Run runNetwork(VNTENVptr env, const Inst& f) {
  Run r;
  int st = 0;
  VNTNETptr net = VNTNETcreateprob(env, &st, "bench");
  VNTNETcopynet(env, net, 1, f.n, f.supply.data(), nullptr, f.arcs(), f.tail.data(), f.head.data(), f.lb.data(),
                f.ub.data(), f.cost.data(), nullptr);
  const double t0 = cpuNow();
  VNTNETprimopt(env, net);
  r.seconds = cpuNow() - t0;
  r.stat = VNTNETgetstat(env, net);
  VNTNETgetobjval(env, net, &r.obj);
  r.its = VNTNETgetitcnt(env, net);
  VNTNETfreeprob(env, &net);
  return r;
}

VNTLPptr buildLp(VNTENVptr env, const Inst& f) {
  int st = 0;
  VNTLPptr lp = VNTcreateprob(env, &st, "bench");
  const int m = f.arcs();
  std::vector<int> beg(m), cnt(m, 2), ind(2 * static_cast<size_t>(m));
  std::vector<double> val(2 * static_cast<size_t>(m));
  for (int a = 0; a < m; ++a) {
    beg[a] = 2 * a;
    ind[2 * a] = f.tail[a], val[2 * a] = 1.0;
    ind[2 * a + 1] = f.head[a], val[2 * a + 1] = -1.0;
  }
  std::vector<char> sense(f.n, 'E');
  VNTcopylp(env, lp, m, f.n, 1, f.cost.data(), f.supply.data(), sense.data(), beg.data(), cnt.data(), ind.data(),
            val.data(), f.lb.data(), f.ub.data(), nullptr);
  return lp;
}

Run runDual(VNTENVptr env, VNTLPptr lp) {
  Run r;
  VNTsetintparam(env, VNTPARAM_LPMethod, 2);
  const double t0 = cpuNow();
  VNTlpopt(env, lp);
  r.seconds = cpuNow() - t0;
  r.stat = VNTgetstat(env, lp);
  VNTgetobjval(env, lp, &r.obj);
  r.its = VNTgetitcnt(env, lp);
  return r;
}

// The instance as a fixed-format MPS file for the peer (names of at most
// eight characters: R<node>, C<arc>).
bool writeFixedMps(const Inst& f, const std::string& path) {
  FILE* o = std::fopen(path.c_str(), "w");
  if (!o) return false;
  std::fprintf(o, "NAME          BENCH\nROWS\n N  COST\n");
  for (int v = 0; v < f.n; ++v) std::fprintf(o, " E  R%d\n", v + 1);
  std::fprintf(o, "COLUMNS\n");
  for (int a = 0; a < f.arcs(); ++a) {
    std::fprintf(o, "    %-8s  %-8s  %12.6g   %-8s  %12.6g\n", ("C" + std::to_string(a + 1)).c_str(), "COST",
                 f.cost[a], ("R" + std::to_string(f.tail[a] + 1)).c_str(), 1.0);
    std::fprintf(o, "    %-8s  %-8s  %12.6g\n", ("C" + std::to_string(a + 1)).c_str(),
                 ("R" + std::to_string(f.head[a] + 1)).c_str(), -1.0);
  }
  std::fprintf(o, "RHS\n");
  for (int v = 0; v < f.n; ++v)
    if (f.supply[v] != 0) std::fprintf(o, "    RHS       %-8s  %12.6g\n", ("R" + std::to_string(v + 1)).c_str(), f.supply[v]);
  std::fprintf(o, "BOUNDS\n");
  for (int a = 0; a < f.arcs(); ++a)
    if (f.ub[a] < 1e20) std::fprintf(o, " UP BND       %-8s  %12.6g\n", ("C" + std::to_string(a + 1)).c_str(), f.ub[a]);
  std::fprintf(o, "ENDATA\n");
  return std::fclose(o) == 0;
}

Run runClp(const std::string& file) {
  Run r;
  const vnt::bench::ClpResult c = vnt::bench::runClp(file);
  if (!c.ok) {
    std::fprintf(stderr, "clp gave no objective:\n%s\n", c.output.substr(0, 600).c_str());
    return r;
  }
  r.obj = c.objective;
  r.its = c.iterations;
  r.seconds = c.seconds;
  r.stat = c.optimal ? 1 : 0;
  return r;
}

// The instance as a DIMACS minimum-cost-flow file for the LEMON driver.
bool writeDimacs(const Inst& f, const std::string& path) {
  FILE* o = std::fopen(path.c_str(), "w");
  if (!o) return false;
  std::fprintf(o, "p min %d %d\n", f.n, f.arcs());
  for (int v = 0; v < f.n; ++v)
    if (f.supply[v] != 0) std::fprintf(o, "n %d %.17g\n", v + 1, f.supply[v]);
  for (int a = 0; a < f.arcs(); ++a)
    std::fprintf(o, "a %d %d %.17g %.17g %.17g\n", f.tail[a] + 1, f.head[a] + 1, f.lb[a], f.ub[a], f.cost[a]);
  return std::fclose(o) == 0;
}

Run runLemon(const std::string& driver, const std::string& file) {
  Run r;
  FILE* p = popen((driver + " " + file + " 2>&1").c_str(), "r");
  if (!p) return r;
  char line[512] = "";
  std::string all;
  while (fgets(line, sizeof line, p)) all += line;
  pclose(p);
  double obj = 0, t = -1;
  if (std::sscanf(all.c_str(), "objective %lf seconds %lf", &obj, &t) == 2) {
    r.obj = obj, r.seconds = t, r.stat = 1;
  } else {
    std::fprintf(stderr, "lemon driver: %s\n", all.substr(0, 300).c_str());
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  long long maxArcs = 1000000, dualMax = 100000, netMax = 1LL << 40;
  bool clp = std::system("command -v clp > /dev/null 2>&1") == 0;
  int pricing = 0;
  std::string only;
  unsigned seed = 0;  // added to every instance's seed
#ifdef VANTO_LEMON_DRIVER
  std::string lemon = VANTO_LEMON_DRIVER;
#else
  std::string lemon;
#endif
  for (int a = 1; a < argc; ++a) {
    if (!std::strcmp(argv[a], "--maxarcs") && a + 1 < argc) maxArcs = std::atoll(argv[++a]);
    else if (!std::strcmp(argv[a], "--dualmax") && a + 1 < argc) dualMax = std::atoll(argv[++a]);
    else if (!std::strcmp(argv[a], "--noclp")) clp = false;
    else if (!std::strcmp(argv[a], "--pricing") && a + 1 < argc) pricing = std::atoi(argv[++a]);
    else if (!std::strcmp(argv[a], "--nolemon")) lemon.clear();
    else if (!std::strcmp(argv[a], "--netmax") && a + 1 < argc) netMax = std::atoll(argv[++a]);
    else if (!std::strcmp(argv[a], "--family") && a + 1 < argc) only = argv[++a];
    else if (!std::strcmp(argv[a], "--seed") && a + 1 < argc) seed = static_cast<unsigned>(std::atoi(argv[++a]));
  }
  if (lemon.empty()) std::printf("LEMON driver not built or disabled: no LEMON column\n");
  int st = 0;
  VNTENVptr env = VNTopenVANTO(&st);
  VNTsetintparam(env, VNTPARAM_Network_Display, 0);
  VNTsetintparam(env, VNTPARAM_Network_Pricing, pricing);
  VNTsetintparam(env, VNTPARAM_Simplex_Display, 0);
  VNTsetintparam(env, VNTPARAM_Preprocessing_Presolve, 0);
  const std::string mps = "/tmp/vnt_bench_net_" + std::to_string(getpid()) + ".mps";
  const std::string dimacs = "/tmp/vnt_bench_net_" + std::to_string(getpid()) + ".min";

  std::printf("%-7s %8s %8s | %9s %8s | %9s %8s %8s | %9s %7s | %9s %9s | %s\n", "family", "nodes", "arcs", "net s",
              "net its", "dual s", "dual its", "dual/net", "clp s", "clp/net", "lemon s", "net/lemon",
              "objective check");
  std::vector<Inst> set;
  for (long long m : {1000LL, 10000LL, 100000LL, 1000000LL}) {
    if (m > maxArcs) break;
    const int side = static_cast<int>(std::lround(std::sqrt(static_cast<double>(m))));
    if (only.empty() || only == "transp") set.push_back(transportation(side, side, static_cast<unsigned>(m) + seed));
    if (only.empty() || only == "mcf")
      set.push_back(mcf(static_cast<int>(m / 8), static_cast<int>(m), static_cast<unsigned>(m + 1) + seed));
    if (only.empty() || only == "netgen")
      set.push_back(netgen(static_cast<int>(m / 8), static_cast<int>(m), static_cast<unsigned>(m + 2) + seed));
  }
  double prevNet[3] = {0, 0, 0}, prevLemon[3] = {0, 0, 0}, prevDual[3] = {0, 0, 0};
  for (size_t k = 0; k < set.size(); ++k) {
    const Inst& f = set[k];
    const Run net = f.arcs() <= netMax ? runNetwork(env, f) : Run{};
    Run dual, peer, lem;
    if (!lemon.empty() && writeDimacs(f, dimacs)) {
      lem = runLemon(lemon, dimacs);
      std::remove(dimacs.c_str());
    }
    std::string check = net.seconds < 0 || net.stat == 1 ? "" : "network status " + std::to_string(net.stat);
    if (f.arcs() <= dualMax || clp) {
      VNTLPptr lp = buildLp(env, f);
      if (clp && writeFixedMps(f, mps)) {
        peer = runClp(mps);
        std::remove(mps.c_str());
      }
      if (f.arcs() <= dualMax) dual = runDual(env, lp);
      VNTfreeprob(env, &lp);
    }
    // Objectives are checked against the network's, or LEMON's when the
    // network simplex was not run on this size.
    const Run& ref = net.seconds >= 0 ? net : lem;
    auto agree = [&](const Run& r, const char* who) {
      if (r.seconds < 0 || &r == &ref) return;
      if (r.stat != 1 || std::fabs(r.obj - ref.obj) > 1e-6 * (1 + std::fabs(ref.obj)))
        check += std::string(check.empty() ? "" : ", ") + who + " differs";
    };
    agree(dual, "dual");
    agree(peer, "clp");
    agree(lem, "lemon");
    if (check.empty()) check = "agree";
    char ds[32] = "-", di[32] = "-", dr[32] = "-", cs[32] = "-", cr[32] = "-", ls[32] = "-", lr[32] = "-";
    const bool ran = net.seconds >= 0;
    if (lem.seconds >= 0) {
      std::snprintf(ls, sizeof ls, "%.3f", lem.seconds);
      if (ran) std::snprintf(lr, sizeof lr, "%.2f", net.seconds / std::max(lem.seconds, 1e-4));
    }
    if (dual.seconds >= 0) {
      std::snprintf(ds, sizeof ds, "%.3f", dual.seconds);
      std::snprintf(di, sizeof di, "%lld", dual.its);
      if (ran) std::snprintf(dr, sizeof dr, "%.1f", dual.seconds / std::max(net.seconds, 1e-4));
    }
    if (peer.seconds >= 0) {
      std::snprintf(cs, sizeof cs, "%.3f", peer.seconds);
      if (ran) std::snprintf(cr, sizeof cr, "%.1f", peer.seconds / std::max(net.seconds, 1e-4));
    }
    char ns[32] = "-", ni[32] = "-";
    if (ran) std::snprintf(ns, sizeof ns, "%.3f", net.seconds), std::snprintf(ni, sizeof ni, "%lld", net.its);
    std::printf("%-7s %8d %8d | %9s %8s | %9s %8s %8s | %9s %7s | %9s %9s | %s\n", f.family.c_str(), f.n,
                f.arcs(), ns, ni, ds, di, dr, cs, cr, ls, lr, check.c_str());
    const int fam = f.family == "transp" ? 0 : f.family == "mcf" ? 1 : 2;
    if (prevNet[fam] > 0 || prevLemon[fam] > 0) {
      std::printf("        time growth for 10x the arcs:");
      if (ran && prevNet[fam] > 0) std::printf(" network %.1fx", net.seconds / std::max(prevNet[fam], 1e-4));
      if (lem.seconds >= 0 && prevLemon[fam] > 0)
        std::printf(", lemon %.1fx", lem.seconds / std::max(prevLemon[fam], 1e-4));
      if (dual.seconds >= 0 && prevDual[fam] > 0)
        std::printf(", dual %.1fx", dual.seconds / std::max(prevDual[fam], 1e-4));
      std::printf("\n");
    }
    prevNet[fam] = net.seconds;
    prevLemon[fam] = lem.seconds;
    prevDual[fam] = dual.seconds;
    std::fflush(stdout);
  }
  VNTcloseVANTO(&env);
  return 0;
}
