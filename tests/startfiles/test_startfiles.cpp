// Basis, priority-order, solution and MIP-start files through the C
// interface: round trips on the shared models (a basis or solution read back
// re-solves in zero iterations), the values of a solution file checked
// against the model, and malformed files refused with nothing changed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/env_fixture.h"
#include "common/models.h"
#include "common/row_interval.h"
#include "vanto/vanto.h"

namespace {

using vnt::test::modelPath;

std::string tempName(const std::string& base) {
  return ::testing::TempDir() + "vnt_starts_" + std::to_string(::getpid()) + "_" + base;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void spit(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
}

class StartFiles : public vnt::test::EnvTest<vnt::test::TextCapture> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(openEnv(kResults | kWarnings | kErrors));
    VNTsetlongparam(env, VNT_PARAM_ITLIM, 100000);
    VNTsetdblparam(env, VNT_PARAM_TILIM, 60.0);
  }
  void TearDown() override {
    for (VNTLPptr& p : probs) VNTfreeprob(env, &p);
    EnvTest::TearDown();
    for (const auto& f : files) std::remove(f.c_str());
  }
  VNTLPptr load(const std::string& set, const std::string& name) {
    int st = 0;
    VNTLPptr p = VNTcreateprob(env, &st, name.c_str());
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(VNTreadcopyprob(env, p, modelPath(set, name).c_str(), nullptr), 0) << name;
    probs.push_back(p);
    return p;
  }
  std::string file(const std::string& base) {
    files.push_back(tempName(base));
    return files.back();
  }
  long long iterations(VNTLPptr p) { return VNTgetitcnt(env, p); }
  std::vector<int> cstat(VNTLPptr p) {
    std::vector<int> c(VNTgetnumcols(env, p));
    EXPECT_EQ(VNTgetbase(env, p, c.data(), nullptr), 0);
    return c;
  }
  std::vector<int> rstat(VNTLPptr p) {
    std::vector<int> r(VNTgetnumrows(env, p));
    EXPECT_EQ(VNTgetbase(env, p, nullptr, r.data()), 0);
    return r;
  }
  double objval(VNTLPptr p) {
    double v = 0;
    EXPECT_EQ(VNTgetobjval(env, p, &v), 0);
    return v;
  }
  // Largest violation of bounds and rows by x (relative to 1 + |limit|).
  double violation(VNTLPptr p, const std::vector<double>& x) {
    const int n = VNTgetnumcols(env, p), m = VNTgetnumrows(env, p);
    std::vector<double> lb(n), ub(n), rhs(m), rng(m);
    std::vector<char> sense(m);
    VNTgetlb(env, p, lb.data(), 0, n - 1);
    VNTgetub(env, p, ub.data(), 0, n - 1);
    VNTgetrhs(env, p, rhs.data(), 0, m - 1);
    VNTgetsense(env, p, sense.data(), 0, m - 1);
    if (VNTgetrngval(env, p, rng.data(), 0, m - 1) != 0) std::fill(rng.begin(), rng.end(), 0.0);
    int nz = 0, surplus = 0;
    const int space = VNTgetnumnz(env, p);
    std::vector<int> beg(n), ind(space);
    std::vector<double> val(space);
    EXPECT_EQ(VNTgetcols(env, p, &nz, beg.data(), ind.data(), val.data(), space, &surplus, 0, n - 1), 0);
    std::vector<double> ax(m, 0.0);
    double worst = 0;
    for (int j = 0; j < n; ++j) {
      worst = std::max({worst, (lb[j] - x[j]) / (1 + std::fabs(lb[j])), (x[j] - ub[j]) / (1 + std::fabs(ub[j]))});
      for (int k = beg[j]; k < (j + 1 < n ? beg[j + 1] : nz); ++k) ax[ind[k]] += val[k] * x[j];
    }
    for (int i = 0; i < m; ++i) {
      auto [lo, hi] = vnt::test::rowInterval(sense[i], rhs[i], rng[i]);
      worst = std::max({worst, (lo - ax[i]) / (1 + std::fabs(lo)), (ax[i] - hi) / (1 + std::fabs(hi))});
    }
    return worst;
  }

  std::vector<VNTLPptr> probs;
  std::vector<std::string> files;
};

