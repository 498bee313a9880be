// The value source of general-ledger lines, the key that merges lines, the
// accumulator and the layout of the transaction definition.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <random>

#include "framework/module/gl_blocks.h"
#include "ledger/gl_posting_test_support.h"
#include "ledger/gl_tran_creator.h"
#include "ledger/gl_tran_def_accumulator.h"
#include "ledger/gl_transaction_values.h"

namespace {

using posttest::MakeTransaction;

// ---- values -----------------------------------------------------------------

struct TypeCase {
  const char* name;
  int type;
  const char* amount;  // signed for adjustments
  BKTranTypeEnum bk_type;
  // Accounts of include types 1, 2 (4 is the same), 8, 16: debit / credit.
  const char* debit[4];
  const char* credit[4];
  short omitted[4];
};

// From the tables of the bank's sides and of the omitted GL transaction
// types, written out by hand.
const TypeCase kTypes[] = {
    {"check", 1, "20", kBKTranCheck, {"", "1000", "1500", ""}, {"4000", "", "", "2500"}, {13, 14, 11, 7}},
    {"deposit", 2, "20", kBKTranDeposit, {"1000", "", "1500", ""}, {"", "4000", "", "2500"}, {14, 13, 11, 7}},
    {"withdrawal", 3, "20", kBKTranWithdrawal, {"", "1000", "1500", ""}, {"4000", "", "", "2500"}, {13, 14, 11, 7}},
    {"plus adjustment", 4, "20", kBKTranIncreasingAdjustment, {"1000", "", "1500", ""}, {"", "4000", "", "2500"},
     {14, 13, 11, 7}},
    {"minus adjustment", 4, "-20", kBKTranDecreasingAdjustment, {"", "1000", "1500", ""}, {"4000", "", "", "2500"},
     {13, 14, 11, 7}},
};

TEST(GLTransactionValues, AccountsTypesAndOmittedTypesOfEveryTransactionType) {
  posttest::GlPostingCompany company;
  const BKIncludeGLTranTypeEnum includes[4] = {kBKIncludeCash, kBKIncludeNonCashWithoutTax, kBKIncludeDueFrom,
                                               kBKIncludeDueTo};
  for (const TypeCase& c : kTypes) {
    SCOPED_TRACE(c.name);
    TransactionData t = MakeTransaction(c.type, c.amount);
    DetailedTransactionData d(&t, t.GetDescription(), kNonCashWithoutTax, false, false);
    bkGLTransactionValues v(company.Program(), true, &d);
    EXPECT_EQ(v.GetBKTranType(), c.bk_type);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(v.DebitAccount(includes[i]), c.debit[i]) << includes[i];
      EXPECT_EQ(v.CreditAccount(includes[i]), c.credit[i]) << includes[i];
      EXPECT_EQ(v.GetOmittedGLTTranTypeBitfield(includes[i]).Value(), c.omitted[i]) << includes[i];
    }
    EXPECT_EQ(v.DebitAccount(kBKIncludeNonCashWithTax), v.DebitAccount(kBKIncludeNonCashWithoutTax));
    EXPECT_EQ(v.GetOmittedGLTTranTypeBitfield(static_cast<BKIncludeGLTranTypeEnum>(3)).Value(), 15);
    EXPECT_EQ(v.DebitAccount(static_cast<BKIncludeGLTranTypeEnum>(32)), "");
    EXPECT_EQ(v.Amount(), tsCurrency(20));
    EXPECT_EQ(v.CheckNumber(), c.type == 1 ? tsDouble(1234) : tsDouble(0));
    EXPECT_EQ(v.BankID(), "BANK1");
    EXPECT_EQ(v.HostAppl(), "BK");
    EXPECT_EQ(v.ApplOfOrigin(), "BK");
    EXPECT_EQ(v.Journal().Value(), 7);
    EXPECT_EQ(v.AccountingDate(), tsDate(2025, 3, 5));
    EXPECT_EQ(v.BatchSource().Value(), 2);
  }
}

