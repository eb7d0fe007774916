// LP reader and writer: the shared models written as LP read back to the same
// model, and the grammar's edge cases.
#include <gtest/gtest.h>

#include "io/device.h"
#include "io/lp.h"
#include "io/mps.h"
#include "io_test_util.h"

using namespace vnt::io;
using namespace vnt::io::test;
using vnt::model::ModelData;

namespace {

int readLpText(const std::string& text, ModelData& m, CollectMessages& msg, const IoSettings& s = {}) {
  MemoryDevice dev(text);
  return readLp(dev, "test.lp", m, msg, s);
}

std::string writeLpText(const ModelData& m, CollectMessages& msg, LpNames mode = LpNames::Normal) {
  MemoryDevice dev;
  EXPECT_EQ(writeLp(dev, m, msg, mode), 0) << msg.errors;
  return dev.data();
}

int colOf(const ModelData& m, const std::string& name) {
  for (int j = 0; j < m.numCols(); ++j)
    if (m.colname[j] == name) return j;
  return -1;
}

double coefOf(const ModelData& m, int i, int j) {
  for (int64_t k = m.matbeg[j]; k < m.matbeg[j + 1]; ++k)
    if (m.matind[k] == i) return m.matval[k];
  return 0.0;
}

}  // namespace

TEST(LpWrite, RoundTripSharedModels) {
  int count = 0;
  for (const char* sub : {"netlib", "infeas", "miplib3", "sample"}) {
    for (const std::string& path : sharedModels(sub)) {
      ModelData m;
      CollectMessages msg;
      ASSERT_EQ(readMpsFile(path, m, msg), 0) << path;
      if (skipLarge(m)) continue;
      CollectMessages wmsg;
      std::string text = writeLpText(m, wmsg);
      bool renamed = wmsg.warnings.find("Output names have been modified") != std::string::npos;
      ModelData back;
      CollectMessages rmsg;
      ASSERT_EQ(readLpText(text, back, rmsg), 0) << path << "\n" << rmsg.errors;
      SCOPED_TRACE(path);
      expectSameModel(m, back, !renamed, 1e-14);
      // lines never exceed 79 characters
      std::size_t start = 0, longest = 0;
      while (start < text.size()) {
        std::size_t e = text.find('\n', start);
        if (e == std::string::npos) e = text.size();
        longest = std::max(longest, e - start);
        start = e + 1;
      }
      EXPECT_LE(longest, 79u);
      if (::testing::Test::HasFailure()) return;
      ++count;
    }
  }
  EXPECT_GE(count, 160);
}

TEST(LpRead, KeywordsAndSections) {
  for (const char* kw : {"min", "MINIMIZE", "Mini"}) {
    ModelData m;
    CollectMessages msg;
    ASSERT_EQ(readLpText(std::string(kw) + "\n obj: x + 2 y\nst\n c1: x + y >= 1\nEnd\n", m, msg), 0) << kw;
    EXPECT_EQ(m.objsen, 1);
    EXPECT_EQ(m.numCols(), 2);
    EXPECT_EQ(m.numRows(), 1);
  }
  {
    ModelData m;
    CollectMessages msg;
    ASSERT_EQ(readLpText("maximize obj: 3 x\nsubject to c1: x <= 4\nend\n", m, msg), 0) << msg.errors;
    EXPECT_EQ(m.objsen, -1);
    EXPECT_EQ(m.objname, "obj");
    EXPECT_EQ(m.rowname[0], "c1");
    EXPECT_DOUBLE_EQ(m.rhs[0], 4.0);
  }
  {
    ModelData m;
    m.probname = "keep";
    CollectMessages msg;
    EXPECT_EQ(readLpText("minimum\n x + y\nEnd\n", m, msg), -1436);
    EXPECT_NE(msg.errors.find("VANTO Error  1436: Max or Min missing.\n"), std::string::npos);
    EXPECT_EQ(m.probname, "keep");
  }
  {
    ModelData m;
    CollectMessages msg;
    EXPECT_EQ(readLpText("min\n obj: x\nsubjectto\n c1: x >= 1\nEnd\n", m, msg), -1607);
  }
  {
    // "bounds x <= 4" is a constraint, not the keyword; a backslash starts a comment
    ModelData m;
    CollectMessages msg;
    ASSERT_EQ(readLpText("\\ comment\nmin\n obj: x \\ trailing\nst\n c1: x >= 1\nbounds x <= 4\nEnd\n", m, msg), 0)
        << msg.errors;
    EXPECT_EQ(m.numRows(), 2);
    EXPECT_EQ(m.colname[1], "boundsx");
  }
  {
    ModelData m;
    CollectMessages msg;
    ASSERT_EQ(readLpText("min\n obj: x\nst\n c1: x + y\nbounds\n x <= 3\n", m, msg), 0);
    EXPECT_NE(msg.warnings.find("Warning, line 5: Unfinished constraint is discarded.\n"), std::string::npos);
    EXPECT_NE(msg.warnings.find("Warning: 'End' missing.\n"), std::string::npos);
    EXPECT_EQ(m.numRows(), 0);
    EXPECT_DOUBLE_EQ(m.ub[0], 3.0);
  }
}

