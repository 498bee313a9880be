// The narrow storage backend every data file sits on: a connection that runs
// SQL statements (prepared once and reused) and transactions, the few words
// of its SQL dialect that differ between engines, and record locks. SQLite
// is the embedded default (sqlite_backend.cc); PostgreSQL is the server
// backend (pg_backend.cc), chosen by a company "folder" given as a
// "postgresql://" connection address. Nothing above this interface knows
// which engine answers.
//
// SQL given to Prepare/Exec uses SQLite's parameter marks ("?" and "?N");
// a backend whose engine spells them otherwise translates them.
//
// Statuses are tsioStatus values; the backend maps its engine's result codes
// onto them (busy -> kBusy, damaged -> kDamaged, constraint -> kDuplicateKey,
// read-only -> kReadOnly, full -> kDiskFull, ...).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/export.h"
#include "framework/io/io_status.h"
#include "framework/types/ts_data.h"

class tsioBackendStatement;

// The record locks of one data-file handle (see lock_file.h for their
// contract). Locks never wait; they end when released, when the handle
// closes, or when the program dies.
class tsioBackendLocks {
 public:
  virtual ~tsioBackendLocks() = default;
  // kSuccess, kLocked (another handle holds it) or kLockUnavailable; on a
  // server, inside a unit that a write sent without waiting spoiled, that
  // write's own status (the lock was not asked).
  [[nodiscard]] virtual tsioStatus::Status Lock(uint64_t id) = 0;
  // Lock, then (only when it was taken) `then` stepped once, its answer in
  // `*step`: a record read again once it is ours. A server backend sends
  // both in one request; the statement's answer is then used only when the
  // lock was taken.
  [[nodiscard]] virtual tsioStatus::Status LockThenStep(uint64_t id, tsioBackendStatement& then, short* step);
  // Queues, on a server, in a writing unit: the lock at `id`, then the read
  // `then` (bound), and after them the reads the unit queues next (until the
  // next lock queued), all asked in the next request that sends the unit's
  // queued reads (tsioBackendConnection::PrefetchNow). When the lock is
  // taken this handle holds it (LockThenStep then answers from what was
  // read), and the reads asked after it answer the same reads once, later
  // in the unit, whatever this program writes meanwhile to other records,
  // for as long as the lock is held: the caller queues only reads of what
  // the lock guards. A lock never taken back by LockThenStep or Lock is
  // given back when the unit ends. Nothing elsewhere.
  virtual void PrefetchLockThenStep(uint64_t, tsioBackendStatement&) {}
  virtual void Unlock(uint64_t id) = 0;
  // kLocked when another handle holds `id`, kSuccess when it is free or ours.
  [[nodiscard]] virtual tsioStatus::Status TestOther(uint64_t id) = 0;
};

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

