// Clique cuts and implied-bound cuts from the conflict table.
//
// Clique cuts: a literal's weight is its LP value (x_j for x_j = 1, 1 - x_j
// for x_j = 0).  From each fractional seed the clique grows greedily over
// the seed's neighbours, heaviest first, keeping only literals adjacent to
// every member so far; literals of weight 0 that still fit lift the cut.
// The cut is  sum of the literals <= 1.
//
// Implied-bound cuts: x_j = v implies x_k <= b (or >= b) while the global
// bound is B; the cut interpolates between b and B linearly in x_j.
#include <algorithm>
#include <cmath>
#include <set>

#include "mip/cuts.h"

namespace vnt::mip {

namespace {
inline bool finiteB(double v) { return v > -tol::kInf && v < tol::kInf; }
}  // namespace

void separateCliques(const SepInput& in, std::vector<Cut>& out) {
  if (!in.conflicts || in.conflicts->empty() || in.conflicts->n != in.n) return;
  const Conflicts& cf = *in.conflicts;
  const int n = in.n;
  auto free01 = [&](int j) { return in.lo[j] == 0.0 && in.up[j] == 1.0; };
  auto weight = [&](int lit) {
    const double v = in.x[lit >> 1];
    return (lit & 1) ? v : 1.0 - v;
  };
  // Seeds: fractional literals in some clique, heaviest first.
  std::vector<int> seeds;
  for (int j = 0; j < n; ++j) {
    if (!free01(j)) continue;
    const double v = in.x[j];
    if (v <= in.intTol || v >= 1.0 - in.intTol) continue;
    if (!cf.litCliques[2 * j + 1].empty()) seeds.push_back(2 * j + 1);
    if (!cf.litCliques[2 * j].empty()) seeds.push_back(2 * j);
  }
  std::stable_sort(seeds.begin(), seeds.end(), [&](int a, int b) { return weight(a) > weight(b); });
  if (seeds.size() > static_cast<size_t>(cuttol::kCliqueSeeds)) seeds.resize(cuttol::kCliqueSeeds);
  std::vector<int> candMark(2 * static_cast<size_t>(n), 0), adjMark(2 * static_cast<size_t>(n), 0);
  std::vector<char> inCut(2 * static_cast<size_t>(n), 0);
  int candStamp = 0, adjStamp = 0;
  std::vector<int> cand, chosen;
  std::vector<double> dense(n, 0.0);
  std::vector<int> nzList;
  std::set<std::vector<int>> seen;
  double work = 0.0;
  for (int s : seeds) {
    if (work > cuttol::kCliqueWork) break;
    if (inCut[s]) continue;  // already in a violated clique of this round
    // Neighbours of the seed (free columns only).
    ++candStamp;
    cand.clear();
    candMark[s] = candStamp;
    candMark[s ^ 1] = candStamp;
    for (int c : cf.litCliques[s]) {
      const std::vector<int>& cl = cf.cliques[c];
      work += static_cast<double>(cl.size());
      for (int l : cl)
        if (candMark[l] != candStamp && free01(l >> 1)) {
          candMark[l] = candStamp;
          cand.push_back(l);
        }
    }
    if (cand.empty()) continue;
    std::stable_sort(cand.begin(), cand.end(), [&](int a, int b) { return weight(a) > weight(b); });
    // Greedy growth: candMark == candStamp means still adjacent to every member.
    chosen.assign(1, s);
    double wsum = weight(s);
    for (size_t q = 0; q < cand.size(); ++q) {
      const int l = cand[q];
      if (candMark[l] != candStamp) continue;
      chosen.push_back(l);
      wsum += weight(l);
      // Keep only the later candidates adjacent to l.
      ++adjStamp;
      for (int c : cf.litCliques[l]) {
        const std::vector<int>& cl = cf.cliques[c];
        work += static_cast<double>(cl.size());
        for (int u : cl) adjMark[u] = adjStamp;
      }
      work += static_cast<double>(cand.size() - q);
      for (size_t r = q + 1; r < cand.size(); ++r)
        if (candMark[cand[r]] == candStamp && adjMark[cand[r]] != adjStamp) candMark[cand[r]] = 0;
    }
    for (int l : cand) candMark[l] = 0;
    candMark[s] = candMark[s ^ 1] = 0;
    if (chosen.size() < 2 || wsum <= 1.0 + cuttol::kMinViolation + in.intTol) continue;
    std::sort(chosen.begin(), chosen.end());
    if (!seen.insert(chosen).second) continue;
    double rhs = 1.0;
    for (int l : chosen) {
      const int j = l >> 1;
      if (l & 1) {
        dense[j] += 1.0;
      } else {
        dense[j] -= 1.0;
        rhs -= 1.0;
      }
      nzList.push_back(j);
      if (weight(l) > 0) inCut[l] = 1;
    }
    offerCut(in, dense, nzList, rhs, kFamCliques, out);
  }
}

void separateImplied(const SepInput& in, std::vector<Cut>& out) {
  if (!in.conflicts || in.conflicts->n != in.n) return;
  const double* x = in.x;
  std::vector<double> dense(in.n, 0.0);
  std::vector<int> nzList;
  for (const ImpliedBound& ib : in.conflicts->implied) {
    const int j = ib.bin, k = ib.col;
    if (in.lo[j] == in.up[j]) continue;
    const double b = ib.bound;
    double cj, rhs;  // x_k + cj x_j <= rhs (upper), -x_k + cj x_j <= rhs (lower)
    if (ib.upper) {
      const double B = in.up[k];
      if (!finiteB(B) || b >= B - cuttol::kImpliedMinGain * std::max(1.0, std::fabs(B))) continue;
      if (ib.val == 1) {
        cj = B - b;
        rhs = B;
      } else {
        cj = -(B - b);
        rhs = b;
      }
      if (x[k] + cj * x[j] - rhs <= cuttol::kMinViolation * std::max(1.0, std::fabs(rhs))) continue;
      dense[k] += 1.0;
    } else {
      const double B = in.lo[k];
      if (!finiteB(B) || b <= B + cuttol::kImpliedMinGain * std::max(1.0, std::fabs(B))) continue;
      if (ib.val == 1) {
        cj = b - B;
        rhs = -B;
      } else {
        cj = -(b - B);
        rhs = -b;
      }
      if (-x[k] + cj * x[j] - rhs <= cuttol::kMinViolation * std::max(1.0, std::fabs(rhs))) continue;
      dense[k] -= 1.0;
    }
    dense[j] += cj;
    nzList.push_back(k);
    nzList.push_back(j);
    offerCut(in, dense, nzList, rhs, kFamImplied, out);
  }
}

}  // namespace vnt::mip
