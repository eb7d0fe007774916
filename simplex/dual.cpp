// Dual simplex: steepest-edge pricing of the leaving row, bound-flipping
// ratio test with Harris tolerances, cost perturbation against dual
// degeneracy, and a boxed subproblem as phase 1.
#include <algorithm>
#include <cmath>

#include "simplex/lp_engine.h"
#include "simplex/profile.h"

namespace vnt::simplex {

namespace {
constexpr double kInf = tol::kInfinity;
inline bool finiteLo(double v) { return v > -kInf; }
inline bool finiteUp(double v) { return v < kInf; }
constexpr int kStallWindow = 30;  // iterations between stall checks (fewer on small models)
constexpr int kObjLimitInterval = 10;
constexpr int kMaxPasses = 30;
constexpr int kRatioChunk = 32;  // candidates of the ratio test ordered in the first chunk
}  // namespace

LpStatus LpEngine::solveDual() {
  beginSolve();
  // A primal clean-up inside the dual prices by devex over all columns.
  primalSteepest_ = primalSteepestInit_ = false;
  priceSections_ = 1;
  ProfileScope total(opt_.profile, prof_.total);
  // An empty bound interval makes the model infeasible before any iteration.
  if (crossedBound() >= 0) return lpStatus_ = LpStatus::kInfeasible;
  lpStatus_ = finishDropped(runDual());
  if (restartFromSlacks(lpStatus_)) lpStatus_ = finishDropped(runPrimal());
  return lpStatus_;
}

void LpEngine::initDualWeights() {
  if (opt_.dualPricing == 1) {
    std::fill(dualWeight_.begin(), dualWeight_.end(), 1.0);
    weightsValid_ = true;
    return;
  }
  bool slackOnly = true;
  for (int i = 0; i < m_ && slackOnly; ++i) slackOnly = head_[i] >= n_;
  if (slackOnly || opt_.dualPricing == 4) {
    std::fill(dualWeight_.begin(), dualWeight_.end(), 1.0);
    weightsValid_ = true;
    return;
  }
  if (opt_.display)
    logLine(opt_.dualPricing == 3 ? "Initializing dual full norms . . .\n" : "Initializing dual steep norms . . .\n");
  for (int i = 0; i < m_; ++i) dualWeight_[i] = exactDualWeight(i);
  weightsValid_ = true;
}

// Squared norm of row i of the basis inverse (an exact zero is stored as a
// tiny positive weight, and the weights are kept finite).
double LpEngine::exactDualWeight(int i) {
  work_.clear();
  work_.val[i] = 1.0;
  work_.idx[0] = i;
  work_.nnz = 1;
  factor_.btran(work_, tol::kFtranSparseHint);
  double s = 0.0;
  if (work_.packed)
    for (int t = 0; t < work_.nnz; ++t) s += work_.val[work_.idx[t]] * work_.val[work_.idx[t]];
  else
    for (int k = 0; k < m_; ++k) s += work_.val[k] * work_.val[k];
  addWork(work_.packed ? work_.nnz : m_);
  work_.clear();
  std::fill(work_.val.begin(), work_.val.end(), 0.0);
  return std::clamp(s, tol::kWeightZero, tol::kWeightMax);
}

// After a refactorization: rows whose weight fell below the minimum, or was
// raised when their pivot was refused, get their exact weight back.
void LpEngine::reinitSmallDualWeights() {
  if (opt_.dualPricing == 1 || !weightsValid_) {
    for (int i : refusedList_) refusedRow_[i] = 0;
    refusedList_.clear();
    return;
  }
  int64_t cnt = 0;
  for (int i : refusedList_) {
    refusedRow_[i] = 0;
    dualWeight_[i] = 0.0;  // recomputed below
  }
  refusedList_.clear();
  for (int i = 0; i < m_; ++i) {
    if (dualWeight_[i] >= tol::kWeightMin && dualWeight_[i] <= tol::kWeightMax) continue;
    if (cnt == 0 && opt_.display) logLine("Reinitializing dual norms . . .\n");
    dualWeight_[i] = exactDualWeight(i);
    ++cnt;
  }
  if (cnt > 0 && opt_.display) logLine("Computed %lld new norms.\n", static_cast<long long>(cnt));
}

// Nonbasic variables whose reduced cost has the wrong sign: boxed ones move to
// the other bound; the others get their cost shifted when allowShift.
// Returns true when a primal value changed.
bool LpEngine::flipToDualFeasible(double tolD, bool allowShift) {
  bool moved = false;
  for (int j = 0; j < nTot_; ++j) {
    const uint8_t st = status_[j];
    if (st == kBasic || isFrozen(j)) continue;
    const double d = dj_[j];
    bool bad = false;
    if (st == kLower) bad = d < -tolD;
    else if (st == kUpper) bad = d > tolD;
    else bad = std::fabs(d) > tolD;
    if (!bad) continue;
    if (isBoxed(j)) {
      if (d < 0) { status_[j] = kUpper; x_[j] = upper_[j]; }
      else { status_[j] = kLower; x_[j] = lower_[j]; }
      moved = true;
    } else if (st == kZero || st == kSuper) {
      // A free variable with a reduced cost: a bound may exist on the good side.
      if (d > 0 && finiteLo(lower_[j])) { status_[j] = kLower; x_[j] = lower_[j]; moved = true; }
      else if (d < 0 && finiteUp(upper_[j])) { status_[j] = kUpper; x_[j] = upper_[j]; moved = true; }
      else if (allowShift) { cost_[j] -= d; dj_[j] = 0.0; ++costShifts_; }
    } else if (allowShift) {
      cost_[j] -= d;
      dj_[j] = 0.0;
      ++costShifts_;
    }
  }
  return moved;
}

void LpEngine::perturbCosts() {
  perturbEps_ = perturbCount_ == 0 ? opt_.perturbationConst : std::min(perturbEps_ / 10.0, 1e-6);
  const double eps = perturbEps_;
  if (1000.0 * tolD_ > eps) tolD_ = eps / 1000.0;
  for (int j = 0; j < nTot_; ++j) {
    const uint8_t st = status_[j];
    if (st == kBasic || isFrozen(j)) continue;
    double r1 = random01(), r2 = random01();
    // Relative to the cost magnitude so that scaled costs of any size are separated.
    double delta = (r1 * 0.01 + r2) * eps * (1.0 + std::fabs(origCost_[j]));
    if (st == kLower) {
      cost_[j] += delta;
      dj_[j] += delta;
    } else if (st == kUpper) {
      cost_[j] -= delta;
      dj_[j] -= delta;
    }
  }
  costsPerturbed_ = true;
  if (opt_.display) logLine(perturbCount_ == 0 ? "Perturbation started.\n" : "Reperturbation started.\n");
  ++perturbCount_;
}

int LpEngine::chooseLeavingRow() const {
  int best = -1;
  double bestScore = 0.0;
  const double* inf = infeas_.data();
  if (opt_.dualPricing == 1) {
    for (int i = 0; i < m_; ++i)
      if (inf[i] > bestScore) {
        bestScore = inf[i];
        best = i;
      }
    return best;
  }
  const double* w = dualWeight_.data();
  for (int i = 0; i < m_; ++i) {
    if (inf[i] > bestScore * w[i]) {
      bestScore = inf[i] / w[i];
      best = i;
    }
  }
  return best;
}

void LpEngine::rebuildInfeas() {
  infeas_.resize(m_);
  for (int i = 0; i < m_; ++i) updateInfeas(i);
}

// Bound-flipping ratio test on the pivot row.  Returns the entering variable,
// or -1 when the dual ray is unbounded (the row cannot be made feasible).
// Sets ratioTheta_ and the flip list.
int LpEngine::dualRatioTest(int r, double delta, int* nflip) {
  (void)r;
  const double s = delta < 0 ? -1.0 : 1.0;
  const double piv = dualRatioPivot_;
  const double tolD = tolD_;
  int nc = 0;
  for (int t = 0; t < rowNnz_; ++t) {
    const int j = rowIdx_[t];
    const uint8_t st = status_[j];
    if (st == kBasic) continue;
    double a = s * rowAlpha_[j];
    double d = dj_[j];
    bool ranged = st != kZero && st != kSuper;
    if (st == kUpper) {
      a = -a;
      d = -d;
    } else if (!ranged) {
      d = std::max(0.0, a > 0 ? d : -d);
      a = std::fabs(a);
    }
    // Only a variable moving off its bound in the right direction limits the step.
    if (a <= piv || isFrozen(j)) continue;
    ranged = ranged && isBoxed(j);
    const double ratio = d / a, harris = (d + tolD) / a;
    candIdx_[nc] = j;
    candAlpha_[nc] = a;
    candRatio_[nc] = ratio;
    candHarris_[nc] = harris;
    candRange_[nc] = ranged ? (upper_[j] - lower_[j]) * a : tol::kSlopeInfinite;
    ++nc;
  }
  // Breakpoints are passed in groups: a group is every candidate whose ratio
  // is within the smallest Harris bound of those not yet passed; the group's
  // boxed variables flip while the slope stays positive, and the entering
  // variable is the group member with the largest pivot.  Candidates are
  // ordered lazily: the smallest ratios are selected and sorted a chunk at a
  // time (chunks doubling), so a test that stops early costs O(k) and a long
  // flip sequence over many boxed columns O(k log k).
  double slope = std::fabs(delta);
  int nf = 0;
  int q = -1;
  int* ord = candOrder_.data();
  double* suf = candSufHarris_.data();
  for (int c = 0; c < nc; ++c) ord[c] = c;
  auto byRatio = [&](int a, int b) { return candRatio_[a] < candRatio_[b]; };
  int sortedEnd = 0;
  int chunk = kRatioChunk;
  int k = 0;  // first candidate not yet passed
  auto expand = [&]() {
    const int newEnd = std::min(nc, sortedEnd + chunk);
    chunk *= 2;
    if (newEnd < nc) std::nth_element(ord + sortedEnd, ord + newEnd, ord + nc, byRatio);
    std::sort(ord + sortedEnd, ord + newEnd, byRatio);
    double tailMin = kInf;
    for (int t = newEnd; t < nc; ++t) tailMin = std::min(tailMin, candHarris_[ord[t]]);
    suf[newEnd] = tailMin;
    for (int t = newEnd - 1; t >= k; --t) suf[t] = std::min(suf[t + 1], candHarris_[ord[t]]);
    addWork(static_cast<uint64_t>(nc - sortedEnd) * 2 + static_cast<uint64_t>(newEnd - sortedEnd) * 4);
    sortedEnd = newEnd;
  };
  if (nc > 0) expand();
  while (k < nc) {
    const double thMax = suf[k];
    int e = k;
    while (e < sortedEnd && candRatio_[ord[e]] <= thMax) ++e;
    if (e == sortedEnd && sortedEnd < nc && candRatio_[ord[sortedEnd]] <= thMax) {
      expand();  // the group reaches into the unsorted tail
      continue;
    }
    double drop = 0.0, bestA = -1.0;
    int best = -1;
    for (int t = k; t < e; ++t) {
      const int c = ord[t];
      drop += candRange_[c];
      if (candAlpha_[c] > bestA) {
        bestA = candAlpha_[c];
        best = c;
      }
    }
    if (best < 0) break;  // cannot happen: the smallest Harris bound has a member
    // Enter when the slope turns negative, or reaches zero at the last group
    // (the flips alone would make the leaving row exactly feasible).
    if (drop >= tol::kSlopeInfinite || slope - drop < 0.0 || (e == nc && slope - drop <= tolP_)) {
      q = candIdx_[best];
      ratioTheta_ = std::max(candRatio_[best], 0.0);
      break;
    }
    slope -= drop;
    for (int t = k; t < e; ++t) flipList_[nf++] = candIdx_[ord[t]];
    k = e;
  }
  addWork(static_cast<uint64_t>(rowNnz_) + nc);
  *nflip = q >= 0 ? nf : 0;
  return q;
}

LpEngine::LoopResult LpEngine::dualLoop(int phase) {
  bool needRefactor = !factorValid_;
  int updates = 0;
  double rhoDensity = 0.1, colDensity = 0.1;
  // Stall monitor: the dual objective is compared with the best seen every
  // kStallWindow iterations.  No progress perturbs the costs (phase 2, once
  // per episode); no progress over the long window stops the loop.
  int64_t markIter = iterations_, lastProgress = iterations_;
  double bestObj = -kInf;
  const int64_t window = std::clamp(2 * m_, 10, kStallWindow);
  const int64_t longWindow = std::max<int64_t>(window, m_);
  int refused = 0;  // pivots refused in a row on fresh factors
  rebuildInfeas();
  for (;;) {
    if (needRefactor) {
      ProfileScope ps(opt_.profile, prof_.factor);
      if (!refactor()) return LoopResult::kTrouble;
      computePrimal();
      computeDual();
      if (flipToDualFeasible(tolD_, phase == 2)) computePrimal();
      reinitSmallDualWeights();
      rebuildInfeas();
      needRefactor = false;
      updates = 0;
    }
    if (iterations_ >= opt_.iterationLimit) {
      stopStatus_ = static_cast<int>(LpStatus::kIterationLimit);
      return LoopResult::kLimit;
    }
    if (opt_.pollInterval > 0 && iterations_ % opt_.pollInterval == 0) {
      int st = poll();
      if (st) {
        stopStatus_ = st;
        return LoopResult::kLimit;
      }
    }
    ProfileScope psPrice(opt_.profile, prof_.pricing);
    const int r = chooseLeavingRow();
    psPrice.stop();
    if (r < 0) {
      if (updates > 0) {  // confirm with fresh factors and recomputed values
        needRefactor = true;
        continue;
      }
      return LoopResult::kOptimal;
    }
    const int p = head_[r];
    const double xp = x_[p];
    const bool toLower = xp < lower_[p];
    const double bound = toLower ? lower_[p] : upper_[p];
    const double delta = xp - bound;

    // Row r of B^-1 and the pivot row.
    rho_.clear();
    rho_.val[r] = 1.0;
    rho_.idx[0] = r;
    rho_.nnz = 1;
    {
      ProfileScope ps(opt_.profile, prof_.btran);
      factor_.btran(rho_, rhoDensity);
    }
    {
      int nz = rho_.packed ? rho_.nnz : m_;
      rhoDensity = 0.95 * rhoDensity + 0.05 * (static_cast<double>(nz) / std::max(1, m_));
    }
    {
      ProfileScope ps(opt_.profile, prof_.pivotRow);
      computePivotRow(rho_);
    }
    int nflip = 0;
    ProfileScope psRatio(opt_.profile, prof_.ratio);
    const int q = dualRatioTest(r, delta, &nflip);
    psRatio.stop();
    if (q < 0) {
      if (updates > 0) {
        needRefactor = true;
        continue;
      }
      // Dual unbounded: the row cannot reach its bound.
      infeasRow_ = r;
      farkas_.assign(m_, 0.0);
      const double sg = delta < 0 ? -1.0 : 1.0;
      if (rho_.packed)
        for (int t = 0; t < rho_.nnz; ++t) farkas_[rho_.idx[t]] = sg * rho_.val[rho_.idx[t]];
      else
        for (int i = 0; i < m_; ++i) farkas_[i] = sg * rho_.val[i];
      clearPivotRow();
      std::vector<double> target(m_, 0.0);
      target[r] = sg;
      refineFarkas(target);
      return LoopResult::kInfeasible;
    }

    // Entering column.
    {
      ProfileScope ps(opt_.profile, prof_.ftran);
      loadColumn(q, col_);
      factor_.ftranForUpdate(col_, colDensity);
    }
    {
      int nz = col_.packed ? col_.nnz : m_;
      colDensity = 0.95 * colDensity + 0.05 * (static_cast<double>(nz) / std::max(1, m_));
    }
    const double alphaC = col_.val[r];
    const double alphaR = rowAlpha_[q];
    const double diff = std::fabs(alphaC - alphaR);
    if (std::fabs(alphaC) <= tol::kPivotZero ||
        (diff > tol::kPivotMismatch * (1.0 + std::fabs(alphaC)) && updates > 0) ||
        (std::fabs(alphaC) < tol::kPivotSmall && updates > 0)) {
      if (updates > 0) {
        needRefactor = true;
        continue;
      }
      // Fresh factors and still a useless pivot: make the row unattractive
      // until the next refactorization gives it its exact weight back; when
      // every row keeps failing, the loop cannot go on.
      if (++refused > m_ + 10) return LoopResult::kStalled;
      dualWeight_[r] = std::min(dualWeight_[r] * tol::kRefusedWeightGrowth, tol::kWeightMax);
      if (!refusedRow_[r]) {
        refusedRow_[r] = 1;
        refusedList_.push_back(r);
      }
      continue;
    }

    refused = 0;
    const double sgn = delta < 0 ? -1.0 : 1.0;
    const double thetaD = sgn * ratioTheta_;
    // Reduced costs.
    if (thetaD != 0.0)
      for (int t = 0; t < rowNnz_; ++t) {
        const int j = rowIdx_[t];
        dj_[j] -= thetaD * rowAlpha_[j];
      }
    dj_[q] = 0.0;
    dj_[p] = -thetaD;

    // Bound flips.
    if (nflip > 0) {
      flip_.clear();
      for (int f = 0; f < nflip; ++f) {
        const int j = flipList_[f];
        double old = x_[j];
        if (status_[j] == kLower) {
          status_[j] = kUpper;
          x_[j] = upper_[j];
        } else {
          status_[j] = kLower;
          x_[j] = lower_[j];
        }
        const double dx = x_[j] - old;
        if (j < n_) {
          for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) flip_.val[colIndex_[k]] -= dx * colValue_[k];
        } else {
          flip_.val[j - n_] -= dx;
        }
      }
      flip_.repack();
      {
        ProfileScope ps(opt_.profile, prof_.ftran);
        factor_.ftran(flip_, colDensity);
      }
      if (flip_.packed)
        for (int t = 0; t < flip_.nnz; ++t) {
          const int i = flip_.idx[t];
          x_[head_[i]] += flip_.val[i];
          updateInfeas(i);
        }
      else
        for (int i = 0; i < m_; ++i) {
          x_[head_[i]] += flip_.val[i];
          updateInfeas(i);
        }
      flip_.clear();
      addWork(static_cast<uint64_t>(nflip) * 4 + m_ / 8);
    }

    // Primal step.
    const double thetaP = (x_[p] - bound) / alphaC;
    if (col_.packed) {
      for (int t = 0; t < col_.nnz; ++t) {
        const int i = col_.idx[t];
        x_[head_[i]] -= thetaP * col_.val[i];
        updateInfeas(i);
      }
    } else {
      for (int i = 0; i < m_; ++i)
        if (col_.val[i] != 0.0) {
          x_[head_[i]] -= thetaP * col_.val[i];
          updateInfeas(i);
        }
    }
    x_[q] += thetaP;
    x_[p] = bound;

    // Dual steepest-edge weights.
    if (opt_.dualPricing != 1) {
      double wr = 0.0;
      tau_.clear();
      if (rho_.packed) {
        for (int t = 0; t < rho_.nnz; ++t) {
          const int i = rho_.idx[t];
          tau_.val[i] = rho_.val[i];
          tau_.idx[tau_.nnz++] = i;
          wr += rho_.val[i] * rho_.val[i];
        }
      } else {
        for (int i = 0; i < m_; ++i) {
          if (rho_.val[i] == 0.0) continue;
          tau_.val[i] = rho_.val[i];
          tau_.idx[tau_.nnz++] = i;
          wr += rho_.val[i] * rho_.val[i];
        }
      }
      {
        ProfileScope ps(opt_.profile, prof_.ftran);
        factor_.ftran(tau_, rhoDensity);
      }
      const double inv = 1.0 / alphaC;
      auto upd = [&](int i) {
        if (i == r) return;
        const double ratio = col_.val[i] * inv;
        if (ratio == 0.0) return;
        const double w = dualWeight_[i] + ratio * (ratio * wr - 2.0 * tau_.val[i]);
        const double floor = std::max(tol::kWeightMin, ratio * ratio);
        dualWeight_[i] = w >= floor ? std::min(w, tol::kWeightMax) : std::min(floor, tol::kWeightMax);
      };
      if (col_.packed)
        for (int t = 0; t < col_.nnz; ++t) upd(col_.idx[t]);
      else
        for (int i = 0; i < m_; ++i) upd(i);
      dualWeight_[r] = std::clamp(wr * inv * inv, tol::kWeightMin, tol::kWeightMax);
      addWork(static_cast<uint64_t>(col_.packed ? col_.nnz : m_) * 3);
      tau_.clear();
    }
    clearPivotRow();

    // Basis change.
    status_[p] = (toLower || lower_[p] == upper_[p]) ? kLower : kUpper;
    pos_[p] = -1;
    status_[q] = kBasic;
    pos_[q] = r;
    head_[r] = q;
    updateInfeas(r);
    ProfileScope psUpd(opt_.profile, prof_.update);
    const int u = factor_.update(r);
    psUpd.stop();
    ++updates;
    if (u != 0 || updates >= refactorLimit_) needRefactor = true;
    primalValid_ = dualValid_ = true;

    ++iterations_;
    if (phase == 1) ++phase1Iterations_;
    if (opt_.display >= 2) {
      logPivot(true, phase, objsen_ * workingObjective() + objOffset_, q, p, status_[p] == kUpper);
      for (int f = 0; f < nflip; ++f) logFlip(flipList_[f], status_[flipList_[f]] == kUpper);
    }
    if (logDue()) {
      double val = 0.0;
      if (phase == 2) {
        val = objsen_ * workingObjective() + objOffset_;
      } else {
        // Total dual infeasibility against the true bounds.
        for (int j = 0; j < nTot_; ++j) {
          if (status_[j] == kBasic) continue;
          const double d = dj_[j];
          const bool fl = finiteLo(origLower_[j]), fu = finiteUp(origUpper_[j]);
          if (d < 0 && !fu) val -= d;
          else if (d > 0 && !fl) val += d;
        }
        addWork(3ull * nTot_);
      }
      logIteration(true, phase, val);
    }

    // Objective limit: with true costs the dual objective bounds the optimum.
    if (phase == 2 && opt_.objectiveLimit < 1e75 && !costsPerturbed_ && costShifts_ == 0 &&
        iterations_ % kObjLimitInterval == 0 && workingObjective() > opt_.objectiveLimit) {
      stopStatus_ = static_cast<int>(LpStatus::kObjectiveLimit);
      return LoopResult::kLimit;
    }
    if (iterations_ - markIter >= window) {
      markIter = iterations_;
      const double obj = workingObjective();
      if (obj > bestObj + tol::kProgressEps * (1.0 + std::fabs(obj))) {
        if (bestObj > -kInf) lastProgress = iterations_;
        bestObj = obj;
      } else if (phase == 2 && opt_.perturb && !costsPerturbed_ && perturbCount_ < 3) {
        perturbCosts();
        lastProgress = iterations_;
        bestObj = -kInf;
      } else if (iterations_ - lastProgress >= longWindow) {
        return LoopResult::kStalled;
      }
    }
  }
}

