// CashDetail: the cursor over cash details (BKT record type 5) of an open
// transaction file.
//
// The typed cursor of the table (bkCursor<CashDetailData>); the table's own
// operations are members of this class: Transfer moves the current record
// to another transaction file under a new transaction run and sequence.
#pragma once

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "framework/types/values.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/cash_detail_data.h"
#include "records/transfer_status.h"

extern template class bkCursor<CashDetailData>;

class BK_EXPORT CashDetail : public bkCursor<CashDetailData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit CashDetail(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, CashDetailData::kRecordType, columns, index) {}

  // The family move to the same record type of another file (MoveRecord).
  using bkCursor<CashDetailData>::Transfer;
  // Moves the current cash detail into `target` under the transaction run
  // `run` and sequence `sequence` (CDTRUN, CDTSEQ); its own run and sequence
  // (CDRUN, CDSEQ) stay. Inserts a copy there, re-reads the detail here by
  // its key with a lock (whatever index this cursor reads by) and deletes it.
  // Value 0, or 1 (2 for a fatal I/O status) with 1615, 1614 or 1613 "cash
  // detail". The copy takes every column of the stored detail.
  // The copy shares this cursor's rollback stack; what was written stays
  // for the unit of work to undo (a caller running none gets a move that is
  // all or nothing).
  [[nodiscard]] ccStatus<TransferStatus> Transfer(const tsioDataFile& target, const tsDouble& run,
                                                 const tsDouble& sequence);
};
