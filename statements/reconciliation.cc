// Finishing and undoing reconciliations.
#include "statements/reconciliation.h"

#include "accounts/bank_account.h"
#include "balances/reconcile_in_progress.h"
#include "framework/io/rollback_stack.h"
#include "statements/statement_cursors.h"
#include "transactions/transaction.h"

namespace {

ccError Refusal(const std::string& text) { return ccError(0, ccError::kError, text); }

struct Item {
  const tsioDataFile* file;
  tsDouble run, sequence;
  int type;
  tsCurrency net, cleared;
};

constexpr const char kColumns[] = "TBNKACC;TRUN;TSEQ;TRANTYP;TSUBTR;TADD;TRECOND;TRECAMT;TRECDT;TSTMTDT";

// The account's transactions on statement `on` (the empty date: on none),
// in state `state`, cleared on or before `through` (empty: any date).
tsioStatus::Status Collect(const tsioDataFile& file, const tsAlpha& bank, const tsDate& on, int state,
                           const tsDate& through, std::vector<Item>* items) {
  Transaction t(file, kColumns, 2);
  t.Initialize();
  t.m_Record.SetBankAccount(bank);
  t.m_Record.SetStatementDate(on);
  tsioStatus::Status st = t.FetchGE(false);
  while (st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == bank && t.m_Record.GetStatementDate() == on) {
    const TransactionData& r = t.m_Record;
    if (r.GetReconciled().Value() == state && (through.IsEmpty() || !(r.GetClearedDate() > through))) {
      items->push_back(Item{&file, r.GetRun(), r.GetSequence(), r.GetType().Value(), r.GetAmount(), r.GetClearedAmount()});
    }
    st = t.FetchNext(false);
  }
  return st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound ? tsioStatus::kSuccess : st;
}

// The totals by kind of the reconciliation in progress's rules (magnitudes;
// adjustments by their sign), and the net total.
void Totals(const std::vector<Item>& items, bkReconcileSummary* s) {
  s->checks = s->deposits = s->withdrawals = s->adjusts_minus = s->adjusts_plus = tsCurrency();
  for (const auto& i : items) {
    switch (i.type) {
      case 1: s->checks -= i.net; break;
      case 2: s->deposits += i.net; break;
      case 3: s->withdrawals -= i.net; break;
      case 4:
        if (i.net < tsCurrency()) {
          s->adjusts_minus -= i.net;
        } else {
          s->adjusts_plus += i.net;
        }
        break;
      default: break;
    }
  }
  s->total = (s->deposits + s->adjusts_plus) - (s->checks + s->withdrawals + s->adjusts_minus);
  s->count = static_cast<long>(items.size());
}

// Sets the reconciliation state (and statement date) of every item, in
// `unit`: each read again by its key with its lock, and checked to be as it
// was collected (state `from`, the same cleared amount); one that is not
// sets `*changed` to its name and nothing more is done.
tsioStatus::Status SetState(const std::vector<Item>& items, const tsAlpha& bank, int from, int state,
                            const tsDate& on, tclRollbackStack& unit, std::string* changed) {
  for (const auto& i : items) {
    Transaction t(*i.file);
    t.AttachRollbackStack(&unit);
    t.m_Record.SetBankAccount(bank);
    t.m_Record.SetRun(i.run);
    t.m_Record.SetSequence(i.sequence);
    tsioStatus::Status st = t.FetchEQ(true);
    if (st != tsioStatus::kSuccess) return st;
    if (t.m_Record.GetReconciled().Value() != from || !(t.m_Record.GetClearedAmount() == i.cleared)) {
      (void)t.Unlock();
      *changed = "run " + i.run.Format() + ", sequence " + i.sequence.Format();
      return tsioStatus::kSuccess;
    }
    t.m_Record.SetReconciled(tsChoice(state));
    t.m_Record.SetStatementDate(on);
    st = t.Update();
    (void)t.Unlock();
    if (st != tsioStatus::kSuccess) return st;
  }
  return tsioStatus::kSuccess;
}

// How Finish and Undo answer: a refusal when the request cannot be done as
// the files stand (`refused`), or a failure to read or write them (`locked`
// when another program holds a record); either is one error line.
struct Answer {
  explicit Answer(bkReconcileSummary* summary) : s(summary) { *s = bkReconcileSummary(); }

