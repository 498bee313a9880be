// Matching bank statement lines against a register of 1,000,000
// transactions of one bank account (5.5 years of days):
//   MatchStatement   10,000 statement lines matched: a third by check
//                    number, a third by amount and date window (register
//                    transactions the bank shows without a number), a third
//                    unknown to the register (amounts it does not hold);
//                    counters per line: fetches (the matcher's fetch
//                    calls), queries (indexed queries the cursors sent),
//                    rows (rows those queries returned).
//
//   build/bench/bk_statement_bench
// The company is built once under $BK_BENCH_DIR (default /tmp/bk-bench) and
// reused by later runs.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "bench/bench_company.h"
#include "framework/io/counters.h"
#include "statements/statement_matcher.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kLines = 10000;
constexpr int kFirstDay = 20200101;
constexpr int kDays = 2000;
constexpr const char kBank[] = "BANK01";

std::string Company() { return BenchDir() + "/stmt" + std::to_string(kRows); }

// Checks (numbered 1..) and deposits and withdrawals, amounts of whole
// cents up to 10,000.00, posted and open.
void Build() {
  long long check = 0;
  auto fill = [&](int, std::mt19937& rng, TransactionData& r) {
    r.SetBankAccount(tsAlpha(kBank));
    const int type = 1 + static_cast<int>(rng() % 3);
    r.SetType(tclTSEnum<TransactionData::TranTypeEnum>(type));
    FillBenchDateAndAmount(rng, type, kFirstDay, kDays, r);
    if (type == 1) r.SetCheck(tsDouble(++check, 0));
    r.SetPosted(tsBool(true));
  };
  BenchRegister reg;
  reg.folder = Company();
  reg.rows = kRows;
  reg.fill = fill;
  reg.file = &BKTHistoryFileSpec;
  reg.seed = 7;
  BuildBenchRegister(reg);
}

// The statement: register transactions read by key at random, shown by
// check number or by amount and date (a day later), and lines of amounts
// above any in the register.
std::vector<bkStatementLine> Lines(const tsioDataFile& file) {
  std::vector<bkStatementLine> lines;
  std::mt19937 rng(11);
  Transaction t(file, "", 0);
  for (int i = 0; i < kLines; ++i) {
    bkStatementLine l;
    l.id = "L" + std::to_string(i);
    if (i % 3 == 2) {
      l.date = tsDate::FromYmd(kFirstDay) + static_cast<int>(rng() % kDays);
      l.amount = tsCurrency(20000 + i);
    } else {
      const int row = static_cast<int>(rng() % kRows);
      t.m_Record.SetBankAccount(tsAlpha(kBank));
      t.m_Record.SetRun(tsDouble(1 + row / 1000, 0));
      t.m_Record.SetSequence(tsDouble(1 + row % 1000, 0));
      if (t.FetchEQ(false) != tsioStatus::kSuccess) abort();
      l.amount = t.m_Record.GetAmount();
      l.date = t.m_Record.GetTransactionDate() + 1;
      if (i % 3 == 0) l.check = t.m_Record.GetCheck().ToLongLong();
    }
    lines.push_back(l);
  }
  return lines;
}

void MatchStatement(benchmark::State& state) {
  Build();
  tsioFileManager fm(Company());
  tsioDataFile* f = nullptr;
  if (fm.Open(BKTHistoryFileSpec, &f) != tsioStatus::kSuccess) abort();
  const std::vector<bkStatementLine> lines = Lines(*f);
  uint64_t fetches = 0, queries = 0, rows = 0, exact = 0, ambiguous = 0;
  for (auto _ : state) {
    bkStatementMatcher matcher({f}, tsAlpha(kBank), 3);
    tsioCounters::Reset();
    exact = ambiguous = 0;
    for (const auto& l : lines) {
      bkLineMatch m;
      if (matcher.Match(l, &m) != tsioStatus::kSuccess) abort();
      exact += m.kind == bkMatchKind::kExact;
      ambiguous += m.kind == bkMatchKind::kAmbiguous;
    }
    fetches = matcher.Fetches();
    queries = tsioCounters::FetchQueries();
    rows = tsioCounters::RowsRead();
  }
  state.counters["fetches_per_line"] = static_cast<double>(fetches) / kLines;
  state.counters["queries_per_line"] = static_cast<double>(queries) / kLines;
  state.counters["rows_per_line"] = static_cast<double>(rows) / kLines;
  state.counters["exact"] = static_cast<double>(exact);
  state.counters["ambiguous"] = static_cast<double>(ambiguous);
  state.counters["lines_per_s"] = benchmark::Counter(kLines, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(MatchStatement)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