TEST(LpRead, ExpressionGrammar) {
  {
    ModelData m;
    CollectMessages msg;
    // blanks carry no meaning; 3ex is 3 times ex, 3e1x is 30 times x; terms
    // continue over lines; repeated variables are summed
    ASSERT_EQ(readLpText("min\n obj: 2 x + 3ex + 3e1x\n - x\nst\n c1: 2 x + 3 y\n + x >=\n -2.5\nEnd\n", m, msg), 0)
        << msg.errors;
    ASSERT_EQ(m.numCols(), 3);
    EXPECT_EQ(m.colname[1], "ex");
    EXPECT_DOUBLE_EQ(m.obj[0], 31.0);
    EXPECT_DOUBLE_EQ(m.obj[1], 3.0);
    EXPECT_DOUBLE_EQ(coefOf(m, 0, 0), 3.0);
    EXPECT_DOUBLE_EQ(m.rhs[0], -2.5);
    EXPECT_EQ(m.sense[0], 'G');
  }
  {
    ModelData m;
    CollectMessages msg;
    ASSERT_EQ(readLpText("min\n obj: 2 x + 3\nst\n c1: x =< 1\n c2: x => 1\n c3: x = 1\n c4: x < 1 junk\nEnd\n", m, msg), 0)
        << msg.errors;
    EXPECT_EQ(std::string(m.sense.begin(), m.sense.end()), "LGEL");
    EXPECT_NE(msg.warnings.find("Warning, line 7: Characters after RHS value are ignored.\n"), std::string::npos);
  }
  struct Bad {
    std::string text;
    int code;
    std::string msg;
  };
  for (const Bad& b : std::vector<Bad>{
           {"min\n obj: 3 + 2 x\nEnd\n", 1616, "Line 2: Expected identifier, found '+'"},
           {"min\n obj: x\nst\n c1: x +\n <= 2\nEnd\n", 1604, "Lines 4,5: Adjacent sign and sense"},
           {"min\n obj: x\nst\n c1: x + 3\n <= 2\nEnd\n", 1609, "Line 5: Expected identifier first"},
           {"min\n obj: x y\nst\n c1: x ^ 2\nEnd\n", 1608, "Line 4: Expected '+','-' or sense, found '^'"},
           {"min\n obj: x\nst\n c1: x <= y\nEnd\n", 1610, "Line 4: Expected RHS coefficient"},
           {"min\n obj: x\nst\n c1: x <= - y\nEnd\n", 1615, "Line 4: Expected number, found 'y'"},
           {"min\n obj: x + [ x ^ y ] / 2\nEnd\n", 1612, "Line 2: Expected quadratic exponent"},
           {"min\n obj: x + [ x y ] / 2\nEnd\n", 1614, "Line 2: Expected ^ or *"},
           {"min\n obj: x\nst\n c1: x <= 1e999\nEnd\n", 1435, "Line 4: Exponent '1e999' out of range"},
       }) {
    ModelData m;
    CollectMessages msg;
    EXPECT_EQ(readLpText(b.text, m, msg), -b.code) << b.text << msg.errors;
    EXPECT_NE(msg.errors.find(format("VANTO Error %5d: ", b.code) + b.msg), std::string::npos) << msg.errors;
    EXPECT_EQ(m.numCols(), 0);
  }
  {
    ModelData m;
    CollectMessages msg;
    ASSERT_EQ(readLpText("min\n obj: x + [ x ^ 2 + 2 x * y ] / 2.00000000001\nst\n c: x + y >= 1\nEnd\n", m, msg), 0);
    ASSERT_EQ(m.qobj.size(), 2u);
    EXPECT_DOUBLE_EQ(m.qobj[0].coef, 1.0);  // Q_xx
    EXPECT_DOUBLE_EQ(m.qobj[1].coef, 1.0);  // Q_xy = 2/2
    ModelData d;
    CollectMessages msg2;
    ASSERT_EQ(readLpText("min\n obj: x + [ x ^ 2 ]\nst\n c: x >= 1\nEnd\n", d, msg2), 0);
    EXPECT_NE(msg2.warnings.find("Warning, line 3: Deprecated format, expecting '] / 2'.\n"), std::string::npos)
        << msg2.warnings;
  }
}

