// The server backend's round trips and its failures: requests that go
// together cost one wait, a write the server refuses (even to prepare)
// fails alone inside a unit, and a connection the server ends fails every
// later request, keeps nothing of its open transaction and frees its locks;
// a lock and the read it guards go together, and a lock given back is free
// to others at once; answers kept or read ahead never outlive what they may.
// (Cursors reading ahead on a server, with writes and locks of another
// handle between their steps: the cursor model of cursor_model_test.)
// Each test runs against the PostgreSQL test server only.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>
#include <string>

#include "framework/io/backend.h"
#include "framework/io/company.h"
#include "framework/io/counters.h"
#include "framework/io/cursor.h"
#include "framework/io/file_manager.h"
#include "framework/io/io_test_support.h"
#include "framework/io/rollback_stack.h"
#include "tests/support/test_support.h"

namespace {

using iotest::FromRecord;
using iotest::Row;
using iotest::ToRecord;
constexpr short kRow = tsioBackendStatement::kRow;
constexpr short kDone = tsioBackendStatement::kDone;

uint64_t Trips() { return tsioServerRoundTrips().round_trips; }

// Runs `sql` with parameter 1 = `key`: the step's answer.
short Step(tsioBackendConnection& db, const std::string& sql, const std::string& key) {
  tsioStatus::Status st;
  tsioBackendStatement* q = db.Prepare(sql, &st);
  if (!q) return static_cast<short>(st);
  q->Bind(1, tsCell::Text(key));
  const short step = q->Step();
  q->Reset();
  return step;
}

int64_t Count(tsioBackendConnection& db) {
  tsioStatus::Status st;
  tsioBackendStatement* q = db.Prepare("SELECT count(*) FROM \"f_TST_1_r1\"", &st);
  int64_t n = -1;
  if (q && q->Step() == kRow) n = q->ColumnInt(0);
  if (q) q->Reset();
  return n;
}

const char* const kInsert = "INSERT INTO \"f_TST_1_r1\"(\"K1\", \"K2\") VALUES (?1, 1)";
const std::string kOtherInsert = "INSERT INTO \"f_TST_1_r1\"(\"K1\", \"K2\") VALUES ('";
const char* const kProbe = "SELECT \"K1\" FROM \"f_TST_1_r1\" WHERE \"K1\"=?1";

// A server company with the test files, the program's connection to it and
// another program's connection (`other`, plain libpq).
class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bktest::OnServer()) GTEST_SKIP() << "needs the PostgreSQL test server";
    iotest::MakeCompany(dir.path());
    company = Open();
    ASSERT_NE(company, nullptr);
    other = PQconnectdb(dir.path().c_str());
    ASSERT_EQ(PQstatus(other), CONNECTION_OK) << PQerrorMessage(other);
  }
  void TearDown() override {
    if (other) PQfinish(other);
  }
  std::shared_ptr<tsioCompany> Open() {
    tsioStatus::Status st;
    return tsioCompany::Open(dir.path(), false, &st);
  }
  tsioBackendConnection& db() { return company->Db(); }
  std::unique_ptr<tsioBackendLocks> Locks() {
    tsioStatus::Status st;
    auto locks = db().OpenLocks("", &st);
    EXPECT_NE(locks, nullptr);
    return locks;
  }
  // The other program's statement: the first value of its answer ("" when
  // it has none).
  std::string Ask(const std::string& sql) {
    PGresult* r = PQexec(other, sql.c_str());
    std::string answer = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0 ? PQgetvalue(r, 0, 0) : "";
    PQclear(r);
    return answer;
  }
  // Whether the other program can take advisory lock `id` (given back at once).
  bool LockFree(int id) {
    const std::string n = std::to_string(id);
    return Ask("SELECT CASE WHEN pg_try_advisory_lock(" + n + ") THEN pg_advisory_unlock(" + n + ") ELSE false END") ==
           "t";
  }
  // Queues the probe of key `k` (Prefetch).
  void Queue(const std::string& k) {
    tsioStatus::Status st;
    tsioBackendStatement* probe = db().Prepare(kProbe, &st);
    probe->Bind(1, tsCell::Text(k));
    db().Prefetch(*probe);
  }
  // Queues lock `id` of MyLocks and after it the probe of key `k`.
  void QueueAhead(uint64_t id, const std::string& k) {
    tsioStatus::Status st;
    tsioBackendStatement* probe = db().Prepare(kProbe, &st);
    probe->Bind(1, tsCell::Text(k));
    MyLocks().PrefetchLockThenStep(id, *probe);
  }
  // This program's record locks (made when first asked for).
  tsioBackendLocks& MyLocks() {
    if (!locks_) locks_ = Locks();
    return *locks_;
  }
  // Runs `script`, requests separated by "|", each checked: BEGIN begins a
  // writing unit, READ a read-only snapshot; "+K" inserts key K, "!K" is
  // refused as a duplicate; "#N" counts N rows; "?K" finds key K, "-K" does
  // not; "*K": the other program inserts and commits key K. "lock N" takes
  // lock N (MyLocks), "unlock N" gives it back; "held N" and "freed N": the
  // other program takes lock N and gives it back; "free N" and "taken N":
  // the other program could take lock N, or could not. "queue K" queues the
  // probe of key K, "ahead N K" queues lock N and after it that probe
  // (PrefetchLockThenStep), "prefetch" asks what is queued; "mark" notes the round trips
  // so far, "trips N": N round trips since; "pause" lets 150 ms go by.
  // Anything else is a statement that succeeds. A request ending in "=S"
  // answers status S instead. Returns the requests that answered otherwise,
  // with the answer.
  std::string Run(const std::string& script) {
    std::string failed;
    std::istringstream in(script);
    for (std::string step; std::getline(in, step, '|');) {
      const size_t eq = step.find('=', 1);
      const std::string request = step.substr(0, eq), arg = request.substr(1);
      const size_t space = std::min(request.find(' '), request.size());
      const std::string word = request.substr(0, space);
      const std::string n = space < request.size() ? request.substr(space + 1) : "";
      int64_t got = 0, want = 0;
      if (request == "BEGIN") got = db().BeginWrite();
      else if (request == "READ") got = db().BeginRead();
      else if (word == "lock") got = MyLocks().Lock(std::stoull(n));
      else if (word == "unlock") MyLocks().Unlock(std::stoull(n));
      else if (word == "held") (void)Ask("SELECT pg_advisory_lock(" + n + ")");
      else if (word == "freed") (void)Ask("SELECT pg_advisory_unlock(" + n + ")");
      else if (word == "queue") Queue(n);
      else if (word == "ahead") QueueAhead(std::stoull(n), n.substr(n.find(' ') + 1));
      else if (word == "free") got = iotest::Eventually([&] { return LockFree(std::stoi(n)); }), want = 1;
      else if (word == "taken") got = LockFree(std::stoi(n)), want = 0;
      else if (word == "prefetch") db().PrefetchNow();
      else if (word == "mark") mark_ = Trips();
      else if (word == "trips") got = static_cast<int64_t>(Trips() - mark_), want = std::stoll(n);
      else if (word == "pause") usleep(150000);
      else if (request[0] == '+') got = Step(db(), kInsert, arg), want = kDone;
      else if (request[0] == '!') got = Step(db(), kInsert, arg), want = tsioStatus::kDuplicateKey;
      else if (request[0] == '#') got = Count(db()), want = std::stoll(arg);
      else if (request[0] == '?') got = Step(db(), kProbe, arg), want = kRow;
      else if (request[0] == '-') got = Step(db(), kProbe, arg), want = kDone;
      else if (request[0] == '*') got = Ask(kOtherInsert + arg + "', 1) RETURNING 'in'") == "in";
      else got = db().Exec(request);
      if (request[0] == '*') want = 1;
      if (eq != std::string::npos) want = std::stoll(step.substr(eq + 1));
      if (got != want) failed += step + " answered " + std::to_string(got) + "; ";
    }
    return failed;
  }

  bktest::TestCompany dir;
  std::shared_ptr<tsioCompany> company;
  std::unique_ptr<tsioBackendLocks> locks_;
  uint64_t mark_ = 0;
  PGconn* other = nullptr;
};
using ServerRoundTrips = ServerTest;
using ServerCompanies = ServerTest;
using ServerLocks = ServerTest;
using ServerKeptAnswers = ServerTest;
using ServerCommandReads = ServerTest;
using ServerUnitReads = ServerTest;
using ServerAllOrNothing = ServerTest;

