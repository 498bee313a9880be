// The common rules of every validater (see transaction_validater.h).
#include "validation/transaction_validater.h"

#include <string>
#include <vector>

#include "programs/bk_program.h"
#include "framework/control/account_format.h"
#include "framework/control/interfaces.h"
#include "framework/types/ts_string.h"
#include "ledger/gl_accounts.h"
#include "records/files.h"
#include "records/messages.h"
#include "transactions/transaction.h"

namespace {

using LevelStatus = ccStatus<ccError::Level>;

constexpr ccError::Level kError = ccError::kError;

// Account format and sections of the general ledger's accounts.
constexpr short kGLAccountFormat = 9;
constexpr short kWholeAccount = 0;
constexpr short kFullPrefix = 6;

// `text` with the user's terms in place of custom-description tokens
// ("<1I> ID" -> "Batch ID").
std::string BatchFieldText(const char* text) {
  return tsString::ReplaceCustomDescriptions(tsAlpha(text)).Format();
}

// Zero (an overflowed amount is not zero).
bool IsZero(const tsCurrency& amount) { return !amount; }

}  // namespace

TransactionValidater::TransactionValidater(const bkProgram&, Transaction* transaction)
    : m_Transaction(transaction), m_TransactionData(transaction ? &transaction->m_Record : nullptr) {}

TransactionValidater::TransactionValidater(const bkProgram&, TransactionData* record)
    : m_TransactionData(record) {}

TransactionValidater::~TransactionValidater() = default;

short TransactionValidater::GLMFileNumber(const bkProgram& program) {
  const tsioDataFile* glm = program.File(GLMFileSpec);
  return glm ? glm->FileNum() : 0;
}

bool TransactionValidater::ErrorPresent(const LevelStatus& status) {
  return status.Errors().MaxLevel() >= ccError::kError;
}

// ---- Type-independent rules

LevelStatus TransactionValidater::ValidateTransactionType(bkProgram&) const {
  const int type = m_TransactionData->GetType().Value();
  if (type >= 1 && type <= 4) return LevelStatus(ccError::kNone);
  return bktInvalidTransactionTypeError();
}

LevelStatus TransactionValidater::ValidateBank(bkProgram&) const {
  LevelStatus status(ccError::kNone);
  if (m_TransactionData->GetBankAccount().IsBlank()) status += bktBlankFieldError("Bank", "blank", kError);
  return status;
}

LevelStatus TransactionValidater::ValidateDates(bkProgram&) const {
  LevelStatus status(ccError::kNone);
  if (m_TransactionData->GetTransactionDate().IsEmpty()) {
    status += bktBlankFieldError("Transaction Date", "blank", kError);
  }
  if (m_TransactionData->GetAccountingDate().IsEmpty()) {
    status += bktBlankFieldError("Accounting Date", "blank", kError);
  }
  return status;
}

LevelStatus TransactionValidater::ValidateCheck(bkProgram&, bool required) const {
  LevelStatus status(ccError::kNone);
  const bool blank = !m_TransactionData->GetCheck();
  if (required && blank) status += bktBlankFieldError("<8I> number", "blank", kError);
  if (!required && !blank) status += bktNonBlankFieldError("<8I> number", "blank");
  return status;
}

LevelStatus TransactionValidater::ValidateDepositID(bkProgram&, bool required) const {
  LevelStatus status(ccError::kNone);
  const bool blank = m_TransactionData->GetDepositID().IsBlank();
  if (required && blank) status += bktBlankFieldError("Deposit ID", "blank", kError);
  if (!required && !blank) status += bktNonBlankFieldError("Deposit ID", "blank");
  return status;
}

LevelStatus TransactionValidater::ValidateBatchRunSeq(bkProgram&) const {
  LevelStatus status(ccError::kNone);
  const TransactionData& r = *m_TransactionData;
  if (r.GetApplOfOrigin().IsBlank()) status += bktBlankFieldError("Application of Origin", "blank", kError);
  if (r.GetBatch().IsBlank()) status += bktBlankFieldError(BatchFieldText("<1I> ID"), "blank", kError);
  if (!r.GetBatchSource()) status += bktBlankFieldError(BatchFieldText("<1I> Source"), "blank", kError);
  if (!r.GetRun()) status += bktBlankFieldError("Run Number", "zero", kError);
  if (!r.GetSequence()) status += bktBlankFieldError("Sequence Number", "zero", kError);
  return status;
}

LevelStatus TransactionValidater::ValidateAmounts(bkProgram&) const {
  LevelStatus status(ccError::kNone);
  const tsCurrency& addition = m_TransactionData->GetAddition();
  const tsCurrency& subtraction = m_TransactionData->GetSubtraction();
  const tsCurrency zero;
  if (addition < zero) status += bktBlankFieldError("Addition", "negative", kError);
  if (subtraction < zero) status += bktBlankFieldError("Subtraction", "negative", kError);
  if (!AdditionAmountExpected() && !IsZero(addition)) status += bktNonBlankFieldError("Addition", "zero");
  if (!SubtractionAmountExpected() && !IsZero(subtraction)) status += bktNonBlankFieldError("Subtraction", "zero");
  return status;
}

