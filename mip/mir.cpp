// Complemented mixed-integer rounding with aggregation (after Marchand and
// Wolsey).
//
// A start row  a_i x - r_i = 0  (r_i the row activity, bounded by the row's
// limits) is aggregated with up to `maxAgg` further rows, each chosen to
// eliminate the continuous column of the aggregate that lies farthest from
// its bounds.  After each step the aggregated equation  sum c_v v = 0  (over
// columns and row activities) is tried in both directions:
//   - every continuous variable is replaced by its closest bound, simple or
//     variable (x <= c0 + c1 y or x >= c0 + c1 y with a binary y, read from
//     two-term rows), so that a nonnegative slack remains;
//   - every integer variable is complemented to its closest bound;
//   - for a divisor d taken from the integer coefficients (then d/2, d/4,
//     d/8) the mixed-integer rounding of the row divided by d is rated by
//     its efficacy, and complementing integer columns the other way is tried
//     for the best d;
//   - the best rounding is written back in the columns and offered.
// Every step is an identity or a relaxation, so roundoff in the
// aggregation weights never makes a cut invalid; the safety filter handles
// the rest.
#include <algorithm>
#include <cmath>

#include "mip/cuts.h"

namespace vnt::mip {

namespace {

inline bool finite(double v) { return v > -tol::kInf && v < tol::kInf; }

constexpr double kMirMinFrac = 0.01;     // fractionality of the divided right-hand side
constexpr double kTinyCoef = 1e-9;       // aggregate coefficients below this are relaxed away
constexpr double kMinDivisor = 1e-6;     // divisors smaller than this are not tried
constexpr double kMaxDivisor = 1e6;
constexpr int kMaxDivisors = 8;          // distinct coefficient divisors per attempt
constexpr int kMaxStartRows = 400;       // start rows per round
constexpr int kMaxRowLen = 1000;         // longer rows neither start nor join an aggregate
constexpr double kBoundDist = 1e-6;      // a value closer than this to a bound sits on it

// How a variable of the aggregate is replaced by a nonnegative one.
enum Sub : char { kLower, kUpper, kVlb, kVub };

struct Term {
  int v;          // variable: column (< n) or row activity (n + i)
  double a;       // coefficient of the transformed variable t >= 0
  double t;       // its LP value
  double bnd;     // simple bound used (kLower/kUpper), c0 of a variable bound
  double c1 = 0;  // variable bound slope
  int y = -1;     // variable bound column
  Sub sub;
  bool integer;
  bool flippable;  // integer with both bounds finite and integral
  double lo, up;
};

class MirSeparator {
 public:
  MirSeparator(const SepInput& in, int maxAgg, int maxStarts) : in_(in), maxAgg_(maxAgg), maxStarts_(maxStarts) {}

  void run(std::vector<Cut>& out) {
    const int n = in_.n, m = in_.m;
    const auto& rows = *in_.rows;
    const std::vector<char>& kind = *in_.kind;
    colRows_.assign(n, {});
    for (int i = 0; i < m; ++i) {
      if (static_cast<int>(rows[i].size()) > kMaxRowLen) continue;
      for (const auto& [j, a] : rows[i]) colRows_[j].push_back({i, a});
    }
    findVariableBounds();
    coef_.assign(n + m, 0.0);
    inAgg_.assign(n + m, 0);
    rowUsed_.assign(m, 0);
    dense_.assign(n, 0.0);
    // Start rows: rows with a fractional integer column, directly or through
    // a variable bound; most fractional mass per nonzero first.
    struct Start {
      int row;
      double score;
    };
    std::vector<Start> starts;
    for (int i = 0; i < m; ++i) {
      const auto& r = rows[i];
      if (r.size() < 2 || static_cast<int>(r.size()) > kMaxRowLen) continue;
      if (r.size() == 2 && isVarBoundRow(i)) continue;
      double score = 0.0;
      for (const auto& [j, a] : r) {
        if (kind[j] == kInt) score += fracOf(in_.x[j]);
        else {
          if (vub_[j].y >= 0) score += fracOf(in_.x[vub_[j].y]);
          if (vlb_[j].y >= 0) score += fracOf(in_.x[vlb_[j].y]);
        }
      }
      if (score <= 0.0) continue;
      const double slack = rowSlack(i);
      starts.push_back({i, score / static_cast<double>(r.size()) / (1.0 + slack)});
    }
    std::sort(starts.begin(), starts.end(), [](const Start& a, const Start& b) { return a.score > b.score; });
    if (static_cast<int>(starts.size()) > maxStarts_) starts.resize(maxStarts_);
    int done = 0;
    for (const Start& s : starts) {
      if (in_.stop && (++done & 15) == 0 && in_.stop()) break;
      aggregateFrom(s.row, out);
    }
  }

