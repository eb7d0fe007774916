// The call recorder: the schema exactly as written, one database per
// switch-on, one row per outermost call with every argument (null and empty
// arrays included), calls made from inside a recorded call left out, several
// threads recording at once; and vanto-replay, which makes a recorded run of
// the vanto program and of a C program again without a difference and
// reports the differences of a tampered recording.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "api/recorder.h"
#include "common/models.h"
#include "vanto/vanto.h"

namespace {

namespace fs = std::filesystem;

// Runs the test in a private directory (the recorder writes into the
// current one).
struct InTempDir {
  fs::path old, dir;
  InTempDir() {
    old = fs::current_path();
    std::string t = (fs::temp_directory_path() / "vnt_rec_XXXXXX").string();
    dir = mkdtemp(t.data());
    fs::current_path(dir);
  }
  ~InTempDir() {
    fs::current_path(old);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::vector<std::string> databases() const {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(dir))
      // (a journal is left beside the database of a program that died)
      if (e.path().filename().string().rfind("vanto.db.", 0) == 0 && !e.path().string().ends_with("-journal"))
        v.push_back(e.path().string());
    return v;
  }
};

struct Db {
  sqlite3* db = nullptr;
  explicit Db(const std::string& path) { EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK); }
  ~Db() { sqlite3_close(db); }
  // Rows of a query, columns joined by '|'.
  std::vector<std::string> rows(const std::string& sql) const {
    std::vector<std::string> out;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
    while (st && sqlite3_step(st) == SQLITE_ROW) {
      std::string r;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        if (c) r += "|";
        const unsigned char* t = sqlite3_column_text(st, c);
        r += t ? reinterpret_cast<const char*>(t) : "NULL";
      }
      out.push_back(r);
    }
    sqlite3_finalize(st);
    return out;
  }
  long long count(const std::string& sql) const { return std::stoll(rows(sql).at(0)); }
};

VNTENVptr openEnv() {
  int st = 0;
  VNTENVptr env = VNTopenVANTO(&st);
  EXPECT_NE(env, nullptr);
  return env;
}

std::vector<std::string> functionsCalled(const Db& db) {
  return db.rows("SELECT f.name FROM calls c JOIN functions f ON f.id = c.func_id ORDER BY c.id;");
}

