// Moving a deposit item with its lines: the lines go first, then the item,
// under the new run and sequence; committed or rolled back, both files are
// whole; a line that cannot be moved or read (another program's lock, a
// duplicate in the target, a damaged file) fails the item and moves nothing
// once rolled back.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <string>
#include <vector>

#include "deposits/detail_transfer_test_support.h"
#include "framework/io/company.h"

namespace {

using namespace bkdetailtest;

class DepositItemTransfer : public ::testing::Test {
 protected:
  void TearDown() override { tsioFaults::Clear(); }

  // How many lines of item 1, and whether item 1 itself, are in `file` under
  // transaction run `run` and sequence `seq` (5/1 before the move, 7/12 after).
  std::pair<int, bool> Count(tsioDataFile& file, const char* run, const char* seq) {
    const std::vector<Row> rows = company.Rows(file);
    int lines = 0;
    for (const char* account : {"4000", "4100", "4200"}) {
      lines += Find(rows, std::string("DIGBNKA=CHK1;DIGLINO=1;DIGRUN=") + run + ";DIGSEQ=" + seq +
                              ";DIGLACC=" + account) != nullptr;
    }
    const bool item = Find(rows, std::string("DIBNKAC=CHK1;DITEMNO=1;DIRUN=") + run + ";DISEQ=" + seq) != nullptr;
    return {lines, item};
  }
  ccStatus<TransferStatus> MoveItem(tclRollbackStack* stack, Fault fault = {}, bool lock = true) {
    return Move<DepositItem>(*company.bkt, *company.history, kItem1, stack, fault, lock);
  }

