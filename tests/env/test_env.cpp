// The environment: allocator and registry, limit and terminate check, work
// counter, child environments, warning limiter, channels with encodings, log
// and clone log files, processor configuration and thread binding.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/capture.h"
#include "env/channel.h"
#include "env/env.h"
#include "env/limits.h"
#include "vanto/vanto.h"

namespace {

using vnt::test::Capture;

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::string scratchDir() {
  char tmpl[] = "/tmp/vnt_env_testXXXXXX";
  const char* d = mkdtemp(tmpl);
  return d ? d : "/tmp";
}

class EnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int st = -1;
    env = VNTopenVANTO(&st);
    ASSERT_NE(env, nullptr);
    ASSERT_EQ(st, 0);
    e = reinterpret_cast<vnt::Env*>(env);
    ASSERT_EQ(VNTgetchannels(env, &res, &warn, &err, &log), 0);
  }
  void TearDown() override {
    if (env) {
      EXPECT_EQ(VNTcloseVANTO(&env), 0);
    }
  }
  VNTENVptr env = nullptr;
  vnt::Env* e = nullptr;
  VNTCHANNELptr res = nullptr, warn = nullptr, err = nullptr, log = nullptr;
};

// ---------------------------------------------------------------------------
// Open, close, allocator and registry.

struct CountingAllocator {
  VNTALLOCATOR a;
  long allocs = 0, frees = 0;
  long failAfter = -1;  // fail every request after this many
  static CountingAllocator* self(VNTALLOCATOR* x) { return reinterpret_cast<CountingAllocator*>(x); }
  bool fail() { return failAfter >= 0 && allocs >= failAfter; }
  static void* alloc(VNTALLOCATOR* x, size_t n) {
    auto* c = self(x);
    if (c->fail()) return nullptr;
    ++c->allocs;
    return malloc(n);
  }
  static void* zalloc(VNTALLOCATOR* x, size_t k, size_t n) {
    auto* c = self(x);
    if (c->fail()) return nullptr;
    ++c->allocs;
    return calloc(k, n);
  }
  static void* aligned(VNTALLOCATOR* x, size_t al, size_t n) {
    auto* c = self(x);
    if (c->fail()) return nullptr;
    void* p = nullptr;
    if (posix_memalign(&p, al, n) != 0) return nullptr;
    ++c->allocs;
    return p;
  }
  static void* re(VNTALLOCATOR* x, void* p, size_t n) {
    if (!p) return alloc(x, n);
    return realloc(p, n);
  }
  static void rel(VNTALLOCATOR* x, void* p) {
    if (!p) return;
    ++self(x)->frees;
    free(p);
  }
  CountingAllocator() { a = {&a, alloc, zalloc, aligned, re, rel, 0}; }
};

