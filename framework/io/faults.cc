// Fault injection switch (see faults.h).
#include "framework/io/faults.h"

#include <mutex>

namespace {
struct Armed {
  bool on = false;
  tsioStatus::Status status = tsioStatus::kSuccess;
  int skip = 0;   // calls to let through first
  int times = 0;  // calls to fail after that
};
std::mutex g_mu;
Armed g_armed[static_cast<int>(tsioOp::kCount)];
}  // namespace

std::atomic<bool> tsioFaults::armed_{false};

void tsioFaults::Arm(tsioOp op, tsioStatus::Status status, int nth, int times) {
  std::lock_guard<std::mutex> g(g_mu);
  Armed& a = g_armed[static_cast<int>(op)];
  a.on = true;
  a.status = status;
  a.skip = nth > 1 ? nth - 1 : 0;
  a.times = times > 0 ? times : 1;
  armed_.store(true);
}

void tsioFaults::Clear() {
  std::lock_guard<std::mutex> g(g_mu);
  for (auto& a : g_armed) a = Armed{};
  armed_.store(false);
}

bool tsioFaults::HitSlow(tsioOp op, tsioStatus::Status* status) {
  std::lock_guard<std::mutex> g(g_mu);
  Armed& a = g_armed[static_cast<int>(op)];
  if (!a.on) return false;
  if (a.skip > 0) {
    --a.skip;
    return false;
  }
  *status = a.status;
  if (--a.times <= 0) {
    a.on = false;
    bool any = false;
    for (auto& x : g_armed) any = any || x.on;
    armed_.store(any);
  }
  return true;
}
