// For the tests of the transaction operations (see transactions_test_support.h).
#include "transactions/transactions_test_support.h"

#include <sqlite3.h>

#include <cstdlib>

#include "framework/batch/batch.h"
#include "framework/io/backend.h"
#include "framework/io/backup.h"
#include "records/messages.h"

namespace txtest {

TxCompany::TxCompany() {
  tsioFileManager& fm = Program().FileManager();
  EXPECT_EQ(fm.Create(BKTHistoryFileSpec), tsioStatus::kSuccess);
  EXPECT_EQ(fm.Open(BKTHistoryFileSpec, &history_), tsioStatus::kSuccess);
  bkdetailtest::Put<BankAccount>(Bkm(), std::string("BANKACC=") + kBank + ";BRGBLNC=" + kRegisterOpening + ";BRGVBLN=" +
                                            kRegisterOpening + ";BNKBLNC=" + kBankOpening + ";BNKVBLN=" + kBankOpening);
  // Batch B1 of AP (source 2), whose batch records are in the current
  // transaction file.
  zzBatch batch("AP", tsAlpha("B1"), 2);
  batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))->SetFileNumber(Bkt().FileNum());
  Program().SetBatch(batch);
}

bkBatchPart& TxCompany::Part() { return *dynamic_cast<bkBatchPart*>(Program().GetBatch().ApplPart("BK")); }

