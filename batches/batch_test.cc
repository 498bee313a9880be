// Batch records and what is asked of them: clearing the totals of a posted
// batch, empty batches and their deletion (batch.h), and the bank register
// part's fully-posted and no-transactions answers (bk_batch_part.h), over
// one company's batches, with reads that fail and a second program holding
// records.
#include <gtest/gtest.h>

#include <sstream>

#include "batches/batch.h"
#include "batches/batch_test_support.h"
#include "framework/io/faults.h"
#include "framework/io/rollback_stack.h"
#include "records/files.h"

namespace {

using bkdetailtest::Put;
using bktest::FetchBatch;

// Each batch of the company: its totals ("count amount posted-count
// posted-amount", "-" for no record) and its members in bank account CHK,
// one letter each: T a posted transaction, t an open one, c a cash detail,
// g a tax GL detail. Members of "other" belong to no stored batch.
constexpr const char* kBatches[][3] = {
    {"none", "3 30.00 2 20.00", ""},     {"all", "3 30.00 2 20.00", "TTT"}, {"oneopen", "3 30.00 2 20.00", "TtT"},
    {"onlyopen", "3 30.00 2 20.00", "t"}, {"cash", "0 0 0 0", "c"},        {"taxgl", "0 0 0 0", "g"},
    {"POSTED", "0 0 0 0", ""},            {"POSTEDX", "0 0 2 0", ""},      {"other", "-", "tcg"},
};
// The transaction of batch "onlyopen" (members are numbered in the order above).
constexpr const char kOnlyOpenMember[] = "TBNKACC=CHK;TRUN=1;TSEQ=7";

class BatchRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    int seq = 0;
    for (const auto& [id, totals, members] : kBatches) {
      std::istringstream in(totals);
      std::string count, amount, posted_count, posted_amount;
      if (in >> count >> amount >> posted_count >> posted_amount) {
        Put<Batch>(*co_.bkt, bktest::BatchKey(id) + ";BCNT=" + count + ";BAMT=" + amount + ";BCNTP=" + posted_count +
                                 ";BAMTP=" + posted_amount);
      }
      for (const char* m = members; *m != 0; ++m) {
        const std::string n = std::to_string(++seq), batch = id;
        if (*m == 'c') {
          Put<CashDetail>(*co_.bkt, "CDBNKAC=CHK;CDTRUN=1;CDRUN=1;CDSEQ=1;CDAPP=BK;CDSORCE=2;CDTSEQ=" + n +
                                        ";CDBATCH=" + batch);
        } else if (*m == 'g') {
          Put<TaxGLDetail>(*co_.bkt, "TGBNKAC=CHK;TGRUN=1;TGTXRUN=1;TGTXSEQ=1;TGAPPL=BK;TGSRC=2;TGSEQ=" + n +
                                         ";TGBATCH=" + batch);
        } else {
          Put<Transaction>(*co_.bkt, "TBNKACC=CHK;TRUN=1;TADD=10.00;TAPPL=BK;TSOURCE=2;TSEQ=" + n + ";TBATCH=" +
                                         batch + ";TPOSTED=" + (*m == 'T' ? "1" : "0"));
        }
      }
    }
  }
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
  // The register part of batch `id` ("" for none) over the batch file.
  bkBatchPart Part(const char* id) {
    bkBatchPart p;
    p.SetHostAppl("BK");
    p.SetBatchID(tsAlpha(id));
    p.SetSource(bktest::kSource);
    p.SetFileNumber(co_.bkt->FileNum());
    return p;
  }
  // Whether batch `id` is fully posted, read from the batch file, from the
  // register file, then again from it.
  std::string FullyPosted(const char* id) {
    bkBatchPart p = Part(id);
    std::string s = std::to_string(p.IsBatchFullyPosted());
    EXPECT_EQ(p.SetRegisterFile(co_.bkt->Info()), tsioStatus::kSuccess);
    return s + std::to_string(p.IsBatchFullyPosted()) + std::to_string(p.IsBatchFullyPosted());
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

const auto kClear = [](Batch& b) {
  const bool cleared = b.ClearAmountsIfPosted();
  return std::to_string(cleared) + " " + b.m_Record.GetCount().Format() + " " +
         b.m_Record.GetAmountPosted().Format();
};
const auto kEmpty = [](Batch& b) { return std::to_string(b.IsEmpty()); };
const auto kDelete = [](Batch& b) { return std::to_string(b.deleteIfEmpty()); };

// Only a batch whose every transaction is posted has its totals cleared (in
// the record, not written). A batch is empty without transactions, cash
// details and tax GL details of its own, and only then deleted. Fully
// posted: a stored batch of exactly that id whose counts are cleared. No
// transactions: none and no cash detail of the batch (tax GL details are
// not looked at). Another batch's members never count. A read that fails
// (at each read) keeps the totals, is never "empty" and deleting reports its
// failure (the batch is still there for the answers after); fully posted is
// never answered for a failed read, no file or a register file that cannot
// be opened.
TEST_F(BatchRecords, EachBatchIsAnsweredFromItsOwnRecordAndMembersNeverFromAFailedRead) {
  std::string said;
  for (int nth : {1, 2, 3}) {
    said += On("all", nth, kClear) + ", ";
    said += On("none", nth, kEmpty) + " ";
    said += On("none", nth, kDelete, tsioStatus::kIOError) + "; ";
  }
  EXPECT_EQ(said, "0 3 20.00, 0 2; 0 3 20.00, 0 2; 0 3 20.00, 0 2; ");
  bkBatchPart p = Part("POSTED");
  tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kDamaged);
  EXPECT_FALSE(p.IsBatchFullyPosted());
  tsioFaults::Clear();
  p.SetFileNumber(0);
  EXPECT_FALSE(p.IsBatchFullyPosted()) << "no file";
  EXPECT_NE(p.SetRegisterFile(tsioFileInfo(co_.fm.Folder(), tsioFileSpec("BKT", 9, 221))), tsioStatus::kSuccess);
  EXPECT_FALSE(p.IsBatchFullyPosted());

  // Asked first, while the batches near them in key order are stored.
  for (const char* id : {"POST", "MISSING", "other"}) EXPECT_EQ(FullyPosted(id), "000") << id;
  said.clear();
  for (const char* id : {"none", "all", "oneopen", "onlyopen", "cash", "taxgl", "POSTED", "POSTEDX"}) {
    said += std::string(id) + ": clear " + On(id, 0, kClear);
    said += ", empty " + On(id, 0, kEmpty);
    said += ", fully posted " + FullyPosted(id);
    said += ", no transactions " + std::to_string(Part(id).NoTransactions());
    said += ", delete " + On(id, 0, kDelete) + "\n";
  }
  EXPECT_EQ(said,
            "none: clear 1 0 0.00, empty 1, fully posted 000, no transactions 1, delete 0\n"
            "all: clear 1 0 0.00, empty 0, fully posted 000, no transactions 0, delete 0\n"
            "oneopen: clear 0 3 20.00, empty 0, fully posted 000, no transactions 0, delete 0\n"
            "onlyopen: clear 0 3 20.00, empty 0, fully posted 000, no transactions 0, delete 0\n"
            "cash: clear 1 0 0.00, empty 0, fully posted 111, no transactions 0, delete 0\n"
            "taxgl: clear 1 0 0.00, empty 0, fully posted 111, no transactions 1, delete 0\n"
            "POSTED: clear 1 0 0.00, empty 1, fully posted 111, no transactions 1, delete 0\n"
            "POSTEDX: clear 1 0 0.00, empty 1, fully posted 000, no transactions 1, delete 0\n");
  EXPECT_EQ(Stored(), "all:3 cash:0 oneopen:3 onlyopen:3 taxgl:0 ") << "only deletes are written";

  // Without a batch id the part asks about the batch file's current record.
  bkBatchPart current = Part("");
  Batch cursor(*co_.bkt);
  FetchBatch(cursor, "cash");
  EXPECT_TRUE(current.IsBatchFullyPosted());
  FetchBatch(cursor, "all");
  EXPECT_FALSE(current.IsBatchFullyPosted());
}

