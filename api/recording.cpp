// The call recorder: switching an environment to the recording table set,
// creating the database, and recording one call (its arguments before it,
// its return value and output arguments after it).
//
// The connection and its prepared statements stay open from one call to the
// next, holding the database file exclusively, and are closed with the
// environment (or at the process's exit).  The results of a call are written
// into a transaction that stays open and is committed together with the
// arguments of the next call, before that call runs: whenever the library is
// at work on a recorded call, everything recorded before it and the call's
// own arguments stand on disk, so a run that dies inside the library leaves
// a complete recording of what led there.  Only the results of the last call
// wait for the next call, the environment's close or the process's normal
// exit; a program that dies in its own code after that call loses them.  A
// failure to commit them is the next call's recording failure (that call is
// not made).
//
// The database library allocates through the environment's allocator: a
// process-wide set of memory routines (installed once, before the library is
// initialized) hands each request to the calling thread's current allocator,
// which every database sequence sets to its environment's and restores
// after.  Each block remembers the allocator that made it, so it is released
// by that one whatever the current allocator is when it is freed; without a
// current allocator (or when the host program had started the database
// library before us) the routines in place before ours serve.
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "api/frame.h"
#include "api/recorder.h"
#include "env/env.h"
#include "model/attachments.h"
#include "model/problem.h"
#include "network/network.h"
#include "params/params.h"

#ifndef VANTO_BUILD_DATE
#define VANTO_BUILD_DATE __DATE__
#endif
#ifndef VANTO_BUILD_ID
#define VANTO_BUILD_ID "local"
#endif

namespace vnt::api {

namespace {

std::mutex gNestingMutex;
std::mutex rdb_callid_lock;  // serializes the creation of call rows

// ---------------------------------------------------------------------------
// Memory of the database library.

thread_local VNTALLOCATOR* tAllocator = nullptr;  // the thread's current allocator
sqlite3_mem_methods gPrevious{};                  // the routines before ours

// Before each block; keeps the 8-byte alignment the database library needs
// (the previous routines give no more than that).
struct BlockHead {
  VNTALLOCATOR* owner;  // null: made by the previous routines
  size_t size;
};
static_assert(sizeof(BlockHead) % 8 == 0 && alignof(BlockHead) <= 8);

BlockHead* headOf(void* p) { return static_cast<BlockHead*>(p) - 1; }

void* routedMalloc(int n) {
  if (n <= 0) return nullptr;
  VNTALLOCATOR* a = tAllocator;
  const size_t total = sizeof(BlockHead) + static_cast<size_t>(n);
  void* raw = a ? a->allocate(a, total) : gPrevious.xMalloc(static_cast<int>(total));
  if (!raw) return nullptr;
  auto* h = static_cast<BlockHead*>(raw);
  h->owner = a;
  h->size = static_cast<size_t>(n);
  return h + 1;
}

void routedFree(void* p) {
  if (!p) return;
  BlockHead* h = headOf(p);
  if (h->owner) h->owner->release(h->owner, h);
  else gPrevious.xFree(h);
}

void* routedRealloc(void* p, int n) {
  if (!p) return routedMalloc(n);
  if (n <= 0) return nullptr;
  BlockHead* h = headOf(p);
  VNTALLOCATOR* a = h->owner;  // a block stays with the allocator that made it
  const size_t total = sizeof(BlockHead) + static_cast<size_t>(n);
  void* raw = a ? a->reallocate(a, h, total) : gPrevious.xRealloc(h, static_cast<int>(total));
  if (!raw) return nullptr;
  h = static_cast<BlockHead*>(raw);
  h->size = static_cast<size_t>(n);
  return h + 1;
}

int routedSize(void* p) { return p ? static_cast<int>(headOf(p)->size) : 0; }
int routedRoundup(int n) { return (n + 7) & ~7; }
int routedInit(void*) { return gPrevious.xInit ? gPrevious.xInit(gPrevious.pAppData) : SQLITE_OK; }
void routedShutdown(void*) {
  if (gPrevious.xShutdown) gPrevious.xShutdown(gPrevious.pAppData);
}

sqlite3_mem_methods gRouted = {routedMalloc, routedFree,   routedRealloc,  routedSize,
                               routedRoundup, routedInit, routedShutdown, nullptr};

// Installs the routines before the first use of the database library (a
// library already started by the host program keeps its own), then starts
// the library with no allocator current, so that what it keeps for the whole
// process does not come from an environment.
void routeDatabaseMemory() {
  static std::once_flag once;
  std::call_once(once, [] {
    sqlite3_mem_methods prev{};
    if (sqlite3_config(SQLITE_CONFIG_GETMALLOC, &prev) == SQLITE_OK && prev.xMalloc && prev.xFree &&
        prev.xRealloc) {
      gPrevious = prev;
      if (sqlite3_config(SQLITE_CONFIG_MALLOC, &gRouted) != SQLITE_OK) gPrevious = {};
    }
    VNTALLOCATOR* saved = tAllocator;
    tAllocator = nullptr;
    sqlite3_initialize();
    tAllocator = saved;
  });
}

// The allocator of one database sequence, restored at the end of the scope.
class AllocatorScope {
 public:
  explicit AllocatorScope(VNTALLOCATOR* a) : saved_(tAllocator) {
    routeDatabaseMemory();
    tAllocator = a;
  }
  ~AllocatorScope() { tAllocator = saved_; }
  AllocatorScope(const AllocatorScope&) = delete;
  AllocatorScope& operator=(const AllocatorScope&) = delete;

