// DepositItemDetail: the cursor over deposit item details (BKT record type 3)
// of an open transaction file.
//
// The typed cursor of the table (bkCursor<DepositItemDetailData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/deposit_item_detail_data.h"

extern template class bkCursor<DepositItemDetailData>;

class BK_EXPORT DepositItemDetail : public bkCursor<DepositItemDetailData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit DepositItemDetail(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, DepositItemDetailData::kRecordType, columns, index) {}
};
