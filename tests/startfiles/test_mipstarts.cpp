// MIP starts through the C interface: the operations that store them, their
// processing at the start of a run (complete, partial and infeasible starts,
// repair, messages), and the MIP-start file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/env_fixture.h"
#include "common/models.h"
#include "vanto/vanto.h"

namespace {

using vnt::test::modelPath;

class MipStarts : public vnt::test::EnvTest<vnt::test::TextCapture> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(openEnv(kResults | kWarnings | kErrors));
    VNTsetdblparam(env, VNT_PARAM_TILIM, 60.0);
    VNTsetlongparam(env, VNT_PARAM_NODELIM, 20000);
  }
  void TearDown() override {
    for (VNTLPptr& p : probs) VNTfreeprob(env, &p);
    EnvTest::TearDown();
    for (const auto& f : files) std::remove(f.c_str());
  }
  VNTLPptr load(const std::string& name) {
    int st = 0;
    VNTLPptr p = VNTcreateprob(env, &st, name.c_str());
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(VNTreadcopyprob(env, p, modelPath("miplib3", name).c_str(), nullptr), 0) << name;
    probs.push_back(p);
    return p;
  }
  VNTLPptr fromLp(const std::string& text) {
    const std::string f = file("model.lp");
    std::ofstream(f) << text;
    int st = 0;
    VNTLPptr p = VNTcreateprob(env, &st, "lp");
    EXPECT_EQ(VNTreadcopyprob(env, p, f.c_str(), nullptr), 0);
    probs.push_back(p);
    return p;
  }
  std::string file(const std::string& base) {
    files.push_back(::testing::TempDir() + "vnt_mst_" + std::to_string(::getpid()) + "_" + base);
    return files.back();
  }
  // Solves a fresh copy of the model and returns its optimal values.
  std::vector<double> optimum(const std::string& name, double* obj) {
    VNTLPptr p = load(name);
    EXPECT_EQ(VNTmipopt(env, p), 0);
    const int stat = VNTgetstat(env, p);
    EXPECT_TRUE(stat == 101 || stat == 102) << stat;
    EXPECT_EQ(VNTgetobjval(env, p, obj), 0);
    std::vector<double> x(VNTgetnumcols(env, p));
    EXPECT_EQ(VNTgetx(env, p, x.data(), 0, static_cast<int>(x.size()) - 1), 0);
    results.text.clear();
    return x;
  }
  int addStart(VNTLPptr p, const std::vector<int>& ind, const std::vector<double>& val, int effort,
               const char* name = nullptr) {
    const int beg = 0;
    char* names[1] = {const_cast<char*>(name)};
    return VNTaddmipstarts(env, p, 1, static_cast<int>(ind.size()), &beg, ind.data(), val.data(), &effort,
                           name ? names : nullptr);
  }
  static std::vector<int> allColumns(size_t n) {
    std::vector<int> ind(n);
    for (size_t j = 0; j < n; ++j) ind[j] = static_cast<int>(j);
    return ind;
  }
  double objval(VNTLPptr p) {
    double v = NAN;
    EXPECT_EQ(VNTgetobjval(env, p, &v), 0);
    return v;
  }

  std::vector<VNTLPptr> probs;
  std::vector<std::string> files;
};

// ---------------------------------------------------------------------------
// Storing starts.

