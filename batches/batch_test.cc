// Batch records: a new record's defaults, clearing the totals of a posted
// batch, and empty batches, against real files, a second program holding
// records and failed reads.
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

TEST(BatchData, ANewRecordHasDefaultsAndClearAmountsZeroesTheTotals) {
  BatchData b;
  EXPECT_EQ(b.GetSource().Value(), 1);
  EXPECT_EQ(b.GetType().Value(), 1);
  EXPECT_EQ(b.GetCount().Value(), 0);
  EXPECT_EQ(b.GetAmount(), tsCurrency(0));
  b.SetCount(4);
  b.SetAmount(tsCurrency::FromText("10.50"));
  b.SetCountPosted(3);
  b.SetAmountPosted(tsCurrency::FromText("7.25"));
  b.SetDescription(tsAlpha("kept"));
  b.ClearAmounts();
  EXPECT_EQ(b.GetCount().Value(), 0);
  EXPECT_EQ(b.GetCountPosted().Value(), 0);
  EXPECT_EQ(b.GetAmount(), tsCurrency(0));
  EXPECT_EQ(b.GetAmountPosted(), tsCurrency(0));
  EXPECT_EQ(b.GetAmount().Format(), "0.00");
  EXPECT_EQ(b.GetDescription(), "kept");
}

TEST_F(BatchRecords, ClearAmountsIfPostedOnlyWhenEveryTransactionIsPosted) {
  const struct {
    const char* name;
    std::vector<bool> posted;  // the batch's transactions
    bool cleared;
  } cases[] = {
      {"none", {}, true},
      {"allposted", {true, true, true}, true},
      {"oneopen", {true, false, true}, false},
      {"onlyopen", {false}, false},
  };
  int seq = 0;
  for (const auto& c : cases) {
    AddBatch(*co_.bkt, c.name, 3, "30.00", 2, "20.00");
    for (bool p : c.posted) AddTransaction(*co_.bkt, c.name, ++seq, p);
    AddTransaction(*co_.bkt, "elsewhere", ++seq, false);  // another batch's
    Batch b(*co_.bkt);
    FetchBatch(b, c.name);
    EXPECT_EQ(b.ClearAmountsIfPosted(), c.cleared) << c.name;
    EXPECT_EQ(b.m_Record.GetCount().Value(), c.cleared ? 0 : 3) << c.name;
    EXPECT_EQ(b.m_Record.GetAmountPosted(), c.cleared ? tsCurrency(0) : tsCurrency(20)) << c.name;
    Batch stored(*co_.bkt);
    FetchBatch(stored, c.name);
    EXPECT_EQ(stored.m_Record.GetCount().Value(), 3) << "the record is not written: " << c.name;
  }
}

TEST_F(BatchRecords, ClearAmountsIfPostedKeepsTheTotalsWhenTransactionsCannotBeRead) {
  AddBatch(*co_.bkt, "B1", 2, "20.00", 2, "20.00");
  AddTransaction(*co_.bkt, "B1", 1, true);
  AddTransaction(*co_.bkt, "B1", 2, true);
  for (int nth : {1, 2, 3}) {
    Batch b(*co_.bkt);
    FetchBatch(b, "B1");
    tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kDamaged, nth);
    EXPECT_FALSE(b.ClearAmountsIfPosted()) << "failure at read " << nth;
    EXPECT_EQ(b.m_Record.GetCount().Value(), 2);
    tsioFaults::Clear();
  }
}

TEST_F(BatchRecords, EmptyOnlyWithoutTransactionsCashDetailsAndTaxGLDetails) {
  const struct {
    const char* name;
    void (*add)(const tsioDataFile&, const char*, int);
    bool empty;
  } cases[] = {
      {"nothing", nullptr, true},
      {"tran", [](const tsioDataFile& f, const char* b, int s) { AddTransaction(f, b, s); }, false},
      {"cash", AddCashDetail, false},
      {"taxgl", AddTaxGLDetail, false},
  };
  int seq = 0;
  for (const auto& c : cases) {
    AddBatch(*co_.bkt, c.name);
    if (c.add) c.add(*co_.bkt, c.name, ++seq);
    // Members of another batch never count.
    AddTransaction(*co_.bkt, "other", ++seq);
    AddCashDetail(*co_.bkt, "other", ++seq);
    AddTaxGLDetail(*co_.bkt, "other", ++seq);
    Batch b(*co_.bkt);
    FetchBatch(b, c.name);
    EXPECT_EQ(b.IsEmpty(), c.empty) << c.name;
    EXPECT_EQ(b.deleteIfEmpty(), tsioStatus::kSuccess) << c.name;
    EXPECT_EQ(BatchExists(*co_.bkt, c.name), !c.empty) << c.name;
  }
}

TEST_F(BatchRecords, ABatchWhoseMembersCannotBeReadIsNeverEmptyNorDeleted) {
  AddBatch(*co_.bkt, "B1");  // truly empty
  for (int nth : {1, 2, 3}) {
    Batch b(*co_.bkt);
    FetchBatch(b, "B1");
    tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kDamaged, nth);
    EXPECT_FALSE(b.IsEmpty()) << "failure at read " << nth;
    tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError, nth);
    EXPECT_EQ(b.deleteIfEmpty(), tsioStatus::kIOError) << nth;
    tsioFaults::Clear();
    EXPECT_TRUE(BatchExists(*co_.bkt, "B1"));
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
      bktest::ChildProcess::WriteLine(st == 0 ? "holding" : "failed");
      bktest::ChildProcess::ReadLine();
    } else {
      Batch b(*bkt);
      st = b.FetchFirst(true);
      bktest::ChildProcess::WriteLine(st == 0 ? "holding" : "failed");
      bktest::ChildProcess::ReadLine();
    }
    return 0;
  });
}

TEST_F(BatchRecords, AMemberLockedByAnotherProgramStillCountsAndNothingIsDeleted) {
  AddBatch(*co_.bkt, "B1");
  AddTransaction(*co_.bkt, "B1", 1);
  auto other = HoldLocked(co_.fm.Folder(), 1);
  ASSERT_EQ(other.Receive(), "holding");
  Batch b(*co_.bkt);
  FetchBatch(b, "B1");
  EXPECT_FALSE(b.IsEmpty());
  EXPECT_EQ(b.deleteIfEmpty(), tsioStatus::kSuccess);
  EXPECT_TRUE(BatchExists(*co_.bkt, "B1"));
  other.Send("end");
  EXPECT_EQ(other.Wait(), 0);
}

TEST_F(BatchRecords, AnEmptyBatchHeldByAnotherProgramIsNotDeleted) {
  AddBatch(*co_.bkt, "B1");
  auto other = HoldLocked(co_.fm.Folder(), 6);
  ASSERT_EQ(other.Receive(), "holding");
  Batch b(*co_.bkt);
  FetchBatch(b, "B1");
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.deleteIfEmpty(), tsioStatus::kLocked);
  EXPECT_TRUE(BatchExists(*co_.bkt, "B1"));
  other.Send("end");
  EXPECT_EQ(other.Wait(), 0);
  FetchBatch(b, "B1");
  EXPECT_EQ(b.deleteIfEmpty(), tsioStatus::kSuccess);
  EXPECT_FALSE(BatchExists(*co_.bkt, "B1"));
}

}  // namespace
