// The validater of withdrawals (see withdrawal_validater.h).
#include "validation/withdrawal_validater.h"

#include "framework/control/interfaces.h"
#include "records/messages.h"
#include "records/relations.h"
#include "transactions/transaction.h"
#include "deposits/withdrawal_detail.h"
#include "validation/detail_lines.h"

WithdrawalValidater::~WithdrawalValidater() = default;

bool WithdrawalValidater::CheckExpected() const { return false; }
bool WithdrawalValidater::DepositIDExpected() const { return false; }
bool WithdrawalValidater::AdditionAmountExpected() const { return false; }
bool WithdrawalValidater::SubtractionAmountExpected() const { return true; }

ccStatus<ccError::Level> WithdrawalValidater::DoIt(bkProgram& program) {
  if (!GetTransactionData()) return bktInvalidTransactionTypeError();
  const TransactionData& record = *GetTransactionData();
  if (!(record.GetApplOfOrigin() == "BK") || zc_interface_active("BK", "GL") == 0) {
    return TransactionValidater::DoIt(program);
  }
  ccStatus<ccError::Level> status(ccError::kNone);
  DoTypeIndependentValidations(program, status);
  Transaction* transaction = GetTransaction();
  if (!transaction) {
    status.SetValue(status.Errors().MaxLevel());
    return status;
  }

  WithdrawalDetail lines(transaction->File(), "", 0);
  const bk_validation::DetailLineTexts texts{"Withdrawal", "withdrawal detail"};
  QueueAccountValidationReads(program);
  bk_validation::CheckDetailLines(
      lines, static_cast<const bkCursorBase&>(*transaction), TransactionWithdrawalDetailsRel, texts,
      -record.GetAmount(), status, [&](const WithdrawalDetailData& line, ccStatus<ccError::Level>& running) {
        DoAccountValidations(program, running, line.GetDebitAccount(), record.GetCreditAccount(),
                             line.GetDueFromAccount(), line.GetDueToAccount());
        QueueAccountValidationReads(program);
      });
  return status;
}
