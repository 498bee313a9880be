// Balance costs on registers of 100,000 and 1,000,000 transactions (20 bank
// accounts, so 5,000 and 50,000 lines a register):
//   RunningBalanceRegister   a whole register walked along index 5 by the
//                            caller's cursor, the running balance asked for
//                            every line (a new accumulator each register);
//   CallerWalk               the caller's walk of the same register alone,
//                            without balances (what the cursor costs);
//   PlainScanRunningSum      the same rows, columns and order streamed by a
//                            plain SQLite statement with a running sum, in
//                            the same run: the floor;
//   RegisterBalanceAsOfMid   the register balance as of the middle date of
//                            the register; counters: rows_after (the rows
//                            dated after it, counted by SQL), fetches (the
//                            walk's fetches: those rows, the one that finds
//                            their end and the one that puts the file back)
//                            and sql_rows (rows the fetch queries returned,
//                            what was read ahead past the end included).
//
//   build/bench/bk_balance_bench
// The company databases are built once under $BK_BENCH_DIR (default
// /tmp/bk-bench) and reused by later runs.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <random>
#include <string>

#include "accounts/bank_account.h"
#include "balances/balance_accumulators.h"
#include "balances/balance_as_of.h"
#include "bench/bench_company.h"
#include "framework/io/counters.h"

