// Tests across the value types: storage round trips, cross-type assignment
// and comparison, choices, enumerations, whole numbers and booleans.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "framework/types/values.h"

namespace {

enum class Color { kRed = 1, kGreen = 2, kBlue = 3 };

TEST(TsValues, StorageRoundTripForEveryType) {
  std::vector<std::unique_ptr<tsData>> values;
  values.push_back(std::make_unique<tsAlpha>("ACME Bank"));
  values.push_back(std::make_unique<tsText>("long\ntext"));
  values.push_back(std::make_unique<tsPhone>("(555) 010-0199"));
  values.push_back(std::make_unique<tsDouble>(tsDouble::FromText("-1234.567", 3)));
  values.push_back(std::make_unique<tsCurrency>(tsCurrency::FromText("98765.43")));
  values.push_back(std::make_unique<tsDate>(2028, 2, 29));
  values.push_back(std::make_unique<tsTime>(23, 59, 58));
  values.push_back(std::make_unique<tsBool>(true));
  values.push_back(std::make_unique<tsChoice>(7));
  values.push_back(std::make_unique<tclTSEnum<Color>>(Color::kBlue));
  values.push_back(std::make_unique<tsNum<short>>(-32768));
  values.push_back(std::make_unique<tsNum<long>>(9000000000000L));
  for (const auto& v : values) {
    SCOPED_TRACE(tsDataTypeName(v->Type()));
    tsCell cell;
    ASSERT_TRUE(v->ToCell(cell, 3));
    std::unique_ptr<tsData> back = v->Clone();
    back->Clear();
    ASSERT_TRUE(back->FromCell(cell, 3));
    EXPECT_EQ(back->Compare(*v), 0);
    EXPECT_EQ(back->Format(), v->Format());
    EXPECT_EQ(back->Type(), v->Type());
  }
}

TEST(TsValues, SetValAcrossTypes) {
  struct Case {
    std::unique_ptr<tsData> from;
    std::unique_ptr<tsData> to;
    const char* shown;
  };
  Case cases[] = {
      {std::make_unique<tsCurrency>(tsCurrency::FromText("12.34")), std::make_unique<tsDouble>(), "12"},
      {std::make_unique<tsNum<short>>(5), std::make_unique<tsCurrency>(), "5.00"},
      {std::make_unique<tsDouble>(tsDouble::FromText("2.5")), std::make_unique<tsNum<short>>(), "3"},
      {std::make_unique<tsDouble>(tsDouble::FromText("-2.5")), std::make_unique<tsChoice>(), "-3"},
      {std::make_unique<tsDouble>(100000), std::make_unique<tsNum<short>>(), "32767"},
      {std::make_unique<tsBool>(true), std::make_unique<tsDouble>(0, 1), "1.0"},
      {std::make_unique<tsDouble>(tsDouble::FromText("0.01")), std::make_unique<tsBool>(), "true"},
      {std::make_unique<tsChoice>(3), std::make_unique<tsCurrency>(), "3.00"},
      {std::make_unique<tsCurrency>(tsCurrency::FromText("12.5")), std::make_unique<tsAlpha>(), "12.50"},
      {std::make_unique<tsDate>(2026, 3, 5), std::make_unique<tsText>(), "2026-03-05"},
      {std::make_unique<tsAlpha>("1,234.5"), std::make_unique<tsCurrency>(), "1234.50"},
      {std::make_unique<tsAlpha>("abc"), std::make_unique<tsCurrency>(tsCurrency(9)), "0.00"},
      {std::make_unique<tsAlpha>("20260305"), std::make_unique<tsDate>(), "2026-03-05"},
      {std::make_unique<tsDouble>(20260305), std::make_unique<tsDate>(), "2026-03-05"},
      {std::make_unique<tsAlpha>("nonsense"), std::make_unique<tsDate>(2020, 1, 1), ""},
      {std::make_unique<tsAlpha>("Yes"), std::make_unique<tsBool>(), "true"},
      {std::make_unique<tsText>("555-0100"), std::make_unique<tsPhone>(), "555-0100"},
      {std::make_unique<tsDouble>(tsDouble::Invalid()), std::make_unique<tsCurrency>(), "#OVERFLOW"},
      {std::make_unique<tsTime>(7, 5, 0), std::make_unique<tsAlpha>(), "07:05:00"},
  };
  for (Case& c : cases) {
    c.to->SetVal(*c.from);
    EXPECT_EQ(c.to->Format(), c.shown) << tsDataTypeName(c.from->Type()) << " -> " << tsDataTypeName(c.to->Type());
  }
  // The declared decimals of the target stay; the value is exact.
  tsDouble whole;
  whole.SetVal(tsCurrency::FromText("12.34"));
  EXPECT_EQ(whole, tsDouble::FromText("12.34"));
  // Same type copies exactly, decimals included.
  tsDouble three(0, 0);
  three.SetVal(tsDouble(1, 3));
  EXPECT_EQ(three.Format(), "1.000");
}

TEST(TsValues, CompareByFamily) {
  struct Case {
    std::unique_ptr<tsData> a;
    std::unique_ptr<tsData> b;
    int expected;
  };
  Case cases[] = {
      {std::make_unique<tsCurrency>(3), std::make_unique<tsNum<short>>(3), 0},
      {std::make_unique<tsChoice>(2), std::make_unique<tsDouble>(tsDouble::FromText("2.5")), -1},
      {std::make_unique<tsDouble>(tsDouble::Invalid()), std::make_unique<tsNum<long>>(1), 1},
      {std::make_unique<tsBool>(true), std::make_unique<tsDouble>(tsDouble::FromText("0.999")), 1},
      {std::make_unique<tsDouble>(tsDouble::FromText("-0.01", 2)), std::make_unique<tsCurrency>(), -1},
      {std::make_unique<tsDate>(), std::make_unique<tsDate>(1, 1, 1), -1},
      {std::make_unique<tsTime>(10, 0, 0), std::make_unique<tsTime>(9, 59, 59), 1},
      {std::make_unique<tsAlpha>("abc"), std::make_unique<tsText>("abd"), -1},
      {std::make_unique<tsAlpha>("10"), std::make_unique<tsDouble>(9), -1},  // unrelated: by text
      {std::make_unique<tsDate>(2026, 1, 2), std::make_unique<tsAlpha>("2026-01-02"), 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.a->Compare(*c.b), c.expected) << c.a->Format() << " vs " << c.b->Format();
    EXPECT_EQ(c.b->Compare(*c.a), -c.expected) << c.b->Format() << " vs " << c.a->Format();
  }
}

TEST(TsValues, ChoicesAndEnumerations) {
  tsChoice c;
  EXPECT_EQ(c, 1) << "a choice starts at 1";
  EXPECT_FALSE(!c);
  c.Clear();
  EXPECT_TRUE(!c);
  EXPECT_TRUE(c.IsNull());
  EXPECT_LT(c, tsChoice(2));
  EXPECT_FALSE(c.Parse("x"));
  ASSERT_TRUE(c.Parse("3"));
  EXPECT_EQ(c, 3);

  tclTSEnum<Color> color;
  EXPECT_EQ(color.Get(), Color::kRed);
  EXPECT_EQ(color.Type(), tsDataType::kChoice);
  color.Set(Color::kBlue);
  EXPECT_EQ(color, Color::kBlue);
  EXPECT_GT(color, Color::kGreen);
  EXPECT_EQ(color, 3);
  color = 2;
  EXPECT_EQ(color.Get(), Color::kGreen);
  const tsChoice& base = color;
  std::unique_ptr<tsData> copy = base.Clone();
  EXPECT_NE(dynamic_cast<tclTSEnum<Color>*>(copy.get()), nullptr);
  EXPECT_EQ(copy->Format(), "2");
}

TEST(TsValues, WholeNumbersSaturateInsteadOfWrapping) {
  tsNum<short> n(32767);
  EXPECT_EQ(n + 1, 32767);
  EXPECT_EQ(-tsNum<short>(-32768), 32767);
  EXPECT_EQ(tsNum<short>(200) * tsNum<short>(200), 32767);
  EXPECT_NE(n, 70000) << "compared wide, not narrowed";
  EXPECT_LT(n, 70000);
  EXPECT_EQ(tsNum<long>(LONG_MAX) * 2, LONG_MAX);
  EXPECT_EQ(tsNum<long>(LONG_MIN) - 1, LONG_MIN);
  EXPECT_EQ(tsNum<short>(7) / tsNum<short>(0), 0);
  tsNum<short> count;
  ++count;
  count += 41;
  EXPECT_EQ(count, 42);
  EXPECT_FALSE(count.Parse("40000"));
  EXPECT_FALSE(count.Parse("1.5"));
  ASSERT_TRUE(count.Parse("1,000"));
  EXPECT_EQ(count, 1000);
  tsCell cell;
  EXPECT_FALSE(tsNum<long>(LONG_MAX).ToCell(cell, 1)) << "does not fit the column";
  EXPECT_FALSE(count.FromCell(tsCell::Int(12345), 1)) << "not a whole number";
}

TEST(TsValues, Booleans) {
  struct Case {
    const char* text;
    bool value;
  };
  const Case cases[] = {{"true", true}, {"YES", true}, {"y", true}, {"1", true}, {"T", true},
                        {"false", false}, {"No", false}, {"0", false}, {"", false}};
  for (const Case& c : cases) {
    tsBool b(!c.value);
    ASSERT_TRUE(b.Parse(c.text)) << c.text;
    EXPECT_EQ(b, c.value) << c.text;
  }
  tsBool b(true);
  EXPECT_FALSE(b.Parse("maybe"));
  EXPECT_TRUE(b.Value());
  EXPECT_FALSE(b.FromCell(tsCell::Int(2), 0));
}

}  // namespace
