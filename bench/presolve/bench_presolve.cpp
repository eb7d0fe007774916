// Presolve benchmark: our default VNTlpopt (presolve on, file reading
// excluded) against `clp MODEL -dualsimplex` with CLP's default presolve, in
// the same run, on Netlib and on the LP relaxations of MIPLIB 3.  Per model:
// our CPU time (every thread of the process, so a concurrent race counts
// twice) and wall time, CLP's CPU time (the time CLP reports for its solve),
// the CPU ratio (not disturbed by the load of a shared machine),
// the reduced sizes of both presolves (rows, columns, nonzeros) and our
// presolve time.  Summary: geometric-mean ratio over the models where CLP
// needs 10 ms or more, the largest ratio, how often our reduced problem is
// no larger than CLP's, and the share of our time spent in presolve.
// With --methods LIST (LP method codes, e.g. 0,2,1) every model is solved
// once per method instead, and the table gives the CPU and wall time of each
// (for method 0 also the winner of a concurrent run) next to CLP's; the
// summary compares the automatic choice with the best single method on the
// models where it ran the concurrent method.
// With --param NUM=VALUE an integer parameter is set before the runs
// (repeatable; e.g. 1044=1 solves the dual formulation).
// With --sizes only the presolves run (ours through VNTpresolve, CLP's with
// no simplex iteration): reduced sizes and presolve CPU times side by side.
// Usage: bench_presolve [--set netlib|miplib3|all] [--noclp] [--sizes] [--methods LIST] [--param NUM=VALUE] [model ...]
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "vanto/vanto.h"

#ifndef VANTO_DATA_DIR
#define VANTO_DATA_DIR "../shared/data"
#endif

namespace {

using vnt::bench::cpuNow;
using vnt::bench::wallNow;

struct Size {
  long long rows = -1, cols = -1, nz = -1;
};

struct ClpResult {
  bool ok = false;
  double seconds = 0.0;
  double objective = 0.0;
  Size reduced;
};

ClpResult runClp(const std::string& file, bool presolveOnly = false) {
  ClpResult r;
  const std::string cmd = "clp " + file + (presolveOnly ? " -maxIt 0" : "") + " -dualsimplex 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char line[4096];
  std::string all;
  while (fgets(line, sizeof line, p)) all += line;
  const int rc = pclose(p);
  // "Presolve 7 (-20) rows, 10 (-22) columns and 28 (-55) elements"
  const auto ps = all.find("\nPresolve ");
  if (ps != std::string::npos) {
    long long a = 0, b = 0, c = 0, da = 0, db = 0, dc = 0;
    if (std::sscanf(all.c_str() + ps + 1, "Presolve %lld (%lld) rows, %lld (%lld) columns and %lld (%lld) elements", &a,
                    &da, &b, &db, &c, &dc) == 6)
      r.reduced = {a, b, c};
  }
  // Last line: "Optimal objective -464.7531429 - 5 iterations time 0.002, Presolve 0.00".
  const auto k = all.rfind("objective ");
  if (rc == 0 && k != std::string::npos) {
    std::istringstream is(all.substr(k + 10));
    std::string dash, word, timeWord;
    long long it = 0;
    double t = -1.0;
    std::string tstr;
    if (is >> r.objective >> dash >> it >> word >> timeWord >> tstr && timeWord == "time") {
      t = std::strtod(tstr.c_str(), nullptr);
      std::string preWord, preTime;
      if (presolveOnly && is >> preWord >> preTime && preWord == "Presolve") t = std::strtod(preTime.c_str(), nullptr);
      r.ok = all.find("Optimal objective") != std::string::npos;
      r.seconds = t;
    }
  }
  if (r.reduced.rows < 0 && all.find("Presolve") == std::string::npos) r.reduced = {-1, -1, -1};
  return r;
}

// Size of the problem presolve left (the whole problem when it reduced
// nothing, zero when it eliminated everything).
Size reducedSize(VNTENVptr env, VNTLPptr lp) {
  int prestat = 0;
  VNTgetprestat(env, lp, &prestat, nullptr, nullptr, nullptr, nullptr);
  VNTCLPptr red = nullptr;
  if (prestat == 1 && VNTgetredlp(env, lp, &red) == 0)
    return {VNTgetnumrows(env, red), VNTgetnumcols(env, red), VNTgetnumnz(env, red)};
  if (prestat == 2) return {0, 0, 0};
  return {VNTgetnumrows(env, lp), VNTgetnumcols(env, lp), VNTgetnumnz(env, lp)};
}

struct Results {
  std::vector<std::string> lines;
  static void fn(void* h, const char* m) { static_cast<Results*>(h)->lines.emplace_back(m); }
};

std::map<std::string, std::pair<std::string, double>> references(const std::string& set) {
  std::map<std::string, std::pair<std::string, double>> ref;
  std::ifstream in(std::string(VANTO_DATA_DIR) + "/reference.tsv");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream is(line);
    std::string name, s, status, obj;
    if (std::getline(is, name, '\t') && std::getline(is, s, '\t') && std::getline(is, status, '\t') && s == set) {
      std::getline(is, obj, '\t');
      ref[name] = {status, obj.empty() ? NAN : std::strtod(obj.c_str(), nullptr)};
    }
  }
  return ref;
}

