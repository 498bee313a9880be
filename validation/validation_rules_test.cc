// The rules of the validaters, one row per rule. Type-independent rules
// with the "BK" to "GL" interface inactive: every rule alone over the four
// transaction types and the transfer validater, a record breaking every rule
// at once, invalid types. General-ledger rules with the general-ledger module
// loaded and GL master data written into the company: regular accounts,
// intercompany prefixes (matching and not), intercompany accounts, closed
// and future periods (each distinct prefix once, the " uses this date."
// line when warnings are the worst finding), checks of batch source 2,
// companies without prefixes, and the interface inactive.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "validation/deposit_validater.h"
#include "validation/validation_test_support.h"

namespace {

using namespace vtest;

// Each rule alone: one change to a record that passes, and exactly the
// messages that change must bring, in order, at level 3; a record breaking
// every type-independent rule at once gets every message in one list.
TEST(Rules, EachRuleAloneAndAllAtOnce) {
  ValidationCompany company;
  const std::string no_add = NonBlank("Addition", "zero"), no_sub = NonBlank("Subtraction", "zero");
  const std::string no_check = NonBlank("Check number", "blank"), invalid = Msg(1607, 3, "Invalid transaction type.");
  const std::string negative_add = Blank("Addition", "negative"), negative_sub = Blank("Subtraction", "negative");
  // Every type-independent rule broken at once; the net amount -1 - -2 = +1
  // makes adjustments and transfers a plus side.
  const std::string all = "TBNKACC=;TTRANDT=;TACTGDT=;TAPPL=;TBATCH=;TSOURCE=0;TRUN=0;TSEQ=0;TADD=-1;TSUBTR=-2;";
  const std::string bank_and_dates = Blank("Bank") + Blank("Transaction Date") + Blank("Accounting Date");
  const std::string rest = Blank("Application of Origin") + Blank("Batch ID") + Blank("Batch Source") +
                           Blank("Run Number", "zero") + Blank("Sequence Number", "zero") + negative_add + negative_sub;
  ExpectEvery(company.Program(), {
      {"CDWAT", "", "0"},
      {"CDWAT", "TBNKACC=  ", "3" + Blank("Bank")},
      {"CDWAT", "TTRANDT=", "3" + Blank("Transaction Date")},
      {"CDWAT", "TACTGDT=", "3" + Blank("Accounting Date")},
      {"CDWAT", "TAPPL=", "3" + Blank("Application of Origin")},
      {"CDWAT", "TBATCH=", "3" + Blank("Batch ID")},
      {"CDWAT", "TSOURCE=0", "3" + Blank("Batch Source")},
      {"CDWAT", "TRUN=0", "3" + Blank("Run Number", "zero")},
      {"CDWAT", "TSEQ=0", "3" + Blank("Sequence Number", "zero")},
      {"C", "TCHECK=0", "3" + Blank("Check number")},
      {"CW", "TADD=5", "3" + no_add},
      {"C", "TAPPL=BK", "3" + no_sub},  // a check entered in this module carries no subtraction
      {"C", "TAPPL=BK;TSUBTR=0", "0"},
      {"DWAT", "TCHECK=7", "3" + no_check},
      {"D", "TSUBTR=1", "3" + no_sub},
      {"D", "TDEPID=;TADD=0", "0"},
      // Adjustments and transfers: the sign of the net amount decides.
      {"AT", "TADD=10;TSUBTR=10", "3" + no_add + no_sub},
      {"AT", "TADD=0;TSUBTR=0", "0"},
      {"AT", "TADD=10;TSUBTR=4", "3" + no_sub},
      {"AT", "TADD=4;TSUBTR=10", "3" + no_add},
      // Negative amounts, whatever the kind expects (a negative subtraction
      // makes a transfer's net amount positive).
      {"D", "TADD=-1", "3" + negative_add},
      {"CW", "TADD=-1", "3" + negative_add + no_add},
      {"CW", "TSUBTR=-1", "3" + negative_sub},
      {"DAT", "TSUBTR=-1", "3" + negative_sub + no_sub},
      {"C", all + "TCHECK=0", "3" + bank_and_dates + Blank("Check number") + rest + no_add},
      {"W", all + "TCHECK=7", "3" + bank_and_dates + no_check + rest + no_add},
      {"DAT", all + "TCHECK=7", "3" + bank_and_dates + no_check + rest + no_sub},
      // An invalid type: the record's own choice reaches no other rule; the
      // transfer validater runs the type rule first, then every other rule.
      {"CDWA", all + "TRANTYP=5", "3" + invalid},
      {"T", all + "TCHECK=7;TRANTYP=0", "3" + invalid + bank_and_dates + no_check + rest + no_sub},
  });
  // The batch fields use the user's term for a batch.
  tsString::SetCustomDescription("<1I>", "Deposit slip");
  ExpectEvery(company.Program(), {{"C", "TBATCH=;TSOURCE=0", "3" + Blank("Deposit slip ID") +
                                                                  Blank("Deposit slip Source")}});
  tsString::ResetCustomDescriptions();

  // A validater built on nothing never dereferences it.
  bkProgram& program = company.Program();
  std::unique_ptr<TransactionValidater> empty[] = {
      std::make_unique<DepositValidater>(program, static_cast<Transaction*>(nullptr)),
      std::make_unique<TransferValidater>(program, static_cast<TransactionData*>(nullptr))};
  for (auto& none : empty) EXPECT_TRUE(bktest::Said(none->DoIt(program)).starts_with("3" + invalid));
}

class Ledger : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(gltest::LoadLedgerModule(), 0); }
  void TearDown() override { EXPECT_EQ(gltest::LiveObjects(), 0) << "a general-ledger object was left alive"; }
};

const std::string kICRequired = Blank("I/C Receivable Account") + Blank("I/C Payable Account");

// Checks over the accounts and accounting date of each case, the interface
// active; then every kind with the interface inactive and active; then a
// company without prefixes.
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
  // A company whose accounts carry no prefix has one calendar; it is checked
  // once for the transaction's accounts.
  ValidationCompany unprefixed(/*prefixed=*/false);
  unprefixed.SetInterface(true);
  const std::string accounts = Accounts("1000100", "4000000");
  ExpectEvery(unprefixed.Program(),
              {{"A", accounts + On(warn), "2" + Period(1605, warn, nullptr) +
                                              UsesThisDate("Adjustment transaction for Bank \"FIRST\"")},
               {"A", accounts, "0"}});
}

}  // namespace
