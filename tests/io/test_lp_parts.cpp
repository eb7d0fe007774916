// LP format: piecewise-linear and multi-objective sections, indicator
// directions, models the writer used to get wrong, interactive entry and add
// mode (internally and through the exported entry points), and a property
// check over random models with every part.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "io/device.h"
#include "io/lp.h"
#include "common/capture.h"
#include "io_test_util.h"
#include "vanto/vanto.h"

using namespace vnt::io;
using namespace vnt::io::test;
using vnt::model::ModelData;

namespace {

int readText(const std::string& text, ModelData& m, CollectMessages& msg, const IoSettings& s = {}) {
  MemoryDevice dev(text);
  return readLp(dev, "t.lp", m, msg, s);
}

std::string writeText(const ModelData& m, CollectMessages& msg) {
  MemoryDevice dev;
  EXPECT_EQ(writeLp(dev, m, msg), 0) << msg.errors;
  return dev.data();
}

// Feeds `text` through a C stream, as a terminal would.
int enterText(const std::string& text, ModelData& m, CollectMessages& msg, const ModelData* base = nullptr) {
  std::string copy = text;
  FILE* f = fmemopen(copy.data(), copy.size(), "r");
  if (!f) return -1;
  int rc = base ? enterAddLp(f, "<stdin>", *base, m, msg) : enterLp(f, "<stdin>", m, msg);
  std::fclose(f);
  return rc;
}

int col(const ModelData& m, const std::string& name) {
  for (int j = 0; j < m.numCols(); ++j)
    if (m.colname[j] == name) return j;
  return -1;
}

double coef(const ModelData& m, int i, int j) {
  for (int64_t k = m.matbeg[j]; k < m.matbeg[j + 1]; ++k)
    if (m.matind[k] == i) return m.matval[k];
  return 0.0;
}

std::map<int, double> asMap(const std::vector<int>& ind, const std::vector<double>& val) {
  std::map<int, double> r;
  for (std::size_t k = 0; k < ind.size(); ++k) r[ind[k]] += val[k];
  return r;
}

// Numbers are written with 15 significant digits.
constexpr double kRel = 1e-14;

void expectClose(const std::vector<double>& a, const std::vector<double>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (std::size_t k = 0; k < a.size(); ++k) EXPECT_TRUE(close(a[k], b[k], kRel)) << what << " " << a[k] << " vs " << b[k];
}

void expectSameTerms(const std::map<int, double>& a, const std::map<int, double>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
    EXPECT_EQ(ia->first, ib->first);
    EXPECT_TRUE(close(ia->second, ib->second, kRel)) << ia->second << " vs " << ib->second;
  }
}

// The parts expectSameModel does not look at.
void expectSameParts(const ModelData& a, const ModelData& b) {
  ASSERT_EQ(a.pwl.size(), b.pwl.size());
  for (std::size_t k = 0; k < a.pwl.size(); ++k) {
    const auto &p = a.pwl[k], &q = b.pwl[k];
    EXPECT_EQ(p.name, q.name);
    EXPECT_EQ(p.xcol, q.xcol);
    EXPECT_EQ(p.ycol, q.ycol);
    EXPECT_TRUE(close(p.preslope, q.preslope, kRel));
    EXPECT_TRUE(close(p.postslope, q.postslope, kRel));
    expectClose(p.x, q.x, "pwl x");
    expectClose(p.y, q.y, "pwl y");
  }
  ASSERT_EQ(a.objectives.size(), b.objectives.size());
  for (std::size_t k = 0; k < a.objectives.size(); ++k) {
    const auto &o = a.objectives[k], &r = b.objectives[k];
    EXPECT_EQ(o.name, r.name);
    EXPECT_EQ(o.priority, r.priority);
    EXPECT_TRUE(close(o.weight, r.weight, kRel));
    EXPECT_TRUE(close(o.abstol, r.abstol, kRel));
    EXPECT_TRUE(close(o.reltol, r.reltol, kRel));
    expectSameTerms(asMap(o.ind, o.val), asMap(r.ind, r.val));
  }
  ASSERT_EQ(a.indconstr.size(), b.indconstr.size());
  for (std::size_t k = 0; k < a.indconstr.size(); ++k) {
    EXPECT_EQ(a.indconstr[k].direction, b.indconstr[k].direction) << k;
    expectSameTerms(asMap(a.indconstr[k].ind, a.indconstr[k].val), asMap(b.indconstr[k].ind, b.indconstr[k].val));
  }
  for (const auto* list : {&a.usercuts, &a.lazycons}) {
    const auto& other = list == &a.usercuts ? b.usercuts : b.lazycons;
    ASSERT_EQ(list->size(), other.size());
    for (std::size_t k = 0; k < list->size(); ++k) {
      EXPECT_EQ((*list)[k].name, other[k].name);
      EXPECT_EQ((*list)[k].sense, other[k].sense);
      EXPECT_TRUE(close((*list)[k].rhs, other[k].rhs, kRel));
      expectSameTerms(asMap((*list)[k].ind, (*list)[k].val), asMap(other[k].ind, other[k].val));
    }
  }
  for (std::size_t k = 0; k < a.qconstr.size() && k < b.qconstr.size(); ++k)
    expectSameTerms(asMap(a.qconstr[k].linind, a.qconstr[k].linval), asMap(b.qconstr[k].linind, b.qconstr[k].linval));
}