// What a unit of work costs in waits for the server: its BEGIN and
// savepoints travel with its first statement, a guarded write with its
// savepoint, a statement with its preparation; a unit that ran nothing
// costs nothing.
TEST_F(ServerRoundTrips, RequestsThatGoTogetherCostOneWait) {
  const struct {
    const char* what;
    const char* script;
  } cases[] = {
      {"a unit that runs nothing", "mark|BEGIN|SAVEPOINT u1|RELEASE u1|COMMIT|trips 0"},
      {"a unit rolled back before anything ran", "mark|BEGIN|SAVEPOINT u1|ROLLBACK|trips 0"},
      {"a unit with one write (its statement new)", "mark|BEGIN|SAVEPOINT u1|+A|RELEASE u1|COMMIT|trips 2"},
      {"a unit with two writes (the statement prepared)", "mark|BEGIN|+B|+C|COMMIT|trips 3"},
      {"a read outside a unit", "mark|#3|trips 1"},
      {"a refused write inside a unit, which goes on", "mark|BEGIN|!A|+D|COMMIT|trips 4"},
      {"a nested unit rolled back, its outer unit committed",
       "mark|BEGIN|+E|SAVEPOINT u2|+F|ROLLBACK TO u2|RELEASE u2|COMMIT|trips 4"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.script), "") << c.what;
    EXPECT_FALSE(db().InTransaction()) << c.what;
  }
  EXPECT_EQ(Count(db()), 5);
}

