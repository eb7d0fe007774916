// MIP benchmark: VNTmipopt and the CBC program side by side, one thread each,
// over the MIPLIB 3 models of the shared data (or the models named on the
// command line).  Per model: status, objective, best bound, nodes and time of
// both; then the models each solves to proven optimality, the geometric mean
// of our time over CBC's on the models both solve, node throughput, and every
// answer checked against the reference optimum (a claimed optimum outside
// the gap tolerance is counted as wrong); and the root: the LP relaxation
// bound, the bound after the root cuts of each solver, and the share of the
// root gap (to the reference optimum) that the cuts closed.  Primal side:
// the time to the first incumbent of each solver and the primal integral
// (the integral over the run of the primal gap to the reference optimum,
// 1 while there is no incumbent; seconds).
//
// Times are CPU seconds (our clock type 1, CBC's -timeMode cpu and its
// process usage) unless --wall is given.
//
//   bench_mip [--time S] [--no-peer] [--no-cuts] [--wall] [--param NUM=VALUE ...] [model ...]  (default 60 s, all models)
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

#include "common/models.h"
#include "bench_clock.h"
#include "vanto/vanto.h"

namespace {

struct Result {
  std::string status = "-";
  bool optimal = false;
  bool hasObj = false;
  double obj = NAN, bound = NAN, seconds = 0;
  long long nodes = 0;
  double lpBound = NAN, rootBound = NAN;  // root LP bound before and after cuts
  std::vector<std::pair<double, double>> incumbents;  // (seconds since the start, objective)
};

// The results channel of our runs: the text, and every new incumbent with
// the time it was announced (node-log lines that begin with '*'; the best
// integer is the 13-character field at column 34).
struct LogSink {
  std::string text;
  double t0 = 0.0;
  double (*clock)() = nullptr;  // the clock of the run's times
  std::vector<std::pair<double, double>>* incumbents = nullptr;
};
void appendMessage(void* handle, const char* msg) {
  LogSink* s = static_cast<LogSink*>(handle);
  s->text.append(msg);
  if (msg[0] == '*' && std::strlen(msg) > 47 && s->incumbents && s->clock) {
    char* e = nullptr;
    const double v = std::strtod(msg + 34, &e);
    if (e != msg + 34) s->incumbents->push_back({s->clock() - s->t0, v});
  }
}

// Primal gap of a value to the optimum: 0 to 1, 1 when the signs differ.
double primalGap(double v, double opt) {
  if (std::fabs(v - opt) <= 1e-9 * std::max(1.0, std::fabs(opt))) return 0.0;
  if (v * opt < 0) return 1.0;
  return std::min(1.0, std::fabs(v - opt) / std::max(std::fabs(v), std::fabs(opt)));
}

// Primal integral over [0, horizon]: the gap of the incumbent of each moment.
double primalIntegral(const std::vector<std::pair<double, double>>& inc, double opt, double horizon) {
  double t = 0.0, gap = 1.0, sum = 0.0;
  for (const auto& [ti, v] : inc) {
    const double tt = std::min(ti, horizon);
    sum += gap * (tt - t);
    t = tt;
    gap = primalGap(v, opt);
  }
  return sum + gap * std::max(0.0, horizon - t);
}

// Our root bound after cuts: the objective of the last node-log line of node
// 0 (cut rounds and the root node itself).
double rootBoundFromLog(const std::string& log) {
  double v = NAN;
  size_t p = 0;
  while (p < log.size()) {
    size_t e = log.find('\n', p);
    if (e == std::string::npos) e = log.size();
    const std::string line = log.substr(p, e - p);
    p = e + 1;
    if (line.size() < 40 || (line[0] != ' ' && line[0] != '*')) continue;
    char* end = nullptr;
    const long long node = std::strtoll(line.c_str() + 1, &end, 10);
    if (end == line.c_str() + 1 || node != 0) continue;
    if (*end == '+' || *end == ' ') ++end;
    std::strtoll(end, &end, 10);  // left
    char* q = nullptr;
    const double obj = std::strtod(end, &q);
    if (q != end) v = obj;
  }
  return v;
}

// The LP relaxation bound of a model (a copy made continuous).
double lpRelaxation(VNTENVptr env, VNTLPptr lp) {
  int st = 0;
  VNTLPptr c = VNTcloneprob(env, lp, &st);
  if (!c) return NAN;
  double v = NAN;
  if (VNTchgprobtype(env, c, VNTPROB_LP) == 0 && VNTlpopt(env, c) == 0 && VNTgetstat(env, c) == 1) VNTgetobjval(env, c, &v);
  VNTfreeprob(env, &c);
  return v;
}

// CPU seconds of this process (cpuSelf), and of its waited-for children (the
// peer).  The machine is shared: CPU time is the fairer clock (--wall
// switches back).
const auto now = vnt::bench::wallNow;
const auto cpuSelf = vnt::bench::cpuNow;
double cpuChildren() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}
bool gWall = false;

