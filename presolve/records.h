// Postsolve records of the presolver (internal to presolve/).
//
// Everything here is in minimization form: costs are the model's objective
// coefficients times its sense, duals y and reduced costs d follow
// d = c - A^T y, and a row nonbasic at its lower activity limit has y >= 0.
#pragma once

#include <cstdint>
#include <vector>

#include "env/env.h"
#include "model/modeldata.h"

namespace vnt::presolve {

// Tolerances and constants of presolve, in one place.
namespace tol {
inline constexpr double kInf = 1e20;          // |bound| >= this is infinite
inline constexpr double kZeroCoef = 1e-12;    // a coefficient that cancels below this (relative) is dropped
inline constexpr double kBoundGain = 1e-9;    // relative gain for a tighter bound to be taken
inline constexpr double kActivityEps = 1e-9;  // relative slack of the forcing / redundancy tests
inline constexpr double kInfeasRel = 1e-6;    // violation (relative, times the feasibility tolerance/1e-6) that proves infeasibility
inline constexpr double kIntRound = 1e-6;     // integer bounds are rounded within this
inline constexpr double kParallelRel = 1e-12; // parallel rows: ratio agreement
inline constexpr double kAggPivot = 0.1;      // aggregator: eliminated coefficient at least this share of the other
inline constexpr double kHugeBound = 1e9;     // bounds beyond this are not used to derive others
inline constexpr double kStrengthGain = 1e-3; // MIP bound strengthening: relative gain of a continuous bound
inline constexpr double kCostZero = 1e-9;     // a cost this small relative to the terms that made it is zero
inline constexpr double kCostProof = 1e-7;    // ... and must be this large to prove unboundedness
inline constexpr double kDependent = 1e-10;   // dependency checker: a row reduced below this (relative) is dependent
inline constexpr double kCoefTighten = 1e-9;  // MIP coefficient tightening: least (relative) slack to act on
}  // namespace tol

inline bool isInf(double v) { return v >= tol::kInf || v <= -tol::kInf; }

struct Entry {
  int idx;
  double val;
};

// Basis statuses used by the records (columns; rows by activity).
inline constexpr int kAtLower = 0;
inline constexpr int kBasic = 1;
inline constexpr int kAtUpper = 2;
inline constexpr int kFreeNb = 3;

enum class RecKind : uint8_t {
  kEmptyRow,      // row i removed (empty or redundant): y = 0, basic
  kFixedCol,      // column j removed at value a; saved column entries; status hint in side
  kSingletonRow,  // row i (only column j, coefficient a) turned into bounds of j
  kForcingRow,    // row i at its limit `side` forces its columns (saved row entries)
  kFreeSingleton, // column j (only in row i, coefficient a) substituted out; saved row entries; (beg2, end2)
                  // the column's entries in rows added after presolve
  kDoubleton,     // equation a x_j + b x_k = rhs: x_k substituted; saved entries of column k
  kParallelRow,   // row k (= lambda times row i) merged into row i
  kSubstitution,  // equation i (coefficient a of column j, rhs b) solved for j; saved row i (without j),
                  // then (beg2, end2) column j (without row i); cost of j in c
  kSlackSingleton, // column j (only in row i, coefficient a, row at its limit b on side `side`, cost c) removed,
                   // the row made a range of the rest; saved row entries (without j); (beg2, end2) as for
                   // kFreeSingleton
  kDuplicateCol,  // column k = lambda (a) times column j merged into j (x_j + lambda x_k); bounds of j in b, c,
                  // of k in d, e
  kSubsetRow,     // row k = row i plus terms that cannot be negative while row k's upper limit is at most row i's
                  // lower one: those terms' columns (saved with their entries in row k) were fixed where they
                  // vanish (their own records follow this one)
};

struct Record {
  RecKind kind;
  int8_t side = -1;        // status hint / active side
  uint8_t flags = 0;       // kLbChanged | kUbChanged | kFixedAfter
  int i = -1, j = -1, k = -1;
  double a = 0.0, b = 0.0, c = 0.0, d = 0.0, e = 0.0;
  int64_t beg = 0, end = 0;    // saved entries in the pool
  int64_t beg2 = 0, end2 = 0;  // a second saved list
};

inline constexpr uint8_t kLbChanged = 1;  // the record tightened the lower side
inline constexpr uint8_t kUbChanged = 2;  // the record tightened the upper side
inline constexpr uint8_t kFixedAfter = 4; // the column (or row) had equal sides after the record
inline constexpr uint8_t kCrossed = 8;    // (presolve only) limits that cross beyond the tolerance
// The reduction rests on the objective: it keeps an optimum but not every
// feasible point (dual fixing, empty columns, free singletons of an
// inequality, duplicate columns).  Rows added later or a changed cost of the
// column may void it.
inline constexpr uint8_t kByCost = 16;
// ... and on the costs of other columns as well (dominated columns).
inline constexpr uint8_t kByOtherCosts = 32;

// The postsolve stack and what undoing it needs.
class Postsolve {
 public:
  int n0 = 0, m0 = 0;
  int objsen = 1;
  std::vector<Record> recs;
  std::vector<Entry> pool;
  std::vector<uint8_t> poolFlag;  // forcing rows: 1 for a column with equal bounds
  // The original model (for row activities and the final reduced costs).
  model::ModelData orig;
  std::vector<double> origLo, origUp;  // row activity limits of the original model

  // Working arrays of one undo run (minimization form).
  struct Work {
    std::vector<double> x, y, dj;
    std::vector<int> cstat, rstat;
  };
  // Undo every record (dual parts too when `dual`).
  void undo(Work& w, bool dual) const;
};

}  // namespace vnt::presolve

namespace vnt::presolve {
struct Options;
struct Presolved;
// Row activity limits [lo, up] of a model's rows from their senses,
// right-hand sides and ranges.
void rowLimits(const model::ModelData& md, std::vector<double>& lo, std::vector<double>& up);
// The reductions (presolve.cpp): fills `out` or returns an outcome code;
// prints the diagnostics but not the report.
int presolveModel(Env& env, const model::ModelData& in, const Options& opt, Presolved& out);
}  // namespace vnt::presolve