 private:
  VNTALLOCATOR* saved_;
};

#if defined(__x86_64__)
constexpr const char* kPlatform = "x86-64_linux";
#elif defined(__aarch64__)
constexpr const char* kPlatform = "arm64_linux";
#elif defined(__powerpc64__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr const char* kPlatform = "ppc64le_linux";
#else
constexpr const char* kPlatform = "linux";
#endif

constexpr int kRecordFailure = 1;  // a database step failed
constexpr int kSchemaVersion = 4;

// Busy results are retried after sleeping 1 ms, 2 ms, ... up to 100 ms.
template <class Fn>
int withRetry(Fn fn) {
  int rc = fn();
  for (int k = 1; rc == SQLITE_BUSY && k <= 100; ++k) {
    usleep(static_cast<useconds_t>(k) * 1000);
    rc = fn();
  }
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int exec(sqlite3* db, const char* sql) {
  return withRetry([&] { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); });
}

int step(sqlite3_stmt* st) {
  return withRetry([&] {
    int rc = sqlite3_step(st);
    if (rc == SQLITE_BUSY) sqlite3_reset(st);
    return rc;
  });
}

const char* const kEnumTemplate = "CREATE TABLE %s (  id INTEGER NOT NULL,  name TEXT NOT NULL UNIQUE,  PRIMARY KEY(id) );";
const char* const kEnumInsert = "INSERT INTO %s (id, name) VALUES (?, ?);";

const char* const kArgTypeNames[] = {"ARG_TYPE_CHR", "ARG_TYPE_INT", "ARG_TYPE_DBL",
                                     "ARG_TYPE_TXT", "ARG_TYPE_NULL", "ARG_TYPE_VOID"};
const char* const kParamTypeNames[] = {"PARAM_TYPE_INPUT", "PARAM_TYPE_OUTPUT"};

int fillEnum(sqlite3* db, const char* table, const char* const* names, int count) {
  char sql[256];
  snprintf(sql, sizeof sql, kEnumTemplate, table);
  if (exec(db, sql) != SQLITE_OK) return kRecordFailure;
  snprintf(sql, sizeof sql, kEnumInsert, table);
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) return kRecordFailure;
  int rc = 0;
  for (int k = 0; k < count && rc == 0; ++k) {
    sqlite3_bind_int(st, 1, k + 1);
    sqlite3_bind_text(st, 2, names[k], -1, SQLITE_STATIC);
    if (step(st) != SQLITE_OK) rc = kRecordFailure;
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  return rc;
}

std::string fullVersion() {
  return std::string(kVersionString) + " | " + VANTO_BUILD_DATE + " | " + VANTO_BUILD_ID;
}

int createSchema(sqlite3* db) {
  if (exec(db, "PRAGMA foreign_keys=ON;") != SQLITE_OK) return kRecordFailure;
  if (exec(db, "BEGIN DEFERRED TRANSACTION;") != SQLITE_OK) return kRecordFailure;
  auto run = [&]() -> int {
    if (exec(db,
             "CREATE TABLE `db_info` (  name TEXT NOT NULL,  version INTEGER NOT NULL,  sqlite_version TEXT NOT "
             "NULL,  platform TEXT NOT NULL DEFAULT 'UNKNOWN',  vanto_version TEXT NOT NULL DEFAULT 'UNKNOWN');") !=
        SQLITE_OK)
      return kRecordFailure;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db,
                           "INSERT INTO db_info (name, version, sqlite_version, platform, vanto_version) VALUES "
                           "('vntrecording', ?, sqlite_version(), ?, ?);",
                           -1, &st, nullptr) != SQLITE_OK)
      return kRecordFailure;
    const std::string version = fullVersion();
    sqlite3_bind_int(st, 1, kSchemaVersion);
    sqlite3_bind_text(st, 2, kPlatform, -1, SQLITE_STATIC);
    sqlite3_bind_text(st, 3, version.c_str(), -1, SQLITE_TRANSIENT);
    const int rc = step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_OK) return kRecordFailure;
    if (exec(db, "CREATE TABLE functions (  id INTEGER NOT NULL,  name TEXT NOT NULL UNIQUE,  PRIMARY KEY(id) );") !=
            SQLITE_OK ||
        exec(db,
             "CREATE TABLE calls (  id INTEGER NOT NULL,  func_id INTEGER NOT NULL,  PRIMARY KEY(id),  FOREIGN "
             "KEY(func_id) REFERENCES functions ( id ) );") != SQLITE_OK)
      return kRecordFailure;
    if (fillEnum(db, "arg_types", kArgTypeNames, 6) ||
        fillEnum(db, "data_types", rec::kDataTypeNames, rec::kNumDataTypes) ||
        fillEnum(db, "param_types", kParamTypeNames, 2))
      return kRecordFailure;
    if (exec(db,
             "CREATE TABLE parameters ( id INTEGER NOT NULL, number INTEGER NOT NULL CHECK (number >= 0), data_type "
             "INTEGER NOT NULL, param_type INTEGER NOT NULL, arg_type INTEGER NOT NULL, PRIMARY KEY(id), FOREIGN "
             "KEY(data_type) REFERENCES data_types (id), FOREIGN KEY(param_type) REFERENCES param_types (id), "
             "FOREIGN KEY(arg_type) REFERENCES arg_types (id));") != SQLITE_OK ||
        exec(db,
             "CREATE TABLE arguments (  call_id INTEGER NOT NULL,  param_id INTEGER NOT NULL,  param_index INTEGER "
             "NOT NULL CHECK (param_index >= -1),  chr_value INTEGER,  dbl_value REAL,  int_value INTEGER,  "
             "txt_value TEXT,  PRIMARY KEY(call_id, param_id, param_index),  FOREIGN KEY(call_id) REFERENCES calls "
             "( id ),  FOREIGN KEY(param_id) REFERENCES parameters ( id ) );") != SQLITE_OK ||
        exec(db,
             "CREATE TABLE return_values (  call_id INTEGER NOT NULL,  data_type INTEGER NOT NULL,  arg_type "
             "INTEGER NOT NULL,  dbl_value REAL,  int_value INTEGER,  txt_value TEXT,  PRIMARY KEY(call_id),  "
             "FOREIGN KEY(`call_id`) REFERENCES calls ( id ),  FOREIGN KEY(`data_type`) REFERENCES data_types ( id "
             "),  FOREIGN KEY(`arg_type`) REFERENCES arg_types ( id ) );") != SQLITE_OK)
      return kRecordFailure;
    return 0;
  };
  if (run() != 0) {
    exec(db, "ROLLBACK TRANSACTION;");
    return kRecordFailure;
  }
  return exec(db, "COMMIT TRANSACTION;") == SQLITE_OK ? 0 : kRecordFailure;
}

