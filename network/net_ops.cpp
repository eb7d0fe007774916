// The network problem object and its operations (checked entries).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "api/chk_decls.h"
#include "model/opsupport.h"
#include "network/network.h"

namespace vnt::network {

namespace {

void releaseNet(Env& env, void* obj) {
  auto* net = static_cast<NetProblem*>(obj);
  net->magic = 0;
  net->self = nullptr;
  envDelete(env, net);
}

}  // namespace

int createNet(Env& env, const std::string& name, NetProblem** out) {
  *out = nullptr;
  NetProblem* net = nullptr;
  try {
    net = envNew<NetProblem>(env);
  } catch (...) {
    net = nullptr;
  }
  if (!net) return 1001;
  net->env = &env;
  net->self = net;
  net->name = name;
  if (int st = registerObject(env, net, ObjKind::Network, releaseNet)) {
    envDelete(env, net);
    return st;
  }
  *out = net;
  return 0;
}

void destroyNet(Env& env, NetProblem* net) {
  unregisterObject(env, net);
  releaseNet(env, net);
}

int checkNet(const Env& env, const void* handle, NetProblem** out) {
  *out = nullptr;
  if (!handle) return 1009;
  auto* net = static_cast<NetProblem*>(const_cast<void*>(handle));
  if (net->magic != kNetMagic || net->self != net) return 1009;
  const Env* root = &env;
  while (root->parent) root = root->parent;
  const Env* owner = net->env;
  while (owner && owner->parent) owner = owner->parent;
  if (owner != root) return 1009;
  *out = net;
  return 0;
}

void assignNet(NetProblem& net, NetProblem&& staged) {
  net.name.swap(staged.name);
  net.objsen = staged.objsen;
  net.supply.swap(staged.supply);
  net.nodeName.swap(staged.nodeName);
  net.tail.swap(staged.tail);
  net.head.swap(staged.head);
  net.lb.swap(staged.lb);
  net.ub.swap(staged.ub);
  net.obj.swap(staged.obj);
  net.arcName.swap(staged.arcName);
  net.nodeNames = staged.nodeNames;
  net.arcNames = staged.arcNames;
  net.startArc.clear();
  net.startNode.clear();
  net.nodeIndexValid = net.arcIndexValid = false;
  net.changed();
}

namespace {
void fillNames(std::vector<std::string>& names, char prefix) {
  for (size_t k = 0; k < names.size(); ++k)
    if (names[k].empty()) names[k] = prefix + std::to_string(k + 1);
}
bool anyMissing(const std::vector<std::string>& names) {
  for (const auto& s : names)
    if (s.empty()) return true;
  return false;
}
}  // namespace

void ensureNodeNames(Env& env, NetProblem& net) {
  if (!anyMissing(net.nodeName)) return;
  print(env, Chan::Warning, "Default node names n1, n2 ... being created.\n");
  fillNames(net.nodeName, 'n');
  net.nodeNames = true;
  net.nodeIndexValid = false;
}

void ensureArcNames(Env& env, NetProblem& net) {
  if (!anyMissing(net.arcName)) return;
  print(env, Chan::Warning, "Default arc  names a1, a2 ... being created.\n");
  fillNames(net.arcName, 'a');
  net.arcNames = true;
  net.arcIndexValid = false;
}

}  // namespace vnt::network

