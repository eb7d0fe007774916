// Element encoding of the binary SAV files: identifier, length, contents in
// the Basic Encoding Rules (X.690).  The writer opens every constructed
// element with the indefinite-length marker and, when the element closes
// while its start is still in the output buffer, replaces the marker by the
// definite length; an element whose start was written out already is closed
// with the end-of-contents octets.  The reader accepts both forms.
//
// Every primitive read or write returns one of the SAV conditions below (0 on
// success); callers map them to their messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io/device.h"

namespace vnt::io::ber {

enum Cond : int {
  kOk = 0,
  kNotSav = 1560,       // header missing, version below 1, wrong signature
  kTruncated = 1561,    // the stream ends inside an element
  kWriteFailed = 1562,  // a write of the device failed
  kByteOrder = 1563,    // the data cannot be decoded in the expected byte order
  kBadData = 1564,      // an element has the wrong tag, length or value
};

enum Class : unsigned { kUniversal = 0x00, kApplication = 0x40 };

// Universal tags of the primitive values.
inline constexpr unsigned kTagBoolean = 1;
inline constexpr unsigned kTagInteger = 2;
inline constexpr unsigned kTagReal = 9;
inline constexpr unsigned kTagUtf8 = 12;
inline constexpr unsigned kTagSequence = 16;
// Application tag of a byte string.
inline constexpr unsigned kTagBytes = 24;

class Writer {
 public:
  // flushAt: the output buffer is written out when it holds this many bytes.
  explicit Writer(Device& dev, std::size_t flushAt = std::size_t{1} << 20) : dev_(dev), flushAt_(flushAt) {}

  void open(unsigned cls, unsigned tag);  // constructed element
  void openApplication(unsigned tag) { open(kApplication, tag); }
  void openSequence() { open(kUniversal, kTagSequence); }
  void close();

  void integer(int64_t v);
  void boolean(bool b);
  void real(double v);
  // Byte string; null writes the absent string (length -1).
  void bytes(const std::string* s);
  void bytes(const std::string& s) { bytes(&s); }
  void text1(char c);  // a one-byte byte string
  void intArray(const int* v, std::size_t n);
  void intArray(const int64_t* v, std::size_t n);
  void realArray(const double* v, std::size_t n);
  template <class V>
  void intArray(const V& v) { intArray(v.data(), v.size()); }
  void realArray(const std::vector<double>& v) { realArray(v.data(), v.size()); }

  // Writes out what is buffered; all elements must be closed.  kOk or
  // kWriteFailed (also when any earlier write failed).
  int finish();

 private:
  void identifier(unsigned cls, bool constructed, unsigned tag);
  void primitive(unsigned tag, const unsigned char* c, std::size_t n);
  void flushIfFull();
  void flushAll();

  Device& dev_;
  std::size_t flushAt_;
  std::string buf_;
  uint64_t base_ = 0;            // stream offset of buf_[0]
  std::vector<uint64_t> open_;   // stream offsets of the length octet of each open element
  bool failed_ = false;
};

class Reader {
 public:
  explicit Reader(std::string_view data) : d_(data) {}

  // Opens a constructed element of the given class and tag.
  int open(unsigned cls, unsigned tag);
  int openApplication(unsigned tag) { return open(kApplication, tag); }
  int openSequence() { return open(kUniversal, kTagSequence); }
  // True when the innermost open element has no more contents.
  bool atEnd() const;
  // Closes the innermost element: its contents must be used up (or, with
  // skipRest, the rest is skipped; *skipped tells whether there was any).
  int close(bool skipRest = false, bool* skipped = nullptr);
  // Skips one element of any kind.
  int skip();

  int integer(int64_t& v);
  int integer(int& v);  // must fit an int
  int boolean(bool& b);
  int real(double& v);
  int bytes(std::string& s, bool& present);
  int bytes(std::string& s);  // absent string refused
  int text1(char& c);
  int intArray(std::vector<int>& v);
  int intArray(std::vector<int64_t>& v);
  int realArray(std::vector<double>& v);

  std::size_t position() const { return pos_; }
  bool atStreamEnd() const { return pos_ >= d_.size(); }
  std::size_t depth() const { return frames_.size(); }

 private:
  struct Frame {
    std::size_t end;  // definite: offset after the contents
    bool indefinite;
  };
  // Identifier and length of the next element.
  int header(unsigned& cls, bool& constructed, unsigned& tag, bool& indefinite, std::size_t& len);
  int primitive(unsigned tag, std::string_view& contents);
  std::size_t limit() const;  // end of the innermost definite element (or the data)

  std::string_view d_;
  std::size_t pos_ = 0;
  std::vector<Frame> frames_;
};

}  // namespace vnt::io::ber