// The values of the "variable" elements of a solution file, by index.
std::vector<double> variableValues(const std::string& xml, int n) {
  std::vector<double> x(n, NAN);
  size_t pos = 0;
  while ((pos = xml.find("<variable ", pos)) != std::string::npos) {
    const size_t end = xml.find("/>", pos);
    const std::string el = xml.substr(pos, end - pos);
    const size_t i = el.find(" index=\""), v = el.find(" value=\"");
    if (i != std::string::npos && v != std::string::npos) {
      const int idx = std::atoi(el.c_str() + i + 8);
      if (idx >= 0 && idx < n) x[idx] = std::strtod(el.c_str() + v + 8, nullptr);
    }
    pos = end;
  }
  return x;
}

// ---------------------------------------------------------------------------
// Basis and solution files on Netlib LPs.

class NetlibStarts : public StartFiles, public ::testing::WithParamInterface<const char*> {};

TEST_P(NetlibStarts, BasisFileRestartsInZeroIterations) {
  VNTLPptr a = load("netlib", GetParam());
  ASSERT_EQ(VNTlpopt(env, a), 0);
  ASSERT_EQ(VNTgetstat(env, a), 1);
  ASSERT_GT(iterations(a), 0);
  const std::vector<int> c = cstat(a), r = rstat(a);
  for (const char* ext : {".bas", ".bas.gz", ".bas.bz2"}) {
    const std::string f = file(std::string(GetParam()) + ext);
    ASSERT_EQ(VNTmbasewrite(env, a, f.c_str()), 0);
    VNTLPptr b = load("netlib", GetParam());
    // The extension entry is the same reader.
    ASSERT_EQ(std::string(ext) == ".bas" ? VNTEreadcopybase(env, b, f.c_str()) : VNTreadcopybase(env, b, f.c_str()), 0)
        << ext;
    ASSERT_EQ(VNTlpopt(env, b), 0);
    EXPECT_EQ(VNTgetstat(env, b), 1);
    EXPECT_EQ(iterations(b), 0) << ext;
    EXPECT_NEAR(objval(b), objval(a), 1e-9 * (1 + std::fabs(objval(a))));
    EXPECT_EQ(cstat(b), c);
    EXPECT_EQ(rstat(b), r);
  }
}

TEST_P(NetlibStarts, SolutionFileHoldsAFeasiblePointAndRestarts) {
  VNTLPptr a = load("netlib", GetParam());
  ASSERT_EQ(VNTlpopt(env, a), 0);
  const std::string plain = file(std::string(GetParam()) + ".sol");
  const std::string packed = file(std::string(GetParam()) + ".sol.gz");
  ASSERT_EQ(VNTsolwrite(env, a, plain.c_str()), 0);
  ASSERT_EQ(VNTsolwrite(env, a, packed.c_str()), 0);
  const std::string xml = slurp(plain);
  const int n = VNTgetnumcols(env, a);
  const std::vector<double> x = variableValues(xml, n);
  for (int j = 0; j < n; ++j) ASSERT_FALSE(std::isnan(x[j])) << "column " << j << " missing";
  EXPECT_LT(violation(a, x), 1e-6);
  double obj = 0;
  std::vector<double> c(n);
  VNTgetobj(env, a, c.data(), 0, n - 1);
  for (int j = 0; j < n; ++j) obj += c[j] * x[j];
  EXPECT_NEAR(obj, objval(a), 1e-6 * (1 + std::fabs(obj)));
  // Read back, plain and compressed, as a solution and as start information.
  for (const std::string& f : {plain, packed}) {
    VNTLPptr b = load("netlib", GetParam());
    ASSERT_EQ(VNTreadcopysol(env, b, f.c_str()), 0);
    ASSERT_EQ(VNTlpopt(env, b), 0);
    EXPECT_EQ(iterations(b), 0) << f;
    EXPECT_NEAR(objval(b), objval(a), 1e-9 * (1 + std::fabs(objval(a))));
    VNTLPptr s = load("netlib", GetParam());
    ASSERT_EQ(VNTreadcopystartinfo(env, s, f.c_str()), 0);
    ASSERT_EQ(VNTlpopt(env, s), 0);
    EXPECT_EQ(iterations(s), 0) << f;
  }
}

