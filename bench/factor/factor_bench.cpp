// Timing of the basis factorization on bases of real models.
//
// For each Netlib model: the constraint matrix is read from the MPS file
// (COLUMNS section only), a basis is taken from <bases>/<model>.bas (an MPS
// basis file, e.g. an optimal basis written by a peer solver) or, without
// one, made of random structurals with the dependent ones replaced by
// logicals.  Then a simplex-like sequence runs: a random nonbasic structural
// enters (FTRAN for the update), the position with the largest |alpha|
// leaves, the pivot row of B^-1 is computed (BTRAN of a unit vector) and the
// factors are updated; they are rebuilt when update() asks for it.  The same
// sequence is replayed on the peer factorization when it is available.
//
//   factor_bench [--bases DIR] [--data DIR] [--iters N] [--repeats R] [model ...]
//
// Every measurement is repeated R times (ours and the peer alternating) and
// the smallest time of each kind is reported.
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "simplex/factor.h"
#include "simplex_factor/mps_columns.h"

#ifdef VANTO_BENCH_PEER_COIN
#include <CoinFactorization.hpp>
#include <CoinIndexedVector.hpp>
#include <CoinPackedMatrix.hpp>
#endif

using vnt::simplex::Factor;
using vnt::simplex::MatrixView;
using vnt::simplex::WorkVec;
using Clock = std::chrono::steady_clock;
using vnt::testing::Model;
using vnt::testing::readBasis;
using vnt::testing::readMps;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// CPU time of this thread: unaffected by other processes taking the cores,
// but too costly to read around every single operation.
const auto cpuSeconds = vnt::bench::threadCpuNow;

// Build with the driver's recovery ladder: rebuild with a raised Markowitz
// threshold while the pivots are too far apart for the threshold in force.
int buildChecked(Factor& f, const MatrixView& a, int* basis, std::vector<int>* rep = nullptr) {
  for (;;) {
    const int rc = f.build(a, basis, rep);
    if (rc < 0 || !vnt::simplex::factorIllConditioned(f.conditionRatio(), f.pivotThreshold())) return rc;
    f.setPivotThreshold(vnt::simplex::raiseMarkowitzThreshold(f.pivotThreshold()));
  }
}

// Updates between refactorizations, the same for both factorizations.
int updateLimit(int m) { return std::min(100, std::max(10, m)); }

struct Times {
  double build = 0, ftran = 0, btran = 0, update = 0, refactor = 0;
  int refactors = 0, iters = 0;
  double colNnz = 0, rowNnz = 0;  // average result nonzeros in the sequence
  double cpuSeq = 0;              // CPU time of the whole sequence (with the timers)
  double ftranDense = 0, ftranHyper = 0, btranDense = 0, btranHyper = 0;
  int64_t luNnz = 0;
};

struct Step {
  int enter, leave;  // variables
};

void loadColumn(const Model& md, int q, WorkVec& x) {
  x.clear();
  for (int64_t p = md.start[q]; p < md.start[q + 1]; ++p) {
    x.val[md.index[p]] = md.value[p];
    x.idx[x.nnz++] = md.index[p];
  }
}

