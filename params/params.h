// Parameters: storage in the environment and fast typed access by number.
#pragma once

#include "env/env.h"

namespace vnt::params {

// Allocate the parameter storage of an environment and set the defaults.
int createStore(Env& env);
void destroyStore(Env& env);
// Apply the two override environment variables (at open).
void applyOverrides(Env& env);

// Typed reads by parameter number (the default when the number is unknown).
int getInt(const Env& env, int id);
long long getLong(const Env& env, int id);
double getDbl(const Env& env, int id);
const char* getStr(const Env& env, int id);

// Per-code counts of the model-warning limiter (63 slots), or null.
long long* warningCounts(Env& env);

}  // namespace vnt::params
