// End-to-end tests of the simplex engine on the shared Netlib and infeasible
// models: optimal objective against the reference values, and an independent
// check (computed here from the model, not by the engine) that the final
// basis is primal and dual feasible in unscaled units.  The default set is a
// few dozen small and medium models; VANTO_FULL_NETLIB=1 runs all of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "simplex/lp_engine.h"
#include "common/model_compare.h"
#include "common/models.h"
#include "common/read_model.h"

namespace {

using vnt::model::ModelData;
using vnt::simplex::LpEngine;
using vnt::simplex::LpStatus;

const std::string kData = VANTO_DATA_DIR;

using vnt::test::reference;
using vnt::test::Reference;
using vnt::test::referenceRows;

ModelData readModel(const std::string& setAndName) {
  ModelData md;
  std::string err;
  EXPECT_TRUE(vnt::test::readModel(kData + "/" + setAndName + ".mps.gz", md, &err)) << err;
  return md;
}

// Independent optimality check of the engine's answer in the model's units:
// bounds and rows satisfied, nonbasic columns at a bound, reduced costs
// recomputed from pi with the sign their basis status requires.  A row's
// violation is relative to the larger of its right-hand side and its largest
// term a_ij x_j, a reduced cost's to the larger of c_j and its largest term
// a_ij pi_i (what rounding of those sums can reach), with 1 as the floor.
struct KktReport {
  double boundViol = 0, rowViol = 0, djViol = 0, piViol = 0, djResid = 0;
  int basicCount = 0;
};

KktReport checkKkt(const ModelData& md, const LpEngine& eng) {
  const int n = md.numCols(), m = md.numRows();
  std::vector<double> x(n), pi(m), dj(n), ax(m, 0.0), rowMag(m, 1.0);
  std::vector<int> cstat(n), rstat(m);
  eng.getX(x.data());
  eng.getPi(pi.data());
  eng.getDj(dj.data());
  eng.getBasis(cstat.data(), rstat.data());
  KktReport k;
  const double sen = md.objsen;
  for (int j = 0; j < n; ++j) {
    k.boundViol = std::max({k.boundViol, md.lb[j] - x[j], x[j] - md.ub[j]});
    double d = md.obj[j], colMag = std::max(1.0, std::fabs(md.obj[j]));
    for (int64_t t = md.matbeg[j]; t < md.matbeg[j + 1]; ++t) {
      const int i = md.matind[t];
      ax[i] += md.matval[t] * x[j];
      rowMag[i] = std::max(rowMag[i], std::fabs(md.matval[t] * x[j]));
      d -= pi[i] * md.matval[t];
      colMag = std::max(colMag, std::fabs(pi[i] * md.matval[t]));
    }
    k.djResid = std::max(k.djResid, std::fabs(d - dj[j]) / colMag);
    const double dm = sen * d / colMag;  // minimization form, relative
    const bool fixed = md.lb[j] == md.ub[j];  // any reduced cost is optimal
    switch (cstat[j]) {
      case 1: k.djViol = std::max(k.djViol, std::fabs(dm)); ++k.basicCount; break;
      case 0:
        if (!fixed) k.djViol = std::max(k.djViol, -dm);
        k.boundViol = std::max(k.boundViol, std::fabs(x[j] - md.lb[j]) / (1.0 + std::fabs(md.lb[j])));
        break;
      case 2:
        if (!fixed) k.djViol = std::max(k.djViol, dm);
        k.boundViol = std::max(k.boundViol, std::fabs(x[j] - md.ub[j]) / (1.0 + std::fabs(md.ub[j])));
        break;
      default: k.djViol = std::max(k.djViol, std::fabs(dm)); break;
    }
  }
  for (int i = 0; i < m; ++i) {
    const auto [lo, up] = vnt::test::rowInterval(md, i);
    const double scale = std::max(rowMag[i], std::fabs(md.rhs[i]));
    k.rowViol = std::max({k.rowViol, (lo - ax[i]) / scale, (ax[i] - up) / scale});
    const double p = sen * pi[i];  // minimization form: >= 0 at the lower limit, <= 0 at the upper
    switch (rstat[i]) {
      case 1: k.piViol = std::max(k.piViol, std::fabs(p)); ++k.basicCount; break;
      case 0:
        if (lo != up) k.piViol = std::max(k.piViol, -p);
        k.rowViol = std::max(k.rowViol, std::fabs(ax[i] - lo) / scale);
        break;
      case 2:
        k.piViol = std::max(k.piViol, p);
        k.rowViol = std::max(k.rowViol, std::fabs(ax[i] - up) / scale);
        break;
      default: k.piViol = std::max(k.piViol, std::fabs(p)); break;
    }
  }
  return k;
}

bool fullSet() {
  const char* v = std::getenv("VANTO_FULL_NETLIB");
  return v && *v && std::string(v) != "0";
}

// Small and medium models of every flavour (ranges, all bound types, free
// rows, degenerate, badly scaled); the rest run with VANTO_FULL_NETLIB=1.
const std::vector<std::string> kQuickNetlib = {
    "afiro", "adlittle", "agg", "agg2", "agg3", "bandm", "beaconfd", "blend", "boeing1", "boeing2",
    "brandy", "capri", "e226", "etamacro", "finnis", "fit1d", "forplan", "gfrd-pnc", "grow7", "israel",
    "kb2", "lotfi", "recipe", "sc105", "sc205", "sc50a", "sc50b", "scagr7", "scfxm1", "scorpion",
    "scsd1", "sctap1", "seba", "share1b", "share2b", "shell", "stair", "standata", "standmps", "stocfor1",
    "tuff", "vtpbase", "degen2", "scrs8", "perold", "pilot4", "bore3d", "ship04s"};

std::vector<std::string> netlibModels() {
  std::vector<std::string> out;
  for (const auto& [name, ref] : referenceRows()) {
    if (ref.set != "netlib") continue;
    if (fullSet() || std::find(kQuickNetlib.begin(), kQuickNetlib.end(), name) != kQuickNetlib.end())
      out.push_back(name);
  }
  return out;
}

std::vector<std::string> infeasibleModels() {
  std::vector<std::string> out;
  for (const auto& [name, ref] : referenceRows())
    if (ref.set == "infeas") out.push_back(name);
  return out;
}

// Every solve here runs under an iteration cap well above what any of these
// models needs (at most about 4 (m + n)), so a cycling regression fails
// quickly instead of hanging.
void capIterations(LpEngine& e, const ModelData& md) {
  e.options().iterationLimit = 20LL * (md.numRows() + md.numCols()) + 1000;
}

// Capped engine, model loaded, solved by the dual or the primal simplex.  A
// model the engine refuses fails the test and answers kUnknown.
LpStatus solveCapped(LpEngine& eng, const ModelData& md, bool dual) {
  capIterations(eng, md);
  const int rc = eng.load(md);
  if (rc != 0) {
    ADD_FAILURE() << "load returned " << rc;
    return LpStatus::kUnknown;
  }
  return dual ? eng.solveDual() : eng.solvePrimal();
}

bool sameObjective(double a, double b) { return std::fabs(a - b) <= 1e-6 * std::max(1.0, std::fabs(b)); }

constexpr double kKktTol = 1e-6;

void expectOptimalAndKkt(const std::string& name, const ModelData& md, const LpEngine& eng, LpStatus st) {
  const Reference& ref = reference("netlib", name);
  ASSERT_EQ(st, LpStatus::kOptimal) << name;
  EXPECT_TRUE(sameObjective(eng.objective(), ref.objective))
      << name << ": " << eng.objective() << " vs reference " << ref.objective;
  KktReport k = checkKkt(md, eng);
  EXPECT_EQ(k.basicCount, md.numRows()) << name;
  EXPECT_LE(k.boundViol, kKktTol) << name;
  EXPECT_LE(k.rowViol, kKktTol) << name;
  EXPECT_LE(k.djViol, kKktTol) << name;
  EXPECT_LE(k.piViol, kKktTol) << name;
  EXPECT_LE(k.djResid, 1e-7) << name;
}

class NetlibTest : public ::testing::TestWithParam<std::string> {};

TEST_P(NetlibTest, DualSimplexReachesReferenceOptimumWithFeasibleBasis) {
  const std::string name = GetParam();
  ModelData md = readModel("netlib/" + name);
  LpEngine eng;
  LpStatus st = solveCapped(eng, md, true);
  expectOptimalAndKkt(name, md, eng, st);
}

TEST_P(NetlibTest, PrimalSimplexReachesReferenceOptimumWithFeasibleBasis) {
  const std::string name = GetParam();
  ModelData md = readModel("netlib/" + name);
  LpEngine eng;
  LpStatus st = solveCapped(eng, md, false);
  expectOptimalAndKkt(name, md, eng, st);
}

INSTANTIATE_TEST_SUITE_P(Netlib, NetlibTest, ::testing::ValuesIn(netlibModels()),
                         [](const ::testing::TestParamInfo<std::string>& i) {
                           std::string s = i.param;
                           std::replace(s.begin(), s.end(), '-', '_');
                           return s;
                         });

// Every model of the infeasible collection ends infeasible with both methods,
// never optimal.
class InfeasibleTest : public ::testing::TestWithParam<std::string> {};

// Farkas check, independent of the engine's own: for the row weights y, the
// largest value of y'Ax over the column box must lie below the smallest value
// of y'r over the row limits (or, for -y, the other way round), whatever the
// scale of y.  A column sum y'a_j that cancels to within 1e-11 of the
// magnitude of its terms counts as zero when its column is unbounded on the
// proving side: the proof then holds for a matrix that differs from the
// model's by at most that share in those columns.  Every other term counts
// exactly, and the gap must clear 1e-14 of the magnitude of all terms, far
// above the rounding of the long double sums.
bool certifiesInfeasibility(const ModelData& md, const std::vector<double>& y) {
  const int n = md.numCols(), m = md.numRows();
  if (static_cast<int>(y.size()) != m) return false;
  double ymax = 0.0;
  for (double v : y) {
    if (!std::isfinite(v)) return false;
    ymax = std::max(ymax, std::fabs(v));
  }
  if (ymax == 0.0) return false;
  std::vector<long double> z(n, 0.0L), zabs(n, 0.0L);
  for (int j = 0; j < n; ++j)
    for (int64_t t = md.matbeg[j]; t < md.matbeg[j + 1]; ++t) {
      const long double v = static_cast<long double>(y[md.matind[t]]) * md.matval[t];
      z[j] += v;
      zabs[j] += std::fabs(v);
    }
  for (const long double side : {1.0L, -1.0L}) {
    long double excess = 0.0L, mag = 0.0L;  // max of side*(y'Ax - y'r)
    bool bounded = true;
    for (int j = 0; j < n && bounded; ++j) {
      const long double zj = side * z[j];
      if (zj == 0.0L) continue;
      const double b = zj > 0 ? md.ub[j] : md.lb[j];
      if (std::fabs(b) >= 1e20) {
        bounded = std::fabs(zj) <= 1e-11L * zabs[j];
        continue;
      }
      excess += zj * b;
      mag += std::fabs(zj * b);
    }
    for (int i = 0; i < m && bounded; ++i) {
      const long double yi = side * y[i];
      if (yi == 0.0L) continue;
      const auto [lo, up] = vnt::test::rowInterval(md, i);
      const double r = yi > 0 ? lo : up;
      if (std::fabs(r) >= 1e20) {
        bounded = false;
        continue;
      }
      excess -= yi * r;
      mag += std::fabs(yi * r);
    }
    if (bounded && excess < -1e-14L * mag) return true;
  }
  return false;
}

TEST_P(InfeasibleTest, DualSimplexProvesInfeasibility) {
  ModelData md = readModel("infeas/" + GetParam());
  LpEngine eng;
  ASSERT_EQ(solveCapped(eng, md, true), LpStatus::kInfeasible) << GetParam();
  // Infeasibility is reported only with a certificate, whichever simplex
  // found it (the dual ray, or the phase 1 duals of the primal).
  std::vector<double> y;
  ASSERT_TRUE(eng.getFarkas(y)) << GetParam();
  EXPECT_TRUE(certifiesInfeasibility(md, y)) << GetParam();
}

TEST_P(InfeasibleTest, PrimalSimplexProvesInfeasibility) {
  ModelData md = readModel("infeas/" + GetParam());
  LpEngine eng;
  ASSERT_EQ(solveCapped(eng, md, false), LpStatus::kInfeasible) << GetParam();
  std::vector<double> y;
  ASSERT_TRUE(eng.getFarkas(y)) << GetParam();
  EXPECT_TRUE(certifiesInfeasibility(md, y)) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Infeas, InfeasibleTest, ::testing::ValuesIn(infeasibleModels()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

// Warm start: after bound changes the dual simplex restarts from the last
// optimal basis and reaches the optimum of a cold solve of the changed model
// in far fewer iterations.
TEST(SimplexWarmStart, BoundChangesResolveFromLastBasis) {
  for (const char* name : {"25fv47", "scfxm2", "ship08s"}) {
    ModelData md = readModel(std::string("netlib/") + name);
    LpEngine warm;
    ASSERT_EQ(solveCapped(warm, md, true), LpStatus::kOptimal);
    const int64_t coldIters = warm.iterations();
    std::vector<double> x(md.numCols());
    warm.getX(x.data());
    // Tighten the bounds of a few columns with positive values (a branching step).
    ModelData changed = md;
    int changes = 0;
    for (int j = 0; j < md.numCols() && changes < 4; j += 7) {
      if (x[j] > 1e-3 && md.ub[j] > x[j]) {
        changed.ub[j] = x[j] * 0.5;
        warm.setColBounds(j, changed.lb[j], changed.ub[j]);
        ++changes;
      }
    }
    ASSERT_GT(changes, 0);
    LpStatus ws = warm.solveDual();
    LpEngine cold;
    LpStatus cs = solveCapped(cold, changed, true);
    ASSERT_EQ(cs, ws) << name;
    if (cs != LpStatus::kOptimal) continue;
    EXPECT_TRUE(sameObjective(warm.objective(), cold.objective()))
        << name << ": warm " << warm.objective() << " cold " << cold.objective();
    KktReport k = checkKkt(changed, warm);
    EXPECT_LE(k.rowViol, kKktTol) << name;
    EXPECT_LE(k.djViol, kKktTol) << name;
    EXPECT_LT(warm.iterations() * 5, cold.iterations()) << name << ": warm " << warm.iterations() << " cold "
                                                        << cold.iterations() << " first " << coldIters;
  }
}

// An installed optimal basis needs no iterations and gives the same answer.
TEST(SimplexBasis, OptimalBasisRoundTrip) {
  ModelData md = readModel("netlib/scagr25");
  LpEngine a;
  ASSERT_EQ(solveCapped(a, md, true), LpStatus::kOptimal);
  std::vector<int> cstat(md.numCols()), rstat(md.numRows());
  a.getBasis(cstat.data(), rstat.data());
  LpEngine b;
  capIterations(b, md);
  ASSERT_EQ(b.load(md), 0);
  ASSERT_EQ(b.setBasis(cstat.data(), rstat.data()), 0);
  ASSERT_EQ(b.solvePrimal(), LpStatus::kOptimal);
  EXPECT_EQ(b.iterations(), 0);
  EXPECT_TRUE(sameObjective(b.objective(), a.objective()));
  // A basis with the wrong number of basic variables is refused.
  cstat[0] = cstat[0] == 1 ? 0 : 1;
  EXPECT_NE(b.setBasis(cstat.data(), rstat.data()), 0);
}

// Maximization: the negated objective gives the negated optimum, with duals
// in the caller's sense.
TEST(SimplexSense, MaximizeNegatedObjective) {
  ModelData md = readModel("netlib/share2b");
  for (double& c : md.obj) c = -c;
  md.objsen = -1;
  LpEngine eng;
  ASSERT_EQ(solveCapped(eng, md, true), LpStatus::kOptimal);
  EXPECT_TRUE(sameObjective(eng.objective(), -reference("netlib", "share2b").objective));
  KktReport k = checkKkt(md, eng);
  EXPECT_LE(k.djViol, kKktTol);
  EXPECT_LE(k.piViol, kKktTol);
}

// Objective limit: a cutoff below the optimum stops the dual simplex early
// with a dual objective above the cutoff; a cutoff above it changes nothing.
TEST(SimplexStatus, ObjectiveLimitStopsDualSimplex) {
  ModelData md = readModel("netlib/ship08s");
  const double opt = reference("netlib", "ship08s").objective;
  LpEngine eng;
  capIterations(eng, md);
  eng.options().objectiveLimit = 0.5 * opt;
  ASSERT_EQ(eng.load(md), 0);
  ASSERT_EQ(eng.solveDual(), LpStatus::kObjectiveLimit);
  EXPECT_GT(eng.objective(), 0.5 * opt);
  EXPECT_LT(eng.objective(), opt * (1 + 1e-9));
  eng.options().objectiveLimit = 2.0 * opt;
  ASSERT_EQ(eng.load(md), 0);
  ASSERT_EQ(eng.solveDual(), LpStatus::kOptimal);
  EXPECT_TRUE(sameObjective(eng.objective(), opt));
}

// Unbounded: dropping the bounds that keep a minimization finite.
TEST(SimplexStatus, UnboundedModelIsReported) {
  ModelData md;
  // min -x0 - x1  s.t.  x0 - x1 <= 1,  x >= 0
  md.obj = {-1.0, -1.0};
  md.lb = {0.0, 0.0};
  md.ub = {1e20, 1e20};
  md.rhs = {1.0};
  md.sense = {'L'};
  md.rowname = {"r"};
  md.matbeg = {0, 1, 2};
  md.matind = {0, 0};
  md.matval = {1.0, -1.0};
  for (bool dual : {true, false}) {
    LpEngine eng;
    EXPECT_EQ(solveCapped(eng, md, dual), LpStatus::kUnbounded) << (dual ? "dual" : "primal");
  }
}

// Limits, the poll callback and the log sink.
TEST(SimplexControl, IterationLimitAbortAndLog) {
  ModelData md = readModel("netlib/25fv47");
  {
    LpEngine eng;
    capIterations(eng, md);
    eng.options().iterationLimit = 50;
    ASSERT_EQ(eng.load(md), 0);
    EXPECT_EQ(eng.solveDual(), LpStatus::kIterationLimit);
    EXPECT_EQ(eng.iterations(), 50);
    std::vector<int> cstat(md.numCols()), rstat(md.numRows());
    eng.getBasis(cstat.data(), rstat.data());
    int basic = 0;
    for (int s : cstat) basic += s == 1;
    for (int s : rstat) basic += s == 1;
    EXPECT_EQ(basic, md.numRows());
  }
  {
    LpEngine eng;
    capIterations(eng, md);
    int calls = 0;
    eng.options().poll = [&calls] { return ++calls >= 3 ? 13 : 0; };
    ASSERT_EQ(eng.load(md), 0);
    EXPECT_EQ(eng.solveDual(), LpStatus::kAborted);
    EXPECT_EQ(calls, 3);
  }
  {
    LpEngine eng;
    capIterations(eng, md);
    std::vector<std::string> lines;
    eng.options().log = [&lines](const char* s) { lines.emplace_back(s); };
    eng.options().display = 0;
    ASSERT_EQ(eng.load(md), 0);
    ASSERT_EQ(eng.solveDual(), LpStatus::kOptimal);
    EXPECT_TRUE(lines.empty());
    eng.options().display = 1;
    ASSERT_EQ(eng.load(md), 0);
    ASSERT_EQ(eng.solveDual(), LpStatus::kOptimal);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "\nIteration log . . .\n");
    bool sawDualObjective = false;
    for (const auto& l : lines)
      if (l.rfind("Iteration: ", 0) == 0 && l.find("Dual objective     = ") != std::string::npos)
        sawDualObjective = true;
    EXPECT_TRUE(sawDualObjective);
  }
  {
    // Work is counted.
    LpEngine eng;
    capIterations(eng, md);
    uint64_t work = 0;
    eng.options().workCounter = &work;
    ASSERT_EQ(eng.load(md), 0);
    ASSERT_EQ(eng.solveDual(), LpStatus::kOptimal);
    EXPECT_GT(work, static_cast<uint64_t>(eng.iterations()));
  }
}

}  // namespace

namespace {

// A small model given column by column: (row, value) pairs per column.
struct SmallColumn {
  double obj, lb, ub;
  std::vector<std::pair<int, double>> entries;
};

ModelData smallModel(const std::vector<SmallColumn>& cols, const std::vector<char>& sense,
                     const std::vector<double>& rhs) {
  ModelData md;
  md.rhs = rhs;
  md.sense = sense;
  for (size_t i = 0; i < rhs.size(); ++i) md.rowname.push_back("r" + std::to_string(i));
  for (const SmallColumn& c : cols) {
    md.obj.push_back(c.obj);
    md.lb.push_back(c.lb);
    md.ub.push_back(c.ub);
    for (const auto& [i, v] : c.entries) {
      md.matind.push_back(i);
      md.matval.push_back(v);
    }
    md.matbeg.push_back(static_cast<int64_t>(md.matind.size()));
  }
  return md;
}

// Iterations a small model may take: proportional to its size.
int64_t smallCap(const ModelData& md) { return 20 * (md.numRows() + md.numCols()); }

// Two degenerate 5 x 6 models on which the simplex went round in circles:
// every few iterations numerical drift made a basic variable slightly
// infeasible again, so the iterations alternated between the phases and the
// stall monitor (which restarted at each phase change) never acted.
TEST(SimplexCycling, DegenerateSmallModelsEndInIterationsProportionalToTheirSize) {
  const double inf = 1e20;
  // Optimal, about -1.7587454e-08 (primal simplex cycled).
  ModelData a = smallModel(
      {{-0.0015798325066085539, 0, inf, {{0, 0.0026261395123989839}, {2, 799.6941177040253}, {4, -0.00027544536722181755}}},
       {-0.00054846360022306137, 0, inf,
        {{0, -7.8029452544721085}, {1, -0.00023783798510010356}, {3, 884.98907275382408}, {4, 443.37140948881125}}},
       {-0.0083107581035280851, -inf, inf, {{1, -31.961139163954243}, {3, 4.1099424596932945e-05}, {4, 0.0012268421451213673}}},
       {0.00093658575525861854, 0, inf, {{0, 0.72716270133295913}, {3, 0.21153947573565901}}},
       {-0.00021511585924799981, 0, 1,
        {{0, -512.39973218349303}, {1, 0.42048447924430121}, {2, -0.00014140990726014004}, {3, -0.0094876744011216339},
         {4, -0.00066863446918131412}}},
       {0.00067528042981886865, 0, inf,
        {{0, -0.00094855999669544251}, {2, -0.59475542981900187}, {3, 0.00030614717650648515}, {4, -0.0079469738455363436}}}},
      {'G', 'L', 'E', 'L', 'L'}, {0, 0, 0.0088475068390817865, 0, 0});
  // Unbounded (the dual simplex handed it to the primal, which cycled in its
  // phase 1).
  ModelData b = smallModel(
      {{-55.738703223873898, 0, inf, {{1, -0.00014519336154704399}, {4, 0.72545754358202519}}},
       {-0.0090197080389607387, 0, 2, {{0, -90.477934710626897}, {3, 0.014485916033583957}, {4, 0.00050053980194068946}}},
       {0, 0, inf, {{0, 0.068055405868834448}, {4, -0.0025889223302667306}}},
       {0.00032652915058522814, 0, inf,
        {{0, -0.0063130035331664062}, {1, -2.5573089883380815}, {2, -797.62487806419767}, {3, -0.0040402386691849373},
         {4, 75.846359047551303}}},
       {0, -inf, inf, {{1, -63.311894116064749}, {2, 0.77518073544157051}, {4, 0.26536599101871405}}},
       {-0.00028998993164772022, 0, 2, {{0, 6.7444253083256385}, {2, 913.21766389243271}, {4, 0.8593171348387747}}}},
      {'L', 'L', 'G', 'L', 'G'}, {0.0063039172037121947, 0, 0, 0, 0});
  for (bool dual : {false, true}) {
    LpEngine ea;
    capIterations(ea, a);
    ea.options().iterationLimit = smallCap(a);
    ASSERT_EQ(ea.load(a), 0);
    ASSERT_EQ(dual ? ea.solveDual() : ea.solvePrimal(), LpStatus::kOptimal) << (dual ? "dual" : "primal");
    EXPECT_NEAR(ea.objective(), -1.7587454236946402e-08, 1e-12);
    KktReport k = checkKkt(a, ea);
    EXPECT_LE(k.rowViol, kKktTol);
    EXPECT_LE(k.djViol, kKktTol);
    LpEngine eb;
    capIterations(eb, b);
    eb.options().iterationLimit = smallCap(b);
    ASSERT_EQ(eb.load(b), 0);
    EXPECT_EQ(dual ? eb.solveDual() : eb.solvePrimal(), LpStatus::kUnbounded) << (dual ? "dual" : "primal");
  }
}

// Bounded models whose optimum lies very far out (about 1e12): the entering
// column's entry in the row that finally stops it is about 1e-11, below the
// primal ratio test's pivot tolerance, so the primal simplex took the column
// for an unbounded ray (the dual simplex found the optimum).  In the third,
// scaling shrank the blocking entry to about 5e-12, below even the smaller
// pivots allowed for a ray in doubt, and both methods called the model
// unbounded: the ray now fails its check in the model's data.  Every method
// must end optimal at the exact optimum.
TEST(SimplexUnboundedRay, TinyBlockingEntryIsNotTakenForARay) {
  const std::pair<const char*, double> cases[] = {{"far_optimum_tiny_blocking_entry_8x9", -1.042699968e12},
                                                  {"far_optimum_tiny_blocking_entry_7x9", -8.552301378e11},
                                                  {"far_optimum_blocking_row_scaled_away_5x9", -2.27582853e10}};
  for (const auto& [name, exact] : cases) {
    ModelData md;
    std::string err;
    ASSERT_TRUE(vnt::test::readModel(std::string(VANTO_DIFF_CASES_DIR) + "/" + name + ".mps", md, &err)) << err;
    for (bool dual : {false, true}) {
      LpEngine e;
      capIterations(e, md);
      e.options().iterationLimit = smallCap(md);
      ASSERT_EQ(e.load(md), 0);
      EXPECT_EQ(dual ? e.solveDual() : e.solvePrimal(), LpStatus::kOptimal) << name << (dual ? " dual" : " primal");
      EXPECT_NEAR(e.objective(), exact, 1e-8 * std::fabs(exact)) << name << (dual ? " dual" : " primal");
    }
  }
}

// Nearly dependent rows spoil the reduced costs of an unscaled solve: at the
// optimal basis a column looked attractive while the true cost c'd of its
// ray was zero, so the solve called the model unbounded, then (with the ray
// refused) ended without a definite answer.  The duals of near-singular
// factors are now refined: both methods end optimal at the exact optimum,
// -19.0000067 (within the tolerances).
TEST(SimplexUnboundedRay, SpoiledReducedCostsDoNotHideTheOptimum) {
  ModelData md;
  std::string err;
  ASSERT_TRUE(vnt::test::readModel(std::string(VANTO_DIFF_CASES_DIR) + "/nearly_dependent_zero_cost_ray_6x10.mps",
                                   md, &err))
      << err;
  for (bool dual : {false, true}) {
    LpEngine e;
    capIterations(e, md);
    e.options().iterationLimit = smallCap(md);
    e.options().scale = false;
    ASSERT_EQ(e.load(md), 0);
    ASSERT_EQ(dual ? e.solveDual() : e.solvePrimal(), LpStatus::kOptimal) << (dual ? "dual" : "primal");
    EXPECT_NEAR(e.objective(), -19.0000067, 1e-6 * 19) << (dual ? "dual" : "primal");
    KktReport k = checkKkt(md, e);
    EXPECT_LE(std::max({k.boundViol, k.rowViol, k.djViol, k.piViol}), kKktTol) << (dual ? "dual" : "primal");
  }
}

// Degenerate models on which one method ended with status 6 (a singular
// basis repaired by fixing a slack, then factors that stayed ill-conditioned;
// a stall both methods gave up on): the solve starts once more from the slack
// basis with the other method and ends with a definite answer that both
// methods share.
TEST(SimplexRestart, DegenerateModelsWithoutADefiniteAnswerRestartFromTheSlackBasis) {
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(VANTO_DIFF_CASES_DIR)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("degenerate_no_definite_answer_", 0) != 0) continue;
    ++files;
    ModelData md;
    std::string err;
    ASSERT_TRUE(vnt::test::readModel(e.path().string(), md, &err)) << err;
    LpStatus st[2];
    double obj[2];
    for (int d = 0; d < 2; ++d) {
      LpEngine eng;
      capIterations(eng, md);
      eng.options().iterationLimit = smallCap(md);
      ASSERT_EQ(eng.load(md), 0);
      st[d] = d ? eng.solveDual() : eng.solvePrimal();
      obj[d] = eng.objective();
      EXPECT_TRUE(st[d] == LpStatus::kOptimal || st[d] == LpStatus::kUnbounded || st[d] == LpStatus::kInfeasible)
          << name << (d ? " dual" : " primal") << " status " << static_cast<int>(st[d]);
    }
    EXPECT_EQ(st[0], st[1]) << name;
    if (st[0] == LpStatus::kOptimal && st[1] == LpStatus::kOptimal) {
      EXPECT_NEAR(obj[0], obj[1], 1e-6 * (1.0 + std::fabs(obj[0]))) << name;
    }
  }
  EXPECT_EQ(files, 4);
}

