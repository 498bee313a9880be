// General-ledger accounts and periods: formatting account numbers, building
// accounts and intercompany accounts, matching intercompany prefixes,
// checking the fiscal period of a date for an account or a prefix,
// validating accounts and sections, and setting up account lists.
//
// Accounts use account format 9 (framework/control/account_format.h). The
// general ledger is reached through ledger/gl_binding.h; when it is absent
// each function answers as its comment says (never fatally).
#pragma once

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/io/io_status.h"
#include "framework/module/gl_objects.h"
#include "framework/types/values.h"
#include "framework/ui/filter.h"
#include "framework/ui/query_node.h"
#include "ledger/gl_binding.h"
#include "records/bk_export.h"

class ccProgram;
class tsioCommandReads;

// The two kinds of intercompany account. For building and validating
// intercompany accounts type 0 gives the general ledger's mode 1
// (receivable) and type 1 mode 0 (payable); for the account filters type 0
// gives 2, type 1 gives 1 and any other value 0 (every account). Building
// and validating with any other type ask for no particular intercompany
// use (the general ledger's mode -1).
enum GLIntercompanyType : short {
  kGLICDueFrom = 0,  // intercompany receivable
  kGLICDueTo = 1,    // intercompany payable
};

// What a period check found.
enum GLWarningType : short {
  kGLWarningNone = 0,
  kGLWarningClosedPeriod = 1,
  kGLWarningUndeterminedPeriod = 2,  // no fiscal data available
  kGLWarningFuturePeriod = 3,
};

using glwLevelStatus = ccStatus<ccError::Level>;

// Formatting (never fails): the account formatted / unformatted as a whole
// account; the full prefix (section 6) of the unformatted account.
BK_EXPORT tsAlpha glw_format_account(const tsAlpha& account);
BK_EXPORT tsAlpha glw_unformat_account(const tsAlpha& account);
BK_EXPORT tsAlpha glw_get_full_prefix(const tsAlpha& account);

// The account made of the full prefix of `prefix` and the unformatted
// `base`, built and looked up by the general ledger; `result` is its code.
// Without the general ledger: the unavailable-ledger report, `account`
// empty, `result` untouched. Otherwise the status is clean whatever the code.
BK_EXPORT glwLevelStatus glwBuildAccount(short glm_file, const CString& prefix, const CString& base,
                                         CString& account, GLBuildAccountResults& result);

// The intercompany account for the base account of `second` in the company
// of `first` against the company of `third`. A company without prefixes
// gets the base itself (when not blank) without asking the general ledger.
// Without the general ledger: the unavailable-ledger report and an empty
// account; a general-ledger refusal adds message 1627 with its text and
// gives an empty account. `glm` (may be null) is the GL master file.
BK_EXPORT glwLevelStatus glwBuildIntercompanyAccount(const tsioDataFile* glm, const tsAlpha& first,
                                                     const tsAlpha& second, const tsAlpha& third,
                                                     GLIntercompanyType type, tsAlpha& account);

// Whether the intercompany prefixes of two accounts match (`match`, true
// unless the general ledger says they differ). GLM file number 0 or no
// general ledger: the unavailable-ledger report.
BK_EXPORT glwLevelStatus glwMatchingICPrefixesOnAccounts(const tsAlpha& first, const tsAlpha& second,
                                                         short glm_file, bool& match);

// 0 when the base account may be used for the intercompany type; 1 when the
// general ledger refuses it, after showing its reason to the user unless
// `quiet`. Without the general ledger every account is accepted.
[[nodiscard]] BK_EXPORT ccBoolStatus glwValidICBaseAccount(const tsAlpha& base, GLIntercompanyType type,
                                                           short glm_file, bool quiet);

// 0 when the general ledger finds the account (section 0) / the value of
// the section valid, else 1; without the general ledger every value is
// refused. The numbers and the flag go into the validation request
// (framework/module/gl_functions.h): first = GLM file number, second = the
// intercompany use required, third = reserved, flag = inactive accepted.
[[nodiscard]] BK_EXPORT ccBoolStatus glwValidGLAccount(const tsAlpha& account, unsigned short first, short second,
                                                       short third, bool flag);
