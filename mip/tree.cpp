// The open-node store: slots with two indexed binary heaps (node bound and
// selection key), so that the selection, the best bound and removal are all
// logarithmic and nothing is allocated per node beyond the node itself.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

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
  const double f = std::min(releasedBound_, files_.empty() ? tol::kNone : std::min(files_.bestBound(), tol::kNone));
  if (heap_[0].empty()) return f;
  return std::min(f, keys_[0][heap_[0][0]]);
}

Node NodeStore::removeSlot(int s, bool selection) {
  Node& n = slots_[s];
  heapRemove(0, n.heapPos[0]);
  heapRemove(1, n.heapPos[1]);
  n.heapPos[0] = n.heapPos[1] = -1;
  bytes_ -= std::min(bytes_, n.bytes());
  Node out = std::move(n);
  slots_[s] = Node();
  free_.push_back(s);
  --count_;
  if (selection) ++selections_;
  return out;
}

Node NodeStore::takeBest() {
  readBackIfBetter();
  if (count_ == 0) {  // a block that could not be read back
    Node none;
    none.bound = tol::kNone;
    return none;
  }
  return removeSlot(heap_[0][0]);
}

Node NodeStore::selectNode(double inc, double cutoff, double absGap, double relGap, long long bbInterval) {
  if (count_ == 0 || (rule_ == 2 && bbInterval > 0 && selections_ % bbInterval == 0)) return takeBest();
  const int s = heap_[1][0];
  const double b = slots_[s].bound;
  if (b < tol::kNone && !(inc < tol::kNone && gapClosed(inc, b, absGap, relGap)) && cutoff > b) return removeSlot(s);
  return takeBest();
}

// ---------------------------------------------------------------------------
// Node files.

void NodeStore::configureFiles(Env& env, int mode, double workMemMB, const std::string& workDir, int display) {
  files_.configure(env, mode, workDir, display);
  workMemBytes_ = workMemMB >= 9.999999999999999e68 ? workMemMB : workMemMB * 1048576.0;
}

// A node as bytes: its fields, the bound changes of its whole path from the
// root (in order, so that later changes override earlier ones) and its basis.
void NodeStore::encode(const Node& nd, std::string& out) {
  auto put = [&out](const auto& v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); };
  put(nd.bound);
  put(nd.estimate);
  put(nd.seq);
  put(nd.id);
  put(nd.parentId);
  put(nd.depth);
  put(nd.branchCol);
  put(nd.dir);
  put(nd.branchKind);
  put(nd.pcCol);
  put(nd.pcDist);
  put(nd.parentObj);
  std::vector<const Path*> chain;
  uint64_t changes = 0;
  for (const Path* p = nd.path.get(); p; p = p->parent.get()) {
    chain.push_back(p);
    changes += p->changes.size();
  }
  put(changes);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    for (const BoundChange& c : (*it)->changes) put(c);
  const uint64_t nb = nd.basis ? nd.basis->size() : 0;
  put(nb);
  if (nb) out.append(reinterpret_cast<const char*>(nd.basis->data()), nb);
}

bool NodeStore::decode(const std::string& in, size_t& pos, Node& nd) {
  bool ok = true;
  auto get = [&](auto& v) {
    if (pos + sizeof v > in.size()) {
      ok = false;
      return;
    }
    std::memcpy(&v, in.data() + pos, sizeof v);
    pos += sizeof v;
  };
  get(nd.bound);
  get(nd.estimate);
  get(nd.seq);
  get(nd.id);
  get(nd.parentId);
  get(nd.depth);
  get(nd.branchCol);
  get(nd.dir);
  get(nd.branchKind);
  get(nd.pcCol);
  get(nd.pcDist);
  get(nd.parentObj);
  uint64_t changes = 0;
  get(changes);
  if (!ok || changes > (in.size() - pos) / sizeof(BoundChange)) return false;
  auto path = std::make_shared<Path>();
  path->changes.resize(changes);
  for (BoundChange& c : path->changes) get(c);
  nd.path = std::move(path);
  uint64_t nb = 0;
  get(nb);
  if (!ok || nb > in.size() - pos) return false;
  if (nb) {
    auto b = std::make_shared<Basis>(in.begin() + static_cast<std::ptrdiff_t>(pos),
                                     in.begin() + static_cast<std::ptrdiff_t>(pos + nb));
    pos += nb;
    nd.basis = std::move(b);
  } else {
    nd.basis.reset();
  }
  nd.heapPos[0] = nd.heapPos[1] = -1;
  return ok;
}

int NodeStore::spillIfNeeded() {
  if (!files_.enabled() || workMemBytes_ >= 9.999999999999999e68 || count_ < 2 ||
      static_cast<double>(bytes_) <= workMemBytes_)
    return 0;
  // The worse half by bound goes to disk; the best nodes stay at hand.
  std::vector<int> live;
  for (size_t s = 0; s < slots_.size(); ++s)
    if (slots_[s].heapPos[0] >= 0) live.push_back(static_cast<int>(s));
  const size_t keep = live.size() / 2;
  std::nth_element(live.begin(), live.begin() + static_cast<std::ptrdiff_t>(keep), live.end(),
                   [&](int a, int b) { return keys_[0][a] < keys_[0][b]; });
  std::string bytes;
  double best = tol::kNone;
  long long count = 0;
  std::vector<Node> moved;
  for (size_t q = keep; q < live.size(); ++q) {
    moved.push_back(removeSlot(live[q], false));
    best = std::min(best, moved.back().bound);
    encode(moved.back(), bytes);
    ++count;
  }
  const int st = files_.write(bytes, count, best);
  if (st != 0) {
    for (Node& nd : moved) insert(std::move(nd));  // nothing is lost with a failed write
    return st;
  }
  return 0;
}

// Before a best-bound choice: blocks on disk whose bound beats the best node
// in memory come back first.
void NodeStore::readBackIfBetter() {
  while (!files_.empty() && (count_ == 0 || files_.bestBound() < keys_[0][heap_[0][0]])) {
    std::string bytes;
    if (int st = files_.takeBest(bytes)) {
      fileError_ = st;
      return;
    }
    size_t pos = 0;
    while (pos < bytes.size()) {
      Node nd;
      if (!decode(bytes, pos, nd)) {
        fileError_ = 1803;
        return;
      }
      insert(std::move(nd));
    }
  }
}

void NodeStore::releaseFiles() {
  if (files_.empty()) return;
  releasedBound_ = std::min(releasedBound_, files_.bestBound());
  releasedNodes_ += files_.nodes();
  files_.clear();
}

void NodeStore::clear() {
  files_.clear();
  releasedBound_ = tol::kNone;
  releasedNodes_ = 0;
  fileError_ = 0;
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
