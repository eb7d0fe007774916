// The open-node store: slots with two indexed binary heaps (node bound and
// selection key), so that the selection, the best bound and removal are all
// logarithmic and nothing is allocated per node beyond the node itself.
#include <algorithm>
#include <cmath>

#include "mip/search.h"

namespace vnt::mip {

size_t Node::bytes() const {
  size_t b = sizeof(Node);
  if (path) b += sizeof(Path) + path->changes.capacity() * sizeof(BoundChange);
  // The basis is shared by the two children of a node: half each.
  if (basis) b += basis->capacity() / 2;
  return b;
}

void NodeStore::setRule(int rule) {
  if (rule == rule_) return;
  rule_ = rule;
  // Rebuild the selection heap with the new keys.
  heap_[1].clear();
  for (size_t s = 0; s < slots_.size(); ++s)
    if (slots_[s].heapPos[0] >= 0) {
      keys_[1][s] = key(slots_[s]);
      heapPush(1, static_cast<int>(s));
    }
}

double NodeStore::key(const Node& nd) const {
  double k;
  switch (rule_) {
    case 0: k = -static_cast<double>(nd.seq >= 0 ? nd.seq : 0); break;  // depth first: newest first
    case 2: k = nd.bound + std::max(nd.estimate, 0.0); break;          // best estimate
    case 3: k = (std::max(nd.estimate, 0.0) + nd.bound) / (std::max(nd.estimate, 0.0) + 1e-10); break;
    default: k = nd.bound + (nd.depth > 0 ? 1.0 / (nd.depth + 1.0) : 1.0) * 1e-14 * (std::fabs(nd.bound) + 1.0);
  }
  return std::min(k, 1e74);
}

bool NodeStore::less(int h, int a, int b) const {
  const double ka = keys_[h][a], kb = keys_[h][b];
  if (ka != kb) return ka < kb;
  return slots_[a].seq > slots_[b].seq;  // newer first on ties
}

void NodeStore::siftUp(int h, int pos) {
  std::vector<int>& H = heap_[h];
  const int s = H[pos];
  while (pos > 0) {
    const int par = (pos - 1) / 2;
    if (!less(h, s, H[par])) break;
    H[pos] = H[par];
    slots_[H[pos]].heapPos[h] = pos;
    pos = par;
  }
  H[pos] = s;
  slots_[s].heapPos[h] = pos;
}

void NodeStore::siftDown(int h, int pos) {
  std::vector<int>& H = heap_[h];
  const int n = static_cast<int>(H.size());
  const int s = H[pos];
  for (;;) {
    int c = 2 * pos + 1;
    if (c >= n) break;
    if (c + 1 < n && less(h, H[c + 1], H[c])) ++c;
    if (!less(h, H[c], s)) break;
    H[pos] = H[c];
    slots_[H[pos]].heapPos[h] = pos;
    pos = c;
  }
  H[pos] = s;
  slots_[s].heapPos[h] = pos;
}

void NodeStore::heapPush(int h, int slot) {
  heap_[h].push_back(slot);
  siftUp(h, static_cast<int>(heap_[h].size()) - 1);
}

void NodeStore::heapRemove(int h, int pos) {
  std::vector<int>& H = heap_[h];
  const int last = H.back();
  H.pop_back();
  if (pos < static_cast<int>(H.size())) {
    H[pos] = last;
    slots_[last].heapPos[h] = pos;
    siftUp(h, pos);
    siftDown(h, slots_[last].heapPos[h]);
  }
}

void NodeStore::insert(Node&& nd) {
  int s;
  if (!free_.empty()) {
    s = free_.back();
    free_.pop_back();
    slots_[s] = std::move(nd);
  } else {
    s = static_cast<int>(slots_.size());
    slots_.push_back(std::move(nd));
    keys_[0].push_back(0.0);
    keys_[1].push_back(0.0);
  }
  Node& n = slots_[s];
  keys_[0][s] = n.bound;
  keys_[1][s] = key(n);
  heapPush(0, s);
  heapPush(1, s);
  ++count_;
  bytes_ += n.bytes();
}

double NodeStore::bestBound() const {
  if (heap_[0].empty()) return tol::kNone;
  return keys_[0][heap_[0][0]];
}

Node NodeStore::removeSlot(int s) {
  Node& n = slots_[s];
  heapRemove(0, n.heapPos[0]);
  heapRemove(1, n.heapPos[1]);
  n.heapPos[0] = n.heapPos[1] = -1;
  bytes_ -= std::min(bytes_, n.bytes());
  Node out = std::move(n);
  slots_[s] = Node();
  free_.push_back(s);
  --count_;
  ++selections_;
  return out;
}

Node NodeStore::takeBest() { return removeSlot(heap_[0][0]); }

Node NodeStore::selectNode(double inc, double cutoff, double absGap, double relGap, long long bbInterval) {
  if (rule_ == 2 && bbInterval > 0 && selections_ % bbInterval == 0) return takeBest();
  const int s = heap_[1][0];
  const double b = slots_[s].bound;
  if (b < tol::kNone && !(inc < tol::kNone && gapClosed(inc, b, absGap, relGap)) && cutoff > b) return removeSlot(s);
  return takeBest();
}

void NodeStore::clear() {
  slots_.clear();
  free_.clear();
  heap_[0].clear();
  heap_[1].clear();
  keys_[0].clear();
  keys_[1].clear();
  count_ = 0;
  bytes_ = 0;
}

}  // namespace vnt::mip
