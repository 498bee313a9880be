// Statements: matching lines against a large register, and importing whole
// statements through the program.
//
//   MatchStatement   10,000 statement lines matched against a register of
//                    1,000,000 transactions of one bank account (5.5 years
//                    of days): a third by check
//                    number, a third by amount and date window (register
//                    transactions the bank shows without a number), a third
//                    unknown to the register (amounts it does not hold);
//                    counters per line: fetches (the matcher's fetch
//                    calls), queries (indexed queries the cursors sent),
//                    rows (rows those queries returned).
//   ImportStatement/F/N
//                    `bkreg statement import` of a statement of N lines
//                    (10,000, 100,000, 200,000) in OFX (F 0) or CSV (F 1),
//                    run as its own process on a fresh copy of a company
//                    whose register holds the N posted transactions the
//                    lines clear (a third checks matched by number, the rest
//                    by amount and date); counters: lines per second, the
//                    child's peak memory (peak_rss_mb) and processor time
//                    (cpu_s), the file's size (file_mb).
//
//   build/bench/bk_statement_bench
//   build/bench/bk_statement_bench --benchmark_filter=ImportStatement
//   BKREG=/path/to/other/bkreg build/bench/bk_statement_bench   # another build
// The companies and statement files are built once under $BK_BENCH_DIR
// (default /tmp/bk-bench) and reused by later runs; each import runs on a
// copy.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "accounts/bank_account.h"
#include "bench/bench_company.h"
#include "framework/io/counters.h"
#include "statements/statement_matcher.h"

extern char** environ;

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

// ---------------------------------------------------------------- import

std::string Bkreg() {
  const char* b = getenv("BKREG");
  return b && *b ? b : BK_BKREG_PATH;
}

struct Child {
  int status = -1;
  double cpu_s = 0, peak_mb = 0;
};

// Runs bkreg with `args` on `company`, its output thrown away.
Child Run(const std::string& company, const std::vector<std::string>& args) {
  std::vector<std::string> all = {Bkreg(), "--company", company};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  Child c;
  pid_t pid;
  const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return c;
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  c.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  c.cpu_s = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
            static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  c.peak_mb = static_cast<double>(ru.ru_maxrss) / 1024.0;
  return c;
}

constexpr const char kImportBank[] = "STMT";
constexpr const char kImportAccount[] = "000123456789";

std::string ImportDir(long lines) { return BenchDir() + "/stmtimport" + std::to_string(lines); }

