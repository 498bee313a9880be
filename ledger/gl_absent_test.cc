// The general-ledger functions in a process where the general-ledger module
// is not loaded: the validations' answers, the unavailable-ledger report, a
// module loaded after a failed first call (in a child process, so this
// process never loads it), and posting without the "BK" to "GL" interface,
// where the entry points' fixed answers stand.
#include <gtest/gtest.h>

#include <algorithm>

#include "framework/module/module_registry.h"
#include "ledger/gl_posting_test_support.h"
#include "ledger/gl_test_support.h"
#include "tests/support/status_text.h"

namespace {

class GLAbsent : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(xdll_dll_loaded("LEDGERCORE"), 0) << "this program never loads the module"; }
};

// The validations, which call the module's functions rather than objects,
// refuse without a word to the user, and the functions that need objects
// answer that the general ledger is unavailable (as when their objects
// cannot be obtained: the module-loaded tests). A module loaded after such a
// failed call is found by the next call: the function slots and the
// factories look again. Runs in a child so that this process keeps the
// module absent.
TEST_F(GLAbsent, ModuleLoadedAfterAFailedCallIsFoundNext) {
  gltest::LedgerCompany company(true);
  company.Add("GPPFX=0101 GBBASE=1000100 GAACCT=01011000100");
  // The child's answers before and after it loads the module, one line.
  auto child = bktest::ChildProcess::Start([&company]() -> int {
    const std::string script = "valid 01-01-1000-100\nsection 1000100 7 file0 quiet\nbuild 0101 1000100\n";
    std::string said = gltest::Ask(company, script);
    said += std::to_string(gltest::LoadLedgerModule() != 0) + "\n";
    said += gltest::Ask(company, script);
    said += std::to_string(gltest::LiveObjects());
    std::replace(said.begin(), said.end(), '\n', '|');
    bktest::ChildProcess::WriteLine(said);
    return 0;
  });
  EXPECT_EQ(child.Receive(),
            "valid 01-01-1000-100 -> refused|section 1000100 7 file0 quiet -> refused|"
            "build 0101 1000100 -> [] 4 unavailable|1|valid 01-01-1000-100 -> ok|"
            "section 1000100 7 file0 quiet -> ok|build 0101 1000100 -> [01011000100] 0 0|0");
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(xdll_dll_loaded("LEDGERCORE"), 0);
}

// Posting without the "BK" to "GL" interface: the fixed answers stand and
// processing and posting report success (GL_INIT_UPDATE's and GL_UPDATE's
// 1 are success). While the interface is active nothing may report success;
// a general ledger whose objects cannot be obtained is that case, run with
// the module loaded (the posting tests), and fails on the same checks.
TEST_F(GLAbsent, PostingWithoutTheInterfaceReportsSuccess) {
  posttest::GlPostingCompany company;
  company.SetInterface(false);
  glwTranCreator creator(company.Program(), true, nullptr);
  posttest::Accumulate(creator, company.Program(), posttest::MakeTransaction(2, "10", "Dep", "D", false));
  posttest::Expect(creator.RollTrans(kTranLevelEverything, kBKIncludeAll));
  EXPECT_EQ(creator.StackSize(), 2u);
  posttest::Expect(creator.ProcessTrans());
  EXPECT_EQ(creator.StackSize(), 0u);
  glwPostLauncher launcher(company.Program());
  EXPECT_EQ(launcher.OpenFiles(company.Program()), kBoolSuccess);
  EXPECT_EQ(launcher.Post(0).Value(), kBoolSuccess);
  launcher.CloseFiles();
}

}  // namespace
