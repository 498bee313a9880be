// bkreg run as people and scripts run it: a real program on a real company
// folder, its output read back in every format, its lock seen by a second
// running bkreg.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <utility>
#include <vector>

#include "accounts/bank_account.h"
#include "duplicates/pending_deposit.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/cursor.h"
#include "framework/io/header.h"
#include "framework/io/file_manager.h"
#include "records/files.h"
#include "tools/bkreg/bkreg_test_support.h"
#include "tools/bkreg/output.h"
#include "transactions/transaction.h"

namespace {

using bkregtest::Bk;
using bkregtest::Cents;
using bkregtest::Csv;
using bkregtest::Result;
using bkregtest::Prepare;
using bkregtest::Says;

TEST(Bkreg, EntersTransactionsAndShowsTheRegisterInEveryFormat) {
  bktest::TestCompany dir("company");
  std::string co = dir.path();
  EXPECT_EQ(Bk(co, "bank list").status, 2);  // no company yet
  ASSERT_TRUE(Prepare(co, {"init", "bank add B1 --desc 'Main account' --balance 100.00",
                         "enter check --bank B1 --amount 25.50 --check 101 --date 2026-11-02 --desc Rent",
                         "enter deposit --bank B1 --amount 10 --date 2026-11-01",
                         "enter adjustment --bank B1 --amount -0.25 --date 2026-11-03"}));
  // Exists already, no such bank, a check without its number, negative, no such kind.
  for (const char* refused : {"bank add B1", "enter check --bank NOPE --amount 1", "enter check --bank B1 --amount 5",
                              "enter check --bank B1 --amount -1", "enter transfer --bank B1 --amount 1",
                              "frobnicate", "--format xml bank list"}) {
    EXPECT_EQ(Bk(co, refused).status, 1) << refused;
  }
  EXPECT_TRUE(Bk(co, "enter check --bank B1 --amount 5").Has("was not entered"));

  // Register order: by date.
  EXPECT_EQ(Bk(co, "--format csv register --bank B1").out,
            "Date,Run,Seq,Type,Number,Description,Amount,State,Posted,Balance\r\n"
            ",,,,,Opening balance,,,,100.00\r\n"
            "2026-11-01,2,1,Deposit,,,10.00,O,no,110.00\r\n"
            "2026-11-02,1,1,Check,101,Rent,-25.50,O,no,84.50\r\n"
            "2026-11-03,3,1,Adjustment,,,-0.25,O,no,84.25\r\n");

  {
    // Created through the library: stamped with the program's run and a
    // sequence of their own each, in batch BKREG of the application that
    // wrote them.
    tsioFileManager fm(co);
    tsioDataFile* bkt = nullptr;
    ASSERT_EQ(fm.Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
    Transaction t(*bkt);
    std::vector<std::string> stamps;
    for (auto st = t.FetchFirst(false); st == tsioStatus::kSuccess; st = t.FetchNext(false)) {
      const TransactionData& r = t.m_Record;
      stamps.push_back(r.GetRun().Format() + "/" + r.GetSequence().Format() + " " + r.GetApplOfOrigin().str() + " " +
                       r.GetBatch().str() + " " + std::to_string(r.GetBatchSource().Value()));
    }
    EXPECT_EQ(stamps, (std::vector<std::string>{"1/1 AP BKREG 1", "2/1 BK BKREG 2", "3/1 BK BKREG 2"}));
  }

  const Result json = Bk(co, "--format json bank list");
  ASSERT_EQ(json.status, 0);
  for (const char* cell : {"\"Register\": 84.25", "\"Open checks\": 25.50", "\"Description\": \"Main account\""}) {
    EXPECT_TRUE(json.Has(cell)) << cell << "\n" << json.out;
  }
  EXPECT_TRUE(Bk(co, "bank list").Has("Checking"));
}

TEST(Bkreg, AnotherRunningBkregSeesTheEditLock) {
  bktest::TestCompany dir("company");
  std::string co = dir.path();
  ASSERT_TRUE(Prepare(co, {"init", "bank add B1"}));
  std::string cmd = bkregtest::Program() + " --company '" + co + "' lock --bank B1";
  FILE* holder = popen(cmd.c_str(), "w");  // holds until its input ends
  ASSERT_NE(holder, nullptr);
  EXPECT_EQ(bkregtest::Until(co, "locked --bank B1", 3).status, 3);
  EXPECT_EQ(Bk(co, "lock --bank B1").status, 3);
  pclose(holder);
  EXPECT_EQ(Bk(co, "locked --bank B1").status, 0);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

// The register of generated transactions, in several units of work: the
// amounts are those the generator documents, every running balance is the
// one before plus the amount, the last is the account's register balance,
// and the aligned text holds the same cells in columns of one width each.
TEST(Bkreg, GeneratedRegisterStreamsTheSameRowsInEveryFormat) {
  bktest::TestCompany dir("company");
  std::string co = dir.path();
  const int n = 250;
  // G0 sorts before G1: the walk starts after it.
  ASSERT_TRUE(Prepare(co, {"init", "bank add G1 --balance 1000.00", "bank add G0",
                         "generate --bank G1 --count 250 --from 2024-01-01 --unit 40", "generate --bank G0 --count 3"}));

  Result csv = Bk(co, "--format csv register --bank G1");
  ASSERT_EQ(csv.status, 0) << csv.out;
  const auto rows = Csv(csv.out);
  ASSERT_EQ(rows.size(), static_cast<size_t>(n + 2));
  long long balance = Cents(rows[1][9]);
  EXPECT_EQ(balance, 100000);
  for (size_t r = 2; r < rows.size(); ++r) {
    ASSERT_EQ(rows[r].size(), 10u) << r;
    EXPECT_LE(rows[r - 1][0], rows[r][0]) << "register order is by date";
    balance += Cents(rows[r][6]);
    ASSERT_EQ(Cents(rows[r][9]), balance) << r;
  }
  EXPECT_EQ(balance, 100000 + bkregtest::GeneratedCents(n));
  EXPECT_TRUE(Bk(co, "--format json bank list").Has("\"Register\": " + rows.back()[9]));

  Result text = Bk(co, "register --bank G1");
  ASSERT_EQ(text.status, 0);
  const auto lines = Lines(text.out);
  ASSERT_EQ(lines.size(), rows.size() + 1);  // the rule under the headings
  for (const auto& l : lines) EXPECT_EQ(l.size(), lines[1].size()) << l;
  // The rule's dashes give the columns; each holds the CSV cell, padded.
  std::vector<std::pair<size_t, size_t>> cols;
  for (size_t at = 0; at < lines[1].size();) {
    const size_t end = std::min(lines[1].find(' ', at), lines[1].size());
    cols.emplace_back(at, end - at);
    at = end + 2;
  }
  ASSERT_EQ(cols.size(), 10u);
  for (size_t r = 1; r < rows.size(); ++r) {
    const auto& cells = rows[r];
    for (size_t c = 0; c < 10; ++c) {
      std::string cell = lines[r + 1].substr(cols[c].first, cols[c].second);
      cell.erase(0, cell.find_first_not_of(' '));
      cell.erase(cell.find_last_not_of(' ') + 1);
      EXPECT_EQ(cell, cells[c]) << "row " << r << " column " << c;
    }
  }
}

// Peak resident memory (MB) of one bkreg run, its output thrown away. Under
// the address sanitizer freed memory would stay held in its quarantine and
// count; the quarantine is turned off for the measured program.
double PeakMegabytes(const std::string& company, const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid == 0) {
    if (!freopen("/dev/null", "w", stdout)) _exit(127);
    const char* asan = getenv("ASAN_OPTIONS");
    const std::string options = std::string(asan ? asan : "") + ":quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
    std::vector<char*> argv;
    const std::string bin = bkregtest::Program(), flag = "--company";
    argv.push_back(const_cast<char*>(bin.c_str()));
    argv.push_back(const_cast<char*>(flag.c_str()));
    argv.push_back(const_cast<char*>(company.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(bin.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The register holds no rows: its peak memory does not grow with the
// register (a listing that kept its rows grew by megabytes per thousand).
TEST(Bkreg, RegisterMemoryDoesNotGrowWithTheRegister) {
  if (bktest::OnServer()) GTEST_SKIP() << "measured on SQLite";
  bktest::TempDir dir;
  std::string small = dir.Sub("small"), large = dir.Sub("large");
  for (const auto& [co, count] : {std::pair{small, 200}, std::pair{large, 20000}}) {
    ASSERT_TRUE(Prepare(co, {"init", "bank add M1", "generate --bank M1 --count " + std::to_string(count)}));
  }
  for (const char* format : {"text", "csv", "json"}) {
    const double a = PeakMegabytes(small, {"--format", format, "register", "--bank", "M1"});
    const double b = PeakMegabytes(large, {"--format", format, "register", "--bank", "M1"});
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_LT(b - a, 12.0) << format << ": " << a << " MB at 200 rows, " << b << " MB at 20,000";
  }
}

TEST(Bkreg, BalanceAsOfADate) {
  bktest::TestCompany dir("company");
  std::string co = dir.path();
  ASSERT_TRUE(Prepare(co, {"init", "bank add B1 --balance 100.00", "enter deposit --bank B1 --amount 10 --date 2026-11-01",
                         "enter check --bank B1 --amount 25.50 --check 101 --date 2026-11-02",
                         "enter adjustment --bank B1 --amount -0.25 --date 2026-11-03"}));
  struct Case {
    const char* args;
    int status;
    const char* line;  // the CSV row after its heading, or a part of the output
  } cases[] = {
      {"balance B1 --as-of 2026-10-31", 0, "B1,2026-10-31,register,100.00\r"},
      {"balance B1 --as-of 2026-11-01", 0, "B1,2026-11-01,register,110.00\r"},
      {"balance --bank B1 --as-of 2026-11-02", 0, "B1,2026-11-02,register,84.50\r"},
      {"balance B1 --as-of 2026-11-03 --kind register", 0, "B1,2026-11-03,register,84.25\r"},
      {"balance B1 --as-of 2026-11-01 --kind bank", 0, "B1,2026-11-01,bank,100.00\r"},
      {"balance B1 --as-of 2026-11-01 --kind reconciled", 0, "B1,2026-11-01,reconciled,100.00\r"},
      // Nothing entered for the general ledger on a cash account: 0.00.
      {"balance B1 --as-of 2026-11-01 --kind cash --cash-account 1000-100", 0, "B1,2026-11-01,cash 1000-100,0.00\r"},
      {"balance NOPE --as-of 2026-11-01", 1, "no bank account 'NOPE'"},
      {"balance B1 --as-of yesterday", 1, "not a date"},
      {"balance B1 --kind cash", 1, "usage"},
      {"balance B1 --kind sideways", 1, "usage"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    Result r = Bk(co, std::string("--format csv ") + c.args);
    EXPECT_EQ(r.status, c.status) << r.out;
    if (c.status == 0) {
      EXPECT_EQ(r.out, std::string("Bank,As of,Kind,Balance\r\n") + c.line + "\n");
    } else if (std::string(c.line) != "usage") {
      EXPECT_TRUE(r.Has(c.line)) << r.out;
    }
  }
  EXPECT_TRUE(Bk(co, "balance B1 --as-of 2026-11-02").Has("84.50"));
}

// A check number or a deposit already used for the bank is refused with the
// catalogue's words and exit 1, and the refusal says how to enter it anyway;
// --allow-duplicate enters it. History counts when the settings ask for it;
// a deposit id a pending deposit holds cannot be entered even so.
TEST(Bkreg, RefusesDuplicatesAtEntryAndSaysHowToEnterThemAnyway) {
  bktest::TestCompany dir("company");
  std::string co = dir.path();
  ASSERT_TRUE(Prepare(co, {"init", "bank add B1", "bank add B2",
                         "enter check --bank B1 --amount 10 --check 101 --date 2026-11-02",
                         "enter deposit --bank B1 --amount 10 --deposit-id D1 --date 2026-11-02"}));
  {
    // History holds checks 700 and 703 of B1; a pending deposit holds P1.
    tsioFileManager fm(co);
    tsioDataFile *history = nullptr, *bkm = nullptr;
    ASSERT_EQ(fm.Open(BKTHistoryFileSpec, &history), tsioStatus::kSuccess);
    ASSERT_EQ(fm.Open(BKMFileSpec, &bkm), tsioStatus::kSuccess);
    Transaction t(*history);
    for (const int check : {700, 703}) {
      t.Initialize();
      t.m_Record.SetBankAccount(tsAlpha("B1"));
      t.m_Record.SetRun(tsDouble(1, 0));
      t.m_Record.SetSequence(tsDouble(check, 0));
      t.m_Record.SetCheck(tsDouble(check, 0));
      ASSERT_EQ(t.Insert(), tsioStatus::kSuccess);
    }
    PendingDeposit p(*bkm);
    p.m_Record.SetBankAccount(tsAlpha("B1"));
    p.m_Record.SetDepositDate(tsDate(2026, 11, 5));
    p.m_Record.SetDepositID(tsAlpha("P1"));
    ASSERT_EQ(p.Insert(), tsioStatus::kSuccess);
  }
  const std::string used = " has already been used for bank account B1.";
  const std::string entered = " has already been entered for bank account B1.";
  struct Case {
    std::string args;
    int status;
    std::string says, also;
  } cases[] = {
      {"check --bank B1 --amount 12 --check 101 --date 2026-11-03", 1, "Check number 101" + used,
       "repeat the command with --allow-duplicate"},
      {"deposit --bank B1 --amount 5 --deposit-id D1 --date 2026-11-02", 1, "Deposit D1 dated 2026-11-02" + entered,
       "--allow-duplicate"},
      // Not duplicates: another bank, another date, no deposit id.
      {"check --bank B2 --amount 1 --check 101 --date 2026-11-03", 0, "", ""},
      {"deposit --bank B1 --amount 5 --deposit-id D1 --date 2026-11-04", 0, "", ""},
      {"deposit --bank B1 --amount 5 --date 2026-11-02", 0, "", ""},
      {"check --bank B1 --amount 12 --check 101 --date 2026-11-03 --allow-duplicate", 0, "entering it anyway", ""},
      // Posted checks count as much as unposted ones, whatever the settings
      // say; history holds them for B1 only.
      {"check --bank B1 --amount 3 --check 700 --date 2026-11-05", 1, "Check number 700" + used, ""},
      {"check --bank B2 --amount 3 --check 700 --date 2026-11-05", 0, "", ""},
      {"check --bank B1 --amount 3 --check 703 --date 2026-11-05", 1, "Check number 703" + used, "--allow-duplicate"},
      // A pending deposit's id cannot be entered even so.
      {"deposit --bank B1 --amount 5 --deposit-id P1 --date 2026-11-05", 1, "Deposit P1 dated 2026-11-05" + entered,
       "pending deposit"},
      {"deposit --bank B1 --amount 5 --deposit-id P1 --date 2026-11-05 --allow-duplicate", 1, "", ""},
  };
  for (const Case& c : cases) {
    const Result r = Bk(co, "enter " + c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
    EXPECT_TRUE(r.Has(c.says) && r.Has(c.also)) << c.args << "\n" << r.out;
  }
  EXPECT_FALSE(Bk(co, "enter deposit --bank B1 --amount 5 --deposit-id P1 --date 2026-11-05").Has("--allow-duplicate"));
  const std::string csv = Bk(co, "--format csv register --bank B1").out;
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 9) << csv;  // heading, opening, 2 in history, 5 entered
}

// On either backend: verify finds nothing in a company in use, a backup
// is a company folder's database that shows the same registers and
// balances and verifies clean, and it is never written over; init and the demo
// see a company that is there as there.
// An entry reads the general ledger's calendar for its checks before it
// takes its run, and keeps that answer for the checks it makes again
// outside its unit; the checks in its unit ask again. A calendar another
// program changes after the first checks (here: the entry's period removed
// while the entry waits for the run header) refuses the entry, with
// nothing entered.
TEST(Bkreg, AnEntrysUnitChecksTheLedgersCalendarAgain) {
  bktest::TestCompany dir("company");
  const std::string co = dir.path();
  ASSERT_TRUE(Prepare(co, {"init", "gl account add 1000", "gl account add 6000", "gl period add '' --year 2026",
                         "gl interface on", "bank add OPS --balance 100.00 --cash-account 1000"}));
  const std::string check = "enter check --bank OPS --amount 1.00 --date 2026-03-02 --account 6000 --batch DAY --check ";
  ASSERT_EQ(Bk(co, check + "100").status, 0);

  tsioFileManager fm(co);
  tsioDataFile* bkt = nullptr;
  tsioDataFile* glm = nullptr;
  ASSERT_EQ(fm.Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
  ASSERT_EQ(fm.Open(GLMFileSpec, &glm), tsioStatus::kSuccess);
  // The run header held here: the entry makes its checks, then waits.
  tsDouble last_run(0, 0);
  tsioHeader runs(*bkt, 1);
  ASSERT_EQ(runs.AttachColumn("LASTRUN", last_run), tsioStatus::kSuccess);
  ASSERT_EQ(runs.Get(true), tsioStatus::kSuccess);
  const std::string cmd =
      "BKREG_WAIT=60 BKREG_ROUND_TRIPS=trace " + bkregtest::Program() + " --company '" + co + "' " + check + "101 2>&1";
  FILE* entry = popen(cmd.c_str(), "r");
  ASSERT_NE(entry, nullptr);
  std::string out;
  char line[8192];
  if (bktest::OnServer()) {
    // Its requests, as it makes them: the first for the run header comes
    // after its checks.
    while (out.find("\"f_BKT_1_h1\"") == std::string::npos && fgets(line, sizeof line, entry) != nullptr) out += line;
    ASSERT_NE(out.find("\"f_BKT_1_h1\""), std::string::npos) << out;
  } else {
    // (Nothing is kept between reads here; the entry holding its account
    // is as far as can be seen.)
    tsioDataFile* bkm = nullptr;
    ASSERT_EQ(fm.Open(BKMFileSpec, &bkm), tsioStatus::kSuccess);
    BankAccount probe(*bkm);
    probe.m_Record.SetBankAccount(tsAlpha("OPS"));
    tsioStatus::Status held = tsioStatus::kSuccess;
    for (int i = 0; i < 6000 && held != tsioStatus::kLocked; ++i) {
      held = probe.FetchEQ(true);
      if (held == tsioStatus::kSuccess) (void)probe.Unlock();
      usleep(10000);
    }
    ASSERT_EQ(held, tsioStatus::kLocked);
  }
  // Another program removes the calendar's periods.
  tsGLFiscalPeriodRec period;
  tsioCursor periods(period, *glm, kGLMFiscalPeriod, 0);
  int removed = 0;
  tsioStatus::Status st;
  for (st = periods.FetchFirst(true); st == tsioStatus::kSuccess; st = periods.FetchNext(true)) {
    ASSERT_EQ(periods.Delete(), tsioStatus::kSuccess);
    ++removed;
  }
  ASSERT_GT(removed, 0);
  runs.Unlock();

  for (size_t n; (n = fread(line, 1, sizeof line, entry)) > 0;) out.append(line, n);
  const int status = pclose(entry);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << ": " << out;
  // On the server the periods went after the entry's first checks, so only
  // the check in its unit can refuse it; here they may also go before them
  // (the account is held before the checks begin), and those refuse it.
  if (bktest::OnServer()) {
    EXPECT_NE(out.find("was not entered"), std::string::npos) << out;
  } else {
    EXPECT_TRUE(out.find("was not entered") != std::string::npos ||
                out.find("not entered: the general ledger would not take it") != std::string::npos)
        << out;
  }
  const Result reg = Bk(co, "--format csv register OPS");
  EXPECT_EQ(reg.out.find(",101,"), std::string::npos) << reg.out;
  EXPECT_EQ(Bk(co, "verify").status, 0);
}

TEST(Bkreg, BackupOfACompanyInUseIsACompanyFolder) {
  bktest::TestCompany dir("company");
  const std::string co = dir.path();
  ASSERT_TRUE(Prepare(co, {"init", "bank add A --balance 100.00", "generate --bank A --count 150 --from 2026-09-01",
                         "enter check --bank A --amount 7 --check 9 --date 2026-11-02"}));
  EXPECT_TRUE(Says(co, "verify", 0, {"no problems found"}));

  const std::string copy = dir.Sub("copy.db");
  ASSERT_EQ(Bk(co, "backup " + copy).status, 0);
  EXPECT_EQ(Bk(co, "backup " + copy).status, 1);  // never written over
  const std::string restored = dir.Sub("restored");
  ASSERT_EQ(mkdir(restored.c_str(), 0700), 0);
  ASSERT_EQ(rename(copy.c_str(), (restored + "/company.db").c_str()), 0);
  for (const char* args : {"--format csv register A", "--format csv bank list", "--format csv balance A --as-of 2026-09-30"}) {
    const Result want = Bk(co, args);
    EXPECT_EQ(Bk(restored, args).out, want.out) << args;
  }
  EXPECT_EQ(Bk(restored, "verify").status, 0);

  EXPECT_TRUE(Says(co, "init", 0));
  const std::string before = Bk(co, "--format csv bank list").out;
  const Result demo = Bk(co, "demo");
  EXPECT_FALSE(demo.Has("Posted batch")) << "an existing company gets no demo data\n" << demo.out;
  EXPECT_EQ(Bk(co, "--format csv bank list").out, before);
}

TEST(BkregOutput, QuotesWhatNeedsQuoting) {
  bkreg::Table t{{"a", "b"}, {false, true}, {{"x,\"y\"\n", "1.50"}, {"tab\there", ""}}};
  std::ostringstream csv, json;
  t.Print(csv, bkreg::Format::kCsv);
  t.Print(json, bkreg::Format::kJson);
  EXPECT_EQ(csv.str(), "a,b\r\n\"x,\"\"y\"\"\n\",1.50\r\ntab\there,\r\n");
  EXPECT_EQ(json.str(), "[\n {\"a\": \"x,\\\"y\\\"\\n\", \"b\": 1.50},\n {\"a\": \"tab\\there\", \"b\": \"\"}\n]\n");
}

}  // namespace
