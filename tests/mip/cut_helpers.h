// What the cut and probing tests share: a recorder of the cuts the root
// loop generates and the copy of a small dense model into a problem.
#pragma once

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

}  // namespace vnt::test