TEST_F(MipStarts, StoredStartsAreAddedChangedQueriedAndDeleted) {
  VNTLPptr p = load("p0033");
  int n = 0;
  EXPECT_EQ(VNTgetnummipstarts(env, p), 0);
  long long nz = 0;
  int surplus = 0, nzi = 0;
  EXPECT_EQ(VNTgetmipstarts(env, p, &nzi, nullptr, nullptr, nullptr, nullptr, 0, &surplus, 0, 0), 3020);
  // Two starts in one call, the second without a name given.
  int beg[2] = {0, 2};
  int ind[4] = {0, 5, 3, 0};
  double val[4] = {1, 0, 1, 1};
  int eff[2] = {1, 3};
  char* names[2] = {const_cast<char*>("first"), const_cast<char*>("")};
  ASSERT_EQ(VNTaddmipstarts(env, p, 2, 4, beg, ind, val, eff, names), 0);
  ASSERT_EQ(VNTgetnummipstarts(env, p), 2);
  char store[64];
  char* nm[2];
  ASSERT_EQ(VNTgetmipstartname(env, p, nm, store, sizeof store, &surplus, 0, 1), 0);
  EXPECT_STREQ(nm[0], "first");
  EXPECT_STREQ(nm[1], "m2");
  ASSERT_EQ(VNTgetmipstartindex(env, p, "m2", &n), 0);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(VNTgetmipstartindex(env, p, "nosuch", &n), 1210);
  int gbeg[2], gind[8], geff[2];
  double gval[8];
  ASSERT_EQ(VNTgetmipstarts(env, p, &nzi, gbeg, gind, gval, geff, 8, &surplus, 0, 1), 0);
  EXPECT_EQ(nzi, 4);
  EXPECT_EQ(gbeg[1], 2);
  EXPECT_EQ(geff[0], 1);
  EXPECT_EQ(geff[1], 3);
  EXPECT_EQ(gind[2], 3);
  EXPECT_EQ(gval[2], 1.0);
  // Too little room.
  EXPECT_EQ(VNTgetmipstarts(env, p, &nzi, gbeg, gind, gval, geff, 3, &surplus, 0, 1), 1207);
  EXPECT_EQ(surplus, -1);
  // A change replaces the value of a column already there and adds another.
  int cidx = 0, cbeg = 0, cind[2] = {5, 7}, ceff = 2;
  double cval[2] = {1, 1};
  ASSERT_EQ(VNTchgmipstarts(env, p, 1, &cidx, 2, &cbeg, cind, cval, &ceff), 0);
  ASSERT_EQ(VNTgetmipstarts(env, p, &nzi, gbeg, gind, gval, geff, 8, &surplus, 0, 0), 0);
  EXPECT_EQ(nzi, 3);
  EXPECT_EQ(geff[0], 2);
  EXPECT_EQ(gval[1], 1.0);
  // Bad input changes nothing.
  int badInd = 99999;
  EXPECT_NE(addStart(p, {badInd}, {1.0}, 0), 0);
  int badEff = 9;
  EXPECT_NE(addStart(p, {0}, {1.0}, badEff), 0);
  EXPECT_EQ(VNTgetnummipstarts(env, p), 2);
  // Deleting columns renumbers the starts' entries.
  ASSERT_EQ(VNTdelcols(env, p, 0, 0), 0);
  ASSERT_EQ(VNTgetmipstarts(env, p, &nzi, gbeg, gind, gval, geff, 8, &surplus, 0, 1), 0);
  EXPECT_EQ(nzi, 3);  // column 0 left both starts: {5, 7} -> {4, 6}, {3} -> {2}
  EXPECT_EQ(gind[0], 4);
  EXPECT_EQ(gind[2], 2);
  // Delete by set, then by range.
  int del[2] = {1, 0};
  ASSERT_EQ(VNTdelsetmipstarts(env, p, del), 0);
  EXPECT_EQ(del[0], -1);
  EXPECT_EQ(del[1], 0);
  ASSERT_EQ(VNTgetnummipstarts(env, p), 1);
  ASSERT_EQ(VNTdelmipstarts(env, p, 0, 0), 0);
  EXPECT_EQ(VNTgetnummipstarts(env, p), 0);
  (void)nz;
  // Starts belong to MIPs.
  int st = 0;
  VNTLPptr lp = VNTcreateprob(env, &st, "lp");
  probs.push_back(lp);
  EXPECT_EQ(addStart(lp, {}, {}, 0), 3003);
}

// ---------------------------------------------------------------------------
// Processing at the start of a run.

TEST_F(MipStarts, FeasibleCompleteStartBecomesTheFirstIncumbent) {
  double best = 0;
  const std::vector<double> xs = optimum("p0033", &best);
  VNTLPptr p = load("p0033");
  ASSERT_EQ(addStart(p, allColumns(xs.size()), xs, 1, "yesterday"), 0);
  ASSERT_EQ(VNTmipopt(env, p), 0);
  const std::string& out = results.text;
  EXPECT_NE(out.find("1 of 1 MIP starts provided solutions.\n"), std::string::npos) << out;
  const std::string line = "MIP start 'yesterday' defined initial solution with objective 3089.0000.\n";
  const size_t at = out.find(line);
  ASSERT_NE(at, std::string::npos) << out;
  // The node log that follows begins with that incumbent.
  const size_t star = out.find("\n*", at);
  ASSERT_NE(star, std::string::npos);
  EXPECT_NE(out.substr(star, out.find('\n', star + 1) - star).find("3089.0000"), std::string::npos) << out;
  EXPECT_LE(objval(p), best + 1e-6);
}

