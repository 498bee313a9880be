// DepositItem: the cursor over deposit items (BKT record type 2) of an open
// transaction file.
//
// The typed cursor of the table (bkCursor<DepositItemData>); the table's own
// operations are members of this class: Transfer moves the current record
// to another transaction file under a new transaction run and sequence.
#pragma once

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "framework/types/values.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/deposit_item_data.h"
#include "records/transfer_status.h"

extern template class bkCursor<DepositItemData>;

class BK_EXPORT DepositItem : public bkCursor<DepositItemData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit DepositItem(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, DepositItemData::kRecordType, columns, index) {}

  // The family move to the same record type of another file (MoveRecord).
  using bkCursor<DepositItemData>::Transfer;
  // Moves the current deposit item, with its lines, into `target` under the
  // transaction run `run` and sequence `sequence` (DIRUN, DISEQ; the lines'
  // DIGRUN, DIGSEQ): first each line related to the item, fetched with a lock
  // and moved by DepositItemDetail::Transfer, then the item (inserted into
  // `target`, then deleted here). Lines go before their item, so the item is
  // never in either file without its lines.
  //
  // Every cursor opened shares this cursor's rollback stack. Value 0 when the
  // item and all its lines moved; otherwise 1 (2 for a fatal I/O status) with
  // one message: the failing line's, 1614 "deposit item detail" when a line
  // cannot be read (locked by another program, a damaged file), or 1615 /
  // 1614 / 1613 "deposit item" for the item's insert, return to its position
  // or delete. What was written stays for the unit of work to undo; a caller
  // running no unit of work gets a move that is all or nothing.
  [[nodiscard]] ccStatus<TransferStatus> Transfer(const tsioDataFile& target, const tsDouble& run,
                                                 const tsDouble& sequence);
};
