// The binding with the general-ledger module loaded: factory resolution and
// its codes, objects that refuse an interface, entry points that forward.
#include <gtest/gtest.h>

#include <cstring>

#include "framework/module/module_registry.h"
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

TEST_F(GLBinding, ResolvesTheFiveFactoriesTheLibraryUses) {
  const struct {
    const glwFactoryBinding* binding;
    const tspoInterfaceID* id;
  } used[] = {{&kGLNewAccountBuilder, &kIID_glAccountBuilder},
              {&kGLNewFiscalEntity, &kIID_glFiscalEntity},
              {&kGLNewICBaseAccountValidator, &kIID_glICBaseAccountValidator},
              {&kGLNewGLMHeader, &kIID_glGLMHeader},
              {&kGLNewAccountLister, &kIID_glAccountLister}};
  for (const auto& u : used) {
    void* out = nullptr;
    ASSERT_EQ(glwResolveFactory(*u.binding, *u.id, &out), kGLWFactoryOK) << u.binding->factory;
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(gltest::LiveObjects(), 1);
    // The interface is the object: asking it for its base gives the object.
    auto* itf = static_cast<glObject*>(nullptr);
    if (u.id == &kIID_glAccountBuilder) itf = static_cast<glAccountBuilder*>(out);
    if (u.id == &kIID_glFiscalEntity) itf = static_cast<glFiscalEntity*>(out);
    if (u.id == &kIID_glICBaseAccountValidator) itf = static_cast<glICBaseAccountValidator*>(out);
    if (u.id == &kIID_glGLMHeader) itf = static_cast<glGLMHeader*>(out);
    if (u.id == &kIID_glAccountLister) itf = static_cast<glAccountLister*>(out);
    void* base = nullptr;
    EXPECT_TRUE(itf->QueryInterface(kIID_glObject, &base));
    // Another object's interface is refused.
    void* other = reinterpret_cast<void*>(0x1);
    const tspoInterfaceID* wrong = u.id == &kIID_glAccountLister ? &kIID_glGLMHeader : &kIID_glAccountLister;
    EXPECT_FALSE(itf->QueryInterface(*wrong, &other));
    EXPECT_EQ(other, nullptr);
    itf->Release();
    EXPECT_EQ(gltest::LiveObjects(), 0);
  }
}

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
    if (out && c.id == &kIID_glAccountBuilder) static_cast<glAccountBuilder*>(out)->Release();
    if (out && c.id == &kIID_glObject) static_cast<glObject*>(out)->Release();
    EXPECT_EQ(gltest::LiveObjects(), 0) << c.what;
  }
}

TEST_F(GLBinding, RefusedInterfaceLeavesNoObjectAlive) {
  gltest::RefuseInterfaces(true);
  for (const glwFactoryBinding* b : {&kGLNewAccountBuilder, &kGLNewFiscalEntity, &kGLNewGLMHeader}) {
    glwInterface<glAccountBuilder> itf(*b, kIID_glAccountBuilder);
    EXPECT_FALSE(itf);
    EXPECT_EQ(itf.Code(), kGLWInterfaceRefused) << b->factory;
    EXPECT_EQ(gltest::LiveObjects(), 0) << b->factory;
  }
  // The base interface is handed out without asking the object.
  glwInterface<glObject> base(kGLNewAccountBuilder, kIID_glObject);
  EXPECT_EQ(base.Code(), kGLWFactoryOK);
  EXPECT_EQ(gltest::LiveObjects(), 1);
}

TEST_F(GLBinding, FactoryWithoutObject) {
  gltest::FailFactories(true);
  glwInterface<glAccountBuilder> itf(kGLNewAccountBuilder, kIID_glAccountBuilder);
  EXPECT_FALSE(itf);
  EXPECT_EQ(itf.Code(), kGLWNoObject);
}

TEST_F(GLBinding, HolderReleasesOnEveryPath) {
  {
    glwInterface<glFiscalEntity> a(kGLNewFiscalEntity, kIID_glFiscalEntity);
    glwInterface<glAccountLister> b(kGLNewAccountLister, kIID_glAccountLister);
    EXPECT_TRUE(a && b);
    EXPECT_EQ(gltest::LiveObjects(), 2);
  }
  EXPECT_EQ(gltest::LiveObjects(), 0);
}

TEST_F(GLBinding, EntryPointsForwardToTheModule) {
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
  EXPECT_EQ(glw::GL_VALID_SECTION(request, 7, 0, 0, "1000100", 0, &word), kGLValid);

  auto calls = reinterpret_cast<int (*)(short*)>(xdll_get_function(xdll_dll_loaded("LEDGERCORE"),
                                                                  "gl_pst_rd_file_calls"));
  ASSERT_NE(calls, nullptr);
  const int before = calls(nullptr);
  glwPostReadFile(7, -2, 331);
  short args[3] = {};
  EXPECT_EQ(calls(args), before + 1);
  EXPECT_EQ(args[0], 7);
  EXPECT_EQ(args[1], -2);
  EXPECT_EQ(args[2], 331);

  // Functions the module does not offer yet keep their not-found values.
  unsigned char block[kGLUpdateBlockSize] = {};
  EXPECT_EQ(glw::GL_INIT_UPDATE(block), 1);
  EXPECT_EQ(glw::GL_PROCESS_TRANSACTION(block), 0);
}

}  // namespace
