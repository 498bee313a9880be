// The server backend's round trips and its failures: requests that go
// together cost one wait, a write the server refuses (even to prepare)
// fails alone inside a unit, and a connection the server ends fails every
// later request, keeps nothing of its open transaction and frees its locks;
// cursors reading ahead on a server answer as a model of the rows does,
// with writes between their steps; a lock and the read it guards go
// together, and a lock given back is free to others at once.
// Each test runs against the PostgreSQL test server only.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <tuple>

#include "framework/io/backend.h"
#include "framework/io/company.h"
#include "framework/io/counters.h"
#include "framework/io/cursor.h"
#include "framework/io/file_manager.h"
#include "framework/io/io_test_support.h"
#include "framework/io/rollback_stack.h"
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

// Another program's connection `other` inserts a row of key `key` and
// commits it: whether the server took it.
bool InsertAs(PGconn* other, const std::string& key) {
  PGresult* r = PQexec(other, ("INSERT INTO \"f_TST_1_r1\"(\"K1\", \"K2\") VALUES ('" + key + "', 1)").c_str());
  const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  PQclear(r);
  return ok;
}

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

// Walks on a server, served mostly from what was read ahead, checked step by
// step against a std::map of the rows: walks from first, last, GE and EQ in
// both directions on the key and on a secondary index, with inserts,
// updates and deletes through another handle of the program (its own
// connection, so every one must show at once) and locks taken between the
// steps.
TEST(ServerReadAhead, WalksMatchAModelWithWritesBetween) {
  if (!bktest::OnServer()) GTEST_SKIP() << "needs the PostgreSQL test server";
  ServerCompany co;
  ASSERT_NE(co.company, nullptr);
  tsioFileManager fm(co.path());
  tsioDataFile* file = nullptr;
  ASSERT_EQ(fm.Open(iotest::Spec(), &file), tsioStatus::kSuccess);
  tsioDataFile second(file->FileName());
  ASSERT_TRUE(second.IsOpen());

  // Key (k1, k2) -> v; index 2 orders by (v, k1, k2).
  using Key = std::pair<std::string, long long>;
  std::map<Key, std::string> rows;
  const char* names[] = {"A", "B", "C", "D"};
  const char* values[] = {"", "m", "p", "z"};
  std::mt19937 rng(7);
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };

  iotest::Parent w;
  ccCursor writer(w, second, 1, 0);
  auto put = [&](const Key& k, const std::string& v) {
    w.k1 = tsAlpha(k.first);
    w.k2 = tsDouble(k.second, 0);
    w.v = tsAlpha(v);
    return writer.Insert();
  };
  for (int i = 0; i < 240; ++i) {
    Key k{names[i % 4], i};
    ASSERT_EQ(put(k, values[pick(4)]), tsioStatus::kSuccess);
    rows[k] = values[i % 4];
    w.k1 = tsAlpha(k.first);
    w.k2 = tsDouble(k.second, 0);
    ASSERT_EQ(writer.FetchEQ(), tsioStatus::kSuccess);
    w.v = tsAlpha(rows[k]);
    ASSERT_EQ(writer.Update(), tsioStatus::kSuccess);
  }

  // A row's place in the walk's index.
  using Place = std::tuple<std::string, std::string, long long>;
  auto place = [](int index, const Key& k, const std::string& v) {
    return index == 0 ? Place{"", k.first, k.second} : Place{v, k.first, k.second};
  };
  // The model's answer: the first row after (or before) `from` in the
  // index's order, or the first/last of all with no `from`.
  auto expect = [&](int index, bool forward, const std::optional<Place>& from, bool inclusive) {
    std::optional<std::pair<Key, std::string>> best;
    std::optional<Place> best_place;
    for (const auto& [k, v] : rows) {
      const Place p = place(index, k, v);
      if (from) {
        if (forward ? (inclusive ? p < *from : p <= *from) : (p >= *from)) continue;
      }
      if (!best_place || (forward ? p < *best_place : p > *best_place)) {
        best_place = p;
        best = std::make_pair(k, v);
      }
    }
    return best;
  };

  iotest::Parent r0, r2, lk;
  ccCursor by_key(r0, *file, 1, 0), by_value(r2, *file, 1, 2);
  ccCursor locker(lk, second, 1, 0);
  uint64_t fetches = 0, queries = 0;  // the walks' steps, and those that asked the server
  int next_key = 1000;
  for (int walk = 0; walk < 60; ++walk) {
    const int index = pick(2) ? 0 : 2;
    ccCursor& cur = index == 0 ? by_key : by_value;
    iotest::Parent& rec = index == 0 ? r0 : r2;
    const int start = pick(4);  // first, last, GE, EQ
    bool forward = start != 1;
    std::optional<std::pair<Key, std::string>> want;
    tsioStatus::Status st;
    SCOPED_TRACE("walk " + std::to_string(walk) + " index " + std::to_string(index) + " start " +
                 std::to_string(start));
    if (start == 0) {
      st = cur.FetchFirst();
      want = expect(index, true, std::nullopt, false);
    } else if (start == 1) {
      st = cur.FetchLast();
      want = expect(index, false, std::nullopt, false);
    } else {
      const Key k{names[pick(4)], pick(240)};
      const std::string v = values[pick(4)];
      rec.k1 = tsAlpha(k.first);
      rec.k2 = tsDouble(k.second, 0);
      rec.v = tsAlpha(v);
      if (start == 2) {
        st = cur.FetchGE();
        want = expect(index, true, place(index, k, v), true);
      } else {
        // EQ: the first row of the declared values (the key; or v).
        st = cur.FetchEQ();
        want = expect(index, true, index == 0 ? place(0, k, v) : Place{v, "", -1}, true);
        if (want && (index == 0 ? want->first != k : want->second != v)) want.reset();
      }
    }
    if (!want) {
      ASSERT_NE(st, tsioStatus::kSuccess);
      continue;
    }
    ASSERT_EQ(st, tsioStatus::kSuccess);
    Place at = place(index, want->first, want->second);
    ASSERT_EQ(place(index, {rec.k1.str(), rec.k2.ToLongLong()}, rec.v.str()), at);
    const int steps = 5 + pick(120);
    for (int i = 0; i < steps; ++i) {
      const int between = pick(40);
      if (between == 0) {  // a new row, somewhere in the order
        const Key k{names[pick(4)], next_key++ % 300};
        const std::string v = values[pick(4)];
        const tsioStatus::Status put_st = put(k, v);
        ASSERT_EQ(put_st, rows.count(k) ? tsioStatus::kDuplicateKey : tsioStatus::kSuccess);
        if (put_st == tsioStatus::kSuccess) rows[k] = v;
      } else if (between == 1 && !rows.empty()) {  // a row changes its value (and its place in index 2)
        auto it = rows.begin();
        std::advance(it, pick(static_cast<int>(rows.size())));
        w.k1 = tsAlpha(it->first.first);
        w.k2 = tsDouble(it->first.second, 0);
        ASSERT_EQ(writer.FetchEQ(), tsioStatus::kSuccess);
        it->second = values[pick(4)];
        w.v = tsAlpha(it->second);
        ASSERT_EQ(writer.Update(), tsioStatus::kSuccess);
      } else if (between == 2 && !rows.empty()) {  // a row goes
        auto it = rows.begin();
        std::advance(it, pick(static_cast<int>(rows.size())));
        w.k1 = tsAlpha(it->first.first);
        w.k2 = tsDouble(it->first.second, 0);
        ASSERT_EQ(writer.FetchEQ(), tsioStatus::kSuccess);
        ASSERT_EQ(writer.Delete(), tsioStatus::kSuccess);
        rows.erase(it);
      } else if (between == 3 && !rows.empty()) {  // a lock taken and given back
        auto it = rows.begin();
        std::advance(it, pick(static_cast<int>(rows.size())));
        lk.k1 = tsAlpha(it->first.first);
        lk.k2 = tsDouble(it->first.second, 0);
        ASSERT_EQ(locker.FetchEQ(true), tsioStatus::kSuccess);
        ASSERT_EQ(lk.v.str(), it->second);
        ASSERT_EQ(locker.Unlock(), tsioStatus::kSuccess);
      }
      if (pick(12) == 0) forward = !forward;
      const uint64_t asked = tsioCounters::FetchQueries();
      st = forward ? cur.FetchNext() : cur.FetchPrev();
      ++fetches;
      queries += tsioCounters::FetchQueries() - asked;
      want = expect(index, forward, at, false);
      if (!want) {
        ASSERT_EQ(st, tsioStatus::kEndOfFile) << "step " << i;
        break;
      }
      ASSERT_EQ(st, tsioStatus::kSuccess) << "step " << i;
      at = place(index, want->first, want->second);
      ASSERT_EQ(place(index, {rec.k1.str(), rec.k2.ToLongLong()}, rec.v.str()), at) << "step " << i;
    }
  }
  // Most steps were served from what was read ahead.
  EXPECT_LT(queries, fetches / 3) << fetches << " steps";
}