namespace vnt::chk {

using namespace vnt::network;
using vnt::model::ops::checkRange;
using vnt::model::ops::guarded;
using vnt::model::ops::nameIn;
using vnt::model::ops::nameOut;

namespace {

inline constexpr double kInf = 1e20;

double clampBound(double v) { return v >= kInf ? kInf : v <= -kInf ? -kInf : v; }

int nodeIndexError(Env& env, int v) { return reportError(env, 1230, v); }
int arcIndexError(Env& env, long long a) { return reportError(env, 1231, a); }

int checkNodes(Env& env, const NetProblem& net, const int* v, long long cnt) {
  for (long long k = 0; k < cnt; ++k)
    if (v[k] < 0 || v[k] >= net.nodes()) return nodeIndexError(env, v[k]);
  return 0;
}
int checkArcs(Env& env, const NetProblem& net, const int* a, long long cnt) {
  for (long long k = 0; k < cnt; ++k)
    if (a[k] < 0 || a[k] >= net.arcs()) return arcIndexError(env, a[k]);
  return 0;
}
int checkValues(const double* v, long long cnt) {
  if (!v) return 0;
  for (long long k = 0; k < cnt; ++k)
    if (std::isnan(v[k])) return 1225;
  return 0;
}
int checkCoefs(Env& env, const double* v, long long cnt) {
  if (int st = checkValues(v, cnt)) return st;
  if (!v || !model::ops::dataCheck(env)) return 0;
  for (long long k = 0; k < cnt; ++k)
    if (std::fabs(v[k]) >= kInf) return model::ops::reportInfinite(env, v[k]);
  return 0;
}

int net_of(Env& env, const void* h, NetProblem** out) { return checkNet(env, h, out); }

// Appends nodes; names converted first so that a failure changes nothing.
int appendNodes(Env& env, NetProblem& net, int cnt, const double* supply, char** names) {
  if (cnt < 0) return 1003;
  if (int st = checkCoefs(env, supply, cnt)) return st;
  std::vector<std::string> conv;
  if (names) {
    if (int st = model::ops::namesIn(env, names, cnt, conv)) return st;
  }
  return guarded([&] {
    const int n0 = net.nodes();
    net.supply.reserve(n0 + cnt);
    for (int k = 0; k < cnt; ++k) net.supply.push_back(supply ? supply[k] : 0.0);
    net.nodeName.resize(n0 + cnt);
    if (names) {
      for (int k = 0; k < cnt; ++k) net.nodeName[n0 + k] = conv[k];
      net.nodeNames = true;
    }
    if (!net.startNode.empty() && static_cast<int>(net.startNode.size()) == n0)
      net.startNode.resize(n0 + cnt, kBasic);
    net.nodeIndexValid = false;
    net.changed();
    return 0;
  });
}

int appendArcs(Env& env, NetProblem& net, int cnt, const int* from, const int* to, const double* low,
               const double* up, const double* obj, char** names) {
  if (cnt < 0) return 1003;
  if (cnt > 0 && (!from || !to)) return 1004;
  if (int st = checkNodes(env, net, from, cnt)) return st;
  if (int st = checkNodes(env, net, to, cnt)) return st;
  if (int st = checkValues(low, cnt)) return st;
  if (int st = checkValues(up, cnt)) return st;
  if (int st = checkCoefs(env, obj, cnt)) return st;
  std::vector<std::string> conv;
  if (names) {
    if (int st = model::ops::namesIn(env, names, cnt, conv)) return st;
  }
  return guarded([&] {
    const int m0 = net.arcs();
    for (int k = 0; k < cnt; ++k) {
      net.tail.push_back(from[k]);
      net.head.push_back(to[k]);
      net.lb.push_back(low ? clampBound(low[k]) : 0.0);
      net.ub.push_back(up ? clampBound(up[k]) : kInf);
      net.obj.push_back(obj ? obj[k] : 0.0);
    }
    net.arcName.resize(m0 + cnt);
    if (names) {
      for (int k = 0; k < cnt; ++k) net.arcName[m0 + k] = conv[k];
      net.arcNames = true;
    }
    if (!net.startArc.empty() && static_cast<int>(net.startArc.size()) == m0)
      net.startArc.resize(m0 + cnt, kAtLower);
    net.arcIndexValid = false;
    net.changed();
    return 0;
  });
}

// Removes the arcs with del[a] != 0; del[a] becomes the new index or -1.
void removeArcs(NetProblem& net, std::vector<int>& del) {
  const int m = net.arcs();
  const bool keepBasis = static_cast<int>(net.startArc.size()) == m;
  int w = 0;
  for (int a = 0; a < m; ++a) {
    if (del[a]) {
      del[a] = -1;
      continue;
    }
    net.tail[w] = net.tail[a];
    net.head[w] = net.head[a];
    net.lb[w] = net.lb[a];
    net.ub[w] = net.ub[a];
    net.obj[w] = net.obj[a];
    net.arcName[w] = std::move(net.arcName[a]);
    if (keepBasis) net.startArc[w] = net.startArc[a];
    del[a] = w++;
  }
  net.tail.resize(w);
  net.head.resize(w);
  net.lb.resize(w);
  net.ub.resize(w);
  net.obj.resize(w);
  net.arcName.resize(w);
  if (keepBasis) net.startArc.resize(w);
  else net.startArc.clear();
  net.arcIndexValid = false;
  net.changed();
}

// Removes the nodes with del[v] != 0 and every arc that touches one.
void removeNodes(NetProblem& net, std::vector<int>& del, std::vector<int>& delArcs) {
  const int n = net.nodes();
  const bool keepBasis = static_cast<int>(net.startNode.size()) == n;
  for (int a = 0; a < net.arcs(); ++a)
    if (del[net.tail[a]] || del[net.head[a]]) delArcs[a] = 1;
  removeArcs(net, delArcs);
  int w = 0;
  for (int v = 0; v < n; ++v) {
    if (del[v]) {
      del[v] = -1;
      continue;
    }
    net.supply[w] = net.supply[v];
    net.nodeName[w] = std::move(net.nodeName[v]);
    if (keepBasis) net.startNode[w] = net.startNode[v];
    del[v] = w++;
  }
  net.supply.resize(w);
  net.nodeName.resize(w);
  if (keepBasis) net.startNode.resize(w);
  else net.startNode.clear();
  for (int a = 0; a < net.arcs(); ++a) {
    net.tail[a] = del[net.tail[a]];
    net.head[a] = del[net.head[a]];
  }
  net.nodeIndexValid = false;
  net.changed();
}

template <class Get>
int rangeQuery(Env& env, const void* h, const char* opname, double* out, int begin, int end, bool nodes,
               bool needSolution, Get get) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (needSolution && net->sol.stat == 0) return 1217;
  if (end < begin) return 0;
  if (int st = checkRange(env, opname, begin, end, nodes ? net->nodes() : net->arcs())) return st;
  if (!out) return 1004;
  for (int k = begin; k <= end; ++k) out[k - begin] = get(*net, k);
  return 0;
}

int nameQuery(Env& env, const void* h, const char* opname, bool nodes, char** name, char* namestore,
              long long space, long long* surplus_p, int begin, int end) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (!surplus_p) return 1004;
  if (end < begin) {
    *surplus_p = 0;
    return 0;
  }
  if (int st = checkRange(env, opname, begin, end, nodes ? net->nodes() : net->arcs())) return st;
  if (space < 0) return 1003;
  if (space > 0 && (!name || !namestore)) return 1004;
  return guarded([&] {
    if (nodes) ensureNodeNames(env, *net);
    else ensureArcNames(env, *net);
    const std::vector<std::string>& t = nodes ? net->nodeName : net->arcName;
    return vnt::model::ops::copyNamesOut(env, t, begin, end, name, namestore, space, surplus_p);
  });
}

