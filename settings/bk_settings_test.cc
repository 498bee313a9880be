// Module settings over header 2 of the master file: the change tracker, every
// option written by one program and read by the next, failed reads and
// writes (injected), locked and unlocked updates, and two programs updating
// different options.
#include <gtest/gtest.h>

#include <functional>

#include "programs/bk_program.h"
#include "programs/program_test_support.h"
#include "framework/io/faults.h"
#include "settings/bk_settings.h"

namespace {

// One option, type-erased: set it to a new value, back to what another
// settings object holds, and test or show it.
struct OptionCase {
  std::string name;
  std::function<void(bkSettings&)> set_new;
  std::function<void(bkSettings&, const bkSettings&)> set_as;
  std::function<bool(const bkSettings&)> holds_new;
  std::function<std::string(const bkSettings&)> text;
};

template <typename T>
OptionCase Option(const char* name, T (bkSettings::*get)() const, void (bkSettings::*set)(const T&), T value) {
  return OptionCase{
      name,
      [=](bkSettings& s) { (s.*set)(value); },
      [=](bkSettings& s, const bkSettings& other) { (s.*set)((other.*get)()); },
      [=](const bkSettings& s) { return (s.*get)() == value; },
      [=](const bkSettings& s) { return (s.*get)().Format(); },
  };
}

// One option of every column type (signed numbers, enums of each kind).
std::vector<OptionCase> Options() {
  return {
      Option("YearEndingDate", &bkSettings::GetYearEndingDate, &bkSettings::SetYearEndingDate, tsDate(2026, 12, 31)),
      Option("MaxTranDiscrepancy", &bkSettings::GetMaxTranDiscrepancy, &bkSettings::SetMaxTranDiscrepancy, tsCurrency::FromText("12.34")),
      Option("TrackingTaxes", &bkSettings::GetTrackingTaxes, &bkSettings::SetTrackingTaxes, tsBool(true)),
      Option("GLJournalAdj", &bkSettings::GetGLJournalAdj, &bkSettings::SetGLJournalAdj, tsNum<short>(-13)),
      Option("GLDueToBaseAccount", &bkSettings::GetGLDueToBaseAccount, &bkSettings::SetGLDueToBaseAccount, tsAlpha("2100-00")),
      Option("GLReference1", &bkSettings::GetGLReference1, &bkSettings::SetGLReference1, tclTSEnum<GLReferenceContents>(GLReferenceContents::kBankAccount)),
      Option("RegisterReportDesign", &bkSettings::GetRegisterReportDesign, &bkSettings::SetRegisterReportDesign, tsText("Register by date")),
      Option("AllowReconcileInRegisterLastSetTime", &bkSettings::GetAllowReconcileInRegisterLastSetTime, &bkSettings::SetAllowReconcileInRegisterLastSetTime, tsTime(13, 45, 10)),
      Option("DetailedDepositCash", &bkSettings::GetDetailedDepositCash, &bkSettings::SetDetailedDepositCash, tclTSEnum<DepositDetailCashSideEnum>(DepositDetailCashSideEnum::kCashByItem)),
      Option("DetailedDepositNonCash", &bkSettings::GetDetailedDepositNonCash, &bkSettings::SetDetailedDepositNonCash, tclTSEnum<DepositDetailNonCashSideEnum>(DepositDetailNonCashSideEnum::kNonCashByItem)),
  };
}

struct FaultGuard {
  ~FaultGuard() { tsioFaults::Clear(); }
};

TEST(Settings, SettingEveryOptionAndBackToTheValueReadLeavesNothingChanged) {
  bktest::ModuleCompany company;
  bkProgram program(501);
  bkSettings* s = program.Settings();
  ASSERT_EQ(s->Get(false), tsioStatus::kSuccess);
  bkSettings read(*program.File(BKMFileSpec));
  ASSERT_EQ(read.Get(false), tsioStatus::kSuccess);
  for (const OptionCase& o : Options()) {
    o.set_new(*s);
    EXPECT_TRUE(s->Changed()) << o.name;
    o.set_new(*s);  // twice: the saved copy is still the value read
    o.set_as(*s, read);
    EXPECT_FALSE(s->Changed()) << o.name;
    EXPECT_EQ(o.text(*s), o.text(read)) << o.name;
  }
}

TEST(Settings, UpdateThenGetInANewProgramGivesTheNewValueOfEveryOption) {
  bktest::ModuleCompany company;
  {
    bkProgram writer(502);
    bkSettings* s = writer.Settings();
    ASSERT_EQ(s->Get(false), tsioStatus::kSuccess);
    for (const OptionCase& o : Options()) o.set_new(*s);
    ASSERT_TRUE(s->Changed());
    ASSERT_EQ(s->Update(), tsioStatus::kSuccess);
    EXPECT_FALSE(s->Changed());
  }
  bkProgram reader(503);
  bkSettings* s = reader.Settings();
  ASSERT_EQ(s->Get(false), tsioStatus::kSuccess);
  for (const OptionCase& o : Options()) EXPECT_TRUE(o.holds_new(*s)) << o.name << " = " << o.text(*s);
  EXPECT_FALSE(s->Changed());
}

TEST(Settings, AFailedUpdateKeepsTheMarksAndTheNextOneWrites) {
  bktest::ModuleCompany company;
  bkProgram program(504);
  bkSettings* s = program.Settings();
  ASSERT_EQ(s->Get(false), tsioStatus::kSuccess);
  s->SetGLJournalDep(tsNum<short>(7));
  {
    FaultGuard faults;
    tsioFaults::Arm(tsioOp::kHeaderWrite, tsioStatus::kIOError);
    EXPECT_EQ(s->Update(), tsioStatus::kIOError);
  }
  EXPECT_TRUE(s->Changed());
  s->SetGLJournalDep(tsNum<short>(0));  // back to the value read: the mark survived the failure
  EXPECT_FALSE(s->Changed());
  s->SetGLJournalDep(tsNum<short>(7));
  ASSERT_EQ(s->Update(), tsioStatus::kSuccess);
  EXPECT_FALSE(s->Changed());
  bkSettings fresh(*program.File(BKMFileSpec));
  ASSERT_EQ(fresh.Get(false), tsioStatus::kSuccess);
  EXPECT_EQ(fresh.GetGLJournalDep(), 7);

  s->SetBankTransfersAccount(tsAlpha("1090"));
  FaultGuard faults;
  tsioFaults::Arm(tsioOp::kHeaderRead, tsioStatus::kIOError);
  EXPECT_EQ(s->Get(false), tsioStatus::kIOError);  // a failed read keeps edits and marks
  EXPECT_TRUE(s->Changed());
  EXPECT_EQ(s->GetBankTransfersAccount(), "1090");
}

TEST(Settings, ALockedReadHoldsOthersOffUntilTheUpdateReleasesIt) {
  bktest::ModuleCompany company;
  bkProgram a(510), b(511);
  ASSERT_EQ(a.Settings()->Get(true), tsioStatus::kSuccess);
  // The other program may read, but not write, while the lock is held.
  ASSERT_EQ(b.Settings()->Get(false), tsioStatus::kSuccess);
  b.Settings()->SetDetailedGLTsFromBK(tsBool(true));
  EXPECT_EQ(b.Settings()->Update(), tsioStatus::kLocked);
  EXPECT_TRUE(b.Settings()->Changed());

  a.Settings()->SetYearEndingDate(tsDate(2026, 6, 30));
  ASSERT_EQ(a.Settings()->Update(), tsioStatus::kSuccess);  // whole record, lock released
  ASSERT_EQ(b.Settings()->Update(), tsioStatus::kSuccess);  // only its own option

  bkProgram c(513);
  ASSERT_EQ(c.Settings()->Get(true), tsioStatus::kSuccess);
  EXPECT_EQ(c.Settings()->GetYearEndingDate(), tsDate(2026, 6, 30));
  EXPECT_TRUE(c.Settings()->GetDetailedGLTsFromBK().Value());
  c.Settings()->Unlock();
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
