// PostgreSQL implementation of the storage backend (see backend.h), over
// libpq.
//
// - Statements are prepared once per connection (named "s<N>"), in the same
//   round trip as their first run, and run with text parameters; the
//   "?"/"?N" marks of the SQL given are rewritten as "$N". A statement's
//   rows are fetched whole on its first Step (the cursors ask for at most
//   one read-ahead batch at a time).
// - Round trips: requests go in libpq's pipeline mode, several to one wait.
//   BEGIN, SAVEPOINT and RELEASE are answered by nothing the caller waits
//   for: they are kept and sent ahead of the next statement, whose failure
//   they then share; a transaction in which no statement ran ends without a
//   word to the server. A lock given back and the COMMIT of a read-only
//   transaction are sent at once without waiting: their answers are read
//   with the next request's. A record lock and the read it guards go in one
//   request (LockThenStep). tsioServerRoundTrips() counts the waits;
//   BKREG_ROUND_TRIPS=trace prints each wait's requests.
// - Inside a read-only snapshot (BeginRead: repeatable read), a read of one
//   table asked again with the same values is answered as before, without
//   a request, while nothing was written to that table and no lock taken
//   through the connection, for as long as a cursor serves rows it read
//   ahead (100 ms). Outside a snapshot every read asks the server: another
//   program may have committed since, and this program may know it (it
//   waited for that program, or was told), so an answer kept from before
//   would be stale.
// - A failed statement inside a transaction would leave the whole
//   transaction unusable on this engine; a write inside a transaction
//   therefore runs under a savepoint of its own (SAVEPOINT, the write and
//   RELEASE in one pipeline; one more round trip rolls back to it when the
//   write fails), so a refused insert (a duplicate key) fails alone and the
//   unit of work goes on, as on SQLite.
// - Record locks are session-level advisory locks keyed by the record's
//   identity: they outlive transactions and end with the connection, so a
//   program that dies loses them. The connection is the program's, shared by
//   its handles; which handle holds a lock is kept here.
// - Waits for another program's row locks give up after 5 s (kBusy), like
//   SQLite's busy timeout (lock_timeout, set with the connection).
// - Reads are not guarded by savepoints: a read that fails inside a
//   transaction (a lost connection, a statement the server refuses) leaves
//   the transaction refusing every further statement until the unit is
//   rolled back, so the unit fails as a whole; a COMMIT of such a
//   transaction, which the server answers with a rollback, is reported as
//   the failure it is.
// - A connection that fails in the middle of a pipeline (the server
//   restarted, the connection ended by the server) is not used again: every
//   later request fails as an I/O error, and the program's units roll back
//   with the server's end of it.
// - A backup is a SQLite company file: the tables, indexes and rows of one
//   snapshot (a repeatable-read transaction on a connection of its own),
//   so a server company can be restored as, or moved to, a company folder.
// - The integrity check reads every table whole and, where the server's
//   amcheck extension is installed or can be (by a superuser), checks every
//   index's structure and, unless quick, that it matches its table.
#include <fcntl.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "framework/base/log.h"
#include "framework/base/private_file.h"
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

bool StartsWith(std::string_view sql, const char* word) {
  const size_t n = std::strlen(word);
  return sql.size() >= n && strncasecmp(sql.data(), word, n) == 0;
}

// The one table a statement reads ("SELECT ... FROM t WHERE ...", nothing
// joined) or writes ("INSERT INTO t", "UPDATE t", "DELETE FROM t"), as the
// server names it; "" when it is not that simple.
std::string OneTable(const std::string& sql, bool write) {
  size_t at = std::string::npos;
  if (write) {
    for (const char* head : {"INSERT INTO ", "UPDATE ", "DELETE FROM "}) {
      if (StartsWith(sql, head)) at = std::strlen(head);
    }
  } else {
    at = sql.find(" FROM ");
    if (at == std::string::npos || sql.find(" FROM ", at + 1) != std::string::npos ||
        sql.find(" JOIN ") != std::string::npos) {
      return "";
    }
    at += 6;
  }
  if (at == std::string::npos || at >= sql.size()) return "";
  size_t end = at;
  std::string name;
  if (sql[at] == '"') {
    end = sql.find('"', at + 1);
    if (end == std::string::npos) return "";
    name = sql.substr(at + 1, end - at - 1);
    ++end;
  } else {
    while (end < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[end])) || sql[end] == '_')) ++end;
    name = sql.substr(at, end - at);
  }
  while (end < sql.size() && sql[end] == ' ') ++end;
  if (end < sql.size() && sql[end] == ',') return "";  // more than one table
  return name;
}

// Commands whose answer nothing waits for: they are kept and sent together
// with the next statement that is (see PgConnection::Exec).
bool Deferrable(std::string_view sql) {
  return StartsWith(sql, "BEGIN") || StartsWith(sql, "SAVEPOINT ") || StartsWith(sql, "RELEASE ");
}

// Requests answered by the server and connections opened, in this process.
std::atomic<uint64_t> g_round_trips{0};
std::atomic<uint64_t> g_connections{0};
std::atomic<uint64_t> g_aged{0};

// BKREG_ROUND_TRIPS=trace: every round trip's requests on standard error, to
// see what a command waits for.
bool TraceRoundTrips() {
  static const bool on = [] {
    const char* v = std::getenv("BKREG_ROUND_TRIPS");
    return v && std::strcmp(v, "trace") == 0;
  }();
  return on;
}

struct PgResultFree {
  void operator()(PGresult* r) const { PQclear(r); }
};

// One request of a pipeline.
struct Request {
  enum Kind : char { kCommand, kPrepare, kExecute };
  Request(Kind k, const char* s, const char* nm = nullptr) : kind(k), sql(s), name(nm) {}
  bool Ok() const {
    const ExecStatusType t = PQresultStatus(result.get());
    return result && (t == PGRES_COMMAND_OK || t == PGRES_TUPLES_OK || t == PGRES_EMPTY_QUERY);
  }
  Kind kind;
  const char* sql;   // kCommand, kPrepare
  const char* name;  // kPrepare, kExecute: the statement's name
  int n = 0;         // kExecute: its parameters
  const char* const* values = nullptr;
  std::unique_ptr<PGresult, PgResultFree> result;  // the answer
};

class PgConnection;

// How long, and up to how many rows, an answer is kept to answer the same
// read again (PgStatement::Execute): a cursor serves what it read ahead as
// long (cursor.cc).
constexpr std::chrono::milliseconds kKeptFor{100};
constexpr int kMostKeptRows = 64;

class PgStatement final : public tsioBackendStatement {
 public:
  PgStatement(PgConnection* conn, std::string name, std::string sql, int params, bool write)
      : conn_(conn), name_(std::move(name)), sql_(std::move(sql)), values_(static_cast<size_t>(params)),
        ptrs_(static_cast<size_t>(params)), write_(write),
        table_(OneTable(sql_, write)), keeps_(!write && !table_.empty() && sql_.find("pg_") == std::string::npos) {}
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
  // Sends the statement (with `lead` before it in the same request) and
  // keeps its rows; see PgConnection::Run.
  tsioStatus::Status Execute(PgStatement* lead, PGresult** lead_result);
  // This write as the server judges it: the same change, refused (division
  // by zero, SQLSTATE 22012) when it changes no row. Prepared under a name
  // of its own the first time it is sent.
  PgStatement& Judged() {
    if (!judged_) {
      judged_ = std::make_unique<PgStatement>(conn_, name_ + "j",
                                              "WITH w AS (" + sql_ + " RETURNING 1) SELECT 1/count(*) FROM w",
                                              static_cast<int>(values_.size()), true);
      judged_->table_ = table_;
    }
    return *judged_;
  }
  // The parameter pointers, set before the statement is sent.
  void Ready() {
    for (size_t i = 0; i < values_.size(); ++i) ptrs_[i] = values_[i].c_str();
  }
  void Column(int col, bool text, tsCell& out) override {
    out.is_text = text;
    const char* p = PQgetvalue(res_.get(), row_, col);
    if (text) {
      out.s.assign(p, static_cast<size_t>(PQgetlength(res_.get(), row_, col)));
    } else {
      out.i = std::strtoll(p, nullptr, 10);
    }
  }
  int64_t ColumnInt(int col) override {
    const char* p = PQgetvalue(res_.get(), row_, col);
    if (*p == 't') return 1;  // a boolean answer
    if (*p == 'f') return 0;
    return std::strtoll(p, nullptr, 10);
  }
  void Reset() override {
    res_.reset();
    row_ = -1;
    rows_ = 0;
  }