// The company (bkreg's own, with the bank account and its number) and its
// register of `lines` posted open transactions in history, and the
// statement of them in both formats: built once.
void BuildImport(long lines) {
  const std::string dir = ImportDir(lines);
  const std::string company = dir + "/company";
  struct stat st;
  if (stat((dir + "/statement.csv").c_str(), &st) == 0) return;
  mkdir(BenchDir().c_str(), 0777);
  mkdir(dir.c_str(), 0777);
  if (Run(company, {"init"}).status != 0 ||
      Run(company, {"bank", "add", kImportBank, "--account-number", kImportAccount}).status != 0) {
    abort();
  }
  std::ofstream ofx(dir + "/statement.ofx"), csv(dir + "/statement.csv");
  ofx << "OFXHEADER:100\nDATA:OFXSGML\nVERSION:102\nSECURITY:NONE\nENCODING:USASCII\nCHARSET:1252\n"
         "COMPRESSION:NONE\nOLDFILEUID:NONE\nNEWFILEUID:NONE\n\n<OFX>\n<BANKMSGSRSV1><STMTTRNRS><TRNUID>1\n"
         "<STMTRS><CURDEF>USD<BANKACCTFROM><BANKID>021000021<ACCTID>"
      << kImportAccount << "<ACCTTYPE>CHECKING</BANKACCTFROM>\n<BANKTRANLIST><DTSTART>20200101<DTEND>20241231\n";
  csv << "Date,Id,Check,Amount,Description\n";
  tsioFileManager fm(company);
  tsioDataFile* f = nullptr;
  if (fm.Open(BKTHistoryFileSpec, &f) != tsioStatus::kSuccess) abort();
  Transaction t(*f, "", 0);
  tclRollbackStack unit;
  t.AttachRollbackStack(&unit);
  std::mt19937 rng(5);
  for (long i = 0; i < lines; ++i) {
    TransactionData& r = t.m_Record;
    r = TransactionData();
    r.SetBankAccount(tsAlpha(kImportBank));
    r.SetRun(tsDouble(1 + i / 1000, 0));
    r.SetSequence(tsDouble(1 + i % 1000, 0));
    const int type = 1 + static_cast<int>(i % 3);
    r.SetType(tclTSEnum<TransactionData::TranTypeEnum>(type));
    // Amounts distinct enough that a line has one candidate.
    const tsDate date = tsDate(2020, 1, 1) + static_cast<int>(i % 1800);
    r.SetTransactionDate(date);
    r.SetAccountingDate(date);
    const tsCurrency amount(tsDouble(100 + i, 0) / tsDouble(100));
    if (type == 2) {
      r.SetAddition(amount);
      r.SetDepositDate(date);
    } else {
      r.SetSubtraction(amount);
    }
    if (type == 1) r.SetCheck(tsDouble(1000 + i, 0));
    r.SetPosted(tsBool(true));
    if (t.Insert() != tsioStatus::kSuccess) abort();
    if (i % 50000 == 49999 && unit.Commit() != tsioStatus::kSuccess) abort();
    const tsDate shown = date + 1;
    const std::string signed_amount = (type == 2 ? "" : "-") + amount.Format();
    const std::string ymd = std::to_string(shown.Ymd());
    ofx << "<STMTTRN><TRNTYPE>" << (type == 1 ? "CHECK" : type == 2 ? "CREDIT" : "DEBIT") << "<DTPOSTED>" << ymd
        << "<TRNAMT>" << signed_amount << "<FITID>L" << i;
    if (type == 1) ofx << "<CHECKNUM>" << 1000 + i;
    ofx << "<NAME>Payee " << i % 977 << "<MEMO>Statement line " << i << "</STMTTRN>\n";
    csv << shown.Format() << ",L" << i << "," << (type == 1 ? std::to_string(1000 + i) : "") << "," << signed_amount
        << ",Payee " << i % 977 << " statement line " << i << "\n";
  }
  if (unit.Commit() != tsioStatus::kSuccess) abort();
  ofx << "</BANKTRANLIST>\n<LEDGERBAL><BALAMT>0.00<DTASOF>20241231</LEDGERBAL>\n</STMTRS></STMTTRNRS>"
         "</BANKMSGSRSV1>\n</OFX>\n";
}

void ImportStatement(benchmark::State& state) {
  const bool csv = state.range(0) == 1;
  const long lines = state.range(1);
  BuildImport(lines);
  const std::string dir = ImportDir(lines);
  const std::string file = dir + (csv ? "/statement.csv" : "/statement.ofx");
  const std::string copy = dir + "/run";
  std::vector<std::string> args = {"statement", "import", kImportBank, file};
  if (csv) {
    args.insert(args.end(), {"--mapping", "date=Date;id=Id;check=Check;amount=Amount;memo=Description;"
                                          "statement_date=2024-12-31;ending_balance=0"});
  }
  Child last;
  for (auto _ : state) {
    state.PauseTiming();
    if (system(("rm -rf '" + copy + "' && cp -r '" + dir + "/company' '" + copy + "'").c_str()) != 0) abort();
    state.ResumeTiming();
    last = Run(copy, args);
    if (last.status != 0) state.SkipWithError("bkreg statement import failed");
  }
  struct stat st {};
  stat(file.c_str(), &st);
  state.counters["lines_per_s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["peak_rss_mb"] = last.peak_mb;
  state.counters["cpu_s"] = last.cpu_s;
  state.counters["file_mb"] = static_cast<double>(st.st_size) / (1 << 20);
}
BENCHMARK(ImportStatement)
    ->ArgsProduct({{0, 1}, {10000, 100000, 200000}})
    ->ArgNames({"csv", "lines"})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
