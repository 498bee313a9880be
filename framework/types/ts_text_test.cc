// Tests of the text values and the custom-description replacement.
#include <gtest/gtest.h>

#include <string>

#include "framework/types/ts_alpha.h"
#include "framework/types/ts_phone.h"
#include "framework/types/ts_string.h"
#include "framework/types/ts_text.h"

namespace {

TEST(TsAlpha, ComparesBytewiseAndKeepsBlanksInStorage) {
  EXPECT_LT(tsAlpha("B"), "a") << "upper case sorts before lower case";
  EXPECT_LT(tsAlpha("z"), tsAlpha("\xc3\xa9")) << "bytes compare unsigned";
  EXPECT_LT(tsAlpha("ab"), std::string("ab "));
  EXPECT_EQ(tsText("same"), tsPhone("same"));
  EXPECT_TRUE(!tsAlpha("   "));
  EXPECT_FALSE(!tsAlpha(" x"));

  tsCell cell;
  ASSERT_TRUE(tsAlpha("  two spaces  ").ToCell(cell, 0));
  tsPhone back;
  ASSERT_TRUE(back.FromCell(cell, 0));
  EXPECT_EQ(back.Format(), "  two spaces  ");
  EXPECT_FALSE(back.FromCell(tsCell::Int(5), 0));
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
