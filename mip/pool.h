// The solution pool: the integer solutions a MIP run collects, kept until
// the problem's data change, and the populate operation that adds more.
#pragma once

#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include "env/env.h"
#include "model/attachments.h"
#include "model/problem.h"

namespace vnt::mip {

class Search;

// Kept with the search record (mip/search.h), so any change of the data
// drops it with the record.
class SolutionPool {
 public:
  struct Solution {
    double obj = 0.0;  // user sense
    std::vector<double> x;
    std::string name;  // empty: "p" + one-based index at the time of the query
    long long serial = 0;  // order of arrival
    // Hash of the rounded integer values (0: none): two solutions with
    // different keys are never the same, so the duplicate check compares
    // whole vectors only when the keys agree.
    uint64_t key = 0;
  };

  int version = 2;
  int numCols = 0;
  double intTol = 1e-5, relGap = 1e-4, absGap = 1e-6;
  int replace = 0;            // 0 oldest first, 1 worst objective first, 2 least diverse first
  long long capacity = 0;
  int sense = 1;
  double bestObj = 1e75;      // user sense, 1e75 while empty
  std::vector<Solution> sols;
  long long replaced = 0;     // solutions pushed out by newer ones
  long long rejected = 0;     // offered solutions not kept (duplicates, filters, full pool)
  long long serial = 0;
  int lastIntensity = 0;      // resolved intensity of the last populate
  std::vector<model::PoolFilter> filters;  // the problem's filters at the start of the run

  // Offers a feasible solution (original columns, user-sense objective).
  // Filters and duplicates are checked; a full pool replaces by the
  // policy.  Returns true when the solution was kept.
  bool offer(const model::ModelData& md, const double* x, double obj);
  // The solution figure of the node log: solutions held plus replaced.
  long long handled() const { return static_cast<long long>(sols.size()) + replaced; }
  std::string nameOf(size_t k) const;
};

// The pool of a problem (null when none).
SolutionPool* findPool(const model::Problem& p);
// The pool for a run of search s on p: created when the capacity parameter
// is positive and none exists, its settings and filters refreshed.  Null
// with a capacity of 0.
SolutionPool* poolForRun(Env& env, model::Problem& p, Search& s);

// True when x passes every filter.
bool passesFilters(const std::vector<model::PoolFilter>& filters, const double* x);

// VNTpopulate.
int populate(Env& env, model::Problem& p);

}  // namespace vnt::mip
