// Sparse LU factorization of the simplex basis.
//
// Build: right-looking elimination on the active submatrix held in a column
// file (indices and values) and a row file (indices only).  Pivots are chosen
// by the Markowitz count (r-1)(c-1) among entries that pass the threshold
// test |a_ij| >= u * max_k |a_kj|; the search looks at the shortest columns
// and rows first and stops after a few candidates.  When the active part gets
// dense it is finished by a dense LU with partial pivoting.  Columns whose
// entries all fall below the absolute pivot tolerance are dependent; their
// positions receive the logicals of the rows left without a pivot.
//
// Representation: every row r of B is a "slot" of U.  Slot r holds the pivot
// of basis position colOf[r]; U is triangular in the order `order` of the
// slots.  L is a sequence of column etas (pivot row, multipliers) applied in
// pivot order.  Solves work in row space and map slots to positions at the
// end (FTRAN) or at the start (BTRAN).
//
// Update: Forrest-Tomlin (U keeps its sparsity and the update file only holds
// one row eta per update); a product-form eta file is kept as an alternative
// for testing.  Solves with a sparse right-hand side run on the nodes reached
// by a symbolic depth-first search through L, U and their transposes.
#include "simplex/factor.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

namespace vnt::simplex {

namespace {

// Values of magnitude at or below this are treated as zero in solve results.
constexpr double kDropTolerance = 1e-14;
// Pivots below this magnitude are never accepted by the LU.
constexpr double kAbsolutePivotTolerance = 1e-11;
// Candidates examined by one Markowitz search once an acceptable pivot is known.
constexpr int kMarkowitzSearchLimit = 4;
// Active submatrix density above which the rest is factorized densely.
constexpr double kDefaultDenseSwitch = 0.3;
// Smallest active submatrix that is worth a dense finish.
constexpr int kDenseMinimumOrder = 8;
// Updates before the factors ask for a rebuild.
constexpr int kDefaultUpdateLimit = 100;
// Pivot elements of an update at or below this magnitude are refused.
constexpr double kUpdatePivotTolerance = 1e-13;
// Bounds of the two growth measures of the update file.
constexpr double kUpdateGrowthBound = 1e8;
// Nonzeros of the factors (with the update file) relative to a fresh
// factorization that make update() ask for a rebuild.
constexpr double kFillGrowthLimit = 3.0;
// A right-hand side with fewer nonzeros than this share of m takes the
// sparse (symbolic) path when the expected result density is below
// kHyperDensityHint; the symbolic pass gives up when it reaches
// kHyperReachLimit * m nodes.
constexpr double kHyperInputShare = 0.05;
constexpr double kHyperDensityHint = 0.10;
constexpr double kHyperReachLimit = 0.12;
// Relative disagreement between two computations of an update pivot that
// makes the update unsafe.
constexpr double kPivotAgreement = 1e-7;
// Relative disagreement between the new U pivot of an update and the old
// pivot times the FTRAN'd column's element beyond which the update is refused.
constexpr double kUpdatePivotAgreement = 1e-6;

using Clock = std::chrono::steady_clock;

// Growable array whose new room is left uninitialized: the files below keep
// large free tails, and touching them at allocation costs more than the
// factorization of a small basis.
template <class T>
class Buf {
 public:
  Buf() = default;
  Buf(const Buf&) = delete;
  Buf& operator=(const Buf&) = delete;
  size_t size() const { return size_; }
  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }
  T* begin() { return data_.get(); }
  const T* begin() const { return data_.get(); }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  // Grow to n elements keeping the first `keep` ones.
  void grow(size_t n, size_t keep) {
    if (n <= size_) return;
    std::unique_ptr<T[]> d(new T[n]);
    if (keep > 0) std::copy(data_.get(), data_.get() + std::min(keep, size_), d.get());
    data_.swap(d);
    size_ = n;
  }
  void swap(Buf& o) {
    data_.swap(o.data_);
    std::swap(size_, o.size_);
  }

 private:
  std::unique_ptr<T[]> data_;
  size_t size_ = 0;
};

// A set of sparse vectors stored in one pair of arrays.  Each item has a
// start, a length and a capacity; an item that outgrows its room moves to the
// end, and the whole file is compacted when the end is reached.  Two files
// holding the same entries by columns and by rows can be linked: cross[p]
// is then the position of entry p in the partner file, kept up to date
// whenever an entry moves, so that an entry is removed from both files
// without searching.
struct SpFile {
  std::vector<int> start, len, cap;
  Buf<int> idx, cross;
  Buf<double> val;
  Buf<int> idx2, cross2;  // compaction buffers, reused
  Buf<double> val2;
  int64_t end = 0;
  bool values = true;
  SpFile* partner = nullptr;

  void init(int items, bool withValues, SpFile* link = nullptr) {
    values = withValues;
    partner = link;
    start.assign(items, 0);
    len.assign(items, 0);
    cap.assign(items, 0);
    end = 0;
  }
  // Room for `size` entries; the first `keep` positions keep their contents.
  void grow(int64_t size, int64_t keep = 0) {
    if (static_cast<int64_t>(idx.size()) >= size) return;
    idx.grow(size, keep);
    if (values) val.grow(size, keep);
    if (partner) cross.grow(size, keep);
  }
  // Lay the items out back to back with the given capacities, with room for
  // `room` times their total after them.
  void layout(const int* capacity, double room) {
    int64_t total = 0;
    for (size_t j = 0; j < start.size(); ++j) total += capacity[j];
    grow(total + static_cast<int64_t>(room * static_cast<double>(total)) + 4 * static_cast<int64_t>(start.size()) +
         1024);
    int64_t p = 0;
    for (size_t j = 0; j < start.size(); ++j) {
      start[j] = static_cast<int>(p);
      len[j] = 0;
      cap[j] = capacity[j];
      p += capacity[j];
    }
    end = p;
  }
  int64_t live() const {
    int64_t t = 0;
    for (int l : len) t += l;
    return t;
  }
  // Entry now at position p moved there: tell the partner.
  void moved(int64_t p) {
    const int q = cross[p];
    if (q >= 0) partner->cross[q] = static_cast<int>(p);
  }
  // Items keep a quarter of their length as room to grow, so that a
  // compaction is not followed by moving every item that gets one more entry.
  static int slack(int l) { return l / 4 + 2; }
  void compact(int64_t extra) {
    const int items = static_cast<int>(start.size());
    const int64_t lv = live();
    const int64_t need = lv + lv / 4 + 2 * static_cast<int64_t>(items) + extra;
    int64_t size = static_cast<int64_t>(idx.size());
    if (size < 2 * need + items) size = 2 * need + items + 16;
    if (static_cast<int64_t>(idx2.size()) < size) {
      idx2.grow(size, 0);
      if (values) val2.grow(size, 0);
      if (partner) cross2.grow(size, 0);
    }
    int64_t p = 0;
    for (int j = 0; j < items; ++j) {
      const int s = start[j], l = len[j];
      std::copy(idx.begin() + s, idx.begin() + s + l, idx2.begin() + p);
      if (values) std::copy(val.begin() + s, val.begin() + s + l, val2.begin() + p);
      if (partner) std::copy(cross.begin() + s, cross.begin() + s + l, cross2.begin() + p);
      start[j] = static_cast<int>(p);
      cap[j] = l + slack(l);
      p += cap[j];
    }
    idx.swap(idx2);
    if (values) val.swap(val2);
    if (partner) cross.swap(cross2);
    grow(size, p);
    end = p;
    if (partner) {
      for (int j = 0; j < items; ++j)
        for (int64_t q = start[j], e = start[j] + len[j]; q < e; ++q) moved(q);
    }
  }
  // Make room for `need` entries in item j (moving it to the end if needed).
  void ensure(int j, int need) {
    if (cap[j] >= need) return;
    const int newCap = need + need / 2 + 4;
    if (end + newCap > static_cast<int64_t>(idx.size())) compact(newCap);
    const int s = start[j], l = len[j];
    const int64_t p = end;
    std::copy(idx.begin() + s, idx.begin() + s + l, idx.begin() + p);
    if (values) std::copy(val.begin() + s, val.begin() + s + l, val.begin() + p);
    if (partner) {
      std::copy(cross.begin() + s, cross.begin() + s + l, cross.begin() + p);
      for (int k = 0; k < l; ++k) moved(p + k);
    }
    start[j] = static_cast<int>(p);
    cap[j] = newCap;
    end = p + newCap;
  }
  // Append to item j; returns the position (its cross link is left at -1).
  int push(int j, int i, double v) {
    ensure(j, len[j] + 1);
    const int p = start[j] + len[j]++;
    idx[p] = i;
    if (values) val[p] = v;
    if (partner) cross[p] = -1;
    return p;
  }
  void push(int j, int i) {
    ensure(j, len[j] + 1);
    idx[start[j] + len[j]++] = i;
  }
  // Remove the entry at position p of item j (the last entry takes its place).
  void removeAt(int j, int p) {
    const int last = start[j] + --len[j];
    if (p != last) {
      idx[p] = idx[last];
      if (values) val[p] = val[last];
      if (partner) {
        cross[p] = cross[last];
        moved(p);
      }
    }
  }
  // Remove the entry with index i (order not kept).  Returns false if absent.
  bool remove(int j, int i) {
    const int s = start[j], l = len[j];
    for (int k = 0; k < l; ++k) {
      if (idx[s + k] == i) {
        removeAt(j, s + k);
        return true;
      }
    }
    return false;
  }
};

}  // namespace

