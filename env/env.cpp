#include "env/env.h"

#include <sched.h>
#include <sys/time.h>
#include <sys/times.h>
#include <unistd.h>
#include <unicode/ucnv.h>
#include <unicode/uclean.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "api/frame.h"
#include "env/channel.h"
#include "env/limits.h"
#include "model/problem.h"
#include "params/params.h"

// Parameter-subsystem hooks; weak so that the environment links without them.
namespace vnt::params {
int copyStore(Env& dst, const Env& src) __attribute__((weak));
void releaseParamSet(Env& env, void* set) __attribute__((weak));
}  // namespace vnt::params

namespace vnt {

// ---------------------------------------------------------------------------
// Default allocator.

static void* defAlloc(VNTALLOCATOR* a, size_t n) {
  void* p = malloc(n);
  if (!p) ++a->failures;
  return p;
}
static void* defCalloc(VNTALLOCATOR* a, size_t c, size_t n) {
  void* p = calloc(c, n);
  if (!p) ++a->failures;
  return p;
}
static void* defAligned(VNTALLOCATOR* a, size_t al, size_t n) {
  void* p = nullptr;
  if (posix_memalign(&p, al, n) != 0) p = nullptr;
  if (!p) ++a->failures;
  return p;
}
static void* defRealloc(VNTALLOCATOR* a, void* q, size_t n) {
  void* p = realloc(q, n);
  if (!p && n) ++a->failures;
  return p;
}
static void defFree(VNTALLOCATOR*, void* p) { free(p); }

static VNTALLOCATOR gDefaultAllocator = {&gDefaultAllocator, defAlloc, defCalloc,
                                         defAligned, defRealloc, defFree, 0};

void* envMalloc(Env& env, size_t size) { return env.alloc->allocate(env.alloc, size ? size : 1); }
void* envCalloc(Env& env, size_t count, size_t size) {
  if (count && size > SIZE_MAX / count) return nullptr;
  return env.alloc->allocatezeroed(env.alloc, count ? count : 1, size ? size : 1);
}
void* envAligned(Env& env, size_t alignment, size_t size) {
  return env.alloc->allocatealigned(env.alloc, alignment, size ? size : 1);
}
void* envRealloc(Env& env, void* p, size_t size) {
  return env.alloc->reallocate(env.alloc, p, size ? size : 1);
}
void envFree(Env& env, void* p) {
  if (p) env.alloc->release(env.alloc, p);
}
char* envStrdup(Env& env, const char* s) {
  size_t n = strlen(s) + 1;
  char* p = static_cast<char*>(envMalloc(env, n));
  if (p) memcpy(p, s, n);
  return p;
}

static WorkCounter gDummy;
WorkCounter* dummyCounter() { return &gDummy; }

// ---------------------------------------------------------------------------
// Process-wide start-up.

namespace {
std::once_flag gInitOnce;
int gGlobalInitResult = 0;
ProcConfig gProcs;
}  // namespace
static bool gSharedObject = false;  // set by VNTinitialize
void markSharedObject() { gSharedObject = true; }

int readHyperthreading(const char* path) {
  FILE* f = fopen(path, "r");
  if (!f) return 0;
  long siblings = -1, cores = -1;
  char line[512];
  while ((siblings < 0 || cores < 0) && fgets(line, sizeof line, f)) {
    const char* colon = strchr(line, ':');
    if (!colon) continue;
    if (siblings < 0 && strncmp(line, "siblings", 8) == 0) siblings = strtol(colon + 1, nullptr, 10);
    else if (cores < 0 && strncmp(line, "cpu cores", 9) == 0) cores = strtol(colon + 1, nullptr, 10);
  }
  fclose(f);
  return siblings >= 0 && cores >= 0 && siblings > cores ? 1 : 0;
}


void processFinalize() {
  // Release the code-page library's cached converters (open ones stay).
  ucnv_flushCache();
}

static void finalizeAtExit() { processFinalize(); }

static void startUp() {
  if (!gSharedObject && atexit(finalizeAtExit) != 0) {
    gGlobalInitResult = 1813;
    return;
  }
  UErrorCode e = U_ZERO_ERROR;
  u_init(&e);
  if (U_FAILURE(e)) {
    gGlobalInitResult = 1813;
    return;
  }
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  if (n < 1 && n != -1) {
    gGlobalInitResult = 1813;
    return;
  }
  gProcs.online = n < 1 ? 1 : n > 2100000000 ? 2100000000 : static_cast<int>(n);
  gProcs.spare = -1;
  gProcs.hyperthreading = readHyperthreading("/proc/cpuinfo");
  api::installRecordSwitch();
}

int processStartUp() {
  std::call_once(gInitOnce, startUp);
  return gGlobalInitResult;
}

const ProcConfig& procConfig() {
  processStartUp();
  return gProcs;
}

// ---------------------------------------------------------------------------
// Open and close.

static int createLimiter(Env& env) {
  auto* l = static_cast<WarningLimiter*>(envCalloc(env, 1, sizeof(WarningLimiter)));
  if (!l) return 1001;
  l->counts = static_cast<intptr_t*>(envCalloc(env, 63, sizeof(intptr_t)));
  l->extra = static_cast<int*>(envCalloc(env, 8, sizeof(int)));
  env.warnLimiter = l;
  if (!l->counts || !l->extra) return 1001;
  return 0;
}

static void releaseLimiter(Env& env) {
  if (WarningLimiter* l = env.warnLimiter) {
    envFree(env, l->counts);
    envFree(env, l->extra);
    envFree(env, l);
  }
  env.warnLimiter = nullptr;
}

// Everything an environment owns apart from its block; also the unwinding
// of a failed open.
static void releaseEnvParts(Env* env) {
  while (env->limits) popLimitFrame(*env);
  envFree(*env, env->aux);
  env->aux = nullptr;
  // Owned objects, first to last.
  while (RegEntry* r = env->regHead) {
    void* obj = r->object;
    switch (r->kind) {
      case ObjKind::Problem:
        model::destroyProblem(*env, static_cast<model::Problem*>(obj));
        break;
      case ObjKind::ChildEnv:
        unregisterObject(*env, obj);
        closeEnv(static_cast<Env*>(obj));
        break;
      default: {
        ReleaseFn rel = r->release;
        if (!rel && r->kind == ObjKind::ParamSet && params::releaseParamSet)
          rel = params::releaseParamSet;
        unregisterObject(*env, obj);
        if (rel) rel(*env, obj);
        break;
      }
    }
    if (env->regHead == r) unregisterObject(*env, obj);  // the owner forgot to unregister
  }
  for (int i = 0; i < 4; ++i) {
    if (env->channels[i]) channelClose(*env->channels[i]);
    env->channels[i] = nullptr;
  }
  envFree(*env, env->capability);
  env->capability = nullptr;
  if (env->params) params::destroyStore(*env);
  env->params = nullptr;
  closeConverter(env->apiConv);
  env->apiConv = nullptr;
  env->self = nullptr;
  if (env->realCounter) {
    env->realCounter->~WorkCounter();
    envFree(*env, env->realCounter);
  }
  env->realCounter = nullptr;
  env->counter = &gDummy;
  if (env->logFile) fclose(env->logFile);
  env->logFile = nullptr;
  envFree(*env, env->logFileName);
  env->logFileName = nullptr;
  if (env->mutex) pthread_mutex_destroy(env->mutex);
  env->mutex = nullptr;
}

static void releaseBlock(Env* env) {
  VNTALLOCATOR* a = env->alloc;
  env->magic = 0;
  env->~Env();
  a->release(a, env);
}

static Env* openImpl(VNTALLOCATOR* allocator, Env* parent, int* status) {
  *status = 0;
  VNTALLOCATOR* a = allocator ? allocator : &gDefaultAllocator;
  void* mem = a->allocatealigned(a, alignof(Env) < 16 ? 16 : alignof(Env), sizeof(Env));
  if (!mem) {
    *status = 1001;
    return nullptr;
  }
  memset(mem, 0, sizeof(Env));
  Env* env = new (mem) Env;
  env->alloc = a;
  env->tables = parent ? parent->tables : &api::kDirectTables;
  env->recording = parent ? parent->recording : nullptr;
  env->working = env;
  env->self = env;
  env->counter = &gDummy;
  env->tickOffset = 0;
  env->version = kVersionString;
  env->parent = parent;
  int st = 0;
  auto fail = [&](int code) {
    releaseEnvParts(env);
    if (!parent) releaseLimiter(*env);
    releaseBlock(env);
    *status = code;
    return nullptr;
  };
  if (pthread_mutex_init(&env->mutexStore, nullptr) != 0) return fail(1234);
  env->mutex = &env->mutexStore;
  if (openConverter(kInternalDefaultEncoding, &env->apiConv) != 0) return fail(1235);
  env->apiAscii = encodingIsAsciiCompatible(env->apiConv);
  env->capability = static_cast<char*>(envMalloc(*env, 32));
  if (!env->capability) return fail(1001);
  snprintf(env->capability, 32, "%s %6d", kCapabilityName, kVersionNumber);
  env->aux = envCalloc(*env, 1, 16);
  if (!env->aux) return fail(1001);
  if ((st = params::createStore(*env)) != 0) return fail(st);
  // The store is created before the channels exist; it may have asked for
  // screen output, which the channels pick up below.
  for (int i = 0; i < 4; ++i) {
    channelInit(env->channelStore[i], env);
    env->channels[i] = &env->channelStore[i];
  }
  env->procs = &gProcs;
  if (params::getInt(*env, 1035)) setScreenOutput(*env, true);
  if (parent) {
    env->warnLimiter = parent->warnLimiter;
    if (params::copyStore && (st = params::copyStore(*env, *parent)) != 0) return fail(st);
    if (params::getInt(*env, 1035)) setScreenOutput(*env, true);
  } else if ((st = createLimiter(*env)) != 0) {
    return fail(st);
  }
  env->warningFn = parent ? parent->warningFn : defaultWarningFn;
  // The override variables (parameter file and string) apply after the
  // defaults, so they change the starting values of every root environment.
  if (!parent) params::applyOverrides(*env);
  env->realCounter = envNew<WorkCounter>(*env);
  if (!env->realCounter) return fail(1001);
  env->counter = env->realCounter;
  env->counterStack.depth = 0;
  if (parent && parent->limits) {
    // A worker inherits what is left of its parent's innermost limits.
    const LimitFrame* pf = parent->limits;
    double ticks = kNoTimeLimit;
    if (pf->detLimit != kNoDetLimit) {
      uint64_t used = parent->counter != &gDummy ? parent->counter->value : pf->lastCounter;
      ticks = used >= pf->detLimit ? 0.0 : static_cast<double>(pf->detLimit - used) / kUnitsPerTick;
    }
    st = pushLimitFrame(*env, kNoTimeLimit, ticks);
    if (st == 0 && pf->deadline < kNoTimeLimit) {
      LimitFrame* f = env->limits;
      f->clockKind = pf->clockKind;
      f->wallAtStart = pf->wallAtStart;
      f->cpuAtStart = pf->cpuAtStart;
      f->deadline = pf->deadline;
      f->lastReading = readClock(f->clockKind);
    }
  } else {
    st = pushLimitFrameFromParams(*env);
  }
  if (st != 0) return fail(st);
  return env;
}

Env* openEnv(VNTALLOCATOR* allocator, int* status) {
  if ((*status = processStartUp()) != 0) return nullptr;
  return openImpl(allocator, nullptr, status);
}

Env* openChildEnv(Env& parent, int* status) {
  Env* child = openImpl(parent.alloc, &parent, status);
  if (!child) return nullptr;
  if ((*status = registerObject(parent, child, ObjKind::ChildEnv)) != 0) {
    closeEnv(child);
    return nullptr;
  }
  return child;
}

int closeChildEnv(Env* child) {
  if (!child) return 0;
  if (child->parent) unregisterObject(*child->parent, child);
  return closeEnv(child);
}

int closeEnv(Env* env) {
  if (!env) return 0;
  if (env->recording) api::recordingEnvClosed(*env);
  if (Env* p = env->parent) {
    p->childAccum += env->childAccum;
    env->childAccum = 0.0;
    p->childFlags |= env->childFlags;
    env->warnLimiter = nullptr;  // shared with the parent
  } else {
    releaseLimiter(*env);
  }
  releaseEnvParts(env);
  releaseBlock(env);
  return 0;
}

namespace {
// The registry may be changed by worker threads (child environments), so it
// is guarded by the environment's mutex.
struct EnvLock {
  explicit EnvLock(Env& env) : m(env.mutex) {
    if (m) pthread_mutex_lock(m);
  }
  ~EnvLock() {
    if (m) pthread_mutex_unlock(m);
  }
  pthread_mutex_t* m;
};
}  // namespace

int registerObject(Env& env, void* object, ObjKind kind, ReleaseFn release) {
  RegEntry* r = envNew<RegEntry>(env);
  if (!r) return 1001;
  r->object = object;
  r->kind = kind;
  r->release = release;
  EnvLock lock(env);
  r->prev = env.regTail;
  if (env.regTail) env.regTail->next = r;
  else env.regHead = r;
  env.regTail = r;
  ++env.regCount;
  return 0;
}

void unregisterObject(Env& env, void* object) {
  RegEntry* found = nullptr;
  {
    EnvLock lock(env);
    for (RegEntry* r = env.regHead; r; r = r->next) {
      if (r->object != object) continue;
      (r->prev ? r->prev->next : env.regHead) = r->next;
      (r->next ? r->next->prev : env.regTail) = r->prev;
      --env.regCount;
      found = r;
      break;
    }
  }
  envDelete(env, found);
}

// ---------------------------------------------------------------------------
// Work-counter stack.

void pushCounter(Env& env, WorkCounter* c) {
  CounterStack& s = env.counterStack;
  if (s.depth < 128) s.saved[s.depth] = env.counter;
  ++s.depth;
  env.counter = c;
}

void popCounter(Env& env) {
  CounterStack& s = env.counterStack;
  if (s.depth <= 0) return;
  --s.depth;
  if (s.depth < 128) env.counter = s.saved[s.depth];
}

// ---------------------------------------------------------------------------
// Printing.

int vprint(Env& env, Chan ch, const char* fmt, va_list ap) {
  Channel* c = env.channels[static_cast<int>(ch)];
  if (!c) return 0;
  pushCounter(env, &gDummy);  // message output never advances deterministic time
  char buf[2048];
  vsnprintf(buf, sizeof buf, fmt, ap);
  repairUtf8(buf);
  int n = channelWrite(*c, buf);
  popCounter(env);
  return n;
}

int print(Env& env, Chan ch, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = vprint(env, ch, fmt, ap);
  va_end(ap);
  return n;
}

void flushChannel(Env& env, Chan ch) {
  if (Channel* c = env.channels[static_cast<int>(ch)]) channelFlush(*c);
}

int envprintf(Env& env, int which, const char* fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  Chan c = which ? Chan::Warning : Chan::Results;
  int n = print(env, c, "%s", buf);
  flushChannel(env, c);
  return n;
}

int noprintf(Env&, int, const char*, ...) { return 0; }

// ---------------------------------------------------------------------------
// Error and warning texts.

struct CodeText {
  int code;
  const char* text;
};
static const CodeText kErrors[] = {
#include "env/error_table.inc"
};
static const CodeText kWarnings[] = {
#include "env/warning_table.inc"
};
static_assert(sizeof kErrors / sizeof kErrors[0] == 245);
static_assert(sizeof kWarnings / sizeof kWarnings[0] == 63);

template <size_t N>
static const char* lookup(const CodeText (&table)[N], int code) {
  size_t lo = 0, hi = N;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (table[mid].code < code) lo = mid + 1;
    else hi = mid;
  }
  return lo < N && table[lo].code == code ? table[lo].text : nullptr;
}

