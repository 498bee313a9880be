// Bank locks and run locks with real second processes: a lock held by a
// live program is seen, one left by a killed program is free and taken over.
#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>

#include "framework/io/faults.h"
#include "locking/register_bank_locker.h"
#include "locking/register_transaction_run_lock.h"
#include "accounts/bank_account.h"
#include "records/record_test_support.h"
#include "locking/register_bank_lock.h"

namespace {

using bktest::BankCompany;
using bktest::ChildProcess;

int LockRecords(const tsioDataFile& bkm) {
  RegisterBankLock c(bkm, "", 0);
  int n = 0;
  for (auto st = c.FetchFirst(false); st == tsioStatus::kSuccess; st = c.FetchNext(false)) ++n;
  return n;
}

// A second program that opens the company and runs one command per line:
// "lock B" / "marker B R" (locks a run marker) / "active R"; it answers with
// the resulting level or status and then holds what it took until killed.
ChildProcess StartHolder(const std::string& folder) {
  return ChildProcess::Start([folder] {
    tsioFileManager fm(folder);
    tsioDataFile *bkm = nullptr, *bkt = nullptr;
    if (fm.Open(BKMFileSpec, &bkm) != tsioStatus::kSuccess || fm.Open(BKTFileSpec, &bkt) != tsioStatus::kSuccess) {
      return 1;
    }
    RegisterBankLocker locker(*bkm);
    TransactionRunLock marker(*bkt, "", 0);
    bkRegisterTransactionRunLock runs(*bkt);
    for (;;) {
      std::string cmd = ChildProcess::ReadLine();
      if (cmd.empty()) return 0;
      std::istringstream in(cmd);
      std::string verb, bank;
      long long run = 0;
      in >> verb;
      if (verb == "lock") {
        in >> bank;
        ChildProcess::WriteLine(std::to_string(locker.lockBank(bank).MaxLevel()));
      } else if (verb == "marker") {
        in >> bank >> run;
        marker.m_Record.SetBankAccount(tsAlpha(bank));
        marker.m_Record.SetTransactionRun(tsDouble(run, 0));
        ChildProcess::WriteLine(std::to_string(marker.FetchEQ(true)));
      } else if (verb == "active") {
        in >> run;
        ChildProcess::WriteLine(std::to_string(runs.LockActiveRun(tsDouble(run, 0))));
      }
    }
  });
}

TEST(BankLocks, AnotherProgramsLockIsSeenUntilItIsKilled) {
  BankCompany co;
  ChildProcess other = StartHolder(co.fm.Folder());
  other.Send("lock B1");
  ASSERT_EQ(other.Receive(), "0");

  RegisterBankLocker mine(*co.bkm);
  auto st = mine.lockBank("B1");
  EXPECT_EQ(st.MaxLevel(), ccError::kError);
  ASSERT_EQ(st.Errors().Size(), 1u);
  EXPECT_EQ(st.Errors()[0].Number(), 2305);
  EXPECT_EQ(mine.isBankLocked("B1").Value(), ccError::kWarning);
  EXPECT_TRUE(mine.isBankLocked("B1").Errors().Empty());
  EXPECT_EQ(mine.isBankLocked("B2").Value(), ccError::kNone);

  other.Kill(SIGKILL);
  other.Wait();
  EXPECT_EQ(LockRecords(*co.bkm), 1);  // the dead program's record is still there...
  EXPECT_EQ(mine.isBankLocked("B1").Value(), ccError::kNone);  // ...but counts as free
  tsioFaults::Arm(tsioOp::kInsert, tsioStatus::kIOError);       // an insert would fail now
  EXPECT_EQ(mine.lockBank("B1").MaxLevel(), ccError::kNone);    // taken over without inserting
  tsioFaults::Clear();
  EXPECT_EQ(mine.getLockedName(), "B1");
  EXPECT_EQ(LockRecords(*co.bkm), 1);
}

TEST(BankLocks, OneLockerHoldsOneBankAndReleasesCleanly) {
  BankCompany co;
  RegisterBankLocker a(*co.bkm);
  EXPECT_EQ(a.lockBank("").MaxLevel(), ccError::kError);
  EXPECT_TRUE(a.lockBank("").Errors().Empty());
  EXPECT_EQ(a.unlockBank("").MaxLevel(), ccError::kNone);
  EXPECT_EQ(a.isBankLocked("").MaxLevel(), ccError::kNone);
  EXPECT_EQ(a.unlockBank().MaxLevel(), ccError::kNone);  // holds nothing

  ASSERT_EQ(a.lockBank("A").MaxLevel(), ccError::kNone);
  auto wrong = a.unlockBank("B");
  ASSERT_EQ(wrong.Errors().Size(), 1u);
  EXPECT_EQ(wrong.Errors()[0].Number(), 2304);
  EXPECT_EQ(a.getLockedName(), "A");

  // A second handle (another program's view) sees A locked.
  tsioDataFile second(co.bkm->FileName());
  RegisterBankLocker b(second);
  EXPECT_EQ(b.isBankLocked("A").Value(), ccError::kWarning);
  ASSERT_EQ(a.lockBank("C").MaxLevel(), ccError::kNone);  // releases A first
  EXPECT_EQ(b.isBankLocked("A").Value(), ccError::kNone);
  EXPECT_EQ(LockRecords(*co.bkm), 1);

  // Asking about one's own bank answers "not held by another program" and
  // keeps it held: no other program can take it meanwhile.
  EXPECT_EQ(a.isBankLocked("C").Value(), ccError::kNone);
  EXPECT_EQ(a.getLockedName(), "C");
  EXPECT_EQ(b.isBankLocked("C").Value(), ccError::kWarning);
  EXPECT_EQ(b.lockBank("C").Errors()[0].Number(), 2305);
  // Asking about another bank keeps it held too.
  EXPECT_EQ(a.isBankLocked("A").Value(), ccError::kNone);
  EXPECT_EQ(b.isBankLocked("C").Value(), ccError::kWarning);
  ASSERT_EQ(a.unlockBank().MaxLevel(), ccError::kNone);
  EXPECT_EQ(LockRecords(*co.bkm), 0);

  // Destroying a locker releases its lock.
  {
    RegisterBankLocker c(*co.bkm);
    ASSERT_EQ(c.lockBank("D").MaxLevel(), ccError::kNone);
    EXPECT_EQ(b.isBankLocked("D").Value(), ccError::kWarning);
  }
  EXPECT_EQ(b.isBankLocked("D").Value(), ccError::kNone);
}

// A bank whose lock cannot be released is never forgotten: locking another
// bank then refuses and keeps the first held, and a later unlock frees it.
TEST(BankLocks, ABankThatCannotBeReleasedStaysHeldAndRemembered) {
  BankCompany co;
  RegisterBankLocker a(*co.bkm);
  tsioDataFile second(co.bkm->FileName());
  RegisterBankLocker b(second);
  ASSERT_EQ(a.lockBank("A").MaxLevel(), ccError::kNone);
  for (tsioOp op : {tsioOp::kFetch, tsioOp::kDelete}) {
    SCOPED_TRACE(static_cast<int>(op));
    tsioFaults::Arm(op, tsioStatus::kIOError);
    auto st = a.lockBank("C");
    tsioFaults::Clear();
    EXPECT_EQ(st.MaxLevel(), ccError::kError);
    ASSERT_EQ(st.Errors().Size(), 1u);
    EXPECT_EQ(st.Errors()[0].Number(), 2302);
    EXPECT_EQ(a.getLockedName(), "A");
    EXPECT_EQ(b.isBankLocked("A").Value(), ccError::kWarning);
    EXPECT_EQ(b.isBankLocked("C").Value(), ccError::kNone);
  }
  ASSERT_EQ(a.lockBank("C").MaxLevel(), ccError::kNone);  // the release works again
  EXPECT_EQ(b.isBankLocked("A").Value(), ccError::kNone);
  ASSERT_EQ(a.unlockBank().MaxLevel(), ccError::kNone);
  EXPECT_EQ(LockRecords(*co.bkm), 0);
}

TEST(RunLocks, MarkersHeldByALiveProgramStayAndAreReported) {
  BankCompany co;
  bkRegisterTransactionRunLock runs(*co.bkt);
  bkRegisterTransactionRunLock::RunSet set = {tsDouble(3, 0), tsDouble(5, 0), tsDouble(7, 0)};
  ASSERT_EQ(runs.CreateTransactionRunLocks(tsAlpha("B1"), set).MaxLevel(), ccError::kNone);
  ASSERT_EQ(runs.CreateTransactionRunLocks(tsAlpha("B2"), {tsDouble(1, 0)}).MaxLevel(), ccError::kNone);
  // A marker that exists already stops the creation at that run.
  auto dup = runs.CreateTransactionRunLocks(tsAlpha("B1"), {tsDouble(4, 0), tsDouble(5, 0), tsDouble(6, 0)});
  ASSERT_EQ(dup.Errors().Size(), 1u);
  EXPECT_EQ(dup.Errors()[0].Number(), 2403);

  ChildProcess other = StartHolder(co.fm.Folder());
  other.Send("marker B1 5");
  ASSERT_EQ(other.Receive(), "0");

  bkRegisterTransactionRunLock::RunSet locked;
  ASSERT_EQ(runs.DeleteTransactionRunLocks(tsAlpha("B1"), &locked).MaxLevel(), ccError::kNone);
  EXPECT_EQ(locked, (bkRegisterTransactionRunLock::RunSet{tsDouble(5, 0)}));
  TransactionRunLock all(*co.bkt, "", 0);
  std::vector<std::string> left;
  for (auto st = all.FetchFirst(false); st == tsioStatus::kSuccess; st = all.FetchNext(false)) {
    left.push_back(all.m_Record.GetBankAccount().str() + ":" + all.m_Record.GetTransactionRun().Format());
  }
  EXPECT_EQ(left, (std::vector<std::string>{"B1:5", "B2:1"}));

  other.Kill(SIGKILL);
  other.Wait();
  locked.clear();
  ASSERT_EQ(runs.DeleteTransactionRunLocks(tsAlpha("B1"), &locked).MaxLevel(), ccError::kNone);
  EXPECT_TRUE(locked.empty());
}

TEST(RunLocks, ExcludedRunsAndActiveRuns) {
  BankCompany co;
  bkRegisterTransactionRunLock runs(*co.bkt);
  EXPECT_FALSE(runs.TransactionRunExcluded(tsAlpha("B1"), tsDouble(4, 0)));  // no markers
  ASSERT_EQ(runs.CreateTransactionRunLocks(tsAlpha("B1"), {tsDouble(4, 0)}).MaxLevel(), ccError::kNone);
  EXPECT_FALSE(runs.TransactionRunExcluded(tsAlpha("B1"), tsDouble(4, 0)));  // marker for the run
  EXPECT_TRUE(runs.TransactionRunExcluded(tsAlpha("B1"), tsDouble(3, 0)));   // marker above it only
  EXPECT_FALSE(runs.TransactionRunExcluded(tsAlpha("B1"), tsDouble(5, 0)));  // nothing at or above
  EXPECT_FALSE(runs.TransactionRunExcluded(tsAlpha("B0"), tsDouble(1, 0)));  // next bank's markers don't count

  // The active run is held through a handle of its own: nothing the program
  // does on its other cursors drops it.
  ASSERT_EQ(runs.LockActiveRun(tsDouble(42, 0)), tsioStatus::kSuccess);
  TransactionRunLock other_cursor(*co.bkt, "", 0);
  other_cursor.ClearFileBuffers();
  (void)other_cursor.CursorPtr()->Unlock(0);  // every lock of the program's handle
  ASSERT_EQ(other_cursor.FetchFirst(false), tsioStatus::kSuccess);
  tsioDataFile stranger(co.bkt->FileName());
  TransactionRunLock probe(stranger, "", 0);
  probe.m_Record.SetTransactionRun(tsDouble(42, 0));
  EXPECT_EQ(probe.FetchEQ(true), tsioStatus::kLocked);

  // Another program sees the active run and cannot take it; a dead program's run is cleaned up.
  bkRegisterTransactionRunLock::RunSet active;
  bkRegisterTransactionRunLock second(stranger);
  EXPECT_EQ(second.LockActiveRun(tsDouble(42, 0)), tsioStatus::kLocked);
  ChildProcess dead = StartHolder(co.fm.Folder());
  dead.Send("active 43");
  ASSERT_EQ(dead.Receive(), "0");
  dead.Kill(SIGKILL);
  dead.Wait();
  ASSERT_EQ(second.DeleteTransactionRunLocks(tsAlpha(""), &active).MaxLevel(), ccError::kNone);
  EXPECT_EQ(active, (bkRegisterTransactionRunLock::RunSet{tsDouble(42, 0)}));
  ASSERT_EQ(runs.RemoveActiveRun(), tsioStatus::kSuccess);
  probe.m_Record.SetTransactionRun(tsDouble(42, 0));
  EXPECT_EQ(probe.FetchEQ(false), tsioStatus::kNotFound);
}

// Each object holds one active run: taking another first removes the one held
// (record gone, lock ended); when that removal fails, the first run stays
// active and locked and the second is not taken.
TEST(RunLocks, ASecondActiveRunEndsTheFirstOrIsRefused) {
  BankCompany co;
  bkRegisterTransactionRunLock runs(*co.bkt);
  tsioDataFile stranger(co.bkt->FileName());
  TransactionRunLock probe(stranger, "", 0);
  auto probe_run = [&probe](int run) {
    probe.m_Record.SetBankAccount(tsAlpha(""));
    probe.m_Record.SetTransactionRun(tsDouble(run, 0));
    tsioStatus::Status st = probe.FetchEQ(true);
    if (st == tsioStatus::kSuccess) (void)probe.Unlock();
    return st;
  };
  ASSERT_EQ(runs.LockActiveRun(tsDouble(42, 0)), tsioStatus::kSuccess);
  ASSERT_EQ(runs.LockActiveRun(tsDouble(42, 0)), tsioStatus::kSuccess);  // the same run again: still held
  EXPECT_EQ(probe_run(42), tsioStatus::kLocked);
  ASSERT_EQ(runs.LockActiveRun(tsDouble(43, 0)), tsioStatus::kSuccess);
  EXPECT_EQ(probe_run(42), tsioStatus::kNotFound);
  EXPECT_EQ(probe_run(43), tsioStatus::kLocked);

  tsioFaults::Arm(tsioOp::kDelete, tsioStatus::kIOError);
  EXPECT_EQ(runs.LockActiveRun(tsDouble(44, 0)), tsioStatus::kIOError);
  tsioFaults::Clear();
  EXPECT_EQ(probe_run(43), tsioStatus::kLocked);
  EXPECT_EQ(probe_run(44), tsioStatus::kNotFound);

  // Refused by another program: nothing held here any more to remove.
  bkRegisterTransactionRunLock other(stranger);
  ASSERT_EQ(other.LockActiveRun(tsDouble(50, 0)), tsioStatus::kSuccess);
  EXPECT_EQ(runs.LockActiveRun(tsDouble(50, 0)), tsioStatus::kLocked);
  EXPECT_EQ(probe_run(43), tsioStatus::kNotFound);
  EXPECT_EQ(runs.RemoveActiveRun(), tsioStatus::kSuccess);  // holds none: nothing of the other's is touched
  ASSERT_EQ(other.RemoveActiveRun(), tsioStatus::kSuccess);
  EXPECT_EQ(probe_run(50), tsioStatus::kNotFound);
}

}  // namespace
