// Lifted flow cover cuts.
//
// A row  sum a_j v_j <= b  (each side of a ranged or equality row in turn)
// is relaxed to a single-node flow set
//     sum_{N1} x_j - sum_{N2} x_j <= b',   0 <= x_j <= u_j y_j,  y_j binary,
// where an arc is a binary column (x = |a| v, y = v), a continuous column
// with a variable upper bound v <= c1 y (x = |a| v), or any other bounded
// column shifted to a bound (y constant 1, the capacity possibly infinite).
// General integer columns are treated as continuous, which only relaxes.
//
// For a flow cover C1 in N1, C2 in N2 with excess
//     lambda = sum_{C1} u_j - sum_{C2} u_j - b' > 0
// two inequalities are tried (the most violated of each kind is offered):
//  - the generalized flow cover inequality (Van Roy and Wolsey)
//      sum_{C1} x_j + sum_{C1} (u_j - lambda)^+ (1 - y_j)
//        <= b' + sum_{C2} u_j + sum_{N2\C2} min-term_j,
//    where min-term_j is x_j or lambda y_j, whichever is smaller at the LP
//    point (arcs of the second kind form the set L2);
//  - the same with every outflow arc outside C2 at coefficient 1 (L2 empty)
//    and the inflow arcs outside C1 lifted sequence-independently (after Gu,
//    Nemhauser and Savelsbergh).  With the arcs of C1 whose capacity exceeds
//    lambda sorted by decreasing capacity and M_h the sum of the first h,
//    the lifting function of the cover is
//      phi(z) = min_h ( h lambda + max(z - M_h, -lambda) ),
//    the loss of the cover's left-hand side when inflow z from outside the
//    cover uses up capacity.  When phi is superadditive (checked at the
//    vertices of its breakpoint arrangement), an inflow arc j outside C1
//    gets the term  x_j - (M_k - k lambda) y_j  with k the first index with
//    M_k >= u_j (k = r for larger capacities): the line lies below phi on
//    [0, u_j], so the sum of lifted terms is at most phi of the total lifted
//    inflow.  The left-hand side of the cover part is 1-Lipschitz in the
//    capacity, which keeps the lifted inequality valid when outflow arcs
//    add capacity at coefficient 1.
// Each term maps back to the columns; constants move to the right-hand side.
#include <algorithm>
#include <cmath>

#include "mip/cuts.h"

namespace vnt::mip {

namespace {

inline bool fin(double v) { return v > -tol::kInf && v < tol::kInf; }

constexpr int kMaxRowLen = 500;       // longer rows are not relaxed
constexpr double kMinLambda = 1e-6;   // relative excess of a cover below which it is not used
constexpr double kMaxCap = 1e9;       // capacities above this count as infinite
constexpr double kSuperTol = 1e-9;    // relative slack of the superadditivity check

// One arc of the flow relaxation: x = cx * v_col + c0 (col < 0: x = c0).
struct Arc {
  bool in = true;     // inflow (N1) or outflow (N2)
  double u = 0.0;     // capacity (kInf when unbounded)
  int col = -1;
  double cx = 0.0, c0 = 0.0;
  int ycol = -1;      // binary of x <= u y, or -1 for y = 1
  double xs = 0.0, ys = 1.0;  // LP values
};

class FlowCoverSeparator {
 public:
  explicit FlowCoverSeparator(const SepInput& in) : in_(in) {
    findVarBounds(in_, vub_, vlb_);
    dense_.assign(in_.n, 0.0);
  }

  // Both directions of row i.
  void row(int i, std::vector<Cut>& out) {
    const int n = in_.n;
    const double U = in_.up[n + i], L = in_.lo[n + i];
    if (fin(U)) direction(i, 1.0, U, out);
    if (fin(L)) direction(i, -1.0, -L, out);
  }

 private:
  bool binary(int j) const { return (*in_.kind)[j] == kInt && in_.lo[j] == 0.0 && in_.up[j] == 1.0; }