// Each model solved once per method (presolve on, defaults otherwise).
int compareMethods(VNTENVptr env, Results& res, const std::vector<std::pair<std::string, std::string>>& models,
                   const std::vector<int>& methods, bool clp) {
  const size_t nm = methods.size();
  std::printf("%-10s %-8s", "model", "set");
  for (int m : methods) std::printf(" | m%d_cpu  m%d_wall  its", m, m);
  std::printf(" | clp_cpu | race\n");
  std::vector<double> logClp(nm, 0.0);
  int nClp = 0;
  // Over the models where method 0 raced: log of its CPU and wall against
  // the best single method's (of those listed) and against the dual's.
  double logBestCpu = 0.0, logBestWall = 0.0, logDualCpu = 0.0;
  int nRace = 0, nWrong = 0;
  for (const auto& [s, name] : models) {
    const std::string file = std::string(VANTO_DATA_DIR) + "/" + s + "/" + name + ".mps.gz";
    std::vector<double> cpu(nm, NAN), wall(nm, NAN), obj(nm, NAN);
    std::string race = "-";
    bool raced = false;
    std::printf("%-10s %-8s", name.c_str(), s.c_str());
    for (size_t k = 0; k < nm; ++k) {
      int st = 0;
      VNTLPptr lp = VNTcreateprob(env, &st, name.c_str());
      if (VNTreadcopyprob(env, lp, file.c_str(), nullptr) != 0) {
        VNTfreeprob(env, &lp);
        break;
      }
      if (VNTgetprobtype(env, lp) != 0) VNTchgprobtype(env, lp, 0);
      VNTsetintparam(env, VNT_PARAM_LPMETHOD, methods[k]);
      res.lines.clear();
      const double t0 = wallNow(), c0 = cpuNow();
      const int rc = VNTlpopt(env, lp);
      cpu[k] = cpuNow() - c0;
      wall[k] = wallNow() - t0;
      long long its = VNTgetitcnt(env, lp);
      if (rc == 0 && VNTgetstat(env, lp) == 1) VNTgetobjval(env, lp, &obj[k]);
      if (methods[k] == 0) {
        for (const auto& l : res.lines) {
          if (l.rfind("Parallel mode", 0) == 0) raced = true;
          else if (l.find(" solved model.") != std::string::npos) race = l.substr(1, l.find(' ') - 1);
        }
      }
      std::printf(" | %7.3f %8.3f %5lld", cpu[k], wall[k], its);
      VNTfreeprob(env, &lp);
    }
    VNTsetintparam(env, VNT_PARAM_LPMETHOD, 0);
    ClpResult c;
    if (clp) c = runClp(file);
    std::printf(" | %7.3f | %s\n", c.seconds, raced ? race.c_str() : "-");
    std::fflush(stdout);
    for (size_t k = 1; k < nm; ++k)
      if (!std::isnan(obj[0]) && !std::isnan(obj[k]) && std::fabs(obj[k] - obj[0]) > 1e-6 * std::max(1.0, std::fabs(obj[0])))
        ++nWrong;
    if (c.ok && c.seconds >= 0.01) {
      ++nClp;
      for (size_t k = 0; k < nm; ++k) logClp[k] += std::log(cpu[k] / c.seconds);
    }
    if (raced && methods[0] == 0 && nm > 1) {
      double bc = 1e300, bw = 1e300, dc = NAN;
      for (size_t k = 1; k < nm; ++k) {
        bc = std::min(bc, cpu[k]);
        bw = std::min(bw, wall[k]);
        if (methods[k] == 2) dc = cpu[k];
      }
      ++nRace;
      logBestCpu += std::log(std::max(cpu[0], 1e-4) / std::max(bc, 1e-4));
      logBestWall += std::log(std::max(wall[0], 1e-4) / std::max(bw, 1e-4));
      if (!std::isnan(dc)) logDualCpu += std::log(std::max(cpu[0], 1e-4) / std::max(dc, 1e-4));
    }
  }
  std::printf("\n%zu models, %d objective disagreements between methods\n", models.size(), nWrong);
  for (size_t k = 0; k < nm && nClp > 0; ++k)
    std::printf("method %d: geometric-mean CPU ratio ours / CLP over %d models with CLP >= 10 ms: %.3f\n", methods[k],
                nClp, std::exp(logClp[k] / nClp));
  if (nRace > 0)
    std::printf("concurrent runs: %d; geometric mean of method 0 over the best listed method: CPU %.3f, wall %.3f; "
                "CPU over the dual: %.3f\n",
                nRace, std::exp(logBestCpu / nRace), std::exp(logBestWall / nRace), std::exp(logDualCpu / nRace));
  return 0;
}