struct Factor::Impl {
  // ---- parameters
  double pivotThreshold = 0.01;
  double absPivotTol = kAbsolutePivotTolerance;
  double denseSwitch = kDefaultDenseSwitch;
  int updateLimit = kDefaultUpdateLimit;

  // ---- factor state
  int m = 0;
  bool valid = false;
  FactorStats stats;
  double conditionRatio = 1.0;

  std::vector<int> colOf;   // slot (row) -> basis position
  std::vector<int> slotOf;  // basis position -> slot
  std::vector<int> order;   // pivot order of the slots (-1: a slot moved away)
  std::vector<int> posOf;   // slot -> index in `order`
  int orderLen = 0;
  std::vector<double> diag; // pivot of each slot

  // L: column etas in pivot order; lEtaOfRow[r] is the eta pivoting on row r
  // (-1: none).  The same multipliers by row for BTRAN: row i holds (r_k, l_ik).
  std::vector<int> lPiv, lStart, lIdx, lEtaOfRow;
  std::vector<double> lVal;
  std::vector<int> ltStart, ltIdx, lRowOrder;  // lRowOrder: rows in pivot order of the build
  std::vector<double> ltVal;
  // Forrest-Tomlin row etas: slot rPiv[k] -= sum rVal * x[rIdx].
  std::vector<int> rPiv, rStart, rIdx;
  std::vector<double> rVal;
  // U off-diagonals, by column slot (entries at earlier slots) and by row slot.
  SpFile ucol, urow;

  // Product-form update file (positions), the alternative update.
  bool productForm = false;
  std::vector<int> pfPos, pfStart, pfIdx;
  std::vector<double> pfPiv, pfVal;
  int numUpdates = 0;
  // Growth measures of the update file: the largest spike entry relative to
  // its pivot, and the largest row-eta multiplier.
  double growthSpike = 0.0, growthEta = 0.0;
  double updateBound1 = kUpdateGrowthBound, updateBound2 = kUpdateGrowthBound;
  double fillLimitFactor = kFillGrowthLimit;
  int64_t etaNnz = 0;

  // Partially transformed entering column (after L and the row etas, row
  // space), kept by ftranForUpdate for the Forrest-Tomlin update.
  std::vector<double> spike;
  std::vector<int> spikeIdx;
  int spikeNnz = 0;
  // U^-T e_s of the last BTRAN of a unit vector (slot s, scaled by the unit
  // entry's value): it holds the multipliers of the Forrest-Tomlin row
  // elimination when s is the leaving slot of the next update.
  std::vector<double> rowCacheVal;
  std::vector<int> rowCacheIdx;
  int rowCacheNnz = 0, rowCacheSlot = -1;
  double rowCacheScale = 1.0;
  bool rowCacheValid = false;

  // Column saved by ftranForUpdate (position space).
  std::vector<double> saved;
  std::vector<int> savedIdx;
  int savedNnz = 0;
  bool savedValid = false;

  // ---- scratch
  std::vector<double> work;
  std::vector<int> mark, topo, stackNode, stackPos, list2;
  int stamp = 0;
  std::vector<std::pair<int, int>> heap;  // (order index, slot) in the FT elimination
  std::vector<int> etaSlot;
  std::vector<double> etaMult;

  // ---- build scratch
  SpFile cf, rf;  // active columns (values), active rows (pattern)
  std::vector<int> colHead, colNext, colPrev, rowHead, rowNext, rowPrev;
  std::vector<char> colDone, colSing, rowDone, colMaxStale;
  std::vector<double> colMax;
  std::vector<int> wpos;
  std::vector<int> pivRow, pivCol;
  std::vector<double> pivVal;
  // Active counts (the files also hold dead entries: a column keeps the
  // entries of rows pivoted before it, which become its U column when it is
  // pivoted; a row keeps pivoted columns until it is next scanned).
  std::vector<int> colCnt, rowCnt;
  // U entries (row, position, value) collected during the build.
  std::vector<int> uTmpRow, uTmpCol;
  std::vector<double> uTmpVal;
  std::vector<int> lRows, uCols;
  std::vector<double> lMul;
  std::vector<double> dense;
  int nActCols = 0, nActRows = 0;
  int64_t activeNnz = 0;

  int build(const MatrixView& a, int* basis, std::vector<int>* replaced);
  void colLink(int j) {
    const int c = colCnt[j];
    colPrev[j] = -1;
    colNext[j] = colHead[c];
    if (colHead[c] >= 0) colPrev[colHead[c]] = j;
    colHead[c] = j;
  }
  void colUnlink(int j) {
    const int c = colCnt[j];
    if (colPrev[j] >= 0) colNext[colPrev[j]] = colNext[j];
    else colHead[c] = colNext[j];
    if (colNext[j] >= 0) colPrev[colNext[j]] = colPrev[j];
  }
  void rowLink(int i) {
    const int c = rowCnt[i];
    rowPrev[i] = -1;
    rowNext[i] = rowHead[c];
    if (rowHead[c] >= 0) rowPrev[rowHead[c]] = i;
    rowHead[c] = i;
  }
  void rowUnlink(int i) {
    const int c = rowCnt[i];
    if (rowPrev[i] >= 0) rowNext[rowPrev[i]] = rowNext[i];
    else rowHead[c] = rowNext[i];
    if (rowNext[i] >= 0) rowPrev[rowNext[i]] = rowPrev[i];
  }
  double columnMax(int j) {
    if (colMaxStale[j]) {
      double mx = 0.0;
      const int s = cf.start[j], l = cf.len[j];
      for (int k = 0; k < l; ++k)
        if (!rowDone[cf.idx[s + k]]) mx = std::max(mx, std::fabs(cf.val[s + k]));
      colMax[j] = mx;
      colMaxStale[j] = 0;
    }
    return colMax[j];
  }
  double entry(int i, int j) const {
    const int s = cf.start[j], l = cf.len[j];
    for (int k = 0; k < l; ++k)
      if (cf.idx[s + k] == i) return cf.val[s + k];
    return 0.0;
  }
  void dropColumn(int j);
  bool search(int& r, int& c);
  void eliminate(int r, int c);
  void denseFinish();
  void recordPivot(int r, int c, double v) {
    pivRow.push_back(r);
    pivCol.push_back(c);
    pivVal.push_back(v);
  }
  void recordU(int i, int j, double v) {
    uTmpRow.push_back(i);
    uTmpCol.push_back(j);
    uTmpVal.push_back(v);
  }
  void recordEta(int r, const int* rows, const double* mult, int cnt) {
    int k0 = static_cast<int>(lIdx.size());
    for (int t = 0; t < cnt; ++t) {
      if (mult[t] == 0.0) continue;
      lIdx.push_back(rows[t]);
      lVal.push_back(mult[t]);
    }
    if (static_cast<int>(lIdx.size()) > k0) {
      lPiv.push_back(r);
      lStart.push_back(static_cast<int>(lIdx.size()));
    }
  }
  void assemble(int n, int* basis, std::vector<int>* replaced, int& nrep);

