// Every table of the module through one set of test bodies: its record class
// agrees with the data dictionary (columns, types, defaults, key), its key
// class binds exactly the key, its cursor names the table, and a record with every column
// set round-trips through a real data file (both instances of BKT). (The
// dictionary's own consistency, indexes naming real columns and unique in a
// file, is the schema generator's check.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "framework/io/dictionary.h"
#include "framework/io/record.h"
#include "framework/types/values.h"
#include "accounts/bank_account.h"
#include "batches/batch.h"
#include "deposits/cash_detail.h"
#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"
#include "ledger/gl_cash_account_balance.h"
#include "balances/last_tran.h"
#include "duplicates/pending_deposit.h"
#include "balances/reconcile_in_progress.h"
#include "records/record_test_support.h"
#include "locking/register_bank_lock.h"
#include "deposits/tax_detail.h"
#include "deposits/tax_gl_detail.h"
#include "transactions/transaction.h"
#include "duplicates/transaction_issue.h"
#include "locking/transaction_run_lock.h"
#include "deposits/withdrawal_detail.h"

namespace {

template <typename C, typename K>
struct Table {
  using Cursor = C;
  using Key = K;
  using Data = std::remove_cvref_t<decltype(std::declval<C&>().m_Record)>;
};

using AllTables = ::testing::Types<
    Table<BankAccount, BankAccountKeyData>, Table<GLCashAccountBalance, GLCashAccountBalanceKeyData>,
    Table<ReconcileInProgress, ReconcileInProgressKeyData>, Table<LastTran, LastTranKeyData>,
    Table<RegisterBankLock, RegisterBankLockKeyData>, Table<PendingDeposit, PendingDepositKeyData>,
    Table<Transaction, TransactionKeyData>, Table<DepositItem, DepositItemKeyData>,
    Table<DepositItemDetail, DepositItemDetailKeyData>, Table<WithdrawalDetail, WithdrawalDetailKeyData>,
    Table<CashDetail, CashDetailKeyData>, Table<Batch, BatchKeyData>,
    Table<TransactionRunLock, TransactionRunLockKeyData>, Table<TaxDetail, TaxDetailKeyData>,
    Table<TaxGLDetail, TaxGLDetailKeyData>, Table<TransactionIssue, TransactionIssueKeyData>>;

short DictionaryId(const std::string& file_code) {
  if (file_code == "BKM") return 210;
  if (file_code == "BKT") return 221;
  return 230;
}

const tsioRecordDef& Def(const ccRecData& record) {
  const tsioFileDef* file = tsioDictionary::Find(DictionaryId(record.FileCode()));
  const tsioRecordDef* def = file ? file->Record(record.TableID()) : nullptr;
  if (!def) {
    ADD_FAILURE() << record.FileCode() << " has no record type " << record.TableID();
    static const tsioRecordDef kNone;
    return kNone;
  }
  return *def;
}

std::vector<std::string> BoundNames(const ccRecData& record) {
  std::vector<std::string> names;
  for (const auto& c : record.Columns()) names.push_back(c.name);
  return names;
}

// The key class of a record: from the record where the class offers that.
template <typename K, typename D>
K KeyOf(const D& record) {
  if constexpr (std::is_constructible_v<K, const D&>) {
    return K(record);
  } else {
    return K(record.GetBankAccount(), record.GetRun(), record.GetSequence(), record.GetIssueNumber());
  }
}

// Sets every column to a value that differs from its default and from the
// other columns, within the column's width and stored decimals.
void Fill(ccRecData& record, const tsioRecordDef& def) {
  int i = 0;
  for (const auto& f : def.fields) {
    ++i;
    tsData* field = record.Find(f.name);
    ASSERT_NE(field, nullptr) << f.name;
    char date[16], time[16];
    std::snprintf(date, sizeof date, "2021-%02d-%02d", 1 + i % 12, 1 + i % 28);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", i % 24, (7 * i) % 60, i % 60);
    const std::string number = std::to_string(f.width - f.decimals <= 1 ? 1 + i % 9 : i);
    const std::map<tsDataType, std::string> by_type = {
        {tsDataType::kAlpha, "v" + std::to_string(i)}, {tsDataType::kText, "v" + std::to_string(i)},
        {tsDataType::kPhone, "v" + std::to_string(i)}, {tsDataType::kDouble, number + (f.decimals >= 2 ? ".25" : "")},
        {tsDataType::kCurrency, number + (f.decimals >= 2 ? ".25" : "")}, {tsDataType::kNum, std::to_string(i)},
        {tsDataType::kDate, date}, {tsDataType::kTime, time}, {tsDataType::kBool, "true"},
        {tsDataType::kChoice, std::to_string(2 + i % 7)}};
    const std::string text = by_type.at(f.type);
    ASSERT_TRUE(field->Parse(text)) << f.name << " " << text;
    ASSERT_FALSE(field->IsNull()) << f.name;
  }
}

void ExpectSameValues(const ccRecData& got, const ccRecData& want, const tsioRecordDef& def) {
  for (const auto& f : def.fields) {
    const tsData* g = got.Find(f.name);
    const tsData* w = want.Find(f.name);
    ASSERT_TRUE(g && w) << f.name;
    EXPECT_EQ(g->Compare(*w), 0) << f.name << ": got " << g->Format() << ", want " << w->Format();
  }
}

template <typename T>
class TableTest : public ::testing::Test {};
TYPED_TEST_SUITE(TableTest, AllTables);

TYPED_TEST(TableTest, RecordClassAgreesWithTheDictionary) {
  using Data = typename TypeParam::Data;
  const Data record("");
  const tsioRecordDef& def = Def(record);

  // Every column bound, once, in ascending name order, with the dictionary's type.
  const std::vector<std::string> names = BoundNames(record);
  EXPECT_EQ(names.size(), def.fields.size());
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  for (const auto& c : record.Columns()) {
    const int at = def.FieldIndex(c.name);
    ASSERT_GE(at, 0) << c.name << " is not in the dictionary";
    const tsioFieldDef& f = def.fields[static_cast<size_t>(at)];
    EXPECT_EQ(c.field->Type(), f.type) << c.name;
    // A new record holds the column's default: what an inserted row without it gets.
    tsCell cell;
    ASSERT_TRUE(c.field->ToCell(cell, f.decimals)) << c.name;
    EXPECT_EQ(cell.is_text ? cell.s : std::to_string(cell.i), cell.is_text ? "" : std::to_string(f.default_value))
        << c.name;
  }
  ASSERT_FALSE(def.keys.empty());
  EXPECT_EQ(def.keys[0].number, 0);
  EXPECT_EQ(tsSplitNames(record.KeyColumns(), ';'), def.keys[0].columns);
  EXPECT_EQ(Data::kRecordType, record.TableID());
}

TYPED_TEST(TableTest, EveryColumnRoundTripsThroughTheFile) {
  using Data = typename TypeParam::Data;
  using Cursor = typename TypeParam::Cursor;
  bktest::BankCompany company;
  const Data probe("");
  std::vector<tsioDataFile*> files;
  if (probe.FileCode() == "BKM") files = {company.bkm};
  if (probe.FileCode() == "BKT") files = {company.bkt, company.history};
  if (probe.FileCode() == "BKZ") files = {company.bkz};

  for (tsioDataFile* file : files) {
    SCOPED_TRACE(file->Spec().Name());
    const tsioRecordDef& def = Def(probe);
    Cursor writer(*file, "", 0);
    EXPECT_EQ(writer.TableDescription(), def.description);
    Fill(writer.m_Record, def);
    ASSERT_EQ(writer.Insert(), tsioStatus::kSuccess);

    Cursor reader(*file, "", 0);
    for (const auto& name : tsSplitNames(probe.KeyColumns(), ';')) {
      reader.m_Record.SetColumn(name, &writer.m_Record.GetColumn(name));
    }
    ASSERT_EQ(reader.FetchEQ(false), tsioStatus::kSuccess);
    ExpectSameValues(reader.m_Record, writer.m_Record, def);
  }
}

// The key class binds exactly the key, and a record made from a key holds
// the key's fields and a new record's others. Copies and moves of every
// record and key class carry every column (the generated member-by-member
// fast paths name every field), and the result binds its own fields.
TYPED_TEST(TableTest, KeysCopiesAndMovesCarryEveryColumn) {
  using Data = typename TypeParam::Data;
  using Key = typename TypeParam::Key;
  Data full("");
  const tsioRecordDef& def = Def(full);
  Fill(full, def);
  const Key key = KeyOf<Key>(full);
  EXPECT_EQ(BoundNames(key), tsSplitNames(full.KeyColumns(), ';'));
  EXPECT_EQ(key.KeyColumns(), full.KeyColumns());
  for (const auto& c : key.Columns()) EXPECT_EQ(c.field->Compare(*full.Find(c.name)), 0) << c.name;
  const Data from_key(key, "");
  const Data fresh("");
  for (const auto& c : from_key.Columns()) {
    const tsData& want = key.Find(c.name) ? *full.Find(c.name) : *fresh.Find(c.name);
    EXPECT_EQ(c.field->Compare(want), 0) << c.name;
  }
  auto own_fields = [](const ccRecData& r, size_t size) {
    const char* begin = reinterpret_cast<const char*>(&r);
    for (const auto& c : r.Columns()) {
      const char* at = reinterpret_cast<const char*>(c.field);
      if (at < begin || at >= begin + size) return false;
    }
    return true;
  };

  const Data copy(full);
  ExpectSameValues(copy, full, def);
  Data assigned("");
  assigned = full;
  ExpectSameValues(assigned, full, def);
  Data source(full);
  const Data moved(std::move(source));
  ExpectSameValues(moved, full, def);
  EXPECT_TRUE(own_fields(moved, sizeof(Data)));
  Data target("");
  Data source2(full);
  target = std::move(source2);
  ExpectSameValues(target, full, def);

  Key key_copy(key);
  const Key key_moved(std::move(key_copy));
  Key key_assigned = KeyOf<Key>(Data(""));
  key_assigned = key_moved;
  for (const auto& c : key_assigned.Columns()) EXPECT_EQ(c.field->Compare(*full.Find(c.name)), 0) << c.name;
  EXPECT_TRUE(own_fields(key_assigned, sizeof(Key)));
  EXPECT_TRUE(key_moved == full);
}

}  // namespace
