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
  using P = tsAmountProblem;
  const struct { const char* text; tsNumberStyle style; tsAmountProblem want; const char* value; } cases[] = {
      {" -0.25 ", kPoint, P::kNone, "-0.25"}, {"+3.5", kPoint, P::kNone, "3.50"},
      {"9999999999999.99", kPoint, P::kNone, "9999999999999.99"}, {"", kPoint, P::kEmpty, ""},
      {"12,34", kPoint, P::kSeparator, ""}, {"1,234.50", kPoint, P::kSeparator, ""},
      {"1 000", kPoint, P::kSeparator, ""}, {"1e3", kPoint, P::kNotAnAmount, ""}, {"--5", kPoint, P::kNotAnAmount, ""},
      {"-0.005", kPoint, P::kMoreThanCents, ""}, {"1307.505", kPoint, P::kMoreThanCents, ""},
      {"10000000000000", kPoint, P::kTooLarge, ""}, {"1,234.50", kPointComma, P::kNone, "1234.50"},
      {"1244444444444444445.12", kPoint, P::kTooLarge, ""},  // a fuzzer's: once an overflow, never read whole
      {"12,345,678", kPointComma, P::kNone, "12345678.00"}, {"1234.50", kPointComma, P::kNone, "1234.50"},
      {"1,23,456", kPointComma, P::kSeparator, ""}, {"1234,567", kPointComma, P::kSeparator, ""},
      {",123", kPointComma, P::kSeparator, ""}, {"1,.50", kPointComma, P::kSeparator, ""},
      {"-12,50", kCommaDot, P::kNone, "-12.50"}, {"1.234,5", kCommaDot, P::kNone, "1234.50"},
      {"1,234.50", kCommaDot, P::kSeparator, ""}, {"1,005", kCommaDot, P::kMoreThanCents, ""},
      {"1 234 567,89", kCommaSpace, P::kNone, "1234567.89"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    tsCurrency got(7);
    EXPECT_EQ(tsReadAmount(c.text, &got, c.style), c.want);
    EXPECT_EQ(got, c.want == P::kNone ? tsCurrency::FromText(c.value) : tsCurrency(7)) << "unchanged on refusal";
    EXPECT_EQ(got.Format(), c.want == P::kNone ? c.value : "7.00");
  }
}

TEST(InputRules, DatesInEachLayout) {
  using L = tsDateLayout;
  const struct { const char* text; tsDateLayout layout; int want; } cases[] = {  // want: yyyymmdd, 0 refused
      {"2026-04-30", L::kYmdDashes, 20260430}, {" 2026-4-3 ", L::kYmdDashes, 20260403},
      {"2026-02-30", L::kYmdDashes, 0}, {"2026-04-30x", L::kYmdDashes, 0}, {"1899-12-31", L::kYmdDashes, 0},
      {"20261345", L::kYmdCompact, 0}, {"20240229", L::kYmdCompact, 20240229}, {"2024022", L::kYmdCompact, 0},
      {"3/5/2025", L::kMdySlashes, 20250305}, {"13/5/2025", L::kMdySlashes, 0}, {"13/5/2025", L::kDmySlashes, 20250513},
      {"31.03.2025", L::kDmyDots, 20250331}, {"31/03/2025", L::kDmyDots, 0}, {"+3/5/2025", L::kMdySlashes, 0},
      {"", L::kYmdDashes, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    tsDate d;
    EXPECT_EQ(tsReadDate(c.text, c.layout, &d), c.want != 0);
    EXPECT_EQ(c.want != 0 ? d.Ymd() : 0, c.want);
  }
  tsDateLayout l;
  EXPECT_TRUE(tsDateLayoutFromName("DD.MM.YYYY", &l));
  EXPECT_EQ(l, tsDateLayout::kDmyDots);
  EXPECT_FALSE(tsDateLayoutFromName("yy/mm", &l));
}

TEST(InputRules, OneLineTextCutByCharacters) {
  const struct { std::string text; tsTextProblem want; } cases[] = {
      {"Café Ünïcode €", tsTextProblem::kNone}, {"line\nbreak", tsTextProblem::kControl},
      {"tab\there", tsTextProblem::kControl}, {"\x1b[31mred", tsTextProblem::kControl},
      {"del\x7f", tsTextProblem::kControl}, {"c1 \xc2\x9b", tsTextProblem::kC1Control},
      {"half \xc3", tsTextProblem::kNotUtf8}, {"overlong \xc0\xaf", tsTextProblem::kNotUtf8},
      {"surrogate \xed\xa0\x80", tsTextProblem::kNotUtf8},
  };
  for (const auto& c : cases) EXPECT_EQ(tsCheckLineText(c.text), c.want) << c.text;

  const std::string s = "Caf\xc3\xa9 \xe2\x82\xac!";  // "Café €!"
  EXPECT_EQ(tsUtf8Length(s), 7u);
  for (const auto& [n, want] : {std::pair<size_t, std::string>{4, "Caf\xc3\xa9"}, {3, "Caf"},
                                {6, "Caf\xc3\xa9 \xe2\x82\xac"}, {60, s}, {0, ""}}) {
    EXPECT_EQ(tsCutUtf8(s, n), want) << n;
  }
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
