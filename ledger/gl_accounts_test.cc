// GL account and period functions with the general-ledger module loaded,
// over GL master data written into a temporary company: formatting,
// building accounts and intercompany accounts, prefix matching, validation,
// period checks and account filters, with and without prefixes.
#include <gtest/gtest.h>

#include "framework/base/scripted_responder.h"
#include "ledger/gl_accounts.h"
#include "ledger/gl_test_support.h"

namespace {

// Two companies, prefixes 0101 and 0202 (section 2 is the intercompany
// part), and 0102, company 01's side of its business with company 02.
void AddMasterData(gltest::LedgerCompany& c) {
  for (const char* p : {"0101", "0202", "0102", "0303"}) c.AddPrefix(p);
  c.AddPrefixMatch("0101", "0303");
  c.AddBase("1000100");                  // cash
  c.AddBase("1500000", true, false);     // due from
  c.AddBase("2500000", false, true);     // due to
  c.AddBase("3000000", false, false, false);  // inactive
  for (const char* a : {"01011000100", "02021000100", "01021500000", "01022500000", "02011500000"}) {
    c.AddAccount(a);
  }
  c.AddAccount("01011500000", true, true, false);
  c.AddAccount("01013000000", false);
}

class GLAccounts : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(gltest::LoadLedgerModule(), 0); }
  void TearDown() override { EXPECT_EQ(gltest::LiveObjects(), 0) << "a general-ledger object was left alive"; }
};

TEST_F(GLAccounts, FormattingFollowsTheCompanysFormat) {
  const struct {
    bool prefixed;
    const char* stored;
    const char* shown;
    const char* prefix;
  } cases[] = {
      {true, "01011000100", "01-01-1000-100", "0101"},
      {false, "1000100", "1000-100", ""},
      {true, "0101100", "01-01-100", "0101"},  // short values fill from the left
  };
  for (const auto& c : cases) {
    gltest::LedgerCompany company(c.prefixed);
    EXPECT_EQ(glw_format_account(tsAlpha(c.stored)), c.shown);
    EXPECT_EQ(glw_unformat_account(tsAlpha(c.shown)), c.stored);
    EXPECT_EQ(glw_get_full_prefix(tsAlpha(c.shown)), c.prefix);
    EXPECT_EQ(glw_get_full_prefix(tsAlpha(c.stored)), c.prefix);
  }
}

TEST_F(GLAccounts, BuildAccountAnswersTheBuildersCode) {
  gltest::LedgerCompany company(true);
  AddMasterData(company);
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
    auto st = glwBuildAccount(company.GlmNum(), c.prefix, c.base, account, result);
    EXPECT_TRUE(st.Errors().Empty()) << c.prefix;
    EXPECT_EQ(st.Value(), ccError::kNone);
    EXPECT_EQ(account, c.account);
    EXPECT_EQ(result, c.result) << c.prefix << " " << c.base;
  }
}

