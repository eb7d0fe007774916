// Problem files: format choice by type string, file name or content, and the
// internal entry points that read a file into a ModelData or write one.
//
// Every function prints its own error message on `msg` and then returns the
// negated status code (for example -1423); 0 means success.  A failed read
// leaves `out` unchanged.
//
// Formats: MPS (io/mps.h; fixed and free layouts, OBJSENSE/OBJNAME, RANGES,
// all bound types, integer and SOS markers, USERCUTS/LAZYCONS, SOS,
// QUADOBJ/QMATRIX/QCMATRIX, INDICATORS, PWLNAM/PWLCON, multi-objective
// attributes of objective rows) and LP (io/lp.h; objective,
// constraints incl. indicator and quadratic ones, user cuts and lazy
// constraints, bounds, type sections, SOS, piecewise-linear constraints,
// multi-objective sections).  Files may be plain, .gz or .bz2; text is
// converted between IoSettings::fileEncoding and UTF-8 at the file entry
// points below.  SAV files (io/sav.h) are binary: no encoding conversion;
// they may carry a basis.  Not read here: network files.
// The objective constant has no place in either text format and is not
// written.
#pragma once

#include <functional>
#include <string>

#include "io/device.h"
#include "io/messages.h"
#include "io/sav.h"
#include "model/modeldata.h"

namespace vnt {
struct Env;
}

namespace vnt::io {

// Rows whose sense is not 'L', 'E', 'G' or 'R' have no form in any file
// format: the writers refuse them (1215 with the row index, printed;
// returns the negated code).
int checkRowSenses(const model::ModelData& m, Messages& msg);

// The reader and writer settings of an environment's parameters.
IoSettings settingsFromEnv(const Env& env);

// Routes the readers' and writers' messages to an environment's channels.
class ChannelMessages final : public Messages {
 public:
  explicit ChannelMessages(Env& env) : env_(env) {}
  void error(std::string_view t) override;
  void warning(std::string_view t) override;
  void results(std::string_view t) override;
  void log(std::string_view t) override;

 private:
  Env& env_;
};

// Format codes: 'l' LP, 'm' MPS, 's' SAV, 'n' network, '?' unknown.
// Read format from a type string ("LP", "MPS", "SAV", "NET", "MIN", any
// case); null or empty type: '\0' (decide by name and content).
char readFormatFromType(const char* filetype);
// Read format from the extension before any compression suffix (".lp",
// ".mps", ".qps", ".sav", ".net", ".min"); '\0' when none matches.
char readFormatFromName(const std::string& filename);
// Read format from the first bytes of the (decompressed) content.
char readFormatFromContent(std::string_view head);

// Writer chosen by type string or name: "MPS", "RMP", "REW", "LP", "RLP",
// "ALP", "SAV" (any case).  Returns the upper-cased type, or "" when it is
// invalid (error 1424).
std::string writeTypeFor(const std::string& filename, const char* filetype);

// Reads a problem file.  filetype may be null (choose by name, then
// content).  Errors: 1421 no name, 1423 cannot open, 1424 invalid type, plus
// the reader's own codes.  A basis held by the file (SAV) is returned in
// *basis when basis is not null.
int readProblemFile(const std::string& filename, const char* filetype, model::ModelData& out, Messages& msg,
                    const IoSettings& settings = {}, SavBasis* basis = nullptr);

// Reads an open (already decompressed) stream in the given format ('l', 'm'
// or 's').
int readProblem(Device& dev, char format, const std::string& nameForMessages, model::ModelData& out, Messages& msg,
                const IoSettings& settings = {}, SavBasis* basis = nullptr);

// Writes a problem file; filetype may be null (choose by the name's last
// extension before any compression suffix).  Errors: 1421, 1422, 1424,
// 1426, plus the writer's own codes.  The SAV writer stores *basis when it
// is given and present.
int writeProblemFile(const std::string& filename, const char* filetype, const model::ModelData& m, Messages& msg,
                     const IoSettings& settings = {}, const SavBasis* basis = nullptr);

// Writes to an open device; filetype is required here ("MPS", "LP", "SAV", ...).
int writeProblem(Device& dev, const char* filetype, const model::ModelData& m, Messages& msg,
                 const IoSettings& settings = {}, const SavBasis* basis = nullptr);

// Opens a named file for reading ('r') or writing ('w') with the compression
// its suffix selects, converts text from or to the file encoding when
// `convert` is set, runs fn on the device and closes the file.  Reports 1421
// (no name), 1423 / 1422 (cannot open), 1426 (a failed close after writing)
// and 1235; returns fn's result otherwise.
int withFile(const std::string& filename, char mode, const IoSettings& settings, bool convert, Messages& msg,
             const std::function<int(Device&)>& fn);

}  // namespace vnt::io
