#include "io/device.h"

#include <bzlib.h>
#include <zlib.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

namespace vnt::io {

namespace {

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  s = s.substr(s.size() - suffix.size());
  for (std::size_t i = 0; i < s.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != suffix[i]) return false;
  return true;
}

class PlainDevice final : public Device {
 public:
  explicit PlainDevice(std::FILE* f) : f_(f) {}
  ~PlainDevice() override { close(); }
  std::size_t read(void* buf, std::size_t n) override { return f_ ? std::fread(buf, 1, n, f_) : 0; }
  std::size_t write(const void* buf, std::size_t n) override { return f_ ? std::fwrite(buf, 1, n, f_) : 0; }
  bool flush() override { return f_ && std::fflush(f_) == 0; }
  bool rewind() override {
    if (!f_) return false;
    std::rewind(f_);
    return true;
  }
  bool error() const override { return !f_ || std::ferror(f_) != 0; }
  bool eof() const override { return !f_ || std::feof(f_) != 0; }
  bool close() override {
    if (!f_) return true;
    bool ok = std::ferror(f_) == 0;
    ok = std::fclose(f_) == 0 && ok;
    f_ = nullptr;
    return ok;
  }

 private:
  std::FILE* f_;
};

class GzipDevice final : public Device {
 public:
  explicit GzipDevice(gzFile f) : f_(f) {}
  ~GzipDevice() override { close(); }
  std::size_t read(void* buf, std::size_t n) override {
    std::size_t total = 0;
    while (f_ && total < n) {
      unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(n - total, INT_MAX / 2));
      int got = gzread(f_, static_cast<char*>(buf) + total, chunk);
      if (got < 0) {
        err_ = true;
        break;
      }
      if (got == 0) break;
      total += static_cast<std::size_t>(got);
    }
    return total;
  }
  std::size_t write(const void* buf, std::size_t n) override {
    std::size_t total = 0;
    while (f_ && total < n) {
      unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(n - total, INT_MAX / 2));
      int put = gzwrite(f_, static_cast<const char*>(buf) + total, chunk);
      if (put <= 0) {
        err_ = true;
        break;
      }
      total += static_cast<std::size_t>(put);
    }
    return total;
  }
  bool writeChar(char c) override {
    if (!f_ || gzputc(f_, static_cast<unsigned char>(c)) < 0) {
      err_ = true;
      return false;
    }
    return true;
  }
  bool flush() override { return f_ && gzflush(f_, Z_SYNC_FLUSH) == Z_OK; }
  bool rewind() override { return f_ && gzrewind(f_) == 0; }
  bool error() const override {
    if (!f_ || err_) return true;
    int code = Z_OK;
    gzerror(f_, &code);
    return code != Z_OK && code != Z_STREAM_END;
  }
  bool eof() const override { return !f_ || gzeof(f_) != 0; }
  bool close() override {
    if (!f_) return true;
    bool ok = gzclose(f_) == Z_OK && !err_;
    f_ = nullptr;
    return ok;
  }

 private:
  gzFile f_;
  bool err_ = false;
};

// bzip2 through its file-stream interface.  Reading handles concatenated
// streams; rewind reopens the stream from the start of the file.
class Bzip2Device final : public Device {
 public:
  Bzip2Device(std::FILE* f, bool writing) : f_(f), writing_(writing) { open(); }
  ~Bzip2Device() override { close(); }
  bool ok() const { return bz_ != nullptr; }