 private:
  static double fracOf(double v) {
    const double f = v - std::floor(v);
    return std::min(f, 1.0 - f) > 1e-6 ? std::min(f, 1.0 - f) : 0.0;
  }
  double rowSlack(int i) const {
    const int n = in_.n;
    const double a = in_.act[i];
    double s = tol::kInf;
    if (finite(in_.up[n + i])) s = std::min(s, in_.up[n + i] - a);
    if (finite(in_.lo[n + i])) s = std::min(s, a - in_.lo[n + i]);
    return std::max(0.0, s) / (1.0 + std::fabs(a));
  }
  bool binary(int j) const {
    return (*in_.kind)[j] == kInt && in_.lo[j] == 0.0 && in_.up[j] == 1.0;
  }
  bool isVarBoundRow(int i) const {
    const auto& r = (*in_.rows)[i];
    const std::vector<char>& kind = *in_.kind;
    return (kind[r[0].first] != kInt && binary(r[1].first)) || (kind[r[1].first] != kInt && binary(r[0].first));
  }

  void findVariableBounds() { findVarBounds(in_, vub_, vlb_); }

  double value(int v) const { return v < in_.n ? in_.x[v] : in_.act[v - in_.n]; }
  double lower(int v) const { return in_.lo[v]; }
  double upper(int v) const { return in_.up[v]; }
  bool isInteger(int v) const {
    return v < in_.n ? (*in_.kind)[v] == kInt : (*in_.rowIntegral)[v - in_.n] != 0;
  }

  void addToAgg(int v, double c) {
    if (!inAgg_[v]) {
      inAgg_[v] = 1;
      agg_.push_back(v);
    }
    coef_[v] += c;
  }
  void clearAgg() {
    for (int v : agg_) {
      coef_[v] = 0.0;
      inAgg_[v] = 0;
    }
    agg_.clear();
  }
  void addRow(int i, double lambda) {
    for (const auto& [j, a] : (*in_.rows)[i]) addToAgg(j, lambda * a);
    addToAgg(in_.n + i, -lambda);
    rowUsed_[i] = 1;
    used_.push_back(i);
  }

  void aggregateFrom(int start, std::vector<Cut>& out) {
    clearAgg();
    for (int i : used_) rowUsed_[i] = 0;
    used_.clear();
    addRow(start, 1.0);
    for (int step = 0;; ++step) {
      if (tryBothSides(out)) break;
      if (step >= maxAgg_) break;
      // The continuous column farthest from its bounds leaves the aggregate.
      int best = -1;
      double bestDist = kBoundDist;
      for (int v : agg_) {
        if (v >= in_.n || isInteger(v) || std::fabs(coef_[v]) < kTinyCoef) continue;
        const double x = in_.x[v];
        double d = std::min(finite(lower(v)) ? x - lower(v) : tol::kInf, finite(upper(v)) ? upper(v) - x : tol::kInf);
        if (vub_[v].y >= 0) d = std::min(d, vub_[v].c0 + vub_[v].c1 * in_.x[vub_[v].y] - x);
        if (vlb_[v].y >= 0) d = std::min(d, x - vlb_[v].c0 - vlb_[v].c1 * in_.x[vlb_[v].y]);
        if (d > bestDist) {
          bestDist = d;
          best = v;
        }
      }
      if (best < 0) break;
      int row = -1;
      double rowA = 0.0, bestScore = tol::kInf;
      for (const auto& [i, a] : colRows_[best]) {
        if (rowUsed_[i] || std::fabs(a) < 1e-7) continue;
        const double score = rowSlack(i) * 1e3 + static_cast<double>((*in_.rows)[i].size());
        if (score < bestScore) {
          bestScore = score;
          row = i;
          rowA = a;
        }
      }
      if (row < 0) break;
      addRow(row, -coef_[best] / rowA);
      coef_[best] = 0.0;
    }
  }

