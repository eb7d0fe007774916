// Separators (Gomory mixed-integer cuts from the optimal tableau, extended
// knapsack covers) and the numerical-safety filter of every cut.
#include "mip/cuts.h"

#include <algorithm>
#include <cmath>

namespace vnt::mip {

std::function<void(const Cut&)> gCutObserver;

namespace {
inline bool finite(double v) { return v > -tol::kInf && v < tol::kInf; }
}  // namespace

// ---------------------------------------------------------------------------
// Safety filter.

bool makeSafe(Cut& c, const double* lo, const double* up) {
  if (!std::isfinite(c.rhs)) return false;
  double amax = 0.0;
  for (double v : c.val) {
    if (!std::isfinite(v)) return false;
    amax = std::max(amax, std::fabs(v));
  }
  if (amax == 0.0) return false;
  // Tiny coefficients: a_k x_k is replaced by its smallest value over the
  // bounds of x_k, which loosens the cut.
  size_t w = 0;
  double rhs = c.rhs;
  for (size_t k = 0; k < c.idx.size(); ++k) {
    const int j = c.idx[k];
    const double a = c.val[k];
    if (std::fabs(a) >= cuttol::kTinyRel * amax) {
      c.idx[w] = j;
      c.val[w++] = a;
      continue;
    }
    if (a == 0.0) continue;
    const double b = a > 0 ? lo[j] : up[j];
    if (!finite(b)) return false;
    rhs -= a * b;
  }
  c.idx.resize(w);
  c.val.resize(w);
  if (w == 0) return false;
  double amin = amax;
  for (double v : c.val) amin = std::min(amin, std::fabs(v));
  if (amax / amin > cuttol::kMaxDynamism) return false;
  // Normalize to a largest coefficient of 1, then loosen the right-hand side.
  for (double& v : c.val) v /= amax;
  rhs /= amax;
  rhs += cuttol::kRhsSafety * std::max(1.0, std::fabs(rhs));
  if (!std::isfinite(rhs)) return false;
  c.rhs = rhs;
  return true;
}

double cutViolation(const Cut& c, const double* x) {
  double s = 0.0;
  for (size_t k = 0; k < c.idx.size(); ++k) s += c.val[k] * x[c.idx[k]];
  return s - c.rhs;
}

double cutEfficacy(const Cut& c, const double* x) {
  double nrm = 0.0;
  for (double v : c.val) nrm += v * v;
  return nrm > 0 ? cutViolation(c, x) / std::sqrt(nrm) : 0.0;
}

void offerCut(const SepInput& in, std::vector<double>& dense, std::vector<int>& nzList, double rhs, int family,
              std::vector<Cut>& out) {
  Cut c;
  c.family = family;
  c.rhs = rhs;
  for (int j : nzList) {
    if (dense[j] != 0.0) {
      c.idx.push_back(j);
      c.val.push_back(dense[j]);
    }
    dense[j] = 0.0;
  }
  nzList.clear();
  if (!makeSafe(c, in.lo, in.up)) return;
  const double viol = cutViolation(c, in.x);
  if (viol <= cuttol::kMinViolation * std::max(1.0, std::fabs(c.rhs))) return;
  c.efficacy = cutEfficacy(c, in.x);
  if (c.efficacy < cuttol::kMinEfficacy) return;
  if (gCutObserver) gCutObserver(c);
  out.push_back(std::move(c));
}

// ---------------------------------------------------------------------------
// Gomory mixed-integer cuts.
//
// For basis position p, y = e_p^T B^-1 combines the rows a_i x + s_i = 0 into
// sum_k alpha_k z_k = 0 over columns and logicals (s_i = -a_i x).  Any y
// gives a valid equation, so roundoff in y never makes the cut invalid.
// Every variable but the basic one is complemented to a global bound; the
// mixed-integer rounding of the resulting equation is the cut, written back
// in the columns.

void separateGomory(const SepInput& in, simplex::LpEngine& e, int maxCand, std::vector<Cut>& out) {
  const int n = in.n, m = in.m;
  if (e.numCols() != n || e.numRows() != m || m == 0) return;
  if (!e.basisFactorReady()) return;
  const std::vector<char>& kind = *in.kind;
  struct Cand {
    int pos;
    double score;
  };
  std::vector<Cand> cands;
  for (int p = 0; p < m; ++p) {
    const int k = e.basisHead(p);
    if (k >= n || kind[k] != kInt) continue;
    const double v = in.x[k];
    if (std::fabs(v) > cuttol::kMaxAbsBasic) continue;
    const double f = v - std::floor(v);
    if (f < cuttol::kMinFrac || f > 1.0 - cuttol::kMinFrac) continue;
    cands.push_back({p, std::min(f, 1.0 - f)});
  }
  std::sort(cands.begin(), cands.end(), [](const Cand& a, const Cand& b) { return a.score > b.score; });
  if (static_cast<int>(cands.size()) > maxCand) cands.resize(maxCand);

  simplex::WorkVec v;
  std::vector<int> touchedCols;
  std::vector<char> colSeen(n, 0);
  std::vector<double> alpha(n + m, 0.0);
  std::vector<double> dense(n, 0.0);
  std::vector<int> nzList;
  std::vector<char> inList(n, 0);
  const std::vector<std::vector<std::pair<int, double>>>& rows = *in.rows;
  int done = 0;
  for (const Cand& cd : cands) {
    if (in.stop && (++done & 7) == 0 && in.stop()) break;
    const int p = cd.pos;
    const int kb = e.basisHead(p);
    v.resize(m);
    v.val[p] = kb < n ? e.colScaleFactor(kb) : 1.0 / e.rowScaleFactor(kb - n);
    v.repack();
    e.basisFactor().btran(v, 1.0);
    // y = R rho is row p of B^-1 in the caller's units; alpha_j = y^T A_j
    // over the rows where y is not zero (row-wise, so sparse y is cheap).
    const double* rho = v.val.data();
    for (int j : touchedCols) alpha[j] = 0.0;
    touchedCols.clear();
    for (int i = 0; i < m; ++i) {
      const double y = rho[i] * e.rowScaleFactor(i);
      alpha[n + i] = y;
      if (y == 0.0) continue;
      for (const auto& [j, aij] : rows[i]) {
        if (!colSeen[j]) {
          colSeen[j] = 1;
          touchedCols.push_back(j);
        }
        alpha[j] += y * aij;
      }
    }
    for (int j : touchedCols) colSeen[j] = 0;
    const double ab = alpha[kb];
    if (!(std::fabs(ab) > 0.5)) continue;  // the basic column's own entry (1 up to roundoff)
    // Complement and collect  x_B + sum a'_k t_k = beta.
    double beta = 0.0;
    bool ok = true;
    struct Term {
      int k;
      double a;       // coefficient of t_k
      double bound;   // bound t_k is measured from
      bool upper;     // t_k = bound - z_k
      bool integer;
    };
    std::vector<Term> terms;
    for (int q = 0; q < static_cast<int>(touchedCols.size()) + m && ok; ++q) {
      const int k = q < static_cast<int>(touchedCols.size()) ? touchedCols[q] : n + q - static_cast<int>(touchedCols.size());
      if (k == kb) continue;
      const double al = alpha[k] / ab;
      if (std::fabs(al) <= cuttol::kTinyAlpha) continue;
      double l, u, val;
      bool integer;
      if (k < n) {
        l = in.lo[k];
        u = in.up[k];
        val = in.x[k];
        integer = kind[k] == kInt;
      } else {
        const int i = k - n;
        l = in.up[k] < tol::kInf ? -in.up[k] : -tol::kInf;
        u = in.lo[k] > -tol::kInf ? -in.lo[k] : tol::kInf;
        val = -in.act[i];
        integer = (*in.rowIntegral)[i] != 0;
      }
      if (l == u) {  // fixed: a constant
        beta -= al * l;
        continue;
      }
      bool useUpper;
      if (e.variableAtUpper(k)) useUpper = true;
      else if (e.variableAtLower(k)) useUpper = false;
      else useUpper = finite(u) && (!finite(l) || u - val < val - l);
      if (useUpper && !finite(u)) useUpper = false;
      if (!useUpper && !finite(l)) useUpper = true;
      const double bnd = useUpper ? u : l;
      if (!finite(bnd)) {
        ok = false;
        break;
      }
      if (integer && bnd != std::round(bnd)) integer = false;
      beta -= al * bnd;
      terms.push_back({k, useUpper ? -al : al, bnd, useUpper, integer});
    }
    if (!ok || terms.empty()) continue;
    if (!std::isfinite(beta) || std::fabs(beta) > cuttol::kMaxAbsBasic) continue;
    const double f0 = beta - std::floor(beta);
    if (f0 < cuttol::kMinFrac || f0 > 1.0 - cuttol::kMinFrac) continue;
    // sum g_k t_k >= 1, written as  coef . x + cst >= 1.
    double cst = 0.0;
    auto addCol = [&](int j, double c) {
      if (!inList[j]) {
        inList[j] = 1;
        nzList.push_back(j);
      }
      dense[j] += c;
    };
    for (const Term& t : terms) {
      double g;
      if (t.integer) {
        const double fk = t.a - std::floor(t.a);
        g = fk <= f0 ? fk / f0 : (1.0 - fk) / (1.0 - f0);
      } else {
        g = t.a >= 0 ? t.a / f0 : -t.a / (1.0 - f0);
      }
      if (g == 0.0) continue;
      // g t = g (z - bound) or g (bound - z).
      const double sz = t.upper ? -g : g;  // coefficient of z
      cst -= sz * t.bound;
      if (t.k < n) {
        addCol(t.k, sz);
      } else {
        // z = s_i = -a_i x.
        for (const auto& [j, aij] : rows[t.k - n]) addCol(j, -sz * aij);
      }
    }
    // coef . x >= 1 - cst   <=>   -coef . x <= cst - 1.
    for (int j : nzList) {
      dense[j] = -dense[j];
      inList[j] = 0;
    }
    offerCut(in, dense, nzList, cst - 1.0, kFamFract, out);
  }
}

// ---------------------------------------------------------------------------
// Knapsack covers.
//
// A row side  a x <= b  is relaxed to a knapsack over its binary columns by
// bounding every other term; binaries with negative coefficients are
// complemented.  A cover C (weights above the capacity) gives
// sum_{C} y <= |C| - 1, extended by every item at least as heavy as the
// heaviest of C.

void separateCovers(const SepInput& in, std::vector<Cut>& out) {
  const int n = in.n;
  const std::vector<char>& kind = *in.kind;
  const std::vector<std::vector<std::pair<int, double>>>& rows = *in.rows;
  struct Item {
    int j;
    double w;
    bool comp;  // y = 1 - x
    double y;   // LP value of y
  };
  std::vector<Item> items;
  std::vector<char> inCover(n, 0);
  std::vector<double> dense(n, 0.0);
  std::vector<int> nzList;
  for (int i = 0; i < in.m; ++i) {
    const auto& row = rows[i];
    if (row.size() < 2) continue;
    for (int side = 0; side < 2; ++side) {
      const double lim = side == 0 ? in.up[n + i] : in.lo[n + i];
      if (!finite(lim)) continue;
      const double sg = side == 0 ? 1.0 : -1.0;  // sg a x <= sg lim
      double b = sg * lim;
      items.clear();
      bool ok = true;
      for (const auto& [j, a0] : row) {
        const double a = sg * a0;
        const bool binary = kind[j] == kInt && in.lo[j] == 0.0 && in.up[j] == 1.0;
        if (!binary) {
          const double bnd = a > 0 ? in.lo[j] : in.up[j];
          if (!finite(bnd)) {
            ok = false;
            break;
          }
          b -= a * bnd;
          continue;
        }
        if (a > 0) items.push_back({j, a, false, in.x[j]});
        else if (a < 0) {
          b -= a;
          items.push_back({j, -a, true, 1.0 - in.x[j]});
        }
      }
      if (!ok || items.size() < 2 || b < 0) continue;
      double wsum = 0.0;
      for (const Item& it : items) wsum += it.w;
      const double eps = 1e-9 * std::max(1.0, std::fabs(b));
      if (wsum <= b + eps) continue;
      // Greedy cover: largest y first, heavier first among equals.  The
      // cover is a prefix of the sorted items; membership is kept in flags
      // so that long rows (dense cut rows among them) cost O(k log k).
      std::sort(items.begin(), items.end(), [](const Item& p, const Item& q) {
        if (p.y != q.y) return p.y > q.y;
        return p.w > q.w;
      });
      double cw = 0.0;
      size_t len = 0;
      while (len < items.size() && cw <= b + eps) cw += items[len++].w;
      if (cw <= b + eps) continue;
      // Minimal: drop the items with the smallest y while still a cover.
      size_t kept = 0;
      double ysum = 0.0, wmax = 0.0;
      for (size_t k = len; k-- > 0;) {
        if (cw - items[k].w > b + eps) {
          cw -= items[k].w;
          continue;
        }
        inCover[items[k].j] = 1;
        ++kept;
        ysum += items[k].y;
        wmax = std::max(wmax, items[k].w);
      }
      const double rhsY = static_cast<double>(kept) - 1.0;
      if (ysum <= rhsY + 1e-6) {
        for (size_t k = 0; k < len; ++k) inCover[items[k].j] = 0;
        continue;
      }
      // Extension and the cut in x.
      double rhs = rhsY;
      for (const Item& it : items) {
        if (!inCover[it.j] && it.w < wmax) continue;
        if (it.comp) {
          dense[it.j] -= 1.0;
          rhs -= 1.0;
        } else {
          dense[it.j] += 1.0;
        }
        nzList.push_back(it.j);
      }
      for (size_t k = 0; k < len; ++k) inCover[items[k].j] = 0;
      std::sort(nzList.begin(), nzList.end());
      nzList.erase(std::unique(nzList.begin(), nzList.end()), nzList.end());
      offerCut(in, dense, nzList, rhs, kFamCovers, out);
    }
  }
}

}  // namespace vnt::mip
