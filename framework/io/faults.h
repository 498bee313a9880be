// Fault injection for tests: make the next (or n-th) call of a named data
// operation answer a chosen status without running. Compiled in, off by
// default; when nothing is armed each check is one relaxed atomic load.
//
// Test hook (builds with BK_TEST_HOOKS: every build type but Release): when
// the environment holds BK_TEST_HOOK_KILL_AT_WRITE=N (N >= 1) as the program
// starts, the process's N-th storage write (a record insert, update or
// delete, a header write, an attachments write, a unit-of-work commit) does
// not run: the program writes "bkreg test hook: BK_TEST_HOOK_KILL_AT_WRITE=N
// reached, killing the program" to standard error and kills itself with
// SIGKILL, as a power cut or `kill -9` would stop it at that point. Crash
// tests use it to stop programs at chosen points. Release builds ignore the
// variable.
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
  // Disarms every armed fault (the environment's kill point stays).
  static void Clear();
  // Reads BK_TEST_HOOK_KILL_AT_WRITE (see above); done once as the library
  // loads. True when a kill point is armed.
  static bool ArmKillPointFromEnvironment();
  // Called by each operation: true (with `*status` set) when it must fail.
  static bool Hit(tsioOp op, tsioStatus::Status* status) {
    if (!armed_.load(std::memory_order_relaxed)) return false;
    return HitSlow(op, status);
  }

 private:
  static bool HitSlow(tsioOp op, tsioStatus::Status* status);
  static std::atomic<bool> armed_;
};
