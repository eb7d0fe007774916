#include "io/ber.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace vnt::io::ber {

namespace {

// Constructed elements nest at most this deep (the SAV layout needs five).
constexpr std::size_t kMaxDepth = 64;
constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

// Minimal two's-complement big-endian octets of v.
std::size_t twosComplement(int64_t v, unsigned char out[8]) {
  for (int k = 0; k < 8; ++k) out[k] = static_cast<unsigned char>(static_cast<uint64_t>(v) >> (56 - 8 * k));
  std::size_t first = 0;
  while (first < 7 && ((out[first] == 0x00 && !(out[first + 1] & 0x80)) ||
                       (out[first] == 0xFF && (out[first + 1] & 0x80))))
    ++first;
  std::memmove(out, out + first, 8 - first);
  return 8 - first;
}

// Minimal unsigned big-endian octets of v (at least one).
std::size_t unsignedOctets(uint64_t v, unsigned char out[8]) {
  std::size_t n = 0;
  for (uint64_t t = v; t; t >>= 8) ++n;
  if (n == 0) n = 1;
  for (std::size_t k = 0; k < n; ++k) out[k] = static_cast<unsigned char>(v >> (8 * (n - 1 - k)));
  return n;
}

int64_t signedValue(std::string_view c) {
  uint64_t v = (static_cast<unsigned char>(c[0]) & 0x80) ? ~uint64_t{0} : 0;
  for (unsigned char b : c) v = (v << 8) | b;
  return static_cast<int64_t>(v);
}

}  // namespace

// ---------------------------------------------------------------------------
// Writer

void Writer::identifier(unsigned cls, bool constructed, unsigned tag) {
  const unsigned char lead = static_cast<unsigned char>(cls | (constructed ? 0x20 : 0x00));
  if (tag < 31) {
    buf_.push_back(static_cast<char>(lead | tag));
    return;
  }
  buf_.push_back(static_cast<char>(lead | 0x1F));
  unsigned char digits[5];
  int n = 0;
  for (unsigned t = tag; t || n == 0; t >>= 7) digits[n++] = static_cast<unsigned char>(t & 0x7F);
  while (n-- > 0) buf_.push_back(static_cast<char>(digits[n] | (n ? 0x80 : 0x00)));
}

void Writer::open(unsigned cls, unsigned tag) {
  identifier(cls, true, tag);
  open_.push_back(base_ + buf_.size());
  buf_.push_back(static_cast<char>(0x80));
}

void Writer::close() {
  if (open_.empty()) return;
  const uint64_t start = open_.back();
  open_.pop_back();
  if (start >= base_) {
    // The marker is still buffered: put the definite length in its place.
    const std::size_t at = static_cast<std::size_t>(start - base_);
    const std::size_t len = buf_.size() - at - 1;
    if (len <= 127) {
      buf_[at] = static_cast<char>(len);
    } else {
      unsigned char o[8];
      const std::size_t n = unsignedOctets(len, o);
      buf_[at] = static_cast<char>(0x80 | n);
      buf_.insert(at + 1, reinterpret_cast<const char*>(o), n);
    }
  } else {
    buf_.append(2, '\0');
  }
  flushIfFull();
}

void Writer::primitive(unsigned tag, const unsigned char* c, std::size_t n) {
  identifier(kUniversal, false, tag);
  buf_.push_back(static_cast<char>(n));  // contents of primitives stay below 128 octets
  buf_.append(reinterpret_cast<const char*>(c), n);
  flushIfFull();
}

void Writer::integer(int64_t v) {
  unsigned char o[8];
  const std::size_t n = twosComplement(v, o);
  primitive(kTagInteger, o, n);
}

void Writer::boolean(bool b) {
  const unsigned char o = b ? 0xFF : 0x00;
  primitive(kTagBoolean, &o, 1);
}