// Records a simplex-like sequence of basis changes on our factorization
// (the basis after the first build's repairs is returned in startBasis).
std::vector<Step> record(const Model& md, std::vector<int> basis, int iters, std::vector<int>& startBasis,
                         double& threshold) {
  MatrixView a{md.m, md.n, md.start.data(), md.index.data(), md.value.data()};
  const int m = md.m;
  Factor f;
  f.setUpdateLimit(updateLimit(m));
  std::vector<int> rep;
  buildChecked(f, a, basis.data(), &rep);
  while (!rep.empty()) buildChecked(f, a, basis.data(), &rep);  // repairs of later passes
  startBasis = basis;
  std::vector<Step> steps;
  WorkVec col;
  col.resize(m);
  std::mt19937_64 rng(1);
  std::uniform_int_distribution<int> pickCol(0, std::max(0, md.n - 1));
  std::vector<char> inBasis(md.n + m, 0);
  for (int v : basis) inBasis[v] = 1;
  int guard = 0;
  while (static_cast<int>(steps.size()) < iters && guard++ < 50 * iters) {
    const int q = pickCol(rng);
    if (inBasis[q] || md.start[q] == md.start[q + 1]) continue;
    loadColumn(md, q, col);
    f.ftranForUpdate(col, 0.05);
    int p = -1;
    double mx = 0.0;
    for (int k = 0; k < col.nnz; ++k) {
      const double v = std::fabs(col.val[col.idx[k]]);
      if (v > mx) {
        mx = v;
        p = col.idx[k];
      }
    }
    if (p < 0 || mx < 1e-7) continue;
    steps.push_back({q, basis[p]});
    inBasis[basis[p]] = 0;
    basis[p] = q;
    inBasis[q] = 1;
    if (f.update(p) != 0) {
      buildChecked(f, a, basis.data(), &rep);
      if (!rep.empty()) {
        steps.pop_back();  // the basis became singular: end the sequence here
        break;
      }
    }
  }
  threshold = f.pivotThreshold();
  return steps;
}

// Our factorization: build, hypersparse against dense solves on the fresh
// factors, then the recorded sequence.
Times runOurs(const Model& md, const std::vector<int>& startBasis, const std::vector<Step>& steps,
             double threshold) {
  Times t;
  MatrixView a{md.m, md.n, md.start.data(), md.index.data(), md.value.data()};
  const int m = md.m;
  Factor f;
  f.setPivotThreshold(threshold);
  f.setUpdateLimit(updateLimit(m));
  std::vector<int> basis = startBasis;
  int reps = 0;
  auto t0 = Clock::now();
  do {
    basis = startBasis;
    f.build(a, basis.data());
    ++reps;
  } while (seconds(t0, Clock::now()) < 0.1 && reps < 100);
  t.build = seconds(t0, Clock::now()) / reps;
  t.luNnz = f.stats().factorNnz;

  WorkVec col, row;
  col.resize(m);
  row.resize(m);
  std::mt19937_64 rng(1);
  std::uniform_int_distribution<int> pickCol(0, std::max(0, md.n - 1));
  std::uniform_int_distribution<int> pickRow(0, m - 1);
  {
    const int k = 100;
    std::vector<int> qs(k), rs(k);
    for (int i = 0; i < k; ++i) {
      qs[i] = pickCol(rng);
      rs[i] = pickRow(rng);
    }
    for (double hint : {1.0, 0.01}) {
      auto s0 = Clock::now();
      for (int i = 0; i < k; ++i) {
        loadColumn(md, qs[i], col);
        f.ftran(col, hint);
      }
      auto s1 = Clock::now();
      for (int i = 0; i < k; ++i) {
        row.clear();
        row.val[rs[i]] = 1.0;
        row.idx[row.nnz++] = rs[i];
        f.btran(row, hint);
      }
      auto s2 = Clock::now();
      (hint == 1.0 ? t.ftranDense : t.ftranHyper) = seconds(s0, s1) / k;
      (hint == 1.0 ? t.btranDense : t.btranHyper) = seconds(s1, s2) / k;
    }
  }

  std::vector<int> posOf(md.n + m, -1);
  for (int j = 0; j < m; ++j) posOf[basis[j]] = j;
  double colDensity = 0.01, rowDensity = 0.01;
  const double c0 = cpuSeconds();
  for (const Step& s : steps) {
    loadColumn(md, s.enter, col);
    auto s0 = Clock::now();
    f.ftranForUpdate(col, colDensity);
    auto s1 = Clock::now();
    t.ftran += seconds(s0, s1);
    colDensity = 0.95 * colDensity + 0.05 * col.nnz / m;
    t.colNnz += col.nnz;
    const int p = posOf[s.leave];
    row.clear();
    row.val[p] = 1.0;
    row.idx[row.nnz++] = p;
    s0 = Clock::now();
    f.btran(row, rowDensity);
    s1 = Clock::now();
    t.btran += seconds(s0, s1);
    rowDensity = 0.95 * rowDensity + 0.05 * row.nnz / m;
    t.rowNnz += row.nnz;
    basis[p] = s.enter;
    posOf[s.enter] = p;
    posOf[s.leave] = -1;
    s0 = Clock::now();
    const int rc = f.update(p);
    s1 = Clock::now();
    t.update += seconds(s0, s1);
    if (rc != 0) {
      s0 = Clock::now();
      buildChecked(f, a, basis.data());
      s1 = Clock::now();
      t.refactor += seconds(s0, s1);
      ++t.refactors;
    }
    ++t.iters;
  }
  t.cpuSeq = cpuSeconds() - c0;
  if (t.iters > 0) {
    t.colNnz /= t.iters;
    t.rowNnz /= t.iters;
  }
  return t;
}

