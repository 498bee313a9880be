// PostgreSQL implementation of the storage backend (see backend.h), over
// libpq.
//
// - Statements are prepared once per connection (named "s<N>") and run with
//   text parameters; the "?"/"?N" marks of the SQL given are rewritten as
//   "$N". A statement's rows are fetched whole on its first Step (the
//   cursors ask for at most one read-ahead batch at a time).
// - A failed statement inside a transaction would leave the whole
//   transaction unusable on this engine; a write inside a transaction
//   therefore runs under a savepoint of its own, so a refused insert (a
//   duplicate key) fails alone and the unit of work goes on, as on SQLite.
// - Record locks are session-level advisory locks keyed by the record's
//   identity: they outlive transactions and end with the connection, so a
//   program that dies loses them. The connection is the program's, shared by
//   its handles; which handle holds a lock is kept here.
// - Waits for another program's row locks give up after 5 s (kBusy), like
//   SQLite's busy timeout.
#include <libpq-fe.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "framework/io/backend.h"

namespace {

tsioStatus::Status MapSqlState(const char* state) {
  if (!state || std::strlen(state) != 5) return tsioStatus::kIOError;
  std::string_view s(state);
  if (s.substr(0, 2) == "23") return tsioStatus::kDuplicateKey;  // constraint refused the row
  if (s == "40001" || s == "40P01" || s == "55P03" || s == "57014") return tsioStatus::kBusy;
  if (s == "53100") return tsioStatus::kDiskFull;
  if (s == "53200") return tsioStatus::kOutOfMemory;
  if (s == "25006" || s == "42501") return tsioStatus::kReadOnly;
  if (s == "22001" || s == "22003" || s == "22P02" || s == "22021" || s == "54000") return tsioStatus::kValueDoesNotFit;
  if (s == "3D000") return tsioStatus::kFileDoesNotExist;
  if (s == "XX001" || s == "XX002") return tsioStatus::kDamaged;
  return tsioStatus::kIOError;
}

// "?" and "?N" parameter marks as "$N", outside quoted text and names.
std::string Translate(const std::string& sql, int* params) {
  std::string out;
  out.reserve(sql.size() + 16);
  int next = 0, most = 0;
  char quote = 0;
  for (size_t i = 0; i < sql.size(); ++i) {
    char c = sql[i];
    if (quote) {
      out += c;
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
      out += c;
      continue;
    }
    if (c != '?') {
      out += c;
      continue;
    }
    size_t j = i + 1;
    int n = 0;
    while (j < sql.size() && sql[j] >= '0' && sql[j] <= '9') n = n * 10 + (sql[j++] - '0');
    if (j == i + 1) n = ++next;
    out += "$" + std::to_string(n);
    most = std::max(most, n);
    i = j - 1;
  }
  *params = most;
  return out;
}

bool IsWrite(const std::string& sql) {
  size_t i = sql.find_first_not_of(" \t\n");
  if (i == std::string::npos) return false;
  auto starts = [&](const char* w) { return strncasecmp(sql.c_str() + i, w, std::strlen(w)) == 0; };
  return starts("INSERT") || starts("UPDATE") || starts("DELETE");
}

class PgConnection;

class PgStatement final : public tsioBackendStatement {
 public:
  PgStatement(PgConnection* conn, std::string name, int params, bool write)
      : conn_(conn), name_(std::move(name)), values_(static_cast<size_t>(params)),
        ptrs_(static_cast<size_t>(params)), write_(write) {}
  ~PgStatement() override { Reset(); }
  void Bind(int index, const tsCell& v) override {
    if (v.is_text) {
      Slot(index) = v.s;
    } else {
      BindInt(index, v.i);
    }
  }
  void BindInt(int index, int64_t v) override {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    Slot(index).assign(buf, r.ptr);
  }
  short Step() override;
  void Column(int col, bool text, tsCell& out) override {
    out.is_text = text;
    const char* p = PQgetvalue(res_, row_, col);
    if (text) {
      out.s.assign(p, static_cast<size_t>(PQgetlength(res_, row_, col)));
    } else {
      out.i = std::strtoll(p, nullptr, 10);
    }
  }
  int64_t ColumnInt(int col) override {
    const char* p = PQgetvalue(res_, row_, col);
    if (*p == 't') return 1;  // a boolean answer
    if (*p == 'f') return 0;
    return std::strtoll(p, nullptr, 10);
  }
  void Reset() override {
    if (res_) PQclear(res_);
    res_ = nullptr;
    row_ = -1;
    rows_ = 0;
  }

