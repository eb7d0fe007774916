// Working form, scaling, factorization control and the kernels shared by the
// dual and the primal simplex.
#include "simplex/lp_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace vnt::simplex {

namespace {
constexpr double kInf = tol::kInfinity;
inline bool finiteLo(double v) { return v > -kInf; }
inline bool finiteUp(double v) { return v < kInf; }
// Nearest power of two (scale factors of this form keep the data exact).
double pow2Round(double s) {
  if (!(s > 0.0) || !std::isfinite(s)) return 1.0;
  int e = 0;
  std::frexp(s, &e);
  double r = std::ldexp(1.0, e - 1);
  if (s / r > std::sqrt(2.0)) r *= 2.0;
  return std::clamp(r, tol::kScaleMin, tol::kScaleMax);
}
}  // namespace

LpEngine::LpEngine() = default;
LpEngine::~LpEngine() = default;

int LpEngine::load(const model::ModelData& md) {
  m_ = md.numRows();
  n_ = md.numCols();
  nTot_ = n_ + m_;
  if (static_cast<int>(md.lb.size()) != n_ || static_cast<int>(md.ub.size()) != n_ ||
      static_cast<int>(md.matbeg.size()) != n_ + 1 || static_cast<int>(md.sense.size()) != m_)
    return 1;
  objsen_ = md.objsen < 0 ? -1 : 1;
  objOffset_ = md.objoffset;
  colName_ = md.colname;
  rowName_ = md.rowname;
  scaleModel(md);

  lower_ = origLower_;
  upper_ = origUpper_;
  cost_ = origCost_;
  x_.assign(nTot_, 0.0);
  dj_.assign(nTot_, 0.0);
  status_.assign(nTot_, kLower);
  dropped_.assign(nTot_, 0);
  droppedList_.clear();
  head_.assign(m_, 0);
  pos_.assign(nTot_, -1);
  dualWeight_.assign(m_, 1.0);
  refusedRow_.assign(m_, 0);
  refusedList_.clear();
  devexWeight_.assign(nTot_, 1.0);
  devexRef_.assign(nTot_, 0);
  rho_.resize(m_);
  col_.resize(m_);
  tau_.resize(m_);
  flip_.resize(m_);
  work_.resize(m_);
  rowAlpha_.assign(nTot_, 0.0);
  rowIdx_.assign(nTot_, 0);
  rowMark_.assign(nTot_, 0);
  rowNnz_ = 0;
  candIdx_.resize(nTot_);
  candRatio_.resize(nTot_);
  candHarris_.resize(nTot_);
  candAlpha_.resize(nTot_);
  candRange_.resize(nTot_);
  candOrder_.resize(nTot_);
  candSufHarris_.resize(nTot_ + 1);
  flipList_.resize(nTot_);
  phase1Cost_.assign(m_, 0.0);
  factor_.setPivotThreshold(opt_.markowitzTol);
  slackBasis();
  lpStatus_ = LpStatus::kUnknown;
  iterations_ = phase1Iterations_ = 0;
  return 0;
}

void LpEngine::scaleModel(const model::ModelData& md) {
  const int64_t nz = md.numNz();
  colStart_.assign(md.matbeg.begin(), md.matbeg.end());
  colIndex_.assign(md.matind.begin(), md.matind.end());
  colValue_.assign(md.matval.begin(), md.matval.end());
  // Drop explicit zeros so that the factorization and the row copy never see them.
  {
    int64_t w = 0;
    for (int j = 0; j < n_; ++j) {
      int64_t b = colStart_[j], e = colStart_[j + 1];
      colStart_[j] = w;
      for (int64_t k = b; k < e; ++k)
        if (colValue_[k] != 0.0) {
          colIndex_[w] = colIndex_[k];
          colValue_[w++] = colValue_[k];
        }
    }
    colStart_[n_] = w;
    colIndex_.resize(w);
    colValue_.resize(w);
  }
  (void)nz;
  colScale_.assign(n_, 1.0);
  rowScale_.assign(m_, 1.0);
  if (opt_.scale && colStart_[n_] > 0) {
    std::vector<double> rmin(m_), rmax(m_);
    for (int pass = 0; pass < 6; ++pass) {
      // Rows: 1 / sqrt(min * max) over the scaled entries.
      std::fill(rmin.begin(), rmin.end(), 1e300);
      std::fill(rmax.begin(), rmax.end(), 0.0);
      for (int j = 0; j < n_; ++j)
        for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) {
          double v = std::fabs(colValue_[k]) * colScale_[j];
          int i = colIndex_[k];
          rmin[i] = std::min(rmin[i], v);
          rmax[i] = std::max(rmax[i], v);
        }
      for (int i = 0; i < m_; ++i)
        if (rmax[i] > 0.0) rowScale_[i] = 1.0 / std::sqrt(rmin[i] * rmax[i]);
      // Columns.
      for (int j = 0; j < n_; ++j) {
        double cmin = 1e300, cmax = 0.0;
        for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) {
          double v = std::fabs(colValue_[k]) * rowScale_[colIndex_[k]];
          cmin = std::min(cmin, v);
          cmax = std::max(cmax, v);
        }
        if (cmax > 0.0) colScale_[j] = 1.0 / std::sqrt(cmin * cmax);
      }
    }
    for (int i = 0; i < m_; ++i) rowScale_[i] = pow2Round(rowScale_[i]);
    // Equilibrate the columns (largest entry near 1).
    for (int j = 0; j < n_; ++j) {
      double cmax = 0.0;
      for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k)
        cmax = std::max(cmax, std::fabs(colValue_[k]) * rowScale_[colIndex_[k]]);
      colScale_[j] = cmax > 0.0 ? pow2Round(1.0 / cmax) : 1.0;
    }
  }
  for (int j = 0; j < n_; ++j)
    for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k)
      colValue_[k] *= rowScale_[colIndex_[k]] * colScale_[j];

  // Row-wise copy.
  rowStart_.assign(m_ + 1, 0);
  for (int64_t k = 0; k < colStart_[n_]; ++k) ++rowStart_[colIndex_[k] + 1];
  for (int i = 0; i < m_; ++i) rowStart_[i + 1] += rowStart_[i];
  rowIndex_.resize(colStart_[n_]);
  rowValue_.resize(colStart_[n_]);
  {
    std::vector<int64_t> fill(rowStart_.begin(), rowStart_.end() - 1);
    for (int j = 0; j < n_; ++j)
      for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) {
        int64_t p = fill[colIndex_[k]]++;
        rowIndex_[p] = j;
        rowValue_[p] = colValue_[k];
      }
  }
  buildSlices();
  view_.m = m_;
  view_.n = n_;
  view_.start = colStart_.data();
  view_.index = colIndex_.data();
  view_.value = colValue_.data();

  origLower_.assign(nTot_, 0.0);
  origUpper_.assign(nTot_, 0.0);
  origCost_.assign(nTot_, 0.0);
  for (int j = 0; j < n_; ++j) {
    double s = colScale_[j];
    origLower_[j] = finiteLo(md.lb[j]) ? md.lb[j] / s : -kInf;
    origUpper_[j] = finiteUp(md.ub[j]) ? md.ub[j] / s : kInf;
    origCost_[j] = objsen_ * md.obj[j] * s;
  }
  rowRhs_.assign(md.rhs.begin(), md.rhs.end());
  for (int i = 0; i < m_; ++i) {
    double rlo = -kInf, rup = kInf, rhs = md.rhs[i];
    switch (md.sense[i]) {
      case 'L': rup = rhs; break;
      case 'G': rlo = rhs; break;
      case 'E': rlo = rup = rhs; break;
      case 'R': {
        double r = md.rngval.empty() ? 0.0 : md.rngval[i];
        if (r >= 0) { rlo = rhs; rup = rhs + r; } else { rlo = rhs + r; rup = rhs; }
        break;
      }
      default: break;  // free row
    }
    if (!finiteLo(rlo)) rlo = -kInf;
    if (!finiteUp(rup)) rup = kInf;
    double rs = rowScale_[i];
    origLower_[n_ + i] = finiteUp(rup) ? -rup * rs : -kInf;
    origUpper_[n_ + i] = finiteLo(rlo) ? -rlo * rs : kInf;
  }
}