INSTANTIATE_TEST_SUITE_P(Models, NetlibStarts, ::testing::Values("afiro", "sc50a", "blend", "share2b", "boeing2"));

TEST_F(StartFiles, SolutionQualityMeasuresAreSmallAfterAnOptimalSolve) {
  VNTLPptr a = load("netlib", "blend");
  ASSERT_EQ(VNTlpopt(env, a), 0);
  const std::string f = file("quality.sol");
  ASSERT_EQ(VNTsolwrite(env, a, f.c_str()), 0);
  const std::string xml = slurp(f);
  for (const char* q : {"maxPrimalInfeas", "maxDualInfeas", "maxPrimalResidual", "maxDualResidual"}) {
    const size_t at = xml.find(std::string(" ") + q + "=\"");
    ASSERT_NE(at, std::string::npos) << q;
    const double v = std::strtod(xml.c_str() + at + std::strlen(q) + 3, nullptr);
    EXPECT_LT(v, 1e-6) << q;
    EXPECT_GE(v, 0.0) << q;
  }
  EXPECT_NE(xml.find("solutionMethodString=\""), std::string::npos);
  EXPECT_NE(xml.find("status=\"basic\""), std::string::npos);
  // The file holds what the quality queries report, the condition estimate
  // of the final basis included.
  const auto attribute = [&](const std::string& text, const char* q) {
    const size_t at = text.find(std::string(" ") + q + "=\"");
    EXPECT_NE(at, std::string::npos) << q;
    return at == std::string::npos ? NAN : std::strtod(text.c_str() + at + std::strlen(q) + 3, nullptr);
  };
  for (const auto& [q, what] : {std::pair{"maxX", VNT_QUAL_MAX_X}, std::pair{"maxPi", VNT_QUAL_MAX_PI},
                                std::pair{"maxRedCost", VNT_QUAL_MAX_RED_COST}, std::pair{"kappa", VNT_QUAL_KAPPA}}) {
    double v = 0;
    ASSERT_EQ(VNTgetdblquality(env, a, &v, what), 0) << q;
    EXPECT_EQ(attribute(xml, q), v) << q;
  }
  EXPECT_GE(attribute(xml, "kappa"), 1.0);
  // A MIP solution file has the integer measures and no dual ones.
  VNTLPptr b = load("miplib3", "p0033");
  ASSERT_EQ(VNTmipopt(env, b), 0);
  ASSERT_EQ(VNTsolwrite(env, b, f.c_str()), 0);
  const std::string mip = slurp(f);
  EXPECT_LE(attribute(mip, "maxIntInfeas"), 1e-6);
  EXPECT_LE(attribute(mip, "maxPrimalInfeas"), 1e-6);
  EXPECT_EQ(attribute(mip, "maxX"), 1.0);
  EXPECT_EQ(mip.find("maxDualInfeas"), std::string::npos);
  EXPECT_EQ(mip.find("kappa"), std::string::npos);
}

TEST_F(StartFiles, WriteLevelsSelectTheEntries) {
  VNTLPptr a = load("netlib", "afiro");
  ASSERT_EQ(VNTlpopt(env, a), 0);
  const int n = VNTgetnumcols(env, a);
  std::vector<double> x(n);
  VNTgetx(env, a, x.data(), 0, n - 1);
  const long long nonzero = std::count_if(x.begin(), x.end(), [](double v) { return v != 0.0; });
  ASSERT_LT(nonzero, n);
  const std::string f = file("levels.sol");
  VNTsetintparam(env, VNT_PARAM_WRITELEVEL, 3);
  ASSERT_EQ(VNTsolwrite(env, a, f.c_str()), 0);
  std::string xml = slurp(f);
  long long written = 0;
  for (size_t p = 0; (p = xml.find("<variable ", p)) != std::string::npos; ++p) ++written;
  EXPECT_EQ(written, nonzero);
  EXPECT_NE(xml.find("writeLevel=\"3\""), std::string::npos);
  // Discrete columns only: an LP has none and no constraints are written.
  VNTsetintparam(env, VNT_PARAM_WRITELEVEL, 2);
  ASSERT_EQ(VNTsolwrite(env, a, f.c_str()), 0);
  xml = slurp(f);
  EXPECT_EQ(xml.find("<variable "), std::string::npos);
  EXPECT_EQ(xml.find("<constraint "), std::string::npos);
}

