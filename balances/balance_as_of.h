// The walk every as-of-date balance is made of, the balance failure amount
// and the index translation of work files.
//
// An as-of-date balance works backwards: it starts from a stored current
// total and takes away what each transaction dated after the requested date
// contributed to it, walking the transactions of one bank account in the
// order of an index that starts with the bank account and the walk's date
// column. Only the transactions after the date are read.
//
// Failures are not statuses: a balance that cannot be computed is the
// failure amount, -9999999999999.99, and the computation writes exactly one
// line to the framework log (x_log, level 0) saying why:
//   "AFF FAIL: Read Error <status text>"       a walk's fetch failed
//   "AFF FAIL: <id>[, <id>], <status text>"    a stored total could not be read
//   "Helper function failed"                   positioning by key failed
// where <status text> is ccIOStatusStr of the I/O status. Callers test for
// the failure amount (bkIsBalanceFailure). Every file position a computation
// disturbs is saved in a bookmark first and restored before it returns,
// whether it succeeded or not.
#pragma once

#include <string>

#include "framework/io/data_file.h"
#include "framework/io/io_status.h"
#include "framework/types/ts_string.h"
#include "framework/types/values.h"
#include "records/bk_export.h"

class Transaction;

// The failure amount, -9999999999999.99 (as a binary double its bits are
// C2A2309CE53FFFFB).
BK_EXPORT tsCurrency bkBalanceFailureAmount();
BK_EXPORT bool bkIsBalanceFailure(const tsCurrency& amount);

// The index to open on `record_type` of `file` for the `requested` index
// (5, 12, 13 of transactions, 15 of cash details, 2 of transactions).
// Outside the work-file numbers (401 to 600) it is `requested` itself. A work
// file numbers its keys 1 to n in an order of its own: the answer is the
// first of them that orders records as the requested index does (its key
// columns followed by the record key's columns it lacks begin with the
// columns the requested index is expected to have), 0 (the record key) when
// none does or the index has no expected columns.
//   2   TBNKACC, TSTMTDT             12  TBNKACC, TRECDT, TRUN, TSEQ
//   5   TBNKACC, TTRANDT, TCHECK, TSUBTR, TRUN, TSEQ
//   13  TBNKACC, TACTGDT, TRUN, TSEQ 15  CDBNKAC, CDCSHAC, CDACCDT
BK_EXPORT short bkBalanceIndex(const tsioDataFileReference& file, short record_type, short requested);

// Collects the failure of one computation: the first line given is the one
// written, once, by Finish (nothing when there was no failure).
class BK_EXPORT bkBalanceFailure {
 public:
  bkBalanceFailure() = default;
  bkBalanceFailure(const bkBalanceFailure&) = delete;
  bkBalanceFailure& operator=(const bkBalanceFailure&) = delete;

  void Set(std::string line) {
    if (!failed_) line_ = std::move(line);
    failed_ = true;
  }
  // "AFF FAIL: Read Error <status text>".
  void ReadError(tsioStatus::Status status);
  // "AFF FAIL: <ids>, <status text>".
  void RecordError(const std::string& ids, tsioStatus::Status status);
  // A bookmark that could not be gone back to: the position is restored in
  // the handle's buffer, but the record could not be read again.
  void Restored(tsioStatus::Status status);
  bool Failed() const { return failed_; }
  // Writes the line and answers the failure amount, or answers `amount`.
  tsCurrency Finish(const tsCurrency& amount) const;

 private:
  bool failed_ = false;
  std::string line_;
};

// The walk (internal base of the as-of-date accumulators).
class BK_EXPORT bkBalanceAsOf {
 public:
  // What one transaction contributed to the balance the walk starts from.
  using Contribution = tsCurrency (*)(const Transaction& transaction);
  // Stores the walk's date in the transaction's walk-date column.
  using DatePrimer = void (*)(Transaction& transaction, const tsDate& date);

  // A walk over `bank`'s transactions in `transaction_file` by `index`
  // (already translated), reading `columns`, from `ending` (the stored
  // current total). The default contribution is the amount (TADD - TSUBTR),
  // the default date column TTRANDT.
  bkBalanceAsOf(const tsAlpha& bank, const tsDate& as_of, const tsCurrency& ending,
                const tsioDataFileReference& transaction_file, short index, const CString& columns,
                Contribution contribution = nullptr, DatePrimer primer = nullptr);
  virtual ~bkBalanceAsOf();

  // With a non-empty `stop`, a transaction whose statement date (TSTMTDT)
  // is later ends the walk.
  void SetStopDate(const tsDate& stop);
  bool Stopped() const { return m_Stopped; }

  // `ending` minus the contributions of the bank's transactions whose walk
  // date is after the as-of date, read in index order from the first one
  // after (as-of date + 1 day, check 0, amounts 0, run 0, sequence 0). A
  // failed read is recorded in `failure` and the walk ends there; the
  // transaction file's position is restored either way.
  tsCurrency Walk(bkBalanceFailure& failure);
  // Fetches the walk made (found or not), for tests and benchmarks.
  long Reads() const { return m_Reads; }

  static tsCurrency DefaultContribution(const Transaction& transaction);
  static void DefaultDatePrimer(Transaction& transaction, const tsDate& date);

 private:
  tsAlpha m_BankAccount;
  tsDate m_AsOfDate;
  tsDate m_StopDate;
  bool m_StopDateSet = false;
  bool m_Stopped = false;
  tsCurrency m_Amount;
  tsioDataFileReference m_TransactionFile;
  short m_Index;
  Contribution m_Contribution;
  DatePrimer m_DatePrimer;
  CString m_Columns;
  long m_Reads = 0;
};
