// Reading a statement file in bounded pieces (bkReadStatementFile).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "statements/statement_reader.h"

namespace {

// Closes the descriptor it holds.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string Megabytes(uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

}  // namespace

bool bkReadStatementFile(const std::string& path, const std::function<bool(std::string_view)>& piece,
                         std::string* error) {
  // Opened without waiting (a pipe with no writer would block an ordinary
  // open), then refused unless it is a regular file.
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    *error = "cannot be read: " + std::string(std::strerror(errno));
    return false;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    *error = "cannot be read: " + std::string(std::strerror(errno));
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = S_ISDIR(st.st_mode) ? "is a folder, not a statement file"
                                 : "is not a regular file (a device or a pipe); a statement is read from a file";
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > kStatementFileLimit) {
    *error = "is larger than a statement may be (" + Megabytes(kStatementFileLimit) + ")";
    return false;
  }
  std::vector<char> buf(64 * 1024);
  uint64_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = "cannot be read: " + std::string(std::strerror(errno));
      return false;
    }
    if (n == 0) return true;
    total += static_cast<uint64_t>(n);
    if (total > kStatementFileLimit) {
      *error = "grew larger than a statement may be (" + Megabytes(kStatementFileLimit) + ") while it was read";
      return false;
    }
    if (!piece(std::string_view(buf.data(), static_cast<size_t>(n)))) return true;
  }
}
