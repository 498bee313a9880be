// Running balances of a 10,000-line register and of GL cash accounts against
// the model's running sums: one fetch per consecutive line (counted by the
// framework), fresh starts for an earlier line or another account, nothing
// built on a failure, and copies that own what they hold.
#include <gtest/gtest.h>

#include <memory>

#include "balances/balance_accumulators.h"
#include "balances/balance_test_support.h"

namespace {

using baltest::Cents;
using Lines = std::vector<std::pair<baltest::Tx, long long>>;

// A company whose account B1 has a register of `lines` lines (over 60
// days) and B2 and B3 shorter ones, and a caller's cursor on the register.
struct RegisterCompany {
  bktest::BankCompany co;
  baltest::Register reg;
  Transaction caller{*co.bkt, "", 0};

  explicit RegisterCompany(int lines, bool cash_lines = true) {
    std::mt19937 rng(77);
    reg.Generate(rng, {"B1"}, lines, 60, cash_lines);
    reg.Generate(rng, {"B2", "B3"}, 50, 20);
    reg.Write(*co.bkm, *co.bkt);
  }
  // Stands the caller on the line `x`.
  void On(const baltest::Tx& x) {
    ASSERT_TRUE(bkdetailtest::Set(caller.m_Record, "TBNKACC=" + x.bank + ";TRUN=" + std::to_string(x.run) +
                                                       ";TSEQ=" + std::to_string(x.seq)));
    ASSERT_EQ(caller.FetchEQ(false), tsioStatus::kSuccess);
  }
  // Stands the caller on each of `steps` in turn and asks `acc` for its
  // running balance; appends "<balance> <fetches made>" for each to `got`
  // and the model's balance to `want` (with the fetches `cost` gives).
  void Walk(bkRunningBalanceAccumulator& acc, const std::vector<std::pair<const Lines*, size_t>>& steps,
            std::vector<std::string>& got, std::vector<std::string>& want,
            const std::function<uint64_t(size_t step)>& cost) {
    for (size_t i = 0; i < steps.size(); ++i) {
      const auto& [lines, at] = steps[i];
      On((*lines)[at].first);
      const uint64_t before = Fetches(acc);
      const long long balance = Cents(acc.accumulate());
      got.push_back(std::to_string(balance) + " " + std::to_string(Fetches(acc) - before));
      want.push_back(std::to_string((*lines)[at].second) + " " + std::to_string(cost(i)));
    }
  }
  // Fetches made on the company's files and through the accumulator's own handle.
  uint64_t Fetches(const bkRunningBalanceAccumulator& acc) const {
    return co.bkt->State(1)->fetches + co.bkm->State(1)->fetches + acc.OwnFetches();
  }
};

// The whole of B1's register line by line, one fetch each (none for a
// line asked again); then jumps back, to another account and on, each a
// fresh start with the right balance; the by-key form stands both files on
// the line.
TEST(RunningBalance, OneFetchPerConsecutiveLineAndAFreshStartOtherwise) {
  RegisterCompany c(10000, false);
  const Lines b1 = c.reg.Running<baltest::Tx>("B1");
  const Lines b2 = c.reg.Running<baltest::Tx>("B2");
  ASSERT_EQ(b1.size(), 10000u);
  bkRunningBalanceAccumulator acc(*c.co.bkm, *c.co.bkt);
  std::vector<std::pair<const Lines*, size_t>> steps;
  for (size_t i = 0; i < b1.size(); ++i) {
    steps.emplace_back(&b1, i);
    if (i % 1000 == 7) steps.emplace_back(&b1, i);
  }
  std::vector<std::string> got, want;
  // The first line starts from the balance as of the day before it (its
  // walk reads the register once), so its cost is left out.
  c.Walk(acc, steps, got, want, [&](size_t i) { return i > 0 && steps[i] == steps[i - 1] ? 0 : 1; });
  got.erase(got.begin());
  want.erase(want.begin());
  EXPECT_EQ(got, want);

  // The first line of a later day is the balance of the day before plus its amount.
  size_t day_start = 1;
  while (b1[day_start].first.date == b1[day_start - 1].first.date) ++day_start;
  bkRegisterBalanceAsOfDateAccumulator before(tsAlpha("B1"), tsDate::FromYmd(b1[day_start].first.date) - 1,
                                              *c.co.bkm, *c.co.bkt);
  EXPECT_EQ(Cents(before.accumulate()) + b1[day_start].first.Amount(), b1[day_start].second);
  got.clear();
  want.clear();
  bkRunningBalanceAccumulator fresh(*c.co.bkm, *c.co.bkt);
  steps = {{&b1, 300}, {&b1, 301}, {&b1, 309}, {&b1, 12}, {&b1, 0},        {&b1, 9999},
           {&b2, 25},  {&b1, 40},  {&b1, 41},  {&b2, 0},  {&b1, day_start}};
  c.Walk(fresh, steps, got, want, [&](size_t i) { return i == 1 ? 1 : 0; });
  for (size_t i = 0; i < got.size(); ++i) {  // only the step to the next line has a known cost
    if (i != 1) got[i] = got[i].substr(0, got[i].find(' ')) + " 0";
  }
  EXPECT_EQ(got, want);

  const auto& l = b2[30].first;
  EXPECT_EQ(Cents(acc.accumulate(tsAlpha("B2"), tsDouble(l.run), tsDouble(l.seq))), b2[30].second);
  Transaction t(*c.co.bkt, "", 0);
  BankAccount b(*c.co.bkm, "", 0);
  ASSERT_EQ(t.Refresh(), tsioStatus::kSuccess);
  ASSERT_EQ(b.Refresh(), tsioStatus::kSuccess);
  EXPECT_EQ(b.m_Record.GetBankAccount().str() + " " + std::to_string(t.m_Record.GetSequence().ToLongLong()),
            "B2 " + std::to_string(l.seq));
}

TEST(RunningBalance, NeverBuildsOnTheFailureAmount) {
  RegisterCompany c(400);
  baltest::LogReader log(c.co.fm.Folder());
  const Lines lines = c.reg.Running<baltest::Tx>("B1");
  bkRunningBalanceAccumulator acc(*c.co.bkm, *c.co.bkt);
  const std::string read_error = "AFF FAIL: Read Error " + ccIOStatusStr(tsioStatus::kIOError);
  // The step to line 100 (the first fetch) fails, then the step to line 150
  // (the second), then every fetch for line 200; the lines after each, and
  // line 200 asked again, are right all the same.
  for (size_t i = 90; i < 100; ++i) {
    c.On(lines[i].first);
    ASSERT_EQ(Cents(acc.accumulate()), lines[i].second);
  }
  std::vector<std::string> got, want;
  for (const auto& [at, nth, times] : {std::tuple{size_t(100), 1, 1}, {size_t(150), 2, 1}, {size_t(200), 1, 1000}}) {
    c.On(lines[at].first);
    tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError, nth, times);
    got.push_back(bkIsBalanceFailure(acc.accumulate()) ? "failure" : "an answer");
    tsioFaults::Clear();
    for (const auto& line : log.NewFailures()) got.back() += " | " + line;
    want.push_back("failure | " + read_error);
    for (size_t i = times == 1 ? at + 1 : at; i < at + 20; ++i) {
      c.On(lines[i].first);
      got.push_back(std::to_string(Cents(acc.accumulate())));
      want.push_back(std::to_string(lines[i].second));
    }
  }
  EXPECT_EQ(got, want);
  // No line at all: the file stands on nothing.
  Transaction none(*c.co.bkt, "", 0);
  none.Initialize();
  EXPECT_TRUE(bkIsBalanceFailure(acc.accumulate()));
  EXPECT_EQ(log.NewFailures(),
            std::vector<std::string>{"AFF FAIL: Read Error " + ccIOStatusStr(tsioStatus::kNoCurrentRecord)});
}

