// The parameter file: one writer for files and the parameter display, one
// reader that validates every line into a parameter set before anything is
// applied.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "io/device.h"
#include "params/internal.h"
#include "params/params.h"

namespace vnt::params {

namespace {

constexpr size_t kNameWidth = 48;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// Name of a parameter in a file: the hierarchical name, or the number of a
// hidden parameter.
std::string fileName(const Descriptor& d) {
  if (d.hierName) return d.hierName;
  return std::to_string(d.id);
}

// "%-48s " of the name followed by the value.
void appendLine(std::string* out, const std::string& name, const std::string& value) {
  out->append(name);
  if (name.size() < kNameWidth) out->append(kNameWidth - name.size(), ' ');
  out->push_back(' ');
  out->append(value);
  out->push_back('\n');
}

// Escape a string value: control bytes, '"', '%' and bytes above 0x7E as %hh.
std::string escape(const char* s) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
    unsigned char c = *p;
    if (c < 0x20 || c == 0x22 || c == 0x25 || c > 0x7E) {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decode %hh escapes; false on a '%' without two hexadecimal digits.
bool unescape(const std::string& in, std::string* out) {
  out->clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '%') {
      out->push_back(in[i]);
      continue;
    }
    int h = i + 1 < in.size() ? hexDigit(in[i + 1]) : -1;
    int l = i + 2 < in.size() ? hexDigit(in[i + 2]) : -1;
    if (h < 0 || l < 0) return false;
    out->push_back(static_cast<char>(h * 16 + l));
    i += 2;
  }
  return true;
}

// "%d"-style conversion of the start of a token: optional sign, digits.
// Values beyond the target range are clamped (the range check rejects them).
bool convertInteger(const std::string& tok, long long lo, long long hi, long long* out) {
  size_t i = 0;
  bool neg = false;
  if (i < tok.size() && (tok[i] == '+' || tok[i] == '-')) neg = tok[i++] == '-';
  if (i >= tok.size() || tok[i] < '0' || tok[i] > '9') return false;
  unsigned long long v = 0;
  bool over = false;
  for (; i < tok.size() && tok[i] >= '0' && tok[i] <= '9'; ++i) {
    unsigned d = static_cast<unsigned>(tok[i] - '0');
    if (v > (ULLONG_MAX - d) / 10) over = true;
    else v = v * 10 + d;
  }
  if (neg) {
    unsigned long long mag = static_cast<unsigned long long>(-(lo + 1)) + 1;
    if (over || v >= mag) *out = lo;
    else *out = -static_cast<long long>(v);
  } else {
    *out = (over || v > static_cast<unsigned long long>(hi)) ? hi : static_cast<long long>(v);
  }
  return true;
}

// The library's decimal-to-double conversion: a correctly rounding strtod in
// the C locale reads back every value written with 17 significant digits.
bool convertDouble(const std::string& tok, double* out) {
  const char* s = tok.c_str();
  char* end = nullptr;
  errno = 0;
  double v = strtod(s, &end);
  if (end == s) return false;
  *out = v;
  return true;
}

// Does the line match "VANTO Parameter File Version %s"?  Gives the token.
bool versionLine(const std::string& line, std::string* version) {
  static const char* const kWords[] = {"VANTO", "Parameter", "File", "Version"};
  size_t i = 0;
  for (int w = 0; w < 4; ++w) {
    if (w > 0)
      while (i < line.size() && isBlank(line[i])) ++i;
    size_t n = strlen(kWords[w]);
    if (line.compare(i, n, kWords[w]) != 0) return false;
    i += n;
  }
  while (i < line.size() && isBlank(line[i])) ++i;
  size_t j = i;
  while (j < line.size() && !isBlank(line[j])) ++j;
  if (j == i) return false;
  *version = line.substr(i, j - i);
  return true;
}

std::string firstToken(const char* s) {
  std::string t(s);
  size_t k = t.find_first_of(" \t\r\n\f\v");
  return k == std::string::npos ? t : t.substr(0, k);
}

// Remove a comment: '#' outside double quotes runs to the end of the line.
void stripComment(std::string* line) {
  bool quoted = false;
  for (size_t i = 0; i < line->size(); ++i) {
    char c = (*line)[i];
    if (c == '"') quoted = !quoted;
    else if (c == '#' && !quoted) {
      line->resize(i);
      return;
    }
  }
}

// One parameter line into the set.
int parseLine(Env& env, const std::string& line, long long lineNo, ParamSet& set) {
  size_t i = 0;
  while (i < line.size() && isBlank(line[i])) ++i;
  size_t j = i;
  while (j < line.size() && !isBlank(line[j])) ++j;
  std::string name = line.substr(i, j - i);
  if (name.empty()) return reportError(env, 1660, lineNo);

  // The name: a parameter number or either of its names.
  const Descriptor* d = nullptr;
  char* end = nullptr;
  errno = 0;
  long num = strtol(name.c_str(), &end, 10);
  if (*end == '\0' && errno == 0 && num >= INT_MIN && num <= INT_MAX) {
    d = lookup(static_cast<int>(num));
    if (!d) return 1013;
  } else {
    d = byOldName(name.c_str());
    if (!d) d = byHierName(name.c_str());
    if (!d) return 1028;
  }
  if (isFixed(env, d->id)) return 1013;

  // The value.
  i = j;
  while (i < line.size() && isBlank(line[i])) ++i;
  if (i >= line.size()) return reportError(env, 1660, lineNo);
  j = i;
  while (j < line.size() && !isBlank(line[j])) ++j;
  std::string tok = line.substr(i, j - i);

  Value v;
  std::string text;
  switch (d->type()) {
    case kTypeInt:
    case kTypeLong: {
      long long x = 0;
      bool isInt = d->type() == kTypeInt;
      if (!convertInteger(tok, isInt ? INT_MIN : LLONG_MIN, isInt ? INT_MAX : LLONG_MAX, &x))
        return reportError(env, 1434, lineNo, tok.c_str());
      if (tok.find_first_of("-.", 1) != std::string::npos)
        print(env, Chan::Warning,
              "Warning, line %lld: non-integral value specified for integer parameter.\n", lineNo);
      if (isInt) v.i = static_cast<int>(x);
      else v.l = x;
      break;
    }
    case kTypeDbl:
      if (!convertDouble(tok, &v.d)) return reportError(env, 1434, lineNo, tok.c_str());
      break;
    default: {
      std::string raw;
      if (line[i] == '"') {
        size_t close = line.find('"', i + 1);
        if (close == std::string::npos) return reportError(env, 1660, lineNo);
        raw = line.substr(i + 1, close - i - 1);
      } else {
        raw = tok;
      }
      if (!unescape(raw, &text)) return reportError(env, 1660, lineNo);
      // A NUL from an escape ends the value, as it would in the 512-byte field.
      text.resize(strlen(text.c_str()));
      v.s = text.c_str();
      break;
    }
  }
  if (int st = storeValue(env, *d, v, true)) return st;
  return setPut(env, set, *d, v);
}

}  // namespace

