// Bank locks and run locks with real second processes: a lock held by a
// live program is seen, one left by a killed program is free and taken over;
// asking never releases a lock, and one that cannot be released is kept.
#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>
#include <type_traits>

#include "accounts/bank_account.h"
#include "deposits/detail_transfer_test_support.h"
#include "framework/io/faults.h"
#include "locking/register_bank_lock.h"
#include "locking/register_bank_locker.h"
#include "locking/register_transaction_run_lock.h"
#include "records/record_test_support.h"
#include "tests/support/status_text.h"

namespace {

using bktest::BankCompany;
using bktest::ChildProcess;
using bktest::Said;
using Runs = bkRegisterTransactionRunLock::RunSet;

// The records of cursor type C in `file` as "bank:run" (or "bank"), in key order.
template <typename C>
std::string Rows(const tsioDataFile& file) {
  C c(file, "", 0);
  std::string s;
  for (auto st = c.FetchFirst(false); st == tsioStatus::kSuccess; st = c.FetchNext(false)) {
    s += (s.empty() ? "" : " ") + c.m_Record.GetBankAccount().str();
    if constexpr (std::is_same_v<C, TransactionRunLock>) s += ":" + c.m_Record.GetTransactionRun().Format();
  }
  return s;
}

// A second program that opens the company and runs one command per line:
// "lock B" / "active R"; it answers with the resulting level or status and
// then holds what it took until killed.
ChildProcess StartHolder(const std::string& folder) {
  return ChildProcess::Start([folder] {
    tsioFileManager fm(folder);
    tsioDataFile *bkm = nullptr, *bkt = nullptr;
    if (fm.Open(BKMFileSpec, &bkm) != tsioStatus::kSuccess || fm.Open(BKTFileSpec, &bkt) != tsioStatus::kSuccess) {
      return 1;
    }
    RegisterBankLocker locker(*bkm);
    bkRegisterTransactionRunLock runs(*bkt);
    for (std::string cmd; !(cmd = ChildProcess::ReadLine()).empty();) {
      std::istringstream in(cmd);
      std::string verb, what;
      in >> verb >> what;
      ChildProcess::WriteLine(verb == "lock" ? Said(locker.lockBank(what), false)
                                             : std::to_string(runs.LockActiveRun(tsDouble::FromText(what))));
    }
    return 0;
  });
}

TEST(BankLocks, AnotherProgramsLockIsSeenUntilItIsKilled) {
  BankCompany co;
  ChildProcess other = StartHolder(co.fm.Folder());
  other.Send("lock B1");
  ASSERT_EQ(other.Receive(), "0");
  RegisterBankLocker mine(*co.bkm);
  EXPECT_EQ(Said(mine.lockBank("B1"), false), "3 | 2305/3");
  EXPECT_EQ(Said(mine.isBankLocked("B1")) + " " + Said(mine.isBankLocked("B2")), "2 0");

  other.Kill(SIGKILL);
  other.Wait();
  EXPECT_EQ(Rows<RegisterBankLock>(*co.bkm), "B1");  // the dead program's record is still there...
  EXPECT_EQ(Said(mine.isBankLocked("B1")), "0");     // ...but counts as free
  tsioFaults::Arm(tsioOp::kInsert, tsioStatus::kIOError);  // an insert would fail now
  EXPECT_EQ(Said(mine.lockBank("B1")), "0");               // taken over without inserting
  tsioFaults::Clear();
  EXPECT_EQ(mine.getLockedName() + " = " + Rows<RegisterBankLock>(*co.bkm), "B1 = B1");
}

// Two lockers (two programs' views) in turn: "<a|b> <lock|unlock|ask> [bank]",
// "<a|b> release" (whatever it holds), "a name" (the bank it holds); a step
// ending in "!fetch" or "!delete" runs with that operation failing.
TEST(BankLocks, OneLockerHoldsOneBankAndNeverForgetsOneItCannotRelease) {
  BankCompany co;
  tsioDataFile second(co.bkm->FileName());
  RegisterBankLocker a(*co.bkm), b(second);
  const std::pair<const char*, const char*> steps[] = {
      {"a lock", "3"}, {"a unlock", "0"}, {"a ask", "0"}, {"a release", "0"},  // no bank; holds nothing
      {"a lock A", "0"}, {"a unlock B", "3 | 2304/3"}, {"a name", "A"}, {"b ask A", "2"},
      // A bank that cannot be released stays held and remembered; nothing else is locked.
      {"a lock C !fetch", "3 | 2302/3"}, {"a lock C !delete", "3 | 2302/3"}, {"a name", "A"},
      {"b ask A", "2"}, {"b ask C", "0"},
      {"a lock C", "0"}, {"b ask A", "0"},  // the release works again
      // Asking about one's own bank or another never releases it.
      {"a ask C", "0"}, {"a ask A", "0"}, {"a name", "C"}, {"b ask C", "2"}, {"b lock C", "3 | 2305/3"},
      {"a release", "0"}, {"b ask C", "0"},
  };
  for (const auto& [step, said] : steps) {
    std::istringstream in(step);
    std::string who, verb, bank, fault;
    in >> who >> verb >> bank >> fault;
    if (bank.starts_with("!")) std::swap(bank, fault);
    if (!fault.empty()) tsioFaults::Arm(fault == "!fetch" ? tsioOp::kFetch : tsioOp::kDelete, tsioStatus::kIOError);
    RegisterBankLocker& l = who == "a" ? a : b;
    const std::string answer = verb == "name"     ? std::string(l.getLockedName())
                               : verb == "lock"   ? Said(l.lockBank(bank), false)
                               : verb == "unlock" ? Said(l.unlockBank(bank), false)
                               : verb == "ask"    ? Said(l.isBankLocked(bank), false)
                                                  : Said(l.unlockBank(), false);
    tsioFaults::Clear();
    EXPECT_EQ(answer, said) << step;
  }
  EXPECT_EQ(Rows<RegisterBankLock>(*co.bkm), "");
  {
    RegisterBankLocker c(*co.bkm);
    ASSERT_EQ(Said(c.lockBank("D")), "0");
    EXPECT_EQ(Said(b.isBankLocked("D")), "2");
  }
  EXPECT_EQ(Said(b.isBankLocked("D")), "0") << "destroying a locker releases its lock";
}

// Markers a live program holds stay and are reported; a killed program's
// go. A run is excluded from a view while a marker of its bank is above it
// and none is its own.
TEST(RunLocks, MarkersHeldByALiveProgramStayAndExcludeTheRunsBelow) {
  BankCompany co;
  bkRegisterTransactionRunLock runs(*co.bkt);
  const auto excluded = [&runs] {
    std::string s;
    for (const auto& [bank, run] : {std::pair{"B1", 4}, {"B1", 3}, {"B1", 8}, {"B0", 1}}) {
      s += runs.TransactionRunExcluded(tsAlpha(bank), tsDouble(run, 0)) ? '1' : '0';
    }
    return s;
  };
  EXPECT_EQ(excluded(), "0000");
  ASSERT_EQ(Said(runs.CreateTransactionRunLocks(tsAlpha("B1"), {tsDouble(3, 0), tsDouble(5, 0), tsDouble(7, 0)})), "0");
  ASSERT_EQ(Said(runs.CreateTransactionRunLocks(tsAlpha("B2"), {tsDouble(1, 0)})), "0");
  EXPECT_EQ(excluded(), "1000");
  // A marker that exists already stops the creation at that run.
  EXPECT_EQ(Said(runs.CreateTransactionRunLocks(tsAlpha("B1"), {tsDouble(4, 0), tsDouble(5, 0), tsDouble(6, 0)}),
                 false),
            "3 | 2403/3");

  ChildProcess other = bkdetailtest::HoldLock<TransactionRunLock>(co.fm.Folder(), "TRBNKAC=B1;TRRUN=5");
  Runs locked;
  ASSERT_EQ(Said(runs.DeleteTransactionRunLocks(tsAlpha("B1"), &locked)), "0");
  EXPECT_EQ(locked, (Runs{tsDouble(5, 0)}));
  EXPECT_EQ(Rows<TransactionRunLock>(*co.bkt), "B1:5 B2:1");

  other.Kill(SIGKILL);
  other.Wait();
  locked.clear();
  ASSERT_EQ(Said(runs.DeleteTransactionRunLocks(tsAlpha("B1"), &locked)), "0");
  EXPECT_TRUE(locked.empty());
}

// The active run is held through a handle of its own, so nothing the program
// does on its other cursors drops it. Each object holds one active run:
// taking another first removes the one held (record gone, lock ended); when
// that removal fails, the first run stays active and locked and the second
// is not taken. A dead program's active run is cleaned up.
TEST(RunLocks, ActiveRunsOnePerObjectHeldUntilRemoved) {
  BankCompany co;
  bkRegisterTransactionRunLock runs(*co.bkt);
  tsioDataFile stranger(co.bkt->FileName());
  bkRegisterTransactionRunLock other(stranger);
  // Each run as another program finds it (locking it a moment): 9 held, 13 gone.
  const auto seen = [&stranger](std::initializer_list<int> runs) {
    std::string s;
    for (int run : runs) {
      const std::string key = "TRBNKAC=;TRRUN=" + std::to_string(run);
      s += std::to_string(run) + ":" + std::to_string(bkdetailtest::LockOnce<TransactionRunLock>(stranger, key)) + " ";
    }
    return s;
  };
  ASSERT_EQ(runs.LockActiveRun(tsDouble(42, 0)), tsioStatus::kSuccess);
  ASSERT_EQ(runs.LockActiveRun(tsDouble(42, 0)), tsioStatus::kSuccess);  // the same run again: still held
  TransactionRunLock other_cursor(*co.bkt, "", 0);
  other_cursor.ClearFileBuffers();
  (void)other_cursor.CursorPtr()->Unlock(0);  // every lock of the program's handle
  ASSERT_EQ(other_cursor.FetchFirst(false), tsioStatus::kSuccess);
  EXPECT_EQ(seen({42}), "42:9 ");
  EXPECT_EQ(other.LockActiveRun(tsDouble(42, 0)), tsioStatus::kLocked);
  ASSERT_EQ(runs.LockActiveRun(tsDouble(43, 0)), tsioStatus::kSuccess);
  EXPECT_EQ(seen({42, 43}), "42:13 43:9 ");

  tsioFaults::Arm(tsioOp::kDelete, tsioStatus::kIOError);
  EXPECT_EQ(runs.LockActiveRun(tsDouble(44, 0)), tsioStatus::kIOError);
  tsioFaults::Clear();
  EXPECT_EQ(seen({43, 44}), "43:9 44:13 ");

  ChildProcess dead = StartHolder(co.fm.Folder());
  dead.Send("active 45");
  ASSERT_EQ(dead.Receive(), "0");
  dead.Kill(SIGKILL);
  dead.Wait();
  Runs active;
  ASSERT_EQ(Said(other.DeleteTransactionRunLocks(tsAlpha(""), &active)), "0");
  EXPECT_EQ(active, (Runs{tsDouble(43, 0)}));

  // Refused by another program: nothing held here any more to remove.
  ASSERT_EQ(other.LockActiveRun(tsDouble(50, 0)), tsioStatus::kSuccess);
  EXPECT_EQ(runs.LockActiveRun(tsDouble(50, 0)), tsioStatus::kLocked);
  EXPECT_EQ(seen({43}), "43:13 ");
  EXPECT_EQ(runs.RemoveActiveRun(), tsioStatus::kSuccess);  // holds none: nothing of the other's is touched
  ASSERT_EQ(other.RemoveActiveRun(), tsioStatus::kSuccess);
  EXPECT_EQ(seen({50, 45}), "50:13 45:13 ");
}

}  // namespace
