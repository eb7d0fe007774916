// The conflict refiner: on every infeasible model of the test set the
// conflict written by VNTclpwrite reads back infeasible, and when the
// status says minimal, dropping any one member makes it feasible.  Plus the
// feasibility short-cut, the report, the group form and parameter restore.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "lp_api/lp_fixture.h"

namespace {

constexpr long long kItCap = 200000;

class Conflict : public LpFixtureTest {
 protected:
  void SetUp() override {
    LpFixtureTest::SetUp();
    VNTsetlongparam(env, VNT_PARAM_ITLIM, kItCap);
    VNTsetintparam(env, VNT_PARAM_PREIND, 0);
  }
  // Solve status of a problem (LP optimizer, capped).
  int solveStatus(VNTLPptr p) {
    EXPECT_EQ(VNTlpopt(env, p), 0);
    return VNTgetstat(env, p);
  }
};

// Every infeasible model; under the sanitizers the six largest (each a few
// hundred to a thousand members, most of the run's time) wait for
// VANTO_LONG_TESTS: the smaller models take every path of the search (the
// certificate start, bisection, the violated-set step, crossed bounds).
std::vector<std::string> infeasibleModels() {
  std::vector<std::string> names;
#if defined(__SANITIZE_ADDRESS__)
  const bool all = std::getenv("VANTO_LONG_TESTS") != nullptr;
#else
  const bool all = true;
#endif
  for (const auto& e : std::filesystem::directory_iterator(vnt::test::dataDir() + "/infeas")) {
    std::string f = e.path().filename().string();
    const std::string suffix = ".mps.gz";
    if (f.size() > suffix.size() && f.compare(f.size() - suffix.size(), suffix.size(), suffix) == 0) {
      const std::string name = f.substr(0, f.size() - suffix.size());
      const bool large = name == "bgindy" || name == "ceria3d" || name == "gosh" || name == "gran" ||
                         name == "greenbea" || name == "klein3";
      if (all || !large) names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Every infeasible model: the conflict is infeasible on its own and, when
// minimal, irreducible.
TEST_F(Conflict, EveryInfeasibleModelGivesAnIrreducibleConflict) {
  const std::vector<std::string> names = infeasibleModels();
  ASSERT_FALSE(names.empty());
  int minimal = 0;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    read("infeas", name);
    int nr = -1, nc = -1;
    ASSERT_EQ(VNTrefineconflict(env, lp, &nr, &nc), 0);
    int cstat = 0, rows = 0, cols = 0;
    const int m = VNTgetnumrows(env, lp), n = VNTgetnumcols(env, lp);
    std::vector<int> rowind(m), rowbd(m), colind(n), colbd(n);
    ASSERT_EQ(VNTgetconflict(env, lp, &cstat, rowind.data(), rowbd.data(), &rows, colind.data(), colbd.data(), &cols),
              0);
    ASSERT_TRUE(cstat == VNT_STAT_CONFLICT_MINIMAL || cstat == VNT_STAT_CONFLICT_ABORT_CONTRADICTION) << cstat;
    EXPECT_EQ(rows, nr);
    EXPECT_EQ(cols, nc);
    EXPECT_GT(rows + cols, 0);
    EXPECT_TRUE(results.contains(cstat == VNT_STAT_CONFLICT_MINIMAL ? "Minimal conflict:" : "Non-minimal conflict:"));
    // The conflict as an LP file, read back: infeasible.
    const std::string file = ::testing::TempDir() + "vnt_conflict_" + name + ".lp";
    ASSERT_EQ(VNTclpwrite(env, lp, file.c_str()), 0);
    int st = 0;
    VNTLPptr sub = VNTcreateprob(env, &st, "sub");
    ASSERT_NE(sub, nullptr);
    ASSERT_EQ(VNTreadcopyprob(env, sub, file.c_str(), nullptr), 0);
    EXPECT_EQ(VNTgetnumrows(env, sub), rows);
    EXPECT_EQ(solveStatus(sub), 3);
    if (cstat == VNT_STAT_CONFLICT_MINIMAL) {
      ++minimal;
      // Drop each member in turn: the rest must be feasible.  The file
      // holds the member rows in their order and the columns of the member
      // rows and bounds in theirs.
      const Matrix a = matrix();
      std::vector<char> inRow(m, 0), used(n, 0);
      for (int r = 0; r < rows; ++r) inRow[rowind[r]] = 1;
      for (int c = 0; c < cols; ++c) used[colind[c]] = 1;
      for (int j = 0; j < n; ++j)
        for (int k = a.beg[j]; k < a.beg[j + 1]; ++k)
          if (inRow[a.ind[k]]) used[j] = 1;
      std::vector<int> subCol(n, -1);
      int nsub = 0;
      for (int j = 0; j < n; ++j)
        if (used[j]) subCol[j] = nsub++;
      ASSERT_EQ(VNTgetnumcols(env, sub), nsub);
      for (int r = 0; r < rows; ++r) {
        VNTLPptr drop = VNTcloneprob(env, sub, &st);
        ASSERT_NE(drop, nullptr);
        ASSERT_EQ(VNTdelrows(env, drop, r, r), 0);
        EXPECT_NE(solveStatus(drop), 3) << "row " << rowind[r] << " is not needed";
        VNTfreeprob(env, &drop);
      }
      for (int c = 0; c < cols; ++c) {
        const int k = subCol[colind[c]];
        // Column statuses: 3 both bounds, 4 lower, 5 upper.
        ASSERT_GE(colbd[c], 3);
        for (char which : {'L', 'U'}) {
          if (which == 'L' && colbd[c] == 5) continue;
          if (which == 'U' && colbd[c] == 4) continue;
          VNTLPptr drop = VNTcloneprob(env, sub, &st);
          ASSERT_NE(drop, nullptr);
          const double inf = which == 'L' ? -1e20 : 1e20;
          ASSERT_EQ(VNTchgbds(env, drop, 1, &k, &which, &inf), 0);
          EXPECT_NE(solveStatus(drop), 3) << which << " bound of column " << colind[c] << " is not needed";
          VNTfreeprob(env, &drop);
        }
      }
    }
    VNTfreeprob(env, &sub);
    std::remove(file.c_str());
  }
  // The status must claim minimality on most models for the check to mean
  // something.
  EXPECT_GE(minimal * 4, static_cast<int>(names.size()) * 3);
}

// Two contradictory bounds on one column: one lower and one upper bound,
// no rows; the report prints no line for absent constraint families.
TEST_F(Conflict, CrossedBoundsAreTheConflict) {
  const double obj[] = {1, 1}, rhs[] = {10}, lb[] = {0, 5}, ub[] = {4, 2};
  const char sen[] = {'L'};
  const int beg[] = {0, 1}, cnt[] = {1, 1}, ind[] = {0, 0};
  const double val[] = {1, 1};
  ASSERT_EQ(VNTcopylp(env, lp, 2, 1, VNT_MIN, obj, rhs, sen, beg, cnt, ind, val, lb, ub, nullptr), 0);
  int nr = -1, nc = -1;
  ASSERT_EQ(VNTrefineconflict(env, lp, &nr, &nc), 0);
  EXPECT_EQ(nr, 0);
  EXPECT_EQ(nc, 1);
  int cstat = 0, rows = -1, cols = -1, colind[2], colbd[2], rowind[1], rowbd[1];
  ASSERT_EQ(VNTgetconflict(env, lp, &cstat, rowind, rowbd, &rows, colind, colbd, &cols), 0);
  EXPECT_EQ(cstat, VNT_STAT_CONFLICT_MINIMAL);
  ASSERT_EQ(cols, 1);
  EXPECT_EQ(colind[0], 1);
  EXPECT_EQ(colbd[0], 3);  // both bounds
  const std::string out = results.all();
  EXPECT_NE(out.find("Minimal conflict:    0 linear constraint(s)"), std::string::npos) << out;
  EXPECT_NE(out.find("                     1 lower bound(s)"), std::string::npos) << out;
  EXPECT_NE(out.find("                     1 upper bound(s)"), std::string::npos) << out;
  EXPECT_EQ(out.find("SOS set(s)"), std::string::npos);
}

TEST_F(Conflict, FeasibleProblemShortCutAndParameterRestore) {
  read("netlib", "afiro");
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_BENDERSSTRATEGY, 1), 0);
  ASSERT_EQ(solveStatus(lp), 1);
  logLines.lines.clear();
  ASSERT_EQ(VNTrefineconflict(env, lp, nullptr, nullptr), 0);
  EXPECT_TRUE(results.contains("Problem is feasible; no conflict available.\n"));
  EXPECT_FALSE(logLines.contains("Refine conflict"));  // no search
  int cstat = 0, rows = 0, cols = 0;
  ASSERT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, &rows, nullptr, nullptr, &cols), 0);
  EXPECT_EQ(cstat, VNT_STAT_CONFLICT_FEASIBLE);
  EXPECT_EQ(VNTclpwrite(env, lp, (::testing::TempDir() + "vnt_none.lp").c_str()), 1719);
  int v = 0;
  ASSERT_EQ(VNTgetintparam(env, VNT_PARAM_BENDERSSTRATEGY, &v), 0);
  EXPECT_EQ(v, 1);
  // Without the short-cut the search runs and finds the model feasible.
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_ADVIND, 0), 0);
  ASSERT_EQ(VNTrefineconflict(env, lp, nullptr, nullptr), 0);
  EXPECT_TRUE(logLines.contains("Refine conflict on"));
  ASSERT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, &rows, nullptr, nullptr, &cols), 0);
  EXPECT_EQ(cstat, VNT_STAT_CONFLICT_FEASIBLE);
  // A change to the problem discards the conflict record.
  ASSERT_EQ(VNTchgobjsen(env, lp, VNT_MAX), 0);
  EXPECT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, &rows, nullptr, nullptr, &cols), 1719);
}

