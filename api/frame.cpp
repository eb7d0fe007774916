#include "api/frame.h"

#include <cstdio>

#include "api/slots.h"

#include "env/env.h"
#include "model/problem.h"
#include "params/params.h"

namespace vnt::api {

Env* workingEnv(const void* envHandle) {
  if (!envHandle) return nullptr;
  const Env* h = static_cast<const Env*>(envHandle);
  if (h->magic != kEnvMagic) return nullptr;
  return h->working;
}

bool envValid(const Env* env) { return env && env->params && env->self == env; }

VntFn slotFor(const void* envHandle, int flavour, int component, int slot) {
  const ApiTableSet* set = &kDirectTables;
  if (envHandle) {
    const Env* h = static_cast<const Env*>(envHandle);
    // A handle without the magic word goes through the direct tables, whose
    // checked entries reject it with 1002.
    if (h->magic == kEnvMagic && h->tables) set = h->tables;
  }
  const VntFn* table = set->comp[flavour][component];
  return table ? table[slot] : nullptr;
}

const void* envFromHandlePtr(const void* handlePtr) {
  if (!handlePtr) return nullptr;
  return *static_cast<const void* const*>(handlePtr);
}

// An operation missing from the environment's tables is reported through
// the environment's own error-string, channel and message slots, so that a
// table set without them prints nothing.
void reportMissing(const void* envHandle) {
  if (!envHandle) return;
  const Env* h = static_cast<const Env*>(envHandle);
  if (h->magic != kEnvMagic || !h->tables) return;
  const VntFn* main = h->tables->comp[0][kComp_main];
  if (!main) return;
  auto errstr = reinterpret_cast<const char* (*)(VNTCENVptr, int, char*)>(
      main[kSlot_main_geterrorstring]);
  auto channels = reinterpret_cast<int (*)(VNTCENVptr, VNTCHANNELptr*, VNTCHANNELptr*,
                                           VNTCHANNELptr*, VNTCHANNELptr*)>(
      main[kSlot_main_getchannels]);
  auto msg = reinterpret_cast<int (*)(VNTCHANNELptr, const char*)>(main[kSlot_main_msgstr]);
  if (!errstr || !channels || !msg) return;
  auto env = static_cast<VNTCENVptr>(envHandle);
  char buf[1024];
  if (!errstr(env, 1811, buf)) return;
  VNTCHANNELptr err = nullptr;
  if (channels(env, nullptr, nullptr, &err, nullptr) != 0 || !err) return;
  msg(err, buf);
}

static Env* rootOf(Env* e) {
  while (e->parent) e = e->parent;
  return e;
}

static int infoCallbackFlag(const Env* e) {
  int f = 0;
  for (; e; e = e->parent)
    if (e->infoCallback > f) f = e->infoCallback;
  return f;
}

int enter(const void* envHandle, Env** env, bool accept1804) {
  Env* e = workingEnv(envHandle);
  *env = e;
  if (!envValid(e)) return 1002;
  if (infoCallbackFlag(e) && !accept1804) return 1804;
  return 0;
}

int enter(const void* envHandle, const void* lpHandle, Env** env, model::Problem** lp,
          bool accept1804) {
  Env* e = workingEnv(envHandle);
  *env = e;
  *lp = nullptr;
  if (!envValid(e)) return 1002;
  model::Problem* p = model::resolveHandle(lpHandle);
  if (p && model::rootEnvOf(*p) != rootOf(e)) return 1806;
  if (infoCallbackFlag(e) && !accept1804) return 1804;
  if (!p) return 1009;
  *lp = p;
  return 0;
}

static bool presolveCode(int code) {
  switch (code) {
    case 1101: case 1106: case 1117: case 1118: case 1123: case 1124:
      return true;
    default:
      return false;
  }
}

void report(Env* env, int* status) {
  if (*status == 0) return;
  if (*status < 0) {
    *status = -*status;
    return;
  }
  if (!envValid(env) || *status == 9034) return;
  if (presolveCode(*status) && params::getInt(*env, 1043) == 0) return;
  char buf[1024];
  const char* t = errorTemplate(*status);
  if (t)
    snprintf(buf, sizeof buf, "VANTO Error %5d: %s.\n", *status, t);
  else
    snprintf(buf, sizeof buf, "VANTO Error %5d:  Unknown error code.\n", *status);
  print(*env, Chan::Error, "%s", buf);
}

}  // namespace vnt::api