 private:
  friend class PgConnection;
  std::string& Slot(int index) {
    static std::string none;
    size_t i = static_cast<size_t>(index - 1);
    return i < values_.size() ? values_[i] : none;
  }
  PgConnection* conn_;
  std::string name_;
  std::string sql_;         // as the server reads it ($N marks)
  bool prepared_ = false;   // the server holds it under name_
  std::vector<std::string> values_;
  std::vector<const char*> ptrs_;
  bool write_;
  // The step under way is of a write that must change a row (see
  // NextWriteChangesOneRow), and that write's judged form.
  bool judge_ = false;
  std::unique_ptr<PgStatement> judged_;
  std::shared_ptr<PGresult> res_;  // the answer being read
  // The last answer of this read of a table, with the values it was asked
  // with, kept to answer the same read again (see Execute).
  std::string table_;  // the one table it reads or writes ("" when not known)
  bool keeps_;
  std::shared_ptr<PGresult> kept_;
  std::vector<std::string> kept_values_;
  uint64_t kept_epoch_ = 0;
  uint64_t kept_table_epoch_ = 0;
  std::chrono::steady_clock::time_point kept_at_;
  // Answers kept for the command (a table kept for it, see
  // command_reads.h): one per set of values, with the command and the
  // table's write epoch they were read in.
  struct CommandAnswer {
    std::vector<std::string> values;
    std::shared_ptr<PGresult> result;
    uint64_t command;
    uint64_t table_epoch;
    uint64_t snapshot;
  };
  static constexpr size_t kMostCommandAnswers = 32;
  std::vector<CommandAnswer> command_answers_;
  // The answer kept for the command to `values`, or nullptr.
  const CommandAnswer* CommandAnswerFor(const std::vector<std::string>& values) const;
  void KeepForCommand(std::vector<std::string> values, std::shared_ptr<PGresult> result);
  // Answers of reads queued in a unit and asked ahead of their use (see
  // PgConnection::Prefetch): each answers the same read once, in the same
  // unit, while this program has not written to the table nor taken a lock
  // that guards it; one asked after a lock queued with it (`lock`, not 0:
  // PrefetchLockThenStep) while this program holds that lock.
  struct UnitAnswer {
    std::vector<std::string> values;
    std::shared_ptr<PGresult> result;
    uint64_t unit;
    uint64_t table_epoch;
    uint64_t guard;
    uint64_t lock = 0;
  };
  std::vector<UnitAnswer> unit_answers_;
  // Takes the unit answer to `values` into res_; false when there is none.
  bool TakeUnitAnswer();
  // Whether `a` may still answer in the unit under way.
  bool UnitAnswerStands(const UnitAnswer& a) const;
  void KeepForUnit(std::vector<std::string> values, std::shared_ptr<PGresult> result, uint64_t lock = 0);
  int row_ = -1;
  int rows_ = 0;
};

class PgLocks;

// The program's connection. Round trips are saved three ways, each keeping
// what a caller is told:
// - transaction control whose answer nobody waits for (BEGIN, SAVEPOINT,
//   RELEASE) is kept and sent in one pipeline with the next statement; a
//   failure of it is that statement's failure, and a COMMIT answers for
//   everything before it. A transaction in which nothing was sent ends
//   without a word to the server;
// - a statement is prepared in the pipeline of its first run;
// - a guarded write goes as SAVEPOINT, the statement and RELEASE in one
//   pipeline; when the statement fails, the server skips the RELEASE and one
//   more round trip rolls back to the savepoint, so the write fails alone.
class PgConnection final : public tsioBackendConnection {
 public:
  // A read queued (or, with `lock_owner`, the lock `lock_id` queued for
  // that handle: PrefetchLockThenStep).
  struct Queued {
    PgStatement* q;
    std::vector<std::string> values;
    const void* lock_owner = nullptr;
    uint64_t lock_id = 0;
  };
  PgConnection(PGconn* conn, std::string address) : conn_(conn), address_(std::move(address)) {}
  ~PgConnection() override {
    cache_.clear();
    PQfinish(conn_);  // ends every advisory lock of this program
  }
  PGconn* raw() { return conn_; }
  // Moves with every write, transaction command and lock taken: an answer
  // kept from before no longer answers a read.
  uint64_t Epoch() const { return epoch_; }
  // A read-only repeatable-read transaction is begun: what the server
  // answers does not change until it ends, but for this program's writes.
  bool InReadSnapshot() const { return read_only_; }
  // Moves with every write to `table`.
  uint64_t TableEpoch(const std::string& table) { return table_epochs_[table]; }

  // Reads kept for a command (see command_reads.h).
  void BeginCommand() override {
    if (command_depth_++ == 0) ++command_;
  }
  void EndCommand() override {
    if (command_depth_ == 0 || --command_depth_ > 0) return;
    ++command_;  // every answer kept for the command ended is of an old one
    for_command_.clear();
    prefetch_.clear();
  }
  void KeepForCommand(const std::string& table) override {
    if (command_depth_ > 0) for_command_.insert(table);
  }
  // The command under way (0: none).
  uint64_t Command() const { return command_depth_ > 0 ? command_ : 0; }
  // True when a read of `table` now may be answered by, or kept as, an
  // answer for the command: a command is under way, it keeps the table,
  // and no transaction is open but a read-only snapshot (a read in a unit
  // always asks the server).
  bool KeptForCommand(const std::string& table) {
    return command_depth_ > 0 && !table.empty() && (!InTransaction() || read_only_) &&
           for_command_.count(table) > 0;
  }
  // A lock another program holds was met: the program may wait for that
  // program and then must see what it committed, so the command's kept
  // answers end.
  void AnotherProgramMet() {
    if (command_depth_ > 0) ++command_;
  }
  // The writing transaction under way (0: none) and what ends the answers
  // read ahead in it: a lock taken that is not known to guard one table
  // only, a rollback to a savepoint, a write to a table not known.
  uint64_t Unit() { return InTransaction() && !read_only_ ? unit_ : 0; }
  uint64_t UnitGuard() const { return unit_guard_; }
  // The read-only snapshot reads see now (0: none, outside transactions):
  // an answer kept for the command answers only reads of the same one.
  uint64_t Snapshot() { return InTransaction() ? snapshot_ : 0; }
  void Prefetch(tsioBackendStatement& q) override;
  void PrefetchNow() override;

  tsioStatus::Status Exec(std::string_view sql) override {
    // A transaction that begins, or a savepoint taken or released, changes
    // nothing a read answered; everything else may.
    if (!Deferrable(sql) || StartsWith(sql, "BEGIN ISOLATION")) ++epoch_;
    if (Deferrable(sql)) {
      if (StartsWith(sql, "BEGIN")) {
        read_only_ = sql.find("READ ONLY") != std::string_view::npos;
        if (read_only_) ++snapshot_;
        ++unit_;
        unit_queue_.clear();
      }
      pending_.emplace_back(sql);
      return tsioStatus::kSuccess;
    }
    const bool commit = StartsWith(sql, "COMMIT") || StartsWith(sql, "END");
    const bool rollback = StartsWith(sql, "ROLLBACK") && !StartsWith(sql, "ROLLBACK TO");
    // After a write sent without waiting failed, only the rollback of the
    // whole transaction goes to the server: a commit, or a rollback to a
    // savepoint that would let the unit go on without the write, fails.
    if (deferred_ != tsioStatus::kSuccess && !rollback && InTransaction()) {
      if (commit) pending_.clear();
      return DeferredFailure();
    }
    // An update or delete sent without waiting that must have met its
    // record is judged here, by this program, not by the server, and a
    // write made before the transaction failed outside it: their answers
    // are read before the COMMIT is sent, which would otherwise keep a unit
    // that failed.
    if (commit && std::any_of(unread_.begin(), unread_.end(),
                              [](const Unread& u) { return u.expects_row || u.outside; })) {
      std::vector<Request> none;
      (void)Pipeline(none);
      if (deferred_ != tsioStatus::kSuccess) {
        pending_.clear();
        return DeferredFailure();
      }
    }
    // What a unit wrote or read is newer than the command's kept answers:
    // they end with it.
    if ((commit || rollback) && command_depth_ > 0) ++command_;
    // Answers read ahead in a unit end with it, and with a rollback to one
    // of its savepoints (the unit's writes since are undone).
    ++unit_guard_;
    if (commit || rollback) {
      ++unit_;
      unit_queue_.clear();
      GiveBackLocksTakenAhead();
    }
    if ((commit || rollback) && BeginPending()) {
      pending_.clear();  // the server never saw the transaction
      return tsioStatus::kSuccess;
    }
    // A read-only transaction ends without waiting for the answer: it kept
    // nothing that could be lost, and each of its reads answered already.
    if (commit && read_only_ && pending_.empty() && !broken_ && tx_ == PQTRANS_INTRANS) {
      read_only_ = false;
      if (SendWithoutWaiting("COMMIT", kCommitMark)) {
        tx_ = PQTRANS_IDLE;
        return tsioStatus::kSuccess;
      }
      return tsioStatus::kIOError;
    }
    if (commit || rollback) read_only_ = false;
    // The savepoints of a transaction rolled back whole do not matter (and
    // in a failed transaction would be refused before the ROLLBACK).
    if (rollback) pending_.clear();
    std::string s(sql);
    std::vector<Request> reqs;
    reqs.emplace_back(Request::kCommand, s.c_str());
    // (Send tells a failure of a write sent without waiting once, and
    // forgets it when the transaction has ended: asked first.)
    const bool spoiled = deferred_ != tsioStatus::kSuccess;
    tsioStatus::Status st = Send(&reqs);
    if (rollback) {
      // Whatever failed in the transaction ends with it.
      if (spoiled && reqs.back().Ok()) st = tsioStatus::kSuccess;
      deferred_ = tsioStatus::kSuccess;
      deferred_error_.clear();
    }
    // The server ends a transaction that a failed statement spoiled with a
    // rollback, even when asked to commit: nothing was kept.
    if (st == tsioStatus::kSuccess && !StartsWith(sql, "ROLLBACK") &&
        std::strcmp(PQcmdStatus(reqs.back().result.get()), "ROLLBACK") == 0) {
      last_error_ = "the transaction had failed; the server rolled it back";
      st = tsioStatus::kIOError;
    }
    return st;
  }

  tsioBackendStatement* Prepare(const std::string& sql, tsioStatus::Status* status) override {
    *status = tsioStatus::kSuccess;
    auto it = cache_.find(sql);
    if (it != cache_.end()) return it->second.get();
    int params = 0;
    std::string text = Translate(sql, &params);
    std::string name = "s" + std::to_string(++statements_);
    auto stmt = std::make_unique<PgStatement>(this, std::move(name), std::move(text), params, IsWrite(sql));
    auto* raw = stmt.get();
    cache_.emplace(sql, std::move(stmt));
    return raw;
  }

