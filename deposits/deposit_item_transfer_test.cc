// Moving a deposit item with its lines: the lines go first, then the item,
// under the new run and sequence; committed or rolled back, both files are
// whole; a line that cannot be moved or read (another program's lock, a
// duplicate in the target, a damaged file) fails the item and moves nothing
// once rolled back. (Another program holding a line or the item: the
// transaction operations' lock table, which moves the deposit through here.)
#include <gtest/gtest.h>

#include <string>

#include "deposits/detail_transfer_test_support.h"
#include "framework/io/company.h"
#include "tests/support/damage.h"
#include "tests/support/status_text.h"

namespace {

using namespace bkdetailtest;

// Where item 1's lines (accounts 4000, 4100, 4200) and then item 1 are: S in
// the source under 5/1, T in the target under 7/12, B in both, - in neither.
std::string Where(DetailCompany& company) {
  const std::vector<Row> source = company.Rows(*company.bkt), target = company.Rows(*company.history);
  std::string out;
  for (const auto& [record, prefix] : {std::pair{"DIGLINO=1;DIGLACC=4000", "DIG"}, {"DIGLINO=1;DIGLACC=4100", "DIG"},
                                       {"DIGLINO=1;DIGLACC=4200", "DIG"}, {"DITEMNO=1", "DI"}}) {
    const std::string run = std::string(record) + ";" + prefix + "RUN=", seq = std::string(";") + prefix + "SEQ=";
    const bool here = Find(source, run + "5" + seq + "1") != nullptr;
    const bool there = Find(target, run + "7" + seq + "12") != nullptr;
    out += here ? (there ? 'B' : 'S') : (there ? 'T' : '-');
  }
  return out;
}

// Undisturbed, the three lines and the item arrive under 7/12 and vanish from
// 5/1. Stopping the move at chosen steps shows its order (each line is written
// to the target and deleted here before the next, all lines before the item)
// and that a failure keeps the item here; a line or item already in the
// target fails the item too. Rolled back, both files are as before.
TEST(DepositItemTransfer, LinesThenTheItemMoveAndAFailureOnTheWayRollsBackToNothing) {
  const struct {
    FaultKind fault;
    int nth;
    void (*put)(tsioDataFile&, const std::string&);
    const char* existing;  // written into the target first
    const char* where;
    const char* said;
  } cases[] = {
      {{tsioOp::kCount, tsioStatus::kSuccess, "undisturbed"}, 0, nullptr, "", "TTTT", "0"},
      {{tsioOp::kInsert, tsioStatus::kIOError, "the item's insert"}, 4, nullptr, "", "TTTS",
       "2 | 1615/3 Could not write the deposit item record: the data file could not be read or written (2)."},
      {{tsioOp::kDelete, tsioStatus::kIOError, "the third line's delete"}, 3, nullptr, "", "TTBS",
       "2 | 1613/3 Could not delete the deposit item detail record: the data file could not be read or written (2)."},
      {{tsioOp::kCount, tsioStatus::kSuccess, "the item in the target"}, 0, &Put<DepositItem>,
       "DIBNKAC=CHK1;DIRUN=7;DISEQ=12;DITEMNO=1", "TTTB",
       "1 | 1615/3 Could not write the deposit item record: a record with that key already exists (5)."},
      {{tsioOp::kCount, tsioStatus::kSuccess, "its last line in the target"}, 0, &Put<DepositItemDetail>,
       "DIGBNKA=CHK1;DIGRUN=7;DIGSEQ=12;DIGLINO=1;DIGLACC=4200", "TTBS",
       "1 | 1615/3 Could not write the deposit item detail record: a record with that key already exists (5)."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault.name);
    DetailCompany company;
    if (c.put) c.put(*company.history, c.existing);
    const Snapshot before = company.Snap();
    tclRollbackStack stack;
    ArmedFault fault(c.fault, c.nth);
    const ccStatus<TransferStatus> result =
        Move<DepositItem>(*company.bkt, *company.history, kItem1, &stack, c.nth > 0 ? &fault : nullptr);
    EXPECT_EQ(bktest::Said(result), c.said);
    EXPECT_EQ(Where(company), c.where);
    ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
    EXPECT_EQ(company.Snap(), before);
  }
}

// The lines' table really damaged on disk: the walk over the lines cannot
// start, and the item reports it (fatal) instead of claiming to be moved.
TEST(DepositItemTransfer, ADamagedLinesTableFailsTheItemFatally) {
  DetailCompany company;
  const std::string table = tsioCompany::TableName("BKT", BKTFileSpec.Instance(), DepositItemDetailData::kRecordType);
  company.Close();
  ASSERT_GT(bktest::DamageTables(company.Folder() + "/company.db", {table}), 0u);
  company.Open();
  tclRollbackStack stack;
  ExpectOneTransferError(Move<DepositItem>(*company.bkt, *company.history, kItem1, &stack), tsioStatus::kDamaged,
                         "deposit item detail", 1614);
  ASSERT_EQ(stack.Rollback(), tsioStatus::kSuccess);
  DepositItem item(*company.bkt);
  ASSERT_TRUE(Set(item.m_Record, kItem1));
  EXPECT_EQ(item.FetchEQ(false), tsioStatus::kSuccess);
}

}  // namespace
