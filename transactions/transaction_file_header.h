// TransactionFileHeader: hands out run numbers from header record 1 of the
// current transaction file, and counts sequences within them.
//
// Header 1 holds the last run handed out of each kind, whole numbers:
//   "LASTRUN" transaction runs, "LSTCDRN" cash-detail runs, "LSTTXRN"
//   tax-detail runs.
// A run of 0 has not been taken yet. The first call that needs a run of a
// kind reads the header with its lock (tsioHeader::Get(true), which waits a
// short, bounded time while another program holds it), adds 1 to the kind's
// counter, writes the header back (which releases the lock) and keeps the
// run; every later call of this object reuses it. So two programs taking runs
// at once are serialised by the header lock and never get the same run.
//
// Failures (the run stays untaken, so the next call reads the file again):
//   - the header cannot be read (or lacks the kind's column): message 1616;
//   - the header cannot be written: message 1617. The counter in the file is
//     then unchanged, so another program would take the same run: the run is
//     NOT kept in memory and is not returned.
// A run taken while a unit of work is open on the company is part of that
// unit (the header write commits or rolls back with it, and the header stays
// locked until the unit ends; later takes of this object in the same unit
// read under that lock, and a failing one leaves it held). When the unit is
// rolled back the counter returns to its former value, so the run is
// forgotten too and the next call takes a new one; when it commits the run
// is kept.
//
// Sequences are counted in memory only: Next* adds 1 and returns the new
// value (the first is 1), This* returns the current value. They start at 0
// when the object is made and are never reset while it lives, so they stay
// unique within any run this object uses.
//
// The object borrows the data file; it must not outlive the file's handle.
#pragma once

#include <memory>

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/values.h"
#include "records/bk_export.h"

class TransactionData;

class BK_EXPORT TransactionFileHeader {
 public:
  static constexpr short kHeaderNumber = 1;
  static constexpr const char* kLastRunColumn = "LASTRUN";
  static constexpr const char* kLastCashDetailRunColumn = "LSTCDRN";
  static constexpr const char* kLastTaxDetailRunColumn = "LSTTXRN";

  explicit TransactionFileHeader(const tsioDataFile& file);
  virtual ~TransactionFileHeader();
  TransactionFileHeader(const TransactionFileHeader&) = delete;
  TransactionFileHeader& operator=(const TransactionFileHeader&) = delete;

  // The current run of the kind, taken from the file on first use; 0 (and
  // the failure stored into `status`) when it cannot be taken. `status` is
  // left untouched on success.
  tsDouble ThisRun(ccStatus<ccBoolStatus>& status);
  tsDouble ThisCashDetailRun(ccStatus<ccBoolStatus>& status);
  tsDouble ThisTaxDetailRun(ccStatus<ccBoolStatus>& status);
  // The transaction run and the cash-detail run, those not yet taken taken
  // together in one locked read and one write of the header. The outputs are
  // the current runs (0 for a run not taken).
  [[nodiscard]] ccStatus<ccBoolStatus> BothRuns(tsDouble& tran_run, tsDouble& cash_detail_run);

  // The runs taken so far (0 when not taken); the file is not touched.
  tsDouble CurrentTranRun() const { return m_tranRun; }
  tsDouble CurrentCashDetailRun() const { return m_cashDetailRun; }
  tsDouble CurrentTaxDetailRun() const { return m_taxDetailRun; }

  tsDouble NextSequence() { return ++m_tranSequence; }
  tsDouble NextCashDetailSequence() { return ++m_cashDetailSequence; }
  tsDouble NextTaxDetailSequence() { return ++m_taxDetailSequence; }
  tsDouble NextTransferSequence() { return ++m_transferSequence; }
  tsDouble ThisSequence() const { return m_tranSequence; }
  tsDouble ThisCashDetailSequence() const { return m_cashDetailSequence; }
  tsDouble ThisTaxDetailSequence() const { return m_taxDetailSequence; }
  tsDouble ThisTransferSequence() const { return m_transferSequence; }

  const tsioDataFile& File() const { return m_file; }

 private:
  enum Kind : unsigned { kTran = 1, kCashDetail = 2, kTaxDetail = 4 };
  class UnitWatch;

  // Reads the header with the columns of `attach` (a set of Kind bits), takes
  // a run for each kind of `take` whose run is 0, and writes the header back.
  ccStatus<ccBoolStatus> TakeRuns(unsigned attach, unsigned take);
  tsDouble& Run(Kind kind);
  // The unit of work in which runs were taken ended.
  void UnitEnded(bool committed);

  const tsioDataFile& m_file;
  tsDouble m_tranRun;
  tsDouble m_tranSequence;
  tsDouble m_cashDetailRun;
  tsDouble m_taxDetailRun;
  tsDouble m_taxDetailSequence;
  tsDouble m_cashDetailSequence;
  tsDouble m_transferSequence;
  // Kinds whose run was taken by a header write that belongs to a unit of
  // work still open.
  unsigned m_takenInUnit = 0;
  std::unique_ptr<UnitWatch> m_watch;
};

// Stamps a transaction record with the header's current run (ThisRun) and the
// next sequence (NextSequence, which advances the counter). When the run
// cannot be taken, its failure is returned and the record and the sequence
// are left untouched. This is the record's run-and-sequence operation
// (TransactionData::SetRunAndSequence delegates to it).
BK_EXPORT ccStatus<ccBoolStatus> SetRunAndSequence(TransactionData& record, TransactionFileHeader& header);
