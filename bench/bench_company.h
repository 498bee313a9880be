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

// Builds the company in `folder` once (a folder whose database exists is
// left as it is): creates the current transaction file and `more` files,
// then writes `rows` transactions in one unit of work, committed every
// 50,000 rows. Row i has bank BenchBank(i % kBenchBanks), run 1 + i / 1000
// and sequence 1 + i % 1000; `fill(i, rng, record)` sets the rest, drawing
// from one generator seeded 42. `finish(fm, unit)` writes what else the
// company holds before the last commit. Any failure aborts the program.
inline void BuildBenchRegister(const std::string& folder, int rows, const std::vector<const tsioFileSpec*>& more,
                               const std::function<void(int, std::mt19937&, TransactionData&)>& fill,
                               const std::function<void(tsioFileManager&, tclRollbackStack&)>& finish = nullptr) {
  struct stat st;
  if (stat((folder + "/company.db").c_str(), &st) == 0) return;
  mkdir(BenchDir().c_str(), 0777);
  tsioFileManager fm(folder);
  if (fm.CreateCompany() != tsioStatus::kSuccess || fm.Create(BKTFileSpec) != tsioStatus::kSuccess) abort();
  for (const tsioFileSpec* spec : more) {
    if (fm.Create(*spec) != tsioStatus::kSuccess) abort();
  }
  tsioDataFile* f = nullptr;
  if (fm.Open(BKTFileSpec, &f) != tsioStatus::kSuccess) abort();
  Transaction t(*f, "", 0);
  std::mt19937 rng(42);
  tclRollbackStack unit;
  t.AttachRollbackStack(&unit);
  for (int i = 0; i < rows; ++i) {
    t.m_Record = TransactionData();
    t.m_Record.SetBankAccount(tsAlpha(BenchBank(i % kBenchBanks)));
    t.m_Record.SetRun(tsDouble(1 + i / 1000, 0));
    t.m_Record.SetSequence(tsDouble(1 + i % 1000, 0));
    fill(i, rng, t.m_Record);
    if (t.Insert() != tsioStatus::kSuccess) abort();
    if (i % 50000 == 49999 && unit.Commit() != tsioStatus::kSuccess) abort();
  }
  if (finish) finish(fm, unit);
  if (unit.Commit() != tsioStatus::kSuccess) abort();
}
