// bkreg as a user meets it: the real program on real company folders, its
// exit statuses, messages, output in every format, the files it leaves, and
// its answers beside ledger's and hledger's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "accounts/bank_account.h"
#include "batches/batch.h"
#include "framework/io/file_manager.h"
#include "records/files.h"
#include "tests/support/test_support.h"
#include "tools/bkreg/bkreg_test_support.h"
#include "tools/bkreg/input.h"
#include "tools/bkreg/output.h"
#include "transactions/transaction.h"

namespace {

using bkregtest::Says;

struct Result {
  int status;
  std::string out, err;
};

std::string Bkreg() { return bkregtest::Program(); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The standard output of a shell command; its exit status in *status.
std::string Shell(const std::string& cmd, int* status = nullptr) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int st = pclose(p);
  if (status != nullptr) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return out;
}

// Runs `bkreg --company CO ARGS` through the shell (ARGS is shell text),
// standard output and standard error kept apart.
Result Bk(const std::string& co, const std::string& args, const std::string& env = "") {
  static int n = 0;
  const std::string err = "/tmp/bkreg_cli_test_err." + std::to_string(getpid()) + "." + std::to_string(n++);
  const std::string cmd = env + " " + Bkreg() + " --company '" + co + "' " + args + " 2>" + err;
  int status = -1;
  std::string out = Shell(cmd, &status);
  Result r{status, std::move(out), ReadFile(err)};
  unlink(err.c_str());
  return r;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Company(const bktest::TempDir& dir, const std::string& name = "co") {
  const std::string co = dir.Sub(name);
  EXPECT_EQ(Bk(co, "init").status, 0);
  EXPECT_EQ(Bk(co, "bank add A --balance 100.00").status, 0);
  return co;
}

// Input that breaks a rule is refused with status 1 and a message naming
// the field and what is accepted; nothing is entered. One case per rule and
// message: the parsers' full tables are in BkregInput below.
TEST(BkregCli, RefusesInputThatBreaksARule) {
  bktest::TempDir dir;
  const std::string co = Company(dir);
  const std::string e = "enter deposit --bank A --date 2026-11-02 ";
  const std::string sixty_one(61, 'x');
  std::string sixty_accented;
  for (int i = 0; i < 60; ++i) sixty_accented += "\xc3\xa9";
  struct Case {
    std::string args;
    int status;
    std::string says;  // in the error stream ("" for status 0)
  } cases[] = {
      {"generate --bank A --count abc", 1, "--count"},
      {"generate --bank A --unit 0", 1, "--unit"},
      {"bank list --frob", 1, "--frob"},
      {"bank list extra", 1, "extra"},
      {"bank add", 1, "ID"},
      {"bank lst", 1, ""},
      {"--format xml bank list", 1, "--format"},
      {"--wait 99999 bank list", 1, "--wait"},
      {"frobnicate", 1, "frobnicate"},
      {e + "--amount 0.001", 1, "more than two decimals"},
      {e + "--amount ''", 1, "--amount is empty"},
      {e + "--amount 12,34", 1, "digits with an optional sign"},
      {e + "--amount 12345678901234", 1, "at most 13 digits"},
      {e + "--amount -5", 1, "not negative"},
      {"enter deposit --bank A --amount 1 --date 2026-02-30", 1, "not a date"},
      {"enter deposit --bank A --amount 1 --date 11/31/2026", 1, "YYYY-MM-DD, YYYYMMDD or MM/DD/YYYY"},
      {e + "--amount 1 --desc " + sixty_one, 1, "--desc is too long: 61 characters, at most 60"},
      {e + "--amount 1 --desc \"$(printf 'two\\nlines')\"", 1, "control character"},
      {e + "--amount 1 --desc \"$(printf '\\033[31mred')\"", 1, "control character"},
      {e + "--amount 1 --desc \"$(printf 'bad\\377')\"", 1, "not valid UTF-8"},
      {"bank add ''", 1, "is empty"},
      {"bank add 'A B'", 1, "cannot"},
      {"bank add ABCDEFGHIJKLMNOP", 1, "at most 15 characters"},
      {"bank add Z --type 11", 1, "--type"},
      {"enter deposit --bank NOPE --amount 1", 1, "no bank account 'NOPE'"},
      {"balance A --as-of 2026-13-01", 1, "not a date"},
      {"register A --state pending", 1, "--state"},
      {"register A --from 2026-11-05 --to 2026-11-01", 1, "--to is before --from"},
      // Accepted forms.
      {e + "--amount 1250", 0, ""},
      {e + "--amount .75", 0, ""},
      {e + "--amount ' 3.5 '", 0, ""},
      {"enter adjustment --bank A --amount -0.25 --date 20261103", 0, ""},
      {"enter deposit --bank a --amount 1 --date 11/03/2026 --desc " + sixty_accented, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Result r = Bk(co, c.args, "");
    EXPECT_EQ(r.status, c.status) << r.err;
    if (!c.says.empty()) {
      EXPECT_TRUE(Has(r.err, c.says)) << r.err;
    }
    if (c.status != 0) {
      EXPECT_TRUE(r.err.rfind("bkreg: ", 0) == 0) << r.err;
    }
  }
  // Only the accepted ones went in: 100 + 1250 + 0.75 + 3.5 - 0.25 + 1.
  const Result b = Bk(co, "--format csv balance A --as-of 2026-12-31");
  EXPECT_TRUE(Has(b.out, "A,2026-12-31,register,1355.00")) << b.out;
  // No raw log line, no bare status number.
  EXPECT_FALSE(Has(Bk(co, "enter deposit --bank NOPE --amount 1").err, "level="));
}

TEST(BkregCli, EveryCommandHasHelp) {
  bktest::TempDir dir;
  for (const std::string cmd : {"", "init", "demo", "bank", "bank add", "bank list", "bank show", "bank edit", "enter",
                                "generate", "import", "register", "balance", "export", "verify", "backup", "lock",
                                "locked", "batch", "batch open", "batch list", "batch show", "batch close", "gl",
                                "gl account", "gl account add", "gl account list", "gl period", "gl period add",
                                "gl period list", "gl interface", "remove", "transfer", "post", "clear", "reconcile",
                                "reconcile start", "reconcile status", "reconcile finish", "reconcile undo",
                                "statement", "statement import", "locks"}) {
    EXPECT_TRUE(Says(dir.Sub("none"), cmd + " --help", 0, {"Usage: bkreg"}));
  }
}

// Bank ids are trimmed and upper-cased, so what looks the same is the same.
TEST(BkregCli, BankIdsAreTrimmedAndUpperCased) {
  bktest::TempDir dir;
  const std::string co = dir.Sub("co");
  ASSERT_EQ(Bk(co, "init").status, 0);
  EXPECT_EQ(Bk(co, "bank add ' ops ' --desc Operating").status, 0);
  EXPECT_TRUE(Says(co, "bank add OPS", 1, {"'OPS' exists already"}));
  EXPECT_EQ(Bk(co, "bank show ops").status, 0);
  EXPECT_EQ(Bk(co, "bank edit Ops --desc 'Main account' --type 2").status, 0);
  EXPECT_TRUE(Says(co, "--format csv bank show OPS", 0, {"OPS,Main account,Savings"}));
  EXPECT_EQ(Bk(co, "bank edit OPS").status, 1);  // nothing to change
}

// Stored text that no input rule let in (written by another program) is
// shown safely: one line per row in text, guarded CSV cells, valid JSON.
TEST(BkregCli, StoredTextIsShownSafelyInEveryFormat) {
  bktest::TempDir dir;
  const std::string co = Company(dir);
  const std::vector<std::string> descriptions = {"\x1b]0;owned\x07\x1b[31mred", "two\nlines", "=SUM(A1:A9)",
                                                 "+1", "@cmd", "-2+3", "bad \xff\xfe utf", "Caf\xc3\xa9 \xe2\x82\xac"};
  {
    tsioFileManager fm(co);
    tsioDataFile* bkt = nullptr;
    ASSERT_EQ(fm.Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
    Transaction t(*bkt);
    int seq = 1;
    for (const auto& d : descriptions) {
      t.Initialize();
      t.m_Record.SetBankAccount(tsAlpha("A"));
      t.m_Record.SetRun(tsDouble(1, 0));
      t.m_Record.SetSequence(tsDouble(seq++, 0));
      tclTSEnum<TransactionData::TranTypeEnum> type;
      type.SetValue(2);
      t.m_Record.SetType(type);
      tsDate day;
      ASSERT_TRUE(day.Parse("2026-11-02"));
      t.m_Record.SetTransactionDate(day);
      t.m_Record.SetDescription(tsAlpha(d));
      t.m_Record.SetAddition(tsCurrency(1));
      ASSERT_EQ(t.Insert(), tsioStatus::kSuccess) << d;
    }
  }
  const Result text = Bk(co, "register A");
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_FALSE(Has(text.out, "\x1b"));
  EXPECT_FALSE(Has(text.out, "\x07"));
  EXPECT_FALSE(Has(text.out, "\xff"));
  std::vector<std::string> lines;
  std::istringstream in(text.out);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), descriptions.size() + 3);  // headings, rule, opening
  for (const auto& l : lines) EXPECT_EQ(bkreg::Utf8Length(l), bkreg::Utf8Length(lines[1])) << l;

  const Result csv = Bk(co, "--format csv register A");
  for (const char* guarded : {"'=SUM(A1:A9)", "'+1", "'@cmd", "'-2+3"}) EXPECT_TRUE(Has(csv.out, guarded)) << guarded;
  EXPECT_TRUE(Has(csv.out, ",-0.00,") || Has(csv.out, ",1.00,"));  // amounts are not guarded
  EXPECT_FALSE(Has(csv.out, "'1.00"));

  const Result json = Bk(co, "--format json register A");
  const auto parsed = nlohmann::json::parse(json.out, nullptr, false);
  ASSERT_FALSE(parsed.is_discarded()) << json.out;
  EXPECT_EQ(parsed.size(), descriptions.size() + 1);
}

// Every printing command prints valid JSON and CSV with a heading.
TEST(BkregCli, EveryPrintingCommandPrintsEveryFormat) {
  bktest::TempDir dir;
  const std::string co = Company(dir);
  ASSERT_EQ(Bk(co, "enter check --bank A --amount 5 --check 7 --date 2026-11-02").status, 0);
  const std::vector<std::string> commands = {
      "bank list", "bank show A", "register A", "balance A --as-of 2026-11-30", "verify", "locked A",
      "enter deposit --bank A --amount 1 --date 2026-11-03", "bank add B", "bank edit A --desc Second",
      "import A " + dir.Sub("one.csv")};
  {
    std::ofstream f(dir.Sub("one.csv"));
    f << "2026-11-04,withdrawal,,2.00,Fee\n";
  }
  for (const auto& c : commands) {
    SCOPED_TRACE(c);
    for (const char* fmt : {"json", "csv"}) {
      const std::string args = Has(c, "bank add") ? "bank add B" + std::string(fmt) : c;
      const Result r = Bk(co, std::string("--format ") + fmt + " " + args);
      ASSERT_EQ(r.status, 0) << r.err;
      if (std::string(fmt) == "json") {
        const auto parsed = nlohmann::json::parse(r.out, nullptr, false);
        EXPECT_TRUE(parsed.is_array()) << r.out;
      } else {
        EXPECT_TRUE(Has(r.out, "\r\n")) << r.out;
        EXPECT_FALSE(Has(r.out, "Entered ")) << r.out;
      }
    }
  }
  const Result created = Bk(co, "--format json enter check --bank A --amount 3 --check 8 --date 2026-11-05");
  const auto row = nlohmann::json::parse(created.out, nullptr, false);
  ASSERT_TRUE(row.is_array() && row.size() == 1u) << created.out;
  EXPECT_TRUE(row[0].contains("Run") && row[0].contains("Sequence")) << created.out;
}

// A write that fails (full disk, closed pipe) is an error, not success.
TEST(BkregCli, FailedWritesOfTheOutputAreErrors) {
  bktest::TempDir dir;
  const std::string co = Company(dir);
  ASSERT_EQ(Bk(co, "generate --bank A --count 3000 --from 2026-01-01").status, 0);
  for (const std::string cmd : {"register A", "--format json register A", "bank list", "export A",
                                "export A --format journal", "verify"}) {
    SCOPED_TRACE(cmd);
    const Result full = Bk(co, cmd + " >/dev/full");
    EXPECT_EQ(full.status, 2);
    EXPECT_TRUE(Has(full.err, "could not write the output")) << full.err;
  }
  // A reader that goes away: the pipe's status is bkreg's.
  int st = -1;
  Shell("bash -c \"set -o pipefail; '" + Bkreg() + "' --company '" + co + "' register A 2>/dev/null | head -c 10 >/dev/null\"", &st);
  EXPECT_EQ(st, 2);
}

// Overwrite some pages of the company database with noise.
void Damage(const std::string& co) {
  const std::string db = co + "/company.db";
  const int fd = open(db.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  struct stat s {};
  ASSERT_EQ(fstat(fd, &s), 0);
  std::string noise(4096, '\0');
  unsigned seed = 7;
  for (char& c : noise) c = static_cast<char>(rand_r(&seed));
  for (off_t page = 2; page * 4096 < s.st_size; page += 3) {
    ASSERT_EQ(pwrite(fd, noise.data(), noise.size(), page * 4096), static_cast<ssize_t>(noise.size()));
  }
  close(fd);
}

TEST(BkregCli, ADamagedDatabaseIsSaidToBeDamaged) {
  bktest::TempDir dir;
  const std::string co = Company(dir);
  ASSERT_TRUE(bkregtest::Prepare(co, {"generate --bank A --count 2000", "verify"}));
  Damage(co);
  for (const std::string cmd : {"init", "bank list", "bank show A", "bank add B", "bank edit A --desc X", "register A",
                                "balance A", "export A", "export A --format journal", "verify",
                                "enter deposit --bank A --amount 1", "generate --bank A --count 5",
                                "import A /dev/null", "locked A"}) {
    EXPECT_TRUE(Says(co, cmd, 2, {"damaged"}));
  }
}

TEST(BkregCli, CompanyFilesAreTheOwnersAndLinksAreNotFollowed) {
  bktest::TempDir dir;
  const mode_t old = umask(022);
  const std::string co = Company(dir);
  umask(old);
  struct stat s {};
  ASSERT_EQ(stat(co.c_str(), &s), 0);
  EXPECT_EQ(s.st_mode & 0777, 0700u);
  for (const char* f : {"company.db", "company.db.locks"}) {
    ASSERT_EQ(stat((co + "/" + f).c_str(), &s), 0) << f;
    EXPECT_EQ(s.st_mode & 0777, 0600u) << f;
  }
  ASSERT_EQ(Bk(co, "backup " + dir.Sub("copy.db")).status, 0);
  ASSERT_EQ(stat(dir.Sub("copy.db").c_str(), &s), 0);
  EXPECT_EQ(s.st_mode & 0777, 0600u);

  // A database that is a link elsewhere is refused; a link planted as the
  // backup file is not written through.
  const std::string other = dir.Sub("other");
  ASSERT_EQ(mkdir(other.c_str(), 0700), 0);
  ASSERT_EQ(rename((co + "/company.db").c_str(), (other + "/company.db").c_str()), 0);
  ASSERT_EQ(symlink((other + "/company.db").c_str(), (co + "/company.db").c_str()), 0);
  EXPECT_EQ(Bk(co, "bank list").status, 2);
  ASSERT_EQ(unlink((co + "/company.db").c_str()), 0);
  ASSERT_EQ(rename((other + "/company.db").c_str(), (co + "/company.db").c_str()), 0);
  ASSERT_EQ(symlink(dir.Sub("target").c_str(), dir.Sub("link.db").c_str()), 0);
  EXPECT_NE(Bk(co, "backup " + dir.Sub("link.db")).status, 0);
  EXPECT_NE(access(dir.Sub("target").c_str(), F_OK), 0);
  // The log as a link: nothing is written through it.
  std::ofstream(dir.Sub("victim")) << "";
  unlink((co + "/bkreg.log").c_str());
  ASSERT_EQ(symlink(dir.Sub("victim").c_str(), (co + "/bkreg.log").c_str()), 0);
  EXPECT_EQ(Bk(co, "enter deposit --bank NOPE --amount 1").status, 1);
  EXPECT_EQ(Bk(co, "balance A --kind cash --cash-account 1000").status, 0);
  EXPECT_EQ(ReadFile(dir.Sub("victim")), "");
}

TEST(BkregCli, LockedCannotTellWithoutAUsableLockFile) {
  bktest::TempDir dir;
  const std::string co = Company(dir);
  EXPECT_EQ(Bk(co, "locked A").status, 0);
  unlink((co + "/company.db.locks").c_str());
  ASSERT_EQ(mkdir((co + "/company.db.locks").c_str(), 0700), 0);
  const Result r = Bk(co, "locked A");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Has(r.err, "could not tell")) << r.err;
  EXPECT_FALSE(Has(r.out, "free"));
}

// Four programs entering into one account at once all get in; one that
// cannot get the account within its wait gives up with status 3.
TEST(BkregCli, ConcurrentEntriesWaitForTheAccount) {
  bktest::TempDir dir;
  const std::string co = Company(dir);
  ASSERT_EQ(Bk(co, "bank add B").status, 0);
  const int kPrograms = 4, kEach = 12;
  std::vector<pid_t> kids;
  for (int p = 0; p < kPrograms; ++p) {
    const pid_t pid = fork();
    if (pid == 0) {
      // Two programs per account: they meet on the account and, across
      // accounts, on the transaction file's run header.
      int failures = 0;
      const std::string bank = p % 2 ? " --bank A" : " --bank B";
      for (int i = 0; i < kEach; ++i) {
        const auto r = bkregtest::Bk(co, i % 2 ? "enter deposit --amount 1.00 --date 2026-11-02" + bank
                                                : "enter check --amount 1.00 --date 2026-11-02" + bank + " --check " +
                                                      std::to_string(1000 + p * 100 + i));
        // What a refused program said, for the failure report.
        if (r.status != 0 && ++failures) fprintf(stderr, "program %d, entry %d: %s\n", p, i, r.out.c_str());
      }
      _exit(failures);
    }
    kids.push_back(pid);
  }
  for (pid_t pid : kids) {
    int st = 0;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << "refused entries: " << WEXITSTATUS(st);
  }
  EXPECT_EQ(Bk(co, "verify").status, 0);
  // Deposits and checks cancel out.
  EXPECT_TRUE(Says(co, "--format csv balance A --as-of 2026-11-30", 0, {",100.00"}));

  // Hold the account's record in this process: the entry waits, then gives up.
  tsioFileManager fm(co);
  tsioDataFile* bkm = nullptr;
  ASSERT_EQ(fm.Open(BKMFileSpec, &bkm), tsioStatus::kSuccess);
  BankAccount held(*bkm);
  held.m_Record.SetBankAccount(tsAlpha("A"));
  ASSERT_EQ(held.FetchEQ(true), tsioStatus::kSuccess);
  const auto start = std::chrono::steady_clock::now();
  const Result r = Bk(co, "enter deposit --bank A --amount 1", "BKREG_WAIT=0.4");
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_GE(waited, 0.4);
  EXPECT_TRUE(Has(r.err, "in use")) << r.err;
  EXPECT_EQ(Bk(co, "--wait 0 enter deposit --bank A --amount 1").status, 3);
  (void)held.Unlock();

  // Hold the batch record the deposits count into (as a program entering or
  // posting into it does): an entry waits for it, then gives up (3) with
  // nothing entered; it is never refused at once as a business rule.
  tsioDataFile* bkt = nullptr;
  ASSERT_EQ(fm.Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
  Batch batch(*bkt);
  tsioStatus::Status st = batch.FetchFirst(false);
  while (st == tsioStatus::kSuccess &&
         !(batch.m_Record.GetBatch() == tsAlpha("BKREG") && batch.m_Record.GetApplOfOrigin() == tsAlpha("BK"))) {
    st = batch.FetchNext(false);
  }
  ASSERT_EQ(st, tsioStatus::kSuccess);
  ASSERT_EQ(batch.FetchEQ(true), tsioStatus::kSuccess);
  const std::string balance_b = Bk(co, "--format csv balance B --as-of 2026-11-30").out;
  const Result waited_batch = Bk(co, "enter deposit --bank B --amount 1", "BKREG_WAIT=0.4");
  EXPECT_EQ(waited_batch.status, 3) << waited_batch.err;
  EXPECT_TRUE(Has(waited_batch.err, "batch 'BKREG' is in use")) << waited_batch.err;
  (void)batch.Unlock();
  EXPECT_EQ(Bk(co, "verify").status, 0);
  EXPECT_EQ(Bk(co, "--format csv balance B --as-of 2026-11-30").out, balance_b);
}

// Import: everything or, when a line breaks a rule, the units of work before
// it, with the count imported and the line named.
TEST(BkregCli, ImportLoadsTheFileOrSaysHowFarItGot) {
  bktest::TempDir dir;
  const std::string co = Company(dir);
  {
    std::ofstream f(dir.Sub("good.csv"));
    f << "date,type,number,amount,description\n"
      << "2026-11-01,deposit,D1,500.00,\"Receipts, November\"\n"
      << "2026-11-02,check,101,25.50,Rent\n"
      << "2026-11-03,withdrawal,,10.00,Fee\n"
      << "\n"
      << "2026-11-04,adjustment,,-0.25,\"Said \"\"hi\"\"\"\n";
    std::ofstream b(dir.Sub("bad.csv"));
    b << "2026-11-05,deposit,,1.00,a\n2026-11-06,deposit,,2.00,b\n2026-11-07,deposit,,3.00,c\n"
      << "2026-11-08,deposit,,0.001,d\n2026-11-09,deposit,,4.00,e\n";
  }
  ASSERT_TRUE(Says(co, "import A " + dir.Sub("good.csv"), 0, {"Imported 4 transactions"}));
  EXPECT_TRUE(Says(co, "import A " + dir.Sub("bad.csv") + " --unit 2", 1,
                   {"line 4", "more than two decimals", "2 transactions were imported"}));
  EXPECT_TRUE(Says(co, "export A", 0,
                   {"2026-11-01,deposit,D1,500.00,\"Receipts, November\"",
                    "2026-11-04,adjustment,,-0.25,\"Said \"\"hi\"\"\"", "2026-11-06,deposit,,2.00,b"}));
  EXPECT_EQ(Bk(co, "export A").out.find("2026-11-07"), std::string::npos);  // in the unit that failed
  EXPECT_EQ(Bk(co, "verify").status, 0);
  EXPECT_EQ(Bk(co, "import A " + dir.Sub("missing.csv")).status, 1);
}

// (Backups are tried on both backends in bkreg_test.)
TEST(BkregCli, VerifyFindsDrift) {
  bktest::TempDir dir;
  const std::string co = Company(dir);
  ASSERT_TRUE(bkregtest::Prepare(co, {"generate --bank A --count 400 --from 2026-09-01",
                                      "enter check --bank A --amount 7 --check 9 --date 2026-11-02"}));
  EXPECT_TRUE(Says(co, "verify", 0, {"no problems found"}));
  {
    tsioFileManager fm(co);
    tsioDataFile* bkm = nullptr;
    ASSERT_EQ(fm.Open(BKMFileSpec, &bkm), tsioStatus::kSuccess);
    BankAccount bank(*bkm);
    bank.m_Record.SetBankAccount(tsAlpha("A"));
    ASSERT_EQ(bank.FetchEQ(true), tsioStatus::kSuccess);
    bank.m_Record.SetOpenChecks(bank.m_Record.GetOpenChecks() + tsCurrency(1));
    ASSERT_EQ(bank.Update(), tsioStatus::kSuccess);
    (void)bank.Unlock();
  }
  EXPECT_TRUE(Says(co, "--format csv verify", 2, {"totals,bank account A,open checks,"}));
}

// The register of a period starts from the balance before it; a state
// leaves other rows out without changing the running balance.
TEST(BkregCli, RegisterOfAPeriodAndAState) {
  bktest::TempDir dir;
  const std::string co = Company(dir);
  ASSERT_TRUE(bkregtest::Prepare(co, {"enter deposit --bank A --amount 10 --date 2026-11-01",
                                      "enter withdrawal --bank A --amount 3 --date 2026-11-02",
                                      "enter deposit --bank A --amount 5 --date 2026-11-03",
                                      "enter withdrawal --bank A --amount 1 --date 2026-11-04"}));
  EXPECT_EQ(Bk(co, "--format csv register A --from 2026-11-02 --to 2026-11-03").out,
            "Date,Run,Seq,Type,Number,Description,Amount,State,Posted,Balance\r\n"
            ",,,,,Opening balance,,,,110.00\r\n"
            "2026-11-02,2,1,Withdrawal,,,-3.00,O,no,107.00\r\n"
            "2026-11-03,3,1,Deposit,,,5.00,O,no,112.00\r\n");
  const std::string open = Bk(co, "--format csv register A --state open").out;
  EXPECT_EQ(std::count(open.begin(), open.end(), '\n'), 6);
  EXPECT_EQ(Bk(co, "--format csv register A --state reconciled").out,
            "Date,Run,Seq,Type,Number,Description,Amount,State,Posted,Balance\r\n,,,,,Opening balance,,,,100.00\r\n");
}

// The journal export read by ledger and by hledger gives the balances bkreg
// gives, to the cent, at several dates.
std::string Tool(const std::string& name) {
  for (const char* dir : {"/usr/bin/", "/usr/local/bin/"}) {
    if (access((std::string(dir) + name).c_str(), X_OK) == 0) return std::string(dir) + name;
  }
  return "";
}

// The first number in `text` ("-1,234.5" or "100"), in cents.
long long Cents(const std::string& text) {
  std::smatch m;
  return std::regex_search(text, m, std::regex(R"(-?[0-9][0-9,]*(\.[0-9]+)?)")) ? bkregtest::Cents(m.str()) : 0;
}

TEST(BkregCli, JournalExportAgreesWithLedgerAndHledger) {
  const std::string ledger = Tool("ledger"), hledger = Tool("hledger");
  if (ledger.empty() || hledger.empty()) GTEST_SKIP() << "ledger or hledger is not installed (make deps)";
  bktest::TempDir dir;
  const std::string co = Company(dir);
  ASSERT_EQ(Bk(co, "generate --bank A --count 240 --from 2026-10-01").status, 0);
  ASSERT_EQ(Bk(co, "enter check --bank A --amount 1234.56 --check 77 --date 2026-10-15 --desc 'Rent; October'")
                .status,
            0);
  const std::string journal = dir.Sub("a.journal");
  ASSERT_EQ(Bk(co, "export A --format journal > '" + journal + "'").status, 0);
  for (const char* day : {"2026-09-30", "2026-10-01", "2026-10-15", "2026-10-31", "2026-11-20", "2026-12-31"}) {
    SCOPED_TRACE(day);
    tsDate d;
    ASSERT_TRUE(d.Parse(day));
    const std::string next = (d + 1).Format();
    const Result mine = Bk(co, std::string("--format csv balance A --as-of ") + day);
    ASSERT_EQ(mine.status, 0);
    const std::string row = mine.out.substr(mine.out.find('\n') + 1);
    const long long want = Cents(row.substr(row.rfind(',') + 1));
    const std::string l = Shell(ledger + " -f '" + journal + "' balance Assets:Bank:A -e " + next + " --flat");
    const std::string h = Shell(hledger + " -f '" + journal + "' balance Assets:Bank:A -e " + next + " -N");
    EXPECT_EQ(Cents(l.substr(0, l.find("Assets"))), want) << l;
    EXPECT_EQ(Cents(h.substr(0, h.find("Assets"))), want) << h;
  }
}

TEST(BkregInput, AmountsDatesIdsAndText) {
  struct Amount {
    const char* text;
    const char* value;  // "" when refused
  } amounts[] = {{"0", "0.00"},     {"12.5", "12.50"}, {"-0.25", "-0.25"}, {"+3", "3.00"},  {".75", "0.75"},
                 {"1.", "1.00"},    {"0.001", ""},     {"", ""},           {" ", ""},        {"12,34", ""},
                 {"1e3", ""},       {"NaN", ""},       {"-", ""},          {".", ""},        {"1.2.3", ""},
                 {"0x10", ""},      {"0.005", ""},     {"1e309", ""},      {"inf", ""},      {"1,234.50", ""},
                 {"9999999999999.99", "9999999999999.99"}, {"10000000000000", ""},
                 {"00000000000001.00", "1.00"}};
  for (const auto& a : amounts) {
    tsCurrency c;
    const std::string problem = bkreg::ParseAmount("--amount", a.text, &c);
    EXPECT_EQ(problem.empty(), *a.value != '\0') << a.text << ": " << problem;
    if (problem.empty()) {
      EXPECT_EQ(c.Format(), a.value) << a.text;
    }
  }
  struct Id {
    const char* text;
    const char* id;
  } ids[] = {{"ops", "OPS"}, {" Ops\t", "OPS"}, {"A-1_B.C/D", "A-1_B.C/D"}, {"", ""}, {"A B", ""},
             {"\xc3\xa9", ""}, {"ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNO"}, {"ABCDEFGHIJKLMNOP", ""}};
  for (const auto& i : ids) {
    std::string id;
    const std::string problem = bkreg::ParseBankId("id", i.text, &id);
    EXPECT_EQ(problem.empty() ? id : "", i.id) << i.text << ": " << problem;
  }
  for (const char* bad : {"\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82", "a\xc2\x9b" "b"}) {
    std::string out;
    EXPECT_FALSE(bkreg::CheckText("t", bad, 0, &out).empty()) << bad;
  }
  EXPECT_EQ(bkreg::TextCell("a\x1b[2Jb\nc\xff"), "a?[2Jb?c?");
  EXPECT_EQ(bkreg::TextWidth("Caf\xc3\xa9"), 4u);
  EXPECT_EQ(bkreg::CsvCell("=1+1", false), "'=1+1");
  EXPECT_EQ(bkreg::CsvCell("-1.00", true), "-1.00");
  EXPECT_EQ(bkreg::CsvCell("a,\"b\"", false), "\"a,\"\"b\"\"\"");
  EXPECT_EQ(bkreg::JsonQuote("x\xffy"), "\"x\xef\xbf\xbdy\"");
}

}  // namespace