TEST(GLTransactionValues, AnAdjustmentWithBothAmountsIsNeitherSide) {
  posttest::GlPostingCompany company;
  TransactionData t = MakeTransaction(4, "20");
  t.SetSubtraction(tsCurrency(5));
  DetailedTransactionData d(&t, t.GetDescription(), kNonCashWithoutTax, false, false);
  bkGLTransactionValues v(company.Program(), true, &d);
  EXPECT_EQ(v.GetBKTranType(), kBKTranOther);
  for (auto i : {kBKIncludeCash, kBKIncludeNonCashWithTax, kBKIncludeDueFrom, kBKIncludeDueTo}) {
    EXPECT_EQ(v.GetOmittedGLTTranTypeBitfield(i).Value(), 15);
  }
  EXPECT_EQ(v.Amount(), tsCurrency(15));
  // A zero adjustment is an increasing one.
  t.SetAddition(tsCurrency(0));
  t.SetSubtraction(tsCurrency(0));
  EXPECT_EQ(v.GetBKTranType(), kBKTranIncreasingAdjustment);
}

TEST(GLTransactionValues, AmountDescriptionAndReversals) {
  posttest::GlPostingCompany company;
  TransactionData t = MakeTransaction(2, "100", "Weekly takings from the shop counter");
  DetailedTransactionData d(&t, t.GetDescription(), kNonCashWithTax, false, false);
  bkGLTransactionValues v(company.Program(), false, &d);
  EXPECT_FALSE(v.IsNonTaxTransaction());
  EXPECT_EQ(v.Description(kTranLevelTransaction), "Weekly takings from the shop counter");
  EXPECT_EQ(v.Description(kTranLevelSummary), "BK Deposit") << "no description at the summary level";
  d.SetDescription(1, tsAlpha("Item one"));
  EXPECT_EQ(v.Description(kTranLevelDetail), "Item one");

  d.SetIsReversal(true);
  EXPECT_EQ(v.Amount(), tsCurrency(-100));
  EXPECT_EQ(v.Description(kTranLevelTransaction), "(REV) Weekly takings from the ");
  EXPECT_EQ(v.Description(kTranLevelTransaction).str().size(), 30u);
  EXPECT_EQ(v.Description(kTranLevelSummary), "(REV) BK Deposit");

  // Negative details: the subtraction when there is no addition.
  d.SetIsReversal(false);
  d.SetIsNegative(true);
  t.SetAddition(tsCurrency(0));
  t.SetSubtraction(tsCurrency(30));
  EXPECT_EQ(v.Amount(), tsCurrency(30));
  t.SetAddition(tsCurrency(-12));
  EXPECT_EQ(v.Amount(), tsCurrency(-12));
  d.SetIsNegative(false);
  EXPECT_EQ(v.Amount(), tsCurrency(42)) << "net -42 made positive";

  bkGLTransactionValues none(company.Program(), false, nullptr);
  EXPECT_EQ(none.Amount(), tsCurrency(0));
  EXPECT_EQ(none.Description(kTranLevelTransaction), "");
  EXPECT_EQ(none.GetBKTranType(), kBKTranOther);
  EXPECT_EQ(none.DebitAccount(kBKIncludeCash), "");
}

TEST(GLTransactionValues, ReferencesFollowTheSettings) {
  posttest::GlPostingCompany company;
  TransactionData t = MakeTransaction(2, "100", "First", "DEP-9");
  DetailedTransactionData d(&t, t.GetDescription(), kNonCashWithoutTax, false, false);
  bkGLTransactionValues v(company.Program(), false, &d);
  struct {
    short ref1, ref2;
    const char* want1;
    const char* want2;
  } cases[] = {{1, 1, "", ""}, {2, 3, "BANK1", "DEP-9"}, {3, 2, "DEP-9", "BANK1"}, {4, 0, "", ""}};
  for (const auto& c : cases) {
    company.SetOptions(false, 1, 1, c.ref1, c.ref2);
    EXPECT_EQ(v.Reference(1), c.want1) << c.ref1;
    EXPECT_EQ(v.Reference(2), c.want2) << c.ref2;
    EXPECT_EQ(v.Reference(7), c.want2) << "any n but 1 reads the second option";
  }
}

TEST(GLTransactionValues, AccountingMethodFromTheControlFile) {
  posttest::GlPostingCompany company;
  struct {
    short method;
    bool accrual, cash;
  } cases[] = {{1, true, false}, {2, false, true}, {3, true, true}};
  for (const auto& c : cases) {
    company.SetAccountingMethod(c.method);
    bkGLTransactionValues v(company.Program(), false, nullptr);  // reads once per object
    EXPECT_EQ(v.AccountingMethod(), c.method);
    EXPECT_EQ(v.AccrualAccounting(), c.accrual) << c.method;
    EXPECT_EQ(v.CashAccounting(), c.cash) << c.method;
  }
}