 private:
  std::string& Slot(int index) {
    static std::string none;
    size_t i = static_cast<size_t>(index - 1);
    return i < values_.size() ? values_[i] : none;
  }
  PgConnection* conn_;
  std::string name_;
  std::vector<std::string> values_;
  std::vector<const char*> ptrs_;
  bool write_;
  PGresult* res_ = nullptr;
  int row_ = -1;
  int rows_ = 0;
};

class PgLocks;

class PgConnection final : public tsioBackendConnection {
 public:
  explicit PgConnection(PGconn* conn) : conn_(conn) {}
  ~PgConnection() override {
    cache_.clear();
    PQfinish(conn_);  // ends every advisory lock of this program
  }
  PGconn* raw() { return conn_; }

  tsioStatus::Status Exec(std::string_view sql) override {
    std::string s(sql);
    PGresult* r = PQexec(conn_, s.c_str());
    tsioStatus::Status st = Check(r);
    PQclear(r);
    return st;
  }

  tsioBackendStatement* Prepare(const std::string& sql, tsioStatus::Status* status) override {
    auto it = cache_.find(sql);
    if (it != cache_.end()) {
      *status = tsioStatus::kSuccess;
      return it->second.get();
    }
    int params = 0;
    std::string text = Translate(sql, &params);
    std::string name = "s" + std::to_string(++statements_);
    PGresult* r = PQprepare(conn_, name.c_str(), text.c_str(), 0, nullptr);
    *status = Check(r);
    PQclear(r);
    if (*status != tsioStatus::kSuccess) {
      if (*status == tsioStatus::kDuplicateKey) *status = tsioStatus::kIOError;
      return nullptr;
    }
    auto stmt = std::make_unique<PgStatement>(this, std::move(name), params, IsWrite(sql));
    auto* raw = stmt.get();
    cache_.emplace(sql, std::move(stmt));
    return raw;
  }

  int Changes() override { return changes_; }
  bool InTransaction() override {
    PGTransactionStatusType t = PQtransactionStatus(conn_);
    return t == PQTRANS_INTRANS || t == PQTRANS_INERROR || t == PQTRANS_ACTIVE;
  }
  std::string LastError() override {
    return last_error_.empty() ? std::string(PQerrorMessage(conn_)) : last_error_;
  }
  const char* ColumnType(bool text) const override { return text ? "TEXT COLLATE \"C\"" : "BIGINT"; }
  const char* KeyedTableOptions() const override { return ""; }
  tsioStatus::Status BeginWrite() override { return Exec("BEGIN"); }
  std::unique_ptr<tsioBackendLocks> OpenLocks(const std::string&, tsioStatus::Status* status) override;

  // Runs prepared statement `name`; the caller owns the result. A write in
  // a transaction runs under a savepoint of its own.
  PGresult* Run(const std::string& name, int n, const char* const* values, bool write, tsioStatus::Status* st) {
    const bool guard = write && InTransaction();
    if (guard && (*st = Exec("SAVEPOINT tsio_stmt")) != tsioStatus::kSuccess) return nullptr;
    PGresult* r = PQexecPrepared(conn_, name.c_str(), n, values, nullptr, nullptr, 0);
    *st = Check(r);
    if (*st == tsioStatus::kSuccess) {
      if (write) changes_ = std::atoi(PQcmdTuples(r));
      if (guard) *st = Exec("RELEASE SAVEPOINT tsio_stmt");
    } else if (guard) {
      std::string error = last_error_;
      (void)Exec("ROLLBACK TO SAVEPOINT tsio_stmt; RELEASE SAVEPOINT tsio_stmt");
      last_error_ = error;
    }
    if (*st != tsioStatus::kSuccess) {
      PQclear(r);
      return nullptr;
    }
    return r;
  }