bool LpEngine::dualPhase1() {
  // Boxed subproblem: free variables get [-1000, 1000], one-sided ones a unit
  // box on their finite side, boxed ones are fixed at zero.  The subproblem is
  // always dual feasible; its optimal basis is dual feasible for the original
  // problem when its objective reaches zero.
  for (int j = 0; j < nTot_; ++j) {
    const double lo = origLower_[j], up = origUpper_[j];
    const bool fl = finiteLo(lo), fu = finiteUp(up);
    if (fl && fu) { lower_[j] = 0.0; upper_[j] = 0.0; }
    else if (fl) { lower_[j] = 0.0; upper_[j] = 1.0; }
    else if (fu) { lower_[j] = -1.0; upper_[j] = 0.0; }
    else { lower_[j] = -tol::kPhase1Box; upper_[j] = tol::kPhase1Box; }
    if (status_[j] != kBasic) {
      if (dj_[j] >= 0.0) { status_[j] = kLower; x_[j] = lower_[j]; }
      else { status_[j] = kUpper; x_[j] = upper_[j]; }
    }
  }
  computePrimal();
  LoopResult res = dualLoop(1);
  lower_ = origLower_;
  upper_ = origUpper_;
  for (int j = 0; j < nTot_; ++j) {
    if (status_[j] == kBasic) continue;
    const double d = dj_[j];
    const bool fl = finiteLo(lower_[j]), fu = finiteUp(upper_[j]);
    if (fl && fu) setStatusFromDj(j);
    else if (fl && (d >= -tolD_ || !fu)) { status_[j] = kLower; x_[j] = lower_[j]; }
    else if (fu) { status_[j] = kUpper; x_[j] = upper_[j]; }
    else { status_[j] = kZero; x_[j] = 0.0; }
  }
  computePrimal();
  if (res == LoopResult::kLimit) return true;  // the caller sees the stop
  return countDualInfeasibilities(tolD_, nullptr) == 0;
}

