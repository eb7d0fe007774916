// libFuzzer harness of the problem-file readers.  Compiled once per format
// with VANTO_FUZZ_FORMAT 'm' (MPS) or 'l' (LP).  The input bytes go through
// an in-memory device into readProblem; a successful read must give a
// structurally consistent model, a failed one a negative status with its
// message printed (and a line number where the reader knows it) and the
// caller's model untouched.  Any violation aborts, which libFuzzer records
// as a crash.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/model_invariants.h"
#include "io/device.h"
#include "io/io.h"
#include "io/messages.h"

#ifndef VANTO_FUZZ_FORMAT
#error "define VANTO_FUZZ_FORMAT as 'm' or 'l'"
#endif

namespace {

class CollectErrors final : public vnt::io::Messages {
 public:
  void error(std::string_view t) override { errors.append(t); }
  void warning(std::string_view) override {}
  void results(std::string_view) override {}
  void log(std::string_view) override {}
  std::string errors;
};

[[noreturn]] void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "\n*** reader invariant violated (%s): %s\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const vnt::io::IoSettings settings = vnt::fuzz::settingsFor(bytes);

  vnt::io::MemoryDevice dev{std::string(bytes)};
  CollectErrors msg;
  vnt::model::ModelData out;
  out.probname = "untouched";  // a failed read must leave this model as it was
  out.obj = {1.0};
  out.lb = {0.0};
  out.ub = {2.0};
  out.matbeg = {0, 0};

  int rc = vnt::io::readProblem(dev, VANTO_FUZZ_FORMAT, "fuzz", out, msg, settings);
  if (rc == 0) {
    std::string e = vnt::fuzz::checkModel(out);
    if (!e.empty()) fail("model", e);
  } else {
    std::string e = vnt::fuzz::checkFailure(rc, msg.errors);
    if (!e.empty()) fail("failure", e);
    if (out.probname != "untouched" || out.obj.size() != 1 || out.matbeg.size() != 2)
      fail("failure", "the caller's model changed on a failed read");
  }
  return 0;
}