  // ---- solves
  template <class Adj>
  int symbolic(const int* roots, int nroots, Adj adj, int limit);
  void newStamp() {
    if (++stamp == std::numeric_limits<int>::max()) {
      std::fill(mark.begin(), mark.end(), 0);
      stamp = 1;
    }
  }
  void remark(WorkVec& x);
  void relist(WorkVec& x);
  int reachLimit() const;
  bool wantSparse(const WorkVec& x, double hint) const;
  void ftranL(WorkVec& x, bool sparse);
  void ftranR(WorkVec& x);
  template <class Adj, class Step, class Dense>
  void triSolve(WorkVec& x, bool sparse, Adj adj, Step step, Dense dense, int64_t denseWork);
  void solveU(WorkVec& x, bool sparse, const SpFile& f, bool reverse);
  void ftranU(WorkVec& x, bool sparse);
  void btranU(WorkVec& x, bool sparse);
  void btranR(WorkVec& x);
  void btranL(WorkVec& x, bool sparse);
  void toPositions(WorkVec& x);
  void toSlots(WorkVec& x);
  void prune(WorkVec& x);
  void pfFtran(double* v);
  void pfBtran(double* v);
  void ftran(WorkVec& x, double hint, bool keep);
  void btran(WorkVec& x, double hint);
  void finish(WorkVec& x);
  int update(int pos);
  int updateFT(int pos, double alpha);
  void compactOrder();
};

// ---------------------------------------------------------------------------
// Build

void Factor::Impl::dropColumn(int j) {
  const int s = cf.start[j], l = cf.len[j];
  for (int k = 0; k < l; ++k) {
    const int i = cf.idx[s + k];
    if (rowDone[i]) continue;
    rowUnlink(i);
    --rowCnt[i];
    rowLink(i);
  }
  activeNnz -= colCnt[j];
  colUnlink(j);
  colCnt[j] = 0;
  colDone[j] = 1;
  colSing[j] = 1;
  --nActCols;
}

// Markowitz search with threshold test.  Returns false when it removed a
// dependent column instead (the caller searches again).
bool Factor::Impl::search(int& r, int& c) {
  const double u = pivotThreshold;
  int64_t best = std::numeric_limits<int64_t>::max();
  double bestRatio = 0.0;
  int searched = 0;
  bool found = false;
  for (int cnt = 1; cnt <= m; ++cnt) {
    const int64_t cm1 = cnt - 1;
    for (int j = colHead[cnt]; j >= 0; j = colNext[j]) {
      const double mx = columnMax(j);
      if (mx < absPivotTol) {
        dropColumn(j);
        return false;
      }
      const int s = cf.start[j], l = cf.len[j];
      for (int k = 0; k < l; ++k) {
        const double v = std::fabs(cf.val[s + k]);
        if (v < u * mx || v < absPivotTol) continue;
        const int i = cf.idx[s + k];
        if (rowDone[i]) continue;
        const int64_t cost = static_cast<int64_t>(rowCnt[i] - 1) * cm1;
        const double ratio = v / mx;
        if (cost < best || (cost == best && ratio > bestRatio)) {
          best = cost;
          bestRatio = ratio;
          r = i;
          c = j;
          found = true;
        }
      }
      ++searched;
      if (found && (best <= cm1 * cm1 || searched >= kMarkowitzSearchLimit)) return true;
    }
    for (int i = rowHead[cnt]; i >= 0; i = rowNext[i]) {
      // Scan the row, dropping the columns pivoted since its last scan.
      const int s = rf.start[i];
      int l = 0;
      for (int k = 0; k < rf.len[i]; ++k) {
        const int j = rf.idx[s + k];
        if (colDone[j]) continue;
        rf.idx[s + l++] = j;
        const double mx = columnMax(j);
        const double v = std::fabs(entry(i, j));
        if (v < u * mx || v < absPivotTol) continue;
        const int64_t cost = cm1 * (colCnt[j] - 1);
        const double ratio = v / mx;
        if (cost < best || (cost == best && ratio > bestRatio)) {
          best = cost;
          bestRatio = ratio;
          r = i;
          c = j;
          found = true;
        }
      }
      rf.len[i] = l;
      ++searched;
      if (found && (best <= cm1 * (cm1 + 1) || searched >= kMarkowitzSearchLimit)) return true;
    }
    if (found && best <= static_cast<int64_t>(cnt) * cnt) return true;
  }
  return found;
}

void Factor::Impl::eliminate(int r, int c) {
  // Column c: multipliers for the active rows, U entries for the rows
  // pivoted before; c stays in the row patterns as a dead entry.
  const double pv = entry(r, c);
  int lc = 0;
  {
    const int s = cf.start[c], l = cf.len[c];
    for (int k = 0; k < l; ++k) {
      const int i = cf.idx[s + k];
      if (i == r) continue;
      if (rowDone[i]) {
        recordU(i, c, cf.val[s + k]);
        continue;
      }
      lRows[lc] = i;
      lMul[lc] = cf.val[s + k] / pv;
      ++lc;
      rowUnlink(i);
      --rowCnt[i];
    }
    activeNnz -= colCnt[c];
    colUnlink(c);
    colCnt[c] = 0;
    cf.len[c] = 0;
    colDone[c] = 1;
    --nActCols;
  }
  // Row r: its other active columns get the row operations.
  int uc = 0;
  {
    rowUnlink(r);
    const int s = rf.start[r], l = rf.len[r];
    for (int k = 0; k < l; ++k) {
      const int j = rf.idx[s + k];
      if (j != c && !colDone[j]) uCols[uc++] = j;
    }
    rf.len[r] = 0;
    rowCnt[r] = 0;
    rowDone[r] = 1;
    --nActRows;
  }
  recordPivot(r, c, pv);
  recordEta(r, lRows.data(), lMul.data(), lc);
  stats.work += lc + uc;

  for (int t = 0; t < uc; ++t) {
    const int j = uCols[t];
    colUnlink(j);
    --colCnt[j];  // the entry of row r is now a U entry of column j
    --activeNnz;
    if (lc > 0) {
      cf.ensure(j, cf.len[j] + lc);
      const int s = cf.start[j];
      int l = cf.len[j];
      double arj = 0.0;
      for (int k = 0; k < l; ++k) {
        const int i = cf.idx[s + k];
        if (i == r) arj = cf.val[s + k];
        else if (!rowDone[i]) wpos[i] = k;
      }
      if (arj != 0.0) {
        for (int q = 0; q < lc; ++q) {
          const int i = lRows[q];
          const double d = -lMul[q] * arj;
          const int p = wpos[i];
          if (p >= 0) {
            cf.val[s + p] += d;
          } else {
            cf.idx[s + l] = i;
            cf.val[s + l] = d;
            wpos[i] = l;
            ++l;
            rf.push(i, j);
            ++rowCnt[i];
            ++colCnt[j];
            ++activeNnz;
          }
        }
      }
      for (int k = 0; k < l; ++k) wpos[cf.idx[s + k]] = -1;
      cf.len[j] = l;
      stats.work += l + lc;
    }
    colMaxStale[j] = 1;
    colLink(j);
  }
  for (int q = 0; q < lc; ++q) rowLink(lRows[q]);
}

