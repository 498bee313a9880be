// Duplicate verification on real company files: duplicates found in the
// register, among pending deposits and in history (options on and off), by
// both forms of initialisation; the transaction being edited exempted; what a
// second program enters meanwhile seen, also while it holds the record
// locked; a missing or unopenable history; hard failures and lookups that
// cannot read (injected, a really damaged table) never answered as "no
// duplicate"; borrowed cursors and files left alone; the macro options.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "deposits/detail_transfer_test_support.h"
#include "duplicates/bk_verify_duplicates.h"
#include "framework/base/application.h"
#include "framework/io/company.h"
#include "framework/io/counters.h"
#include "framework/io/faults.h"
#include "framework/program/macro_options.h"
#include "records/files.h"
#include "settings/bk_settings.h"
#include "tests/support/damage.h"
#include "tests/support/status_text.h"
#include "tests/support/test_support.h"

namespace {

using Level = ccStatus<ccError::Level>;
using FoundIn = bkVerifyDuplicates::FoundIn;
using bktest::Said;

tsDate Day(const char* text) {
  tsDate d;
  EXPECT_TRUE(d.Parse(text)) << text;
  return d;
}

// A check ("C ...") or deposit ("D ...") of the register or the history,
// or a pending deposit ("P ..."), from its columns.
void Add(tsioDataFile& file, const std::string& row) {
  const std::string columns = row.substr(2);
  if (row[0] == 'P') return bkdetailtest::Put<PendingDeposit>(file, columns + ";PDAPPL=AR");
  bkdetailtest::Put<Transaction>(file, (row[0] == 'C' ? "TRANTYP=1;" : "TRANTYP=2;") + columns);
}

// A company with the module's files, opened by the test as a program would
// (its own file manager), set as the application's company folder.
class DuplicatesCompany {
 public:
  explicit DuplicatesCompany(bool with_history = true, bool with_master = true) {
    tsioFileManager creator(folder);
    EXPECT_EQ(creator.CreateCompany(), tsioStatus::kSuccess);
    for (auto [file, wanted] :
         {std::pair{&BKTFileSpec, true}, {&BKMFileSpec, with_master}, {&BKTHistoryFileSpec, with_history}}) {
      EXPECT_TRUE(!wanted || creator.Create(*file) == tsioStatus::kSuccess);
    }
    TSGetApp()->SetCompanyFolder(folder);
    Open();
  }
  ~DuplicatesCompany() {
    tsioFaults::Clear();
    TSGetApp()->SetCompanyFolder("");
  }
  void Open() {
    fm = std::make_unique<tsioFileManager>(folder);
    EXPECT_EQ(fm->Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
    if (fm->Open(BKMFileSpec, &bkm) != tsioStatus::kSuccess) bkm = nullptr;
    if (fm->Open(BKTHistoryFileSpec, &history) != tsioStatus::kSuccess) history = nullptr;
  }
  void Close() {
    fm.reset();
    bkt = bkm = history = nullptr;
  }
  void HistoryOptions(bool checks, bool deposits) {
    bkSettings s(*bkm);
    ASSERT_EQ(s.Get(false), tsioStatus::kSuccess);
    s.SetVerifyDupCheckInHistory(tsBool(checks));
    s.SetVerifyDupDepositInHistory(tsBool(deposits));
    ASSERT_EQ(s.Update(), tsioStatus::kSuccess);
  }

  bktest::TempDir dir;
  std::string folder = dir.Sub("company");
  std::unique_ptr<tsioFileManager> fm;
  tsioDataFile* bkt = nullptr;
  tsioDataFile* bkm = nullptr;
  tsioDataFile* history = nullptr;
};

// How the verifier is set up: from file information; from the caller's
// cursors and settings (all of them); from the register check cursor alone
// (it opens the master file, reads the settings and opens the history).
enum class Form { kFileInfo, kCallerCursors, kRegisterCursorOnly };
const char* Name(Form f) {
  return f == Form::kFileInfo ? "file information" : f == Form::kCallerCursors ? "caller's cursors" : "one cursor";
}

// The caller's side of the second form: cursors and settings it lends.
struct Lent {
  explicit Lent(DuplicatesCompany& co)
      : settings(*co.bkm),
        reg_checks(*co.bkt, bkVerifyDuplicates::CheckCursorFields, bkVerifyDuplicates::kCheckIndex),
        reg_deposits(*co.bkt, bkVerifyDuplicates::DepositCursorFields, bkVerifyDuplicates::kDepositIndex),
        pending(*co.bkm, bkVerifyDuplicates::PendingDepositCursorFields, 0) {
    EXPECT_EQ(settings.Get(false), tsioStatus::kSuccess);
    if (co.history) {
      hist_checks.emplace(*co.history, bkVerifyDuplicates::CheckCursorFields, bkVerifyDuplicates::kCheckIndex);
      hist_deposits.emplace(*co.history, bkVerifyDuplicates::DepositCursorFields, bkVerifyDuplicates::kDepositIndex);
    }
  }
  bkSettings settings;
  Transaction reg_checks, reg_deposits;
  std::optional<Transaction> hist_checks, hist_deposits;
  PendingDeposit pending;
};

Level Initialize(bkVerifyDuplicates& v, DuplicatesCompany& co, Form form, std::unique_ptr<Lent>& lent) {
  switch (form) {
    case Form::kFileInfo: {
      const tsioFileInfo master = co.bkm->Info();
      if (!co.history) return v.initialize(co.bkt->Info(), &master);
      const tsioFileInfo history = co.history->Info();
      return v.initialize(co.bkt->Info(), &master, &history);
    }
    case Form::kCallerCursors:
      lent = std::make_unique<Lent>(co);
      return v.initialize(&lent->settings, &lent->reg_checks, &lent->reg_deposits,
                          lent->hist_checks ? &*lent->hist_checks : nullptr,
                          lent->hist_deposits ? &*lent->hist_deposits : nullptr, &lent->pending);
    case Form::kRegisterCursorOnly:
      lent = std::make_unique<Lent>(co);
      return v.initialize(nullptr, &lent->reg_checks);
  }
  return Level(ccError::kFatal);
}

// One lookup's expected answer: the message (0 = none) and where it was found.
struct Answer {
  int message;
  FoundIn where;
};
constexpr Answer kNone{0, FoundIn::kNowhere};
constexpr Answer kCheckInRegister{2202, FoundIn::kRegister};
constexpr Answer kCheckInHistory{2202, FoundIn::kHistory};
constexpr Answer kDepositInRegister{2203, FoundIn::kRegister};
constexpr Answer kDepositPending{2203, FoundIn::kPendingDeposits};
constexpr Answer kDepositInHistory{2203, FoundIn::kHistory};

struct Case {
  const char* what;
  bool check;
  const char* bank;
  long long number;  // checks
  const char* date;  // deposits
  const char* id;
  const char* current_bank;  // the transaction being edited (nullptr: a new one)
  long long current_run, current_seq;
  Answer history_off, history_on;
};

const Case kCases[] = {
    {"check in the register", true, "B1", 100, "", "", nullptr, 0, 0, kCheckInRegister, kCheckInRegister},
    {"check of another bank", true, "B1", 500, "", "", nullptr, 0, 0, kNone, kNone},
    {"check nowhere", true, "B3", 100, "", "", nullptr, 0, 0, kNone, kNone},
    {"null check number", true, "B1", 0, "", "", nullptr, 0, 0, kNone, kNone},
    {"check only in history", true, "B1", 400, "", "", nullptr, 0, 0, kNone, kCheckInHistory},
    {"check re-saved by itself", true, "B1", 100, "", "", "B1", 1, 1, kNone, kNone},
    {"check number of another transaction", true, "B1", 100, "", "", "B1", 1, 2, kCheckInRegister, kCheckInRegister},
    {"check number also used after the edited one", true, "B1", 300, "", "", "B1", 1, 4, kCheckInRegister,
     kCheckInRegister},
    {"check number also used before the edited one", true, "B1", 300, "", "", "B1", 2, 1, kCheckInRegister,
     kCheckInRegister},
    {"check edited itself, number in history", true, "B1", 200, "", "", "B1", 1, 5, kNone, kCheckInHistory},
    {"deposit in the register", false, "B1", 0, "2026-01-05", "D1", nullptr, 0, 0, kDepositInRegister,
     kDepositInRegister},
    {"deposit id on another date", false, "B1", 0, "2026-01-06", "D1", nullptr, 0, 0, kNone, kNone},
    {"deposit re-saved by itself", false, "B1", 0, "2026-01-05", "D1", "B1", 1, 3, kNone, kNone},
    {"pending deposit", false, "B1", 0, "2026-01-07", "P1", nullptr, 0, 0, kDepositPending, kDepositPending},
    {"pending deposit, own identity given", false, "B1", 0, "2026-01-07", "P1", "B1", 1, 3, kDepositPending,
     kDepositPending},
    {"deposit only in history", false, "B1", 0, "2026-01-06", "H1", nullptr, 0, 0, kNone, kDepositInHistory},
    {"deposit edited itself, also in history", false, "B1", 0, "2026-01-06", "H2", "B1", 1, 6, kNone,
     kDepositInHistory},
    {"history deposit of another bank", false, "B2", 0, "2026-01-06", "H1", nullptr, 0, 0, kNone, kNone},
};

void AddRegisterOfCases(DuplicatesCompany& co) {
  for (const char* row : {"C TBNKACC=B1;TRUN=1;TSEQ=1;TCHECK=100", "C TBNKACC=B1;TRUN=1;TSEQ=2;TCHECK=101",
                          "D TBNKACC=B1;TRUN=1;TSEQ=3;TDEPDTE=2026-01-05;TDEPID=D1",
                          "C TBNKACC=B1;TRUN=1;TSEQ=4;TCHECK=300", "C TBNKACC=B1;TRUN=2;TSEQ=1;TCHECK=300",
                          "C TBNKACC=B1;TRUN=1;TSEQ=5;TCHECK=200",
                          "D TBNKACC=B1;TRUN=1;TSEQ=6;TDEPDTE=2026-01-06;TDEPID=H2",
                          "C TBNKACC=B2;TRUN=1;TSEQ=1;TCHECK=500"}) {
    Add(*co.bkt, row);
  }
  for (const char* row : {"C TBNKACC=B1;TRUN=7;TSEQ=1;TCHECK=200", "C TBNKACC=B1;TRUN=7;TSEQ=2;TCHECK=400",
                          "D TBNKACC=B1;TRUN=7;TSEQ=3;TDEPDTE=2026-01-06;TDEPID=H1",
                          "D TBNKACC=B1;TRUN=7;TSEQ=4;TDEPDTE=2026-01-06;TDEPID=H2"}) {
    Add(*co.history, row);
  }
  Add(*co.bkm, "P PDBNKAC=B1;PDDEPDT=2026-01-07;PDDEPID=P1");
}

Level Ask(bkVerifyDuplicates& v, const Case& c) {
  const tsAlpha current_bank(c.current_bank ? c.current_bank : "");
  const tsDouble run(c.current_run, 0), seq(c.current_seq, 0);
  const tsAlpha* b = c.current_bank ? &current_bank : nullptr;
  const tsDouble* r = c.current_bank ? &run : nullptr;
  const tsDouble* s = c.current_bank ? &seq : nullptr;
  if (c.check) return v.checkExists(tsAlpha(c.bank), tsDouble(c.number, 0), b, r, s);
  return v.depositExists(tsAlpha(c.bank), Day(c.date), tsAlpha(c.id), b, r, s);
}

TEST(VerifyDuplicates, FindsDuplicatesWhereTheyAreWithTheHistoryOptionsOnAndOff) {
  DuplicatesCompany co;
  AddRegisterOfCases(co);
  for (bool on : {false, true}) {
    co.HistoryOptions(on, on);
    for (Form form : {Form::kFileInfo, Form::kCallerCursors, Form::kRegisterCursorOnly}) {
      SCOPED_TRACE(std::string(Name(form)) + (on ? ", history on" : ", history off"));
      bkVerifyDuplicates v;
      std::unique_ptr<Lent> lent;
      const Level init = Initialize(v, co, form, lent);
      ASSERT_EQ(Said(init), "0");
      EXPECT_EQ(v.CheckHistory() + 2 * (v.HistoryFile() != nullptr), on ? 3 : 0);
      for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        const Answer want = on ? c.history_on : c.history_off;
        tsioCounters::Reset();
        const Level got = Ask(v, c);
        // At most two indexed fetches per file searched.
        EXPECT_LE(tsioCounters::FetchQueries(), 6u);
        EXPECT_EQ(v.LastFoundIn(), want.where);
        EXPECT_EQ(Said(got, false), want.message ? "3 | " + std::to_string(want.message) + "/3" : "0");
      }
    }
  }
}

// The message speaks of a check by the user's own term for it (the words
// themselves are checked where the program prints them).
TEST(VerifyDuplicates, MessagesUseTheUsersTerms) {
  DuplicatesCompany co;
  AddRegisterOfCases(co);
  bkVerifyDuplicates v;
  ASSERT_EQ(v.initialize(co.bkt->Info()).Value(), ccError::kNone);
  tsString::SetCustomDescription("<8F>", "Cheque");
  const Level check = v.checkExists(tsAlpha("B1"), tsDouble(100, 0));
  tsString::ResetCustomDescriptions();
  EXPECT_EQ(check.Errors()[0].Text(), "Cheque number 100 has already been used for bank account B1.");
}

// Another program enters the check, the deposit and a pending deposit after
// the verifier was set up and had looked once, and keeps the check locked:
// the next lookups see them all (lookups never lock, so a record another
// program holds is still a duplicate, not missed).
TEST(VerifyDuplicates, SeesWhatASecondProgramEntersMeanwhileAndHoldsLocked) {
  DuplicatesCompany co;
  co.HistoryOptions(true, true);
  for (Form form : {Form::kFileInfo, Form::kCallerCursors}) {
    SCOPED_TRACE(Name(form));
    const long long number = form == Form::kFileInfo ? 555 : 556;
    const std::string id = "X" + std::to_string(number);
    bkVerifyDuplicates v;
    std::unique_ptr<Lent> lent;
    ASSERT_EQ(Initialize(v, co, form, lent).Value(), ccError::kNone);
    EXPECT_EQ(v.checkExists(tsAlpha("B1"), tsDouble(number, 0)).Value(), ccError::kNone);
    EXPECT_EQ(v.depositExists(tsAlpha("B1"), Day("2026-02-01"), tsAlpha(id)).Value(), ccError::kNone);
    EXPECT_EQ(v.depositExists(tsAlpha("B1"), Day("2026-02-02"), tsAlpha(id)).Value(), ccError::kNone);
    auto other = bktest::ChildProcess::Start([&] {
      tsioFileManager fm(co.folder);
      tsioDataFile *bkt = nullptr, *bkm = nullptr;
      if (fm.Open(BKTFileSpec, &bkt) != tsioStatus::kSuccess || fm.Open(BKMFileSpec, &bkm) != tsioStatus::kSuccess) {
        return 1;
      }
      const std::string seq = ";TSEQ=" + std::to_string(number);
      Add(*bkt, "C TBNKACC=B1;TRUN=50" + seq + ";TCHECK=" + std::to_string(number));
      Add(*bkt, "D TBNKACC=B1;TRUN=51" + seq + ";TDEPDTE=2026-02-01;TDEPID=" + id);
      Add(*bkm, "P PDBNKAC=B1;PDDEPDT=2026-02-02;PDDEPID=" + id);
      if (::testing::Test::HasFailure()) return 2;
      Transaction t(*bkt);
      t.m_Record.SetBankAccount(tsAlpha("B1"));
      t.m_Record.SetRun(tsDouble(50, 0));
      t.m_Record.SetSequence(tsDouble(number, 0));
      bktest::ChildProcess::WriteLine(std::to_string(t.FetchEQ(true)));
      (void)bktest::ChildProcess::ReadLine();
      return 0;
    });
    ASSERT_EQ(other.Receive(), "0");
    for (auto [date, where] : {std::pair{"", FoundIn::kRegister},
                               {"2026-02-01", FoundIn::kRegister},
                               {"2026-02-02", FoundIn::kPendingDeposits}}) {
      const Level got = *date ? v.depositExists(tsAlpha("B1"), Day(date), tsAlpha(id))
                              : v.checkExists(tsAlpha("B1"), tsDouble(number, 0));
      EXPECT_EQ(got.Value(), ccError::kError) << date;
      EXPECT_EQ(v.LastFoundIn(), where) << date;
    }
    other.Send("end");
    ASSERT_EQ(other.Wait(), 0);
  }
}

// A history that cannot be opened is a warning, 2207 when there is none
// (from every form), 2206 for any other failure (here an I/O error on the
// verifier's fourth open: the company, the master file, the register, the
// history); afterwards no lookup touches history: one fetch for a check, two
// for a deposit (register, pending deposits).
TEST(VerifyDuplicates, AHistoryThatCannotBeOpenedWarnsAndIsNotSearched) {
  struct Way {
    bool with_history;
    Form form;
    int warning;
  };
  for (const Way& w : {Way{false, Form::kFileInfo, 2207}, Way{false, Form::kCallerCursors, 2207},
                       Way{false, Form::kRegisterCursorOnly, 2207}, Way{true, Form::kFileInfo, 2206}}) {
    SCOPED_TRACE(std::string(Name(w.form)) + " " + std::to_string(w.warning));
    DuplicatesCompany co(w.with_history);
    co.HistoryOptions(true, true);
    if (w.with_history) tsioFaults::Arm(tsioOp::kOpen, tsioStatus::kIOError, 4);
    bkVerifyDuplicates v;
    std::unique_ptr<Lent> lent;
    const Level init = Initialize(v, co, w.form, lent);
    tsioFaults::Clear();
    EXPECT_EQ(Said(init), w.warning == 2207 ? "2 | 2207/2 There is no history file; Checks will not be "
                                              "compared with history."
                                            : "2 | 2206/2 The history file could not be opened (" +
                                                  ccIOStatusStr(tsioStatus::kIOError) +
                                                  "); Checks will not be compared with history.");
    EXPECT_FALSE(v.HistoryFile() || v.CheckHistory() || v.DepositHistory());
    tsioCounters::Reset();
    EXPECT_EQ(v.checkExists(tsAlpha("B1"), tsDouble(400, 0)).Value(), ccError::kNone);
    EXPECT_EQ(tsioCounters::FetchQueries(), 1u);
    EXPECT_EQ(v.depositExists(tsAlpha("B1"), Day("2026-01-06"), tsAlpha("H1")).Value(), ccError::kNone);
    EXPECT_EQ(tsioCounters::FetchQueries(), 3u) << "two more for a deposit";
  }
}

// The history information may name another company folder (an archive):
// the history is opened there, on a handle of the verifier's own.
TEST(VerifyDuplicates, TheHistoryMayLieInAnotherFolder) {
  DuplicatesCompany co(/*with_history=*/false);
  co.HistoryOptions(true, true);
  DuplicatesCompany archive;
  Add(*archive.history, "C TBNKACC=B1;TRUN=9;TSEQ=1;TCHECK=4242");
  TSGetApp()->SetCompanyFolder(co.folder);
  const tsioFileInfo master = co.bkm->Info();
  const tsioFileInfo history = archive.history->Info();
  short number = 0;
  {
    bkVerifyDuplicates v;
    const Level init = v.initialize(co.bkt->Info(), &master, &history);
    ASSERT_EQ(Said(init), "0");
    ASSERT_NE(v.HistoryFile(), nullptr);
    EXPECT_EQ(v.HistoryFile()->Company().Folder(), archive.folder);
    number = v.HistoryFile()->FileNum();
    EXPECT_EQ(v.checkExists(tsAlpha("B1"), tsDouble(4242, 0)).Value(), ccError::kError);
    EXPECT_EQ(v.LastFoundIn(), FoundIn::kHistory);
  }
  EXPECT_EQ(tsioDataFile::ByNumber(number), nullptr);
}

// A hard failure of the initialisation is an error 2200 naming what failed,
// and a verifier left that way answers every lookup with 2201 (level 4),
// never with "no duplicate".
TEST(VerifyDuplicates, FailedInitialisationNeverAnswersNoDuplicate) {
  struct Failure {
    const char* what;
    bool with_master;
    tsioOp op;
    const char* register_file;
    const char* file_name;
  };
  const Failure kFailures[] = {
      {"no master file", false, tsioOp::kCount, "BKT.1", "Master"},
      {"settings unreadable", true, tsioOp::kHeaderRead, "BKT.1", "BK Master"},
      {"no such register", true, tsioOp::kCount, "BKT.3", "Register"},
  };
  for (const Failure& f : kFailures) {
    SCOPED_TRACE(f.what);
    DuplicatesCompany co(true, f.with_master);
    if (f.op != tsioOp::kCount) tsioFaults::Arm(f.op, tsioStatus::kIOError);
    const std::string name = f.register_file;
    const tsioFileInfo reg(co.folder, tsioFileSpec("BKT", static_cast<short>(name.back() - '0'), 221));
    bkVerifyDuplicates v;
    const Level init = v.initialize(reg);
    tsioFaults::Clear();
    EXPECT_EQ(Said(init, false), "3 | 2200/3");
    EXPECT_NE(Said(init).find(std::string("the ") + f.file_name + " file"), std::string::npos) << Said(init);
    EXPECT_EQ(Said(v.checkExists(tsAlpha("B1"), tsDouble(1, 0)), false), "4 | 2201/4");
    EXPECT_EQ(Said(v.depositExists(tsAlpha("B1"), Day("2026-01-01"), tsAlpha("D")), false), "4 | 2201/4");
  }
  DuplicatesCompany co;
  Lent lent(co);
  bkVerifyDuplicates v;
  EXPECT_EQ(Said(v.initialize(&lent.settings, nullptr, nullptr, nullptr, nullptr, &lent.pending), false), "3 | 2200/3");
  EXPECT_EQ(v.checkExists(tsAlpha("B1"), tsDouble(1, 0)).Value(), ccError::kFatal);
}

// Each fetch a lookup makes, failing in turn, gives 2201 naming the file and
// what was looked for, at level 4.
TEST(VerifyDuplicates, ALookupThatCannotReadIsAFailureNotAnAnswer) {
  DuplicatesCompany co;
  AddRegisterOfCases(co);
  co.HistoryOptions(true, true);
  struct Step {
    const Case* lookup;
    int nth;
    const char* text;
  };
  const Case kNewCheck{"", true, "B1", 999, "", "", nullptr, 0, 0, kNone, kNone};
  const Case kEditedCheck{"", true, "B1", 100, "", "", "B1", 1, 1, kNone, kNone};
  const Case kNewDeposit{"", false, "B1", 0, "2026-03-01", "N1", nullptr, 0, 0, kNone, kNone};
  const Step kSteps[] = {
      {&kNewCheck, 1, "duplicate Check in the Register file"},
      {&kNewCheck, 2, "duplicate Check in the History file"},
      {&kEditedCheck, 2, "duplicate Check in the Register file"},  // stepping over the edited check
      {&kNewDeposit, 1, "duplicate Deposit in the Register file"},
      {&kNewDeposit, 2, "duplicate Pending Deposit in the Master file"},
      {&kNewDeposit, 3, "duplicate Deposit in the History file"},
  };
  for (Form form : {Form::kFileInfo, Form::kCallerCursors}) {
    bkVerifyDuplicates v;
    std::unique_ptr<Lent> lent;
    ASSERT_EQ(Initialize(v, co, form, lent).Value(), ccError::kNone);
    for (const Step& s : kSteps) {
      for (tsioStatus::Status status : {tsioStatus::kDamaged, tsioStatus::kLocked, tsioStatus::kIOError}) {
        SCOPED_TRACE(std::string(Name(form)) + ": " + s.text + " " + ccIOStatusStr(status));
        tsioFaults::Arm(tsioOp::kFetch, status, s.nth);
        const Level got = Ask(v, *s.lookup);
        tsioFaults::Clear();
        EXPECT_EQ(Said(got),
                  std::string("4 | 2201/4 Could not look for a ") + s.text + ": " + ccIOStatusStr(status) + ".");
      }
    }
  }
}

// The history's transaction table really damaged on disk: a history lookup
// reports the damage (2201) instead of "no duplicate".
TEST(VerifyDuplicates, ADamagedHistoryTableIsReportedNotSkipped) {
  DuplicatesCompany co;
  AddRegisterOfCases(co);
  co.HistoryOptions(true, true);
  const std::string table = tsioCompany::TableName("BKT", BKTHistoryFileSpec.Instance(), 1);
  co.Close();
  ASSERT_GE(bktest::DamageTables(co.folder + "/company.db", {table}), 2u);
  co.Open();
  bkVerifyDuplicates v;
  ASSERT_EQ(v.initialize(co.bkt->Info()).Value(), ccError::kNone);
  EXPECT_EQ(v.checkExists(tsAlpha("B1"), tsDouble(100, 0)).Value(), ccError::kError);  // register still fine
  const std::string got = Said(v.checkExists(tsAlpha("B1"), tsDouble(400, 0)));
  EXPECT_EQ(got.substr(0, 12), "4 | 2201/4 C");
  EXPECT_NE(got.find("History"), std::string::npos) << got;
}

// The verifier deletes the cursors it made and closes the files it opened;
// what the caller lent stays open and usable.
TEST(VerifyDuplicates, DestructionLeavesBorrowedCursorsAndFilesAlone) {
  DuplicatesCompany co;
  AddRegisterOfCases(co);
  co.HistoryOptions(true, true);
  Lent lent(co);
  short own_master = 0, own_history = 0;
  {
    bkVerifyDuplicates v;
    // Lends the register cursors only: the verifier opens the master file
    // and the history itself.
    ASSERT_EQ(v.initialize(&lent.settings, &lent.reg_checks, &lent.reg_deposits).Value(), ccError::kNone);
    EXPECT_EQ(v.RegisterFile(), co.bkt);
    ASSERT_TRUE(v.MasterFile() && v.HistoryFile() && v.MasterFile() != co.bkm);
    own_master = v.MasterFile()->FileNum();
    own_history = v.HistoryFile()->FileNum();
    EXPECT_EQ(v.checkExists(tsAlpha("B1"), tsDouble(400, 0)).Value(), ccError::kError);
    EXPECT_EQ(v.depositExists(tsAlpha("B1"), Day("2026-01-07"), tsAlpha("P1")).Value(), ccError::kError);
  }
  EXPECT_FALSE(tsioDataFile::ByNumber(own_master) || tsioDataFile::ByNumber(own_history));
  EXPECT_TRUE(co.bkt->IsOpen() && co.bkm->IsOpen());
  lent.reg_checks.m_Record.SetBankAccount(tsAlpha("B1"));
  lent.reg_checks.m_Record.SetCheck(tsDouble(101, 0));
  EXPECT_EQ(lent.reg_checks.FetchEQ(false), tsioStatus::kSuccess);
  EXPECT_EQ(lent.reg_checks.m_Record.GetSequence().ToLongLong(), 2);
  lent.reg_deposits.m_Record.SetBankAccount(tsAlpha("B1"));
  EXPECT_EQ(lent.reg_deposits.FetchFirst(false), tsioStatus::kSuccess);
}

// The macro keeps "search history": written as 1 with the history file
// registered when history was open, as 0 when it was not; a verifier that
// reads 0 does not open history even though the settings ask for it.
TEST(VerifyDuplicates, MacroOptionsKeepWhetherHistoryIsSearched) {
  bkVerifyDuplicatesMacroData data;
  data.SetSearchHistory(0x01020304);
  EXPECT_EQ(data.Save(), (std::vector<unsigned char>{4, 3, 2, 1}));
  bkVerifyDuplicatesMacroData back;
  EXPECT_TRUE(back.Load(data.Save()));
  EXPECT_EQ(back.GetSearchHistory(), 0x01020304);
  EXPECT_FALSE(back.Load({1, 0, 0}));
  EXPECT_EQ(back.GetSearchHistory(), 0x01020304);

  tsTask task("enter checks", tsTask::kNoFlags, 7321);
  auto stored = [&] {
    bkVerifyDuplicatesMacroData data;
    EXPECT_EQ(data.Read(task.CommandID(), 50, 1), tsioStatus::kSuccess);
    return data.GetSearchHistory();
  };
  {
    DuplicatesCompany co;
    co.HistoryOptions(true, false);
    bkVerifyDuplicates v;
    v.Init(task);
    v.readMacroOptions();  // nothing stored yet: the default stays
    EXPECT_EQ(v.MacroData().GetSearchHistory(), 1);
    ASSERT_EQ(v.initialize(co.bkt->Info()).Value(), ccError::kNone);
    v.writeMacroOptions();
    EXPECT_EQ(v.MacroData().GetSearchHistory(), 1);
    EXPECT_EQ(stored(), 1);
    const auto files = xm_files(task.CommandID());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].file_id + " " + std::to_string(files[0].file_number),
              "BKT.2 " + std::to_string(v.HistoryFile()->FileNum()));
  }
  {
    DuplicatesCompany co(/*with_history=*/false);
    co.HistoryOptions(true, false);
    bkVerifyDuplicates v;
    v.Init(task);
    ASSERT_EQ(v.initialize(co.bkt->Info()).Value(), ccError::kWarning);
    v.writeMacroOptions();
    EXPECT_EQ(stored(), 0);

    // Replaying: the history is there now, but the macro says not to search it.
    tsioFileManager creator(co.folder);
    ASSERT_EQ(creator.Create(BKTHistoryFileSpec), tsioStatus::kSuccess);
    bkVerifyDuplicates replay;
    replay.Init(task);
    replay.readMacroOptions();
    EXPECT_EQ(replay.MacroData().GetSearchHistory(), 0);
    EXPECT_EQ(Said(replay.initialize(co.bkt->Info())), "0");
    EXPECT_FALSE(replay.HistoryFile() || replay.CheckHistory());
  }
}

}  // namespace
