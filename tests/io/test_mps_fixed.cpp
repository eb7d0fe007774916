// MPS files in the fixed column layout whose names contain blanks: read by
// columns after the blank-separated reading fails, and only then.
#include <gtest/gtest.h>

#include "io/device.h"
#include "io/io.h"
#include "io/mps.h"
#include "io_test_util.h"

using namespace vnt::io;
using namespace vnt::io::test;
using vnt::model::ModelData;

namespace {

const char* const kLogLine = "Names with blanks: MPS file read by fixed columns.\n";

// One data line with the six fields placed in their columns (2-3, 5-12,
// 15-22, 25-36, 40-47, 50-61).
std::string fixedLine(const std::string& f1, const std::string& f2, const std::string& f3 = "",
                      const std::string& f4 = "", const std::string& f5 = "", const std::string& f6 = "") {
  const std::size_t at[] = {1, 4, 14, 24, 39, 49};
  const std::string* f[] = {&f1, &f2, &f3, &f4, &f5, &f6};
  std::string line;
  for (int k = 0; k < 6; ++k) {
    if (f[k]->empty()) continue;
    line.resize(at[k], ' ');
    line += *f[k];
  }
  return line + "\n";
}

int readText(const std::string& text, ModelData& m, CollectMessages& msg) {
  MemoryDevice dev(text);
  return readMps(dev, m, msg);
}

int col(const ModelData& m, const std::string& name) {
  for (int j = 0; j < m.numCols(); ++j)
    if (m.colname[j] == name) return j;
  return -1;
}
int row(const ModelData& m, const std::string& name) {
  for (int i = 0; i < m.numRows(); ++i)
    if (m.rowname[i] == name) return i;
  return -1;
}
double coef(const ModelData& m, int i, int j) {
  for (int64_t k = m.matbeg[j]; k < m.matbeg[j + 1]; ++k)
    if (m.matind[k] == i) return m.matval[k];
  return 0.0;
}

// Blanks in every kind of name: rows, columns, the RHS, RANGES and BOUNDS
// set names, and negative numbers right after names that fill their field.
std::string blankNamesModel() {
  std::string t = "NAME          BLANKS\nROWS\n";
  t += fixedLine("N", "COST");
  t += fixedLine("E", "DEDO3 1R");
  t += fixedLine("E", "DEDO3 2R");
  t += fixedLine("L", "LIM 1");
  t += fixedLine("G", "LIM 2");
  t += "COLUMNS\n";
  t += fixedLine("", "MARKER", "'MARKER'", "", "'INTORG'");
  t += fixedLine("", "X 1", "COST", "-1.5", "DEDO3 1R", "-2");
  t += fixedLine("", "X 1", "LIM 1", "1");
  t += fixedLine("", "MARKER", "'MARKER'", "", "'INTEND'");
  t += fixedLine("", "X 2", "DEDO3 2R", "-1.25E1", "LIM 2", "3");
  t += fixedLine("", "X 2", "DEDO3 1R", "1");
  t += fixedLine("", "Y", "LIM 1", "-4", "COST", "2");
  t += "RHS\n";
  t += fixedLine("", "RHS 1", "DEDO3 1R", "-7", "DEDO3 2R", "8");
  t += fixedLine("", "RHS 1", "LIM 1", "10");
  t += "RANGES\n";
  t += fixedLine("", "RNG 1", "LIM 2", "-5");
  t += "BOUNDS\n";
  t += fixedLine("UP", "BND 1", "X 1", "-1");
  t += fixedLine("LO", "BND 1", "X 1", "-9");
  t += fixedLine("UP", "BND 1", "X 2", "6");
  t += fixedLine("MI", "BND 1", "Y");
  t += "ENDATA\n";
  return t;
}

void expectBlankNamesModel(const ModelData& m) {
  ASSERT_EQ(m.numRows(), 4);
  ASSERT_EQ(m.numCols(), 3);
  EXPECT_EQ(m.probname, "BLANKS");
  EXPECT_EQ(m.objname, "COST");
  const int d1 = row(m, "DEDO3 1R"), d2 = row(m, "DEDO3 2R"), l1 = row(m, "LIM 1"), l2 = row(m, "LIM 2");
  const int x1 = col(m, "X 1"), x2 = col(m, "X 2"), y = col(m, "Y");
  ASSERT_TRUE(d1 >= 0 && d2 >= 0 && l1 >= 0 && l2 >= 0);
  ASSERT_TRUE(x1 >= 0 && x2 >= 0 && y >= 0);
  EXPECT_EQ(m.obj[x1], -1.5);
  EXPECT_EQ(m.obj[x2], 0.0);
  EXPECT_EQ(m.obj[y], 2.0);
  EXPECT_EQ(coef(m, d1, x1), -2.0);
  EXPECT_EQ(coef(m, l1, x1), 1.0);
  EXPECT_EQ(coef(m, d2, x2), -12.5);
  EXPECT_EQ(coef(m, l2, x2), 3.0);
  EXPECT_EQ(coef(m, d1, x2), 1.0);
  EXPECT_EQ(coef(m, l1, y), -4.0);
  EXPECT_EQ(m.numNz(), 6);
  EXPECT_EQ(m.sense[d1], 'E');
  EXPECT_EQ(m.sense[l1], 'L');
  EXPECT_EQ(m.rhs[d1], -7.0);
  EXPECT_EQ(m.rhs[d2], 8.0);
  EXPECT_EQ(m.rhs[l1], 10.0);
  // A G row with a range r covers [rhs, rhs + |r|].
  auto iv = rowInterval(m, l2);
  EXPECT_EQ(iv.first, 0.0);
  EXPECT_EQ(iv.second, 5.0);
  EXPECT_EQ(m.lb[x1], -9.0);
  EXPECT_EQ(m.ub[x1], -1.0);
  EXPECT_EQ(m.ub[x2], 6.0);
  EXPECT_LE(m.lb[y], -1e20);
  ASSERT_EQ(m.ctype.size(), 3u);
  EXPECT_NE(m.ctype[x1], 'C');
  EXPECT_EQ(m.ctype[x2], 'C');
}

}  // namespace