// ---- key ------------------------------------------------------------------------

TEST(GLTranDefKey, WhichFieldsKeepLinesApart) {
  bkGLTranDefKey base;
  base.m_CreditAccount = tsAlpha("4000");
  base.m_Batch = tsAlpha("B1");
  EXPECT_EQ(bkGLTranDefKey().m_BatchSource.Value(), 1);

  // Fields that take no part: lines still merge.
  for (auto change : std::vector<std::function<void(bkGLTranDefKey&)>>{
           [](bkGLTranDefKey& k) { k.m_ApplOfOrigin = tsAlpha("AP"); },
           [](bkGLTranDefKey& k) { k.m_Text = tsAlpha("x"); },
           [](bkGLTranDefKey& k) { k.m_EmployeeID = tsAlpha("E1"); },
           [](bkGLTranDefKey& k) { k.m_JobID = tsAlpha("J1"); },
           [](bkGLTranDefKey& k) { k.m_ARCustomerID = tsAlpha("C1"); },
           [](bkGLTranDefKey& k) { k.m_ARInvoiceID = tsAlpha("I1"); },
           [](bkGLTranDefKey& k) { k.m_SMWorkOrderInvoiceID = tsNum<long>(5); }}) {
    bkGLTranDefKey k(base);
    change(k);
    EXPECT_TRUE(k == base);
    EXPECT_FALSE(k < base || base < k);
  }
  // Fields that do, in this order: a later field decides only when the
  // earlier ones are equal.
  std::vector<std::function<void(bkGLTranDefKey&)>> order = {
      [](bkGLTranDefKey& k) { k.m_CreditAccount = tsAlpha("4001"); },
      [](bkGLTranDefKey& k) { k.m_DebitAccount = tsAlpha("1"); },
      [](bkGLTranDefKey& k) { k.m_SummarizeCredit = tsBool(true); },
      [](bkGLTranDefKey& k) { k.m_SummarizeDebit = tsBool(true); },
      [](bkGLTranDefKey& k) { k.m_AccountingDate = tsDate(2025, 1, 1); },
      [](bkGLTranDefKey& k) { k.m_Journal = tsNum<short>(1); },
      [](bkGLTranDefKey& k) { k.m_ICReceivableAccount = tsAlpha("1"); },
      [](bkGLTranDefKey& k) { k.m_ICPayableAccount = tsAlpha("1"); },
      [](bkGLTranDefKey& k) { k.m_Batch = tsAlpha("B2"); },
      [](bkGLTranDefKey& k) { k.m_BatchSource = tsChoice(2); },
      [](bkGLTranDefKey& k) { k.m_RunNumber = tsDouble(1); },
  };
  for (size_t i = 0; i < order.size(); ++i) {
    bkGLTranDefKey k(base);
    order[i](k);
    EXPECT_TRUE(k != base) << i;
    EXPECT_TRUE(base < k && base <= k && k > base && k >= base) << i;
    // Every earlier field made greater on the base outweighs this one.
    for (size_t j = 0; j < i; ++j) {
      bkGLTranDefKey earlier(base);
      order[j](earlier);
      EXPECT_TRUE(k < earlier) << i << " after " << j;
    }
  }
}

// ---- layout -----------------------------------------------------------------

template <typename T>
T At(const gl_tran_def& d, size_t offset) {
  T v;
  std::memcpy(&v, reinterpret_cast<const unsigned char*>(&d) + offset, sizeof v);
  return v;
}
std::string TextAt(const gl_tran_def& d, size_t offset, size_t width) {
  const char* p = reinterpret_cast<const char*>(&d) + offset;
  EXPECT_EQ(p[width - 1], '\0') << "field at " << offset << " is zero-terminated";
  return std::string(p, strnlen(p, width));
}

