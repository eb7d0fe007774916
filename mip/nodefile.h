// Node files: blocks of open nodes moved from memory to disk when the tree
// outgrows the work memory (node-file modes 2 and 3; mode 3 compresses the
// blocks).  The files live in a directory of their own under the work
// directory, made on the first write and removed with the tree.
#pragma once

#include <string>
#include <vector>

#include "env/env.h"

namespace vnt::mip {

class NodeFiles {
 public:
  NodeFiles() = default;
  NodeFiles(const NodeFiles&) = delete;
  NodeFiles& operator=(const NodeFiles&) = delete;
  ~NodeFiles() { clear(); }

  // Settings of a run: the node-file mode and the work directory.  A
  // different work directory while files exist keeps the old one, with a
  // warning.
  void configure(Env& env, int mode, const std::string& workDir, int display);
  bool enabled() const { return mode_ >= 2; }

  // Write one block (its encoded nodes) holding `count` nodes whose best
  // bound is `bound`.  Returns 0, 1422 (no directory; message printed, the
  // code negated), 1801 (file not opened) or 1803 (short write; the partial
  // file is removed).
  int write(const std::string& bytes, long long count, double bound);
  // Read back the block with the smallest bound and remove its file.
  // Returns 0 or 1803 (unreadable block).
  int takeBest(std::string& bytes);

  bool empty() const { return blocks_.empty(); }
  long long nodes() const { return nodes_; }
  double bestBound() const;  // 1e75 when empty
  double sizeMB() const { return static_cast<double>(raw_) / 1048576.0; }
  double writtenMB() const { return static_cast<double>(written_) / 1048576.0; }
  bool compressed() const { return mode_ == 3; }
  const std::string& directory() const { return dir_; }

  // Remove every block file and the directory.
  void clear();

 private:
  struct Block {
    std::string path;
    long long count = 0;
    double bound = 0.0;
    size_t raw = 0, written = 0;
  };
  int makeDirectory();

  Env* env_ = nullptr;
  int mode_ = 1;
  int display_ = 2;
  std::string workDir_, dir_;
  std::vector<Block> blocks_;
  long long seq_ = 0, nodes_ = 0;
  size_t raw_ = 0, written_ = 0;
};

}  // namespace vnt::mip
