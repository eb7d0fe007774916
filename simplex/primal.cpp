// Primal simplex: devex pricing, two-pass Harris ratio test with bound flips
// of the entering variable, composite phase 1 (minimize the sum of the
// infeasibilities of the basic variables), bound perturbation on stalling.
#include <algorithm>
#include <cmath>

#include "simplex/lp_engine.h"
#include "simplex/profile.h"

namespace vnt::simplex {

namespace {
constexpr double kInf = tol::kInfinity;
inline bool finiteLo(double v) { return v > -kInf; }
inline bool finiteUp(double v) { return v < kInf; }
constexpr int kMaxPasses = 30;
constexpr int kStallWindow = 50;  // iterations between stall checks (fewer on small models)
}  // namespace

LpStatus LpEngine::solvePrimal() {
  beginSolve();
  ProfileScope total(opt_.profile, prof_.total);
  // An empty bound interval makes the model infeasible before any iteration.
  if (crossedBound() >= 0) return lpStatus_ = LpStatus::kInfeasible;
  if (costsPerturbed_ || costShifts_) restoreCosts();
  if (boundsPerturbed_) restoreBounds();
  for (int j = 0; j < nTot_; ++j)
    if (status_[j] != kBasic) placeNonbasic(j);
  if (opt_.crash != 0) crashBasis();
  // Pricing: steepest edge (2: exact initial weights, 3: weights of the
  // slack basis to start with), devex otherwise, Dantzig for -1.
  // The automatic choice takes steepest edge (slack-basis initial weights)
  // where its update is cheap: sparse columns, whose products with the
  // update vector cost little.
  const bool sparseCols = n_ > 0 && static_cast<double>(colStart_[n_]) <= tol::kSteepestColumnDensity * n_;
  primalSteepest_ = opt_.primalPricing == 2 || opt_.primalPricing == 3 || (opt_.primalPricing == 0 && sparseCols);
  primalSteepestInit_ = primalSteepest_;
  if (opt_.display && opt_.primalPricing != -1)
    logLine(primalSteepest_ ? "Using steepest-edge.\n" : "Using devex.\n");
  // Partial pricing in the automatic and devex modes: sections and the number
  // of sections with candidates that end a scan, by the number of columns.
  priceSections_ = 1;
  priceKeep_ = 1;
  priceCursor_ = 0;
  if (!primalSteepest_ && (opt_.primalPricing == 0 || opt_.primalPricing == 1)) {
    const int big = nTot_;
    priceSections_ = big < 1000 ? 16 : big < 10000 ? 32 : big < 100000 ? 48 : 64;
    priceKeep_ = big < 1000 ? 4 : big < 10000 ? 8 : big < 100000 ? 12 : 16;
  }
  lpStatus_ = finishDropped(runPrimal());
  if (restartFromSlacks(lpStatus_)) lpStatus_ = finishDropped(runDual());
  return lpStatus_;
}

// Steepest-edge reference weights 1 + ||B^-1 a_j||^2 of the nonbasic
// variables: exact (one FTRAN per column), or for mode 3 those of the slack
// basis, 1 + ||a_j||^2.
void LpEngine::initPrimalWeights() {
  primalSteepestInit_ = false;
  const bool exact = opt_.primalPricing == 2;  // 3 and automatic: slack-basis weights
  if (opt_.display) logLine("Initializing primal norms . . .\n");
  for (int j = 0; j < nTot_; ++j) {
    if (status_[j] == kBasic) {
      devexWeight_[j] = 1.0;
      continue;
    }
    double g = 1.0;
    if (exact) {
      loadColumn(j, work_);
      factor_.ftran(work_, tol::kFtranSparseHint);
      if (work_.packed)
        for (int t = 0; t < work_.nnz; ++t) g += work_.val[work_.idx[t]] * work_.val[work_.idx[t]];
      else
        for (int i = 0; i < m_; ++i) g += work_.val[i] * work_.val[i];
      work_.clear();
    } else if (j < n_) {
      for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) g += colValue_[k] * colValue_[k];
    } else {
      g = 2.0;
    }
    devexWeight_[j] = g;
  }
  addWork(static_cast<uint64_t>(colStart_[n_]) + static_cast<uint64_t>(nTot_));
}

