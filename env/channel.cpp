#include "env/channel.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "env/encoding_impl.h"
#include "params/params.h"

namespace vnt {

namespace {
constexpr int kLineMax = 4095;

bool isUtf8Name(const char* n) {
  return strcasecmp(n, "UTF-8") == 0 || strcasecmp(n, "UTF8") == 0;
}

bool allAscii(const char* s, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(s[i]) >= 0x80) return false;
  return true;
}

// Encoding a destination produces, or null for no conversion.
const char* destEncoding(const Channel& ch, const Destination& d) {
  const Env* env = ch.env;
  if (!env || !env->params) return nullptr;
  if (d.fn) {
    const char* hidden = params::getStr(*env, 1134);
    if (hidden && *hidden) return hidden;
    return params::getStr(*env, 1130);
  }
  if (d.isScreen || !d.file || d.file == stdout || d.file == stderr) return nullptr;
  return params::getStr(*env, 1129);
}

// Convert one line for a destination; the result points at `line` itself
// when no conversion is needed or possible.
const char* convertFor(Destination& d, const char* enc, const char* line, size_t n,
                       std::string& store) {
  if (!enc || !*enc || isUtf8Name(enc)) return line;
  if (!d.conv || strcmp(d.convName, enc) != 0) {
    closeConverter(d.conv);
    d.conv = nullptr;
    d.convName[0] = '\0';
    if (strlen(enc) >= sizeof d.convName || openConverter(enc, &d.conv) != 0) return line;
    strcpy(d.convName, enc);
  }
  if (allAscii(line, n) && encodingIsAsciiCompatible(d.conv)) return line;
  if (utf8ToEncoding(d.conv, line, n, store) != 0) return line;
  return store.c_str();
}

int destInitMutex(Destination& d) {
  if (pthread_mutex_init(&d.mutex, nullptr) != 0) return 1234;
  d.flags |= kDestOwnsMutex;
  return 0;
}

void destRelease(Channel& ch, Destination* d) {
  if (d->isScreen) return;
  if ((d->flags & kDestOwnsHandle) && d->file) fclose(d->file);
  if (d->flags & kDestOwnsMutex) pthread_mutex_destroy(&d->mutex);
  closeConverter(d->conv);
  d->conv = nullptr;
  if (ch.env) envDelete(*ch.env, d);
  else delete d;
}

Destination* destNew(Channel& ch, int* status) {
  Destination* d = ch.env ? envNew<Destination>(*ch.env) : new (std::nothrow) Destination;
  if (!d) {
    *status = 1001;
    return nullptr;
  }
  d->channel = &ch;
  if ((*status = destInitMutex(*d)) != 0) {
    if (ch.env) envDelete(*ch.env, d);
    else delete d;
    return nullptr;
  }
  return d;
}

// Pass the buffered line to every destination, each under its own mutex.
void emit(Channel& ch) {
  if (ch.pending == 0) return;
  ch.line[ch.pending] = '\0';
  size_t n = static_cast<size_t>(ch.pending);
  std::string store;
  for (Destination* d = ch.head; d; d = d->next) {
    const char* enc = destEncoding(ch, *d);
    pthread_mutex_lock(&d->mutex);
    const char* text = convertFor(*d, enc, ch.line, n, store);
    if (d->fn) {
      d->fn(d->handle, text);
    } else {
      if (!d->file) d->file = stdout;  // a standard-output handle on first use
      fputs(text, d->file);
      if (d->file == stdout || d->file == stderr) fflush(d->file);
    }
    pthread_mutex_unlock(&d->mutex);
  }
  ch.pending = 0;
  ch.line[0] = '\0';
}

int codePoints(const char* s, size_t n) {
  int c = 0;
  for (size_t i = 0; i < n; ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) ++c;
  return c;
}
}  // namespace