TEST(GLTranDef, KeyFieldsLandAtTheirOffsets) {
  bkGLTranDefKey k;
  k.m_CreditAccount = tsAlpha("C23456789012345678901234567890");  // longer than 25: cut
  k.m_DebitAccount = tsAlpha("1000");
  k.m_SummarizeCredit = tsBool(true);
  k.m_AccountingDate = tsDate(2025, 3, 5);
  k.m_Journal = tsNum<short>(7);
  k.m_ICReceivableAccount = tsAlpha("1500");
  k.m_ICPayableAccount = tsAlpha("2500");
  k.m_ApplOfOrigin = tsAlpha("BKXX");
  k.m_Batch = tsAlpha("BATCH12345X");  // 11 characters: cut to 10
  k.m_BatchSource = tsChoice(3);
  k.m_RunNumber = tsDouble(123456789);
  k.m_EmployeeID = tsAlpha("EMP");
  k.m_JobID = tsAlpha("JOB");
  k.m_ARCustomerID = tsAlpha("CUST");
  k.m_ARInvoiceID = tsAlpha("INV");
  k.m_SMWorkOrderInvoiceID = tsNum<long>(99);
  gl_tran_def d{};
  k.CopyKeyToGLTranDef(d);
  EXPECT_EQ(At<int16_t>(d, 2), 2025);
  EXPECT_EQ(At<int16_t>(d, 4), 3);
  EXPECT_EQ(At<int16_t>(d, 6), 5);
  EXPECT_EQ(At<int16_t>(d, 8), 7);
  EXPECT_EQ(TextAt(d, 34, 26), "1500");
  EXPECT_EQ(TextAt(d, 60, 26), "2500");
  EXPECT_EQ(TextAt(d, 86, 26), "1000");
  EXPECT_EQ(At<int16_t>(d, 112), 0);
  EXPECT_EQ(TextAt(d, 203, 26), "C234567890123456789012345");
  EXPECT_EQ(At<int16_t>(d, 229), 1);
  EXPECT_EQ(TextAt(d, 320, 5), "BKXX");
  EXPECT_EQ(TextAt(d, 325, 11), "BATCH12345");
  EXPECT_EQ(At<int16_t>(d, 336), 3);
  EXPECT_EQ(At<double>(d, 338), 123456789.0);
  EXPECT_EQ(TextAt(d, 424, 11), "JOB");
  EXPECT_EQ(TextAt(d, 464, 11), "EMP");
  EXPECT_EQ(TextAt(d, 512, 11), "CUST");
  EXPECT_EQ(TextAt(d, 523, 16), "INV");
  EXPECT_EQ(At<int32_t>(d, 539), 99);
}

// Amounts keep every cent through the definition: the exact form always,
// the double for every amount a money column holds (15 digits).
TEST(GLTranDef, AmountsStayExactToTheCent) {
  std::mt19937_64 rng(20250305);
  const int64_t kLargest = 999999999999999;  // 9,999,999,999,999.99 in cents
  std::vector<int64_t> cents = {0, 1, -1, 10, 99, kLargest, -kLargest, kLargest - 1, 100000000000000};
  std::uniform_int_distribution<int64_t> any(-kLargest, kLargest);
  for (int i = 0; i < 20000; ++i) cents.push_back(any(rng));
  for (int64_t c : cents) {
    const tsCurrency amount(tsDouble::FromScaled(c, 2, 2));
    gl_tran_def d{};
    glSetTranDefAmount(d, amount);
    ASSERT_EQ(glTranDefAmount(d), amount) << c;
    gl_tran_def only_double{};
    only_double.amount = d.amount;
    ASSERT_EQ(glTranDefAmount(only_double), amount) << c << ": the double alone rounds back to the cent";
  }
  // Sums are exact where doubles drift: a million cents are 10,000.00.
  gl_tran_def sum{};
  glSetTranDefAmount(sum, tsCurrency());
  gl_tran_def cent{};
  glSetTranDefAmount(cent, tsCurrency::FromText("0.01"));
  for (int i = 0; i < 1000000; ++i) glAddTranDefAmount(sum, cent);
  EXPECT_EQ(glTranDefAmount(sum), tsCurrency(10000));
  // A sum that no longer fits is marked, never wrapped.
  gl_tran_def big{};
  glSetTranDefAmount(big, tsCurrency(tsDouble::FromScaled(INT64_MAX, 2, 2)));
  glAddTranDefAmount(big, cent);
  EXPECT_EQ(big.exact_state, kGLAmountOverflowed);
  EXPECT_FALSE(glTranDefAmount(big).IsValid());
}

// ---- accumulator ------------------------------------------------------------

glTranDefPtr Def(const char* amount) {
  auto d = std::make_shared<gl_tran_def>();
  glSetTranDefAmount(*d, tsCurrency::FromText(amount));
  return d;
}
bkGLTranDefKey Key(const char* account) {
  bkGLTranDefKey k;
  k.m_DebitAccount = tsAlpha(account);
  return k;
}

