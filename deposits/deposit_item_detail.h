// DepositItemDetail: the cursor over deposit item details (BKT record type 3)
// of an open transaction file.
//
// The typed cursor of the table (bkCursor<DepositItemDetailData>); the table's own
// operations are members of this class: Transfer moves the current record
// to another transaction file under a new transaction run and sequence.
#pragma once

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "framework/types/values.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/deposit_item_detail_data.h"
#include "records/transfer_status.h"

extern template class bkCursor<DepositItemDetailData>;

class BK_EXPORT DepositItemDetail : public bkCursor<DepositItemDetailData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit DepositItemDetail(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, DepositItemDetailData::kRecordType, columns, index) {}

  // The family move to the same record type of another file (MoveRecord).
  using bkCursor<DepositItemDetailData>::Transfer;
  // Moves the current line into `target` under the transaction run `run` and
  // sequence `sequence` (DIGRUN, DIGSEQ): inserts a copy there, re-reads the
  // line here by its key with a lock, returns to the line's position and
  // deletes it. Value 0, or 1 (2 for a fatal I/O status) with 1615, 1614 or
  // 1613 "deposit item detail". The copy takes every column of the stored
  // line, whatever columns this cursor binds.
  // The copy shares this cursor's rollback stack; what was written stays
  // for the unit of work to undo (a caller running none gets a move that is
  // all or nothing).
  [[nodiscard]] ccStatus<TransferStatus> Transfer(const tsioDataFile& target, const tsDouble& run,
                                                 const tsDouble& sequence);
};