// Dense LU with partial pivoting of the remaining active submatrix.
void Factor::Impl::denseFinish() {
  std::vector<int> dcols, drows;
  for (int j = 0; j < m; ++j)
    if (!colDone[j]) dcols.push_back(j);
  for (int i = 0; i < m; ++i)
    if (!rowDone[i] && rowCnt[i] > 0) drows.push_back(i);
  const int nr = static_cast<int>(drows.size());
  const int nc = static_cast<int>(dcols.size());
  stats.denseSize = std::max(nr, nc);
  dense.assign(static_cast<size_t>(nr) * nc, 0.0);
  for (int q = 0; q < nr; ++q) wpos[drows[q]] = q;
  for (int cj = 0; cj < nc; ++cj) {
    const int j = dcols[cj];
    const int s = cf.start[j], l = cf.len[j];
    double* col = &dense[static_cast<size_t>(cj) * nr];
    for (int k = 0; k < l; ++k) {
      const int i = cf.idx[s + k];
      if (rowDone[i]) recordU(i, j, cf.val[s + k]);
      else col[wpos[i]] = cf.val[s + k];
    }
  }
  for (int q = 0; q < nr; ++q) wpos[drows[q]] = -1;

  std::vector<int> perm = drows;
  int k = 0;
  for (int cj = 0; cj < nc; ++cj) {
    const int j = dcols[cj];
    double* col = &dense[static_cast<size_t>(cj) * nr];
    int p = -1;
    double mx = 0.0;
    for (int q = k; q < nr; ++q) {
      const double v = std::fabs(col[q]);
      if (v > mx) {
        mx = v;
        p = q;
      }
    }
    colDone[j] = 1;
    if (mx < absPivotTol) {
      colSing[j] = 1;
      continue;
    }
    if (p != k) {
      for (int c2 = cj; c2 < nc; ++c2) {
        double* cc = &dense[static_cast<size_t>(c2) * nr];
        std::swap(cc[p], cc[k]);
      }
      std::swap(perm[p], perm[k]);
    }
    const double pv = col[k];
    const int r = perm[k];
    recordPivot(r, j, pv);
    rowDone[r] = 1;
    int lc = 0;
    for (int q = k + 1; q < nr; ++q) {
      const double l = col[q] / pv;
      col[q] = l;
      if (l != 0.0) {
        lRows[lc] = perm[q];
        lMul[lc] = l;
        ++lc;
      }
    }
    recordEta(r, lRows.data(), lMul.data(), lc);
    for (int c2 = cj + 1; c2 < nc; ++c2) {
      double* cc = &dense[static_cast<size_t>(c2) * nr];
      const double u = cc[k];
      if (u == 0.0) continue;
      recordU(r, dcols[c2], u);
      for (int q = k + 1; q < nr; ++q) cc[q] -= col[q] * u;
    }
    stats.work += static_cast<int64_t>(nr - k) * (nc - cj);
    ++k;
  }
  nActCols = 0;
}

int Factor::Impl::build(const MatrixView& a, int* basis, std::vector<int>* replaced) {
  const auto t0 = Clock::now();
  valid = false;
  m = a.m;
  const int n = a.n;
  if (replaced) replaced->clear();
  try {
    // Load the basis columns.
    int64_t nz = 0;
    for (int j = 0; j < m; ++j) {
      const int v = basis[j];
      if (v >= n && v < n + m) nz += 1;
      else if (v >= 0 && v < n) nz += a.start[v + 1] - a.start[v];
    }
    stats.basisNnz = nz;
    std::vector<int> cnt(m, 0);
    for (int j = 0; j < m; ++j) {
      const int v = basis[j];
      if (v >= n && v < n + m) {
        cnt[j] = 1;
      } else if (v >= 0 && v < n) {
        cnt[j] = static_cast<int>(a.start[v + 1] - a.start[v]);
      }
    }
    cf.init(m, true);
    rf.init(m, false);
    for (int j = 0; j < m; ++j) cnt[j] += 4;
    cf.layout(cnt.data(), 0.5);
    std::vector<int> rc(m, 0);
    for (int j = 0; j < m; ++j) {
      const int v = basis[j];
      if (v >= n && v < n + m) {
        const int i = v - n;
        cf.idx[cf.start[j]] = i;
        cf.val[cf.start[j]] = 1.0;
        cf.len[j] = 1;
        ++rc[i];
      } else if (v >= 0 && v < n) {
        int l = 0;
        const int s = cf.start[j];
        for (int64_t p = a.start[v]; p < a.start[v + 1]; ++p) {
          if (a.value[p] == 0.0) continue;
          cf.idx[s + l] = a.index[p];
          cf.val[s + l] = a.value[p];
          ++rc[a.index[p]];
          ++l;
        }
        cf.len[j] = l;
      }
    }
    for (int i = 0; i < m; ++i) cnt[i] = rc[i] + 4;
    rf.layout(cnt.data(), 0.5);
    activeNnz = 0;
    for (int j = 0; j < m; ++j) {
      const int s = cf.start[j], l = cf.len[j];
      for (int k = 0; k < l; ++k) {
        const int i = cf.idx[s + k];
        rf.idx[rf.start[i] + rf.len[i]++] = j;
      }
      activeNnz += l;
    }

    colHead.assign(m + 2, -1);
    rowHead.assign(m + 2, -1);
    colNext.assign(m, -1);
    colPrev.assign(m, -1);
    rowNext.assign(m, -1);
    rowPrev.assign(m, -1);
    colDone.assign(m, 0);
    colSing.assign(m, 0);
    rowDone.assign(m, 0);
    colMaxStale.assign(m, 1);
    colMax.assign(m, 0.0);
    wpos.assign(m, -1);
    lRows.resize(m);
    lMul.resize(m);
    uCols.resize(m);
    pivRow.clear();
    pivCol.clear();
    pivVal.clear();
    uTmpRow.clear();
    uTmpCol.clear();
    uTmpVal.clear();
    lPiv.clear();
    lStart.assign(1, 0);
    lIdx.clear();
    lVal.clear();
    stats.denseSize = 0;
    colCnt.assign(cf.len.begin(), cf.len.end());
    rowCnt.assign(rf.len.begin(), rf.len.end());
    for (int j = 0; j < m; ++j) colLink(j);
    for (int i = 0; i < m; ++i) rowLink(i);
    nActCols = m;
    nActRows = m;

    while (nActCols > 0) {
      while (colHead[0] >= 0) {
        const int j = colHead[0];
        colUnlink(j);
        colDone[j] = 1;
        colSing[j] = 1;
        --nActCols;
      }
      if (nActCols == 0) break;
      if (nActCols >= kDenseMinimumOrder && denseSwitch < 1.0) {
        int liveRows = 0;
        // Rows with entries (rows left empty can never be pivots).
        liveRows = nActRows;
        for (int i = rowHead[0]; i >= 0; i = rowNext[i]) --liveRows;
        if (static_cast<double>(activeNnz) >=
            denseSwitch * static_cast<double>(liveRows) * static_cast<double>(nActCols)) {
          denseFinish();
          break;
        }
      }
      int r = -1, c = -1;
      if (!search(r, c)) continue;
      eliminate(r, c);
    }
    int nrep = 0;
    assemble(n, basis, replaced, nrep);
    stats.lastReplacements = nrep;
    ++stats.builds;
    stats.lastBuildSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    valid = true;
    return nrep;
  } catch (const std::bad_alloc&) {
    valid = false;
    return -1;
  }
}