// A server company that is not there is "does not exist" until created;
// a server that cannot be reached is an I/O failure, not a missing company.
TEST_F(ServerCompanies, MissingDatabaseAndUnreachableServer) {
  bktest::TestCompany fresh;
  tsioStatus::Status st;
  EXPECT_EQ(tsioCompany::Open(fresh.path(), false, &st), nullptr);
  EXPECT_EQ(st, tsioStatus::kFileDoesNotExist);
  tsioFileManager fm(fresh.path());
  EXPECT_EQ(fm.Open(iotest::Spec()), tsioStatus::kFileDoesNotExist);
  ASSERT_EQ(fm.CreateCompany(), tsioStatus::kSuccess);
  EXPECT_EQ(fm.Open(iotest::Spec()), tsioStatus::kFileDoesNotExist);  // the company, but not that file
  ASSERT_EQ(fm.Create(iotest::Spec()), tsioStatus::kSuccess);
  EXPECT_EQ(fm.Open(iotest::Spec()), tsioStatus::kSuccess);

  EXPECT_EQ(tsioCompany::Open("postgresql://bk@127.0.0.1:1/nothing", true, &st), nullptr);
  EXPECT_EQ(st, tsioStatus::kIOError);
  EXPECT_EQ(tsioCompany::Open("postgresql://bk@127.0.0.1:1", true, &st), nullptr);
  EXPECT_EQ(st, tsioStatus::kFileDoesNotExist);  // an address without a database names no company
}

// A write whose statement the server will not even prepare (a table that
// is not there) fails alone inside a unit: the unit's other writes commit.
TEST_F(ServerCompanies, AWriteTheServerCannotPrepareFailsAlone) {
  ASSERT_EQ(Run("BEGIN|+before"), "");
  EXPECT_GT(Step(db(), "INSERT INTO \"f_none\"(\"K1\") VALUES (?1)", "x"), 0);  // a failure status
  EXPECT_EQ(Run("+after|COMMIT|#2"), "");
}

