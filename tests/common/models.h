// Shared helpers of the end-to-end tests: the test-model folder and the
// reference outcomes of its models.
#pragma once

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

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

// instance name -> reference outcome, from reference.tsv.
inline const std::map<std::string, Reference>& references() {
  static const std::map<std::string, Reference> refs = [] {
    std::map<std::string, Reference> r;
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
      r[name] = ref;
    }
    return r;
  }();
  return refs;
}

inline std::string modelPath(const std::string& set, const std::string& name) {
  return dataDir() + "/" + set + "/" + name + ".mps.gz";
}

// Relative 1e-6, absolute 1e-9 near zero.
inline bool objectiveMatches(double got, double want, double rel = 1e-6) {
  return std::fabs(got - want) <= std::max(1e-9, rel * std::fabs(want));
}

}  // namespace vnt::test
