// Messages of the bank and run locks.
#include "locking/lock_messages.h"

#include "framework/base/tag_values.h"

namespace {
ccStatus<ccError::Level> Make(unsigned short number, tclTagValues tags) {
  ccError e = ErrorMessage("BK", number, tags);
  e.SetLevel(ccError::kError);
  return ccStatus<ccError::Level>(ccError::kError, e);
}
}  // namespace

ccStatus<ccError::Level> bkLockMessage(unsigned short number, const CString& bank) {
  tclTagValues tags;
  tags.AddValue("BankID", bank);
  return Make(number, tags);
}

ccStatus<ccError::Level> bkLockMessage(unsigned short number, const CString& bank, tsioStatus::Status status) {
  tclTagValues tags;
  tags.AddValue("BankID", bank);
  tags.AddValue("ioStatus", ccIOStatusStr(status));
  return Make(number, tags);
}

ccStatus<ccError::Level> bkRunLockMessage(unsigned short number, const CString& bank, const tsDouble& run,
                                          tsioStatus::Status status) {
  tclTagValues tags;
  tags.AddValue("BankID", bank);
  tsDouble run_text = run;
  run_text.SetDecimals(0);
  tags.AddValue("tranRun", run_text.Format());
  tags.AddValue("ioStatus", ccIOStatusStr(status));
  return Make(number, tags);
}

ccStatus<ccError::Level> bkRunLockMessage(unsigned short number, const CString& bank, tsioStatus::Status status) {
  return bkLockMessage(number, bank, status);
}
