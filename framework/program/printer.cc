// The spool-folder printer (see printer.h).
#include "framework/program/printer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "framework/base/application.h"
#include "framework/base/private_file.h"

namespace xp {

std::string PrinterName(PrinterEnum printer) {
  switch (printer) {
    case NoPrinter: return "none";
    case DefaultPrinter: return "default";
    case ReportPrinter: return "report";
    case CheckPrinter: return "check";
  }
  return "printer" + std::to_string(static_cast<int>(printer));
}

namespace {

ccStatus<ccBoolStatus> Failed(const std::string& what) {
  return ccStatus<ccBoolStatus>(kBoolFailure, ccError(0, ccError::kError, what));
}

bool WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t w = write(fd, text.data() + done, text.size() - done);
    if (w <= 0) return false;
    done += static_cast<size_t>(w);
  }
  return true;
}

// Number of entries in the folder: where the search for a free job number starts.
long EntryCount(const std::string& dir) {
  long n = 0;
  if (DIR* d = opendir(dir.c_str())) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

}  // namespace

ccStatus<ccBoolStatus> Spool(PrinterEnum printer, std::string_view title, const std::vector<std::string>& lines,
                             std::string* job_path) {
  if (job_path) job_path->clear();
  if (printer == NoPrinter) return ccStatus<ccBoolStatus>(kBoolSuccess);
  const std::string folder = TSGetApp()->LocalFolder();
  if (folder.empty()) return Failed("Cannot print: no company folder is set.");
  const std::string dir = folder + "/spool";
  if (!tsMakePrivateFolder(dir)) {
    return Failed("Cannot print: cannot create " + dir + ": " + std::strerror(errno));
  }
  std::string text(title);
  text += '\n';
  for (const auto& l : lines) text += l + '\n';

  const std::string tmp = dir + "/.job." + std::to_string(getpid()) + "." + PrinterName(printer);
  int fd = tsOpenPrivateFile(tmp, O_WRONLY | O_CREAT | O_TRUNC);
  if (fd < 0) return Failed("Cannot print: cannot write " + tmp + ": " + std::strerror(errno));
  bool ok = WriteAll(fd, text) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok) {
    unlink(tmp.c_str());
    return Failed("Cannot print: writing the job to " + dir + " failed.");
  }
  for (long n = EntryCount(dir);; ++n) {
    const std::string job = dir + "/" + PrinterName(printer) + "-" + std::to_string(n) + ".txt";
    if (link(tmp.c_str(), job.c_str()) == 0) {
      unlink(tmp.c_str());
      if (job_path) *job_path = job;
      return ccStatus<ccBoolStatus>(kBoolSuccess);
    }
    if (errno != EEXIST) {
      unlink(tmp.c_str());
      return Failed("Cannot print: cannot file the job in " + dir + ": " + std::strerror(errno));
    }
  }
}

}  // namespace xp
