// The validater of checks (see check_validater.h).
#include "validation/check_validater.h"

#include "records/record_enums.h"

CheckValidater::~CheckValidater() = default;

bool CheckValidater::SkipsLedgerRules() const {
  return GetTransactionData() && GetTransactionData()->GetBatchSource() == BatchSourceEnum::kManualEntry;
}

ccStatus<ccError::Level> CheckValidater::ValidateRegularAccounts(bkProgram& program, const tsAlpha& debit,
                                                                 const tsAlpha& credit) const {
  if (SkipsLedgerRules()) return ccStatus<ccError::Level>(ccError::kNone);
  return TransactionValidater::ValidateRegularAccounts(program, debit, credit);
}

ccStatus<ccError::Level> CheckValidater::ValidateIntercompanyAccounts(bkProgram& program, const tsAlpha& due_from,
                                                                      const tsAlpha& due_to, bool required) const {
  if (SkipsLedgerRules()) return ccStatus<ccError::Level>(ccError::kNone);
  return TransactionValidater::ValidateIntercompanyAccounts(program, due_from, due_to, required);
}

ccStatus<ccError::Level> CheckValidater::ValidateGLPeriods(bkProgram& program, const tsAlpha& debit,
                                                           const tsAlpha& credit, const tsAlpha& due_from,
                                                           const tsAlpha& due_to) const {
  if (SkipsLedgerRules()) return ccStatus<ccError::Level>(ccError::kNone);
  return TransactionValidater::ValidateGLPeriods(program, debit, credit, due_from, due_to);
}

bool CheckValidater::CheckExpected() const { return true; }
bool CheckValidater::DepositIDExpected() const { return false; }
bool CheckValidater::AdditionAmountExpected() const { return false; }
bool CheckValidater::SubtractionAmountExpected() const {
  return !GetTransactionData() || !(GetTransactionData()->GetApplOfOrigin() == "BK");
}
