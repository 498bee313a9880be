// The module's message functions (see messages.h).
#include "records/messages.h"

#include <string>
#include <utility>

#include "framework/base/application.h"
#include "framework/base/tag_values.h"
#include "framework/io/cursor.h"
#include "framework/io/dictionary.h"

namespace {

const char* const kModule = kBKModuleCode;

// The catalogue message `number` with the tags, in the order given.
ccError Message(unsigned short number, tclTagValues tags = {}) { return ErrorMessage(kModule, number, tags); }

ccStatus<ccError::Level> AtLevel(ccError::Level level, ccError error) {
  error.SetLevel(level);
  return ccStatus<ccError::Level>(level, error);
}

// Transfer kind: 2 when the I/O status is fatal, else 1.
ccStatus<TransferStatus> Transfer(ccError error, tsioStatus::Status status) {
  return ccStatus<TransferStatus>(ccFatalError(status) ? kTransferFatal : kTransferFailed, error);
}

std::string Io(tsioStatus::Status status) { return ccIOStatusStr(status); }

}  // namespace

ccErrors RequiredFieldMessage(const CString& field_name) {
  ccErrors errors;
  errors.Add(Message(1600, {{"field name", field_name}}));
  return errors;
}

ccError BlankDesignNameError(const CString& task_description) {
  return Message(1601, {{"task description", task_description}});
}

ccStatus<TransferStatus> ErrorTransferringRecord(const CString& record_description, tsioStatus::Status status) {
  return Transfer(Message(1602, {{"rec desc", record_description}, {"io status", Io(status)}}), status);
}

ccStatus<ccError::Level> bktInvalidTransactionTypeError() { return AtLevel(ccError::kError, Message(1607)); }

ccStatus<ccError::Level> bktBlankFieldError(const CString& field_description, const CString& blank_or_zero,
                                            ccError::Level level) {
  const bool error = level == ccError::kError || level == ccError::kFatal;
  ccError message = Message(error ? 1608 : 1609, {{"field desc", field_description}, {"blank or zero", blank_or_zero}});
  if (error) message.SetLevel(level);
  return ccStatus<ccError::Level>(level, message);
}

ccStatus<ccError::Level> bktNonBlankFieldError(const CString& field_description, const CString& blank_or_zero) {
  return AtLevel(ccError::kError,
                 Message(1610, {{"field desc", field_description}, {"blank or zero", blank_or_zero}}));
}

ccStatus<ccError::Level> bktRec1HasNoRec2Error(const CString& record_description1,
                                               const CString& record_description2) {
  return AtLevel(ccError::kError,
                 Message(1611, {{"rec desc 1", record_description1}, {"rec desc 2", record_description2}}));
}

ccStatus<ccError::Level> bktRec1DoesNotAddUpToRec2(const CString& record_description1,
                                                   const CString& record_description2) {
  return AtLevel(ccError::kError,
                 Message(1612, {{"rec desc 1", record_description1}, {"rec desc 2", record_description2}}));
}

ccStatus<TransferStatus> RecDeleteError(const CString& record_description, tsioStatus::Status status) {
  return Transfer(Message(1613, {{"rec desc", record_description}, {"io status", Io(status)}}), status);
}

ccStatus<TransferStatus> RecReadError(const CString& record_description, tsioStatus::Status status) {
  return Transfer(Message(1614, {{"rec desc", record_description}, {"io status", Io(status)}}), status);
}

ccStatus<TransferStatus> RecWriteError(const CString& record_description, tsioStatus::Status status) {
  return Transfer(Message(1615, {{"rec desc", record_description}, {"io status", Io(status)}}), status);
}

ccStatus<ccBoolStatus> bktHeaderReadError(tsioStatus::Status status) {
  return ccStatus<ccBoolStatus>(kBoolFailure, Message(1616, {{"io status", Io(status)}}));
}

ccStatus<ccBoolStatus> bktHeaderUpdateError(tsioStatus::Status status) {
  return ccStatus<ccBoolStatus>(kBoolFailure, Message(1617, {{"io status", Io(status)}}));
}

