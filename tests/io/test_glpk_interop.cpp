// Files written by GLPK's glpsol (free MPS and LP) read to the same model as
// the original MPS file.  Skipped when glpsol is not installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "io/io.h"
#include "io/mps.h"
#include "io_test_util.h"

using namespace vnt::io;
using namespace vnt::io::test;
using vnt::model::ModelData;

namespace {

bool haveGlpsol() { return std::system("command -v glpsol > /dev/null 2>&1") == 0; }

struct Named {
  std::map<std::string, int> col, row;
};

Named index(const ModelData& m) {
  Named x;
  for (int j = 0; j < m.numCols(); ++j) x.col[m.colname[j]] = j;
  for (int i = 0; i < m.numRows(); ++i) x.row[m.rowname[i]] = i;
  return x;
}

void expectSameByName(const ModelData& a, const ModelData& b, const std::string& what) {
  SCOPED_TRACE(what);
  vnt::test::expectSameByName(a, b);
}

}  // namespace

TEST(GlpkInterop, GlpsolFilesReadToTheSameModel) {
  if (!haveGlpsol()) GTEST_SKIP() << "glpsol not installed";
  TempDir tmp;
  int mpsCompared = 0, lpCompared = 0;
  const std::vector<std::string> models = {
      "netlib/afiro",  "netlib/boeing1", "netlib/capri",  "netlib/e226",     "netlib/etamacro", "netlib/finnis",
      "netlib/grow7",  "netlib/israel",  "netlib/scagr7", "netlib/share1b",  "netlib/stair",    "netlib/vtpbase",
      "miplib3/egout", "miplib3/flugpl", "miplib3/bell3a", "miplib3/lseu",  "miplib3/misc03",  "miplib3/gesa2",
      "infeas/bgprtr", "infeas/woodinfe"};
  for (const std::string& name : models) {
    std::string src = dataDir() + "/" + name + ".mps.gz";
    if (!std::filesystem::exists(src)) continue;
    ModelData orig;
    CollectMessages msg;
    ASSERT_EQ(readMpsFile(src, orig, msg), 0) << src;
    std::string base = tmp.file(std::filesystem::path(name).filename().string());
    std::string cmd = "glpsol --mps '" + src + "' --check --wfreemps '" + base + ".mps' --wlp '" + base +
                      ".lp' > /dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) continue;  // glpsol refused the file
    ModelData viaMps;
    CollectMessages m1;
    ASSERT_EQ(readProblemFile(base + ".mps", nullptr, viaMps, m1), 0) << base << ".mps\n" << m1.errors;
    expectSameByName(orig, viaMps, name + " via free MPS");
    ++mpsCompared;
    bool ranged = std::find(orig.sense.begin(), orig.sense.end(), 'R') != orig.sense.end();
    // glpsol writes ranged rows with extra range columns; and with blanks
    // carrying no meaning, "2 E1X" is 20 times X in this format, so names
    // that start with e or E cannot be read back from its LP files
    bool eName = false;
    for (const auto& n : orig.colname) eName |= n[0] == 'e' || n[0] == 'E';
    if (ranged || eName) continue;
    ModelData viaLp;
    CollectMessages m2;
    ASSERT_EQ(readProblemFile(base + ".lp", nullptr, viaLp, m2), 0) << base << ".lp\n" << m2.errors;
    // glpsol replaces names it cannot write by <letter>_<index>
    auto generic = [](std::string& n, const std::map<std::string, int>& known, const std::vector<std::string>& names) {
      if (known.count(n) || n.size() < 3 || n[1] != '_') return;
      char* end = nullptr;
      std::size_t k = std::strtoul(n.c_str() + 2, &end, 10);
      if (*end == '\0' && k >= 1 && k <= names.size()) n = names[k - 1];
    };
    Named known = index(orig);
    for (auto& n : viaLp.colname) generic(n, known.col, orig.colname);
    for (auto& n : viaLp.rowname) generic(n, known.row, orig.rowname);
    expectSameByName(orig, viaLp, name + " via LP");
    ++lpCompared;
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GE(mpsCompared, 15);
  EXPECT_GE(lpCompared, 5);
  std::printf("compared %d free MPS and %d LP files written by glpsol\n", mpsCompared, lpCompared);
}

// Our MPS files are blank-separated (free) MPS: names are written as they
// are, not padded to the eight-character fields of the fixed layout.  A
// peer reading them in free mode and writing them again must give back the
// same model, in both number forms of the writer.
TEST(GlpkInterop, OurMpsFilesReadByGlpsolInFreeMode) {
  if (!haveGlpsol()) GTEST_SKIP() << "glpsol not installed";
  TempDir tmp;
  int compared = 0;
  const std::vector<std::string> models = {"netlib/afiro", "netlib/blend",  "netlib/boeing1", "netlib/share2b",
                                           "netlib/stair", "miplib3/egout", "miplib3/lseu",   "infeas/bgprtr"};
  for (const std::string& name : models) {
    const std::string src = dataDir() + "/" + name + ".mps.gz";
    if (!std::filesystem::exists(src)) continue;
    ModelData orig;
    CollectMessages msg;
    ASSERT_EQ(readMpsFile(src, orig, msg), 0) << src;
    for (bool longNumbers : {true, false}) {
      IoSettings settings;
      settings.mpsLongNumbers = longNumbers;
      const std::string base = tmp.file(std::filesystem::path(name).filename().string() + (longNumbers ? "_l" : "_c"));
      CollectMessages wm;
      ASSERT_EQ(writeProblemFile(base + ".mps", nullptr, orig, wm, settings), 0) << wm.errors;
      const std::string cmd = "glpsol --freemps '" + base + ".mps' --check --wfreemps '" + base + ".glp.mps' > '" +
                              base + ".log' 2>&1";
      ASSERT_EQ(std::system(cmd.c_str()), 0) << name << ": glpsol refused our file (see " << base << ".log)";
      ModelData back;
      CollectMessages rm;
      ASSERT_EQ(readProblemFile(base + ".glp.mps", nullptr, back, rm), 0) << rm.errors;
      // the compact form keeps 12 characters of each number
      if (longNumbers) {
        expectSameByName(orig, back, name + " through glpsol");
      } else {
        EXPECT_EQ(back.numRows(), orig.numRows()) << name;
        EXPECT_EQ(back.numCols(), orig.numCols()) << name;
        EXPECT_EQ(back.matval.size(), orig.matval.size()) << name;
      }
      ++compared;
      if (::testing::Test::HasFailure()) return;
    }
  }
  EXPECT_GE(compared, 12);
}
