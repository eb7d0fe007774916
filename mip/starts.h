// MIP starts at the beginning of a run: each start the caller attached to
// the problem is evaluated by its effort level and what it yields goes
// through the search's incumbent entry; starts that yield nothing are
// handed to the repair heuristic.
#pragma once

#include <string>
#include <vector>

#include "model/problem.h"

namespace vnt::mip {

class Search;

// Effort levels of a start.  Automatic (0, also -1): check a complete start,
// solve the continuous part with the integers fixed when every integer
// column has a value, else complete the start by a sub-MIP on the columns
// without one.
enum Effort : int {
  kEffortMin = -1,
  kEffortAuto = 0,
  kEffortCheckFeas = 1,   // check the values as given (a complete start)
  kEffortSolveFixed = 2,  // fix the integer columns, solve for the rest
  kEffortSubMip = 3,      // fix the given columns, solve a sub-MIP on the others
  kEffortRepair = 4,      // check; when infeasible, repair
  kEffortMax = 4,
};
const char* effortName(int level);

// Called by the driver once the working copy is built and before the root:
// prints the start messages, offers every solution found to the incumbent
// entry and runs the repair heuristic on the starts kept for it.
void processMipStarts(Search& s, model::Problem& p);

// Delayed starts: a start that defined no solution at the beginning of the
// run (and was not repaired) is tried once more after the root LP.  Its
// integer columns whose start values agree with the root relaxation stay
// fixed, the others are freed, and a sub-MIP solves for them.  x is the
// root LP point on the columns of the model the search solves.  Reports
// "Delayed MIP starts produced solution." or "... found nothing.".
void processDelayedStarts(Search& s, const double* rootX);

// Limits of a heuristic's sub-MIP: only solutions better than the cutoff
// (user sense, when hasCutoff), deterministic ticks, and no heuristic
// sub-MIPs of its own, and optionally one more row.
struct SubMipLimits {
  bool hasCutoff = false;
  double cutoff = 0.0;
  double ticks = 1e75;
  // One more row of the sub-MIP (local branching's neighbourhood):
  // sum of val * x over the original columns ind, at most rhs.
  std::vector<int> rowInd;
  std::vector<double> rowVal;
  double rowRhs = 0.0;
  // Any feasible point: the objective is dropped.
  bool feasibilityOnly = false;
};

// Sub-MIP of the search's model with the columns' bounds replaced by lb/ub,
// run silently with the sub-MIP node limit (and the limits lim when given;
// the time left to the caller's run always holds).  True with x (one value
// per column) when it found a feasible solution.
bool solveSubMip(Search& s, const std::vector<double>& lb, const std::vector<double>& ub, std::vector<double>& x,
                 const SubMipLimits* lim = nullptr);

}  // namespace vnt::mip
