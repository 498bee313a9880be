// Test helpers of the general-ledger functions: a temporary company with a
// control file (account format 9 with or without prefixes) and GL master
// data written from text rows, what the functions that need the general
// ledger answer without it, and access to the general-ledger module's test
// switches.
#pragma once

#include <memory>
#include <string>

#include "framework/base/errors.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/file_manager.h"
#include "tests/support/status_text.h"
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

  const std::string& Folder() const { return dir_.path(); }
  tsioDataFile& Glm() const { return *glm_; }

  // GLM records from text rows, one a line, "COLUMN=value;..." with the
  // columns of gl_files.h; a row's first column names its record type (GA
  // account, GB base account, GP prefix, GM prefix match, GF fiscal period). An account's
  // prefix and base are taken from it by the company's format.
  void Add(const std::string& rows);
  void AddAccount(const std::string& account, bool active = true, bool ic_receivable = false,
                  bool ic_payable = false);
  void AddPrefix(const std::string& prefix) { Add("GPPFX=" + prefix); }
  void AddPrefixMatch(const std::string& a, const std::string& b) { Add("GMPFX1=" + a + ";GMPFX2=" + b); }
  // Periods 1, 2, ... of `year` for `entity`, each a calendar month, one per
  // digit of `statuses` (its tsGLPeriodStatus).
  void AddPeriods(const std::string& entity, short year, const std::string& statuses);
  // A calendar of twelve months of `year` for `entity`, every period open.
  void AddYear(const std::string& entity, short year) { AddPeriods(entity, year, "111111111111"); }
  void SetHeader(short current_year, bool active_only);

 private:
  bktest::TestCompany dir_;
  std::string previous_folder_;
  std::unique_ptr<tsioFileManager> files_;
  tsioDataFile* glm_ = nullptr;
};

// The unavailable-ledger report as Answer writes it: 1627 (level 3) and
// the reinstall advice.
inline constexpr char kUnavailableReport[] =
    "3 | 1627/3 General Ledger could not build the intercompany account: could not initialize General Ledger's "
    "account data. | 0/0  (You may need to reinstall General Ledger.)";
// A status as bktest::Said writes it, then each message's second line in
// brackets; the unavailable-ledger report as "unavailable".
template <typename Status>
std::string Answer(const Status& st) {
  std::string s = bktest::Said(st);
  for (const ccError& e : st.Errors()) {
    if (!e.Text2().empty()) s += " (" + e.Text2() + ")";
  }
  return s == kUnavailableReport ? "unavailable" : s;
}
// Runs each line of `script`, "<call> <arguments>" up to any " -> ", against
// `company` and writes it back as "<line> -> <answer>" (calls that answer
// nothing, such as "header", as they are), so that a script written with its
// answers is checked whole: EXPECT_EQ(Ask(company, script), script). The
// calls and their answers are described where they are run.
std::string Ask(LedgerCompany& company, const std::string& script);

// Loads the general-ledger module from the build tree; 0 on failure.
unsigned short LoadLedgerModule();
// The module's live objects (-1 when it is not loaded).
int LiveObjects();
// The module's test switches: "gl_refuse_interfaces" (every interface asked
// of an object refused) and "gl_fail_factories" (no object made).
void Switch(const char* name, bool on);
// The module's `nth` call of `function` (any function when null) and the
// `times` - 1 calls after it fail with `status`; (nullptr, 0, 0, 0) clears.
void FailCall(const char* function, int nth, int status, int times);
// The module's calls of `function` (all when null) so far; -1 when not loaded.
int CallCount(const char* function);

}  // namespace gltest
