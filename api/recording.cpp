// Switching an environment to the recording table set.  The wrappers of the
// recording set (generated) hand every call to the direct set inside a
// RecordScope; the call recorder adds the database work around it.
#include <mutex>

#include "api/frame.h"
#include "env/env.h"
#include "params/params.h"

namespace vnt::api {

namespace {
std::mutex gNestingMutex;
}  // namespace

RecordingState& recordingState() {
  static RecordingState state{&kRecordingTables, &kDirectTables, 0};
  return state;
}

RecordScope::RecordScope(const char*) {
  std::lock_guard<std::mutex> lock(gNestingMutex);
  RecordingState& s = recordingState();
  outermost_ = s.nesting == 0;
  ++s.nesting;
}

RecordScope::~RecordScope() {
  std::lock_guard<std::mutex> lock(gNestingMutex);
  --recordingState().nesting;
}

int switchToRecording(Env& env) {
  if (env.recording) return 0;
  RecordingState& s = recordingState();
  env.tables = s.recording;
  env.recording = &s;
  return 0;
}

void installRecordSwitch() { params::setRecordSwitch(&switchToRecording); }

}  // namespace vnt::api