bool hasDbInfo(sqlite3* db, bool* has) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'db_info';", -1, &st,
                         nullptr) != SQLITE_OK)
    return false;
  int rc = withRetry([&] { return sqlite3_step(st); });
  *has = rc == SQLITE_ROW;
  sqlite3_finalize(st);
  return rc == SQLITE_ROW || rc == SQLITE_OK;
}

}  // namespace

RecordingState& recordingState() {
  static RecordingState state{&kRecordingTables, &kDirectTables, 0};
  return state;
}

int switchToRecording(Env& env) {
  if (env.recording) return 0;
  RecordingState& s = recordingState();
  env.tables = s.recording;
  env.recording = &s;
  // The database: a new file in the current directory.
  char* path = params::recordPath(env);
  snprintf(path, params::kRecordPathSize, "%s", "vanto.db.XXXXXX");
  const int fd = mkstemp(path);
  if (fd < 0) {
    path[0] = '\0';
    return 1422;
  }
  close(fd);
  // Kept with its directory, so that the recording goes on if the program
  // changes its current directory.
  char cwd[params::kRecordPathSize];
  if (getcwd(cwd, sizeof cwd)) {
    const std::string full = std::string(cwd) + "/" + path;
    if (full.size() < static_cast<size_t>(params::kRecordPathSize)) memcpy(path, full.c_str(), full.size() + 1);
  }
  if (int st = rec::prepareDatabase(path, env.alloc)) {
    path[0] = '\0';
    return st;
  }
  return 0;
}

