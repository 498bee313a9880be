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

// The bank's side of each transaction type (0 other, 1 check, 2 deposit, 3
// withdrawal, 4 increasing and 5 decreasing adjustment) and the GL
// transaction types each include type omits (cash, non-cash, due from, due
// to, any other), from the table of omitted types written out by hand: an
// adjustment is increasing when zero, neither side (every type omitted) with
// both amounts. The accounts of each side are checked through the lines
// written.
TEST(GLTransactionValues, OmittedTypesOfEveryTransactionType) {
  posttest::GlPostingCompany company;
  const BKIncludeGLTranTypeEnum includes[5] = {kBKIncludeCash, kBKIncludeNonCashWithTax, kBKIncludeDueFrom,
                                               kBKIncludeDueTo, static_cast<BKIncludeGLTranTypeEnum>(3)};
  std::string said;
  for (const auto& [type, amount, subtraction] :
       {std::tuple{1, "20", 0}, {2, "20", 0}, {3, "20", 0}, {4, "20", 0}, {4, "-20", 0}, {4, "0", 0}, {4, "20", 5}}) {
    TransactionData t = MakeTransaction(type, amount);
    if (subtraction) t.SetSubtraction(tsCurrency(subtraction));
    DetailedTransactionData d(&t, t.GetDescription(), kNonCashWithoutTax, false, false);
    bkGLTransactionValues v(company.Program(), true, &d);
    said += std::to_string(type) + " " + amount + (subtraction ? "-5" : "") + ": " + std::to_string(v.GetBKTranType());
    for (BKIncludeGLTranTypeEnum include : includes) {
      said += " " + std::to_string(v.GetOmittedGLTTranTypeBitfield(include).Value());
    }
    said += "\n";
  }
  EXPECT_EQ(said,
            "1 20: 1 13 14 11 7 15\n"
            "2 20: 2 14 13 11 7 15\n"
            "3 20: 3 13 14 11 7 15\n"
            "4 20: 4 14 13 11 7 15\n"
            "4 -20: 5 13 14 11 7 15\n"
            "4 0: 4 14 13 11 7 15\n"
            "4 20-5: 0 15 15 15 15 15\n");
}

// Amount and descriptions by level as one text, as the record and its
// detail change: a reversal negates the amount and marks the descriptions
// (cut to 30 characters); a negative detail takes the subtraction when there
// is no addition; otherwise the net amount is made positive.
TEST(GLTransactionValues, AmountDescriptionAndReversals) {
  posttest::GlPostingCompany company;
  TransactionData t = MakeTransaction(2, "100", "Weekly takings from the shop counter");
  DetailedTransactionData d(&t, t.GetDescription(), kNonCashWithTax, false, false);
  d.SetDescription(1, tsAlpha("Item one"));
  bkGLTransactionValues v(company.Program(), false, &d);
  EXPECT_FALSE(v.IsNonTaxTransaction());
  std::vector<std::string> said;
  auto say = [&](const std::function<void()>& change) {
    change();
    said.push_back(v.Amount().Format() + " [" + v.Description(kTranLevelTransaction).str() + "] [" +
                   v.Description(kTranLevelSummary).str() + "] [" + v.Description(kTranLevelDetail).str() + "]");
  };
  say([] {});
  say([&] { d.SetIsReversal(true); });
  say([&] {
    d.SetIsReversal(false);
    d.SetIsNegative(true);
    t.SetAddition(tsCurrency(0));
    t.SetSubtraction(tsCurrency(30));
  });
  say([&] { t.SetAddition(tsCurrency(-12)); });
  say([&] { d.SetIsNegative(false); });
  EXPECT_EQ(said, (std::vector<std::string>{
                      "100.00 [Weekly takings from the shop counter] [BK Deposit] [Item one]",
                      "-100.00 [(REV) Weekly takings from the ] [(REV) BK Deposit] [(REV) Item one]",
                      "30.00 [Weekly takings from the shop counter] [BK Deposit] [Item one]",
                      "-12.00 [Weekly takings from the shop counter] [BK Deposit] [Item one]",
                      "42.00 [Weekly takings from the shop counter] [BK Deposit] [Item one]",
                  }));
  bkGLTransactionValues none(company.Program(), false, nullptr);
  EXPECT_EQ(none.Amount().Format() + "|" + none.Description(kTranLevelTransaction).str() + "|" +
                none.DebitAccount(kBKIncludeCash).str() + "|" + std::to_string(none.GetBKTranType()),
            "0.00|||" + std::to_string(kBKTranOther));
}

// References follow the options "CGLREF1" and "CGLREF2" (any n but 1 reads
// the second); the accounting method is read from the control file, once
// per object.
TEST(GLTransactionValues, ReferencesAndAccountingMethodFollowTheSettings) {
  posttest::GlPostingCompany company;
  TransactionData t = MakeTransaction(2, "100", "First", "DEP-9");
  DetailedTransactionData d(&t, t.GetDescription(), kNonCashWithoutTax, false, false);
  const short refs[3][2] = {{2, 3}, {3, 2}, {1, 4}};
  std::string said;
  for (short method : {1, 2, 3}) {
    company.SetAccountingMethod(method);
    bkGLTransactionValues v(company.Program(), false, &d);
    company.SetOptions(false, 1, 1, refs[method - 1][0], refs[method - 1][1]);
    said += std::to_string(v.AccountingMethod()) + std::to_string(v.AccrualAccounting()) +
            std::to_string(v.CashAccounting()) + " " + v.Reference(1).str() + "/" + v.Reference(2).str() + "/" +
            v.Reference(7).str() + "\n";
  }
  EXPECT_EQ(said, "110 BANK1/DEP-9/DEP-9\n201 DEP-9/BANK1/BANK1\n311 //\n");
}