LpStatus LpEngine::runDual() {
  if (boundsPerturbed_) restoreBounds();
  if (costsPerturbed_ || costShifts_) restoreCosts();
  for (int j = 0; j < nTot_; ++j)
    if (status_[j] != kBasic) placeNonbasic(j);
  if (!factorValid_ && !refactor()) return LpStatus::kNonOptimal;
  computePrimal();
  computeDual();
  if (!weightsValid_) initDualWeights();
  bool cleaned = false;
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    if (flipToDualFeasible(tolD_, false)) computePrimal();
    if (!costsPerturbed_ && countDualInfeasibilities(tolD_, nullptr) > 0) {
      if (!dualPhase1()) {
        // Dual infeasible: the primal simplex decides between unbounded and infeasible.
        return runPrimal();
      }
      if (stopStatus_) return static_cast<LpStatus>(stopStatus_);
    }
    LoopResult res = dualLoop(2);
    if (res == LoopResult::kLimit) return static_cast<LpStatus>(stopStatus_);
    if (res == LoopResult::kStalled) {
      // The primal simplex takes the basis over (once per solve).
      if (stallHandover_) return LpStatus::kNonOptimal;
      stallHandover_ = true;
      if (costsPerturbed_ || costShifts_) restoreCosts();
      computeTolerances();
      if (opt_.display) logLine("Dual simplex stalled; switching to the primal simplex.\n");
      return runPrimal();
    }
    if (res == LoopResult::kTrouble) {
      factorValid_ = false;
      if (!refactor()) return LpStatus::kNonOptimal;
      computePrimal();
      computeDual();
      continue;
    }
    if (costsPerturbed_ || costShifts_) {
      if (opt_.display) logLine(costShifts_ && !costsPerturbed_ ? "Removing shift (%lld).\n" : "Removing perturbation.\n",
                                static_cast<long long>(costShifts_));
      restoreCosts();
      computeTolerances();
      computeDual();
      if (res == LoopResult::kInfeasible) {
        bool giveUp = false;
        if (confirmInfeasible(&giveUp)) return LpStatus::kInfeasible;
        if (giveUp) return LpStatus::kNonOptimal;
        continue;
      }
      // The true costs usually leave a few reduced costs of the wrong sign;
      // the basis is primal feasible, so the primal simplex finishes.
      if (countDualInfeasibilities(tolD_, nullptr, true) > 0 && !cleaned) {
        cleaned = true;
        return runPrimal();
      }
      continue;
    }
    if (res == LoopResult::kInfeasible) {
      // Reported only with a proof that holds in the caller's data.
      bool giveUp = false;
      if (confirmInfeasible(&giveUp)) return LpStatus::kInfeasible;
      if (giveUp) return LpStatus::kNonOptimal;
      continue;
    }
    // Optimal: final check on fresh factors.
    if (!refactor()) return LpStatus::kNonOptimal;
    computePrimal();
    computeDual();
    if (flipToDualFeasible(tolD_, false)) computePrimal();
    if (finalPrimalInfeasibilities() > 0) continue;
    if (countDualInfeasibilities(tolD_, nullptr) > 0) {
      if (cleaned) return LpStatus::kOptimalUnscaledInfeas;
      cleaned = true;
      return runPrimal();
    }
    // Violations in the caller's units: continue with tighter working tolerances.
    double pm, dm;
    unscaledInfeasibility(&pm, &dm);
    if (pm > opt_.feasibilityTol * tol::kUnscaledCheck && tighterP_ > tol::kTightenMin) {
      tighterP_ *= 0.1;
      computeTolerances();
      continue;
    }
    if (dm > opt_.optimalityTol * tol::kUnscaledCheck && tighterD_ > tol::kTightenMin) {
      tighterD_ *= 0.1;
      computeTolerances();
      return runPrimal();
    }
    if (pm > opt_.feasibilityTol || dm > opt_.optimalityTol) return LpStatus::kOptimalUnscaledInfeas;
    return LpStatus::kOptimal;
  }
  return LpStatus::kNonOptimal;
}

}  // namespace vnt::simplex
