// Sub-MIP heuristics.
//
// RINS (relaxation-induced neighbourhood search): the integer columns whose
// value in the incumbent equals their value in the node's LP solution are
// fixed there, and a sub-MIP with a node and a work limit searches the rest
// for a solution better than the incumbent.  The neighbourhood is where the
// incumbent and the relaxation agree, so it tends to hold improving
// solutions that the tree would reach only much later.
//
// A sub-MIP is the model as given with the fixings as bounds (fixings on the
// search's columns are mapped back through presolve); whatever it finds goes
// through the checked incumbent entry on the model as given.
#include <algorithm>
#include <cmath>

#include "env/limits.h"
#include "mip/search.h"
#include "mip/starts.h"

namespace vnt::mip {

namespace {
constexpr double kRinsMinFixShare = 0.3;    // RINS: at least this share of the integer columns fixed
constexpr double kRinsMaxFixShare = 0.98;   //   and some freedom left
constexpr long long kAutoRinsFreq = 200;    // nodes between RINS calls when automatic,
constexpr long long kRinsMaxBackoff = 64;   //   doubled after each call that found nothing, up to this factor
constexpr double kSubMipShare = 0.1;        // sub-MIPs together: this share of the run's ticks
constexpr double kSubMipFloorTicks = 200.0;  //   plus this many
constexpr double kSubMipMaxTicks = 2000.0;  // one sub-MIP at most
}  // namespace

double Search::subMipAllowance() const {
  const double spent = detTicks(*env_) - runStartTicks;
  return std::min(kSubMipMaxTicks, rp.heurEffort * (kSubMipFloorTicks + kSubMipShare * spent) - subMipTicks_);
}

bool Search::runSubMip(const std::vector<char>& fix, const std::vector<double>& val, const char* source) {
  const double ticks = subMipAllowance();
  if (ticks <= 0.0 || subMip) return false;
  // Fixed values on the search's columns, taken to the original columns.
  std::vector<double> xs(w.n0, 0.0);
  for (int j = 0; j < w.n0; ++j) xs[j] = fix[j] ? val[j] : std::max(curLo[j], std::min(curUp[j], xsave_[j]));
  std::vector<double> xo;
  toOriginal(xs.data(), xo);
  const int n = orig.numCols();
  std::vector<double> lb(orig.lb.begin(), orig.lb.begin() + n), ub(orig.ub.begin(), orig.ub.begin() + n);
  for (int o = 0; o < n; ++o) {
    const int s = searchColumn(o);
    if (s >= 0 && s < w.n0 && fix[s]) lb[o] = ub[o] = xo[o];
  }
  SubMipLimits lim;
  lim.ticks = ticks;
  if (hasIncumbent()) {
    lim.hasCutoff = true;
    const double inc = sense * incumbentObj;
    lim.cutoff = inc - sense * 1e-6 * std::max(1.0, std::fabs(inc));
  }
  const double k0 = detTicks(*env_);
  std::vector<double> x;
  const bool got = solveSubMip(*this, lb, ub, x, &lim);
  subMipTicks_ += detTicks(*env_) - k0;
  ++subMips_;
  return got && offerOriginal(x.data(), true, source);
}

bool Search::rins() {
  if (!hasIncumbent() || incumbentX.size() < static_cast<size_t>(w.n0) || !w.sets.empty()) return false;
  std::vector<char> fix(w.n0, 0);
  long long nint = 0, nfix = 0;
  for (int j = 0; j < w.n0; ++j) {
    if (w.kind[j] != kInt) continue;
    ++nint;
    if (std::fabs(incumbentX[j] - xsave_[j]) <= rp.intTol) {
      fix[j] = 1;
      ++nfix;
    }
  }
  const double share = nint > 0 ? static_cast<double>(nfix) / static_cast<double>(nint) : 0.0;
  // In the tree (automatic frequency) the next call waits for the interval;
  // a call that ran and found nothing doubles it, one that found a solution
  // resets it: on models where the neighbourhood holds nothing better the
  // sub-MIPs stop costing the search its time.
  rinsNext_ = nodeCount + rinsInterval_;
  if (share < kRinsMinFixShare || share > kRinsMaxFixShare) return false;
  const long long ran = subMips_;
  const bool found = runSubMip(fix, incumbentX, "rins");
  if (found) {
    ++rinsSolutions_;
    rinsInterval_ = kAutoRinsFreq;
  } else if (subMips_ > ran) {
    rinsInterval_ = std::min(rinsInterval_ * 2, kAutoRinsFreq * kRinsMaxBackoff);
  }
  rinsNext_ = nodeCount + rinsInterval_;
  return found;
}

bool Search::rinsDue(bool root) {
  if (rp.rinsFreq < 0 || !hasIncumbent() || !w.sets.empty()) return false;
  if (root || rinsInterval_ <= 0) {
    rinsInterval_ = kAutoRinsFreq;
    rinsNext_ = nodeCount + kAutoRinsFreq;
  }
  if (root) return true;
  if (rp.rinsFreq > 0) return nodeCount % rp.rinsFreq == 0;
  return nodeCount >= rinsNext_;
}

}  // namespace vnt::mip