TEST(EnvOpen, NullStatusPointerAndVersionQueries) {
  VNTENVptr env = VNTopenVANTO(nullptr);
  ASSERT_NE(env, nullptr);
  EXPECT_STREQ(VNTversion(env), "22.1.1.0");
  auto* e = reinterpret_cast<vnt::Env*>(env);
  EXPECT_STREQ(e->capability, "VANTOMIPQCQ 22010100");
  EXPECT_EQ(e->magic, 0x566E5465u);
  EXPECT_EQ(e->working, e);
  int n = 0;
  EXPECT_EQ(VNTgetnumcores(env, &n), 0);
  EXPECT_EQ(n, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
  EXPECT_EQ(VNTcloseVANTO(&env), 0);
  EXPECT_EQ(env, nullptr);
  EXPECT_EQ(VNTcloseVANTO(&env), 0);
}

TEST(EnvOpen, EveryAllocationGoesThroughTheCallersAllocatorAndIsReleased) {
  CountingAllocator ca;
  int st = -1;
  VNTENVptr env = VNTEopenVANTOallocator(&ca.a, &st);
  ASSERT_NE(env, nullptr);
  ASSERT_EQ(st, 0);
  EXPECT_GE(ca.allocs, 6);  // block, capability, aux, limiter, counter, frame, ...
  // Objects the caller leaves behind are released at close: problems, a
  // parameter set, a child environment with its own problem.
  VNTLPptr lp = VNTcreateprob(env, &st, "left");
  ASSERT_NE(lp, nullptr);
  VNTPARAMSETptr ps = VNTparamsetcreate(env, &st);
  ASSERT_NE(ps, nullptr);
  auto* e = reinterpret_cast<vnt::Env*>(env);
  vnt::Env* child = vnt::openChildEnv(*e, &st);
  ASSERT_NE(child, nullptr);
  ASSERT_EQ(st, 0);
  EXPECT_EQ(e->regCount, 3);
  VNTLPptr clp = VNTcreateprob(reinterpret_cast<VNTENVptr>(child), &st, "child");
  ASSERT_NE(clp, nullptr);
  EXPECT_EQ(child->regCount, 1);
  EXPECT_EQ(VNTcloseVANTO(&env), 0);
  EXPECT_EQ(ca.allocs, ca.frees);
}

TEST(EnvOpen, AllocationFailureAnywhereGives1001AndLeaksNothing) {
  for (long k = 0; k < 12; ++k) {
    CountingAllocator ca;
    ca.failAfter = k;
    int st = -1;
    VNTENVptr env = VNTEopenVANTOallocator(&ca.a, &st);
    if (env) {
      EXPECT_EQ(st, 0);
      VNTcloseVANTO(&env);
    } else {
      EXPECT_EQ(st, 1001) << k;
    }
    EXPECT_EQ(ca.allocs, ca.frees) << k;
  }
  // An allocator whose first word does not point to itself is refused.
  CountingAllocator bad;
  bad.a.self = nullptr;
  int st = -1;
  EXPECT_EQ(VNTEopenVANTOallocator(&bad.a, &st), nullptr);
  EXPECT_EQ(st, 1003);
}

TEST_F(EnvTest, ChildEnvironmentAddsIntoParentAndSharesTheLimiter) {
  int st = -1;
  vnt::Env* child = vnt::openChildEnv(*e, &st);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->parent, e);
  EXPECT_EQ(child->warnLimiter, e->warnLimiter);
  EXPECT_NE(child->realCounter, e->realCounter);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(child->realCounter) % 128, 0u);
  child->childAccum = 2.5;
  child->childFlags = 0x5;
  e->childFlags = 0x2;
  EXPECT_EQ(vnt::closeChildEnv(child), 0);
  EXPECT_DOUBLE_EQ(e->childAccum, 2.5);
  EXPECT_EQ(e->childFlags, 0x7u);
  EXPECT_EQ(e->regCount, 0);
  EXPECT_NE(e->warnLimiter, nullptr);
  // A worker handle closed through the public close leaves its parent's
  // registry too.
  vnt::Env* c2 = vnt::openChildEnv(*e, &st);
  ASSERT_NE(c2, nullptr);
  EXPECT_EQ(e->regCount, 1);
  VNTENVptr h = reinterpret_cast<VNTENVptr>(c2);
  EXPECT_EQ(VNTcloseVANTO(&h), 0);
  EXPECT_EQ(e->regCount, 0);
}

TEST_F(EnvTest, ProblemsOfAChildBelongToTheRootTree) {
  int st = -1;
  vnt::Env* child = vnt::openChildEnv(*e, &st);
  ASSERT_NE(child, nullptr);
  VNTLPptr lp = VNTcreateprob(env, &st, "p");
  ASSERT_NE(lp, nullptr);
  // Same root: the child may work on the parent's problem.
  EXPECT_EQ(VNTgetnumrows(reinterpret_cast<VNTENVptr>(child), lp), 0);
  Capture errors;
  VNTCHANNELptr cerr = nullptr;
  ASSERT_EQ(VNTgetchannels(reinterpret_cast<VNTENVptr>(child), nullptr, nullptr, &cerr, nullptr), 0);
  ASSERT_EQ(VNTaddfuncdest(reinterpret_cast<VNTENVptr>(child), cerr, &errors, Capture::fn), 0);
  EXPECT_TRUE(errors.lines.empty());
  // Informational-callback flag of the parent blocks the child too.
  e->infoCallback = 1;
  int flag = 0;
  EXPECT_EQ(VNTsetterminate(reinterpret_cast<VNTENVptr>(child), &flag), 1804);
  EXPECT_EQ(VNTgetnumrows(reinterpret_cast<VNTENVptr>(child), lp), 0);  // accepts 1804
  ASSERT_EQ(errors.lines.size(), 1u);
  EXPECT_EQ(errors.lines[0],
            "VANTO Error  1804: Calling routines not allowed in informational callback.\n");
  e->infoCallback = 0;
}

// ---------------------------------------------------------------------------
// Work counter, clocks, limit and terminate check.

