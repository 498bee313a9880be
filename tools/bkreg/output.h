// Tables printed by bkreg: aligned plain text for people, or JSON (an array
// of objects keyed by column name) or CSV (RFC 4180 quoting) for programs.
//
// TableWriter writes rows as they come, holding none of them, so a listing
// of any length runs in bounded memory; aligned text needs the columns'
// widths before the first row (SetWidth). Table holds its rows and measures
// them (for short tables).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace bkreg {

enum class Format { kText, kJson, kCsv };

// Parses "text", "json" or "csv"; false for anything else.
bool ParseFormat(const std::string& text, Format* out);

class TableWriter {
 public:
  TableWriter(std::ostream& out, Format format, std::vector<std::string> columns, std::vector<bool> numeric);
  // Flushes what is buffered; End must have been called for complete output.
  ~TableWriter();
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  // Aligned text: column `c` is at least `width` bytes wide (its heading's
  // width at the least). A cell wider than its column is written whole and
  // pushes the rest of its row right. Other formats ignore widths.
  void SetWidth(size_t c, size_t width);
  // A row of cells, one per column (missing cells are empty). The heading
  // goes out before the first row (or at End when there is none).
  void Row(const std::vector<std::string>& cells);
  // Ends the table (the closing bracket of JSON) and flushes.
  void End();

 private:
  void Begin();
  void Flush();
  bool IsNumeric(size_t c) const { return c < numeric_.size() && numeric_[c]; }
  void TextLine(const std::vector<std::string>& cells);

  std::ostream& out_;
  Format format_;
  std::vector<std::string> columns_;
  std::vector<bool> numeric_;
  std::vector<size_t> width_;
  std::string buf_;
  bool begun_ = false;
  bool ended_ = false;
  size_t rows_ = 0;
};

struct Table {
  std::vector<std::string> columns;
  std::vector<bool> numeric;  // right-aligned in text, unquoted in JSON
  std::vector<std::vector<std::string>> rows;

  void Print(std::ostream& out, Format format) const;
};

// JSON string literal of `text` (quotes, backslashes and control characters escaped).
std::string JsonQuote(const std::string& text);

}  // namespace bkreg
