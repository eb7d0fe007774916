// Operations exported outside the dispatch tables.
#include "api/frame.h"
#include "env/env.h"

namespace {
VNTENVptr open(VNTALLOCATOR* a, int* status_p) {
  int st = 0;
  vnt::Env* env = vnt::openEnv(a, &st);
  if (status_p) *status_p = st < 0 ? -st : st;
  return reinterpret_cast<VNTENVptr>(env);
}

// Terminate and pause registration ignore handles without the magic word.
vnt::Env* usable(VNTENVptr env) {
  vnt::Env* e = vnt::api::workingEnv(env);
  return vnt::api::envValid(e) ? e : nullptr;
}
}  // namespace

extern "C" {
VNTAPI VNTENVptr VNTAPIENTRY VNTopenVANTO(int* status_p) { return open(nullptr, status_p); }
VNTAPI VNTENVptr VNTAPIENTRY VNTSopenVANTO(int* status_p) { return open(nullptr, status_p); }
VNTAPI VNTENVptr VNTAPIENTRY VNTLopenVANTO(int* status_p) { return open(nullptr, status_p); }
VNTAPI VNTENVptr VNTAPIENTRY VNTEopenVANTOallocator(VNTALLOCATOR* a, int* status_p) {
  if (a && (a->self != a || !a->allocate || !a->allocatezeroed || !a->allocatealigned ||
            !a->reallocate || !a->release)) {
    if (status_p) *status_p = 1003;
    return nullptr;
  }
  return open(a, status_p);
}
VNTAPI void VNTAPIENTRY VNTinitialize(void) { vnt::markSharedObject(); }
VNTAPI void VNTAPIENTRY VNTfinalize(void) { vnt::processFinalize(); }
VNTAPI double VNTAPIENTRY VNTEgetbigreal(void) { return 1e75; }

// Extension entries of the start-file readers: the same operations as their
// VNT flavours.
VNTAPI int VNTAPIENTRY VNTEreadcopybase(VNTCENVptr env, VNTLPptr lp, const char* filename) {
  return VNTreadcopybase(env, lp, filename);
}
VNTAPI int VNTAPIENTRY VNTEreadcopyorder(VNTCENVptr env, VNTLPptr lp, const char* filename) {
  return VNTreadcopyorder(env, lp, filename);
}
VNTAPI int VNTAPIENTRY VNTEreadcopysol(VNTCENVptr env, VNTLPptr lp, const char* filename) {
  return VNTreadcopysol(env, lp, filename);
}
VNTAPI int VNTAPIENTRY VNTEreadcopystartinfo(VNTCENVptr env, VNTLPptr lp, const char* filename) {
  return VNTreadcopystartinfo(env, lp, filename);
}
VNTAPI int VNTAPIENTRY VNTEreadcopymipstarts(VNTCENVptr env, VNTLPptr lp, const char* filename) {
  return VNTreadcopymipstarts(env, lp, filename);
}

VNTAPI int VNTAPIENTRY VNTEsetterminatefunc(VNTENVptr env, VNTterminatefn* func, void* handle) {
  if (vnt::Env* e = usable(env)) {
    e->terminateFn = func;
    e->terminateHandle = handle;
  }
  return 0;
}
VNTAPI int VNTAPIENTRY VNTEsetpausecallbackfunc(VNTENVptr env, VNTpausefn* func, void* handle) {
  if (vnt::Env* e = usable(env)) {
    e->pauseFn = func;
    e->pauseHandle = handle;
  }
  return 0;
}
}
