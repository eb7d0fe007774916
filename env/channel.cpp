#include "env/channel.h"

#include <cstring>

namespace vnt {

void channelInit(Channel& ch, Env* env) {
  ch.env = env;
  ch.head = nullptr;
  ch.screen.channel = &ch;
  ch.screen.file = stdout;
  ch.screenAttached = false;
  ch.pending = 0;
  ch.line[0] = '\0';
}

static void emit(Channel& ch) {
  if (ch.pending == 0) return;
  ch.line[ch.pending] = '\0';
  for (Destination* d = ch.head; d; d = d->next) {
    std::lock_guard<std::mutex> lock(d->mutex);
    if (d->fn) {
      d->fn(d->handle, ch.line);
    } else {
      FILE* f = d->file ? d->file : stdout;
      fputs(ch.line, f);
      if (f == stdout || f == stderr) fflush(f);
    }
  }
  ch.pending = 0;
}

static int codePoints(const char* s, size_t n) {
  int c = 0;
  for (size_t i = 0; i < n; ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) ++c;
  return c;
}

int channelWrite(Channel& ch, const char* text) {
  if (!text) return 0;
  size_t n = strlen(text);
  if (n == 0) {
    emit(ch);
    return 0;
  }
  const char* p = text;
  const char* end = text + n;
  constexpr int kMax = 4095;
  while (p < end) {
    const char* nl = static_cast<const char*>(memchr(p, '\n', end - p));
    const char* pieceEnd = nl ? nl + 1 : end;
    while (p < pieceEnd) {
      size_t room = kMax - ch.pending;
      if (room == 0) {
        emit(ch);
        room = kMax;
      }
      size_t take = static_cast<size_t>(pieceEnd - p);
      if (take > room) {
        // The piece does not fit: deliver what is buffered first.
        if (ch.pending > 0) {
          emit(ch);
          continue;
        }
        take = room;
      }
      memcpy(ch.line + ch.pending, p, take);
      ch.pending += static_cast<int>(take);
      p += take;
    }
    if (ch.pending > 0 && ch.line[ch.pending - 1] == '\n') emit(ch);
  }
  return codePoints(text, n);
}

int channelFlush(Channel& ch) {
  emit(ch);
  int rc = 0;
  for (Destination* d = ch.head; d; d = d->next)
    if (!d->fn && d->file && fflush(d->file) != 0 && rc == 0) rc = 1424;
  return rc;
}

int channelAddFunc(Channel& ch, void* handle, VNTmsgfn* fn) {
  Destination* d = new (std::nothrow) Destination;
  if (!d) return 1001;
  d->channel = &ch;
  d->fn = fn;
  d->handle = handle;
  d->next = ch.head;
  ch.head = d;
  return 0;
}

int channelDelFunc(Channel& ch, void* handle, VNTmsgfn* fn) {
  for (Destination** pp = &ch.head; *pp; pp = &(*pp)->next) {
    Destination* d = *pp;
    if (d->fn == fn && d->handle == handle) {
      *pp = d->next;
      delete d;
      return 0;
    }
  }
  return 1053;
}

int channelAddFile(Channel& ch, FILE* f) {
  Destination* d = new (std::nothrow) Destination;
  if (!d) return 1001;
  d->channel = &ch;
  d->file = f;
  d->next = ch.head;
  ch.head = d;
  return 0;
}

void channelRemoveFile(Channel& ch, FILE* f) {
  for (Destination** pp = &ch.head; *pp;) {
    Destination* d = *pp;
    if (!d->fn && d->file == f && d != &ch.screen) {
      *pp = d->next;
      delete d;
    } else {
      pp = &d->next;
    }
  }
}

void channelSetScreen(Channel& ch, bool on) {
  if (on == ch.screenAttached) return;
  if (on) {
    ch.screen.next = ch.head;
    ch.head = &ch.screen;
  } else {
    for (Destination** pp = &ch.head; *pp; pp = &(*pp)->next) {
      if (*pp == &ch.screen) {
        *pp = ch.screen.next;
        break;
      }
    }
    ch.screen.next = nullptr;
  }
  ch.screenAttached = on;
}

int channelDisconnect(Channel& ch) {
  int rc = channelFlush(ch);
  while (ch.head) {
    Destination* d = ch.head;
    ch.head = d->next;
    if (d == &ch.screen) {
      ch.screenAttached = false;
      d->next = nullptr;
      continue;
    }
    if (d->ownsFile && d->file) fclose(d->file);
    delete d;
  }
  return rc;
}

void channelClose(Channel& ch) {
  channelDisconnect(ch);
  channelInit(ch, ch.env);
}

void setScreenOutput(Env& env, bool on) {
  for (Chan c : {Chan::Results, Chan::Warning, Chan::Error})
    if (env.channels[static_cast<int>(c)]) channelSetScreen(*env.channels[static_cast<int>(c)], on);
}

}  // namespace vnt
