// Networks inside LPs: extracting the rows that form a network (with row
// negation and column scaling as the network-finding setting allows),
// copying a network into an LP, and the hybrid optimizer that solves the
// extracted network first and lets the LP simplex finish from its basis.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

#include "api/chk_decls.h"
#include "env/limits.h"
#include "model/opsupport.h"
#include "model/problem.h"
#include "network/netsimplex.h"
#include "network/network.h"
#include "params/params.h"
#include "simplex/lpdriver.h"

namespace vnt::network {

namespace {

enum : int {
  kParamNetFind = 1022,
  kParamNetPricing = 5004,
  kParamNetDisplay = 5005,
};
// Network-finding levels.
constexpr int kFindAsIs = 1;     // rows as given, entries +-1
constexpr int kFindReflect = 2;  // rows may be negated
// Level 3 also scales columns whose network entries share one magnitude.

// Bounds at or beyond this magnitude stay infinite through column scaling.
constexpr double kScaledInfinite = 9e19;

struct Extraction {
  std::vector<int> rowNode;    // node of each LP row, -1 outside the network
  std::vector<int> rowSign;    // +-1 for rows in the network
  std::vector<int> colArc;     // arc of each LP column, -1 when it has no network entry
  std::vector<double> colScale;  // x' = scale * x
  std::vector<int> slackArc;   // slack arc of each network row, -1 for equality rows
  std::vector<int> slackSign;  // +1: a x + s = U ; -1: a x - s = L
  int outside = -1;            // node closing single-entry arcs and slacks
  long long slacks = 0;
};

// Greedy row selection: a row joins when every column keeps at most one +f
// and one -f entry among the chosen rows.
void selectRows(const model::ModelData& md, int level, Extraction& ex) {
  const int n = md.numCols(), m = static_cast<int>(md.sense.size());
  // Row-wise copy.
  std::vector<int64_t> rbeg(m + 1, 0);
  for (int j = 0; j < n; ++j)
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) ++rbeg[md.matind[k] + 1];
  for (int i = 0; i < m; ++i) rbeg[i + 1] += rbeg[i];
  std::vector<int> rcol(rbeg[m]);
  std::vector<double> rval(rbeg[m]);
  {
    std::vector<int64_t> fill(rbeg.begin(), rbeg.end() - 1);
    for (int j = 0; j < n; ++j)
      for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) {
        const int64_t p = fill[md.matind[k]]++;
        rcol[p] = j;
        rval[p] = md.matval[k];
      }
  }
  std::vector<signed char> plus(n, 0), minus(n, 0);
  std::vector<double> mag(n, 0.0);
  ex.rowNode.assign(m, -1);
  ex.rowSign.assign(m, 0);
  int nodes = 0;
  auto fits = [&](int i, int sign) {
    for (int64_t k = rbeg[i]; k < rbeg[i + 1]; ++k) {
      const int j = rcol[k];
      const double v = sign * rval[k];
      if (v == 0.0) continue;
      const double a = std::fabs(v);
      if (level < 3 && a != 1.0) return false;
      if (mag[j] != 0.0 && a != mag[j]) return false;
      if (v > 0 ? plus[j] : minus[j]) return false;
    }
    return true;
  };
  // Rows in breadth-first order over shared columns, each component from its
  // first row: a row is then tried next to rows already chosen, so the signs
  // of a network whose rows were negated are found consistently.
  std::vector<char> queued(m, 0);
  std::vector<int> queue;
  queue.reserve(m);
  for (int root = 0; root < m; ++root) {
    if (queued[root]) continue;
    queued[root] = 1;
    queue.clear();
    queue.push_back(root);
    for (size_t q = 0; q < queue.size(); ++q) {
      const int i = queue[q];
      int sign = 0;
      if (fits(i, 1)) sign = 1;
      else if (level >= kFindReflect && fits(i, -1)) sign = -1;
      if (sign == 0) continue;
      for (int64_t k = rbeg[i]; k < rbeg[i + 1]; ++k) {
        const int j = rcol[k];
        const double v = sign * rval[k];
        if (v == 0.0) continue;
        mag[j] = std::fabs(v);
        (v > 0 ? plus[j] : minus[j]) = 1;
        for (int64_t t = md.matbeg[j]; t < md.matbeg[j + 1]; ++t) {
          const int r = md.matind[t];
          if (!queued[r]) queued[r] = 1, queue.push_back(r);
        }
      }
      ex.rowSign[i] = sign;
    }
  }
  for (int i = 0; i < m; ++i)  // nodes numbered in row order
    if (ex.rowSign[i] != 0) ex.rowNode[i] = nodes++;
  ex.colScale.assign(n, 1.0);
  for (int j = 0; j < n; ++j)
    if (mag[j] != 0.0) ex.colScale[j] = mag[j];
}

