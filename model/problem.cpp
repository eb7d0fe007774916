#include "model/problem.h"

#include <algorithm>
#include <new>

namespace vnt::model {

// ---------------------------------------------------------------------------
// NameTable

void NameTable::clear() {
  names_.clear();
  names_.shrink_to_fit();
  present_ = false;
  invalidate();
}

void NameTable::materialize(size_t n, char prefix) {
  if (present_) return;
  names_.clear();
  names_.reserve(n);
  for (size_t i = 0; i < n; ++i) names_.push_back(prefix + std::to_string(i + 1));
  present_ = true;
  invalidate();
}

static uint32_t nameHash(const std::string& s) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return static_cast<uint32_t>(h ^ (h >> 32));
}

long long NameTable::slotOf(const std::string& name, uint32_t h) const {
  const size_t mask = slots_.size() - 1;
  for (size_t pos = h & mask;; pos = (pos + 1) & mask) {
    const int e = slots_[pos];
    if (e == -1) return -1;
    if (e >= 0 && slotHash_[pos] == h && names_[e] == name) return static_cast<long long>(pos);
  }
}

void NameTable::insertSlot(int i, uint32_t h) const {
  if (2 * (slotsUsed_ + 1) > slots_.size()) {
    buildIndex();  // grows the table; entry i is already in names_
    return;
  }
  if (long long q = slotOf(names_[i], h); q >= 0) {
    dupFree_ = false;
    if (slots_[q] > i) slots_[q] = i;
    return;
  }
  const size_t mask = slots_.size() - 1;
  size_t pos = h & mask;
  while (slots_[pos] != -1) pos = (pos + 1) & mask;
  slots_[pos] = i;
  slotHash_[pos] = h;
  ++slotsUsed_;
}

void NameTable::buildIndex() const {
  size_t cap = 16;
  while (cap < 2 * names_.size() + 2) cap *= 2;
  slots_.assign(cap, -1);
  slotHash_.assign(cap, 0);
  slotsUsed_ = 0;
  dupFree_ = true;
  indexValid_ = true;
  const size_t mask = cap - 1;
  for (size_t i = 0; i < names_.size(); ++i) {
    const uint32_t h = nameHash(names_[i]);
    size_t pos = h & mask;
    bool dup = false;
    for (; slots_[pos] != -1; pos = (pos + 1) & mask)
      if (slotHash_[pos] == h && names_[slots_[pos]] == names_[i]) {
        dup = true;
        break;
      }
    if (dup) {
      dupFree_ = false;  // the first occurrence keeps the slot
      continue;
    }
    slots_[pos] = static_cast<int>(i);
    slotHash_[pos] = h;
    ++slotsUsed_;
  }
}

void NameTable::append(std::string name) {
  names_.push_back(std::move(name));
  if (indexValid_) insertSlot(static_cast<int>(names_.size() - 1), nameHash(names_.back()));
}

void NameTable::set(size_t i, std::string name) {
  if (indexValid_ && !dupFree_) invalidate();
  if (indexValid_) {
    long long q = slotOf(names_[i], nameHash(names_[i]));
    if (q >= 0 && slots_[q] == static_cast<int>(i)) slots_[q] = -2;  // deleted
  }
  names_[i] = std::move(name);
  if (indexValid_) insertSlot(static_cast<int>(i), nameHash(names_[i]));
}

void NameTable::compact(const std::vector<char>& keep) {
  if (!present_) return;
  size_t k = 0;
  for (size_t i = 0; i < names_.size(); ++i)
    if (keep[i]) {
      if (k != i) names_[k] = std::move(names_[i]);
      ++k;
    }
  names_.resize(k);
  invalidate();
}

int NameTable::find(const std::string& name) const {
  if (!present_) return -1;
  if (!indexValid_) buildIndex();
  const long long q = slotOf(name, nameHash(name));
  return q < 0 ? -1 : slots_[q];
}

// ---------------------------------------------------------------------------
// Matrix storage

void ProblemData::compactMatrix(int slackPercent, int slackMin) {
  const int n = cols();
  auto capOf = [&](int c) {
    return c + static_cast<int>(static_cast<int64_t>(c) * slackPercent / 100) + slackMin;
  };
  int64_t total = 0;
  for (int j = 0; j < n; ++j) total += capOf(matcnt[j]);
  std::vector<int> ni(static_cast<size_t>(total));
  std::vector<double> nv(static_cast<size_t>(total));
  int64_t pos = 0;
  for (int j = 0; j < n; ++j) {
    const int64_t b = matbeg[j];
    const int c = matcnt[j];
    std::copy(matind.begin() + b, matind.begin() + b + c, ni.begin() + pos);
    std::copy(matval.begin() + b, matval.begin() + b + c, nv.begin() + pos);
    matbeg[j] = pos;
    matcap[j] = capOf(c);
    pos += matcap[j];
  }
  matind.swap(ni);
  matval.swap(nv);
  garbage = 0;
}