TEST_F(EnvTest, DeterministicTimeFollowsTheCounterAndNotMessages) {
  double t = -1;
  ASSERT_EQ(VNTgetdettime(env, &t), 0);
  EXPECT_EQ(t, 0.0);
  e->counter->add(3u << 20);
  ASSERT_EQ(VNTgetdettime(env, &t), 0);
  EXPECT_DOUBLE_EQ(t, 3.0);
  e->counter->shift = 2;
  e->counter->add(1u << 20);
  ASSERT_EQ(VNTgetdettime(env, &t), 0);
  EXPECT_DOUBLE_EQ(t, 7.0);
  e->counter->shift = 64;  // shift 64 or more: nothing is counted
  e->counter->add(12345);
  e->counter->shift = 0;
  ASSERT_EQ(VNTgetdettime(env, &t), 0);
  EXPECT_DOUBLE_EQ(t, 7.0);
  e->tickOffset = 1u << 20;
  ASSERT_EQ(VNTgetdettime(env, &t), 0);
  EXPECT_DOUBLE_EQ(t, 8.0);
  e->tickOffset = 0;
  uint64_t before = e->realCounter->value;
  vnt::print(*e, vnt::Chan::Results, "%s\n", "a message");
  VNTmsgstr(res, "another\n");
  EXPECT_EQ(e->realCounter->value, before);
  EXPECT_EQ(e->counter, e->realCounter);
  // With the dummy counter installed: 1003 without a message, time 0.
  Capture errors;
  ASSERT_EQ(VNTaddfuncdest(env, err, &errors, Capture::fn), 0);
  vnt::pushCounter(*e, vnt::dummyCounter());
  t = -1;
  EXPECT_EQ(VNTgetdettime(env, &t), 1003);
  EXPECT_EQ(t, 0.0);
  vnt::popCounter(*e);
  EXPECT_TRUE(errors.lines.empty());
}

TEST_F(EnvTest, ClockTypeSelectsTheClock) {
  double t = 0;
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_CLOCKTYPE, 2), 0);
  ASSERT_EQ(VNTgettime(env, &t), 0);
  EXPECT_NEAR(t, vnt::wallSeconds(), 5.0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_CLOCKTYPE, 1), 0);
  ASSERT_EQ(VNTgettime(env, &t), 0);
  EXPECT_LT(t, 1e6);  // CPU seconds of this process, not the epoch
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_CLOCKTYPE, 0), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_THREADS, 1), 0);
  EXPECT_EQ(vnt::clockKind(*e), 1);
}

TEST_F(EnvTest, TerminateSourcesStopTheCheck) {
  EXPECT_EQ(vnt::checkLimits(*e), 0);
  int flag = 0;
  ASSERT_EQ(VNTsetterminate(env, &flag), 0);
  EXPECT_EQ(vnt::checkLimits(*e), 0);
  flag = 1;
  EXPECT_EQ(vnt::checkLimits(*e), 13);
  ASSERT_EQ(VNTsetterminate(env, nullptr), 0);
  EXPECT_EQ(vnt::checkLimits(*e), 0);

  struct Fn {
    static int stop(void* h) { return ++*static_cast<int*>(h) >= 3; }
  };
  int calls = 0;
  EXPECT_EQ(VNTEsetterminatefunc(env, Fn::stop, &calls), 0);
  EXPECT_EQ(vnt::checkLimits(*e), 0);
  EXPECT_EQ(vnt::checkLimits(*e), 0);
  EXPECT_EQ(vnt::checkLimits(*e), 13);
  EXPECT_EQ(VNTEsetterminatefunc(env, nullptr, nullptr), 0);
  EXPECT_EQ(vnt::checkLimits(*e), 0);
  // A handle without the magic word is ignored silently.
  int junk[8] = {};
  EXPECT_EQ(VNTEsetterminatefunc(reinterpret_cast<VNTENVptr>(junk), Fn::stop, &calls), 0);
  EXPECT_EQ(VNTEsetpausecallbackfunc(reinterpret_cast<VNTENVptr>(junk), Fn::stop, &calls), 0);
  EXPECT_EQ(VNTEsetterminatefunc(nullptr, Fn::stop, &calls), 0);

  // A worker stops for its parent's flag and its grandparent's limits.
  int st = 0;
  vnt::Env* child = vnt::openChildEnv(*e, &st);
  ASSERT_NE(child, nullptr);
  vnt::Env* grandchild = vnt::openChildEnv(*child, &st);
  ASSERT_NE(grandchild, nullptr);
  EXPECT_EQ(vnt::checkLimits(*grandchild), 0);
  flag = 1;
  ASSERT_EQ(VNTsetterminate(env, &flag), 0);
  EXPECT_EQ(vnt::checkLimits(*child), 13);
  EXPECT_EQ(vnt::checkLimits(*grandchild), 13);
  ASSERT_EQ(VNTsetterminate(env, nullptr), 0);
  int sibling = 1;
  grandchild->siblingStop = &sibling;
  EXPECT_EQ(vnt::checkLimits(*grandchild), 9034);
  grandchild->siblingStop = nullptr;
  EXPECT_EQ(vnt::checkLimits(*grandchild), 0);
}

