#include "network/netsimplex.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <queue>
#include <utility>

namespace vnt::network {

namespace {
// Capacities at or beyond this are infinite inside the engine.
constexpr double kInfCap = 1e30;
// Block pricing scans blocks of this many times the square root of the arc
// count (on sparse min-cost flows, larger blocks than the square root give
// fewer pivots on shallower trees, which pays for the longer scans).
constexpr double kBlockFactor = 4.0;
// Arc order (see reset): runs of at most kMaxRunLength arcs, at least about
// kRunsPerBlock runs in a pricing block.
constexpr int kMaxRunLength = 64;
constexpr int kRunsPerBlock = 16;
constexpr double kGoldenFraction = 0.6180339887498949;
// The runs are spread only when more than one arc in kPathShare continues a
// path from the arc before it.
constexpr long long kPathShare = 64;
// Iterations between polls of the limit callback.
constexpr long long kPollInterval = 256;
inline bool infinite(double c) { return c >= kInfCap; }
}  // namespace

void NetSimplex::reset(int n, std::vector<int> tail, std::vector<int> head, std::vector<double> cap,
                       std::vector<double> cost, std::vector<double> supply) {
  n_ = n;
  m_ = static_cast<int>(tail.size());
  mAll_ = m_ + n_;
  root_ = n_;
  // Arc order.  Generators and files list arcs in structured runs (all arcs
  // of a tail, a skeleton path, one source's arcs to every sink), and block
  // pricing over consecutive arcs then offers entering arcs from one corner
  // of the network only: on a network whose first arcs form one long path
  // that costs two to three times the pivots.  So the engine holds the arcs
  // in short runs of the caller's order (kept for memory locality), the runs
  // placed in a golden-ratio stride order, which spreads any few consecutive
  // runs over the whole arc list; pricing still reads memory in order.
  // Only paths listed arc after arc need it: an order made of stars (each
  // source's arcs to every sink, as transportation models list them)
  // already offers entering arcs all over the network, and spreading it
  // costs pivots (13% on a 1000 x 1000 transportation model) besides the
  // permutation pass.
  const int blockSize = std::max(10, static_cast<int>(kBlockFactor * std::sqrt(static_cast<double>(mAll_))));
  const int runLen = std::clamp(blockSize / kRunsPerBlock, 1, kMaxRunLength);
  const int runs = m_ / runLen;  // full runs; a short last run stays at the end
  slot_.resize(m_);
  long long joined = 0;  // consecutive arcs that continue a path
  for (int a = 0; a + 1 < m_; ++a) joined += head[a] == tail[a + 1] ? 1 : 0;
  if (runs > 2 && joined * kPathShare > m_) {
    int stride = static_cast<int>(std::lround(runs * kGoldenFraction));
    while (std::gcd(stride, runs) != 1) ++stride;
    for (int k = 0; k < runs; ++k) {  // run r = k * stride mod runs goes to place k
      const int r = static_cast<int>(static_cast<long long>(k) * stride % runs);
      for (int o = 0; o < runLen; ++o) slot_[r * runLen + o] = k * runLen + o;
    }
    for (int a = runs * runLen; a < m_; ++a) slot_[a] = a;
    // Each array is permuted into a scratch buffer and swapped with it, the
    // old buffer serving the next array of its type: two allocations.
    std::vector<int> si;
    std::vector<double> sd;
    si.reserve(mAll_), sd.reserve(mAll_);
    si.resize(m_), sd.resize(m_);
    for (std::vector<int>* x : {&tail, &head}) {
      for (int a = 0; a < m_; ++a) si[slot_[a]] = (*x)[a];
      x->swap(si);
    }
    for (std::vector<double>* x : {&cap, &cost}) {
      for (int a = 0; a < m_; ++a) sd[slot_[a]] = (*x)[a];
      x->swap(sd);
    }
  } else {
    for (int a = 0; a < m_; ++a) slot_[a] = a;
  }
  // The caller's arrays become the engine's.
  tail_ = std::move(tail);
  head_ = std::move(head);
  cap_ = std::move(cap);
  origCost_ = std::move(cost);
  tail_.resize(mAll_, 0);
  head_.resize(mAll_, 0);
  cap_.resize(mAll_, kInfCap);
  cost_.assign(mAll_, 0.0);  // set by solve()
  fixed_.assign(m_, 0);
  twin_.clear();
  for (int a = 0; a < m_; ++a) {
    if (cap_[a] >= kNetInf) cap_[a] = kInfCap;
    fixed_[a] = cap_[a] <= 0.0 ? 1 : 0;
  }
  supply_ = std::move(supply);
  flow_.assign(mAll_, 0.0);
  state_.assign(mAll_, kLower);
  startUpper_.clear();
  haveStartTree_ = false;
  const int nn = n_ + 1;
  parent_.assign(nn, -1);
  pred_.assign(nn, -1);
  thread_.assign(nn, 0);
  revThread_.assign(nn, 0);
  succNum_.assign(nn, 1);
  lastSucc_.assign(nn, 0);
  predUp_.assign(nn, 0);
  pi_.assign(nn, 0.0);
  path_.assign(nn, 0);
  pathLast_.assign(nn, 0);
  pathSucc_.assign(nn, 0);
  pathPred_.assign(nn, 0);
  pieceFirst_.assign(2 * nn, 0);
  pieceLast_.assign(2 * nn, 0);
  blockSize_ = blockSize;
  cand_.assign(std::max(10, blockSize_ / 4) + 1, 0);
  candCount_ = 0;
  candMinor_ = 0;
  nextArc_ = 0;
  iterations_ = phase1Iterations_ = 0;
}

void NetSimplex::setTwin(int a, int b) {
  if (twin_.empty()) twin_.assign(m_, -1);
  a = slot_[a];
  b = slot_[b];
  twin_[a] = b;
  twin_[b] = a;
}

void NetSimplex::setStart(const std::vector<signed char>& atUpper, const std::vector<char>* basicArc,
                          const std::vector<char>* basicNode) {
  startUpper_.assign(m_, 0);
  for (int e = 0; e < m_ && e < static_cast<int>(atUpper.size()); ++e) {
    const int a = slot_[e];
    startUpper_[a] = atUpper[e] && !infinite(cap_[a]) ? 1 : 0;
  }
  haveStartTree_ = basicArc && basicNode && static_cast<int>(basicArc->size()) == m_;
  if (haveStartTree_) {
    startBasicArc_.assign(m_, 0);
    for (int e = 0; e < m_; ++e) startBasicArc_[slot_[e]] = (*basicArc)[e];
    startBasicNode_ = *basicNode;
  }
}

double NetSimplex::infeasibility() const {
  double s = 0.0;
  for (int v = 0; v < n_; ++v) s += flow_[m_ + v];
  return s;
}

double NetSimplex::objective() const {
  double s = 0.0;
  for (int a = 0; a < m_; ++a) s += origCost_[a] * flow_[a];
  return s;
}

void NetSimplex::setArtificialCosts(double orig, double art) {
  for (int a = 0; a < m_; ++a) cost_[a] = orig * origCost_[a];
  for (int a = m_; a < mAll_; ++a) cost_[a] = art;
}

// Every nonbasic arc at its start bound, every node hanging from the root by
// its artificial arc, oriented so that it carries the node's imbalance.
void NetSimplex::initArtificialTree() {
  std::vector<double>& b = pi_;  // scratch: imbalance per node
  for (int v = 0; v < n_; ++v) b[v] = supply_[v];
  for (int a = 0; a < m_; ++a) {
    if (fixed_[a]) {
      state_[a] = kBasic;  // never priced; reported at its lower bound
      flow_[a] = 0.0;
    } else if (startUpper(a)) {
      state_[a] = kUpper;
      flow_[a] = cap_[a];
      b[tail_[a]] -= cap_[a];
      b[head_[a]] += cap_[a];
    } else {
      state_[a] = kLower;
      flow_[a] = 0.0;
    }
  }
  for (int v = 0; v < n_; ++v) {
    const int a = m_ + v;
    state_[a] = kBasic;
    cap_[a] = kInfCap;
    if (b[v] >= 0) {
      tail_[a] = v;
      head_[a] = root_;
      flow_[a] = b[v];
      predUp_[v] = 1;
    } else {
      tail_[a] = root_;
      head_[a] = v;
      flow_[a] = -b[v];
      predUp_[v] = 0;
    }
    parent_[v] = root_;
    pred_[v] = a;
    succNum_[v] = 1;
    lastSucc_[v] = v;
    thread_[v] = v + 1 < n_ ? v + 1 : root_;
    revThread_[v] = v > 0 ? v - 1 : root_;
  }
  parent_[root_] = -1;
  pred_[root_] = -1;
  succNum_[root_] = n_ + 1;
  lastSucc_[root_] = n_ > 0 ? n_ - 1 : root_;
  thread_[root_] = n_ > 0 ? 0 : root_;
  revThread_[root_] = n_ > 0 ? n_ - 1 : root_;
}

// Start tree without a caller's basis: sources and sinks hang from the root
// by their artificial arcs, and every transshipment node hangs, by one of its
// own outgoing arcs carrying no flow, from the tree of cheapest paths to the
// sinks (Dijkstra on the reversed arcs, negative costs counted as zero).
// The first pivots then bring in arcs out of the sources and push flow along
// cheap paths to the sinks instead of first replacing one artificial arc per
// node.  Returns false when no node could be hung (or the tree was refused),
// leaving the artificial tree to the caller.
bool NetSimplex::crashTree() {
  std::vector<double> b(supply_);
  for (int a = 0; a < m_; ++a)
    if (!fixed_[a] && startUpper(a)) b[tail_[a]] -= cap_[a], b[head_[a]] += cap_[a];
  // Without transshipment nodes (transportation, assignment) nothing hangs.
  if (std::none_of(b.begin(), b.end(), [](double v) { return v == 0.0; })) return false;
  // Incoming arcs per node.
  std::vector<int> beg(n_ + 1, 0), in(m_);
  for (int a = 0; a < m_; ++a)
    if (!fixed_[a]) ++beg[head_[a] + 1];
  for (int v = 0; v < n_; ++v) beg[v + 1] += beg[v];
  {
    std::vector<int> fill(beg.begin(), beg.end() - 1);
    for (int a = 0; a < m_; ++a)
      if (!fixed_[a]) in[fill[head_[a]]++] = a;
  }
  std::vector<double> dist(n_, kInfCap);
  std::vector<int> via(n_, -1);
  using Item = std::pair<double, int>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
  for (int v = 0; v < n_; ++v)
    if (b[v] < 0.0) dist[v] = 0.0, heap.emplace(0.0, v);
  int hung = 0;
  while (!heap.empty()) {
    const auto [d, v] = heap.top();
    heap.pop();
    if (d > dist[v]) continue;
    for (int k = beg[v]; k < beg[v + 1]; ++k) {
      const int a = in[k], u = tail_[a];
      if (b[u] != 0.0 || startUpper(a)) continue;  // only transshipment nodes hang by an idle arc
      const double nd = d + std::max(0.0, cost_[a]);
      if (nd < dist[u]) {
        if (via[u] < 0) ++hung;
        dist[u] = nd, via[u] = a;
        heap.emplace(nd, u);
      }
    }
  }
  work_ += static_cast<uint64_t>(m_);
  if (hung == 0) return false;
  std::vector<char> basicArc(m_, 0), basicNode(n_, 1);
  for (int v = 0; v < n_; ++v)
    if (via[v] >= 0) basicArc[via[v]] = 1, basicNode[v] = 0;
  return installTree(basicArc, basicNode);
}

// A caller's tree: the marked arcs and artificial arcs must span the nodes
// and root, and the flows they carry must be within bounds with every tree
// arc able to pass flow towards the root (strong feasibility).
bool NetSimplex::installTree(const std::vector<char>& basicArc, const std::vector<char>& basicNode) {
  if (static_cast<int>(basicArc.size()) != m_ || static_cast<int>(basicNode.size()) != n_) return false;
  const int nn = n_ + 1;
  long long count = 0;
  for (int a = 0; a < m_; ++a) {
    if (basicArc[a] && fixed_[a]) return false;  // a tree arc must be able to carry flow
    count += basicArc[a] ? 1 : 0;
  }
  for (int v = 0; v < n_; ++v) count += basicNode[v] ? 1 : 0;
  if (count != n_) return false;
  // Adjacency of the tree arcs (artificial arcs as m_+v towards the root).
  std::vector<int> deg(nn + 1, 0);
  for (int a = 0; a < m_; ++a)
    if (basicArc[a]) ++deg[tail_[a]], ++deg[head_[a]];
  for (int v = 0; v < n_; ++v)
    if (basicNode[v]) ++deg[v], ++deg[root_];
  std::vector<int> beg(nn + 1, 0);
  for (int v = 0; v < nn; ++v) beg[v + 1] = beg[v] + deg[v];
  std::vector<int> adj(beg[nn]), fill(beg.begin(), beg.end() - 1);
  for (int a = 0; a < m_; ++a)
    if (basicArc[a]) adj[fill[tail_[a]]++] = a, adj[fill[head_[a]]++] = a;
  for (int v = 0; v < n_; ++v)
    if (basicNode[v]) adj[fill[v]++] = m_ + v, adj[fill[root_]++] = m_ + v;
  // Depth-first preorder from the root.
  std::vector<int> order;
  order.reserve(nn);
  std::vector<int> stack{root_};
  std::vector<char> seen(nn, 0);
  seen[root_] = 1;
  parent_[root_] = -1;
  pred_[root_] = -1;
  while (!stack.empty()) {
    int v = stack.back();
    stack.pop_back();
    order.push_back(v);
    for (int k = beg[v + 1] - 1; k >= beg[v]; --k) {
      int a = adj[k];
      int w = a >= m_ ? (v == root_ ? a - m_ : root_) : (tail_[a] == v ? head_[a] : tail_[a]);
      if (seen[w]) {
        if (w != parent_[v] || a != pred_[v]) return false;  // a cycle
        continue;
      }
      seen[w] = 1;
      parent_[w] = v;
      pred_[w] = a;
      stack.push_back(w);
    }
  }
  if (static_cast<int>(order.size()) != nn) return false;
  // Nonbasic flows and the imbalance each subtree must send to its parent.
  std::vector<double> r(nn, 0.0);
  for (int v = 0; v < n_; ++v) r[v] = supply_[v];
  for (int a = 0; a < m_; ++a) {
    if (basicArc[a] || fixed_[a]) {
      state_[a] = kBasic;
      flow_[a] = 0.0;
      continue;
    }
    if (startUpper(a)) {
      state_[a] = kUpper;
      flow_[a] = cap_[a];
      r[tail_[a]] -= cap_[a];
      r[head_[a]] += cap_[a];
    } else {
      state_[a] = kLower;
      flow_[a] = 0.0;
    }
  }
  for (int v = 0; v < n_; ++v) {
    const int a = m_ + v;
    cap_[a] = kInfCap;
    flow_[a] = 0.0;
    state_[a] = basicNode[v] ? kBasic : kLower;
    tail_[a] = v;
    head_[a] = root_;
  }
  for (int k = nn - 1; k >= 1; --k) {
    const int v = order[k];
    const int a = pred_[v];
    if (a >= m_ && r[v] < 0) {  // an artificial arc carries the imbalance either way
      tail_[a] = root_;
      head_[a] = v;
    }
    predUp_[v] = tail_[a] == v ? 1 : 0;
    double f = predUp_[v] ? r[v] : -r[v];
    // The opposite copy of a free arc carries a negative flow, and a zero
    // flow when only that copy points towards the root (strong feasibility).
    if ((f < 0.0 || (f == 0.0 && !predUp_[v])) && a < m_ && !twin_.empty() && twin_[a] >= 0) {
      const int t = twin_[a];
      state_[a] = kLower;
      flow_[a] = 0.0;
      state_[t] = kBasic;
      pred_[v] = t;
      predUp_[v] = tail_[t] == v ? 1 : 0;
      f = -f;
    }
    const double tol = 1e-9 * (1.0 + std::fabs(f));
    const int ta = pred_[v];
    if (f < -tol || (!infinite(cap_[ta]) && f > cap_[ta] + tol)) return false;
    f = std::clamp(f, 0.0, cap_[ta]);
    flow_[ta] = f;
    // Strong feasibility: a positive amount can move from v towards the root.
    if (predUp_[v] ? !(f < cap_[ta]) : !(f > 0.0)) return false;
    r[parent_[v]] += r[v];
  }
  // Thread, subtree sizes and last successors from the preorder.
  for (int k = 0; k < nn; ++k) {
    thread_[order[k]] = order[(k + 1) % nn];
    revThread_[order[(k + 1) % nn]] = order[k];
  }
  for (int v = 0; v < nn; ++v) succNum_[v] = 1, lastSucc_[v] = v;
  for (int k = nn - 1; k >= 1; --k) {
    const int v = order[k], p = parent_[v];
    succNum_[p] += succNum_[v];
  }
  // The last successor of v is the node at preorder position pos(v)+size-1.
  std::vector<int> pos(nn);
  for (int k = 0; k < nn; ++k) pos[order[k]] = k;
  for (int v = 0; v < nn; ++v) lastSucc_[v] = order[pos[v] + succNum_[v] - 1];
  return true;
}

void NetSimplex::computePotentials() {
  pi_[root_] = 0.0;
  for (int v = thread_[root_]; v != root_; v = thread_[v]) {
    const int a = pred_[v];
    pi_[v] = predUp_[v] ? pi_[parent_[v]] + cost_[a] : pi_[parent_[v]] - cost_[a];
  }
}

int NetSimplex::findEntering(double tol) {
  const double* cost = cost_.data();
  const double* pi = pi_.data();
  const int* tl = tail_.data();
  const int* hd = head_.data();
  const signed char* st = state_.data();
  auto violation = [&](int a) { return st[a] * (cost[a] - pi[tl[a]] + pi[hd[a]]); };
  const int total = mAll_;
  if (total == 0) return -1;
  switch (opt_pricing_) {
    case NetPricing::Dantzig: {
      double best = -tol;
      int in = -1;
      for (int a = 0; a < total; ++a) {
        double v = violation(a);
        if (v < best) best = v, in = a;
      }
      work_ += static_cast<uint64_t>(total);
      return in;
    }
    case NetPricing::Candidates: {
      const int listSize = static_cast<int>(cand_.size()) - 1;
      const int minorLimit = std::max(1, listSize / 2);
      for (int attempt = 0; attempt < 2; ++attempt) {
        if (candCount_ == 0 || candMinor_ >= minorLimit || attempt == 1) {
          candCount_ = 0;
          candMinor_ = 0;
          int a = nextArc_;
          int k = 0;
          for (; k < total && candCount_ < listSize; ++k) {
            if (violation(a) < -tol) cand_[candCount_++] = a;
            if (++a == total) a = 0;
          }
          work_ += static_cast<uint64_t>(k);
          nextArc_ = a;
          if (candCount_ == 0) return -1;
        }
        double best = -tol;
        int in = -1, keep = 0;
        for (int k = 0; k < candCount_; ++k) {
          const int a = cand_[k];
          const double v = violation(a);
          if (v < -tol) {
            cand_[keep++] = a;
            if (v < best) best = v, in = a;
          }
        }
        candCount_ = keep;
        if (in >= 0) {
          ++candMinor_;
          return in;
        }
      }
      return -1;
    }
    case NetPricing::Block:
    default: {
      double best = -tol;
      int in = -1, cnt = blockSize_;
      int a = nextArc_;
      int k = 0;
      for (; k < total; ++k) {
        const double v = violation(a);
        if (v < best) best = v, in = a;
        if (++a == total) a = 0;
        if (--cnt == 0) {
          if (in >= 0) break;
          cnt = blockSize_;
        }
      }
      work_ += static_cast<uint64_t>(k);
      nextArc_ = a;
      return in;
    }
  }
}


bool NetSimplex::pivot(int in) {
  const signed char s = state_[in];
  const int first = s == kLower ? tail_[in] : head_[in];
  const int second = s == kLower ? head_[in] : tail_[in];
  // One climb from both ends to the apex (the end with the smaller subtree
  // steps up) finds the apex and each side's blocking arc.  Leaving arc: the
  // last blocking arc of the cycle oriented along the entering arc and
  // traversed from the apex (join -> first -> second -> join): on the first
  // side the blocking arc nearest to `first`, on the second the one nearest
  // to the apex, ties going to the second side, then to the entering arc.
  double d1 = kInfCap, d2 = kInfCap;
  int u1 = -1, u2 = -1;
  int u = first, v = second;
  while (u != v) {
    if (succNum_[u] < succNum_[v]) {
      const int a = pred_[u];
      const double res = predUp_[u] ? flow_[a] : cap_[a] - flow_[a];
      if (res < d1) d1 = res, u1 = u;
      u = parent_[u];
    } else {
      const int a = pred_[v];
      const double res = predUp_[v] ? cap_[a] - flow_[a] : flow_[a];
      if (res <= d2) d2 = res, u2 = v;
      v = parent_[v];
    }
  }
  const int join = u;
  double delta;
  int uOut, side;
  if (d2 <= std::min(d1, cap_[in])) delta = d2, uOut = u2, side = 2;
  else if (cap_[in] <= d1) delta = cap_[in], uOut = -1, side = 0;
  else delta = d1, uOut = u1, side = 1;
  if (infinite(delta)) return false;
  if (delta < 0.0) delta = 0.0;
  const double rc = reducedCost(in);
  if (delta > 0.0) {
    for (int w = first; w != join; w = parent_[w]) {
      const int a = pred_[w];
      const double d = predUp_[w] ? -delta : delta;
      flow_[a] += d;
      if (a >= m_) artFlow_ += d;
    }
    for (int w = second; w != join; w = parent_[w]) {
      const int a = pred_[w];
      const double d = predUp_[w] ? delta : -delta;
      flow_[a] += d;
      if (a >= m_) artFlow_ += d;
    }
    const double d = s == kLower ? delta : -delta;
    flow_[in] += d;
    if (in >= m_) artFlow_ += d;
    totalCost_ += delta * rc * s;
  }
  if (side == 0) {  // the entering arc goes to its other bound
    state_[in] = -s;
    flow_[in] = s == kLower ? cap_[in] : 0.0;
    return true;
  }
  const int out = pred_[uOut];
  const bool toLower = side == 1 ? predUp_[uOut] != 0 : predUp_[uOut] == 0;
  flow_[out] = toLower ? 0.0 : cap_[out];
  state_[out] = toLower ? kLower : kUpper;
  state_[in] = kBasic;
  const int uIn = side == 1 ? first : second;
  const int vIn = side == 1 ? second : first;
  const double sigma = uIn == tail_[in] ? rc : -rc;
  updateTree(in, uIn, vIn, uOut, join, sigma);
  return true;
}

// Hang the subtree of uOut (which contains uIn) below vIn by the entering
// arc: the stem uIn .. uOut is reversed, its thread pieces are spliced into
// the new preorder and the whole segment is inserted right after vIn.
void NetSimplex::updateTree(int in, int uIn, int vIn, int uOut, int join, double sigma) {
  int k = 0;
  for (int w = uIn;; w = parent_[w]) {
    path_[k] = w;
    pathLast_[k] = lastSucc_[w];
    pathSucc_[k] = succNum_[w];
    pathPred_[k] = pred_[w];
    ++k;
    if (w == uOut) break;
  }
  const int oldParent = parent_[uOut];
  const int size = succNum_[uOut];
  const int last = lastSucc_[uOut];
  // Pieces of the new preorder, read from the old thread.
  int pieces = 0;
  pieceFirst_[pieces] = path_[0];
  pieceLast_[pieces++] = pathLast_[0];
  for (int i = 1; i < k; ++i) {
    pieceFirst_[pieces] = path_[i];
    pieceLast_[pieces++] = revThread_[path_[i - 1]];
    if (pathLast_[i - 1] != pathLast_[i]) {
      pieceFirst_[pieces] = thread_[pathLast_[i - 1]];
      pieceLast_[pieces++] = pathLast_[i];
    }
  }
  // Cut the old segment out of the thread.
  const int prevT = revThread_[uOut];
  const int nextT = thread_[last];
  thread_[prevT] = nextT;
  revThread_[nextT] = prevT;
  // Splice the pieces.
  for (int p = 1; p < pieces; ++p) {
    thread_[pieceLast_[p - 1]] = pieceFirst_[p];
    revThread_[pieceFirst_[p]] = pieceLast_[p - 1];
  }
  const int tLast = pieceLast_[pieces - 1];
  // Insert after vIn.
  const int after = thread_[vIn];
  thread_[vIn] = uIn;
  revThread_[uIn] = vIn;
  thread_[tLast] = after;
  revThread_[after] = tLast;
  // Last successors outside the moved subtree.
  for (int a = oldParent; a != -1 && lastSucc_[a] == last; a = parent_[a]) lastSucc_[a] = prevT;
  for (int a = vIn; a != -1 && lastSucc_[a] == vIn; a = parent_[a]) lastSucc_[a] = tLast;
  // Subtree sizes on both sides of the cycle.
  for (int a = oldParent; a != join; a = parent_[a]) succNum_[a] -= size;
  for (int a = vIn; a != join; a = parent_[a]) succNum_[a] += size;
  // The reversed stem.
  for (int i = 0; i < k; ++i) {
    lastSucc_[path_[i]] = tLast;
    succNum_[path_[i]] = i == 0 ? size : size - pathSucc_[i - 1];
  }
  for (int i = k - 1; i >= 1; --i) {
    const int w = path_[i];
    parent_[w] = path_[i - 1];
    pred_[w] = pathPred_[i - 1];
    predUp_[w] = tail_[pred_[w]] == w ? 1 : 0;
  }
  parent_[uIn] = vIn;
  pred_[uIn] = in;
  predUp_[uIn] = tail_[in] == uIn ? 1 : 0;
  work_ += static_cast<uint64_t>(k) + static_cast<uint64_t>(std::min(size, n_ + 1 - size));
  // Potentials: only their differences matter, so when the moved subtree
  // holds more than half of the nodes the rest of the tree (the root
  // included) moves by -sigma instead; potential() measures from the root.
  if (sigma != 0.0) {
    const int nn = n_ + 1;
    if (2 * size <= nn) {
      int x = uIn;
      for (int c = 0; c < size; ++c, x = thread_[x]) pi_[x] += sigma;
    } else {
      int x = thread_[tLast];
      for (int c = size; c < nn; ++c, x = thread_[x]) pi_[x] -= sigma;
    }
  }
}

int NetSimplex::runPhase(const NetSimplexOptions& opt, bool* unbounded) {
  *unbounded = false;
  const double tol = opt.optimalityTol;
  for (;;) {
    if (iterations_ >= opt.iterationLimit) return kNetIterLimit;
    if (iterations_ % kPollInterval == 0 && opt.poll) {
      if (int st = opt.poll()) return st;
    }
    if (opt.logInterval > 0 && opt.log && iterations_ > 0 && iterations_ % opt.logInterval == 0 &&
        iterations_ != lastLogged_) {
      lastLogged_ = iterations_;
      const double obj = totalCost_ - (pureMode_ ? 0.0 : artCost_ * artFlow_);
      opt.log(phase_, iterations_, std::max(0.0, artFlow_), pureMode_ ? objective() : obj);
    }
    const int in = findEntering(tol);
    if (in < 0) return kNetOptimal;
    if (!pivot(in)) {
      *unbounded = true;
      return kNetUnbounded;
    }
    ++iterations_;
    if (phase_ == 1) {
      ++phase1Iterations_;
      if (artFlow_ <= opt.feasibilityTol) {
        artFlow_ = infeasibility();
        if (artFlow_ <= opt.feasibilityTol && pureMode_) return kNetOptimal;
        if (artFlow_ <= opt.feasibilityTol) {
          phase_ = 2;
          computePotentials();
          recomputeCost();
        }
      }
    }
  }
}

void NetSimplex::recomputeCost() {
  double s = 0.0;
  for (int a = 0; a < mAll_; ++a) s += cost_[a] * flow_[a];
  totalCost_ = s;
}

int NetSimplex::solve(const NetSimplexOptions& opt) {
  opt_pricing_ = opt.pricing;
  iterations_ = phase1Iterations_ = 0;
  lastLogged_ = -1;
  pureMode_ = false;
  candCount_ = candMinor_ = 0;
  nextArc_ = 0;
  // Big M: more than the cost of any simple path of original arcs.
  double sumAbs = 0.0, maxAbs = 0.0;
  for (int a = 0; a < m_; ++a) {
    sumAbs += std::fabs(origCost_[a]);
    maxAbs = std::max(maxAbs, std::fabs(origCost_[a]));
  }
  artCost_ = 1.0 + std::min(sumAbs, (n_ + 1.0) * maxAbs);
  setArtificialCosts(1.0, artCost_);
  for (int a = m_; a < mAll_; ++a) cap_[a] = kInfCap;
  usedStartTree_ = haveStartTree_ && installTree(startBasicArc_, startBasicNode_);
  if (!usedStartTree_ && !(opt.crashStart && crashTree())) initArtificialTree();
  computePotentials();
  recomputeCost();
  artFlow_ = infeasibility();
  phase_ = artFlow_ > opt.feasibilityTol ? 1 : 2;

  bool unbounded = false;
  int st = runPhase(opt, &unbounded);
  if (st != kNetOptimal && st != kNetUnbounded) return st;
  artFlow_ = infeasibility();
  if (artFlow_ <= opt.feasibilityTol) return st;
  // Artificial flow left: minimize it alone to tell an infeasible network
  // from an M too small for the data (or from an unbounded cycle found
  // before feasibility).
  pureMode_ = true;
  phase_ = 1;
  setArtificialCosts(0.0, 1.0);
  computePotentials();
  recomputeCost();
  st = runPhase(opt, &unbounded);
  pureMode_ = false;
  if (st != kNetOptimal) return st;
  artFlow_ = infeasibility();
  if (artFlow_ > opt.feasibilityTol) return kNetInfeasible;
  phase_ = 2;
  setArtificialCosts(1.0, artCost_);
  computePotentials();
  recomputeCost();
  st = runPhase(opt, &unbounded);
  return st;
}

}  // namespace vnt::network
