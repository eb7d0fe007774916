// Character classes of the LP format, shared by its reader and writer.
#pragma once

#include <cstdint>

namespace vnt::io {

enum LpCharBit : uint16_t {
  kLpIdentifier = 1 << 0,  // may start a name
  kLpSense = 1 << 1,       // < = >
  kLpNumber = 1 << 2,      // digits . + - e E
  kLpExponent = 1 << 3,    // e E
  kLpValid = 1 << 4,       // accepted character
  kLpLineEnd = 1 << 5,     // NUL, LF, FF, CR, backslash
  kLpDigit = 1 << 6,
  kLpSign = 1 << 7,
  kLpBlank = 1 << 8,       // space, tab, other controls, 127
  kLpTerminator = 1 << 9,  // ends a name
  kLpQuadOp = 1 << 10,     // * / [ ] ^
  kLpArrow = 1 << 11,      // < > -
};

extern const uint16_t kLpCharClass[256];

inline bool lpIs(char c, LpCharBit bit) { return kLpCharClass[static_cast<unsigned char>(c)] & bit; }
inline bool lpIs(unsigned char c, LpCharBit bit) { return kLpCharClass[c] & bit; }

}  // namespace vnt::io