TEST_F(MipStarts, PartialStartIsCompletedOnTheFreeColumns) {
  double best = 0;
  const std::vector<double> xs = optimum("egout", &best);
  VNTLPptr p = load("egout");
  // The values of the integer columns only: the continuous part is solved
  // for (automatic effort), and a start with half the integer values is
  // completed by a sub-MIP.
  const int n = static_cast<int>(xs.size());
  std::vector<char> ctype(n);
  ASSERT_EQ(VNTgetctype(env, p, ctype.data(), 0, n - 1), 0);
  std::vector<int> ints, half;
  std::vector<double> intVals, halfVals;
  for (int j = 0; j < n; ++j)
    if (ctype[j] != 'C') {
      ints.push_back(j);
      intVals.push_back(xs[j]);
      if (ints.size() % 2 == 0) {
        half.push_back(j);
        halfVals.push_back(xs[j]);
      }
    }
  ASSERT_FALSE(ints.empty());
  ASSERT_LT(ints.size(), static_cast<size_t>(n));
  ASSERT_EQ(addStart(p, ints, intVals, 0, "integers"), 0);
  ASSERT_EQ(addStart(p, half, halfVals, 3, "half"), 0);
  VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 3);
  ASSERT_EQ(VNTmipopt(env, p), 0);
  const std::string& out = results.text;
  EXPECT_NE(out.find("Processing 2 MIP starts.\n"), std::string::npos) << out;
  EXPECT_NE(out.find("MIP start 'integers' defined solution with objective 568.1007.\n"), std::string::npos) << out;
  EXPECT_NE(out.find("MIP start 'half' defined solution with objective "), std::string::npos) << out;
  EXPECT_NE(out.find("2 of 2 MIP starts provided solutions.\n"), std::string::npos) << out;
  EXPECT_NE(out.find("defined initial solution with objective "), std::string::npos) << out;
  EXPECT_LE(objval(p), best + 1e-6 * std::fabs(best));
}

TEST_F(MipStarts, InfeasibleStartsAreReportedRetainedAndRepaired) {
  double best = 0;
  std::vector<double> xs = optimum("p0033", &best);
  // Turn on every binary that is off: the covering rows break.
  std::vector<double> bad(xs.size(), 1.0);
  VNTLPptr p = load("p0033");
  ASSERT_EQ(addStart(p, allColumns(xs.size()), bad, 1, "check"), 0);
  ASSERT_EQ(VNTmipopt(env, p), 0);
  EXPECT_NE(warnings.text.find("Warning:  No solution found from 1 MIP starts.\n"), std::string::npos) << warnings.text;
  // A checked-only start is not kept for repair.
  EXPECT_EQ(results.text.find("Retaining values"), std::string::npos);
  EXPECT_LE(objval(p), best + 1e-6);
  // Two starts for repair.
  warnings.text.clear();
  results.text.clear();
  VNTLPptr q = load("p0033");
  ASSERT_EQ(addStart(q, allColumns(xs.size()), bad, 4, "a"), 0);
  std::vector<double> flipped = xs;
  for (size_t j = 0; j < flipped.size(); j += 4) flipped[j] = 1.0 - flipped[j];
  ASSERT_EQ(addStart(q, allColumns(xs.size()), flipped, 4, "b"), 0);
  ASSERT_EQ(VNTmipopt(env, q), 0);
  EXPECT_NE(warnings.text.find("Warning:  No solution found from 2 MIP starts.\n"), std::string::npos) << warnings.text;
  EXPECT_NE(results.text.find("Retaining values of 2 MIP starts for possible repair.\n"), std::string::npos) << results.text;
  EXPECT_NE(results.text.find("Repair heuristic succeeded.\n"), std::string::npos) << results.text;
  EXPECT_LE(objval(q), best + 1e-6);
  // Repair switched off: nothing retained.
  results.text.clear();
  VNTLPptr r = load("p0033");
  ASSERT_EQ(addStart(r, allColumns(xs.size()), flipped, 4, "c"), 0);
  VNTsetlongparam(env, VNT_PARAM_REPAIRTRIES, -1);
  ASSERT_EQ(VNTmipopt(env, r), 0);
  EXPECT_EQ(results.text.find("Retaining values"), std::string::npos);
}

