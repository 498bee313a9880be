// AdjustmentValidater: the validater of adjustments (transaction type 4).
//
// An adjustment carries neither a check number nor a deposit id; its sign
// decides which amount it may carry: a plus adjustment (net amount above
// zero) an addition, a minus adjustment (net amount below zero) a
// subtraction, and one whose net amount is zero neither.
#pragma once

#include "records/bk_export.h"
#include "validation/transaction_validater.h"

class BK_EXPORT AdjustmentValidater : public TransactionValidater {
 public:
  AdjustmentValidater(const bkProgram& program, Transaction* transaction)
      : TransactionValidater(program, transaction) {}
  AdjustmentValidater(const bkProgram& program, TransactionData* record) : TransactionValidater(program, record) {}
  ~AdjustmentValidater() override;

  // false, false; net amount > 0; net amount < 0.
  bool CheckExpected() const override;
  bool DepositIDExpected() const override;
  bool AdditionAmountExpected() const override;
  bool SubtractionAmountExpected() const override;
};
