// Moving a deposit item with its lines: the lines go first, then the item,
// under the new run and sequence; committed or rolled back, both files are
// whole; a line that cannot be moved or read (another program's lock, a
// duplicate in the target, a damaged file) fails the item and moves nothing
// once rolled back. (Another program holding a line or the item: the
// transaction operations' lock table, which moves the deposit through here.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deposits/detail_transfer_test_support.h"
#include "framework/io/company.h"
#include "tests/support/damage.h"

namespace {

using namespace bkdetailtest;

class DepositItemTransfer : public ::testing::Test {
 protected:
  void TearDown() override { tsioFaults::Clear(); }

  // How many lines of item 1, and whether item 1 itself, are in `file` under
  // transaction run and sequence `run_seq` ("5/1" before the move, "7/12" after).
  std::pair<int, bool> Count(tsioDataFile& file, const std::string& run_seq) {
    const std::vector<Row> rows = company.Rows(file);
    const std::string run = run_seq.substr(0, run_seq.find('/')), seq = run_seq.substr(run_seq.find('/') + 1);
    int lines = 0;
    for (const char* account : {"4000", "4100", "4200"}) {
      lines += Find(rows, "DIGBNKA=CHK1;DIGLINO=1;DIGRUN=" + run + ";DIGSEQ=" + seq + ";DIGLACC=" + account) != nullptr;
    }
    return {lines, Find(rows, "DIBNKAC=CHK1;DITEMNO=1;DIRUN=" + run + ";DISEQ=" + seq) != nullptr};
  }
  ccStatus<TransferStatus> MoveItem(tclRollbackStack* stack, Fault fault = {}) {
    return Move<DepositItem>(*company.bkt, *company.history, kItem1, stack, fault);
  }

  DetailCompany company;
};

// Undisturbed, the three lines and the item arrive under 7/12 and vanish from
// 5/1. Stopping the move at chosen steps shows its order (each line is written
// to the target and deleted here before the next, all lines before the item)
// and that a failure keeps the item here; a line or item already in the
// target fails the item too. Rolled back, both files are as before.
TEST_F(DepositItemTransfer, LinesThenTheItemMoveAndAFailureOnTheWayRollsBackToNothing) {
  using Writer = void (*)(tsioDataFile&, const std::string&);
  const auto ioerror = tsioStatus::kIOError, duplicate = tsioStatus::kDuplicateKey;
  const char* const line = "deposit item detail";
  const struct {
    Fault fault;
    unsigned short number;
    const char* description;
    std::pair<int, bool> target, source;
    Writer put = nullptr;
    const char* existing = "";  // written into the target first
  } cases[] = {
      {{}, 0, "", {3, true}, {0, false}},
      {{tsioOp::kInsert, ioerror, 4}, 1615, "deposit item", {3, false}, {0, true}},  // the item's insert
      {{tsioOp::kDelete, ioerror, 3}, 1613, line, {3, false}, {1, true}},  // the third line's delete
      // Already in the target (and left there): the item, then also its last line.
      {{tsioOp::kCount, duplicate, 0}, 1615, "deposit item", {3, true}, {0, true}, &Put<DepositItem>,
       "DIBNKAC=CHK1;DIRUN=7;DISEQ=12;DITEMNO=1"},
      {{tsioOp::kCount, duplicate, 0}, 1615, line, {3, true}, {1, true}, &Put<DepositItemDetail>,
       "DIGBNKA=CHK1;DIGRUN=7;DIGSEQ=12;DIGLINO=1;DIGLACC=4200"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description + std::string(" #") + std::to_string(c.fault.nth) + c.existing);
    if (c.put) c.put(*company.history, c.existing);
    const Snapshot before = company.Snap();
    tclRollbackStack stack;
    const ccStatus<TransferStatus> result = MoveItem(&stack, c.fault);
    tsioFaults::Clear();
    EXPECT_TRUE(c.number != 0 || (result.Value() == kTransferDone && result.Errors().Empty()));
    if (c.number != 0) ExpectOneTransferError(result, c.fault.status, c.description, c.number);
    EXPECT_EQ(Count(*company.history, "7/12"), c.target);
    EXPECT_EQ(Count(*company.bkt, "5/1"), c.source);
    ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
    EXPECT_EQ(company.Snap(), before);
  }
}

// The lines' table really damaged on disk: the walk over the lines cannot
// start, and the item reports it (fatal) instead of claiming to be moved.
TEST_F(DepositItemTransfer, ADamagedLinesTableFailsTheItemFatally) {
  const std::string table = tsioCompany::TableName("BKT", BKTFileSpec.Instance(), DepositItemDetailData::kRecordType);
  company.Close();
  ASSERT_GT(bktest::DamageTables(company.Folder() + "/company.db", {table}), 0u);
  company.Open();
  tclRollbackStack stack;
  ExpectOneTransferError(MoveItem(&stack), tsioStatus::kDamaged, "deposit item detail", 1614);
  ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
  EXPECT_FALSE(Count(*company.history, "7/12").second);
  DepositItem item(*company.bkt);
  ASSERT_TRUE(Set(item.m_Record, kItem1));
  EXPECT_EQ(item.FetchEQ(false), tsioStatus::kSuccess);
}

}  // namespace