double scaleBound(double b, double f) {
  if (b >= kScaledInfinite) return kNetInf;
  if (b <= -kScaledInfinite) return -kNetInf;
  return b * f;
}

// The network of the chosen rows: one arc per column with a network entry,
// one slack arc per inequality row, and an outside node for arcs with one
// end only.
void buildNetwork(const model::ModelData& md, Extraction& ex, NetProblem& net) {
  const int n = md.numCols(), m = static_cast<int>(md.sense.size());
  int nodes = 0;
  for (int i = 0; i < m; ++i) nodes = std::max(nodes, ex.rowNode[i] + 1);
  ex.outside = nodes;
  net.objsen = md.objsen;
  net.name = md.probname;
  net.supply.assign(nodes + 1, 0.0);
  net.nodeName.assign(nodes + 1, std::string());
  for (int i = 0; i < m; ++i)
    if (ex.rowNode[i] >= 0 && !md.rowname.empty()) net.nodeName[ex.rowNode[i]] = md.rowname[i];
  bool outsideUsed = false;
  auto addArc = [&](int t, int h, double lo, double up, double c, const std::string& name) {
    net.tail.push_back(t), net.head.push_back(h);
    net.lb.push_back(lo), net.ub.push_back(up), net.obj.push_back(c);
    net.arcName.push_back(name);
    if (t == ex.outside || h == ex.outside) outsideUsed = true;
    return net.arcs() - 1;
  };
  ex.colArc.assign(n, -1);
  for (int j = 0; j < n; ++j) {
    int tail = -1, head = -1;
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) {
      const int i = md.matind[k];
      if (ex.rowNode[i] < 0 || md.matval[k] == 0.0) continue;
      (ex.rowSign[i] * md.matval[k] > 0 ? tail : head) = ex.rowNode[i];
    }
    if (tail < 0 && head < 0) continue;
    if (tail < 0) tail = ex.outside;
    if (head < 0) head = ex.outside;
    const double f = ex.colScale[j];
    ex.colArc[j] = addArc(tail, head, scaleBound(md.lb[j], f), scaleBound(md.ub[j], f), md.obj[j] / f,
                          md.colname.empty() ? std::string() : md.colname[j]);
  }
  ex.slackArc.assign(m, -1);
  ex.slackSign.assign(m, 0);
  for (int i = 0; i < m; ++i) {
    const int v = ex.rowNode[i];
    if (v < 0) continue;
    double lo, up;
    simplex::rowActivityLimits(md, i, &lo, &up);
    const int r = ex.rowSign[i];
    const std::string nm = md.rowname.empty() ? std::string() : "slack_" + md.rowname[i];
    if (md.sense[i] == 'E') {
      net.supply[v] = r * md.rhs[i];
      continue;
    }
    ++ex.slacks;
    if (up < kNetInf) {  // a x + s = U, s in [0, U - L]
      net.supply[v] = r * up;
      ex.slackSign[i] = 1;
      const double cap = lo > -kNetInf ? up - lo : kNetInf;
      ex.slackArc[i] = r > 0 ? addArc(v, ex.outside, 0, cap, 0, nm) : addArc(ex.outside, v, 0, cap, 0, nm);
    } else {  // a x - s = L, s >= 0
      net.supply[v] = r * lo;
      ex.slackSign[i] = -1;
      ex.slackArc[i] = r > 0 ? addArc(ex.outside, v, 0, kNetInf, 0, nm) : addArc(v, ex.outside, 0, kNetInf, 0, nm);
    }
  }
  if (!outsideUsed) {
    net.supply.pop_back();
    net.nodeName.pop_back();
    ex.outside = -1;
  } else {
    double s = 0.0;
    for (int v = 0; v < nodes; ++v) s += net.supply[v];
    net.supply[ex.outside] = -s;
    net.nodeName[ex.outside] = "outside";
  }
  net.nodeNames = !md.rowname.empty();
  net.arcNames = !md.colname.empty();
}

