// The module's message functions: every user-visible error and warning that
// several subsystems share, built from the message catalogue under the module
// code "BK" with named tag values, and wrapped in the result kind callers
// expect.
//
// Levels: functions whose names end in "Warning" give level 2, the others
// level 3, unless stated. Result kinds:
//   ccStatus<TransferStatus>      1 for a failed record move/read/write/delete
//                                 whose I/O status is not fatal, 2 when it is
//                                 (ccFatalError);
//   ccStatus<ccError::Level>      the level of the message carried;
//   ccStatus<ccBoolStatus>        1 (failure) with the message;
//   ccStatus<tsioStatus::Status>  the I/O status with the message.
// I/O statuses become tag text through ccIOStatusStr, dates and bank account
// ids through their own text.
#pragma once

#include "framework/base/errors.h"
#include "framework/io/io_status.h"
#include "framework/types/values.h"
#include "records/bk_export.h"
#include "records/transfer_status.h"

class tsioCursor;

// The module code of every catalogue message of the library.
inline constexpr const char kBKModuleCode[] = "BK";

// 1600 "field name".
BK_EXPORT ccErrors RequiredFieldMessage(const CString& field_name);
// 1601 "task description".
BK_EXPORT ccError BlankDesignNameError(const CString& task_description);
// 1602 "rec desc", "io status".
BK_EXPORT ccStatus<TransferStatus> ErrorTransferringRecord(const CString& record_description,
                                                           tsioStatus::Status status);
// 1607, level 3.
BK_EXPORT ccStatus<ccError::Level> bktInvalidTransactionTypeError();
// 1608 "field desc", "blank or zero" when `level` is 3 or 4 (an error), else
// 1609 (a warning); the result has the level given.
BK_EXPORT ccStatus<ccError::Level> bktBlankFieldError(const CString& field_description,
                                                      const CString& blank_or_zero, ccError::Level level);
// 1610 "field desc", "blank or zero"; level 3.
BK_EXPORT ccStatus<ccError::Level> bktNonBlankFieldError(const CString& field_description,
                                                         const CString& blank_or_zero);
// 1611 "rec desc 1", "rec desc 2"; level 3.
BK_EXPORT ccStatus<ccError::Level> bktRec1HasNoRec2Error(const CString& record_description1,
                                                         const CString& record_description2);
// 1612 "rec desc 1", "rec desc 2"; level 3.
BK_EXPORT ccStatus<ccError::Level> bktRec1DoesNotAddUpToRec2(const CString& record_description1,
                                                             const CString& record_description2);
// 1613, 1614, 1615 "rec desc", "io status".
BK_EXPORT ccStatus<TransferStatus> RecDeleteError(const CString& record_description, tsioStatus::Status status);
BK_EXPORT ccStatus<TransferStatus> RecReadError(const CString& record_description, tsioStatus::Status status);
BK_EXPORT ccStatus<TransferStatus> RecWriteError(const CString& record_description, tsioStatus::Status status);
// 1616, 1617 "io status"; value 1.
BK_EXPORT ccStatus<ccBoolStatus> bktHeaderReadError(tsioStatus::Status status);
BK_EXPORT ccStatus<ccBoolStatus> bktHeaderUpdateError(tsioStatus::Status status);
// 1618 "tran text"; level 3.
BK_EXPORT ccStatus<ccError::Level> bktBatchUpdateError(const CString& transaction_text);
// 1619 "io status", "tran text"; level 3.
BK_EXPORT ccStatus<ccError::Level> bktTranDeleteError(const CString& transaction_text, tsioStatus::Status status);
// 1620 "tran text", "io status"; level 4 when the status is fatal, else 3.
BK_EXPORT ccStatus<ccError::Level> bktTranWriteError(const CString& transaction_text, tsioStatus::Status status);
// 1621 "rec desc", "attachments desc" ("attachments" when the application
// keeps attachments, else "notes"), "io status".
BK_EXPORT ccStatus<TransferStatus> RecAttachmentsReadError(const CString& record_description,
                                                           tsioStatus::Status status);
// 1622 "io status".
BK_EXPORT ccStatus<TransferStatus> TranNotesError(tsioStatus::Status status);
// 1625 "actg date", "date2"; level 2.
BK_EXPORT ccStatus<ccError::Level> BeforeLastYearWarning(const tsDate& accounting_date, const tsDate& date2);
// 1626 "actg date", "date2"; level 3.
BK_EXPORT ccStatus<ccError::Level> AfterNextYearError(const tsDate& accounting_date, const tsDate& date2);
// 1627 "GL error"; level 3.
BK_EXPORT ccStatus<ccError::Level> GLBuildIntercompanyAccountError(const CString& gl_error);
// 1628 "batch" = the user's term for a batch (custom description "<1>").
BK_EXPORT ccError FullyPostedBatchSelectedError();
// 1630, 1631.
BK_EXPORT ccError CannotOpenControlFile();
BK_EXPORT ccError CannotWriteControlFile();
// 1632, 1633 "bank account", "io status".
BK_EXPORT ccError LastTranUpdateError(const tsAlpha& bank_account, tsioStatus::Status status);
BK_EXPORT ccError LastTranLockError(const tsAlpha& bank_account, tsioStatus::Status status);
// 2000 "BankAccount"; level 3.
BK_EXPORT ccStatus<ccError::Level> NoAssociatedBankAccountRecord(const CString& bank_account);
// 2001 "action", "RecordType", "ioStatus"; level 3.
BK_EXPORT ccStatus<ccError::Level> CannotActionRecordBecause(const CString& action, const CString& record_type,
                                                             tsioStatus::Status status);
// 2002 "ioStatus"; level 2.
BK_EXPORT ccStatus<ccError::Level> CannotReturnToBookmarkedPositionBecause(tsioStatus::Status status);
// 2004; level 3.
BK_EXPORT ccStatus<ccError::Level> CannotClearUnpostedTransaction();
// Message 5000, level 3, built directly: "Could not read " + the record
// description of the cursor's record type + " - " + ccIOStatusStr(status) +
// "."; the result carries `status`.
BK_EXPORT ccStatus<tsioStatus::Status> InvalidRecordFetch(const tsioCursor& cursor, tsioStatus::Status status);
