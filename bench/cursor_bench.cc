// Cursor costs on the register: FetchNext along index 5 (bank, transaction
// date, check number, subtraction, run, sequence) and FetchEQ by key, on
// 10,000 and 1,000,000 transactions, against a plain SQLite streaming scan of
// the same rows (same columns, same order) measured in the same run.
//
//   make bench                      # all
//   build/bench/bk_bench --benchmark_filter=Index5
// The company databases are built once under $BK_BENCH_DIR (default
// /tmp/bk-bench) and reused by later runs.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <random>
#include <string>

#include "bench/bench_company.h"

namespace {

constexpr int kBanks = kBenchBanks;

std::string Company(int rows) { return BenchDir() + "/tx" + std::to_string(rows); }

std::string Bank(int i) { return BenchBank(i); }

// Builds the company once: `rows` transactions spread over 20 banks, with
// dates, check numbers and amounts like a register's.
void Build(int rows) {
  BenchRegister reg;
  reg.folder = Company(rows);
  reg.rows = rows;
  reg.fill = [](int i, std::mt19937& rng, TransactionData& r) {
    tclTSEnum<TransactionData::TranTypeEnum> type;
    type.SetValue(1 + static_cast<int>(rng() % 4));
    r.SetType(type);
    r.SetTransactionDate(tsDate::FromYmd(20200101) + static_cast<int>(rng() % 2000));
    r.SetAccountingDate(r.GetTransactionDate());
    r.SetCheck(tsDouble(static_cast<long long>(rng() % 100000), 0));
    r.SetSubtraction(tsCurrency(tsDouble(static_cast<long long>(rng() % 1000000), 0) / tsDouble(100)));
    r.SetDescription(tsAlpha("Payment " + std::to_string(i)));
    r.SetPayee(tsAlpha("Payee " + std::to_string(i % 997)));
    r.SetDebitAccount(tsAlpha("1000-00"));
    r.SetCreditAccount(tsAlpha("2000-00"));
  };
  BuildBenchRegister(reg);
}

struct Opened {
  tsioFileManager fm;
  tsioDataFile* file = nullptr;
  explicit Opened(int rows) : fm(Company(rows)) {
    Build(rows);
    if (fm.Open(BKTFileSpec, &file) != tsioStatus::kSuccess) abort();
  }
};

// A walk of FetchNext along index 5 over the whole file (restarting at the
// first record at the end): cost per fetch.
void BM_FetchNextIndex5(benchmark::State& state) {
  Opened o(static_cast<int>(state.range(0)));
  Transaction t(*o.file, "", 5);
  if (t.FetchFirst(false) != tsioStatus::kSuccess) abort();
  for (auto _ : state) {
    if (t.FetchNext(false) != tsioStatus::kSuccess && t.FetchFirst(false) != tsioStatus::kSuccess) abort();
    benchmark::DoNotOptimize(t.m_Record.GetSubtraction());
  }
  state.SetItemsProcessed(state.iterations());
}

// The same rows, same columns, same order through a plain SQLite statement
// that streams them: the floor a walk can reach.
void BM_PlainScanIndex5(benchmark::State& state) {
  Opened o(static_cast<int>(state.range(0)));
  sqlite3* db = nullptr;
  if (sqlite3_open_v2((Company(static_cast<int>(state.range(0))) + "/company.db").c_str(), &db,
                      SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    abort();
  }
  const tsioRecordDef* def = o.file->Def()->Record(1);
  std::string sql = "SELECT ";
  for (size_t i = 0; i < def->fields.size(); ++i) sql += (i ? ",\"" : "\"") + def->fields[i].name + "\"";
  sql += " FROM \"f_BKT_1_r1\" ORDER BY TBNKACC,TTRANDT,TCHECK,TSUBTR,TRUN,TSEQ";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) abort();
  std::vector<std::string> text(def->fields.size());
  std::vector<long long> num(def->fields.size());
  for (auto _ : state) {
    if (sqlite3_step(st) != SQLITE_ROW) {
      sqlite3_reset(st);
      if (sqlite3_step(st) != SQLITE_ROW) abort();
    }
    for (size_t i = 0; i < def->fields.size(); ++i) {
      const tsDataType ty = def->fields[i].type;
      if (ty == tsDataType::kAlpha || ty == tsDataType::kText || ty == tsDataType::kPhone) {
        const unsigned char* p = sqlite3_column_text(st, static_cast<int>(i));
        text[i].assign(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(st, static_cast<int>(i))));
      } else {
        num[i] = sqlite3_column_int64(st, static_cast<int>(i));
      }
    }
    benchmark::DoNotOptimize(num.data());
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations());
}

// FetchEQ by key (bank, run, sequence) of random existing transactions.
void BM_FetchEQByKey(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  Opened o(rows);
  Transaction t(*o.file, "", 0);
  std::mt19937 rng(7);
  for (auto _ : state) {
    int i = static_cast<int>(rng() % static_cast<unsigned>(rows));
    t.m_Record.SetBankAccount(tsAlpha(Bank(i % kBanks)));
    t.m_Record.SetRun(tsDouble(1 + i / 1000, 0));
    t.m_Record.SetSequence(tsDouble(1 + i % 1000, 0));
    if (t.FetchEQ(false) != tsioStatus::kSuccess) abort();
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_FetchNextIndex5)->Arg(10000)->Arg(1000000);
BENCHMARK(BM_PlainScanIndex5)->Arg(10000)->Arg(1000000);
BENCHMARK(BM_FetchEQByKey)->Arg(10000)->Arg(1000000);

}  // namespace

BENCHMARK_MAIN();