TEST(LpRead, BoundsAndTypes) {
  const std::string head = "min\n obj: x + y + z + w + b + g + s + u + v\nst\n c: x + y + z + w >= 1\nbounds\n";
  {
    ModelData m;
    CollectMessages msg;
    ASSERT_EQ(readLpText(head +
                             " x free\n Y FREE\n -inf <= z <= +inf\n w >= -infinity\n 3 <= u <= 2\n 3 <= v >= 2\n"
                             " b <= 5\n-5 >= g\nbinaries\n b\nint\n y\ngenerals\n g\nsemi-continuous\n g\n s\nEnd\n",
                         m, msg),
              0)
        << msg.errors;
    auto c = [&](const char* n) { return colOf(m, n); };
    EXPECT_LE(m.lb[c("x")], -1e20);
    EXPECT_GE(m.ub[c("x")], 1e20);
    EXPECT_LE(m.lb[c("z")], -1e20);
    EXPECT_GE(m.ub[c("z")], 1e20);
    EXPECT_LE(m.lb[c("w")], -1e20);
    EXPECT_DOUBLE_EQ(m.lb[c("u")], 3.0);
    EXPECT_DOUBLE_EQ(m.ub[c("u")], 2.0);
    EXPECT_DOUBLE_EQ(m.lb[c("v")], 2.0);
    EXPECT_EQ(msg.warnings.find("line 10: Possible sense conflict"), std::string::npos);
    EXPECT_NE(msg.warnings.find("Warning, line 11: Possible sense conflict.\n"), std::string::npos) << msg.warnings;
    EXPECT_DOUBLE_EQ(m.ub[c("g")], -5.0);
    // "Y" is not "y": a name warning, and the integer y becomes binary on [0, 1]
    EXPECT_NE(msg.warnings.find("Warning, line 7: Name 'Y' does not exist.\n"), std::string::npos);
    EXPECT_EQ(m.ctype[c("y")], 'B');
    EXPECT_DOUBLE_EQ(m.ub[c("y")], 1.0);
    EXPECT_EQ(m.ctype[c("b")], 'B');
    EXPECT_DOUBLE_EQ(m.ub[c("b")], 5.0);
    EXPECT_NE(msg.warnings.find("Warning:  Binary variables declared with bounds other than 0 and 1.\n"), std::string::npos);
    EXPECT_EQ(m.ctype[c("g")], 'N');
    EXPECT_EQ(m.ctype[c("s")], 'S');
    EXPECT_EQ(m.ctype[c("x")], 'C');
  }
  for (const auto& [line, code] : std::vector<std::pair<std::string, int>>{
           {" x >= -INFIN\n", 1434}, {" x <> 5\n", 1622}, {" <= 5\n", 1623}}) {
    ModelData m;
    CollectMessages msg;
    EXPECT_EQ(readLpText(head + line + "End\n", m, msg), -code) << line << msg.errors;
  }
  {
    // name warnings: 20 printed, the rest counted
    std::string text = head;
    for (int i = 0; i < 25; ++i) text += " nosuch" + std::to_string(i) + " <= 1\n";
    text += " 2x <= 1\nEnd\n";
    ModelData m;
    CollectMessages msg;
    ASSERT_EQ(readLpText(text, m, msg), 0);
    EXPECT_NE(msg.warnings.find("Name 'nosuch19' does not exist"), std::string::npos);
    EXPECT_EQ(msg.warnings.find("Name 'nosuch20' does not exist"), std::string::npos);
    EXPECT_NE(msg.warnings.find("6 name warnings not printed.\n"), std::string::npos) << msg.warnings;
  }
  {
    std::string label(300, 'r'), var(300, 'v');
    ModelData m;
    CollectMessages msg;
    ASSERT_EQ(readLpText("min\n obj: x\nst\n " + label + ": " + var + " >= 1\nbounds\n " + var + " <= 3\nEnd\n", m, msg), 0);
    EXPECT_EQ(m.rowname[0].size(), 255u);
    EXPECT_EQ(m.colname[1].size(), 254u);
    EXPECT_DOUBLE_EQ(m.ub[1], 3.0);
    EXPECT_NE(msg.warnings.find("Warning, line 4: '" + std::string(255, 'r') + "' truncated.\n"), std::string::npos);
  }
}

