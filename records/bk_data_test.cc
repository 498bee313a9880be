// The record base: which columns a record binds and in what order, what
// assignment and the constructors copy, and the column container.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <utility>
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

// A column list binds exactly its columns in list order (also against the
// class's own order), for every list the partial readers use.
TEST(ColumnBinding, ListBindsExactlyTheNamedColumnsInListOrder) {
  auto check = [](const bkData& record, const char* list) {
    EXPECT_EQ(BoundNames(record), tsSplitNames(list, ';')) << list;
    EXPECT_EQ(record.ColumnList(), list);
  };
  for (const char* list : {"BRGBLNC;BANKACC", "BDESC", kBankRegisterBalanceColumns, kBankBalanceColumns,
                           kBankLastReconciledColumns}) {
    check(BankAccountData(list), list);
  }
  for (const char* list : {kTranRunningBalanceColumns, kTranRegisterBalanceAsOfColumns, kTranBankBalanceAsOfColumns,
                           kTranLastReconciledAsOfColumns, kTranDuplicateCheckColumns, kTranDuplicateDepositColumns,
                           kTranRunBalanceColumns}) {
    check(TransactionData(list), list);
  }
  for (const char* list : {kCashRunningBalanceColumns, kCashBalanceAsOfColumns}) check(CashDetailData(list), list);
}

// A copy over a column list binds and copies only those columns; a record
// made from a key compares equal to the key's record.
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
  EXPECT_TRUE(TransactionData(TransactionKeyData(source), "") == source);  // records compare by key
}

