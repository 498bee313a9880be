// tsioReadSnapshot: a span of reads that all see one committed state of the
// company, whatever other programs commit meanwhile.
//
// A computation that combines several reads (a balance from the current
// file, the history and the bank account's record; a register's sum and
// its rows) would otherwise mix states when another program commits between
// them (a posting moving a transaction from one file to the other would be
// counted twice or not at all). While the snapshot lives, every read on the
// company sees what was committed at its first read (SQLite: a read
// transaction; a server: a repeatable-read, read-only transaction). Writes
// are not allowed inside it.
//
// Inside a unit of work, or another transaction, it does nothing: the
// enclosing transaction decides what is seen. It ends with the object.
#pragma once

#include "framework/base/export.h"
#include "framework/io/company.h"
#include "framework/io/io_status.h"

class TS_EXPORT tsioReadSnapshot {
 public:
  explicit tsioReadSnapshot(tsioCompany& company) : company_(company) {
    status_ = company_.BeginReadSnapshot(&begun_);
  }
  ~tsioReadSnapshot() {
    if (begun_) company_.EndReadSnapshot();
  }
  tsioReadSnapshot(const tsioReadSnapshot&) = delete;
  tsioReadSnapshot& operator=(const tsioReadSnapshot&) = delete;

  // kSuccess, or why the snapshot could not be begun.
  tsioStatus::Status Status() const { return status_; }

 private:
  tsioCompany& company_;
  bool begun_ = false;
  tsioStatus::Status status_ = tsioStatus::kSuccess;
};