void Writer::real(double v) {
  unsigned char c[16];
  std::size_t n = 0;
  if (std::isnan(v)) {
    c[n++] = 0x42;
  } else if (std::isinf(v)) {
    c[n++] = v > 0 ? 0x40 : 0x41;
  } else if (v == 0.0) {
    if (std::signbit(v)) c[n++] = 0x43;
  } else {
    // |v| = N * 2^E with N odd.
    int e = 0;
    const double f = std::frexp(std::fabs(v), &e);
    uint64_t mant = static_cast<uint64_t>(std::ldexp(f, 53));
    int64_t exp = static_cast<int64_t>(e) - 53;
    while (!(mant & 1)) {
      mant >>= 1;
      ++exp;
    }
    unsigned char eo[8], mo[8];
    const std::size_t ne = twosComplement(exp, eo);
    const std::size_t nm = unsignedOctets(mant, mo);
    c[n++] = static_cast<unsigned char>(0x80 | (std::signbit(v) ? 0x40 : 0x00) | (ne - 1));
    std::memcpy(c + n, eo, ne);
    n += ne;
    std::memcpy(c + n, mo, nm);
    n += nm;
  }
  primitive(kTagReal, c, n);
}

void Writer::bytes(const std::string* s) {
  openApplication(kTagBytes);
  integer(s ? static_cast<int64_t>(s->size()) : -1);
  openSequence();
  if (s)
    for (char ch : *s) {
      const unsigned char b = static_cast<unsigned char>(ch);
      primitive(kTagUtf8, &b, 1);
    }
  close();
  close();
}

void Writer::text1(char c) {
  const std::string s(1, c);
  bytes(&s);
}

void Writer::intArray(const int* v, std::size_t n) {
  openSequence();
  for (std::size_t k = 0; k < n; ++k) integer(v[k]);
  close();
}

void Writer::intArray(const int64_t* v, std::size_t n) {
  openSequence();
  for (std::size_t k = 0; k < n; ++k) integer(v[k]);
  close();
}

void Writer::realArray(const double* v, std::size_t n) {
  openSequence();
  for (std::size_t k = 0; k < n; ++k) real(v[k]);
  close();
}

void Writer::flushIfFull() {
  if (buf_.size() >= flushAt_) flushAll();
}

void Writer::flushAll() {
  if (buf_.empty()) return;
  if (!failed_ && dev_.write(buf_.data(), buf_.size()) != buf_.size()) failed_ = true;
  base_ += buf_.size();
  buf_.clear();
}

int Writer::finish() {
  while (!open_.empty()) close();
  flushAll();
  if (!failed_ && !dev_.flush()) failed_ = true;
  return failed_ ? kWriteFailed : kOk;
}

// ---------------------------------------------------------------------------
// Reader

std::size_t Reader::limit() const {
  std::size_t lim = kNoLimit;
  for (const Frame& f : frames_)
    if (!f.indefinite && f.end < lim) lim = f.end;
  return lim;
}

int Reader::header(unsigned& cls, bool& constructed, unsigned& tag, bool& indefinite, std::size_t& len) {
  const std::size_t lim = limit();
  auto need = [&](std::size_t k) -> int {
    if (pos_ + k > lim) return kBadData;
    if (pos_ + k > d_.size()) return kTruncated;
    return kOk;
  };
  if (int c = need(1)) return c;
  const unsigned char id = static_cast<unsigned char>(d_[pos_++]);
  cls = id & 0xC0;
  constructed = (id & 0x20) != 0;
  tag = id & 0x1F;
  if (tag == 0x1F) {
    tag = 0;
    for (int k = 0;; ++k) {
      if (k == 4) return kBadData;
      if (int c = need(1)) return c;
      const unsigned char b = static_cast<unsigned char>(d_[pos_++]);
      tag = (tag << 7) | (b & 0x7F);
      if (!(b & 0x80)) break;
    }
  }
  if (int c = need(1)) return c;
  const unsigned char l = static_cast<unsigned char>(d_[pos_++]);
  indefinite = false;
  len = 0;
  if (l == 0x80) {
    if (!constructed) return kBadData;
    indefinite = true;
    return kOk;
  }
  if (l < 0x80) {
    len = l;
  } else {
    const std::size_t n = l & 0x7F;
    if (n > 8 || l == 0xFF) return kBadData;
    if (int c = need(n)) return c;
    uint64_t v = 0;
    for (std::size_t k = 0; k < n; ++k) v = (v << 8) | static_cast<unsigned char>(d_[pos_++]);
    if (v > (uint64_t{1} << 60)) return kBadData;
    len = static_cast<std::size_t>(v);
  }
  return need(len);
}

