// Analysis tools: solution quality measures, sensitivity ranges, the
// conflict refiner and feasibility repair.  This header is what other
// subsystems use: the quality measures of a stored solution (the solution
// files write them) and the conflict record kept on a problem.
#pragma once

#include <vector>

#include "env/env.h"
#include "model/modeldata.h"
#include "model/problem.h"
#include "simplex/lp_options.h"

namespace vnt::simplex {
class LpState;
}

namespace vnt::tools {

// Parameters the tools read.
inline constexpr int kParamOptimalityTol = 1014;
inline constexpr int kParamFeasibilityTol = 1016;
inline constexpr int kParamIterationLimit = 1020;

// Quality measure codes of VNTgetdblquality / VNTgetintquality (the public
// values are in vanto.h).
enum QualityWhat : int {
  kQualMaxPrimalInfeas = 1,
  kQualMaxScaledPrimalInfeas = 2,
  kQualSumPrimalInfeas = 3,
  kQualSumScaledPrimalInfeas = 4,
  kQualMaxDualInfeas = 5,
  kQualMaxScaledDualInfeas = 6,
  kQualSumDualInfeas = 7,
  kQualSumScaledDualInfeas = 8,
  kQualMaxIntInfeas = 9,
  kQualSumIntInfeas = 10,
  kQualMaxPrimalResidual = 11,
  kQualMaxScaledPrimalResidual = 12,
  kQualSumPrimalResidual = 13,
  kQualSumScaledPrimalResidual = 14,
  kQualMaxDualResidual = 15,
  kQualMaxScaledDualResidual = 16,
  kQualSumDualResidual = 17,
  kQualSumScaledDualResidual = 18,
  kQualMaxX = 19,
  kQualMaxScaledX = 20,
  kQualMaxSlack = 21,
  kQualMaxScaledSlack = 22,
  kQualMaxPi = 23,
  kQualMaxScaledPi = 24,
  kQualMaxRedCost = 25,
  kQualMaxScaledRedCost = 26,
  kQualKappa = 27,
};

// One measure: its largest (or summed) value and where the largest entry
// is: column j as j, row i as ncols + i, -1 when nothing contributes.
struct Measure {
  double max = 0.0;
  double sum = 0.0;
  int where = -1;
  void add(double v, int at) {
    if (!(v > 0.0)) return;
    sum += v;
    if (v > max) {
      max = v;
      where = at;
    }
  }
};

// The measures of a solution.  Primal infeasibility: bound violations of
// the columns and row activities beyond their limits.  Dual infeasibility:
// reduced costs and row duals of the wrong sign for where the variable sits
// (needs duals).  Primal residual: |a_i x - (rhs_i - slack_i)|.  Dual
// residual: |c_j - a_j' pi - d_j|.  Integer infeasibility: distance of an
// integer column to the nearest integer.  Magnitudes: largest |x|, |slack|,
// |pi|, |d|.
struct Quality {
  Measure primalInf, dualInf, primalResid, dualResid, intInf;
  Measure xMax, slackMax, piMax, djMax;
  bool hasDual = false;
};

// Measures of the solution stored on the problem, in the caller's units.
// Returns 0, 1217 (no solution) or 1001.
int solutionQuality(Env& env, model::Problem& p, Quality& q);

// The values of one solution of md to measure: x (one per column) is
// needed; slack, the duals (pi with dj) and the basis statuses (cstat with
// rstat) may be null, and their measures are then left out.
struct SolutionValues {
  const double* x = nullptr;
  const double* slack = nullptr;
  const double* pi = nullptr;
  const double* dj = nullptr;
  const int* cstat = nullptr;
  const int* rstat = nullptr;
};
// The measures above of the given values (what solutionQuality reports for
// the stored solution; the solution pool and the solution files use it).
void measureSolution(const model::ModelData& md, const SolutionValues& v, Quality& q);
// The measure of a quality code in q (the unscaled and scaled codes alike):
// its maximum or sum into *value, or with `where` the location of the
// maximum.  1003 for a code that is not a measure of q (kappa) or a sum
// asked for its location; 1232 (LP) or 1017 (mip) for a dual measure
// without duals.
int pickMeasure(const Quality& q, int what, bool mip, double* value, int* where);
// The same measures on the simplex engine's scaled working form; 1258 when
// the problem has no factored basis.
int scaledSolutionQuality(Env& env, model::Problem& p, Quality& q);
// Estimate of the 1-norm condition number of the current basis (scaled
// when the engine scales); 1258 without a factored basis.
int basisKappa(Env& env, model::Problem& p, bool scaled, double* kappa);

// The LP solution record when it holds values for the problem's columns.
const simplex::LpState* storedSolution(const model::Problem& p);

// Options of the analysis tools' own simplex engines: the tolerances, the
// iteration limit, the limit check and the work counter of the environment.
void setEngineOptions(Env& env, simplex::LpOptions& o);

// Row activities a_i x of x (n entries) into ax (m entries).
void rowActivities(const model::ModelData& md, const double* x, double* ax);

// Solves of the tools' auxiliary models (tools/subsolve.cpp).
enum SubKind : int { kSubOptimal, kSubInfeasible, kSubUnbounded, kSubLimit, kSubAborted, kSubError };
struct SubResult {
  int kind = kSubError;
  int stat = 0;          // the optimizer's own status (LP or MIP status code)
  bool hasX = false;     // x holds a point (optimal, or a MIP limit with a solution)
  std::vector<double> x;
  double obj = 0.0;
  long long iterations = 0;
  std::vector<int> cstat, rstat;  // final basis of an LP solve
};
// The time and deterministic limits of the operation, shared by the solves it
// makes.
struct SubBudget {
  explicit SubBudget(Env& env);
  Env& env;
  double seconds, ticks, start, startTicks;
  double secondsLeft() const;
  double ticksLeft() const;
};
// Linear model on a simplex engine (dual, with the primal as fall-back),
// optionally from a basis and with a tighter feasibility tolerance; 0 or 1001.
int solveSubLp(Env& env, const model::ModelData& md, SubResult& r, const std::vector<int>* cstat = nullptr,
               const std::vector<int>* rstat = nullptr, double feasTol = 0.0);
// Model with integer columns or special constraints by the MIP search on a
// scratch problem, silent, within the budget; exactGap asks for a proved
// optimum (no gap tolerance); nodeCap (when positive) caps the nodes of the
// run below the node limit.  Returns 0 or the search's error status.
int solveSubMip(Env& env, const model::ModelData& md, const SubBudget& budget, SubResult& r, bool exactGap,
                long long nodeCap = 0);

}  // namespace vnt::tools