// Reduced sizes only: our presolve (LP relaxation, VNTpresolve) and CLP's.
int compareSizes(VNTENVptr env, const std::vector<std::pair<std::string, std::string>>& models, bool clp) {
  std::printf("%-10s %-8s | %6s %6s %7s %7s | %6s %6s %7s %7s | %s\n", "model", "set", "rows", "cols", "nz", "pre_cpu",
              "c_rows", "c_cols", "c_nz", "c_pre", "larger");
  int nCompared = 0, nSmaller = 0;
  double logPre = 0.0;
  int nPre = 0;
  for (const auto& [s, name] : models) {
    const std::string file = std::string(VANTO_DATA_DIR) + "/" + s + "/" + name + ".mps.gz";
    int st = 0;
    VNTLPptr lp = VNTcreateprob(env, &st, name.c_str());
    if (VNTreadcopyprob(env, lp, file.c_str(), nullptr) != 0) {
      VNTfreeprob(env, &lp);
      continue;
    }
    if (VNTgetprobtype(env, lp) != 0) VNTchgprobtype(env, lp, 0);
    const double c0 = cpuNow();
    VNTpresolve(env, lp, 1);
    const double pre = cpuNow() - c0;
    const Size mine = reducedSize(env, lp);
    VNTfreeprob(env, &lp);
    ClpResult c;
    if (clp) c = runClp(file, true);
    const char* larger = "";
    if (c.reduced.rows >= 0) {
      ++nCompared;
      if (mine.rows + mine.cols <= c.reduced.rows + c.reduced.cols) ++nSmaller;
      else larger = "LARGER";
      if (pre >= 0.01 || c.seconds >= 0.01) {
        logPre += std::log(std::max(pre, 1e-3) / std::max(c.seconds, 1e-3));
        ++nPre;
      }
    }
    std::printf("%-10s %-8s | %6lld %6lld %7lld %7.3f | %6lld %6lld %7lld %7.3f | %s\n", name.c_str(), s.c_str(),
                mine.rows, mine.cols, mine.nz, pre, c.reduced.rows, c.reduced.cols, c.reduced.nz, c.seconds, larger);
    std::fflush(stdout);
  }
  std::printf("\nour reduced problem (rows + columns) no larger than CLP's on %d of %d models\n", nSmaller, nCompared);
  if (nPre > 0)
    std::printf("geometric-mean presolve CPU ratio (ours / CLP) over %d models where either needs 10 ms: %.3f\n", nPre,
                std::exp(logPre / nPre));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string set = "all";
  bool clp = true;
  std::vector<std::string> only;
  std::vector<int> methods;
  std::vector<std::pair<int, int>> intParams;
  bool sizes = false;
  for (int a = 1; a < argc; ++a) {
    if (!std::strcmp(argv[a], "--set") && a + 1 < argc) set = argv[++a];
    else if (!std::strcmp(argv[a], "--methods") && a + 1 < argc) {
      std::istringstream ms(argv[++a]);
      std::string t;
      while (std::getline(ms, t, ',')) methods.push_back(std::atoi(t.c_str()));
    }
    else if (!std::strcmp(argv[a], "--noclp")) clp = false;
    else if (!std::strcmp(argv[a], "--sizes")) sizes = true;
    else if (!std::strcmp(argv[a], "--param") && a + 1 < argc) {
      int num = 0, val = 0;
      if (std::sscanf(argv[++a], "%d=%d", &num, &val) != 2) {
        std::fprintf(stderr, "--param wants NUM=VALUE\n");
        return 2;
      }
      intParams.push_back({num, val});
    }
    else only.push_back(argv[a]);
  }
  std::vector<std::pair<std::string, std::string>> models;  // (set, name)
  for (const char* s : {"netlib", "miplib3"}) {
    if (set != "all" && set != s) continue;
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(std::string(VANTO_DATA_DIR) + "/" + s)) {
      std::string f = e.path().filename().string();
      if (f.size() > 7 && f.compare(f.size() - 7, 7, ".mps.gz") == 0) names.push_back(f.substr(0, f.size() - 7));
    }
    std::sort(names.begin(), names.end());
    for (auto& n : names)
      if (only.empty() || std::find(only.begin(), only.end(), n) != only.end()) models.push_back({s, n});
  }
  const auto refNetlib = references("netlib");

  int st = 0;
  VNTENVptr env = VNTopenVANTO(&st);
  if (!env) return 1;
  for (const auto& [num, val] : intParams)
    if (VNTsetintparam(env, num, val) != 0) {
      std::fprintf(stderr, "parameter %d refused the value %d\n", num, val);
      return 2;
    }
  Results res;
  VNTCHANNELptr cres, cwarn, cerr, clog;
  VNTgetchannels(env, &cres, &cwarn, &cerr, &clog);
  VNTaddfuncdest(env, cres, &res, Results::fn);

  if (sizes) {
    const int rc = compareSizes(env, models, clp);
    VNTcloseVANTO(&env);
    return rc;
  }
  if (!methods.empty()) {
    const int rc = compareMethods(env, res, models, methods, clp);
    VNTcloseVANTO(&env);
    return rc;
  }
  std::printf("%-10s %-8s %8s %8s %8s %7s %6s | %6s %6s %7s | %6s %6s %7s | %7s %s\n", "model", "set", "our_cpu",
              "our_wall", "clp_cpu", "ratio", "pre_s", "rows", "cols", "nz", "c_rows", "c_cols", "c_nz", "orig_r", "result");
  double logSum = 0.0, maxRatio = 0.0, ourTotal = 0.0, preTotal = 0.0, wallTotal = 0.0;
  int nRatio = 0, nSmaller = 0, nCompared = 0, nOk = 0, nRun = 0;
  std::string worstName;
  for (const auto& [s, name] : models) {
    const std::string file = std::string(VANTO_DATA_DIR) + "/" + s + "/" + name + ".mps.gz";
    VNTLPptr lp = VNTcreateprob(env, &st, name.c_str());
    if (VNTreadcopyprob(env, lp, file.c_str(), nullptr) != 0) {
      std::printf("%-10s read failed\n", name.c_str());
      VNTfreeprob(env, &lp);
      continue;
    }
    if (VNTgetprobtype(env, lp) != 0) VNTchgprobtype(env, lp, 0);  // the LP relaxation
    const int m0 = VNTgetnumrows(env, lp);
    res.lines.clear();
    const double t0 = wallNow(), c0 = cpuNow();
    const int rc = VNTlpopt(env, lp);
    const double ours = cpuNow() - c0, oursWall = wallNow() - t0;
    ++nRun;
    const int stat = VNTgetstat(env, lp);
    double obj = NAN;
    VNTgetobjval(env, lp, &obj);
    double pre = 0.0;
    for (const auto& l : res.lines)
      if (l.rfind("Presolve time = ", 0) == 0) pre = std::strtod(l.c_str() + 16, nullptr);
    const Size mine = reducedSize(env, lp);
    VNTfreeprob(env, &lp);
    ClpResult c;
    if (clp) c = runClp(file);
    // Our answer against the reference (Netlib) or CLP's optimum.
    std::string result = "ok";
    double want = NAN;
    if (s == "netlib") {
      auto it = refNetlib.find(name);
      if (it != refNetlib.end()) want = it->second.second;
    } else if (c.ok) {
      want = c.objective;
    }
    if (rc != 0 || stat != 1) result = "status " + std::to_string(stat) + " rc " + std::to_string(rc);
    else if (!std::isnan(want) && std::fabs(obj - want) > 1e-6 * std::max(1.0, std::fabs(want)))
      result = "OBJ " + std::to_string(obj) + " vs " + std::to_string(want);
    else ++nOk;
    ourTotal += ours;
    wallTotal += oursWall;
    preTotal += pre;
    double ratio = NAN;
    if (c.ok && c.seconds > 0) {
      ratio = ours / std::max(c.seconds, 1e-3);
      if (c.seconds >= 0.01) {
        logSum += std::log(ratio);
        ++nRatio;
        if (ratio > maxRatio) {
          maxRatio = ratio;
          worstName = name;
        }
      }
    }
    if (c.reduced.rows >= 0) {
      ++nCompared;
      if (mine.rows + mine.cols <= c.reduced.rows + c.reduced.cols) ++nSmaller;
    }
    std::printf("%-10s %-8s %8.3f %8.3f %8.3f %7.2f %6.2f | %6lld %6lld %7lld | %6lld %6lld %7lld | %7d %s\n",
                name.c_str(), s.c_str(), ours, oursWall, c.seconds, ratio, pre, mine.rows, mine.cols, mine.nz, c.reduced.rows, c.reduced.cols,
                c.reduced.nz, m0, result.c_str());
    std::fflush(stdout);
  }
  std::printf("\n%d models, %d answers right\n", nRun, nOk);
  if (nRatio > 0)
    std::printf("geometric-mean CPU time ratio (ours / CLP) over %d models with CLP >= 10 ms: %.3f; largest %.2f (%s)\n",
                nRatio, std::exp(logSum / nRatio), maxRatio, worstName.c_str());
  std::printf("our reduced problem (rows + columns) no larger than CLP's on %d of %d models\n", nSmaller, nCompared);
  std::printf("presolve time share of our total wall time: %.1f%% (%.2f of %.2f s; CPU %.2f s)\n",
              wallTotal > 0 ? 100.0 * preTotal / wallTotal : 0.0, preTotal, wallTotal, ourTotal);
  VNTcloseVANTO(&env);
  return 0;
}