void LpEngine::slackBasis() {
  for (int j = 0; j < n_; ++j) {
    pos_[j] = -1;
    status_[j] = kLower;
    placeNonbasic(j);
  }
  for (int i = 0; i < m_; ++i) {
    head_[i] = n_ + i;
    pos_[n_ + i] = i;
    status_[n_ + i] = kBasic;
  }
  std::fill(dualWeight_.begin(), dualWeight_.end(), 1.0);
  weightsValid_ = true;
  factorValid_ = primalValid_ = dualValid_ = false;
}

// The crash works on a slack basis.  Columns are tried in order of preference
// (free, then one finite bound, then boxed; cheaper first within a class); a
// column enters on a row that no basic column touches yet, where its entry is
// within a factor of its largest, so the basis stays triangular.  Logicals of
// equality rows are the first to go, those of free rows never.
int LpEngine::crashBasis() {
  for (int i = 0; i < m_; ++i)
    if (head_[i] != n_ + i) return 0;  // not a slack basis
  std::vector<double> key;
  std::vector<int> cand;
  double cmax = 0.0;
  for (int j = 0; j < n_; ++j) cmax = std::max(cmax, std::fabs(cost_[j]));
  if (cmax == 0.0) cmax = 1.0;
  for (int j = 0; j < n_; ++j) {
    if (isFixed(j) || colStart_[j] == colStart_[j + 1]) continue;
    const bool fl = finiteLo(lower_[j]), fu = finiteUp(upper_[j]);
    const double penalty = (!fl && !fu) ? 0.0 : (fl && fu) ? 2.0 : 1.0;
    cand.push_back(j);
    key.push_back(penalty + cost_[j] / cmax * 0.5);
  }
  std::vector<int> order(cand.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = static_cast<int>(k);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key[a] < key[b]; });
  std::vector<int> touched(m_, 0);
  int brought = 0;
  for (int o : order) {
    const int j = cand[o];
    double big = 0.0;
    for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) big = std::max(big, std::fabs(colValue_[k]));
    if (big == 0.0) continue;
    int row = -1;
    double best = -1.0;
    for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) {
      const int i = colIndex_[k];
      const double a = std::fabs(colValue_[k]);
      if (touched[i] || a < tol::kCrashPivotShare * big) continue;
      const int s = n_ + i;
      if (!finiteLo(lower_[s]) && !finiteUp(upper_[s])) continue;  // free row: keep its logical
      // Prefer rows whose logical is fixed (equalities), then the largest entry.
      const double score = a / big + (isFixed(s) ? 2.0 : 0.0);
      if (score > best) {
        best = score;
        row = i;
      }
    }
    if (row < 0) continue;
    for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) touched[colIndex_[k]] = 1;
    const int s = n_ + row;
    status_[j] = kBasic;
    pos_[j] = row;
    head_[row] = j;
    pos_[s] = -1;
    status_[s] = kLower;
    placeNonbasic(s);
    ++brought;
  }
  if (brought > 0) {
    factorValid_ = primalValid_ = dualValid_ = false;
    weightsValid_ = false;
    addWork(static_cast<uint64_t>(colStart_[n_]));
  }
  return brought;
}

// Put a nonbasic variable on a bound: its current side when that bound is
// finite, else the other finite bound, else zero (free).
void LpEngine::placeNonbasic(int j) {
  const double lo = lower_[j], up = upper_[j];
  uint8_t st = status_[j];
  if (st == kUpper && finiteUp(up)) {
    x_[j] = up;
  } else if (st == kLower && finiteLo(lo)) {
    x_[j] = lo;
  } else if (finiteLo(lo) && (st != kUpper || !finiteUp(up))) {
    if (finiteUp(up) && cost_[j] < 0.0 && st != kLower) {
      status_[j] = kUpper;
      x_[j] = up;
    } else {
      status_[j] = kLower;
      x_[j] = lo;
    }
  } else if (finiteUp(up)) {
    status_[j] = kUpper;
    x_[j] = up;
  } else {
    status_[j] = kZero;
    x_[j] = 0.0;
  }
}

void LpEngine::setStatusFromDj(int j) {
  // Nonbasic boxed variable: the bound that makes its reduced cost feasible.
  if (dj_[j] >= 0.0) {
    if (finiteLo(lower_[j])) { status_[j] = kLower; x_[j] = lower_[j]; return; }
  } else {
    if (finiteUp(upper_[j])) { status_[j] = kUpper; x_[j] = upper_[j]; return; }
  }
  placeNonbasic(j);
}

