// The module's program object: the log lines of a failed start, Go in
// attended and unattended runs, macro options read by the next program (in
// another process), files registered with the macro, and 2 x 200 programs in
// two processes taking runs at the same moment.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "programs/bk_macro.h"
#include "programs/bk_program.h"
#include "programs/bk_program_launcher.h"
#include "transactions/transaction.h"
#include "programs/program_test_support.h"
#include "framework/base/scripted_responder.h"
#include "framework/program/macro_options.h"
#include "framework/program/windows.h"

namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The search-history choice of a program, kept in its task's macro as one byte.
struct ChoiceMacro : bkMacro {
  unsigned char search_history = 1;
  std::vector<unsigned char> Save() const override { return {search_history}; }
  bool Load(const std::vector<unsigned char>& bytes) override {
    if (bytes.size() == 1) search_history = bytes[0];
    return bytes.size() == 1;
  }
};

class MacroProgram : public bkProgram {
 public:
  using bkProgram::bkProgram;
  ChoiceMacro macro;
  short read_status = -1;
  short write_status = -1;
  int background = 0;
  bool foreground = true;
  ccStatus<ccBoolStatus> journal{kBoolSuccess};

  void ReadMacroOptions() override { read_status = macro.Read(CommandID(), 50, 1); }
  void WriteMacroOptions() override { write_status = macro.Write(CommandID(), 50, 1); }
  void BackgroundProcess() override { ++background; }
  bool ForegroundUI() override { return foreground; }
  ccStatus<ccBoolStatus> InitializeJournalSections() override { return journal; }
};

// What a program's Go left: its answer (true: done), the task's status,
// the macro's read and write statuses and how often the hub ran.
std::string After(MacroProgram& p, const tsTask& task) {
  const bool done = p.Go();
  return std::string(done ? "done" : "running") + ", task " + std::to_string(task.Status()) + ", read " +
         std::to_string(p.read_status) + ", wrote " + std::to_string(p.write_status) + ", hub " +
         std::to_string(p.background);
}

// A program on a company without one of its files: OpenFiles and Go fail
// (the task with status 3, the files before the missing one opened);
// unattended, each failed open writes one line to the log.
TEST(Program, AStartOnACompanyWithoutAFileFailsWithStatus3AndOneLogLineWhenUnattended) {
  const struct {
    bool with_bkt, with_bkm, unattended;
    const char* said;
  } cases[] = {
      {true, false, true, "open 0, BKT open, done, task 3, log: BKM 2, BKT 0, all 2"},
      {false, true, true, "open 0, BKT closed, done, task 3, log: BKM 0, BKT 2, all 2"},
      {true, false, false, "open 0, BKT open, done, task 3, log: BKM 0, BKT 0, all 0"},
  };
  for (const auto& c : cases) {
    bktest::ModuleCompany company(c.with_bkt, c.with_bkm);
    bktest::UnattendedScope mode(c.unattended);
    tsTask task("register", tsTask::kNoFlags, 601);
    bkProgram p(601);
    std::string said = "open " + std::to_string(p.OpenFiles() == kBoolSuccess);
    said += std::string(", BKT ") + (p.File(BKTFileSpec) ? "open" : "closed");
    said += std::string(", ") + (bkProgram(601).Go() ? "done" : "running");
    said += ", task " + std::to_string(task.Status());
    const std::string log = company.Log();
    said += ", log: BKM " + std::to_string(Count(log, "task=601 Could not open BKM file")) + ", BKT " +
            std::to_string(Count(log, "task=601 Could not open BKT file")) + ", all " +
            std::to_string(Count(log, "Could not open"));
    EXPECT_EQ(said, c.said);
  }
}

