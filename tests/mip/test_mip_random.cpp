// Small random MIPs with every restriction kind (integer, binary,
// semi-integer, semi-continuous, SOS1, SOS2, indicator constraints in all
// three directions, piecewise-linear constraints), solved by VNTmipopt and
// by brute-force enumeration written here.  The optimum must agree, the
// best bound must not pass it, and the incumbent must satisfy the model as
// checked here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "mip/search.h"
#include "model/problem.h"
#include "vanto/vanto.h"

namespace {

using vnt::model::ModelData;

constexpr double kNoOpt = std::numeric_limits<double>::infinity();

struct Gen {
  std::mt19937 rng;
  explicit Gen(unsigned seed) : rng(seed) {}
  int uni(int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); }
  double real(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); }
  bool coin(double p) { return real(0, 1) < p; }
};

struct Options {
  bool sos = false, indicators = false, pwl = false, semi = false, continuous = false;
  bool presolve = true;
  bool wide = false;  // 10 to 13 binary columns (enough for root restarts)
  bool rationalCosts = false;  // integer-column costs k / d, d in {1, 2, 4, 5, 8}
};

// Model layout: integer-valued columns first (I, B, N), then at most one
// continuous column (C or S), then the output columns of the piecewise-linear
// constraints.
struct RandomModel {
  ModelData md;
  int nInt = 0;
  int cont = -1;  // the continuous column or -1
  std::vector<int> pwlY;
};