TEST_F(EnvTest, DefaultLimitsNeverReadTheClock) {
  e->clockReadings = 0;
  for (int i = 0; i < 100000; ++i) {
    e->counter->add(1000);
    ASSERT_EQ(vnt::checkLimits(*e), 0);
  }
  EXPECT_EQ(e->clockReadings, 0);
  // Also not with the dummy counter installed.
  vnt::pushCounter(*e, vnt::dummyCounter());
  EXPECT_EQ(vnt::checkLimits(*e), 0);
  vnt::popCounter(*e);
  EXPECT_EQ(e->clockReadings, 0);
}

TEST_F(EnvTest, DeterministicLimitOfAFrame) {
  ASSERT_EQ(vnt::pushLimitFrame(*e, 1e75, 2.0), 0);  // two ticks from now
  e->counter->add(1u << 20);
  EXPECT_EQ(vnt::checkLimits(*e), 0);
  e->counter->add((1u << 20) - 1);
  EXPECT_EQ(vnt::checkLimits(*e), 0);
  e->counter->add(1);
  EXPECT_EQ(vnt::checkLimits(*e), 25);
  // The dummy counter never reaches a deterministic limit.
  vnt::pushCounter(*e, vnt::dummyCounter());
  EXPECT_EQ(vnt::checkLimits(*e), 0);
  vnt::popCounter(*e);
  // A worker inherits what is left of the limit.
  int st = 0;
  vnt::Env* child = vnt::openChildEnv(*e, &st);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(vnt::checkLimits(*child), 25);
  vnt::popLimitFrame(*e);
  EXPECT_EQ(vnt::checkLimits(*e), 0);
  vnt::closeChildEnv(child);
  // The parameter frame at open reads VNT_PARAM_DETTILIM.
  VNTENVptr env2 = nullptr;
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_DETTILIM, 1.0), 0);
  ASSERT_EQ(vnt::pushLimitFrameFromParams(*e), 0);
  e->counter->add(1u << 20);
  EXPECT_EQ(vnt::checkLimits(*e), 25);
  vnt::popLimitFrame(*e);
  (void)env2;
}

TEST_F(EnvTest, TimeLimitWithTheDummyCounterReadsTheClockEveryPoll) {
  ASSERT_EQ(vnt::pushLimitFrame(*e, 3600.0, 1e75), 0);
  vnt::pushCounter(*e, vnt::dummyCounter());
  e->clockReadings = 0;
  for (int i = 0; i < 10; ++i) EXPECT_EQ(vnt::checkLimits(*e), 0);
  EXPECT_EQ(e->clockReadings, 10);
  vnt::popCounter(*e);
  vnt::popLimitFrame(*e);
  ASSERT_EQ(vnt::pushLimitFrame(*e, 0.0, 1e75), 0);
  vnt::pushCounter(*e, vnt::dummyCounter());
  EXPECT_EQ(vnt::checkLimits(*e), 11);
  vnt::popCounter(*e);
  vnt::popLimitFrame(*e);
}

TEST_F(EnvTest, TimeLimitWithARealCounterIsPolledSparsely) {
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_CLOCKTYPE, 2), 0);
  ASSERT_EQ(vnt::pushLimitFrame(*e, 0.2, 1e75), 0);
  e->clockReadings = 0;
  long long polls = 0;
  int r = 0;
  double start = vnt::wallSeconds();
  while ((r = vnt::checkLimits(*e)) == 0 && vnt::wallSeconds() - start < 5.0) {
    e->counter->add(50);
    ++polls;
  }
  double elapsed = vnt::wallSeconds() - start;
  EXPECT_EQ(r, 11);
  EXPECT_GE(elapsed, 0.19);
  EXPECT_LT(elapsed, 2.0);
  EXPECT_GT(polls, 1000);
  // Readings are scheduled a quarter of the predicted distance ahead.
  EXPECT_LT(e->clockReadings * 50, polls);
  vnt::popLimitFrame(*e);
}