// One solve's answer with the evidence the engine gives for it, checked in
// the model's own data: an optimal basis primal and dual feasible within the
// tolerances, a Farkas proof, or a feasible point with an improving ray.
struct CheckedAnswer {
  LpStatus status = LpStatus::kUnknown;
  double objective = 0.0;
  int64_t iterations = 0;
  bool holds = false;
  std::string why;
  std::vector<double> x, pi;
};

// A ray d of an unbounded answer: inside the recession cone of the bounds and
// the rows up to what rounding of its computation leaves (1e-11 of the
// largest component, or of a row's norm ||a_i||_1 times it), with a cost c'd
// below zero by more than the rounding of its sum, from a point feasible
// within the tolerance.
bool certifiesUnboundedness(const ModelData& md, const LpEngine& e, std::string& why) {
  const int n = md.numCols(), m = md.numRows();
  std::vector<double> d;
  if (!e.getPrimalRay(d)) return why = "no ray", false;
  double dmax = 0.0;
  for (double v : d) dmax = std::max(dmax, std::fabs(v));
  if (!(dmax > 0.0) || !std::isfinite(dmax)) return why = "ray is zero or not finite", false;
  long double cd = 0.0L, cdMag = 0.0L;
  std::vector<long double> ad(m, 0.0L), rowNorm(m, 0.0L);
  for (int j = 0; j < n; ++j) {
    if ((md.lb[j] > -1e20 && d[j] < -1e-11 * dmax) || (md.ub[j] < 1e20 && d[j] > 1e-11 * dmax))
      return why = "ray leaves the bounds of column " + std::to_string(j), false;
    cd += static_cast<long double>(md.obj[j]) * d[j];
    cdMag += std::fabs(md.obj[j] * d[j]);
    for (int64_t t = md.matbeg[j]; t < md.matbeg[j + 1]; ++t) {
      ad[md.matind[t]] += static_cast<long double>(md.matval[t]) * d[j];
      rowNorm[md.matind[t]] += std::fabs(md.matval[t]);
    }
  }
  for (int i = 0; i < m; ++i) {
    const auto [lo, up] = vnt::test::rowInterval(md, i);
    const long double tol = 1e-11L * rowNorm[i] * dmax;
    if ((up < 1e20 && ad[i] > tol) || (lo > -1e20 && ad[i] < -tol))
      return why = "ray leaves the limits of row " + std::to_string(i), false;
  }
  if (!(md.objsen * cd < -1e-11L * cdMag)) return why = "ray does not lower the objective", false;
  KktReport k = checkKkt(md, e);
  if (k.boundViol > kKktTol || k.rowViol > kKktTol) {
    std::ostringstream o;
    o << "the point with the ray is not feasible (bound violation " << k.boundViol << ", row " << k.rowViol << ")";
    return why = o.str(), false;
  }
  return true;
}

