// The module's program object: its files and the log lines of a failed
// start, Go in attended and unattended runs, the hub definition, macro
// options read by the next program (in another process), files registered
// with the macro, launchers, and 2 x 200 programs in two processes taking
// runs at the same moment.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <set>
#include <sstream>

#include "batches/bk_macro.h"
#include "batches/bk_program.h"
#include "batches/bk_program_launcher.h"
#include "batches/program_test_support.h"
#include "framework/base/scripted_responder.h"
#include "framework/program/macro_options.h"
#include "framework/program/windows.h"

namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The search-history choice of a program, kept in its task's macro.
struct ChoiceMacro : bkMacro {
  int32_t search_history = 1;
  std::vector<unsigned char> Save() const override {
    std::vector<unsigned char> b(sizeof search_history);
    std::memcpy(b.data(), &search_history, sizeof search_history);
    return b;
  }
  bool Load(const std::vector<unsigned char>& bytes) override {
    if (bytes.size() != sizeof search_history) return false;
    std::memcpy(&search_history, bytes.data(), sizeof search_history);
    return true;
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
  CString group;
  ccStatus<ccBoolStatus> journal{kBoolSuccess};

  void ReadMacroOptions() override { read_status = macro.Read(CommandID(), 50, 1); }
  void WriteMacroOptions() override { write_status = macro.Write(CommandID(), 50, 1); }
  void BackgroundProcess() override { ++background; }
  bool ForegroundUI() override { return foreground; }
  CString HubGroupName() override { return group; }
  CString HubPanelName() override { return "PANEL-NAME"; }
  short ScreenFileNumber() override { return 4; }
  ccStatus<ccBoolStatus> InitializeJournalSections() override { return journal; }
};

TEST(Program, SettingsAndHeaderAreMadeOnceOnTheProgramsFilesAndClosingEndsTheProgram) {
  bktest::ModuleCompany company;
  tsTask task("entry", tsTask::kNoFlags, 600);
  bkProgram p(600);
  EXPECT_EQ(p.FileSpecForUnpostedTransactions(), BKTFileSpec);
  EXPECT_EQ(p.Settings(), p.Settings());
  EXPECT_EQ(p.BKTHeader(), p.BKTHeader());
  EXPECT_EQ(&p.BKTHeader()->File(), p.File(BKTFileSpec));
  ASSERT_EQ(p.Settings()->Get(false), tsioStatus::kSuccess);
  ccStatus<ccBoolStatus> st(kBoolSuccess);
  EXPECT_EQ(p.BKTHeader()->ThisRun(st), 1);
  p.HandleWindowClose();
  EXPECT_EQ(task.Status(), tsTask::kClosedByUser);
  EXPECT_TRUE(p.Terminated());
}

struct MissingFileCase {
  const char* name;
  bool with_bkt;
  bool with_bkm;
  bool unattended;
  const char* log_line;  // "" when no line is expected
};

TEST(Program, AStartOnACompanyWithoutAFileFailsWithStatus3AndOneLogLineWhenUnattended) {
  const std::vector<MissingFileCase> cases = {
      {"no BKM, unattended", true, false, true, "Could not open BKM file"},
      {"no BKT, unattended", false, true, true, "Could not open BKT file"},
      {"no BKM, attended", true, false, false, ""},
  };
  for (const auto& c : cases) {
    bktest::ModuleCompany company(c.with_bkt, c.with_bkm);
    bktest::UnattendedScope mode(c.unattended);
    tsTask task("register", tsTask::kNoFlags, 601);
    bkProgram p(601);
    EXPECT_EQ(p.OpenFiles(), kBoolFailure) << c.name;
    EXPECT_EQ(p.File(BKTFileSpec) != nullptr, c.with_bkt) << c.name;  // BKT opened before BKM failed
    auto lines = [&](const char* line) { return Count(company.Log(), line); };
    const auto expected = [&](const char* line, size_t failed_opens) {
      return std::string(c.log_line) == line ? failed_opens : 0;
    };
    for (const char* line : {"Could not open BKM file", "Could not open BKT file"}) {
      EXPECT_EQ(lines(line), expected(line, 1)) << c.name << ": " << line;
    }
    bkProgram q(601);
    EXPECT_TRUE(q.Go()) << c.name;  // done: it cannot run
    EXPECT_EQ(task.Status(), tsTask::kFailed) << c.name;
    for (const char* line : {"Could not open BKM file", "Could not open BKT file"}) {
      EXPECT_EQ(lines(line), expected(line, 2)) << c.name << ": " << line;
    }
    const std::string log = company.Log();
    if (*c.log_line) {
      EXPECT_NE(log.find(std::string("task=601 ") + c.log_line), std::string::npos) << c.name;
    }
  }
}

TEST(Program, AttendedGoTellsWhetherTheUserInterfaceRunsAndAFailingJournalStopsIt) {
  bktest::ModuleCompany company;
  bktest::UnattendedScope mode(false);
  tsScriptedResponder responder;
  tsTask task("entry", tsTask::kNoFlags, 602);
  task.SetMacroMode(tsTask::MacroMode::kPlaying);
  bkProgram plain(602);
  EXPECT_FALSE(plain.Go());  // the user interface runs
  ASSERT_EQ(responder.Messages().size(), 1u);
  EXPECT_EQ(responder.Messages()[0].text, "Default bkProgram::ReadMacroOptions called.");

  MacroProgram headless(602);
  headless.foreground = false;
  EXPECT_TRUE(headless.Go());
  EXPECT_EQ(headless.read_status, 13);  // nothing recorded yet
  EXPECT_EQ(headless.background, 0);    // the hub is not run attended
  EXPECT_EQ(task.Status(), tsTask::kIdle);

  MacroProgram no_journal(602);
  no_journal.journal = ccStatus<ccBoolStatus>(kBoolFailure, ccError(0, ccError::kError, "no journal"));
  EXPECT_TRUE(no_journal.Go());
  EXPECT_EQ(task.Status(), tsTask::kFailed);
  EXPECT_EQ(responder.Messages().back().text, "no journal");
}

TEST(Program, UnattendedGoRunsTheHubAndMacroOptionsReachTheNextProgramInAnotherProcess) {
  bktest::ModuleCompany company;
  bktest::UnattendedScope mode(true);
  {
    tsTask task("verify", tsTask::kNoFlags, 604);
    task.SetMacroMode(tsTask::MacroMode::kRecording);
    MacroProgram writer(604);
    writer.macro.search_history = 0;
    const unsigned long refreshes = xw_refresh_count();
    EXPECT_FALSE(writer.Go());  // keeps running
    EXPECT_EQ(task.Status(), tsTask::kActive);
    EXPECT_EQ(writer.read_status, -1);  // recording: nothing read
    EXPECT_EQ(writer.write_status, 0);
    EXPECT_EQ(writer.background, 1);
    EXPECT_EQ(xw_refresh_count(), refreshes + 1);
    EXPECT_FALSE(task.BackgroundReady());  // unattended: no background set-up
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

TEST(Program, HubDefinitionNamesTheScreenOnlyForProgramsWithAGroup) {
  bktest::ModuleCompany company;
  MacroProgram p(605);
  xh_hub_def def;
  def.screen_file_number = 99;  // what was there before is cleared
  xh_set_name(def.group_name, "OLD");
  ASSERT_TRUE(p.HubInitialize(def));
  EXPECT_EQ(def.command_id, 605);
  EXPECT_EQ(def.callback_mask, 7);
  EXPECT_EQ(def.completion_flag, 1);
  EXPECT_EQ(def.screen_file_number, 0);
  EXPECT_STREQ(def.group_name, "");
  EXPECT_STREQ(def.panel_name, "");
  ASSERT_EQ(def.process, &p.ProcessArea());
  EXPECT_EQ(def.process->command_id, 605);
  EXPECT_EQ(def.process->in_use, 1);
  EXPECT_EQ(def.process->data[0], 0);

  p.group = "REGISTERS";
  ASSERT_TRUE(p.HubInitialize(def));
  EXPECT_EQ(def.screen_file_number, 4);
  EXPECT_STREQ(def.group_name, "REGISTE");
  EXPECT_STREQ(def.panel_name, "PANEL-N");
}

TEST(Program, AnAttendedHubRegistersTheOpenFilesWithTheMacroWhenTheTaskWorksInTheBackground) {
  bktest::ModuleCompany company;
  bktest::UnattendedScope mode(false);
  tsTask task("background", tsTask::kBackground, 606);
  MacroProgram p(606);
  ASSERT_EQ(p.OpenFiles(), kBoolSuccess);
  p.InvokeHub();
  EXPECT_TRUE(task.BackgroundReady());
  EXPECT_EQ(p.background, 1);
  auto files = xm_files(606);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].file_id, "BKT.1");
  EXPECT_EQ(files[0].file_number, p.File(BKTFileSpec)->FileNum());
  EXPECT_EQ(files[1].file_id, "BKM.1");
}

class TestLauncher : public bkProgramLauncher {
 public:
  using bkProgramLauncher::bkProgramLauncher;
  bkProgram* NewProgram() override { return new bkProgram(Task() ? Task()->CommandID() : 0); }
  bool Launch() override { return true; }
};

TEST(Launcher, FileManagerIsMadeForTheCompanyAndSharedByCopies) {
  TSGetApp()->SetCompanyFolder("");
  tsTask task("t", tsTask::kNoFlags, 608);
  TestLauncher none(&task);
  EXPECT_EQ(none.OpenFiles(), kBoolFailure);
  EXPECT_EQ(none.FileManager(), nullptr);

  bktest::ModuleCompany company;
  auto first = std::make_unique<TestLauncher>(&task);
  ASSERT_EQ(first->OpenFiles(), kBoolSuccess);
  tsioFileManager* fm = first->FileManager();
  ASSERT_EQ(fm->Open(BKTFileSpec), tsioStatus::kSuccess);
  TestLauncher copy(*first);
  first.reset();  // the copy still uses the manager and its open file
  EXPECT_EQ(copy.FileManager(), fm);
  EXPECT_TRUE(fm->IsOpen(BKTFileSpec));
  ccJournal journal;
  EXPECT_EQ(copy.InitializeJournal(&journal).Value(), kBoolSuccess);
  EXPECT_EQ(journal.SectionCount(), 0u);
  EXPECT_TRUE(copy.Foreground() && copy.Background());
}

// 200 programs, one after the other, each on freshly opened files, each
// taking a transaction run and a cash-detail run together.
int RunPrograms(int count, std::vector<std::pair<long long, long long>>& runs) {
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    bkProgram p(700);
    tsDouble tran, cash;
    if (p.OpenFiles() != kBoolSuccess || p.BKTHeader()->BothRuns(tran, cash).Value() != kBoolSuccess || !tran ||
        !cash) {
      ++failures;
      continue;
    }
    runs.emplace_back(tran.ToLongLong(), cash.ToLongLong());
  }
  return failures;
}