// Per-category minimum over repeated runs (the machine is shared: the
// minimum is the least disturbed measurement).
void keepMin(Times& best, const Times& t, bool first) {
  if (first) {
    best = t;
    return;
  }
  best.build = std::min(best.build, t.build);
  best.ftran = std::min(best.ftran, t.ftran);
  best.btran = std::min(best.btran, t.btran);
  best.update = std::min(best.update, t.update);
  best.refactor = std::min(best.refactor, t.refactor);
  best.ftranDense = std::min(best.ftranDense, t.ftranDense);
  best.ftranHyper = std::min(best.ftranHyper, t.ftranHyper);
  best.btranDense = std::min(best.btranDense, t.btranDense);
  best.btranHyper = std::min(best.btranHyper, t.btranHyper);
  best.cpuSeq = std::min(best.cpuSeq, t.cpuSeq);
  best.colNnz = t.colNnz;
  best.rowNnz = t.rowNnz;
}

#ifdef VANTO_BENCH_PEER_COIN
// The peer: same starting basis, same sequence of entering and leaving
// variables, refactorized when it asks for it.
bool runPeer(const Model& md, const std::vector<int>& startBasis, const std::vector<Step>& steps, Times& t) {
  const int m = md.m, n = md.n;
  std::vector<int> len(n);
  std::vector<CoinBigIndex> st(n + 1);
  for (int j = 0; j < n; ++j) {
    len[j] = static_cast<int>(md.start[j + 1] - md.start[j]);
    st[j] = static_cast<CoinBigIndex>(md.start[j]);
  }
  st[n] = static_cast<CoinBigIndex>(md.start[n]);
  CoinPackedMatrix mat(true, m, n, static_cast<CoinBigIndex>(md.index.size()), md.value.data(),
                       md.index.data(), st.data(), len.data());
  std::vector<char> basic(n + m, 0);
  for (int v : startBasis) basic[v] = 1;
  std::vector<int> rowIsBasic(m), colIsBasic(n), rowOf(n + m, -1);
  auto factorize = [&](CoinFactorization& f) {
    for (int i = 0; i < m; ++i) rowIsBasic[i] = basic[n + i] ? 1 : -1;
    for (int j = 0; j < n; ++j) colIsBasic[j] = basic[j] ? 1 : -1;
    const int rc = f.factorize(mat, rowIsBasic.data(), colIsBasic.data());
    if (rc != 0) return false;
    for (int i = 0; i < m; ++i) rowOf[n + i] = basic[n + i] ? rowIsBasic[i] : -1;
    for (int j = 0; j < n; ++j) rowOf[j] = basic[j] ? colIsBasic[j] : -1;
    return true;
  };
  {
    int reps = 0;
    auto t0 = Clock::now();
    do {
      CoinFactorization f;
      if (!factorize(f)) return false;
      ++reps;
    } while (seconds(t0, Clock::now()) < 0.1 && reps < 100);
    t.build = seconds(t0, Clock::now()) / reps;
  }
  CoinFactorization f;
  f.maximumPivots(updateLimit(m));
  if (!factorize(f)) return false;
  CoinIndexedVector region, vec;
  // Work regions sized like the peer's own driver does (rows and columns).
  const double c0 = cpuSeconds();
  CoinIndexedVector work;
  region.reserve(m + n);
  vec.reserve(m + n);
  work.reserve(m + n);
  for (const Step& s : steps) {
    vec.clear();
    for (int64_t p = md.start[s.enter]; p < md.start[s.enter + 1]; ++p) vec.insert(md.index[p], md.value[p]);
    auto s0 = Clock::now();
    f.updateColumnFT(&region, &vec);
    auto s1 = Clock::now();
    t.ftran += seconds(s0, s1);
    const int r = rowOf[s.leave];
    if (r < 0) return false;
    const double alpha = vec.denseVector()[r];
    CoinIndexedVector rowv;
    rowv.reserve(m + n);
    rowv.insert(r, 1.0);
    s0 = Clock::now();
    f.updateColumnTranspose(&region, &rowv);
    s1 = Clock::now();
    t.btran += seconds(s0, s1);
    basic[s.leave] = 0;
    basic[s.enter] = 1;
    rowOf[s.enter] = r;
    rowOf[s.leave] = -1;
    s0 = Clock::now();
    const int rc = std::fabs(alpha) > 1e-12 ? f.replaceColumn(&work, r, alpha) : 2;
    s1 = Clock::now();
    t.update += seconds(s0, s1);
    if (rc != 0 || f.pivots() >= updateLimit(m)) {
      s0 = Clock::now();
      if (!factorize(f)) return false;
      s1 = Clock::now();
      t.refactor += seconds(s0, s1);
      ++t.refactors;
    }
    ++t.iters;
  }
  t.cpuSeq = cpuSeconds() - c0;
  return true;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::string dataDir = VANTO_DATA_DIR;
  std::string basesDir;
  int iters = 300;
  int repeats = 5;
  std::vector<std::string> models;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--bases" && i + 1 < argc) basesDir = argv[++i];
    else if (a == "--data" && i + 1 < argc) dataDir = argv[++i];
    else if (a == "--iters" && i + 1 < argc) iters = std::atoi(argv[++i]);
    else if (a == "--repeats" && i + 1 < argc) repeats = std::max(1, std::atoi(argv[++i]));
    else models.push_back(a);
  }
  if (models.empty())
    models = {"afiro", "sc205", "scfxm3", "ship12l", "bnl2", "25fv47", "pilot", "degen3",
              "80bau3b", "fit2p", "d2q06c", "greenbea", "maros-r7", "dfl001"};