TEST(Recorder, SchemaIsCreatedByTheseStatementsOnce) {
  InTempDir tmp;
  VNTENVptr env = openEnv();
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_RECORD, 1), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_RECORD, 1), 0);  // already on: no second database
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_RECORD, 0), 0);  // and it stays on
  EXPECT_EQ(VNTgetnumcores(env, nullptr), 1004);
  VNTcloseVANTO(&env);
  const auto dbs = tmp.databases();
  ASSERT_EQ(dbs.size(), 1u);
  EXPECT_EQ(fs::path(dbs[0]).filename().string().size(), std::string("vanto.db.XXXXXX").size());
  Db db(dbs[0]);
  const std::string e = "CREATE TABLE %s (  id INTEGER NOT NULL,  name TEXT NOT NULL UNIQUE,  PRIMARY KEY(id) )";
  auto enumTable = [&](const char* name) {
    std::string s = e;
    s.replace(s.find("%s"), 2, name);
    return std::string(name) + "|" + s;
  };
  const std::vector<std::string> want = {
      "db_info|CREATE TABLE `db_info` (  name TEXT NOT NULL,  version INTEGER NOT NULL,  sqlite_version TEXT NOT NULL,  "
      "platform TEXT NOT NULL DEFAULT 'UNKNOWN',  vanto_version TEXT NOT NULL DEFAULT 'UNKNOWN')",
      "functions|CREATE TABLE functions (  id INTEGER NOT NULL,  name TEXT NOT NULL UNIQUE,  PRIMARY KEY(id) )",
      "calls|CREATE TABLE calls (  id INTEGER NOT NULL,  func_id INTEGER NOT NULL,  PRIMARY KEY(id),  FOREIGN "
      "KEY(func_id) REFERENCES functions ( id ) )",
      enumTable("arg_types"),
      enumTable("data_types"),
      enumTable("param_types"),
      "parameters|CREATE TABLE parameters ( id INTEGER NOT NULL, number INTEGER NOT NULL CHECK (number >= 0), "
      "data_type INTEGER NOT NULL, param_type INTEGER NOT NULL, arg_type INTEGER NOT NULL, PRIMARY KEY(id), FOREIGN "
      "KEY(data_type) REFERENCES data_types (id), FOREIGN KEY(param_type) REFERENCES param_types (id), FOREIGN "
      "KEY(arg_type) REFERENCES arg_types (id))",
  };
  const auto got = db.rows("SELECT name, sql FROM sqlite_master WHERE type = 'table' ORDER BY rowid;");
  ASSERT_EQ(got.size(), want.size() + 2);
  for (std::size_t k = 0; k < want.size(); ++k) EXPECT_EQ(got[k], want[k]);
  EXPECT_EQ(got[want.size()].substr(0, 10), "arguments|");
  for (const char* col : {"call_id INTEGER NOT NULL", "param_index INTEGER NOT NULL CHECK (param_index >= -1)",
                          "chr_value INTEGER", "dbl_value REAL", "int_value INTEGER", "txt_value TEXT",
                          "PRIMARY KEY(call_id, param_id, param_index)"})
    EXPECT_NE(got[want.size()].find(col), std::string::npos) << col;
  EXPECT_EQ(got.back(),
            "return_values|CREATE TABLE return_values (  call_id INTEGER NOT NULL,  data_type INTEGER NOT NULL,  "
            "arg_type INTEGER NOT NULL,  dbl_value REAL,  int_value INTEGER,  txt_value TEXT,  PRIMARY KEY(call_id),  "
            "FOREIGN KEY(`call_id`) REFERENCES calls ( id ),  FOREIGN KEY(`data_type`) REFERENCES data_types ( id ),  "
            "FOREIGN KEY(`arg_type`) REFERENCES arg_types ( id ) )");
  const auto info = db.rows("SELECT name, version, sqlite_version = sqlite_version(), vanto_version FROM db_info;");
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0].substr(0, 17), "vntrecording|4|1|");
  EXPECT_EQ(info[0].substr(17, 9), "22.1.1.0 ");
  EXPECT_EQ(db.rows("SELECT id, name FROM arg_types ORDER BY id;"),
            (std::vector<std::string>{"1|ARG_TYPE_CHR", "2|ARG_TYPE_INT", "3|ARG_TYPE_DBL", "4|ARG_TYPE_TXT",
                                      "5|ARG_TYPE_NULL", "6|ARG_TYPE_VOID"}));
  EXPECT_EQ(db.rows("SELECT id, name FROM param_types ORDER BY id;"),
            (std::vector<std::string>{"1|PARAM_TYPE_INPUT", "2|PARAM_TYPE_OUTPUT"}));
  const auto types = db.rows("SELECT id, name FROM data_types ORDER BY id;");
  ASSERT_EQ(types.size(), 54u);
  EXPECT_EQ(types[0], "1|DATA_TYPE_VNTENV_PTR");
  EXPECT_EQ(types[42], "43|DATA_TYPE_VNTENV_CONST_PTR");
  EXPECT_EQ(types[53], "54|DATA_TYPE_VNTPARAMSET_CONST_PTR_CONST_PTR");
  // The calls after the switch: the two settings, getnumcores with a null
  // output (refused), the close.
  EXPECT_EQ(functionsCalled(db),
            (std::vector<std::string>{"VNTsetintparam", "VNTsetintparam", "VNTgetnumcores", "VNTcloseVANTO"}));
  EXPECT_EQ(db.rows("SELECT p.number, p.data_type, p.param_type, p.arg_type, a.param_index, a.int_value FROM "
                    "arguments a JOIN parameters p ON p.id = a.param_id WHERE a.call_id = 2 AND p.number > 0 ORDER BY "
                    "p.id;"),
            (std::vector<std::string>{"1|2|1|2|-1|1162", "2|2|1|2|-1|0"}));
  EXPECT_EQ(db.rows("SELECT p.number, p.data_type, p.param_type, p.arg_type, a.param_index FROM arguments a JOIN "
                    "parameters p ON p.id = a.param_id WHERE a.call_id = 3 ORDER BY p.id;"),
            (std::vector<std::string>{"0|43|1|2|-1", "1|4|1|5|-1"}));
  EXPECT_EQ(db.rows("SELECT data_type, arg_type, int_value FROM return_values WHERE call_id = 3;"),
            (std::vector<std::string>{"2|2|1004"}));

  // An existing database keeps its tables and rows.
  ASSERT_EQ(sqlite3_exec(db.db, "INSERT INTO functions (name) VALUES ('marker');", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(vnt::api::rec::prepareDatabase(dbs[0].c_str()), 0);
  EXPECT_EQ(db.count("SELECT count(*) FROM functions WHERE name = 'marker';"), 1);
  EXPECT_EQ(db.count("SELECT count(*) FROM db_info;"), 1);
}

TEST(Recorder, EveryOutermostCallWithItsArguments) {
  InTempDir tmp;
  VNTENVptr env = openEnv();
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_RECORD, 1), 0);
  int st = 0;
  VNTLPptr lp = VNTcreateprob(env, &st, "p");
  // A message destination that calls the library while a recorded call runs.
  struct Probe {
    VNTENVptr env;
    VNTLPptr lp;
    int calls = 0;
  } probe{env, nullptr};
  auto fn = [](void* h, const char*) {
    auto* p = static_cast<Probe*>(h);
    if (p->lp) VNTgetnumcols(p->env, p->lp);
    ++p->calls;
  };
  VNTCHANNELptr res, warn, err, log;
  ASSERT_EQ(VNTgetchannels(env, &res, &warn, &err, &log), 0);
  ASSERT_EQ(VNTaddfuncdest(env, log, &probe, fn), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 0), 0);
  ASSERT_EQ(VNTreadcopyprob(env, lp, vnt::test::modelPath("netlib", "afiro").c_str(), nullptr), 0);
  probe.lp = lp;
  const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
  ASSERT_EQ(VNTchgobj(env, lp, 0, nullptr, nullptr), 0);  // null arrays
  int ind[2] = {0, 1};
  double val[2] = {-1.0, 0.5};
  ASSERT_EQ(VNTchgobj(env, lp, 2, ind, val), 0);
  ASSERT_EQ(VNTsetintparam(env, 1019, 1), 0);  // the simplex log calls the probe
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_GT(probe.calls, 0);
  std::vector<double> x(n);
  ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0);
  EXPECT_EQ(VNTgetx(env, lp, x.data(), 0, n + 5), 1200);
  VNTfreeprob(env, &lp);
  VNTcloseVANTO(&env);

  const auto dbs = tmp.databases();
  ASSERT_EQ(dbs.size(), 1u);
  Db db(dbs[0]);
  EXPECT_EQ(functionsCalled(db),
            (std::vector<std::string>{"VNTcreateprob", "VNTgetchannels", "VNTaddfuncdest", "VNTsetintparam",
                                      "VNTreadcopyprob", "VNTgetnumcols", "VNTgetnumrows", "VNTchgobj", "VNTchgobj",
                                      "VNTsetintparam", "VNTlpopt", "VNTgetx", "VNTgetx", "VNTfreeprob",
                                      "VNTcloseVANTO"}));
  // Every call has its return value.
  EXPECT_EQ(db.count("SELECT count(*) FROM calls c LEFT JOIN return_values r ON r.call_id = c.id WHERE r.call_id IS "
                     "NULL;"),
            0);
  auto args = [&](int call, int number, int ptype) {
    return db.rows("SELECT p.data_type, p.arg_type, a.param_index, coalesce(a.int_value, a.dbl_value, a.txt_value, "
                   "a.chr_value, 'NULL') FROM arguments a JOIN parameters p ON p.id = a.param_id WHERE a.call_id = " +
                   std::to_string(call) + " AND p.number = " + std::to_string(number) +
                   " AND p.param_type = " + std::to_string(ptype) + " ORDER BY a.param_index;");
  };
  // chgobj with a zero count and null arrays: one NULL row each.
  EXPECT_EQ(args(8, 2, 1), std::vector<std::string>{"7|2|-1|0"});
  EXPECT_EQ(args(8, 3, 1), std::vector<std::string>{"15|5|-1|NULL"});
  EXPECT_EQ(args(8, 4, 1), std::vector<std::string>{"8|5|-1|NULL"});
  EXPECT_EQ(args(9, 3, 1), (std::vector<std::string>{"15|2|0|0", "15|2|1|1"}));
  EXPECT_EQ(args(9, 4, 1), (std::vector<std::string>{"8|3|0|-1.0", "8|3|1|0.5"}));
  // readcopyprob's file name and null type.
  EXPECT_EQ(args(5, 2, 1), std::vector<std::string>{"5|4|-1|" + vnt::test::modelPath("netlib", "afiro")});
  EXPECT_EQ(args(5, 3, 1), std::vector<std::string>{"5|5|-1|NULL"});
  // getx: one output row per value of the range; the failed range has none.
  const auto xs = args(12, 2, 2);
  ASSERT_EQ(xs.size(), static_cast<std::size_t>(n));
  EXPECT_EQ(xs[0].substr(0, 7), "14|3|0|");
  EXPECT_TRUE(args(13, 2, 2).empty());
  EXPECT_EQ(db.rows("SELECT int_value FROM return_values WHERE call_id IN (6, 7, 13) ORDER BY call_id;"),
            (std::vector<std::string>{std::to_string(n), std::to_string(m), "1200"}));
  // The library's own calls into the probe's getnumcols were not recorded.
  EXPECT_EQ(db.count("SELECT count(*) FROM calls;"), 15);
}

