// End-to-end MIP tests through the public C interface: quick MIPLIB 3 models
// solved to their reference optimum (within the gap tolerance), the answer
// checked here against the model (rows, bounds, integrality), limits that
// stop the search with their status and a queryable incumbent, a search
// continued after a limit stop, and the query rules.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/models.h"
#include "vanto/vanto.h"
#include "mip_fixture.h"

namespace {

using vnt::test::modelPath;
using vnt::test::references;

// Writes an LP-format model to a fresh temporary file; its path ("" on failure).
std::string writeTempLp(const char* text) {
  char path[] = "/tmp/vanto_mipXXXXXX.lp";
  const int fd = mkstemps(path, 3);
  if (fd < 0) return "";
  FILE* f = fdopen(fd, "w");
  if (!f) return "";
  std::fputs(text, f);
  std::fclose(f);
  return path;
}

class Mip : public vnt::test::MipFixture {
 protected:
  // Solve a MIPLIB model with a known optimum: the objective within the gap
  // of the reference, the bound not past it, the incumbent feasible on the
  // model as read.
  void solveToReference(const char* name) {
    SCOPED_TRACE(name);
    read(name);
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    const int stat = VNTgetstat(env, lp);
    ASSERT_TRUE(stat == VNTMIP_OPTIMAL || stat == VNTMIP_OPTIMAL_TOL) << stat;
    double obj = 0, bound = 0, gapParam = 0, absGap = 0;
    ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
    ASSERT_EQ(VNTgetbestobjval(env, lp, &bound), 0);
    VNTgetdblparam(env, VNT_PARAM_EPGAP, &gapParam);
    VNTgetdblparam(env, VNT_PARAM_EPAGAP, &absGap);
    const double ref = references().at(name).objective;
    const double tolGap = std::max(absGap, gapParam * std::fabs(ref)) + 1e-6 * std::max(1.0, std::fabs(ref));
    EXPECT_NEAR(obj, ref, tolGap);
    // The bound never passes the optimum (all these models minimize).
    EXPECT_LE(bound, ref + 1e-6 * std::max(1.0, std::fabs(ref)));
    const std::vector<double> x = incumbent();
    expectFeasible(x);
    // The objective reported is the one of the values reported.
    const int n = VNTgetnumcols(env, lp);
    std::vector<double> c(n);
    ASSERT_EQ(VNTgetobj(env, lp, c.data(), 0, n - 1), 0);
    double cx = 0;
    for (int j = 0; j < n; ++j) cx += c[j] * x[j];
    double offset = 0;
    VNTgetobjoffset(env, lp, &offset);
    EXPECT_NEAR(cx + offset, obj, 1e-6 * std::max(1.0, std::fabs(obj)));
    EXPECT_GT(VNTgetnodecnt(env, lp), 0);
    EXPECT_GT(VNTgetmipitcnt(env, lp), 0);
    double gap = -1;
    EXPECT_EQ(VNTgetmiprelgap(env, lp, &gap), 0);
    EXPECT_LE(gap, gapParam + 1e-12);
  }

  // Columns (all integer) and rows with names, for the presolve cases.
  void build(int objsen, const std::vector<double>& obj, const std::vector<double>& ub,
             const std::vector<std::pair<char, double>>& rows, const std::vector<std::vector<double>>& coef) {
    const int n = static_cast<int>(obj.size());
    std::vector<double> lb(n, 0.0);
    std::vector<char> ctype(n, 'I');
    std::vector<std::string> names;
    std::vector<char*> np;
    for (int j = 0; j < n; ++j) names.push_back("x" + std::to_string(j));
    for (std::string& s : names) np.push_back(s.data());
    ASSERT_EQ(VNTnewcols(env, lp, n, obj.data(), lb.data(), ub.data(), ctype.data(), np.data()), 0);
    ASSERT_EQ(VNTchgobjsen(env, lp, objsen), 0);
    for (size_t i = 0; i < rows.size(); ++i) {
      std::vector<int> ind;
      std::vector<double> val;
      for (int j = 0; j < n; ++j)
        if (coef[i][j] != 0) {
          ind.push_back(j);
          val.push_back(coef[i][j]);
        }
      int beg = 0;
      char sense = rows[i].first;
      double rhs = rows[i].second;
      std::string rn = "r" + std::to_string(i);
      char* rnp = rn.data();
      ASSERT_EQ(VNTaddrows(env, lp, 0, 1, static_cast<int>(ind.size()), &rhs, &sense, &beg, ind.data(), val.data(),
                           nullptr, &rnp),
                0);
    }
  }

  // The LP-format model solved with presolve on and off: optimal, objective
  // `opt` within `tol`, and the incumbent handed to `check`.
  template <class Check>
  void solveWithAndWithoutPresolve(const char* text, double opt, double tol, Check check) {
    const std::string file = writeTempLp(text);
    ASSERT_FALSE(file.empty());
    for (int presolve : {1, 0}) {
      SCOPED_TRACE("presolve " + std::to_string(presolve) + "\n" + text);
      VNTsetintparam(env, VNT_PARAM_PREIND, presolve);
      ASSERT_EQ(VNTreadcopyprob(env, lp, file.c_str(), nullptr), 0);
      ASSERT_EQ(VNTmipopt(env, lp), 0);
      EXPECT_EQ(VNTgetstat(env, lp), VNTMIP_OPTIMAL);
      double obj = 0.0;
      ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
      EXPECT_NEAR(obj, opt, tol);
      check(incumbent());
    }
    std::remove(file.c_str());
    VNTsetintparam(env, VNT_PARAM_PREIND, 1);
  }
};

TEST_F(Mip, QuickMiplibModelsReachTheReferenceOptimum) {
  for (const char* name : {"p0033", "flugpl", "gt2", "stein27", "enigma", "misc03", "p0201"}) solveToReference(name);
}

// The same search on the model as given: presolve must neither be needed
// nor change the answer.
TEST_F(Mip, QuickMiplibModelsWithPresolveOff) {
  VNTsetintparam(env, VNT_PARAM_PREIND, 0);
  for (const char* name : {"p0033", "flugpl", "enigma", "misc03"}) solveToReference(name);
}

// The tree search on several threads: every answer right, with the
// settings and timing report naming the threads; a node limit is kept
// exactly and the stopped search continues to the optimum.
TEST_F(Mip, ParallelSearchReachesTheReferenceOptimum) {
  for (int threads : {2, 3}) {
    SCOPED_TRACE(threads);
    VNTsetintparam(env, VNT_PARAM_THREADS, threads);
    for (const char* name : {"p0033", "stein27", "misc03"}) {
      if (threads == 3 && std::string(name) == "stein27") continue;
      results.text.clear();
      solveToReference(name);
      const std::string mode = "Parallel mode: deterministic, using up to " + std::to_string(threads) + " threads.\n";
      EXPECT_NE(results.text.find(mode), std::string::npos) << name;
      EXPECT_NE(results.text.find("Parallel b&c, " + std::to_string(threads) + " threads:\n"), std::string::npos) << name;
    }
  }
  VNTsetintparam(env, VNT_PARAM_THREADS, 2);
  read("lseu");
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 150);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  const int stat = VNTgetstat(env, lp);
  ASSERT_TRUE(stat == VNTMIP_NODE_LIM_FEAS || stat == VNTMIP_NODE_LIM_INFEAS) << stat;
  EXPECT_EQ(VNTgetnodecnt(env, lp), 150);
  EXPECT_GT(VNTgetnodeleftcnt(env, lp), 0);
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 9223372036800000000LL);
  solveToReference("lseu");
  EXPECT_GT(VNTgetnodecnt(env, lp), 150);
}