// ---------------------------------------------------------------------------
// Writer.

int formatSet(const ParamSet& set, std::string* out) {
  char buf[64];
  auto line = [&](int id, const std::string& value) {
    appendLine(out, fileName(*lookup(id)), value);
  };
  for (int i = 0; i < set.ints.count; ++i) {
    snprintf(buf, sizeof buf, "%-d", set.ints.vals[i]);
    line(set.ints.ids[i], buf);
  }
  for (int i = 0; i < set.longs.count; ++i) {
    snprintf(buf, sizeof buf, "%-lld", set.longs.vals[i]);
    line(set.longs.ids[i], buf);
  }
  for (int i = 0; i < set.dbls.count; ++i) {
    snprintf(buf, sizeof buf, "%-.17g", set.dbls.vals[i]);
    line(set.dbls.ids[i], buf);
  }
  for (int i = 0; i < set.strs.count; ++i) line(set.strs.ids[i], "\"" + escape(set.strs.vals[i]) + "\"");
  return 0;
}

int collectChanged(Env& env, ParamSet& set, const int* exclude, int nexclude) {
  int ids[kNumParams];
  int n = changedParams(env, ids, kNumParams);
  for (int k = 0; k < n; ++k) {
    const Descriptor* d = lookup(ids[k]);
    if (!d || d->id == 1035) continue;
    if (d->id == 1144 && strcmp(getStr(env, 1144), "badmask") == 0) continue;
    bool skip = false;
    for (int e = 0; e < nexclude && !skip; ++e) skip = exclude[e] == d->id;
    if (skip) continue;
    Value v = d->ops->get(*env.params, *d);
    if (int st = setPut(env, set, *d, v)) return st;
  }
  return 0;
}

int writeSetFile(Env& env, const ParamSet& set, const char* filename) {
  if (!filename || !*filename) return 1421;
  std::string text = "VANTO Parameter File Version ";
  text += kVersionString;
  text += '\n';
  formatSet(set, &text);
  std::unique_ptr<io::Device> dev = io::openFileDevice(filename, 'w');
  if (!dev) return reportError(env, 1422, filename);
  bool ok = dev->write(text.data(), text.size()) == text.size();
  ok = dev->close() && ok;
  return ok ? 0 : 1426;
}

int writeParamFile(Env& env, const char* filename) {
  if (!filename || !*filename) return 1421;
  ParamSet* set = nullptr;
  if (int st = newScratchSet(env, &set)) return st;
  int st = collectChanged(env, *set, nullptr, 0);
  if (st == 0) st = writeSetFile(env, *set, filename);
  freeScratchSet(env, set);
  return st;
}