TEST_F(GLAccounts, IntercompanyAccountsWithPrefixes) {
  gltest::LedgerCompany company(true);
  AddMasterData(company);
  tsAlpha out;
  // Company 01's receivable from company 02: section 2 comes from the third
  // account when the master file is given.
  auto st = glwBuildIntercompanyAccount(&company.Glm(), tsAlpha("01-01-1000-100"), tsAlpha("02-02-1500-000"),
                                        tsAlpha("02-02-1000-100"), kGLICDueFrom, out);
  EXPECT_TRUE(st.Errors().Empty()) << (st.Errors().Empty() ? "" : st.Errors()[0].Text());
  EXPECT_EQ(out, "01021500000");
  st = glwBuildIntercompanyAccount(&company.Glm(), tsAlpha("01011000100"), tsAlpha("2500000"),
                                   tsAlpha("02021000100"), kGLICDueTo, out);
  EXPECT_TRUE(st.Errors().Empty());
  EXPECT_EQ(out, "01022500000");
  // Without the master file nothing is looked up and section 2 stays.
  st = glwBuildIntercompanyAccount(nullptr, tsAlpha("01011000100"), tsAlpha("1500000"), tsAlpha("02021000100"),
                                   kGLICDueFrom, out);
  EXPECT_TRUE(st.Errors().Empty());
  EXPECT_EQ(out, "01011500000");

  // Refusals carry the general ledger's text in message 1627 and give an
  // empty account.
  const struct {
    const char* second;
    GLIntercompanyType type;
    const char* text;
  } refused[] = {
      {"1000100", kGLICDueFrom, "not set up for this kind"},   // cash is no intercompany base
      {"1500000", kGLICDueTo, "not set up for this kind"},     // a due-from base used as due-to
      {"7777777", kGLICDueFrom, "base account is not set up"},
  };
  for (const auto& r : refused) {
    out = tsAlpha("stale");
    st = glwBuildIntercompanyAccount(&company.Glm(), tsAlpha("01011000100"), tsAlpha(r.second),
                                     tsAlpha("02021000100"), r.type, out);
    ASSERT_EQ(st.Errors().Size(), 1u) << r.second;
    EXPECT_EQ(st.Errors()[0].Number(), 1627);
    EXPECT_NE(st.Errors()[0].Text().find(r.text), std::string::npos) << st.Errors()[0].Text();
    EXPECT_EQ(st.Value(), ccError::kError);
    EXPECT_EQ(out, "");
  }
}

TEST_F(GLAccounts, IntercompanyAccountsWithoutPrefixesNeverAskTheLedger) {
  gltest::LedgerCompany company(false);
  AddMasterData(company);
  gltest::FailFactories(true);  // asking the ledger would now fail
  tsAlpha out;
  auto st = glwBuildIntercompanyAccount(&company.Glm(), tsAlpha("1000100"), tsAlpha("1500-000"),
                                        tsAlpha("1000100"), kGLICDueFrom, out);
  gltest::FailFactories(false);
  EXPECT_TRUE(st.Errors().Empty());
  EXPECT_EQ(out, "1500000");
}

TEST_F(GLAccounts, MatchingIntercompanyPrefixes) {
  gltest::LedgerCompany company(true);
  AddMasterData(company);
  const struct {
    const char* first;
    const char* second;
    bool match;
    size_t messages;
  } cases[] = {
      {"01011000100", "01011500000", true, 0},   // same prefix
      {"01011000100", "03031000100", true, 0},   // recorded match
      {"03031000100", "01011000100", true, 0},   // either order
      {"01011000100", "02021000100", false, 0},  // different companies
      {"09091000100", "01011000100", true, 1},   // unknown prefix: 1627, match stays true
      {"01011000100", "09091000100", true, 1},
  };
  for (const auto& c : cases) {
    bool match = !c.match;
    auto st = glwMatchingICPrefixesOnAccounts(tsAlpha(c.first), tsAlpha(c.second), company.GlmNum(), match);
    EXPECT_EQ(match, c.match) << c.first << " " << c.second;
    ASSERT_EQ(st.Errors().Size(), c.messages) << c.first << " " << c.second;
    if (c.messages) {
      EXPECT_EQ(st.Errors()[0].Number(), 1627);
    }
  }
  bool match = false;
  auto st = glwMatchingICPrefixesOnAccounts(tsAlpha("01011000100"), tsAlpha("02021000100"), 0, match);
  EXPECT_TRUE(match);
  EXPECT_EQ(st.Errors().Size(), 2u) << "file number 0: the unavailable-ledger report";
}

