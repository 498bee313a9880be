// ReconcileInProgress: the cursor over reconciliations in progress (BKM record
// type 4) of an open master file.
//
// The typed cursor of the table (bkCursor<ReconcileInProgressData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "framework/types/values.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/reconcile_in_progress_data.h"

extern template class bkCursor<ReconcileInProgressData>;

class BK_EXPORT ReconcileInProgress : public bkCursor<ReconcileInProgressData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit ReconcileInProgress(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, ReconcileInProgressData::kRecordType, columns, index) {}

  // Keeps the totals of the record this cursor holds in step with one
  // transaction's mark. Amounts are signed transaction amounts (addition
  // minus subtraction: checks and withdrawals are negative); a transaction
  // counts in the reconciliation while its reconcile-in-progress state
  // (TCURREC) is 3. The change d, rounded to cents, is
  //   new 3, old 3:        new_amount - old_amount   (a marked amount changed)
  //   new 3, old other:    new_amount                (being marked)
  //   new other, old 3:    -old_amount               (being unmarked)
  //   neither 3:           nothing changes, the overall total included.
  // It goes to the kind's total: checks (type 1) and withdrawals (3) take
  // -d, deposits (2) +d, adjustments (4) +d into RIPADJA when `is_addition`,
  // else -d into RIPADJS; other types change no kind total. Then
  //   RIPALL = (RIPDEP + RIPADJA) - (RIPCHK + RIPWDL + RIPADJS),
  // the marked transactions' net effect on the bank balance.
  // The record is not written: the caller updates it when it chooses.
  void AdjustRIPTotals(const tsChoice& type, const tsDouble& new_amount, const tsDouble& old_amount,
                       const tsChoice& new_status, const tsChoice& old_status, bool is_addition);
};
