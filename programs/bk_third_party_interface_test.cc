// The task for outside applications: its life (start, re-activation, end
// once), a program that was terminated being replaced, a task whose program
// cannot be made, and the module's services available through the hosted
// program.
#include <gtest/gtest.h>

#include "programs/bk_third_party_interface_task.h"
#include "programs/program_test_support.h"

namespace {

constexpr unsigned short kCommand = 800;

// Counts the programs it makes; can be told to make none.
class CountingTask : public bkThirdPartyInterfaceTask {
 public:
  CountingTask() : bkThirdPartyInterfaceTask("outside access", tsTask::kNoFlags, kCommand, 1, "BK.Access", "d") {}
  bkThirdPartyInterfaceProgram* NewProgram() override {
    ++made;
    return fail ? nullptr : bkThirdPartyInterfaceTask::NewProgram();
  }
  int made = 0;
  bool fail = false;
};

// Start runs one program and keeps it; a second Start while active only
// re-activates it; End twice ends the framework task once (status 0); a
// Start after the end makes a new program. A task that is not active does
// not activate its program.
TEST(InterfaceTask, StartReactivatesAndEndTwiceEndsOnce) {
  bktest::ModuleCompany company;
  bktest::UnattendedScope mode(false);
  CountingTask task;
  EXPECT_FALSE(task.ActivateProgram());
  task.Start();
  bkThirdPartyInterfaceProgram* program = task.Prog();
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(task.Status(), tsTask::kActive);
  EXPECT_EQ(program->ActivationCount(), 0);
  // The hosted program offers the module's files and services.
  ccStatus<ccBoolStatus> st(kBoolSuccess);
  EXPECT_EQ(program->BKTHeader()->ThisRun(st), 1);
  EXPECT_EQ(program->Settings()->Get(false), tsioStatus::kSuccess);

  task.Start();
  EXPECT_EQ(task.Prog(), program);
  EXPECT_EQ(task.made, 1);
  EXPECT_EQ(program->ActivationCount(), 1);
  for (short status : {tsTask::kIdle, tsTask::kClosedByUser, tsTask::kFailed}) {
    task.SetStatus(status);
    EXPECT_FALSE(task.ActivateProgram()) << status;
  }
  EXPECT_EQ(program->ActivationCount(), 1);
  task.SetStatus(tsTask::kActive);

  task.End(5);
  EXPECT_EQ(task.Prog(), nullptr);
  EXPECT_EQ(task.EndCount(), 1);
  EXPECT_EQ(task.Status(), tsTask::kIdle);
  task.End(5);
  EXPECT_EQ(task.EndCount(), 1);
  EXPECT_EQ(company.RunCounter("LASTRUN"), 1);

  task.Start();
  EXPECT_NE(task.Prog(), nullptr);
  EXPECT_EQ(task.made, 2);
}

// Unattended, the program is terminated as soon as it ran: the next Start
// replaces it. When no program can be made the task ends with status 2.
TEST(InterfaceTask, AProgramThatCannotRunIsReplacedAndNoProgramEndsTheTask) {
  CountingTask task;
  {
    bktest::UnattendedScope mode(true);
    task.Start();
  }
  ASSERT_NE(task.Prog(), nullptr);
  EXPECT_TRUE(task.Prog()->Terminated());
  task.Start();
  EXPECT_EQ(task.made, 2);
  EXPECT_FALSE(task.Prog()->Terminated());
  task.End(0);
  EXPECT_EQ(task.EndCount(), 1);

  CountingTask failing;
  failing.fail = true;
  failing.Start();
  EXPECT_EQ(failing.Prog(), nullptr);
  EXPECT_EQ(failing.Status(), tsTask::kClosedByUser);
  EXPECT_EQ(failing.EndCount(), 1);
  failing.End(0);  // nothing to end
  EXPECT_EQ(failing.EndCount(), 1);
}

}  // namespace
