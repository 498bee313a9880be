// bk_company_dump: every transaction of a company (register and history),
// the detail records hanging under each, and the general ledger's lines,
// one JSON object per line, for the soak and crash drivers to check against
// what their programs reported.
//
//   bk_company_dump --company DIR
//
// Lines:
//   {"kind":"tran","file":"register"|"history","bank","run","seq","type",
//    "cents","desc","state","cleared_cents","cleared_date","batch","appl",
//    "posted","transfer","direction","check","deposit_id",
//    "items","item_lines","withdrawal_details"}
//   {"kind":"gl","file":"waiting"|"posted","run","seq","batch","appl",
//    "account","dc","cents"}
// Amounts are whole cents. Exit 0 when everything was read, 2 otherwise
// (with a message on the error stream).
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <tuple>

#include <nlohmann/json.hpp>

#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"
#include "deposits/withdrawal_detail.h"
#include "framework/base/application.h"
#include "framework/base/log.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/cursor.h"
#include "framework/io/file_manager.h"
#include "programs/bk_program.h"
#include "records/files.h"
#include "transactions/transaction.h"

namespace {

constexpr unsigned short kCommandId = 7199;

// Whole cents of a money value's text ("-1,234.5" -> -123450).
long long Cents(const std::string& formatted) {
  std::string text;
  for (char c : formatted) {
    if (c != ',') text += c;
  }
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.erase(0, 1);
  const size_t dot = text.find('.');
  const long long whole = std::atoll(text.substr(0, dot).c_str());
  const std::string frac = dot == std::string::npos ? "00" : (text.substr(dot + 1) + "00").substr(0, 2);
  const long long cents = whole * 100 + std::atoll(frac.c_str());
  return negative ? -cents : cents;
}

long long Whole(const tsDouble& d) { return std::atoll(d.Format().c_str()); }

using Key = std::tuple<std::string, long long, long long>;  // bank, run, sequence

struct Details {
  int items = 0, item_lines = 0, withdrawal_details = 0;
};

// Counts the records of detail type C under each transaction key.
template <typename C>
bool CountDetails(const tsioDataFile& file, const char* bank_col, const char* run_col, const char* seq_col,
                  std::map<Key, Details>* out, int Details::*field) {
  C cursor(file);
  tsioStatus::Status st = cursor.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = cursor.FetchNext(false)) {
    tsAlpha bank;
    tsDouble run, seq;
    (void)cursor.GetColumnData(bank_col, bank);
    (void)cursor.GetColumnData(run_col, run);
    (void)cursor.GetColumnData(seq_col, seq);
    ++((*out)[Key{bank.str(), Whole(run), Whole(seq)}].*field);
  }
  if (st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound) return true;
  std::cerr << "bk_company_dump: cannot read the details of " << file.Spec().Name() << " ("
            << ccIOStatusStr(st) << ")\n";
  return false;
}

