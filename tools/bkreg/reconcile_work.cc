// Reconciling one bank account item by item (reconcile_work.h).
#include "tools/bkreg/reconcile_work.h"

#include <algorithm>
#include <ostream>
#include <set>

#include "accounts/bank_account.h"
#include "balances/reconcile_in_progress.h"
#include "framework/io/file_manager.h"
#include "framework/io/rollback_stack.h"
#include "records/files.h"
#include "statements/statement_cursors.h"
#include "statements/statement_reader.h"
#include "tools/bkreg/tran_access.h"
#include "transactions/transaction.h"

namespace bkreg {

namespace {

int ReadFailed(tsioStatus::Status st, const std::string& what, std::ostream& err) {
  if (st == tsioStatus::kLocked || st == tsioStatus::kBusy) {
    err << "bkreg: " << what << " is in use by another program; try again later\n";
    return kBusy;
  }
  err << "bkreg: cannot read " << what << " (" << ccIOStatusStr(st) << ")\n";
  return kFailed;
}

bool Ended(tsioStatus::Status st) { return st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound; }

// Calls `each(record, posted)` for every transaction of `bank` on no
// statement yet (index 2: bank, empty statement date), in the register and
// in history, reading `columns`.
template <typename Each>
tsioStatus::Status EachUnreconciled(ModuleWork& w, const std::string& bank, const char* columns, Each each) {
  for (const tsioDataFile* file : {&w.History(), &w.Register()}) {
    Transaction t(*file, columns, 2);
    t.Initialize();
    t.m_Record.SetBankAccount(tsAlpha(bank));
    t.m_Record.SetStatementDate(tsDate());
    tsioStatus::Status st = t.FetchGE(false);
    for (; st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == bank &&
           t.m_Record.GetStatementDate().IsEmpty();
         st = t.FetchNext(false)) {
      each(t.m_Record, file == &w.History());
    }
    if (st != tsioStatus::kSuccess && !Ended(st)) return st;
  }
  return tsioStatus::kSuccess;
}

// The statement files (history and BKS), created on first use.
bool OpenStatementFiles(ModuleWork& w, tsioDataFile** statements, std::ostream& err) {
  tsioFileManager& fm = w.Program().FileManager();
  tsioStatus::Status st = fm.Create(BKSFileSpec);
  if (st == tsioStatus::kSuccess) st = fm.Open(BKSFileSpec, statements);
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: the company's statement file cannot be opened (" << ccIOStatusStr(st) << ")\n";
    return false;
  }
  return true;
}

}  // namespace

int ReadReconcileFigures(ModuleWork& w, const std::string& bank, ReconcileFigures* f, std::ostream& err) {
  *f = ReconcileFigures();
  ReconcileInProgress rip(w.Master());
  rip.m_Record.SetBankAccount(tsAlpha(bank));
  const tsioStatus::Status st = rip.FetchEQ(false);
  if (Ended(st)) return kDone;
  if (st != tsioStatus::kSuccess) return ReadFailed(st, "the reconciliation of " + bank, err);
  f->in_progress = true;
  f->statement_date = rip.m_Record.GetStatementDate();
  f->opening = rip.m_Record.GetOpeningBalance();
  f->ending = rip.m_Record.GetEndingBalance();
  const tsioStatus::Status walked =
      EachUnreconciled(w, bank, "TBNKACC;TSTMTDT;TRUN;TSEQ;TRECOND;TRECAMT;TRECDT",
                       [&](const TransactionData& r, bool) {
                         if (r.GetReconciled().Value() != TransactionData::kStateCleared) return;
                         if (f->statement_date < r.GetClearedDate()) return;
                         const tsCurrency& amount = r.GetClearedAmount();
                         if (amount < tsCurrency()) {
                           f->payments -= amount;
                         } else {
                           f->deposits += amount;
                         }
                         ++f->count;
                       });
  if (walked != tsioStatus::kSuccess) return ReadFailed(walked, "the transactions of " + bank, err);
  f->cleared = f->deposits - f->payments;
  f->difference = f->ending - (f->opening + f->cleared);
  return kDone;
}

