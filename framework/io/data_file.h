// tsioDataFile: an open handle on one data file of a company.
//
// The handle keeps, per record type, the file buffer: the current record's
// column values and whether the handle is positioned on a record. All
// cursors on one handle share it: fetches move it, Refresh copies it into a
// cursor, SetBuffer copies a cursor's record into it, a bookmark saves it and
// GoTo returns to it. Record locks belong to the handle (see lock_file.h).
//
// A handle is opened through the file manager (file_manager.h) or by name:
// "<company folder>/<code>.<instance>", which opens a second, independent
// handle on a file another handle has open.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/base/export.h"
#include "framework/io/company.h"
#include "framework/io/dictionary.h"
#include "framework/io/file_identity.h"
#include "framework/io/io_status.h"
#include "framework/io/lock_file.h"

// Per record type state of a handle (framework internal, shared by cursors).
struct tsioRecordState {
  const tsioRecordDef* def = nullptr;
  std::string table;                 // quoted SQL table name
  std::vector<tsCell> buffer;        // one cell per column of the record type
  std::vector<uint8_t> valid;        // which cells hold the current record's values
  bool positioned = false;           // the buffer stands for a record position
  uint64_t pos_seq = 0;              // moves with every change of position
  // The buffer as the last locked fetch read it (tsioBookmark restores such
  // a record without reading it again): pos_seq then (0: none), the lock's
  // HeldSince and the company's WritesTo(table) then.
  uint64_t locked_read_seq = 0;
  uint64_t locked_read_since = 0;
  uint64_t locked_read_writes = 0;
  // Fetch calls made through any cursor on this record type of the handle
  // (served from what was read ahead or not, found or not): what a walk
  // costs, counted without timing it.
  uint64_t fetches = 0;
  // Rows read ahead by the last sequential fetch, served while the position,
  // the connection's write generation and the fetch signature stay the same:
  // rows [ahead_next, ahead_rows) of `ahead`, `ahead_cols.size()` cells each
  // (cells past ahead_rows are spare room kept for the next batch).
  std::vector<tsCell> ahead;
  size_t ahead_rows = 0;
  size_t ahead_next = 0;
  bool ahead_end = false;            // no row follows the batch's last
  const void* ahead_owner = nullptr;  // the cursor that read them
  std::string ahead_shape;           // the fetch kind and filter columns
  std::vector<tsCell> ahead_values;  // the filter values
  uint64_t ahead_gen = 0;
  uint64_t ahead_lock_gen = 0;       // tsioLockFile::Generation() when read
  uint64_t ahead_pos_seq = 0;
  int64_t ahead_time_us = 0;
  int streak = 0;                    // sequential fetches in a row
  std::vector<int> ahead_cols;       // columns the rows read ahead carry

  void DropReadAhead() {
    ahead_rows = 0;
    ahead_next = 0;
    ahead_end = false;
    ahead_owner = nullptr;
  }
};

class TS_EXPORT tsioDataFile : public tsioUnitListener {
 public:
  tsioDataFile() = default;
  // Opens by name ("<folder>/<code>.<instance>"); modes are accepted for
  // callers and not otherwise used (every handle reads and writes, shared).
  explicit tsioDataFile(const std::string& name, int open_mode = 0, int share_mode = 0);
  ~tsioDataFile() override;
  tsioDataFile(const tsioDataFile&) = delete;
  tsioDataFile& operator=(const tsioDataFile&) = delete;

  // Opens `spec` in an opened company; kFileDoesNotExist when the company
  // has no such data file. Allocates the handle's file number.
  [[nodiscard]] tsioStatus::Status Open(std::shared_ptr<tsioCompany> company, const tsioFileSpec& spec);
  [[nodiscard]] tsioStatus::Status OpenByName(const std::string& name);
  void Close();

  bool IsOpen() const { return company_ != nullptr; }
  // Status of the last Open (kSuccess when open).
  tsioStatus::Status OpenStatus() const { return open_status_; }
  short FileNum() const { return file_number_; }
  const tsioFileSpec& Spec() const { return spec_; }
  const tsioFileDef* Def() const { return def_; }
  std::string FileName() const;
  tsioFileInfo Info() const;
  tsioCompany& Company() const { return *company_; }

  // The shared state of one record type; nullptr when the file's definition
  // has no such record type.
  tsioRecordState* State(short record_type) const;
  tsioLockFile& Locks() const { return locks_; }
  // Drops every buffer read ahead, so the next fetch reads the file afresh.
  void ClearFileBuffers() const;

  // Header locks taken for an update inside a unit of work are kept until
  // the unit ends (so no other program reads a value this unit may yet roll
  // back); see header.h.
  void HoldUntilUnitEnd(uint64_t lock_id) const { unit_locks_.push_back(lock_id); }
  bool HeldUntilUnitEnd(uint64_t lock_id) const {
    for (uint64_t id : unit_locks_) {
      if (id == lock_id) return true;
    }
    return false;
  }
  void OnUnitEnd(bool committed) override;

  // The open handle with that file number, nullptr when none.
  static tsioDataFile* ByNumber(short file_number);

 private:
  std::shared_ptr<tsioCompany> company_;
  tsioFileSpec spec_;
  const tsioFileDef* def_ = nullptr;
  short file_number_ = 0;
  tsioStatus::Status open_status_ = tsioStatus::kFileNotOpen;
  mutable std::vector<std::unique_ptr<tsioRecordState>> states_;
  mutable tsioLockFile locks_;
  mutable std::vector<uint64_t> unit_locks_;
};

// A non-owning reference to an open data file, copyable; converts to the file.
class TS_EXPORT tsioDataFileReference {
 public:
  tsioDataFileReference() = default;
  tsioDataFileReference(const tsioDataFile& file) : file_(&file) {}  // NOLINT: implicit by design
  const tsioDataFile& File() const { return *file_; }
  operator const tsioDataFile&() const { return *file_; }  // NOLINT
  bool IsValid() const { return file_ != nullptr && file_->IsOpen(); }
  short FileNum() const { return file_ ? file_->FileNum() : 0; }

 private:
  const tsioDataFile* file_ = nullptr;
};
