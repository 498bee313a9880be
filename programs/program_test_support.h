// For the tests of programs, settings and run numbers: a company folder with
// the module's current transaction file and master file (either may be left
// out), set as the application's company folder for the life of the object.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "framework/base/application.h"
#include "framework/io/file_manager.h"
#include "framework/io/header.h"
#include "framework/types/values.h"
#include "records/files.h"
#include "tests/support/test_support.h"

namespace bktest {

struct ModuleCompany {
  TempDir dir;
  std::string folder = dir.Sub("company");

  explicit ModuleCompany(bool with_bkt = true, bool with_bkm = true) {
    tsioFileManager fm(folder);
    EXPECT_EQ(fm.CreateCompany(), tsioStatus::kSuccess);
    EXPECT_TRUE(!with_bkt || fm.Create(BKTFileSpec) == tsioStatus::kSuccess);
    EXPECT_TRUE(!with_bkm || fm.Create(BKMFileSpec) == tsioStatus::kSuccess);
    TSGetApp()->SetCompanyFolder(folder);
  }
  ~ModuleCompany() { TSGetApp()->SetCompanyFolder(""); }

  // Reads (or, with `set`, writes) one numeric column of header 1 of the
  // transaction file through a handle of its own.
  long long RunCounter(const char* column, long long set = -1) const {
    tsioFileManager fm(folder);
    tsioDataFile* f = nullptr;
    EXPECT_EQ(fm.Open(BKTFileSpec, &f), tsioStatus::kSuccess);
    tsioHeader h(*f, 1);
    tsDouble v;
    EXPECT_EQ(h.AttachColumn(column, v), tsioStatus::kSuccess);
    EXPECT_EQ(h.Get(false), tsioStatus::kSuccess);
    if (set >= 0) {
      v = tsDouble(set);
      EXPECT_EQ(h.Update(), tsioStatus::kSuccess);
    }
    return v.ToLongLong();
  }
};

// Sets the application's unattended mode for a scope.
struct UnattendedScope {
  explicit UnattendedScope(bool on) : before(TSGetApp()->IsUnattended()) { TSGetApp()->SetUnattended(on); }
  ~UnattendedScope() { TSGetApp()->SetUnattended(before); }
  bool before;
};

}  // namespace bktest
