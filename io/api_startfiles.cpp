// Checked entries of the basis, priority-order and solution files: they take
// what a file needs from the problem (through the ordinary queries), call the
// file layer (io/startfiles.h) and install what a reader returns through the
// ordinary start operations, so a failed read changes nothing.
#include <algorithm>
#include <cmath>
#include <span>
#include <utility>

#include "api/chk_decls.h"
#include "env/env.h"
#include "io/io.h"
#include "io/startfiles.h"
#include "model/attachments.h"
#include "model/opsupport.h"
#include "model/problem.h"
#include "params/params.h"

namespace vnt::chk {

namespace {

enum : int { kParamEpRhs = 1016, kParamEpOpt = 1014, kParamEpInt = 2010, kParamWriteLevel = 1114 };

int exportModel(Env& env, model::Problem& lp, model::ModelData& md) {
  if (int st = model::flushCache(env, lp)) return st;
  return model::exportData(lp, md);
}

io::XmlAttr attr(const char* name, std::string text) { return {name, std::move(text)}; }
io::XmlAttr num(const char* name, double v) { return {name, io::xmlNumber(v)}; }
io::XmlAttr count(const char* name, long long v) { return {name, std::to_string(v)}; }

bool discrete(const model::ModelData& md, int j) { return !md.ctype.empty() && md.ctype[j] != 'C'; }

// Which entries a write level keeps: 1 all, 2 discrete columns only, 3
// nonzero values only, 4 nonzero discrete only (0: all).  Levels 2 and 4
// write no constraints.
bool keepColumn(const model::ModelData& md, int level, int j, double v) {
  if ((level == 2 || level == 4) && !discrete(md, j)) return false;
  if ((level == 3 || level == 4) && v == 0.0) return false;
  return true;
}

// The solution record of the problem as a file record.
int buildSolutionRecord(Env& env, model::Problem& lp, const model::ModelData& md, io::SolutionRecord& r) {
  int method = 0, type = 0, pfeas = 0, dfeas = 0;
  solninfo(env, lp, &method, &type, &pfeas, &dfeas);
  if (type == 0) return 1217;
  const bool mip = model::isMipType(lp.probtype) && lp.probtype != model::kFixedMILP;
  const int n = md.numCols(), m = md.numRows();
  std::vector<double> x(n), slack(m), pi, dj;
  int stat = 0;
  double obj = 0.0;
  const bool duals = !mip && solution(env, lp, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) == 0 &&
                     type == 1 && dfeas >= 0;
  if (duals) {
    pi.resize(m);
    dj.resize(n);
  }
  int st = solution(env, lp, &stat, &obj, x.data(), duals ? pi.data() : nullptr, slack.data(),
                    duals ? dj.data() : nullptr);
  if (st == 1232 && duals) {  // no dual values after all
    pi.clear();
    dj.clear();
    st = solution(env, lp, &stat, &obj, x.data(), nullptr, slack.data(), nullptr);
  }
  if (st) return st;
  const bool haveDuals = !pi.empty();
  std::vector<int> cstat, rstat;
  if (!mip && type == 1) {
    cstat.resize(n);
    rstat.resize(m);
    if (getbase(env, lp, cstat.data(), rstat.data()) != 0) {
      cstat.clear();
      rstat.clear();
    }
  }
  char statText[512] = "";
  getstatstring(reinterpret_cast<VNTCENVptr>(&env), stat, statText);
  long long its = 0, nodes = 0, mipIts = 0;
  getitcnt(env, lp, &its);
  if (mip) {
    getnodecnt(env, lp, &nodes);
    getmipitcnt(env, lp, &mipIts);
  }
  int level = params::getInt(env, kParamWriteLevel);
  if (level == 0) level = 1;
  const char* methodText = mip ? "mip" : (method == 1 ? "primal" : (method == 2 ? "dual" : (method == 4 ? "barrier" : "unknown")));
  const int solType = mip ? 3 : type;
  static const char* const kTypes[] = {"none", "basic", "nonbasic", "primal"};
  r.header = {attr("problemName", md.probname),
              attr("solutionName", "incumbent"),
              count("solutionIndex", -1),
              num("objectiveValue", obj),
              count("solutionTypeValue", solType),
              attr("solutionTypeString", kTypes[solType]),
              count("solutionStatusValue", stat),
              attr("solutionStatusString", statText),
              attr("solutionMethodString", methodText),
              count("primalFeasible", pfeas),
              count("dualFeasible", mip ? 0 : dfeas),
              count("simplexIterations", mip ? 0 : its),
              count("barrierIterations", 0),
              count("MIPNodes", nodes),
              count("MIPIterations", mipIts),
              count("writeLevel", level)};
  // The measures are those of the quality queries on the stored solution;
  // a measure the solution does not have (duals of a MIP) is left out.
  r.quality = mip ? std::vector<io::XmlAttr>{num("epInt", params::getDbl(env, kParamEpInt)),
                                             num("epRHS", params::getDbl(env, kParamEpRhs))}
                  : std::vector<io::XmlAttr>{num("epRHS", params::getDbl(env, kParamEpRhs)),
                                             num("epOpt", params::getDbl(env, kParamEpOpt))};
  static const std::pair<const char*, int> kMipMeasures[] = {
      {"maxIntInfeas", VNT_QUAL_MAX_INT_INFEAS}, {"maxPrimalInfeas", VNT_QUAL_MAX_PRIMAL_INFEAS},
      {"maxX", VNT_QUAL_MAX_X}, {"maxSlack", VNT_QUAL_MAX_SLACK}};
  static const std::pair<const char*, int> kLpMeasures[] = {
      {"maxPrimalInfeas", VNT_QUAL_MAX_PRIMAL_INFEAS}, {"maxDualInfeas", VNT_QUAL_MAX_DUAL_INFEAS},
      {"maxPrimalResidual", VNT_QUAL_MAX_PRIMAL_RESIDUAL}, {"maxDualResidual", VNT_QUAL_MAX_DUAL_RESIDUAL},
      {"maxX", VNT_QUAL_MAX_X}, {"maxPi", VNT_QUAL_MAX_PI}, {"maxSlack", VNT_QUAL_MAX_SLACK},
      {"maxRedCost", VNT_QUAL_MAX_RED_COST}, {"kappa", VNT_QUAL_KAPPA}};
  if (getdblquality) {  // absent when the analysis tools are not linked in
    using Measures = std::span<const std::pair<const char*, int>>;
    for (const auto& [name, what] : mip ? Measures(kMipMeasures) : Measures(kLpMeasures)) {
      double v = 0.0;
      if (getdblquality(env, lp, &v, what) == 0) r.quality.push_back(num(name, v));
    }
  }
  r.writeRows = level == 1 || level == 3;
  if (r.writeRows)
    for (int i = 0; i < m; ++i) {
      if (level == 3 && slack[i] == 0.0 && (!haveDuals || pi[i] == 0.0)) continue;
      io::SolutionRecord::Entry e;
      e.index = i;
      if (!rstat.empty()) e.status = rstat[i] == 1 ? "basic" : "nonbasic";
      e.value = slack[i];
      e.hasDual = haveDuals;
      if (haveDuals) e.dual = pi[i];
      r.rows.push_back(std::move(e));
    }
  for (int j = 0; j < n; ++j) {
    if (!keepColumn(md, level, j, x[j])) continue;
    io::SolutionRecord::Entry e;
    e.index = j;
    if (!cstat.empty()) e.status = cstat[j] == 1 ? "basic" : "nonbasic";
    e.value = x[j];
    e.hasDual = haveDuals;
    if (haveDuals) e.dual = dj[j];
    r.cols.push_back(std::move(e));
  }
  return 0;
}

// Status of a nonbasic column from its value.
int nonbasicColumn(const model::ModelData& md, int j, double x) {
  const bool fl = md.lb[j] > -model::kInfBound, fu = md.ub[j] < model::kInfBound;
  if (fu && (!fl || std::fabs(x - md.ub[j]) < std::fabs(x - md.lb[j]))) return 2;
  return fl ? 0 : 3;
}

// Installs a solution read from a file: a MIP gets it as a MIP start, an LP
// as its starting point (the file's basis when it has one for every row and
// column, else a basis derived from the values).
int installSolution(Env& env, model::Problem& lp, const model::ModelData& md, const io::ReadSolution& s) {
  const int n = md.numCols(), m = md.numRows();
  if (model::isMipType(lp.probtype) && lp.probtype != model::kFixedMILP) {
    if (s.x.empty()) return 0;
    model::Attachments* a = model::attachments(lp, true);
    if (!a) return 1001;
    model::MipStart ms;
    ms.name = s.name.empty() ? model::defaultStartName(a->starts.size()) : s.name;
    ms.effort = s.effort;
    for (const auto& [j, v] : s.x) {
      ms.ind.push_back(j);
      ms.val.push_back(v);
    }
    a->starts.push_back(std::move(ms));
    return 0;
  }
  std::vector<double> x(n, 0.0), slack(m, 0.0), pi(m, 0.0), dj(n, 0.0);
  for (const auto& [j, v] : s.x) x[j] = v;
  for (const auto& [i, v] : s.slack) slack[i] = v;
  for (const auto& [i, v] : s.dual) pi[i] = v;
  for (const auto& [j, v] : s.dj) dj[j] = v;
  if (static_cast<int>(s.cstatus.size()) == n && static_cast<int>(s.rstatus.size()) == m) {
    std::vector<int> cstat(n), rstat(m);
    for (const auto& [j, b] : s.cstatus) cstat[j] = b == 1 ? 1 : nonbasicColumn(md, j, x[j]);
    for (const auto& [i, b] : s.rstatus) {
      // A ranged row sits at its upper activity limit when its slack is the
      // range's far end.
      const double rng = md.rngval.empty() ? 0.0 : md.rngval[i];
      const bool upper = md.sense[i] == 'R' && std::fabs(slack[i] + std::fabs(rng)) < std::fabs(slack[i]);
      rstat[i] = b == 1 ? 1 : (upper ? 2 : 0);
    }
    return copybase(env, lp, cstat.data(), rstat.data());
  }
  const bool haveX = static_cast<int>(s.x.size()) == n;
  const bool haveSlack = static_cast<int>(s.slack.size()) == m;
  const bool haveDual = static_cast<int>(s.dual.size()) == m && static_cast<int>(s.dj.size()) == n;
  if (!haveX && !haveDual) return 0;
  return copystart(env, lp, nullptr, nullptr, haveX ? x.data() : nullptr, haveX && haveSlack ? slack.data() : nullptr,
                   haveDual ? dj.data() : nullptr, haveDual ? pi.data() : nullptr);
}

int readStartFile(Env& env, model::Problem& lp, const char* filename, io::XmlReadMode mode) {
  if (!filename) return 1421;
  model::ModelData md;
  if (int st = exportModel(env, lp, md)) return st;
  io::ChannelMessages msg(env);
  std::vector<io::ReadSolution> sols;
  if (int st = io::readSolutionXml(filename, md, mode, sols, msg)) return st;
  if (sols.empty()) return 0;
  return installSolution(env, lp, md, sols.front());
}

}  // namespace

int mbasewrite(Env& env, model::Problem& lp, const char* filename_str) {
  if (!filename_str) return 1421;
  model::ModelData md;
  if (int st = exportModel(env, lp, md)) return st;
  io::BasisRecord b;
  b.cstat.resize(md.numCols());
  b.rstat.resize(md.numRows());
  if (int st = getbase(env, lp, b.cstat.data(), b.rstat.data())) return st == 1217 ? 1262 : st;
  getitcnt(env, lp, &b.iterations);
  io::ChannelMessages msg(env);
  return io::writeBasisFile(filename_str, md, b, msg, io::settingsFromEnv(env));
}

int readcopybase(Env& env, model::Problem& lp, const char* filename_str) {
  if (!filename_str) return 1421;
  model::ModelData md;
  if (int st = exportModel(env, lp, md)) return st;
  io::ChannelMessages msg(env);
  io::BasisRecord b;
  if (int st = io::readBasisFile(filename_str, md, false, b, msg, io::settingsFromEnv(env))) return st;
  return copybase(env, lp, b.cstat.data(), b.rstat.data());
}

int solwrite(Env& env, model::Problem& lp, const char* filename_str) {
  if (!filename_str) return 1421;
  model::ModelData md;
  if (int st = exportModel(env, lp, md)) return st;
  std::vector<io::SolutionRecord> r(1);
  if (int st = buildSolutionRecord(env, lp, md, r[0])) return st;
  io::ChannelMessages msg(env);
  return io::writeSolutionXml(filename_str, md, r, false, msg);
}

int readcopysol(Env& env, model::Problem& lp, const char* filename_str) {
  return readStartFile(env, lp, filename_str, io::XmlReadMode::kSolution);
}

int readcopystartinfo(Env& env, model::Problem& lp, const char* filename_str) {
  return readStartFile(env, lp, filename_str, io::XmlReadMode::kStartInfo);
}

// ---------------------------------------------------------------------------
// MIP-start files.

int writemipstarts(Env& env, model::Problem& lp, const char* filename_str, int begin, int end) {
  if (!filename_str) return 1421;
  if (!model::isMipType(lp.probtype)) return 3003;
  model::ModelData md;
  if (int st = exportModel(env, lp, md)) return st;
  const model::Attachments* a = model::findAttachments(lp);
  const int have = a ? static_cast<int>(a->starts.size()) : 0;
  if (have == 0) return 3020;
  if (end < begin) return 0;
  if (int st = model::ops::checkRange(env, "VNTwritemipstarts", begin, end, have)) return st;
  int level = params::getInt(env, kParamWriteLevel);
  if (level == 0) level = 1;
  std::vector<io::SolutionRecord> recs(end - begin + 1);
  for (int k = begin; k <= end; ++k) {
    const model::MipStart& ms = a->starts[k];
    io::SolutionRecord& r = recs[k - begin];
    r.header = {attr("problemName", md.probname), attr("solutionName", ms.name), count("solutionIndex", k),
                count("MIPStartEffortLevel", ms.effort), count("writeLevel", level)};
    r.writeRows = false;
    std::vector<std::pair<int, double>> vals;
    for (size_t t = 0; t < ms.ind.size(); ++t) vals.emplace_back(ms.ind[t], ms.val[t]);
    std::sort(vals.begin(), vals.end());
    for (const auto& [j, v] : vals) {
      if (!keepColumn(md, level, j, v)) continue;
      io::SolutionRecord::Entry e;
      e.index = j;
      e.value = v;
      r.cols.push_back(e);
    }
  }
  io::ChannelMessages msg(env);
  return io::writeSolutionXml(filename_str, md, recs, true, msg);
}

int readcopymipstarts(Env& env, model::Problem& lp, const char* filename_str) {
  if (!filename_str) return 1421;
  if (!model::isMipType(lp.probtype)) return 3003;
  model::ModelData md;
  if (int st = exportModel(env, lp, md)) return st;
  io::ChannelMessages msg(env);
  std::vector<io::ReadSolution> sols;
  if (int st = io::readSolutionXml(filename_str, md, io::XmlReadMode::kMipStarts, sols, msg)) return st;
  std::vector<model::MipStart> starts;
  for (const io::ReadSolution& r : sols) {
    if (r.x.empty()) continue;
    model::MipStart ms;
    ms.name = r.name.empty() ? model::defaultStartName(starts.size()) : r.name;
    ms.effort = r.effort;
    for (const auto& [j, v] : r.x) {
      ms.ind.push_back(j);
      ms.val.push_back(v);
    }
    starts.push_back(std::move(ms));
  }
  if (starts.empty()) return 0;
  model::Attachments* a = model::attachments(lp, true);
  if (!a) return 1001;
  a->starts.swap(starts);
  return 0;
}

// ---------------------------------------------------------------------------
// Priority order.

int ordwrite(Env& env, model::Problem& lp, const char* filename_str) {
  if (!filename_str) return 1421;
  if (!model::isMipType(lp.probtype)) return 3003;
  model::ModelData md;
  if (int st = exportModel(env, lp, md)) return st;
  if (lp.data->order.empty()) return 3016;
  std::vector<io::OrderEntry> order;
  for (const model::OrderEntry& e : lp.data->order) order.push_back({e.col, e.priority, e.direction});
  io::ChannelMessages msg(env);
  return io::writeOrderFile(filename_str, md, order, msg, io::settingsFromEnv(env));
}

int readcopyorder(Env& env, model::Problem& lp, const char* filename_str) {
  if (!filename_str) return 1421;
  if (!model::isMipType(lp.probtype)) return 3003;
  model::ModelData md;
  if (int st = exportModel(env, lp, md)) return st;
  io::ChannelMessages msg(env);
  std::vector<io::OrderEntry> order;
  if (int st = io::readOrderFile(filename_str, md, order, msg, io::settingsFromEnv(env))) return st;
  if (order.empty()) return 0;
  std::vector<model::OrderEntry> entries;
  for (const io::OrderEntry& e : order)
    entries.push_back({e.col, static_cast<int>(std::min<long long>(e.priority, 2100000000)), e.direction});
  lp.data->order.swap(entries);
  return 0;
}

}  // namespace vnt::chk
