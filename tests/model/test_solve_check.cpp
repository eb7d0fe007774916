// The data check at the start of every optimization: whatever the
// data-check setting, a model with NaN or infinite data or an invalid row
// sense is refused with a clear code and no solution, never "optimal" with
// a NaN or infinite objective.
#include <cmath>
#include <limits>

#include "model_fixture.h"

namespace vnt::test {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

class SolveCheck : public ModelTest {
 protected:
  // buildSmall with data checking off, and the three optimizers' results.
  void SetUp() override {
    ModelTest::SetUp();
    buildSmall();
    dataCheck(0);
  }
  model::ProblemData& data() { return *model::resolveHandle(lp)->data; }

  // Every optimizer refuses the model with `code` and leaves no solution.
  void expectRefused(int code, const std::string& what) {
    for (auto opt : {&VNTlpopt, &VNTprimopt, &VNTdualopt}) {
      EXPECT_EQ(opt(env, lp), code) << what;
      EXPECT_EQ(VNTgetstat(env, lp), 0) << what;
      double obj = 0;
      EXPECT_EQ(VNTgetobjval(env, lp, &obj), 1217) << what;
    }
  }
  void expectOptimal(const std::string& what) {
    ASSERT_EQ(VNTlpopt(env, lp), 0) << what;
    EXPECT_EQ(VNTgetstat(env, lp), 1) << what;
    double obj = kNaN;
    ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
    EXPECT_TRUE(std::isfinite(obj)) << what;
  }
};

TEST_F(SolveCheck, InfiniteDataAcceptedWithoutDataCheckIsRefusedAtOptimize) {
  expectOptimal("the model as built");
  int j = 1;
  double v = kInf;
  ASSERT_EQ(VNTchgobj(env, lp, 1, &j, &v), 0);
  expectRefused(1233, "objective +inf");
  EXPECT_NE(errors.all().find("VANTO Error  1233: Numeric entry is \"inf\".\n"), std::string::npos);
  v = -1e20;
  ASSERT_EQ(VNTchgobj(env, lp, 1, &j, &v), 0);
  expectRefused(1233, "objective at -1e20");
  v = -1;
  ASSERT_EQ(VNTchgobj(env, lp, 1, &j, &v), 0);
  expectOptimal("objective restored");

  ASSERT_EQ(VNTchgcoef(env, lp, 1, 2, 3e30), 0);
  expectRefused(1233, "coefficient 3e30");
  ASSERT_EQ(VNTchgcoef(env, lp, 1, 2, 4), 0);

  int i = 2;
  double r = -kInf;
  ASSERT_EQ(VNTchgrhs(env, lp, 1, &i, &r), 0);
  expectRefused(1233, "rhs -inf");
  EXPECT_NE(errors.all().find("VANTO Error  1233: Numeric entry is \"-inf\".\n"), std::string::npos);
  r = 2;
  ASSERT_EQ(VNTchgrhs(env, lp, 1, &i, &r), 0);

  char rs = 'R';
  double rg = kInf;
  ASSERT_EQ(VNTchgsense(env, lp, 1, &i, &rs), 0);
  ASSERT_EQ(VNTchgrngval(env, lp, 1, &i, &rg), 0);
  expectRefused(1233, "range +inf");
  rg = 1;
  ASSERT_EQ(VNTchgrngval(env, lp, 1, &i, &rg), 0);

  ASSERT_EQ(VNTchgobjoffset(env, lp, kInf), 0);
  expectRefused(1233, "offset +inf");
  ASSERT_EQ(VNTchgobjoffset(env, lp, 0), 0);
  expectOptimal("all restored");
}

// The MIP optimizer makes the same check before its search starts.
TEST_F(SolveCheck, MipOptimizerRefusesBadData) {
  int j = 0;
  char t = 'I';
  ASSERT_EQ(VNTchgctype(env, lp, 1, &j, &t), 0);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  int jo = 1;
  double v = kInf;
  ASSERT_EQ(VNTchgobj(env, lp, 1, &jo, &v), 0);
  EXPECT_EQ(VNTmipopt(env, lp), 1233);
  double obj = 0;
  EXPECT_EQ(VNTgetobjval(env, lp, &obj), 1217);
  v = -1;
  ASSERT_EQ(VNTchgobj(env, lp, 1, &jo, &v), 0);
  ASSERT_EQ(VNTchgcoef(env, lp, 1, 2, kNaN), 1225);  // refused at entry
  double rhs = 1;
  char bad = 'X';
  ASSERT_EQ(VNTnewrows(env, lp, 1, &rhs, &bad, nullptr, nullptr), 0);
  EXPECT_EQ(VNTmipopt(env, lp), 1215);
}

TEST_F(SolveCheck, InvalidSenseRefusedAtOptimize) {
  double rhs = 1;
  char bad = 'X';
  ASSERT_EQ(VNTnewrows(env, lp, 1, &rhs, &bad, nullptr, nullptr), 0);
  expectRefused(1215, "sense X");
  EXPECT_NE(errors.all().find("VANTO Error  1215: Illegal sense entry 3.\n"), std::string::npos) << errors.all();
  int i = 3;
  char ok = 'L';
  ASSERT_EQ(VNTchgsense(env, lp, 1, &i, &ok), 0);
  expectOptimal("sense repaired");
}

// NaN no longer enters through the interface; data that reach the model by
// another way are caught at the start of the optimization all the same.
TEST_F(SolveCheck, NaNInTheModelRefusedAtOptimize) {
  expectOptimal("the model as built");
  struct Poke {
    const char* what;
    double* (*where)(model::ProblemData&);
  } pokes[] = {
      {"objective", [](model::ProblemData& d) { return &d.obj[2]; }},
      {"lower bound", [](model::ProblemData& d) { return &d.lb[1]; }},
      {"upper bound", [](model::ProblemData& d) { return &d.ub[3]; }},
      {"rhs", [](model::ProblemData& d) { return &d.rhs[1]; }},
      {"matrix", [](model::ProblemData& d) { return &d.matval[d.matbeg[3]]; }},
      {"offset", [](model::ProblemData& d) { return &d.objoffset; }},
  };
  for (const Poke& p : pokes) {
    double* at = p.where(data());
    const double keep = *at;
    *at = kNaN;
    // A change event, as any change through the interface would report.
    model::notifyChange(*model::resolveHandle(lp), model::ChangeKind::ReplaceAll);
    expectRefused(1225, p.what);
    *at = keep;
    model::notifyChange(*model::resolveHandle(lp), model::ChangeKind::ReplaceAll);
    expectOptimal(std::string("after ") + p.what);
  }
}

}  // namespace
}  // namespace vnt::test