  Company company;
};

TEST_F(DepositItemTransfer, ThreeLinesThenTheItemArriveUnderTheNewRunAndVanishFromTheSource) {
  const Snapshot before = company.Snap();
  for (const bool commit : {false, true}) {
    tclRollbackStack stack;
    const ccStatus<TransferStatus> result = MoveItem(&stack);
    ASSERT_EQ(result.Value(), kTransferDone) << Text(result);
    EXPECT_TRUE(result.Errors().Empty());
    EXPECT_EQ(Count(*company.history, "7", "12"), std::make_pair(3, true));
    EXPECT_EQ(Count(*company.bkt, "5", "1"), std::make_pair(0, false));
    if (!commit) {
      ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
      EXPECT_EQ(company.Snap(), before);
      continue;
    }
    ASSERT_EQ(stack.Commit(), tsioStatus::kSuccess);
  }
  // Committed: seen afresh after reopening, and nothing else moved.
  company.Close();
  company.Open();
  EXPECT_EQ(Count(*company.history, "7", "12"), std::make_pair(3, true));
  EXPECT_EQ(Count(*company.bkt, "5", "1"), std::make_pair(0, false));
  const Snapshot after = company.Snap();
  EXPECT_EQ(after.current.size() + 4, before.current.size());
  EXPECT_EQ(after.history.size(), 4u);
  EXPECT_NE(Find(after.current, "DIGBNKA=CHK1;DIGRUN=5;DIGSEQ=1;DIGLINO=2;DIGLACC=4000"), nullptr);
  EXPECT_NE(Find(after.history, "DIGRUN=7;DIGSEQ=12;DIGLACC=4000;DIGAMT=10;DIGTXGP=GST;DIGTXAM=0.48"), nullptr);
}

// Stopping the move at chosen steps shows its order: each line is written to
// the target and deleted here before the next, all lines before the item.
TEST_F(DepositItemTransfer, LinesMoveBeforeTheirItemAndAFailureKeepsTheItemHere) {
  struct Stop {
    tsioOp op;
    int nth;
    unsigned short number;
    const char* description;
    std::pair<int, bool> target, source;
  };
  const Stop stops[] = {
      {tsioOp::kInsert, 2, 1615, "deposit item detail", {1, false}, {2, true}},  // the second line's insert
      {tsioOp::kInsert, 4, 1615, "deposit item", {3, false}, {0, true}},         // the item's insert
      {tsioOp::kDelete, 3, 1613, "deposit item detail", {3, false}, {1, true}},  // the third line's delete
      {tsioOp::kDelete, 4, 1613, "deposit item", {3, true}, {0, true}},          // the item's delete
  };
  const Snapshot before = company.Snap();
  for (const Stop& stop : stops) {
    SCOPED_TRACE(stop.description + std::string(" #") + std::to_string(stop.nth));
    tclRollbackStack stack;
    const ccStatus<TransferStatus> result = MoveItem(&stack, {stop.op, tsioStatus::kIOError, stop.nth});
    tsioFaults::Clear();
    ExpectOneTransferError(result, tsioStatus::kIOError, stop.description, "", stop.number);
    EXPECT_EQ(Count(*company.history, "7", "12"), stop.target);
    EXPECT_EQ(Count(*company.bkt, "5", "1"), stop.source);
    ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
    EXPECT_EQ(company.Snap(), before);
  }
}

// A line another program holds, and a line or item already in the target:
// the item fails (never "moved" with a line left behind) and the rollback
// restores both files.
TEST_F(DepositItemTransfer, ALockedLineOrADuplicateInTheTargetFailsTheItem) {
  const Snapshot clean = company.Snap();
  {
    bktest::ChildProcess holder = HoldLock<DepositItemDetail>(company.Folder(), kLine4100);
    tclRollbackStack stack;
    const ccStatus<TransferStatus> result = MoveItem(&stack);
    ExpectOneTransferError(result, tsioStatus::kLocked, "deposit item detail", "locked line", 1614);
    ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
    EXPECT_EQ(company.Snap(), clean);
    holder.Send("end");
    EXPECT_EQ(holder.Wait(), 0);
  }
  using Writer = void (*)(tsioDataFile&, const std::string&);
  const std::pair<Writer, const char*> duplicates[] = {
      {&Put<DepositItemDetail>, "DIGBNKA=CHK1;DIGRUN=7;DIGSEQ=12;DIGLINO=1;DIGLACC=4200"},  // the last line
      {&Put<DepositItem>, "DIBNKAC=CHK1;DIRUN=7;DISEQ=12;DITEMNO=1"}};                      // the item
  for (const auto& [put, duplicate] : duplicates) {
    SCOPED_TRACE(duplicate);
    put(*company.history, duplicate);
    const Snapshot before = company.Snap();
    tclRollbackStack stack;
    const ccStatus<TransferStatus> result = MoveItem(&stack);
    ExpectOneTransferError(result, tsioStatus::kDuplicateKey, "deposit item", duplicate, 1615);
    EXPECT_TRUE(Count(*company.bkt, "5", "1").second);
    ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
    EXPECT_EQ(company.Snap(), before);
  }
}

// The lines' table really damaged on disk: the walk over the lines cannot
// start, and the item reports it (fatal) instead of claiming to be moved.
TEST_F(DepositItemTransfer, ADamagedLinesTableFailsTheItemFatally) {
  const std::string table = tsioCompany::TableName("BKT", BKTFileSpec.Instance(), DepositItemDetailData::kRecordType);
  company.Close();
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((company.Folder() + "/company.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_stmt* q = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "SELECT rootpage, (SELECT page_size FROM pragma_page_size) FROM sqlite_master "
                                 "WHERE name = ?1",
                                 -1, &q, nullptr),
              SQLITE_OK);
    sqlite3_bind_text(q, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    ASSERT_EQ(sqlite3_step(q), SQLITE_ROW);
    const long page = sqlite3_column_int64(q, 0), size = sqlite3_column_int64(q, 1);
    sqlite3_finalize(q);
    sqlite3_close(db);
    std::fstream file(company.Folder() + "/company.db", std::ios::in | std::ios::out | std::ios::binary);
    file.seekp((page - 1) * size);
    file << std::string(static_cast<size_t>(size), '\xff');
  }
  company.Open();
  tclRollbackStack stack;
  const ccStatus<TransferStatus> result = MoveItem(&stack);
  ExpectOneTransferError(result, tsioStatus::kDamaged, "deposit item detail", "damaged", 1614);
  EXPECT_EQ(result.Value(), kTransferFatal);
  ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
  EXPECT_FALSE(Count(*company.history, "7", "12").second);
  DepositItem item(*company.bkt);
  ASSERT_TRUE(Set(item.m_Record, kItem1));
  EXPECT_EQ(item.FetchEQ(false), tsioStatus::kSuccess);
}

TEST_F(DepositItemTransfer, AnItemWithoutLinesMovesAloneAndAMoveWithinOneFileRenumbers) {
  tclRollbackStack stack;
  ASSERT_EQ(Move<DepositItem>(*company.bkt, *company.history, "DIBNKAC=CHK1;DIRUN=5;DISEQ=2;DITEMNO=1", &stack, {})
                .Value(),
            kTransferDone);
  ASSERT_EQ(Move<DepositItem>(*company.bkt, *company.history, "DIBNKAC=CHK1;DIRUN=5;DISEQ=1;DITEMNO=2", &stack, {})
                .Value(),
            kTransferDone);
  // Renumbering inside the current file: the target is the source's own handle.
  ASSERT_EQ(Move<DepositItem>(*company.bkt, *company.bkt, kItem1, &stack, {}).Value(), kTransferDone);
  ASSERT_EQ(stack.Commit(), tsioStatus::kSuccess);
  EXPECT_EQ(Count(*company.bkt, "7", "12"), std::make_pair(3, true));
  EXPECT_EQ(Count(*company.bkt, "5", "1"), std::make_pair(0, false));
  const Snapshot after = company.Snap();
  EXPECT_EQ(after.current.size(), 4u + 6u);  // item 1 and its lines, 2 WD, 2 cash, tax, tax GL
  EXPECT_EQ(after.history.size(), 4u);       // two items and their two lines, now 7/12

  // An item with no lines left: it moves alone.
  Put<DepositItem>(*company.bkt, "DIBNKAC=CHK2;DIRUN=1;DISEQ=1;DITEMNO=1");
  ASSERT_EQ(Move<DepositItem>(*company.bkt, *company.history, "DIBNKAC=CHK2;DIRUN=1;DISEQ=1;DITEMNO=1", nullptr, {})
                .Value(),
            kTransferDone);
  EXPECT_NE(Find(company.Rows(*company.history), "DIBNKAC=CHK2;DIRUN=7;DISEQ=12;DITEMNO=1"), nullptr);
}

}  // namespace
