// Binary SAV files: the whole model, numbers bit for bit, with the basis when
// there is one.  The file is a stream of BER elements (io/ber.h): the header
// (application 2: format version, signature text, version banner), then one
// application element per model section in a fixed order, each present even
// when empty, so that a file cut short at any element boundary is detected:
//
//   3 problem     names, sense, offset, counts
//   4 columns     objective, bounds, types, names
//   5 rows        right-hand sides, senses, range values, names
//   6 matrix      column starts, row indices, values
//   7 quadratic objective     8 SOS             9 quadratic constraints
//   10 indicators             11 user cuts      12 lazy constraints
//   13 piecewise-linear       14 objectives     15 basis
//
// List sections hold one application-20 element per item.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "io/device.h"
#include "io/messages.h"
#include "model/modeldata.h"

namespace vnt::io {

inline constexpr const char* kSavSignature = "VANTO binary SAV file";

// Basis statuses of columns and rows (the library's codes); `present` false
// when the file holds none.
struct SavBasis {
  bool present = false;
  std::vector<int> cstat, rstat;
};

// The format version the writer stores: VANTO_SAVFILE_VERSION when it holds
// a non-negative decimal integer and nothing else, else 1.
int savFileVersion();

// True when the bytes begin like a SAV header.
bool looksLikeSav(std::string_view head);

// Writes m (and the basis when given and present).  `banner` is the
// library's version banner.  Errors (printed, negated): 1562.
int writeSav(Device& dev, const model::ModelData& m, const SavBasis* basis, const std::string& banner,
             Messages& msg, std::size_t flushAt = std::size_t{1} << 20);

// Reads a whole SAV stream.  On success fills `out` and `basis`; on failure
// prints the message (1560, 1561, 1563, 1564 or 1426) and leaves both
// unchanged.  Extra items in the header element are skipped and reported as
// "Warning: Additional data in SAV file ignored.\n" after the read.
int readSav(Device& dev, const std::string& nameForMessages, model::ModelData& out, SavBasis& basis,
            Messages& msg);

}  // namespace vnt::io