void Factor::Impl::assemble(int n, int* basis, std::vector<int>* replaced, int& nrep) {
  // Repair: dependent positions take the logicals of rows without a pivot.
  const int npiv = static_cast<int>(pivRow.size());
  nrep = 0;
  if (npiv < m) {
    int i = 0;
    for (int j = 0; j < m; ++j) {
      if (!colSing[j]) continue;
      while (rowDone[i]) ++i;
      rowDone[i] = 1;
      basis[j] = n + i;
      if (replaced) replaced->push_back(j);
      pivRow.push_back(i);
      pivCol.push_back(j);
      pivVal.push_back(1.0);
      ++nrep;
    }
  }
  colOf.assign(m, -1);
  slotOf.assign(m, -1);
  order.assign(m, -1);
  diag.assign(m, 0.0);
  for (int k = 0; k < m; ++k) {
    const int r = pivRow[k], c = pivCol[k];
    order[k] = r;
    colOf[r] = c;
    slotOf[c] = r;
    diag[r] = pivVal[k];
  }
  // U off-diagonals: entry (row r, position j) belongs to column slot slotOf[j].
  std::vector<int> ccnt(m, 0), rcnt(m, 0);
  const int nu = static_cast<int>(uTmpCol.size());
  int64_t unz = 0;
  for (int p = 0; p < nu; ++p) {
    const int j = uTmpCol[p];
    if (colSing[j]) continue;
    ++ccnt[slotOf[j]];
    ++rcnt[uTmpRow[p]];
    ++unz;
  }
  ucol.init(m, true, &urow);
  urow.init(m, true, &ucol);
  for (int i = 0; i < m; ++i) {
    ccnt[i] += 2;
    rcnt[i] += 4;  // rows receive one entry per update that touches them
  }
  // Room for the columns and rows added by the updates before the first
  // compaction.
  ucol.layout(ccnt.data(), 2.0);
  urow.layout(rcnt.data(), 2.0);
  for (int p = 0; p < nu; ++p) {
    const int j = uTmpCol[p];
    if (colSing[j]) continue;
    const int r = uTmpRow[p];
    const int s = slotOf[j];
    const double v = uTmpVal[p];
    const int pc = ucol.start[s] + ucol.len[s]++;
    const int pr = urow.start[r] + urow.len[r]++;
    ucol.idx[pc] = r;
    ucol.val[pc] = v;
    urow.idx[pr] = s;
    urow.val[pr] = v;
    ucol.cross[pc] = pr;
    urow.cross[pr] = pc;
  }
  stats.lNnz = static_cast<int64_t>(lIdx.size());
  stats.uNnz = unz;
  stats.factorNnz = stats.lNnz + stats.uNnz + m;
  stats.currentNnz = stats.factorNnz;

  double big = 1.0, small = 1.0;
  for (int i = 0; i < m; ++i) {
    const double d = std::fabs(diag[i]);
    big = std::max(big, d);
    small = std::min(small, d);
  }
  conditionRatio = big / small;

  posOf.assign(m, 0);
  order.resize(static_cast<size_t>(m) + updateLimit + 16, -1);
  for (int k = 0; k < m; ++k) posOf[order[k]] = k;
  orderLen = m;
  lRowOrder.assign(order.begin(), order.begin() + m);
  lEtaOfRow.assign(m, -1);
  for (int k = 0; k < static_cast<int>(lPiv.size()); ++k) lEtaOfRow[lPiv[k]] = k;
  // L by rows: row i holds (r_k, l_ik) of every eta k that has row i.
  ltStart.assign(m + 1, 0);
  for (int i : lIdx) ++ltStart[i + 1];
  for (int i = 0; i < m; ++i) ltStart[i + 1] += ltStart[i];
  ltIdx.resize(lIdx.size());
  ltVal.resize(lIdx.size());
  {
    std::vector<int> fillp(ltStart.begin(), ltStart.end() - 1);
    for (int k = 0; k < static_cast<int>(lPiv.size()); ++k) {
      for (int p = lStart[k]; p < lStart[k + 1]; ++p) {
        const int q = fillp[lIdx[p]]++;
        ltIdx[q] = lPiv[k];
        ltVal[q] = lVal[p];
      }
    }
  }
  rPiv.clear();
  rStart.assign(1, 0);
  rIdx.clear();
  rVal.clear();
  etaNnz = 0;
  growthSpike = growthEta = 0.0;
  spike.assign(m, 0.0);
  spikeIdx.assign(m, 0);
  spikeNnz = 0;
  mark.assign(m, 0);
  stamp = 0;
  topo.assign(m, 0);
  stackNode.assign(m + 1, 0);
  stackPos.assign(m + 1, 0);
  list2.assign(m, 0);
  etaSlot.assign(m, 0);
  etaMult.assign(m, 0.0);
  heap.reserve(m);
  pfPos.clear();
  pfStart.assign(1, 0);
  pfIdx.clear();
  pfPiv.clear();
  pfVal.clear();
  numUpdates = 0;
  work.assign(m, 0.0);
  saved.assign(m, 0.0);
  savedIdx.assign(m, 0);
  savedNnz = 0;
  savedValid = false;
  rowCacheVal.assign(m, 0.0);
  rowCacheIdx.assign(m, 0);
  rowCacheNnz = 0;
  rowCacheValid = false;
}

// ---------------------------------------------------------------------------
// Solves
//
// Throughout a solve the index list of the vector covers its nonzeros, and
// mark[i] == stamp exactly for the listed i.  Each stage runs either as a
// loop over all its etas or slots, or, when the vector is sparse enough, on
// the nodes reachable from its nonzeros only: a depth-first search through
// the stage's dependency graph gives them in topological order.  The search
// gives up (and the loop runs) when it reaches too many nodes.

// Depth-first search from `roots`; the reached nodes are left in topological
// order in topo[m - count .. m) and marked with a new stamp.  Returns count,
// or -1 when more than `limit` nodes are reached.
template <class Adj>
int Factor::Impl::symbolic(const int* roots, int nroots, Adj adj, int limit) {
  newStamp();
  int top = m;
  int reached = 0;
  for (int q = 0; q < nroots; ++q) {
    const int root = roots[q];
    if (mark[root] == stamp) continue;
    mark[root] = stamp;
    if (++reached > limit) return -1;
    int sp = 0;
    stackNode[0] = root;
    stackPos[0] = 0;
    ++sp;
    while (sp > 0) {
      const int node = stackNode[sp - 1];
      const int* b;
      const int* e;
      adj(node, b, e);
      int p = stackPos[sp - 1];
      const int deg = static_cast<int>(e - b);
      while (p < deg && mark[b[p]] == stamp) ++p;
      if (p < deg) {
        stackPos[sp - 1] = p + 1;
        const int c = b[p];
        mark[c] = stamp;
        if (++reached > limit) return -1;
        stackNode[sp] = c;
        stackPos[sp] = 0;
        ++sp;
      } else {
        --sp;
        topo[--top] = node;
      }
    }
  }
  stats.work += reached;
  return m - top;
}