TEST(Recorder, SeveralThreadsRecordAtOnce) {
  InTempDir tmp;
  constexpr int kThreads = 4, kCalls = 60;
  std::atomic<int> bad{0};
  std::vector<std::thread> ts;
  for (int t = 0; t < kThreads; ++t)
    ts.emplace_back([&] {
      VNTENVptr env = openEnv();
      if (VNTsetintparam(env, VNT_PARAM_RECORD, 1) != 0) ++bad;
      int st = 0;
      VNTLPptr lp = VNTcreateprob(env, &st, "t");
      double obj = 1, lb = 0, ub = 1;
      for (int k = 0; k < kCalls; ++k)
        if (VNTnewcols(env, lp, 1, &obj, &lb, &ub, nullptr, nullptr) != 0) ++bad;
      if (VNTgetnumcols(env, lp) != kCalls) ++bad;
      VNTfreeprob(env, &lp);
      VNTcloseVANTO(&env);
    });
  for (auto& t : ts) t.join();
  EXPECT_EQ(bad.load(), 0);
  const auto dbs = tmp.databases();
  ASSERT_EQ(dbs.size(), static_cast<std::size_t>(kThreads));
  long long total = 0;
  for (const auto& p : dbs) {
    Db db(p);
    const long long calls = db.count("SELECT count(*) FROM calls;");
    total += calls;
    // A call that another thread's recorded call overlapped passed through
    // unrecorded; the recorded ones are complete.
    EXPECT_EQ(db.count("SELECT count(*) FROM return_values;"), calls);
    EXPECT_EQ(db.count("SELECT count(*) FROM calls c JOIN functions f ON f.id = c.func_id WHERE f.name = "
                       "'VNTnewcols' AND (SELECT count(*) FROM arguments a WHERE a.call_id = c.id) != 8;"),
              0);
  }
  EXPECT_GT(total, 0);
  EXPECT_LE(total, kThreads * (kCalls + 4));
}