// ---- key ------------------------------------------------------------------------

TEST(GLTranDefKey, WhichFieldsKeepLinesApart) {
  bkGLTranDefKey base;
  base.m_CreditAccount = tsAlpha("4000");
  base.m_Batch = tsAlpha("B1");

  // Fields that take no part: lines still merge.
  bkGLTranDefKey same(base);
  same.m_ApplOfOrigin = tsAlpha("AP");
  same.m_Text = tsAlpha("x");
  same.m_EmployeeID = tsAlpha("E1");
  same.m_JobID = tsAlpha("J1");
  same.m_ARCustomerID = tsAlpha("C1");
  same.m_ARInvoiceID = tsAlpha("I1");
  same.m_SMWorkOrderInvoiceID = tsNum<long>(5);
  EXPECT_TRUE(same == base && !(same < base) && !(base < same));
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

// The key's texts are cut to their fields' widths and stay terminated;
// the fields no posting test carries through land where they belong.
TEST(GLTranDef, KeyTextsAreCutToTheirFields) {
  bkGLTranDefKey k;
  k.m_CreditAccount = tsAlpha("C23456789012345678901234567890");  // longer than 25: cut
  k.m_ApplOfOrigin = tsAlpha("BKXXY");                            // 5 characters: cut to 4
  k.m_Batch = tsAlpha("BATCH12345X");                             // 11 characters: cut to 10
  k.m_EmployeeID = tsAlpha("EMP");
  k.m_JobID = tsAlpha("JOB");
  k.m_ARCustomerID = tsAlpha("CUST");
  k.m_ARInvoiceID = tsAlpha("INV");
  k.m_SMWorkOrderInvoiceID = tsNum<long>(99);
  gl_tran_def d;
  std::memset(&d, 'x', sizeof d);  // every byte dirty: the copy must terminate its texts
  k.CopyKeyToGLTranDef(d);
  std::string all;
  for (const auto& [field, width] : {std::pair<const char*, size_t>{d.credit_account, sizeof d.credit_account},
                                     {d.appl_of_origin, sizeof d.appl_of_origin},
                                     {d.batch, sizeof d.batch},
                                     {d.employee_id, sizeof d.employee_id},
                                     {d.job_id, sizeof d.job_id},
                                     {d.ar_customer_id, sizeof d.ar_customer_id},
                                     {d.ar_invoice_id, sizeof d.ar_invoice_id}}) {
    all += std::string(field, strnlen(field, width)) + "|";
  }
  EXPECT_EQ(all + std::to_string(d.sm_work_order_invoice_id),
            "C234567890123456789012345|BKXX|BATCH12345|EMP|JOB|CUST|INV|99");
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

// Lines roll out, in key order, when a roll's ending level reaches their
// level: every pair of levels (-3 nothing, -2 everything, -1 summary, 0
// transaction, 1 item, 2 detail). The accumulator's own type ignores -2 and
// -1; copies share the definitions, not the map.
TEST(GLTranDefAccumulator, RollsOutByLevelInKeyOrder) {
  bkGLTranDefAccumulator acc(kBKGLTranCash);
  acc.SetTranType(kBKGLTranNone);
  acc.SetTranType(kBKGLTranAll);
  EXPECT_EQ(acc.GetTranType(), kBKGLTranCash);
  glTranDefList both = {Def("1"), Def("10.10")};
  ASSERT_EQ(acc.AccumulateGLTranDef(Key("2"), both.back()).Value(), 13);
  ASSERT_EQ(acc.AccumulateGLTranDef(Key("1"), both.front()).Value(), 13);
  std::string rolled;  // "<ending>:<line level>" of every pair that rolls out
  for (int ending = kTranLevelNothing; ending <= kTranLevelDetail; ++ending) {
    for (int line = kTranLevelNothing; line <= kTranLevelDetail; ++line) {
      bkGLTranDefAccumulator copy(acc);
      glTranDefList out;
      EXPECT_EQ(copy.RollTrans(out, TranLevelEnum(ending), TranLevelEnum(line)).Value(), tsioStatus::kSuccess);
      EXPECT_EQ(copy.IsEmpty(), !out.empty());
      if (out.empty()) continue;
      EXPECT_EQ(out, both);
      rolled += std::to_string(ending) + ":" + std::to_string(line) + " ";
    }
  }
  EXPECT_EQ(rolled, "-2:-2 -2:-1 -2:0 -2:1 -2:2 -1:-1 -1:0 -1:1 -1:2 0:0 0:1 0:2 1:1 1:2 2:2 ");
  EXPECT_EQ(acc.Size(), 2u);
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
