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
  Env* handle = reinterpret_cast<Env*>(*env_p);
  if (handle->magic != kEnvMagic) return 0;
  Env* e = nullptr;
  int st = api::enter(handle, &e, false);
  if (st != 0) {
    api::report(e, &st);
    return st;
  }
  *env_p = nullptr;
  return closeEnv(e);
}

const char* geterrorstring(VNTCENVptr env, int code, char* buffer) {
  if (code < 1 || code > 99999 || !buffer) return nullptr;
  const char* t = errorTemplate(code);
  snprintf(buffer, 1024, "VANTO Error %5d: %s.\n", code, t ? t : "Unknown error code");
  return t ? buffer : nullptr;
}

int getchannels(Env& env, VNTCHANNELptr* results, VNTCHANNELptr* warning, VNTCHANNELptr* error,
                VNTCHANNELptr* log) {
  auto h = [&](Chan c) { return reinterpret_cast<VNTCHANNELptr>(env.channels[static_cast<int>(c)]); };
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
  ch->inMsgstr = true;
  int n = channelWrite(*ch, msg);
  ch->inMsgstr = false;
  return n;
}

int version(Env&, const char** out) {
  *out = kVersionString;
  return 0;
}

int versionnumber(VNTCENVptr, int* version_p) {
  if (!version_p) return 1004;
  *version_p = kVersionNumber;
  return 0;
}

int getnumcores(Env&, int* n) {
  if (!n) return 1004;
  long p = sysconf(_SC_NPROCESSORS_ONLN);
  *n = p < 1 ? 1 : p > 2100000000 ? 2100000000 : static_cast<int>(p);
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
  free(env.logFileName);
  env.logFileName = nullptr;
  if (env.logFile) {
    for (Channel* c : env.channels)
      if (c) channelRemoveFile(*c, env.logFile);
    fclose(env.logFile);
    env.logFile = nullptr;
  }
  if (!filename) return 0;
  if (!mode) return 1004;
  FILE* f = fopen(filename, mode);
  if (!f) return reportError(env, 1422, filename);
  for (Chan c : {Chan::Results, Chan::Warning, Chan::Error, Chan::Log}) {
    if (int st = channelAddFile(*env.channels[static_cast<int>(c)], f)) {
      for (Channel* ch : env.channels) channelRemoveFile(*ch, f);
      fclose(f);
      return st;
    }
  }
  env.logFile = f;
  env.logFileName = strdup(filename);
  return 0;
}

int getlogfilename(Env& env, char* buf, long long space, long long* surplus_p) {
  const char* name = env.logFileName ? env.logFileName : "";
  long long need = static_cast<long long>(strlen(name)) + 1;
  long long surplus = space - need;
  if (surplus_p) *surplus_p = surplus;
  if (surplus < 0) return space > 0 ? 1207 : (need == 1 && space == 0 ? 0 : 1207);
  if (buf) memcpy(buf, name, static_cast<size_t>(need));
  return 0;
}

}  // namespace vnt::chk