// A locked fetch by the whole key: the lock and the read go in one request;
// a missing record is "not found" and leaves nothing locked, also when
// another handle holds its lock; a record another handle holds is "locked".
// A lock given back is free to another program at once, without a further
// request of this one.
TEST(ServerLocks, LockedFetchesAndLocksGivenBack) {
  if (!bktest::OnServer()) GTEST_SKIP() << "needs the PostgreSQL test server";
  ServerCompany co;
  ASSERT_NE(co.company, nullptr);
  tsioFileManager fm(co.path());
  tsioDataFile* file = nullptr;
  ASSERT_EQ(fm.Open(iotest::Spec(), &file), tsioStatus::kSuccess);
  tsioDataFile second(file->FileName());
  iotest::Parent a, b;
  ccCursor ca(a, *file, 1, 0), cb(b, second, 1, 0);
  a.k1 = tsAlpha("K");
  a.k2 = tsDouble(1, 0);
  a.v = tsAlpha("one");
  ASSERT_EQ(ca.Insert(), tsioStatus::kSuccess);

  PGconn* other = PQconnectdb(co.path().c_str());
  ASSERT_EQ(PQstatus(other), CONNECTION_OK) << PQerrorMessage(other);
  // The advisory locks held in the company's database, once they are
  // `expected` (a lock given back reaches the server as soon as it is sent,
  // but the server may take a moment to act on it).
  auto held_by_program = [&](const char* expected) {
    std::string n;
    for (int i = 0; i < 500 && n != expected; ++i) {
      if (i) usleep(10000);
      PGresult* r = PQexec(other,
                           "SELECT count(*) FROM pg_locks l JOIN pg_database d ON d.oid = l.database "
                           "WHERE l.locktype = 'advisory' AND l.granted AND d.datname = current_database()");
      n = PQresultStatus(r) == PGRES_TUPLES_OK ? PQgetvalue(r, 0, 0) : "?";
      PQclear(r);
    }
    return n;
  };

  const uint64_t before = Trips();
  a.k2 = tsDouble(1, 0);
  ASSERT_EQ(ca.FetchEQ(true), tsioStatus::kSuccess);
  EXPECT_EQ(Trips() - before, 1u);  // the lock and the read together
  EXPECT_EQ(a.v.str(), "one");
  EXPECT_EQ(held_by_program("1"), "1");
  b.k1 = tsAlpha("K");
  b.k2 = tsDouble(1, 0);
  EXPECT_EQ(cb.FetchEQ(true), tsioStatus::kLocked);
  EXPECT_EQ(ca.Unlock(), tsioStatus::kSuccess);
  EXPECT_EQ(held_by_program("0"), "0");  // given back without a further request
  ASSERT_EQ(cb.FetchEQ(true), tsioStatus::kSuccess);
  EXPECT_EQ(cb.Unlock(), tsioStatus::kSuccess);

  // Missing: not found, nothing left locked.
  a.k2 = tsDouble(2, 0);
  EXPECT_EQ(ca.FetchEQ(true), tsioStatus::kNotFound);
  EXPECT_EQ(held_by_program("0"), "0");
  // Missing while another handle holds its key's lock: still not found.
  b.k2 = tsDouble(2, 0);
  ASSERT_EQ(cb.SetBuffer(), tsioStatus::kSuccess);
  ASSERT_EQ(cb.Lock(), tsioStatus::kSuccess);
  EXPECT_EQ(held_by_program("1"), "1");
  a.k2 = tsDouble(2, 0);
  EXPECT_EQ(ca.FetchEQ(true), tsioStatus::kNotFound);
  EXPECT_EQ(held_by_program("1"), "1");
  PQfinish(other);
}

