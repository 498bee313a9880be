// A bookkeeper's month across the seams of the commands: one register over
// unposted and posted transactions, one identity per transaction from entry
// to reconciliation, a general ledger that follows the bank, batches,
// clearing and reconciliation as people correct them, and verify finding
// what was damaged. The real program on real companies with the real
// general-ledger module; the files read or damaged through the library.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "accounts/bank_account.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/company.h"
#include "framework/io/cursor.h"
#include "framework/io/file_manager.h"
#include "framework/io/read_snapshot.h"
#include "framework/io/rollback_stack.h"
#include "records/files.h"
#include "tests/support/damage.h"
#include "tools/bkreg/bkreg_test_support.h"
#include "transactions/transaction.h"

namespace {

using bkregtest::Bk;
using bkregtest::Cents;
using bkregtest::Csv;
using bkregtest::FirstRowLast;
using bkregtest::PostedLedger;
using bkregtest::Prepare;
using bkregtest::Result;
using bkregtest::Says;

// A company whose entries go to the general ledger: banks OPS (cash account
// 1000, opening 1,000.00) and SAV (1010, 500.00), expense, income and
// inactive accounts, the periods of 2026 and 2025, 2025's closed.
std::string LedgerCompany(bktest::TestCompany& dir) {
  EXPECT_TRUE(Prepare(dir.path(), {"init", "bank add OPS --balance 1000.00 --cash-account 1000",
                                   "bank add SAV --balance 500.00 --cash-account 1010", "gl account add 1000",
                                   "gl account add 1010", "gl account add 4000", "gl account add 6000",
                                   "gl account add 7000 --inactive", "gl period add '' --year 2026",
                                   "gl period add '' --year 2025 --closed", "gl interface on"}));
  return dir.path();
}

// "run sequence" of what `enter` printed as CSV.
std::string Entered(const Result& r) {
  const auto rows = Csv(r.out);
  return rows.size() < 2 ? "" : rows[1][2] + " " + rows[1][3];
}

// The register's rows (after the opening line) as CSV cells.
std::vector<std::vector<std::string>> RegisterRows(const std::string& co, const std::string& bank,
                                                  const std::string& more = "") {
  auto rows = Csv(Bk(co, "--format csv register " + bank + " " + more).out);
  if (rows.size() >= 2) rows.erase(rows.begin(), rows.begin() + 2);
  return rows;
}

TEST(Month, OneIdentityNamesATransactionFromEntryToReconciliation) {
  bktest::TestCompany dir("company");
  const std::string co = LedgerCompany(dir);
  const Result check =
      Bk(co, "--format csv enter check --bank OPS --amount 100.00 --check 501 --date 2026-11-05 --account 6000");
  const Result deposit = Bk(co, "--format csv enter deposit --bank OPS --amount 250.00 --date 2026-11-06 "
                                "--deposit-id D1 --account 4000 --batch DEP");
  ASSERT_EQ(check.status, 0) << check.out;
  ASSERT_EQ(deposit.status, 0) << deposit.out;
  const std::string check_key = Entered(check), deposit_key = Entered(deposit);
  ASSERT_NE(check_key, deposit_key);
  // Posting another batch first, then this one: numbers stay what entering
  // printed, in the register as everywhere.
  ASSERT_TRUE(Prepare(co, {"post DEP", "post BKREG"}));
  std::map<std::string, std::vector<std::string>> by_key;
  for (const auto& row : RegisterRows(co, "OPS")) by_key[row[1] + " " + row[2]] = row;
  ASSERT_EQ(by_key.count(check_key), 1u);
  EXPECT_EQ(by_key[check_key][3], "Check");
  EXPECT_EQ(by_key[check_key][8], "yes") << "posted";
  EXPECT_EQ(by_key[deposit_key][3], "Deposit");
  // clear BANK RUN SEQUENCE with the check's numbers clears the check.
  ASSERT_TRUE(Says(co, "clear OPS " + check_key + " --date 2026-11-20", 0, {"Check transaction"}));
  for (const auto& row : RegisterRows(co, "OPS")) {
    EXPECT_EQ(row[7], row[1] + " " + row[2] == check_key ? "C" : "O") << row[1] << " " << row[2];
  }
  // The cleared line is listed by state; a reconciled one after finishing.
  EXPECT_EQ(RegisterRows(co, "OPS", "--state cleared").size(), 1u);
  ASSERT_EQ(Bk(co, "reconcile start OPS --date 2026-11-30 --ending-balance 900.00").status, 0);
  ASSERT_TRUE(Says(co, "reconcile finish OPS", 0));
  const auto reconciled = RegisterRows(co, "OPS", "--state reconciled");
  ASSERT_EQ(reconciled.size(), 1u);
  EXPECT_EQ(reconciled[0][1] + " " + reconciled[0][2], check_key);
  EXPECT_EQ(Bk(co, "verify").status, 0) << Bk(co, "verify").out;
}

TEST(Month, TheRegisterAndItsExportHoldPostedTransactions) {
  bktest::TestCompany dir("company");
  const std::string co = dir.path();
  ASSERT_TRUE(Prepare(co, {"init", "bank add A --balance 1000.00"}));
  // Posted on 2026-01-05, unposted later: the register shows both at their
  // dates, and each day's running balance is that day's balance.
  ASSERT_TRUE(Prepare(co, {"enter check --bank A --amount 300.00 --check 7 --date 2026-01-05 --batch JAN", "post JAN",
                           "enter deposit --bank A --amount 50.00 --date 2026-02-01"}));
  const auto rows = RegisterRows(co, "A");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "2026-01-05");
  EXPECT_EQ(Cents(rows[0][9]), 70000);
  EXPECT_EQ(FirstRowLast(Bk(co, "--format csv balance A --as-of 2026-01-05")), 70000);
  EXPECT_EQ(rows[1][8], "no");
  EXPECT_EQ(Cents(rows[1][9]), 75000);
  // Exported and imported into a fresh company: the same balance.
  bktest::TempDir files;
  const std::string csv = files.Sub("a.csv");
  std::ofstream(csv) << Bk(co, "export A").out;
  const std::string copy = files.Sub("copy");
  ASSERT_TRUE(Prepare(copy, {"init", "bank add A --balance 1000.00", "import A " + csv}));
  EXPECT_EQ(FirstRowLast(Bk(copy, "--format csv balance A")), FirstRowLast(Bk(co, "--format csv balance A")));
  EXPECT_EQ(Bk(copy, "export A").out, Bk(co, "export A").out);
}