TEST_F(GLAccounts, IntercompanyBaseValidation) {
  gltest::LedgerCompany company(true);
  AddMasterData(company);
  tsScriptedResponder responder;
  EXPECT_EQ(glwValidICBaseAccount(tsAlpha("1500-000"), kGLICDueFrom, company.GlmNum(), false), kBoolSuccess);
  EXPECT_EQ(glwValidICBaseAccount(tsAlpha("01-01-2500-000"), kGLICDueTo, company.GlmNum(), false), kBoolSuccess);
  EXPECT_TRUE(responder.Messages().empty());
  EXPECT_EQ(glwValidICBaseAccount(tsAlpha("1500000"), kGLICDueTo, company.GlmNum(), false), kBoolFailure);
  ASSERT_EQ(responder.Messages().size(), 1u);
  EXPECT_EQ(responder.Messages()[0].level, 3);
  EXPECT_NE(responder.Messages()[0].text.find("intercompany"), std::string::npos);
  EXPECT_EQ(glwValidICBaseAccount(tsAlpha("3000000"), kGLICDueTo, company.GlmNum(), true), kBoolFailure);
  EXPECT_EQ(responder.Messages().size(), 1u) << "quiet: nothing shown";
}

TEST_F(GLAccounts, AccountAndSectionValidation) {
  gltest::LedgerCompany company(true);
  AddMasterData(company);
  const auto glm = static_cast<unsigned short>(company.GlmNum());
  EXPECT_EQ(glwValidGLAccount(tsAlpha("01-01-1000-100"), glm, 0, 0, false), kBoolSuccess);
  EXPECT_EQ(glwValidGLAccount(tsAlpha("01011000100"), 0, 0, 0, false), kBoolSuccess) << "0: the company's GLM";
  EXPECT_EQ(glwValidGLAccount(tsAlpha("09091000100"), glm, 0, 0, false), kBoolFailure);
  EXPECT_EQ(glwValidGLAccount(tsAlpha("01013000000"), glm, 0, 0, false), kBoolFailure) << "inactive";
  EXPECT_EQ(glwValidGLAccount(tsAlpha("01013000000"), glm, 0, 0, true), kBoolSuccess) << "inactive accepted";
  EXPECT_EQ(glwValidGLAccount(tsAlpha("01011500000"), glm, kGLListReceivable, 0, false), kBoolSuccess);
  EXPECT_EQ(glwValidGLAccount(tsAlpha("01011500000"), glm, kGLListPayable, 0, false), kBoolFailure);

  const struct {
    const char* value;
    short section;
    ccBoolStatus expected;
  } sections[] = {
      {"01-01-1000-100", 0, kBoolSuccess}, {"1000-100", 7, kBoolSuccess}, {"01-01-1000-100", 7, kBoolSuccess},
      {"7777777", 7, kBoolFailure},        {"3000000", 7, kBoolFailure},  {"01-02", 6, kBoolSuccess},
      {"0909", 6, kBoolFailure},           {"1500", 4, kBoolSuccess},     {"02", 2, kBoolSuccess},
      {"09", 1, kBoolFailure},             {"1000", 9, kBoolFailure},
  };
  for (const auto& s : sections) {
    EXPECT_EQ(glwValidGLSection(tsAlpha(s.value), s.section, glm, 0, 0, false), s.expected)
        << s.value << " section " << s.section;
  }
}

// Fiscal periods: the company's calendar for 2025 (current year) and 2026,
// and a calendar of its own for the entity 0202.
class GLPeriods : public GLAccounts {
 protected:
  void Fill(gltest::LedgerCompany& c) {
    AddMasterData(c);
    c.SetHeader(2025, true);
    c.AddPeriod("", 2025, 1, tsDate(2025, 1, 1), tsDate(2025, 1, 31), kGLPeriodClosedWarning);
    c.AddPeriod("", 2025, 2, tsDate(2025, 2, 1), tsDate(2025, 2, 28), kGLPeriodClosedError);
    c.AddPeriod("", 2025, 3, tsDate(2025, 3, 1), tsDate(2025, 3, 31), kGLPeriodOpen);
    c.AddPeriod("", 2025, 4, tsDate(2025, 4, 1), tsDate(2025, 4, 30), kGLPeriodNoStatus);
    c.AddPeriod("", 2026, 1, tsDate(2026, 1, 1), tsDate(2026, 1, 31), kGLPeriodClosedError);
    c.AddPeriod("", 2026, 2, tsDate(2026, 2, 1), tsDate(2026, 2, 28), kGLPeriodClosedWarning);
    c.AddYear("0202", 2025);
    c.AddPeriod("0202", 2026, 1, tsDate(2026, 1, 1), tsDate(2026, 1, 31), kGLPeriodOpen);
  }
};

