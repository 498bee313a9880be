// Deposits and withdrawals entered in this module, with their detail lines
// on a real transaction file and the general-ledger module loaded: no
// lines, lines that do not add up by one cent, a line whose deposit item is
// missing, account checks per line; lines that cannot be read (faults, a
// line another program holds, a damaged database) never let a transaction
// pass; validation writes nothing and holds no lock.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <dirent.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "framework/io/faults.h"
#include "records/relations.h"
#include "validation/validation_test_support.h"

namespace {

using vtest::Blank;
using vtest::Msg;

const Msg kNoDepositLines{1611, "The Deposit has no deposit item detail; at least one is required."};
const Msg kNoItem{1611, "The Deposit item detail has no deposit item; at least one is required."};
const Msg kDepositSum{1612, "The deposit item detail amounts do not add up to the transaction amount."};
const Msg kNoWithdrawalLines{1611, "The Withdrawal has no withdrawal detail; at least one is required."};
const Msg kWithdrawalSum{1612, "The withdrawal detail amounts do not add up to the transaction amount."};

Msg ReadError(const char* what, const char* status) {
  return Msg{1614, std::string("Could not read the ") + what + " record: " + status + "."};
}

class Details : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(gltest::LoadLedgerModule(), 0);
    company.SetInterface(true);
  }
  void TearDown() override { tsioFaults::Clear(); }

  // Validates the stored transaction `record` through its cursor.
  ccStatus<ccError::Level> Validate(const TransactionData& record) {
    Transaction t(company.Bkt());
    vtest::Fetch(t, record);
    return t.Validate(company.Program());
  }

  vtest::Company company;
  tsioDataFile& bkt = company.Bkt();
};

// A deposit of 300.00 in two items (200.00 and 100.00) whose lines credit
// sales and fees.
TransactionData StandardDeposit(tsioDataFile& bkt, int seq) {
  TransactionData d = vtest::ModuleDeposit(seq);
  vtest::Insert(bkt, d);
  vtest::InsertItem(bkt, d, 1, "200.00");
  vtest::InsertItem(bkt, d, 2, "100.00");
  vtest::InsertItemDetail(bkt, d, 1, vtest::kSales, "150.00");
  vtest::InsertItemDetail(bkt, d, 1, vtest::kFees, "50.00");
  vtest::InsertItemDetail(bkt, d, 2, vtest::kSales, "100.00");
  return d;
}

TEST_F(Details, DepositLines) {
  using namespace vtest;
  struct Case {
    const char* what;
    void (*lines)(tsioDataFile&, const TransactionData&);
    std::vector<Msg> expected;
  };
  const std::vector<Case> cases = {
      {"lines add up", [](tsioDataFile& f, const TransactionData& d) {
         InsertItem(f, d, 1, "300.00");
         InsertItemDetail(f, d, 1, kSales, "299.99");
         InsertItemDetail(f, d, 1, kFees, "0.01");
       },
       {}},
      {"no lines", [](tsioDataFile& f, const TransactionData& d) { InsertItem(f, d, 1, "300.00"); },
       {kNoDepositLines}},
      {"one cent short", [](tsioDataFile& f, const TransactionData& d) {
         InsertItem(f, d, 1, "300.00");
         InsertItemDetail(f, d, 1, kSales, "200.00");
         InsertItemDetail(f, d, 1, kFees, "99.99");
       },
       {kDepositSum}},
      {"one cent over", [](tsioDataFile& f, const TransactionData& d) {
         InsertItem(f, d, 1, "300.00");
         InsertItemDetail(f, d, 1, kSales, "300.01");
       },
       {kDepositSum}},
      {"a line whose item is missing: no sum check after it", [](tsioDataFile& f, const TransactionData& d) {
         InsertItem(f, d, 1, "100.00");
         InsertItemDetail(f, d, 1, kSales, "100.00");
         InsertItemDetail(f, d, 2, kSales, "100.00");
       },
       {kNoItem}},
      {"a line crediting another company without intercompany accounts",
       [](tsioDataFile& f, const TransactionData& d) {
         InsertItem(f, d, 1, "300.00");
         InsertItemDetail(f, d, 1, kOther, "300.00");
       },
       {Blank("I/C Receivable Account"), Blank("I/C Payable Account")}},
      {"a line crediting another company with intercompany accounts",
       [](tsioDataFile& f, const TransactionData& d) {
         InsertItem(f, d, 1, "300.00");
         InsertItemDetail(f, d, 1, kOther, "300.00", kDueFrom, kDueTo);
       },
       {}},
      {"intercompany accounts on a line of the same company", [](tsioDataFile& f, const TransactionData& d) {
         InsertItem(f, d, 1, "300.00");
         InsertItemDetail(f, d, 1, kSales, "300.00", "", kDueTo);
       },
       {vtest::NonBlank("I/C Payable", "blank")}},
      {"an unknown prefix on a line", [](tsioDataFile& f, const TransactionData& d) {
         InsertItem(f, d, 1, "300.00");
         InsertItemDetail(f, d, 1, kUnknown, "300.00");
       },
       {Msg{1627, "General Ledger could not build the intercompany account: The prefix of the second account is "
                  "not set up in General Ledger."}}},
  };
  int seq = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TransactionData d = ModuleDeposit(seq++);
    Insert(bkt, d);
    c.lines(bkt, d);
    auto st = Validate(d);
    EXPECT_EQ(Messages(st.Errors()), c.expected) << Describe(st.Errors());
    EXPECT_EQ(st.Value(), c.expected.empty() ? ccError::kNone : ccError::kError);
  }
}

