// The call recorder: the runtime behind the generated recording wrappers.
// A wrapper makes one Call per entry; only the outermost call (process-wide
// nesting depth 1) of an environment with a database is recorded: its
// arguments are committed before the call is made, its return value and
// output arguments after it go into a transaction that the next call's
// arguments join (see api/recording.cpp).  The database connection of an
// environment stays open between calls and is closed with the environment.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;
struct vntallocator;

namespace vnt {
struct Env;
}

namespace vnt::api::rec {

// Data types of the interface's parameters (table data_types).
enum DataType : int {
  kVntEnvPtr = 1, kInt = 2, kVntInt = 3, kIntPtr = 4, kChrConstPtr = 5, kVntLpPtr = 6, kVntDim = 7,
  kDblConstPtr = 8, kChrConstPtrConstPtr = 9, kChrPtrPtr = 10, kVntNnz = 11, kVntNnzConstPtr = 12,
  kVntDimConstPtr = 13, kDblPtr = 14, kIntConstPtr = 15, kVntLpPtrPtr = 16, kVntEnvPtrPtr = 17,
  kVntChnlPtr = 18, kVntFilePtr = 19, kVoidPtr = 20, kVoidPtrPtr = 21, kFuncPtr = 22, kFuncPtrPtr = 23,
  kDbl = 24, kVntNetPtr = 25, kVntNetConstPtr = 26, kVntChnlPtrPtr = 27, kChrPtr = 28, kVntSize = 29,
  kVntSizePtr = 30, kVntIntPtr = 31, kVntFilePtrPtr = 32, kVntLong = 33, kVntLongPtr = 34,
  kVntLongConstPtr = 35, kEllipsis = 36, kIntVolPtr = 37, kVntNetPtrPtr = 38, kVntDimPtr = 39,
  kVntNnzPtr = 40, kVntIoDevPtr = 41, kVntByteConstPtr = 42, kVntEnvConstPtr = 43, kVntLpConstPtr = 44,
  kVntLpConstPtrPtr = 45, kVntCnt = 46, kVntCntPtr = 47, kVntCntConstPtr = 48, kVntSizeConstPtr = 49,
  kVntIntConstPtr = 50, kVntParamSetPtr = 51, kVntParamSetConstPtr = 52, kVntParamSetPtrPtr = 53,
  kVntParamSetConstPtrConstPtr = 54,
};
inline constexpr int kNumDataTypes = 54;
extern const char* const kDataTypeNames[kNumDataTypes];

// How a value is stored (table arg_types).
enum ArgType : int { kArgChr = 1, kArgInt = 2, kArgDbl = 3, kArgTxt = 4, kArgNull = 5, kArgVoid = 6 };
enum ParamType : int { kInput = 1, kOutput = 2 };

// Row counts of a problem handle for the catalogue's array lengths (0 for
// anything that is not a live problem).
long long nrows(const void* lp);
long long ncols(const void* lp);
long long npwl(const void* lp);
long long nmipstarts(const void* lp);
long long narcs(const void* net);
long long nnodes(const void* net);

// Creates the schema in the database at `path` unless it holds db_info
// already (the database library allocating through `alloc`).  0 or a
// failure code.
int prepareDatabase(const char* path, vntallocator* alloc = nullptr);

// Whether the database library allocates through the routines that follow
// the environments' allocators (false when the host program had started it
// before the first recording).
bool databaseMemoryRouted();

// Closes the recording connection of an environment that is being closed
// (a call being recorded on it finishes its record without it).
void environmentClosed(const Env& env);

struct Connection;

class Call {
 public:
  // envHandle: the environment argument of the call (may be null).
  Call(const void* envHandle, const char* name);
  ~Call();
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  bool active() const { return active_; }

  // Opens the database and a transaction; the input phase also inserts the
  // call row.  Argument records go into the open transaction.
  void beginInputs();
  void beginOutputs();
  // Ends the phase (the input phase commits; the output phase of a kept
  // connection leaves its transaction open for the next call); returns 0 or
  // the first failure of the phase.
  int end();

  // One argument (number: position from 0; the phase gives its type).
  void value(int number, int dataType, long long v);
  void value(int number, int dataType, double v);
  void character(int number, int dataType, char c);
  void text(int number, int dataType, const char* s);
  void pointer(int number, int dataType, const void* p);
  // Arrays: a null pointer is one NULL row, a count of 0 one row with
  // index 0, else one row per element.
  void array(int number, int dataType, const int* v, long long n);
  void array(int number, int dataType, const long long* v, long long n);
  void array(int number, int dataType, const double* v, long long n);
  void array(int number, int dataType, const char* v, long long n);
  void array(int number, int dataType, const unsigned char* v, long long n);
  void array(int number, int dataType, const char* const* v, long long n);
  void array(int number, int dataType, char* const* v, long long n) {
    array(number, dataType, const_cast<const char* const*>(v), n);
  }
  template <class T>
  void array(int number, int dataType, T* const* v, long long n) {  // handle arrays
    arrayOfPointers(number, dataType, reinterpret_cast<const void* const*>(v), n);
  }

  void returned(int dataType, long long v);
  void returned(int dataType, double v);
  void returnedText(int dataType, const char* s);
  void returnedPointer(int dataType, const void* p);

 private:
  template <class Fn>
  void elements(int number, int dataType, int argType, const void* p, long long n, Fn bindElement);
  void arrayOfPointers(int number, int dataType, const void* const* v, long long n);
  long long parameterRow(int number, int dataType, int argType);
  void argumentRow(long long paramId, long long index, int argType, long long i, double d, const char* t);
  bool open();
  void finishSequence();
  void fail(int code) {
    if (!failure_) failure_ = code;
  }

  bool counted_ = false;
  bool active_ = false;
  int phase_ = kInput;
  int failure_ = 0;
  long long callId_ = 0;
  std::string path_;
  const char* name_ = "";
  const Env* owner_ = nullptr;        // the environment whose database records the call
  vntallocator* alloc_ = nullptr;     // its allocator
  bool ownerClosed_ = false;          // the call closed that environment
  Connection* conn_ = nullptr;        // during a phase: the open connection
  std::unique_ptr<Connection> oneOff_;  // a connection for this phase only
  sqlite3* db_ = nullptr;             // conn_'s database
  bool allocSet_ = false;              // during a phase: the thread's allocator is alloc_
  vntallocator* savedAlloc_ = nullptr;  // the thread's allocator before the phase

  friend void environmentClosed(const Env& env);
};

}  // namespace vnt::api::rec
