// Presolve: reduces a model to a smaller equivalent one before an optimizer
// runs, and maps solutions of the reduced model back.
//
// The presolver works on its own copy of the model (row- and column-wise
// lists, bounds, costs in minimization form, row activity limits), applies
// reductions until they stop paying, and keeps a postsolve stack with one
// record per reduction.  Undoing the records in reverse order rebuilds primal
// values, duals, reduced costs and basis statuses of the original model; the
// basis that comes back has one basic variable per original row, so that the
// original model can be loaded with it and a simplex solve finishes from it.
//
// Two modes: the LP mode (primal and dual postsolve, column bounds are only
// changed where a record can give them back) and the MIP mode (integrality
// respected, integer bounds rounded, columns of SOS, indicator, piecewise
// linear, quadratic and lazy constraints left alone; primal postsolve only).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "env/env.h"
#include "model/modeldata.h"
#include "model/problem.h"

namespace vnt::presolve {

// Outcome codes of a presolve that settles the problem.
inline constexpr int kInfeasible = 1117;
inline constexpr int kUnbounded = 1118;
inline constexpr int kInfeasibleOrUnbounded = 1101;
inline constexpr int kNoPresolvedProblem = 1103;
inline constexpr int kAborted = 1106;
inline constexpr int kTimeLimit = 1123;
inline constexpr int kDetTimeLimit = 1124;

// The settings of one presolve run (from the preprocessing parameters).
struct Options {
  bool mip = false;          // respect integrality; primal postsolve only
  int passes = -1;           // -1 automatic
  int aggregatorPasses = -1; // -1 automatic, 0 off
  long long fill = 10;       // fill allowed per aggregator substitution
  bool primalReductions = true;
  bool dualReductions = true;
  bool linear = true;        // 0: only reductions that keep a linear map of the original
  int dependency = -1;       // dependent equality rows (-1 automatic, 0 off)
  int boundStrength = -1;    // -1 automatic (MIP only), 0 off, 1 on
  int coeffReduce = -1;      // coefficient tightening (MIP)
  bool display = true;       // print the report and the progress messages
  double feasTol = 1e-6;     // primal feasibility tolerance of the optimizers
};

// Options from the environment's preprocessing parameters.
Options optionsFromParams(Env& env, bool mip);

// Counts that the report prints.
struct Counts {
  long long rowsRemoved = 0, colsRemoved = 0;
  long long rowsAdded = 0, colsAdded = 0;
  long long coefsModified = 0;
  long long substitutions = 0;  // aggregator substitutions
  int aggregatorPasses = 0;
  long long boundsImproved = 0;
  long long dependentRows = 0;
  // Per reduction (for the caller's statistics; the report prints the totals above).
  long long dominatedCols = 0, duplicateCols = 0, impliedFreeSubst = 0;
  long long tightenedCoefs = 0, impliedInts = 0, slackSingletons = 0;
  long long subsetRowCols = 0;  // columns fixed because their row holds another row
};

class Postsolve;

// A solution of the reduced or of the original model.  Row duals and
// reduced costs are in the model's objective sense; basis statuses: columns
// 0 at lower, 1 basic, 2 at upper, 3 free nonbasic; rows describe the row
// activity: 0 at its lower limit (equality rows: 0), 1 basic, 2 at its upper
// limit, 3 free.
struct Solution {
  std::vector<double> x, rowAct, pi, dj;
  std::vector<int> cstat, rstat;
};

// The result of a presolve run.
struct Presolved {
  Presolved();
  ~Presolved();
  model::ModelData reduced;        // the reduced model (original names kept)
  std::vector<int> colOrig;        // original index of each reduced column
  std::vector<int> rowOrig;        // original index of each reduced row
  std::vector<int> colReduced;     // reduced index of each original column (-1: removed)
  std::vector<int> rowReduced;     // reduced index of each original row (-1: removed)
  Counts counts;
  bool mip = false;
  int origCols = 0, origRows = 0;
  double seconds = 0.0, ticks = 0.0;
  std::unique_ptr<Postsolve> post;

  bool nothingReduced() const;
  bool allEliminated() const { return reduced.numRows() == 0 && reduced.numCols() == 0; }

  // Map a solution of the reduced model back to the original one.  With
  // `withDual` false only x (and row activities) are rebuilt.
  void uncrush(const Solution& red, Solution& orig, bool withDual) const;
  // Primal values of the original columns for reduced primal values
  // (removed columns get the values the records imply).
  void uncrushX(const double* xr, double* x) const;
  // Reduced primal values of original values (the kept columns' values).
  void crushX(const double* x, double* xr) const;
  // Duals: original duals of reduced duals (with the records' rows), and
  // reduced duals of original ones (the kept rows' values).
  void crushPi(const double* pi, double* pir) const;
};

// The dual formulation of an LP (dual.cpp): the dual problem and what maps
// its solution back.
struct DualForm {
  model::ModelData dual;      // min -b~'y over the dual columns, one row per primal column
  int n = 0, m = 0;           // primal columns and rows
  std::vector<double> shift;  // x_j = shift_j + sign_j x'_j (sign 0: free, x_j = x'_j)
  std::vector<int8_t> sign;
  std::vector<int> boundCol;  // dual column of the row x'_j <= u_j - l_j, or -1
  std::vector<int> colRow;    // primal row of each dual column (-1 - j: bound row of column j)
  std::vector<int8_t> colSigma;        // +1: lower side (or equality), -1: upper side or bound row
  std::vector<int> rowLo, rowUp, rowEq;  // dual column of each primal row's side, or -1
};
// Form the dual of `p`; false for a model that is not a plain LP.
bool formDual(const model::ModelData& p, DualForm& f);
// The solution and basis of `p` from an optimal solution of the dual.
void dualToPrimal(const DualForm& f, const model::ModelData& p, const Solution& dual, Solution& out);

// Run presolve on `in` (the model as exported from the problem).  Prints the
// report and, when presolve settles the problem, the diagnostic that names
// the cause, and returns 0 (with `out` filled), 1117, 1118, 1101, 1106,
// 1123, 1124 or 1001.  `typeWord` is the problem-type word of the messages
// ("LP", "MIP", ...).
int run(Env& env, const model::ModelData& in, const Options& opt, const char* typeWord, Presolved& out);

// The presolve result kept on a problem (solver-state slot kSlotPresolve)
// until the model changes: the presolve data and the reduced problem as an
// ordinary problem object (not registered with the environment).
class PresolveState : public model::SolverState {
 public:
  ~PresolveState() override;
  bool onChange(model::Problem& p, const model::ChangeEvent& ev) override;
  std::unique_ptr<Presolved> pre;
  model::Problem* reducedProblem = nullptr;  // owned
  int outcome = 0;  // 0, or the code of a presolve that settled the problem
};

// The presolve state of a problem, or null.
PresolveState* findState(const model::Problem& p);
// Store a presolve result on p (replacing any) with its reduced problem
// object (taken over when given, else built).  Returns 0 or 1001 (the given
// reduced problem then stays the caller's).
int storeState(Env& env, model::Problem& p, std::unique_ptr<Presolved> pre, model::Problem* reduced = nullptr);

// Build an unregistered problem object holding `md` (for the reduced model).
model::Problem* makeDetachedProblem(Env& env, const model::ModelData& md, int probtype, int* status);
void freeDetachedProblem(model::Problem* p);

}  // namespace vnt::presolve
