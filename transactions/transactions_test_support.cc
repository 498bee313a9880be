// For the tests of the transaction operations (see transactions_test_support.h).
#include "transactions/transactions_test_support.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "framework/batch/batch.h"
#include "framework/io/backend.h"
#include "framework/io/backup.h"
#include "framework/io/faults.h"
#include "records/messages.h"
#include "tests/support/test_support.h"

namespace txtest {

TxCompany::TxCompany() {
  tsioFileManager& fm = Program().FileManager();
  EXPECT_EQ(fm.Create(BKTHistoryFileSpec), tsioStatus::kSuccess);
  EXPECT_EQ(fm.Open(BKTHistoryFileSpec, &history_), tsioStatus::kSuccess);
  BankAccount bank(Bkm());
  bank.m_Record.SetBankAccount(tsAlpha(kBank));
  bank.m_Record.SetRegisterBalance(tsCurrency::FromText(kRegisterOpening));
  bank.m_Record.SetRegisterViewBalance(tsCurrency::FromText(kRegisterOpening));
  bank.m_Record.SetBankBalance(tsCurrency::FromText(kBankOpening));
  bank.m_Record.SetBankViewBalance(tsCurrency::FromText(kBankOpening));
  EXPECT_EQ(bank.Insert(), tsioStatus::kSuccess);
  UseBatch();
}

bkBatchPart& TxCompany::UseBatch(const char* host, const char* id) {
  zzBatch batch(host, tsAlpha(id), 2);
  // Its batch records are in the current transaction file.
  batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))->SetFileNumber(Bkt().FileNum());
  Program().SetBatch(batch);
  return Part();
}

bkBatchPart& TxCompany::Part() { return *dynamic_cast<bkBatchPart*>(Program().GetBatch().ApplPart("BK")); }

void Fill(TransactionData& r, int type, const char* amount, const std::string& description, int check) {
  r.SetBankAccount(tsAlpha(kBank));
  tclTSEnum<TransactionData::TranTypeEnum> kind;
  kind.SetValue(type);
  r.SetType(kind);
  r.SetDescription(tsAlpha(description));
  r.SetTransactionDate(vtest::OpenDate());
  r.SetAccountingDate(vtest::OpenDate());
  const tsCurrency a = tsCurrency::FromText(amount);
  const bool adds = type == 2 || (type != 1 && type != 3 && !(a < tsCurrency()));
  if (adds) {
    r.SetAddition(a);
  } else {
    r.SetSubtraction(a < tsCurrency() ? tsCurrency(-a) : a);
  }
  if (type == 1) r.SetCheck(tsDouble(check));
  if (type == 2) r.SetDepositID(tsAlpha("D-" + std::to_string(check)));
}

ccStatus<ccError::Level> Enter(bkProgram& program, Transaction& t, TranTotals* totals, tclRollbackStack& unit) {
  t.AttachRollbackStack(&unit);
  BankAccount bank(*program.File(BKMFileSpec));
  bank.AttachRollbackStack(&unit);
  ccStatus<ccError::Level> created = t.Create(program, totals, false);
  if (created.HasError()) return created;
  bank.m_Record.SetBankAccount(t.m_Record.GetBankAccount());
  tsioStatus::Status st = bank.FetchEQ(true);
  if (st != tsioStatus::kSuccess) return CannotActionRecordBecause("Lock", "Bank Account", st);
  const tsCurrency net = t.m_Record.GetAmount();
  const auto kind = static_cast<bkTranType>(t.m_Record.GetType().Value());
  (void)bank.ChangeOpenTotals(net, kind, TransactionData::kStateOpen, 0);
  (void)bank.ChangeUnreconciledTotals(net, kind, TransactionData::kStateOpen, TransactionData::kStateReconciled);
  bank.UpdateRegisterBalance(net, t.m_Record.GetRun());
  st = bank.Update();
  (void)bank.Unlock();
  if (st != tsioStatus::kSuccess) return CannotActionRecordBecause("Update", "Bank Account", st);
  return created;
}

std::string BankTotals::Text() const {
  std::ostringstream out;
  out << "register " << register_balance.Format() << " (view " << register_view.Format() << "), bank "
      << bank_balance.Format() << " (view " << bank_view.Format() << "); open";
  for (const auto& v : open) out << " " << v.Format();
  out << "; unreconciled";
  for (const auto& v : unreconciled) out << " " << v.Format();
  return out.str();
}