// Groups: a row-pair group with a high preference and single bounds; the
// group statuses, counts and the groups read back.
TEST_F(Conflict, GroupsWithPreferences) {
  // x + y >= 4 (row 0), x + y <= 2 (row 1), x - y = 0 (row 2); x, y in [0, 10].
  const double obj[] = {0, 0}, rhs[] = {4, 2, 0}, lb[] = {0, 0}, ub[] = {10, 10};
  const char sen[] = {'G', 'L', 'E'};
  const int beg[] = {0, 3}, cnt[] = {3, 3}, ind[] = {0, 1, 2, 0, 1, 2};
  const double val[] = {1, 1, 1, 1, 1, -1};
  ASSERT_EQ(VNTcopylp(env, lp, 2, 3, VNT_MIN, obj, rhs, sen, beg, cnt, ind, val, lb, ub, nullptr), 0);
  // Group 0: rows 0 and 1 together; group 1: row 2; group 2: the lower
  // bound of x (not needed).
  const double pref[] = {2.0, 1.0, 1.0};
  const int gbeg[] = {0, 2, 3};
  const int gind[] = {0, 1, 2, 0};
  const char gtype[] = {3, 3, 3, 1};
  ASSERT_EQ(VNTrefineconflictext(env, lp, 3, 4, pref, gbeg, gind, gtype), 0);
  EXPECT_EQ(VNTgetconflictnumgroups(env, lp), 3);
  int gstat[3];
  ASSERT_EQ(VNTgetconflictext(env, lp, gstat, 0, 2), 0);
  EXPECT_EQ(gstat[0], 3);  // member
  EXPECT_EQ(gstat[1], -1);
  EXPECT_EQ(gstat[2], -1);
  EXPECT_GE(VNTgetconflictnumpasses(env, lp), 1);
  int concnt = 0, surplus = 0;
  double gp[3];
  int gb[3], gi[4];
  char gt[4];
  ASSERT_EQ(VNTgetconflictgroups(env, lp, &concnt, gp, gb, gi, gt, 4, &surplus, 0, 2), 0);
  EXPECT_EQ(concnt, 4);
  EXPECT_EQ(surplus, 0);
  EXPECT_EQ(gb[1], 2);
  EXPECT_EQ(gi[3], 0);
  EXPECT_EQ(gt[3], 1);
  EXPECT_EQ(gp[0], 2.0);
  EXPECT_EQ(VNTgetconflictgroups(env, lp, &concnt, gp, gb, gi, gt, 3, &surplus, 0, 2), 1207);
  EXPECT_EQ(surplus, -1);
  // The non-group query does not answer for a group refinement.
  int cstat = 0, rows = 0, cols = 0;
  EXPECT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, &rows, nullptr, nullptr, &cols), 1719);
  // Bad group data.
  const char badType[] = {9, 3, 3, 1};
  EXPECT_EQ(VNTrefineconflictext(env, lp, 3, 4, pref, gbeg, gind, badType), 1003);
  const int badInd[] = {0, 7, 2, 0};
  EXPECT_NE(VNTrefineconflictext(env, lp, 3, 4, pref, gbeg, badInd, gtype), 0);
}

