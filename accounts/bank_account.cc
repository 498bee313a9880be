// BankAccount: the operations of the bank-account cursor: open,
// unreconciled and interest totals, balances, transfer kinds and the
// edit-register lock.
#include <optional>

#include "accounts/bank_account.h"

#include "framework/base/log.h"
#include "locking/register_transaction_run_lock.h"

namespace {

// The six totals of one family (open or unreconciled) of a record.
struct Totals {
  tsCurrency checks, deposits, withdrawals, minus, plus;
};

// Moves one transaction's change into a family of totals (see
// BankAccount::ChangeOpenTotals). `open` chooses the family: the open totals
// count a transaction while its status is 1, the unreconciled ones while it
// is not 3. Answers nothing when no total is to be touched (the net total is
// then not recomputed either).
std::optional<tsDouble> ApplyChange(Totals& t, bool open, const tsDouble& amount, bkTranType kind, unsigned short new_status,
                     unsigned short old_status, BankAccountTotalsTranType* which, const tsDouble* old_amount) {
  const unsigned short pivot = open ? 1 : 3;
  auto counted = [open](unsigned short s) { return open ? s == 1 : s != 3; };
  const tsDouble zero(0, 2);
  const bool has_old = old_amount != nullptr;
  const tsDouble old = has_old ? *old_amount : amount;
  const bool sign_change = has_old && ((amount > zero && old < zero) || (amount < zero && old > zero));
  const bool amount_changed = has_old && old != amount;
  const bool status_changed = new_status != old_status && (new_status == pivot || old_status == pivot);
  const bool zero_after_negative = has_old && amount == zero && old < zero;
  const bool adjustment = kind == kTranAdjustment;
  // A sign change moves an adjustment between its plus and minus totals; for
  // the other kinds it is an amount change like any other.
  const bool moves_between = sign_change && adjustment;

  tsDouble change = zero;
  if (!status_changed) {
    // Neither entering nor leaving the counted state: only an amount change
    // of a counted transaction moves the totals.
    if (!amount_changed || !counted(new_status)) return std::nullopt;
    change = moves_between ? amount : amount - old;
  } else if (counted(old_status)) {  // leaving the counted state
    change = moves_between ? zero : -(amount_changed ? old : amount);
  } else {  // entering it
    change = amount;
  }
  const bool old_was_counted = !status_changed || counted(old_status);
  switch (kind) {
    case kTranCheck:
      change = -change;
      t.checks += tsCurrency(change);
      if (which) *which = kTotalsChecks;
      break;
    case kTranDeposit:
      t.deposits += tsCurrency(change);
      if (which) *which = kTotalsDeposits;
      break;
    case kTranWithdrawal:
      change = -change;
      t.withdrawals += tsCurrency(change);
      if (which) *which = kTotalsWithdrawals;
      break;
    case kTranAdjustment:
      if (amount >= zero && !zero_after_negative) {
        if (moves_between && old_was_counted) t.minus += tsCurrency(old);
        t.plus += tsCurrency(change);
        if (which) *which = kTotalsPlusAdjustments;
      } else {
        if (moves_between && old_was_counted) t.plus -= tsCurrency(old);
        change = -change;
        t.minus += tsCurrency(change);
        if (which) *which = kTotalsMinusAdjustments;
      }
      break;
    default:
      break;
  }
  return change;
}

}  // namespace

BankAccount::BankAccount(const tsioDataFile& file, const CString& columns, short index)
    : bkCursor(file, BankAccountData::kRecordType, columns, index) {}

BankAccount::~BankAccount() = default;

tsDouble BankAccount::ChangeOpenTotals(const tsDouble& amount, const bkTranType& kind, const unsigned short& new_status,
                                       const unsigned short& old_status, BankAccountTotalsTranType* which,
                                       const tsDouble* old_amount) {
  BankAccountData& r = m_Record;
  Totals t{r.GetOpenChecks(), r.GetOpenDeposits(), r.GetOpenWithdrawals(), r.GetOpenAdjustmentsMinus(),
           r.GetOpenAdjustmentsPlus()};
  std::optional<tsDouble> change = ApplyChange(t, true, amount, kind, new_status, old_status, which, old_amount);
  if (!change) return tsDouble(0, 2);
  r.SetOpenChecks(t.checks);
  r.SetOpenDeposits(t.deposits);
  r.SetOpenWithdrawals(t.withdrawals);
  r.SetOpenAdjustmentsMinus(t.minus);
  r.SetOpenAdjustmentsPlus(t.plus);
  r.SetOpenTransactions((t.deposits + t.plus) - (t.checks + t.withdrawals + t.minus));
  return *change;
}