TEST(MpsFixedColumns, NamesWithBlanksReadByColumns) {
  const std::string text = blankNamesModel();
  ModelData m;
  CollectMessages msg;
  ASSERT_EQ(readText(text, m, msg), 0) << msg.errors;
  expectBlankNamesModel(m);
  // One log line says so; the errors of the blank-separated attempt are
  // not shown.
  EXPECT_EQ(msg.logText, kLogLine);
  EXPECT_EQ(msg.errors, "");
  EXPECT_NE(msg.resultsText.find("Selected RHS        name:  RHS 1\n"), std::string::npos) << msg.resultsText;
  EXPECT_NE(msg.resultsText.find("Selected bound      name:  BND 1\n"), std::string::npos) << msg.resultsText;

  // The same through the file layer, compressed (the stream is rewound).
  TempDir tmp;
  for (const char* name : {"blanks.mps", "blanks.mps.gz", "blanks.mps.bz2"}) {
    auto out = openFileDevice(tmp.file(name), 'w');
    ASSERT_TRUE(out);
    ASSERT_TRUE(out->writeString(text));
    ASSERT_TRUE(out->close());
    ModelData f;
    CollectMessages fmsg;
    ASSERT_EQ(readProblemFile(tmp.file(name), nullptr, f, fmsg), 0) << name << "\n" << fmsg.errors;
    expectBlankNamesModel(f);
    EXPECT_EQ(fmsg.logText, kLogLine) << name;
  }
}

// What reads by blanks today keeps its meaning, and a file that neither
// layout reads reports what it reported before.
TEST(MpsFixedColumns, OnlyFailedReadsFallBack) {
  // Fixed layout without blanks in names: read by blanks, no log line.
  std::string plain = "NAME          PLAIN\nROWS\n";
  plain += fixedLine("N", "COST") + fixedLine("L", "R1") + "COLUMNS\n";
  plain += fixedLine("", "X1", "COST", "1", "R1", "-2") + "RHS\n" + fixedLine("", "RHS", "R1", "4") + "ENDATA\n";
  ModelData m;
  CollectMessages msg;
  ASSERT_EQ(readText(plain, m, msg), 0) << msg.errors;
  EXPECT_EQ(msg.logText, "");
  EXPECT_EQ(m.rowname[0], "R1");

  // Blanks in names and a row that is missing in both readings: the error
  // of the blank-separated reading, exactly as before.
  std::string broken = "NAME          BROKEN\nROWS\n";
  broken += fixedLine("N", "COST") + fixedLine("E", "DEDO3 1R") + fixedLine("E", "DEDO3 2R") + "COLUMNS\n";
  broken += fixedLine("", "X 1", "DEDO3 9R", "1") + "ENDATA\n";
  ModelData keep;
  keep.probname = "keep";
  CollectMessages bmsg;
  EXPECT_EQ(readText(broken, keep, bmsg), -1445);
  EXPECT_EQ(bmsg.errors, "VANTO Error  1445: Row 'DEDO3' repeats.\n");
  EXPECT_EQ(bmsg.logText, "");
  EXPECT_EQ(keep.probname, "keep");

  // Blanks in names but a line off the columns (the name starts in column
  // 6): no second reading.
  std::string shifted = blankNamesModel();
  const std::string good = fixedLine("E", "DEDO3 2R");
  shifted.replace(shifted.find(good), good.size(), " E   DEDO3 2R\n");
  ModelData s;
  CollectMessages smsg;
  EXPECT_EQ(readText(shifted, s, smsg), -1445);
  EXPECT_EQ(smsg.logText, "");

  // A tab in a data line never fits the columns.
  std::string tabbed = blankNamesModel();
  const std::string lim = fixedLine("L", "LIM 1");
  tabbed.replace(tabbed.find(lim), lim.size(), " L\tLIM 1\n");
  ModelData t;
  CollectMessages tmsg;
  EXPECT_LT(readText(tabbed, t, tmsg), 0);
  EXPECT_EQ(tmsg.logText, "");
}

// Every shared model reads by blanks as before (no second reading), and
// those in the fixed layout read the same by columns.
TEST(MpsFixedColumns, SharedModelsReadTheSameBothWays) {
  int both = 0, all = 0;
  for (const char* sub : {"netlib", "infeas", "sample"}) {
    for (const std::string& path : sharedModels(sub)) {
      ModelData byBlanks;
      CollectMessages msg;
      ASSERT_EQ(readMpsFile(path, byBlanks, msg), 0) << path << "\n" << msg.errors;
      EXPECT_EQ(msg.logText, "") << path;
      ++all;
      auto dev = openFileDevice(path, 'r');
      ASSERT_TRUE(dev);
      ModelData byColumns;
      CollectMessages cmsg;
      if (readMpsFixedColumns(*dev, byColumns, cmsg) != 0) continue;  // not in the fixed layout
      ++both;
      expectSameModel(byBlanks, byColumns, true, 0.0);
      EXPECT_EQ(byBlanks.probname, byColumns.probname) << path;
      EXPECT_EQ(msg.warnings, cmsg.warnings) << path;
      if (HasFailure()) {
        ADD_FAILURE() << path;
        return;
      }
    }
  }

  EXPECT_GT(all, 100);
  EXPECT_GT(both, 50);
}