// Deterministic mode: for a fixed thread count the same search every time --
// node count, iterations, answer and every line of the node log (one line
// per node) except the clock readings.
TEST_F(Mip, DeterministicParallelSearchRepeatsItself) {
  auto withoutClock = [](const std::string& t) {
    std::vector<std::string> out;
    std::string line;
    for (char c : t) {
      if (c != '\n') {
        line += c;
        continue;
      }
      if (line.find("sec.") == std::string::npos && line.find("ticks") == std::string::npos) out.push_back(line);
      line.clear();
    }
    return out;
  };
  for (const char* name : {"stein27", "misc03"}) {
    SCOPED_TRACE(name);
    std::vector<std::string> firstLog;
    long long firstNodes = -1, firstIts = -1;
    double firstObj = 0, firstBound = 0;
    for (int run = 0; run < (std::string(name) == "stein27" ? 3 : 2); ++run) {
      VNTsetintparam(env, VNT_PARAM_THREADS, 2);
      VNTsetintparam(env, VNT_PARAM_PARALLELMODE, 1);
      VNTsetlongparam(env, VNT_PARAM_MIPINTERVAL, 1);
      read(name);
      results.text.clear();
      ASSERT_EQ(VNTmipopt(env, lp), 0);
      double obj = 0, bound = 0;
      ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
      ASSERT_EQ(VNTgetbestobjval(env, lp, &bound), 0);
      const std::vector<std::string> log = withoutClock(results.text);
      if (run == 0) {
        firstLog = log;
        firstNodes = VNTgetnodecnt(env, lp);
        firstIts = VNTgetmipitcnt(env, lp);
        firstObj = obj;
        firstBound = bound;
        EXPECT_GT(firstNodes, 50);
        continue;
      }
      EXPECT_EQ(VNTgetnodecnt(env, lp), firstNodes);
      EXPECT_EQ(VNTgetmipitcnt(env, lp), firstIts);
      EXPECT_EQ(obj, firstObj);
      EXPECT_EQ(bound, firstBound);
      EXPECT_EQ(log.size(), firstLog.size());
      for (size_t i = 0; i < std::min(log.size(), firstLog.size()); ++i)
        if (log[i] != firstLog[i]) {
          ADD_FAILURE() << "node log differs at line " << i << ":\n" << firstLog[i] << "\n" << log[i];
          break;
        }
    }
  }
}

// Models whose root fixes many columns: with repeated presolve asked for,
// the search restarts on a second presolve of the fixed model (with the root
// cuts as rows) and still ends at the reference optimum; off or automatic, it
// does not restart.
TEST_F(Mip, RootRestartRepeatsPresolveAndKeepsTheAnswer) {
  VNTsetintparam(env, VNT_PARAM_REPEATPRESOLVE, 3);
  for (const char* name : {"gt2", "gesa2"}) {
    results.text.clear();
    solveToReference(name);
    EXPECT_NE(results.text.find("\nPerforming restart 1\n\nRepeating presolve.\nRepresolve time = "), std::string::npos)
        << name;
    // The root is processed again: a second root relaxation line.
    const size_t first = results.text.find("Root relaxation solution time");
    EXPECT_NE(results.text.find("Root relaxation solution time", first + 1), std::string::npos) << name;
  }
  for (int mode : {0, -1}) {
    VNTsetintparam(env, VNT_PARAM_REPEATPRESOLVE, mode);
    results.text.clear();
    solveToReference("gt2");
    EXPECT_EQ(results.text.find("Performing restart"), std::string::npos) << mode;
  }
}

TEST_F(Mip, NodeLimitStopsWithIncumbentAndTheSearchContinues) {
  read("lseu");
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 200);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  int stat = VNTgetstat(env, lp);
  ASSERT_TRUE(stat == VNTMIP_NODE_LIM_FEAS || stat == VNTMIP_NODE_LIM_INFEAS) << stat;
  EXPECT_EQ(VNTgetnodecnt(env, lp), 200);
  const long long left = VNTgetnodeleftcnt(env, lp);
  EXPECT_GT(left, 0);
  if (stat == VNTMIP_NODE_LIM_FEAS) expectFeasible(incumbent());
  else {
    double obj;
    EXPECT_EQ(VNTgetobjval(env, lp, &obj), VNTERR_NO_SOLUTION_EXISTS);
  }
  // Continue: the tree is kept, so the node count goes on from 200.
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 400);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_EQ(VNTgetnodecnt(env, lp), 400);
  // And to the end.
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 9223372036800000000LL);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  stat = VNTgetstat(env, lp);
  EXPECT_TRUE(stat == VNTMIP_OPTIMAL || stat == VNTMIP_OPTIMAL_TOL) << stat;
  double obj = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
  EXPECT_NEAR(obj, 1120, 1120 * 1e-4);
  EXPECT_GT(VNTgetnodecnt(env, lp), 400);
}

TEST_F(Mip, SolutionLimitStopsAtTheFirstSolution) {
  read("p0033");
  VNTsetlongparam(env, VNT_PARAM_INTSOLLIM, 1);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), VNTMIP_SOL_LIM);
  expectFeasible(incumbent());
  double obj, bound;
  ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
  ASSERT_EQ(VNTgetbestobjval(env, lp, &bound), 0);
  EXPECT_LE(bound, obj + 1e-9);
  EXPECT_LE(bound, 3089 + 1e-6);
}

