// Moving a transaction's detail records to the history file: every kind keeps
// its own columns and takes the new transaction run and sequence; every
// injected failure, at every step, is reported and loses or duplicates
// nothing once the unit of work is rolled back (or, with no unit, at all);
// cursors over a column list (the withdrawal detail's) or another index move
// the right, whole record. A deposit item moves with its lines: a line that
// cannot be moved or read fails the item (the deposit item kind's faults: the
// walk over its lines failing at its first fetch is what a lines table
// damaged on disk does).
// (The lines' order, before the item, and another program holding a line or
// the item: the transaction operations' lock table, which moves the deposit
// through here.)
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "deposits/detail_transfer_test_support.h"

namespace {

using namespace bkdetailtest;

struct Kind {
  const char* description;  // as the messages name it
  ccStatus<TransferStatus> (*move)(tsioDataFile&, tsioDataFile&, const std::string&, tclRollbackStack*, ArmedFault*,
                                   bool, const char*);
  tsioStatus::Status (*lock)(tsioDataFile&, const std::string&);
  const char* key;         // the record moved, less its transaction run and sequence
  const char* run_column;  // its transaction run and sequence columns
  const char* seq_column;
  const char* columns = "";  // what the moving cursor binds ("": every column)
};

void PrintTo(const Kind& kind, std::ostream* out) { *out << kind.description; }

template <typename C>
constexpr Kind Of(const char* description, const char* key, const char* run_column, const char* seq_column,
                  const char* columns = "") {
  return {description, &Move<C>, &LockOnce<C>, key, run_column, seq_column, columns};
}

class EveryKind : public ::testing::TestWithParam<Kind> {
 protected:
  void TearDown() override { tsioFaults::Clear(); }
  DetailCompany company;
};

// Cash, tax and tax GL details keep their own run and sequence columns. A
// withdrawal detail moves through a cursor over a few columns: the whole
// stored record moves.
INSTANTIATE_TEST_SUITE_P(
    Details, EveryKind,
    ::testing::Values(Of<DepositItem>("deposit item", "DIBNKAC=CHK1;DITEMNO=1", "DIRUN", "DISEQ"),
                      Of<DepositItemDetail>("deposit item detail", "DIGBNKA=CHK1;DIGLINO=1;DIGLACC=4100", "DIGRUN",
                                            "DIGSEQ"),
                      Of<WithdrawalDetail>("withdrawal detail", "WDBNKAC=CHK1;WDGLACC=6000", "WDRUN", "WDSEQ",
                                           "WDBNKAC;WDRUN;WDSEQ;WDGLACC"),
                      Of<CashDetail>("cash detail", "CDBNKAC=CHK1;CDRUN=3;CDSEQ=2", "CDTRUN", "CDTSEQ"),
                      Of<TaxDetail>("tax detail", "TXBNKAC=CHK1;TXTXRUN=4;TXTXSEQ=1", "TXRUN", "TXSEQ"),
                      Of<TaxGLDetail>("tax gl detail", "TGBNKAC=CHK1;TGTXRUN=4;TGTXSEQ=1", "TGRUN", "TGSEQ")));

// The record arrives with the new transaction run and sequence and every other
// column as it was, and is gone from the source. Every data operation of the
// move, failing in turn (the n-th fetch, insert, delete, lock), gives a failure
// with one message (1614 a read, 1615 an insert, 1613 a delete), never
// success, and the rollback leaves both files exactly
// as before; a move that succeeds gives the same files as the undisturbed move.
// A move whose caller fetched the record without a lock releases the lock
// it took when it fails: another program can lock the record at once. With
// no unit of work at all, a failure (a failed commit too) leaves both files
// as they were.
TEST_P(EveryKind, MovesUnderTheNewRunAndEveryFailureOnTheWayRollsBackToNothing) {
  const Kind& kind = GetParam();
  const std::string key = std::string(kind.key) + ";" + kind.run_column + "=5;" + kind.seq_column + "=1";
  const auto move = [&](tclRollbackStack* stack, ArmedFault* fault, bool lock) {
    return kind.move(*company.bkt, *company.history, key, stack, fault, lock, kind.columns);
  };
  const Snapshot before = company.Snap();
  Snapshot after;
  {
    tclRollbackStack stack;
    ASSERT_EQ(move(&stack, nullptr, true).Value(), kTransferDone);
    after = company.Snap();
    ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
  }
  Row moved = *Find(before.first, key);
  moved[kind.run_column] = "7";
  moved[kind.seq_column] = "12";
  const Row* arrived = Find(after.second, std::string(kind.key) + ";" + kind.run_column + "=7");
  EXPECT_EQ(arrived ? *arrived : Row(), moved);
  EXPECT_EQ(Find(after.first, key), nullptr);
  tsioDataFile other(company.bkt->FileName());
  for (bool locked : {true, false}) {
    SCOPED_TRACE(locked ? "fetched with a lock" : "fetched without a lock");
    for (const FaultKind& fault : {FaultKind{tsioOp::kFetch, tsioStatus::kDamaged, "fetch"},
                                   FaultKind{tsioOp::kInsert, tsioStatus::kDuplicateKey, "insert"},
                                   FaultKind{tsioOp::kDelete, tsioStatus::kLocked, "delete"},
                                   FaultKind{tsioOp::kLock, tsioStatus::kLocked, "lock"}}) {
      const int calls = ForEveryFault(fault, [&](ArmedFault& armed) {
        tclRollbackStack stack;
        const ccStatus<TransferStatus> result = move(&stack, &armed, locked);
        const bool done = result.Value() == kTransferDone;
        const unsigned short number = fault.op == tsioOp::kInsert ? 1615 : fault.op == tsioOp::kDelete ? 1613 : 1614;
        if (!done) ExpectOneTransferError(result, fault.status, kind.description, number);
        EXPECT_TRUE(done || locked || kind.lock(other, key) == tsioStatus::kSuccess) << "the move's lock is released";
        EXPECT_TRUE(!done || company.Snap() == after) << "a success moves what the undisturbed move does";
        EXPECT_EQ(stack.Rollback(), tsioStatus::kSuccess);
        EXPECT_EQ(company.Snap(), before);
        return done;
      });
      // A withdrawal detail is moved without a lock of its own; one fetched
      // with its lock is not read again before its delete (its bookmark
      // knows it is the stored record), so its move may fetch nothing.
      EXPECT_TRUE(calls > 0 || fault.op == tsioOp::kLock || (fault.op == tsioOp::kFetch && locked)) << fault.name;
    }
  }
  for (const FaultKind& fault : {FaultKind{tsioOp::kInsert, tsioStatus::kDuplicateKey, "insert"},
                                 FaultKind{tsioOp::kDelete, tsioStatus::kLocked, "delete"},
                                 FaultKind{tsioOp::kCommit, tsioStatus::kDiskFull, "commit"}}) {
    ArmedFault armed(fault, 1);
    EXPECT_NE(move(nullptr, &armed, true).Value(), kTransferDone);
    EXPECT_EQ(company.Snap(), before) << fault.name;
  }
  ASSERT_EQ(move(nullptr, nullptr, true).Value(), kTransferDone);
  EXPECT_EQ(company.Snap(), after);
}

// A cursor reading by the batch index moves the record it holds, not the
// batch's first.
TEST(DetailTransfer, ABatchIndexCursorMovesTheRecordItHolds) {
  DetailCompany company;
  Snapshot want = company.Snap();
  CashDetail by_batch(*company.bkt, "CDBNKAC;CDTRUN;CDTSEQ;CDRUN;CDSEQ", 7);
  ASSERT_EQ(by_batch.FetchFirst(false), tsioStatus::kSuccess);
  ASSERT_EQ(by_batch.FetchNext(false), tsioStatus::kSuccess);  // the batch's second line: kCash2
  ASSERT_EQ(by_batch.Transfer(*company.history, tsDouble(7), tsDouble(12)).Value(), kTransferDone);
  Row row = *Find(want.first, kCash2);
  std::erase(want.first, row);
  row["CDTRUN"] = "7";
  row["CDTSEQ"] = "12";
  want.second.push_back(row);
  EXPECT_EQ(company.Snap(), want);
}

}  // namespace
