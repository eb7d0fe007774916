// MPS reader and writer on the shared models and on small hand-made files.
#include <gtest/gtest.h>

#include "io/device.h"
#include "io/mps.h"
#include "io_test_util.h"

using namespace vnt::io;
using namespace vnt::io::test;
using vnt::model::ModelData;

namespace {

void expectWellFormed(const ModelData& m, const std::string& what) {
  const int n = m.numCols(), mr = m.numRows();
  ASSERT_EQ(m.lb.size(), static_cast<std::size_t>(n)) << what;
  ASSERT_EQ(m.ub.size(), static_cast<std::size_t>(n)) << what;
  ASSERT_EQ(m.colname.size(), static_cast<std::size_t>(n)) << what;
  ASSERT_EQ(m.matbeg.size(), static_cast<std::size_t>(n) + 1) << what;
  ASSERT_EQ(m.sense.size(), static_cast<std::size_t>(mr)) << what;
  ASSERT_EQ(m.rowname.size(), static_cast<std::size_t>(mr)) << what;
  ASSERT_TRUE(m.rngval.empty() || m.rngval.size() == static_cast<std::size_t>(mr)) << what;
  ASSERT_TRUE(m.ctype.empty() || m.ctype.size() == static_cast<std::size_t>(n)) << what;
  std::vector<int> mark(static_cast<std::size_t>(mr), -1);
  for (int j = 0; j < n; ++j) {
    ASSERT_LE(m.matbeg[j], m.matbeg[j + 1]) << what;
    for (int64_t k = m.matbeg[j]; k < m.matbeg[j + 1]; ++k) {
      int r = m.matind[k];
      ASSERT_TRUE(r >= 0 && r < mr) << what;
      ASSERT_NE(mark[r], j) << what << ": repeated row in column " << j;
      mark[r] = j;
    }
  }
  ASSERT_EQ(m.matbeg[n], m.numNz()) << what;
}

}  // namespace

TEST(MpsRead, EverySharedModelReads) {
  int count = 0;
  for (const char* sub : {"netlib", "infeas", "miplib3", "sample"}) {
    for (const std::string& path : sharedModels(sub)) {
      ModelData m;
      CollectMessages msg;
      int rc = readMpsFile(path, m, msg);
      ASSERT_EQ(rc, 0) << path << "\n" << msg.errors;
      expectWellFormed(m, path);
      EXPECT_GT(m.numCols(), 0) << path;
      ++count;
    }
  }
  EXPECT_GE(count, 160);
}

