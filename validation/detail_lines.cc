// The detail-line check of deposits and withdrawals (see detail_lines.h).
#include "validation/detail_lines.h"

namespace bk_validation {

ccStatus<ccError::Level> DetailReadError(const CString& description, tsioStatus::Status status) {
  const ccError::Level level = ccFatalError(status) ? ccError::kFatal : ccError::kError;
  ccErrors errors = RecReadError(description, status).Errors();
  for (ccError& e : errors) e.SetLevel(level);
  return ccStatus<ccError::Level>(level, errors);
}

}  // namespace bk_validation