void LpEngine::computeTolerances() {
  // Working tolerances on the scaled problem: tighter than the user's so that
  // the unscaled solution meets the user's tolerances.
  tolP_ = opt_.feasibilityTol * tol::kPrimalTolFactor * tighterP_;
  tolD_ = opt_.optimalityTol * tol::kDualTolFactor * tighterD_;
}

void LpEngine::unscaledInfeasibility(double* pmax, double* dmax) const {
  double pm = 0.0, dm = 0.0;
  for (int k = 0; k < nTot_; ++k) {
    // Unscaled value = scaled value * f; unscaled reduced cost = scaled / f.
    const double f = k < n_ ? colScale_[k] : 1.0 / rowScale_[k - n_];
    const double v = x_[k];
    if (v < lower_[k]) pm = std::max(pm, (lower_[k] - v) * f);
    else if (v > upper_[k]) pm = std::max(pm, (v - upper_[k]) * f);
    const uint8_t st = status_[k];
    if (st == kBasic || isFrozen(k)) continue;
    const double d = dj_[k];
    double bad = 0.0;
    if (st == kLower) bad = -d;
    else if (st == kUpper) bad = d;
    else bad = std::fabs(d);
    if (bad > 0.0) dm = std::max(dm, bad / f);
  }
  *pmax = pm;
  *dmax = dm;
}

bool LpEngine::refactor() {
  std::vector<int> replaced;
  std::vector<int> old(head_);
  int r = 0;
  const double t0 = factor_.pivotThreshold();
  for (int pass = 0; pass < 12; ++pass) {
    replaced.clear();
    head_ = old;
    r = factor_.build(view_, head_.data(), &replaced);
    ++refactorCount_;
    addWork(static_cast<uint64_t>(factor_.stats().factorNnz) + static_cast<uint64_t>(m_));
    if (r < 0) break;
    const double t = factor_.pivotThreshold();
    if (!factorIllConditioned(factor_.conditionRatio(), t)) break;
    const double t2 = raiseMarkowitzThreshold(t);
    if (t2 == t) break;
    factor_.setPivotThreshold(t2);
  }
  if (factor_.pivotThreshold() != t0 && opt_.display)
    logLine("Markowitz threshold set to %g\n", factor_.pivotThreshold());
  if (r < 0) {
    factorValid_ = false;
    return false;
  }
  if (r > 0) {
    if (repairCount_ >= opt_.singularityLimit) {
      // Out of repairs: the basis counts as singular.
      head_ = old;
      singularFailure_ = true;
      factorValid_ = false;
      return false;
    }
    ++repairCount_;
    const bool drop = repairCount_ > freeRepairs_;
    if (opt_.display) logLine("Repairing basis singularity.\n");
    for (int p : replaced) {
      int gone = old[p];
      int in = head_[p];
      pos_[gone] = -1;
      if (status_[gone] == kBasic) status_[gone] = kLower;
      placeNonbasic(gone);
      pos_[in] = p;
      status_[in] = kBasic;
      dualWeight_[p] = 1.0;
      if (gone >= n_) {
        if (opt_.display) logLine("Slack removed by singularity.\n");
        if (drop) {
          if (opt_.display) logLine("Dual '%.255s' fixed because of singularity.\n", rowNameOf(gone - n_).c_str());
          dropVariable(gone);
        }
      } else if (drop) {
        if (opt_.display) logLine("Variable '%.255s' fixed because of singularity.\n", varName(gone).c_str());
        dropVariable(gone);
      }
    }
    primalValid_ = dualValid_ = false;
  }
  factorValid_ = true;
  return true;
}

void LpEngine::loadColumn(int j, WorkVec& v) const {
  v.clear();
  if (j < n_) {
    for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) {
      v.val[colIndex_[k]] = colValue_[k];
      v.idx[v.nnz++] = colIndex_[k];
    }
  } else {
    v.val[j - n_] = 1.0;
    v.idx[v.nnz++] = j - n_;
  }
}

// x_B = -B^-1 (N x_N)
void LpEngine::computePrimal() {
  WorkVec& v = work_;
  v.clear();
  std::fill(v.val.begin(), v.val.end(), 0.0);
  for (int j = 0; j < n_; ++j) {
    if (status_[j] == kBasic) continue;
    double xj = x_[j];
    if (xj == 0.0) continue;
    for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) v.val[colIndex_[k]] -= xj * colValue_[k];
  }
  for (int i = 0; i < m_; ++i) {
    int k = n_ + i;
    if (status_[k] != kBasic) v.val[i] -= x_[k];
  }
  v.repack();
  factor_.ftran(v, 1.0);
  for (int i = 0; i < m_; ++i) x_[head_[i]] = v.val[i];
  v.clear();
  std::fill(v.val.begin(), v.val.end(), 0.0);
  addWork(static_cast<uint64_t>(colStart_[n_]) + 4ull * m_);
  primalValid_ = true;
}

void LpEngine::computeDualFromCosts(const double* c) {
  WorkVec& v = work_;
  v.clear();
  std::fill(v.val.begin(), v.val.end(), 0.0);
  for (int i = 0; i < m_; ++i) v.val[i] = c[head_[i]];
  v.repack();
  factor_.btran(v, 1.0);
  if (factor_.conditionRatio() > tol::kRefineCondition) {
    // Near-singular factors: one refinement step, y += B^-T (c_B - B'y) with
    // the residual in extended precision, so that reduced costs spoiled by
    // rounding do not price columns in.
    std::vector<double> y0(v.val.begin(), v.val.begin() + m_), d;
    std::vector<long double> r(m_);
    for (int p = 0; p < m_; ++p) {
      const int k = head_[p];
      long double t = c[k];
      if (k < n_) {
        for (int64_t q = colStart_[k]; q < colStart_[k + 1]; ++q)
          t -= static_cast<long double>(y0[colIndex_[q]]) * colValue_[q];
      } else {
        t -= y0[k - n_];
      }
      r[p] = t;
    }
    const bool refined = solveResidual(r, true, d);
    for (int i = 0; i < m_; ++i) v.val[i] = refined ? y0[i] + d[i] : y0[i];
    addWork(static_cast<uint64_t>(colStart_[n_]) + 4ull * m_);
  }
  const double* y = v.val.data();
  for (int j = 0; j < n_; ++j) {
    if (status_[j] == kBasic) {
      dj_[j] = 0.0;
      continue;
    }
    double s = c[j];
    for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) s -= y[colIndex_[k]] * colValue_[k];
    dj_[j] = s;
  }
  for (int i = 0; i < m_; ++i) {
    int k = n_ + i;
    dj_[k] = status_[k] == kBasic ? 0.0 : c[k] - y[i];
  }
  std::fill(v.val.begin(), v.val.end(), 0.0);
  v.nnz = 0;
  v.packed = true;
  addWork(static_cast<uint64_t>(colStart_[n_]) + 4ull * m_);
}

