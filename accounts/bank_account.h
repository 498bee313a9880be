// BankAccount: the cursor over bank accounts (BKM record type 1) of an open
// master file, with the operations that keep an account's totals and
// balances consistent when its transactions change, and its edit-register
// (bank) lock.
//
// None of the operations writes the record: they change the record buffer and
// the caller writes it (Update) when it chooses.
//
// Sign convention: a transaction's signed amount is addition minus
// subtraction. The open and unreconciled totals of checks, withdrawals and
// minus adjustments hold positive magnitudes of amounts that reduce the
// balance; deposits and plus adjustments hold magnitudes that increase it;
//   BOPNALL = (BOPNDEP + BOPNAJP) - (BOPNCHK + BOPNWDL + BOPNAJM)
//   BURALL  = (BURDEP + BURADJP)  - (BURCHK + BURWDL + BURADJM).
// A transaction counts in the open totals while its reconciliation state is
// 1 (open), in the unreconciled totals while it is not 3 (reconciled).
#pragma once

#include <memory>

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "locking/register_bank_locker.h"
#include "records/bank_account_data.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"

class bkRegisterTransactionRunLock;

// A transaction's kind as the totals operations take it.
enum bkTranType : short { kTranCheck = 1, kTranDeposit = 2, kTranWithdrawal = 3, kTranAdjustment = 4 };
// Which total a change went to.
enum BankAccountTotalsTranType : short {
  kTotalsChecks = 1,
  kTotalsDeposits = 2,
  kTotalsWithdrawals = 3,
  kTotalsPlusAdjustments = 4,
  kTotalsMinusAdjustments = 5,
};

extern template class bkCursor<BankAccountData>;

class BK_EXPORT BankAccount : public bkCursor<BankAccountData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit BankAccount(const tsioDataFile& file, const CString& columns = "", short index = 0);
  ~BankAccount() override;

  // Moves one transaction's change into the open totals (BOPN*). `amount` is
  // the signed amount after the change, `old_amount` (optional) the signed
  // amount before it; the statuses are the reconciliation states after and
  // before. Returns the change applied to the kind's total (as a magnitude:
  // negated for checks, withdrawals and minus adjustments) and sets `which`
  // (optional) to the total it went to. Nothing changes when the transaction
  // is counted neither before nor after, or when neither its status nor its
  // amount changed. A sign change moves an adjustment between the plus and
  // the minus totals; for other kinds it is an ordinary amount change.
  tsDouble ChangeOpenTotals(const tsDouble& amount, const bkTranType& kind, const unsigned short& new_status,
                            const unsigned short& old_status, BankAccountTotalsTranType* which = nullptr,
                            const tsDouble* old_amount = nullptr);
  // The same over the unreconciled totals (BUR*).
  tsDouble ChangeUnreconciledTotals(const tsDouble& amount, const bkTranType& kind, const unsigned short& new_status,
                                    const unsigned short& old_status, BankAccountTotalsTranType* which = nullptr,
                                    const tsDouble* old_amount = nullptr);
  // Adds interest dated `date` to the interest total of its year, taking
  // `reference` as the fiscal year's last day: last year (BLYINT) runs from
  // the day after reference-24 months to reference-12 months, this year
  // (BYTDINT) to the reference date, next year (BNYINT) to reference+12
  // months; other dates add nothing. `which` (optional) tells which (0 none).
  void ChangeInterestTotals(const tsDouble& amount, const tsDate& date, const tsDate& reference,
                            BankAccountData::InterestYearEnum* which = nullptr);
  // Bank balance by the difference new - old; true when the difference is 0.
  bool ChangeBankBalance(const tsDouble& new_amount, const tsDouble& old_amount, const tsChoice& status,
                         const tsDouble& run, bkRegisterTransactionRunLock* lock = nullptr);
  // BNKBLNC += amount; the view balance BNKVBLN too, unless a run lock is
  // given, in which case only when another program holds the edit-register
  // lock and the run is excluded from its view. A zero amount changes nothing.
  void UpdateBankBalance(const tsCurrency& amount, const tsDouble& run, bkRegisterTransactionRunLock* lock = nullptr);
  // The same on BRGBLNC and BRGVBLN.
  void UpdateRegisterBalance(const tsCurrency& amount, const tsDouble& run,
                             bkRegisterTransactionRunLock* lock = nullptr);
  // How transfers of this account are recorded: withdrawal (3) out and
  // deposit (2) in when BTRFRTY is 1, else adjustments (4) both ways.
  bkTranType GetTransferSourceType() const;
  bkTranType GetTransferDestinationType() const;
  // The account's edit-register lock (RegisterBankLocker over this cursor's file).
  ccStatus<ccError::Level> EditRegisterLock();
  ccStatus<ccError::Level> EditRegisterUnlock();
  ccStatus<ccError::Level> isEditRegisterLocked();

 private:
  // Whether a view balance moves with its balance (UpdateBankBalance): always
  // without a run lock; with one, only while another program edits the
  // register and `run` is excluded from its view. A lock record that cannot
  // be read counts as not edited and leaves one log line.
  bool ViewFollows(const tsDouble& run, bkRegisterTransactionRunLock* lock);
  RegisterBankLocker& Locker();
  std::unique_ptr<RegisterBankLocker> m_EditRegisterLocker;
};