TEST(Month, PostedChecksAndDepositsAreDuplicatesToo) {
  bktest::TestCompany dir("company");
  const std::string co = dir.path();
  ASSERT_TRUE(Prepare(co, {"init", "bank add A",
                           "enter check --bank A --amount 5 --check 12 --date 2026-11-02 --batch P",
                           "enter deposit --bank A --amount 5 --deposit-id D7 --date 2026-11-02 --batch P", "post P"}));
  for (const char* again : {"enter check --bank A --amount 9 --check 12 --date 2026-11-09",
                            "enter deposit --bank A --amount 9 --deposit-id D7 --date 2026-11-02"}) {
    EXPECT_TRUE(Says(co, again, 1, {"--allow-duplicate"}));
  }
}

TEST(Month, BankListShowsTheOpenTotalsItsNetAddsUpFrom) {
  bktest::TestCompany dir("company");
  const std::string co = dir.path();
  ASSERT_TRUE(Prepare(co, {"init", "bank add A"}));
  for (const char* e : {"check --amount 10 --check 1", "deposit --amount 100", "withdrawal --amount 7",
                        "adjustment --amount 3", "adjustment --amount -2"}) {
    ASSERT_EQ(Bk(co, std::string("enter ") + e + " --bank A --date 2026-11-03").status, 0) << e;
  }
  const auto rows = Csv(Bk(co, "--format csv bank list").out);
  ASSERT_EQ(rows.size(), 2u);
  std::map<std::string, long long> cell;
  for (size_t i = 0; i < rows[0].size(); ++i) cell[rows[0][i]] = Cents(rows[1][i]);
  EXPECT_EQ(cell["Open checks"], 1000);
  EXPECT_EQ(cell["Open withdrawals"], 700);
  EXPECT_EQ(cell["Open adjustments +"], 300);
  EXPECT_EQ(cell["Open adjustments -"], 200);
  EXPECT_EQ(cell["Open net"], cell["Open deposits"] + cell["Open adjustments +"] - cell["Open checks"] -
                                  cell["Open withdrawals"] - cell["Open adjustments -"]);
}