TEST_F(Mip, TimeLimitAndTerminateFlagEndWithTheirStatus) {
  read("vpm2");
  VNTsetdblparam(env, VNT_PARAM_TILIM, 0.2);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  int stat = VNTgetstat(env, lp);
  EXPECT_TRUE(stat == VNTMIP_TIME_LIM_FEAS || stat == VNTMIP_TIME_LIM_INFEAS) << stat;
  if (stat == VNTMIP_TIME_LIM_FEAS) expectFeasible(incumbent());
  // Terminate flag raised before the call: the search stops at once.
  VNTsetdblparam(env, VNT_PARAM_TILIM, 60.0);
  int flag = 1;
  VNTsetterminate(env, &flag);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  stat = VNTgetstat(env, lp);
  EXPECT_TRUE(stat == VNTMIP_ABORT_FEAS || stat == VNTMIP_ABORT_INFEAS) << stat;
  VNTsetterminate(env, nullptr);
}

TEST_F(Mip, InfeasibleModelsEnd103) {
  // x + y >= 3 with x, y binary.
  double obj[2] = {1, 1}, lb[2] = {0, 0}, ub[2] = {1, 1};
  char ctype[2] = {'B', 'B'};
  ASSERT_EQ(VNTnewcols(env, lp, 2, obj, lb, ub, ctype, nullptr), 0);
  int beg = 0, ind[2] = {0, 1};
  double val[2] = {1, 1}, rhs = 3;
  char sense = 'G';
  ASSERT_EQ(VNTaddrows(env, lp, 0, 1, 2, &rhs, &sense, &beg, ind, val, nullptr, nullptr), 0);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), VNTMIP_INFEASIBLE);
  double x[2];
  EXPECT_EQ(VNTgetx(env, lp, x, 0, 1), VNTERR_NO_SOLUTION_EXISTS);
  char text[128];
  ASSERT_NE(VNTgetstatstring(env, VNTMIP_INFEASIBLE, text), nullptr);
  EXPECT_STREQ(text, "integer infeasible");
}

// Presolve settles a model before the search: the status names the cause
// (103 infeasible, 119 infeasible or unbounded), the call returns 0, the
// diagnostic names the row or column; the search without presolve reaches
// the same status by itself.
TEST_F(Mip, PresolveSettlesTheStatusByItsCause) {
  for (int pre : {1, 0}) {
    SCOPED_TRACE(pre);
    VNTsetintparam(env, VNT_PARAM_PREIND, pre);
    // x0 + x1 + 2 x2 >= 5 with every column in [0, 1]: activity at most 4.
    build(VNT_MIN, {1, 1, 1}, {1, 1, 1}, {{'G', 5}}, {{1, 1, 2}});
    results.text.clear();
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    EXPECT_EQ(VNTgetstat(env, lp), VNTMIP_INFEASIBLE);
    EXPECT_EQ(results.text.find("Implied bounds make row 'r0' infeasible.\n") != std::string::npos, pre == 1)
        << results.text;
    if (pre == 1) {
      EXPECT_EQ(VNTgetnodecnt(env, lp), 0);
      EXPECT_EQ(results.text.find("Root relaxation"), std::string::npos);
    }
    double v;
    EXPECT_EQ(VNTgetobjval(env, lp, &v), VNTERR_NO_SOLUTION_EXISTS);
    ASSERT_EQ(VNTfreeprob(env, &lp), 0);
    int st = 0;
    lp = VNTcreateprob(env, &st, "mip");
    ASSERT_NE(lp, nullptr);
    // max x0 + x1 with x0 unbounded above and only x0 + x1 >= 1: presolve
    // (or the root relaxation) finds the model unbounded if feasible, and a
    // feasible point settles it.
    build(VNT_MAX, {1, 1}, {VNT_INFBOUND, 4}, {{'G', 1}}, {{1, 1}});
    results.text.clear();
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    EXPECT_EQ(VNTgetstat(env, lp), VNTMIP_UNBOUNDED) << results.text;
    EXPECT_EQ(results.text.find("Infeasibility or unboundedness row 'r0'") != std::string::npos, pre == 1)
        << results.text;
    char text[128];
    ASSERT_NE(VNTgetstatstring(env, VNTgetstat(env, lp), text), nullptr);
    EXPECT_STREQ(text, "integer unbounded");
    ASSERT_EQ(VNTfreeprob(env, &lp), 0);
    lp = VNTcreateprob(env, &st, "mip");
    ASSERT_NE(lp, nullptr);
  }
}

TEST_F(Mip, BinaryFixedAtOneHalfFailsTheBoundPrecheck) {
  double obj = 1, lb = 0.5, ub = 0.5;
  char ctype = 'B';
  ASSERT_EQ(VNTnewcols(env, lp, 1, &obj, &lb, &ub, &ctype, nullptr), 0);
  // New columns keep the type given with them (the first typed columns of
  // a problem once came out continuous).
  char got = 0;
  ASSERT_EQ(VNTgetctype(env, lp, &got, 0, 0), 0);
  EXPECT_EQ(got, 'B');
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), VNTMIP_INFEASIBLE);
  EXPECT_NE(warnings.text.find("Warning:  Bound infeasibility column 'C1'.\n"), std::string::npos) << warnings.text;
  EXPECT_EQ(results.text.find("Root relaxation"), std::string::npos);
}

TEST_F(Mip, QueriesFollowTheirRules) {
  // On an LP: not a MIP.
  double obj = 1, lb = 0, ub = 1;
  ASSERT_EQ(VNTnewcols(env, lp, 1, &obj, &lb, &ub, nullptr, nullptr), 0);
  double v;
  EXPECT_EQ(VNTgetbestobjval(env, lp, &v), VNTERR_NOT_MIP);
  EXPECT_EQ(VNTgetnodecnt(env, lp), 0);
  // A MIP without a search record: no solution.
  char ctype = 'I';
  ASSERT_EQ(VNTcopyctype(env, lp, &ctype), 0);
  EXPECT_EQ(VNTgetbestobjval(env, lp, &v), VNTERR_NO_SOLUTION_EXISTS);
  EXPECT_EQ(VNTgetcutoff(env, lp, nullptr), VNTERR_NULL_POINTER);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), VNTMIP_OPTIMAL);
  ASSERT_EQ(VNTgetobjval(env, lp, &v), 0);
  EXPECT_EQ(v, 0.0);
  ASSERT_EQ(VNTgetcutoff(env, lp, &v), 0);
  EXPECT_LE(v, 1e-6);
  int method, type, pfeas, dfeas;
  ASSERT_EQ(VNTsolninfo(env, lp, &method, &type, &pfeas, &dfeas), 0);
  EXPECT_EQ(pfeas, 1);
  EXPECT_EQ(dfeas, 0);
  // Any change drops the record.
  int idx = 0;
  double negative = -1;
  ASSERT_EQ(VNTchgobj(env, lp, 1, &idx, &negative), 0);
  EXPECT_EQ(VNTgetbestobjval(env, lp, &v), VNTERR_NO_SOLUTION_EXISTS);
}