bool gNoCuts = false;  // --no-cuts: our root cut loop off (CutPasses -1)
// --param NUM=VALUE: a parameter of our runs (integer unless VALUE has a point).
std::vector<std::pair<int, std::string>> gParams;

Result runOurs(const std::string& path, double limit) {
  Result r;
  int st = 0;
  VNTENVptr env = VNTopenVANTO(&st);
  VNTLPptr lp = VNTcreateprob(env, &st, "bench");
  VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 0);
  VNTsetintparam(env, VNT_PARAM_THREADS, 1);
  VNTsetintparam(env, VNT_PARAM_CLOCKTYPE, gWall ? 2 : 1);
  VNTsetdblparam(env, VNT_PARAM_TILIM, limit);
  if (gNoCuts) VNTsetlongparam(env, VNT_PARAM_CUTPASS, -1);
  for (const auto& [num, val] : gParams) {
    if (val.find('.') != std::string::npos) VNTsetdblparam(env, num, std::strtod(val.c_str(), nullptr));
    else if (VNTsetintparam(env, num, std::atoi(val.c_str())) != 0)
      VNTsetlongparam(env, num, std::strtoll(val.c_str(), nullptr, 10));
  }
  if (VNTreadcopyprob(env, lp, path.c_str(), nullptr) != 0) {
    r.status = "readerr";
  } else {
    r.lpBound = lpRelaxation(env, lp);
    VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 2);
    VNTCHANNELptr res = nullptr, warn = nullptr, err = nullptr, logc = nullptr;
    LogSink log;
    log.incumbents = &r.incumbents;
    VNTgetchannels(env, &res, &warn, &err, &logc);
    VNTaddfuncdest(env, res, &log, appendMessage);
    const double t0 = gWall ? now() : cpuSelf();
    log.t0 = t0;
    log.clock = gWall ? now : cpuSelf;
    st = VNTmipopt(env, lp);
    r.seconds = (gWall ? now() : cpuSelf()) - t0;
    const int stat = VNTgetstat(env, lp);
    char buf[128] = "";
    VNTgetstatstring(env, stat, buf);
    r.status = st ? "error" : (stat == VNTMIP_OPTIMAL || stat == VNTMIP_OPTIMAL_TOL) ? "optimal"
                             : stat == VNTMIP_INFEASIBLE ? "infeasible" : (stat == VNTMIP_TIME_LIM_FEAS || stat == VNTMIP_TIME_LIM_INFEAS) ? "timelimit" : buf;
    r.optimal = stat == VNTMIP_OPTIMAL || stat == VNTMIP_OPTIMAL_TOL;
    r.hasObj = VNTgetobjval(env, lp, &r.obj) == 0;
    VNTgetbestobjval(env, lp, &r.bound);
    r.nodes = VNTLgetnodecnt(env, lp);
    VNTdelfuncdest(env, res, &log, appendMessage);
    r.rootBound = rootBoundFromLog(log.text);
  }
  VNTfreeprob(env, &lp);
  VNTcloseVANTO(&env);
  return r;
}

double numberAfter(const std::string& out, const char* key) {
  size_t p = out.find(key);
  if (p == std::string::npos) return NAN;
  return std::strtod(out.c_str() + p + std::strlen(key), nullptr);
}

