// Transaction: the cursor over register transactions (BKT record type 1) of an
// open transaction file, current or history.
//
// The typed cursor of the table (bkCursor<TransactionData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/transaction_data.h"

extern template class bkCursor<TransactionData>;

class BK_EXPORT Transaction : public bkCursor<TransactionData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit Transaction(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, TransactionData::kRecordType, columns, index) {}

  // Validates the record with its validater, built on this cursor so that
  // deposits and withdrawals entered in this module have their detail lines
  // checked too (TransactionData::Validate).
  ccStatus<ccError::Level> Validate(bkProgram& program);
};
