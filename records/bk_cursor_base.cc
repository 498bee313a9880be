// bkCursorBase: the framework cursor of the typed cursors, and FetchRecord.
#include "records/bk_cursor_base.h"

#include "framework/io/dictionary.h"
#include "records/messages.h"

bkCursorBase::bkCursorBase(bkData* record, const tsioDataFile& file, short record_type, short index)
    : ccCursor(*record, file, record_type, index) {}

bkCursorBase::~bkCursorBase() = default;

CString bkCursorBase::RecordDescription(const tsioDataFile& file, short record_type) {
  xio_rec_def def;
  return xio_get_rec_def(file.FileNum(), record_type, &def) == tsioStatus::kSuccess ? def.text : CString();
}

ccStatus<tsioStatus::Status> bkCursorBase::FetchRecord(const tsioDataFile& file, ccRecData& record) {
  bkData copy(record);
  bkCursorBase cursor(&copy, file, record.TableID(), 0);
  const tsioStatus::Status status = cursor.FetchEQ(false);
  return InvalidRecordFetch(cursor, status);
}