// An allocator that marks its blocks and counts the live ones: a block it
// did not make, or one released twice, is counted as foreign.
struct CountingAllocator {
  VNTALLOCATOR base;
  std::atomic<long long> live{0}, made{0}, foreign{0};
  static constexpr unsigned long long kMark = 0x5a17c0de5a17c0deULL;
  // Before each block: its size, the mark and the pointer malloc gave.
  struct Head {
    size_t size;
    unsigned long long mark;
    void* raw;
  };

  CountingAllocator() : base{&base, allocate, allocatezeroed, allocatealigned, reallocate, release, 0} {}
  static CountingAllocator* of(VNTALLOCATOR* a) { return reinterpret_cast<CountingAllocator*>(a); }
  static Head* head(void* p) { return static_cast<Head*>(p) - 1; }
  static void* make(VNTALLOCATOR* a, size_t n, size_t align, bool zero) {
    const size_t off = std::max<size_t>(32, align);
    void* raw = std::malloc(n + off + align);
    if (!raw) return nullptr;
    if (zero) std::memset(raw, 0, n + off + align);
    uintptr_t u = reinterpret_cast<uintptr_t>(raw) + off;
    u = (u + align - 1) / align * align;
    void* p = reinterpret_cast<void*>(u);
    *head(p) = {n, kMark, raw};
    ++of(a)->live;
    ++of(a)->made;
    return p;
  }
  static bool ours(VNTALLOCATOR* a, void* p) {
    if (head(p)->mark == kMark) return true;
    ++of(a)->foreign;
    return false;
  }
  static void* allocate(VNTALLOCATOR* a, size_t n) { return make(a, n, 16, false); }
  static void* allocatezeroed(VNTALLOCATOR* a, size_t k, size_t n) { return make(a, k * n, 16, true); }
  static void* allocatealigned(VNTALLOCATOR* a, size_t al, size_t n) { return make(a, n, std::max<size_t>(al, 16), false); }
  static void* reallocate(VNTALLOCATOR* a, void* p, size_t n) {
    if (!p) return allocate(a, n);
    if (!ours(a, p)) return nullptr;
    void* q = allocate(a, n);
    if (q) {
      std::memcpy(q, p, std::min(n, head(p)->size));
      release(a, p);
    }
    return q;
  }
  static void release(VNTALLOCATOR* a, void* p) {
    if (!p || !ours(a, p)) return;
    head(p)->mark = 0;
    --of(a)->live;
    std::free(head(p)->raw);
  }
};