const char* errorTemplate(int code) { return lookup(kErrors, code); }
const char* warningTemplate(int code) { return lookup(kWarnings, code); }

const char* errorMessageTemplate(Env& env, int code) {
  const char* t = errorTemplate(code);
  if (t) snprintf(env.msgBuf, sizeof env.msgBuf, "VANTO Error %5d: %s.\n", code, t);
  else snprintf(env.msgBuf, sizeof env.msgBuf, "Unknown error code %d.\n", code);
  return env.msgBuf;
}

int reportError(Env& env, int code, ...) {
  char fmt[1024];
  snprintf(fmt, sizeof fmt, "%s", errorMessageTemplate(env, code));
  va_list ap;
  va_start(ap, code);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  vprint(env, Chan::Error, fmt, ap);
#pragma GCC diagnostic pop
  va_end(ap);
  return -code;
}

void defaultWarningFn(Env& env, int code, va_list values, WarningLimiter* limiter) {
  const char* t = warningTemplate(code);
  if (!t) t = "Unknown modeling issue";
  long long limit = params::getLong(env, 1157);
  int slot = code - 1001;
  intptr_t* cnt = (limiter && limiter->counts && slot >= 0 && slot < 63) ? &limiter->counts[slot]
                                                                        : nullptr;
  if (cnt ? *cnt >= limit : limit <= 0) return;
  char body[1024];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  vsnprintf(body, sizeof body, t, values);
#pragma GCC diagnostic pop
  char line[1100];
  snprintf(line, sizeof line, "VANTO Warning %5d: %s.\n", code, body);
  print(env, Chan::Warning, "%s", line);
  if (cnt && ++*cnt == limit)
    print(env, Chan::Warning, "%s.\n",
          "Too many warnings of this type have been detected.  All further warnings of this "
          "type will be ignored");
}