TEST_F(EnvTest, ChangingTheClockRebasesTheFrame) {
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_CLOCKTYPE, 2), 0);
  ASSERT_EQ(vnt::pushLimitFrame(*e, 100.0, 1e75), 0);
  EXPECT_EQ(e->limits->clockKind, 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_CLOCKTYPE, 1), 0);
  vnt::pushCounter(*e, vnt::dummyCounter());
  // The wall-clock deadline (about 1.7e9 s) would be far in the past on the
  // CPU clock's time line if it were not moved.
  EXPECT_EQ(vnt::checkLimits(*e), 0);
  EXPECT_EQ(e->limits->clockKind, 1);
  EXPECT_NEAR(e->limits->deadline - vnt::cpuSeconds(), 100.0, 5.0);
  vnt::popCounter(*e);
  vnt::popLimitFrame(*e);
}

// ---------------------------------------------------------------------------
// Warnings, log files and channels.

TEST_F(EnvTest, WarningLimiterStopsAfterTheLimit) {
  Capture w;
  ASSERT_EQ(VNTaddfuncdest(env, warn, &w, Capture::fn), 0);
  ASSERT_EQ(VNTsetlongparam(env, VNT_PARAM_WARNLIM, 2), 0);
  for (int i = 0; i < 3; ++i) vnt::modelWarning(*e, 1001, "x1");
  ASSERT_EQ(w.lines.size(), 3u);
  EXPECT_EQ(w.lines[0], "VANTO Warning  1001: Detected objective coefficient >= VNT_INFBOUND at x1.\n");
  EXPECT_EQ(w.lines[1], w.lines[0]);
  EXPECT_EQ(w.lines[2],
            "Too many warnings of this type have been detected.  All further warnings of this type "
            "will be ignored.\n");
  // Counts are per code.
  vnt::modelWarning(*e, 1009, "r", "c");
  ASSERT_EQ(w.lines.size(), 4u);
  EXPECT_EQ(w.lines[3], "VANTO Warning  1009: Detected nonzero >= VNT_INFBOUND at r, c.\n");
  // A code without a text uses the default row; limit 0 silences everything.
  vnt::modelWarning(*e, 1031);
  ASSERT_EQ(w.lines.size(), 5u);
  EXPECT_EQ(w.lines[4], "VANTO Warning  1031: Unknown modeling issue.\n");
  ASSERT_EQ(VNTsetlongparam(env, VNT_PARAM_WARNLIM, 0), 0);
  vnt::modelWarning(*e, 1002, "y");
  vnt::modelWarning(*e, 1031);
  EXPECT_EQ(w.lines.size(), 5u);
}

TEST_F(EnvTest, LogFileReceivesEveryChannel) {
  std::string dir = scratchDir();
  std::string path = dir + "/run.log";
  ASSERT_EQ(VNTsetlogfilename(env, path.c_str(), "w"), 0);
  char name[256];
  int surplus = 0;
  ASSERT_EQ(VNTgetlogfilename(env, name, sizeof name, &surplus), 0);
  EXPECT_EQ(std::string(name), path);
  EXPECT_EQ(surplus, static_cast<int>(sizeof name - path.size() - 1));
  EXPECT_EQ(VNTgetlogfilename(env, nullptr, 0, &surplus), 1207);
  EXPECT_EQ(surplus, -static_cast<int>(path.size() + 1));
  int junk[8] = {};
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 1), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(VNTgetnumrows(env, reinterpret_cast<VNTCLPptr>(junk)), 0);  // 1009 on the error channel
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "VANTO Error  1009: No problem exists.\n");
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 0), 0);
  vnt::print(*e, vnt::Chan::Log, "log line\n");
  vnt::print(*e, vnt::Chan::Results, "results line\n");
  ASSERT_EQ(VNTsetlogfilename(env, nullptr, nullptr), 0);
  EXPECT_EQ(VNTgetlogfilename(env, name, sizeof name, &surplus), 0);
  EXPECT_STREQ(name, "");
  vnt::print(*e, vnt::Chan::Log, "after close\n");
  std::string text = slurp(path);
  EXPECT_EQ(text, "VANTO Error  1009: No problem exists.\nlog line\nresults line\n");
  EXPECT_EQ(VNTsetlogfilename(env, path.c_str(), nullptr), 1004);
  // An unopenable file: 1422 with the name on the error channel.
  Capture errors;
  ASSERT_EQ(VNTaddfuncdest(env, err, &errors, Capture::fn), 0);
  std::string bad = dir + "/no/such/dir/x.log";
  EXPECT_EQ(VNTsetlogfilename(env, bad.c_str(), "w"), 1422);
  ASSERT_EQ(errors.lines.size(), 1u);
  EXPECT_EQ(errors.lines[0], "VANTO Error  1422: Could not open file '" + bad + "' for writing.\n");
}

