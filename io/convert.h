// Character-encoding conversion around a Device: text read from a file is
// converted from the file encoding to UTF-8, text written is converted from
// UTF-8 to the file encoding.  "no_encoding" (and UTF-8 itself) pass bytes
// unchanged.
#pragma once

#include <memory>
#include <string>

#include "io/device.h"

namespace vnt::io {

// True when text in `encoding` needs no conversion.
bool isPassThroughEncoding(const std::string& encoding);

// Wraps `inner` (not owned; must outlive the result).  mode 'r' converts to
// UTF-8 on read, 'w' converts from UTF-8 on write.  Returns null when no
// converter can be opened for the encoding.  A conversion failure makes
// error() true and errorCode() 1235.
std::unique_ptr<Device> makeConvertingDevice(Device& inner, const std::string& encoding, char mode);

}  // namespace vnt::io
