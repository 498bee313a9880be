// Inter-process record locks of one data-file handle.
//
// Every handle has locks of its own: two handles, even in one process, lock
// independently, and every lock ends when its holder unlocks, closes the
// handle or dies. A record's lock is named by a 62-bit hash of (file code,
// instance, record type, key). Locks never wait (LockWait polls).
//
// Where the locks live is the storage backend's business (backend.h): on
// SQLite, one byte of the lock file beside the company database at the
// identity's offset, held with a Linux OFD lock (F_OFD_SETLK) of the handle's
// own open file description; on PostgreSQL, a session-level advisory lock
// keyed by the identity, held by the program's connection (so it ends with
// the connection), with the handles of one program told apart in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "framework/base/export.h"
#include "framework/io/backend.h"
#include "framework/io/io_status.h"

class TS_EXPORT tsioLockFile {
 public:
  tsioLockFile();
  ~tsioLockFile();
  tsioLockFile(const tsioLockFile&) = delete;
  tsioLockFile& operator=(const tsioLockFile&) = delete;

  // Opens (creating) the lock file. kLockUnavailable when it cannot be opened
  // for writing (a read-only folder); reading data still works then.
  [[nodiscard]] tsioStatus::Status Open(const std::string& path);
  // Opens the locks the company's backend keeps (`lock_path` is its lock
  // file when it uses one).
  [[nodiscard]] tsioStatus::Status Open(tsioBackendConnection& db, const std::string& lock_path);
  void Close();
  bool IsOpen() const { return impl_ != nullptr; }

  // Takes the lock at `id`: kSuccess (also when this handle holds it
  // already), kLocked when another handle holds it.
  [[nodiscard]] tsioStatus::Status Lock(uint64_t id);
  // Lock, then (only when it was taken) `then` stepped once into `*step`:
  // a record read again once it is ours, in one request to a server.
  [[nodiscard]] tsioStatus::Status LockThenStep(uint64_t id, tsioBackendStatement& then, short* step);
  // Queues the lock at `id` and the read `then` ahead of a LockThenStep
  // of the same (tsioBackendLocks::PrefetchLockThenStep); nothing when this
  // handle holds the lock already.
  void PrefetchLockThenStep(uint64_t id, tsioBackendStatement& then);
  // Releases the lock at `id` when this handle holds it.
  void Unlock(uint64_t id);
  void UnlockAll();
  bool Holds(uint64_t id) const { return held_.count(id) != 0; }
  // When this handle took the lock at `id` it holds (the Generation() its
  // taking made), 0 when it does not hold it: the same answer twice means
  // the lock was held all the time between (no other program could change
  // what it guards).
  uint64_t HeldSince(uint64_t id) const {
    auto it = held_.find(id);
    return it == held_.end() ? 0 : it->second;
  }
  // kLocked when another handle holds `id`, kSuccess when it is free or ours.
  [[nodiscard]] tsioStatus::Status TestOther(uint64_t id) const;
  // Like Lock, but retries for up to `wait_ms` while another handle holds it.
  [[nodiscard]] tsioStatus::Status LockWait(uint64_t id, int wait_ms);

  // Counts the locks taken in this process, by any handle: what a cursor
  // read ahead before a lock was taken is not served after it (what the
  // lock guards may have changed meanwhile).
  static uint64_t Generation();

  // The lock identity of a record (or a header: record_type < 0).
  static uint64_t Identity(std::string_view file_code, short instance, short record_type, std::string_view key);

 private:
  std::unique_ptr<tsioBackendLocks> impl_;
  std::unordered_map<uint64_t, uint64_t> held_;  // id -> the generation its taking made
};
