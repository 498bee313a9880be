// WithdrawalDetail: the cursor over withdrawal details (BKT record type 4) of
// an open transaction file.
//
// The typed cursor of the table (bkCursor<WithdrawalDetailData>); the table's own
// operations are members of this class: Transfer moves the current record
// to another transaction file under a new transaction run and sequence.
#pragma once

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "framework/types/values.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/transfer_status.h"
#include "records/withdrawal_detail_data.h"

extern template class bkCursor<WithdrawalDetailData>;

class BK_EXPORT WithdrawalDetail : public bkCursor<WithdrawalDetailData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit WithdrawalDetail(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, WithdrawalDetailData::kRecordType, columns, index) {}

  // The family move to the same record type of another file (MoveRecord).
  using bkCursor<WithdrawalDetailData>::Transfer;
  // Moves the current detail into `target` under the transaction run `run`
  // and sequence `sequence` (WDRUN, WDSEQ): inserts a copy there, returns to
  // the detail's position here and deletes it. Value 0, or 1 (2 for a fatal
  // I/O status) with 1615, 1614 or 1613 "withdrawal detail". The copy takes
  // every column of the stored detail, whatever columns this cursor binds.
  // The copy shares this cursor's rollback stack; what was written stays
  // for the unit of work to undo (a caller running none gets a move that is
  // all or nothing).
  [[nodiscard]] ccStatus<TransferStatus> Transfer(const tsioDataFile& target, const tsDouble& run,
                                                 const tsDouble& sequence);
};
