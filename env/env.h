// The environment: root object of the library.  Owns the parameters, the
// four message channels, the registry of objects created through it, the
// allocator, the work counter and the stack of limit frames.
#pragma once

#include <pthread.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>
#include <utility>

#include "vanto/vanto.h"

struct UConverter;

namespace vnt {

namespace api {
struct ApiTableSet;
}
namespace params {
struct Store;
}

inline constexpr uint32_t kEnvMagic = 0x566E5465;  // "VnTe"
inline constexpr const char* kVersionString = "22.1.1.0";
inline constexpr int kVersionNumber = 22010100;
inline constexpr const char* kCapabilityName = "VANTOMIPQCQ";
inline constexpr const char* kInternalDefaultEncoding = "ISO-8859-1";

// Channel numbers index Env::channels (error, warning, results, log).
enum class Chan { Error = 0, Warning = 1, Results = 2, Log = 3 };

// Deterministic work counter: kernels add (units << shift); one tick is 2^20
// units.  128 bytes, 128-byte aligned, so counters of different threads never
// share a cache line.  All ones means "unbounded".
struct alignas(128) WorkCounter {
  uint64_t value = 0;
  unsigned shift = 0;
  void add(uint64_t units) {
    if (shift < 64) value += units << shift;
  }
};
static_assert(sizeof(WorkCounter) == 128);

// The dummy counter installed whenever work must not be counted.
WorkCounter* dummyCounter();

struct Env;
struct Channel;

// ---------------------------------------------------------------------------
// Channels (operations in env/channel.h).

enum : unsigned {
  kDestOwnsHandle = 0x2,  // the channel closes the output stream
  kDestOwnsMutex = 0x4,   // the mutex was created and must be destroyed
};

// One output of a channel: a stream or a caller function.  Text is UTF-8
// inside the library and is converted per destination on output.
struct Destination {
  Channel* channel = nullptr;
  Destination* next = nullptr;
  pthread_mutex_t mutex;
  FILE* file = nullptr;        // file destination; null with fn null: stdout on first use
  VNTmsgfn* fn = nullptr;      // function destination
  void* handle = nullptr;      // caller handle passed to fn
  unsigned flags = 0;
  bool isScreen = false;       // the channel's embedded standard-output destination
  UConverter* conv = nullptr;  // converter for convName, opened on demand
  char convName[64] = {};
};

enum : unsigned { kChanScreenAttached = 0x10 };

struct Channel {
  Env* env = nullptr;  // first word: VNTmsgstr finds the environment through it
  Destination* head = nullptr;
  pthread_mutex_t* envMutex = nullptr;
  Destination screen;
  unsigned flags = 0;
  char line[4096] = {};  // at most 4095 characters plus the terminating zero
  int pending = 0;
  int inMsgstr = 0;
};

// ---------------------------------------------------------------------------

enum class ObjKind { Problem = 1, ChildEnv = 3, Network = 4, ParamSet = 5 };

// How the registry releases an object at close when its kind has no fixed
// release path (parameter sets, network problems): set by whoever registers.
using ReleaseFn = void (*)(Env& env, void* object);

struct RegEntry {
  RegEntry* prev = nullptr;
  RegEntry* next = nullptr;
  void* object = nullptr;
  ObjKind kind = ObjKind::Problem;
  ReleaseFn release = nullptr;
};

struct LimitFrame;  // env/limits.h

// Process-wide processor configuration.
struct ProcConfig {
  int online = 1;          // online processors (1 .. 2100000000)
  int spare = -1;
  int hyperthreading = 0;  // first "siblings" > first "cpu cores" in /proc/cpuinfo
};
const ProcConfig& procConfig();
// Hyper-threading flag from a cpuinfo-format file (0 when missing).
int readHyperthreading(const char* path);

struct CounterStack {
  WorkCounter* saved[128] = {};
  int depth = 0;
};

// Model-warning limiter: per-code counts (63 slots, code - 1001) shared by an
// environment and its children.
struct WarningLimiter {
  intptr_t* counts = nullptr;  // 63 slots
  int* extra = nullptr;        // 8 ints
};
using WarningFn = void (*)(Env& env, int code, va_list values, WarningLimiter* limiter);

struct Env {
  // The frame relies on the order of the first fields.
  uint32_t magic = kEnvMagic;
  const api::ApiTableSet* tables = nullptr;
  void* recording = nullptr;
  Env* working = nullptr;
  VNTALLOCATOR* alloc = nullptr;
  Env* self = nullptr;