namespace {

// The stored columns of BankTotals, in the order Slots gives its members.
constexpr const char* kTotalColumns[16] = {"BRGBLNC", "BRGVBLN", "BNKBLNC", "BNKVBLN", "BOPNCHK", "BOPNDEP",
                                           "BOPNWDL", "BOPNAJM", "BOPNAJP", "BOPNALL", "BURCHK",  "BURDEP",
                                           "BURWDL",  "BURADJM", "BURADJP", "BURALL"};

std::array<tsCurrency*, 16> Slots(BankTotals& t) {
  std::array<tsCurrency*, 16> out{&t.register_balance, &t.register_view, &t.bank_balance, &t.bank_view};
  for (int i = 0; i < 6; ++i) {
    out[4 + i] = &t.open[i];
    out[10 + i] = &t.unreconciled[i];
  }
  return out;
}

tsCurrency& Column(BankAccountData& r, const char* name) {
  auto* field = dynamic_cast<tsCurrency*>(r.Find(name));
  if (field == nullptr) std::abort();  // the record layout changed under the tests
  return *field;
}

}  // namespace

BankTotals Stored(const tsioDataFile& bkm, const std::string& id) {
  BankAccount bank(bkm);
  bank.m_Record.SetBankAccount(tsAlpha(id));
  EXPECT_EQ(bank.FetchEQ(false), tsioStatus::kSuccess) << id;
  BankTotals t;
  const auto slots = Slots(t);
  for (int i = 0; i < 16; ++i) *slots[i] = Column(bank.m_Record, kTotalColumns[i]);
  return t;
}

namespace {

// Counts a transaction into one family of totals: checks, deposits,
// withdrawals, minus and plus adjustments as magnitudes, the net signed.
void Count(tsCurrency (&totals)[6], const TransactionData& t) {
  const tsCurrency net = t.GetAmount();
  switch (t.GetType().Value()) {
    case 1: totals[0] -= net; break;
    case 2: totals[1] += net; break;
    case 3: totals[2] -= net; break;
    case 4:
      if (net < tsCurrency()) {
        totals[3] -= net;
      } else {
        totals[4] += net;
      }
      break;
    default: return;  // a transaction of no kind counts nowhere
  }
  totals[5] += net;
}

}  // namespace

BankTotals FromScratch(const std::vector<const tsioDataFile*>& files, const std::string& bank,
                       const char* register_opening, const char* bank_opening) {
  BankTotals t;
  t.register_balance = tsCurrency::FromText(register_opening);
  t.bank_balance = tsCurrency::FromText(bank_opening);
  for (const tsioDataFile* file : files) {
    for (const TransactionData& r : Transactions(*file)) {
      if (!(r.GetBankAccount() == bank)) continue;
      t.register_balance += r.GetAmount();
      const int state = r.GetReconciled().Value();
      if (state == 2 || state == 3) t.bank_balance += r.GetClearedAmount();
      if (state == 1) Count(t.open, r);
      if (state != 3) Count(t.unreconciled, r);
    }
  }
  t.register_view = t.register_balance;
  t.bank_view = t.bank_balance;
  return t;
}

void StoreFromScratch(const tsioDataFile& bkm, const std::vector<const tsioDataFile*>& files,
                      const std::string& id) {
  const BankTotals t = FromScratch(files, id);
  BankAccount bank(bkm);
  bank.m_Record.SetBankAccount(tsAlpha(id));
  ASSERT_EQ(bank.FetchEQ(true), tsioStatus::kSuccess);
  BankTotals copy = t;
  const auto slots = Slots(copy);
  for (int i = 0; i < 16; ++i) Column(bank.m_Record, kTotalColumns[i]) = *slots[i];
  ASSERT_EQ(bank.Update(), tsioStatus::kSuccess);
  (void)bank.Unlock();
}