void LpEngine::computeDual() {
  computeDualFromCosts(cost_.data());
  dualValid_ = true;
}

double LpEngine::workingObjective() const {
  double s = 0.0;
  for (int j = 0; j < nTot_; ++j) s += cost_[j] * x_[j];
  return s;
}

// Pivot row alpha_r = rho^T [A I] over the nonbasic variables.
void LpEngine::computePivotRow(const WorkVec& rho) {
  clearPivotRow();
  // Row-wise when the rows of rho's nonzeros hold fewer entries than a
  // column-wise pass over the matrix would touch.
  bool sparse = false;
  if (rho.packed && rho.nnz < tol::kRowSparseSwitch * m_ * 4) {
    int64_t rowWork = 0;
    for (int t = 0; t < rho.nnz; ++t) {
      const int i = rho.idx[t];
      rowWork += rowStart_[i + 1] - rowStart_[i];
    }
    sparse = rowWork < tol::kRowSparseSwitch * 4 * colStart_[n_];
  }
  if (sparse) {
    uint64_t work = 0;
    for (int t = 0; t < rho.nnz; ++t) {
      int i = rho.idx[t];
      double ri = rho.val[i];
      if (ri == 0.0) continue;
      for (int64_t k = rowStart_[i]; k < rowStart_[i + 1]; ++k) {
        int j = rowIndex_[k];
        if (status_[j] == kBasic) continue;
        if (!rowMark_[j]) {
          rowMark_[j] = 1;
          rowIdx_[rowNnz_++] = j;
        }
        rowAlpha_[j] += ri * rowValue_[k];
      }
      work += rowStart_[i + 1] - rowStart_[i];
      int k = n_ + i;
      if (status_[k] != kBasic) {
        rowMark_[k] = 1;
        rowIdx_[rowNnz_++] = k;
        rowAlpha_[k] = ri;
      }
    }
    addWork(work + rho.nnz);
  } else {
    const double* r = rho.val.data();
    pivotRowByColumns(r);
    for (int i = 0; i < m_; ++i) {
      int k = n_ + i;
      if (status_[k] != kBasic && r[i] != 0.0) {
        rowMark_[k] = 1;
        rowIdx_[rowNnz_++] = k;
        rowAlpha_[k] = r[i];
      }
    }
    addWork(static_cast<uint64_t>(colStart_[n_]) + m_);
  }
}

// The structural part of the pivot row for a dense rho.  Each slice gives
// kSliceWidth sums at once (no branch per column, independent additions);
// the sums of basic columns are discarded.  The entries are then listed in
// column order by one branch-free pass, so the row comes out exactly as a
// column-by-column loop would give it.
void LpEngine::pivotRowByColumns(const double* r) {
  constexpr int W = kSliceWidth;
  double* alpha = rowAlpha_.data();
  const uint8_t* st = status_.data();
  const int nSlices = static_cast<int>(sliceStart_.size()) - 1;
  for (int sl = 0; sl < nSlices; ++sl) {
    const int64_t b = sliceStart_[sl];
    const int len = static_cast<int>((sliceStart_[sl + 1] - b) / W);
    const int* ix = sliceIndex_.data() + b;
    const double* va = sliceValue_.data() + b;
    double acc[W] = {};
    for (int t = 0; t < len; ++t, ix += W, va += W)
      for (int c = 0; c < W; ++c) acc[c] += r[ix[c]] * va[c];
    const int* lane = sliceCol_.data() + static_cast<int64_t>(sl) * W;
    for (int c = 0; c < W; ++c) {
      const int j = lane[c];
      if (j >= 0) alpha[j] = st[j] == kBasic ? 0.0 : acc[c];
    }
  }
  for (int j : longCols_) {
    if (st[j] == kBasic) continue;
    double s = 0.0;
    for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) s += r[colIndex_[k]] * colValue_[k];
    alpha[j] = s;
  }
  int nz = rowNnz_;
  int* list = rowIdx_.data();
  uint8_t* mark = rowMark_.data();
  for (int j = 0; j < n_; ++j) {
    const bool on = alpha[j] != 0.0;
    list[nz] = j;
    mark[j] = on;
    nz += on;
  }
  rowNnz_ = nz;
}

void LpEngine::buildSlices() {
  constexpr int W = kSliceWidth;
  sliceStart_.assign(1, 0);
  sliceCol_.clear();
  sliceIndex_.clear();
  sliceValue_.clear();
  longCols_.clear();
  // Columns by decreasing length (counting sort; empty columns never give an
  // entry of the pivot row).
  int maxLen = 0;
  for (int j = 0; j < n_; ++j) maxLen = std::max(maxLen, static_cast<int>(colStart_[j + 1] - colStart_[j]));
  std::vector<int> cnt(maxLen + 2, 0);
  for (int j = 0; j < n_; ++j) ++cnt[maxLen - static_cast<int>(colStart_[j + 1] - colStart_[j])];
  for (int l = 1; l <= maxLen + 1; ++l) cnt[l] += cnt[l - 1];
  std::vector<int> sorted(n_);
  for (int j = n_ - 1; j >= 0; --j) sorted[--cnt[maxLen - static_cast<int>(colStart_[j + 1] - colStart_[j])]] = j;
  auto len = [&](int j) { return static_cast<int>(colStart_[j + 1] - colStart_[j]); };
  int nonEmpty = 0;
  while (nonEmpty < n_ && len(sorted[nonEmpty]) > 0) ++nonEmpty;
  int64_t padded = 0;
  for (int at = 0; at < nonEmpty;) {
    const int lanes = std::min(W, nonEmpty - at);
    const int l0 = len(sorted[at]);
    // A column much longer than the others of its slice would make them
    // carry padding: it is summed on its own.
    if (l0 > 2 * len(sorted[at + lanes - 1]) + 4) {
      longCols_.push_back(sorted[at++]);
      continue;
    }
    padded += static_cast<int64_t>(l0) * W;
    sliceStart_.push_back(padded);
    for (int c = 0; c < W; ++c) sliceCol_.push_back(c < lanes ? sorted[at + c] : -1);
    at += lanes;
  }
  std::sort(longCols_.begin(), longCols_.end());
  sliceIndex_.assign(padded, 0);
  sliceValue_.assign(padded, 0.0);
  const int nSlices = static_cast<int>(sliceStart_.size()) - 1;
  for (int sl = 0; sl < nSlices; ++sl) {
    const int64_t b = sliceStart_[sl];
    for (int c = 0; c < W; ++c) {
      const int j = sliceCol_[static_cast<int64_t>(sl) * W + c];
      if (j < 0) continue;
      int64_t p = b + c;
      for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k, p += W) {
        sliceIndex_[p] = colIndex_[k];
        sliceValue_[p] = colValue_[k];
      }
    }
  }
}