inline tsioStatus::Status tsioBackendLocks::LockThenStep(uint64_t id, tsioBackendStatement& then, short* step) {
  const tsioStatus::Status st = Lock(id);
  if (st == tsioStatus::kSuccess) *step = then.Step();
  return st;
}

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
  // Changes() for a caller that takes "none" as the record not found: a
  // backend that sent the write without waiting for its answer (below)
  // answers 1, and fails the unit with kNotFound when the answer shows
  // that nothing was changed.
  [[nodiscard]] virtual int ChangesOrNotFoundLater() { return Changes(); }
  // Says that the next write stepped must change a row (an update or delete
  // of one record by its key). A backend that sends that write without
  // waiting has the server refuse it when it changes none, so the unit's
  // COMMIT needs no earlier look at the write's answer; the caller still
  // asks ChangesOrNotFoundLater() after the step.
  virtual void NextWriteChangesOneRow() {}
  // All-or-nothing units (rollback_stack.h, tsioAllOrNothing): between
  // Begin and End (they nest) the caller treats any failure in the open
  // transaction as the whole unit's, and rolls it back. A server backend
  // then sends the transaction's inserts, updates and deletes without
  // waiting for their answers: a write that failed fails the next request
  // that waits (a read the server must answer, or the COMMIT) with its
  // status, and every later one until the transaction is rolled back. An
  // embedded database ignores it (its writes cost no round trip). Writes
  // whose caller acts on their status (a duplicate key taken to mean
  // "another program made it first") wait again between BeginWaitingWrites
  // and EndWaitingWrites. A write made outside a transaction between Begin
  // and End goes without waiting too: when it failed, the next transaction
  // begun fails with its status (what relied on it, a counter taken, is
  // never committed without it).
  virtual void BeginAllOrNothing() {}
  virtual void EndAllOrNothing() {}
  // Waits for the answers of the writes sent without waiting: the status
  // of the first that failed since the transaction began (kSuccess when
  // none did), for a caller that reports each part of an all-or-nothing
  // unit with its own failure.
  [[nodiscard]] virtual tsioStatus::Status AnswersNow() { return tsioStatus::kSuccess; }
  virtual void BeginWaitingWrites() {}
  virtual void EndWaitingWrites() {}
  // True while a transaction is open.
  virtual bool InTransaction() = 0;
  // The engine's last error text, for the log.
  virtual std::string LastError() = 0;

  // Dialect. The column type of a data column holding text (compared
  // byte-wise) or a 64-bit integer.
  virtual const char* ColumnType(bool text) const = 0;
  // Appended to CREATE TABLE of keyed tables.
  virtual const char* KeyedTableOptions() const = 0;
  // True when this process reads the table pages itself, through a page
  // cache of its own (an embedded database): a walk along an index in
  // another order than the table's then pays a page read per record, and
  // index-order scans read slice by slice (ordered_scan.h). A server reads
  // its pages itself, close to them; scans there walk the index.
  virtual bool ReadsPagesItself() const = 0;
  // Begins a transaction that will write (SQLite takes the database's write
  // lock here, waiting up to its busy timeout).
  [[nodiscard]] virtual tsioStatus::Status BeginWrite() = 0;
  // Begins a transaction that only reads, every read of which sees the one
  // committed state its first read found (a snapshot). Ended by COMMIT.
  [[nodiscard]] virtual tsioStatus::Status BeginRead() { return Exec("BEGIN"); }

  // Record locks for one data-file handle; `lock_path` is the company's lock
  // file for backends that lock through one. nullptr with `status` set when
  // locks cannot be had (a read-only folder); reading still works then.
  virtual std::unique_ptr<tsioBackendLocks> OpenLocks(const std::string& lock_path, tsioStatus::Status* status) = 0;

  // Copies the whole database, as one consistent state, into the new file
  // `path` (which must not exist; created owner-only, never through a
  // symbolic link). Writers of other connections are not stopped. Backends
  // that cannot answer kInvalidOperation.
  [[nodiscard]] virtual tsioStatus::Status BackupTo(const std::string& path) {
    (void)path;
    return tsioStatus::kInvalidOperation;
  }

  // Runs the engine's check of the whole database's structure (with
  // `quick`, a cheaper one that does not match indexes against their
  // tables), appending at most `limit` problems it finds to `*problems`.
  // kSuccess when the check ran, problems or not; else why it could not.
  [[nodiscard]] virtual tsioStatus::Status CheckIntegrity(int limit, bool quick,
                                                          std::vector<std::string>* problems) = 0;

  // Reads kept for a command (command_reads.h has the rules). A backend
  // whose reads cost no round trip keeps nothing: these do nothing there.
  // Begins and ends a command (they nest; the outermost end drops every
  // answer kept and every table named).
  virtual void BeginCommand() {}
  virtual void EndCommand() {}
  // Reads of `table` (its SQL name) are answered, until the command ends,
  // by the answer of the same read asked earlier in the command, outside a
  // transaction, since this program last wrote to the table.
  virtual void KeepForCommand(const std::string& table) { (void)table; }
  // Queues `q` (prepared and bound, not stepped) with its values as they
  // are now, to be asked by PrefetchNow; only a read of a table kept for
  // the command is queued.
  virtual void Prefetch(tsioBackendStatement& q) { (void)q; }
  // Asks every queued read in one request, outside a transaction, and keeps
  // the answers for the command (a read that fails is simply not kept: its
  // own step asks again and meets the failure itself).
  virtual void PrefetchNow() {}
};

// Whether a company "folder" names a PostgreSQL database
// ("postgresql://user@host[:port]/database" or "postgres://...").
TS_EXPORT bool tsioIsServerAddress(const std::string& folder);
// The address as a log line may show it: any password taken out.
TS_EXPORT std::string tsioAddressForLog(const std::string& folder);

// What this process asked of database servers: requests it waited for the
// answer of (one statement, or several sent together in one pipeline; a
// round trip each) and connections it opened (each a few round trips of its
// own, not counted in round_trips). An embedded database adds nothing.
// `aged` counts the round trips among them that asked again what an answer
// read ahead or kept would have answered, but for its age (100 ms, see
// cursor.h): how much a slow moment of the machine added, apart from what
// the program asks.
struct tsioRoundTripCount {
  uint64_t round_trips = 0;
  uint64_t connections = 0;
  uint64_t aged = 0;
};
TS_EXPORT tsioRoundTripCount tsioServerRoundTrips();
// Counts one request made again because what answered it had aged.
TS_EXPORT void tsioNoteAgedAnswer();

// How long a connection opened from now on waits for another program that
// keeps an embedded database busy (writing) before an operation answers
// kBusy: `milliseconds` (0 to 3,600,000), process-wide. The default is 5,000;
// a program that lets its user choose its waits sets it before it opens a
// company.
TS_EXPORT void tsioSetBusyTimeout(int milliseconds);

// Record locks on a lock file (Linux OFD locks, see lock_file.h).
std::unique_ptr<tsioBackendLocks> tsioOpenLockFile(const std::string& path, tsioStatus::Status* status);

// Opens (creating when `create`) the SQLite database at `path` in WAL mode
// with a busy timeout (tsioSetBusyTimeout). Returns nullptr and sets
// `status` on failure.
std::unique_ptr<tsioBackendConnection> tsioOpenSqliteConnection(const std::string& path, bool create,
                                                                tsioStatus::Status* status);

// Connects to the PostgreSQL database at `address` (a connection URI). With
// `create`, a missing database is created first (byte-wise text order,
// bytes stored as given). kFileDoesNotExist when the database does not
// exist, kIOError when the server cannot be reached. Returns nullptr and sets
// `status` on failure.
std::unique_ptr<tsioBackendConnection> tsioOpenPostgresConnection(const std::string& address, bool create,
                                                                  tsioStatus::Status* status);
