// The record base: which columns a record binds and in what order, what
// assignment and the constructors copy, and the column container.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records/bank_account_data.h"
#include "records/bk_data.h"
#include "records/cash_detail_data.h"
#include "records/column_lists.h"
#include "records/transaction_data.h"

namespace {

std::vector<std::string> BoundNames(const ccRecData& record) {
  std::vector<std::string> names;
  for (const auto& c : record.Columns()) names.push_back(c.name);
  return names;
}

TEST(ColumnBinding, ListBindsExactlyTheNamedColumnsInListOrder) {
  struct Case {
    const char* list;
    std::vector<std::string> bound;
  };
  const Case cases[] = {
      {kBankRegisterBalanceColumns, {"BANKACC", "BRGBLNC"}},
      {"BRGBLNC;BANKACC", {"BRGBLNC", "BANKACC"}},
      {"BDESC", {"BDESC"}},
      {kBankLastReconciledColumns, {"BANKACC", "BRECBAL", "BRECDT"}},
  };
  for (const auto& c : cases) {
    const BankAccountData record(c.list);
    EXPECT_EQ(BoundNames(record), c.bound) << c.list;
    EXPECT_EQ(record.ColumnList(), c.list);
  }
}

TEST(ColumnBinding, ColumnListsOfThePartialReadersNameColumnsOfTheirRecords) {
  struct Case {
    const char* list;
    int record;  // 1 bank account, 2 transaction, 3 cash detail
  };
  const Case cases[] = {
      {kBankRegisterBalanceColumns, 1},     {kBankBalanceColumns, 1},
      {kBankLastReconciledColumns, 1},      {kTranRunningBalanceColumns, 2},
      {kTranRegisterBalanceAsOfColumns, 2}, {kTranBankBalanceAsOfColumns, 2},
      {kTranLastReconciledAsOfColumns, 2},  {kTranDuplicateCheckColumns, 2},
      {kTranDuplicateDepositColumns, 2},    {kTranRunBalanceColumns, 2},
      {kCashRunningBalanceColumns, 3},      {kCashBalanceAsOfColumns, 3},
  };
  for (const auto& c : cases) {
    const size_t want = tsSplitNames(c.list, ';').size();
    size_t bound = 0;
    if (c.record == 1) bound = BankAccountData(c.list).Columns().size();
    if (c.record == 2) bound = TransactionData(c.list).Columns().size();
    if (c.record == 3) bound = CashDetailData(c.list).Columns().size();
    EXPECT_EQ(bound, want) << c.list;
  }
}

TEST(RecordCopies, AssignmentCopiesOnlyColumnsBothRecordsBind) {
  BankAccountData full("");
  full.SetBankAccount("CHK1");
  full.SetDescription("Operating");
  full.SetRegisterBalance(tsCurrency::FromText("125.50"));

  BankAccountData partial(kBankRegisterBalanceColumns);
  partial.SetDescription("kept");
  partial = full;
  EXPECT_EQ(partial.GetBankAccount(), "CHK1");
  EXPECT_EQ(partial.GetRegisterBalance(), tsCurrency::FromText("125.50"));
  EXPECT_EQ(partial.GetDescription(), "kept");

  BankAccountData other("");
  other.SetDescription("also kept");
  partial.SetRegisterBalance(tsCurrency(7));
  other = partial;
  EXPECT_EQ(other.GetRegisterBalance(), tsCurrency(7));
  EXPECT_EQ(other.GetDescription(), "also kept");
}

// A copy over a column list binds and copies only those columns; keys
// compare and order by their values.
TEST(RecordCopies, ConstructorsFromRecordsAndKeys) {
  TransactionData source("");
  source.SetBankAccount("CHK1");
  source.SetRun(tsDouble(4));
  source.SetSequence(tsDouble(7));
  source.SetDescription("Rent");
  const TransactionData copy(source, kTranDuplicateCheckColumns);
  EXPECT_EQ(BoundNames(copy), tsSplitNames(kTranDuplicateCheckColumns, ';'));
  EXPECT_EQ(copy.GetRun(), tsDouble(4));
  EXPECT_TRUE(copy.GetDescription().IsBlank());  // not bound: not copied
  const TransactionKeyData key(source);
  EXPECT_TRUE(TransactionData(key, "") == source);  // records compare by key
  TransactionKeyData later("CHK1", tsDouble(4), tsDouble(8));
  EXPECT_TRUE(key < later);
  later = key;
  EXPECT_TRUE(later == key);
}

// A column defined but not bound is still reachable through the container;
// an undefined name changes nothing and reads as empty.
TEST(RecordBase, SetColumnReachesUnboundColumnsAndIgnoresUndefinedOnes) {
  BankAccountData record(kBankRegisterBalanceColumns);
  const tsAlpha name("First Bank");
  record.SetColumn("BNAME", &name);
  EXPECT_EQ(record.GetBankName(), "First Bank");
  record.SetColumn("NOSUCH", &name);
  EXPECT_TRUE(record.GetColumn("NOSUCH").IsNull());
}

TEST(ColumnsContainer, CreateLookupSetClear) {
  BankAccountData owner("BDESC");
  bkColumnsContainer container(&owner);
  EXPECT_TRUE(container.Empty());
  tsAlpha a, b;
  container.CreateColumn("ZZ", &a);
  container.CreateColumn("AA", &a);
  container.CreateColumn("AA", &b);  // replaces
  EXPECT_EQ(container.Lookup("AA"), &b);
  EXPECT_EQ(container.Lookup("aa"), nullptr);  // names are case-sensitive
  const tsAlpha value("x");
  container.SetColumn("AA", &value);
  EXPECT_EQ(b, "x");
  container.AddAllColumnsInContainer();
  EXPECT_EQ(BoundNames(owner), (std::vector<std::string>{"BDESC", "AA", "ZZ"}));
  container.Clear();
  EXPECT_TRUE(container.Empty());
}

}  // namespace