TEST(GLTranDefAccumulator, AddsMergesAndRollsByLevel) {
  bkGLTranDefAccumulator acc(kBKGLTranCash);
  EXPECT_EQ(acc.GetTranType(), kBKGLTranCash);
  acc.SetTranType(kBKGLTranNone);
  acc.SetTranType(kBKGLTranAll);
  EXPECT_EQ(acc.GetTranType(), kBKGLTranCash) << "-2 and -1 are ignored";
  EXPECT_TRUE(acc.IsEmpty());
  auto first = Def("10.10");
  EXPECT_EQ(acc.AccumulateGLTranDef(Key("2"), first).Value(), 13);
  auto second = Def("0.05");
  EXPECT_EQ(acc.AccumulateGLTranDef(Key("2"), second).Value(), 6);
  EXPECT_EQ(glTranDefAmount(*first), tsCurrency::FromText("10.15")) << "merged into the held, shared definition";
  auto third = Def("1");
  EXPECT_EQ(acc.AccumulateGLTranDef(Key("1"), third).Value(), 13);

  // (ending, line level) -> rolled out?
  struct {
    TranLevelEnum ending, line;
    bool rolls;
  } cases[] = {
      {kTranLevelNothing, kTranLevelDetail, false}, {kTranLevelEverything, kTranLevelNothing, false},
      {kTranLevelTransaction, kTranLevelSummary, false}, {kTranLevelItem, kTranLevelTransaction, false},
      {kTranLevelDetail, kTranLevelItem, false},        {kTranLevelSummary, kTranLevelSummary, true},
      {kTranLevelTransaction, kTranLevelItem, true},    {kTranLevelItem, kTranLevelItem, true},
      {kTranLevelEverything, kTranLevelSummary, true},  {kTranLevelEverything, kTranLevelDetail, true},
  };
  for (const auto& c : cases) {
    bkGLTranDefAccumulator copy(acc);
    glTranDefList out;
    EXPECT_EQ(copy.RollTrans(out, c.ending, c.line).Value(), tsioStatus::kSuccess);
    EXPECT_EQ(out.size(), c.rolls ? 2u : 0u) << c.ending << " " << c.line;
    EXPECT_EQ(copy.IsEmpty(), c.rolls);
    if (c.rolls) {
      EXPECT_EQ(out.front(), third) << "key order";
      EXPECT_EQ(out.back(), first);
    }
  }
  EXPECT_EQ(acc.Size(), 2u) << "copies share definitions, not maps";
  acc.ClearAccumulatorContainer();
  EXPECT_TRUE(acc.IsEmpty());
}

// Units of work over random accumulations, rolls, commits and rollbacks,
// against a model: the committed lines (key -> amount) and what the unit
// added; a rollback goes back to the committed lines.
TEST(GLTranDefAccumulator, RollbackReturnsToTheLastCommitModel) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    bkGLTranDefAccumulator acc(kBKGLTranCash);
    std::map<std::string, long long> committed;  // cents held at the commit point
    std::map<std::string, long long> now;        // cents held now
    for (int step = 0; step < 60; ++step) {
      const int what = static_cast<int>(rng() % 10);
      if (what < 6) {
        const std::string account(1, static_cast<char>('A' + rng() % 4));
        const long long c = static_cast<long long>(rng() % 10000) - 2000;
        auto d = std::make_shared<gl_tran_def>();
        glSetTranDefAmount(*d, tsCurrency(tsDouble::FromScaled(c, 2, 2)));
        const auto st = acc.AccumulateGLTranDef(Key(account.c_str()), d).Value();
        ASSERT_EQ(st, now.count(account) ? 6 : 13);
        now[account] += c;
      } else if (what == 6) {
        glTranDefList out;
        ASSERT_EQ(acc.RollTrans(out, kTranLevelEverything, kTranLevelSummary).Value(), tsioStatus::kSuccess);
        ASSERT_EQ(out.size(), now.size());
        now.clear();
      } else if (what == 7) {
        acc.CommitUnit();
        committed = now;
      } else {
        acc.RollBackUnit();
        now = committed;
      }
      std::map<std::string, long long> held;
      for (const auto& [k, d] : acc.Lines()) {
        const tsCurrency a = glTranDefAmount(*d);
        held[k.m_DebitAccount.str()] = (a * 100).ToLongLong();
      }
      ASSERT_EQ(held, now) << "round " << round << " step " << step;
    }
  }
}

}  // namespace
