// WithdrawalValidater: the validater of withdrawals (transaction type 3).
//
// A withdrawal carries a subtraction, no check number, no deposit id and
// no addition.
//
// A withdrawal entered in this module (application of origin "BK") while
// the "BK" to "GL" interface is active spreads its amount over withdrawal
// details, so instead of the transaction's own accounts each detail is
// checked, when the validater holds the file-bound Transaction (built by
// Transaction::Validate):
//   - at least one detail (1611 "Withdrawal" / "withdrawal detail");
//   - each detail's accounts: the detail's debit account against the
//     transaction's credit account, with the detail's intercompany
//     accounts (DoAccountValidations);
//   - the details add up to the subtraction less the addition (1612
//     "withdrawal detail" / "transaction").
// Details are checked while no error is present. A detail that cannot be
// read gives 1614 (see detail_lines.h). Without a Transaction only the
// type-independent rules run. Other withdrawals are validated like every
// transaction.
#pragma once

#include "records/bk_export.h"
#include "validation/transaction_validater.h"

class BK_EXPORT WithdrawalValidater : public TransactionValidater {
 public:
  WithdrawalValidater(const bkProgram& program, Transaction* transaction)
      : TransactionValidater(program, transaction) {}
  WithdrawalValidater(const bkProgram& program, TransactionData* record) : TransactionValidater(program, record) {}
  ~WithdrawalValidater() override;

  ccStatus<ccError::Level> DoIt(bkProgram& program) override;

  // false, false, false, true.
  bool CheckExpected() const override;
  bool DepositIDExpected() const override;
  bool AdditionAmountExpected() const override;
  bool SubtractionAmountExpected() const override;
};
