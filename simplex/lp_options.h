// Options and numerical tolerances of the simplex engine.  Every tolerance and
// numerical constant the engine uses is named here.
#pragma once

#include <cstdint>
#include <functional>

namespace vnt::simplex {

// Fixed numerical constants (not user options).
namespace tol {
inline constexpr double kInfinity = 1e20;        // |bound| >= this is infinite
inline constexpr double kSlopeInfinite = 1e75;   // slope change of an unbounded breakpoint
inline constexpr double kPivotZero = 1e-13;      // pivot entries at or below never enter
inline constexpr double kPivotSmall = 1e-7;      // below this a pivot is suspicious
inline constexpr double kPrimalTolFactor = 0.1;  // working primal tolerance / user's
inline constexpr double kDualTolFactor = 0.01;   // working dual tolerance / user's
inline constexpr double kUnscaledCheck = 0.1;    // final unscaled violations allowed / user's tolerance
inline constexpr double kTightenMin = 1e-3;      // working tolerances are tightened at most this far
inline constexpr double kRatioPivot = 1e-7;      // dual ratio-test candidates need |alpha| above this
inline constexpr double kPrimalRatioPivot = 1e-9;  // primal ratio test: |alpha| below this never blocks
inline constexpr double kRecoveryPivot = 1e-11;  // both ratio tests after an infeasibility proof failed
inline constexpr double kLastResortPivot = 1e-13;  // primal ratio test when a ray fails its check in the caller's data
inline constexpr double kRayCostRel = 1e-12;     // a primal ray must lower the objective by more than this share of sum |c_j d_j|
inline constexpr double kRayZero = 1e-12;        // a ray's move toward a finite bound or row limit below this share of its magnitude counts as none
inline constexpr double kFarkasZero = 1e-12;     // |y'a_k| below this share of sum |y_i a_ik| counts as zero
inline constexpr double kFarkasClean = 1e-9;     // a failed proof is tried again without the row weights below this
inline constexpr int kFarkasCleanSteps = 3;      // share of the largest, then 100 and 10000 times it
inline constexpr double kFarkasMargin = 1e-13;   // the proof's gap must exceed this share of the terms' magnitude
inline constexpr int kFarkasRepairRounds = 6;   // rounds of the certificate repair (the spoiling set grows)
inline constexpr int kFarkasRepairCols = 400;    // largest set of columns the repair projects out
inline constexpr double kFarkasRepairPivot = 1e-24;  // repair's elimination: pivots below this share of the largest diagonal are skipped
inline constexpr int kProofRecoveries = 3;       // attempts to go on after a failed infeasibility proof
inline constexpr double kRefineCondition = 1e6;  // basic values are refined once above this factor condition ratio
inline constexpr double kPivotRelSmall = 1e-9;   // |alpha_rq| relative to max |alpha_r|
inline constexpr double kPivotMismatch = 1e-7;   // row/column pivot disagreement that forces a refactor
inline constexpr double kDropTiny = 1e-14;       // entries below this are dropped from work vectors
inline constexpr double kWeightMin = 1e-10;      // dual weights below this are recomputed
inline constexpr double kWeightZero = 1e-13;     // an exact zero weight is stored as this
inline constexpr double kWeightMax = 1e30;       // dual weights are kept at or below this (above: recomputed)
inline constexpr double kRefusedWeightGrowth = 1e6;  // a row whose pivot was refused on fresh factors: weight times this
inline constexpr double kDevexReset = 1e6;       // devex weight growth that resets the framework
inline constexpr double kPhase1Box = 1000.0;     // bound box of free variables in the dual phase 1 subproblem
inline constexpr double kProgressEps = 1e-10;    // minimum objective progress of the stall monitor
inline constexpr double kScaleMin = 1.0 / 1024.0 / 1024.0 / 1024.0;  // clamp of scale factors
inline constexpr double kScaleMax = 1024.0 * 1024.0 * 1024.0;
inline constexpr double kRowSparseSwitch = 0.10;  // use the row-wise pivot row below this rho density
inline constexpr double kSteepestColumnDensity = 10.0;  // automatic primal pricing: steepest edge up to this many entries per column
inline constexpr double kCrashPivotShare = 0.9;  // crash pivots are at least this share of the column's largest entry
inline constexpr double kFtranSparseHint = 0.05;  // density hint for solves with sparse data
}  // namespace tol

// Termination status of a solve; the values are the LP solution statuses of
// the library so that a driver can store them as they are.
enum class LpStatus : int {
  kUnknown = 0,
  kOptimal = 1,
  kUnbounded = 2,
  kInfeasible = 3,
  kInfeasibleOrUnbounded = 4,
  kOptimalUnscaledInfeas = 5,
  kNonOptimal = 6,
  kIterationLimit = 10,
  kTimeLimit = 11,
  kObjectiveLimit = 12,
  kAborted = 13,
  kDetTimeLimit = 25,
};

// Where the time of a solve went (seconds), filled when LpOptions::profile is
// set: refactorization (with the recomputation of values that follows it),
// solves with the factors, pricing, the pivot row, the ratio test and the
// factor update; the rest of the total is the vector updates of the
// iterations, phase changes and set-up.
struct LpProfile {
  double factor = 0.0;
  double ftran = 0.0;
  double btran = 0.0;
  double pricing = 0.0;
  double pivotRow = 0.0;
  double ratio = 0.0;
  double update = 0.0;
  double total = 0.0;
};

struct LpOptions {
  double feasibilityTol = 1e-6;   // primal feasibility (bound violation) tolerance
  double optimalityTol = 1e-6;    // reduced-cost tolerance
  double markowitzTol = 0.01;     // threshold pivoting of the factorization
  double perturbationConst = 1e-6;
  // Internal minimization form (the caller's objective times its sense, without
  // the constant); the dual simplex stops with kObjectiveLimit above it.
  double objectiveLimit = 1e75;
  int64_t iterationLimit = 9223372036800000000LL;
  int refactorInterval = 0;       // 0 = automatic
  int display = 0;                // 0 off, 1 summary, 2 every iteration
  int logInterval = 0;            // iterations between summary lines (0 = automatic)
  int dualPricing = 0;            // 0/2/5 steepest edge, 1 standard (Dantzig), 4 steepest edge from unit weights
  int primalPricing = 0;          // 0 automatic, 1 devex, 2 steepest edge, 3 steepest edge from slack-basis weights, -1 Dantzig
  bool scale = true;              // geometric scaling plus equilibration
  bool perturb = true;            // allow objective / bound perturbation
  uint64_t randomSeed = 202009243;
  int pollInterval = 64;          // iterations between poll() calls
  int singularityLimit = 10;
  int crash = 1;                  // 0: the primal starts from the slack basis; else from a crash basis      // basis repairs allowed per solve (0: none)
  bool profile = false;           // time the parts of each iteration (LpEngine::profile())

  // Receives complete log lines (including the trailing newline).
  std::function<void(const char*)> log;
  // Returns 0 to continue, else a stop status (11, 13 or 25).
  std::function<int()> poll;
  // Work units are added here (may be null).
  uint64_t* workCounter = nullptr;
};

}  // namespace vnt::simplex