std::string DumpDatabase(const std::string& folder) {
  if (tsioIsServerAddress(folder)) {
    // A server company is dumped through its backup, a company folder's
    // database holding what the server had committed.
    bktest::TempDir copy;
    const tsioStatus::Status st = tsioBackupCompany(folder, copy.Sub("company.db"));
    if (st != tsioStatus::kSuccess) {
      ADD_FAILURE() << "cannot back up " << folder << ": status " << st;
      return "";
    }
    return DumpDatabase(copy.path());
  }
  sqlite3* db = nullptr;
  const std::string path = folder + "/company.db";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    ADD_FAILURE() << "cannot open " << path;
    return "";
  }
  std::vector<std::string> tables;
  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name", -1, &q, nullptr);
  while (sqlite3_step(q) == SQLITE_ROW) tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
  sqlite3_finalize(q);
  std::string out;
  for (const std::string& table : tables) {
    out += "== " + table + "\n";
    const std::string sql = "SELECT * FROM \"" + table + "\"";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db);
      continue;
    }
    // Rows in the table's own order: key order for the module's tables.
    std::vector<std::string> rows;
    while (sqlite3_step(q) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(q); ++c) {
        const int type = sqlite3_column_type(q, c);
        row += std::to_string(type) + ":";
        if (type == SQLITE_INTEGER) {
          row += std::to_string(sqlite3_column_int64(q, c));
        } else if (type == SQLITE_FLOAT) {
          double d = sqlite3_column_double(q, c);
          char bytes[sizeof d];
          std::memcpy(bytes, &d, sizeof d);
          row.append(bytes, sizeof d);
        } else if (type != SQLITE_NULL) {
          const void* p = type == SQLITE_BLOB ? sqlite3_column_blob(q, c) : sqlite3_column_text(q, c);
          row.append(static_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(q, c)));
        }
        row += "|";
      }
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(q);
    std::sort(rows.begin(), rows.end());
    for (const auto& r : rows) out += r + "\n";
  }
  sqlite3_close(db);
  return out;
}

std::vector<TransactionData> Transactions(const tsioDataFile& file) {
  std::vector<TransactionData> out;
  Transaction t(file);
  for (auto st = t.FetchFirst(false); st == tsioStatus::kSuccess; st = t.FetchNext(false)) out.push_back(t.m_Record);
  return out;
}

void ExpectStoredBatch(TxCompany& co, const char* id, long long count, const tsCurrency& amount) {
  zzBatch batch("AP", tsAlpha(id), 2);
  batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))->SetFileNumber(co.Bkt().FileNum());
  const tsioStatus::Status read = batch.ReadInfo("BK");
  ASSERT_TRUE(read == tsioStatus::kSuccess || (read == tsioStatus::kNotFound && count == 0)) << read;
  const auto* part = dynamic_cast<const bkBatchPart*>(batch.ApplPart("BK"));
  EXPECT_EQ(part->GetNumberOfTransPosted(), tsDouble(count));
  EXPECT_EQ(part->GetAmountOfTransPosted(), amount);
}

tsioStatus::Status FetchByKey(Transaction& t, const TransactionData& record, bool lock) {
  t.m_Record.SetBankAccount(record.GetBankAccount());
  t.m_Record.SetRun(record.GetRun());
  t.m_Record.SetSequence(record.GetSequence());
  return t.FetchEQ(lock);
}

const std::vector<FaultKind>& EveryFaultKind() {
  static const std::vector<FaultKind> kinds = {
      {tsioOp::kFetch, tsioStatus::kDamaged, "fetch (damaged)"},
      {tsioOp::kFetch, tsioStatus::kLocked, "fetch (locked)"},
      {tsioOp::kInsert, tsioStatus::kIOError, "insert"},
      {tsioOp::kUpdate, tsioStatus::kDiskFull, "update"},
      {tsioOp::kDelete, tsioStatus::kIOError, "delete"},
      {tsioOp::kLock, tsioStatus::kLocked, "lock"},
      {tsioOp::kHeaderRead, tsioStatus::kIOError, "header read"},
      {tsioOp::kHeaderWrite, tsioStatus::kIOError, "header write"},
      {tsioOp::kCommit, tsioStatus::kBusy, "commit"},
      {tsioOp::kAttachmentsRead, tsioStatus::kIOError, "attachments read"},
      {tsioOp::kAttachmentsWrite, tsioStatus::kDiskFull, "attachments write"},
  };
  return kinds;
}

}  // namespace txtest
