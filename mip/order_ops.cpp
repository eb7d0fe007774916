// The branching priority order held by a problem: VNTcopyorder and
// VNTgetorder.  The search reads it at the start of a run (mip/driver.cpp).
#include <algorithm>
#include <vector>

#include "api/chk_decls.h"
#include "model/opsupport.h"
#include "model/problem.h"

namespace vnt::chk {

// Replaces the order.  A null priority array gives the listed columns
// decreasing priorities in list order; a null direction array the default
// direction.  A column listed twice keeps its last entry.
int copyorder(Env& env, model::Problem& lp, int cnt, const int* indices, const int* priority, const int* direction) {
  if (int st = model::ops::refuseFixed(lp)) return st;
  if (!model::isMipType(lp.probtype)) return 3003;
  if (cnt < 0) return 1003;
  if (cnt > 0 && !indices) return 1004;
  if (int st = model::flushCache(env, lp)) return st;
  const int n = lp.data->numCols();
  for (int k = 0; k < cnt; ++k) {
    if (indices[k] < 0 || indices[k] >= n) return 1201;
    if (priority && priority[k] < 0) return 1003;
    if (direction && (direction[k] < -1 || direction[k] > 1)) return 1003;
  }
  std::vector<model::OrderEntry> order;
  std::vector<int> at(static_cast<size_t>(n), -1);
  for (int k = 0; k < cnt; ++k) {
    model::OrderEntry e;
    e.col = indices[k];
    e.priority = priority ? priority[k] : cnt - k;
    e.direction = direction ? direction[k] : 0;
    if (at[e.col] >= 0) {
      order[at[e.col]] = e;
    } else {
      at[e.col] = static_cast<int>(order.size());
      order.push_back(e);
    }
  }
  lp.data->order.swap(order);
  model::ops::countWork(env, cnt);
  return 0;
}

// Copies the order (in the order it was given).  Too small arrays: 1207 with
// the negative surplus, and as many entries as fit.
int getorder(Env& env, model::Problem& lp, int* cnt_p, int* indices, int* priority, int* direction, int ordspace,
             int* surplus_p) {
  if (!model::isMipType(lp.probtype)) return 3003;
  if (!cnt_p || !surplus_p) return 1004;
  *cnt_p = 0;
  *surplus_p = 0;
  const std::vector<model::OrderEntry>& order = lp.data->order;
  if (order.empty()) return 3016;
  const int total = static_cast<int>(order.size());
  const int fit = std::min(total, std::max(ordspace, 0));
  if (fit > 0 && !indices) return 1004;
  for (int k = 0; k < fit; ++k) {
    indices[k] = order[k].col;
    if (priority) priority[k] = order[k].priority;
    if (direction) direction[k] = order[k].direction;
  }
  *cnt_p = fit;
  *surplus_p = ordspace - total;
  model::ops::countWork(env, fit);
  return *surplus_p < 0 ? 1207 : 0;
}

}  // namespace vnt::chk