const std::string kHead = "min\n obj: x + y + z\nst\n c1: x + y + z >= 1\n";

}  // namespace

TEST(LpPwl, DefinitionsAndTheirErrors) {
  ModelData m;
  CollectMessages msg;
  ASSERT_EQ(readText(kHead +
                         "sos\n s: S1 :: x : 1 y : 2\npwl\n p1: y = x 0.5 (0, 0) (1, 2)\n   (3, 2.5e1) -1\n"
                         " z=x 0 (1,1) 0\nEnd\n",
                     m, msg),
            0)
      << msg.errors;
  ASSERT_EQ(m.pwl.size(), 2u);
  EXPECT_EQ(m.pwl[0].name, "p1");
  EXPECT_EQ(m.pwl[0].ycol, col(m, "y"));
  EXPECT_EQ(m.pwl[0].xcol, col(m, "x"));
  EXPECT_EQ(m.pwl[0].preslope, 0.5);
  EXPECT_EQ(m.pwl[0].postslope, -1.0);
  EXPECT_EQ(m.pwl[0].x, (std::vector<double>{0, 1, 3}));
  EXPECT_EQ(m.pwl[0].y, (std::vector<double>{0, 2, 25}));
  EXPECT_EQ(m.pwl[1].name, "");
  EXPECT_EQ(m.pwl[1].ycol, col(m, "z"));
  EXPECT_EQ(m.sos.size(), 1u);

  // a long label is cut to 255 bytes like a row label
  ModelData lab;
  CollectMessages lmsg;
  ASSERT_EQ(readText(kHead + "pwl\n " + std::string(300, 'p') + ": y = x 0 (0, 0) 1\nEnd\n", lab, lmsg), 0);
  ASSERT_EQ(lab.pwl.size(), 1u);
  EXPECT_EQ(lab.pwl[0].name, std::string(255, 'p'));
  EXPECT_NE(lmsg.warnings.find("Warning, line 6: '" + std::string(255, 'p') + "' truncated.\n"), std::string::npos);

  struct Bad {
    std::string body;
    int code;
    std::string text;
  };
  for (const Bad& b : std::vector<Bad>{
           {" p: y x 0 (0, 0) 1\n", 1213, "VANTO Error  1213: ill defined piecewise linear function.\n"},
           {" p: y = x 0 1\n", 1213, "VANTO Error  1213: ill defined piecewise linear function.\n"},
           {" p: y = x 0 (0, 0 1\n", 1213, "VANTO Error  1213: ill defined piecewise linear function.\n"},
           {" p: y = x 0 (2, 0) (1, 1) 1\n", 1213, "VANTO Error  1213: ill defined piecewise linear function.\n"},
           {" p: y = x 0 (0, 0)\n", 1213, "VANTO Error  1213: ill defined piecewise linear function.\n"},
           {" p: y = x (0, 0) 1\n", 1213, "VANTO Error  1213: ill defined piecewise linear function.\n"},
           {" p: y = x 0 (0, 0) (1, 1e) 1\n", 1618, "VANTO Error  1618: Line 6: Exponent '1e' not ended with number.\n"},
           {" p: y = x 0 (0, 0) 1 junk\n", 1537,
            "VANTO Error  1537: Illegal character.\n      line 6: Unexpected character after the definition\n"
            "                 of a piecewise linear constraint.\n"},
           {" p: y = w 0 (0, 0) 1\n", 1210, "Error 1210: Line 6: 'w' not found\nVANTO Error  1210: Name not found.\n"},
       }) {
    ModelData bad;
    bad.probname = "untouched";
    CollectMessages e;
    EXPECT_EQ(readText(kHead + "pwl\n" + b.body + "End\n", bad, e), -b.code) << b.body << e.errors;
    EXPECT_NE(e.errors.find(b.text), std::string::npos) << b.body << e.errors;
    EXPECT_EQ(bad.probname, "untouched");
  }
}

