// The validater of deposits (see deposit_validater.h).
#include "validation/deposit_validater.h"

#include "framework/control/interfaces.h"
#include "records/messages.h"
#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"
#include "records/relations.h"
#include "transactions/transaction.h"
#include "validation/detail_lines.h"

DepositValidater::~DepositValidater() = default;

bool DepositValidater::CheckExpected() const { return false; }
bool DepositValidater::DepositIDExpected() const { return true; }
bool DepositValidater::AdditionAmountExpected() const { return true; }
bool DepositValidater::SubtractionAmountExpected() const { return false; }

ccStatus<ccError::Level> DepositValidater::DoIt(bkProgram& program) {
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

  DepositItemDetail lines(transaction->File(), "", 0);
  DepositItem items(transaction->File(), "", 0);
  const bk_validation::DetailLineTexts texts{"Deposit", "deposit item detail"};
  QueueAccountValidationReads(program);
  bk_validation::CheckDetailLines(
      lines, static_cast<const bkCursorBase&>(*transaction), TransactionDepositItemDetailsRel, texts,
      record.GetAmount(), status, [&](const DepositItemDetailData& line, ccStatus<ccError::Level>& running) {
        const tsioStatus::Status found =
            items.FetchFirstOf(static_cast<const bkCursorBase&>(lines), DepositItemDetailDepositItemRel, false);
        if (found == tsioStatus::kEndOfFile || found == tsioStatus::kNotFound) {
          running += bktRec1HasNoRec2Error("Deposit item detail", "deposit item");
        } else if (found != tsioStatus::kSuccess) {
          running += bk_validation::DetailReadError("deposit item", found);
        }
        DoAccountValidations(program, running, record.GetDebitAccount(), line.GetCreditAccount(),
                             line.GetDueFromAccount(), line.GetDueToAccount());
        QueueAccountValidationReads(program);
      });
  return status;
}
