// tsioHeader: a header record of a data file (counters, settings), read and
// written with fields attached by column name.
//
// Get(true) locks the header for this handle before reading; when another
// program holds it, Get waits a short, bounded time (kHeaderLockWaitMs) and
// then answers 9. The lock is released by Update (or Unlock, or the header's
// destruction); an Update made inside a unit of work keeps the lock until
// the unit ends, so no other program can read a value that the unit may
// still roll back.
#pragma once

#include <string>
#include <vector>

#include "framework/base/export.h"
#include "framework/io/data_file.h"
#include "framework/io/io_status.h"

class TS_EXPORT tsioHeader {
 public:
  static constexpr int kHeaderLockWaitMs = 3000;

  tsioHeader(const tsioDataFile& file, short number);
  virtual ~tsioHeader();
  tsioHeader(const tsioHeader&) = delete;
  tsioHeader& operator=(const tsioHeader&) = delete;

  // Attaches a field to a header column; kNotFound when the header has no
  // such column (the field is then neither read nor written).
  tsioStatus::Status AttachColumn(const std::string& name, tsData& field);
  [[nodiscard]] tsioStatus::Status Get(bool lock);
  // Queues, on a server, the read Get(false) asks, to be asked together
  // with the command's other queued reads (command_reads.h).
  void Prefetch() const;
  [[nodiscard]] tsioStatus::Status Update();
  void Unlock();
  bool HoldsLock() const;
  const tsioDataFile& File() const { return *file_; }
  short Number() const { return number_; }

 private:
  // The read of the whole header row, its number the one parameter.
  std::string SelectSql() const;
  struct Attached {
    int col;
    tsData* field;
  };
  const tsioDataFile* file_;
  short number_;
  const tsioHeaderDef* def_ = nullptr;
  std::vector<Attached> attached_;
  uint64_t lock_id_ = 0;
  bool locked_ = false;
};
