// Duplicate verification on real company files: duplicates found in the
// register, among pending deposits and in history (options on and off), by
// every form of initialisation; the transaction being edited exempted; what
// a second program enters meanwhile seen, also while it holds the record
// locked; a missing or unopenable history; hard failures and lookups that
// cannot read never answered as "no duplicate"; borrowed cursors and files
// left alone; the macro options.
//
// Remapping transaction issues: the issue keeps its number and marker, and
// whatever step fails (an injected fault at each step, a key already taken,
// a second program holding the record) it is stored exactly once afterwards,
// under its old key or its new one, inside or outside the caller's unit of
// work. Checked against a model of the issue file kept in a std::map.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "deposits/detail_transfer_test_support.h"
#include "duplicates/bk_verify_duplicates.h"
#include "duplicates/transaction_issue.h"
#include "framework/base/application.h"
#include "framework/io/counters.h"
#include "framework/io/faults.h"
#include "framework/io/rollback_stack.h"
#include "framework/program/macro_options.h"
#include "records/files.h"
#include "records/record_test_support.h"
#include "settings/bk_settings.h"
#include "tests/support/status_text.h"
#include "tests/support/test_support.h"

namespace {

using Level = ccStatus<ccError::Level>;
using bktest::Said;

// Adds a record from a row: "C BANK RUN SEQ NUMBER" a check, "D BANK RUN
// SEQ DATE ID" a deposit (of the register or the history), "P BANK DATE ID"
// a pending deposit (of the master file).
void Add(tsioDataFile& file, const std::string& row) {
  std::istringstream in(row);
  std::string kind, bank, a, b, c, d;
  in >> kind >> bank >> a >> b >> c >> d;
  if (kind == "P") {
    return bkdetailtest::Put<PendingDeposit>(file, "PDAPPL=AR;PDBNKAC=" + bank + ";PDDEPDT=" + a + ";PDDEPID=" + b);
  }
  const std::string key = "TBNKACC=" + bank + ";TRUN=" + a + ";TSEQ=" + b;
  bkdetailtest::Put<Transaction>(file, kind == "C" ? key + ";TRANTYP=1;TCHECK=" + c
                                                   : key + ";TRANTYP=2;TDEPDTE=" + c + ";TDEPID=" + d);
}

// A company with the module's files, opened by the test as a program would
// (its own file manager), set as the application's company folder.
class DuplicatesCompany {
 public:
  explicit DuplicatesCompany(bool with_history = true, bool with_master = true) {
    EXPECT_EQ(fm.CreateCompany(), tsioStatus::kSuccess);
    Open(BKTFileSpec, &bkt);
    if (with_master) Open(BKMFileSpec, &bkm);
    if (with_history) Open(BKTHistoryFileSpec, &history);
    TSGetApp()->SetCompanyFolder(folder);
  }
  // Creates one of the module's files and opens it.
  void Open(const tsioFileSpec& which, tsioDataFile** file) {
    EXPECT_EQ(fm.Create(which), tsioStatus::kSuccess);
    EXPECT_EQ(fm.Open(which, file), tsioStatus::kSuccess);
  }
  ~DuplicatesCompany() {
    tsioFaults::Clear();
    TSGetApp()->SetCompanyFolder("");
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
  tsioFileManager fm{folder};
  tsioDataFile* bkt = nullptr;
  tsioDataFile* bkm = nullptr;
  tsioDataFile* history = nullptr;
};

// The caller's side of set-ups from objects: cursors and settings it lends.
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

// How the verifier is set up: 'F' from file information; 'C' from the
// caller's cursors and settings (all of them); 'R' from the register check
// cursor alone (it opens the master file, reads the settings and opens the
// history); and two ways that cannot work: 'N' a register that does not
// exist, '0' no register cursors lent.
Level Initialize(bkVerifyDuplicates& v, DuplicatesCompany& co, char form, std::unique_ptr<Lent>& lent) {
  if (form == 'N') return v.initialize(tsioFileInfo(co.folder, tsioFileSpec("BKT", 3, 221)));
  if (form == 'F') {
    std::optional<tsioFileInfo> master, history;
    if (co.bkm) master = co.bkm->Info();
    if (co.history) history = co.history->Info();
    return v.initialize(co.bkt->Info(), master ? &*master : nullptr, history ? &*history : nullptr);
  }
  lent = std::make_unique<Lent>(co);
  if (form == 'R') return v.initialize(nullptr, &lent->reg_checks);
  if (form == '0') return v.initialize(&lent->settings, nullptr, nullptr, nullptr, nullptr, &lent->pending);
  return v.initialize(&lent->settings, &lent->reg_checks, &lent->reg_deposits,
                      lent->hist_checks ? &*lent->hist_checks : nullptr,
                      lent->hist_deposits ? &*lent->hist_deposits : nullptr, &lent->pending);
}

// Asks `v` the lookup `row`: "C <bank> <number>" for a check, "D <bank>
// <date> <id>" for a deposit, either followed by "<bank> <run> <seq>" of the
// transaction being edited. The answer: where it was found, then the status
// ("none 0", "register 3 | 2202/3").
std::string Ask(bkVerifyDuplicates& v, const std::string& row, bool texts = false) {
  std::istringstream in(row);
  std::string kind, bank, number_or_date, id, current_bank;
  long long run = 0, seq = 0;
  in >> kind >> bank >> number_or_date;
  if (kind == "D") in >> id;
  const bool own = !!(in >> current_bank >> run >> seq);
  tsDate date;
  EXPECT_TRUE(kind == "C" || date.Parse(number_or_date.c_str())) << row;
  const tsAlpha b(current_bank);
  const tsDouble r(run, 0), s(seq, 0);
  const Level got = kind == "C" ? v.checkExists(tsAlpha(bank), tsDouble(std::stoll(number_or_date), 0),
                                                own ? &b : nullptr, own ? &r : nullptr, own ? &s : nullptr)
                                : v.depositExists(tsAlpha(bank), date, tsAlpha(id),
                                                  own ? &b : nullptr, own ? &r : nullptr, own ? &s : nullptr);
  static const char* const kWhere[] = {"none", "register", "pending", "history"};
  return std::string(kWhere[static_cast<int>(v.LastFoundIn())]) + " " + Said(got, texts);
}

// One company for the suite: the register, history and pending deposits the
// lookups are asked about, history searched unless a test says otherwise.
class VerifyDuplicates : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    co_ = std::make_unique<DuplicatesCompany>();
    for (const char* row : {"C B1 1 1 100", "C B1 1 2 101", "D B1 1 3 2026-01-05 D1", "C B1 1 4 300", "C B1 2 1 300",
                            "C B1 1 5 200", "D B1 1 6 2026-01-06 H2", "C B2 1 1 500"}) {
      Add(*co_->bkt, row);
    }
    for (const char* row : {"C B1 7 1 200", "C B1 7 2 400", "D B1 7 3 2026-01-06 H1", "D B1 7 4 2026-01-06 H2"}) {
      Add(*co_->history, row);
    }
    Add(*co_->bkm, "P B1 2026-01-07 P1");
  }
  static void TearDownTestSuite() { co_.reset(); }
  void SetUp() override {
    TSGetApp()->SetCompanyFolder(co_->folder);
    co_->HistoryOptions(true, true);
  }
  void TearDown() override { tsioFaults::Clear(); }