TEST_F(Details, WithdrawalLines) {
  using namespace vtest;
  struct Case {
    const char* what;
    const char* addition;
    void (*lines)(tsioDataFile&, const TransactionData&);
    std::vector<Msg> expected;
  };
  const std::vector<Case> cases = {
      {"details add up to the subtraction", "0",
       [](tsioDataFile& f, const TransactionData& d) {
         InsertWithdrawalDetail(f, d, kRent, "50.00");
         InsertWithdrawalDetail(f, d, kFees, "25.00");
       },
       {}},
      {"no details", "0", [](tsioDataFile&, const TransactionData&) {}, {kNoWithdrawalLines}},
      {"one cent short", "0",
       [](tsioDataFile& f, const TransactionData& d) {
         InsertWithdrawalDetail(f, d, kRent, "50.00");
         InsertWithdrawalDetail(f, d, kFees, "24.99");
       },
       {kWithdrawalSum}},
      {"a detail of the wrong sign", "0",
       [](tsioDataFile& f, const TransactionData& d) { InsertWithdrawalDetail(f, d, kRent, "-75.00"); },
       {kWithdrawalSum}},
      {"a detail debiting another company without intercompany accounts", "0",
       [](tsioDataFile& f, const TransactionData& d) { InsertWithdrawalDetail(f, d, kOther, "75.00"); },
       {Blank("I/C Receivable Account"), Blank("I/C Payable Account")}},
      {"a detail debiting another company with intercompany accounts", "0",
       [](tsioDataFile& f, const TransactionData& d) {
         InsertWithdrawalDetail(f, d, kOther, "75.00", kDueFrom, kDueTo);
       },
       {}},
      // An addition is refused first; no detail is checked after that error.
      {"an addition", "5.00",
       [](tsioDataFile& f, const TransactionData& d) { InsertWithdrawalDetail(f, d, kOther, "1.00"); },
       {NonBlank("Addition", "zero")}},
  };
  int seq = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TransactionData w = ModuleWithdrawal(seq++);
    w.SetAddition(tsCurrency::FromText(c.addition));
    Insert(bkt, w);
    c.lines(bkt, w);
    auto st = Validate(w);
    EXPECT_EQ(Messages(st.Errors()), c.expected) << Describe(st.Errors());
  }
}