void installRecordSwitch() { params::setRecordSwitch(&switchToRecording); }

void recordingEnvClosed(const Env& env) { rec::environmentClosed(env); }

namespace rec {

const char* const kDataTypeNames[kNumDataTypes] = {
    "DATA_TYPE_VNTENV_PTR", "DATA_TYPE_INT", "DATA_TYPE_VNTINT", "DATA_TYPE_INT_PTR", "DATA_TYPE_CHR_CONST_PTR",
    "DATA_TYPE_VNTLP_PTR", "DATA_TYPE_VNTDIM", "DATA_TYPE_DBL_CONST_PTR", "DATA_TYPE_CHR_CONST_PTR_CONST_PTR",
    "DATA_TYPE_CHR_PTR_PTR", "DATA_TYPE_VNTNNZ", "DATA_TYPE_VNTNNZ_CONST_PTR", "DATA_TYPE_VNTDIM_CONST_PTR",
    "DATA_TYPE_DBL_PTR", "DATA_TYPE_INT_CONST_PTR", "DATA_TYPE_VNTLP_PTR_PTR", "DATA_TYPE_VNTENV_PTR_PTR",
    "DATA_TYPE_VNTCHNL_PTR", "DATA_TYPE_VNTFILE_PTR", "DATA_TYPE_VOID_PTR", "DATA_TYPE_VOID_PTR_PTR",
    "DATA_TYPE_FUNC_PTR", "DATA_TYPE_FUNC_PTR_PTR", "DATA_TYPE_DBL", "DATA_TYPE_VNTNET_PTR",
    "DATA_TYPE_VNTNET_CONST_PTR", "DATA_TYPE_VNTCHNL_PTR_PTR", "DATA_TYPE_CHR_PTR", "DATA_TYPE_VNTSIZE",
    "DATA_TYPE_VNTSIZE_PTR", "DATA_TYPE_VNTINT_PTR", "DATA_TYPE_VNTFILE_PTR_PTR", "DATA_TYPE_VNTLONG",
    "DATA_TYPE_VNTLONG_PTR", "DATA_TYPE_VNTLONG_CONST_PTR", "DATA_TYPE_ELLIPSIS", "DATA_TYPE_INT_VOL_PTR",
    "DATA_TYPE_VNTNET_PTR_PTR", "DATA_TYPE_VNTDIM_PTR", "DATA_TYPE_VNTNNZ_PTR", "DATA_TYPE_VNTIODEV_PTR",
    "DATA_TYPE_VNTBYTE_CONST_PTR", "DATA_TYPE_VNTENV_CONST_PTR", "DATA_TYPE_VNTLP_CONST_PTR",
    "DATA_TYPE_VNTLP_CONST_PTR_PTR", "DATA_TYPE_VNTCNT", "DATA_TYPE_VNTCNT_PTR", "DATA_TYPE_VNTCNT_CONST_PTR",
    "DATA_TYPE_VNTSIZE_CONST_PTR", "DATA_TYPE_VNTINT_CONST_PTR", "DATA_TYPE_VNTPARAMSET_PTR",
    "DATA_TYPE_VNTPARAMSET_CONST_PTR", "DATA_TYPE_VNTPARAMSET_PTR_PTR",
    "DATA_TYPE_VNTPARAMSET_CONST_PTR_CONST_PTR",
};

long long nrows(const void* lp) {
  const model::Problem* p = model::resolveHandle(lp);
  return p && p->data ? p->data->numRows() : 0;
}

long long ncols(const void* lp) {
  const model::Problem* p = model::resolveHandle(lp);
  return p && p->data ? p->data->numCols() : 0;
}

long long npwl(const void* lp) {
  const model::Problem* p = model::resolveHandle(lp);
  return p && p->data ? static_cast<long long>(p->data->pwl.size()) : 0;
}

// (only the handle's own fields are read: the recorder does not need the
// network subsystem linked in)
static const network::NetProblem* netOf(const void* h) {
  auto* p = static_cast<const network::NetProblem*>(h);
  return p && p->magic == network::kNetMagic && p->self == p ? p : nullptr;
}

long long narcs(const void* net) {
  const network::NetProblem* p = netOf(net);
  return p ? p->arcs() : 0;
}

long long nnodes(const void* net) {
  const network::NetProblem* p = netOf(net);
  return p ? p->nodes() : 0;
}

long long nmipstarts(const void* lp) {
  const model::Problem* p = model::resolveHandle(lp);
  const model::Attachments* a = p ? model::findAttachments(*p) : nullptr;
  return a ? static_cast<long long>(a->starts.size()) : 0;
}

int prepareDatabase(const char* path, vntallocator* alloc) {
  AllocatorScope scope(alloc);
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  int st = 0;
  bool has = false;
  if (rc != SQLITE_OK || !hasDbInfo(db, &has)) st = kRecordFailure;
  else if (!has) st = createSchema(db);
  sqlite3_close(db);
  return st;
}

bool databaseMemoryRouted() {
  routeDatabaseMemory();
  return gPrevious.xMalloc != nullptr;
}

// One open database with the statements a recorded call uses.
struct Connection {
  const Env* owner = nullptr;
  std::string path;
  sqlite3* db = nullptr;
  sqlite3_stmt* findFunction = nullptr;
  sqlite3_stmt* addFunction = nullptr;
  sqlite3_stmt* addCall = nullptr;
  sqlite3_stmt* param = nullptr;
  sqlite3_stmt* arg = nullptr;
  sqlite3_stmt* ret = nullptr;
  sqlite3_stmt* begin = nullptr;
  sqlite3_stmt* commit = nullptr;
  sqlite3_stmt* rollback = nullptr;
  bool pending = false;  // a transaction with the last call's results is open