TEST_F(EnvTest, CloneLogFiles) {
  std::string dir = scratchDir();
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, dir.c_str()), 0);
  int st = 0;
  // 0 (default): only when the parent has a log file.
  vnt::Env* c1 = vnt::openChildEnv(*e, &st);
  vnt::openCloneLog(*c1, *e, 1, "p", true);
  EXPECT_EQ(c1->logFile, nullptr);
  EXPECT_NE(access((dir + "/clone1.log").c_str(), F_OK), 0);
  ASSERT_EQ(VNTsetlogfilename(env, (dir + "/main.log").c_str(), "w"), 0);
  vnt::openCloneLog(*c1, *e, 1, "prob", true);
  ASSERT_NE(c1->logFile, nullptr);
  vnt::print(*c1, vnt::Chan::Log, "worker line\n");
  vnt::closeChildEnv(c1);
  std::string text = slurp(dir + "/clone1.log");
  EXPECT_EQ(text.rfind("\nLog for 'prob' Clone_1 (V22.1.1.0) ", 0), 0u) << text;
  EXPECT_NE(text.find("worker line\n"), std::string::npos);
  // -1: never; 1: always.
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_CLONELOG, -1), 0);
  vnt::Env* c2 = vnt::openChildEnv(*e, &st);
  vnt::openCloneLog(*c2, *e, 2, "p", false);
  EXPECT_EQ(c2->logFile, nullptr);
  ASSERT_EQ(VNTsetlogfilename(env, nullptr, nullptr), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_CLONELOG, 1), 0);
  vnt::openCloneLog(*c2, *e, 2, "p", false);
  EXPECT_NE(c2->logFile, nullptr);
  // A clone log that cannot be opened leaves the clone without one, silently.
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, (dir + "/missing").c_str()), 0);
  vnt::Env* c3 = vnt::openChildEnv(*e, &st);
  Capture errors;
  vnt::channelAddFunc(*vnt::channelOf(*c3, vnt::Chan::Error), &errors, Capture::fn);
  vnt::openCloneLog(*c3, *e, 3, "p", true);
  EXPECT_EQ(c3->logFile, nullptr);
  EXPECT_TRUE(errors.lines.empty());
}

TEST_F(EnvTest, FunctionDestinationsGetTheApiOrHiddenEncoding) {
  Capture out;
  ASSERT_EQ(VNTaddfuncdest(env, res, &out, Capture::fn), 0);
  vnt::print(*e, vnt::Chan::Results, "caf\xC3\xA9\n");  // UTF-8 inside
  ASSERT_EQ(out.lines.size(), 1u);
  EXPECT_EQ(out.lines[0], "caf\xE9\n");  // ISO-8859-1 by default
  ASSERT_EQ(VNTsetstrparam(env, 1134, "UTF-8"), 0);
  vnt::print(*e, vnt::Chan::Results, "caf\xC3\xA9\n");
  EXPECT_EQ(out.lines[1], "caf\xC3\xA9\n");
  // VNTmsgstr takes text in the API encoding.
  EXPECT_EQ(VNTmsgstr(res, "na\xEFve\n"), 6);
  EXPECT_EQ(out.lines[2], "na\xC3\xAFve\n");
  ASSERT_EQ(VNTsetstrparam(env, 1134, ""), 0);
  EXPECT_EQ(VNTmsgstr(res, "na\xEFve\n"), 6);
  EXPECT_EQ(out.lines[3], "na\xEFve\n");
  // Invalid UTF-8 in formatted output is repaired.
  ASSERT_EQ(VNTsetstrparam(env, 1134, "UTF-8"), 0);
  vnt::print(*e, vnt::Chan::Results, "bad %s ok\n", "\xFF\xC3");
  EXPECT_EQ(out.lines[4], "bad ?? ok\n");
}

