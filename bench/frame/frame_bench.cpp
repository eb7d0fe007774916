// Frame overheads in nanoseconds per operation.
#include <chrono>
#include <cstdio>

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
  return sink == 42 ? 1 : 0;
}