// Re-establish the list invariant under a new stamp (after a failed search).
void Factor::Impl::remark(WorkVec& x) {
  newStamp();
  for (int q = 0; q < x.nnz; ++q) mark[x.idx[q]] = stamp;
}

// After a dense pass (which updates values without tracking their indices):
// list the nonzeros by one scan and mark them under a new stamp.  Cheaper
// than a mark test per updated entry once the pass touches most of m.
void Factor::Impl::relist(WorkVec& x) {
  const double* v = x.val.data();
  int* list = x.idx.data();
  newStamp();
  int nz = 0;
  for (int i = 0; i < m; ++i)
    if (v[i] != 0.0) {
      list[nz++] = i;
      mark[i] = stamp;
    }
  x.nnz = nz;
  stats.work += m;
}

int Factor::Impl::reachLimit() const { return static_cast<int>(kHyperReachLimit * m) + 16; }

// One triangular solve, shared by the four stages.  `step(node)` eliminates
// one node (scales it by its pivot where the stage has one and subtracts its
// multiples from the nodes it reaches) and returns the entries it touched; `adj` lists the nodes a node passes
// multiples to; `dense(f)` calls f for every node in elimination order.  With
// `sparse`, a depth-first search from the nonzeros gives the reached nodes in
// topological order and only those are visited; when the search reaches too
// many, the dense pass runs and the nonzeros are listed by one scan after it.
template <class Adj, class Step, class Dense>
void Factor::Impl::triSolve(WorkVec& x, bool sparse, Adj adj, Step step, Dense dense, int64_t denseWork) {
  int* list = x.idx.data();
  if (sparse) {
    const int cnt = symbolic(list, x.nnz, adj, reachLimit());
    if (cnt >= 0) {
      const int* t = topo.data() + (m - cnt);
      int64_t w = 0;
      for (int q = 0; q < cnt; ++q) {
        list[q] = t[q];
        w += step(t[q]);
      }
      stats.work += w;
      x.nnz = cnt;
      return;
    }
    remark(x);
  }
  stats.work += dense(step) + denseWork;
  relist(x);
}

// Subtract xs times the stored vector [b, e) of values `val` from v.
static inline void axpyStored(double* v, const int* idx, const double* val, int b, int e, double xs) {
  for (int p = b; p < e; ++p) v[idx[p]] -= val[p] * xs;
}

void Factor::Impl::ftranL(WorkVec& x, bool sparse) {
  double* v = x.val.data();
  const int ne = static_cast<int>(lPiv.size());
  triSolve(
      x, sparse,
      [this](int r, const int*& b, const int*& e) {
        const int k = lEtaOfRow[r];
        if (k < 0) {
          b = e = nullptr;
        } else {
          b = lIdx.data() + lStart[k];
          e = lIdx.data() + lStart[k + 1];
        }
      },
      [v, eta = lEtaOfRow.data(), st = lStart.data(), ix = lIdx.data(), va = lVal.data()](int r) -> int {
        const int k = eta[r];
        if (k < 0) return 0;
        const double xr = v[r];
        if (xr == 0.0) return 0;
        if (std::fabs(xr) <= kDropTolerance) {
          v[r] = 0.0;
          return 0;
        }
        axpyStored(v, ix, va, st[k], st[k + 1], xr);
        return st[k + 1] - st[k];
      },
      [piv = lPiv.data(), ne](auto& step) {
        int64_t w = 0;
        for (int k = 0; k < ne; ++k) w += step(piv[k]);
        return w;
      },
      ne);
}

// Row etas of the updates: dot products.
void Factor::Impl::ftranR(WorkVec& x) {
  double* v = x.val.data();
  const int ne = static_cast<int>(rPiv.size());
  for (int k = 0; k < ne; ++k) {
    double d = 0.0;
    for (int p = rStart[k]; p < rStart[k + 1]; ++p) d += rVal[p] * v[rIdx[p]];
    if (d == 0.0) continue;
    const int s = rPiv[k];
    v[s] -= d;
    if (mark[s] != stamp) {
      mark[s] = stamp;
      x.idx[x.nnz++] = s;
    }
  }
  stats.work += etaNnz + ne;
}

// The U stage, column-wise for FTRAN (pivots in reverse order) and row-wise
// for BTRAN (pivots in order).
void Factor::Impl::solveU(WorkVec& x, bool sparse, const SpFile& f, bool reverse) {
  double* v = x.val.data();
  triSolve(
      x, sparse,
      [&f](int s, const int*& b, const int*& e) {
        b = f.idx.data() + f.start[s];
        e = b + f.len[s];
      },
      [v, dg = diag.data(), fs = f.start.data(), fl = f.len.data(), ix = f.idx.data(), va = f.val.data()](int s) -> int {
        double xs = v[s];
        if (std::fabs(xs) <= kDropTolerance) {
          v[s] = 0.0;
          return 0;
        }
        xs /= dg[s];
        v[s] = xs;
        const int st = fs[s], l = fl[s];
        axpyStored(v, ix, va, st, st + l, xs);
        return l;
      },
      [ord = order.data(), len = orderLen, reverse](auto& step) {
        int64_t w = 0;
        if (reverse) {
          for (int o = len - 1; o >= 0; --o)
            if (ord[o] >= 0) w += step(ord[o]);
        } else {
          for (int o = 0; o < len; ++o)
            if (ord[o] >= 0) w += step(ord[o]);
        }
        return w;
      },
      orderLen);
}

void Factor::Impl::ftranU(WorkVec& x, bool sparse) { solveU(x, sparse, ucol, true); }
void Factor::Impl::btranU(WorkVec& x, bool sparse) { solveU(x, sparse, urow, false); }

void Factor::Impl::btranR(WorkVec& x) {
  double* v = x.val.data();
  for (int k = static_cast<int>(rPiv.size()) - 1; k >= 0; --k) {
    const double xs = v[rPiv[k]];
    if (std::fabs(xs) <= kDropTolerance) continue;
    for (int p = rStart[k]; p < rStart[k + 1]; ++p) {
      const int t = rIdx[p];
      v[t] -= rVal[p] * xs;
      if (mark[t] != stamp) {
        mark[t] = stamp;
        x.idx[x.nnz++] = t;
      }
    }
    stats.work += rStart[k + 1] - rStart[k];
  }
  stats.work += static_cast<int64_t>(rPiv.size());
}

void Factor::Impl::btranL(WorkVec& x, bool sparse) {
  double* v = x.val.data();
  triSolve(
      x, sparse,
      [this](int i, const int*& b, const int*& e) {
        b = ltIdx.data() + ltStart[i];
        e = ltIdx.data() + ltStart[i + 1];
      },
      [v, st = ltStart.data(), ix = ltIdx.data(), va = ltVal.data()](int i) -> int {
        const double xi = v[i];
        if (std::fabs(xi) <= kDropTolerance) {
          v[i] = 0.0;
          return 0;
        }
        axpyStored(v, ix, va, st[i], st[i + 1], xi);
        return st[i + 1] - st[i];
      },
      // Rows in reverse pivot order: a row is final once every later row has
      // passed on its multiples, and rows that are zero cost one test.
      [ord = lRowOrder.data(), n = m](auto& step) {
        int64_t w = 0;
        for (int k = n - 1; k >= 0; --k) w += step(ord[k]);
        return w;
      },
      m);
}


