// libFuzzer harness of the problem-file readers.  Compiled once per format
// with VANTO_FUZZ_FORMAT 'm' (MPS), 'l' (LP) or 's' (binary SAV; a model
// read from it is always written again, in both length forms, and must come
// back to the same bytes).  The input bytes go through
// an in-memory device into readProblem; a successful read must give a
// structurally consistent model, a failed one a negative status with its
// message printed (and a line number where the reader knows it) and the
// caller's model untouched.  Any violation aborts, which libFuzzer records
// as a crash.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/model_invariants.h"
#include "io/device.h"
#include "io/io.h"
#include "io/messages.h"
#include "io/sav.h"

#ifndef VANTO_FUZZ_FORMAT
#error "define VANTO_FUZZ_FORMAT as 'm', 'l' or 's'"
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

// With VANTO_FUZZ_ROUNDTRIP set, a model read successfully is also written
// in the same format and read back; the second read must succeed and give
// the same counts.
bool roundTripWanted() {
  static const bool on = std::getenv("VANTO_FUZZ_ROUNDTRIP") != nullptr;
  return on;
}

// Coefficients and right-hand sides that overflowed to infinity have no
// text the readers take back; such models are not round-tripped.
bool finiteData(const vnt::model::ModelData& a) {
  auto fin = [](const std::vector<double>& v) {
    for (double x : v)
      if (!std::isfinite(x)) return false;
    return true;
  };
  if (!std::isfinite(a.objoffset) || !fin(a.obj) || !fin(a.matval) || !fin(a.rhs) || !fin(a.rngval)) return false;
  for (const auto& t : a.qobj)
    if (!std::isfinite(t.coef)) return false;
  for (const auto& s : a.sos)
    if (!fin(s.weight)) return false;
  for (const auto& q : a.qconstr) {
    if (!std::isfinite(q.rhs) || !fin(q.linval)) return false;
    for (const auto& t : q.quad)
      if (!std::isfinite(t.coef)) return false;
  }
  for (const auto& c : a.indconstr)
    if (!std::isfinite(c.rhs) || !fin(c.val)) return false;
  for (const auto* list : {&a.usercuts, &a.lazycons})
    for (const auto& c : *list)
      if (!std::isfinite(c.rhs) || !fin(c.val)) return false;
  for (const auto& f : a.pwl)
    if (!std::isfinite(f.preslope) || !std::isfinite(f.postslope) || !fin(f.x) || !fin(f.y)) return false;
  for (const auto& o : a.objectives)
    if (!std::isfinite(o.weight) || !std::isfinite(o.abstol) || !std::isfinite(o.reltol) ||
        !std::isfinite(o.offset) || !fin(o.val))
      return false;
  return true;
}

void roundTrip(const vnt::model::ModelData& a) {
  if (!finiteData(a)) return;
  vnt::io::MemoryDevice w;
  CollectErrors msg;
  int rc = vnt::io::writeProblem(w, VANTO_FUZZ_FORMAT == 'm' ? "MPS" : "LP", a, msg);
  if (rc != 0) fail("round trip", "write failed: " + msg.errors);
  vnt::io::MemoryDevice r(w.data());
  vnt::model::ModelData b;
  rc = vnt::io::readProblem(r, VANTO_FUZZ_FORMAT, "fuzz", b, msg);
  if (rc != 0) fail("round trip", "reading the written model failed: " + msg.errors + "\n" + w.data());
  auto same = [](std::size_t x, std::size_t y) { return x == y; };
  if (!same(a.obj.size(), b.obj.size()) || !same(a.rhs.size(), b.rhs.size()) || !same(a.matind.size(), b.matind.size()) ||
      !same(a.qobj.size(), b.qobj.size()) || !same(a.sos.size(), b.sos.size()) ||
      !same(a.qconstr.size(), b.qconstr.size()) || !same(a.indconstr.size(), b.indconstr.size()) ||
      !same(a.usercuts.size(), b.usercuts.size()) || !same(a.lazycons.size(), b.lazycons.size()))
    fail("round trip", "the model read back differs in size:\n" + w.data());
  // the newer parts: piecewise-linear constraints with their breakpoints and
  // variables, objectives of a multi-objective model, indicator directions
  if (!same(a.pwl.size(), b.pwl.size()) || !same(a.objectives.size(), b.objectives.size()))
    fail("round trip", "piecewise-linear constraints or objectives differ in number:\n" + w.data());
  for (std::size_t k = 0; k < a.pwl.size(); ++k)
    if (a.pwl[k].x.size() != b.pwl[k].x.size() || a.pwl[k].xcol != b.pwl[k].xcol || a.pwl[k].ycol != b.pwl[k].ycol)
      fail("round trip", "piecewise-linear constraint " + std::to_string(k) + " differs:\n" + w.data());
  for (std::size_t k = 0; k < a.objectives.size(); ++k)
    if (a.objectives[k].priority != b.objectives[k].priority)
      fail("round trip", "objective " + std::to_string(k) + " changed its priority:\n" + w.data());
  for (std::size_t k = 0; k < a.indconstr.size(); ++k)
    if (a.indconstr[k].direction != b.indconstr[k].direction ||
        a.indconstr[k].complemented != b.indconstr[k].complemented)
      fail("round trip", "indicator " + std::to_string(k) + " changed its direction:\n" + w.data());
}

// SAV: write(a) read back and written again gives the same bytes, also when
// the first write ends most elements with end-of-contents octets.
void savRoundTrip(const vnt::model::ModelData& a, const vnt::io::SavBasis& basis) {
  CollectErrors msg;
  vnt::io::MemoryDevice w1;
  if (vnt::io::writeSav(w1, a, &basis, "fuzz", msg) != 0) fail("sav round trip", "write failed: " + msg.errors);
  for (std::size_t flushAt : {std::size_t{1} << 20, std::size_t{64}}) {
    vnt::io::MemoryDevice w0;
    if (vnt::io::writeSav(w0, a, &basis, "fuzz", msg, flushAt) != 0) fail("sav round trip", "write failed");
    vnt::io::MemoryDevice r(w0.data());
    vnt::model::ModelData b;
    vnt::io::SavBasis bb;
    if (vnt::io::readSav(r, "fuzz", b, bb, msg) != 0) fail("sav round trip", "reading back failed: " + msg.errors);
    vnt::io::MemoryDevice w2;
    if (vnt::io::writeSav(w2, b, &bb, "fuzz", msg) != 0) fail("sav round trip", "second write failed");
    if (w1.data() != w2.data()) fail("sav round trip", "the model read back writes different bytes");
  }
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

  vnt::io::SavBasis basis;
  int rc = vnt::io::readProblem(dev, VANTO_FUZZ_FORMAT, "fuzz", out, msg, settings, &basis);
  if (rc == 0) {
    std::string e = vnt::fuzz::checkModel(out, VANTO_FUZZ_FORMAT == 's');
    if (!e.empty()) fail("model", e);
    if (VANTO_FUZZ_FORMAT == 's') {
      if (basis.present && (basis.cstat.size() != out.obj.size() || basis.rstat.size() != out.rhs.size()))
        fail("basis", "basis sizes differ from the model's");
      savRoundTrip(out, basis);
    } else if (roundTripWanted()) {
      roundTrip(out);
    }
  } else {
    std::string e = vnt::fuzz::checkFailure(rc, msg.errors);
    if (!e.empty()) fail("failure", e);
    if (out.probname != "untouched" || out.obj.size() != 1 || out.matbeg.size() != 2)
      fail("failure", "the caller's model changed on a failed read");
  }
  return 0;
}