TEST_F(Mip, NodeLogAndReportLines) {
  read("p0033");
  VNTsetlongparam(env, VNT_PARAM_MIPINTERVAL, 10);
  VNTsetlongparam(env, VNT_PARAM_CUTPASS, -1);  // without cuts the search takes more than 10 nodes
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  const std::string& t = results.text;
  EXPECT_NE(t.find("MIP emphasis: balance optimality and feasibility.\n"), std::string::npos);
  EXPECT_NE(t.find("Parallel mode: none, using 1 thread.\n"), std::string::npos);
  EXPECT_NE(t.find("Root relaxation solution time = "), std::string::npos);
  EXPECT_NE(t.find("   Node  Left     Objective  IInf  Best Integer    Best Bound    ItCnt     Gap\n"),
            std::string::npos);
  EXPECT_NE(t.find("Sequential b&c:\n"), std::string::npos);
  EXPECT_NE(t.find("Total (root+branch&cut) = "), std::string::npos);
  // Node lines at multiples of the interval, an incumbent line marked "*".
  EXPECT_NE(t.find("\n     10 "), std::string::npos) << t;
  EXPECT_NE(t.find("\n*"), std::string::npos) << t;
  // Optimality targets that a linear MIP cannot use are warned about.
  EXPECT_EQ(warnings.text.find("OptimalityTarget"), std::string::npos);
  VNTsetintparam(env, VNT_PARAM_OPTIMALITYTARGET, 3);
  ASSERT_EQ(VNTchgobjsen(env, lp, VNT_MIN), 0);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_NE(warnings.text.find("Warning: Value VNT_OPTIMALITYTARGET_OPTIMALGLOBAL for VNTPARAM_OptimalityTarget is "
                               "only available for QP and MIQP.\n"),
            std::string::npos)
      << warnings.text;
  VNTsetintparam(env, VNT_PARAM_OPTIMALITYTARGET, 2);
  ASSERT_EQ(VNTchgobjsen(env, lp, VNT_MIN), 0);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_NE(warnings.text.find("Warning: Value VNT_OPTIMALITYTARGET_FIRSTORDER for VNTPARAM_OptimalityTarget is only "
                               "available for continuous QP.\n"),
            std::string::npos);
  VNTsetintparam(env, VNT_PARAM_OPTIMALITYTARGET, 0);
  // Display 0: nothing.
  results.text.clear();
  VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 0);
  ASSERT_EQ(VNTchgobjsen(env, lp, VNT_MIN), 0);  // drops the record: a fresh run
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_EQ(results.text, "");
}

// Every table line's best bound holds against the optimum, the root's own
// bound included while the root is in process: the heuristic incumbents of
// the root are lines of node 0 whose bound is the root relaxation's, not the
// incumbent's.
TEST_F(Mip, NodeLogBoundsNeverPassTheOptimum) {
  read("p0548");
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  const int stat = VNTgetstat(env, lp);
  ASSERT_TRUE(stat == VNTMIP_OPTIMAL || stat == VNTMIP_OPTIMAL_TOL) << stat;
  double opt = 0.0;
  ASSERT_EQ(VNTgetobjval(env, lp, &opt), 0);
  const std::string& t = results.text;
  size_t lines = 0, rootIncumbents = 0;
  for (size_t p = 0, q; p < t.size(); p = q + 1) {
    q = t.find('\n', p);
    if (q == std::string::npos) q = t.size();
    const std::string l = t.substr(p, q - p);
    // "%c%6lld%c%5lld %19s %13s %13s %8s %8s": the bound field at 48.
    if (l.size() < 61 || (l[0] != ' ' && l[0] != '*') || l.find("Cuts") != std::string::npos) continue;
    const std::string nodeField = l.substr(1, 6);
    char* end = nullptr;
    const long long node = std::strtoll(nodeField.c_str(), &end, 10);
    if (*end != '\0') continue;
    const std::string field = l.substr(48, 13);
    if (field.find_first_not_of(' ') == std::string::npos) continue;
    const double bound = std::strtod(field.c_str(), nullptr);
    ++lines;
    EXPECT_LE(bound, opt + 1e-6 * std::fabs(opt)) << l;
    if (l[0] == '*' && l[7] == '+' && node == 0) ++rootIncumbents;
  }
  EXPECT_GT(lines, 0u) << t;
  // The model's rounding and dives find incumbents at the root.
  EXPECT_GT(rootIncumbents, 0u) << t;
}

