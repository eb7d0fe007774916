#include "io/linereader.h"

#include <cstring>

namespace vnt::io {

bool LineReader::fill() {
  if (eof_ || failed_) return false;
  if (pos_ > 0) {
    std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  if (end_ == buf_.size()) buf_.resize(buf_.size() * 2);
  std::size_t got = dev_.read(buf_.data() + end_, buf_.size() - end_);
  if (got == 0) {
    if (dev_.error()) failed_ = true;
    eof_ = true;
    return false;
  }
  end_ += got;
  return true;
}

bool LineReader::next(std::string& line) {
  std::size_t scan = pos_;
  for (;;) {
    const char* start = buf_.data() + scan;
    const void* nl = std::memchr(start, '\n', end_ - scan);
    if (nl) {
      std::size_t e = static_cast<std::size_t>(static_cast<const char*>(nl) - buf_.data());
      line.assign(buf_.data() + pos_, e - pos_);
      pos_ = e + 1;
      ++lineNo_;
      return true;
    }
    std::size_t scanned = end_ - pos_;
    if (!fill()) {
      if (failed_) return false;
      if (end_ > pos_) {  // last line without a line feed
        line.assign(buf_.data() + pos_, end_ - pos_);
        pos_ = end_;
        ++lineNo_;
        return true;
      }
      return false;
    }
    scan = pos_ + scanned;
  }
}

}  // namespace vnt::io