void LpEngine::clearPivotRow() {
  for (int t = 0; t < rowNnz_; ++t) {
    int j = rowIdx_[t];
    rowAlpha_[j] = 0.0;
    rowMark_[j] = 0;
  }
  rowNnz_ = 0;
}

int LpEngine::poll() {
  if (!opt_.poll) return 0;
  return opt_.poll();
}

void LpEngine::logLine(const char* fmt, ...) {
  if (!opt_.log) return;
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  opt_.log(buf);
}

std::string LpEngine::rowNameOf(int i) const {
  return static_cast<size_t>(i) < rowName_.size() ? rowName_[i] : "R" + std::to_string(i + 1);
}

std::string LpEngine::varName(int k) const {
  if (k < n_) return static_cast<size_t>(k) < colName_.size() ? colName_[k] : "C" + std::to_string(k + 1);
  return rowNameOf(k - n_) + " slack";
}

bool LpEngine::logDue() const {
  if (opt_.display != 1 || !opt_.log) return false;
  if (lastLogIter_ < 0) return true;
  int interval = opt_.logInterval > 0 ? opt_.logInterval : (m_ > 10000 ? 1000 : (m_ > 1000 ? 500 : 100));
  return iterations_ - lastLogIter_ >= interval;
}

// Display 2: one line per basis change, one per bound flip.
void LpEngine::logPivot(bool dual, int phase, double obj, int in, int out, bool outToUpper) {
  if (opt_.display < 2 || !opt_.log) return;
  if (!logHeaderDone_) {
    logLine("\nIteration log . . .\n");
    logHeaderDone_ = true;
  }
  if (!detailHeaderDone_) {
    if (dual) logLine("\nIteration      Dual Objective     " "       In Variable           Out Variable\n");
    else logLine("\nIteration           Objective     " "       In Variable           Out Variable\n");
    detailHeaderDone_ = true;
  }
  char head[64];
  const long long it = static_cast<long long>(iterations_);
  if (phase == 1) std::snprintf(head, sizeof head, opt_.scale ? "%6lld sI" : "%6lld  I", it);
  else std::snprintf(head, sizeof head, "%6lld   ", it);
  char val[64];
  std::snprintf(val, sizeof val, std::fabs(obj) >= 1e11 ? "%20.6e" : "%20.6f", obj);
  const std::string inName = in >= 0 ? varName(in) : std::string();
  const std::string outName = out >= 0 ? varName(out) : std::string();
  logLine("%s%s %22.255s %22.255s%s", head, val, inName.c_str(), outName.c_str(),
          out < 0 ? "\n" : (outToUpper ? "    goes to upper bound\n" : "    goes to lower bound\n"));
}

void LpEngine::logFlip(int j, bool toUpper) {
  if (opt_.display < 2 || !opt_.log) return;
  const std::string name = varName(j);
  logLine("%29s %22s %22.255s%s", "", "", name.c_str(), toUpper ? "    goes to upper bound\n" : "    goes to lower bound\n");
}

void LpEngine::logIteration(bool dual, int phase, double value) {
  if (opt_.display != 1 || !opt_.log) return;
  if (!logHeaderDone_) {
    logLine("\nIteration log . . .\n");
    logHeaderDone_ = true;
  }
  int interval = opt_.logInterval > 0 ? opt_.logInterval : (m_ > 10000 ? 1000 : (m_ > 1000 ? 500 : 100));
  if (opt_.display == 1 && lastLogIter_ >= 0 && iterations_ - lastLogIter_ < interval) return;
  lastLogIter_ = iterations_;
  const long long it = static_cast<long long>(iterations_);
  const bool scaled = opt_.scale;
  if (dual) {
    if (phase == 2)
      logLine("Iteration: %5lld   Dual objective     = %20.6f\n", it, value);
    else if (scaled)
      logLine("Iteration: %5lld   Scaled dual infeas = %20.6f\n", it, value);
    else
      logLine("Iteration: %5lld   Dual infeasibility = %20.6f\n", it, value);
  } else {
    if (phase == 2)
      logLine("Iteration: %5lld    Objective     = %20.6f\n", it, value);
    else if (scaled)
      logLine("Iteration: %5lld    Scaled infeas = %20.6f\n", it, value);
    else
      logLine("Iteration: %5lld    Infeasibility = %20.6f\n", it, value);
  }
}

double LpEngine::random01() {
  rng_ = rng_ * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<double>((rng_ >> 32) & 0x7fffffffULL) * (1.0 / 2147483648.0);
}

void LpEngine::restoreBounds() {
  lower_ = origLower_;
  upper_ = origUpper_;
  boundsPerturbed_ = false;
}

void LpEngine::restoreCosts() {
  cost_ = origCost_;
  costsPerturbed_ = false;
  costShifts_ = 0;
}

int LpEngine::countDualInfeasibilities(double tolD, double* sum, bool includeBoxed) const {
  int cnt = 0;
  double s = 0.0;
  for (int j = 0; j < nTot_; ++j) {
    if (status_[j] == kBasic || isFrozen(j)) continue;
    double d = dj_[j], v = 0.0;
    if (!includeBoxed && finiteLo(lower_[j]) && finiteUp(upper_[j])) continue;  // boxed: a flip fixes it
    if (status_[j] == kLower || (status_[j] != kUpper && finiteLo(lower_[j]))) {
      if (d < -tolD) v = -d;
    } else if (status_[j] == kUpper) {
      if (d > tolD) v = d;
    } else if (std::fabs(d) > tolD) {
      v = std::fabs(d);
    }
    if (v > 0) {
      ++cnt;
      s += v;
    }
  }
  if (sum) *sum = s;
  return cnt;
}

