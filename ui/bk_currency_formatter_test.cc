// The module's money format: the formatter forms, formats taken from the
// data dictionary, and where ApplyFormatter puts it.
#include <gtest/gtest.h>

#include "records/record_test_support.h"
#include "framework/types/values.h"
#include "ui/bk_currency_formatter.h"

namespace {

// The style flag allows negatives without separators, or no negatives with
// separators and zero shown blank; a limit is a floor, kept by a copy; the
// field forms take digits and decimals from the dictionary.
TEST(CurrencyFormatter, FlagsLimitsAndDictionaryForms) {
  std::unique_ptr<bkCurrencyFormatter> set(bkCurrencyFormatter::NewFormatter(9, 2, true));
  EXPECT_TRUE(set->IsValid("-12.50"));
  EXPECT_EQ(set->Format(tsCurrency::FromText("1234.5")), "1234.50");
  std::unique_ptr<bkCurrencyFormatter> clear(bkCurrencyFormatter::NewFormatter(9, 2, false));
  EXPECT_FALSE(clear->IsValid("-12.50"));
  EXPECT_EQ(clear->Format(tsCurrency::FromText("1234.5")), "1,234.50");
  EXPECT_EQ(clear->Format(tsCurrency(0)), "");
  std::unique_ptr<bkCurrencyFormatter> floor(bkCurrencyFormatter::NewFormatter(9, 2, 0.01, true));
  std::unique_ptr<tsEditFormatter> copy = floor->Clone();
  const tsEditFormatter* floors[] = {floor.get(), copy.get()};
  for (const tsEditFormatter* f : floors) {
    EXPECT_FALSE(f->IsValid("0"));
    EXPECT_TRUE(f->IsValid("0.01"));
    EXPECT_FALSE(f->IsValid("1000000000")) << "nine digits";
  }

  bktest::BankCompany co;
  // TADD: money, 15 digits of which 2 decimals; BCNT: 5 digits, none.
  std::unique_ptr<bkCurrencyFormatter> amount(bkCurrencyFormatter::NewFormatter("TADD", *co.bkt, true));
  ASSERT_NE(amount, nullptr);
  EXPECT_EQ(amount->Digits(), 13);
  EXPECT_EQ(amount->Decimals(), 2);
  std::unique_ptr<bkCurrencyFormatter> count(bkCurrencyFormatter::NewFormatter("BCNT", *co.bkt, 1.0, false));
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count->Digits(), 5);
  EXPECT_EQ(count->Decimals(), 0);
  EXPECT_FALSE(count->IsValid("0"));
  EXPECT_EQ(bkCurrencyFormatter::NewFormatter("NOSUCH", *co.bkt, true), nullptr);
}

TEST(CurrencyFormatter, ApplyPutsItWhereEachKindOfControlTakesIt) {
  bktest::BankCompany co;
  tsEdit edit;
  EXPECT_TRUE(bkCurrencyFormatter::ApplyFormatter(edit, 9, 2, true));
  ASSERT_NE(edit.GetFormatter(), nullptr);
  EXPECT_TRUE(bkCurrencyFormatter::ApplyFormatter(edit, "TADD", *co.bkt, 0.0, false));
  EXPECT_EQ(static_cast<tsNumEditFormatter*>(edit.GetFormatter())->Digits(), 13);
  EXPECT_FALSE(bkCurrencyFormatter::ApplyFormatter(edit, "NOSUCH", *co.bkt, true));

  tsdmDBComboBox combo;
  EXPECT_TRUE(bkCurrencyFormatter::ApplyFormatter(combo, 9, 2, 0.0, true));
  ASSERT_NE(combo.GetFormatter(), nullptr);
  combo.SetWindowText("12.5");
  EXPECT_EQ(combo.GetWindowText(), "12.50");

  tsdmEditLine line;
  EXPECT_TRUE(bkCurrencyFormatter::ApplyFormatter(line, "TADD", *co.bkt, true));
  ASSERT_NE(line.ImplControl().GetFormatter(), nullptr);
  EXPECT_TRUE(bkCurrencyFormatter::ApplyFormatter(line, 7, 2, false));
  EXPECT_EQ(static_cast<tsNumEditFormatter*>(line.ImplControl().GetFormatter())->Digits(), 7);

  // Neither a combo box nor an edit line: left alone.
  tsdmControl plain("TADD");
  EXPECT_FALSE(bkCurrencyFormatter::ApplyFormatter(plain, 9, 2, true));
  EXPECT_FALSE(bkCurrencyFormatter::ApplyFormatter(plain, 9, 2, 0.0, true));
  EXPECT_FALSE(bkCurrencyFormatter::ApplyFormatter(plain, "TADD", *co.bkt, true));
  EXPECT_FALSE(bkCurrencyFormatter::ApplyFormatter(plain, "TADD", *co.bkt, 0.0, true));
}

}  // namespace
