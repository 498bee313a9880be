// TransactionIssue: the cursor over transaction issues (BKZ record type 2) of
// an open issue file.
//
// The typed cursor of the table (bkCursor<TransactionIssueData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/transaction_issue_data.h"

extern template class bkCursor<TransactionIssueData>;

class BK_EXPORT TransactionIssue : public bkCursor<TransactionIssueData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit TransactionIssue(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, TransactionIssueData::kRecordType, columns, index) {}
};
