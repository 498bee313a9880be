// Batch: the cursor over batches (BKT record type 6) of an open transaction
// file, with the batch's own operations.
//
// The members of a batch are the transactions (record type 1), cash details
// (5) and tax GL details (9) related to it by application, batch id, source
// and location (BatchTransactionsRel, BatchCashDetailsRel,
// BatchTaxGLDetailsRel). A batch whose members cannot be read (a damaged
// file, a failed read) is never taken for empty or for fully posted: the
// operations then change nothing.
#pragma once

#include "framework/io/data_file.h"
#include "framework/io/io_status.h"
#include "framework/types/ts_string.h"
#include "records/batch_data.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"

extern template class bkCursor<BatchData>;

class BK_EXPORT Batch : public bkCursor<BatchData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit Batch(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, BatchData::kRecordType, columns, index) {}

  // When every transaction of the current batch is posted (or it has none),
  // clears the batch's counts and amounts in the record buffer
  // (BatchData::ClearAmounts) and answers true; the record is not written,
  // the caller updates it. False, buffer unchanged, when a transaction is
  // not posted or the transactions cannot all be read.
  bool ClearAmountsIfPosted();
  // True when the current batch has no transaction, cash detail or tax GL
  // detail; false when it has one or when that cannot be read.
  bool IsEmpty() const;
  // Deletes the current batch record when the batch is empty: the status of
  // the Delete. 0, nothing deleted, when it has members; the failure status,
  // nothing deleted, when its members cannot be read.
  [[nodiscard]] tsioStatus::Status deleteIfEmpty();
  // Whether the current batch has members: 0 when it has one, 12 when it
  // has none, any other status when that cannot be read.
  [[nodiscard]] tsioStatus::Status MembersStatus() const;
  // Queues, on a server, the first read MembersStatus() asks (its
  // transactions), to go with the command's other queued reads
  // (command_reads.h); nothing elsewhere.
  void PrefetchMembers() const;
};
