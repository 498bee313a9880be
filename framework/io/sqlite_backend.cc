// SQLite implementation of the storage backend.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include <unordered_map>

#include "framework/base/private_file.h"
#include "framework/io/backend.h"
#include "framework/base/log.h"

namespace {

std::atomic<int> g_busy_timeout_ms{5000};

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
  bool ReadsPagesItself() const override { return true; }
  tsioStatus::Status BeginWrite() override { return Exec("BEGIN IMMEDIATE"); }
  std::unique_ptr<tsioBackendLocks> OpenLocks(const std::string& lock_path, tsioStatus::Status* status) override {
    return tsioOpenLockFile(lock_path, status);
  }
  tsioStatus::Status BackupTo(const std::string& path) override {
    // Made here first, so the copy is the owner's only and a link planted at
    // `path` is refused rather than followed.
    const int fd = tsOpenPrivateFile(path, O_WRONLY | O_CREAT | O_EXCL);
    if (fd < 0) return errno == EEXIST ? tsioStatus::kDuplicateKey : tsioStatus::kIOError;
    close(fd);
    sqlite3* dest = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &dest, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (rc == SQLITE_OK) {
      // One step copies every page under one read transaction: the copy is
      // the database as one commit left it, whatever others write meanwhile.
      sqlite3_backup* b = sqlite3_backup_init(dest, "main", db_, "main");
      if (b == nullptr) {
        rc = sqlite3_errcode(dest);
      } else {
        do {
          rc = sqlite3_backup_step(b, -1);
          if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) sqlite3_sleep(20);
        } while (rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
        const int fin = sqlite3_backup_finish(b);
        if (rc == SQLITE_DONE) rc = fin;
      }
    }
    // A self-contained file: no write-ahead log beside it.
    if (rc == SQLITE_OK) rc = sqlite3_exec(dest, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    if (dest) sqlite3_close_v2(dest);
    if (rc != SQLITE_OK) {
      unlink(path.c_str());
      const tsioStatus::Status st = MapSqlite(rc);
      return st == tsioStatus::kSuccess ? tsioStatus::kIOError : st;
    }
    return tsioStatus::kSuccess;
  }
  tsioStatus::Status CheckIntegrity(int limit, bool quick, std::vector<std::string>* problems) override {
    tsioStatus::Status st = tsioStatus::kSuccess;
    tsioBackendStatement* q = Prepare(
        std::string(quick ? "PRAGMA quick_check(" : "PRAGMA integrity_check(") + std::to_string(limit) + ")", &st);
    if (q == nullptr) return st;
    tsCell cell;
    short step;
    while ((step = q->Step()) == tsioBackendStatement::kRow) {
      q->Column(0, true, cell);
      if (cell.s != "ok") problems->push_back(cell.s);
    }
    q->Reset();
    return step == tsioBackendStatement::kDone ? tsioStatus::kSuccess : static_cast<tsioStatus::Status>(step);
  }

 private:
  sqlite3* db_;
  std::unordered_map<std::string, std::unique_ptr<SqliteStatement>> cache_;
};

}  // namespace

void tsioSetBusyTimeout(int milliseconds) {
  g_busy_timeout_ms.store(std::clamp(milliseconds, 0, 3600000), std::memory_order_relaxed);
}

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
  sqlite3_busy_timeout(db, g_busy_timeout_ms.load(std::memory_order_relaxed));
  auto conn = std::make_unique<SqliteConnection>(db);
  // Check the file really is a database before anything else relies on it.
  tsioStatus::Status st = conn->Exec("PRAGMA schema_version");
  if (st != tsioStatus::kSuccess && !create && sqlite3_db_readonly(db, "main") == 1 &&
      sqlite3_errcode(db) == SQLITE_CANTOPEN) {
    // A database in WAL mode in a folder this program cannot write: SQLite
    // must create the shared-memory file to read it. With no write-ahead
    // log beside it, every committed change is in the database file and no
    // program is writing it (a writer always has a log), so it is read as
    // it stands (immutable): a snapshot as of the open. With a log, the
    // changes it holds cannot be read without that file: refused, saying so.
    struct stat wal;
    if (stat((path + "-wal").c_str(), &wal) == 0 && wal.st_size > 0) {
      x_log(0, "cannot read " + path + " from a folder this program cannot write: its write-ahead log " + path +
                   "-wal holds changes that SQLite reads only through " + path +
                   "-shm, which cannot be created; open the company once with write access to the folder");
      *status = tsioStatus::kReadOnly;
      return nullptr;
    }
    conn.reset();
    std::string uri = "file:";
    for (char c : path) {
      if (c == '%' || c == '?' || c == '#') {
        static const char* hex = "0123456789ABCDEF";
        uri += '%';
        uri += hex[static_cast<unsigned char>(c) >> 4];
        uri += hex[c & 15];
      } else {
        uri += c;
      }
    }
    uri += "?immutable=1";
    db = nullptr;
    rc = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_URI,
                         nullptr);
    if (rc != SQLITE_OK) {
      *status = MapSqlite(rc);
      if (db) sqlite3_close_v2(db);
      return nullptr;
    }
    sqlite3_extended_result_codes(db, 0);
    conn = std::make_unique<SqliteConnection>(db);
    st = conn->Exec("PRAGMA schema_version");
    if (st == tsioStatus::kSuccess) {
      x_log(1, "reading " + path + " as it stands: its folder cannot be written (no locks, no changes)");
    }
  }
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
