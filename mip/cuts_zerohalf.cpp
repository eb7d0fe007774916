// Zero-half cuts: Chvatal-Gomory cuts whose multipliers are 0 or 1/2.
//
// Take rows  a_i x <= b_i  with integer coefficients on integer columns.
// Half the sum of a set S of them, with each column of odd total coefficient
// made even by its bound row (x_j >= l_j or x_j <= u_j, the one nearer the
// LP point), has even coefficients; when its right-hand side is odd, rounding
// it down gives the cut
//     sum_j (alpha_j / 2) x_j <= (B - 1) / 2.
// At the LP point x* the cut is violated by (1 - slack(S)) / 2, where
// slack(S) sums the slacks b_i - a_i x* of the rows in S and the distances
// of the odd columns to their bounds: the separation looks for sets of small
// total slack with an odd right-hand side.  This is a parity problem over
// GF(2): rows are bit vectors over the columns whose LP value is off its
// bounds, with the parity of the right-hand side (after the shift of every
// column to its nearer bound) as a last bit.  Gaussian elimination, pivoting
// on the row of least slack in each column (columns far from their bounds
// first), keeps the combinations cheap; every combination met whose slack is
// below 1 and whose right-hand side is odd is a cut candidate.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numeric>

#include "mip/cuts.h"