TEST_F(GLPeriods, StatusOfADate) {
  gltest::LedgerCompany company(true);
  Fill(company);
  const struct {
    const char* what;
    const char* account;
    tsDate date;
    unsigned short message;  // 0: none
    ccError::Level level;
    GLWarningType warning;
  } cases[] = {
      {"closed with warning", "01011000100", tsDate(2025, 1, 15), 1605, ccError::kWarning, kGLWarningClosedPeriod},
      {"closed with error", "01011000100", tsDate(2025, 2, 10), 1606, ccError::kWarning, kGLWarningNone},
      {"open", "01011000100", tsDate(2025, 3, 10), 0, ccError::kNone, kGLWarningNone},
      {"no status", "01011000100", tsDate(2025, 4, 10), 0, ccError::kNone, kGLWarningNone},
      {"future over closed (error)", "01011000100", tsDate(2026, 1, 5), 1629, ccError::kWarning,
       kGLWarningFuturePeriod},
      {"future over closed (warning)", "01011000100", tsDate(2026, 2, 5), 1629, ccError::kWarning,
       kGLWarningFuturePeriod},
      {"after every period", "01011000100", tsDate(2027, 6, 1), 1629, ccError::kWarning, kGLWarningFuturePeriod},
      {"before every period", "01011000100", tsDate(2024, 6, 1), 1624, ccError::kError, kGLWarningNone},
      {"between periods", "01011000100", tsDate(2025, 6, 1), 1624, ccError::kError, kGLWarningNone},
      {"own calendar: open", "02021000100", tsDate(2025, 1, 15), 0, ccError::kNone, kGLWarningNone},
      {"own calendar: future", "02021000100", tsDate(2026, 1, 15), 1629, ccError::kWarning,
       kGLWarningFuturePeriod},
  };
  for (const auto& c : cases) {
    GLWarningType warning = kGLWarningUndeterminedPeriod;
    auto st = glwCheckAccountForClosedPeriod(tsAlpha(c.account), c.date, company.GlmNum(), &warning);
    EXPECT_EQ(warning, c.warning) << c.what;
    EXPECT_EQ(st.Value(), c.level) << c.what;
    if (c.message == 0) {
      EXPECT_TRUE(st.Errors().Empty()) << c.what;
      continue;
    }
    ASSERT_EQ(st.Errors().Size(), 1u) << c.what;
    EXPECT_EQ(st.Errors()[0].Number(), c.message) << c.what;
    EXPECT_EQ(st.Errors()[0].GetLevel(), c.level) << c.what;
    const std::string prefix = " for prefix " + glw_format_account(glw_get_full_prefix(tsAlpha(c.account))).str();
    EXPECT_NE(st.Errors()[0].Text().find(prefix), std::string::npos) << st.Errors()[0].Text();
    EXPECT_NE(st.Errors()[0].Text().find(c.date.Format()), std::string::npos) << st.Errors()[0].Text();
    // Without an out pointer the same message comes back.
    EXPECT_EQ(glwCheckAccountForClosedPeriod(tsAlpha(c.account), c.date, company.GlmNum(), nullptr).Errors(),
              st.Errors());
  }
}

TEST_F(GLPeriods, MasterFileTheEntityCannotOpenGivesNothing) {
  gltest::LedgerCompany company(true);
  Fill(company);
  GLWarningType warning = kGLWarningClosedPeriod;
  auto st = glwCheckAccountForClosedPeriod(tsAlpha("01011000100"), tsDate(2025, 1, 15), 399, &warning);
  EXPECT_TRUE(st.Errors().Empty());
  EXPECT_EQ(warning, kGLWarningNone);
}

