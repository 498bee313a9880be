// The GL account and period functions with the general-ledger module loaded,
// over GL master data written into a temporary company: building accounts
// and intercompany accounts, prefix matching, validation, period checks and
// account filters, with and without prefixes, and objects that cannot be
// obtained (neither called nor released, nothing left alive).
#include "ledger/gl_accounts.h"

#include <gtest/gtest.h>

#include "framework/io/faults.h"
#include "ledger/gl_test_support.h"
#include "tests/support/status_text.h"

namespace {

// A prefixed company: companies 0101 and 0202 (section 2 is the
// intercompany part), 0102, company 01's side of its business with company
// 02, and 0303, matched with 0101. Base accounts: cash 1000100, due from
// 1500000, due to 2500000, inactive 3000000. Fiscal periods: the company's
// calendar for 2025 (current year; January closed with a warning, February
// closed, March open, April without status, no periods after) and 2026
// (January closed, February closed with a warning), and a calendar of its
// own for 0202 (2025).
class GLAccounts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(gltest::LoadLedgerModule(), 0);
    ASSERT_EQ(gltest::LiveObjects(), 0);
    company.Add(R"(GPPFX=0101 GPPFX=0202 GPPFX=0102 GPPFX=0303 GMPFX1=0101;GMPFX2=0303
                   GBBASE=1000100 GBBASE=1500000;GBICRC=1 GBBASE=2500000;GBICPY=1 GBBASE=3000000;GBACTIV=0
                   GAACCT=01011000100 GAACCT=02021000100 GAACCT=01021500000 GAACCT=01022500000 GAACCT=02011500000
                   GAACCT=01011500000;GAICRC=1 GAACCT=01013000000;GAACTIV=0)");
    company.SetHeader(2025, true);
    company.AddPeriods("", 2025, "3410");
    company.AddPeriods("", 2026, "43");
    company.AddPeriods("0202", 2025, "111111111111");
  }
  void TearDown() override {
    gltest::Switch("gl_refuse_interfaces", false);
    gltest::Switch("gl_fail_factories", false);
    EXPECT_EQ(gltest::LiveObjects(), 0) << "a general-ledger object was left alive";
  }
  gltest::LedgerCompany company{true};
};

// Build results: 0 built, 1 no such account, 2 no such prefix, 3 no such
// base. Intercompany accounts: section 2 comes from the third account when
// the master file is given (without it nothing is looked up and section 2
// stays); refusals carry the general ledger's text in message 1627 and give
// an empty account. Period warnings: 0 none, 1 closed, 3 future.
TEST_F(GLAccounts, EveryFunctionAnswersAsTheMasterDataSays) {
  const std::string script = R"(build 01-01 1000-100 -> [01011000100] 0 0
build 01-01-1000-100 1000100 -> [01011000100] 0 0
build 0202 1500000 -> [02021500000] 1 0
build 0909 1000100 -> [09091000100] 2 0
build 0101 7777777 -> [01017777777] 3 0
ic 01-01-1000-100 02-02-1500-000 from -> [01021500000] 0
ic 01011000100 2500000 to -> [01022500000] 0
ic 01011000100 1500000 nofile -> [01011500000] 0
ic 01011000100 1000100 from -> [] 3 | 1627/3 The base account is not set up for this kind of intercompany entry.
ic 01011000100 7777777 from -> [] 3 | 1627/3 The base account is not set up in General Ledger.
match 01011000100 01011500000 -> 1 0
match 03031000100 01011000100 -> 1 0
match 01011000100 02021000100 -> 0 0
match 09091000100 01011000100 -> 1 3 | 1627/3 The prefix of the first account is not set up in General Ledger.
valid 01-01-1000-100 -> ok
valid 01011000100 file0 -> ok
valid 09091000100 -> refused
valid 01013000000 -> refused
valid 01013000000 inactive -> ok
valid 01011500000 receivable -> ok
valid 01011500000 payable -> refused
section 01-01-1000-100 7 -> ok
section 7777777 7 -> refused
section 3000000 7 -> refused
section 01-02 6 -> ok
section 0909 6 -> refused
section 02 2 -> ok
section 09 2 -> refused
section 1000 9 -> refused
icbase 1500-000 from -> ok
icbase 01-01-2500-000 to -> ok
icbase 1500000 to -> refused, shows 3 The base account is not set up for this kind of intercompany entry.
icbase 3000000 to quiet -> refused
period 01011000100 2025-01-15 -> 1 2 | 1605/2
period 01011000100 2025-02-10 -> 0 2 | 1606/2
period 01011000100 2025-03-10 -> 0 0
period 01011000100 2026-01-05 -> 3 2 | 1629/2
period 01011000100 2027-06-01 -> 3 2 | 1629/2
period 01011000100 2025-06-01 -> 0 3 | 1624/3
period 02021000100 2025-01-15 -> 0 0
period 0101 2025-01-20 -> 1 2 | 1605/2
period 01011000100 2025-01-15 file -> 0 0
filter base nofile from -> 1 (GBACTIV = 1 and GBICRC = 1)
header all
filter full file to -> 1 (GAICPY = 1)
filter full file 5 -> 0 
header active-only
filter full file to -> 1 (GAACTIV = 1 and GAICPY = 1)
)";
  EXPECT_EQ(gltest::Ask(company, script), script);
}