Result runCbc(const std::string& path, double limit) {
  Result r;
  char cmd[2048];
  snprintf(cmd, sizeof cmd, "cbc '%s' -threads 1 -timeMode %s -sec %g -solve 2>&1", path.c_str(),
           gWall ? "elapsed" : "cpu", limit);
  const double t0 = now(), c0 = cpuChildren();
  FILE* f = popen(cmd, "r");
  if (!f) return r;
  std::string out;
  char buf[4096];
  while (fgets(buf, sizeof buf, f)) out += buf;
  pclose(f);
  r.seconds = gWall ? now() - t0 : cpuChildren() - c0;
  if (out.find("Result - Optimal solution found") != std::string::npos) {
    r.status = "optimal";
    r.optimal = true;
  } else if (out.find("Result - Problem proven infeasible") != std::string::npos) {
    r.status = "infeasible";
  } else if (out.find("Result - Stopped on time") != std::string::npos) {
    r.status = "timelimit";
  } else {
    r.status = "other";
  }
  r.obj = numberAfter(out, "Objective value:");
  r.hasObj = !std::isnan(r.obj) && out.find("No feasible solution") == std::string::npos;
  r.bound = numberAfter(out, "Lower bound:");
  if (r.optimal) r.bound = r.obj;
  const double nodes = numberAfter(out, "Enumerated nodes:");
  r.nodes = std::isnan(nodes) ? 0 : static_cast<long long>(nodes);
  // "At root node, N cuts changed objective from A to B in P passes".
  if (size_t p = out.find("changed objective from "); p != std::string::npos) {
    char* e = nullptr;
    r.lpBound = std::strtod(out.c_str() + p + 23, &e);
    if (const char* t = std::strstr(e, " to ")) r.rootBound = std::strtod(t + 4, nullptr);
  }
  // "Integer solution of V found ... (T seconds)": every new incumbent.
  for (size_t p = out.find("Integer solution of "); p != std::string::npos;
       p = out.find("Integer solution of ", p + 1)) {
    const double v = std::strtod(out.c_str() + p + 20, nullptr);
    const size_t e = out.find('\n', p);
    const size_t q = out.rfind(" seconds)", e);
    const size_t o = q == std::string::npos ? q : out.rfind('(', q);
    if (q == std::string::npos || o == std::string::npos || o < p) continue;
    r.incumbents.push_back({std::strtod(out.c_str() + o + 1, nullptr), v});
  }
  const double wall = numberAfter(out, "(Wallclock seconds):");
  if (gWall && !std::isnan(wall)) r.seconds = wall;
  return r;
}

