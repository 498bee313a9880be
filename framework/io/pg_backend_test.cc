// The server backend's round trips and its failures: requests that go
// together cost one wait, a write the server refuses (even to prepare)
// fails alone inside a unit, and a connection the server ends fails every
// later request, keeps nothing of its open transaction and frees its locks.
// Each test runs against the PostgreSQL test server only.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "framework/io/backend.h"
#include "framework/io/company.h"
#include "framework/io/io_test_support.h"
#include "tests/support/test_support.h"

namespace {

uint64_t Trips() { return tsioServerRoundTrips().round_trips; }

// A server company with the test file, and the program's connection to it.
struct ServerCompany : bktest::TestCompany {
  std::shared_ptr<tsioCompany> company;
  ServerCompany() {
    iotest::MakeCompany(path());
    tsioStatus::Status st;
    company = tsioCompany::Open(path(), false, &st);
  }
  tsioBackendConnection& db() { return company->Db(); }
};

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
  if (q && q->Step() == tsioBackendStatement::kRow) n = q->ColumnInt(0);
  if (q) q->Reset();
  return n;
}

const char* const kInsert = "INSERT INTO \"f_TST_1_r1\"(\"K1\", \"K2\") VALUES (?1, 1)";

// What a unit of work costs in waits for the server: its BEGIN and
// savepoints travel with its first statement, a guarded write with its
// savepoint, a statement with its preparation; a unit that ran nothing
// costs nothing.
TEST(ServerRoundTrips, RequestsThatGoTogetherCostOneWait) {
  if (!bktest::OnServer()) GTEST_SKIP() << "needs the PostgreSQL test server";
  ServerCompany co;
  ASSERT_NE(co.company, nullptr);
  auto& db = co.db();
  struct Case {
    const char* what;
    std::function<tsioStatus::Status()> work;
    uint64_t trips;
  } cases[] = {
      {"a unit that runs nothing",
       [&] {
         (void)db.BeginWrite();
         (void)db.Exec("SAVEPOINT u1");
         (void)db.Exec("RELEASE u1");
         return db.Exec("COMMIT");
       },
       0},
      {"a unit rolled back before anything ran",
       [&] {
         (void)db.BeginWrite();
         (void)db.Exec("SAVEPOINT u1");
         return db.Exec("ROLLBACK");
       },
       0},
      {"a unit with one write (its statement new)",
       [&] {
         (void)db.BeginWrite();
         (void)db.Exec("SAVEPOINT u1");
         const short step = Step(db, kInsert, "A");
         (void)db.Exec("RELEASE u1");
         const tsioStatus::Status st = db.Exec("COMMIT");
         return step == tsioBackendStatement::kDone ? st : tsioStatus::kIOError;
       },
       2},
      {"a unit with two writes (the statement prepared)",
       [&] {
         (void)db.BeginWrite();
         const bool done = Step(db, kInsert, "B") == tsioBackendStatement::kDone &&
                           Step(db, kInsert, "C") == tsioBackendStatement::kDone;
         const tsioStatus::Status st = db.Exec("COMMIT");
         return done ? st : tsioStatus::kIOError;
       },
       3},
      {"a read outside a unit",
       [&] { return Count(db) == 3 ? tsioStatus::kSuccess : tsioStatus::kIOError; },
       1},
      {"a refused write inside a unit, which goes on",
       [&] {
         (void)db.BeginWrite();
         const bool refused = Step(db, kInsert, "A") == tsioStatus::kDuplicateKey;
         const bool done = Step(db, kInsert, "D") == tsioBackendStatement::kDone;
         const tsioStatus::Status st = db.Exec("COMMIT");
         return refused && done ? st : tsioStatus::kIOError;
       },
       4},
      {"a nested unit rolled back, its outer unit committed",
       [&] {
         (void)db.BeginWrite();
         const bool kept = Step(db, kInsert, "E") == tsioBackendStatement::kDone;
         (void)db.Exec("SAVEPOINT u2");
         const bool undone = Step(db, kInsert, "F") == tsioBackendStatement::kDone;
         const tsioStatus::Status back = db.Exec("ROLLBACK TO u2");
         (void)db.Exec("RELEASE u2");
         const tsioStatus::Status st = db.Exec("COMMIT");
         return kept && undone && back == tsioStatus::kSuccess ? st : tsioStatus::kIOError;
       },
       4},
  };
  for (const auto& c : cases) {
    const uint64_t before = Trips();
    EXPECT_EQ(c.work(), tsioStatus::kSuccess) << c.what;
    EXPECT_EQ(Trips() - before, c.trips) << c.what;
    EXPECT_FALSE(db.InTransaction()) << c.what;
  }
  EXPECT_EQ(Count(db), 5);
}