// The database connection stays open from call to call and allocates through
// the environment's allocator; closing the environment gives every block
// back to that allocator and leaves the recording complete.
TEST(Recorder, ConnectionUsesTheEnvironmentsAllocatorAndClosesWithIt) {
  InTempDir tmp;
  // The same calls with recording off and on, each environment on its own
  // counting allocator.
  auto run = [&](CountingAllocator& alloc, bool record) -> long long {
    int st = 0;
    VNTENVptr env = VNTEopenVANTOallocator(&alloc.base, &st);
    EXPECT_NE(env, nullptr);
    if (!env) return 0;
    VNTLPptr lp = VNTcreateprob(env, &st, "p");
    if (record) {
      EXPECT_EQ(VNTsetintparam(env, VNT_PARAM_RECORD, 1), 0);
    }
    double obj = 1, lb = 0, ub = 1;
    const long long before = alloc.made.load();
    for (int k = 0; k < 40; ++k) EXPECT_EQ(VNTnewcols(env, lp, 1, &obj, &lb, &ub, nullptr, nullptr), 0);
    EXPECT_EQ(VNTgetnumcols(env, lp), 40);
    const long long made = alloc.made.load() - before;
    VNTfreeprob(env, &lp);
    VNTcloseVANTO(&env);
    return made;
  };
  CountingAllocator plain, recorded;
  const long long plainCalls = run(plain, false);
  const long long recordedCalls = run(recorded, true);
  // The database library's pages, statements and connection came from the
  // environment's allocator, and all went back to it at the close.
  EXPECT_TRUE(vnt::api::rec::databaseMemoryRouted());
  EXPECT_GT(recordedCalls - plainCalls, 40) << plainCalls << " blocks without recording, " << recordedCalls << " with";
  EXPECT_EQ(recorded.live.load(), 0) << "blocks left with the allocator after the environment closed";
  EXPECT_EQ(recorded.foreign.load(), 0);
  EXPECT_EQ(plain.live.load(), 0);
  // The close itself is recorded (its result after the environment is gone).
  const auto dbs = tmp.databases();
  ASSERT_EQ(dbs.size(), 1u);
  Db db(dbs[0]);
  EXPECT_EQ(functionsCalled(db).back(), "VNTcloseVANTO");
  EXPECT_EQ(db.count("SELECT count(*) FROM return_values;"), 43);
}