// A second program holds a member of "onlyopen" (it still counts, nothing
// is deleted), the empty batch "none"'s record (not deleted while held, and
// once released) and "POSTED" changed in a unit it has not committed: the
// committed record decides and nothing waits.
TEST_F(BatchRecords, WhatAnotherProgramHoldsIsNeitherMissedNorDeleted) {
  auto other = bktest::ChildProcess::Start([folder = co_.fm.Folder()] {
    tsioFileManager fm(folder);
    tsioDataFile* bkt = nullptr;
    if (fm.Open(BKTFileSpec, &bkt) != tsioStatus::kSuccess) return 1;
    Transaction member(*bkt);
    Batch empty(*bkt), changed(*bkt);
    if (!bkdetailtest::Set(member.m_Record, kOnlyOpenMember) || member.FetchEQ(true) != tsioStatus::kSuccess) return 2;
    FetchBatch(empty, "none");
    if (empty.Lock() != tsioStatus::kSuccess) return 3;
    tclRollbackStack unit;
    changed.AttachRollbackStack(&unit);
    FetchBatch(changed, "POSTED");
    if (changed.Lock() != tsioStatus::kSuccess) return 4;
    changed.m_Record.SetCount(9);
    if (changed.Update() != tsioStatus::kSuccess) return 5;
    bktest::ChildProcess::WriteLine("holding");
    bktest::ChildProcess::ReadLine();
    return 0;
  });
  ASSERT_EQ(other.Receive(), "holding");
  const auto both = [](Batch& b) {
    const bool empty = b.IsEmpty();
    return std::to_string(empty) + std::to_string(b.deleteIfEmpty()) + " ";
  };
  std::string said = On("onlyopen", 0, both);
  said += On("none", 0, both);
  said += FullyPosted("POSTED");
  EXPECT_EQ(said + FullyPosted("none"), "00 19 111000");
  other.Send("end");
  EXPECT_EQ(other.Wait(), 0);
  said = On("onlyopen", 0, both);
  EXPECT_EQ(said + On("none", 0, both), "00 10 ");
  EXPECT_EQ(Stored(), "POSTED:0 POSTEDX:0 all:3 cash:0 oneopen:3 onlyopen:3 taxgl:0 ");
}

}  // namespace
