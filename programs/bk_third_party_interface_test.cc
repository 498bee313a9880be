// The task for outside applications: its life (start, re-activation, end
// once), a program that was terminated being replaced, a task whose program
// cannot be made, and the module's services available through the hosted
// program.
#include <gtest/gtest.h>

#include "programs/bk_third_party_interface_task.h"
#include "programs/program_test_support.h"

namespace {

// Counts the programs it makes; can be told to make none.
class CountingTask : public bkThirdPartyInterfaceTask {
 public:
  CountingTask() : bkThirdPartyInterfaceTask("outside access", tsTask::kNoFlags, 800, 1, "BK.Access", "d") {}
  bkThirdPartyInterfaceProgram* NewProgram() override {
    ++made;
    return fail ? nullptr : bkThirdPartyInterfaceTask::NewProgram();
  }
  int made = 0;
  bool fail = false;
};

// The task as text: its status, the programs made, the current program's
// activations (or "none"), and how often the framework task was ended.
std::string State(const CountingTask& task) {
  const bkThirdPartyInterfaceProgram* p = task.Prog();
  return "status " + std::to_string(task.Status()) + ", made " + std::to_string(task.made) + ", program " +
         (p ? std::to_string(p->ActivationCount()) + (p->Terminated() ? " terminated" : "") : "none") + ", ended " +
         std::to_string(task.EndCount());
}

// Start runs one program and keeps it, offering the module's files and
// services; a second Start while active only re-activates it; a task that
// is not active does not activate its program; End twice ends the framework
// task once (status 0); a Start after the end makes a new program.
// Unattended, the program is terminated as soon as it ran: the next Start
// replaces it. When no program can be made the task ends with status 2, and
// ending it again ends nothing.
TEST(InterfaceTask, StartReactivatesEndsOnceAndReplacesAProgramThatCannotRun) {
  bktest::ModuleCompany company;
  bktest::UnattendedScope mode(false);
  CountingTask task;
  EXPECT_FALSE(task.ActivateProgram());
  std::vector<std::string> got;
  task.Start();
  got.push_back(State(task));
  ccStatus<ccBoolStatus> st(kBoolSuccess);
  EXPECT_EQ(task.Prog()->BKTHeader()->ThisRun(st), 1);
  EXPECT_EQ(task.Prog()->Settings()->Get(false), tsioStatus::kSuccess);
  task.Start();
  got.push_back(State(task));
  for (short status : {tsTask::kIdle, tsTask::kClosedByUser, tsTask::kFailed}) {
    task.SetStatus(status);
    got.push_back(std::string(task.ActivateProgram() ? "activated: " : "not activated: ") + State(task));
  }
  task.SetStatus(tsTask::kActive);
  for (int i = 0; i < 2; ++i) {
    task.End(5);
    got.push_back(State(task));
  }
  TSGetApp()->SetUnattended(true);
  task.Start();
  got.push_back(State(task));
  TSGetApp()->SetUnattended(false);
  task.Start();
  got.push_back(State(task));
  CountingTask failing;
  failing.fail = true;
  failing.Start();
  failing.End(0);
  got.push_back("failing: " + State(failing));
  EXPECT_EQ(got, (std::vector<std::string>{
                     "status 1, made 1, program 0, ended 0",
                     "status 1, made 1, program 1, ended 0",
                     "not activated: status 0, made 1, program 1, ended 0",
                     "not activated: status 2, made 1, program 1, ended 0",
                     "not activated: status 3, made 1, program 1, ended 0",
                     "status 0, made 1, program none, ended 1",
                     "status 0, made 1, program none, ended 1",
                     "status 1, made 2, program 0 terminated, ended 1",
                     "status 1, made 3, program 0, ended 1",
                     "failing: status 2, made 1, program none, ended 1",
                 }));
  EXPECT_EQ(company.RunCounter("LASTRUN"), 1);
}

}  // namespace