RandomModel makeModel(Gen& g, const Options& o) {
  RandomModel r;
  ModelData& md = r.md;
  md.objsen = g.coin(0.5) ? 1 : -1;
  r.nInt = o.wide ? g.uni(10, 13) : g.uni(3, 5);
  for (int j = 0; j < r.nInt; ++j) {
    const int t = o.wide ? 0 : g.uni(0, o.semi ? 3 : 2);
    char type = t == 0 ? 'B' : t == 3 ? 'N' : 'I';
    double lb = 0, ub = 1;
    if (type == 'I') {
      lb = g.uni(-1, 0);
      ub = g.uni(1, 3);
    } else if (type == 'N') {
      lb = g.uni(1, 2);
      ub = lb + g.uni(0, 2);
    }
    if (o.rationalCosts) {
      static constexpr double kDen[] = {1, 2, 4, 5, 8};
      md.obj.push_back(g.uni(-40, 40) / kDen[g.uni(0, 4)]);
    } else {
      md.obj.push_back(g.uni(-5, 5));
    }
    md.lb.push_back(lb);
    md.ub.push_back(ub);
    md.ctype.push_back(type);
  }
  if (o.continuous || (o.semi && g.coin(0.7))) {
    r.cont = static_cast<int>(md.obj.size());
    const bool semi = o.semi && g.coin(0.6);
    md.obj.push_back(g.real(-3, 3));
    md.lb.push_back(semi ? g.uni(1, 2) + 0.5 : 0.0);
    md.ub.push_back(semi ? md.lb.back() + g.uni(1, 3) : 5.5);
    md.ctype.push_back(semi ? 'S' : 'C');
  }
  if (o.pwl) {
    const int cnt = g.uni(1, 2);
    for (int k = 0; k < cnt; ++k) {
      vnt::model::PwlConstraint c;
      c.xcol = g.uni(0, r.nInt - 1);
      c.ycol = static_cast<int>(md.obj.size());
      r.pwlY.push_back(c.ycol);
      md.obj.push_back(g.uni(-3, 3));
      md.lb.push_back(-1000);
      md.ub.push_back(1000);
      md.ctype.push_back('C');
      const int K = g.uni(1, 4);
      double x = g.uni(-1, 1);
      for (int q = 0; q < K; ++q) {
        c.x.push_back(x);
        c.y.push_back(g.uni(-4, 4));
        x += g.uni(0, 2);  // equal abscissae make jumps
      }
      c.preslope = g.uni(-2, 2);
      c.postslope = g.uni(-2, 2);
      md.pwl.push_back(c);
    }
  }
  const int n = static_cast<int>(md.obj.size());
  // Rows.
  const int m = g.uni(1, 4);
  std::vector<std::vector<double>> a(m, std::vector<double>(n, 0.0));
  for (int i = 0; i < m; ++i) {
    if (o.wide) {
      // Knapsack rows: a fractional root with a gap to close.
      double sum = 0;
      for (int j = 0; j < n; ++j)
        if (g.coin(0.8)) sum += a[i][j] = g.uni(1, 9);
      md.sense.push_back('L');
      md.rhs.push_back(std::floor(sum / 2));
      continue;
    }
    for (int j = 0; j < n; ++j)
      if (g.coin(0.6)) a[i][j] = j == r.cont ? g.real(-2, 2) : g.uni(-3, 3);
    const int s = g.uni(0, 5);
    md.sense.push_back(s < 3 ? 'L' : s < 5 ? 'G' : 'E');
    md.rhs.push_back(g.uni(-3, 6));
  }
  if (o.wide) {
    // Profits to collect: maximize a positive objective or minimize its negation.
    for (int j = 0; j < n; ++j) md.obj[j] = md.objsen * -(o.rationalCosts ? g.uni(4, 40) / 4.0 : g.uni(1, 9));
  }
  md.matbeg.assign(1, 0);
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < m; ++i)
      if (a[i][j] != 0.0) {
        md.matind.push_back(i);
        md.matval.push_back(a[i][j]);
      }
    md.matbeg.push_back(static_cast<int64_t>(md.matind.size()));
  }
  for (int i = 0; i < m; ++i) md.rowname.push_back("r" + std::to_string(i));
  for (int j = 0; j < n; ++j) md.colname.push_back("x" + std::to_string(j));
  // Sets over integer columns with nonnegative domains.
  if (o.sos) {
    std::vector<int> cand;
    for (int j = 0; j < r.nInt; ++j)
      if (md.lb[j] >= 0 || md.ctype[j] == 'N') cand.push_back(j);
    const int cnt = g.uni(1, 2);
    for (int k = 0; k < cnt && cand.size() >= 2; ++k) {
      std::shuffle(cand.begin(), cand.end(), g.rng);
      vnt::model::SosSet s;
      s.type = g.coin(0.5) ? '1' : '2';
      const int sz = g.uni(2, static_cast<int>(cand.size()));
      for (int q = 0; q < sz; ++q) {
        s.ind.push_back(cand[q]);
        s.weight.push_back(q + 1);
      }
      md.sos.push_back(s);
    }
  }
  if (o.indicators) {
    std::vector<int> bins;
    for (int j = 0; j < r.nInt; ++j)
      if (md.ctype[j] == 'B') bins.push_back(j);
    if (bins.empty()) {
      md.ctype[0] = 'B';
      md.lb[0] = 0;
      md.ub[0] = 1;
      bins.push_back(0);
    }
    const int cnt = g.uni(1, 2);
    for (int k = 0; k < cnt; ++k) {
      vnt::model::IndicatorConstraint c;
      c.indvar = bins[g.uni(0, static_cast<int>(bins.size()) - 1)];
      c.complemented = g.coin(0.3);
      c.direction = g.uni(0, 2);
      const int s = g.uni(0, 4);
      c.sense = s < 2 ? 'L' : s < 4 ? 'G' : 'E';
      c.rhs = g.uni(-2, 4);
      for (int j = 0; j < r.nInt; ++j)
        if (j != c.indvar && g.coin(0.6)) {
          c.ind.push_back(j);
          c.val.push_back(g.uni(-3, 3) + 0.0);
        }
      if (c.ind.empty()) {
        c.ind.push_back(c.indvar == 0 ? 1 : 0);
        c.val.push_back(1);
      }
      md.indconstr.push_back(c);
    }
  }
  return r;
}

