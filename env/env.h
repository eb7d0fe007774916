// The environment: root object of the library.  Owns the parameters, the
// four message channels, the registry of objects created through it, the
// allocator, the work counter and the stack of limit frames.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <mutex>

#include "vanto/vanto.h"

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

enum class Chan { Error = 0, Warning = 1, Results = 2, Log = 3 };

struct Channel;  // env/channel.h

// Deterministic work counter: kernels add (units << shift); one tick is 2^20
// units.  128-byte aligned so counters of different threads never share a
// cache line.
struct alignas(128) WorkCounter {
  uint64_t value = 0;
  unsigned shift = 0;
  void add(uint64_t units) {
    if (shift < 64) value += units << shift;
  }
};

enum class ObjKind { Problem = 1, ChildEnv = 3, Network = 4, ParamSet = 5 };

struct RegEntry {
  RegEntry* prev = nullptr;
  RegEntry* next = nullptr;
  void* object = nullptr;
  ObjKind kind = ObjKind::Problem;
};

struct LimitFrame;  // env/limits.h

struct Env {
  // The frame relies on the order of the first fields.
  uint32_t magic = kEnvMagic;
  const api::ApiTableSet* tables = nullptr;
  void* recording = nullptr;
  Env* working = nullptr;
  VNTALLOCATOR* alloc = nullptr;
  Env* self = nullptr;

  params::Store* params = nullptr;  // null: the environment is not usable
  Channel* channels[4] = {};         // error, warning, results, log
  Env* parent = nullptr;
  int infoCallback = 0;

  std::mutex mutex;

  // Registry of owned objects.
  RegEntry* regHead = nullptr;
  RegEntry* regTail = nullptr;
  long long regCount = 0;

  // Terminate sources.
  volatile int* terminateFlag = nullptr;
  volatile int* terminateFlag2 = nullptr;
  volatile int* terminateFlag3 = nullptr;
  VNTterminatefn* terminateFn = nullptr;
  void* terminateHandle = nullptr;

  // Work counting.
  WorkCounter* counter = nullptr;      // current counter (dummy while printing)
  WorkCounter* realCounter = nullptr;  // this environment's own counter
  WorkCounter* counterStack[128] = {};
  int counterDepth = 0;
  uint64_t tickOffset = 0;
  LimitFrame* limits = nullptr;

  // Random stream state (seeded from the random-seed parameter).
  uint64_t randomSeed[2] = {1, 1};

  // Log file.
  FILE* logFile = nullptr;
  char* logFileName = nullptr;

  // Accumulators a child adds into its parent at close.
  double childAccum = 0.0;
  uint32_t childFlags = 0;

  // Buffer for message templates (VANTO Error %5d: ...).
  char msgBuf[1024] = {};
};

// The dummy counter installed whenever work must not be counted.
WorkCounter* dummyCounter();

// Open/close (also used for child environments).
Env* openEnv(VNTALLOCATOR* allocator, int* status);
int closeEnv(Env* env);

// Registry.
int registerObject(Env& env, void* object, ObjKind kind);
void unregisterObject(Env& env, void* object);

// Printing on a channel: printf-style, at most 2047 characters per message.
// Message output never advances the work counter.
int print(Env& env, Chan ch, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
int vprint(Env& env, Chan ch, const char* fmt, va_list ap);
void flushChannel(Env& env, Chan ch);

// Error texts.
const char* errorTemplate(int code);  // null when the code has no entry
// Builds "VANTO Error %5d: " + template + ".\n" in env.msgBuf and returns it,
// so that a worker can fill in the values and print it itself.
const char* errorMessageTemplate(Env& env, int code);
// Prints an error with its template filled in from the arguments; returns
// the negated code so that the common reporter does not print it again.
int reportError(Env& env, int code, ...);
// Model warning with the per-code limiter.
void modelWarning(Env& env, int code, ...);

// Limit and terminate check polled by the optimizers: 0, or 13 (aborted),
// 11 (time limit), 25 (deterministic time limit).
int checkLimits(Env& env);

// Clocks.
double wallSeconds();
double cpuSeconds();
double envTime(const Env& env);  // on the clock chosen by the clock-type parameter
double detTicks(const Env& env);

}  // namespace vnt