TEST(LpMultiObjective, HeadersAttributesAndErrors) {
  ModelData m;
  CollectMessages msg;
  ASSERT_EQ(readText("maximize multi-objectives\n first: priority=2 WEIGHT=0.5 abstol=1e-3 RelTol=0.25\n x + 2 y\n"
                     " - z\n second:\n 3 z + x\nsubject to\n c1: x + y + z <= 4\nEnd\n",
                     m, msg),
            0)
      << msg.errors;
  EXPECT_EQ(m.objsen, -1);
  ASSERT_EQ(m.objectives.size(), 2u);
  const auto& a = m.objectives[0];
  EXPECT_EQ(a.name, "first");
  EXPECT_EQ(a.priority, 2);
  EXPECT_EQ(a.weight, 0.5);
  EXPECT_EQ(a.abstol, 1e-3);
  EXPECT_EQ(a.reltol, 0.25);
  EXPECT_EQ(asMap(a.ind, a.val), (std::map<int, double>{{0, 1.0}, {1, 2.0}, {2, -1.0}}));
  EXPECT_EQ(m.obj, (std::vector<double>{1.0, 2.0, -1.0}));  // objective 0 is also the ordinary one
  EXPECT_EQ(m.objname, "first");
  const auto& b = m.objectives[1];
  EXPECT_EQ(b.priority, 0);
  EXPECT_EQ(b.weight, 1.0);
  EXPECT_EQ(b.abstol, 0.0);
  EXPECT_EQ(asMap(b.ind, b.val), (std::map<int, double>{{0, 1.0}, {2, 3.0}}));
  EXPECT_EQ(m.numRows(), 1);

  const std::string head = "min multi-objectives\n";
  struct Bad {
    std::string body;
    int code;
    std::string text;
  };
  for (const Bad& e : std::vector<Bad>{
           {" x + y\n", 1489, "Line 2: No objective name"},
           {" o1 Priority=1\n x\n", 1489, "Line 2: No objective name"},
           {" : Priority=1\n x\n", 1489, "Line 2: No objective name"},
           {" o1: Priority=\n x\n", 1615, "Line 2: Expected number, found ' '"},
           {" o1: Priority=x\n x\n", 1615, "Line 2: Expected number, found 'x'"},
           {" o1: Priority=99999999999\n x\n", 1810, "32-bit overflow"},
           {" o1: AbsTol=-1\n x\n", 1488, "Line 2: Illegal attribute description for multi-objective: invalid AbsTol value"},
           {" o1: RelTol=2\n x\n", 1488, "Line 2: Illegal attribute description for multi-objective: invalid RelTol value"},
           {" o1: Weight=1 Colour=red\n x\n", 1488,
            "Line 2: Illegal attribute description for multi-objective: Colour=red"},
       }) {
    ModelData bad;
    CollectMessages msgs;
    EXPECT_EQ(readText(head + e.body + "st\n c: x >= 1\nEnd\n", bad, msgs), -e.code) << e.body;
    EXPECT_NE(msgs.errors.find(format("VANTO Error %5d: ", e.code) + e.text + ".\n"), std::string::npos)
        << e.body << msgs.errors;
  }
}

