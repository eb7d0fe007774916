// Checked entries of the environment, version, clock and channel operations.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "api/chk_decls.h"
#include "env/channel.h"
#include "env/env.h"
#include "env/limits.h"
#include "params/params.h"

namespace vnt::chk {

int closeVANTO(VNTENVptr* env_p) {
  if (!env_p || !*env_p) return 0;
  const Env* handle = reinterpret_cast<const Env*>(*env_p);
  if (handle->magic != kEnvMagic) return 0;
  Env* e = nullptr;
  int st = api::enter(handle, &e, false);
  if (st != 0) {
    api::report(e, &st);
    return st;
  }
  *env_p = nullptr;
  return e->parent ? closeChildEnv(e) : closeEnv(e);
}

const char* geterrorstring(VNTCENVptr env, int code, char* buffer) {
  if (code < 1 || code > 99999 || !buffer) return nullptr;
  const char* t = errorTemplate(code);
  snprintf(buffer, 1024, "VANTO Error %5d: %s.\n", code, t ? t : "Unknown error code");
  if (!t) return nullptr;
  Env* e = api::workingEnv(env);
  if (api::envValid(e) && utf8ToApiInPlace(*e, buffer, 1024) != 0) return nullptr;
  return buffer;
}

int getchannels(Env& env, VNTCHANNELptr* results, VNTCHANNELptr* warning, VNTCHANNELptr* error,
                VNTCHANNELptr* log) {
  auto h = [&](Chan c) { return reinterpret_cast<VNTCHANNELptr>(channelOf(env, c)); };
  if (results) *results = h(Chan::Results);
  if (warning) *warning = h(Chan::Warning);
  if (error) *error = h(Chan::Error);
  if (log) *log = h(Chan::Log);
  return 0;
}

static Channel* chan(VNTCHANNELptr c) { return reinterpret_cast<Channel*>(c); }

int addfuncdest(Env&, VNTCHANNELptr channel, void* handle, VNTmsgfn* fn) {
  if (!channel) return 1051;
  if (!fn) return 1053;
  return channelAddFunc(*chan(channel), handle, fn);
}

int delfuncdest(Env&, VNTCHANNELptr channel, void* handle, VNTmsgfn* fn) {
  if (!channel) return 1051;
  return channelDelFunc(*chan(channel), handle, fn);
}

int disconnectchannel(Env&, VNTCHANNELptr channel) {
  return channel ? channelDisconnect(*chan(channel)) : 0;
}

int flushchannel(Env&, VNTCHANNELptr channel) {
  if (!channel) return 1051;
  return channelFlush(*chan(channel));
}

int flushstdchannels(Env& env) {
  for (Chan c : {Chan::Results, Chan::Log, Chan::Error, Chan::Warning}) flushChannel(env, c);
  return 0;
}

int msgstr(VNTCHANNELptr channel, const char* msg) {
  if (!channel || !msg) return 0;
  Channel* ch = chan(channel);
  Env* env = ch->env;
  if (!api::envValid(env)) return 0;
  char* text = nullptr;
  if (apiToUtf8(*env, msg, &text) != 0) return 0;
  ch->inMsgstr = 1;
  pushCounter(*env, dummyCounter());
  int n = channelWrite(*ch, text);
  popCounter(*env);
  ch->inMsgstr = 0;
  if (text != msg) envFree(*env, text);
  return n;
}

int version(Env& env, const char** out) {
  *out = env.version;
  return 0;
}

int versionnumber(VNTCENVptr, int* version_p) {
  if (!version_p) return 1004;
  *version_p = kVersionNumber;
  return 0;
}

int getnumcores(Env& env, int* n) {
  if (!n) return 1004;
  *n = env.procs ? env.procs->online : procConfig().online;
  return 0;
}

int gettime(Env& env, double* t) {
  if (!t) return 1004;
  *t = envTime(env);
  return 0;
}

int getdettime(Env& env, double* t) {
  if (!t) return 1004;
  if (env.counter == dummyCounter()) {
    *t = 0.0;
    return -1003;  // no message
  }
  *t = detTicks(env);
  return 0;
}

int setterminate(Env& env, int* terminate_p) {
  env.terminateFlag = terminate_p;
  return 0;
}

int setlogfilename(Env& env, const char* filename, const char* mode) {
  return setLogFile(env, filename, mode);
}

int getlogfilename(Env& env, char* buf, long long space, long long* surplus_p) {
  const char* name = env.logFileName ? env.logFileName : "";
  long long need = static_cast<long long>(strlen(name)) + 1;
  long long surplus = space - need;
  if (surplus_p) *surplus_p = surplus;
  if (surplus < 0) return buf ? 1207 : -1207;
  if (!buf) return 1004;
  memcpy(buf, name, static_cast<size_t>(need));
  return 0;
}

}  // namespace vnt::chk