int indexQuery(Env& env, const void* h, const char* lname, int* index_p, bool nodes) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (!lname || !index_p) return 1004;
  std::string s;
  if (int st = nameIn(env, lname, s)) return st;
  return guarded([&] {
    if (nodes) ensureNodeNames(env, *net);
    else ensureArcNames(env, *net);
    auto& index = nodes ? net->nodeIndex : net->arcIndex;
    bool& valid = nodes ? net->nodeIndexValid : net->arcIndexValid;
    const auto& names = nodes ? net->nodeName : net->arcName;
    if (!valid) {
      index.clear();
      for (int k = static_cast<int>(names.size()) - 1; k >= 0; --k) index[names[k]] = k;
      valid = true;
    }
    auto it = index.find(s);
    if (it == index.end()) return 1210;
    *index_p = it->second;
    return 0;
  });
}

int changeNames(Env& env, VNTNETptr h, int cnt, const int* indices, char** newname, bool nodes) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (cnt < 0) return 1003;
  if (cnt == 0) return 0;
  if (!indices || !newname) return 1004;
  if (int st = nodes ? checkNodes(env, *net, indices, cnt) : checkArcs(env, *net, indices, cnt)) return st;
  std::vector<std::string> conv;
  if (int st = model::ops::namesIn(env, newname, cnt, conv)) return st;
  return guarded([&] {
    if (nodes) ensureNodeNames(env, *net);
    else ensureArcNames(env, *net);
    auto& names = nodes ? net->nodeName : net->arcName;
    for (int k = 0; k < cnt; ++k) names[indices[k]] = conv[k];
    (nodes ? net->nodeIndexValid : net->arcIndexValid) = false;
    return 0;
  });
}

}  // namespace

