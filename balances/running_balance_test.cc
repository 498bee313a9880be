// Running balances of a 10,000-line register and of GL cash accounts against
// a running sum computed in the test: one fetch per consecutive line
// (counted by the framework), fresh starts for an earlier line or another
// account, nothing built on a failure, and copies that own what they hold.
#include <gtest/gtest.h>

#include <memory>

#include "balances/balance_accumulators.h"
#include "balances/balance_as_of.h"
#include "balances/balance_test_support.h"
#include "framework/io/faults.h"

namespace {

using baltest::Cents;
using baltest::LogReader;
using baltest::Register;

// A company whose account B1 has a register of `lines` lines (over 60
// days) and B2 and B3 shorter ones.
struct RegisterCompany {
  bktest::BankCompany co;
  Register reg;
  explicit RegisterCompany(int lines, bool cash_lines = true) {
    std::mt19937 rng(77);
    reg.Generate(rng, {"B1"}, lines, 60, cash_lines);
    reg.Generate(rng, {"B2", "B3"}, 50, 20);
    reg.Write(*co.bkm, *co.bkt);
  }
};

// The caller: a cursor on the register that stands on one line at a time.
struct Caller {
  Transaction t;
  explicit Caller(const tsioDataFile& bkt) : t(bkt, "", 5) {}
  void On(const baltest::Tx& x) {
    ASSERT_TRUE(bkdetailtest::Set(t.m_Record, "TBNKACC=" + x.bank + ";TTRANDT=" + Register::DateText(x.date) +
                                                  ";TCHECK=" + std::to_string(x.check) + ";TSUBTR=" +
                                                  Register::MoneyText(x.sub) + ";TRUN=" + std::to_string(x.run) +
                                                  ";TSEQ=" + std::to_string(x.seq)));
    ASSERT_EQ(t.FetchEQ(false), tsioStatus::kSuccess);
  }
};

// Fetches made on the company's files and through the accumulator's own handle.
uint64_t Fetches(const RegisterCompany& c, const bkRunningBalanceAccumulator& acc) {
  return c.co.bkt->State(1)->fetches + c.co.bkm->State(1)->fetches + acc.OwnFetches();
}

TEST(RunningBalance, AWholeRegisterCostsOneFetchPerLine) {
  RegisterCompany c(10000, false);
  const auto lines = c.reg.RunningBalances("B1");
  ASSERT_EQ(lines.size(), 10000u);
  Caller caller(*c.co.bkt);
  bkRunningBalanceAccumulator acc(*c.co.bkm, *c.co.bkt);
  caller.t.m_Record.SetBankAccount(tsAlpha("B1"));
  tsioStatus::Status st = caller.t.FetchGE(false);
  uint64_t first_call = 0, most = 0;
  for (size_t i = 0; i < lines.size(); ++i, st = caller.t.FetchNext(false)) {
    ASSERT_EQ(st, tsioStatus::kSuccess);
    ASSERT_EQ(caller.t.m_Record.GetSequence(), tsDouble(lines[i].first.seq));
    const uint64_t before = Fetches(c, acc);
    ASSERT_EQ(Cents(acc.accumulate()), lines[i].second) << "line " << i;
    const uint64_t spent = Fetches(c, acc) - before;
    if (i == 0) {
      first_call = spent;
    } else {
      ASSERT_EQ(spent, 1u) << "line " << i;
      most = std::max(most, spent);
    }
    // Asked again for the same line: the remembered balance, nothing read.
    if (i % 1000 == 7) {
      const uint64_t again = Fetches(c, acc);
      ASSERT_EQ(Cents(acc.accumulate()), lines[i].second);
      ASSERT_EQ(Fetches(c, acc), again);
    }
  }
  EXPECT_EQ(most, 1u);
  // The first line started from the balance as of the day before it: its
  // walk read the register once.
  EXPECT_LE(first_call, lines.size() + 10);
}

TEST(RunningBalance, StartsOverForAnEarlierLineOrAnotherAccount) {
  RegisterCompany c(600);
  const auto b1 = c.reg.RunningBalances("B1");
  const auto b2 = c.reg.RunningBalances("B2");
  Caller caller(*c.co.bkt);
  bkRunningBalanceAccumulator acc(*c.co.bkm, *c.co.bkt);
  struct Step {
    const char* what;
    const std::vector<std::pair<baltest::Tx, long long>>* lines;
    size_t line;
  } steps[] = {
      {"a line in the middle", &b1, 300}, {"the next line", &b1, 301},   {"a few lines on", &b1, 309},
      {"an earlier line", &b1, 12},       {"the first line", &b1, 0},     {"the last line", &b1, 599},
      {"another account", &b2, 25},       {"back to the first", &b1, 40}, {"its next", &b1, 41},
  };
  // The first line of a later day, too.
  size_t day_start = 1;
  while (b1[day_start].first.date == b1[day_start - 1].first.date) ++day_start;
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    caller.On((*s.lines)[s.line].first);
    EXPECT_EQ(Cents(acc.accumulate()), (*s.lines)[s.line].second);
  }
  caller.On(b1[day_start].first);
  EXPECT_EQ(Cents(acc.accumulate()), b1[day_start].second);
  // The first line of a day is the balance of the day before plus its amount.
  bkRegisterBalanceAsOfDateAccumulator before(tsAlpha("B1"), tsDate::FromYmd(b1[day_start].first.date) - 1,
                                              *c.co.bkm, *c.co.bkt);
  EXPECT_EQ(Cents(before.accumulate()) + b1[day_start].first.Amount(), b1[day_start].second);
}

