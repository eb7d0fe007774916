// Binary SAV files: every shared model written and read back bit for bit (in
// both length forms of the encoding), the values a text format cannot carry,
// the basis kept across a file so that a re-solve needs no iteration, and
// malformed files (cut at every element boundary, wrong tags, wrong lengths)
// refused with their codes while the problem keeps its content.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/capture.h"
#include "io/ber.h"
#include "io/device.h"
#include "io/io.h"
#include "io/io_test_util.h"
#include "io/sav.h"
#include "vanto/vanto.h"

namespace vnt::io {
namespace {

using test::CollectMessages;
using test::TempDir;

// Bitwise equality of doubles (NaN equal to NaN of the same bits).
bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void expectSameBits(const std::vector<double>& a, const std::vector<double>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (std::size_t k = 0; k < a.size(); ++k)
    ASSERT_TRUE(sameBits(a[k], b[k])) << what << "[" << k << "]: " << a[k] << " vs " << b[k];
}

void expectSameQuad(const std::vector<model::QuadTerm>& a, const std::vector<model::QuadTerm>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t k = 0; k < a.size(); ++k) {
    EXPECT_EQ(a[k].col1, b[k].col1);
    EXPECT_EQ(a[k].col2, b[k].col2);
    EXPECT_TRUE(sameBits(a[k].coef, b[k].coef));
  }
}

// Entry by entry, every number bit for bit.
void expectIdentical(const model::ModelData& a, const model::ModelData& b) {
  EXPECT_EQ(a.probname, b.probname);
  EXPECT_EQ(a.objname, b.objname);
  EXPECT_EQ(a.objsen, b.objsen);
  EXPECT_TRUE(sameBits(a.objoffset, b.objoffset));
  expectSameBits(a.obj, b.obj, "obj");
  expectSameBits(a.lb, b.lb, "lb");
  expectSameBits(a.ub, b.ub, "ub");
  EXPECT_EQ(a.ctype, b.ctype);
  EXPECT_EQ(a.colname, b.colname);
  expectSameBits(a.rhs, b.rhs, "rhs");
  expectSameBits(a.rngval, b.rngval, "rngval");
  EXPECT_EQ(a.sense, b.sense);
  EXPECT_EQ(a.rowname, b.rowname);
  EXPECT_EQ(a.matbeg, b.matbeg);
  EXPECT_EQ(a.matind, b.matind);
  expectSameBits(a.matval, b.matval, "matval");
  expectSameQuad(a.qobj, b.qobj);
  ASSERT_EQ(a.sos.size(), b.sos.size());
  for (std::size_t k = 0; k < a.sos.size(); ++k) {
    EXPECT_EQ(a.sos[k].name, b.sos[k].name);
    EXPECT_EQ(a.sos[k].type, b.sos[k].type);
    EXPECT_EQ(a.sos[k].ind, b.sos[k].ind);
    expectSameBits(a.sos[k].weight, b.sos[k].weight, "sos weight");
  }
  ASSERT_EQ(a.qconstr.size(), b.qconstr.size());
  for (std::size_t k = 0; k < a.qconstr.size(); ++k) {
    const auto &p = a.qconstr[k], &q = b.qconstr[k];
    EXPECT_EQ(p.name, q.name);
    EXPECT_EQ(p.sense, q.sense);
    EXPECT_TRUE(sameBits(p.rhs, q.rhs));
    EXPECT_EQ(p.linind, q.linind);
    expectSameBits(p.linval, q.linval, "qc linval");
    expectSameQuad(p.quad, q.quad);
  }
  ASSERT_EQ(a.indconstr.size(), b.indconstr.size());
  for (std::size_t k = 0; k < a.indconstr.size(); ++k) {
    const auto &p = a.indconstr[k], &q = b.indconstr[k];
    EXPECT_EQ(p.name, q.name);
    EXPECT_EQ(p.indvar, q.indvar);
    EXPECT_EQ(p.complemented, q.complemented);
    EXPECT_EQ(p.direction, q.direction);
    EXPECT_EQ(p.sense, q.sense);
    EXPECT_TRUE(sameBits(p.rhs, q.rhs));
    EXPECT_EQ(p.ind, q.ind);
    expectSameBits(p.val, q.val, "indicator val");
  }
  for (auto list : {std::make_pair(&a.usercuts, &b.usercuts), std::make_pair(&a.lazycons, &b.lazycons)}) {
    ASSERT_EQ(list.first->size(), list.second->size());
    for (std::size_t k = 0; k < list.first->size(); ++k) {
      const auto &p = (*list.first)[k], &q = (*list.second)[k];
      EXPECT_EQ(p.name, q.name);
      EXPECT_EQ(p.sense, q.sense);
      EXPECT_TRUE(sameBits(p.rhs, q.rhs));
      EXPECT_EQ(p.ind, q.ind);
      expectSameBits(p.val, q.val, "cut val");
    }
  }
  ASSERT_EQ(a.pwl.size(), b.pwl.size());
  for (std::size_t k = 0; k < a.pwl.size(); ++k) {
    const auto &p = a.pwl[k], &q = b.pwl[k];
    EXPECT_EQ(p.name, q.name);
    EXPECT_EQ(p.xcol, q.xcol);
    EXPECT_EQ(p.ycol, q.ycol);
    EXPECT_TRUE(sameBits(p.preslope, q.preslope));
    EXPECT_TRUE(sameBits(p.postslope, q.postslope));
    expectSameBits(p.x, q.x, "pwl x");
    expectSameBits(p.y, q.y, "pwl y");
  }
  ASSERT_EQ(a.objectives.size(), b.objectives.size());
  for (std::size_t k = 0; k < a.objectives.size(); ++k) {
    const auto &p = a.objectives[k], &q = b.objectives[k];
    EXPECT_EQ(p.name, q.name);
    EXPECT_EQ(p.priority, q.priority);
    EXPECT_TRUE(sameBits(p.weight, q.weight) && sameBits(p.abstol, q.abstol) && sameBits(p.reltol, q.reltol) &&
                sameBits(p.offset, q.offset));
    EXPECT_EQ(p.ind, q.ind);
    expectSameBits(p.val, q.val, "objective val");
  }
}

std::string writeToMemory(const model::ModelData& m, const SavBasis* basis = nullptr,
                          std::size_t flushAt = std::size_t{1} << 20) {
  MemoryDevice dev;
  CollectMessages msg;
  EXPECT_EQ(writeSav(dev, m, basis, "VANTO test", msg, flushAt), 0) << msg.errors;
  return dev.data();
}

int readFromMemory(const std::string& bytes, model::ModelData& out, SavBasis& basis, CollectMessages& msg) {
  MemoryDevice dev(bytes);
  return readSav(dev, "mem.sav", out, basis, msg);
}

// A model with every section and the values the text formats lose.
model::ModelData everything() {
  const double inf = std::numeric_limits<double>::infinity();
  model::ModelData m;
  m.probname = "all sections";
  m.objname = "cost \xC3\xA9";
  m.objsen = -1;
  m.objoffset = -0.0;
  m.obj = {1.0 / 3.0, -0.0, std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::max()};
  m.lb = {-inf, -1e20, 0.0, std::numeric_limits<double>::quiet_NaN()};
  m.ub = {inf, 1e20, 1.0, 5e-324};
  m.ctype = {'C', 'I', 'B', 'S'};
  m.colname = {"x", "", "y z", std::string("\0\xff", 2)};
  m.rhs = {1.0, -2.5e300, 0.1};
  m.rngval = {0.0, 0.0, -0.7};
  m.sense = {'L', 'G', 'R'};
  m.rowname = {"r1", "r2", "r3"};
  m.matbeg = {0, 2, 2, 3, 5};
  m.matind = {0, 2, 1, 0, 1};
  m.matval = {1.5, -std::numeric_limits<double>::min(), 7.0, 1e-300, -3.0};
  m.qobj = {{0, 0, 2.0}, {0, 3, -1.0}};
  m.sos = {{"s1", '1', {0, 2}, {1.0, 2.0}}, {"", '2', {}, {}}};
  m.qconstr = {{"q1", 'L', 4.0, {1}, {1.0}, {{1, 1, 1.0}, {0, 2, 0.5}}}};
  model::IndicatorConstraint ic;
  ic.name = "ind";
  ic.indvar = 2;
  ic.complemented = true;
  ic.direction = 2;
  ic.sense = 'E';
  ic.rhs = 3.0;
  ic.ind = {0, 1};
  ic.val = {1.0, -1.0};
  m.indconstr = {ic};
  m.usercuts = {{"cut", 'G', 1.0, {0}, {2.0}}};
  m.lazycons = {{"lazy", 'L', 9.0, {1, 3}, {1.0, 1.0}}, {"lz2", 'E', 0.0, {}, {}}};
  model::PwlConstraint f;
  f.name = "pw";
  f.ycol = 1;
  f.xcol = 0;
  f.preslope = -1.0;
  f.postslope = 2.0;
  f.x = {0.0, 1.0, 1.0, 3.0};
  f.y = {0.0, 1.0, 2.0, 2.0};
  m.pwl = {f};
  model::ObjectiveRecord o0, o1;
  o0.priority = 2;
  o0.weight = 1.0;
  o1.name = "second";
  o1.priority = 1;
  o1.weight = -0.5;
  o1.abstol = 1e-6;
  o1.reltol = 0.01;
  o1.offset = 4.0;
  o1.ind = {1, 3};
  o1.val = {1.0, 2.0};
  m.objectives = {o0, o1};
  return m;
}

// Offsets at which an element starts or ends, found by walking the encoding.
void elementBoundaries(const std::string& d, std::size_t& pos, std::size_t end, bool indefinite,
                       std::vector<std::size_t>& out) {
  while (indefinite ? !(d[pos] == 0 && d[pos + 1] == 0) : pos < end) {
    out.push_back(pos);
    const unsigned char id = static_cast<unsigned char>(d[pos++]);
    const unsigned char l = static_cast<unsigned char>(d[pos++]);
    std::size_t len = l;
    if (l == 0x80) {
      elementBoundaries(d, pos, 0, true, out);
      pos += 2;
      continue;
    }
    if (l > 0x80) {
      len = 0;
      for (int k = 0; k < (l & 0x7F); ++k) len = (len << 8) | static_cast<unsigned char>(d[pos++]);
    }
    if (id & 0x20) {
      elementBoundaries(d, pos, pos + len, false, out);
    } else {
      pos += len;
    }
  }
  out.push_back(pos);
}

std::vector<std::size_t> elementBoundaries(const std::string& d) {
  std::vector<std::size_t> out;
  std::size_t pos = 0;
  elementBoundaries(d, pos, d.size(), false, out);
  return out;
}

// ---------------------------------------------------------------------------

TEST(Sav, EverySectionAndSpecialValueRoundTripsBitForBit) {
  const model::ModelData m = everything();
  SavBasis basis;
  basis.present = true;
  basis.cstat = {0, 1, 2, 3};
  basis.rstat = {1, 0, 2};
  // Definite lengths throughout, and a tiny buffer that leaves most
  // constructed elements with end-of-contents octets.
  for (std::size_t flushAt : {std::size_t{1} << 20, std::size_t{16}}) {
    const std::string bytes = writeToMemory(m, &basis, flushAt);
    model::ModelData back;
    SavBasis b2;
    CollectMessages msg;
    ASSERT_EQ(readFromMemory(bytes, back, b2, msg), 0) << msg.errors;
    expectIdentical(m, back);
    EXPECT_TRUE(b2.present);
    EXPECT_EQ(b2.cstat, basis.cstat);
    EXPECT_EQ(b2.rstat, basis.rstat);
    EXPECT_TRUE(msg.warnings.empty()) << msg.warnings;
    // The buffered form uses the end-of-contents octets; the other does not.
    const bool eoc = bytes.find(std::string("\x30\x80", 2)) != std::string::npos;
    EXPECT_EQ(eoc, flushAt == 16);
  }
}

TEST(Sav, RealEncodingFollowsTheBinaryForm) {
  MemoryDevice dev;
  ber::Writer w(dev);
  w.real(0.0);
  w.real(-0.0);
  w.real(std::numeric_limits<double>::infinity());
  w.real(-std::numeric_limits<double>::infinity());
  w.real(std::numeric_limits<double>::quiet_NaN());
  w.real(-3.0);   // -3 * 2^0
  w.real(0.375);  // 3 * 2^-3
  w.integer(-129);
  w.integer(127);
  w.boolean(true);
  ASSERT_EQ(w.finish(), 0);
  const std::string want("\x09\x00"
                         "\x09\x01\x43"
                         "\x09\x01\x40"
                         "\x09\x01\x41"
                         "\x09\x01\x42"
                         "\x09\x03\xC0\x00\x03"
                         "\x09\x03\x80\xFD\x03"
                         "\x02\x02\xFF\x7F"
                         "\x02\x01\x7F"
                         "\x01\x01\xFF",
                         34);
  EXPECT_EQ(dev.data(), want);
  // Random doubles of every magnitude decode to the same bits.
  uint64_t s = 88172645463325252ull;
  MemoryDevice dev2;
  ber::Writer w2(dev2);
  std::vector<double> vals;
  for (int k = 0; k < 20000; ++k) {
    s ^= s << 13, s ^= s >> 7, s ^= s << 17;
    double v;
    std::memcpy(&v, &s, sizeof v);
    if (std::isnan(v)) continue;
    vals.push_back(v);
    w2.real(v);
  }
  ASSERT_EQ(w2.finish(), 0);
  ber::Reader r(dev2.data());
  for (double v : vals) {
    double got = 0;
    ASSERT_EQ(r.real(got), 0);
    ASSERT_TRUE(sameBits(v, got)) << v;
  }
  EXPECT_TRUE(r.atStreamEnd());
}

class SharedModelsSav : public ::testing::TestWithParam<const char*> {};

TEST_P(SharedModelsSav, WrittenAndReadBackIdentically) {
  int count = 0;
  std::vector<std::string> paths = test::sharedModels(GetParam());
  for (const auto& e : std::filesystem::directory_iterator(test::dataDir() + "/" + GetParam()))
    if (e.path().extension() == ".lp") paths.push_back(e.path().string());
  for (const std::string& path : paths) {
    model::ModelData m;
    CollectMessages rm;
    ASSERT_EQ(readProblemFile(path, nullptr, m, rm), 0) << path << rm.errors;
#ifdef __SANITIZE_ADDRESS__
    // Under the sanitizers the largest models wait for VANTO_IO_FULL.
    if (test::skipLarge(m)) continue;
#endif
    const std::string bytes = writeToMemory(m);
    model::ModelData back;
    SavBasis basis;
    CollectMessages msg;
    ASSERT_EQ(readFromMemory(bytes, back, basis, msg), 0) << path << msg.errors;
    SCOPED_TRACE(path);
    expectIdentical(m, back);
    EXPECT_FALSE(basis.present);
    ++count;
  }
  EXPECT_GT(count, 0);
}

INSTANTIATE_TEST_SUITE_P(Data, SharedModelsSav, ::testing::Values("netlib", "infeas", "miplib3", "sample"));

TEST(Sav, FileLayerWritesCompressedAndRecognisesContent) {
  TempDir tmp;
  model::ModelData m;
  CollectMessages msg;
  ASSERT_EQ(readProblemFile(test::dataDir() + "/sample/exmip1.mps", nullptr, m, msg), 0) << msg.errors;
  ASSERT_EQ(writeProblemFile(tmp.file("a.sav"), nullptr, m, msg), 0) << msg.errors;
  ASSERT_EQ(writeProblemFile(tmp.file("a.sav.gz"), nullptr, m, msg), 0) << msg.errors;
  ASSERT_EQ(writeProblemFile(tmp.file("a.bin"), "sav", m, msg), 0) << msg.errors;
  for (const char* name : {"a.sav", "a.sav.gz", "a.bin"}) {
    model::ModelData back;
    ASSERT_EQ(readProblemFile(tmp.file(name), nullptr, back, msg), 0) << name << msg.errors;
    expectIdentical(m, back);
  }
  // The content decides for a name that does not.
  std::ifstream in(tmp.file("a.sav"), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(readFormatFromContent(ss.str().substr(0, 64)), 's');
  EXPECT_EQ(ss.str().compare(0, 1, "\x62"), 0);
}

TEST(Sav, VersionFromTheEnvironment) {
  model::ModelData m = everything();
  auto versionOf = [](const std::string& bytes) {
    ber::Reader r(bytes);
    int64_t v = -1;
    EXPECT_EQ(r.openApplication(2), 0);
    EXPECT_EQ(r.integer(v), 0);
    return v;
  };
  CollectMessages msg;
  model::ModelData back;
  SavBasis b;
  unsetenv("VANTO_SAVFILE_VERSION");
  EXPECT_EQ(versionOf(writeToMemory(m)), 1);
  setenv("VANTO_SAVFILE_VERSION", "12", 1);
  std::string v12 = writeToMemory(m);
  EXPECT_EQ(versionOf(v12), 12);
  EXPECT_EQ(readFromMemory(v12, back, b, msg), 0) << msg.errors;
  for (const char* junk : {"3x", "-2", " 4", ""}) {
    setenv("VANTO_SAVFILE_VERSION", junk, 1);
    EXPECT_EQ(versionOf(writeToMemory(m)), 1) << junk;
  }
  setenv("VANTO_SAVFILE_VERSION", "0", 1);
  const std::string v0 = writeToMemory(m);
  unsetenv("VANTO_SAVFILE_VERSION");
  EXPECT_EQ(versionOf(v0), 0);
  EXPECT_EQ(readFromMemory(v0, back, b, msg), -1560);
  EXPECT_NE(msg.errors.find("VANTO Error  1560: File 'mem.sav' is not a SAV file.\n"), std::string::npos)
      << msg.errors;
}

TEST(Sav, HeaderChecks) {
  const model::ModelData m = everything();
  const std::string good = writeToMemory(m);
  model::ModelData back;
  SavBasis b;
  CollectMessages msg;
  EXPECT_EQ(readFromMemory("", back, b, msg), -1560);
  EXPECT_EQ(readFromMemory("NAME x\n", back, b, msg), -1560);
  // Another signature text.
  std::string wrong = good;
  const std::size_t at = wrong.find(std::string("\x0C\x01V", 3));
  ASSERT_NE(at, std::string::npos);
  wrong[at + 2] = 'W';
  EXPECT_EQ(readFromMemory(wrong, back, b, msg), -1560);
  // A version beyond 32 bits.
  MemoryDevice dev;
  ber::Writer w(dev);
  w.openApplication(2);
  w.integer(int64_t{1} << 40);
  w.bytes(std::string(kSavSignature));
  w.bytes(std::string("x"));
  w.close();
  ASSERT_EQ(w.finish(), 0);
  EXPECT_EQ(readFromMemory(dev.data(), back, b, msg), -1563);
  EXPECT_NE(msg.errors.find("has an incompatible format. Try setting reverse flag"), std::string::npos);
  EXPECT_TRUE(back.obj.empty());
}

TEST(Sav, ExtraItemsInTheHeaderAreSkippedWithAWarning) {
  const model::ModelData m = everything();
  const std::string good = writeToMemory(m);
  // Re-encode the header with an indefinite length and two more items.
  ASSERT_EQ(static_cast<unsigned char>(good[0]), 0x62);
  const unsigned char l = static_cast<unsigned char>(good[1]);
  std::size_t contentAt = 2, len = l;
  if (l > 0x80) {
    len = 0;
    for (int k = 0; k < (l & 0x7F); ++k) len = (len << 8) | static_cast<unsigned char>(good[contentAt++]);
  }
  const std::string extra("\x02\x01\x05\x30\x80\x01\x01\x00\x00\x00", 10);
  const std::string patched = std::string("\x62\x80", 2) + good.substr(contentAt, len) + extra +
                              std::string(2, '\0') + good.substr(contentAt + len);
  model::ModelData back;
  SavBasis b;
  CollectMessages msg;
  ASSERT_EQ(readFromMemory(patched, back, b, msg), 0) << msg.errors;
  expectIdentical(m, back);
  EXPECT_EQ(msg.warnings, "Warning: Additional data in SAV file ignored.\n");
}

TEST(Sav, CutAtEveryElementBoundaryFailsWithNotEnoughData) {
  const model::ModelData m = everything();
  SavBasis basis;
  basis.present = true;
  basis.cstat = {0, 1, 0, 0};
  basis.rstat = {1, 1, 0};
  for (std::size_t flushAt : {std::size_t{1} << 20, std::size_t{16}}) {
    const std::string bytes = writeToMemory(m, &basis, flushAt);
    const std::vector<std::size_t> cuts = elementBoundaries(bytes);
    ASSERT_GT(cuts.size(), 100u);
    ASSERT_EQ(cuts.back(), bytes.size());
    for (std::size_t cut : cuts) {
      if (cut == bytes.size()) continue;
      model::ModelData back = everything();
      SavBasis b = basis;
      CollectMessages msg;
      const int want = cut == 0 ? -1560 : -1561;
      ASSERT_EQ(readFromMemory(bytes.substr(0, cut), back, b, msg), want) << "cut at " << cut;
      if (cut > 0) {
        ASSERT_EQ(msg.errors, "VANTO Error  1561: Not enough data in SAV file.\n");
      }
      // Nothing was replaced.
      expectIdentical(everything(), back);
      EXPECT_EQ(b.cstat, basis.cstat);
    }
    // Cuts inside elements too.
    for (std::size_t cut = 1; cut < bytes.size(); cut += 7) {
      model::ModelData back;
      SavBasis b;
      CollectMessages msg;
      ASSERT_EQ(readFromMemory(bytes.substr(0, cut), back, b, msg), -1561) << "cut at " << cut;
    }
  }
}

TEST(Sav, WrongTagsAndLengthsAreRefused) {
  const model::ModelData m = everything();
  const std::string bytes = writeToMemory(m);
  const std::vector<std::size_t> starts = elementBoundaries(bytes);
  std::size_t headerEnd = 0;
  {
    ber::Reader r(bytes);
    ASSERT_EQ(r.openApplication(2), 0);
    ASSERT_EQ(r.close(true), 0);
    headerEnd = r.position();
  }
  int tags = 0, lengths = 0;
  for (std::size_t at : starts) {
    if (at >= bytes.size()) continue;
    // Another tag of the same class and form.
    std::string t = bytes;
    t[at] = static_cast<char>(t[at] ^ 0x01);
    model::ModelData back;
    SavBasis b;
    CollectMessages msg;
    const int rc = readFromMemory(t, back, b, msg);
    if (at < headerEnd) {
      EXPECT_TRUE(rc == -1560 || rc == -1564) << "tag at " << at << ": " << rc;
    } else {
      EXPECT_EQ(rc, -1564) << "tag at " << at;
      EXPECT_EQ(msg.errors, "VANTO Error  1564: SAV file data could not be interpreted.\n");
    }
    EXPECT_TRUE(back.obj.empty());
    ++tags;
    // A definite short length one more or one less.
    const unsigned char l = static_cast<unsigned char>(bytes[at + 1]);
    if (l >= 0x80) continue;
    for (int delta : {1, -1}) {
      if (l == 0 && delta < 0) continue;
      std::string s = bytes;
      s[at + 1] = static_cast<char>(l + delta);
      model::ModelData back2;
      const int rc2 = readFromMemory(s, back2, b, msg);
      EXPECT_TRUE(rc2 == -1564 || rc2 == -1561 || (at < headerEnd && rc2 == -1560))
          << "length at " << at << " " << delta << ": " << rc2;
      EXPECT_TRUE(back2.obj.empty());
      ++lengths;
    }
  }
  EXPECT_GT(tags, 100);
  EXPECT_GT(lengths, 100);
  // Trailing bytes after the last section.
  model::ModelData back;
  SavBasis b;
  CollectMessages msg;
  EXPECT_EQ(readFromMemory(bytes + std::string("\x02\x01\x00", 3), back, b, msg), -1564);
}

// A device whose writes fail after a number of bytes.
class FailingDevice final : public Device {
 public:
  explicit FailingDevice(std::size_t room) : room_(room) {}
  std::size_t read(void*, std::size_t) override { return 0; }
  std::size_t write(const void*, std::size_t n) override {
    const std::size_t k = n < room_ ? n : room_;
    room_ -= k;
    if (k < n) failed_ = true;
    return k;
  }
  bool flush() override { return !failed_; }
  bool rewind() override { return false; }
  bool error() const override { return failed_; }
  bool eof() const override { return false; }
  bool close() override { return !failed_; }

 private:
  std::size_t room_;
  bool failed_ = false;
};

TEST(Sav, FailedWritesAreReported) {
  const model::ModelData m = everything();
  for (std::size_t room : {std::size_t{0}, std::size_t{100}}) {
    FailingDevice dev(room);
    CollectMessages msg;
    EXPECT_EQ(writeSav(dev, m, nullptr, "b", msg, 64), -1562);
    EXPECT_EQ(msg.errors, "VANTO Error  1562: Unable to write SAV file to disk.\n");
  }
}

// ---------------------------------------------------------------------------
// Through the C interface: the basis travels with the file.

struct ApiEnv {
  VNTENVptr env = nullptr;
  vnt::test::Capture warnings;
  ApiEnv() {
    int st = 0;
    env = VNTopenVANTO(&st);
    VNTCHANNELptr res, warn, err, log;
    VNTgetchannels(env, &res, &warn, &err, &log);
    VNTaddfuncdest(env, warn, &warnings, vnt::test::Capture::fn);
  }
  std::string warned() {
    std::string s = warnings.all();
    warnings.lines.clear();
    return s;
  }
  ~ApiEnv() { VNTcloseVANTO(&env); }
};

TEST(SavApi, SolvedModelRestartsFromItsBasisWithoutIterations) {
  ApiEnv a;
  TempDir tmp;
  for (const char* name : {"afiro", "sc105", "scagr7", "ship04s", "25fv47"}) {
    const std::string src = test::dataDir() + "/netlib/" + name + ".mps.gz";
    int st = 0;
    VNTLPptr lp = VNTcreateprob(a.env, &st, name);
    ASSERT_EQ(VNTreadcopyprob(a.env, lp, src.c_str(), nullptr), 0);
    ASSERT_EQ(VNTsetintparam(a.env, VNT_PARAM_ITLIM, 100000), 0);
    ASSERT_EQ(VNTlpopt(a.env, lp), 0);
    ASSERT_EQ(VNTgetstat(a.env, lp), 1) << name;
    double obj = 0;
    ASSERT_EQ(VNTgetobjval(a.env, lp, &obj), 0);
    const std::string file = tmp.file(std::string(name) + ".sav.gz");
    ASSERT_EQ(VNTwriteprob(a.env, lp, file.c_str(), nullptr), 0);

    VNTLPptr lp2 = VNTcreateprob(a.env, &st, "copy");
    a.warned();
    ASSERT_EQ(VNTreadcopyprob(a.env, lp2, file.c_str(), nullptr), 0);
    EXPECT_EQ(a.warned(), "Warning:  File contains basis.  Basis is loaded.\n") << name;
    // Written again before any solve: the loaded basis goes with it.
    const std::string again = tmp.file(std::string(name) + ".again.sav");
    ASSERT_EQ(VNTwriteprob(a.env, lp2, again.c_str(), nullptr), 0);
    ASSERT_EQ(VNTreadcopyprob(a.env, lp2, again.c_str(), nullptr), 0);
    EXPECT_EQ(a.warned(), "Warning:  File contains basis.  Basis is loaded.\n") << name;
    ASSERT_EQ(VNTlpopt(a.env, lp2), 0);
    EXPECT_EQ(VNTgetstat(a.env, lp2), 1);
    EXPECT_EQ(VNTgetitcnt(a.env, lp2), 0) << name;
    double obj2 = 0;
    ASSERT_EQ(VNTgetobjval(a.env, lp2, &obj2), 0);
    EXPECT_TRUE(sameBits(obj, obj2) || std::fabs(obj - obj2) <= 1e-9 * (1 + std::fabs(obj))) << obj << " " << obj2;
    VNTfreeprob(a.env, &lp2);
    VNTfreeprob(a.env, &lp);
  }
}

TEST(SavApi, AdvancedStartOffIsWarnedAbout) {
  ApiEnv a;
  TempDir tmp;
  int st = 0;
  VNTLPptr lp = VNTcreateprob(a.env, &st, "x");
  ASSERT_EQ(VNTreadcopyprob(a.env, lp, (test::dataDir() + "/netlib/afiro.mps.gz").c_str(), nullptr), 0);
  ASSERT_EQ(VNTlpopt(a.env, lp), 0);
  // An unsolved model has no basis to store.
  VNTLPptr plain = VNTcreateprob(a.env, &st, "plain");
  ASSERT_EQ(VNTreadcopyprob(a.env, plain, (test::dataDir() + "/netlib/afiro.mps.gz").c_str(), nullptr), 0);
  ASSERT_EQ(VNTwriteprob(a.env, lp, tmp.file("b.sav").c_str(), nullptr), 0);
  ASSERT_EQ(VNTwriteprob(a.env, plain, tmp.file("p.sav").c_str(), nullptr), 0);
  ASSERT_EQ(VNTsetintparam(a.env, VNT_PARAM_ADVIND, 0), 0);
  a.warned();
  ASSERT_EQ(VNTreadcopyprob(a.env, plain, tmp.file("b.sav").c_str(), nullptr), 0);
  EXPECT_EQ(a.warned(),
            "Warning:  File contains basis.  Basis is loaded.\nWarning:  Advanced indicator is not set.\n");
  a.warned();
  ASSERT_EQ(VNTreadcopyprob(a.env, lp, tmp.file("p.sav").c_str(), nullptr), 0);
  EXPECT_EQ(a.warned(), "");
  VNTfreeprob(a.env, &plain);
  VNTfreeprob(a.env, &lp);
}

TEST(SavApi, FailedReadsLeaveTheProblemUnchanged) {
  ApiEnv a;
  TempDir tmp;
  int st = 0;
  VNTLPptr lp = VNTcreateprob(a.env, &st, "x");
  ASSERT_EQ(VNTreadcopyprob(a.env, lp, (test::dataDir() + "/sample/exmip1.mps").c_str(), nullptr), 0);
  const std::string good = tmp.file("good.sav");
  ASSERT_EQ(VNTwriteprob(a.env, lp, good.c_str(), nullptr), 0);
  std::ifstream in(good, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string bytes = ss.str();

  VNTLPptr other = VNTcreateprob(a.env, &st, "other");
  ASSERT_EQ(VNTreadcopyprob(a.env, other, (test::dataDir() + "/netlib/afiro.mps.gz").c_str(), nullptr), 0);
  const int n0 = VNTgetnumcols(a.env, other), m0 = VNTgetnumrows(a.env, other);
  const std::vector<std::size_t> cuts = elementBoundaries(bytes);
  int tried = 0;
  for (std::size_t k = 1; k < cuts.size(); k += 9) {
    const std::string bad = tmp.file("bad.sav");
    std::ofstream(bad, std::ios::binary) << bytes.substr(0, cuts[k]);
    const int rc = VNTreadcopyprob(a.env, other, bad.c_str(), nullptr);
    if (cuts[k] == bytes.size()) {
      EXPECT_EQ(rc, 0);
      break;
    }
    ASSERT_EQ(rc, 1561) << cuts[k];
    ASSERT_EQ(VNTgetnumcols(a.env, other), n0);
    ASSERT_EQ(VNTgetnumrows(a.env, other), m0);
    ++tried;
  }
  EXPECT_GT(tried, 10);
  VNTfreeprob(a.env, &other);
  VNTfreeprob(a.env, &lp);
}

}  // namespace
}  // namespace vnt::io