  // Opens and prepares; false (and nothing open) on failure.
  bool open() {
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
      close();
      return false;
    }
    // A recorded run must survive the program's crash, not the machine's:
    // commits need not wait for the disk.  The file is held from the first
    // call to the close, so a transaction neither takes a lock nor reads the
    // file's header again, and its journal is kept rather than made anew.
    exec(db, "PRAGMA synchronous=OFF;");
    exec(db, "PRAGMA locking_mode=EXCLUSIVE;");
    auto prepare = [&](const char* sql, sqlite3_stmt** st) {
      return sqlite3_prepare_v2(db, sql, -1, st, nullptr) == SQLITE_OK;
    };
    if (!prepare("SELECT id FROM functions WHERE name = ?;", &findFunction) ||
        !prepare("INSERT INTO functions (name) VALUES (?);", &addFunction) ||
        !prepare("insert into calls (func_id) values (?)", &addCall) ||
        !prepare("INSERT INTO parameters (number, data_type, param_type, arg_type) VALUES (?, ?, ?, ?);", &param) ||
        !prepare("INSERT INTO arguments (call_id, param_id, param_index, chr_value, dbl_value, int_value, "
                 "txt_value) VALUES (?, ?, ?, ?, ?, ?, ?);",
                 &arg) ||
        !prepare("insert into return_values (call_id, data_type, arg_type,                            "
                 "dbl_value, int_value, txt_value)  values (?, ?, ?, ?, ?, ?);",
                 &ret) ||
        !prepare("BEGIN DEFERRED TRANSACTION;", &begin) || !prepare("COMMIT TRANSACTION;", &commit) ||
        !prepare("ROLLBACK TRANSACTION;", &rollback)) {
      close();
      return false;
    }
    return true;
  }
  // Runs BEGIN, COMMIT or ROLLBACK; true when it succeeded.
  static bool run(sqlite3_stmt* st) {
    const int rc = step(st);
    sqlite3_reset(st);
    return rc == SQLITE_OK;
  }
  void close() {
    if (pending && db) run(commit);  // the results of the last call
    pending = false;
    for (sqlite3_stmt** st : {&findFunction, &addFunction, &addCall, &param, &arg, &ret, &begin, &commit, &rollback}) {
      sqlite3_finalize(*st);
      *st = nullptr;
    }
    sqlite3_close(db);
    db = nullptr;
  }
  ~Connection() { close(); }
};