// Strong branching on an LP: each branch's objective is the optimum of the
// LP with that bound changed (solved here apart), empty branches report
// 1e75, a short iteration limit gives a bound between the LP value and the
// branch's optimum, the problem's solution is unchanged afterwards, and an
// interrupted call returns the code of its cause.
TEST_F(Mip, StrongBranchMatchesTheBranchedLps) {
  read("p0033");
  ASSERT_EQ(VNTchgprobtype(env, lp, VNTPROB_LP), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), VNT_STAT_OPTIMAL);
  const int n = VNTgetnumcols(env, lp);
  std::vector<double> x(n), lb(n), ub(n);
  double z = 0;
  ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0);
  ASSERT_EQ(VNTgetobjval(env, lp, &z), 0);
  ASSERT_EQ(VNTgetlb(env, lp, lb.data(), 0, n - 1), 0);
  ASSERT_EQ(VNTgetub(env, lp, ub.data(), 0, n - 1), 0);
  std::vector<int> idx;
  for (int j = 0; j < n; ++j)
    if (std::fabs(x[j] - std::round(x[j])) > 1e-6) idx.push_back(j);
  idx.push_back(0);  // and one column at a bound: one side changes nothing
  ASSERT_GE(idx.size(), 3u);
  const int cnt = static_cast<int>(idx.size());
  std::vector<double> down(cnt), up(cnt), down1(cnt), up1(cnt);
  ASSERT_EQ(VNTstrongbranch(env, lp, idx.data(), cnt, down.data(), up.data(), 100000), 0);
  double z2 = 0;
  std::vector<double> x2(n);
  ASSERT_EQ(VNTgetobjval(env, lp, &z2), 0);
  ASSERT_EQ(VNTgetx(env, lp, x2.data(), 0, n - 1), 0);
  EXPECT_EQ(z2, z);
  EXPECT_EQ(x2, x);
  int empty = 0;
  for (int k = 0; k < cnt; ++k) {
    const int j = idx[k];
    for (int d = 0; d < 2; ++d) {
      SCOPED_TRACE("column " + std::to_string(j) + (d == 0 ? " down" : " up"));
      int st = 0;
      VNTLPptr c = VNTcloneprob(env, lp, &st);
      ASSERT_NE(c, nullptr);
      const char which = d == 0 ? 'U' : 'L';
      const double bd = d == 0 ? std::floor(x[j]) : std::ceil(x[j]);
      ASSERT_EQ(VNTchgbds(env, c, 1, &j, &which, &bd), 0);
      ASSERT_EQ(VNTlpopt(env, c), 0);
      const int stat = VNTgetstat(env, c);
      const double got = d == 0 ? down[k] : up[k];
      if (stat == VNT_STAT_INFEASIBLE) {
        EXPECT_EQ(got, 1e75);
        ++empty;
      } else {
        ASSERT_EQ(stat, VNT_STAT_OPTIMAL);
        double want = 0;
        ASSERT_EQ(VNTgetobjval(env, c, &want), 0);
        EXPECT_NEAR(got, want, 1e-6 * (1 + std::fabs(want)));
      }
      VNTfreeprob(env, &c);
    }
  }
  // One iteration per branch: bounds, not optima.
  ASSERT_EQ(VNTstrongbranch(env, lp, idx.data(), cnt, down1.data(), up1.data(), 1), 0);
  for (int k = 0; k < cnt; ++k) {
    EXPECT_GE(down1[k], z - 1e-9);
    EXPECT_LE(down1[k], down[k] + 1e-6 * (1 + std::fabs(down[k])));
    EXPECT_GE(up1[k], z - 1e-9);
    EXPECT_LE(up1[k], up[k] + 1e-6 * (1 + std::fabs(up[k])));
  }
  // Bad input.
  int bad = n;
  EXPECT_EQ(VNTstrongbranch(env, lp, &bad, 1, down.data(), up.data(), 10), VNTERR_COL_INDEX_RANGE);
  EXPECT_EQ(VNTstrongbranch(env, lp, idx.data(), cnt, nullptr, up.data(), 10), VNTERR_NULL_POINTER);
  // Interrupted by the terminate flag.
  int flag = 1;
  VNTsetterminate(env, &flag);
  EXPECT_EQ(VNTstrongbranch(env, lp, idx.data(), cnt, down.data(), up.data(), 100000), VNTERR_ABORT_STRONGBRANCH);
  VNTsetterminate(env, nullptr);
  // Without a solution there is nothing to branch from.
  ASSERT_EQ(VNTchgobjsen(env, lp, VNT_MAX), 0);
  EXPECT_EQ(VNTstrongbranch(env, lp, idx.data(), cnt, down.data(), up.data(), 10), VNTERR_NO_SOLUTION_EXISTS);
}

// Polishing start conditions: a polish-after value below its limit holds
// the stop back and the search goes on in polishing mode; at their
// defaults a limit stop is final at once.
TEST_F(Mip, PolishingStartsBeforeALimitBecomesFinal) {
  read("lseu");
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 60);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_EQ(results.text.find("Starting condition for polishing"), std::string::npos);
  EXPECT_EQ(VNTgetnodecnt(env, lp), 60);
  read("lseu");  // a fresh search
  results.text.clear();
  VNTsetlongparam(env, VNT_PARAM_POLISHAFTERNODE, 20);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  const std::string& t = results.text;
  EXPECT_NE(t.find("\nStarting condition for polishing reached (PolishAfterNode).\nStarting solution polishing.\n\n"),
            std::string::npos)
      << t;
  const int stat = VNTgetstat(env, lp);
  // Polishing runs on to the node limit (or ends the search before it).
  if (stat == VNTMIP_NODE_LIM_FEAS || stat == VNTMIP_NODE_LIM_INFEAS) {
    EXPECT_EQ(VNTgetnodecnt(env, lp), 60);
  } else {
    EXPECT_TRUE(stat == VNTMIP_OPTIMAL || stat == VNTMIP_OPTIMAL_TOL) << stat;
  }
  if (stat != VNTMIP_NODE_LIM_INFEAS) expectFeasible(incumbent());
  // The solution count as start condition.
  VNTsetlongparam(env, VNT_PARAM_POLISHAFTERNODE, 9223372036800000000LL);
  VNTsetlongparam(env, VNT_PARAM_POLISHAFTERINTSOL, 1);
  read("lseu");
  results.text.clear();
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_NE(results.text.find("Starting condition for polishing reached (PolishAfterIntSol).\n"), std::string::npos);
  // Equal to the limit: the limit stop is final.
  VNTsetlongparam(env, VNT_PARAM_INTSOLLIM, 1);
  read("lseu");
  results.text.clear();
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), VNTMIP_SOL_LIM);
  EXPECT_EQ(results.text.find("Starting condition for polishing"), std::string::npos);
}

// The first node processed after the root, as the node log of the
// traditional search shows it: the branching column's name and direction.
std::pair<std::string, char> firstChild(const std::string& log) {
  size_t p = log.find("\n   Node  Left");
  while (p != std::string::npos) {
    const size_t e = log.find('\n', p + 1);
    const std::string line = log.substr(p + 1, e == std::string::npos ? std::string::npos : e - p - 1);
    p = e;
    // Node lines end with "<name> <dir> <id> <parent> <depth>".
    char name[64] = "", dir = 0;
    long long id = 0, parent = 0, depth = 0;
    if (line.size() > 80 && sscanf(line.c_str() + 80, "%63s %c %lld %lld %lld", name, &dir, &id, &parent, &depth) == 5 &&
        parent == 0 && id > 0)
      return {name, dir};
  }
  return {"", 0};
}

