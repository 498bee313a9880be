// Record operations of TransactionData that take a batch.
#include "batches/bk_batch_part.h"
#include "framework/batch/batch.h"
#include "records/messages.h"
#include "records/transaction_data.h"
#include "transactions/transaction_file_header.h"

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

ccStatus<ccError::Level> TransactionData::UpdateBatchInfo(zzBatch& batch, bool remove) {
  const tsCurrency amount = GetAmount();
  auto* part = dynamic_cast<bkBatchPart*>(batch.ApplPart("BK"));
  if (part) {
    if (remove) {
      part->RemoveTran(bkBatchPart::kAllTransactions, amount);
    } else {
      part->AddTran(bkBatchPart::kAllTransactions, amount);
    }
  }
  if (part && batch.UpdateInfo("BK")) return ccStatus<ccError::Level>(ccError::kNone);
  if (part) {
    if (remove) {
      part->AddTran(bkBatchPart::kAllTransactions, amount);
    } else {
      part->RemoveTran(bkBatchPart::kAllTransactions, amount);
    }
  }
  return bktBatchUpdateError(MessageText());
}
