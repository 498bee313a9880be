// The module's money format: the formatter forms, formats taken from the
// data dictionary, and where ApplyFormatter puts it.
#include <gtest/gtest.h>

#include "framework/types/values.h"
#include "records/record_test_support.h"
#include "ui/bk_currency_formatter.h"

namespace {

// A formatter's integer digits and decimals, which of a few texts it
// accepts, and how it shows 1234.5 and 0.
std::string Shape(const tsEditFormatter* f) {
  const auto* n = dynamic_cast<const tsNumEditFormatter*>(f);
  if (!n) return "none";
  std::string s = std::to_string(n->Digits()) + "." + std::to_string(n->Decimals()) + " accepts";
  for (const char* text : {"-12.50", "0", "0.01", "99999", "100000", "1000000000"}) {
    if (n->IsValid(text)) s += std::string(" ") + text;
  }
  return s + ", shows '" + n->Format(tsCurrency::FromText("1234.5")) + "' '" + n->Format(tsCurrency(0)) + "'";
}

// The style flag allows negatives without separators, or no negatives with
// separators and zero shown blank; a limit is a floor, kept by a copy; the
// field forms take digits and decimals from the dictionary (TADD: money, 15
// digits of which 2 decimals; BCNT: 5 digits, none). ApplyFormatter puts
// the formatter where an edit, a combo box and an edit line take it, and
// leaves any other control (and a column the file lacks) alone.
TEST(CurrencyFormatter, FormsLimitsDictionaryAndWhereEachControlTakesIt) {
  bktest::BankCompany co;
  using C = bkCurrencyFormatter;
  std::unique_ptr<C> floor(C::NewFormatter(9, 2, 0.01, true));
  const std::pair<std::unique_ptr<tsEditFormatter>, const char*> cases[] = {
      {std::unique_ptr<C>(C::NewFormatter(9, 2, true)),
       "9.2 accepts -12.50 0 0.01 99999 100000, shows '1234.50' '0.00'"},
      {std::unique_ptr<C>(C::NewFormatter(9, 2, false)), "9.2 accepts 0 0.01 99999 100000, shows '1,234.50' ''"},
      {floor->Clone(), "9.2 accepts 0.01 99999 100000, shows '1234.50' '0.00'"},
      {std::unique_ptr<C>(C::NewFormatter("TADD", *co.bkt, true)),
       "13.2 accepts -12.50 0 0.01 99999 100000 1000000000, shows '1234.50' '0.00'"},
      {std::unique_ptr<C>(C::NewFormatter("BCNT", *co.bkt, 1.0, false)), "5.0 accepts 99999, shows '1,235' ''"},
      {std::unique_ptr<C>(C::NewFormatter("NOSUCH", *co.bkt, true)), "none"},
  };
  for (const auto& [formatter, shape] : cases) EXPECT_EQ(Shape(formatter.get()), shape);
  EXPECT_EQ(Shape(floor.get()), Shape(cases[2].first.get())) << "a copy keeps the floor";

  tsEdit edit;
  tsdmDBComboBox combo;
  tsdmEditLine line;
  EXPECT_TRUE(C::ApplyFormatter(edit, "TADD", *co.bkt, 0.0, false));
  std::string put = Shape(edit.GetFormatter()).substr(0, 5);
  EXPECT_TRUE(C::ApplyFormatter(combo, 9, 2, 0.0, true));
  combo.SetWindowText("12.5");
  put += "| " + combo.GetWindowText();
  EXPECT_TRUE(C::ApplyFormatter(line, "TADD", *co.bkt, true));
  put += "| " + Shape(line.ImplControl().GetFormatter()).substr(0, 5);
  EXPECT_TRUE(C::ApplyFormatter(line, 7, 2, false));
  put += "| " + Shape(line.ImplControl().GetFormatter()).substr(0, 4);
  EXPECT_EQ(put, "13.2 | 12.50| 13.2 | 7.2 ");
  EXPECT_FALSE(C::ApplyFormatter(edit, "NOSUCH", *co.bkt, true));
  tsdmControl plain("TADD");
  EXPECT_FALSE(C::ApplyFormatter(plain, 9, 2, true) || C::ApplyFormatter(plain, 9, 2, 0.0, true) ||
               C::ApplyFormatter(plain, "TADD", *co.bkt, true) || C::ApplyFormatter(plain, "TADD", *co.bkt, 0.0, true));
}

}  // namespace
