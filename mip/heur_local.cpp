// Local branching: a sub-MIP over the solutions that differ from the
// incumbent in at most k binary columns (the soft neighbourhood row
//   sum over incumbent zeros of x_j + sum over incumbent ones of (1 - x_j) <= k
// added to the model as given), with the incumbent as cutoff.  It runs once
// per incumbent, on the heuristic schedule; whatever it finds goes through
// the checked incumbent entry.
#include <algorithm>
#include <cmath>

#include "env/limits.h"
#include "mip/search.h"
#include "mip/starts.h"

namespace vnt::mip {

namespace {
constexpr int kNeighbourhood = 10;     // binary columns that may change
constexpr int kMinBinaries = 2 * kNeighbourhood;  // fewer: the sub-MIP is the model itself
}  // namespace

bool Search::localBranch() {
  if (subMip || !hasIncumbent() || incumbentOrig.size() < static_cast<size_t>(orig.numCols())) return false;
  localBranchedAt_ = incumbentObj;
  const double ticks = subMipAllowance();
  if (ticks <= 0.0) return false;
  const int n = orig.numCols();
  SubMipLimits lim;
  int ones = 0;
  for (int j = 0; j < n; ++j) {
    const char t = orig.ctype.empty() ? 'C' : orig.ctype[j];
    const bool binary = t == 'B' || (t == 'I' && orig.lb[j] == 0.0 && orig.ub[j] == 1.0);
    if (!binary) continue;
    const double v = std::round(incumbentOrig[j]);
    lim.rowInd.push_back(j);
    lim.rowVal.push_back(v >= 0.5 ? -1.0 : 1.0);
    if (v >= 0.5) ++ones;
  }
  if (lim.rowInd.size() < static_cast<size_t>(kMinBinaries)) return false;
  lim.rowRhs = kNeighbourhood - ones;
  lim.ticks = ticks;
  lim.hasCutoff = true;
  const double inc = sense * incumbentObj;
  lim.cutoff = inc - sense * 1e-6 * std::max(1.0, std::fabs(inc));
  std::vector<double> lb(orig.lb.begin(), orig.lb.begin() + n), ub(orig.ub.begin(), orig.ub.begin() + n);
  std::vector<double> x;
  const double k0 = detTicks(*env_);
  const bool got = solveSubMip(*this, lb, ub, x, &lim);
  subMipTicks_ += detTicks(*env_) - k0;
  ++subMips_;
  const bool found = got && offerOriginal(x.data(), true, "local branching");
  if (found) ++localSolutions_;
  return found;
}

}  // namespace vnt::mip
