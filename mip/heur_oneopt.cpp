// Shift improvement of a new incumbent ("1-opt").
//
// Each integer column with a cost moves in its improving direction as far
// as its bounds and the model rows allow with every other column kept where
// it is; the columns are taken in order of the objective gain of one step,
// and the passes repeat while one of them moved something.  On covering
// models the rounding of an LP point covers many rows twice: the shifts
// drop the columns no row needs, most costly first.  No LP is solved, so the
// node's LP state is untouched; the shifted point goes through the checked
// incumbent entry like any other candidate.
#include <algorithm>
#include <cmath>

#include "env/limits.h"
#include "mip/search.h"

namespace vnt::mip {

namespace {
constexpr int kMaxPasses = 4;          // passes over the columns
constexpr double kRowSlack = 1e-9;     // rounding slack of a row's room (relative to the row's size)
constexpr double kMinGain = 1e-9;      // improvements below this (relative) are not offered
}  // namespace

bool Search::shiftImprove() {
  if (shifting_ || worker_ || !hasIncumbent() || incumbentX.size() < static_cast<size_t>(w.n0)) return false;
  if (w.n != w.n0 || !w.sets.empty() || !w.inds.empty()) return false;
  const int n = w.n0, m = w.m0;
  std::vector<double>& x = shiftX_;
  x.assign(incumbentX.begin(), incumbentX.begin() + n);
  std::vector<int>& cand = shiftCand_;
  cand.clear();
  for (int j = 0; j < n; ++j) {
    if (w.kind[j] == kCont) continue;
    if (w.kind[j] != kInt) return false;
    if (w.lp.obj[j] != 0.0 && w.lo[j] < w.up[j]) cand.push_back(j);
  }
  if (cand.empty()) return false;
  // Row activities of the model rows (cut rows hold at every solution and
  // are left out).
  std::vector<double>& act = shiftAct_;
  act.assign(m, 0.0);
  double work = 0.0;
  for (int j = 0; j < n; ++j) {
    if (x[j] == 0.0) continue;
    for (int64_t k = w.lp.matbeg[j]; k < w.lp.matbeg[j + 1]; ++k)
      if (w.lp.matind[k] < m) act[w.lp.matind[k]] += w.lp.matval[k] * x[j];
    work += static_cast<double>(w.lp.matbeg[j + 1] - w.lp.matbeg[j]);
  }
  auto score = [&](int j) {
    return std::fabs(w.lp.obj[j]) / static_cast<double>(1 + w.lp.matbeg[j + 1] - w.lp.matbeg[j]);
  };
  std::sort(cand.begin(), cand.end(), [&](int a, int b) {
    const double ga = score(a), gb = score(b);
    return ga > gb || (ga == gb && a < b);
  });
  bool moved = false;
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    bool any = false;
    for (int j : cand) {
      // Improving direction in the internal minimization form.
      const double d = sense * w.lp.obj[j] > 0 ? -1.0 : 1.0;
      double steps = d < 0 ? x[j] - w.lo[j] : w.up[j] - x[j];
      if (!(steps >= 1.0)) continue;
      for (int64_t k = w.lp.matbeg[j]; k < w.lp.matbeg[j + 1] && steps >= 1.0; ++k) {
        const int i = w.lp.matind[k];
        if (i >= m) continue;
        const double a = w.lp.matval[k] * d;  // activity change per step
        const double lo = w.lo[w.n + i], up = w.up[w.n + i];
        const double slack = kRowSlack * std::max(1.0, std::fabs(act[i]));
        if (a > 0 && up < tol::kInf) steps = std::min(steps, std::floor((up - act[i] + slack) / a));
        else if (a < 0 && lo > -tol::kInf) steps = std::min(steps, std::floor((act[i] - lo + slack) / -a));
      }
      work += static_cast<double>(w.lp.matbeg[j + 1] - w.lp.matbeg[j]);
      if (!(steps >= 1.0)) continue;
      const double delta = d * steps;
      x[j] += delta;
      for (int64_t k = w.lp.matbeg[j]; k < w.lp.matbeg[j + 1]; ++k)
        if (w.lp.matind[k] < m) act[w.lp.matind[k]] += w.lp.matval[k] * delta;
      any = moved = true;
    }
    if (!any) break;
  }
  if (env_->counter) env_->counter->add(static_cast<uint64_t>(work));
  if (!moved) return false;
  double gain = 0.0;
  for (int j = 0; j < n; ++j) gain += sense * w.lp.obj[j] * (incumbentX[j] - x[j]);
  if (!(gain > kMinGain * std::max(1.0, std::fabs(incumbentObj)))) return false;
  shifting_ = true;
  const bool got = offerSolution(x.data(), true, "1-opt");
  shifting_ = false;
  if (got) ++shiftSolutions_;
  return got;
}

}  // namespace vnt::mip