int ListOutstanding(ModuleWork& w, const std::string& bank, size_t limit, std::vector<OutstandingItem>* items,
                    size_t* more, std::ostream& err) {
  items->clear();
  *more = 0;
  const tsioStatus::Status st = EachUnreconciled(
      w, bank, "TBNKACC;TSTMTDT;TRUN;TSEQ;TRANTYP;TDESC;TCPAYEE;TTRANDT;TSUBTR;TADD;TCHECK;TRECOND;TCURREC;TRECDT",
      [&](const TransactionData& r, bool posted) {
        const int state = r.GetReconciled().Value();
        if (state != TransactionData::kStateOpen && state != TransactionData::kStateCleared) return;
        OutstandingItem i;
        i.posted = posted;
        i.run = r.GetRun().ToLongLong();
        i.sequence = r.GetSequence().ToLongLong();
        i.type = r.GetType().Value();
        i.date = r.GetTransactionDate();
        i.check = r.GetCheck().ToLongLong();
        i.text = r.GetDescription().str();
        if (i.text.empty()) i.text = r.GetPayee().str();
        i.amount = r.GetAmount();
        i.state = state;
        i.marked = r.GetReconcileInProgress().Value() == 3;
        i.cleared_date = r.GetClearedDate();
        items->push_back(std::move(i));
      });
  if (st != tsioStatus::kSuccess) return ReadFailed(st, "the transactions of " + bank, err);
  std::sort(items->begin(), items->end(), [](const OutstandingItem& a, const OutstandingItem& b) {
    if (a.state != b.state) return a.state < b.state;
    if (a.date != b.date) return a.date < b.date;
    if (a.run != b.run) return a.run < b.run;
    return a.sequence < b.sequence;
  });
  if (items->size() > limit) {
    *more = items->size() - limit;
    items->resize(limit);
  }
  return kDone;
}

int TickTransaction(Context& ctx, ModuleWork& w, const TranRef& ref, std::ostream& err) {
  if (int rc = w.CheckBankFree(ref.bank, err); rc != kDone) return rc;
  ReconcileInProgress rip(w.Master());
  rip.m_Record.SetBankAccount(tsAlpha(ref.bank));
  tsioStatus::Status st = rip.FetchEQ(false);
  if (Ended(st)) {
    err << "bkreg: no reconciliation of " << ref.bank << " is in progress (reconcile start " << ref.bank
        << " --date D --ending-balance X)\n";
    return kRefused;
  }
  if (st != tsioStatus::kSuccess) return ReadFailed(st, "the reconciliation of " + ref.bank, err);
  const tsDate statement_date = rip.m_Record.GetStatementDate();

  tclRollbackStack unit;
  BankAccount bank(w.Master());
  bank.AttachRollbackStack(&unit);
  // The account is held from before the transaction is read until the unit
  // commits: a program clearing in it meanwhile waits for us, or we for it.
  bank.m_Record.SetBankAccount(tsAlpha(ref.bank));
  if ((st = ctx.Waiting([&] { return bank.FetchEQ(true); })) != tsioStatus::kSuccess) {
    return ReadFailed(st, "bank account '" + ref.bank + "'", err);
  }
  auto give_up = [&](int rc) {
    (void)unit.Rollback();
    (void)bank.Unlock();
    return rc;
  };
  // Posted transactions are in history; one still in the register is handed
  // to the clearing all the same, which refuses it in its words (2004).
  Transaction h(w.History());
  Transaction r(w.Register());
  Transaction* t = &h;
  SetTranKey(h, ref);
  st = h.FetchEQ(false);
  if (st == tsioStatus::kNotFound) {
    SetTranKey(r, ref);
    st = r.FetchEQ(false);
    t = &r;
  }
  if (Ended(st)) {
    err << "bkreg: no transaction " << TranName(ref) << "\n";
    return give_up(kRefused);
  }
  if (st != tsioStatus::kSuccess) return give_up(ReadFailed(st, "transaction " + TranName(ref), err));
  t->AttachRollbackStack(&unit);
  const int state = t->m_Record.GetReconciled().Value();
  if (state != TransactionData::kStateOpen) {
    err << "bkreg: transaction " << TranName(ref) << " is "
        << (state == TransactionData::kStateCleared ? "cleared already" : "reconciled") << "\n";
    return give_up(kRefused);
  }
  const tsCurrency net = t->m_Record.GetAmount();
  ccStatus<ccError::Level> cleared = t->clearTransaction(net, statement_date, &bank, t->m_Record.GetRun(), nullptr);
  PrintMessages(cleared.Errors(), err);
  if (cleared.HasError()) {
    bool not_posted = false, locked = false;
    for (const auto& e : cleared.Errors()) {
      not_posted = not_posted || e.Number() == 2004;
      locked = locked || e.Text().find("(9)") != std::string::npos || e.Text().find("locked") != std::string::npos;
    }
    err << "bkreg: transaction " << TranName(ref) << " was not cleared"
        << (not_posted ? ": it is not posted; post its batch first" : "") << "\n";
    return give_up(not_posted ? kRefused : locked ? kBusy : kFailed);
  }
  // Marked into the reconciliation in progress, its totals with it.
  st = unit.EnsureBegun(w.Register().Company());
  if (st == tsioStatus::kSuccess) st = t->FetchEQ(true);
  tsChoice old_mark;
  if (st == tsioStatus::kSuccess) {
    old_mark = t->m_Record.GetReconcileInProgress();
    t->m_Record.SetReconcileInProgress(tsChoice(3));
    st = t->Update();
    if (st == tsioStatus::kSuccess) st = t->UnlockAtUnitEnd();
  }
  ReconcileInProgress marks(w.Master());
  marks.AttachRollbackStack(&unit);
  marks.m_Record.SetBankAccount(tsAlpha(ref.bank));
  if (st == tsioStatus::kSuccess) st = marks.FetchEQ(true);
  if (st == tsioStatus::kSuccess) {
    marks.AdjustRIPTotals(t->m_Record.GetType(), net, tsDouble(0, 2), tsChoice(3), old_mark, !(net < tsCurrency()));
    st = marks.Update();
    if (st == tsioStatus::kSuccess) st = marks.UnlockAtUnitEnd();
  }
  if (st == tsioStatus::kSuccess) st = unit.Commit();
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: transaction " << TranName(ref) << " was not cleared (" << ccIOStatusStr(st) << ")\n";
    return give_up(st == tsioStatus::kLocked || st == tsioStatus::kBusy ? kBusy : kFailed);
  }
  (void)bank.Unlock();
  return kDone;
}

