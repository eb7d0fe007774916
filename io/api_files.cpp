// Checked entries of the problem-file operations: VNTreadcopyprob and
// VNTwriteprob.  A read collects the whole file into a staged model and only
// then replaces the problem's content, so a failed read changes nothing.
#include <string>
#include <vector>

#include "api/chk_decls.h"
#include "env/env.h"
#include "io/io.h"
#include "io/mps.h"
#include "model/problem.h"
#include "params/params.h"

namespace vnt::chk {

namespace {


enum : int {
  kParamWarnLimit = 1157,
  kParamMpsLongNum = 1081,
  kParamFileEncoding = 1129,
  kParamSelectedLines = 1117,  // objective-sense and selected-name lines of MPS files
  kParamLpRepairNames = 1105,  // make names valid and unique in written LP files
  kParamAdvance = 1001,        // advanced start: use an installed basis
};

io::IoSettings settingsFrom(const Env& env) {
  io::IoSettings s;
  s.warningLimit = params::getLong(env, kParamWarnLimit);
  s.mpsLongNumbers = params::getInt(env, kParamMpsLongNum) != 0;
  s.mpsSelectedLines = params::getInt(env, kParamSelectedLines) != 0;
  s.lpRepairNames = params::getInt(env, kParamLpRepairNames) != 0;
  const char* enc = params::getStr(env, kParamFileEncoding);
  if (enc && *enc) s.fileEncoding = enc;
  s.versionBanner = std::string("VANTO ") + env.version;
  return s;
}

}  // namespace

}  // namespace vnt::chk

namespace vnt::io {
IoSettings settingsFromEnv(const Env& env) { return chk::settingsFrom(env); }

namespace {
void put(Env& env, Chan c, std::string_view t) { print(env, c, "%.*s", static_cast<int>(t.size()), t.data()); }
}  // namespace
void ChannelMessages::error(std::string_view t) { put(env_, Chan::Error, t); }
void ChannelMessages::warning(std::string_view t) { put(env_, Chan::Warning, t); }
void ChannelMessages::results(std::string_view t) { put(env_, Chan::Results, t); }
void ChannelMessages::log(std::string_view t) { put(env_, Chan::Log, t); }
}  // namespace vnt::io

namespace vnt::chk {

int readcopyprob(Env& env, model::Problem& lp, const char* filename, const char* filetype) {
  if (!filename) return 1421;
  io::ChannelMessages msg(env);
  model::ModelData staged;
  io::SavBasis basis;
  int st = io::readProblemFile(filename, filetype, staged, msg, settingsFrom(env), &basis);
  if (st != 0) return st;
  if (staged.probname.empty()) staged.probname = filename;
  if ((st = model::replaceData(env, lp, std::move(staged))) != 0) return st;
  if (basis.present) {
    // The file's basis becomes the start of the next optimization; a basis
    // the problem does not take leaves the read a success.
    const bool loaded = api::present(&chk::copybase) && copybase(env, lp, basis.cstat.data(), basis.rstat.data()) == 0;
    if (!loaded) {
      print(env, Chan::Warning, "Warning:  File contains basis.  Basis not loaded.\n");
    } else {
      print(env, Chan::Warning, "Warning:  File contains basis.  Basis is loaded.\n");
      if (params::getInt(env, kParamAdvance) == 0) print(env, Chan::Warning, "Warning:  Advanced indicator is not set.\n");
    }
  }
  return 0;
}

}  // namespace vnt::chk

namespace vnt::simplex {
// (simplex/lpdriver.h; absent when the simplex part is not linked in)
bool startBasis(const model::Problem& p, std::vector<int>& cstat, std::vector<int>& rstat) __attribute__((weak));
}  // namespace vnt::simplex

namespace vnt::chk {

namespace {
// The basis of the last optimization, else the one the next optimization
// would start from (a SAV file read and written again keeps its basis).
io::SavBasis currentBasis(Env& env, model::Problem& lp, const model::ModelData& md) {
  io::SavBasis b;
  if (!api::present(&chk::getbase)) return b;
  b.cstat.resize(md.obj.size());
  b.rstat.resize(md.rhs.size());
  b.present = getbase(env, lp, b.cstat.data(), b.rstat.data()) == 0;
  if (!b.present && simplex::startBasis) b.present = simplex::startBasis(lp, b.cstat, b.rstat);
  if (!b.present) b.cstat.clear(), b.rstat.clear();
  return b;
}
}  // namespace

int writeprob(Env& env, model::Problem& lp, const char* filename, const char* filetype) {
  if (!filename) return 1421;
  model::ModelData md;
  if (int st = model::exportData(lp, md)) return st;
  io::ChannelMessages msg(env);
  const io::SavBasis basis = io::writeTypeFor(filename, filetype) == "SAV" ? currentBasis(env, lp, md) : io::SavBasis{};
  return io::writeProblemFile(filename, filetype, md, msg, settingsFrom(env), &basis);
}

// The dual of an LP as an MPS file (io/mps.h): the primal optimum equals
// the optimum of the file's model plus *objshift_p.  MIPs (also with SOS,
// indicator or piecewise-linear constraints), quadratic and multi-objective
// problems are refused.
int dualwrite(Env& env, model::Problem& lp, const char* filename, double* objshift_p) {
  if (!filename) return 1421;
  model::ModelData md;
  if (int st = model::exportData(lp, md)) return st;
  if (!md.objectives.empty()) return 1070;
  if (!md.qconstr.empty()) return 1031;
  if (!md.qobj.empty()) return 1018;
  if (md.isMip() || !md.indconstr.empty()) return 1017;
  io::ChannelMessages msg(env);
  double shift = 0.0;
  int st = io::writeMpsDualFile(filename, md, msg, shift, settingsFrom(env));
  if (st == 0 && objshift_p) *objshift_p = shift;
  return st;
}

}  // namespace vnt::chk