// Each entry the general ledger would not take is refused, with what the
// ledger objects to, and numbers nothing: the next entry takes run 1.
TEST(Month, EveryEntryTheGeneralLedgerWouldRefuseIsRefusedUnnumbered) {
  bktest::TestCompany dir("company");
  const std::string co = LedgerCompany(dir);
  struct Case {
    const char* args;
    const char* says;
  } cases[] = {
      {"deposit --bank OPS --amount 100 --line 7000=50 --line 8888=50", "account 7000 is inactive"},
      {"deposit --bank OPS --amount 100 --line 4000=50 --line 8888=50", "account 8888 is not an account"},
      {"check --bank OPS --amount 10 --check 1", "no general-ledger account to offset"},
      {"withdrawal --bank OPS --amount 10", "no general-ledger account to offset"},
      {"adjustment --bank OPS --amount 5 --account 4000 --date 2027-03-01", "period"},
      {"adjustment --bank OPS --amount 5 --account 4000 --date 2025-06-15", "closed"},
      {"deposit --bank OPS --amount 100 --line 4000=60 --line 4000=30@2", "do not add up"},
      {"check --bank OPS --amount 10 --check 2 --account 6000 --cash-account 9999", "account 9999"},
  };
  for (const Case& c : cases) {
    const Result r = Bk(co, std::string("enter ") + c.args + (std::string(c.args).find("--date") ==
                                                                      std::string::npos
                                                                  ? " --date 2026-11-10"
                                                                  : ""));
    EXPECT_EQ(r.status, 1) << c.args << "\n" << r.out;
    EXPECT_TRUE(r.Has(c.says)) << c.args << "\n" << r.out;
  }
  const Result ok = Bk(co, "--format csv enter deposit --bank OPS --amount 100 --date 2026-11-10 --line 4000=100");
  ASSERT_EQ(ok.status, 0) << ok.out;
  EXPECT_EQ(Entered(ok), "1 1") << "refusals took no run";
  // A calendar that cannot be read is a failure (2), not a date outside
  // every period (1): a program that meets it runs the entry again.
  ASSERT_GE(bktest::DamageTables(co + "/company.db",
                                 {tsioCompany::TableName("GLM", GLMFileSpec.Instance(), kGLMFiscalPeriod)}),
            1u);
  const Result damaged = Bk(co, "enter check --bank OPS --amount 10 --check 3 --account 6000 --date 2026-11-10");
  EXPECT_EQ(damaged.status, 2) << damaged.out;
  EXPECT_TRUE(damaged.Has("Could not read the general-ledger fiscal calendar record")) << damaged.out;
  EXPECT_FALSE(damaged.Has("not in any known fiscal period")) << damaged.out;
}

