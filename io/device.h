// I/O devices: one byte-stream interface over plain files, gzip and bzip2
// streams and memory buffers.  Every reader and writer works through it, so
// each format works unchanged on compressed files.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace vnt::io {

enum class Compression { Plain, Gzip, Bzip2 };

struct CompressionSuffix {
  Compression kind = Compression::Plain;
  std::size_t length = 0;  // length of the suffix that selected it (0 for plain)
};

// ".bz2" -> bzip2 (4), ".gz" -> gzip (3), ".z" -> gzip (2), any case.
CompressionSuffix compressionOf(std::string_view filename);

class Device {
 public:
  virtual ~Device() = default;
  Device() = default;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // Reads up to n bytes; returns the number read (0 at end of file or on
  // error; error() tells which).
  virtual std::size_t read(void* buf, std::size_t n) = 0;
  // Writes n bytes; returns the number written (less than n on error).
  virtual std::size_t write(const void* buf, std::size_t n) = 0;
  virtual bool writeString(std::string_view s) { return write(s.data(), s.size()) == s.size(); }
  virtual bool writeChar(char c) { return write(&c, 1) == 1; }
  virtual bool flush() = 0;
  virtual bool rewind() = 0;
  virtual bool error() const = 0;
  virtual bool eof() const = 0;
  // Status code of the failure behind error(): 1426 for input/output
  // failures, 1235 for encoding conversion failures.
  virtual int errorCode() const { return error() ? 1426 : 0; }
  // Closes the stream (idempotent); false when the final flush failed.
  virtual bool close() = 0;
};

// Opens a file for reading (mode 'r') or writing (mode 'w'); compression is
// chosen by the name's suffix.  Returns null when the file cannot be opened.
std::unique_ptr<Device> openFileDevice(const std::string& path, char mode);
std::unique_ptr<Device> openFileDevice(const std::string& path, char mode, Compression kind);

// A device over an in-memory buffer: reads from the initial content, writes
// append to it.
class MemoryDevice final : public Device {
 public:
  MemoryDevice() = default;
  explicit MemoryDevice(std::string content) : data_(std::move(content)) {}
  std::size_t read(void* buf, std::size_t n) override;
  std::size_t write(const void* buf, std::size_t n) override;
  bool flush() override { return true; }
  bool rewind() override {
    pos_ = 0;
    return true;
  }
  bool error() const override { return false; }
  bool eof() const override { return pos_ >= data_.size(); }
  bool close() override { return true; }
  const std::string& data() const { return data_; }
  std::string& data() { return data_; }

 private:
  std::string data_;
  std::size_t pos_ = 0;
};

}  // namespace vnt::io