// Integer models: each member in a group of its own, so that the group
// statuses show the special constraints too.  The conflicts are known by
// hand; every member named below is needed (dropping it leaves a model with
// an integer solution) and nothing else is.
class MipConflict : public Conflict {
 protected:
  void loadText(const std::string& text) {
    const std::string path = ::testing::TempDir() + "vnt_mipconflict_" + std::to_string(::getpid()) + ".lp";
    {
      std::ofstream out(path);
      out << text;
    }
    ASSERT_EQ(VNTreadcopyprob(env, lp, path.c_str(), "LP"), 0);
    std::remove(path.c_str());
  }
  int col(const char* name) {
    int j = -1;
    EXPECT_EQ(VNTgetcolindex(env, lp, name, &j), 0) << name;
    return j;
  }
  int row(const char* name) {
    int i = -1;
    EXPECT_EQ(VNTgetrowindex(env, lp, name, &i), 0) << name;
    return i;
  }
  struct Member {
    char kind;
    int index;
  };
  // Refines over one group per member; returns the members in the conflict.
  std::vector<int> refine(const std::vector<Member>& members) {
    std::vector<double> pref(members.size(), 1.0);
    std::vector<int> beg, ind;
    std::vector<char> type;
    for (const Member& mb : members) {
      beg.push_back(static_cast<int>(ind.size()));
      ind.push_back(mb.index);
      type.push_back(mb.kind);
    }
    const int g = static_cast<int>(members.size());
    EXPECT_EQ(VNTrefineconflictext(env, lp, g, g, pref.data(), beg.data(), ind.data(), type.data()), 0);
    int cstat = 0;
    EXPECT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1719);
    std::vector<int> stat(g);
    EXPECT_EQ(VNTgetconflictext(env, lp, stat.data(), 0, g - 1), 0);
    std::vector<int> in;
    for (int k = 0; k < g; ++k)
      if (stat[k] != -1) in.push_back(k);
    return in;
  }
};

