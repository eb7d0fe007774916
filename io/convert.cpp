#include "io/convert.h"

#include <unicode/ucnv.h>

#include <cstring>
#include <vector>

#include "io/textutil.h"

namespace vnt::io {

namespace {

constexpr std::size_t kChunk = 1 << 16;
constexpr std::size_t kPivot = 1 << 12;

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
        std::size_t k = 0, room = static_cast<std::size_t>(tLimit - t), avail = in_.size() - inPos_;
        const unsigned char* src = reinterpret_cast<const unsigned char*>(in_.data() + inPos_);
        while (k < room && k < avail && src[k] < 128) ++k;
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
      std::size_t k = 0;
      while (k < n && static_cast<unsigned char>(p[k]) < 128) ++k;
      if (k == n) {
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
  return encoding.empty() || equalsNoCase(encoding, "no_encoding") || equalsNoCase(encoding, "UTF-8") ||
         equalsNoCase(encoding, "UTF8");
}

std::unique_ptr<Device> makeConvertingDevice(Device& inner, const std::string& encoding, char mode) {
  UConverter* file = openStrict(encoding.c_str());
  if (!file) return nullptr;
  UConverter* utf8 = openStrict("UTF-8");
  if (!utf8) {
    ucnv_close(file);
    return nullptr;
  }
  if (mode == 'r') return std::make_unique<ConvertingDevice>(inner, file, utf8, true);
  return std::make_unique<ConvertingDevice>(inner, utf8, file, false);
}

}  // namespace vnt::io
