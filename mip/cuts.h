// Cutting planes of the MIP search: the cut record, the separators and the
// numerical-safety filter every cut passes before it may enter the LP.
//
// Every cut is globally valid: separators read only the working rows, the
// global bounds and the integrality of the columns (never node bounds).
#pragma once

#include <functional>
#include <vector>

#include "mip/search.h"

namespace vnt::mip {

// Cut families (index = cut kind of a node-log entry).
enum CutFamily : int {
  kFamCovers = 0,
  kFamGub = 1,
  kFamFlow = 2,
  kFamCliques = 3,
  kFamFract = 4,
  kFamMir = 5,
  kFamPaths = 6,
  kFamDisj = 7,
  kFamImplied = 8,
  kFamZeroHalf = 9,
  kFamMcf = 10,
  kFamLiftProj = 14,
  kFamUser = 15,
  kNumFamilies = 30
};

// Numerical constants of the cut loop, in one place.
namespace cuttol {
inline constexpr double kMinFrac = 0.005;        // Gomory: fractionality of the basic value
inline constexpr double kMaxAbsBasic = 1e7;      // Gomory: |basic value| above this gives no cut
inline constexpr double kTinyAlpha = 1e-12;      // tableau entries below this are roundoff
inline constexpr double kTinyRel = 1e-6;         // cut coefficients below this share of the largest are relaxed away
inline constexpr double kMaxDynamism = 1e6;      // largest / smallest coefficient after relaxing
inline constexpr double kRhsSafety = 1e-9;       // relative loosening of every right-hand side
inline constexpr double kMinEfficacy = 1e-5;     // violation / Euclidean norm
inline constexpr double kMinViolation = 1e-6;    // relative violation of a cut at the LP point
inline constexpr double kMaxParallel = 0.999;    // cosine above which a cut is a near copy of one taken
inline constexpr double kStallRel = 1e-6;        // bound gain per round that counts as progress
inline constexpr int kStallRounds = 3;           // rounds without progress that end the loop
inline constexpr int kTailRounds = 3;            // tailing off: the bound gain of the last rounds
inline constexpr double kTailShare = 0.01;      //   below this share of the gain since the LP bound ends the loop
inline constexpr int kAutoRounds = 20;           // rounds at CutPasses 0
inline constexpr int kSlackAge = 2;              // rounds a cut may stay slack before it is purged
inline constexpr double kCutNnzShare = 4.0;      // nonzeros of all cuts in the LP: at most this many times the model's
inline constexpr double kCutNnzFloor = 1e5;      //   (or this many on small models)
inline constexpr double kParallelWork = 3e7;     // nonzeros the parallelism filter may visit per round
inline constexpr double kProbeTol = 1e-6;        // probing: feasibility slack of rows and bounds
inline constexpr double kProbeIntRound = 1e-6;   // probing: slack before an integer bound is rounded
inline constexpr double kImpliedMinGain = 1e-3;  // an implied bound must beat the global one by this share
inline constexpr double kProbeWorkPerNnz = 40.0; // probing budget: row-entry visits per model nonzero
inline constexpr double kProbeWorkFloor = 5e6;   //   (at least this many)
inline constexpr size_t kMaxProbeCliques = 200000;  // cliques of two from probing
inline constexpr size_t kMaxImplied = 100000;       // implied bounds kept
inline constexpr double kCliqueEps = 1e-6;       // row cliques: two items must exceed the capacity by this share
inline constexpr int kCliqueSeeds = 300;         // clique separation: seeds per round
inline constexpr double kCliqueWork = 2e7;       // clique separation: literal visits per round
// Cuts at tree nodes.
inline constexpr int kNodeSlackAge = 12;         // separating nodes a cut may stay slack before it leaves the LP
inline constexpr int kPoolMaxAge = 60;           // pool checks without violation before a pooled cut is dropped
inline constexpr size_t kPoolCap = 4000;         // cuts kept in the pool
inline constexpr int kNodeGomoryCand = 20;       // Gomory rows tried per node round
inline constexpr int kNodeMirStarts = 40;        // MIR start rows per node round
inline constexpr int kNodeMirAgg = 2;            // MIR aggregation depth at nodes (at most)
inline constexpr int kNodeFlowRows = 50;         // flow cover rows per node round
inline constexpr double kNodeGain = 1e-6;        // relative bound gain a node round must make to continue
inline constexpr double kUserViolation = 1e-5;   // relative violation that brings a user cut into the LP
}  // namespace cuttol

// A cut  sum val[k] x[idx[k]] <= rhs  over working columns.
struct Cut {
  std::vector<int> idx;
  std::vector<double> val;
  double rhs = 0.0;
  int family = kFamFract;
  double efficacy = 0.0;
  bool fromPool = false;  // taken back from the cut pool (counted when first applied)
  int user = -1;          // a caller's user cut: its index in NodeCutState::user
};

// Cuts of the tree: globally valid cuts that left the LP (slack for too
// long) wait in the pool and come back at a node whose LP point violates
// them; the settings say at which nodes the separators run.
struct NodeCutState {
  int sepDepth = 0;        // separators run at nodes up to this depth
  int sepEvery = 0;        // ... and at every depth that is a multiple of this (0: never)
  int rounds = 1;          // rounds per node
  bool gomory = false;     // Gomory rows of the node tableau
  bool rootPool = false;   // cuts purged by the root loop enter the pool
  int firstTreeRow = 0;    // rows from here on were added in the tree (only they leave it again)
  // Column bounds the node separators work with: the global bounds at the
  // end of the root cut loop, before any fixing by reduced costs, so that a
  // cut of the tree holds at every feasible point (not only at points better
  // than the incumbent).
  std::vector<double> colLo, colUp;
  std::vector<double> sepLo, sepUp;  // scratch: colLo/colUp followed by the row limits
  std::vector<Cut> pool;
  std::vector<int> poolAge;
  // The caller's user cuts (an equality gives two): never aged or dropped;
  // one violated by the LP point enters the LP (a cut already in the LP
  // holds at its point), and leaves it like any other cut row.
  std::vector<Cut> user;
  std::vector<char> userApplied;  // entered the LP at least once (the summary's count)
  long long nodesSeparated = 0, roundsRun = 0, added = 0, fromPool = 0, retired = 0;
  // Puts a cut in the pool (the oldest entries leave when it is full).
  void keep(Cut c);
};

// Conflict information on binary columns: cliques of literals (at most one
// of them is true) from set-packing-like rows and from probing, and implied
// bounds found by probing.  A literal is 2j+1 for x_j = 1 and 2j for x_j = 0.
struct ImpliedBound {
  int bin = 0;       // binary column
  int val = 0;       // its value that implies the bound
  int col = 0;       // column bounded
  bool upper = true; // x_col <= bound (else >=)
  double bound = 0.0;
};

struct Conflicts {
  int n = 0;                                // working columns
  std::vector<std::vector<int>> cliques;    // each sorted, at least two literals
  std::vector<std::vector<int>> litCliques; // per literal (2n): the cliques holding it
  std::vector<ImpliedBound> implied;
  long long members = 0;                    // literals over all cliques
  void reset(int cols);
  // Adds a clique (literals in any order; duplicates of a column rejected).
  void add(std::vector<int> lits);
  bool empty() const { return cliques.empty(); }
};

// Limits and counts of one probing run.
struct ProbeStats {
  long long fixed = 0, tightened = 0;  // columns fixed, other bounds tightened
  long long probed = 0, candidates = 0;
  bool infeasible = false;
  bool finished = true;                // every candidate probed within the limits
  double work = 0.0;                   // row-entry visits spent
};

// Probing on the binary columns of the working model: each binary is set to
// 0 and to 1 in turn and the row activities propagate bounds.  A side that
// is infeasible fixes the binary to the other; bounds implied by both sides
// become global; one side's implications on other binaries become cliques
// of two, on other columns implied bounds.  Row cliques of the model are put
// in the table first.  New global bounds are written to w.lo/w.up (and the
// column bounds of w.lp).  `work` is the budget in row-entry visits; `stop`
// ends probing early (limits).
ProbeStats probeBinaries(Working& w, const std::vector<std::vector<std::pair<int, double>>>& rows, double work,
                         const std::function<bool()>& stop, Conflicts& out);
// Cliques of the rows alone (the first part of probeBinaries).
void rowCliques(const Working& w, const std::vector<std::vector<std::pair<int, double>>>& rows, Conflicts& out);

// What a separator sees: the working LP row-wise, global bounds of columns
// and rows, column kinds and the LP point.
struct SepInput {
  int n = 0, m = 0;                      // columns, rows (rows include the cuts in the LP)
  const std::vector<char>* kind = nullptr;
  const double* lo = nullptr;            // n + m global bounds (rows: activity limits)
  const double* up = nullptr;
  const std::vector<std::vector<std::pair<int, double>>>* rows = nullptr;  // row-wise copy
  const std::vector<char>* rowIntegral = nullptr;  // activity of the row is integral on integer points
  const double* x = nullptr;             // LP point (n)
  const double* act = nullptr;           // row activities (m)
  double intTol = 1e-5;
  const Conflicts* conflicts = nullptr;  // clique table and implied bounds (may be null)
  std::function<bool()> stop;            // true when a limit ends the separation
};

// Variable bound of a continuous column: x <= c0 + c1 y (upper) or
// x >= c0 + c1 y (lower), y binary; y < 0: none.
struct VarBound {
  int y = -1;
  double c0 = 0.0, c1 = 0.0;
};
// Variable bounds read from the two-term rows of the LP (one per column and
// side, the tightest at y = 1).
void findVarBounds(const SepInput& in, std::vector<VarBound>& vub, std::vector<VarBound>& vlb);

// Separators: each appends candidate cuts (already through the safety
// filter, violated at the LP point) to out.
// Gomory mixed-integer cuts from the rows of the optimal tableau whose basic
// variable is a fractional integer column (up to maxCand rows).
void separateGomory(const SepInput& in, simplex::LpEngine& engine, int maxCand, std::vector<Cut>& out);
// Lifted (extended) knapsack covers of rows with binary columns.
void separateCovers(const SepInput& in, std::vector<Cut>& out);
// Complemented mixed-integer rounding cuts of rows aggregated with up to
// maxAgg further rows (mip/mir.cpp), starting from at most maxStarts rows
// (0: the default number).
void separateMir(const SepInput& in, int maxAgg, std::vector<Cut>& out, int maxStarts = 0);

// Lifted flow cover cuts of single-node flow relaxations of the rows
// (mip/cuts_flow.cpp); `maxRows` rows at most.
void separateFlowCovers(const SepInput& in, std::vector<Cut>& out, int maxRows);

// Zero-half cuts of the rows with integer data (mip/cuts_zerohalf.cpp):
// sets of rows found by Gaussian elimination over GF(2); level 1..2 sets the
// rows kept and the work spent (`node`: the small budget of a tree node).
// The search runs them in the root rounds from switch 1 on and at the nodes
// at 2; at 0 (automatic) not at all: on our benchmark set they lift the root
// bound of some models but cost more time than they save.
void separateZeroHalf(const SepInput& in, int level, bool node, std::vector<Cut>& out);

// Clique cuts: greedy cliques of large LP weight in the conflict graph
// (a literal's weight is its LP value), lifted by literals of weight 0.
void separateCliques(const SepInput& in, std::vector<Cut>& out);
// Implied-bound cuts from the implied bounds of probing.
void separateImplied(const SepInput& in, std::vector<Cut>& out);

// Appends to out the user cuts that x violates (efficacy set).
void violatedUserCuts(const NodeCutState& nc, const double* x, std::vector<Cut>& out);

// Takes a cut given densely over the columns (dense . x <= rhs, nonzeros
// listed in nzList; both are cleared), makes it safe and appends it to out
// when it is violated at the LP point.
void offerCut(const SepInput& in, std::vector<double>& dense, std::vector<int>& nzList, double rhs, int family,
              std::vector<Cut>& out);

// The numerical-safety filter: removes tiny coefficients by relaxing the
// right-hand side with the column bounds, rejects cuts of too large
// dynamism or with an unbounded relaxation, loosens the right-hand side by a
// safety margin and normalizes.  Returns false when the cut is rejected.
bool makeSafe(Cut& c, const double* lo, const double* up);
// Violation of the cut at x (positive when x violates it) and efficacy.
double cutViolation(const Cut& c, const double* x);
double cutEfficacy(const Cut& c, const double* x);

// Ranks candidate cuts by efficacy and takes them in that order while
// `allow` accepts them and they are not near copies of a cut already taken
// (cosine above cuttol::kMaxParallel); at most `limit`.  `scratch` is a
// zeroed dense array over the columns (left zeroed).
void pickCuts(std::vector<Cut>& cand, std::vector<Cut>& take, size_t limit, std::vector<double>& scratch,
              const std::function<bool(const Cut&)>& allow);

// Test hook: when set, every cut that passed the safety filter at the root
// is shown to it (with the working column count).
extern std::function<void(const Cut&)> gCutObserver;
// Test hook: shown the working model's bounds and the conflict table right
// after probing.
extern std::function<void(const Working&, const Conflicts&)> gProbeObserver;

}  // namespace vnt::mip