void channelInit(Channel& ch, Env* env) {
  ch.env = env;
  ch.head = nullptr;
  ch.envMutex = env ? env->mutex : nullptr;
  ch.screen.channel = &ch;
  ch.screen.next = nullptr;
  ch.screen.file = stdout;
  ch.screen.fn = nullptr;
  ch.screen.isScreen = true;
  if (!(ch.screen.flags & kDestOwnsMutex)) destInitMutex(ch.screen);
  ch.flags = 0;
  ch.pending = 0;
  ch.line[0] = '\0';
  ch.inMsgstr = 0;
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
  while (p < end) {
    const char* nl = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* pieceEnd = nl ? nl + 1 : end;
    while (p < pieceEnd) {
      size_t take = static_cast<size_t>(pieceEnd - p);
      size_t room = static_cast<size_t>(kLineMax - ch.pending);
      if (take > room) {
        // The piece does not fit: deliver what is buffered first; a piece
        // longer than a whole line goes out in full-line parts.
        if (ch.pending > 0) {
          emit(ch);
          continue;
        }
        take = room;
      }
      memcpy(ch.line + ch.pending, p, take);
      ch.pending += static_cast<int>(take);
      p += take;
      if (ch.pending == kLineMax || ch.line[ch.pending - 1] == '\n') emit(ch);
    }
  }
  return codePoints(text, n);
}

int channelFlush(Channel& ch) {
  emit(ch);
  int rc = 0;
  for (Destination* d = ch.head; d; d = d->next) {
    if (d->fn || !d->file) continue;
    pthread_mutex_lock(&d->mutex);
    if (fflush(d->file) != 0 && rc == 0) rc = 1426;
    pthread_mutex_unlock(&d->mutex);
  }
  return rc;
}

int channelAddFunc(Channel& ch, void* handle, VNTmsgfn* fn) {
  int st = 0;
  Destination* d = destNew(ch, &st);
  if (!d) return st;
  d->fn = fn;
  d->handle = handle;
  d->next = ch.head;
  ch.head = d;
  return 0;
}

int channelDelFunc(Channel& ch, void* handle, VNTmsgfn* fn) {
  for (Destination** pp = &ch.head; *pp; pp = &(*pp)->next) {
    Destination* d = *pp;
    if (d->fn && d->fn == fn && d->handle == handle) {
      *pp = d->next;
      destRelease(ch, d);
      return 0;
    }
  }
  return 1053;
}

int channelAddFile(Channel& ch, FILE* f, bool ownsStream) {
  int st = 0;
  Destination* d = destNew(ch, &st);
  if (!d) return st;
  d->file = f;
  if (ownsStream) d->flags |= kDestOwnsHandle;
  d->next = ch.head;
  ch.head = d;
  return 0;
}

void channelRemoveFile(Channel& ch, FILE* f) {
  for (Destination** pp = &ch.head; *pp;) {
    Destination* d = *pp;
    if (!d->fn && !d->isScreen && d->file == f) {
      *pp = d->next;
      destRelease(ch, d);
    } else {
      pp = &d->next;
    }
  }
}

bool channelScreenAttached(const Channel& ch) { return (ch.flags & kChanScreenAttached) != 0; }

void channelSetScreen(Channel& ch, bool on) {
  if (on == channelScreenAttached(ch)) return;
  if (on) {
    ch.screen.next = ch.head;
    ch.head = &ch.screen;
    ch.flags |= kChanScreenAttached;
  } else {
    for (Destination** pp = &ch.head; *pp; pp = &(*pp)->next) {
      if (*pp == &ch.screen) {
        *pp = ch.screen.next;
        break;
      }
    }
    ch.screen.next = nullptr;
    ch.flags &= ~kChanScreenAttached;
  }
}

int channelDisconnect(Channel& ch) {
  int rc = channelFlush(ch);
  while (ch.head) {
    Destination* d = ch.head;
    ch.head = d->next;
    if (d->isScreen) {
      ch.flags &= ~kChanScreenAttached;
      d->next = nullptr;
      continue;
    }
    destRelease(ch, d);
  }
  return rc;
}

void channelClose(Channel& ch) {
  channelDisconnect(ch);
  closeConverter(ch.screen.conv);
  ch.screen.conv = nullptr;
  if (ch.screen.flags & kDestOwnsMutex) {
    pthread_mutex_destroy(&ch.screen.mutex);
    ch.screen.flags &= ~kDestOwnsMutex;
  }
  Env* env = ch.env;
  channelInit(ch, env);
  // channelInit recreated the screen mutex; a closed channel keeps none.
  pthread_mutex_destroy(&ch.screen.mutex);
  ch.screen.flags &= ~kDestOwnsMutex;
}

void setScreenOutput(Env& env, bool on) {
  for (Chan c : {Chan::Results, Chan::Warning, Chan::Error})
    if (Channel* ch = channelOf(env, c)) channelSetScreen(*ch, on);
}

}  // namespace vnt
