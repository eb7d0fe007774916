// Inside the MIP subsystem: the working copy of a MIP, the open-node store,
// the node log and the branch-and-bound search that ties them together.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "env/env.h"
#include "mip/mip.h"
#include "mip/nodefile.h"
#include "model/attachments.h"
#include "model/modeldata.h"
#include "model/problem.h"
#include "simplex/lp_engine.h"

namespace vnt::presolve {
struct Presolved;
}
namespace vnt::network {
struct NodeNetwork;
}

namespace vnt::mip {

// Numerical constants of the search, in one place.
namespace tol {
inline constexpr double kInf = 1e20;          // |bound| >= this is infinite
inline constexpr double kNone = 1e75;         // no incumbent / no bound
inline constexpr double kGapAbsFactor = 1.0000000000001;
inline constexpr double kIndicatorMargin = 10.0;  // reversed indicator rows are violated by this many feasibility tolerances
inline constexpr double kCheckSlack = 10.0;   // incumbent check allows this many feasibility tolerances on scaled data
inline constexpr double kPseudoEps = 1e-6;    // product score floor
inline constexpr double kObjStepTol = 1e-6;   // integral objective step: pruning slack
inline constexpr int kReliability = 4;        // pseudo-cost observations that make a column reliable
inline constexpr int kMaxTreeThreads = 64;    // threads of a parallel tree search
inline constexpr long long kStrongBudgetFloor = 20000;  // strong-branching iterations allowed beyond half the search's
}  // namespace tol

// ---------------------------------------------------------------------------
// Parameters of one run.
struct RunParams {
  double mipGap = 1e-4, absGap = 1e-6, intTol = 1e-5, feasTol = 1e-6;
  double upperCutoff = 1e75, lowerCutoff = -1e75;
  long long nodeLimit = 9223372036800000000LL, solLimit = 9223372036800000000LL;
  double treeMemLimit = 1e75;  // megabytes
  int display = 2;
  long long interval = 0;
  int nodeSelect = 1;
  int varSelect = 0;
  int branchDir = 0;
  int strongCand = 10;
  long long strongIt = 0;
  double backtrack = 0.9999;
  int search = 0;
  int threads = 1;
  int parallel = 0;
  int emphasis = 0;
  int auxRootThreads = 0;
  long long bbInterval = 7;
  long long heurFreq = 0;
  double heurEffort = 1.0;
  int diveType = 0;      // 0 automatic, 1 fractional and coefficient, 2 pseudo-cost, 3 guided
  int fpHeur = 0;        // -1 off
  long long rinsFreq = 0;  // -1 off
  int localBranching = 0;  // 1: local branching around each new incumbent
  long long subMipNodes = 500;
  std::string intSolPrefix;
  int startAlg = 0;  // root LP algorithm (1: primal, 3: network simplex, then the dual)
  int subAlg = 0;    // node LP algorithm (1: primal, 3: network simplex, then the dual)
  // Start conditions of solution polishing.
  double polishAbsGap = 0.0, polishRelGap = 0.0, polishTime = 1e75, polishDetTime = 1e75;
  long long polishNodes = 9223372036800000000LL, polishSols = 9223372036800000000LL;
  double timeLimit = 1e75, detTimeLimit = 1e75;
};
void readRunParams(Env& env, RunParams& rp);
void readHeuristicParams(Env& env, RunParams& rp);  // heur.cpp

// ---------------------------------------------------------------------------
// Gap rules (internal minimization form).
bool gapClosed(double incumbent, double bound, double absGap, double relGap);
// Relative gap in the user's sense s (0 when tiny).
double relativeGap(double incumbentUser, double boundUser, int sense);

// ---------------------------------------------------------------------------
// Working copy: the original model plus the rows and columns that model the
// piecewise-linear constraints, with the restriction records the branching
// works on.  Variables are numbered as in the LP engine: columns 0..n-1, then
// rows n..n+m-1 (a row's "bounds" are its activity limits).

enum ColKind : char { kCont = 'C', kInt = 'I', kSemiCont = 'S', kSemiInt = 'N' };

struct SetRecord {        // SOS1 / SOS2 (also the SOS2 of a piecewise-linear constraint)
  char type = '1';
  std::vector<int> cols;  // in weight order
  std::vector<double> weight;
  std::vector<char> pairOk;  // SOS2: cols[k], cols[k+1] may be nonzero together
};

struct IndicatorRecord {
  int z = 0;                 // indicator column
  double active = 1.0;       // value that enforces the constraint
  int row = -1;              // working row of the constraint (free while not enforced)
  double lo = -tol::kInf, up = tol::kInf;  // its limits when enforced
  // Reversed direction: when z takes the other value, the constraint must
  // fail; rows revA (and revB for an equality: one of the two) then hold.
  int revA = -1, revB = -1;
  double revAlo = -tol::kInf, revAup = tol::kInf, revBlo = -tol::kInf, revBup = tol::kInf;
};

struct Working {
  int n0 = 0, m0 = 0;          // original columns and rows
  int n = 0, m = 0;            // working columns and rows
  int sense = 1;
  double offset = 0.0;
  model::ModelData lp;         // working LP (minimization data as given, ctype cleared)
  std::vector<char> kind;      // per working column
  std::vector<double> semiLo, semiUp;  // semi-continuous part [l,u] of S/N columns
  std::vector<double> lo, up;  // global bounds of all n+m variables (rows: activity limits)
  std::vector<SetRecord> sets;
  std::vector<IndicatorRecord> inds;
  std::vector<std::vector<int>> indOfCol;  // indicator records per column (only z columns)
  double objStep = 0.0;        // objective values are multiples of this (0: unknown)
  int numIntegers = 0;
};

// Build the working copy.  Returns 0 or a status code.
int buildWorking(const model::ModelData& md, const RunParams& rp, Working& w);

// ---------------------------------------------------------------------------
// Node store.

struct BoundChange {
  int k;          // variable (column, or n + row)
  double lo, up;  // new bounds
};

struct Path {
  std::shared_ptr<const Path> parent;
  std::vector<BoundChange> changes;
};

using Basis = std::vector<uint8_t>;  // engine status codes of the n + m variables

struct Node {
  double bound = -tol::kNone;    // internal minimization form
  double estimate = 0.0;
  long long seq = -1;            // creation number
  long long id = 0, parentId = -1;
  int depth = 0;
  int branchCol = -1;            // original column branched on (-1: not a column)
  char dir = ' ';                // 'U', 'D' or ' '
  char branchKind = 'X';         // 'V' variable, 'S' set, 'X' other
  // Pseudo-cost bookkeeping of the branch that made the node.
  int pcCol = -1;
  double pcDist = 0.0;
  double parentObj = 0.0;
  std::shared_ptr<const Path> path;
  std::shared_ptr<const Basis> basis;
  int heapPos[2] = {-1, -1};
  size_t bytes() const;
};

// Open nodes with two indexed heaps: by node bound, and by the key of the
// node-selection rule.
class NodeStore {
 public:
  void setRule(int rule);
  int rule() const { return rule_; }
  void insert(Node&& nd);
  bool empty() const { return count_ == 0 && files_.empty() && releasedNodes_ == 0; }
  long long size() const { return count_ + files_.nodes() + releasedNodes_; }
  double bestBound() const;  // +kNone when empty (nodes in files included)
  // Next node by the selection rule, with the checks against the incumbent:
  // a node whose bound the gap test or the cutoff rules out gives way to the
  // best-bound node.
  Node selectNode(double incumbent, double cutoff, double absGap, double relGap, long long bbInterval);
  Node takeBest();
  size_t memory() const { return bytes_; }
  void clear();
  long long selections() const { return selections_; }

