// The problem object behind VNTLPptr.
//
// A Problem is the handle the caller holds; its ProblemData holds the model:
// a column-wise matrix with a begin, a count and a capacity per column (so
// columns can grow in place), row and column data, names with hash indexes,
// the extension parts and the cache of pending additions.
//
// State derived from the model (solution, basis, factorization, presolved
// model, MIP search) hangs off the problem in the solver-state slots.  Every
// successful modification reports a ChangeEvent to each occupied slot before
// the data change; a slot whose onChange returns false is discarded.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "env/env.h"
#include "model/modeldata.h"

namespace vnt::model {

// Problem types.
enum ProbType : int {
  kLP = 0, kMILP = 1, kFixedMILP = 3, kQP = 5, kMIQP = 7, kFixedMIQP = 8,
  kQCP = 10, kMIQCP = 11, kFixedMIQCP = 13
};

// Reserve room for n elements with geometric growth (so that appending in
// many small batches stays linear).
template <class V>
void growTo(V& v, size_t n) {
  if (n > v.capacity()) v.reserve(std::max(n, 2 * v.capacity()));
}

// Thresholds used by the model-building operations.
inline constexpr double kZeroBound = 1e-10;  // |bound| below this is stored as 0

// ---------------------------------------------------------------------------
// Names of rows or columns with a hash index (built on the first lookup and
// then kept up to date; constant-time lookup by name).
class NameTable {
 public:
  bool present() const { return present_; }
  size_t size() const { return names_.size(); }
  const std::string& operator[](size_t i) const { return names_[i]; }

  void clear();
  // Give the table names for n existing entries (default names "<prefix>k",
  // 1-based) when it has none yet.
  void materialize(size_t n, char prefix);
  void append(std::string name);
  void set(size_t i, std::string name);
  // Keep the entries with keep[i] != 0, in order.
  void compact(const std::vector<char>& keep);
  // Index of the first entry with this name, or -1.
  int find(const std::string& name) const;

  NameTable() = default;
  NameTable(const NameTable& o) : names_(o.names_), present_(o.present_) {}
  NameTable& operator=(const NameTable& o) {
    names_ = o.names_;
    present_ = o.present_;
    invalidate();
    return *this;
  }
  std::vector<std::string>& raw() { return names_; }
  void setPresent(bool p) { present_ = p; }
  void invalidate() {
    slots_.clear();
    slotHash_.clear();
    indexValid_ = false;
  }

 private:
  std::vector<std::string> names_;
  bool present_ = false;
  // Open-addressing index (linear probing) of entry numbers: slot value -1
  // empty, -2 deleted; slotHash_ keeps the name hashes so that probing
  // compares strings only on a hash match.
  mutable std::vector<int> slots_;
  mutable std::vector<uint32_t> slotHash_;
  mutable size_t slotsUsed_ = 0;  // occupied and deleted slots
  mutable bool indexValid_ = false;
  mutable bool dupFree_ = true;  // no name occurs twice (while the index is valid)

  void buildIndex() const;
  // Slot holding `name`, or -1.
  long long slotOf(const std::string& name, uint32_t h) const;
  // Insert entry i (whose name has hash h) unless its name is present.
  void insertSlot(int i, uint32_t h) const;
};

// Additions made through the cache operations and not merged yet.
struct PendingAdditions {
  std::vector<double> rhs, rngval;
  std::vector<char> sense;
  std::vector<std::string> rowname;  // empty or one per cached row
  std::vector<double> obj, lb, ub;
  std::vector<char> ctype;           // empty or one per cached column
  std::vector<std::string> colname;  // empty or one per cached column
  std::vector<int> nzrow, nzcol;
  std::vector<double> nzval;
  bool empty() const { return rhs.empty() && obj.empty() && nzrow.empty(); }
  void clear() { *this = PendingAdditions(); }
};

// Branching priority of a column (VNTcopyorder): among violated integer
// columns the search branches on those of the highest priority first;
// direction 1 takes the up branch first, -1 the down branch, 0 the default.
struct OrderEntry {
  int col = 0;
  int priority = 0;
  int direction = 0;
};

struct ProblemData {
  std::string probname, objname;
  int objsen = 1;
  double objoffset = 0.0;