int extract(Env& env, model::Problem& p, Extraction& ex, NetProblem& net, bool report) {
  const double t0 = envTime(env), k0 = detTicks(env);
  model::ModelData md;
  if (int st = model::exportData(p, md)) return st;
  selectRows(md, params::getInt(env, kParamNetFind), ex);
  buildNetwork(md, ex, net);
  if (report) {
    print(env, Chan::Results, "Extracted network with %lld nodes", static_cast<long long>(net.nodes()));
    print(env, Chan::Results, " and %lld arcs", static_cast<long long>(net.arcs()));
    if (ex.slacks > 0) print(env, Chan::Results, ", including slacks");
    print(env, Chan::Results, ".\n");
    print(env, Chan::Results, "%s%.2f sec. (%.2f ticks)\n", "Extraction time = ", envTime(env) - t0,
          detTicks(env) - k0);
  }
  return 0;
}

// The LP basis from the network's: arcs give the statuses of their columns,
// slack arcs and node artificials those of the rows; columns outside the
// network sit at a finite bound (lo / up), rows outside it are basic.  The
// outside node stands for no row: when its artificial is not in the tree,
// another node of its tree component hangs from the root, and that node's
// artificial (the outside row's stand-in) is dropped.  True when the basis
// comes out square.
bool mapBasis(const Extraction& ex, const NetProblem& net, const double* lo, const double* up, const char* sense,
              int n, int m, int* cstat, int* rstat) {
  const int nodes = net.nodes();
  const NetSolution& sol = net.sol;
  if (static_cast<int>(sol.astat.size()) != net.arcs() || static_cast<int>(sol.nstat.size()) != nodes) return false;
  int dropped = -1;
  if (ex.outside >= 0 && sol.nstat[ex.outside] != kBasic) {
    std::vector<int> comp(nodes);
    for (int v = 0; v < nodes; ++v) comp[v] = v;
    auto find = [&](int v) {
      while (comp[v] != v) v = comp[v] = comp[comp[v]];
      return v;
    };
    for (int a = 0; a < net.arcs(); ++a)
      if (sol.astat[a] == kBasic) comp[find(net.tail[a])] = find(net.head[a]);
    const int c = find(ex.outside);
    for (int v = 0; v < nodes && dropped < 0; ++v)
      if (v != ex.outside && sol.nstat[v] == kBasic && find(v) == c) dropped = v;
  }
  int basic = 0;
  for (int j = 0; j < n; ++j) {
    const int a = ex.colArc[j];
    if (a >= 0) cstat[j] = sol.astat[a];
    else cstat[j] = lo[j] > -kNetInf ? kAtLower : up[j] < kNetInf ? kAtUpper : kFreeNonbasic;
    basic += cstat[j] == kBasic;
  }
  const int rows = static_cast<int>(ex.rowNode.size());
  for (int i = 0; i < m; ++i) {
    const int v = i < rows ? ex.rowNode[i] : -1;
    if (v < 0) {
      rstat[i] = kBasic;
    } else {
      const bool art = sol.nstat[v] == kBasic && v != dropped;
      if (ex.slackArc[i] >= 0) {
        // A nonbasic slack at zero leaves the row active at the side it
        // measures from; at its upper bound the row sits at the other side.
        const int s = sol.astat[ex.slackArc[i]];
        rstat[i] = s == kBasic || art ? kBasic : (sense[i] == 'R' && s == kAtLower) ? kAtUpper : kAtLower;
      } else {
        rstat[i] = art ? kBasic : kAtLower;
      }
    }
    basic += rstat[i] == kBasic;
  }
  return basic == m;
}

}  // namespace

