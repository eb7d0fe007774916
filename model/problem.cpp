#include "model/problem.h"

#include <new>

#include "api/chk_decls.h"

namespace vnt::model {

Problem* resolveHandle(const void* handle) {
  auto* p = static_cast<Problem*>(const_cast<void*>(handle));
  if (!p || p->self != p || !p->data) return nullptr;
  for (int hops = 0; p->redirect && hops < 8; ++hops) p = p->redirect;
  return p->self == p && p->data ? p : nullptr;
}

Env* rootEnvOf(const Problem& p) { return p.root; }

void destroyProblem(Env& env, Problem* p) {
  unregisterObject(env, p);
  delete p->data;
  p->data = nullptr;
  p->self = nullptr;
  delete p;
}

}  // namespace vnt::model

namespace vnt::chk {

int createprob(Env& env, const char* name, VNTLPptr* result_out) {
  auto* p = new (std::nothrow) model::Problem;
  if (!p) return 1001;
  p->data = new (std::nothrow) model::ModelData;
  if (!p->data) {
    delete p;
    return 1001;
  }
  if (name) p->data->probname = name;
  p->self = p;
  p->env = &env;
  Env* r = &env;
  while (r->parent) r = r->parent;
  p->root = r;
  if (int st = registerObject(env, p, ObjKind::Problem)) {
    delete p->data;
    delete p;
    return st;
  }
  *result_out = reinterpret_cast<VNTLPptr>(p);
  return 0;
}

int freeprob(Env& env, VNTLPptr* lp_p) {
  if (!lp_p) return 1004;
  model::Problem* p = model::resolveHandle(*lp_p);
  if (!p) return 1009;
  destroyProblem(*p->env, p);
  *lp_p = nullptr;
  return 0;
}

int getnumrows(Env&, model::Problem& lp, int* result_out) {
  *result_out = lp.data->numRows();
  return 0;
}

int getnumcols(Env&, model::Problem& lp, int* result_out) {
  *result_out = lp.data->numCols();
  return 0;
}

}  // namespace vnt::chk
