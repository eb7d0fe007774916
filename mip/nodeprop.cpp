// Bound propagation at the nodes of the tree.  Before a node's LP is solved,
// the rows of the model that hold a column whose bounds the branch changed
// are examined: from the smallest and largest activity the other terms of a
// row can reach under the node's bounds follow bounds of each column; an
// integer column's bound is rounded inward.  What changes is queued again,
// up to a work limit per node.  A row that cannot be met ends the node
// without an LP; the tightened bounds join the node's path, so its children
// inherit them.
//
// Only the rows of the working model take part (the cuts in the LP are
// left out: their set changes during the search).  A row's limits are its
// bounds at the node, so indicator rows count only where they are enforced.
// Semi-continuous, semi-integer and indicator columns keep their bounds:
// branching alone decides them (and switches an indicator's rows on).
#include <algorithm>
#include <cmath>

#include "mip/search.h"

namespace vnt::mip {

namespace {
constexpr double kRowSlack = 1e-6;      // relative feasibility slack of a row before it proves a node empty
constexpr double kIntRound = 1e-6;      // relative slack before an integer bound is rounded
constexpr double kMinContGain = 1e-3;   // continuous columns: least gain (share of max(1, width)) worth a change
constexpr double kMaxValue = 1e9;       // implied bounds beyond this are ignored
constexpr double kWorkShare = 0.5;      // row entries visited per node: at most this share of the rows' nonzeros
constexpr double kWorkFloor = 1e4;      //   (or this many on small models)
inline bool finite(double v) { return v > -tol::kInf && v < tol::kInf; }
}  // namespace

// Row-wise copy of the working model's rows and the visit state.
struct NodeProp {
  int n = 0, m = 0;
  std::vector<int> beg, col;
  std::vector<double> val;
  std::vector<char> queued;
  std::vector<int> queue;
  double workLimit = 0.0;
  long long tightened = 0, emptied = 0;
};

void Search::setupNodeProp() {
  auto np = std::make_shared<NodeProp>();
  np->n = w.n;
  // Rows of the working model (family -1) lead; cut rows follow (a retired
  // cut's slot, family -2, may take another cut later).
  int m = w.m;
  if (rowFamily_.size() == static_cast<size_t>(w.m)) {
    m = 0;
    while (m < w.m && rowFamily_[m] == -1) ++m;
  } else {
    m = std::min(w.m, w.m0);
  }
  np->m = m;
  const model::ModelData& lp = w.lp;
  np->beg.assign(static_cast<size_t>(m) + 1, 0);
  for (int j = 0; j < w.n; ++j)
    for (int64_t k = lp.matbeg[j]; k < lp.matbeg[j + 1]; ++k)
      if (lp.matind[k] < m && lp.matval[k] != 0.0) ++np->beg[lp.matind[k] + 1];
  for (int i = 0; i < m; ++i) np->beg[i + 1] += np->beg[i];
  np->col.resize(np->beg[m]);
  np->val.resize(np->beg[m]);
  std::vector<int> fill(np->beg.begin(), np->beg.end() - 1);
  for (int j = 0; j < w.n; ++j)
    for (int64_t k = lp.matbeg[j]; k < lp.matbeg[j + 1]; ++k)
      if (lp.matind[k] < m && lp.matval[k] != 0.0) {
        const int p = fill[lp.matind[k]]++;
        np->col[p] = j;
        np->val[p] = lp.matval[k];
      }
  np->queued.assign(m, 0);
  np->workLimit = std::max(kWorkFloor, kWorkShare * static_cast<double>(np->beg[m]));
  nodeProp_ = std::move(np);
}

// Propagates the bound changes `seed` (already in the engine) at the node:
// false when a row cannot be met.  Tightened bounds are applied and added to
// the node's path.
bool Search::propagateNode(Node& nd, const std::vector<BoundChange>& seed) {
  if (!nodeProp_ || nodeProp_->n != w.n || nodeProp_->m > w.m) setupNodeProp();
  NodeProp& P = *nodeProp_;
  if (P.m == 0) return true;
  const model::ModelData& lp = w.lp;
  auto enqueueCol = [&](int j) {
    for (int64_t k = lp.matbeg[j]; k < lp.matbeg[j + 1]; ++k) {
      const int i = lp.matind[k];
      if (i < P.m && !P.queued[i]) {
        P.queued[i] = 1;
        P.queue.push_back(i);
      }
    }
  };
  for (const BoundChange& c : seed)
    if (c.k < w.n) enqueueCol(c.k);
  std::vector<BoundChange>& found = propFound_;
  found.clear();
  double work = 0.0;
  bool ok = true;
  auto tightenCol = [&](int j, double nl, double nu) -> bool {
    const double l = curLo[j], u = curUp[j];
    if (w.kind[j] == kInt) {
      if (nu < u) nu = std::floor(nu + kIntRound * std::max(1.0, std::fabs(nu)));
      if (nl > l) nl = std::ceil(nl - kIntRound * std::max(1.0, std::fabs(nl)));
    } else if (w.kind[j] == kCont) {
      // Only clear gains, loosened by the slack (tiny steps run on forever).
      const double gain = kMinContGain * std::max(1.0, finite(l) && finite(u) ? u - l : 1.0);
      nu = nu < u - gain ? nu + kRowSlack * std::max(1.0, std::fabs(nu)) : u;
      nl = nl > l + gain ? nl - kRowSlack * std::max(1.0, std::fabs(nl)) : l;
    } else {
      return true;  // semi-continuous and semi-integer columns: their domain has a hole
    }
    // Indicator columns are fixed by branching only, which also switches
    // their rows on.
    if (!w.indOfCol[j].empty()) return true;
    nl = std::max(nl, l);
    nu = std::min(nu, u);
    if (nl == l && nu == u) return true;
    if (nl > nu + kRowSlack * std::max(1.0, std::fabs(nu))) return false;
    if (nl > nu) nl = nu;
    applyChange(j, nl, nu);
    if (!isTouched[j]) {
      isTouched[j] = 1;
      touched.push_back(j);
    }
    found.push_back({j, nl, nu});
    enqueueCol(j);
    return true;
  };
  while (!P.queue.empty() && ok) {
    const int i = P.queue.back();
    P.queue.pop_back();
    P.queued[i] = 0;
    if (work > P.workLimit) continue;  // drain the queue
    const double L = curLo[w.n + i], U = curUp[w.n + i];
    const bool hasL = finite(L), hasU = finite(U);
    if (!hasL && !hasU) continue;
    const int b = P.beg[i], e = P.beg[i + 1];
    work += static_cast<double>(e - b);
    // Smallest and largest activity, with the count of infinite terms.
    double minA = 0.0, maxA = 0.0;
    int minInf = 0, maxInf = 0;
    for (int p = b; p < e; ++p) {
      const double a = P.val[p], l = curLo[P.col[p]], u = curUp[P.col[p]];
      const double lowEnd = a > 0 ? l : u, highEnd = a > 0 ? u : l;
      if (finite(lowEnd)) minA += a * lowEnd; else ++minInf;
      if (finite(highEnd)) maxA += a * highEnd; else ++maxInf;
    }
    if ((hasU && minInf == 0 && minA > U + kRowSlack * std::max(1.0, std::fabs(U))) ||
        (hasL && maxInf == 0 && maxA < L - kRowSlack * std::max(1.0, std::fabs(L)))) {
      ok = false;
      break;
    }
    const bool useU = hasU && minInf <= 1, useL = hasL && maxInf <= 1;
    if (!useU && !useL) continue;
    for (int p = b; p < e && ok; ++p) {
      const int j = P.col[p];
      const double a = P.val[p], l = curLo[j], u = curUp[j];
      double nl = -tol::kInf, nu = tol::kInf;
      if (useU) {
        // a x_j <= U - (smallest activity of the other terms).
        const double own = a > 0 ? l : u;
        double rest = tol::kInf;
        if (finite(own)) {
          if (minInf == 0) rest = minA - a * own;
        } else if (minInf == 1) {
          rest = minA;
        }
        if (rest < tol::kInf) {
          const double v = (U - rest) / a;
          if (std::fabs(v) < kMaxValue) (a > 0 ? nu : nl) = v;
        }
      }
      if (useL) {
        const double own = a > 0 ? u : l;
        double rest = -tol::kInf;
        if (finite(own)) {
          if (maxInf == 0) rest = maxA - a * own;
        } else if (maxInf == 1) {
          rest = maxA;
        }
        if (rest > -tol::kInf) {
          const double v = (L - rest) / a;
          if (std::fabs(v) < kMaxValue) {
            if (a > 0) nl = std::max(nl, v);
            else nu = std::min(nu, v);
          }
        }
      }
      if (nl > l || nu < u) ok = tightenCol(j, nl, nu);
    }
  }
  for (int i : P.queue) P.queued[i] = 0;
  P.queue.clear();
  if (!ok) {
    ++P.emptied;
    return false;
  }
  if (found.empty()) return true;
  P.tightened += static_cast<long long>(found.size());
  auto p = std::make_shared<Path>();
  p->parent = nd.path;
  p->changes = found;
  const bool engineHeld = enginePath == nd.path.get();
  nd.path = std::move(p);
  if (engineHeld) enginePath = nd.path.get();
  return true;
}

}  // namespace vnt::mip
