// The general-ledger rules of the validaters, with the general-ledger module
// loaded and GL master data written into the company: regular accounts,
// intercompany prefixes (matching and not), intercompany accounts, closed
// and future periods (each distinct prefix once, the " uses this date."
// line when warnings are the worst finding), checks of batch source 2,
// companies without prefixes, a master file the program has not opened, and
// the "BK" to "GL" interface inactive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "validation/validation_test_support.h"

namespace {

using namespace vtest;

class Ledger : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(gltest::LoadLedgerModule(), 0); }
  void TearDown() override { EXPECT_EQ(gltest::LiveObjects(), 0) << "a general-ledger object was left alive"; }
};

struct Accounts {
  const char* debit;
  const char* credit;
  const char* due_from;
  const char* due_to;
};

void SetAccounts(TransactionData& r, const Accounts& a) {
  r.SetDebitAccount(tsAlpha(a.debit));
  r.SetCreditAccount(tsAlpha(a.credit));
  r.SetDueFromAccount(tsAlpha(a.due_from));
  r.SetDueToAccount(tsAlpha(a.due_to));
}

const std::vector<Msg> kICRequired = {Blank("I/C Receivable Account"), Blank("I/C Payable Account")};

// A check from another application over the accounts and accounting date
// of each case, the interface active.
TEST_F(Ledger, AccountsPrefixesAndPeriodsOfACheck) {
  ValidationCompany company;
  company.SetInterface(true);
  const tsDate open = OpenDate(), warn = ClosedWarningDate(), shut = ClosedErrorDate();
  const tsDate future = FutureDate(), unknown = UnknownDate();
  const Msg uses = UsesThisDate("Check transaction for Bank \"FIRST\"");
  const Msg no_prefix{1627, "General Ledger could not build the intercompany account: The prefix of the first "
                          "account is not set up in General Ledger."};
  const struct {
    const char* what;
    Accounts accounts;
    tsDate date;
    std::vector<Msg> expected;
    ccError::Level level;
    bool blank_bank = false;
  } cases[] = {
      {"one company", {kCash, kSales, "", ""}, open, {}, ccError::kNone},
      {"one company, due-from given", {kCash, kSales, kDueFrom, ""}, open,
       {NonBlank("I/C Receivable Account", "blank")}, ccError::kError},
      {"two companies without intercompany accounts", {kCash, kOther, "", ""}, open, kICRequired, ccError::kError},
      {"two companies with intercompany accounts", {kCash, kOther, kDueFrom, kDueTo}, open, {}, ccError::kNone},
      {"matched prefixes need none", {kCash, kSister, "", ""}, open, {}, ccError::kNone},
      {"unknown prefix: no intercompany or period rule after it", {kUnknown, kCash, "", ""}, warn, {no_prefix},
       ccError::kError},
      // The regular-account and prefix rules run whatever the type-independent
      // rules found; the intercompany and period rules only while no error is.
      {"a blank bank: the prefix match still runs", {kUnknown, kOther, "", ""}, warn, {Blank("Bank"), no_prefix},
       ccError::kError, true},
      {"a blank bank: no intercompany or period rule", {kCash, kOther, "", ""}, warn, {Blank("Bank")},
       ccError::kError, true},
      {"closed period, one prefix checked once", {kCash, kSales, "", ""}, warn, {Period(1605, warn, "01-01"), uses},
       ccError::kWarning},
      {"closed to posting is a warning", {kCash, kSales, "", ""}, shut, {Period(1606, shut, "01-01"), uses},
       ccError::kWarning},
      {"future period", {kCash, kSales, "", ""}, future, {Period(1629, future, "01-01"), uses}, ccError::kWarning},
      {"no known period is an error: no closing line", {kCash, kSales, "", ""}, unknown,
       {Period(1624, unknown, "01-01")}, ccError::kError},
      {"two prefixes, matched", {kCash, kSister, "", ""}, warn,
       {Period(1605, warn, "01-01"), Period(1605, warn, "03-03"), uses}, ccError::kWarning},
      // 02-02 keeps a calendar of its own (open); the others use the company's.
      {"four prefixes, each once, in account order", {kCash, kOther, kDueFrom, kDueTo}, warn,
       {Period(1605, warn, "01-01"), Period(1605, warn, "01-02"), Period(1605, warn, "02-01"), uses},
       ccError::kWarning},
      {"a missing debit: periods only, for the credit", {"", kSales, kDueFrom, ""}, warn,
       {Period(1605, warn, "01-01"), Period(1605, warn, "01-02"), uses}, ccError::kWarning},
      {"no accounts: nothing", {"", "", "", ""}, warn, {}, ccError::kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TransactionData r;
    FillValid(r, Kind::kCheck);
    SetAccounts(r, c.accounts);
    r.SetAccountingDate(c.date);
    if (c.blank_bank) r.SetBankAccount(tsAlpha(""));
    auto st = r.Validate(company.Program(), nullptr);
    EXPECT_EQ(Messages(st.Errors()), c.expected);
    EXPECT_EQ(st.Value(), c.level);
    if (c.level == ccError::kWarning) {
      EXPECT_EQ(st.Errors()[st.Errors().Size() - 1].GetLevel(), ccError::kNone);
    }
  }
}

// Every kind checks the transaction's own accounts while the interface is
// active, and none does while it is inactive; checks of batch source 2 skip
// the account, intercompany and period rules.
TEST_F(Ledger, EveryKindChecksItsAccountsOnlyWhileTheInterfaceIsActive) {
  ValidationCompany company;
  for (bool active : {false, true}) {
    company.SetInterface(active);
    for (Kind kind : kEveryKind) {
      SCOPED_TRACE(std::string(KindName(kind)) + (active ? " active" : " inactive"));
      TransactionData r;
      FillValid(r, kind);
      SetAccounts(r, {kCash, kOther, "", ""});
      r.SetAccountingDate(ClosedWarningDate());  // no period message after the intercompany error
      EXPECT_EQ(Messages(RunKind(kind, company.Program(), r).Errors()), active ? kICRequired : std::vector<Msg>{});
      SetAccounts(r, {kUnknown, kOther, "", ""});
      EXPECT_EQ(RunKind(kind, company.Program(), r).Errors().Size(), active ? 1u : 0u);
    }
  }
  TransactionData r;
  FillValid(r, Kind::kCheck);
  r.SetBatchSource(BatchSourceEnum::kManualEntry);
  r.SetAccountingDate(ClosedWarningDate());
  for (const Accounts& a : {Accounts{kCash, kOther, "", ""}, Accounts{kCash, kSales, kDueFrom, kDueTo}}) {
    SetAccounts(r, a);
    auto st = r.Validate(company.Program(), nullptr);
    EXPECT_TRUE(st.Errors().Empty()) << "batch source 2";
  }
}

// A company whose accounts carry no prefix has one calendar; it is checked
// once for the transaction's accounts.
TEST_F(Ledger, CompanyWithoutPrefixesChecksItsCalendarOnce) {
  ValidationCompany company(/*prefixed=*/false);
  company.SetInterface(true);
  TransactionData r;
  FillValid(r, Kind::kAdjustment);
  SetAccounts(r, {"1000100", "4000000", "", ""});
  r.SetAccountingDate(ClosedWarningDate());
  auto st = r.Validate(company.Program(), nullptr);
  EXPECT_EQ(Messages(st.Errors()), (std::vector<Msg>{Period(1605, ClosedWarningDate(), nullptr),
                                                     UsesThisDate("Adjustment transaction for Bank \"FIRST\"")}));
  EXPECT_EQ(st.Value(), ccError::kWarning);
  r.SetAccountingDate(OpenDate());
  EXPECT_TRUE(r.Validate(company.Program(), nullptr).Errors().Empty());
}

}  // namespace
