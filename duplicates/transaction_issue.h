// TransactionIssue: the cursor over transaction issues (BKZ record type 2) of
// an open issue file.
//
// The typed cursor of the table (bkCursor<TransactionIssueData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/io/io_status.h"
#include "framework/types/ts_string.h"
#include "framework/types/values.h"
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

  // Moves the issue the cursor is positioned on to the transaction
  // (bank account, `run`, `sequence`) after that transaction was renumbered:
  // the record is deleted under its old key and inserted under the new run
  // and sequence, with its bank account, issue number and ODBC marker as the
  // cursor's record holds them (columns the cursor does not bind keep their
  // stored values).
  //
  // All or nothing: the delete and the insert run in a savepoint of their
  // own, nested in the caller's unit of work when the cursor has one (that
  // unit is begun first, so the caller still commits or rolls back the
  // whole), and a failing step rolls the savepoint back. Afterwards the
  // issue is stored exactly once, under its old key when the result is not
  // 0 and under the new one when it is 0.
  //
  // Result: 0; or the first failing status: reading the stored record,
  // beginning the savepoint, the delete (9 when another program holds the
  // record, 14 when the cursor is on no record), the insert (5 when the new
  // key holds that issue number already) or the commit. On success the
  // record's run and sequence are the new ones and the handle is on the
  // moved record; on failure the record keeps its old key and the handle is
  // on the old record again when it can be read. No message is raised.
  //
  // Const as the cursor's interface has it: the cursor's file, record type
  // and index stay; its record buffer and the file's position change, as
  // with any write.
  [[nodiscard]] tsioStatus::Status RemapIssue(const tsDouble& run, const tsDouble& sequence) const;
};
