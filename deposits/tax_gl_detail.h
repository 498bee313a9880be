// TaxGLDetail: the cursor over tax GL details (BKT record type 9) of an open
// transaction file.
//
// The typed cursor of the table (bkCursor<TaxGLDetailData>); the table's own
// operations are members of this class: Transfer moves the current record
// to another transaction file under a new transaction run and sequence.
#pragma once

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "framework/types/values.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/tax_gl_detail_data.h"
#include "records/transfer_status.h"

extern template class bkCursor<TaxGLDetailData>;

class BK_EXPORT TaxGLDetail : public bkCursor<TaxGLDetailData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit TaxGLDetail(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, TaxGLDetailData::kRecordType, columns, index) {}

  // The family move to the same record type of another file (MoveRecord).
  using bkCursor<TaxGLDetailData>::Transfer;
  // Moves the current tax GL detail into `target` under the transaction run
  // `run` and sequence `sequence` (TGRUN, TGSEQ); the tax detail's run and
  // sequence (TGTXRUN, TGTXSEQ) stay. Steps and result as
  // CashDetail::Transfer, with "tax gl detail".
  [[nodiscard]] ccStatus<TransferStatus> Transfer(const tsioDataFile& target, const tsDouble& run,
                                                 const tsDouble& sequence);
};