  // Node files: the settings of a run (mode, work memory in megabytes, work
  // directory), and the move of the worse half of the nodes in memory to a
  // file when memory use passes the work memory.  spillIfNeeded returns 0 or
  // the node-file error; fileError() is the error of a block read back.
  void configureFiles(Env& env, int mode, double workMemMB, const std::string& workDir, int display);
  int spillIfNeeded();
  int fileError() const { return fileError_; }
  // A search that is over removes its node files; their nodes still count
  // in size() and bestBound() (the final gap) until clear().
  void releaseFiles();
  const NodeFiles& files() const { return files_; }

 private:
  void readBackIfBetter();
  static void encode(const Node& nd, std::string& out);
  static bool decode(const std::string& in, size_t& pos, Node& nd);
  double key(const Node& nd) const;
  bool less(int h, int a, int b) const;
  void heapPush(int h, int slot);
  void heapRemove(int h, int pos);
  void siftUp(int h, int pos);
  void siftDown(int h, int pos);
  Node removeSlot(int slot, bool selection = true);

  std::vector<Node> slots_;
  std::vector<int> free_;
  std::vector<int> heap_[2];     // 0: bound, 1: selection key
  std::vector<double> keys_[2];  // per slot
  long long count_ = 0;
  long long selections_ = 0;
  int rule_ = 1;
  size_t bytes_ = 0;
  NodeFiles files_;
  double workMemBytes_ = 1e75;
  int fileError_ = 0;
  double releasedBound_ = tol::kNone;
  long long releasedNodes_ = 0;
};

// ---------------------------------------------------------------------------
// Node log.

struct LogEntry {
  long long nodes = 0, left = 0;
  int kind = 0;  // 0 node, 1 infeasible, 2 cutoff, 3 LP not optimal
  int lpStatus = 0;
  double objective = tol::kNone;
  long long iinf = -1;
  double bestInteger = tol::kNone;  // user sense
  double bestBound = tol::kNone;    // user sense
  long long iterations = 0;
  int cutKind = -3;
  long long cutCount = 0;
  bool newIncumbent = false;
  bool heuristic = false;
  bool nodeEntry = false;
  int sense = 1;
  bool hasBranch = false;
  long long nodeId = 0, parentId = 0;
  int depth = 0;
  std::string branchName;  // empty when not a column
  char branchKind = 'X';
  char dir = ' ';
};

class NodeLog {
 public:
  void start(Env& env, const RunParams& rp, const model::Problem* p);
  void entry(const LogEntry& e);
  void printHeader();
  // Elapsed time reference of the run (seconds, ticks).
  double startTime = 0.0, startTicks = 0.0;
  std::function<double()> treeMB;
  const NodeFiles* nodeFiles = nullptr;  // for the node-file size line
  // Writes the incumbent to the named solution file; false on failure.
  std::function<bool(const std::string&)> writeIncumbent;