// The server ends the connection in the middle of a unit (an administrator's
// pg_terminate_backend, a restart): every later request fails at once as an
// I/O error, the commit too, nothing of the unit is kept, and the record
// locks the connection held are free for others.
TEST_F(ServerCompanies, AConnectionTheServerEndsFailsEveryRequestAndFreesItsLocks) {
  ASSERT_EQ(Run("lock 42"), "");
  tsioStatus::Status st;
  tsioBackendStatement* pid = db().Prepare("SELECT pg_backend_pid()", &st);
  ASSERT_EQ(pid->Step(), kRow);
  const int64_t backend = pid->ColumnInt(0);
  pid->Reset();
  ASSERT_EQ(Run("BEGIN|+lost"), "");

  // Another program, an administrator, ends the connection.
  ASSERT_EQ(Ask("SELECT pg_terminate_backend(" + std::to_string(backend) + ")"), "t");
  EXPECT_EQ(Step(db(), kInsert, "after"), tsioStatus::kIOError);
  EXPECT_EQ(Count(db()), -1);
  EXPECT_NE(db().Exec("COMMIT"), tsioStatus::kSuccess);
  EXPECT_NE(db().Exec("ROLLBACK"), tsioStatus::kSuccess);
  EXPECT_FALSE(db().LastError().empty());
  EXPECT_EQ(Ask("SELECT count(*) FROM \"f_TST_1_r1\""), "0");
  // The server ends the lock with the session (it may take a moment).
  EXPECT_TRUE(iotest::Eventually([&] { return LockFree(42); }));
}

// A statement that runs past the server's statement_timeout (set here
// through PGOPTIONS, which the connection honours) is "busy", and the
// connection goes on working.
TEST_F(ServerCompanies, AStatementTimeoutIsBusyAndTheConnectionGoesOn) {
  company.reset();
  setenv("PGOPTIONS", "-c statement_timeout=1000", 1);
  company = Open();
  unsetenv("PGOPTIONS");
  ASSERT_NE(company, nullptr);
  ASSERT_EQ(Run("BEGIN|+undone"), "");
  EXPECT_EQ(Step(db(), "SELECT pg_sleep(30) WHERE ?1 <> ''", "x"), tsioStatus::kBusy);
  EXPECT_NE(db().Exec("COMMIT"), tsioStatus::kSuccess);
  EXPECT_EQ(Run("#0|+kept|#1"), "");
}

// A locked fetch by the whole key: the lock and the read go in one request;
// a missing record is "not found" and leaves nothing locked, also when
// another handle holds its lock; a record another handle holds is "locked".
// A lock given back is free to another program at once, without a further
// request of this one.
TEST_F(ServerLocks, LockedFetchesAndLocksGivenBack) {
  iotest::Opened o(dir.path());
  tsioDataFile second(o.file->FileName());
  iotest::Parent a, b;
  ccCursor ca(a, *o.file, 1, 0), cb(b, second, 1, 0);
  ASSERT_EQ((a.Set("K", 1, "one"), ca.Insert()), tsioStatus::kSuccess);
  // The advisory locks held in the company's database come to `n` (a lock
  // given back reaches the server as soon as it is sent, but the server may
  // take a moment to act on it).
  auto held = [&](const char* n) {
    return iotest::Eventually([&] {
      return Ask("SELECT count(*) FROM pg_locks l JOIN pg_database d ON d.oid = l.database "
                 "WHERE l.locktype = 'advisory' AND l.granted AND d.datname = current_database()") == n;
    });
  };

  const uint64_t before = Trips();
  ASSERT_EQ((a.Set("K", 1, ""), ca.FetchEQ(true)), tsioStatus::kSuccess);
  EXPECT_EQ(Trips() - before, 1u);  // the lock and the read together
  EXPECT_EQ(a.v.str(), "one");
  EXPECT_TRUE(held("1"));
  EXPECT_EQ((b.Set("K", 1), cb.FetchEQ(true)), tsioStatus::kLocked);
  EXPECT_EQ(ca.Unlock(), tsioStatus::kSuccess);
  EXPECT_TRUE(held("0"));  // given back without a further request
  ASSERT_EQ(cb.FetchEQ(true), tsioStatus::kSuccess);
  EXPECT_EQ(cb.Unlock(), tsioStatus::kSuccess);

  // Missing: not found, nothing left locked; also while another handle
  // holds its key's lock.
  EXPECT_EQ((a.Set("K", 2), ca.FetchEQ(true)), tsioStatus::kNotFound);
  EXPECT_TRUE(held("0"));
  ASSERT_EQ((b.Set("K", 2), cb.SetBuffer()), tsioStatus::kSuccess);
  ASSERT_EQ(cb.Lock(), tsioStatus::kSuccess);
  EXPECT_EQ(ca.FetchEQ(true), tsioStatus::kNotFound);
  EXPECT_TRUE(held("1"));
}

