// Randomized differential testing of the LP optimizer: the model form shared
// by the generator, the independent checks, the peers and the driver.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vnt::diff {

constexpr double kInf = 1e20;  // bounds and limits at or beyond this are infinite

// One LP in the form the C interface takes (column-wise matrix, row senses
// with range values), plus the offset of the objective.
struct Lp {
  int n = 0, m = 0;
  int objsen = 1;  // +1 minimize, -1 maximize
  double offset = 0.0;
  std::vector<double> obj, lb, ub;
  std::vector<double> rhs, rng;
  std::vector<char> sense;
  std::vector<int> beg, cnt, ind;  // beg/cnt per column
  std::vector<double> val;

  // Row activity limits [lo, up] of row i (+-kInf where open).
  void rowLimits(int i, double& lo, double& up) const;
  int nnz() const { return static_cast<int>(ind.size()); }
};

// What the generator intended a case to be (the peers decide what it is).
enum class Intent { Optimal, Infeasible, Unbounded, InfOrUnbd, Error };
const char* intentName(Intent k);

// The generator's families.  Each case id maps to one family and a seed; the
// same id always gives the same model.
enum class Family {
  Mixed,      // every row and bound kind, integer data, feasible and bounded
  Degen,      // heavy primal and dual degeneracy, duplicated columns, zero rhs
  NearDep,    // rows that are combinations of others plus tiny perturbations
  NearPar,    // nearly parallel equality rows, rhs differing in the 9th digit
  Scaled,     // coefficients spanning 1e-4 .. 1e5
  Large,      // a few hundred rows, dense or sparse
  Infeas,     // constructed infeasible
  Unbd,       // constructed unbounded
  InfUnbd,    // primal and dual infeasible
  Crossed,    // a column with lower bound above its upper bound
  Cycle,      // small degenerate models of the kind that make a simplex cycle
  BadData,    // NaN / infinite data given through the interface
  kCount
};
const char* familyName(Family f);
bool familyFromName(const std::string& s, Family& f);

struct Case {
  uint64_t id = 0;
  Family family = Family::Mixed;
  Intent intent = Intent::Optimal;
  Lp lp;
  std::string note;  // what was built, for reports
};

struct GenOptions {
  int maxRows = 300;  // upper end of the size range
};

// Family of case id among the enabled ones (cycling over them), then the model.
Case generate(uint64_t id, Family family, const GenOptions& opt);

// A random small change of a model for the warm re-solve path: a few bounds,
// objective coefficients and right-hand sides (and, when asked, the offset).
struct Change {
  std::vector<int> bdIdx;
  std::vector<char> bdLu;
  std::vector<double> bdVal;
  std::vector<int> objIdx;
  std::vector<double> objVal;
  std::vector<int> rhsIdx;
  std::vector<double> rhsVal;
  bool offsetChanged = false;
  double offset = 0.0;
  void applyTo(Lp& lp) const;
  std::string describe() const;
};
Change randomChange(const Lp& lp, uint64_t seed, bool withOffset);

// Free-format MPS text of a model in minimization form (the objective of a
// maximization is negated; the offset is left out).  Names R<i>, C<j>.
std::string toMps(const Lp& lp, const std::string& name);
bool writeFile(const std::string& path, const std::string& text);

}  // namespace vnt::diff

namespace vnt::diff {

// The model without the rows / columns whose flag is set.
Lp dropRowsCols(const Lp& lp, const std::vector<char>& dropRow, const std::vector<char>& dropCol);

// Delta-debugging style reduction: removes chunks of rows, then of columns,
// as long as stillFails holds for the smaller model.  At most maxTries calls.
Lp minimize(const Lp& lp, const std::function<bool(const Lp&)>& stillFails, int maxTries = 400);

}  // namespace vnt::diff
