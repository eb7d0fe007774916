// Probing on binary columns and the conflict table (cliques of literals and
// implied bounds) that the clique and implied-bound separators read.
//
// Propagation works on activity bounds: for a row  L <= a x <= U  with
// minimal activity  minA, a column's bound follows from  U - (minA - its own
// smallest term).  Probing sets a binary to 0 and to 1 and propagates each
// side from the global bounds; what holds on both sides holds globally, an
// infeasible side fixes the binary to the other, and what one side implies
// is remembered as a clique of two literals or as an implied bound.
#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "env/limits.h"
#include "mip/cuts.h"
#include "mip/propagate.h"
#include "params/params.h"

namespace vnt::mip {

std::function<void(const Working&, const Conflicts&)> gProbeObserver;

namespace {
enum ProbeParam : int { kPCliques = 2003, kPImplied = 2041, kPProbe = 2042, kPProbeTime = 2065, kPProbeDetTime = 2150 };

using Rows = std::vector<std::vector<std::pair<int, double>>>;

inline bool isBinary(const Working& w, int j) { return w.kind[j] == kInt && w.lo[j] == 0.0 && w.up[j] == 1.0; }

}  // namespace

void Conflicts::reset(int cols) {
  n = cols;
  cliques.clear();
  litCliques.assign(2 * static_cast<size_t>(cols), {});
  implied.clear();
  members = 0;
}

void Conflicts::add(std::vector<int> lits) {
  std::sort(lits.begin(), lits.end());
  lits.erase(std::unique(lits.begin(), lits.end()), lits.end());
  for (size_t k = 1; k < lits.size(); ++k)
    if ((lits[k] >> 1) == (lits[k - 1] >> 1)) return;  // both literals of a column
  if (lits.size() < 2) return;
  const int id = static_cast<int>(cliques.size());
  for (int l : lits) litCliques[l].push_back(id);
  members += static_cast<long long>(lits.size());
  cliques.push_back(std::move(lits));
}

// A row side  a x <= b  over binaries (the other terms at their smallest
// activity; a negative coefficient complements its binary): the items whose
// weights pairwise exceed the capacity form a clique.  Items sorted by
// weight; the longest prefix whose two lightest exceed b is one clique, and
// each lighter item that conflicts with the heaviest gives one more.
void rowCliques(const Working& w, const Rows& rows, Conflicts& out) {
  const int n = w.n;
  struct Item {
    int lit;
    double wgt;
  };
  std::vector<Item> items;
  std::vector<int> lits;
  for (int i = 0; i < w.m; ++i) {
    const auto& r = rows[i];
    if (r.size() < 2) continue;
    for (int side = 0; side < 2; ++side) {
      const double lim = side == 0 ? w.up[n + i] : w.lo[n + i];
      if (!finiteB(lim)) continue;
      const double sg = side == 0 ? 1.0 : -1.0;
      double b = sg * lim;
      items.clear();
      bool ok = true;
      for (const auto& [j, a0] : r) {
        const double a = sg * a0;
        if (isBinary(w, j)) {
          if (a > 0) items.push_back({2 * j + 1, a});
          else if (a < 0) {
            items.push_back({2 * j, -a});
            b -= a;
          }
          continue;
        }
        const double bnd = a > 0 ? w.lo[j] : w.up[j];
        if (!finiteB(bnd)) {
          ok = false;
          break;
        }
        b -= a * bnd;
      }
      if (!ok || items.size() < 2) continue;
      std::sort(items.begin(), items.end(), [](const Item& p, const Item& q) { return p.wgt > q.wgt; });
      const double eps = cuttol::kCliqueEps * std::max(1.0, std::fabs(b));
      if (items[0].wgt + items[1].wgt <= b + eps) continue;
      size_t t = 1;
      while (t + 1 < items.size() && items[t].wgt + items[t + 1].wgt > b + eps) ++t;
      lits.clear();
      for (size_t k = 0; k <= t; ++k) lits.push_back(items[k].lit);
      out.add(lits);
      // Lighter items in conflict with a prefix of the heavy ones.
      int extra = 0;
      for (size_t k = t + 1; k < items.size() && extra < 8; ++k) {
        if (items[0].wgt + items[k].wgt <= b + eps) break;
        lits.clear();
        for (size_t q = 0; q < k && items[q].wgt + items[k].wgt > b + eps; ++q) lits.push_back(items[q].lit);
        lits.push_back(items[k].lit);
        out.add(lits);
        ++extra;
      }
    }
  }
}

ProbeStats probeBinaries(Working& w, const Rows& rows, double workLimit, const std::function<bool()>& stop,
                         Conflicts& out) {
  ProbeStats st;
  const int n = w.n;
  if (out.n != n) out.reset(n);
  rowCliques(w, rows, out);
  Propagator pr(w, rows);
  if (!pr.propagateAll()) {
    st.infeasible = true;
    st.work = pr.work;
    return st;
  }
  // Candidates: binaries not tied to indicator constraints, most rows first.
  std::vector<int> cand;
  for (int j = 0; j < n; ++j)
    if (isBinary(w, j) && w.indOfCol[j].empty() && pr.degree(j) > 0) cand.push_back(j);
  std::stable_sort(cand.begin(), cand.end(), [&pr](int a, int b) { return pr.degree(a) > pr.degree(b); });
  st.candidates = static_cast<long long>(cand.size());
  std::vector<double> lo0(n), up0(n), lo1(n), up1(n);
  std::vector<int> changed0, stamp(n, -1), stamp0(n, -1);
  std::unordered_set<uint64_t> pairSeen;
  size_t probeCliques = 0;
  auto collect = [&](size_t mark, std::vector<int>& list, int tag) {
    list.clear();
    for (size_t q = mark; q < pr.trail.size(); ++q) {
      const int k = pr.trail[q].j;
      if (stamp[k] != tag) {
        stamp[k] = tag;
        list.push_back(k);
      }
    }
  };
  auto collect0 = [&](size_t mark, std::vector<int>& list, int tag) {
    collect(mark, list, tag);
    for (int k : list) stamp0[k] = tag;
  };
  auto conflictPair = [&](int la, int lb) {
    if (probeCliques >= cuttol::kMaxProbeCliques) return;
    const uint64_t key = (static_cast<uint64_t>(std::min(la, lb)) << 32) | static_cast<uint32_t>(std::max(la, lb));
    if (!pairSeen.insert(key).second) return;
    out.add({la, lb});
    ++probeCliques;
  };
  auto implied = [&](int j, int v, int k, bool upper, double b) {
    if (out.implied.size() < cuttol::kMaxImplied) out.implied.push_back({j, v, k, upper, b});
  };
  std::vector<int> changed1;
  std::vector<std::pair<int, std::pair<double, double>>> global;
  int tag = 0;
  for (size_t c = 0; c < cand.size(); ++c) {
    if (pr.work > workLimit || (stop && (c & 15) == 0 && stop())) {
      st.finished = false;
      break;
    }
    const int j = cand[c];
    if (pr.lo[j] == pr.up[j]) continue;  // fixed by an earlier probe
    ++st.probed;
    const size_t mark = pr.trail.size();
    // Side 0.
    const bool ok0 = pr.tighten(j, 0.0, 0.0) && pr.propagate();
    ++tag;
    collect0(mark, changed0, tag);
    const int tag0 = tag;
    for (int k : changed0) {
      lo0[k] = pr.lo[k];
      up0[k] = pr.up[k];
    }
    pr.undo(mark);
    // Side 1.
    const bool ok1 = pr.tighten(j, 1.0, 1.0) && pr.propagate();
    ++tag;
    collect(mark, changed1, tag);
    if (!ok0 && !ok1) {
      st.infeasible = true;
      break;
    }
    if (!ok0) continue;  // x_j = 1 for good: side 1's propagation stays as the global state
    for (int k : changed1) {
      lo1[k] = pr.lo[k];
      up1[k] = pr.up[k];
    }
    pr.undo(mark);
    if (!ok1) {
      if (!pr.tighten(j, 0.0, 0.0) || !pr.propagate()) {
        st.infeasible = true;
        break;
      }
      continue;
    }
    // Both sides feasible; the propagator holds the global bounds again.
    // A binary fixed by one side is a conflict of two literals (x_j = v
    // excludes x_k = 1 - value); other columns get implied bounds.
    global.clear();
    for (int side = 0; side < 2; ++side) {
      const std::vector<int>& ch = side == 0 ? changed0 : changed1;
      const std::vector<double>& sl = side == 0 ? lo0 : lo1;
      const std::vector<double>& su = side == 0 ? up0 : up1;
      for (int k : ch) {
        if (k == j) continue;
        const bool bin = w.kind[k] == kInt && pr.lo[k] == 0.0 && pr.up[k] == 1.0;
        if (bin) {
          if (sl[k] == su[k]) conflictPair(2 * j + side, 2 * k + (sl[k] > 0.5 ? 0 : 1));
        } else {
          if (su[k] < pr.up[k]) implied(j, side, k, true, su[k]);
          if (sl[k] > pr.lo[k]) implied(j, side, k, false, sl[k]);
        }
        // The hull of the two sides (integer columns changed on both).
        if (side == 1 && stamp0[k] == tag0 && w.kind[k] == kInt) {
          const double hl = std::min(lo0[k], lo1[k]), hu = std::max(up0[k], up1[k]);
          if (hl > pr.lo[k] || hu < pr.up[k]) global.push_back({k, {hl, hu}});
        }
      }
    }
    for (const auto& g : global)
      if (!pr.tighten(g.first, g.second.first, g.second.second)) {
        st.infeasible = true;
        break;
      }
    if (st.infeasible || !pr.propagate()) {
      st.infeasible = true;
      break;
    }
  }
  st.work = pr.work;
  if (st.infeasible) return st;
  // New global bounds of the integer columns (continuous columns keep
  // theirs: their implied values live on in the implied bounds).
  for (int j = 0; j < n; ++j) {
    if (w.kind[j] != kInt || !w.indOfCol[j].empty()) continue;
    const double l = pr.lo[j], u = pr.up[j];
    if (l <= w.lo[j] && u >= w.up[j]) continue;
    if (l == u) ++st.fixed;
    else ++st.tightened;
    w.lo[j] = std::max(w.lo[j], l);
    w.up[j] = std::min(w.up[j], u);
    w.lp.lb[j] = w.lo[j];
    w.lp.ub[j] = w.up[j];
  }
  return st;
}

// Probing and the conflict table at the start of a run, before the root LP.
// Returns 0, or -kStopPresolveInfeasible when probing proves the model has
// no solution.
int Search::probeRoot() {
  Env& env = *env_;
  conflicts_ = std::make_shared<Conflicts>();
  conflicts_->reset(w.n);
  probeFixed_ = 0;
  const int level = params::getInt(env, kPProbe);
  const bool wanted = params::getInt(env, kPCliques) >= 0 || params::getInt(env, kPImplied) >= 0;
  if (w.numIntegers == 0) return 0;
  buildCutRows();
  if (level < 0) {
    if (wanted) rowCliques(w, cutRows_, *conflicts_);
    return 0;
  }
  double nnz = 0.0;
  for (const auto& r : cutRows_) nnz += static_cast<double>(r.size());
  const double scale = level <= 1 ? 1.0 : level == 2 ? 2.0 : 4.0;
  const double work = scale * std::max(cuttol::kProbeWorkFloor, cuttol::kProbeWorkPerNnz * nnz);
  const double probeTime = params::getDbl(env, kPProbeTime), probeTicks = params::getDbl(env, kPProbeDetTime);
  const double t0 = envTime(env), k0 = detTicks(env);
  auto stop = [&]() {
    return checkLimits(env) != 0 || envTime(env) - t0 > probeTime || detTicks(env) - k0 > probeTicks;
  };
  const ProbeStats st = probeBinaries(w, cutRows_, work, stop, *conflicts_);
  if (env.counter) env.counter->add(static_cast<uint64_t>(st.work));
  if (gProbeObserver) gProbeObserver(w, *conflicts_);
  if (st.infeasible) return -kStopPresolveInfeasible;
  probeFixed_ = st.fixed;
  // After a restart the repeated presolve reports for the whole preparation.
  if (rp.display >= 1 && restarts_ == 0) {
    if (st.fixed + st.tightened > 0)
      print(env, Chan::Results, "Probing fixed %lld vars, tightened %lld bounds.\n", st.fixed, st.tightened);
    if (st.probed > 0)
      print(env, Chan::Results, "Probing time = %.2f sec. (%.2f ticks)\n", envTime(env) - t0, detTicks(env) - k0);
  }
  return 0;
}

}  // namespace vnt::mip
