// The MIP subsystem as the rest of the library sees it: the branch-and-bound
// optimizer behind VNTmipopt.  The search record it leaves on a problem (tree,
// incumbent, counts) lives in the problem's MIP state slot and is dropped by
// any change of the model.
#pragma once

#include "env/env.h"
#include "model/problem.h"

namespace vnt::params {
class ScopedParams;
}

namespace vnt::mip {

// Run (or continue after a limit stop) the MIP search on a problem.  Returns
// a status code; the MIP solution status and the incumbent are stored on the
// problem and answered by the ordinary solution queries.
int optimizeMip(Env& env, model::Problem& p);

// Settings of a MIP run made inside another operation on a scratch problem
// (start completion and repair, populate's enumeration, the analysis tools'
// auxiliary models): no log, no solution pool and no incumbent files, so
// that nothing of the helper run reaches the caller's output or pool; the
// scope restores the caller's settings.
void helperRunSettings(params::ScopedParams& scope);

// Incumbent check against a model, shared with tests and other subsystems
// that produce MIP solutions: rows, bounds, column types (integer, binary,
// semi-continuous, semi-integer), special ordered sets, indicator and
// piecewise-linear constraints.  x holds one value per column.  Returns true
// when every restriction holds within the tolerances; *why (when given)
// names the first violation.
struct SolutionTolerances {
  double feasibility = 1e-6;  // rows, bounds, special constraints
  double integrality = 1e-5;
};
bool solutionSatisfies(const model::ModelData& md, const double* x, const SolutionTolerances& tol,
                       std::string* why = nullptr);

}  // namespace vnt::mip
