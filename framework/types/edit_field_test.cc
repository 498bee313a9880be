// The field editor's text for report amounts.
#include "framework/types/edit_field.h"

#include <gtest/gtest.h>

#include "framework/types/ts_currency.h"

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