int ListReconciliations(ModuleWork& w, const std::string& bank, size_t limit,
                        std::vector<ReconciliationEntry>* entries, std::ostream& err) {
  entries->clear();
  tsioDataFile* statements = nullptr;
  if (!OpenStatementFiles(w, &statements, err)) return kFailed;
  // Forward in statement-date order (one record a statement: few), then
  // newest first.
  Reconciliation rec(*statements);
  rec.Initialize();
  rec.m_Record.SetBankAccount(tsAlpha(bank));
  tsioStatus::Status st = rec.FetchGE(false);
  for (; st == tsioStatus::kSuccess && rec.m_Record.GetBankAccount() == bank; st = rec.FetchNext(false)) {
    const ReconciliationData& r = rec.m_Record;
    ReconciliationEntry e;
    e.statement_date = r.GetStatementDate();
    e.ending = r.GetEndingBalance();
    e.previous = r.GetPreviousBalance();
    e.count = static_cast<long>(r.GetCount().ToLongLong());
    e.deposits = r.GetReconciledDeposits() + r.GetReconciledAdjustsPlus();
    e.payments = r.GetReconciledChecks() + r.GetReconciledWithdrawals() + r.GetReconciledAdjustsMinus();
    entries->push_back(e);
  }
  std::reverse(entries->begin(), entries->end());
  if (entries->size() > limit) entries->resize(limit);
  if (st != tsioStatus::kSuccess && !Ended(st)) return ReadFailed(st, "the reconciliations of " + bank, err);
  return kDone;
}

bool ReadStatementFile(const std::string& path, const std::string& name, std::string format,
                       const std::string& mapping, bkStatement* statement, std::string* error) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  format = lower(format);
  if (format.empty()) {
    const std::string n = lower(name);
    const size_t dot = n.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : n.substr(dot + 1);
    format = ext == "csv" ? "csv" : (ext == "ofx" || ext == "qfx") ? "ofx" : "";
  }
  if (format == "ofx" || format == "qfx") return bkReadOfxStatement(path, statement, error);
  if (format == "csv") {
    bkCsvMapping m;
    return m.ParseText(mapping, error) && bkReadCsvStatement(path, m, statement, error);
  }
  *error = "which format is " + name + "? (OFX/QFX or CSV)";
  return false;
}

int ApplyStatement(ModuleWork& w, const std::string& bank, const bkStatement& statement,
                   const bkStatementImportOptions& given, const std::vector<std::string>& only,
                   std::vector<bkLineResult>* lines, std::ostream& err) {
  tsioDataFile* statements = nullptr;
  if (!OpenStatementFiles(w, &statements, err)) return kFailed;
  if (int rc = w.CheckBankFree(bank, err); rc != kDone) return rc;
  // Just the lines asked for: the statement's date, balance and account
  // as they are, so the import checks them as for the whole statement.
  const bkStatement* applied = &statement;
  bkStatement part;
  if (!only.empty()) {
    const std::set<std::string> wanted(only.begin(), only.end());
    part.start = statement.start;
    part.end = statement.end;
    part.ending_balance = statement.ending_balance;
    part.has_ending_balance = statement.has_ending_balance;
    part.account = statement.account;
    part.bank_id = statement.bank_id;
    for (const bkStatementLine& line : statement.lines) {
      if (wanted.count(line.id) != 0) part.lines.push_back(line);
    }
    applied = &part;
  }
  bkStatementImportOptions options = given;
  options.on_line = [lines](const bkLineResult& r) { lines->push_back(r); };
  bkStatementImporter importer(w.Program(), w.Master(), w.Register(), w.History(), *statements);
  bkStatementImportResult result;
  const ccStatus<ccError::Level> done = importer.Import(tsAlpha(bank), *applied, options, &result);
  if (!done.HasError()) return kDone;
  for (const auto& e : done.Errors()) err << "bkreg: " << e.DisplayText() << "\n";
  if (result.no_account_number) {
    err << "bkreg: the statement is of account " << statement.account << "; once you have checked that it is "
        << bank << "'s, record the bank's account number (bkreg bank edit " << bank << " --account-number "
        << statement.account << ")\n";
  }
  return result.locked ? kBusy : result.refused ? kRefused : kFailed;
}

}  // namespace bkreg
