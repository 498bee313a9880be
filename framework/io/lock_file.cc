// Record locks of a handle, and the OFD lock file SQLite companies use (see
// lock_file.h).
#include "framework/io/lock_file.h"

#include <errno.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "framework/base/private_file.h"

namespace {

bool SetLock(int fd, uint64_t id, short type, int cmd) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(id);
  fl.l_len = 1;
  fl.l_pid = 0;
  return fcntl(fd, cmd, &fl) == 0;
}

// One byte per identity of the lock file, locked through this object's own
// open file description; closing it releases every lock it holds.
class OfdLocks final : public tsioBackendLocks {
 public:
  explicit OfdLocks(int fd) : fd_(fd) {}
  ~OfdLocks() override { close(fd_); }
  tsioStatus::Status Lock(uint64_t id) override {
    if (SetLock(fd_, id, F_WRLCK, F_OFD_SETLK)) return tsioStatus::kSuccess;
    return errno == EAGAIN || errno == EACCES ? tsioStatus::kLocked : tsioStatus::kLockUnavailable;
  }
  void Unlock(uint64_t id) override { SetLock(fd_, id, F_UNLCK, F_OFD_SETLK); }
  tsioStatus::Status TestOther(uint64_t id) override {
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(id);
    fl.l_len = 1;
    if (fcntl(fd_, F_OFD_GETLK, &fl) != 0) return tsioStatus::kLockUnavailable;
    return fl.l_type == F_UNLCK ? tsioStatus::kSuccess : tsioStatus::kLocked;
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<tsioBackendLocks> tsioOpenLockFile(const std::string& path, tsioStatus::Status* status) {
  int fd = tsOpenPrivateFile(path, O_RDWR | O_CREAT);
  if (fd < 0) {
    *status = tsioStatus::kLockUnavailable;
    return nullptr;
  }
  *status = tsioStatus::kSuccess;
  return std::make_unique<OfdLocks>(fd);
}

tsioLockFile::tsioLockFile() = default;
tsioLockFile::~tsioLockFile() { Close(); }

tsioStatus::Status tsioLockFile::Open(const std::string& path) {
  Close();
  tsioStatus::Status st;
  impl_ = tsioOpenLockFile(path, &st);
  return st;
}

tsioStatus::Status tsioLockFile::Open(tsioBackendConnection& db, const std::string& lock_path) {
  Close();
  tsioStatus::Status st;
  impl_ = db.OpenLocks(lock_path, &st);
  return st;
}

void tsioLockFile::Close() {
  impl_.reset();  // releases every lock of this handle
  held_.clear();
}

namespace {
std::atomic<uint64_t> g_lock_generation{1};
}  // namespace

uint64_t tsioLockFile::Generation() { return g_lock_generation.load(std::memory_order_relaxed); }

tsioStatus::Status tsioLockFile::Lock(uint64_t id) {
  if (!impl_) return tsioStatus::kLockUnavailable;
  if (held_.count(id)) return tsioStatus::kSuccess;
  tsioStatus::Status st = impl_->Lock(id);
  if (st == tsioStatus::kSuccess) held_.emplace(id, g_lock_generation.fetch_add(1, std::memory_order_relaxed) + 1);
  return st;
}

tsioStatus::Status tsioLockFile::LockThenStep(uint64_t id, tsioBackendStatement& then, short* step) {
  if (!impl_) return tsioStatus::kLockUnavailable;
  if (held_.count(id)) {
    *step = then.Step();
    return tsioStatus::kSuccess;
  }
  tsioStatus::Status st = impl_->LockThenStep(id, then, step);
  if (st == tsioStatus::kSuccess) held_.emplace(id, g_lock_generation.fetch_add(1, std::memory_order_relaxed) + 1);
  return st;
}

void tsioLockFile::PrefetchLockThenStep(uint64_t id, tsioBackendStatement& then) {
  if (impl_ && !held_.count(id)) impl_->PrefetchLockThenStep(id, then);
}

tsioStatus::Status tsioLockFile::LockWait(uint64_t id, int wait_ms) {
  const int step_us = 2000;
  for (int waited = 0;; waited += step_us / 1000) {
    tsioStatus::Status st = Lock(id);
    if (st != tsioStatus::kLocked || waited >= wait_ms) return st;
    struct timespec ts = {0, step_us * 1000L};
    nanosleep(&ts, nullptr);
  }
}

void tsioLockFile::Unlock(uint64_t id) {
  if (!impl_ || !held_.count(id)) return;
  impl_->Unlock(id);
  held_.erase(id);
}

void tsioLockFile::UnlockAll() {
  if (!impl_) return;
  for (const auto& held : held_) impl_->Unlock(held.first);
  held_.clear();
}

tsioStatus::Status tsioLockFile::TestOther(uint64_t id) const {
  if (!impl_) return tsioStatus::kLockUnavailable;
  return impl_->TestOther(id);
}

uint64_t tsioLockFile::Identity(std::string_view file_code, short instance, short record_type, std::string_view key) {
  uint64_t h = 1469598103934665603ULL;  // FNV-1a
  auto mix = [&h](const void* p, size_t n) {
    const unsigned char* c = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i) {
      h ^= c[i];
      h *= 1099511628211ULL;
    }
  };
  mix(file_code.data(), file_code.size());
  mix("\x1f", 1);
  mix(&instance, sizeof instance);
  mix(&record_type, sizeof record_type);
  mix(key.data(), key.size());
  // Keep the offset positive for off_t and away from 0.
  return (h >> 2) | 1;
}