int NETcreateprob(Env& env, const char* name, VNTNETptr* result_out) {
  std::string s;
  if (name) {
    if (int st = nameIn(env, name, s)) return st;
  }
  NetProblem* net = nullptr;
  if (int st = createNet(env, s, &net)) return st;
  *result_out = reinterpret_cast<VNTNETptr>(net);
  return 0;
}

int NETfreeprob(Env& env, VNTNETptr* net_p) {
  if (!net_p) return 1004;
  NetProblem* net;
  if (int st = checkNet(env, *net_p, &net)) return st;
  destroyNet(*net->env, net);
  *net_p = nullptr;
  return 0;
}

int NETcopynet(Env& env, VNTNETptr h, int objsen, int nnodes, const double* supply, char** nnames, int narcs,
               const int* fromnode, const int* tonode, const double* low, const double* up, const double* obj,
               char** anames) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (nnodes < 0 || narcs < 0) return 1003;
  if (model::ops::dataCheck(env) && objsen != 1 && objsen != -1) return 1003;
  // Build into a staging copy so that a failure leaves the problem alone.
  NetProblem staged;
  staged.name = net->name;
  staged.objsen = objsen < 0 ? -1 : 1;
  if (int st = appendNodes(env, staged, nnodes, supply, nnames)) return st;
  if (int st = appendArcs(env, staged, narcs, fromnode, tonode, low, up, obj, anames)) return st;
  assignNet(*net, std::move(staged));
  return 0;
}

int NETaddnodes(Env& env, VNTNETptr h, int nnodes, const double* supply, char** nnames) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  return appendNodes(env, *net, nnodes, supply, nnames);
}

int NETaddarcs(Env& env, VNTNETptr h, int narcs, const int* fromnode, const int* tonode, const double* low,
               const double* up, const double* obj, char** anames) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  return appendArcs(env, *net, narcs, fromnode, tonode, low, up, obj, anames);
}

int NETdelnodes(Env& env, VNTNETptr h, int begin, int end) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (end < begin) return 0;
  if (int st = checkRange(env, "VNTNETdelnodes", begin, end, net->nodes())) return st;
  return guarded([&] {
    std::vector<int> del(net->nodes(), 0), delArcs(net->arcs(), 0);
    for (int v = begin; v <= end; ++v) del[v] = 1;
    removeNodes(*net, del, delArcs);
    return 0;
  });
}

int NETdelarcs(Env& env, VNTNETptr h, int begin, int end) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (end < begin) return 0;
  if (int st = checkRange(env, "VNTNETdelarcs", begin, end, net->arcs())) return st;
  return guarded([&] {
    std::vector<int> del(net->arcs(), 0);
    for (int a = begin; a <= end; ++a) del[a] = 1;
    removeArcs(*net, del);
    return 0;
  });
}

int NETdelset(Env& env, VNTNETptr h, int* whichnodes, int* whicharcs) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  return guarded([&] {
    std::vector<int> delN(net->nodes(), 0), delA(net->arcs(), 0);
    if (whichnodes)
      for (int v = 0; v < net->nodes(); ++v) delN[v] = whichnodes[v] ? 1 : 0;
    if (whicharcs)
      for (int a = 0; a < net->arcs(); ++a) delA[a] = whicharcs[a] ? 1 : 0;
    removeNodes(*net, delN, delA);
    if (whichnodes) std::copy(delN.begin(), delN.end(), whichnodes);
    if (whicharcs) std::copy(delA.begin(), delA.end(), whicharcs);
    return 0;
  });
}

int NETchgname(Env& env, VNTNETptr h, const char* probname) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (!probname) return 1004;
  std::string s;
  if (int st = nameIn(env, probname, s)) return st;
  net->name.swap(s);
  return 0;
}

int NETchgnodename(Env& env, VNTNETptr h, int cnt, const int* indices, char** newname) {
  return changeNames(env, h, cnt, indices, newname, true);
}

int NETchgarcname(Env& env, VNTNETptr h, int cnt, const int* indices, char** newname) {
  return changeNames(env, h, cnt, indices, newname, false);
}

