// What the cut and probing tests share: a recorder of the cuts the root
// loop generates, the copy of a small dense model into a problem, and the LP
// slices of a small mixed-integer model.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "mip/cuts.h"
#include "vanto/vanto.h"

namespace vnt::test {

// Every cut seen by the observer during the scope.
struct CutRecorder {
  std::vector<vnt::mip::Cut> cuts;
  CutRecorder() {
    vnt::mip::gCutObserver = [this](const vnt::mip::Cut& c) { cuts.push_back(c); };
  }
  ~CutRecorder() { vnt::mip::gCutObserver = nullptr; }
  int count(int family) const {
    int k = 0;
    for (const vnt::mip::Cut& c : cuts) k += c.family == family;
    return k;
  }
};

// Copies a minimization model given by dense rows into lp.
inline int copyDense(VNTENVptr env, VNTLPptr lp, const std::vector<double>& obj, const std::vector<double>& rhs,
                     const std::vector<char>& sense, const std::vector<std::vector<double>>& a,
                     const std::vector<double>& lb, const std::vector<double>& ub) {
  const int n = static_cast<int>(obj.size()), m = static_cast<int>(rhs.size());
  std::vector<int> beg(n), cnt(n), ind;
  std::vector<double> val;
  for (int j = 0; j < n; ++j) {
    beg[j] = static_cast<int>(ind.size());
    for (int i = 0; i < m; ++i)
      if (a[i][j] != 0) {
        ind.push_back(i);
        val.push_back(a[i][j]);
      }
    cnt[j] = static_cast<int>(ind.size()) - beg[j];
  }
  return VNTcopylp(env, lp, n, m, VNT_MIN, obj.data(), rhs.data(), sense.data(), beg.data(), cnt.data(), ind.data(),
                   val.data(), lb.data(), ub.data(), nullptr);
}

// Enumerates the integer points of the box [0, ub] of a dense minimization
// model, rows met within 1e-9, and calls visit(x, z) on each feasible point
// (z its objective); stops after a fatal failure.  Returns the best objective,
// +infinity when no point is feasible.
template <class Visit>
double enumerateFeasible(const std::vector<std::vector<double>>& a, const std::vector<char>& sense,
                         const std::vector<double>& rhs, const std::vector<double>& obj,
                         const std::vector<double>& ub, Visit visit) {
  const int n = static_cast<int>(obj.size()), m = static_cast<int>(rhs.size());
  std::vector<double> x(n, 0.0);
  double best = std::numeric_limits<double>::infinity();
  for (;;) {
    bool ok = true;
    for (int i = 0; i < m && ok; ++i) {
      double s = 0;
      for (int j = 0; j < n; ++j) s += a[i][j] * x[j];
      ok = sense[i] == 'L' ? s <= rhs[i] + 1e-9 : s >= rhs[i] - 1e-9;
    }
    if (ok) {
      double z = 0;
      for (int j = 0; j < n; ++j) z += obj[j] * x[j];
      best = std::min(best, z);
      visit(x, z);
      if (::testing::Test::HasFatalFailure()) return best;
    }
    int j = 0;
    while (j < n && x[j] == ub[j]) x[j++] = 0;
    if (j == n) break;
    x[j] += 1;
  }
  return best;
}

// The MIP answer of lp against the enumeration's best objective: infeasible
// when no point is feasible, else optimal at that objective.  Returns whether
// a point is feasible.
inline bool expectEnumeratedAnswer(VNTENVptr env, VNTLPptr lp, double best) {
  const int stat = VNTgetstat(env, lp);
  if (best == std::numeric_limits<double>::infinity()) {
    EXPECT_EQ(stat, VNTMIP_INFEASIBLE);
    return false;
  }
  EXPECT_EQ(stat, VNTMIP_OPTIMAL);
  double z = 0;
  EXPECT_EQ(VNTgetobjval(env, lp, &z), 0);
  EXPECT_NEAR(z, best, 1e-6 * (1 + std::fabs(best)));
  return true;
}

// Random small mixed-integer models and their LP slices: `slice`, a second
// problem in the environment, takes a copy of a model, and forEach() fixes
// its first columns to each integer assignment in turn.  The models are
// solved quietly and without presolve.
class IntegerSlices {
 public:
  IntegerSlices(VNTENVptr env, unsigned seed) : env_(env), rng_(seed) {
    int st = 0;
    slice = VNTcreateprob(env, &st, "slice");
    VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 0);
    VNTsetintparam(env, VNT_PARAM_PREIND, 0);
  }
  ~IntegerSlices() { VNTfreeprob(env_, &slice); }
  IntegerSlices(const IntegerSlices&) = delete;
  IntegerSlices& operator=(const IntegerSlices&) = delete;

  int uni(int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng_); }

  // The slice's objective over all its columns, and its sense.
  int objective(const std::vector<double>& c, int sense) {
    std::vector<int> all(c.size());
    std::iota(all.begin(), all.end(), 0);
    const int rc = VNTchgobj(env_, slice, static_cast<int>(c.size()), all.data(), c.data());
    return rc ? rc : VNTchgobjsen(env_, slice, sense);
  }

  // Solves the slice; its status and objective value.
  int solve() { return VNTlpopt(env_, slice); }
  int status() const { return VNTgetstat(env_, slice); }
  double objval() const {
    double z = 0;
    return VNTgetobjval(env_, slice, &z) == 0 ? z : std::nan("");
  }
  // Calls visit(y) with the slice's first k columns fixed to each assignment
  // y (y_j = 0, 1, ..., ub_j) in turn, until a test assertion has failed.
  template <class Visit>
  void forEach(int k, const std::vector<double>& ub, Visit visit) {
    std::vector<double> y(k, 0.0);
    std::vector<int> idx(k);
    std::iota(idx.begin(), idx.end(), 0);
    const std::vector<char> lu(k, 'B');
    for (;;) {
      ASSERT_EQ(VNTchgbds(env_, slice, k, idx.data(), lu.data(), y.data()), 0);
      visit(static_cast<const std::vector<double>&>(y));
      if (::testing::Test::HasFatalFailure()) return;
      int j = 0;
      while (j < k && y[j] == ub[j]) y[j++] = 0;
      if (j == k) return;
      y[j] += 1;
    }
  }

  VNTLPptr slice = nullptr;

 private:
  VNTENVptr env_;
  std::mt19937 rng_;
};

}  // namespace vnt::test