CheckedAnswer solveAndCheck(const ModelData& md, bool dual) {
  LpEngine e;
  e.options().iterationLimit = smallCap(md);
  CheckedAnswer a;
  if (e.load(md) != 0) return a.why = "load failed", a;
  a.status = dual ? e.solveDual() : e.solvePrimal();
  a.objective = e.objective();
  a.iterations = e.iterations();
  a.x.resize(md.numCols());
  a.pi.resize(md.numRows());
  e.getX(a.x.data());
  e.getPi(a.pi.data());
  std::vector<double> y;
  switch (a.status) {
    case LpStatus::kOptimal: {
      KktReport k = checkKkt(md, e);
      a.holds = k.basicCount == md.numRows() && k.boundViol <= kKktTol && k.rowViol <= kKktTol &&
                k.djViol <= kKktTol && k.piViol <= kKktTol;
      if (!a.holds) {
        std::ostringstream o;
        o << "optimal basis not primal and dual feasible (violations: bound " << k.boundViol << ", row " << k.rowViol
          << ", reduced cost " << k.djViol << ", row dual " << k.piViol << ")";
        a.why = o.str();
      }
      break;
    }
    case LpStatus::kInfeasible:
      a.holds = e.getFarkas(y) && certifiesInfeasibility(md, y);
      if (!a.holds) a.why = "no valid Farkas proof";
      break;
    case LpStatus::kUnbounded: a.holds = certifiesUnboundedness(md, e, a.why); break;
    default: a.why = "no definite answer (status " + std::to_string(static_cast<int>(a.status)) + ")"; break;
  }
  return a;
}

