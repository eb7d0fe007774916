// Solves with the basis factors for callers (FTRAN, BTRAN, rows and columns of
// the basis inverse and of the tableau), the basis head, and the solution
// quality display.
//
// The engine factorizes the scaled basis  Bs = R B D  (R: row scale factors;
// D per basis position: the scale factor of a basic structural, the
// reciprocal row factor of a basic logical).  Hence
//   B^-1 = D Bs^-1 R   and   B^-T = R Bs^-T D,
// which is how every vector below is brought back to the caller's units.
#include <algorithm>
#include <cmath>
#include <vector>

#include "api/chk_decls.h"
#include "api/frame.h"
#include "env/env.h"
#include "model/opsupport.h"
#include "model/modeldata.h"
#include "simplex/lpdriver.h"

namespace vnt::simplex {

bool LpEngine::isScaled() const {
  for (double s : colScale_)
    if (s != 1.0) return true;
  for (double s : rowScale_)
    if (s != 1.0) return true;
  return false;
}

bool LpEngine::basisFactorReady() {
  if (!factorValid_) return false;
  if (factor_.valid()) return true;
  // An update was refused after the last basis change: rebuild the factors of
  // the current basis.
  return refactor();
}

// The engine of a problem whose factors describe its current basis, or null.
LpEngine* factoredEngine(model::Problem& p) {
  LpState* s = static_cast<LpState*>(p.state[model::kSlotLp].get());
  if (!s || !s->engine || s->reload) return nullptr;
  LpEngine* e = s->engine.get();
  if (e->numRows() != p.data->numRows() || e->numCols() != p.data->numCols()) return nullptr;
  return e->basisFactorReady() ? e : nullptr;
}

// D of the basis position p.
double positionScale(const LpEngine& e, int p) {
  const int k = e.basisHead(p), n = e.numCols();
  return k < n ? e.colScaleFactor(k) : 1.0 / e.rowScaleFactor(k - n);
}

void ftranInPlace(LpEngine& e, WorkVec& v) {
  v.repack();
  e.basisFactor().ftran(v, 1.0);
}
void btranInPlace(LpEngine& e, WorkVec& v) {
  v.repack();
  e.basisFactor().btran(v, 1.0);
}

// Scaled row of Bs^-1 at position r, scaled so that R times it is row r of
// B^-1.
void scaledInverseRow(LpEngine& e, int r, WorkVec& v) {
  const int m = e.numRows();
  v.resize(m);
  v.val[r] = positionScale(e, r);
  btranInPlace(e, v);
}

// Dense unscaled solves: x := B^-1 x (row space to basis positions) and
// y := B^-T y (basis positions to row space).
void unscaledFtran(LpEngine& e, double* x) {
  const int m = e.numRows();
  WorkVec v;
  v.resize(m);
  for (int i = 0; i < m; ++i) v.val[i] = x[i] * e.rowScaleFactor(i);
  ftranInPlace(e, v);
  for (int p = 0; p < m; ++p) x[p] = v.val[p] * positionScale(e, p);
}

void unscaledBtran(LpEngine& e, double* y) {
  const int m = e.numRows();
  WorkVec v;
  v.resize(m);
  for (int p = 0; p < m; ++p) v.val[p] = y[p] * positionScale(e, p);
  btranInPlace(e, v);
  for (int i = 0; i < m; ++i) y[i] = v.val[i] * e.rowScaleFactor(i);
}

}  // namespace vnt::simplex

// ---------------------------------------------------------------------------
// Checked entries.