  int Changes() override {
    // A write sent without waiting: its answer is read now.
    if (changes_ < 0 && !unread_.empty()) {
      std::vector<Request> none;
      (void)Pipeline(none);
    }
    return std::max(changes_, 0);
  }
  int ChangesOrNotFoundLater() override {
    if (changes_ >= 0) return changes_;
    for (Unread& u : unread_) {
      if (u.write != nullptr && u.seq == last_write_ && !u.judged) u.expects_row = true;
    }
    return 1;
  }
  void NextWriteChangesOneRow() override { judge_next_ = true; }
  tsioStatus::Status AnswersNow() override {
    if (!unread_.empty()) {
      std::vector<Request> none;
      const tsioStatus::Status st = Pipeline(none);
      if (st != tsioStatus::kSuccess && deferred_ == tsioStatus::kSuccess) return st;
    }
    return deferred_ != tsioStatus::kSuccess ? DeferredFailure() : tsioStatus::kSuccess;
  }
  bool TakeJudgeNext() { return std::exchange(judge_next_, false); }
  void BeginAllOrNothing() override { ++all_or_nothing_; }
  void EndAllOrNothing() override {
    if (all_or_nothing_ > 0) --all_or_nothing_;
  }
  void BeginWaitingWrites() override { ++waiting_writes_; }
  void EndWaitingWrites() override {
    if (waiting_writes_ > 0) --waiting_writes_;
  }
  bool InTransaction() override {
    if (BeginPending()) return true;
    return tx_ == PQTRANS_INTRANS || tx_ == PQTRANS_INERROR || tx_ == PQTRANS_ACTIVE;
  }
  std::string LastError() override {
    return last_error_.empty() ? std::string(PQerrorMessage(conn_)) : last_error_;
  }
  const char* ColumnType(bool text) const override { return text ? "TEXT COLLATE \"C\"" : "BIGINT"; }
  const char* KeyedTableOptions() const override { return ""; }
  bool ReadsPagesItself() const override { return false; }
  tsioStatus::Status BeginWrite() override { return Exec("BEGIN"); }
  // Read committed would let each statement see newer commits.
  tsioStatus::Status BeginRead() override { return Exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"); }
  std::unique_ptr<tsioBackendLocks> OpenLocks(const std::string&, tsioStatus::Status* status) override;
  tsioStatus::Status BackupTo(const std::string& path) override;
  tsioStatus::Status CheckIntegrity(int limit, bool quick, std::vector<std::string>* problems) override;

  // Runs statement `q` (prepared with it when it is not yet); the caller
  // owns the result. A write in a transaction runs under a savepoint of its
  // own. With `lead`, that statement (a read) runs first in the same
  // request, its answer in `*lead_result` (owned by the caller) when the
  // request went through.
  PGresult* Run(PgStatement& q, tsioStatus::Status* st, PgStatement* lead = nullptr,
                PGresult** lead_result = nullptr) {
    // A write sent without waiting failed: so does every request of its
    // transaction until it is rolled back.
    if (deferred_ != tsioStatus::kSuccess && InTransaction()) {
      *st = DeferredFailure();
      return nullptr;
    }
    const bool guard = q.write_ && InTransaction();
    if (lead || (q.write_ && q.table_.empty())) ++epoch_;
    if (q.write_ && q.table_.empty()) ++unit_guard_;
    if (q.write_ && !q.table_.empty()) ++table_epochs_[q.table_];
    // In an all-or-nothing unit a write goes without waiting and without a
    // savepoint of its own (its failure is the unit's); so does a write
    // outside a transaction while one is declared (its failure fails the
    // next unit, backend.h).
    if (q.write_ && !lead && all_or_nothing_ > 0 && waiting_writes_ == 0 && !read_only_) {
      *st = SendWrite(q, q.judge_);
      return *st == tsioStatus::kSuccess ? PQmakeEmptyPGresult(conn_, PGRES_COMMAND_OK) : nullptr;
    }
    std::vector<Request> reqs;
    size_t lead_at = 0;
    if (lead) {
      lead->Ready();
      if (!lead->prepared_) reqs.emplace_back(Request::kPrepare, lead->sql_.c_str(), lead->name_.c_str());
      lead_at = reqs.size();
      reqs.emplace_back(Request::kExecute, nullptr, lead->name_.c_str());
      reqs.back().n = static_cast<int>(lead->values_.size());
      reqs.back().values = lead->ptrs_.data();
    }
    const size_t first = reqs.size();
    if (guard) reqs.emplace_back(Request::kCommand, "SAVEPOINT tsio_stmt");
    const size_t prepare = reqs.size();
    if (!q.prepared_) reqs.emplace_back(Request::kPrepare, q.sql_.c_str(), q.name_.c_str());
    const size_t execute = reqs.size();
    reqs.emplace_back(Request::kExecute, nullptr, q.name_.c_str());
    reqs.back().n = static_cast<int>(q.values_.size());
    reqs.back().values = q.ptrs_.data();
    if (guard) reqs.emplace_back(Request::kCommand, "RELEASE SAVEPOINT tsio_stmt");
    // Reads the unit queued go after a read of its, in the same request.
    std::vector<Queued> ahead;
    std::vector<std::vector<const char*>> ahead_ptrs;
    std::vector<size_t> ahead_at;
    // Outside a transaction, the reads queued for the command go after a
    // locked fetch's lock and read: asked after the lock, they are kept only
    // when it was taken (a lock found held ends what was kept).
    bool for_command = false;
    if (!q.write_ && !unit_queue_.empty() && Unit() != 0) {
      ahead.swap(unit_queue_);
      // The same read queued is asked once, here (one queued after a lock
      // is asked after it: kept).
      const auto tied = std::find_if(ahead.begin(), ahead.end(), [](const Queued& p) { return p.lock_owner; });
      ahead.erase(std::remove_if(ahead.begin(), tied, [&](const Queued& p) { return p.q == &q && p.values == q.values_; }),
                  tied);
      AppendReads(ahead, &reqs, &ahead_ptrs, &ahead_at);
    } else if (!q.write_ && lead && !prefetch_.empty() && !InTransaction()) {
      ahead.swap(prefetch_);
      std::erase_if(ahead, [&](const Queued& p) {
        return !KeptForCommand(p.q->table_) || (p.q == &q && p.values == q.values_);
      });
      for_command = true;
      AppendReads(ahead, &reqs, &ahead_ptrs, &ahead_at);
    }
    *st = Send(&reqs);
    if (for_command && !(reqs[lead_at].Ok() && PQntuples(reqs[lead_at].result.get()) == 1 &&
                         *PQgetvalue(reqs[lead_at].result.get(), 0, 0) == 't')) {
      // The lock was not taken: what was asked after it counts for nothing.
      for (size_t at : ahead_at) reqs[at].result.reset();
    }
    if (!ahead.empty()) {
      // A queued read that failed is not kept (its own read meets the
      // failure); the statement's answer stands on its own.
      KeepAnswers(ahead, reqs, ahead_at, for_command);
      bool own = true;
      for (size_t i = 0; i <= execute; ++i) own = own && reqs[i].Ok();
      if (own) *st = tsioStatus::kSuccess;
    }
    if (lead && lead_at > 0 && reqs[0].Ok()) lead->prepared_ = true;
    if (!q.prepared_ && reqs[prepare].Ok()) q.prepared_ = true;
    if (lead && reqs[lead_at].Ok()) *lead_result = reqs[lead_at].result.release();
    if (*st == tsioStatus::kSuccess) {
      if (q.write_) changes_ = std::atoi(PQcmdTuples(reqs[execute].result.get()));
      return reqs[execute].result.release();
    }
    // The savepoint was taken (so the pending commands before it succeeded
    // too): back to it, so the unit goes on without this write.
    if (guard && reqs[first].Ok() && !broken_) {
      const std::string error = last_error_;
      std::vector<Request> back;
      back.emplace_back(Request::kCommand, "ROLLBACK TO SAVEPOINT tsio_stmt");
      back.emplace_back(Request::kCommand, "RELEASE SAVEPOINT tsio_stmt");
      (void)Send(&back);
      last_error_ = error;
    }
    return nullptr;
  }

  // Advisory locks, with the handle (`owner`) that holds each.
  tsioStatus::Status Lock(const void* owner, uint64_t id) {
    auto it = owners_.find(id);
    if (it != owners_.end()) {
      if (it->second != owner) return tsioStatus::kLocked;
      pretaken_.erase(id);  // a lock taken ahead is the handle's now
      return tsioStatus::kSuccess;
    }
    int64_t answer = 0;
    ++epoch_;
    // What the lock guards is not known here: the answers read ahead before
    // it end (those of reads queued with it, asked after it, stand when it
    // is taken).
    ++unit_guard_;
    if (!Ask("SELECT pg_try_advisory_lock(?)", id, &answer)) {
      ++unit_guard_;
      return LockNotAsked();
    }
    if (!answer) {
      ++unit_guard_;
      AnotherProgramMet();
      return tsioStatus::kLocked;
    }
    owners_.emplace(id, owner);
    return tsioStatus::kSuccess;
  }
  // Takes `id` for `owner` and, in the same request, runs `then` to its
  // first row (`*step`); its answer counts only when the lock was taken.
  tsioStatus::Status LockThenStep(const void* owner, uint64_t id, PgStatement& then, short* step);
  // Queues the lock `id` for `owner` and then the read `then` (bound), for
  // the next request that sends the unit's queued reads; the reads queued
  // after them are tied to the lock (tsioBackendLocks::PrefetchLockThenStep).
  void QueueLockThenRead(const void* owner, uint64_t id, PgStatement& then);
  // This program holds lock `id` (through any handle).
  bool HoldsLock(uint64_t id) const { return owners_.count(id) != 0; }
  // A lock is given back without waiting for the answer: the request goes
  // out at once and its answer is read before the next request's. In a
  // transaction the server refuses (a failed statement spoiled it) it
  // would not be given back at all: it waits for the transaction's end.
  void Unlock(const void* owner, uint64_t id) {
    auto it = owners_.find(id);
    if (it == owners_.end() || it->second != owner) return;
    owners_.erase(it);
    if (tx_ == PQTRANS_INERROR) {
      after_transaction_.push_back(id);
      return;
    }
    SendUnlock(id);
  }
  tsioStatus::Status TestOther(const void* owner, uint64_t id) {
    auto it = owners_.find(id);
    if (it != owners_.end()) return it->second == owner ? tsioStatus::kSuccess : tsioStatus::kLocked;
    // Free when it can be taken (and is given back at once).
    int64_t answer = 0;
    if (!Ask("SELECT CASE WHEN pg_try_advisory_lock(?1) THEN pg_advisory_unlock(?1) ELSE false END", id, &answer)) {
      return LockNotAsked();
    }
    if (!answer) AnotherProgramMet();
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
  // Locks taken ahead for the unit (QueueLockThenRead) that no fetch took
  // over: given back as the unit ends.
  void GiveBackLocksTakenAhead() {
    std::vector<uint64_t> ids(pretaken_.begin(), pretaken_.end());
    pretaken_.clear();
    for (uint64_t id : ids) {
      auto it = owners_.find(id);
      if (it != owners_.end()) Unlock(it->second, id);
    }
  }
  // A transaction begun here that the server has not heard of yet.
  bool BeginPending() const { return !pending_.empty() && StartsWith(pending_.front(), "BEGIN"); }

  // Sends "give lock `id` back" without waiting (a lost connection ended
  // it already).
  void SendUnlock(uint64_t id) {
    (void)SendWithoutWaiting("SELECT pg_advisory_unlock(" + std::to_string(static_cast<int64_t>(id)) + ")", id);
  }

  // Sends `sql` at once without waiting for its answer, which is read with
  // the next request's (Pipeline); `mark` says what it was (a lock's id, or
  // kCommitMark). Too many answers left unread are read now.
  bool SendWithoutWaiting(const std::string& sql, uint64_t mark) {
    if (broken_ || PQstatus(conn_) != CONNECTION_OK) return false;
    if (PQpipelineStatus(conn_) == PQ_PIPELINE_OFF && PQenterPipelineMode(conn_) != 1) {
      (void)Lost();
      return false;
    }
    if (PQsendQueryParams(conn_, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) != 1 ||
        PQpipelineSync(conn_) != 1) {
      (void)Lost();
      return false;
    }
    unread_.push_back(Unread{mark});
    if (unread_.size() >= kMostUnread) {
      std::vector<Request> none;
      return Pipeline(none) == tsioStatus::kSuccess;
    }
    return true;
  }

  // Reads the answers of the unlocks sent without waiting (each followed by
  // its sync). False when the connection failed.
  bool ReadUnread() {
    for (const Unread& u : unread_) {
      for (int i = 0; i < u.answers; ++i) {
        PGresult* r = PQgetResult(conn_);
        if (!r) return false;
        const ExecStatusType t = PQresultStatus(r);
        const bool ok = t == PGRES_TUPLES_OK || t == PGRES_COMMAND_OK;
        if (u.write == nullptr) {
          const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
          // Refused inside a failed transaction: given back after its end.
          if (!ok && u.mark != kCommitMark && state && std::strcmp(state, "25P02") == 0) {
            after_transaction_.push_back(u.mark);
          }
        } else {
          if (!ok && i == u.prepare_at) u.write->prepared_ = false;
          // The first failure fails the unit (what the server skipped after
          // it says nothing more).
          const char* state = ok ? nullptr : PQresultErrorField(r, PG_DIAG_SQLSTATE);
          if (u.judged && state && std::strcmp(state, "22012") == 0 && deferred_ == tsioStatus::kSuccess) {
            deferred_ = tsioStatus::kNotFound;
            deferred_error_ = "the record to change in " + u.write->table_ + " was not there";
          }
          if (!ok && t != PGRES_PIPELINE_ABORTED && deferred_ == tsioStatus::kSuccess) {
            deferred_ = Check(r);
            if (deferred_ == tsioStatus::kSuccess) deferred_ = tsioStatus::kIOError;
            deferred_error_ = last_error_ + " (a write to " + u.write->table_ + ", sent without waiting)";
          }
          if (ok && i == u.answers - 1) {
            const int n = std::atoi(PQcmdTuples(r));
            if (u.seq == last_write_) changes_ = n;
            if (u.expects_row && n == 0 && deferred_ == tsioStatus::kSuccess) {
              deferred_ = tsioStatus::kNotFound;
              deferred_error_ = "the record to change in " + u.write->table_ + " was not there";
            }
          }
        }
        PQclear(r);
        while (PGresult* more = PQgetResult(conn_)) PQclear(more);
      }
      PGresult* sync = PQgetResult(conn_);
      const bool synced = sync && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
      PQclear(sync);
      if (!synced) return false;
    }
    unread_.clear();
    return true;
  }

  // Sends the pending commands and then `reqs` in one pipeline, waiting
  // once for all the answers: the status of the first that failed, with its
  // message in last_error_ (the server skips everything after a failure).
  // Each request keeps its answer.
  tsioStatus::Status Send(std::vector<Request>* reqs) {
    std::vector<Request> all;
    all.reserve(pending_.size() + reqs->size());
    for (const std::string& p : pending_) all.emplace_back(Request::kCommand, p.c_str());
    const size_t first = all.size();
    for (Request& r : *reqs) all.push_back(std::move(r));
    tsioStatus::Status st = Pipeline(all);
    for (size_t i = 0; i < reqs->size(); ++i) (*reqs)[i] = std::move(all[first + i]);
    pending_.clear();
    return st;
  }

  tsioStatus::Status Pipeline(std::vector<Request>& all) {
    if (broken_ || PQstatus(conn_) != CONNECTION_OK) {
      broken_ = true;
      last_error_ = "the connection to the server was lost";
      return tsioStatus::kIOError;
    }
    if (PQpipelineStatus(conn_) == PQ_PIPELINE_OFF && PQenterPipelineMode(conn_) != 1) return Lost();
    bool sent = true;
    for (Request& q : all) {
      int ok = 0;
      switch (q.kind) {
        case Request::kCommand:
          ok = PQsendQueryParams(conn_, q.sql, 0, nullptr, nullptr, nullptr, nullptr, 0);
          break;
        case Request::kPrepare:
          ok = PQsendPrepare(conn_, q.name, q.sql, 0, nullptr);
          break;
        case Request::kExecute:
          ok = PQsendQueryPrepared(conn_, q.name, q.n, q.values, nullptr, nullptr, 0);
          break;
      }
      if (!ok) {
        sent = false;
        break;
      }
    }
    if (sent) sent = PQpipelineSync(conn_) == 1;
    g_round_trips.fetch_add(1, std::memory_order_relaxed);
    if (TraceRoundTrips()) {
      std::string line = "round trip " + std::to_string(g_round_trips.load(std::memory_order_relaxed)) + ":";
      for (const Request& q : all) {
        line += "\n  ";
        if (q.kind == Request::kExecute) {
          line += FindSql(q.name);
        } else if (q.kind == Request::kCommand) {
          line += q.sql;
        } else {
          line += "(prepare)";
        }
      }
      std::fprintf(stderr, "%s\n", line.c_str());
    }
    size_t answered = 0;
    bool synced = false;
    if (sent && !ReadUnread()) sent = false;
    if (sent) {
      for (; answered < all.size(); ++answered) {
        PGresult* r = PQgetResult(conn_);
        if (!r) break;  // the connection was lost
        all[answered].result.reset(r);
        while (PGresult* more = PQgetResult(conn_)) PQclear(more);  // each answer ends with a null
      }
      if (answered == all.size()) {
        PGresult* sync = PQgetResult(conn_);
        synced = sync && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
        PQclear(sync);
      }
    }
    if (!synced || PQexitPipelineMode(conn_) != 1) {
      // What the server did is unknown: nothing more is sent on this
      // connection.
      for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].result && !all[i].Ok() && PQresultStatus(all[i].result.get()) != PGRES_PIPELINE_ABORTED) {
          (void)Check(all[i].result.get());
          break;
        }
      }
      return Lost();
    }
    tx_ = PQtransactionStatus(conn_);
    // Locks whose giving back a failed transaction refused go back now
    // that it has ended.
    if (tx_ == PQTRANS_IDLE && !after_transaction_.empty()) {
      std::vector<uint64_t> ids;
      ids.swap(after_transaction_);
      for (uint64_t id : ids) SendUnlock(id);
    }
    if (deferred_ != tsioStatus::kSuccess) {
      const tsioStatus::Status failed = DeferredFailure();
      // The server ended the transaction (a COMMIT answered with a
      // rollback): the failure is told once, here.
      if (tx_ == PQTRANS_IDLE) deferred_ = tsioStatus::kSuccess;
      return failed;
    }
    for (Request& q : all) {
      if (!q.Ok()) return Check(q.result.get());
    }
    return tsioStatus::kSuccess;
  }

  const std::string& FindSql(const char* name) const {
    static const std::string none = "?";
    for (const auto& [sql, q] : cache_) {
      if (q->name_ == name) return q->sql_;
    }
    return none;
  }

  tsioStatus::Status Lost() {
    broken_ = true;
    ++epoch_;
    std::string why = PQerrorMessage(conn_);
    while (!why.empty() && why.back() == '\n') why.pop_back();
    if (last_error_.empty() || !why.empty()) last_error_ = why.empty() ? "the connection to the server was lost" : why;
    return tsioStatus::kIOError;
  }

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
  std::string address_;
  std::unordered_map<std::string, std::unique_ptr<PgStatement>> cache_;
  int statements_ = 0;
  int changes_ = 0;
  std::string last_error_;
  std::unordered_map<uint64_t, const void*> owners_;
  std::unordered_set<uint64_t> pretaken_;  // taken ahead, not yet taken over (GiveBackLocksTakenAhead)
  std::vector<std::string> pending_;  // transaction control not yet sent
  bool broken_ = false;  // the connection failed in the middle of a pipeline
  uint64_t epoch_ = 1;   // see Epoch()
  std::unordered_map<std::string, uint64_t> table_epochs_;  // see TableEpoch()
  // The server's transaction state after the last answer read (libpq's own
  // says "active" while answers are unread).
  PGTransactionStatusType tx_ = PQTRANS_IDLE;
  // Requests sent whose answers are not read yet, in the order sent, each
  // followed by its sync: a lock given back (its id), a read-only COMMIT
  // (kCommitMark: no lock id is all ones), or a write sent without waiting
  // (with the commands pending before it and its preparation: `answers`).
  // At most kMostUnread wait: their answers (tens of bytes each) stay far
  // below what a socket buffers, so the server never blocks writing answers
  // this program has not read yet while this program blocks sending to it.
  static constexpr size_t kMostUnread = 256;
  static constexpr uint64_t kCommitMark = ~uint64_t{0};
  struct Unread {
    uint64_t mark = 0;
    PgStatement* write = nullptr;
    int answers = 1;
    int prepare_at = -1;  // which answer is the write's preparation
    uint64_t seq = 0;     // the write's number (see last_write_)
    bool expects_row = false;
    bool judged = false;  // sent in its judged form: no row changed is refused
    bool outside = false;  // sent outside a transaction
  };
  std::vector<Unread> unread_;
  // All-or-nothing units (backend.h): how deeply declared, how deeply
  // writes are to wait again, the first failure of a write sent without
  // waiting (kSuccess: none) with its message, and the number of the last
  // write so sent.
  int all_or_nothing_ = 0;
  int waiting_writes_ = 0;
  bool judge_next_ = false;  // see NextWriteChangesOneRow
  tsioStatus::Status deferred_ = tsioStatus::kSuccess;
  std::string deferred_error_;
  uint64_t last_write_ = 0;
  // The deferred failure, as the status of a request it fails.
  tsioStatus::Status DeferredFailure() {
    last_error_ = deferred_error_;
    return deferred_;
  }
  // What a lock whose request failed answers: the failure of a write sent
  // without waiting that spoiled the transaction, when there is one (the
  // lock was refused because of it), else "locks unavailable".
  tsioStatus::Status LockNotAsked() {
    return deferred_ != tsioStatus::kSuccess ? DeferredFailure() : tsioStatus::kLockUnavailable;
  }
  // Sends write `q` (its values set) without waiting, the pending commands
  // before it; its answer is read with the next request's.
  // `judged`: sent in its judged form (PgStatement::Judged).
  tsioStatus::Status SendWrite(PgStatement& q, bool judged);
  bool read_only_ = false;  // the transaction begun is read-only
  // Locks to give back once the failed transaction has ended.
  std::vector<uint64_t> after_transaction_;
  // The command under way (see command_reads.h): its number, how deeply
  // begun, the tables it keeps reads of, the reads queued to be asked
  // together.
  uint64_t command_ = 0;
  int command_depth_ = 0;
  uint64_t snapshot_ = 0;  // read-only snapshots begun
  std::unordered_set<std::string> for_command_;
  std::vector<Queued> prefetch_;
  // Reads queued in a writing unit (see Prefetch), the unit's number and
  // what ends its answers read ahead (see Unit()).
  std::vector<Queued> unit_queue_;
  uint64_t unit_ = 0;
  uint64_t unit_guard_ = 0;
  // Adds an execute request per queued read to `reqs` (its statement
  // prepared first when the server does not hold it yet); `at` receives
  // where each one's answer will be.
  void AppendReads(std::vector<Queued>& queued, std::vector<Request>* reqs,
                   std::vector<std::vector<const char*>>* ptrs, std::vector<size_t>* at);
  // Keeps the answers of `queued` that went through, for the command
  // (`for_command`) or for the unit.
  void KeepAnswers(std::vector<Queued>& queued, std::vector<Request>& reqs, const std::vector<size_t>& at,
                   bool for_command);
};

