// The general-ledger functions in a process where the general-ledger module
// is not loaded: the fixed answers of every entry point, the factory codes,
// the unavailable-ledger report, a module loaded after a failed first call
// (in a child process, so this process never loads it), and posting
// without the "BK" to "GL" interface, where the fixed answers stand.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include "framework/module/module_registry.h"
#include "ledger/gl_accounts.h"
#include "ledger/gl_posting_test_support.h"
#include "ledger/gl_test_support.h"
#include "tests/support/status_text.h"

namespace {

class GLAbsent : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(xdll_dll_loaded("LEDGERCORE"), 0) << "this program never loads the module"; }
};

TEST_F(GLAbsent, EntryPointsReturnTheirNotFoundValues) {
  unsigned char block[kGLUpdateBlockSize] = {};
  int32_t word = 0;
  double amount = 0;
  // Every entry point with a result, in a fixed order (that a failed lookup
  // stores nothing is the late-loaded module's case below).
  const std::vector<long> answers = {glw::GL_INIT_UPDATE(block),
                                     glw::GL_UPDATE(block),
                                     glw::GL_PROCESS_TRANSACTION(block),
                                     glw::GL_REMOVE_TRANSACTION(block),
                                     glw::GL_FISCAL_ENTITY_AT_COMPANY(1),
                                     static_cast<long>(glw::GL_GET_ACTIVITY(1, "1000", 2025, 3, 1)),
                                     glw::GL_GET_BUDGET(1, "1000", 2025, 3, &amount),
                                     glw::GL_LIST_ACCOUNTS(1, block),
                                     glw::GL_LIST_ACCOUNTS_BOTH_VIEWS(1, block),
                                     glw::GL_LIST_JOURNALS(1, block),
                                     glw::GL_LIST_SECTIONS(1, 7, block),
                                     glw::GL_OPEN_MASTER_FILE(0),
                                     glw::GL_RD_HEADER(1, block),
                                     glw::GL_START_TRANSACTION_FOR_RECAP(block),
                                     glw::GL_VALID_ACCOUNT(block, 0, 0, "1000100", 0, 0, &word),
                                     glw::GL_VALID_JOURNAL(block, 1, &word),
                                     glw::GL_VALID_SECTION(block, 7, 0, 0, "1000100", 0, &word),
                                     glw::GLM_NUM()};
  const std::vector<long> not_found = {1, 1, 0, 0, 1, 0, 1, 1, 1, 1, 1, 0, 0, 1, 1, 1, 1, 0};
  EXPECT_EQ(answers, not_found);
  // The functions without a result do nothing, and leave the block alone.
  glw::GL_TERM_UPDATE(block);
  glw::GL_PRINT_ACCT_RECAP(block, block);
  glw::GL_COMMIT_TRANSACTION_FOR_RECAP(block);
  glw::GL_ROLLBACK_TRANSACTION_FOR_RECAP(block);
  glw::GL_FREE_RECAP_INFO(block);
  glw::GL_PST_RD_FILE(1, 2, 3);
  glwPostReadFile(4, 5, 6);
  for (unsigned char b : block) ASSERT_EQ(b, 0);

  // Every factory, whatever the lookup mode, reports the module not loaded.
  const glwFactoryBinding os_lookup{1, "LEDGERCORE", "_gl_new_account_builder"};
  std::vector<const glwFactoryBinding*> bindings(std::begin(kGLFactoryBindings), std::end(kGLFactoryBindings));
  bindings.push_back(&os_lookup);
  for (const glwFactoryBinding* b : bindings) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(glwResolveFactory(*b, kIID_glObject, &out), kGLWModuleNotLoaded) << b->factory;
    EXPECT_EQ(out, nullptr);
  }
}

// The validations, which call the module's functions rather than objects,
// refuse without a word to the user (the functions that need objects answer
// as when their objects cannot be obtained: the module-loaded tests). Without
// prefixes a blank base still needs the general ledger.
TEST_F(GLAbsent, FunctionsThatNeedTheLedgerAnswerWithoutIt) {
  gltest::LedgerCompany company(true);
  const std::string script = R"(valid 01011000100 -> refused
section 1000 0 file0 quiet -> refused
section 1000 7 file0 quiet -> refused
)";
  EXPECT_EQ(gltest::Ask(company, script), script);
  gltest::LedgerCompany plain(false);
  tsAlpha ic;
  EXPECT_EQ(gltest::Answer(glwBuildIntercompanyAccount(nullptr, tsAlpha("1000100"), tsAlpha(""), tsAlpha("1000100"),
                                                       kGLICDueTo, ic)),
            "unavailable");
}

// A module loaded after a failed first call is found by the next call: the
// function slots and the factories look again. Runs in a child so that this
// process keeps the module absent.
TEST_F(GLAbsent, ModuleLoadedAfterAFailedCallIsFoundNext) {
  gltest::LedgerCompany company(true);
  company.Add("GPPFX=0101 GBBASE=1000100 GAACCT=01011000100");
  // The child's answers before and after it loads the module, one line.
  auto child = bktest::ChildProcess::Start([&company]() -> int {
    const std::string script = "valid 01-01-1000-100\nbuild 0101 1000100\n";
    std::string said = gltest::Ask(company, script);
    said += std::to_string(gltest::LoadLedgerModule() != 0) + "\n";
    said += gltest::Ask(company, script);
    said += std::to_string(gltest::LiveObjects());
    std::replace(said.begin(), said.end(), '\n', '|');
    bktest::ChildProcess::WriteLine(said);
    return 0;
  });
  EXPECT_EQ(child.Receive(),
            "valid 01-01-1000-100 -> refused|build 0101 1000100 -> [] 4 unavailable|1|"
            "valid 01-01-1000-100 -> ok|build 0101 1000100 -> [01011000100] 0 0|0");
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(xdll_dll_loaded("LEDGERCORE"), 0);
}

// A write error's level follows its status (the 1603 of a run counter that
// cannot be written is checked where the creator meets it).
TEST(GLMessages, WriteErrors) {
  using S = tsioStatus;
  for (auto [status, level] : {std::pair{S::kNotFound, ccError::kError},
                               {S::kLocked, ccError::kError},
                               {S::kDamaged, ccError::kFatal},
                               {S::kDiskFull, ccError::kFatal}}) {
    const auto st = glwGLTranWriteError(nullptr, status);
    EXPECT_EQ(bktest::Said(st, false), std::to_string(status) + " | 1604/" + std::to_string(level));
    EXPECT_NE(bktest::Said(st).find(ccIOStatusStr(status)), std::string::npos) << bktest::Said(st);
  }
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
