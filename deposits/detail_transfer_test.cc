// Moving a transaction's detail records to the history file: every kind keeps
// its own columns and takes the new transaction run and sequence; every
// injected failure, at every step, is reported and loses or duplicates
// nothing once the unit of work is rolled back (or, with no unit, at all);
// cursors over a column list or another index move the right, whole record;
// a second program's lock fails the move.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "deposits/detail_transfer_test_support.h"
#include "records/column_lists.h"
#include "records/gl_cash_account_balance.h"

namespace {

using namespace bkdetailtest;

struct Kind {
  const char* description;  // as the messages name it
  Mover move;
  Holder hold;
  const char* key;          // the record moved
  const char* run_column;   // its transaction run and sequence columns
  const char* seq_column;

  // Moves the record from the current file to the history under 7/12.
  ccStatus<TransferStatus> Run(Company& company, tclRollbackStack* stack, Fault fault = {}, bool lock = true) const {
    return move(*company.bkt, *company.history, key, stack, fault, lock);
  }
};

void PrintTo(const Kind& kind, std::ostream* out) { *out << kind.description; }

template <typename C>
constexpr Kind Of(const char* description, const char* key, const char* run_column, const char* seq_column) {
  return {description, &Move<C>, &HoldLock<C>, key, run_column, seq_column};
}

const Kind kKinds[] = {
    Of<DepositItem>("deposit item", kItem1, "DIRUN", "DISEQ"),
    Of<DepositItemDetail>("deposit item detail", kLine4100, "DIGRUN", "DIGSEQ"),
    Of<WithdrawalDetail>("withdrawal detail", "WDBNKAC=CHK1;WDRUN=5;WDSEQ=1;WDGLACC=6000", "WDRUN", "WDSEQ"),
    Of<CashDetail>("cash detail", kCash2, "CDTRUN", "CDTSEQ"),
    Of<TaxDetail>("tax detail", "TXBNKAC=CHK1;TXRUN=5;TXSEQ=1;TXTXRUN=4;TXTXSEQ=1", "TXRUN", "TXSEQ"),
    Of<TaxGLDetail>("tax gl detail", "TGBNKAC=CHK1;TGRUN=5;TGSEQ=1;TGTXRUN=4;TGTXSEQ=1", "TGRUN", "TGSEQ"),
};

class EveryKind : public ::testing::TestWithParam<Kind> {
 protected:
  void TearDown() override { tsioFaults::Clear(); }
  Company company;
};

INSTANTIATE_TEST_SUITE_P(Details, EveryKind, ::testing::ValuesIn(kKinds),
                         [](const auto& info) {
                           std::string name = info.param.description;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           return name;
                         });

// The record arrives with the new transaction run and sequence and every other
// column as it was, and is gone from the source.
TEST_P(EveryKind, MovesUnderTheNewRunAndSequenceKeepingEveryOtherColumn) {
  const Kind& kind = GetParam();
  const std::vector<Row> source_before = company.Rows(*company.bkt);
  tclRollbackStack stack;
  const ccStatus<TransferStatus> result = kind.Run(company, &stack);
  ASSERT_EQ(result.Value(), kTransferDone) << Text(result);
  ASSERT_EQ(stack.Commit(), tsioStatus::kSuccess);

  const std::string moved_key = Retargeted(kind.key, kind.run_column, kind.seq_column);
  const Row* before = Find(source_before, kind.key);
  ASSERT_NE(before, nullptr);
  const std::vector<Row> history = company.Rows(*company.history);
  const Row* after = Find(history, moved_key);
  ASSERT_NE(after, nullptr) << moved_key;
  for (const auto& [column, value] : before->values) {
    const std::string want = column == kind.run_column ? "7" : column == kind.seq_column ? "12" : value;
    EXPECT_EQ(after->values.at(column), want) << column;
  }
  EXPECT_EQ(Find(company.Rows(*company.bkt), kind.key), nullptr);
}

// Every data operation of the move, failing in turn (the n-th fetch, insert,
// delete, lock), gives a failure with one message, never success, and the
// rollback leaves both files exactly as before. A move that succeeds gives the
// same files as the undisturbed move.
TEST_P(EveryKind, EveryFailureOnTheWayIsReportedAndRollsBackToNothing) {
  const Kind& kind = GetParam();
  const Snapshot before = company.Snap();
  Snapshot after;
  {
    tclRollbackStack stack;
    ASSERT_EQ(kind.Run(company, &stack).Value(), kTransferDone);
    after = company.Snap();
    ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
    ASSERT_EQ(company.Snap(), before);
  }
  const Fault faults[] = {{tsioOp::kFetch, tsioStatus::kDamaged, 0}, {tsioOp::kInsert, tsioStatus::kDuplicateKey, 0},
                          {tsioOp::kDelete, tsioStatus::kLocked, 0},  {tsioOp::kLock, tsioStatus::kLocked, 0}};
  for (Fault fault : faults) {
    int failures = 0;
    for (fault.nth = 1;; ++fault.nth) {
      tclRollbackStack stack;
      const ccStatus<TransferStatus> result = kind.Run(company, &stack, fault);
      tsioFaults::Clear();
      const std::string where = "op " + std::to_string(static_cast<int>(fault.op)) + " #" + std::to_string(fault.nth);
      if (result.Value() == kTransferDone) {
        EXPECT_EQ(company.Snap(), after) << where;
        ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
        break;
      }
      ++failures;
      ExpectOneTransferError(result, fault.status, kind.description, where);
      ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
      ASSERT_EQ(company.Snap(), before) << where;
      ASSERT_LT(fault.nth, 40) << "the move never succeeds";
    }
    // Every operation is met on the way, but a withdrawal detail is moved
    // without a lock of its own.
    EXPECT_TRUE(failures > 0 || fault.op == tsioOp::kLock) << static_cast<int>(fault.op);
  }

  // With no unit of work at all, a failure leaves both files as they were
  // (the move is its own unit), a failed commit too; then the move succeeds.
  for (const Fault& fault : {Fault{tsioOp::kInsert, tsioStatus::kDuplicateKey, 1},
                             Fault{tsioOp::kDelete, tsioStatus::kLocked, 1},
                             Fault{tsioOp::kCommit, tsioStatus::kDiskFull, 1}}) {
    const ccStatus<TransferStatus> result = kind.Run(company, nullptr, fault);
    tsioFaults::Clear();
    EXPECT_NE(result.Value(), kTransferDone);
    EXPECT_EQ(company.Snap(), before);
  }
  ASSERT_EQ(kind.Run(company, nullptr).Value(), kTransferDone);
  EXPECT_EQ(company.Snap(), after);
}

// A second program holding the record: the move fails and, rolled back,
// changes nothing.
TEST_P(EveryKind, ARecordLockedByAnotherProgramFailsTheMove) {
  const Kind& kind = GetParam();
  const Snapshot before = company.Snap();
  bktest::ChildProcess holder = kind.hold(company.Folder(), kind.key);
  tclRollbackStack stack;
  // The caller fetched without a lock: the move itself must meet the holder.
  const ccStatus<TransferStatus> result = kind.Run(company, &stack, {}, false);
  ExpectOneTransferError(result, tsioStatus::kLocked, kind.description, "");
  ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
  EXPECT_EQ(company.Snap(), before);
  holder.Send("end");
  EXPECT_EQ(holder.Wait(), 0);
}

// A cursor over a few columns moves the whole stored record; a cursor reading
// by the batch index moves the record it holds, not the batch's first.
TEST(DetailTransfer, PartialAndBatchIndexCursorsMoveTheWholeRightRecord) {
  Company company;
  const std::vector<Row> before = company.Rows(*company.bkt);
  tclRollbackStack stack;
  {
    WithdrawalDetail partial(*company.bkt, "WDBNKAC;WDRUN;WDSEQ;WDGLACC");
    ASSERT_TRUE(Set(partial.m_Record, "WDBNKAC=CHK1;WDRUN=5;WDSEQ=1;WDGLACC=6100"));
    ASSERT_EQ(partial.FetchEQ(true), tsioStatus::kSuccess);
    partial.AttachRollbackStack(&stack);
    ASSERT_EQ(partial.Transfer(*company.history, tsDouble(7), tsDouble(12)).Value(), kTransferDone);
  }
  {
    CashDetail by_batch(*company.bkt, "CDBNKAC;CDTRUN;CDTSEQ;CDRUN;CDSEQ", 7);
    ASSERT_EQ(by_batch.FetchFirst(false), tsioStatus::kSuccess);
    ASSERT_EQ(by_batch.FetchNext(false), tsioStatus::kSuccess);  // the batch's second line: kCash2
    by_batch.AttachRollbackStack(&stack);
    ASSERT_EQ(by_batch.Transfer(*company.history, tsDouble(7), tsDouble(12)).Value(), kTransferDone);
  }
  ASSERT_EQ(stack.Commit(), tsioStatus::kSuccess);
  const std::vector<Row> history = company.Rows(*company.history);
  const Row* wd = Find(history, "WDBNKAC=CHK1;WDRUN=7;WDSEQ=12;WDGLACC=6100");
  ASSERT_NE(wd, nullptr);
  EXPECT_EQ(wd->values.at("WDAMT"), Find(before, "WDBNKAC=CHK1;WDRUN=5;WDSEQ=1;WDGLACC=6100")->values.at("WDAMT"));
  EXPECT_EQ(wd->values.at("WDTXGRP"), "GST");
  const Row* cash = Find(history, Retargeted(kCash2, "CDTRUN", "CDTSEQ"));
  ASSERT_NE(cash, nullptr);
  EXPECT_EQ(cash->values.at("CDAMT"), "25");
  EXPECT_NE(Find(company.Rows(*company.bkt), kCash1), nullptr);  // the batch's first line stays
  EXPECT_EQ(Find(company.Rows(*company.bkt), kCash2), nullptr);
}

// The master file's GL cash account balance: its key from a record carries
// the two key columns only; the balance reader's column list reads it.
TEST(GLCashAccountBalanceRecord, KeyFromRecordAndTheBalanceReader) {
  Company company;
  Put<GLCashAccountBalance>(*company.bkm, "CABNKAC=CHK1;CACSHAC=1000;CAAMT=125.50");
  Put<GLCashAccountBalance>(*company.bkm, "CABNKAC=CHK1;CACSHAC=1010;CAAMT=-3.25");
  GLCashAccountBalanceData record;
  ASSERT_TRUE(Set(record, "CABNKAC=CHK1;CACSHAC=1010;CAAMT=9.99"));
  const GLCashAccountBalanceKeyData key(record);
  EXPECT_EQ(key.Columns().size(), 2u);
  EXPECT_EQ(key.GetBankAccount(), "CHK1");
  EXPECT_EQ(key.GetGLCashAccount(), "1010");

  GLCashAccountBalance reader(*company.bkm, kGLCashAccountBalanceColumns, 0);
  EXPECT_EQ(reader.m_Record.Columns().size(), 3u);
  reader.m_Record = GLCashAccountBalanceData(key);
  ASSERT_EQ(reader.FetchEQ(false), tsioStatus::kSuccess);
  EXPECT_EQ(reader.m_Record.GetAmount(), tsCurrency::FromText("-3.25"));
  EXPECT_EQ(reader.TableDescription(), bkCursorBase::RecordDescription(*company.bkm, 3));
  EXPECT_FALSE(reader.TableDescription().empty());
}

}  // namespace
