// GL account and period functions with the general-ledger module loaded,
// over GL master data written into a temporary company: formatting,
// building accounts and intercompany accounts, prefix matching, validation,
// period checks and account filters, with and without prefixes, and objects
// that cannot be obtained.
#include <gtest/gtest.h>

#include "framework/base/scripted_responder.h"
#include "ledger/gl_accounts.h"
#include "ledger/gl_test_support.h"
#include "tests/support/status_text.h"

namespace {

using bktest::Said;

// A prefixed company: companies 0101 and 0202 (section 2 is the
// intercompany part), 0102, company 01's side of its business with company
// 02, and 0303, matched with 0101. Fiscal periods: the company's calendar for
// 2025 (current year) and 2026, and a calendar of its own for 0202.
class GLAccounts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(gltest::LoadLedgerModule(), 0);
    gltest::LedgerCompany& c = company;
    for (const char* p : {"0101", "0202", "0102", "0303"}) c.AddPrefix(p);
    c.AddPrefixMatch("0101", "0303");
    c.AddBase("1000100");                       // cash
    c.AddBase("1500000", true, false);          // due from
    c.AddBase("2500000", false, true);          // due to
    c.AddBase("3000000", false, false, false);  // inactive
    for (const char* a : {"01011000100", "02021000100", "01021500000", "01022500000", "02011500000"}) c.AddAccount(a);
    c.AddAccount("01011500000", true, true, false);
    c.AddAccount("01013000000", false);
    c.SetHeader(2025, true);
    const short statuses[] = {kGLPeriodClosedWarning, kGLPeriodClosedError, kGLPeriodOpen, kGLPeriodNoStatus};
    for (short m = 1; m <= 4; ++m) {
      c.AddPeriod("", 2025, m, tsDate(2025, m, 1), tsDate(2025, m, tsDate::DaysInMonth(2025, m)), statuses[m - 1]);
    }
    c.AddPeriod("", 2026, 1, tsDate(2026, 1, 1), tsDate(2026, 1, 31), kGLPeriodClosedError);
    c.AddPeriod("", 2026, 2, tsDate(2026, 2, 1), tsDate(2026, 2, 28), kGLPeriodClosedWarning);
    c.AddYear("0202", 2025);
    c.AddPeriod("0202", 2026, 1, tsDate(2026, 1, 1), tsDate(2026, 1, 31), kGLPeriodOpen);
  }
  void TearDown() override {
    gltest::RefuseInterfaces(false);
    gltest::FailFactories(false);
    EXPECT_EQ(gltest::LiveObjects(), 0) << "a general-ledger object was left alive";
  }
  gltest::LedgerCompany company{true};
  const short glm = company.GlmNum();
};

TEST_F(GLAccounts, BuildAccountAnswersTheBuildersCode) {
  const struct {
    const char* prefix;
    const char* base;
    const char* account;
    GLBuildAccountResults result;
  } cases[] = {
      {"01-01", "1000-100", "01011000100", kGLBuildAccountBuilt},
      {"01-01-1000-100", "1000100", "01011000100", kGLBuildAccountBuilt},  // the full prefix of an account
      {"0202", "1500000", "02021500000", kGLBuildAccountNotFound},
      {"0909", "1000100", "09091000100", kGLBuildPrefixNotFound},
      {"0101", "7777777", "01017777777", kGLBuildBaseNotFound},
  };
  for (const auto& c : cases) {
    CString account;
    GLBuildAccountResults result = kGLBuildMasterUnavailable;
    auto st = glwBuildAccount(glm, c.prefix, c.base, account, result);
    EXPECT_TRUE(st.Errors().Empty()) << c.prefix;
    EXPECT_EQ(account, c.account);
    EXPECT_EQ(result, c.result) << c.prefix << " " << c.base;
  }
}

