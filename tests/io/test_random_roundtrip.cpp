// Property check: random models of every column type, bound shape and row
// kind read back unchanged from MPS (both number forms) and LP.
#include <gtest/gtest.h>

#include <random>

#include "io/device.h"
#include "io/lp.h"
#include "io/mps.h"
#include "io_test_util.h"

using namespace vnt::io;
using namespace vnt::io::test;
using vnt::model::ModelData;

namespace {

ModelData randomModel(std::mt19937& rng, int n, int m) {
  std::uniform_real_distribution<double> u(-100, 100);
  auto pick = [&](int k) { return static_cast<int>(rng() % static_cast<unsigned>(k)); };
  auto value = [&]() {
    switch (pick(4)) {
      case 0: return static_cast<double>(pick(21) - 10);
      case 1: return u(rng);
      case 2: return u(rng) * 1e-7;
      default: return u(rng) * 1e9;
    }
  };
  ModelData d;
  d.probname = "rand";
  d.objname = "cost";
  d.objsen = pick(2) ? 1 : -1;
  const char types[] = {'C', 'C', 'C', 'I', 'B', 'S', 'N'};
  for (int j = 0; j < n; ++j) {
    char t = types[pick(7)];
    double l = 0, h = 1e20;
    switch (pick(6)) {
      case 0: break;
      case 1: l = -1e20; break;
      case 2: l = -1e20, h = 1e20; break;
      case 3: l = static_cast<double>(pick(5)), h = l + 1 + pick(9); break;
      case 4: l = -static_cast<double>(pick(7)) - 1, h = -0.5 * pick(3); break;
      default: l = h = static_cast<double>(pick(4)); break;
    }
    if (t == 'B') {
      l = 0;
      h = pick(2) ? 1 : 1e20;
    }
    if (t == 'S' || t == 'N') {
      l = pick(3);
      h = l + 1 + pick(5);
    }
    d.obj.push_back(pick(3) ? value() : 0.0);
    d.lb.push_back(l);
    d.ub.push_back(h);
    d.ctype.push_back(t);
    d.colname.push_back("v" + std::to_string(j) + (pick(2) ? "_x" : ""));
  }
  for (int i = 0; i < m; ++i) {
    const char senses[] = {'L', 'G', 'E', 'R'};
    char s = senses[pick(4)];
    d.sense.push_back(s);
    d.rhs.push_back(value());
    d.rngval.push_back(s == 'R' ? (pick(2) ? 1 : -1) * (1 + pick(50)) : 0.0);
    d.rowname.push_back("r" + std::to_string(i));
  }
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < m; ++i)
      if (pick(4) == 0) {
        d.matind.push_back(i);
        double v = value();
        d.matval.push_back(v == 0.0 ? 1.0 : v);  // the readers do not store zeros
      }
    d.matbeg.push_back(static_cast<int64_t>(d.matind.size()));
  }
  return d;
}

}  // namespace

TEST(RandomRoundTrip, MpsAndLp) {
  std::mt19937 rng(12345);
  for (int trial = 0; trial < 60; ++trial) {
    ModelData d = randomModel(rng, 1 + trial % 23, trial % 17);
    SCOPED_TRACE("trial " + std::to_string(trial));
    for (int form = 0; form < 3; ++form) {
      MemoryDevice dev;
      CollectMessages msg;
      IoSettings s;
      s.mpsLongNumbers = form == 0;
      if (form < 2)
        ASSERT_EQ(writeMps(dev, d, msg, false, s), 0);
      else
        ASSERT_EQ(writeLp(dev, d, msg), 0);
      ModelData back;
      CollectMessages rmsg;
      dev.rewind();
      int rc = form < 2 ? readMps(dev, back, rmsg) : readLp(dev, "rand", back, rmsg);
      ASSERT_EQ(rc, 0) << rmsg.errors << dev.data();
      // 'B' with an infinite upper bound is a binary only in LP; MPS writes it
      // as an integer between markers, which reads back as a general integer
      ModelData expect = d;
      if (form < 2)
        for (int j = 0; j < d.numCols(); ++j)
          if (d.ctype[j] == 'B' && d.ub[j] > 1) expect.ctype[j] = 'I';
      expectSameModel(expect, back, true, form == 1 ? 1e-9 : 1e-14);
      EXPECT_EQ(back.objsen, d.objsen);
      if (::testing::Test::HasFailure()) {
        std::printf("%s\n", dev.data().c_str());
        return;
      }
    }
  }
}