ccStatus<ccError::Level> bktBatchUpdateError(const CString& transaction_text) {
  return AtLevel(ccError::kError, Message(1618, {{"tran text", transaction_text}}));
}

ccStatus<ccError::Level> bktTranDeleteError(const CString& transaction_text, tsioStatus::Status status) {
  return AtLevel(ccError::kError, Message(1619, {{"io status", Io(status)}, {"tran text", transaction_text}}));
}

ccStatus<ccError::Level> bktTranWriteError(const CString& transaction_text, tsioStatus::Status status) {
  return AtLevel(ccFatalError(status) ? ccError::kFatal : ccError::kError,
                 Message(1620, {{"tran text", transaction_text}, {"io status", Io(status)}}));
}

ccStatus<TransferStatus> RecAttachmentsReadError(const CString& record_description, tsioStatus::Status status) {
  const char* what = TSGetApp()->AttachmentsInUse() ? "attachments" : "notes";
  return Transfer(
      Message(1621, {{"rec desc", record_description}, {"attachments desc", what}, {"io status", Io(status)}}),
      status);
}

ccStatus<TransferStatus> TranNotesError(tsioStatus::Status status) {
  return Transfer(Message(1622, {{"io status", Io(status)}}), status);
}

ccStatus<ccError::Level> BeforeLastYearWarning(const tsDate& accounting_date, const tsDate& date2) {
  return AtLevel(ccError::kWarning,
                 Message(1625, {{"actg date", accounting_date.Format()}, {"date2", date2.Format()}}));
}

ccStatus<ccError::Level> AfterNextYearError(const tsDate& accounting_date, const tsDate& date2) {
  return AtLevel(ccError::kError, Message(1626, {{"actg date", accounting_date.Format()}, {"date2", date2.Format()}}));
}

ccStatus<ccError::Level> GLBuildIntercompanyAccountError(const CString& gl_error) {
  return AtLevel(ccError::kError, Message(1627, {{"GL error", gl_error}}));
}

ccError FullyPostedBatchSelectedError() {
  return Message(1628, {{"batch", tsString::ReplaceCustomDescriptions("<1>")}});
}

ccError CannotOpenControlFile() { return Message(1630); }

ccError CannotWriteControlFile() { return Message(1631); }

ccError LastTranUpdateError(const tsAlpha& bank_account, tsioStatus::Status status) {
  return Message(1632, {{"bank account", bank_account.str()}, {"io status", Io(status)}});
}

ccError LastTranLockError(const tsAlpha& bank_account, tsioStatus::Status status) {
  return Message(1633, {{"bank account", bank_account.str()}, {"io status", Io(status)}});
}

ccStatus<ccError::Level> NoAssociatedBankAccountRecord(const CString& bank_account) {
  return AtLevel(ccError::kError, Message(2000, {{"BankAccount", bank_account}}));
}

ccStatus<ccError::Level> CannotActionRecordBecause(const CString& action, const CString& record_type,
                                                   tsioStatus::Status status) {
  return AtLevel(ccError::kError,
                 Message(2001, {{"action", action}, {"RecordType", record_type}, {"ioStatus", Io(status)}}));
}

ccStatus<ccError::Level> CannotReturnToBookmarkedPositionBecause(tsioStatus::Status status) {
  return AtLevel(ccError::kWarning, Message(2002, {{"ioStatus", Io(status)}}));
}

ccStatus<ccError::Level> CannotClearUnpostedTransaction() { return AtLevel(ccError::kError, Message(2004)); }

ccStatus<tsioStatus::Status> InvalidRecordFetch(const tsioCursor& cursor, tsioStatus::Status status) {
  xio_rec_def def;
  CString description;
  if (xio_get_rec_def(cursor.File().FileNum(), cursor.TableID(), &def) == tsioStatus::kSuccess) {
    description = def.text;
  }
  ccError error(5000, ccError::kError, "Could not read " + description + " - " + ccIOStatusStr(status) + ".", "", 0);
  return ccStatus<tsioStatus::Status>(status, error);
}
