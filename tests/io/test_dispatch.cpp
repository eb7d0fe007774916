// Format choice by type string, file name and content; writing by
// extension; compressed names.
#include <gtest/gtest.h>

#include <fstream>

#include "io/io.h"
#include "io/mps.h"
#include "io_test_util.h"

using namespace vnt::io;
using namespace vnt::io::test;
using vnt::model::ModelData;

namespace {

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

const char* kLpText = "Minimize\n obj: x + 2 y\nSubject To\n c1: x + y >= 1\nEnd\n";
const char* kMpsText = "NAME t\nROWS\n N obj\n G c1\nCOLUMNS\n    x obj 1 c1 1\n    y obj 2 c1 1\nRHS\n    rhs c1 1\nENDATA\n";

}  // namespace

TEST(Dispatch, FormatChoice) {
  EXPECT_EQ(readFormatFromType("lp"), 'l');
  EXPECT_EQ(readFormatFromType("Mps"), 'm');
  EXPECT_EQ(readFormatFromType("SAV"), 's');
  EXPECT_EQ(readFormatFromType("min"), 'n');
  EXPECT_EQ(readFormatFromType("xyz"), '?');
  EXPECT_EQ(readFormatFromType(nullptr), '\0');
  EXPECT_EQ(readFormatFromName("model.LP.GZ"), 'l');
  EXPECT_EQ(readFormatFromName("dir.x/model.mps.bz2"), 'm');
  EXPECT_EQ(readFormatFromName("model.QPS"), 'm');
  EXPECT_EQ(readFormatFromName("dir.lp/model"), '\0');
  EXPECT_EQ(readFormatFromContent("Minimize\n"), 'l');
  EXPECT_EQ(readFormatFromContent("\\ comment"), 'l');
  EXPECT_EQ(readFormatFromContent("NAME x"), 'm');
  EXPECT_EQ(readFormatFromContent("* c"), 'm');
  EXPECT_EQ(readFormatFromContent("xyz"), '?');
  EXPECT_EQ(writeTypeFor("model", nullptr), "");
  EXPECT_EQ(writeTypeFor("model.lpx", nullptr), "");
  EXPECT_EQ(writeTypeFor("model.rlp", nullptr), "RLP");
  EXPECT_EQ(writeTypeFor("model.mps.gz", nullptr), "MPS");
  EXPECT_EQ(writeTypeFor("model.mps", "lp"), "LP");
  EXPECT_EQ(writeTypeFor("model.mps", "long"), "");
}

