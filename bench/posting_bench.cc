// Creating and posting general-ledger transactions for a batch of register
// transactions, against moving the same rows with plain SQLite.
//
//   CreateAndPost/N   N deposits of one batch, each sent as detailed GL
//                     lines (a cash line and an offset line, accrual
//                     ledger): per transaction the creator accumulates,
//                     rolls at the transaction's end and processes (the
//                     general-ledger module writes two GLT lines), all in
//                     one unit of work of the program; then the post
//                     launcher posts the batch (its 2N lines move from GLT
//                     table 331 to 332).
//   PlainSqliteMove/N the same 2N rows (same columns, same keys) inserted
//                     row by row into one table, then moved row by row
//                     (insert into a second table, delete from the first),
//                     in one transaction, with prepared statements.
//
//   build/bench/bk_bench --benchmark_filter='CreateAndPost|PlainSqliteMove'
// Each repetition starts from a fresh company under $BK_BENCH_DIR (default
// /tmp/bk-bench), built outside the timing.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "framework/base/application.h"
#include "framework/batch/batch_list.h"
#include "framework/control/control_file.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/file_manager.h"
#include "framework/io/rollback_stack.h"
#include "framework/module/module_registry.h"
#include "ledger/gl_post_launcher.h"
#include "ledger/gl_tran_creator.h"
#include "programs/bk_program.h"
#include "records/files.h"
#include "records/transaction_data.h"

