// ReconcileInProgress: the cursor over reconciliations in progress (BKM record
// type 4) of an open master file.
//
// The typed cursor of the table (bkCursor<ReconcileInProgressData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/reconcile_in_progress_data.h"

extern template class bkCursor<ReconcileInProgressData>;

class BK_EXPORT ReconcileInProgress : public bkCursor<ReconcileInProgressData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit ReconcileInProgress(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, ReconcileInProgressData::kRecordType, columns, index) {}
};
