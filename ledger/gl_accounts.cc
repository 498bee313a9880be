// General-ledger accounts and periods (see gl_accounts.h).
#include "ledger/gl_accounts.h"

#include <array>
#include <cstring>
#include <string>

#include "framework/control/account_format.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/command_reads.h"
#include "framework/io/cursor.h"
#include "framework/io/header.h"
#include "framework/ui/message.h"
#include "ledger/gl_messages.h"
#include "records/messages.h"

namespace {

constexpr short kFormat = 9;
// Period status values as the fiscal entity answers them.
constexpr short kGLPeriodNoStatusValue = 0;
constexpr short kGLPeriodClosedWarningValue = 3;
constexpr short kGLPeriodClosedErrorValue = 4;

// Mode of the builder and the base-account validator for an intercompany
// type; other types ask for no particular intercompany use.
short BuilderMode(GLIntercompanyType type) {
  switch (type) {
    case kGLICDueFrom: return kGLICModeReceivable;
    case kGLICDueTo: return kGLICModePayable;
  }
  return -1;
}

short ListerMode(GLIntercompanyType type) {
  switch (type) {
    case kGLICDueFrom: return kGLListReceivable;
    case kGLICDueTo: return kGLListPayable;
  }
  return kGLListAll;
}

using Request = std::array<unsigned char, kGLValidRequestSize>;

Request BuildRequest(unsigned short first, short second, short third, bool flag) {
  Request r{};
  const short zero = 0;
  const short wide_flag = flag ? 1 : 0;
  std::memcpy(r.data() + kGLValidRequestFirst, &first, sizeof first);
  std::memcpy(r.data() + kGLValidRequestZero, &zero, sizeof zero);
  std::memcpy(r.data() + kGLValidRequestThird, &third, sizeof third);
  std::memcpy(r.data() + kGLValidRequestSecond, &second, sizeof second);
  std::memcpy(r.data() + kGLValidRequestFlag, &wide_flag, sizeof wide_flag);
  return r;
}

// The validation functions have slots of their own.
glwFunctionSlot<GL_VALID_ACCOUNT_FN> valid_account_slot("GL_VALID_ACCOUNT");
glwFunctionSlot<GL_VALID_SECTION_FN> valid_section_slot("GL_VALID_SECTION");

glwLevelStatus PeriodMessage(unsigned short number, ccError::Level level, const tsAlpha& account,
                             const tsDate& date) {
  tclTagValues tags;
  std::string prefix;
  if (xk_prefixed(kFormat)) {
    prefix = " for prefix " + xk_format_alpha(kFormat, 6, xk_get_section(account, kFormat, 0, 6)).str();
  }
  tags.AddValue("prefix", prefix);
  tags.AddValue("date", date.Format());
  ccError e = ErrorMessage("BK", number, tags);
  e.SetLevel(level);
  return glwLevelStatus(level, e);
}

// Whether only active accounts are listed: the master file's header says
// so when it can be read; otherwise they are.
bool ActiveOnly(const tsioDataFile* glm) {
  bool flag = true;
  if (!glm) return flag;
  glwInterface<glGLMHeader> header(kGLNewGLMHeader, kIID_glGLMHeader);
  if (header && header->Open(glm, 1, 0, 0, 0) && header->Read()) flag = header->ActiveAccountsOnly();
  return flag;
}

void AttachColumns(const tsioDataFile* glm, short glm_file, GLIntercompanyType type, tsdmQueryNode* node,
                   bool full) {
  const bool flag = ActiveOnly(glm);
  glwInterface<glAccountLister> lister(kGLNewAccountLister, kIID_glAccountLister);
  if (lister) lister->AttachFilterColumns(flag, glm_file, full, ListerMode(type), node);
}

bool ControlFilter(const tsioDataFile* glm, short glm_file, GLIntercompanyType type, tsdmFilter& filter,
                   bool full) {
  const bool flag = ActiveOnly(glm);
  glwInterface<glAccountLister> lister(kGLNewAccountLister, kIID_glAccountLister);
  return lister ? lister->Filter(flag, glm_file, full, ListerMode(type), filter) : false;
}

}  // namespace

tsAlpha glw_format_account(const tsAlpha& account) { return xk_format_alpha(kFormat, 0, account); }

tsAlpha glw_unformat_account(const tsAlpha& account) { return xk_unformat_alpha(kFormat, 0, account); }

tsAlpha glw_get_full_prefix(const tsAlpha& account) {
  return xk_get_section(glw_unformat_account(account), kFormat, 0, 6);
}

glwLevelStatus glwBuildAccount(short glm_file, const CString& prefix, const CString& base, CString& account,
                               GLBuildAccountResults& result) {
  glwLevelStatus status;
  glwInterface<glAccountBuilder> builder(kGLNewAccountBuilder, kIID_glAccountBuilder);
  if (!builder) {
    bk_ledger::AddUnavailableReport(status);
    account.clear();
    return status;
  }
  const CString full_prefix = glw_get_full_prefix(tsAlpha(prefix)).Format();
  const tsAlpha unformatted_base = xk_unformat_alpha(kFormat, 0, tsAlpha(base));
  std::string built;
  result = builder->Build(glm_file, full_prefix.c_str(), unformatted_base.c_str(), 1, &built);
  account = built;
  return status;
}