  // Advisory locks, with the handle (`owner`) that holds each.
  tsioStatus::Status Lock(const void* owner, uint64_t id) {
    auto it = owners_.find(id);
    if (it != owners_.end()) return it->second == owner ? tsioStatus::kSuccess : tsioStatus::kLocked;
    int64_t answer = 0;
    if (!Ask("SELECT pg_try_advisory_lock(?)", id, &answer)) return tsioStatus::kLockUnavailable;
    if (!answer) return tsioStatus::kLocked;
    owners_.emplace(id, owner);
    return tsioStatus::kSuccess;
  }
  void Unlock(const void* owner, uint64_t id) {
    auto it = owners_.find(id);
    if (it == owners_.end() || it->second != owner) return;
    owners_.erase(it);
    int64_t answer = 0;
    (void)Ask("SELECT pg_advisory_unlock(?)", id, &answer);
  }
  tsioStatus::Status TestOther(const void* owner, uint64_t id) {
    auto it = owners_.find(id);
    if (it != owners_.end()) return it->second == owner ? tsioStatus::kSuccess : tsioStatus::kLocked;
    // Free when it can be taken (and is given back at once).
    int64_t answer = 0;
    if (!Ask("SELECT CASE WHEN pg_try_advisory_lock(?1) THEN pg_advisory_unlock(?1) ELSE false END", id, &answer)) {
      return tsioStatus::kLockUnavailable;
    }
    return answer ? tsioStatus::kSuccess : tsioStatus::kLocked;
  }
  void UnlockAll(const void* owner) {
    std::vector<uint64_t> mine;
    for (const auto& [id, o] : owners_) {
      if (o == owner) mine.push_back(id);
    }
    for (uint64_t id : mine) Unlock(owner, id);
  }

 private:
  tsioStatus::Status Check(PGresult* r) {
    ExecStatusType t = PQresultStatus(r);
    if (r && (t == PGRES_COMMAND_OK || t == PGRES_TUPLES_OK || t == PGRES_EMPTY_QUERY)) return tsioStatus::kSuccess;
    last_error_ = r ? PQresultErrorMessage(r) : PQerrorMessage(conn_);
    while (!last_error_.empty() && last_error_.back() == '\n') last_error_.pop_back();
    if (PQstatus(conn_) != CONNECTION_OK) return tsioStatus::kIOError;
    return MapSqlState(r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr);
  }
  bool Ask(const char* sql, uint64_t id, int64_t* answer) {
    tsioStatus::Status st;
    tsioBackendStatement* q = Prepare(sql, &st);
    if (!q) return false;
    q->BindInt(1, static_cast<int64_t>(id));
    bool ok = q->Step() == tsioBackendStatement::kRow;
    if (ok) *answer = q->ColumnInt(0);
    q->Reset();
    return ok;
  }

  PGconn* conn_;
  std::unordered_map<std::string, std::unique_ptr<PgStatement>> cache_;
  int statements_ = 0;
  int changes_ = 0;
  std::string last_error_;
  std::unordered_map<uint64_t, const void*> owners_;
};

short PgStatement::Step() {
  if (!res_) {
    for (size_t i = 0; i < values_.size(); ++i) ptrs_[i] = values_[i].c_str();
    tsioStatus::Status st;
    res_ = conn_->Run(name_, static_cast<int>(values_.size()), ptrs_.data(), write_, &st);
    if (!res_) return static_cast<short>(st);
    rows_ = PQntuples(res_);
    row_ = -1;
  }
  if (row_ + 1 < rows_) {
    ++row_;
    return kRow;
  }
  return kDone;
}

class PgLocks final : public tsioBackendLocks {
 public:
  explicit PgLocks(PgConnection* conn) : conn_(conn) {}
  ~PgLocks() override { conn_->UnlockAll(this); }
  tsioStatus::Status Lock(uint64_t id) override { return conn_->Lock(this, id); }
  void Unlock(uint64_t id) override { conn_->Unlock(this, id); }
  tsioStatus::Status TestOther(uint64_t id) override { return conn_->TestOther(this, id); }

