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

// Compares by names: objective, bounds, integrality, row intervals and every
// matrix entry.  Columns and rows may come in another order.
void expectSameByName(const ModelData& a, const ModelData& b, const std::string& what) {
  SCOPED_TRACE(what);
  ASSERT_EQ(a.numCols(), b.numCols());
  ASSERT_EQ(a.numRows(), b.numRows());
  ASSERT_EQ(a.numNz(), b.numNz());
  EXPECT_EQ(a.objsen, b.objsen);
  Named nb = index(b);
  std::vector<int> colMap(static_cast<std::size_t>(a.numCols())), rowMap(static_cast<std::size_t>(a.numRows()));
  for (int j = 0; j < a.numCols(); ++j) {
    auto it = nb.col.find(a.colname[j]);
    ASSERT_NE(it, nb.col.end()) << "column " << a.colname[j];
    colMap[j] = it->second;
  }
  for (int i = 0; i < a.numRows(); ++i) {
    auto it = nb.row.find(a.rowname[i]);
    ASSERT_NE(it, nb.row.end()) << "row " << a.rowname[i];
    rowMap[i] = it->second;
  }
  auto isInt = [](const ModelData& m, int j) { return colType(m, j) == 'I' || colType(m, j) == 'B'; };
  for (int j = 0; j < a.numCols(); ++j) {
    int k = colMap[j];
    EXPECT_TRUE(close(a.obj[j], b.obj[k], 1e-12)) << a.colname[j];
    EXPECT_TRUE(close(a.lb[j], b.lb[k], 1e-12)) << a.colname[j] << " " << a.lb[j] << " " << b.lb[k];
    EXPECT_TRUE(close(a.ub[j], b.ub[k], 1e-12)) << a.colname[j] << " " << a.ub[j] << " " << b.ub[k];
    EXPECT_EQ(isInt(a, j), isInt(b, k)) << a.colname[j];
    std::map<int, double> ca, cb;
    for (int64_t p = a.matbeg[j]; p < a.matbeg[j + 1]; ++p) ca[rowMap[a.matind[p]]] = a.matval[p];
    for (int64_t p = b.matbeg[k]; p < b.matbeg[k + 1]; ++p) cb[b.matind[p]] = b.matval[p];
    ASSERT_EQ(ca.size(), cb.size()) << a.colname[j];
    for (const auto& [r, v] : ca) EXPECT_TRUE(close(v, cb[r], 1e-12)) << a.colname[j];
  }
  for (int i = 0; i < a.numRows(); ++i) {
    auto ia = rowInterval(a, i), ib = rowInterval(b, rowMap[i]);
    EXPECT_TRUE(close(ia.first, ib.first, 1e-12) && close(ia.second, ib.second, 1e-12)) << a.rowname[i];
  }
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