std::string num(double v) {
  char b[32];
  if (std::isnan(v)) return "-";
  snprintf(b, sizeof b, std::fabs(v) < 1e7 ? "%.4f" : "%.5e", v);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  double limit = 60.0;
  bool peer = true;
  std::vector<std::string> models;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--time" && i + 1 < argc) limit = std::strtod(argv[++i], nullptr);
    else if (a == "--no-peer") peer = false;
    else if (a == "--no-cuts") gNoCuts = true;
    else if (a == "--wall") gWall = true;
    else if (a == "--param" && i + 1 < argc) {
      const std::string pv = argv[++i];
      const size_t eq = pv.find('=');
      if (eq != std::string::npos) gParams.push_back({std::atoi(pv.substr(0, eq).c_str()), pv.substr(eq + 1)});
    }
    else models.push_back(a);
  }
  const std::string dir = vnt::test::dataDir() + "/miplib3";
  if (models.empty()) {
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 7 && n.substr(n.size() - 7) == ".mps.gz") models.push_back(n.substr(0, n.size() - 7));
      }
      closedir(d);
    }
    std::sort(models.begin(), models.end());
  }
  printf("MIP benchmark: %zu models, time limit %.0f s (%s), one thread each\n\n", models.size(), limit,
         gWall ? "wall clock" : "CPU");
  printf("%-10s | %-10s %14s %14s %9s %7s | %-10s %14s %14s %9s %7s | %-13s | %14s %14s %6s %14s %6s\n", "model",
         "vanto", "objective", "bound", "nodes", "time", "cbc", "objective", "bound", "nodes", "time", "check",
         "LP bound", "root (vanto)", "closed", "root (cbc)", "closed");
  double closedSum = 0, closedSumCbc = 0;
  int closedCnt = 0;
  int oursSolved = 0, cbcSolved = 0, both = 0, wrong = 0;
  double logRatio = 0;
  double oursNodes = 0, oursTime = 0, cbcNodes = 0, cbcTime = 0;
  // Primal side over the models with a reference optimum: sums of the
  // primal integrals, and the time to the first incumbent where both find one.
  double piOurs = 0, piCbc = 0, logFirst = 0;
  int piCnt = 0, firstBoth = 0, firstOurs = 0, firstCbc = 0;
  for (const std::string& m : models) {
    const std::string path = dir + "/" + m + ".mps.gz";
    Result a = runOurs(path, limit);
    Result b = peer ? runCbc(path, limit) : Result();
    std::string check = "";
    auto it = vnt::test::references().find(m);
    if (it != vnt::test::references().end() && it->second.status == "optimal") {
      const double ref = it->second.objective;
      const double tolGap = std::max(1e-6, 1e-4 * std::fabs(ref)) + 1e-6 * std::fabs(ref);
      if (a.optimal && std::fabs(a.obj - ref) > tolGap) check = "WRONG optimum";
      // The bound of a minimization (all of MIPLIB 3 minimizes) never passes the optimum.
      else if (!std::isnan(a.bound) && a.bound > ref + tolGap && a.status != "readerr") check = "WRONG bound";
      else check = "ok";
      if (check != "ok") ++wrong;
    }
    if (a.optimal) ++oursSolved;
    if (b.optimal) ++cbcSolved;
    if (a.optimal && b.optimal) {
      ++both;
      logRatio += std::log(std::max(a.seconds, 0.01) / std::max(b.seconds, 0.01));
    }
    oursNodes += static_cast<double>(a.nodes);
    oursTime += a.seconds;
    cbcNodes += static_cast<double>(b.nodes);
    cbcTime += b.seconds;
    // Root gap closed by cuts: (root - LP) / (optimum - LP).
    double closed = NAN, closedCbc = NAN;
    if (it != vnt::test::references().end() && it->second.status == "optimal") {
      const double gap = it->second.objective - a.lpBound;
      if (gap > 1e-9 * std::max(1.0, std::fabs(a.lpBound))) {
        // A root that presolve or the cuts settle may log no finite bound.
        if (std::isfinite(a.rootBound) && std::isfinite(a.lpBound))
          closed = std::max(0.0, (a.rootBound - a.lpBound) / gap);
        if (std::isfinite(b.rootBound) && std::isfinite(a.lpBound))
          closedCbc = std::max(0.0, (b.rootBound - a.lpBound) / gap);
        if (!std::isnan(closed) && !std::isnan(closedCbc)) {
          closedSum += closed;
          closedSumCbc += closedCbc;
          ++closedCnt;
        }
      }
    }
    std::string primal;
    if (peer && it != vnt::test::references().end() && it->second.status == "optimal") {
      const double ref = it->second.objective;
      const double pa = primalIntegral(a.incumbents, ref, limit), pb = primalIntegral(b.incumbents, ref, limit);
      piOurs += pa;
      piCbc += pb;
      ++piCnt;
      char b3[96];
      const double fa = a.incumbents.empty() ? NAN : a.incumbents[0].first;
      const double fb = b.incumbents.empty() ? NAN : b.incumbents[0].first;
      if (!a.incumbents.empty()) ++firstOurs;
      if (!b.incumbents.empty()) ++firstCbc;
      if (!a.incumbents.empty() && !b.incumbents.empty()) {
        ++firstBoth;
        logFirst += std::log(std::max(fa, 0.01) / std::max(fb, 0.01));
      }
      snprintf(b3, sizeof b3, " | first %7.2f %7.2f | integral %7.2f %7.2f", fa, fb, pa, pb);
      primal = b3;
    }
    auto pct = [](double v) {
      char b2[16];
      if (std::isnan(v)) return std::string("-");
      snprintf(b2, sizeof b2, "%.1f%%", 100 * v);
      return std::string(b2);
    };
    printf("%-10s | %-10s %14s %14s %9lld %7.2f | %-10s %14s %14s %9lld %7.2f | %-13s | %14s %14s %6s %14s %6s%s\n",
           m.c_str(), a.status.c_str(), a.hasObj ? num(a.obj).c_str() : "-", num(a.bound).c_str(), a.nodes,
           a.seconds, b.status.c_str(), b.hasObj ? num(b.obj).c_str() : "-", num(b.bound).c_str(), b.nodes,
           b.seconds, check.c_str(), num(a.lpBound).c_str(), num(a.rootBound).c_str(), pct(closed).c_str(),
           num(b.rootBound).c_str(), pct(closedCbc).c_str(), primal.c_str());
    fflush(stdout);
  }
  printf("\nSolved to proven optimality: vanto %d, cbc %d (of %zu)\n", oursSolved, cbcSolved, models.size());
  if (both > 0)
    printf("Geometric mean time ratio vanto/cbc over the %d models both solve: %.3f\n", both, std::exp(logRatio / both));
  printf("Nodes per second: vanto %.0f, cbc %.0f\n", oursTime > 0 ? oursNodes / oursTime : 0.0,
         cbcTime > 0 ? cbcNodes / cbcTime : 0.0);
  if (closedCnt > 0)
    printf("Root gap closed by cuts, mean over the %d models where both report it: vanto %.1f%%, cbc %.1f%%\n",
           closedCnt, 100 * closedSum / closedCnt, 100 * closedSumCbc / closedCnt);
  if (piCnt > 0) {
    printf("First incumbent found: vanto %d, cbc %d (of %d)", firstOurs, firstCbc, piCnt);
    if (firstBoth > 0)
      printf("; geometric mean time to it vanto/cbc over the %d both find: %.3f", firstBoth,
             std::exp(logFirst / firstBoth));
    printf("\nPrimal integral (seconds of full gap), sum over %d models: vanto %.2f, cbc %.2f, ratio %.3f\n", piCnt,
           piOurs, piCbc, piCbc > 0 ? piOurs / piCbc : 0.0);
  }
  printf("Wrong answers (claimed optimum or bound against the reference): %d\n", wrong);
  return wrong ? 1 : 0;
}
