// Operations of the bank-account record (declared in its hand-written part,
// records/bank_account_data_ops.inc).
#include "records/bank_account_data.h"

std::string BankAccountData::TypeString(int code) const {
  static const char* const kTexts[] = {"Checking",   "Savings",           "Money Market", "Investment",
                                       "Mutual Funds", "Operating Expenses", "Lease Deposit", "Credit Card",
                                       "Credit Line", "Draw"};
  if (code == 0) code = GetAccountType().Value();
  if (code >= 1 && code <= 10) return kTexts[code - 1];
  return "UNKNOWN";
}
