// Message channels: line-buffered fan-out of text to destinations (standard
// output, the log file, caller functions).  The structures live in env/env.h
// because the four channels are embedded in the environment.
#pragma once

#include <cstdio>

#include "env/env.h"

namespace vnt {

void channelInit(Channel& ch, Env* env);
// Writes out a pending line, flushes and releases every destination and
// restores the channel to its initial state.
void channelClose(Channel& ch);
// Append UTF-8 text (line buffered); returns the number of code points.
int channelWrite(Channel& ch, const char* text);
// Deliver a pending partial line and flush every destination; 0 or the first
// flush failure (1426).
int channelFlush(Channel& ch);
int channelAddFunc(Channel& ch, void* handle, VNTmsgfn* fn);
int channelDelFunc(Channel& ch, void* handle, VNTmsgfn* fn);
// A stream destination at the head of the list; the channel does not own the
// stream unless ownsStream.
int channelAddFile(Channel& ch, FILE* f, bool ownsStream = false);
void channelRemoveFile(Channel& ch, FILE* f);
int channelDisconnect(Channel& ch);
void channelSetScreen(Channel& ch, bool on);
bool channelScreenAttached(const Channel& ch);

// Screen output on the results, warning and error channels (parameter 1035).
void setScreenOutput(Env& env, bool on);

inline Channel* channelOf(Env& env, Chan c) { return env.channels[static_cast<int>(c)]; }

}  // namespace vnt
