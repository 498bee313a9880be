// Batch records: clearing the totals of a posted batch, and empty batches,
// against real files, a second program holding records and failed reads.
#include <gtest/gtest.h>

#include "batches/batch.h"
#include "batches/batch_test_support.h"
#include "framework/io/faults.h"
#include "records/files.h"

namespace {

using bktest::AddBatch;
using bktest::AddTransaction;
using bktest::FetchBatch;

class BatchRecords : public ::testing::Test {
 protected:
  void TearDown() override { tsioFaults::Clear(); }

  // Runs `op` on batch `id` with its `nth` read failing (0: none) and
  // answers what it said.
  template <typename Op>
  std::string On(const char* id, int nth, Op op, tsioStatus::Status fault = tsioStatus::kDamaged) {
    Batch b(*co_.bkt);
    FetchBatch(b, id);
    if (nth > 0) tsioFaults::Arm(tsioOp::kFetch, fault, nth);
    const std::string said = op(b);
    tsioFaults::Clear();
    return said;
  }
  // Every stored batch as "id:count", in key order.
  std::string Stored() {
    Batch b(*co_.bkt);
    std::string s;
    for (auto st = b.FetchFirst(false); st == tsioStatus::kSuccess; st = b.FetchNext(false)) {
      s += b.m_Record.GetBatch().str() + ":" + b.m_Record.GetCount().Format() + " ";
    }
    return s;
  }

  bktest::BankCompany co_;
};

// Only a batch whose every transaction is posted has its totals cleared
// (in the record, not written); another batch's transactions do not count,
// and a read that fails (at each read) keeps the totals.
TEST_F(BatchRecords, ClearAmountsIfPostedOnlyWhenEveryTransactionIsPosted) {
  int seq = 0;
  // Each batch and its transactions' posted flags.
  for (const auto& [id, posted] : {std::pair{"none", ""}, {"all", "111"}, {"oneopen", "101"}, {"onlyopen", "0"}}) {
    AddBatch(*co_.bkt, id, 3, "30.00", 2, "20.00");
    for (const char* p = posted; *p != 0; ++p) AddTransaction(*co_.bkt, id, ++seq, *p == '1');
  }
  AddTransaction(*co_.bkt, "elsewhere", ++seq, false);
  const auto clear = [](Batch& b) {
    const bool cleared = b.ClearAmountsIfPosted();
    return std::to_string(cleared) + " " + b.m_Record.GetCount().Format() + " " +
           b.m_Record.GetAmountPosted().Format() + ", ";
  };
  std::string said;
  for (const char* id : {"none", "all", "oneopen", "onlyopen"}) said += On(id, 0, clear);
  for (int nth : {1, 2, 3}) said += On("all", nth, clear);
  EXPECT_EQ(said, "1 0 0.00, 1 0 0.00, 0 3 20.00, 0 3 20.00, 0 3 20.00, 0 3 20.00, 0 3 20.00, ");
  EXPECT_EQ(Stored(), "all:3 none:3 oneopen:3 onlyopen:3 ") << "the record is not written";
}

// A batch is empty without transactions, cash details and tax GL details of
// its own, and only then deleted; one whose members cannot be read (at each
// read) is never empty, and deleting it reports the read's failure.
TEST_F(BatchRecords, EmptyOnlyWithoutTransactionsCashDetailsAndTaxGLDetails) {
  for (const char* id : {"nothing", "tran", "cash", "taxgl"}) AddBatch(*co_.bkt, id);
  AddTransaction(*co_.bkt, "tran", 1);
  bktest::AddCashDetail(*co_.bkt, "cash", 2);
  bktest::AddTaxGLDetail(*co_.bkt, "taxgl", 3);
  // Members of another batch never count.
  AddTransaction(*co_.bkt, "other", 4);
  bktest::AddCashDetail(*co_.bkt, "other", 5);
  bktest::AddTaxGLDetail(*co_.bkt, "other", 6);
  const auto empty = [](Batch& b) { return std::to_string(b.IsEmpty()); };
  const auto remove = [](Batch& b) { return std::to_string(b.deleteIfEmpty()) + " "; };
  std::string said;
  for (int nth : {1, 2, 3}) {
    said += On("nothing", nth, empty);
    said += On("nothing", nth, remove, tsioStatus::kIOError);
  }
  EXPECT_EQ(said, "02 02 02 ");
  said.clear();
  for (const char* id : {"nothing", "tran", "cash", "taxgl"}) {
    said += On(id, 0, empty);
    said += On(id, 0, remove);
  }
  EXPECT_EQ(said, "10 00 00 00 ");
  EXPECT_EQ(Stored(), "cash:0 taxgl:0 tran:0 ");
}

// Another program holding a member (it still counts, nothing is deleted) or
// the empty batch's record itself (it is not deleted while held, and is
// once released).
TEST_F(BatchRecords, WhatAnotherProgramHoldsIsNeitherMissedNorDeleted) {
  AddBatch(*co_.bkt, "B1");
  AddBatch(*co_.bkt, "B2");
  AddTransaction(*co_.bkt, "B1", 1);
  const auto both = [](Batch& b) {
    const bool empty = b.IsEmpty();
    return std::to_string(empty) + std::to_string(b.deleteIfEmpty()) + " ";
  };
  const std::string folder = co_.fm.Folder();
  auto member = bkdetailtest::HoldLock<Transaction>(folder, "TBNKACC=CHK;TRUN=1;TSEQ=1");
  auto record = bkdetailtest::HoldLock<Batch>(folder, bktest::BatchKey("B2"));
  EXPECT_EQ(On("B1", 0, both), "00 ");
  EXPECT_EQ(On("B2", 0, both), "19 ");
  EXPECT_EQ(Stored(), "B1:0 B2:0 ");
  for (auto* other : {&member, &record}) {
    other->Send("end");
    EXPECT_EQ(other->Wait(), 0);
  }
  EXPECT_EQ(On("B1", 0, both), "00 ");
  EXPECT_EQ(On("B2", 0, both), "10 ");
  EXPECT_EQ(Stored(), "B1:0 ");
}

}  // namespace
