// Inter-process record locks on a lock file beside the company database.
//
// Each data-file handle opens the lock file itself, so its locks belong to
// its own open file description (Linux OFD locks, F_OFD_SETLK): two handles,
// even in one process, lock independently, and every lock ends when its
// holder unlocks, closes the handle or dies. A record is one byte of the
// file, at an offset derived from a 62-bit hash of (file code, instance,
// record type, key). Locks never wait.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "framework/base/export.h"
#include "framework/io/io_status.h"

class TS_EXPORT tsioLockFile {
 public:
  tsioLockFile() = default;
  ~tsioLockFile();
  tsioLockFile(const tsioLockFile&) = delete;
  tsioLockFile& operator=(const tsioLockFile&) = delete;

  // Opens (creating) the lock file. kLockUnavailable when it cannot be opened
  // for writing (a read-only folder); reading data still works then.
  [[nodiscard]] tsioStatus::Status Open(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Takes the lock at `id`: kSuccess (also when this handle holds it
  // already), kLocked when another handle holds it.
  [[nodiscard]] tsioStatus::Status Lock(uint64_t id);
  // Releases the lock at `id` when this handle holds it.
  void Unlock(uint64_t id);
  void UnlockAll();
  bool Holds(uint64_t id) const { return held_.count(id) != 0; }
  // kLocked when another handle holds `id`, kSuccess when it is free or ours.
  [[nodiscard]] tsioStatus::Status TestOther(uint64_t id) const;
  // Like Lock, but retries for up to `wait_ms` while another handle holds it.
  [[nodiscard]] tsioStatus::Status LockWait(uint64_t id, int wait_ms);

  // The lock identity of a record (or a header: record_type < 0).
  static uint64_t Identity(std::string_view file_code, short instance, short record_type, std::string_view key);

 private:
  int fd_ = -1;
  std::unordered_set<uint64_t> held_;
};
