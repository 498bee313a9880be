// Test helpers of the general-ledger functions (see gl_test_support.h).
#include "ledger/gl_test_support.h"

#include <gtest/gtest.h>

#include "framework/base/application.h"
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
  EXPECT_EQ(files_->Create(tsGLMFileSpec()), tsioStatus::kSuccess);
  EXPECT_EQ(files_->Create(tsGLTFileSpec()), tsioStatus::kSuccess);
  EXPECT_EQ(files_->Create(tsGLTFileSpec2()), tsioStatus::kSuccess);
  EXPECT_EQ(files_->Open(tsGLMFileSpec(), &glm_), tsioStatus::kSuccess);
  auto control = tsControlFile::Open(dir_.path());
  EXPECT_NE(control, nullptr);
  tsAccountFormat f = tsDefaultAccountFormat(9);
  f.prefixed = prefixed;
  if (control) {
    EXPECT_EQ(control->PutAccountFormat(f), tsioStatus::kSuccess);
  }
  TSGetApp()->SetCompanyFolder(dir_.path());
}

LedgerCompany::~LedgerCompany() {
  files_.reset();
  TSGetApp()->SetCompanyFolder(previous_folder_);
}

short LedgerCompany::GlmNum() const { return glm_ ? glm_->FileNum() : 0; }

void LedgerCompany::Insert(ccRecData& rec) {
  tsioCursor cur(rec, *glm_, rec.TableID(), 0);
  ASSERT_EQ(cur.Insert(), tsioStatus::kSuccess) << rec.TableID();
}

void LedgerCompany::AddAccount(const std::string& account, bool active, bool ic_receivable, bool ic_payable) {
  tsGLAccountRec r;
  r.account = tsAlpha(account);
  r.prefix = xk_get_section(r.account, 9, 0, 6);
  r.base = xk_get_section(r.account, 9, 0, 7);
  r.active = active;
  r.ic_receivable = ic_receivable;
  r.ic_payable = ic_payable;
  Insert(r);
}

void LedgerCompany::AddBase(const std::string& base, bool ic_receivable, bool ic_payable, bool active) {
  tsGLBaseAccountRec r;
  r.base = tsAlpha(base);
  r.active = active;
  r.ic_receivable = ic_receivable;
  r.ic_payable = ic_payable;
  Insert(r);
}

void LedgerCompany::AddPrefix(const std::string& prefix) {
  tsGLPrefixRec r;
  r.prefix = tsAlpha(prefix);
  Insert(r);
}

void LedgerCompany::AddPrefixMatch(const std::string& a, const std::string& b) {
  tsGLPrefixMatchRec r;
  r.prefix1 = tsAlpha(a);
  r.prefix2 = tsAlpha(b);
  Insert(r);
}

void LedgerCompany::AddPeriod(const std::string& entity, short year, short period, const tsDate& start,
                              const tsDate& end, short status) {
  tsGLFiscalPeriodRec r;
  r.entity = tsAlpha(entity);
  r.year = year;
  r.period = period;
  r.start = start;
  r.end = end;
  r.status = status;
  Insert(r);
}

void LedgerCompany::AddYear(const std::string& entity, short year) {
  for (short m = 1; m <= 12; ++m) {
    AddPeriod(entity, year, m, tsDate(year, m, 1), tsDate(year, m, tsDate::DaysInMonth(year, m)), kGLPeriodOpen);
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

void ExpectUnavailableReport(const ccStatus<ccError::Level>& st) {
  const std::string said = bktest::Said(st);
  EXPECT_EQ(said.substr(0, 11), "3 | 1627/3 ");
  EXPECT_TRUE(said.ends_with("could not initialize General Ledger's account data. | 0/0 ")) << said;
  EXPECT_EQ(st.Errors()[1], ccError(0, ccError::kNone, "", "You may need to reinstall General Ledger."));
  EXPECT_EQ(st.MaxLevel(), ccError::kError);
}

void ExpectAnswersWithoutTheLedger(LedgerCompany& company) {
  const short glm = company.GlmNum();
  CString account = "left alone";
  GLBuildAccountResults result = kGLBuildBaseNotFound;
  ExpectUnavailableReport(glwBuildAccount(glm, "01-01", "1000-100", account, result));
  EXPECT_EQ(account, "");
  EXPECT_EQ(result, kGLBuildBaseNotFound) << "the result code is left as it was";
  tsAlpha ic("left alone");
  ExpectUnavailableReport(glwBuildIntercompanyAccount(&company.Glm(), tsAlpha("01011000100"), tsAlpha("02021500000"),
                                                      tsAlpha("02021000100"), kGLICDueFrom, ic));
  EXPECT_EQ(ic, "");
  for (short file : {short{0}, glm}) {
    bool match = false;
    ExpectUnavailableReport(
        glwMatchingICPrefixesOnAccounts(tsAlpha("01011000100"), tsAlpha("02021000100"), file, match));
    EXPECT_TRUE(match) << file;
  }
  EXPECT_EQ(glwValidICBaseAccount(tsAlpha("nonsense"), kGLICDueFrom, glm, false), kBoolSuccess);
  GLWarningType warning = kGLWarningFuturePeriod;
  auto st = glwCheckAccountForClosedPeriod(tsAlpha("01-01-1000-100"), tsDate(2025, 3, 1), glm, &warning);
  EXPECT_EQ(warning, kGLWarningUndeterminedPeriod);
  const std::string said = bktest::Said(st);
  EXPECT_EQ(said.substr(0, 11), "2 | 1623/2 ");
  EXPECT_NE(said.find(" for prefix 01-01"), std::string::npos) << said;
  EXPECT_NE(said.find("2025-03-01"), std::string::npos) << said;
  EXPECT_EQ(glwCheckPrefixForClosedPeriod(tsAlpha("0101"), tsDate(2025, 3, 1), glm, nullptr).Errors(), st.Errors());
  tsdmQueryNode node;
  glwAttachControlBaseAccountFilterColumns(&company.Glm(), glm, kGLICDueFrom, &node);
  glwAttachControlFullAccountFilterColumns(nullptr, glm, kGLICDueTo, &node);
  EXPECT_EQ(node.ConditionCount(), 0u);
  tsdmFilter filter;
  EXPECT_FALSE(glwControlBaseAccountFilter(&company.Glm(), glm, kGLICDueFrom, filter));
  EXPECT_FALSE(glwControlFullAccountFilter(nullptr, 0, kGLICDueTo, filter));
  EXPECT_FALSE(filter.IsActive());
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

void RefuseInterfaces(bool on) {
  if (auto f = ModuleFunction<void (*)(int)>("gl_refuse_interfaces")) f(on ? 1 : 0);
}

void FailFactories(bool on) {
  if (auto f = ModuleFunction<void (*)(int)>("gl_fail_factories")) f(on ? 1 : 0);
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