// A lock given back inside a transaction a failed statement spoiled (the
// server refuses every request there) is given back when the transaction
// ends, not kept by the server for the life of the connection.
TEST(ServerLocks, ALockGivenBackInAFailedTransactionIsFreedAtItsEnd) {
  if (!bktest::OnServer()) GTEST_SKIP() << "needs the PostgreSQL test server";
  ServerCompany co;
  ASSERT_NE(co.company, nullptr);
  auto& db = co.db();
  tsioStatus::Status st;
  auto locks = db.OpenLocks("", &st);
  ASSERT_NE(locks, nullptr);
  ASSERT_EQ(locks->Lock(77), tsioStatus::kSuccess);
  ASSERT_EQ(db.BeginWrite(), tsioStatus::kSuccess);
  EXPECT_NE(Step(db, "SELECT 1 / 0 FROM \"f_TST_1_r1\" WHERE ?1 <> '' UNION ALL SELECT 1 / 0", "x"),
            tsioBackendStatement::kRow);
  locks->Unlock(77);
  (void)db.Exec("ROLLBACK");

  PGconn* other = PQconnectdb(co.path().c_str());
  ASSERT_EQ(PQstatus(other), CONNECTION_OK) << PQerrorMessage(other);
  std::string free = "f";
  for (int i = 0; i < 500 && free != "t"; ++i) {
    PGresult* r = PQexec(other, "SELECT CASE WHEN pg_try_advisory_lock(77) THEN pg_advisory_unlock(77) ELSE false END");
    free = PQresultStatus(r) == PGRES_TUPLES_OK ? PQgetvalue(r, 0, 0) : "?";
    PQclear(r);
    if (free != "t") usleep(10000);
  }
  PQfinish(other);
  EXPECT_EQ(free, "t");
}