  static inline std::unique_ptr<DuplicatesCompany> co_;
  DuplicatesCompany& co = *co_;
};

// Every lookup of the table with the history options off and on, through
// every form of set-up, each with at most two indexed fetches per file
// searched; the message speaks of a check by the user's own term for it
// (the words themselves are checked where the program prints them).
TEST_F(VerifyDuplicates, FindsDuplicatesWhereTheyAreWithTheHistoryOptionsOnAndOff) {
  const char* const kCases[][4] = {  // what, the lookup, where it is found with history off, on
      {"check in the register", "C B1 100", "register", "register"},
      {"check of another bank", "C B1 500", "none", "none"},
      {"check nowhere", "C B3 100", "none", "none"},
      {"null check number", "C B1 0", "none", "none"},
      {"check only in history", "C B1 400", "none", "history"},
      {"check re-saved by itself", "C B1 100 B1 1 1", "none", "none"},
      {"check number of another transaction", "C B1 100 B1 1 2", "register", "register"},
      {"check number also used after the edited one", "C B1 300 B1 1 4", "register", "register"},
      {"check number also used before the edited one", "C B1 300 B1 2 1", "register", "register"},
      {"check edited itself, number in history", "C B1 200 B1 1 5", "none", "history"},
      {"deposit in the register", "D B1 2026-01-05 D1", "register", "register"},
      {"deposit id on another date", "D B1 2026-01-06 D1", "none", "none"},
      {"deposit re-saved by itself", "D B1 2026-01-05 D1 B1 1 3", "none", "none"},
      {"pending deposit", "D B1 2026-01-07 P1", "pending", "pending"},
      {"pending deposit, own identity given", "D B1 2026-01-07 P1 B1 1 3", "pending", "pending"},
      {"deposit only in history", "D B1 2026-01-06 H1", "none", "history"},
      {"deposit edited itself, also in history", "D B1 2026-01-06 H2 B1 1 6", "none", "history"},
      {"history deposit of another bank", "D B2 2026-01-06 H1", "none", "none"},
  };
  for (bool on : {false, true}) {
    co.HistoryOptions(on, on);
    for (char form : {'F', 'C', 'R'}) {
      bkVerifyDuplicates v;
      std::unique_ptr<Lent> lent;
      ASSERT_EQ(Said(Initialize(v, co, form, lent)), "0");
      for (const auto& [what, row, history_off, history_on] : kCases) {
        SCOPED_TRACE(form + std::string(on ? " history on: " : " history off: ") + what);
        tsioCounters::Reset();
        const std::string where = on ? history_on : history_off;
        const char* found = row[0] == 'C' ? " 3 | 2202/3" : " 3 | 2203/3";
        EXPECT_EQ(Ask(v, row), where + (where == "none" ? " 0" : found));
        EXPECT_LE(tsioCounters::FetchQueries(), 6) << "more than two indexed fetches a file";
      }
    }
  }
  bkVerifyDuplicates v;
  ASSERT_EQ(v.initialize(co.bkt->Info()).Value(), ccError::kNone);
  tsString::SetCustomDescription("<8F>", "Cheque");
  EXPECT_EQ(Ask(v, "C B1 100", true),
            "register 3 | 2202/3 Cheque number 100 has already been used for bank account B1.");
  tsString::ResetCustomDescriptions();
}

