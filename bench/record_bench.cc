// Record costs: building, copying, assigning and moving a transaction record
// (58 columns), a narrow one, and a key; keeping records in a vector as a
// listing that holds its rows would.
//
//   build/bench/bk_bench --benchmark_filter=Record
#include <benchmark/benchmark.h>

#include <utility>
#include <vector>

#include "records/column_lists.h"
#include "records/transaction_data.h"

namespace {

TransactionData Filled() {
  TransactionData r;
  r.SetBankAccount(tsAlpha("OPERATING"));
  r.SetRun(tsDouble(12, 0));
  r.SetSequence(tsDouble(3456, 0));
  tclTSEnum<TransactionData::TranTypeEnum> type;
  type.SetValue(1);
  r.SetType(type);
  r.SetDescription(tsAlpha("Payment to a supplier for office rent"));
  r.SetTransactionDate(tsDate::FromYmd(20240315));
  r.SetAccountingDate(tsDate::FromYmd(20240315));
  r.SetSubtraction(tsCurrency::FromText("1830.45"));
  r.SetCheck(tsDouble(1001, 0));
  r.SetPayee(tsAlpha("Landlord Properties Ltd"));
  r.SetDebitAccount(tsAlpha("6100-00"));
  r.SetCreditAccount(tsAlpha("1000-00"));
  return r;
}

void BM_RecordBuild(benchmark::State& state) {
  for (auto _ : state) {
    TransactionData r;
    benchmark::DoNotOptimize(&r);
  }
}

void BM_RecordBuildNarrow(benchmark::State& state) {
  for (auto _ : state) {
    TransactionData r(kTranRunningBalanceColumns);
    benchmark::DoNotOptimize(&r);
  }
}

void BM_RecordBuildKey(benchmark::State& state) {
  const TransactionData source = Filled();
  for (auto _ : state) {
    TransactionKeyData k(source);
    benchmark::DoNotOptimize(&k);
  }
}

void BM_RecordCopy(benchmark::State& state) {
  const TransactionData source = Filled();
  for (auto _ : state) {
    TransactionData r(source);
    benchmark::DoNotOptimize(&r);
  }
}

void BM_RecordAssign(benchmark::State& state) {
  const TransactionData source = Filled();
  TransactionData r;
  for (auto _ : state) {
    r = source;
    benchmark::DoNotOptimize(&r);
  }
}

// A move there and back (two moves per iteration).
void BM_RecordMoveTwice(benchmark::State& state) {
  TransactionData a = Filled();
  for (auto _ : state) {
    TransactionData b(std::move(a));
    a = std::move(b);
    benchmark::DoNotOptimize(&a);
  }
}

// Keeping 1,000 rows as records, the way a listing that holds its rows
// does (push_back of a copy, the vector growing); cost per row.
void BM_RecordVectorOf1000(benchmark::State& state) {
  const TransactionData source = Filled();
  for (auto _ : state) {
    std::vector<TransactionData> rows;
    for (int i = 0; i < 1000; ++i) rows.push_back(source);
    benchmark::DoNotOptimize(rows.data());
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}

BENCHMARK(BM_RecordBuild);
BENCHMARK(BM_RecordBuildNarrow);
BENCHMARK(BM_RecordBuildKey);
BENCHMARK(BM_RecordCopy);
BENCHMARK(BM_RecordAssign);
BENCHMARK(BM_RecordMoveTwice);
BENCHMARK(BM_RecordVectorOf1000);

}  // namespace