// A start that gives nothing at the start of the run (repair off) is tried
// again after the root LP with the columns that agree with the root point
// fixed; one with nothing in common with the root point finds nothing.
TEST_F(MipStarts, DelayedStartsAreTriedAfterTheRootLp) {
  double best = 0;
  const std::vector<double> xs = optimum("p0033", &best);
  std::vector<double> flipped = xs;
  for (size_t j = 0; j < flipped.size(); j += 4) flipped[j] = 1.0 - flipped[j];
  VNTsetlongparam(env, VNT_PARAM_REPAIRTRIES, -1);
  VNTLPptr p = load("p0033");
  ASSERT_EQ(addStart(p, allColumns(xs.size()), flipped, 4, "late"), 0);
  ASSERT_EQ(VNTmipopt(env, p), 0);
  const size_t root = results.text.find("Root relaxation solution time");
  const size_t late = results.text.find("Delayed MIP starts produced solution.\n");
  ASSERT_NE(root, std::string::npos) << results.text;
  ASSERT_NE(late, std::string::npos) << results.text;
  EXPECT_LT(root, late);
  EXPECT_EQ(VNTgetstat(env, p), VNTMIP_OPTIMAL);
  EXPECT_NEAR(objval(p), best, 1e-6);
  results.text.clear();
  VNTLPptr q = load("p0033");
  ASSERT_EQ(addStart(q, {0}, {7.0}, 4, "far"), 0);
  ASSERT_EQ(VNTmipopt(env, q), 0);
  EXPECT_NE(results.text.find("Delayed MIP starts found nothing.\n"), std::string::npos) << results.text;
  EXPECT_NEAR(objval(q), best, 1e-6);
  // A start that gives its solution at once leaves nothing for later.
  results.text.clear();
  VNTLPptr r = load("p0033");
  ASSERT_EQ(addStart(r, allColumns(xs.size()), xs, 1, "good"), 0);
  ASSERT_EQ(VNTmipopt(env, r), 0);
  EXPECT_EQ(results.text.find("Delayed MIP starts"), std::string::npos) << results.text;
}

TEST_F(MipStarts, LargeObjectivesInExponentFormAndLazyConstraintsRaiseTheEffort) {
  VNTLPptr p = fromLp(
      "Maximize\n obj: 12345678 x + y\nSubject To\n c1: x + y <= 1\nLazy Constraints\n l1: y - x <= 0\n"
      "Binaries\n x y\nEnd\n");
  ASSERT_EQ(addStart(p, {0, 1}, {1.0, 0.0}, 1, "big"), 0);
  VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 3);
  ASSERT_EQ(VNTmipopt(env, p), 0);
  EXPECT_NE(results.text.find("MIP start 'big' defined initial solution with objective 1.2346e+07.\n"), std::string::npos)
      << results.text;
  EXPECT_NE(warnings.text.find("Warning: Effort level 'CheckFeas' is incompatible with lazy constraint/incumbent "
                            "callback.\n         Effort level increased to 'SolveFixed'.\n"),
            std::string::npos)
      << warnings.text;
  EXPECT_NEAR(objval(p), 12345678.0, 1e-6);
}