int NETchgarcnodes(Env& env, VNTNETptr h, int cnt, const int* indices, const int* fromnode, const int* tonode) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (cnt < 0) return 1003;
  if (cnt == 0) return 0;
  if (!indices || !fromnode || !tonode) return 1004;
  if (int st = checkArcs(env, *net, indices, cnt)) return st;
  if (int st = checkNodes(env, *net, fromnode, cnt)) return st;
  if (int st = checkNodes(env, *net, tonode, cnt)) return st;
  for (int k = 0; k < cnt; ++k) {
    net->tail[indices[k]] = fromnode[k];
    net->head[indices[k]] = tonode[k];
  }
  net->changed();
  return 0;
}

int NETchgbds(Env& env, VNTNETptr h, int cnt, const int* indices, const char* lu, const double* bd) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (cnt < 0) return 1003;
  if (cnt == 0) return 0;
  if (!indices || !lu || !bd) return 1004;
  if (int st = checkArcs(env, *net, indices, cnt)) return st;
  if (int st = checkValues(bd, cnt)) return st;
  for (int k = 0; k < cnt; ++k)
    if (lu[k] != 'L' && lu[k] != 'U' && lu[k] != 'B') return reportError(env, 1229, static_cast<long long>(k));
  for (int k = 0; k < cnt; ++k) {
    const int a = indices[k];
    const double v = clampBound(bd[k]);
    if (lu[k] != 'U') net->lb[a] = v;
    if (lu[k] != 'L') net->ub[a] = v;
  }
  net->changed();
  return 0;
}

int NETchgobj(Env& env, VNTNETptr h, int cnt, const int* indices, const double* obj) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (cnt < 0) return 1003;
  if (cnt == 0) return 0;
  if (!indices || !obj) return 1004;
  if (int st = checkArcs(env, *net, indices, cnt)) return st;
  if (int st = checkCoefs(env, obj, cnt)) return st;
  for (int k = 0; k < cnt; ++k) net->obj[indices[k]] = obj[k];
  net->changed();
  return 0;
}

int NETchgobjsen(Env& env, VNTNETptr h, int maxormin) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (model::ops::dataCheck(env) && maxormin != 1 && maxormin != -1) return 1003;
  const int s = maxormin < 0 ? -1 : 1;
  if (s != net->objsen) {
    net->objsen = s;
    net->changed();
  }
  return 0;
}

int NETchgsupply(Env& env, VNTNETptr h, int cnt, const int* indices, const double* supply) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (cnt < 0) return 1003;
  if (cnt == 0) return 0;
  if (!indices || !supply) return 1004;
  if (int st = checkNodes(env, *net, indices, cnt)) return st;
  if (int st = checkCoefs(env, supply, cnt)) return st;
  for (int k = 0; k < cnt; ++k) net->supply[indices[k]] = supply[k];
  net->changed();
  return 0;
}

int NETgetnumnodes(Env& env, VNTCNETptr h, int* result_out) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  *result_out = net->nodes();
  return 0;
}

int NETgetnumarcs(Env& env, VNTCNETptr h, int* result_out) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  *result_out = net->arcs();
  return 0;
}

int NETgetobjsen(Env& env, VNTCNETptr h, int* result_out) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  *result_out = net->objsen;
  return 0;
}

int NETgetprobname(Env& env, VNTCNETptr h, char* buf_str, long long bufspace, long long* surplus_p) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (!surplus_p) return 1004;
  if (bufspace < 0) return 1003;
  const std::string out = nameOut(env, net->name);
  const long long need = static_cast<long long>(out.size()) + 1;
  *surplus_p = bufspace - need;
  if (need > bufspace) return buf_str ? 1207 : -1207;
  if (!buf_str) return 1004;
  std::memcpy(buf_str, out.c_str(), out.size() + 1);
  return 0;
}

int NETgetnodename(Env& env, VNTCNETptr h, char** nnames, char* namestore, long long namespc, long long* surplus_p,
                   int begin, int end) {
  return nameQuery(env, h, "VNTNETgetnodename", true, nnames, namestore, namespc, surplus_p, begin, end);
}

