// DepositValidater: the validater of deposits (transaction type 2).
//
// A deposit carries a deposit id and an addition, no check number and no
// subtraction.
//
// A deposit entered in this module (application of origin "BK") while the
// "BK" to "GL" interface is active takes its general-ledger distribution
// from its deposit item details, so instead of the transaction's own
// accounts each detail line is checked, when the validater holds the
// file-bound Transaction (built by Transaction::Validate):
//   - at least one line (1611 "Deposit" / "deposit item detail");
//   - each line's deposit item exists (1611 "Deposit item detail" /
//     "deposit item");
//   - each line's accounts: the transaction's debit account against the
//     line's credit account, with the line's intercompany accounts
//     (DoAccountValidations);
//   - the lines add up to the net amount (1612 "deposit item detail" /
//     "transaction").
// Lines are checked while no error is present. A line or item that cannot
// be read gives 1614 (see detail_lines.h). Without a Transaction only the
// type-independent rules run. Other deposits are validated like every
// transaction.
#pragma once

#include "records/bk_export.h"
#include "validation/transaction_validater.h"

class BK_EXPORT DepositValidater : public TransactionValidater {
 public:
  DepositValidater(const bkProgram& program, Transaction* transaction) : TransactionValidater(program, transaction) {}
  DepositValidater(const bkProgram& program, TransactionData* record) : TransactionValidater(program, record) {}
  ~DepositValidater() override;

  ccStatus<ccError::Level> DoIt(bkProgram& program) override;

  // false, true, true, false.
  bool CheckExpected() const override;
  bool DepositIDExpected() const override;
  bool AdditionAmountExpected() const override;
  bool SubtractionAmountExpected() const override;
};