int hybridOptimize(Env& env, model::Problem& p, int lpMethod) {
  if (int st = model::flushCache(env, p)) return st;
  if (model::isMipType(p.probtype) || p.probtype != model::kLP) return simplex::optimizeLp(env, p, lpMethod);
  const bool display = params::getInt(env, kParamNetDisplay) > 0;
  Extraction ex;
  NetProblem net;
  if (int st = extract(env, p, ex, net, display)) return st;
  if (net.nodes() == 0) return simplex::optimizeLp(env, p, lpMethod);
  // Automatic pricing means block search for an extracted network.
  const int pricing = params::getInt(env, kParamNetPricing);
  if (pricing == 0) params::setIntParam(env, kParamNetPricing, 3);
  int st = solveNet(env, net, true);
  if (pricing == 0) params::setIntParam(env, kParamNetPricing, 0);
  if (st) return st;
  // The network basis as the LP's starting basis.
  const int n = p.data->numCols(), m = p.data->numRows();
  std::vector<int> cstat(n), rstat(m);
  mapBasis(ex, net, p.data->lb.data(), p.data->ub.data(), p.data->sense.data(), n, m, cstat.data(), rstat.data());
  if (int r = chk::copybase(env, p, cstat.data(), rstat.data())) return r;
  return simplex::optimizeLp(env, p, lpMethod);
}

int extractInto(Env& env, model::Problem& p, NetProblem& net, int* colmap, int* rowmap) {
  Extraction ex;
  NetProblem staged;
  if (int st = extract(env, p, ex, staged, params::getInt(env, kParamNetDisplay) > 0)) return st;
  if (colmap) std::copy(ex.colArc.begin(), ex.colArc.end(), colmap);
  if (rowmap) std::copy(ex.rowNode.begin(), ex.rowNode.end(), rowmap);
  assignNet(net, std::move(staged));
  return 0;
}

struct NodeNetwork {
  Extraction ex;
  NetProblem net;
  int n = 0, rows = 0;
  std::vector<char> sense;          // of the extracted rows
  std::vector<double> rowLo, rowUp;  // their activity limits at the extraction
};

namespace {
std::atomic<long long> gNodeNetworkSolves{0};

bool sameLimit(double a, double b) {
  if (a >= kNetInf || b >= kNetInf) return a >= kNetInf && b >= kNetInf;
  if (a <= -kNetInf || b <= -kNetInf) return a <= -kNetInf && b <= -kNetInf;
  return std::fabs(a - b) <= 1e-9 * (1.0 + std::fabs(a));
}
}  // namespace

NodeNetwork* createNodeNetwork(Env& env, const model::ModelData& lp, int rows) {
  auto nn = std::make_unique<NodeNetwork>();
  const int n = lp.numCols();
  rows = std::min(rows, static_cast<int>(lp.sense.size()));
  // The data of the first `rows` rows.
  model::ModelData md;
  md.objsen = lp.objsen;
  md.obj = lp.obj;
  md.lb = lp.lb;
  md.ub = lp.ub;
  md.rhs.assign(lp.rhs.begin(), lp.rhs.begin() + rows);
  md.sense.assign(lp.sense.begin(), lp.sense.begin() + rows);
  if (!lp.rngval.empty()) md.rngval.assign(lp.rngval.begin(), lp.rngval.begin() + rows);
  md.matbeg.assign(n + 1, 0);
  for (int j = 0; j < n; ++j) {
    for (int64_t k = lp.matbeg[j]; k < lp.matbeg[j + 1]; ++k)
      if (lp.matind[k] < rows) {
        md.matind.push_back(lp.matind[k]);
        md.matval.push_back(lp.matval[k]);
      }
    md.matbeg[j + 1] = static_cast<int64_t>(md.matind.size());
  }
  selectRows(md, params::getInt(env, kParamNetFind), nn->ex);
  buildNetwork(md, nn->ex, nn->net);
  if (nn->net.nodes() == 0 || nn->net.arcs() == 0) return nullptr;
  nn->n = n;
  nn->rows = rows;
  nn->sense = md.sense;
  nn->rowLo.resize(rows);
  nn->rowUp.resize(rows);
  for (int i = 0; i < rows; ++i) simplex::rowActivityLimits(md, i, &nn->rowLo[i], &nn->rowUp[i]);
  return nn.release();
}