TEST(LpRead, SosIndicatorsAndCuts) {
  ModelData m;
  CollectMessages msg;
  std::string text =
      "max\n obj: x + y + z\nst\n c1: x + y + z <= 10\n ind: b = 0 -> x + y <= 2\n x + z >= 1 <- b = 1\n"
      " q: x + [ x ^ 2 + 3 x * y ] <= 4\nlazy constraints\n lz: x - y >= -1\nuser cuts\n uc: y <= 8\n"
      "binaries\n b\nsos\n s1: S1 :: x : 1 y : 2\n S2:: y:1\n z:2\nEnd\n";
  ASSERT_EQ(readLpText(text, m, msg), 0) << msg.errors;
  EXPECT_EQ(m.objsen, -1);
  EXPECT_EQ(m.numRows(), 1);
  ASSERT_EQ(m.indconstr.size(), 2u);
  EXPECT_EQ(m.indconstr[0].name, "ind");
  EXPECT_TRUE(m.indconstr[0].complemented);
  EXPECT_EQ(m.indconstr[0].sense, 'L');
  EXPECT_FALSE(m.indconstr[1].complemented);
  EXPECT_EQ(m.indconstr[1].sense, 'G');
  EXPECT_EQ(m.indconstr[1].indvar, colOf(m, "b"));
  ASSERT_EQ(m.qconstr.size(), 1u);
  EXPECT_EQ(m.qconstr[0].quad.size(), 2u);
  EXPECT_DOUBLE_EQ(m.qconstr[0].quad[1].coef, 3.0);
  EXPECT_EQ(m.lazycons.size(), 1u);
  EXPECT_EQ(m.usercuts.size(), 1u);
  ASSERT_EQ(m.sos.size(), 2u);
  EXPECT_EQ(m.sos[0].name, "s1");
  EXPECT_EQ(m.sos[0].type, '1');
  EXPECT_EQ(m.sos[1].ind, (std::vector<int>{colOf(m, "y"), colOf(m, "z")}));
  EXPECT_EQ(m.sos[1].weight, (std::vector<double>{1.0, 2.0}));
  // written and read again
  CollectMessages wmsg;
  std::string out = writeLpText(m, wmsg);
  ModelData back;
  CollectMessages rmsg;
  ASSERT_EQ(readLpText(out, back, rmsg), 0) << rmsg.errors << out;
  expectSameModel(m, back, false);
  // and through MPS
  MemoryDevice mps;
  CollectMessages m2;
  ASSERT_EQ(writeMps(mps, m, m2), 0);
  ModelData viaMps;
  ASSERT_EQ(readMps(mps, viaMps, m2), 0) << m2.errors;
  expectSameModel(m, viaMps, false);
}