namespace {

int readText(const std::string& text, ModelData& m, CollectMessages& msg, const IoSettings& s = {}) {
  MemoryDevice dev(text);
  return readMps(dev, m, msg, s);
}

std::string writeText(const ModelData& m, bool generic = false, const IoSettings& s = {}) {
  MemoryDevice dev;
  CollectMessages msg;
  EXPECT_EQ(writeMps(dev, m, msg, generic, s), 0) << msg.errors;
  return dev.data();
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

}  // namespace

TEST(MpsRead, AfiroSpotChecks) {
  ModelData m;
  CollectMessages msg;
  ASSERT_EQ(readMpsFile(dataDir() + "/netlib/afiro.mps.gz", m, msg), 0);
  EXPECT_EQ(m.probname, "AFIRO");
  EXPECT_EQ(m.objname, "COST");
  EXPECT_EQ(m.numRows(), 27);
  EXPECT_EQ(m.numCols(), 32);
  EXPECT_EQ(m.objsen, 1);
  int x01 = col(m, "X01");
  ASSERT_EQ(x01, 0);
  EXPECT_EQ(m.matbeg[1] - m.matbeg[0], 4);
  EXPECT_DOUBLE_EQ(coef(m, row(m, "X48"), x01), 0.301);
  EXPECT_DOUBLE_EQ(coef(m, row(m, "R10"), x01), -1.06);
  EXPECT_DOUBLE_EQ(m.obj[col(m, "X02")], -0.4);
  EXPECT_DOUBLE_EQ(m.rhs[row(m, "X50")], 310.0);
  EXPECT_DOUBLE_EQ(m.rhs[row(m, "R23")], 44.0);
  EXPECT_EQ(m.sense[row(m, "R09")], 'E');
  EXPECT_EQ(m.sense[row(m, "X05")], 'L');
  EXPECT_TRUE(m.ctype.empty());
  EXPECT_NE(msg.resultsText.find("Selected objective  name:  COST"), std::string::npos);
}

TEST(MpsRead, Exmip1RangesMarkersBounds) {
  ModelData m;
  CollectMessages msg;
  ASSERT_EQ(readMpsFile(dataDir() + "/sample/exmip1.5.mps", m, msg), 0) << msg.errors;
  ASSERT_EQ(m.numRows(), 6);
  ASSERT_EQ(m.numCols(), 8);
  // G row with range 3.2 -> [1.8, 5.0]; L row with range 12 -> [3, 15]
  int r4 = row(m, "ROW04"), r5 = row(m, "ROW05");
  EXPECT_EQ(m.sense[r4], 'R');
  EXPECT_DOUBLE_EQ(m.rngval[r4], 3.2);
  EXPECT_EQ(m.sense[r5], 'R');
  EXPECT_DOUBLE_EQ(m.rngval[r5], -12.0);
  EXPECT_DOUBLE_EQ(m.rhs[r5], 15.0);
  // marker columns without bounds: general integers on [0, inf)
  int c3 = col(m, "COL03"), c4 = col(m, "COL04");
  ASSERT_FALSE(m.ctype.empty());
  EXPECT_EQ(m.ctype[c3], 'I');
  EXPECT_EQ(m.ctype[c4], 'I');
  EXPECT_GE(m.ub[c3], 1e20);
  EXPECT_EQ(m.ctype[col(m, "COL01")], 'C');
  EXPECT_DOUBLE_EQ(m.lb[col(m, "COL01")], 2.5);
  EXPECT_DOUBLE_EQ(m.ub[col(m, "COL02")], 4.1);
  EXPECT_DOUBLE_EQ(m.obj[col(m, "COL05")], 2.0);
  EXPECT_DOUBLE_EQ(coef(m, row(m, "ROW06"), c3), 15.0);
}

TEST(MpsRead, ObjectiveSenseAndFreeRows) {
  const std::string body =
      "ROWS\n N  obj\n N  other\n L  c1\nCOLUMNS\n    x  obj  1  c1  1\n    x  other  5\nRHS\n    rhs  c1  4\nENDATA\n";
  {
    ModelData m;
    CollectMessages msg;
    ASSERT_EQ(readText("NAME t\nOBJSENSE\n    MAX\n" + body, m, msg), 0) << msg.errors;
    EXPECT_EQ(m.objsen, -1);
    EXPECT_NE(msg.resultsText.find("Specified objective sense: MAXIMIZE\n"), std::string::npos);
    EXPECT_NE(msg.resultsText.find("  [1 free row deleted]\n"), std::string::npos);
    EXPECT_EQ(m.numRows(), 1);
    EXPECT_EQ(m.objname, "obj");
  }
  {
    ModelData m;
    CollectMessages msg;
    ASSERT_EQ(readText("NAME t\nOBJSENSE    MAX\n" + body, m, msg), 0) << msg.errors;
    EXPECT_EQ(m.objsen, 1);  // a value on the header line is not read
    EXPECT_NE(msg.resultsText.find("Selected objective sense:  MINIMIZE\n"), std::string::npos);
  }
  {
    ModelData m;
    CollectMessages msg;
    ASSERT_EQ(readText("NAME t\nOBJNAME\n    other\n" + body, m, msg), 0) << msg.errors;
    EXPECT_EQ(m.objname, "other");
    EXPECT_DOUBLE_EQ(m.obj[0], 5.0);
  }
  {
    ModelData m;
    CollectMessages msg;
    ASSERT_EQ(readText("NAME t\nOBJNAME\n    nosuch\n" + body, m, msg), 0) << msg.errors;
    EXPECT_EQ(m.objname, "obj");
    EXPECT_NE(msg.warnings.find("Warning:  Specified objective 'nosuch' not found.\n"), std::string::npos);
  }
}

TEST(MpsRead, BoundRules) {
  const std::string head =
      "NAME b\nROWS\n N obj\n L c1\nCOLUMNS\n    x  c1  1\n    y  c1  1\n    z  c1  1\n"
      "    M1  'MARKER'  'INTORG'\n    i1  c1  1\n    i2  c1  1\n    i3  c1  1\n    M2  'MARKER'  'INTEND'\n"
      "    w  c1  1\n    v  c1  1\nRHS\n    rhs  obj  10  c1  1.5D+02\nBOUNDS\n";
  {
    ModelData m;
    CollectMessages msg;
    std::string text = head +
                       " UP BND x -5\n UP BND y 0\n MI BND z\n UP BND i2 1\n UI BND i3 4.5\n"
                       " BV BND w\n FR BND v\n UP OTHER x 7\n UP OTHER y 7\nENDATA\n";
    ASSERT_EQ(readText(text, m, msg), 0) << msg.errors;
    int x = col(m, "x"), y = col(m, "y"), z = col(m, "z");
    EXPECT_LE(m.lb[x], -1e20);
    EXPECT_DOUBLE_EQ(m.ub[x], -5.0);
    EXPECT_NE(msg.warnings.find("Warning:  Lower bound on column 'x' in bound 'BND'\n          changed to minus infinity.\n"),
              std::string::npos);
    EXPECT_DOUBLE_EQ(m.lb[y], 0.0);
    EXPECT_DOUBLE_EQ(m.ub[y], 0.0);
    EXPECT_NE(msg.warnings.find("Warning:  Column 'y' in bound 'BND' is Fixed.\n"), std::string::npos);
    EXPECT_LE(m.lb[z], -1e20);
    EXPECT_GE(m.ub[z], 1e20);
    EXPECT_NE(msg.warnings.find("Warning:  Column 'z' in bound 'BND' is Free.\n"), std::string::npos);
    EXPECT_EQ(m.ctype[col(m, "i1")], 'I');
    EXPECT_GE(m.ub[col(m, "i1")], 1e20);
    EXPECT_EQ(m.ctype[col(m, "i2")], 'B');
    EXPECT_EQ(m.ctype[col(m, "i3")], 'I');
    EXPECT_NE(msg.warnings.find("Warning:  Non-integral bound value 4.5 for integer column 'i3'.\n"), std::string::npos);
    EXPECT_EQ(m.ctype[col(m, "w")], 'B');
    EXPECT_DOUBLE_EQ(m.ub[col(m, "w")], 1.0);
    EXPECT_LE(m.lb[col(m, "v")], -1e20);
    // second bound set: one warning, its lines skipped
    std::size_t p = msg.warnings.find("Warning:  More than one bound set specified. Only the first set is used.\n");
    EXPECT_NE(p, std::string::npos);
    EXPECT_EQ(msg.warnings.find("More than one bound set", p + 20), std::string::npos) << msg.warnings;
    // the objective value in RHS is not an offset; D exponent reads
    EXPECT_EQ(m.objoffset, 0.0);
    EXPECT_NE(msg.warnings.find("Warning:  Objective coefficient in RHS section ignored.\n"), std::string::npos);
    EXPECT_DOUBLE_EQ(m.rhs[0], 150.0);
  }
  struct Bad {
    std::string lines;
    int code;
    std::string text;
  };
  for (const Bad& b : std::vector<Bad>{
           {" LO BND x 1\n LO BND x 2\n", 1459, "Line 20: Repeated lower bound"},
           {" UP BND x 1\n PL BND x\n", 1458, "Line 20: Repeated upper bound"},
           {" LO BND x 1\n FR BND x\n", 1455, "Line 20: 'FR' bound type illegal when prior bound given"},
           {" UP BND x 1\n BV BND x\n", 1456, "Line 20: 'BV' bound type illegal when prior bound given"},
           {" UP BND nosuch 1\n", 1449, "Line 19: 'nosuch' is not a column name"},
       }) {
    ModelData m;
    CollectMessages msg;
    EXPECT_EQ(readText(head + b.lines + "ENDATA\n", m, msg), -b.code) << b.lines;
    EXPECT_NE(msg.errors.find(b.text), std::string::npos) << msg.errors;
    EXPECT_EQ(m.numCols(), 0);
  }
}

TEST(MpsRead, SemiContinuousAndMarkerInteraction) {
  ModelData m;
  CollectMessages msg;
  std::string text =
      "NAME s\nROWS\n N obj\n G c\nCOLUMNS\n    a  c  1\n    MK  'MARKER'  'INTORG'\n    b  c  1\n"
      "    MK  'MARKER'  'INTEND'\nRHS\n    rhs  c  1\nBOUNDS\n SC BND a 8\n SC BND b 9\n LO BND b 2\nENDATA\n";
  ASSERT_EQ(readText(text, m, msg), 0) << msg.errors;
  EXPECT_EQ(m.ctype[0], 'S');
  EXPECT_DOUBLE_EQ(m.ub[0], 8.0);
  EXPECT_EQ(m.ctype[1], 'N');
  EXPECT_DOUBLE_EQ(m.lb[1], 2.0);
}

TEST(MpsRead, RangesSignRules) {
  ModelData m;
  CollectMessages msg;
  std::string text =
      "NAME r\nROWS\n N obj\n G g\n L l\n E ep\n E en\nCOLUMNS\n    x  g  1  l  1\n    x  ep  1  en  1\n"
      "RHS\n    rhs  g  1  l  10\n    rhs  ep  5  en  5\nRANGES\n    rng  g  -2  l  3\n    rng  ep  4  en  -4\nENDATA\n";
  ASSERT_EQ(readText(text, m, msg), 0) << msg.errors;
  auto iv = [&](int i) { return rowInterval(m, i); };
  EXPECT_EQ(iv(0), std::make_pair(1.0, 3.0));
  EXPECT_EQ(iv(1), std::make_pair(7.0, 10.0));
  EXPECT_EQ(iv(2), std::make_pair(5.0, 9.0));
  EXPECT_EQ(iv(3), std::make_pair(1.0, 5.0));
}

TEST(MpsRead, CommentsMarkersAndStructuralErrors) {
  {
    ModelData m;
    CollectMessages msg;
    std::string text =
        "* leading comment\nNAME c\nROWS\n N obj\n* inside\n L c1 $ trailing\nCOLUMNS\n    x  c1  2  $ obj 5\n"
        "    y  c1\n    MK  'MARKER'  'WHATEVER'\nRHS\n    c1  3\n";
    ASSERT_EQ(readText(text, m, msg), 0) << msg.errors;
    EXPECT_EQ(m.numRows(), 1);
    EXPECT_DOUBLE_EQ(m.obj[0], 0.0);
    EXPECT_DOUBLE_EQ(m.rhs[0], 3.0);
    EXPECT_NE(msg.warnings.find("Warning:  Empty numeric fields read as zeros.\n"), std::string::npos);
    EXPECT_NE(msg.warnings.find("Line 10:  Unidentified MARKER found. Ignored.\n"), std::string::npos);
    EXPECT_NE(msg.warnings.find("Warning:  Blank RHS name changed to 'rhs'.\n"), std::string::npos);
    EXPECT_NE(msg.warnings.find("Warning, line 12:  'ENDATA' missing.\n"), std::string::npos);
  }
  struct Bad {
    std::string text;
    int code;
    std::string msg;
  };
  const std::string rows = "NAME e\nROWS\n N obj\n L c1\n";
  for (const Bad& b : std::vector<Bad>{
           {rows + " X c2\n", 1453, "Line 5: No row sense"},
           {rows + " L\n", 1486, "Line 5: No row name"},
           {rows + "COLUMNS\n    M 'MARKER' 'INTORG'\n    M 'MARKER' 'INTORG'\n", 1480,
            "Line 7: 'INTORG' found while reading integers"},
           {rows + "USERCUTS\n N cut\n", 1438, "Line 6: Illegal lazy constraint or user cut"},
           {rows + "COLUMNS\n    x  c1  1\nSOS\n S3 s\n", 1442, "Line 8: Unrecognized SOS type: S3"},
           {rows + "COLUMNS\n    x  c1  1\nQMATRIX\n    x  x  1\n    x  y  1\n", 0, ""},
       }) {
    ModelData m;
    m.probname = "keep";
    CollectMessages msg;
    int rc = readText(b.text, m, msg);
    EXPECT_EQ(rc, -b.code) << b.text.substr(0, 200) << "\n" << msg.errors;
    if (b.code) {
      EXPECT_NE(msg.errors.find(format("VANTO Error %5d: ", b.code) + b.msg), std::string::npos)
          << msg.errors;
      EXPECT_EQ(m.probname, "keep");
    }
  }
}

TEST(MpsRead, ExtensionSections) {
  ModelData m;
  CollectMessages msg;
  std::string text =
      "NAME ext\nROWS\n N obj\n L c1\n G q1\n L ind1\nLAZYCONS\n L lz\nCOLUMNS\n"
      "    x  obj  1  c1  1\n    x  q1  2  lz  1\n    y  c1  1  ind1  3\n"
      "    M 'MARKER' 'INTORG'\n    b  obj  1\n    M 'MARKER' 'INTEND'\n"
      "RHS\n    rhs  c1  4  q1  1\n    rhs  ind1  2  lz  7\nBOUNDS\n UP bnd b 1\n"
      "SOS\n S2 SOS s2 1\n    x  1\n    y  2\n S1 s1\n    y\n    x\n"
      "QMATRIX\n    x  x  2\n    x  y  1\n    y  x  1\n"
      "QCMATRIX   q1\n    x  x  1\n    x  y  0.5\n    y  x  0.5\n"
      "INDICATORS\n IF ind1 b 0\nENDATA\n";
  ASSERT_EQ(readText(text, m, msg), 0) << msg.errors;
  ASSERT_EQ(m.numRows(), 1);
  EXPECT_EQ(m.rowname[0], "c1");
  ASSERT_EQ(m.lazycons.size(), 1u);
  EXPECT_EQ(m.lazycons[0].name, "lz");
  EXPECT_DOUBLE_EQ(m.lazycons[0].rhs, 7.0);
  ASSERT_EQ(m.sos.size(), 2u);
  EXPECT_EQ(m.sos[0].type, '2');
  EXPECT_EQ(m.sos[0].name, "s2");
  EXPECT_EQ(m.sos[1].ind, (std::vector<int>{1, 0}));
  ASSERT_EQ(m.qobj.size(), 2u);
  EXPECT_EQ(m.qobj[0].col1, 0);
  EXPECT_EQ(m.qobj[0].col2, 0);
  EXPECT_DOUBLE_EQ(m.qobj[0].coef, 2.0);
  EXPECT_DOUBLE_EQ(m.qobj[1].coef, 1.0);
  ASSERT_EQ(m.qconstr.size(), 1u);
  EXPECT_EQ(m.qconstr[0].name, "q1");
  EXPECT_EQ(m.qconstr[0].sense, 'G');
  EXPECT_DOUBLE_EQ(m.qconstr[0].rhs, 1.0);
  EXPECT_EQ(m.qconstr[0].linind, std::vector<int>{0});
  ASSERT_EQ(m.qconstr[0].quad.size(), 2u);
  EXPECT_DOUBLE_EQ(m.qconstr[0].quad[1].coef, 1.0);  // x*y collects both triangles
  ASSERT_EQ(m.indconstr.size(), 1u);
  EXPECT_EQ(m.indconstr[0].indvar, 2);
  EXPECT_TRUE(m.indconstr[0].complemented);
  EXPECT_DOUBLE_EQ(m.indconstr[0].rhs, 2.0);
  EXPECT_EQ(m.indconstr[0].ind, std::vector<int>{1});
  EXPECT_EQ(m.ctype[2], 'B');

  // the same model written and read again
  ModelData back;
  CollectMessages msg2;
  ASSERT_EQ(readText(writeText(m), back, msg2), 0) << msg2.errors;
  expectSameModel(m, back);

  // a QMATRIX that is not symmetric
  ModelData bad;
  CollectMessages msg3;
  std::string asym = text;
  asym.replace(asym.find("    y  x  1\nQC"), 11, "    y  x  3\n");
  EXPECT_EQ(readText(asym, bad, msg3), -5012);
  EXPECT_NE(msg3.errors.find("Q is not symmetric"), std::string::npos);
}

TEST(MpsWrite, RoundTripSharedModels) {
  int count = 0;
  for (const char* sub : {"netlib", "infeas", "miplib3", "sample"}) {
    for (const std::string& path : sharedModels(sub)) {
      ModelData m;
      CollectMessages msg;
      ASSERT_EQ(readMpsFile(path, m, msg), 0) << path;
      if (skipLarge(m)) continue;
      for (bool longForm : {true, false}) {
        IoSettings s;
        s.mpsLongNumbers = longForm;
        std::string text = writeText(m, false, s);
        ModelData back;
        CollectMessages msg2;
        ASSERT_EQ(readText(text, back, msg2), 0) << path << "\n" << msg2.errors;
        SCOPED_TRACE(path + (longForm ? " long" : " compact"));
        expectSameModel(m, back, true, longForm ? 1e-14 : 1e-6);
        if (::testing::Test::HasFailure()) return;
      }
      ++count;
    }
  }
  EXPECT_GE(count, 160);
}

TEST(MpsWrite, GenericNamesAndCompressedFiles) {
  ModelData m;
  CollectMessages msg;
  ASSERT_EQ(readMpsFile(dataDir() + "/sample/exmip1.mps", m, msg), 0);
  MemoryDevice dev;
  CollectMessages wmsg;
  ASSERT_EQ(writeMps(dev, m, wmsg, true), 0);
  EXPECT_NE(wmsg.warnings.find("Default column names C1, C2 ... being created.\n"), std::string::npos);
  EXPECT_NE(wmsg.warnings.find("Default row    names R1, R2 ... being created.\n"), std::string::npos);
  EXPECT_EQ(dev.data().find("COL01"), std::string::npos);
  EXPECT_EQ(dev.data().rfind("* ENCODING=ISO-8859-1\nNAME", 0), 0u);
  EXPECT_NE(dev.data().find("    MARK0000  'MARKER'                 'INTORG'\n"), std::string::npos);
  EXPECT_NE(dev.data().find("    MARK0001  'MARKER'                 'INTEND'\n"), std::string::npos);
  ModelData back;
  CollectMessages rmsg;
  ASSERT_EQ(readText(dev.data(), back, rmsg), 0);
  expectSameModel(m, back, false);
  EXPECT_EQ(back.colname[0], "C1");

  // .gz and .bz2 files read like the plain text
  TempDir tmp;
  for (const char* name : {"m.mps", "m.mps.gz", "m.mps.bz2"}) {
    auto out = openFileDevice(tmp.file(name), 'w');
    ASSERT_TRUE(out);
    CollectMessages w2;
    ASSERT_EQ(writeMps(*out, m, w2), 0);
    ASSERT_TRUE(out->close());
    ModelData again;
    CollectMessages r2;
    ASSERT_EQ(readMpsFile(tmp.file(name), again, r2), 0) << name;
    expectSameModel(m, again);
  }
  ModelData none;
  CollectMessages r3;
  EXPECT_EQ(readMpsFile(tmp.file("missing.mps"), none, r3), -1423);
  EXPECT_NE(r3.errors.find("Could not open file '"), std::string::npos);
}

TEST(MpsWrite, NumberForms) {
  ModelData m;
  m.obj = {1.0 / 3.0, 123456789.123, -1e-7};
  m.lb = {0, 0, 0};
  m.ub = {1e20, 1e20, 1e20};
  m.colname = {"a", "b", "c"};
  m.matbeg = {0, 0, 0, 0};
  IoSettings s;
  std::string longText = writeText(m, false, s);
  EXPECT_NE(longText.find("  0.333333333333333\n"), std::string::npos) << longText;
  EXPECT_NE(longText.find("        123456789.123\n"), std::string::npos) << longText;
  s.mpsLongNumbers = false;
  std::string compact = writeText(m, false, s);
  EXPECT_NE(compact.find(" 0.3333333333\n"), std::string::npos) << compact;
  EXPECT_NE(compact.find(" 123456789.12\n"), std::string::npos) << compact;
  EXPECT_NE(compact.find("       -1E-07\n"), std::string::npos) << compact;
}