// A column defined but not bound is still reachable through the container;
// an undefined name changes nothing and reads as empty. Columns the container
// makes are found by exact name, the last made for a name wins, and adding
// them all binds them after the record's own.
TEST(ColumnsContainer, ReachesUnboundColumnsAndBindsWhatItMakes) {
  BankAccountData record(kBankRegisterBalanceColumns);
  const tsAlpha name("First Bank");
  record.SetColumn("BNAME", &name);
  EXPECT_EQ(record.GetBankName(), "First Bank");
  record.SetColumn("NOSUCH", &name);
  EXPECT_TRUE(record.GetColumn("NOSUCH").IsNull());

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

// Records of a class share their column tables: a change to one record's
// binding is that record's alone, and every record finds its own fields.
TEST(SharedColumnTables, ChangingOneRecordLeavesTheOthersAsTheyWere) {
  TransactionData a(""), b("");
  tsAlpha extra;
  a.AddColumn("XEXTRA", &extra);
  EXPECT_EQ(a.Columns().size(), b.Columns().size() + 1);
  EXPECT_EQ(a.Find("XEXTRA"), &extra);
  EXPECT_EQ(b.Find("XEXTRA"), nullptr);
  tsAlpha elsewhere("elsewhere");
  b.AddColumn("TDESC", &elsewhere);  // rebinds b's column only
  EXPECT_EQ(b.Find("TDESC"), &elsewhere);
  const TransactionData c("");
  EXPECT_EQ(c.Find("XEXTRA"), nullptr);
  EXPECT_EQ(c.Find("TDESC"), static_cast<const tsData*>(&c.GetDescription()));
  EXPECT_EQ(a.Find("TDESC"), static_cast<const tsData*>(&a.GetDescription()));
  // A copy of a rebound record binds what the source binds (the framework's
  // record copy); its own later changes stay its own.
  const ccRecData shared(b);
  EXPECT_EQ(shared.Find("TDESC"), &elsewhere);
  EXPECT_EQ(shared.Find("TRUN"), static_cast<const tsData*>(&b.GetRun()));
}

// A record class used for the first time in several threads at once: every
// record binds its own fields, whichever thread built the shared tables.
class ProbeRecord : public bkData {
 public:
  explicit ProbeRecord(const CString& columns) : bkData("TST", 1, "PK", columns) { AddColumns(); }
  tsAlpha key;
  tsDouble value;

 protected:
  void DefineColumns() override {
    ColumnsContainer().CreateColumn("PK", &key);
    ColumnsContainer().CreateColumn("PV", &value);
  }
};

TEST(SharedColumnTables, FirstRecordsBuiltInManyThreadsBindTheirOwnFields) {
  std::vector<std::thread> threads;
  std::vector<int> wrong(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 500; ++i) {
        ProbeRecord all(""), one("PV"), none("NOSUCH");
        if (all.Find("PK") != &all.key || all.Find("PV") != &all.value || all.Columns().size() != 2) ++wrong[t];
        if (one.Find("PV") != &one.value || one.Columns().size() != 1) ++wrong[t];
        if (!none.Columns().empty()) ++wrong[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong, std::vector<int>(8, 0));
}

// Copies and moves (of whole records: tables_test's
// CopiesAndMovesCarryEveryColumn) carry the values the source binds (texts
// beyond the short-text size too); a record made by copy or move binds every
// column, an assignment keeps the target's binding (so a cursor on it still
// reads into it) and its unbound values.
TEST(RecordCopies, CopiesAndMovesCarryValuesAndKeepBindings) {
  const std::string long_text(50, 'd');
  for (const bool move : {false, true}) {
    SCOPED_TRACE(move ? "move" : "copy");
    TransactionData narrow(kTranDuplicateCheckColumns);
    narrow.SetRun(tsDouble(5));
    narrow.SetDescription("not bound");
    const TransactionData made = move ? TransactionData(std::move(narrow)) : TransactionData(narrow);
    EXPECT_EQ(made.GetRun(), tsDouble(5));
    EXPECT_TRUE(made.GetDescription().IsBlank());
    EXPECT_EQ(made.Columns().size(), TransactionData("").Columns().size());

    TransactionData target(kTranDuplicateCheckColumns), full("");
    target.SetDescription("kept");
    full.SetRun(tsDouble(9));
    full.SetDescription(tsAlpha(long_text));
    full.SetCheck(tsDouble(12));
    if (move) {
      target = std::move(full);
    } else {
      target = full;
      full = target;  // a narrow source: only its bound columns
      EXPECT_EQ(full.GetDescription(), long_text);
    }
    EXPECT_EQ(target.GetRun(), tsDouble(9));
    EXPECT_EQ(target.GetCheck(), tsDouble(12));
    EXPECT_EQ(target.GetDescription(), "kept");
    EXPECT_EQ(BoundNames(target), tsSplitNames(kTranDuplicateCheckColumns, ';'));
  }

  // Records moved as a vector grows each bind their own fields.
  std::vector<TransactionData> rows;
  for (int i = 0; i < 100; ++i) {
    rows.emplace_back("");
    rows.back().SetSequence(tsDouble(i));
    rows.back().SetDescription(tsAlpha(long_text + std::to_string(i)));
  }
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(rows[i].GetColumn("TDESC").Format(), long_text + std::to_string(i));
    EXPECT_EQ(rows[i].Find("TSEQ"), static_cast<const tsData*>(&rows[i].GetSequence()));
    EXPECT_EQ(rows[i].GetSequence(), tsDouble(i));
  }
}

// Records order by their key columns, whether both are of one class (the
// shared key positions) or of different classes (by name).
TEST(RecordCopies, RecordsOrderByKeyAcrossClasses) {
  std::vector<TransactionData> rows;
  const int runs[] = {2, 1, 2, 1};
  const int seqs[] = {1, 9, 0, 3};
  for (int i = 0; i < 4; ++i) {
    rows.emplace_back("");
    rows.back().SetBankAccount(i == 3 ? "A" : "B");
    rows.back().SetRun(tsDouble(runs[i]));
    rows.back().SetSequence(tsDouble(seqs[i]));
  }
  std::sort(rows.begin(), rows.end());
  std::vector<std::string> order;
  for (const auto& r : rows) order.push_back(r.GetBankAccount().str() + r.GetRun().Format() + r.GetSequence().Format());
  EXPECT_EQ(order, (std::vector<std::string>{"A13", "B19", "B20", "B21"}));
  const TransactionKeyData key(tsAlpha("B"), tsDouble(2), tsDouble(0));
  EXPECT_TRUE(key == rows[2]);
  EXPECT_TRUE(rows[1] < key);
  EXPECT_TRUE(key < rows[3]);
}

}  // namespace
