// MPS reader and writer on the shared models and on small hand-made files.
#include <gtest/gtest.h>

#include "io/device.h"
#include "io/mps.h"
#include "io_test_util.h"

using namespace vnt::io;
using namespace vnt::io::test;
using vnt::model::ModelData;

namespace {

void expectWellFormed(const ModelData& m, const std::string& what) {
  const int n = m.numCols(), mr = m.numRows();
  ASSERT_EQ(m.lb.size(), static_cast<std::size_t>(n)) << what;
  ASSERT_EQ(m.ub.size(), static_cast<std::size_t>(n)) << what;
  ASSERT_EQ(m.colname.size(), static_cast<std::size_t>(n)) << what;
  ASSERT_EQ(m.matbeg.size(), static_cast<std::size_t>(n) + 1) << what;
  ASSERT_EQ(m.sense.size(), static_cast<std::size_t>(mr)) << what;
  ASSERT_EQ(m.rowname.size(), static_cast<std::size_t>(mr)) << what;
  ASSERT_TRUE(m.rngval.empty() || m.rngval.size() == static_cast<std::size_t>(mr)) << what;
  ASSERT_TRUE(m.ctype.empty() || m.ctype.size() == static_cast<std::size_t>(n)) << what;
  std::vector<int> mark(static_cast<std::size_t>(mr), -1);
  for (int j = 0; j < n; ++j) {
    ASSERT_LE(m.matbeg[j], m.matbeg[j + 1]) << what;
    for (int64_t k = m.matbeg[j]; k < m.matbeg[j + 1]; ++k) {
      int r = m.matind[k];
      ASSERT_TRUE(r >= 0 && r < mr) << what;
      ASSERT_NE(mark[r], j) << what << ": repeated row in column " << j;
      mark[r] = j;
    }
  }
  ASSERT_EQ(m.matbeg[n], m.numNz()) << what;
}

}  // namespace

TEST(MpsRead, EverySharedModelReads) {
  int count = 0;
  for (const char* sub : {"netlib", "infeas", "miplib3", "sample"}) {
    for (const std::string& path : sharedModels(sub)) {
      ModelData m;
      CollectMessages msg;
      int rc = readMpsFile(path, m, msg);
      ASSERT_EQ(rc, 0) << path << "\n" << msg.errors;
      expectWellFormed(m, path);
      EXPECT_GT(m.numCols(), 0) << path;
      ++count;
    }
  }
  EXPECT_GE(count, 160);
}
