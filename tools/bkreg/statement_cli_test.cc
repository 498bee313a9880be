// `bkreg statement import` and `reconcile finish|undo` as people and scripts
// run them: the real program on a real company folder, its exit statuses
// and words; the account number set through `bank add|edit`; another real
// bkreg holding the edit-register lock.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "statements/statements_test_support.h"
#include "tests/support/test_support.h"
#include "tools/bkreg/bkreg_test_support.h"

namespace {

using bkregtest::Bk;
using bkregtest::Result;
using bkregtest::Says;

TEST(StatementCli, AccountNumberEndlessFilesAndMappings) {
  bktest::TempDir dir;
  const std::string co = dir.Sub("co");
  ASSERT_TRUE(bkregtest::Prepare(co, {"init", "bank add B1 --balance 900.00"}));
  const std::string ofx = dir.path() + "/march.ofx";
  sttest::WriteFile(ofx, sttest::OfxText({sttest::SampleLines()[7]}, tsDate(2025, 3, 1), tsDate(2025, 3, 31), "887.50"));
  // No number recorded: refused with how to record it.
  Result r = Bk(co, "statement import B1 '" + ofx + "'");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(r.Has("bkreg bank edit B1 --account-number 456")) << r.out;
  EXPECT_EQ(Bk(co, "bank edit B1 --account-number 457").status, 0);
  r = Bk(co, "statement import B1 '" + ofx + "'");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(r.Has("the statement is of account '456', not of bank account 'B1'")) << r.out;
  EXPECT_EQ(Bk(co, "bank edit B1 --account-number '45\x1b[6'").status, 1) << "text rules";
  ASSERT_EQ(Bk(co, "bank add B2 --account-number 456").status, 0);
  r = Bk(co, "statement import B2 '" + ofx + "' --enter-unknown");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(r.Has("1 entered")) << r.out;
  // Files that never end or are no file, and mappings out of range: refused
  // (an uncaught exception aborted the program on a column number too large).
  const std::vector<std::string> refused = {
      "statement import B2 /dev/zero --format ofx",
      "statement import B2 /dev/zero --format csv --mapping 'date=1;amount=2'",
      "statement import B2 '" + dir.path() + "' --format ofx",
      "statement import B2 '" + ofx + "' --format csv --mapping 'date=99999999999;amount=2'"};
  for (const std::string& args : refused) {
    r = Bk(co, args);
    EXPECT_EQ(r.status, 1) << args << "\n" << r.out;
    EXPECT_TRUE(r.Has("nothing was changed")) << args << "\n" << r.out;
  }
}

// While another bkreg holds the edit-register lock, import, finish and
// undo answer 3 (they used to go ahead with 0), as clear does.
TEST(StatementCli, TheEditRegisterLockStopsThem) {
  bktest::TempDir dir;
  const std::string co = dir.Sub("co");
  ASSERT_TRUE(bkregtest::Prepare(co, {"init", "bank add B1 --balance 900.00 --account-number 456"}));
  const std::string ofx = dir.path() + "/march.ofx";
  sttest::WriteFile(ofx, sttest::OfxText({}, tsDate(2025, 3, 1), tsDate(2025, 3, 31), "900.00"));
  const std::string cmd = bkregtest::Program() + " --company '" + co + "' lock --bank B1 >/dev/null";
  FILE* holder = popen(cmd.c_str(), "w");
  ASSERT_NE(holder, nullptr);
  const Result locked = bkregtest::Until(co, "locked B1", 3);
  ASSERT_EQ(locked.status, 3) << locked.out;
  for (const std::string& args : {"statement import B1 '" + ofx + "'",
                                  std::string("reconcile finish B1 --date 2025-03-31 --ending 900.00"),
                                  std::string("reconcile undo B1")}) {
    EXPECT_TRUE(Says(co, args, 3, {"being edited by another program"}));
  }
  fputs("\n", holder);
  pclose(holder);
  EXPECT_EQ(Bk(co, "statement import B1 '" + ofx + "'").status, 0);
  EXPECT_EQ(Bk(co, "reconcile finish B1").status, 0);
  EXPECT_EQ(Bk(co, "reconcile undo B1").status, 0);
}

}  // namespace
