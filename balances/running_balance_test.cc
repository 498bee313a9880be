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

// The caller stands on line `i` of `lines` and asks `acc`: "<i>: <balance>",
// then " (<fetches>)" of the company's files and the accumulator's own
// handle when `counted`; with its `nth` fetch failing `times` times when
// `nth` is given. `Model` answers the same from the model.
std::string Ask(const bktest::BankCompany& co, bkRunningBalanceAccumulator& acc, const Lines& lines, size_t i,
                bool counted, int nth = 0, int times = 1) {
  Transaction caller(*co.bkt, "", 0);
  EXPECT_TRUE(bkdetailtest::Set(caller.m_Record, lines[i].first.KeyText()));
  EXPECT_EQ(caller.FetchEQ(false), tsioStatus::kSuccess);
  auto fetches = [&] { return co.bkt->State(1)->fetches + co.bkm->State(1)->fetches + acc.OwnFetches(); };
  const uint64_t before = fetches();
  if (nth) tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError, nth, times);
  const tsCurrency balance = acc.accumulate();
  tsioFaults::Clear();
  const std::string said = bkIsBalanceFailure(balance) ? "failure" : std::to_string(Cents(balance));
  return std::to_string(i) + ": " + said + (counted ? " (" + std::to_string(fetches() - before) + ")" : "") + "\n";
}
std::string Model(const Lines& lines, size_t i, int fetches = -1) {
  return std::to_string(i) + ": " + std::to_string(lines[i].second) +
         (fetches >= 0 ? " (" + std::to_string(fetches) + ")" : "") + "\n";
}

// The whole of B1's register line by line, one fetch each (none for a line
// asked again); jumps back, to another account and on, each a fresh start;
// the by-key form standing both files on the line; a failed read never
// built on; copies and assignments that outlive their original.
TEST(RunningBalance, FollowsTheModelLineByLineThroughJumpsFailuresAndCopies) {
  bktest::BankCompany co;
  baltest::Register reg;
  std::mt19937 rng(77);
  reg.Generate(rng, {"B1"}, 10000, 60, false);
  reg.Generate(rng, {"B2", "B3"}, 50, 20);
  reg.Write(*co.bkm, *co.bkt);
  baltest::LogReader log(co.fm.Folder());
  const Lines b1 = reg.Running<baltest::Tx>("B1");
  const Lines b2 = reg.Running<baltest::Tx>("B2");
  auto acc = std::make_unique<bkRunningBalanceAccumulator>(*co.bkm, *co.bkt);
  // The first line starts from the balance as of the day before it: its
  // walk reads the register once.
  std::string got = Ask(co, *acc, b1, 0, true), want = Model(b1, 0);
  EXPECT_LE(std::stoull(got.substr(got.find('(') + 1)), b1.size() + 10) << got;
  got = got.substr(0, got.find(" (")) + "\n";
  for (size_t i = 1; i < b1.size(); ++i) {
    got += Ask(co, *acc, b1, i, true);
    want += Model(b1, i, 1);
    if (i % 1000 == 7) {
      got += Ask(co, *acc, b1, i, true);
      want += Model(b1, i, 0);
    }
  }
  EXPECT_EQ(got, want);

  // The first line of a later day is the balance of the day before plus its amount.
  size_t day_start = 1;
  while (b1[day_start].first.date == b1[day_start - 1].first.date) ++day_start;
  bkRegisterBalanceAsOfDateAccumulator before(tsAlpha("B1"), tsDate::FromYmd(b1[day_start].first.date) - 1, *co.bkm,
                                              *co.bkt);
  EXPECT_EQ(Cents(before.accumulate()) + b1[day_start].first.Amount(), b1[day_start].second);
  got = want = "";
  for (auto [lines, i] : std::vector<std::pair<const Lines*, size_t>>{
           {&b1, 300}, {&b1, 309}, {&b1, 12}, {&b1, 0}, {&b2, 25}, {&b1, 41}, {&b2, 0}, {&b1, day_start}}) {
    got += Ask(co, *acc, *lines, i, false);
    want += Model(*lines, i);
  }
  EXPECT_EQ(got, want);
  const auto& l = b2[30].first;
  EXPECT_EQ(Cents(acc->accumulate(tsAlpha("B2"), tsDouble(l.run), tsDouble(l.seq))), b2[30].second);
  Transaction t(*co.bkt, "", 0);
  BankAccount b(*co.bkm, "", 0);
  ASSERT_EQ(t.Refresh(), tsioStatus::kSuccess);
  ASSERT_EQ(b.Refresh(), tsioStatus::kSuccess);
  EXPECT_EQ(b.m_Record.GetBankAccount().str() + " " + std::to_string(t.m_Record.GetSequence().ToLongLong()),
            "B2 " + std::to_string(l.seq));

  // The step to line 100 (its first fetch) fails, then the step to line 150
  // (its second), then every fetch for line 200; the lines after each, and
  // line 200 asked again, are right all the same.
  for (size_t i = 90; i < 100; ++i) (void)Ask(co, *acc, b1, i, false);
  const std::string read_error = "AFF FAIL: Read Error " + ccIOStatusStr(tsioStatus::kIOError);
  for (const auto& [at, nth, times] : {std::tuple{size_t(100), 1, 1}, {size_t(150), 2, 1}, {size_t(200), 1, 1000}}) {
    got = want = "";
    got += Ask(co, *acc, b1, at, false, nth, times);
    for (const auto& line : log.NewFailures()) got += line + "\n";
    want += std::to_string(at) + ": failure\n" + read_error + "\n";
    for (size_t i = times == 1 ? at + 1 : at; i < at + 20; ++i) {
      got += Ask(co, *acc, b1, i, false);
      want += Model(b1, i);
    }
    EXPECT_EQ(got, want);
  }

  // Copies and assignments each hold their own files and remembered line:
  // destroying one never leaves another with a dangling or shared reference
  // (run under the sanitizer build too). The copy builds on the remembered
  // line, from its own handle.
  bkRunningBalanceAccumulator copy(*acc);
  bkRunningBalanceAccumulator assigned(*co.bkm, *co.history);
  assigned = *acc;
  const bkRunningBalanceAccumulator& same = assigned;
  assigned = same;  // self-assignment on purpose (through a reference, which compilers do not flag)
  acc.reset();
  got = want = "";
  for (size_t i = 220; i < 230; ++i) {
    got += Ask(co, copy, b1, i, true) + Ask(co, assigned, b1, i, false);
    want += Model(b1, i, 1) + Model(b1, i);
  }
  {
    bkRunningBalanceAccumulator inner(copy);
    inner.setTransactionFile(*co.history);  // the history has no lines: nothing to find there
    got += Ask(co, copy, b1, 230, false);
    copy = inner;
  }
  got += Ask(co, assigned, b1, 231, false);
  copy.setTransactionFile(*co.bkt);
  got += Ask(co, copy, b1, 231, false);
  EXPECT_EQ(got, want + Model(b1, 230) + Model(b1, 231) + Model(b1, 231));

  // No line at all: the file stands on nothing.
  Transaction none(*co.bkt, "", 0);
  none.Initialize();
  EXPECT_TRUE(bkIsBalanceFailure(copy.accumulate()));
  EXPECT_EQ(log.NewFailures(),
            std::vector<std::string>{"AFF FAIL: Read Error " + ccIOStatusStr(tsioStatus::kNoCurrentRecord)});
}