// A lock given back inside a transaction a failed statement spoiled (the
// server refuses every request there) is given back when the transaction
// ends, not kept by the server for the life of the connection.
TEST_F(ServerLocks, ALockGivenBackInAFailedTransactionIsFreedAtItsEnd) {
  ASSERT_EQ(Run("lock 77|BEGIN"), "");
  EXPECT_NE(Step(db(), "SELECT 1 / 0 FROM \"f_TST_1_r1\" WHERE ?1 <> '' UNION ALL SELECT 1 / 0", "x"), kRow);
  MyLocks().Unlock(77);
  (void)db().Exec("ROLLBACK");
  EXPECT_TRUE(iotest::Eventually([&] { return LockFree(77); }));
}

// A read asked again is answered from the last answer only inside a
// read-only snapshot, where the server's answer cannot change: outside one,
// another program's commit shows at the next read (a program that waited
// for that program, or was told of its work, must see it); inside one, the
// same read costs no round trip, and a lock taken asks the server again.
TEST_F(ServerKeptAnswers, OnlyInsideASnapshotAndNeverPastALock) {
  // Round trips the program meant: those asked again for an aged answer (a
  // slow moment of the machine) left out.
  auto meant = [] { return tsioServerRoundTrips().round_trips - tsioServerRoundTrips().aged; };
  // This program's own write shows at once, and another program's too.
  EXPECT_EQ(Run("*a|#1|+mine|#2|*b|#3|*c|#4|READ|#4"), "");
  uint64_t trips = meant();
  EXPECT_EQ(Run("*d|#4"), "");  // the snapshot's answer, kept
  EXPECT_EQ(meant(), trips);
  ASSERT_EQ(Run("lock 5"), "");
  trips = meant();
  EXPECT_EQ(Run("#4"), "");  // asked again after the lock (still the snapshot)
  EXPECT_EQ(meant(), trips + 1);
  EXPECT_EQ(Run("COMMIT|#5|unlock 5"), "");  // the snapshot ended: the other program's row shows
}