void Fill(TransactionData& r, int type, const char* amount, const std::string& description, int check) {
  const tsCurrency a = tsCurrency::FromText(amount);
  const bool adds = type == 2 || (type != 1 && type != 3 && !(a < tsCurrency()));
  const std::string number = std::to_string(check);
  EXPECT_TRUE(bkdetailtest::Set(
      r, std::string("TBNKACC=") + kBank + ";TRANTYP=" + std::to_string(type) + ";TDESC=" + description +
             ";TTRANDT=" + vtest::OpenDate().Format() + ";TACTGDT=" + vtest::OpenDate().Format() +
             (adds ? ";TADD=" : ";TSUBTR=") + (amount[0] == '-' ? amount + 1 : amount) +
             (type == 1 ? ";TCHECK=" + number : type == 2 ? ";TDEPID=D-" + number : "")));
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

namespace {

// The stored totals' columns: balances and views, then the open and the
// unreconciled totals of checks, deposits, withdrawals, minus and plus
// adjustments and the net.
constexpr const char* kTotalColumns[16] = {"BRGBLNC", "BRGVBLN", "BNKBLNC", "BNKVBLN", "BOPNCHK", "BOPNDEP",
                                           "BOPNWDL", "BOPNAJM", "BOPNAJP", "BOPNALL", "BURCHK",  "BURDEP",
                                           "BURWDL",  "BURADJM", "BURADJP", "BURALL"};

tsCurrency& Column(BankAccountData& r, const char* name) {
  auto* field = dynamic_cast<tsCurrency*>(r.Find(name));
  if (field == nullptr) std::abort();  // the record layout changed under the tests
  return *field;
}

std::string Text(BankAccountData& r) {
  std::string out;
  for (const char* column : kTotalColumns) out += std::string(column) + "=" + Column(r, column).Format() + ";";
  return out;
}

// Counts a transaction into the totals of columns `family` (the checks' one
// first): checks, deposits, withdrawals, minus and plus adjustments as
// magnitudes, the net signed.
void Count(BankAccountData& r, const char* const* family, const TransactionData& t) {
  const tsCurrency net = t.GetAmount();
  const int type = t.GetType().Value();
  if (type < 1 || type > 4) return;  // a transaction of no kind counts nowhere
  const int slot = type < 4 ? type - 1 : net < tsCurrency() ? 3 : 4;
  Column(r, family[slot]) += slot == 1 || slot == 4 ? net : tsCurrency(-net);
  Column(r, family[5]) += net;
}

// Sets the totals of `r` from scratch over kBank's transactions in `files`.
void Compute(BankAccountData& r, const std::vector<const tsioDataFile*>& files) {
  for (const char* column : kTotalColumns) Column(r, column) = tsCurrency();
  Column(r, "BRGBLNC") = tsCurrency::FromText(kRegisterOpening);
  Column(r, "BNKBLNC") = tsCurrency::FromText(kBankOpening);
  for (const tsioDataFile* file : files) {
    for (const TransactionData& t : Transactions(*file)) {
      if (!(t.GetBankAccount() == kBank)) continue;
      Column(r, "BRGBLNC") += t.GetAmount();
      const int state = t.GetReconciled().Value();
      if (state == 2 || state == 3) Column(r, "BNKBLNC") += t.GetClearedAmount();
      if (state == 1) Count(r, kTotalColumns + 4, t);
      if (state != 3) Count(r, kTotalColumns + 10, t);
    }
  }
  Column(r, "BRGVBLN") = Column(r, "BRGBLNC");
  Column(r, "BNKVBLN") = Column(r, "BNKBLNC");
}

}  // namespace

std::string Stored(const tsioDataFile& bkm) {
  BankAccount bank(bkm);
  bank.m_Record.SetBankAccount(tsAlpha(kBank));
  EXPECT_EQ(bank.FetchEQ(false), tsioStatus::kSuccess);
  return Text(bank.m_Record);
}

std::string FromScratch(const std::vector<const tsioDataFile*>& files) {
  BankAccountData r;
  Compute(r, files);
  return Text(r);
}

void StoreFromScratch(const tsioDataFile& bkm, const std::vector<const tsioDataFile*>& files) {
  BankAccount bank(bkm);
  bank.m_Record.SetBankAccount(tsAlpha(kBank));
  ASSERT_EQ(bank.FetchEQ(true), tsioStatus::kSuccess);
  Compute(bank.m_Record, files);
  ASSERT_EQ(bank.Update(), tsioStatus::kSuccess);
  (void)bank.Unlock();
}

std::string DumpDatabase(const std::string& folder) {
  if (tsioIsServerAddress(folder)) {
    // A server company is dumped through its backup, a company folder's
    // database holding what the server had committed.
    bktest::TempDir copy;
    const tsioStatus::Status st = tsioBackupCompany(folder, copy.Sub("company.db"));
    EXPECT_EQ(st, tsioStatus::kSuccess) << "cannot back up " << folder;
    return st == tsioStatus::kSuccess ? DumpDatabase(copy.path()) : "";
  }
  sqlite3* db = nullptr;
  const std::string path = folder + "/company.db";
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK) << "cannot open " << path;
  // The values of every row `sql` answers, row by row.
  auto values = [db](const std::string& sql) {
    std::vector<std::string> out;
    const auto keep = +[](void* to, int n, char** row, char**) {
      for (int c = 0; c < n; ++c) static_cast<std::vector<std::string>*>(to)->emplace_back(row[c]);
      return 0;
    };
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), keep, &out, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    return out;
  };
  // Each table's name and a query of its rows in order, every value quoted
  // exactly (its storage type shows, a float has as many digits as it takes
  // to read back the same number).
  const std::vector<std::string> tables = values(
      "SELECT m.name, 'SELECT ' || group_concat('quote(\"' || p.name || '\")', ' || ''|'' || ') || ' AS r FROM \"' || "
      "m.name || '\" ORDER BY r' FROM sqlite_master m, pragma_table_info(m.name) p WHERE m.type = 'table' "
      "GROUP BY m.name ORDER BY m.name");
  std::string out;
  for (size_t t = 0; t + 1 < tables.size(); t += 2) {
    out += "== " + tables[t] + "\n";
    for (const std::string& row : values(tables[t + 1])) out += row + "\n";
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

namespace {

// Counts the records of cursor class C in `file` into `counts` by the "run/seq"
// of their transaction (columns `run` and `seq`), under `kind` (with the
// value of column `by` when given).
template <typename C>
void CountDetails(std::map<std::string, std::map<std::string, int>>& counts, const tsioDataFile& file,
                  const char* kind, const char* run, const char* seq, const char* by = nullptr) {
  C cursor(file);
  for (auto st = cursor.FetchFirst(false); st == tsioStatus::kSuccess; st = cursor.FetchNext(false)) {
    auto& r = cursor.m_Record;
    ++counts[r.Find(run)->Format() + "/" + r.Find(seq)->Format()][kind + (by ? r.Find(by)->Format() : "")];
  }
}

}  // namespace

std::string DetailText(const std::map<std::string, int>& counts) {
  std::string out;
  for (const auto& [kind, n] : counts) out += (out.empty() ? "" : " ") + kind + "x" + std::to_string(n);
  return out;
}

std::map<std::string, std::string> Details(const tsioDataFile& file) {
  std::map<std::string, std::map<std::string, int>> counts;
  CountDetails<CashDetail>(counts, file, "CD", "CDTRUN", "CDTSEQ");
  CountDetails<DepositItem>(counts, file, "DI", "DIRUN", "DISEQ");
  CountDetails<DepositItemDetail>(counts, file, "DIG", "DIGRUN", "DIGSEQ", "DIGLINO");
  CountDetails<TaxGLDetail>(counts, file, "TG", "TGRUN", "TGSEQ");
  CountDetails<TaxDetail>(counts, file, "TX", "TXRUN", "TXSEQ");
  CountDetails<WithdrawalDetail>(counts, file, "WD", "WDRUN", "WDSEQ");
  std::map<std::string, std::string> out;
  for (const auto& [key, kinds] : counts) out[key] = DetailText(kinds);
  return out;
}

std::string Counts(const bkBatchPart& part) {
  return part.GetNumberOfTransPosted().Format() + " " + part.GetAmountOfTransPosted().Format();
}

std::string StoredBatch(TxCompany& co, const char* id) {
  zzBatch batch("AP", tsAlpha(id), 2);
  batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))->SetFileNumber(co.Bkt().FileNum());
  const tsioStatus::Status read = batch.ReadInfo("BK");
  if (read == tsioStatus::kNotFound) return "0 " + tsCurrency().Format();
  EXPECT_EQ(read, tsioStatus::kSuccess);
  return Counts(*dynamic_cast<const bkBatchPart*>(batch.ApplPart("BK")));
}

tsioStatus::Status FetchByKey(Transaction& t, const TransactionData& record, bool lock) {
  if (&t.m_Record != &record) t.m_Record = record;
  return t.FetchEQ(lock);
}

}  // namespace txtest
