// The value source of general-ledger lines (see gl_transaction_values.h).
#include "ledger/gl_transaction_values.h"

#include <cstdint>
#include <cstring>

#include "framework/control/control_file.h"
#include "programs/bk_program.h"
#include "records/transaction_data.h"

glwTransactionValues::~glwTransactionValues() = default;

// ---- bkGLTransactionValuesBase ---------------------------------------------

bkGLTransactionValuesBase::bkGLTransactionValuesBase(bkProgram& program, bool posting)
    : m_Program(program), m_Posting(posting) {}

bkGLTransactionValuesBase::~bkGLTransactionValuesBase() = default;

tsAlpha bkGLTransactionValuesBase::HostAppl() const { return tsAlpha("BK"); }

tsAlpha bkGLTransactionValuesBase::Description(TranLevelEnum) const { return tsAlpha(); }

tsAlpha bkGLTransactionValuesBase::Reference(short n) const {
  const bkSettings* settings = m_Program.Settings();
  const short contents = static_cast<short>(n == 1 ? settings->GetGLReference1().Value()
                                                   : settings->GetGLReference2().Value());
  switch (static_cast<GLReferenceContents>(contents)) {
    case GLReferenceContents::kBankAccount: return BankAccount();
    case GLReferenceContents::kDepositID: return DepositId();
    default: return tsAlpha();
  }
}

short bkGLTransactionValuesBase::_AccountingMethod() const {
  if (m_AccountingMethod == 0) {
    unsigned char block[kControlDefSize] = {};
    (void)xc_get_control_def(block);  // without a control file the block says accrual (1)
    int16_t method = 0;
    std::memcpy(&method, block + kControlDefAccountingMethod, sizeof method);
    m_AccountingMethod = method;
  }
  return m_AccountingMethod;
}

bool bkGLTransactionValuesBase::_AccrualAccounting() const { return _AccountingMethod() != 2; }

bool bkGLTransactionValuesBase::_CashAccounting() const { return _AccountingMethod() != 1; }

// ---- bkGLTransactionValues -------------------------------------------------

bkGLTransactionValues::bkGLTransactionValues(bkProgram& program, bool posting, DetailedTransactionData* detailed)
    : bkGLTransactionValuesBase(program, posting), m_Detailed(detailed) {}

bkGLTransactionValues::~bkGLTransactionValues() = default;

const TransactionData* bkGLTransactionValues::Record() const {
  return m_Detailed ? m_Detailed->GetTranData() : nullptr;
}

bool bkGLTransactionValues::DebitsTheBank() const {
  const TransactionData* t = Record();
  if (!t) return false;
  const auto type = t->GetType().Get();
  return type == TransactionData::TranTypeEnum::kDeposit ||
         (type == TransactionData::TranTypeEnum::kAdjustment && !t->GetSubtraction());
}

tsDate bkGLTransactionValues::AccountingDate() const {
  return Record() ? Record()->GetAccountingDate() : tsDate();
}

tsNum<short> bkGLTransactionValues::Journal() const {
  return Record() ? Record()->GetGLJournal() : tsNum<short>(0);
}

tsAlpha bkGLTransactionValues::ApplOfOrigin() const { return Record() ? Record()->GetApplOfOrigin() : tsAlpha(); }

tsAlpha bkGLTransactionValues::Batch() const { return Record() ? Record()->GetBatch() : tsAlpha(); }

tsChoice bkGLTransactionValues::BatchSource() const {
  return Record() ? tsChoice(static_cast<short>(Record()->GetBatchSource().Value())) : tsChoice(1);
}

tsCurrency bkGLTransactionValues::Amount() const {
  const TransactionData* t = Record();
  if (!t) return tsCurrency();
  tsCurrency amount;
  if (!m_Detailed->GetIsNegative()) {
    amount = t->GetAmount();
    if (amount < 0) amount = -amount;
  } else {
    amount = t->GetAddition().IsNull() ? t->GetSubtraction() : t->GetAddition();
  }
  if (m_Detailed->GetIsReversal()) amount = -amount;
  return amount;
}

tsAlpha bkGLTransactionValues::DueToAcct() const { return Record() ? Record()->GetDueToAccount() : tsAlpha(); }

tsAlpha bkGLTransactionValues::DueFromAcct() const { return Record() ? Record()->GetDueFromAccount() : tsAlpha(); }