tsioStatus::Status PgStatement::Execute(PgStatement* lead, PGresult** lead_result) {
  judge_ = conn_->TakeJudgeNext() && write_;
  // The server's text holds no NUL byte: a statement given one fails as
  // "does not fit" rather than have the value cut at the NUL.
  for (const auto& v : values_) {
    if (v.find('\0') != std::string::npos) return tsioStatus::kValueDoesNotFit;
  }
  // A table kept for the command: the answer the command read before
  // answers, whatever was locked or how long ago (see command_reads.h).
  const bool for_command = keeps_ && conn_->KeptForCommand(table_);
  if (!lead && for_command) {
    if (const CommandAnswer* a = CommandAnswerFor(values_)) {
      res_ = a->result;
      rows_ = PQntuples(res_.get());
      row_ = -1;
      return tsioStatus::kSuccess;
    }
  }
  // A read the unit queued and asked ahead: its answer, once.
  if (!lead && !write_ && TakeUnitAnswer()) {
    rows_ = PQntuples(res_.get());
    row_ = -1;
    return tsioStatus::kSuccess;
  }
  // The same read with the same values, asked again in the same read-only
  // snapshot while nothing has been written and no lock taken through the
  // connection, within the time a cursor serves what it read ahead:
  // answered as before, without asking the server. (The epoch moves when a
  // snapshot begins or ends, so an answer kept is always of this one.)
  const auto now = std::chrono::steady_clock::now();
  const bool snapshot = conn_->InReadSnapshot();
  if (!lead && snapshot && kept_ && kept_epoch_ == conn_->Epoch() && kept_table_epoch_ == conn_->TableEpoch(table_) &&
      now - kept_at_ < kKeptFor && kept_values_ == values_) {
    res_ = kept_;
    rows_ = PQntuples(res_.get());
    row_ = -1;
    return tsioStatus::kSuccess;
  }
  if (!lead && snapshot && kept_ && kept_epoch_ == conn_->Epoch() &&
      kept_table_epoch_ == conn_->TableEpoch(table_) && kept_values_ == values_) {
    tsioNoteAgedAnswer();
  }
  kept_.reset();
  Ready();
  tsioStatus::Status st;
  res_.reset(conn_->Run(*this, &st, lead, lead_result), PQclear);
  if (!res_) return st;
  rows_ = PQntuples(res_.get());
  row_ = -1;
  if (keeps_ && snapshot && rows_ <= kMostKeptRows) {
    kept_ = res_;
    kept_values_ = values_;
    kept_epoch_ = conn_->Epoch();
    kept_table_epoch_ = conn_->TableEpoch(table_);
    kept_at_ = now;
  }
  if (for_command && rows_ <= kMostKeptRows) KeepForCommand(values_, res_);
  return tsioStatus::kSuccess;
}