  bool tryBothSides(std::vector<Cut>& out) {
    bool found = false;
    for (double sg : {1.0, -1.0}) found = tryMir(sg, out) || found;
    return found;
  }

  // Builds the complemented terms of sg * (aggregate) <= 0.  False when a
  // variable cannot be bounded.
  bool transform(double sg) {
    terms_.clear();
    beta_ = 0.0;
    intCoef_.clear();
    for (int v : agg_) {
      double a = sg * coef_[v];
      if (a == 0.0) continue;
      const double l = lower(v), u = upper(v), x = value(v);
      if (std::fabs(a) < kTinyCoef) {
        // Relaxed: a v >= a * (bound minimizing it).
        const double b = a > 0 ? l : u;
        if (!finite(b)) return false;
        beta_ -= a * b;
        continue;
      }
      if (l == u) {
        beta_ -= a * l;
        continue;
      }
      if (isInteger(v) && (!finite(l) || l == std::round(l)) && (!finite(u) || u == std::round(u))) {
        intCoef_.push_back({v, a});
        continue;
      }
      // Continuous: the closest of the simple and variable bounds.
      double best = tol::kInf;
      Term t{v, 0, 0, 0, 0, -1, kLower, false, false, l, u};
      if (finite(l) && x - l < best) {
        best = x - l;
        t.sub = kLower;
      }
      if (finite(u) && u - x < best) {
        best = u - x;
        t.sub = kUpper;
      }
      if (v < in_.n) {
        const VarBound& vu = vub_[v];
        const VarBound& vl = vlb_[v];
        if (vu.y >= 0 && vu.c0 + vu.c1 * in_.x[vu.y] - x <= best + kBoundDist) {
          best = vu.c0 + vu.c1 * in_.x[vu.y] - x;
          t.sub = kVub;
        }
        if (vl.y >= 0 && x - vl.c0 - vl.c1 * in_.x[vl.y] < best) {
          best = x - vl.c0 - vl.c1 * in_.x[vl.y];
          t.sub = kVlb;
        }
      }
      if (!(best < tol::kInf)) return false;
      switch (t.sub) {
        case kLower:  // v = l + t
          t.a = a;
          t.bnd = l;
          beta_ -= a * l;
          break;
        case kUpper:  // v = u - t
          t.a = -a;
          t.bnd = u;
          beta_ -= a * u;
          break;
        case kVub: {  // v = c0 + c1 y - t
          const VarBound& vb = vub_[v];
          t.a = -a;
          t.bnd = vb.c0;
          t.c1 = vb.c1;
          t.y = vb.y;
          beta_ -= a * vb.c0;
          intCoef_.push_back({vb.y, a * vb.c1});
          break;
        }
        case kVlb: {  // v = c0 + c1 y + t
          const VarBound& vb = vlb_[v];
          t.a = a;
          t.bnd = vb.c0;
          t.c1 = vb.c1;
          t.y = vb.y;
          beta_ -= a * vb.c0;
          intCoef_.push_back({vb.y, a * vb.c1});
          break;
        }
      }
      t.t = std::max(0.0, best);
      terms_.push_back(t);
    }
    // Integer columns (a column may appear twice through variable bounds).
    std::sort(intCoef_.begin(), intCoef_.end());
    size_t k = 0;
    for (size_t q = 0; q < intCoef_.size();) {
      const int v = intCoef_[q].first;
      double a = 0.0;
      for (; q < intCoef_.size() && intCoef_[q].first == v; ++q) a += intCoef_[q].second;
      intCoef_[k++] = {v, a};
    }
    intCoef_.resize(k);
    bool anyInt = false;
    for (const auto& [v, a] : intCoef_) {
      if (a == 0.0) continue;
      const double l = lower(v), u = upper(v), x = value(v);
      if (l == u) {
        beta_ -= a * l;
        continue;
      }
      if (std::fabs(a) < kTinyCoef) {
        const double b = a > 0 ? l : u;
        if (!finite(b)) return false;
        beta_ -= a * b;
        continue;
      }
      Term t{v, 0, 0, 0, 0, -1, kLower, true, finite(l) && finite(u), l, u};
      if (!finite(l) && !finite(u)) return false;
      t.sub = !finite(u) || (finite(l) && x - l <= u - x) ? kLower : kUpper;
      setIntSide(t, a);
      anyInt = true;
      terms_.push_back(t);
    }
    return anyInt;
  }
  // The integer term with original coefficient a complemented per t.sub.
  void setIntSide(Term& t, double a) {
    const double x = value(t.v);
    if (t.sub == kLower) {
      t.a = a;
      t.bnd = t.lo;
      t.t = std::max(0.0, x - t.lo);
    } else {
      t.a = -a;
      t.bnd = t.up;
      t.t = std::max(0.0, t.up - x);
    }
  }
  double originalA(const Term& t) const { return t.sub == kLower ? t.a : -t.a; }
  double betaOf() const {
    double b = beta_;
    // beta_ already holds the continuous shifts; integer shifts are added here.
    for (const Term& t : terms_)
      if (t.integer) b -= originalA(t) * t.bnd;
    return b;
  }