TEST(Dispatch, ReadAndWriteFiles) {
  TempDir tmp;
  writeFile(tmp.file("a.txt"), kLpText);
  writeFile(tmp.file("b.txt"), kMpsText);
  writeFile(tmp.file("c.txt"), "x + y\n");
  ModelData a, b, c;
  CollectMessages msg;
  ASSERT_EQ(readProblemFile(tmp.file("a.txt"), nullptr, a, msg), 0) << msg.errors;
  ASSERT_EQ(readProblemFile(tmp.file("b.txt"), nullptr, b, msg), 0) << msg.errors;
  EXPECT_EQ(a.numCols(), 2);
  EXPECT_EQ(b.numCols(), 2);
  EXPECT_EQ(readProblemFile(tmp.file("c.txt"), nullptr, c, msg), -1424);
  EXPECT_NE(msg.errors.find("VANTO Error  1424: Invalid filetype.\n"), std::string::npos);
  EXPECT_EQ(readProblemFile(tmp.file("a.txt"), "MPS", c, msg), -1441);  // the type string wins
  EXPECT_EQ(readProblemFile("", nullptr, c, msg), -1421);
  EXPECT_EQ(readProblemFile(tmp.file("none.lp"), nullptr, c, msg), -1423);
  EXPECT_NE(msg.errors.find("Could not open file '" + tmp.file("none.lp") + "' for reading"), std::string::npos);
  EXPECT_EQ(c.numCols(), 0);

  // writing: by extension, compressed, generic names, type string first
  CollectMessages w;
  EXPECT_EQ(writeProblemFile(tmp.file("model"), nullptr, a, w), -1424);
  EXPECT_EQ(writeProblemFile(tmp.file("model.lpx"), nullptr, a, w), -1424);
  EXPECT_EQ(writeProblemFile(tmp.file("nodir/x.lp"), nullptr, a, w), -1422);
  for (const char* name : {"m.lp.gz", "m.LP.bz2", "m.mps.gz", "m.rlp", "m.rew"}) {
    ASSERT_EQ(writeProblemFile(tmp.file(name), nullptr, a, w), 0) << name << w.errors;
    ModelData back;
    CollectMessages r;
    const char* type = std::string(name) == "m.rlp" ? "LP" : std::string(name) == "m.rew" ? "MPS" : nullptr;
    ASSERT_EQ(readProblemFile(tmp.file(name), type, back, r), 0) << name << r.errors;
    expectSameModel(a, back, type == nullptr);
    if (type) {
      EXPECT_EQ(back.colname[0], std::string(name) == "m.rlp" ? "x1" : "C1");
    }
  }
  ASSERT_EQ(writeProblemFile(tmp.file("forced.mps"), "lp", a, w), 0);
  std::ifstream f(tmp.file("forced.mps"));
  std::string first;
  std::getline(f, first);
  EXPECT_EQ(first, "\\ENCODING=ISO-8859-1");
}

TEST(Dispatch, CompressedSharedModelsReadLikePlain) {
  TempDir tmp;
  for (const char* name : {"netlib/afiro", "netlib/boeing1", "miplib3/egout"}) {
    std::string src = dataDir() + "/" + name + ".mps.gz";
    ModelData gz;
    CollectMessages msg;
    ASSERT_EQ(readProblemFile(src, nullptr, gz, msg), 0);
    std::string plain = tmp.file("plain.mps");
    std::string cmd = "gzip -dc '" + src + "' > '" + plain + "' && bzip2 -kf '" + plain + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (const std::string& p : {plain, plain + ".bz2"}) {
      ModelData other;
      ASSERT_EQ(readProblemFile(p, nullptr, other, msg), 0) << p;
      expectSameModel(gz, other);
      EXPECT_EQ(gz.probname, other.probname);
    }
  }
}

TEST(Dispatch, FileEncodingConversion) {
  TempDir tmp;
  ModelData m;
  CollectMessages msg;
  MemoryDevice src(kMpsText);
  ASSERT_EQ(readMps(src, m, msg), 0);
  m.colname[0] = "caf\xc3\xa9";  // UTF-8 inside the library
  for (const char* name : {"e.lp", "e.mps"}) {
    ASSERT_EQ(writeProblemFile(tmp.file(name), nullptr, m, msg), 0) << msg.errors;
    std::ifstream f(tmp.file(name), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find("caf\xe9"), std::string::npos) << name;  // ISO-8859-1 in the file
    ModelData back;
    ASSERT_EQ(readProblemFile(tmp.file(name), nullptr, back, msg), 0) << msg.errors;
    EXPECT_EQ(back.colname[0], "caf\xc3\xa9") << name;
  }
  IoSettings raw;
  raw.fileEncoding = "no_encoding";
  ModelData back;
  ASSERT_EQ(readProblemFile(tmp.file("e.lp"), nullptr, back, msg, raw), 0);
  EXPECT_EQ(back.colname[0], "caf\xe9");
  // a character the file encoding cannot hold
  m.colname[0] = "\xe2\x82\xac";
  CollectMessages w;
  EXPECT_EQ(writeProblemFile(tmp.file("euro.mps"), nullptr, m, w), -1235);
  EXPECT_NE(w.errors.find("VANTO Error  1235: Failed to convert string encoding.\n"), std::string::npos);
}