void ProblemData::reserveInColumn(int j, int extra) {
  const int need = matcnt[j] + extra;
  if (need <= matcap[j]) return;
  const int64_t end = static_cast<int64_t>(matind.size());
  const int64_t b = matbeg[j];
  if (matcap[j] > 0 && b + matcap[j] == end) {
    // Last block of the storage: grow in place.
    int cap = std::max(need, std::max(4, 2 * matcap[j]));
    matind.resize(static_cast<size_t>(b + cap));
    matval.resize(static_cast<size_t>(b + cap));
    matcap[j] = cap;
    return;
  }
  int cap = std::max(need, std::max(4, 2 * matcnt[j]));
  matind.resize(static_cast<size_t>(end + cap));
  matval.resize(static_cast<size_t>(end + cap));
  std::copy(matind.begin() + b, matind.begin() + b + matcnt[j], matind.begin() + end);
  std::copy(matval.begin() + b, matval.begin() + b + matcnt[j], matval.begin() + end);
  garbage += matcap[j];
  matbeg[j] = end;
  matcap[j] = cap;
}

void ProblemData::appendColumn(const int* ind, const double* val, int cnt) {
  const int64_t b = static_cast<int64_t>(matind.size());
  matind.insert(matind.end(), ind, ind + cnt);
  matval.insert(matval.end(), val, val + cnt);
  matbeg.push_back(b);
  matcnt.push_back(cnt);
  matcap.push_back(cnt);
  nz += cnt;
}

double ProblemData::coef(int i, int j) const {
  const int64_t b = matbeg[j], e = b + matcnt[j];
  for (int64_t k = b; k < e; ++k)
    if (matind[k] == i) return matval[k];
  return 0.0;
}

void ProblemData::setCoef(int i, int j, double v) {
  const int64_t b = matbeg[j], e = b + matcnt[j];
  for (int64_t k = b; k < e; ++k) {
    if (matind[k] != i) continue;
    if (v != 0.0) {
      matval[k] = v;
    } else {
      matind[k] = matind[e - 1];
      matval[k] = matval[e - 1];
      --matcnt[j];
      --nz;
    }
    return;
  }
  if (v == 0.0) return;
  reserveInColumn(j, 1);
  const int64_t p = matbeg[j] + matcnt[j];
  matind[p] = i;
  matval[p] = v;
  ++matcnt[j];
  ++nz;
}

// ---------------------------------------------------------------------------
// Problem

Problem::~Problem() {
  delete data;
  data = nullptr;
  self = nullptr;
  if (redirect) delete redirect;
  redirect = nullptr;
}

Problem* resolveHandle(const void* handle) {
  auto* p = static_cast<Problem*>(const_cast<void*>(handle));
  if (!p || p->self != p || !p->data) return nullptr;
  for (int hops = 0; p->redirect && hops < 8; ++hops) p = p->redirect;
  return p->self == p && p->data ? p : nullptr;
}

Env* rootEnvOf(const Problem& p) { return p.root; }

void destroyProblem(Env& env, Problem* p) {
  unregisterObject(env, p);
  delete p;
}

void notifyChange(Problem& p, const ChangeEvent& ev) {
  for (auto& s : p.state)
    if (s && !s->onChange(p, ev)) s.reset();
}

static FixedBuilder gFixedBuilder = nullptr;
void setFixedBuilder(FixedBuilder b) { gFixedBuilder = b; }
FixedBuilder fixedBuilder() { return gFixedBuilder; }

Problem* newProblem(Env& env, const std::string& name, int* status) {
  auto* p = new (std::nothrow) Problem;
  if (!p) {
    *status = 1001;
    return nullptr;
  }
  p->data = new (std::nothrow) ProblemData;
  if (!p->data) {
    delete p;
    *status = 1001;
    return nullptr;
  }
  try {
    p->data->probname = name;
  } catch (...) {
    delete p;
    *status = 1001;
    return nullptr;
  }
  p->self = p;
  p->env = &env;
  Env* r = &env;
  while (r->parent) r = r->parent;
  p->root = r;
  if (int st = registerObject(env, p, ObjKind::Problem)) {
    delete p;
    *status = st;
    return nullptr;
  }
  *status = 0;
  return p;
}

