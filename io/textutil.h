// Small text helpers shared by the readers and writers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vnt::io {

struct StringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};
using NameMap = std::unordered_map<std::string, int, StringHash, std::equal_to<>>;

inline int findName(const NameMap& m, std::string_view s) {
  auto it = m.find(s);
  return it == m.end() ? -1 : it->second;
}

// Length of the longest prefix of s of at most maxBytes bytes that does not
// split a UTF-8 sequence.
std::size_t utf8Cut(std::string_view s, std::size_t maxBytes);

// Number of leading bytes of p[0, n) below 0x80 (eight at a time).
std::size_t asciiPrefix(const char* p, std::size_t n);

bool equalsNoCase(std::string_view a, std::string_view b);
bool startsWithNoCase(std::string_view s, std::string_view prefix);
std::string upper(std::string_view s);

// Number text with at most `digits` significant digits, shortest form that
// reads back exactly when digits is 17, otherwise rounded; no trailing zeros.
// Exponent form ("e+NN") when the decimal exponent lies outside [-5, 15].
std::string numberText(double v, int digits = 15);

}  // namespace vnt::io