// Company 01's intercompany account with company 02: section 2 comes from the
// third account when the master file is given (without it nothing is looked
// up and section 2 stays). Refusals carry the general ledger's text in
// message 1627 and give an empty account. Without prefixes the account is
// the base and the general ledger is never asked.
TEST_F(GLAccounts, IntercompanyAccounts) {
  const struct {
    bool with_file;
    const char* first;
    const char* base;
    GLIntercompanyType type;
    const char* account;
    const char* refusal;
  } cases[] = {
      {true, "01-01-1000-100", "02-02-1500-000", kGLICDueFrom, "01021500000", nullptr},
      {true, "01011000100", "2500000", kGLICDueTo, "01022500000", nullptr},
      {false, "01011000100", "1500000", kGLICDueFrom, "01011500000", nullptr},
      {true, "01011000100", "1000100", kGLICDueFrom, "", "not set up for this kind"},  // cash is no IC base
      {true, "01011000100", "7777777", kGLICDueFrom, "", "base account is not set up"},
  };
  for (const auto& c : cases) {
    tsAlpha out("stale");
    auto st = glwBuildIntercompanyAccount(c.with_file ? &company.Glm() : nullptr, tsAlpha(c.first), tsAlpha(c.base),
                                          tsAlpha("02021000100"), c.type, out);
    EXPECT_EQ(out, c.account) << c.base;
    const std::string said = Said(st);
    EXPECT_TRUE(c.refusal ? said.rfind("3 | 1627/3 ", 0) == 0 && said.find(c.refusal) != std::string::npos
                          : said == "0")
        << said;
  }
  gltest::LedgerCompany plain(false);
  gltest::FailFactories(true);  // asking the ledger would now fail
  tsAlpha out;
  auto st = glwBuildIntercompanyAccount(&plain.Glm(), tsAlpha("1000100"), tsAlpha("1500-000"), tsAlpha("1000100"),
                                        kGLICDueFrom, out);
  EXPECT_EQ(Said(st), "0");
  EXPECT_EQ(out, "1500000");
}

TEST_F(GLAccounts, MatchingIntercompanyPrefixes) {
  const struct {
    const char* first;
    const char* second;
    bool match;
    const char* said;
  } cases[] = {
      {"01011000100", "01011500000", true, "0"},            // same prefix
      {"03031000100", "01011000100", true, "0"},            // either order
      {"01011000100", "02021000100", false, "0"},           // different companies
      {"09091000100", "01011000100", true, "3 | 1627/3"},   // unknown prefix: match stays true
  };
  for (const auto& c : cases) {
    bool match = !c.match;
    auto st = glwMatchingICPrefixesOnAccounts(tsAlpha(c.first), tsAlpha(c.second), glm, match);
    EXPECT_EQ(match, c.match) << c.first << " " << c.second;
    EXPECT_EQ(Said(st, false), c.said) << c.first << " " << c.second;
  }
}

