#include "io/io.h"

#include <cctype>

#include "io/convert.h"
#include "io/lp.h"
#include "io/mps.h"
#include "io/textutil.h"

namespace vnt::io {

namespace {

// Extension (without the dot) of a name after removing the compression
// suffix; empty when there is none.
std::string_view extensionOf(std::string_view name) {
  name = name.substr(0, name.size() - compressionOf(name).length);
  std::size_t slash = name.find_last_of('/');
  std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return name.substr(dot + 1);
}

constexpr std::size_t kSniffBytes = 512;

// Runs fn on `dev`, or on a converting device over it when the file encoding
// needs conversion.
template <typename Fn>
int withEncoding(Device& dev, const IoSettings& settings, char mode, Messages& msg, Fn fn) {
  if (isPassThroughEncoding(settings.fileEncoding)) return fn(dev);
  auto conv = makeConvertingDevice(dev, settings.fileEncoding, mode);
  if (!conv) return reportError(msg, 1235, "Failed to convert string encoding");
  int rc = fn(*conv);
  bool ok = conv->close();
  if (rc == 0 && !ok) {
    if (conv->errorCode() == 1235) return reportError(msg, 1235, "Failed to convert string encoding");
    return reportError(msg, 1426, "Low-level file I/O error");
  }
  return rc;
}

}  // namespace

char readFormatFromType(const char* filetype) {
  if (!filetype || !*filetype) return '\0';
  std::string_view t(filetype);
  if (equalsNoCase(t, "LP")) return 'l';
  if (equalsNoCase(t, "MPS")) return 'm';
  if (equalsNoCase(t, "SAV")) return 's';
  if (equalsNoCase(t, "NET") || equalsNoCase(t, "MIN")) return 'n';
  return '?';
}

char readFormatFromName(const std::string& filename) {
  std::string_view ext = extensionOf(filename);
  if (equalsNoCase(ext, "lp")) return 'l';
  if (equalsNoCase(ext, "mps") || equalsNoCase(ext, "qps")) return 'm';
  if (equalsNoCase(ext, "sav")) return 's';
  if (equalsNoCase(ext, "net") || equalsNoCase(ext, "min")) return 'n';
  return '\0';
}

char readFormatFromContent(std::string_view head) {
  if (head.empty()) return '?';
  if (looksLikeSav(head)) return 's';
  unsigned char c = static_cast<unsigned char>(head[0]);
  if (c == '\n' || c == '\\' || c == 'M' || c == 'm' || c == ' ') return 'l';
  if (c == '*' || c == 'N' || c == 'n') return 'm';
  if (c < 32 || c == 127) return 's';
  return '?';
}

std::string writeTypeFor(const std::string& filename, const char* filetype) {
  std::string t;
  if (filetype && *filetype) {
    t = filetype;
  } else {
    t = std::string(extensionOf(filename));
    if (t.empty()) return {};
  }
  if (t.size() > 3) return {};
  t = upper(t);
  for (const char* ok : {"MPS", "RMP", "REW", "LP", "RLP", "ALP", "SAV"})
    if (t == ok) return t;
  return {};
}

int readProblem(Device& dev, char format, const std::string& nameForMessages, model::ModelData& out, Messages& msg,
                const IoSettings& settings, SavBasis* basis) {
  switch (format) {
    case 's': {
      SavBasis ignored;
      return readSav(dev, nameForMessages, out, basis ? *basis : ignored, msg);
    }
    case 'l': return readLp(dev, nameForMessages, out, msg, settings);
    case 'm': return readMps(dev, out, msg, settings);
    default: return reportError(msg, 1424, "Invalid filetype");
  }
}

int readProblemFile(const std::string& filename, const char* filetype, model::ModelData& out, Messages& msg,
                    const IoSettings& settings, SavBasis* basis) {
  if (filename.empty()) return reportError(msg, 1421, "File name not specified");
  char fmt = readFormatFromType(filetype);
  if (fmt == '\0') fmt = readFormatFromName(filename);
  auto dev = openFileDevice(filename, 'r');
  if (!dev) return reportError(msg, 1423, "Could not open file '%s' for reading", filename.c_str());
  if (fmt == '\0') {
    char buf[kSniffBytes];
    std::size_t got = dev->read(buf, sizeof buf);
    fmt = readFormatFromContent(std::string_view(buf, got));
    if (!dev->rewind()) {
      dev = openFileDevice(filename, 'r');
      if (!dev) return reportError(msg, 1423, "Could not open file '%s' for reading", filename.c_str());
    }
  }
  if (fmt != 'l' && fmt != 'm' && fmt != 's') {
    dev->close();
    return reportError(msg, 1424, "Invalid filetype");
  }
  if (fmt == 's') {
    int rc = readProblem(*dev, fmt, filename, out, msg, settings, basis);
    dev->close();
    return rc;
  }
  int rc = withEncoding(*dev, settings, 'r', msg,
                        [&](Device& d) { return readProblem(d, fmt, filename, out, msg, settings); });
  dev->close();
  return rc;
}

int writeProblem(Device& dev, const char* filetype, const model::ModelData& m, Messages& msg,
                 const IoSettings& settings, const SavBasis* basis) {
  std::string t = writeTypeFor("", filetype);
  if (t == "SAV") return writeSav(dev, m, basis, settings.versionBanner, msg);
  if (t == "MPS") return writeMps(dev, m, msg, false, settings);
  if (t == "RMP" || t == "REW") return writeMps(dev, m, msg, true, settings);
  if (t == "LP") return writeLp(dev, m, msg, LpNames::Normal, settings);
  if (t == "RLP") return writeLp(dev, m, msg, LpNames::Generic, settings);
  if (t == "ALP") return writeLp(dev, m, msg, LpNames::Annotated, settings);
  return reportError(msg, 1424, "Invalid filetype");
}

int writeProblemFile(const std::string& filename, const char* filetype, const model::ModelData& m, Messages& msg,
                     const IoSettings& settings, const SavBasis* basis) {
  if (filename.empty()) return reportError(msg, 1421, "File name not specified");
  std::string t = writeTypeFor(filename, filetype);
  if (t.empty()) return reportError(msg, 1424, "Invalid filetype");
  auto dev = openFileDevice(filename, 'w');
  if (!dev) return reportError(msg, 1422, "Could not open file '%s' for writing", filename.c_str());
  if (t == "SAV") {
    int rc = writeSav(*dev, m, basis, settings.versionBanner, msg);
    if (!dev->close() && rc == 0) rc = reportError(msg, 1562, "Unable to write SAV file to disk");
    return rc;
  }
  int rc = withEncoding(*dev, settings, 'w', msg, [&](Device& d) { return writeProblem(d, t.c_str(), m, msg, settings); });
  bool closed = dev->close();
  if (rc == 0 && !closed) return reportError(msg, 1426, "Low-level file I/O error");
  return rc;
}

int withFile(const std::string& filename, char mode, const IoSettings& settings, bool convert, Messages& msg,
             const std::function<int(Device&)>& fn) {
  if (filename.empty()) return reportError(msg, 1421, "File name not specified");
  auto dev = openFileDevice(filename, mode);
  if (!dev) {
    if (mode == 'w') return reportError(msg, 1422, "Could not open file '%s' for writing", filename.c_str());
    return reportError(msg, 1423, "Could not open file '%s' for reading", filename.c_str());
  }
  int rc = convert ? withEncoding(*dev, settings, mode, msg, fn) : fn(*dev);
  const bool closed = dev->close();
  if (rc == 0 && mode == 'w' && !closed) return reportError(msg, 1426, "Low-level file I/O error");
  return rc;
}

int checkRowSenses(const model::ModelData& m, Messages& msg) {
  for (std::size_t i = 0; i < m.sense.size(); ++i) {
    const char c = m.sense[i];
    if (c != 'L' && c != 'E' && c != 'G' && c != 'R')
      return reportError(msg, 1215, "Illegal sense entry %lld", static_cast<long long>(i));
  }
  return 0;
}

}  // namespace vnt::io
