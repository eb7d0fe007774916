// The command-line program, driven end to end through its binary.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "common/models.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out;  // standard output and standard error together
};

// Runs a shell command line; standard error joins standard output.
Outcome shell(const std::string& line) {
  Outcome r;
  std::string cmd = "(" + line + ") 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

Outcome run(const std::string& args) { return shell(std::string(VANTO_CLI) + " " + args); }

const std::string kExample = std::string(VANTO_SOURCE_DIR) + "/examples/production.mps";

double objectiveOf(const std::string& out) {
  auto k = out.find("Objective value:");
  if (k == std::string::npos) return NAN;
  return std::strtod(out.c_str() + k + 16, nullptr);
}

TEST(Cli, SolvesTheShippedExample) {
  Outcome r = run("--print-solution " + kExample);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Solution status: optimal"), std::string::npos) << r.out;
  EXPECT_NEAR(objectiveOf(r.out), 2150.0, 1e-6) << r.out;
  EXPECT_NE(r.out.find("TABLES"), std::string::npos) << r.out;
}

TEST(Cli, MethodsAgreeOnANetlibModel) {
  std::string model = vnt::test::modelPath("netlib", "sc105");
  double want = vnt::test::references().at("sc105").objective;
  for (const char* m : {"primal", "dual", "auto"}) {
    Outcome r = run(std::string("--method ") + m + " " + model);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(vnt::test::objectiveMatches(objectiveOf(r.out), want)) << m << "\n" << r.out;
  }
}

// An integer model solved from the shell: the node log and the summary; a
// model with no integer solution ends without value queries that fail.
TEST(Cli, IntegerModels) {
  Outcome r = run(vnt::test::modelPath("miplib3", "p0033"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Solution status: integer optimal"), std::string::npos) << r.out;
  EXPECT_NEAR(objectiveOf(r.out), 3089.0, 1e-6) << r.out;
  EXPECT_NE(r.out.find("Best bound:"), std::string::npos) << r.out;

  const std::string lp = testing::TempDir() + "cli_int_infeasible.lp";
  {
    std::ofstream f(lp);
    f << "Minimize\n obj: x + y\nSubject To\n c1: 2 x + 2 y = 3\nBounds\n 0 <= x <= 5\n 0 <= y <= 5\n"
         "General\n x y\nEnd\n";
  }
  r = run("--print-solution " + lp);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Solution status: integer infeasible"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Objective value:"), std::string::npos) << r.out;
  std::remove(lp.c_str());
}

TEST(Cli, ErrorsAndUsage) {
  Outcome missing = run("/nonexistent/model.mps");
  EXPECT_EQ(missing.status, 2) << missing.out;
  EXPECT_NE(missing.out.find("VANTO Error"), std::string::npos) << missing.out;

  Outcome unknown = run("--param NO_SUCH_PARAMETER=1 " + kExample);
  EXPECT_EQ(unknown.status, 2) << unknown.out;
  EXPECT_NE(unknown.out.find("VANTO Error  1028"), std::string::npos) << unknown.out;

  Outcome range = run("--param VNT_PARAM_EPRHS=5 " + kExample);
  EXPECT_EQ(range.status, 2) << range.out;
  EXPECT_NE(range.out.find("VANTO Error  1015"), std::string::npos) << range.out;

  EXPECT_EQ(run("").status, 1);
  EXPECT_EQ(run("--method simplex " + kExample).status, 1);
  EXPECT_EQ(run("--bogus " + kExample).status, 1);
  Outcome help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage"), std::string::npos);
  Outcome version = run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find("22.1.1.0"), std::string::npos) << version.out;
}

TEST(Cli, ParametersByBothNamesAndByNumber) {
  Outcome r = run("--param VNTPARAM_Simplex_Display=0 --param 1016=1e-7 " + kExample);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("Iteration log"), std::string::npos) << r.out;
  EXPECT_NEAR(objectiveOf(r.out), 2150.0, 1e-6);
}