// Every cash account of every bank line by line, one fetch a line after the
// first; an earlier line by key starts over.
TEST(CashRunningBalance, EveryCashAccountOfEveryBankLineByLine) {
  bktest::BankCompany co;
  baltest::Register reg;
  std::mt19937 rng(77);
  reg.Generate(rng, {"B1", "B2", "B3"}, 300, 30);
  reg.Write(*co.bkm, *co.bkt);
  CashDetail caller(*co.bkt, "", 15);
  bkCashRunningBalanceAccumulator acc(*co.bkm, *co.bkt);
  for (const char* bank : {"B1", "B2", "B3"}) {
    for (const char* cash : {"1000100", "1000200"}) {
      const auto lines = reg.Running<baltest::Cash>(bank, cash);
      ASSERT_GT(lines.size(), 3u);
      std::string got, want;
      caller.m_Record = CashDetailData();
      ASSERT_TRUE(bkdetailtest::Set(caller.m_Record, std::string("CDBNKAC=") + bank + ";CDCSHAC=" + cash));
      tsioStatus::Status st = caller.FetchGE(false);
      for (size_t i = 0; i < lines.size() && st == tsioStatus::kSuccess; ++i, st = caller.FetchNext(false)) {
        const uint64_t before = co.bkt->State(5)->fetches + acc.OwnFetches();
        const long long balance = Cents(acc.accumulate());
        const uint64_t spent = co.bkt->State(5)->fetches + acc.OwnFetches() - before;
        got += std::to_string(balance) + " " + std::to_string(i ? spent : 1) + "\n";
        want += std::to_string(lines[i].second) + " 1\n";
      }
      const auto& l = lines[1].first;
      got += std::to_string(Cents(
          acc.accumulate(tsAlpha(bank), tsDouble(l.trun), tsDouble(l.tseq), tsDouble(l.run), tsDouble(l.seq))));
      EXPECT_EQ(got, want + std::to_string(lines[1].second)) << bank << " " << cash;
    }
  }
}

}  // namespace