// ---------------------------------------------------------------------------
// Brute force.

struct Checker {
  const ModelData& md;
  double rowAct(int i, const std::vector<double>& x) const {
    double s = 0;
    for (int j = 0; j < md.numCols(); ++j)
      for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k)
        if (md.matind[k] == i) s += md.matval[k] * x[j];
    return s;
  }
  static bool holds(char sense, double a, double rhs, double t) {
    return sense == 'L' ? a <= rhs + t : sense == 'G' ? a >= rhs - t : std::fabs(a - rhs) <= t;
  }
  // Everything but rows touching nothing continuous is exact on integers;
  // t is the tolerance for the rest.
  bool feasible(const std::vector<double>& x, double t, std::string* why = nullptr) const {
    const int n = md.numCols();
    for (int j = 0; j < n; ++j) {
      const char c = md.ctype[j];
      const double v = x[j];
      if ((c == 'S' || c == 'N') && std::fabs(v) <= t) continue;
      if (v < md.lb[j] - t || v > md.ub[j] + t) return (why && (*why = "bound " + std::to_string(j)).size()) && false;
      if ((c == 'I' || c == 'B' || c == 'N') && std::fabs(v - std::round(v)) > 1e-5)
        return (why && (*why = "integrality " + std::to_string(j)).size()) && false;
    }
    for (int i = 0; i < md.numRows(); ++i)
      if (!holds(md.sense[i], rowAct(i, x), md.rhs[i], t)) return (why && (*why = "row " + std::to_string(i)).size()) && false;
    for (const auto& s : md.sos) {
      int first = -1, last = -1, cnt = 0;
      for (size_t k = 0; k < s.ind.size(); ++k)
        if (std::fabs(x[s.ind[k]]) > t) {
          if (first < 0) first = static_cast<int>(k);
          last = static_cast<int>(k);
          ++cnt;
        }
      if (s.type == '1' ? cnt > 1 : (cnt > 2 || (cnt == 2 && last != first + 1)))
        return (why && (*why = "sos").size()) && false;
    }
    for (const auto& c : md.indconstr) {
      const bool active = std::fabs(x[c.indvar] - (c.complemented ? 0.0 : 1.0)) < 0.5;
      double a = 0;
      for (size_t k = 0; k < c.ind.size(); ++k) a += c.val[k] * x[c.ind[k]];
      const bool h = holds(c.sense, a, c.rhs, t);
      if (c.direction != 1 && active && !h) return (why && (*why = "indicator").size()) && false;
      if (c.direction != 0 && !active && h) return (why && (*why = "indicator reversed").size()) && false;
    }
    for (const auto& c : md.pwl) {
      bool ok = false;
      for (double f : pwlValues(c, x[c.xcol]))
        if (std::fabs(f - x[c.ycol]) <= t * 10) ok = true;
      if (!ok) return (why && (*why = "pwl").size()) && false;
    }
    return true;
  }
  // The values f may take at x (several at a jump).
  static std::vector<double> pwlValues(const vnt::model::PwlConstraint& c, double x) {
    std::vector<double> v;
    const size_t K = c.x.size();
    if (x < c.x[0]) v.push_back(c.y[0] + c.preslope * (x - c.x[0]));
    if (x > c.x[K - 1]) v.push_back(c.y[K - 1] + c.postslope * (x - c.x[K - 1]));
    for (size_t k = 0; k < K; ++k)
      if (x == c.x[k]) v.push_back(c.y[k]);
    for (size_t k = 0; k + 1 < K; ++k)
      if (c.x[k] < x && x < c.x[k + 1])
        v.push_back(c.y[k] + (c.y[k + 1] - c.y[k]) * (x - c.x[k]) / (c.x[k + 1] - c.x[k]));
    return v;
  }
};

