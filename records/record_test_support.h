// For the record-layer tests: a company in a temporary folder with the
// module's files (BKM, BKT current and history, BKZ) created and open.
#pragma once

#include <gtest/gtest.h>

#include "framework/io/file_manager.h"
#include "records/files.h"
#include "tests/support/test_support.h"

namespace bktest {

struct BankCompany {
  TempDir dir;
  tsioFileManager fm{dir.Sub("company")};
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
