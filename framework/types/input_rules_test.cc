// The rules of outside text: amounts in each number style, dates in each
// layout, one-line UTF-8 text and its conversion from Windows-1252.
#include <gtest/gtest.h>

#include "framework/types/input_rules.h"

namespace {

// (More amounts in the plain style, as the program reads them: bkreg's
// cli_test, AmountsDatesIdsAndText.)
TEST(InputRules, AmountsInEachNumberStyle) {
  const tsNumberStyle kPoint;
  const tsNumberStyle kPointComma{'.', ','};
  const tsNumberStyle kCommaDot{',', '.'};
  const tsNumberStyle kCommaSpace{',', ' '};
  const struct { const char* text; tsNumberStyle style; tsAmountProblem want; const char* value; } cases[] = {
      {" -0.25 ", kPoint, tsAmountProblem::kNone, "-0.25"}, {"+3.5", kPoint, tsAmountProblem::kNone, "3.50"},
      {"9999999999999.99", kPoint, tsAmountProblem::kNone, "9999999999999.99"},
      {"", kPoint, tsAmountProblem::kEmpty, ""}, {"12,34", kPoint, tsAmountProblem::kSeparator, ""},
      {"1,234.50", kPoint, tsAmountProblem::kSeparator, ""}, {"1 000", kPoint, tsAmountProblem::kSeparator, ""},
      {"1e3", kPoint, tsAmountProblem::kNotAnAmount, ""}, {"--5", kPoint, tsAmountProblem::kNotAnAmount, ""},
      {"-0.005", kPoint, tsAmountProblem::kMoreThanCents, ""},
      {"1307.505", kPoint, tsAmountProblem::kMoreThanCents, ""},
      {"10000000000000", kPoint, tsAmountProblem::kTooLarge, ""},
      {"1,234.50", kPointComma, tsAmountProblem::kNone, "1234.50"},
      {"12,345,678", kPointComma, tsAmountProblem::kNone, "12345678.00"},
      {"1234.50", kPointComma, tsAmountProblem::kNone, "1234.50"},
      {"1,23,456", kPointComma, tsAmountProblem::kSeparator, ""},
      {"1234,567", kPointComma, tsAmountProblem::kSeparator, ""},
      {",123", kPointComma, tsAmountProblem::kSeparator, ""}, {"1,.50", kPointComma, tsAmountProblem::kSeparator, ""},
      {"-12,50", kCommaDot, tsAmountProblem::kNone, "-12.50"},
      {"1.234,5", kCommaDot, tsAmountProblem::kNone, "1234.50"},
      {"1,234.50", kCommaDot, tsAmountProblem::kSeparator, ""},
      {"1,005", kCommaDot, tsAmountProblem::kMoreThanCents, ""},
      {"1 234 567,89", kCommaSpace, tsAmountProblem::kNone, "1234567.89"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    tsCurrency got(7);
    EXPECT_EQ(tsReadAmount(c.text, &got, c.style), c.want);
    if (c.want == tsAmountProblem::kNone) {
      EXPECT_EQ(got.Format(), c.value);
      EXPECT_EQ(got, tsCurrency::FromText(c.value));
    } else {
      EXPECT_EQ(got, tsCurrency(7)) << "unchanged on refusal";
    }
  }
}

TEST(InputRules, DatesInEachLayout) {
  const struct {
    const char* text;
    tsDateLayout layout;
    int want;  // yyyymmdd, 0 refused
  } cases[] = {
      {"2026-04-30", tsDateLayout::kYmdDashes, 20260430},  {" 2026-4-3 ", tsDateLayout::kYmdDashes, 20260403},
      {"2026-02-30", tsDateLayout::kYmdDashes, 0},         {"2026-04-30x", tsDateLayout::kYmdDashes, 0},
      {"1899-12-31", tsDateLayout::kYmdDashes, 0},         {"20261345", tsDateLayout::kYmdCompact, 0},
      {"20240229", tsDateLayout::kYmdCompact, 20240229},   {"2024022", tsDateLayout::kYmdCompact, 0},
      {"3/5/2025", tsDateLayout::kMdySlashes, 20250305},   {"13/5/2025", tsDateLayout::kMdySlashes, 0},
      {"13/5/2025", tsDateLayout::kDmySlashes, 20250513},  {"31.03.2025", tsDateLayout::kDmyDots, 20250331},
      {"31/03/2025", tsDateLayout::kDmyDots, 0},           {"+3/5/2025", tsDateLayout::kMdySlashes, 0},
      {"", tsDateLayout::kYmdDashes, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    tsDate d;
    EXPECT_EQ(tsReadDate(c.text, c.layout, &d), c.want != 0);
    if (c.want != 0) {
      EXPECT_EQ(d.Ymd(), c.want);
    }
  }
  tsDateLayout l;
  EXPECT_TRUE(tsDateLayoutFromName("DD.MM.YYYY", &l));
  EXPECT_EQ(l, tsDateLayout::kDmyDots);
  EXPECT_FALSE(tsDateLayoutFromName("yy/mm", &l));
}

TEST(InputRules, OneLineTextCutByCharacters) {
  const struct { std::string text; tsTextProblem want; } cases[] = {
      {"Café Ünïcode €", tsTextProblem::kNone},   {"line\nbreak", tsTextProblem::kControl},
      {"tab\there", tsTextProblem::kControl},     {"\x1b[31mred", tsTextProblem::kControl},
      {"del\x7f", tsTextProblem::kControl},       {"c1 \xc2\x9b", tsTextProblem::kC1Control},
      {"half \xc3", tsTextProblem::kNotUtf8},     {"overlong \xc0\xaf", tsTextProblem::kNotUtf8},
      {"surrogate \xed\xa0\x80", tsTextProblem::kNotUtf8},
  };
  for (const auto& c : cases) EXPECT_EQ(tsCheckLineText(c.text), c.want) << c.text;

  const std::string s = "Caf\xc3\xa9 \xe2\x82\xac!";  // "Café €!"
  EXPECT_EQ(tsUtf8Length(s), 7u);
  EXPECT_EQ(tsCutUtf8(s, 4), "Caf\xc3\xa9");
  EXPECT_EQ(tsCutUtf8(s, 3), "Caf");
  EXPECT_EQ(tsCutUtf8(s, 6), "Caf\xc3\xa9 \xe2\x82\xac");
  EXPECT_EQ(tsCutUtf8(s, 60), s);
  EXPECT_EQ(tsCutUtf8(s, 0), "");
}

TEST(InputRules, Windows1252ToUtf8) {
  std::string out;
  ASSERT_TRUE(tsToUtf8("Caf\xe9 \x80 \x93ok\x94", tsEncoding::kWindows1252, &out));
  EXPECT_EQ(out, "Caf\xc3\xa9 \xe2\x82\xac \xe2\x80\x9cok\xe2\x80\x9d");
  EXPECT_EQ(tsCheckLineText(out), tsTextProblem::kNone);
  EXPECT_FALSE(tsToUtf8("\x81", tsEncoding::kWindows1252, &out));
  EXPECT_FALSE(tsToUtf8("Caf\xe9", tsEncoding::kUtf8, &out));
  ASSERT_TRUE(tsToUtf8("Caf\xc3\xa9", tsEncoding::kUtf8, &out));
  EXPECT_EQ(out, "Caf\xc3\xa9");
}

}  // namespace
