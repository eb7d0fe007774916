// The dual writer end to end: the dual of an LP, written as MPS and read
// back, solves to the primal optimum once the written objective shift is
// added.  Checked on Netlib models against their reference optima (solved
// by our own simplex, and by a peer solver when one is installed), and on
// random small LPs with every bound shape, ranged rows, both senses and an
// objective offset, whose primal is solved too.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "common/models.h"
#include "io/io_test_util.h"
#include "env_fixture.h"

namespace {

using vnt::io::test::TempDir;

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Optimal objective of a written dual by the peer solver (glpsol), NAN when
// it is not installed.  The peer's free-MPS reader takes the sense from the
// command line, so the OBJSENSE section is left out of its copy.
double peerOptimum(const std::string& file, bool maximize, std::string* log) {
  if (std::system("command -v glpsol >/dev/null 2>&1") != 0) return NAN;
  const std::string copy = file + ".peer.mps", sol = file + ".peer.sol";
  {
    std::ifstream in(file);
    std::ofstream out(copy);
    std::string line;
    bool senseSection = false;
    while (std::getline(in, line)) {
      if (line.rfind("OBJSENSE", 0) == 0) {
        senseSection = true;
        continue;
      }
      if (senseSection && !line.empty() && line[0] == ' ') continue;
      senseSection = false;
      out << line << "\n";
    }
  }
  const std::string cmd = "glpsol --freemps " + copy + (maximize ? " --max" : " --min") + " -w " + sol + " 2>&1";
  FILE* f = popen(cmd.c_str(), "r");
  if (!f) return NAN;
  char line[512];
  while (std::fgets(line, sizeof line, f)) log->append(line);
  pclose(f);
  // Solution file: "s bas <rows> <cols> <primal status> <dual status> <objective>".
  std::ifstream in(sol);
  std::string l;
  while (std::getline(in, l)) {
    if (l.rfind("s bas ", 0) != 0) continue;
    std::istringstream ls(l.substr(6));
    long long rows = 0, cols = 0;
    std::string ps, ds;
    double v = NAN;
    ls >> rows >> cols >> ps >> ds >> v;
    return ps == "f" && ds == "f" ? v : NAN;
  }
  return NAN;
}

bool relClose(double a, double b, double tol) {
  return std::fabs(a - b) <= tol * std::max(1.0, std::fabs(b));
}

class Dual : public vnt::test::EnvFixture {};

TEST_F(Dual, NetlibDualOptimumPlusShiftIsPrimalOptimum) {
  TempDir dir;
  const char* names[] = {"afiro", "sc50a", "blend", "kb2", "share2b", "recipe", "boeing2", "vtpbase",
                         "grow7", "sctap1", "stocfor1", "israel"};
  const auto& refs = vnt::test::references();
  int peerChecked = 0;
  for (const char* name : names) {
    SCOPED_TRACE(name);
    auto it = refs.find(name);
    ASSERT_NE(it, refs.end());
    const double ref = it->second.objective;
    const std::string primal = vnt::test::modelPath("netlib", name);
    VNTLPptr p = newProb("primal");
    ASSERT_EQ(VNTreadcopyprob(env, p, primal.c_str(), nullptr), 0);
    const std::string out = dir.file(std::string(name) + "_dual.mps");
    double shift = NAN;
    ASSERT_EQ(VNTdualwrite(env, p, out.c_str(), &shift), 0) << errors.all();
    const std::string text = slurp(out);
    char pname[256];
    int surplus = 0;
    ASSERT_EQ(VNTgetprobname(env, p, pname, sizeof pname, &surplus), 0);
    const std::string head = "NAME          " + std::string(pname) + ".dual";
    EXPECT_NE(text.find(head), std::string::npos) << text.substr(0, 200);
    if (shift != 0.0) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%18.10e", shift);
      EXPECT_NE(text.find(head + " (objshift = " + buf + ")\n"), std::string::npos) << text.substr(0, 200);
    }

    VNTLPptr d = newProb("dual");
    ASSERT_EQ(VNTreadcopyprob(env, d, out.c_str(), nullptr), 0) << errors.all();
    // rows of the dual: the primal columns; columns: at least the rows
    EXPECT_EQ(VNTgetnumrows(env, d), VNTgetnumcols(env, p));
    EXPECT_GE(VNTgetnumcols(env, d), VNTgetnumrows(env, p));
    EXPECT_EQ(VNTgetobjsen(env, d), -VNTgetobjsen(env, p));
    ASSERT_EQ(VNTlpopt(env, d), 0);
    ASSERT_EQ(VNTgetstat(env, d), 1);
    double dobj = 0;
    ASSERT_EQ(VNTgetobjval(env, d, &dobj), 0);
    EXPECT_TRUE(relClose(dobj + shift, ref, 1e-6)) << dobj << " + " << shift << " vs " << ref;
    std::string peerLog;
    const double peer = peerOptimum(out, VNTgetobjsen(env, d) < 0, &peerLog);
    if (std::isnan(peer) && !peerLog.empty()) ADD_FAILURE() << "peer gave no optimum:\n" << peerLog;
    if (!std::isnan(peer)) {
      ++peerChecked;
      EXPECT_TRUE(relClose(peer + shift, ref, 1e-6)) << "peer " << peer << " + " << shift << " vs " << ref;
    }
    freeProb(d);
    freeProb(p);
  }
  std::printf("peer solver checked %d duals\n", peerChecked);
}

