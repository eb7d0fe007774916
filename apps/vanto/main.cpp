// vanto: solve a model file from the shell, through the public C interface.
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <set>
#include <string>
#include <vector>

#include "vanto/vanto.h"

namespace {

volatile int gTerminate = 0;
void onInterrupt(int) { gTerminate = 1; }

void toStdout(void*, const char* msg) { fputs(msg, stdout); }
void toStderr(void*, const char* msg) { fputs(msg, stderr); }

void usage(FILE* f) {
  fputs(
      "Usage: vanto [options] MODEL\n"
      "       vanto --enter [options]\n"
      "Reads a model file (LP, MPS or SAV, optionally .gz or .bz2), optimizes it\n"
      "and prints a summary.\n\n"
      "Options:\n"
      "  --param NAME=VALUE   set a parameter by name (VNT_PARAM_EPRHS or\n"
      "                       VNTPARAM_Simplex_Tolerances_Feasibility) or number;\n"
      "                       repeatable\n"
      "  --params FILE        read a parameter file\n"
      "  --method M           primal, dual or auto\n"
      "  --time-limit S       stop after S seconds\n"
      "  --write FILE         write the model (format from FILE's extension); a SAV\n"
      "                       file is written after the optimization, with its basis\n"
      "  --solution FILE      write the solution file (.sol, XML; also .gz, .bz2)\n"
      "  --read-start FILE    read a start before optimizing: a basis (.bas),\n"
      "                       solution (.sol) or MIP-start (.mst) file\n"
      "  --write-basis FILE   write the final basis (.bas)\n"
      "  --populate           MIP: fill the solution pool after the optimum; with\n"
      "                       --solution the whole pool is written\n"
      "  --print-solution     print nonzero primal values and duals by name\n"
      "  --no-optimize        read (and write) without optimizing\n"
      "  --record DB          record every library call of the run into the SQLite\n"
      "                       database DB (replay it with vanto-replay DB)\n"
      "  --enter              type an LP at the terminal, then optimize it\n"
      "  --help, --version\n",
      f);
}

struct Cli {
  VNTENVptr env = nullptr;
  VNTLPptr lp = nullptr;
};

// A library call failed: its message went to standard error already.
// A name whose extension, before any compression suffix, is ".sav".
bool isSavName(std::string name) {
  for (char& ch : name) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  for (const char* z : {".bz2", ".gz", ".z"}) {
    const size_t k = strlen(z);
    if (name.size() > k && name.compare(name.size() - k, k, z) == 0) {
      name.resize(name.size() - k);
      break;
    }
  }
  return name.size() > 4 && name.compare(name.size() - 4, 4, ".sav") == 0;
}

// Names of the call recorder's databases in the current directory.
std::set<std::string> recorderFiles() {
  std::set<std::string> names;
  if (DIR* d = opendir(".")) {
    while (dirent* e = readdir(d))
      if (strncmp(e->d_name, "vanto.db.", 9) == 0) names.insert(e->d_name);
    closedir(d);
  }
  return names;
}

int libraryError(int status) {
  fprintf(stderr, "vanto: the library returned error %d\n", status);
  return 2;
}

int setParam(VNTENVptr env, const std::string& assignment) {
  size_t eq = assignment.find('=');
  if (eq == std::string::npos || eq == 0) {
    fprintf(stderr, "vanto: --param expects NAME=VALUE, got '%s'\n", assignment.c_str());
    return 1;
  }
  std::string name = assignment.substr(0, eq), value = assignment.substr(eq + 1);
  int num = 0;
  char* end = nullptr;
  long v = strtol(name.c_str(), &end, 10);
  int st = 0;
  if (*end == '\0') {
    num = static_cast<int>(v);
  } else if ((st = VNTgetparamnum(env, name.c_str(), &num)) != 0) {
    return libraryError(st);
  }
  int type = 0;
  if ((st = VNTgetparamtype(env, num, &type)) != 0) return libraryError(st);
  switch (type) {
    case 1: st = VNTsetintparam(env, num, static_cast<int>(strtol(value.c_str(), nullptr, 10))); break;
    case 2: st = VNTsetdblparam(env, num, strtod(value.c_str(), nullptr)); break;
    case 3: st = VNTsetstrparam(env, num, value.c_str()); break;
    case 4: st = VNTsetlongparam(env, num, strtoll(value.c_str(), nullptr, 10)); break;
    default: st = 1013;
  }
  return st ? libraryError(st) : 0;
}

int setNamedParam(VNTENVptr env, const char* name, const std::string& value) {
  return setParam(env, std::string(name) + "=" + value);
}

void printSolution(VNTENVptr env, VNTLPptr lp) {
  int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
  std::vector<double> x(n > 0 ? n : 1), pi(m > 0 ? m : 1);
  bool haveX = n > 0 && VNTgetx(env, lp, x.data(), 0, n - 1) == 0;
  bool havePi = m > 0 && VNTgetpi(env, lp, pi.data(), 0, m - 1) == 0;
  auto nameOf = [&](bool col, int i) {
    char buf[512];
    char* p = nullptr;
    int surplus = 0;
    int st = col ? VNTgetcolname(env, lp, &p, buf, sizeof buf, &surplus, i, i)
                 : VNTgetrowname(env, lp, &p, buf, sizeof buf, &surplus, i, i);
    if (st == 0 && p) return std::string(p);
    return std::string(col ? "C" : "R") + std::to_string(i + 1);
  };
  if (haveX) {
    printf("\nVariable                          Value\n");
    for (int j = 0; j < n; ++j)
      if (x[j] != 0.0) printf("%-24s %16.10g\n", nameOf(true, j).c_str(), x[j]);
  }
  if (havePi) {
    printf("\nConstraint                         Dual\n");
    for (int i = 0; i < m; ++i)
      if (pi[i] != 0.0) printf("%-24s %16.10g\n", nameOf(false, i).c_str(), pi[i]);
  }
}

// Kind of a start file by its extension (before a compression suffix):
// 'b' basis, 's' solution, 'm' MIP starts, '?' unknown.
char startKind(std::string name) {
  for (const char* z : {".gz", ".bz2"})
    if (name.size() > strlen(z) && name.compare(name.size() - strlen(z), strlen(z), z) == 0)
      name.resize(name.size() - strlen(z));
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos) return '?';
  std::string ext = name.substr(dot + 1);
  for (char& ch : ext) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  if (ext == "bas") return 'b';
  if (ext == "sol") return 's';
  if (ext == "mst") return 'm';
  return '?';
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> params;
  std::string paramFile, method, timeLimit, writeFile, solFile, startFile, basisFile, model, recordFile;
  bool printSol = false, enter = false, optimize = true, populate = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&](const char* what) -> const char* {
      if (i + 1 >= argc) {
        fprintf(stderr, "vanto: %s needs a value\n", what);
        exit(1);
      }
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    } else if (a == "--version") {
      int v = 0;
      VNTversionnumber(nullptr, &v);
      printf("vanto %d.%d.%d.%d\n", v / 1000000, v / 10000 % 100, v / 100 % 100, v % 100);
      return 0;
    } else if (a == "--param") {
      params.emplace_back(next("--param"));
    } else if (a == "--params") {
      paramFile = next("--params");
    } else if (a == "--method") {
      method = next("--method");
      if (method != "primal" && method != "dual" && method != "auto") {
        fprintf(stderr, "vanto: --method must be primal, dual or auto\n");
        return 1;
      }
    } else if (a == "--time-limit") {
      timeLimit = next("--time-limit");
      char* end = nullptr;
      double s = strtod(timeLimit.c_str(), &end);
      if (*end || s < 0) {
        fprintf(stderr, "vanto: --time-limit expects a number of seconds\n");
        return 1;
      }
    } else if (a == "--write") {
      writeFile = next("--write");
    } else if (a == "--solution") {
      solFile = next("--solution");
    } else if (a == "--read-start") {
      startFile = next("--read-start");
      if (startKind(startFile) == '?') {
        fprintf(stderr, "vanto: --read-start expects a .bas, .sol or .mst file\n");
        return 1;
      }
    } else if (a == "--write-basis") {
      basisFile = next("--write-basis");
    } else if (a == "--populate") {
      populate = true;
    } else if (a == "--print-solution") {
      printSol = true;
    } else if (a == "--record") {
      recordFile = next("--record");
    } else if (a == "--no-optimize") {
      optimize = false;
    } else if (a == "--enter") {
      enter = true;
    } else if (!a.empty() && a[0] == '-') {
      fprintf(stderr, "vanto: unknown option '%s'\n", a.c_str());
      usage(stderr);
      return 1;
    } else if (model.empty()) {
      model = a;
    } else {
      fprintf(stderr, "vanto: only one model file may be given\n");
      return 1;
    }
  }
  if (model.empty() && !enter) {
    usage(stderr);
    return 1;
  }
  if (enter && !model.empty()) {
    fprintf(stderr, "vanto: --enter reads the model from the terminal; no model file may be given\n");
    return 1;
  }

  int st = 0;
  Cli c;
  c.env = VNTopenVANTO(&st);
  if (!c.env) {
    fprintf(stderr, "vanto: could not open an environment (error %d)\n", st);
    return 2;
  }
  // Recording starts first, so the database holds every call of the run; the
  // library names the database, which becomes DB when the run ends.
  std::string recorded;
  if (!recordFile.empty()) {
    const std::set<std::string> before = recorderFiles();
    if ((st = VNTsetintparam(c.env, VNT_PARAM_RECORD, 1)) != 0) {
      fprintf(stderr, "vanto: recording could not start (error %d)\n", st);
      VNTcloseVANTO(&c.env);
      return 2;
    }
    for (const std::string& n : recorderFiles())
      if (!before.count(n)) recorded = n;
  }
  VNTCHANNELptr res = nullptr, warn = nullptr, err = nullptr, log = nullptr;
  VNTgetchannels(c.env, &res, &warn, &err, &log);
  VNTaddfuncdest(c.env, res, nullptr, toStdout);
  VNTaddfuncdest(c.env, log, nullptr, toStdout);
  VNTaddfuncdest(c.env, warn, nullptr, toStderr);
  VNTaddfuncdest(c.env, err, nullptr, toStderr);

  int rc = 0;
  auto finish = [&](int code) {
    if (c.lp) VNTfreeprob(c.env, &c.lp);
    VNTcloseVANTO(&c.env);
    if (!recorded.empty() && rename(recorded.c_str(), recordFile.c_str()) != 0) {
      fprintf(stderr, "vanto: the recording is in '%s' (could not rename it to '%s')\n", recorded.c_str(),
              recordFile.c_str());
      if (code == 0) code = 2;
    }
    return code;
  };
  if (!paramFile.empty() && (st = VNTreadcopyparam(c.env, paramFile.c_str())) != 0)
    return finish(libraryError(st));
  for (const auto& p : params)
    if ((rc = setParam(c.env, p)) != 0) return finish(rc);
  if (!method.empty() &&
      (rc = setNamedParam(c.env, "VNTPARAM_LPMethod",
                          method == "primal" ? "1" : method == "dual" ? "2" : "0")) != 0)
    return finish(rc);
  if (!timeLimit.empty() && (rc = setNamedParam(c.env, "VNTPARAM_TimeLimit", timeLimit)) != 0)
    return finish(rc);

  c.lp = VNTcreateprob(c.env, &st, enter ? "stdin" : model.c_str());
  if (!c.lp) return finish(libraryError(st));
  // --enter: the LP is typed line by line; bad lines are asked for again
  st = enter ? VNTEenterprob(c.env, c.lp, stdin) : VNTreadcopyprob(c.env, c.lp, model.c_str(), nullptr);
  if (st != 0) return finish(libraryError(st));
  const bool writeAfter = optimize && isSavName(writeFile);
  if (!writeFile.empty() && !writeAfter && (st = VNTwriteprob(c.env, c.lp, writeFile.c_str(), nullptr)) != 0)
    return finish(libraryError(st));
  if (!startFile.empty()) {
    const char kind = startKind(startFile);
    if (kind == 'b') st = VNTreadcopybase(c.env, c.lp, startFile.c_str());
    else if (kind == 'm') st = VNTreadcopymipstarts(c.env, c.lp, startFile.c_str());
    else st = VNTreadcopystartinfo(c.env, c.lp, startFile.c_str());
    if (st != 0) return finish(libraryError(st));
  }
  if (!optimize) return finish(0);

  const int ptype = VNTgetprobtype(c.env, c.lp);
  const bool mip = ptype == VNTPROB_MILP;
  if (!mip && ptype != VNTPROB_LP) {
    fprintf(stderr, "vanto: models with quadratic terms are not supported by this build\n");
    return finish(1);
  }
  if (populate && !mip) {
    fprintf(stderr, "vanto: --populate needs a model with integer variables\n");
    return finish(1);
  }
  VNTsetterminate(c.env, const_cast<int*>(&gTerminate));
  signal(SIGINT, onInterrupt);
  double t0 = 0, t1 = 0, d0 = 0, d1 = 0;
  VNTgettime(c.env, &t0);
  VNTgetdettime(c.env, &d0);
  st = populate ? VNTpopulate(c.env, c.lp) : mip ? VNTmipopt(c.env, c.lp) : VNTlpopt(c.env, c.lp);
  VNTgettime(c.env, &t1);
  VNTgetdettime(c.env, &d1);
  signal(SIGINT, SIG_DFL);
  if (st != 0) return finish(libraryError(st));

  int stat = VNTgetstat(c.env, c.lp);
  char text[128] = "";
  if (!VNTgetstatstring(c.env, stat, text)) snprintf(text, sizeof text, "status %d", stat);
  printf("\nSolution status: %s\n", text);
  // Values are queried only when a solution exists, so that a run without
  // one (infeasible, or a limit before the first incumbent) prints no errors.
  int solnMethod = 0, solnType = 0, pfeas = 0, dfeas = 0;
  const bool haveSoln = VNTsolninfo(c.env, c.lp, &solnMethod, &solnType, &pfeas, &dfeas) == 0 && solnType != 0;
  double obj = 0;
  if (haveSoln && VNTgetobjval(c.env, c.lp, &obj) == 0) printf("Objective value: %.10g\n", obj);
  if (mip) {
    double bound = 0, gap = 0;
    if (VNTgetbestobjval(c.env, c.lp, &bound) == 0) printf("Best bound:      %.10g\n", bound);
    if (haveSoln && VNTgetmiprelgap(c.env, c.lp, &gap) == 0)
      printf("Gap:             %.4f%%\n", 100.0 * gap);
    printf("Nodes:           %lld (%lld left)\n", static_cast<long long>(VNTLgetnodecnt(c.env, c.lp)),
           static_cast<long long>(VNTLgetnodeleftcnt(c.env, c.lp)));
    printf("Iterations:      %lld\n", static_cast<long long>(VNTLgetmipitcnt(c.env, c.lp)));
    if (populate) printf("Pool solutions:  %d\n", VNTgetsolnpoolnumsolns(c.env, c.lp));
  } else {
    printf("Iterations:      %lld\n", static_cast<long long>(VNTLgetitcnt(c.env, c.lp)));
  }
  printf("Time:            %.3f seconds (%.2f ticks)\n", t1 - t0, d1 - d0);
  if (printSol && haveSoln) printSolution(c.env, c.lp);
  if (!solFile.empty()) {
    if (!haveSoln) {
      fprintf(stderr, "vanto: no solution to write to '%s'\n", solFile.c_str());
      return finish(1);
    }
    st = populate ? VNTsolwritesolnpoolall(c.env, c.lp, solFile.c_str()) : VNTsolwrite(c.env, c.lp, solFile.c_str());
    if (st != 0) return finish(libraryError(st));
  }
  if (!basisFile.empty() && (st = VNTmbasewrite(c.env, c.lp, basisFile.c_str())) != 0)
    return finish(libraryError(st));
  if (writeAfter && (st = VNTwriteprob(c.env, c.lp, writeFile.c_str(), nullptr)) != 0)
    return finish(libraryError(st));
  return finish(0);
}