// Every row sense is written with its own text: " <= ", " >= " and "  = ".
TEST(LpWrite, SenseTexts) {
  ModelData m;
  m.obj = {1.0, 1.0};
  m.lb = {0.0, 0.0};
  m.ub = {1e20, 1e20};
  m.colname = {"x", "y"};
  m.sense = {'L', 'G', 'E'};
  m.rhs = {1.0, 2.0, -3.0};
  m.rowname = {"less", "more", "same"};
  m.matbeg = {0, 3, 6};
  m.matind = {0, 1, 2, 0, 1, 2};
  m.matval = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
  CollectMessages msg;
  const std::string text = writeLpText(m, msg);
  EXPECT_NE(text.find("Subject To\n less: x + y <= 1\n more: x + y >= 2\n same: x + y  = -3\nBounds\n"), std::string::npos)
      << text;
  ModelData back;
  CollectMessages rmsg;
  ASSERT_EQ(readLpText(text, back, rmsg), 0) << rmsg.errors;
  EXPECT_EQ(back.sense, m.sense);
  EXPECT_EQ(back.rhs, m.rhs);
}

// A row sense no format can carry is refused by every writer rather than
// written as something else.
TEST(LpWrite, WritersRefuseUnknownSense) {
  ModelData m;
  m.obj = {1.0};
  m.lb = {0.0};
  m.ub = {1e20};
  m.sense = {'L', 'X'};
  m.rhs = {1.0, 2.0};
  m.matbeg = {0, 2};
  m.matind = {0, 1};
  m.matval = {1.0, 1.0};
  const std::string expect = "VANTO Error  1215: Illegal sense entry 1.\n";
  {
    MemoryDevice dev;
    CollectMessages msg;
    EXPECT_EQ(writeLp(dev, m, msg), -1215);
    EXPECT_EQ(msg.errors, expect);
  }
  {
    MemoryDevice dev;
    CollectMessages msg;
    EXPECT_EQ(writeMps(dev, m, msg), -1215);
    EXPECT_EQ(msg.errors, expect);
  }
  {
    ModelData dual;
    double shift = 0;
    CollectMessages msg;
    EXPECT_EQ(buildDual(m, dual, shift, msg), -1215);
    EXPECT_EQ(msg.errors, expect);
  }
}