// A read asked again is answered from the last answer only inside a
// read-only snapshot, where the server's answer cannot change: outside one,
// another program's commit shows at the next read (a program that waited
// for that program, or was told of its work, must see it); inside one, the
// same read costs no round trip, and a lock taken asks the server again.
TEST(ServerKeptAnswers, OnlyInsideASnapshotAndNeverPastALock) {
  if (!bktest::OnServer()) GTEST_SKIP() << "needs the PostgreSQL test server";
  ServerCompany co;
  ASSERT_NE(co.company, nullptr);
  auto& db = co.db();
  PGconn* other = PQconnectdb(co.path().c_str());
  ASSERT_EQ(PQstatus(other), CONNECTION_OK) << PQerrorMessage(other);
  auto other_inserts = [&](const std::string& key) { return InsertAs(other, key); };
  // Round trips the program meant: those asked again for an aged answer (a
  // slow moment of the machine) left out.
  auto meant = [] { return tsioServerRoundTrips().round_trips - tsioServerRoundTrips().aged; };

  ASSERT_TRUE(other_inserts("a"));
  EXPECT_EQ(Count(db), 1);
  ASSERT_EQ(Step(db, kInsert, "mine"), tsioBackendStatement::kDone);
  EXPECT_EQ(Count(db), 2);  // this program's own write shows at once
  ASSERT_TRUE(other_inserts("b"));
  EXPECT_EQ(Count(db), 3);  // and another program's, at once too
  ASSERT_TRUE(other_inserts("c"));
  EXPECT_EQ(Count(db), 4);

  ASSERT_EQ(db.BeginRead(), tsioStatus::kSuccess);
  EXPECT_EQ(Count(db), 4);
  uint64_t trips = meant();
  ASSERT_TRUE(other_inserts("d"));
  EXPECT_EQ(Count(db), 4);  // the snapshot's answer, kept
  EXPECT_EQ(meant(), trips);
  tsioStatus::Status st;
  auto locks = db.OpenLocks("", &st);
  ASSERT_NE(locks, nullptr);
  ASSERT_EQ(locks->Lock(5), tsioStatus::kSuccess);
  trips = meant();
  EXPECT_EQ(Count(db), 4);  // asked again after the lock (still the snapshot)
  EXPECT_EQ(meant(), trips + 1);
  ASSERT_EQ(db.Exec("COMMIT"), tsioStatus::kSuccess);
  EXPECT_EQ(Count(db), 5);  // the snapshot ended: the other program's row shows
  locks->Unlock(5);
  PQfinish(other);
}