// How far below the objective of b (minimization form) the objective of a
// may lie given the measured violations: with b's duals pi and d = c - A'pi,
// obj(a) - obj(b) = sum_i pi_i (A x_a - A x_b)_i + sum_j d_j (x_a - x_b)_j
// exactly, and every term is nonnegative when b is exactly optimal and a
// exactly feasible.  A term falls short of zero only by its dual times how
// far a lies beyond the limit that dual prices plus how far b lies from it
// (or, for a dual of the wrong sign, within the tolerance, times the whole
// difference).  The sum of those amounts is returned.
double objectiveShortfallBound(const ModelData& md, const CheckedAnswer& a, const CheckedAnswer& b) {
  const int n = md.numCols(), m = md.numRows();
  const double sen = md.objsen;
  std::vector<long double> ra(m, 0.0L), rb(m, 0.0L), atpi(n, 0.0L);
  for (int j = 0; j < n; ++j)
    for (int64_t t = md.matbeg[j]; t < md.matbeg[j + 1]; ++t) {
      ra[md.matind[t]] += static_cast<long double>(md.matval[t]) * a.x[j];
      rb[md.matind[t]] += static_cast<long double>(md.matval[t]) * b.x[j];
      atpi[j] += static_cast<long double>(md.matval[t]) * b.pi[md.matind[t]];
    }
  // A dual p (minimization form) pricing the interval [lo, up] at values va, vb.
  auto shortfall = [](long double p, double lo, double up, long double va, long double vb) -> long double {
    if (p == 0.0L) return 0.0L;
    const double lim = p > 0 ? lo : up;
    if (std::fabs(lim) >= 1e20) return std::fabs(p) <= kKktTol ? std::fabs(p * (va - vb)) : 0.0L;
    const long double beyond = p > 0 ? std::max(0.0L, lim - va) : std::max(0.0L, va - lim);
    return std::fabs(p) * (beyond + std::fabs(vb - lim));
  };
  long double total = 0.0L;
  for (int i = 0; i < m; ++i) {
    const auto [lo, up] = vnt::test::rowInterval(md, i);
    total += shortfall(sen * static_cast<long double>(b.pi[i]), lo, up, ra[i], rb[i]);
  }
  for (int j = 0; j < n; ++j)
    total += shortfall(sen * (md.obj[j] - atpi[j]), md.lb[j], md.ub[j], a.x[j], b.x[j]);
  return static_cast<double>(total);
}

