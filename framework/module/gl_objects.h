// The objects of the general-ledger module ("LEDGERCORE"), as the programs
// that load it see them.
//
// Each object is made by a factory the module exports with C linkage
// ("_gl_new_account_builder", ...: glFactoryFunction). Every object derives
// from glObject, whose two operations, in this order, are:
//   QueryInterface(id, &out)  true, with `out` set to the object under the
//                             interface `id`, when the object offers it; false
//                             (out null) otherwise. It hands out the same
//                             object and adds no reference.
//   Release()                 ends the object. A factory's object holds one
//                             reference: release it once, through whichever
//                             of its interfaces the caller holds.
// kIID_glObject names the base interface every object offers.
//
// Texts pass in as zero-terminated strings and out as std::string; no
// operation throws.
#pragma once

#include <cstdint>
#include <string>

#include "framework/types/ts_date.h"

class tsioDataFile;
class tsdmQueryNode;
class tsdmFilter;

// An interface identifier.
struct tspoInterfaceID {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
  friend bool operator==(const tspoInterfaceID& a, const tspoInterfaceID& b) {
    if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
    for (int i = 0; i < 8; ++i) {
      if (a.data4[i] != b.data4[i]) return false;
    }
    return true;
  }
};

inline constexpr tspoInterfaceID kIID_glObject{0x6c470000, 0x0001, 0x4c47, {0x8a, 0x10, 0, 0, 0, 0, 0, 0x01}};
inline constexpr tspoInterfaceID kIID_glAccountBuilder{0x6c470001, 0x0001, 0x4c47, {0x8a, 0x10, 0, 0, 0, 0, 0, 0x02}};
inline constexpr tspoInterfaceID kIID_glFiscalEntity{0x6c470002, 0x0001, 0x4c47, {0x8a, 0x10, 0, 0, 0, 0, 0, 0x03}};
inline constexpr tspoInterfaceID kIID_glICBaseAccountValidator{
    0x6c470003, 0x0001, 0x4c47, {0x8a, 0x10, 0, 0, 0, 0, 0, 0x04}};
inline constexpr tspoInterfaceID kIID_glGLMHeader{0x6c470004, 0x0001, 0x4c47, {0x8a, 0x10, 0, 0, 0, 0, 0, 0x05}};
inline constexpr tspoInterfaceID kIID_glAccountLister{0x6c470005, 0x0001, 0x4c47, {0x8a, 0x10, 0, 0, 0, 0, 0, 0x06}};

class glObject {
 public:
  virtual bool QueryInterface(const tspoInterfaceID& id, void** out) = 0;
  virtual void Release() = 0;

 protected:
  glObject() = default;
  ~glObject() = default;  // objects end through Release only
  glObject(const glObject&) = default;
  glObject& operator=(const glObject&) = default;
};

// A factory of the module: a new object, or null when it cannot make one.
using glFactoryFunction = glObject* (*)();

// The result of building an account from a prefix and a base account.
enum GLBuildAccountResults : short {
  kGLBuildAccountBuilt = 0,         // built; the account exists (or was not checked)
  kGLBuildAccountNotFound = 1,      // built; no such account in the master file
  kGLBuildPrefixNotFound = 2,       // the prefix is not set up
  kGLBuildBaseNotFound = 3,         // the base account is not set up
  kGLBuildMasterUnavailable = 4,    // the master file cannot be read
};

// Codes of the account builder's intercompany operations.
enum glBuilderCode : short {
  kGLBuilderOK = 0,
  kGLBuilderPrefixesDiffer = 1,     // comparing: the intercompany prefixes do not match
  kGLBuilderFirstPrefixUnknown = 2,
  kGLBuilderSecondPrefixUnknown = 3,
  kGLBuilderMasterUnavailable = 4,
  kGLBuilderBaseUnknown = 5,
  kGLBuilderBaseNotIntercompany = 6,
  kGLBuilderAccountUnknown = 7,
};

// Intercompany modes of the builder and the base-account validator.
inline constexpr short kGLICModePayable = 0;
inline constexpr short kGLICModeReceivable = 1;
// Modes of the account lister: every account, due-to (payable) accounts,
// due-from (receivable) accounts.
inline constexpr short kGLListAll = 0;
inline constexpr short kGLListPayable = 1;
inline constexpr short kGLListReceivable = 2;

