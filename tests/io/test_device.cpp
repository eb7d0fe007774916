// I/O devices: every kind writes and reads back the same bytes, rewind
// starts over, and the kind follows the name's suffix.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "io/device.h"
#include "io/linereader.h"
#include "io_test_util.h"

using namespace vnt::io;
using vnt::io::test::TempDir;

TEST(Device, CompressionSuffix) {
  EXPECT_EQ(compressionOf("model.mps.bz2").kind, Compression::Bzip2);
  EXPECT_EQ(compressionOf("model.mps.BZ2").length, 4u);
  EXPECT_EQ(compressionOf("model.LP.GZ").kind, Compression::Gzip);
  EXPECT_EQ(compressionOf("model.LP.GZ").length, 3u);
  EXPECT_EQ(compressionOf("model.Z").kind, Compression::Gzip);
  EXPECT_EQ(compressionOf("model.Z").length, 2u);
  EXPECT_EQ(compressionOf("model.mps").kind, Compression::Plain);
  EXPECT_EQ(compressionOf("gz").kind, Compression::Plain);
}

TEST(Device, WriteReadRewindAllKinds) {
  TempDir tmp;
  std::mt19937 rng(7);
  std::string payload;
  for (int i = 0; i < 300000; ++i) payload.push_back(static_cast<char>('a' + rng() % 26));
  for (const char* name : {"x.txt", "x.txt.gz", "x.txt.bz2"}) {
    std::string path = tmp.file(name);
    {
      auto w = openFileDevice(path, 'w');
      ASSERT_TRUE(w) << name;
      EXPECT_EQ(w->write(payload.data(), 1000), 1000u);
      EXPECT_TRUE(w->writeString(std::string_view(payload).substr(1000, payload.size() - 1001)));
      EXPECT_TRUE(w->writeChar(payload.back()));
      EXPECT_FALSE(w->error());
      EXPECT_TRUE(w->close());
    }
    auto r = openFileDevice(path, 'r');
    ASSERT_TRUE(r) << name;
    std::string back(payload.size() + 10, '\0');
    std::size_t got = 0, k;
    while ((k = r->read(back.data() + got, 4096)) > 0) got += k;
    back.resize(got);
    EXPECT_EQ(back, payload) << name;
    EXPECT_FALSE(r->error()) << name;
    ASSERT_TRUE(r->rewind()) << name;
    char first[16];
    ASSERT_EQ(r->read(first, 16), 16u) << name;
    EXPECT_EQ(std::string(first, 16), payload.substr(0, 16)) << name;
    EXPECT_TRUE(r->close());
  }
  // compressed names really are compressed
  std::ifstream gz(tmp.file("x.txt.gz"), std::ios::binary);
  unsigned char magic[2] = {};
  gz.read(reinterpret_cast<char*>(magic), 2);
  EXPECT_EQ(magic[0], 0x1f);
  EXPECT_EQ(magic[1], 0x8b);
  std::ifstream bz(tmp.file("x.txt.bz2"), std::ios::binary);
  char bmagic[3] = {};
  bz.read(bmagic, 3);
  EXPECT_EQ(std::string(bmagic, 3), "BZh");
}

TEST(Device, MissingFileAndMemoryDevice) {
  EXPECT_EQ(openFileDevice("/nonexistent/dir/x.mps", 'r'), nullptr);
  EXPECT_EQ(openFileDevice("/nonexistent/dir/x.mps.gz", 'w'), nullptr);
  MemoryDevice m("line one\r\nline two\n\nlast");
  LineReader lr(m);
  std::string l;
  std::vector<std::string> lines;
  while (lr.next(l)) lines.push_back(l);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "line one\r");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "last");
  EXPECT_EQ(lr.lineNo(), 4);
}
