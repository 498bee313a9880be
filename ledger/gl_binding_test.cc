// The binding with the general-ledger module loaded: factory resolution and
// its codes (an object refusing the interface leaves nothing alive), entry
// points offered or not.
#include <gtest/gtest.h>

#include <cstring>

#include "ledger/gl_binding.h"
#include "ledger/gl_test_support.h"

namespace {

class GLBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(gltest::LoadLedgerModule(), 0);
    ASSERT_EQ(gltest::LiveObjects(), 0);
  }
  void TearDown() override {
    gltest::RefuseInterfaces(false);
    gltest::FailFactories(false);
    EXPECT_EQ(gltest::LiveObjects(), 0) << "a general-ledger object was left alive";
  }
};

TEST_F(GLBinding, FactoryCodes) {
  const glwFactoryBinding unknown_module{0, "NOSUCHMODULE", "_gl_new_account_builder"};
  const glwFactoryBinding os_lookup{1, "LEDGERCORE", "_gl_new_account_builder"};
  const glwFactoryBinding os_unknown{1, "NOSUCHMODULE", "_gl_new_account_builder"};
  const struct {
    const char* what;
    const glwFactoryBinding* binding;
    const tspoInterfaceID* id;
    glwFactoryCode code;
  } cases[] = {
      {"account builder", &kGLNewAccountBuilder, &kIID_glAccountBuilder, kGLWFactoryOK},
      {"fiscal entity", &kGLNewFiscalEntity, &kIID_glFiscalEntity, kGLWFactoryOK},
      {"intercompany base validator", &kGLNewICBaseAccountValidator, &kIID_glICBaseAccountValidator, kGLWFactoryOK},
      {"GLM header", &kGLNewGLMHeader, &kIID_glGLMHeader, kGLWFactoryOK},
      {"account lister", &kGLNewAccountLister, &kIID_glAccountLister, kGLWFactoryOK},
      {"the base interface is the object itself", &kGLNewFiscalEntity, &kIID_glObject, kGLWFactoryOK},
      {"mode 1 finds the loaded module", &os_lookup, &kIID_glAccountBuilder, kGLWFactoryOK},
      {"module not loaded", &unknown_module, &kIID_glAccountBuilder, kGLWModuleNotLoaded},
      {"mode 1, module not loaded", &os_unknown, &kIID_glAccountBuilder, kGLWModuleNotLoaded},
      {"factory the module does not offer", &kGLNewJournalCursor, &kIID_glObject, kGLWNoSuchFactory},
      {"object without that interface", &kGLNewAccountLister, &kIID_glFiscalEntity, kGLWInterfaceRefused},
  };
  for (const auto& c : cases) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(glwResolveFactory(*c.binding, *c.id, &out), c.code) << c.what;
    EXPECT_EQ(out != nullptr, c.code == kGLWFactoryOK) << c.what;
    EXPECT_EQ(gltest::LiveObjects(), out ? 1 : 0) << c.what;
    // Every interface the library uses derives from the base interface.
    if (out) static_cast<glObject*>(out)->Release();
    EXPECT_EQ(gltest::LiveObjects(), 0) << c.what;
  }
}

TEST_F(GLBinding, EntryPointsReachTheModule) {
  gltest::LedgerCompany company(false);
  company.AddBase("1000100");
  company.AddAccount("1000100");
  unsigned char request[kGLValidRequestSize] = {};
  const unsigned short glm = static_cast<unsigned short>(company.GlmNum());
  std::memcpy(request, &glm, sizeof glm);
  int32_t word = -1;
  EXPECT_EQ(glw::GL_VALID_ACCOUNT(request, 0, 0, "1000100", 0, 0, &word), kGLValid);
  EXPECT_EQ(word, 0);
  EXPECT_EQ(glw::GL_VALID_ACCOUNT(request, 0, 0, "9999999", 0, 0, &word), 0);
  EXPECT_EQ(word, 1);

  // The posting functions answer for themselves: the company's GLT tables
  // hold nothing to post (2), and an empty block names no ledger (1).
  unsigned char block[kGLUpdateBlockSize] = {};
  EXPECT_EQ(glw::GL_INIT_UPDATE(block), 2);
  EXPECT_EQ(glw::GL_PROCESS_TRANSACTION(block), 1);
}

}  // namespace
