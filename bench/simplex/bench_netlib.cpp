// Netlib benchmark of the dual simplex against the CLP command-line solver:
// per model our time and iterations, CLP's, and the geometric-mean time ratio.
// Both times include reading the gzip MPS file: ours is read + load + solve
// in CPU seconds, CLP's is the (CPU) time it reports for itself.
// Usage: bench_simplex_netlib [--primal] [--noclp] [--worst K] [--pprice P]
// [--crash C] [model ...] (P: primal pricing mode, 0 automatic; C: 0 for the
// slack start of the primal)
// (default: all of the Netlib set).  CLP runs as `clp <file> -presolve off
// -dualsimplex`.  Afterwards the K (default 10) models with the worst ratios
// are solved again with the engine's profile on, and the time of each is
// broken down into reading, loading and the parts of the simplex iterations.
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "simplex/lp_engine.h"
#include "bench_clock.h"
#include "clp_peer.h"
#include "common/read_model.h"

#ifndef VANTO_DATA_DIR
#define VANTO_DATA_DIR "../shared/data"
#endif

namespace {

using vnt::bench::ClpResult;
using vnt::bench::cpuNow;
using vnt::bench::runClp;

}  // namespace

int main(int argc, char** argv) {
  bool primal = false, clp = true;
  int worst = 10;
  int pprice = 0;
  int crash = 1;
  std::vector<std::string> names;
  for (int a = 1; a < argc; ++a) {
    if (!std::strcmp(argv[a], "--primal")) primal = true;
    else if (!std::strcmp(argv[a], "--noclp")) clp = false;
    else if (!std::strcmp(argv[a], "--worst") && a + 1 < argc) worst = std::atoi(argv[++a]);
    else if (!std::strcmp(argv[a], "--pprice") && a + 1 < argc) pprice = std::atoi(argv[++a]);
    else if (!std::strcmp(argv[a], "--crash") && a + 1 < argc) crash = std::atoi(argv[++a]);
    else names.push_back(argv[a]);
  }
  const std::string dir = std::string(VANTO_DATA_DIR) + "/netlib";
  std::map<std::string, double> ref;
  {
    std::ifstream in(std::string(VANTO_DATA_DIR) + "/reference.tsv");
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream is(line);
      std::string name, set, status;
      double obj;
      if (std::getline(is, name, '\t') && std::getline(is, set, '\t') && std::getline(is, status, '\t') &&
          (is >> obj) && set == "netlib")
        ref[name] = obj;
    }
  }
  if (names.empty())
    for (auto& [n, v] : ref) names.push_back(n);
  std::printf("%-10s %7s %7s %10s %8s %10s %8s %7s  %s\n", "model", "rows", "cols", "our_s", "our_it", "clp_s", "clp_it",
              "ratio", "result");
  double logSum = 0.0;
  int nRatio = 0, nOk = 0, nRun = 0;
  std::vector<std::pair<double, std::string>> ratios;
  for (const auto& name : names) {
    std::string file = dir + "/" + name + ".mps.gz";
    vnt::model::ModelData md;
    std::string err;
    const double t0 = cpuNow();
    if (!vnt::test::readModel(file, md, &err)) {
      std::printf("%-10s read error: %s\n", name.c_str(), err.c_str());
      continue;
    }
    ++nRun;
    vnt::simplex::LpEngine eng;
    eng.options().primalPricing = pprice;
    eng.options().crash = crash;
    eng.load(md);
    vnt::simplex::LpStatus st = primal ? eng.solvePrimal() : eng.solveDual();
    double ours = cpuNow() - t0;
    double obj = eng.objective();
    bool good = st == vnt::simplex::LpStatus::kOptimal && ref.count(name) &&
                std::fabs(obj - ref[name]) <= 1e-6 * std::max(1.0, std::fabs(ref[name]));
    nOk += good;
    ClpResult c;
    if (clp) c = runClp(file);
    double ratio = (clp && c.ok && c.seconds > 0) ? ours / c.seconds : 0.0;
    if (ratio > 0) {
      logSum += std::log(ratio);
      ++nRatio;
      ratios.emplace_back(ratio, name);
    }
    std::printf("%-10s %7d %7d %10.3f %8lld %10.3f %8lld %7.2f  %s st=%d obj=%.10g ref=%.10g\n", name.c_str(),
                md.numRows(), md.numCols(), ours, static_cast<long long>(eng.iterations()), c.seconds, c.iterations,
                ratio, good ? "ok" : "FAIL", static_cast<int>(st), obj, ref.count(name) ? ref[name] : 0.0);
    std::fflush(stdout);
  }
  std::printf("\n%d of %d models optimal at the reference value\n", nOk, nRun);
  if (nRatio > 0) std::printf("geometric mean time ratio (ours / clp): %.3f over %d models\n", std::exp(logSum / nRatio), nRatio);

  // Where the time goes on the worst ratios (a second, profiled solve).
  std::sort(ratios.rbegin(), ratios.rend());
  if (worst > 0 && !ratios.empty()) {
    std::printf("\ntime breakdown of the %d worst ratios (seconds; profiled solve)\n",
                std::min<int>(worst, static_cast<int>(ratios.size())));
    std::printf("%-10s %6s %8s %8s %8s %8s %8s %8s %8s %8s %8s %8s %6s\n", "model", "ratio", "read", "load", "factor",
                "ftran", "btran", "pricing", "pivrow", "ratiot", "update", "other", "refac");
  }
  for (int k = 0; k < worst && k < static_cast<int>(ratios.size()); ++k) {
    const std::string& name = ratios[k].second;
    vnt::model::ModelData md;
    auto t0 = std::chrono::steady_clock::now();
    if (!vnt::test::readModel(dir + "/" + name + ".mps.gz", md, nullptr)) continue;
    auto t1 = std::chrono::steady_clock::now();
    vnt::simplex::LpEngine eng;
    eng.options().profile = true;
    eng.load(md);
    auto t2 = std::chrono::steady_clock::now();
    if (primal) eng.solvePrimal();
    else eng.solveDual();
    const vnt::simplex::LpProfile& pr = eng.profile();
    double parts = pr.factor + pr.ftran + pr.btran + pr.pricing + pr.pivotRow + pr.ratio + pr.update;
    std::printf("%-10s %6.2f %8.4f %8.4f %8.4f %8.4f %8.4f %8.4f %8.4f %8.4f %8.4f %8.4f %6lld\n", name.c_str(),
                ratios[k].first, std::chrono::duration<double>(t1 - t0).count(),
                std::chrono::duration<double>(t2 - t1).count(), pr.factor, pr.ftran, pr.btran, pr.pricing, pr.pivotRow,
                pr.ratio, pr.update, pr.total - parts, static_cast<long long>(eng.refactorizations()));
  }
  return 0;
}
