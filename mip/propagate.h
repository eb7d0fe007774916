// Bound propagation on the rows of the working LP (row-wise copy): a row
//  L <= a x <= U  with minimal activity minA bounds each of its columns by
//  U - (minA - the column's own smallest term), and likewise from L.  The
// bounds carry a trail so that a trial fixing can be undone.  Used by
// probing (mip/probe.cpp) and by fix-and-propagate (mip/heur_fixprop.cpp).
#pragma once

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "mip/cuts.h"

namespace vnt::mip {

using PropRows = std::vector<std::vector<std::pair<int, double>>>;

inline bool finiteB(double v) { return v > -tol::kInf && v < tol::kInf; }

// Bounds of the columns with a trail for undoing a probe and a queue of rows
// to visit.  Each row's smallest and largest activity (and the count of
// infinite terms in each) are kept up to date with every bound change, so a
// queued row whose slack on both sides is at least its largest term range
// (taken at the start: bounds only shrink) is passed over without a visit
// of its entries.
class Propagator {
 public:
  // Starts from the column bounds clo/cup (the global ones when null).
  Propagator(const Working& w, const PropRows& rows, const double* clo = nullptr, const double* cup = nullptr)
      : w_(w), rows_(rows), n_(w.n), m_(w.m) {
    lo.assign(clo ? clo : w.lo.data(), (clo ? clo : w.lo.data()) + n_);
    up.assign(cup ? cup : w.up.data(), (cup ? cup : w.up.data()) + n_);
    colBeg_.assign(n_ + 1, 0);
    for (int i = 0; i < m_; ++i)
      for (const auto& e : rows[i]) ++colBeg_[e.first + 1];
    for (int j = 0; j < n_; ++j) colBeg_[j + 1] += colBeg_[j];
    colRows_.resize(colBeg_[n_]);
    std::vector<int> fill(colBeg_.begin(), colBeg_.end() - 1);
    colVal_.resize(colBeg_[n_]);
    for (int i = 0; i < m_; ++i)
      for (const auto& e : rows[i]) {
        colVal_[fill[e.first]] = e.second;
        colRows_[fill[e.first]++] = i;
      }
    queued_.assign(m_, 0);
    actMin_.assign(m_, 0.0);
    actMax_.assign(m_, 0.0);
    infMin_.assign(m_, 0);
    infMax_.assign(m_, 0);
    range_.assign(m_, 0.0);
    for (int i = 0; i < m_; ++i)
      for (const auto& [j, a] : rows[i]) {
        addTerm(i, a, lo[j], up[j], 1);
        const double r = finiteB(lo[j]) && finiteB(up[j]) ? std::fabs(a) * (up[j] - lo[j]) : tol::kInf;
        range_[i] = std::max(range_[i], r);
      }
  }

  struct Saved {
    int j;
    double lo, up;
  };
  std::vector<double> lo, up;
  std::vector<Saved> trail;
  double work = 0.0;

  int degree(int j) const { return colBeg_[j + 1] - colBeg_[j]; }

  // Tightens column j to [l, u] (intersected with its bounds); false when
  // the interval is empty.
  bool tighten(int j, double l, double u) {
    const double nl = std::max(lo[j], l), nu = std::min(up[j], u);
    if (nl > nu + cuttol::kProbeTol * std::max(1.0, std::fabs(nu))) return false;
    if (nl == lo[j] && nu == up[j]) return true;
    trail.push_back({j, lo[j], up[j]});
    setBounds(j, nl, std::max(nl, nu));
    for (int p = colBeg_[j]; p < colBeg_[j + 1]; ++p) {
      const int i = colRows_[p];
      if (!queued_[i]) {
        queued_[i] = 1;
        queue_.push_back(i);
      }
    }
    return true;
  }

  // Visits every row once (and what follows): the global bounds' own
  // consequences.
  bool propagateAll() {
    for (int i = 0; i < m_; ++i)
      if (!queued_[i]) {
        queued_[i] = 1;
        queue_.push_back(i);
      }
    full_ = true;  // the first pass also rounds fractional bounds of integer columns
    const bool ok = propagate();
    full_ = false;
    return ok;
  }

  // Visits the queued rows until nothing changes; false on an infeasible row.
  bool propagate() {
    bool ok = true;
    while (!queue_.empty() && ok) {
      const int i = queue_.back();
      queue_.pop_back();
      queued_[i] = 0;
      ok = row(i);
    }
    for (int i : queue_) queued_[i] = 0;
    queue_.clear();
    return ok;
  }

  void undo(size_t mark) {
    while (trail.size() > mark) {
      const Saved& s = trail.back();
      setBounds(s.j, s.lo, s.up);
      trail.pop_back();
    }
  }