TEST_F(MipConflict, SpecialConstraintsAreMembers) {
  // Special ordered set: x + y >= 1.5 with x, y <= 1 needs both nonzero.
  loadText("Maximize\n obj: x + y + z\nSubject To\n c0: x + y >= 1.5\n c1: z <= 5\n c2: x + z >= 0\n"
           "Bounds\n x <= 1\n y <= 1\n z <= 10\nSOS\n s1: S1:: x:1 y:2\nEnd\n");
  const int x = col("x"), y = col("y"), z = col("z");
  EXPECT_EQ(refine({{3, row("c0")}, {3, row("c1")}, {3, row("c2")}, {1, x}, {1, y}, {1, z}, {2, x}, {2, y}, {2, z},
                    {5, 0}}),
            (std::vector<int>{0, 6, 7, 9}));
  EXPECT_TRUE(results.contains("Minimal conflict:"));
  EXPECT_TRUE(results.contains("SOS set(s)"));
  EXPECT_FALSE(results.contains("indicator constraint(s)"));
  // Indicator: z fixed at 1 switches x <= 1 on against x >= 2.
  results.lines.clear();
  loadText("Minimize\n obj: x\nSubject To\n a: x >= 2\n b: x + z <= 20\n i: z = 1 -> x <= 1\n"
           "Bounds\n 1 <= z <= 1\n x <= 10\nGenerals\n z\nEnd\n");
  const int xi = col("x"), zi = col("z");
  EXPECT_EQ(refine({{3, row("a")}, {3, row("b")}, {6, 0}, {1, xi}, {2, xi}, {1, zi}, {2, zi}}),
            (std::vector<int>{0, 2, 5}));
  EXPECT_TRUE(results.contains(" 1 indicator constraint(s)"));
  // Piecewise-linear: y = f(x) never exceeds 2.
  loadText("Minimize\n obj: y\nSubject To\n a: y >= 3\n b: x <= 8\nBounds\n -10 <= x <= 10\n y free\n"
           "Pwl\n p1: y = x 0 (0, 0) (2, 2) 0\nEnd\n");
  EXPECT_EQ(refine({{3, row("a")}, {3, row("b")}, {7, 0}, {1, col("x")}, {2, col("x")}}), (std::vector<int>{0, 2}));
  // Integrality alone: 2x + 2y = 3 has LP solutions but no integer one (the
  // rows are the candidates; the bounds stay).
  loadText("Minimize\n obj: x\nSubject To\n c0: 2 x + 2 y = 3\n c1: x - y <= 100\nBounds\n x <= 10\n"
           " y <= 10\nGenerals\n x y\nEnd\n");
  EXPECT_EQ(refine({{3, 0}, {3, 1}}), (std::vector<int>{0}));
  EXPECT_TRUE(results.contains("Minimal conflict:"));
  // Kinds that do not exist in the model are refused.
  const double pref = 1;
  const int beg = 0, bad = 3;
  const char sosType = 5;
  EXPECT_EQ(VNTrefineconflictext(env, lp, 1, 1, &pref, &beg, &bad, &sosType), 1200);
}

