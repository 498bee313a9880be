// Posting without the general-ledger module: while the "BK" to "GL"
// interface is active nothing reports success; without the interface the
// functions' fixed answers stand.
#include <gtest/gtest.h>

#include "framework/module/module_registry.h"
#include "ledger/gl_post_launcher.h"
#include "ledger/gl_posting_test_support.h"
#include "ledger/gl_tran_creator.h"

namespace {

using posttest::GlPostingCompany;
using posttest::MakeTransaction;

ccStatus<tsioStatus::Status> AccumulateAndProcess(GlPostingCompany& company, glwTranCreator& creator) {
  posttest::Accumulate(creator, company.Program(), MakeTransaction(2, "10", "Dep", "D", false));
  posttest::Expect(creator.RollTrans(kTranLevelEverything, kBKIncludeAll));
  EXPECT_EQ(creator.StackSize(), 2u);
  return creator.ProcessTrans();
}

TEST(GLPostingAbsent, WithTheInterfaceActiveNothingReportsSuccess) {
  ASSERT_EQ(xdll_dll_loaded("LEDGERCORE"), 0);
  GlPostingCompany company;
  company.SetInterface(true);
  glwTranCreator creator(company.Program(), true, nullptr);
  ASSERT_EQ(creator.SetRunNumber(company.Program()).Value(), kBoolSuccess);
  posttest::ExpectPostingRefused(company, creator, AccumulateAndProcess(company, creator));
}

TEST(GLPostingAbsent, WithoutTheInterfaceTheFixedAnswersStand) {
  GlPostingCompany company;
  company.SetInterface(false);
  glwTranCreator creator(company.Program(), true, nullptr);
  ccStatus<tsioStatus::Status> st = AccumulateAndProcess(company, creator);
  EXPECT_EQ(st.Value(), tsioStatus::kSuccess);
  EXPECT_TRUE(st.Errors().Empty());
  EXPECT_EQ(creator.StackSize(), 0u);
  glwPostLauncher launcher(company.Program());
  EXPECT_EQ(launcher.OpenFiles(company.Program()), kBoolSuccess) << "GL_INIT_UPDATE's 1";
  EXPECT_EQ(launcher.Post(0).Value(), kBoolSuccess) << "GL_UPDATE's 1";
  launcher.CloseFiles();
}

}  // namespace