TEST(LpIndicators, ArrowsKeepTheirDirection) {
  ModelData m;
  CollectMessages msg;
  ASSERT_EQ(readText(kHead +
                         " i0: b = 1 -> x + y <= 2\n i1: x + y <= 2 -> b = 0\n i2: b = 1 <- x >= 1\n"
                         " i3: x >= 1 <- b = 1\n i4: b = 0 <-> x + z = 3\n i5: x - z >= 0 <-> b = 1\nbinaries\n b\nEnd\n",
                     m, msg),
            0)
      << msg.errors;
  ASSERT_EQ(m.indconstr.size(), 6u);
  const int want[] = {0, 1, 1, 0, 2, 2};
  const bool comp[] = {false, true, false, false, true, false};
  for (int k = 0; k < 6; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(m.indconstr[k].name, "i" + std::to_string(k));
    EXPECT_EQ(m.indconstr[k].direction, want[k]);
    EXPECT_EQ(m.indconstr[k].complemented, comp[k]);
    EXPECT_EQ(m.indconstr[k].indvar, col(m, "b"));
  }
  EXPECT_EQ(asMap(m.indconstr[5].ind, m.indconstr[5].val), (std::map<int, double>{{0, 1.0}, {2, -1.0}}));
  CollectMessages wmsg;
  std::string text = writeText(m, wmsg);
  EXPECT_NE(text.find(" i2: b = 1 <- x >= 1\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" i4: b = 0 <-> x + z  = 3\n"), std::string::npos) << text;
  ModelData back;
  CollectMessages rmsg;
  ASSERT_EQ(readText(text, back, rmsg), 0) << rmsg.errors << text;
  expectSameModel(m, back);
  expectSameParts(m, back);

  for (const char* bad : {" i: x + y <= 2 -> z >= 1\n", " i: b = 1 -> x <= 1 -> c = 1\n", " i: b = 2 <-> x <= 1\n"}) {
    ModelData d;
    CollectMessages e;
    EXPECT_EQ(readText(kHead + bad + "End\n", d, e), -1439) << bad;
  }
}

TEST(LpWrite, ModelsThatUsedToReadBackDifferently) {
  // rows but no columns
  ModelData rows;
  rows.sense = {'L', 'G', 'E'};
  rows.rhs = {0.0, -3.0, 0.0};
  rows.rowname = {"a", "b", "c"};
  CollectMessages msg;
  std::string text = writeText(rows, msg);
  ModelData back;
  CollectMessages r;
  ASSERT_EQ(readText(text, back, r), 0) << r.errors << text;
  expectSameModel(rows, back);

  // a quadratic constraint without quadratic terms, and one without any term
  ModelData q;
  q.obj = {1.0, 1.0};
  q.lb = {0.0, 0.0};
  q.ub = {1e20, 1e20};
  q.colname = {"x", "y"};
  q.matbeg = {0, 0, 0};
  q.qconstr.resize(2);
  q.qconstr[0].name = "lin";
  q.qconstr[0].linind = {0, 1};
  q.qconstr[0].linval = {1.0, -2.0};
  q.qconstr[0].rhs = 4.0;
  q.qconstr[1].name = "none";
  q.qconstr[1].sense = 'G';
  q.qconstr[1].rhs = -1.0;
  CollectMessages qm;
  std::string qt = writeText(q, qm);
  ModelData qb;
  CollectMessages qr;
  ASSERT_EQ(readText(qt, qb, qr), 0) << qr.errors << qt;
  EXPECT_EQ(qb.numRows(), 0) << qt;
  expectSameModel(q, qb);
  expectSameParts(q, qb);

  // a label followed directly by a sense is an empty row; without a label it
  // is still an error
  ModelData e;
  CollectMessages em;
  EXPECT_EQ(readText("min\n obj: x\nst\n <= 4\nEnd\n", e, em), -1615);
}

TEST(LpInteractive, BadLinesAreTypedAgain) {
  ModelData m;
  CollectMessages msg;
  ASSERT_EQ(enterText("max\n obj: 3 x + 2 y\nst\n c1: x + y <= <= 4\n c1: x + y <= 4\n c2: x + 3 y <= 6\n c3: x <=> 3\n"
                      " c3: x <= 3\nbounds\n y <= = 2\n y <= 2\nend\n this line is never read\n",
                      m, msg),
            0)
      << msg.errors;
  EXPECT_EQ(msg.resultsText.rfind("Enter new problem ['end' on a separate line terminates]:\n", 0), 0u)
      << msg.resultsText;
  std::size_t prompts = 0;
  for (std::size_t p = 0; (p = msg.resultsText.find("Please reenter last line:\n", p)) != std::string::npos; ++p)
    ++prompts;
  EXPECT_EQ(prompts, 3u) << msg.resultsText << msg.errors;
  EXPECT_NE(msg.errors.find("VANTO Error  1622: Line 10: Invalid bound sense.\n"), std::string::npos) << msg.errors;
  ASSERT_EQ(m.numRows(), 3);
  EXPECT_EQ(m.rowname, (std::vector<std::string>{"c1", "c2", "c3"}));
  EXPECT_EQ(m.rhs, (std::vector<double>{4, 6, 3}));
  EXPECT_EQ(coef(m, 1, col(m, "y")), 3.0);
  EXPECT_EQ(m.ub[col(m, "y")], 2.0);
  EXPECT_EQ(m.objsen, -1);

  // without "end" the read ends at end of input with the warning
  ModelData d;
  CollectMessages dm;
  ASSERT_EQ(enterText("junk before\nminimum\nmin\n obj: x\nst\n c: x >= 2\n", d, dm), 0);
  EXPECT_NE(dm.warnings.find("Warning: 'End' missing.\n"), std::string::npos);
  EXPECT_EQ(d.rhs, std::vector<double>{2.0});

  // an error that only shows after the read still fails it
  ModelData f;
  CollectMessages fm;
  EXPECT_EQ(enterText(kHead + "pwl\n p: y = nosuch 0 (0, 0) 1\nend\n", f, fm), -1210);
  EXPECT_NE(fm.errors.find("Error 1210: Line 6: 'nosuch' not found\n"), std::string::npos) << fm.errors;
}

TEST(LpAddMode, ConstraintsAndBoundsJoinTheModel) {
  ModelData base;
  CollectMessages msg;
  ASSERT_EQ(readText("max\n obj: x + 2 y\nst\n c1: x + y + b <= 4\nbinaries\n b\nEnd\n", base, msg), 0);
  // the first constraint runs over two lines and mentions a new column w
  ModelData out;
  CollectMessages amsg;
  MemoryDevice dev(" c2: x - y + 2 w\n >= -1\n c3: w + b <= 1\nuser cuts\n u: x <= 3\nbounds\n x <= 7\n w free\nend\n");
  ASSERT_EQ(addLp(dev, "add.lp", base, out, amsg), 0) << amsg.errors;
  ASSERT_EQ(out.numCols(), base.numCols() + 1);
  ASSERT_EQ(out.numRows(), 3);
  EXPECT_EQ(out.rowname, (std::vector<std::string>{"c1", "c2", "c3"}));
  const int w = col(out, "w");
  EXPECT_EQ(w, base.numCols());
  EXPECT_EQ(coef(out, 1, w), 2.0);
  EXPECT_EQ(coef(out, 0, col(out, "x")), 1.0);
  EXPECT_EQ(coef(out, 2, col(out, "b")), 1.0);
  EXPECT_EQ(out.ub[col(out, "x")], 7.0);
  EXPECT_LE(out.lb[w], -1e20);
  EXPECT_EQ(out.ctype[col(out, "b")], 'B');
  EXPECT_EQ(out.ctype[w], 'C');
  EXPECT_EQ(out.obj, (std::vector<double>{1, 2, 0, 0}));
  EXPECT_EQ(out.usercuts.size(), 1u);
  EXPECT_EQ(out.objsen, -1);

  // section keywords other than constraints, bounds and End are plain text
  ModelData bad;
  CollectMessages bmsg;
  MemoryDevice d2("c2: x >= 1\nbounds\nbinaries\nend\n");
  EXPECT_EQ(addLp(d2, "add.lp", base, bad, bmsg), -1621) << bmsg.errors;

  // interactively, against a model without names
  ModelData plain = base;
  plain.colname.clear();
  plain.rowname.clear();
  ModelData typed;
  CollectMessages tmsg;
  ASSERT_EQ(enterText("x1 + x2 >= 1\nx1 + + x2 >= 1\nr9: x2 <= 8\nend\n", typed, tmsg, &plain), 0) << tmsg.errors;
  EXPECT_EQ(tmsg.resultsText.rfind("Enter new constraints and bounds ['end' terminates]:\n", 0), 0u);
  EXPECT_NE(tmsg.resultsText.find("Please reenter last line:\n"), std::string::npos);
  ASSERT_EQ(typed.numRows(), 3);
  EXPECT_EQ(typed.rowname, (std::vector<std::string>{"c1", "c2", "r9"}));
  EXPECT_EQ(typed.numCols(), plain.numCols());
  EXPECT_TRUE(typed.colname.empty());
  EXPECT_EQ(coef(typed, 2, 1), 1.0);
}

// Unnamed added rows get default names that no other row carries.
TEST(LpAddMode, DefaultRowNamesStayUnique) {
  ModelData base;
  CollectMessages msg;
  ASSERT_EQ(readText("min\n obj: x + y\nst\n c2: x + y >= 1\n c3: x <= 4\nEnd\n", base, msg), 0);
  ModelData out;
  CollectMessages amsg;
  // the new rows are rows 3 and 4 ("c3" is taken, and so is "c4" by a named row)
  MemoryDevice dev(" x - y >= -2\n c4: y <= 5\n x + 2 y <= 9\nend\n");
  ASSERT_EQ(addLp(dev, "add.lp", base, out, amsg), 0) << amsg.errors;
  ASSERT_EQ(out.numRows(), 5);
  std::set<std::string> names(out.rowname.begin(), out.rowname.end());
  EXPECT_EQ(names.size(), out.rowname.size());
  EXPECT_EQ(out.rowname[0], "c2");
  EXPECT_EQ(out.rowname[1], "c3");
  EXPECT_EQ(out.rowname[3], "c4");
}

TEST(LpEntryPoints, ThroughTheCInterface) {
  int st = 0;
  VNTENVptr env = VNTopenVANTO(&st);
  ASSERT_NE(env, nullptr);
  VNTCHANNELptr res = nullptr, warn = nullptr, err = nullptr;
  VNTgetchannels(env, &res, &warn, &err, nullptr);
  vnt::test::Capture out, errs;
  VNTaddfuncdest(env, res, &out, vnt::test::Capture::fn);
  VNTaddfuncdest(env, err, &errs, vnt::test::Capture::fn);
  VNTLPptr lp = VNTcreateprob(env, &st, "typed");
  ASSERT_NE(lp, nullptr);

  std::string typed = "min\n obj: x + y\nst\n c1: x + y >= 2\n c2: x - y = = 0\n c2: x - y = 0\nend\n";
  FILE* f = fmemopen(typed.data(), typed.size(), "r");
  ASSERT_EQ(VNTEenterprob(env, lp, f), 0) << errs.all();
  std::fclose(f);
  EXPECT_NE(out.all().find("Enter new problem ['end' on a separate line terminates]:\n"), std::string::npos);
  EXPECT_NE(out.all().find("Please reenter last line:\n"), std::string::npos);
  EXPECT_NE(errs.all().find("VANTO Error"), std::string::npos);
  EXPECT_EQ(VNTgetnumrows(env, lp), 2);
  EXPECT_EQ(VNTgetnumcols(env, lp), 2);

  std::string more = "c3: x <= 5\nbounds\ny <= 1\nend\n";
  f = fmemopen(more.data(), more.size(), "r");
  out.lines.clear();
  ASSERT_EQ(VNTEenteradd(env, lp, f), 0) << errs.all();
  std::fclose(f);
  EXPECT_NE(out.all().find("Enter new constraints and bounds ['end' terminates]:\n"), std::string::npos);
  EXPECT_EQ(VNTgetnumrows(env, lp), 3);
  double ub = 0;
  ASSERT_EQ(VNTgetub(env, lp, &ub, 1, 1), 0);
  EXPECT_EQ(ub, 1.0);

  TempDir dir;
  std::string path = dir.file("more.lp");
  std::ofstream(path) << "st\n c4: x + 2 z >= 1\nend\n";
  out.lines.clear();
  ASSERT_EQ(VNTEaddfromfile(env, lp, path.c_str()), 0) << errs.all();
  EXPECT_NE(out.all().find("Input file '" + path + "' successfully opened.\n"), std::string::npos) << out.all();
  EXPECT_EQ(VNTgetnumrows(env, lp), 4);
  EXPECT_EQ(VNTgetnumcols(env, lp), 3);

  // failures leave the problem alone
  errs.lines.clear();
  EXPECT_EQ(VNTEaddfromfile(env, lp, dir.file("missing.lp").c_str()), 1423);
  EXPECT_NE(errs.all().find("VANTO Error  1423: Could not open file"), std::string::npos) << errs.all();
  EXPECT_EQ(VNTEaddfromfile(env, lp, nullptr), 1421);
  EXPECT_EQ(VNTEenterprob(env, lp, nullptr), 1004);
  EXPECT_EQ(VNTEenterprob(env, nullptr, stdin), 1009);
  std::string broken = "min\n obj: x\nst\n c: x >= 1\npwl\n p: x = nosuch 0 (0, 0) 1\nend\n";
  f = fmemopen(broken.data(), broken.size(), "r");
  EXPECT_EQ(VNTEenterprob(env, lp, f), 1210);
  std::fclose(f);
  EXPECT_EQ(VNTgetnumrows(env, lp), 4);

  VNTfreeprob(env, &lp);
  VNTcloseVANTO(&env);
}

namespace {

// A random model with every part the LP format carries.
ModelData randomFullModel(std::mt19937& rng, int trial) {
  auto pick = [&](int k) { return static_cast<int>(rng() % static_cast<unsigned>(k)); };
  std::uniform_real_distribution<double> u(-50, 50);
  auto value = [&] {
    switch (pick(3)) {
      case 0: return static_cast<double>(pick(19) - 9);
      case 1: return u(rng);
      default: return u(rng) * 1e-6;
    }
  };
  auto nonzero = [&] {
    double v = value();
    return v == 0.0 ? 1.5 : v;
  };
  const int n = 1 + pick(9), m = pick(6);
  ModelData d;
  d.probname = "full";
  d.objsen = pick(2) ? 1 : -1;
  const bool multi = trial % 3 == 0;
  d.objname = multi ? "" : "goal";
  for (int j = 0; j < n; ++j) {
    char t = "CCIBS"[pick(5)];
    double l = 0, h = 1e20;
    if (t == 'B') h = 1;
    if (t == 'S') h = 2 + pick(4);
    if (t == 'C' && pick(2)) l = -1e20;
    if (t == 'I') l = -pick(3), h = pick(5) + 1;
    d.obj.push_back(multi || pick(3) == 0 ? 0.0 : value());
    d.lb.push_back(l);
    d.ub.push_back(h);
    d.ctype.push_back(t);
    d.colname.push_back("c" + std::to_string(j) + "_" + std::to_string(pick(100)));
  }
  auto terms = [&](std::vector<int>& ind, std::vector<double>& val) {
    for (int j = 0; j < n; ++j)
      if (pick(3) == 0) ind.push_back(j), val.push_back(nonzero());
  };
  for (int i = 0; i < m; ++i) {
    char s = "LGER"[pick(4)];
    d.sense.push_back(s);
    d.rhs.push_back(value());
    d.rngval.push_back(s == 'R' ? 1 + pick(9) : 0.0);
    d.rowname.push_back("r" + std::to_string(i));
  }
  {
    std::vector<std::vector<std::pair<int, double>>> colsOf(static_cast<std::size_t>(n));
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < n; ++j)
        if (pick(3) == 0) colsOf[j].emplace_back(i, nonzero());
    d.matbeg = {0};
    for (int j = 0; j < n; ++j) {
      for (auto& [i, v] : colsOf[j]) d.matind.push_back(i), d.matval.push_back(v);
      d.matbeg.push_back(static_cast<int64_t>(d.matind.size()));
    }
  }
  if (!multi && pick(2)) {
    for (int a = 0; a < n; ++a)
      for (int b = a; b < n; ++b)
        if (pick(4) == 0) d.qobj.push_back({a, b, static_cast<double>(1 + pick(5))});
  }
  if (multi) {
    const int count = 1 + pick(3);
    for (int k = 0; k < count; ++k) {
      vnt::model::ObjectiveRecord o;
      o.name = "o" + std::to_string(k);
      o.priority = pick(5) - 2;
      o.weight = value();
      o.abstol = pick(2) ? 0.0 : 1e-3 * (1 + pick(9));
      o.reltol = pick(2) ? 0.0 : 0.01 * pick(50);
      terms(o.ind, o.val);
      d.objectives.push_back(std::move(o));
    }
    // objective 0 is also the ordinary objective
    for (std::size_t k = 0; k < d.objectives[0].ind.size(); ++k) d.obj[d.objectives[0].ind[k]] = d.objectives[0].val[k];
    d.objname = d.objectives[0].name;
  }
  for (int k = pick(3); k > 0; --k) {
    vnt::model::QuadConstraint q;
    q.name = "q" + std::to_string(k);
    q.sense = pick(2) ? 'L' : 'G';
    q.rhs = value();
    terms(q.linind, q.linval);
    for (int a = 0; a < n; ++a)
      if (pick(3) == 0) q.quad.push_back({a, std::min(n - 1, a + pick(2)), nonzero()});
    d.qconstr.push_back(std::move(q));
  }
  for (int k = pick(4); k > 0; --k) {
    vnt::model::IndicatorConstraint ic;
    ic.name = "i" + std::to_string(k);
    ic.indvar = pick(n);
    ic.complemented = pick(2);
    ic.direction = pick(3);
    ic.sense = "LGE"[pick(3)];
    ic.rhs = value();
    terms(ic.ind, ic.val);
    if (ic.ind.size() == 1 && ic.sense == 'E' && ic.val[0] == 1.0) ic.val[0] = 2.0;  // not a condition itself
    d.indconstr.push_back(std::move(ic));
  }
  for (auto* list : {&d.usercuts, &d.lazycons})
    for (int k = pick(3); k > 0; --k) {
      vnt::model::LinearConstraint c;
      c.name = (list == &d.usercuts ? "u" : "l") + std::to_string(k);
      c.sense = "LGE"[pick(3)];
      c.rhs = value();
      terms(c.ind, c.val);
      list->push_back(std::move(c));
    }
  if (n >= 2 && pick(2)) {
    vnt::model::SosSet s;
    s.name = "s1";
    s.type = pick(2) ? '1' : '2';
    for (int j = 0; j < n; ++j)
      if (pick(2)) s.ind.push_back(j), s.weight.push_back(static_cast<double>(j + 1));
    if (!s.ind.empty()) d.sos.push_back(std::move(s));
  }
  for (int k = pick(3); k > 0; --k) {
    vnt::model::PwlConstraint p;
    p.name = "p" + std::to_string(k);
    p.ycol = pick(n);
    p.xcol = pick(n);
    p.preslope = value();
    p.postslope = value();
    double x = value();
    for (int t = 1 + pick(25); t > 0; --t) {
      p.x.push_back(x);
      p.y.push_back(value());
      x += pick(3) == 0 ? 0.0 : std::fabs(value()) + 0.5;
    }
    d.pwl.push_back(std::move(p));
  }
  return d;
}

}  // namespace

TEST(LpRoundTrip, RandomModelsWithEveryPart) {
  std::mt19937 rng(2718);
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    ModelData d = randomFullModel(rng, trial);
    CollectMessages wmsg;
    std::string text = writeText(d, wmsg);
    ModelData back;
    CollectMessages rmsg;
    ASSERT_EQ(readText(text, back, rmsg), 0) << rmsg.errors << text;
    expectSameModel(d, back, true, 1e-14);
    expectSameParts(d, back);
    if (::testing::Test::HasFailure()) {
      std::printf("%s\n", text.c_str());
      return;
    }
  }
}