glwLevelStatus glwBuildIntercompanyAccount(const tsioDataFile* glm, const tsAlpha& first, const tsAlpha& second,
                                           const tsAlpha& third, GLIntercompanyType type, tsAlpha& account) {
  glwLevelStatus status;
  const tsAlpha base = xk_unformat_field(kFormat, 7, second);
  if (xk_prefixed(kFormat) == 0 && !base.IsBlank()) {
    account = base;
    return status;
  }
  glwInterface<glAccountBuilder> builder(kGLNewAccountBuilder, kIID_glAccountBuilder);
  if (!builder) {
    bk_ledger::AddUnavailableReport(status);
    account.Clear();
    return status;
  }
  const short file_number = glm ? glm->FileNum() : 0;
  const bool prefix_flag = glm != nullptr && xk_width(kFormat, 2) != 0;
  std::string out;
  const short code = builder->BuildIntercompany(file_number, first.c_str(), base.c_str(), third.c_str(),
                                                prefix_flag, BuilderMode(type), &out);
  if (code != 0) {
    status.Merge(GLBuildIntercompanyAccountError(builder->ErrorText(code)));
    out.clear();
  }
  account = tsAlpha(out);
  return status;
}

glwLevelStatus glwMatchingICPrefixesOnAccounts(const tsAlpha& first, const tsAlpha& second, short glm_file,
                                               bool& match) {
  glwLevelStatus status;
  match = true;
  if (glm_file == 0) {
    bk_ledger::AddUnavailableReport(status);
    return status;
  }
  glwInterface<glAccountBuilder> builder(kGLNewAccountBuilder, kIID_glAccountBuilder);
  if (!builder) {
    bk_ledger::AddUnavailableReport(status);
    return status;
  }
  const short code = builder->CompareICPrefixes(glm_file, first.c_str(), second.c_str());
  if (code == kGLBuilderOK) {
    match = true;
  } else if (code == kGLBuilderPrefixesDiffer) {
    match = false;
  } else if (code >= 2 && code <= 4) {
    status.Merge(GLBuildIntercompanyAccountError(builder->ErrorText(code)));
  }
  return status;
}

ccBoolStatus glwValidICBaseAccount(const tsAlpha& base, GLIntercompanyType type, short glm_file, bool quiet) {
  glwInterface<glICBaseAccountValidator> validator(kGLNewICBaseAccountValidator, kIID_glICBaseAccountValidator);
  if (!validator) return kBoolSuccess;
  const tsAlpha unformatted = xk_unformat_field(kFormat, 7, base);
  const short code = validator->Validate(unformatted.c_str(), BuilderMode(type), glm_file);
  if (code == 0) return kBoolSuccess;
  if (!quiet) (void)xw_wr_message(0, kXwError, validator->ErrorText(code), 0);
  return kBoolFailure;
}

ccBoolStatus glwValidGLAccount(const tsAlpha& account, unsigned short first, short second, short third,
                               bool flag) {
  Request request = BuildRequest(first, second, third, flag);
  const tsAlpha unformatted = xk_unformat_field(kFormat, 0, account);
  int32_t result = 0;
  const auto fn = valid_account_slot.Get();
  const short answer = fn ? fn(request.data(), 0, 0, unformatted.c_str(), 0, 0, &result) : 1;
  return answer == kGLValid ? kBoolSuccess : kBoolFailure;
}

ccBoolStatus glwValidGLSection(const tsAlpha& value, short section, unsigned short first, short second,
                               short third, bool flag) {
  if (section == 0) return glwValidGLAccount(value, first, second, third, flag);
  Request request = BuildRequest(first, second, third, flag);
  const tsAlpha unformatted = xk_unformat_field(kFormat, section, value);
  int32_t result = 0;
  const auto fn = valid_section_slot.Get();
  const short answer = fn ? fn(request.data(), section, 0, 0, unformatted.c_str(), 0, &result) : 1;
  return answer == kGLValid ? kBoolSuccess : kBoolFailure;
}

