// Shared helpers of the end-to-end tests: the test-model folder and the
// reference outcomes of its models.
#pragma once

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vnt::test {

inline std::string dataDir() {
  if (const char* d = std::getenv("VANTO_DATA_DIR")) return d;
  return VANTO_DATA_DIR;
}

struct Reference {
  std::string set;
  std::string status;  // optimal, infeasible, unknown
  double objective = NAN;
};

struct ReferenceRow {
  std::string name;
  Reference ref;
};

// The rows of reference.tsv in file order (an instance name may stand in
// more than one set).
inline const std::vector<ReferenceRow>& referenceRows() {
  static const std::vector<ReferenceRow> rows = [] {
    std::vector<ReferenceRow> r;
    std::ifstream in(dataDir() + "/reference.tsv");
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
      std::istringstream ls(line);
      std::string name, set, status, obj;
      std::getline(ls, name, '\t');
      std::getline(ls, set, '\t');
      std::getline(ls, status, '\t');
      std::getline(ls, obj, '\t');
      Reference ref;
      ref.set = set;
      ref.status = status;
      ref.objective = obj.empty() ? NAN : std::strtod(obj.c_str(), nullptr);
      r.push_back({name, ref});
    }
    return r;
  }();
  return rows;
}

// instance name -> reference outcome (a later row of the same name wins).
inline const std::map<std::string, Reference>& references() {
  static const std::map<std::string, Reference> refs = [] {
    std::map<std::string, Reference> r;
    for (const auto& row : referenceRows()) r[row.name] = row.ref;
    return r;
  }();
  return refs;
}

// The reference outcome of one instance of one set; throws std::out_of_range
// when the file has none.
inline const Reference& reference(const std::string& set, const std::string& name) {
  for (const auto& row : referenceRows())
    if (row.ref.set == set && row.name == name) return row.ref;
  throw std::out_of_range("no reference for " + set + "/" + name);
}

inline std::string modelPath(const std::string& set, const std::string& name) {
  return dataDir() + "/" + set + "/" + name + ".mps.gz";
}

// Relative 1e-6, absolute 1e-9 near zero.
inline bool objectiveMatches(double got, double want, double rel = 1e-6) {
  return std::fabs(got - want) <= std::max(1e-9, rel * std::fabs(want));
}

}  // namespace vnt::test