// Random feasible, bounded LP: rows pass through a known point; columns
// without an upper bound cost at least 0 in the minimizing direction, those
// without a lower bound at most 0, free ones nothing.
struct RandomLp {
  int n = 0, m = 0, sense = 1;
  std::vector<double> obj, lb, ub, rhs, rng;
  std::vector<char> rowSense;
  std::vector<int> beg, ind;
  std::vector<double> val;
  double offset = 0.0;
};

RandomLp randomLp(std::mt19937& rng, int n, int m) {
  auto pick = [&](int k) { return static_cast<int>(rng() % static_cast<unsigned>(k)); };
  RandomLp r;
  r.n = n;
  r.m = m;
  r.sense = pick(2) ? 1 : -1;
  r.offset = pick(2) ? (pick(200) - 100) / 4.0 : 0.0;
  std::vector<double> x0(n);
  for (int j = 0; j < n; ++j) {
    double l = 0, u = 1e20, c = (pick(41) - 20) / 2.0;
    x0[j] = (pick(21) - 10) / 2.0;
    switch (pick(5)) {
      case 0: l = x0[j] - pick(4); u = 1e20; c = std::fabs(c); break;          // lower only
      case 1: l = -1e20; u = x0[j] + pick(4); c = -std::fabs(c); break;         // upper only
      case 2: l = -1e20; u = 1e20; c = 0; break;                                // free
      case 3: l = u = x0[j]; break;                                             // fixed
      default: l = x0[j] - pick(5); u = x0[j] + 1 + pick(5); break;             // boxed
    }
    r.obj.push_back(c * r.sense);  // bounded in the problem's own sense
    r.lb.push_back(l);
    r.ub.push_back(u);
  }
  for (int i = 0; i < m; ++i) {
    r.beg.push_back(static_cast<int>(r.ind.size()));
    double act = 0;
    for (int j = 0; j < n; ++j)
      if (pick(3) == 0) {
        const double v = pick(19) - 9;
        if (v == 0) continue;
        r.ind.push_back(j);
        r.val.push_back(v);
        act += v * x0[j];
      }
    const char s = "LGER"[pick(4)];
    r.rowSense.push_back(s);
    double rg = 0;
    switch (s) {
      case 'L': r.rhs.push_back(act + pick(3)); break;
      case 'G': r.rhs.push_back(act - pick(3)); break;
      case 'E': r.rhs.push_back(act); break;
      default:
        rg = 1 + pick(4);
        if (pick(2)) {
          r.rhs.push_back(act - pick(2));
        } else {
          rg = -rg;
          r.rhs.push_back(act + pick(2));
        }
    }
    r.rng.push_back(rg);
  }
  return r;
}

