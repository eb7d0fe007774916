#include "io/lpchars.h"

#include <array>
#include <cstring>

namespace vnt::io {

namespace {

constexpr std::array<uint16_t, 256> buildTable() {
  std::array<uint16_t, 256> t{};
  for (int c = 0; c < 256; ++c) {
    uint16_t b = 0;
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    const char* identPunct = "!\"#$%&'(),;?@_`{}~";
    bool punct = false;
    for (const char* p = identPunct; *p; ++p)
      if (*p == c) punct = true;
    if (letter || c >= 128 || punct) b |= kLpIdentifier;
    if (c == '<' || c == '=' || c == '>') b |= kLpSense;
    if ((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E') b |= kLpNumber;
    if (c == 'e' || c == 'E') b |= kLpExponent;
    if (c == 0 || c == '\n' || c == '\f' || c == '\r' || c == '\\') b |= kLpLineEnd;
    if (c >= '0' && c <= '9') b |= kLpDigit;
    if (c == '+' || c == '-') b |= kLpSign;
    if (c == ' ' || c == '\t' || c < 32 || c == 127) b |= kLpBlank;
    const char* term = ":|*+-/<=>[]^";
    bool isTerm = (b & kLpLineEnd) || c == ' ';
    for (const char* p = term; *p; ++p)
      if (*p == c) isTerm = true;
    if (isTerm) b |= kLpTerminator;
    if (c == '*' || c == '/' || c == '[' || c == ']' || c == '^') b |= kLpQuadOp;
    if (c == '<' || c == '>' || c == '-') b |= kLpArrow;
    if ((b & (kLpIdentifier | kLpNumber | kLpSense | kLpTerminator)) || c == ' ' || c == '\t') b |= kLpValid;
    t[static_cast<std::size_t>(c)] = b;
  }
  return t;
}

constexpr std::array<uint16_t, 256> kTable = buildTable();

}  // namespace

const uint16_t kLpCharClass[256] = {
#define R(i) kTable[i], kTable[i + 1], kTable[i + 2], kTable[i + 3], kTable[i + 4], kTable[i + 5], kTable[i + 6], kTable[i + 7]
#define R64(i) R(i), R(i + 8), R(i + 16), R(i + 24), R(i + 32), R(i + 40), R(i + 48), R(i + 56)
    R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R
};

}  // namespace vnt::io
