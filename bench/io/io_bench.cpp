// Reading speed of the problem-file readers against the peers' readers, one
// run: per model and file kind (MPS plain and gzip, the same model as LP
// plain and gzip) our time (VNTreadcopyprob: parse and load into the
// problem), the Clp library's (ClpSimplex::readMps / readLp, names kept) and
// GLPK's (glp_read_mps / glp_read_lp), with the ratios.  Then generated
// models of growing size, to show that reading time grows linearly with the
// file: nanoseconds per nonzero for each reader.
//
// Times are process CPU seconds, the best of --reps runs (the machine is
// shared, so wall time says little).  Each reader's model counts are checked
// against ours; a peer that reads different counts is marked.
//
// usage: bench_io_read [--reps N] [--max-nnz N] [--no-generated] [--no-shared]
//                      [set/name ...]
//   default models: the six largest shared ones; --max-nnz caps the
//   generated models (default 10000000: sizes 1e5, 1e6, 1e7).
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "vanto/vanto.h"
#include "vanto/vnt_ops.h"

#ifdef VANTO_BENCH_PEER_CLP
#include <ClpSimplex.hpp>
#endif
#ifdef VANTO_BENCH_PEER_GLPK
#include <glpk.h>
#endif

#ifndef VANTO_DATA_DIR
#define VANTO_DATA_DIR "../shared/data"
#endif

namespace fs = std::filesystem;

