#include "env/env.h"

#include <sys/time.h>
#include <sys/times.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "api/frame.h"
#include "env/channel.h"
#include "env/limits.h"
#include "model/problem.h"
#include "params/params.h"

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

static WorkCounter gDummy;
WorkCounter* dummyCounter() { return &gDummy; }

// ---------------------------------------------------------------------------
// Open and close.

Env* openEnv(VNTALLOCATOR* allocator, int* status) {
  VNTALLOCATOR* a = allocator ? allocator : &gDefaultAllocator;
  *status = 0;
  void* mem = a->allocatealigned(a, alignof(Env), sizeof(Env));
  if (!mem) {
    *status = 1001;
    return nullptr;
  }
  Env* env = new (mem) Env;
  env->alloc = a;
  env->tables = &api::kDirectTables;
  env->working = env;
  env->self = env;
  env->counter = &gDummy;
  int st = 0;
  for (int i = 0; i < 4 && st == 0; ++i) {
    env->channels[i] = new (std::nothrow) Channel;
    if (!env->channels[i]) st = 1001;
    else channelInit(*env->channels[i], env);
  }
  if (st == 0) st = params::createStore(*env);
  if (st == 0) {
    env->realCounter = new (std::nothrow) WorkCounter;
    if (!env->realCounter) st = 1001;
  }
  if (st == 0) {
    env->counter = env->realCounter;
    st = pushLimitFrame(*env);
  }
  if (st != 0) {
    closeEnv(env);
    *status = st;
    return nullptr;
  }
  params::applyOverrides(*env);
  return env;
}

int registerObject(Env& env, void* object, ObjKind kind) {
  RegEntry* r = new (std::nothrow) RegEntry;
  if (!r) return 1001;
  r->object = object;
  r->kind = kind;
  r->prev = env.regTail;
  if (env.regTail) env.regTail->next = r;
  else env.regHead = r;
  env.regTail = r;
  ++env.regCount;
  return 0;
}

void unregisterObject(Env& env, void* object) {
  for (RegEntry* r = env.regHead; r; r = r->next) {
    if (r->object != object) continue;
    (r->prev ? r->prev->next : env.regHead) = r->next;
    (r->next ? r->next->prev : env.regTail) = r->prev;
    --env.regCount;
    delete r;
    return;
  }
}

int closeEnv(Env* env) {
  if (!env) return 0;
  if (env->parent) {
    env->parent->childAccum += env->childAccum;
    env->parent->childFlags |= env->childFlags;
  }
  while (env->limits) popLimitFrame(*env);
  // Release owned objects, first to last.
  while (env->regHead) {
    RegEntry* r = env->regHead;
    void* obj = r->object;
    ObjKind kind = r->kind;
    switch (kind) {
      case ObjKind::Problem:
        model::destroyProblem(*env, static_cast<model::Problem*>(obj));
        break;
      case ObjKind::ChildEnv:
        unregisterObject(*env, obj);
        closeEnv(static_cast<Env*>(obj));
        break;
      default:
        unregisterObject(*env, obj);
        break;
    }
    if (env->regHead == r) unregisterObject(*env, obj);  // owner forgot to unregister
  }
  for (auto*& ch : env->channels) {
    if (ch) {
      channelClose(*ch);
      delete ch;
      ch = nullptr;
    }
  }
  if (env->logFile) fclose(env->logFile);
  free(env->logFileName);
  params::destroyStore(*env);
  env->self = nullptr;
  env->magic = 0;
  delete env->realCounter;
  VNTALLOCATOR* a = env->alloc;
  env->~Env();
  a->release(a, env);
  return 0;
}

// ---------------------------------------------------------------------------
// Printing.

int vprint(Env& env, Chan ch, const char* fmt, va_list ap) {
  Channel* c = env.channels[static_cast<int>(ch)];
  if (!c) return 0;
  // Message output never advances deterministic time.
  WorkCounter* saved = env.counter;
  env.counter = &gDummy;
  char buf[2048];
  vsnprintf(buf, sizeof buf, fmt, ap);
  int n = channelWrite(*c, buf);
  env.counter = saved;
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
  vprint(env, Chan::Error, fmt, ap);
  va_end(ap);
  return -code;
}

void modelWarning(Env& env, int code, ...) {
  const char* t = lookup(kWarnings, code);
  if (!t) t = "Unknown modeling issue";
  long long limit = params::getLong(env, 1157);
  int slot = code - 1001;
  long long* counts = params::warningCounts(env);
  long long* cnt = (counts && slot >= 0 && slot < 63) ? &counts[slot] : nullptr;
  if (cnt && *cnt >= limit) return;
  if (!cnt && limit <= 0) return;
  char body[1024];
  va_list ap;
  va_start(ap, code);
  vsnprintf(body, sizeof body, t, ap);
  va_end(ap);
  print(env, Chan::Warning, "VANTO Warning %5d: %s.\n", code, body);
  if (cnt && ++*cnt == limit)
    print(env, Chan::Warning, "%s.\n",
          "Too many warnings of this type have been detected.  All further warnings of this "
          "type will be ignored");
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
  return static_cast<double>(t.tms_utime) / static_cast<double>(ticks);
}

double detTicks(const Env& env) {
  constexpr double kTick = 9.5367431640625e-7;  // 2^-20
  if (env.counter == &gDummy) return 0.0;
  double c = env.counter->value == ~0ull ? 1e75 : static_cast<double>(env.counter->value) * kTick;
  if (env.tickOffset == ~0ull) return 1e75 + c;
  return c + static_cast<double>(env.tickOffset) * kTick;
}

}  // namespace vnt