TEST(Cli, IterationLimitStillPrintsTheSummary) {
  Outcome r = run("--param VNT_PARAM_ITLIM=3 " + vnt::test::modelPath("netlib", "bandm"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Solution status: iteration limit exceeded"), std::string::npos) << r.out;
}

TEST(Cli, ConversionBetweenFormatsKeepsTheOptimum) {
  std::string dir = ::testing::TempDir();
  std::string lpFile = dir + "/converted.lp", mpsFile = dir + "/converted.mps.gz";
  std::string model = vnt::test::modelPath("netlib", "afiro");
  double want = vnt::test::references().at("afiro").objective;
  Outcome a = run("--no-optimize --write " + lpFile + " " + model);
  ASSERT_EQ(a.status, 0) << a.out;
  Outcome b = run("--write " + mpsFile + " " + lpFile);
  ASSERT_EQ(b.status, 0) << b.out;
  EXPECT_TRUE(vnt::test::objectiveMatches(objectiveOf(b.out), want)) << b.out;
  Outcome c = run(mpsFile);
  ASSERT_EQ(c.status, 0) << c.out;
  EXPECT_TRUE(vnt::test::objectiveMatches(objectiveOf(c.out), want)) << c.out;
}

}  // namespace

// Interactive entry: the model typed at the terminal, one bad line retyped.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

namespace {

// c2 only holds in its retyped form; without it the optimum would be 11.
const char* const kTyped =
    "maximize\n"
    " obj: 3 x + 2 y\n"
    "subject to\n"
    " c1: x + y <= 4\n"
    " c2: x + 3 y <= <= 5\n"
    " c2: x + 3 y <= 5\n"
    " c3: x <= 3\n"
    "end\n";
const double kTypedOptimum = 31.0 / 3.0;  // printed with 10 significant digits

TEST(CliEnter, ThroughAPipe) {
  std::string file = ::testing::TempDir() + "/typed_model.txt";
  std::ofstream(file) << kTyped;
  Outcome r = shell("cat " + file + " | " + std::string(VANTO_CLI) + " --enter --print-solution");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Enter new problem ['end' on a separate line terminates]:\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("VANTO Error  1610: Line 5: Expected RHS coefficient.\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Please reenter last line:\n"), std::string::npos) << r.out;
  EXPECT_NEAR(objectiveOf(r.out), kTypedOptimum, 1e-7) << r.out;

  // empty input: no objective keyword
  Outcome e = run("--enter < /dev/null");
  EXPECT_EQ(e.status, 2) << e.out;
  EXPECT_NE(e.out.find("VANTO Error  1436: Max or Min missing.\n"), std::string::npos) << e.out;
  EXPECT_EQ(run("--enter " + kExample).status, 1);
}

// Reads from fd until `want` has appeared in `out` (true) or the time runs
// out / the stream ends (false).
bool readUntil(int fd, std::string& out, const std::string& want, std::size_t from, int ms) {
  char buf[4096];
  while (out.find(want, from) == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return false;
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return true;
}

// A pseudo-terminal: each line is sent only after the program has asked for
// it, so a reader that reads ahead would stall here.
TEST(CliEnter, AtATerminal) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  std::string slave = ptsname(master);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setsid();
    int s = open(slave.c_str(), O_RDWR);
    if (s < 0) _exit(127);
    dup2(s, 0), dup2(s, 1), dup2(s, 2);
    if (s > 2) close(s);
    close(master);
    execl(VANTO_CLI, VANTO_CLI, "--enter", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string out;
  auto send = [&](const std::string& line) { return write(master, line.data(), line.size()) == static_cast<ssize_t>(line.size()); };
  bool ok = readUntil(master, out, "Enter new problem", 0, 20000);
  EXPECT_TRUE(ok) << out;
  std::string typed = kTyped;
  std::size_t pos = 0;
  while (ok && pos < typed.size()) {
    std::size_t e = typed.find('\n', pos) + 1;
    std::string line = typed.substr(pos, e - pos);
    pos = e;
    ok = send(line);
    if (line.find("<= <=") != std::string::npos) {
      // the retyped line is sent only after the program asked for it
      std::size_t from = out.size();
      ok = ok && readUntil(master, out, "Please reenter last line:", from, 20000);
      EXPECT_TRUE(ok) << out;
    }
  }
  ok = ok && readUntil(master, out, "Objective value:", 0, 60000);
  readUntil(master, out, "Time:", 0, 5000);
  EXPECT_TRUE(ok) << out;
  int status = 0;
  if (!ok) kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
  EXPECT_NEAR(objectiveOf(out), kTypedOptimum, 1e-7) << out;
}

}  // namespace

// A model written as a SAV file after its optimization carries the basis:
// solving the file again takes no iteration and gives the same optimum; a
// compressed SAV file reads like a plain one.
TEST(Cli, SavFileKeepsTheBasis) {
  const std::string sav = testing::TempDir() + "cli_afiro.sav.gz";
  Outcome r = run("--write " + sav + " " + vnt::test::modelPath("netlib", "afiro"));
  ASSERT_EQ(r.status, 0) << r.out;
  const double obj = objectiveOf(r.out);
  EXPECT_EQ(r.out.find("Iterations:      0\n"), std::string::npos) << r.out;
  r = run(sav);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Warning:  File contains basis.  Basis is loaded."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Iterations:      0\n"), std::string::npos) << r.out;
  EXPECT_EQ(objectiveOf(r.out), obj) << r.out;
  std::remove(sav.c_str());
}

