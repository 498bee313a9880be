// BankAccount: the cursor over bank accounts (BKM record type 1) of an open
// master file.
//
// The typed cursor of the table (bkCursor<BankAccountData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/bank_account_data.h"

extern template class bkCursor<BankAccountData>;

class BK_EXPORT BankAccount : public bkCursor<BankAccountData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit BankAccount(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, BankAccountData::kRecordType, columns, index) {}
};