TEST(Month, TheGeneralLedgerFollowsTheBank) {
  bktest::TestCompany dir("company");
  const std::string co = LedgerCompany(dir);
  ASSERT_TRUE(Prepare(co, {"enter check --bank OPS --amount 120.00 --check 9 --date 2026-11-03 --account 6000",
                           "enter deposit --bank OPS --amount 80.00 --date 2026-11-04 --line 4000=80",
                           "transfer OPS SAV --amount 200.00 --date 2026-11-05"}));
  ASSERT_EQ(Bk(co, "enter check --bank OPS --amount 15.00 --check 10 --date 2026-11-06 --account 6000 --payables")
                .status,
            0);
  ASSERT_EQ(Bk(co, "post BKREG").status, 0);
  // Posted with the interface off: entries made for the ledger wait.
  ASSERT_TRUE(Prepare(co, {"enter adjustment --bank OPS --amount 5 --date 2026-11-07 --account 4000 --batch OFF",
                           "gl interface off"}));
  EXPECT_TRUE(Says(co, "post OFF", 1));
  ASSERT_TRUE(Prepare(co, {"enter adjustment --bank OPS --amount 9 --date 2026-11-08 --account 9999 --batch OFF2",
                           "post OFF2", "gl interface on", "post OFF"}));

  // A batch of the register's checks alone posts their lines too.
  ASSERT_EQ(Bk(co, "enter check --bank SAV --amount 30.00 --check 3 --date 2026-11-09 --account 6000 --batch CHK")
                .status,
            0);
  ASSERT_EQ(Bk(co, "post CHK").status, 0);
  const auto trial = Csv(Bk(co, "--format csv gl trial").out);
  ASSERT_GE(trial.size(), 2u);
  EXPECT_EQ(trial.back()[0], "Total");
  EXPECT_EQ(Cents(trial.back()[4]), 0) << "nothing waits to be posted";

  const auto gl = PostedLedger(co);
  // The register's checks and the deposit, the transfer between the cash
  // accounts, the adjustment; not payables' check, not the entry made while
  // entries did not go to the ledger (9999). Debits equal credits.
  EXPECT_EQ(gl, (std::map<std::string, long long>{{"1000", -12000 + 8000 - 20000 + 500},
                                                  {"1010", 20000 - 3000},
                                                  {"4000", -8000 - 500},
                                                  {"6000", 12000 + 3000}}));
  // The cash balance of each bank's cash account is the ledger's.
  EXPECT_EQ(FirstRowLast(Bk(co, "--format csv balance OPS --kind cash --cash-account 1000 --as-of 2026-12-31")),
            gl.at("1000"));
  EXPECT_EQ(FirstRowLast(Bk(co, "--format csv balance SAV --kind cash --cash-account 1010 --as-of 2026-12-31")),
            gl.at("1010"));
  EXPECT_EQ(FirstRowLast(Bk(co, "--format csv balance OPS --kind cash --cash-account 1000 --as-of 2026-11-03")),
            -12000);
  EXPECT_TRUE(Says(co, "verify", 0));
}

// Damage verify must find: each case changes one thing in a month's
// company and verify answers 2 naming it.
TEST(Month, VerifyFindsEveryDamageToReconciliationsAndTheLedger) {
  struct Damage {
    const char* what;
    const char* finding;
    void (*apply)(const std::string& co);
  } damages[] = {
      {"a reconciled transaction deleted", "reconciled count",
       [](const std::string& co) {
         tsioFileManager fm(co);
         tsioDataFile* history = nullptr;
         ASSERT_EQ(fm.Open(BKTHistoryFileSpec, &history), tsioStatus::kSuccess);
         Transaction t(*history);
         for (auto st = t.FetchFirst(true); st == tsioStatus::kSuccess; st = t.FetchNext(true)) {
           if (t.m_Record.GetReconciled().Value() == 3) {
             ASSERT_EQ(t.Delete(), tsioStatus::kSuccess);
             return;
           }
         }
         FAIL() << "no reconciled transaction";
       }},
      {"the last reconciled balance changed", "last reconciled balance",
       [](const std::string& co) {
         tsioFileManager fm(co);
         tsioDataFile* bkm = nullptr;
         ASSERT_EQ(fm.Open(BKMFileSpec, &bkm), tsioStatus::kSuccess);
         BankAccount b(*bkm);
         b.m_Record.SetBankAccount(tsAlpha("OPS"));
         ASSERT_EQ(b.FetchEQ(true), tsioStatus::kSuccess);
         b.m_Record.SetLastReconciledBalance(tsCurrency(b.m_Record.GetLastReconciledBalance() + tsCurrency(1)));
         ASSERT_EQ(b.Update(), tsioStatus::kSuccess);
       }},
      {"a general-ledger line deleted", "debits less credits",
       [](const std::string& co) {
         tsRegisterLedgerFiles();
         tsioFileManager fm(co);
         tsioDataFile* glt = nullptr;
         ASSERT_EQ(fm.Open(tsGLTFileSpec2(), &glt), tsioStatus::kSuccess);
         tsGLTransactionRec r;
         tsioCursor cur(r, *glt, r.TableID(), 0);
         ASSERT_EQ(cur.FetchFirst(true), tsioStatus::kSuccess);
         ASSERT_EQ(cur.Delete(), tsioStatus::kSuccess);
       }},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    bktest::TestCompany dir("company");
    const std::string co = LedgerCompany(dir);
    ASSERT_TRUE(Prepare(co, {"enter check --bank OPS --amount 100.00 --check 1 --date 2026-11-03 --account 6000",
                             "enter deposit --bank OPS --amount 40.00 --date 2026-11-04 --line 4000=40", "post BKREG",
                             "clear OPS --check 1 --date 2026-11-10",
                             "reconcile finish OPS --date 2026-11-30 --ending 900.00"}));
    ASSERT_EQ(Bk(co, "verify").status, 0) << Bk(co, "verify").out;
    d.apply(co);
    EXPECT_TRUE(Says(co, "verify", 2, {d.finding}));
  }
}