// Through a problem object: the new parts survive VNTreadcopyprob and
// VNTwriteprob.
TEST(LpEntryPoints, NewPartsThroughAProblem) {
  const std::string text =
      "maximize multi-objectives\n first: Priority=3 Weight=2 AbsTol=0.5 RelTol=0.1\n x + 2 y\n"
      " second: Priority=1\n - y + z\nsubject to\n c1: x + y + z <= 4\n i1: b = 1 <-> x + y >= 1\n"
      " i2: x - z <= 2 -> b = 0\n q1: [ ] <= 3\nbinaries\n b\npwl\n p1: z = x 0 (0, 0) (1, 3) (1, 4) 1\nend\n";
  ModelData direct;
  CollectMessages msg;
  ASSERT_EQ(readText(text, direct, msg), 0) << msg.errors;

  TempDir dir;
  std::ofstream(dir.file("in.lp")) << text;
  int st = 0;
  VNTENVptr env = VNTopenVANTO(&st);
  ASSERT_NE(env, nullptr);
  VNTLPptr lp = VNTcreateprob(env, &st, "p");
  ASSERT_EQ(VNTreadcopyprob(env, lp, dir.file("in.lp").c_str(), nullptr), 0);
  ASSERT_EQ(VNTwriteprob(env, lp, dir.file("out.lp").c_str(), nullptr), 0);
  VNTfreeprob(env, &lp);
  VNTcloseVANTO(&env);

  ModelData back;
  auto dev = openFileDevice(dir.file("out.lp"), 'r');
  ASSERT_TRUE(dev);
  ASSERT_EQ(readLp(*dev, "out.lp", back, msg), 0) << msg.errors;
  expectSameModel(direct, back);
  expectSameParts(direct, back);
  EXPECT_EQ(back.objname, "first");
  EXPECT_EQ(back.pwl.size(), 1u);
  EXPECT_EQ(back.indconstr[0].direction, 2);
  EXPECT_EQ(back.indconstr[1].direction, 1);
}