  // The relaxation of  s * (row i) <= b; false when a column cannot be placed.
  bool relax(int i, double s, double& b) {
    arcs_.clear();
    for (const auto& [j, a0] : (*in_.rows)[i]) {
      const double a = s * a0;
      if (a == 0.0) continue;
      const double l = in_.lo[j], h = in_.up[j], x = in_.x[j];
      const double aa = std::fabs(a);
      Arc arc;
      arc.col = j;
      if (l == h) {  // fixed column: a constant
        b -= a * l;
        continue;
      }
      if (binary(j)) {
        arc.in = a > 0;
        arc.u = aa;
        arc.cx = aa;
        arc.ycol = j;
      } else if (l == 0.0 && vub_[j].y >= 0 && std::fabs(vub_[j].c0) <= 1e-12 && vub_[j].c1 > 0.0 &&
                 vub_[j].c1 < kMaxCap && (!fin(h) || vub_[j].c1 <= h)) {
        arc.in = a > 0;
        arc.u = aa * vub_[j].c1;
        arc.cx = aa;
        arc.ycol = vub_[j].y;
      } else if (fin(l)) {
        // a v = a l + a (v - l): the shifted column is an arc of a's side.
        b -= a * l;
        arc.in = a > 0;
        arc.u = fin(h) && h - l < kMaxCap ? aa * (h - l) : tol::kInf;
        arc.cx = aa;
        arc.c0 = -aa * l;
      } else if (fin(h)) {
        // a v = a h - a (h - v): the complemented column is on the other side.
        b -= a * h;
        arc.in = a < 0;
        arc.u = tol::kInf;
        arc.cx = -aa;
        arc.c0 = aa * h;
      } else {
        return false;
      }
      arc.xs = arc.cx * x + arc.c0;
      arc.ys = arc.ycol >= 0 ? in_.x[arc.ycol] : 1.0;
      arcs_.push_back(arc);
    }
    return true;
  }

  void direction(int i, double s, double b, std::vector<Cut>& out) {
    if (!relax(i, s, b)) return;
    // Only rows with a binary coupling and a fractional binary can give a
    // violated cut.
    bool frac = false;
    for (const Arc& a : arcs_)
      if (a.ycol >= 0 && a.ys > in_.intTol && a.ys < 1.0 - in_.intTol) frac = true;
    if (!frac) return;
    const double scale = std::max(1.0, std::fabs(b));
    for (int v = 0; v < 2; ++v) {
      bestViol_[v] = 0.0;
      best_[v].idx.clear();
    }
    // Cover candidates: outflow arcs that are nearly fully used form C2 (or
    // none do); inflow arcs enter C1 by decreasing y* (then capacity) until
    // the cover has an excess, and arcs of small y* leave it while it keeps
    // one.  The last variant fills C1 with the smallest open arcs first,
    // which leaves the large ones to the lifting.
    for (int variant = 0; variant < 4; ++variant) {
      inC_.assign(arcs_.size(), 0);
      double capOut = 0.0;
      for (size_t k = 0; k < arcs_.size(); ++k) {
        const Arc& a = arcs_[k];
        if (a.in || !fin(a.u)) continue;
        const bool take = variant == 1 ? a.ys >= 1.0 - in_.intTol && a.xs >= a.u * (1.0 - 1e-6)
                          : variant == 2 ? a.ys >= 0.5
                                         : false;
        if (take) {
          inC_[k] = 1;
          capOut += a.u;
        }
      }
      order_.clear();
      for (size_t k = 0; k < arcs_.size(); ++k)
        if (arcs_[k].in && fin(arcs_[k].u) && arcs_[k].u > 0.0) order_.push_back(static_cast<int>(k));
      std::sort(order_.begin(), order_.end(), [&](int p, int q) {
        const Arc &a = arcs_[p], &c = arcs_[q];
        if (variant == 3) {
          if ((a.ys > in_.intTol) != (c.ys > in_.intTol)) return a.ys > in_.intTol;
          return a.u < c.u;
        }
        if (a.ys != c.ys) return a.ys > c.ys;
        return a.u > c.u;
      });
      double capIn = 0.0;
      size_t used = 0;
      while (used < order_.size() && capIn - capOut - b <= kMinLambda * scale) capIn += arcs_[order_[used++]].u;
      if (capIn - capOut - b <= kMinLambda * scale) continue;
      for (size_t q = 0; q < used; ++q) inC_[order_[q]] = 1;
      // Arcs of small y* leave while the excess stays positive.
      for (size_t q = used; q-- > 0;) {
        const Arc& a = arcs_[order_[q]];
        if (capIn - a.u - capOut - b > kMinLambda * scale && a.ys < 1.0 - in_.intTol) {
          inC_[order_[q]] = 0;
          capIn -= a.u;
        }
      }
      const double lambda = capIn - capOut - b;
      tryCover(b, lambda, false);
      tryCover(b, lambda, true);
    }
    // The best of each kind (near copies are left to the parallelism filter).
    for (int v = 0; v < 2; ++v)
      if (bestViol_[v] > 0.0) emit(best_[v], out);
  }

