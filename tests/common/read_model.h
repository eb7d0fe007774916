// Reads a model file through the library's own readers (any format the
// library reads, compressed or not) for tests and benchmarks that drive
// internal classes directly.
#pragma once

#include <string>
#include <string_view>

#include "io/io.h"
#include "model/modeldata.h"

namespace vnt::test {

class CollectMessages final : public io::Messages {
 public:
  std::string errors;
  void error(std::string_view t) override { errors.append(t); }
  void warning(std::string_view) override {}
  void results(std::string_view) override {}
  void log(std::string_view) override {}
};

inline bool readModel(const std::string& path, model::ModelData& md, std::string* err) {
  CollectMessages msg;
  int st = io::readProblemFile(path, nullptr, md, msg);
  if (st != 0 && err) *err = "status " + std::to_string(-st) + ": " + msg.errors;
  return st == 0;
}

}  // namespace vnt::test
