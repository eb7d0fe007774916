#include "io/convert.h"

#include <unicode/ucnv.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <cstring>
#include <vector>

#include "io/textutil.h"

namespace vnt::io {

namespace {

constexpr std::size_t kChunk = 1 << 16;
constexpr std::size_t kPivot = 1 << 12;

// Appends s in normalization form C to out; false when s is not well-formed
// UTF-8.  u16 and norm are scratch buffers.
bool toNfc(std::string_view s, std::string& out, std::u16string& u16, std::u16string& norm) {
  UErrorCode ec = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&ec);
  if (U_FAILURE(ec) || s.size() > static_cast<std::size_t>(INT32_MAX / 2)) return false;
  int32_t ulen = 0;
  u16.resize(s.size() + 1);
  u_strFromUTF8(reinterpret_cast<UChar*>(u16.data()), static_cast<int32_t>(u16.size()), &ulen, s.data(),
                static_cast<int32_t>(s.size()), &ec);
  if (U_FAILURE(ec)) return false;
  const UChar* text = reinterpret_cast<const UChar*>(u16.data());
  int32_t tlen = ulen;
  if (unorm2_quickCheck(nfc, text, ulen, &ec) != UNORM_YES || U_FAILURE(ec)) {
    ec = U_ZERO_ERROR;
    // composition never lengthens the text by more than a factor of 3
    norm.resize(static_cast<std::size_t>(ulen) * 3 + 1);
    tlen = unorm2_normalize(nfc, text, ulen, reinterpret_cast<UChar*>(norm.data()),
                            static_cast<int32_t>(norm.size()), &ec);
    if (U_FAILURE(ec)) return false;
    text = reinterpret_cast<const UChar*>(norm.data());
  }
  std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(tlen) * 3 + 1);
  int32_t blen = 0;
  u_strToUTF8(out.data() + at, static_cast<int32_t>(out.size() - at), &blen, text, tlen, &ec);
  if (U_FAILURE(ec)) return false;
  out.resize(at + static_cast<std::size_t>(blen));
  return true;
}

struct UConv {
  UConverter* c = nullptr;
  ~UConv() {
    if (c) ucnv_close(c);
  }
};

// Streaming conversion between two ICU converters through a UTF-16 pivot.
class ConvertingDevice final : public Device {
 public:
  ConvertingDevice(Device& inner, UConverter* from, UConverter* to, bool reading)
      : inner_(inner), reading_(reading), pivot_(kPivot) {
    from_.c = from;
    to_.c = to;
    pivotSource_ = pivotTarget_ = pivot_.data();
    in_.reserve(kChunk);
    UConverterType ft = ucnv_getType(reading ? from : to);
    asciiFast_ = ft == UCNV_LATIN_1 || ft == UCNV_US_ASCII;
  }
  ~ConvertingDevice() override { close(); }

  std::size_t read(void* buf, std::size_t n) override {
    if (!reading_ || failed_) return 0;
    char* t = static_cast<char*>(buf);
    char* const tLimit = t + n;
    while (t < tLimit) {
      // ASCII passes straight through a stateless ASCII-compatible encoding
      if (asciiFast_ && pivotSource_ == pivotTarget_ && inPos_ < in_.size()) {
        std::size_t room = static_cast<std::size_t>(tLimit - t), avail = in_.size() - inPos_;
        const char* src = in_.data() + inPos_;
        std::size_t k = asciiPrefix(src, std::min(room, avail));
        if (k > 0) {
          std::memcpy(t, src, k);
          t += k;
          inPos_ += k;
          continue;
        }
      }
      if (inPos_ == in_.size() && !innerEof_) {
        in_.resize(kChunk);
        std::size_t got = inner_.read(in_.data(), kChunk);
        in_.resize(got);
        inPos_ = 0;
        if (got == 0) {
          if (inner_.error()) {
            failed_ = true;
            code_ = 1426;
            break;
          }
          innerEof_ = true;
        } else if (asciiFast_ && pivotSource_ == pivotTarget_) {
          continue;  // the new chunk starts with the fast path again
        }
      }
      const char* s = in_.data() + inPos_;
      const char* const sLimit = in_.data() + in_.size();
      UErrorCode ec = U_ZERO_ERROR;
      char* tBefore = t;
      ucnv_convertEx(to_.c, from_.c, &t, tLimit, &s, sLimit, pivot_.data(), &pivotSource_, &pivotTarget_,
                     pivot_.data() + pivot_.size(), false, innerEof_, &ec);
      inPos_ = static_cast<std::size_t>(s - in_.data());
      if (ec == U_BUFFER_OVERFLOW_ERROR) break;  // caller's buffer is full
      if (U_FAILURE(ec)) {
        failed_ = true;
        code_ = 1235;
        break;
      }
      if (innerEof_ && inPos_ == in_.size() && t == tBefore) {
        eof_ = true;
        break;
      }
    }
    return static_cast<std::size_t>(t - static_cast<char*>(buf));
  }

