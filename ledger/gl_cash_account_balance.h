// GLCashAccountBalance: the cursor over GL cash account balances (BKM record
// type 3) of an open master file.
//
// The typed cursor of the table (bkCursor<GLCashAccountBalanceData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/gl_cash_account_balance_data.h"

extern template class bkCursor<GLCashAccountBalanceData>;

class BK_EXPORT GLCashAccountBalance : public bkCursor<GLCashAccountBalanceData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit GLCashAccountBalance(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, GLCashAccountBalanceData::kRecordType, columns, index) {}
};
