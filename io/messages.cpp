#include "io/messages.h"

#include <cstdio>
#include <vector>

namespace vnt::io {

void StdioMessages::error(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stderr); }
void StdioMessages::warning(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }
void StdioMessages::results(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }
void StdioMessages::log(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

std::string formatv(const char* fmt, va_list ap) {
  char small[512];
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(small, sizeof small, fmt, ap);
  if (n < 0) {
    va_end(ap2);
    return {};
  }
  if (static_cast<std::size_t>(n) < sizeof small) {
    va_end(ap2);
    return std::string(small, static_cast<std::size_t>(n));
  }
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), fmt, ap2);
  va_end(ap2);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::string format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string s = formatv(fmt, ap);
  va_end(ap);
  return s;
}

int reportError(Messages& msg, int code, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string body = formatv(fmt, ap);
  va_end(ap);
  msg.error(format("VANTO Error %5d: ", code) + body + ".\n");
  return -code;
}

}  // namespace vnt::io