int LpEngine::countPrimalInfeasibilities(double tolP, double* sum) const {
  int cnt = 0;
  double s = 0.0;
  for (int i = 0; i < m_; ++i) {
    int k = head_[i];
    double v = x_[k];
    double inf = 0.0;
    if (v < lower_[k] - tolP) inf = lower_[k] - v;
    else if (v > upper_[k] + tolP) inf = v - upper_[k];
    if (inf > 0) {
      ++cnt;
      s += inf;
    }
  }
  if (sum) *sum = s;
  return cnt;
}

// ---------------------------------------------------------------------------
// Working-data changes.

void LpEngine::setColBounds(int j, double lb, double ub) {
  if (j < 0 || j >= n_) return;
  double s = colScale_[j];
  origLower_[j] = lower_[j] = finiteLo(lb) ? lb / s : -kInf;
  origUpper_[j] = upper_[j] = finiteUp(ub) ? ub / s : kInf;
  if (status_[j] != kBasic) {
    placeNonbasic(j);
    if (dualValid_ && isBoxed(j)) setStatusFromDj(j);
  }
  primalValid_ = false;
}

void LpEngine::setRowBounds(int i, double rlo, double rup, double rhs) {
  if (i < 0 || i >= m_) return;
  if (std::isnan(rhs)) rhs = finiteLo(rlo) ? rlo : (finiteUp(rup) ? rup : 0.0);
  rowRhs_[i] = rhs;
  int k = n_ + i;
  double rs = rowScale_[i];
  origLower_[k] = lower_[k] = finiteUp(rup) ? -rup * rs : -kInf;
  origUpper_[k] = upper_[k] = finiteLo(rlo) ? -rlo * rs : kInf;
  if (status_[k] != kBasic) {
    placeNonbasic(k);
    if (dualValid_ && isBoxed(k)) setStatusFromDj(k);
  }
  primalValid_ = false;
}

void LpEngine::setObj(int j, double c) {
  if (j < 0 || j >= n_) return;
  origCost_[j] = cost_[j] = objsen_ * c * colScale_[j];
  dualValid_ = false;
}

double LpEngine::colLower(int j) const {
  return finiteLo(origLower_[j]) ? origLower_[j] * colScale_[j] : -kInf;
}
double LpEngine::colUpper(int j) const {
  return finiteUp(origUpper_[j]) ? origUpper_[j] * colScale_[j] : kInf;
}

// ---------------------------------------------------------------------------
// Queries.

double LpEngine::objective() const {
  double s = 0.0;
  for (int j = 0; j < n_; ++j) s += origCost_[j] * x_[j];
  return objsen_ * s + objOffset_;
}

void LpEngine::getX(double* x) const {
  for (int j = 0; j < n_; ++j) x[j] = x_[j] * colScale_[j];
}

void LpEngine::getRowActivity(double* ax) const {
  for (int i = 0; i < m_; ++i) ax[i] = -x_[n_ + i] / rowScale_[i];
}

void LpEngine::getSlack(double* slack) const {
  for (int i = 0; i < m_; ++i) slack[i] = rowRhs_[i] + x_[n_ + i] / rowScale_[i];
}

void LpEngine::getPi(double* pi) const {
  for (int i = 0; i < m_; ++i) pi[i] = -objsen_ * dj_[n_ + i] * rowScale_[i];
}

void LpEngine::getDj(double* dj) const {
  for (int j = 0; j < n_; ++j) dj[j] = objsen_ * dj_[j] / colScale_[j];
}

void LpEngine::getBasis(int* cstat, int* rstat) const {
  if (cstat)
    for (int j = 0; j < n_; ++j) {
      switch (status_[j]) {
        case kBasic: cstat[j] = kBasisBasic; break;
        case kLower: cstat[j] = kBasisAtLower; break;
        case kUpper: cstat[j] = isFixed(j) ? kBasisAtLower : kBasisAtUpper; break;
        default: cstat[j] = kBasisFree; break;
      }
    }
  if (rstat)
    for (int i = 0; i < m_; ++i) {
      int k = n_ + i;
      // The logical is the negated activity: its upper bound is the row's lower limit.
      switch (status_[k]) {
        case kBasic: rstat[i] = kBasisBasic; break;
        case kUpper: rstat[i] = kBasisAtLower; break;
        case kLower: rstat[i] = origLower_[k] == origUpper_[k] ? kBasisAtLower : kBasisAtUpper; break;
        default: rstat[i] = kBasisFree; break;
      }
    }
}

int LpEngine::setBasis(const int* cstat, const int* rstat) {
  int nb = 0;
  for (int j = 0; j < n_; ++j) nb += cstat[j] == kBasisBasic;
  for (int i = 0; i < m_; ++i) nb += rstat[i] == kBasisBasic;
  if (nb != m_) return 1;
  int p = 0;
  restoreBounds();
  restoreCosts();
  for (int k = 0; k < nTot_; ++k) {
    int s = k < n_ ? cstat[k] : rstat[k - n_];
    pos_[k] = -1;
    if (s == kBasisBasic) {
      status_[k] = kBasic;
      head_[p] = k;
      pos_[k] = p++;
      continue;
    }
    if (k < n_) {
      status_[k] = s == kBasisAtUpper ? kUpper : (s == kBasisFree ? kZero : kLower);
    } else {
      status_[k] = s == kBasisAtUpper ? kLower : (s == kBasisFree ? kZero : kUpper);
    }
    placeNonbasic(k);
  }
  std::fill(dualWeight_.begin(), dualWeight_.end(), 1.0);
  weightsValid_ = false;
  factorValid_ = primalValid_ = dualValid_ = false;
  return 0;
}

bool LpEngine::getFarkas(std::vector<double>& y) const {
  if (lpStatus_ != LpStatus::kInfeasible || farkas_.empty()) return false;
  y.assign(m_, 0.0);
  for (int i = 0; i < m_; ++i) y[i] = farkas_[i] * rowScale_[i];
  return true;
}

bool LpEngine::getPrimalRay(std::vector<double>& ray) const {
  if (lpStatus_ != LpStatus::kUnbounded || primalRay_.empty()) return false;
  ray.assign(n_, 0.0);
  for (int j = 0; j < n_; ++j) ray[j] = primalRay_[j] * colScale_[j];
  return true;
}

// State every solve starts from: working tolerances, counters, the random
// stream, certificates and the factorization's pivoting settings.
void LpEngine::dropVariable(int k) {
  if (dropped_[k]) return;
  dropped_[k] = 1;
  droppedList_.push_back(k);
}

void LpEngine::clearDropped() {
  for (int k : droppedList_) dropped_[k] = 0;
  droppedList_.clear();
}

