// TransferValidater: the validater of each side of a cash transfer between
// two bank accounts. The programs that enter transfers make it themselves;
// no transaction type chooses it.
//
// Like an adjustment, a side carries neither a check number nor a deposit
// id, and the sign of its net amount decides which amount it may carry:
// the receiving side (net amount above zero) an addition, the paying side
// (below zero) a subtraction.
#pragma once

#include "records/bk_export.h"
#include "validation/transaction_validater.h"

class BK_EXPORT TransferValidater : public TransactionValidater {
 public:
  TransferValidater(const bkProgram& program, Transaction* transaction) : TransactionValidater(program, transaction) {}
  TransferValidater(const bkProgram& program, TransactionData* record) : TransactionValidater(program, record) {}
  ~TransferValidater() override;

  // false, false; net amount > 0; net amount < 0.
  bool CheckExpected() const override;
  bool DepositIDExpected() const override;
  bool AdditionAmountExpected() const override;
  bool SubtractionAmountExpected() const override;
};