  // Builds the cut of the cover in inC_ in arc space (coefficients of x and
  // of y per arc) and keeps it when it is the most violated of its kind so
  // far.
  void tryCover(double b, double lambda, bool lifted) {
    const size_t na = arcs_.size();
    cx_.assign(na, 0.0);
    cy_.assign(na, 0.0);
    double rhs = b;
    // Cover part, left-hand side.
    caps_.clear();
    for (size_t k = 0; k < na; ++k) {
      const Arc& a = arcs_[k];
      if (!a.in || !inC_[k]) continue;
      cx_[k] += 1.0;
      if (a.u > lambda) {
        // (u - lambda)(1 - y)
        rhs -= a.u - lambda;
        cy_[k] -= a.u - lambda;
        caps_.push_back(a.u);
      }
    }
    // Outflow arcs.
    for (size_t k = 0; k < na; ++k) {
      const Arc& a = arcs_[k];
      if (a.in) continue;
      if (inC_[k]) {
        rhs += a.u;
      } else if (!lifted && lambda * a.ys < a.xs) {
        cy_[k] -= lambda;  // lambda y on the right
      } else {
        cx_[k] -= 1.0;  // x on the right
      }
    }
    if (lifted) {
      std::sort(caps_.begin(), caps_.end(), std::greater<double>());
      const int r = static_cast<int>(caps_.size());
      if (r == 0) return;
      prefix_.assign(r + 1, 0.0);
      for (int h = 0; h < r; ++h) prefix_[h + 1] = prefix_[h] + caps_[h];
      bool any = false;
      double total = 0.0;
      for (size_t k = 0; k < na; ++k) {
        const Arc& a = arcs_[k];
        if (!a.in || inC_[k]) continue;
        int kk = 1;
        while (kk < r && prefix_[kk] < a.u) ++kk;
        const double c = prefix_[kk] - kk * lambda;
        // The term helps only where it is positive at the LP point.
        if (a.xs - c * a.ys <= 0.0) continue;
        cx_[k] += 1.0;
        cy_[k] -= c;
        total += fin(a.u) ? a.u : tol::kInf;
        any = true;
      }
      if (!any) return;
      if (!superadditive(lambda, r, total)) return;
    }
    // Violation at the LP point.
    double lhs = 0.0;
    for (size_t k = 0; k < na; ++k) lhs += cx_[k] * arcs_[k].xs + cy_[k] * arcs_[k].ys;
    const double viol = lhs - rhs;
    if (viol <= bestViol_[lifted]) return;
    bestViol_[lifted] = viol;
    Cut& best = best_[lifted];
    // Keep it in column space (constants to the right-hand side).
    best.idx.clear();
    best.val.clear();
    double r2 = rhs;
    for (size_t k = 0; k < na; ++k) {
      const Arc& a = arcs_[k];
      if (cx_[k] != 0.0) {
        best.idx.push_back(a.col);
        best.val.push_back(cx_[k] * a.cx);
        r2 -= cx_[k] * a.c0;
      }
      if (cy_[k] != 0.0) {
        if (a.ycol >= 0) {
          best.idx.push_back(a.ycol);
          best.val.push_back(cy_[k]);
        } else {
          r2 -= cy_[k];
        }
      }
    }
    best.rhs = r2;
  }