 private:
  PgConnection* conn_;
};

std::unique_ptr<tsioBackendLocks> PgConnection::OpenLocks(const std::string&, tsioStatus::Status* status) {
  *status = tsioStatus::kSuccess;
  return std::make_unique<PgLocks>(this);
}

void IgnoreNotice(void*, const char*) {}

// Connects with the address's settings, the database name replaced by
// `dbname` when given.
PGconn* Connect(const std::string& address, const char* dbname) {
  char* error = nullptr;
  PQconninfoOption* opts = PQconninfoParse(address.c_str(), &error);
  if (!opts) {
    PQfreemem(error);
    return nullptr;
  }
  std::vector<const char*> keys, values;
  bool timeout = false;
  for (PQconninfoOption* o = opts; o->keyword; ++o) {
    if (!o->val) continue;
    if (dbname && std::strcmp(o->keyword, "dbname") == 0) continue;
    timeout = timeout || std::strcmp(o->keyword, "connect_timeout") == 0;
    keys.push_back(o->keyword);
    values.push_back(o->val);
  }
  if (!timeout) {  // a server that does not answer is a failure, not a hang
    keys.push_back("connect_timeout");
    values.push_back("10");
  }
  // Names the program's connections for whoever looks at the server
  // (pg_stat_activity): "bkreg <process id>".
  const std::string application = "bkreg " + std::to_string(getpid());
  keys.push_back("application_name");
  values.push_back(application.c_str());
  if (dbname) {
    keys.push_back("dbname");
    values.push_back(dbname);
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  PGconn* c = PQconnectdbParams(keys.data(), values.data(), 0);
  PQconninfoFree(opts);
  if (c) PQsetNoticeProcessor(c, IgnoreNotice, nullptr);
  return c;
}

std::string DatabaseName(const std::string& address) {
  char* error = nullptr;
  PQconninfoOption* opts = PQconninfoParse(address.c_str(), &error);
  if (!opts) {
    PQfreemem(error);
    return "";
  }
  std::string name;
  for (PQconninfoOption* o = opts; o->keyword; ++o) {
    if (std::strcmp(o->keyword, "dbname") == 0 && o->val) name = o->val;
  }
  PQconninfoFree(opts);
  return name;
}

// Creates database `name` through the server's maintenance database unless
// it exists: byte-wise order ("C") and bytes kept as given (SQL_ASCII), as
// SQLite stores text.
tsioStatus::Status CreateDatabase(const std::string& address, const std::string& name) {
  PGconn* c = Connect(address, "postgres");
  if (!c || PQstatus(c) != CONNECTION_OK) {
    if (c) PQfinish(c);
    return tsioStatus::kIOError;
  }
  const char* values[] = {name.c_str()};
  PGresult* r = PQexecParams(c, "SELECT 1 FROM pg_database WHERE datname = $1", 1, nullptr, values, nullptr, nullptr, 0);
  bool exists = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0;
  PQclear(r);
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (!exists) {
    char* quoted = PQescapeIdentifier(c, name.c_str(), name.size());
    std::string sql = std::string("CREATE DATABASE ") + (quoted ? quoted : "\"\"") +
                      " TEMPLATE template0 ENCODING 'SQL_ASCII' LC_COLLATE 'C' LC_CTYPE 'C'";
    PQfreemem(quoted);
    r = PQexec(c, sql.c_str());
    if (PQresultStatus(r) != PGRES_COMMAND_OK) {
      const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
      // 42P04: another program created it at the same moment.
      if (!state || std::strcmp(state, "42P04") != 0) st = MapSqlState(state);
    }
    PQclear(r);
  }
  PQfinish(c);
  return st;
}

}  // namespace

bool tsioIsServerAddress(const std::string& folder) {
  return folder.rfind("postgresql://", 0) == 0 || folder.rfind("postgres://", 0) == 0;
}

std::string tsioAddressForLog(const std::string& folder) {
  if (!tsioIsServerAddress(folder)) return folder;
  size_t scheme = folder.find("://") + 3;
  size_t at = folder.find('@', scheme);
  size_t slash = folder.find('/', scheme);
  if (at == std::string::npos || (slash != std::string::npos && at > slash)) return folder;
  size_t colon = folder.find(':', scheme);
  if (colon == std::string::npos || colon > at) return folder;
  return folder.substr(0, colon) + folder.substr(at);
}

std::unique_ptr<tsioBackendConnection> tsioOpenPostgresConnection(const std::string& address, bool create,
                                                                  tsioStatus::Status* status) {
  std::string name = DatabaseName(address);
  if (name.empty()) {
    *status = tsioStatus::kFileDoesNotExist;  // the address names no database
    return nullptr;
  }
  if (create) {
    *status = CreateDatabase(address, name);
    if (*status != tsioStatus::kSuccess) return nullptr;
  }
  PGconn* c = Connect(address, nullptr);
  if (!c || PQstatus(c) != CONNECTION_OK) {
    std::string why = c ? PQerrorMessage(c) : "";
    *status = why.find("does not exist") != std::string::npos ? tsioStatus::kFileDoesNotExist : tsioStatus::kIOError;
    if (c) PQfinish(c);
    return nullptr;
  }
  auto conn = std::make_unique<PgConnection>(c);
  *status = conn->Exec("SET lock_timeout = '5s'");
  if (*status != tsioStatus::kSuccess) return nullptr;
  return conn;
}
