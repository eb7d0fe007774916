// Infeasibility certificates: the check of a Farkas vector against the
// caller's unscaled data, and the repair of a vector that rounding on a
// near-singular basis left with tiny weights on the wrong side of unbounded
// columns or slacks.
#include <algorithm>
#include <cmath>

#include "simplex/lp_engine.h"

namespace vnt::simplex {

namespace {
constexpr double kInf = tol::kInfinity;
inline bool finiteLo(double v) { return v > -kInf; }
inline bool finiteUp(double v) { return v < kInf; }
}  // namespace

// g_k = y'a_k for every column of [A I] in unscaled terms (y_i = ys_i r_i,
// a_ij = scaled / (r_i c_j); the factors are powers of two, so the unscaled
// data is exact), summed in extended precision, with the sum of the terms'
// magnitudes.
void LpEngine::farkasSums(const std::vector<double>& y, std::vector<long double>& g,
                          std::vector<long double>& gabs) const {
  g.assign(nTot_, 0.0L);
  gabs.assign(nTot_, 0.0L);
  for (int j = 0; j < n_; ++j) {
    long double s = 0.0L, a = 0.0L;
    for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) {
      const long double t = static_cast<long double>(y[colIndex_[k]]) * colValue_[k];
      s += t;
      a += t < 0 ? -t : t;
    }
    g[j] = s / colScale_[j];
    gabs[j] = a / colScale_[j];
  }
  for (int i = 0; i < m_; ++i) {
    const long double v = static_cast<long double>(y[i]) * rowScale_[i];
    g[n_ + i] = v;
    gabs[n_ + i] = v < 0 ? -v : v;
  }
}

double LpEngine::unscaledLower(int k) const {
  if (!finiteLo(origLower_[k])) return -kInf;
  return k < n_ ? origLower_[k] * colScale_[k] : origLower_[k] / rowScale_[k - n_];
}

double LpEngine::unscaledUpper(int k) const {
  if (!finiteUp(origUpper_[k])) return kInf;
  return k < n_ ? origUpper_[k] * colScale_[k] : origUpper_[k] / rowScale_[k - n_];
}

// A term that counts (not zero within the rounding of its sum) and makes the
// bound of g'z on the proving side infinite: below, the largest value of g'z
// must stay under zero; above, the smallest must stay over it.
bool LpEngine::farkasTermUnbounded(long double g, long double gabs, int k, bool below) const {
  if (std::fabs(static_cast<double>(g)) <= tol::kFarkasZero * static_cast<double>(gabs)) return false;
  const bool up = (g > 0) == below;  // the term's extreme sits at the upper bound
  return up ? !finiteUp(origUpper_[k]) : !finiteLo(origLower_[k]);
}

// The range [lo, up] of g'z over the bound box must exclude zero by more than
// a margin far above the rounding of the sums; a g_k that is zero within
// rounding adds nothing but its possible size on a finite bound to the margin.
bool LpEngine::farkasHolds(const std::vector<long double>& g, const std::vector<long double>& gabs,
                           bool below) const {
  long double ext = 0.0L, mag = 0.0L;
  for (int k = 0; k < nTot_; ++k) {
    const double l = unscaledLower(k), u = unscaledUpper(k);
    const double b = std::max(finiteLo(l) ? std::fabs(l) : 0.0, finiteUp(u) ? std::fabs(u) : 0.0);
    mag += gabs[k] * b;
    if (std::fabs(static_cast<double>(g[k])) <= tol::kFarkasZero * static_cast<double>(gabs[k])) continue;
    if (farkasTermUnbounded(g[k], gabs[k], k, below)) return false;
    const bool atUp = (g[k] > 0) == below;
    ext += g[k] * (atUp ? u : l);
  }
  const long double margin = tol::kFarkasMargin * mag;
  return below ? ext < -margin : ext > margin;
}

