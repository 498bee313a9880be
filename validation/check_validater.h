// CheckValidater: the validater of checks (transaction type 1).
//
// A check carries a check number, no addition, and a subtraction unless it
// was entered in this module (application of origin "BK"): the module's own
// checks are entered with a zero subtraction. Checks of batch source 2
// (manual entry) are not checked against the general ledger: no account,
// intercompany or period rule runs for them.
#pragma once

#include "records/bk_export.h"
#include "validation/transaction_validater.h"

class BK_EXPORT CheckValidater : public TransactionValidater {
 public:
  CheckValidater(const bkProgram& program, Transaction* transaction) : TransactionValidater(program, transaction) {}
  CheckValidater(const bkProgram& program, TransactionData* record) : TransactionValidater(program, record) {}
  ~CheckValidater() override;

 protected:
  // Nothing for batch source 2, else the common rule.
  ccStatus<ccError::Level> ValidateRegularAccounts(bkProgram& program, const tsAlpha& debit,
                                                   const tsAlpha& credit) const override;
  ccStatus<ccError::Level> ValidateIntercompanyAccounts(bkProgram& program, const tsAlpha& due_from,
                                                        const tsAlpha& due_to, bool required) const override;
  ccStatus<ccError::Level> ValidateGLPeriods(bkProgram& program, const tsAlpha& debit, const tsAlpha& credit,
                                             const tsAlpha& due_from, const tsAlpha& due_to) const override;

 public:
  // true, false, false; the subtraction unless the application of origin is "BK".
  bool CheckExpected() const override;
  bool DepositIDExpected() const override;
  bool AdditionAmountExpected() const override;
  bool SubtractionAmountExpected() const override;

 private:
  // Whether the check skips the general-ledger rules (batch source 2).
  bool SkipsLedgerRules() const;
};
