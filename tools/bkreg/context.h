// What every bkreg command shares: the company folder, the output format,
// the output and error streams, the exit status, and the company's program
// (its files opened as every program of the module opens them).
//
// Exit status (Exit):
//   0 done
//   1 refused: bad usage, input that breaks an input rule, or a business
//     rule (an unknown account, a duplicate, a validation the module fails)
//   2 failure: the database is missing, damaged or cannot be written, the
//     output cannot be written, an operation failed
//   3 locked or busy: another program holds what the command needs, past
//     the time the command may wait for it
//
// A command reports through Context: Refuse/Fail/Busy write "bkreg: <text>"
// on the error stream and give the status to return. Output goes through
// `out`, a stream on standard output that remembers why a write failed
// (OutputError); the program turns a failed write into status 2.
#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

#include "framework/io/io_status.h"
#include "tools/bkreg/output.h"

class bkProgram;
class ccErrors;
namespace bkreg {
class Context;
}
class tsioDataFile;

namespace bkreg {

enum Exit : int { kDone = 0, kRefused = 1, kFailed = 2, kBusy = 3 };

// An unbuffered-in-the-kernel-sense stream buffer over a file descriptor:
// it buffers 64 KiB, writes with write(2), and keeps the errno of the first
// failed write (a full disk, a closed pipe); later writes are dropped.
class FdOutBuf : public std::streambuf {
 public:
  explicit FdOutBuf(int fd) : fd_(fd) { setp(buf_, buf_ + sizeof buf_); }
  ~FdOutBuf() override { sync(); }
  int Error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  int sync() override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;

 private:
  bool Drain();
  int fd_;
  int error_ = 0;
  char buf_[64 * 1024];
};

// The company's program and its two main files, opened once per command.
class Session {
 public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bkProgram& Program() { return *program_; }
  const tsioDataFile& Master() const { return *bkm_; }
  const tsioDataFile& Register() const { return *bkt_; }
  // The history (posted transactions), opened on first use: nullptr after
  // a message on `ctx`'s error stream, with `*status` the exit status.
  const tsioDataFile* History(Context& ctx, int* status);

 private:
  friend class Context;
  std::unique_ptr<bkProgram> program_;
  const tsioDataFile* bkm_ = nullptr;
  const tsioDataFile* bkt_ = nullptr;
  const tsioDataFile* history_ = nullptr;
};

namespace detail {
// Standard output through FdOutBuf, made before Context's members use it.
struct OutputHolder {
  OutputHolder() : out_buf(1), out_stream(&out_buf) {}
  FdOutBuf out_buf;
  std::ostream out_stream;
};
}  // namespace detail

class Context : private detail::OutputHolder {
 public:
  Context();
  // A context whose output and messages go to `out` and `err` instead of
  // standard output and error (the web register runs commands this way).
  Context(std::ostream& out, std::ostream& err);
  ~Context();

  // Global options (set by the command line before a command runs).
  std::string company;
  std::string format_name = "text";
  Format format = Format::kText;
  // How long an entry waits for a bank account or the run header another
  // program holds before it gives up with status 3 (--wait, $BKREG_WAIT).
  double wait_seconds = 5.0;

  std::ostream& out = out_stream;
  std::ostream& err;

  // "bkreg: <text>" on the error stream; the status to return.
  int Refuse(const std::string& text);
  int Fail(const std::string& text);
  int Busy(const std::string& text);
  // The catalogue's messages of `errors` (each text on its own line); also
  // kept in `*messages` when it is set, for callers that show each message
  // beside what it concerns.
  void PrintErrors(const ccErrors& errors);
  ccErrors* messages = nullptr;
  // The status a failed file operation deserves, with its message naming
  // what was being done: 3 for a locked record or a busy database, 2 for
  // anything else (a damaged database is named as such).
  int IoFailure(const std::string& what, tsioStatus::Status st);
  // The words for a file status, for messages ("the database is damaged").
  static std::string StatusWords(tsioStatus::Status st);

  // The company as messages show it: a server address without its password.
  std::string CompanyShown() const;
  // Why the company could not be opened or created, in words that say what
  // it is (a path that is a file, a folder this program cannot write, no
  // company there, a server that refused the connection), for status `st`.
  std::string CompanyProblem(tsioStatus::Status st) const;

  // Makes the database's own busy wait (another program writing) follow
  // wait_seconds for the connections opened from now on; Open does it.
  void ApplyWait() const;

  // Opens the company's files (once); nullptr after a message on the error
  // stream, with `*status` the exit status. A company whose database is
  // damaged is reported as such.
  Session* Open(int* status);
  // Closes the session (files and database).
  void Close();

  // The deadline of a bounded wait starting now.
  std::chrono::steady_clock::time_point WaitDeadline() const;
  // Runs `attempt` (a tsioStatus::Status()) again, with short pauses, while
  // it answers kLocked or kBusy and the wait (wait_seconds) has not run out;
  // its last answer.
  template <typename F>
  tsioStatus::Status Waiting(F attempt) const {
    const auto deadline = WaitDeadline();
    for (int round = 0;; ++round) {
      const tsioStatus::Status st = attempt();
      if ((st != tsioStatus::kLocked && st != tsioStatus::kBusy) || std::chrono::steady_clock::now() >= deadline) {
        return st;
      }
      Pause(round);
    }
  }
  // Sleeps a little longer each round (5 ms up to 50 ms, with jitter).
  static void Pause(int round);

  // True when standard error is a terminal (progress is shown there).
  bool Interactive() const;

  // After the command: flushes the output; a failed write is reported and
  // turns `status` into 2.
  int Finish(int status);

  // The exit status the command's callback leaves for main.
  int status = kDone;

 private:
  std::unique_ptr<Session> session_;
};

}  // namespace bkreg
