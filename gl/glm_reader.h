// Reading the general ledger's master data (GLM, framework/dictionary/
// gl_files.h) inside the general-ledger module.
//
// A reader opens a handle of its own on the master file, so the caller's
// handle (and the position of its cursors) is never moved.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/dictionary/gl_files.h"
#include "framework/io/data_file.h"

namespace gl {

struct Period {
  short year = 0;
  short period = 0;
  tsDate start;
  tsDate end;
  short status = 0;
};

class GlmReader {
 public:
  // Opens the master file the program has open as file number `glm_file`,
  // or, for 0, the master file of the application's company. False when
  // there is no such file.
  bool Open(short glm_file);
  // Opens the master file of which `file` is a handle.
  bool Open(const tsioDataFile& file);
  bool IsOpen() const { return file_ && file_->IsOpen(); }

  bool FindAccount(const std::string& account, tsGLAccountRec* out = nullptr) const;
  bool FindBase(const std::string& base, tsGLBaseAccountRec* out = nullptr) const;
  bool FindPrefix(const std::string& prefix) const;
  // Whether a match of the two prefixes is recorded (in either order).
  bool PrefixesMatch(const std::string& a, const std::string& b) const;
  // Whether any account has `value` as the unformatted value of `section`.
  bool AnyAccountWithSection(short section, const std::string& value) const;
  // The periods of a fiscal entity in date order (empty when it has none,
  // and when they could not all be read: see Failure).
  std::vector<Period> Periods(const std::string& entity) const;
  // Header 1; false when it was never written or cannot be read.
  bool ReadHeader(short* current_year, bool* active_only) const;
  // The status of the last read of Periods or ReadHeader since Open that
  // failed (an I/O failure, a busy or timed-out statement, a lost
  // connection), kSuccess when none did. A failed read is never an answer: a calendar cut short
  // would put dates outside every period.
  tsioStatus::Status Failure() const { return failure_; }

 private:
  bool OpenByName(const std::string& name);
  // Records `st` as the failure unless it is a read's normal answer; true
  // when it was a failure.
  bool Note(tsioStatus::Status st) const;
  std::unique_ptr<tsioDataFile> file_;
  mutable tsioStatus::Status failure_ = tsioStatus::kSuccess;
};

}  // namespace gl
