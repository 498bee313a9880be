// Tasks, programs and the hub; macro options kept in the company folder
// (also written by two processes at once).
#include <gtest/gtest.h>

#include <tuple>

#include "framework/base/application.h"
#include "framework/program/com_task.h"
#include "framework/program/macro_options.h"
#include "framework/program/program.h"
#include "tests/support/test_support.h"

namespace {

struct CompanyScope {
  explicit CompanyScope(const std::string& folder) { TSGetApp()->SetCompanyFolder(folder); }
  ~CompanyScope() { TSGetApp()->SetCompanyFolder(""); }
};

// Records what the hub tells it; works `steps` times.
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

TEST(Hub, RunsEveryStepUntilDoneOrCancelledAndTheCompletionFlagGovernsTheLastCall) {
  tsTask task("hub", tsTask::kNoFlags, 301);
  RecordingProgram p(301);
  p.steps = 3;
  xh_hub_def def;
  ASSERT_TRUE(p.HubInitialize(def));
  EXPECT_EQ(xh_process_hub(def), kHubCompleted);
  EXPECT_EQ(p.calls, (std::vector<std::string>{"display", "start", "process 301", "process 301", "process 301",
                                               "completed"}));
  EXPECT_EQ(xh_process_hub(def), kHubNothingToRun);  // the area is no longer in use

  p.calls.clear();
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
  EXPECT_EQ(p.calls, std::vector<std::string>{"process 301"});
}

TEST(Programs, FindTheirTaskByCommandIdOrRunWithAPrivateOneAndEndOnce) {
  RecordingProgram alone(401);
  tsTask& own = alone.Task();
  EXPECT_EQ(tsTask::Find(401), nullptr);  // the private task is not registered
  {
    tsComTask task("interface", tsTask::kBackground, 401, 9, "BK.Interface", "outside access");
    EXPECT_EQ(&alone.Task(), &task);
    EXPECT_TRUE(alone.ShouldDoBackgroundProcessing());
  }
  EXPECT_EQ(&alone.Task(), &own);  // back to its own once the task is gone
  EXPECT_TRUE(alone.Activate());
  alone.TerminateProgram();
  alone.TerminateProgram();
  EXPECT_EQ(alone.closes, 1);
  EXPECT_FALSE(alone.Activate());
}

TEST(MacroOptions, BlocksAndFilesRoundTripPerTask) {
  TSGetApp()->SetCompanyFolder("");
  int32_t v = 1;
  EXPECT_EQ(xm_put_options(50, 50, 1, &v, sizeof v), 15);  // no company folder
  bktest::TempDir dir;
  CompanyScope company(dir.path());
  EXPECT_EQ(xm_get_options(50, 50, 1, &v, sizeof v), 13);
  ASSERT_EQ(xm_put_options(50, 50, 1, &v, sizeof v), 0);
  ASSERT_EQ(xm_put_options(51, 50, 1, "\x07", 1), 0);  // another task keeps its own
  v = 0;
  ASSERT_EQ(xm_put_options(50, 50, 1, &v, sizeof v), 0);  // replaces
  for (const auto& [id, number] : {std::pair{"BKT.2", 3}, {"BKM.1", 2}, {"BKT.2", 5}}) {
    ASSERT_EQ(xm_add_file(id, number, 50), 0);
  }
  int32_t read = 9;
  int16_t wrong_size = 0;
  std::vector<unsigned char> other;
  EXPECT_EQ(xm_get_options(50, 50, 1, &read, sizeof read), 0);
  EXPECT_EQ(xm_get_options(50, 50, 1, &wrong_size, sizeof wrong_size), 1);
  EXPECT_EQ(xm_get_options(51, 50, 1, other), 0);
  EXPECT_EQ(std::tuple(read, other), std::tuple(0, std::vector<unsigned char>{7}));
  std::string files;
  for (const auto& f : xm_files(50)) files += f.file_id + ":" + std::to_string(f.file_number) + " ";
  EXPECT_EQ(files, "BKT.2:5 BKM.1:2 ");
}

TEST(MacroOptions, TwoProcessesWritingOneTaskLoseNoEntry) {
  bktest::TempDir dir;
  CompanyScope company(dir.path());
  const short kEntries = 60;
  auto write = [&](short first) {
    int failures = 0;
    for (int32_t v = first; v < first + kEntries; ++v) failures += xm_put_options(60, v, 1, &v, sizeof v) != 0;
    return failures;
  };
  auto child = bktest::ChildProcess::Start([&] { return write(1000); });
  EXPECT_EQ(write(2000), 0);
  EXPECT_EQ(child.Wait(), 0);
  for (short first : {1000, 2000}) {
    for (short id = first; id < first + kEntries; ++id) {
      int32_t v = 0;
      ASSERT_EQ(xm_get_options(60, id, 1, &v, sizeof v), 0) << id;
      EXPECT_EQ(v, id);
    }
  }
}

}  // namespace
