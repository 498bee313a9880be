// The validater of the sides of cash transfers (see transfer_validater.h).
#include "validation/transfer_validater.h"

TransferValidater::~TransferValidater() = default;

bool TransferValidater::CheckExpected() const { return false; }
bool TransferValidater::DepositIDExpected() const { return false; }
bool TransferValidater::AdditionAmountExpected() const {
  return GetTransactionData() && GetTransactionData()->GetAmount() > tsCurrency();
}
bool TransferValidater::SubtractionAmountExpected() const {
  return GetTransactionData() && GetTransactionData()->GetAmount() < tsCurrency();
}
