// tsioAttachments: the notes and file links of one record, as a set that can
// be read from one record and written to another (in this file or another).
#pragma once

#include <string>
#include <vector>

#include "framework/base/export.h"
#include "framework/io/cursor.h"

class TS_EXPORT tsioAttachments {
 public:
  // A set for records of `record_type` of `file`.
  tsioAttachments(const tsioDataFile& file, short record_type);

  // Reads the attachments of the cursor's current record.
  [[nodiscard]] tsioStatus::Status Fetch(const tsioCursor& cursor);
  [[nodiscard]] tsioStatus::Status Fetch(const std::string& key_text);
  // Queues, on a server, the read Fetch(key_text) asks (command_reads.h).
  void Prefetch(const std::string& key_text) const;
  // Writes this set as the attachments of the target cursor's current record
  // (replacing, or after the ones it has when `append`).
  [[nodiscard]] tsioStatus::Status Write(const tsioCursor& target, bool append = false);
  [[nodiscard]] tsioStatus::Status Write(const std::string& key_text, bool append = false);
  // Removes every attachment of a record.
  [[nodiscard]] tsioStatus::Status Remove(const std::string& key_text);

  void CopyFrom(const tsioAttachments& other) {
    notes_ = other.notes_;
    links_ = other.links_;
  }
  std::vector<std::string>& Notes() { return notes_; }
  std::vector<std::string>& FileLinks() { return links_; }
  bool Empty() const { return notes_.empty() && links_.empty(); }

 private:
  const tsioDataFile* file_;
  short record_type_;
  std::vector<std::string> notes_;
  std::vector<std::string> links_;
};
