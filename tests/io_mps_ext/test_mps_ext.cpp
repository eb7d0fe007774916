// MPS piecewise-linear sections and multi-objective objective rows: what the
// reader keeps, its errors and messages, and the property that a written
// model (random models with both parts) reads back to the same model.
#include <gtest/gtest.h>

#include <random>

#include "io/device.h"
#include "io/io_test_util.h"
#include "io/mps.h"

using namespace vnt::io;
using namespace vnt::io::test;
using vnt::model::ModelData;

namespace {

int readText(const std::string& text, ModelData& out, CollectMessages& msg) {
  MemoryDevice dev(text);
  return readMps(dev, out, msg);
}

const char* kPwlFile =
    "NAME          pwlmodel\n"
    "ROWS\n"
    " N  cost 2 1.5 0.25 0.01\n"
    " N  other 1 -2 0 0\n"
    " N  free\n"
    " L  c1\n"
    "COLUMNS\n"
    "    x  cost  1   c1  1\n"
    "    x  other  3   free  8\n"
    "    y  cost  -1   c1  1\n"
    "    z  other  -4\n"
    "RHS\n"
    "    rhs  c1  10\n"
    "BOUNDS\n"
    " UP bnd  x  4\n"
    "PWLNAM\n"
    " f  y  x  -1  0.5\n"
    " g  z  y  0  0\n"
    "PWLCON\n"
    " f  0  0\n"
    " f  1  2\n"
    " f  1  3\n"
    " g  -1  1\n"
    " f  4  3\n"
    "ENDATA\n";

TEST(MpsPwl, ReaderKeepsConstraintsAndObjectives) {
  ModelData m;
  CollectMessages msg;
  ASSERT_EQ(readText(kPwlFile, m, msg), 0) << msg.errors;
  EXPECT_EQ(msg.warnings.find("ignored"), std::string::npos) << msg.warnings;
  ASSERT_EQ(m.pwl.size(), 2u);
  const auto& f = m.pwl[0];
  EXPECT_EQ(f.name, "f");
  EXPECT_EQ(f.ycol, 1);
  EXPECT_EQ(f.xcol, 0);
  EXPECT_EQ(f.preslope, -1.0);
  EXPECT_EQ(f.postslope, 0.5);
  EXPECT_EQ(f.x, (std::vector<double>{0, 1, 1, 4}));
  EXPECT_EQ(f.y, (std::vector<double>{0, 2, 3, 3}));
  EXPECT_EQ(m.pwl[1].name, "g");
  EXPECT_EQ(m.pwl[1].ycol, 2);
  EXPECT_EQ(m.pwl[1].xcol, 1);
  EXPECT_EQ(m.pwl[1].x, (std::vector<double>{-1}));
  EXPECT_TRUE(m.isMip());

  // Two attributed N rows make two objectives; the plain N row is free.
  ASSERT_EQ(m.objectives.size(), 2u);
  EXPECT_EQ(m.objectives[0].name, "cost");
  EXPECT_EQ(m.objectives[0].priority, 2);
  EXPECT_EQ(m.objectives[0].weight, 1.5);
  EXPECT_EQ(m.objectives[0].abstol, 0.25);
  EXPECT_EQ(m.objectives[0].reltol, 0.01);
  EXPECT_EQ(m.objectives[0].ind, (std::vector<int>{0, 1}));
  EXPECT_EQ(m.objectives[0].val, (std::vector<double>{1, -1}));
  EXPECT_EQ(m.objectives[1].name, "other");
  EXPECT_EQ(m.objectives[1].priority, 1);
  EXPECT_EQ(m.objectives[1].weight, -2.0);
  EXPECT_EQ(m.objectives[1].ind, (std::vector<int>{0, 2}));
  EXPECT_EQ(m.objectives[1].val, (std::vector<double>{3, -4}));
  EXPECT_EQ(m.obj, (std::vector<double>{1, -1, 0}));
  EXPECT_EQ(m.numRows(), 1);
  EXPECT_NE(msg.resultsText.find("  [1 free row deleted]\n"), std::string::npos) << msg.resultsText;
}

TEST(MpsPwl, ReaderErrors) {
  struct Case {
    std::string pwlPart;
    int status;
    std::string message;
  };
  const std::string head =
      "NAME p\nROWS\n N obj\n L c\nCOLUMNS\n    x  obj  1  c  1\n    y  c  1\nRHS\n    rhs  c  1\n";
  const std::vector<Case> cases = {
      {"PWLNAM\n f  y  x  0\nENDATA\n", -1213,
       "Error: missing field in piecewise linear expression definition on line 11.\n"},
      {"PWLNAM\n f  y  x  0  0\n f  x  y  0  0\nENDATA\n", -1213,
       "Error: duplicate piecewise liner expression name f.\n"},
      {"PWLNAM\n f  y  x  0  0\nPWLCON\n g  1  1\nENDATA\n", -1210,
       "Error: piecewise linear expression name g is not found in the PWLNAM section.\n"},
      {"PWLNAM\n f  y  x  0  0\nPWLCON\n f  1\nENDATA\n", -1213,
       "Error: missing field in piecewise linear expression definition on line 13.\n"},
      {"PWLNAM\n f  y  w  0  0\nPWLCON\n f  1  1\nENDATA\n", -1210,
       "Error: variable name w in piecewise linear expression f is not found.\n"},
      {"PWLNAM\n f  y  x  0  0\nPWLCON\n f  2  1\n f  1  1\nENDATA\n", -1213,
       "VANTO Error  1213: ill defined piecewise linear function.\n"},
      {"PWLNAM\n f  y  x  0  0\nENDATA\n", -1213, "VANTO Error  1213: ill defined piecewise linear function.\n"},
      {"PWLNAM\n f  y  x  0  zz\nENDATA\n", -1434, "Couldn't convert 'zz' to a number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pwlPart);
    ModelData m;
    m.probname = "untouched";
    CollectMessages msg;
    EXPECT_EQ(readText(head + c.pwlPart, m, msg), c.status);
    EXPECT_NE(msg.errors.find(c.message), std::string::npos) << msg.errors;
    // the status line of the code comes last
    const std::string status = "VANTO Error  " + std::to_string(-c.status) + ": ";
    EXPECT_NE(msg.errors.rfind(status), std::string::npos) << msg.errors;
    EXPECT_EQ(msg.errors.rfind("VANTO Error"), msg.errors.rfind(status)) << msg.errors;
    EXPECT_EQ(m.probname, "untouched");
  }
}

TEST(MpsPwl, WriterFormsAndDefaultNames) {
  ModelData m;
  CollectMessages msg;
  ASSERT_EQ(readText(kPwlFile, m, msg), 0);
  m.pwl[1].name.clear();
  m.objectives[1].name.clear();
  MemoryDevice dev;
  CollectMessages wmsg;
  ASSERT_EQ(writeMps(dev, m, wmsg), 0);
  const std::string& out = dev.data();
  const std::string attrLine = format(" N  cost 2 %23s %23s %23s\n", "1.5", "0.25", "0.01");
  EXPECT_NE(out.find(attrLine), std::string::npos) << attrLine << out;
  EXPECT_NE(out.find("PWLNAM\n f y x"), std::string::npos) << out;
  EXPECT_NE(out.find("PWLCON\n f "), std::string::npos) << out;
  EXPECT_NE(wmsg.warnings.find("Default objective names obj1, obj2 ... being created.\n"), std::string::npos);
  // One unnamed constraint among named ones gets its generated name quietly.
  EXPECT_NE(out.find(" p2 z y"), std::string::npos) << out;
  EXPECT_NE(out.find(" N  obj2 1"), std::string::npos) << out;

  // All unnamed: the default-name message of the piecewise-linear set.
  for (auto& f : m.pwl) f.name.clear();
  MemoryDevice dev2;
  CollectMessages wmsg2;
  ASSERT_EQ(writeMps(dev2, m, wmsg2), 0);
  EXPECT_NE(wmsg2.warnings.find("Default piecewise linear constraint names p1, p2 ... being created.\n"),
            std::string::npos)
      << wmsg2.warnings;
}

// Random LP/MIP skeleton with piecewise-linear constraints and objectives.
ModelData randomModel(std::mt19937& rng, int n, int m, int npwl, int nobj) {
  auto pick = [&](int k) { return static_cast<int>(rng() % static_cast<unsigned>(k)); };
  // Values exact in binary (and in 15 digits) so that both number forms
  // read back bit for bit.
  auto value = [&]() { return static_cast<double>(pick(2001) - 1000) / 8.0; };
  ModelData d;
  d.probname = "rand";
  d.objname = "cost";
  d.objsen = pick(2) ? 1 : -1;
  for (int j = 0; j < n; ++j) {
    d.obj.push_back(pick(3) ? value() : 0.0);
    d.lb.push_back(pick(3) ? 0.0 : -1e20);
    d.ub.push_back(pick(2) ? 1e20 : 10.0 + pick(5));
    d.colname.push_back("x" + std::to_string(j));
  }
  for (int i = 0; i < m; ++i) {
    d.sense.push_back("LGE"[pick(3)]);
    d.rhs.push_back(value());
    d.rowname.push_back("r" + std::to_string(i));
  }
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < m; ++i)
      if (pick(3) == 0) {
        d.matind.push_back(i);
        double v = value();
        d.matval.push_back(v == 0.0 ? 1.0 : v);
      }
    d.matbeg.push_back(static_cast<int64_t>(d.matind.size()));
  }
  for (int k = 0; k < npwl && n >= 2; ++k) {
    vnt::model::PwlConstraint f;
    f.name = "pw" + std::to_string(k);
    f.xcol = pick(n);
    f.ycol = (f.xcol + 1 + pick(n - 1)) % n;
    f.preslope = value();
    f.postslope = value();
    double x = value();
    const int nb = 1 + pick(6);
    for (int q = 0; q < nb; ++q) {
      // a jump (two equal abscissae) now and then, never three
      if (q == 0 || pick(4) != 0 || (q >= 2 && f.x[q - 1] == f.x[q - 2])) x += 0.5 + pick(8);
      f.x.push_back(x);
      f.y.push_back(value());
    }
    d.pwl.push_back(std::move(f));
  }
  if (nobj > 0) {
    for (int k = 0; k < nobj; ++k) {
      vnt::model::ObjectiveRecord o;
      o.name = k == 0 ? d.objname : "o" + std::to_string(k);
      o.priority = pick(7) - 3;
      o.weight = value();
      o.abstol = pick(4) / 4.0;
      o.reltol = pick(5) / 8.0;
      if (k == 0) {
        for (int j = 0; j < n; ++j)
          if (d.obj[j] != 0.0) o.ind.push_back(j), o.val.push_back(d.obj[j]);
      } else {
        for (int j = 0; j < n; ++j)
          if (pick(3) == 0) {
            double v = value();
            if (v != 0.0) o.ind.push_back(j), o.val.push_back(v);
          }
      }
      d.objectives.push_back(std::move(o));
    }
  }
  if (!d.pwl.empty()) d.ctype.assign(n, 'C');
  return d;
}