int NETgetarcname(Env& env, VNTCNETptr h, char** nnames, char* namestore, long long namespc, long long* surplus_p,
                  int begin, int end) {
  return nameQuery(env, h, "VNTNETgetarcname", false, nnames, namestore, namespc, surplus_p, begin, end);
}

int NETgetnodeindex(Env& env, VNTCNETptr h, const char* lname, int* index_p) {
  return indexQuery(env, h, lname, index_p, true);
}

int NETgetarcindex(Env& env, VNTCNETptr h, const char* lname, int* index_p) {
  return indexQuery(env, h, lname, index_p, false);
}

int NETgetarcnodes(Env& env, VNTCNETptr h, int* fromnode, int* tonode, int begin, int end) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (end < begin) return 0;
  if (int st = checkRange(env, "VNTNETgetarcnodes", begin, end, net->arcs())) return st;
  for (int a = begin; a <= end; ++a) {
    if (fromnode) fromnode[a - begin] = net->tail[a];
    if (tonode) tonode[a - begin] = net->head[a];
  }
  return 0;
}

// The arcs leaving each node of begin..end (forward star), in arc order.
int NETgetnodearcs(Env& env, VNTCNETptr h, long long* arccnt_p, long long* arcbeg, int* arc, long long arcspace,
                   long long* surplus_p, int begin, int end) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (!arccnt_p || !surplus_p) return 1004;
  if (end < begin) {
    *arccnt_p = 0;
    *surplus_p = arcspace;
    return 0;
  }
  if (int st = checkRange(env, "VNTNETgetnodearcs", begin, end, net->nodes())) return st;
  if (!arcbeg) return 1004;
  if (arcspace < 0) return 1003;
  if (arcspace > 0 && !arc) return 1004;
  return guarded([&] {
    const int cnt = end - begin + 1;
    std::vector<long long> pos(cnt + 1, 0);
    for (int a = 0; a < net->arcs(); ++a) {
      const int t = net->tail[a];
      if (t >= begin && t <= end) ++pos[t - begin + 1];
    }
    for (int k = 0; k < cnt; ++k) pos[k + 1] += pos[k];
    const long long need = pos[cnt];
    *surplus_p = arcspace - need;
    if (need > arcspace) return arc ? 1207 : -1207;
    for (int k = 0; k < cnt; ++k) arcbeg[k] = pos[k];
    for (int a = 0; a < net->arcs(); ++a) {
      const int t = net->tail[a];
      if (t >= begin && t <= end) arc[pos[t - begin]++] = a;
    }
    *arccnt_p = need;
    return 0;
  });
}

int NETgetlb(Env& env, VNTCNETptr h, double* low, int begin, int end) {
  return rangeQuery(env, h, "VNTNETgetlb", low, begin, end, false, false,
                    [](const NetProblem& n, int a) { return n.lb[a]; });
}
int NETgetub(Env& env, VNTCNETptr h, double* up, int begin, int end) {
  return rangeQuery(env, h, "VNTNETgetub", up, begin, end, false, false,
                    [](const NetProblem& n, int a) { return n.ub[a]; });
}
int NETgetobj(Env& env, VNTCNETptr h, double* obj, int begin, int end) {
  return rangeQuery(env, h, "VNTNETgetobj", obj, begin, end, false, false,
                    [](const NetProblem& n, int a) { return n.obj[a]; });
}
int NETgetsupply(Env& env, VNTCNETptr h, double* supply, int begin, int end) {
  return rangeQuery(env, h, "VNTNETgetsupply", supply, begin, end, true, false,
                    [](const NetProblem& n, int v) { return n.supply[v]; });
}

int NETprimopt(Env& env, VNTNETptr h) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  return guarded([&] { return solveNet(env, *net, true); });
}

int NETgetstat(Env& env, VNTCNETptr h, int* result_out) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  *result_out = net->sol.stat;
  return 0;
}

int NETgetobjval(Env& env, VNTCNETptr h, double* objval_p) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (!objval_p) return 1004;
  if (net->sol.stat == 0) return 1217;
  *objval_p = net->sol.objval;
  return 0;
}

