// LastTran: the cursor over last-transaction records (BKM record type 5) of an
// open master file.
//
// The typed cursor of the table (bkCursor<LastTranData>); the table's own
// operations are members of this class.
#pragma once

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "framework/types/values.h"
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

  // Records a deposit (type 2), withdrawal (3) or adjustment (4) of `bank`
  // dated `date` in the account's last-transaction record, creating the
  // record when the account has none yet:
  //   deposit     LTDEPDT := date, LTDEPA := amount;
  //   withdrawal  LTWTHDT := date, LTWTHA := |amount| (never negative);
  //   adjustment  LTADJDT := date, LTADJA := amount with its sign;
  //   other types change no field, but the record is still written.
  // Amounts are stored rounded to cents (half away from zero).
  //
  // The record is read with a lock. While another program holds it, a
  // Retry/Cancel box (style 21) titled `title` says so through the
  // application's responder: a person answers on a terminal, tests script
  // the answer, an unattended run always gets Cancel. Retry reads it again.
  //
  // Level 0 when written. Level 3 with 1633 (LastTranLockError) when the
  // record could not be read and locked (Cancel included), with 1632
  // (LastTranUpdateError) when it could not be written; the file then holds
  // what it held before.
  //
  // Whatever happens, the record is unlocked before this returns, and what
  // is written holds only the account id, the fields read from the file and
  // the fields set here: nothing an earlier record left in this cursor's
  // buffer. A record another program inserted between the read and the
  // insert is read again (with its lock) and updated.
  ccStatus<ccError::Level> UpdateLastTransaction(const CString& title, const tsAlpha& bank, const tsChoice& type,
                                                 const tsDate& date, const tsDouble& amount);
};
