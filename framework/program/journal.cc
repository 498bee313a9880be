// Journal sections, the column-placement stream and journal printing (see
// journal.h).
#include "framework/program/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "framework/base/application.h"
#include "framework/base/private_file.h"

// ---- stream ----

ccJournalStream& ccJournalStream::Column(int position) {
  column_ = std::max(position, 1);
  return *this;
}

ccJournalStream& ccJournalStream::Length(int length) {
  length_ = std::max(length, 0);
  return *this;
}

ccJournalStream& ccJournalStream::Right() {
  right_ = true;
  return *this;
}

ccJournalStream& ccJournalStream::Left() {
  right_ = false;
  return *this;
}

ccJournalStream& ccJournalStream::PutField(std::string_view text) {
  std::string field(text);
  const size_t width = static_cast<size_t>(length_);
  if (field.size() < width) {
    const std::string pad(width - field.size(), ' ');
    field = right_ ? pad + field : field + pad;
  }
  size_t start = column_ > 0 ? static_cast<size_t>(column_ - 1) : line_.size();
  if (line_.size() > start) start = line_.size() + 1;
  line_.resize(start, ' ');
  line_ += field;
  column_ = 0;
  length_ = 0;
  right_ = false;
  return *this;
}

ccJournalStream& ccJournalStream::WriteLine() {
  lines_.push_back(std::move(line_));
  line_.clear();
  column_ = 0;
  length_ = 0;
  right_ = false;
  return *this;
}

void ccJournalStream::Clear() {
  lines_.clear();
  line_.clear();
  column_ = 0;
  length_ = 0;
  right_ = false;
}

// ---- sections ----

ccJournalSection::~ccJournalSection() = default;

ccStatus<ccBoolStatus> ccJournalSection::Print(xp::PrinterEnum printer) const {
  return xp::Spool(printer, title_, PrintLines());
}

std::vector<std::string> ccBufferSection::PrintLines() const {
  std::vector<std::string> v = stream_.Lines();
  if (!stream_.CurrentLine().empty()) v.push_back(stream_.CurrentLine());
  return v;
}

ccOldCrapSection::ccOldCrapSection(unsigned short id, const ccOldCrapSpec& spec)
    : ccJournalSection(id, spec.title), spec_(spec), print_def_{} {
  const uint16_t kind = 1;
  std::memcpy(print_def_.bytes, &kind, 2);
  std::memcpy(print_def_.bytes + 2, &id, 2);
  const ccOldCrapSection* self = this;
  std::memcpy(print_def_.bytes + 8, &self, sizeof self);
}

void zp_print_line(const void* print_def, std::string_view text) {
  if (!print_def) return;
  const auto* b = static_cast<const unsigned char*>(print_def);
  uint16_t kind = 0;
  std::memcpy(&kind, b, 2);
  ccOldCrapSection* section = nullptr;
  std::memcpy(&section, b + 8, sizeof section);
  if (kind != 1 || !section) return;
  section->AddLine(text);
}

// ---- journal ----

namespace {
ccStatus<ccBoolStatus> Full(size_t limit) {
  return ccStatus<ccBoolStatus>(
      kBoolFailure, ccError(0, ccError::kError,
                            "The journal already holds " + std::to_string(limit) + " sections; no section added."));
}
}  // namespace

ccStatus<ccBoolStatus> ccJournal::AddSection(ccBufferID& id, std::string title) {
  if (sections_.size() >= std::min<size_t>(limit_, ccSectionID::kUnset)) return Full(limit_);
  const auto n = static_cast<unsigned short>(sections_.size());
  sections_.push_back(std::make_unique<ccBufferSection>(n, std::move(title)));
  id = ccBufferID(n);
  return ccStatus<ccBoolStatus>(kBoolSuccess);
}

