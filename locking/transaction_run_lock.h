// TransactionRunLock: the cursor over run-lock records (BKT record type 7) of
// an open transaction file.
//
// The typed cursor of the table (bkCursor<TransactionRunLockData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/transaction_run_lock_data.h"

extern template class bkCursor<TransactionRunLockData>;

class BK_EXPORT TransactionRunLock : public bkCursor<TransactionRunLockData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit TransactionRunLock(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, TransactionRunLockData::kRecordType, columns, index) {}
};