// A write whose statement the server will not even prepare (a table that
// is not there) fails alone inside a unit: the unit's other writes commit.
TEST(ServerCompanies, AWriteTheServerCannotPrepareFailsAlone) {
  if (!bktest::OnServer()) GTEST_SKIP() << "needs the PostgreSQL test server";
  ServerCompany co;
  ASSERT_NE(co.company, nullptr);
  auto& db = co.db();
  ASSERT_EQ(db.BeginWrite(), tsioStatus::kSuccess);
  ASSERT_EQ(Step(db, kInsert, "before"), tsioBackendStatement::kDone);
  EXPECT_GT(Step(db, "INSERT INTO \"f_none\"(\"K1\") VALUES (?1)", "x"), 0);  // a failure status
  ASSERT_EQ(Step(db, kInsert, "after"), tsioBackendStatement::kDone);
  ASSERT_EQ(db.Exec("COMMIT"), tsioStatus::kSuccess);
  EXPECT_EQ(Count(db), 2);
}

// The server ends the connection in the middle of a unit (an administrator's
// pg_terminate_backend, a restart): every later request fails at once as an
// I/O error, the commit too, nothing of the unit is kept, and the record
// locks the connection held are free for others.
TEST(ServerCompanies, AConnectionTheServerEndsFailsEveryRequestAndFreesItsLocks) {
  if (!bktest::OnServer()) GTEST_SKIP() << "needs the PostgreSQL test server";
  ServerCompany co;
  ASSERT_NE(co.company, nullptr);
  auto& db = co.db();
  tsioStatus::Status st;
  auto locks = db.OpenLocks("", &st);
  ASSERT_NE(locks, nullptr);
  ASSERT_EQ(locks->Lock(42), tsioStatus::kSuccess);
  tsioBackendStatement* pid = db.Prepare("SELECT pg_backend_pid()", &st);
  ASSERT_EQ(pid->Step(), tsioBackendStatement::kRow);
  const int64_t backend = pid->ColumnInt(0);
  pid->Reset();
  ASSERT_EQ(db.BeginWrite(), tsioStatus::kSuccess);
  ASSERT_EQ(Step(db, kInsert, "lost"), tsioBackendStatement::kDone);

  // Another program, an administrator, ends the connection.
  PGconn* admin = PQconnectdb(co.path().c_str());
  ASSERT_EQ(PQstatus(admin), CONNECTION_OK) << PQerrorMessage(admin);
  auto ask = [&](const std::string& sql) {
    PGresult* r = PQexec(admin, sql.c_str());
    std::string answer = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0 ? PQgetvalue(r, 0, 0) : "";
    PQclear(r);
    return answer;
  };
  ASSERT_EQ(ask("SELECT pg_terminate_backend(" + std::to_string(backend) + ")"), "t");

  EXPECT_EQ(Step(db, kInsert, "after"), tsioStatus::kIOError);
  EXPECT_EQ(Count(db), -1);
  EXPECT_NE(db.Exec("COMMIT"), tsioStatus::kSuccess);
  EXPECT_NE(db.Exec("ROLLBACK"), tsioStatus::kSuccess);
  EXPECT_FALSE(db.LastError().empty());

  EXPECT_EQ(ask("SELECT count(*) FROM \"f_TST_1_r1\""), "0");
  // The server ends the lock with the session (it may take a moment).
  std::string free = "f";
  for (int i = 0; i < 500 && free != "t"; ++i) {
    free = ask("SELECT CASE WHEN pg_try_advisory_lock(42) THEN pg_advisory_unlock(42) ELSE false END");
    if (free != "t") usleep(10000);
  }
  PQfinish(admin);
  EXPECT_EQ(free, "t");
}

// A statement that runs past the server's statement_timeout (set here
// through PGOPTIONS, which the connection honours) is "busy", and the
// connection goes on working.
TEST(ServerCompanies, AStatementTimeoutIsBusyAndTheConnectionGoesOn) {
  if (!bktest::OnServer()) GTEST_SKIP() << "needs the PostgreSQL test server";
  setenv("PGOPTIONS", "-c statement_timeout=1000", 1);
  ServerCompany co;
  unsetenv("PGOPTIONS");
  ASSERT_NE(co.company, nullptr);
  auto* db = &co.db();
  ASSERT_EQ(db->BeginWrite(), tsioStatus::kSuccess);
  ASSERT_EQ(Step(*db, kInsert, "undone"), tsioBackendStatement::kDone);
  EXPECT_EQ(Step(*db, "SELECT pg_sleep(30) WHERE ?1 <> ''", "x"), tsioStatus::kBusy);
  EXPECT_NE(db->Exec("COMMIT"), tsioStatus::kSuccess);
  EXPECT_EQ(Count(*db), 0);
  ASSERT_EQ(Step(*db, kInsert, "kept"), tsioBackendStatement::kDone);
  EXPECT_EQ(Count(*db), 1);
}

}  // namespace
