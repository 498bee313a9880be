// Temporary folders and child processes for tests.
#include "tests/support/test_support.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <type_traits>

namespace bktest {

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/bktest-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  // A test may have made the folder read-only; give the owner write back first.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

int ChildProcess::child_in_ = -1;
int ChildProcess::child_out_ = -1;

ChildProcess ChildProcess::Fork() {
  int down[2], up[2];
  if (pipe(down) != 0 || pipe(up) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  ChildProcess p;
  p.pid_ = pid;
  if (pid == 0) {
    close(down[1]);
    close(up[0]);
    child_in_ = down[0];
    child_out_ = up[1];
    return p;
  }
  close(down[0]);
  close(up[1]);
  p.to_child_ = down[1];
  p.from_child_ = up[0];
  return p;
}

ChildProcess::ChildProcess(ChildProcess&& o) noexcept
    : pid_(o.pid_), to_child_(o.to_child_), from_child_(o.from_child_), pending_(std::move(o.pending_)) {
  o.pid_ = -1;
  o.to_child_ = o.from_child_ = -1;
}

ChildProcess::~ChildProcess() {
  if (to_child_ >= 0) close(to_child_);
  if (from_child_ >= 0) close(from_child_);
  if (pid_ > 0) {
    int st;
    if (waitpid(pid_, &st, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &st, 0);
    }
  }
}

void ChildProcess::Send(const std::string& line) {
  std::string s = line + "\n";
  const char* p = s.data();
  size_t n = s.size();
  while (n > 0) {
    ssize_t w = write(to_child_, p, n);
    if (w <= 0) return;
    p += w;
    n -= static_cast<size_t>(w);
  }
}

std::string ChildProcess::Receive(int timeout_ms) {
  for (;;) {
    auto nl = pending_.find('\n');
    if (nl != std::string::npos) {
      std::string line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      return line;
    }
    pollfd pfd{from_child_, POLLIN, 0};
    if (poll(&pfd, 1, timeout_ms) <= 0) return "";
    char buf[512];
    ssize_t r = read(from_child_, buf, sizeof buf);
    if (r <= 0) return "";
    pending_.append(buf, static_cast<size_t>(r));
  }
}

void ChildProcess::Kill(int sig) {
  if (pid_ > 0) kill(pid_, sig);
}

int ChildProcess::Wait() {
  if (pid_ <= 0) return -1;
  int st = 0;
  waitpid(pid_, &st, 0);
  if (OnServer()) AwaitServerSessionsGone(pid_);
  pid_ = -1;
  if (WIFSIGNALED(st)) return -WTERMSIG(st);
  return WEXITSTATUS(st);
}

std::string ChildProcess::ReadLine() {
  std::string line;
  char c;
  while (read(child_in_, &c, 1) == 1) {
    if (c == '\n') return line;
    line.push_back(c);
  }
  return line;
}

void ChildProcess::WriteLine(const std::string& line) {
  std::string s = line + "\n";
  ssize_t ignored = write(child_out_, s.data(), s.size());
  (void)ignored;
}

namespace {

// The server address read once from BK_TEST_PG's file; exits with 77
// (skipped) when the suite could not start a server.
std::string ReadServerAddress() {
  const char* file = getenv("BK_TEST_PG");
  if (!file || !*file) return "";
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  if (line.rfind("postgres", 0) != 0) {
    std::fprintf(stderr, "PostgreSQL tests skipped: %s\n",
                 line.empty() ? (std::string("no server settings in ") + file).c_str() : line.c_str());
    std::fflush(stderr);
    _exit(77);
  }
  return line;
}

const std::string& Address() {
  static const std::string address = ReadServerAddress();
  return address;
}

// Checked before any test runs, so a missing server skips the program.
const bool g_checked = !Address().empty() || true;

void RunOnServer(const std::string& sql) {
  std::string address = Address() + "/postgres";
  PGconn* c = PQconnectdb(address.c_str());
  if (PQstatus(c) == CONNECTION_OK) PQclear(PQexec(c, sql.c_str()));
  PQfinish(c);
}

}  // namespace

void AwaitServerSessionsGone(pid_t pid) {
  std::string address = Address() + "/postgres";
  PGconn* c = PQconnectdb(address.c_str());
  const std::string name = "bkreg " + std::to_string(pid);
  const char* values[] = {name.c_str()};
  // A bounded poll with a generous deadline: the server ends a killed
  // program's sessions within milliseconds when idle, far later when loaded.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ChildProcess::kGenerousMs);
  while (PQstatus(c) == CONNECTION_OK && std::chrono::steady_clock::now() < deadline) {
    PGresult* r = PQexecParams(c, "SELECT 1 FROM pg_stat_activity WHERE application_name = $1", 1, nullptr, values,
                               nullptr, nullptr, 0);
    const bool gone = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 0;
    PQclear(r);
    if (gone) break;
    usleep(10000);
  }
  PQfinish(c);
}

std::string ServerAddress() {
  (void)g_checked;
  return Address();
}

TestCompany::TestCompany(const std::string& sub) {
  if (!OnServer()) {
    path_ = sub.empty() ? dir_.path() : dir_.Sub(sub);
    return;
  }
  static std::atomic<int> serial{0};
  database_ = "bkt_" + std::to_string(getpid()) + "_" + std::to_string(++serial) + "_" +
              std::filesystem::path(dir_.path()).filename().string().substr(7);
  for (char& c : database_) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  path_ = Address() + "/" + database_;
  // Programs the test starts keep the company's local files in its folder.
  setenv("BKREG_LOCAL_DIR", dir_.path().c_str(), 1);
}

TestCompany::~TestCompany() {
  if (!database_.empty()) RunOnServer("DROP DATABASE IF EXISTS \"" + database_ + "\" WITH (FORCE)");
}

std::string BinaryDir() {
  const char* d = getenv("BK_TEST_BINARY_DIR");
  return d ? d : ".";
}

}  // namespace bktest
