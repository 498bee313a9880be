// The general-ledger rules of the validaters, with the general-ledger module
// loaded and GL master data written into the company: regular accounts,
// intercompany prefixes (matching and not), intercompany accounts, closed
// and future periods (each distinct prefix once, the " uses this date."
// line when warnings are the worst finding), checks of batch source 2,
// companies without prefixes, and the "BK" to "GL" interface inactive.
#include <gtest/gtest.h>

#include <string>

#include "validation/validation_test_support.h"

namespace {

using namespace vtest;

class Ledger : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(gltest::LoadLedgerModule(), 0); }
  void TearDown() override { EXPECT_EQ(gltest::LiveObjects(), 0) << "a general-ledger object was left alive"; }
};

const std::string kICRequired = Blank("I/C Receivable Account") + Blank("I/C Payable Account");

// Checks over the accounts and accounting date of each case, the interface
// active; then every kind with the interface inactive and active.
TEST_F(Ledger, AccountsPrefixesAndPeriods) {
  ValidationCompany company;
  company.SetInterface(true);
  const tsDate warn = ClosedWarningDate(), shut = ClosedErrorDate(), future = FutureDate(), unknown = UnknownDate();
  const std::string uses = UsesThisDate("Check transaction for Bank \"FIRST\"");
  const std::string no_prefix = Msg(1627, 3, "General Ledger could not build the intercompany account: The prefix "
                                             "of the first account is not set up in General Ledger.");
  const std::string closed = Period(1605, warn, "01-01");
  ExpectEvery(company.Program(), {
      {"C", Accounts(kCash, kSales), "0"},
      {"C", Accounts(kCash, kSales, kDueFrom), "3" + NonBlank("I/C Receivable Account", "blank")},
      {"C", Accounts(kCash, kOther), "3" + kICRequired},
      {"C", Accounts(kCash, kOther, kDueFrom, kDueTo), "0"},
      {"C", Accounts(kCash, kSister), "0"},  // matched prefixes need no intercompany accounts
      // An unknown prefix: no intercompany or period rule after it.
      {"C", Accounts(kUnknown, kCash) + On(warn), "3" + no_prefix},
      // The regular-account and prefix rules run whatever the type-independent
      // rules found; the intercompany and period rules only while no error is.
      {"C", "TBNKACC=;" + Accounts(kUnknown, kOther) + On(warn), "3" + Blank("Bank") + no_prefix},
      {"C", "TBNKACC=;" + Accounts(kCash, kOther) + On(warn), "3" + Blank("Bank")},
      // Periods: each prefix checked once; closed to posting is a warning too;
      // no known period is an error, without the closing line.
      {"C", Accounts(kCash, kSales) + On(warn), "2" + closed + uses},
      {"C", Accounts(kCash, kSales) + On(shut), "2" + Period(1606, shut, "01-01") + uses},
      {"C", Accounts(kCash, kSales) + On(future), "2" + Period(1629, future, "01-01") + uses},
      {"C", Accounts(kCash, kSales) + On(unknown), "3" + Period(1624, unknown, "01-01")},
      {"C", Accounts(kCash, kSister) + On(warn), "2" + closed + Period(1605, warn, "03-03") + uses},
      // 02-02 keeps a calendar of its own (open); the others use the company's,
      // in account order.
      {"C", Accounts(kCash, kOther, kDueFrom, kDueTo) + On(warn),
       "2" + closed + Period(1605, warn, "01-02") + Period(1605, warn, "02-01") + uses},
      {"C", Accounts("", kSales, kDueFrom) + On(warn), "2" + closed + Period(1605, warn, "01-02") + uses},
      {"C", Accounts("", "") + On(warn), "0"},
      // Checks of batch source 2 skip the account, intercompany and period rules.
      {"C", "TSOURCE=2;" + Accounts(kCash, kOther) + On(warn), "0"},
      {"C", "TSOURCE=2;" + Accounts(kCash, kSales, kDueFrom, kDueTo) + On(warn), "0"},
  });
  // Every kind checks its own accounts while the interface is active, none
  // while it is inactive.
  for (bool active : {false, true}) {
    company.SetInterface(active);
    ExpectEvery(company.Program(), {{kEveryKind, Accounts(kCash, kOther) + On(warn), active ? "3" + kICRequired : "0"},
                                    {kEveryKind, Accounts(kUnknown, kOther), active ? "3" + no_prefix : "0"}});
  }
}

// A company whose accounts carry no prefix has one calendar; it is checked
// once for the transaction's accounts.
TEST_F(Ledger, CompanyWithoutPrefixesChecksItsCalendarOnce) {
  ValidationCompany company(/*prefixed=*/false);
  company.SetInterface(true);
  const std::string accounts = Accounts("1000100", "4000000");
  const std::string closed = Period(1605, ClosedWarningDate(), nullptr);
  ExpectEvery(company.Program(), {{"A", accounts + On(ClosedWarningDate()),
                                   "2" + closed + UsesThisDate("Adjustment transaction for Bank \"FIRST\"")},
                                  {"A", accounts, "0"}});
}

}  // namespace