  ccStatus<ccError::Level> Refuse(const std::string& text) {
    s->refused = true;
    return status.Add(Refusal(text));
  }
  ccStatus<ccError::Level> Fail(const std::string& what, tsioStatus::Status st) {
    s->locked = st == tsioStatus::kLocked;
    return status.Add(Refusal(what + " (" + ccIOStatusStr(st) + ")"));
  }
  // Reads the bank account into `account`, attached to `unit`; false, with
  // the refusal or failure added, when it cannot.
  // The account is locked (to the unit's end) before anything else is
  // read, so what is collected under it stays as read: clearing, entering
  // and importing take the same lock.
  bool FetchBank(BankAccount& account, const tsAlpha& bank, tclRollbackStack& unit) {
    account.AttachRollbackStack(&unit);
    account.m_Record.SetBankAccount(bank);
    const tsioStatus::Status st = account.FetchEQ(true);
    if (st == tsioStatus::kNotFound) {
      (void)Refuse("no bank account '" + bank.str() + "'");
    } else if (st != tsioStatus::kSuccess) {
      (void)Fail("the bank account cannot be locked", st);
    }
    return st == tsioStatus::kSuccess;
  }

  bkReconcileSummary* s;
  ccStatus<ccError::Level> status{ccError::kNone};
};

// Releases the bank account's lock however Finish or Undo ends.
struct AccountRelease {
  BankAccount& account;
  ~AccountRelease() { (void)account.Unlock(); }
};

}  // namespace

bkReconciler::bkReconciler(const tsioDataFile& master, std::vector<const tsioDataFile*> files,
                           const tsioDataFile& statements)
    : master_(master), files_(std::move(files)), statements_(statements) {}