// Details are read only by a validater that holds the transaction's
// cursor, for transactions entered in this module while the interface is
// active.
TEST_F(Details, WhenDetailsAreRead) {
  TransactionData d = vtest::ModuleDeposit(1);  // no lines at all
  vtest::Insert(bkt, d);
  TransactionData w = vtest::ModuleWithdrawal(2);
  vtest::Insert(bkt, w);

  // Through the cursor, and afterwards through the record the cursor holds
  // (the validater is kept with its cursor, as when the record is saved).
  for (const TransactionData* r : {&d, &w}) {
    Transaction t(bkt);
    vtest::Fetch(t, *r);
    EXPECT_EQ(t.Validate(company.Program()).Errors().Size(), 1u);
    auto again = t.m_Record.Validate(company.Program(), nullptr);
    ASSERT_EQ(again.Errors().Size(), 1u);
    EXPECT_EQ(again.Errors()[0].Number(), 1611);
  }

  // A record validated on its own, before or without its cursor: only the
  // type-independent rules (the record's own accounts are not the
  // transaction's distribution).
  for (const TransactionData* r : {&d, &w}) {
    Transaction t(bkt);
    vtest::Fetch(t, *r);
    EXPECT_TRUE(t.m_Record.Validate(company.Program(), nullptr).Errors().Empty());
    EXPECT_EQ(t.Validate(company.Program()).Errors().Size(), 1u) << "the cursor's validater replaces it";
  }

  // Entered by another application, or with the interface inactive: the
  // transaction's own accounts, no details.
  for (const TransactionData* r : {&d, &w}) {
    Transaction t(bkt);
    vtest::Fetch(t, *r);
    t.m_Record.SetApplOfOrigin(tsAlpha("AR"));
    EXPECT_TRUE(t.Validate(company.Program()).Errors().Empty());
  }
  company.SetInterface(false);
  for (const TransactionData* r : {&d, &w}) {
    Transaction t(bkt);
    vtest::Fetch(t, *r);
    EXPECT_TRUE(t.Validate(company.Program()).Errors().Empty());
  }
}

// Lines in a closed period: the check runs for every line and the
// transaction passes with warnings.
TEST_F(Details, LinesInAClosedPeriodPassWithWarnings) {
  TransactionData d = vtest::ModuleDeposit(1);
  d.SetAccountingDate(vtest::ClosedWarningDate());
  vtest::Insert(bkt, d);
  vtest::InsertItem(bkt, d, 1, "300.00");
  vtest::InsertItemDetail(bkt, d, 1, vtest::kSales, "200.00");
  vtest::InsertItemDetail(bkt, d, 1, vtest::kFees, "100.00");
  auto st = Validate(d);
  EXPECT_EQ(st.Value(), ccError::kWarning) << vtest::Describe(st.Errors());
  ASSERT_EQ(st.Errors().Size(), 4u) << vtest::Describe(st.Errors());
  for (size_t i = 0; i < 4; i += 2) {
    EXPECT_EQ(st.Errors()[i].Number(), 1605);
    EXPECT_EQ(st.Errors()[i + 1].Text(), "Deposit transaction for Bank \"FIRST\" uses this date.");
  }
}