bool DumpTransactions(const tsioDataFile& file, const char* name) {
  std::map<Key, Details> details;
  if (!CountDetails<DepositItem>(file, "DIBNKAC", "DIRUN", "DISEQ", &details, &Details::items) ||
      !CountDetails<DepositItemDetail>(file, "DIGBNKA", "DIGRUN", "DIGSEQ", &details, &Details::item_lines) ||
      !CountDetails<WithdrawalDetail>(file, "WDBNKAC", "WDRUN", "WDSEQ", &details, &Details::withdrawal_details)) {
    return false;
  }
  Transaction t(file);
  tsioStatus::Status st = t.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = t.FetchNext(false)) {
    const TransactionData& r = t.m_Record;
    const Key key{r.GetBankAccount().str(), Whole(r.GetRun()), Whole(r.GetSequence())};
    const auto found = details.find(key);
    const Details d = found == details.end() ? Details{} : found->second;
    if (found != details.end()) details.erase(found);
    nlohmann::json j = {{"kind", "tran"},
                        {"file", name},
                        {"bank", std::get<0>(key)},
                        {"run", std::get<1>(key)},
                        {"seq", std::get<2>(key)},
                        {"type", r.GetType().Value()},
                        {"cents", Cents(r.GetAmount().Format())},
                        {"desc", r.GetDescription().str()},
                        {"state", r.GetReconciled().Value()},
                        {"cleared_cents", Cents(r.GetClearedAmount().Format())},
                        {"cleared_date", r.GetClearedDate().Ymd()},
                        {"batch", r.GetBatch().str()},
                        {"appl", r.GetApplOfOrigin().str()},
                        {"posted", static_cast<bool>(r.GetPosted())},
                        {"transfer", Whole(r.GetTransferSequence())},
                        {"direction", r.GetTransferDirection().Value()},
                        {"check", Whole(r.GetCheck())},
                        {"deposit_id", r.GetDepositID().str()},
                        {"items", d.items},
                        {"item_lines", d.item_lines},
                        {"withdrawal_details", d.withdrawal_details}};
    std::cout << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  }
  if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
    std::cerr << "bk_company_dump: cannot read the transactions of " << name << " (" << ccIOStatusStr(st) << ")\n";
    return false;
  }
  // Details whose transaction is not in the file: reported as orphans.
  for (const auto& [key, d] : details) {
    nlohmann::json j = {{"kind", "orphan"},          {"file", name},
                        {"bank", std::get<0>(key)},  {"run", std::get<1>(key)},
                        {"seq", std::get<2>(key)},   {"items", d.items},
                        {"item_lines", d.item_lines}, {"withdrawal_details", d.withdrawal_details}};
    std::cout << j.dump() << "\n";
  }
  return true;
}

bool DumpLedger(tsioFileManager& files, const tsioFileSpec& spec, const char* name) {
  tsioDataFile* glt = nullptr;
  const tsioStatus::Status opened = files.Open(spec, &glt);
  if (opened == tsioStatus::kFileDoesNotExist) return true;  // no general ledger yet
  if (opened != tsioStatus::kSuccess) {
    std::cerr << "bk_company_dump: cannot open the general ledger's " << name << " lines ("
              << ccIOStatusStr(opened) << ")\n";
    return false;
  }
  tsGLTransactionRec r;
  tsioCursor cur(r, *glt, r.TableID(), 0);
  tsioStatus::Status st = cur.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = cur.FetchNext(false)) {
    nlohmann::json j = {{"kind", "gl"},          {"file", name},
                        {"run", Whole(r.run)},    {"seq", Whole(r.sequence)},
                        {"batch", r.batch.str()}, {"appl", r.appl_of_origin.str()},
                        {"account", r.account.str()}, {"dc", r.debit_credit.Value()},
                        {"cents", Cents(r.amount.Format())}};
    std::cout << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  }
  if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
    std::cerr << "bk_company_dump: cannot read the general ledger's " << name << " lines (" << ccIOStatusStr(st)
              << ")\n";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != "--company") {
    std::cerr << "usage: bk_company_dump --company DIR\n";
    return 1;
  }
  x_log_set_stderr_fallback(false);
  TSGetApp()->SetApplicationID("BK");
  TSGetApp()->SetCompanyFolder(argv[2]);
  bkProgram program(kCommandId);
  tsioFileManager& files = program.FileManager();
  tsioDataFile* bkt = nullptr;
  tsioDataFile* history = nullptr;
  tsioStatus::Status st = files.Open(BKTFileSpec, &bkt);
  if (st == tsioStatus::kSuccess) st = files.Open(BKTHistoryFileSpec, &history);
  if (st != tsioStatus::kSuccess) {
    std::cerr << "bk_company_dump: cannot open the company in " << argv[2] << " (" << ccIOStatusStr(st) << ")\n";
    return 2;
  }
  bool ok = DumpTransactions(*bkt, "register") && DumpTransactions(*history, "history");
  tsRegisterLedgerFiles();
  ok = ok && DumpLedger(files, tsGLTFileSpec(), "waiting") && DumpLedger(files, tsGLTFileSpec2(), "posted");
  std::cout.flush();
  return ok && std::cout.good() ? 0 : 2;
}
