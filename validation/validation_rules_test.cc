// The type-independent rules of the validaters, with the "BK" to "GL"
// interface inactive: every rule alone over the four transaction types and
// the transfer validater, a record breaking every rule at once, the
// record's choice and caching of its validater, and the names of the
// validation interface.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "validation/adjustment_validater.h"
#include "validation/check_validater.h"
#include "validation/deposit_validater.h"
#include "validation/transfer_validater.h"
#include "validation/validation_test_support.h"
#include "validation/withdrawal_validater.h"

namespace {

using vtest::Blank;
using vtest::Kind;
using vtest::Msg;
using vtest::NonBlank;

// Runs the validater of `kind` over `record` the way the module does: the
// record chooses it by type (TransactionData::Validate), except for
// transfers, whose validater the programs make.
ccStatus<ccError::Level> RunKind(Kind kind, bkProgram& program, TransactionData& record) {
  if (kind == Kind::kTransfer) {
    TransferValidater v(program, &record);
    return v.DoIt(program);
  }
  return record.Validate(program, nullptr);
}

class Rules : public ::testing::Test {
 protected:
  vtest::Company company;
  bkProgram& program = company.Program();
};

struct RuleCase {
  const char* what;
  std::vector<Kind> kinds;
  std::function<void(TransactionData&)> change;
  std::vector<Msg> expected;
};

const std::vector<Kind> kEvery = {Kind::kCheck, Kind::kDeposit, Kind::kWithdrawal, Kind::kAdjustment,
                                  Kind::kTransfer};

// Each rule alone: one change to a record that passes, and exactly the
// messages that change must bring, in order, at level 3.
TEST_F(Rules, EachRuleAlone) {
  const std::vector<RuleCase> cases = {
      {"a record that passes", kEvery, [](auto&) {}, {}},
      {"bank blank", kEvery, [](auto& r) { r.SetBankAccount(tsAlpha("  ")); }, {Blank("Bank")}},
      {"transaction date blank", kEvery, [](auto& r) { r.SetTransactionDate(tsDate()); },
       {Blank("Transaction Date")}},
      {"accounting date blank", kEvery, [](auto& r) { r.SetAccountingDate(tsDate()); },
       {Blank("Accounting Date")}},
      {"application of origin blank", kEvery, [](auto& r) { r.SetApplOfOrigin(tsAlpha("")); },
       {Blank("Application of Origin")}},
      {"batch id blank", kEvery, [](auto& r) { r.SetBatch(tsAlpha("")); }, {Blank("Batch ID")}},
      {"batch source not set", kEvery, [](auto& r) { r.SetBatchSource(0); }, {Blank("Batch Source")}},
      {"run zero", kEvery, [](auto& r) { r.SetRun(tsDouble(0)); }, {Blank("Run Number", "zero")}},
      {"sequence zero", kEvery, [](auto& r) { r.SetSequence(tsDouble(0)); }, {Blank("Sequence Number", "zero")}},
      // Checks.
      {"check without a number", {Kind::kCheck}, [](auto& r) { r.SetCheck(tsDouble(0)); }, {Blank("<8I>")}},
      {"check with an addition", {Kind::kCheck}, [](auto& r) { r.SetAddition(tsCurrency(5)); },
       {NonBlank("Addition", "zero")}},
      {"check of this module with a subtraction", {Kind::kCheck},
       [](auto& r) { r.SetApplOfOrigin(tsAlpha("BK")); }, {NonBlank("Subtraction", "zero")}},
      {"check of this module without a subtraction", {Kind::kCheck},
       [](auto& r) {
         r.SetApplOfOrigin(tsAlpha("BK"));
         r.SetSubtraction(tsCurrency(0));
       },
       {}},
      {"a deposit id is not checked", {Kind::kCheck, Kind::kWithdrawal, Kind::kAdjustment},
       [](auto& r) { r.SetDepositID(tsAlpha("D-9")); }, {}},
      // Deposits.
      {"deposit with a check number", {Kind::kDeposit}, [](auto& r) { r.SetCheck(tsDouble(7)); },
       {NonBlank("<8I>", "blank")}},
      {"deposit with a subtraction", {Kind::kDeposit}, [](auto& r) { r.SetSubtraction(tsCurrency(1)); },
       {NonBlank("Subtraction", "zero")}},
      {"deposit without a deposit id or amount", {Kind::kDeposit},
       [](auto& r) {
         r.SetDepositID(tsAlpha(""));
         r.SetAddition(tsCurrency(0));
       },
       {}},
      // Withdrawals.
      {"withdrawal with an addition", {Kind::kWithdrawal}, [](auto& r) { r.SetAddition(tsCurrency(5)); },
       {NonBlank("Addition", "zero")}},
      {"withdrawal with a check number", {Kind::kWithdrawal}, [](auto& r) { r.SetCheck(tsDouble(7)); },
       {NonBlank("<8I>", "blank")}},
      // Adjustments and transfers: the sign of the net amount decides.
      {"net zero carries neither amount", {Kind::kAdjustment, Kind::kTransfer},
       [](auto& r) {
         r.SetAddition(tsCurrency(10));
         r.SetSubtraction(tsCurrency(10));
       },
       {NonBlank("Addition", "zero"), NonBlank("Subtraction", "zero")}},
      {"net zero with both amounts zero", {Kind::kAdjustment, Kind::kTransfer},
       [](auto& r) {
         r.SetAddition(tsCurrency(0));
         r.SetSubtraction(tsCurrency(0));
       },
       {}},
      {"plus side with a smaller subtraction", {Kind::kAdjustment, Kind::kTransfer},
       [](auto& r) {
         r.SetAddition(tsCurrency(10));
         r.SetSubtraction(tsCurrency(4));
       },
       {NonBlank("Subtraction", "zero")}},
      {"minus side with a smaller addition", {Kind::kAdjustment, Kind::kTransfer},
       [](auto& r) {
         r.SetAddition(tsCurrency(4));
         r.SetSubtraction(tsCurrency(10));
       },
       {NonBlank("Addition", "zero")}},
      {"adjustment with a check number", {Kind::kAdjustment, Kind::kTransfer},
       [](auto& r) { r.SetCheck(tsDouble(7)); }, {NonBlank("<8I>", "blank")}},
      // Negative amounts, whatever the kind expects.
      {"negative addition where an addition is expected", {Kind::kDeposit},
       [](auto& r) { r.SetAddition(tsCurrency(-1)); }, {Blank("Addition", "negative")}},
      {"negative addition where none is expected", {Kind::kCheck, Kind::kWithdrawal},
       [](auto& r) { r.SetAddition(tsCurrency(-1)); },
       {Blank("Addition", "negative"), NonBlank("Addition", "zero")}},
      {"negative subtraction where one is expected", {Kind::kCheck, Kind::kWithdrawal},
       [](auto& r) { r.SetSubtraction(tsCurrency(-1)); }, {Blank("Subtraction", "negative")}},
      {"negative subtraction where none is expected", {Kind::kDeposit, Kind::kAdjustment},
       [](auto& r) { r.SetSubtraction(tsCurrency(-1)); },
       {Blank("Subtraction", "negative"), NonBlank("Subtraction", "zero")}},
      {"negative subtraction makes a transfer's net amount positive", {Kind::kTransfer},
       [](auto& r) { r.SetSubtraction(tsCurrency(-1)); },
       {Blank("Subtraction", "negative"), NonBlank("Subtraction", "zero")}},
  };
  for (const RuleCase& c : cases) {
    for (Kind kind : c.kinds) {
      SCOPED_TRACE(std::string(c.what) + " (" + vtest::KindName(kind) + ")");
      TransactionData r;
      vtest::FillValid(r, kind);
      c.change(r);
      auto st = RunKind(kind, program, r);
      EXPECT_EQ(vtest::Messages(st.Errors()), c.expected) << vtest::Describe(st.Errors());
      EXPECT_EQ(st.Value(), c.expected.empty() ? ccError::kNone : ccError::kError);
      for (const ccError& e : st.Errors()) EXPECT_EQ(e.GetLevel(), ccError::kError);
    }
  }
}

// A record that breaks every type-independent rule at once gets every
// message in one list, in rule order.
TEST_F(Rules, EveryRuleBrokenAtOnceGivesEveryMessageInOrder) {
  auto broken = [](TransactionData& r, Kind kind, short type) {
    r.SetType(type);
    r.SetBankAccount(tsAlpha(""));
    r.SetCheck(tsDouble(kind == Kind::kCheck ? 0 : 7));
    r.SetBatchSource(0);
    r.SetAddition(tsCurrency(-1));
    r.SetSubtraction(tsCurrency(-2));
  };
  const std::vector<Msg> head = {Blank("Bank"), Blank("Transaction Date"), Blank("Accounting Date")};
  const std::vector<Msg> batch = {Blank("Application of Origin"), Blank("Batch ID"), Blank("Batch Source"),
                                  Blank("Run Number", "zero"), Blank("Sequence Number", "zero")};
  struct Case {
    Kind kind;
    short type;
    Msg check;
    std::vector<Msg> amounts;
  };
  const Msg negative_add = Blank("Addition", "negative"), negative_sub = Blank("Subtraction", "negative");
  const Msg no_add = NonBlank("Addition", "zero"), no_sub = NonBlank("Subtraction", "zero");
  const std::vector<Case> cases = {
      {Kind::kCheck, 1, Blank("<8I>"), {negative_add, negative_sub, no_add}},
      {Kind::kDeposit, 2, NonBlank("<8I>", "blank"), {negative_add, negative_sub, no_sub}},
      {Kind::kWithdrawal, 3, NonBlank("<8I>", "blank"), {negative_add, negative_sub, no_add}},
      // Net amount -1 - -2 = +1: a plus side.
      {Kind::kAdjustment, 4, NonBlank("<8I>", "blank"), {negative_add, negative_sub, no_sub}},
      {Kind::kTransfer, 4, NonBlank("<8I>", "blank"), {negative_add, negative_sub, no_sub}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(vtest::KindName(c.kind));
    TransactionData r;  // dates, application, batch, run and sequence empty
    broken(r, c.kind, c.type);
    std::vector<Msg> expected = head;
    expected.push_back(c.check);
    expected.insert(expected.end(), batch.begin(), batch.end());
    expected.insert(expected.end(), c.amounts.begin(), c.amounts.end());
    auto st = RunKind(c.kind, program, r);
    EXPECT_EQ(vtest::Messages(st.Errors()), expected) << vtest::Describe(st.Errors());
    EXPECT_EQ(st.Value(), ccError::kError);
  }

  // A validater made directly over a record of no valid type runs the type
  // rule first, then every other rule.
  TransactionData r;
  broken(r, Kind::kCheck, 0);
  CheckValidater v(program, &r);
  auto st = v.DoIt(program);
  ASSERT_EQ(st.Errors().Size(), 13u) << vtest::Describe(st.Errors());
  EXPECT_EQ(st.Errors()[0].Number(), 1607);
  EXPECT_EQ(vtest::Messages(st.Errors())[1], Blank("Bank"));
  EXPECT_EQ(vtest::Messages(st.Errors()).back(), no_add);

  // A validater built on nothing never dereferences it.
  std::unique_ptr<TransactionValidater> empty[] = {
      std::make_unique<DepositValidater>(program, static_cast<Transaction*>(nullptr)),
      std::make_unique<TransferValidater>(program, static_cast<TransactionData*>(nullptr))};
  for (auto& none : empty) {
    auto nothing = none->DoIt(program);
    ASSERT_EQ(nothing.Errors().Size(), 1u);
    EXPECT_EQ(nothing.Errors()[0].Number(), 1607);
  }
}

TEST_F(Rules, AnInvalidTypeReachesNoRuleAndKeepsNoValidater) {
  for (short type : {0, 5, -1}) {
    TransactionData r;  // every other rule would fail too
    r.SetType(type);
    auto st = r.Validate(program, nullptr);
    ASSERT_EQ(st.Errors().Size(), 1u) << type << vtest::Describe(st.Errors());
    EXPECT_EQ(st.Errors()[0].Number(), 1607);
    EXPECT_EQ(st.Errors()[0].Text(), "Invalid transaction type.");
    EXPECT_EQ(st.Value(), ccError::kError);
    EXPECT_EQ(r.GetValidater(), nullptr);
  }
}

// Each rule operation alone, called directly: a fresh status with only its
// own messages.
TEST_F(Rules, RuleOperationsReturnOnlyTheirOwnMessages) {
  TransactionData r;
  vtest::FillValid(r, Kind::kCheck);
  vtest::Exposed<CheckValidater> v(program, &r);
  EXPECT_TRUE(v.ValidateTransactionType(program).Errors().Empty());
  EXPECT_TRUE(v.ValidateBank(program).Errors().Empty());
  EXPECT_TRUE(v.ValidateDates(program).Errors().Empty());
  EXPECT_TRUE(v.ValidateBatchRunSeq(program).Errors().Empty());
  EXPECT_TRUE(v.ValidateAmounts(program).Errors().Empty());

  const struct {
    bool required;
    const char* deposit_id;
    double check;
    std::vector<Msg> id_messages;
    std::vector<Msg> check_messages;
  } flags[] = {
      {true, "", 0, {Blank("Deposit ID")}, {Blank("<8I>")}},
      {true, "D-1", 12, {}, {}},
      {false, "", 0, {}, {}},
      {false, "D-1", 12, {NonBlank("Deposit ID", "blank")}, {NonBlank("<8I>", "blank")}},
  };
  for (const auto& f : flags) {
    r.SetDepositID(tsAlpha(f.deposit_id));
    r.SetCheck(tsDouble(static_cast<int>(f.check)));
    auto id = v.ValidateDepositID(program, f.required);
    auto check = v.ValidateCheck(program, f.required);
    EXPECT_EQ(vtest::Messages(id.Errors()), f.id_messages) << f.required << f.deposit_id;
    EXPECT_EQ(vtest::Messages(check.Errors()), f.check_messages) << f.required << f.check;
    EXPECT_EQ(id.Value(), f.id_messages.empty() ? ccError::kNone : ccError::kError);
  }

  // The account rules over the accounts given, whatever the record holds.
  const tsAlpha none(""), some(vtest::kCash);
  EXPECT_EQ(vtest::Messages(v.ValidateRegularAccounts(program, none, none).Errors()),
            (std::vector<Msg>{Blank("Debit Account"), Blank("Credit Account")}));
  EXPECT_EQ(vtest::Messages(v.ValidateRegularAccounts(program, some, none).Errors()),
            (std::vector<Msg>{Blank("Credit Account")}));
  EXPECT_TRUE(v.ValidateRegularAccounts(program, some, some).Errors().Empty());
  EXPECT_EQ(vtest::Messages(v.ValidateIntercompanyAccounts(program, none, none, true).Errors()),
            (std::vector<Msg>{Blank("I/C Receivable Account"), Blank("I/C Payable Account")}));
  EXPECT_TRUE(v.ValidateIntercompanyAccounts(program, some, some, true).Errors().Empty());
  EXPECT_TRUE(v.ValidateIntercompanyAccounts(program, none, none, false).Errors().Empty());
  EXPECT_EQ(vtest::Messages(v.ValidateIntercompanyAccounts(program, some, some, false).Errors()),
            (std::vector<Msg>{NonBlank("I/C Receivable Account", "blank"), NonBlank("I/C Payable", "blank")}));
  // Checks of batch source 2 have no account rules at all.
  r.SetBatchSource(BatchSourceEnum::kManualEntry);
  EXPECT_TRUE(v.ValidateRegularAccounts(program, none, none).Errors().Empty());
  EXPECT_TRUE(v.ValidateIntercompanyAccounts(program, none, none, true).Errors().Empty());
  vtest::Exposed<AdjustmentValidater> adjustment(program, &r);
  EXPECT_EQ(adjustment.ValidateRegularAccounts(program, none, none).Errors().Size(), 2u)
      << "only checks skip the account rules";

  // The batch fields use the user's term for a batch.
  tsString::SetCustomDescription("<1I>", "Deposit slip");
  r.SetBatch(tsAlpha(""));
  r.SetBatchSource(0);
  EXPECT_EQ(vtest::Messages(v.ValidateBatchRunSeq(program).Errors()),
            (std::vector<Msg>{Blank("Deposit slip ID"), Blank("Deposit slip Source")}));
  tsString::ResetCustomDescriptions();
}

// The record chooses its validater by type, keeps it between validations,
// makes a new one when the type or the cursor changes, and drops it when
// assigned to.
TEST_F(Rules, TheRecordKeepsTheValidaterOfItsType) {
  Transaction t(company.Bkt());
  TransactionData& r = t.m_Record;
  vtest::FillValid(r, Kind::kCheck);
  ASSERT_TRUE(r.Validate(program, nullptr).Errors().Empty());
  const TransactionValidater* first = r.GetValidater();
  ASSERT_NE(dynamic_cast<const CheckValidater*>(first), nullptr);
  EXPECT_EQ(first->GetTranType(), TransactionData::TranTypeEnum::kCheck);
  EXPECT_EQ(first->GetTransaction(), nullptr);
  EXPECT_EQ(first->GetTransactionData(), &r);
  ASSERT_TRUE(r.Validate(program, nullptr).Errors().Empty());
  EXPECT_EQ(r.GetValidater(), first) << "the same type keeps the validater";

  // Validating through the cursor replaces a validater without one, and a
  // later record-level validation keeps the cursor's.
  ASSERT_TRUE(t.Validate(program).Errors().Empty());
  const TransactionValidater* on_cursor = r.GetValidater();
  EXPECT_EQ(on_cursor->GetTransaction(), &t);
  EXPECT_EQ(on_cursor->GetTransactionData(), &r);
  ASSERT_TRUE(r.Validate(program, nullptr).Errors().Empty());
  EXPECT_EQ(r.GetValidater(), on_cursor);

  // Another type: a new validater of that type.
  const struct {
    Kind kind;
    const std::type_info& chosen;
  } types[] = {{Kind::kDeposit, typeid(DepositValidater)},
               {Kind::kWithdrawal, typeid(WithdrawalValidater)},
               {Kind::kAdjustment, typeid(AdjustmentValidater)},
               {Kind::kCheck, typeid(CheckValidater)}};
  for (const auto& c : types) {
    TransactionData fresh;
    r = fresh;  // assignment drops the validater
    EXPECT_EQ(r.GetValidater(), nullptr);
    vtest::FillValid(r, c.kind);
    EXPECT_TRUE(r.Validate(program, nullptr).Errors().Empty()) << vtest::KindName(c.kind);
    ASSERT_NE(r.GetValidater(), nullptr);
    EXPECT_TRUE(typeid(*r.GetValidater()) == c.chosen) << vtest::KindName(c.kind);
    EXPECT_EQ(static_cast<int>(r.GetValidater()->GetTranType()), r.GetType().Value());
  }

  // An invalid type drops the validater held.
  r.SetType(9);
  EXPECT_EQ(r.Validate(program, nullptr).Errors().Size(), 1u);
  EXPECT_EQ(r.GetValidater(), nullptr);

  // A cursor that does not hold the record is not used: the record
  // validates itself.
  TransactionData other;
  vtest::FillValid(other, Kind::kDeposit);
  other.SetBankAccount(tsAlpha(""));
  EXPECT_EQ(other.Validate(program, &t).Errors().Size(), 1u) << "the blank bank of `other`, not t's record";
  EXPECT_EQ(other.GetValidater()->GetTransaction(), nullptr);
  EXPECT_EQ(other.GetValidater()->GetTransactionData(), &other);

  // A copy starts without a validater of its own.
  TransactionData copy(other);
  EXPECT_EQ(copy.GetValidater(), nullptr);

  // The record-level hooks always succeed.
  EXPECT_EQ(r.Validate().Value(), kBoolSuccess);
  EXPECT_TRUE(r.Validate().Errors().Empty());
  EXPECT_EQ(r.ValidateField("TBNKACC", tsAlpha("")).Value(), kBoolSuccess);
}

// The names of the validation interface, as the module's programs use them
// (this test fails to compile when one is missing or misspelt).
template <typename V>
struct Names : V {
  using V::V;
  static void Take() {
    (void)&Names::DoIt;
    (void)&Names::ValidateRegularAccounts;
    (void)&Names::ValidateIntercompanyAccounts;
    (void)&Names::ValidateGLPeriods;
    (void)&Names::CheckExpected;
    (void)&Names::DepositIDExpected;
    (void)&Names::AdditionAmountExpected;
    (void)&Names::SubtractionAmountExpected;
    (void)&Names::ValidateTransactionType;
    (void)&Names::ValidateBank;
    (void)&Names::ValidateDates;
    (void)&Names::ValidateCheck;
    (void)&Names::ValidateDepositID;
    (void)&Names::ValidateBatchRunSeq;
    (void)&Names::ValidateAmounts;
    (void)&Names::DoTypeIndependentValidations;
    (void)&Names::DoAccountValidations;
    (void)&Names::MatchingIntercompanyPrefixes;
  }
};

TEST(ValidationInterface, NamesAndConstructors) {
  Names<CheckValidater>::Take();
  Names<DepositValidater>::Take();
  Names<WithdrawalValidater>::Take();
  Names<AdjustmentValidater>::Take();
  Names<TransferValidater>::Take();
  static_assert(std::is_abstract_v<TransactionValidater>);
  static_assert(std::has_virtual_destructor_v<TransactionValidater>);
  static_assert(std::is_base_of_v<TransactionValidater, TransferValidater>);
  static_assert(std::is_constructible_v<CheckValidater, const bkProgram&, Transaction*>);
  static_assert(std::is_constructible_v<CheckValidater, const bkProgram&, TransactionData*>);
  static_assert(std::is_constructible_v<TransferValidater, const bkProgram&, Transaction*>);
  static_assert(std::is_constructible_v<TransferValidater, const bkProgram&, TransactionData*>);
  static_assert(std::is_same_v<decltype(std::declval<Transaction&>().Validate(std::declval<bkProgram&>())),
                               ccStatus<ccError::Level>>);
  static_assert(std::is_same_v<decltype(std::declval<TransactionData&>().Validate(std::declval<bkProgram&>(),
                                                                                   nullptr)),
                               ccStatus<ccError::Level>>);
  // Deleting through the base deletes the whole validater (checked by the
  // sanitizer build).
  TransactionData r;
  bkProgram program(vtest::kCommand + 1);
  std::unique_ptr<TransactionValidater> v = std::make_unique<DepositValidater>(program, &r);
  EXPECT_TRUE(v->DepositIDExpected());
}

}  // namespace
