// Macro options kept per task in the company folder (see macro_options.h).
#include "framework/program/macro_options.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>

#include "framework/base/application.h"
#include "framework/base/log.h"
#include "framework/base/private_file.h"
#include "framework/io/io_status.h"

namespace {

struct Contents {
  std::map<std::pair<short, short>, std::vector<unsigned char>> options;
  std::vector<xm_file_entry> files;
};

std::string ToHex(const std::vector<unsigned char>& bytes) {
  if (bytes.empty()) return "-";
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (unsigned char b : bytes) {
    s.push_back(digits[b >> 4]);
    s.push_back(digits[b & 15]);
  }
  return s;
}

bool FromHex(const std::string& text, std::vector<unsigned char>& out) {
  out.clear();
  if (text == "-") return true;
  if (text.size() % 2) return false;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = nibble(text[i]), lo = nibble(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<unsigned char>(hi * 16 + lo));
  }
  return true;
}

// Reads the file; a missing file is empty contents.
bool Load(const std::string& path, Contents& c) {
  std::ifstream in(path);
  if (!in) return errno == ENOENT || access(path.c_str(), F_OK) != 0;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string kind;
    ls >> kind;
    if (kind == "option") {
      short id = 0, sub = 0;
      std::string hex;
      std::vector<unsigned char> bytes;
      if (ls >> id >> sub >> hex && FromHex(hex, bytes)) c.options[{id, sub}] = std::move(bytes);
    } else if (kind == "file") {
      xm_file_entry e;
      if (ls >> e.file_id >> e.file_number) c.files.push_back(std::move(e));
    }
  }
  return !in.bad();
}

bool Save(const std::string& path, const Contents& c) {
  std::ostringstream out;
  for (const auto& [key, bytes] : c.options) {
    out << "option " << key.first << ' ' << key.second << ' ' << ToHex(bytes) << '\n';
  }
  for (const auto& f : c.files) out << "file " << f.file_id << ' ' << f.file_number << '\n';
  const std::string text = out.str();
  const std::string tmp = path + ".tmp." + std::to_string(getpid());
  int fd = tsOpenPrivateFile(tmp, O_WRONLY | O_CREAT | O_TRUNC);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < text.size();) {
    ssize_t w = write(fd, text.data() + done, text.size() - done);
    if (w <= 0) ok = false; else done += static_cast<size_t>(w);
  }
  if (ok && fsync(fd) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  if (ok && rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) unlink(tmp.c_str());
  return ok;
}

// Holds the task's write lock for the life of the object.
class WriteLock {
 public:
  explicit WriteLock(const std::string& path) {
    fd_ = tsOpenPrivateFile(path + ".lock", O_RDWR | O_CREAT);
    if (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~WriteLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Runs `change` on the task's contents under the write lock and saves them.
template <typename F>
short Modify(unsigned short task, F change) {
  const std::string path = xm_options_path(task);
  if (path.empty()) return tsioStatus::kFileDoesNotExist;
  const std::string dir = path.substr(0, path.rfind('/'));
  if (!tsMakePrivateFolder(dir)) {
    x_log(0, task, "macro options: cannot create " + dir + ": " + std::strerror(errno));
    return tsioStatus::kIOError;
  }
  WriteLock lock(path);
  Contents c;
  if (!lock.Held() || !Load(path, c)) {
    x_log(0, task, "macro options: cannot read " + path);
    return tsioStatus::kIOError;
  }
  change(c);
  if (!Save(path, c)) {
    x_log(0, task, "macro options: cannot write " + path);
    return tsioStatus::kIOError;
  }
  return tsioStatus::kSuccess;
}

}  // namespace

std::string xm_options_path(unsigned short task_command_id) {
  const std::string folder = TSGetApp()->LocalFolder();
  if (folder.empty()) return "";
  return folder + "/macros/" + std::to_string(task_command_id) + ".opt";
}

short xm_get_options(unsigned short task_command_id, short id, short sub_id, std::vector<unsigned char>& data) {
  const std::string path = xm_options_path(task_command_id);
  if (path.empty()) return tsioStatus::kFileDoesNotExist;
  Contents c;
  if (!Load(path, c)) return tsioStatus::kIOError;
  auto it = c.options.find({id, sub_id});
  if (it == c.options.end()) return tsioStatus::kNotFound;
  data = it->second;
  return tsioStatus::kSuccess;
}

short xm_get_options(unsigned short task_command_id, short id, short sub_id, void* data, std::size_t size) {
  std::vector<unsigned char> bytes;
  short st = xm_get_options(task_command_id, id, sub_id, bytes);
  if (st != tsioStatus::kSuccess) return st;
  if (bytes.size() != size) return tsioStatus::kInvalidOperation;
  if (size) std::memcpy(data, bytes.data(), size);
  return tsioStatus::kSuccess;
}

short xm_put_options(unsigned short task_command_id, short id, short sub_id, const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::vector<unsigned char> bytes(p, p + (p ? size : 0));
  return Modify(task_command_id, [&](Contents& c) { c.options[{id, sub_id}] = bytes; });
}

short xm_add_file(std::string_view file_id, short file_number, unsigned short task_command_id) {
  std::string id(file_id);
  if (id.empty() || id.find_first_of(" \t\n") != std::string::npos) return tsioStatus::kInvalidOperation;
  return Modify(task_command_id, [&](Contents& c) {
    for (auto& f : c.files) {
      if (f.file_id == id) {
        f.file_number = file_number;
        return;
      }
    }
    c.files.push_back(xm_file_entry{id, file_number});
  });
}

std::vector<xm_file_entry> xm_files(unsigned short task_command_id) {
  Contents c;
  const std::string path = xm_options_path(task_command_id);
  if (!path.empty()) (void)Load(path, c);
  return c.files;
}