// Slot-indexed values to position-indexed ones, dropping tiny values and
// zeros from the list.
void Factor::Impl::toPositions(WorkVec& x) {
  double* v = x.val.data();
  int nz = 0;
  for (int q = 0; q < x.nnz; ++q) {
    const int s = x.idx[q];
    const double xs = v[s];
    if (xs == 0.0) continue;
    v[s] = 0.0;
    if (std::fabs(xs) <= kDropTolerance) continue;
    const int j = colOf[s];
    work[j] = xs;
    list2[nz++] = j;
  }
  for (int q = 0; q < nz; ++q) {
    const int j = list2[q];
    v[j] = work[j];
    work[j] = 0.0;
    x.idx[q] = j;
  }
  x.nnz = nz;
  x.packed = true;
  stats.work += nz;
}

// Position-indexed values to slot-indexed ones, under a new stamp.
void Factor::Impl::toSlots(WorkVec& x) {
  double* v = x.val.data();
  newStamp();
  for (int q = 0; q < x.nnz; ++q) {
    const int j = x.idx[q];
    work[slotOf[j]] = v[j];
    v[j] = 0.0;
    x.idx[q] = slotOf[j];
  }
  for (int q = 0; q < x.nnz; ++q) {
    const int s = x.idx[q];
    v[s] = work[s];
    work[s] = 0.0;
    mark[s] = stamp;
  }
  stats.work += 2 * x.nnz;
}

void Factor::Impl::pfFtran(double* v) {
  const int ne = static_cast<int>(pfPos.size());
  for (int k = 0; k < ne; ++k) {
    const int p = pfPos[k];
    if (v[p] == 0.0) continue;
    const double xp = v[p] / pfPiv[k];
    v[p] = xp;
    for (int e = pfStart[k]; e < pfStart[k + 1]; ++e) v[pfIdx[e]] -= pfVal[e] * xp;
  }
}

void Factor::Impl::pfBtran(double* v) {
  for (int k = static_cast<int>(pfPos.size()) - 1; k >= 0; --k) {
    const int p = pfPos[k];
    double d = v[p];
    for (int e = pfStart[k]; e < pfStart[k + 1]; ++e) d -= pfVal[e] * v[pfIdx[e]];
    v[p] = d / pfPiv[k];
  }
}

// Rebuild the index list from the values (drops tiny values).
void Factor::Impl::finish(WorkVec& x) {
  double* v = x.val.data();
  int nz = 0;
  for (int i = 0; i < m; ++i) {
    if (v[i] == 0.0) continue;
    if (std::fabs(v[i]) <= kDropTolerance) {
      v[i] = 0.0;
      continue;
    }
    x.idx[nz++] = i;
  }
  x.nnz = nz;
  x.packed = true;
  stats.work += m;
}

// Drop zeros and tiny values from the list (row-space results).
void Factor::Impl::prune(WorkVec& x) {
  double* v = x.val.data();
  int nz = 0;
  for (int q = 0; q < x.nnz; ++q) {
    const int i = x.idx[q];
    const double xi = v[i];
    if (xi == 0.0) continue;
    if (std::fabs(xi) <= kDropTolerance) {
      v[i] = 0.0;
      continue;
    }
    x.idx[nz++] = i;
  }
  x.nnz = nz;
  x.packed = true;
}

// The symbolic pass pays off for a sparse right-hand side whose result is
// expected to stay sparse.
bool Factor::Impl::wantSparse(const WorkVec& x, double hint) const {
  return hint <= kHyperDensityHint && x.nnz <= kHyperInputShare * m;
}

void Factor::Impl::ftran(WorkVec& x, double hint, bool keep) {
  ++stats.ftrans;
  if (m == 0) {
    x.nnz = 0;
    x.packed = true;
    return;
  }
  if (!x.packed) finish(x);
  const bool sparse = wantSparse(x, hint);
  if (sparse) {
    ++stats.hyperFtrans;
  } else {
    remark(x);
  }
  ftranL(x, sparse);
  ftranR(x);
  if (keep && !productForm) {
    for (int q = 0; q < spikeNnz; ++q) spike[spikeIdx[q]] = 0.0;
    spikeNnz = 0;
    const double* v = x.val.data();
    for (int q = 0; q < x.nnz; ++q) {
      const int i = x.idx[q];
      if (v[i] == 0.0) continue;
      spike[i] = v[i];
      spikeIdx[spikeNnz++] = i;
    }
  }
  ftranU(x, sparse && x.nnz <= kHyperInputShare * 2 * m);
  toPositions(x);
  if (productForm && !pfPos.empty()) {
    pfFtran(x.val.data());
    finish(x);
  }
  if (keep) {
    for (int k = 0; k < savedNnz; ++k) saved[savedIdx[k]] = 0.0;
    for (int k = 0; k < x.nnz; ++k) {
      savedIdx[k] = x.idx[k];
      saved[x.idx[k]] = x.val[x.idx[k]];
    }
    savedNnz = x.nnz;
    savedValid = true;
  }
}

void Factor::Impl::btran(WorkVec& x, double hint) {
  ++stats.btrans;
  if (m == 0) {
    x.nnz = 0;
    x.packed = true;
    return;
  }
  if (productForm && !pfPos.empty()) {
    pfBtran(x.val.data());
    finish(x);
  }
  if (!x.packed) finish(x);
  const bool sparse = wantSparse(x, hint);
  if (sparse) ++stats.hyperBtrans;
  toSlots(x);
  const bool unit = x.nnz == 1 && !productForm;
  double unitValue = 0.0;
  if (unit) {
    rowCacheSlot = x.idx[0];
    unitValue = x.val[rowCacheSlot];
  }
  btranU(x, sparse);
  if (unit) {
    const double* v = x.val.data();
    int nz = 0;
    for (int q = 0; q < x.nnz; ++q) {
      const int t = x.idx[q];
      if (v[t] == 0.0) continue;
      rowCacheIdx[nz] = t;
      rowCacheVal[nz] = v[t];
      ++nz;
    }
    rowCacheNnz = nz;
    rowCacheScale = unitValue;
    rowCacheValid = unitValue != 0.0;
  }
  btranR(x);
  btranL(x, sparse && x.nnz <= kHyperInputShare * 2 * m);
  prune(x);
}

// ---------------------------------------------------------------------------
// Update
//
// Forrest-Tomlin: the spike (entering column after L and the row etas)
// replaces column s of U, where s is the slot of the leaving position.  Row s
// of U is then eliminated with the rows of the slots after s, which gives one
// row eta, and slot s moves to the end of the pivot order; its new pivot is
// the spike's entry in row s less the eliminated part.  The new pivot equals
// the old one times the FTRAN'd column's entry at the leaving position, which
// is the accuracy check of the update.

void Factor::Impl::compactOrder() {
  int k = 0;
  for (int o = 0; o < orderLen; ++o) {
    const int s = order[o];
    if (s < 0) continue;
    order[k] = s;
    posOf[s] = k;
    ++k;
  }
  orderLen = k;
}

