// Run-time switches of the differential tests, shared by the test and the
// benchmark-style driver.
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace vnt::diff {

// Parts of the run that expose faults still open in the optimizer.  They are
// left out of the default test run until the fault is fixed on main, and are
// switched on by name in VANTO_DIFF_OPEN (comma separated, or "all"):
//   certificate        infeasibility reported without a Farkas certificate (1265)
//   miptol             MIP answers whose rows miss by up to ten times the
//                      feasibility tolerance count as failures (fixed-charge
//                      capacity rows: flows of 1e-6 through closed sites)
inline const std::vector<std::string>& openFaultSwitches() {
  static const std::vector<std::string> s = {"certificate", "miptol"};
  return s;
}

inline bool openEnabled(const std::string& name) {
  const char* v = std::getenv("VANTO_DIFF_OPEN");
  if (!v) return false;
  std::stringstream ss(v);
  std::string item;
  while (std::getline(ss, item, ','))
    if (item == "all" || item == name) return true;
  return false;
}

inline int envInt(const char* name, int dflt) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : dflt;
}

}  // namespace vnt::diff
