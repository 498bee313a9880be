// The module registry and functions by application name, over the real
// general-ledger module of the build tree.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>

#include "framework/module/function_address.h"
#include "framework/module/module_registry.h"
#include "tests/support/test_support.h"

namespace {

// One test, in order: what is seen before the module is loaded must be
// checked before anything loads it.
TEST(ModuleRegistry, LifeOfAModule) {
  EXPECT_EQ(xdll_file_name("LEDGERCORE"), "libLEDGERCORE.so");
  EXPECT_EQ(xdll_dll_loaded("LEDGERCORE"), 0);
  EXPECT_FALSE(tsLoadedModule::Find("LEDGERCORE"));
  EXPECT_EQ(zd_function_address("GL", "GL_VALID_ACCOUNT"), nullptr);
  EXPECT_EQ(xdll_dll_loaded("LEDGERCORE"), 0) << "looking never loads";

  // A module loaded by other means than the registry (here the dynamic
  // loader itself, in a child) is found by name.
  auto child = bktest::ChildProcess::Start([]() -> int {
    const std::string path = bktest::BinaryDir() + "/modules/" + xdll_file_name("LEDGERCORE");
    void* direct = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const bool ok = direct != nullptr && xdll_dll_loaded("LEDGERCORE") != 0 &&
                    zd_function_address("GL", "GL_VALID_ACCOUNT") == dlsym(direct, "GL_VALID_ACCOUNT");
    bktest::ChildProcess::WriteLine(ok ? "found" : "not found");
    return 0;
  });
  EXPECT_EQ(child.Receive(), "found");
  EXPECT_EQ(child.Wait(), 0);

  // A folder without the module on the module path does not hide the
  // build tree's modules folder.
  bktest::TempDir empty;
  setenv("BK_MODULE_PATH", empty.path().c_str(), 1);
  const unsigned short h = xdll_load("LEDGERCORE");
  unsetenv("BK_MODULE_PATH");
  ASSERT_NE(h, 0);
  EXPECT_EQ(xdll_load("LEDGERCORE"), h) << "loading twice gives the same handle";
  EXPECT_EQ(xdll_dll_loaded("LEDGERCORE"), h);

  void* f = xdll_get_function(h, "GL_VALID_ACCOUNT");
  EXPECT_NE(f, nullptr);
  EXPECT_NE(xdll_get_function(h, "_gl_new_account_builder"), nullptr);
  EXPECT_EQ(xdll_get_function(h, "GL_NO_SUCH_FUNCTION"), nullptr);
  EXPECT_EQ(xdll_get_function(0, "GL_VALID_ACCOUNT"), nullptr);
  EXPECT_EQ(xdll_get_function(static_cast<unsigned short>(h + 100), "GL_VALID_ACCOUNT"), nullptr);

  EXPECT_EQ(zd_function_address("GL", "GL_VALID_ACCOUNT"), f);
  EXPECT_EQ(zd_function_address("GL", "GL_NO_SUCH_FUNCTION"), nullptr);
  EXPECT_EQ(zd_function_address("XY", "GL_VALID_ACCOUNT"), nullptr);
  zd_register_application("XY", "LEDGERCORE");
  EXPECT_EQ(zd_application_module("XY"), "LEDGERCORE");
  EXPECT_EQ(zd_function_address("XY", "GL_VALID_ACCOUNT"), f);

  // The operating system's view: the loaded module by name, its functions.
  tsLoadedModule os = tsLoadedModule::Find("LEDGERCORE");
  ASSERT_TRUE(os);
  EXPECT_EQ(os.Function("GL_VALID_ACCOUNT"), f);
  tsLoadedModule moved = std::move(os);
  EXPECT_FALSE(os);
  EXPECT_EQ(moved.Function("GL_VALID_ACCOUNT"), f);
}

TEST(ModuleRegistry, UnknownModules) {
  EXPECT_EQ(xdll_load("NOSUCHMODULE"), 0);
  EXPECT_EQ(xdll_load(""), 0);
  EXPECT_EQ(xdll_dll_loaded("NOSUCHMODULE"), 0);
  EXPECT_FALSE(tsLoadedModule::Find("NOSUCHMODULE"));
  EXPECT_EQ(zd_application_module("ZZ"), "");
}

}  // namespace
