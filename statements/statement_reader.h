// Reading bank statements from files: OFX and QFX, and CSV with a column
// mapping. A reader either gives the whole statement or an error text saying
// what is wrong with the file (naming its line); it never gives part of a
// damaged file, so an import that starts from a reader's result never
// applies half a statement.
//
// Reading is bounded and linear: a file is read in pieces, once, and only
// the lines read are kept (never the file's text); a file that is not a
// regular file (a folder, a device such as /dev/zero, a pipe) or that holds
// more than kStatementFileLimit bytes or kStatementLineLimit lines is
// refused.
//
// Amounts and dates follow the rules of framework/types/input_rules.h:
// nothing is rounded, a separator the file or its mapping does not declare
// refuses the file, and a date must be a real day.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "framework/types/input_rules.h"
#include "records/bk_export.h"
#include "statements/statement.h"

// Which CSV column holds what: a column is named by its header text (the
// first row is then a header) or by its number, 1 for the first.
struct BK_EXPORT bkCsvMapping {
  std::string date, amount, debit, credit, id, check, reference, memo, account;
  tsDateLayout date_layout = tsDateLayout::kYmdDashes;
  char separator = ',';
  // How amounts are written: "decimal=," and "thousands=." (or ",", "space",
  // "'", "none") declare a style other than the default point without
  // separators. The ending balance follows it too.
  tsNumberStyle number_style;
  bkTextEncoding encoding = bkTextEncoding::kDetect;
  // The statement's date (yyyy-mm-dd) and ending balance (a CSV file has
  // none of its own).
  std::string statement_date, ending_balance;

  // Sets one mapping entry: date, amount, debit, credit, id, check,
  // reference, memo, account (columns); date_format, separator, decimal,
  // thousands, encoding (utf-8, windows-1252, latin-1, detect),
  // statement_date, ending_balance. False, with `error`, for an unknown
  // name or an unusable value (a column number from 1 to kCsvColumnLimit).
  bool Set(const std::string& name, const std::string& value, std::string* error);
  // Entries "name=value" separated by ";" or new lines (the form of a
  // mapping given on the command line); blank parts are skipped.
  bool ParseText(const std::string& text, std::string* error);
  // A mapping file: one "name = value" per line; "#" starts a comment line.
  bool ReadFile(const std::string& path, std::string* error);
};

// The most columns a CSV statement row may have.
inline constexpr int kCsvColumnLimit = 1000;

// A statement read in pieces, as a file is read: Feed each piece in order,
// then Finish. Pieces may be cut anywhere (inside a tag, a quoted field, a
// character): the result is the same wherever they are cut.
class BK_EXPORT bkStatementParser {
 public:
  // OFX 1.x (SGML, end tags of elements optional) or 2.x (XML), of one bank
  // or credit-card statement: see ofx_reader.cc for what is read and refused.
  static std::unique_ptr<bkStatementParser> Ofx();
  // CSV (RFC 4180 quoting) read with `mapping`.
  static std::unique_ptr<bkStatementParser> Csv(const bkCsvMapping& mapping);

  virtual ~bkStatementParser() = default;
  // False once the text is refused (Finish says why); later pieces are
  // ignored.
  virtual bool Feed(std::string_view piece) = 0;
  // The whole statement (bkFinishStatement done), or false with `error`.
  virtual bool Finish(bkStatement* out, std::string* error) = 0;
};

// Calls `piece` with the bytes of the file at `path` in order, in pieces of
// at most 64 KiB, until it answers false. False with `error` when the file
// cannot be read, is not a regular file or holds more than
// kStatementFileLimit bytes (also when it grows past them while read).
BK_EXPORT bool bkReadStatementFile(const std::string& path, const std::function<bool(std::string_view)>& piece,
                                   std::string* error);

// Reads an OFX or QFX statement file: the statement date is the end of its
// transaction list (DTEND), else the date of its ledger balance; the ending
// balance is the ledger balance (LEDGERBAL). Errors begin with the path.
BK_EXPORT bool bkReadOfxStatement(const std::string& path, bkStatement* out, std::string* error);

// Reads a CSV statement file with `mapping`: a date and either an amount
// (signed) or debit and credit columns (the amount is credit - debit) are
// required, and so are the statement date and ending balance. Amounts in
// parentheses are negative. Empty rows are skipped; a UTF-8 byte-order mark
// at the start is skipped. Errors begin with the path.
BK_EXPORT bool bkReadCsvStatement(const std::string& path, const bkCsvMapping& mapping, bkStatement* out,
                                  std::string* error);