tsDouble BankAccount::ChangeUnreconciledTotals(const tsDouble& amount, const bkTranType& kind,
                                               const unsigned short& new_status, const unsigned short& old_status,
                                               BankAccountTotalsTranType* which, const tsDouble* old_amount) {
  BankAccountData& r = m_Record;
  Totals t{r.GetUnreconciledChecks(), r.GetUnreconciledDeposits(), r.GetUnreconciledWithdrawals(),
           r.GetUnreconciledAdjustsMinus(), r.GetUnreconciledAdjustsPlus()};
  std::optional<tsDouble> change = ApplyChange(t, false, amount, kind, new_status, old_status, which, old_amount);
  if (!change) return tsDouble(0, 2);
  r.SetUnreconciledChecks(t.checks);
  r.SetUnreconciledDeposits(t.deposits);
  r.SetUnreconciledWithdrawals(t.withdrawals);
  r.SetUnreconciledAdjustsMinus(t.minus);
  r.SetUnreconciledAdjustsPlus(t.plus);
  r.SetUnreconciledTransactions((t.deposits + t.plus) - (t.checks + t.withdrawals + t.minus));
  return *change;
}

void BankAccount::ChangeInterestTotals(const tsDouble& amount, const tsDate& date, const tsDate& reference,
                                       BankAccountData::InterestYearEnum* which) {
  const tsDate p = reference.Offset(-24, 1);
  const tsDate q = reference.Offset(-12, 1);
  const tsDate s = reference.Offset(0, 1);
  const tsDate t = reference.Offset(12, 0);
  if (which) *which = BankAccountData::InterestYearEnum::kNoYear;
  tsCurrency value(amount);
  if (date < p) return;
  if (date < q) {
    m_Record.SetLastYearsInterest(m_Record.GetLastYearsInterest() + value);
    if (which) *which = BankAccountData::InterestYearEnum::kLastYear;
  } else if (date < s) {
    m_Record.SetYearToDateInterest(m_Record.GetYearToDateInterest() + value);
    if (which) *which = BankAccountData::InterestYearEnum::kThisYear;
  } else if (date > t) {
    return;
  } else {
    m_Record.SetNextYearsInterest(m_Record.GetNextYearsInterest() + value);
    if (which) *which = BankAccountData::InterestYearEnum::kNextYear;
  }
}

bool BankAccount::ChangeBankBalance(const tsDouble& new_amount, const tsDouble& old_amount, const tsChoice&,
                                    const tsDouble& run, bkRegisterTransactionRunLock* lock) {
  tsDouble difference = new_amount - old_amount;
  difference.SetDecimals(2);
  UpdateBankBalance(tsCurrency(difference), run, lock);
  return !difference;
}

void BankAccount::UpdateBankBalance(const tsCurrency& amount, const tsDouble& run, bkRegisterTransactionRunLock* lock) {
  if (!amount) return;
  m_Record.SetBankBalance(m_Record.GetBankBalance() + amount);
  if (ViewFollows(run, lock)) m_Record.SetBankViewBalance(m_Record.GetBankViewBalance() + amount);
}

void BankAccount::UpdateRegisterBalance(const tsCurrency& amount, const tsDouble& run,
                                        bkRegisterTransactionRunLock* lock) {
  if (!amount) return;
  m_Record.SetRegisterBalance(m_Record.GetRegisterBalance() + amount);
  if (ViewFollows(run, lock)) m_Record.SetRegisterViewBalance(m_Record.GetRegisterViewBalance() + amount);
}

bool BankAccount::ViewFollows(const tsDouble& run, bkRegisterTransactionRunLock* lock) {
  if (!lock) return true;
  ccStatus<ccError::Level> locked = isEditRegisterLocked();
  if (locked.Value() >= ccError::kError) {
    // Whether an editor holds the bank cannot be told: the view balance is
    // left as for a bank nobody edits, and the failure is logged rather than
    // lost (the balance operations report nothing themselves).
    for (const ccError& e : locked.Errors()) x_log(e.GetLevel(), e.Text());
    return false;
  }
  return locked.Value() == ccError::kWarning && lock->TransactionRunExcluded(m_Record.GetBankAccount(), run);
}

bkTranType BankAccount::GetTransferSourceType() const {
  return m_Record.GetTransferType().Value() == 1 ? kTranWithdrawal : kTranAdjustment;
}

bkTranType BankAccount::GetTransferDestinationType() const {
  return m_Record.GetTransferType().Value() == 1 ? kTranDeposit : kTranAdjustment;
}

RegisterBankLocker& BankAccount::Locker() {
  if (!m_EditRegisterLocker) m_EditRegisterLocker = std::make_unique<RegisterBankLocker>(File());
  return *m_EditRegisterLocker;
}

ccStatus<ccError::Level> BankAccount::EditRegisterLock() { return Locker().lockBank(m_Record.GetBankAccount().str()); }

ccStatus<ccError::Level> BankAccount::isEditRegisterLocked() {
  return Locker().isBankLocked(m_Record.GetBankAccount().str());
}

ccStatus<ccError::Level> BankAccount::EditRegisterUnlock() {
  if (!m_EditRegisterLocker) return ccStatus<ccError::Level>(ccError::kNone);
  return m_EditRegisterLocker->unlockBank();
}