// Repair for one side: slacks whose weight spoils the proof get weight zero,
// and the structural columns whose sums do are made orthogonal to y by the
// smallest correction of the other weights (least squares over those
// columns, solved in extended precision).  Columns that the correction
// spoils join the set in the next round.  True when the repaired y proves.
bool LpEngine::repairFarkas(std::vector<double>& y, bool below) const {
  std::vector<long double> g, gabs;
  std::vector<uint8_t> inSet(n_, 0), rowZero(m_, 0);
  std::vector<int> cols;
  std::vector<long double> dense(m_, 0.0L);
  for (int round = 0; round < tol::kFarkasRepairRounds; ++round) {
    farkasSums(y, g, gabs);
    if (farkasHolds(g, gabs, below)) return true;
    bool grew = false;
    for (int i = 0; i < m_; ++i)
      if (!rowZero[i] && farkasTermUnbounded(g[n_ + i], gabs[n_ + i], n_ + i, below)) {
        rowZero[i] = 1;
        y[i] = 0.0;
        grew = true;
      }
    for (int j = 0; j < n_; ++j)
      if (!inSet[j] && farkasTermUnbounded(g[j], gabs[j], j, below)) {
        inSet[j] = 1;
        cols.push_back(j);
        grew = true;
      }
    if (!grew || static_cast<int>(cols.size()) > tol::kFarkasRepairCols) return false;
    const int e = static_cast<int>(cols.size());
    if (e == 0) continue;
    // Normal equations G w = -g_S over the scaled columns restricted to the
    // rows whose weight may move; y += A_S w.
    std::vector<long double> G(static_cast<size_t>(e) * e, 0.0L), rhs(e, 0.0L);
    for (int a = 0; a < e; ++a) {
      const int ja = cols[a];
      long double s = 0.0L;
      for (int64_t k = colStart_[ja]; k < colStart_[ja + 1]; ++k) {
        const int i = colIndex_[k];
        s += static_cast<long double>(y[i]) * colValue_[k];
        if (!rowZero[i]) dense[i] = colValue_[k];
      }
      rhs[a] = -s;
      for (int b = a; b < e; ++b) {
        long double d = 0.0L;
        for (int64_t k = colStart_[cols[b]]; k < colStart_[cols[b] + 1]; ++k)
          d += dense[colIndex_[k]] * colValue_[k];
        G[static_cast<size_t>(a) * e + b] = G[static_cast<size_t>(b) * e + a] = d;
      }
      for (int64_t k = colStart_[ja]; k < colStart_[ja + 1]; ++k) dense[colIndex_[k]] = 0.0L;
    }
    // Gaussian elimination with partial pivoting; a pivot that vanishes
    // against the diagonal leaves its column out (the check decides).
    long double dmax = 0.0L;
    for (int a = 0; a < e; ++a) dmax = std::max(dmax, G[static_cast<size_t>(a) * e + a]);
    std::vector<int> perm(e);
    for (int a = 0; a < e; ++a) perm[a] = a;
    std::vector<uint8_t> skip(e, 0);
    for (int c = 0; c < e; ++c) {
      int piv = c;
      for (int r = c + 1; r < e; ++r)
        if (std::fabs(G[static_cast<size_t>(r) * e + c]) > std::fabs(G[static_cast<size_t>(piv) * e + c])) piv = r;
      if (piv != c) {
        for (int t = 0; t < e; ++t) std::swap(G[static_cast<size_t>(c) * e + t], G[static_cast<size_t>(piv) * e + t]);
        std::swap(rhs[c], rhs[piv]);
      }
      const long double p = G[static_cast<size_t>(c) * e + c];
      if (std::fabs(p) <= tol::kFarkasRepairPivot * dmax) {
        skip[c] = 1;
        continue;
      }
      for (int r = c + 1; r < e; ++r) {
        const long double f = G[static_cast<size_t>(r) * e + c] / p;
        if (f == 0.0L) continue;
        for (int t = c; t < e; ++t) G[static_cast<size_t>(r) * e + t] -= f * G[static_cast<size_t>(c) * e + t];
        rhs[r] -= f * rhs[c];
      }
    }
    std::vector<long double> w(e, 0.0L);
    for (int c = e - 1; c >= 0; --c) {
      if (skip[c]) continue;
      long double s = rhs[c];
      for (int t = c + 1; t < e; ++t) s -= G[static_cast<size_t>(c) * e + t] * w[t];
      w[c] = s / G[static_cast<size_t>(c) * e + c];
    }
    for (int a = 0; a < e; ++a) {
      if (w[a] == 0.0L) continue;
      for (int64_t k = colStart_[cols[a]]; k < colStart_[cols[a] + 1]; ++k) {
        const int i = colIndex_[k];
        if (!rowZero[i]) dense[i] += w[a] * colValue_[k];
      }
    }
    for (int i = 0; i < m_; ++i) {
      if (dense[i] != 0.0L) y[i] = static_cast<double>(y[i] + dense[i]);
      dense[i] = 0.0L;
    }
  }
  farkasSums(y, g, gabs);
  return farkasHolds(g, gabs, below);
}

