// Helpers for tests: a temporary folder removed at the end of the test, a
// company on the backend the tests run against, and real child processes (a
// second program) that a test can start, talk to through pipes and kill.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace bktest {

// A fresh folder under the system temporary folder; removed with everything in
// it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string Sub(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The storage backend the tests run against. A test program runs on SQLite
// unless BK_TEST_PG names the settings file of the throw-away PostgreSQL
// server the test suite starts (tests/support/pg_server.sh); that file holds
// the server's address ("postgresql://user@127.0.0.1:port"), or a line
// "skip: <reason>" when no server could be started, and then the program
// exits at once with status 77 (reported as skipped) after saying why.
// Empty on SQLite.
std::string ServerAddress();
inline bool OnServer() { return !ServerAddress().empty(); }

// On the server: waits (up to ChildProcess::kGenerousMs) until the server has ended the sessions
// of process `pid`, which it notices a moment after the process dies; its
// record locks are gone then. ChildProcess::Wait does this.
void AwaitServerSessionsGone(pid_t pid);

// A company for one test: a fresh temporary folder on SQLite; on the
// PostgreSQL server, the address of a fresh database (created by the first
// tsioCompany::Open with create, as a folder is), dropped at the end.
// `Local()` is a temporary folder in both cases, for the test's other files;
// given `sub`, the SQLite company is the folder `sub` inside it (not made
// here).
class TestCompany {
 public:
  explicit TestCompany(const std::string& sub = "");
  ~TestCompany();
  TestCompany(const TestCompany&) = delete;
  TestCompany& operator=(const TestCompany&) = delete;
  const std::string& path() const { return path_; }
  const std::string& Local() const { return dir_.path(); }
  std::string Sub(const std::string& name) const { return dir_.Sub(name); }

 private:
  TempDir dir_;
  std::string path_;
  std::string database_;
};

// A child process running a function of this test program (after fork), with
// a pipe each way. The child reads commands with ReadLine() from the parent
// and answers with WriteLine(); the parent uses Send/Receive.
class ChildProcess {
 public:
  // Forks; the child runs `body` then _exit(0) (or the value body returns).
  template <typename F>
  static ChildProcess Start(F body);
  ChildProcess(ChildProcess&& other) noexcept;
  ~ChildProcess();

  void Send(const std::string& line);
  // Waits up to `timeout_ms` for one line; empty string on time-out or EOF.
  // The default deadline is far beyond any child's normal reply, so a loaded
  // machine (sanitizers, parallel builds) only slows a test, never fails it;
  // a child that ends without answering still returns at once (EOF).
  std::string Receive(int timeout_ms = kGenerousMs);
  static constexpr int kGenerousMs = 180000;
  void Kill(int sig = SIGKILL);
  // Waits for the child to end and returns its exit status (-signal when
  // killed); on the PostgreSQL test server, also until the server has ended
  // the child's sessions (so its locks are gone).
  int Wait();
  pid_t pid() const { return pid_; }

  // For the child side.
  static std::string ReadLine();
  static void WriteLine(const std::string& line);

 private:
  ChildProcess() = default;
  pid_t pid_ = -1;
  int to_child_ = -1;
  int from_child_ = -1;
  std::string pending_;
  static int child_in_;
  static int child_out_;
  static ChildProcess Fork();
  bool IsChild() const { return pid_ == 0; }
};

template <typename F>
ChildProcess ChildProcess::Start(F body) {
  ChildProcess p = Fork();
  if (p.IsChild()) {
    int rc = 0;
    if constexpr (std::is_same_v<decltype(body()), void>) {
      body();
    } else {
      rc = body();
    }
    _exit(rc);
  }
  return p;
}

// The folder of the build tree, for tests that load built modules.
std::string BinaryDir();

}  // namespace bktest