void expectSameParts(const ModelData& a, const ModelData& b, bool names) {
  ASSERT_EQ(a.pwl.size(), b.pwl.size());
  for (std::size_t k = 0; k < a.pwl.size(); ++k) {
    SCOPED_TRACE("pwl " + std::to_string(k));
    if (names) {
      EXPECT_EQ(a.pwl[k].name, b.pwl[k].name);
    }
    EXPECT_EQ(a.pwl[k].xcol, b.pwl[k].xcol);
    EXPECT_EQ(a.pwl[k].ycol, b.pwl[k].ycol);
    EXPECT_EQ(a.pwl[k].preslope, b.pwl[k].preslope);
    EXPECT_EQ(a.pwl[k].postslope, b.pwl[k].postslope);
    EXPECT_EQ(a.pwl[k].x, b.pwl[k].x);
    EXPECT_EQ(a.pwl[k].y, b.pwl[k].y);
  }
  ASSERT_EQ(a.objectives.size(), b.objectives.size());
  for (std::size_t k = 0; k < a.objectives.size(); ++k) {
    SCOPED_TRACE("objective " + std::to_string(k));
    const auto &oa = a.objectives[k], &ob = b.objectives[k];
    if (names) {
      EXPECT_EQ(oa.name, ob.name);
    }
    EXPECT_EQ(oa.priority, ob.priority);
    EXPECT_EQ(oa.weight, ob.weight);
    EXPECT_EQ(oa.abstol, ob.abstol);
    EXPECT_EQ(oa.reltol, ob.reltol);
    EXPECT_EQ(oa.ind, ob.ind);
    EXPECT_EQ(oa.val, ob.val);
  }
}

TEST(MpsPwl, RandomModelsReadBackUnchanged) {
  std::mt19937 rng(4242);
  for (int trial = 0; trial < 80; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    ModelData d = randomModel(rng, 2 + trial % 9, trial % 6, trial % 4, (trial / 4) % 4);
    for (int form = 0; form < 3; ++form) {  // long numbers, compact numbers, generated names
      IoSettings s;
      s.mpsLongNumbers = form != 1;
      MemoryDevice dev;
      CollectMessages msg;
      ASSERT_EQ(writeMps(dev, d, msg, form == 2, s), 0);
      dev.rewind();
      ModelData back;
      CollectMessages rmsg;
      ASSERT_EQ(readMps(dev, back, rmsg), 0) << rmsg.errors << dev.data();
      expectSameModel(d, back, form != 2, 0.0);
      expectSameParts(d, back, form != 2);
      if (::testing::Test::HasFailure()) {
        std::printf("%s\n", dev.data().c_str());
        return;
      }
    }
  }
}

}  // namespace
