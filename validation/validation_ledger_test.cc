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

#include "ledger/gl_accounts.h"
#include "validation/check_validater.h"
#include "validation/transfer_validater.h"
#include "validation/withdrawal_validater.h"
#include "validation/validation_test_support.h"

namespace {

using vtest::Blank;
using vtest::Kind;
using vtest::Msg;
using vtest::NonBlank;

constexpr unsigned short kUsesThisDate = 0;

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

std::string PrefixText(const char* prefix) { return " for prefix " + std::string(prefix); }

// A period message for the formatted prefix, or for no prefix.
Msg Period(unsigned short number, const tsDate& date, const char* prefix) {
  const std::string p = prefix ? PrefixText(prefix) : "";
  const std::string d = date.Format();
  switch (number) {
    case 1605: return Msg{1605, "The accounting date " + d + " is in a closed period" + p + "."};
    case 1606: return Msg{1606, "The accounting date " + d + " is in a period closed to posting" + p + "."};
    case 1629: return Msg{1629, "The accounting date " + d + " is in a future period" + p + "."};
    case 1624: return Msg{1624, "The accounting date " + d + " is not in any known fiscal period" + p + "."};
    default: return Msg{number, "?"};
  }
}

Msg UsesThisDate(const std::string& transaction = "Check transaction for Bank \"FIRST\"") {
  return Msg{kUsesThisDate, transaction + " uses this date."};
}

// A check from another application over the accounts and accounting date
// of each case, the interface active.
TEST_F(Ledger, AccountsPrefixesAndPeriodsOfACheck) {
  vtest::Company company;
  company.SetInterface(true);
  const tsDate open = vtest::OpenDate(), warn = vtest::ClosedWarningDate(), shut = vtest::ClosedErrorDate();
  const tsDate future = vtest::FutureDate(), unknown = vtest::UnknownDate();
  using namespace vtest;
  struct Case {
    const char* what;
    Accounts accounts;
    tsDate date;
    std::vector<Msg> expected;
    ccError::Level level;
  };
  const Msg ic_from_required = Blank("I/C Receivable Account"), ic_to_required = Blank("I/C Payable Account");
  const std::vector<Case> cases = {
      {"one company", {kCash, kSales, "", ""}, open, {}, ccError::kNone},
      {"one company, due-from given", {kCash, kSales, kDueFrom, ""}, open,
       {NonBlank("I/C Receivable Account", "blank")}, ccError::kError},
      {"one company, due-to given", {kCash, kSales, "", kDueTo}, open, {NonBlank("I/C Payable", "blank")},
       ccError::kError},
      {"two companies without intercompany accounts", {kCash, kOther, "", ""}, open,
       {ic_from_required, ic_to_required}, ccError::kError},
      {"two companies, due-to missing", {kCash, kOther, kDueFrom, ""}, open, {ic_to_required}, ccError::kError},
      {"two companies with intercompany accounts", {kCash, kOther, kDueFrom, kDueTo}, open, {}, ccError::kNone},
      {"matched prefixes need none", {kCash, kSister, "", ""}, open, {}, ccError::kNone},
      {"unknown prefix: no intercompany or period rule after it", {kUnknown, kCash, "", ""}, warn,
       {Msg{1627, "General Ledger could not build the intercompany account: The prefix of the first account is not "
                  "set up in General Ledger."}},
       ccError::kError},
      {"closed period, one prefix checked once", {kCash, kSales, "", ""}, warn,
       {Period(1605, warn, "01-01"), UsesThisDate()}, ccError::kWarning},
      {"closed to posting is a warning", {kCash, kSales, "", ""}, shut,
       {Period(1606, shut, "01-01"), UsesThisDate()}, ccError::kWarning},
      {"future period", {kCash, kSales, "", ""}, future, {Period(1629, future, "01-01"), UsesThisDate()},
       ccError::kWarning},
      {"no known period is an error: no closing line", {kCash, kSales, "", ""}, unknown,
       {Period(1624, unknown, "01-01")}, ccError::kError},
      {"two prefixes, matched", {kCash, kSister, "", ""}, warn,
       {Period(1605, warn, "01-01"), Period(1605, warn, "03-03"), UsesThisDate()}, ccError::kWarning},
      // 02-02 keeps a calendar of its own (open); the others use the company's.
      {"four prefixes, each once, in account order", {kCash, kOther, kDueFrom, kDueTo}, warn,
       {Period(1605, warn, "01-01"), Period(1605, warn, "01-02"), Period(1605, warn, "02-01"), UsesThisDate()},
       ccError::kWarning},
      {"intercompany accounts of the debit's company", {kCash, kOther, kCash, kSales}, warn,
       {Period(1605, warn, "01-01"), UsesThisDate()}, ccError::kWarning},
      {"a missing debit: periods only, for the credit", {"", kSales, kDueFrom, ""}, warn,
       {Period(1605, warn, "01-01"), Period(1605, warn, "01-02"), UsesThisDate()}, ccError::kWarning},
      {"no accounts: nothing", {"", "", "", ""}, warn, {}, ccError::kNone},
      {"intercompany error stops the period check", {kCash, kOther, "", ""}, warn,
       {ic_from_required, ic_to_required}, ccError::kError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TransactionData r;
    vtest::FillValid(r, Kind::kCheck);
    SetAccounts(r, c.accounts);
    r.SetAccountingDate(c.date);
    auto st = r.Validate(company.Program(), nullptr);
    EXPECT_EQ(vtest::Messages(st.Errors()), c.expected) << vtest::Describe(st.Errors());
    EXPECT_EQ(st.Value(), c.level);
    if (!st.Errors().Empty() && st.Errors()[st.Errors().Size() - 1].Number() == kUsesThisDate) {
      EXPECT_EQ(st.Errors()[st.Errors().Size() - 1].GetLevel(), ccError::kNone);
    }
  }
}

// The regular-account and prefix rules run whatever the type-independent
// rules found; the intercompany and period rules only while no error is
// present.
TEST_F(Ledger, StagesAfterTypeIndependentErrors) {
  vtest::Company company;
  company.SetInterface(true);
  TransactionData r;
  vtest::FillValid(r, Kind::kCheck);
  r.SetBankAccount(tsAlpha(""));
  r.SetAccountingDate(vtest::ClosedWarningDate());
  SetAccounts(r, {vtest::kUnknown, vtest::kOther, "", ""});
  auto st = r.Validate(company.Program(), nullptr);
  ASSERT_EQ(st.Errors().Size(), 2u) << vtest::Describe(st.Errors());
  EXPECT_EQ(vtest::Messages(st.Errors())[0], Blank("Bank"));
  EXPECT_EQ(st.Errors()[1].Number(), 1627) << "the prefix match still ran";

  SetAccounts(r, {vtest::kCash, vtest::kOther, "", ""});
  st = r.Validate(company.Program(), nullptr);
  EXPECT_EQ(vtest::Messages(st.Errors()), (std::vector<Msg>{Blank("Bank")}))
      << "no intercompany or period rule once an error is present" << vtest::Describe(st.Errors());
}

// Every kind checks the transaction's own accounts (deposits and
// withdrawals from other applications included); checks of batch source 2
// skip the account, intercompany and period rules.
TEST_F(Ledger, EveryKindChecksItsAccounts) {
  vtest::Company company;
  company.SetInterface(true);
  const std::vector<Msg> required = {Blank("I/C Receivable Account"), Blank("I/C Payable Account")};
  for (Kind kind : {Kind::kCheck, Kind::kDeposit, Kind::kWithdrawal, Kind::kAdjustment, Kind::kTransfer}) {
    SCOPED_TRACE(vtest::KindName(kind));
    TransactionData r;
    vtest::FillValid(r, kind);
    SetAccounts(r, {vtest::kCash, vtest::kOther, "", ""});
    ccStatus<ccError::Level> st;
    if (kind == Kind::kTransfer) {
      TransferValidater v(company.Program(), &r);
      st = v.DoIt(company.Program());
    } else {
      st = r.Validate(company.Program(), nullptr);
    }
    EXPECT_EQ(vtest::Messages(st.Errors()), required) << vtest::Describe(st.Errors());
  }

  TransactionData r;
  vtest::FillValid(r, Kind::kCheck);
  r.SetBatchSource(BatchSourceEnum::kManualEntry);
  r.SetAccountingDate(vtest::ClosedWarningDate());
  for (const Accounts& a : {Accounts{vtest::kCash, vtest::kOther, "", ""},
                            Accounts{vtest::kCash, vtest::kSales, vtest::kDueFrom, vtest::kDueTo}}) {
    SetAccounts(r, a);
    auto st = r.Validate(company.Program(), nullptr);
    EXPECT_TRUE(st.Errors().Empty()) << "batch source 2" << vtest::Describe(st.Errors());
  }
}

TEST_F(Ledger, InterfaceInactiveRunsNoAccountPrefixOrPeriodRule) {
  vtest::Company company;
  company.SetInterface(false);
  for (Kind kind : {Kind::kCheck, Kind::kDeposit, Kind::kWithdrawal, Kind::kAdjustment}) {
    for (const Accounts& a : {Accounts{vtest::kUnknown, vtest::kOther, "", ""},
                              Accounts{vtest::kCash, vtest::kSales, vtest::kDueFrom, vtest::kDueTo},
                              Accounts{vtest::kCash, vtest::kOther, "", ""}}) {
      TransactionData r;
      vtest::FillValid(r, kind);
      SetAccounts(r, a);
      for (const tsDate& date : {vtest::ClosedWarningDate(), vtest::UnknownDate()}) {
        r.SetAccountingDate(date);
        auto st = r.Validate(company.Program(), nullptr);
        EXPECT_TRUE(st.Errors().Empty()) << vtest::KindName(kind) << " " << a.debit << vtest::Describe(st.Errors());
      }
    }
  }
  // Activating it later is seen at once.
  company.SetInterface(true);
  TransactionData r;
  vtest::FillValid(r, Kind::kCheck);
  SetAccounts(r, {vtest::kCash, vtest::kOther, "", ""});
  EXPECT_EQ(r.Validate(company.Program(), nullptr).Errors().Size(), 2u);
}

// Without the GL master file open in the program the prefix match cannot be
// answered (the unavailable-ledger report) and no period is checked.
TEST_F(Ledger, MasterFileNotOpenInTheProgram) {
  vtest::Company company(true, /*open_glm=*/false);
  company.SetInterface(true);
  TransactionData r;
  vtest::FillValid(r, Kind::kCheck);
  r.SetAccountingDate(vtest::ClosedWarningDate());
  SetAccounts(r, {vtest::kCash, vtest::kSales, "", ""});
  auto st = r.Validate(company.Program(), nullptr);
  ASSERT_EQ(st.Errors().Size(), 2u) << vtest::Describe(st.Errors());
  EXPECT_EQ(st.Errors()[0].Number(), 1627);
  EXPECT_EQ(st.Errors()[1].Text2(), "You may need to reinstall General Ledger.");
  EXPECT_EQ(st.Value(), ccError::kError);

  SetAccounts(r, {"", vtest::kSales, "", ""});
  st = r.Validate(company.Program(), nullptr);
  EXPECT_TRUE(st.Errors().Empty()) << vtest::Describe(st.Errors());
}

// A company whose accounts carry no prefix has one calendar; it is checked
// once for the transaction's accounts.
TEST_F(Ledger, CompanyWithoutPrefixesChecksItsCalendarOnce) {
  vtest::Company company(/*prefixed=*/false);
  company.SetInterface(true);
  TransactionData r;
  vtest::FillValid(r, Kind::kAdjustment);
  SetAccounts(r, {"1000100", "4000000", "", ""});
  r.SetAccountingDate(vtest::ClosedWarningDate());
  auto st = r.Validate(company.Program(), nullptr);
  EXPECT_EQ(vtest::Messages(st.Errors()),
            (std::vector<Msg>{Period(1605, vtest::ClosedWarningDate(), nullptr),
                              UsesThisDate("Adjustment transaction for Bank \"FIRST\"")}))
      << vtest::Describe(st.Errors());
  EXPECT_EQ(st.Value(), ccError::kWarning);
  r.SetAccountingDate(vtest::OpenDate());
  EXPECT_TRUE(r.Validate(company.Program(), nullptr).Errors().Empty());
}

// The period rule and the prefix match called alone.
TEST_F(Ledger, PeriodAndPrefixOperationsAlone) {
  vtest::Company company;
  company.SetInterface(true);
  TransactionData r;
  vtest::FillValid(r, Kind::kWithdrawal);
  r.SetBankAccount(tsAlpha(""));
  r.SetAccountingDate(vtest::ClosedWarningDate());
  vtest::Exposed<WithdrawalValidater> v(company.Program(), &r);
  const tsAlpha cash(vtest::kCash), sales(vtest::kSales), none("");
  auto st = v.ValidateGLPeriods(company.Program(), cash, sales, none, cash);
  EXPECT_EQ(vtest::Messages(st.Errors()), (std::vector<Msg>{Period(1605, vtest::ClosedWarningDate(), "01-01"),
                                                             UsesThisDate("Withdrawal transaction ")}))
      << vtest::Describe(st.Errors());
  EXPECT_TRUE(v.ValidateGLPeriods(company.Program(), none, none, none, none).Errors().Empty());

  const short glm = company.Program().File(GLMFileSpec)->FileNum();
  bool match = false;
  EXPECT_TRUE(v.MatchingIntercompanyPrefixes(cash, tsAlpha(vtest::kSister), glm, match).Errors().Empty());
  EXPECT_TRUE(match);
  EXPECT_TRUE(v.MatchingIntercompanyPrefixes(cash, tsAlpha(vtest::kOther), glm, match).Errors().Empty());
  EXPECT_FALSE(match);

  // DoAccountValidations adds to the status it is given.
  ccStatus<ccError::Level> running(ccError::kNone, ccError(1, ccError::kWarning, "earlier"));
  v.DoAccountValidations(company.Program(), running, cash, tsAlpha(vtest::kOther), none, none);
  ASSERT_EQ(running.Errors().Size(), 3u) << vtest::Describe(running.Errors());
  EXPECT_EQ(running.Errors()[0].Text(), "earlier");
  EXPECT_EQ(running.Value(), ccError::kError);
}

}  // namespace