// Reads kept for a command: asked once outside a transaction, then
// answered again whatever another program commits, a lock taken or 100 ms
// gone by; but a read in a unit (what guards a write) asks the server and
// sees the other program's change, and the unit's end, this program's own
// write to the table, a lock another program holds met and the command's
// end each end what was kept. Reads queued together cost one request; in
// a unit none is queued; in a read-only snapshot they are asked in it and
// answer in it only.
TEST(ServerCommandReads, KeptOnlyOutsideUnitsAndUntilAWriteOrTheEnd) {
  if (!bktest::OnServer()) GTEST_SKIP() << "needs the PostgreSQL test server";
  ServerCompany co;
  ASSERT_NE(co.company, nullptr);
  auto& db = co.db();
  PGconn* other = PQconnectdb(co.path().c_str());
  ASSERT_EQ(PQstatus(other), CONNECTION_OK) << PQerrorMessage(other);
  auto other_inserts = [&](const std::string& key) { return InsertAs(other, key); };
  const std::string probe = "SELECT \"K1\" FROM \"f_TST_1_r1\" WHERE \"K1\"=?1";
  tsioStatus::Status st;
  auto locks = db.OpenLocks("", &st);
  ASSERT_NE(locks, nullptr);
  ASSERT_TRUE(other_inserts("a"));

  db.BeginCommand();
  db.KeepForCommand("f_TST_1_r1");
  uint64_t before = Trips();
  EXPECT_EQ(Count(db), 1);
  ASSERT_TRUE(other_inserts("b"));
  usleep(150000);
  ASSERT_EQ(locks->Lock(7), tsioStatus::kSuccess);
  EXPECT_EQ(Count(db), 1);  // kept for the command
  EXPECT_EQ(Trips() - before, 2u);  // the count and the lock

  // In a unit the server answers, and is not kept either.
  ASSERT_EQ(db.BeginWrite(), tsioStatus::kSuccess);
  EXPECT_EQ(Count(db), 2);
  ASSERT_EQ(db.Exec("COMMIT"), tsioStatus::kSuccess);
  ASSERT_TRUE(other_inserts("c"));
  EXPECT_EQ(Count(db), 3);  // the unit's end ended the kept answer
  EXPECT_EQ(Count(db), 3);
  ASSERT_EQ(Step(db, kInsert, "mine"), tsioBackendStatement::kDone);
  EXPECT_EQ(Count(db), 4);  // this program's write shows at once

  // A lock another program holds, met: the program may wait for it, and
  // then sees what it committed.
  PGresult* held = PQexec(other, "SELECT pg_advisory_lock(9)");
  ASSERT_EQ(PQresultStatus(held), PGRES_TUPLES_OK);
  PQclear(held);
  ASSERT_TRUE(other_inserts("g"));
  EXPECT_EQ(Count(db), 4);  // kept
  EXPECT_EQ(locks->Lock(9), tsioStatus::kLocked);
  EXPECT_EQ(Count(db), 5);
  PQclear(PQexec(other, "SELECT pg_advisory_unlock(9)"));

  // Queued reads: one request for all; each then answered without one.
  ASSERT_TRUE(other_inserts("d"));
  tsioBackendStatement* count = db.Prepare("SELECT count(*) FROM \"f_TST_1_r1\"", &st);
  tsioBackendStatement* key = db.Prepare(probe, &st);
  ASSERT_TRUE(count && key);
  ASSERT_EQ(Step(db, kInsert, "mine2"), tsioBackendStatement::kDone);  // the count kept before ends
  db.Prefetch(*count);
  for (const char* k : {"a", "d", "zz"}) {
    key->Bind(1, tsCell::Text(k));
    db.Prefetch(*key);
  }
  before = Trips();
  db.PrefetchNow();
  EXPECT_EQ(Trips() - before, 1u);
  EXPECT_EQ(Count(db), 7);
  EXPECT_EQ(Step(db, probe, "a"), tsioBackendStatement::kRow);
  EXPECT_EQ(Step(db, probe, "d"), tsioBackendStatement::kRow);
  EXPECT_EQ(Step(db, probe, "zz"), tsioBackendStatement::kDone);
  EXPECT_EQ(Trips() - before, 1u);
  ASSERT_TRUE(other_inserts("zz"));
  EXPECT_EQ(Step(db, probe, "zz"), tsioBackendStatement::kDone);  // kept: the command's view
  ASSERT_EQ(db.BeginWrite(), tsioStatus::kSuccess);
  key->Bind(1, tsCell::Text("zz"));
  db.Prefetch(*key);  // in a unit: queued for the unit, asked in it
  before = Trips();
  db.PrefetchNow();
  EXPECT_EQ(Trips() - before, 1u);
  EXPECT_EQ(Step(db, probe, "zz"), tsioBackendStatement::kRow);  // the unit sees the other's row
  ASSERT_EQ(db.Exec("ROLLBACK"), tsioStatus::kSuccess);

  // In a read-only snapshot: the queued reads go with its BEGIN, and their
  // answers serve that snapshot only.
  ASSERT_EQ(db.BeginRead(), tsioStatus::kSuccess);
  db.Prefetch(*count);
  before = Trips();
  db.PrefetchNow();
  EXPECT_EQ(Count(db), 8);
  EXPECT_EQ(Trips() - before, 1u);
  ASSERT_TRUE(other_inserts("f"));
  EXPECT_EQ(Count(db), 8);
  ASSERT_EQ(db.Exec("COMMIT"), tsioStatus::kSuccess);
  EXPECT_EQ(Count(db), 9);

  db.EndCommand();
  ASSERT_TRUE(other_inserts("e"));
  usleep(150000);
  EXPECT_EQ(Count(db), 10);  // nothing kept after the command
  locks->Unlock(7);
  PQfinish(other);
}