TEST_F(EnvTest, FileDestinationsGetTheFileEncoding) {
  std::string path = scratchDir() + "/enc.log";
  ASSERT_EQ(VNTsetlogfilename(env, path.c_str(), "w"), 0);
  vnt::print(*e, vnt::Chan::Log, "\xC3\xA9t\xC3\xA9\n");
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_FILEENCODING, "UTF-8"), 0);
  vnt::print(*e, vnt::Chan::Log, "\xC3\xA9t\xC3\xA9\n");
  ASSERT_EQ(VNTsetlogfilename(env, nullptr, nullptr), 0);
  EXPECT_EQ(slurp(path), "\xE9t\xE9\n\xC3\xA9t\xC3\xA9\n");
}

TEST_F(EnvTest, ChannelLinesAndFlushing) {
  Capture out, w;
  ASSERT_EQ(VNTaddfuncdest(env, res, &out, Capture::fn), 0);
  ASSERT_EQ(VNTaddfuncdest(env, warn, &w, Capture::fn), 0);
  EXPECT_EQ(VNTaddfuncdest(env, nullptr, &out, Capture::fn), 1051);
  EXPECT_EQ(VNTaddfuncdest(env, res, &out, nullptr), 1053);
  EXPECT_EQ(VNTdelfuncdest(env, nullptr, &out, Capture::fn), 1051);
  EXPECT_EQ(VNTdelfuncdest(env, log, &out, Capture::fn), 1053);
  // envprintf: warning channel for which != 0, flushed.
  vnt::envprintf(*e, 1, "partial %d", 7);
  ASSERT_EQ(w.lines.size(), 1u);
  EXPECT_EQ(w.lines[0], "partial 7");
  vnt::envprintf(*e, 0, "to results\n");
  EXPECT_EQ(out.lines.back(), "to results\n");
  EXPECT_EQ(vnt::noprintf(*e, 0, "nothing"), 0);
  // Messages are limited to 2047 characters.
  std::string big(3000, 'y');
  vnt::print(*e, vnt::Chan::Results, "%s\n", big.c_str());
  ASSERT_EQ(VNTflushchannel(env, res), 0);
  EXPECT_EQ(out.lines.back(), std::string(2047, 'y'));
  // Destinations are called most recent first.
  Capture second;
  ASSERT_EQ(VNTaddfuncdest(env, res, &second, Capture::fn), 0);
  std::vector<std::string> order;
  struct Rec {
    std::vector<std::string>* o;
    std::string tag;
    static void fn(void* h, const char*) {
      auto* r = static_cast<Rec*>(h);
      r->o->push_back(r->tag);
    }
  } ra{&order, "a"}, rb{&order, "b"};
  ASSERT_EQ(VNTaddfuncdest(env, log, &ra, Rec::fn), 0);
  ASSERT_EQ(VNTaddfuncdest(env, log, &rb, Rec::fn), 0);
  VNTmsgstr(log, "x\n");
  EXPECT_EQ(order, (std::vector<std::string>{"b", "a"}));
  // Disconnect removes every destination; printing then produces nothing.
  EXPECT_EQ(VNTdisconnectchannel(env, log), 0);
  EXPECT_EQ(VNTdisconnectchannel(env, nullptr), 0);
  VNTmsgstr(log, "y\n");
  EXPECT_EQ(order.size(), 2u);
  // A pending partial line is delivered when the environment closes.
  VNTmsgstr(res, "unfinished");
  size_t before = out.lines.size();
  EXPECT_EQ(VNTcloseVANTO(&env), 0);
  ASSERT_EQ(out.lines.size(), before + 1);
  EXPECT_EQ(out.lines.back(), "unfinished");
}

// VNTflushstdchannels delivers the pending partial line of each of the four
// channels, and only those.
TEST_F(EnvTest, FlushStdChannelsDeliversPartialLines) {
  Capture got[4];
  VNTCHANNELptr chans[4] = {res, warn, err, log};
  for (int k = 0; k < 4; ++k) ASSERT_EQ(VNTaddfuncdest(env, chans[k], &got[k], Capture::fn), 0);
  const char* text[4] = {"results part", "warning part", "error part", "log part"};
  for (int k = 0; k < 4; ++k) VNTmsgstr(chans[k], text[k]);
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(got[k].lines.empty()) << k;
  EXPECT_EQ(VNTflushstdchannels(env), 0);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(got[k].lines, std::vector<std::string>{text[k]}) << k;
  // Nothing pending: a second flush delivers nothing.
  EXPECT_EQ(VNTflushstdchannels(env), 0);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(got[k].lines.size(), 1u) << k;
  for (int k = 0; k < 4; ++k) ASSERT_EQ(VNTdelfuncdest(env, chans[k], &got[k], Capture::fn), 0);
}