  // Efficacy (in the transformed space) of the rounding with divisor d;
  // -1 when the right-hand side is too close to integral.
  double rate(double d, double beta) const {
    const double bd = beta / d;
    if (!std::isfinite(bd) || std::fabs(bd) > 1e9) return -1.0;
    const double f0 = bd - std::floor(bd);
    if (f0 < kMirMinFrac || f0 > 1.0 - kMirMinFrac) return -1.0;
    double lhs = 0.0, nrm = 0.0;
    for (const Term& t : terms_) {
      const double g = coefficient(t, d, f0);
      lhs += g * t.t;
      nrm += g * g;
    }
    if (nrm <= 0.0) return -1.0;
    return (lhs - std::floor(bd)) / std::sqrt(nrm);
  }
  static double coefficient(const Term& t, double d, double f0) {
    const double a = t.a / d;
    if (t.integer) {
      const double fl = std::floor(a), f = a - fl;
      return fl + std::max(0.0, f - f0) / (1.0 - f0);
    }
    return a < 0 ? a / (1.0 - f0) : 0.0;
  }

  bool tryMir(double sg, std::vector<Cut>& out) {
    if (!transform(sg)) return false;
    double beta = betaOf();
    // Divisors: coefficients of integer terms strictly inside their bounds.
    std::vector<double>& ds = divisors_;
    ds.clear();
    for (const Term& t : terms_) {
      if (!t.integer || t.t <= kBoundDist) continue;
      const double d = std::fabs(t.a);
      if (d < kMinDivisor || d > kMaxDivisor) continue;
      bool seen = false;
      for (double e : ds) seen = seen || std::fabs(e - d) <= 1e-9 * d;
      if (!seen) ds.push_back(d);
      if (static_cast<int>(ds.size()) >= kMaxDivisors) break;
    }
    if (ds.empty()) return false;
    double bestD = 0.0, bestEff = 1e-6;
    for (double d : ds) {
      const double e = rate(d, beta);
      if (e > bestEff) {
        bestEff = e;
        bestD = d;
      }
    }
    if (bestD == 0.0) return false;
    for (double s : {2.0, 4.0, 8.0}) {
      const double e = rate(bestD / s, beta);
      if (e > bestEff) {
        bestEff = e;
        bestD = bestD / s;
      }
    }
    // Complementing fractional integer terms the other way.
    for (Term& t : terms_) {
      if (!t.integer || !t.flippable || t.t <= kBoundDist) continue;
      const double a = originalA(t);
      const Sub old = t.sub;
      t.sub = old == kLower ? kUpper : kLower;
      setIntSide(t, a);
      const double b2 = betaOf();
      const double e = rate(bestD, b2);
      if (e > bestEff) {
        bestEff = e;
        beta = b2;
      } else {
        t.sub = old;
        setIntSide(t, a);
      }
    }
    return emit(bestD, beta, out);
  }

