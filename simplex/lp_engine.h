// The simplex LP engine: a bounded dual simplex (steepest-edge pricing,
// bound-flipping ratio test, cost perturbation, subproblem phase 1) and a
// bounded primal simplex (devex pricing, Harris ratio test, composite phase 1),
// sharing one internal working form of the model.
//
// Internal form.  Variables 0..n-1 are the structural columns, n..n+m-1 the
// logicals: row i reads  a_i x + s_i = 0  with the logical s_i = -a_i x, so a
// row with activity limits [rlo, rup] gives s_i the bounds [-rup, -rlo].  The
// matrix is scaled (row and column factors, powers of two); bounds, costs and
// values are held scaled and in minimization form.  Every query returns
// unscaled values in the caller's objective sense.
//
// Warm starts: the basis, its factorization and the dual steepest-edge weights
// survive between solves.  Changing bounds or costs of existing rows and
// columns (setColBounds / setRowBounds / setObj) keeps all three; the next
// solveDual() after bound changes starts from a dual feasible basis.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "model/modeldata.h"
#include "simplex/factor.h"
#include "simplex/lp_options.h"

namespace vnt::simplex {

// Basis statuses as reported and accepted by getBasis / setBasis.
inline constexpr int kBasisAtLower = 0;
inline constexpr int kBasisBasic = 1;
inline constexpr int kBasisAtUpper = 2;
inline constexpr int kBasisFree = 3;  // free nonbasic (at zero) or superbasic

class LpEngine {
 public:
  LpEngine();
  ~LpEngine();
  LpEngine(const LpEngine&) = delete;
  LpEngine& operator=(const LpEngine&) = delete;

  LpOptions& options() { return opt_; }
  const LpOptions& options() const { return opt_; }

  // Copy the model into the working form (scaling it) and start from the
  // slack basis.  Returns 0, or 1 for an inconsistent model.
  int load(const model::ModelData& md);

  int numRows() const { return m_; }
  int numCols() const { return n_; }

  // Working-data changes of existing rows and columns, in the caller's units
  // and sense.  The basis, its factors and the pricing weights are kept.
  void setColBounds(int j, double lb, double ub);
  // Activity limits of row i (rlo <= a_i x <= rup; +-1e20 for none).  `rhs`
  // is the right-hand side the slack is measured from (getSlack); when NaN it
  // is the finite limit (the lower one of a ranged row).
  void setRowBounds(int i, double rlo, double rup, double rhs = std::numeric_limits<double>::quiet_NaN());
  void setObj(int j, double c);
  // Objective constant (caller's units and sense), reported with objective().
  void setObjOffset(double c) { objOffset_ = c; }
  double colLower(int j) const;
  double colUpper(int j) const;

  LpStatus solveDual();
  LpStatus solvePrimal();
  // True when the last solve stopped because the basis stayed singular after
  // the allowed number of repairs.
  bool basisSingular() const { return singularFailure_; }
  // Evaluate the current basis against the true bounds and costs (factorizing
  // it when needed): true when it is primal feasible but not dual feasible,
  // i.e. the primal simplex has the better start.
  bool startFavoursPrimal();

  LpStatus status() const { return lpStatus_; }
  double objective() const;  // caller's sense, with the objective constant
  int64_t iterations() const { return iterations_; }
  int64_t phase1Iterations() const { return phase1Iterations_; }

  // Solution queries (unscaled, caller's sense).  Arrays hold n (columns) or
  // m (rows) entries.  slack = rhs - a x for each row as the model states it
  // (for a ranged row, rhs is the value given with it).
  void getX(double* x) const;
  void getRowActivity(double* ax) const;
  void getSlack(double* slack) const;
  void getPi(double* pi) const;
  void getDj(double* dj) const;