ccStatus<ccError::Level> bkReconciler::Finish(const tsAlpha& bank, bool given, const tsDate& date,
                                              const tsCurrency& ending, bkReconcileSummary* s) {
  Answer answer(s);
  tclRollbackStack unit;
  BankAccount account(master_);
  if (!answer.FetchBank(account, bank, unit)) return answer.status;
  const AccountRelease release{account};

  ReconcileInProgress rip(master_);
  rip.AttachRollbackStack(&unit);
  rip.m_Record.SetBankAccount(bank);
  tsioStatus::Status st = rip.FetchEQ(false);
  const bool in_progress = st == tsioStatus::kSuccess;
  if (!in_progress && st != tsioStatus::kNotFound) return answer.Fail("the reconciliation in progress cannot be read", st);
  if (!in_progress && !given) {
    return answer.Refuse("no reconciliation is in progress: give the statement date and ending balance");
  }
  s->statement_date = in_progress ? rip.m_Record.GetStatementDate() : date;
  s->ending_balance = in_progress ? tsCurrency(rip.m_Record.GetEndingBalance()) : ending;
  if (in_progress && given && (!(date == s->statement_date) || !(ending == s->ending_balance))) {
    return answer.Refuse("the reconciliation in progress is of the statement of " + s->statement_date.Format() +
                  " ending at " + s->ending_balance.Format());
  }
  const tsDate last = account.m_Record.GetLastReconciledDate();
  if (!last.IsEmpty() && !(s->statement_date > last)) {
    return answer.Refuse("the statement of " + s->statement_date.Format() + " is not after the last reconciliation (" +
                  last.Format() + ")");
  }

  std::vector<Item> items;
  for (const tsioDataFile* f : files_) {
    st = Collect(*f, bank, tsDate(), TransactionData::kStateCleared, s->statement_date, &items);
    if (st != tsioStatus::kSuccess) return answer.Fail("the register cannot be read", st);
  }
  s->previous_balance = account.m_Record.GetLastReconciledBalance();
  s->cleared_balance = s->previous_balance;
  for (const auto& i : items) {
    if (!(i.cleared == i.net)) {
      (void)answer.Refuse("run " + i.run.Format() + ", sequence " + i.sequence.Format() + " was cleared at " + i.cleared.Format() +
             " but its amount is " + i.net.Format() + "; correct it first");
    }
    s->cleared_balance += i.net;
  }
  Totals(items, s);
  if (answer.status.HasError()) return answer.status;
  if (!(s->cleared_balance == s->ending_balance)) {
    return answer.Refuse("the cleared balance " + s->cleared_balance.Format() + " differs from the statement's ending balance " +
                  s->ending_balance.Format() + " by " + tsCurrency(s->ending_balance - s->cleared_balance).Format());
  }

  // The reconciliation, as one unit.
  std::string changed;
  st = SetState(items, bank, TransactionData::kStateCleared, TransactionData::kStateReconciled, s->statement_date, unit,
                &changed);
  if (st == tsioStatus::kSuccess && !changed.empty()) {
    return answer.Refuse(changed + " changed while the reconciliation was being recorded; nothing was reconciled");
  }
  if (st == tsioStatus::kSuccess) {
    for (const auto& i : items) {
      (void)account.ChangeUnreconciledTotals(i.net, static_cast<bkTranType>(i.type), TransactionData::kStateReconciled,
                                             TransactionData::kStateCleared);
    }
    account.m_Record.SetLastReconciledBalance(s->ending_balance);
    account.m_Record.SetLastReconciledDate(s->statement_date);
    st = account.Update();
  }
  Reconciliation record(statements_);
  record.AttachRollbackStack(&unit);
  if (st == tsioStatus::kSuccess) {
    record.Initialize();
    ReconciliationData& r = record.m_Record;
    r.SetBankAccount(bank);
    r.SetStatementDate(s->statement_date);
    r.SetEndingBalance(s->ending_balance);
    r.SetPreviousBalance(s->previous_balance);
    r.SetPreviousDate(last);
    r.SetCount(tsDouble(s->count, 0));
    r.SetReconciledChecks(s->checks);
    r.SetReconciledDeposits(s->deposits);
    r.SetReconciledWithdrawals(s->withdrawals);
    r.SetReconciledAdjustsMinus(s->adjusts_minus);
    r.SetReconciledAdjustsPlus(s->adjusts_plus);
    r.SetReconciledTotal(s->total);
    r.SetHadInProgress(tsBool(in_progress));
    if (in_progress) {
      const ReconcileInProgressData& p = rip.m_Record;
      r.SetInProgressOpening(p.GetOpeningBalance());
      r.SetInProgressEnding(p.GetEndingBalance());
      r.SetInProgressDate(p.GetStatementDate());
      r.SetInProgressChecks(p.GetReconciledChecks());
      r.SetInProgressDeposits(p.GetReconciledDeposits());
      r.SetInProgressWithdrawals(p.GetReconciledWithdrawals());
      r.SetInProgressAdjustsMinus(p.GetReconciledAdjustsMinus());
      r.SetInProgressAdjustsPlus(p.GetReconciledAdjustsPlus());
      r.SetInProgressTotal(p.GetReconciledTotal());
    }
    st = record.Insert();
  }
  if (st == tsioStatus::kSuccess && in_progress) {
    st = rip.FetchEQ(true);
    if (st == tsioStatus::kSuccess) st = rip.Delete();
  }
  if (st == tsioStatus::kSuccess) st = unit.Commit();
  (void)account.Unlock();
  if (st != tsioStatus::kSuccess) {
    (void)unit.Rollback();
    return answer.Fail("the reconciliation could not be recorded", st);
  }
  return answer.status;
}