// Random degenerate models (mostly zero right-hand sides, data over seven
// orders of magnitude, all bound kinds): both methods end with a definite
// answer within an iteration budget proportional to the size, and each
// answer holds in the model's data (checked above).  The answers must agree,
// unless the model lies within the tolerances of the boundary between them:
// two different statuses that both hold (a point feasible within the
// tolerance and a Farkas proof, say), or two optimal objectives whose
// difference the violations of the two solutions, priced by the duals of the
// other, explain.  Such ill-posed models are counted, not failed.
// VANTO_DEGEN_MODELS sets the number of models (3000 by default); every
// model that fails is listed, and written as degen_<model>.mps into the
// folder VANTO_DEGEN_DUMP names when it is set.
TEST(SimplexCycling, RandomDegenerateModelsTerminateAndAgree) {
  const char* count = std::getenv("VANTO_DEGEN_MODELS");
  const char* dump = std::getenv("VANTO_DEGEN_DUMP");
  const int models = count && std::atoi(count) > 0 ? std::atoi(count) : 3000;
  int failed = 0;
  uint64_t state = 12345;
  auto next = [&state]() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state >> 33);
  };
  auto uni = [&]() { return static_cast<double>(next()) / 2147483648.0 - 1.0; };
  int optimal = 0, illPosed = 0;
  for (int t = 0; t < models && failed < std::max(20, models / 1000); ++t) {
    const int m = 3 + static_cast<int>(next() % 6), n = 3 + static_cast<int>(next() % 7);
    const bool wide = t % 2 == 1;
    auto value = [&]() {
      double v = uni();
      if (wide) v *= std::pow(10.0, static_cast<int>(next() % 7) - 3);
      if (t % 4 >= 2) v = std::round(v * 8) / 8;
      return v;
    };
    ModelData md;
    for (int j = 0; j < n; ++j) {
      md.obj.push_back(next() % 4 ? value() : 0.0);
      double lb = 0, ub = 1e20;
      switch (next() % 10) {
        case 0: ub = 1 + next() % 2; break;
        case 1: lb = -1e20; break;
        case 2: lb = -1; ub = 1; break;
        case 3: lb = -1e20; ub = 0; break;
        default: break;
      }
      md.lb.push_back(lb);
      md.ub.push_back(ub);
      for (int i = 0; i < m; ++i)
        if (next() % 3) {
          const double v = value();
          if (v == 0.0) continue;
          md.matind.push_back(i);
          md.matval.push_back(v);
        }
      md.matbeg.push_back(static_cast<int64_t>(md.matind.size()));
    }
    for (int i = 0; i < m; ++i) {
      md.rhs.push_back(next() % 6 ? 0.0 : value());
      const int s = static_cast<int>(next() % 8);
      md.sense.push_back(s < 5 ? 'L' : s < 7 ? 'G' : 'E');
    }
    for (int i = 0; i < m; ++i) md.rowname.push_back("r" + std::to_string(i));
    for (int j = 0; j < n; ++j) md.colname.push_back("c" + std::to_string(j));
    const CheckedAnswer ans[2] = {solveAndCheck(md, false), solveAndCheck(md, true)};
    std::string fault;
    for (int d = 0; d < 2 && fault.empty(); ++d)
      if (!ans[d].holds)
        fault = std::string(d ? "dual: " : "primal: ") + ans[d].why + " after " + std::to_string(ans[d].iterations) +
                " iterations";
    const double sen = md.objsen;
    auto note = [&](const char* what) {
      ++illPosed;
      std::printf("model %d ill-posed (%s): primal status %d objective %.10g, dual status %d objective %.10g\n", t, what,
                  static_cast<int>(ans[0].status), ans[0].objective, static_cast<int>(ans[1].status), ans[1].objective);
    };
    if (fault.empty() && ans[0].status != ans[1].status) {
      note("both answers hold");
    } else if (fault.empty() && ans[0].status == LpStatus::kOptimal &&
               std::fabs(ans[0].objective - ans[1].objective) > 1e-6 * (1.0 + std::fabs(ans[0].objective))) {
      // Minimization form: obj(a) - obj(b) >= -shortfall(a, b) both ways.
      const double diff = sen * (ans[0].objective - ans[1].objective);
      const double slack = 1e-9 * (1.0 + std::fabs(ans[0].objective));
      if (diff < -objectiveShortfallBound(md, ans[0], ans[1]) - slack ||
          -diff < -objectiveShortfallBound(md, ans[1], ans[0]) - slack)
        fault = "objectives differ beyond what the violations explain";
      else
        note("the violations explain the difference");
    }
    if (fault.empty()) {
      optimal += ans[0].status == LpStatus::kOptimal;
      continue;
    }
    ++failed;
    ADD_FAILURE() << "model " << t << ": " << fault << "; primal status " << static_cast<int>(ans[0].status)
                  << " objective " << ans[0].objective << ", dual status " << static_cast<int>(ans[1].status)
                  << " objective " << ans[1].objective;
    if (dump) {
      vnt::test::CollectMessages msg;
      vnt::io::writeProblemFile(std::string(dump) + "/degen_" + std::to_string(t) + ".mps", nullptr, md, msg);
    }
  }
  std::printf("%d models: %d optimal, %d ill-posed (answers differ within the tolerances), %d failed\n", models,
              optimal, illPosed, failed);
  EXPECT_GT(optimal, models / 6);
}