#ifdef VANTO_BENCH_PEER_COIN
  const bool peer = true;
#else
  const bool peer = false;
#endif
  std::printf("Basis factorization: times per operation (build ms, others us); peer = %s\n",
              peer ? "CoinUtils factorization" : "none");
  std::printf("%-9s %6s %6s %5s %6s %7s %8s %5s %5s | %8s %8s %8s %8s %8s | %7s %7s %7s %7s | %8s |",
              "model", "m", "struct", "basis", "u", "nnz(B)", "nnz(LU)", "col%", "row%", "build", "ftranU", "btranU",
              "update", "refac", "ftD", "ftH", "btD", "btH", "seqCPU");
  if (peer) std::printf(" %8s %8s %8s %8s %8s | %6s %6s %6s %6s %6s", "p.build", "p.ftran", "p.btran", "p.upd",
                        "p.seqCPU", "r.bld", "r.ftr", "r.btr", "r.upd", "r.seq");
  std::printf("\n");
  for (const std::string& name : models) {
    Model md;
    md.name = name;
    if (!readMps(dataDir + "/netlib/" + name + ".mps.gz", md)) {
      std::printf("%-9s (not readable)\n", name.c_str());
      continue;
    }
    std::vector<int> basis;
    const char* kind = "opt";
    if (basesDir.empty() || !readBasis(basesDir + "/" + name + ".bas", md, basis)) {
      // Random structurals; dependent ones become logicals in the first build.
      kind = "rand";
      std::mt19937_64 rng(7);
      std::vector<int> cols(md.n);
      for (int j = 0; j < md.n; ++j) cols[j] = j;
      std::shuffle(cols.begin(), cols.end(), rng);
      basis.assign(cols.begin(), cols.begin() + std::min(md.n, md.m));
      for (int i = 0; static_cast<int>(basis.size()) < md.m; ++i) basis.push_back(md.n + i);
    }
    std::vector<int> start;
    double threshold = 0.01;
    const std::vector<Step> steps = record(md, basis, iters, start, threshold);
    Times t, pt;
    bool peerOk = peer;
    for (int r = 0; r < repeats; ++r) {
      keepMin(t, runOurs(md, start, steps, threshold), r == 0);
#ifdef VANTO_BENCH_PEER_COIN
      Times p;
      if (peerOk && runPeer(md, start, steps, p)) keepMin(pt, p, r == 0);
      else peerOk = false;
#endif
    }
    int ns = 0;
    int64_t bnz = 0;
    for (int v : start) {
      if (v < md.n) {
        ++ns;
        bnz += md.start[v + 1] - md.start[v];
      } else {
        ++bnz;
      }
    }
    const double it = std::max(1, t.iters);
    std::printf("%-9s %6d %6d %5s %6.2f %7lld %8lld %5.1f %5.1f | %8.3f %8.2f %8.2f %8.2f %8.3f | %7.2f %7.2f %7.2f %7.2f | %8.2f |",
                name.c_str(), md.m, ns, kind, threshold, static_cast<long long>(bnz), static_cast<long long>(t.luNnz),
                100.0 * t.colNnz / md.m, 100.0 * t.rowNnz / md.m,
                t.build * 1e3, t.ftran / it * 1e6, t.btran / it * 1e6, t.update / it * 1e6,
                t.refactor * 1e3, t.ftranDense * 1e6, t.ftranHyper * 1e6, t.btranDense * 1e6,
                t.btranHyper * 1e6, t.cpuSeq / it * 1e6);
    if (peerOk && t.iters > 0 && pt.iters > 0) {
      const double pit = std::max(1, pt.iters);
      std::printf(" %8.3f %8.2f %8.2f %8.2f %8.2f | %6.2f %6.2f %6.2f %6.2f %6.2f", pt.build * 1e3,
                  pt.ftran / pit * 1e6, pt.btran / pit * 1e6, pt.update / pit * 1e6, pt.cpuSeq / pit * 1e6,
                  t.build / pt.build, (t.ftran / it) / (pt.ftran / pit), (t.btran / it) / (pt.btran / pit),
                  (t.update / it) / (pt.update / pit), (t.cpuSeq / it) / (pt.cpuSeq / pit));
    } else if (peer) {
      std::printf(" (peer failed)");
    }
    std::printf("\n");
    std::fflush(stdout);
  }
  std::printf("ftranU/btranU/update: per iteration of the update sequence (up to %d iterations);"
              " refac: total ms of rebuilds in it; ftD/ftH, btD/btH: dense and sparse-hint solves of\n"
              "random columns and unit rows on the fresh factors; r.*: our time / peer time;"
              " minimum of %d runs.\ncol%%, row%%: average nonzeros of the FTRAN'd columns and BTRAN'd rows in the sequence, in %% of m;\n"
              "seqCPU: thread CPU time of the whole sequence per iteration (us, rebuilds included), the robust total;\n"
              "u: Markowitz threshold after the recovery ladder (starting at 0.01).\n",
              iters, repeats);
  return 0;
}