  params::Store* params = nullptr;  // null: the environment is not usable
  Channel* channels[4] = {};        // error, warning, results, log
  const char* version = kVersionString;
  char* capability = nullptr;       // "%s %6d" of kCapabilityName, kVersionNumber
  UConverter* apiConv = nullptr;    // API-encoding converter
  bool apiAscii = true;             // ASCII-compatible: bytes < 128 are never converted
  void* aux = nullptr;              // 16-byte auxiliary record

  // Registry of owned objects.
  RegEntry* regHead = nullptr;
  RegEntry* regTail = nullptr;
  long long regCount = 0;

  Env* parent = nullptr;
  int infoCallback = 0;

  pthread_mutex_t mutexStore;
  pthread_mutex_t* mutex = nullptr;

  // Terminate sources.
  volatile int* terminateFlag = nullptr;
  volatile int* terminateFlag2 = nullptr;
  volatile int* terminateFlag3 = nullptr;
  VNTterminatefn* terminateFn = nullptr;
  void* terminateHandle = nullptr;
  VNTpausefn* pauseFn = nullptr;
  void* pauseHandle = nullptr;
  // Set by a parallel optimizer to stop sibling workers silently (9034).
  volatile int* siblingStop = nullptr;

  // Work counting: `counter` is the current counter (kernels call
  // env.counter->add(units)); the stack saves it while printing.
  WorkCounter* counter = nullptr;
  WorkCounter* realCounter = nullptr;
  CounterStack counterStack;
  uint64_t tickOffset = 0;  // all ones: unbounded
  LimitFrame* limits = nullptr;
  long long clockReadings = 0;  // clock reads made by the limit check

  const ProcConfig* procs = nullptr;

  // Random stream state (seeded from the random-seed parameter).
  uint64_t randomSeed[2] = {1, 1};

  // Log file.
  FILE* logFile = nullptr;
  char* logFileName = nullptr;

  // Model-warning reporter (replaceable) and its limiter.
  WarningLimiter* warnLimiter = nullptr;
  WarningFn warningFn = nullptr;

  // Accumulators a child adds into its parent at close.
  double childAccum = 0.0;
  uint32_t childFlags = 0;

  // Buffer for message templates (VANTO Error %5d: ...).
  char msgBuf[1024] = {};

