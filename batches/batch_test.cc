// Batch records: clearing the totals of a posted batch, and empty batches,
// against real files, a second program holding records and failed reads.
#include <gtest/gtest.h>

#include "batches/batch.h"
#include "batches/batch_test_support.h"
#include "framework/io/faults.h"
#include "records/files.h"

namespace {

using bktest::AddBatch;
using bktest::AddCashDetail;
using bktest::AddTaxGLDetail;
using bktest::AddTransaction;
using bktest::BatchExists;
using bktest::FetchBatch;

class BatchRecords : public ::testing::Test {
 protected:
  void TearDown() override { tsioFaults::Clear(); }
  bktest::BankCompany co_;
};

// Only a batch whose every transaction is posted has its totals cleared
// (in the record, not written); another batch's transactions do not count,
// and a read that fails (at each read) keeps the totals.
TEST_F(BatchRecords, ClearAmountsIfPostedOnlyWhenEveryTransactionIsPosted) {
  const struct {
    const char* name;
    std::vector<bool> posted;  // the batch's transactions
    int failing_read;          // 0: none
    bool cleared;
  } cases[] = {
      {"none", {}, 0, true},          {"allposted", {true, true, true}, 0, true},
      {"oneopen", {true, false, true}, 0, false}, {"onlyopen", {false}, 0, false},
      {"read1", {true, true}, 1, false}, {"read2", {true, true}, 2, false},
      {"read3", {true, true}, 3, false},
  };
  int seq = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AddBatch(*co_.bkt, c.name, 3, "30.00", 2, "20.00");
    for (bool p : c.posted) AddTransaction(*co_.bkt, c.name, ++seq, p);
    AddTransaction(*co_.bkt, "elsewhere", ++seq, false);  // another batch's
    Batch b(*co_.bkt);
    FetchBatch(b, c.name);
    if (c.failing_read) tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kDamaged, c.failing_read);
    EXPECT_EQ(b.ClearAmountsIfPosted(), c.cleared);
    tsioFaults::Clear();
    EXPECT_EQ(b.m_Record.GetCount().Value(), c.cleared ? 0 : 3);
    EXPECT_EQ(b.m_Record.GetAmountPosted(), c.cleared ? tsCurrency(0) : tsCurrency(20));
    Batch stored(*co_.bkt);
    FetchBatch(stored, c.name);
    EXPECT_EQ(stored.m_Record.GetCount().Value(), 3) << "the record is not written";
  }
}

// A batch is empty without transactions, cash details and tax GL details of
// its own, and only then deleted; one whose members cannot be read (at each
// read) is never empty, and deleting it reports the read's failure.
TEST_F(BatchRecords, EmptyOnlyWithoutTransactionsCashDetailsAndTaxGLDetails) {
  const struct {
    const char* name;
    void (*add)(tsioDataFile&, const char*, int);
    int failing_read;  // 0: none
    bool empty;
  } cases[] = {
      {"nothing", nullptr, 0, true},
      {"tran", [](tsioDataFile& f, const char* b, int s) { AddTransaction(f, b, s); }, 0, false},
      {"cash", AddCashDetail, 0, false},
      {"taxgl", AddTaxGLDetail, 0, false},
      {"read1", nullptr, 1, false},
      {"read2", nullptr, 2, false},
      {"read3", nullptr, 3, false},
  };
  int seq = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AddBatch(*co_.bkt, c.name);
    if (c.add) c.add(*co_.bkt, c.name, ++seq);
    // Members of another batch never count.
    AddTransaction(*co_.bkt, "other", ++seq);
    AddCashDetail(*co_.bkt, "other", ++seq);
    AddTaxGLDetail(*co_.bkt, "other", ++seq);
    Batch b(*co_.bkt);
    FetchBatch(b, c.name);
    if (c.failing_read) tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kDamaged, c.failing_read);
    EXPECT_EQ(b.IsEmpty(), c.empty);
    if (c.failing_read) tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError, c.failing_read);
    EXPECT_EQ(b.deleteIfEmpty(), c.failing_read ? tsioStatus::kIOError : tsioStatus::kSuccess);
    tsioFaults::Clear();
    EXPECT_EQ(BatchExists(*co_.bkt, c.name), !c.empty);
  }
}

// A second program holds a record of the company locked until told to end.
bktest::ChildProcess HoldLocked(const std::string& folder, short record_type) {
  return bktest::ChildProcess::Start([folder, record_type] {
    tsioFileManager fm(folder);
    tsioDataFile* bkt = nullptr;
    if (fm.Open(BKTFileSpec, &bkt) != tsioStatus::kSuccess) return 1;
    tsioStatus::Status st = tsioStatus::kInvalidOperation;
    if (record_type == 1) {
      Transaction t(*bkt);
      st = t.FetchFirst(true);
    } else {
      Batch b(*bkt);
      st = b.FetchFirst(true);
    }
    bktest::ChildProcess::WriteLine(st == 0 ? "holding" : "failed");
    bktest::ChildProcess::ReadLine();
    return 0;
  });
}

// Another program holding a member (it still counts, nothing is deleted) or
// the empty batch's record itself (it is not deleted while held, and is
// once released).
TEST_F(BatchRecords, WhatAnotherProgramHoldsIsNeitherMissedNorDeleted) {
  for (short held : {1, 6}) {
    SCOPED_TRACE(held == 1 ? "a member" : "the batch record");
    bktest::BankCompany co;
    AddBatch(*co.bkt, "B1");
    if (held == 1) AddTransaction(*co.bkt, "B1", 1);
    auto other = HoldLocked(co.fm.Folder(), held);
    ASSERT_EQ(other.Receive(), "holding");
    Batch b(*co.bkt);
    FetchBatch(b, "B1");
    EXPECT_EQ(b.IsEmpty(), held == 6);
    EXPECT_EQ(b.deleteIfEmpty(), held == 6 ? tsioStatus::kLocked : tsioStatus::kSuccess);
    EXPECT_TRUE(BatchExists(*co.bkt, "B1"));
    other.Send("end");
    EXPECT_EQ(other.Wait(), 0);
    FetchBatch(b, "B1");
    EXPECT_EQ(b.deleteIfEmpty(), tsioStatus::kSuccess);
    EXPECT_EQ(BatchExists(*co.bkt, "B1"), held == 1);
  }
}

}  // namespace