  double phi(double z, double lambda, int r) const {
    double v = z;
    for (int h = 1; h <= r; ++h) v = std::min(v, h * lambda + std::max(z - prefix_[h], -lambda));
    return v;
  }

  // phi(a + b) >= phi(a) + phi(b) for a, b >= 0 with a + b <= total: phi is
  // piecewise linear, so it suffices to check the vertices of the
  // arrangement of its breakpoints in a, b and a + b.
  bool superadditive(double lambda, int r, double total) {
    pts_.clear();
    for (int h = 1; h <= r; ++h) {
      pts_.push_back(prefix_[h] - lambda);
      pts_.push_back(prefix_[h]);
    }
    if (fin(total)) pts_.push_back(total);
    const double tolAbs = kSuperTol * std::max(1.0, prefix_[r]);
    auto ok = [&](double p, double q) {
      if (p < 0.0 || q < 0.0 || (fin(total) && p + q > total * (1.0 + 1e-12))) return true;
      return phi(p + q, lambda, r) >= phi(p, lambda, r) + phi(q, lambda, r) - tolAbs;
    };
    for (double p : pts_)
      for (double q : pts_)
        if (!ok(p, q) || !ok(p, q - p)) return false;
    return true;
  }

  void emit(const Cut& c, std::vector<Cut>& out) {
    nz_.clear();
    for (size_t k = 0; k < c.idx.size(); ++k) {
      // A column listed twice is harmless: offerCut takes it once.
      nz_.push_back(c.idx[k]);
      dense_[c.idx[k]] += c.val[k];
    }
    offerCut(in_, dense_, nz_, c.rhs, kFamFlow, out);
  }

  const SepInput& in_;
  std::vector<VarBound> vub_, vlb_;
  std::vector<Arc> arcs_;
  std::vector<char> inC_;
  std::vector<int> order_, nz_;
  std::vector<double> cx_, cy_, caps_, prefix_, pts_, dense_;
  Cut best_[2];              // most violated cut without and with lifting
  double bestViol_[2] = {0.0, 0.0};
};

}  // namespace

void separateFlowCovers(const SepInput& in, std::vector<Cut>& out, int maxRows) {
  const auto& rows = *in.rows;
  // Rows holding a fractional binary, most fractional mass first.
  struct Cand {
    int row;
    double score;
  };
  std::vector<Cand> cand;
  for (int i = 0; i < in.m; ++i) {
    const auto& r = rows[i];
    if (r.size() < 2 || static_cast<int>(r.size()) > kMaxRowLen) continue;
    double score = 0.0;
    bool cont = false;
    for (const auto& [j, a] : r) {
      if ((*in.kind)[j] != kInt) cont = true;
      const double f = in.x[j] - std::floor(in.x[j]);
      if ((*in.kind)[j] == kInt && f > in.intTol && f < 1.0 - in.intTol) score += std::min(f, 1.0 - f);
    }
    if (r.size() == 2 && cont) continue;  // variable bound rows are arcs, not nodes
    if (score > 0.0 || cont) cand.push_back({i, score + (cont ? 1.0 : 0.0)});
  }
  std::sort(cand.begin(), cand.end(), [](const Cand& a, const Cand& b) { return a.score > b.score; });
  if (static_cast<int>(cand.size()) > maxRows) cand.resize(maxRows);
  FlowCoverSeparator sep(in);
  int done = 0;
  for (const Cand& c : cand) {
    if (in.stop && (++done & 31) == 0 && in.stop()) break;
    sep.row(c.row, out);
  }
}

}  // namespace vnt::mip
