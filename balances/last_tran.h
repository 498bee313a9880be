// LastTran: the cursor over last-transaction records (BKM record type 5) of an
// open master file.
//
// The typed cursor of the table (bkCursor<LastTranData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/last_tran_data.h"

extern template class bkCursor<LastTranData>;

class BK_EXPORT LastTran : public bkCursor<LastTranData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit LastTran(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, LastTranData::kRecordType, columns, index) {}
};