TEST_F(StartFiles, NoSolutionNoBasisNoFile) {
  VNTLPptr a = load("netlib", "afiro");
  const std::string f = file("none.sol");
  EXPECT_EQ(VNTsolwrite(env, a, f.c_str()), 1217);
  EXPECT_EQ(VNTmbasewrite(env, a, f.c_str()), 1262);
  EXPECT_EQ(VNTsolwrite(env, a, nullptr), 1421);
  EXPECT_EQ(VNTreadcopybase(env, a, "/nonexistent/dir/x.bas"), 1423);
  EXPECT_NE(errors.text.find("VANTO Error  1423: Could not open file '/nonexistent/dir/x.bas' for reading."),
            std::string::npos);
}

// ---------------------------------------------------------------------------
// Malformed basis files: the codes and texts, and the problem's start kept.

class BadBasis : public StartFiles {
 protected:
  void SetUp() override {
    StartFiles::SetUp();
    a = load("netlib", "afiro");
    ASSERT_EQ(VNTlpopt(env, a), 0);
    good = file("good.bas");
    ASSERT_EQ(VNTmbasewrite(env, a, good.c_str()), 0);
    text = slurp(good);
    coldIterations = iterations(a);
  }
  // Reads `content` into a fresh copy of the model; the solve that follows
  // must start from scratch (the failed read installed nothing).
  int readFresh(const std::string& content, bool expectUnchanged) {
    const std::string f = file("bad.bas");
    spit(f, content);
    VNTLPptr b = load("netlib", "afiro");
    const int st = VNTreadcopybase(env, b, f.c_str());
    if (expectUnchanged) {
      EXPECT_EQ(VNTlpopt(env, b), 0);
      EXPECT_EQ(iterations(b), coldIterations);
    }
    return st;
  }
  static std::string replaceFirst(std::string s, const std::string& from, const std::string& to) {
    const size_t p = s.find(from);
    if (p != std::string::npos) s.replace(p, from.size(), to);
    return s;
  }
  VNTLPptr a = nullptr;
  std::string good, text;
  long long coldIterations = 0;
};

TEST_F(BadBasis, SuperbasicLineRefusedByThePlainReader) {
  EXPECT_EQ(readFresh(replaceFirst(text, "ENDATA", " SC X01  1.5\nENDATA"), true), 1554);
  EXPECT_NE(errors.text.find("VANTO Error  1554: Superbases are not allowed."), std::string::npos);
}

TEST_F(BadBasis, MissingBasicVariableCounted) {
  // The first "XL column row" line, replaced by lines that leave one basic
  // variable too few (the row made nonbasic, the column left at its bound)
  // or one too many (the column made basic, the row left basic).
  const size_t p = text.find(" XL ");
  ASSERT_NE(p, std::string::npos);
  const size_t e = text.find('\n', p);
  std::istringstream line(text.substr(p, e - p));
  std::string code, col, row;
  line >> code >> col >> row;
  std::string fewer = text, more = text;
  fewer.replace(p, e - p, " LL " + row);
  more.replace(p, e - p, " BS " + col);
  EXPECT_EQ(readFresh(fewer, true), 1555);
  EXPECT_NE(errors.text.find("VANTO Error  1555: 1 too few basic variable(s)."), std::string::npos);
  EXPECT_EQ(readFresh(more, true), 1555);
  EXPECT_NE(errors.text.find("VANTO Error  1555: 1 extra basic variable(s)."), std::string::npos);
}

TEST_F(BadBasis, UnknownMarkerAndWrongFieldCount) {
  EXPECT_EQ(readFresh(replaceFirst(text, " XL ", " ZZ "), true), 1551);
  EXPECT_NE(errors.text.find("VANTO Error  1551: Line 3: Unrecognized basis marker 'ZZ'."), std::string::npos);
  EXPECT_EQ(readFresh(replaceFirst(text, "ENDATA", " UL X01 X02 X03\nENDATA"), true), 1553);
  EXPECT_NE(errors.text.find("Wrong number of entries"), std::string::npos);
  EXPECT_EQ(readFresh("ROWS\n" + text, true), 1551);
}

