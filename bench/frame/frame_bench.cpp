// Frame overheads in nanoseconds per operation.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>

#include "bench_clock.h"
#include "env/env.h"
#include "env/limits.h"
#include "vanto/vanto.h"

namespace {
template <class F>
double nsPer(long long n, F&& f) {
  auto t0 = std::chrono::steady_clock::now();
  for (long long i = 0; i < n; ++i) f(i);
  auto t1 = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::nano>(t1 - t0).count() / static_cast<double>(n);
}

// Wall and CPU nanoseconds per call (the recorder's work is mostly system
// calls, whose wall time a loaded machine stretches).
struct Cost {
  double wall, cpu;
};
template <class F>
Cost costPer(long long n, F&& f) {
  const double c0 = vnt::bench::cpuNow();
  const double wall = nsPer(n, f);
  return {wall, (vnt::bench::cpuNow() - c0) * 1e9 / static_cast<double>(n)};
}
}  // namespace

int main() {
  int st = 0;
  VNTENVptr env = VNTopenVANTO(&st);
  VNTLPptr lp = VNTcreateprob(env, &st, "bench");
  auto* e = reinterpret_cast<vnt::Env*>(env);
  const long long n = 20000000;
  volatile long long sink = 0;

  double call = nsPer(n, [&](long long) { sink = sink + VNTgetnumrows(env, lp); });
  double checkNone = nsPer(n, [&](long long) {
    e->counter->add(100);
    sink = sink + vnt::checkLimits(*e);
  });
  vnt::pushLimitFrame(*e, 3600.0, 1e12);
  e->clockReadings = 0;
  double checkTimed = nsPer(n, [&](long long) {
    e->counter->add(100);
    sink = sink + vnt::checkLimits(*e);
  });
  long long reads = e->clockReadings;
  vnt::popLimitFrame(*e);
  double print = nsPer(n / 20, [&](long long i) {
    sink = sink + vnt::print(*e, vnt::Chan::Log, "iteration %lld objective %g\n", i, 1.5);
  });

  printf("table-dispatched call (VNTgetnumrows)      %8.2f ns\n", call);
  printf("limit check, default limits               %8.2f ns\n", checkNone);
  printf("limit check, time+det limit, real counter %8.2f ns (%lld clock readings in %lld polls)\n",
         checkTimed, reads, n);
  printf("print on a channel without destinations   %8.2f ns\n", print);
  VNTcloseVANTO(&env);

  // Recording on: cost of a recorded call and database size per call, in a
  // private directory (the recorder writes into the current one).
  char dir[] = "/tmp/vnt_frame_bench_XXXXXX";
  if (mkdtemp(dir) && chdir(dir) == 0) {
    VNTENVptr renv = VNTopenVANTO(&st);
    VNTLPptr rlp = VNTcreateprob(renv, &st, "bench");
    VNTnewcols(renv, rlp, 4, nullptr, nullptr, nullptr, nullptr, nullptr);
    VNTsetintparam(renv, VNT_PARAM_RECORD, 1);
    const long long rn = 4000;
    const Cost rec = costPer(rn, [&](long long) { sink = sink + VNTgetnumrows(renv, rlp); });
    double x[4] = {0, 0, 0, 0};
    const Cost recArray = costPer(rn / 4, [&](long long) { sink = sink + VNTgetlb(renv, rlp, x, 0, 3); });
    VNTfreeprob(renv, &rlp);
    VNTcloseVANTO(&renv);
    long long bytes = 0;
    if (DIR* d = opendir(".")) {
      while (dirent* ent = readdir(d)) {
        struct stat sb;
        if (strncmp(ent->d_name, "vanto.db.", 9) == 0 && stat(ent->d_name, &sb) == 0) bytes += sb.st_size;
        if (strncmp(ent->d_name, "vanto.db.", 9) == 0) unlink(ent->d_name);
      }
      closedir(d);
    }
    if (chdir("/") == 0) rmdir(dir);
    printf("recorded call (VNTgetnumrows)             %8.0f ns (CPU %.0f ns)\n", rec.wall, rec.cpu);
    printf("recorded call with 4 output values (getlb) %8.0f ns (CPU %.0f ns)\n", recArray.wall, recArray.cpu);
    printf("database size per million recorded calls %8.0f MB\n",
           static_cast<double>(bytes) / static_cast<double>(rn + rn / 4 + 3) * 1e6 / 1e6);
  }
  return sink == 42 ? 1 : 0;
}