// Another program enters a check, a deposit and a pending deposit after the
// verifier was set up and had looked once, and keeps the check locked: the
// next lookups see them all (lookups never lock, so a record another
// program holds is still a duplicate, not missed).
TEST_F(VerifyDuplicates, SeesWhatASecondProgramEntersMeanwhileAndHoldsLocked) {
  const std::string lookups[] = {"C B1 555", "D B1 2026-02-01 X5", "D B1 2026-02-02 X5"};
  bkVerifyDuplicates v;
  std::unique_ptr<Lent> lent;
  ASSERT_EQ(Said(Initialize(v, co, 'C', lent)), "0");
  std::string got;
  for (const auto& row : lookups) got += Ask(v, row) + "\n";
  auto other = bktest::ChildProcess::Start([folder = co.folder] {
    tsioFileManager fm(folder);
    tsioDataFile *bkt = nullptr, *bkm = nullptr;
    if (fm.Open(BKTFileSpec, &bkt) != tsioStatus::kSuccess || fm.Open(BKMFileSpec, &bkm) != tsioStatus::kSuccess) {
      return 1;
    }
    Add(*bkt, "C B1 50 1 555");
    Add(*bkt, "D B1 51 1 2026-02-01 X5");
    Add(*bkm, "P B1 2026-02-02 X5");
    Transaction t(*bkt);
    (void)bkdetailtest::Set(t.m_Record, "TBNKACC=B1;TRUN=50;TSEQ=1");
    bktest::ChildProcess::WriteLine(std::to_string(t.FetchEQ(true)));
    (void)bktest::ChildProcess::ReadLine();
    return 0;
  });
  ASSERT_EQ(other.Receive(), "0");
  for (const auto& row : lookups) got += Ask(v, row) + "\n";
  EXPECT_EQ(got, "none 0\nnone 0\nnone 0\nregister 3 | 2202/3\nregister 3 | 2203/3\npending 3 | 2203/3\n");
  other.Send("end");
  EXPECT_EQ(other.Wait(), 0);
}