TEST_F(MipConflict, MipStartConflict) {
  // x + y <= 1 with the start x = y = 1: the row and the two values.
  loadText("Maximize\n obj: x + y + w\nSubject To\n c0: x + y <= 1\n c1: y + w <= 1\nBinaries\n x y w\nEnd\n");
  const int beg = 0, idx[] = {col("x"), col("y")}, effort = 0;
  const double val[] = {1, 1};
  ASSERT_EQ(VNTaddmipstarts(env, lp, 1, 2, &beg, idx, val, &effort, nullptr), 0);
  int nr = -1, nc = -1;
  ASSERT_EQ(VNTrefinemipstartconflict(env, lp, 0, &nr, &nc), 0);
  EXPECT_EQ(nr, 1);
  EXPECT_EQ(nc, 2);
  int cstat = 0, rind[2], rstat[2], cind[3], cstatv[3], rows = 0, cols = 0;
  ASSERT_EQ(VNTgetconflict(env, lp, &cstat, rind, rstat, &rows, cind, cstatv, &cols), 0);
  EXPECT_EQ(cstat, VNT_STAT_CONFLICT_MINIMAL);
  EXPECT_EQ(rind[0], row("c0"));
  EXPECT_EQ(VNTrefinemipstartconflict(env, lp, 1, &nr, &nc), 1200);
  // The same through groups: only the start's values may go.
  const double pref[] = {1, 1};
  const int gbeg[] = {0, 1}, gind[] = {idx[0], idx[1]};
  const char gtype[] = {1, 1};
  ASSERT_EQ(VNTrefinemipstartconflictext(env, lp, 0, 2, 2, pref, gbeg, gind, gtype), 0);
  int gstat[2];
  ASSERT_EQ(VNTgetconflictext(env, lp, gstat, 0, 1), 0);
  EXPECT_EQ(gstat[0], 3);
  EXPECT_EQ(gstat[1], 3);
  // An LP has no MIP starts.
  loadText("Minimize\n obj: x\nSubject To\n c0: x >= 1\nEnd\n");
  EXPECT_NE(VNTrefinemipstartconflict(env, lp, 0, &nr, &nc), 0);
}

// Limits end the search with their own status; the conflict found so far
// stays available.
TEST_F(Conflict, LimitsEndTheSearchWithTheirStatus) {
  read("infeas", "klein3");
  struct Case {
    int param;
    double value;
    int expected;
  };
  for (const Case& c : {Case{VNT_PARAM_ITLIM, 3, VNT_STAT_CONFLICT_ABORT_IT_LIM},
                        Case{VNT_PARAM_DETTILIM, 0.01, 39}, Case{VNT_PARAM_TILIM, 0.0, VNT_STAT_CONFLICT_ABORT_TIME_LIM}}) {
    SCOPED_TRACE(c.expected);
    if (c.param == VNT_PARAM_ITLIM) ASSERT_EQ(VNTsetlongparam(env, c.param, static_cast<long long>(c.value)), 0);
    else ASSERT_EQ(VNTsetdblparam(env, c.param, c.value), 0);
    int nr = -1, nc = -1;
    ASSERT_EQ(VNTrefineconflict(env, lp, &nr, &nc), 0);
    int cstat = 0;
    ASSERT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(cstat, c.expected);
    ASSERT_EQ(VNTsetdefaults(env), 0);
    VNTsetintparam(env, VNT_PARAM_PREIND, 0);
  }
  int flag = 1;
  ASSERT_EQ(VNTsetterminate(env, &flag), 0);
  ASSERT_EQ(VNTrefineconflict(env, lp, nullptr, nullptr), 0);
  int cstat = 0;
  ASSERT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(cstat, VNT_STAT_CONFLICT_ABORT_USER);
  ASSERT_EQ(VNTsetterminate(env, nullptr), 0);
}

