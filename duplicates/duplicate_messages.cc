// Messages of duplicate verification (see duplicate_messages.h).
#include "duplicates/duplicate_messages.h"

#include "framework/base/tag_values.h"
#include "records/messages.h"

namespace {

ccStatus<ccError::Level> Make(unsigned short number, ccError::Level level, const tclTagValues& tags) {
  ccError e = ErrorMessage(kBKModuleCode, number, tags);
  e.SetLevel(level);
  return ccStatus<ccError::Level>(level, e);
}

std::string Custom(const char* token) { return tsString::ReplaceCustomDescriptions(token); }

}  // namespace

ccStatus<ccError::Level> bkDupOpenError(const CString& file_name, tsioStatus::Status status) {
  return Make(2200, ccError::kError, {{"file name", file_name}, {"ioStatus", ccIOStatusStr(status)}});
}

ccStatus<ccError::Level> bkDupLookupError(const CString& file_name, const CString& looking_for,
                                          tsioStatus::Status status) {
  return Make(2201, ccError::kFatal,
              {{"file name", file_name},
               {"looking for", Custom(looking_for.c_str())},
               {"ioStatus", ccIOStatusStr(status)}});
}

ccStatus<ccError::Level> bkDupCheckError(const tsAlpha& bank, const tsDouble& check_number) {
  tsDouble number = check_number;
  number.SetDecimals(0);
  return Make(2202, ccError::kError,
              {{"Check", Custom("<8F>")}, {"checkNumber", number.Format()}, {"bankID", bank.str()}});
}

ccStatus<ccError::Level> bkDupDepositError(const tsAlpha& bank, const tsDate& deposit_date,
                                           const tsAlpha& deposit_id) {
  return Make(2203, ccError::kError,
              {{"depositID", deposit_id.str()}, {"depositDate", deposit_date.Format()}, {"bankID", bank.str()}});
}

ccStatus<ccError::Level> bkDupHistoryWarning(tsioStatus::Status status) {
  if (status == tsioStatus::kFileDoesNotExist) return Make(2207, ccError::kWarning, {{"Checks", Custom("<8FP>")}});
  return Make(2206, ccError::kWarning, {{"Checks", Custom("<8FP>")}, {"ioStatus", ccIOStatusStr(status)}});
}
