// The register walk of the whole program, per row: `bkreg register` of one
// bank account in text, CSV and JSON, and `bkreg export`, each run as its own
// process with the output thrown away, on a company of 100,000 generated
// transactions (BK_REGISTER_ROWS changes the count). Rows per second are
// items per second; the child's processor time (user + system) per run is
// the "cpu_s" counter, which load on a shared machine disturbs less than the
// wall time.
//
//   build/bench/bk_register_bench
//   BKREG=/path/to/other/bkreg build/bench/bk_register_bench   # another build
//
// The company is built once under $BK_BENCH_DIR (default /tmp/bk-bench) with
// the bkreg under test and reused by later runs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::string Bkreg() {
  const char* b = getenv("BKREG");
  return b && *b ? b : BK_BKREG_PATH;
}

long Rows() {
  const char* n = getenv("BK_REGISTER_ROWS");
  return n && *n ? atol(n) : 100000;
}

std::string Company() {
  const char* d = getenv("BK_BENCH_DIR");
  return std::string(d && *d ? d : "/tmp/bk-bench") + "/register" + std::to_string(Rows());
}

// Runs bkreg with `args`, its output to /dev/null; its exit status.
int Run(const std::vector<std::string>& args) {
  std::vector<std::string> all = {Bkreg(), "--company", Company()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Built() {
  static const bool built = [] {
    struct stat st;
    if (stat((Company() + "/company.db").c_str(), &st) == 0) return true;
    mkdir(getenv("BK_BENCH_DIR") ? getenv("BK_BENCH_DIR") : "/tmp/bk-bench", 0777);
    return Run({"init"}) == 0 && Run({"bank", "add", "BENCH", "--desc", "Benchmark", "--balance", "1000.00"}) == 0 &&
           Run({"generate", "--bank", "BENCH", "--count", std::to_string(Rows()), "--from", "2024-01-01"}) == 0;
  }();
  return built;
}

double ChildCpuSeconds() {
  struct rusage ru;
  getrusage(RUSAGE_CHILDREN, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void RunCommand(benchmark::State& state, const std::vector<std::string>& args) {
  if (!Built()) {
    state.SkipWithError("cannot build the benchmark company");
    return;
  }
  const double cpu0 = ChildCpuSeconds();
  for (auto _ : state) {
    if (Run(args) != 0) {
      state.SkipWithError("bkreg failed");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * Rows());
  state.counters["cpu_s"] = benchmark::Counter((ChildCpuSeconds() - cpu0) / static_cast<double>(state.iterations()));
}

void BM_RegisterText(benchmark::State& s) { RunCommand(s, {"register", "--bank", "BENCH"}); }
void BM_RegisterCsv(benchmark::State& s) { RunCommand(s, {"--format", "csv", "register", "--bank", "BENCH"}); }
void BM_RegisterJson(benchmark::State& s) { RunCommand(s, {"--format", "json", "register", "--bank", "BENCH"}); }
void BM_ExportCsv(benchmark::State& s) { RunCommand(s, {"export", "BENCH"}); }

BENCHMARK(BM_RegisterText)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_RegisterCsv)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_RegisterJson)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