 private:
  bool due(const LogEntry& e);
  void lines(const LogEntry& e);
  Env* env_ = nullptr;
  int display_ = 2;
  long long interval_ = 0;
  bool traditional_ = false;
  bool header_ = false;
  long long nodeEntries_ = 0;
  long long nodeLines_ = 0;
  uint64_t lastWork_ = 0;
  bool anyNodeLine_ = false;
  long long incumbentFiles_ = 0;
  std::string prefix_;
};

// Formatting of one table line (without the branching part's header); used
// by the log and by tests.
std::string formatLogLine(const LogEntry& e, bool traditional);

// ---------------------------------------------------------------------------
// The search record kept on the problem.

enum class Phase { kFresh, kSearching, kDone };

struct Cut;        // mip/cuts.h
struct NodeProp;   // mip/nodeprop.cpp
struct Conflicts;  // mip/cuts.h
struct NodeCutState;  // mip/cuts.h
struct SepInput;   // mip/cuts.h
class SolutionPool;  // mip/pool.h

class Search final : public model::SolverState {
 public:
  bool onChange(model::Problem&, const model::ChangeEvent& ev) override;

  // One call of the optimizer: a new search or the continuation of a
  // stopped one.
  int run(Env& env, model::Problem& p);

  // Queries (internal minimization form unless said otherwise).
  int status = 0;
  bool hasIncumbent() const { return incumbentObj < tol::kNone; }
  double incumbentObj = tol::kNone;    // internal form
  std::vector<double> incumbentX;      // columns of the model the search solves (the presolved one)
  std::vector<double> incumbentOrig;   // columns of the model as given
  long long nodeCount = 0;
  long long nodesLeft() const { return store.size() + (pending ? 1 : 0); }
  long long mipIterations = 0;
  double cutoff = tol::kNone;          // internal form
  double bestBound() const;            // internal form
  int sense = 1;
  Phase phase = Phase::kFresh;
  bool numericalTrouble = false;

