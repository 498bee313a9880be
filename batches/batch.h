// Batch: the cursor over batches (BKT record type 6) of an open transaction
// file.
//
// The typed cursor of the table (bkCursor<BatchData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/batch_data.h"

extern template class bkCursor<BatchData>;

class BK_EXPORT Batch : public bkCursor<BatchData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit Batch(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, BatchData::kRecordType, columns, index) {}
};
