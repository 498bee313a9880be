// The module's program object: Go in every mode (the log lines of a failed
// start, attended and unattended runs), macro options read by the next
// program (in another process), files registered with the macro, and
// launchers sharing their file manager.
#include <gtest/gtest.h>

#include <sstream>

#include "framework/base/scripted_responder.h"
#include "framework/program/macro_options.h"
#include "framework/program/windows.h"
#include "programs/bk_macro.h"
#include "programs/bk_program.h"
#include "programs/bk_program_launcher.h"
#include "programs/program_test_support.h"
#include "transactions/transaction.h"

namespace {

// The search-history choice of a program, kept in its task's macro as one byte.
struct ChoiceMacro : bkMacro {
  unsigned char search_history = 1;
  std::vector<unsigned char> Save() const override { return {search_history}; }
  bool Load(const std::vector<unsigned char>& bytes) override {
    if (bytes.size() == 1) search_history = bytes[0];
    return bytes.size() == 1;
  }
};

// A program with its own macro options (unless `default_macro`), counting
// its hub's background runs.
class MacroProgram : public bkProgram {
 public:
  using bkProgram::bkProgram;
  ChoiceMacro macro;
  bool default_macro = false;
  short read_status = -1;
  short write_status = -1;
  int background = 0;
  bool foreground = true;
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

// Go on a company of its own, set up as `how` says (words: no-BKT, no-BKM,
// unattended, playing, recording, headless, no-journal, default-macro):
// its answer (true: done), the task's status, the macro's read and write
// statuses, how often the hub ran, the windows refreshed, whether the task
// was set up for the background, what the user was shown and the log's
// failed opens.
std::string GoWith(unsigned short command, const std::string& how) {
  const auto has = [&](const char* word) { return how.find(word) != std::string::npos; };
  bktest::ModuleCompany company(!has("no-BKT"), !has("no-BKM"));
  bktest::UnattendedScope mode(has("unattended"));
  tsScriptedResponder responder;
  tsTask task("go", tsTask::kNoFlags, command);
  using M = tsTask::MacroMode;
  task.SetMacroMode(has("recording") ? M::kRecording : has("playing") ? M::kPlaying : M::kNone);
  MacroProgram p(command);
  p.macro.search_history = 0;
  p.default_macro = has("default-macro");
  p.foreground = !has("headless");
  if (has("no-journal")) p.journal = ccStatus<ccBoolStatus>(kBoolFailure, ccError(0, ccError::kError, "no journal"));
  const unsigned long refreshes = xw_refresh_count();
  std::string s = p.Go() ? "done" : "running";
  s += ", task " + std::to_string(task.Status()) + ", read " + std::to_string(p.read_status) + ", wrote " +
       std::to_string(p.write_status) + ", hub " + std::to_string(p.background) + ", refreshed " +
       std::to_string(xw_refresh_count() - refreshes) + (task.BackgroundReady() ? ", background" : "");
  for (const auto& m : responder.Messages()) s += ", shown: " + m.text;
  std::istringstream log(company.Log());
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
  {
    bktest::UnattendedScope mode(true);
    tsTask task("verify", tsTask::kNoFlags, 604);
    task.SetMacroMode(tsTask::MacroMode::kRecording);
    MacroProgram writer(604);
    writer.macro.search_history = 0;
    EXPECT_FALSE(writer.Go());
    EXPECT_EQ(std::to_string(writer.read_status) + " " + std::to_string(writer.write_status), "-1 0");
  }
  auto child = bktest::ChildProcess::Start([] {
    tsTask task("verify", tsTask::kNoFlags, 604);
    task.SetMacroMode(tsTask::MacroMode::kPlaying);
    MacroProgram reader(604);
    (void)reader.Go();
    bktest::ChildProcess::WriteLine(std::to_string(reader.read_status) + " " +
                                    std::to_string(reader.macro.search_history));
    return 0;
  });
  EXPECT_EQ(child.Receive(), "0 0");
  EXPECT_EQ(child.Wait(), 0);

  bktest::UnattendedScope mode(false);
  tsTask background("background", tsTask::kBackground, 606);
  MacroProgram hub(606);
  ASSERT_EQ(hub.OpenFiles(), kBoolSuccess);
  hub.InvokeHub();
  EXPECT_TRUE(background.BackgroundReady());
  EXPECT_EQ(hub.background, 1);
  std::string files;
  for (const auto& f : xm_files(606)) files += f.file_id + " " + std::to_string(f.file_number) + ", ";
  EXPECT_EQ(files, "BKT.1 " + std::to_string(hub.File(BKTFileSpec)->FileNum()) + ", BKM.1 " +
                       std::to_string(hub.File(BKMFileSpec)->FileNum()) + ", ");
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
  tsTask task("launch", tsTask::kNoFlags, 4711);
  auto original = std::make_unique<TestLauncher>(&task);
  ASSERT_EQ(original->OpenFiles(), kBoolSuccess);
  tsioFileManager* manager = original->FileManager();
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(manager->Folder(), company.folder);
  ASSERT_EQ(original->OpenFiles(), kBoolSuccess);
  EXPECT_EQ(original->FileManager(), manager);  // kept, not replaced
  TestLauncher copy(*original);
  tsioDataFile* bkt = nullptr;
  ASSERT_EQ(copy.FileManager()->Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
  original.reset();
  Transaction cursor(*bkt, "", 0);  // still open through the copies' manager
  EXPECT_EQ(cursor.FetchFirst(false), tsioStatus::kEndOfFile);
}

}  // namespace
