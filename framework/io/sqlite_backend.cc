// SQLite implementation of the storage backend.
#include <sqlite3.h>

#include <unordered_map>

#include "framework/io/backend.h"

namespace {

tsioStatus::Status MapSqlite(int rc) {
  switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return tsioStatus::kSuccess;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return tsioStatus::kBusy;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
      return tsioStatus::kDamaged;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return tsioStatus::kReadOnly;
    case SQLITE_CANTOPEN:
      return tsioStatus::kFileDoesNotExist;
    case SQLITE_FULL:
      return tsioStatus::kDiskFull;
    case SQLITE_NOMEM:
      return tsioStatus::kOutOfMemory;
    case SQLITE_CONSTRAINT:
      return tsioStatus::kDuplicateKey;
    case SQLITE_TOOBIG:
    case SQLITE_RANGE:
    case SQLITE_MISMATCH:
      return tsioStatus::kValueDoesNotFit;
    default:
      return tsioStatus::kIOError;
  }
}

class SqliteStatement final : public tsioBackendStatement {
 public:
  SqliteStatement(sqlite3* db, sqlite3_stmt* st) : db_(db), st_(st) {}
  ~SqliteStatement() override { sqlite3_finalize(st_); }
  void Bind(int index, const tsCell& v) override {
    if (v.is_text) {
      sqlite3_bind_text(st_, index, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_int64(st_, index, v.i);
    }
  }
  void BindInt(int index, int64_t v) override { sqlite3_bind_int64(st_, index, v); }
  short Step() override {
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return kRow;
    if (rc == SQLITE_DONE) return kDone;
    (void)db_;
    sqlite3_reset(st_);
    return MapSqlite(rc);
  }
  void Column(int col, bool text, tsCell& out) override {
    out.is_text = text;
    if (text) {
      const unsigned char* p = sqlite3_column_text(st_, col);
      int n = sqlite3_column_bytes(st_, col);
      out.s.assign(p ? reinterpret_cast<const char*>(p) : "", static_cast<size_t>(n));
    } else {
      out.i = sqlite3_column_int64(st_, col);
    }
  }
  int64_t ColumnInt(int col) override { return sqlite3_column_int64(st_, col); }
  void Reset() override { sqlite3_reset(st_); }

 private:
  sqlite3* db_;
  sqlite3_stmt* st_;
};

class SqliteConnection final : public tsioBackendConnection {
 public:
  explicit SqliteConnection(sqlite3* db) : db_(db) {}
  ~SqliteConnection() override {
    cache_.clear();
    sqlite3_close_v2(db_);
  }
  tsioStatus::Status Exec(std::string_view sql) override {
    std::string s(sql);
    int rc = sqlite3_exec(db_, s.c_str(), nullptr, nullptr, nullptr);
    return MapSqlite(rc);
  }
  tsioBackendStatement* Prepare(const std::string& sql, tsioStatus::Status* status) override {
    auto it = cache_.find(sql);
    if (it != cache_.end()) {
      *status = tsioStatus::kSuccess;
      return it->second.get();
    }
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &st,
                                nullptr);
    if (rc != SQLITE_OK) {
      sqlite3_finalize(st);
      *status = MapSqlite(rc);
      if (*status == tsioStatus::kSuccess || *status == tsioStatus::kDuplicateKey) *status = tsioStatus::kIOError;
      return nullptr;
    }
    *status = tsioStatus::kSuccess;
    auto stmt = std::make_unique<SqliteStatement>(db_, st);
    auto* raw = stmt.get();
    cache_.emplace(sql, std::move(stmt));
    return raw;
  }
  int Changes() override { return sqlite3_changes(db_); }
  bool InTransaction() override { return sqlite3_get_autocommit(db_) == 0; }
  std::string LastError() override { return sqlite3_errmsg(db_); }
  const char* ColumnType(bool text) const override { return text ? "TEXT" : "INTEGER"; }
  const char* KeyedTableOptions() const override { return " WITHOUT ROWID"; }
  tsioStatus::Status BeginWrite() override { return Exec("BEGIN IMMEDIATE"); }
  std::unique_ptr<tsioBackendLocks> OpenLocks(const std::string& lock_path, tsioStatus::Status* status) override {
    return tsioOpenLockFile(lock_path, status);
  }

 private:
  sqlite3* db_;
  std::unordered_map<std::string, std::unique_ptr<SqliteStatement>> cache_;
};

}  // namespace

std::unique_ptr<tsioBackendConnection> tsioOpenSqliteConnection(const std::string& path, bool create,
                                                                tsioStatus::Status* status) {
  sqlite3* db = nullptr;
  // Never through a symbolic link (see framework/base/private_file.h).
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    // A read-only folder or file: open read-only so reading still works.
    if (db) sqlite3_close_v2(db);
    db = nullptr;
    if (!create) {
      rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
                           nullptr);
    }
    if (rc != SQLITE_OK) {
      *status = MapSqlite(rc);
      if (db) sqlite3_close_v2(db);
      return nullptr;
    }
  }
  sqlite3_extended_result_codes(db, 0);
  sqlite3_busy_timeout(db, 5000);
  auto conn = std::make_unique<SqliteConnection>(db);
  // Check the file really is a database before anything else relies on it.
  tsioStatus::Status st = conn->Exec("PRAGMA schema_version");
  if (st == tsioStatus::kSuccess && !sqlite3_db_readonly(db, "main")) {
    st = conn->Exec("PRAGMA journal_mode=WAL");
    if (st == tsioStatus::kSuccess) st = conn->Exec("PRAGMA synchronous=FULL");
  }
  // A page cache of 16 MiB per connection keeps the inner pages of large
  // files in memory (those of a million transactions take a few MiB, and
  // every keyed fetch touches them, so a walk does not push them out), so
  // a keyed fetch in a million-record file costs about what it costs in a
  // small one, while a program stays small whatever it reads. (No memory
  // map: a file truncated or damaged under a map would crash the program
  // instead of failing a read.)
  if (st == tsioStatus::kSuccess || st == tsioStatus::kReadOnly) (void)conn->Exec("PRAGMA cache_size=-16384");
  // Nested units of work are savepoints; their undo images stay in memory
  // instead of a temporary file written for every savepoint.
  if (st == tsioStatus::kSuccess || st == tsioStatus::kReadOnly) (void)conn->Exec("PRAGMA temp_store=MEMORY");
  if (st != tsioStatus::kSuccess && st != tsioStatus::kReadOnly) {
    *status = st;
    return nullptr;
  }
  *status = tsioStatus::kSuccess;
  return conn;
}
