// Record operations of TransactionData that take a batch.
#include "framework/batch/batch.h"
#include "records/transaction_data.h"
#include "records/transaction_file_header.h"

void TransactionData::InitializeNewRecord(bkProgram&, const zzBatch& batch) {
  TransactionData empty(ColumnList());
  SetData(empty);
  SetBatchFields(batch);
}

void TransactionData::SetBatchFields(const zzBatch& batch) {
  SetApplOfOrigin(tsAlpha(batch.HostAppl()));
  SetBatch(batch.BatchID());
  tclTSEnum<BatchSourceEnum> source;
  source.SetValue(GetApplOfOrigin() == "BK" ? batch.Source() : 1);
  SetBatchSource(source);
}


ccStatus<ccBoolStatus> TransactionData::SetRunAndSequence(TransactionFileHeader& header) {
  return ::SetRunAndSequence(*this, header);
}