TEST_F(BadBasis, UnknownNamesWarnedAndLimited) {
  std::string t = text;
  std::string junk;
  for (int k = 0; k < 25; ++k) junk += " LL NOSUCH" + std::to_string(k) + "\n";
  t = replaceFirst(t, "ENDATA", junk + "ENDATA");
  const long long firstJunk = std::count(text.begin(), text.begin() + text.find("ENDATA"), '\n') + 1;
  EXPECT_EQ(readFresh(t, false), 0);
  EXPECT_NE(warnings.text.find("Warning, line " + std::to_string(firstJunk) + ": 'NOSUCH0' is not a variable.\n"),
            std::string::npos);
  EXPECT_NE(warnings.text.find("5 warnings not printed.\n"), std::string::npos);
  EXPECT_EQ(warnings.text.find("'NOSUCH20'"), std::string::npos);
}

TEST_F(BadBasis, MissingEndataOnlyWarns) {
  std::string t = text.substr(0, text.find("ENDATA"));
  const std::string f = file("noend.bas");
  spit(f, t);
  VNTLPptr b = load("netlib", "afiro");
  ASSERT_EQ(VNTreadcopybase(env, b, f.c_str()), 0);
  EXPECT_NE(warnings.text.find("Warning: 'ENDATA' missing.\n"), std::string::npos);
  ASSERT_EQ(VNTlpopt(env, b), 0);
  EXPECT_EQ(iterations(b), 0);
}

// ---------------------------------------------------------------------------
// Malformed solution files.

TEST_F(StartFiles, MalformedXmlGives1425WithTheLine) {
  VNTLPptr a = load("netlib", "afiro");
  ASSERT_EQ(VNTlpopt(env, a), 0);
  const std::string f = file("trunc.sol");
  ASSERT_EQ(VNTsolwrite(env, a, f.c_str()), 0);
  std::string xml = slurp(f);
  // Break an element in line 6.
  size_t p = 0;
  for (int k = 0; k < 5; ++k) p = xml.find('\n', p) + 1;
  xml.insert(p + 3, "<<");
  spit(f, xml);
  VNTLPptr b = load("netlib", "afiro");
  EXPECT_EQ(VNTreadcopysol(env, b, f.c_str()), 1425);
  EXPECT_NE(errors.text.find("VANTO Error  1425: XML parsing error at line 6: "), std::string::npos) << errors.text;
  ASSERT_EQ(VNTlpopt(env, b), 0);
  EXPECT_GT(iterations(b), 0);  // nothing was installed
  // No header section.
  spit(f, "<?xml version=\"1.0\"?>\n<VANTOSolution version=\"1.2\">\n <variables>\n </variables>\n</VANTOSolution>\n");
  EXPECT_EQ(VNTreadcopysol(env, b, f.c_str()), 1425);
  EXPECT_NE(errors.text.find("header section is missing"), std::string::npos);
}

TEST_F(StartFiles, OnlyTheFirstSolutionIsTakenAndBadEntriesWarn) {
  VNTLPptr a = load("netlib", "afiro");
  ASSERT_EQ(VNTlpopt(env, a), 0);
  const std::string f = file("two.sol");
  ASSERT_EQ(VNTsolwrite(env, a, f.c_str()), 0);
  std::string xml = slurp(f);
  const size_t body = xml.find("<VANTOSolution");
  const std::string one = xml.substr(body);
  // A second solution with every value moved far off: if it were used the
  // restart would need iterations.
  std::string second = one;
  for (size_t p = 0; (p = second.find(" value=\"", p)) != std::string::npos; p += 8) second.insert(p + 8, "9");
  std::string extra = " <variable name=\"NOSUCH\" value=\"1\"/>\n <variable index=\"999\" value=\"1\"/>\n";
  std::string first = one;
  first.insert(first.find(" </variables>"), extra + " <variable name=\"X01\" value=\"3\"/>\n");
  spit(f, xml.substr(0, body) + "<VANTOSolutions>\n" + first + second + "</VANTOSolutions>\n");
  VNTLPptr b = load("netlib", "afiro");
  ASSERT_EQ(VNTreadcopysol(env, b, f.c_str()), 0);
  EXPECT_NE(warnings.text.find("Warning: more than one VANTOSolution element in file, only first one processed.\n"),
            std::string::npos);
  EXPECT_NE(warnings.text.find("'NOSUCH' is not a variable.\n"), std::string::npos);
  EXPECT_NE(warnings.text.find("Variable index '999' out of range.\n"), std::string::npos);
  EXPECT_NE(warnings.text.find("repeated entry for 'X01'.\n"), std::string::npos);
  ASSERT_EQ(VNTlpopt(env, b), 0);
  EXPECT_EQ(iterations(b), 0);
}

