// The narrow storage backend every data file sits on: a connection that runs
// SQL statements (prepared once and reused) and transactions. SQLite is the
// embedded default (sqlite_backend.cc); nothing above this interface knows
// which engine answers.
//
// Statuses are tsioStatus values; the backend maps its engine's result codes
// onto them (busy -> kBusy, damaged -> kDamaged, constraint -> kDuplicateKey,
// read-only -> kReadOnly, full -> kDiskFull, ...).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "framework/io/io_status.h"
#include "framework/types/ts_data.h"

// One prepared statement. Bind parameters are 1-based; columns 0-based.
class tsioBackendStatement {
 public:
  virtual ~tsioBackendStatement() = default;
  virtual void Bind(int index, const tsCell& value) = 0;
  virtual void BindInt(int index, int64_t value) = 0;
  // Steps once: kRow when a row is available, kDone when finished, else a
  // failure status.
  enum StepResult : short { kRow = -1, kDone = -2 };
  virtual short Step() = 0;
  // Reads column `col` of the current row into `out` as text or integer.
  virtual void Column(int col, bool text, tsCell& out) = 0;
  virtual int64_t ColumnInt(int col) = 0;
  // Ends the statement's read so no read transaction stays open; bindings stay.
  virtual void Reset() = 0;
};

class tsioBackendConnection {
 public:
  virtual ~tsioBackendConnection() = default;
  // Runs SQL without results (DDL, BEGIN, SAVEPOINT ...).
  [[nodiscard]] virtual tsioStatus::Status Exec(std::string_view sql) = 0;
  // A statement prepared once per connection and cached by its text; the
  // connection owns it. nullptr (with `status` set) when the SQL cannot be
  // prepared (a damaged database, for instance).
  virtual tsioBackendStatement* Prepare(const std::string& sql, tsioStatus::Status* status) = 0;
  // Rows changed by the last write statement.
  virtual int Changes() = 0;
  // True while a transaction is open.
  virtual bool InTransaction() = 0;
  // The engine's last error text, for the log.
  virtual std::string LastError() = 0;
  // Copies the whole database, as one consistent state, into the new file
  // `path` (which must not exist; created owner-only, never through a
  // symbolic link). Writers of other connections are not stopped. Backends
  // that cannot answer kInvalidOperation.
  [[nodiscard]] virtual tsioStatus::Status BackupTo(const std::string& path) {
    (void)path;
    return tsioStatus::kInvalidOperation;
  }
};

// Opens (creating when `create`) the SQLite database at `path` in WAL mode
// with a busy timeout. Returns nullptr and sets `status` on failure.
std::unique_ptr<tsioBackendConnection> tsioOpenSqliteConnection(const std::string& path, bool create,
                                                                tsioStatus::Status* status);
