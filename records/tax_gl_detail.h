// TaxGLDetail: the cursor over tax GL details (BKT record type 9) of an open
// transaction file.
//
// The typed cursor of the table (bkCursor<TaxGLDetailData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/tax_gl_detail_data.h"

extern template class bkCursor<TaxGLDetailData>;

class BK_EXPORT TaxGLDetail : public bkCursor<TaxGLDetailData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit TaxGLDetail(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, TaxGLDetailData::kRecordType, columns, index) {}
};