 private:
  bool row(int i) {
    const auto& r = rows_[i];
    const double L = w_.lo[n_ + i], U = w_.up[n_ + i];
    const bool hasL = finiteB(L), hasU = finiteB(U);
    if ((!hasL && !hasU) || r.empty()) return true;
    work += 1.0;
    if (!full_) {
      // Slack at least the largest term range on both sides: nothing to
      // tighten and no infeasibility.
      const double margin = 1e-6 * std::max({1.0, std::fabs(actMin_[i]), std::fabs(actMax_[i])});
      const bool quietU = !hasU || infMin_[i] >= 2 || (infMin_[i] == 0 && U - actMin_[i] >= range_[i] + margin);
      const bool quietL = !hasL || infMax_[i] >= 2 || (infMax_[i] == 0 && actMax_[i] - L >= range_[i] + margin);
      if (quietU && quietL) return true;
    }
    work += 2.0 * static_cast<double>(r.size());
    double minA = 0.0, maxA = 0.0;
    int minInf = 0, maxInf = 0;
    for (const auto& [j, a] : r) {
      const double l = lo[j], u = up[j];
      if (a > 0) {
        if (finiteB(l)) minA += a * l; else ++minInf;
        if (finiteB(u)) maxA += a * u; else ++maxInf;
      } else {
        if (finiteB(u)) minA += a * u; else ++minInf;
        if (finiteB(l)) maxA += a * l; else ++maxInf;
      }
    }
    if (hasU && minInf == 0 && minA > U + cuttol::kProbeTol * std::max(1.0, std::fabs(U))) return false;
    if (hasL && maxInf == 0 && maxA < L - cuttol::kProbeTol * std::max(1.0, std::fabs(L))) return false;
    const bool useU = hasU && minInf <= 1, useL = hasL && maxInf <= 1;
    if (!useU && !useL) return true;
    for (const auto& [j, a] : r) {
      const double l = lo[j], u = up[j];
      double nl = -tol::kInf, nu = tol::kInf;
      if (useU) {
        // The smallest activity of the other terms.
        const double own = a > 0 ? l : u;
        double rest;
        if (finiteB(own)) rest = minInf == 0 ? minA - a * own : tol::kInf;
        else rest = minInf == 1 ? minA : tol::kInf;
        if (rest < tol::kInf) {
          const double v = (U - rest) / a;
          if (a > 0) nu = v; else nl = v;
        }
      }
      if (useL) {
        const double own = a > 0 ? u : l;
        double rest;
        if (finiteB(own)) rest = maxInf == 0 ? maxA - a * own : -tol::kInf;
        else rest = maxInf == 1 ? maxA : -tol::kInf;
        if (rest > -tol::kInf) {
          const double v = (L - rest) / a;
          if (a > 0) nl = std::max(nl, v); else nu = std::min(nu, v);
        }
      }
      if (w_.kind[j] == kInt) {
        if (nu < tol::kInf) nu = std::floor(nu + cuttol::kProbeIntRound * std::max(1.0, std::fabs(nu)));
        if (nl > -tol::kInf) nl = std::ceil(nl - cuttol::kProbeIntRound * std::max(1.0, std::fabs(nl)));
      } else {
        // Continuous columns: only clear gains, loosened by the tolerance
        // (tiny steps would run on forever).
        const double gu = cuttol::kImpliedMinGain * std::max(1.0, std::fabs(u));
        const double gl = cuttol::kImpliedMinGain * std::max(1.0, std::fabs(l));
        nu = nu < u - gu && std::fabs(nu) < 1e12 ? nu + cuttol::kProbeTol * std::max(1.0, std::fabs(nu)) : tol::kInf;
        nl = nl > l + gl && std::fabs(nl) < 1e12 ? nl - cuttol::kProbeTol * std::max(1.0, std::fabs(nl)) : -tol::kInf;
      }
      if (nl > l || nu < u) {
        if (!tighten(j, nl, nu)) return false;
      }
    }
    return true;
  }

  // Adds (sign 1) or removes (-1) the terms of a column with coefficient a
  // and bounds [l, u] to row i's activity limits.
  void addTerm(int i, double a, double l, double u, int sign) {
    const double mn = a > 0 ? l : u, mx = a > 0 ? u : l;
    if (finiteB(mn)) actMin_[i] += sign * a * mn;
    else infMin_[i] += sign;
    if (finiteB(mx)) actMax_[i] += sign * a * mx;
    else infMax_[i] += sign;
  }
  void setBounds(int j, double l, double u) {
    for (int p = colBeg_[j]; p < colBeg_[j + 1]; ++p) {
      addTerm(colRows_[p], colVal_[p], lo[j], up[j], -1);
      addTerm(colRows_[p], colVal_[p], l, u, 1);
    }
    work += static_cast<double>(colBeg_[j + 1] - colBeg_[j]);
    lo[j] = l;
    up[j] = u;
  }

  const Working& w_;
  const PropRows& rows_;
  int n_, m_;
  std::vector<int> colBeg_, colRows_;
  std::vector<double> colVal_;
  std::vector<double> actMin_, actMax_, range_;
  std::vector<int> infMin_, infMax_;
  bool full_ = false;
  std::vector<char> queued_;
  std::vector<int> queue_;
};

}  // namespace vnt::mip
