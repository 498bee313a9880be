// The framework log.
#include "framework/base/log.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <optional>

#include <atomic>

#include "framework/base/application.h"
#include "framework/base/private_file.h"

namespace {

std::atomic<bool> g_stderr_fallback{true};

constexpr const char* kLogFileName = "bkreg.log";

std::string FormatLine(int level, std::optional<unsigned short> task, std::string_view text) {
  char stamp[32] = "0000-00-00 00:00:00";
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (localtime_r(&now, &tm) != nullptr) std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);

  std::string line = stamp;
  line += " pid=" + std::to_string(static_cast<long>(getpid()));
  line += " level=" + std::to_string(level);
  if (task) line += " task=" + std::to_string(*task);
  line += ' ';
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
  return line;
}

// One write of the whole line; a partial write is not continued, because a
// second write could land after another process's line.
bool WriteOnce(int fd, const std::string& line) {
  ssize_t n;
  do {
    n = ::write(fd, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(line.size());
}

void Append(int level, std::optional<unsigned short> task, std::string_view text) noexcept {
  try {
    const std::string line = FormatLine(level, task, text);
    const std::string path = x_log_path();
    if (!path.empty()) {
      int fd = tsOpenPrivateFile(path, O_WRONLY | O_APPEND | O_CREAT);
      if (fd >= 0) {
        bool ok = WriteOnce(fd, line);
        ::close(fd);
        if (ok) return;
      }
    }
    // No company folder, or the log file cannot be written: standard error,
    // unless the program reports failures in its own words.
    if (g_stderr_fallback.load(std::memory_order_relaxed)) (void)WriteOnce(STDERR_FILENO, line);
  } catch (...) {
    // Out of memory while formatting: the line is lost, the caller goes on.
  }
}

}  // namespace

void x_log(int level, std::string_view text) noexcept { Append(level, std::nullopt, text); }

void x_log_set_stderr_fallback(bool on) noexcept { g_stderr_fallback.store(on, std::memory_order_relaxed); }

void x_log(int level, unsigned short task_command_id, std::string_view text) noexcept {
  Append(level, task_command_id, text);
}

std::string x_log_path() {
  std::string folder = TSGetApp()->LocalFolder();
  if (folder.empty()) return folder;
  if (folder.back() != '/') folder += '/';
  return folder + kLogFileName;
}