  // Basis statuses.  For a row, the status describes its activity a_i x:
  // 0 = at its lower limit rlo, 2 = at its upper limit rup, 1 = basic
  // (row of an equality: 0), 3 = free row nonbasic.
  void getBasis(int* cstat, int* rstat) const;
  // Install a basis (same codes).  Returns 0, or 1 when the number of basic
  // variables is not the number of rows (the basis is then not changed).
  int setBasis(const int* cstat, const int* rstat);
  bool hasBasis() const { return true; }

  // Certificates, unscaled.  After status kInfeasible from the dual simplex:
  // a vector y (one per row) with y^T A x bounded away from what the row
  // limits allow.  After kUnbounded: a primal ray (n entries).
  bool getFarkas(std::vector<double>& y) const;
  bool getPrimalRay(std::vector<double>& ray) const;

  // Statistics.
  int64_t refactorizations() const { return refactorCount_; }
  const LpProfile& profile() const { return prof_; }
  const FactorStats& factorStats() const { return factor_.stats(); }

  // ---- Basis access for the exported tableau, start and norm operations
  // (defined in tableau_api.cpp).  Everything is in the working (scaled)
  // form: the basis matrix is  Bs = R B D  with R the row scale factors and
  // D, per basis position, the column's scale factor (structural) or the
  // reciprocal row factor (logical).
  // True when factors of the current basis exist (a solve built them; they
  // are rebuilt here when an update was refused).  False after load() or
  // setBasis() until the next solve.
  bool basisFactorReady();
  const Factor& basisFactor() const { return factor_; }
  int basisHead(int pos) const { return head_[pos]; }
  int basisPosition(int k) const { return pos_[k]; }
  double colScaleFactor(int j) const { return colScale_[j]; }
  double rowScaleFactor(int i) const { return rowScale_[i]; }
  bool isScaled() const;
  const MatrixView& scaledMatrix() const { return view_; }
  // Scaled column k of [A I] into v (v sized m).
  void scaledColumn(int k, WorkVec& v) const { loadColumn(k, v); }
  // Scaled values, reduced costs (minimization form), bounds and costs of all
  // n + m internal variables, and the basis status codes (kBasic ...).
  const std::vector<double>& scaledValues() const { return x_; }
  const std::vector<double>& scaledReducedCosts() const { return dj_; }
  const std::vector<double>& scaledLower() const { return origLower_; }
  const std::vector<double>& scaledUpper() const { return origUpper_; }
  const std::vector<double>& scaledCosts() const { return origCost_; }
  bool variableBasic(int k) const { return status_[k] == kBasic; }
  bool variableAtUpper(int k) const { return status_[k] == kUpper; }
  bool variableAtLower(int k) const { return status_[k] == kLower; }
  // Dual steepest-edge weights, one per basis position; a solve starts from
  // them when they are marked valid.  Devex reference weights, one per
  // internal variable, kept from solve to solve by the primal simplex.
  std::vector<double>& dualWeights() { return dualWeight_; }
  bool dualWeightsValid() const { return weightsValid_; }
  void setDualWeightsValid(bool v) { weightsValid_ = v; }
  std::vector<double>& primalWeights() { return devexWeight_; }

 private:
  enum : uint8_t { kBasic = 0, kLower = 1, kUpper = 2, kZero = 3, kSuper = 4 };

