// LP format: line-oriented algebraic text.
#pragma once

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

enum class LpNames { Normal, Generic, Annotated };

// Writes `m` in LP format.  Returns 0 or the negated status code.
int writeLp(Device& dev, const model::ModelData& m, Messages& msg, LpNames mode = LpNames::Normal,
            const IoSettings& settings = {});

}  // namespace vnt::io
