// Message destinations for the environment's channels
// (VNTaddfuncdest(env, channel, &capture, Capture::fn)): Capture keeps every
// line it receives, TextCapture the whole text in one string.
#pragma once

#include <cstddef>
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
  // The first line holding `s`, or lines.size().
  size_t index(const std::string& s) const {
    for (size_t k = 0; k < lines.size(); ++k)
      if (lines[k].find(s) != std::string::npos) return k;
    return lines.size();
  }
};

struct TextCapture {
  std::string text;
  static void fn(void* h, const char* m) { static_cast<TextCapture*>(h)->text += m; }
};

}  // namespace vnt::test