void modelWarning(Env& env, int code, ...) {
  va_list ap;
  va_start(ap, code);
  WarningFn fn = env.warningFn ? env.warningFn : defaultWarningFn;
  fn(env, code, ap, env.warnLimiter);
  va_end(ap);
}

// ---------------------------------------------------------------------------
// Clocks.

double wallSeconds() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
}

double cpuSeconds() {
  static const long ticks = sysconf(_SC_CLK_TCK);
  struct tms t;
  times(&t);
  return static_cast<double>(t.tms_utime) / static_cast<double>(ticks > 0 ? ticks : 100);
}

double detTicks(const Env& env) {
  constexpr double kTick = 9.5367431640625e-7;  // 2^-20
  if (env.counter == &gDummy || !env.counter) return 0.0;
  double c = env.counter->value == ~0ull ? 1e75 : static_cast<double>(env.counter->value) * kTick;
  if (env.tickOffset == ~0ull) return 1e75 + c;
  return c + static_cast<double>(env.tickOffset) * kTick;
}

// ---------------------------------------------------------------------------
// Log files.

static void detachLog(Env& env) {
  if (!env.logFile) return;
  for (Channel* c : env.channels)
    if (c) channelRemoveFile(*c, env.logFile);
  fclose(env.logFile);
  env.logFile = nullptr;
}

