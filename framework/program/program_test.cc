// Tasks, programs and the hub; macro options kept in the company folder
// (also written by two processes at once).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/base/application.h"
#include "framework/program/com_task.h"
#include "framework/program/hub.h"
#include "framework/program/macro_options.h"
#include "framework/program/program.h"
#include "framework/program/windows.h"
#include "tests/support/test_support.h"

namespace {

struct CompanyScope {
  explicit CompanyScope(const std::string& folder) { TSGetApp()->SetCompanyFolder(folder); }
  ~CompanyScope() { TSGetApp()->SetCompanyFolder(""); }
};

// A program that records what the hub tells it and works `steps` times.
class RecordingProgram : public ccProgram {
 public:
  using ccProgram::ccProgram;
  std::vector<std::string> calls;
  int steps = 1;
  int closes = 0;

  void HubDisplay() override { calls.push_back("display"); }
  void HubStart() override { calls.push_back("start"); }
  void HubCancel() override { calls.push_back("cancel"); }
  void HubProcessCompleted() override { calls.push_back("completed"); }
  void HubProcessCancelled() override { calls.push_back("cancelled"); }
  short HubProcessFunction(xh_process_def* p) override {
    calls.push_back("process " + std::to_string(p->command_id));
    return --steps > 0 ? 0 : 1;
  }
  void Close() override { ++closes; }
};

TEST(Hub, RunsDisplayStartEveryStepAndCompletion) {
  RecordingProgram p(301);
  p.steps = 3;
  xh_hub_def def;
  ASSERT_TRUE(p.HubInitialize(def));
  EXPECT_EQ(def.command_id, 301);
  EXPECT_EQ(def.callback_mask, 7);
  EXPECT_EQ(def.completion_flag, 1);
  EXPECT_EQ(def.process, &p.ProcessArea());
  EXPECT_EQ(def.process->command_id, 301);
  EXPECT_EQ(def.process->in_use, 1);

  EXPECT_EQ(xh_process_hub(def), kHubCompleted);
  EXPECT_EQ(p.calls, (std::vector<std::string>{"display", "start", "process 301", "process 301", "process 301",
                                               "completed"}));
  EXPECT_EQ(p.ProcessArea().in_use, 0);
  // The area is no longer in use: nothing runs until the program hangs it on again.
  EXPECT_EQ(xh_process_hub(def), kHubNothingToRun);
}

TEST(Hub, CancelStopsBeforeTheNextStepAndCompletionFlagGovernsTheLastCall) {
  tsTask task("cancelled task", tsTask::kNoFlags, 302);
  RecordingProgram p(302);
  xh_hub_def def;
  ASSERT_TRUE(p.HubInitialize(def));
  task.RequestCancel();
  EXPECT_EQ(xh_process_hub(def), kHubCancelled);
  EXPECT_EQ(p.calls, (std::vector<std::string>{"display", "start", "cancel", "cancelled"}));

  task.ClearCancel();
  p.calls.clear();
  ASSERT_TRUE(p.HubInitialize(def));
  def.completion_flag = 0;
  p.SetHubCallBacks(def, kHubProcessCallBack | kHubCompletionCallBack);
  EXPECT_EQ(xh_process_hub(def), kHubCompleted);
  EXPECT_EQ(p.calls, (std::vector<std::string>{"process 302"}));

  xh_hub_def cleared;
  EXPECT_EQ(xh_process_hub(cleared), kHubNothingToRun);
}

TEST(Hub, NamesHoldAtMostSevenCharacters) {
  xh_hub_def def;
  xh_set_name(def.group_name, "BANKREGISTER");
  xh_set_name(def.panel_name, nullptr);
  EXPECT_STREQ(def.group_name, "BANKREG");
  EXPECT_STREQ(def.panel_name, "");
}

TEST(Tasks, ProgramsFindTheirTaskByCommandIdOrRunWithAPrivateOne) {
  ccProgram alone(401);
  tsTask& own = alone.Task();
  EXPECT_EQ(own.CommandID(), 401);
  EXPECT_EQ(tsTask::Find(401), nullptr);  // the private task is not registered
  {
    tsComTask task("interface", tsTask::kBackground, 401, 9, "BK.Interface", "outside access");
    EXPECT_EQ(&alone.Task(), &task);
    alone.SetTaskStatus(tsTask::kFailed);
    EXPECT_EQ(task.Status(), tsTask::kFailed);
    {
      tsTask newer("newer", tsTask::kNoFlags, 401);
      EXPECT_EQ(tsTask::Find(401), &newer);
    }
    EXPECT_EQ(tsTask::Find(401), &task);
  }
  EXPECT_EQ(&alone.Task(), &own);  // back to its own once the task is gone
}

TEST(Tasks, StartsAndEndsAreCounted) {
  tsTask t("t", tsTask::kNoFlags, 402);
  t.Start();
  EXPECT_EQ(t.Status(), tsTask::kActive);
  t.End(0);
  t.End(2);
  EXPECT_EQ(t.StartCount(), 1);
  EXPECT_EQ(t.EndCount(), 2);
  EXPECT_EQ(t.Status(), 2);
}

TEST(Programs, TerminatedProgramClosesOnceAndNoLongerActivates) {
  RecordingProgram p(403);
  EXPECT_TRUE(p.Activate());
  p.TerminateProgram();
  p.TerminateProgram();
  EXPECT_EQ(p.closes, 1);
  EXPECT_TRUE(p.Terminated());
  EXPECT_FALSE(p.Activate());
  EXPECT_EQ(p.ActivationCount(), 1);
}

TEST(Programs, MacroAndBackgroundDefaultsFollowTheTask) {
  tsTask t("t", tsTask::kBackground, 404);
  ccProgram p(404);
  EXPECT_FALSE(p.ShouldReadMacroOptions());
  EXPECT_FALSE(p.ShouldWriteMacroOptions());
  EXPECT_TRUE(p.ShouldDoBackgroundProcessing());
  t.SetMacroMode(tsTask::MacroMode::kPlaying);
  EXPECT_TRUE(p.ShouldReadMacroOptions());
  t.SetMacroMode(tsTask::MacroMode::kRecording);
  EXPECT_TRUE(p.ShouldWriteMacroOptions());
  ccProgram q(405);  // private task, attended: no background work
  EXPECT_FALSE(q.ShouldDoBackgroundProcessing());
}

TEST(Windows, RefreshesAreCounted) {
  const unsigned long before = xw_refresh_count();
  xw_refresh();
  EXPECT_EQ(xw_refresh_count(), before + 1);
}

TEST(MacroOptions, BlocksAndFilesRoundTripPerTask) {
  bktest::TempDir dir;
  CompanyScope company(dir.path());
  int32_t search_history = 0;
  EXPECT_EQ(xm_get_options(50, 50, 1, &search_history, sizeof search_history), 13);
  int32_t value = 1;
  ASSERT_EQ(xm_put_options(50, 50, 1, &value, sizeof value), 0);
  ASSERT_EQ(xm_put_options(51, 50, 1, "\x07", 1), 0);  // another task keeps its own
  ASSERT_EQ(xm_get_options(50, 50, 1, &search_history, sizeof search_history), 0);
  EXPECT_EQ(search_history, 1);
  int16_t wrong_size = 0;
  EXPECT_EQ(xm_get_options(50, 50, 1, &wrong_size, sizeof wrong_size), 1);
  std::vector<unsigned char> other;
  ASSERT_EQ(xm_get_options(51, 50, 1, other), 0);
  EXPECT_EQ(other, std::vector<unsigned char>{7});
  value = 0;
  ASSERT_EQ(xm_put_options(50, 50, 1, &value, sizeof value), 0);
  ASSERT_EQ(xm_get_options(50, 50, 1, &search_history, sizeof search_history), 0);
  EXPECT_EQ(search_history, 0);

  ASSERT_EQ(xm_add_file("BKT.2", 3, 50), 0);
  ASSERT_EQ(xm_add_file("BKM.1", 2, 50), 0);
  ASSERT_EQ(xm_add_file("BKT.2", 5, 50), 0);
  EXPECT_EQ(xm_add_file("bad id", 5, 50), 1);
  auto files = xm_files(50);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].file_id, "BKT.2");
  EXPECT_EQ(files[0].file_number, 5);
  EXPECT_EQ(files[1].file_id, "BKM.1");
  // The options survived the file registrations.
  ASSERT_EQ(xm_get_options(50, 50, 1, &search_history, sizeof search_history), 0);
}

