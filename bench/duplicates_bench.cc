// Duplicate verification on registers of 10,000 and 1,000,000 transactions
// (20 bank accounts, half checks, half deposits; a history a tenth that
// size; history searched for checks and deposits). Each lookup reports the
// indexed fetches it ran ("fetches" per lookup, from the framework's
// counters) and the rows they returned; both must stay the same whatever
// the register's size, and a lookup that runs more than two fetches per
// file it searches fails the benchmark.
//
//   build/bench/bk_bench --benchmark_filter=Exists
// The companies are built once under $BK_BENCH_DIR (default /tmp/bk-bench).
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <algorithm>
#include <random>
#include <string>

#include "duplicates/bk_verify_duplicates.h"
#include "framework/io/counters.h"
#include "framework/io/file_manager.h"
#include "framework/io/rollback_stack.h"
#include "records/files.h"
#include "settings/bk_settings.h"

namespace {

constexpr int kBanks = 20;

std::string BenchDir() {
  const char* d = getenv("BK_BENCH_DIR");
  return d && *d ? d : "/tmp/bk-bench";
}

std::string Company(int rows) { return BenchDir() + "/dup" + std::to_string(rows); }

std::string Bank(int i) {
  char b[16];
  snprintf(b, sizeof b, "BANK%02d", i % kBanks);
  return b;
}

// Row i: a check (even i, number 100000 + i) or a deposit (odd i, id "D<i>"
// dated by i), of bank i % 20, run 1 + i / 1000, sequence 1 + i % 1000.
void Fill(TransactionData& r, int i, int run_base) {
  r = TransactionData();
  r.SetBankAccount(tsAlpha(Bank(i)));
  r.SetRun(tsDouble(run_base + i / 1000, 0));
  r.SetSequence(tsDouble(1 + i % 1000, 0));
  tclTSEnum<TransactionData::TranTypeEnum> type;
  type.SetValue(i % 2 == 0 ? 1 : 2);
  r.SetType(type);
  r.SetTransactionDate(tsDate::FromYmd(20200101) + (i / kBanks) % 2000);
  r.SetAccountingDate(r.GetTransactionDate());
  if (i % 2 == 0) {
    r.SetCheck(tsDouble(100000 + i, 0));
    r.SetSubtraction(tsCurrency(tsDouble(1 + i % 90000, 0) / tsDouble(100)));
  } else {
    r.SetDepositDate(r.GetTransactionDate());
    r.SetDepositID(tsAlpha("D" + std::to_string(i)));
    r.SetAddition(tsCurrency(tsDouble(1 + i % 90000, 0) / tsDouble(100)));
  }
  r.SetDescription(tsAlpha("Entry " + std::to_string(i)));
}

void Build(int rows) {
  const std::string folder = Company(rows);
  struct stat st;
  if (stat((folder + "/company.db").c_str(), &st) == 0) return;
  mkdir(BenchDir().c_str(), 0777);
  tsioFileManager fm(folder);
  if (fm.CreateCompany() != tsioStatus::kSuccess) abort();
  for (const tsioFileSpec& spec : {BKMFileSpec, BKTFileSpec, BKTHistoryFileSpec}) {
    if (fm.Create(spec) != tsioStatus::kSuccess) abort();
  }
  tsioDataFile *bkm = nullptr, *bkt = nullptr, *history = nullptr;
  if (fm.Open(BKMFileSpec, &bkm) != tsioStatus::kSuccess || fm.Open(BKTFileSpec, &bkt) != tsioStatus::kSuccess ||
      fm.Open(BKTHistoryFileSpec, &history) != tsioStatus::kSuccess) {
    abort();
  }
  bkSettings settings(*bkm);
  if (settings.Get(false) != tsioStatus::kSuccess) abort();
  settings.SetVerifyDupCheckInHistory(tsBool(true));
  settings.SetVerifyDupDepositInHistory(tsBool(true));
  if (settings.Update() != tsioStatus::kSuccess) abort();

  tclRollbackStack unit;
  Transaction t(*bkt), h(*history);
  t.AttachRollbackStack(&unit);
  h.AttachRollbackStack(&unit);
  for (int i = 0; i < rows; ++i) {
    Fill(t.m_Record, i, 1);
    if (t.Insert() != tsioStatus::kSuccess) abort();
    if (i % 10 == 0) {
      Fill(h.m_Record, rows + i, 1);
      if (h.Insert() != tsioStatus::kSuccess) abort();
    }
    if (i % 50000 == 49999 && unit.Commit() != tsioStatus::kSuccess) abort();
  }
  if (unit.Commit() != tsioStatus::kSuccess) abort();
}

struct Verifier {
  explicit Verifier(int rows) : fm(Company(rows)) {
    Build(rows);
    tsioDataFile* bkt = nullptr;
    if (fm.Open(BKTFileSpec, &bkt) != tsioStatus::kSuccess) abort();
    if (v.initialize(bkt->Info()).Value() != ccError::kNone || !v.CheckHistory() || !v.DepositHistory()) abort();
  }
  tsioFileManager fm;
  bkVerifyDuplicates v;
};

// Runs `lookup(i)` for random rows i, expecting `level`; reports fetches and
// rows per lookup and fails when a lookup exceeds `max_fetches`.
template <typename Lookup>
void Measure(benchmark::State& state, ccError::Level level, uint64_t max_fetches, Lookup lookup) {
  const int rows = static_cast<int>(state.range(0));
  Verifier ver(rows);
  std::mt19937 rng(11);
  uint64_t fetches = 0, rows_read = 0, worst = 0;
  for (auto _ : state) {
    const int i = static_cast<int>(rng() % static_cast<unsigned>(rows / 2)) * 2;  // an even row: a check
    const uint64_t q0 = tsioCounters::FetchQueries(), r0 = tsioCounters::RowsRead();
    if (lookup(ver.v, i).Value() != level) {
      state.SkipWithError("unexpected answer");
      break;
    }
    const uint64_t q = tsioCounters::FetchQueries() - q0;
    fetches += q;
    rows_read += tsioCounters::RowsRead() - r0;
    worst = std::max(worst, q);
  }
  if (worst > max_fetches) state.SkipWithError("a lookup ran more fetches than its bound");
  const double n = static_cast<double>(state.iterations());
  state.counters["fetches"] = static_cast<double>(fetches) / n;
  state.counters["max_fetches"] = static_cast<double>(worst);
  state.counters["rows_read"] = static_cast<double>(rows_read) / n;
  state.SetItemsProcessed(state.iterations());
}

// A check number in use in the register: one fetch.
void BM_CheckExistsInRegister(benchmark::State& state) {
  Measure(state, ccError::kError, 1, [](bkVerifyDuplicates& v, int i) {
    return v.checkExists(tsAlpha(Bank(i)), tsDouble(100000 + i, 0));
  });
}

// A new check number: the register, then history.
void BM_CheckExistsNew(benchmark::State& state) {
  Measure(state, ccError::kNone, 2, [](bkVerifyDuplicates& v, int i) {
    return v.checkExists(tsAlpha(Bank(i)), tsDouble(5000000 + i, 0));
  });
}

// A check re-saved by the transaction itself: found, stepped over, history.
void BM_CheckExistsEditedItself(benchmark::State& state) {
  Measure(state, ccError::kNone, 3, [](bkVerifyDuplicates& v, int i) {
    const tsAlpha bank(Bank(i));
    const tsDouble run(1 + i / 1000, 0), seq(1 + i % 1000, 0);
    return v.checkExists(bank, tsDouble(100000 + i, 0), &bank, &run, &seq);
  });
}

// A new deposit: the register, the pending deposits, then history.
void BM_DepositExistsNew(benchmark::State& state) {
  Measure(state, ccError::kNone, 3, [](bkVerifyDuplicates& v, int i) {
    return v.depositExists(tsAlpha(Bank(i)), tsDate::FromYmd(20200101) + (i / kBanks) % 2000,
                           tsAlpha("N" + std::to_string(i)));
  });
}

BENCHMARK(BM_CheckExistsInRegister)->Arg(10000)->Arg(1000000);
BENCHMARK(BM_CheckExistsNew)->Arg(10000)->Arg(1000000);
BENCHMARK(BM_CheckExistsEditedItself)->Arg(10000)->Arg(1000000);
BENCHMARK(BM_DepositExistsNew)->Arg(10000)->Arg(1000000);

}  // namespace