namespace vnt::chk {

using simplex::LpEngine;

namespace {

constexpr int kNoFactor = 1258;

// Work of one solve in the caller's units: scaling in and out, the solve.
void chargeSolve(Env& env, int m) {
  model::ops::countWork(env, m, 2);
  model::ops::countWork(env, m, 3);
}

}  // namespace

int ftran(Env& env, model::Problem& lp, double* x) {
  if (!x) return 1004;
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return kNoFactor;
  simplex::unscaledFtran(*e, x);
  chargeSolve(env, e->numRows());
  return 0;
}

int btran(Env& env, model::Problem& lp, double* y) {
  if (!y) return 1004;
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return kNoFactor;
  simplex::unscaledBtran(*e, y);
  chargeSolve(env, e->numRows());
  return 0;
}

int binvcol(Env& env, model::Problem& lp, int j, double* x) {
  if (!x) return 1004;
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return kNoFactor;
  const int m = e->numRows();
  if (j < 0 || j >= m) return reportError(env, 1203, static_cast<long long>(j));
  std::fill(x, x + m, 0.0);
  x[j] = 1.0;
  simplex::unscaledFtran(*e, x);
  chargeSolve(env, m);
  return 0;
}

int binvrow(Env& env, model::Problem& lp, int i, double* y) {
  if (!y) return 1004;
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return kNoFactor;
  const int m = e->numRows();
  if (i < 0 || i >= m) return reportError(env, 1203, static_cast<long long>(i));
  simplex::WorkVec v;
  simplex::scaledInverseRow(*e, i, v);
  for (int r = 0; r < m; ++r) y[r] = v.val[r] * e->rowScaleFactor(r);
  chargeSolve(env, m);
  return 0;
}

int binvacol(Env& env, model::Problem& lp, int j, double* x) {
  if (!x) return 1004;
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return kNoFactor;
  const int m = e->numRows(), n = e->numCols();
  if (j < 0 || j >= n) return reportError(env, 1201, static_cast<long long>(j));
  // B^-1 A_j = D Bs^-1 (R A_j) and R A_j = As_j / c_j.
  simplex::WorkVec v;
  v.resize(m);
  e->scaledColumn(j, v);
  simplex::ftranInPlace(*e, v);
  const double cj = e->colScaleFactor(j);
  for (int p = 0; p < m; ++p) x[p] = v.val[p] * simplex::positionScale(*e, p) / cj;
  chargeSolve(env, m);
  model::ops::countWork(env, v.nnz, 1);
  return 0;
}

int binvarow(Env& env, model::Problem& lp, int i, double* z) {
  if (!z) return 1004;
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return kNoFactor;
  const int m = e->numRows(), n = e->numCols();
  if (i < 0 || i >= m) return reportError(env, 1203, static_cast<long long>(i));
  // Row i of B^-1 A: with y = R rho (rho the scaled inverse row),
  // y^T A_j = rho^T (R A_j) = rho^T As_j / c_j.
  simplex::WorkVec v;
  simplex::scaledInverseRow(*e, i, v);
  const simplex::MatrixView& a = e->scaledMatrix();
  const double* rho = v.val.data();
  for (int j = 0; j < n; ++j) {
    double s = 0.0;
    for (int64_t k = a.start[j]; k < a.start[j + 1]; ++k) s += rho[a.index[k]] * a.value[k];
    z[j] = s / e->colScaleFactor(j);
  }
  chargeSolve(env, m);
  model::ops::countWork(env, a.start[n], 1);
  return 0;
}

int getbhead(Env& env, model::Problem& lp, int* head, double* x) {
  LpEngine* e = simplex::factoredEngine(lp);
  if (!e) return kNoFactor;
  const int m = e->numRows(), n = e->numCols();
  std::vector<double> slack;
  if (x) {
    slack.resize(m);
    e->getSlack(slack.data());
  }
  const std::vector<double>& xs = e->scaledValues();
  for (int p = 0; p < m; ++p) {
    const int k = e->basisHead(p);
    if (head) head[p] = k < n ? k : -(k - n) - 1;
    if (x) x[p] = k < n ? xs[k] * e->colScaleFactor(k) : slack[k - n];
  }
  model::ops::countWork(env, m, 2);
  return 0;
}

}  // namespace vnt::chk