// A priority order decides the branching column among the fractional ones,
// and its direction which child comes first.
TEST_F(Mip, PriorityOrderChoosesTheBranchingColumnAndDirection) {
  read("p0033");
  const int n = VNTgetnumcols(env, lp);
  // The fractional columns of the root relaxation (solved on a copy).
  int st = 0;
  VNTLPptr relax = VNTcloneprob(env, lp, &st);
  ASSERT_NE(relax, nullptr);
  ASSERT_EQ(VNTchgprobtype(env, relax, VNTPROB_LP), 0);
  ASSERT_EQ(VNTlpopt(env, relax), 0);
  std::vector<double> x(n);
  ASSERT_EQ(VNTgetx(env, relax, x.data(), 0, n - 1), 0);
  VNTfreeprob(env, &relax);
  VNTsetintparam(env, VNT_PARAM_MIPSEARCH, 1);  // traditional: the log names the branches
  VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 5);
  VNTsetintparam(env, VNT_PARAM_VARSEL, 1);     // minimum infeasibility: no strong branching
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 3);
  VNTsetlongparam(env, VNT_PARAM_CUTPASS, -1);
  VNTsetintparam(env, VNT_PARAM_PREIND, 0);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  const auto plain = firstChild(results.text);
  ASSERT_FALSE(plain.first.empty()) << results.text;
  // A fractional column the rule does not pick gets the top priority.
  int pick = -1;
  char name[64];
  char* np = name;
  int surplus = 0;
  for (int j = 0; j < n && pick < 0; ++j) {
    if (std::fabs(x[j] - std::round(x[j])) < 1e-4) continue;
    ASSERT_EQ(VNTgetcolname(env, lp, &np, name, sizeof name, &surplus, j, j), 0);
    if (plain.first != name) pick = j;
  }
  ASSERT_GE(pick, 0) << "needs two fractional columns";
  ASSERT_EQ(VNTgetcolname(env, lp, &np, name, sizeof name, &surplus, pick, pick), 0);
  for (int dir : {1, -1}) {
    int prio = 5;
    read("p0033");  // a fresh search
    ASSERT_EQ(VNTcopyorder(env, lp, 1, &pick, &prio, &dir), 0);
    results.text.clear();
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    const auto child = firstChild(results.text);
    EXPECT_EQ(child.first, name);
    EXPECT_EQ(child.second, dir > 0 ? 'U' : 'D');
  }
  // The order reads back; the switch turns it off.
  int cnt = 0, idx = -1, pr = -1, dr = 9;
  ASSERT_EQ(VNTgetorder(env, lp, &cnt, &idx, &pr, &dr, 1, &surplus), 0);
  EXPECT_EQ(cnt, 1);
  EXPECT_EQ(idx, pick);
  EXPECT_EQ(pr, 5);
  EXPECT_EQ(dr, -1);
  EXPECT_EQ(surplus, 0);
  VNTsetintparam(env, VNT_PARAM_MIPORDIND, 0);
  read("p0033");
  int prio = 5, dir = 1;
  ASSERT_EQ(VNTcopyorder(env, lp, 1, &pick, &prio, &dir), 0);
  results.text.clear();
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_EQ(firstChild(results.text).first, plain.first);
  // Errors: a bad index, no room, no order.
  int bad = n;
  EXPECT_EQ(VNTcopyorder(env, lp, 1, &bad, nullptr, nullptr), VNTERR_COL_INDEX_RANGE);
  EXPECT_EQ(VNTgetorder(env, lp, &cnt, &idx, &pr, &dr, 0, &surplus), VNTERR_NEGATIVE_SURPLUS);
  EXPECT_EQ(surplus, -1);
  ASSERT_EQ(VNTdelcols(env, lp, pick, pick), 0);  // the ordered column goes, and the order with it
  EXPECT_EQ(VNTgetorder(env, lp, &cnt, &idx, &pr, &dr, 1, &surplus), VNTERR_NO_ORDER);
}

// Node files: with a tiny work memory the open nodes go to disk (mode 2
// plain, mode 3 compressed) in a directory of their own under the work
// directory, the answer is unchanged and nothing is left on disk; a work
// directory that cannot hold the node directory ends the run with 1422.
TEST_F(Mip, NodeFilesKeepTheAnswerAndLeaveNothingBehind) {
  char base[] = "/tmp/vanto_nodefilesXXXXXX";
  ASSERT_NE(mkdtemp(base), nullptr);
  VNTsetstrparam(env, VNT_PARAM_WORKDIR, base);
  VNTsetdblparam(env, VNT_PARAM_WORKMEM, 0.01);
  VNTsetlongparam(env, VNT_PARAM_MIPINTERVAL, 1);
  for (int mode : {2, 3}) {
    SCOPED_TRACE(mode);
    VNTsetintparam(env, VNT_PARAM_NODEFILEIND, mode);
    results.text.clear();
    solveToReference("lseu");
    const std::string& t = results.text;
    const std::string began = std::string("Began writing nodes to disk (directory ") + base + "/vnt";
    EXPECT_NE(t.find(began), std::string::npos) << t.substr(0, 2000);
    const size_t sz = t.find("Nodefile size = ");
    ASSERT_NE(sz, std::string::npos);
    const std::string line = t.substr(sz, t.find('\n', sz) - sz);
    EXPECT_EQ(line.find("after compression") != std::string::npos, mode == 3) << line;
    // The search is over: the node directory is gone.
    DIR* d = opendir(base);
    ASSERT_NE(d, nullptr);
    int entries = 0;
    while (dirent* e = readdir(d)) entries += e->d_name[0] != '.';
    closedir(d);
    EXPECT_EQ(entries, 0);
  }
  rmdir(base);
  // Mode 1 keeps every node in memory.
  VNTsetintparam(env, VNT_PARAM_NODEFILEIND, 1);
  results.text.clear();
  solveToReference("lseu");
  EXPECT_EQ(results.text.find("Began writing nodes"), std::string::npos);
  // No such work directory.
  VNTsetintparam(env, VNT_PARAM_NODEFILEIND, 3);
  VNTsetstrparam(env, VNT_PARAM_WORKDIR, "/nonexistent/vanto");
  read("lseu");
  errors.text.clear();
  EXPECT_EQ(VNTmipopt(env, lp), VNTERR_FAIL_OPEN_WRITE);
  EXPECT_NE(errors.text.find("Could not open file '/nonexistent/vanto/vntXXXXXX' for writing"), std::string::npos)
      << errors.text;
  const int stat = VNTgetstat(env, lp);
  EXPECT_TRUE(stat == VNTMIP_FAIL_FEAS || stat == VNTMIP_FAIL_INFEAS) << stat;
}

