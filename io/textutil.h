// Small text helpers shared by the readers and writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vnt::io {

// Hash of a name: eight bytes at a time, mixed by multiplication.
inline std::uint64_t hashName(std::string_view s) noexcept {
  std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ s.size();
  const char* p = s.data();
  std::size_t n = s.size();
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 31;
  }
  if (n) {
    std::uint64_t w = 0;
    std::memcpy(&w, p, n);
    h = (h ^ w) * 0x94D049BB133111EBULL;
    h ^= h >> 29;
  }
  return h * 0x9E3779B97F4A7C15ULL;
}

// Name -> non-negative index, for the readers' row and column names: open
// addressing with linear probing over a power-of-two slot table holding the
// hash and the entry number; the keys sit in one vector in insertion order.
class NameMap {
 public:
  // Inserts key -> value (value >= 0) unless key is present already; false
  // (map unchanged) when it is.
  bool emplace(std::string_view key, int value) {
    if ((keys_.size() + 1) * 2 > slots_.size()) grow();
    std::uint64_t h = hashName(key);
    std::uint32_t tag = static_cast<std::uint32_t>(h);
    for (std::size_t i = h >> shift_;; i = (i + 1) & mask()) {
      Slot& s = slots_[i];
      if (s.entry < 0) {
        s.tag = tag;
        s.entry = static_cast<std::int32_t>(keys_.size());
        keys_.emplace_back(key);
        vals_.push_back(value);
        return true;
      }
      if (s.tag == tag && keys_[static_cast<std::size_t>(s.entry)] == key) return false;
    }
  }
  // The value of key, -1 when absent.
  int find(std::string_view key) const {
    if (keys_.empty()) return -1;
    std::uint64_t h = hashName(key);
    std::uint32_t tag = static_cast<std::uint32_t>(h);
    for (std::size_t i = h >> shift_;; i = (i + 1) & mask()) {
      const Slot& s = slots_[i];
      if (s.entry < 0) return -1;
      if (s.tag == tag && keys_[static_cast<std::size_t>(s.entry)] == key) return vals_[static_cast<std::size_t>(s.entry)];
    }
  }
  std::size_t count(std::string_view key) const { return find(key) >= 0 ? 1 : 0; }
  std::size_t size() const { return keys_.size(); }
  bool empty() const { return keys_.empty(); }
  void clear() {
    keys_.clear();
    vals_.clear();
    slots_.clear();
    shift_ = 64;
  }
  void reserve(std::size_t n) {
    while (slots_.size() < 2 * n) grow();
    keys_.reserve(n);
    vals_.reserve(n);
  }

 private:
  struct Slot {
    std::uint32_t tag = 0;
    std::int32_t entry = -1;
  };
  std::size_t mask() const { return slots_.size() - 1; }
  void grow() {
    std::size_t cap = slots_.empty() ? 16 : 2 * slots_.size();
    --shift_;
    if (slots_.empty()) shift_ = 60;
    slots_.assign(cap, Slot{});
    for (std::size_t e = 0; e < keys_.size(); ++e) {
      std::uint64_t h = hashName(keys_[e]);
      std::size_t i = h >> shift_;
      while (slots_[i].entry >= 0) i = (i + 1) & mask();
      slots_[i].tag = static_cast<std::uint32_t>(h);
      slots_[i].entry = static_cast<std::int32_t>(e);
    }
  }
  std::vector<Slot> slots_;
  std::vector<std::string> keys_;
  std::vector<int> vals_;
  unsigned shift_ = 64;  // 64 - log2(slots)
};

inline int findName(const NameMap& m, std::string_view s) { return m.find(s); }

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
