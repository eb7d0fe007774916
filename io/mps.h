// MPS format (fixed and free layouts, with the extension sections for
// objective sense and name, user cuts, lazy constraints, SOS, quadratic
// objective and constraints, indicator constraints, piecewise-linear
// constraints, multi-objective attributes of objective rows).
//
// Piecewise-linear sections: PWLNAM lines "name y-variable x-variable
// preslope postslope" declare the constraints y = f(x); PWLCON lines "name
// x y" give the breakpoints of a declared constraint in order.  Objective
// rows may carry "priority weight abstol reltol"; a file where any does is
// read as a multi-objective model (the selected objective first, then the
// attributed N rows in file order).  Objective offsets have no place in the
// format and are not written.
#pragma once

#include <string>

#include "io/device.h"
#include "io/messages.h"
#include "model/modeldata.h"

namespace vnt::io {

// Reads an MPS stream.  On success returns 0 and replaces `out` with the
// model read; on failure prints the error on msg and returns the negated
// status code (-1434, -1448, ...), leaving `out` untouched.  Data lines
// are split at blanks; a stream that fails so, whose data lines all keep
// to the fixed field columns with a blank inside some name, is read again
// by columns (one log line says so) when the device can rewind.
int readMps(Device& dev, model::ModelData& out, Messages& msg, const IoSettings& settings = {});

// Reads an MPS stream with its data lines split by the fixed field columns
// (2-3, 5-12, 15-22, 25-36, 40-47, 50-61), so that names may contain
// blanks.  readMps falls back on it by itself; tools and tests call it to
// read by columns only.
int readMpsFixedColumns(Device& dev, model::ModelData& out, Messages& msg, const IoSettings& settings = {});

// Opens `path` (plain, .gz or .bz2 by suffix) and reads it as MPS.  An
// unopenable file is -1423.
int readMpsFile(const std::string& path, model::ModelData& out, Messages& msg,
                const IoSettings& settings = {});

// Writes `m` in MPS format.  generic: all names replaced by generated ones.
// Returns 0 or the negated status code (message printed).
int writeMps(Device& dev, const model::ModelData& m, Messages& msg, bool generic = false,
             const IoSettings& settings = {});

// The dual of an LP in the exchange form (construction and conventions in
// io/mps_write.cpp): the primal optimum equals the dual's optimum plus
// objshift.  The dual's rows are named after the primal columns, its
// columns after the primal rows (a ranged row's upper side gets the suffix
// "_rng", the upper bound of a column the column's name with "_ub").  The
// caller refuses models that are not LPs.
int buildDual(const model::ModelData& primal, model::ModelData& dual, double& objshift, Messages& msg);

// Writes the dual of `primal` in MPS format; its NAME line carries
// "<name>.dual" and, when objshift is not 0, "(objshift = <value>)".
int writeMpsDual(Device& dev, const model::ModelData& primal, Messages& msg, double& objshift,
                 const IoSettings& settings = {});
int writeMpsDualFile(const std::string& path, const model::ModelData& primal, Messages& msg,
                     double& objshift, const IoSettings& settings = {});

}  // namespace vnt::io