// Reads kept for a command: asked once outside a transaction, then
// answered again whatever another program commits, a lock taken or 100 ms
// gone by; but a read in a unit (what guards a write) asks the server and
// sees the other program's change, and the unit's end, this program's own
// write to the table, a lock another program holds met and the command's
// end each end what was kept. Reads queued together cost one request (or
// none of their own, with a locked fetch); in a unit none is queued; in a
// read-only snapshot they are asked in it and answer in it only.
TEST_F(ServerCommandReads, KeptOnlyOutsideUnitsAndUntilAWriteOrTheEnd) {
  ASSERT_EQ(Run("*a"), "");
  db().BeginCommand();
  db().KeepForCommand("f_TST_1_r1");
  // Kept for the command: the count and the lock are the only round trips.
  EXPECT_EQ(Run("mark|#1|*b|pause|lock 7|#1|trips 2"), "");
  // In a unit the server answers, and is not kept either; the unit's end
  // ends the kept answer; this program's write shows at once.
  EXPECT_EQ(Run("BEGIN|#2|COMMIT|*c|#3|#3|+mine|#4"), "");

  // A lock another program holds, met (9: locked): the program may wait for
  // it, and then sees what it committed.
  EXPECT_EQ(Run("held 9|*g|#4|lock 9=9|#5|freed 9"), "");

  // Queued reads: one request for all; each then answered without one.
  tsioStatus::Status st;
  tsioBackendStatement* count = db().Prepare("SELECT count(*) FROM \"f_TST_1_r1\"", &st);
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(Run("*d|+mine2"), "");  // the count kept before ends
  db().Prefetch(*count);
  EXPECT_EQ(Run("queue a|queue d|queue zz|mark|prefetch|#7|?a|?d|-zz|trips 1"), "");
  // Kept: the command's view; in a unit a read is queued for the unit and
  // asked in it.
  EXPECT_EQ(Run("*zz|-zz|BEGIN|queue zz|mark|prefetch|trips 1|?zz|ROLLBACK"), "");

  // Outside a transaction they go with the next locked fetch, asked after
  // its lock: kept when it was taken, for nothing when another program held
  // it (the other's commits are then seen).
  ASSERT_EQ(Run("queue h|mark"), "");
  short step = 0;
  ASSERT_EQ(MyLocks().LockThenStep(11, *count, &step), tsioStatus::kSuccess);
  count->Reset();
  EXPECT_EQ(Run("*h|-h|trips 1|held 12|queue i"), "");  // as asked with the lock
  EXPECT_EQ(MyLocks().LockThenStep(12, *count, &step), tsioStatus::kLocked);
  count->Reset();
  EXPECT_EQ(Run("*i|?i|freed 12|unlock 11"), "");

  // In a read-only snapshot: the queued reads go with its BEGIN, and their
  // answers serve that snapshot only.
  ASSERT_EQ(Run("READ"), "");
  db().Prefetch(*count);
  EXPECT_EQ(Run("mark|prefetch|#10|trips 1|*f|#10|COMMIT|#11"), "");

  db().EndCommand();
  EXPECT_EQ(Run("*e|pause|#12|unlock 7"), "");  // nothing kept after the command
}

// Reads queued in a writing unit are asked in one request (with the unit's
// next read, or at once) and each answers its own read once, exactly as
// that read asked then would: this program's write to the table, a lock
// taken (or one that was not taken when they went with it), a rollback to
// a savepoint and the unit's end each send the read to the server again,
// so another program's commit meanwhile is seen.
TEST_F(ServerUnitReads, AnsweredOnceAndNeverPastAWriteOrALock) {
  tsioStatus::Status st;
  tsioBackendStatement* count = db().Prepare("SELECT count(*) FROM \"f_TST_1_r1\"", &st);
  ASSERT_NE(count, nullptr);
  // What ends the answers read ahead (between the queue and the read,
  // another program inserts the key): the read must find it.
  const struct {
    const char* what;
    bool with_the_reads;  // the queued reads go with its request
    std::function<void()> between;
  } ends[] = {
      {"a write of this program to the table", false, [&] { ASSERT_EQ(Run("+w"), ""); }},
      {"a lock taken", false, [&] { ASSERT_EQ(Run("lock 21"), ""); }},
      {"a rollback to a savepoint", false,
       [&] {
         ASSERT_EQ(Run("SAVEPOINT s"), "");
         ASSERT_EQ(Step(db(), "INSERT INTO \"f_TST_1_r2\"(\"P1\", \"P2\", \"LINE\") VALUES (?1, 1, 1)", "r"), kDone);
         ASSERT_EQ(Run("ROLLBACK TO s"), "");
       }},
      {"a lock another program holds, asked with the reads", true,
       [&] {
         short step = 0;
         ASSERT_EQ(Run("held 22"), "");
         EXPECT_EQ(MyLocks().LockThenStep(22, *count, &step), tsioStatus::kLocked);
         ASSERT_EQ(Run("freed 22"), "");
       }},
  };
  int n = 0;
  for (const auto& c : ends) {
    SCOPED_TRACE(c.what);
    const std::string k = "k" + std::to_string(++n);
    ASSERT_EQ(Run("BEGIN|+u" + k + "|queue " + k), "");  // the unit is under way
    if (c.with_the_reads) c.between();
    else db().PrefetchNow();
    ASSERT_EQ(Run("*" + k), "");
    if (!c.with_the_reads) c.between();
    EXPECT_EQ(Run("?" + k + "|ROLLBACK|unlock 21"), "");
  }

  // Left alone, the queued reads cost one request with the unit's next read
  // and each answers once; asked again, the server answers.
  ASSERT_EQ(Run("BEGIN|+mine|queue k1|queue none|mark"), "");
  const int64_t rows = Count(db());  // asks the queued reads with it
  // The second as asked with the count; used once, then asked again.
  EXPECT_EQ(Run("*none|?k1|-none|trips 1|?none|trips 2"), "");
  // The unit's end ends them.
  EXPECT_EQ(Run("queue gone|prefetch|COMMIT|*gone|?gone|#" + std::to_string(rows + 2)), "");
}