ccStatus<ccError::Level> bkReconciler::Undo(const tsAlpha& bank, bkReconcileSummary* s) {
  Answer answer(s);
  tclRollbackStack unit;
  BankAccount account(master_);
  if (!answer.FetchBank(account, bank, unit)) return answer.status;
  const AccountRelease release{account};
  const tsDate last = account.m_Record.GetLastReconciledDate();
  if (last.IsEmpty()) return answer.Refuse("bank account '" + bank.str() + "' has no reconciliation to undo");

  Reconciliation record(statements_);
  record.AttachRollbackStack(&unit);
  record.m_Record.SetBankAccount(bank);
  record.m_Record.SetStatementDate(last);
  tsioStatus::Status st = record.FetchEQ(false);
  if (st == tsioStatus::kNotFound) {
    return answer.Refuse("the reconciliation of " + last.Format() + " has no record to undo it from");
  }
  if (st != tsioStatus::kSuccess) return answer.Fail("the reconciliation's record cannot be read", st);
  ReconcileInProgress rip(master_);
  rip.AttachRollbackStack(&unit);
  rip.m_Record.SetBankAccount(bank);
  st = rip.FetchEQ(false);
  if (st == tsioStatus::kSuccess) {
    return answer.Refuse("the reconciliation of the statement of " + rip.m_Record.GetStatementDate().Format() +
                  " is in progress; the last one cannot be undone under it");
  }
  if (st != tsioStatus::kNotFound) return answer.Fail("the reconciliation in progress cannot be read", st);

  std::vector<Item> items;
  for (const tsioDataFile* f : files_) {
    st = Collect(*f, bank, last, TransactionData::kStateReconciled, tsDate(), &items);
    if (st != tsioStatus::kSuccess) return answer.Fail("the register cannot be read", st);
  }
  const ReconciliationData r = record.m_Record;
  s->statement_date = last;
  s->ending_balance = r.GetEndingBalance();
  s->previous_balance = r.GetPreviousBalance();
  Totals(items, s);

  std::string changed;
  st = SetState(items, bank, TransactionData::kStateReconciled, TransactionData::kStateCleared, tsDate(), unit, &changed);
  if (st == tsioStatus::kSuccess && !changed.empty()) {
    return answer.Refuse(changed + " changed while the reconciliation was being undone; nothing was undone");
  }
  if (st == tsioStatus::kSuccess) {
    for (const auto& i : items) {
      (void)account.ChangeUnreconciledTotals(i.net, static_cast<bkTranType>(i.type), TransactionData::kStateCleared,
                                             TransactionData::kStateReconciled);
    }
    account.m_Record.SetLastReconciledBalance(r.GetPreviousBalance());
    account.m_Record.SetLastReconciledDate(r.GetPreviousDate());
    st = account.Update();
  }
  if (st == tsioStatus::kSuccess && r.GetHadInProgress().Value()) {
    rip.Initialize();
    ReconcileInProgressData& p = rip.m_Record;
    p.SetBankAccount(bank);
    p.SetOpeningBalance(r.GetInProgressOpening());
    p.SetEndingBalance(r.GetInProgressEnding());
    p.SetStatementDate(r.GetInProgressDate());
    p.SetReconciledChecks(r.GetInProgressChecks());
    p.SetReconciledDeposits(r.GetInProgressDeposits());
    p.SetReconciledWithdrawals(r.GetInProgressWithdrawals());
    p.SetReconciledAdjustsMinus(r.GetInProgressAdjustsMinus());
    p.SetReconciledAdjustsPlus(r.GetInProgressAdjustsPlus());
    p.SetReconciledTotal(r.GetInProgressTotal());
    st = rip.Insert();
  }
  if (st == tsioStatus::kSuccess) st = record.FetchEQ(true);
  if (st == tsioStatus::kSuccess) st = record.Delete();
  if (st == tsioStatus::kSuccess) st = unit.Commit();
  (void)account.Unlock();
  if (st != tsioStatus::kSuccess) {
    (void)unit.Rollback();
    return answer.Fail("the reconciliation could not be undone", st);
  }
  return answer.status;
}
