// Module settings over header 2 of the master file: the change tracker, every
// option written by one program and read by the next, failed reads and
// writes (injected, or without a master file), locked and unlocked updates,
// and two programs updating different options.
#include <gtest/gtest.h>

#include <functional>

#include "programs/bk_program.h"
#include "programs/program_test_support.h"
#include "framework/io/dictionary.h"
#include "framework/io/faults.h"
#include "settings/bk_settings.h"

namespace {

// One option, type-erased: set it to its new value (or, given another
// settings object, to the value that one holds), and show it as text.
struct OptionCase {
  std::string name, new_text;
  std::function<void(bkSettings&, const bkSettings*)> set;
  std::function<std::string(const bkSettings&)> text;
};

template <typename T>
OptionCase Option(const char* name, T (bkSettings::*get)() const, void (bkSettings::*set)(const T&), T value) {
  return OptionCase{name, value.Format(),
                    [=](bkSettings& s, const bkSettings* from) { (s.*set)(from ? (from->*get)() : value); },
                    [=](const bkSettings& s) { return (s.*get)().Format(); }};
}

// Every option of the settings, each with a value other than its default.
std::vector<OptionCase> Options() {
  using S = bkSettings;
  return {
      Option("YearEndingDate", &S::GetYearEndingDate, &S::SetYearEndingDate, tsDate(2026, 12, 31)),
      Option("MaxTranDiscrepancy", &S::GetMaxTranDiscrepancy, &S::SetMaxTranDiscrepancy, tsCurrency::FromText("12.34")),
      Option("MaxReconcileDiscrepancy", &S::GetMaxReconcileDiscrepancy, &S::SetMaxReconcileDiscrepancy, tsCurrency::FromText("-0.05")),
      Option("MultipleCashAccounts", &S::GetMultipleCashAccounts, &S::SetMultipleCashAccounts, tsBool(true)),
      Option("TrackingTaxes", &S::GetTrackingTaxes, &S::SetTrackingTaxes, tsBool(true)),
      Option("OverrideOpeningBalance", &S::GetOverrideOpeningBalance, &S::SetOverrideOpeningBalance, tsBool(true)),
      Option("VerifyDupCheckInHistory", &S::GetVerifyDupCheckInHistory, &S::SetVerifyDupCheckInHistory, tsBool(true)),
      Option("VerifyDupDepositInHistory", &S::GetVerifyDupDepositInHistory, &S::SetVerifyDupDepositInHistory, tsBool(true)),
      Option("GLJournalDep", &S::GetGLJournalDep, &S::SetGLJournalDep, tsNum<short>(11)),
      Option("GLJournalWdl", &S::GetGLJournalWdl, &S::SetGLJournalWdl, tsNum<short>(32767)),
      Option("GLJournalAdj", &S::GetGLJournalAdj, &S::SetGLJournalAdj, tsNum<short>(-13)),
      Option("GLDueToBaseAccount", &S::GetGLDueToBaseAccount, &S::SetGLDueToBaseAccount, tsAlpha("2100-00")),
      Option("GLDueFromBaseAccount", &S::GetGLDueFromBaseAccount, &S::SetGLDueFromBaseAccount, tsAlpha("1300-00")),
      Option("GLReference1", &S::GetGLReference1, &S::SetGLReference1, tclTSEnum<GLReferenceContents>(GLReferenceContents::kBankAccount)),
      Option("GLReference2", &S::GetGLReference2, &S::SetGLReference2, tclTSEnum<GLReferenceContents>(GLReferenceContents::kDepositID)),
      Option("ReconcileReportDesign", &S::GetReconcileReportDesign, &S::SetReconcileReportDesign, tsText("Reconciliation, long form")),
      Option("RegisterReportDesign", &S::GetRegisterReportDesign, &S::SetRegisterReportDesign, tsText("Register by date")),
      Option("AllowReconcileInRegister", &S::GetAllowReconcileInRegister, &S::SetAllowReconcileInRegister, tsBool(true)),
      Option("AllowReconcileInRegisterLastSetDate", &S::GetAllowReconcileInRegisterLastSetDate, &S::SetAllowReconcileInRegisterLastSetDate, tsDate(2024, 2, 29)),
      Option("AllowReconcileInRegisterLastSetTime", &S::GetAllowReconcileInRegisterLastSetTime, &S::SetAllowReconcileInRegisterLastSetTime, tsTime(13, 45, 10)),
      Option("TransferFromDescription", &S::GetTransferFromDescription, &S::SetTransferFromDescription, tsText("Moved out to")),
      Option("TransferToDescription", &S::GetTransferToDescription, &S::SetTransferToDescription, tsText("Moved in from")),
      Option("BankTransfersAccount", &S::GetBankTransfersAccount, &S::SetBankTransfersAccount, tsAlpha("1050-00")),
      Option("BankRLSUsage", &S::GetBankRLSUsage, &S::SetBankRLSUsage, tsBool(true)),
      Option("DetailedGLTsFromBK", &S::GetDetailedGLTsFromBK, &S::SetDetailedGLTsFromBK, tsBool(true)),
      Option("DetailedDepositCash", &S::GetDetailedDepositCash, &S::SetDetailedDepositCash, tclTSEnum<DepositDetailCashSideEnum>(DepositDetailCashSideEnum::kCashByItem)),
      Option("DetailedDepositNonCash", &S::GetDetailedDepositNonCash, &S::SetDetailedDepositNonCash, tclTSEnum<DepositDetailNonCashSideEnum>(DepositDetailNonCashSideEnum::kNonCashByItem)),
  };
}

// Every option (the table above holds every column of the settings header):
// setting it marks a change, setting it back to the value read (even after
// setting it twice) clears the mark; written by one program, every new value
// is what the next program reads.
TEST(Settings, EveryOptionIsTrackedWrittenAndReadByTheNextProgram) {
  const tsioFileDef* bkm = tsioDictionary::Find(210);
  ASSERT_TRUE(bkm && bkm->Header(2));
  EXPECT_EQ(Options().size(), bkm->Header(2)->fields.size());
  bktest::ModuleCompany company;
  {
    bkProgram writer(502);
    bkSettings* s = writer.Settings();
    ASSERT_EQ(s->Get(false), tsioStatus::kSuccess);
    bkSettings read(*writer.File(BKMFileSpec));
    ASSERT_EQ(read.Get(false), tsioStatus::kSuccess);
    for (const OptionCase& o : Options()) {
      o.set(*s, nullptr);
      EXPECT_TRUE(s->Changed()) << o.name;
      o.set(*s, nullptr);
      o.set(*s, &read);
      EXPECT_FALSE(s->Changed()) << o.name;
      EXPECT_EQ(o.text(*s), o.text(read)) << o.name;
    }
    for (const OptionCase& o : Options()) o.set(*s, nullptr);
    ASSERT_EQ(s->Update(), tsioStatus::kSuccess);
    EXPECT_FALSE(s->Changed());
  }
  bkProgram reader(503);
  bkSettings* s = reader.Settings();
  ASSERT_EQ(s->Get(false), tsioStatus::kSuccess);
  for (const OptionCase& o : Options()) EXPECT_EQ(o.text(*s), o.new_text) << o.name;
}

// An update refused (a failed header write, another program's lock, no
// master file open) or a failed read keeps the edits and their marks; the
// next update writes them, a locked update the whole record, an unlocked one
// only its own options.
TEST(Settings, RefusedUpdatesAndReadsKeepTheMarksAndTheNextUpdateWrites) {
  {
    bktest::ModuleCompany none(true, false);
    bkProgram program(512);
    bkSettings& s = *program.Settings();
    EXPECT_EQ(s.Get(false), tsioStatus::kFileNotOpen);
    s.SetTrackingTaxes(tsBool(true));
    EXPECT_EQ(s.Update(), tsioStatus::kFileNotOpen);
    EXPECT_TRUE(s.Changed());
  }
  bktest::ModuleCompany company;
  bkProgram program_a(504), program_b(511);
  bkSettings& a = *program_a.Settings();
  bkSettings& b = *program_b.Settings();
  ASSERT_EQ(a.Get(false), tsioStatus::kSuccess);
  a.SetGLJournalDep(tsNum<short>(7));
  tsioFaults::Arm(tsioOp::kHeaderWrite, tsioStatus::kIOError);
  EXPECT_EQ(a.Update(), tsioStatus::kIOError);
  tsioFaults::Clear();
  EXPECT_TRUE(a.Changed());
  a.SetGLJournalDep(tsNum<short>(0));  // back to the value read: the mark survived the failure
  EXPECT_FALSE(a.Changed());
  a.SetGLJournalDep(tsNum<short>(7));
  a.SetBankTransfersAccount(tsAlpha("1090"));
  tsioFaults::Arm(tsioOp::kHeaderRead, tsioStatus::kIOError);
  EXPECT_EQ(a.Get(false), tsioStatus::kIOError);
  tsioFaults::Clear();
  EXPECT_TRUE(a.Changed());
  ASSERT_EQ(a.Update(), tsioStatus::kSuccess);
  EXPECT_FALSE(a.Changed());

  ASSERT_EQ(a.Get(true), tsioStatus::kSuccess);
  // The other program may read, but not write, while the lock is held.
  ASSERT_EQ(b.Get(false), tsioStatus::kSuccess);
  b.SetDetailedGLTsFromBK(tsBool(true));
  EXPECT_EQ(b.Update(), tsioStatus::kLocked);
  EXPECT_TRUE(b.Changed());
  a.SetYearEndingDate(tsDate(2026, 6, 30));
  ASSERT_EQ(a.Update(), tsioStatus::kSuccess);  // whole record, lock released
  EXPECT_FALSE(a.Changed());
  ASSERT_EQ(b.Update(), tsioStatus::kSuccess);  // only its own option

  bkSettings fresh(*program_a.File(BKMFileSpec));
  ASSERT_EQ(fresh.Get(false), tsioStatus::kSuccess);
  EXPECT_EQ(fresh.GetGLJournalDep().Format() + " " + fresh.GetBankTransfersAccount().str() + " " +
                fresh.GetYearEndingDate().Format() + " " + fresh.GetDetailedGLTsFromBK().Format(),
            "7 1090 2026-06-30 true");
}

}  // namespace