// Attended: Go tells whether the user interface runs; a program without
// its own macro options says so; a failing journal stops the task; the
// hub of a task working in the background registers the open files with
// the macro.
TEST(Program, AttendedGoTellsWhetherTheUserInterfaceRunsAndAFailingJournalStopsIt) {
  bktest::ModuleCompany company;
  bktest::UnattendedScope mode(false);
  tsScriptedResponder responder;
  tsTask task("entry", tsTask::kNoFlags, 602);
  task.SetMacroMode(tsTask::MacroMode::kPlaying);
  EXPECT_FALSE(bkProgram(602).Go());
  MacroProgram headless(602);
  headless.foreground = false;
  EXPECT_EQ(After(headless, task), "done, task 0, read 13, wrote -1, hub 0");  // nothing recorded yet
  MacroProgram no_journal(602);
  no_journal.journal = ccStatus<ccBoolStatus>(kBoolFailure, ccError(0, ccError::kError, "no journal"));
  EXPECT_EQ(After(no_journal, task), "done, task 3, read -1, wrote -1, hub 0");
  std::string shown;
  for (const auto& m : responder.Messages()) shown += m.text + "\n";
  EXPECT_EQ(shown, "Default bkProgram::ReadMacroOptions called.\nno journal\n");

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

// Unattended, Go runs the hub once with a refresh and no background
// set-up; the options a recording program wrote are what the next program,
// in another process, plays back.
TEST(Program, UnattendedGoRunsTheHubAndMacroOptionsReachTheNextProgramInAnotherProcess) {
  bktest::ModuleCompany company;
  bktest::UnattendedScope mode(true);
  {
    tsTask task("verify", tsTask::kNoFlags, 604);
    task.SetMacroMode(tsTask::MacroMode::kRecording);
    MacroProgram writer(604);
    writer.macro.search_history = 0;
    const unsigned long refreshes = xw_refresh_count();
    EXPECT_EQ(After(writer, task), "running, task 1, read -1, wrote 0, hub 1");
    EXPECT_EQ(xw_refresh_count(), refreshes + 1);
    EXPECT_FALSE(task.BackgroundReady());
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
}

// 200 programs, one after the other, each on freshly opened files, each
// taking a transaction run and a cash-detail run together: "<run>/<cash run>"
// for each, "failed" for a program that could not.
std::string RunPrograms(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) {
    bkProgram p(700);
    tsDouble tran, cash;
    const bool took = p.OpenFiles() == kBoolSuccess && p.BKTHeader()->BothRuns(tran, cash).Value() == kBoolSuccess;
    out += took ? std::to_string(tran.ToLongLong()) + "/" + std::to_string(cash.ToLongLong()) + " " : "failed ";
  }
  return out;
}

// Two processes of 200 programs each, at the same moment: every run of
// both counters handed out exactly once, none lost, and the counters at 400.
TEST(ProgramRuns, TwoProcessesOf200ProgramsEachTakeDistinctRunsAndTheCountersEndAt400) {
  bktest::ModuleCompany company;
  const int kPrograms = 200;
  auto child = bktest::ChildProcess::Start([&] {
    bktest::ChildProcess::WriteLine("ready");
    if (bktest::ChildProcess::ReadLine() != "go") return 2;
    bktest::ChildProcess::WriteLine(RunPrograms(kPrograms));
    return 0;
  });
  ASSERT_EQ(child.Receive(), "ready");
  child.Send("go");
  std::istringstream runs(RunPrograms(kPrograms) + child.Receive());
  EXPECT_EQ(child.Wait(), 0);
  std::multiset<std::string> trans, cashes, want;
  for (std::string run; runs >> run;) {
    trans.insert(run.substr(0, run.find('/')));
    cashes.insert(run.substr(run.find('/') + 1));
  }
  for (int i = 1; i <= 2 * kPrograms; ++i) want.insert(std::to_string(i));
  EXPECT_TRUE(trans == want) << "transaction runs handed out twice, lost or failed";
  EXPECT_TRUE(cashes == want) << "cash-detail runs handed out twice, lost or failed";
  EXPECT_EQ(std::to_string(company.RunCounter("LASTRUN")) + " " + std::to_string(company.RunCounter("LSTCDRN")) +
                " " + std::to_string(company.RunCounter("LSTTXRN")),
            "400 400 0");
}

}  // namespace

namespace {

// A launcher that starts a MacroProgram on its task's company.
class TestLauncher : public bkProgramLauncher {
 public:
  using bkProgramLauncher::bkProgramLauncher;
  bkProgram* NewProgram() override { return new MacroProgram(600); }
  bool Launch() override {
    std::unique_ptr<bkProgram> program(NewProgram());
    return program->OpenFiles() == kBoolSuccess;
  }
};

// A launcher opens a file manager only for a company folder, keeps the one it
// has, and its copies share it: the files a copy opened stay open after the
// original is gone, and the manager goes with the last copy.
TEST(Launcher, FileManagerIsMadeForTheCompanyAndSharedByCopies) {
  {
    TestLauncher no_company;
    EXPECT_EQ(no_company.OpenFiles(), kBoolFailure);
    EXPECT_EQ(no_company.FileManager(), nullptr);
  }
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
  TestLauncher assigned;
  assigned = copy;
  EXPECT_EQ(copy.FileManager(), manager);
  EXPECT_EQ(assigned.FileManager(), manager);
  tsioDataFile* bkt = nullptr;
  ASSERT_EQ(copy.FileManager()->Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
  original.reset();
  Transaction cursor(*bkt, "", 0);  // still open through the copies' manager
  EXPECT_EQ(cursor.FetchFirst(false), tsioStatus::kEndOfFile);
  EXPECT_TRUE(copy.Launch());
}

}  // namespace