  std::size_t write(const void* buf, std::size_t n) override {
    if (reading_ || failed_) return 0;
    const char* p = static_cast<const char*>(buf);
    if (asciiFast_) {
      if (asciiPrefix(p, n) == n) {
        if (inner_.write(p, n) != n) {
          failed_ = true;
          code_ = 1426;
          return 0;
        }
        return n;
      }
    }
    if (!convertOut(p, n, false)) return 0;
    return n;
  }
  bool flush() override { return !failed_ && inner_.flush(); }
  bool rewind() override {
    if (!inner_.rewind()) return false;
    ucnv_reset(from_.c);
    ucnv_reset(to_.c);
    pivotSource_ = pivotTarget_ = pivot_.data();
    in_.clear();
    inPos_ = 0;
    innerEof_ = eof_ = failed_ = false;
    code_ = 0;
    return true;
  }
  bool error() const override { return failed_ || inner_.error(); }
  bool eof() const override { return eof_; }
  int errorCode() const override { return failed_ ? code_ : inner_.errorCode(); }
  bool close() override {
    if (closed_) return !failed_;
    closed_ = true;
    if (!reading_ && !failed_) convertOut("", 0, true);
    return !failed_;
  }

 private:
  bool convertOut(const char* s, std::size_t n, bool flushAll) {
    const char* const sLimit = s + n;
    char out[kChunk];
    for (;;) {
      char* t = out;
      UErrorCode ec = U_ZERO_ERROR;
      ucnv_convertEx(to_.c, from_.c, &t, out + sizeof out, &s, sLimit, pivot_.data(), &pivotSource_, &pivotTarget_,
                     pivot_.data() + pivot_.size(), false, flushAll, &ec);
      std::size_t k = static_cast<std::size_t>(t - out);
      if (k && inner_.write(out, k) != k) {
        failed_ = true;
        code_ = 1426;
        return false;
      }
      if (ec == U_BUFFER_OVERFLOW_ERROR) continue;
      if (U_FAILURE(ec)) {
        failed_ = true;
        code_ = 1235;
        return false;
      }
      return true;
    }
  }

  Device& inner_;
  bool reading_;
  UConv from_, to_;
  std::vector<UChar> pivot_;
  UChar* pivotSource_;
  UChar* pivotTarget_;
  std::string in_;
  std::size_t inPos_ = 0;
  bool innerEof_ = false, eof_ = false, failed_ = false, closed_ = false;
  bool asciiFast_ = false;
  int code_ = 0;
};

// Passes bytes straight through to the inner device; closing it leaves the
// inner device open (its owner closes it).
class ForwardingDevice final : public Device {
 public:
  explicit ForwardingDevice(Device& inner) : inner_(inner) {}
  std::size_t read(void* buf, std::size_t n) override { return inner_.read(buf, n); }
  std::size_t write(const void* buf, std::size_t n) override { return inner_.write(buf, n); }
  bool flush() override { return inner_.flush(); }
  bool rewind() override { return inner_.rewind(); }
  bool error() const override { return inner_.error(); }
  bool eof() const override { return inner_.eof(); }
  int errorCode() const override { return inner_.errorCode(); }
  bool close() override { return !inner_.error(); }

 private:
  Device& inner_;
};

// Reads UTF-8 from a source device and hands it on in normalization form C,
// so that a name spelt with a combining sequence and the same name with the
// precomposed character are one name.  Ill-formed UTF-8 is a conversion
// failure (1235).  The text is cut into pieces before an ASCII byte (every
// ASCII character starts a new composition), pieces without other bytes pass
// unchanged, the rest goes through the normalizer only from the ASCII
// character in front of its first other byte.
class NormalizingDevice final : public Device {
 public:
  NormalizingDevice(Device& src, std::unique_ptr<Device> owned)
      : src_(src), owned_(std::move(owned)) {
    UErrorCode ec = U_ZERO_ERROR;
    nfc_ = unorm2_getNFCInstance(&ec);
    if (U_FAILURE(ec)) nfc_ = nullptr;
  }
  ~NormalizingDevice() override { close(); }

  std::size_t read(void* buf, std::size_t n) override {
    char* t = static_cast<char*>(buf);
    std::size_t done = 0;
    while (done < n) {
      if (readyPos_ == ready_.size() && !refill()) break;
      std::size_t k = std::min(n - done, ready_.size() - readyPos_);
      std::memcpy(t + done, ready_.data() + readyPos_, k);
      readyPos_ += k;
      done += k;
    }
    return done;
  }
  std::size_t write(const void*, std::size_t) override { return 0; }
  bool flush() override { return !failed_; }
  bool rewind() override {
    if (!src_.rewind()) return false;
    in_.clear();
    ready_.clear();
    readyPos_ = 0;
    srcEof_ = eof_ = failed_ = false;
    code_ = 0;
    return true;
  }
  bool error() const override { return failed_ || src_.error(); }
  bool eof() const override { return eof_; }
  int errorCode() const override { return failed_ ? code_ : src_.errorCode(); }
  bool close() override {
    if (owned_ && !owned_->close()) return false;
    return !error();
  }