// Every way the set-up can go wrong. A history that cannot be opened is a
// warning, 2207 when there is none (from every form), 2206 for any other
// failure (an I/O error on the verifier's fourth open: the company, the
// master file, the register, the history); afterwards no lookup searches
// history. A hard failure is an error 2200 naming what failed, and a
// verifier left that way answers every lookup with 2201 (level 4), never
// with "no duplicate".
TEST_F(VerifyDuplicates, EverySetUpThatFailsSaysSoAndNeverAnswersNoDuplicate) {
  const std::string no_history = "2 | 2207/2 There is no history file; Checks will not be compared with history.";
  const std::string cannot_read = "none 4 | 2201/4, none 4 | 2201/4";
  const struct {
    const char* what;
    bool with_history, with_master;
    tsioOp fault;  // kCount: none
    int nth;
    const char* forms;
    std::string said, answers = "none 0, none 0";
  } kSetUps[] = {
      {"no history", false, true, tsioOp::kCount, 0, "FCR", no_history},
      {"history unopenable", true, true, tsioOp::kOpen, 4, "F",
       "2 | 2206/2 The history file could not be opened (" + ccIOStatusStr(tsioStatus::kIOError) +
           "); Checks will not be compared with history."},
      {"no master file", true, false, tsioOp::kCount, 0, "F", "3 | 2200/3 Master", cannot_read},
      {"settings unreadable", true, true, tsioOp::kHeaderRead, 1, "F", "3 | 2200/3 BK Master", cannot_read},
      {"no such register", true, true, tsioOp::kCount, 0, "N", "3 | 2200/3 Register", cannot_read},
      {"no register cursors", true, true, tsioOp::kCount, 0, "0", "3 | 2200/3 Register", cannot_read},
  };
  for (const auto& s : kSetUps) {
    for (const char* form = s.forms; *form != 0; ++form) {
      SCOPED_TRACE(*form + std::string(s.what));
      DuplicatesCompany company(s.with_history, s.with_master);
      if (s.with_master) company.HistoryOptions(true, true);
      if (s.fault != tsioOp::kCount) tsioFaults::Arm(s.fault, tsioStatus::kIOError, s.nth);
      bkVerifyDuplicates v;
      std::unique_ptr<Lent> lent;
      const Level init = Initialize(v, company, *form, lent);
      tsioFaults::Clear();
      const bool error = init.Value() == ccError::kError;  // then only the file named: "the <name> file"
      const std::string text = error ? init.Errors()[0].Text() : "";
      const size_t at = error ? text.find("the ") + 3 : 0;  // the blank before the name
      EXPECT_EQ(Said(init, !error) + text.substr(at, text.find(" file", at) - at), s.said);
      EXPECT_EQ(Ask(v, "C B1 400") + ", " + Ask(v, "D B1 2026-01-06 H1"), s.answers);
    }
  }
}