void TransactionValidater::DoTypeIndependentValidations(bkProgram& program, LevelStatus& status) const {
  status += ValidateTransactionType(program);
  status += ValidateBank(program);
  status += ValidateDates(program);
  status += ValidateCheck(program, CheckExpected());
  status += ValidateBatchRunSeq(program);
  status += ValidateAmounts(program);
  status.SetValue(status.Errors().MaxLevel());
}

// ---- General-ledger rules

LevelStatus TransactionValidater::ValidateRegularAccounts(bkProgram&, const tsAlpha& debit,
                                                          const tsAlpha& credit) const {
  LevelStatus status(ccError::kNone);
  if (debit.IsBlank()) status += bktBlankFieldError("Debit Account", "blank", kError);
  if (credit.IsBlank()) status += bktBlankFieldError("Credit Account", "blank", kError);
  return status;
}

LevelStatus TransactionValidater::ValidateIntercompanyAccounts(bkProgram&, const tsAlpha& due_from,
                                                               const tsAlpha& due_to, bool required) const {
  LevelStatus status(ccError::kNone);
  if (required) {
    if (due_from.IsBlank()) status += bktBlankFieldError("I/C Receivable Account", "blank", kError);
    if (due_to.IsBlank()) status += bktBlankFieldError("I/C Payable Account", "blank", kError);
  } else {
    if (!due_from.IsBlank()) status += bktNonBlankFieldError("I/C Receivable Account", "blank");
    if (!due_to.IsBlank()) status += bktNonBlankFieldError("I/C Payable", "blank");
  }
  return status;
}

LevelStatus TransactionValidater::ValidateGLPeriods(bkProgram& program, const tsAlpha& debit, const tsAlpha& credit,
                                                    const tsAlpha& due_from, const tsAlpha& due_to) const {
  LevelStatus status(ccError::kNone);
  const tsAlpha* accounts[] = {&debit, &credit, &due_from, &due_to};
  bool any = false;
  for (const tsAlpha* a : accounts) any = any || !a->IsBlank();
  if (!any) return status;
  const short glm = GLMFileNumber(program);
  if (glm == 0) return status;

  // A blank account has no prefix. A given account's prefix is its section
  // 6, which is empty when the company's account format has no prefixes:
  // the company's one calendar is then checked (once).
  const tsDate& date = m_TransactionData->GetAccountingDate();
  std::vector<tsAlpha> checked;
  for (const tsAlpha* a : accounts) {
    if (a->IsBlank()) continue;
    const tsAlpha prefix = xk_get_section(*a, kGLAccountFormat, kWholeAccount, kFullPrefix);
    bool seen = false;
    for (const tsAlpha& p : checked) seen = seen || p == prefix;
    if (seen) continue;
    checked.push_back(prefix);
    status += glwCheckPrefixForClosedPeriod(prefix, date, glm, nullptr);
  }
  if (status.Errors().MaxLevel() == ccError::kWarning) {
    status.Add(ccError(0, ccError::kNone, m_TransactionData->MessageText() + " uses this date."));
  }
  return status;
}

LevelStatus TransactionValidater::MatchingIntercompanyPrefixes(const tsAlpha& debit, const tsAlpha& credit,
                                                               short glm_file, bool& match) const {
  return glwMatchingICPrefixesOnAccounts(debit, credit, glm_file, match);
}

void TransactionValidater::DoAccountValidations(bkProgram& program, LevelStatus& status, const tsAlpha& debit,
                                                const tsAlpha& credit, const tsAlpha& due_from,
                                                const tsAlpha& due_to) const {
  if (zc_interface_active("BK", "GL") == 0) return;
  const bool both = !debit.IsBlank() && !credit.IsBlank();
  if (both) status += ValidateRegularAccounts(program, debit, credit);
  bool match = true;
  if (both) status += MatchingIntercompanyPrefixes(debit, credit, GLMFileNumber(program), match);
  if (!ErrorPresent(status) && both) status += ValidateIntercompanyAccounts(program, due_from, due_to, !match);
  status.SetValue(status.Errors().MaxLevel());
  if (status.Value() < ccError::kError) {
    status += ValidateGLPeriods(program, debit, credit, due_from, due_to);
    status.SetValue(status.Errors().MaxLevel());
  }
}

void TransactionValidater::QueueAccountValidationReads(bkProgram& program) const {
  if (zc_interface_active("BK", "GL") == 0) return;
  if (const tsioDataFile* glm = program.File(GLMFileSpec)) glwQueuePeriodCheckReads(*glm);
}

LevelStatus TransactionValidater::DoIt(bkProgram& program) {
  if (!m_TransactionData) return bktInvalidTransactionTypeError();
  LevelStatus status(ccError::kNone);
  DoTypeIndependentValidations(program, status);
  const TransactionData& r = *m_TransactionData;
  DoAccountValidations(program, status, r.GetDebitAccount(), r.GetCreditAccount(), r.GetDueFromAccount(),
                       r.GetDueToAccount());
  status.SetValue(status.Errors().MaxLevel());
  return status;
}
