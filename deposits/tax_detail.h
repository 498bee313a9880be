// TaxDetail: the cursor over tax details (BKT record type 8) of an open
// transaction file.
//
// The typed cursor of the table (bkCursor<TaxDetailData>); the table's own
// operations are members of this class: Transfer moves the current record
// to another transaction file under a new transaction run and sequence.
#pragma once

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "framework/types/values.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/tax_detail_data.h"
#include "records/transfer_status.h"

extern template class bkCursor<TaxDetailData>;

class BK_EXPORT TaxDetail : public bkCursor<TaxDetailData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit TaxDetail(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, TaxDetailData::kRecordType, columns, index) {}

  // The family move to the same record type of another file (MoveRecord).
  using bkCursor<TaxDetailData>::Transfer;
  // Moves the current tax detail into `target` under the transaction run
  // `run` and sequence `sequence` (TXRUN, TXSEQ); its own run and sequence
  // (TXTXRUN, TXTXSEQ) stay. Steps and result as CashDetail::Transfer, with
  // "tax detail". Its tax GL details are not moved: the caller moves each
  // (TaxGLDetail::Transfer), before the tax detail.
  [[nodiscard]] ccStatus<TransferStatus> Transfer(const tsioDataFile& target, const tsDouble& run,
                                                 const tsDouble& sequence);
};
