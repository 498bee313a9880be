// A unit of work over the module's own files: a program killed inside a unit
// that changed the current transactions, the history and the bank master
// leaves all three as they were. (Rollbacks within one program are checked
// at every failing step in transaction_ops_test.cc.)
#include <gtest/gtest.h>
#include <signal.h>

#include "framework/io/rollback_stack.h"
#include "accounts/bank_account.h"
#include "records/record_test_support.h"
#include "transactions/transaction.h"

namespace {

using bktest::ChildProcess;

template <typename C>
int Count(C& cursor) {
  int n = 0;
  for (auto st = cursor.FetchFirst(false); st == tsioStatus::kSuccess; st = cursor.FetchNext(false)) ++n;
  return n;
}

// One unit's work: a bank account changed, a transaction written to the
// current file and one moved to history.
void Work(const tsioDataFile& bkm, const tsioDataFile& bkt, const tsioDataFile& history, tclRollbackStack& unit) {
  BankAccount bank(bkm, "", 0);
  Transaction current(bkt, "", 0), posted(history, "", 0);
  bank.AttachRollbackStack(&unit);
  current.AttachRollbackStack(&unit);
  posted.AttachRollbackStack(&unit);
  bank.m_Record.SetBankAccount(tsAlpha("B1"));
  ASSERT_EQ(bank.FetchEQ(true), tsioStatus::kSuccess);
  bank.m_Record.SetRegisterBalance(tsCurrency::FromText("999.99"));
  ASSERT_EQ(bank.Update(), tsioStatus::kSuccess);
  current.m_Record.SetBankAccount(tsAlpha("B1"));
  current.m_Record.SetRun(tsDouble(2, 0));
  current.m_Record.SetSequence(tsDouble(1, 0));
  ASSERT_EQ(current.Insert(), tsioStatus::kSuccess);
  current.m_Record.SetRun(tsDouble(1, 0));
  ASSERT_EQ(current.FetchEQ(true), tsioStatus::kSuccess);
  ASSERT_EQ(current.Transfer(history).Value(), 0);
}

void Seed(bktest::BankCompany& co) {
  BankAccount bank(*co.bkm, "", 0);
  bank.m_Record.SetBankAccount(tsAlpha("B1"));
  bank.m_Record.SetRegisterBalance(tsCurrency::FromText("100.00"));
  ASSERT_EQ(bank.Insert(), tsioStatus::kSuccess);
  Transaction t(*co.bkt, "", 0);
  t.m_Record.SetBankAccount(tsAlpha("B1"));
  t.m_Record.SetRun(tsDouble(1, 0));
  t.m_Record.SetSequence(tsDouble(1, 0));
  ASSERT_EQ(t.Insert(), tsioStatus::kSuccess);
}

void ExpectAsSeeded(bktest::BankCompany& co) {
  BankAccount bank(*co.bkm, "", 0);
  bank.m_Record.SetBankAccount(tsAlpha("B1"));
  ASSERT_EQ(bank.FetchEQ(false), tsioStatus::kSuccess);
  EXPECT_EQ(bank.m_Record.GetRegisterBalance(), tsCurrency::FromText("100.00"));
  Transaction current(*co.bkt, "", 0), posted(*co.history, "", 0);
  EXPECT_EQ(Count(current), 1);
  EXPECT_EQ(Count(posted), 0);
}

TEST(UnitOfWork, AProgramKilledInsideAUnitLeavesTheFilesAsBefore) {
  bktest::BankCompany co;
  Seed(co);
  std::string folder = co.fm.Folder();
  ChildProcess program = ChildProcess::Start([folder] {
    tsioFileManager fm(folder);
    tsioDataFile *bkm = nullptr, *bkt = nullptr, *history = nullptr;
    if (fm.Open(BKMFileSpec, &bkm) != 0 || fm.Open(BKTFileSpec, &bkt) != 0 ||
        fm.Open(BKTHistoryFileSpec, &history) != 0) {
      return 1;
    }
    tclRollbackStack unit;
    Work(*bkm, *bkt, *history, unit);
    ChildProcess::WriteLine(::testing::Test::HasFailure() ? "failed" : "inside");
    ChildProcess::ReadLine();
    return 0;
  });
  ASSERT_EQ(program.Receive(), "inside");
  program.Kill(SIGKILL);
  program.Wait();
  ExpectAsSeeded(co);
}

}  // namespace