// Incumbent files: one solution file per new incumbent, numbered from 1,
// each holding its incumbent (objectives improve file by file, the last is
// the answer); a prefix that cannot be written is reported and the search
// goes on to the same answer.
TEST_F(Mip, IncumbentFilesFollowEveryNewIncumbent) {
  char base[] = "/tmp/vanto_incumbentsXXXXXX";
  ASSERT_NE(mkdtemp(base), nullptr);
  const std::string prefix = std::string(base) + "/inc";
  VNTsetstrparam(env, VNT_PARAM_INTSOLFILEPREFIX, prefix.c_str());
  results.text.clear();
  solveToReference("p0201");
  const std::string& t = results.text;
  int stars = 0;
  for (size_t p = 0; (p = t.find("\n*", p)) != std::string::npos; ++p) ++stars;
  ASSERT_GT(stars, 1);
  double last = 1e300, obj = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
  for (int k = 1; k <= stars; ++k) {
    char name[64];
    std::snprintf(name, sizeof name, "-%05d.sol", k);
    const std::string path = prefix + name;
    EXPECT_NE(t.find("New incumbent written to file '" + path + "'.\n"), std::string::npos) << path;
    FILE* f = std::fopen(path.c_str(), "r");
    ASSERT_NE(f, nullptr) << path;
    std::string xml;
    char buf[4096];
    for (size_t got; (got = std::fread(buf, 1, sizeof buf, f)) > 0;) xml.append(buf, got);
    std::fclose(f);
    std::remove(path.c_str());
    const size_t at = xml.find("objectiveValue=\"");
    ASSERT_NE(at, std::string::npos) << path;
    const double v = std::strtod(xml.c_str() + at + 16, nullptr);
    EXPECT_LT(v, last) << path;
    last = v;
  }
  EXPECT_NEAR(last, obj, 1e-9 * std::max(1.0, std::fabs(obj)));
  // No file beyond the last incumbent.
  char extra[64];
  std::snprintf(extra, sizeof extra, "-%05d.sol", stars + 1);
  EXPECT_NE(access((prefix + extra).c_str(), F_OK), 0);
  rmdir(base);
  VNTsetstrparam(env, VNT_PARAM_INTSOLFILEPREFIX, "/nonexistent/vanto/inc");
  errors.text.clear();
  solveToReference("p0201");
  EXPECT_NE(errors.text.find("Unable to write new incumbent to file '/nonexistent/vanto/inc-00001.sol'.\n"),
            std::string::npos)
      << errors.text;
}

}  // namespace

// Lazy constraints are constraints of the model: a run must give the answer
// of the same model with them written as ordinary rows, and the incumbent
// must satisfy them.
TEST_F(Mip, LazyConstraintsBindTheAnswer) {
  auto writeModel = [](const std::string& text) { return writeTempLp(text.c_str()); };
  unsigned seed = 7;
  auto rnd = [&](int k) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % static_cast<unsigned>(k));
  };
  for (int model = 0; model < 12; ++model) {
    const int n = 6 + rnd(5);
    std::string obj = "Maximize\n obj:", rows, lazy;
    for (int j = 0; j < n; ++j) obj += " + " + std::to_string(1 + rnd(9)) + " x" + std::to_string(j);
    std::string knap = " c0:";
    for (int j = 0; j < n; ++j) knap += " + " + std::to_string(1 + rnd(6)) + " x" + std::to_string(j);
    rows = knap + " <= " + std::to_string(3 * n) + "\n";
    // Pairwise exclusions and a cardinality limit the objective wants to break.
    for (int k = 0; k < 3; ++k) {
      const int a = rnd(n), b = (a + 1 + rnd(n - 1)) % n;
      lazy += " l" + std::to_string(k) + ": x" + std::to_string(a) + " + x" + std::to_string(b) + " <= 1\n";
    }
    std::string card = " l3:";
    for (int j = 0; j < n; ++j) card += " + x" + std::to_string(j);
    const int cap = 2 + rnd(3);
    lazy += card + " <= " + std::to_string(cap) + "\n";
    const std::string tail = "Binaries\n";
    std::string bins;
    for (int j = 0; j < n; ++j) bins += " x" + std::to_string(j);
    const std::string withLazy = obj + "\nSubject To\n" + rows + "Lazy Constraints\n" + lazy + tail + bins + "\nEnd\n";
    const std::string asRows = obj + "\nSubject To\n" + rows + lazy + tail + bins + "\nEnd\n";
    const std::string pl = writeModel(withLazy), pr = writeModel(asRows);
    ASSERT_FALSE(pl.empty());
    ASSERT_FALSE(pr.empty());
    for (int presolve : {1, 0}) {
      VNTsetintparam(env, VNT_PARAM_PREIND, presolve);
      ASSERT_EQ(VNTreadcopyprob(env, lp, pr.c_str(), nullptr), 0);
      warnings.text.clear();
      ASSERT_EQ(VNTmipopt(env, lp), 0);
      EXPECT_EQ(warnings.text.find("Lazy constraint(s)"), std::string::npos) << warnings.text;
      double want = 0.0;
      ASSERT_EQ(VNTgetobjval(env, lp, &want), 0);
      ASSERT_EQ(VNTreadcopyprob(env, lp, pl.c_str(), nullptr), 0);
      ASSERT_EQ(VNTmipopt(env, lp), 0);
      // The settings checks say what the lazy constraints switch off.
      EXPECT_NE(warnings.text.find("         Disabling repeat represolve because of lazy constraint/incumbent "
                                   "callback.\nLazy constraint(s) or lazy constraint/branch callback is present.\n"
                                   "    Disabling presolve reductions that prevent crushing forms "
                                   "(VNT_PARAM_PREREFORM).\nLazy constraint(s) or lazy constraint/branch callback "
                                   "is present.\n    Disabling dual reductions (VNT_PARAM_REDUCE) in presolve.\n"),
                std::string::npos)
          << warnings.text;
      const int stat = VNTgetstat(env, lp);
      EXPECT_TRUE(stat == VNTMIP_OPTIMAL || stat == VNTMIP_OPTIMAL_TOL) << stat << "\n" << withLazy;
      double got = 0.0;
      ASSERT_EQ(VNTgetobjval(env, lp, &got), 0);
      EXPECT_NEAR(got, want, 1e-6) << "presolve " << presolve << "\n" << withLazy;
      // The cardinality row, checked on the returned point.
      const std::vector<double> x = incumbent();
      double sum = 0.0;
      for (double v : x) sum += v;
      EXPECT_LE(sum, cap + 1e-6) << withLazy;
    }
    std::remove(pl.c_str());
    std::remove(pr.c_str());
  }
  VNTsetintparam(env, VNT_PARAM_PREIND, 1);
}

