// What a caller attaches to a model besides its data: the MIP starts and the
// solution-pool filters.  Kept in the problem's kSlotStarts state slot:
// column deletions renumber (and drop the entries of deleted columns),
// replacing the whole model drops everything, other changes keep it.
#pragma once

#include <string>
#include <vector>

#include "model/problem.h"

namespace vnt::model {

struct MipStart {
  std::string name;
  int effort = 0;          // 0 / -1 automatic, 1 check, 2 solve fixed, 3 sub-MIP, 4 repair
  std::vector<int> ind;    // distinct columns
  std::vector<double> val;
};

// A solution-pool filter.  Diversity: sum of weight * |x - refval| over
// binary columns must lie in [lower, upper].  Range: sum of val * x must
// lie in [lower, upper].
struct PoolFilter {
  std::string name;
  bool diversity = false;
  double lower = 0.0, upper = 0.0;
  std::vector<int> ind;
  std::vector<double> val;     // weights (diversity) or coefficients (range)
  std::vector<double> refval;  // diversity only
};

class Attachments final : public SolverState {
 public:
  bool onChange(Problem& p, const ChangeEvent& ev) override;
  std::vector<MipStart> starts;
  std::vector<PoolFilter> filters;
};

// The problem's attachments (created on first use when `create`; null when
// absent or out of memory).
Attachments* attachments(Problem& p, bool create);
const Attachments* findAttachments(const Problem& p);

// The default name of the k-th (0-based) MIP start: "m" + (k + 1).
std::string defaultStartName(size_t k);

}  // namespace vnt::model
