// Account format 9 and the xk_ functions, for a company with prefixes, one
// without, and no company at all.
#include <gtest/gtest.h>

#include "framework/base/application.h"
#include "framework/control/account_format.h"
#include "framework/control/control_file.h"
#include "framework/io/file_manager.h"
#include "tests/support/test_support.h"

namespace {

// A company whose control file holds format 9, installed as the
// application's company while the object lives.
class FormatCompany {
 public:
  explicit FormatCompany(const tsAccountFormat& format) {
    tsioFileManager fm(dir_.path());
    EXPECT_EQ(fm.CreateCompany(), tsioStatus::kSuccess);
    auto cf = tsControlFile::Open(dir_.path());
    EXPECT_NE(cf, nullptr);
    if (cf) {
      EXPECT_EQ(cf->PutAccountFormat(format), tsioStatus::kSuccess);
    }
    TSGetApp()->SetCompanyFolder(dir_.path());
  }
  ~FormatCompany() { TSGetApp()->SetCompanyFolder(""); }
  const std::string& Folder() const { return dir_.path(); }

 private:
  bktest::TempDir dir_;
};

tsAccountFormat Format(bool prefixed, char sep = '-') {
  tsAccountFormat f = tsDefaultAccountFormat(9);
  f.prefixed = prefixed;
  f.separator = sep;
  return f;
}

TEST(AccountFormat, WidthsBySection) {
  FormatCompany company(Format(true));
  const struct {
    short section;
    short width;
    short formatted;
  } cases[] = {{0, 11, 14}, {1, 2, 2}, {2, 2, 2}, {3, 0, 0}, {4, 4, 4}, {5, 3, 3}, {6, 4, 5}, {7, 7, 8}, {8, 0, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(xk_width(9, c.section), c.width) << c.section;
    EXPECT_EQ(xk_width(9, c.section, 1), c.formatted) << c.section;
  }
  EXPECT_EQ(xk_prefixed(9), 1);
}

TEST(AccountFormat, SectionsWithPrefixes) {
  FormatCompany company(Format(true));
  const tsAlpha stored("01021500000");
  EXPECT_EQ(xk_format_alpha(9, 0, stored), "01-02-1500-000");
  EXPECT_EQ(xk_unformat_alpha(9, 0, tsAlpha("01-02-1500-000  ")), "01021500000");
  const struct {
    short from;
    short section;
    const char* value;
    const char* expected;
  } cases[] = {
      {0, 6, "01021500000", "0102"}, {0, 7, "01021500000", "1500000"}, {0, 2, "01-02-1500-000", "02"},
      {0, 5, "01021500000", "000"},  {7, 4, "1500000", "1500"},        {6, 2, "0102", "02"},
      {7, 6, "1500000", ""},         {0, 6, "01", "01"},                {0, 9, "01021500000", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(xk_get_section(tsAlpha(c.value), 9, c.from, c.section), c.expected)
        << c.value << " " << c.from << "->" << c.section;
  }
  // A whole account or the section's own value.
  EXPECT_EQ(xk_unformat_field(9, 7, tsAlpha("01-02-1500-000")), "1500000");
  EXPECT_EQ(xk_unformat_field(9, 7, tsAlpha("1500-000")), "1500000");
  EXPECT_EQ(xk_unformat_field(9, 6, tsAlpha("01-02")), "0102");
  EXPECT_EQ(xk_unformat_field(9, 0, tsAlpha("01-02-1500-000")), "01021500000");
  EXPECT_EQ(xk_format_alpha(9, 6, tsAlpha("0102")), "01-02");
  EXPECT_EQ(xk_format_alpha(9, 7, tsAlpha("1500000")), "1500-000");
  EXPECT_EQ(xk_format_alpha(9, 0, tsAlpha("0102150000099")), "01-02-1500-00099") << "excess stays at the end";
}

TEST(AccountFormat, WithoutPrefixesThePrefixSectionsAreEmpty) {
  FormatCompany company(Format(false, '.'));
  EXPECT_EQ(xk_prefixed(9), 0);
  EXPECT_EQ(xk_width(9, 6), 0);
  EXPECT_EQ(xk_width(9, 0), 7);
  EXPECT_EQ(xk_format_alpha(9, 0, tsAlpha("1500000")), "1500.000");
  EXPECT_EQ(xk_unformat_alpha(9, 0, tsAlpha("1500.000")), "1500000");
  EXPECT_EQ(xk_get_section(tsAlpha("1500000"), 9, 0, 6), "");
  EXPECT_EQ(xk_get_section(tsAlpha("1500000"), 9, 0, 7), "1500000");
  EXPECT_EQ(xk_unformat_field(9, 7, tsAlpha("1500.000")), "1500000");
}

TEST(AccountFormat, DefaultWithoutCompanyAndChangesSeenAtOnce) {
  TSGetApp()->SetCompanyFolder("");
  EXPECT_EQ(tsGetAccountFormat(9), tsDefaultAccountFormat(9));
  EXPECT_EQ(xk_prefixed(9), 0);

  FormatCompany company(Format(false));
  EXPECT_EQ(xk_prefixed(9), 0);
  auto cf = tsControlFile::Open(company.Folder());
  ASSERT_NE(cf, nullptr);
  ASSERT_EQ(cf->PutAccountFormat(Format(true)), tsioStatus::kSuccess);
  EXPECT_EQ(xk_prefixed(9), 1) << "a write in this process refreshes the cached format";
  tsAccountFormat read;
  ASSERT_EQ(cf->GetAccountFormat(9, &read), tsioStatus::kSuccess);
  EXPECT_EQ(read, Format(true));
  ASSERT_EQ(cf->GetAccountFormat(3, &read), tsioStatus::kSuccess);
  EXPECT_EQ(read, tsDefaultAccountFormat(3)) << "a format never written";
}

}  // namespace
