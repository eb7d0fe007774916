// Network files and network basis files: round trips of both forms (plain
// and compressed), the header and line forms, the reader's warnings and
// errors, nothing changed by a failed read; and the operations' argument
// checks and messages.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "network/net_fixture.h"

namespace {

using vnt::test::Flow;
using vnt::test::FlowGen;
using vnt::test::kInf;

std::string tempPath(const std::string& name) {
  return "/tmp/vnt_net_" + std::to_string(getpid()) + "_" + name;
}
std::string slurp(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}
void spit(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

class NetFiles : public vnt::test::NetFixture {
 protected:
  struct ArcData {
    std::string from, to;
    double lb, ub, obj;
    bool operator==(const ArcData&) const = default;
  };
  // The problem as name-keyed maps (file round trips may renumber nodes).
  void snapshot(VNTCNETptr p, int* objsen, std::map<std::string, double>* supply,
                std::map<std::string, ArcData>* arcs) {
    const int n = VNTNETgetnumnodes(env, p), m = VNTNETgetnumarcs(env, p);
    *objsen = VNTNETgetobjsen(env, p);
    std::vector<char*> nn(n), an(m);
    std::vector<char> ns(64 * n + 1), as(64 * m + 1);
    int sur = 0;
    if (n > 0) {
      ASSERT_EQ(VNTNETgetnodename(env, p, nn.data(), ns.data(), static_cast<int>(ns.size()), &sur, 0, n - 1), 0);
    }
    if (m > 0) {
      ASSERT_EQ(VNTNETgetarcname(env, p, an.data(), as.data(), static_cast<int>(as.size()), &sur, 0, m - 1), 0);
    }
    std::vector<double> sup(n), lb(m), ub(m), obj(m);
    std::vector<int> from(m), to(m);
    if (n > 0) {
      ASSERT_EQ(VNTNETgetsupply(env, p, sup.data(), 0, n - 1), 0);
    }
    if (m > 0) {
      ASSERT_EQ(VNTNETgetlb(env, p, lb.data(), 0, m - 1), 0);
      ASSERT_EQ(VNTNETgetub(env, p, ub.data(), 0, m - 1), 0);
      ASSERT_EQ(VNTNETgetobj(env, p, obj.data(), 0, m - 1), 0);
      ASSERT_EQ(VNTNETgetarcnodes(env, p, from.data(), to.data(), 0, m - 1), 0);
    }
    supply->clear();
    arcs->clear();
    for (int v = 0; v < n; ++v) {
      if (sup[v] != 0) (*supply)[nn[v]] = sup[v];
    }
    for (int a = 0; a < m; ++a) (*arcs)[an[a]] = {nn[from[a]], nn[to[a]], lb[a], ub[a], obj[a]};
  }
};

TEST_F(NetFiles, NativeAndDimacsRoundTripsPlainAndCompressed) {
  VNTsetintparam(env, VNTPARAM_Network_Display, 0);
  for (unsigned seed = 1; seed <= 4; ++seed) {
    FlowGen g(seed);
    const Flow f = g.general(25, 90, seed % 2 == 0);
    load(f);
    ASSERT_EQ(VNTNETprimopt(env, net), 0);
    const double opt = objval();
    int s0;
    std::map<std::string, double> sup0;
    std::map<std::string, ArcData> arc0;
    snapshot(net, &s0, &sup0, &arc0);
    for (const char* name : {"a.net", "b.net.gz", "c.min", "d.min.bz2"}) {
      const std::string path = tempPath(name);
      ASSERT_EQ(VNTNETwriteprob(env, net, path.c_str(), nullptr), 0) << name;
      int st = 0;
      VNTNETptr back = VNTNETcreateprob(env, &st, "back");
      ASSERT_EQ(VNTNETreadcopyprob(env, back, path.c_str()), 0) << name;
      EXPECT_EQ(VNTNETgetnumarcs(env, back), f.arcs());
      const bool dimacs = std::string(name).find(".min") != std::string::npos;
      int s1;
      std::map<std::string, double> sup1;
      std::map<std::string, ArcData> arc1;
      snapshot(back, &s1, &sup1, &arc1);
      EXPECT_EQ(s1, s0) << name;
      if (!dimacs) {
        // Names survive: the same problem entry for entry.
        EXPECT_EQ(sup1, sup0) << name;
        EXPECT_EQ(arc1, arc0) << name;
      } else {
        // No names in DIMACS; nodes keep their numbers.
        EXPECT_EQ(VNTNETgetnumnodes(env, back), f.n);
        std::vector<double> sup(f.n), lb(f.arcs()), obj(f.arcs());
        ASSERT_EQ(VNTNETgetsupply(env, back, sup.data(), 0, f.n - 1), 0);
        ASSERT_EQ(VNTNETgetlb(env, back, lb.data(), 0, f.arcs() - 1), 0);
        ASSERT_EQ(VNTNETgetobj(env, back, obj.data(), 0, f.arcs() - 1), 0);
        for (int v = 0; v < f.n; ++v) EXPECT_NEAR(sup[v], f.supply[v], 1e-9);
        for (int a = 0; a < f.arcs(); ++a) {
          EXPECT_NEAR(lb[a], f.lb[a], 1e-9 * (1 + std::fabs(f.lb[a])));
          EXPECT_NEAR(obj[a], f.cost[a], 1e-9);
        }
      }
      ASSERT_EQ(VNTNETprimopt(env, back), 0);
      double o = 0;
      ASSERT_EQ(VNTNETgetobjval(env, back, &o), 0);
      EXPECT_NEAR(o, opt, 1e-9 * (1 + std::fabs(opt))) << name;
      VNTNETfreeprob(env, &back);
      std::remove(path.c_str());
    }
  }
}

TEST_F(NetFiles, WrittenLineForms) {
  const char* nodes[] = {"s", "m", "t"};
  double supply[] = {4, 0, -4};
  ASSERT_EQ(VNTNETcopynet(env, net, 1, 3, supply, const_cast<char**>(nodes), 0, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr),
            0);
  const char* arcs[] = {"x", "y", "z", "w"};
  int from[] = {0, 1, 0, 1}, to[] = {1, 2, 2, 0};
  double lo[] = {0, 1, -kInf, 2}, up[] = {kInf, 5, 7, 2}, c[] = {2, 0, -1.5, 3};
  ASSERT_EQ(VNTNETaddarcs(env, net, 4, from, to, lo, up, c, const_cast<char**>(arcs)), 0);
  ASSERT_EQ(VNTNETchgname(env, net, "3rd"), 0);
  const std::string path = tempPath("forms.net");
  ASSERT_EQ(VNTNETwriteprob(env, net, path.c_str(), "NET"), 0);
  const std::string t = slurp(path);
  EXPECT_EQ(t.rfind("\\ENCODING=", 0), 0u) << t;
  EXPECT_NE(t.find("\nMINIMIZE NETWORK _3rd\n"), std::string::npos) << t;
  EXPECT_NE(t.find("SUPPLY\ns : 4\nt : -4\nARCS\n"), std::string::npos) << t;  // no line for m
  EXPECT_NE(t.find("x : s -> m\n"), std::string::npos) << t;
  EXPECT_NE(t.find("OBJECTIVE\nx : 2\nz : -1.5\nw : 3\nBOUNDS\n"), std::string::npos) << t;
  EXPECT_NE(t.find(" 1 <= y <= 5\n"), std::string::npos) << t;
  EXPECT_NE(t.find(" -inf <= z <= 7\n"), std::string::npos) << t;
  EXPECT_NE(t.find(" w = 2\n"), std::string::npos) << t;
  EXPECT_NE(t.find("ENDNETWORK\n"), std::string::npos) << t;
  // Read back: the leading underscore goes again.
  ASSERT_EQ(VNTNETreadcopyprob(env, net, path.c_str()), 0);
  char buf[64];
  int sur = 0;
  ASSERT_EQ(VNTNETgetprobname(env, net, buf, sizeof buf, &sur), 0);
  EXPECT_STREQ(buf, "3rd");
  EXPECT_TRUE(results.contains("Nodes 3  Arcs 4\n")) << results.all();
  // DIMACS: cost times the sense, only nonzero supplies.
  ASSERT_EQ(VNTNETchgobjsen(env, net, -1), 0);
  ASSERT_EQ(VNTNETwriteprob(env, net, path.c_str(), "MIN"), 0);
  const std::string d = slurp(path);
  EXPECT_NE(d.find("c network problem 3rd\nc\np max 3 4\n"), std::string::npos) << d;
  // Read back, the nodes are numbered as the file named them: s, t, then m.
  EXPECT_NE(d.find("n 1                4\nn 2               -4\na "), std::string::npos) << d;
  EXPECT_NE(d.find("a 1 3                0            1e+20               -2\n"), std::string::npos) << d;
  EXPECT_NE(d.find("a 3 2                1                5                0\n"), std::string::npos) << d;
  std::remove(path.c_str());
}

TEST_F(NetFiles, ReaderWarningsErrorsAndNothingChangedOnFailure) {
  const std::string path = tempPath("r.net");
  spit(path,
       "\\ comment\nMAXIMIZE NETWORK demo\nSUPPLY\na : 2\na : 3\nb : -3\nARCS\nx : a -> b\nx : b -> a\n"
       "OBJECTIVE\nx : 1\nx : 2\nq : 5\nBOUNDS\n 0 <= x <= 7\n x <= 9\n q free\n 4 <= x <= 2\nENDNETWORK\n");
  ASSERT_EQ(VNTNETreadcopyprob(env, net, path.c_str()), 0);
  const std::string w = warnings.all();
  EXPECT_NE(w.find("Supply value for node a overridden near line 5.\n"), std::string::npos) << w;
  EXPECT_NE(w.find("Nodes for arc x overridden near line 9.\n"), std::string::npos) << w;
  EXPECT_NE(w.find("Objective value for arc x overridden near line 12.\n"), std::string::npos) << w;
  EXPECT_NE(w.find("Ignoring objective for unknown arc q near line 13.\n"), std::string::npos) << w;
  EXPECT_NE(w.find("Bounds for arc x overridden near line 16.\n"), std::string::npos) << w;
  EXPECT_NE(w.find("Ignoring bounds for unknown arc q near line 17.\n"), std::string::npos) << w;
  EXPECT_NE(w.find("Warning:  Bounds on 'x' contradictory.\n"), std::string::npos) << w;
  EXPECT_EQ(VNTNETgetobjsen(env, net), -1);
  int from = -1, to = -1;
  ASSERT_EQ(VNTNETgetarcnodes(env, net, &from, &to, 0, 0), 0);
  EXPECT_EQ(from, 1);
  EXPECT_EQ(to, 0);
  double sup[2];
  ASSERT_EQ(VNTNETgetsupply(env, net, sup, 0, 1), 0);
  EXPECT_EQ(sup[0], 3);

  // Failures leave the problem as it was.
  for (const std::string& bad :
       {std::string("c x\np min 2 1\np max 2 1\na 1 2 0 1 1\n"), std::string("MINIMIZE NETWORK\nARCS\nx : a b\n"),
        std::string("MINIMIZE NETWORK\nSUPPLY\na : 1\n"), std::string("p min 2 1\na 1 3 0 1 1\n"),
        std::string("hello\n")}) {
    errors.lines.clear();
    spit(path, bad);
    EXPECT_NE(VNTNETreadcopyprob(env, net, path.c_str()), 0) << bad;
    EXPECT_EQ(VNTNETgetnumarcs(env, net), 1) << bad;
    EXPECT_EQ(VNTNETgetnumnodes(env, net), 2) << bad;
    EXPECT_EQ(VNTNETgetobjsen(env, net), -1) << bad;
  }
  spit(path, "p min 2 1\np max 2 1\n");
  errors.lines.clear();
  EXPECT_EQ(VNTNETreadcopyprob(env, net, path.c_str()), 1530);
  EXPECT_TRUE(errors.contains("Multiple definitions of objective sense\n")) << errors.all();
  spit(path, "MINIMIZE NETWORK\nSUPPLY\n");
  EXPECT_EQ(VNTNETreadcopyprob(env, net, path.c_str()), 1538);
  EXPECT_EQ(VNTNETreadcopyprob(env, net, tempPath("missing.net").c_str()), 1423);
  std::remove(path.c_str());
}

TEST_F(NetFiles, BasisFilesRestartTheSolve) {
  VNTsetintparam(env, VNTPARAM_Network_Display, 0);
  FlowGen g(9);
  const Flow f = g.general(40, 200, false);
  load(f);
  ASSERT_EQ(VNTNETprimopt(env, net), 0);
  ASSERT_GT(VNTNETgetitcnt(env, net), 0);
  const double opt = objval();
  const std::string path = tempPath("b.bas.gz");
  warnings.lines.clear();
  ASSERT_EQ(VNTNETbasewrite(env, net, path.c_str()), 0);
  EXPECT_TRUE(warnings.contains("Default node names n1, n2 ... being created.\n"));
  EXPECT_TRUE(warnings.contains("Default arc  names a1, a2 ... being created.\n"));
  int st = 0;
  VNTNETptr other = VNTNETcreateprob(env, &st, "other");
  load(f, other);
  ASSERT_EQ(VNTNETreadcopybase(env, other, path.c_str()), 0);
  ASSERT_EQ(VNTNETprimopt(env, other), 0);
  EXPECT_EQ(VNTNETgetitcnt(env, other), 0);
  double o = 0;
  ASSERT_EQ(VNTNETgetobjval(env, other, &o), 0);
  EXPECT_NEAR(o, opt, 1e-9 * (1 + std::fabs(opt)));
  // Header and unknown markers.
  const std::string plain = tempPath("c.bas");
  ASSERT_EQ(VNTNETbasewrite(env, other, plain.c_str()), 0);
  const std::string t = slurp(plain);
  EXPECT_NE(t.find("\nNAME          other  Iterations 0  Rows 40  Cols " + std::to_string(f.arcs())), std::string::npos)
      << t;
  EXPECT_NE(t.find(" XL "), std::string::npos);
  spit(plain, "NAME x\n ZZ a1\nENDATA\n");
  EXPECT_EQ(VNTNETreadcopybase(env, other, plain.c_str()), 1551);
  spit(plain, "NAME x\n XL a1\nENDATA\n");
  EXPECT_EQ(VNTNETreadcopybase(env, other, plain.c_str()), 1553);
  VNTNETfreeprob(env, &other);
  std::remove(path.c_str());
  std::remove(plain.c_str());
}

TEST_F(NetFiles, OperationsCheckTheirArguments) {
  const Flow f = FlowGen(3).transportation(2, 3, false);
  load(f);
  // Node and arc indices.
  int badNode[] = {7}, okNode[] = {0}, badArc[] = {99};
  double one[] = {1.0};
  errors.lines.clear();
  EXPECT_EQ(VNTNETaddarcs(env, net, 1, okNode, badNode, one, one, one, nullptr), 1230);
  EXPECT_TRUE(errors.contains("Node index 7 out of range")) << errors.all();
  EXPECT_EQ(VNTNETchgobj(env, net, 1, badArc, one), 1231);
  EXPECT_TRUE(errors.contains("Arc index 99 out of range")) << errors.all();
  EXPECT_EQ(VNTNETchgsupply(env, net, 1, badNode, one), 1230);
  // Ranges name the operation.
  double x[10];
  errors.lines.clear();
  EXPECT_EQ(VNTNETgetlb(env, net, x, 0, 6), 1200);
  EXPECT_TRUE(errors.contains("VNTNETgetlb")) << errors.all();
  // No solution yet; no problem; no environment.
  EXPECT_EQ(VNTNETgetx(env, net, x, 0, 1), 1217);
  EXPECT_EQ(VNTNETgetstat(env, net), 0);
  EXPECT_EQ(VNTNETprimopt(env, nullptr), 1009);
  EXPECT_EQ(VNTNETprimopt(nullptr, net), 1002);
  // Names: default names appear on demand and can be looked up.
  int idx = -1;
  warnings.lines.clear();
  ASSERT_EQ(VNTNETgetnodeindex(env, net, "n3", &idx), 0);
  EXPECT_EQ(idx, 2);
  EXPECT_TRUE(warnings.contains("Default node names n1, n2 ... being created.\n"));
  const char* nm[] = {"depot"};
  ASSERT_EQ(VNTNETchgnodename(env, net, 1, okNode, const_cast<char**>(nm)), 0);
  ASSERT_EQ(VNTNETgetnodeindex(env, net, "depot", &idx), 0);
  EXPECT_EQ(idx, 0);
  EXPECT_EQ(VNTNETgetarcindex(env, net, "nosuch", &idx), 1210);
  // Forward stars.
  int cnt = 0, beg[5], arcs[20], sur = 0;
  ASSERT_EQ(VNTNETgetnodearcs(env, net, &cnt, beg, arcs, 20, &sur, 0, 1), 0);
  EXPECT_EQ(cnt, 6);
  EXPECT_EQ(beg[1], 3);
  EXPECT_EQ(VNTNETgetnodearcs(env, net, &cnt, beg, arcs, 2, &sur, 0, 1), 1207);
  EXPECT_EQ(sur, -4);
  // Deleting a node takes its arcs; delset reports the new indices.
  ASSERT_EQ(VNTNETdelnodes(env, net, 0, 0), 0);
  EXPECT_EQ(VNTNETgetnumnodes(env, net), 4);
  EXPECT_EQ(VNTNETgetnumarcs(env, net), 3);
  int dn[4] = {0, 1, 0, 0}, da[3] = {0, 1, 0};
  ASSERT_EQ(VNTNETdelset(env, net, dn, da), 0);
  EXPECT_EQ(dn[0], 0);
  EXPECT_EQ(dn[1], -1);
  EXPECT_EQ(dn[2], 1);
  EXPECT_EQ(da[0], -1);  // the arc into the deleted node went too
  EXPECT_EQ(da[1], -1);
  EXPECT_EQ(da[2], 0);
  EXPECT_EQ(VNTNETgetnumarcs(env, net), 1);
  // Bounds changes and a NaN.
  int a0[] = {0};
  char lu[] = {'B'};
  double two[] = {2.0}, nan[] = {std::nan("")};
  ASSERT_EQ(VNTNETchgbds(env, net, 1, a0, lu, two), 0);
  double lb = 0, ub = 0;
  VNTNETgetlb(env, net, &lb, 0, 0);
  VNTNETgetub(env, net, &ub, 0, 0);
  EXPECT_EQ(lb, 2);
  EXPECT_EQ(ub, 2);
  EXPECT_EQ(VNTNETchgobj(env, net, 1, a0, nan), 1225);
}

}  // namespace
