// Changing an unposted transaction in place (edit.h).
#include <algorithm>
#include <iostream>

#include "accounts/bank_account.h"
#include "batches/bk_batch_part.h"
#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"
#include "deposits/withdrawal_detail.h"
#include "duplicates/bk_verify_duplicates.h"
#include "framework/batch/batch.h"
#include "framework/io/rollback_stack.h"
#include "records/relations.h"
#include "tools/bkreg/edit.h"
#include "tools/bkreg/ledger_entry.h"
#include "tools/bkreg/module_work.h"
#include "tools/bkreg/tran_access.h"
#include "transactions/transaction.h"

namespace bkreg {

namespace {

// The distribution lines of the transaction `t` holds: a deposit's item
// lines (with their item's payer), a withdrawal's details.
tsioStatus::Status ReadLines(Transaction& t, std::vector<DetailLine>* lines) {
  lines->clear();
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (t.m_Record.GetType().Value() == 3) {
    WithdrawalDetail d(t.File());
    for (st = d.FetchFirstOf(*t.CursorPtr(), TransactionWithdrawalDetailsRel, false); st == tsioStatus::kSuccess;
         st = d.FetchNextOf(*t.CursorPtr(), TransactionWithdrawalDetailsRel, false)) {
      lines->push_back({d.m_Record.GetDebitAccount().str(), d.m_Record.GetAmount(), 1, ""});
    }
  } else if (t.m_Record.GetType().Value() == 2) {
    std::map<long long, std::string> payers;
    DepositItem item(t.File());
    for (st = item.FetchFirstOf(*t.CursorPtr(), TransactionDepositItemsRel, false); st == tsioStatus::kSuccess;
         st = item.FetchNextOf(*t.CursorPtr(), TransactionDepositItemsRel, false)) {
      payers[item.m_Record.GetDepositItemNumber().ToLongLong()] = item.m_Record.GetPayersName().str();
    }
    if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) return st;
    DepositItemDetail d(t.File());
    for (st = d.FetchFirstOf(*t.CursorPtr(), TransactionDepositItemDetailsRel, false); st == tsioStatus::kSuccess;
         st = d.FetchNextOf(*t.CursorPtr(), TransactionDepositItemDetailsRel, false)) {
      const long long n = d.m_Record.GetDepositItemNumber().ToLongLong();
      lines->push_back({d.m_Record.GetCreditAccount().str(), d.m_Record.GetAmount(), static_cast<long>(n), payers[n]});
    }
  }
  return st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound ? tsioStatus::kSuccess : st;
}

std::string LinesText(const std::vector<DetailLine>& lines) {
  std::vector<std::string> parts;
  for (const DetailLine& l : lines) {
    parts.push_back(l.account + "=" + tsCurrency(l.amount).Format() + "@" + std::to_string(l.item));
  }
  std::sort(parts.begin(), parts.end());
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "; ") + p;
  return out;
}

bool MoneyIn(const TransactionData& t) { return t.GetType().Value() == 2 || (t.GetType().Value() == 4 && t.GetSubtraction().IsNull()); }

TranSnapshot SnapshotOf(const TransactionData& t, const std::vector<DetailLine>& lines) {
  const bool in = MoneyIn(t);
  TranSnapshot s;
  s["date"] = t.GetTransactionDate().Format();
  s["amount"] = t.GetAmount().Format();
  s["check"] = t.GetType().Value() == 1 ? t.GetCheck().Format() : "";
  s["payee"] = t.GetPayee().str();
  s["deposit_id"] = t.GetDepositID().str();
  s["description"] = t.GetDescription().str();
  s["account"] = (in ? t.GetCreditAccount() : t.GetDebitAccount()).str();
  s["cash_account"] = (in ? t.GetDebitAccount() : t.GetCreditAccount()).str();
  s["state"] = std::to_string(t.GetReconciled().Value());
  s["lines"] = LinesText(lines);
  return s;
}