// Reads queued in a writing unit are asked in one request (with the unit's
// next read, or at once) and each answers its own read once, exactly as
// that read asked then would: this program's write to the table, a lock
// taken (or one that was not taken when they went with it), a rollback to
// a savepoint and the unit's end each send the read to the server again,
// so another program's commit meanwhile is seen.
TEST(ServerUnitReads, AnsweredOnceAndNeverPastAWriteOrALock) {
  if (!bktest::OnServer()) GTEST_SKIP() << "needs the PostgreSQL test server";
  ServerCompany co;
  ASSERT_NE(co.company, nullptr);
  auto& db = co.db();
  PGconn* other = PQconnectdb(co.path().c_str());
  ASSERT_EQ(PQstatus(other), CONNECTION_OK) << PQerrorMessage(other);
  const std::string probe = "SELECT \"K1\" FROM \"f_TST_1_r1\" WHERE \"K1\"=?1";
  tsioStatus::Status st;
  auto locks = db.OpenLocks("", &st);
  ASSERT_NE(locks, nullptr);
  tsioBackendStatement* key = db.Prepare(probe, &st);
  tsioBackendStatement* count = db.Prepare("SELECT count(*) FROM \"f_TST_1_r1\"", &st);
  ASSERT_TRUE(key && count);
  auto queue = [&](const std::string& k) {
    key->Bind(1, tsCell::Text(k));
    db.Prefetch(*key);
  };
  // What ends the answers read ahead (between the queue and the read,
  // another program inserts the key): the read must find it.
  struct Case {
    const char* what;
    std::function<void()> between;
  } ends[] = {
      {"a write of this program to the table", [&] { ASSERT_EQ(Step(db, kInsert, "w"), tsioBackendStatement::kDone); }},
      {"a lock taken", [&] { ASSERT_EQ(locks->Lock(21), tsioStatus::kSuccess); }},
      {"a rollback to a savepoint",
       [&] {
         ASSERT_EQ(db.Exec("SAVEPOINT s"), tsioStatus::kSuccess);
         ASSERT_EQ(Step(db, "INSERT INTO \"f_TST_1_r2\"(\"P1\", \"P2\", \"LINE\") VALUES (?1, 1, 1)", "r"),
                   tsioBackendStatement::kDone);
         ASSERT_EQ(db.Exec("ROLLBACK TO s"), tsioStatus::kSuccess);
       }},
      {"a lock another program holds, asked with the reads",
       [&] {
         PQclear(PQexec(other, "SELECT pg_advisory_lock(22)"));
         short step = 0;
         EXPECT_EQ(locks->LockThenStep(22, *count, &step), tsioStatus::kLocked);
         PQclear(PQexec(other, "SELECT pg_advisory_unlock(22)"));
       }},
  };
  int n = 0;
  for (const Case& c : ends) {
    SCOPED_TRACE(c.what);
    const std::string k = "k" + std::to_string(++n);
    ASSERT_EQ(db.BeginWrite(), tsioStatus::kSuccess);
    ASSERT_EQ(Step(db, kInsert, "u" + k), tsioBackendStatement::kDone);  // the unit is under way
    queue(k);
    if (n == 4) {
      c.between();  // the reads go with the lock's request
    } else {
      db.PrefetchNow();
    }
    ASSERT_TRUE(InsertAs(other, k));
    if (n != 4) c.between();
    EXPECT_EQ(Step(db, probe, k), tsioBackendStatement::kRow);
    ASSERT_EQ(db.Exec("ROLLBACK"), tsioStatus::kSuccess);
    locks->Unlock(21);
  }

  // Left alone, the queued reads cost one request with the unit's next read
  // and each answers once; asked again, the server answers.
  ASSERT_EQ(db.BeginWrite(), tsioStatus::kSuccess);
  ASSERT_EQ(Step(db, kInsert, "mine"), tsioBackendStatement::kDone);
  queue("k1");
  queue("none");
  uint64_t before = Trips();
  const int64_t rows = Count(db);  // asks the queued reads with it
  ASSERT_TRUE(InsertAs(other, "none"));
  EXPECT_EQ(Step(db, probe, "k1"), tsioBackendStatement::kRow);
  EXPECT_EQ(Step(db, probe, "none"), tsioBackendStatement::kDone);  // as asked with the count
  EXPECT_EQ(Trips() - before, 1u);
  EXPECT_EQ(Step(db, probe, "none"), tsioBackendStatement::kRow);  // used once: asked again
  EXPECT_EQ(Trips() - before, 2u);
  // The unit's end ends them.
  queue("gone");
  db.PrefetchNow();
  ASSERT_EQ(db.Exec("COMMIT"), tsioStatus::kSuccess);
  ASSERT_TRUE(InsertAs(other, "gone"));
  EXPECT_EQ(Step(db, probe, "gone"), tsioBackendStatement::kRow);
  EXPECT_EQ(Count(db), rows + 2);
  PQfinish(other);
}