TEST_F(GLPeriods, PrefixChecksUseThePrefixsCalendar) {
  gltest::LedgerCompany company(true);
  Fill(company);
  GLWarningType warning = kGLWarningNone;
  auto st = glwCheckPrefixForClosedPeriod(tsAlpha("0101"), tsDate(2025, 1, 20), company.GlmNum(), &warning);
  EXPECT_EQ(warning, kGLWarningClosedPeriod);
  ASSERT_EQ(st.Errors().Size(), 1u);
  EXPECT_NE(st.Errors()[0].Text().find(" for prefix 01-01"), std::string::npos);
  st = glwCheckPrefixForClosedPeriod(tsAlpha("0202"), tsDate(2025, 1, 20), company.GlmNum(), &warning);
  EXPECT_TRUE(st.Errors().Empty());
  EXPECT_EQ(warning, kGLWarningNone);
}

TEST_F(GLPeriods, WithoutPrefixesThePrefixTagIsEmpty) {
  gltest::LedgerCompany company(false);
  company.SetHeader(2025, true);
  company.AddPeriod("", 2025, 1, tsDate(2025, 1, 1), tsDate(2025, 1, 31), kGLPeriodClosedWarning);
  GLWarningType warning = kGLWarningNone;
  auto st = glwCheckPrefixForClosedPeriod(tsAlpha(""), tsDate(2025, 1, 2), company.GlmNum(), &warning);
  EXPECT_EQ(warning, kGLWarningClosedPeriod);
  ASSERT_EQ(st.Errors().Size(), 1u);
  EXPECT_EQ(st.Errors()[0].Text(), "The accounting date 2025-01-02 is in a closed period.");
  for (auto* fn : {&glwClosedPeriodError, &glwClosedPeriodWarning, &glwFuturePeriodWarning,
                   &glwUndeterminedPeriodError, &glwUndeterminedPeriodWarning}) {
    auto m = fn(tsAlpha("1000100"), tsDate(2025, 5, 1));
    ASSERT_EQ(m.Errors().Size(), 1u);
    EXPECT_EQ(m.Errors()[0].Text().find("prefix"), std::string::npos) << m.Errors()[0].Text();
    EXPECT_EQ(m.Errors()[0].Text().back(), '.');
  }
}

TEST_F(GLPeriods, FiscalEntityRefusedGivesTheUndeterminedWarning) {
  gltest::LedgerCompany company(true);
  Fill(company);
  gltest::RefuseInterfaces(true);
  GLWarningType warning = kGLWarningNone;
  auto st = glwCheckAccountForClosedPeriod(tsAlpha("01011000100"), tsDate(2025, 1, 15), company.GlmNum(), &warning);
  gltest::RefuseInterfaces(false);
  EXPECT_EQ(warning, kGLWarningUndeterminedPeriod);
  ASSERT_EQ(st.Errors().Size(), 1u);
  EXPECT_EQ(st.Errors()[0].Number(), 1623);
}