// Optimal objective (user sense) by enumeration, or kNoOpt when infeasible.
double bruteForce(const RandomModel& r, std::vector<double>* arg = nullptr) {
  const ModelData& md = r.md;
  Checker ck{md};
  const int n = md.numCols();
  std::vector<double> x(n, 0.0);
  double best = kNoOpt;
  std::vector<std::vector<double>> dom(r.nInt);
  for (int j = 0; j < r.nInt; ++j) {
    if (md.ctype[j] == 'N') dom[j].push_back(0);
    for (int v = static_cast<int>(md.lb[j]); v <= static_cast<int>(md.ub[j]); ++v)
      if (!(md.ctype[j] == 'N' && v == 0)) dom[j].push_back(v);
  }
  auto evaluate = [&]() {
    double obj = 0;
    auto consider = [&]() {
      if (!ck.feasible(x, 1e-9)) return;
      double o = md.objoffset;
      for (int j = 0; j < n; ++j) o += md.obj[j] * x[j];
      o *= md.objsen;
      if (o < best && arg) *arg = x;
      best = std::min(best, o);
    };
    (void)obj;
    if (r.cont < 0) {
      consider();
      return;
    }
    // One continuous column: its feasible interval from the rows, then the
    // best end (and 0 for a semi-continuous column).
    const int c = r.cont;
    std::vector<std::pair<double, double>> pieces;
    if (md.ctype[c] == 'S') pieces = {{0.0, 0.0}, {md.lb[c], md.ub[c]}};
    else pieces = {{md.lb[c], md.ub[c]}};
    for (auto [lo, hi] : pieces) {
      x[c] = 0;
      for (int i = 0; i < md.numRows() && lo <= hi; ++i) {
        double a = 0;
        for (int64_t k = md.matbeg[c]; k < md.matbeg[c + 1]; ++k)
          if (md.matind[k] == i) a = md.matval[k];
        if (a == 0.0) continue;
        const double rest = ck.rowAct(i, x);
        double rl = -1e30, ru = 1e30;
        if (md.sense[i] != 'G') ru = md.rhs[i] - rest;
        if (md.sense[i] != 'L') rl = md.rhs[i] - rest;
        double l2 = a > 0 ? rl / a : ru / a, h2 = a > 0 ? ru / a : rl / a;
        lo = std::max(lo, l2);
        hi = std::min(hi, h2);
      }
      if (lo > hi + 1e-12) continue;
      x[c] = lo;
      consider();
      x[c] = hi;
      consider();
    }
    x[c] = 0;
  };
  std::function<void(int)> rec = [&](int j) {
    if (j == r.nInt) {
      // Outputs of the piecewise-linear constraints.
      std::function<void(size_t)> pw = [&](size_t k) {
        if (k == md.pwl.size()) {
          evaluate();
          return;
        }
        for (double f : Checker::pwlValues(md.pwl[k], x[md.pwl[k].xcol])) {
          x[md.pwl[k].ycol] = f;
          pw(k + 1);
        }
      };
      pw(0);
      return;
    }
    for (double v : dom[j]) {
      x[j] = v;
      rec(j + 1);
    }
  };
  rec(0);
  return best;
}

