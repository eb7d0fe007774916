// Node files (see nodefile.h).  A block is one file "<dir>/vnt<number>"
// written in binary; in mode 3 it holds the raw length and the zlib-deflated
// bytes.
#include "mip/nodefile.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vnt::mip {

namespace {
constexpr size_t kPathBuffer = 4096;
constexpr int kDirAttempts = 1000;
constexpr const char* kPrefix = "vnt";
}  // namespace

void NodeFiles::configure(Env& env, int mode, const std::string& workDir, int display) {
  env_ = &env;
  display_ = display;
  if (!dir_.empty() && workDir != workDir_) {
    print(env, Chan::Warning, "Warning:  Cannot change node file directory during solution.\n");
    print(env, Chan::Warning, "Using original directory\n");
  } else if (dir_.empty()) {
    workDir_ = workDir;
  }
  // Blocks already on disk keep the form they were written in.
  if (blocks_.empty()) mode_ = mode;
}

double NodeFiles::bestBound() const {
  double b = 1e75;
  for (const Block& k : blocks_) b = std::min(b, k.bound);
  return b;
}

int NodeFiles::makeDirectory() {
  char path[kPathBuffer];
  const std::string base = workDir_.empty() ? std::string(".") : workDir_;
  if (base.size() + 1 + std::strlen(kPrefix) + 6 >= sizeof path) {
    print(*env_, Chan::Error, "VANTO Error  1422: Could not open file '%s/%sXXXXXX' for writing.\n", base.c_str(),
          kPrefix);
    return -1422;
  }
  for (int a = 0; a < kDirAttempts; ++a) {
    std::snprintf(path, sizeof path, "%s/%sXXXXXX", base.c_str(), kPrefix);
    const int fd = mkstemp(path);
    if (fd < 0) break;
    close(fd);
    std::remove(path);
    if (mkdir(path, 0700) == 0) {
      dir_ = path;
      if (display_ > 0) print(*env_, Chan::Results, "Began writing nodes to disk (directory %s created)\n", path);
      return 0;
    }
  }
  std::snprintf(path, sizeof path, "%s/%sXXXXXX", base.c_str(), kPrefix);
  print(*env_, Chan::Error, "VANTO Error  1422: Could not open file '%s' for writing.\n", path);
  return -1422;
}

int NodeFiles::write(const std::string& bytes, long long count, double bound) {
  if (dir_.empty())
    if (int st = makeDirectory()) return st;
  Block b;
  char name[kPathBuffer];
  std::snprintf(name, sizeof name, "%s%s%s%lld", dir_.c_str(), "/", kPrefix, seq_++);
  b.path = name;
  b.count = count;
  b.bound = bound;
  b.raw = bytes.size();
  std::string packed;
  const std::string* out = &bytes;
  if (mode_ == 3) {
    uLongf len = compressBound(static_cast<uLong>(bytes.size()));
    packed.resize(sizeof(uint64_t) + len);
    const uint64_t raw = bytes.size();
    std::memcpy(packed.data(), &raw, sizeof raw);
    if (compress2(reinterpret_cast<Bytef*>(packed.data() + sizeof raw), &len,
                  reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()), Z_BEST_SPEED) != Z_OK)
      return 1803;
    packed.resize(sizeof raw + len);
    out = &packed;
  }
  FILE* f = std::fopen(b.path.c_str(), "wb");
  if (!f) return 1801;
  const bool ok = std::fwrite(out->data(), 1, out->size(), f) == out->size();
  if (std::fclose(f) != 0 || !ok) {
    std::remove(b.path.c_str());  // no partial file stays behind
    return 1803;
  }
  b.written = out->size();
  raw_ += b.raw;
  written_ += b.written;
  nodes_ += count;
  blocks_.push_back(std::move(b));
  return 0;
}

int NodeFiles::takeBest(std::string& bytes) {
  bytes.clear();
  if (blocks_.empty()) return 0;
  size_t k = 0;
  for (size_t q = 1; q < blocks_.size(); ++q)
    if (blocks_[q].bound < blocks_[k].bound) k = q;
  const Block b = blocks_[k];
  blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(k));
  raw_ -= b.raw;
  written_ -= b.written;
  nodes_ -= b.count;
  std::string data(b.written, '\0');
  FILE* f = std::fopen(b.path.c_str(), "rb");
  bool ok = f && std::fread(data.data(), 1, data.size(), f) == data.size();
  if (f) std::fclose(f);
  std::remove(b.path.c_str());
  if (!ok) return 1803;
  if (mode_ != 3) {
    bytes.swap(data);
    return 0;
  }
  uint64_t raw = 0;
  if (data.size() < sizeof raw) return 1803;
  std::memcpy(&raw, data.data(), sizeof raw);
  bytes.resize(raw);
  uLongf len = static_cast<uLongf>(raw);
  if (uncompress(reinterpret_cast<Bytef*>(bytes.data()), &len, reinterpret_cast<const Bytef*>(data.data() + sizeof raw),
                 static_cast<uLong>(data.size() - sizeof raw)) != Z_OK ||
      len != raw)
    return 1803;
  return 0;
}

void NodeFiles::clear() {
  for (const Block& b : blocks_) std::remove(b.path.c_str());
  blocks_.clear();
  if (!dir_.empty()) rmdir(dir_.c_str());
  dir_.clear();
  raw_ = written_ = 0;
  nodes_ = 0;
  seq_ = 0;
}

}  // namespace vnt::mip
