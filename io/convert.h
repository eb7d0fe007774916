// Character-encoding conversion around a Device: text read from a file is
// converted from the file encoding to UTF-8 in normalization form C (NFC),
// text written is converted from UTF-8 to the file encoding.  "no_encoding"
// passes bytes unchanged; UTF-8 files are not converted but their text is
// checked and normalized when read.
#pragma once

#include <memory>
#include <string>

#include "io/device.h"

namespace vnt::io {

// True when text in `encoding` passes unchanged ("no_encoding" or empty).
bool isPassThroughEncoding(const std::string& encoding);

// Wraps `inner` (not owned; must outlive the result).  mode 'r' converts to
// UTF-8 on read, 'w' converts from UTF-8 on write.  Returns null when no
// converter can be opened for the encoding.  A conversion failure makes
// error() true and errorCode() 1235.
std::unique_ptr<Device> makeConvertingDevice(Device& inner, const std::string& encoding, char mode);

// Replaces UTF-8 text by its normalization form C; 0, or 1235 when s is
// not well-formed UTF-8 (s unchanged).
int normalizeUtf8(std::string& s);

}  // namespace vnt::io
