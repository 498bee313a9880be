// The lines `bkreg import` entered from CSV files, remembered per bank
// account so that importing a file again, or again after the program was
// stopped (kill -9 at any point), enters each line exactly once.
//
// A line is named by its content and its occurrence: "import#" followed by
// 16 hex digits of a hash of the line's parsed values (date, type, check
// number or deposit id, amount in cents, description) and ".N", N the number
// of lines with that same content before it in the file (from 0). So:
//   - the same file imported again enters nothing; a file with lines
//     appended enters only the new ones; two identical lines of one file
//     are two transactions;
//   - an identical line in a second file (the same values, the same
//     occurrence) is the same line: it is skipped and counted as imported
//     before. Enter such a transaction with `bkreg enter`.
// A remembered line stays remembered when its transaction is removed later,
// so an import never brings back what was removed on purpose.
//
// The names live in the statement file's lines (BKS record type 1, state
// "entered", with the transaction's run and sequence and the line's date,
// amount and check number), in a name space of their own ("import#..."),
// beside the ids of bank statement lines. A remembered line is written in
// the unit of work that enters its transaction.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "framework/io/io_status.h"
#include "tools/bkreg/entry.h"

class StatementLine;
class TransactionData;
class bkProgram;
class tclRollbackStack;
class tsioDataFile;

namespace bkreg {

class ImportedLines {
 public:
  ImportedLines();
  ~ImportedLines();
  ImportedLines(const ImportedLines&) = delete;
  ImportedLines& operator=(const ImportedLines&) = delete;

  // Opens the statement file (created on first use) for `bank`; kDone, or
  // the exit status after a message.
  int Open(Context& ctx, bkProgram& program, const std::string& bank);

  // Names the next parsed line `e` of the file (its occurrence counted) and
  // tells whether it was imported before: kSuccess (imported: skip it),
  // kNotFound (new), or a failure status.
  tsioStatus::Status Next(const Entry& e);
  // The name Next gave the last line.
  const std::string& LastId() const { return id_; }

  // Remembers the last line named as entered as transaction `t`, inside
  // `unit`; a failure status fails the unit.
  tsioStatus::Status Remember(const Entry& e, const TransactionData& t, tclRollbackStack& unit);

 private:
  std::string bank_, id_;
  const tsioDataFile* file_ = nullptr;
  std::unique_ptr<StatementLine> lookup_, writer_;
  bool any_before_ = false;  // the account had remembered import lines when opened
  std::unordered_map<uint64_t, uint32_t> seen_;  // content hash -> lines of it so far
};

}  // namespace bkreg
