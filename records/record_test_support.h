// For the record-layer tests: a company (a temporary folder, or a database
// on the PostgreSQL test server, see bktest::TestCompany) with the module's
// files (BKM, BKT current and history, BKZ) created and open.
#pragma once

#include <gtest/gtest.h>

#include "framework/io/file_manager.h"
#include "records/files.h"
#include "tests/support/test_support.h"

namespace bktest {

struct BankCompany {
  TestCompany dir{"company"};
  tsioFileManager fm{dir.path()};
  tsioDataFile* bkm = nullptr;
  tsioDataFile* bkt = nullptr;
  tsioDataFile* history = nullptr;
  tsioDataFile* bkz = nullptr;

  BankCompany() {
    EXPECT_EQ(fm.CreateCompany(), tsioStatus::kSuccess);
    Open(BKMFileSpec, &bkm);
    Open(BKTFileSpec, &bkt);
    Open(BKTHistoryFileSpec, &history);
    Open(BKZFileSpec, &bkz);
  }

  void Open(const tsioFileSpec& spec, tsioDataFile** out) {
    EXPECT_EQ(fm.Create(spec), tsioStatus::kSuccess) << spec.Name();
    EXPECT_EQ(fm.Open(spec, out), tsioStatus::kSuccess) << spec.Name();
  }
};

}  // namespace bktest