  // The rounding  sum g t <= floor(beta / d)  written in the columns.
  bool emit(double d, double beta, std::vector<Cut>& out) {
    const double bd = beta / d;
    const double f0 = bd - std::floor(bd);
    double rhs = std::floor(bd);
    const int n = in_.n;
    nz_.clear();
    auto put = [&](int v, double c) {
      if (c == 0.0) return;
      if (v < n) {
        if (dense_[v] == 0.0) nz_.push_back(v);
        dense_[v] += c;
        if (dense_[v] == 0.0) dense_[v] = 1e-300;  // keep it listed
        return;
      }
      for (const auto& [j, a] : (*in_.rows)[v - n]) {
        if (dense_[j] == 0.0) nz_.push_back(j);
        dense_[j] += c * a;
        if (dense_[j] == 0.0) dense_[j] = 1e-300;
      }
    };
    for (const Term& t : terms_) {
      const double g = coefficient(t, d, f0);
      if (g == 0.0) continue;
      switch (t.sub) {
        case kLower:  // t = v - bnd
          put(t.v, g);
          rhs += g * t.bnd;
          break;
        case kUpper:  // t = bnd - v
          put(t.v, -g);
          rhs -= g * t.bnd;
          break;
        case kVub:  // t = c0 + c1 y - v
          put(t.v, -g);
          put(t.y, g * t.c1);
          rhs -= g * t.bnd;
          break;
        case kVlb:  // t = v - c0 - c1 y
          put(t.v, g);
          put(t.y, -g * t.c1);
          rhs += g * t.bnd;
          break;
      }
    }
    for (int j : nz_)
      if (dense_[j] == 1e-300) dense_[j] = 0.0;
    const size_t before = out.size();
    offerCut(in_, dense_, nz_, rhs, kFamMir, out);
    return out.size() > before;
  }

  const SepInput& in_;
  int maxAgg_, maxStarts_;
  std::vector<std::vector<std::pair<int, double>>> colRows_;
  std::vector<VarBound> vub_, vlb_;
  std::vector<double> coef_;
  std::vector<char> inAgg_, rowUsed_;
  std::vector<int> agg_, used_, nz_;
  std::vector<Term> terms_;
  std::vector<std::pair<int, double>> intCoef_;
  std::vector<double> divisors_, dense_;
  double beta_ = 0.0;
};

}  // namespace

// Two-term rows  a x + b y in [L, U]  with x continuous and y binary give
// x <= (U - b y) / a  and  x >= (L - b y) / a  (sides swapped for a < 0).
// The tightest at y = 1 is kept (first found on ties).
void findVarBounds(const SepInput& in, std::vector<VarBound>& vub, std::vector<VarBound>& vlb) {
  const int n = in.n;
  vub.assign(n, {});
  vlb.assign(n, {});
  const auto& rows = *in.rows;
  const std::vector<char>& kind = *in.kind;
  auto binary = [&](int j) { return kind[j] == kInt && in.lo[j] == 0.0 && in.up[j] == 1.0; };
  for (int i = 0; i < in.m; ++i) {
    const auto& r = rows[i];
    if (r.size() != 2) continue;
    if (!((kind[r[0].first] != kInt && binary(r[1].first)) || (kind[r[1].first] != kInt && binary(r[0].first))))
      continue;
    const bool first = kind[r[0].first] != kInt;
    const int x = first ? r[0].first : r[1].first, y = first ? r[1].first : r[0].first;
    const double a = first ? r[0].second : r[1].second, b = first ? r[1].second : r[0].second;
    if (std::fabs(a) < 1e-9) continue;
    const double L = in.lo[n + i], U = in.up[n + i];
    // Upper bound of x from the side that limits a x from above.
    const double upSide = a > 0 ? U : L, loSide = a > 0 ? L : U;
    if (finite(upSide)) {
      VarBound vb{y, upSide / a, -b / a};
      if (vub[x].y < 0 || vb.c0 + vb.c1 < vub[x].c0 + vub[x].c1) vub[x] = vb;
    }
    if (finite(loSide)) {
      VarBound vb{y, loSide / a, -b / a};
      if (vlb[x].y < 0 || vb.c0 + vb.c1 > vlb[x].c0 + vlb[x].c1) vlb[x] = vb;
    }
  }
}

void separateMir(const SepInput& in, int maxAgg, std::vector<Cut>& out, int maxStarts) {
  if (in.n == 0 || in.m == 0) return;
  MirSeparator sep(in, std::max(0, maxAgg), maxStarts > 0 ? maxStarts : kMaxStartRows);
  sep.run(out);
}

}  // namespace vnt::mip
