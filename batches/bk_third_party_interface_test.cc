// The task for outside applications: its life (start, re-activation, end
// once), a program that failed or was terminated being replaced, a task
// whose program cannot be made, and the module's services available through
// the hosted program.
#include <gtest/gtest.h>

#include "batches/bk_third_party_interface_task.h"
#include "batches/program_test_support.h"

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

TEST(InterfaceTask, StartKeepsTheProgramRunningAndASecondStartOnlyReactivatesIt) {
  bktest::UnattendedScope mode(false);
  CountingTask task;
  EXPECT_EQ(task.Prog(), nullptr);
  EXPECT_FALSE(task.ActivateProgram());
  task.Start();
  bkThirdPartyInterfaceProgram* program = task.Prog();
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(program->CommandID(), kCommand);
  EXPECT_EQ(&program->Task(), &task);
  EXPECT_EQ(task.Status(), tsTask::kActive);
  EXPECT_FALSE(program->Terminated());
  EXPECT_EQ(program->ActivationCount(), 0);

  task.Start();
  EXPECT_EQ(task.Prog(), program);
  EXPECT_EQ(task.made, 1);
  EXPECT_EQ(task.StartCount(), 1);
  EXPECT_EQ(program->ActivationCount(), 1);
}

TEST(InterfaceTask, EndTwiceEndsTheFrameworkTaskOnceWithStatus0) {
  bktest::UnattendedScope mode(false);
  CountingTask task;
  task.Start();
  task.End(5);
  EXPECT_EQ(task.Prog(), nullptr);
  EXPECT_EQ(task.EndCount(), 1);
  EXPECT_EQ(task.Status(), tsTask::kIdle);
  task.End(5);
  EXPECT_EQ(task.EndCount(), 1);

  task.Start();  // ended: a new program
  EXPECT_NE(task.Prog(), nullptr);
  EXPECT_EQ(task.made, 2);
  EXPECT_EQ(task.StartCount(), 2);
}

TEST(InterfaceTask, ActivateProgramOnATaskThatIsNotActiveLeavesTheProgramAlone) {
  bktest::UnattendedScope mode(false);
  CountingTask task;
  task.Start();
  for (short status : {tsTask::kIdle, tsTask::kClosedByUser, tsTask::kFailed}) {
    task.SetStatus(status);
    EXPECT_FALSE(task.ActivateProgram()) << status;
  }
  EXPECT_EQ(task.Prog()->ActivationCount(), 0);
}

TEST(InterfaceTask, AProgramThatCanNoLongerRunIsReplacedNotLeaked) {
  CountingTask task;
  {
    bktest::UnattendedScope mode(true);
    task.Start();  // unattended: the program is terminated as soon as it ran
  }
  ASSERT_NE(task.Prog(), nullptr);
  EXPECT_TRUE(task.Prog()->Terminated());
  task.Start();  // active, but the program cannot be activated again
  EXPECT_EQ(task.made, 2);
  EXPECT_FALSE(task.Prog()->Terminated());
  task.End(0);
  EXPECT_EQ(task.EndCount(), 1);
}

TEST(InterfaceTask, WhenNoProgramCanBeMadeTheTaskEndsWithStatus2) {
  CountingTask task;
  task.fail = true;
  task.Start();
  EXPECT_EQ(task.Prog(), nullptr);
  EXPECT_EQ(task.Status(), tsTask::kClosedByUser);
  EXPECT_EQ(task.EndCount(), 1);
  task.End(0);  // nothing to end
  EXPECT_EQ(task.EndCount(), 1);
}

TEST(InterfaceTask, TheHostedProgramOffersTheModulesFilesAndServices) {
  bktest::ModuleCompany company;
  bktest::UnattendedScope mode(false);
  CountingTask task;
  task.Start();
  bkThirdPartyInterfaceProgram* p = task.Prog();
  ccStatus<ccBoolStatus> st(kBoolSuccess);
  EXPECT_EQ(p->BKTHeader()->ThisRun(st), 1);
  EXPECT_EQ(p->Settings()->Get(false), tsioStatus::kSuccess);
  EXPECT_NE(p->File(BKTFileSpec), nullptr);
  EXPECT_NE(p->File(BKMFileSpec), nullptr);
  task.End(0);
  EXPECT_EQ(company.RunCounter("LASTRUN"), 1);
}

}  // namespace