// A line or item that cannot be read ends the check with an error, wherever
// the walk is. The GL master file is closed here, so no period check reads
// it and the only fetches are the walk's: deposit 1 first line, 2 its item,
// 3 next line, 4 its item, 5 end; withdrawal 1 first, 2 next, 3 end.
TEST_F(Details, UnreadableLinesNeverPass) {
  company.Program().FileManager().Close(GLMFileSpec);
  TransactionData d = vtest::ModuleDeposit(1);
  d.SetDebitAccount(tsAlpha(""));
  vtest::Insert(bkt, d);
  vtest::InsertItem(bkt, d, 1, "200.00");
  vtest::InsertItem(bkt, d, 2, "100.00");
  vtest::InsertItemDetail(bkt, d, 1, "", "200.00");
  vtest::InsertItemDetail(bkt, d, 2, "", "100.00");
  TransactionData w = vtest::ModuleWithdrawal(2);
  w.SetCreditAccount(tsAlpha(""));
  vtest::Insert(bkt, w);
  vtest::InsertWithdrawalDetail(bkt, w, "A", "50.00");
  vtest::InsertWithdrawalDetail(bkt, w, "B", "25.00");
  (void)zc_interface_active("BK", "GL");  // the interface setting is read before faults are armed

  const char* const damaged = "the data file is damaged (16)";
  const char* const io_error = "the data file could not be read or written (2)";
  const char* const busy = "the data is busy in another program (10)";
  struct Case {
    const char* what;
    const TransactionData* record;
    int nth;
    tsioStatus::Status status;
    std::vector<Msg> expected;
    ccError::Level level;
  };
  const std::vector<Case> cases = {
      {"deposit: nothing is armed", &d, 0, tsioStatus::kSuccess, {}, ccError::kNone},
      {"deposit: nothing is read after the end", &d, 6, tsioStatus::kDamaged, {}, ccError::kNone},
      {"deposit: first line damaged", &d, 1, tsioStatus::kDamaged,
       {ReadError("deposit item detail", damaged)}, ccError::kFatal},
      {"deposit: first line: nothing found", &d, 1, tsioStatus::kEndOfFile, {kNoDepositLines}, ccError::kError},
      {"deposit: first item damaged", &d, 2, tsioStatus::kDamaged, {ReadError("deposit item", damaged)},
       ccError::kFatal},
      {"deposit: first item not found", &d, 2, tsioStatus::kNotFound, {kNoItem}, ccError::kError},
      {"deposit: second line I/O error", &d, 3, tsioStatus::kIOError,
       {ReadError("deposit item detail", io_error)}, ccError::kFatal},
      {"deposit: second line busy", &d, 3, tsioStatus::kBusy, {ReadError("deposit item detail", busy)},
       ccError::kError},
      {"deposit: second item I/O error", &d, 4, tsioStatus::kIOError, {ReadError("deposit item", io_error)},
       ccError::kFatal},
      {"deposit: the end of the lines damaged, after lines that add up", &d, 5, tsioStatus::kDamaged,
       {ReadError("deposit item detail", damaged)}, ccError::kFatal},
      {"withdrawal: nothing is read after the end", &w, 4, tsioStatus::kDamaged, {}, ccError::kNone},
      {"withdrawal: first detail damaged", &w, 1, tsioStatus::kDamaged,
       {ReadError("withdrawal detail", damaged)}, ccError::kFatal},
      {"withdrawal: second detail busy", &w, 2, tsioStatus::kBusy, {ReadError("withdrawal detail", busy)},
       ccError::kError},
      {"withdrawal: the end damaged, after details that add up", &w, 3, tsioStatus::kDamaged,
       {ReadError("withdrawal detail", damaged)}, ccError::kFatal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Transaction t(bkt);
    vtest::Fetch(t, *c.record);
    if (c.nth > 0) tsioFaults::Arm(tsioOp::kFetch, c.status, c.nth);
    auto st = t.Validate(company.Program());
    tsioFaults::Clear();
    EXPECT_EQ(vtest::Messages(st.Errors()), c.expected) << vtest::Describe(st.Errors());
    EXPECT_EQ(st.Value(), c.level);
    if (!c.expected.empty() && !st.Errors().Empty()) {
      EXPECT_EQ(st.Errors()[0].GetLevel(), c.level);
    }
  }
}

// A line another program holds locked (it is changing or moving it) is not
// taken as read: the deposit does not pass until that program lets go.
TEST_F(Details, ALineAnotherProgramHoldsDoesNotPass) {
  TransactionData d = StandardDeposit(bkt, 1);
  const std::string folder = company.Folder();
  auto holder = bktest::ChildProcess::Start([folder]() -> int {
    tsioFileManager fm(folder);
    tsioDataFile* f = nullptr;
    if (fm.Open(BKTFileSpec, &f) != tsioStatus::kSuccess) return 1;
    DepositItemDetail line(*f);
    line.m_Record.SetBankAccount(tsAlpha("FIRST"));
    line.m_Record.SetRun(tsDouble(1));
    line.m_Record.SetSequence(tsDouble(1));
    line.m_Record.SetDepositItemNumber(tsDouble(2));
    line.m_Record.SetCreditAccount(tsAlpha(vtest::kSales));
    bktest::ChildProcess::WriteLine(std::to_string(line.FetchEQ(true)));
    (void)bktest::ChildProcess::ReadLine();  // hold until killed
    return 0;
  });
  ASSERT_EQ(holder.Receive(), "0");

  auto st = Validate(d);
  EXPECT_EQ(vtest::Messages(st.Errors()),
            (std::vector<Msg>{ReadError("deposit item detail", "record locked by another program (9)")}))
      << vtest::Describe(st.Errors());
  EXPECT_EQ(st.Value(), ccError::kError);

  holder.Kill(SIGKILL);
  EXPECT_EQ(holder.Wait(), -SIGKILL);
  st = Validate(d);
  EXPECT_TRUE(st.Errors().Empty()) << vtest::Describe(st.Errors());
}

// A damaged database: the page that holds the deposit's lines is broken
// on disk, and a program that opens the company afresh validates it.
TEST_F(Details, ALineInADamagedDatabaseDoesNotPass) {
  TransactionData d = vtest::ModuleDeposit(1);
  d.SetDebitAccount(tsAlpha(""));
  vtest::Insert(bkt, d);
  vtest::InsertItem(bkt, d, 1, "300.00");
  vtest::InsertItemDetail(bkt, d, 1, "", "300.00");
  const std::string db = company.Folder() + "/company.db";

  // Every change into the database file itself, then the lines' root page
  // broken (its page type byte made invalid).
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(raw, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr), SQLITE_OK);
  long page = 0, page_size = 0;
  auto single = [&](const char* sql) {
    sqlite3_stmt* s = nullptr;
    long v = 0;
    if (sqlite3_prepare_v2(raw, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
      v = sqlite3_column_int64(s, 0);
    }
    sqlite3_finalize(s);
    return v;
  };
  page = single("SELECT rootpage FROM sqlite_master WHERE name = 'f_BKT_1_r3'");
  page_size = single("PRAGMA page_size");
  sqlite3_close(raw);
  ASSERT_GT(page, 1);
  ASSERT_GT(page_size, 0);
  {
    std::fstream f(db, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp((page - 1) * page_size);
    const char broken = 0x7f;
    f.write(&broken, 1);
    ASSERT_TRUE(f.good());
  }

  auto child = bktest::ChildProcess::Start([]() -> int {
    bkProgram program(vtest::kCommand + 2);
    if (program.OpenFiles() != kBoolSuccess) return 1;
    Transaction t(*program.File(BKTFileSpec));
    t.m_Record.SetBankAccount(tsAlpha("FIRST"));
    t.m_Record.SetRun(tsDouble(1));
    t.m_Record.SetSequence(tsDouble(1));
    if (t.FetchEQ(false) != tsioStatus::kSuccess) return 2;
    auto st = t.Validate(program);
    bktest::ChildProcess::WriteLine(std::to_string(st.Value()));
    for (const ccError& e : st.Errors()) bktest::ChildProcess::WriteLine(e.Text());
    bktest::ChildProcess::WriteLine("end");
    return 0;
  });
  EXPECT_EQ(child.Receive(), std::to_string(ccError::kFatal));
  EXPECT_EQ(child.Receive(), ReadError("deposit item detail", "the data file is damaged (16)").text);
  EXPECT_EQ(child.Receive(), "end");
  EXPECT_EQ(child.Wait(), 0);
}

// The contents of every file of the company folder (the shared-memory
// index of the write-ahead log excepted: readers note themselves there).
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return files;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == ".." || name.ends_with("-shm")) continue;
    std::ifstream in(folder + "/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    files[name] = s.str();
  }
  closedir(dir);
  return files;
}