TEST_F(Dual, RandomLpsStrongDuality) {
  TempDir dir;
  std::mt19937 rng(777);
  int solved = 0;
  for (int trial = 0; trial < 40; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    RandomLp r = randomLp(rng, 2 + trial % 8, 1 + trial % 6);
    VNTLPptr p = newProb("rnd");
    ASSERT_EQ(VNTnewcols(env, p, r.n, r.obj.data(), r.lb.data(), r.ub.data(), nullptr, nullptr), 0);
    ASSERT_EQ(VNTaddrows(env, p, 0, r.m, static_cast<int>(r.ind.size()), r.rhs.data(), r.rowSense.data(),
                         r.beg.data(), r.ind.data(), r.val.data(), nullptr, nullptr),
              0);
    std::vector<int> rows(r.m);
    for (int i = 0; i < r.m; ++i) rows[i] = i;
    ASSERT_EQ(VNTchgrngval(env, p, r.m, rows.data(), r.rng.data()), 0);
    ASSERT_EQ(VNTchgobjsen(env, p, r.sense), 0);
    ASSERT_EQ(VNTchgobjoffset(env, p, r.offset), 0);
    warnings.lines.clear();
    const std::string out = dir.file("d" + std::to_string(trial) + ".mps");
    double shift = NAN;
    ASSERT_EQ(VNTdualwrite(env, p, out.c_str(), &shift), 0) << errors.all();
    // The primal has no names: the dual's are made up, with a note.
    EXPECT_NE(warnings.all().find("Default row names x1, x2 ... being created.\n"), std::string::npos);
    EXPECT_NE(warnings.all().find("Default variable names c1, c2 ... being created.\n"), std::string::npos);

    ASSERT_EQ(VNTlpopt(env, p), 0);
    ASSERT_EQ(VNTgetstat(env, p), 1) << "the random primal is feasible and bounded by construction";
    double pobj = 0;
    ASSERT_EQ(VNTgetobjval(env, p, &pobj), 0);

    VNTLPptr d = newProb("dual");
    ASSERT_EQ(VNTreadcopyprob(env, d, out.c_str(), nullptr), 0) << errors.all();
    ASSERT_EQ(VNTlpopt(env, d), 0);
    ASSERT_EQ(VNTgetstat(env, d), 1);
    double dobj = 0;
    ASSERT_EQ(VNTgetobjval(env, d, &dobj), 0);
    EXPECT_TRUE(relClose(dobj + shift, pobj, 1e-7)) << dobj << " + " << shift << " vs " << pobj << "\n"
                                                    << slurp(out);
    ++solved;
    freeProb(d);
    freeProb(p);
    if (HasFailure()) return;
  }
  EXPECT_EQ(solved, 40);
}

TEST_F(Dual, RefusesWhatIsNotAnLp) {
  TempDir dir;
  const std::string out = dir.file("x.mps");
  VNTLPptr p = newProb("p");
  double obj[] = {1, 1};
  char types[] = {'C', 'I'};
  ASSERT_EQ(VNTnewcols(env, p, 2, obj, nullptr, nullptr, nullptr, nullptr), 0);
  double shift = 0;
  EXPECT_EQ(VNTdualwrite(env, p, nullptr, &shift), 1421);
  ASSERT_EQ(VNTsetnumobjs(env, p, 2), 0);
  EXPECT_EQ(VNTdualwrite(env, p, out.c_str(), &shift), 1070);
  ASSERT_EQ(VNTsetnumobjs(env, p, 1), 0);
  freeProb(p);
  p = newProb("q");
  ASSERT_EQ(VNTnewcols(env, p, 2, obj, nullptr, nullptr, types, nullptr), 0);
  EXPECT_EQ(VNTdualwrite(env, p, out.c_str(), &shift), 1017);
  freeProb(p);
  p = newProb("r");
  ASSERT_EQ(VNTnewcols(env, p, 2, obj, nullptr, nullptr, nullptr, nullptr), 0);
  double bx[] = {0, 1}, by[] = {0, 1};
  ASSERT_EQ(VNTaddpwl(env, p, 0, 1, 0, 0, 2, bx, by, "f"), 0);
  EXPECT_EQ(VNTdualwrite(env, p, out.c_str(), &shift), 1017);
  freeProb(p);
}

}  // namespace
