// Test data files for the data-file layer's own tests.
#include "framework/io/io_test_support.h"

#include <gtest/gtest.h>

#include "framework/base/application.h"

namespace iotest {

namespace {
tsioFileDef Def(const char* code, short id) {
  const tsioRecordDef parent{1, "parent",
                             {{"K1", tsDataType::kAlpha, 10, 0, 0},
                              {"K2", tsDataType::kDouble, 9, 0, 0},
                              {"V", tsDataType::kAlpha, 20, 0, 0},
                              {"N", tsDataType::kDouble, 12, 2, 0},
                              {"C", tsDataType::kChoice, 4, 0, 1}},
                             {{0, {"K1", "K2"}, true}, {1, {"N"}, false}, {2, {"V"}, false}},
                             /*notes=*/true, /*file_links=*/true};
  const tsioRecordDef child{2, "child",
                            {{"P1", tsDataType::kAlpha, 10, 0, 0},
                             {"P2", tsDataType::kDouble, 9, 0, 0},
                             {"LINE", tsDataType::kDouble, 9, 0, 0},
                             {"AMT", tsDataType::kCurrency, 15, 2, 0}},
                            {{0, {"P1", "P2", "LINE"}, true}}, false, false};
  const tsioHeaderDef header{1, {{"COUNTER", tsDataType::kDouble, 9, 0, 0}, {"NAME", tsDataType::kAlpha, 20, 0, 0}}};
  return tsioFileDef{code, id, "test file", false, {parent, child}, {header}, {}};
}
}  // namespace

void RegisterTestFiles() {
  static bool done = false;
  if (done) return;
  done = true;
  tsioDictionary::Register(Def("TST", 9001));
  tsioDictionary::Register(Def("TSU", 9002));
}

tsioFileSpec Spec(short instance) { return tsioFileSpec("TST", instance, 9001); }
tsioFileSpec OtherSpec() { return tsioFileSpec("TSU", 1, 9002); }

std::string MakeCompany(const std::string& folder) {
  RegisterTestFiles();
  tsioFileManager fm(folder);
  EXPECT_EQ(fm.CreateCompany(), tsioStatus::kSuccess);
  EXPECT_EQ(fm.Create(Spec(1)), tsioStatus::kSuccess);
  EXPECT_EQ(fm.Create(Spec(2)), tsioStatus::kSuccess);
  EXPECT_EQ(fm.Create(OtherSpec()), tsioStatus::kSuccess);
  return folder;
}

Opened::Opened(const std::string& folder, bool as_application_company) : fm(folder) {
  if (as_application_company) TSGetApp()->SetCompanyFolder(folder);
  EXPECT_EQ(fm.Open(Spec(), &file), tsioStatus::kSuccess);
}

int CountRows(tsioDataFile& f, short rt) {
  Parent p;
  Child ch;
  ccCursor c(rt == 1 ? static_cast<ccRecData&>(p) : static_cast<ccRecData&>(ch), f, rt, 0);
  int n = 0;
  for (auto st = c.FetchFirst(); st == tsioStatus::kSuccess; st = c.FetchNext()) ++n;
  return n;
}

Counter::Counter(tsioDataFile& f) : header(f, 1) {
  EXPECT_EQ(header.AttachColumn("COUNTER", value), tsioStatus::kSuccess);
}

}  // namespace iotest
