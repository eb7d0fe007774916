// The LP driver: the optimize operations' common path and the LP solution
// record kept on a problem.  The record and the simplex engine (with its
// basis, factors and pricing weights) live in the problem's LP state slot and
// follow the model's change events: bound, objective and right-hand-side
// changes are passed to the engine so that the next solve starts from the
// last basis; structural changes reload the engine and keep what of the basis
// still fits.
#pragma once

#include <memory>
#include <vector>

#include "env/env.h"
#include "model/problem.h"
#include "simplex/lp_engine.h"

namespace vnt::simplex {

// Method codes of the LP method parameter.
inline constexpr int kMethodAuto = 0;
inline constexpr int kMethodPrimal = 1;
inline constexpr int kMethodDual = 2;
inline constexpr int kMethodNetwork = 3;  // network part first (network/), then the dual
inline constexpr int kMethodSifting = 5;
inline constexpr int kMethodConcurrent = 6;
// The automatic choice runs the concurrent method on problems with at least
// this many rows or columns (when more than one thread may be used).
inline constexpr int kConcurrentMinDim = 3000;

// Activity limits lo <= a_i x <= up of row i from its sense, right-hand side
// and range value (+-1e20 for a missing side); for the problem's data and for
// the exchange form alike.
template <class Data>
void rowActivityLimits(const Data& d, int i, double* lo, double* up) {
  const double rhs = d.rhs[i];
  const double rng = d.rngval.empty() ? 0.0 : d.rngval[i];
  switch (d.sense[i]) {
    case 'L': *lo = -model::kInfBound; *up = rhs; break;
    case 'G': *lo = rhs; *up = model::kInfBound; break;
    case 'E': *lo = rhs; *up = rhs; break;
    default:  // ranged
      if (rng >= 0) { *lo = rhs; *up = rhs + rng; }
      else { *lo = rhs + rng; *up = rhs; }
  }
}

class LpState : public model::SolverState {
 public:
  bool onChange(model::Problem& p, const model::ChangeEvent& ev) override;

  // The engine, loaded with the current model (null until the first solve).
  std::unique_ptr<LpEngine> engine;
  bool reload = true;               // the engine must be reloaded from the model
  bool objDirty = false;            // reapply every objective coefficient
  std::vector<int> dirtyCols;       // columns whose bounds changed
  std::vector<int> dirtyRows;       // rows whose rhs / sense / range changed

  // Basis to start from (from the last solve, or installed by copybase).
  std::vector<int> startCstat, startRstat;

  // The solution record.
  int stat = 0;                     // LP solution status (0: no solution)
  int method = 0;                   // method that produced it
  double objval = 0.0;
  std::vector<double> x, slack, pi, dj;
  std::vector<int> cstat, rstat;
  bool basic = false;               // record holds a basis
  bool dual = false;                // record holds dual values
  bool primalFeasible = false;
  // A status without solution values (a MIP run that found no integer
  // solution): the value queries answer 1217.
  bool noSolution = false;
  bool dualFeasible = false;
  long long itcnt = 0;
  long long phase1cnt = 0;
  // Counters of the last sifting run (kept until the next one).
  long long siftItcnt = 0;
  long long siftPhase1cnt = 0;

  void clearSolution();
};

// Load the problem's model into the state's engine (created when missing),
// scaled as the scaling parameter says, at the slack basis; the engine is then
// in step with the model.  Returns 0 or a status code.
int loadModelIntoEngine(Env& env, model::Problem& p, LpState& s);

// The LP state of a problem (created on first use), or null when memory runs
// out.
LpState* lpState(model::Problem& p);
// The LP state when it exists.
const LpState* findLpState(const model::Problem& p);
// The basis the next solve starts from (installed by copybase or a basis
// file, or kept from the last solve), when it fits the model.
bool startBasis(const model::Problem& p, std::vector<int>& cstat, std::vector<int>& rstat);

// The method the automatic choice takes for this problem (never 0): the
// method parameter when set, else concurrent for large problems when threads
// allow, else the primal for a start basis that favours it, else the dual.
// The engine must be loaded.
int chooseMethod(Env& env, model::Problem& p, LpState& s, bool allowConcurrent);

// Run one optimization with the given method (0 automatic).  Returns a status
// code; the solution status is stored in the record.
int optimizeLp(Env& env, model::Problem& p, int method);

// Engine options from the environment's parameters (tolerances, limits,
// pricing, log and limit polling); `dual` adds the objective limit.
void engineOptionsFromParams(Env& env, LpOptions& o, bool dual, int sense, double offset);
// Store the engine's solution as the problem's LP solution record.
void storeEngineSolution(const model::Problem& p, LpState& s, int method);
// LP method 5 (sift.cpp): sifting on the problem, finished by the simplex on
// the whole problem from the final working basis.  Returns 0 or a status
// code; the solution record holds the result.
int siftOptimize(Env& env, model::Problem& p, LpState& s);

// Start installation shared by the start and norm operations (start_api.cpp):
// load the engine from the model (with the scaling parameter in force) and
// install a basis given in the library's status codes.  Returns 0, a status
// code, or 1262 when the basis does not have one basic variable per row (the
// basis is then kept as the start of the next solve, which repairs it).  On
// success the engine holds the basis without factors, the problem's start
// basis is the one given and the solution record is cleared.
int installStartBasis(Env& env, model::Problem& p, LpState& s, const int* cstat, const int* rstat);
// The engine loaded and in step with the model: installs the problem's start
// basis when the engine must be reloaded.  Returns 0 or a status code.
int syncedEngine(Env& env, model::Problem& p, LpState& s);

// Basis access for the tableau operations and the analysis tools
// (tableau_api.cpp).  The engine factorizes the scaled basis Bs = R B D (R:
// row scale factors; D per basis position: the scale factor of a basic
// structural, the reciprocal row factor of a basic logical).
// The engine of a problem whose factors describe its current basis, or null.
LpEngine* factoredEngine(model::Problem& p);
// D of basis position p.
double positionScale(const LpEngine& e, int p);
// In-place solves with the scaled factors (the index list is rebuilt first).
void ftranInPlace(LpEngine& e, WorkVec& v);
void btranInPlace(LpEngine& e, WorkVec& v);
// Scaled row of Bs^-1 at position r, scaled so that R times it is row r of
// B^-1.
void scaledInverseRow(LpEngine& e, int r, WorkVec& v);
// Dense unscaled solves: x := B^-1 x (row space to basis positions) and
// y := B^-T y (basis positions to row space).
void unscaledFtran(LpEngine& e, double* x);
void unscaledBtran(LpEngine& e, double* y);

}  // namespace vnt::simplex
