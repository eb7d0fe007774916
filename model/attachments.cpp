#include "model/attachments.h"

#include <new>

namespace vnt::model {

bool Attachments::onChange(Problem& p, const ChangeEvent& ev) {
  switch (ev.kind) {
    case ChangeKind::ReplaceAll: return false;
    case ChangeKind::DelCols: {
      if (!ev.map) return false;
      const int n = p.data->cols();
      for (MipStart& s : starts) {
        size_t k = 0;
        for (size_t t = 0; t < s.ind.size(); ++t) {
          const int j = s.ind[t];
          if (j < 0 || j >= n || ev.map[j] < 0) continue;
          s.ind[k] = ev.map[j];
          s.val[k++] = s.val[t];
        }
        s.ind.resize(k);
        s.val.resize(k);
      }
      for (PoolFilter& f : filters) {
        size_t k = 0;
        for (size_t t = 0; t < f.ind.size(); ++t) {
          const int j = f.ind[t];
          if (j < 0 || j >= n || ev.map[j] < 0) continue;
          f.ind[k] = ev.map[j];
          f.val[k] = f.val[t];
          if (f.diversity) f.refval[k] = f.refval[t];
          ++k;
        }
        f.ind.resize(k);
        f.val.resize(k);
        if (f.diversity) f.refval.resize(k);
      }
      return true;
    }
    default: return true;
  }
}

Attachments* attachments(Problem& p, bool create) {
  auto& slot = p.state[kSlotStarts];
  if (!slot && create) slot.reset(new (std::nothrow) Attachments);
  return static_cast<Attachments*>(slot.get());
}

const Attachments* findAttachments(const Problem& p) {
  return static_cast<const Attachments*>(p.state[kSlotStarts].get());
}

std::string defaultStartName(size_t k) { return "m" + std::to_string(k + 1); }

}  // namespace vnt::model
