// The statement file (BKS, dictionary id 240) and the cursors over its
// tables: the statement lines already applied to the register
// (StatementLine, record type 1) and the finished reconciliations
// (Reconciliation, record type 2).
#pragma once

#include "framework/io/data_file.h"
#include "framework/io/file_identity.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/reconciliation_data.h"
#include "records/statement_line_data.h"

BK_EXPORT extern const tsioFileSpec BKSFileSpec;  // "BKS" 1 240: bank statements

extern template class bkCursor<StatementLineData>;
extern template class bkCursor<ReconciliationData>;

class BK_EXPORT StatementLine : public bkCursor<StatementLineData> {
 public:
  explicit StatementLine(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, StatementLineData::kRecordType, columns, index) {}
};

class BK_EXPORT Reconciliation : public bkCursor<ReconciliationData> {
 public:
  explicit Reconciliation(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, ReconciliationData::kRecordType, columns, index) {}
};
