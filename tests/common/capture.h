// A message destination for the environment's channels that keeps every
// line it receives (VNTaddfuncdest(env, channel, &capture, Capture::fn)).
#pragma once

#include <string>
#include <vector>

namespace vnt::test {

struct Capture {
  std::vector<std::string> lines;
  static void fn(void* h, const char* m) { static_cast<Capture*>(h)->lines.emplace_back(m); }
  std::string all() const {
    std::string s;
    for (const auto& l : lines) s += l;
    return s;
  }
  bool contains(const std::string& s) const {
    for (const auto& l : lines)
      if (l.find(s) != std::string::npos) return true;
    return false;
  }
};

}  // namespace vnt::test