// Locks taken ahead in a unit with the reads they guard (several records'
// in one request, as posting takes them): each read queued after a lock
// that was taken answers once, as read then, whatever this program writes
// to the table meanwhile, until the lock is given back; after a lock another
// program held, nothing is kept and the lock is not this program's; a read
// of the table a lock guards asked before it in the same request is not
// kept either. A lock taken ahead is the handle's when it locks it, without
// a request; one never taken over is given back as the unit ends.
TEST_F(ServerLocks, LocksTakenAheadKeepTheirReadsWhileHeld) {
  ASSERT_EQ(Run("held 33|BEGIN|+x|mark|queue a0|ahead 31 a|queue a2|ahead 32 b|ahead 34 d|ahead 33 c|prefetch|trips 1"), "");
  EXPECT_EQ(Run("*a0|?a0|*a|*a2|*b|*c|*d|+w|mark"), "");  // another program's commits, then this program's write
  EXPECT_EQ(Run("-a|-a2|lock 31|trips 0|lock 33=9|freed 33|lock 33|?c|?a|trips 4"), "");
  EXPECT_EQ(Run("unlock 32|mark|?b|trips 1"), "");
  EXPECT_EQ(Run("taken 34|COMMIT|free 34|free 32|taken 31|?d"), "");
}

