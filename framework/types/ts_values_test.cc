// Tests across the value types: storage round trips, cross-type assignment
// and comparison, text forms, whole numbers, text values and the
// custom-description replacement.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "framework/types/values.h"

namespace {

enum class Color { kRed = 1, kGreen = 2, kBlue = 3 };

template <class T, class... Args>
std::unique_ptr<tsData> Make(Args&&... args) {
  return std::make_unique<T>(std::forward<Args>(args)...);
}

TEST(TsValues, StorageRoundTripForEveryType) {
  const std::unique_ptr<tsData> values[] = {
      Make<tsAlpha>("  two spaces  "), Make<tsText>("long\ntext"),
      Make<tsPhone>("(555) 010-0199"), Make<tsDouble>(tsDouble::FromText("-1234.567", 3)),
      Make<tsCurrency>(tsCurrency::FromText("98765.43")), Make<tsDate>(2028, 2, 29),
      Make<tsTime>(23, 59, 58),       Make<tsBool>(true),             Make<tsDate>(),
      Make<tsChoice>(7),              Make<tclTSEnum<Color>>(Color::kBlue),
      Make<tsNum<short>>(-32768),     Make<tsNum<long>>(9000000000000L),
  };
  for (const auto& v : values) {
    SCOPED_TRACE(tsDataTypeName(v->Type()));
    tsCell cell;
    ASSERT_TRUE(v->ToCell(cell, 3));
    std::unique_ptr<tsData> back = v->Clone();
    back->Clear();
    ASSERT_TRUE(back->FromCell(cell, 3));
    EXPECT_EQ(back->Compare(*v), 0);
    EXPECT_EQ(back->Format(), v->Format());
    const tsData &copy = *back, &original = *v;
    EXPECT_EQ(typeid(copy), typeid(original)) << "a clone keeps its type, enumerations included";
  }
}

TEST(TsValues, SetValAcrossTypes) {
  struct Case { std::unique_ptr<tsData> from; std::unique_ptr<tsData> to; const char* shown; };
  Case cases[] = {
      {Make<tsCurrency>(tsCurrency::FromText("12.34")), Make<tsDouble>(), "12"},
      {Make<tsNum<short>>(5), Make<tsCurrency>(), "5.00"},
      {Make<tsDouble>(tsDouble::FromText("2.5")), Make<tsNum<short>>(), "3"},
      {Make<tsDouble>(100000), Make<tsNum<short>>(), "32767"},
      {Make<tsDouble>(tsDouble::FromText("0.01")), Make<tsBool>(), "true"},
      {Make<tsCurrency>(tsCurrency::FromText("12.5")), Make<tsAlpha>(), "12.50"},
      {Make<tsAlpha>("1,234.5"), Make<tsCurrency>(), "1234.50"},
      {Make<tsAlpha>("abc"), Make<tsCurrency>(tsCurrency(9)), "0.00"},
      {Make<tsAlpha>("20260305"), Make<tsDate>(), "2026-03-05"},
      {Make<tsDouble>(20260305), Make<tsDate>(), "2026-03-05"},
      {Make<tsAlpha>("nonsense"), Make<tsDate>(2020, 1, 1), ""},
      {Make<tsDouble>(tsDouble::Invalid()), Make<tsCurrency>(), "#OVERFLOW"},
  };
  for (Case& c : cases) {
    c.to->SetVal(*c.from);
    EXPECT_EQ(c.to->Format(), c.shown) << tsDataTypeName(c.from->Type()) << " -> " << tsDataTypeName(c.to->Type());
  }
  tsDouble three(0, 0);  // same type copies exactly, declared decimals included
  three.SetVal(tsDouble(1, 3));
  EXPECT_EQ(three.Format(), "1.000");
}

TEST(TsValues, CompareByFamily) {
  struct Case { std::unique_ptr<tsData> a; std::unique_ptr<tsData> b; int expected; };
  Case cases[] = {
      {Make<tsCurrency>(3), Make<tsNum<short>>(3), 0},
      {Make<tsChoice>(2), Make<tsDouble>(tsDouble::FromText("2.5")), -1},
      {Make<tsDouble>(tsDouble::Invalid()), Make<tsNum<long>>(1), 1},
      {Make<tsBool>(true), Make<tsDouble>(tsDouble::FromText("0.999")), 1},
      {Make<tsDouble>(tsDouble::FromText("-0.01", 2)), Make<tsCurrency>(), -1},
      {Make<tsDate>(), Make<tsDate>(1, 1, 1), -1},
      {Make<tsAlpha>("10"), Make<tsDouble>(9), -1},  // unrelated: by text
      {Make<tsDate>(2026, 1, 2), Make<tsAlpha>("2026-01-02"), 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.a->Compare(*c.b), c.expected) << c.a->Format() << " vs " << c.b->Format();
    EXPECT_EQ(c.b->Compare(*c.a), -c.expected) << c.b->Format() << " vs " << c.a->Format();
  }
}

TEST(TsValues, ParseAcceptsKnownFormsAndOtherwiseKeepsTheValue) {
  struct Case {
    std::unique_ptr<tsData> value;
    const char* text;
    const char* shown;  // nullptr: refused, value unchanged
  };
  Case cases[] = {
      {Make<tsDate>(), "2026-03-05", "2026-03-05"}, {Make<tsDate>(), "20260305", "2026-03-05"},
      {Make<tsDate>(), "03/05/2026", "2026-03-05"}, {Make<tsDate>(), "3/5/2026", "2026-03-05"},
      {Make<tsDate>(), "2026-3-5", "2026-03-05"},   {Make<tsDate>(), " 2026-03-05 ", "2026-03-05"},
      {Make<tsDate>(2020, 1, 1), "", ""},           {Make<tsDate>(2020, 1, 1), "2026-02-30", nullptr},
      {Make<tsDate>(2020, 1, 1), "02/30/2026", nullptr}, {Make<tsDate>(2020, 1, 1), "2026/03/05", nullptr},
      {Make<tsDate>(2020, 1, 1), "202603", nullptr},     {Make<tsDate>(2020, 1, 1), "2026-13-01", nullptr},
      {Make<tsDate>(2020, 1, 1), "20260230", nullptr},   {Make<tsDate>(2020, 1, 1), "2026-03-05x", nullptr},
      {Make<tsDate>(2020, 1, 1), "00000000", nullptr},   {Make<tsDate>(2020, 1, 1), "3/5/26", nullptr},
      {Make<tsDate>(2020, 1, 1), "2026-003-05", nullptr},
      {Make<tsTime>(), "08:30", "08:30:00"},        {Make<tsTime>(), "8:30:15", "08:30:15"},
      {Make<tsTime>(1, 2, 3), "", "00:00:00"},      {Make<tsTime>(1, 2, 3), "24:00", nullptr},
      {Make<tsTime>(1, 2, 3), "12:60", nullptr},    {Make<tsTime>(1, 2, 3), "12:00:60", nullptr},
      {Make<tsTime>(1, 2, 3), "12:5", nullptr},     {Make<tsTime>(1, 2, 3), "12:00:00:00", nullptr},
      {Make<tsBool>(), "YES", "true"},              {Make<tsBool>(), "y", "true"},
      {Make<tsBool>(), "T", "true"},                {Make<tsBool>(true), "No", "false"},
      {Make<tsBool>(true), "0", "false"},           {Make<tsBool>(true), "", "false"},
      {Make<tsBool>(true), "maybe", nullptr},       {Make<tsChoice>(), "x", nullptr},
      {Make<tsNum<short>>(), "1,000", "1000"},      {Make<tsNum<short>>(7), "40000", nullptr},
      {Make<tsNum<short>>(7), "1.5", nullptr},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(std::string(tsDataTypeName(c.value->Type())) + " '" + c.text + "'");
    const std::string before = c.value->Format();
    EXPECT_EQ(c.value->Parse(c.text), c.shown != nullptr);
    EXPECT_EQ(c.value->Format(), c.shown ? c.shown : before);
  }
}

TEST(TsValues, WholeNumbersSaturateInsteadOfWrapping) {
  tsNum<short> n(32767);
  EXPECT_EQ(n + 1, 32767);
  EXPECT_EQ(-tsNum<short>(-32768), 32767);
  EXPECT_EQ(tsNum<short>(200) * tsNum<short>(200), 32767);
  EXPECT_LT(n, 70000) << "compared wide, not narrowed";
  EXPECT_EQ(tsNum<long>(LONG_MAX) * 2, LONG_MAX);
  EXPECT_EQ(tsNum<long>(LONG_MIN) - 1, LONG_MIN);
  EXPECT_EQ(tsNum<short>(7) / tsNum<short>(0), 0);
  tsNum<short> count;
  tsCell cell;
  EXPECT_FALSE(tsNum<long>(LONG_MAX).ToCell(cell, 1)) << "does not fit the column";
  EXPECT_FALSE(count.FromCell(tsCell::Int(12345), 1)) << "not a whole number";
}

TEST(TsAlpha, ComparesBytewiseAndKeepsBlanksInStorage) {
  EXPECT_LT(tsAlpha("B"), "a") << "upper case sorts before lower case";
  EXPECT_LT(tsAlpha("z"), tsAlpha("\xc3\xa9")) << "bytes compare unsigned";
  EXPECT_LT(tsAlpha("ab"), std::string("ab "));
  EXPECT_EQ(tsText("same"), tsPhone("same"));
  EXPECT_TRUE(!tsAlpha("   "));
  EXPECT_FALSE(!tsAlpha(" x"));
  tsPhone phone;  // blanks kept in storage: the round trip of every type
  EXPECT_FALSE(phone.FromCell(tsCell::Int(5), 0));
}

class CustomDescriptions : public ::testing::Test {
 protected:
  void TearDown() override { tsString::ResetCustomDescriptions(); }
};

TEST_F(CustomDescriptions, DefaultsAndConfiguredTermsLongestTokenFirst) {
  struct Case { const char* text; const char* expected; };
  const Case defaults[] = {{"<8F> number", "Check number"}, {"Print <8FP>", "Print Checks"},
                           {"<8I><1><8FP>", "CheckBatchChecks"}, {"<9> <8X> <8F <", "<9> <8X> <8F <"}};
  for (const Case& c : defaults) EXPECT_EQ(tsString::ReplaceCustomDescriptions(c.text), c.expected) << c.text;

  tsString::SetCustomDescription("<8F>", "Cheque");
  tsString::SetCustomDescription("<8FP>", "Cheques");
  tsString::SetCustomDescription("<1>", "Lot <1>");  // replaced terms are not scanned again
  tsString::SetCustomDescription("<Z>", "zed");
  EXPECT_EQ(tsString::ReplaceCustomDescriptions("<8FP>, <8F>, <8I>"), "Cheques, Cheque, Check");
  EXPECT_EQ(tsString::ReplaceCustomDescriptions("<1> <Z>"), "Lot <1> zed");
  tsString::ResetCustomDescriptions();
  EXPECT_EQ(tsString::ReplaceCustomDescriptions("<8FP> <Z>"), "Checks <Z>");
}

}  // namespace
