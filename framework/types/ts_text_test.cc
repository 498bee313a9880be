// Tests of the text values and the custom-description replacement.
#include <gtest/gtest.h>

#include <string>

#include "framework/types/ts_alpha.h"
#include "framework/types/ts_phone.h"
#include "framework/types/ts_string.h"
#include "framework/types/ts_text.h"

namespace {

TEST(TsAlpha, ComparesBytewiseWithTextOfEveryKind) {
  const tsAlpha a("B");
  EXPECT_LT(a, "a") << "upper case sorts before lower case";
  EXPECT_LT(tsAlpha("z"), tsAlpha("\xc3\xa9")) << "bytes compare unsigned";
  EXPECT_LT(tsAlpha("ab"), std::string("ab "));
  EXPECT_EQ(a, std::string("B"));
  EXPECT_EQ("B", a);
  EXPECT_NE(a, std::string_view("b"));
  EXPECT_EQ(tsText("same"), tsPhone("same"));
  EXPECT_GE(tsAlpha("abc"), "abc");
}

TEST(TsAlpha, BlanksConcatenationAndStorage) {
  EXPECT_TRUE(!tsAlpha());
  EXPECT_TRUE(!tsAlpha("   "));
  EXPECT_FALSE(!tsAlpha(" x"));
  tsAlpha id = tsAlpha("BANK") + "-" + std::string("01");
  id += tsAlpha("/");
  id += 'A';
  EXPECT_EQ(id, "BANK-01/A");
  EXPECT_EQ(id.Length(), 9);
  EXPECT_EQ("<" + tsText("x"), "<x");

  const tsAlpha padded("  two spaces  ");
  tsCell cell;
  ASSERT_TRUE(padded.ToCell(cell, 0));
  EXPECT_EQ(cell, tsCell::Text("  two spaces  "));
  tsPhone back;
  ASSERT_TRUE(back.FromCell(cell, 0));
  EXPECT_EQ(back.Format(), "  two spaces  ");
  EXPECT_FALSE(back.FromCell(tsCell::Int(5), 0));
  EXPECT_EQ(back.Type(), tsDataType::kPhone);
  EXPECT_EQ(back.Clone()->Type(), tsDataType::kPhone);
}

class CustomDescriptions : public ::testing::Test {
 protected:
  void TearDown() override { tsString::ResetCustomDescriptions(); }
};

TEST_F(CustomDescriptions, Defaults) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"<8I>", "Check"},
      {"<8F> number", "Check number"},
      {"Print <8FP>", "Print Checks"},
      {"<1I> ID", "Batch ID"},
      {"Post <1>?", "Post Batch?"},
      {"<8I><1><8FP>", "CheckBatchChecks"},
      {"<9> <8X> <8F <", "<9> <8X> <8F <"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(tsString::ReplaceCustomDescriptions(c.text), c.expected) << c.text;
  EXPECT_EQ(tsString::ReplaceCustomDescriptions(tsAlpha("<1I> ID")), tsAlpha("Batch ID"));
}

TEST_F(CustomDescriptions, ConfiguredTermsLongestTokenFirst) {
  tsString::SetCustomDescription("<8F>", "Cheque");
  tsString::SetCustomDescription("<8FP>", "Cheques");
  tsString::SetCustomDescription("<1>", "Lot <1>");  // replaced terms are not scanned again
  tsString::SetCustomDescription("<Z>", "zed");
  EXPECT_EQ(tsString::ReplaceCustomDescriptions("<8FP>, <8F>, <8I>"), "Cheques, Cheque, Check");
  EXPECT_EQ(tsString::ReplaceCustomDescriptions("<1>"), "Lot <1>");
  EXPECT_EQ(tsString::ReplaceCustomDescriptions("<Z>"), "zed");
  tsString::ResetCustomDescriptions();
  EXPECT_EQ(tsString::ReplaceCustomDescriptions("<8FP> <Z>"), "Checks <Z>");
}

}  // namespace