TEST_F(GLAccounts, AccountFilters) {
  gltest::LedgerCompany company(true);
  AddMasterData(company);
  const GLIntercompanyType other = static_cast<GLIntercompanyType>(5);
  struct Case {
    const char* what;
    bool header_active_only;
    bool with_file;
    bool full;
    GLIntercompanyType type;
    const char* conditions;
  };
  const Case cases[] = {
      {"no file: active only", true, false, false, kGLICDueFrom, "(GBACTIV = 1 and GBICRC = 1)"},
      {"header lists inactive too", false, true, false, kGLICDueFrom, "(GBICRC = 1)"},
      {"full accounts, due to", false, true, true, kGLICDueTo, "(GAICPY = 1)"},
      {"header active only", true, true, true, kGLICDueTo, "(GAACTIV = 1 and GAICPY = 1)"},
      {"any other type: every account", false, true, true, other, ""},
  };
  for (const auto& c : cases) {
    company.SetHeader(2025, c.header_active_only);
    const tsioDataFile* glm = c.with_file ? &company.Glm() : nullptr;
    tsdmQueryNode node;
    tsdmFilter filter;
    bool answer = false;
    if (c.full) {
      glwAttachControlFullAccountFilterColumns(glm, company.GlmNum(), c.type, &node);
      answer = glwControlFullAccountFilter(glm, company.GlmNum(), c.type, filter);
    } else {
      glwAttachControlBaseAccountFilterColumns(glm, company.GlmNum(), c.type, &node);
      answer = glwControlBaseAccountFilter(glm, company.GlmNum(), c.type, filter);
    }
    EXPECT_EQ(node.Describe(), c.conditions) << c.what;
    EXPECT_EQ(filter.Query().Describe(), c.conditions) << c.what;
    EXPECT_EQ(answer, std::string(c.conditions) != "") << c.what;
  }
  // The conditions choose real records.
  tsdmFilter filter;
  ASSERT_TRUE(glwControlFullAccountFilter(nullptr, company.GlmNum(), kGLICDueFrom, filter));
  tsGLAccountRec due_from;
  due_from.active = true;
  due_from.ic_receivable = true;
  tsGLAccountRec cash;
  EXPECT_TRUE(filter.Accepts(due_from));
  EXPECT_FALSE(filter.Accepts(cash));
}

// An object that cannot be obtained (its interface refused, or no object
// made) is never called nor released, and each function answers as it does
// without the general ledger; nothing stays alive.
TEST_F(GLAccounts, ObjectsThatCannotBeObtained) {
  gltest::LedgerCompany company(true);
  AddMasterData(company);
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "interfaces refused" : "factories make no object");
    gltest::RefuseInterfaces(way == 0);
    gltest::FailFactories(way == 1);
    CString account = "x";
    GLBuildAccountResults result = kGLBuildPrefixNotFound;
    auto st = glwBuildAccount(company.GlmNum(), "0101", "1000100", account, result);
    EXPECT_EQ(st.Errors().Size(), 2u);
    EXPECT_EQ(account, "");
    EXPECT_EQ(result, kGLBuildPrefixNotFound);
    tsAlpha ic("x");
    EXPECT_EQ(glwBuildIntercompanyAccount(&company.Glm(), tsAlpha("01011000100"), tsAlpha("1500000"),
                                          tsAlpha("02021000100"), kGLICDueFrom, ic)
                  .Errors()
                  .Size(),
              2u);
    EXPECT_EQ(ic, "");
    bool match = false;
    EXPECT_EQ(glwMatchingICPrefixesOnAccounts(tsAlpha("01011000100"), tsAlpha("02021000100"), company.GlmNum(),
                                              match)
                  .Errors()
                  .Size(),
              2u);
    EXPECT_TRUE(match);
    EXPECT_EQ(glwValidICBaseAccount(tsAlpha("1000100"), kGLICDueFrom, company.GlmNum(), false), kBoolSuccess);
    GLWarningType warning = kGLWarningNone;
    auto period = glwCheckAccountForClosedPeriod(tsAlpha("01011000100"), tsDate(2025, 1, 1), company.GlmNum(),
                                                 &warning);
    EXPECT_EQ(warning, kGLWarningUndeterminedPeriod);
    EXPECT_EQ(period.Errors()[0].Number(), 1623);
    tsdmQueryNode node;
    glwAttachControlFullAccountFilterColumns(&company.Glm(), company.GlmNum(), kGLICDueTo, &node);
    EXPECT_EQ(node.ConditionCount(), 0u);
    tsdmFilter filter;
    EXPECT_FALSE(glwControlBaseAccountFilter(&company.Glm(), company.GlmNum(), kGLICDueTo, filter));
    EXPECT_EQ(gltest::LiveObjects(), 0);
  }
  gltest::RefuseInterfaces(false);
  gltest::FailFactories(false);
  // The C functions do not depend on objects.
  EXPECT_EQ(glwValidGLAccount(tsAlpha("01011000100"), static_cast<unsigned short>(company.GlmNum()), 0, 0, false),
            kBoolSuccess);
}

}  // namespace
