// PendingDeposit: the cursor over pending deposits (BKM record type 7) of an
// open master file.
//
// The typed cursor of the table (bkCursor<PendingDepositData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/pending_deposit_data.h"

extern template class bkCursor<PendingDepositData>;

class BK_EXPORT PendingDeposit : public bkCursor<PendingDepositData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit PendingDeposit(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, PendingDepositData::kRecordType, columns, index) {}
};
