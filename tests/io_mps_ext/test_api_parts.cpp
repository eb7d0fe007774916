// Problem files with piecewise-linear constraints and several objectives
// through the public interface: read, query, write, read again.
#include <fstream>

#include "env_fixture.h"
#include "io/io_test_util.h"

namespace {

using vnt::io::test::TempDir;

void put(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
}

const char* kModel =
    "NAME          parts\n"
    "ROWS\n"
    " N  first 3 1 0 0\n"
    " N  second 1 2 0.5 0.125\n"
    " G  c1\n"
    "COLUMNS\n"
    "    x  first  1   c1  1\n"
    "    y  second  -2   c1  1\n"
    "RHS\n"
    "    rhs  c1  1\n"
    "BOUNDS\n"
    " UP bnd  x  5\n"
    "PWLNAM\n"
    " f  y  x  -1  1\n"
    "PWLCON\n"
    " f  0  2\n"
    " f  2  0\n"
    " f  5  3\n"
    "ENDATA\n";

class Parts : public vnt::test::EnvFixture {};

TEST_F(Parts, ReadQueryWriteReadAgain) {
  TempDir dir;
  const std::string in = dir.file("parts.mps");
  put(in, kModel);
  VNTLPptr p = newProb("p");
  ASSERT_EQ(VNTreadcopyprob(env, p, in.c_str(), nullptr), 0) << errors.all();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    EXPECT_EQ(VNTgetprobtype(env, p), 1);
    ASSERT_EQ(VNTgetnumpwl(env, p), 1);
    int y = -1, x = -1, nb = 0, surplus = 0;
    double pre = 0, post = 0, bx[3], by[3];
    ASSERT_EQ(VNTgetpwl(env, p, 0, &y, &x, &pre, &post, &nb, bx, by, 3, &surplus), 0);
    EXPECT_EQ(y, 1);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(pre, -1.0);
    EXPECT_EQ(post, 1.0);
    EXPECT_EQ(bx[2], 5.0);
    EXPECT_EQ(by[2], 3.0);
    int idx = -1;
    EXPECT_EQ(VNTgetpwlindex(env, p, "f", &idx), 0);
    EXPECT_EQ(idx, 0);

    EXPECT_EQ(VNTEismultiobj(env, p), 1);
    ASSERT_EQ(VNTgetnumobjs(env, p), 2);
    double c[2], off, w, at, rt;
    int prio;
    ASSERT_EQ(VNTmultiobjgetobj(env, p, 1, c, 0, 1, &off, &w, &prio, &at, &rt), 0);
    EXPECT_EQ(c[0], 0.0);
    EXPECT_EQ(c[1], -2.0);
    EXPECT_EQ(prio, 1);
    EXPECT_EQ(w, 2.0);
    EXPECT_EQ(at, 0.5);
    EXPECT_EQ(rt, 0.125);
    ASSERT_EQ(VNTmultiobjgetobj(env, p, 0, c, 0, 1, nullptr, &w, &prio, nullptr, nullptr), 0);
    EXPECT_EQ(c[0], 1.0);
    EXPECT_EQ(prio, 3);
    EXPECT_EQ(VNTmultiobjgetindex(env, p, "second", &idx), 0);
    EXPECT_EQ(idx, 1);

    const std::string out = dir.file("again" + std::to_string(round) + ".mps");
    ASSERT_EQ(VNTwriteprob(env, p, out.c_str(), nullptr), 0);
    freeProb(p);
    p = newProb("q");
    ASSERT_EQ(VNTreadcopyprob(env, p, out.c_str(), nullptr), 0) << errors.all();
  }
  freeProb(p);
}

TEST_F(Parts, MissingVariableFailsTheReadAfterReading) {
  TempDir dir;
  std::string text = kModel;
  text.replace(text.find(" f  y  x"), 8, " f  y  w");
  const std::string in = dir.file("bad.mps");
  put(in, text);
  VNTLPptr p = newProb("keep");
  double obj[] = {4};
  ASSERT_EQ(VNTnewcols(env, p, 1, obj, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(VNTreadcopyprob(env, p, in.c_str(), nullptr), 1210);
  EXPECT_NE(errors.all().find("Error: variable name w in piecewise linear expression f is not found.\n"),
            std::string::npos)
      << errors.all();
  // reported once, after the specific line
  const std::string all = errors.all();
  EXPECT_EQ(all.find("VANTO Error  1210: Name not found.\n"), all.rfind("VANTO Error  1210")) << all;
  EXPECT_EQ(VNTgetnumcols(env, p), 1);
  EXPECT_EQ(VNTgetnumpwl(env, p), 0);
  freeProb(p);
}

}  // namespace
