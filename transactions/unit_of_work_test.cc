// A unit of work over the module's own files: a program killed inside a unit
// that changed the current transactions, the history and the bank master
// leaves all three as they were. (Rollbacks within one program are checked
// at every failing step in transaction_ops_test.cc.)
#include <gtest/gtest.h>
#include <signal.h>

#include "accounts/bank_account.h"
#include "deposits/detail_transfer_test_support.h"
#include "framework/io/rollback_stack.h"
#include "records/record_test_support.h"
#include "transactions/transactions_test_support.h"

namespace {

using bkdetailtest::Put;
using bktest::ChildProcess;

TEST(UnitOfWork, AProgramKilledInsideAUnitLeavesTheFilesAsBefore) {
  bktest::BankCompany co;
  Put<BankAccount>(*co.bkm, "BANKACC=B1;BRGBLNC=100.00");
  Put<Transaction>(*co.bkt, "TBNKACC=B1;TRUN=1;TSEQ=1");
  const std::string folder = co.fm.Folder();
  const std::string before = txtest::DumpDatabase(folder);
  ChildProcess program = ChildProcess::Start([folder] {
    tsioFileManager fm(folder);
    tsioDataFile *bkm = nullptr, *bkt = nullptr, *history = nullptr;
    if (fm.Open(BKMFileSpec, &bkm) != 0 || fm.Open(BKTFileSpec, &bkt) != 0 ||
        fm.Open(BKTHistoryFileSpec, &history) != 0) {
      return 1;
    }
    // One unit: the bank account changed, a transaction written to the
    // current file and the seeded one moved to history.
    tclRollbackStack unit;
    BankAccount bank(*bkm);
    Transaction current(*bkt);
    bank.AttachRollbackStack(&unit);
    current.AttachRollbackStack(&unit);
    const bool done = bkdetailtest::Set(bank.m_Record, "BANKACC=B1") && bank.FetchEQ(true) == 0 &&
                      bkdetailtest::Set(bank.m_Record, "BRGBLNC=999.99") && bank.Update() == 0 &&
                      bkdetailtest::Set(current.m_Record, "TBNKACC=B1;TRUN=2;TSEQ=1") && current.Insert() == 0 &&
                      bkdetailtest::Set(current.m_Record, "TRUN=1") && current.FetchEQ(true) == 0 &&
                      current.Transfer(*history).Value() == kTransferDone;
    ChildProcess::WriteLine(done ? "inside" : "failed");
    ChildProcess::ReadLine();
    return 0;
  });
  ASSERT_EQ(program.Receive(), "inside");
  program.Kill(SIGKILL);
  program.Wait();
  EXPECT_EQ(txtest::DumpDatabase(folder), before);
}

}  // namespace