const PgStatement::CommandAnswer* PgStatement::CommandAnswerFor(const std::vector<std::string>& values) const {
  for (const CommandAnswer& a : command_answers_) {
    if (a.command == conn_->Command() && a.table_epoch == conn_->TableEpoch(table_) &&
        a.snapshot == conn_->Snapshot() && a.values == values) {
      return &a;
    }
  }
  return nullptr;
}

void PgStatement::KeepForCommand(std::vector<std::string> values, std::shared_ptr<PGresult> result) {
  const uint64_t command = conn_->Command();
  // Answers of an ended command, or from before a write, answer nothing.
  const uint64_t snapshot = conn_->Snapshot();
  std::erase_if(command_answers_, [&](const CommandAnswer& a) {
    return a.command != command || a.table_epoch != conn_->TableEpoch(table_) || a.snapshot != snapshot ||
           a.values == values;
  });
  if (command_answers_.size() >= kMostCommandAnswers) command_answers_.erase(command_answers_.begin());
  command_answers_.push_back(
      CommandAnswer{std::move(values), std::move(result), command, conn_->TableEpoch(table_), snapshot});
}

tsioStatus::Status PgConnection::SendWrite(PgStatement& q, bool judged) {
  if (broken_ || PQstatus(conn_) != CONNECTION_OK) {
    broken_ = true;
    last_error_ = "the connection to the server was lost";
    return tsioStatus::kIOError;
  }
  if (PQpipelineStatus(conn_) == PQ_PIPELINE_OFF && PQenterPipelineMode(conn_) != 1) return Lost();
  PgStatement& sent_as = judged ? q.Judged() : q;
  Unread u;
  u.write = &sent_as;
  u.judged = judged;
  u.outside = !InTransaction();
  u.answers = 0;
  bool sent = true;
  for (const std::string& p : pending_) {
    sent = sent && PQsendQueryParams(conn_, p.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    ++u.answers;
  }
  // The transaction the pending BEGIN opens is open on the server now.
  if (BeginPending()) tx_ = PQTRANS_INTRANS;
  pending_.clear();
  if (!sent_as.prepared_) {
    sent = sent && PQsendPrepare(conn_, sent_as.name_.c_str(), sent_as.sql_.c_str(), 0, nullptr) == 1;
    u.prepare_at = u.answers++;
    sent_as.prepared_ = true;  // taken back when the answer says otherwise
  }
  sent = sent && PQsendQueryPrepared(conn_, sent_as.name_.c_str(), static_cast<int>(q.values_.size()),
                                     q.ptrs_.data(), nullptr, nullptr, 0) == 1;
  ++u.answers;
  if (!sent || PQpipelineSync(conn_) != 1) return Lost();
  if (TraceRoundTrips()) std::fprintf(stderr, "sent without waiting:\n  %s\n", sent_as.sql_.c_str());
  u.seq = ++last_write_;
  changes_ = -1;  // known when the answer is read
  unread_.push_back(u);
  if (unread_.size() >= kMostUnread) {
    std::vector<Request> none;
    return Pipeline(none);
  }
  return tsioStatus::kSuccess;
}

bool PgStatement::UnitAnswerStands(const UnitAnswer& a) const {
  const uint64_t unit = conn_->Unit();
  if (unit == 0 || a.unit != unit) return false;
  if (a.lock != 0) return conn_->HoldsLock(a.lock);
  return a.guard == conn_->UnitGuard() && a.table_epoch == conn_->TableEpoch(table_);
}

bool PgStatement::TakeUnitAnswer() {
  if (unit_answers_.empty()) return false;
  for (auto it = unit_answers_.begin(); it != unit_answers_.end(); ++it) {
    if (it->values == values_ && UnitAnswerStands(*it)) {
      res_ = std::move(it->result);
      unit_answers_.erase(it);
      return true;
    }
  }
  // Answers of an ended unit, from before a write or lock, or tied to a
  // lock given back, answer nothing.
  std::erase_if(unit_answers_, [&](const UnitAnswer& a) { return !UnitAnswerStands(a); });
  return false;
}

void PgStatement::KeepForUnit(std::vector<std::string> values, std::shared_ptr<PGresult> result, uint64_t lock) {
  std::erase_if(unit_answers_, [&](const UnitAnswer& a) { return a.values == values || !UnitAnswerStands(a); });
  if (unit_answers_.size() >= kMostCommandAnswers) unit_answers_.erase(unit_answers_.begin());
  unit_answers_.push_back(UnitAnswer{std::move(values), std::move(result), conn_->Unit(), conn_->TableEpoch(table_),
                                     conn_->UnitGuard(), lock});
}

void PgConnection::Prefetch(tsioBackendStatement& stmt) {
  auto& q = static_cast<PgStatement&>(stmt);
  if (!q.keeps_) return;
  // In a writing unit: a read the unit makes before its next write.
  std::vector<Queued>& queue = KeptForCommand(q.table_) ? prefetch_ : unit_queue_;
  if (&queue == &unit_queue_ && Unit() == 0) return;
  if (&queue == &prefetch_ && q.CommandAnswerFor(q.values_)) return;
  for (const Queued& p : queue) {
    if (p.q == &q && p.values == q.values_) return;
  }
  queue.push_back(Queued{&q, q.values_});
}

void PgConnection::AppendReads(std::vector<Queued>& queued, std::vector<Request>* reqs,
                               std::vector<std::vector<const char*>>* ptrs, std::vector<size_t>* at) {
  // Each read with its values, its statement prepared in the same request
  // when the server does not hold it yet.
  ptrs->resize(queued.size());
  at->resize(queued.size());
  std::unordered_set<const PgStatement*> preparing;
  for (size_t i = 0; i < queued.size(); ++i) {
    PgStatement* q = queued[i].q;
    if (!q->prepared_ && preparing.insert(q).second) {
      reqs->emplace_back(Request::kPrepare, q->sql_.c_str(), q->name_.c_str());
    }
    for (const std::string& v : queued[i].values) (*ptrs)[i].push_back(v.c_str());
    (*at)[i] = reqs->size();
    reqs->emplace_back(Request::kExecute, nullptr, q->name_.c_str());
    reqs->back().n = static_cast<int>((*ptrs)[i].size());
    reqs->back().values = (*ptrs)[i].data();
  }
}

void PgConnection::KeepAnswers(std::vector<Queued>& queued, std::vector<Request>& reqs, const std::vector<size_t>& at,
                               bool for_command) {
  for (size_t i = 0; i < reqs.size(); ++i) {
    if (reqs[i].kind == Request::kPrepare && reqs[i].Ok()) {
      for (const Queued& p : queued) {
        if (p.q->name_ == reqs[i].name) p.q->prepared_ = true;
      }
    }
  }
  // Locks queued (QueueLockThenRead) were taken in the same request, after
  // the reads before them. Each guards the table its read after it reads:
  // what was read of those tables before it ends with it (a lock whose
  // table is not known ends everything read before it), as when a lock is
  // taken with its read (LockThenStep). The reads tied to a lock are kept
  // only when it was taken, each for as long as it is held.
  const bool locks = std::any_of(queued.begin(), queued.end(), [](const Queued& p) { return p.lock_owner; });
  std::unordered_set<std::string> guarded;
  bool unknown = false;
  for (size_t i = 0; i < queued.size(); ++i) {
    if (!queued[i].lock_owner) continue;
    const std::string table = i + 1 < queued.size() ? queued[i + 1].q->table_ : "";
    if (table.empty()) unknown = true;
    else guarded.insert(table);
  }
  if (locks) {
    ++epoch_;
    if (unknown) ++unit_guard_;
    for (const std::string& table : guarded) ++table_epochs_[table];
  }
  uint64_t lock = 0;  // the lock the reads below are tied to (0: none)
  bool taken = true;
  for (size_t i = 0; i < queued.size(); ++i) {
    Request& r = reqs[at[i]];
    if (lock == 0 && !queued[i].lock_owner && (unknown || guarded.count(queued[i].q->table_))) continue;
    if (queued[i].lock_owner) {
      lock = queued[i].lock_id;
      taken = r.Ok() && PQntuples(r.result.get()) == 1 && *PQgetvalue(r.result.get(), 0, 0) == 't';
      if (taken && owners_.emplace(lock, queued[i].lock_owner).second) {
        pretaken_.insert(lock);
      } else if (r.Ok() && !taken) {
        AnotherProgramMet();
      }
      continue;
    }
    if (!taken || !r.Ok() || PQntuples(r.result.get()) > kMostKeptRows) continue;
    std::shared_ptr<PGresult> answer(r.result.release(), PQclear);
    if (for_command) {
      queued[i].q->KeepForCommand(std::move(queued[i].values), std::move(answer));
    } else {
      queued[i].q->KeepForUnit(std::move(queued[i].values), std::move(answer), lock);
    }
  }
}

void PgConnection::PrefetchNow() {
  if (!unit_queue_.empty() && Unit() != 0 && !broken_) {
    std::vector<Queued> queued;
    queued.swap(unit_queue_);
    std::vector<Request> reqs;
    std::vector<std::vector<const char*>> ptrs;
    std::vector<size_t> at;
    AppendReads(queued, &reqs, &ptrs, &at);
    (void)Send(&reqs);  // a read that fails is not kept; its own read meets the failure
    KeepAnswers(queued, reqs, at, false);
  }
  std::vector<Queued> queued;
  queued.swap(prefetch_);
  if (queued.empty() || broken_) return;
  for (const Queued& p : queued) {
    if (!KeptForCommand(p.q->table_)) return;  // a transaction began since
  }
  std::vector<Request> reqs;
  std::vector<std::vector<const char*>> ptrs;
  std::vector<size_t> at;
  AppendReads(queued, &reqs, &ptrs, &at);
  // A read that fails is not kept; its own step meets the failure.
  (void)Send(&reqs);
  KeepAnswers(queued, reqs, at, true);
}

short PgStatement::Step() {
  if (!res_) {
    const tsioStatus::Status st = Execute(nullptr, nullptr);
    if (st != tsioStatus::kSuccess) return static_cast<short>(st);
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
  tsioStatus::Status LockThenStep(uint64_t id, tsioBackendStatement& then, short* step) override {
    return conn_->LockThenStep(this, id, static_cast<PgStatement&>(then), step);
  }
  void PrefetchLockThenStep(uint64_t id, tsioBackendStatement& then) override {
    conn_->QueueLockThenRead(this, id, static_cast<PgStatement&>(then));
  }
  void Unlock(uint64_t id) override { conn_->Unlock(this, id); }
  tsioStatus::Status TestOther(uint64_t id) override { return conn_->TestOther(this, id); }

 private:
  PgConnection* conn_;
};

tsioStatus::Status PgConnection::LockThenStep(const void* owner, uint64_t id, PgStatement& then, short* step) {
  auto it = owners_.find(id);
  if (it != owners_.end()) {
    if (it->second != owner) return tsioStatus::kLocked;
    pretaken_.erase(id);  // taken ahead: `then` answers from its read asked after it
    *step = then.Step();
    return tsioStatus::kSuccess;
  }
  tsioStatus::Status st;
  auto* lock = static_cast<PgStatement*>(Prepare("SELECT pg_try_advisory_lock(?)", &st));
  if (!lock) return LockNotAsked();
  lock->BindInt(1, static_cast<int64_t>(id));
  PGresult* answer = nullptr;
  // The lock guards the record `then` reads: answers of its table read
  // ahead before it end (those asked with it, after it, stand).
  if (!then.table_.empty()) ++table_epochs_[then.table_];
  st = then.Execute(lock, &answer);
  if (!answer) {
    // The lock's own request failed (or nothing was sent): not taken.
    ++unit_guard_;
    then.Reset();
    return LockNotAsked();
  }
  const bool taken = PQntuples(answer) == 1 && *PQgetvalue(answer, 0, 0) == 't';
  PQclear(answer);
  if (!taken) {
    // The reads asked with it count only when it was taken.
    ++unit_guard_;
    then.Reset();
    AnotherProgramMet();
    return tsioStatus::kLocked;
  }
  owners_.emplace(id, owner);
  // Taken, whether the statement after it went through or not.
  *step = st == tsioStatus::kSuccess ? then.Step() : static_cast<short>(st);
  return tsioStatus::kSuccess;
}

void PgConnection::QueueLockThenRead(const void* owner, uint64_t id, PgStatement& then) {
  if (Unit() == 0 || broken_ || owners_.count(id)) return;
  tsioStatus::Status st;
  auto* lock = static_cast<PgStatement*>(Prepare("SELECT pg_try_advisory_lock(?)", &st));
  if (!lock) return;
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, static_cast<int64_t>(id));
  unit_queue_.push_back(Queued{lock, {std::string(buf, r.ptr)}, owner, id});
  unit_queue_.push_back(Queued{&then, then.values_});
}

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
  // Waits for another program's row locks give up after 5 s, set with the
  // connection rather than by a statement of its own; the address's own
  // options (else PGOPTIONS, as libpq takes them) come after it, and the
  // later setting wins.
  std::string options = "-c lock_timeout=5s";
  std::string given;
  if (const char* env = std::getenv("PGOPTIONS"); env && *env) given = env;
  for (PQconninfoOption* o = opts; o->keyword; ++o) {
    if (!o->val) continue;
    if (dbname && std::strcmp(o->keyword, "dbname") == 0) continue;
    if (std::strcmp(o->keyword, "options") == 0) {
      given = o->val;
      continue;
    }
    timeout = timeout || std::strcmp(o->keyword, "connect_timeout") == 0;
    keys.push_back(o->keyword);
    values.push_back(o->val);
  }
  if (!given.empty()) options += " " + given;
  keys.push_back("options");
  values.push_back(options.c_str());
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
  g_connections.fetch_add(1, std::memory_order_relaxed);
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
  g_round_trips.fetch_add(1, std::memory_order_relaxed);
  bool exists = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0;
  PQclear(r);
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (!exists) {
    char* quoted = PQescapeIdentifier(c, name.c_str(), name.size());
    std::string sql = std::string("CREATE DATABASE ") + (quoted ? quoted : "\"\"") +
                      " TEMPLATE template0 ENCODING 'SQL_ASCII' LC_COLLATE 'C' LC_CTYPE 'C'";
    PQfreemem(quoted);
    r = PQexec(c, sql.c_str());
    g_round_trips.fetch_add(1, std::memory_order_relaxed);
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

// Owners of libpq's handles.
struct PgConnHandle {
  PGconn* c = nullptr;
  ~PgConnHandle() {
    if (c) PQfinish(c);
  }
};
struct PgResultHandle {
  PGresult* r = nullptr;
  ~PgResultHandle() { PQclear(r); }
  int Rows() const { return PQntuples(r); }
  std::string Get(int row, int col) const {
    return std::string(PQgetvalue(r, row, col), static_cast<size_t>(PQgetlength(r, row, col)));
  }
};

// Runs `sql` with text parameters; false (with the server's message in
// `*error`) when it fails.
bool Query(PGconn* c, const char* sql, const std::vector<std::string>& params, PgResultHandle* out,
           std::string* error) {
  std::vector<const char*> values;
  for (const auto& p : params) values.push_back(p.c_str());
  PQclear(out->r);
  out->r = PQexecParams(c, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
  g_round_trips.fetch_add(1, std::memory_order_relaxed);
  const ExecStatusType t = PQresultStatus(out->r);
  if (t == PGRES_COMMAND_OK || t == PGRES_TUPLES_OK) return true;
  *error = out->r ? PQresultErrorMessage(out->r) : PQerrorMessage(c);
  while (!error->empty() && error->back() == '\n') error->pop_back();
  return false;
}

tsioStatus::Status StatusOf(PGconn* c, const PgResultHandle& r) {
  if (PQstatus(c) != CONNECTION_OK) return tsioStatus::kIOError;
  const tsioStatus::Status st = MapSqlState(r.r ? PQresultErrorField(r.r, PG_DIAG_SQLSTATE) : nullptr);
  return st == tsioStatus::kSuccess ? tsioStatus::kIOError : st;
}

std::string QuoteName(const std::string& name) {
  std::string q = "\"";
  for (char ch : name) q += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return q + "\"";
}

// The company's tables (in the connection's current schema), by name, with
// their object ids.
const char* const kTablesSql =
    "SELECT c.relname, c.oid FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
    "WHERE c.relkind = 'r' AND n.nspname = current_schema() ORDER BY c.relname";

// A server table's columns as SQLite declares them (see ColumnDdl in
// company.cc): TEXT or INTEGER, NOT NULL, the same default.
struct BackupColumn {
  std::string name;
  bool text = false;
  std::string ddl;
};

bool ColumnForSqlite(const std::string& name, const std::string& type, bool not_null, const std::string& default_sql,
                     BackupColumn* out) {
  out->name = name;
  if (type == "text" || type == "varchar" || type == "bpchar") {
    out->text = true;
  } else if (type == "int8" || type == "int4" || type == "int2") {
    out->text = false;
  } else {
    return false;
  }
  out->ddl = QuoteName(name) + (out->text ? " TEXT" : " INTEGER") + (not_null ? " NOT NULL" : "");
  if (default_sql.empty()) return true;
  // The server shows a default as a literal with casts: "''::text",
  // "0", "'-1'::integer".
  std::string literal = default_sql;
  if (!literal.empty() && literal[0] == '\'') {
    size_t i = 1;
    for (; i < literal.size(); ++i) {
      if (literal[i] == '\'' && (i + 1 >= literal.size() || literal[i + 1] != '\'')) break;
      if (literal[i] == '\'') ++i;
    }
    if (i >= literal.size()) return false;
    literal = literal.substr(0, i + 1);
  } else {
    literal = literal.substr(0, literal.find("::"));
  }
  if (!out->text) {
    if (literal.size() >= 2 && literal.front() == '\'') literal = literal.substr(1, literal.size() - 2);
    if (literal.empty() || literal.find_first_not_of("-0123456789") != std::string::npos) return false;
  } else if (literal.empty() || literal.front() != '\'') {
    return false;
  }
  out->ddl += " DEFAULT " + literal;
  return true;
}

// Copies the tables, indexes and rows `src` sees (its transaction's
// snapshot) into the SQLite database `dest`.
tsioStatus::Status CopyTables(PGconn* src, tsioBackendConnection& dest, std::string* error) {
  PgResultHandle tables;
  if (!Query(src, kTablesSql, {}, &tables, error)) return StatusOf(src, tables);
  tsioStatus::Status st = dest.BeginWrite();
  if (st != tsioStatus::kSuccess) {
    *error = dest.LastError();
    return st;
  }
  for (int t = 0; st == tsioStatus::kSuccess && t < tables.Rows(); ++t) {
    const std::string table = tables.Get(t, 0);
    const std::string oid = tables.Get(t, 1);
    PgResultHandle cols;
    if (!Query(src,
               "SELECT a.attname, ty.typname, a.attnotnull, COALESCE(pg_get_expr(d.adbin, d.adrelid), '') "
               "FROM pg_attribute a JOIN pg_type ty ON ty.oid = a.atttypid "
               "LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
               "WHERE a.attrelid = $1::oid AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum",
               {oid}, &cols, error)) {
      return StatusOf(src, cols);
    }
    std::vector<BackupColumn> columns(static_cast<size_t>(cols.Rows()));
    for (int i = 0; i < cols.Rows(); ++i) {
      if (!ColumnForSqlite(cols.Get(i, 0), cols.Get(i, 1), cols.Get(i, 2) == "t", cols.Get(i, 3),
                           &columns[static_cast<size_t>(i)])) {
        *error = "table " + table + ": column " + cols.Get(i, 0) + " of type " + cols.Get(i, 1) + " default '" +
                 cols.Get(i, 3) + "' has no SQLite form";
        return tsioStatus::kInvalidOperation;
      }
    }
    PgResultHandle index_cols;
    if (!Query(src,
               "SELECT i.relname, x.indisprimary, x.indisunique, a.attname FROM pg_index x "
               "JOIN pg_class i ON i.oid = x.indexrelid "
               "CROSS JOIN LATERAL unnest(x.indkey::int2[]) WITH ORDINALITY AS k(attnum, ord) "
               "JOIN pg_attribute a ON a.attrelid = x.indrelid AND a.attnum = k.attnum "
               "WHERE x.indrelid = $1::oid ORDER BY x.indisprimary DESC, i.relname, k.ord",
               {oid}, &index_cols, error)) {
      return StatusOf(src, index_cols);
    }
    std::vector<std::string> key;
    std::vector<std::string> indexes;
    std::string current;
    for (int i = 0; i < index_cols.Rows(); ++i) {
      const std::string column = QuoteName(index_cols.Get(i, 3));
      if (index_cols.Get(i, 1) == "t") {
        key.push_back(column);
        continue;
      }
      const std::string name = index_cols.Get(i, 0);
      if (name != current) {
        current = name;
        indexes.push_back(std::string(index_cols.Get(i, 2) == "t" ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                          QuoteName(name) + " ON " + QuoteName(table) + "(" + column);
      } else {
        indexes.back() += "," + column;
      }
    }
    // Declared as company.cc declares it: a header table's key "hdr" is
    // SQLite's row id; every other keyed table has none.
    const bool header = key.size() == 1 && key[0] == "\"hdr\"";
    std::string ddl = "CREATE TABLE " + QuoteName(table) + "(";
    for (size_t i = 0; i < columns.size(); ++i) {
      ddl += (i ? ", " : "") + (header && columns[i].name == "hdr" ? "\"hdr\" INTEGER PRIMARY KEY" : columns[i].ddl);
    }
    if (!key.empty() && !header) {
      ddl += ", PRIMARY KEY(";
      for (size_t i = 0; i < key.size(); ++i) ddl += (i ? "," : "") + key[i];
      ddl += ")";
    }
    ddl += ")";
    if (!key.empty() && !header) ddl += " WITHOUT ROWID";
    st = dest.Exec(ddl);
    for (auto& ix : indexes) {
      if (st == tsioStatus::kSuccess) st = dest.Exec(ix + ")");
    }
    if (st != tsioStatus::kSuccess) {
      *error = dest.LastError();
      break;
    }

    // The rows, a batch at a time through a cursor of the snapshot.
    std::string select = "SELECT ";
    std::string insert = "INSERT INTO " + QuoteName(table) + "(";
    std::string marks;
    for (size_t i = 0; i < columns.size(); ++i) {
      select += (i ? ", " : "") + QuoteName(columns[i].name);
      insert += (i ? ", " : "") + QuoteName(columns[i].name);
      marks += (i ? ", ?" : "?") + std::to_string(i + 1);
    }
    if (columns.empty()) continue;
    tsioBackendStatement* put = dest.Prepare(insert + ") VALUES (" + marks + ")", &st);
    if (!put) {
      *error = dest.LastError();
      break;
    }
    PgResultHandle batch;
    if (!Query(src, ("DECLARE tsio_backup NO SCROLL CURSOR FOR " + select + " FROM " + QuoteName(table)).c_str(), {},
               &batch, error)) {
      return StatusOf(src, batch);
    }
    for (;;) {
      if (!Query(src, "FETCH FORWARD 2000 FROM tsio_backup", {}, &batch, error)) return StatusOf(src, batch);
      if (batch.Rows() == 0) break;
      for (int r = 0; st == tsioStatus::kSuccess && r < batch.Rows(); ++r) {
        for (size_t i = 0; i < columns.size(); ++i) {
          const int col = static_cast<int>(i);
          if (PQgetisnull(batch.r, r, col)) {
            *error = "table " + table + ": a NULL in column " + columns[i].name;
            return tsioStatus::kInvalidOperation;
          }
          if (columns[i].text) {
            put->Bind(col + 1, tsCell::Text(batch.Get(r, col)));
          } else {
            put->BindInt(col + 1, std::strtoll(PQgetvalue(batch.r, r, col), nullptr, 10));
          }
        }
        const short step = put->Step();
        put->Reset();
        if (step != tsioBackendStatement::kDone) {
          st = static_cast<tsioStatus::Status>(step);
          *error = dest.LastError();
        }
      }
      if (st != tsioStatus::kSuccess) break;
    }
    if (!Query(src, "CLOSE tsio_backup", {}, &batch, error)) return StatusOf(src, batch);
  }
  if (st == tsioStatus::kSuccess) st = dest.Exec("COMMIT");
  if (st != tsioStatus::kSuccess) {
    if (error->empty()) *error = dest.LastError();
    (void)dest.Exec("ROLLBACK");
    return st;
  }
  // A self-contained file: no write-ahead log beside it.
  st = dest.Exec("PRAGMA journal_mode=DELETE");
  if (st != tsioStatus::kSuccess) *error = dest.LastError();
  return st;
}

}  // namespace

bool tsioIsServerAddress(const std::string& folder) {
  return folder.rfind("postgresql://", 0) == 0 || folder.rfind("postgres://", 0) == 0;
}

std::string tsioAddressForLog(const std::string& folder) {
  if (!tsioIsServerAddress(folder)) return folder;
  std::string out = folder;
  // "user:password@host": the password goes.
  const size_t scheme = out.find("://") + 3;
  const size_t at = out.find('@', scheme);
  const size_t end = out.find_first_of("/?", scheme);
  if (at != std::string::npos && (end == std::string::npos || at < end)) {
    const size_t colon = out.find(':', scheme);
    if (colon != std::string::npos && colon < at) out.erase(colon, at - colon);
  }
  // "?password=...&..." (the name may be written with %-escapes): the
  // parameter goes.
  const size_t query = out.find('?', scheme);
  if (query == std::string::npos) return out;
  auto decoded = [](const std::string& text) {
    std::string d;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
          std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
        d += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        d += text[i];
      }
    }
    return d;
  };
  std::string kept;
  size_t from = query + 1;
  while (from <= out.size()) {
    size_t amp = out.find('&', from);
    if (amp == std::string::npos) amp = out.size();
    const std::string param = out.substr(from, amp - from);
    if (decoded(param.substr(0, param.find('='))) != "password" && !param.empty()) {
      kept += (kept.empty() ? "" : "&") + param;
    }
    from = amp + 1;
  }
  return out.substr(0, query) + (kept.empty() ? "" : "?" + kept);
}

tsioRoundTripCount tsioServerRoundTrips() {
  return {g_round_trips.load(std::memory_order_relaxed), g_connections.load(std::memory_order_relaxed),
          g_aged.load(std::memory_order_relaxed)};
}

void tsioNoteAgedAnswer() { g_aged.fetch_add(1, std::memory_order_relaxed); }

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
  *status = tsioStatus::kSuccess;
  return std::make_unique<PgConnection>(c, address);
}

