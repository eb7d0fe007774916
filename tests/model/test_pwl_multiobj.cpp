// Piecewise-linear constraints and objective records through
// the public interface: data movement, the checks with their messages, the
// surplus convention, and what column deletion, cloning and copying do to
// these parts.
#include <cmath>
#include <cstring>
#include <limits>

#include "model_fixture.h"

namespace vnt::test {
namespace {

using Pwl = ModelTest;
using MultiObj = ModelTest;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// f(x2) = y via x1:  (0,0) (1,2) (1,3) (4,3), slopes -1 and 0.5.
int addFirst(VNTENVptr env, VNTLPptr lp, const char* name = "f1") {
  double bx[] = {0, 1, 1, 4};
  double by[] = {0, 2, 3, 3};
  return VNTaddpwl(env, lp, 0, 1, -1.0, 0.5, 4, bx, by, name);
}

int addSecond(VNTENVptr env, VNTLPptr lp, int y, int x, const char* name) {
  double bx[] = {-1, 2};
  double by[] = {5, -5};
  return VNTaddpwl(env, lp, y, x, 0.0, 0.0, 2, bx, by, name);
}

TEST_F(Pwl, AddAndQueryRoundTrip) {
  buildSmall();
  ASSERT_EQ(VNTgetprobtype(env, lp), 0);
  ASSERT_EQ(addFirst(env, lp), 0);
  ASSERT_EQ(addSecond(env, lp, 3, 2, "second"), 0);
  EXPECT_EQ(VNTgetnumpwl(env, lp), 2);
  // A constraint that needs the MIP search makes the LP a MILP.
  EXPECT_EQ(VNTgetprobtype(env, lp), 1);

  int y = -1, x = -1, nb = -1, surplus = 99;
  double pre = 0, post = 0, bx[8], by[8];
  ASSERT_EQ(VNTgetpwl(env, lp, 0, &y, &x, &pre, &post, &nb, bx, by, 8, &surplus), 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(x, 1);
  EXPECT_EQ(pre, -1.0);
  EXPECT_EQ(post, 0.5);
  EXPECT_EQ(nb, 4);
  EXPECT_EQ(surplus, 4);
  const double ex[] = {0, 1, 1, 4}, ey[] = {0, 2, 3, 3};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(bx[k], ex[k]);
    EXPECT_EQ(by[k], ey[k]);
  }
  ASSERT_EQ(VNTgetpwl(env, lp, 1, &y, &x, &pre, &post, &nb, bx, by, 2, &surplus), 0);
  EXPECT_EQ(y, 3);
  EXPECT_EQ(x, 2);
  EXPECT_EQ(nb, 2);
  EXPECT_EQ(surplus, 0);

  int idx = -1;
  EXPECT_EQ(VNTgetpwlindex(env, lp, "second", &idx), 0);
  EXPECT_EQ(idx, 1);
  EXPECT_EQ(VNTgetpwlindex(env, lp, "nope", &idx), 1210);

  char buf[16];
  EXPECT_EQ(VNTgetpwlname(env, lp, buf, sizeof buf, &surplus, 1), 0);
  EXPECT_STREQ(buf, "second");
  EXPECT_EQ(surplus, 16 - 7);
  // Out of range: one message, nothing written.
  errors.lines.clear();
  EXPECT_EQ(VNTgetpwlname(env, lp, buf, sizeof buf, &surplus, 2), 1200);
  EXPECT_EQ(errors.all(), "VANTO Error  1200: Index is outside range of valid values.\n");
  EXPECT_STREQ(buf, "second");
}

TEST_F(Pwl, SurplusConvention) {
  buildSmall();
  ASSERT_EQ(addFirst(env, lp), 0);
  int surplus = 0, nb = -7;
  double bx[4] = {9, 9, 9, 9}, by[4] = {9, 9, 9, 9};
  // Size query: null arrays and no space answer 1207 without a message.
  errors.lines.clear();
  EXPECT_EQ(VNTgetpwl(env, lp, 0, nullptr, nullptr, nullptr, nullptr, &nb, nullptr, nullptr, 0, &surplus), 1207);
  EXPECT_EQ(surplus, -4);
  EXPECT_TRUE(errors.lines.empty()) << errors.all();
  // Too little space with arrays: printed, nothing copied.
  EXPECT_EQ(VNTgetpwl(env, lp, 0, nullptr, nullptr, nullptr, nullptr, &nb, bx, by, 3, &surplus), 1207);
  EXPECT_EQ(surplus, -1);
  EXPECT_EQ(nb, -7);
  EXPECT_EQ(bx[0], 9.0);
  EXPECT_NE(errors.all().find("1207"), std::string::npos);
  // Names follow the same rule.
  errors.lines.clear();
  EXPECT_EQ(VNTgetpwlname(env, lp, nullptr, 0, &surplus, 0), 1207);
  EXPECT_EQ(surplus, -3);
  EXPECT_TRUE(errors.lines.empty());
  EXPECT_EQ(VNTgetpwl(env, lp, 1, nullptr, nullptr, nullptr, nullptr, &nb, bx, by, 4, &surplus), 1200);
  EXPECT_EQ(VNTgetpwl(env, lp, -1, nullptr, nullptr, nullptr, nullptr, &nb, bx, by, 4, &surplus), 1200);
}

TEST_F(Pwl, AddChecksLeaveModelUnchanged) {
  buildSmall();
  ASSERT_EQ(addFirst(env, lp), 0);
  dataCheck(1);
  const Snapshot before = snap();
  double bx[] = {0, 1, 2}, by[] = {0, 1, 2};
  double down[] = {0, 2, 1};
  double flat3[] = {1, 1, 1};
  double withNan[] = {0, kNaN, 2};
  EXPECT_EQ(VNTaddpwl(env, lp, 0, 1, 0, 0, -1, bx, by, "g"), 1003);
  EXPECT_EQ(VNTaddpwl(env, lp, 0, 1, 0, 0, 3, nullptr, by, "g"), 1004);
  EXPECT_EQ(VNTaddpwl(env, lp, 0, 1, 0, 0, 3, bx, nullptr, "g"), 1004);
  EXPECT_EQ(VNTaddpwl(env, lp, 0, 1, 0, 0, 3, bx, by, "bad\tname"), 1236);
  errors.lines.clear();
  EXPECT_EQ(VNTaddpwl(env, lp, 9, 1, 0, 0, 3, bx, by, "g"), 1201);
  EXPECT_NE(errors.all().find("Column index 9 out of range"), std::string::npos) << errors.all();
  EXPECT_EQ(VNTaddpwl(env, lp, 0, -2, 0, 0, 3, bx, by, "g"), 1201);
  EXPECT_EQ(VNTaddpwl(env, lp, 0, 1, kNaN, 0, 3, bx, by, "g"), 1225);
  EXPECT_EQ(VNTaddpwl(env, lp, 0, 1, 0, 0, 3, withNan, by, "g"), 1225);
  // Data that define no function.
  EXPECT_EQ(VNTaddpwl(env, lp, 0, 1, 0, 0, 3, down, by, "g"), 1213);
  EXPECT_EQ(VNTaddpwl(env, lp, 0, 1, 0, 0, 3, flat3, by, "g"), 1213);
  EXPECT_EQ(VNTaddpwl(env, lp, 1, 1, 0, 0, 3, bx, by, "g"), 1213);
  EXPECT_EQ(VNTaddpwl(env, lp, 0, 1, 0, 0, 0, bx, by, "g"), 1213);
  EXPECT_TRUE(same(before, snap()));
  EXPECT_EQ(VNTgetnumpwl(env, lp), 1);
  // The extension entry is the same operation.
  EXPECT_EQ(VNTEaddpwl(env, lp, 2, 3, 0, 0, 3, bx, by, nullptr), 0);
  EXPECT_EQ(VNTgetnumpwl(env, lp), 2);
  char buf[8];
  int surplus = 0;
  EXPECT_EQ(VNTgetpwlname(env, lp, buf, sizeof buf, &surplus, 1), 1219);
}

TEST_F(Pwl, DeleteByRangeAndFlags) {
  buildSmall();
  const char* names[] = {"a", "b", "c", "d"};
  for (int k = 0; k < 4; ++k) ASSERT_EQ(addSecond(env, lp, k, (k + 1) % 4, names[k]), 0);
  errors.lines.clear();
  EXPECT_EQ(VNTdelpwl(env, lp, -1, 2), 1200);
  EXPECT_NE(errors.all().find("VNTdelpwl: 'begin' value -1 is less than 0"), std::string::npos) << errors.all();
  errors.lines.clear();
  EXPECT_EQ(VNTdelpwl(env, lp, 1, 4), 1200);
  EXPECT_NE(errors.all().find("VNTdelpwl: 'end' value 4 is greater than 3"), std::string::npos) << errors.all();
  EXPECT_EQ(VNTdelpwl(env, lp, 3, 2), 0);
  EXPECT_EQ(VNTgetnumpwl(env, lp), 4);

  int flags[] = {0, 1, 2, 1};
  ASSERT_EQ(VNTdelsetpwl(env, lp, flags), 0);
  EXPECT_EQ(flags[0], 0);
  EXPECT_EQ(flags[1], -1);
  EXPECT_EQ(flags[2], 1);
  EXPECT_EQ(flags[3], -1);
  ASSERT_EQ(VNTgetnumpwl(env, lp), 2);
  int idx = -1;
  EXPECT_EQ(VNTgetpwlindex(env, lp, "c", &idx), 0);
  EXPECT_EQ(idx, 1);
  EXPECT_EQ(VNTdelsetpwl(env, lp, nullptr), 1004);
  ASSERT_EQ(VNTdelpwl(env, lp, 0, 0), 0);
  EXPECT_EQ(VNTgetpwlindex(env, lp, "c", &idx), 0);
  EXPECT_EQ(idx, 0);
}

TEST_F(Pwl, ColumnDeletionDropsAndRenumbers) {
  buildSmall();
  ASSERT_EQ(addSecond(env, lp, 0, 1, "uses01"), 0);
  ASSERT_EQ(addSecond(env, lp, 3, 2, "uses32"), 0);
  ASSERT_EQ(addSecond(env, lp, 1, 3, "uses13"), 0);
  // Deleting x1 (column 0) removes the constraint on it; the others follow
  // their columns to the new numbers.
  ASSERT_EQ(VNTdelcols(env, lp, 0, 0), 0);
  ASSERT_EQ(VNTgetnumpwl(env, lp), 2);
  int y, x, nb, surplus;
  double bx[2], by[2];
  ASSERT_EQ(VNTgetpwl(env, lp, 0, &y, &x, nullptr, nullptr, &nb, bx, by, 2, &surplus), 0);
  EXPECT_EQ(y, 2);
  EXPECT_EQ(x, 1);
  ASSERT_EQ(VNTgetpwl(env, lp, 1, &y, &x, nullptr, nullptr, &nb, bx, by, 2, &surplus), 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(x, 2);
  int idx;
  EXPECT_EQ(VNTgetpwlindex(env, lp, "uses01", &idx), 1210);

  // A clone carries the constraints; the original can change alone.
  int st = 0;
  VNTLPptr c = VNTcloneprob(env, lp, &st);
  ASSERT_EQ(st, 0);
  EXPECT_EQ(VNTgetnumpwl(env, c), 2);
  ASSERT_EQ(VNTdelpwl(env, lp, 0, 1), 0);
  EXPECT_EQ(VNTgetnumpwl(env, lp), 0);
  EXPECT_EQ(VNTgetnumpwl(env, c), 2);
  // The continuous relaxation has no place for them.
  ASSERT_EQ(VNTchgprobtype(env, c, 0), 0);
  EXPECT_EQ(VNTgetnumpwl(env, c), 0);
  EXPECT_EQ(VNTfreeprob(env, &c), 0);
}

TEST_F(MultiObj, CountsAndObjectiveZeroIsTheLinearObjective) {
  buildSmall();
  EXPECT_EQ(VNTgetnumobjs(env, lp), 1);
  EXPECT_EQ(VNTEismultiobj(env, lp), 0);
  EXPECT_EQ(VNTsetnumobjs(env, lp, 0), 1003);
  ASSERT_EQ(VNTsetnumobjs(env, lp, 3), 0);
  EXPECT_EQ(VNTgetnumobjs(env, lp), 3);
  EXPECT_EQ(VNTEismultiobj(env, lp), 1);

  // Objective 0 is the linear objective of the problem.
  int ind0[] = {3};
  double val0[] = {7.5};
  ASSERT_EQ(VNTmultiobjsetobj(env, lp, 0, 1, ind0, val0, 2.0, 1.5, 4, 0.1, 0.01, "main"), 0);
  double obj[4];
  ASSERT_EQ(VNTgetobj(env, lp, obj, 0, 3), 0);
  EXPECT_EQ(obj[0], 1.0);  // unlisted coefficients keep their values
  EXPECT_EQ(obj[3], 7.5);
  double off = 0;
  ASSERT_EQ(VNTgetobjoffset(env, lp, &off), 0);
  EXPECT_EQ(off, 2.0);
  int change[] = {1};
  double newv[] = {-3.0};
  ASSERT_EQ(VNTchgobj(env, lp, 1, change, newv), 0);

  double c[4], w = 0, at = 0, rt = 0;
  int prio = 0;
  ASSERT_EQ(VNTmultiobjgetobj(env, lp, 0, c, 0, 3, &off, &w, &prio, &at, &rt), 0);
  EXPECT_EQ(c[1], -3.0);
  EXPECT_EQ(c[3], 7.5);
  EXPECT_EQ(w, 1.5);
  EXPECT_EQ(prio, 4);
  EXPECT_EQ(at, 0.1);
  EXPECT_EQ(rt, 0.01);

  // Another objective: sparse coefficients, later listings win.
  int ind2[] = {2, 0, 2};
  double val2[] = {1.0, -4.0, 9.0};
  ASSERT_EQ(VNTmultiobjsetobj(env, lp, 2, 3, ind2, val2, -1.0, 2.0, 1, 0.0, 0.0, "second"), 0);
  ASSERT_EQ(VNTmultiobjgetobj(env, lp, 2, c, 0, 3, &off, &w, &prio, nullptr, nullptr), 0);
  EXPECT_EQ(c[0], -4.0);
  EXPECT_EQ(c[1], 0.0);
  EXPECT_EQ(c[2], 9.0);
  EXPECT_EQ(c[3], 0.0);
  EXPECT_EQ(off, -1.0);
  EXPECT_EQ(w, 2.0);
  EXPECT_EQ(prio, 1);
  // A new objective starts empty with weight 1.
  ASSERT_EQ(VNTmultiobjgetobj(env, lp, 1, c, 1, 2, &off, &w, &prio, &at, &rt), 0);
  EXPECT_EQ(c[0], 0.0);
  EXPECT_EQ(c[1], 0.0);
  EXPECT_EQ(w, 1.0);
  EXPECT_EQ(prio, 0);

  int idx = -1;
  EXPECT_EQ(VNTmultiobjgetindex(env, lp, "second", &idx), 0);
  EXPECT_EQ(idx, 2);
  EXPECT_EQ(VNTmultiobjgetindex(env, lp, "main", &idx), 0);
  EXPECT_EQ(idx, 0);
  EXPECT_EQ(VNTmultiobjgetindex(env, lp, "zzz", &idx), 1210);
  char buf[16];
  int surplus = 0;
  ASSERT_EQ(VNTmultiobjgetname(env, lp, 2, buf, sizeof buf, &surplus), 0);
  EXPECT_STREQ(buf, "second");
  ASSERT_EQ(VNTgetobjname(env, lp, buf, sizeof buf, &surplus), 0);
  EXPECT_STREQ(buf, "main");
  EXPECT_EQ(VNTmultiobjgetname(env, lp, 1, nullptr, 0, &surplus), 1207);
  EXPECT_EQ(surplus, -1);

  ASSERT_EQ(VNTmultiobjchgattribs(env, lp, 2, 5.0, 0.5, -2, 1.0, 0.5, nullptr), 0);
  ASSERT_EQ(VNTmultiobjgetobj(env, lp, 2, nullptr, 0, -1, &off, &w, &prio, &at, &rt), 0);
  EXPECT_EQ(off, 5.0);
  EXPECT_EQ(w, 0.5);
  EXPECT_EQ(prio, -2);
  EXPECT_EQ(at, 1.0);
  EXPECT_EQ(rt, 0.5);
  ASSERT_EQ(VNTmultiobjgetname(env, lp, 2, buf, sizeof buf, &surplus), 0);
  EXPECT_STREQ(buf, "second");

  // A clone has the same objectives.
  int cst = 0;
  VNTLPptr twin = VNTcloneprob(env, lp, &cst);
  ASSERT_EQ(cst, 0);
  EXPECT_TRUE(same(snap(twin), snap()));
  EXPECT_EQ(VNTfreeprob(env, &twin), 0);

  // Shrinking keeps the first objectives.
  ASSERT_EQ(VNTsetnumobjs(env, lp, 2), 0);
  EXPECT_EQ(VNTmultiobjgetindex(env, lp, "second", &idx), 1210);
  EXPECT_EQ(VNTgetnumobjs(env, lp), 2);
}

TEST_F(MultiObj, ChecksAndColumnDeletion) {
  buildSmall();
  ASSERT_EQ(VNTsetnumobjs(env, lp, 2), 0);
  int ind[] = {1, 3};
  double val[] = {2.0, 4.0};
  dataCheck(1);
  const Snapshot before = snap();
  EXPECT_EQ(VNTmultiobjsetobj(env, lp, 2, 2, ind, val, 0, 1, 0, 0, 0, nullptr), 1200);
  EXPECT_EQ(VNTmultiobjsetobj(env, lp, -1, 2, ind, val, 0, 1, 0, 0, 0, nullptr), 1200);
  EXPECT_EQ(VNTmultiobjsetobj(env, lp, 1, -1, ind, val, 0, 1, 0, 0, 0, nullptr), 1003);
  EXPECT_EQ(VNTmultiobjsetobj(env, lp, 1, 2, nullptr, val, 0, 1, 0, 0, 0, nullptr), 1004);
  EXPECT_EQ(VNTmultiobjsetobj(env, lp, 1, 2, ind, val, 0, 1, 0, -1, 0, nullptr), 1003);
  EXPECT_EQ(VNTmultiobjsetobj(env, lp, 1, 2, ind, val, 0, 1, 0, 0, 1.5, nullptr), 1003);
  EXPECT_EQ(VNTmultiobjsetobj(env, lp, 1, 2, ind, val, 0, kNaN, 0, 0, 0, nullptr), 1225);
  int badInd[] = {1, 4};
  errors.lines.clear();
  EXPECT_EQ(VNTmultiobjsetobj(env, lp, 1, 2, badInd, val, 0, 1, 0, 0, 0, nullptr), 1201);
  EXPECT_NE(errors.all().find("Column index 4 out of range"), std::string::npos);
  EXPECT_EQ(VNTmultiobjchgattribs(env, lp, 5, 0, 1, 0, 0, 0, nullptr), 1200);
  double c[4];
  errors.lines.clear();
  EXPECT_EQ(VNTmultiobjgetobj(env, lp, 1, c, 0, 4, nullptr, nullptr, nullptr, nullptr, nullptr), 1200);
  EXPECT_NE(errors.all().find("VNTmultiobjgetobj: 'end' value 4 is greater than 3"), std::string::npos);
  EXPECT_EQ(VNTmultiobjgetobj(env, lp, 1, nullptr, 0, 1, nullptr, nullptr, nullptr, nullptr, nullptr), 1004);
  EXPECT_TRUE(same(before, snap()));
  model::Problem* p = model::resolveHandle(lp);
  ASSERT_EQ(p->data->objectives.size(), 2u);
  EXPECT_TRUE(p->data->objectives[1].ind.empty());

  // Deleting columns renumbers the coefficients of every objective.
  ASSERT_EQ(VNTmultiobjsetobj(env, lp, 1, 2, ind, val, 0, 1, 0, 0, 0, "o2"), 0);
  ASSERT_EQ(VNTdelcols(env, lp, 0, 1), 0);
  ASSERT_EQ(VNTmultiobjgetobj(env, lp, 1, c, 0, 1, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(c[0], 0.0);
  EXPECT_EQ(c[1], 4.0);

  // Copying a new LP replaces the whole model, records included.
  double obj[] = {1};
  int mbeg[] = {0};
  int mcnt[] = {0};
  ASSERT_EQ(VNTcopylp(env, lp, 1, 0, 1, obj, nullptr, nullptr, mbeg, mcnt, nullptr, nullptr, nullptr, nullptr,
                      nullptr), 0);
  EXPECT_EQ(VNTEismultiobj(env, lp), 0);
  EXPECT_EQ(VNTgetnumobjs(env, lp), 1);
}

}  // namespace
}  // namespace vnt::test