int Reader::open(unsigned cls, unsigned tag) {
  unsigned c = 0, t = 0;
  bool cons = false, indef = false;
  std::size_t len = 0;
  if (int st = header(c, cons, t, indef, len)) return st;
  if (c != cls || t != tag || !cons || frames_.size() >= kMaxDepth) return kBadData;
  frames_.push_back({pos_ + len, indef});
  return kOk;
}

bool Reader::atEnd() const {
  if (frames_.empty()) return atStreamEnd();
  const Frame& f = frames_.back();
  if (!f.indefinite) return pos_ >= f.end;
  return pos_ + 1 < d_.size() && d_[pos_] == 0 && d_[pos_ + 1] == 0;
}

int Reader::close(bool skipRest, bool* skipped) {
  if (skipped) *skipped = false;
  if (frames_.empty()) return kBadData;
  const Frame f = frames_.back();
  if (!f.indefinite) {
    while (pos_ < f.end) {
      if (!skipRest) return kBadData;
      if (skipped) *skipped = true;
      if (int st = skip()) return st;
    }
    if (pos_ != f.end) return kBadData;
  } else {
    for (;;) {
      if (pos_ + 2 > d_.size()) return kTruncated;
      if (d_[pos_] == 0 && d_[pos_ + 1] == 0) {
        pos_ += 2;
        break;
      }
      if (!skipRest) return kBadData;
      if (skipped) *skipped = true;
      if (int st = skip()) return st;
    }
  }
  frames_.pop_back();
  return kOk;
}

int Reader::skip() {
  unsigned c = 0, t = 0;
  bool cons = false, indef = false;
  std::size_t len = 0;
  if (int st = header(c, cons, t, indef, len)) return st;
  if (!indef) {
    pos_ += len;
    return kOk;
  }
  if (frames_.size() >= kMaxDepth) return kBadData;
  frames_.push_back({0, true});
  return close(true);
}

int Reader::primitive(unsigned tag, std::string_view& contents) {
  unsigned c = 0, t = 0;
  bool cons = false, indef = false;
  std::size_t len = 0;
  if (int st = header(c, cons, t, indef, len)) return st;
  if (c != kUniversal || cons || t != tag) return kBadData;
  contents = d_.substr(pos_, len);
  pos_ += len;
  return kOk;
}

int Reader::integer(int64_t& v) {
  std::string_view c;
  if (int st = primitive(kTagInteger, c)) return st;
  if (c.empty() || c.size() > 8) return kBadData;
  v = signedValue(c);
  return kOk;
}

int Reader::integer(int& v) {
  int64_t w = 0;
  if (int st = integer(w)) return st;
  if (w < std::numeric_limits<int>::min() || w > std::numeric_limits<int>::max()) return kBadData;
  v = static_cast<int>(w);
  return kOk;
}

int Reader::boolean(bool& b) {
  std::string_view c;
  if (int st = primitive(kTagBoolean, c)) return st;
  if (c.size() != 1) return kBadData;
  b = c[0] != 0;
  return kOk;
}