// Each fetch a lookup makes, failing in turn, gives 2201 naming the file and
// what was looked for, at level 4.
TEST_F(VerifyDuplicates, ALookupThatCannotReadIsAFailureNotAnAnswer) {
  // The lookup, its fetch that fails, what the message says it looked for.
  const std::tuple<const char*, int, const char*> kSteps[] = {
      {"C B1 999", 1, "duplicate Check in the Register file"}, {"C B1 999", 2, "duplicate Check in the History file"},
      {"C B1 100 B1 1 1", 2, "duplicate Check in the Register file"},  // stepping over the edited check
      {"D B1 2026-03-01 N1", 1, "duplicate Deposit in the Register file"},
      {"D B1 2026-03-01 N1", 2, "duplicate Pending Deposit in the Master file"},
      {"D B1 2026-03-01 N1", 3, "duplicate Deposit in the History file"},
  };
  for (char form : {'F', 'C'}) {
    bkVerifyDuplicates v;
    std::unique_ptr<Lent> lent;
    ASSERT_EQ(Said(Initialize(v, co, form, lent)), "0");
    for (const auto& [row, nth, text] : kSteps) {
      for (tsioStatus::Status status : {tsioStatus::kDamaged, tsioStatus::kLocked, tsioStatus::kIOError}) {
        tsioFaults::Arm(tsioOp::kFetch, status, nth);
        EXPECT_EQ(Ask(v, row, true), std::string("none 4 | 2201/4 Could not look for a ") + text + ": " +
                                         ccIOStatusStr(status) + ".")
            << form << " " << row << ", fetch " << nth << " fails";
        tsioFaults::Clear();
      }
    }
  }
}

// The verifier deletes the cursors it made and closes the files it opened
// (the master file and history when it was lent the register cursors
// only; a history in another company folder, an archive, named by its file
// information); what the caller lent stays open and usable.
TEST_F(VerifyDuplicates, OpensWhatItNeedsClosesWhatItOpenedAndLeavesBorrowedCursorsAlone) {
  DuplicatesCompany archive;
  Add(*archive.history, "C B1 9 1 4242");
  TSGetApp()->SetCompanyFolder(co.folder);
  Lent lent(co);
  std::vector<short> own;
  {
    bkVerifyDuplicates v;
    ASSERT_EQ(v.initialize(&lent.settings, &lent.reg_checks, &lent.reg_deposits).Value(), ccError::kNone);
    ASSERT_TRUE(v.MasterFile() && v.HistoryFile() && v.MasterFile() != co.bkm);
    own = {v.MasterFile()->FileNum(), v.HistoryFile()->FileNum()};
    const tsioFileInfo master = co.bkm->Info(), history = archive.history->Info();
    bkVerifyDuplicates archived;
    ASSERT_EQ(Said(archived.initialize(co.bkt->Info(), &master, &history)), "0");
    own.push_back(archived.HistoryFile()->FileNum());
    EXPECT_EQ(Ask(archived, "C B1 4242"), "history 3 | 2202/3");
  }
  for (short number : own) EXPECT_EQ(tsioDataFile::ByNumber(number), nullptr) << number;
  EXPECT_TRUE(co.bkt->IsOpen() && co.bkm->IsOpen());
  ASSERT_TRUE(bkdetailtest::Set(lent.reg_checks.m_Record, "TBNKACC=B1;TCHECK=101"));
  const std::string fetched = std::to_string(lent.reg_checks.FetchEQ(false));
  EXPECT_EQ(fetched + " " + lent.reg_checks.m_Record.GetSequence().Format() + " " +
                std::to_string(lent.reg_deposits.FetchFirst(false)),
            "0 2 0");
}

