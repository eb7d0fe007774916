// Argument checks of the model operations through the public interface: the
// order of checks, the index-range and surplus conventions with their exact
// messages, the data checks, and that a failing call leaves the model as it
// was.
#include <cmath>
#include <cstring>
#include <limits>

#include "model_fixture.h"

namespace vnt::test {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

using Checks = ModelTest;

TEST_F(Checks, NewProblemIsEmpty) {
  EXPECT_EQ(VNTgetnumrows(env, lp), 0);
  EXPECT_EQ(VNTgetnumcols(env, lp), 0);
  EXPECT_EQ(VNTgetnumnz(env, lp), 0);
  EXPECT_EQ(VNTgetprobtype(env, lp), 0);
  EXPECT_EQ(VNTgetobjsen(env, lp), 1);
  char buf[16];
  int surplus = 0;
  EXPECT_EQ(VNTgetprobname(env, lp, buf, sizeof buf, &surplus), 0);
  EXPECT_STREQ(buf, "test");
  EXPECT_EQ(surplus, 16 - 5);
}

TEST_F(Checks, CreateProbNameChecks) {
  int st = 0;
  EXPECT_EQ(VNTcreateprob(env, &st, nullptr), nullptr);
  EXPECT_EQ(st, 1004);
  EXPECT_EQ(VNTcreateprob(env, &st, "bad\tname"), nullptr);
  EXPECT_EQ(st, 1236);
  EXPECT_EQ(VNTcreateprob(env, &st, "bad\x7fname"), nullptr);
  EXPECT_EQ(st, 1236);
}

TEST_F(Checks, FailingOperationsLeaveModelUnchanged) {
  buildSmall();
  dataCheck(1);
  const Snapshot before = snap();
  int beg[] = {0, 1};
  int ind[] = {0, 1};
  double val[] = {1, 1};
  double rhs[] = {1, 1};
  char goodSense[] = {'L', 'L'};
  char badSense[] = {'L', 'X'};
  char* badNames[] = {(char*)"ok", (char*)"b\nad"};
  int idx[] = {0, 7};
  int idx2[] = {0, 1};
  char lu[] = {'L', 'Q'};
  double bd[] = {1, 2};
  double nanv[] = {1, kNaN};
  double infv[] = {1, -kInf};
  int decBeg[] = {1, 0};
  char badType[] = {'C', 'Z'};

  struct Case {
    const char* what;
    int expect;
    int got;
  } cases[] = {
      {"negative rcnt", 1003, VNTaddrows(env, lp, 0, -1, 0, rhs, goodSense, beg, ind, val, nullptr, nullptr)},
      {"negative nzcnt", 1003, VNTaddrows(env, lp, 0, 2, -2, rhs, goodSense, beg, ind, val, nullptr, nullptr)},
      {"null rmatind", 1004, VNTaddrows(env, lp, 0, 2, 2, rhs, goodSense, beg, nullptr, val, nullptr, nullptr)},
      {"name with control char", 1236, VNTaddrows(env, lp, 0, 2, 2, rhs, goodSense, beg, ind, val, nullptr, badNames)},
      {"bad sense", 1215, VNTaddrows(env, lp, 0, 2, 2, rhs, badSense, beg, ind, val, nullptr, nullptr)},
      {"nan rhs", 1225, VNTaddrows(env, lp, 0, 2, 2, nanv, goodSense, beg, ind, val, nullptr, nullptr)},
      {"inf coefficient", 1233, VNTaddrows(env, lp, 0, 2, 2, rhs, goodSense, beg, ind, infv, nullptr, nullptr)},
      {"decreasing begin", 1226, VNTaddrows(env, lp, 0, 2, 2, rhs, goodSense, decBeg, ind, val, nullptr, nullptr)},
      {"column index", 1201, VNTaddrows(env, lp, 0, 2, 2, rhs, goodSense, beg, idx, val, nullptr, nullptr)},
      {"row index in addcols", 1203, VNTaddcols(env, lp, 2, 2, nullptr, beg, idx, val, nullptr, nullptr, nullptr)},
      {"nan objective", 1225, VNTnewcols(env, lp, 2, nanv, nullptr, nullptr, nullptr, nullptr)},
      {"bad ctype", 3021, VNTnewcols(env, lp, 2, nullptr, nullptr, nullptr, badType, nullptr)},
      {"negative chgbds", 1003, VNTchgbds(env, lp, -1, idx2, lu, bd)},
      {"null lu", 1004, VNTchgbds(env, lp, 2, idx2, nullptr, bd)},
      {"bad bound type", 1229, VNTchgbds(env, lp, 2, idx2, lu, bd)},
      {"bound index", 1201, VNTchgbds(env, lp, 2, idx, goodSense, bd)},
      {"nan bound", 1225, VNTchgbds(env, lp, 2, idx2, goodSense, nanv)},
      {"rhs index", 1203, VNTchgrhs(env, lp, 2, idx, rhs)},
      {"inf rhs", 1233, VNTchgrhs(env, lp, 2, idx2, infv)},
      {"bad chgsense", 1215, VNTchgsense(env, lp, 2, idx2, badSense)},
      {"objsen 2", 1003, VNTchgobjsen(env, lp, 2)},
      {"chgcoef range", 1200, VNTchgcoef(env, lp, 3, 0, 1.0)},
      {"chgcoef obj/range", 1211, VNTchgcoef(env, lp, -1, -2, 1.0)},
      {"chgcoef nan", 1225, VNTchgcoef(env, lp, 0, 0, kNaN)},
      {"coeflist col", 1201, VNTchgcoeflist(env, lp, 2, idx2, idx, val)},
      {"colname control", 1236, VNTchgcolname(env, lp, 2, idx2, badNames)},
      {"delrows begin", 1200, VNTdelrows(env, lp, -1, 1)},
      {"delcols end", 1200, VNTdelcols(env, lp, 0, 4)},
      {"delsetrows null", 1004, VNTdelsetrows(env, lp, nullptr)},
      {"probtype", 1022, VNTchgprobtype(env, lp, 2)},
      {"fixed milp of lp", 1024, VNTchgprobtype(env, lp, 3)},
      {"ctype index", 1201, VNTchgctype(env, lp, 2, idx, badType)},
      {"chgname key", 1003, VNTchgname(env, lp, 'z', 0, "n")},
      {"chgname index", 1203, VNTchgname(env, lp, 'r', 3, "n")},
      {"cache nz index", 1201, VNTEcacheNewNZsByNZ(env, lp, 2, idx2, idx, val)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.got, c.expect) << c.what;
  }
  EXPECT_TRUE(same(before, snap()));

  // Messages with the offending entry or value.
  const std::string all = errors.all();
  EXPECT_NE(all.find("VANTO Error  1215: Illegal sense entry 1.\n"), std::string::npos);
  EXPECT_NE(all.find("VANTO Error  1233: Numeric entry is \"-inf\".\n"), std::string::npos);
  EXPECT_NE(all.find("VANTO Error  1226: Array entry 1 not ascending.\n"), std::string::npos);
  EXPECT_NE(all.find("VANTO Error  1201: Column index 7 out of range.\n"), std::string::npos);
  EXPECT_NE(all.find("VANTO Error  1203: Row index 7 out of range.\n"), std::string::npos);
  EXPECT_NE(all.find("VANTO Error  1229: Illegal bound change specified by entry 1.\n"),
            std::string::npos);
  EXPECT_NE(all.find("VANTO Error  3021: Illegal ctype entry 1.\n"), std::string::npos);
  EXPECT_NE(all.find("VANTO Error  1236: Control character in string.\n"), std::string::npos);
  // A code printed by the worker is not printed again by the reporter.
  size_t n1215 = 0;
  for (auto& l : errors.lines) n1215 += l.find("1215") != std::string::npos;
  EXPECT_EQ(n1215, 2u);  // addrows and chgsense
}

TEST_F(Checks, DataChecksOffSkipsValueChecks) {
  buildSmall();
  dataCheck(0);
  double rhs[] = {1};
  char sense[] = {'X'};
  EXPECT_EQ(VNTnewrows(env, lp, 1, rhs, sense, nullptr, nullptr), 0);
  EXPECT_TRUE(errors.lines.empty());
  // Infinite and huge values are the caller's business here (the optimizers
  // check them at their start).
  double infv[] = {kInf};
  int j[] = {0};
  EXPECT_EQ(VNTchgobj(env, lp, 1, j, infv), 0);
  EXPECT_EQ(VNTchgcoef(env, lp, 0, 0, 1e30), 0);
  EXPECT_EQ(VNTchgrhs(env, lp, 1, j, infv), 0);
  EXPECT_TRUE(errors.lines.empty());
  // Index ranges are still guarded.
  int bad[] = {9};
  EXPECT_EQ(VNTchgobj(env, lp, 1, bad, rhs), 1201);
}

// A NaN is refused wherever it enters, whatever the data-check setting.
TEST_F(Checks, NaNRefusedEverywhere) {
  buildSmall();
  int beg[] = {0, 1};
  int ind[] = {0, 1};
  double one[] = {1, 1};
  double nan2[] = {1, kNaN};
  char ll[] = {'L', 'L'};
  char rr[] = {'R', 'R'};
  char bb[] = {'B', 'B'};
  int idx2[] = {0, 1};
  int cbeg[] = {0, 1};
  int ccnt[] = {1, 1};
  int ceq[] = {0, 1};
  double px[] = {0, 1}, py[] = {0, 1};
  for (int dc : {0, 1}) {
    dataCheck(dc);
    ASSERT_EQ(VNTsetnumobjs(env, lp, 2), 0);
    const Snapshot before = snap();
    struct Case {
      const char* what;
      int got;
    } cases[] = {
        {"copylp obj", VNTcopylp(env, lp, 2, 2, 1, nan2, one, ll, cbeg, ccnt, ceq, one, one, one, nullptr)},
        {"copylp rhs", VNTcopylp(env, lp, 2, 2, 1, one, nan2, ll, cbeg, ccnt, ceq, one, one, one, nullptr)},
        {"copylp matval", VNTcopylp(env, lp, 2, 2, 1, one, one, ll, cbeg, ccnt, ceq, nan2, one, one, nullptr)},
        {"copylp lb", VNTcopylp(env, lp, 2, 2, 1, one, one, ll, cbeg, ccnt, ceq, one, nan2, one, nullptr)},
        {"copylp ub", VNTcopylp(env, lp, 2, 2, 1, one, one, ll, cbeg, ccnt, ceq, one, one, nan2, nullptr)},
        {"copylp rngval", VNTcopylp(env, lp, 2, 2, 1, one, one, rr, cbeg, ccnt, ceq, one, one, one, nan2)},
        {"addrows rhs", VNTaddrows(env, lp, 0, 2, 2, nan2, ll, beg, ind, one, nullptr, nullptr)},
        {"addrows value", VNTaddrows(env, lp, 0, 2, 2, one, ll, beg, ind, nan2, nullptr, nullptr)},
        {"addcols obj", VNTaddcols(env, lp, 2, 2, nan2, beg, ind, one, nullptr, nullptr, nullptr)},
        {"addcols value", VNTaddcols(env, lp, 2, 2, one, beg, ind, nan2, nullptr, nullptr, nullptr)},
        {"addcols lb", VNTaddcols(env, lp, 2, 2, one, beg, ind, one, nan2, nullptr, nullptr)},
        {"addcols ub", VNTaddcols(env, lp, 2, 2, one, beg, ind, one, nullptr, nan2, nullptr)},
        {"newrows rhs", VNTnewrows(env, lp, 2, nan2, ll, nullptr, nullptr)},
        {"newrows rngval", VNTnewrows(env, lp, 2, one, rr, nan2, nullptr)},
        {"newcols obj", VNTnewcols(env, lp, 2, nan2, nullptr, nullptr, nullptr, nullptr)},
        {"newcols lb", VNTnewcols(env, lp, 2, nullptr, nan2, nullptr, nullptr, nullptr)},
        {"newcols ub", VNTnewcols(env, lp, 2, nullptr, nullptr, nan2, nullptr, nullptr)},
        {"chgbds", VNTchgbds(env, lp, 2, idx2, bb, nan2)},
        {"chgobj", VNTchgobj(env, lp, 2, idx2, nan2)},
        {"chgrhs", VNTchgrhs(env, lp, 2, idx2, nan2)},
        {"chgrngval", VNTchgrngval(env, lp, 2, idx2, nan2)},
        {"chgcoef matrix", VNTchgcoef(env, lp, 0, 0, kNaN)},
        {"chgcoef objective", VNTchgcoef(env, lp, -1, 0, kNaN)},
        {"chgcoef rhs", VNTchgcoef(env, lp, 0, -1, kNaN)},
        {"chgcoef range", VNTchgcoef(env, lp, 0, -2, kNaN)},
        {"chgcoef offset", VNTchgcoef(env, lp, -1, -1, kNaN)},
        {"chgcoeflist", VNTchgcoeflist(env, lp, 2, idx2, idx2, nan2)},
        {"chgobjoffset", VNTchgobjoffset(env, lp, kNaN)},
        {"cache rows rhs", VNTEcacheNewRows(env, lp, 2, nan2, ll, nullptr, nullptr)},
        {"cache rows rngval", VNTEcacheNewRows(env, lp, 2, one, rr, nan2, nullptr)},
        {"cache cols obj", VNTEcacheNewCols(env, lp, 2, nan2, nullptr, nullptr, nullptr, nullptr)},
        {"cache cols ub", VNTEcacheNewCols(env, lp, 2, nullptr, nullptr, nan2, nullptr, nullptr)},
        {"cache nz", VNTEcacheNewNZsByNZ(env, lp, 2, idx2, idx2, nan2)},
        {"pwl x", VNTaddpwl(env, lp, 0, 1, 0, 0, 2, nan2, py, nullptr)},
        {"pwl y", VNTaddpwl(env, lp, 0, 1, 0, 0, 2, px, nan2, nullptr)},
        {"pwl slope", VNTaddpwl(env, lp, 0, 1, kNaN, 0, 2, px, py, nullptr)},
        {"multiobj values", VNTmultiobjsetobj(env, lp, 1, 2, idx2, nan2, 0, 1, 0, 0, 0, nullptr)},
        {"multiobj offset", VNTmultiobjsetobj(env, lp, 1, 2, idx2, one, kNaN, 1, 0, 0, 0, nullptr)},
        {"multiobj weight", VNTmultiobjchgattribs(env, lp, 1, 0, kNaN, 0, 0, 0, nullptr)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, 1225) << c.what << " (data check " << dc << ")";
    EXPECT_TRUE(same(before, snap())) << "data check " << dc;
  }
}

// With data checking on, infinite values and coefficients at or beyond the
// infinity bound are refused with 1233, which names the sign.
TEST_F(Checks, InfiniteDataRefusedWithDataChecks) {
  buildSmall();
  dataCheck(1);
  const Snapshot before = snap();
  int j[] = {1};
  double pinf[] = {kInf}, big[] = {1e20}, mbig[] = {-3e25};
  int beg[] = {0};
  double one[] = {1};
  struct Case {
    const char* what;
    int got;
  } cases[] = {
      {"chgobj +inf", VNTchgobj(env, lp, 1, j, pinf)},
      {"chgobj 1e20", VNTchgobj(env, lp, 1, j, big)},
      {"newcols objective +inf", VNTnewcols(env, lp, 1, pinf, nullptr, nullptr, nullptr, nullptr)},
      {"addcols objective -3e25", VNTaddcols(env, lp, 1, 1, mbig, beg, beg, one, nullptr, nullptr, nullptr)},
      {"addcols coefficient 1e20", VNTaddcols(env, lp, 1, 1, one, beg, beg, big, nullptr, nullptr, nullptr)},
      {"chgcoef matrix +inf", VNTchgcoef(env, lp, 0, 0, kInf)},
      {"chgcoef matrix 1e20", VNTchgcoef(env, lp, 0, 0, 1e20)},
      {"chgcoef objective +inf", VNTchgcoef(env, lp, -1, 1, kInf)},
      {"chgcoef rhs -inf", VNTchgcoef(env, lp, 0, -1, -kInf)},
      {"chgcoef offset +inf", VNTchgcoef(env, lp, -1, -1, kInf)},
      {"chgcoeflist -3e25", VNTchgcoeflist(env, lp, 1, beg, beg, mbig)},
      {"chgobjoffset -inf", VNTchgobjoffset(env, lp, -kInf)},
      {"cache nz 1e20", VNTEcacheNewNZsByNZ(env, lp, 1, beg, beg, big)},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, 1233) << c.what;
  EXPECT_TRUE(same(before, snap()));
  EXPECT_NE(errors.all().find("VANTO Error  1233: Numeric entry is \"inf\".\n"), std::string::npos);
  EXPECT_NE(errors.all().find("VANTO Error  1233: Numeric entry is \"-inf\".\n"), std::string::npos);
  // Just below the infinity bound is a number like any other; bounds may
  // be infinite.
  double nearInf[] = {9.9e19};
  EXPECT_EQ(VNTchgobj(env, lp, 1, j, nearInf), 0);
  EXPECT_EQ(VNTchgcoef(env, lp, 0, 0, -9.9e19), 0);
  char u[] = {'U'};
  EXPECT_EQ(VNTchgbds(env, lp, 1, j, u, pinf), 0);
}

TEST_F(Checks, ZeroCountsChangeNothing) {
  buildSmall();
  const Snapshot before = snap();
  EXPECT_EQ(VNTaddrows(env, lp, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(VNTaddcols(env, lp, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(VNTchgbds(env, lp, 0, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(VNTchgobj(env, lp, 0, nullptr, nullptr), 0);
  EXPECT_EQ(VNTdelrows(env, lp, 2, 1), 0);
  EXPECT_TRUE(same(before, snap()));
  EXPECT_TRUE(errors.lines.empty());
}

TEST_F(Checks, IndexRangeMessagesUseVntName) {
  buildSmall();
  double obj[8];
  EXPECT_EQ(VNTgetobj(env, lp, obj, 5, 4), 0);
  EXPECT_TRUE(errors.lines.empty());
  EXPECT_EQ(VNTgetobj(env, lp, nullptr, 3, 2), 0);
  EXPECT_EQ(VNTgetobj(env, lp, obj, -1, 2), 1200);
  ASSERT_EQ(errors.lines.size(), 2u);
  EXPECT_EQ(errors.lines[0], "VANTO Error  1205: VNTgetobj: 'begin' value -1 is less than 0.\n");
  EXPECT_EQ(errors.lines[1], "VANTO Error  1200: Index is outside range of valid values.\n");
  errors.lines.clear();
  EXPECT_EQ(VNTLgetlb(env, lp, obj, 0, 4), 1200);
  ASSERT_EQ(errors.lines.size(), 2u);
  EXPECT_EQ(errors.lines[0], "VANTO Error  1206: VNTgetlb: 'end' value 4 is greater than 3.\n");
  errors.lines.clear();
  EXPECT_EQ(VNTSdelrows(env, lp, 0, 3), 1200);
  ASSERT_FALSE(errors.lines.empty());
  EXPECT_EQ(errors.lines[0], "VANTO Error  1206: VNTdelrows: 'end' value 3 is greater than 2.\n");
  errors.lines.clear();
  int nz = 0, surplus = 0;
  int beg[4], ind[8];
  double val[8];
  EXPECT_EQ(VNTgetcols(env, lp, &nz, beg, ind, val, 8, &surplus, -2, 0), 1200);
  EXPECT_EQ(errors.lines[0], "VANTO Error  1205: VNTgetcols: 'begin' value -2 is less than 0.\n");
  // Null output for a non-empty range.
  EXPECT_EQ(VNTgetrhs(env, lp, nullptr, 0, 1), 1004);
}

TEST_F(Checks, SurplusConvention) {
  buildSmall();
  int surplus = 1;
  // Names x1..x4: 4 * 3 bytes.
  EXPECT_EQ(VNTgetcolname(env, lp, nullptr, nullptr, 0, &surplus, 0, 3), 1207);
  EXPECT_EQ(surplus, -12);
  EXPECT_TRUE(errors.lines.empty());  // size query: silent
  EXPECT_EQ(VNTgetcolname(env, lp, nullptr, nullptr, 0, &surplus, 3, 2), 0);
  EXPECT_EQ(surplus, 0);
  char* name[4];
  char store[12];
  EXPECT_EQ(VNTgetcolname(env, lp, name, store, 11, &surplus, 0, 3), 1207);
  EXPECT_EQ(surplus, -1);
  EXPECT_EQ(errors.lines.size(), 1u);
  EXPECT_EQ(VNTgetcolname(env, lp, name, store, 12, &surplus, 1, 3), 0);
  EXPECT_EQ(surplus, 3);
  EXPECT_STREQ(name[0], "x2");
  EXPECT_STREQ(name[2], "x4");
  EXPECT_EQ(VNTgetcolname(env, lp, nullptr, store, 12, &surplus, 0, 3), 1004);

  // Matrix: 6 nonzeros, ask with too little room.
  int nz = -1, beg[3], ind[6];
  double val[6];
  errors.lines.clear();
  EXPECT_EQ(VNTgetrows(env, lp, &nz, beg, nullptr, nullptr, 0, &surplus, 0, 2), 1207);
  EXPECT_EQ(surplus, -6);
  EXPECT_TRUE(errors.lines.empty());
  EXPECT_EQ(VNTgetrows(env, lp, &nz, beg, ind, val, 5, &surplus, 0, 2), 1207);
  EXPECT_EQ(surplus, -1);
  EXPECT_EQ(VNTgetrows(env, lp, &nz, beg, ind, val, 6, &surplus, 0, 2), 0);
  EXPECT_EQ(nz, 6);
  EXPECT_EQ(surplus, 0);
  int ebeg[] = {0, 2, 4};
  int eind[] = {0, 1, 1, 2, 0, 3};
  double evals[] = {1, 2, 3, 4, 5, 6};
  for (int k = 0; k < 3; ++k) EXPECT_EQ(beg[k], ebeg[k]);
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(ind[k], eind[k]);
    EXPECT_EQ(val[k], evals[k]);
  }
  // Long flavour: 64-bit begin and surplus.
  long long lnz = 0, lbeg[2], lsur = 0;
  EXPECT_EQ(VNTLgetcols(env, lp, &lnz, lbeg, ind, val, 6, &lsur, 1, 2), 0);
  EXPECT_EQ(lnz, 3);
  EXPECT_EQ(lbeg[1], 2);
  EXPECT_EQ(lsur, 3);
}

TEST_F(Checks, NamesRequiredAndLookup) {
  double obj[] = {1, 2};
  ASSERT_EQ(VNTnewcols(env, lp, 2, obj, nullptr, nullptr, nullptr, nullptr), 0);
  int surplus = 0, idx = -1;
  EXPECT_EQ(VNTgetcolname(env, lp, nullptr, nullptr, 0, &surplus, 0, 1), 1219);
  EXPECT_EQ(VNTgetcolindex(env, lp, "x1", &idx), 1210);
  int j[] = {1};
  char* nm[] = {(char*)"second"};
  ASSERT_EQ(VNTchgcolname(env, lp, 1, j, nm), 0);
  EXPECT_EQ(VNTgetcolindex(env, lp, "second", &idx), 0);
  EXPECT_EQ(idx, 1);
  EXPECT_EQ(VNTgetcolindex(env, lp, "x1", &idx), 0);  // default name of column 0
  EXPECT_EQ(idx, 0);
  EXPECT_EQ(VNTgetcolindex(env, lp, "nothere", &idx), 1210);
  ASSERT_EQ(VNTchgname(env, lp, 'c', 1, "renamed"), 0);
  EXPECT_EQ(VNTgetcolindex(env, lp, "second", &idx), 1210);
  EXPECT_EQ(VNTgetcolindex(env, lp, "renamed", &idx), 0);
  EXPECT_EQ(idx, 1);
  ASSERT_EQ(VNTdelcols(env, lp, 0, 0), 0);
  EXPECT_EQ(VNTgetcolindex(env, lp, "renamed", &idx), 0);
  EXPECT_EQ(idx, 0);
  ASSERT_EQ(VNTdelnames(env, lp), 0);
  EXPECT_EQ(VNTgetcolindex(env, lp, "renamed", &idx), 1210);
  // Duplicate names: the lookup finds the first holder.
  char* dn[] = {(char*)"dup", (char*)"dup", (char*)"z"};
  ASSERT_EQ(VNTnewcols(env, lp, 3, nullptr, nullptr, nullptr, nullptr, dn), 0);
  EXPECT_EQ(VNTgetcolindex(env, lp, "dup", &idx), 0);
  EXPECT_EQ(idx, 1);
  ASSERT_EQ(VNTchgname(env, lp, 'c', 1, "other"), 0);
  EXPECT_EQ(VNTgetcolindex(env, lp, "dup", &idx), 0);
  EXPECT_EQ(idx, 2);
  ASSERT_EQ(VNTchgname(env, lp, 'c', 3, "dup"), 0);
  EXPECT_EQ(VNTgetcolindex(env, lp, "dup", &idx), 0);
  EXPECT_EQ(idx, 2);
  ASSERT_EQ(VNTchgname(env, lp, 'c', 0, "dup"), 0);
  EXPECT_EQ(VNTgetcolindex(env, lp, "dup", &idx), 0);
  EXPECT_EQ(idx, 0);
}

// Change events reach the solver-state slots and discard what they make
// stale.
struct CountingState : model::SolverState {
  std::vector<model::ChangeKind>* seen;
  bool keep;
  CountingState(std::vector<model::ChangeKind>* s, bool k) : seen(s), keep(k) {}
  bool onChange(model::Problem&, const model::ChangeEvent& ev) override {
    seen->push_back(ev.kind);
    return keep || !model::changesSolution(ev.kind);
  }
};

// The problem name, the objective name and row names: set, read back,
// refused without change, and never discarding a solution.
TEST_F(Checks, ProblemObjectiveAndRowNames) {
  buildSmall();
  model::Problem* p = model::resolveHandle(lp);
  std::vector<model::ChangeKind> seen;
  p->state[model::kSlotAux] = std::make_unique<CountingState>(&seen, false);
  char buf[32];
  int surplus = 0;

  ASSERT_EQ(VNTchgprobname(env, lp, "renamed problem"), 0);
  ASSERT_EQ(VNTgetprobname(env, lp, buf, sizeof buf, &surplus), 0);
  EXPECT_STREQ(buf, "renamed problem");
  EXPECT_EQ(VNTchgprobname(env, lp, nullptr), 1004);
  EXPECT_EQ(VNTchgprobname(env, lp, "bad\nname"), 1236);
  ASSERT_EQ(VNTgetprobname(env, lp, buf, sizeof buf, &surplus), 0);
  EXPECT_STREQ(buf, "renamed problem");

  ASSERT_EQ(VNTcopyobjname(env, lp, "cost"), 0);
  ASSERT_EQ(VNTgetobjname(env, lp, buf, sizeof buf, &surplus), 0);
  EXPECT_STREQ(buf, "cost");
  EXPECT_EQ(surplus, static_cast<int>(sizeof buf) - 5);
  EXPECT_EQ(VNTcopyobjname(env, lp, nullptr), 1004);
  EXPECT_EQ(VNTcopyobjname(env, lp, "co\x01st"), 1236);
  ASSERT_EQ(VNTgetobjname(env, lp, buf, sizeof buf, &surplus), 0);
  EXPECT_STREQ(buf, "cost");

  int rows[] = {2, 0};
  char* newnames[] = {(char*)"third", (char*)"first"};
  ASSERT_EQ(VNTchgrowname(env, lp, 2, rows, newnames), 0);
  char* name[3] = {};
  char store[32];
  ASSERT_EQ(VNTgetrowname(env, lp, name, store, sizeof store, &surplus, 0, 2), 0);
  EXPECT_STREQ(name[0], "first");
  EXPECT_STREQ(name[1], "r2");
  EXPECT_STREQ(name[2], "third");
  EXPECT_EQ(surplus, static_cast<int>(sizeof store) - 6 - 3 - 6);
  EXPECT_EQ(name[1], store + 6);
  int idx = -1;
  EXPECT_EQ(VNTgetrowindex(env, lp, "third", &idx), 0);
  EXPECT_EQ(idx, 2);
  // A failing rename changes nothing.
  int bad[] = {0, 3};
  EXPECT_EQ(VNTchgrowname(env, lp, 2, bad, newnames), 1203);
  char* ctl[] = {(char*)"ok", (char*)"x\ty"};
  EXPECT_EQ(VNTchgrowname(env, lp, 2, rows, ctl), 1236);
  EXPECT_EQ(VNTchgrowname(env, lp, 1, rows, nullptr), 1004);
  EXPECT_EQ(VNTchgrowname(env, lp, -1, rows, newnames), 1003);
  EXPECT_EQ(VNTchgrowname(env, lp, 0, nullptr, nullptr), 0);
  ASSERT_EQ(VNTgetrowname(env, lp, name, store, sizeof store, &surplus, 1, 2), 0);
  EXPECT_STREQ(name[0], "r2");
  EXPECT_STREQ(name[1], "third");
  // Sizing and range conventions of the query.
  EXPECT_EQ(VNTgetrowname(env, lp, nullptr, nullptr, 0, &surplus, 0, 2), 1207);
  EXPECT_EQ(surplus, -15);
  EXPECT_EQ(VNTgetrowname(env, lp, name, store, 10, &surplus, 0, 2), 1207);
  EXPECT_EQ(surplus, -5);
  errors.lines.clear();
  EXPECT_EQ(VNTgetrowname(env, lp, name, store, sizeof store, &surplus, 1, 3), 1200);
  EXPECT_NE(errors.all().find("VNTgetrowname: 'end' value 3 is greater than 2"), std::string::npos) << errors.all();

  // Names never discard the solver state.
  EXPECT_NE(p->state[model::kSlotAux], nullptr);
  for (model::ChangeKind k : seen) EXPECT_FALSE(model::changesSolution(k));
  EXPECT_FALSE(seen.empty());

  // Rows of a problem without row names get default names besides the new one.
  int st = -1;
  VNTLPptr q = VNTcreateprob(env, &st, "q");
  ASSERT_NE(q, nullptr);
  double rhs[] = {1, 2};
  ASSERT_EQ(VNTnewrows(env, q, 2, rhs, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(VNTgetrowname(env, q, name, store, sizeof store, &surplus, 0, 1), 1219);
  int second[] = {1};
  char* nn[] = {(char*)"named"};
  ASSERT_EQ(VNTchgrowname(env, q, 1, second, nn), 0);
  ASSERT_EQ(VNTgetrowname(env, q, name, store, sizeof store, &surplus, 0, 1), 0);
  EXPECT_STREQ(name[0], "c1");
  EXPECT_STREQ(name[1], "named");
  EXPECT_EQ(VNTfreeprob(env, &q), 0);
}

TEST_F(Checks, NamesConvertedFromApiEncoding) {
  // Default API encoding ISO-8859-1: byte 0xE9 is e-acute.
  ASSERT_EQ(VNTnewcols(env, lp, 1, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(VNTchgname(env, lp, 'c', 0, "caf\xe9"), 0);
  model::Problem* p = model::resolveHandle(lp);
  EXPECT_EQ(p->data->colnames[0], "caf\xc3\xa9");  // stored as UTF-8
  char* name[1];
  char store[8];
  int surplus = 0;
  ASSERT_EQ(VNTgetcolname(env, lp, name, store, 8, &surplus, 0, 0), 0);
  EXPECT_STREQ(name[0], "caf\xe9");
  EXPECT_EQ(surplus, 3);
  int idx = -1;
  EXPECT_EQ(VNTgetcolindex(env, lp, "caf\xe9", &idx), 0);
  EXPECT_EQ(idx, 0);
}

TEST_F(Checks, BoundChanges) {
  buildSmall();
  int j[] = {0, 1, 2};
  char lu[] = {'L', 'U', 'B'};
  double bd[] = {1e20, 5e-11, -3e25};
  ASSERT_EQ(VNTchgbds(env, lp, 3, j, lu, bd), 0);
  double lb[3], ub[3];
  ASSERT_EQ(VNTgetlb(env, lp, lb, 0, 2), 0);
  ASSERT_EQ(VNTgetub(env, lp, ub, 0, 2), 0);
  EXPECT_EQ(lb[0], 0.0);  // infinite lower bound ignored
  EXPECT_EQ(ub[1], 0.0);  // tiny value stored as 0
  EXPECT_EQ(lb[2], -1e20);
  EXPECT_EQ(ub[2], 1e20);  // -infinite upper bound ignored, old value kept
  ASSERT_EQ(warnings.lines.size(), 2u);
  EXPECT_EQ(warnings.lines[0], "Warning:  Infinity lower bound ignored.\n");
  EXPECT_EQ(warnings.lines[1], "Warning:  -Infinity upper bound ignored.\n");
  // Entries in the order given.
  int jj[] = {3, 3};
  char lu2[] = {'U', 'U'};
  double bd2[] = {7, 8};
  ASSERT_EQ(VNTchgbds(env, lp, 2, jj, lu2, bd2), 0);
  ASSERT_EQ(VNTgetub(env, lp, ub, 3, 3), 0);
  EXPECT_EQ(ub[0], 8);
  // 1e20 is infinite, 9.9e19 is not.
  double big[] = {9.9e19};
  ASSERT_EQ(VNTchgbds(env, lp, 1, jj, lu2, big), 0);
  ASSERT_EQ(VNTgetub(env, lp, ub, 3, 3), 0);
  EXPECT_EQ(ub[0], 9.9e19);
  EXPECT_FALSE(model::isInfinite(ub[0]));
  EXPECT_TRUE(model::isInfinite(1e20));
}

TEST_F(Checks, DelSetRowsRewritesFlags) {
  buildSmall();
  double rhs[] = {9};
  ASSERT_EQ(VNTnewrows(env, lp, 1, rhs, nullptr, nullptr, nullptr), 0);
  int del[] = {0, 1, 2, 1};
  ASSERT_EQ(VNTdelsetrows(env, lp, del), 0);
  EXPECT_EQ(del[0], 0);
  EXPECT_EQ(del[1], -1);
  EXPECT_EQ(del[2], 1);
  EXPECT_EQ(del[3], -1);
  EXPECT_EQ(VNTgetnumrows(env, lp), 2);
  int idx = -1;
  EXPECT_EQ(VNTgetrowindex(env, lp, "r3", &idx), 0);
  EXPECT_EQ(idx, 1);
  double v = 0;
  EXPECT_EQ(VNTgetcoef(env, lp, 1, 3, &v), 0);
  EXPECT_EQ(v, 6);
  EXPECT_EQ(VNTgetnumnz(env, lp), 4);
}

TEST_F(Checks, SingleCoefficientSpecialIndices) {
  buildSmall();
  ASSERT_EQ(VNTchgcoef(env, lp, -1, -1, 2.5), 0);
  ASSERT_EQ(VNTchgcoef(env, lp, -1, 2, 7), 0);
  ASSERT_EQ(VNTchgcoef(env, lp, 1, -1, 8), 0);
  ASSERT_EQ(VNTchgcoef(env, lp, 1, -2, 3), 0);
  ASSERT_EQ(VNTchgcoef(env, lp, 2, 2, 9), 0);
  ASSERT_EQ(VNTchgcoef(env, lp, 0, 0, 0), 0);  // removes the entry
  double off = 0, obj = 0, rhs = 0, rng = 0, a = 0;
  EXPECT_EQ(VNTgetobjoffset(env, lp, &off), 0);
  EXPECT_EQ(off, 2.5);
  EXPECT_EQ(VNTgetobj(env, lp, &obj, 2, 2), 0);
  EXPECT_EQ(obj, 7);
  EXPECT_EQ(VNTgetrhs(env, lp, &rhs, 1, 1), 0);
  EXPECT_EQ(rhs, 8);
  EXPECT_EQ(VNTgetrngval(env, lp, &rng, 1, 1), 0);
  EXPECT_EQ(rng, 3);
  EXPECT_EQ(VNTgetcoef(env, lp, 2, 2, &a), 0);
  EXPECT_EQ(a, 9);
  EXPECT_EQ(VNTgetnumnz(env, lp), 6);
}

TEST_F(Checks, ObjectiveSense) {
  EXPECT_EQ(VNTchgobjsen(env, lp, -5), 0);
  EXPECT_EQ(VNTgetobjsen(env, lp), -1);
  EXPECT_EQ(VNTchgobjsen(env, lp, 3), 0);
  EXPECT_EQ(VNTgetobjsen(env, lp), 1);
  dataCheck(1);
  EXPECT_EQ(VNTchgobjsen(env, lp, -5), 1003);
  EXPECT_EQ(VNTgetobjsen(env, lp), 1);
}

TEST_F(Checks, ProblemTypes) {
  buildSmall();
  EXPECT_EQ(VNTchgprobtype(env, lp, 0), 0);  // already LP
  char t[] = {'B'};
  int j[] = {3};
  ASSERT_EQ(VNTchgctype(env, lp, 1, j, t), 0);
  EXPECT_EQ(VNTgetprobtype(env, lp), 1);
  EXPECT_EQ(VNTgetnumbin(env, lp), 1);
  char ct[4];
  ASSERT_EQ(VNTgetctype(env, lp, ct, 0, 3), 0);
  EXPECT_EQ(std::string(ct, 4), "CCCB");
  EXPECT_EQ(VNTchgprobtype(env, lp, 1), 0);
  EXPECT_EQ(VNTchgprobtype(env, lp, 0), 0);
  EXPECT_EQ(VNTgetprobtype(env, lp), 0);
  EXPECT_EQ(VNTgetctype(env, lp, ct, 0, 3), 3003);
  EXPECT_EQ(VNTchgprobtype(env, lp, 14), 1022);
  EXPECT_EQ(VNTchgprobtype(env, lp, 8), 1029);
  // New columns with types make a MILP; a binary gets upper bound 1.
  char bt[] = {'B', 'I'};
  ASSERT_EQ(VNTnewcols(env, lp, 2, nullptr, nullptr, nullptr, bt, nullptr), 0);
  EXPECT_EQ(VNTgetprobtype(env, lp), 1);
  double ub[2];
  ASSERT_EQ(VNTgetub(env, lp, ub, 4, 5), 0);
  EXPECT_EQ(ub[0], 1.0);
  EXPECT_EQ(ub[1], 1e20);
}

TEST_F(Checks, FixedProblemRedirects) {
  buildSmall();
  char t[] = {'I'};
  int j[] = {0};
  ASSERT_EQ(VNTchgctype(env, lp, 1, j, t), 0);
  EXPECT_EQ(VNTchgprobtype(env, lp, 3), 1217);  // no MIP driver to fix it
  // A stand-in for the MIP driver: the fixed problem is the continuous copy
  // with column 0 fixed at 2.
  model::setFixedBuilder([](Env&, model::Problem& p, int, model::Problem& fixed) {
    *fixed.data = *p.data;
    fixed.data->ctype.clear();
    fixed.data->lb[0] = fixed.data->ub[0] = 2;
    return 0;
  });
  ASSERT_EQ(VNTchgprobtype(env, lp, 3), 0);
  model::setFixedBuilder(nullptr);
  EXPECT_EQ(VNTgetprobtype(env, lp), 3);
  double lb = 0;
  ASSERT_EQ(VNTgetlb(env, lp, &lb, 0, 0), 0);  // queries see the fixed problem
  EXPECT_EQ(lb, 2);
  double v = 5;
  EXPECT_EQ(VNTchgobj(env, lp, 1, j, &v), 1023);
  EXPECT_EQ(VNTchgprobtype(env, lp, 8), 1029);
  EXPECT_EQ(VNTchgprobtype(env, lp, 3), 0);
  ASSERT_EQ(VNTchgprobtype(env, lp, 1), 0);  // back to the MILP
  EXPECT_EQ(VNTgetprobtype(env, lp), 1);
  ASSERT_EQ(VNTgetlb(env, lp, &lb, 0, 0), 0);
  EXPECT_EQ(lb, 0);
  EXPECT_EQ(VNTchgobj(env, lp, 1, j, &v), 0);
  // Freeing a redirected problem releases the fixed one too (sanitizers).
  model::setFixedBuilder([](Env&, model::Problem& p, int, model::Problem& fixed) {
    *fixed.data = *p.data;
    return 0;
  });
  ASSERT_EQ(VNTchgprobtype(env, lp, 3), 0);
  model::setFixedBuilder(nullptr);
}

TEST_F(Checks, PendingAdditions) {
  buildSmall();
  double rhs[] = {1, 2, 3};
  char sense[] = {'L', 'G', 'E'};
  ASSERT_EQ(VNTEcacheNewRows(env, lp, 3, rhs, sense, nullptr, nullptr), 0);
  ASSERT_EQ(VNTEcacheNewCols(env, lp, 1, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  int ri[] = {3, 5, 0};
  int ci[] = {4, 1, 0};
  double v[] = {7, 8, 9};
  ASSERT_EQ(VNTEcacheNewNZsByNZ(env, lp, 3, ri, ci, v), 0);
  EXPECT_EQ(VNTgetnumrows(env, lp), 6);
  EXPECT_EQ(VNTgetnumcols(env, lp), 5);
  EXPECT_EQ(VNTgetnumnz(env, lp), 9);
  model::Problem* p = model::resolveHandle(lp);
  EXPECT_EQ(p->data->rows(), 3);  // not merged yet
  int nz = 0, surplus = 0, beg[3], ind[4];
  double val[4];
  ASSERT_EQ(VNTgetrows(env, lp, &nz, beg, ind, val, 4, &surplus, 3, 5), 0);
  EXPECT_EQ(p->data->rows(), 6);
  EXPECT_EQ(nz, 2);
  EXPECT_EQ(ind[0], 4);
  EXPECT_EQ(val[0], 7);
  EXPECT_EQ(ind[1], 1);
  EXPECT_EQ(val[1], 8);
  double a = 0;
  ASSERT_EQ(VNTgetcoef(env, lp, 0, 0, &a), 0);
  EXPECT_EQ(a, 9);  // an existing entry is replaced
  EXPECT_EQ(VNTgetnumnz(env, lp), 8);
  char s[3];
  ASSERT_EQ(VNTgetsense(env, lp, s, 3, 5), 0);
  EXPECT_EQ(std::string(s, 3), "LGE");
}

TEST_F(Checks, CopyLpReplacesModel) {
  buildSmall();
  dataCheck(1);
  double obj[] = {1, 2};
  double rhs[] = {3};
  char sense[] = {'R'};
  int beg[] = {0, 1};
  int cnt[] = {1, 1};
  int ind[] = {0, 0};
  double val[] = {4, 5};
  double lb[] = {0, 0}, ub[] = {1, 2}, rng[] = {6};
  const Snapshot before = snap();
  int badCnt[] = {1, -1};
  EXPECT_EQ(VNTcopylp(env, lp, 2, 1, -1, obj, rhs, sense, beg, badCnt, ind, val, lb, ub, rng), 1227);
  int overlap[] = {2, 1};
  EXPECT_EQ(VNTcopylp(env, lp, 2, 1, -1, obj, rhs, sense, beg, overlap, ind, val, lb, ub, rng), 1228);
  EXPECT_TRUE(same(before, snap()));
  ASSERT_EQ(VNTcopylp(env, lp, 2, 1, -1, obj, rhs, sense, beg, cnt, ind, val, lb, ub, rng), 0);
  EXPECT_EQ(VNTgetnumrows(env, lp), 1);
  EXPECT_EQ(VNTgetnumcols(env, lp), 2);
  EXPECT_EQ(VNTgetobjsen(env, lp), -1);
  double r = 0;
  ASSERT_EQ(VNTgetrngval(env, lp, &r, 0, 0), 0);
  EXPECT_EQ(r, 6);
  int surplus = 0;
  EXPECT_EQ(VNTgetcolname(env, lp, nullptr, nullptr, 0, &surplus, 0, 1), 1219);
}

TEST_F(Checks, CloneIsIndependent) {
  buildSmall();
  int st = -1;
  VNTLPptr c = VNTcloneprob(env, lp, &st);
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(st, 0);
  EXPECT_TRUE(same(snap(), snap(c)));
  const Snapshot orig = snap();
  ASSERT_EQ(VNTchgcoef(env, c, 0, 0, 42), 0);
  ASSERT_EQ(VNTdelrows(env, c, 1, 1), 0);
  ASSERT_EQ(VNTchgname(env, c, 'c', 0, "other"), 0);
  EXPECT_TRUE(same(orig, snap()));
  int idx = -1;
  EXPECT_EQ(VNTgetcolindex(env, lp, "other", &idx), 1210);
  ASSERT_EQ(VNTchgobj(env, lp, 1, std::vector<int>{0}.data(), std::vector<double>{9}.data()), 0);
  double o = 0;
  ASSERT_EQ(VNTgetobj(env, c, &o, 0, 0), 0);
  EXPECT_EQ(o, 1);
  EXPECT_EQ(VNTfreeprob(env, &c), 0);
  EXPECT_EQ(c, nullptr);
  // The original has its own change and nothing of the clone's.
  Snapshot expect = orig;
  expect.m.obj[0] = 9;
  EXPECT_TRUE(same(expect, snap()));
}

TEST_F(Checks, EnvironmentCloseReleasesProblems) {
  buildSmall();
  int st = 0;
  for (int k = 0; k < 5; ++k) ASSERT_NE(VNTcloneprob(env, lp, &st), nullptr);
  lp = nullptr;  // left to the environment (checked under the sanitizers)
}

TEST_F(Checks, ChangeEventsDiscardState) {
  buildSmall();
  model::Problem* p = model::resolveHandle(lp);
  std::vector<model::ChangeKind> seen;
  p->state[model::kSlotAux] = std::make_unique<CountingState>(&seen, false);
  ASSERT_EQ(VNTchgname(env, lp, 'r', 0, "first"), 0);
  EXPECT_NE(p->state[model::kSlotAux], nullptr);  // names do not discard
  int j[] = {1};
  double v[] = {3};
  ASSERT_EQ(VNTchgobj(env, lp, 1, j, nullptr), 1004);  // failure: no event
  EXPECT_EQ(seen.size(), 1u);
  ASSERT_EQ(VNTchgobj(env, lp, 1, j, v), 0);
  EXPECT_EQ(p->state[model::kSlotAux], nullptr);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1], model::ChangeKind::Objective);
  // Setting the sense that is already there reports nothing.
  p->state[model::kSlotAux] = std::make_unique<CountingState>(&seen, false);
  ASSERT_EQ(VNTchgobjsen(env, lp, 1), 0);
  EXPECT_NE(p->state[model::kSlotAux], nullptr);
}

TEST_F(Checks, ExportReplaceRoundTrip) {
  buildSmall();
  char t[] = {'I'};
  int j[] = {2};
  ASSERT_EQ(VNTchgctype(env, lp, 1, j, t), 0);
  model::Problem* p = model::resolveHandle(lp);
  model::ModelData m;
  ASSERT_EQ(model::exportData(*p, m), 0);
  EXPECT_EQ(m.matbeg.size(), 5u);
  EXPECT_EQ(m.numNz(), 6);
  const Snapshot before = snap();
  model::ModelData bad = m;
  bad.matind[0] = 3;  // row out of range
  Env* e = p->env;
  EXPECT_EQ(model::replaceData(*e, *p, std::move(bad)), 1003);
  EXPECT_TRUE(same(before, snap()));
  int st = 0;
  VNTLPptr q = VNTcreateprob(env, &st, "other");
  model::Problem* pq = model::resolveHandle(q);
  ASSERT_EQ(model::replaceData(*e, *pq, model::ModelData(m)), 0);
  EXPECT_EQ(VNTgetprobtype(env, q), 1);
  EXPECT_TRUE(same(before, snap(q)));
  EXPECT_EQ(VNTfreeprob(env, &q), 0);
}

}  // namespace
}  // namespace vnt::test