TEST(MacroOptions, WithoutACompanyFolderNothingIsStored) {
  TSGetApp()->SetCompanyFolder("");
  int32_t v = 1;
  EXPECT_EQ(xm_put_options(50, 50, 1, &v, sizeof v), 15);
  EXPECT_EQ(xm_get_options(50, 50, 1, &v, sizeof v), 15);
  EXPECT_EQ(xm_options_path(50), "");
}

TEST(MacroOptions, TwoProcessesWritingOneTaskLoseNoEntry) {
  bktest::TempDir dir;
  CompanyScope company(dir.path());
  const short kEntries = 60;
  auto write = [&](short first) {
    int failures = 0;
    for (short i = 0; i < kEntries; ++i) {
      int32_t v = first + i;
      if (xm_put_options(60, static_cast<short>(first + i), 1, &v, sizeof v) != 0) ++failures;
    }
    return failures;
  };
  auto child = bktest::ChildProcess::Start([&] { return write(1000); });
  EXPECT_EQ(write(2000), 0);
  EXPECT_EQ(child.Wait(), 0);
  for (short base : {1000, 2000}) {
    for (short i = 0; i < kEntries; ++i) {
      int32_t v = 0;
      ASSERT_EQ(xm_get_options(60, static_cast<short>(base + i), 1, &v, sizeof v), 0) << base + i;
      EXPECT_EQ(v, base + i);
    }
  }
}

}  // namespace
