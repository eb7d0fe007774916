// The presolve result kept on a problem, and the detached reduced problem.
#include <new>

#include "presolve/presolve.h"
#include "presolve/records.h"

namespace vnt::presolve {

model::Problem* makeDetachedProblem(Env& env, const model::ModelData& md, int probtype, int* status) {
  auto* p = new (std::nothrow) model::Problem;
  if (!p) {
    *status = 1001;
    return nullptr;
  }
  p->data = new (std::nothrow) model::ProblemData;
  if (!p->data) {
    delete p;
    *status = 1001;
    return nullptr;
  }
  p->self = p;
  p->env = &env;
  Env* r = &env;
  while (r->parent) r = r->parent;
  p->root = r;
  try {
    model::ModelData copy = md;
    if (int st = model::replaceData(env, *p, std::move(copy))) {
      delete p;
      *status = st;
      return nullptr;
    }
  } catch (...) {
    delete p;
    *status = 1001;
    return nullptr;
  }
  p->probtype = probtype;
  *status = 0;
  return p;
}

void freeDetachedProblem(model::Problem* p) { delete p; }

PresolveState::~PresolveState() { freeDetachedProblem(reducedProblem); }

bool PresolveState::onChange(model::Problem&, const model::ChangeEvent& ev) {
  // Names do not change the reduced problem; anything else discards it.
  return !model::changesSolution(ev.kind);
}

PresolveState* findState(const model::Problem& p) {
  return static_cast<PresolveState*>(p.state[model::kSlotPresolve].get());
}

int storeState(Env& env, model::Problem& p, std::unique_ptr<Presolved> pre, model::Problem* reduced) {
  auto* s = new (std::nothrow) PresolveState;
  if (!s) return 1001;
  std::unique_ptr<model::SolverState> hold(s);
  int st = 0;
  const int type = pre->mip ? model::kMILP : model::kLP;
  s->reducedProblem = reduced ? reduced : makeDetachedProblem(env, pre->reduced, type, &st);
  if (!s->reducedProblem) return st ? st : 1001;
  s->pre = std::move(pre);
  p.state[model::kSlotPresolve] = std::move(hold);
  return 0;
}

}  // namespace vnt::presolve
