// Message channels: line-buffered fan-out of text to destinations (standard
// output, the log file, caller functions).
#pragma once

#include <cstdio>
#include <mutex>

#include "env/env.h"

namespace vnt {

struct Destination {
  Channel* channel = nullptr;
  Destination* next = nullptr;
  std::mutex mutex;
  FILE* file = nullptr;          // file destination (or null)
  VNTmsgfn* fn = nullptr;        // function destination (or null)
  void* handle = nullptr;        // caller handle for fn
  bool ownsFile = false;
};

struct Channel {
  Env* env = nullptr;
  Destination* head = nullptr;
  Destination screen;            // embedded standard-output destination
  bool screenAttached = false;
  char line[4096] = {};
  int pending = 0;
  bool inMsgstr = false;
};

void channelInit(Channel& ch, Env* env);
void channelClose(Channel& ch);
// Append text (line buffered); returns the number of code points written.
int channelWrite(Channel& ch, const char* text);
int channelFlush(Channel& ch);
int channelAddFunc(Channel& ch, void* handle, VNTmsgfn* fn);
int channelDelFunc(Channel& ch, void* handle, VNTmsgfn* fn);
int channelAddFile(Channel& ch, FILE* f);
void channelRemoveFile(Channel& ch, FILE* f);
int channelDisconnect(Channel& ch);
void channelSetScreen(Channel& ch, bool on);

// Screen output on the results, warning and error channels.
void setScreenOutput(Env& env, bool on);

}  // namespace vnt