class RandomMip : public ::testing::Test {
 protected:
  void SetUp() override {
    int st = 0;
    env = VNTopenVANTO(&st);
    ASSERT_NE(env, nullptr);
    VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 0);
    VNTsetdblparam(env, VNT_PARAM_EPGAP, 0.0);
    VNTsetdblparam(env, VNT_PARAM_EPAGAP, 0.0);
    VNTsetlongparam(env, VNT_PARAM_NODELIM, 100000);  // a runaway search fails, not hangs
    lp = VNTcreateprob(env, &st, "random");
  }
  void TearDown() override {
    VNTfreeprob(env, &lp);
    VNTcloseVANTO(&env);
  }

  // VANTO_RANDOM_MIP_SEED=K draws other models (seed + 1000 K) for a longer
  // check outside the default run.
  void runMany(const Options& o, unsigned seed, int count) {
    if (const char* k = std::getenv("VANTO_RANDOM_MIP_SEED")) seed += 1000u * static_cast<unsigned>(std::atoi(k));
    Gen g(seed);
    int solved = 0, infeasible = 0, presolved = 0;
    restarted = fracStep = 0;
    primalLps = 0;
    VNTsetintparam(env, VNT_PARAM_PREIND, o.presolve ? 1 : 0);
    for (int t = 0; t < count; ++t) {
      RandomModel r = makeModel(g, o);
      SCOPED_TRACE("model " + std::to_string(t) + " of seed " + std::to_string(seed));
      vnt::model::Problem* p = vnt::model::resolveHandle(lp);
      ASSERT_NE(p, nullptr);
      ModelData copy = r.md;
      ASSERT_EQ(vnt::model::replaceData(*p->env, *p, std::move(copy)), 0);
      ASSERT_EQ(VNTmipopt(env, lp), 0);
      if (const vnt::mip::Search* s = vnt::mip::findSearch(*p); s && s->pre_) ++presolved;
      if (const vnt::mip::Search* s = vnt::mip::findSearch(*p); s && s->restarts_ > 0) ++restarted;
      if (const vnt::mip::Search* s = vnt::mip::findSearch(*p); s && s->w.objStep > 0 && s->w.objStep < 1) ++fracStep;
      if (const vnt::mip::Search* s = vnt::mip::findSearch(*p)) primalLps += s->primalNodeLps_;
      std::vector<double> arg;
      const double want = bruteForce(r, &arg);
      const int stat = VNTgetstat(env, lp);
      if (want == kNoOpt) {
        // Presolve may settle an infeasible model as infeasible or unbounded.
        if (stat != VNTMIP_INForUNBD) {
          EXPECT_EQ(stat, VNTMIP_INFEASIBLE) << dump(r);
        }
        ++infeasible;
        continue;
      }
      ASSERT_EQ(stat, VNTMIP_OPTIMAL) << dump(r);
      double obj = 0, bound = 0;
      ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
      ASSERT_EQ(VNTgetbestobjval(env, lp, &bound), 0);
      const double wantUser = r.md.objsen * want;
      EXPECT_NEAR(obj, wantUser, 1e-6 * (1 + std::fabs(wantUser))) << dump(r, arg);
      EXPECT_LE(r.md.objsen * bound, want + 1e-6 * (1 + std::fabs(want))) << dump(r);
      std::vector<double> x(r.md.numCols());
      ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, r.md.numCols() - 1), 0);
      std::string why;
      EXPECT_TRUE(Checker{r.md}.feasible(x, 1e-6, &why)) << why << "\n" << dump(r);
      ++solved;
    }
    // The generator must produce both outcomes, or the test proves little.
    EXPECT_GT(solved, count / 5);
    if (!o.wide) {  // knapsack rows always hold at 0
      EXPECT_GT(infeasible, 0);
    }
    // The search works on a presolved model often enough for the
    // comparison to cover the mapping back (never with presolve off).
    if (o.presolve) {
      EXPECT_GT(presolved, count / 4);
    }
    if (!o.presolve) {
      EXPECT_EQ(presolved, 0);
    }
  }

  std::string dump(const RandomModel& r, const std::vector<double>& arg = {}) {
    char path[] = "/tmp/vanto_random_mipXXXXXX.lp";
    int fd = mkstemps(path, 3);
    if (fd < 0) return "";
    close(fd);
    VNTwriteprob(env, lp, path, nullptr);
    (void)r;
    std::string a;
    for (double v : arg) a += " " + std::to_string(v);
    return std::string("model written to ") + path + (a.empty() ? "" : "; enumeration optimum at" + a);
  }

  VNTENVptr env = nullptr;
  VNTLPptr lp = nullptr;
  int restarted = 0;  // models whose search restarted at the root
  int fracStep = 0;   // models whose objective moves in steps below 1
  long long primalLps = 0;  // node LPs solved by the primal simplex
};

