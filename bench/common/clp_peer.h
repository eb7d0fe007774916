// CLP as the peer of a benchmark: its dual simplex without presolve on a
// model file, run in the same job as our solver.
#pragma once

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>

namespace vnt::bench {

struct ClpResult {
  bool ok = false;         // CLP exited normally and reported objective, iterations and time
  bool optimal = false;    // ... of an optimal solution
  double seconds = 0.0;    // the time CLP reports for itself
  long long iterations = -1;
  double objective = 0.0;
  double wall = 0.0;       // the whole process, its start and the reading of the file included
  std::string output;      // what it printed
};

inline ClpResult runClp(const std::string& file) {
  ClpResult r;
  const auto t0 = std::chrono::steady_clock::now();
  FILE* p = popen(("clp " + file + " -presolve off -dualsimplex 2>&1").c_str(), "r");
  if (!p) return r;
  char line[4096];
  while (fgets(line, sizeof line, p)) r.output += line;
  const int rc = pclose(p);
  r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  // Last line: "Optimal objective 5501.845888 - 1234 iterations time 0.12".
  const auto k = r.output.rfind("objective ");
  if (rc != 0 || k == std::string::npos) return r;
  std::istringstream is(r.output.substr(k + 10));
  std::string dash, word, timeWord;
  double t = -1.0;
  if (is >> r.objective >> dash >> r.iterations >> word >> timeWord >> t && timeWord == "time") {
    r.ok = true;
    r.seconds = t;
    r.optimal = r.output.find("Optimal objective") != std::string::npos;
  }
  return r;
}

}  // namespace vnt::bench