namespace {

using vnt::bench::cpuNow;

struct Counts {
  long long rows = -1, cols = -1, nnz = -1;
  bool operator==(const Counts&) const = default;
};

struct Timing {
  bool ok = false;
  double seconds = NAN;
  Counts counts;
};

// Best of `reps` runs of fn, which returns false on a read failure.
Timing best(int reps, const std::function<bool(Counts&)>& fn) {
  Timing t;
  for (int r = 0; r < reps; ++r) {
    Counts c;
    double t0 = cpuNow();
    bool ok = fn(c);
    double dt = cpuNow() - t0;
    if (!ok) return Timing{};
    t.ok = true;
    t.counts = c;
    if (std::isnan(t.seconds) || dt < t.seconds) t.seconds = dt;
  }
  return t;
}

VNTENVptr gEnv = nullptr;

bool readOurs(const std::string& file, Counts& c) {
  int st = 0;
  VNTLPptr lp = VNTcreateprob(gEnv, &st, "bench");
  if (!lp) return false;
  st = VNTreadcopyprob(gEnv, lp, file.c_str(), nullptr);
  if (st == 0) {
    c.rows = VNTgetnumrows(gEnv, lp);
    c.cols = VNTgetnumcols(gEnv, lp);
    c.nnz = VNTLgetnumnz(gEnv, lp);
  }
  VNTfreeprob(gEnv, &lp);
  return st == 0;
}

bool isLp(const std::string& file) {
  return file.find(".lp") != std::string::npos;
}

#ifdef VANTO_BENCH_PEER_CLP
bool readClp(const std::string& file, Counts& c) {
  ClpSimplex m;
  m.setLogLevel(0);
  m.messageHandler()->setLogLevel(0);
  int st = isLp(file) ? m.readLp(file.c_str()) : m.readMps(file.c_str(), true, false);
  if (st != 0) return false;
  c.rows = m.numberRows();
  c.cols = m.numberColumns();
  c.nnz = m.getNumElements();
  return true;
}
#endif

#ifdef VANTO_BENCH_PEER_GLPK
// GLPK needs the layout up front: fixed (deck) or free.  Chosen once per
// file, outside the timing.
int gGlpkMpsFormat = GLP_MPS_DECK;

bool readGlpk(const std::string& file, Counts& c) {
  glp_prob* p = glp_create_prob();
  int st = isLp(file) ? glp_read_lp(p, nullptr, file.c_str()) : glp_read_mps(p, gGlpkMpsFormat, nullptr, file.c_str());
  if (st == 0) {
    // GLPK keeps the objective as coefficients of the columns, not a row:
    // the counts are comparable with ours.
    c.rows = glp_get_num_rows(p);
    c.cols = glp_get_num_cols(p);
    c.nnz = glp_get_num_nz(p);
  }
  glp_delete_prob(p);
  return st == 0;
}

void chooseGlpkLayout(const std::string& mps) {
  Counts c;
  gGlpkMpsFormat = GLP_MPS_DECK;
  if (!readGlpk(mps, c)) gGlpkMpsFormat = GLP_MPS_FILE;
}
#endif

bool gzipFile(const std::string& in, const std::string& out) {
  std::ifstream is(in, std::ios::binary);
  gzFile gz = gzopen(out.c_str(), "wb6");
  if (!is || !gz) return false;
  std::vector<char> buf(1 << 20);
  while (is) {
    is.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    std::streamsize got = is.gcount();
    if (got > 0 && gzwrite(gz, buf.data(), static_cast<unsigned>(got)) != got) {
      gzclose(gz);
      return false;
    }
  }
  return gzclose(gz) == Z_OK;
}

bool gunzipFile(const std::string& in, const std::string& out) {
  gzFile gz = gzopen(in.c_str(), "rb");
  std::ofstream os(out, std::ios::binary);
  if (!gz || !os) return false;
  std::vector<char> buf(1 << 20);
  int got;
  while ((got = gzread(gz, buf.data(), static_cast<unsigned>(buf.size()))) > 0) os.write(buf.data(), got);
  gzclose(gz);
  return got == 0 && static_cast<bool>(os);
}

// Writes `mps` again as LP through our writer.
bool writeLpFrom(const std::string& mps, const std::string& lpFile) {
  int st = 0;
  VNTLPptr lp = VNTcreateprob(gEnv, &st, "conv");
  if (!lp) return false;
  st = VNTreadcopyprob(gEnv, lp, mps.c_str(), nullptr);
  if (st == 0) st = VNTwriteprob(gEnv, lp, lpFile.c_str(), nullptr);
  VNTfreeprob(gEnv, &lp);
  return st == 0;
}

struct Row {
  std::string label;
  double mb = 0;
  Timing ours, clp, glpk;
};

std::string fmtTime(const Timing& t) {
  char b[32];
  if (!t.ok) return "   fail";
  std::snprintf(b, sizeof b, "%7.3f", t.seconds);
  return b;
}

std::string fmtRatio(const Timing& a, const Timing& b) {
  char s[32];
  if (!a.ok || !b.ok || b.seconds <= 0) return "     -";
  std::snprintf(s, sizeof s, "%6.2f", a.seconds / b.seconds);
  return s;
}

// Geometric means of ours/peer over the rows where both read.
struct Geo {
  double logSum = 0;
  int n = 0;
  void add(const Timing& a, const Timing& b) {
    if (!a.ok || !b.ok || a.seconds <= 0 || b.seconds <= 0) return;
    logSum += std::log(a.seconds / b.seconds);
    ++n;
  }
  double value() const { return n ? std::exp(logSum / n) : NAN; }
};

int gReps = 3;

Row measure(const std::string& label, const std::string& file) {
  Row r;
  r.label = label;
  r.mb = static_cast<double>(fs::file_size(file)) / 1e6;
  r.ours = best(gReps, [&](Counts& c) { return readOurs(file, c); });
#ifdef VANTO_BENCH_PEER_CLP
  r.clp = best(gReps, [&](Counts& c) { return readClp(file, c); });
#endif
#ifdef VANTO_BENCH_PEER_GLPK
  r.glpk = best(gReps, [&](Counts& c) { return readGlpk(file, c); });
#endif
  return r;
}

void printHeader() {
  std::printf("%-22s %8s %9s %7s %7s %7s %6s %6s %6s\n", "model/file", "MB", "nnz", "ours", "clp", "glpk",
              "/clp", "/glpk", "/best");
}

void printRow(const Row& r) {
  Timing fastest;
  for (const Timing* t : {&r.clp, &r.glpk})
    if (t->ok && (!fastest.ok || t->seconds < fastest.seconds)) fastest = *t;
  auto mark = [&](const Timing& t) { return t.ok && r.ours.ok && !(t.counts == r.ours.counts) ? "*" : ""; };
  std::printf("%-22s %8.1f %9lld %7s %6s%1s %6s%1s %6s %6s %6s\n", r.label.c_str(), r.mb, r.ours.counts.nnz,
              fmtTime(r.ours).c_str(), fmtTime(r.clp).c_str(), mark(r.clp), fmtTime(r.glpk).c_str(), mark(r.glpk),
              fmtRatio(r.ours, r.clp).c_str(), fmtRatio(r.ours, r.glpk).c_str(), fmtRatio(r.ours, fastest).c_str());
  std::fflush(stdout);
}

// A random sparse model with about `nnz` nonzeros in fixed-layout MPS: ten
// entries per column, rows with every sense, some ranges and bounds.
void writeGenerated(const std::string& path, long long nnz) {
  const long long cols = std::max(1LL, nnz / 10);
  const long long rows = std::max(10LL, nnz / 20);
  std::mt19937_64 g(12345);
  std::uniform_real_distribution<double> u(-100.0, 100.0);
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return;
  std::fprintf(f, "NAME          GEN%lld\nROWS\n N  COST\n", nnz);
  const char senses[3] = {'L', 'G', 'E'};
  for (long long i = 0; i < rows; ++i) std::fprintf(f, " %c  R%07lld\n", senses[i % 3], i);
  std::fprintf(f, "COLUMNS\n");
  std::vector<long long> idx;
  for (long long j = 0; j < cols; ++j) {
    idx.clear();
    while (idx.size() < 10) {
      long long r = static_cast<long long>(g() % static_cast<unsigned long long>(rows));
      if (std::find(idx.begin(), idx.end(), r) == idx.end()) idx.push_back(r);
    }
    std::sort(idx.begin(), idx.end());
    std::fprintf(f, "    C%07lld  COST      %12.6g\n", j, u(g));
    for (long long r : idx) std::fprintf(f, "    C%07lld  R%07lld  %12.6g\n", j, r, u(g));
  }
  std::fprintf(f, "RHS\n");
  for (long long i = 0; i < rows; ++i) std::fprintf(f, "    RHS       R%07lld  %12.6g\n", i, u(g));
  std::fprintf(f, "RANGES\n");
  for (long long i = 0; i < rows; i += 7) std::fprintf(f, "    RNG       R%07lld  %12.6g\n", i, std::fabs(u(g)));
  std::fprintf(f, "BOUNDS\n");
  for (long long j = 0; j < cols; j += 3) std::fprintf(f, " UP BND       C%07lld  %12.6g\n", j, std::fabs(u(g)));
  std::fprintf(f, "ENDATA\n");
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  long long maxNnz = 10000000;
  bool generated = true, shared = true;
  std::vector<std::string> models;
  for (int a = 1; a < argc; ++a) {
    if (!std::strcmp(argv[a], "--reps") && a + 1 < argc) gReps = std::max(1, std::atoi(argv[++a]));
    else if (!std::strcmp(argv[a], "--max-nnz") && a + 1 < argc) maxNnz = std::atoll(argv[++a]);
    else if (!std::strcmp(argv[a], "--no-generated")) generated = false;
    else if (!std::strcmp(argv[a], "--no-shared")) shared = false;
    else models.push_back(argv[a]);
  }
  if (models.empty())
    models = {"miplib3/nw04", "miplib3/fast0507", "netlib/maros-r7", "netlib/fit2d", "miplib3/air04",
              "miplib3/dano3mip"};

  int st = 0;
  gEnv = VNTopenVANTO(&st);
  if (!gEnv) {
    std::fprintf(stderr, "cannot open the environment (%d)\n", st);
    return 1;
  }
#ifdef VANTO_BENCH_PEER_GLPK
  glp_term_out(GLP_OFF);
#endif
  const char* tmpBase = std::getenv("TMPDIR");
  fs::path tmp = fs::path(tmpBase ? tmpBase : "/tmp") / ("vanto_io_bench_" + std::to_string(getpid()));
  fs::create_directories(tmp);

  std::printf("process CPU seconds, best of %d; ratios ours/peer (below 1: we are faster); "
              "* = peer read other counts\n",
              gReps);
#ifndef VANTO_BENCH_PEER_CLP
  std::printf("(Clp library not found at build time)\n");
#endif
#ifndef VANTO_BENCH_PEER_GLPK
  std::printf("(GLPK library not found at build time)\n");
#endif
  Geo geoClp[4], geoGlpk[4], geoBest[4];
  const char* kinds[4] = {"mps", "mps.gz", "lp", "lp.gz"};
  if (shared) {
    printHeader();
    for (const std::string& m : models) {
      std::string name = fs::path(m).filename().string();
      std::string gz = std::string(VANTO_DATA_DIR) + "/" + m + ".mps.gz";
      std::string files[4] = {(tmp / (name + ".mps")).string(), gz, (tmp / (name + ".lp")).string(),
                              (tmp / (name + ".lp.gz")).string()};
      if (!gunzipFile(gz, files[0]) || !writeLpFrom(gz, files[2]) || !gzipFile(files[2], files[3])) {
        std::printf("%-22s cannot prepare the files\n", name.c_str());
        continue;
      }
#ifdef VANTO_BENCH_PEER_GLPK
      chooseGlpkLayout(files[0]);
#endif
      for (int k = 0; k < 4; ++k) {
        Row r = measure(name + "." + kinds[k], files[k]);
        printRow(r);
        Timing fastest;
        for (const Timing* t : {&r.clp, &r.glpk})
          if (t->ok && (!fastest.ok || t->seconds < fastest.seconds)) fastest = *t;
        geoClp[k].add(r.ours, r.clp);
        geoGlpk[k].add(r.ours, r.glpk);
        geoBest[k].add(r.ours, fastest);
      }
      for (const auto& f : {files[0], files[2], files[3]}) fs::remove(f);
    }
    std::printf("\ngeometric mean of the ratios ours/peer by file kind:\n");
    std::printf("%-8s %7s %7s %7s\n", "kind", "/clp", "/glpk", "/best");
    for (int k = 0; k < 4; ++k)
      std::printf("%-8s %7.2f %7.2f %7.2f\n", kinds[k], geoClp[k].value(), geoGlpk[k].value(), geoBest[k].value());
  }

  if (generated) {
    std::printf("\ngenerated models (fixed MPS, then our LP of it): nanoseconds per nonzero\n");
    std::printf("%-22s %8s %9s %7s %7s %7s %6s %6s\n", "size/file", "MB", "nnz", "ours", "clp", "glpk", "/clp",
                "/glpk");
    for (long long n = 100000; n <= maxNnz; n *= 10) {
      std::string mps = (tmp / ("gen" + std::to_string(n) + ".mps")).string();
      std::string lpf = (tmp / ("gen" + std::to_string(n) + ".lp")).string();
      writeGenerated(mps, n);
      if (!writeLpFrom(mps, lpf)) {
        std::printf("gen %lld: cannot prepare the LP file\n", n);
        continue;
      }
#ifdef VANTO_BENCH_PEER_GLPK
      chooseGlpkLayout(mps);
#endif
      int reps = gReps;
      if (n >= 10000000) gReps = 1;
      for (const std::string& f : {mps, lpf}) {
        Row r = measure("", f);
        auto ns = [&](const Timing& t) {
          char b[32];
          if (!t.ok) return std::string("   fail");
          std::snprintf(b, sizeof b, "%7.0f", 1e9 * t.seconds / static_cast<double>(r.ours.counts.nnz));
          return std::string(b);
        };
        std::printf("%-22s %8.1f %9lld %7s %7s %7s %6s %6s\n",
                    ("gen" + std::to_string(n) + (f == mps ? ".mps" : ".lp")).c_str(), r.mb, r.ours.counts.nnz,
                    ns(r.ours).c_str(), ns(r.clp).c_str(), ns(r.glpk).c_str(), fmtRatio(r.ours, r.clp).c_str(),
                    fmtRatio(r.ours, r.glpk).c_str());
        std::fflush(stdout);
      }
      gReps = reps;
      fs::remove(mps);
      fs::remove(lpf);
    }
  }
  fs::remove_all(tmp);
  VNTcloseVANTO(&gEnv);
  return 0;
}
