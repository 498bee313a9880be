// Tables printed by bkreg: aligned plain text for people, or JSON (an array
// of objects keyed by column name) or CSV (RFC 4180 quoting) for programs.
//
// Stored text is shown safely whatever it holds:
// - text: columns align by characters (UTF-8), not bytes; control
//   characters (line breaks, tabs, terminal escapes, C1 controls) and bytes
//   that are not UTF-8 are shown as "?", so a cell is one line and cannot
//   drive the terminal.
// - CSV: a text cell beginning with "=", "+", "-", "@", a tab or a carriage
//   return is written with an apostrophe before it ("'=SUM(A1)"), which
//   spreadsheets show as text instead of running it as a formula. Numeric
//   columns (amounts) are written as they are, so "-25.50" stays a number.
// - JSON: always valid; bytes that are not UTF-8 become U+FFFD.
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

  // Aligned text: column `c` is at least `width` characters wide (its heading's
  // width at the least). A cell wider than its column is written whole and
  // pushes the rest of its row right. Other formats ignore widths.
  void SetWidth(size_t c, size_t width);
  // A row of cells, one per column (missing cells are empty). The heading
  // goes out before the first row (or at End when there is none).
  void Row(const std::vector<std::string>& cells);
  // Ends the table (the closing bracket of JSON) and flushes.
  void End();
  // False once a write to the stream failed (a full disk, a closed pipe).
  bool Good() const;

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

// What a command did or made: in text the sentence `prose` (its own line
// added), in JSON and CSV `table`, so every command answers a program in the
// format it asked for.
void PrintDone(std::ostream& out, Format format, const std::string& prose, const Table& table);

// JSON string literal of `text` (quotes, backslashes and control characters
// escaped; bytes that are not UTF-8 replaced by U+FFFD).
std::string JsonQuote(const std::string& text);
// `text` made safe for a terminal: control characters and bytes that are not
// UTF-8 become "?".
std::string TextCell(const std::string& text);
// The width of TextCell(text) in characters.
size_t TextWidth(const std::string& text);
// A CSV cell: quoted when it holds a comma, quote or line break; a text cell
// (`numeric` false) that a spreadsheet would run as a formula gets "'" first.
std::string CsvCell(const std::string& text, bool numeric);

}  // namespace bkreg