// The macro keeps "search history": written as 1 with the history file
// registered when history was open, as 0 when it was not; a verifier that
// reads 0 does not open history even though the settings ask for it.
TEST_F(VerifyDuplicates, MacroOptionsKeepWhetherHistoryIsSearched) {
  bkVerifyDuplicatesMacroData data;
  data.SetSearchHistory(0x01020304);
  EXPECT_EQ(data.Save(), (std::vector<unsigned char>{4, 3, 2, 1}));
  EXPECT_TRUE(!data.Load({1, 0, 0}) && data.GetSearchHistory() == 0x01020304) << "a refused block changed the option";
  tsTask task("enter checks", tsTask::kNoFlags, 7321);
  for (const bool with_history : {true, false}) {
    DuplicatesCompany company(with_history);
    company.HistoryOptions(true, false);
    bkVerifyDuplicates v;
    v.Init(task);
    v.readMacroOptions();  // nothing stored yet: the default, 1, is read
    EXPECT_EQ(v.initialize(company.bkt->Info()).Value(), with_history ? ccError::kNone : ccError::kWarning);
    v.writeMacroOptions();
    EXPECT_EQ(data.Read(task.CommandID(), 50, 1), tsioStatus::kSuccess);
    EXPECT_EQ(data.GetSearchHistory(), with_history ? 1 : 0);
    if (with_history) {
      std::string files;
      for (const auto& f : xm_files(task.CommandID())) files += f.file_id + " " + std::to_string(f.file_number) + ";";
      EXPECT_EQ(files, "BKT.2 " + std::to_string(v.HistoryFile()->FileNum()) + ";");
      continue;
    }
    // Replaying: the history is there now, but the macro says not to search it.
    tsioFileManager creator(company.folder);
    ASSERT_EQ(creator.Create(BKTHistoryFileSpec), tsioStatus::kSuccess);
    bkVerifyDuplicates replay;
    replay.Init(task);
    replay.readMacroOptions();
    EXPECT_EQ(Said(replay.initialize(company.bkt->Info())), "0");
    EXPECT_FALSE(replay.HistoryFile() || replay.CheckHistory());
  }
}

using Key = std::tuple<std::string, long long, long long, long long>;  // bank, run, sequence, issue
using Model = std::map<Key, long long>;                               // -> ODBC marker

constexpr const char kKeyColumns[] = "TBNKACC;TRUN;TSEQ;ISSUE2";

class IssueFile : public ::testing::Test {
 protected:
  void TearDown() override { tsioFaults::Clear(); }

  void Put(const Key& key, long long marker) {
    bkdetailtest::Put<TransactionIssue>(*co.bkz, Columns(key) + ";R2ODBC=" + std::to_string(marker));
    model[key] = marker;
  }
  static std::string Columns(const Key& key) {
    const auto& [bank, run, seq, issue] = key;
    return "TBNKACC=" + bank + ";TRUN=" + std::to_string(run) + ";TSEQ=" + std::to_string(seq) +
           ";ISSUE2=" + std::to_string(issue);
  }
  // What the file holds, read through a cursor of its own.
  Model Stored() const {
    Model m;
    TransactionIssue c(*co.bkz);
    for (auto st = c.FetchFirst(false); st == tsioStatus::kSuccess; st = c.FetchNext(false)) {
      const TransactionIssueData& r = c.m_Record;
      m[{r.GetBankAccount().str(), r.GetRun().ToLongLong(), r.GetSequence().ToLongLong(),
         r.GetIssueNumber().ToLongLong()}] = r.GetTouchedByODBC().ToLongLong();
    }
    return m;
  }

  bktest::BankCompany co;
  Model model;
};