// A program that dies inside a recorded call leaves every call before it with
// its results and the dying call with its arguments; one that exits without
// closing its environment loses nothing.
TEST(Recorder, RecordingSurvivesTheProgramsEnd) {
  InTempDir tmp;
  // In a child process: record a few calls, then die inside lpopt (from its
  // log output) or exit normally with the environment still open.
  auto child = [](bool dieInside) {
    VNTENVptr env = openEnv();
    if (!env || VNTsetintparam(env, VNT_PARAM_RECORD, 1) != 0) _exit(10);
    int st = 0;
    VNTLPptr lp = VNTcreateprob(env, &st, "p");
    VNTCHANNELptr res, warn, err, log;
    if (VNTgetchannels(env, &res, &warn, &err, &log) != 0) _exit(11);
    static bool armed = false;
    if (VNTaddfuncdest(env, log, nullptr, [](void*, const char*) {
          if (armed) _exit(7);
        }) != 0)
      _exit(12);
    if (VNTsetintparam(env, VNT_PARAM_SCRIND, 0) != 0 || VNTsetintparam(env, 1019, 1) != 0) _exit(13);
    if (VNTreadcopyprob(env, lp, vnt::test::modelPath("netlib", "afiro").c_str(), nullptr) != 0) _exit(14);
    if (VNTgetnumcols(env, lp) != 32) _exit(15);
    armed = dieInside;
    if (VNTlpopt(env, lp) != 0) _exit(16);
    exit(0);  // the environment is never closed
  };
  for (bool dieInside : {true, false}) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) child(dieInside);
    int wst = 0;
    ASSERT_EQ(waitpid(pid, &wst, 0), pid);
    ASSERT_TRUE(WIFEXITED(wst));
    EXPECT_EQ(WEXITSTATUS(wst), dieInside ? 7 : 0);
    auto dbs = tmp.databases();
    ASSERT_EQ(dbs.size(), 1u);
    {
      Db db(dbs[0]);
      EXPECT_EQ(functionsCalled(db),
                (std::vector<std::string>{"VNTcreateprob", "VNTgetchannels", "VNTaddfuncdest", "VNTsetintparam",
                                          "VNTsetintparam", "VNTreadcopyprob", "VNTgetnumcols", "VNTlpopt"}));
      const long long lpopt = db.count("SELECT max(id) FROM calls;");
      EXPECT_EQ(db.count("SELECT count(*) FROM arguments WHERE call_id = " + std::to_string(lpopt) + ";"), 2);
      EXPECT_EQ(db.count("SELECT count(*) FROM return_values;"), dieInside ? 7 : 8);
      EXPECT_EQ(db.rows("SELECT int_value FROM return_values WHERE call_id = 7;"), std::vector<std::string>{"32"});
    }
    fs::remove(dbs[0]);
    fs::remove(dbs[0] + "-journal");
  }
}

// Arrays whose length is a count of the problem: one row per element, input
// and output (the MIP starts of delsetmipstarts).
TEST(Recorder, DeleteSetArraysHaveTheProblemsLength) {
  InTempDir tmp;
  VNTENVptr env = openEnv();
  int st = 0;
  VNTLPptr lp = VNTcreateprob(env, &st, "p");
  double obj = 1, lb = 0, ub = 5;
  char type = 'I';
  ASSERT_EQ(VNTnewcols(env, lp, 1, &obj, &lb, &ub, &type, nullptr), 0);
  int beg[3] = {0, 1, 2}, ind[3] = {0, 0, 0}, effort[3] = {0, 0, 0};
  double val[3] = {1, 2, 3};
  ASSERT_EQ(VNTaddmipstarts(env, lp, 3, 3, beg, ind, val, effort, nullptr), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_RECORD, 1), 0);
  int delstat[3] = {1, 0, 1};
  ASSERT_EQ(VNTdelsetmipstarts(env, lp, delstat), 0);
  EXPECT_EQ(VNTgetnummipstarts(env, lp), 1);
  VNTfreeprob(env, &lp);
  VNTcloseVANTO(&env);
  const auto dbs = tmp.databases();
  ASSERT_EQ(dbs.size(), 1u);
  Db db(dbs[0]);
  auto rows = [&](int ptype) {
    return db.rows("SELECT a.param_index, a.int_value FROM arguments a JOIN parameters p ON p.id = a.param_id JOIN "
                   "calls c ON c.id = a.call_id JOIN functions f ON f.id = c.func_id WHERE f.name = "
                   "'VNTdelsetmipstarts' AND p.number = 2 AND p.param_type = " +
                   std::to_string(ptype) + " ORDER BY a.param_index;");
  };
  EXPECT_EQ(rows(1), (std::vector<std::string>{"0|1", "1|0", "2|1"}));
  EXPECT_EQ(rows(2), (std::vector<std::string>{"0|-1", "1|0", "2|-1"}));
}

// ---------------------------------------------------------------------------
// vanto-replay

struct Outcome {
  int status = -1;
  std::string out;
};