namespace {

std::string scratch(const std::string& base) {
  return ::testing::TempDir() + "vnt_cli_" + std::to_string(::getpid()) + "_" + base;
}

TEST(CliStarts, SolutionAndBasisFilesRestartAnLpWithoutIterations) {
  const std::string model = vnt::test::modelPath("netlib", "sc105");
  const std::string sol = scratch("sc105.sol.gz"), bas = scratch("sc105.bas");
  Outcome r = run("--solution " + sol + " --write-basis " + bas + " " + model);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("Iterations:      0\n"), std::string::npos) << r.out;
  for (const std::string& start : {sol, bas}) {
    Outcome again = run("--read-start " + start + " " + model);
    ASSERT_EQ(again.status, 0) << again.out;
    EXPECT_NE(again.out.find("Iterations:      0\n"), std::string::npos) << start << "\n" << again.out;
    EXPECT_NEAR(objectiveOf(again.out), objectiveOf(r.out), 1e-9 * std::fabs(objectiveOf(r.out)));
  }
  std::remove(sol.c_str());
  std::remove(bas.c_str());
}

TEST(CliStarts, MipSolutionFileStartsTheNextRun) {
  const std::string model = vnt::test::modelPath("miplib3", "p0033");
  const std::string sol = scratch("p0033.sol");
  Outcome r = run("--solution " + sol + " " + model);
  ASSERT_EQ(r.status, 0) << r.out;
  std::ifstream in(sol);
  std::string head((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(head.find("solutionMethodString=\"mip\""), std::string::npos);
  Outcome again = run("--read-start " + sol + " " + model);
  ASSERT_EQ(again.status, 0) << again.out;
  EXPECT_NE(again.out.find("1 of 1 MIP starts provided solutions.\n"), std::string::npos) << again.out;
  EXPECT_NEAR(objectiveOf(again.out), 3089.0, 1e-6);
  Outcome bad = run("--read-start start.txt " + model);
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("--read-start expects a .bas, .sol or .mst file"), std::string::npos) << bad.out;
  std::remove(sol.c_str());
}

}  // namespace

namespace {

// --populate fills the pool; --solution then writes every pool solution, and
// the file reads back as that many MIP starts, the best first by objective.
TEST(CliStarts, PopulateWritesThePool) {
  const std::string model = vnt::test::modelPath("miplib3", "p0033");
  const std::string sol = scratch("p0033pool.sol");
  Outcome r = run("--populate --param VNT_PARAM_POPULATELIM=6 --solution " + sol + " " + model);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Populate: phase I"), std::string::npos) << r.out;
  const size_t at = r.out.find("Pool solutions:  ");
  ASSERT_NE(at, std::string::npos) << r.out;
  const int kept = std::atoi(r.out.c_str() + at + 17);
  EXPECT_GE(kept, 6);
  std::ifstream in(sol);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t count = 0;
  for (size_t p = text.find("<VANTOSolution "); p != std::string::npos; p = text.find("<VANTOSolution ", p + 1)) ++count;
  EXPECT_EQ(count, static_cast<size_t>(kept));
  EXPECT_NE(text.find("<VANTOSolutions"), std::string::npos);
  Outcome lp = run("--populate " + vnt::test::modelPath("netlib", "afiro"));
  EXPECT_EQ(lp.status, 1);
  EXPECT_NE(lp.out.find("--populate needs a model with integer variables"), std::string::npos) << lp.out;
  std::remove(sol.c_str());
}

}  // namespace
