// The module's program object: Go in every mode (the log lines of a failed
// start, attended and unattended runs), macro options read by the next
// program (in another process), files registered with the macro, and
// launchers sharing their file manager. The task for outside applications:
// its life (start, re-activation, end once), a program that was terminated
// being replaced, a task whose program cannot be made, and the module's
// services available through the hosted program.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "duplicates/bk_verify_duplicates_macro_data.h"
#include "framework/base/scripted_responder.h"
#include "framework/program/macro_options.h"
#include "framework/program/windows.h"
#include "programs/bk_program.h"
#include "programs/bk_program_launcher.h"
#include "programs/bk_third_party_interface_task.h"
#include "programs/program_test_support.h"
#include "transactions/transaction.h"

namespace {

// A program with its own macro options (the search-history choice of
// duplicate verification; the default ones with `default_macro`), counting
// its hub's background runs.
class MacroProgram : public bkProgram {
 public:
  using bkProgram::bkProgram;
  bkVerifyDuplicatesMacroData macro;
  bool default_macro = false, foreground = true;
  short read_status = -1, write_status = -1;
  int background = 0;
  ccStatus<ccBoolStatus> journal{kBoolSuccess};

  void ReadMacroOptions() override {
    if (default_macro) return bkProgram::ReadMacroOptions();
    read_status = macro.Read(CommandID(), 50, 1);
  }
  void WriteMacroOptions() override { write_status = macro.Write(CommandID(), 50, 1); }
  void BackgroundProcess() override { ++background; }
  bool ForegroundUI() override { return foreground; }
  ccStatus<ccBoolStatus> InitializeJournalSections() override { return journal; }
};

// Go on a company of its own (or on `on`), set up as `how` says (words:
// no-BKT, no-BKM, unattended, playing, recording, headless, no-journal,
// default-macro): its answer (true: done), the task's status, the macro's
// read status (and the search-history option read), its write status (a
// recording program writes the command number as the option), how often
// the hub ran, the windows refreshed, whether the task was set up for the
// background, what the user was shown and the log's failed opens.
std::string GoWith(unsigned short command, const std::string& how,
                   const bktest::ModuleCompany* on = nullptr) {
  const auto has = [&](const char* word) { return how.find(word) != std::string::npos; };
  std::optional<bktest::ModuleCompany> own;
  if (on == nullptr) on = &own.emplace(!has("no-BKT"), !has("no-BKM"));
  bktest::UnattendedScope mode(has("unattended"));
  tsScriptedResponder responder;
  tsTask task("go", tsTask::kNoFlags, command);
  using M = tsTask::MacroMode;
  task.SetMacroMode(has("recording") ? M::kRecording : has("playing") ? M::kPlaying : M::kNone);
  MacroProgram p(command);
  p.macro.SetSearchHistory(has("recording") ? command : 0);
  p.default_macro = has("default-macro");
  p.foreground = !has("headless");
  if (has("no-journal")) p.journal = ccStatus<ccBoolStatus>(kBoolFailure, ccError(0, ccError::kError, "no journal"));
  const unsigned long refreshes = xw_refresh_count();
  std::string s = p.Go() ? "done" : "running";
  s += ", task " + std::to_string(task.Status()) + ", read " + std::to_string(p.read_status) +
       (p.read_status == 0 ? " history " + std::to_string(p.macro.GetSearchHistory()) : "") + ", wrote " +
       std::to_string(p.write_status) + ", hub " + std::to_string(p.background) + ", refreshed " +
       std::to_string(xw_refresh_count() - refreshes) + (task.BackgroundReady() ? ", background" : "");
  for (const auto& m : responder.Messages()) s += ", shown: " + m.text;
  std::ifstream log(on->folder + "/bkreg.log");
  for (std::string line; std::getline(log, line);) {
    if (line.find("Could not open") != std::string::npos) s += ", log: " + line.substr(line.find("task="));
  }
  return s;
}

// A start on a company without one of its files fails (task status 3),
// unattended with one log line; attended, Go tells whether the user
// interface runs, a program without its own macro options says so and a
// failing journal stops the task; unattended, Go runs the hub once with a
// refresh and no background set-up.
TEST(Program, GoInEveryModeSaysWhatRanAndLogsAFailedStartOnlyUnattended) {
  const std::pair<const char*, const char*> cases[] = {
      {"no-BKM unattended",
       "done, task 3, read -1, wrote -1, hub 0, refreshed 0, log: task=601 Could not open BKM file"},
      {"no-BKT unattended",
       "done, task 3, read -1, wrote -1, hub 0, refreshed 0, log: task=602 Could not open BKT file"},
      {"no-BKM", "done, task 3, read -1, wrote -1, hub 0, refreshed 0"},
      {"playing default-macro",
       "running, task 0, read -1, wrote -1, hub 0, refreshed 0, shown: Default bkProgram::ReadMacroOptions called."},
      {"playing headless", "done, task 0, read 13, wrote -1, hub 0, refreshed 0"},  // nothing recorded yet
      {"playing no-journal", "done, task 3, read -1, wrote -1, hub 0, refreshed 0, shown: no journal"},
      {"unattended recording", "running, task 1, read -1, wrote 0, hub 1, refreshed 1"},
  };
  unsigned short command = 600;
  for (const auto& [how, said] : cases) EXPECT_EQ(GoWith(++command, how), said) << how;
}

// The options a recording program wrote are what the next program, in
// another process, plays back. The hub of a task working in the background
// registers the open files with the macro.
TEST(Program, UnattendedGoRunsTheHubAndMacroOptionsReachTheNextProgramInAnotherProcess) {
  bktest::ModuleCompany company;
  EXPECT_EQ(GoWith(604, "unattended recording", &company),
            "running, task 1, read -1, wrote 0, hub 1, refreshed 1");
  auto child = bktest::ChildProcess::Start(
      [&company] { bktest::ChildProcess::WriteLine(GoWith(604, "playing headless", &company)); });
  EXPECT_EQ(child.Receive(), "done, task 0, read 0 history 604, wrote -1, hub 0, refreshed 0");
  EXPECT_EQ(child.Wait(), 0);
  bktest::UnattendedScope mode(false);
  tsTask background("background", tsTask::kBackground, 606);
  MacroProgram hub(606);
  ASSERT_EQ(hub.OpenFiles(), kBoolSuccess);
  hub.InvokeHub();
  std::string files = std::to_string(background.BackgroundReady()) + " " + std::to_string(hub.background);
  for (const auto& f : xm_files(606)) files += ", " + f.file_id + " " + std::to_string(f.file_number);
  EXPECT_EQ(files, "1 1, BKT.1 " + std::to_string(hub.File(BKTFileSpec)->FileNum()) + ", BKM.1 " +
                       std::to_string(hub.File(BKMFileSpec)->FileNum()));
}

// A launcher of no program: only its file manager is looked at.
class TestLauncher : public bkProgramLauncher {
 public:
  using bkProgramLauncher::bkProgramLauncher;
  bkProgram* NewProgram() override { return nullptr; }
  bool Launch() override { return false; }
};

// A launcher opens a file manager only for a company folder, keeps the one it
// has, and its copies share it: the files a copy opened stay open after the
// original is gone, and the manager goes with the last copy.
TEST(Launcher, FileManagerIsMadeForTheCompanyAndSharedByCopies) {
  EXPECT_EQ(TestLauncher().OpenFiles(), kBoolFailure);
  bktest::ModuleCompany company;
  auto original = std::make_unique<TestLauncher>();
  ASSERT_EQ(original->OpenFiles(), kBoolSuccess);
  tsioFileManager* manager = original->FileManager();
  ASSERT_EQ(original->OpenFiles(), kBoolSuccess);
  EXPECT_TRUE(manager->Folder() == company.folder && original->FileManager() == manager) << "kept, not replaced";
  TestLauncher copy(*original);
  tsioDataFile* bkt = nullptr;
  ASSERT_EQ(copy.FileManager()->Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
  original.reset();
  EXPECT_EQ(Transaction(*bkt).FetchFirst(false), tsioStatus::kEndOfFile) << "still open through the copy's manager";
}

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
  task.Start();
  EXPECT_EQ(State(task), "status 1, made 1, program 0, ended 0");
  ccStatus<ccBoolStatus> st(kBoolSuccess);
  EXPECT_EQ(task.Prog()->BKTHeader()->ThisRun(st), 1);
  EXPECT_EQ(task.Prog()->Settings()->Get(false), tsioStatus::kSuccess);
  task.Start();
  EXPECT_EQ(State(task), "status 1, made 1, program 1, ended 0");
  for (short status : {tsTask::kIdle, tsTask::kClosedByUser, tsTask::kFailed}) {
    task.SetStatus(status);
    EXPECT_FALSE(task.ActivateProgram()) << status;
  }
  EXPECT_EQ(State(task), "status 3, made 1, program 1, ended 0") << "activated while not active";
  task.SetStatus(tsTask::kActive);
  for (int i = 0; i < 2; ++i) {
    task.End(5);
    EXPECT_EQ(State(task), "status 0, made 1, program none, ended 1") << "End number " << i + 1;
  }
  for (bool unattended : {true, false}) {
    TSGetApp()->SetUnattended(unattended);
    task.Start();
    EXPECT_EQ(State(task), unattended ? "status 1, made 2, program 0 terminated, ended 1"
                                      : "status 1, made 3, program 0, ended 1");
  }
  CountingTask failing;
  failing.fail = true;
  failing.Start();
  failing.End(0);
  EXPECT_EQ(State(failing), "status 2, made 1, program none, ended 1");
  EXPECT_EQ(company.RunCounter("LASTRUN"), 1);
}

}  // namespace