// A read of the calendar or the ledger's header that fails (a lost
// connection, a timed-out statement) at any step fails the period check
// (1614, level 4): it is never taken for a calendar that ends early, which
// put the date in no known period (1624) and turned a failure into a
// refusal of the entry.
TEST_F(GLAccounts, ACalendarThatCannotBeReadFailsTheCheckNeverAnswersIt) {
  const short glm = company.Glm().FileNum();
  auto check = [&](const char* account, const char* date) {
    tsDate d;
    EXPECT_TRUE(d.Parse(date));
    GLWarningType warning = kGLWarningNone;
    const glwLevelStatus st = glwCheckAccountForClosedPeriod(tsAlpha(account), d, glm, &warning);
    return std::to_string(warning) + " " + bktest::Said(st, false);
  };
  const std::string failed = "0 4 | 1614/4";
  const struct {
    const char* account;
    const char* date;
    std::string answer;
  } dates[] = {{"01011000100", "2025-03-10", "0 0"},
               {"01011000100", "2025-01-15", "1 2 | 1605/2"},
               {"02021000100", "2025-12-31", "0 0"}};
  for (const auto& d : dates) {
    for (const tsioStatus::Status status : {tsioStatus::kIOError, tsioStatus::kBusy}) {
      int failures = 0;
      for (int nth = 1; nth <= 12; ++nth) {
        SCOPED_TRACE(std::string(d.account) + " " + d.date + ", fetch " + std::to_string(nth) + " answering " +
                     std::to_string(status));
        tsioFaults::Arm(tsioOp::kFetch, status, nth);
        const std::string said = check(d.account, d.date);
        tsioFaults::Clear();
        EXPECT_TRUE(said == d.answer || said == failed) << said;
        failures += said == failed;
      }
      EXPECT_GE(failures, 3) << d.account << " " << d.date;
    }
    tsioFaults::Arm(tsioOp::kHeaderRead, tsioStatus::kIOError);
    EXPECT_EQ(check(d.account, d.date), failed);
    tsioFaults::Clear();
    EXPECT_EQ(check(d.account, d.date), d.answer);
  }
}

// Without prefixes the account is the base and the general ledger is never
// asked for an intercompany account, unless the base is blank: that needs
// the ledger (here one whose objects cannot be made, as when it is absent).
TEST_F(GLAccounts, WithoutPrefixesTheBaseIsTheIntercompanyAccount) {
  gltest::LedgerCompany plain(false);
  gltest::Switch("gl_fail_factories", true);  // asking the ledger would now fail
  const std::string script = "ic 1000100 1500-000 from -> [1500000] 0\nic 1000100 '' to -> [] unavailable\n";
  EXPECT_EQ(gltest::Ask(plain, script), script);
}

// An object that cannot be obtained (its interface refused, or no object
// made) is never called nor released, and each function that needs one
// answers as it does without the general ledger (a module that is not
// loaded is the same case): the unavailable-ledger report and empty
// results, glwValidICBaseAccount accepts, the undetermined period warning
// 1623, no filter condition. Nothing stays alive. The C functions do not
// depend on objects.
TEST_F(GLAccounts, ObjectsThatCannotBeObtained) {
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "interfaces refused" : "factories make no object");
    gltest::Switch("gl_refuse_interfaces", way == 0);
    gltest::Switch("gl_fail_factories", way == 1);
    const std::string script = R"(build 01-01 1000-100 -> [] 4 unavailable
ic 01011000100 02021500000 from -> [] unavailable
match 01011000100 02021000100 -> 1 unavailable
match 01011000100 02021000100 file0 -> 1 unavailable
icbase nonsense from -> ok
period 01-01-1000-100 2025-03-01 -> 2 2 | 1623/2
period 0101 2025-03-01 -> 2 2 | 1623/2
filter base file from -> 0 
filter full nofile to -> 0 
valid 01011000100 -> ok
)";
    EXPECT_EQ(gltest::Ask(company, script), script);
    EXPECT_EQ(gltest::LiveObjects(), 0);
  }
}

}  // namespace