TEST_F(GLAccounts, AccountSectionAndIntercompanyBaseValidation) {
  const auto file = static_cast<unsigned short>(glm);
  EXPECT_EQ(glwValidGLAccount(tsAlpha("01-01-1000-100"), file, 0, 0, false), kBoolSuccess);
  EXPECT_EQ(glwValidGLAccount(tsAlpha("01011000100"), 0, 0, 0, false), kBoolSuccess) << "0: the company's GLM";
  EXPECT_EQ(glwValidGLAccount(tsAlpha("09091000100"), file, 0, 0, false), kBoolFailure);
  EXPECT_EQ(glwValidGLAccount(tsAlpha("01013000000"), file, 0, 0, false), kBoolFailure) << "inactive";
  EXPECT_EQ(glwValidGLAccount(tsAlpha("01013000000"), file, 0, 0, true), kBoolSuccess) << "inactive accepted";
  EXPECT_EQ(glwValidGLAccount(tsAlpha("01011500000"), file, kGLListReceivable, 0, false), kBoolSuccess);
  EXPECT_EQ(glwValidGLAccount(tsAlpha("01011500000"), file, kGLListPayable, 0, false), kBoolFailure);
  const struct {
    const char* value;
    short section;
    ccBoolStatus expected;
  } sections[] = {
      {"01-01-1000-100", 7, kBoolSuccess}, {"7777777", 7, kBoolFailure}, {"3000000", 7, kBoolFailure},
      {"01-02", 6, kBoolSuccess},          {"0909", 6, kBoolFailure},    {"02", 2, kBoolSuccess},
      {"1000", 9, kBoolFailure},
  };
  for (const auto& s : sections) {
    EXPECT_EQ(glwValidGLSection(tsAlpha(s.value), s.section, file, 0, 0, false), s.expected)
        << s.value << " section " << s.section;
  }

  tsScriptedResponder responder;
  EXPECT_EQ(glwValidICBaseAccount(tsAlpha("1500-000"), kGLICDueFrom, glm, false), kBoolSuccess);
  EXPECT_EQ(glwValidICBaseAccount(tsAlpha("01-01-2500-000"), kGLICDueTo, glm, false), kBoolSuccess);
  EXPECT_TRUE(responder.Messages().empty());
  EXPECT_EQ(glwValidICBaseAccount(tsAlpha("1500000"), kGLICDueTo, glm, false), kBoolFailure);
  ASSERT_EQ(responder.Messages().size(), 1u);
  EXPECT_EQ(responder.Messages()[0].level, 3);
  EXPECT_NE(responder.Messages()[0].text.find("intercompany"), std::string::npos);
  EXPECT_EQ(glwValidICBaseAccount(tsAlpha("3000000"), kGLICDueTo, glm, true), kBoolFailure);
  EXPECT_EQ(responder.Messages().size(), 1u) << "quiet: nothing shown";
}

// The period of a date by the account's (or the prefix's) calendar; a master
// file the entity cannot open gives nothing.
TEST_F(GLAccounts, PeriodStatusOfADate) {
  const struct {
    const char* what;
    const char* account;  // a prefix when 4 characters long
    tsDate date;
    unsigned short message;  // 0: none
    ccError::Level level;
    GLWarningType warning;
    short file = 0;  // 0: the company's master file
  } cases[] = {
      {"closed with warning", "01011000100", tsDate(2025, 1, 15), 1605, ccError::kWarning, kGLWarningClosedPeriod},
      {"closed with error", "01011000100", tsDate(2025, 2, 10), 1606, ccError::kWarning, kGLWarningNone},
      {"open", "01011000100", tsDate(2025, 3, 10), 0, ccError::kNone, kGLWarningNone},
      {"future over closed (error)", "01011000100", tsDate(2026, 1, 5), 1629, ccError::kWarning,
       kGLWarningFuturePeriod},
      {"after every period", "01011000100", tsDate(2027, 6, 1), 1629, ccError::kWarning, kGLWarningFuturePeriod},
      {"between periods", "01011000100", tsDate(2025, 6, 1), 1624, ccError::kError, kGLWarningNone},
      {"own calendar: open", "02021000100", tsDate(2025, 1, 15), 0, ccError::kNone, kGLWarningNone},
      {"own calendar: future", "02021000100", tsDate(2026, 1, 15), 1629, ccError::kWarning, kGLWarningFuturePeriod},
      {"prefix: closed", "0101", tsDate(2025, 1, 20), 1605, ccError::kWarning, kGLWarningClosedPeriod},
      {"a file the entity cannot open", "01011000100", tsDate(2025, 1, 15), 0, ccError::kNone, kGLWarningNone, 399},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const bool prefix = std::string(c.account).size() == 4;
    auto check = prefix ? &glwCheckPrefixForClosedPeriod : &glwCheckAccountForClosedPeriod;
    GLWarningType warning = kGLWarningUndeterminedPeriod;
    auto st = check(tsAlpha(c.account), c.date, c.file ? c.file : glm, &warning);
    EXPECT_EQ(warning, c.warning);
    const std::string level = std::to_string(c.level);
    EXPECT_EQ(Said(st, false), level + (c.message ? " | " + std::to_string(c.message) + "/" + level : ""));
    if (c.message == 0) continue;
    const std::string text = st.Errors()[0].Text();
    EXPECT_NE(text.find(" for prefix " + glw_format_account(glw_get_full_prefix(tsAlpha(c.account))).str()),
              std::string::npos) << text;
    EXPECT_NE(text.find(c.date.Format()), std::string::npos) << text;
    // Without an out pointer the same message comes back.
    EXPECT_EQ(check(tsAlpha(c.account), c.date, glm, nullptr).Errors(), st.Errors());
  }
}

