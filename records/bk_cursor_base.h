// bkCursorBase: the framework cursor (ccCursor) of a typed cursor: it moves
// column values between a bkData record's bound fields and the file buffer of
// one record type of an open data file, ordered by one index.
//
// Its operations are ccCursor's; it adds the single-record fetch FetchRecord
// and RollbackStack.
#pragma once

#include "framework/base/errors.h"
#include "framework/io/cursor.h"
#include "framework/io/data_file.h"
#include "framework/io/io_status.h"
#include "framework/types/ts_string.h"
#include "records/bk_data.h"
#include "records/bk_export.h"

class tclRollbackStack;

class BK_EXPORT bkCursorBase : public ccCursor {
 public:
  // A cursor on `record`'s bound fields over record type `record_type` of
  // `file`, ordered by index `index` (0 = the key).
  bkCursorBase(bkData* record, const tsioDataFile& file, short record_type, short index);
  ~bkCursorBase() override;

  // Reads the record whose key equals the key held in `record` (index 0,
  // no lock) into `record`'s bound fields. The result carries the fetch's
  // I/O status and, whatever that status, message 5000 naming the record
  // description and the status (InvalidRecordFetch); callers test the value.
  [[nodiscard]] static ccStatus<tsioStatus::Status> FetchRecord(const tsioDataFile& file, ccRecData& record);

  // The description of a record type of an open file in the data
  // dictionary ("transaction"); empty when the dictionary has none.
  static CString RecordDescription(const tsioDataFile& file, short record_type);

  // The rollback stack attached to this cursor, nullptr when none.
  tclRollbackStack* RollbackStack() const { return ccCursor::RollbackStack(); }
};
