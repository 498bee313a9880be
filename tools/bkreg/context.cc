// What every bkreg command shares: streams, statuses, the company session.
#include "tools/bkreg/context.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "framework/base/application.h"
#include "framework/base/errors.h"
#include "framework/io/backend.h"
#include "framework/io/company.h"
#include "framework/io/value_fit.h"
#include "framework/io/data_file.h"
#include "framework/io/file_manager.h"
#include "programs/bk_program.h"
#include "records/files.h"

namespace bkreg {

namespace {
constexpr unsigned short kCommandId = 7100;
}  // namespace

bool FdOutBuf::Drain() {
  const char* p = pbase();
  size_t left = static_cast<size_t>(pptr() - pbase());
  while (left > 0 && error_ == 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  setp(buf_, buf_ + sizeof buf_);
  return error_ == 0;
}

FdOutBuf::int_type FdOutBuf::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

std::streamsize FdOutBuf::xsputn(const char* s, std::streamsize n) {
  std::streamsize done = 0;
  while (done < n) {
    if (error_ != 0) return done;
    std::streamsize room = epptr() - pptr();
    if (room == 0) {
      if (!Drain()) return done;
      room = epptr() - pptr();
    }
    const std::streamsize take = std::min(room, n - done);
    std::memcpy(pptr(), s + done, static_cast<size_t>(take));
    pbump(static_cast<int>(take));
    done += take;
  }
  return done;
}

int FdOutBuf::sync() { return Drain() ? 0 : -1; }

Session::Session() : program_(std::make_unique<bkProgram>(kCommandId)) {}
Session::~Session() = default;

const tsioDataFile* Session::History(Context& ctx, int* status) {
  if (history_ != nullptr) return history_;
  tsioDataFile* history = nullptr;
  const tsioStatus::Status st = program_->FileManager().Open(BKTHistoryFileSpec, &history);
  if (st != tsioStatus::kSuccess) {
    *status = ctx.IoFailure("cannot open the history of the company", st);
    return nullptr;
  }
  return history_ = history;
}

Context::Context() : err(std::cerr) {
  const char* env = std::getenv("BKREG_COMPANY");
  company = env && *env ? env : "demo-company";
}

Context::Context(std::ostream& o, std::ostream& e) : out(o), err(e) {
  const char* env = std::getenv("BKREG_COMPANY");
  company = env && *env ? env : "demo-company";
}

Context::~Context() = default;

int Context::Refuse(const std::string& text) {
  err << "bkreg: " << text << "\n";
  return kRefused;
}

int Context::Fail(const std::string& text) {
  err << "bkreg: " << text << "\n";
  return kFailed;
}

int Context::Busy(const std::string& text) {
  err << "bkreg: " << text << "\n";
  return kBusy;
}

void Context::PrintErrors(const ccErrors& errors) {
  if (messages != nullptr) messages->Add(errors);
  for (const auto& e : errors) {
    if (!e.Text().empty()) err << e.Text() << "\n";
    if (!e.Text2().empty()) err << e.Text2() << "\n";
  }
}

std::string Context::StatusWords(tsioStatus::Status st) {
  switch (st) {
    case tsioStatus::kDamaged:
      return "the company database is damaged (run 'bkreg verify'; restore it from a backup)";
    case tsioStatus::kLocked:
      return "another program holds the record";
    case tsioStatus::kBusy:
      return "another program kept the database busy";
    case tsioStatus::kDiskFull:
      return "the disk is full";
    case tsioStatus::kReadOnly:
      return "the company database cannot be written";
    case tsioStatus::kFileDoesNotExist:
      return "the company or one of its files does not exist (run 'bkreg init' first)";
    case tsioStatus::kLockUnavailable:
      return "the lock file cannot be used";
    case tsioStatus::kValueDoesNotFit:
      return "a value does not fit its field";
    case tsioStatus::kOutOfMemory:
      return "out of memory";
    case tsioStatus::kIOError:
      return "the database could not be read or written";
    default:
      return ccIOStatusStr(st);
  }
}

int Context::IoFailure(const std::string& what, tsioStatus::Status st) {
  // A status that may come of the company itself (no company, a file in
  // its place, a read-only folder, a server that cannot be reached) says so.
  const std::string problem = CompanyProblem(st);
  const std::string text = what + ": " + (problem.empty() ? StatusWords(st) : problem);
  if (st == tsioStatus::kLocked || st == tsioStatus::kBusy) return Busy(text);
  // An amount or a total that would not fit its field is the input's
  // fault, not the database's: a refusal naming the field.
  if (st == tsioStatus::kValueDoesNotFit) {
    const std::string field = tsioLastValueNotFitting();
    return Refuse(what + ": a value would be too large for its field" + (field.empty() ? "" : " (" + field + ")") +
                  "; amounts and totals hold at most 13 digits before the point; nothing was changed");
  }
  return Fail(text);
}

std::string Context::CompanyShown() const { return tsioAddressForLog(company); }

std::string Context::CompanyProblem(tsioStatus::Status st) const {
  // Statuses of the records and the engine's work say enough themselves.
  if (st == tsioStatus::kSuccess || st == tsioStatus::kDamaged || st == tsioStatus::kLocked ||
      st == tsioStatus::kBusy || st == tsioStatus::kDiskFull || st == tsioStatus::kOutOfMemory ||
      st == tsioStatus::kValueDoesNotFit || st == tsioStatus::kDuplicateKey || st == tsioStatus::kNotFound ||
      st == tsioStatus::kEndOfFile || st == tsioStatus::kNoCurrentRecord || st == tsioStatus::kMerged) {
    return "";
  }
  if (tsioIsServerAddress(company)) {
    if (st == tsioStatus::kFileDoesNotExist) return "the database holds no company (run 'bkreg init' first)";
    if (st == tsioStatus::kIOError) {
      return "the database server refused the connection or could not be reached (is it running, and are the "
             "address, user and password right?)";
    }
    return "";
  }
  struct stat info;
  if (stat(company.c_str(), &info) != 0) {
    if (errno == ENOENT) return "there is no company folder there (run 'bkreg init' first)";
    return std::string("the company folder cannot be reached (") + std::strerror(errno) + ")";
  }
  if (!S_ISDIR(info.st_mode)) return "that path is a file, not a company folder";
  const std::string db = company + "/" + tsioCompany::kDatabaseName;
  if (access(db.c_str(), F_OK) != 0) {
    if (access(company.c_str(), W_OK | X_OK) != 0) return "the folder holds no company and is read-only for this program";
    return "the folder holds no company (run 'bkreg init' first)";
  }
  if (access(company.c_str(), W_OK | X_OK) != 0 || access(db.c_str(), R_OK | W_OK) != 0) {
    return "the company folder is read-only for this program (nothing can be changed in it)";
  }
  return "";
}

void Context::ApplyWait() const { tsioSetBusyTimeout(static_cast<int>(wait_seconds * 1000.0)); }

Session* Context::Open(int* status) {
  if (session_) return session_.get();
  ApplyWait();
  TSGetApp()->SetCompanyFolder(company);
  auto s = std::make_unique<Session>();
  tsioFileManager& files = s->program_->FileManager();
  tsioDataFile* bkm = nullptr;
  tsioDataFile* bkt = nullptr;
  tsioStatus::Status st = files.Open(BKMFileSpec, &bkm);
  if (st == tsioStatus::kSuccess) st = files.Open(BKTFileSpec, &bkt);
  if (st != tsioStatus::kSuccess) {
    *status = IoFailure("cannot open the company in " + CompanyShown(), st);
    return nullptr;
  }
  s->bkm_ = bkm;
  s->bkt_ = bkt;
  session_ = std::move(s);
  return session_.get();
}

void Context::Close() { session_.reset(); }

std::chrono::steady_clock::time_point Context::WaitDeadline() const {
  return std::chrono::steady_clock::now() +
         std::chrono::milliseconds(static_cast<long long>(wait_seconds * 1000.0));
}

void Context::Pause(int round) {
  const int base = std::min(50, 5 * (round + 1));
  usleep(static_cast<useconds_t>((base + std::rand() % 10) * 1000));
}

bool Context::Interactive() const { return isatty(2) != 0; }

namespace {
// Whether the database still answers a question.
bool Answers(tsioBackendConnection& db) {
  tsioStatus::Status st;
  tsioBackendStatement* q = db.Prepare("SELECT 1", &st);
  if (!q) return false;
  const bool answered = q->Step() == tsioBackendStatement::kRow;
  q->Reset();
  return answered;
}
}  // namespace

int Context::Finish(int result) {
  // BKREG_ROUND_TRIPS=1: how many answers of a database server the command
  // waited for, on standard error (none for a folder company).
  if (const char* trips = std::getenv("BKREG_ROUND_TRIPS"); trips && *trips && std::strcmp(trips, "0") != 0) {
    const tsioRoundTripCount n = tsioServerRoundTrips();
    err << "round trips: " << n.round_trips << " (connections: " << n.connections << ")\n";
    // Those a slow moment added: answers read ahead or kept that had aged.
    if (n.aged) err << "round trips asked again for answers aged past 100 ms: " << n.aged << "\n";
  }
  // A refusal that came of a read the database failed (on a server whose
  // connection was lost in the middle of the command, what could not be
  // read looks "not there") is a failure, not the user's mistake.
  if (result == kRefused && session_ && session_->bkm_ && !Answers(session_->bkm_->Company().Db())) {
    err << "bkreg: the company's database stopped answering: the refusal above may come of it (run the command "
           "again)\n";
    result = kFailed;
  }
  out.flush();
  if (out_buf.Error() != 0) {
    err << "bkreg: could not write the output: " << std::strerror(out_buf.Error()) << "\n";
    return kFailed;
  }
  return result;
}

}  // namespace bkreg