tsAlpha bkGLTransactionValues::Description(TranLevelEnum level) const {
  if (!m_Detailed) return tsAlpha();
  std::string text = m_Detailed->GetHierarchyDescription(level).str();
  if (text.empty() && Record()) text = "BK " + Record()->TranTypeFullDescription();
  if (m_Detailed->GetIsReversal()) {
    text = "(REV) " + text;
    if (text.size() > static_cast<size_t>(kDescriptionWidth)) text.resize(kDescriptionWidth);
  }
  return tsAlpha(text);
}

tsAlpha bkGLTransactionValues::DebitAccount(BKIncludeGLTranTypeEnum type) const {
  const TransactionData* t = Record();
  if (!t) return tsAlpha();
  switch (type) {
    case kBKIncludeCash: return DebitsTheBank() ? t->GetDebitAccount() : tsAlpha();
    case kBKIncludeNonCashWithoutTax:
    case kBKIncludeNonCashWithTax: return DebitsTheBank() ? tsAlpha() : t->GetDebitAccount();
    case kBKIncludeDueFrom: return t->GetDueFromAccount();
    default: return tsAlpha();
  }
}

tsAlpha bkGLTransactionValues::CreditAccount(BKIncludeGLTranTypeEnum type) const {
  const TransactionData* t = Record();
  if (!t) return tsAlpha();
  switch (type) {
    case kBKIncludeCash: return DebitsTheBank() ? tsAlpha() : t->GetCreditAccount();
    case kBKIncludeNonCashWithoutTax:
    case kBKIncludeNonCashWithTax: return DebitsTheBank() ? t->GetCreditAccount() : tsAlpha();
    case kBKIncludeDueTo: return t->GetDueToAccount();
    default: return tsAlpha();
  }
}

bool bkGLTransactionValues::IsNonTaxTransaction() const {
  return m_Detailed && m_Detailed->GetNonCashType() == kNonCashWithoutTax;
}

BKTranTypeEnum bkGLTransactionValues::GetBKTranType() const {
  const TransactionData* t = Record();
  if (!t) return kBKTranOther;
  switch (t->GetType().Get()) {
    case TransactionData::TranTypeEnum::kCheck: return kBKTranCheck;
    case TransactionData::TranTypeEnum::kDeposit: return kBKTranDeposit;
    case TransactionData::TranTypeEnum::kWithdrawal: return kBKTranWithdrawal;
    case TransactionData::TranTypeEnum::kAdjustment:
      if (!t->GetSubtraction()) return kBKTranIncreasingAdjustment;
      if (!t->GetAddition()) return kBKTranDecreasingAdjustment;
      return kBKTranOther;
  }
  return kBKTranOther;
}

tsNum<short> bkGLTransactionValues::GetOmittedGLTTranTypeBitfield(BKIncludeGLTranTypeEnum type) const {
  // Columns: the transaction credits the bank (1, 3, 5), debits it (2, 4),
  // or is neither (0).
  const BKTranTypeEnum k = GetBKTranType();
  const int column = (k == kBKTranOther) ? 2
                     : (k == kBKTranDeposit || k == kBKTranIncreasingAdjustment) ? 1
                                                                                 : 0;
  static constexpr short kCash[3] = {13, 14, 15};
  static constexpr short kNonCash[3] = {14, 13, 15};
  static constexpr short kDueFrom[3] = {11, 11, 15};
  static constexpr short kDueTo[3] = {7, 7, 15};
  switch (type) {
    case kBKIncludeCash: return kCash[column];
    case kBKIncludeNonCashWithoutTax:
    case kBKIncludeNonCashWithTax: return kNonCash[column];
    case kBKIncludeDueFrom: return kDueFrom[column];
    case kBKIncludeDueTo: return kDueTo[column];
    default: return 15;
  }
}

tsDouble bkGLTransactionValues::CheckNumber() const {
  const TransactionData* t = Record();
  if (t && t->GetType().Get() == TransactionData::TranTypeEnum::kCheck) return t->GetCheck();
  return tsDouble(0);
}

tsAlpha bkGLTransactionValues::TranType() const {
  return Record() ? tsAlpha(Record()->TranTypeFullDescription()) : tsAlpha();
}

tsAlpha bkGLTransactionValues::TranDescription() const { return Record() ? Record()->GetDescription() : tsAlpha(); }

tsAlpha bkGLTransactionValues::BankAccount() const { return Record() ? Record()->GetBankAccount() : tsAlpha(); }

tsAlpha bkGLTransactionValues::DepositId() const { return Record() ? Record()->GetDepositID() : tsAlpha(); }
