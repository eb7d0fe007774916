// LP format: line-oriented algebraic text.
#pragma once

#include <cstdio>
#include <string>

#include "io/device.h"
#include "io/messages.h"
#include "model/modeldata.h"

namespace vnt::io {

// Reads an LP stream.  probName is used in messages and becomes the model's
// problem name.  Returns 0 (out replaced) or the negated status code with the
// message printed (out untouched).
int readLp(Device& dev, const std::string& probName, model::ModelData& out, Messages& msg,
           const IoSettings& settings = {});

// Interactive entry: the same reader fed one line at a time from `in` (a
// terminal or a pipe).  It prompts on the results sink, and a line that
// fails is reported, followed by "Please reenter last line:", and read again
// in place of the bad one; only out of memory and read failures end the read
// early.  Input ends at "End" or at end of file.  Typed text is taken as
// UTF-8 (no file-encoding conversion).
int enterLp(std::FILE* in, const std::string& probName, model::ModelData& out, Messages& msg,
            const IoSettings& settings = {});

// Add mode: constraint sections (the first content is read as constraints
// without a heading), bounds and End, added to `base`.  Names refer to the
// columns of `base` (x1, x2, ... when it has no column names); a new name
// makes a new column.  On success `out` is `base` with the additions.
int addLp(Device& dev, const std::string& probName, const model::ModelData& base, model::ModelData& out,
          Messages& msg, const IoSettings& settings = {});
// Add mode from a terminal, with the prompt and re-entry of enterLp.
int enterAddLp(std::FILE* in, const std::string& probName, const model::ModelData& base, model::ModelData& out,
               Messages& msg, const IoSettings& settings = {});

enum class LpNames { Normal, Generic, Annotated };

// Writes `m` in LP format.  Returns 0 or the negated status code.
int writeLp(Device& dev, const model::ModelData& m, Messages& msg, LpNames mode = LpNames::Normal,
            const IoSettings& settings = {});

}  // namespace vnt::io