namespace {

// The open connections, one per recording environment, and the call being
// recorded (at most one in the process: only outermost calls are recorded).
std::mutex gConnectionMutex;
std::vector<std::unique_ptr<Connection>> gConnections;
Call* gRecordingCall = nullptr;

}  // namespace

void environmentClosed(const Env& env) {
  std::unique_ptr<Connection> closing;
  {
    std::lock_guard<std::mutex> lock(gConnectionMutex);
    if (gRecordingCall && gRecordingCall->owner_ == &env) gRecordingCall->ownerClosed_ = true;
    for (auto it = gConnections.begin(); it != gConnections.end(); ++it)
      if ((*it)->owner == &env) {
        closing = std::move(*it);
        gConnections.erase(it);
        break;
      }
  }
  // The results of the last call are committed through the environment's
  // allocator; each block the connection frees goes back to the allocator
  // that made it.
  if (closing) {
    AllocatorScope scope(env.alloc);
    closing.reset();
  }
}

Call::Call(const void* envHandle, const char* name) {
  int depth = 0;
  {
    std::lock_guard<std::mutex> lock(gNestingMutex);
    depth = ++recordingState().nesting;
  }
  counted_ = true;
  if (depth != 1) return;
  // Only a handle with the magic word is looked at.
  Env* e = workingEnv(envHandle);
  if (!envValid(e)) return;
  Env* holder = e;
  while (holder && !(holder->params && params::recordPath(*holder)[0])) holder = holder->parent;
  if (!holder) return;
  path_ = params::recordPath(*holder);
  owner_ = holder;
  alloc_ = holder->alloc;
  active_ = true;
  name_ = name;
  std::lock_guard<std::mutex> lock(gConnectionMutex);
  gRecordingCall = this;
}

Call::~Call() {
  finishSequence();
  if (active_) {
    std::lock_guard<std::mutex> lock(gConnectionMutex);
    if (gRecordingCall == this) gRecordingCall = nullptr;
  }
  if (!counted_) return;
  std::lock_guard<std::mutex> lock(gNestingMutex);
  RecordingState& s = recordingState();
  if (s.nesting > 0) --s.nesting;
}

bool Call::open() {
  bool closed = false;
  {
    std::lock_guard<std::mutex> lock(gConnectionMutex);
    closed = ownerClosed_;
    if (!closed) {
      for (auto& c : gConnections)
        if (c->owner == owner_ && c->path == path_) conn_ = c.get();
    }
  }
  // The environment's allocator serves the sequence; once the call has
  // closed the environment, the database library's own routines do.
  savedAlloc_ = tAllocator;
  allocSet_ = true;
  routeDatabaseMemory();
  tAllocator = closed ? nullptr : alloc_;
  if (!conn_) {
    auto c = std::make_unique<Connection>();
    c->owner = owner_;
    c->path = path_;
    if (!c->open()) {
      fail(kRecordFailure);
      return false;
    }
    conn_ = c.get();
    if (closed) {
      oneOff_ = std::move(c);
    } else {
      std::lock_guard<std::mutex> lock(gConnectionMutex);
      gConnections.push_back(std::move(c));
    }
  }
  db_ = conn_->db;
  // The transaction that holds the last call's results takes this call's
  // arguments too.
  if (conn_->pending) return true;
  if (!Connection::run(conn_->begin)) {
    db_ = nullptr;
    fail(kRecordFailure);
    return false;
  }
  return true;
}

// Ends a phase: the one-off connection is closed, the thread's allocator
// restored (the kept connection stays open).
void Call::finishSequence() {
  oneOff_.reset();
  conn_ = nullptr;
  db_ = nullptr;
  if (allocSet_) tAllocator = savedAlloc_;
  allocSet_ = false;
}