  // Incumbent entry: every new solution, whatever found it, goes through
  // here.  x holds the values of the columns of the model the search solves
  // (searchModel(): the presolved model when presolve reduced it, else the
  // model as given).  The solution is mapped back to the model as given and
  // checked there; then the incumbent, the cutoff, the solution count and
  // the node log are updated.  Returns true when accepted as the new
  // incumbent.
  bool offerSolution(const double* x, bool heuristic, const char* source);
  // The same for a solution given on the columns of the model as given (MIP
  // starts, solution files, the pool): checked there, then mapped to the
  // search's columns.
  bool offerOriginal(const double* x, bool heuristic, const char* source);
  // The LP of the current node with the integer columns fixed at the values
  // xi (one per search column): true with x (the search's columns) when it
  // solved to optimality.  The node's bounds and basis are restored.
  bool fixedIntegerLp(const double* xi, std::vector<double>& x);
  static constexpr long long kFixedLpIterations = 200;
  // The model the search solves: the presolved model, or the model as given.
  const model::ModelData& searchModel() const;
  // Values of the original columns for values of the search's columns, and
  // the reverse (through every presolve stage, restarts included); the
  // search's column of an original column (-1: presolved away).
  void toOriginal(const double* xs, std::vector<double>& xo) const;
  void fromOriginal(const double* xo, double* xs) const;
  int searchColumn(int origCol) const;
  // The solution pool, kept with this record (so a change of the data
  // drops it), and the pool of the current run (null with a capacity of 0);
  // every feasible solution offered above is also offered to it.
  std::shared_ptr<SolutionPool> poolStore;
  SolutionPool* pool = nullptr;
  // MIP starts that gave no solution at the start of the run, tried again
  // after the root LP (mip/starts.h).
  std::vector<model::MipStart> delayedStarts;
  // A sub-MIP of another search (heuristics and start completion): it runs
  // no sub-MIPs of its own.
  bool subMip = false;

 private:
  friend struct SearchInternals;
  // Set-up and phases.
  int begin(Env& env, model::Problem& p);
  int boundPrecheck(Env& env, model::Problem& p);
  int presolveModel(Env& env);
  int prepareSearch(Env& env, model::Problem& p);
  // Root restart (driver.cpp): when the root fixed enough integer columns,
  // the model with those fixings (and the root cuts as rows) is presolved
  // again and the root processed anew.
  bool restartWanted() const;
  bool tryRestart();
  void newRoot();
  bool acceptIncumbent(const double* xs, const double* xo, bool heuristic);
  int solveRoot();
  // Root cut loop (mip/cutloop.cpp): 0 the root LP with cuts is optimal (its
  // point in xsave_), 1 infeasible, 2 cut off, 3 stopped (lastStop_).
  int rootCutLoop();
  void loadUserCuts(const model::ModelData& md, NodeCutState& nc);
  // Probing and the conflict table before the root LP (mip/probe.cpp):
  // 0, or -kStopPresolveInfeasible.
  int probeRoot();
  // Cut rounds at a tree node (mip/cutloop.cpp), after its LP is solved:
  // globally valid cuts from the pool and the separators enter the LP, slack
  // ones leave it.  0 (the LP point is refreshed), 1 infeasible, 2 cut off,
  // 3 stopped (lastStop_).
  int nodeCutLoop(Node& nd);
  void fillSepInput(SepInput& in);
  static constexpr int kResolvedWithout = 4;
  int resolveAfterCuts(const std::function<void()>& takeOut);
  void retireCutRow(int i);
  void buildCutRows();
  void rebuildLp(const std::vector<Cut>& add, const std::vector<char>& drop);
  void runHeuristics(bool root);
  int branchAndBound();
  // Parallel tree search (mip/parallel.cpp): rounds in which each worker
  // (a copy of this search with its own LP engine and node bounds) takes
  // one node from the store and plunges below it; what the workers did is
  // merged in worker order.  Returns kStopSerial when no worker could be
  // set up (the caller goes on alone).
  static constexpr int kStopSerial = -1;
  int parallelBranchAndBound();
  struct WorkerLog;
  std::unique_ptr<Search> makeWorker(WorkerLog& out);
  void syncWorker(Search& wk, double outside) const;
  void workerTask(Node nd, long long maxNodes);
  bool workerAccept(const double* xs, const double* xo, bool heuristic, double obj);
  void mergeWorker(Search& wk, int* stop);
  void noteNode(const Node& nd, int kind, double obj, long long iinf, bool newInc, bool heur, int lpst);
  void notePseudo(int j, char dir, double dist, double gain);
  int finish(int stopReason);
  void settingsReport();
  void finalReport();