// The MIP limits: the node limit (35), the tree memory limit (37) and a
// cutoff the candidate problems' zero objective already fails (36); the
// same cutoff under its limit changes nothing, since the candidate solves
// run without the caller's cutoff.
TEST_F(MipConflict, NodeMemoryAndObjectiveLimitsEndTheSearch) {
  // No binary point on 2x + 2y + 2z = 3, every LP point fine: the search
  // must branch (cuts, heuristics and probing off so that the root cannot
  // tell).
  loadText("Minimize\n obj: x + y + z\nSubject To\n c0: 2 x + 2 y + 2 z = 3\n c1: x - y <= 1\n"
           " c2: x + y + z <= 50\nBinaries\n x y z\nEnd\n");
  VNTsetintparam(env, VNT_PARAM_CUTPASS, -1);
  VNTsetintparam(env, VNT_PARAM_HEURFREQ, -1);
  VNTsetintparam(env, VNT_PARAM_PROBE, -1);
  std::vector<int> rowStat;
  auto conflictStatus = [&]() {
    EXPECT_EQ(VNTrefineconflict(env, lp, nullptr, nullptr), 0);
    int cstat = 0, rows = 0;
    std::vector<int> rind(3);
    rowStat.assign(3, -9);
    EXPECT_EQ(VNTgetconflict(env, lp, &cstat, rind.data(), rowStat.data(), &rows, nullptr, nullptr, nullptr), 0);
    rowStat.resize(rows);
    return cstat;
  };
  EXPECT_EQ(conflictStatus(), VNT_STAT_CONFLICT_MINIMAL);
  EXPECT_EQ(rowStat, (std::vector<int>{3}));
  ASSERT_EQ(VNTsetlongparam(env, VNT_PARAM_NODELIM, 0), 0);
  EXPECT_EQ(conflictStatus(), VNT_STAT_CONFLICT_ABORT_NODE_LIM);
  ASSERT_EQ(VNTsetlongparam(env, VNT_PARAM_NODELIM, 9223372036800000000LL), 0);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_TRELIM, 0.0), 0);
  EXPECT_EQ(conflictStatus(), VNT_STAT_CONFLICT_ABORT_MEM_LIM);
  // Stopped before any answer: every candidate may still be a member.
  EXPECT_EQ(rowStat, (std::vector<int>{0, 0, 0}));
  EXPECT_TRUE(results.contains("Non-minimal conflict:    3 linear constraint(s)"));
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_TRELIM, 1e75), 0);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_CUTUP, -1.0), 0);
  EXPECT_EQ(conflictStatus(), VNT_STAT_CONFLICT_ABORT_OBJ_LIM);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_CUTUP, 0.5), 0);  // 0 meets it: no effect
  EXPECT_EQ(conflictStatus(), VNT_STAT_CONFLICT_MINIMAL);
  double cut = 0;
  ASSERT_EQ(VNTgetdblparam(env, VNT_PARAM_CUTUP, &cut), 0);
  EXPECT_EQ(cut, 0.5);
}

// The LP objective limit the dual simplex uses: one that 0 passes ends the
// refinement at once (36); in a maximization the lower limit counts.
TEST_F(Conflict, ObjectiveLimitTheCandidatesFailEndsTheSearch) {
  read("infeas", "itest6");
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_OBJULIM, -1.0), 0);
  int nr = -1, nc = -1;
  ASSERT_EQ(VNTrefineconflict(env, lp, &nr, &nc), 0);
  int cstat = 0;
  ASSERT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(cstat, VNT_STAT_CONFLICT_ABORT_OBJ_LIM);
  EXPECT_EQ(nr, VNTgetnumrows(env, lp));
  ASSERT_EQ(VNTchgobjsen(env, lp, VNT_MAX), 0);  // the upper limit no longer applies
  ASSERT_EQ(VNTrefineconflict(env, lp, &nr, &nc), 0);
  ASSERT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(cstat, VNT_STAT_CONFLICT_MINIMAL);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_OBJLLIM, 2.0), 0);
  ASSERT_EQ(VNTrefineconflict(env, lp, &nr, &nc), 0);
  ASSERT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(cstat, VNT_STAT_CONFLICT_ABORT_OBJ_LIM);
}