Outcome shell(const std::string& line) {
  Outcome r;
  FILE* p = popen(("(" + line + ") 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t k;
  while ((k = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, k);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

TEST(Replay, RecordedRunOfTheProgramReplaysWithoutDifference) {
  InTempDir tmp;
  for (const char* model : {"afiro", "sc105"}) {
    const std::string db = (tmp.dir / (std::string(model) + ".db")).string();
    Outcome r = shell(std::string(VANTO_CLI) + " --print-solution --record " + db + " " +
                      vnt::test::modelPath("netlib", model));
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_TRUE(fs::exists(db));
    EXPECT_TRUE(tmp.databases().empty());  // renamed to the given name
    Outcome p = shell(std::string(VANTO_REPLAY) + " " + db);
    EXPECT_EQ(p.status, 0) << p.out;
    EXPECT_NE(p.out.find("calls: no differences.\n"), std::string::npos) << p.out;
    Db d(db);
    EXPECT_GT(d.count("SELECT count(*) FROM calls c JOIN functions f ON f.id = c.func_id WHERE f.name = 'VNTgetx';"),
              0);
  }
  // A MIP run too.
  const std::string db = (tmp.dir / "p0033.db").string();
  Outcome r = shell(std::string(VANTO_CLI) + " --record " + db + " " + vnt::test::modelPath("miplib3", "p0033"));
  ASSERT_EQ(r.status, 0) << r.out;
  Outcome p = shell(std::string(VANTO_REPLAY) + " " + db);
  EXPECT_EQ(p.status, 0) << p.out;
}

TEST(Replay, RecordedCProgramReplaysAndTamperingIsFound) {
  InTempDir tmp;
  Outcome r = shell(RECORD_PROGRAM);
  ASSERT_EQ(r.status, 0) << r.out;
  ASSERT_EQ(r.out.rfind("vanto.db.", 0), 0u) << r.out;
  const std::string db = (tmp.dir / r.out.substr(0, r.out.find('\n'))).string();
  Outcome p = shell(std::string(VANTO_REPLAY) + " -v " + db);
  EXPECT_EQ(p.status, 0) << p.out;
  EXPECT_NE(p.out.find("calls: no differences.\n"), std::string::npos) << p.out;
  EXPECT_NE(p.out.find("VNTLgetitcnt: same"), std::string::npos) << p.out;
  EXPECT_NE(p.out.find("VNTgetcolname: same"), std::string::npos) << p.out;
  {
    Db d(db);
    EXPECT_EQ(d.count("SELECT count(*) FROM calls;"), 22);
    // Tamper: another objective value, another status and another name.
    ASSERT_EQ(sqlite3_exec(d.db,
                           "UPDATE arguments SET dbl_value = dbl_value + 1 WHERE dbl_value IS NOT NULL AND call_id = "
                           "(SELECT min(c.id) FROM calls c JOIN functions f ON f.id = c.func_id WHERE f.name = "
                           "'VNTgetobjval') AND param_id IN (SELECT id FROM parameters WHERE param_type = 2);"
                           "UPDATE return_values SET int_value = 1 WHERE call_id = (SELECT min(c.id) FROM calls c "
                           "JOIN functions f ON f.id = c.func_id WHERE f.name = 'VNTlpopt');"
                           "UPDATE arguments SET txt_value = 'w' WHERE txt_value = 'y' AND param_id IN (SELECT id "
                           "FROM parameters WHERE param_type = 2);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
  }
  p = shell(std::string(VANTO_REPLAY) + " " + db);
  EXPECT_EQ(p.status, 1) << p.out;
  EXPECT_NE(p.out.find("VNTgetobjval: argument 2:"), std::string::npos) << p.out;
  EXPECT_NE(p.out.find("VNTlpopt: returned 0, recorded 1"), std::string::npos) << p.out;
  EXPECT_NE(p.out.find("VNTgetcolname: argument 2[1]: \"y\", recorded \"w\""), std::string::npos) << p.out;
  EXPECT_NE(p.out.find("calls: 3 differ.\n"), std::string::npos) << p.out;
  // Not a recording.
  p = shell(std::string(VANTO_REPLAY) + " " + (tmp.dir / "none.db").string());
  EXPECT_EQ(p.status, 2) << p.out;
}

}  // namespace