TEST(Month, BatchesHoldEveryKindAndStartCleanAfterClosing) {
  bktest::TestCompany dir("company");
  const std::string co = LedgerCompany(dir);
  // Control totals over checks and deposits alike: two of each, net 1,000.00.
  ASSERT_EQ(Bk(co, "batch open W --count 4 --amount 999.00 --date 2026-11-02").status, 0);
  for (const char* e : {"deposit --amount 700 --line 4000=700", "deposit --amount 500 --line 4000=500",
                        "check --amount 150 --check 31 --account 6000", "check --amount 50 --check 32 --account 6000"}) {
    ASSERT_EQ(Bk(co, std::string("enter ") + e + " --bank OPS --date 2026-11-03 --batch W").status, 0) << e;
  }
  auto row = [&](const std::string& id) {
    for (const auto& r : Csv(Bk(co, "--format csv batch list").out)) {
      if (!r.empty() && r[0] == id) return r;
    }
    return std::vector<std::string>{};
  };
  EXPECT_EQ(row("W")[5], "4");
  EXPECT_EQ(row("W")[7], "no");
  EXPECT_EQ(Bk(co, "post W").status, 1) << "out of balance";
  ASSERT_EQ(Bk(co, "batch edit W --amount 1000.00").status, 0);
  EXPECT_EQ(row("W")[7], "yes");
  ASSERT_EQ(Bk(co, "post W").status, 0);
  EXPECT_EQ(row("W")[8], "posted");
  // A posted batch takes nothing more, by any command.
  for (const char* more : {"enter deposit --bank OPS --amount 1 --line 4000=1 --date 2026-11-04 --batch W",
                           "transfer OPS SAV --amount 1 --date 2026-11-04 --batch W"}) {
    EXPECT_TRUE(Says(co, more, 1, {"was posted"}));
  }
  // Closed, its id starts a clean batch; verify stays clean.
  ASSERT_TRUE(Prepare(co, {"batch close W",
                           "enter deposit --bank OPS --amount 3 --line 4000=3 --date 2026-11-05 --batch W"}));
  EXPECT_EQ(row("W")[5], "1");
  EXPECT_TRUE(Says(co, "verify", 0));
  ASSERT_EQ(Bk(co, "post W").status, 0);
  EXPECT_EQ(Bk(co, "verify").status, 0);
}

TEST(Month, ClearingAndReconcilingCanBeCorrected) {
  bktest::TestCompany dir("company");
  const std::string co = LedgerCompany(dir);
  ASSERT_TRUE(Prepare(co, {"enter check --bank OPS --amount 100.00 --check 1 --date 2026-11-03 --account 6000",
                           "enter check --bank OPS --amount 60.00 --check 2 --date 2026-11-03 --account 6000",
                           "post BKREG"}));
  // A mistyped ending balance is corrected by starting the same statement
  // again; another statement waits; cancel abandons it.
  ASSERT_EQ(Bk(co, "reconcile start OPS --date 2026-11-30 --ending-balance 9000.00").status, 0);
  EXPECT_EQ(Bk(co, "reconcile start OPS --date 2026-10-31 --ending-balance 1.00").status, 1);
  ASSERT_TRUE(Prepare(co, {"reconcile start OPS --date 2026-11-30 --ending-balance 900.00",
                           "clear OPS --check 2 --date 2026-11-10"}));
  // Cleared by mistake: back to open.
  ASSERT_TRUE(Says(co, "clear OPS --check 2 --undo", 0));
  EXPECT_EQ(RegisterRows(co, "OPS", "--state cleared").size(), 0u);
  EXPECT_EQ(FirstRowLast(Bk(co, "--format csv balance OPS --kind bank")), 100000);
  EXPECT_EQ(Bk(co, "clear OPS --check 2 --undo").status, 1) << "not cleared";
  ASSERT_EQ(Bk(co, "clear OPS --check 1 --date 2026-11-10").status, 0);
  const auto status = Csv(Bk(co, "--format csv reconcile status OPS").out);
  ASSERT_EQ(status.size(), 2u);
  EXPECT_EQ(Cents(status[1].back()), 0) << "difference";
  // finish needs --ending with --date, exact to the cent.
  EXPECT_EQ(Bk(co, "reconcile cancel OPS").status, 0);
  EXPECT_EQ(Bk(co, "reconcile status OPS").status, 1);
  EXPECT_EQ(Bk(co, "reconcile finish OPS --date 2026-11-30").status, 1);
  EXPECT_EQ(Bk(co, "reconcile finish OPS --date 2026-11-30 --ending 900.001").status, 1);
  ASSERT_EQ(Bk(co, "reconcile finish OPS --date 2026-11-30 --ending 900.00").status, 0);
  // A reconciled transaction is not cleared again, nor returned to open.
  EXPECT_TRUE(Bk(co, "clear OPS --check 1 --date 2026-12-01").Has("reconcile undo"));
  EXPECT_EQ(Bk(co, "clear OPS --check 1 --undo").status, 1);
  ASSERT_TRUE(Prepare(co, {"clear OPS --check 2 --date 2026-12-05",
                           "reconcile finish OPS --date 2026-12-31 --ending 840.00"}));
  EXPECT_EQ(Bk(co, "verify").status, 0) << Bk(co, "verify").out;
}

