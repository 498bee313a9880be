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
    EXPECT_EQ(cf ? cf->PutAccountFormat(format) : tsioStatus::kFileDoesNotExist, tsioStatus::kSuccess);
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

TEST(AccountFormat, WidthsFormsAndSectionsWithAndWithoutPrefixes) {
  // Sections: 0 whole account, 6 prefixes, 7 account without prefixes.
  const struct { bool prefixed; short section, width, formatted; } widths[] = {
      {true, 0, 11, 14}, {true, 1, 2, 2}, {true, 3, 0, 0}, {true, 4, 4, 4}, {true, 6, 4, 5},
      {true, 7, 7, 8}, {true, 8, 0, 0}, {false, 0, 7, 8}, {false, 6, 0, 0}, {false, 7, 7, 8}};
  const struct { bool prefixed; short section; const char *stored, *shown; } forms[] = {
      {true, 0, "01021500000", "01-02-1500-000"}, {true, 6, "0102", "01-02"}, {true, 7, "1500000", "1500-000"},
      {false, 0, "1500000", "1500.000"}, {false, 7, "1500000", "1500.000"}};
  const struct { bool prefixed; short from, section; const char *value, *expected; } sections[] = {
      {true, 0, 6, "01021500000", "0102"}, {true, 0, 7, "01021500000", "1500000"}, {true, 0, 2, "01-02-1500-000", "02"},
      {true, 0, 5, "01021500000", "000"},  {true, 7, 4, "1500000", "1500"},        {true, 6, 2, "0102", "02"},
      {true, 7, 6, "1500000", ""},         {true, 0, 6, "01", "01"},                {true, 0, 9, "01021500000", ""},
      {false, 0, 6, "1500000", ""},        {false, 0, 7, "1500000", "1500000"},
  };
  TSGetApp()->SetCompanyFolder("");
  EXPECT_EQ(tsGetAccountFormat(9), tsDefaultAccountFormat(9)) << "no company";
  for (bool prefixed : {true, false}) {
    SCOPED_TRACE(prefixed ? "with prefixes" : "without prefixes");
    FormatCompany company(Format(prefixed, prefixed ? '-' : '.'));
    EXPECT_EQ(xk_prefixed(9), prefixed ? 1 : 0);
    if (prefixed) {
      EXPECT_EQ(xk_unformat_field(9, 7, tsAlpha("01-02-1500-000")), "1500000") << "a whole account gives the section";
      EXPECT_EQ(xk_format_alpha(9, 0, tsAlpha("0102150000099")), "01-02-1500-00099") << "excess stays at the end";
    }
    for (const auto& c : widths) {
      if (c.prefixed != prefixed) continue;
      EXPECT_EQ(xk_width(9, c.section), c.width) << c.section;
      EXPECT_EQ(xk_width(9, c.section, 1), c.formatted) << c.section;
    }
    for (const auto& c : forms) {
      if (c.prefixed != prefixed) continue;
      EXPECT_EQ(xk_format_alpha(9, c.section, tsAlpha(c.stored)), c.shown);
      EXPECT_EQ(xk_unformat_field(9, c.section, tsAlpha(c.shown)), c.stored);
      EXPECT_EQ(xk_unformat_alpha(9, c.section, tsAlpha(std::string(c.shown) + "  ")), c.stored);
    }
    for (const auto& c : sections) {
      if (c.prefixed != prefixed) continue;
      EXPECT_EQ(xk_get_section(tsAlpha(c.value), 9, c.from, c.section), c.expected)
          << c.value << " " << c.from << "->" << c.section;
    }
  }
  // A write in this process refreshes the cached format at once.
  FormatCompany company(Format(false));
  auto cf = tsControlFile::Open(company.Folder());
  ASSERT_NE(cf, nullptr);
  ASSERT_EQ(cf->PutAccountFormat(Format(true)), tsioStatus::kSuccess);
  EXPECT_EQ(xk_prefixed(9), 1);
  tsAccountFormat read;
  ASSERT_EQ(cf->GetAccountFormat(3, &read), tsioStatus::kSuccess);
  EXPECT_EQ(read, tsDefaultAccountFormat(3)) << "a format never written";
}

}  // namespace
