// Module settings over header 2 of the master file: the change tracker, every
// option written by one program and read by the next, failed reads and
// writes (injected), locked and unlocked updates, and two programs updating
// different options.
#include <gtest/gtest.h>

#include <functional>

#include "programs/bk_program.h"
#include "programs/program_test_support.h"
#include "framework/io/dictionary.h"
#include "framework/io/faults.h"
#include "settings/bk_settings.h"

namespace {

// One option, type-erased: set it to a new value, back to what another
// settings object holds, and show it (and the new value) as text.
struct OptionCase {
  std::string name;
  std::function<void(bkSettings&)> set_new;
  std::function<void(bkSettings&, const bkSettings&)> set_as;
  std::function<std::string(const bkSettings&)> text;
  std::string new_text;
};

template <typename T>
OptionCase Option(const char* name, T (bkSettings::*get)() const, void (bkSettings::*set)(const T&), T value) {
  return OptionCase{
      name,
      [=](bkSettings& s) { (s.*set)(value); },
      [=](bkSettings& s, const bkSettings& other) { (s.*set)((other.*get)()); },
      [=](const bkSettings& s) { return (s.*get)().Format(); },
      value.Format(),
  };
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
      o.set_new(*s);
      EXPECT_TRUE(s->Changed()) << o.name;
      o.set_new(*s);
      o.set_as(*s, read);
      EXPECT_FALSE(s->Changed()) << o.name;
      EXPECT_EQ(o.text(*s), o.text(read)) << o.name;
    }
    for (const OptionCase& o : Options()) o.set_new(*s);
    ASSERT_EQ(s->Update(), tsioStatus::kSuccess);
    EXPECT_FALSE(s->Changed());
  }
  bkProgram reader(503);
  bkSettings* s = reader.Settings();
  ASSERT_EQ(s->Get(false), tsioStatus::kSuccess);
  for (const OptionCase& o : Options()) EXPECT_EQ(o.text(*s), o.new_text) << o.name;
}

// An update refused (a failed header write, another program's lock) or a
// failed read keeps the edits and their marks; the next update writes them,
// a locked update the whole record, an unlocked one only its own options.
TEST(Settings, RefusedUpdatesAndReadsKeepTheMarksAndTheNextUpdateWrites) {
  bktest::ModuleCompany company;
  bkProgram a(504), b(511);
  bkSettings* s = a.Settings();
  ASSERT_EQ(s->Get(false), tsioStatus::kSuccess);
  s->SetGLJournalDep(tsNum<short>(7));
  tsioFaults::Arm(tsioOp::kHeaderWrite, tsioStatus::kIOError);
  EXPECT_EQ(s->Update(), tsioStatus::kIOError);
  tsioFaults::Clear();
  EXPECT_TRUE(s->Changed());
  s->SetGLJournalDep(tsNum<short>(0));  // back to the value read: the mark survived the failure
  EXPECT_FALSE(s->Changed());
  s->SetGLJournalDep(tsNum<short>(7));
  s->SetBankTransfersAccount(tsAlpha("1090"));
  tsioFaults::Arm(tsioOp::kHeaderRead, tsioStatus::kIOError);
  EXPECT_EQ(s->Get(false), tsioStatus::kIOError);
  tsioFaults::Clear();
  EXPECT_TRUE(s->Changed());
  EXPECT_EQ(s->GetBankTransfersAccount(), "1090");
  ASSERT_EQ(s->Update(), tsioStatus::kSuccess);
  EXPECT_FALSE(s->Changed());

  ASSERT_EQ(s->Get(true), tsioStatus::kSuccess);
  // The other program may read, but not write, while the lock is held.
  ASSERT_EQ(b.Settings()->Get(false), tsioStatus::kSuccess);
  b.Settings()->SetDetailedGLTsFromBK(tsBool(true));
  EXPECT_EQ(b.Settings()->Update(), tsioStatus::kLocked);
  EXPECT_TRUE(b.Settings()->Changed());
  s->SetYearEndingDate(tsDate(2026, 6, 30));
  ASSERT_EQ(s->Update(), tsioStatus::kSuccess);  // whole record, lock released
  EXPECT_FALSE(s->Changed());
  ASSERT_EQ(b.Settings()->Update(), tsioStatus::kSuccess);  // only its own option

  bkSettings fresh(*a.File(BKMFileSpec));
  ASSERT_EQ(fresh.Get(false), tsioStatus::kSuccess);
  EXPECT_EQ(fresh.GetGLJournalDep().Format() + " " + fresh.GetBankTransfersAccount().str() + " " +
                fresh.GetYearEndingDate().Format() + " " + fresh.GetDetailedGLTsFromBK().Format(),
            "7 1090 2026-06-30 true");
}

TEST(Settings, WithoutAnOpenMasterFileReadsAndWritesFailAsNotOpen) {
  bktest::ModuleCompany company(true, false);
  bkProgram program(512);
  bkSettings* s = program.Settings();
  EXPECT_EQ(s->Get(false), tsioStatus::kFileNotOpen);
  s->SetTrackingTaxes(tsBool(true));
  EXPECT_EQ(s->Update(), tsioStatus::kFileNotOpen);
  EXPECT_TRUE(s->Changed());
}

}  // namespace