static int setLogFileImpl(Env& env, const char* filename, const char* mode, bool quiet) {
  envFree(env, env.logFileName);
  env.logFileName = nullptr;
  detachLog(env);
  if (!filename) return 0;
  if (!mode) return 1004;
  char* name = envStrdup(env, filename);
  if (!name) return 1001;
  FILE* f = fopen(name, mode);
  if (!f) {
    envFree(env, name);
    return quiet ? 1422 : reportError(env, 1422, filename);
  }
  for (Chan c : {Chan::Results, Chan::Warning, Chan::Error, Chan::Log}) {
    if (int st = channelAddFile(*channelOf(env, c), f)) {
      for (Channel* ch : env.channels)
        if (ch) channelRemoveFile(*ch, f);
      fclose(f);
      envFree(env, name);
      return st;
    }
  }
  env.logFile = f;
  env.logFileName = name;
  return 0;
}

int setLogFile(Env& env, const char* filename, const char* mode) {
  return setLogFileImpl(env, filename, mode, false);
}

void openCloneLog(Env& clone, const Env& parent, int cloneNumber, const char* probname,
                  bool header) {
  int mode = params::getInt(parent, 1132);
  if (mode < 0 || (mode == 0 && !parent.logFile)) return;
  char path[1100];
  snprintf(path, sizeof path, "%s/clone%d.log", params::getStr(parent, 1064), cloneNumber);
  if (setLogFileImpl(clone, path, "a", true) != 0) return;
  if (header) {
    char when[64];
    time_t now = time(nullptr);
    struct tm tmv;
    localtime_r(&now, &tmv);
    strftime(when, sizeof when, "%a %b %d %H:%M:%S %Y", &tmv);
    print(clone, Chan::Log, "\nLog for '%s' Clone_%d (V%s) %s\n", probname ? probname : "",
          cloneNumber, clone.version, when);
  }
}