int NETgetx(Env& env, VNTCNETptr h, double* x, int begin, int end) {
  return rangeQuery(env, h, "VNTNETgetx", x, begin, end, false, true,
                    [](const NetProblem& n, int a) { return n.sol.x[a]; });
}
int NETgetdj(Env& env, VNTCNETptr h, double* dj, int begin, int end) {
  return rangeQuery(env, h, "VNTNETgetdj", dj, begin, end, false, true,
                    [](const NetProblem& n, int a) { return n.sol.dj[a]; });
}
int NETgetpi(Env& env, VNTCNETptr h, double* pi, int begin, int end) {
  return rangeQuery(env, h, "VNTNETgetpi", pi, begin, end, true, true,
                    [](const NetProblem& n, int v) { return n.sol.pi[v]; });
}
int NETgetslack(Env& env, VNTCNETptr h, double* slack, int begin, int end) {
  return rangeQuery(env, h, "VNTNETgetslack", slack, begin, end, true, true,
                    [](const NetProblem& n, int v) { return n.sol.slack[v]; });
}

int NETgetitcnt(Env& env, VNTCNETptr h, long long* result_out) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  *result_out = net->sol.itcnt;
  return 0;
}

int NETgetphase1cnt(Env& env, VNTCNETptr h, long long* result_out) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  *result_out = net->sol.phase1cnt;
  return 0;
}

int NETsolution(Env& env, VNTCNETptr h, int* netstat_p, double* objval_p, double* x, double* pi, double* slack,
                double* dj) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  const NetSolution& s = net->sol;
  if (s.stat == 0) return 1217;
  if (netstat_p) *netstat_p = s.stat;
  if (objval_p) *objval_p = s.objval;
  if (x) std::copy(s.x.begin(), s.x.end(), x);
  if (pi) std::copy(s.pi.begin(), s.pi.end(), pi);
  if (slack) std::copy(s.slack.begin(), s.slack.end(), slack);
  if (dj) std::copy(s.dj.begin(), s.dj.end(), dj);
  return 0;
}

int NETsolninfo(Env& env, VNTCNETptr h, int* pfeasind_p, int* dfeasind_p) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  const NetSolution& s = net->sol;
  if (pfeasind_p) *pfeasind_p = s.stat != 0 && s.primalFeasible ? 1 : 0;
  if (dfeasind_p) *dfeasind_p = s.stat != 0 && s.dualFeasible ? 1 : 0;
  return 0;
}

int NETgetbase(Env& env, VNTCNETptr h, int* astat, int* nstat) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  const NetSolution& s = net->sol;
  if (s.stat == 0 || static_cast<int>(s.astat.size()) != net->arcs()) return 1262;
  if (astat) std::copy(s.astat.begin(), s.astat.end(), astat);
  if (nstat) std::copy(s.nstat.begin(), s.nstat.end(), nstat);
  return 0;
}

int NETcopybase(Env& env, VNTNETptr h, const int* astat, const int* nstat) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if ((net->arcs() > 0 && !astat) || (net->nodes() > 0 && !nstat)) return 1004;
  for (int a = 0; a < net->arcs(); ++a)
    if (astat[a] < 0 || astat[a] > 3) return 1003;
  for (int v = 0; v < net->nodes(); ++v)
    if (nstat[v] != kAtLower && nstat[v] != kBasic) return 1003;
  net->startArc.assign(astat, astat + net->arcs());
  net->startNode.assign(nstat, nstat + net->nodes());
  net->changed();
  return 0;
}

int NETwriteprob(Env& env, VNTCNETptr h, const char* filename_str, const char* format_str) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (!filename_str) return 1004;
  return guarded([&] { return writeNetFile(env, *net, filename_str, format_str); });
}

int NETreadcopyprob(Env& env, VNTNETptr h, const char* filename_str) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (!filename_str) return 1004;
  return guarded([&] { return readNetFile(env, *net, filename_str); });
}

int NETbasewrite(Env& env, VNTCNETptr h, const char* filename_str) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (!filename_str) return 1004;
  return guarded([&] { return writeNetBasis(env, *net, filename_str); });
}

int NETreadcopybase(Env& env, VNTNETptr h, const char* filename_str) {
  NetProblem* net;
  if (int st = net_of(env, h, &net)) return st;
  if (!filename_str) return 1004;
  return guarded([&] { return readNetBasis(env, *net, filename_str); });
}

}  // namespace vnt::chk
