// Sifting: an LP with many more columns than rows is solved through a
// sequence of small working LPs over all rows and a subset of the columns.
// After each working solve a pricer computes the reduced costs of the columns
// outside the working set against the working duals and moves attractive ones
// in (and clearly unattractive ones out); the run ends when nothing prices
// out.  Columns outside the working set rest at one of their bounds (zero
// when free), and the working rows are shifted by their contribution.
//
// Phase 1 works on a working LP with artificial columns (one per side of each
// row with a finite limit), so that the working LP is always feasible.  It
// starts with a composite objective: the true costs plus a large penalty on
// the artificials, so that the basis found feasible is already close to
// optimal.  When nothing prices out while artificials remain, the penalty
// alone is minimized (cost 1 on the artificials, 0 on the columns), whose
// duals price exactly the columns that reduce the infeasibility; when even
// then nothing prices out the problem is infeasible.  Once the artificials
// are zero the run moves to phase 2 with the true costs and the artificials
// fixed at zero.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "env/env.h"
#include "model/modeldata.h"
#include "simplex/lp_engine.h"

namespace vnt::simplex {

struct SiftState;

// A pricer reads the working solution (pi, the working columns' statuses)
// and changes the working column set through siftAddCols / siftDelCols.
// Returns 0 or a status code.
using SiftPricer = int (*)(Env& env, SiftState& st, void* arg);

// End states of a run.
inline constexpr int kSiftRunning = 0;
inline constexpr int kSiftFinished = 1;       // nothing prices out (or phase 1 proved infeasible)
inline constexpr int kSiftIterationLimit = 3;  // the sifting iteration limit was reached
inline constexpr int kSiftStopped = 4;         // a limit or failure of a working solve

struct SiftOptions {
  int method = 0;                      // working-LP method 0..4
  int display = 1;                     // 0 off, 1 one line per pass, 2 framed by blank lines
  long long iterationLimit = 9223372036800000000LL;  // sifting passes
  LpOptions lp;                        // options of the working solves (tolerances, limits, poll)
  uint64_t* randomState = nullptr;     // the environment's random stream
  // Receives the log lines of the run (null: no log).
  std::function<void(const char*)> log;
  // Told the optimality tolerance in force whenever phase 1 tightens it, and
  // its value at entry when the run ends.
  std::function<void(double)> setOptimalityTol;
};

struct SiftState {
  // The full problem (unscaled, caller's sense) and its row limits.
  const model::ModelData* full = nullptr;
  int m = 0, n = 0;
  std::vector<double> rowLo, rowUp;

  int phase = 1;
  bool pureCosts = false;  // phase 1 minimizes the infeasibility alone
  double penalty = 1.0;    // cost of an artificial in the composite phase 1
  long long itcnt = 0, phase1cnt = 0;   // sifting passes (all, in phase 1)
  long long workIt = 0, workPhase1 = 0;  // simplex iterations of the working solves
  int method = 0;                        // working-LP method for the next solve
  // The working basis is primal feasible for the next working LP (only
  // columns were added since an optimal solve): the automatic method takes
  // the primal simplex, except on problems whose columns are all boxed,
  // else the dual.
  bool primalStart = false;
  SiftPricer pricer = nullptr;
  void* pricerArg = nullptr;
  int added = 0;                         // columns added by the last pricing pass
  int endState = kSiftRunning;
  LpStatus workStatus = LpStatus::kUnknown;  // status of the last working solve

  // Working set: positions of columns in the working LP (after the
  // artificials), and the value of every column while outside it.
  std::vector<int> work;
  std::vector<int> where;  // working position per column, -1 outside
  std::vector<double> rest;
  // Statuses (engine codes) of the working columns, the artificials and the
  // rows in the last working basis.
  std::vector<int> workStat, artStat, rowStat;
  // Artificials: row and coefficient (+1 raises the activity, -1 lowers it).
  std::vector<int> artRow;
  std::vector<double> artSign;
  // Euclidean norm of every column of the full problem (pricing weights).
  std::vector<double> colNorm;
  bool allBoxed = false;  // every column has two finite bounds

  // Working solution: objective, sum of the artificials, duals (caller's
  // sense of the working LP) and the working columns' values.
  double objval = 0.0;
  double infeas = 0.0;
  std::vector<double> pi, workX;

  // Bound perturbation of the working columns.
  bool perturbed = false;
  std::vector<double> pertLo, pertUp;

  // Pricing tolerance in force (the optimality tolerance, tightened in
  // phase 1 when nothing prices out).
  double pricingTol = 1e-6;

  LpEngine engine;  // the working LP
};

// Working-set changes (column indices of the full problem).  Adding a column
// that is already in, or removing one that is basic in the working basis, is
// ignored.  Returns the number of columns changed.
int siftAddCols(SiftState& st, int cnt, const int* ind);
int siftDelCols(SiftState& st, int cnt, const int* ind);

// The default pricer: adds the most attractive columns by reduced cost per
// unit column norm, and trims the working set of nonbasic columns with large
// reduced costs once it has grown past a multiple of the row count.
int siftDefaultPricer(Env& env, SiftState& st, void* arg);

// Run sifting on the model.  On return the state's statuses describe the
// final basis of the full problem (siftFullBasis).  Returns 0 or a status
// code of a failed working solve.
int siftRun(Env& env, const model::ModelData& md, const SiftOptions& opt, SiftState& st);

// Basis of the full problem (engine codes) from the state: the working
// statuses, the resting columns at their bounds, and each basic artificial
// replaced by its row's logical.
void siftFullBasis(const SiftState& st, std::vector<int>& cstat, std::vector<int>& rstat);

}  // namespace vnt::simplex