TEST_F(MipStarts, NoMessagesWithoutStarts) {
  VNTLPptr p = load("p0033");
  VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 3);
  ASSERT_EQ(VNTmipopt(env, p), 0);
  EXPECT_EQ(results.text.find("MIP start"), std::string::npos);
  EXPECT_EQ(warnings.text.find("MIP starts"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Files.

TEST_F(MipStarts, StartFileRoundTripKeepsNamesLevelsAndValues) {
  double best = 0;
  const std::vector<double> xs = optimum("p0033", &best);
  VNTLPptr p = load("p0033");
  ASSERT_EQ(addStart(p, allColumns(xs.size()), xs, 2, "plan <A> & 'B'"), 0);
  ASSERT_EQ(addStart(p, {1, 4, 9}, {1.0, 0.0, 1.0}, 3), 0);
  const std::string f = file("starts.mst.gz");
  ASSERT_EQ(VNTwritemipstarts(env, p, f.c_str(), 0, 1), 0);
  VNTLPptr q = load("p0033");
  ASSERT_EQ(VNTreadcopymipstarts(env, q, f.c_str()), 0);
  ASSERT_EQ(VNTgetnummipstarts(env, q), 2);
  char store[128];
  char* nm[2];
  int surplus = 0, nz = 0;
  ASSERT_EQ(VNTgetmipstartname(env, q, nm, store, sizeof store, &surplus, 0, 1), 0);
  EXPECT_STREQ(nm[0], "plan <A> & 'B'");
  EXPECT_STREQ(nm[1], "m2");
  const int n = static_cast<int>(xs.size());
  std::vector<int> beg(2), ind(2 * n), eff(2);
  std::vector<double> val(2 * n);
  ASSERT_EQ(VNTgetmipstarts(env, q, &nz, beg.data(), ind.data(), val.data(), eff.data(), 2 * n, &surplus, 0, 1), 0);
  EXPECT_EQ(nz, n + 3);
  EXPECT_EQ(eff[0], 2);
  EXPECT_EQ(eff[1], 3);
  for (int k = 0; k < n; ++k) {
    EXPECT_EQ(ind[k], k);
    EXPECT_EQ(val[k], xs[k]);
  }
  EXPECT_EQ(ind[n + 2], 9);
  // The read starts drive the run.
  ASSERT_EQ(VNTmipopt(env, q), 0);
  EXPECT_NE(results.text.find("MIP start 'plan <A> & 'B'' defined initial solution"), std::string::npos) << results.text;
  // A file without values loads nothing and says so.
  const std::string empty = file("empty.mst");
  std::ofstream(empty) << "<?xml version=\"1.0\"?>\n<VANTOSolutions>\n<VANTOSolution>\n<header solutionName=\"e\"/>\n"
                          "<variables>\n</variables>\n</VANTOSolution>\n</VANTOSolutions>\n";
  ASSERT_EQ(VNTreadcopymipstarts(env, q, empty.c_str()), 0);
  EXPECT_NE(warnings.text.find("Warning: no MIP start values read, no MIP start loaded.\n"), std::string::npos);
  EXPECT_EQ(VNTgetnummipstarts(env, q), 2);
}

TEST_F(MipStarts, SolutionFileOfAMipBecomesAStart) {
  VNTLPptr p = load("p0033");
  ASSERT_EQ(VNTmipopt(env, p), 0);
  const std::string f = file("p0033.sol");
  ASSERT_EQ(VNTsolwrite(env, p, f.c_str()), 0);
  VNTLPptr q = load("p0033");
  ASSERT_EQ(VNTreadcopysol(env, q, f.c_str()), 0);
  ASSERT_EQ(VNTgetnummipstarts(env, q), 1);
  results.text.clear();
  ASSERT_EQ(VNTmipopt(env, q), 0);
  EXPECT_NE(results.text.find("1 of 1 MIP starts provided solutions.\n"), std::string::npos) << results.text;
  EXPECT_NEAR(objval(q), 3089.0, 1e-6);
}

// A start that meets the rows but breaks a lazy constraint gives no
// solution, however its level reads; the level warning comes once a run.
TEST_F(MipStarts, LazyConstraintsJudgeTheStartsToo) {
  VNTLPptr p = fromLp(
      "Maximize\n obj: x + y + z\nSubject To\n c1: x + y + z <= 2\nLazy Constraints\n l1: x + y <= 1\n"
      "Binaries\n x y z\nEnd\n");
  ASSERT_EQ(addStart(p, {0, 1, 2}, {1.0, 1.0, 0.0}, 1, "rows only"), 0);
  ASSERT_EQ(addStart(p, {0, 1, 2}, {1.0, 1.0, 0.0}, 1, "again"), 0);
  ASSERT_EQ(addStart(p, {0, 1, 2}, {1.0, 1.0, 0.0}, 4, "repairable"), 0);
  VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 3);
  VNTsetlongparam(env, VNT_PARAM_REPAIRTRIES, -1);
  ASSERT_EQ(VNTmipopt(env, p), 0);
  EXPECT_NE(results.text.find("MIP start 'rows only' defined no solution.\n"), std::string::npos) << results.text;
  EXPECT_NE(results.text.find("MIP start 'repairable' defined no solution.\n"), std::string::npos) << results.text;
  const std::string w = "Warning: Effort level 'CheckFeas' is incompatible";
  const size_t first = warnings.text.find(w);
  ASSERT_NE(first, std::string::npos) << warnings.text;
  EXPECT_EQ(warnings.text.find(w, first + 1), std::string::npos) << warnings.text;
  EXPECT_NE(warnings.text.find("Warning:  No solution found from 3 MIP starts.\n"), std::string::npos);
  EXPECT_EQ(VNTgetstat(env, p), VNTMIP_OPTIMAL);
  EXPECT_NEAR(objval(p), 2.0, 1e-9);  // x or y with z
  std::vector<double> x(3);
  ASSERT_EQ(VNTgetx(env, p, x.data(), 0, 2), 0);
  EXPECT_LE(x[0] + x[1], 1.0 + 1e-9);
}

// Feasible solutions of a model (from the pool of a populate run) given as
// complete starts to fresh copies at every effort level, with the search
// stopped at the root: the answer is never worse than the start, and the
// start's objective is the one the log reports.
TEST_F(MipStarts, TheAnswerIsNeverWorseThanAFeasibleStart) {
  for (const char* name : {"p0033", "egout"}) {
    SCOPED_TRACE(name);
    VNTLPptr src = load(name);
    VNTsetintparam(env, VNT_PARAM_POPULATELIM, 6);
    ASSERT_EQ(VNTpopulate(env, src), 0);
    const int count = VNTgetsolnpoolnumsolns(env, src);
    ASSERT_GE(count, 2);
    const int n = VNTgetnumcols(env, src);
    int sense = 0;
    sense = VNTgetobjsen(env, src);
    VNTsetlongparam(env, VNT_PARAM_NODELIM, 0);
    for (int k = 0; k < count; ++k) {
      SCOPED_TRACE(k);
      std::vector<double> x(n);
      double obj = 0;
      ASSERT_EQ(VNTgetsolnpoolx(env, src, k, x.data(), 0, n - 1), 0);
      ASSERT_EQ(VNTgetsolnpoolobjval(env, src, k, &obj), 0);
      VNTLPptr p = load(name);
      const int effort = k % 5;  // automatic, check, fix the integers, sub-MIP, repair
      ASSERT_EQ(addStart(p, allColumns(n), x, effort, "pool"), 0);
      results.text.clear();
      ASSERT_EQ(VNTmipopt(env, p), 0);
      const int stat = VNTgetstat(env, p);
      ASSERT_TRUE(stat == VNTMIP_OPTIMAL || stat == VNTMIP_OPTIMAL_TOL || stat == VNTMIP_NODE_LIM_FEAS) << stat;
      EXPECT_LE(sense * objval(p), sense * obj + 1e-6 * (1 + std::fabs(obj)));
      EXPECT_NE(results.text.find("1 of 1 MIP starts provided solutions.\n"), std::string::npos) << results.text;
      const std::string line = "MIP start 'pool' defined initial solution with objective ";
      const size_t at = results.text.find(line);
      ASSERT_NE(at, std::string::npos) << results.text;
      const double logged = std::strtod(results.text.c_str() + at + line.size(), nullptr);
      // Levels that solve for the continuous part may improve the start.
      if (effort == 1 || effort == 4) {
        EXPECT_NEAR(logged, obj, 1e-4 * (1 + std::fabs(obj)));
      }
      EXPECT_LE(sense * logged, sense * obj + 1e-4 * (1 + std::fabs(obj)));
    }
    VNTsetlongparam(env, VNT_PARAM_NODELIM, 20000);
  }
}

// The helper runs (start completion, repair, populate's enumeration) write
// no incumbent files of their own and print nothing: every incumbent file
// the log names is written once, by the caller's run.
TEST_F(MipStarts, HelperRunsWriteNoIncumbentFiles) {
  double best = 0;
  const std::vector<double> xs = optimum("p0033", &best);
  VNTLPptr p = load("p0033");
  std::vector<int> half;
  std::vector<double> halfVals;
  for (size_t j = 0; j < xs.size(); j += 2) {
    half.push_back(static_cast<int>(j));
    halfVals.push_back(xs[j]);
  }
  ASSERT_EQ(addStart(p, half, halfVals, 3, "half"), 0);
  const std::string prefix = file("inc");
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_INTSOLFILEPREFIX, prefix.c_str()), 0);
  VNTsetintparam(env, VNT_PARAM_POPULATELIM, 10);
  ASSERT_EQ(VNTpopulate(env, p), 0);
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_INTSOLFILEPREFIX, ""), 0);
  std::vector<std::string> names;
  const std::string tag = "New incumbent written to file '";
  for (size_t at = results.text.find(tag); at != std::string::npos; at = results.text.find(tag, at + 1)) {
    const size_t b = at + tag.size();
    names.push_back(results.text.substr(b, results.text.find('\'', b) - b));
    files.push_back(names.back());
  }
  ASSERT_FALSE(names.empty()) << results.text;
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << results.text;
  for (const std::string& f : names) EXPECT_TRUE(std::ifstream(f).good()) << f;
  EXPECT_GE(VNTgetsolnpoolnumsolns(env, p), 2);
}

}  // namespace