// Phase 1 cost of every basis position: -1 below the lower bound, +1 above the
// upper bound, else 0.  Returns true when some basic variable is infeasible.
bool LpEngine::setPhase1Costs() {
  bool any = false;
  for (int i = 0; i < m_; ++i) {
    const int k = head_[i];
    const double v = x_[k];
    double c = 0.0;
    if (v < lower_[k] - tolP_) c = -1.0;
    else if (v > upper_[k] + tolP_) c = 1.0;
    phase1Cost_[i] = c;
    any |= c != 0.0;
  }
  return any;
}

void LpEngine::perturbBounds() {
  perturbEps_ = perturbCount_ == 0 ? opt_.perturbationConst : std::min(perturbEps_ / 10.0, 1e-6);
  const double eps = perturbEps_;
  if (100.0 * tolP_ > eps) tolP_ = eps / 100.0;
  for (int i = 0; i < m_; ++i) {
    const int k = head_[i];
    if (finiteLo(lower_[k])) lower_[k] -= random01() * eps * (1.0 + std::fabs(lower_[k]));
    if (finiteUp(upper_[k])) upper_[k] += random01() * eps * (1.0 + std::fabs(upper_[k]));
  }
  addWork(2ull * m_);
  boundsPerturbed_ = true;
  if (opt_.display) logLine(perturbCount_ == 0 ? "Perturbation started.\n" : "Reperturbation started.\n");
  ++perturbCount_;
}