// Without prefixes the "prefix" tag of every period message is empty.
TEST_F(GLAccounts, WithoutPrefixesThePrefixTagIsEmpty) {
  gltest::LedgerCompany plain(false);
  plain.SetHeader(2025, true);
  plain.AddPeriod("", 2025, 1, tsDate(2025, 1, 1), tsDate(2025, 1, 31), kGLPeriodClosedWarning);
  GLWarningType warning = kGLWarningNone;
  auto st = glwCheckPrefixForClosedPeriod(tsAlpha(""), tsDate(2025, 1, 2), plain.GlmNum(), &warning);
  EXPECT_EQ(warning, kGLWarningClosedPeriod);
  EXPECT_EQ(Said(st), "2 | 1605/2 The accounting date 2025-01-02 is in a closed period.");
  for (auto* fn : {&glwClosedPeriodError, &glwClosedPeriodWarning, &glwFuturePeriodWarning,
                   &glwUndeterminedPeriodError, &glwUndeterminedPeriodWarning}) {
    const std::string text = fn(tsAlpha("1000100"), tsDate(2025, 5, 1)).Errors()[0].Text();
    EXPECT_EQ(text.find("prefix"), std::string::npos) << text;
  }
}

TEST_F(GLAccounts, AccountFilters) {
  const struct {
    bool header_active_only;
    bool with_file;
    bool full;
    GLIntercompanyType type;
    const char* conditions;
  } cases[] = {
      {true, false, false, kGLICDueFrom, "(GBACTIV = 1 and GBICRC = 1)"},  // no file: active only
      {false, true, true, kGLICDueTo, "(GAICPY = 1)"},
      {true, true, true, kGLICDueTo, "(GAACTIV = 1 and GAICPY = 1)"},
      {false, true, true, static_cast<GLIntercompanyType>(5), ""},  // any other type: every account
  };
  for (const auto& c : cases) {
    company.SetHeader(2025, c.header_active_only);
    const tsioDataFile* file = c.with_file ? &company.Glm() : nullptr;
    tsdmQueryNode node;
    tsdmFilter filter;
    (c.full ? glwAttachControlFullAccountFilterColumns : glwAttachControlBaseAccountFilterColumns)(file, glm, c.type,
                                                                                                    &node);
    const bool answer = (c.full ? glwControlFullAccountFilter : glwControlBaseAccountFilter)(file, glm, c.type, filter);
    EXPECT_EQ(node.Describe(), c.conditions);
    EXPECT_EQ(filter.Query().Describe(), c.conditions);
    EXPECT_EQ(answer, std::string(c.conditions) != "") << c.conditions;
  }
  // The conditions choose real records.
  tsdmFilter filter;
  ASSERT_TRUE(glwControlFullAccountFilter(nullptr, glm, kGLICDueFrom, filter));
  tsGLAccountRec due_from, cash;
  due_from.active = true;
  due_from.ic_receivable = true;
  EXPECT_TRUE(filter.Accepts(due_from));
  EXPECT_FALSE(filter.Accepts(cash));
}

// An object that cannot be obtained (its interface refused, or no object
// made) is never called nor released, and each function answers as it does
// without the general ledger; nothing stays alive. The C functions do not
// depend on objects.
TEST_F(GLAccounts, ObjectsThatCannotBeObtained) {
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "interfaces refused" : "factories make no object");
    gltest::RefuseInterfaces(way == 0);
    gltest::FailFactories(way == 1);
    gltest::ExpectAnswersWithoutTheLedger(company);
    EXPECT_EQ(gltest::LiveObjects(), 0);
    EXPECT_EQ(glwValidGLAccount(tsAlpha("01011000100"), static_cast<unsigned short>(glm), 0, 0, false), kBoolSuccess);
  }
}

}  // namespace