// A point whose integers lie within the integrality tolerance of their
// values drags the continuous columns tied to them: here a piecewise-linear
// y = f(x1) whose LP point had x1 = -1 + 2e-6 and y short of f(-1) = 2 by
// 4e-6, reported with x1 = -1 and an objective 1.2e-5 below the optimum -9.
// The answer must be the model's value at the reported integers.
TEST_F(Mip, ContinuousColumnsFollowTheRoundedIntegers) {
  const char* text =
      "Minimize\n obj: - 5 x0 - x1 - 3 x2 + 2 x3 - 2 x4 + 3 x5 - x6\n"
      "Subject To\n r0: - x0 + x1 + 2 x2 + 2 x4 - x6 = -1\n"
      "Bounds\n -1 <= x0 <= 3\n -1 <= x1 <= 2\n 0 <= x2 <= 3\n 0 <= x3 <= 2\n 0 <= x4 <= 1\n"
      " -1000 <= x5 <= 1000\n -1000 <= x6 <= 1000\n"
      "Binaries\n x4\nGenerals\n x0 x1 x2 x3\n"
      "Pwl\n p1: x5 = x1 -2 (0, 0) (1, 4) (2, 4) (4, 2) -1\n p2: x6 = x2 1 (0, -1) -1\nEnd\n";
  solveWithAndWithoutPresolve(text, -9.0, 1e-8, [](const std::vector<double>& x) {
    ASSERT_EQ(x.size(), 7u);
    // f(x1) of p1 at the reported integer x1.
    const double x1 = x[1];
    double fx = x1 <= 0 ? -2.0 * x1 : (x1 <= 1 ? 4.0 * x1 : 4.0);
    EXPECT_NEAR(x[5], fx, 1e-8) << "x1 " << x1;
    EXPECT_NEAR(x[6], -1.0 - x[2], 1e-8);
  });
}

// A binary within the integrality tolerance of 0 (5e-6) leaves a big-M row
// (coefficient 1e6) 5 units of room: the LP point looks integral but is no
// solution.  With the binary at 0 the continuous part either follows (first
// model: optimum 0) or cannot (second model: only z = 1 works, optimum 995).
TEST_F(Mip, IntegralitySlackNeverSwitchesABigMRowOff) {
  struct Case {
    const char* text;
    double opt, z;
  } cases[] = {
      {"Minimize\n obj: - x + 1000 z\nSubject To\n bigm: x - 1000000 z <= 0\n"
       "Bounds\n 0 <= x <= 5\nBinaries\n z\nEnd\n",
       0.0, 0.0},
      {"Minimize\n obj: - x + 1000 z\nSubject To\n bigm: x - 1000000 z <= 0\n link: x + y = 5\n"
       "Bounds\n 0 <= x <= 5\n 0 <= y <= 1\nBinaries\n z\nEnd\n",
       995.0, 1.0},
  };
  for (const Case& c : cases)
    solveWithAndWithoutPresolve(c.text, c.opt, 1e-5, [&](const std::vector<double>& x) {
      const int zc = 1;  // columns in order of appearance: x, z (, y)
      EXPECT_NEAR(x[zc], c.z, 1e-9);
      // The big-M row with z at its integer value.
      EXPECT_LE(x[0] - 1e6 * std::round(x[zc]), 1e-5);
    });
}

// A model with a feasible integer point whose relaxation is unbounded is
// unbounded (rational data): the answer is 118 with a feasible incumbent and
// no finite bound, found by the root relaxation and by presolve alike (the
// first model's improving direction (1, 1) runs through rows, the second's is
// one column no row limits).  A relaxation that is unbounded while no integer
// point exists must never be called unbounded.
TEST_F(Mip, UnboundedRelaxationWithAnIntegerPointIsAnUnboundedModel) {
  const char* unbounded[] = {
      "Minimize\n obj: - u - 2 v + 3 x\nSubject To\n r0: 3 u - 3 v + x >= 2\n r1: u - v - 2 x <= 0.5\n"
      " r2: x + y = 1.5\nBounds\n 0 <= x <= 4\n 0 <= y <= 1\nGenerals\n u v x\nEnd\n",
      "Minimize\n obj: x - w\nSubject To\n r0: 2 x + 3 y >= 7\n r1: x - y <= 1\n r2: - w + 4 y <= 9\n"
      "Bounds\n y <= 5\n w >= -3\nGenerals\n x y w\nEnd\n",
  };
  for (const char* text : unbounded)
    for (int presolve : {1, 0}) {
      SCOPED_TRACE(std::string("presolve ") + std::to_string(presolve) + "\n" + text);
      const std::string file = writeTempLp(text);
      ASSERT_FALSE(file.empty());
      VNTsetintparam(env, VNT_PARAM_PREIND, presolve);
      ASSERT_EQ(VNTreadcopyprob(env, lp, file.c_str(), nullptr), 0);
      std::remove(file.c_str());
      ASSERT_EQ(VNTmipopt(env, lp), 0);
      EXPECT_EQ(VNTgetstat(env, lp), VNTMIP_UNBOUNDED);
      expectFeasible(incumbent());
      double bound = 0.0;
      ASSERT_EQ(VNTgetbestobjval(env, lp, &bound), 0);
      EXPECT_LE(bound, -1e75);
    }
  // 2x - 2y = 1 has no integer point; the relaxation recedes along (1, 1).
  const std::string file = writeTempLp(
      "Minimize\n obj: - x - y\nSubject To\n r0: 2 x - 2 y = 1\nGenerals\n x y\nEnd\n");
  ASSERT_FALSE(file.empty());
  for (int presolve : {1, 0}) {
    VNTsetintparam(env, VNT_PARAM_PREIND, presolve);
    ASSERT_EQ(VNTreadcopyprob(env, lp, file.c_str(), nullptr), 0);
    VNTsetlongparam(env, VNT_PARAM_NODELIM, 2000);
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    const int stat = VNTgetstat(env, lp);
    EXPECT_TRUE(stat == VNTMIP_INForUNBD || stat == VNTMIP_INFEASIBLE || stat == 106) << stat;
  }
  std::remove(file.c_str());
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 9223372036800000000LL);
  VNTsetintparam(env, VNT_PARAM_PREIND, 1);
}
