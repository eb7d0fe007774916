// Interactive LP entry and add mode, exported outside the dispatch tables:
// VNTEenterprob (a whole problem typed at a terminal), VNTEenteradd
// (constraints and bounds typed at a terminal) and VNTEaddfromfile (the
// same from an LP file).  Each stages the result and replaces the problem's
// content only when the read succeeded.
#include <string>

#include "api/frame.h"
#include "env/env.h"
#include "io/convert.h"
#include "io/io.h"
#include "io/lp.h"
#include "model/problem.h"

namespace {

using namespace vnt;

const char* const kStdinName = "<stdin>";

std::string nameOf(const model::Problem& p) { return p.data->probname; }

// Runs `read(msg, settings, base, staged)` for the problem and installs the
// staged model.  withBase exports the current model first (add mode).
template <typename Read>
int stageAndReplace(VNTENVptr envHandle, VNTLPptr lpHandle, bool withBase, Read read) {
  Env* env = nullptr;
  model::Problem* lp = nullptr;
  int st = api::enter(envHandle, lpHandle, &env, &lp, false);
  if (st == 0) {
    io::ChannelMessages msg(*env);
    io::IoSettings settings = io::settingsFromEnv(*env);
    model::ModelData base, staged;
    if (withBase) st = model::exportData(*lp, base);
    if (st == 0) st = read(msg, settings, base, staged);
    if (st == 0) {
      std::string keep = nameOf(*lp);
      if (!keep.empty()) staged.probname = keep;
      st = model::replaceData(*env, *lp, std::move(staged));
    }
  }
  api::report(env, &st);
  return st;
}

}  // namespace

extern "C" {

VNTAPI int VNTAPIENTRY VNTEenterprob(VNTENVptr env, VNTLPptr lp, FILE* in) {
  return stageAndReplace(env, lp, false,
                         [&](io::Messages& msg, const io::IoSettings& s, const model::ModelData&, model::ModelData& out) {
                           if (!in) return 1004;
                           return io::enterLp(in, kStdinName, out, msg, s);
                         });
}

VNTAPI int VNTAPIENTRY VNTEenteradd(VNTENVptr env, VNTLPptr lp, FILE* in) {
  return stageAndReplace(
      env, lp, true, [&](io::Messages& msg, const io::IoSettings& s, const model::ModelData& base, model::ModelData& out) {
        if (!in) return 1004;
        return io::enterAddLp(in, kStdinName, base, out, msg, s);
      });
}

VNTAPI int VNTAPIENTRY VNTEaddfromfile(VNTENVptr env, VNTLPptr lp, const char* filename) {
  return stageAndReplace(
      env, lp, true, [&](io::Messages& msg, const io::IoSettings& s, const model::ModelData& base, model::ModelData& out) {
        if (!filename || !*filename) return 1421;
        auto dev = io::openFileDevice(filename, 'r');
        if (!dev) return io::reportError(msg, 1423, "Could not open file '%s' for reading", filename);
        msg.results(io::format("Input file '%s' successfully opened.\n", filename));
        if (io::isPassThroughEncoding(s.fileEncoding)) return io::addLp(*dev, filename, base, out, msg, s);
        auto conv = io::makeConvertingDevice(*dev, s.fileEncoding, 'r');
        if (!conv) return io::reportError(msg, 1235, "Failed to convert string encoding");
        return io::addLp(*conv, filename, base, out, msg, s);
      });
}

}  // extern "C"
