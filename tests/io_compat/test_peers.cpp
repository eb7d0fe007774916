// Files exchanged with the open-source peers: MPS files written by CLP and
// CBC (`-export`) read to the same model as the original, and MPS files we
// write (VNTwriteprob) solve to the reference optimum in CLP and in GLPK.
// Each case is skipped when its program is not installed.  By default a
// set of small models; VANTO_IO_FULL=1 takes every Netlib model (and every
// MIPLIB model for the exported files).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/model_compare.h"
#include "common/models.h"
#include "io/io.h"
#include "io/messages.h"
#include "vanto/vanto.h"
#include "vanto/vnt_ops.h"

namespace fs = std::filesystem;
using vnt::model::ModelData;

namespace {

bool have(const char* prog) {
  return std::system((std::string("command -v ") + prog + " > /dev/null 2>&1").c_str()) == 0;
}

bool fullSet() { return std::getenv("VANTO_IO_FULL") != nullptr; }

struct Tmp {
  fs::path dir;
  Tmp() {
    std::string t = (fs::temp_directory_path() / "vnt_peer_XXXXXX").string();
    dir = mkdtemp(t.data());
  }
  ~Tmp() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string file(const std::string& n) const { return (dir / n).string(); }
};

// Runs a shell command, returns its exit status and its output.
int run(const std::string& cmd, std::string& out) {
  out.clear();
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  return pclose(p);
}

std::vector<std::string> smallNetlib() {
  return {"afiro", "kb2",      "blend",  "boeing1", "capri",   "e226",    "etamacro", "finnis",
          "grow7", "israel",   "sc50a",  "scagr7",  "share1b", "stair",   "vtpbase"};
}

std::vector<std::string> netlibModels() {
  if (!fullSet()) return smallNetlib();
  std::vector<std::string> v;
  for (const auto& [name, ref] : vnt::test::references())
    if (ref.set == "netlib" && ref.status == "optimal") v.push_back(name);
  return v;
}

// b is a read back as written by a peer: equal within rel, or a rounded to
// 6 or more significant digits (CLP and CBC write numbers into 12-character
// fields and drop digits that do not fit).
bool close(double a, double b, double rel) {
  if (a == b) return true;
  if (std::fabs(a) >= 1e20 || std::fabs(b) >= 1e20) return (a >= 1e20 && b >= 1e20) || (a <= -1e20 && b <= -1e20);
  if (std::fabs(a - b) <= rel * std::max({1.0, std::fabs(a), std::fabs(b)})) return true;
  char buf[40];
  for (int digits = 6; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, a);
    if (std::strtod(buf, nullptr) == b) return true;
  }
  return false;
}

// Same model up to the order of rows and columns, matched by name; the
// peers leave out columns whose only entries were in free rows and may write
// a fixed integer column as a fixed continuous one.
void expectSameByName(const ModelData& a, const ModelData& b, bool integrality, double rel) {
  vnt::test::ByNameOptions opt;
  opt.near = [rel](double x, double y) { return close(x, y, rel); };
  opt.integrality = integrality;
  opt.fixedMayLoseType = true;
  opt.emptyColumnsMayGo = true;
  vnt::test::expectSameByName(a, b, opt);
}

// The file a peer wrote: it may have added ".gz" to the name.
std::string written(const std::string& path) {
  if (fs::exists(path)) return path;
  if (fs::exists(path + ".gz")) return path + ".gz";
  return {};
}

void checkExport(const char* prog, bool integrality) {
  if (!have(prog)) GTEST_SKIP() << prog << " not installed";
  Tmp tmp;
  std::vector<std::string> models;
  for (const auto& n : smallNetlib()) models.push_back("netlib/" + n);
  for (const char* n : {"egout", "flugpl", "bell3a", "lseu", "misc03"}) models.push_back(std::string("miplib3/") + n);
  if (fullSet())
    for (const auto& [name, ref] : vnt::test::references())
      if (ref.set == "netlib" || ref.set == "miplib3") models.push_back(ref.set + "/" + name);
  int compared = 0;
  for (const std::string& m : models) {
    SCOPED_TRACE(std::string(prog) + " " + m);
    std::string src = vnt::test::dataDir() + "/" + m + ".mps.gz";
    if (!fs::exists(src)) continue;
    std::string out = tmp.file(fs::path(m).filename().string() + ".mps");
    fs::remove(out);
    fs::remove(out + ".gz");
    std::string log;
    ASSERT_EQ(run(std::string(prog) + " " + src + " -presolve off -export " + out, log), 0) << log;
    std::string file = written(out);
    ASSERT_FALSE(file.empty()) << log;
    vnt::io::NullMessages quiet;
    ModelData orig, back;
    ASSERT_EQ(vnt::io::readProblemFile(src, nullptr, orig, quiet), 0);
    ASSERT_EQ(vnt::io::readProblemFile(file, nullptr, back, quiet), 0) << file;
    expectSameByName(orig, back, integrality, 1e-9);
    ++compared;
    fs::remove(file);
  }
  EXPECT_GE(compared, 15);
}