  std::size_t read(void* buf, std::size_t n) override {
    if (!bz_ || writing_) return 0;
    std::size_t total = 0;
    while (total < n && !eof_) {
      int bzerr = BZ_OK;
      int chunk = static_cast<int>(std::min<std::size_t>(n - total, INT_MAX / 2));
      int got = BZ2_bzRead(&bzerr, bz_, static_cast<char*>(buf) + total, chunk);
      if (bzerr != BZ_OK && bzerr != BZ_STREAM_END) {
        err_ = true;
        break;
      }
      if (got > 0) total += static_cast<std::size_t>(got);
      if (bzerr == BZ_STREAM_END) {
        // Another stream may follow (files made by parallel compressors).
        void* unused = nullptr;
        int nUnused = 0;
        BZ2_bzReadGetUnused(&bzerr, bz_, &unused, &nUnused);
        std::string rest(static_cast<char*>(unused), static_cast<std::size_t>(nUnused));
        BZ2_bzReadClose(&bzerr, bz_);
        bz_ = nullptr;
        if (rest.empty()) {
          int c = std::fgetc(f_);
          if (c == EOF) {
            eof_ = true;
            break;
          }
          rest.push_back(static_cast<char>(c));
        }
        unused_ = rest;
        bz_ = BZ2_bzReadOpen(&bzerr, f_, 0, 0, unused_.data(), static_cast<int>(unused_.size()));
        if (bzerr != BZ_OK) {
          bz_ = nullptr;
          err_ = true;
          break;
        }
      }
    }
    return total;
  }
  std::size_t write(const void* buf, std::size_t n) override {
    if (!bz_ || !writing_) return 0;
    int bzerr = BZ_OK;
    std::size_t total = 0;
    while (total < n) {
      int chunk = static_cast<int>(std::min<std::size_t>(n - total, INT_MAX / 2));
      BZ2_bzWrite(&bzerr, bz_, const_cast<char*>(static_cast<const char*>(buf) + total), chunk);
      if (bzerr != BZ_OK) {
        err_ = true;
        break;
      }
      total += static_cast<std::size_t>(chunk);
    }
    return total;
  }
  bool flush() override { return !err_; }  // bzip2 has no sync flush
  bool rewind() override {
    if (writing_ || !f_) return false;
    closeStream();
    std::rewind(f_);
    eof_ = false;
    err_ = false;
    open();
    return bz_ != nullptr;
  }
  bool error() const override { return err_ || !f_; }
  bool eof() const override { return eof_; }
  bool close() override {
    if (!f_) return true;
    bool ok = closeStream() && !err_;
    ok = std::fclose(f_) == 0 && ok;
    f_ = nullptr;
    return ok;
  }

 private:
  void open() {
    int bzerr = BZ_OK;
    if (writing_)
      bz_ = BZ2_bzWriteOpen(&bzerr, f_, 9, 0, 0);
    else
      bz_ = BZ2_bzReadOpen(&bzerr, f_, 0, 0, nullptr, 0);
    if (bzerr != BZ_OK) bz_ = nullptr;
  }
  bool closeStream() {
    if (!bz_) return true;
    int bzerr = BZ_OK;
    if (writing_)
      BZ2_bzWriteClose(&bzerr, bz_, err_ ? 1 : 0, nullptr, nullptr);
    else
      BZ2_bzReadClose(&bzerr, bz_);
    bz_ = nullptr;
    return bzerr == BZ_OK;
  }

  std::FILE* f_;
  BZFILE* bz_ = nullptr;
  bool writing_;
  bool err_ = false;
  bool eof_ = false;
  std::string unused_;
};

}  // namespace

CompressionSuffix compressionOf(std::string_view name) {
  if (endsWithNoCase(name, ".bz2")) return {Compression::Bzip2, 4};
  if (endsWithNoCase(name, ".gz")) return {Compression::Gzip, 3};
  if (endsWithNoCase(name, ".z")) return {Compression::Gzip, 2};
  return {Compression::Plain, 0};
}

std::unique_ptr<Device> openFileDevice(const std::string& path, char mode) {
  return openFileDevice(path, mode, compressionOf(path).kind);
}

std::unique_ptr<Device> openFileDevice(const std::string& path, char mode, Compression kind) {
  const bool writing = mode == 'w';
  switch (kind) {
    case Compression::Gzip: {
      gzFile f = gzopen(path.c_str(), writing ? "wb" : "rb");
      if (!f) return nullptr;
      gzbuffer(f, 1 << 17);
      return std::make_unique<GzipDevice>(f);
    }
    case Compression::Bzip2: {
      std::FILE* f = std::fopen(path.c_str(), writing ? "wb" : "rb");
      if (!f) return nullptr;
      auto dev = std::make_unique<Bzip2Device>(f, writing);
      if (!dev->ok()) return nullptr;
      return dev;
    }
    case Compression::Plain:
    default: {
      std::FILE* f = std::fopen(path.c_str(), writing ? "wb" : "rb");
      if (!f) return nullptr;
      return std::make_unique<PlainDevice>(f);
    }
  }
}

std::size_t MemoryDevice::read(void* buf, std::size_t n) {
  if (pos_ >= data_.size()) return 0;
  std::size_t k = std::min(n, data_.size() - pos_);
  std::memcpy(buf, data_.data() + pos_, k);
  pos_ += k;
  return k;
}

std::size_t MemoryDevice::write(const void* buf, std::size_t n) {
  data_.append(static_cast<const char*>(buf), n);
  return n;
}

}  // namespace vnt::io