[[nodiscard]] BK_EXPORT ccBoolStatus glwValidGLSection(const tsAlpha& value, short section, unsigned short first,
                                                       short second, short third, bool flag);

// The fiscal-period status of `date` for an account (or for a prefix, as
// the account made of the prefix and a base of "1"s). Closed with warning:
// 1605, warning 1. Closed with error: 1606 (warning none). After the known
// periods: 1629, warning 3. Not in any known period: 1624 (level 3). No
// fiscal data (no general ledger): 1623, warning 2. The calendar could not
// be read (an I/O failure, a busy or timed-out read): the fiscal calendar's
// read error 1614, level 4, whatever the status. `warning` may be null.
BK_EXPORT glwLevelStatus glwCheckAccountForClosedPeriod(const tsAlpha& account, const tsDate& date,
                                                        short glm_file, GLWarningType* warning);
BK_EXPORT glwLevelStatus glwCheckPrefixForClosedPeriod(const tsAlpha& prefix, const tsDate& date, short glm_file,
                                                       GLWarningType* warning);

// Queues, on a server inside a writing unit, the reads a period check asks
// every time (the company's calendar from its start and the ledger's
// header, in `glm`), so that they go with the unit's next read instead of
// one request each (framework/io/cursor.h, PrefetchGE). Nothing elsewhere.
// With `reads`, queued for the command it is the scope of instead
// (framework/io/command_reads.h).
BK_EXPORT void glwQueuePeriodCheckReads(const tsioDataFile& glm, tsioCommandReads* reads = nullptr);

// The period messages, each carrying one message with the tags "prefix"
// (" for prefix <formatted full prefix>", or "" without prefixes) and
// "date". Messages and levels: closed-period error 1606, closed-period
// warning 1605, future-period warning 1629, undetermined-period error 1624
// (level 3), undetermined-period warning 1623; all but 1624 at level 2.
BK_EXPORT glwLevelStatus glwClosedPeriodError(const tsAlpha& account, const tsDate& date);
BK_EXPORT glwLevelStatus glwClosedPeriodWarning(const tsAlpha& account, const tsDate& date);
BK_EXPORT glwLevelStatus glwFuturePeriodWarning(const tsAlpha& account, const tsDate& date);
BK_EXPORT glwLevelStatus glwUndeterminedPeriodError(const tsAlpha& account, const tsDate& date);
BK_EXPORT glwLevelStatus glwUndeterminedPeriodWarning(const tsAlpha& account, const tsDate& date);

// Account lists of base accounts / whole accounts: the general ledger's
// conditions for the intercompany type, attached to a query node or added
// to a filter. With a master file `glm` its header decides whether only
// active accounts are listed (else they are). Without the general ledger
// nothing is attached and the filter functions return false; otherwise
// they return the general ledger's answer.
BK_EXPORT void glwAttachControlBaseAccountFilterColumns(const tsioDataFile* glm, short glm_file,
                                                        GLIntercompanyType type, tsdmQueryNode* node);
BK_EXPORT void glwAttachControlFullAccountFilterColumns(const tsioDataFile* glm, short glm_file,
                                                        GLIntercompanyType type, tsdmQueryNode* node);
BK_EXPORT bool glwControlBaseAccountFilter(const tsioDataFile* glm, short glm_file, GLIntercompanyType type,
                                           tsdmFilter& filter);
BK_EXPORT bool glwControlFullAccountFilter(const tsioDataFile* glm, short glm_file, GLIntercompanyType type,
                                           tsdmFilter& filter);

// Message 1603 (no run number for the GL transactions), value 1.
BK_EXPORT ccStatus<ccBoolStatus> glwGLTHeaderUpdateError(const ccProgram* program);
// Message 1604 with "io status" = ccIOStatusStr(status), carrying the status;
// level 4 when the status is fatal, else 3.
BK_EXPORT ccStatus<tsioStatus::Status> glwGLTranWriteError(const ccProgram* program, tsioStatus::Status status);