// Our MPS file of a Netlib model, written through the interface.
std::string writeOurs(VNTENVptr env, const std::string& name, const Tmp& tmp) {
  int st = 0;
  VNTLPptr lp = VNTcreateprob(env, &st, name.c_str());
  if (!lp) return {};
  std::string out = tmp.file(name + ".mps");
  st = VNTreadcopyprob(env, lp, vnt::test::modelPath("netlib", name).c_str(), nullptr);
  if (st == 0) st = VNTwriteprob(env, lp, out.c_str(), nullptr);
  VNTfreeprob(env, &lp);
  return st == 0 ? out : std::string();
}

// Marks the file as free layout on its NAME line, the way CLP learns that
// fields are separated by blanks rather than placed in fixed columns.
bool markFree(const std::string& in, const std::string& out) {
  std::ifstream is(in);
  std::ofstream os(out);
  std::string line;
  bool done = false;
  while (std::getline(is, line)) {
    if (!done && line.rfind("NAME", 0) == 0) {
      line += "  FREE";
      done = true;
    }
    os << line << '\n';
  }
  return done && static_cast<bool>(os);
}

// "Optimal objective <value> - ..." in CLP's output; NaN when absent.
double clpObjective(const std::string& log) {
  auto k = log.rfind("Optimal objective ");
  if (k == std::string::npos) return NAN;
  return std::strtod(log.c_str() + k + 18, nullptr);
}

// "Objective:  <name> = <value> (MINimum)" in GLPK's solution report.
double glpkObjective(const std::string& report) {
  auto k = report.find("Objective:");
  if (k == std::string::npos) return NAN;
  auto e = report.find(" = ", k);
  if (e == std::string::npos) return NAN;
  return std::strtod(report.c_str() + e + 3, nullptr);
}

}  // namespace

TEST(PeerFiles, ClpExportReadsToTheSameModel) { checkExport("clp", false); }

TEST(PeerFiles, CbcExportReadsToTheSameModel) { checkExport("cbc", true); }

TEST(PeerFiles, OurMpsSolvesToTheReferenceOptimumInClpAndGlpk) {
  const bool clp = have("clp"), glpk = have("glpsol");
  if (!clp && !glpk) GTEST_SKIP() << "neither clp nor glpsol installed";
  int st = 0;
  VNTENVptr env = VNTopenVANTO(&st);
  ASSERT_TRUE(env);
  Tmp tmp;
  int solved = 0;
  for (const std::string& name : netlibModels()) {
    SCOPED_TRACE(name);
    auto ref = vnt::test::references().find(name);
    ASSERT_NE(ref, vnt::test::references().end());
    std::string ours = writeOurs(env, name, tmp);
    ASSERT_FALSE(ours.empty());
    std::string log;
    if (clp) {
      std::string free = tmp.file(name + "_free.mps");
      ASSERT_TRUE(markFree(ours, free));
      ASSERT_EQ(run("clp " + free + " -dualsimplex", log), 0) << log;
      double v = clpObjective(log);
      EXPECT_TRUE(vnt::test::objectiveMatches(v, ref->second.objective))
          << "clp " << v << " reference " << ref->second.objective << "\n" << log;
      fs::remove(free);
    }
    if (glpk) {
      std::string report = tmp.file(name + ".txt");
      ASSERT_EQ(run("glpsol --freemps " + ours + " -o " + report, log), 0) << log;
      std::ifstream is(report);
      std::stringstream ss;
      ss << is.rdbuf();
      double v = glpkObjective(ss.str());
      EXPECT_TRUE(vnt::test::objectiveMatches(v, ref->second.objective))
          << "glpk " << v << " reference " << ref->second.objective << "\n" << log;
      fs::remove(report);
    }
    fs::remove(ours);
    ++solved;
  }
  EXPECT_GE(solved, 15);
  VNTcloseVANTO(&env);
}
