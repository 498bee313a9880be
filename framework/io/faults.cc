// Fault injection switch (see faults.h).
#include "framework/io/faults.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>

namespace {
struct Armed {
  bool on = false;
  tsioStatus::Status status = tsioStatus::kSuccess;
  int skip = 0;   // calls to let through first
  int times = 0;  // calls to fail after that
};
std::mutex g_mu;
Armed g_armed[static_cast<int>(tsioOp::kCount)];
// Storage writes left before the environment's kill point (0: none armed).
long g_kill_left = 0;
long g_kill_at = 0;

bool IsWrite(tsioOp op) {
  return op == tsioOp::kInsert || op == tsioOp::kUpdate || op == tsioOp::kDelete || op == tsioOp::kHeaderWrite ||
         op == tsioOp::kCommit || op == tsioOp::kAttachmentsWrite;
}
}  // namespace

std::atomic<bool> tsioFaults::armed_{false};

bool tsioFaults::ArmKillPointFromEnvironment() {
#ifdef BK_TEST_HOOKS
  const char* env = std::getenv("BK_TEST_HOOK_KILL_AT_WRITE");
  if (env == nullptr || *env == '\0') return false;
  char* end = nullptr;
  const long n = std::strtol(env, &end, 10);
  if (*end != '\0' || n < 1) return false;
  std::lock_guard<std::mutex> g(g_mu);
  g_kill_at = g_kill_left = n;
  armed_.store(true);
  return true;
#else
  return false;
#endif
}

namespace {
[[maybe_unused]] const bool g_kill_point_armed = tsioFaults::ArmKillPointFromEnvironment();
}  // namespace

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
  armed_.store(g_kill_left > 0);
}

bool tsioFaults::HitSlow(tsioOp op, tsioStatus::Status* status) {
  std::lock_guard<std::mutex> g(g_mu);
  if (g_kill_left > 0 && IsWrite(op) && --g_kill_left == 0) {
    const std::string text = "bkreg test hook: BK_TEST_HOOK_KILL_AT_WRITE=" + std::to_string(g_kill_at) +
                             " reached, killing the program\n";
    (void)!::write(2, text.data(), text.size());
    ::raise(SIGKILL);
  }
  Armed& a = g_armed[static_cast<int>(op)];
  if (!a.on) return false;
  if (a.skip > 0) {
    --a.skip;
    return false;
  }
  *status = a.status;
  if (--a.times <= 0) {
    a.on = false;
    bool any = g_kill_left > 0;
    for (auto& x : g_armed) any = any || x.on;
    armed_.store(any);
  }
  return true;
}
