// The type-independent rules of the validaters, with the "BK" to "GL"
// interface inactive: every rule alone over the four transaction types and
// the transfer validater, a record breaking every rule at once, invalid
// types.
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
  const std::string dates = Blank("Bank") + Blank("Transaction Date") + Blank("Accounting Date");
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
      {"C", all + "TCHECK=0", "3" + dates + Blank("Check number") + rest + no_add},
      {"W", all + "TCHECK=7", "3" + dates + no_check + rest + no_add},
      {"DAT", all + "TCHECK=7", "3" + dates + no_check + rest + no_sub},
      // An invalid type: the record's own choice reaches no other rule; the
      // transfer validater runs the type rule first, then every other rule.
      {"CDWA", all + "TRANTYP=5", "3" + invalid},
      {"T", all + "TCHECK=7;TRANTYP=0", "3" + invalid + dates + no_check + rest + no_sub},
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

}  // namespace
