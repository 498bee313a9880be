// The module's program object: the log lines of a failed start, Go in
// attended and unattended runs, macro options read by the next program (in
// another process), files registered with the macro, and 2 x 200 programs in
// two processes taking runs at the same moment.
#include <gtest/gtest.h>

#include <cstring>
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
  ccStatus<ccBoolStatus> journal{kBoolSuccess};

  void ReadMacroOptions() override { read_status = macro.Read(CommandID(), 50, 1); }
  void WriteMacroOptions() override { write_status = macro.Write(CommandID(), 50, 1); }
  void BackgroundProcess() override { ++background; }
  bool ForegroundUI() override { return foreground; }
  ccStatus<ccBoolStatus> InitializeJournalSections() override { return journal; }
};

// A program on a company without one of its files: OpenFiles and Go fail
// (the task with status 3); unattended, each failed open writes one line to
// the log.
TEST(Program, AStartOnACompanyWithoutAFileFailsWithStatus3AndOneLogLineWhenUnattended) {
  const struct {
    bool with_bkt, with_bkm, unattended;
    const char* log_line;  // "" when no line is expected
  } cases[] = {
      {true, false, true, "Could not open BKM file"},
      {false, true, true, "Could not open BKT file"},
      {true, false, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.log_line) + (c.unattended ? " unattended" : " attended"));
    bktest::ModuleCompany company(c.with_bkt, c.with_bkm);
    bktest::UnattendedScope mode(c.unattended);
    tsTask task("register", tsTask::kNoFlags, 601);
    bkProgram p(601);
    EXPECT_EQ(p.OpenFiles(), kBoolFailure);
    EXPECT_EQ(p.File(BKTFileSpec) != nullptr, c.with_bkt);  // BKT opened before BKM failed
    bkProgram q(601);
    EXPECT_TRUE(q.Go());  // done: it cannot run
    EXPECT_EQ(task.Status(), tsTask::kFailed);
    for (const char* line : {"Could not open BKM file", "Could not open BKT file"}) {
      EXPECT_EQ(Count(company.Log(), line), std::string(c.log_line) == line ? 2u : 0u) << line;
      EXPECT_EQ(Count(company.Log(), std::string("task=601 ") + line), std::string(c.log_line) == line ? 2u : 0u);
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

  // An attended hub of a task working in the background registers the open
  // files with the macro.
  tsTask background("background", tsTask::kBackground, 606);
  MacroProgram hub(606);
  ASSERT_EQ(hub.OpenFiles(), kBoolSuccess);
  hub.InvokeHub();
  EXPECT_TRUE(background.BackgroundReady());
  EXPECT_EQ(hub.background, 1);
  auto files = xm_files(606);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].file_id, "BKT.1");
  EXPECT_EQ(files[0].file_number, hub.File(BKTFileSpec)->FileNum());
  EXPECT_EQ(files[1].file_id, "BKM.1");
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
  child.Send("go");
  std::vector<std::pair<long long, long long>> runs;
  EXPECT_EQ(RunPrograms(kPrograms, runs), 0);
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