// ---------------------------------------------------------------------------
// Thread binding.

static int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int cpuMaskProcessors(const char* mask, int online, int threads, int* cpus, int* count) {
  *count = 0;
  if (!mask) mask = "";
  if (strncmp(mask, "au", 2) == 0 || mask[0] == 'o') return 0;
  size_t len = strlen(mask);
  if (len == 0) return 3700;
  int n = 0;
  for (size_t k = 0; k < len && n < threads; ++k) {
    int d = hexDigit(mask[len - 1 - k]);
    if (d < 0) return 3700;
    for (int b = 0; b < 4 && n < threads; ++b) {
      long long proc = 4 * static_cast<long long>(k) + b;
      if ((d >> b & 1) && proc < online) cpus[n++] = static_cast<int>(proc);
    }
  }
  if (n == 0) return 3700;
  *count = n;
  return 0;
}

int planThreadBinding(Env& env, int threads, int* cpus, int* count) {
  return cpuMaskProcessors(params::getStr(env, 1144), procConfig().online, threads, cpus, count);
}

int bindWorkerThread(const int* cpus, int n, int t) {
  if (n <= 0) return 0;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpus[t % n], &set);
  return pthread_setaffinity_np(pthread_self(), sizeof set, &set) == 0 ? 0 : 3700;
}

}  // namespace vnt