TEST(RunningBalance, NeverBuildsOnTheFailureAmount) {
  RegisterCompany c(400);
  LogReader log(c.co.fm.Folder());
  const auto lines = c.reg.RunningBalances("B1");
  Caller caller(*c.co.bkt);
  bkRunningBalanceAccumulator acc(*c.co.bkm, *c.co.bkt);
  for (size_t i = 0; i < 100; ++i) {
    caller.On(lines[i].first);
    ASSERT_EQ(Cents(acc.accumulate()), lines[i].second);
  }
  // The step to line 100 fails; the lines after it are right all the same.
  for (const int nth : {1, 2}) {
    const size_t at = nth == 1 ? 100 : 150;
    caller.On(lines[at].first);
    tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError, nth);
    EXPECT_TRUE(bkIsBalanceFailure(acc.accumulate()));
    tsioFaults::Clear();
    EXPECT_EQ(log.NewFailures(), std::vector<std::string>{"AFF FAIL: Read Error " +
                                                           ccIOStatusStr(tsioStatus::kIOError)});
    for (size_t i = at + 1; i < at + 20; ++i) {
      caller.On(lines[i].first);
      ASSERT_EQ(Cents(acc.accumulate()), lines[i].second) << i;
    }
  }
  // Not even when asked for the failed line again.
  caller.On(lines[200].first);
  tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kDamaged, 1, 1000);
  EXPECT_TRUE(bkIsBalanceFailure(acc.accumulate()));
  tsioFaults::Clear();
  EXPECT_EQ(Cents(acc.accumulate()), lines[200].second);
  EXPECT_EQ(log.NewFailures().size(), 1u);
  // No line at all: the file stands on nothing.
  Transaction none(*c.co.bkt, "", 0);
  none.Initialize();
  EXPECT_TRUE(bkIsBalanceFailure(acc.accumulate()));
  EXPECT_EQ(log.NewFailures(), std::vector<std::string>{"AFF FAIL: Read Error " +
                                                         ccIOStatusStr(tsioStatus::kNoCurrentRecord)});
}

