// Validation entry points of the transaction record:
// TransactionData::SetValidater / Validate, and the deleter through which a
// record owns its validater.
#include <memory>

#include "records/messages.h"
#include "records/transaction_data.h"
#include "transactions/transaction.h"
#include "validation/adjustment_validater.h"
#include "validation/check_validater.h"
#include "validation/deposit_validater.h"
#include "validation/withdrawal_validater.h"

void TransactionValidaterDeleter::operator()(TransactionValidater* validater) const noexcept { delete validater; }

namespace {

// A new validater of `type` on the cursor when there is one, else on the
// record; null for an invalid type.
template <typename Subject>
TransactionValidater* NewValidater(int type, const bkProgram& program, Subject* subject) {
  switch (type) {
    case static_cast<int>(TransactionData::TranTypeEnum::kCheck): return new CheckValidater(program, subject);
    case static_cast<int>(TransactionData::TranTypeEnum::kDeposit): return new DepositValidater(program, subject);
    case static_cast<int>(TransactionData::TranTypeEnum::kWithdrawal):
      return new WithdrawalValidater(program, subject);
    case static_cast<int>(TransactionData::TranTypeEnum::kAdjustment):
      return new AdjustmentValidater(program, subject);
    default: return nullptr;
  }
}

}  // namespace

ccStatus<ccError::Level> TransactionData::SetValidater(const bkProgram& program, Transaction* transaction) {
  // Only the cursor that holds this record can read this record's details;
  // the validater it makes lives no longer than the cursor (the record is
  // part of it).
  if (transaction && &transaction->m_Record != this) transaction = nullptr;
  const int type = GetType().Value();
  if (m_Validater && (static_cast<int>(m_Validater->GetTranType()) != type ||
                      (transaction && m_Validater->GetTransaction() != transaction))) {
    m_Validater.reset();
  }
  if (m_Validater) return ccStatus<ccError::Level>(ccError::kNone);

  TransactionValidater* made = transaction ? NewValidater(type, program, transaction)
                                           : NewValidater(type, program, this);
  if (!made) return bktInvalidTransactionTypeError();
  m_Validater.reset(made);
  m_Validater->SetTranType(static_cast<TranTypeEnum>(type));
  return ccStatus<ccError::Level>(ccError::kNone);
}

ccStatus<ccError::Level> TransactionData::Validate(bkProgram& program, Transaction* transaction) {
  ccStatus<ccError::Level> status = SetValidater(program, transaction);
  if (!m_Validater) return status;
  ccStatus<ccError::Level> result = m_Validater->DoIt(program);
  result.SetValue(result.Errors().MaxLevel());
  return result;
}
