// DepositItem: the cursor over deposit items (BKT record type 2) of an open
// transaction file.
//
// The typed cursor of the table (bkCursor<DepositItemData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/deposit_item_data.h"

extern template class bkCursor<DepositItemData>;

class BK_EXPORT DepositItem : public bkCursor<DepositItemData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit DepositItem(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, DepositItemData::kRecordType, columns, index) {}
};
