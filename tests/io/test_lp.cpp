// LP reader and writer: the shared models written as LP read back to the same
// model, and the grammar's edge cases.
#include <gtest/gtest.h>

#include "io/device.h"
#include "io/lp.h"
#include "io/mps.h"
#include "io_test_util.h"

using namespace vnt::io;
using namespace vnt::io::test;
using vnt::model::ModelData;

namespace {

int readLpText(const std::string& text, ModelData& m, CollectMessages& msg, const IoSettings& s = {}) {
  MemoryDevice dev(text);
  return readLp(dev, "test.lp", m, msg, s);
}

std::string writeLpText(const ModelData& m, CollectMessages& msg, LpNames mode = LpNames::Normal) {
  MemoryDevice dev;
  EXPECT_EQ(writeLp(dev, m, msg, mode), 0) << msg.errors;
  return dev.data();
}

int colOf(const ModelData& m, const std::string& name) {
  for (int j = 0; j < m.numCols(); ++j)
    if (m.colname[j] == name) return j;
  return -1;
}

double coefOf(const ModelData& m, int i, int j) {
  for (int64_t k = m.matbeg[j]; k < m.matbeg[j + 1]; ++k)
    if (m.matind[k] == i) return m.matval[k];
  return 0.0;
}

}  // namespace

TEST(LpWrite, RoundTripSharedModels) {
  int count = 0;
  for (const char* sub : {"netlib", "infeas", "miplib3", "sample"}) {
    for (const std::string& path : sharedModels(sub)) {
      ModelData m;
      CollectMessages msg;
      ASSERT_EQ(readMpsFile(path, m, msg), 0) << path;
      CollectMessages wmsg;
      std::string text = writeLpText(m, wmsg);
      bool renamed = wmsg.warnings.find("Output names have been modified") != std::string::npos;
      ModelData back;
      CollectMessages rmsg;
      ASSERT_EQ(readLpText(text, back, rmsg), 0) << path << "\n" << rmsg.errors;
      SCOPED_TRACE(path);
      expectSameModel(m, back, !renamed, 1e-14);
      // lines never exceed 79 characters
      std::size_t start = 0, longest = 0;
      while (start < text.size()) {
        std::size_t e = text.find('\n', start);
        if (e == std::string::npos) e = text.size();
        longest = std::max(longest, e - start);
        start = e + 1;
      }
      EXPECT_LE(longest, 79u);
      if (::testing::Test::HasFailure()) return;
      ++count;
    }
  }
  EXPECT_GE(count, 160);
}