  // Node processing.
  enum class NodeResult { kBranched, kPruned, kInfeasible, kIntegral, kStopped, kFailed, kUnbounded, kRestart };
  NodeResult processNode(Node& nd, Node* next, bool* haveNext);
  void moveTo(const Node& nd);
  void applyChange(int k, double lo, double up);
  simplex::LpStatus solveLp(long long iterLimit = -1);
  // Algorithm 3 for the root / node LPs (subalg.cpp): the network part is
  // found once per working model; a node's first LP then starts from the
  // basis of its network solved under the node's bounds.
  void prepareNetwork(Env& env);
  void networkStart(bool root);
  simplex::LpStatus solveNodeLp(bool root);  // a node's first LP by the node algorithm
  double lpObjective() const;  // internal form
  void snapshotBasis(Basis& b);
  void installBasis(const Basis& b);
  void rememberWeights();
  long long countFractional();
  bool pickBranch(const Node& nd, double z, std::vector<BoundChange>& down, std::vector<BoundChange>& up,
                  int* col, double* frac, char* kind, bool* stopped);
  int chooseVariable(const Node& nd, double z, bool* stopped, double* downBound, double* upBound);
  bool pickRestrictionBranch(std::vector<BoundChange>& down, std::vector<BoundChange>& up, int* col, char* kind);
  bool restrictionBeatsColumn(double z, std::vector<BoundChange>& down, std::vector<BoundChange>& up, int* col,
                              char* kind, bool* stopped);
  double sideObjective(const std::vector<BoundChange>& ch, double z, long long lim, bool* stopped);
  bool strongBranch(int j, double z, double* downObj, double* upObj, int* downSt, int* upSt, bool* stopped);
  void addImplied(std::vector<BoundChange>& ch) const;
  // Bound propagation at a node (nodeprop.cpp): false when the node is empty.
  void setupNodeProp();
  bool propagateNode(Node& nd, const std::vector<BoundChange>& seed);
  bool intersect(std::vector<BoundChange>& ch) const;
  void updatePseudo(int j, char dir, double dist, double gain);
  void noteAverages();
  double pseudoScore(int j, double f) const;
  double rowAct(int row) const { return rowActivity_[row]; }
  void logNode(const Node& nd, int kind, double obj, long long iinf, bool newInc, bool heur, int lpst = 0);
  int pollStop();
  int statusFor(int stopReason) const;
  bool polishingStarts(int stopReason);
  void enterPolishing();
  bool tryRounding();
  void storeResult(model::Problem& p);
  bool writeIncumbentFile(const std::string& name);

  // Primal heuristics and reduced-cost fixing (heur.cpp).
  enum DiveRule { kDiveFractional, kDiveCoefficient, kDivePseudo, kDiveGuided };
  void heuristics(bool root);
  void earlyHeuristics();  // on the first root LP solution, before the cut loop
  struct HeurDeadlineGuard;
  bool dive(DiveRule rule, long long iterBudget);
  bool lockRounding(const double* x);
  bool feasibilityPump(long long iterBudget);
  // Fix-and-propagate (heur_fixprop.cpp) and the sub-MIP heuristics
  // (heur_rins.cpp).
  bool fixAndPropagate(double workLimit, bool allowRepair);
  bool rins();
  bool rens();
  bool rinsDue(bool root);
  bool localBranch();  // heur_local.cpp
  // Shifts of the incumbent's integer columns in their improving direction
  // (heur_oneopt.cpp): true when the shifted point became the incumbent.
  bool shiftImprove();
  bool runSubMip(const std::vector<char>& fix, const std::vector<double>& val, const char* source);
  // An unbounded relaxation without an incumbent: look for a feasible point
  // (true when the search then has one).
  bool findPointOfUnboundedModel(bool workingBuilt);
  double subMipAllowance() const;
  void computeLocks();
  void reducedCostFixing(Node& nd, bool root);
  void globalReducedCostFixing();