// Reads the transaction by its key from the register: kDone, or the exit
// status after a message (posted ones are refused).
int Find(ModuleWork& w, Transaction& t, const TranRef& r, bool lock, std::ostream& err) {
  SetTranKey(t, r);
  const tsioStatus::Status st = t.FetchEQ(lock);
  if (st == tsioStatus::kSuccess) return kDone;
  if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) {
    Transaction h(w.History(), "TBNKACC;TRUN;TSEQ", 0);
    SetTranKey(h, r);
    if (h.FetchEQ(false) == tsioStatus::kSuccess) {
      err << "bkreg: transaction " << TranName(r) << " is posted; a posted transaction cannot be changed\n";
      return kRefused;
    }
    err << "bkreg: no transaction " << TranName(r) << " in the register (another program may have removed it)\n";
    return kRefused;
  }
  if (st == tsioStatus::kLocked) {
    err << "bkreg: transaction " << TranName(r) << " is in use by another program; try again later\n";
    return kBusy;
  }
  err << "bkreg: cannot read transaction " << TranName(r) << " (" << Context::StatusWords(st) << ")\n";
  return kFailed;
}

}  // namespace

int ReadForEdit(Context& ctx, const TranRef& r, TransactionData* data, TranSnapshot* snapshot,
                std::vector<DetailLine>* lines) {
  ModuleWork w(ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  Transaction t(w.Register());
  if (int rc = Find(w, t, r, false, ctx.err); rc != kDone) return rc;
  if (tsioStatus::Status st = ReadLines(t, lines); st != tsioStatus::kSuccess) {
    return ctx.IoFailure("cannot read the lines of transaction " + TranName(r), st);
  }
  *data = t.m_Record;
  *snapshot = SnapshotOf(t.m_Record, *lines);
  return kDone;
}

int EditTransaction(Context& ctx, const TranRef& r, const Entry& e, const TranSnapshot& was,
                    std::vector<std::string>* changed) {
  changed->clear();
  ModuleWork w(ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  if (int rc = w.CheckBankFree(r.bank, ctx.err); rc != kDone) return rc;
  if (!EnterPrepareLedger(w.Program(), ctx.err)) return kFailed;
  Transaction t(w.Register());
  if (int rc = Find(w, t, r, false, ctx.err); rc != kDone) return rc;
  if (!t.m_Record.GetTransferSequence().IsNull()) {
    return ctx.Refuse("transaction " + TranName(r) + " is one side of a transfer; a transfer is not changed by halves");
  }
  if (t.m_Record.GetType().Value() != e.type || t.m_Record.GetBankAccount() != tsAlpha(e.bank)) {
    return ctx.Refuse("the type and bank account of a transaction stay; remove it and enter it again instead");
  }
  // The cash side (what sends it to the general ledger): a transaction that
  // had one keeps one, and while the interface is on the new version must
  // satisfy the general ledger as an entry does.
  tsioStatus::Status io = tsioStatus::kSuccess;
  const bool had_cash = HasCashSide(w.Register(), t.m_Record, &io);
  if (io != tsioStatus::kSuccess) return ctx.IoFailure("cannot read the cash side of transaction " + TranName(r), io);
  const bool to_ledger = had_cash || LedgerInterfaceOn();
  std::string cash_account = e.cash_account;
  {
    BankAccount b(w.Master(), "", 0);
    b.m_Record.SetBankAccount(tsAlpha(r.bank));
    if (cash_account.empty() && b.FetchEQ(false) == tsioStatus::kSuccess) {
      cash_account = b.m_Record.GetMiscCashAccount().str();
    }
  }
  if (LedgerInterfaceOn()) {
    const LedgerSides sides{e.type, e.date, cash_account, e.account, e.lines, false};
    if (int rc = CheckLedgerEntry(ctx, w.Program(), sides); rc != kDone) return rc;
  }
  UseBatchOf(w, t.m_Record);

  tclRollbackStack unit;
  t.AttachRollbackStack(&unit);
  BankAccount bank(w.Master());
  bank.AttachRollbackStack(&unit);
  bank.m_Record.SetBankAccount(tsAlpha(r.bank));
  if (tsioStatus::Status st = ctx.Waiting([&] { return bank.FetchEQ(true); }); st != tsioStatus::kSuccess) {
    return ctx.IoFailure("bank account '" + r.bank + "' is in use", st);
  }
  auto give_up = [&](int rc) {
    (void)unit.Rollback();
    w.Program().GetBatch().Rollback();
    (void)t.Unlock();
    (void)bank.Unlock();
    return rc;
  };
  if (int rc = Find(w, t, r, true, ctx.err); rc != kDone) return give_up(rc);
  std::vector<DetailLine> old_lines;
  if (tsioStatus::Status st = ReadLines(t, &old_lines); st != tsioStatus::kSuccess) {
    return give_up(ctx.IoFailure("cannot read the lines of transaction " + TranName(r), st));
  }
  const TranSnapshot now = SnapshotOf(t.m_Record, old_lines);
  for (const auto& [field, value] : now) {
    auto it = was.find(field);
    if (it != was.end() && it->second != value) {
      changed->push_back(field + ": '" + it->second + "' when the form was made, now '" + value + "'");
    }
  }
  if (!changed->empty()) {
    ctx.err << "bkreg: another program changed transaction " << TranName(r) << " meanwhile; nothing was changed\n";
    for (const std::string& c : *changed) ctx.err << c << "\n";
    return give_up(kRefused);
  }
  const TransactionData old = t.m_Record;
  const tsCurrency old_net = old.GetAmount();
  const bkTranType kind = static_cast<bkTranType>(old.GetType().Value());
  const unsigned short state = static_cast<unsigned short>(old.GetReconciled().Value());
  const tsDouble run = old.GetRun(), sequence = old.GetSequence();

  tsioStatus::Status st = unit.EnsureBegun(w.Register().Company());
  if (st == tsioStatus::kSuccess) st = DeleteDetails<DepositItemDetail>(t, TransactionDepositItemDetailsRel, unit);
  if (st == tsioStatus::kSuccess) st = DeleteDetails<DepositItem>(t, TransactionDepositItemsRel, unit);
  if (st == tsioStatus::kSuccess) st = DeleteDetails<WithdrawalDetail>(t, TransactionWithdrawalDetailsRel, unit);
  if (st == tsioStatus::kSuccess && had_cash) st = RemoveCashSide(w.Register(), w.Master(), t.m_Record, unit);
  if (st != tsioStatus::kSuccess) {
    return give_up(ctx.IoFailure("the details of " + old.MessageText() + " could not be removed", st));
  }
  ccStatus<ccError::Level> removed = t.Remove(w.Program(), nullptr);
  if (removed.HasError()) {
    ctx.PrintErrors(removed.Errors());
    return give_up(ctx.Fail(old.MessageText() + " was not changed"));
  }
  (void)bank.ChangeOpenTotals(old_net, kind, 0, state);
  (void)bank.ChangeUnreconciledTotals(old_net, kind, 3, state);
  bank.UpdateRegisterBalance(tsCurrency(-old_net), run);

  // The duplicate check, with the old version gone: the transaction itself
  // never counts as its own duplicate.
  if ((e.type == 1) || (e.type == 2 && !e.deposit_id.empty())) {
    DuplicateCheck duplicates;
    int status = kDone;
    Session* session = ctx.Open(&status);
    if (session == nullptr) return give_up(status);
    if (int rc = duplicates.Open(ctx, *session); rc != kDone) return give_up(rc);
    ccStatus<ccError::Level> found(ccError::kNone);
    const tsAlpha key(e.bank);
    if (e.type == 1) {
      found = duplicates.Verifier().checkExists(key, tsDouble(e.check, 0), &key, &run, &sequence);
    } else {
      found = duplicates.Verifier().depositExists(key, e.date, tsAlpha(e.deposit_id), &key, &run, &sequence);
    }
    if (found.Value() != ccError::kNone) {
      ctx.PrintErrors(found.Errors());
      if (found.MaxLevel() >= ccError::kFatal) return give_up(ctx.Fail("duplicates could not be looked for; nothing was changed"));
      if (duplicates.Verifier().LastFoundIn() == bkVerifyDuplicates::FoundIn::kPendingDeposits) {
        return give_up(ctx.Refuse("not changed; a pending deposit holds that deposit id until it is entered itself"));
      }
      if (!e.allow_duplicate) return give_up(ctx.Refuse("not changed; to change it anyway, allow the duplicate"));
    }
  }

  // The new version: the old record with the new values.
  Transaction n(w.Register());
  n.AttachRollbackStack(&unit);
  n.m_Record = old;
  TransactionData& d = n.m_Record;
  d.SetTransactionDate(e.date);
  d.SetAccountingDate(e.date);
  d.SetDescription(tsAlpha(e.description));
  const bool in = e.type == 2 || (e.type == 4 && !(e.amount < tsCurrency()));
  d.SetAddition(tsCurrency());
  d.SetSubtraction(tsCurrency());
  if (in) {
    d.SetAddition(e.amount);
  } else {
    d.SetSubtraction(e.type == 4 ? tsCurrency(-e.amount) : e.amount);
  }
  if (e.type == 1) {
    d.SetCheck(tsDouble(e.check, 0));
    d.SetPayee(tsAlpha(e.payee));
  }
  if (e.type == 2) {
    d.SetDepositDate(e.date);
    d.SetDepositID(tsAlpha(e.deposit_id));
  }
  const tsAlpha offset(e.account), cash(cash_account);
  d.SetDebitAccount(in ? cash : offset);
  d.SetCreditAccount(in ? offset : cash);
  if (!e.lines.empty()) {
    st = WriteDetails(n, run, sequence, e.lines, unit);
    if (st != tsioStatus::kSuccess) {
      return give_up(ctx.IoFailure("the lines of the " + d.MessageText() + " could not be saved", st));
    }
  }
  const ccStatus<ccError::Level> valid = n.Validate(w.Program());
  if (!valid.Errors().Empty()) ctx.PrintErrors(valid.Errors());
  if (valid.HasError()) return give_up(ctx.Refuse("the " + d.MessageText() + " was not changed"));
  st = n.Insert();
  if (st != tsioStatus::kSuccess) return give_up(ctx.IoFailure("the " + d.MessageText() + " could not be saved", st));
  const ccStatus<ccError::Level> counted = d.UpdateBatchInfo(w.Program().GetBatch(), false);
  if (counted.HasError()) {
    ctx.PrintErrors(counted.Errors());
    return give_up(ctx.Busy("the batch of the " + d.MessageText() + " is in use by another program; nothing was changed"));
  }
  if (to_ledger) {
    st = RecordCashSide(w.Program(), w.Register(), w.Master(), d, cash_account, unit);
    if (st != tsioStatus::kSuccess) {
      return give_up(ctx.IoFailure("the cash side of the " + d.MessageText() + " could not be saved", st));
    }
  }
  const tsCurrency net = d.GetAmount();
  (void)bank.ChangeOpenTotals(net, kind, 1, 0);
  (void)bank.ChangeUnreconciledTotals(net, kind, 1, 3);
  bank.UpdateRegisterBalance(net, run);
  st = bank.SetBuffer();
  if (st == tsioStatus::kSuccess) st = bank.Update();
  if (st == tsioStatus::kSuccess) st = unit.Commit();
  if (st != tsioStatus::kSuccess) return give_up(ctx.IoFailure("the " + d.MessageText() + " could not be saved", st));
  (void)t.Unlock();
  (void)bank.Unlock();
  PrintDone(ctx.out, ctx.format,
            "Changed " + d.MessageText() + " (run " + run.Format() + ", sequence " + sequence.Format() + ")",
            Table{{"Bank", "Type", "Run", "Sequence", "Date", "Number", "Amount"},
                  {false, false, true, true, false, false, true},
                  {{d.GetBankAccount().str(), d.TranTypeFullDescription(), run.Format(), sequence.Format(),
                    d.GetTransactionDate().Format(),
                    d.GetType().Value() == 1 ? d.GetCheck().Format() : d.GetDepositID().str(),
                    d.GetAmount().Format()}}});
  return kDone;
}

}  // namespace bkreg
