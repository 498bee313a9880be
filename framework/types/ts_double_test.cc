// Tests of the exact decimal numbers: sums, rounding, overflow, text and
// storage, and the field editor's text for report amounts.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <vector>

#include "framework/types/edit_field.h"
#include "framework/types/ts_currency.h"
#include "framework/types/ts_double.h"

namespace {

tsDouble D(const char* text, int decimals = 0) { return tsDouble::FromText(text, decimals); }

TEST(TsDouble, MillionCentsSumToExactlyTenThousand) {
  tsCurrency total;
  const tsCurrency cent = tsCurrency::FromText("0.01");
  for (int i = 0; i < 1000000; ++i) total += cent;
  EXPECT_EQ(total, tsCurrency::FromText("10000.00"));
  EXPECT_EQ(total.Format(), "10000.00");
}

TEST(TsDouble, RoundsHalfAwayFromZero) {
  struct Case { const char* value; int places; const char* expected; };
  const Case cases[] = {
      {"2.345", 2, "2.35"}, {"-2.345", 2, "-2.35"}, {"-0.005", 2, "-0.01"}, {"0.005", 2, "0.01"},
      {"2.5", 0, "3"},      {"-2.5", 0, "-3"},      {"2.4999", 0, "2"},     {"-2.4999", 0, "-2"},
      {"-12.35", 1, "-12.4"}, {"0.0049", 2, "0"},   {"-9.995", 2, "-10"},   {"0.123456789", 4, "0.1235"},
  };
  for (const Case& c : cases) {
    tsDouble v = D(c.value, 3);
    v.Round(c.places);
    EXPECT_EQ(v, D(c.expected)) << c.value << " at " << c.places;
    EXPECT_EQ(v.Decimals(), 3) << "Round keeps the declared decimals";
  }
  // Text shows the declared decimals, rounded the same way, never "-0".
  EXPECT_EQ(D("-12.5").Format(), "-13");
  EXPECT_EQ(D("-0.004", 2).Format(), "0.00");
}

TEST(TsDouble, ArithmeticIsExact) {
  struct Case { tsDouble result; const char* expected; };
  const Case cases[] = {
      {D("0.1") + D("0.2"), "0.3"}, {D("-1.5") - D("0.25"), "-1.75"}, {tsDouble(2) / 3, "0.6666666667"},
      {tsDouble(-2) / 3, "-0.6666666667"},
      {D("0.000000000000000005") * D("0.1"), "0.000000000000000001"},  // 19th decimal rounds to 18
      {D("123456789.123456789") / D("0.000000001"), "123456789123456789"},
      {tsDouble::FromScaled(-15, 19), "-0.000000000000000002"}, {tsDouble::FromScaled(-12, -3), "-12000"},
      // Any scale a block or file may carry, however large, rounds as it
      // should (10^scale is never formed beyond what 128 bits hold).
      {tsDouble::FromScaled(INT64_MAX, 37), "0.000000000000000001"}, {tsDouble::FromScaled(INT64_MAX, 38), "0"},
      {tsDouble::FromScaled(INT64_MIN + 1, 57), "0"}, {tsDouble::FromScaled(-5, 32767), "0"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.result.IsValid()) << c.expected;
    EXPECT_EQ(c.result, D(c.expected)) << c.expected;
  }
  EXPECT_EQ((tsDouble(1, 12) / 3).Format(), "0.333333333333");
  tsDouble run(5, 0);  // compound operators keep the declared decimals, the value stays exact
  run += tsCurrency::FromText("0.25");
  EXPECT_EQ(run.Decimals(), 0);
  EXPECT_EQ(run, D("5.25"));
}

TEST(TsDouble, OverflowBecomesInvalidAndNeverWraps) {
  const tsDouble max = tsDouble::FromScaled(INT64_MAX, 0);
  const tsDouble results[] = {
      max + 1, -max - 1, max * 2, D("3037000500") * D("3037000500"), max + D("0.5"), max / D("0.1"),
      tsDouble(1) / 0, tsDouble::Invalid() * 0, D("not a number"),
  };
  for (const tsDouble& r : results) {
    EXPECT_FALSE(r.IsValid());
    EXPECT_FALSE((r + 1).IsValid()) << "stays invalid";
    EXPECT_EQ(r.Format(), "#OVERFLOW");
    tsCell cell;
    EXPECT_FALSE(r.ToCell(cell, 2));
    EXPECT_GT(r, max) << "invalid sorts after every number";
  }
  // At the limit, or fitting once trailing zeros are dropped, is still valid.
  EXPECT_EQ(tsDouble::FromScaled(INT64_MAX - 1, 0) + 1, max);
  EXPECT_EQ(D("92233720368547758.07") * 100, max);
  EXPECT_TRUE((D("3037000499") * D("3037000499")).IsValid());
}

TEST(TsDouble, CellsHoldExactlyWhatTheColumnCanAndKeepOrder) {
  tsCell cell;
  EXPECT_FALSE(D("12.345").ToCell(cell, 2)) << "more decimals than the column";
  ASSERT_TRUE(D("12.340").ToCell(cell, 2)) << "trailing zeros are not lost decimals";
  EXPECT_EQ(cell, tsCell::Int(1234));
  EXPECT_FALSE(D("100000000000000000").ToCell(cell, 2)) << "scaled mantissa beyond 64 bits";
  tsDouble back(0, 1);
  ASSERT_TRUE(back.FromCell(tsCell::Int(-1234), 2));
  EXPECT_EQ(back, D("-12.34"));
  EXPECT_FALSE(back.FromCell(tsCell::Text("12"), 2));
  EXPECT_FALSE(back.FromCell(tsCell::Int(INT64_MIN), 0));

  std::vector<tsDouble> values = {D("-1000.5"), D("-12.34"), D("-0.01"), D("0"),     D("0.001"),
                                  D("0.01"),    D("2.5"),    D("12.34"), D("99999"), D("-99999.99")};
  std::sort(values.begin(), values.end());
  std::vector<int64_t> cells;
  for (const tsDouble& v : values) {
    ASSERT_TRUE(v.ToCell(cell, 3)) << v.Format();
    cells.push_back(cell.i);
  }
  EXPECT_EQ(std::adjacent_find(cells.begin(), cells.end(), std::greater_equal<>()), cells.end()) << "cells in order";
}

TEST(TsDouble, ParseAndFormat) {
  struct Case { const char* text; int decimals; const char* shown; };
  const Case good[] = {
      {"-1234.5", 2, "-1234.50"}, {"1,234.50", 2, "1234.50"}, {"+3", 0, "3"},       {".5", 1, "0.5"},
      {"5.", 0, "5"},             {"  42 ", 0, "42"},         {"-.25", 2, "-0.25"}, {"12,345,678.9", 1, "12345678.9"},
      {"", 2, "0.00"},            {"1.005", 2, "1.01"},       {"0.10000000000000000000", 2, "0.10"},
      // Formatting splits its work at 64 bits: every digit on both sides.
      {"9223372036854775807", 0, "9223372036854775807"},    {"-9223372036854775807", 0, "-9223372036854775807"},
      {"9223372036854775807", 2, "9223372036854775807.00"},  // x100 is past 2^64
      {"-9223372036854775807", 4, "-9223372036854775807.0000"},
      {"1844674407370955.161", 4, "1844674407370955.1610"},  // 2^64 - 6 ten-thousandths
      {"1844674407370955.162", 4, "1844674407370955.1620"},  // 2^64 + 4 ten-thousandths
      {"0.05", 2, "0.05"},        {"-0.5", 3, "-0.500"},      {"0", 0, "0"},
  };
  for (const Case& c : good) {
    tsDouble v(0, c.decimals), again(0, c.decimals);
    ASSERT_TRUE(v.Parse(c.text)) << c.text;
    EXPECT_EQ(v.Format(), c.shown) << c.text;
    ASSERT_TRUE(again.Parse(v.Format()));
    EXPECT_EQ(again.Format(), v.Format());
  }
  const char* bad[] = {"abc", "1.2.3", "12,34", "1,2345", ",123", "--1", "+", ".", "1e5", "1 2",
                       "99999999999999999999", "0.0000000000000000001", "12-"};
  for (const char* text : bad) {
    tsDouble v = D("7.5", 1);
    EXPECT_FALSE(v.Parse(text)) << text;
    EXPECT_EQ(v, D("7.5")) << "unchanged after refusing " << text;
  }
}

TEST(TsDouble, BinaryDoublesEnterRounded) {
  struct Case { double value; int places; const char* expected; };
  // 1e15 + 0.25 is read as its shortest text, not as the binary value it stands for.
  const Case cases[] = {{2.675, 2, "2.68"}, {-2.675, 2, "-2.68"}, {0.1 + 0.2, 2, "0.3"}, {1e-20, 2, "0"},
                        {-0.5, 0, "-1"},    {1e15 + 0.25, 1, "1000000000000000.2"}};
  for (const Case& c : cases) EXPECT_EQ(tsDouble::FromDouble(c.value, c.places), D(c.expected)) << c.value;
  EXPECT_FALSE(tsDouble::FromDouble(1e20, 0).IsValid());
  EXPECT_FALSE(tsDouble::FromDouble(NAN, 2).IsValid());
  EXPECT_EQ(D("1234567890.123456789").ToDouble(), 1234567890.123456789);
  EXPECT_EQ(D("-2.7").ToLongLong(), -2);
}

TEST(EditField, TextOfAmounts) {
  struct Case { const char* value; int decimals; const char* text; } cases[] = {
      {"0", 2, "0.00"}, {"20", 2, "20.00"}, {"-20", 2, "-20.00"},
      {"999.995", 2, "1,000.00"},        // half away from zero
      {"-999.995", 2, "-1,000.00"},
      {"-0.004", 2, "0.00"},             // rounds to zero: no sign
      {"1234567.891", 2, "1,234,567.89"}, {"9999999999999.99", 2, "9,999,999,999,999.99"},
      {"-9223372036854775.807", 3, "-9,223,372,036,854,775.807"}, {"123456", 0, "123,456"}, {"0.5", 0, "1"},
      {"12.3", 4, "12.3000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(xe_edit_field(tsDouble::FromText(c.value, 2), c.decimals), c.text) << c.value;
  }
  EXPECT_EQ(xe_edit_field(tsDouble::Invalid(2), 2), "#OVERFLOW");
  EXPECT_EQ(xe_edit_field(tsCurrency::FromText("1234.5"), 2, 5), "*****") << "too long: never cut";
}

}  // namespace
