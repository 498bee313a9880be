// The validater of adjustments (see adjustment_validater.h).
#include "validation/adjustment_validater.h"

AdjustmentValidater::~AdjustmentValidater() = default;

bool AdjustmentValidater::CheckExpected() const { return false; }
bool AdjustmentValidater::DepositIDExpected() const { return false; }
bool AdjustmentValidater::AdditionAmountExpected() const {
  return GetTransactionData() && GetTransactionData()->GetAmount() > tsCurrency();
}
bool AdjustmentValidater::SubtractionAmountExpected() const {
  return GetTransactionData() && GetTransactionData()->GetAmount() < tsCurrency();
}
