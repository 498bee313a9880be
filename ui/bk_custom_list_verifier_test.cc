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

// The deposit (530), withdrawal (531) and adjustment (532) type lists as one
// "id: entries" line each.
std::string Lists(const std::string& folder) {
  auto cf = tsControlFile::Open(folder);
  std::string all;
  for (short id : {530, 531, 532}) {
    std::string text = "unread";
    EXPECT_TRUE(cf && cf->GetCustomList(id, &text) == tsioStatus::kSuccess) << id;
    all += std::to_string(id) + ": " + text + "\n";
  }
  return all;
}

// Per row, the lists as given, then one run of the verifier (its level and
// message numbers, and whether it left the control file open) with a fault
// armed, then the lists. A list without entries is the
// user's choice and stays empty; an entry held in a longer one counts. A
// control file that cannot be opened (1630), a list that cannot be read
// (1630, never written; the others are still verified), a file that cannot
// be written (1631): reported, and the file is closed.
TEST(CustomLists, RequiredEntriesAreAddedWhereAListHasEntriesAndFailuresWriteNothingUnread) {
  bktest::TempDir dir;
  const std::string folder = dir.Sub("co");
  ASSERT_EQ(tsioFileManager(folder).CreateCompany(), tsioStatus::kSuccess);
  const char* kUnchanged = "530: Teller\n531: Wire\n532: \n";
  const struct {
    const char* lists[3];
    tsioOp op;
    tsioStatus::Status status;
    int times;  // 0: nothing armed
    const char* said;
    const char* after;
  } cases[] = {
      {{"Teller,Electronic", "Cash Transfers,Wire", ""}, tsioOp::kOpen, tsioStatus::kSuccess, 0, "0:",
       "530: Teller,Electronic,Cash Transfer\n531: Cash Transfers,Wire,Electronic\n532: \n"},
      // What a run completed gets nothing more.
      {{"Teller,Electronic,Cash Transfer", "Cash Transfers,Wire,Electronic", "Bank Fee"}, tsioOp::kOpen,
       tsioStatus::kSuccess, 0, "0:",
       "530: Teller,Electronic,Cash Transfer\n531: Cash Transfers,Wire,Electronic\n"
       "532: Bank Fee,NSF Check,NSF Charge,Miscellaneous,Cash Transfer,Monthly Interest,Overnight Interest\n"},
      {{"Teller", "Wire", ""}, tsioOp::kOpen, tsioStatus::kIOError, 1, "3: 1630", kUnchanged},
      {{"Teller", "Wire", ""}, tsioOp::kFetch, tsioStatus::kDamaged, 1, "3: 1630",  // read again next
       "530: Teller,Cash Transfer\n531: Wire,Electronic,Cash Transfer\n532: \n"},
      {{"Teller", "Wire", ""}, tsioOp::kFetch, tsioStatus::kDamaged, 1000,  // one per required entry
       "3: 1630 1630 1630 1630 1630 1630 1630 1630 1630 1630 1630", kUnchanged},
      {{"Teller", "Wire", ""}, tsioOp::kUpdate, tsioStatus::kDiskFull, 100, "3: 1631", kUnchanged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.said);
    auto cf = tsControlFile::Open(folder);
    ASSERT_NE(cf, nullptr);
    for (short i = 0; i < 3; ++i) ASSERT_EQ(cf->PutCustomList(530 + i, c.lists[i]), tsioStatus::kSuccess);
    cf.reset();
    TSGetApp()->SetCompanyFolder(folder);
    if (c.times) tsioFaults::Arm(c.op, c.status, 1, c.times);
    bkCustomListVerifier v;
    const auto st = v.Verify();
    tsioFaults::Clear();
    TSGetApp()->SetCompanyFolder("");
    std::string said = std::to_string(st.MaxLevel()) + ":";
    for (const auto& e : st.Errors()) said += " " + std::to_string(e.Number());
    EXPECT_EQ(said + (v.Handle() == 65535 ? "" : " (left open)"), c.said);
    EXPECT_EQ(Lists(folder), c.after);
  }
}

}  // namespace
