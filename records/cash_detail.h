// CashDetail: the cursor over cash details (BKT record type 5) of an open
// transaction file.
//
// The typed cursor of the table (bkCursor<CashDetailData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/cash_detail_data.h"

extern template class bkCursor<CashDetailData>;

class BK_EXPORT CashDetail : public bkCursor<CashDetailData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit CashDetail(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, CashDetailData::kRecordType, columns, index) {}
};