TEST(ProgramRuns, TwoProcessesOf200ProgramsEachTakeDistinctRunsAndTheCountersEndAt400) {
  bktest::ModuleCompany company;
  const int kPrograms = 200;
  auto child = bktest::ChildProcess::Start([&] {
    bktest::ChildProcess::WriteLine("ready");
    if (bktest::ChildProcess::ReadLine() != "go") return 2;
    std::vector<std::pair<long long, long long>> runs;
    const int failures = RunPrograms(kPrograms, runs);
    for (const auto& [tran, cash] : runs) {
      bktest::ChildProcess::WriteLine(std::to_string(tran) + " " + std::to_string(cash));
    }
    bktest::ChildProcess::WriteLine("end " + std::to_string(failures));
    return 0;
  });
  ASSERT_EQ(child.Receive(), "ready");
  const auto start = std::chrono::steady_clock::now();
  child.Send("go");
  std::vector<std::pair<long long, long long>> runs;
  EXPECT_EQ(RunPrograms(kPrograms, runs), 0);
  const size_t mine = runs.size();
  for (;;) {
    std::string line = child.Receive(120000);
    ASSERT_FALSE(line.empty()) << "the other process stopped answering";
    if (line.rfind("end ", 0) == 0) {
      EXPECT_EQ(line, "end 0");
      break;
    }
    std::istringstream in(line);
    long long tran = 0, cash = 0;
    in >> tran >> cash;
    runs.emplace_back(tran, cash);
  }
  EXPECT_EQ(child.Wait(), 0);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // How often the runs, in order, pass from one process's programs to the
  // other's: a measure of how much the two processes overlapped.
  std::vector<std::pair<long long, bool>> order;
  for (size_t i = 0; i < runs.size(); ++i) order.emplace_back(runs[i].first, i < mine);
  std::sort(order.begin(), order.end());
  int switches = 0;
  for (size_t i = 1; i < order.size(); ++i) switches += order[i].second != order[i - 1].second;
  std::cout << "400 programs in two processes took " << seconds << " s; the run order switched process "
            << switches << " times\n";

  std::set<long long> trans, cashes;
  for (const auto& [tran, cash] : runs) {
    trans.insert(tran);
    cashes.insert(cash);
  }
  EXPECT_EQ(runs.size(), 2u * kPrograms);
  EXPECT_EQ(trans.size(), 2u * kPrograms);  // no run handed out twice
  EXPECT_EQ(cashes.size(), 2u * kPrograms);
  EXPECT_EQ(*trans.begin(), 1);
  EXPECT_EQ(*trans.rbegin(), 2 * kPrograms);
  EXPECT_EQ(*cashes.rbegin(), 2 * kPrograms);
  EXPECT_EQ(company.RunCounter("LASTRUN"), 2 * kPrograms);  // no lost update
  EXPECT_EQ(company.RunCounter("LSTCDRN"), 2 * kPrograms);
  EXPECT_EQ(company.RunCounter("LSTTXRN"), 0);
}

}  // namespace
