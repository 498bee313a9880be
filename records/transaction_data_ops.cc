// Record operations of TransactionData: amounts, texts, new records.
#include <string>

#include "records/transaction_data.h"

const char* TransactionData::ReconcileStateCode(int state) {
  switch (state) {
    case kStateOpen: return kOpenCode;
    case kStateCleared: return kClearedCode;
    case kStateReconciled: return kReconciledCode;
    default: return "";
  }
}

const char* TransactionData::ReconcileStateText(int state) {
  switch (state) {
    case kStateOpen: return kOpenText;
    case kStateCleared: return kClearedText;
    case kStateReconciled: return kReconciledText;
    default: return "";
  }
}

tsCurrency TransactionData::GetAmount() const { return GetAddition() - GetSubtraction(); }

std::string TransactionData::TranTypeFullDescription() const {
  const char* text = "ERROR";
  switch (GetType().Value()) {
    case 1: text = "<8I>"; break;
    case 2: text = "Deposit"; break;
    case 3: text = "Withdrawal"; break;
    case 4: text = "Adjustment"; break;
    default: break;
  }
  return tsString::ReplaceCustomDescriptions(text);
}

std::string TransactionData::MessageText() const {
  std::string text = TranTypeFullDescription() + " transaction ";
  if (!GetBankAccount().IsBlank()) {
    text += tsString::ReplaceCustomDescriptions("for Bank \"") + GetBankAccount().Format() + "\"";
  }
  return text;
}

void TransactionData::PrefillFields(const CString&, const tsData&) {}

ccStatus<ccBoolStatus> TransactionData::Validate() { return ccStatus<ccBoolStatus>(kBoolSuccess); }

ccStatus<ccBoolStatus> TransactionData::ValidateField(const CString&, const tsData&) {
  return ccStatus<ccBoolStatus>(kBoolSuccess);
}