namespace {

constexpr int kBanks = kBenchBanks;
constexpr int kFirstDay = 20200101;
constexpr int kDays = 2000;

std::string Company(int rows) { return BenchDir() + "/bal" + std::to_string(rows); }

std::string Bank(int i) { return BenchBank(i); }

// Builds the company once: `rows` transactions over 20 bank accounts whose
// register balances hold them all.
void Build(int rows) {
  std::vector<tsCurrency> balance(kBanks);
  auto fill = [&](int i, std::mt19937& rng, TransactionData& r) {
    const int type = 1 + static_cast<int>(rng() % 4);
    tclTSEnum<TransactionData::TranTypeEnum> e;
    e.SetValue(type);
    r.SetType(e);
    FillBenchDateAndAmount(rng, type, kFirstDay, kDays, r);
    if (type == 1) r.SetCheck(tsDouble(static_cast<long long>(1 + rng() % 100000), 0));
    r.SetDescription(tsAlpha("Payment " + std::to_string(i)));
    balance[static_cast<size_t>(i % kBanks)] += r.GetAmount();
  };
  auto banks = [&](tsioFileManager& fm, tclRollbackStack& unit) {
    tsioDataFile* m = nullptr;
    if (fm.Open(BKMFileSpec, &m) != tsioStatus::kSuccess) abort();
    BankAccount bank(*m, "", 0);
    bank.AttachRollbackStack(&unit);
    for (int b = 0; b < kBanks; ++b) {
      bank.m_Record = BankAccountData();
      bank.m_Record.SetBankAccount(tsAlpha(Bank(b)));
      bank.m_Record.SetRegisterBalance(balance[static_cast<size_t>(b)] + tsCurrency(1000));
      if (bank.Insert() != tsioStatus::kSuccess) abort();
    }
  };
  BenchRegister reg;
  reg.folder = Company(rows);
  reg.rows = rows;
  reg.fill = fill;
  reg.finish = banks;
  reg.more = {&BKMFileSpec};
  BuildBenchRegister(reg);
}

struct Opened {
  tsioFileManager fm;
  tsioDataFile* bkt = nullptr;
  tsioDataFile* bkm = nullptr;
  explicit Opened(int rows) : fm(Company(rows)) {
    Build(rows);
    if (fm.Open(BKTFileSpec, &bkt) != tsioStatus::kSuccess || fm.Open(BKMFileSpec, &bkm) != tsioStatus::kSuccess) {
      abort();
    }
  }
};

// A whole register, line by line, with the running balance of each line.
void BM_RunningBalanceRegister(benchmark::State& state) {
  Opened o(static_cast<int>(state.range(0)));
  Transaction t(*o.bkt, bkRunningBalanceAccumulator::m_sTransactionColumns, 5);
  int b = 0;
  long lines = 0;
  uint64_t fetches = 0;
  tsCurrency last;
  for (auto _ : state) {
    const tsAlpha bank(Bank(b));
    b = (b + 1) % kBanks;
    bkRunningBalanceAccumulator acc(*o.bkm, *o.bkt);
    const uint64_t before = t.CursorPtr()->FetchCount();
    t.m_Record.SetBankAccount(bank);
    t.m_Record.SetTransactionDate(tsDate());
    t.m_Record.SetCheck(tsDouble(0));
    t.m_Record.SetSubtraction(tsCurrency());
    t.m_Record.SetRun(tsDouble(0));
    t.m_Record.SetSequence(tsDouble(0));
    for (auto st = t.FetchGE(false); st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == bank;
         st = t.FetchNext(false)) {
      last = acc.accumulate();
      ++lines;
    }
    fetches += t.CursorPtr()->FetchCount() - before;
    if (bkIsBalanceFailure(last)) abort();
  }
  state.SetItemsProcessed(lines);
  state.counters["caller_fetches_per_line"] = static_cast<double>(fetches) / static_cast<double>(lines);
}

// The caller's walk alone.
void BM_CallerWalk(benchmark::State& state) {
  Opened o(static_cast<int>(state.range(0)));
  Transaction t(*o.bkt, bkRunningBalanceAccumulator::m_sTransactionColumns, 5);
  int b = 0;
  long lines = 0;
  for (auto _ : state) {
    const tsAlpha bank(Bank(b));
    b = (b + 1) % kBanks;
    t.m_Record.SetBankAccount(bank);
    t.m_Record.SetTransactionDate(tsDate());
    t.m_Record.SetCheck(tsDouble(0));
    t.m_Record.SetSubtraction(tsCurrency());
    t.m_Record.SetRun(tsDouble(0));
    t.m_Record.SetSequence(tsDouble(0));
    for (auto st = t.FetchGE(false); st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == bank;
         st = t.FetchNext(false)) {
      ++lines;
    }
  }
  state.SetItemsProcessed(lines);
}

// The same rows, columns and order streamed by SQLite with a running sum.
void BM_PlainScanRunningSum(benchmark::State& state) {
  Opened o(static_cast<int>(state.range(0)));
  sqlite3* db = nullptr;
  if (sqlite3_open_v2((Company(static_cast<int>(state.range(0))) + "/company.db").c_str(), &db,
                      SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    abort();
  }
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT TBNKACC,TRUN,TSEQ,TTRANDT,TCHECK,TSUBTR,TADD FROM f_BKT_1_r1 WHERE TBNKACC=?1 "
                         "ORDER BY TBNKACC,TTRANDT,TCHECK,TSUBTR,TRUN,TSEQ",
                         -1, &st, nullptr) != SQLITE_OK) {
    abort();
  }
  int b = 0;
  long lines = 0;
  for (auto _ : state) {
    const std::string bank = Bank(b);
    b = (b + 1) % kBanks;
    sqlite3_bind_text(st, 1, bank.c_str(), -1, SQLITE_TRANSIENT);
    long long sum = 0;
    std::string id;
    while (sqlite3_step(st) == SQLITE_ROW) {
      id.assign(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                static_cast<size_t>(sqlite3_column_bytes(st, 0)));
      benchmark::DoNotOptimize(sqlite3_column_int64(st, 1) + sqlite3_column_int64(st, 2) +
                               sqlite3_column_int64(st, 3) + sqlite3_column_int64(st, 4));
      sum += sqlite3_column_int64(st, 6) - sqlite3_column_int64(st, 5);
      benchmark::DoNotOptimize(sum);
      ++lines;
    }
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  state.SetItemsProcessed(lines);
}

// The register balance as of the middle date of the registers.
void BM_RegisterBalanceAsOfMid(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  Opened o(rows);
  const tsDate mid = tsDate::FromYmd(kFirstDay) + kDays / 2;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2((Company(rows) + "/company.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    abort();
  }
  sqlite3_stmt* count = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM f_BKT_1_r1 WHERE TBNKACC=?1 AND TTRANDT>?2", -1, &count,
                         nullptr) != SQLITE_OK) {
    abort();
  }
  int b = 0;
  double after = 0, reads = 0, sql_rows = 0, n = 0;
  for (auto _ : state) {
    const std::string bank = Bank(b);
    b = (b + 1) % kBanks;
    bkRegisterBalanceAsOfDateAccumulator acc(tsAlpha(bank), mid, *o.bkm, *o.bkt);
    const uint64_t rows_before = tsioCounters::RowsRead();
    const tsCurrency r = acc.accumulate();
    const uint64_t rows = tsioCounters::RowsRead() - rows_before;
    if (bkIsBalanceFailure(r)) abort();
    benchmark::DoNotOptimize(r);
    state.PauseTiming();
    sqlite3_bind_text(count, 1, bank.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(count, 2, mid.Ymd());
    if (sqlite3_step(count) != SQLITE_ROW) abort();
    after += static_cast<double>(sqlite3_column_int64(count, 0));
    sqlite3_reset(count);
    reads += static_cast<double>(acc.TransactionReads());
    sql_rows += static_cast<double>(rows);
    n += 1;
    state.ResumeTiming();
  }
  sqlite3_finalize(count);
  sqlite3_close(db);
  state.counters["rows_after"] = after / n;
  state.counters["fetches"] = reads / n;
  state.counters["sql_rows"] = sql_rows / n;
}

BENCHMARK(BM_RunningBalanceRegister)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CallerWalk)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainScanRunningSum)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegisterBalanceAsOfMid)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