// Copies and assignments each hold their own files and remembered line:
// destroying one never leaves another with a dangling or shared reference
// (run under the sanitizer build too).
TEST(RunningBalance, CopiesAndAssignmentsOwnWhatTheyHold) {
  RegisterCompany c(200);
  const Lines lines = c.reg.Running<baltest::Tx>("B1");
  auto first = std::make_unique<bkRunningBalanceAccumulator>(*c.co.bkm, *c.co.bkt);
  std::vector<std::string> got, want;
  std::vector<std::pair<const Lines*, size_t>> steps;
  for (size_t i = 0; i < 50; ++i) steps.emplace_back(&lines, i);
  c.Walk(*first, steps, got, want, [](size_t i) { return i ? 1 : 0; });
  bkRunningBalanceAccumulator copy(*first);
  bkRunningBalanceAccumulator assigned(*c.co.bkm, *c.co.history);
  assigned = *first;
  const bkRunningBalanceAccumulator& same = assigned;
  assigned = same;  // self-assignment on purpose (through a reference, which compilers do not flag)
  first.reset();
  // The copy builds on the remembered line, from its own handle.
  for (size_t i = 50; i < 60; ++i) {
    c.Walk(copy, {{&lines, i}}, got, want, [](size_t) { return 1; });
    got.push_back(std::to_string(Cents(assigned.accumulate())));
    want.push_back(std::to_string(lines[i].second));
  }
  got[0] = got[0].substr(0, got[0].find(' ')) + " 0";  // the first line's walk
  EXPECT_EQ(got, want);
  {
    bkRunningBalanceAccumulator inner(copy);
    inner.setTransactionFile(*c.co.history);  // the history has no lines: nothing to find there
    c.On(lines[60].first);
    EXPECT_EQ(Cents(copy.accumulate()), lines[60].second);
    copy = inner;
  }
  c.On(lines[61].first);
  EXPECT_EQ(Cents(assigned.accumulate()), lines[61].second);
  copy.setTransactionFile(*c.co.bkt);
  EXPECT_EQ(Cents(copy.accumulate()), lines[61].second);
}

