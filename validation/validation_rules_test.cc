// The type-independent rules of the validaters, with the "BK" to "GL"
// interface inactive: every rule alone over the four transaction types and
// the transfer validater, a record breaking every rule at once, invalid
// types.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "validation/deposit_validater.h"
#include "validation/validation_test_support.h"

namespace {

using vtest::Blank;
using vtest::Kind;
using vtest::Msg;
using vtest::NonBlank;

class Rules : public ::testing::Test {
 protected:
  vtest::ValidationCompany company;
  bkProgram& program = company.Program();
};

// Sets the addition and subtraction of a record.
std::function<void(TransactionData&)> Amounts(int addition, int subtraction) {
  return [=](TransactionData& r) {
    r.SetAddition(tsCurrency(addition));
    r.SetSubtraction(tsCurrency(subtraction));
  };
}

const Msg kInvalidType{1607, "Invalid transaction type."};

// Breaks every type-independent rule at once: only the type (and, for
// checks, the blank check number) is kept; the net amount -1 - -2 = +1
// makes adjustments and transfers a plus side.
void BreakAll(TransactionData& r) {
  const short type = r.GetType().Value();
  r = TransactionData();
  r.SetType(type);
  r.SetCheck(tsDouble(type == 1 ? 0 : 7));
  r.SetBatchSource(0);
  r.SetAddition(tsCurrency(-1));
  r.SetSubtraction(tsCurrency(-2));
}
// Every message of BreakAll, in rule order (after the type's when it is invalid).
std::vector<Msg> AllMessages(const Msg& check, const Msg& amount, bool invalid_type = false) {
  std::vector<Msg> all = {
      Blank("Bank"), Blank("Transaction Date"), Blank("Accounting Date"), check, Blank("Application of Origin"),
      Blank("Batch ID"), Blank("Batch Source"), Blank("Run Number", "zero"), Blank("Sequence Number", "zero"),
      Blank("Addition", "negative"), Blank("Subtraction", "negative"), amount};
  if (invalid_type) all.insert(all.begin(), kInvalidType);
  return all;
}

// Each rule alone: one change to a record that passes, and exactly the
// messages that change must bring, in order, at level 3; a record breaking
// every type-independent rule at once gets every message in one list.
TEST_F(Rules, EachRuleAloneAndAllAtOnce) {
  const std::vector<Kind> every = vtest::kEveryKind;
  const std::vector<Kind> check{Kind::kCheck}, deposit{Kind::kDeposit}, withdrawal{Kind::kWithdrawal};
  const std::vector<Kind> plus_minus{Kind::kAdjustment, Kind::kTransfer};
  const Msg no_add = NonBlank("Addition", "zero"), no_sub = NonBlank("Subtraction", "zero");
  const Msg no_check = NonBlank("Check number", "blank");
  const Msg negative_add = Blank("Addition", "negative"), negative_sub = Blank("Subtraction", "negative");
  const struct {
    const char* what;
    std::vector<Kind> kinds;
    std::function<void(TransactionData&)> change;
    std::vector<Msg> expected;
  } cases[] = {
      {"a record that passes", every, [](auto&) {}, {}},
      {"bank blank", every, [](auto& r) { r.SetBankAccount(tsAlpha("  ")); }, {Blank("Bank")}},
      {"transaction date blank", every, [](auto& r) { r.SetTransactionDate(tsDate()); }, {Blank("Transaction Date")}},
      {"accounting date blank", every, [](auto& r) { r.SetAccountingDate(tsDate()); }, {Blank("Accounting Date")}},
      {"application of origin blank", every, [](auto& r) { r.SetApplOfOrigin(tsAlpha("")); },
       {Blank("Application of Origin")}},
      {"batch id blank", every, [](auto& r) { r.SetBatch(tsAlpha("")); }, {Blank("Batch ID")}},
      {"batch source not set", every, [](auto& r) { r.SetBatchSource(0); }, {Blank("Batch Source")}},
      {"run zero", every, [](auto& r) { r.SetRun(tsDouble(0)); }, {Blank("Run Number", "zero")}},
      {"sequence zero", every, [](auto& r) { r.SetSequence(tsDouble(0)); }, {Blank("Sequence Number", "zero")}},
      {"check without a number", check, [](auto& r) { r.SetCheck(tsDouble(0)); }, {Blank("Check number")}},
      {"check with an addition", check, [](auto& r) { r.SetAddition(tsCurrency(5)); }, {no_add}},
      {"check of this module with a subtraction", check, [](auto& r) { r.SetApplOfOrigin(tsAlpha("BK")); },
       {no_sub}},
      {"check of this module without a subtraction", check,
       [](auto& r) {
         r.SetApplOfOrigin(tsAlpha("BK"));
         r.SetSubtraction(tsCurrency(0));
       },
       {}},
      {"deposit with a check number", deposit, [](auto& r) { r.SetCheck(tsDouble(7)); }, {no_check}},
      {"deposit with a subtraction", deposit, [](auto& r) { r.SetSubtraction(tsCurrency(1)); }, {no_sub}},
      {"deposit without a deposit id or amount", deposit,
       [](auto& r) {
         r.SetDepositID(tsAlpha(""));
         r.SetAddition(tsCurrency(0));
       },
       {}},
      {"withdrawal with an addition", withdrawal, [](auto& r) { r.SetAddition(tsCurrency(5)); }, {no_add}},
      {"withdrawal with a check number", withdrawal, [](auto& r) { r.SetCheck(tsDouble(7)); }, {no_check}},
      // Adjustments and transfers: the sign of the net amount decides.
      {"net zero carries neither amount", plus_minus, Amounts(10, 10), {no_add, no_sub}},
      {"both amounts zero", plus_minus, Amounts(0, 0), {}},
      {"plus side with a smaller subtraction", plus_minus, Amounts(10, 4), {no_sub}},
      {"minus side with a smaller addition", plus_minus, Amounts(4, 10), {no_add}},
      {"adjustment with a check number", plus_minus, [](auto& r) { r.SetCheck(tsDouble(7)); }, {no_check}},
      // Negative amounts, whatever the kind expects.
      {"negative addition where one is expected", deposit, [](auto& r) { r.SetAddition(tsCurrency(-1)); },
       {negative_add}},
      {"negative addition where none is expected", {Kind::kCheck, Kind::kWithdrawal},
       [](auto& r) { r.SetAddition(tsCurrency(-1)); }, {negative_add, no_add}},
      {"negative subtraction where one is expected", {Kind::kCheck, Kind::kWithdrawal},
       [](auto& r) { r.SetSubtraction(tsCurrency(-1)); }, {negative_sub}},
      {"negative subtraction where none is expected", {Kind::kDeposit, Kind::kAdjustment},
       [](auto& r) { r.SetSubtraction(tsCurrency(-1)); }, {negative_sub, no_sub}},
      {"negative subtraction makes a transfer's net amount positive", {Kind::kTransfer},
       [](auto& r) { r.SetSubtraction(tsCurrency(-1)); }, {negative_sub, no_sub}},
      {"every rule at once", check, BreakAll, AllMessages(Blank("Check number"), no_add)},
      {"every rule at once", withdrawal, BreakAll, AllMessages(no_check, no_add)},
      {"every rule at once", {Kind::kDeposit, Kind::kAdjustment, Kind::kTransfer}, BreakAll,
       AllMessages(no_check, no_sub)},
      // An invalid type: the record's own choice reaches no other rule; the
      // transfer validater runs the type rule first, then every other rule.
      {"invalid type", {Kind::kCheck, Kind::kDeposit, Kind::kWithdrawal, Kind::kAdjustment},
       [](auto& r) { BreakAll(r); r.SetType(5); }, {kInvalidType}},
      {"invalid type", {Kind::kTransfer}, [](auto& r) { BreakAll(r); r.SetType(0); },
       AllMessages(no_check, no_sub, true)},
      {"the batch fields use the user's term for a batch", check,
       [](auto& r) {
         tsString::SetCustomDescription("<1I>", "Deposit slip");
         r.SetBatch(tsAlpha(""));
         r.SetBatchSource(0);
       },
       {Blank("Deposit slip ID"), Blank("Deposit slip Source")}},
  };
  for (const auto& c : cases) {
    for (Kind kind : c.kinds) {
      SCOPED_TRACE(std::string(c.what) + " (" + vtest::KindName(kind) + ")");
      TransactionData r;
      vtest::FillValid(r, kind);
      c.change(r);
      auto st = vtest::RunKind(kind, program, r);
      tsString::ResetCustomDescriptions();
      EXPECT_EQ(vtest::Messages(st.Errors()), c.expected);
      EXPECT_EQ(st.Value(), c.expected.empty() ? ccError::kNone : ccError::kError);
      for (const ccError& e : st.Errors()) EXPECT_EQ(e.GetLevel(), ccError::kError);
    }
  }
}

// A validater built on nothing never dereferences it.
TEST_F(Rules, AValidaterOnNothingReportsAnInvalidType) {
  std::unique_ptr<TransactionValidater> empty[] = {
      std::make_unique<DepositValidater>(program, static_cast<Transaction*>(nullptr)),
      std::make_unique<TransferValidater>(program, static_cast<TransactionData*>(nullptr))};
  for (auto& none : empty) EXPECT_EQ(vtest::Messages(none->DoIt(program).Errors()).at(0).number, 1607);
}

}  // namespace