// Quadratic parts: a quadratic objective plays no part; quadratic
// constraints are left out of the candidate problems, so a conflict in the
// linear part is found and proved, and a model whose linear part is
// feasible is answered only when that point meets the quadratic
// constraints too.
TEST_F(MipConflict, QuadraticModels) {
  // Quadratic objective: the same conflict as the linear model.
  loadText("Minimize\n obj: x + [ x ^ 2 + y ^ 2 ] / 2\nSubject To\n c0: x + y >= 4\n c1: x + y <= 2\n"
           " c2: x - y <= 1\nEnd\n");
  int nr = -1, nc = -1, cstat = 0;
  ASSERT_EQ(VNTrefineconflict(env, lp, &nr, &nc), 0);
  ASSERT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(cstat, VNT_STAT_CONFLICT_MINIMAL);
  EXPECT_EQ(nr, 2);
  // A quadratic constraint next to a linear conflict: not a member, and the
  // report has its line.
  results.lines.clear();
  loadText("Minimize\n obj: x\nSubject To\n c0: x + y >= 4\n c1: x + y <= 2\n q0: [ x ^ 2 + y ^ 2 ] <= 1\nEnd\n");
  const int q = 4;  // kind: quadratic constraint
  std::vector<int> in = refine({{3, row("c0")}, {3, row("c1")}, {q, 0}});
  EXPECT_EQ(in, (std::vector<int>{0, 1}));
  EXPECT_TRUE(results.contains("Minimal conflict:"));
  EXPECT_TRUE(results.contains("    0 quadratic constraint(s)"));
  ASSERT_EQ(VNTrefineconflict(env, lp, &nr, &nc), 0);
  EXPECT_EQ(nr, 2);
  // The same rows grouped with the quadratic constraint: infeasible, but
  // not proved minimal.
  {
    const double pref[] = {1, 1};
    const int beg[] = {0, 2}, ind[] = {row("c0"), 0, row("c1")};
    const char type[] = {3, 4, 3};
    ASSERT_EQ(VNTrefineconflictext(env, lp, 2, 3, pref, beg, ind, type), 0);
    int gstat[2];
    ASSERT_EQ(VNTgetconflictext(env, lp, gstat, 0, 1), 0);
    EXPECT_EQ(gstat[0], 0);
    EXPECT_EQ(gstat[1], 0);
    EXPECT_TRUE(results.contains("Non-minimal conflict:"));
    const std::string path = ::testing::TempDir() + "vnt_qconflict_" + std::to_string(::getpid()) + ".lp";
    ASSERT_EQ(VNTclpwrite(env, lp, path.c_str()), 0);
    std::ifstream f(path);
    std::stringstream text;
    text << f.rdbuf();
    std::remove(path.c_str());
    EXPECT_NE(text.str().find("q0"), std::string::npos) << text.str();
  }
  // Linear part feasible, the quadratic constraint breaks it: no answer.
  results.lines.clear();
  loadText("Minimize\n obj: x\nSubject To\n c0: x + y >= 4\n q0: [ x ^ 2 + y ^ 2 ] <= 1\nEnd\n");
  EXPECT_EQ(VNTrefineconflict(env, lp, &nr, &nc), 1018);
  EXPECT_TRUE(results.contains("Failed to compute conflict.\n"));
  // The same point meets a looser quadratic constraint: feasible.
  loadText("Minimize\n obj: x\nSubject To\n c0: x + y >= 4\n c1: x <= 2\n c2: y <= 2\n"
           " q0: [ x ^ 2 + y ^ 2 ] <= 100\nEnd\n");
  ASSERT_EQ(VNTrefineconflict(env, lp, &nr, &nc), 0);
  ASSERT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(cstat, VNT_STAT_CONFLICT_FEASIBLE);
}

}  // namespace