// Copies and assignments each hold their own files and remembered line:
// destroying one never leaves another with a dangling or shared reference
// (run under the sanitizer build too).
TEST(RunningBalance, CopiesAndAssignmentsOwnWhatTheyHold) {
  RegisterCompany c(200);
  const auto lines = c.reg.RunningBalances("B1");
  Caller caller(*c.co.bkt);
  auto first = std::make_unique<bkRunningBalanceAccumulator>(*c.co.bkm, *c.co.bkt);
  for (size_t i = 0; i < 50; ++i) {
    caller.On(lines[i].first);
    ASSERT_EQ(Cents(first->accumulate()), lines[i].second);
  }
  bkRunningBalanceAccumulator copy(*first);
  bkRunningBalanceAccumulator assigned(*c.co.bkm, *c.co.history);
  assigned = *first;
  const bkRunningBalanceAccumulator& same = assigned;
  assigned = same;  // self-assignment on purpose (through a reference, which compilers do not flag)
  first.reset();
  for (size_t i = 50; i < 60; ++i) {
    caller.On(lines[i].first);
    const uint64_t before = Fetches(c, copy);
    ASSERT_EQ(Cents(copy.accumulate()), lines[i].second);
    ASSERT_EQ(Cents(assigned.accumulate()), lines[i].second);
    // The copy built on the remembered line, from its own handle.
    if (i > 50) {
      ASSERT_EQ(Fetches(c, copy) - before, 1u);
    }
  }
  {
    bkRunningBalanceAccumulator inner(copy);
    inner.setTransactionFile(*c.co.history);  // the history has no lines: nothing to find there
    caller.On(lines[60].first);
    EXPECT_EQ(Cents(copy.accumulate()), lines[60].second);
    copy = inner;
  }
  caller.On(lines[61].first);
  EXPECT_EQ(Cents(assigned.accumulate()), lines[61].second);
  copy.setTransactionFile(*c.co.bkt);
  EXPECT_EQ(Cents(copy.accumulate()), lines[61].second);
  // (The cash running balance copies through the same walk template.)
}

TEST(CashRunningBalance, EveryCashAccountOfEveryBankLineByLine) {
  RegisterCompany c(800);
  CashDetail caller(*c.co.bkt, "", 15);
  bkCashRunningBalanceAccumulator acc(*c.co.bkm, *c.co.bkt);
  for (const char* bank : {"B1", "B2", "B3"}) {
    for (const char* cash : {"1000100", "1000200"}) {
      SCOPED_TRACE(std::string(bank) + " " + cash);
      const auto lines = c.reg.CashRunningBalances(bank, cash);
      caller.m_Record = CashDetailData();
      caller.m_Record.SetBankAccount(tsAlpha(bank));
      caller.m_Record.SetCashAccount(tsAlpha(cash));
      tsioStatus::Status st = caller.FetchGE(false);
      for (size_t i = 0; i < lines.size(); ++i, st = caller.FetchNext(false)) {
        ASSERT_EQ(st, tsioStatus::kSuccess);
        const uint64_t before = c.co.bkt->State(5)->fetches + acc.OwnFetches();
        ASSERT_EQ(Cents(acc.accumulate()), lines[i].second) << i;
        if (i > 0) {
          ASSERT_EQ(c.co.bkt->State(5)->fetches + acc.OwnFetches() - before, 1u) << i;
        }
      }
      // An earlier line starts over.
      if (lines.size() > 3) {
        const auto& l = lines[1].first;
        EXPECT_EQ(Cents(acc.accumulate(tsAlpha(bank), tsDouble(l.trun), tsDouble(l.tseq), tsDouble(l.run),
                                       tsDouble(l.seq))),
                  lines[1].second);
      }
    }
  }
}

TEST(RunningBalance, ByKeyStandsBothFilesOnTheLine) {
  RegisterCompany c(100);
  const auto lines = c.reg.RunningBalances("B2");
  bkRunningBalanceAccumulator acc(*c.co.bkm, *c.co.bkt);
  const auto& l = lines[30].first;
  EXPECT_EQ(Cents(acc.accumulate(tsAlpha("B2"), tsDouble(l.run), tsDouble(l.seq))), lines[30].second);
  Transaction t(*c.co.bkt, "", 0);
  BankAccount b(*c.co.bkm, "", 0);
  ASSERT_EQ(t.Refresh(), tsioStatus::kSuccess);
  ASSERT_EQ(b.Refresh(), tsioStatus::kSuccess);
  EXPECT_EQ(t.m_Record.GetSequence(), tsDouble(l.seq));
  EXPECT_EQ(b.m_Record.GetBankAccount(), tsAlpha("B2"));
  const auto& n = lines[31].first;
  EXPECT_EQ(Cents(acc.accumulate(tsAlpha("B2"), tsDouble(n.run), tsDouble(n.seq))), lines[31].second);
}

}  // namespace
