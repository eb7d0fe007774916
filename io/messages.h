// Message sink and settings of the file readers and writers.  The readers
// and writers print through a Messages object; the environment adapter
// (io/env_messages.h) routes it to an environment's channels, tests collect
// the text.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

namespace vnt::io {

class Messages {
 public:
  virtual ~Messages() = default;
  virtual void error(std::string_view text) = 0;    // complete "VANTO Error ..." lines
  virtual void warning(std::string_view text) = 0;
  virtual void results(std::string_view text) = 0;
  virtual void log(std::string_view text) = 0;
};

// Prints nothing.
class NullMessages final : public Messages {
 public:
  void error(std::string_view) override {}
  void warning(std::string_view) override {}
  void results(std::string_view) override {}
  void log(std::string_view) override {}
};

// Error to stderr, everything else to stdout.
class StdioMessages final : public Messages {
 public:
  void error(std::string_view text) override;
  void warning(std::string_view text) override;
  void results(std::string_view text) override;
  void log(std::string_view text) override;
};

// Settings the readers and writers take from the parameters.
struct IoSettings {
  int64_t warningLimit = 10;        // VNT_PARAM_WARNLIM: RHS/RANGES/BOUNDS warnings printed
  bool mpsLongNumbers = true;       // VNT_PARAM_MPSLONGNUM
  bool mpsSelectedLines = true;     // setting 1117: objective-sense and selected-name lines
  bool lpRepairNames = true;        // setting 1105: make LP output names valid and unique
  std::string fileEncoding = "ISO-8859-1";  // VNT_PARAM_FILEENCODING (recorded in written files)
  double absGapMax = 1e20;          // allowed range of VNT_PARAM_EPAGAP (multi-objective AbsTol)
  double relGapMax = 1.0;           // allowed range of VNT_PARAM_EPGAP (multi-objective RelTol)
  bool readQuadConstraints = true;  // false: quadratic constraints are skipped
  bool readIntegers = true;         // false: integer declarations are dropped (LP reader)
  bool readQuadObjective = true;    // false: quadratic objective terms are dropped (LP reader)
  std::string versionBanner = "VANTO";  // stored in the header of written SAV files
};

// printf-style formatting into a std::string.
std::string formatv(const char* fmt, va_list ap);
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Prints "VANTO Error %5d: " + the formatted text + ".\n" on the error sink
// and returns -code (the negated code says the message has been printed).
int reportError(Messages& msg, int code, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

}  // namespace vnt::io
