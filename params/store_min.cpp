// Minimal parameter storage used until the full parameter table lands.
#include <map>
#include <new>
#include <string>

#include "params/params.h"

namespace vnt::params {

struct Store {
  std::map<int, long long> ints;
  std::map<int, double> dbls;
  std::map<int, std::string> strs;
  long long warnCounts[63] = {};
};

int createStore(Env& env) {
  Store* s = new (std::nothrow) Store;
  if (!s) return 1001;
  s->ints = {{1035, 0}, {1043, 1}, {1006, 2}, {1067, 0}, {1157, 10}};
  s->dbls = {{1039, 1e75}, {1127, 1e75}};
  s->strs = {{1130, "ISO-8859-1"}, {1129, "ISO-8859-1"}};
  env.params = s;
  return 0;
}

void destroyStore(Env& env) {
  delete env.params;
  env.params = nullptr;
}

void applyOverrides(Env&) {}

int getInt(const Env& env, int id) {
  auto it = env.params->ints.find(id);
  return it == env.params->ints.end() ? 0 : static_cast<int>(it->second);
}
long long getLong(const Env& env, int id) {
  auto it = env.params->ints.find(id);
  return it == env.params->ints.end() ? 0 : it->second;
}
double getDbl(const Env& env, int id) {
  auto it = env.params->dbls.find(id);
  return it == env.params->dbls.end() ? 0.0 : it->second;
}
const char* getStr(const Env& env, int id) {
  auto it = env.params->strs.find(id);
  return it == env.params->strs.end() ? "" : it->second.c_str();
}
long long* warningCounts(Env& env) { return env.params ? env.params->warnCounts : nullptr; }

}  // namespace vnt::params
