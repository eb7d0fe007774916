// Solving a network problem: mapping arbitrary arc bounds onto the engine's
// nonnegative flows, running the network simplex with the environment's
// parameters, its iteration log and summary, and mapping the result back.
#include <algorithm>
#include <cmath>
#include <utility>

#include "env/limits.h"
#include "network/netsimplex.h"
#include "network/network.h"
#include "params/params.h"

namespace vnt::network {

namespace {

enum : int {
  kParamNetIterations = 5001,
  kParamNetOptimality = 5002,
  kParamNetFeasibility = 5003,
  kParamNetPricing = 5004,
  kParamNetDisplay = 5005,
};

// Log intervals (iterations between log lines) by display level.
constexpr long long kLogIntervalDetailed = 1000;
constexpr long long kLogIntervalBrief = 10000;
// Log lines between two elapsed-time lines.
constexpr int kLogLinesPerElapsed = 10;

inline bool isInf(double v) { return std::fabs(v) >= kNetInf; }

// How an arc of the problem sits in the engine.
enum class ArcMap : signed char {
  Shifted,   // x = lb + y,  y in [0, ub - lb]
  Reversed,  // x = ub - y,  y in [0, inf)  (lower bound -inf)
  Split,     // x = y1 - y2, both in [0, inf)  (free arc)
};

}  // namespace

int solveNet(Env& env, NetProblem& net, bool summary, bool ownLimits) {
  const int n = net.nodes(), m = net.arcs();
  const int sense = net.objsen;
  const int display = params::getInt(env, kParamNetDisplay);
  const double t0 = envTime(env), k0 = detTicks(env);
  net.changed();
  NetSolution& sol = net.sol;

  std::vector<int> tail, head, second(m, -1);
  std::vector<double> cap, cost, supply(net.supply.begin(), net.supply.end());
  std::vector<ArcMap> map(m, ArcMap::Shifted);
  // Room for the engine's artificial arcs too: it takes these arrays over.
  int splits = 0;
  for (int a = 0; a < m; ++a) splits += isInf(net.lb[a]) && net.lb[a] < 0 && isInf(net.ub[a]) && net.ub[a] > 0;
  const size_t room = static_cast<size_t>(m) + static_cast<size_t>(splits) + static_cast<size_t>(n);
  tail.reserve(room);
  head.reserve(room);
  cap.reserve(room);
  cost.reserve(room);
  bool boundsInconsistent = false;
  for (int a = 0; a < m; ++a) {
    const int t = net.tail[a], h = net.head[a];
    const double lo = net.lb[a], up = net.ub[a], c = sense * net.obj[a];
    if (!isInf(lo) || lo > 0) {
      if (!isInf(up) && up < lo) boundsInconsistent = true;
      map[a] = ArcMap::Shifted;
      tail.push_back(t), head.push_back(h);
      cap.push_back(isInf(up) ? kNetInf : std::max(0.0, up - lo));
      cost.push_back(c);
      supply[t] -= lo;
      supply[h] += lo;
    } else if (!isInf(up) || up < 0) {
      map[a] = ArcMap::Reversed;
      tail.push_back(h), head.push_back(t);
      cap.push_back(kNetInf);
      cost.push_back(-c);
      supply[t] -= up;
      supply[h] += up;
    } else {
      map[a] = ArcMap::Split;
      tail.push_back(t), head.push_back(h);
      cap.push_back(kNetInf);
      cost.push_back(c);
    }
  }
  for (int a = 0; a < m; ++a) {
    if (map[a] != ArcMap::Split) continue;
    second[a] = static_cast<int>(tail.size());
    tail.push_back(net.head[a]);
    head.push_back(net.tail[a]);
    cap.push_back(kNetInf);
    cost.push_back(-sense * net.obj[a]);
  }
  const int mi = static_cast<int>(tail.size());

  NetSimplex ns;
  NetSimplexOptions opt;
  opt.optimalityTol = params::getDbl(env, kParamNetOptimality);
  opt.feasibilityTol = params::getDbl(env, kParamNetFeasibility);
  opt.iterationLimit = params::getLong(env, kParamNetIterations);
  switch (params::getInt(env, kParamNetPricing)) {
    case 1: opt.pricing = NetPricing::Dantzig; break;
    case 2: opt.pricing = NetPricing::Candidates; break;
    default: opt.pricing = NetPricing::Block; break;  // 0 automatic, 3 block search
  }
  int logLines = 0;
  if (display > 0) {
    opt.logInterval = display >= 2 ? kLogIntervalDetailed : kLogIntervalBrief;
    opt.log = [&](int phase, long long it, double infeas, double obj) {
      if (phase == 1)
        print(env, Chan::Log, "Iteration:%6lld   Infeasibility     = %20.6f (%g)\n", it, infeas, sense * obj);
      else
        print(env, Chan::Log, "Iteration:%6lld   Objective         = %20.6f\n", it, sense * obj);
      if (++logLines % kLogLinesPerElapsed == 0)
        print(env, Chan::Log, "Elapsed time = %.2f sec. (%.2f ticks, %lld iterations)\n", envTime(env) - t0,
              detTicks(env) - k0, it);
    };
  }
  uint64_t charged = 0;
  opt.poll = [&]() {
    if (env.counter) env.counter->add(ns.work() - charged);
    charged = ns.work();
    return checkLimits(env);
  };

  int stat = 0;
  if (boundsInconsistent) {
    stat = kNetInfeasible;
    sol.x.assign(m, 0.0);
    for (int a = 0; a < m; ++a) sol.x[a] = isInf(net.lb[a]) ? (isInf(net.ub[a]) ? 0.0 : net.ub[a]) : net.lb[a];
    sol.pi.assign(n, 0.0);
    sol.astat.assign(m, kAtLower);
    sol.nstat.assign(n, kBasic);
  } else {
    ns.reset(n, std::move(tail), std::move(head), std::move(cap), std::move(cost), std::move(supply));
    for (int a = 0; a < m; ++a)
      if (map[a] == ArcMap::Split) ns.setTwin(a, second[a]);
    // Start from the kept basis when it fits this network.
    const bool haveBasis = static_cast<int>(net.startArc.size()) == m && static_cast<int>(net.startNode.size()) == n;
    std::vector<signed char> upper;
    std::vector<char> basicArc, basicNode;
    if (haveBasis) {
      upper.assign(mi, 0);
      basicArc.assign(mi, 0);
      basicNode.assign(n, 0);
      for (int a = 0; a < m; ++a) {
        const int s = net.startArc[a];
        if (s == kBasic) basicArc[a] = 1;
        else if (s == kAtUpper && map[a] == ArcMap::Shifted) upper[a] = 1;
      }
      for (int v = 0; v < n; ++v) basicNode[v] = net.startNode[v] == kBasic ? 1 : 0;
      ns.setStart(upper, &basicArc, &basicNode);
    }
    if (ownLimits)
      if (int st = pushLimitFrameFromParams(env)) return st;
    stat = ns.solve(opt);
    if (ownLimits) popLimitFrame(env);
    if (env.counter) env.counter->add(ns.work() - charged);

    sol.x.assign(m, 0.0);
    sol.astat.assign(m, kAtLower);
    for (int a = 0; a < m; ++a) {
      switch (map[a]) {
        case ArcMap::Shifted:
          sol.x[a] = net.lb[a] + ns.flow(a);
          sol.astat[a] = ns.arcStatus(a);
          break;
        case ArcMap::Reversed:
          sol.x[a] = net.ub[a] - ns.flow(a);
          sol.astat[a] = ns.arcStatus(a) == 1 ? kBasic : kAtUpper;
          break;
        case ArcMap::Split:
          sol.x[a] = ns.flow(a) - ns.flow(second[a]);
          sol.astat[a] = ns.arcStatus(a) == 1 || ns.arcStatus(second[a]) == 1 ? kBasic : kFreeNonbasic;
          break;
      }
    }
    const double shift = ns.potentialShift();
    sol.pi.assign(n, 0.0);
    sol.nstat.assign(n, kAtLower);
    for (int v = 0; v < n; ++v) {
      sol.pi[v] = sense * (ns.potential(v) - shift);
      sol.nstat[v] = ns.nodeBasic(v) ? kBasic : kAtLower;
    }
    sol.itcnt = ns.iterations();
    sol.phase1cnt = ns.phase1Iterations();
  }
  // Reduced costs, node imbalances and the objective from the problem data.
  sol.dj.assign(m, 0.0);
  sol.slack.assign(net.supply.begin(), net.supply.end());
  double obj = 0.0;
  for (int a = 0; a < m; ++a) {
    const int t = net.tail[a], h = net.head[a];
    sol.dj[a] = net.obj[a] - sol.pi[t] + sol.pi[h];
    sol.slack[t] -= sol.x[a];
    sol.slack[h] += sol.x[a];
    obj += net.obj[a] * sol.x[a];
  }
  double infeas = 0.0;
  for (int v = 0; v < n; ++v) infeas += std::fabs(sol.slack[v]);
  sol.stat = stat;
  sol.objval = obj;
  sol.primalFeasible = stat == kNetOptimal || (stat != kNetInfeasible && infeas <= opt.feasibilityTol * (1 + n));
  sol.dualFeasible = stat == kNetOptimal;
  net.startArc = sol.astat;
  net.startNode = sol.nstat;

  if (summary && display > 0) {
    const char* head_ = "Network - Aborted:  ";
    switch (stat) {
      case 1: head_ = "Network - Optimal:  "; break;
      case 2: head_ = "Network - Unbounded:  "; break;
      case 3: head_ = "Network - Infeasible:  "; break;
      case 4: head_ = "Network - Unbounded or Infeasible:  "; break;
      case 10: head_ = "Network - Iteration limit exceeded:  "; break;
      case 11: head_ = "Network - Time limit exceeded:  "; break;
      case 25: head_ = "Network - Deterministic time limit exceeded:  "; break;
      default: break;
    }
    print(env, Chan::Results, "%s", head_);
    if (infeas > opt.feasibilityTol) print(env, Chan::Results, "Infeasibility = %19.10e\n", infeas);
    else print(env, Chan::Results, "Objective = %19.10e\n", obj);
    print(env, Chan::Results, "Network time = %.2f sec. (%.2f ticks)  Iterations = %lld (%lld)\n", envTime(env) - t0,
          detTicks(env) - k0, sol.itcnt, sol.phase1cnt);
  }
  return 0;
}

}  // namespace vnt::network
