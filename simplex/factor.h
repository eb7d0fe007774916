// Basis factorization used by the simplex engines.
//
// The constraint matrix is given column-wise for the n structural columns;
// variable j >= n is the logical (slack) of row j - n, whose column is the
// unit vector e_(j-n).  A basis is a list of m variable indices, one per basis
// position.  All vectors handed to ftran/btran are WorkVec: a dense value
// array of length m plus an index list of its nonzeros, so that solves with a
// sparse right-hand side can run in time proportional to the work done.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vnt::simplex {

// Dense values with an index list of the (possibly) nonzero entries.
// Invariant when `packed` is true: every nonzero val[i] has i in idx[0..nnz).
struct WorkVec {
  std::vector<double> val;
  std::vector<int> idx;
  int nnz = 0;
  bool packed = true;

  void resize(int m) {
    val.assign(m, 0.0);
    idx.assign(m, 0);
    nnz = 0;
    packed = true;
  }
  void clear() {
    if (packed && nnz < static_cast<int>(val.size()) / 3) {
      for (int k = 0; k < nnz; ++k) val[idx[k]] = 0.0;
    } else {
      std::fill(val.begin(), val.end(), 0.0);
    }
    nnz = 0;
    packed = true;
  }
  // Rebuild the index list from the dense values (drops exact zeros).
  void repack() {
    nnz = 0;
    for (int i = 0, m = static_cast<int>(val.size()); i < m; ++i)
      if (val[i] != 0.0) idx[nnz++] = i;
    packed = true;
  }
};

// Column-wise view of the structural part of the matrix: column j has the
// entries start[j] .. start[j+1]-1 of index/value.
struct MatrixView {
  int m = 0;
  int n = 0;
  const int64_t* start = nullptr;
  const int* index = nullptr;
  const double* value = nullptr;
};

struct FactorStats {
  int64_t builds = 0;
  int64_t updates = 0;
  int64_t ftrans = 0;
  int64_t btrans = 0;
  int64_t factorNnz = 0;  // nonzeros of L and U after the last build
  double lastBuildSeconds = 0.0;
  // Additions (informational).
  int64_t basisNnz = 0;           // nonzeros of B at the last build
  int64_t lNnz = 0;               // off-diagonal nonzeros of L after the last build
  int64_t uNnz = 0;               // off-diagonal nonzeros of U after the last build
  int64_t currentNnz = 0;         // L + U + update file now
  int denseSize = 0;              // order of the dense block of the last build (0: none)
  int lastReplacements = 0;       // singular positions repaired by the last build
  int64_t hyperFtrans = 0;        // solves that took the sparse (symbolic) path
  int64_t hyperBtrans = 0;
  int64_t refusedUpdates = 0;     // updates refused as numerically unsafe
  int64_t work = 0;               // nonzeros touched (for the deterministic work counter)
};

class Factor;
// See factor.cpp for the algorithm.  The interface is what the simplex
// engines rely on; the representation is private to the factorization.
class Factor {
 public:
  Factor();
  ~Factor();
  Factor(const Factor&) = delete;
  Factor& operator=(const Factor&) = delete;

  // Pivot tolerance of threshold (Markowitz) pivoting, in (0, 1).
  void setPivotThreshold(double u);
  double pivotThreshold() const;

  // Factorize the basis.  `basis` has m entries (variable indices).  When the
  // basis is singular, the dependent positions receive the logical of an
  // uncovered row; the replaced entries are written back into `basis`, and
  // the positions changed are listed in `replacedPositions`.  Returns the
  // number of replacements (0 for a nonsingular basis), or a negative value
  // on failure (out of memory).
  int build(const MatrixView& a, int* basis, std::vector<int>* replacedPositions = nullptr);

  // x := B^-1 x.  On entry x holds a vector indexed by row; on exit it is
  // indexed by basis position.  `density` is a hint (expected result
  // density, 0..1) to pick the sparse or dense kernels.
  void ftran(WorkVec& x, double density = 1.0) const;

  // x := B^-T x.  On entry indexed by basis position; on exit by row.
  void btran(WorkVec& x, double density = 1.0) const;

  // Solves are not thread-safe: they share scratch space inside the object.
  // A BTRAN of a unit vector e_p (any nonzero value) made after the last
  // update keeps a partial result that the next update(p) reuses for its
  // row elimination, as in a dual simplex iteration (BTRAN of the leaving
  // row, FTRAN of the entering column, update).
  //
  // FTRAN of the entering column that also keeps the partially transformed
  // column needed by the next update().  Call it with the entering column
  // (indexed by row) before update().
  void ftranForUpdate(WorkVec& x, double density = 1.0);

  // Replace the basis column at position `pos` by the entering column whose
  // ftranForUpdate() was the last one made.  Returns 0 on success, 1 when the
  // factors should be rebuilt (too many updates, too much fill, or the
  // update looks numerically unsafe).  After 1 for the update limit or fill,
  // the update was made and the factors are still usable; after a refusal
  // (pivot magnitude <= 1e-13, new U pivot disagreeing with the FTRAN'd
  // element, growth bounds exceeded) they still describe the old basis and
  // valid() is false: build() the new basis before the next solve.
  int update(int pos);
  // Same, with the pivot element as the caller computed it by other means
  // (e.g. from the BTRAN'd pivot row).  Returns 1 as well when it disagrees
  // with the FTRAN'd column's element beyond a relative tolerance.
  int update(int pos, double alpha);

  int numUpdates() const;
  const FactorStats& stats() const;

  // ---- Additions -------------------------------------------------------
  // Condition measure of the last build: max(1, max|d|) / min(1, min|d|)
  // over the pivots d of U (1.0 for an empty basis).
  double conditionRatio() const;
  // Pivots of magnitude below this are never accepted by build() (default
  // 1e-11); a column left with only such entries is dependent.
  void setAbsolutePivotTolerance(double tol);
  // Updates after which update() asks for a rebuild (default 100).
  void setUpdateLimit(int limit);
  int updateLimit() const;
  // Density of the active submatrix above which build() finishes with a
  // dense LU (default 0.3; 1.0 or more turns the dense finish off).
  void setDenseSwitch(double density);
  // Use product-form etas instead of the Forrest-Tomlin update of U (takes
  // effect at the next build; for tests and comparisons).
  void setProductFormUpdate(bool on);
  // Bounds of the two growth measures checked by update(): the largest
  // entry of the new U column relative to its pivot, and the largest
  // multiplier of the row eta.  Default 1e8 and 1e8.
  void setUpdateGrowthBounds(double spikeBound, double etaBound);
  // False before the first build, after a failed build and after update()
  // refused an update; solves are then meaningless until the next build().
  bool valid() const;

 private:
  struct Impl;
  Impl* impl_;
};

// Recovery ladder used by the driver around build().
// One raise of the Markowitz threshold: 0.01 -> 0.1 -> 0.2 ... 0.9 -> 0.99999.
double raiseMarkowitzThreshold(double t);
// True when a factor with this condition ratio, built with threshold t,
// should be rebuilt with a raised threshold.
bool factorIllConditioned(double ratio, double t);

}  // namespace vnt::simplex