LpEngine::LoopResult LpEngine::primalLoop() {
  bool needRefactor = !factorValid_;
  bool recost = true;
  int phase = 2;
  int updates = 0;
  double rhoDensity = 0.1, colDensity = 0.1;
  // Stall monitor: every kStallWindow iterations the measure (phase, value)
  // is compared with the best seen (phase 2 beats phase 1; within a phase a
  // lower sum of infeasibilities or objective).  A phase change alone is no
  // progress, so a cycle through both phases is caught too.
  int64_t markIter = iterations_, lastProgress = iterations_;
  int bestPhase = 0;  // 0: no sample since the last reset
  double bestVal = kInf;
  const int64_t window = std::clamp(2 * m_, 10, kStallWindow);
  const int64_t longWindow = std::max<int64_t>(window, m_);
  blandMode_ = false;
  std::vector<double>& c1 = candRatio_;  // full phase 1 cost vector (scratch)
  for (;;) {
    if (needRefactor) {
      ProfileScope ps(opt_.profile, prof_.factor);
      if (!refactor()) return LoopResult::kTrouble;
      if (primalSteepestInit_) initPrimalWeights();
      computePrimal();
      needRefactor = false;
      recost = true;
      updates = 0;
    }
    if (recost) {
      if (setPhase1Costs()) {
        phase = 1;
        std::fill(c1.begin(), c1.begin() + nTot_, 0.0);
        for (int i = 0; i < m_; ++i) c1[head_[i]] = phase1Cost_[i];
        computeDualFromCosts(c1.data());
        dualValid_ = false;
      } else {
        phase = 2;
        computeDual();
      }
      recost = false;
    }
    if (iterations_ - markIter >= window) {
      // No progress: perturb the bounds (once per episode, three times per
      // solve), then price by the smallest index (no cycling), then give up.
      markIter = iterations_;
      double val;
      if (phase == 2) val = workingObjective();
      else countPrimalInfeasibilities(tolP_, &val);
      if (phase > bestPhase ||
          (phase == bestPhase && val < bestVal - tol::kProgressEps * (1.0 + std::fabs(val)))) {
        if (bestPhase != 0) lastProgress = iterations_;
        bestPhase = phase;
        bestVal = val;
      } else {
        const int64_t stalled = iterations_ - lastProgress;
        auto restart = [&]() {
          lastProgress = iterations_;
          bestPhase = 0;
          bestVal = kInf;
        };
        if (opt_.perturb && !boundsPerturbed_ && perturbCount_ < 3) {
          perturbBounds();
          restart();
          recost = true;
          continue;
        }
        if (stalled >= longWindow) {
          if (blandMode_) return LoopResult::kStalled;
          blandMode_ = true;
          restart();
        }
      }
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

    // Pricing (devex).  Partial: the columns are cut into sections and the
    // scan, resuming after the last section used, stops once enough sections
    // offered a candidate; only a scan of every section can prove optimality.
    ProfileScope psPrice(opt_.profile, prof_.pricing);
    int q = -1;
    double best = 0.0;
    const bool dantzig = opt_.primalPricing == -1;
    auto scan = [&](int from, int to) {
      bool found = false;
      for (int j = from; j < to; ++j) {
        const uint8_t st = status_[j];
        if (st == kBasic || isFrozen(j)) continue;
        const double d = dj_[j];
        double v;
        if (st == kLower) v = d < -tolD_ ? -d : 0.0;
        else if (st == kUpper) v = d > tolD_ ? d : 0.0;
        else v = std::fabs(d) > tolD_ ? std::fabs(d) : 0.0;
        if (v == 0.0) continue;
        found = true;
        const double score = dantzig ? v : v * v / devexWeight_[j];
        if (score > best) {
          best = score;
          q = j;
        }
      }
      return found;
    };
    if (blandMode_) {
      // Smallest index with an improving reduced cost.
      for (int j = 0; j < nTot_ && q < 0; ++j) {
        const uint8_t st = status_[j];
        if (st == kBasic || isFrozen(j)) continue;
        const double d = dj_[j];
        if ((st == kLower && d < -tolD_) || (st == kUpper && d > tolD_) ||
            ((st == kZero || st == kSuper) && std::fabs(d) > tolD_))
          q = j;
      }
      addWork(static_cast<uint64_t>(nTot_));
    } else if (priceSections_ <= 1) {
      scan(0, nTot_);
      addWork(static_cast<uint64_t>(nTot_));
    } else {
      const int len = (nTot_ + priceSections_ - 1) / priceSections_;
      int withCandidates = 0, scanned = 0;
      int sec = priceCursor_;
      for (; scanned < priceSections_; ++scanned) {
        const int from = sec * len, to = std::min(nTot_, from + len);
        if (from < to && scan(from, to)) ++withCandidates;
        addWork(static_cast<uint64_t>(std::max(0, to - from)));
        sec = sec + 1 == priceSections_ ? 0 : sec + 1;
        if (withCandidates >= priceKeep_) {
          ++scanned;
          break;
        }
      }
      priceCursor_ = sec;
    }
    psPrice.stop();
    if (q < 0) {
      if (updates > 0) {
        needRefactor = true;
        continue;
      }
      return phase == 2 ? LoopResult::kOptimal : LoopResult::kInfeasible;
    }
    const double dir = dj_[q] < 0.0 ? 1.0 : -1.0;

    ProfileScope psFtran(opt_.profile, prof_.ftran);
    loadColumn(q, col_);
    factor_.ftranForUpdate(col_, colDensity);
    psFtran.stop();
    {
      int nz = col_.packed ? col_.nnz : m_;
      colDensity = 0.95 * colDensity + 0.05 * (static_cast<double>(nz) / std::max(1, m_));
    }

    // Ratio test, pass 1: the relaxed step.
    auto forEachCol = [&](auto&& fn) {
      if (col_.packed)
        for (int t = 0; t < col_.nnz; ++t) fn(col_.idx[t]);
      else
        for (int i = 0; i < m_; ++i)
          if (col_.val[i] != 0.0) fn(i);
    };
    // Bound that basis position i runs into when it moves by -a * t (t >= 0).
    auto blockBound = [&](int i, double a, double* bnd) -> bool {
      const int k = head_[i];
      const double v = x_[k];
      if (a > 0) {  // decreasing
        if (phase == 1 && v > upper_[k] + tolP_) { *bnd = upper_[k]; return true; }
        if (phase == 1 && v < lower_[k] - tolP_) return false;
        if (!finiteLo(lower_[k])) return false;
        *bnd = lower_[k];
        return true;
      }
      if (phase == 1 && v < lower_[k] - tolP_) { *bnd = lower_[k]; return true; }
      if (phase == 1 && v > upper_[k] + tolP_) return false;
      if (!finiteUp(upper_[k])) return false;
      *bnd = upper_[k];
      return true;
    };
    const double pivTol = primalRatioPivot_;
    double tMax = kInf;
    forEachCol([&](int i) {
      const double a = dir * col_.val[i];
      if (std::fabs(a) < pivTol) return;
      double bnd;
      if (!blockBound(i, a, &bnd)) return;
      const double v = x_[head_[i]];
      const double t = a > 0 ? (v - bnd + tolP_) / a : (v - bnd - tolP_) / a;
      tMax = std::min(tMax, t);
    });
    // Pass 2: the largest pivot among the rows blocking within the relaxed
    // step; in the anti-cycling mode the smallest step, ties broken by the
    // smallest index of the basic variable.
    int r = -1;
    double rBound = 0.0, bestA = 0.0, tStep = 0.0;
    if (tMax < kInf && blandMode_) {
      forEachCol([&](int i) {
        const double a = dir * col_.val[i];
        if (std::fabs(a) < pivTol) return;
        double bnd;
        if (!blockBound(i, a, &bnd)) return;
        const double t = std::max((x_[head_[i]] - bnd) / a, 0.0);
        if (t > tMax) return;
        if (r < 0 || t < tStep || (t == tStep && head_[i] < head_[r])) {
          r = i;
          rBound = bnd;
          tStep = t;
        }
      });
    } else if (tMax < kInf) {
      forEachCol([&](int i) {
        const double a = dir * col_.val[i];
        if (std::fabs(a) < pivTol) return;
        double bnd;
        if (!blockBound(i, a, &bnd)) return;
        const double t = (x_[head_[i]] - bnd) / a;
        if (t <= tMax && std::fabs(a) > bestA) {
          bestA = std::fabs(a);
          r = i;
          rBound = bnd;
          tStep = std::max(t, 0.0);
        }
      });
    }
    const double range = (finiteLo(lower_[q]) && finiteUp(upper_[q])) ? upper_[q] - lower_[q] : kInf;
    addWork(static_cast<uint64_t>(col_.packed ? col_.nnz : m_) * 2);

    if (r < 0 && range >= kInf) {
      if (updates > 0) {
        needRefactor = true;
        continue;
      }
      if (phase == 1) {
        // The sum of infeasibilities is bounded below, so the column's
        // entries in the rows that would stop it are all below the pivot
        // tolerance: leave it out of the pricing until the reduced costs are
        // recomputed (a phase 1 without candidates ends, and its proof is
        // checked).
        dj_[q] = 0.0;
        continue;
      }
      // The ray proves unboundedness only when no basic variable moves toward
      // a finite bound: an entry below the pivot tolerance but above the
      // rounding that would block it (a bounded model whose optimum lies far
      // out) leaves the answer in doubt.
      rayInDoubt_ = false;
      forEachCol([&](int i) {
        const double a = dir * col_.val[i];
        double bnd;
        if (std::fabs(a) > tol::kLastResortPivot && std::fabs(a) < pivTol && blockBound(i, a, &bnd)) rayInDoubt_ = true;
      });
      primalRay_.assign(n_, 0.0);
      if (q < n_) primalRay_[q] = dir;
      forEachCol([&](int i) {
        if (head_[i] < n_) primalRay_[head_[i]] = -dir * col_.val[i];
      });
      // A ray that leaves a row limit it should keep may owe that to the
      // rounding of B^-1 a_q: refined once, it is checked again below.
      const bool rayOk = rayHolds();
      if (!rayOk) refineRay(q, dir, std::vector<double>(col_.val.begin(), col_.val.begin() + m_));
      // The ray must lower the true objective: c'd equals the entering
      // reduced cost, so a ray whose cost does not clearly descend comes
      // from reduced costs spoiled by a near-singular basis.  It must also
      // hold in the caller's data: scaling can shrink an entry that blocks
      // the ray below the pivot tolerances while the unscaled row it stands
      // for clearly moves toward its limit.
      double cd = 0.0, cdAbs = 0.0;
      for (int j = 0; j < n_; ++j) {
        const double t = origCost_[j] * primalRay_[j];
        cd += t;
        cdAbs += std::fabs(t);
      }
      rayUnproved_ = !(cd < -0.5 * tolD_ && cd < -tol::kRayCostRel * cdAbs) || !(rayOk || rayHolds());
      if (rayUnproved_) rayInDoubt_ = true;
      return LoopResult::kUnbounded;
    }

    if (r < 0 || range <= tStep) {
      // The entering variable reaches its other bound first: flip it.
      const double step = dir * range;
      forEachCol([&](int i) { x_[head_[i]] -= step * col_.val[i]; });
      if (status_[q] == kLower) { status_[q] = kUpper; x_[q] = upper_[q]; }
      else { status_[q] = kLower; x_[q] = lower_[q]; }
      ++iterations_;
      if (phase == 1) {
        ++phase1Iterations_;
        recost = true;
      }
      continue;
    }

    // Row r of B^-1, the pivot row and a stability check.
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
    const double alphaC = col_.val[r];
    const double alphaR = rowAlpha_[q];
    if (updates > 0 && (std::fabs(alphaC - alphaR) > tol::kPivotMismatch * (1.0 + std::fabs(alphaC)) ||
                        std::fabs(alphaC) < tol::kPivotSmall)) {
      clearPivotRow();
      needRefactor = true;
      continue;
    }

    // Primal update.
    const double step = dir * tStep;
    const int p = head_[r];
    forEachCol([&](int i) { x_[head_[i]] -= step * col_.val[i]; });
    x_[q] += step;
    x_[p] = rBound;

    // Dual update and pricing weights.
    const double thetaD = dj_[q] / alphaC;
    if (primalSteepest_) {
      // Steepest edge: gamma_j = 1 + ||B^-1 a_j||^2, updated with
      // v = B^-T B^-1 a_q:  gamma_j -= 2 r a_j'v - r^2 gamma_q  (r = alpha_rj / alpha_rq),
      // kept at least 1 + r^2; the leaving variable gets gamma_q / alpha_rq^2.
      double gq = 1.0;
      tau_.clear();
      forEachCol([&](int i) {
        gq += col_.val[i] * col_.val[i];
        tau_.val[i] = col_.val[i];
        tau_.idx[tau_.nnz++] = i;
      });
      {
        ProfileScope ps(opt_.profile, prof_.btran);
        factor_.btran(tau_, rhoDensity);
      }
      const double* v = tau_.val.data();
      uint64_t touched = 0;
      for (int t = 0; t < rowNnz_; ++t) {
        const int j = rowIdx_[t];
        const double a = rowAlpha_[j];
        dj_[j] -= thetaD * a;
        if (j == q) continue;
        const double ratio = a / alphaC;
        double av;
        if (j < n_) {
          av = 0.0;
          for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) av += colValue_[k] * v[colIndex_[k]];
          touched += static_cast<uint64_t>(colStart_[j + 1] - colStart_[j]);
        } else {
          av = v[j - n_];
        }
        const double g = devexWeight_[j] - 2.0 * ratio * av + ratio * ratio * gq;
        devexWeight_[j] = std::max(g, 1.0 + ratio * ratio);
      }
      dj_[q] = 0.0;
      dj_[p] = -thetaD;
      devexWeight_[p] = std::max(gq / (alphaC * alphaC), 1.0 + 1.0 / (alphaC * alphaC));
      tau_.clear();
      addWork(touched + static_cast<uint64_t>(rowNnz_) * 2);
      clearPivotRow();
    } else {
    const double wq = std::max(devexWeight_[q], 1.0);
    double wmax = 0.0;
    for (int t = 0; t < rowNnz_; ++t) {
      const int j = rowIdx_[t];
      const double a = rowAlpha_[j];
      dj_[j] -= thetaD * a;
      const double ratio = a / alphaC;
      const double w = ratio * ratio * wq;
      if (w > devexWeight_[j]) devexWeight_[j] = w;
      wmax = std::max(wmax, devexWeight_[j]);
    }
    dj_[q] = 0.0;
    dj_[p] = -thetaD;
    devexWeight_[p] = std::max(wq / (alphaC * alphaC), 1.0);
    if (wmax > tol::kDevexReset) std::fill(devexWeight_.begin(), devexWeight_.end(), 1.0);
    clearPivotRow();
    }

    // Basis change.
    status_[p] = (rBound == lower_[p]) ? kLower : kUpper;
    pos_[p] = -1;
    status_[q] = kBasic;
    pos_[q] = r;
    head_[r] = q;
    ProfileScope psUpd(opt_.profile, prof_.update);
    const int u = factor_.update(r);
    psUpd.stop();
    ++updates;
    if (u != 0 || updates >= refactorLimit_) needRefactor = true;
    weightsValid_ = false;  // the dual weights no longer match this basis
    ++iterations_;
    if (phase == 1) ++phase1Iterations_;

    if (phase == 1) {
      // New phase 1 costs when the set of infeasible basic variables changed.
      bool changed = false;
      for (int i = 0; i < m_ && !changed; ++i) {
        const int k = head_[i];
        const double v = x_[k];
        double c = 0.0;
        if (v < lower_[k] - tolP_) c = -1.0;
        else if (v > upper_[k] + tolP_) c = 1.0;
        changed = (i == r) ? c != 0.0 : c != phase1Cost_[i];
      }
      if (changed) recost = true;
      else phase1Cost_[r] = 0.0;
    }
    if (opt_.display >= 2) logPivot(false, phase, objsen_ * workingObjective() + objOffset_, q, p, status_[p] == kUpper);
    if (logDue()) {
      double val;
      if (phase == 2) val = objsen_ * workingObjective() + objOffset_;
      else countPrimalInfeasibilities(tolP_, &val);
      logIteration(false, phase, val);
    }

  }
}