namespace vnt::mip {

namespace {

constexpr double kIntEps = 1e-9;      // an integral limit within this is integral
constexpr double kMaxSlack = 1.0 - 2e-3;  // combinations at least this slack cannot give a violated cut
constexpr double kZeroSlack = 1e-9;   // a column this close to its bound costs nothing to fix

bool finite(double v) { return v > -tol::kInf && v < tol::kInf; }

struct ParityRow {
  std::vector<uint64_t> cols;  // odd columns (bits over the kept columns)
  std::vector<uint64_t> orig;  // rows of the combination (bits over the candidate rows)
  bool odd = false;            // parity of the shifted right-hand side
  double slack = 0.0;          // sum of the slacks of the candidate rows in orig
  bool pivot = false;
  bool dead = false;
};

}  // namespace

void separateZeroHalf(const SepInput& in, int level, bool node, std::vector<Cut>& out) {
  const int n = in.n;
  const size_t first = out.size();
  const std::vector<char>& kind = *in.kind;
  const auto& rows = *in.rows;
  const std::vector<char>& integral = *in.rowIntegral;
  const int maxRows = node ? 200 : level >= 2 ? 4000 : 1000;
  const double workBudget = node ? 3e5 : level >= 2 ? 6e7 : 1e7;
  const size_t maxCuts = node ? 10 : level >= 2 ? 200 : 100;

  // Each integer column's nearer bound and its distance from x*.
  std::vector<double> colSlack(n, tol::kInf), lo(n, -tol::kInf), up(n, tol::kInf);
  std::vector<char> atUpper(n, 0);
  for (int j = 0; j < n; ++j) {
    if (kind[j] != kInt) continue;
    if (finite(in.lo[j])) lo[j] = std::ceil(in.lo[j] - kIntEps);
    if (finite(in.up[j])) up[j] = std::floor(in.up[j] + kIntEps);
    const double dl = finite(lo[j]) ? in.x[j] - lo[j] : tol::kInf;
    const double du = finite(up[j]) ? up[j] - in.x[j] : tol::kInf;
    atUpper[j] = du < dl;
    colSlack[j] = std::max(0.0, std::min(dl, du));
  }

  // Candidate rows in <= form with small slack: (row, sign, limit).
  struct Src {
    int row;
    double sg, b, slack;
  };
  std::vector<Src> src;
  for (int i = 0; i < in.m; ++i) {
    if (!integral[i] || rows[i].empty()) continue;
    for (int side = 0; side < 2; ++side) {
      const double lim = side == 0 ? in.up[n + i] : in.lo[n + i];
      if (!finite(lim)) continue;
      const double sg = side == 0 ? 1.0 : -1.0;
      // Integral activity: a fractional limit rounds inward.
      const double b = std::floor(sg * lim + kIntEps);
      const double slack = b - sg * in.act[i];
      if (slack < -1e-6 || slack >= kMaxSlack) continue;
      src.push_back({i, sg, b, std::max(0.0, slack)});
      if (side == 0 && in.lo[n + i] == in.up[n + i]) break;  // an equality: one side is enough
    }
  }
  if (src.size() > static_cast<size_t>(maxRows)) {
    std::nth_element(src.begin(), src.begin() + maxRows, src.end(),
                     [](const Src& a, const Src& b) { return a.slack < b.slack; });
    src.resize(maxRows);
  }
  const int R = static_cast<int>(src.size());
  if (R == 0) return;

  // Kept columns: integer columns off their bounds in some candidate row.
  // A column with an infinite distance must end even (no bound fixes it).
  std::vector<int> colPos(n, -1), cols;
  for (const Src& s : src)
    for (const auto& [j, a] : rows[s.row])
      if (colPos[j] < 0 && colSlack[j] > kZeroSlack && std::fmod(std::fabs(a), 2.0) == 1.0) {
        colPos[j] = static_cast<int>(cols.size());
        cols.push_back(j);
      }
  const int C = static_cast<int>(cols.size());
  const size_t cw = (static_cast<size_t>(C) + 63) / 64, rw = (static_cast<size_t>(R) + 63) / 64;
  std::vector<ParityRow> pr(R);
  for (int r = 0; r < R; ++r) {
    ParityRow& p = pr[r];
    p.cols.assign(cw, 0);
    p.orig.assign(rw, 0);
    p.orig[r / 64] |= uint64_t{1} << (r % 64);
    p.slack = src[r].slack;
    // Right-hand side after shifting each column to its nearer bound.
    double b = src[r].b;
    bool ok = true;
    for (const auto& [j, a0] : rows[src[r].row]) {
      const double a = src[r].sg * a0;
      if (std::fmod(std::fabs(a), 2.0) == 1.0 && colPos[j] >= 0) p.cols[colPos[j] / 64] ^= uint64_t{1} << (colPos[j] % 64);
      const double bnd = atUpper[j] ? up[j] : lo[j];
      if (!finite(bnd)) {
        if (std::fmod(std::fabs(a), 2.0) == 1.0 && colPos[j] < 0) ok = false;  // odd, unbounded, yet off the parity matrix
        continue;
      }
      b -= a * bnd;
    }
    p.odd = ok && std::fmod(std::fabs(b), 2.0) == 1.0;
    p.dead = !ok;
  }

  // Cost of a parity row: its slack plus the distances of its odd columns.
  auto cost = [&](const ParityRow& p) {
    double c = p.slack;
    for (size_t w = 0; w < cw && c < kMaxSlack; ++w)
      for (uint64_t bits = p.cols[w]; bits; bits &= bits - 1) {
        const int q = static_cast<int>(w * 64) + std::countr_zero(bits);
        c += colSlack[cols[q]];
      }
    return c;
  };

  std::vector<double> dense(n, 0.0);
  std::vector<int> nzList;
  std::vector<char> seen(n, 0);
  auto emit = [&](const ParityRow& p) {
    // The combined row over all columns, in exact integers.
    double B = 0.0;
    for (size_t w = 0; w < rw; ++w)
      for (uint64_t bits = p.orig[w]; bits; bits &= bits - 1) {
        const Src& s = src[static_cast<int>(w * 64) + std::countr_zero(bits)];
        for (const auto& [j, a] : rows[s.row]) {
          if (!seen[j]) {
            seen[j] = 1;
            nzList.push_back(j);
          }
          dense[j] += s.sg * a;
        }
        B += s.b;
      }
    bool ok = true;
    for (int j : nzList) {
      seen[j] = 0;
      if (std::fmod(std::fabs(dense[j]), 2.0) != 1.0) continue;
      // Odd: the nearer bound makes it even.
      if (atUpper[j]) {
        if (!finite(up[j])) ok = false;
        dense[j] += 1.0;
        B += up[j];
      } else {
        if (!finite(lo[j])) ok = false;
        dense[j] -= 1.0;
        B -= lo[j];
      }
    }
    if (!ok || std::fmod(std::fabs(B), 2.0) != 1.0) {
      for (int j : nzList) dense[j] = 0.0;
      nzList.clear();
      return;
    }
    for (int j : nzList) dense[j] *= 0.5;
    offerCut(in, dense, nzList, (B - 1.0) * 0.5, kFamZeroHalf, out);
  };

  auto check = [&](const ParityRow& p) {
    if (p.dead || !p.odd || p.slack >= kMaxSlack || out.size() - first >= maxCuts) return;
    if (cost(p) < kMaxSlack) emit(p);
  };
  for (const ParityRow& p : pr) check(p);

  // Elimination: columns far from their bounds first (leaving them odd costs most).
  std::vector<int> order(C);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int a, int b) { return colSlack[cols[a]] > colSlack[cols[b]]; });
  double work = 0.0;
  for (int q : order) {
    if (work > workBudget || out.size() - first >= maxCuts || (in.stop && in.stop())) break;
    const size_t w = static_cast<size_t>(q) / 64;
    const uint64_t bit = uint64_t{1} << (q % 64);
    int piv = -1;
    for (int r = 0; r < R; ++r)
      if (!pr[r].pivot && !pr[r].dead && (pr[r].cols[w] & bit) && (piv < 0 || pr[r].slack < pr[piv].slack)) piv = r;
    work += R;
    if (piv < 0) continue;
    ParityRow& p = pr[piv];
    p.pivot = true;
    for (int r = 0; r < R; ++r) {
      ParityRow& o = pr[r];
      if (r == piv || o.dead || !(o.cols[w] & bit)) continue;
      for (size_t k = 0; k < cw; ++k) o.cols[k] ^= p.cols[k];
      double s = 0.0;
      for (size_t k = 0; k < rw; ++k) o.orig[k] ^= p.orig[k];
      for (size_t k = 0; k < rw; ++k)
        for (uint64_t bits = o.orig[k]; bits; bits &= bits - 1) s += src[static_cast<int>(k * 64) + std::countr_zero(bits)].slack;
      o.slack = s;
      o.odd = o.odd != p.odd;
      work += static_cast<double>(cw + 2 * rw);
      if (o.slack >= kMaxSlack) {
        o.dead = true;
        continue;
      }
      check(o);
    }
  }
}

}  // namespace vnt::mip