// An unbounded answer stands on a point feasible in the model's own units:
// in the first model the scaled tolerance hid a row violation of about 2e-6
// at the point with the ray; in the second the ray was found on bounds
// perturbed against stalling, from a point outside the true bounds, and the
// model is infeasible in exact arithmetic.
TEST(SimplexUnboundedRay, TheRayStartsFromAPointFeasibleInTheModelsUnits) {
  const std::pair<const char*, LpStatus> cases[] = {{"unbounded_point_outside_row_limit_6x3", LpStatus::kUnbounded},
                                                    {"infeasible_ray_found_on_perturbed_bounds_8x8", LpStatus::kInfeasible}};
  for (const auto& [name, exact] : cases) {
    ModelData md;
    std::string err;
    ASSERT_TRUE(vnt::test::readModel(std::string(VANTO_DIFF_CASES_DIR) + "/" + name + ".mps", md, &err)) << err;
    for (bool dual : {false, true}) {
      const CheckedAnswer a = solveAndCheck(md, dual);
      EXPECT_TRUE(a.holds) << name << (dual ? " dual: " : " primal: ") << a.why;
      EXPECT_EQ(a.status, exact) << name << (dual ? " dual" : " primal");
    }
  }
}

}  // namespace

namespace {

// Feasible models with two nearly parallel equality rows (their coefficients
// and right-hand sides differ from the ninth significant digit on) and a
// third inequality row: a point on one equality misses the other by up to
// about 1e-7, and the basis that satisfies both is close to singular.  Such a
// model must never be reported infeasible without a proof that holds in its
// own data; both methods find its optimum.
ModelData nearlyParallelModel(uint64_t& state, double rel) {
  auto next = [&state]() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state >> 33);
  };
  auto uni = [&](double a, double b) { return a + (b - a) * (static_cast<double>(next()) / 2147483648.0); };
  const int n = 3 + static_cast<int>(next() % 3);
  std::vector<std::vector<double>> a(3, std::vector<double>(n));
  std::vector<double> x(n);
  for (int j = 0; j < n; ++j) {
    a[0][j] = uni(-10, 10);
    a[2][j] = uni(-10, 10);
    a[1][j] = a[0][j] * (1.0 + rel * uni(-1, 1));
    x[j] = uni(0, 3.3);
  }
  ModelData md;
  md.sense = {'E', 'E', 'L'};
  md.rowname = {"a", "b", "c"};
  for (int i = 0; i < 3; ++i) {
    double r = 0.0;
    for (int j = 0; j < n; ++j) r += a[i][j] * x[j];
    md.rhs.push_back(i == 2 ? r + 1.0 : r);
  }
  for (int j = 0; j < n; ++j) {
    md.obj.push_back(uni(-10, 10));
    md.lb.push_back(0.0);
    md.ub.push_back(20.0);
    for (int i = 0; i < 3; ++i) {
      md.matind.push_back(i);
      md.matval.push_back(a[i][j]);
    }
    md.matbeg.push_back(static_cast<int64_t>(md.matind.size()));
  }
  return md;
}

