// Reader regression inputs: every file of tests/io_regress/inputs (inputs
// the fuzzers found troublesome, minimized, and hand-written malformed
// files) and the fuzz seeds go through the reader that their extension
// names, with the settings the fuzz harness used for them.  A read must not
// crash; a successful read must give a consistent model that writes back in
// the same format, a failed one a
// negative status with its message printed.  The expected outcome is part of
// the file name: "<what>.err<code>.<ext>" must fail with that code,
// "<what>.ok.<ext>" must succeed; other names only need to hold the
// invariants.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/model_invariants.h"
#include "io/device.h"
#include "io/io.h"
#include "io/messages.h"

namespace {

namespace fs = std::filesystem;

class CollectErrors final : public vnt::io::Messages {
 public:
  void error(std::string_view t) override { errors.append(t); }
  void warning(std::string_view) override {}
  void results(std::string_view) override {}
  void log(std::string_view) override {}
  std::string errors;
};

std::vector<std::string> inputFiles() {
  std::vector<std::string> v;
  for (const char* sub : {"tests/io_regress/inputs", "fuzz/seeds/mps", "fuzz/seeds/lp", "fuzz/seeds/sav"}) {
    fs::path d = fs::path(VANTO_SOURCE_DIR) / sub;
    if (!fs::exists(d)) continue;
    for (const auto& e : fs::directory_iterator(d)) {
      std::string ext = e.path().extension().string();
      if (e.is_regular_file() && (ext == ".mps" || ext == ".lp" || ext == ".sav")) v.push_back(e.path().string());
    }
  }
  std::sort(v.begin(), v.end());
  return v;
}

// Expected error output by file name, from inputs/messages.tsv ("\n" in
// the file stands for a line break).
const std::map<std::string, std::string>& expectedMessages() {
  static const std::map<std::string, std::string> msgs = [] {
    std::map<std::string, std::string> m;
    std::ifstream in(fs::path(VANTO_SOURCE_DIR) / "tests/io_regress/inputs/messages.tsv");
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      const std::size_t tab = line.find('\t');
      if (tab == std::string::npos) continue;
      std::string text = line.substr(tab + 1);
      for (std::size_t p = 0; (p = text.find("\\n", p)) != std::string::npos;) text.replace(p, 2, "\n");
      m[line.substr(0, tab)] = text;
    }
    return m;
  }();
  return msgs;
}

// Expected status from the name: -code for ".err<code>.", 0 for ".ok.",
// 1 when the name says nothing.
int expectedStatus(const std::string& stem) {
  std::size_t p = stem.rfind(".err");
  if (p != std::string::npos) return -std::atoi(stem.c_str() + p + 4);
  if (stem.size() >= 3 && stem.compare(stem.size() - 3, 3, ".ok") == 0) return 0;
  return 1;
}

class ReaderRegression : public testing::TestWithParam<std::string> {};

TEST_P(ReaderRegression, ReadsWithoutFaultAndWithTheExpectedStatus) {
  const fs::path path(GetParam());
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path;
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string bytes = ss.str();
  const char format = path.extension() == ".lp" ? 'l' : path.extension() == ".sav" ? 's' : 'm';

  vnt::io::MemoryDevice dev(bytes);
  CollectErrors msg;
  vnt::model::ModelData out;
  out.probname = "untouched";
  int rc = vnt::io::readProblem(dev, format, path.filename().string(), out, msg, vnt::fuzz::settingsFor(bytes));

  if (rc == 0) {
    EXPECT_EQ(vnt::fuzz::checkModel(out, format == 's'), "");
    // what was read can be written in the same format
    vnt::io::MemoryDevice w;
    CollectErrors wmsg;
    EXPECT_EQ(vnt::io::writeProblem(w, format == 'l' ? "LP" : format == 's' ? "SAV" : "MPS", out, wmsg), 0)
        << wmsg.errors;
  } else {
    EXPECT_EQ(vnt::fuzz::checkFailure(rc, msg.errors), "");
    EXPECT_EQ(out.probname, "untouched") << "a failed read changed the caller's model";
  }
  const int want = expectedStatus(path.stem().string());
  if (want != 1) {
    EXPECT_EQ(rc, want) << msg.errors;
  }
  // A hand-written malformed input states its exact message.
  if (want < 0) {
    auto it = expectedMessages().find(path.filename().string());
    ASSERT_NE(it, expectedMessages().end()) << "no line for " << path.filename() << " in inputs/messages.tsv";
    EXPECT_EQ(msg.errors, it->second);
  }
  // seeds are valid models
  if (path.parent_path().filename() != "inputs") {
    EXPECT_EQ(rc, 0) << msg.errors;
  }
}

std::string testName(const testing::TestParamInfo<std::string>& info) {
  fs::path p(info.param);
  std::string s = p.parent_path().filename().string() + "_" + p.filename().string();
  for (char& c : s)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return s;
}

INSTANTIATE_TEST_SUITE_P(Inputs, ReaderRegression, testing::ValuesIn(inputFiles()), testName);

TEST(ReaderRegression, InputFolderIsNotEmpty) { EXPECT_FALSE(inputFiles().empty()); }

}  // namespace
