// The problem object behind VNTLPptr.
#pragma once

#include <string>

#include "env/env.h"
#include "model/modeldata.h"

namespace vnt::model {

struct Problem {
  Problem* self = nullptr;      // equals this while the handle is valid
  ModelData* data = nullptr;    // the model; null means the handle is dead
  Env* env = nullptr;           // owning environment
  Env* root = nullptr;          // root of the owning environment's tree
  int kind = 0;                 // redirecting kinds forward to `redirect`
  Problem* redirect = nullptr;
};

// Problem of a caller handle after redirection, or null when invalid.
Problem* resolveHandle(const void* handle);
Env* rootEnvOf(const Problem& p);
// Free a problem (also used when its environment closes).
void destroyProblem(Env& env, Problem* p);

}  // namespace vnt::model
