// RegisterWalk: one bank account's register, unposted and posted
// transactions together, in register order.
//
// Register order is index 5 of the transaction files: bank account, date,
// check number, subtraction, run, sequence. Unposted transactions are in the
// current transaction file, posted ones in the history; posting keeps a
// transaction's bank, run and sequence, so no key is in both files and the
// order is total. Each file is read slice by slice (tsioOrderedScan: each
// table page about once per slice, memory bounded) and the two walks are
// merged.
//
// Contract:
//   - Start / StartAfter position the walk; Next serves the lines from there
//     in register order. A line stays valid (the record of the cursor that
//     read it) until the next call of Next or Start.
//   - The columns given are bound, and the columns of register order always
//     come along (TBNKACC, TTRANDT, TCHECK, TSUBTR, TRUN, TSEQ).
//   - Without an enclosing unit of work each slice reads what is committed
//     when it runs (see tsioOrderedScan); no locks are taken.
//   - The walk owns its cursors; the files must outlive it.
#pragma once

#include <memory>
#include <string>

#include "framework/io/data_file.h"
#include "framework/io/ordered_scan.h"
#include "framework/types/values.h"
#include "transactions/transaction.h"

namespace bkreg {

// Where a line stands in register order (its index 5 values within its bank
// account).
struct RegisterPosition {
  tsDate date;
  tsDouble check;
  tsCurrency subtraction;
  tsDouble run, sequence;

  static RegisterPosition Of(const TransactionData& t);
  // <0, 0, >0 as `a` comes before, with or after `b` in register order.
  static int Compare(const RegisterPosition& a, const RegisterPosition& b);
};

class RegisterWalk {
 public:
  // Lines are read from `current` (unposted) and `history` (posted), binding
  // `columns` (";"-separated, as cursors take them; "" binds every column).
  RegisterWalk(const tsioDataFile& current, const tsioDataFile& history, const std::string& columns);
  RegisterWalk(const RegisterWalk&) = delete;
  RegisterWalk& operator=(const RegisterWalk&) = delete;
  ~RegisterWalk();

  // Starts at the first line of `bank` dated on or after `from` (an empty
  // date: the first line of the account).
  void Start(const std::string& bank, const tsDate& from);
  // Starts at the first line of `bank` after `after`.
  void StartAfter(const std::string& bank, const RegisterPosition& after);
  // Queues, for a command that keeps both files' reads (command_reads.h),
  // the first reads Start(bank, from) will ask, to go with other reads.
  void Prefetch(const std::string& bank, const tsDate& from);

  // The next line into `*line`, `*posted` telling whether it is posted (from
  // the history); kEndOfFile after the last line, or the failure that
  // stopped the walk (it stays failed).
  [[nodiscard]] tsioStatus::Status Next(const TransactionData** line, bool* posted);

 private:
  struct Side;
  void Begin(const std::string& bank, const RegisterPosition* at, bool after);
  // Each side's cursor set to start there; nothing read.
  void Position(const std::string& bank, const RegisterPosition* at, bool after);
  tsioStatus::Status Advance(Side& side);

  std::unique_ptr<Side> sides_[2];  // 0 current, 1 history
  Side* served_ = nullptr;          // the side whose record was served last
  tsioStatus::Status failed_ = tsioStatus::kSuccess;
};

}  // namespace bkreg
