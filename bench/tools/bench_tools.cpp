// Analysis-tool benchmark.
//  ranging:  on the largest Netlib models, the time of ranging every column's
//            objective and bounds and every row's right-hand side from the
//            optimal basis, against the time of the solve itself (dual
//            simplex, presolve off so that the factors describe the model);
//            goal: at most one solve's time.
//  conflict: on every model of the infeasible set, the conflict refiner's
//            time, its LP solves, the conflict's size (rows and bounds) and
//            its status.  No peer here offers an irreducible infeasible
//            subsystem through the interfaces installed, so our numbers
//            stand alone.
// Usage: bench_tools [ranging|conflict|all] [model ...]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "vanto/vanto.h"

#ifndef VANTO_DATA_DIR
#define VANTO_DATA_DIR "../shared/data"
#endif

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string modelFile(const std::string& set, const std::string& name) {
  return std::string(VANTO_DATA_DIR) + "/" + set + "/" + name + ".mps.gz";
}

struct Session {
  VNTENVptr env = nullptr;
  VNTLPptr lp = nullptr;
  Session() {
    int st = 0;
    env = VNTopenVANTO(&st);
    lp = VNTcreateprob(env, &st, "bench");
  }
  ~Session() {
    VNTfreeprob(env, &lp);
    VNTcloseVANTO(&env);
  }
};

void ranging(const std::vector<std::string>& names) {
  std::printf("%-10s %7s %7s %9s %9s %9s %9s %7s\n", "model", "rows", "cols", "solve s", "obj s", "rhs s", "bound s",
              "ratio");
  std::vector<double> ratios;
  for (const std::string& name : names) {
    Session s;
    VNTsetintparam(s.env, VNT_PARAM_PREIND, 0);
    if (VNTreadcopyprob(s.env, s.lp, modelFile("netlib", name).c_str(), nullptr) != 0) continue;
    const int m = VNTgetnumrows(s.env, s.lp), n = VNTgetnumcols(s.env, s.lp);
    double t0 = now();
    if (VNTdualopt(s.env, s.lp) != 0 || VNTgetstat(s.env, s.lp) != 1) {
      std::printf("%-10s not solved to optimality\n", name.c_str());
      continue;
    }
    const double solve = now() - t0;
    std::vector<double> a(n), b(n), c(n), d(n), r1(m), r2(m);
    t0 = now();
    const int s1 = VNTobjsa(s.env, s.lp, 0, n - 1, a.data(), b.data());
    const double tObj = now() - t0;
    t0 = now();
    const int s2 = VNTrhssa(s.env, s.lp, 0, m - 1, r1.data(), r2.data());
    const double tRhs = now() - t0;
    t0 = now();
    const int s3 = VNTboundsa(s.env, s.lp, 0, n - 1, a.data(), b.data(), c.data(), d.data());
    const double tBnd = now() - t0;
    if (s1 || s2 || s3) {
      std::printf("%-10s ranging failed (%d %d %d)\n", name.c_str(), s1, s2, s3);
      continue;
    }
    const double ratio = (tObj + tRhs + tBnd) / std::max(solve, 1e-6);
    ratios.push_back(ratio);
    std::printf("%-10s %7d %7d %9.3f %9.3f %9.3f %9.3f %7.3f\n", name.c_str(), m, n, solve, tObj, tRhs, tBnd, ratio);
  }
  if (!ratios.empty()) {
    double lg = 0;
    for (double r : ratios) lg += std::log(std::max(r, 1e-9));
    std::printf("ranging / solve: geometric mean %.3f, largest %.3f over %zu models (goal <= 1)\n",
                std::exp(lg / ratios.size()), *std::max_element(ratios.begin(), ratios.end()), ratios.size());
  }
}

void conflicts(const std::vector<std::string>& names) {
  std::printf("%-10s %7s %7s %9s %8s %7s %7s %7s %6s\n", "model", "rows", "cols", "time s", "solves", "c-rows",
              "c-bnds", "members", "status");
  double total = 0;
  long long solves = 0, members = 0;
  for (const std::string& name : names) {
    Session s;
    VNTsetintparam(s.env, VNT_PARAM_CONFLICTDISPLAY, 0);
    if (VNTreadcopyprob(s.env, s.lp, modelFile("infeas", name).c_str(), nullptr) != 0) continue;
    const int m = VNTgetnumrows(s.env, s.lp), n = VNTgetnumcols(s.env, s.lp);
    // The summary report goes to the results channel: kept, not printed.
    std::string report;
    VNTCHANNELptr res, warn, err, log;
    VNTgetchannels(s.env, &res, &warn, &err, &log);
    VNTaddfuncdest(s.env, res, &report, [](void* h, const char* msg) { static_cast<std::string*>(h)->append(msg); });
    const double t0 = now();
    int nr = 0, nc = 0;
    const int st = VNTrefineconflict(s.env, s.lp, &nr, &nc);
    const double t = now() - t0;
    int cstat = 0, rows = 0, cols = 0;
    std::vector<int> ri(m), rs(m), ci(n), cs(n);
    if (st != 0 || VNTgetconflict(s.env, s.lp, &cstat, ri.data(), rs.data(), &rows, ci.data(), cs.data(), &cols)) {
      std::printf("%-10s refinement failed (%d)\n", name.c_str(), st);
      continue;
    }
    long long bounds = 0;
    for (int k = 0; k < cols; ++k) bounds += cs[k] % 3 == 0 ? 2 : 1;
    // Solves: "Iterations = N" of the summary report (one per LP solve).
    long long its = -1;
    const auto at = report.find("Iterations = ");
    if (at != std::string::npos) its = std::atoll(report.c_str() + at + 13);
    total += t;
    solves += its;
    members += rows + bounds;
    std::printf("%-10s %7d %7d %9.3f %8lld %7d %7lld %7lld %6d\n", name.c_str(), m, n, t, its, rows, bounds,
                rows + bounds, cstat);
  }
  std::printf("conflict: total %.2f s, %lld LP solves, %lld members over %zu models\n", total, solves, members,
              names.size());
}

std::vector<std::string> allIn(const std::string& set) {
  std::vector<std::string> v;
  for (const auto& e : std::filesystem::directory_iterator(std::string(VANTO_DATA_DIR) + "/" + set)) {
    const std::string f = e.path().filename().string();
    if (f.size() > 7 && f.compare(f.size() - 7, 7, ".mps.gz") == 0) v.push_back(f.substr(0, f.size() - 7));
  }
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "all";
  std::vector<std::string> names(argv + std::min(argc, 2), argv + argc);
  if (what == "ranging" || what == "all")
    ranging(names.empty() ? std::vector<std::string>{"dfl001", "fit2p", "80bau3b", "greenbea", "d2q06c", "maros-r7",
                                                     "pilot", "degen3", "ship12l", "sctap3", "czprob", "pilotnov"}
                          : names);
  if (what == "conflict" || what == "all") conflicts(names.empty() ? allIn("infeas") : names);
  return 0;
}
