// Buffered line reading over a Device.
#pragma once

#include <string>
#include <vector>

#include "io/device.h"
#include "io/messages.h"

namespace vnt::io {

class LineReader {
 public:
  explicit LineReader(Device& dev) : dev_(dev), buf_(1 << 16) {}
  // Reads the next physical line into `line`, without its line feed (a
  // carriage return before it is kept; the readers treat it as blank).
  // Returns false at end of input or on a read error (see failed()).
  bool next(std::string& line);
  long long lineNo() const { return lineNo_; }
  bool failed() const { return failed_; }
  int errorCode() const { return failed_ ? (dev_.errorCode() ? dev_.errorCode() : 1426) : 0; }

 private:
  bool fill();
  Device& dev_;
  std::vector<char> buf_;
  std::size_t pos_ = 0, end_ = 0;
  long long lineNo_ = 0;
  bool eof_ = false, failed_ = false;
};

// Writes text through a Device, remembering the first failure.
class Writer {
 public:
  explicit Writer(Device& dev) : dev_(dev) {}
  ~Writer() { flush(); }
  void put(std::string_view s) {
    if (buf_.size() + s.size() > kCap) flush();
    if (s.size() > kCap) {
      if (dev_.write(s.data(), s.size()) != s.size()) ok_ = false;
      return;
    }
    buf_.append(s);
  }
  void put(char c) {
    buf_.push_back(c);
    if (buf_.size() >= kCap) flush();
  }
  bool flush() {
    if (!buf_.empty()) {
      if (dev_.write(buf_.data(), buf_.size()) != buf_.size()) ok_ = false;
      buf_.clear();
    }
    return ok_;
  }
  bool ok() const { return ok_; }

 private:
  static constexpr std::size_t kCap = 1 << 16;
  Device& dev_;
  std::string buf_;
  bool ok_ = true;
};

// Reports the failure of a device (1235 conversion, else 1426); returns the
// negated code.
inline int reportDeviceError(Messages& msg, const Device& dev) {
  if (dev.errorCode() == 1235) return reportError(msg, 1235, "Failed to convert string encoding");
  return reportError(msg, 1426, "Low-level file I/O error");
}

}  // namespace vnt::io
