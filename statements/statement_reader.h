// Reading bank statements from files: OFX and QFX (through libofx) and CSV
// with a column mapping. A reader either gives the whole statement or an
// error text saying what is wrong with the file; it never gives part of a
// damaged file, so an import that starts from a reader's result never
// applies half a statement.
#pragma once

#include <string>

#include "records/bk_export.h"
#include "statements/statement.h"

// Reads an OFX or QFX statement (SGML 1.x or XML 2.x) of one bank account.
// The statement date is the end of its transaction list (DTEND), else the
// date of its ledger balance; the ending balance is the ledger balance
// (LEDGERBAL). Refused, with `error` saying why: a file that cannot be read,
// is not OFX, is cut short (no closing OFX tag) or that libofx cannot parse
// to the end; a statement without a ledger balance or a date; more than one
// bank statement; a line without a date or amount. Amounts are rounded to
// cents.
BK_EXPORT bool bkReadOfxStatement(const std::string& path, bkStatement* out, std::string* error);

// Which CSV column holds what: a column is named by its header text (the
// first row is then a header) or by its number, 1 for the first.
struct BK_EXPORT bkCsvMapping {
  std::string date, amount, debit, credit, id, check, reference, memo;
  // Date layout: "yyyy-mm-dd" (default), "yyyymmdd", "mm/dd/yyyy",
  // "dd/mm/yyyy", "dd.mm.yyyy".
  std::string date_format = "yyyy-mm-dd";
  char separator = ',';
  // The statement's date and ending balance (a CSV file has none of its own).
  std::string statement_date, ending_balance;

  // Sets one mapping entry: date, amount, debit, credit, id, check,
  // reference, memo, date_format, separator, statement_date, ending_balance.
  // False, with `error`, for an unknown name or an unusable value.
  bool Set(const std::string& name, const std::string& value, std::string* error);
  // Entries "name=value" separated by ";" or new lines (the form of a
  // mapping given on the command line); blank parts are skipped.
  bool ParseText(const std::string& text, std::string* error);
  // A mapping file: one "name = value" per line; "#" starts a comment line.
  bool ReadFile(const std::string& path, std::string* error);
};

// Reads a CSV statement (fields may be quoted with '"', quotes doubled
// inside) with `mapping`: a date and either an amount (signed) or debit and
// credit columns (the amount is credit - debit) are required, and so are the
// statement date and ending balance. Amounts may carry thousands separators
// (",") or parentheses for negative values. A row that cannot be read fails
// the whole file with its row number; empty rows are skipped.
BK_EXPORT bool bkReadCsvStatement(const std::string& path, const bkCsvMapping& mapping, bkStatement* out,
                                  std::string* error);