void displayChanged(Env& env) {
  if (getInt(env, 1163) == 0) return;
  print(env, Chan::Log, "Version identifier: %s\n", kBuildIdentifier);
  ParamSet* set = nullptr;
  if (newScratchSet(env, &set) != 0) return;
  std::string text;
  if (collectChanged(env, *set, nullptr, 0) == 0) formatSet(*set, &text);
  freeScratchSet(env, set);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    print(env, Chan::Log, "%s\n", text.substr(pos, nl - pos).c_str());
    pos = nl + 1;
  }
}

// ---------------------------------------------------------------------------
// Reader.

int readWholeFile(Env& env, const char* filename, std::string* text) {
  if (!filename || !*filename) return 1421;
  std::unique_ptr<io::Device> dev = io::openFileDevice(filename, 'r');
  if (!dev) return reportError(env, 1423, filename);
  char buf[1 << 15];
  text->clear();
  for (;;) {
    size_t n = dev->read(buf, sizeof buf);
    if (n == 0) break;
    text->append(buf, n);
  }
  bool failed = dev->error();
  dev->close();
  return failed ? 1426 : 0;
}

int parseText(Env& env, const char* name, const char* text, size_t length, ParamSet& set) {
  long long lineNo = 0;
  bool first = true;
  size_t pos = 0;
  std::string line;
  while (pos < length) {
    const char* nl = static_cast<const char*>(memchr(text + pos, '\n', length - pos));
    size_t end = nl ? static_cast<size_t>(nl - text) : length;
    line.assign(text + pos, end - pos);
    pos = end + 1;
    ++lineNo;
    stripComment(&line);
    size_t k = 0;
    while (k < line.size() && isBlank(line[k])) ++k;
    if (k == line.size()) continue;
    if (first) {
      first = false;
      std::string version;
      if (versionLine(line, &version)) {
        std::string lib = firstToken(kVersionString);
        if (version != lib)
          print(env, Chan::Warning,
                "Warning:  VANTO version found in file %s (%s) does not match\n"
                "          this VANTO version (%s).\n",
                name, version.c_str(), kVersionString);
        continue;
      }
    }
    if (int st = parseLine(env, line, lineNo, set)) return st;
  }
  return 0;
}

int readAndApply(Env& env, const char* name, const char* text, size_t length) {
  Values* snap = nullptr;
  if (int st = takeSnapshot(env, &snap)) return st;
  resetAll(env);
  // Screen output keeps its value from before the read.
  const Descriptor* scr = lookup(1035);
  if (!isFixed(env, 1035)) {
    Value v;
    v.i = snap->v[indexOf(*scr)].i;
    storeValue(env, *scr, v, false);
  }
  ParamSet* set = nullptr;
  int st = newScratchSet(env, &set);
  if (st == 0) st = parseText(env, name, text, length, *set);
  if (st == 0) st = setApply(env, *set);
  freeScratchSet(env, set);
  if (st != 0) restoreSnapshot(env, *snap);
  freeSnapshot(snap);
  return st;
}

int readParamFile(Env& env, const char* filename) {
  if (!filename) return 1004;
  std::string text;
  if (int st = readWholeFile(env, filename, &text)) return st;
  return readAndApply(env, filename, text.data(), text.size());
}

int readParamText(Env& env, const char* name, const char* text, long long length) {
  if (!name) return 1004;
  if (length < 0) return 1003;
  if (!text && length > 0) return 1004;
  return readAndApply(env, name, text ? text : "", static_cast<size_t>(length));
}

// ---------------------------------------------------------------------------
// Override variables at environment open.

void applyOverrides(Env& env) {
  if (const char* path = getenv("KORA_VANTO_PARAMETER_FILE")) {
    int st = readParamFile(env, path);
    if (st < 0) st = -st;
    if (st == 0) fprintf(stderr, "Reading override parameter file '%s' succeeded.\n", path);
    else fprintf(stderr, "Reading override parameter file '%s' failed (%d).\n", path, st);
    fflush(stderr);
  }
  const char* var = "KORA_VANTO_PARAMETER_STRING";
  const char* value = getenv(var);
  if (value && *value) {
    int st = 0;
    char* copy = static_cast<char*>(env.alloc->allocate(env.alloc, strlen(value) + 1));
    if (!copy) {
      st = 1001;
    } else {
      strcpy(copy, value);
      for (char* p = copy; *p; ++p)
        if (*p == ';') *p = '\n';
      st = readParamText(env, "$KORA_VANTO_PARAMETER_STRING.prm", copy,
                         static_cast<long long>(strlen(copy)));
      env.alloc->release(env.alloc, copy);
      if (st < 0) st = -st;
    }
    if (st == 0) fprintf(stderr, "Reading override parameter settings from $%s succeeded.\n", var);
    else fprintf(stderr, "Reading override parameter settings from $%s failed (%d).\n", var, st);
    fflush(stderr);
  }
}

}  // namespace vnt::params
