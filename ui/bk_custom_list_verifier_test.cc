// The control file's type lists: required entries added where a list has
// entries, and a control file that cannot be opened, read or written.
#include <gtest/gtest.h>

#include "framework/base/application.h"
#include "framework/control/control_file.h"
#include "framework/io/faults.h"
#include "framework/io/file_manager.h"
#include "tests/support/test_support.h"
#include "ui/bk_custom_list_verifier.h"

namespace {

class CustomLists : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(tsioFileManager(folder_).CreateCompany(), tsioStatus::kSuccess);
    TSGetApp()->SetCompanyFolder(folder_);
  }
  void TearDown() override {
    tsioFaults::Clear();
    TSGetApp()->SetCompanyFolder("");
  }

  void Put(short id, const std::string& text) {
    auto cf = tsControlFile::Open(folder_);
    ASSERT_NE(cf, nullptr);
    ASSERT_EQ(cf->PutCustomList(id, text), tsioStatus::kSuccess);
  }
  std::string Get(short id) {
    auto cf = tsControlFile::Open(folder_);
    std::string text = "unread";
    EXPECT_NE(cf, nullptr);
    if (cf) {
      EXPECT_EQ(cf->GetCustomList(id, &text), tsioStatus::kSuccess);
    }
    return text;
  }
  static std::vector<unsigned short> Numbers(const ccStatus<ccError::Level>& st) {
    std::vector<unsigned short> n;
    for (const auto& e : st.Errors()) n.push_back(e.Number());
    return n;
  }

  bktest::TempDir dir_;
  std::string folder_ = dir_.Sub("co");
};

TEST_F(CustomLists, RequiredEntriesAreAddedOnlyToListsThatHaveEntries) {
  Put(530, "Teller,Electronic");
  Put(531, "Cash Transfers,Wire");       // a longer entry holds "Cash Transfer"
  Put(532, "");                         // the user keeps no adjustment types
  bkCustomListVerifier v;
  auto st = v.Verify();
  EXPECT_EQ(st.MaxLevel(), ccError::kNone);
  EXPECT_TRUE(st.Errors().Empty());
  EXPECT_EQ(v.Handle(), 65535) << "closed after saving";
  EXPECT_EQ(Get(530), "Teller,Electronic,Cash Transfer");
  EXPECT_EQ(Get(531), "Cash Transfers,Wire,Electronic");
  EXPECT_EQ(Get(532), "");
  Put(532, "Bank Fee");
  EXPECT_EQ(bkCustomListVerifier().Verify().MaxLevel(), ccError::kNone);
  EXPECT_EQ(Get(532),
            "Bank Fee,NSF Check,NSF Charge,Miscellaneous,Cash Transfer,Monthly Interest,Overnight Interest");
  EXPECT_EQ(Get(530), "Teller,Electronic,Cash Transfer") << "a second run adds nothing";
}

TEST_F(CustomLists, AControlFileThatCannotBeOpenedGives1630AndNothingIsWritten) {
  Put(530, "Teller");
  TSGetApp()->SetCompanyFolder(dir_.Sub("not-a-company"));
  bkCustomListVerifier v;
  auto st = v.Verify();
  EXPECT_EQ(st.MaxLevel(), ccError::kError);
  EXPECT_EQ(Numbers(st), (std::vector<unsigned short>{1630}));
  TSGetApp()->SetCompanyFolder(folder_);
  EXPECT_EQ(Get(530), "Teller");
  tsioFaults::Arm(tsioOp::kOpen, tsioStatus::kIOError);
  st = bkCustomListVerifier().Verify();
  EXPECT_EQ(Numbers(st), (std::vector<unsigned short>{1630}));
  EXPECT_EQ(Get(530), "Teller");
}

TEST_F(CustomLists, AListThatCannotBeReadIsReportedAndNeverWritten) {
  Put(530, "Teller");
  Put(531, "Wire");
  // The first read of list 530 fails; the other lists are verified.
  tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kDamaged);
  auto st = bkCustomListVerifier().Verify();
  EXPECT_EQ(st.MaxLevel(), ccError::kError);
  EXPECT_EQ(Numbers(st), (std::vector<unsigned short>{1630}));
  EXPECT_EQ(Get(530), "Teller,Cash Transfer") << "read again for the next entry";
  EXPECT_EQ(Get(531), "Wire,Electronic,Cash Transfer");
  // Every read fails: nothing is written anywhere.
  Put(530, "Teller");
  tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kDamaged, 1, 1000);
  st = bkCustomListVerifier().Verify();
  tsioFaults::Clear();
  EXPECT_EQ(st.Errors().Size(), 11u) << "one per required entry";
  EXPECT_EQ(Get(530), "Teller");
}

TEST_F(CustomLists, AControlFileThatCannotBeWrittenGives1631AndIsClosed) {
  Put(530, "Teller");
  Put(531, "Wire");
  tsioFaults::Arm(tsioOp::kUpdate, tsioStatus::kDiskFull, 1, 100);
  bkCustomListVerifier v;
  auto st = v.Verify();
  tsioFaults::Clear();
  EXPECT_EQ(Numbers(st), (std::vector<unsigned short>{1631}));
  EXPECT_EQ(st.MaxLevel(), ccError::kError);
  EXPECT_EQ(v.Handle(), 65535);
  EXPECT_EQ(Get(530), "Teller");
  EXPECT_EQ(Get(531), "Wire");
}

}  // namespace
