// Checked entries of the problem-file operations: VNTreadcopyprob and
// VNTwriteprob.  A read collects the whole file into a staged model and only
// then replaces the problem's content, so a failed read changes nothing.
#include <string>

#include "api/chk_decls.h"
#include "env/env.h"
#include "io/io.h"
#include "model/problem.h"
#include "params/params.h"

namespace vnt::chk {

namespace {

// Routes the readers' and writers' messages to the environment's channels.
class ChannelMessages final : public io::Messages {
 public:
  explicit ChannelMessages(Env& env) : env_(env) {}
  void error(std::string_view t) override { put(Chan::Error, t); }
  void warning(std::string_view t) override { put(Chan::Warning, t); }
  void results(std::string_view t) override { put(Chan::Results, t); }
  void log(std::string_view t) override { put(Chan::Log, t); }

 private:
  void put(Chan c, std::string_view t) {
    print(env_, c, "%.*s", static_cast<int>(t.size()), t.data());
  }
  Env& env_;
};

enum : int {
  kParamWarnLimit = 1157,
  kParamMpsLongNum = 1081,
  kParamFileEncoding = 1129,
  kParamSelectedLines = 1117,  // objective-sense and selected-name lines of MPS files
  kParamLpRepairNames = 1105,  // make names valid and unique in written LP files
};

io::IoSettings settingsFrom(const Env& env) {
  io::IoSettings s;
  s.warningLimit = params::getLong(env, kParamWarnLimit);
  s.mpsLongNumbers = params::getInt(env, kParamMpsLongNum) != 0;
  s.mpsSelectedLines = params::getInt(env, kParamSelectedLines) != 0;
  s.lpRepairNames = params::getInt(env, kParamLpRepairNames) != 0;
  const char* enc = params::getStr(env, kParamFileEncoding);
  if (enc && *enc) s.fileEncoding = enc;
  return s;
}

}  // namespace

}  // namespace vnt::chk

namespace vnt::io {
IoSettings settingsFromEnv(const Env& env) { return chk::settingsFrom(env); }
}  // namespace vnt::io

namespace vnt::chk {

int readcopyprob(Env& env, model::Problem& lp, const char* filename, const char* filetype) {
  if (!filename) return 1421;
  ChannelMessages msg(env);
  model::ModelData staged;
  int st = io::readProblemFile(filename, filetype, staged, msg, settingsFrom(env));
  if (st != 0) return st;
  if (staged.probname.empty()) staged.probname = filename;
  return model::replaceData(env, lp, std::move(staged));
}

int writeprob(Env& env, model::Problem& lp, const char* filename, const char* filetype) {
  if (!filename) return 1421;
  model::ModelData md;
  if (int st = model::exportData(lp, md)) return st;
  ChannelMessages msg(env);
  return io::writeProblemFile(filename, filetype, md, msg, settingsFrom(env));
}

}  // namespace vnt::chk