  // --- setup and shared kernels (lp_engine.cpp)
  void scaleModel(const model::ModelData& md);
  void slackBasis();
  // Triangular crash: structurals replace logicals where the basis stays
  // triangular with large pivots (a start for the primal simplex).  Returns
  // the number of columns brought in.
  int crashBasis();
  void placeNonbasic(int j);  // choose a bound for a nonbasic variable
  bool refactor();            // build the factors of head_; fix singularities
  void computePrimal();
  // One step of iterative refinement of the basic values (extended-precision
  // residual, one solve with the current factors).
  void refinePrimal();
  // d = B^-1 r (or B^-T r when transposed) for a residual r computed in
  // extended precision, solved scaled to unit size: the solves drop entries
  // below an absolute threshold, and residuals are tiny by nature.  False
  // (d untouched) when r is zero.
  bool solveResidual(const std::vector<long double>& r, bool transposed, std::vector<double>& d);
  // Primal infeasibilities of the values on fresh factors at the end of a
  // solve; near-singular factors get one refinement step before a count
  // above zero stands.
  int finalPrimalInfeasibilities();
  void computeDual();
  void computeDualFromCosts(const double* c);
  double workingObjective() const;
  void computePivotRow(const WorkVec& rho);
  // Column-wise pivot row over the sliced copy (dense rho).
  void pivotRowByColumns(const double* r);
  void buildSlices();
  void clearPivotRow();
  void loadColumn(int j, WorkVec& v) const;
  void addWork(uint64_t units) {
    if (opt_.workCounter) *opt_.workCounter += units;
  }
  int poll();
  void logLine(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  bool logDue() const;
  void logPivot(bool dual, int phase, double obj, int in, int out, bool outToUpper);
  void logFlip(int j, bool toUpper);
  void logIteration(bool dual, int phase, double value);
  std::string varName(int k) const;
  std::string rowNameOf(int i) const;
  double random01();
  bool isBoxed(int j) const { return lower_[j] > -tol::kInfinity && upper_[j] < tol::kInfinity; }
  bool isFixed(int j) const { return lower_[j] == upper_[j]; }
  // Fixed, or dropped by a singularity repair: never enters the basis.
  bool isFrozen(int j) const { return lower_[j] == upper_[j] || dropped_[j] != 0; }
  void dropVariable(int k);
  void clearDropped();
  // End of a solve with variables dropped by singularity repairs: check their
  // reduced costs, and reinclude them and resume once when one violates.
  LpStatus finishDropped(LpStatus st);
  void restoreBounds();
  void restoreCosts();
  int countDualInfeasibilities(double tolD, double* sum, bool includeBoxed = false) const;
  int countPrimalInfeasibilities(double tolP, double* sum) const;
  void setStatusFromDj(int j);
  void computeTolerances();
  void beginSolve();
  // A variable whose lower bound exceeds its upper bound by more than the
  // feasibility tolerance (in the caller's units), or -1.
  int crossedBound() const;
  // Largest primal and dual infeasibility in the caller's units.
  void unscaledInfeasibility(double* pmax, double* dmax) const;
  // True when the row weights y (scaled, as kept in farkas_) prove the model
  // infeasible in the caller's unscaled data and true bounds: the range of
  // y'[A I] z over the bound box excludes zero by more than the rounding of
  // its evaluation.  When y fails, y with its smallest weights set to zero is
  // tried; y is replaced by the vector that holds.
  bool farkasProves(std::vector<double>& y) const;
  // True when primalRay_ (scaled) stays, in the caller's unscaled data and
  // true bounds, inside every finite bound and row limit it moves toward,
  // up to tol::kRayZero of the magnitudes involved.
  bool rayHolds() const;
  // Parts of that check (certificate.cpp): the sums y'a_k of every column of
  // [A I] in unscaled terms with the magnitude of their terms, the unscaled
  // bounds, whether a term makes the proving side's bound infinite, and
  // whether the proof holds on one side (below: the largest value of g'z is
  // under zero).
  void farkasSums(const std::vector<double>& y, std::vector<long double>& g, std::vector<long double>& gabs) const;
  double unscaledLower(int k) const;
  double unscaledUpper(int k) const;
  bool farkasTermUnbounded(long double g, long double gabs, int k, bool below) const;
  bool farkasHolds(const std::vector<long double>& g, const std::vector<long double>& gabs, bool below) const;
  // Certificate repair for one side: slack weights that spoil the proof are
  // set to zero and the spoiling structural sums are projected out by a
  // least-squares correction of y.  True when the repaired y proves.
  bool repairFarkas(std::vector<double>& y, bool below) const;
  // Before reporting infeasibility: true when farkas_ proves it.  Otherwise
  // the engine prepares to go on (perturbation removed, stricter pivoting in
  // the factorization, smaller pivots allowed in the ratio tests, a tighter
  // dual tolerance) and false is returned; *giveUp is set once the
  // recoveries are used up.
  bool confirmInfeasible(bool* giveUp);
  // Phase 1 duals of the primal simplex (y = B^-T c1 for the current phase 1
  // costs) into farkas_.
  void phase1Farkas();
  // One step of iterative refinement of the primal ray of entering variable
  // q moving in direction dir: w = B^-1 a_q (one entry per basis position)
  // is corrected by B^-1 (a_q - B w), and primalRay_ rebuilt from it.
  void refineRay(int q, double dir, std::vector<double> w);
  // One step of iterative refinement of farkas_ as the solution of
  // B'y = target (one entry per basis position).
  void refineFarkas(const std::vector<double>& target);

  // --- dual simplex (dual.cpp)
  // kStalled: no progress even after perturbation and the anti-cycling rule;
  // the caller hands the basis to the other simplex or gives up.
  enum class LoopResult { kOptimal, kInfeasible, kUnbounded, kLimit, kTrouble, kStalled };
  LpStatus runDual();
  bool dualPhase1();
  LoopResult dualLoop(int phase);
  void initDualWeights();
  double exactDualWeight(int i);
  void reinitSmallDualWeights();
  int chooseLeavingRow() const;
  void rebuildInfeas();
  // Squared bound violation of basis position i (0 when within tolerance).
  void updateInfeas(int i) {
    const int k = head_[i];
    const double v = x_[k];
    double d = 0.0;
    if (v < lower_[k] - tolP_) d = lower_[k] - v;
    else if (v > upper_[k] + tolP_) d = v - upper_[k];
    infeas_[i] = opt_.dualPricing == 1 ? d : d * d;
  }
  int dualRatioTest(int r, double delta, int* nflip);
  void perturbCosts();
  bool flipToDualFeasible(double tolD, bool allowShift);

  // --- primal simplex (primal.cpp)
  LpStatus runPrimal();
  LpStatus unboundedOrDual();
  bool restartFromSlacks(LpStatus st);
  LoopResult primalLoop();
  bool setPhase1Costs();
  void initPrimalWeights();
  void perturbBounds();

  // Model (scaled, internal form).
  int m_ = 0, n_ = 0, nTot_ = 0;
  int objsen_ = 1;
  double objOffset_ = 0.0;
  std::vector<int64_t> colStart_;
  std::vector<int> colIndex_;
  std::vector<double> colValue_;
  std::vector<int64_t> rowStart_;
  std::vector<int> rowIndex_;
  std::vector<double> rowValue_;
  // Sliced copy of the columns for the column-wise pivot row: columns sorted
  // by length are packed kSliceWidth at a time, entry t of lane c of a slice
  // at sliceStart_[s] + t * kSliceWidth + c (short lanes padded with zeros),
  // so the products of one slice run as independent sums without a branch
  // per column.  Columns much longer than the rest of their slice are kept
  // apart in longCols_ and summed one by one.
  static constexpr int kSliceWidth = 8;
  std::vector<int64_t> sliceStart_;  // one past the last slice holds the end
  std::vector<int> sliceCol_;        // column of each lane, -1 for padding lanes
  std::vector<int> sliceIndex_;
  std::vector<double> sliceValue_;
  std::vector<int> longCols_;
  std::vector<double> colScale_, rowScale_;
  std::vector<double> origLower_, origUpper_, origCost_;  // scaled, minimization form
  std::vector<double> rowRhs_;                           // unscaled rhs per row (for slacks)
  std::vector<std::string> colName_, rowName_;
  MatrixView view_;

  LpProfile prof_;

  // Working state.
  std::vector<double> lower_, upper_, cost_;
  std::vector<double> x_, dj_;
  std::vector<uint8_t> status_;
  std::vector<int> head_;  // basic variable of each basis position
  std::vector<int> pos_;   // basis position of a variable, -1 when nonbasic
  std::vector<double> dualWeight_;
  // Rows whose pivot was refused on fresh factors (their weight was raised
  // to keep them out of the pricing until the next refactorization).
  std::vector<uint8_t> refusedRow_;
  std::vector<int> refusedList_;
  std::vector<double> devexWeight_;
  std::vector<uint8_t> devexRef_;
  bool weightsValid_ = false;
  bool factorValid_ = false;
  bool primalValid_ = false;
  bool dualValid_ = false;
  bool boundsPerturbed_ = false;
  bool costsPerturbed_ = false;
  int costShifts_ = 0;
  int perturbCount_ = 0;
  double perturbEps_ = 0.0;
  Factor factor_;
  bool primalSteepest_ = false;      // steepest-edge weights in devexWeight_
  bool primalSteepestInit_ = false;  // initialize them at the next factorization
  int priceSections_ = 1;  // primal partial pricing: sections of the columns
  int priceKeep_ = 1;      // sections with candidates that end a scan
  int priceCursor_ = 0;    // section the next scan starts with
  int refactorLimit_ = 100;
  // Anti-cycling: smallest-index pricing and ratio-test tie-breaking while a
  // stall lasts (primal), and whether this solve already handed its basis
  // from one simplex to the other after a stall.
  bool blandMode_ = false;
  bool stallHandover_ = false;
  // Infeasibility proofs: the ratio-test pivot tolerances in force (lowered
  // after a proof failed) and the recoveries used in this solve.
  double dualRatioPivot_ = tol::kRatioPivot;
  double primalRatioPivot_ = tol::kPrimalRatioPivot;
  int proofRecoveries_ = 0;
  bool proofHandover_ = false;
  bool rayInDoubt_ = false;    // the last primal ray had a tiny entry toward a finite bound
  bool rayHandover_ = false;   // the primal handed a ray in doubt to the dual
  bool rayUnproved_ = false;   // the last primal ray failed rayHolds (or its cost did not descend)
  bool restarted_ = false;     // the solve restarted from the slack basis once
  // Singularity repairs of the current solve; after freeRepairs_ of them the
  // structurals (and logicals) that leave the basis are dropped.
  int repairCount_ = 0;
  int freeRepairs_ = 0;
  bool reincluded_ = false;
  bool singularFailure_ = false;
  std::vector<uint8_t> dropped_;
  std::vector<int> droppedList_;
  int64_t refactorCount_ = 0;

  // Work vectors.
  WorkVec rho_, col_, tau_, flip_, work_;
  std::vector<double> rowAlpha_;  // pivot row over all variables (dense)
  std::vector<int> rowIdx_;       // nonzeros of rowAlpha_
  std::vector<uint8_t> rowMark_;
  int rowNnz_ = 0;
  // Ratio-test scratch.
  std::vector<int> candIdx_;
  std::vector<double> candRatio_, candHarris_, candAlpha_, candRange_;
  std::vector<int> candOrder_;       // candidates sorted by ratio (long flip sequences)
  std::vector<double> candSufHarris_;  // suffix minima of the Harris ratios in that order
  std::vector<int> flipList_;
  std::vector<double> infeas_;      // dual pricing: squared infeasibility per position
  std::vector<double> phase1Cost_;  // primal phase 1 cost of each basis position

  // Tolerances in force.
  double tolP_ = 1e-7, tolD_ = 1e-7;
  double tighterP_ = 1.0, tighterD_ = 1.0;  // factors applied after unscaled violations

  // Results.
  LpOptions opt_;
  LpStatus lpStatus_ = LpStatus::kUnknown;
  int64_t iterations_ = 0, phase1Iterations_ = 0;
  int64_t lastLogIter_ = -1;
  bool logHeaderDone_ = false;
  bool detailHeaderDone_ = false;
  uint64_t rng_ = 0;
  int infeasRow_ = -1;              // row of the dual ray
  std::vector<double> farkas_;      // scaled row of B^-1 at infeasibility
  std::vector<double> primalRay_;   // scaled direction at unboundedness
  int stopStatus_ = 0;
  double ratioTheta_ = 0.0;
};

}  // namespace vnt::simplex