 private:
  // Makes the next normalized piece ready; false at the end or on failure.
  bool refill() {
    ready_.clear();
    readyPos_ = 0;
    if (failed_ || eof_) return false;
    for (;;) {
      std::size_t cut = 0;
      if (srcEof_) {
        cut = in_.size();
      } else {
        // up to (not including) the last ASCII byte: the next piece starts
        // with it, so a combining mark after it stays in its piece
        std::size_t p = in_.size();
        while (p > 0 && static_cast<unsigned char>(in_[p - 1]) >= 0x80) --p;
        cut = p > 0 ? p - 1 : 0;
      }
      if (cut > 0 || (srcEof_ && in_.empty())) {
        if (cut == 0) {
          eof_ = true;
          return false;
        }
        if (!normalizePiece(cut)) return false;
        in_.erase(0, cut);
        return true;
      }
      // need more input
      std::size_t old = in_.size();
      in_.resize(old + kChunk);
      std::size_t got = src_.read(in_.data() + old, kChunk);
      in_.resize(old + got);
      if (got == 0) {
        if (src_.error()) {
          failed_ = true;
          code_ = src_.errorCode() ? src_.errorCode() : 1426;
          return false;
        }
        srcEof_ = true;
      }
    }
  }

  // ready_ = normalized in_[0, len).
  bool normalizePiece(std::size_t len) {
    std::size_t plain = asciiPrefix(in_.data(), len);
    if (plain == len) {
      ready_.assign(in_, 0, len);
      return true;
    }
    // keep the ASCII character in front of the first other byte with the
    // part to normalize: a combining mark may attach to it
    std::size_t from = plain > 0 ? plain - 1 : 0;
    ready_.assign(in_, 0, from);
    if (!nfc_ || !toNfc(std::string_view(in_.data() + from, len - from), ready_, u16_, norm_)) {
      failed_ = true;
      code_ = 1235;
      return false;
    }
    return true;
  }

  static constexpr std::size_t kChunk = 1 << 16;
  Device& src_;
  std::unique_ptr<Device> owned_;
  const UNormalizer2* nfc_ = nullptr;
  std::string in_, ready_;
  std::size_t readyPos_ = 0;
  std::u16string u16_, norm_;
  bool srcEof_ = false, eof_ = false, failed_ = false;
  int code_ = 0;
};

UConverter* openStrict(const char* name) {
  UErrorCode ec = U_ZERO_ERROR;
  UConverter* c = ucnv_open(name, &ec);
  if (U_FAILURE(ec)) return nullptr;
  ec = U_ZERO_ERROR;
  ucnv_setToUCallBack(c, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &ec);
  ec = U_ZERO_ERROR;
  ucnv_setFromUCallBack(c, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &ec);
  return c;
}

}  // namespace

bool isPassThroughEncoding(const std::string& encoding) {
  return encoding.empty() || equalsNoCase(encoding, "no_encoding");
}

std::unique_ptr<Device> makeConvertingDevice(Device& inner, const std::string& encoding, char mode) {
  UConverter* file = openStrict(encoding.c_str());
  if (!file) return nullptr;
  UConverterType type = ucnv_getType(file);
  if (type == UCNV_UTF8) {
    // no conversion; text read is still checked and normalized
    ucnv_close(file);
    if (mode == 'r') return std::make_unique<NormalizingDevice>(inner, nullptr);
    return std::make_unique<ForwardingDevice>(inner);
  }
  UConverter* utf8 = openStrict("UTF-8");
  if (!utf8) {
    ucnv_close(file);
    return nullptr;
  }
  if (mode != 'r') return std::make_unique<ConvertingDevice>(inner, utf8, file, false);
  // Latin-1 and ASCII text is in normalization form C once converted
  if (type == UCNV_LATIN_1 || type == UCNV_US_ASCII)
    return std::make_unique<ConvertingDevice>(inner, file, utf8, true);
  auto conv = std::make_unique<ConvertingDevice>(inner, file, utf8, true);
  Device& src = *conv;
  return std::make_unique<NormalizingDevice>(src, std::move(conv));
}

int normalizeUtf8(std::string& s) {
  if (asciiPrefix(s.data(), s.size()) == s.size()) return 0;
  std::string out;
  std::u16string a, b;
  if (!toNfc(s, out, a, b)) return 1235;
  s = std::move(out);
  return 0;
}

}  // namespace vnt::io