  // Columns.
  std::vector<double> obj, lb, ub;
  std::vector<char> ctype;  // empty unless the problem has a MIP type
  // Matrix: column j owns matind/matval[matbeg[j] .. matbeg[j]+matcap[j]),
  // of which the first matcnt[j] entries are in use.
  std::vector<int64_t> matbeg;
  std::vector<int> matcnt, matcap;
  std::vector<int> matind;
  std::vector<double> matval;
  int64_t nz = 0;       // sum of matcnt
  int64_t garbage = 0;  // storage owned by no column

  // Rows.
  std::vector<double> rhs;
  std::vector<double> rngval;  // empty until a range value has been set
  std::vector<char> sense;

  NameTable colnames, rownames;

  // Extension parts, in the exchange form.
  std::vector<QuadTerm> qobj;
  std::vector<SosSet> sos;
  std::vector<QuadConstraint> qconstr;
  std::vector<IndicatorConstraint> indconstr;
  std::vector<LinearConstraint> usercuts, lazycons;
  std::vector<PwlConstraint> pwl;
  std::vector<OrderEntry> order;  // priority order (empty: none)
  // Objective records of a multi-objective problem (empty otherwise).  The
  // linear terms, offset and name of objective 0 are obj/objoffset/objname;
  // objectives[0] holds only its priority, weight and tolerances.  The terms
  // of the others are sparse with distinct, increasing column indices.
  std::vector<ObjectiveRecord> objectives;

  PendingAdditions cache;

  // Scratch (one slot per column, kept zero between operations).
  std::vector<int> scratch;

  // Counts without the pending additions.
  int rows() const { return static_cast<int>(rhs.size()); }
  int cols() const { return static_cast<int>(obj.size()); }
  // Counts as the caller sees them (with the pending additions).
  int numRows() const { return rows() + static_cast<int>(cache.rhs.size()); }
  int numCols() const { return cols() + static_cast<int>(cache.obj.size()); }
  int64_t numNz() const { return nz + static_cast<int64_t>(cache.nzrow.size()); }

  // Matrix helpers.
  // Pack the columns, leaving each slackPercent of its count plus slackMin
  // entries of room to grow.
  void compactMatrix(int slackPercent = 0, int slackMin = 0);
  // Make room for `extra` more entries in column j (may relocate it).
  void reserveInColumn(int j, int extra);
  void appendColumn(const int* ind, const double* val, int cnt);
  double coef(int i, int j) const;
  // Set a(i,j) (0 removes the entry).
  void setCoef(int i, int j, double v);
};

// ---------------------------------------------------------------------------
// Change events.

enum class ChangeKind : int {
  Bounds, Objective, ObjSense, ObjOffset, Rhs, Sense, RangeValues, Coefficients,
  AddRows, AddCols, DelRows, DelCols, ColTypes, ProbType, ColNames, RowNames,
  ProbName, ObjName, ReplaceAll, Quadratic, Sos, Indicators, LazyConstraints,
  UserCuts, Pwl, Objectives
};

// True for the kinds that change data a solution depends on (everything
// except names).
inline bool changesSolution(ChangeKind k) {
  return k != ChangeKind::ColNames && k != ChangeKind::RowNames && k != ChangeKind::ProbName &&
         k != ChangeKind::ObjName;
}

// What changed.  For index-list changes (bounds, objective, rhs, sense, range
// values) ind/val/chars describe the change; for additions and deletions
// `cnt` is the number of rows or columns added, and for deletions `map`
// (when not null) gives the new index of every old row or column (-1:
// deleted).  The event is reported before the data change.
struct ChangeEvent {
  ChangeKind kind;
  long long cnt = 0;
  const int* ind = nullptr;
  const double* val = nullptr;
  const char* chars = nullptr;
  const int* map = nullptr;
};

struct Problem;

// State derived from the model, owned by the problem.  onChange returns true
// to stay (after updating itself) and false to be discarded.
class SolverState {
 public:
  virtual ~SolverState() = default;
  virtual bool onChange(Problem& p, const ChangeEvent& ev) = 0;
};

// kSlotStarts holds what the caller attaches to the model besides its data
// (MIP starts, priority order; model/attachments.h): it follows row and
// column deletions and is dropped only when the whole model is replaced.
enum StateSlot : int { kSlotLp = 0, kSlotPresolve, kSlotMip, kSlotAux, kSlotConflict, kSlotStarts, kNumStateSlots };

// ---------------------------------------------------------------------------

struct Problem {
  Problem* self = nullptr;      // equals this while the handle is valid
  ProblemData* data = nullptr;  // the model; null means the handle is dead
  Env* env = nullptr;           // owning environment
  Env* root = nullptr;          // root of the owning environment's tree
  int kind = 0;                 // redirecting kinds forward to `redirect`
  Problem* redirect = nullptr;  // the fixed problem (owned) while redirected
  Problem* fixedParent = nullptr;  // set on a fixed problem: the problem it fixes
  int probtype = kLP;
  std::unique_ptr<SolverState> state[kNumStateSlots];

