// Scoped timer for the solve profile (LpOptions::profile): adds the time of a
// scope to one LpProfile entry, and costs one branch when profiling is off.
#pragma once

#include <chrono>

namespace vnt::simplex {

class ProfileScope {
 public:
  ProfileScope(bool on, double& acc) : acc_(on ? &acc : nullptr) {
    if (acc_) t0_ = Clock::now();
  }
  ~ProfileScope() { stop(); }
  ProfileScope(const ProfileScope&) = delete;
  ProfileScope& operator=(const ProfileScope&) = delete;
  void stop() {
    if (!acc_) return;
    *acc_ += std::chrono::duration<double>(Clock::now() - t0_).count();
    acc_ = nullptr;
  }

 private:
  using Clock = std::chrono::steady_clock;
  double* acc_;
  Clock::time_point t0_;
};

}  // namespace vnt::simplex