// Writes in a unit declared all-or-nothing go without waiting for their
// answers: a write that failed fails the next read that asks the server, or
// the commit, with its own status and a message naming its table; nothing
// of the unit is kept, and a rollback to a savepoint cannot step past the
// failure. Writes made under tsioWaitingWrites, and outside such a unit,
// still fail alone at once.
TEST_F(ServerAllOrNothing, AFailedWriteSentWithoutWaitingFailsTheUnitWhole) {
  ASSERT_EQ(Run("+taken"), "");
  const char* const update = "UPDATE \"f_TST_1_r1\" SET \"K2\" = 1 WHERE \"K1\" = ?1";
  const struct {
    const char* what;
    const char* sql;    // the failing write
    const char* key;    // its key ("taken": a duplicate)
    const char* then;   // what meets the failure (5: a duplicate, 13: not found)
    bool one_row;       // said before its step to change one row
  } cases[] = {
      {"a duplicate met at the commit", kInsert, "taken", "COMMIT=5", false},
      {"a duplicate met at a lock, then at the next read", kInsert, "taken", "?x=5", false},
      // The count makes the failure known first.
      {"a rollback to a savepoint does not step past it", kInsert, "taken", "#-1|ROLLBACK TO s=5|COMMIT=5", false},
      // The server refuses it (its judged form).
      {"an update of a missing record", update, "missing", "COMMIT=13", true},
      // This program judges it, from its answer read before the COMMIT.
      {"an update of a missing record not said to change a row", update, "missing", "COMMIT=13", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    {
      tsioAllOrNothing all(*company);
      ASSERT_EQ(Run("mark|BEGIN|SAVEPOINT s|+kept?"), "");
      if (c.one_row) db().NextWriteChangesOneRow();
      ASSERT_EQ(Step(db(), c.sql, c.key), kDone);  // not waited for
      if (c.sql == update) {
        EXPECT_EQ(db().ChangesOrNotFoundLater(), 1);
      }
      EXPECT_EQ(Run("+after|trips 0"), "");
      if (c.then[0] == '?') {  // a lock asked meets it first: its status, not "locks unavailable"
        EXPECT_EQ(Run("lock 31=5"), "");
        EXPECT_TRUE(LockFree(31));
      }
      EXPECT_EQ(Run(c.then), "");
      EXPECT_NE(db().LastError().find("f_TST_1_r1"), std::string::npos) << db().LastError();
      if (db().InTransaction()) {
        EXPECT_NE(db().Exec("COMMIT"), tsioStatus::kSuccess);  // never reported as success
      }
      (void)db().Exec("ROLLBACK");
    }
    EXPECT_EQ(Count(db()), 1);  // nothing of the unit
  }

  // An update that met its record: said to change one row, its answer
  // comes with the COMMIT's; not said, it is read before the COMMIT is sent.
  for (const bool one_row : {true, false}) {
    tsioAllOrNothing all(*company);
    ASSERT_EQ(Run("BEGIN"), "");
    if (one_row) db().NextWriteChangesOneRow();
    ASSERT_EQ(Step(db(), update, "taken"), kDone);
    EXPECT_EQ(db().ChangesOrNotFoundLater(), 1);
    EXPECT_EQ(Run(one_row ? "mark|COMMIT|trips 1" : "mark|COMMIT|trips 2"), "");
  }

  {  // Writes that wait: the duplicate fails alone, the unit goes on.
    tsioAllOrNothing all(*company);
    ASSERT_EQ(Run("BEGIN|+a"), "");
    {
      tsioWaitingWrites waiting(*company);
      EXPECT_EQ(Run("!taken"), "");
    }
    EXPECT_EQ(Run("+b|COMMIT"), "");
  }
  EXPECT_EQ(Run("BEGIN|!taken|+c|COMMIT|#4"), "");  // outside: at once, alone

  {  // Answers waited for at once: the first failure since the unit began.
    tsioAllOrNothing all(*company);
    ASSERT_EQ(Run("BEGIN|+e"), "");
    EXPECT_EQ(db().AnswersNow(), tsioStatus::kSuccess);
    ASSERT_EQ(Step(db(), kInsert, "taken"), kDone);
    ASSERT_EQ(Run("+f|mark"), "");
    EXPECT_EQ(db().AnswersNow(), tsioStatus::kDuplicateKey);
    EXPECT_EQ(Run("trips 1"), "");
    EXPECT_EQ(db().AnswersNow(), tsioStatus::kDuplicateKey);  // until rolled back
    EXPECT_EQ(db().Exec("ROLLBACK"), tsioStatus::kSuccess);
  }

  {  // A write outside a transaction while declared is not waited for; its
     // failure fails the next unit, even one that only writes.
    tsioAllOrNothing all(*company);
    ASSERT_EQ(Run("mark"), "");
    ASSERT_EQ(Step(db(), kInsert, "taken"), kDone);
    EXPECT_EQ(Run("trips 0|BEGIN|+d|COMMIT=5"), "");
    (void)db().Exec("ROLLBACK");
  }
  EXPECT_EQ(Run("#4"), "");  // nothing of that unit
}

// A program killed between writes sent without waiting leaves nothing of
// its unit: they belong to its open transaction, which the server rolls
// back with its connection.
TEST_F(ServerAllOrNothing, AUnitKilledBetweenWritesSentWithoutWaitingLeavesNothing) {
  const std::string folder = dir.path();
  bktest::ChildProcess writer = bktest::ChildProcess::Start([folder] {
    tsioStatus::Status st;
    std::shared_ptr<tsioCompany> company = tsioCompany::Open(folder, false, &st);
    if (!company) return 1;
    tsioAllOrNothing all(*company);
    if (company->Db().BeginWrite() != tsioStatus::kSuccess) return 1;
    for (const char* k : {"one", "two"}) (void)Step(company->Db(), kInsert, k);
    (void)Count(company->Db());  // the writes reached the server
    bktest::ChildProcess::WriteLine("written");
    for (const char* k : {"three", "four"}) (void)Step(company->Db(), kInsert, k);
    bktest::ChildProcess::ReadLine();  // hold until killed
    return 0;
  });
  ASSERT_EQ(writer.Receive(), "written");
  writer.Kill(SIGKILL);
  EXPECT_EQ(writer.Wait(), -SIGKILL);
  EXPECT_EQ(Count(db()), 0);
}

}  // namespace