LpStatus LpEngine::finishDropped(LpStatus st) {
  while (!droppedList_.empty()) {
    const bool optimal = st == LpStatus::kOptimal || st == LpStatus::kOptimalUnscaledInfeas;
    if (optimal) {
      int64_t rowViol = 0, colViol = 0;
      bool anyRow = false, anyCol = false;
      for (int k : droppedList_) {
        const bool row = k >= n_;
        (row ? anyRow : anyCol) = true;
        if (status_[k] == kBasic || isFixed(k)) continue;
        const double d = dj_[k];
        bool bad;
        if (status_[k] == kLower) bad = d < -tolD_;
        else if (status_[k] == kUpper) bad = d > tolD_;
        else bad = std::fabs(d) > tolD_;
        if (!bad) continue;
        ++(row ? rowViol : colViol);
        if (!opt_.display) continue;
        const std::string name = row ? rowNameOf(k - n_) : varName(k);
        if (row)
          logLine(opt_.scale ? "Scaled reduced cost of fixed row '%.255s' %g\n" : "Reduced cost of fixed row '%.255s' %g\n",
                  name.c_str(), d);
        else
          logLine(opt_.scale ? "Scaled reduced cost of dropped variable '%.255s' = %g\n"
                             : "Reduced cost of dropped variable '%.255s' = %g\n",
                  name.c_str(), d);
      }
      if (opt_.display) {
        if (anyRow && rowViol == 0) logLine("Fixed rows satisfy optimality criteria.\n");
        if (anyCol && colViol == 0) logLine("Dropped variables satisfy optimality criteria.\n");
        if (rowViol + colViol > 0)
          logLine("There are %lld violations to optimality.\n", static_cast<long long>(rowViol + colViol));
      }
      if (rowViol + colViol == 0) {
        clearDropped();
        return st;
      }
      if (reincluded_) {
        // A second round of violations after reinclusion: the answer is not
        // trustworthy as optimal.
        clearDropped();
        return LpStatus::kNonOptimal;
      }
      if (opt_.display) {
        if (rowViol > 0) logLine("Attempting to free fixed rows.\n");
        if (colViol > 0) logLine("Attempting to reinclude dropped variables.\n");
      }
    } else if (st != LpStatus::kInfeasible || reincluded_) {
      // Limits and aborts keep their state; the variables come back for the
      // next solve.
      clearDropped();
      return st;
    }
    // Reinclude and resume: an optimal basis of the restricted problem is
    // primal feasible (primal simplex); an infeasibility proof that relied on
    // the dropped variables is checked again by the dual.
    reincluded_ = true;
    clearDropped();
    st = optimal ? runPrimal() : runDual();
  }
  return st;
}

bool LpEngine::startFavoursPrimal() {
  if (m_ == 0) return false;
  if (boundsPerturbed_) restoreBounds();
  if (costsPerturbed_ || costShifts_) restoreCosts();
  computeTolerances();
  for (int j = 0; j < nTot_; ++j)
    if (status_[j] != kBasic) placeNonbasic(j);
  if (!factorValid_ && !refactor()) return false;
  computePrimal();
  computeDual();
  return countPrimalInfeasibilities(tolP_, nullptr) == 0 && countDualInfeasibilities(tolD_, nullptr) > 0;
}

bool LpEngine::confirmInfeasible(bool* giveUp) {
  *giveUp = false;
  if (farkasProves(farkas_)) return true;
  farkas_.clear();
  if (proofRecoveries_ >= tol::kProofRecoveries) {
    *giveUp = true;
    return false;
  }
  ++proofRecoveries_;
  if (costsPerturbed_ || costShifts_) restoreCosts();
  if (boundsPerturbed_) restoreBounds();
  factor_.setPivotThreshold(raiseMarkowitzThreshold(factor_.pivotThreshold()));
  if (opt_.display) logLine("Markowitz threshold set to %g\n", factor_.pivotThreshold());
  dualRatioPivot_ = primalRatioPivot_ = tol::kRecoveryPivot;
  tighterD_ = std::max(tighterD_ * 0.1, tol::kTightenMin);
  computeTolerances();
  for (int j = 0; j < nTot_; ++j)
    if (status_[j] != kBasic) placeNonbasic(j);
  factorValid_ = false;
  if (!refactor()) {
    *giveUp = true;
    return false;
  }
  computePrimal();
  if (factor_.conditionRatio() > tol::kRefineCondition) refinePrimal();
  computeDual();
  return false;
}

int LpEngine::finalPrimalInfeasibilities() {
  int cnt = countPrimalInfeasibilities(tolP_, nullptr);
  if (cnt > 0 && factor_.conditionRatio() > tol::kRefineCondition) {
    refinePrimal();
    cnt = countPrimalInfeasibilities(tolP_, nullptr);
  }
  return cnt;
}

void LpEngine::refinePrimal() {
  // Residual of [A I] x = 0 in extended precision, then x_B -= B^-1 residual.
  std::vector<long double> r(m_, 0.0L);
  for (int j = 0; j < n_; ++j) {
    const long double xj = x_[j];
    if (xj == 0.0L) continue;
    for (int64_t k = colStart_[j]; k < colStart_[j + 1]; ++k) r[colIndex_[k]] += xj * colValue_[k];
  }
  for (int i = 0; i < m_; ++i) r[i] += x_[n_ + i];
  addWork(static_cast<uint64_t>(colStart_[n_]) + 4ull * m_);
  std::vector<double> d;
  if (!solveResidual(r, false, d)) return;
  for (int p = 0; p < m_; ++p) x_[head_[p]] -= d[p];
}

bool LpEngine::solveResidual(const std::vector<long double>& r, bool transposed, std::vector<double>& d) {
  double rmax = 0.0;
  for (int i = 0; i < m_; ++i) rmax = std::max(rmax, std::fabs(static_cast<double>(r[i])));
  if (rmax == 0.0) return false;
  int rexp = 0;
  std::frexp(rmax, &rexp);  // rmax = f 2^rexp with f in [0.5, 1)
  const double s = std::ldexp(1.0, 1 - rexp);
  WorkVec& v = work_;
  v.clear();
  std::fill(v.val.begin(), v.val.end(), 0.0);
  for (int i = 0; i < m_; ++i) v.val[i] = static_cast<double>(r[i] * s);
  v.repack();
  if (transposed) factor_.btran(v, 1.0);
  else factor_.ftran(v, 1.0);
  d.resize(m_);
  for (int p = 0; p < m_; ++p) d[p] = v.val[p] / s;
  v.clear();
  std::fill(v.val.begin(), v.val.end(), 0.0);
  return true;
}

