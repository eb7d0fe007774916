// Sifting on wide LPs against our dual and primal simplex and CLP's dual
// simplex, in one run: the LP relaxations of the set-partitioning models
// air04, air05 and nw04 and the widest Netlib models.  Our times are CPU
// seconds of this process for the solve call alone (presolve off for every
// solver); CLP's is the time it reports for itself on the same file.
// Usage: bench_sift [--noclp] [--noprimal] [--nodual] [--siftalg K] [model ...]
//        (model: set/name; K the working-LP method of sifting, default 0)
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "common/models.h"
#include "bench_clock.h"
#include "clp_peer.h"
#include "vanto/vanto.h"

namespace {

using vnt::bench::cpuNow;

struct Run {
  double seconds = -1, obj = NAN;
  long long its = 0, passes = 0;
  int stat = 0;
};

Run runOurs(VNTENVptr env, const std::string& path, int method) {
  Run r;
  int st = 0;
  VNTLPptr lp = VNTcreateprob(env, &st, "bench");
  if (VNTreadcopyprob(env, lp, path.c_str(), nullptr) != 0) return r;
  VNTchgprobtype(env, lp, VNTPROB_LP);  // the LP relaxation of a MIP
  VNTsetintparam(env, VNTPARAM_LPMethod, method);
  const double t0 = cpuNow();
  VNTlpopt(env, lp);
  r.seconds = cpuNow() - t0;
  r.stat = VNTgetstat(env, lp);
  VNTgetobjval(env, lp, &r.obj);
  r.its = VNTgetitcnt(env, lp);
  r.passes = VNTgetsiftitcnt(env, lp);
  VNTfreeprob(env, &lp);
  return r;
}

// CLP reads the uncompressed file and, for a MIP, solves its relaxation.
Run runClp(const std::string& gz) {
  Run r;
  const std::string plain = "/tmp/vnt_bench_sift_" + std::to_string(getpid()) + ".mps";
  if (std::system(("zcat " + gz + " > " + plain).c_str()) != 0) return r;
  const vnt::bench::ClpResult c = vnt::bench::runClp(plain);
  std::remove(plain.c_str());
  if (c.ok && c.optimal) {
    r.obj = c.objective;
    r.its = c.iterations;
    r.seconds = c.seconds;
    r.stat = 1;
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  bool clp = std::system("command -v clp > /dev/null 2>&1") == 0;
  bool primal = true, dualRun = true;
  int siftAlg = 0;
  std::vector<std::string> models;
  for (int a = 1; a < argc; ++a) {
    if (!std::strcmp(argv[a], "--noclp")) clp = false;
    else if (!std::strcmp(argv[a], "--noprimal")) primal = false;
    else if (!std::strcmp(argv[a], "--nodual")) dualRun = false;
    else if (!std::strcmp(argv[a], "--siftalg") && a + 1 < argc) siftAlg = std::atoi(argv[++a]);
    else models.emplace_back(argv[a]);
  }
  if (models.empty())
    models = {"miplib3/nw04", "miplib3/air05", "miplib3/air04", "netlib/fit2d", "netlib/scsd8", "netlib/fit2p"};
  int st = 0;
  VNTENVptr env = VNTopenVANTO(&st);
  VNTsetintparam(env, VNTPARAM_Preprocessing_Presolve, 0);
  VNTsetintparam(env, VNTPARAM_Simplex_Display, 0);
  VNTsetintparam(env, VNTPARAM_Sifting_Display, 0);
  VNTsetintparam(env, VNTPARAM_Sifting_Algorithm, siftAlg);
  std::printf("%-14s %6s %7s | %8s %6s %7s | %8s %7s | %8s %7s | %8s %7s | %s\n", "model", "rows", "cols",
              "sift s", "passes", "its", "dual s", "dual/sf", "primal s", "prim/sf", "clp s", "clp/sf",
              "objective check");
  double logSum[3] = {0, 0, 0};
  int logCount[3] = {0, 0, 0};
  for (const std::string& m : models) {
    const auto slash = m.find('/');
    const std::string path = vnt::test::modelPath(m.substr(0, slash), m.substr(slash + 1));
    int st2 = 0;
    VNTLPptr probe = VNTcreateprob(env, &st2, "probe");
    if (VNTreadcopyprob(env, probe, path.c_str(), nullptr) != 0) {
      std::printf("%-14s cannot be read\n", m.c_str());
      VNTfreeprob(env, &probe);
      continue;
    }
    const int rows = VNTgetnumrows(env, probe), cols = VNTgetnumcols(env, probe);
    VNTfreeprob(env, &probe);
    const Run sift = runOurs(env, path, 5);
    const Run dual = dualRun ? runOurs(env, path, 2) : Run{};
    const Run prim = primal ? runOurs(env, path, 1) : Run{};
    const Run peer = clp ? runClp(path) : Run{};
    std::string check;
    auto agree = [&](const Run& r, const char* who) {
      if (r.seconds < 0) return;
      const Run& ref = dualRun ? dual : peer;
      if (&r == &ref || ref.seconds < 0) return;
      if (r.stat != 1 || std::fabs(r.obj - ref.obj) > 1e-6 * (1 + std::fabs(ref.obj)))
        check += std::string(check.empty() ? "" : ", ") + who + " differs";
    };
    agree(sift, "sifting");
    agree(prim, "primal");
    agree(peer, "clp");
    if (dualRun && dual.stat != 1) check = "dual status " + std::to_string(dual.stat);
    if (check.empty()) check = "agree";
    auto ratio = [&](const Run& r, int slot, char* buf) {
      if (r.seconds < 0 || sift.seconds <= 0) return std::snprintf(buf, 32, "-");
      const double q = r.seconds / std::max(sift.seconds, 1e-4);
      logSum[slot] += std::log(q);
      ++logCount[slot];
      return std::snprintf(buf, 32, "%.2f", q);
    };
    char rd[32], rp[32], rc[32], ps[32] = "-", cs[32] = "-";
    ratio(dual, 0, rd);
    ratio(prim, 1, rp);
    ratio(peer, 2, rc);
    if (prim.seconds >= 0) std::snprintf(ps, sizeof ps, "%.3f", prim.seconds);
    if (peer.seconds >= 0) std::snprintf(cs, sizeof cs, "%.3f", peer.seconds);
    std::printf("%-14s %6d %7d | %8.3f %6lld %7lld | %8.3f %7s | %8s %7s | %8s %7s | %s\n", m.c_str(), rows, cols,
                sift.seconds, sift.passes, sift.its, dual.seconds, rd, ps, rp, cs, rc, check.c_str());
    std::fflush(stdout);
  }
  const char* names[3] = {"dual", "primal", "clp"};
  for (int k = 0; k < 3; ++k)
    if (logCount[k] > 0)
      std::printf("geometric mean of %s time / sifting time: %.2f over %d models\n", names[k],
                  std::exp(logSum[k] / logCount[k]), logCount[k]);
  VNTcloseVANTO(&env);
  return 0;
}
