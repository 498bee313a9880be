// TaxDetail: the cursor over tax details (BKT record type 8) of an open
// transaction file.
//
// The typed cursor of the table (bkCursor<TaxDetailData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/tax_detail_data.h"

extern template class bkCursor<TaxDetailData>;

class BK_EXPORT TaxDetail : public bkCursor<TaxDetailData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit TaxDetail(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, TaxDetailData::kRecordType, columns, index) {}
};