TEST_F(Details, ValidationWritesNothingAndHoldsNoLock) {
  TransactionData good = StandardDeposit(bkt, 1);
  TransactionData closed = vtest::ModuleDeposit(2);
  closed.SetAccountingDate(vtest::ClosedWarningDate());
  vtest::Insert(bkt, closed);
  vtest::InsertItem(bkt, closed, 1, "300.00");
  vtest::InsertItemDetail(bkt, closed, 1, vtest::kOther, "300.00");  // intercompany accounts missing
  TransactionData w = vtest::ModuleWithdrawal(3);
  vtest::Insert(bkt, w);
  vtest::InsertWithdrawalDetail(bkt, w, vtest::kRent, "75.00");
  TransactionData check;
  vtest::FillValid(check, vtest::Kind::kCheck, 4);
  check.SetDebitAccount(tsAlpha(vtest::kCash));
  check.SetCreditAccount(tsAlpha(vtest::kSister));
  check.SetAccountingDate(vtest::ClosedWarningDate());
  vtest::Insert(bkt, check);

  const auto before = Snapshot(company.Folder());
  ASSERT_TRUE(before.count("company.db"));
  for (int round = 0; round < 2; ++round) {
    EXPECT_TRUE(Validate(good).Errors().Empty());
    EXPECT_EQ(Validate(closed).Value(), ccError::kError);
    EXPECT_TRUE(Validate(w).Errors().Empty());
    EXPECT_EQ(Validate(check).Value(), ccError::kWarning);
  }
  EXPECT_TRUE(Snapshot(company.Folder()) == before) << "a file of the company changed";

  // Another handle can lock every line: validation left none locked.
  tsioDataFile second(bkt.FileName());
  ASSERT_TRUE(second.IsOpen());
  DepositItemDetail lines(second);
  Transaction t(second);
  vtest::Fetch(t, good);
  int n = 0;
  for (auto st = lines.FetchFirstOf(static_cast<const bkCursorBase&>(t), TransactionDepositItemDetailsRel, true);
       st == tsioStatus::kSuccess;
       st = lines.FetchNextOf(static_cast<const bkCursorBase&>(t), TransactionDepositItemDetailsRel, true)) {
    ++n;
  }
  EXPECT_EQ(n, 3);
}

}  // namespace