void LpEngine::refineRay(int q, double dir, std::vector<double> w) {
  // Residual a_q - B w in extended precision (the logicals' columns are unit
  // vectors), then w += B^-1 residual.
  std::vector<long double> r(m_, 0.0L);
  if (q < n_) {
    for (int64_t k = colStart_[q]; k < colStart_[q + 1]; ++k) r[colIndex_[k]] = colValue_[k];
  } else {
    r[q - n_] = 1.0L;
  }
  for (int p = 0; p < m_; ++p) {
    const long double wp = w[p];
    if (wp == 0.0L) continue;
    const int k = head_[p];
    if (k < n_) {
      for (int64_t t = colStart_[k]; t < colStart_[k + 1]; ++t) r[colIndex_[t]] -= wp * colValue_[t];
    } else {
      r[k - n_] -= wp;
    }
  }
  addWork(static_cast<uint64_t>(colStart_[n_]) + 4ull * m_);
  std::vector<double> d;
  if (!solveResidual(r, false, d)) return;
  for (int p = 0; p < m_; ++p) w[p] += d[p];
  primalRay_.assign(n_, 0.0);
  if (q < n_) primalRay_[q] = dir;
  for (int p = 0; p < m_; ++p)
    if (head_[p] < n_) primalRay_[head_[p]] = -dir * w[p];
}

void LpEngine::refineFarkas(const std::vector<double>& target) {
  // Residual target_p - y'B_p per basis position in extended precision, then
  // y += B^-T residual.
  WorkVec& v = work_;
  v.clear();
  std::fill(v.val.begin(), v.val.end(), 0.0);
  for (int p = 0; p < m_; ++p) {
    const int k = head_[p];
    long double r = target[p];
    if (k < n_) {
      for (int64_t t = colStart_[k]; t < colStart_[k + 1]; ++t)
        r -= static_cast<long double>(farkas_[colIndex_[t]]) * colValue_[t];
    } else {
      r -= farkas_[k - n_];
    }
    v.val[p] = static_cast<double>(r);
  }
  v.repack();
  factor_.btran(v, 1.0);
  for (int i = 0; i < m_; ++i) farkas_[i] += v.val[i];
  v.clear();
  std::fill(v.val.begin(), v.val.end(), 0.0);
  addWork(static_cast<uint64_t>(colStart_[n_]) + 4ull * m_);
}

void LpEngine::phase1Farkas() {
  WorkVec& v = work_;
  v.clear();
  std::fill(v.val.begin(), v.val.end(), 0.0);
  for (int i = 0; i < m_; ++i) {
    const int k = head_[i];
    const double xv = x_[k];
    v.val[i] = xv < lower_[k] - tolP_ ? -1.0 : xv > upper_[k] + tolP_ ? 1.0 : 0.0;
  }
  std::vector<double> target(v.val.begin(), v.val.begin() + m_);
  v.repack();
  factor_.btran(v, 1.0);
  farkas_.assign(v.val.begin(), v.val.begin() + m_);
  v.clear();
  std::fill(v.val.begin(), v.val.end(), 0.0);
  addWork(4ull * m_);
  refineFarkas(target);
}

int LpEngine::crossedBound() const {
  for (int k = 0; k < nTot_; ++k) {
    const double lo = origLower_[k], up = origUpper_[k];
    if (!(lo > up)) continue;
    // Unscaled width of the gap: scaled values times the column factor, or
    // divided by the row factor for a logical.
    const double f = k < n_ ? colScale_[k] : 1.0 / rowScale_[k - n_];
    if ((lo - up) * f > opt_.feasibilityTol) return k;
  }
  return -1;
}

// A solve that ended without a definite answer (numerical trouble, a stall
// both methods gave up on, proofs that never held) starts once more from the
// slack basis with the true data, stricter factor pivoting and fresh
// recovery budgets; the caller then runs the other method.  A basis that
// stayed singular with the repairs spent is the caller's error and is not
// retried.  The iteration count and its limit carry over.
bool LpEngine::restartFromSlacks(LpStatus st) {
  if (st != LpStatus::kNonOptimal || stopStatus_ != 0 || restarted_ || singularFailure_ || m_ == 0) return false;
  const int64_t it = iterations_, it1 = phase1Iterations_;
  const int pc = perturbCount_;
  beginSolve();
  restarted_ = true;
  iterations_ = it;
  phase1Iterations_ = it1;
  perturbCount_ = pc;
  if (costsPerturbed_ || costShifts_) restoreCosts();
  if (boundsPerturbed_) restoreBounds();
  factor_.setPivotThreshold(raiseMarkowitzThreshold(raiseMarkowitzThreshold(opt_.markowitzTol)));
  slackBasis();
  if (opt_.display) logLine("No definite answer; restarting from the slack basis.\n");
  return true;
}

void LpEngine::beginSolve() {
  tighterP_ = tighterD_ = 1.0;
  computeTolerances();
  rng_ = opt_.randomSeed;
  iterations_ = phase1Iterations_ = 0;
  logHeaderDone_ = detailHeaderDone_ = false;
  lastLogIter_ = -1;
  perturbCount_ = 0;
  stopStatus_ = 0;
  farkas_.clear();
  primalRay_.clear();
  factor_.setPivotThreshold(opt_.markowitzTol);
  repairCount_ = 0;
  // Repairs that only swap logicals in before dropping starts: by size, and
  // below the repair limit.
  freeRepairs_ = m_ <= 9 ? 0 : m_ <= 99 ? 1 : m_ <= 999 ? 2 : m_ <= 9999 ? 3 : 4;
  if (opt_.singularityLimit != 0 && opt_.singularityLimit <= freeRepairs_) freeRepairs_ = opt_.singularityLimit - 1;
  reincluded_ = false;
  singularFailure_ = false;
  blandMode_ = false;
  stallHandover_ = false;
  dualRatioPivot_ = tol::kRatioPivot;
  primalRatioPivot_ = tol::kPrimalRatioPivot;
  proofRecoveries_ = 0;
  proofHandover_ = false;
  rayHandover_ = false;
  rayInDoubt_ = false;
  rayUnproved_ = false;
  restarted_ = false;
  clearDropped();
  refactorLimit_ = opt_.refactorInterval > 0 ? opt_.refactorInterval : std::clamp(50 + m_ / 100, 50, 200);
}

}  // namespace vnt::simplex
