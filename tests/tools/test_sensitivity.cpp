// Sensitivity ranges checked by experiment and against GLPK's ranging
// report on the same basis, plus the rules around them (statuses, errors,
// maximization, infinite ends).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "lp_api/lp_fixture.h"

namespace {

constexpr long long kItCap = 50000;  // every solve here is capped

class Sensitivity : public LpFixtureTest {
 protected:
  void SetUp() override {
    LpFixtureTest::SetUp();
    VNTsetintparam(env, VNT_PARAM_PREIND, 0);
    VNTsetlongparam(env, VNT_PARAM_ITLIM, kItCap);
  }
  void solveOptimal() {
    ASSERT_EQ(VNTdualopt(env, lp), 0);
    ASSERT_EQ(VNTgetstat(env, lp), 1);
    n = VNTgetnumcols(env, lp);
    m = VNTgetnumrows(env, lp);
    cstat.assign(n, 0);
    rstat.assign(m, 0);
    ASSERT_EQ(VNTgetbase(env, lp, cstat.data(), rstat.data()), 0);
  }
  // Back to the optimal basis: the re-solve must take no iteration.
  void restoreBasis() {
    ASSERT_EQ(VNTcopybase(env, lp, cstat.data(), rstat.data()), 0);
    ASSERT_EQ(VNTdualopt(env, lp), 0);
    ASSERT_EQ(VNTgetstat(env, lp), 1);
    EXPECT_EQ(VNTgetitcnt(env, lp), 0);
  }
  // Iterations of a warm re-solve after a change.
  long long resolveIterations(bool primal) {
    EXPECT_EQ(primal ? VNTprimopt(env, lp) : VNTdualopt(env, lp), 0);
    return VNTgetitcnt(env, lp);
  }
  // The old basis no longer answers: the re-solve pivots, or the changed
  // model is infeasible (or unbounded), which the simplex may see at once.
  bool basisGivesWay(bool primal) {
    const long long its = resolveIterations(primal);
    return its > 0 || VNTgetstat(env, lp) != 1;
  }
  int n = 0, m = 0;
  std::vector<int> cstat, rstat;
};

// Points just inside and just outside a finite range end `e` of a value
// now at `v`.  Inside: most of the way from v to e.  Outside: beyond e by a
// step well above the tolerances.
double inside(double v, double e) { return v + 0.999 * (e - v); }
// `dir` is +1 for an upper end, -1 for a lower end.
double outside(double v, double e, double dir) {
  return e + dir * (0.05 * std::fabs(e - v) + 1e-2 * (1.0 + std::fabs(e)));
}
bool finite(double v) { return std::fabs(v) < 1e20; }

const char* kExperimentModels[] = {"afiro", "sc50a", "adlittle", "blend", "share2b", "kb2", "sc105", "stocfor1"};

// Every right-hand-side range end (on a sample of rows) holds by experiment.
TEST_F(Sensitivity, RhsRangesHoldByExperiment) {
  for (const char* name : kExperimentModels) {
    SCOPED_TRACE(name);
    if (!std::ifstream(vnt::test::modelPath("netlib", name)).good()) continue;
    read("netlib", name);
    solveOptimal();
    std::vector<double> lo(m), up(m), rhs(m);
    ASSERT_EQ(VNTrhssa(env, lp, 0, m - 1, lo.data(), up.data()), 0);
    ASSERT_EQ(VNTgetrhs(env, lp, rhs.data(), 0, m - 1), 0);
    int insideChecks = 0, outsideChecks = 0;
    for (int i = 0; i < m; i += std::max(1, m / 25)) {
      EXPECT_LE(lo[i], rhs[i] + 1e-9 * (1 + std::fabs(rhs[i])));
      EXPECT_GE(up[i], rhs[i] - 1e-9 * (1 + std::fabs(rhs[i])));
      for (double dir : {-1.0, 1.0}) {
        const double e = dir < 0 ? lo[i] : up[i];
        if (!finite(e)) continue;
        SCOPED_TRACE("row " + std::to_string(i) + " end " + std::to_string(e));
        if (std::fabs(e - rhs[i]) > 1e-9) {
          double v = inside(rhs[i], e);
          ASSERT_EQ(VNTchgrhs(env, lp, 1, &i, &v), 0);
          EXPECT_EQ(resolveIterations(false), 0);
          ++insideChecks;
        }
        double w = outside(rhs[i], e, dir);
        ASSERT_EQ(VNTchgrhs(env, lp, 1, &i, &w), 0);
        EXPECT_TRUE(basisGivesWay(false));
        ++outsideChecks;
        ASSERT_EQ(VNTchgrhs(env, lp, 1, &i, &rhs[i]), 0);
        restoreBasis();
      }
    }
    EXPECT_GT(outsideChecks, 0);
    (void)insideChecks;
  }
}

// Every objective range end (on a sample of columns) holds by experiment:
// the primal simplex from the optimal basis takes no step inside and at
// least one outside.
TEST_F(Sensitivity, ObjectiveRangesHoldByExperiment) {
  for (const char* name : kExperimentModels) {
    SCOPED_TRACE(name);
    if (!std::ifstream(vnt::test::modelPath("netlib", name)).good()) continue;
    read("netlib", name);
    solveOptimal();
    std::vector<double> lo(n), up(n), obj(n);
    ASSERT_EQ(VNTobjsa(env, lp, 0, n - 1, lo.data(), up.data()), 0);
    ASSERT_EQ(VNTgetobj(env, lp, obj.data(), 0, n - 1), 0);
    int checks = 0;
    for (int j = 0; j < n; j += std::max(1, n / 25)) {
      EXPECT_LE(lo[j], obj[j] + 1e-9 * (1 + std::fabs(obj[j])));
      EXPECT_GE(up[j], obj[j] - 1e-9 * (1 + std::fabs(obj[j])));
      for (double dir : {-1.0, 1.0}) {
        const double e = dir < 0 ? lo[j] : up[j];
        if (!finite(e)) continue;
        SCOPED_TRACE("column " + std::to_string(j) + " end " + std::to_string(e));
        if (std::fabs(e - obj[j]) > 1e-9) {
          double v = inside(obj[j], e);
          ASSERT_EQ(VNTchgobj(env, lp, 1, &j, &v), 0);
          EXPECT_EQ(resolveIterations(true), 0);
        }
        double w = outside(obj[j], e, dir);
        ASSERT_EQ(VNTchgobj(env, lp, 1, &j, &w), 0);
        EXPECT_TRUE(basisGivesWay(true));
        ++checks;
        ASSERT_EQ(VNTchgobj(env, lp, 1, &j, &obj[j]), 0);
        restoreBasis();
      }
    }
    EXPECT_GT(checks, 0);
  }
}

// Bound ranges of nonbasic columns by experiment (the bound the column sits
// at moves the basic variables).
TEST_F(Sensitivity, BoundRangesHoldByExperiment) {
  for (const char* name : kExperimentModels) {
    SCOPED_TRACE(name);
    if (!std::ifstream(vnt::test::modelPath("netlib", name)).good()) continue;
    read("netlib", name);
    solveOptimal();
    std::vector<double> lbl(n), lbu(n), ubl(n), ubu(n), lb(n), ub(n);
    ASSERT_EQ(VNTboundsa(env, lp, 0, n - 1, lbl.data(), lbu.data(), ubl.data(), ubu.data()), 0);
    ASSERT_EQ(VNTgetlb(env, lp, lb.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetub(env, lp, ub.data(), 0, n - 1), 0);
    for (int j = 0; j < n; ++j) {
      if (cstat[j] != VNT_AT_LOWER && cstat[j] != VNT_AT_UPPER) continue;
      if (lb[j] == ub[j]) continue;
      const bool atLower = cstat[j] == VNT_AT_LOWER;
      const char which = atLower ? 'L' : 'U';
      const double cur = atLower ? lb[j] : ub[j];
      const double lo = atLower ? lbl[j] : ubl[j], up = atLower ? lbu[j] : ubu[j];
      for (double dir : {-1.0, 1.0}) {
        const double e = dir < 0 ? lo : up;
        if (!finite(e) || std::fabs(e - cur) < 1e-9) continue;
        // Ends capped by the other bound are not a basis change.
        if (e == (atLower ? ub[j] : lb[j])) continue;
        SCOPED_TRACE("column " + std::to_string(j) + " end " + std::to_string(e));
        double v = inside(cur, e);
        ASSERT_EQ(VNTchgbds(env, lp, 1, &j, &which, &v), 0);
        EXPECT_EQ(resolveIterations(false), 0);
        double w = outside(cur, e, dir);
        ASSERT_EQ(VNTchgbds(env, lp, 1, &j, &which, &w), 0);
        EXPECT_TRUE(basisGivesWay(false));
        ASSERT_EQ(VNTchgbds(env, lp, 1, &j, &which, &cur), 0);
        restoreBasis();
      }
    }
  }
}

// ---------------------------------------------------------------------------
// GLPK's ranging report on the same basis.

struct GlpkEntry {
  std::string status;  // B.., NL, NU, NS, NF
  double act[2] = {0, 0};
  double obj[2] = {0, 0};
  bool hasObj = false;
};

double glpkNumber(const std::string& s) {
  if (s == ".") return 0.0;
  if (s == "+Inf") return 1e20;
  if (s == "-Inf") return -1e20;
  return std::strtod(s.c_str(), nullptr);
}

// Parses the row and column sections of `glpsol --ranges` output.  Each
// entry takes two lines; the activity range is columns 6 of both lines
// (first) / 4 (second), the objective range the next column.
bool parseGlpkRanges(const std::string& path, std::vector<GlpkEntry>& rows, std::vector<GlpkEntry>& cols) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  std::vector<GlpkEntry>* cur = nullptr;
  while (std::getline(in, line)) {
    if (line.find("Row name") != std::string::npos) cur = &rows;
    if (line.find("Column name") != std::string::npos) cur = &cols;
    if (!cur) continue;
    std::istringstream ls(line);
    std::vector<std::string> tok;
    for (std::string t; ls >> t;) tok.push_back(t);
    if (tok.size() < 8 || tok[0].find_first_not_of("0123456789") != std::string::npos) continue;
    // First line: No. name St activity slack/marginal lower act-lo obj-lo [value var]
    GlpkEntry e;
    e.status = tok[2];
    e.act[0] = glpkNumber(tok[6]);
    e.obj[0] = glpkNumber(tok[7]);
    std::string second;
    if (!std::getline(in, second)) return false;
    std::istringstream ss(second);
    std::vector<std::string> t2;
    for (std::string t; ss >> t;) t2.push_back(t);
    if (t2.size() < 4) return false;
    e.act[1] = glpkNumber(t2[2]);
    e.obj[1] = glpkNumber(t2[3]);
    const size_t no = std::strtoul(tok[0].c_str(), nullptr, 10);
    if (no != cur->size() + 1) return false;
    cur->push_back(e);
  }
  return true;
}

bool near(double a, double b) {
  if (std::fabs(a) >= 1e20 || std::fabs(b) >= 1e20) return a == b;
  return std::fabs(a - b) <= 2e-5 * std::max(1.0, std::fabs(a));
}

TEST_F(Sensitivity, MatchesGlpkRangesOnTheSameBasis) {
  if (std::system("command -v glpsol > /dev/null 2>&1") != 0) GTEST_SKIP() << "glpsol not installed";
  int compared = 0;
  for (const char* name : {"afiro", "sc50a", "sc50b", "adlittle", "blend", "share2b", "kb2", "sc105", "scagr7",
                           "stocfor1", "recipe", "boeing2"}) {
    SCOPED_TRACE(name);
    const std::string path = vnt::test::modelPath("netlib", name);
    if (!std::ifstream(path).good()) continue;
    const std::string tmp = ::testing::TempDir() + "vnt_rng_" + name;
    read("netlib", name);
    solveOptimal();
    // Our basis as GLPK's plain-text solution file, its starting basis.
    std::vector<double> ax(m), rhs(m), rng(m, 0.0), lb(n), ub(n);
    std::vector<char> sense(m);
    ASSERT_EQ(VNTgetax(env, lp, ax.data(), 0, m - 1), 0);
    ASSERT_EQ(VNTgetrhs(env, lp, rhs.data(), 0, m - 1), 0);
    ASSERT_EQ(VNTgetsense(env, lp, sense.data(), 0, m - 1), 0);
    ASSERT_EQ(VNTgetlb(env, lp, lb.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetub(env, lp, ub.data(), 0, n - 1), 0);
    {
      std::ofstream w(tmp + ".w");
      w << "s bas " << m << " " << n << " f f 0\n";
      for (int i = 0; i < m; ++i) {
        char st = 'b';
        if (rstat[i] != VNT_BASIC) {
          if (sense[i] == 'E') st = 's';
          else if (sense[i] == 'G') st = 'l';
          else if (sense[i] == 'L') st = 'u';
          else st = std::fabs(ax[i] - rhs[i]) < 1e-7 * (1 + std::fabs(rhs[i])) ? 'l' : 'u';
        }
        w << "i " << i + 1 << " " << st << " 0 0\n";
      }
      for (int j = 0; j < n; ++j) {
        char st = 'b';
        if (cstat[j] == VNT_AT_LOWER) st = lb[j] == ub[j] ? 's' : 'l';
        else if (cstat[j] == VNT_AT_UPPER) st = lb[j] == ub[j] ? 's' : 'u';
        else if (cstat[j] == VNT_FREE_SUPER) st = 'f';
        w << "j " << j + 1 << " " << st << " 0 0\n";
      }
      w << "e o f\n";
    }
    const std::string cmd = "zcat " + path + " > " + tmp + ".mps && glpsol --freemps " + tmp + ".mps --ini " + tmp +
                            ".w --ranges " + tmp + ".rng > /dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) continue;
    std::vector<GlpkEntry> grows, gcols;
    ASSERT_TRUE(parseGlpkRanges(tmp + ".rng", grows, gcols));
    if (static_cast<int>(grows.size()) != m || static_cast<int>(gcols.size()) != n) continue;
    // Same basis: basic / nonbasic agree for every row and column.
    bool same = true;
    for (int i = 0; i < m && same; ++i) same = (rstat[i] == VNT_BASIC) == (grows[i].status[0] == 'B');
    for (int j = 0; j < n && same; ++j) same = (cstat[j] == VNT_BASIC) == (gcols[j].status[0] == 'B');
    if (!same) continue;
    std::vector<double> rlo(m), rup(m), olo(n), oup(n);
    ASSERT_EQ(VNTrhssa(env, lp, 0, m - 1, rlo.data(), rup.data()), 0);
    ASSERT_EQ(VNTobjsa(env, lp, 0, n - 1, olo.data(), oup.data()), 0);
    for (int i = 0; i < m; ++i) {
      // GLPK's activity range of an active row is the right-hand-side range.
      if (grows[i].status[0] == 'B' || grows[i].status == "NF") continue;
      EXPECT_TRUE(near(rlo[i], grows[i].act[0]) && near(rup[i], grows[i].act[1]))
          << "row " << i << ": ours [" << rlo[i] << ", " << rup[i] << "] glpk [" << grows[i].act[0] << ", "
          << grows[i].act[1] << "]";
    }
    for (int j = 0; j < n; ++j) {
      EXPECT_TRUE(near(olo[j], gcols[j].obj[0]) && near(oup[j], gcols[j].obj[1]))
          << "column " << j << " (" << gcols[j].status << "): ours [" << olo[j] << ", " << oup[j] << "] glpk ["
          << gcols[j].obj[0] << ", " << gcols[j].obj[1] << "]";
    }
    ++compared;
    for (const char* ext : {".mps", ".rng", ".w"}) std::remove((tmp + ext).c_str());
  }
  EXPECT_GE(compared, 8) << "too few models where GLPK kept our basis";
}

// ---------------------------------------------------------------------------
// Rules.

// min x + 2y  s.t.  x + y >= 2,  x <= 3,  y <= 3  (optimum x = 2, y = 0).
void smallModel(VNTENVptr env, VNTLPptr lp, int sense) {
  const double obj[] = {1, 2}, rhs[] = {2}, lb[] = {0, 0}, ub[] = {3, 3};
  const char sen[] = {'G'};
  const int beg[] = {0, 1}, cnt[] = {1, 1}, ind[] = {0, 0};
  const double val[] = {1, 1};
  double o[2] = {obj[0] * sense, obj[1] * sense};
  ASSERT_EQ(VNTcopylp(env, lp, 2, 1, sense, o, rhs, sen, beg, cnt, ind, val, lb, ub, nullptr), 0);
}

TEST_F(Sensitivity, NonbasicColumnRangeAndItsMaximizationMirror) {
  smallModel(env, lp, VNT_MIN);
  solveOptimal();
  double lo[2], up[2], dj[2];
  ASSERT_EQ(VNTobjsa(env, lp, 0, 1, lo, up), 0);
  ASSERT_EQ(VNTgetdj(env, lp, dj, 0, 1), 0);
  ASSERT_EQ(cstat[1], VNT_AT_LOWER);
  EXPECT_NEAR(lo[1], 2 - dj[1], 1e-12);
  EXPECT_EQ(up[1], 1e20);
  // Basic x: below a cost of 0 it would rather rise to its upper bound
  // (the row's dual turns negative), above 2 y is cheaper.
  EXPECT_NEAR(lo[0], 0.0, 1e-12);
  EXPECT_NEAR(up[0], 2.0, 1e-12);
  // The same model maximizing the negated objective mirrors the ranges.
  smallModel(env, lp, VNT_MAX);
  solveOptimal();
  double lo2[2], up2[2];
  ASSERT_EQ(VNTobjsa(env, lp, 0, 1, lo2, up2), 0);
  EXPECT_EQ(lo2[1], -1e20);
  EXPECT_NEAR(up2[1], -lo[1], 1e-12);
  EXPECT_NEAR(lo2[0], -up[0], 1e-12);
  EXPECT_NEAR(up2[0], -lo[0], 1e-12);
}

TEST_F(Sensitivity, RhsEndsAreInfiniteOrExactZero) {
  smallModel(env, lp, VNT_MIN);
  solveOptimal();
  double lo, up;
  ASSERT_EQ(VNTrhssa(env, lp, 0, 0, &lo, &up), 0);
  // x basic in [0, 3] carries the row: the rhs may fall to exactly 0 and
  // rise to 3.
  EXPECT_EQ(lo, 0.0);
  EXPECT_NEAR(up, 3.0, 1e-12);
  // Relax x's upper bound: the upper end becomes infinite, never a number
  // beyond 1e19.
  const int j = 0;
  const char u = 'U';
  const double big = 1e20;
  ASSERT_EQ(VNTchgbds(env, lp, 1, &j, &u, &big), 0);
  solveOptimal();
  ASSERT_EQ(VNTrhssa(env, lp, 0, 0, &lo, &up), 0);
  EXPECT_EQ(up, 1e20);
}

TEST_F(Sensitivity, StatusesAndErrors) {
  double lo[2], up[2];
  smallModel(env, lp, VNT_MIN);
  // No solution yet.
  EXPECT_EQ(VNTobjsa(env, lp, 0, 0, lo, up), 1217);
  solveOptimal();
  EXPECT_EQ(VNTobjsa(env, lp, 0, 0, nullptr, up), 1004);
  EXPECT_EQ(VNTrhssa(env, lp, 0, 0, lo, nullptr), 1004);
  EXPECT_EQ(VNTobjsa(env, lp, 1, 0, lo, up), 1200);
  EXPECT_EQ(VNTobjsa(env, lp, 0, 2, lo, up), 1200);
  EXPECT_EQ(VNTrhssa(env, lp, -1, 0, lo, up), 1200);
  EXPECT_EQ(VNTboundsa(env, lp, 0, 1, nullptr, nullptr, nullptr, nullptr), 0);
  // Infeasible: objective ranging refused, right-hand-side ranging answers
  // when the primal simplex produced the solution.
  const int i0 = 0;
  const double seven = 7;  // x + y >= 7 with x, y <= 3
  ASSERT_EQ(VNTchgrhs(env, lp, 1, &i0, &seven), 0);
  ASSERT_EQ(VNTprimopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 3);
  EXPECT_EQ(VNTobjsa(env, lp, 0, 0, lo, up), 1260);
  EXPECT_EQ(VNTrhssa(env, lp, 0, 0, lo, up), 0);
  // The dual simplex's infeasible answer has no ranges.
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 3);
  ASSERT_EQ(VNTgetmethod(env, lp), VNT_ALG_DUAL);
  EXPECT_EQ(VNTrhssa(env, lp, 0, 0, lo, up), 1260);
  EXPECT_EQ(VNTboundsa(env, lp, 0, 0, lo, up, nullptr, nullptr), 1260);
}

TEST_F(Sensitivity, AllColumnsAtOnceEqualOneAtATime) {
  read("netlib", "sc50a");
  solveOptimal();
  std::vector<double> lo(n), up(n);
  ASSERT_EQ(VNTobjsa(env, lp, 0, n - 1, lo.data(), up.data()), 0);
  for (int j = 0; j < n; ++j) {
    double l, u;
    ASSERT_EQ(VNTobjsa(env, lp, j, j, &l, &u), 0);
    EXPECT_NEAR(l, lo[j], 1e-9 * (1 + std::fabs(l))) << j;
    EXPECT_NEAR(u, up[j], 1e-9 * (1 + std::fabs(u))) << j;
  }
}

// The combined entry gives what the three single operations give, skips
// the parts whose arrays are null (their index ranges unchecked) and keeps
// their status rules.
TEST_F(Sensitivity, CombinedRangingAgreesWithTheSingleOperations) {
  read("netlib", "share2b");
  solveOptimal();
  const int c0 = 3, c1 = n - 2, r0 = 1, r1 = m - 1;
  const size_t nc = c1 - c0 + 1, nr = r1 - r0 + 1;
  std::vector<double> ol(nc), ou(nc), ll(nc), lu(nc), ul(nc), uu(nc), rl(nr), ru(nr);
  ASSERT_EQ(VNTErangesa(env, lp, c0, c1, r0, r1, ol.data(), ou.data(), ll.data(), lu.data(), ul.data(), uu.data(),
                        rl.data(), ru.data()),
            0);
  std::vector<double> a(nc), b(nc), c(nc), d(nc);
  ASSERT_EQ(VNTobjsa(env, lp, c0, c1, a.data(), b.data()), 0);
  EXPECT_EQ(a, ol);
  EXPECT_EQ(b, ou);
  ASSERT_EQ(VNTboundsa(env, lp, c0, c1, a.data(), b.data(), c.data(), d.data()), 0);
  EXPECT_EQ(a, ll);
  EXPECT_EQ(b, lu);
  EXPECT_EQ(c, ul);
  EXPECT_EQ(d, uu);
  std::vector<double> e(nr), f(nr);
  ASSERT_EQ(VNTrhssa(env, lp, r0, r1, e.data(), f.data()), 0);
  EXPECT_EQ(e, rl);
  EXPECT_EQ(f, ru);
  // Rows only: the column range is not looked at; one half of a pair alone.
  std::vector<double> only(nr, -7.0);
  EXPECT_EQ(VNTErangesa(env, lp, -5, -9, r0, r1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        only.data()),
            0);
  EXPECT_EQ(only, ru);
  EXPECT_EQ(VNTErangesa(env, lp, 0, n, 0, 0, ol.data(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            1200);
  EXPECT_EQ(VNTErangesa(env, lp, 0, 0, 0, m, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, rl.data(), nullptr),
            1200);
  // An infeasible primal answer: objective ranges refused, the others given.
  smallModel(env, lp, VNT_MIN);
  const int i0 = 0;
  const double seven = 7;
  ASSERT_EQ(VNTchgrhs(env, lp, 1, &i0, &seven), 0);
  ASSERT_EQ(VNTprimopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 3);
  double lo = 0, up = 0;
  EXPECT_EQ(VNTErangesa(env, lp, 0, 0, 0, 0, &lo, &up, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1260);
  EXPECT_EQ(VNTErangesa(env, lp, 0, 0, 0, 0, nullptr, nullptr, &lo, nullptr, nullptr, nullptr, nullptr, &up), 0);
  double rl0 = 0, ru0 = 0;
  ASSERT_EQ(VNTrhssa(env, lp, 0, 0, &rl0, &ru0), 0);
  EXPECT_EQ(up, ru0);
}

}  // namespace