  Channel channelStore[4];
};

// ---------------------------------------------------------------------------
// Allocation through the environment's allocator.  Failures give null (the
// caller answers 1001).

void* envMalloc(Env& env, size_t size);
void* envCalloc(Env& env, size_t count, size_t size);
void* envAligned(Env& env, size_t alignment, size_t size);
void* envRealloc(Env& env, void* p, size_t size);
void envFree(Env& env, void* p);
char* envStrdup(Env& env, const char* s);

template <class T, class... A>
T* envNew(Env& env, A&&... args) {
  size_t al = alignof(T) < sizeof(void*) ? sizeof(void*) : alignof(T);
  void* m = envAligned(env, al, sizeof(T));
  return m ? new (m) T(std::forward<A>(args)...) : nullptr;
}
template <class T>
void envDelete(Env& env, T* p) {
  if (!p) return;
  p->~T();
  envFree(env, p);
}

// ---------------------------------------------------------------------------
// Open/close.  Child environments (parallel workers) link to their parent,
// copy its parameters, share its warning limiter and are registered in it.

Env* openEnv(VNTALLOCATOR* allocator, int* status);
int closeEnv(Env* env);
Env* openChildEnv(Env& parent, int* status);
int closeChildEnv(Env* child);
// Process-wide start-up (once); 0 or 1813.
int processStartUp();
void processFinalize();
// VNTinitialize: the host loads and unloads the library itself (no exit hook).
void markSharedObject();

// Registry.  `release` is used at close for kinds without a fixed release
// path (problems go to model::destroyProblem, children to closeEnv).
int registerObject(Env& env, void* object, ObjKind kind, ReleaseFn release = nullptr);
void unregisterObject(Env& env, void* object);

// Work-counter stack.
void pushCounter(Env& env, WorkCounter* c);
void popCounter(Env& env);

// Printing on a channel: printf-style, at most 2047 characters per message,
// invalid UTF-8 repaired.  Returns the number of characters.  Message output
// never advances the work counter.
int print(Env& env, Chan ch, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
int vprint(Env& env, Chan ch, const char* fmt, va_list ap);
void flushChannel(Env& env, Chan ch);
// Formats into 1024 bytes, prints on the warning channel (which != 0) or the
// results channel, then flushes that channel.
int envprintf(Env& env, int which, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
// The do-nothing printer.
int noprintf(Env& env, int which, const char* fmt, ...);

// Error texts.
const char* errorTemplate(int code);  // null when the code has no entry
const char* warningTemplate(int code);  // null when the code has no entry
// Builds "VANTO Error %5d: " + template + ".\n" in env.msgBuf and returns it,
// so that a worker can fill in the values and print it itself ("Unknown error
// code %d.\n" for a code without an entry).
const char* errorMessageTemplate(Env& env, int code);
// Prints an error with its template filled in from the arguments; returns
// the negated code so that the common reporter does not print it again.
int reportError(Env& env, int code, ...);
// Model warning through the environment's (replaceable) warning reporter.
void modelWarning(Env& env, int code, ...);
void defaultWarningFn(Env& env, int code, va_list values, WarningLimiter* limiter);

// Limit and terminate check polled by the optimizers: 0, or 13 (aborted),
// 11 (time limit), 25 (deterministic time limit), 9034 (silent sibling stop).
int checkLimits(Env& env);

// Clocks.
double wallSeconds();
double cpuSeconds();
double envTime(const Env& env);  // on the clock chosen by the clock-type parameter
double detTicks(const Env& env);

// Text encodings (ICU).  Conversions return 0 or 1235.
int openConverter(const char* name, UConverter** out);
void closeConverter(UConverter* c);
bool encodingIsAsciiCompatible(UConverter* c);
// Replace the environment's API-encoding converter (parameter 1130 side
// effect): 1003 when no converter can be opened for the name.
int setApiEncoding(Env& env, const char* name);
// UTF-8 -> API encoding in place (buffer of `cap` bytes); 0 or 1235.
int utf8ToApiInPlace(Env& env, char* buf, size_t cap);
// API encoding -> UTF-8 into a buffer allocated with envMalloc (*out); the
// input itself is returned through *out (no allocation) when no conversion is
// needed.  0, 1001 or 1235.
int apiToUtf8(Env& env, const char* in, char** out);
// Replace invalid UTF-8 sequences by '?' in place; returns the code points.
int repairUtf8(char* s);

// Log file (null filename closes it) and clone log files of worker
// environments: path WORKDIR/clone<n>.log, mode "a"; failures leave the clone
// without a log file.  With header, "\nLog for '%s' Clone_%d (V%s) %s\n".
int setLogFile(Env& env, const char* filename, const char* mode);
void openCloneLog(Env& clone, const Env& parent, int cloneNumber, const char* probname,
                  bool header);

// Thread binding by the CPU-mask parameter (1144): processors for `threads`
// workers (ascending, at most `threads`); *count 0 means "no binding".
// 0 or 3700.
int cpuMaskProcessors(const char* mask, int online, int threads, int* cpus, int* count);
int planThreadBinding(Env& env, int threads, int* cpus, int* count);
// Bind the calling worker thread t to cpus[t mod n]; 0 or 3700.
int bindWorkerThread(const int* cpus, int n, int t);

}  // namespace vnt
