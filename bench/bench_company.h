// The benchmark companies: registers of generated transactions, built once
// under $BK_BENCH_DIR (default /tmp/bk-bench) and reused by later runs.
// Header-only so each benchmark program takes it without a library of its own.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "framework/io/file_manager.h"
#include "framework/io/rollback_stack.h"
#include "records/files.h"
#include "transactions/transaction.h"

inline constexpr int kBenchBanks = 20;

inline std::string BenchDir() {
  const char* d = getenv("BK_BENCH_DIR");
  return d && *d ? d : "/tmp/bk-bench";
}

// "BANK00" .. "BANK19": the bank account of row i is BenchBank(i % kBenchBanks).
inline std::string BenchBank(int i) {
  char b[16];
  snprintf(b, sizeof b, "BANK%02d", i);
  return b;
}

// Row r of type `type` (1 check, 2 deposit, 3 withdrawal, 4 adjustment):
// a random transaction and accounting date within `days` of `first_day`
// (yyyymmdd) and a random amount of 0.01 to 10,000.00, added for a deposit
// and taken away otherwise.
inline void FillBenchDateAndAmount(std::mt19937& rng, int type, int first_day, int days, TransactionData& r) {
  const tsDate date = tsDate::FromYmd(first_day) + static_cast<int>(rng() % days);
  r.SetTransactionDate(date);
  r.SetAccountingDate(date);
  const tsCurrency amount(tsDouble(static_cast<long long>(1 + rng() % 1000000), 0) / tsDouble(100));
  if (type == 2) {
    r.SetAddition(amount);
  } else {
    r.SetSubtraction(amount);
  }
}

// A register to build: `rows` transactions in `file` of the company in
// `folder`, which also gets the files `more`. Row i has bank
// BenchBank(i % kBenchBanks), run 1 + i / 1000 and sequence 1 + i % 1000;
// `fill(i, rng, record)` sets the rest (and may change those), drawing
// from one generator seeded `seed`. `finish(fm, unit)`, when given, writes
// what else the company holds.
struct BenchRegister {
  std::string folder;
  int rows = 0;
  std::function<void(int, std::mt19937&, TransactionData&)> fill;
  std::function<void(tsioFileManager&, tclRollbackStack&)> finish;
  std::vector<const tsioFileSpec*> more;
  const tsioFileSpec* file = &BKTFileSpec;
  unsigned seed = 42;
};

// Builds the company once (a folder whose database exists is left as it
// is), in one unit of work committed every 50,000 rows and at the end. Any
// failure aborts the program.
inline void BuildBenchRegister(const BenchRegister& r) {
  struct stat st;
  if (stat((r.folder + "/company.db").c_str(), &st) == 0) return;
  mkdir(BenchDir().c_str(), 0777);
  tsioFileManager fm(r.folder);
  if (fm.CreateCompany() != tsioStatus::kSuccess || fm.Create(*r.file) != tsioStatus::kSuccess) abort();
  for (const tsioFileSpec* spec : r.more) {
    if (fm.Create(*spec) != tsioStatus::kSuccess) abort();
  }
  tsioDataFile* f = nullptr;
  if (fm.Open(*r.file, &f) != tsioStatus::kSuccess) abort();
  Transaction t(*f, "", 0);
  std::mt19937 rng(r.seed);
  tclRollbackStack unit;
  t.AttachRollbackStack(&unit);
  for (int i = 0; i < r.rows; ++i) {
    t.m_Record = TransactionData();
    t.m_Record.SetBankAccount(tsAlpha(BenchBank(i % kBenchBanks)));
    t.m_Record.SetRun(tsDouble(1 + i / 1000, 0));
    t.m_Record.SetSequence(tsDouble(1 + i % 1000, 0));
    r.fill(i, rng, t.m_Record);
    if (t.Insert() != tsioStatus::kSuccess) abort();
    if (i % 50000 == 49999 && unit.Commit() != tsioStatus::kSuccess) abort();
  }
  if (r.finish) r.finish(fm, unit);
  if (unit.Commit() != tsioStatus::kSuccess) abort();
}