TEST(SimplexInfeasibilityProof, NearlyParallelEqualitiesAreNotDeclaredInfeasible) {
  uint64_t state = 4242;
  int solved = 0;
  for (double rel : {1e-7, 1e-8, 1e-9}) {
    for (int t = 0; t < 150; ++t) {
      ModelData md = nearlyParallelModel(state, rel);
      for (bool dual : {true, false}) {
        LpEngine e;
        e.options().iterationLimit = smallCap(md);
        ASSERT_EQ(e.load(md), 0);
        const LpStatus st = dual ? e.solveDual() : e.solvePrimal();
        ASSERT_EQ(st, LpStatus::kOptimal) << "rel " << rel << " model " << t << (dual ? " dual" : " primal");
        KktReport k = checkKkt(md, e);
        EXPECT_LE(k.rowViol, kKktTol) << "rel " << rel << " model " << t;
        EXPECT_LE(k.boundViol, kKktTol) << "rel " << rel << " model " << t;
        ++solved;
      }
    }
  }
  EXPECT_EQ(solved, 900);
}

// Two parallel equalities whose right-hand sides differ by more than the
// feasibility tolerance allows: infeasible, with a certificate from either
// method that an independent check accepts.
TEST(SimplexInfeasibilityProof, SmallButRealInfeasibilityIsProved) {
  for (double gap : {1e-3, 2e-5}) {
    // x0 + 2 x1 = 3 and x0 + 2 x1 = 3 + gap, 0 <= x <= 10.
    ModelData md = smallModel({{1.0, 0.0, 10.0, {{0, 1.0}, {1, 1.0}}}, {1.0, 0.0, 10.0, {{0, 2.0}, {1, 2.0}}}},
                              {'E', 'E'}, {3.0, 3.0 + gap});
    for (bool dual : {true, false}) {
      LpEngine e;
      e.options().iterationLimit = smallCap(md);
      ASSERT_EQ(e.load(md), 0);
      ASSERT_EQ(dual ? e.solveDual() : e.solvePrimal(), LpStatus::kInfeasible) << gap;
      std::vector<double> y;
      ASSERT_TRUE(e.getFarkas(y));
      EXPECT_TRUE(certifiesInfeasibility(md, y)) << gap;
    }
  }
}

}  // namespace
