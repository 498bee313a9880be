// Test helpers of the general-ledger functions (see gl_test_support.h).
#include "ledger/gl_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "deposits/detail_transfer_test_support.h"
#include "framework/base/application.h"
#include "framework/base/scripted_responder.h"
#include "framework/control/account_format.h"
#include "framework/control/control_file.h"
#include "framework/io/cursor.h"
#include "framework/io/header.h"
#include "framework/module/module_registry.h"
#include "ledger/gl_accounts.h"
#include "tests/support/status_text.h"

namespace gltest {

LedgerCompany::LedgerCompany(bool prefixed) : previous_folder_(TSGetApp()->CompanyFolder()) {
  tsRegisterLedgerFiles();
  files_ = std::make_unique<tsioFileManager>(dir_.path());
  EXPECT_EQ(files_->CreateCompany(), tsioStatus::kSuccess);
  for (const tsioFileSpec& spec : {tsGLMFileSpec(), tsGLTFileSpec(), tsGLTFileSpec2()}) {
    EXPECT_EQ(files_->Create(spec), tsioStatus::kSuccess);
  }
  EXPECT_EQ(files_->Open(tsGLMFileSpec(), &glm_), tsioStatus::kSuccess);
  tsAccountFormat f = tsDefaultAccountFormat(9);
  f.prefixed = prefixed;
  auto control = tsControlFile::Open(dir_.path());
  EXPECT_TRUE(control && control->PutAccountFormat(f) == tsioStatus::kSuccess);
  TSGetApp()->SetCompanyFolder(dir_.path());
}

LedgerCompany::~LedgerCompany() {
  files_.reset();
  TSGetApp()->SetCompanyFolder(previous_folder_);
}

void LedgerCompany::Add(const std::string& rows) {
  std::istringstream in(rows);
  for (std::string row; in >> row;) {
    tsGLAccountRec account;
    tsGLBaseAccountRec base;
    tsGLPrefixRec prefix;
    tsGLPrefixMatchRec match;
    tsGLFiscalPeriodRec period;
    const std::map<std::string, ccRecData*> kinds = {
        {"GA", &account}, {"GB", &base}, {"GP", &prefix}, {"GM", &match}, {"GF", &period}};
    ccRecData* rec = kinds.at(row.substr(0, 2));
    ASSERT_TRUE(bkdetailtest::Set(*rec, row)) << row;
    account.prefix = xk_get_section(account.account, 9, 0, 6);
    account.base = xk_get_section(account.account, 9, 0, 7);
    tsioCursor cur(*rec, *glm_, rec->TableID(), 0);
    ASSERT_EQ(cur.Insert(), tsioStatus::kSuccess) << row;
  }
}

void LedgerCompany::AddAccount(const std::string& account, bool active, bool ic_receivable, bool ic_payable) {
  Add("GAACCT=" + account + ";GAACTIV=" + std::to_string(active) + ";GAICRC=" + std::to_string(ic_receivable) +
      ";GAICPY=" + std::to_string(ic_payable));
}

void LedgerCompany::AddPeriods(const std::string& entity, short year, const std::string& statuses) {
  for (short m = 1; m <= static_cast<short>(statuses.size()); ++m) {
    Add("GFENT=" + entity + ";GFYEAR=" + std::to_string(year) + ";GFPER=" + std::to_string(m) + ";GFSTART=" +
        tsDate(year, m, 1).Format() + ";GFEND=" + tsDate(year, m, tsDate::DaysInMonth(year, m)).Format() +
        ";GFSTAT=" + statuses[m - 1]);
  }
}

void LedgerCompany::SetHeader(short current_year, bool active_only) {
  tsNum<short> year(current_year);
  tsBool active(active_only);
  tsioHeader h(*glm_, kGLMHeader);
  ASSERT_EQ(h.AttachColumn("GHCURYR", year), tsioStatus::kSuccess);
  ASSERT_EQ(h.AttachColumn("GHACTONL", active), tsioStatus::kSuccess);
  ASSERT_EQ(h.Update(), tsioStatus::kSuccess);
}

// The calls, with accounts unformatted or formatted, and their answers (then
// ", shows <level> <text>" for each message shown to the user):
//   build <prefix> <base>: [<account>] <result code> <Answer>
//   ic <first> <base> from|to|nofile: [<intercompany account>] <Answer>,
//     02021000100 the third account; nofile: due from, without the file;
//     '' a blank base
//   match <account> <account> [file0]: <match> <Answer>, "(not written)"
//     when the answer was left as it was
//   valid <account> [receivable|payable|inactive|file0]: ok or refused
//   section <value> <section> [file0] [quiet]: ok or refused
//   icbase <base> from|to [quiet]: ok or refused
//   period <account, or a prefix of 4 characters> <date> [file]: <warning>
//     <status and message numbers>, and a message's text when it does not
//     name the prefix and the date; file: a master file (399) that the
//     fiscal entity cannot open
//   header all|active-only: the header's current year 2025 and account list
//   filter base|full file|nofile from|to|5: <answer> <conditions>
namespace {
// Answer, with the intercompany refusal's words left out before the general
// ledger's reason.
std::string Reason(const ccStatus<ccError::Level>& st) {
  std::string said = Answer(st);
  const std::string words = "General Ledger could not build the intercompany account: ";
  const size_t at = said.find(words);
  return at == std::string::npos || said == "unavailable" ? said : said.erase(at, words.size());
}
}  // namespace

std::string Ask(LedgerCompany& company, const std::string& script) {
  const short glm = company.Glm().FileNum();
  tsScriptedResponder responder;
  std::istringstream lines(script);
  std::string out;
  for (std::string line; std::getline(lines, line);) {
    line = line.substr(0, line.find(" -> "));
    std::istringstream in(line);
    std::string call, a, b, c;
    in >> call >> a >> b >> c;
    if (b == "''") b.clear();
    const bool with = c != "nofile";
    const GLIntercompanyType type = b == "to" || c == "to" ? kGLICDueTo
                                    : c == "5"             ? GLIntercompanyType(5)
                                                           : kGLICDueFrom;
    const char* yes_no[] = {"refused", "ok"};
    const size_t shown = responder.Messages().size();
    std::ostringstream answer;
    if (call == "header") {
      company.SetHeader(2025, a == "active-only");
    } else if (call == "build") {
      CString account = "stale";
      GLBuildAccountResults result = kGLBuildMasterUnavailable;
      const std::string said = Answer(glwBuildAccount(glm, a.c_str(), b.c_str(), account, result));
      answer << "[" << account << "] " << result << " " << said;
    } else if (call == "ic") {
      tsAlpha built("stale");
      const auto st = glwBuildIntercompanyAccount(with ? &company.Glm() : nullptr, tsAlpha(a), tsAlpha(b),
                                                  tsAlpha("02021000100"), type, built);
      answer << "[" << built.str() << "] " << Reason(st);
    } else if (call == "match") {
      bool from_false = false;
      bool from_true = true;
      const short file = c == "file0" ? 0 : glm;
      const auto st = glwMatchingICPrefixesOnAccounts(tsAlpha(a), tsAlpha(b), file, from_false);
      (void)glwMatchingICPrefixesOnAccounts(tsAlpha(a), tsAlpha(b), file, from_true);
      answer << from_false << (from_false == from_true ? "" : " (not written)") << " " << Reason(st);
    } else if (call == "valid") {
      const short list = b == "receivable" ? kGLListReceivable : b == "payable" ? kGLListPayable : 0;
      const auto file = static_cast<unsigned short>(b == "file0" ? 0 : glm);
      answer << yes_no[glwValidGLAccount(tsAlpha(a), file, list, 0, b == "inactive") == kBoolSuccess];
    } else if (call == "section") {
      const auto file = static_cast<unsigned short>(c == "file0" ? 0 : glm);
      const auto section = static_cast<short>(std::stoi(b));
      answer << yes_no[glwValidGLSection(tsAlpha(a), section, file, 0, 0, line.ends_with("quiet")) == kBoolSuccess];
    } else if (call == "icbase") {
      answer << yes_no[glwValidICBaseAccount(tsAlpha(a), type, glm, c == "quiet") == kBoolSuccess];
    } else if (call == "period") {
      // A prefix when 4 characters long; "file 399" a master file that the
      // fiscal entity cannot open.
      const auto check = a.size() == 4 ? &glwCheckPrefixForClosedPeriod : &glwCheckAccountForClosedPeriod;
      tsDate date;
      EXPECT_TRUE(date.Parse(b)) << b;
      const short file = c == "file" ? 399 : glm;
      GLWarningType warning = GLWarningType(9);
      const auto st = check(tsAlpha(a), date, file, &warning);
      answer << warning << " " << bktest::Said(st, false);
      // A message names the prefix and the date; without an out pointer the
      // same message comes back.
      const std::string prefix = glw_format_account(glw_get_full_prefix(tsAlpha(a))).str();
      for (const ccError& e : st.Errors()) {
        if (e.Text().find(" for prefix " + prefix) == std::string::npos || e.Text().find(b) == std::string::npos) {
          answer << " (" << e.Text() << ")";
        }
      }
      if (check(tsAlpha(a), date, file, nullptr).Errors() != st.Errors()) answer << " (differs without a warning)";
    } else if (call == "filter") {
      const tsioDataFile* file = b == "file" ? &company.Glm() : nullptr;
      const bool full = a == "full";
      tsdmQueryNode node;
      tsdmFilter filter;
      (full ? glwAttachControlFullAccountFilterColumns : glwAttachControlBaseAccountFilterColumns)(file, glm, type,
                                                                                                   &node);
      const bool built = (full ? glwControlFullAccountFilter : glwControlBaseAccountFilter)(file, glm, type, filter);
      answer << built << " " << node.Describe() << (filter.IsActive() == built ? "" : " (active filter)");
      if (filter.Query().Describe() != node.Describe()) answer << " (filter: " << filter.Query().Describe() << ")";
    } else {
      answer << "unknown call";
    }
    for (size_t i = shown; i < responder.Messages().size(); ++i) {
      answer << ", shows " << responder.Messages()[i].level << " " << responder.Messages()[i].text;
    }
    out += line + (answer.str().empty() ? "" : " -> " + answer.str()) + "\n";
  }
  return out;
}

unsigned short LoadLedgerModule() {
  // The build tree keeps modules in <build>/modules; the registry also finds
  // them from the test program's folder, this only makes the test explicit.
  setenv("BK_MODULE_PATH", (bktest::BinaryDir() + "/modules").c_str(), 1);
  return xdll_load("LEDGERCORE");
}

namespace {
template <typename Fn>
Fn ModuleFunction(const char* name) {
  const unsigned short h = xdll_dll_loaded("LEDGERCORE");
  return h ? reinterpret_cast<Fn>(xdll_get_function(h, name)) : nullptr;
}
}  // namespace

int LiveObjects() {
  auto f = ModuleFunction<int (*)()>("gl_live_objects");
  return f ? f() : -1;
}

void Switch(const char* name, bool on) {
  if (auto f = ModuleFunction<void (*)(int)>(name)) f(on ? 1 : 0);
}

void FailCall(const char* function, int nth, int status, int times) {
  auto f = ModuleFunction<void (*)(const char*, int, int, int)>("gl_fail_call");
  ASSERT_NE(f, nullptr);
  f(function, nth, status, times);
}

int CallCount(const char* function) {
  auto f = ModuleFunction<int (*)(const char*)>("gl_call_count");
  return f ? f(function) : -1;
}

}  // namespace gltest