int Reader::real(double& v) {
  std::string_view c;
  if (int st = primitive(kTagReal, c)) return st;
  if (c.empty()) {
    v = 0.0;
    return kOk;
  }
  const unsigned char first = static_cast<unsigned char>(c[0]);
  if (!(first & 0x80)) {
    // Special values; the decimal forms are not used by these files.
    if (c.size() != 1) return kBadData;
    switch (first) {
      case 0x40: v = std::numeric_limits<double>::infinity(); return kOk;
      case 0x41: v = -std::numeric_limits<double>::infinity(); return kOk;
      case 0x42: v = std::numeric_limits<double>::quiet_NaN(); return kOk;
      case 0x43: v = -0.0; return kOk;
      default: return kBadData;
    }
  }
  const bool negative = (first & 0x40) != 0;
  const unsigned baseCode = (first >> 4) & 3;
  if (baseCode == 3) return kBadData;
  const int log2Base = baseCode == 0 ? 1 : baseCode == 1 ? 3 : 4;
  const int scale = (first >> 2) & 3;
  std::size_t at = 1, ne = (first & 3) + 1;
  if ((first & 3) == 3) {
    if (c.size() < 2) return kBadData;
    ne = static_cast<unsigned char>(c[1]);
    at = 2;
  }
  if (ne == 0 || ne > 4 || at + ne >= c.size()) return kBadData;
  const int64_t exp = signedValue(c.substr(at, ne));
  at += ne;
  std::string_view m = c.substr(at);
  while (!m.empty() && m[0] == 0) m.remove_prefix(1);
  if (m.size() > 8) return kBadData;
  uint64_t mant = 0;
  for (unsigned char b : m) mant = (mant << 8) | b;
  int64_t p = exp * log2Base + scale;
  if (p > 100000) p = 100000;
  if (p < -100000) p = -100000;
  // (a mantissa wider than a double's is rounded once, by the conversion)
  const double mag = std::ldexp(static_cast<double>(mant), static_cast<int>(p));
  v = negative ? -mag : mag;
  return kOk;
}

int Reader::bytes(std::string& s, bool& present) {
  if (int st = openApplication(kTagBytes)) return st;
  int64_t len = 0;
  if (int st = integer(len)) return st;
  if (len < -1) return kBadData;
  present = len >= 0;
  s.clear();
  if (int st = openSequence()) return st;
  // Three octets per byte: a claimed length beyond what is left is wrong.
  if (len > 0 && static_cast<uint64_t>(len) <= (d_.size() - pos_) / 3) s.reserve(static_cast<std::size_t>(len));
  while (!atEnd()) {
    std::string_view c;
    if (int st = primitive(kTagUtf8, c)) return st;
    if (c.size() != 1 || static_cast<int64_t>(s.size()) >= len) return kBadData;
    s.push_back(c[0]);
  }
  if (static_cast<int64_t>(s.size()) != (present ? len : 0)) return kBadData;
  if (int st = close()) return st;
  return close();
}

int Reader::bytes(std::string& s) {
  bool present = false;
  if (int st = bytes(s, present)) return st;
  return present ? kOk : kBadData;
}

int Reader::text1(char& c) {
  std::string s;
  if (int st = bytes(s)) return st;
  if (s.size() != 1) return kBadData;
  c = s[0];
  return kOk;
}

int Reader::intArray(std::vector<int>& v) {
  v.clear();
  if (int st = openSequence()) return st;
  while (!atEnd()) {
    int x = 0;
    if (int st = integer(x)) return st;
    v.push_back(x);
  }
  return close();
}

int Reader::intArray(std::vector<int64_t>& v) {
  v.clear();
  if (int st = openSequence()) return st;
  while (!atEnd()) {
    int64_t x = 0;
    if (int st = integer(x)) return st;
    v.push_back(x);
  }
  return close();
}

int Reader::realArray(std::vector<double>& v) {
  v.clear();
  if (int st = openSequence()) return st;
  while (!atEnd()) {
    double x = 0;
    if (int st = real(x)) return st;
    v.push_back(x);
  }
  return close();
}

}  // namespace vnt::io::ber