tsioStatus::Status PgConnection::BackupTo(const std::string& path) {
  // Made here first, so the copy is the owner's only and a link planted at
  // `path` is refused rather than followed.
  const int fd = tsOpenPrivateFile(path, O_WRONLY | O_CREAT | O_EXCL);
  if (fd < 0) return errno == EEXIST ? tsioStatus::kDuplicateKey : tsioStatus::kIOError;
  close(fd);
  std::string error;
  tsioStatus::Status st = tsioStatus::kSuccess;
  {
    // The snapshot is read on a connection of its own, so this program's
    // units of work and locks are untouched by it.
    PgConnHandle src{Connect(address_, nullptr)};
    std::unique_ptr<tsioBackendConnection> dest = tsioOpenSqliteConnection(path, true, &st);
    if (!src.c || PQstatus(src.c) != CONNECTION_OK) {
      st = tsioStatus::kIOError;
      error = src.c ? PQerrorMessage(src.c) : "cannot connect";
    } else if (dest) {
      PgResultHandle r;
      if (!Query(src.c, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", {}, &r, &error)) {
        st = StatusOf(src.c, r);
      } else {
        st = CopyTables(src.c, *dest, &error);
      }
    } else {
      error = "cannot create " + path;
    }
  }
  if (st != tsioStatus::kSuccess) {
    last_error_ = error;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) unlink((path + suffix).c_str());
  }
  return st;
}