Problem* cloneProblem(Env& env, const Problem& src, int* status) {
  Problem* p = nullptr;
  try {
    auto* d = new ProblemData(*src.data);
    p = new (std::nothrow) Problem;
    if (!p) {
      delete d;
      *status = 1001;
      return nullptr;
    }
    p->data = d;
  } catch (...) {
    *status = 1001;
    return nullptr;
  }
  p->self = p;
  p->env = &env;
  Env* r = &env;
  while (r->parent) r = r->parent;
  p->root = r;
  p->probtype = src.probtype;
  if (int st = registerObject(env, p, ObjKind::Problem)) {
    delete p;
    *status = st;
    return nullptr;
  }
  *status = 0;
  return p;
}

// ---------------------------------------------------------------------------
// Pending additions

int flushCache(Env&, Problem& p) {
  ProblemData& d = *p.data;
  PendingAdditions& c = d.cache;
  if (c.empty()) return 0;
  try {
    const int m0 = d.rows(), n0 = d.cols();
    const size_t cm = c.rhs.size(), cn = c.obj.size();
    // Reserve first so that the merge itself does not fail half way.
    growTo(d.rhs, m0 + cm);
    growTo(d.sense, m0 + cm);
    growTo(d.obj, n0 + cn);
    growTo(d.lb, n0 + cn);
    growTo(d.ub, n0 + cn);
    growTo(d.matbeg, n0 + cn);
    growTo(d.matcnt, n0 + cn);
    growTo(d.matcap, n0 + cn);
    if (cm) {
      bool anyRng = !d.rngval.empty();
      for (double v : c.rngval) anyRng |= v != 0.0;
      if (anyRng) {
        d.rngval.resize(m0, 0.0);
        d.rngval.insert(d.rngval.end(), c.rngval.begin(), c.rngval.end());
        d.rngval.resize(m0 + cm, 0.0);
      }
      if (!c.rowname.empty() || d.rownames.present()) {
        d.rownames.materialize(m0, 'c');
        for (size_t k = 0; k < cm; ++k)
          d.rownames.append(c.rowname.empty() ? "c" + std::to_string(m0 + k + 1) : c.rowname[k]);
      }
      d.rhs.insert(d.rhs.end(), c.rhs.begin(), c.rhs.end());
      d.sense.insert(d.sense.end(), c.sense.begin(), c.sense.end());
    }
    if (cn) {
      if (!c.ctype.empty() || !d.ctype.empty()) {
        d.ctype.resize(n0, 'C');
        if (c.ctype.empty()) d.ctype.resize(n0 + cn, 'C');
        else d.ctype.insert(d.ctype.end(), c.ctype.begin(), c.ctype.end());
      }
      if (!c.colname.empty() || d.colnames.present()) {
        d.colnames.materialize(n0, 'x');
        for (size_t k = 0; k < cn; ++k)
          d.colnames.append(c.colname.empty() ? "x" + std::to_string(n0 + k + 1) : c.colname[k]);
      }
      d.obj.insert(d.obj.end(), c.obj.begin(), c.obj.end());
      d.lb.insert(d.lb.end(), c.lb.begin(), c.lb.end());
      d.ub.insert(d.ub.end(), c.ub.begin(), c.ub.end());
      for (size_t k = 0; k < cn; ++k) {
        d.matbeg.push_back(static_cast<int64_t>(d.matind.size()));
        d.matcnt.push_back(0);
        d.matcap.push_back(0);
      }
      d.scratch.resize(d.obj.size(), 0);
    }
    // The last of several cached values of one entry wins.
    std::vector<size_t> order(c.nzrow.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&c](size_t a, size_t b) {
      return c.nzcol[a] != c.nzcol[b] ? c.nzcol[a] < c.nzcol[b] : c.nzrow[a] < c.nzrow[b];
    });
    for (size_t q = 0; q < order.size(); ++q) {
      const size_t k = order[q];
      const int i = c.nzrow[k], j = c.nzcol[k];
      if (q + 1 < order.size() && c.nzrow[order[q + 1]] == i && c.nzcol[order[q + 1]] == j) continue;
      if (i < m0 && j < n0) {
        d.setCoef(i, j, c.nzval[k]);
      } else if (c.nzval[k] != 0.0) {
        d.reserveInColumn(j, 1);
        const int64_t pos = d.matbeg[j] + d.matcnt[j];
        d.matind[pos] = i;
        d.matval[pos] = c.nzval[k];
        ++d.matcnt[j];
        ++d.nz;
      }
    }
    c.clear();
  } catch (...) {
    return 1001;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Exchange form

int exportData(const Problem& cp, ModelData& out) {
  Problem& p = const_cast<Problem&>(cp);
  if (int st = flushCache(*p.env, p)) return st;
  const ProblemData& d = *p.data;
  try {
    ModelData m;
    m.probname = d.probname;
    m.objname = d.objname;
    m.objsen = d.objsen;
    m.objoffset = d.objoffset;
    m.obj = d.obj;
    m.lb = d.lb;
    m.ub = d.ub;
    if (isMipType(p.probtype) && !d.ctype.empty()) m.ctype = d.ctype;
    if (d.colnames.present()) {
      m.colname.reserve(d.colnames.size());
      for (size_t j = 0; j < d.colnames.size(); ++j) m.colname.push_back(d.colnames[j]);
    }
    m.rhs = d.rhs;
    m.sense = d.sense;
    bool ranged = false;
    for (char s : d.sense) ranged |= s == 'R';
    if (ranged) {
      m.rngval = d.rngval;
      m.rngval.resize(d.rhs.size(), 0.0);
    }
    if (d.rownames.present()) {
      m.rowname.reserve(d.rownames.size());
      for (size_t i = 0; i < d.rownames.size(); ++i) m.rowname.push_back(d.rownames[i]);
    }
    const int n = d.cols();
    m.matbeg.assign(n + 1, 0);
    m.matind.resize(static_cast<size_t>(d.nz));
    m.matval.resize(static_cast<size_t>(d.nz));
    int64_t pos = 0;
    for (int j = 0; j < n; ++j) {
      m.matbeg[j] = pos;
      const int64_t b = d.matbeg[j];
      std::copy(d.matind.begin() + b, d.matind.begin() + b + d.matcnt[j], m.matind.begin() + pos);
      std::copy(d.matval.begin() + b, d.matval.begin() + b + d.matcnt[j], m.matval.begin() + pos);
      pos += d.matcnt[j];
    }
    m.matbeg[n] = pos;
    m.qobj = d.qobj;
    m.sos = d.sos;
    m.qconstr = d.qconstr;
    m.indconstr = d.indconstr;
    m.usercuts = d.usercuts;
    m.lazycons = d.lazycons;
    m.pwl = d.pwl;
    m.objectives = d.objectives;
    if (!m.objectives.empty()) {
      ObjectiveRecord& o0 = m.objectives[0];
      o0.name = d.objname;
      o0.offset = d.objoffset;
      o0.ind.clear();
      o0.val.clear();
      for (int j = 0; j < n; ++j)
        if (d.obj[j] != 0.0) {
          o0.ind.push_back(j);
          o0.val.push_back(d.obj[j]);
        }
    }
    out = std::move(m);
  } catch (...) {
    return 1001;
  }
  return 0;
}

static bool consistent(const ModelData& in) {
  const size_t n = in.obj.size(), m = in.rhs.size();
  if (n > 2147483647u || m > 2147483647u) return false;
  if (in.lb.size() != n || in.ub.size() != n) return false;
  if (!in.ctype.empty() && in.ctype.size() != n) return false;
  if (!in.colname.empty() && in.colname.size() != n) return false;
  if (in.sense.size() != m) return false;
  if (!in.rngval.empty() && in.rngval.size() != m) return false;
  if (!in.rowname.empty() && in.rowname.size() != m) return false;
  if (in.matbeg.size() != n + 1 || in.matbeg[0] != 0) return false;
  if (in.matind.size() != in.matval.size()) return false;
  if (in.matbeg[n] != static_cast<int64_t>(in.matind.size())) return false;
  for (size_t j = 0; j < n; ++j) {
    if (in.matbeg[j + 1] < in.matbeg[j]) return false;
    if (in.matbeg[j + 1] - in.matbeg[j] > 2147483647) return false;
  }
  for (int i : in.matind)
    if (i < 0 || static_cast<size_t>(i) >= m) return false;
  auto colOk = [n](int j) { return j >= 0 && static_cast<size_t>(j) < n; };
  for (const auto& t : in.qobj)
    if (!colOk(t.col1) || !colOk(t.col2)) return false;
  for (const auto& s : in.sos) {
    if (s.ind.size() != s.weight.size()) return false;
    for (int j : s.ind)
      if (!colOk(j)) return false;
  }
  for (const auto& q : in.qconstr) {
    if (q.linind.size() != q.linval.size()) return false;
    for (int j : q.linind)
      if (!colOk(j)) return false;
    for (const auto& t : q.quad)
      if (!colOk(t.col1) || !colOk(t.col2)) return false;
  }
  for (const auto& ic : in.indconstr) {
    if (!colOk(ic.indvar) || ic.ind.size() != ic.val.size()) return false;
    for (int j : ic.ind)
      if (!colOk(j)) return false;
  }
  for (const auto* v : {&in.usercuts, &in.lazycons})
    for (const auto& lc : *v) {
      if (lc.ind.size() != lc.val.size()) return false;
      for (int j : lc.ind)
        if (!colOk(j)) return false;
    }
  for (const auto& f : in.pwl)
    if (!colOk(f.xcol) || !colOk(f.ycol) || f.x.size() != f.y.size() || f.x.empty()) return false;
  for (size_t k = 1; k < in.objectives.size(); ++k) {
    const auto& o = in.objectives[k];
    if (o.ind.size() != o.val.size()) return false;
    for (int j : o.ind)
      if (!colOk(j)) return false;
  }
  return true;
}

// Terms of a non-first objective in the stored form: distinct increasing
// columns (a repeated column keeps its last value), no zeros.
void normalizeTerms(ObjectiveRecord& o) {
  std::vector<std::pair<int, double>> t;
  t.reserve(o.ind.size());
  for (size_t q = 0; q < o.ind.size(); ++q) t.emplace_back(o.ind[q], o.val[q]);
  std::stable_sort(t.begin(), t.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  o.ind.clear();
  o.val.clear();
  for (size_t q = 0; q < t.size(); ++q) {
    if (q + 1 < t.size() && t[q + 1].first == t[q].first) continue;
    if (t[q].second == 0.0) continue;
    o.ind.push_back(t[q].first);
    o.val.push_back(t[q].second);
  }
}

int replaceData(Env&, Problem& p, ModelData&& in) {
  if (!consistent(in)) return 1003;
  ProblemData* nd = nullptr;
  int type = kLP;
  try {
    nd = new ProblemData;
    const int n = in.numCols();
    nd->probname = std::move(in.probname);
    nd->objname = std::move(in.objname);
    nd->objsen = in.objsen < 0 ? -1 : 1;
    nd->objoffset = in.objoffset;
    nd->obj = std::move(in.obj);
    nd->lb = std::move(in.lb);
    nd->ub = std::move(in.ub);
    const bool mip = in.isMip();
    if (mip) {
      nd->ctype = std::move(in.ctype);
      nd->ctype.resize(n, 'C');
    }
    if (!in.colname.empty()) {
      nd->colnames.raw() = std::move(in.colname);
      nd->colnames.setPresent(true);
    }
    nd->rhs = std::move(in.rhs);
    nd->sense = std::move(in.sense);
    nd->rngval = std::move(in.rngval);
    if (!in.rowname.empty()) {
      nd->rownames.raw() = std::move(in.rowname);
      nd->rownames.setPresent(true);
    }
    nd->matbeg.assign(in.matbeg.begin(), in.matbeg.end() - 1);
    nd->matcnt.resize(n);
    for (int j = 0; j < n; ++j) nd->matcnt[j] = static_cast<int>(in.matbeg[j + 1] - in.matbeg[j]);
    nd->matcap = nd->matcnt;
    nd->matind = std::move(in.matind);
    nd->matval = std::move(in.matval);
    nd->nz = static_cast<int64_t>(nd->matind.size());
    nd->scratch.assign(n, 0);
    nd->qobj = std::move(in.qobj);
    nd->sos = std::move(in.sos);
    nd->qconstr = std::move(in.qconstr);
    nd->indconstr = std::move(in.indconstr);
    nd->usercuts = std::move(in.usercuts);
    nd->lazycons = std::move(in.lazycons);
    nd->pwl = std::move(in.pwl);
    nd->objectives = std::move(in.objectives);
    if (!nd->objectives.empty()) {
      nd->objectives[0].ind.clear();
      nd->objectives[0].val.clear();
      nd->objectives[0].name.clear();
      nd->objectives[0].offset = 0.0;
      for (size_t k = 1; k < nd->objectives.size(); ++k) normalizeTerms(nd->objectives[k]);
    }
    if (!nd->qconstr.empty()) type = mip ? kMIQCP : kQCP;
    else if (!nd->qobj.empty()) type = mip ? kMIQP : kQP;
    else type = mip ? kMILP : kLP;
  } catch (...) {
    delete nd;
    return 1001;
  }
  notifyChange(p, ChangeKind::ReplaceAll);
  delete p.data;
  p.data = nd;
  p.probtype = type;
  return 0;
}

}  // namespace vnt::model
