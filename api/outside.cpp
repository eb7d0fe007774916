// Operations exported outside the dispatch tables.
#include <mutex>

#include "api/frame.h"
#include "env/env.h"

namespace {
std::once_flag gInitOnce;
int gGlobalInitResult = 0;
bool gSharedObject = false;

void finalizeProcess() {}

void startUp() {
  if (!gSharedObject && atexit(finalizeProcess) != 0) gGlobalInitResult = 1813;
}

VNTENVptr open(VNTALLOCATOR* a, int* status_p) {
  std::call_once(gInitOnce, startUp);
  int st = gGlobalInitResult;
  vnt::Env* env = nullptr;
  if (st == 0) env = vnt::openEnv(a, &st);
  if (status_p) *status_p = st < 0 ? -st : st;
  return reinterpret_cast<VNTENVptr>(env);
}
}  // namespace

extern "C" {
VNTAPI VNTENVptr VNTAPIENTRY VNTopenVANTO(int* status_p) { return open(nullptr, status_p); }
VNTAPI VNTENVptr VNTAPIENTRY VNTSopenVANTO(int* status_p) { return open(nullptr, status_p); }
VNTAPI VNTENVptr VNTAPIENTRY VNTLopenVANTO(int* status_p) { return open(nullptr, status_p); }
VNTAPI VNTENVptr VNTAPIENTRY VNTEopenVANTOallocator(VNTALLOCATOR* a, int* status_p) {
  if (a && a->self != a) {
    if (status_p) *status_p = 1003;
    return nullptr;
  }
  return open(a, status_p);
}
VNTAPI void VNTAPIENTRY VNTinitialize(void) { gSharedObject = true; }
VNTAPI void VNTAPIENTRY VNTfinalize(void) { finalizeProcess(); }
VNTAPI double VNTAPIENTRY VNTEgetbigreal(void) { return 1e75; }
}
