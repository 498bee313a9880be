// The module commands of bkreg run as people and scripts run them: the real
// program on a real company folder with the real general-ledger module,
// exit statuses, output, and the files afterwards read through the library.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/dictionary/gl_files.h"
#include "framework/io/cursor.h"
#include "framework/io/file_manager.h"
#include "records/files.h"
#include "batches/batch.h"
#include "framework/io/rollback_stack.h"
#include "transactions/transaction_file_header.h"
#include "tools/bkreg/bkreg_test_support.h"
#include "transactions/transaction.h"
#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"

namespace {

using bkregtest::Bk;
using bkregtest::PostedLedger;
using bkregtest::Prepare;
using bkregtest::Result;
using bkregtest::Says;

std::string Bkreg() { return bkregtest::Program(); }

// A company with bank accounts B1 (cash account 1000) and B2 (1010), the
// general ledger's accounts and the periods of 2026.
std::string Company(bktest::TestCompany& dir) {
  const std::string co = dir.path();
  EXPECT_TRUE(Prepare(co, {"init", "bank add B1 --balance 1000.00 --cash-account 1000",
                           "bank add B2 --balance 50.00 --cash-account 1010", "gl account add 1000",
                           "gl account add 1010", "gl account add 4000", "gl account add 4100", "gl account add 6000",
                           "gl period add '' --year 2026", "gl interface on"}));
  return co;
}

struct Stored {
  std::vector<std::string> register_rows, history_rows;
  int deposit_items = 0, deposit_lines = 0;
};

// The transactions of the register and of history as "bank type amount
// state posted", and the history's deposit items and lines.
Stored Read(const std::string& co) {
  Stored s;
  tsioFileManager fm(co);
  tsioDataFile *bkt = nullptr, *history = nullptr;
  EXPECT_EQ(fm.Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
  EXPECT_EQ(fm.Open(BKTHistoryFileSpec, &history), tsioStatus::kSuccess);
  for (auto [file, rows] : {std::pair{bkt, &s.register_rows}, std::pair{history, &s.history_rows}}) {
    Transaction t(*file);
    for (auto st = t.FetchFirst(false); st == tsioStatus::kSuccess; st = t.FetchNext(false)) {
      const TransactionData& r = t.m_Record;
      rows->push_back(r.GetBankAccount().str() + " " + std::to_string(r.GetType().Value()) + " " +
                      r.GetAmount().Format() + " " + std::to_string(r.GetReconciled().Value()) +
                      (static_cast<bool>(r.GetPosted()) ? " posted" : ""));
    }
  }
  DepositItem item(*history);
  for (auto st = item.FetchFirst(false); st == tsioStatus::kSuccess; st = item.FetchNext(false)) ++s.deposit_items;
  DepositItemDetail line(*history);
  for (auto st = line.FetchFirst(false); st == tsioStatus::kSuccess; st = line.FetchNext(false)) ++s.deposit_lines;
  return s;
}

// Cents as the program prints money: "-12.05", "3.40".
std::string Money(long long cents) {
  const long long a = cents < 0 ? -cents : cents;
  std::string frac = std::to_string(a % 100);
  if (frac.size() < 2) frac = "0" + frac;
  return (cents < 0 ? "-" : "") + std::to_string(a / 100) + "." + frac;
}

// Each command is refused with its status and a message that says `says`.
struct Refusal {
  std::string args;
  int status;
  const char* says;
};
void ExpectRefusals(const std::string& co, const std::vector<Refusal>& refusals) {
  for (const Refusal& c : refusals) {
    Result r = Bk(co, c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
    EXPECT_TRUE(r.Has(c.says)) << c.args << "\n" << r.out;
  }
}

TEST(BkregModule, BatchControlTotalsGovernPostingAndClosing) {
  bktest::TestCompany dir("company");
  const std::string co = Company(dir);
  ASSERT_EQ(Bk(co, "batch open D1 --desc 'Week 45' --date 2026-11-02 --count 2 --amount 150.00").status, 0);
  // Refusals of the batch commands: input and business rules are 1.
  ExpectRefusals(co, {
      {"batch open D1", 1, "open already"},
      {"batch open D2 --amount 1.005", 1, "--amount"},
      {"batch open D2 --count 40000", 1, "--count"},
      {"batch show NOPE", 1, "no batch 'NOPE'"},
      {"batch close NOPE", 1, "no batch"},
      {"post NOPE", 1, "no batch 'NOPE'"},
  });
  ASSERT_EQ(Bk(co, "enter deposit --bank B1 --amount 100.00 --date 2026-11-03 --batch D1 --account 4000").status, 0);
  Result out_of_balance = Bk(co, "post D1");
  EXPECT_EQ(out_of_balance.status, 1) << out_of_balance.out;
  EXPECT_TRUE(out_of_balance.Has("not in balance: 1 transactions of 100.00 entered, 2 of 150.00 expected"))
      << out_of_balance.out;
  EXPECT_EQ(Read(co).register_rows.size(), 1u) << "nothing posted";
  Result close = Bk(co, "batch close D1");
  EXPECT_EQ(close.status, 1) << close.out;
  EXPECT_TRUE(close.Has("not posted")) << close.out;

  ASSERT_EQ(Bk(co, "enter deposit --bank B1 --amount 50.00 --date 2026-11-04 --batch D1 --account 4100").status, 0);
  Result shown = Bk(co, "--format csv batch show D1");
  ASSERT_EQ(shown.status, 0) << shown.out;
  EXPECT_TRUE(shown.Has("D1,Week 45,2026-11-02,2,150.00,2,150.00,yes,open")) << shown.out;
  EXPECT_TRUE(Says(co, "--format json batch list", 0, {"\"Control amount\": 150.00"}));

  Result posted = Bk(co, "post D1");
  ASSERT_EQ(posted.status, 0) << posted.out;
  EXPECT_TRUE(posted.Has("POST ENTRIES TOTALS")) << posted.out;
  EXPECT_TRUE(posted.Has("Posted batch D1: 2 transactions to history, 4 general-ledger lines posted")) << posted.out;
  const Stored s = Read(co);
  EXPECT_TRUE(s.register_rows.empty());
  EXPECT_EQ(s.history_rows, (std::vector<std::string>{"B1 2 100.00 1 posted", "B1 2 50.00 1 posted"}));
  // The bank's cash account is debited.
  EXPECT_EQ(PostedLedger(co), (std::map<std::string, long long>{{"1000", 15000}, {"4000", -10000}, {"4100", -5000}}));

  // Balances as of dates count the posted transactions in history.
  for (const char* want : {"B1,2026-11-02,register,1000.00", "B1,2026-11-03,register,1100.00",
                           "B1,2026-11-04,register,1150.00"}) {
    EXPECT_TRUE(Says(co, "--format csv balance B1 --as-of " + std::string(want).substr(3, 10), 0, {want}));
  }
  // Closing clears the totals and removes the record in one unit: killed at
  // any of its writes, the batch is there as it was, or gone.
  const std::string before = Bk(co, "--format csv batch show D1").out;
  for (int n = 1; n <= 4; ++n) {
    (void)Bk(co, "batch close D1", "env BK_TEST_HOOK_KILL_AT_WRITE=" + std::to_string(n) + " " + Bkreg());
    const Result shown = Bk(co, "--format csv batch show D1");
    if (shown.status == 1) break;
    EXPECT_EQ(shown.out, before) << "killed at write " << n;
  }
  EXPECT_EQ(Bk(co, "batch close D1").status, 1) << "an empty closed batch is gone";
  EXPECT_EQ(Bk(co, "verify").status, 0);
}

TEST(BkregModule, DistributionLinesFromOptionsAndCsvAreCheckedAndPostedLineByLine) {
  bktest::TestCompany dir("company");
  const std::string co = Company(dir);
  const std::string csv = dir.Sub("lines.csv");
  std::ofstream(csv) << "account,amount,item,payer\n4000,60.00,1,Corner shop\n4100,40.00,1,\n4000,50.00,2,\"Cafe, The\"\n";
  const std::string bad = dir.Sub("bad.csv");
  std::ofstream(bad) << "account,amount\n4000,12.345\n";
  const std::string odd = dir.Sub("odd.csv");
  std::ofstream(odd) << "account,amount,colour\n4000,1.00,red\n";
  ExpectRefusals(co, {
      {"enter check --bank B1 --amount 5 --check 7 --line 6000=5.00", 1, "--line goes with deposits and withdrawals only"},
      {"enter deposit --bank B1 --amount 5 --line 4000", 1, "ACCOUNT=AMOUNT"},
      {"enter deposit --bank B1 --amount 5 --line 4000=5.001", 1, "not an amount"},
      {"enter deposit --bank B1 --amount 5 --line 4000=2.50 --line 4000=2.50", 1, "twice"},
      {"enter deposit --bank B1 --amount 5 --lines " + bad, 1, "line 2"},
      {"enter deposit --bank B1 --amount 5 --lines " + odd, 1, "unknown column 'colour'"},
      {"enter deposit --bank B1 --amount 5 --lines /nonexistent.csv", 1, "cannot read"},
  });
  // Lines that do not add up: the module's rule refuses, nothing is kept.
  Result short_lines = Bk(co, "enter deposit --bank B1 --amount 150.01 --date 2026-11-05 --lines " + csv);
  EXPECT_NE(short_lines.status, 0) << short_lines.out;
  EXPECT_TRUE(short_lines.Has("was not entered")) << short_lines.out;
  EXPECT_TRUE(Read(co).register_rows.empty());

  ASSERT_EQ(Bk(co, "enter deposit --bank B1 --amount 150.00 --date 2026-11-05 --batch L --lines " + csv).status, 0);
  Result w = Bk(co, "enter withdrawal --bank B1 --amount 30.00 --date 2026-11-06 --batch L --line 6000=20.00 "
                     "--line 4100=10.00");
  ASSERT_EQ(w.status, 0) << w.out;
  ASSERT_TRUE(Says(co, "post L", 0, {"2 transactions to history, 6 general-ledger lines posted"}));
  const Stored s = Read(co);
  EXPECT_EQ(s.deposit_items, 2);
  EXPECT_EQ(s.deposit_lines, 3);
  EXPECT_EQ(PostedLedger(co), (std::map<std::string, long long>{
                                 {"1000", 15000 - 3000}, {"4000", -11000}, {"4100", -4000 + 1000}, {"6000", 2000}}));
}

TEST(BkregModule, RemoveTransferClearAndReconcileKeepTheBalancesRight) {
  bktest::TestCompany dir("company");
  const std::string co = Company(dir);
  ASSERT_EQ(Bk(co, "enter check --bank B1 --amount 25.50 --check 101 --date 2026-11-02 --batch C --account 6000")
                .status,
            0);
  ASSERT_EQ(Bk(co, "enter deposit --bank B1 --amount 10.00 --date 2026-11-02 --batch C --account 4000").status, 0);
  ASSERT_TRUE(Says(co, "remove B1 2 1", 0));
  EXPECT_EQ(Read(co).register_rows, std::vector<std::string>{"B1 1 -25.50 1"});
  EXPECT_TRUE(Bk(co, "--format csv bank list").Has("B1,B1,Checking,974.50,1000.00,25.50,0.00,0.00,0.00,0.00,-25.50"))
      << Bk(co, "--format csv bank list").out;

  Result moved = Bk(co, "transfer B1 B2 --amount 100.00 --date 2026-11-03");
  ASSERT_EQ(moved.status, 0) << moved.out;
  EXPECT_TRUE(Says(co, "--format csv bank list", 0, {"B1,B1,Checking,874.50,", "B2,B2,Checking,150.00,"}));
  {
    tsioFileManager fm(co);
    tsioDataFile* bkt = nullptr;
    ASSERT_EQ(fm.Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
    Transaction t(*bkt);
    std::vector<std::string> sides;
    for (auto st = t.FetchFirst(false); st == tsioStatus::kSuccess; st = t.FetchNext(false)) {
      if (t.m_Record.GetTransferSequence().IsNull()) continue;
      sides.push_back(t.m_Record.GetBankAccount().str() + " run " + t.m_Record.GetRun().Format() + " pair " +
                      t.m_Record.GetTransferSequence().Format() + " side " +
                      std::to_string(t.m_Record.GetTransferDirection().Value()) + " " + t.m_Record.GetAmount().Format());
    }
    EXPECT_EQ(sides, (std::vector<std::string>{"B1 run 3 pair 1 side 1 -100.00", "B2 run 3 pair 1 side 2 100.00"}));
  }
  ExpectRefusals(co, {
      {"remove B1 9 9", 1, "no transaction"},
      {"transfer B1 B1 --amount 5", 1, "two different"},
      {"transfer B1 NOPE --amount 5", 1, "no bank account 'NOPE'"},
      {"transfer B1 B2 --amount 0", 1, "above 0"},
      {"transfer B1 B2 --amount 1.234", 1, "at most two decimals"},
      {"clear B1 1 1", 1, "has not been posted"},
      {"clear B1 --check 999", 1, "no check 999"},
      {"reconcile status B1", 1, "no reconciliation"},
      {"reconcile start B1 --date 2026-11-30", 1, "--ending-balance"},
  });

  ASSERT_TRUE(Prepare(co, {"post C", "post BKREG", "reconcile start B1 --date 2026-11-30 --ending-balance 874.50"}));
  EXPECT_EQ(Bk(co, "reconcile start B1 --date 2026-11-29 --ending-balance 1").status, 1) << "one at a time";
  EXPECT_TRUE(Says(co, "--format csv reconcile status B1", 0, {"B1,2026-11-30,1000.00,0,0.00,874.50,-125.50"}));
  Result cleared = Bk(co, "clear B1 --check 101 --date 2026-11-20");
  ASSERT_EQ(cleared.status, 0) << cleared.out;
  EXPECT_TRUE(Says(co, "--format csv reconcile status B1", 0, {"B1,2026-11-30,1000.00,1,-25.50,874.50,-100.00"}));
  ASSERT_EQ(Bk(co, "--format json locks").status, 0);
  // The transfer's side is cleared by the run and sequence it was entered
  // under (posting keeps them), for less than it was.
  ASSERT_EQ(Bk(co, "clear B1 3 1 --amount -99.99 --date 2026-11-21").status, 0) << Bk(co, "register --bank B1").out;
  EXPECT_TRUE(Says(co, "--format json reconcile status B1", 0, {"\"Difference\": -0.01"}));
  ASSERT_EQ(Bk(co, "clear B1 3 1 --amount -100.00 --date 2026-11-21").status, 0);
  // The bank balance then counts the check only.
  EXPECT_TRUE(Says(co, "--format csv balance B1 --kind bank --as-of 2026-11-20", 0, {"B1,2026-11-20,bank,974.50"}));
  EXPECT_TRUE(Says(co, "--format csv reconcile status B1", 0, {"B1,2026-11-30,1000.00,2,-125.50,874.50,0.00"}));
  EXPECT_TRUE(Bk(co, "--format csv bank list").Has("B1,B1,Checking,874.50,874.50,")) << "bank balance moved once";
  // Finishing starts from where status started (the opening balance), and
  // the reconciled balance as of a date counts the posted transactions.
  ASSERT_TRUE(Says(co, "reconcile finish B1", 0, {"statement of 2026-11-30: 2 transactions"}));
  EXPECT_TRUE(Bk(co, "--format csv balance B1 --kind reconciled --as-of 2026-11-29").Has("reconciled,1000.00"));
  EXPECT_TRUE(Bk(co, "--format csv balance B1 --kind reconciled --as-of 2026-11-30").Has("reconciled,874.50"));
}

// Another program editing the register: every command that changes it
// answers 3 and changes nothing; `locks` names the holder.
TEST(BkregModule, CommandsWaitTheirTurnWhileAnotherProgramEditsTheRegister) {
  bktest::TestCompany dir("company");
  const std::string co = Company(dir);
  ASSERT_EQ(Bk(co, "enter deposit --bank B1 --amount 10.00 --date 2026-11-02 --batch K --account 4000").status, 0);
  const std::string cmd = Bkreg() + " --company '" + co + "' lock --bank B1 >/dev/null";
  FILE* holder = popen(cmd.c_str(), "w");
  ASSERT_NE(holder, nullptr);
  ASSERT_EQ(bkregtest::Until(co, "locked B1", 3).status, 3);
  const Result locks = Bk(co, "--format csv locks");
  EXPECT_EQ(locks.status, 0);
  EXPECT_TRUE(locks.Has("bank,B1,,held by another program")) << locks.out;
  for (const char* args : {"remove B1 1 1", "post K", "transfer B2 B1 --amount 1", "clear B1 1 1",
                           "reconcile start B1 --date 2026-11-30 --ending-balance 1"}) {
    EXPECT_TRUE(Says(co, args, 3, {"being edited by another program"}));
  }
  pclose(holder);
  EXPECT_EQ(Read(co).register_rows.size(), 1u);
  EXPECT_FALSE(Bk(co, "locks").Has("held by another program"));
  EXPECT_EQ(Bk(co, "post K").status, 0);
}

// A transaction of the batch another program holds (here the sixth, which
// posting on a server locks together with the others of its group): the
// posting answers 3 and leaves every transaction where it was; once the
// other program lets go, the batch posts whole.
TEST(BkregModule, PostingStopsWholeAtATransactionAnotherProgramHolds) {
  bktest::TestCompany dir("company");
  const std::string co = Company(dir);
  ASSERT_TRUE(Prepare(co, {"gl interface off", "generate --bank B1 --count 20 --from 2026-11-01 --batch P",
                           "gl interface on"}));
  {
    tsioFileManager fm(co);
    tsioDataFile* bkt = nullptr;
    ASSERT_EQ(fm.Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
    Transaction held(*bkt);
    auto st = held.FetchFirst(false);
    for (int i = 0; i < 5 && st == tsioStatus::kSuccess; ++i) st = held.FetchNext(false);
    ASSERT_EQ(st, tsioStatus::kSuccess);
    ASSERT_EQ(held.FetchEQ(true), tsioStatus::kSuccess);
    EXPECT_TRUE(Says(co, "post P", 3, {"could not be read"}));
    const Stored s = Read(co);
    EXPECT_EQ(std::pair(s.register_rows.size(), s.history_rows.size()), std::pair(size_t{20}, size_t{0}));
  }
  EXPECT_TRUE(Says(co, "post P", 0, {"20 transactions to history"}));
  EXPECT_TRUE(Says(co, "verify", 0, {"no problems found"}));
}

// Without the general-ledger module nothing is posted and the program says
// why: the program copied where no module folder is near it.
TEST(BkregModule, PostingWithoutTheGeneralLedgerModuleMovesNothing) {
  bktest::TestCompany dir("company");
  const std::string co = Company(dir);
  ASSERT_EQ(Bk(co, "enter deposit --bank B1 --amount 10.00 --date 2026-11-02 --batch G --account 4000").status, 0);
  const std::string lone = dir.Sub("lone");
  ASSERT_EQ(mkdir(lone.c_str(), 0700), 0);
  const std::string copy = lone + "/bkreg";
  ASSERT_EQ(system(("cp '" + Bkreg() + "' '" + copy + "'").c_str()), 0);
  const Result r = Bk(co, "post G", "env BK_MODULE_PATH=" + lone + " " + copy);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_TRUE(r.Has("general-ledger module")) << r.out;
  EXPECT_EQ(Read(co).register_rows.size(), 1u);
  EXPECT_TRUE(Read(co).history_rows.empty());
}

TEST(BkregModule, GeneralLedgerAccountsAndPeriodsAreListedInEveryFormat) {
  bktest::TestCompany dir("company");
  const std::string co = Company(dir);
  EXPECT_EQ(Bk(co, "gl account add 4000").status, 1) << "exists already";
  EXPECT_EQ(Bk(co, "gl period add '' --year 2026").status, 1) << "periods exist already";
  EXPECT_EQ(Bk(co, "gl period add '' --year 2027 --period 14 --start 2027-01-01 --end 2027-01-31").status, 1);
  EXPECT_EQ(Bk(co, "gl period add '' --year 2027 --period 1 --start 2027-02-01 --end 2027-01-31").status, 1);
  ASSERT_EQ(Bk(co, "gl period add '' --year 2027 --period 1 --start 2027-01-01 --end 2027-01-31 --closed").status, 0);
  ASSERT_TRUE(Says(co, "--format csv gl account list", 0, {"Account,Prefix,Base,Active\r\n", ",yes\r\n"}));
  ASSERT_TRUE(
      Says(co, "--format json gl period list", 0, {"\"Start\": \"2026-02-01\"", "\"Status\": \"closed\""}));
  Result text = Bk(co, "gl period list");
  EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), 2 + 13) << text.out;
}

// The demo's month of work runs through every module command on a fresh
// company and ends reconciled to the cent; a second run only shows it.
TEST(BkregModule, DemoMonthPostsReconcilesAndShowsBalances) {
  bktest::TestCompany dir("demo");
  const std::string co = dir.path();
  Result first = Bk(co, "demo");
  ASSERT_EQ(first.status, 0) << first.out;
  EXPECT_TRUE(first.Has("Posted batch MONTH: 4 transactions to history, 9 general-ledger lines posted")) << first.out;
  const size_t last_status = first.out.rfind("Difference");
  ASSERT_NE(last_status, std::string::npos) << first.out;
  EXPECT_NE(first.out.find("25600.00        0.00", last_status), std::string::npos) << first.out;
  const auto gl = PostedLedger(co);
  EXPECT_EQ(gl.at("1000"), 116540) << "the deposits less the register's checks";
  EXPECT_EQ(gl.at("6000"), 90000) << "a check's offset";
  long long sum = 0;
  for (const auto& [account, cents] : gl) sum += cents;
  EXPECT_EQ(sum, 0) << "debits equal credits";
  Result again = Bk(co, "demo");
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_FALSE(again.Has("Posted batch")) << again.out;
}

// Random entries, removals and transfers over two accounts against a model
// kept in a map: after every step each account's register balance and open
// totals are what the model computes, and removing an entry (a transfer
// with both its sides) takes out exactly what entering it put in.
TEST(BkregModule, RandomEntriesRemovalsAndTransfersKeepTheTotalsOfAModel) {
  bktest::TestCompany dir("company");
  const std::string co = dir.path();
  ASSERT_TRUE(Prepare(co, {"init", "bank add A --balance 500.00", "bank add B --balance 0"}));
  struct Tran {
    std::string bank;
    long long cents;  // signed
    int type;
    bool transfer;
  };
  std::map<std::pair<std::string, std::string>, Tran> live;  // (bank, "run seq") -> transaction
  std::map<std::string, long long> opening = {{"A", 50000}, {"B", 0}};
  unsigned seed = 12345;
  auto next = [&](unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  int run = 0;
  for (int step = 0; step < 24; ++step) {
    const unsigned what = next(4);
    if (what == 3 && !live.empty()) {  // remove one; a transfer's side takes the other with it
      auto it = live.begin();
      std::advance(it, next(static_cast<unsigned>(live.size())));
      const std::string args = "remove " + it->first.first + " " + it->first.second;
      EXPECT_TRUE(Says(co, args, 0));
      if (it->second.transfer) {
        const std::string run_of = it->first.second.substr(0, it->first.second.find(' '));
        for (auto side = live.begin(); side != live.end();) {
          const bool pair = side->second.transfer && side->first.second.rfind(run_of + " ", 0) == 0;
          side = pair ? live.erase(side) : std::next(side);
        }
      } else {
        live.erase(it);
      }
      continue;
    }
    const long long cents = 100 + next(90000);
    const std::string amount = Money(cents);
    ++run;
    if (what == 2) {
      const bool ab = next(2) == 0;
      const std::string from = ab ? "A" : "B", to = ab ? "B" : "A";
      ASSERT_TRUE(Says(co, "transfer " + from + " " + to + " --amount " + amount + " --date 2026-11-10", 0));
      live[{from, std::to_string(run) + " 1"}] = {from, -cents, 3, true};
      live[{to, std::to_string(run) + " 2"}] = {to, cents, 2, true};
      continue;
    }
    const std::string bank = next(2) == 0 ? "A" : "B";
    const int type = what == 0 ? 2 : 3;
    ASSERT_TRUE(Says(co, std::string("enter ") + (type == 2 ? "deposit" : "withdrawal") + " --bank " + bank +
                             " --amount " + amount + " --date 2026-11-0" + std::to_string(1 + step % 9), 0));
    live[{bank, std::to_string(run) + " 1"}] = {bank, type == 2 ? cents : -cents, type, false};
  }
  for (const char* bank : {"A", "B"}) {
    long long balance = opening[bank], deposits = 0, withdrawals = 0;
    for (const auto& [key, t] : live) {
      if (t.bank != bank) continue;
      balance += t.cents;
      (t.type == 2 ? deposits : withdrawals) += t.cents < 0 ? -t.cents : t.cents;
    }
    const auto rows = bkregtest::Csv(Bk(co, std::string("--format csv bank show ") + bank).out);
    ASSERT_EQ(rows.size(), 2u);
    ASSERT_EQ(rows[1].size(), 14u);
    // The register balance, open deposits and open withdrawals.
    EXPECT_EQ(rows[1][3] + " " + rows[1][8] + " " + rows[1][9],
              Money(balance) + " " + Money(deposits) + " " + Money(withdrawals)) << bank;
  }
  EXPECT_EQ(Bk(co, "verify").status, 0) << Bk(co, "verify").out;
}

// The general ledger's lines waiting to be posted.
int WaitingLines(const std::string& co) {
  tsRegisterLedgerFiles();
  tsioFileManager fm(co);
  tsioDataFile* glt = nullptr;
  if (fm.Open(tsGLTFileSpec(), &glt) != tsioStatus::kSuccess) return 0;
  tsGLTransactionRec r;
  tsioCursor cur(r, *glt, r.TableID(), 0);
  int n = 0;
  for (auto st = cur.FetchFirst(false); st == tsioStatus::kSuccess; st = cur.FetchNext(false)) ++n;
  return n;
}

// bkreg post killed (SIGKILL, through the kill-at-write test hook) at each
// of its storage writes in turn: after every kill the batch is either still
// wholly in the register with no general-ledger line written, or wholly in
// history with its lines posted (none left waiting), and the company
// verifies; the run that is not killed posts it whole.
TEST(BkregModule, PostKilledAtEachWriteLeavesTheBatchWholeOrAbsent) {
#ifndef BK_TEST_HOOKS
  GTEST_SKIP() << "built without test hooks";
#else
  bktest::TestCompany dir("company");
  const std::string co = Company(dir);
  ASSERT_EQ(Bk(co, "batch open K --date 2026-03-02").status, 0);
  ASSERT_EQ(Bk(co, "enter deposit --bank B1 --amount 10.00 --deposit-id D1 --line 4000=6.00@1 --line 4100=4.00@2 "
                   "--date 2026-03-02 --batch K").status, 0);
  ASSERT_EQ(Bk(co, "enter withdrawal --bank B1 --amount 3.00 --line 6000=3.00 --date 2026-03-03 --batch K").status, 0);
  int kills = 0;
  for (int n = 1; n < 400; ++n) {
    SCOPED_TRACE("killed at write " + std::to_string(n));
    const Result r = Bk(co, "post K --journal /dev/null", "env BK_TEST_HOOK_KILL_AT_WRITE=" + std::to_string(n) + " " + Bkreg());
    const Stored s = Read(co);
    const bool lines_posted = !PostedLedger(co).empty();
    const int waiting = WaitingLines(co);
    const bool absent = s.register_rows.size() == 2 && s.history_rows.empty() && !lines_posted && waiting == 0;
    const bool whole = s.register_rows.empty() && s.history_rows.size() == 2 && lines_posted && waiting == 0;
    EXPECT_TRUE(absent || whole) << s.register_rows.size() << " in the register, " << s.history_rows.size()
                                 << " in history, lines posted: " << lines_posted << ", lines waiting: " << waiting;
    EXPECT_EQ(Bk(co, "verify").status, 0);
    if (r.status == 0) {
      EXPECT_TRUE(whole);
      break;
    }
    ASSERT_TRUE(r.status == -1 || r.status == 128 + SIGKILL) << r.status << ": " << r.out;  // killed
    ASSERT_TRUE(r.Has("BK_TEST_HOOK_KILL_AT_WRITE")) << r.out;
    ++kills;
    if (HasFailure()) return;
  }
  EXPECT_GT(kills, 10);
#endif
}

// A company with bank account B1 (opening balance 1000.00) whose general
// ledger interface is off, so entries need no accounts or lines.
std::string PlainCompany(bktest::TestCompany& dir) {
  EXPECT_TRUE(Prepare(dir.path(), {"init", "bank add B1 --balance 1000.00"}));
  return dir.path();
}

// The CSV row of `batch list` for batch `id` (empty when there is none).
std::string BatchRow(const std::string& co, const std::string& id) {
  const Result list = Bk(co, "--format csv batch list");
  std::istringstream lines(list.out);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(id + ",", 0) == 0) return line;
  }
  return "";
}

// The end of a batch row without control totals: entered count and amount,
// and its state.
std::string Entered(long count, long long cents, const char* state = "open") {
  return ",0,0.00," + std::to_string(count) + "," + Money(cents) + ",no control totals," + state;
}

// Generated transactions are counted in their batch as they are entered
// (checks in payables' record of the id, the rest in the register's), so verify finds
// the counts right, the batch posts whole and the balance is the opening
// balance plus what the generation rule adds up to; a posted batch is not
// entered into again.
TEST(BkregModule, GeneratedBatchIsCountedPostedAndNotReused) {
  bktest::TestCompany dir("company");
  const std::string co = PlainCompany(dir);
  const int n = 10;
  ASSERT_TRUE(Says(co, "generate --bank B1 --count " + std::to_string(n) + " --from 2026-03-01 --batch G --unit 3", 0,
                   {"Entered 10 transactions for B1 in batch G"}));
  const long long net = bkregtest::GeneratedCents(n);
  // Checks and the rest count in one batch.
  EXPECT_TRUE(BatchRow(co, "G").ends_with(Entered(n, net))) << BatchRow(co, "G");
  EXPECT_TRUE(Says(co, "verify", 0));

  ASSERT_TRUE(Says(co, "post G", 0, {"Posted batch G: 10 transactions to history"}));
  const Stored s = Read(co);
  EXPECT_TRUE(s.register_rows.empty());
  EXPECT_EQ(s.history_rows.size(), static_cast<size_t>(n));
  EXPECT_TRUE(Says(co, "--format csv balance B1 --as-of 2026-12-31", 0,
                   {"B1,2026-12-31,register," + Money(100000 + net)}));
  EXPECT_TRUE(Says(co, "verify", 0));

  const std::string csv = dir.Sub("more.csv");
  std::ofstream(csv) << "2026-04-01,deposit,D9,5.00,More\n";
  ExpectRefusals(co, {
      {"generate --bank B1 --count 4 --batch G", 1, "batch 'G' was posted"},
      {"import B1 " + csv + " --batch G", 1, "batch 'G' was posted"},
      {"generate --bank B1 --count 1 --batch ''", 1, "--batch is empty"},
      {"generate --bank B1 --count 1 --batch ELEVENCHARS", 1, "--batch"},
  });
  EXPECT_TRUE(Read(co).register_rows.empty()) << "nothing entered into the posted batch";
  EXPECT_TRUE(BatchRow(co, "G").ends_with(Entered(n, net, "posted"))) << BatchRow(co, "G");
  EXPECT_TRUE(Says(co, "import B1 " + csv + " --batch G2", 0, {"Imported 1 transactions into B1 in batch G2"}));
}

// An import into an open batch adds to what was entered into it before and
// leaves its control totals alone; its checks count in the same batch (in
// payables' record of the same id), and posting the id posts both.
TEST(BkregModule, ImportAddsToAnOpenBatch) {
  bktest::TestCompany dir("company");
  const std::string co = PlainCompany(dir);
  ASSERT_TRUE(Prepare(co, {"batch open D --desc Week --date 2026-11-02 --count 5 --amount 150.00",
                           "enter deposit --bank B1 --amount 100.00 --date 2026-11-03 --batch D"}));
  const std::string csv = dir.Sub("lines.csv");
  std::ofstream(csv) << "date,type,number,amount,description\n"
                        "2026-11-04,deposit,D1,25.00,Receipts\n"
                        "2026-11-05,check,501,10.00,Supplies\n"
                        "2026-11-05,deposit,D2,30.50,Receipts\n"
                        "2026-11-06,adjustment,,4.50,Interest\n";
  ASSERT_TRUE(Says(co, "import B1 " + csv + " --batch D --unit 2", 0, {"Imported 4 transactions into B1 in batch D"}));
  EXPECT_EQ(BatchRow(co, "D"), "D,Week,2026-11-02,5,150.00,5,150.00,yes,open");
  EXPECT_TRUE(Says(co, "verify", 0));
  ASSERT_TRUE(Says(co, "post D", 0, {"Posted batch D: 5 transactions to history"}));
  EXPECT_TRUE(Read(co).register_rows.empty());
  EXPECT_EQ(Bk(co, "verify").status, 0);
}

// A batch record counts at most 32,767 entries: the entries that do not fit
// go on in the next batch id (shortened to keep 10 characters), each record
// counting its own.
TEST(BkregModule, FullBatchGoesOnInTheNextId) {
  bktest::TestCompany dir("company");
  const std::string co = PlainCompany(dir);
  ASSERT_EQ(Bk(co, "enter deposit --bank B1 --amount 1.00 --date 2026-11-02 --batch LONGBATCH1").status, 0);
  {  // as if 32,764 more had been entered
    tsioFileManager fm(co);
    tsioDataFile* bkt = nullptr;
    ASSERT_EQ(fm.Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
    Batch b(*bkt);
    ASSERT_EQ(b.FetchFirst(true), tsioStatus::kSuccess);
    ASSERT_EQ(b.m_Record.GetBatch().str(), "LONGBATCH1");
    b.m_Record.SetCountPosted(tsNum<short>(32765));
    ASSERT_EQ(b.Update(), tsioStatus::kSuccess);
    (void)b.Unlock();
  }
  const std::string csv = dir.Sub("four.csv");
  std::ofstream(csv) << "2026-11-03,deposit,A,1.00,One\n2026-11-03,deposit,B,2.00,Two\n"
                        "2026-11-03,deposit,C,3.00,Three\n2026-11-03,deposit,E,4.00,Four\n";
  ASSERT_TRUE(Says(co, "import B1 " + csv + " --batch LONGBATCH1", 0, {"in batch LONGBATCH1, LONGBATC-2"}));
  EXPECT_TRUE(BatchRow(co, "LONGBATCH1").ends_with(Entered(32767, 400))) << BatchRow(co, "LONGBATCH1");
  EXPECT_TRUE(BatchRow(co, "LONGBATC-2").ends_with(Entered(2, 700))) << BatchRow(co, "LONGBATC-2");
  ASSERT_TRUE(Says(co, "post LONGBATC-2", 0, {"Posted batch LONGBATC-2: 2 transactions to history"}));
}

// Programs posting their own batches at once take the history's run one
// after another: each waits its turn (none gives up or fails) and together
// they post everything, verify clean.
TEST(BkregModule, ProgramsPostingAtOnceEachPostTheirBatch) {
  bktest::TestCompany dir("company");
  const std::string co = PlainCompany(dir);
  const int programs = 4;
  ASSERT_EQ(Bk(co, "gl account list").status, 0) << "the general ledger's files exist before they post";
  for (int i = 1; i <= programs; ++i) {
    ASSERT_EQ(Bk(co, "generate --bank B1 --count 50 --from 2026-01-01 --batch P" + std::to_string(i)).status, 0);
  }
  std::string script;
  for (int i = 1; i <= programs; ++i) {
    script += "'" + Bkreg() + "' --company '" + co + "' --wait 60 post P" + std::to_string(i) + " >/dev/null 2>&1 & p" +
              std::to_string(i) + "=$!; ";
  }
  for (int i = 1; i <= programs; ++i) script += "wait $p" + std::to_string(i) + "; echo \"P" + std::to_string(i) + " $?\"; ";
  std::string statuses;
  FILE* p = popen(script.c_str(), "r");
  char buf[512];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) statuses.append(buf, n);
  pclose(p);
  EXPECT_EQ(statuses, "P1 0\nP2 0\nP3 0\nP4 0\n");
  const Stored s = Read(co);
  EXPECT_TRUE(s.register_rows.empty());
  EXPECT_EQ(s.history_rows.size(), 50u * programs);
  EXPECT_TRUE(Says(co, "verify", 0));
}

}  // namespace