// Every cash account of every bank line by line, one fetch a line after the
// first; an earlier line by key starts over.
TEST(CashRunningBalance, EveryCashAccountOfEveryBankLineByLine) {
  RegisterCompany c(800);
  CashDetail caller(*c.co.bkt, "", 15);
  bkCashRunningBalanceAccumulator acc(*c.co.bkm, *c.co.bkt);
  for (const char* bank : {"B1", "B2", "B3"}) {
    for (const char* cash : {"1000100", "1000200"}) {
      const auto lines = c.reg.Running<baltest::Cash>(bank, cash);
      ASSERT_GT(lines.size(), 3u);
      std::vector<std::string> got, want;
      caller.m_Record = CashDetailData();
      ASSERT_TRUE(bkdetailtest::Set(caller.m_Record, std::string("CDBNKAC=") + bank + ";CDCSHAC=" + cash));
      tsioStatus::Status st = caller.FetchGE(false);
      for (size_t i = 0; i < lines.size() && st == tsioStatus::kSuccess; ++i, st = caller.FetchNext(false)) {
        const uint64_t before = c.co.bkt->State(5)->fetches + acc.OwnFetches();
        const long long balance = Cents(acc.accumulate());
        const uint64_t spent = c.co.bkt->State(5)->fetches + acc.OwnFetches() - before;
        got.push_back(std::to_string(balance) + " " + std::to_string(i ? spent : 1));
        want.push_back(std::to_string(lines[i].second) + " 1");
      }
      const auto& l = lines[1].first;
      got.push_back(std::to_string(Cents(acc.accumulate(tsAlpha(bank), tsDouble(l.trun), tsDouble(l.tseq),
                                                        tsDouble(l.run), tsDouble(l.seq)))));
      want.push_back(std::to_string(lines[1].second));
      EXPECT_EQ(got, want) << bank << " " << cash;
    }
  }
}

}  // namespace