// ---------------------------------------------------------------------------
// Priority orders.

TEST_F(StartFiles, PriorityOrderRoundTrip) {
  VNTLPptr a = load("miplib3", "p0033");
  const int n = VNTgetnumcols(env, a);
  std::vector<int> ind, pri, dir;
  for (int j = 0; j < n; j += 3) {
    ind.push_back(j);
    pri.push_back(100 - j);
    dir.push_back(j % 2 == 0 ? 1 : (j % 3 == 0 ? -1 : 0));
  }
  ASSERT_EQ(VNTcopyorder(env, a, static_cast<int>(ind.size()), ind.data(), pri.data(), dir.data()), 0);
  const std::string f = file("p0033.ord.gz");
  ASSERT_EQ(VNTordwrite(env, a, f.c_str()), 0);
  VNTLPptr b = load("miplib3", "p0033");
  int cnt = 0, surplus = 0;
  EXPECT_EQ(VNTgetorder(env, b, &cnt, nullptr, nullptr, nullptr, 0, &surplus), 3016);
  ASSERT_EQ(VNTreadcopyorder(env, b, f.c_str()), 0);
  std::vector<int> ind2(n), pri2(n), dir2(n);
  ASSERT_EQ(VNTgetorder(env, b, &cnt, ind2.data(), pri2.data(), dir2.data(), n, &surplus), 0);
  ASSERT_EQ(cnt, static_cast<int>(ind.size()));
  ind2.resize(cnt);
  pri2.resize(cnt);
  dir2.resize(cnt);
  EXPECT_EQ(ind2, ind);
  EXPECT_EQ(pri2, pri);
  EXPECT_EQ(dir2, dir);
  // Too little space: the surplus tells how much is missing.
  EXPECT_EQ(VNTgetorder(env, b, &cnt, ind2.data(), pri2.data(), dir2.data(), 2, &surplus), 1207);
  EXPECT_EQ(surplus, 2 - static_cast<int>(ind.size()));
}

TEST_F(StartFiles, PriorityOrderFilesWithBadDirectionsOrNames) {
  VNTLPptr a = load("miplib3", "p0033");
  int ind[2] = {0, 1}, pri[2] = {5, 7}, dir[2] = {1, 0};
  ASSERT_EQ(VNTcopyorder(env, a, 2, ind, pri, dir), 0);
  const std::string f = file("dir.ord");
  ASSERT_EQ(VNTordwrite(env, a, f.c_str()), 0);
  const std::string t = slurp(f);
  EXPECT_NE(t.find("NAME          P0033   Priority Order\n"), std::string::npos);
  EXPECT_NE(t.find(" UP "), std::string::npos);
  spit(f, "NAME x\n ?? C157 3\nENDATA\n");
  EXPECT_EQ(VNTreadcopyorder(env, a, f.c_str()), 3012);
  EXPECT_NE(errors.text.find("Unrecognized direction '?\?'"), std::string::npos);
  // The order installed before the failed read is still there.
  int cnt = 0, surplus = 0, i2[4], p2[4], d2[4];
  ASSERT_EQ(VNTgetorder(env, a, &cnt, i2, p2, d2, 4, &surplus), 0);
  EXPECT_EQ(cnt, 2);
  EXPECT_EQ(d2[0], 1);
  // An order file with nothing usable.
  spit(f, "NAME x\n UP NOSUCH 3\nENDATA\n");
  EXPECT_EQ(VNTreadcopyorder(env, a, f.c_str()), 0);
  EXPECT_NE(warnings.text.find("Warning, line 2: 'NOSUCH' is not a variable.\n"), std::string::npos);
  EXPECT_NE(warnings.text.find("Warning:  No priority order values read or loaded.\n"), std::string::npos);
}

}  // namespace