glwLevelStatus glwCheckAccountForClosedPeriod(const tsAlpha& account, const tsDate& date, short glm_file,
                                              GLWarningType* warning) {
  const tsAlpha unformatted = xk_unformat_field(kFormat, 0, account);
  short period_status = kGLPeriodNoStatusValue;
  short date_status = 2;
  if (warning) *warning = kGLWarningNone;

  glwInterface<glFiscalEntity> entity(kGLNewFiscalEntity, kIID_glFiscalEntity);
  if (entity && entity->Open(glm_file, unformatted.c_str())) {
    gl_fiscal_date fiscal;
    if (entity->FiscalDate(date, &fiscal)) {
      const long period = entity->PeriodNumber(fiscal);
      period_status = entity->PeriodStatus(period, 1, 0);
      date_status = entity->DateStatus(fiscal);
      if (date_status == 3) period_status = kGLPeriodNoStatusValue;
    } else {
      date_status = entity->DateStatus(date);
    }
  }
  if (date_status == 4) {
    // The calendar could not be read: a failure of this check, never an
    // answer about the date.
    const auto failed = static_cast<tsioStatus::Status>(entity->ReadFailure());
    ccErrors errors = RecReadError("general-ledger fiscal calendar", failed).Errors();
    for (ccError& e : errors) e.SetLevel(ccError::kFatal);
    return glwLevelStatus(ccError::kFatal, errors);
  }

  glwLevelStatus status;
  switch (period_status) {
    case kGLPeriodNoStatusValue:
      if (!entity) {
        if (warning) *warning = kGLWarningUndeterminedPeriod;
        status = glwUndeterminedPeriodWarning(unformatted, date);
      } else if (date_status == 1) {
        status = glwUndeterminedPeriodError(unformatted, date);
      } else if (date_status == 3) {
        if (warning) *warning = kGLWarningFuturePeriod;
        status = glwFuturePeriodWarning(unformatted, date);
      }
      break;
    case kGLPeriodClosedWarningValue:
      if (warning) *warning = kGLWarningClosedPeriod;
      status = glwClosedPeriodWarning(unformatted, date);
      break;
    case kGLPeriodClosedErrorValue:
      status = glwClosedPeriodError(unformatted, date);
      break;
    default:
      break;
  }
  return status;
}

glwLevelStatus glwCheckPrefixForClosedPeriod(const tsAlpha& prefix, const tsDate& date, short glm_file,
                                             GLWarningType* warning) {
  const int base_width = xk_width(kFormat, 4) + xk_width(kFormat, 5);
  tsAlpha account = prefix;
  account += std::string(static_cast<size_t>(base_width > 0 ? base_width : 0), '1');
  return glwCheckAccountForClosedPeriod(account, date, glm_file, warning);
}

glwLevelStatus glwClosedPeriodError(const tsAlpha& account, const tsDate& date) {
  return PeriodMessage(1606, ccError::kWarning, account, date);
}
glwLevelStatus glwClosedPeriodWarning(const tsAlpha& account, const tsDate& date) {
  return PeriodMessage(1605, ccError::kWarning, account, date);
}
glwLevelStatus glwFuturePeriodWarning(const tsAlpha& account, const tsDate& date) {
  return PeriodMessage(1629, ccError::kWarning, account, date);
}
glwLevelStatus glwUndeterminedPeriodError(const tsAlpha& account, const tsDate& date) {
  return PeriodMessage(1624, ccError::kError, account, date);
}
glwLevelStatus glwUndeterminedPeriodWarning(const tsAlpha& account, const tsDate& date) {
  return PeriodMessage(1623, ccError::kWarning, account, date);
}

void glwAttachControlBaseAccountFilterColumns(const tsioDataFile* glm, short glm_file, GLIntercompanyType type,
                                              tsdmQueryNode* node) {
  AttachColumns(glm, glm_file, type, node, false);
}
void glwAttachControlFullAccountFilterColumns(const tsioDataFile* glm, short glm_file, GLIntercompanyType type,
                                              tsdmQueryNode* node) {
  AttachColumns(glm, glm_file, type, node, true);
}
bool glwControlBaseAccountFilter(const tsioDataFile* glm, short glm_file, GLIntercompanyType type,
                                 tsdmFilter& filter) {
  return ControlFilter(glm, glm_file, type, filter, false);
}
bool glwControlFullAccountFilter(const tsioDataFile* glm, short glm_file, GLIntercompanyType type,
                                 tsdmFilter& filter) {
  return ControlFilter(glm, glm_file, type, filter, true);
}

ccStatus<ccBoolStatus> glwGLTHeaderUpdateError(const ccProgram* /*program*/) {
  return ccStatus<ccBoolStatus>(kBoolFailure, ErrorMessage("BK", 1603, tclTagValues()));
}

ccStatus<tsioStatus::Status> glwGLTranWriteError(const ccProgram* /*program*/, tsioStatus::Status status) {
  tclTagValues tags;
  tags.AddValue("io status", ccIOStatusStr(status));
  ccError e = ErrorMessage("BK", 1604, tags);
  e.SetLevel(ccFatalError(status) ? ccError::kFatal : ccError::kError);
  return ccStatus<tsioStatus::Status>(status, e);
}

void glwQueuePeriodCheckReads(const tsioDataFile& glm, tsioCommandReads* reads) {
  // The company's calendar (what an account without a calendar of its own
  // is checked against) from its start, and the header, as the checks read
  // them.
  tsGLFiscalPeriodRec period;
  period.entity = tsAlpha("");
  period.year = 0;
  period.period = 0;
  tsioCursor periods(period, glm, kGLMFiscalPeriod, 0);
  const tsioHeader header(glm, kGLMHeader);
  if (reads != nullptr) {
    reads->PrefetchGE(periods);
    reads->Prefetch(header);
  } else {
    periods.PrefetchGE();
    header.Prefetch();
  }
}
