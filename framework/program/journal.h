// The journal of a program: the printed record of what the program did,
// made of sections in the order they were added.
//
// Two kinds of section:
//   - buffer sections (ccBufferSection, named by a ccBufferID): text written
//     through a stream with column placement (ccJournalStream);
//   - old-style sections (ccOldCrapSection, named by a ccOldCrapID, defined
//     by a ccOldCrapSpec): lines printed into them by other modules through a
//     46-byte print block (ZpPrintDef, zp_print_line).
// Section ids number the sections of one journal from 0; the value 65535
// means "no section" (an id not yet set by AddSection).
//
// A journal is printed to a file (PrintToFile: "<company folder>/journal/
// <task command id>.txt" unless a path is given, replaced whole) or on a
// printer (PrintToPrinter, one job for the whole journal; a section may also
// be printed on its own with Print). Printed text: each section's title on
// its own line when it has one, then its lines.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/errors.h"
#include "framework/base/export.h"
#include "framework/program/printer.h"

// The id of a journal section; 65535 while unset.
class TS_EXPORT ccSectionID {
 public:
  static constexpr unsigned short kUnset = 65535;
  ccSectionID() = default;
  explicit ccSectionID(unsigned short value) : value_(value) {}
  unsigned short Value() const { return value_; }
  bool IsSet() const { return value_ != kUnset; }
  void Reset() { value_ = kUnset; }
  bool operator==(const ccSectionID& o) const { return value_ == o.value_; }

 private:
  unsigned short value_ = kUnset;
};
class TS_EXPORT ccBufferID : public ccSectionID {
 public:
  using ccSectionID::ccSectionID;
};
class TS_EXPORT ccOldCrapID : public ccSectionID {
 public:
  using ccSectionID::ccSectionID;
};

// Text with column placement. Columns are 1-based print positions. A field
// is placed by the settings made just before it (which then reset):
//   Column(c)  the field starts at position c (default: right after the
//              text already on the line);
//   Length(n)  the field fills n positions (default: the text's own length),
//              padded with spaces after the text, or before it after Right();
//   Right()    the text sits flush right within its length.
// A text longer than its length is written whole, never cut; a field never
// overwrites text already on the line: when the line already reaches past
// the field's column, the field starts one space after the line's end.
class TS_EXPORT ccJournalStream {
 public:
  ccJournalStream& Column(int position);
  ccJournalStream& Length(int length);
  ccJournalStream& Right();
  ccJournalStream& Left();
  ccJournalStream& PutField(std::string_view text);
  // Ends the current line (an empty line when nothing was put on it).
  ccJournalStream& WriteLine();

  // Finished lines; the line being built is not among them.
  const std::vector<std::string>& Lines() const { return lines_; }
  const std::string& CurrentLine() const { return line_; }
  void Clear();

 private:
  std::vector<std::string> lines_;
  std::string line_;
  int column_ = 0;
  int length_ = 0;
  bool right_ = false;
};

class TS_EXPORT ccJournalSection {
 public:
  virtual ~ccJournalSection();
  ccJournalSection(const ccJournalSection&) = delete;
  ccJournalSection& operator=(const ccJournalSection&) = delete;
  unsigned short ID() const { return id_; }
  const std::string& Title() const { return title_; }
  // The section's printed lines (title not included).
  virtual std::vector<std::string> PrintLines() const = 0;
  // Prints the section alone as one job on `printer`.
  [[nodiscard]] ccStatus<ccBoolStatus> Print(xp::PrinterEnum printer) const;

 protected:
  ccJournalSection(unsigned short id, std::string title) : id_(id), title_(std::move(title)) {}

 private:
  unsigned short id_;
  std::string title_;
};

class TS_EXPORT ccBufferSection : public ccJournalSection {
 public:
  ccBufferSection(unsigned short id, std::string title) : ccJournalSection(id, std::move(title)) {}
  ccJournalStream& Stream() { return stream_; }
  const ccJournalStream& Stream() const { return stream_; }
  // The finished lines, then the line being built when it holds anything.
  std::vector<std::string> PrintLines() const override;

 private:
  ccJournalStream stream_;
};

// Definition of an old-style section: its title and print width.
struct TS_EXPORT ccOldCrapSpec {
  std::string title;
  short width = 132;
};

// The 46-byte print block of an old-style section: word 0 is 1 (print into
// a journal section), word 1 the section id, bytes 8 to 15 the section's
// address; the rest is zero.
struct TS_EXPORT zp_print_def {
  static constexpr std::size_t kSize = 46;
  unsigned char bytes[kSize];
};

class TS_EXPORT ccOldCrapSection : public ccJournalSection {
 public:
  ccOldCrapSection(unsigned short id, const ccOldCrapSpec& spec);
  const ccOldCrapSpec& Spec() const { return spec_; }
  void AddLine(std::string_view text) { lines_.emplace_back(text); }
  std::vector<std::string> PrintLines() const override { return lines_; }
  // The print block naming this section (see zp_print_line).
  zp_print_def* ZpPrintDef() { return &print_def_; }

 private:
  ccOldCrapSpec spec_;
  std::vector<std::string> lines_;
  zp_print_def print_def_;
};

// Appends a line to the old-style section a print block names; a block that
// names none (word 0 not 1, or no address) is ignored.
TS_EXPORT void zp_print_line(const void* print_def, std::string_view text);

class TS_EXPORT ccJournal {
 public:
  static constexpr std::size_t kDefaultSectionLimit = 256;

  explicit ccJournal(unsigned short task_command_id = 0) : task_(task_command_id) {}
  ccJournal(const ccJournal&) = delete;
  ccJournal& operator=(const ccJournal&) = delete;

  // Adds a section and sets `id` to it. Failure (level 3 message, `id`
  // unchanged) when the journal already holds its limit of sections.
  [[nodiscard]] ccStatus<ccBoolStatus> AddSection(ccBufferID& id, std::string title = "");
  [[nodiscard]] ccStatus<ccBoolStatus> AddSection(const ccOldCrapSpec& spec, ccOldCrapID& id);
  // The section an id names; nullptr for an unset id or one naming a
  // section of the other kind.
  ccBufferSection* Section(ccBufferID id) const;
  ccOldCrapSection* Section(ccOldCrapID id) const;
  std::size_t SectionCount() const { return sections_.size(); }
  void SetSectionLimit(std::size_t limit) { limit_ = limit; }

  // Every section's title (when it has one) and lines, in section order.
  std::vector<std::string> Lines() const;
  std::string DefaultPath() const;
  [[nodiscard]] ccStatus<ccBoolStatus> PrintToFile(const std::string& path = "") const;
  [[nodiscard]] ccStatus<ccBoolStatus> PrintToPrinter(xp::PrinterEnum printer) const;

 private:
  unsigned short task_;
  std::size_t limit_ = kDefaultSectionLimit;
  std::vector<std::unique_ptr<ccJournalSection>> sections_;
};