  ~Problem();
};

// Problem of a caller handle after redirection, or null when invalid.
Problem* resolveHandle(const void* handle);
Env* rootEnvOf(const Problem& p);
// Free a problem (also used when its environment closes).
void destroyProblem(Env& env, Problem* p);

// Report a change to the solver states (discarding those that refuse it).
void notifyChange(Problem& p, const ChangeEvent& ev);
inline void notifyChange(Problem& p, ChangeKind k) {
  ChangeEvent ev{k};
  notifyChange(p, ev);
}

// Merge the pending additions into the main arrays (0 or 1001).
int flushCache(Env& env, Problem& p);

// The whole model in the exchange form (pending additions included).
int exportData(const Problem& p, ModelData& out);
// Puts the terms of a non-first objective in their stored form: distinct
// increasing columns (a repeated column keeps its last value), no zeros.
void normalizeTerms(ObjectiveRecord& o);
// Replace the problem's content with a staged model (as a reader does after
// a successful read).  The staged model must be consistent (sizes, index
// ranges; 1003 otherwise, problem unchanged).  Reports ChangeKind::ReplaceAll.
int replaceData(Env& env, Problem& p, ModelData&& in);

// The check every optimizer makes at its start, whatever the data-check
// setting, in one pass over the model (pending additions merged first): a
// NaN anywhere in the numeric data is 1225; an objective or matrix
// coefficient at or beyond the infinity bound, an infinite right-hand side,
// range value of a ranged row or objective offset is 1233; a row sense
// other than 'L', 'E', 'G', 'R' is 1215.  The last two are printed with the
// entry and returned negated.  0 when the model can be optimized.
int checkSolveData(Env& env, Problem& p);

// A new problem registered in env (name already in the internal encoding).
Problem* newProblem(Env& env, const std::string& name, int* status);
// A deep copy of p (model only; no solver state), registered in env.
Problem* cloneProblem(Env& env, const Problem& p, int* status);

// Builder of the fixed problem of a MIP (installed by the MIP driver):
// fills `fixed` from `p` for the fixed type and returns 0 or a status.
using FixedBuilder = int (*)(Env& env, Problem& p, int fixedType, Problem& fixed);
void setFixedBuilder(FixedBuilder b);

// Type helpers.
inline bool isMipType(int t) { return t == kMILP || t == kMIQP || t == kMIQCP || t == kFixedMILP || t == kFixedMIQP || t == kFixedMIQCP; }

}  // namespace vnt::model
