// Warm-start benchmark: solve a Netlib model, change ten random bounds of
// columns (tightening around the optimal values, as branching does), and
// re-optimize from the last basis.  The same changed model is then solved
// cold in a fresh problem.  Prints iterations and CPU time of both and their
// ratios; the geometric mean of the time ratios closes the table.
//
//   bench_warm_start [model ...]     (default: a mixed Netlib set)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "common/models.h"
#include "bench_clock.h"
#include "vanto/vanto.h"

namespace {

using vnt::bench::cpuNow;

struct Solve {
  int stat = 0;
  long long iters = 0;
  double seconds = 0, obj = 0;
};

Solve solve(VNTENVptr env, VNTLPptr lp) {
  Solve s;
  double t0 = cpuNow();
  VNTdualopt(env, lp);
  s.seconds = cpuNow() - t0;
  s.stat = VNTgetstat(env, lp);
  s.iters = VNTLgetitcnt(env, lp);
  VNTgetobjval(env, lp, &s.obj);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> models;
  for (int i = 1; i < argc; ++i) models.emplace_back(argv[i]);
  if (models.empty())
    models = {"25fv47", "bnl2", "d2q06c", "degen3", "greenbea", "pilot", "scfxm3",
              "ship12l", "sctap3", "80bau3b", "fit2p", "maros-r7"};
  int st = 0;
  VNTENVptr env = VNTopenVANTO(&st);
  VNTsetintparam(env, VNT_PARAM_SIMDISPLAY, 0);
  std::mt19937 rng(12345);
  printf("%-10s %10s %10s %10s %10s %10s %10s %5s %8s\n", "model", "cold it", "cold s", "warm it",
         "warm s", "itratio", "tratio", "stat", "same");
  double logSum = 0;
  int counted = 0;
  for (const std::string& name : models) {
    std::string path = vnt::test::modelPath("netlib", name);
    VNTLPptr lp = VNTcreateprob(env, &st, name.c_str());
    if (VNTreadcopyprob(env, lp, path.c_str(), nullptr) != 0) {
      VNTfreeprob(env, &lp);
      continue;
    }
    Solve first = solve(env, lp);
    if (first.stat != 1) {
      printf("%-10s first solve status %d\n", name.c_str(), first.stat);
      VNTfreeprob(env, &lp);
      continue;
    }
    const int n = VNTgetnumcols(env, lp);
    std::vector<double> x(n), lb(n), ub(n);
    VNTgetx(env, lp, x.data(), 0, n - 1);
    VNTgetlb(env, lp, lb.data(), 0, n - 1);
    VNTgetub(env, lp, ub.data(), 0, n - 1);
    // Ten changes: a column strictly between its bounds gets its upper bound
    // pulled below its value (or its lower bound pushed above), as a branch.
    std::vector<int> idx;
    std::vector<char> lu;
    std::vector<double> bd;
    std::uniform_int_distribution<int> pick(0, n - 1);
    for (int tries = 0; tries < 100 * n && idx.size() < 10; ++tries) {
      int j = pick(rng);
      if (!(x[j] > lb[j] + 1e-6 && x[j] < ub[j] - 1e-6)) continue;
      if (std::find(idx.begin(), idx.end(), j) != idx.end()) continue;
      bool down = rng() & 1;
      // Round as a branch would, but stay inside the column's bounds.
      double v = down ? std::floor(x[j]) : std::ceil(x[j]);
      if (down && (v <= lb[j] || v == x[j])) v = x[j] - 0.5 * (x[j] - lb[j]);
      if (!down && (v >= ub[j] || v == x[j])) v = x[j] + 0.5 * (ub[j] - x[j]);
      idx.push_back(j);
      lu.push_back(down ? 'U' : 'L');
      bd.push_back(v);
    }
    VNTchgbds(env, lp, static_cast<int>(idx.size()), idx.data(), lu.data(), bd.data());
    Solve warm = solve(env, lp);
    // The warm solution must respect the changed bounds.
    std::vector<double> xw(n);
    VNTgetx(env, lp, xw.data(), 0, n - 1);
    double viol = 0;
    for (size_t k = 0; k < idx.size(); ++k) {
      int j = idx[k];
      viol = std::max(viol, lu[k] == 'U' ? xw[j] - bd[k] : bd[k] - xw[j]);
    }
    VNTLPptr fresh = VNTcreateprob(env, &st, "cold");
    VNTreadcopyprob(env, fresh, path.c_str(), nullptr);
    VNTchgbds(env, fresh, static_cast<int>(idx.size()), idx.data(), lu.data(), bd.data());
    Solve cold = solve(env, fresh);
    if (warm.stat != 1) viol = 0;  // an infeasible end has no solution to check
    bool same = viol <= 1e-6 && warm.stat == cold.stat &&
                (warm.stat != 1 || vnt::test::objectiveMatches(warm.obj, cold.obj));
    double itRatio = cold.iters ? static_cast<double>(warm.iters) / static_cast<double>(cold.iters) : 0;
    double tRatio = cold.seconds > 0 ? warm.seconds / cold.seconds : 0;
    if (!same) printf("  warm status %d obj %.10g, cold status %d obj %.10g, bound violation %g\n", warm.stat, warm.obj, cold.stat, cold.obj, viol);
    printf("%-10s %10lld %10.3f %10lld %10.3f %10.3f %10.3f %5d %8s\n", name.c_str(), cold.iters,
           cold.seconds, warm.iters, warm.seconds, itRatio, tRatio, warm.stat, same ? "yes" : "NO");
    if (tRatio > 0) {
      logSum += std::log(tRatio);
      ++counted;
    }
    VNTfreeprob(env, &fresh);
    VNTfreeprob(env, &lp);
  }
  if (counted) printf("geometric mean warm/cold time ratio: %.3f over %d models\n",
                      std::exp(logSum / counted), counted);
  VNTcloseVANTO(&env);
  return 0;
}