TEST_F(EnvTest, ScreenOutputAttachesStandardOutputExceptOnTheLog) {
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 1), 0);
  EXPECT_TRUE(vnt::channelScreenAttached(*vnt::channelOf(*e, vnt::Chan::Results)));
  EXPECT_TRUE(vnt::channelScreenAttached(*vnt::channelOf(*e, vnt::Chan::Warning)));
  EXPECT_TRUE(vnt::channelScreenAttached(*vnt::channelOf(*e, vnt::Chan::Error)));
  EXPECT_FALSE(vnt::channelScreenAttached(*vnt::channelOf(*e, vnt::Chan::Log)));
  testing::internal::CaptureStdout();
  vnt::print(*e, vnt::Chan::Results, "on screen\n");
  vnt::print(*e, vnt::Chan::Log, "not on screen\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "on screen\n");
  // Standard output gets the internal UTF-8 unconverted.
  testing::internal::CaptureStdout();
  vnt::print(*e, vnt::Chan::Results, "\xC3\xA9\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\xC3\xA9\n");
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 0), 0);
  EXPECT_FALSE(vnt::channelScreenAttached(*vnt::channelOf(*e, vnt::Chan::Results)));
  testing::internal::CaptureStdout();
  vnt::print(*e, vnt::Chan::Results, "silent\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// ---------------------------------------------------------------------------
// Processor configuration and thread binding.

TEST(Processors, HyperthreadingFlagFromCpuinfo) {
  std::string dir = scratchDir();
  auto write = [&](const char* name, const char* text) {
    std::string p = dir + "/" + name;
    std::ofstream(p) << text;
    return p;
  };
  EXPECT_EQ(vnt::readHyperthreading(
                write("ht", "processor\t: 0\nsiblings\t: 8\ncpu cores\t: 4\nsiblings\t: 2\n").c_str()),
            1);
  EXPECT_EQ(vnt::readHyperthreading(write("noht", "siblings\t: 4\ncpu cores\t: 4\n").c_str()), 0);
  EXPECT_EQ(vnt::readHyperthreading(write("nokey", "siblings\t: 8\n").c_str()), 0);
  EXPECT_EQ(vnt::readHyperthreading((dir + "/absent").c_str()), 0);
  EXPECT_EQ(vnt::procConfig().online, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
  EXPECT_EQ(vnt::procConfig().spare, -1);
}

TEST(Processors, CpuMaskSelectsProcessors) {
  int cpus[64];
  int n = -1;
  EXPECT_EQ(vnt::cpuMaskProcessors("auto", 8, 4, cpus, &n), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(vnt::cpuMaskProcessors("off", 8, 4, cpus, &n), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(vnt::cpuMaskProcessors("", 8, 4, cpus, &n), 3700);
  ASSERT_EQ(vnt::cpuMaskProcessors("5", 8, 4, cpus, &n), 0);  // 0101: processors 0 and 2
  ASSERT_EQ(n, 2);
  EXPECT_EQ(cpus[0], 0);
  EXPECT_EQ(cpus[1], 2);
  ASSERT_EQ(vnt::cpuMaskProcessors("A0", 8, 4, cpus, &n), 0);  // digit 1 = 1010: 5 and 7
  ASSERT_EQ(n, 2);
  EXPECT_EQ(cpus[0], 5);
  EXPECT_EQ(cpus[1], 7);
  ASSERT_EQ(vnt::cpuMaskProcessors("fff", 12, 3, cpus, &n), 0);  // at most one per thread
  EXPECT_EQ(n, 3);
  EXPECT_EQ(cpus[2], 2);
  EXPECT_EQ(vnt::cpuMaskProcessors("f0", 4, 4, cpus, &n), 3700);  // beyond the online count
}

TEST(Processors, WorkerThreadIsBoundToItsProcessor) {
  int cpus[1] = {0};
  int rc = -1, where = -1;
  std::thread t([&] {
    rc = vnt::bindWorkerThread(cpus, 1, 5);
    where = sched_getcpu();
  });
  t.join();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(where, 0);
  int none[1] = {100000};
  std::thread t2([&] { rc = vnt::bindWorkerThread(none, 1, 0); });
  t2.join();
  EXPECT_EQ(rc, 3700);
}

}  // namespace