// Writes in a unit declared all-or-nothing go without waiting for their
// answers: a write that failed fails the next read that asks the server, or
// the commit, with its own status and a message naming its table; nothing
// of the unit is kept, and a rollback to a savepoint cannot step past the
// failure. Writes made under tsioWaitingWrites, and outside such a unit,
// still fail alone at once.
TEST(ServerAllOrNothing, AFailedWriteSentWithoutWaitingFailsTheUnitWhole) {
  if (!bktest::OnServer()) GTEST_SKIP() << "needs the PostgreSQL test server";
  ServerCompany co;
  ASSERT_NE(co.company, nullptr);
  auto& db = co.db();
  ASSERT_EQ(Step(db, kInsert, "taken"), tsioBackendStatement::kDone);
  const std::string update = "UPDATE \"f_TST_1_r1\" SET \"K2\" = 1 WHERE \"K1\" = ?1";
  struct Case {
    const char* what;
    const char* write;  // the failing write's key ("taken": a duplicate)
    const char* sql;
    std::function<tsioStatus::Status()> then;  // what meets the failure
    tsioStatus::Status failure;
  } cases[] = {
      {"a duplicate met at the commit", "taken", kInsert, [&] { return db.Exec("COMMIT"); },
       tsioStatus::kDuplicateKey},
      {"a duplicate met at the next read", "taken", kInsert,
       [&] {
         const short step = Step(db, "SELECT \"K1\" FROM \"f_TST_1_r1\" WHERE \"K1\"=?1", "x");
         return step < 0 ? tsioStatus::kSuccess : static_cast<tsioStatus::Status>(step);
       },
       tsioStatus::kDuplicateKey},
      {"a rollback to a savepoint does not step past it", "taken", kInsert,
       [&] {
         (void)Count(db);  // the failure is known
         const tsioStatus::Status back = db.Exec("ROLLBACK TO s");
         const tsioStatus::Status commit = db.Exec("COMMIT");
         return back == commit ? commit : tsioStatus::kSuccess;
       },
       tsioStatus::kDuplicateKey},
      {"an update of a missing record", "missing", update.c_str(), [&] { return db.Exec("COMMIT"); },
       tsioStatus::kNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      tsioAllOrNothing all(*co.company);
      ASSERT_EQ(db.BeginWrite(), tsioStatus::kSuccess);
      ASSERT_EQ(db.Exec("SAVEPOINT s"), tsioStatus::kSuccess);
      const uint64_t before = Trips();
      ASSERT_EQ(Step(db, kInsert, "kept?"), tsioBackendStatement::kDone);
      ASSERT_EQ(Step(db, c.sql, c.write), tsioBackendStatement::kDone);  // not waited for
      if (c.sql == update.c_str()) {
        EXPECT_EQ(db.ChangesOrNotFoundLater(), 1);
      }
      ASSERT_EQ(Step(db, kInsert, "after"), tsioBackendStatement::kDone);
      EXPECT_EQ(Trips(), before);
      EXPECT_EQ(c.then(), c.failure);
      EXPECT_NE(db.LastError().find("f_TST_1_r1"), std::string::npos) << db.LastError();
      if (db.InTransaction()) {
        EXPECT_NE(db.Exec("COMMIT"), tsioStatus::kSuccess);  // never reported as success
      }
      (void)db.Exec("ROLLBACK");
    }
    EXPECT_EQ(Count(db), 1);  // nothing of the unit
  }

  // Writes that wait: the duplicate fails alone, the unit goes on.
  {
    tsioAllOrNothing all(*co.company);
    ASSERT_EQ(db.BeginWrite(), tsioStatus::kSuccess);
    ASSERT_EQ(Step(db, kInsert, "a"), tsioBackendStatement::kDone);
    {
      tsioWaitingWrites waiting(*co.company);
      EXPECT_EQ(Step(db, kInsert, "taken"), tsioStatus::kDuplicateKey);
    }
    ASSERT_EQ(Step(db, kInsert, "b"), tsioBackendStatement::kDone);
    EXPECT_EQ(db.Exec("COMMIT"), tsioStatus::kSuccess);
  }
  ASSERT_EQ(db.BeginWrite(), tsioStatus::kSuccess);
  EXPECT_EQ(Step(db, kInsert, "taken"), tsioStatus::kDuplicateKey);  // outside: at once, alone
  ASSERT_EQ(Step(db, kInsert, "c"), tsioBackendStatement::kDone);
  EXPECT_EQ(db.Exec("COMMIT"), tsioStatus::kSuccess);
  EXPECT_EQ(Count(db), 4);
}

// A program killed between writes sent without waiting leaves nothing of
// its unit: they belong to its open transaction, which the server rolls
// back with its connection.
TEST(ServerAllOrNothing, AUnitKilledBetweenWritesSentWithoutWaitingLeavesNothing) {
  if (!bktest::OnServer()) GTEST_SKIP() << "needs the PostgreSQL test server";
  ServerCompany co;
  ASSERT_NE(co.company, nullptr);
  const std::string folder = co.path();
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
  EXPECT_EQ(Count(co.db()), 0);
}

}  // namespace
