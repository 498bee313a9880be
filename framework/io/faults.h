// Fault injection for tests: make the next (or n-th) call of a named data
// operation answer a chosen status without running. Compiled in, off by
// default; when nothing is armed each check is one relaxed atomic load.
#pragma once

#include <atomic>

#include "framework/base/export.h"
#include "framework/io/io_status.h"

enum class tsioOp : int {
  kFetch, kInsert, kUpdate, kDelete, kLock, kHeaderRead, kHeaderWrite, kCommit,
  kOpen, kAttachmentsRead, kAttachmentsWrite, kCount
};

class TS_EXPORT tsioFaults {
 public:
  // The `nth` next call of `op` (1 = the very next) and the `times - 1`
  // calls after it answer `status` without running.
  static void Arm(tsioOp op, tsioStatus::Status status, int nth = 1, int times = 1);
  static void Clear();
  // Called by each operation: true (with `*status` set) when it must fail.
  static bool Hit(tsioOp op, tsioStatus::Status* status) {
    if (!armed_.load(std::memory_order_relaxed)) return false;
    return HitSlow(op, status);
  }

 private:
  static bool HitSlow(tsioOp op, tsioStatus::Status* status);
  static std::atomic<bool> armed_;
};
