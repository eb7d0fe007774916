// Model-building benchmark: a random sparse model (10 entries per row or per
// column) built through VNTaddrows / VNTaddcols in batches of 1000, 10^5 name
// lookups with VNTgetcolindex, and VNTdelsetrows deleting every other row of
// a 10^5-row model.  With the Clp model as a peer (addRows / addColumns /
// deleteRows) when it is available.
//
// usage: model_bench [max_nonzeros]   (default 10000000)
#include <time.h>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "vanto/vanto.h"
#include "vanto/vnt_ops.h"

#ifdef VANTO_BENCH_PEER_CLP
#include <ClpSimplex.hpp>
#endif

namespace {

// Thread CPU time: the machine is shared, so wall time says little.
const auto now = vnt::bench::threadCpuNow;

constexpr int kPer = 10;      // entries per row (or column)
constexpr int kBatch = 1000;  // rows (columns) per call

// Distinct random indices in [0, limit) for one vector.
void pick(std::mt19937& g, int limit, std::vector<int>& out) {
  out.clear();
  while (static_cast<int>(out.size()) < kPer) {
    int v = static_cast<int>(g() % static_cast<unsigned>(limit));
    bool dup = false;
    for (int w : out) dup |= w == v;
    if (!dup) out.push_back(v);
  }
}

struct Batches {
  // One batch of kBatch vectors in the row-wise (or column-wise) form.
  std::vector<int> beg, ind;
  std::vector<double> val, rhs, lo, up;
  std::vector<char> sense;
};

void makeBatch(std::mt19937& g, int limit, Batches& b) {
  b.beg.clear();
  b.ind.clear();
  b.val.clear();
  std::vector<int> idx;
  for (int r = 0; r < kBatch; ++r) {
    b.beg.push_back(static_cast<int>(b.ind.size()));
    pick(g, limit, idx);
    for (int v : idx) {
      b.ind.push_back(v);
      b.val.push_back(1.0 + static_cast<double>(g() % 100));
    }
  }
  b.rhs.assign(kBatch, 1.0);
  b.sense.assign(kBatch, 'L');
  b.lo.assign(kBatch, -1e30);
  b.up.assign(kBatch, 1.0);
}

VNTENVptr openEnv() {
  int st = 0;
  VNTENVptr env = VNTopenVANTO(&st);
  if (!env || st) {
    std::fprintf(stderr, "open failed %d\n", st);
    std::exit(1);
  }
  return env;
}

struct Timer {
  double total = 0;
  double t = 0;
  void start() { t = now(); }
  void stop() { total += now() - t; }
};

// Build with nnz entries: n empty columns first, then rows in batches.
double buildRows(VNTENVptr env, long long nnz, int n, VNTLPptr* keep = nullptr) {
  int st = 0;
  VNTLPptr lp = VNTcreateprob(env, &st, "rows");
  std::mt19937 g(7);
  Batches b;
  Timer tm;
  tm.start();
  VNTnewcols(env, lp, n, nullptr, nullptr, nullptr, nullptr, nullptr);
  tm.stop();
  for (long long r = 0; r < nnz / kPer; r += kBatch) {
    makeBatch(g, n, b);
    tm.start();
    st = VNTaddrows(env, lp, 0, kBatch, static_cast<int>(b.ind.size()), b.rhs.data(),
                    b.sense.data(), b.beg.data(), b.ind.data(), b.val.data(), nullptr, nullptr);
    tm.stop();
    if (st) std::fprintf(stderr, "addrows %d\n", st);
  }
  if (VNTLgetnumnz(env, lp) != nnz) std::fprintf(stderr, "nnz mismatch\n");
  if (keep) *keep = lp;
  else VNTfreeprob(env, &lp);
  return tm.total;
}

double buildCols(VNTENVptr env, long long nnz, int m) {
  int st = 0;
  VNTLPptr lp = VNTcreateprob(env, &st, "cols");
  std::mt19937 g(9);
  Batches b;
  Timer tm;
  tm.start();
  VNTnewrows(env, lp, m, nullptr, nullptr, nullptr, nullptr);
  tm.stop();
  std::vector<double> obj(kBatch, 1.0);
  for (long long c = 0; c < nnz / kPer; c += kBatch) {
    makeBatch(g, m, b);
    tm.start();
    st = VNTaddcols(env, lp, kBatch, static_cast<int>(b.ind.size()), obj.data(), b.beg.data(),
                    b.ind.data(), b.val.data(), nullptr, b.up.data(), nullptr);
    tm.stop();
    if (st) std::fprintf(stderr, "addcols %d\n", st);
  }
  if (VNTLgetnumnz(env, lp) != nnz) std::fprintf(stderr, "nnz mismatch\n");
  VNTfreeprob(env, &lp);
  return tm.total;
}

#ifdef VANTO_BENCH_PEER_CLP
double clpRows(long long nnz, int n, ClpSimplex* keep = nullptr) {
  ClpSimplex local;
  ClpSimplex& model = keep ? *keep : local;
  model.setLogLevel(0);
  std::mt19937 g(7);
  Batches b;
  Timer tm;
  tm.start();
  model.resize(0, n);
  for (int j = 0; j < n; ++j) model.setColumnUpper(j, 1e30);
  tm.stop();
  std::vector<CoinBigIndex> beg(kBatch + 1);
  for (long long r = 0; r < nnz / kPer; r += kBatch) {
    makeBatch(g, n, b);
    tm.start();
    for (int k = 0; k < kBatch; ++k) beg[k] = b.beg[k];
    beg[kBatch] = static_cast<CoinBigIndex>(b.ind.size());
    model.addRows(kBatch, b.lo.data(), b.up.data(), beg.data(), b.ind.data(), b.val.data());
    tm.stop();
  }
  return tm.total;
}

double clpCols(long long nnz, int m) {
  ClpSimplex model;
  model.setLogLevel(0);
  std::mt19937 g(9);
  Batches b;
  Timer tm;
  tm.start();
  model.resize(m, 0);
  tm.stop();
  std::vector<double> obj(kBatch, 1.0), lo(kBatch, 0.0);
  std::vector<CoinBigIndex> beg(kBatch + 1);
  for (long long c = 0; c < nnz / kPer; c += kBatch) {
    makeBatch(g, m, b);
    tm.start();
    for (int k = 0; k < kBatch; ++k) beg[k] = b.beg[k];
    beg[kBatch] = static_cast<CoinBigIndex>(b.ind.size());
    model.addColumns(kBatch, lo.data(), b.up.data(), obj.data(), beg.data(), b.ind.data(),
                     b.val.data());
    tm.stop();
  }
  return tm.total;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  const long long maxNnz = argc > 1 ? std::atoll(argv[1]) : 10000000LL;
  VNTENVptr env = openEnv();
  std::printf("%-34s %10s %10s %10s %8s\n", "case", "vanto cpu", "ns/entry", "peer cpu", "ratio");
  for (long long nnz = 100000; nnz <= maxNnz; nnz *= 10) {
    const int dim = static_cast<int>(nnz / kPer);  // square: as many columns as rows
    double t = buildRows(env, nnz, dim);
    double p = 0;
#ifdef VANTO_BENCH_PEER_CLP
    p = clpRows(nnz, dim);
#endif
    std::printf("addrows nnz=%-10lld m=n=%-9d %10.3f %10.1f %10.3f %8.2f\n", nnz, dim, t,
                t * 1e9 / static_cast<double>(nnz), p, p > 0 ? t / p : 0.0);
    t = buildCols(env, nnz, dim);
    p = 0;
#ifdef VANTO_BENCH_PEER_CLP
    p = clpCols(nnz, dim);
#endif
    std::printf("addcols nnz=%-10lld m=n=%-9d %10.3f %10.1f %10.3f %8.2f\n", nnz, dim, t,
                t * 1e9 / static_cast<double>(nnz), p, p > 0 ? t / p : 0.0);
    std::fflush(stdout);
  }

  // Name lookups: 10^5 named columns, 10^5 lookups in random order.
  {
    const int n = 100000;
    int st = 0;
    VNTLPptr lp = VNTcreateprob(env, &st, "names");
    std::vector<std::string> names(n);
    std::vector<char*> ptr(n);
    for (int j = 0; j < n; ++j) {
      names[j] = "col_" + std::to_string(j * 7919 % 1000003);
      ptr[j] = names[j].data();
    }
    VNTnewcols(env, lp, n, nullptr, nullptr, nullptr, nullptr, ptr.data());
    std::mt19937 g(3);
    std::vector<int> order(n);
    for (int k = 0; k < n; ++k) order[k] = static_cast<int>(g() % n);
    double tb = now();
    int first = -1;
    VNTgetcolindex(env, lp, names[0].c_str(), &first);  // builds the index
    tb = now() - tb;
    double t0 = now();
    long long bad = 0;
    for (int k = 0; k < n; ++k) {
      int idx = -1;
      if (VNTgetcolindex(env, lp, names[order[k]].c_str(), &idx) || idx != order[k]) ++bad;
    }
    double t = now() - t0;
    std::printf("getcolindex x100000 (n=100000)      %10.4f %10.1f  (ns per lookup; index build %.4f s)%s\n",
                t, t * 1e9 / n, tb, bad || first != 0 ? "  WRONG RESULTS" : "");
    VNTfreeprob(env, &lp);
  }

  // delsetrows: every other row of a 10^5 x 10^5 model with 10^6 entries.
  {
    VNTLPptr lp = nullptr;
    buildRows(env, 1000000, 100000, &lp);
    std::vector<int> del(100000);
    for (int i = 0; i < 100000; ++i) del[i] = i % 2;
    double t0 = now();
    int st = VNTdelsetrows(env, lp, del.data());
    double t = now() - t0;
    double p = 0;
#ifdef VANTO_BENCH_PEER_CLP
    {
      ClpSimplex model;
      clpRows(1000000, 100000, &model);
      std::vector<int> which;
      for (int i = 1; i < 100000; i += 2) which.push_back(i);
      double t1 = now();
      model.deleteRows(static_cast<int>(which.size()), which.data());
      p = now() - t1;
    }
#endif
    std::printf("delsetrows half of m=100000 nnz=1e6   %10.4f %10s %10.4f %8.2f%s\n", t, "", p,
                p > 0 ? t / p : 0.0, st || VNTgetnumrows(env, lp) != 50000 ? "  FAILED" : "");
    VNTfreeprob(env, &lp);
  }
  VNTcloseVANTO(&env);
  return 0;
}