// First a second program holds an issue's record lock: its remap changes
// nothing. Then random remaps through cursors over every column or the
// key's alone, many with a fault injected at one of their steps (reading the
// record, the delete, the insert, the commit), some onto taken keys, some
// inside the caller's units of work that are then committed or rolled back.
// After every step the file equals the model: a failed remap changed nothing
// (the cursor still on the old key), a successful one moved exactly one
// issue with its number and marker (the cursor on the new key, from where it
// may be moved on again).
TEST_F(IssueFile, RemapNeverLosesOrDoublesAnIssueWhateverStepFails) {
  for (long long i = 0; i < 24; ++i) Put({i % 2 ? "B1" : "B2", 1 + i % 3, 1 + i % 4, 100 + i % 5}, i % 2);
  auto holder = bkdetailtest::HoldLock<TransactionIssue>(co.fm.Folder(), Columns({"B1", 2, 2, 101}), BKZFileSpec);
  {
    TransactionIssue c(*co.bkz);
    ASSERT_TRUE(bkdetailtest::Set(c.m_Record, Columns({"B1", 2, 2, 101})));
    ASSERT_EQ(c.FetchEQ(false), tsioStatus::kSuccess);
    EXPECT_EQ(c.RemapIssue(tsDouble(8, 0), tsDouble(1, 0)), tsioStatus::kLocked);
    EXPECT_EQ(Stored(), model);
    holder.Send("end");
    EXPECT_EQ(holder.Wait(), 0);
  }
  std::mt19937 rng(1234);
  const tsioOp kSteps[] = {tsioOp::kFetch, tsioOp::kDelete, tsioOp::kInsert, tsioOp::kCommit};
  const tsioStatus::Status kFailures[] = {tsioStatus::kIOError, tsioStatus::kLocked, tsioStatus::kDamaged,
                                          tsioStatus::kBusy};
  std::map<std::string, int> outcomes;
  for (int unit_no = 0; unit_no < 40; ++unit_no) {
    const bool in_unit = unit_no % 3 != 0;
    tclRollbackStack unit;
    const Model before_unit = model;
    for (int op = 0; op < 6; ++op) {
      const auto [from, marker] = *std::next(model.begin(), static_cast<long>(rng() % model.size()));
      const long long run = 1 + static_cast<long long>(rng() % 3), seq = 1 + static_cast<long long>(rng() % 4);
      TransactionIssue c(*co.bkz, rng() % 2 ? "" : kKeyColumns);
      if (in_unit) c.AttachRollbackStack(&unit);
      ASSERT_TRUE(bkdetailtest::Set(c.m_Record, Columns(from)));
      ASSERT_EQ(c.FetchEQ(false), tsioStatus::kSuccess);
      const Key to{std::get<0>(from), run, seq, std::get<3>(from)};
      const bool target_taken = to != from && model.count(to) != 0;
      Key at = from;  // where the cursor is afterwards
      const tsioOp step = kSteps[rng() % 4];
      const tsioStatus::Status injected = rng() % 2 ? tsioStatus::kSuccess : kFailures[rng() % 4];
      if (injected != tsioStatus::kSuccess) tsioFaults::Arm(step, injected);
      // The commit comes after the insert, which fails first on a taken key.
      const bool fault = injected != tsioStatus::kSuccess && !(target_taken && step == tsioOp::kCommit);
      const tsioStatus::Status st = c.RemapIssue(tsDouble(run, 0), tsDouble(seq, 0));
      tsioFaults::Clear();
      if (fault || target_taken) {
        EXPECT_EQ(st, fault ? injected : tsioStatus::kDuplicateKey);
        ++outcomes[fault ? "failed" : "taken"];
      } else {
        ASSERT_EQ(st, tsioStatus::kSuccess);
        model.erase(from);
        model[at = to] = marker;
        ++outcomes["moved"];
        const Key further{std::get<0>(to), run + 3, seq, std::get<3>(to)};
        if (rng() % 3 == 0 && model.count(further) == 0) {
          ASSERT_EQ(c.RemapIssue(tsDouble(run + 3, 0), tsDouble(seq, 0)), tsioStatus::kSuccess);
          model.erase(to);
          model[at = further] = marker;
          ++outcomes["moved on"];
        }
      }
      EXPECT_EQ(std::pair(c.m_Record.GetRun().ToLongLong(), c.m_Record.GetSequence().ToLongLong()),
                std::pair(std::get<1>(at), std::get<2>(at)));
      ASSERT_EQ(Stored(), model) << "unit " << unit_no << " op " << op;
    }
    if (in_unit && unit_no % 2 == 0) {
      ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
      model = before_unit;
    } else {
      ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
    }
    ASSERT_EQ(Stored(), model) << "after unit " << unit_no;
  }
  // Enough of every outcome.
  EXPECT_TRUE(outcomes["failed"] > 40 && outcomes["taken"] > 5 && outcomes["moved"] > 40 && outcomes["moved on"] > 5)
      << outcomes["failed"] << " failed, " << outcomes["taken"] << " taken, " << outcomes["moved"] << " moved, "
      << outcomes["moved on"] << " moved on";
}

}  // namespace