namespace {

std::string BenchDir() {
  const char* d = getenv("BK_BENCH_DIR");
  return d && *d ? d : "/tmp/bk-bench";
}

void RemoveTree(const std::string& path) {
  const std::string cmd = "rm -rf '" + path + "'";
  if (system(cmd.c_str()) != 0) abort();
}

// A fresh company with the module's files and the general ledger's, the
// options set for detailed GL transactions.
std::string FreshCompany(const char* name) {
  mkdir(BenchDir().c_str(), 0777);
  const std::string folder = BenchDir() + "/" + name;
  RemoveTree(folder);
  tsRegisterLedgerFiles();
  tsioFileManager fm(folder);
  if (fm.CreateCompany() != tsioStatus::kSuccess) abort();
  for (const tsioFileSpec* s : {&BKTFileSpec, &BKMFileSpec, &GLMFileSpec, &GLTFileSpec, &GLTFileSpec2}) {
    if (fm.Create(*s) != tsioStatus::kSuccess) abort();
  }
  if (!tsControlFile::Open(folder)) abort();
  return folder;
}

void CreateAndPost(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  if (xdll_load("LEDGERCORE") == 0) {
    state.SkipWithError("the general-ledger module cannot be loaded");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    const std::string folder = FreshCompany("posting");
    TSGetApp()->SetCompanyFolder(folder);
    auto program = std::make_unique<bkProgram>(740);
    if (program->OpenFiles() != kBoolSuccess) abort();
    for (const tsioFileSpec* s : {&GLMFileSpec, &GLTFileSpec, &GLTFileSpec2}) {
      if (program->FileManager().Open(*s) != tsioStatus::kSuccess) abort();
    }
    bkSettings* settings = program->Settings();
    settings->SetDetailedGLTsFromBK(tsBool(true));
    if (settings->Update() != tsioStatus::kSuccess || settings->Get(false) != tsioStatus::kSuccess) abort();
    TransactionData record;
    record.SetBankAccount(tsAlpha("BANK1"));
    record.SetType(TransactionData::TranTypeEnum::kDeposit);
    record.SetAccountingDate(tsDate(2025, 3, 5));
    record.SetApplOfOrigin(tsAlpha("BK"));
    record.SetBatch(tsAlpha("B1"));
    record.SetBatchSource(BatchSourceEnum::kManualEntry);
    record.SetDebitAccount(tsAlpha("1000100"));
    record.SetCreditAccount(tsAlpha("4000000"));
    DetailedTransactionData detailed(&record, tsAlpha(), kNonCashWithoutTax, false, false);
    bkGLTransactionValues values(*program, true, &detailed);
    state.ResumeTiming();

    tclRollbackStack unit;
    if (unit.EnsureBegun(program->File(BKTFileSpec)->Company()) != tsioStatus::kSuccess) abort();
    {
      glwTranCreator creator(*program, true, &values);
      if (creator.SetRunNumber(*program).Value() != kBoolSuccess) abort();
      for (int i = 0; i < n; ++i) {
        record.SetAddition(tsCurrency(tsDouble::FromScaled(1000 + i % 100000, 2, 2)));
        detailed.SetDescription(0, tsAlpha("Deposit " + std::to_string(i)));
        if (creator.AccumulateTrans(kBKIncludeAll).Value() != tsioStatus::kSuccess) abort();
        if (creator.RollTrans(kTranLevelTransaction, kBKIncludeAll).Value() != tsioStatus::kSuccess) abort();
        if (creator.ProcessTrans().Value() != tsioStatus::kSuccess) abort();
      }
      if (creator.ResetTranCreator(true).Value() != tsioStatus::kSuccess) abort();
      creator.Commit();
    }
    glwPostLauncher launcher(*program);
    if (launcher.OpenFiles(*program) != kBoolSuccess) abort();
    launcher.AddToBatchList(new zzBatchListNode("BK", tsAlpha("B1"), 2));
    if (launcher.Post(0).Value() != kBoolSuccess) abort();
    launcher.CloseFiles();
    if (launcher.ApplBlock()->lines_posted != 2 * n) abort();
    if (unit.Commit() != tsioStatus::kSuccess) abort();

    state.PauseTiming();
    program.reset();
    TSGetApp()->SetCompanyFolder("");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) abort();
}

void PlainSqliteMove(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  static const char* const kColumns =
      "(run INTEGER, seq INTEGER, ledg INTEGER, acct TEXT, dc INTEGER, amt INTEGER, dt INTEGER, jrn INTEGER, "
      "descr TEXT, ref1 TEXT, ref2 TEXT, appl TEXT, batch TEXT, bsrc INTEGER, summ INTEGER, icrc TEXT, icpy TEXT, "
      "vend TEXT, inv TEXT, bank TEXT, chk INTEGER, emp TEXT, job TEXT, PRIMARY KEY(run, seq, ledg)) WITHOUT ROWID";
  for (auto _ : state) {
    state.PauseTiming();
    mkdir(BenchDir().c_str(), 0777);
    const std::string path = BenchDir() + "/plain-move.db";
    unlink(path.c_str());
    unlink((path + "-wal").c_str());
    unlink((path + "-shm").c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) abort();
    Exec(db, "PRAGMA journal_mode=WAL");
    Exec(db, "PRAGMA synchronous=FULL");
    Exec(db, (std::string("CREATE TABLE waiting") + kColumns).c_str());
    Exec(db, (std::string("CREATE TABLE posted") + kColumns).c_str());
    Exec(db, "CREATE INDEX waiting_i1 ON waiting(acct, dt, run, seq, ledg)");
    Exec(db, "CREATE INDEX posted_i1 ON posted(acct, dt, run, seq, ledg)");
    state.ResumeTiming();

    sqlite3_stmt* ins_waiting = nullptr;
    sqlite3_stmt* ins_posted = nullptr;
    sqlite3_stmt* del = nullptr;
    const char* values = " VALUES (?1,?2,1,?3,?4,?5,20250305,0,?6,'BANK1','','BK','B1',2,0,'','','','','BANK1',0,'','')";
    sqlite3_prepare_v2(db, (std::string("INSERT INTO waiting") + values).c_str(), -1, &ins_waiting, nullptr);
    sqlite3_prepare_v2(db, (std::string("INSERT INTO posted") + values).c_str(), -1, &ins_posted, nullptr);
    sqlite3_prepare_v2(db, "DELETE FROM waiting WHERE run = 1 AND seq = ?1 AND ledg = 1", -1, &del, nullptr);
    Exec(db, "BEGIN IMMEDIATE");
    auto insert = [&](sqlite3_stmt* s, int row) {
      const int i = row / 2;
      const std::string desc = "Deposit " + std::to_string(i);
      sqlite3_bind_int64(s, 1, 1);
      sqlite3_bind_int64(s, 2, row + 1);
      sqlite3_bind_text(s, 3, row % 2 ? "4000000" : "1000100", -1, SQLITE_STATIC);
      sqlite3_bind_int64(s, 4, row % 2 ? 2 : 1);
      sqlite3_bind_int64(s, 5, 1000 + i % 100000);
      sqlite3_bind_text(s, 6, desc.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(s) != SQLITE_DONE) abort();
      sqlite3_reset(s);
    };
    for (int row = 0; row < 2 * n; ++row) insert(ins_waiting, row);
    for (int row = 0; row < 2 * n; ++row) {
      insert(ins_posted, row);
      sqlite3_bind_int64(del, 1, row + 1);
      if (sqlite3_step(del) != SQLITE_DONE) abort();
      sqlite3_reset(del);
    }
    Exec(db, "COMMIT");
    sqlite3_finalize(ins_waiting);
    sqlite3_finalize(ins_posted);
    sqlite3_finalize(del);

    state.PauseTiming();
    sqlite3_close(db);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

BENCHMARK(CreateAndPost)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(PlainSqliteMove)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
