// Bank locks and run locks with real second processes: a lock held by a
// live program is seen, one left by a killed program is free and taken over;
// asking never releases a lock, and one that cannot be released is kept.
#include <gtest/gtest.h>
#include <signal.h>

#include <map>
#include <memory>
#include <sstream>
#include <type_traits>

#include "deposits/detail_transfer_test_support.h"
#include "framework/io/faults.h"
#include "locking/register_bank_lock.h"
#include "locking/register_bank_locker.h"
#include "locking/register_transaction_run_lock.h"
#include "records/record_test_support.h"
#include "tests/support/status_text.h"

namespace {

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

// Two lockers of this program (two programs' views) and a second program
// in turn: "<a|b> <lock|unlock|ask> [bank]", "<a|b> release" (whatever it
// holds), "<a|b> name" (the bank it holds), "rows" (the lock records), "x
// kill" (the second program, holding bank E's lock as its locker would);
// a step ending in "!fetch", "!delete" or "!insert" runs with that
// operation failing.
TEST(BankLocks, OneLockerHoldsOneBankAndNeverForgetsOneItCannotRelease) {
  bktest::BankCompany co;
  tsioDataFile second(co.bkm->FileName());
  auto a = std::make_unique<RegisterBankLocker>(*co.bkm);
  RegisterBankLocker b(second);
  bkdetailtest::Put<RegisterBankLock>(*co.bkm, "LBNKACC=E");
  ChildProcess x = bkdetailtest::HoldLock<RegisterBankLock>(co.fm.Folder(), "LBNKACC=E", BKMFileSpec);
  const std::pair<const char*, const char*> steps[] = {
      {"a lock", "3"}, {"a unlock", "0"}, {"a ask", "0"}, {"a release", "0"},  // no bank; holds nothing
      {"a lock E", "3 | 2305/3"}, {"a ask E", "2"}, {"a ask F", "0"},
      // The dead program's record is still there, but counts as free and is
      // taken over without inserting.
      {"x kill", ""}, {"rows", "E"}, {"a ask E", "0"}, {"b lock E !insert", "0"}, {"rows", "E"}, {"b name", "E"},
      {"b release", "0"},
      {"a lock A", "0"}, {"a unlock B", "3 | 2304/3"}, {"a name", "A"}, {"b ask A", "2"},
      // A bank that cannot be released stays held and remembered; nothing else is locked.
      {"a lock C !fetch", "3 | 2302/3"}, {"a lock C !delete", "3 | 2302/3"}, {"a name", "A"},
      {"b ask A", "2"}, {"b ask C", "0"},
      {"a lock C", "0"}, {"b ask A", "0"},  // the release works again
      // Asking about one's own bank or another never releases it.
      {"a ask C", "0"}, {"a ask A", "0"}, {"a name", "C"}, {"b ask C", "2"}, {"b lock C", "3 | 2305/3"},
      {"a release", "0"}, {"b ask C", "0"}, {"rows", ""}, {"a lock D", "0"}, {"b ask D", "2"},
  };
  const std::map<std::string, tsioOp> faults = {
      {"!fetch", tsioOp::kFetch}, {"!delete", tsioOp::kDelete}, {"!insert", tsioOp::kInsert}};
  for (const auto& [step, said] : steps) {
    std::istringstream in(step);
    std::string who, verb, bank, fault;
    in >> who >> verb >> bank >> fault;
    if (bank.starts_with("!")) std::swap(bank, fault);
    if (!fault.empty()) tsioFaults::Arm(faults.at(fault), tsioStatus::kIOError);
    RegisterBankLocker& l = who == "a" ? *a : b;
    std::string answer;
    if (who == "x") {
      x.Kill(SIGKILL);
      EXPECT_EQ(x.Wait(), -SIGKILL);
    } else {
      answer = who == "rows"     ? Rows<RegisterBankLock>(*co.bkm)
               : verb == "name"   ? std::string(l.getLockedName())
               : verb == "lock"   ? Said(l.lockBank(bank), false)
               : verb == "unlock" ? Said(l.unlockBank(bank), false)
               : verb == "ask"    ? Said(l.isBankLocked(bank), false)
                                  : Said(l.unlockBank(), false);
    }
    tsioFaults::Clear();
    EXPECT_EQ(answer, said) << step;
  }
  a.reset();
  EXPECT_EQ(Said(b.isBankLocked("D")), "0") << "destroying a locker releases its lock";
}

// Markers a live program holds stay and are reported; a killed program's
// go. A run is excluded from a view while a marker of its bank is above it
// and none is its own. The active run is held through a handle of its own,
// so nothing the program does on its other cursors drops it. Each object
// holds one active run: taking another first removes the one held (record
// gone, lock ended); when that removal fails, the first run stays active and
// locked and the second is not taken. A dead program's active run is
// cleaned up.
TEST(RunLocks, MarkersHeldByALiveProgramStayAndExcludeTheRunsBelow) {
  bktest::BankCompany co;
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
  ChildProcess other_program = bkdetailtest::HoldLock<TransactionRunLock>(co.fm.Folder(), "TRBNKAC=B1;TRRUN=5");
  Runs locked;
  ASSERT_EQ(Said(runs.DeleteTransactionRunLocks(tsAlpha("B1"), &locked)), "0");
  EXPECT_EQ(locked, (Runs{tsDouble(5, 0)}));
  EXPECT_EQ(Rows<TransactionRunLock>(*co.bkt), "B1:5 B2:1");
  other_program.Kill(SIGKILL);
  EXPECT_EQ(other_program.Wait(), -SIGKILL);
  ASSERT_EQ(Said(runs.DeleteTransactionRunLocks(tsAlpha("B1"), &locked)), "0");
  EXPECT_EQ(Rows<TransactionRunLock>(*co.bkt), "B2:1");

  tsioDataFile stranger(co.bkt->FileName());
  bkRegisterTransactionRunLock other(stranger);
  // Each active run as another program finds it (locking it a moment): 9 held, 13 gone.
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
  // A dead program's active run: its record, held by nobody.
  bkdetailtest::Put<TransactionRunLock>(*co.bkt, "TRBNKAC=;TRRUN=45");
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