void Call::beginInputs() {
  phase_ = kInput;
  if (!open()) return;
  std::lock_guard<std::mutex> lock(rdb_callid_lock);
  sqlite3_stmt* find = conn_->findFunction;
  long long funcId = -1;
  auto lookup = [&] {
    sqlite3_bind_text(find, 1, name_, -1, SQLITE_STATIC);
    const int rc = withRetry([&] {
      const int r = sqlite3_step(find);
      if (r == SQLITE_BUSY) sqlite3_reset(find);
      return r;
    });
    if (rc == SQLITE_ROW) funcId = sqlite3_column_int64(find, 0);
    sqlite3_reset(find);
    return rc == SQLITE_ROW || rc == SQLITE_OK;
  };
  auto insert = [&](sqlite3_stmt* st) {
    const bool done = step(st) == SQLITE_OK;
    sqlite3_reset(st);
    return done;
  };
  bool ok = lookup();
  if (ok && funcId < 0) {
    sqlite3_bind_text(conn_->addFunction, 1, name_, -1, SQLITE_STATIC);
    ok = insert(conn_->addFunction) && lookup() && funcId >= 0;
  }
  if (ok) {
    sqlite3_bind_int64(conn_->addCall, 1, funcId);
    ok = insert(conn_->addCall);
    callId_ = sqlite3_last_insert_rowid(db_);
  }
  if (!ok) fail(kRecordFailure);
}

void Call::beginOutputs() {
  phase_ = kOutput;
  open();
}

// The arguments are committed before the call is made; the results stay in
// the open transaction of a kept connection (see the top of the file).
int Call::end() {
  if (db_) {
    conn_->pending = false;
    if (failure_ == 0) {
      if (phase_ == kOutput && !oneOff_) conn_->pending = true;
      else if (!Connection::run(conn_->commit)) fail(kRecordFailure);
    }
    if (failure_ != 0) Connection::run(conn_->rollback);
  }
  finishSequence();
  const int f = failure_;
  failure_ = 0;
  return f;
}


long long Call::parameterRow(int number, int dataType, int argType) {
  if (!db_ || failure_) return -1;
  sqlite3_stmt* st = conn_->param;
  sqlite3_bind_int(st, 1, number);
  sqlite3_bind_int(st, 2, dataType);
  sqlite3_bind_int(st, 3, phase_);
  sqlite3_bind_int(st, 4, argType);
  const int rc = step(st);
  sqlite3_reset(st);
  if (rc != SQLITE_OK) {
    fail(kRecordFailure);
    return -1;
  }
  return sqlite3_last_insert_rowid(db_);
}

void Call::argumentRow(long long paramId, long long index, int argType, long long i, double d, const char* t) {
  if (paramId < 0 || failure_) return;
  sqlite3_stmt* s = conn_->arg;
  sqlite3_bind_int64(s, 1, callId_);
  sqlite3_bind_int64(s, 2, paramId);
  sqlite3_bind_int64(s, 3, index);
  for (int c = 4; c <= 7; ++c) sqlite3_bind_null(s, c);
  switch (argType) {
    case kArgChr: sqlite3_bind_int64(s, 4, i); break;
    case kArgInt: sqlite3_bind_int64(s, 6, i); break;
    case kArgDbl: sqlite3_bind_double(s, 5, d); break;
    case kArgTxt: sqlite3_bind_text(s, 7, t, -1, SQLITE_TRANSIENT); break;
    default: break;
  }
  const int rc = step(s);
  sqlite3_reset(s);
  if (rc != SQLITE_OK) fail(kRecordFailure);
}

void Call::value(int number, int dataType, long long v) {
  argumentRow(parameterRow(number, dataType, kArgInt), -1, kArgInt, v, 0, nullptr);
}

void Call::value(int number, int dataType, double v) {
  argumentRow(parameterRow(number, dataType, kArgDbl), -1, kArgDbl, 0, v, nullptr);
}

void Call::character(int number, int dataType, char c) {
  argumentRow(parameterRow(number, dataType, kArgChr), -1, kArgChr, static_cast<unsigned char>(c), 0, nullptr);
}

void Call::text(int number, int dataType, const char* s) {
  if (!s) return argumentRow(parameterRow(number, dataType, kArgNull), -1, kArgNull, 0, 0, nullptr);
  argumentRow(parameterRow(number, dataType, kArgTxt), -1, kArgTxt, 0, 0, s);
}

void Call::pointer(int number, int dataType, const void* p) {
  if (!p) return argumentRow(parameterRow(number, dataType, kArgNull), -1, kArgNull, 0, 0, nullptr);
  argumentRow(parameterRow(number, dataType, kArgInt), -1, kArgInt, static_cast<long long>(reinterpret_cast<intptr_t>(p)),
              0, nullptr);
}