TEST_F(RandomMip, IntegerAndBinaryColumns) { runMany(Options{}, 11, 1500); }

// Wider binary models: the root fixes enough columns for restarts, so the
// answers cover the second presolve and the mapping back through both.
TEST_F(RandomMip, RootRestarts) {
  Options o;
  o.wide = true;
  VNTsetlongparam(env, VNT_PARAM_CUTPASS, -1);  // cuts would close most roots
  VNTsetintparam(env, VNT_PARAM_REPEATPRESOLVE, 1);
  runMany(o, 29, 300);
  EXPECT_GT(restarted, 10);
}

// Costs with small denominators: an incumbent cuts off every node not one
// objective step (the gcd over the common denominator) better.  A step too
// large would cut off the optimum.
TEST_F(RandomMip, RationalCostsPruneByTheirStep) {
  Options o;
  o.rationalCosts = true;
  runMany(o, 31, 800);
  EXPECT_GT(fracStep, 40);
  // Depth first with neither cuts nor heuristics: a chain of incumbents,
  // each pruning by its step.
  o.wide = true;
  VNTsetlongparam(env, VNT_PARAM_CUTPASS, -1);
  VNTsetlongparam(env, VNT_PARAM_HEURFREQ, -1);
  VNTsetintparam(env, VNT_PARAM_FPHEUR, -1);
  VNTsetintparam(env, VNT_PARAM_NODESEL, 0);
  runMany(o, 32, 300);
  EXPECT_GT(fracStep, 100);
}

// Root and node LPs by the primal simplex (from the parent's basis): the
// same optima.
TEST_F(RandomMip, NodeLpsByThePrimalSimplex) {
  VNTsetintparam(env, VNT_PARAM_STARTALG, 1);
  VNTsetintparam(env, VNT_PARAM_SUBALG, 1);
  VNTsetlongparam(env, VNT_PARAM_CUTPASS, -1);  // more nodes
  Options o;
  o.continuous = o.sos = o.semi = true;
  runMany(o, 33, 600);
  EXPECT_GT(primalLps, 600);
}

TEST_F(RandomMip, WithoutPresolve) {
  Options o;
  o.presolve = false;
  runMany(o, 21, 600);
  o.continuous = o.sos = o.indicators = o.pwl = true;
  runMany(o, 22, 600);
}

TEST_F(RandomMip, WithAContinuousColumn) {
  Options o;
  o.continuous = true;
  runMany(o, 12, 1500);
}

TEST_F(RandomMip, SemiContinuousAndSemiIntegerColumns) {
  Options o;
  o.semi = true;
  runMany(o, 13, 1500);
}

TEST_F(RandomMip, SpecialOrderedSets) {
  Options o;
  o.sos = true;
  runMany(o, 14, 1500);
}

TEST_F(RandomMip, IndicatorConstraintsInEveryDirection) {
  Options o;
  o.indicators = true;
  runMany(o, 15, 1500);
}

TEST_F(RandomMip, PiecewiseLinearConstraints) {
  Options o;
  o.pwl = true;
  runMany(o, 16, 1500);
}

TEST_F(RandomMip, EverythingTogether) {
  Options o;
  o.sos = o.indicators = o.pwl = o.semi = true;
  runMany(o, 17, 1500);
}

// Dives at every node (each rule in turn) with reduced-cost fixing from
// their incumbents: the optimum stays the enumeration's.
TEST_F(RandomMip, DivesAtEveryNode) {
  VNTsetlongparam(env, VNT_PARAM_HEURFREQ, 1);
  Options o;
  o.continuous = true;
  runMany(o, 18, 600);
  Options all;
  all.sos = all.indicators = all.pwl = all.semi = true;
  runMany(all, 19, 600);
}

}  // namespace
