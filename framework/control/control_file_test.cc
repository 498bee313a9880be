// The company's control file: custom lists through handles, the control
// definition, interfaces between applications and last-run counters.
#include <gtest/gtest.h>

#include <cstring>

#include "framework/base/application.h"
#include "framework/control/control_file.h"
#include "framework/control/interfaces.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/faults.h"
#include "framework/io/file_manager.h"
#include "tests/support/test_support.h"

namespace {

class ControlFile : public ::testing::Test {
 protected:
  void SetUp() override {
    tsioFileManager fm(dir_.path());
    ASSERT_EQ(fm.CreateCompany(), tsioStatus::kSuccess);
    TSGetApp()->SetCompanyFolder(dir_.path());
  }
  void TearDown() override {
    tsioFaults::Clear();
    TSGetApp()->SetCompanyFolder("");
  }
  bktest::TempDir dir_;
};

TEST_F(ControlFile, CustomListsAreWrittenByTheHandle) {
  const short h = xc_open_control_file(1);
  const short reader = xc_open_control_file(0);
  ASSERT_TRUE(h >= 0 && reader >= 0);
  EXPECT_EQ(xc_put_custom_list(h, 530, "Teller,Electronic"), 1);
  EXPECT_EQ(xc_get_custom_list(h, 530), "Teller,Electronic") << "the handle sees its own change";
  EXPECT_EQ(xc_get_custom_list(reader, 530), "") << "not written yet";
  EXPECT_EQ(xc_put_custom_list(reader, 530, "x"), 0) << "a reading handle changes nothing";
  EXPECT_EQ(xc_wr_control_file(h), 1);
  EXPECT_EQ(xc_get_custom_list(reader, 530), "Teller,Electronic");
  xc_cls_control_file(h);
  xc_cls_control_file(reader);
  EXPECT_EQ(xc_put_custom_list(h, 530, "x"), 0) << "closed handle";

  // A failed write keeps the change; an unwritten change is dropped with its handle.
  const short again = xc_open_control_file(1);
  ASSERT_GE(again, 0);
  EXPECT_EQ(xc_put_custom_list(again, 531, "Electronic"), 1);
  tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError);
  EXPECT_EQ(xc_wr_control_file(again), 0);
  EXPECT_EQ(xc_wr_control_file(again), 1);
  EXPECT_EQ(xc_put_custom_list(again, 532, "Miscellaneous"), 1);
  xc_cls_control_file(again);
  auto cf = tsControlFile::Open(dir_.path());
  ASSERT_NE(cf, nullptr);
  std::string kept, dropped = "?";
  EXPECT_EQ(cf->GetCustomList(531, &kept), tsioStatus::kSuccess);
  EXPECT_EQ(cf->GetCustomList(532, &dropped), tsioStatus::kSuccess);
  EXPECT_EQ(kept + "|" + dropped, "Electronic|");
}

TEST_F(ControlFile, ControlDefinitionCarriesTheAccountingMethod) {
  unsigned char block[kControlDefSize];
  short method = 0;
  auto cf = tsControlFile::Open(dir_.path());
  ASSERT_NE(cf, nullptr);
  EXPECT_EQ(cf->SetAccountingMethod(4), tsioStatus::kInvalidOperation);
  ASSERT_EQ(cf->SetAccountingMethod(2), tsioStatus::kSuccess);
  ASSERT_EQ(cf->SetCompanyName("Acme"), tsioStatus::kSuccess);
  std::memset(block, 0xAB, sizeof block);
  EXPECT_EQ(xc_get_control_def(block), 1);
  std::memcpy(&method, block + kControlDefAccountingMethod, sizeof method);
  EXPECT_EQ(method, 2);
  EXPECT_STREQ(reinterpret_cast<const char*>(block + kControlDefCompanyName), "Acme");
  for (size_t i = 0; i < kControlDefSize; ++i) {
    if (i < 41 || (i >= kControlDefAccountingMethod && i < kControlDefAccountingMethod + 2)) continue;
    ASSERT_EQ(block[i], 0) << "byte " << i;
  }
}

TEST_F(ControlFile, InterfacesAreADirectedCompanySetting) {
  EXPECT_EQ(zc_interface_active("BK", "GL"), 0) << "never set";
  EXPECT_EQ(zc_set_interface_active("BK", "GL", true), 1);
  EXPECT_EQ(zc_interface_active("BK", "GL"), 1);
  EXPECT_EQ(zc_interface_active("GL", "BK"), 0) << "an interface has a direction";
  bktest::TempDir other;
  tsioFileManager fm(other.path());
  ASSERT_EQ(fm.CreateCompany(), tsioStatus::kSuccess);
  TSGetApp()->SetCompanyFolder(other.path());
  EXPECT_EQ(zc_interface_active("BK", "GL"), 0) << "another company";
  TSGetApp()->SetCompanyFolder(dir_.path());
  EXPECT_EQ(zc_set_interface_active("BK", "GL", false), 1);
  EXPECT_EQ(zc_interface_active("BK", "GL"), 0);
  for (const std::string& folder : {std::string(), dir_.path() + "/missing"}) {
    TSGetApp()->SetCompanyFolder(folder);  // no company: no handle, no interface
    EXPECT_EQ(xc_open_control_file(1), -1);
    EXPECT_EQ(zc_set_interface_active("BK", "GL", true), 0);
  }
}

TEST_F(ControlFile, LastRunCountersPerDataFile) {
  tsRegisterLedgerFiles();
  tsioFileManager fm(dir_.path());
  ASSERT_EQ(fm.Create(tsGLTFileSpec()), tsioStatus::kSuccess);
  ASSERT_EQ(fm.Create(tsGLTFileSpec2()), tsioStatus::kSuccess);
  tsioDataFile *glt = nullptr, *glt2 = nullptr;
  ASSERT_EQ(fm.Open(tsGLTFileSpec(), &glt), tsioStatus::kSuccess);
  ASSERT_EQ(fm.Open(tsGLTFileSpec2(), &glt2), tsioStatus::kSuccess);

  EXPECT_EQ(zc_increment_lastrun(7, glt->FileNum(), 1), 1);
  EXPECT_EQ(zc_increment_lastrun(7, glt->FileNum(), 6), 7);
  EXPECT_EQ(zc_increment_lastrun(7, glt2->FileNum(), 1), 1) << "each file counts its own runs";
  // A second handle on the same file shares the counter: it is the file's.
  tsioDataFile second(glt->FileName());
  EXPECT_EQ(zc_increment_lastrun(8, second.FileNum(), 1), 8);

  EXPECT_EQ(zc_increment_lastrun(7, 399, 1), 0) << "file not open";
  tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kLocked);
  EXPECT_EQ(zc_increment_lastrun(7, glt->FileNum(), 1), 0) << "counter held by another program";
  tsioFaults::Arm(tsioOp::kUpdate, tsioStatus::kDiskFull);
  EXPECT_EQ(zc_increment_lastrun(7, glt->FileNum(), 1), 0);
  EXPECT_EQ(zc_increment_lastrun(7, glt->FileNum(), 1), 9) << "failed increments took nothing";

  // Two programs taking a file's first run at once: this one found no
  // counter (the other's was not yet committed), and its insert meets the
  // other's record. It counts on from that record.
  tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kNotFound);
  EXPECT_EQ(zc_increment_lastrun(7, glt->FileNum(), 1), 10);
  EXPECT_EQ(zc_increment_lastrun(7, glt->FileNum(), 1), 11);
}

}  // namespace