tsioStatus::Status PgConnection::CheckIntegrity(int limit, bool quick, std::vector<std::string>* problems) {
  // On a connection of its own: a check that fails must not spoil a
  // transaction of this program's.
  PgConnHandle c{Connect(address_, nullptr)};
  if (!c.c || PQstatus(c.c) != CONNECTION_OK) {
    last_error_ = c.c ? PQerrorMessage(c.c) : "cannot connect";
    return tsioStatus::kIOError;
  }
  size_t found = 0;
  auto problem = [&](const std::string& text) {
    if (found++ < static_cast<size_t>(limit)) problems->push_back(text);
  };
  std::string error;
  PgResultHandle tables;
  if (!Query(c.c, kTablesSql, {}, &tables, &error)) {
    last_error_ = error;
    return StatusOf(c.c, tables);
  }
  // Every table read whole: every page of it passes the server's checks.
  for (int t = 0; t < tables.Rows(); ++t) {
    PgResultHandle r;
    if (!Query(c.c, ("SELECT count(*) FROM " + QuoteName(tables.Get(t, 0))).c_str(), {}, &r, &error)) {
      if (PQstatus(c.c) != CONNECTION_OK) return tsioStatus::kIOError;
      problem("table " + tables.Get(t, 0) + ": " + error);
    }
  }
  // The structure checks, where amcheck is there or can be installed.
  PgResultHandle ext;
  std::string schema;
  for (int attempt = 0; attempt < 2 && schema.empty(); ++attempt) {
    // (Another program may install it at the same moment: looked up again
    // whether this one's install succeeded or not.)
    if (attempt == 1) (void)Query(c.c, "CREATE EXTENSION IF NOT EXISTS amcheck", {}, &ext, &error);
    if (!Query(c.c,
               "SELECT n.nspname FROM pg_extension e JOIN pg_namespace n ON n.oid = e.extnamespace "
               "WHERE e.extname = 'amcheck'",
               {}, &ext, &error)) {
      break;
    }
    if (ext.Rows() > 0) schema = QuoteName(ext.Get(0, 0)) + ".";
  }
  if (schema.empty()) {
    x_log(1, "integrity check: the server's amcheck extension is not installed in the company's database (a "
             "superuser installs it with CREATE EXTENSION amcheck); the tables were read, their indexes not checked");
    return tsioStatus::kSuccess;
  }
  for (int t = 0; t < tables.Rows(); ++t) {
    PgResultHandle r;
    if (!Query(c.c, ("SELECT blkno, offnum, msg FROM " + schema + "verify_heapam($1::oid::regclass)").c_str(),
               {tables.Get(t, 1)}, &r, &error)) {
      if (PQstatus(c.c) != CONNECTION_OK) return tsioStatus::kIOError;
      problem("table " + tables.Get(t, 0) + ": " + error);
      continue;
    }
    for (int i = 0; i < r.Rows(); ++i) {
      problem("table " + tables.Get(t, 0) + " page " + r.Get(i, 0) + " item " + r.Get(i, 1) + ": " + r.Get(i, 2));
    }
  }
  PgResultHandle indexes;
  if (!Query(c.c,
             "SELECT i.relname, i.oid FROM pg_index x JOIN pg_class i ON i.oid = x.indexrelid "
             "JOIN pg_class t ON t.oid = x.indrelid JOIN pg_namespace n ON n.oid = t.relnamespace "
             "JOIN pg_am am ON am.oid = i.relam "
             "WHERE n.nspname = current_schema() AND t.relkind = 'r' AND am.amname = 'btree' ORDER BY i.relname",
             {}, &indexes, &error)) {
    last_error_ = error;
    return StatusOf(c.c, indexes);
  }
  for (int i = 0; i < indexes.Rows(); ++i) {
    PgResultHandle r;
    if (!Query(c.c, ("SELECT " + schema + "bt_index_check($1::oid::regclass, $2::boolean)").c_str(),
               {indexes.Get(i, 1), quick ? "false" : "true"}, &r, &error)) {
      if (PQstatus(c.c) != CONNECTION_OK) return tsioStatus::kIOError;
      problem("index " + indexes.Get(i, 0) + ": " + error);
    }
  }
  return tsioStatus::kSuccess;
}