void destroyNodeNetwork(NodeNetwork* nn) { delete nn; }

long long nodeNetworkSolves() { return gNodeNetworkSolves.load(); }

bool nodeNetworkStart(Env& env, NodeNetwork& nn, const double* lo, const double* up, int m, int* cstat,
                      int* rstat) {
  const int n = nn.n;
  if (m < nn.rows) return false;
  for (int i = 0; i < nn.rows; ++i)
    if (nn.ex.rowNode[i] >= 0 && (!sameLimit(lo[n + i], nn.rowLo[i]) || !sameLimit(up[n + i], nn.rowUp[i])))
      return false;
  NetProblem& net = nn.net;
  for (int j = 0; j < n; ++j) {
    const int a = nn.ex.colArc[j];
    if (a < 0) continue;
    const double f = nn.ex.colScale[j];
    net.lb[a] = scaleBound(lo[j], f);
    net.ub[a] = scaleBound(up[j], f);
  }
  ++gNodeNetworkSolves;
  if (solveNet(env, net, false, false) != 0) return false;
  std::vector<int> cs(n), rs(m);
  if (!mapBasis(nn.ex, net, lo, up, nn.sense.data(), n, m, cs.data(), rs.data())) return false;
  std::copy(cs.begin(), cs.end(), cstat);
  std::copy(rs.begin(), rs.end(), rstat);
  return true;
}

}  // namespace vnt::network

namespace vnt::chk {

int NETextract(Env& env, VNTNETptr h, model::Problem& lp, int* colmap, int* rowmap) {
  network::NetProblem* net;
  if (int st = network::checkNet(env, h, &net)) return st;
  return model::ops::guarded([&] { return network::extractInto(env, lp, *net, colmap, rowmap); });
}

int hybnetopt(Env& env, model::Problem& lp, int method) {
  int lpMethod;
  switch (method) {
    case 1: case 'p': case 'P': lpMethod = simplex::kMethodPrimal; break;
    case 2: case 'd': case 'D': lpMethod = simplex::kMethodDual; break;
    default: return 1003;
  }
  return model::ops::guarded([&] { return network::hybridOptimize(env, lp, lpMethod); });
}

// Rows are the nodes (equalities: outflow minus inflow equals the supply),
// columns the arcs (+1 at the tail, -1 at the head).
int copynettolp(Env& env, model::Problem& lp, VNTCNETptr h) {
  network::NetProblem* net;
  if (int st = network::checkNet(env, h, &net)) return st;
  return model::ops::guarded([&] {
    const int n = net->nodes(), m = net->arcs();
    model::ModelData md;
    md.probname = net->name;
    md.objsen = net->objsen;
    md.obj = net->obj;
    md.lb = net->lb;
    md.ub = net->ub;
    md.rhs = net->supply;
    md.sense.assign(n, 'E');
    md.matbeg.assign(m + 1, 0);
    md.matind.reserve(2 * static_cast<size_t>(m));
    md.matval.reserve(2 * static_cast<size_t>(m));
    for (int a = 0; a < m; ++a) {
      if (net->tail[a] != net->head[a]) {
        md.matind.push_back(net->tail[a]);
        md.matval.push_back(1.0);
        md.matind.push_back(net->head[a]);
        md.matval.push_back(-1.0);
      }
      md.matbeg[a + 1] = static_cast<int64_t>(md.matind.size());
    }
    if (net->nodeNames || net->arcNames) {
      network::ensureNodeNames(env, *net);
      network::ensureArcNames(env, *net);
      md.rowname = net->nodeName;
      md.colname = net->arcName;
    }
    return model::replaceData(env, lp, std::move(md));
  });
}

}  // namespace vnt::chk
