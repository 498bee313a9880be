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
  // The three type lists, one "id: entries" line each.
  std::string Lists() {
    auto cf = tsControlFile::Open(folder_);
    std::string all;
    for (short id : {530, 531, 532}) {
      std::string text = "unread";
      EXPECT_TRUE(cf && cf->GetCustomList(id, &text) == tsioStatus::kSuccess) << id;
      all += std::to_string(id) + ": " + text + "\n";
    }
    return all;
  }
  // One run of the verifier: "level: message numbers", and whether it left
  // the control file open.
  static std::string Verify() {
    bkCustomListVerifier v;
    const auto st = v.Verify();
    std::string said = std::to_string(st.MaxLevel()) + ":";
    for (const auto& e : st.Errors()) said += " " + std::to_string(e.Number());
    return said + (v.Handle() == 65535 ? "" : " (left open)");
  }

  bktest::TempDir dir_;
  std::string folder_ = dir_.Sub("co");
};

TEST_F(CustomLists, RequiredEntriesAreAddedOnlyToListsThatHaveEntries) {
  Put(530, "Teller,Electronic");
  Put(531, "Cash Transfers,Wire");  // a longer entry holds "Cash Transfer"
  Put(532, "");                     // the user keeps no adjustment types
  EXPECT_EQ(Verify(), "0:");
  EXPECT_EQ(Lists(), "530: Teller,Electronic,Cash Transfer\n531: Cash Transfers,Wire,Electronic\n532: \n");
  Put(532, "Bank Fee");
  EXPECT_EQ(Verify(), "0:");
  EXPECT_EQ(Lists(),
            "530: Teller,Electronic,Cash Transfer\n531: Cash Transfers,Wire,Electronic\n"
            "532: Bank Fee,NSF Check,NSF Charge,Miscellaneous,Cash Transfer,Monthly Interest,Overnight Interest\n")
      << "a second run adds nothing to the lists it completed";
}

// A control file that cannot be opened (1630), a list that cannot be read
// (1630, never written; the others are still verified), a file that cannot
// be written (1631): reported, and the file is closed.
TEST_F(CustomLists, EveryFailureIsReportedAndWhatWasNotReadIsNeverWritten) {
  const char* kUnchanged = "530: Teller\n531: Wire\n532: \n";
  const struct {
    const char* folder;  // nullptr: the company
    tsioOp op;
    tsioStatus::Status status;
    int times;  // 0: nothing armed
    const char* said;
    const char* lists;
  } cases[] = {
      {"not-a-company", tsioOp::kOpen, tsioStatus::kSuccess, 0, "3: 1630", kUnchanged},
      {nullptr, tsioOp::kOpen, tsioStatus::kIOError, 1, "3: 1630", kUnchanged},
      {nullptr, tsioOp::kFetch, tsioStatus::kDamaged, 1, "3: 1630",  // read again for the next entry
       "530: Teller,Cash Transfer\n531: Wire,Electronic,Cash Transfer\n532: \n"},
      {nullptr, tsioOp::kFetch, tsioStatus::kDamaged, 1000,  // one message per required entry
       "3: 1630 1630 1630 1630 1630 1630 1630 1630 1630 1630 1630", kUnchanged},
      {nullptr, tsioOp::kUpdate, tsioStatus::kDiskFull, 100, "3: 1631", kUnchanged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.said);
    Put(530, "Teller");
    Put(531, "Wire");
    if (c.folder) TSGetApp()->SetCompanyFolder(dir_.Sub(c.folder));
    if (c.times) tsioFaults::Arm(c.op, c.status, 1, c.times);
    EXPECT_EQ(Verify(), c.said);
    tsioFaults::Clear();
    TSGetApp()->SetCompanyFolder(folder_);
    EXPECT_EQ(Lists(), c.lists);
  }
}

}  // namespace
