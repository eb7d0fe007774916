#include "io/textutil.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vnt::io {

std::size_t utf8Cut(std::string_view s, std::size_t maxBytes) {
  if (s.size() <= maxBytes) return s.size();
  std::size_t n = maxBytes;
  // Back up over continuation bytes so that the sequence they belong to is
  // dropped whole.
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return n;
}

std::size_t asciiPrefix(const char* p, std::size_t n) {
  std::size_t k = 0;
  for (; k + 8 <= n; k += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + k, 8);
    if (w & 0x8080808080808080ULL) break;
  }
  while (k < n && static_cast<unsigned char>(p[k]) < 0x80) ++k;
  return k;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

std::string numberText(double v, int digits) {
  if (v == 0.0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", digits - 1, v);
  // buf: [-]d.ddddde[+-]XX
  char* e = std::strchr(buf, 'e');
  if (!e) return buf;  // infinity or NaN: no exponent to work with
  int exp10 = std::atoi(e + 1);
  std::string mant(buf, static_cast<std::size_t>(e - buf));
  // strip trailing zeros of the mantissa
  if (mant.find('.') != std::string::npos) {
    while (!mant.empty() && mant.back() == '0') mant.pop_back();
    if (!mant.empty() && mant.back() == '.') mant.pop_back();
  }
  if (exp10 < -5 || exp10 > 15) {
    char ex[16];
    std::snprintf(ex, sizeof ex, "e%c%02d", exp10 < 0 ? '-' : '+', std::abs(exp10));
    return mant + ex;
  }
  // fixed form with the same significant digits
  int decimals = digits - 1 - exp10;
  if (decimals < 0) decimals = 0;
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  std::string s(buf);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

}  // namespace vnt::io