// The bank's own lines entered by a statement import (fees, interest) go to
// the general ledger as `enter adjustment` sends them: the cash account
// against the offset account the import is given, or not at all.
TEST(Month, StatementAdjustmentsGoToTheGeneralLedger) {
  bktest::TestCompany dir("company");
  const std::string co = LedgerCompany(dir);
  ASSERT_TRUE(Prepare(co, {"enter check --bank OPS --amount 120.00 --check 9 --date 2026-11-03 --account 6000",
                           "post BKREG"}));
  bktest::TempDir files;
  const std::string csv = files.Sub("november.csv");
  std::ofstream(csv) << "date,amount,check,memo\n2026-11-05,-120.00,9,Check 9\n2026-11-30,-4.50,,Service fee\n";
  const std::string import = "statement import OPS " + csv + " --mapping 'date=date;amount=amount;check=check;memo=memo;statement_date=2026-11-30;ending_balance=875.50'";
  EXPECT_TRUE(Says(co, import + " --enter-unknown", 1, {"--offset-account"}));
  EXPECT_EQ(RegisterRows(co, "OPS", "--state cleared").size(), 0u) << "nothing applied";
  // An offset the ledger does not know: the fee's line fails, named (the
  // check's line is cleared all the same).
  const Result unknown = Bk(co, import + " --enter-unknown --offset-account 8888");
  EXPECT_NE(unknown.status, 0) << unknown.out;
  EXPECT_TRUE(unknown.Has("account 8888 is not an account of the general ledger")) << unknown.out;
  ASSERT_TRUE(Says(co, import + " --enter-unknown --offset-account 6000", 0));
  ASSERT_EQ(Bk(co, "post BKSTMT").status, 0);
  EXPECT_EQ(PostedLedger(co), (std::map<std::string, long long>{{"1000", -12000 - 450}, {"6000", 12000 + 450}}));
  EXPECT_EQ(FirstRowLast(Bk(co, "--format csv balance OPS --kind cash --cash-account 1000")), -12450);
  EXPECT_TRUE(Says(co, "verify", 0));
}

TEST(Month, AnUnpostedTransferIsRemovedAsAPair) {
  bktest::TestCompany dir("company");
  const std::string co = LedgerCompany(dir);
  const Result moved = Bk(co, "--format csv transfer OPS SAV --amount 75.00 --date 2026-11-05");
  ASSERT_EQ(moved.status, 0) << moved.out;
  const auto sides = Csv(moved.out);
  ASSERT_EQ(sides.size(), 3u);
  // Either side names the pair.
  ASSERT_EQ(Bk(co, "remove SAV " + sides[2][1] + " " + sides[2][2]).status, 0);
  EXPECT_TRUE(RegisterRows(co, "OPS").empty());
  EXPECT_TRUE(RegisterRows(co, "SAV").empty());
  EXPECT_EQ(FirstRowLast(Bk(co, "--format csv balance OPS")), 100000);
  EXPECT_EQ(FirstRowLast(Bk(co, "--format csv balance SAV --kind cash --cash-account 1010")), 0);
  EXPECT_EQ(Bk(co, "verify").status, 0);
}