// The ray d of an unbounded answer in unscaled terms (d_j = ray_j c_j): no
// component may move toward a finite bound by more than tol::kRayZero of the
// largest, and no row activity a_i'd toward a finite limit by more than
// tol::kRayZero of ||a_i||_1 ||d||_inf (what rounding of the ray's
// computation can leave on a row it does not move).  The row test divided
// by the row factor runs on the scaled matrix.
bool LpEngine::rayHolds() const {
  if (static_cast<int>(primalRay_.size()) != n_) return false;
  double dmax = 0.0;
  for (int j = 0; j < n_; ++j) dmax = std::max(dmax, std::fabs(primalRay_[j] * colScale_[j]));
  if (!(dmax > 0.0) || !std::isfinite(dmax)) return false;
  for (int j = 0; j < n_; ++j) {
    const double d = primalRay_[j] * colScale_[j];
    if ((d < -tol::kRayZero * dmax && finiteLo(origLower_[j])) || (d > tol::kRayZero * dmax && finiteUp(origUpper_[j])))
      return false;
  }
  std::vector<long double> s(m_, 0.0L), norm(m_, 0.0L);
  for (int j = 0; j < n_; ++j)
    for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) {
      s[colIndex_[k]] -= static_cast<long double>(colValue_[k]) * primalRay_[j];  // logicals move against the rows
      norm[colIndex_[k]] += std::fabs(colValue_[k]) / colScale_[j];
    }
  for (int i = 0; i < m_; ++i) {
    const long double lim = tol::kRayZero * dmax * norm[i];
    if ((s[i] > lim && finiteUp(origUpper_[n_ + i])) || (s[i] < -lim && finiteLo(origLower_[n_ + i]))) return false;
  }
  return true;
}

bool LpEngine::farkasProves(std::vector<double>& ys) const {
  if (static_cast<int>(ys.size()) != m_) return false;
  double ymax = 0.0;
  for (double v : ys) ymax = std::max(ymax, std::fabs(v));
  if (ymax == 0.0) return false;
  // Either side of zero: the largest value of g'z below it, or the smallest
  // above; first for y as given, then repaired, then with the weights below
  // growing shares of the largest set to zero (noise of the solves that
  // produced y can put a tiny weight of the wrong sign on an unbounded column
  // or slack).  The proof is checked for the vector it is stated with, which
  // is kept.
  std::vector<double> y(ys), r;
  std::vector<long double> g, gabs;
  for (int pass = 0; pass <= tol::kFarkasCleanSteps; ++pass) {
    if (pass > 0) {
      // Drop the weights below kFarkasClean * 100^(pass-1) of the largest.
      const double cut = tol::kFarkasClean * std::pow(100.0, pass - 1) * ymax;
      bool changed = false;
      for (double& v : y)
        if (v != 0.0 && std::fabs(v) <= cut) {
          v = 0.0;
          changed = true;
        }
      if (!changed) continue;
    }
    farkasSums(y, g, gabs);
    for (bool below : {true, false})
      if (farkasHolds(g, gabs, below)) {
        ys = y;
        return true;
      }
    for (bool below : {true, false}) {
      r = y;
      if (repairFarkas(r, below)) {
        ys = r;
        return true;
      }
    }
  }
  return false;
}

}  // namespace vnt::simplex