 public:
  // Stop reasons of the loop besides the LP statuses 11, 13, 25.
  static constexpr int kStopTreeEmpty = 1000, kStopGap = 1001, kStopNodes = 1002, kStopSolutions = 1003,
                       kStopMemory = 1004, kStopUnbounded = 1005, kStopError = 1006, kStopPrecheck = 1007,
                       kStopPresolveInfeasible = 1008, kStopPresolveInfOrUnbd = 1009;

  // State kept between calls (the tree survives a limit stop).
  Env* env_ = nullptr;
  RunParams rp;
  model::ModelData orig;   // the model as given
  // Presolve of the run (null when off or when it reduced nothing): the
  // search solves pre_->reduced; solutions are mapped back with it.
  std::shared_ptr<presolve::Presolved> pre_;
  // Presolves of the restarts, each on the previous stage's model (the
  // search solves the last one's reduced model).
  std::vector<std::shared_ptr<presolve::Presolved>> repre_;
  int restarts_ = 0;
  long long primalNodeLps_ = 0;  // node LPs the primal simplex solved
  int fixedAtRootStart_ = 0;      // integer columns fixed before the root was processed
  bool restartSettled_ = false;   // the restart's presolve ended the search
  bool unboundedModel_ = false;   // relaxation unbounded: no finite bound
  int restartError_ = 0;          // error code of a failed restart
  long long cutsKept_[30] = {};   // cuts that became model rows at a restart
  model::Problem* prob_ = nullptr;  // the problem of the running call
  long long rejectedNodeSolutions_ = 0;
  long long slackSplits_ = 0;        // integral-looking nodes split because their point held only by slack
  bool heldBySlack_ = false;
  bool allowSlack_ = false;
  double polishedObj_ = 0.0;         // objective of the last offered point after its continuous part moved (-inf: none)           // take a slack-only point (nothing left to split on)          // the last offered point held only by the integrality slack
  bool polishing_ = false;  // the search is in its polishing phase
  int fileError_ = 0;       // node-file error that ended the run
  // Branching priorities per working column from the problem's priority
  // order (empty: none or switched off) and their preferred directions.
  std::vector<int> prio_;
  std::vector<signed char> prioDir_;  // node LP solutions that failed the check on the model as given
  Working w;
  std::unique_ptr<simplex::LpEngine> engine;
  NodeStore store;
  std::unique_ptr<Node> pending;  // node taken but not finished (a stop inside its LP)
  const Node* inProcess_ = nullptr;  // the node processNode works on
  NodeLog log;
  long long solutions = 0;   // improving solutions found
  // Parallel search: the record a worker writes (null in the main search),
  // the best bound of the open nodes no worker holds (a worker's plunge
  // test) and of the nodes the workers hold during a round (best bound),
  // the thread count of branch and cut and its sync and wait seconds.
  WorkerLog* worker_ = nullptr;
  double outerBound_ = tol::kNone;
  double roundBound_ = tol::kNone;
  int bcThreads_ = 1;
  double syncSeconds_ = 0.0, waitSeconds_ = 0.0;
  long long nextNodeId = 1;
  long long nextSeq = 0;
  double rootBound = -tol::kNone;
  double rootTime = 0.0, rootTicks = 0.0, bcTime = 0.0, bcTicks = 0.0;
  double runStart = 0.0, runStartTicks = 0.0;
  long long strongIterations = 0;
  int lastStop_ = 0;
  long long lastIinf_ = 0;
  double userCutoff = tol::kNone;  // internal form

