// RegisterBankLock: the cursor over bank lock records (BKM record type 6) of an
// open master file. Internal to the library.
//
// The typed cursor of the table (bkCursor<RegisterBankLockData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/register_bank_lock_data.h"


class RegisterBankLock : public bkCursor<RegisterBankLockData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit RegisterBankLock(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, RegisterBankLockData::kRecordType, columns, index) {}
};
