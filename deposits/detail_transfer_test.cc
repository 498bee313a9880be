// Moving a transaction's detail records to the history file: every kind keeps
// its own columns and takes the new transaction run and sequence; every
// injected failure, at every step, is reported and loses or duplicates
// nothing once the unit of work is rolled back (or, with no unit, at all);
// cursors over a column list or another index move the right, whole record.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "deposits/detail_transfer_test_support.h"

namespace {

using namespace bkdetailtest;

struct Kind {
  const char* description;  // as the messages name it
  ccStatus<TransferStatus> (*move)(tsioDataFile&, tsioDataFile&, const std::string&, tclRollbackStack*, Fault, bool);
  tsioStatus::Status (*lock)(tsioDataFile&, const std::string&);
  const char* key;         // the record moved, less its transaction run and sequence
  const char* run_column;  // its transaction run and sequence columns
  const char* seq_column;

  std::string Key(const char* run, const char* seq) const {
    return std::string(key) + ";" + run_column + "=" + run + ";" + seq_column + "=" + seq;
  }
  // Moves the record from the current file to the history under 7/12.
  ccStatus<TransferStatus> Run(DetailCompany& company, tclRollbackStack* stack, Fault fault = {}, bool lock = true) const {
    return move(*company.bkt, *company.history, Key("5", "1"), stack, fault, lock);
  }
};

void PrintTo(const Kind& kind, std::ostream* out) { *out << kind.description; }

template <typename C>
constexpr Kind Of(const char* description, const char* key, const char* run_column, const char* seq_column) {
  return {description, &Move<C>, &LockOnce<C>, key, run_column, seq_column};
}

class EveryKind : public ::testing::TestWithParam<Kind> {
 protected:
  void TearDown() override { tsioFaults::Clear(); }
  DetailCompany company;
};

// Cash, tax and tax GL details keep their own run and sequence columns.
INSTANTIATE_TEST_SUITE_P(
    Details, EveryKind,
    ::testing::Values(Of<DepositItem>("deposit item", "DIBNKAC=CHK1;DITEMNO=1", "DIRUN", "DISEQ"),
                      Of<DepositItemDetail>("deposit item detail", "DIGBNKA=CHK1;DIGLINO=1;DIGLACC=4100", "DIGRUN",
                                            "DIGSEQ"),
                      Of<WithdrawalDetail>("withdrawal detail", "WDBNKAC=CHK1;WDGLACC=6000", "WDRUN", "WDSEQ"),
                      Of<CashDetail>("cash detail", "CDBNKAC=CHK1;CDRUN=3;CDSEQ=2", "CDTRUN", "CDTSEQ"),
                      Of<TaxDetail>("tax detail", "TXBNKAC=CHK1;TXTXRUN=4;TXTXSEQ=1", "TXRUN", "TXSEQ"),
                      Of<TaxGLDetail>("tax gl detail", "TGBNKAC=CHK1;TGTXRUN=4;TGTXSEQ=1", "TGRUN", "TGSEQ")));

// The record arrives with the new transaction run and sequence and every other
// column as it was, and is gone from the source. Every data operation of the
// move, failing in turn (the n-th fetch, insert, delete, lock), gives a failure
// with one message, never success, and the rollback leaves both files exactly
// as before; a move that succeeds gives the same files as the undisturbed move.
// A move whose caller fetched the record without a lock releases the lock
// it took when it fails: another program can lock the record at once. With
// no unit of work at all, a failure (a failed commit too) leaves both files
// as they were.
TEST_P(EveryKind, MovesUnderTheNewRunAndEveryFailureOnTheWayRollsBackToNothing) {
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
  const Row* moved = Find(after.second, kind.Key("7", "12"));
  ASSERT_NE(moved, nullptr);
  for (const auto& [column, value] : *Find(before.first, kind.Key("5", "1"))) {
    EXPECT_EQ(moved->at(column), column == kind.run_column ? "7" : column == kind.seq_column ? "12" : value) << column;
  }
  EXPECT_EQ(Find(after.first, kind.Key("5", "1")), nullptr);
  tsioDataFile other(company.bkt->FileName());
  for (bool locked : {true, false}) {
    for (Fault fault : {Fault{tsioOp::kFetch, tsioStatus::kDamaged}, Fault{tsioOp::kInsert, tsioStatus::kDuplicateKey},
                        Fault{tsioOp::kDelete, tsioStatus::kLocked}, Fault{tsioOp::kLock, tsioStatus::kLocked}}) {
      int failures = 0;
      for (fault.nth = 1; fault.nth < 40; ++fault.nth) {
        SCOPED_TRACE(std::string(locked ? "locked" : "unlocked") + " op " + std::to_string(static_cast<int>(fault.op)) +
                     " #" + std::to_string(fault.nth));
        tclRollbackStack stack;
        const ccStatus<TransferStatus> result = kind.Run(company, &stack, fault, locked);
        tsioFaults::Clear();
        const bool done = result.Value() == kTransferDone;
        if (!done) ExpectOneTransferError(result, fault.status, kind.description);
        if (!done && !locked) {
          EXPECT_EQ(kind.lock(other, kind.Key("5", "1")), tsioStatus::kSuccess) << "the move's own lock is released";
        }
        EXPECT_TRUE(!done || company.Snap() == after);
        ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
        ASSERT_EQ(company.Snap(), before);
        if (done) break;
        ++failures;
      }
      // Every operation is met on the way, but a withdrawal detail is moved
      // without a lock of its own.
      EXPECT_TRUE(failures > 0 || fault.op == tsioOp::kLock) << static_cast<int>(fault.op);
      EXPECT_LT(failures, 39) << "the move never succeeds";
    }
  }
  for (const Fault& fault : {Fault{tsioOp::kInsert, tsioStatus::kDuplicateKey, 1},
                             Fault{tsioOp::kDelete, tsioStatus::kLocked, 1},
                             Fault{tsioOp::kCommit, tsioStatus::kDiskFull, 1}}) {
    EXPECT_NE(kind.Run(company, nullptr, fault).Value(), kTransferDone);
    tsioFaults::Clear();
    EXPECT_EQ(company.Snap(), before);
  }
  ASSERT_EQ(kind.Run(company, nullptr).Value(), kTransferDone);
  EXPECT_EQ(company.Snap(), after);
}

// A cursor over a few columns moves the whole stored record; a cursor reading
// by the batch index moves the record it holds, not the batch's first.
TEST(DetailTransfer, PartialAndBatchIndexCursorsMoveTheWholeRightRecord) {
  DetailCompany company;
  tclRollbackStack stack;
  WithdrawalDetail partial(*company.bkt, "WDBNKAC;WDRUN;WDSEQ;WDGLACC");
  ASSERT_TRUE(Set(partial.m_Record, "WDBNKAC=CHK1;WDRUN=5;WDSEQ=1;WDGLACC=6100"));
  ASSERT_EQ(partial.FetchEQ(true), tsioStatus::kSuccess);
  partial.AttachRollbackStack(&stack);
  ASSERT_EQ(partial.Transfer(*company.history, tsDouble(7), tsDouble(12)).Value(), kTransferDone);
  CashDetail by_batch(*company.bkt, "CDBNKAC;CDTRUN;CDTSEQ;CDRUN;CDSEQ", 7);
  ASSERT_EQ(by_batch.FetchFirst(false), tsioStatus::kSuccess);
  ASSERT_EQ(by_batch.FetchNext(false), tsioStatus::kSuccess);  // the batch's second line: kCash2
  by_batch.AttachRollbackStack(&stack);
  ASSERT_EQ(by_batch.Transfer(*company.history, tsDouble(7), tsDouble(12)).Value(), kTransferDone);
  ASSERT_EQ(stack.Commit(), tsioStatus::kSuccess);
  const std::vector<Row> history = company.Rows(*company.history);
  EXPECT_NE(Find(history, "WDBNKAC=CHK1;WDRUN=7;WDSEQ=12;WDGLACC=6100;WDAMT=2.5;WDTXGRP=GST;WDTXAMT=0.12"), nullptr);
  EXPECT_NE(Find(history, "CDBNKAC=CHK1;CDTRUN=7;CDTSEQ=12;CDRUN=3;CDSEQ=2;CDAMT=25;CDCSHAC=1010"), nullptr);
  EXPECT_NE(Find(company.Rows(*company.bkt), kCash1), nullptr);  // the batch's first line stays
  EXPECT_EQ(Find(company.Rows(*company.bkt), kCash2), nullptr);
}

}  // namespace
