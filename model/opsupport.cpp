#include "model/opsupport.h"

#include <unicode/ucnv.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <strings.h>

#include "params/params.h"

namespace vnt::model::ops {

bool dataCheck(const Env& env) { return params::getInt(env, kParamDataCheck) != 0; }

int checkRange(Env& env, const char* vntName, int begin, int end, int count) {
  if (end < begin) return 0;
  if (begin < 0) {
    reportError(env, 1205, vntName, static_cast<long long>(begin), 0LL);
    return 1200;
  }
  if (end >= count) {
    reportError(env, 1206, vntName, static_cast<long long>(end), static_cast<long long>(count) - 1);
    return 1200;
  }
  return 0;
}

int checkIndices(Env& env, const int* ind, long long cnt, int count, int code, int lo) {
  for (long long k = 0; k < cnt; ++k)
    if (ind[k] < lo || ind[k] >= count) return reportError(env, code, static_cast<long long>(ind[k]));
  return 0;
}

int reportInfinite(Env& env, double v) { return reportError(env, 1233, v > 0 ? "\"inf\"" : "\"-inf\""); }

int checkNumbers(Env& env, const double* v, long long n, Num kind, bool dc) {
  if (!v) return 0;
  for (long long k = 0; k < n; ++k)
    if (std::isnan(v[k])) return 1225;
  if (!dc || kind == Num::AnySize) return 0;
  const double limit = kind == Num::Coef ? kInfBound : std::numeric_limits<double>::infinity();
  for (long long k = 0; k < n; ++k)
    if (std::fabs(v[k]) >= limit) return reportInfinite(env, v[k]);
  return 0;
}

int checkSenses(Env& env, const char* s, long long n) {
  if (!s) return 0;
  for (long long k = 0; k < n; ++k)
    if (s[k] != 'L' && s[k] != 'E' && s[k] != 'G' && s[k] != 'R') return reportError(env, 1215, k);
  return 0;
}

int checkCtypes(Env& env, const char* t, long long n) {
  if (!t) return 0;
  for (long long k = 0; k < n; ++k)
    if (!std::strchr("CBISN", t[k]) || t[k] == 0) return reportError(env, 3021, k);
  return 0;
}

int checkBoundTypes(Env& env, const char* t, long long n) {
  for (long long k = 0; k < n; ++k)
    if (t[k] != 'L' && t[k] != 'U' && t[k] != 'B') return reportError(env, 1229, k);
  return 0;
}

int checkSparse(Env& env, long long cnt, long long nzcnt, const long long* beg, const int* ind,
                const double* val, int limit, int idxCode, bool dc) {
  if (nzcnt == 0 || cnt == 0) return 0;
  if (beg[0] < 0 || beg[0] > nzcnt) return 1200;
  for (long long k = 1; k < cnt; ++k) {
    if (beg[k] < beg[k - 1]) return reportError(env, 1226, k);
    if (beg[k] > nzcnt) return 1200;
  }
  for (long long e = beg[0]; e < nzcnt; ++e)
    if (ind[e] < 0 || ind[e] >= limit) return reportError(env, idxCode, static_cast<long long>(ind[e]));
  if (int st = checkNumbers(env, val + beg[0], nzcnt - beg[0], Num::Coef, dc)) return st;
  if (!dc) return 0;
  // Duplicate indices within one vector.
  std::vector<int> tmp;
  for (long long k = 0; k < cnt; ++k) {
    const long long b = beg[k], e = k + 1 < cnt ? beg[k + 1] : nzcnt;
    if (e - b < 2) continue;
    tmp.assign(ind + b, ind + e);
    std::sort(tmp.begin(), tmp.end());
    if (std::adjacent_find(tmp.begin(), tmp.end()) != tmp.end()) return 1222;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Encodings

static bool sameName(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

static bool isLatin1(const char* enc) {
  return sameName(enc, "ISO-8859-1") || sameName(enc, "ISO8859-1") || sameName(enc, "ISO_8859-1") ||
         sameName(enc, "latin1") || sameName(enc, "latin-1");
}

static bool isUtf8(const char* enc) {
  return !*enc || sameName(enc, "UTF-8") || sameName(enc, "UTF8") || sameName(enc, "no_encoding");
}

static bool ascii(const char* s, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(s[i]) >= 128) return false;
  return true;
}

static int icuConvert(const char* to, const char* from, const char* s, size_t n, std::string& out) {
  UErrorCode err = U_ZERO_ERROR;
  std::string buf(n * 4 + 8, '\0');
  int32_t len = ucnv_convert(to, from, buf.data(), static_cast<int32_t>(buf.size()), s,
                             static_cast<int32_t>(n), &err);
  if (U_FAILURE(err)) return 1235;
  buf.resize(static_cast<size_t>(len));
  out = std::move(buf);
  return 0;
}

// Names are kept in normalization form C, so that a combining sequence and
// the precomposed character name the same object.  Text that is not
// well-formed UTF-8 is left as it is.
static void normalizeName(std::string& s) {
  UErrorCode err = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&err);
  if (U_FAILURE(err)) return;
  std::u16string u(s.size() + 1, u'\0');
  int32_t ulen = 0;
  u_strFromUTF8(reinterpret_cast<UChar*>(u.data()), static_cast<int32_t>(u.size()), &ulen, s.data(),
                static_cast<int32_t>(s.size()), &err);
  if (U_FAILURE(err)) return;
  const UChar* text = reinterpret_cast<const UChar*>(u.data());
  if (unorm2_quickCheck(nfc, text, ulen, &err) == UNORM_YES || U_FAILURE(err)) return;
  std::u16string n(static_cast<size_t>(ulen) * 3 + 1, u'\0');
  int32_t nlen = unorm2_normalize(nfc, text, ulen, reinterpret_cast<UChar*>(n.data()),
                                  static_cast<int32_t>(n.size()), &err);
  if (U_FAILURE(err)) return;
  std::string b(static_cast<size_t>(nlen) * 3 + 1, '\0');
  int32_t blen = 0;
  u_strToUTF8(b.data(), static_cast<int32_t>(b.size()), &blen, reinterpret_cast<const UChar*>(n.data()), nlen, &err);
  if (U_FAILURE(err)) return;
  b.resize(static_cast<size_t>(blen));
  s = std::move(b);
}

int nameIn(Env& env, const char* s, std::string& out) {
  const size_t n = std::strlen(s);
  const char* enc = params::getStr(env, kParamApiEncoding);
  if (!enc) enc = "";
  if (ascii(s, n) || isUtf8(enc)) {
    out.assign(s, n);
  } else if (isLatin1(enc)) {
    out.clear();
    out.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
      unsigned char c = static_cast<unsigned char>(s[i]);
      if (c < 128) {
        out.push_back(static_cast<char>(c));
      } else {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
  } else if (int st = icuConvert("UTF-8", enc, s, n, out)) {
    return st;
  }
  // Latin-1 text is in normalization form C already
  if (!ascii(s, n) && !isLatin1(enc)) normalizeName(out);
  for (unsigned char c : out)
    if (c < 32 || c == 127) return 1236;
  return 0;
}

int namesIn(Env& env, char** names, long long n, std::vector<std::string>& out) {
  out.clear();
  if (!names) return 0;
  out.resize(static_cast<size_t>(n));
  for (long long k = 0; k < n; ++k) {
    if (!names[k]) return 1004;
    if (int st = nameIn(env, names[k], out[k])) return st;
  }
  return 0;
}

std::string nameOut(Env& env, const std::string& s) {
  if (ascii(s.data(), s.size())) return s;
  const char* enc = params::getStr(env, kParamApiEncoding);
  if (!enc || isUtf8(enc)) return s;
  if (isLatin1(enc)) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(s[i]);
      if (c < 128) {
        out.push_back(static_cast<char>(c));
      } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
        unsigned cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
        out.push_back(cp < 256 ? static_cast<char>(cp) : '?');
        ++i;
      } else {
        // Longer sequences are outside Latin-1.
        out.push_back('?');
        while (i + 1 < s.size() && (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80) ++i;
      }
    }
    return out;
  }
  std::string out;
  if (icuConvert(enc, "UTF-8", s.data(), s.size(), out)) return s;
  return out;
}

}  // namespace vnt::model::ops