template <class Fn>
void Call::elements(int number, int dataType, int argType, const void* p, long long n, Fn bindElement) {
  if (!p) return argumentRow(parameterRow(number, dataType, kArgNull), -1, kArgNull, 0, 0, nullptr);
  if (n <= 0) return argumentRow(parameterRow(number, dataType, kArgInt), 0, kArgInt, 0, 0, nullptr);
  const long long id = parameterRow(number, dataType, argType);
  for (long long k = 0; k < n && !failure_; ++k) bindElement(id, k);
}

void Call::array(int number, int dataType, const int* v, long long n) {
  elements(number, dataType, kArgInt, v, n, [&](long long id, long long k) { argumentRow(id, k, kArgInt, v[k], 0, nullptr); });
}

void Call::array(int number, int dataType, const long long* v, long long n) {
  elements(number, dataType, kArgInt, v, n, [&](long long id, long long k) { argumentRow(id, k, kArgInt, v[k], 0, nullptr); });
}

void Call::array(int number, int dataType, const double* v, long long n) {
  elements(number, dataType, kArgDbl, v, n, [&](long long id, long long k) { argumentRow(id, k, kArgDbl, 0, v[k], nullptr); });
}

void Call::array(int number, int dataType, const char* v, long long n) {
  elements(number, dataType, kArgChr, v, n, [&](long long id, long long k) {
    argumentRow(id, k, kArgChr, static_cast<unsigned char>(v[k]), 0, nullptr);
  });
}

void Call::array(int number, int dataType, const unsigned char* v, long long n) {
  elements(number, dataType, kArgChr, v, n, [&](long long id, long long k) { argumentRow(id, k, kArgChr, v[k], 0, nullptr); });
}

void Call::array(int number, int dataType, const char* const* v, long long n) {
  elements(number, dataType, kArgTxt, v, n, [&](long long id, long long k) {
    argumentRow(id, k, v[k] ? kArgTxt : kArgNull, 0, 0, v[k]);
  });
}

void Call::arrayOfPointers(int number, int dataType, const void* const* v, long long n) {
  elements(number, dataType, kArgInt, v, n, [&](long long id, long long k) {
    argumentRow(id, k, v[k] ? kArgInt : kArgNull, static_cast<long long>(reinterpret_cast<intptr_t>(v[k])), 0, nullptr);
  });
}

namespace {
int insertReturn(sqlite3_stmt* st, long long callId, int dataType, int argType, double d, long long i,
                 const char* t) {
  sqlite3_bind_int64(st, 1, callId);
  sqlite3_bind_int(st, 2, dataType);
  sqlite3_bind_int(st, 3, argType);
  for (int c = 4; c <= 6; ++c) sqlite3_bind_null(st, c);
  if (argType == kArgDbl) sqlite3_bind_double(st, 4, d);
  if (argType == kArgInt) sqlite3_bind_int64(st, 5, i);
  if (argType == kArgTxt) sqlite3_bind_text(st, 6, t, -1, SQLITE_TRANSIENT);
  const int rc = step(st);
  sqlite3_reset(st);
  return rc == SQLITE_OK ? 0 : kRecordFailure;
}
}  // namespace

void Call::returned(int dataType, long long v) {
  if (db_ && !failure_ && insertReturn(conn_->ret, callId_, dataType, kArgInt, 0, v, nullptr)) fail(kRecordFailure);
}

void Call::returned(int dataType, double v) {
  if (db_ && !failure_ && insertReturn(conn_->ret, callId_, dataType, kArgDbl, v, 0, nullptr)) fail(kRecordFailure);
}

void Call::returnedText(int dataType, const char* s) {
  if (db_ && !failure_ && insertReturn(conn_->ret, callId_, dataType, s ? kArgTxt : kArgNull, 0, 0, s))
    fail(kRecordFailure);
}

void Call::returnedPointer(int dataType, const void* p) {
  if (db_ && !failure_ &&
      insertReturn(conn_->ret, callId_, dataType, p ? kArgInt : kArgNull, 0,
                   static_cast<long long>(reinterpret_cast<intptr_t>(p)), nullptr))
    fail(kRecordFailure);
}

}  // namespace rec
}  // namespace vnt::api
