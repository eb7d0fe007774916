// Text read from files is UTF-8 in normalization form C: a name spelt with a
// combining sequence and the same name with the precomposed character are
// one name, whatever the file encoding; names handed through the interface
// likewise.
#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "io/convert.h"
#include "io/device.h"
#include "io/io.h"
#include "io/messages.h"
#include "io/textutil.h"
#include "vanto/vanto.h"
#include "vanto/vnt_ops.h"
#include "vanto/vnt_params.h"

using namespace vnt::io;
using vnt::model::ModelData;

namespace {

const std::string kPre = "x\xc3\xa9";     // x, U+00E9
const std::string kComb = "xe\xcc\x81";   // x, e, U+0301 combining acute
const std::string kAngstrom = "\xe2\x84\xab";  // U+212B, singleton: NFC is U+00C5
const std::string kRingA = "\xc3\x85";         // U+00C5

class Sink final : public Messages {
 public:
  void error(std::string_view t) override { errors += t; }
  void warning(std::string_view) override {}
  void results(std::string_view) override {}
  void log(std::string_view) override {}
  std::string errors;
};

struct Tmp {
  std::string dir;
  Tmp() {
    std::string t = (std::filesystem::temp_directory_path() / "vnt_nfc_XXXXXX").string();
    dir = mkdtemp(t.data());
  }
  ~Tmp() { std::filesystem::remove_all(dir); }
  std::string put(const std::string& name, const std::string& bytes) const {
    std::string p = dir + "/" + name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
};

std::string mpsWith(const std::string& a, const std::string& b) {
  return "NAME          NFC\nROWS\n N  obj\n L  r1\n G  r2\nCOLUMNS\n    " + a + "  obj  1\n    " + a +
         "  r1  2\n    " + b + "  r2  3\nRHS\n    rhs  r1  4\n    rhs  r2  1\nENDATA\n";
}

std::string lpWith(const std::string& a, const std::string& b) {
  return "Minimize\n obj: " + a + "\nSubject To\n r1: 2 " + a + " <= 4\n r2: 3 " + b + " >= 1\nEnd\n";
}

// Bytes of UTF-8 text in another encoding (through ICU, independently of the
// library's devices).
std::string encode(const std::string& utf8, const char* encoding) {
  UErrorCode ec = U_ZERO_ERROR;
  std::string out(utf8.size() * 4 + 16, '\0');
  int32_t n = ucnv_convert(encoding, "UTF-8", out.data(), static_cast<int32_t>(out.size()), utf8.data(),
                           static_cast<int32_t>(utf8.size()), &ec);
  EXPECT_TRUE(U_SUCCESS(ec)) << encoding;
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::string readAll(Device& d, std::mt19937& g) {
  std::string out;
  char buf[5000];
  for (;;) {
    std::size_t want = 1 + g() % sizeof buf;
    std::size_t got = d.read(buf, want);
    if (got == 0) break;
    out.append(buf, got);
  }
  return out;
}

}  // namespace

TEST(Normalization, CombiningAndPrecomposedNamesAreOneColumnInEveryTextFormat) {
  Tmp tmp;
  IoSettings utf8;
  utf8.fileEncoding = "UTF-8";
  for (const auto& [file, text] : {std::pair{std::string("a.mps"), mpsWith(kPre, kComb)},
                                   std::pair{std::string("b.mps"), mpsWith(kComb, kPre)},
                                   std::pair{std::string("c.lp"), lpWith(kPre, kComb)},
                                   std::pair{std::string("d.lp"), lpWith(kComb, kPre)}}) {
    SCOPED_TRACE(file);
    ModelData m;
    Sink msg;
    ASSERT_EQ(readProblemFile(tmp.put(file, text), nullptr, m, msg, utf8), 0) << msg.errors;
    ASSERT_EQ(m.numCols(), 1);
    EXPECT_EQ(m.colname[0], kPre);
    EXPECT_EQ(m.numNz(), 2);
  }
  // without conversion the two spellings stay two columns
  IoSettings raw;
  raw.fileEncoding = "no_encoding";
  ModelData m;
  Sink msg;
  ASSERT_EQ(readProblemFile(tmp.put("e.mps", mpsWith(kPre, kComb)), nullptr, m, msg, raw), 0) << msg.errors;
  EXPECT_EQ(m.numCols(), 2);
}

TEST(Normalization, ConvertedEncodingsAreNormalizedToo) {
  // windows-1258 writes the acute as a separate combining byte; UTF-16 keeps
  // whatever sequence it was given; singletons (U+212B) map to U+00C5
  Tmp tmp;
  for (const char* enc : {"windows-1258", "UTF-16LE", "UTF-16BE"}) {
    SCOPED_TRACE(enc);
    IoSettings s;
    s.fileEncoding = enc;
    ModelData m;
    Sink msg;
    std::string text = mpsWith(kPre, kComb);
    ASSERT_EQ(readProblemFile(tmp.put("f.mps", encode(text, enc)), nullptr, m, msg, s), 0) << msg.errors;
    ASSERT_EQ(m.numCols(), 1);
    EXPECT_EQ(m.colname[0], kPre);
  }
  IoSettings s;
  s.fileEncoding = "UTF-16LE";
  ModelData m;
  Sink msg;
  std::string text = mpsWith(kAngstrom, kRingA);
  ASSERT_EQ(readProblemFile(tmp.put("g.mps", encode(text, "UTF-16LE")), nullptr, m, msg, s), 0) << msg.errors;
  ASSERT_EQ(m.numCols(), 1);
  EXPECT_EQ(m.colname[0], kRingA);
}

TEST(Normalization, IllFormedUtf8IsAConversionFailureAndLeavesTheModel) {
  Tmp tmp;
  IoSettings utf8;
  utf8.fileEncoding = "UTF-8";
  for (const std::string& bad : {std::string("x\xc3"), std::string("x\xff"), std::string("x\xed\xa0\x80")}) {
    ModelData m;
    m.probname = "kept";
    Sink msg;
    EXPECT_EQ(readProblemFile(tmp.put("bad.mps", mpsWith(bad, "y")), nullptr, m, msg, utf8), -1235);
    EXPECT_NE(msg.errors.find("VANTO Error  1235: Failed to convert string encoding.\n"), std::string::npos);
    EXPECT_EQ(m.probname, "kept");
  }
}

TEST(Normalization, StreamingAgreesWithWholeTextAtEveryPieceBoundary) {
  // Long random text of ASCII, precomposed and combining pieces, read through
  // the device in random request sizes: the result equals the normalization
  // of the whole text, so no combining sequence is split at a piece boundary.
  const std::vector<std::string> parts = {"a", "e", " ", "\n", "\xcc\x81", "\xcc\x88", "\xc3\xa9", "\xe2\x84\xab",
                                          "\xe1\x84\x80", "\xe1\x85\xa1", "Z", "\xf0\x9f\x98\x80", "\xcc\xa3"};
  for (unsigned seed = 1; seed <= 6; ++seed) {
    std::mt19937 g(seed);
    std::string text;
    // runs without ASCII longer than one device chunk in some seeds
    const std::size_t target = 150000 + 40000 * seed;
    while (text.size() < target) {
      if (seed % 3 == 0 && g() % 1000 == 0)
        for (int k = 0; k < 40000; ++k) text += "\xcc\x81";
      text += parts[g() % parts.size()];
    }
    std::string want = text;
    ASSERT_EQ(normalizeUtf8(want), 0);
    ASSERT_NE(want, text);  // the text did need normalization
    MemoryDevice src(text);
    auto dev = makeConvertingDevice(src, "UTF-8", 'r');
    ASSERT_TRUE(dev);
    std::string got = readAll(*dev, g);
    EXPECT_FALSE(dev->error());
    EXPECT_TRUE(got == want) << "seed " << seed << " sizes " << got.size() << " " << want.size();
    // and again after a rewind
    ASSERT_TRUE(dev->rewind());
    EXPECT_TRUE(readAll(*dev, g) == want);
  }
}

TEST(Normalization, NamesThroughTheInterfaceAreNormalized) {
  int st = 0;
  VNTENVptr env = VNTopenVANTO(&st);
  ASSERT_TRUE(env);
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_APIENCODING, "UTF-8"), 0);
  VNTLPptr lp = VNTcreateprob(env, &st, "nfc");
  ASSERT_TRUE(lp);
  char* names[2] = {const_cast<char*>(kComb.c_str()), const_cast<char*>("y")};
  ASSERT_EQ(VNTnewcols(env, lp, 2, nullptr, nullptr, nullptr, nullptr, names), 0);
  int j = -1;
  EXPECT_EQ(VNTgetcolindex(env, lp, kPre.c_str(), &j), 0);
  EXPECT_EQ(j, 0);
  EXPECT_EQ(VNTgetcolindex(env, lp, kComb.c_str(), &j), 0);
  EXPECT_EQ(j, 0);
  // in a Latin-1 interface encoding the precomposed character is one byte
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_APIENCODING, "ISO-8859-1"), 0);
  EXPECT_EQ(VNTgetcolindex(env, lp, "x\xe9", &j), 0);
  EXPECT_EQ(j, 0);
  VNTfreeprob(env, &lp);
  VNTcloseVANTO(&env);
}

TEST(Normalization, Utf8FilesAreWrittenUnconvertedAndReadBack) {
  Tmp tmp;
  IoSettings utf8;
  utf8.fileEncoding = "UTF-8";
  ModelData m;
  Sink msg;
  ASSERT_EQ(readProblemFile(tmp.put("a.mps", mpsWith(kComb, kPre)), nullptr, m, msg, utf8), 0) << msg.errors;
  for (const char* name : {"w.mps", "w.lp"}) {
    SCOPED_TRACE(name);
    std::string path = tmp.dir + "/" + name;
    ASSERT_EQ(writeProblemFile(path, nullptr, m, msg, utf8), 0) << msg.errors;
    std::ifstream f(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find("ENCODING=UTF-8"), std::string::npos);
    EXPECT_NE(bytes.find(kPre), std::string::npos);
    ModelData back;
    ASSERT_EQ(readProblemFile(path, nullptr, back, msg, utf8), 0) << msg.errors;
    ASSERT_EQ(back.numCols(), 1);
    EXPECT_EQ(back.colname[0], kPre);
    EXPECT_EQ(back.numNz(), m.numNz());
  }
}
