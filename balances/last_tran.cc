// The last-transaction record's update.
#include "balances/last_tran.h"

#include "framework/base/application.h"
#include "records/messages.h"
#include "framework/io/rollback_stack.h"

namespace {

tsCurrency Cents(const tsDouble& amount) { return tsCurrency(amount.Rounded(2)); }

// A failure of the update: the message at level 3.
ccStatus<ccError::Level> Failure(ccError error) {
  error.SetLevel(ccError::kError);
  return ccStatus<ccError::Level>(ccError::kError, error);
}

}  // namespace

ccStatus<ccError::Level> LastTran::UpdateLastTransaction(const CString& title, const tsAlpha& bank,
                                                         const tsChoice& type, const tsDate& date,
                                                         const tsDouble& amount) {
  const std::string text = "Could not save this transaction, because the Last Transaction record for bank account '" +
                           bank.str() + "' is in use.";
  // Two tries at most: the second only when another program inserted the
  // record between our read and our insert.
  for (int attempt = 0; attempt < 2; ++attempt) {
    // Start from an empty record: nothing left by an earlier record may be
    // searched for or written.
    Clear();
    m_Record.SetBankAccount(bank);
    tsioStatus::Status st = FetchEQ(true);
    while (st == tsioStatus::kLocked) {
      if (TSGetApp()->MessageBox(title, text, MB_RETRYCANCEL | MB_ICONSTOP) != IDRETRY) break;
      Clear();
      m_Record.SetBankAccount(bank);
      st = FetchEQ(true);
    }
    if (st != tsioStatus::kSuccess && st != tsioStatus::kNotFound) {
      return Failure(LastTranLockError(bank, st));
    }
    const bool found = st == tsioStatus::kSuccess;
    if (!found) {
      Clear();
      m_Record.SetBankAccount(bank);
    }
    switch (type.Value()) {
      case 2:
        m_Record.SetLastDepositDate(date);
        m_Record.SetLastDepositAmount(Cents(amount));
        break;
      case 3:
        m_Record.SetLastWithdrawalDate(date);
        m_Record.SetLastWithdrawalAmount(Cents(amount < tsDouble(0) ? -amount : amount));
        break;
      case 4:
        m_Record.SetLastAdjustmentDate(date);
        m_Record.SetLastAdjustmentAmount(Cents(amount));
        break;
      default:
        break;
    }
    tsioStatus::Status written;
    if (found) {
      written = Update();
      (void)Unlock();  // ours since the fetch, released whether or not the update went through
    } else {
      tsioWaitingWrites waiting(File().Company());
      written = Insert();
      if (written == tsioStatus::kDuplicateKey && attempt == 0) continue;  // another program's record: update it
    }
    if (written != tsioStatus::kSuccess) return Failure(LastTranUpdateError(bank, written));
    return ccStatus<ccError::Level>(ccError::kNone);
  }
  return ccStatus<ccError::Level>(ccError::kNone);
}