ccStatus<ccBoolStatus> ccJournal::AddSection(const ccOldCrapSpec& spec, ccOldCrapID& id) {
  if (sections_.size() >= std::min<size_t>(limit_, ccSectionID::kUnset)) return Full(limit_);
  const auto n = static_cast<unsigned short>(sections_.size());
  sections_.push_back(std::make_unique<ccOldCrapSection>(n, spec));
  id = ccOldCrapID(n);
  return ccStatus<ccBoolStatus>(kBoolSuccess);
}

ccBufferSection* ccJournal::Section(ccBufferID id) const {
  if (!id.IsSet() || id.Value() >= sections_.size()) return nullptr;
  return dynamic_cast<ccBufferSection*>(sections_[id.Value()].get());
}

ccOldCrapSection* ccJournal::Section(ccOldCrapID id) const {
  if (!id.IsSet() || id.Value() >= sections_.size()) return nullptr;
  return dynamic_cast<ccOldCrapSection*>(sections_[id.Value()].get());
}

std::vector<std::string> ccJournal::Lines() const {
  std::vector<std::string> v;
  for (const auto& s : sections_) {
    if (!s->Title().empty()) v.push_back(s->Title());
    for (auto& l : s->PrintLines()) v.push_back(std::move(l));
  }
  return v;
}

std::string ccJournal::DefaultPath() const {
  const std::string folder = TSGetApp()->LocalFolder();
  if (folder.empty()) return "";
  return folder + "/journal/" + std::to_string(task_) + ".txt";
}

ccStatus<ccBoolStatus> ccJournal::PrintToFile(const std::string& path) const {
  const std::string target = path.empty() ? DefaultPath() : path;
  auto failed = [&](const std::string& why) {
    return ccStatus<ccBoolStatus>(kBoolFailure, ccError(0, ccError::kError, "Cannot write the journal: " + why));
  };
  if (target.empty()) return failed("no company folder is set.");
  if (path.empty()) {
    const std::string dir = target.substr(0, target.rfind('/'));
    if (!tsMakePrivateFolder(dir)) return failed(dir + ": " + std::strerror(errno));
  }
  std::string text;
  for (const auto& l : Lines()) text += l + '\n';
  struct stat existing {};
  if (stat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
    // A device or a pipe ("/dev/null", a terminal, a FIFO another program
    // reads) is written into, never replaced by a file of the same name.
    if (S_ISDIR(existing.st_mode)) return failed(target + ": " + std::strerror(EISDIR));
    int out = open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (out < 0) return failed(target + ": " + std::strerror(errno));
    bool ok = true;
    for (size_t done = 0; ok && done < text.size();) {
      ssize_t w = write(out, text.data() + done, text.size() - done);
      if (w <= 0) ok = false; else done += static_cast<size_t>(w);
    }
    ok = close(out) == 0 && ok;
    return ok ? ccStatus<ccBoolStatus>(kBoolSuccess) : failed(target + ": " + std::strerror(errno));
  }
  const std::string tmp = target + ".tmp." + std::to_string(getpid());
  int fd = tsOpenPrivateFile(tmp, O_WRONLY | O_CREAT | O_TRUNC);
  if (fd < 0) return failed(tmp + ": " + std::strerror(errno));
  bool ok = true;
  for (size_t done = 0; ok && done < text.size();) {
    ssize_t w = write(fd, text.data() + done, text.size() - done);
    if (w <= 0) ok = false; else done += static_cast<size_t>(w);
  }
  ok = close(fd) == 0 && ok;
  if (!ok || rename(tmp.c_str(), target.c_str()) != 0) {
    unlink(tmp.c_str());
    return failed(target + ": " + std::strerror(errno));
  }
  return ccStatus<ccBoolStatus>(kBoolSuccess);
}

ccStatus<ccBoolStatus> ccJournal::PrintToPrinter(xp::PrinterEnum printer) const {
  return xp::Spool(printer, "Journal of task " + std::to_string(task_), Lines());
}