// Builds accounts from prefixes and base accounts, and intercompany accounts.
// Accounts are unformatted (framework/control/account_format.h, format 9).
class glAccountBuilder : public glObject {
 public:
  // `account` = full prefix + base. With `check` non-zero the prefix, the
  // base and the account are looked up in the master file `glm_file`.
  virtual GLBuildAccountResults Build(short glm_file, const char* full_prefix, const char* base, short check,
                                      std::string* account) = 0;
  // The intercompany account to post in the company of `first` against the
  // company of `third`: the full prefix of `first` followed by `base`; with
  // `prefix_flag` the intercompany section (section 2) of that prefix is
  // the one of `third`. With a master file (glm_file not 0) the base must be
  // set up for the mode (kGLICMode*; any other mode asks for no particular
  // intercompany use) and the account must exist. Returns a
  // glBuilderCode; `out` is set when the code is kGLBuilderOK.
  virtual short BuildIntercompany(short glm_file, const char* first, const char* base, const char* third,
                                  bool prefix_flag, short mode, std::string* out) = 0;
  // Whether the intercompany prefixes of two accounts match: kGLBuilderOK
  // when they do (same prefix, or a recorded match), kGLBuilderPrefixesDiffer
  // when not, 2 to 4 when it cannot tell.
  virtual short CompareICPrefixes(short glm_file, const char* first, const char* second) = 0;
  // The text that explains a glBuilderCode.
  virtual std::string ErrorText(short code) const = 0;

 protected:
  ~glAccountBuilder() = default;
};

// A fiscal date: a fiscal year and a period within it.
struct gl_fiscal_date {
  short year = 0;
  short period = 0;
};

// Fiscal periods of an account's fiscal entity.
class glFiscalEntity : public glObject {
 public:
  // Opens the calendar that applies to `account` (unformatted) in the master
  // file `glm_file`; false when that file cannot be read.
  virtual bool Open(short glm_file, const char* account) = 0;
  // The fiscal date of a date: false when no period covers it.
  virtual bool FiscalDate(const tsDate& date, gl_fiscal_date* out) = 0;
  // The number of a fiscal date's period (year * 100 + period).
  virtual long PeriodNumber(const gl_fiscal_date& date) = 0;
  // The status of a period (tsGLPeriodStatus) for a ledger (1 accrual,
  // 2 cash); `flags` is reserved (0).
  virtual short PeriodStatus(long period_number, short ledger, short flags) = 0;
  // Date status: 1 undetermined, 2 within the known periods, 3 future.
  // A fiscal date is future when its year is after the current fiscal year.
  virtual short DateStatus(const gl_fiscal_date& date) = 0;
  // A date no period covers: 3 after the last period, 4 when the calendar
  // could not be read (ReadFailure says how), else 1.
  virtual short DateStatus(const tsDate& date) = 0;
  // 0 when Open read the calendar whole, else the status
  // (tsioStatus) of the read that failed; no date is then in a period.
  virtual short ReadFailure() = 0;

 protected:
  ~glFiscalEntity() = default;
};

// Checks base accounts used for intercompany accounts.
class glICBaseAccountValidator : public glObject {
 public:
  // 0 when `base` (unformatted) is an active base account set up for the
  // mode (kGLICMode*; any other mode: no particular use); 1 unknown, 2 not
  // set up for the mode, 3 inactive, 4 master file unavailable.
  virtual short Validate(const char* base, short mode, short glm_file) = 0;
  virtual std::string ErrorText(short code) const = 0;

 protected:
  ~glICBaseAccountValidator() = default;
};

// The header of the general-ledger master file.
class glGLMHeader : public glObject {
 public:
  // Opens the header of `file` (a GLM data file). `header` is the header
  // number (1); the other arguments are reserved (0).
  virtual bool Open(const tsioDataFile* file, short header, short, short, short) = 0;
  virtual bool Read() = 0;
  // Whether account lists show active accounts only (after Read).
  virtual bool ActiveAccountsOnly() const = 0;
  virtual short CurrentFiscalYear() const = 0;

 protected:
  ~glGLMHeader() = default;
};

// Sets up account lists: the conditions a list of base accounts (`full`
// false: columns of GLM record type 2) or of whole accounts (`full` true:
// record type 1) applies.
class glAccountLister : public glObject {
 public:
  // Adds the conditions to `node`: active accounts only when
  // `active_only`; for the modes kGLListPayable / kGLListReceivable only
  // accounts set up for that intercompany use.
  virtual void AttachFilterColumns(bool active_only, short glm_file, bool full, short mode,
                                   tsdmQueryNode* node) = 0;
  // The same conditions added to the filter's query; true when the filter
  // restricts the list.
  virtual bool Filter(bool active_only, short glm_file, bool full, short mode, tsdmFilter& filter) = 0;

 protected:
  ~glAccountLister() = default;
};
