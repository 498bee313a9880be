// Test helpers of the general-ledger functions: a temporary company with a
// control file (account format 9 with or without prefixes) and GL master
// data written through the framework, and access to the general-ledger
// module's test switches.
#pragma once

#include <memory>
#include <string>

#include "framework/base/errors.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/file_manager.h"
#include "tests/support/test_support.h"

namespace gltest {

// A company in a temporary folder, installed as the application's company
// for the life of the object. Accounts are given unformatted.
class LedgerCompany {
 public:
  // Format 9: sections 2, 2, 0, 4, 3 wide ("01-01-1000-100"), prefixes used
  // or not.
  explicit LedgerCompany(bool prefixed);
  ~LedgerCompany();
  LedgerCompany(const LedgerCompany&) = delete;
  LedgerCompany& operator=(const LedgerCompany&) = delete;

  const std::string& Folder() const { return dir_.path(); }
  tsioDataFile& Glm() const { return *glm_; }
  short GlmNum() const;

  // The account's prefix and base are taken from it by the company's format.
  void AddAccount(const std::string& account, bool active = true, bool ic_receivable = false,
                  bool ic_payable = false);
  void AddBase(const std::string& base, bool ic_receivable = false, bool ic_payable = false, bool active = true);
  void AddPrefix(const std::string& prefix);
  void AddPrefixMatch(const std::string& a, const std::string& b);
  void AddPeriod(const std::string& entity, short year, short period, const tsDate& start, const tsDate& end,
                 short status);
  // A calendar of twelve months of `year` for `entity`, every period open.
  void AddYear(const std::string& entity, short year);
  void SetHeader(short current_year, bool active_only);

 private:
  void Insert(ccRecData& rec);
  bktest::TestCompany dir_;
  std::string previous_folder_;
  std::unique_ptr<tsioFileManager> files_;
  tsioDataFile* glm_ = nullptr;
};

// The unavailable-ledger report: 1627 (level 3) and the reinstall line.
void ExpectUnavailableReport(const ccStatus<ccError::Level>& st);
// Every function that needs a general-ledger object answers as it does
// without the general ledger (on a prefixed company): the unavailable-ledger
// report and empty results, glwValidICBaseAccount accepts, the undetermined
// period warning 1623 for 2025-03-01, no filter condition.
void ExpectAnswersWithoutTheLedger(LedgerCompany& company);

// Loads the general-ledger module from the build tree; 0 on failure.
unsigned short LoadLedgerModule();
// The module's live objects (-1 when it is not loaded).
int LiveObjects();
void RefuseInterfaces(bool on);
void FailFactories(bool on);
// The module's `nth` call of `function` (any function when null) and the
// `times` - 1 calls after it fail with `status`; (nullptr, 0, 0, 0) clears.
void FailCall(const char* function, int nth, int status, int times);
// The module's calls of `function` (all when null) so far; -1 when not loaded.
int CallCount(const char* function);

}  // namespace gltest