int Factor::Impl::updateFT(int pos, double alpha) {
  const int s = slotOf[pos];
  // Row s of U, to be eliminated by the rows of the slots after s.
  double* rw = work.data();
  heap.clear();
  newStamp();
  const bool useCache = rowCacheValid && rowCacheSlot == s;
  if (!useCache) {
    const int st = urow.start[s], l = urow.len[s];
    for (int p = st; p < st + l; ++p) {
      const int t = urow.idx[p];
      rw[t] = urow.val[p];
      mark[t] = stamp;
      heap.push_back({posOf[t], t});
    }
  }
  std::make_heap(heap.begin(), heap.end(), std::greater<>());
  int ne = 0;
  double dnew = spike[s];
  double maxMult = 0.0;
  if (useCache) {
    // The multipliers are -d_s times U^-T e_s, which the BTRAN of the
    // leaving row has just computed.
    const double f = -diag[s] / rowCacheScale;
    for (int q = 0; q < rowCacheNnz; ++q) {
      const int t = rowCacheIdx[q];
      if (t == s) continue;
      const double mult = f * rowCacheVal[q];
      etaSlot[ne] = t;
      etaMult[ne] = mult;
      ++ne;
      dnew -= mult * spike[t];
      maxMult = std::max(maxMult, std::fabs(mult));
    }
    stats.work += rowCacheNnz;
  }
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), std::greater<>());
    const int t = heap.back().second;
    heap.pop_back();
    const double r = rw[t];
    rw[t] = 0.0;
    if (r == 0.0) continue;
    const double mult = r / diag[t];
    etaSlot[ne] = t;
    etaMult[ne] = mult;
    ++ne;
    dnew -= mult * spike[t];
    maxMult = std::max(maxMult, std::fabs(mult));
    const int st = urow.start[t], l = urow.len[t];
    for (int p = st; p < st + l; ++p) {
      const int v = urow.idx[p];
      if (mark[v] != stamp) {
        mark[v] = stamp;
        heap.push_back({posOf[v], v});
        std::push_heap(heap.begin(), heap.end(), std::greater<>());
      }
      rw[v] -= mult * urow.val[p];
    }
    stats.work += l;
  }
  // Checks before anything changes.
  double maxSpike = 0.0;
  for (int q = 0; q < spikeNnz; ++q) maxSpike = std::max(maxSpike, std::fabs(spike[spikeIdx[q]]));
  const double dold = diag[s];
  const double expect = dold * alpha;
  const bool disagree = std::fabs(dnew - expect) > kUpdatePivotAgreement * std::max(std::fabs(dnew), std::fabs(expect));
  if (std::fabs(alpha) <= kUpdatePivotTolerance || std::fabs(dnew) <= kUpdatePivotTolerance * std::fabs(dold) ||
      disagree || maxSpike > updateBound1 * std::fabs(dnew) || maxMult > updateBound2) {
    ++stats.refusedUpdates;
    return -1;
  }
  growthSpike = std::max(growthSpike, maxSpike / std::fabs(dnew));
  growthEta = std::max(growthEta, maxMult);

  // Remove column s and row s of U.
  {
    const int st = ucol.start[s], l = ucol.len[s];
    for (int p = st; p < st + l; ++p) {
      const int q = ucol.cross[p];
      urow.removeAt(ucol.idx[p], q);
    }
    ucol.len[s] = 0;
    const int st2 = urow.start[s], l2 = urow.len[s];
    for (int q = st2; q < st2 + l2; ++q) {
      const int p = urow.cross[q];
      ucol.removeAt(urow.idx[q], p);
    }
    urow.len[s] = 0;
    stats.work += l + l2;
  }
  // The spike is the new column s.
  int64_t added = 0;
  for (int q = 0; q < spikeNnz; ++q) {
    const int t = spikeIdx[q];
    if (t == s) continue;
    const double w = spike[t];
    if (std::fabs(w) <= kDropTolerance) continue;
    const int pc = ucol.push(s, t, w);
    const int pr = urow.push(t, s, w);
    ucol.cross[pc] = pr;
    urow.cross[pr] = pc;
    ++added;
  }
  diag[s] = dnew;
  // Slot s goes to the end of the order.
  order[posOf[s]] = -1;
  if (orderLen >= static_cast<int>(order.size())) compactOrder();
  posOf[s] = orderLen;
  order[orderLen++] = s;
  // The row eta.
  if (ne > 0) {
    rPiv.push_back(s);
    for (int k = 0; k < ne; ++k) {
      rIdx.push_back(etaSlot[k]);
      rVal.push_back(etaMult[k]);
    }
    rStart.push_back(static_cast<int>(rIdx.size()));
    etaNnz += ne;
  }
  stats.currentNnz += added + ne;
  return 0;
}

int Factor::Impl::update(int pos) {
  if (!valid || !savedValid || pos < 0 || pos >= m) return 1;
  savedValid = false;
  const double alpha = saved[pos];
  if (productForm) {
    if (std::fabs(alpha) <= kUpdatePivotTolerance) {
      ++stats.refusedUpdates;
      valid = false;
      return 1;
    }
    pfPos.push_back(pos);
    pfPiv.push_back(alpha);
    for (int k = 0; k < savedNnz; ++k) {
      const int i = savedIdx[k];
      if (i == pos) continue;
      pfIdx.push_back(i);
      pfVal.push_back(saved[i]);
    }
    pfStart.push_back(static_cast<int>(pfIdx.size()));
    stats.currentNnz += savedNnz;
  } else {
    const int rc = updateFT(pos, alpha);
    rowCacheValid = false;
    if (rc != 0) {
      valid = false;
      return 1;
    }
  }
  ++numUpdates;
  ++stats.updates;
  if (numUpdates >= updateLimit) return 1;
  if (static_cast<double>(stats.currentNnz) > fillLimitFactor * static_cast<double>(stats.factorNnz) + m)
    return 1;
  return 0;
}

// ---------------------------------------------------------------------------

Factor::Factor() : impl_(new Impl) {}
Factor::~Factor() { delete impl_; }

void Factor::setPivotThreshold(double u) {
  impl_->pivotThreshold = std::clamp(u, 1e-4, 0.99999);
}
double Factor::pivotThreshold() const { return impl_->pivotThreshold; }

int Factor::build(const MatrixView& a, int* basis, std::vector<int>* replacedPositions) {
  return impl_->build(a, basis, replacedPositions);
}

void Factor::ftran(WorkVec& x, double density) const { impl_->ftran(x, density, false); }

void Factor::btran(WorkVec& x, double density) const { impl_->btran(x, density); }

void Factor::ftranForUpdate(WorkVec& x, double density) { impl_->ftran(x, density, true); }

int Factor::update(int pos, double alpha) {
  Impl& f = *impl_;
  if (f.savedValid && pos >= 0 && pos < f.m) {
    const double a = f.saved[pos];
    if (std::fabs(a - alpha) > kPivotAgreement * std::max(1.0, std::fabs(a))) {
      f.savedValid = false;
      f.valid = false;
      ++f.stats.refusedUpdates;
      return 1;
    }
  }
  return f.update(pos);
}

int Factor::update(int pos) { return impl_->update(pos); }

int Factor::numUpdates() const { return impl_->numUpdates; }
double Factor::conditionRatio() const { return impl_->conditionRatio; }
void Factor::setAbsolutePivotTolerance(double tol) { impl_->absPivotTol = std::max(tol, 1e-300); }
void Factor::setUpdateLimit(int limit) { impl_->updateLimit = std::max(limit, 1); }
int Factor::updateLimit() const { return impl_->updateLimit; }
void Factor::setDenseSwitch(double density) { impl_->denseSwitch = density; }
void Factor::setProductFormUpdate(bool on) { impl_->productForm = on; }
void Factor::setUpdateGrowthBounds(double spikeBound, double etaBound) {
  impl_->updateBound1 = spikeBound;
  impl_->updateBound2 = etaBound;
}
bool Factor::valid() const { return impl_->valid; }

double raiseMarkowitzThreshold(double t) {
  if (t < 0.1) return 0.1;
  if (t + 0.1 > 0.99999) return 0.99999;
  return t + 0.1;
}

bool factorIllConditioned(double ratio, double t) {
  return (ratio > 1e9 && t < 0.1) || (ratio > 1e10 && t < 0.2) || (ratio > 1e11 && t < 0.3) ||
         (ratio > 1e12 && t < 0.5) || (ratio > 1e13 && t < 0.99999);
}
const FactorStats& Factor::stats() const { return impl_->stats; }

}  // namespace vnt::simplex