  // Cuts: counts per family in the LP after the root, the root LP bound
  // before cuts, and the row-wise copy of the working LP with each row's
  // family (-1: a model row, -2: an empty free row whose cut left the LP
  // in the tree, a slot for the next cut) and slack age.
  long long cutsApplied[30] = {};
  double rootLpBound = -tol::kNone;
  std::vector<std::vector<std::pair<int, double>>> cutRows_;
  std::vector<char> rowIntegral_;
  std::vector<int> rowFamily_, rowAge_;
  long long cutNames_ = 0;
  std::shared_ptr<Conflicts> conflicts_;  // clique table and implied bounds of the run
  std::shared_ptr<NodeCutState> nodeCuts_; // cuts at tree nodes (null: off)
  std::shared_ptr<network::NodeNetwork> nodeNet_;  // algorithm 3 (null: not used)
  long long probeFixed_ = 0;              // integer columns probing fixed on the current working model

  // Pseudo-costs per working column (0 down, 1 up) and their averages.
  std::vector<double> pcSum[2];
  std::vector<int> pcCnt[2];
  double pcAvgSum_[2] = {0, 0};
  long long pcAvgCnt_[2] = {0, 0};

  // Current engine bounds and the node they belong to.
  std::vector<double> curLo, curUp;
  std::vector<int> touched;       // variables whose bounds differ from the global ones
  std::vector<uint8_t> isTouched;
  const Path* enginePath = nullptr;  // path of the node whose LP basis the engine holds

  // Scratch, sized once per run.
  std::vector<double> xsave_, rowActivity_, tLo_, tUp_, roundX_, snapX_, origX_;
  std::vector<int> cstat_, rstat_, list_;
  std::vector<const Path*> chain_;
  std::vector<double> weightByVarW_;
  std::vector<uint8_t> basicBefore_;
  Basis sbBasis_;
  struct Cand {
    int j;
    double f, score;
  };
  std::vector<Cand> cands_;
  std::vector<BoundChange> localFix_, chDown_, chUp_, propFound_;
  std::shared_ptr<NodeProp> nodeProp_;
  // Heuristic state (heur.cpp).
  std::vector<int> locks_[2];          // per working column: rows blocking a decrease (0) / an increase (1)
  std::vector<double> rootDj_, rootAt_;  // root reduced costs (internal form) and the bounds they sat on
  double rootZ_ = -tol::kNone;
  double rcCutoff_ = tol::kNone;       // cutoff of the last global reduced-cost fixing
  long long rootLpIterations_ = 0;
  long long heurCalls_ = 0, diveSolutions_ = 0, rcFixed_ = 0;
  long long subMips_ = 0, rinsSolutions_ = 0, localSolutions_ = 0, earlySolutions_ = 0;
  double localBranchedAt_ = tol::kNone;  // incumbent value local branching last started from
  double earlyIncumbentObj_ = tol::kNone;  // incumbent found before the root cut loop
  double subMipTicks_ = 0.0;           // ticks spent in heuristic sub-MIPs this run
  long long rinsNext_ = 0, rinsInterval_ = 0;  // node of the next RINS call in the tree, and the interval
  bool shifting_ = false;              // shiftImprove is offering its point
  long long shiftSolutions_ = 0;
  std::vector<double> shiftX_, shiftAct_;
  std::vector<int> shiftCand_;
  std::vector<double> diveX_, diveRow_, heurX_, polishX_, polishIn_, polishOrig_;
  long long polishedSolutions_ = 0;  // offered points whose continuous part the fixed-integer LP redid
  bool lpFresh_ = true;                // the engine holds the node's solved LP
  double heurDeadline_ = 1e300;        // deterministic ticks at which the running root heuristic stops
  double downBound_ = 0.0, upBound_ = 0.0;
  double chosenScore_ = 0.0;  // score of the column chooseVariable picked (0: not scored)
  std::vector<BoundChange> sideDown_, sideUp_, sideOld_;
};

// The search record of a problem (null when none).
Search* findSearch(const model::Problem& p);

}  // namespace vnt::mip