// A ray in doubt goes to the dual simplex (once per solve), which either
// finds the far optimum or, dual infeasible, hands the basis back to the
// primal.  A second ray in doubt lets the ratio test accept smaller pivots
// (kNone: go on); the ray after that stands if it holds in the caller's
// data.  One that does not is blocked by an entry below even those pivots
// (a model whose optimum lies very far out): the ratio test then takes any
// entry above the pivot zero, and a ray that still fails gives no definite
// answer.
LpStatus LpEngine::unboundedOrDual() {
  if (!rayInDoubt_) return LpStatus::kUnbounded;
  if (!rayHandover_) {
    rayHandover_ = true;
    if (opt_.display) logLine("Unbounded ray not proved; switching to the dual simplex.\n");
    return runDual();
  }
  if (primalRatioPivot_ > tol::kRecoveryPivot) {
    primalRatioPivot_ = tol::kRecoveryPivot;
    return LpStatus::kUnknown;
  }
  if (!rayUnproved_) return LpStatus::kUnbounded;
  if (primalRatioPivot_ > tol::kLastResortPivot) {
    primalRatioPivot_ = tol::kLastResortPivot;
    return LpStatus::kUnknown;
  }
  return LpStatus::kNonOptimal;
}

LpStatus LpEngine::runPrimal() {
  if (!factorValid_ && !refactor()) return LpStatus::kNonOptimal;
  computePrimal();
  bool triedDual = false;
  // A point with a ray must be feasible in the caller's units, as an optimum
  // must: while it is not, the working primal tolerance is tightened and the
  // iterations go on.
  auto tightenForRay = [&]() {
    double pm, dm;
    unscaledInfeasibility(&pm, &dm);
    if (pm <= opt_.feasibilityTol * tol::kUnscaledCheck || tighterP_ <= tol::kTightenMin) return false;
    tighterP_ *= 0.1;
    computeTolerances();
    return true;
  };
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    LoopResult res = primalLoop();
    LpStatus st;
    if (res == LoopResult::kLimit) return static_cast<LpStatus>(stopStatus_);
    if (res == LoopResult::kTrouble) {
      factorValid_ = false;
      continue;
    }
    if (res == LoopResult::kStalled) {
      // Stalled even by smallest-index pricing: the dual simplex takes the
      // basis over (once per solve).
      if (stallHandover_) return LpStatus::kNonOptimal;
      stallHandover_ = true;
      if (opt_.display) logLine("Primal simplex stalled; switching to the dual simplex.\n");
      return runDual();
    }
    if (boundsPerturbed_) {
      if (opt_.display) logLine("Removing perturbation.\n");
      restoreBounds();
      computeTolerances();
      for (int j = 0; j < nTot_; ++j)
        if (status_[j] != kBasic) placeNonbasic(j);
      computePrimal();
      // The ray was found on perturbed bounds: it stands only from a point
      // feasible for the true ones (else phase 1 goes on, and the model may
      // turn out infeasible).
      if (res == LoopResult::kUnbounded && countPrimalInfeasibilities(tolP_, nullptr) == 0 && !tightenForRay() &&
          (st = unboundedOrDual()) != LpStatus::kUnknown)
        return st;
      continue;
    }
    if (res == LoopResult::kUnbounded) {
      if (!tightenForRay() && (st = unboundedOrDual()) != LpStatus::kUnknown) return st;
      continue;
    }
    if (res == LoopResult::kInfeasible) {
      // Confirm on fresh factors.
      if (!refactor()) return LpStatus::kNonOptimal;
      computePrimal();
      double sum = 0.0;
      if (countPrimalInfeasibilities(tolP_, &sum) == 0) continue;
      // Reported only with a proof (the phase 1 duals) that holds in the
      // caller's data.
      phase1Farkas();
      bool giveUp = false;
      if (confirmInfeasible(&giveUp)) return LpStatus::kInfeasible;
      if (giveUp) return LpStatus::kNonOptimal;
      // Phase 1 ends with reduced costs within the tolerance, and a tiny one
      // of the wrong sign on an unbounded variable spoils the proof: the
      // dual simplex, whose ray has no such tolerance, goes on (once).
      if (!proofHandover_) {
        proofHandover_ = true;
        return runDual();
      }
      continue;
    }
    // Optimal: final check on fresh factors.
    if (!refactor()) return LpStatus::kNonOptimal;
    computePrimal();
    computeDual();
    if (finalPrimalInfeasibilities() > 0) {
      if (!triedDual && countDualInfeasibilities(tolD_, nullptr) == 0) {
        triedDual = true;
        // Dual feasible with a few primal infeasibilities: the dual simplex finishes.
        if (flipToDualFeasible(tolD_, false)) computePrimal();
        if (!weightsValid_) initDualWeights();
        LoopResult d = dualLoop(2);
        if (d == LoopResult::kLimit) return static_cast<LpStatus>(stopStatus_);
        if (costsPerturbed_ || costShifts_) {
          restoreCosts();
          computeDual();
        }
      }
      continue;
    }
    if (countDualInfeasibilities(tolD_, nullptr, true) > 0) continue;
    // Violations in the caller's units: continue with tighter working tolerances.
    double pm, dm;
    unscaledInfeasibility(&pm, &dm);
    if (dm > opt_.optimalityTol * tol::kUnscaledCheck && tighterD_ > tol::kTightenMin) {
      tighterD_ *= 0.1;
      computeTolerances();
      continue;
    }
    if (pm > opt_.feasibilityTol * tol::kUnscaledCheck && tighterP_ > tol::kTightenMin) {
      tighterP_ *= 0.1;
      computeTolerances();
      continue;
    }
    if (pm > opt_.feasibilityTol || dm > opt_.optimalityTol) return LpStatus::kOptimalUnscaledInfeas;
    return LpStatus::kOptimal;
  }
  return LpStatus::kNonOptimal;
}

}  // namespace vnt::simplex
