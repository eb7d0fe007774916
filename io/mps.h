// MPS format (fixed and free layouts, with the extension sections for
// objective sense and name, user cuts, lazy constraints, SOS, quadratic
// objective and constraints, indicator constraints).
#pragma once

#include <string>

#include "io/device.h"
#include "io/messages.h"
#include "model/modeldata.h"

namespace vnt::io {

// Reads an MPS stream.  On success returns 0 and replaces `out` with the
// model read; on failure prints the error on msg and returns the negated
// status code (-1434, -1448, ...), leaving `out` untouched.
int readMps(Device& dev, model::ModelData& out, Messages& msg, const IoSettings& settings = {});

// Opens `path` (plain, .gz or .bz2 by suffix) and reads it as MPS.  An
// unopenable file is -1423.
int readMpsFile(const std::string& path, model::ModelData& out, Messages& msg,
                const IoSettings& settings = {});

// Writes `m` in MPS format.  generic: all names replaced by generated ones.
// Returns 0 or the negated status code (message printed).
int writeMps(Device& dev, const model::ModelData& m, Messages& msg, bool generic = false,
             const IoSettings& settings = {});

}  // namespace vnt::io