TEST(LpWrite, NamesNumbersAndLayout) {
  ModelData m;
  m.obj = {1.0, 0.1, 1e-7, 0.0};
  m.lb = {-1e20, 0.0, 0.0, 0.0};
  m.ub = {1e20, 1e20, 1e20, 7.0};
  m.ctype = {'C', 'B', 'N', 'C'};
  m.sense = {'L'};
  m.rhs = {5.0};
  m.matbeg = {0, 1, 2, 3, 3};
  m.matind = {0, 0, 0};
  m.matval = {1.0, -2.0, 3.0};
  CollectMessages msg;
  std::string text = writeLpText(m, msg);
  EXPECT_NE(msg.warnings.find("Default variable names x1, x2 ... being created.\n"), std::string::npos);
  EXPECT_NE(msg.warnings.find("Default row names c1, c2 ... being created.\n"), std::string::npos);
  EXPECT_NE(text.find(" obj1: x1 + 0.1 x2 + 1e-07 x3 + 0 x4\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" c1: x1 - 2 x2 + 3 x3 <= 5\n"), std::string::npos) << text;
  EXPECT_NE(text.find("      x1 Free\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" 0 <= x2 <= Inf\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" 0 <= x4 <= 7\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Generals\n x3\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Semi-Continuous\n x3\n"), std::string::npos) << text;
  ModelData back;
  CollectMessages rmsg;
  ASSERT_EQ(readLpText(text, back, rmsg), 0) << rmsg.errors;
  expectSameModel(m, back, false);

  // invalid names: the whole set is rewritten, unique and valid
  m.colname = {"e1", "2x", "a b", "ok"};
  m.rowname = {"r"};
  CollectMessages msg2;
  std::string t2 = writeLpText(m, msg2);
  EXPECT_NE(msg2.warnings.find("Warning:  Output names have been modified due to duplicate names or characters "
                               "invalid in LP format.\n"),
            std::string::npos);
  ModelData b2;
  CollectMessages r2;
  ASSERT_EQ(readLpText(t2, b2, r2), 0) << r2.errors << t2;
  EXPECT_EQ(b2.colname, (std::vector<std::string>{"_e1#0", "_2x#1", "a_b#2", "ok#3"}));
  EXPECT_EQ(b2.rowname[0], "r");

  // a long row wraps at 79 characters and reads back
  ModelData big;
  const int n = 200;
  for (int j = 0; j < n; ++j) {
    big.obj.push_back(j % 3);
    big.lb.push_back(0);
    big.ub.push_back(1e20);
    big.colname.push_back("variable_" + std::to_string(j));
    big.matind.push_back(0);
    big.matval.push_back(1.5 + j);
    big.matbeg.push_back(j + 1);
  }
  big.sense = {'R'};
  big.rhs = {3.0};
  big.rngval = {-2.0};
  big.rowname = {"ranged"};
  CollectMessages m3;
  std::string t3 = writeLpText(big, m3);
  EXPECT_NE(t3.find("- Rgranged  = 3\n"), std::string::npos) << t3.substr(0, 400);
  EXPECT_NE(t3.find(" -2 <= Rgranged <= 0\n"), std::string::npos);
  std::size_t start = 0;
  int lines = 0;
  while (start < t3.size()) {
    std::size_t e = t3.find('\n', start);
    EXPECT_LE(e - start, 79u);
    start = e + 1;
    ++lines;
  }
  EXPECT_GT(lines, 40);
  ModelData b3;
  CollectMessages r3;
  ASSERT_EQ(readLpText(t3, b3, r3), 0) << r3.errors;
  expectSameModel(big, b3);
  EXPECT_EQ(b3.sense[0], 'R');
  EXPECT_DOUBLE_EQ(b3.rngval[0], -2.0);
}

TEST(LpWrite, KeywordNamesStayReadable) {
  ModelData m;
  m.obj = {1.0, 2.0, 3.0};
  m.lb = {1.0, 1.0, 0.0};
  m.ub = {5.0, 5.0, 1.0};
  m.ctype = {'I', 'I', 'B'};
  m.colname = {"end", "inf", "Bounds"};
  m.matbeg = {0, 0, 0, 0};
  CollectMessages msg;
  std::string text = writeLpText(m, msg);
  ModelData back;
  CollectMessages r;
  ASSERT_EQ(readLpText(text, back, r), 0) << r.errors << text;
  expectSameModel(m, back, false);
  for (const auto& n : back.colname) EXPECT_NE(n.find('#'), std::string::npos) << n;

  // MPS: an empty name or one starting with '$' would not read back
  m.colname = {"", "$x", "ok"};
  MemoryDevice dev;
  ASSERT_EQ(writeMps(dev, m, msg), 0);
  ModelData viaMps;
  ASSERT_EQ(readMps(dev, viaMps, r), 0) << r.errors << dev.data();
  expectSameModel(m, viaMps, false);
  EXPECT_EQ(viaMps.colname[1], "_$x");
}

TEST(LpRead, DroppingIntegersAndQuadraticObjective) {
  IoSettings s;
  s.readIntegers = false;
  s.readQuadObjective = false;
  ModelData m;
  CollectMessages msg;
  ASSERT_EQ(readLpText("min\n obj: x + [ x ^ 2 ] / 2\nst\n c: x + y >= 1\ngenerals\n x\nEnd\n", m, msg, s), 0);
  EXPECT_TRUE(m.qobj.empty());
  EXPECT_TRUE(m.ctype.empty() || m.ctype[0] == 'C');
  EXPECT_NE(msg.warnings.find("Problem test.lp contains integer variable declarations, ignored.\n"), std::string::npos);
  EXPECT_NE(msg.warnings.find("Problem test.lp contains quadratic objective coefficients, ignored.\n"), std::string::npos);
  s.readQuadConstraints = false;
  ModelData q;
  EXPECT_EQ(readLpText("min\n obj: x\nst\n c: x + [ x ^ 2 ] <= 1\nEnd\n", q, msg, s), -1605);
}