// The clearing's window: a clearing made inside a caller's unit of work
// holds the bank account until that unit ends, so another program cannot
// read the old totals meanwhile and write them back over it.
TEST(Month, AClearingHoldsTheAccountUntilItsUnitCommits) {
  bktest::TestCompany dir("company");
  const std::string co = LedgerCompany(dir);
  ASSERT_TRUE(Prepare(co, {"enter check --bank OPS --amount 10.00 --check 1 --date 2026-11-03 --account 6000",
                           "enter check --bank OPS --amount 20.00 --check 2 --date 2026-11-03 --account 6000",
                           "post BKREG"}));
  {
    tsioFileManager fm(co);
    tsioDataFile *bkm = nullptr, *history = nullptr;
    ASSERT_EQ(fm.Open(BKMFileSpec, &bkm), tsioStatus::kSuccess);
    ASSERT_EQ(fm.Open(BKTHistoryFileSpec, &history), tsioStatus::kSuccess);
    Transaction t(*history);
    tsioStatus::Status st = t.FetchFirst(false);
    for (; st == tsioStatus::kSuccess && t.m_Record.GetCheck() != tsDouble(1, 0); st = t.FetchNext(false)) {
    }
    ASSERT_EQ(st, tsioStatus::kSuccess);
    tclRollbackStack unit;
    t.AttachRollbackStack(&unit);
    BankAccount bank(*bkm);
    bank.AttachRollbackStack(&unit);
    const auto cleared = t.clearTransaction(tsCurrency(-10), tsDate(2026, 11, 10), &bank, t.m_Record.GetRun(), nullptr);
    ASSERT_FALSE(cleared.HasError());
    // Another program, before the unit commits: the account is held.
    EXPECT_TRUE(Says(co, "--wait 0.2 clear OPS --check 2 --date 2026-11-11", 3));
    ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
  }
  ASSERT_EQ(Bk(co, "clear OPS --check 2 --date 2026-11-11").status, 0);
  EXPECT_EQ(FirstRowLast(Bk(co, "--format csv balance OPS --kind bank")), 100000 - 3000);
  EXPECT_EQ(Bk(co, "verify").status, 0) << Bk(co, "verify").out;
}

// A balance reads the current file, the history and the account in one
// committed state: what another program commits between those reads is
// not half seen.
TEST(Month, ReadsInASnapshotSeeOneCommittedState) {
  bktest::TestCompany dir("company");
  const std::string co = dir.path();
  ASSERT_TRUE(Prepare(co, {"init", "bank add A --balance 100.00",
                           "enter deposit --bank A --amount 5 --date 2026-11-03 --batch P"}));
  tsioFileManager fm(co);
  tsioDataFile *bkm = nullptr, *bkt = nullptr, *history = nullptr;
  ASSERT_EQ(fm.Open(BKMFileSpec, &bkm), tsioStatus::kSuccess);
  ASSERT_EQ(fm.Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
  ASSERT_EQ(fm.Open(BKTHistoryFileSpec, &history), tsioStatus::kSuccess);
  auto count = [](const tsioDataFile& file) {
    Transaction t(file);
    int n = 0;
    for (auto st = t.FetchFirst(false); st == tsioStatus::kSuccess; st = t.FetchNext(false)) ++n;
    return n;
  };
  {
    tsioReadSnapshot snapshot(bkm->Company());
    ASSERT_EQ(snapshot.Status(), tsioStatus::kSuccess);
    EXPECT_EQ(count(*bkt), 1);
    // Another program posts (the deposit moves to history) and enters more.
    ASSERT_TRUE(Prepare(co, {"post P", "enter deposit --bank A --amount 7 --date 2026-11-04"}));
    EXPECT_EQ(count(*history), 0) << "the posting is not half seen";
    EXPECT_EQ(count(*bkt), 1);
  }
  EXPECT_EQ(count(*history), 1);
  EXPECT_EQ(count(*bkt), 1);
}

}  // namespace
