// Text encodings: UTF-8 inside the library, the API and file encodings at the
// boundary (ICU converters).
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <cstring>
#include <string>

#include "env/encoding_impl.h"
#include "env/env.h"

namespace vnt {

int openConverter(const char* name, UConverter** out) {
  *out = nullptr;
  if (!name) return 1235;
  UErrorCode e = U_ZERO_ERROR;
  UConverter* c = ucnv_open(name, &e);
  if (U_FAILURE(e) || !c) return 1235;
  *out = c;
  return 0;
}

void closeConverter(UConverter* c) {
  if (c) ucnv_close(c);
}

bool encodingIsAsciiCompatible(UConverter* c) {
  if (!c) return true;
  char ascii[128];
  for (int i = 1; i < 128; ++i) ascii[i - 1] = static_cast<char>(i);
  ascii[127] = '\0';
  std::string out;
  if (utf8ToEncoding(c, ascii, 127, out) != 0) return false;
  return out.size() == 127 && memcmp(out.data(), ascii, 127) == 0;
}

int utf8ToEncoding(UConverter* c, const char* in, size_t n, std::string& out) {
  UErrorCode e = U_ZERO_ERROR;
  int32_t ulen = 0;
  u_strFromUTF8WithSub(nullptr, 0, &ulen, in, static_cast<int32_t>(n), 0xFFFD, nullptr, &e);
  if (e != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(e)) return 1235;
  std::u16string u(static_cast<size_t>(ulen), u'\0');
  e = U_ZERO_ERROR;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(u.data()), ulen, &ulen, in,
                       static_cast<int32_t>(n), 0xFFFD, nullptr, &e);
  if (U_FAILURE(e)) return 1235;
  ucnv_resetFromUnicode(c);
  e = U_ZERO_ERROR;
  int32_t need = ucnv_fromUChars(c, nullptr, 0, reinterpret_cast<const UChar*>(u.data()), ulen, &e);
  if (e != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(e)) return 1235;
  out.assign(static_cast<size_t>(need) + 1, '\0');
  e = U_ZERO_ERROR;
  ucnv_fromUChars(c, out.data(), need + 1, reinterpret_cast<const UChar*>(u.data()), ulen, &e);
  if (U_FAILURE(e)) return 1235;
  out.resize(static_cast<size_t>(need));
  return 0;
}

int encodingToUtf8(UConverter* c, const char* in, size_t n, std::string& out) {
  UErrorCode e = U_ZERO_ERROR;
  ucnv_resetToUnicode(c);
  int32_t ulen = ucnv_toUChars(c, nullptr, 0, in, static_cast<int32_t>(n), &e);
  if (e != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(e)) return 1235;
  std::u16string u(static_cast<size_t>(ulen) + 1, u'\0');
  e = U_ZERO_ERROR;
  ucnv_toUChars(c, reinterpret_cast<UChar*>(u.data()), ulen + 1, in, static_cast<int32_t>(n), &e);
  if (U_FAILURE(e)) return 1235;
  int32_t blen = 0;
  e = U_ZERO_ERROR;
  u_strToUTF8(nullptr, 0, &blen, reinterpret_cast<const UChar*>(u.data()), ulen, &e);
  if (e != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(e)) return 1235;
  out.assign(static_cast<size_t>(blen) + 1, '\0');
  e = U_ZERO_ERROR;
  u_strToUTF8(out.data(), blen + 1, &blen, reinterpret_cast<const UChar*>(u.data()), ulen, &e);
  if (U_FAILURE(e)) return 1235;
  out.resize(static_cast<size_t>(blen));
  return 0;
}

static bool asciiOnly(const char* s) {
  for (; *s; ++s)
    if (static_cast<unsigned char>(*s) >= 0x80) return false;
  return true;
}

int setApiEncoding(Env& env, const char* name) {
  UConverter* c = nullptr;
  if (openConverter(name, &c) != 0) return 1003;
  closeConverter(env.apiConv);
  env.apiConv = c;
  env.apiAscii = encodingIsAsciiCompatible(c);
  return 0;
}

int utf8ToApiInPlace(Env& env, char* buf, size_t cap) {
  if (!env.apiConv || (env.apiAscii && asciiOnly(buf))) return 0;
  std::string out;
  if (utf8ToEncoding(env.apiConv, buf, strlen(buf), out) != 0) return 1235;
  if (out.size() + 1 > cap) return 1235;
  memcpy(buf, out.c_str(), out.size() + 1);
  return 0;
}

int apiToUtf8(Env& env, const char* in, char** out) {
  *out = const_cast<char*>(in);
  if (!in || !env.apiConv || (env.apiAscii && asciiOnly(in))) return 0;
  std::string s;
  if (encodingToUtf8(env.apiConv, in, strlen(in), s) != 0) return 1235;
  char* p = static_cast<char*>(envMalloc(env, s.size() + 1));
  if (!p) return 1001;
  memcpy(p, s.c_str(), s.size() + 1);
  *out = p;
  return 0;
}

// Replace every byte that does not start a well-formed UTF-8 sequence (and
// the bytes of truncated, overlong or surrogate sequences) by '?'.
int repairUtf8(char* s) {
  int cps = 0;
  auto* p = reinterpret_cast<unsigned char*>(s);
  while (*p) {
    unsigned char b = *p;
    int len = b < 0x80 ? 1 : (b >= 0xC2 && b <= 0xDF) ? 2 : (b >= 0xE0 && b <= 0xEF) ? 3
                                                      : (b >= 0xF0 && b <= 0xF4) ? 4 : 0;
    bool ok = len > 0;
    for (int i = 1; ok && i < len; ++i)
      if ((p[i] & 0xC0) != 0x80) ok = false;
    if (ok && len == 3) {
      if (b == 0xE0 && p[1] < 0xA0) ok = false;   // overlong
      if (b == 0xED && p[1] >= 0xA0) ok = false;  // surrogate
    }
    if (ok && len == 4) {
      if (b == 0xF0 && p[1] < 0x90) ok = false;   // overlong
      if (b == 0xF4 && p[1] >= 0x90) ok = false;  // beyond U+10FFFF
    }
    if (!ok) {
      *p = '?';
      len = 1;
    }
    p += len;
    ++cps;
  }
  return cps;
}

}  // namespace vnt
