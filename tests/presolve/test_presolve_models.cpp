// Presolve on the shared test models: every Netlib model optimal at its
// reference value with a solution and basis that are optimal for the
// original model itself, and every infeasible model ending infeasible.  The
// quick models run by default; VANTO_PRESOLVE_FULL=1 runs the whole sets.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "presolve/presolve_fixture.h"

namespace {

using vnt::test::objectiveMatches;
using vnt::test::PresolveTest;

bool fullSets() {
  const char* e = std::getenv("VANTO_PRESOLVE_FULL");
  return e && *e && *e != '0';
}

// Reference optimum of a model of a set (a name may occur in two sets).
double referenceObjective(const std::string& set, const std::string& name) {
  std::ifstream in(vnt::test::dataDir() + "/reference.tsv");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string n, s, status, obj;
    std::getline(ls, n, '\t');
    std::getline(ls, s, '\t');
    std::getline(ls, status, '\t');
    std::getline(ls, obj, '\t');
    if (n == name && s == set) return obj.empty() ? NAN : std::strtod(obj.c_str(), nullptr);
  }
  return NAN;
}

// The quick models, or every model file of the set.
std::vector<std::string> modelsOf(const std::string& set, const std::vector<std::string>& quick) {
  if (!fullSets()) return quick;
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(vnt::test::dataDir() + "/" + set)) {
    std::string f = e.path().filename().string();
    const std::string ext = ".mps.gz";
    if (f.size() > ext.size() && f.compare(f.size() - ext.size(), ext.size(), ext) == 0)
      out.push_back(f.substr(0, f.size() - ext.size()));
  }
  std::sort(out.begin(), out.end());
  return out;
}

// A Netlib model solved: optimal at its reference value, with the original
// model's primal and dual infeasibilities and complementarity within 1e-6.
class NetlibSolved : public PresolveTest {
 protected:
  void expectReferenceOptimum(const std::string& name) {
    const double ref = referenceObjective("netlib", name);
    ASSERT_EQ(VNTgetstat(env, lp), 1) << name;
    double obj = 0;
    ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
    EXPECT_TRUE(objectiveMatches(obj, ref)) << name << ": " << obj << " vs " << ref;
    const vnt::test::Quality q = quality(lp);
    EXPECT_LE(q.primal, 1e-6) << name;
    EXPECT_LE(q.dual, 1e-6) << name;
    EXPECT_LE(q.slackness, 1e-6) << name;
  }
};

class NetlibPresolved : public NetlibSolved, public ::testing::WithParamInterface<std::string> {};

TEST_P(NetlibPresolved, OptimalForTheOriginalModel) {
  const std::string name = GetParam();
  ASSERT_FALSE(std::isnan(referenceObjective("netlib", name))) << name;
  read("netlib", name);
  ASSERT_EQ(VNTlpopt(env, lp), 0) << name;
  ASSERT_NO_FATAL_FAILURE(expectReferenceOptimum(name));
  // The basis mapped back from the reduced problem is (nearly) optimal:
  // the simplex needs few iterations on the original problem after it.
  int prestat = -1;
  ASSERT_EQ(VNTgetprestat(env, lp, &prestat, nullptr, nullptr, nullptr, nullptr), 0);
  if (prestat == 1) {
    VNTCLPptr red = nullptr;
    ASSERT_EQ(VNTgetredlp(env, lp, &red), 0);
    ASSERT_NE(red, nullptr);
    const long long total = VNTgetitcnt(env, lp), reduced = VNTgetitcnt(env, red);
    const long long cleanup = total - reduced;
    std::printf("[ cleanup  ] %s: %lld of %lld iterations after postsolve\n", name.c_str(), cleanup, total);
    EXPECT_LE(cleanup, std::max(10LL, total / 10)) << name;
  }
}

const std::vector<std::string> kQuickNetlib = {
    "afiro", "sc50a", "sc105", "sc205", "blend", "kb2", "share1b", "share2b", "stocfor1", "scagr7",
    "recipe", "boeing2", "israel", "brandy", "lotfi", "vtpbase", "e226", "bandm", "grow7", "capri",
    "finnis", "scfxm1", "etamacro", "agg", "agg2", "boeing1", "degen2", "gfrd-pnc", "scrs8", "standmps",
    "sctap1", "tuff", "ship04s", "scsd1", "stair"};

INSTANTIATE_TEST_SUITE_P(Models, NetlibPresolved, ::testing::ValuesIn(modelsOf("netlib", kQuickNetlib)),
                         [](const auto& param) {
                           std::string s = param.param;
                           for (char& c : s)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return s;
                         });

// The dual formulation: the dual of the reduced problem solved in its
// place gives the same optimum, with a solution and basis optimal for the
// original model.
class NetlibViaDual : public NetlibSolved, public ::testing::WithParamInterface<std::string> {};

TEST_P(NetlibViaDual, SameOptimumThroughTheDual) {
  const std::string name = GetParam();
  ASSERT_FALSE(std::isnan(referenceObjective("netlib", name))) << name;
  read("netlib", name);
  ASSERT_EQ(VNTsetintparam(env, VNTPARAM_Preprocessing_Dual, 1), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0) << name;
  EXPECT_TRUE(results.contains("DUAL formed by presolve\n")) << name;
  ASSERT_NO_FATAL_FAILURE(expectReferenceOptimum(name));
  VNTCLPptr red = nullptr;
  ASSERT_EQ(VNTgetredlp(env, lp, &red), 0);
  const long long total = VNTgetitcnt(env, lp);
  std::printf("[ via dual ] %s: %lld iterations in all\n", name.c_str(), total);
}

INSTANTIATE_TEST_SUITE_P(Models, NetlibViaDual,
                         ::testing::Values("afiro", "sc50a", "sc105", "blend", "kb2", "share1b", "share2b", "scagr7",
                                           "recipe", "boeing2", "israel", "brandy", "lotfi", "e226", "bandm",
                                           "grow7", "capri", "finnis", "agg", "degen2", "scsd1", "stair"),
                         [](const auto& param) {
                           std::string s = param.param;
                           for (char& c : s)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return s;
                         });

class InfeasiblePresolved : public PresolveTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(InfeasiblePresolved, EndsInfeasible) {
  const std::string name = GetParam();
  read("infeas", name);
  const int st = VNTlpopt(env, lp);
  const int stat = VNTgetstat(env, lp);
  if (st == 0) {
    EXPECT_EQ(stat, 3) << name;
  } else {
    // Settled by presolve: the outcome code and the status agree.
    ASSERT_TRUE(st == 1117 || st == 1101) << name << " returned " << st;
    EXPECT_EQ(stat, st == 1117 ? 3 : 4) << name;
    double obj = 0;
    EXPECT_EQ(VNTgetobjval(env, lp, &obj), 1217) << "no solution values after a presolve outcome";
  }
}

const std::vector<std::string> kQuickInfeasible = {"itest2", "itest6", "box1", "ex72a", "ex73a", "forest6",
                                                   "galenet", "klein1", "bgprtr", "chemcom", "vol1", "refinery",
                                                   "qual", "mondou2", "bgdbg1", "ceria3d"};

INSTANTIATE_TEST_SUITE_P(Models, InfeasiblePresolved, ::testing::ValuesIn(modelsOf("infeas", kQuickInfeasible)));

}  // namespace
