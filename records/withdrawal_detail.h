// WithdrawalDetail: the cursor over withdrawal details (BKT record type 4) of
// an open transaction file.
//
// The typed cursor of the table (bkCursor<WithdrawalDetailData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/withdrawal_detail_data.h"

extern template class bkCursor<WithdrawalDetailData>;

class BK_EXPORT WithdrawalDetail : public bkCursor<WithdrawalDetailData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit WithdrawalDetail(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, WithdrawalDetailData::kRecordType, columns, index) {}
};
