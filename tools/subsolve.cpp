// Solves of auxiliary models built by the tools (elastic models, conflict
// candidates): linear ones on a simplex engine, integer ones by the MIP
// search on a scratch problem.  The scratch run is silent and shares the
// time and deterministic budget of the operation that started it.
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "env/limits.h"
#include "mip/mip.h"
#include "params/params.h"
#include "simplex/lpdriver.h"
#include "tools/tools.h"

namespace vnt::tools {

using simplex::LpEngine;
using simplex::LpStatus;

namespace {

constexpr int kParamLowerCutoff = 2006;
constexpr int kParamUpperCutoff = 2007;
constexpr int kParamLowerObjStop = 2233;
constexpr int kParamUpperObjStop = 2234;
constexpr int kParamTimeLimit = 1039;
constexpr int kParamDetTimeLimit = 1127;
constexpr int kParamNodeLimit = 2017;
constexpr int kParamMipGap = 2009;
constexpr int kParamMipAbsGap = 2008;
constexpr double kNoLimit = 1e75;

int classifyMip(int stat) {
  switch (stat) {
    case 101: case 102: case 115: return kSubOptimal;
    case 103: return kSubInfeasible;
    case 118: return kSubUnbounded;
    case 113: case 114: return kSubAborted;
    case 104: case 105: case 106: case 107: case 108: case 111: case 112: case 131: case 132: case 203: case 204:
      return kSubLimit;
    default: return kSubError;
  }
}

}  // namespace

SubBudget::SubBudget(Env& env)
    : env(env), seconds(params::getDbl(env, kParamTimeLimit)), ticks(params::getDbl(env, kParamDetTimeLimit)),
      start(envTime(env)), startTicks(detTicks(env)) {}

double SubBudget::secondsLeft() const {
  if (seconds >= kNoLimit) return kNoLimit;
  return std::max(0.0, seconds - (envTime(env) - start));
}

double SubBudget::ticksLeft() const {
  if (ticks >= kNoLimit) return kNoLimit;
  return std::max(0.0, ticks - (detTicks(env) - startTicks));
}

int solveSubLp(Env& env, const model::ModelData& md, SubResult& r, const std::vector<int>* cstat,
               const std::vector<int>* rstat, double feasTol) {
  LpEngine e;
  setEngineOptions(env, e.options());
  if (feasTol > 0) e.options().feasibilityTol = std::min(e.options().feasibilityTol, feasTol);
  if (e.load(md)) return 1001;
  if (cstat && rstat && static_cast<int>(cstat->size()) == md.numCols() &&
      static_cast<int>(rstat->size()) == md.numRows())
    e.setBasis(cstat->data(), rstat->data());
  LpStatus st = e.solveDual();
  if (st != LpStatus::kOptimal && st != LpStatus::kInfeasible && st != LpStatus::kUnbounded &&
      st != LpStatus::kIterationLimit && st != LpStatus::kTimeLimit && st != LpStatus::kAborted &&
      st != LpStatus::kDetTimeLimit)
    st = e.solvePrimal();
  r.stat = static_cast<int>(st);
  r.iterations = e.iterations();
  switch (st) {
    case LpStatus::kOptimal:
    case LpStatus::kOptimalUnscaledInfeas: r.kind = kSubOptimal; break;
    case LpStatus::kInfeasible: r.kind = kSubInfeasible; break;
    case LpStatus::kUnbounded: r.kind = kSubUnbounded; break;
    case LpStatus::kIterationLimit:
    case LpStatus::kTimeLimit:
    case LpStatus::kDetTimeLimit: r.kind = kSubLimit; break;
    case LpStatus::kAborted: r.kind = kSubAborted; break;
    default: r.kind = kSubError; break;
  }
  r.x.resize(md.numCols());
  e.getX(r.x.data());
  r.hasX = r.kind == kSubOptimal;
  r.obj = e.objective();
  r.cstat.resize(md.numCols());
  r.rstat.resize(md.numRows());
  e.getBasis(r.cstat.data(), r.rstat.data());
  return 0;
}

int solveSubMip(Env& env, const model::ModelData& md, const SubBudget& budget, SubResult& r, bool exactGap,
                long long nodeCap) {
  int st = 0;
  model::Problem* q = model::newProblem(env, "aux", &st);
  if (!q) return st ? st : 1001;
  int result = 0;
  {
    params::ScopedParams scope(env);
    mip::helperRunSettings(scope);
    // The auxiliary model's objective is not the caller's: no cutoff or
    // objective stop of the caller's applies to it.
    scope.setDbl(kParamLowerCutoff, -kNoLimit);
    scope.setDbl(kParamUpperCutoff, kNoLimit);
    scope.setDbl(kParamLowerObjStop, -kNoLimit);
    scope.setDbl(kParamUpperObjStop, kNoLimit);
    scope.setDbl(kParamTimeLimit, budget.secondsLeft());
    scope.setDbl(kParamDetTimeLimit, budget.ticksLeft());
    if (nodeCap > 0) scope.setInt(kParamNodeLimit, std::min(nodeCap, params::getLong(env, kParamNodeLimit)));
    if (exactGap) {
      scope.setDbl(kParamMipGap, 0.0);
      scope.setDbl(kParamMipAbsGap, 0.0);
    }
    model::ModelData copy = md;
    if (copy.ctype.empty()) copy.ctype.assign(copy.numCols(), 'C');
    result = model::replaceData(env, *q, std::move(copy));
    if (result == 0) {
      q->probtype = model::kMILP;
      result = mip::optimizeMip(env, *q);
    }
  }
  if (result == 0) {
    const simplex::LpState* s = storedSolution(*q);
    const simplex::LpState* any = simplex::findLpState(*q);
    r.stat = any ? any->stat : 0;
    r.kind = classifyMip(r.stat);
    r.hasX = s != nullptr;
    if (s) {
      r.x = s->x;
      r.obj = s->objval;
    }
  }
  model::destroyProblem(env, q);
  return result;
}

}  // namespace vnt::tools
