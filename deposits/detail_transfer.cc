// The move's own unit of work (see detail_transfer.h).
#include "deposits/detail_transfer.h"

#include "framework/io/company.h"

bkTransferUnit::bkTransferUnit(bkCursorBase& source, const tsioDataFile& target) : source_(&source) {
  const tsioDataFile& file = source.File();
  if (source.RollbackStack() != nullptr || !file.IsOpen() || !target.IsOpen()) return;
  if (&file.Company() != &target.Company() || file.Company().InUnit()) return;
  own_.emplace();
  source.AttachRollbackStack(&*own_);
}

bkTransferUnit::~bkTransferUnit() {
  if (!own_) return;
  source_->DetachRollbackStack();
  (void)own_->Rollback();
}

ccStatus<TransferStatus> bkTransferUnit::End(ccStatus<TransferStatus> result, const char* description) {
  if (!own_) return result;
  source_->DetachRollbackStack();
  if (result.Value() == kTransferDone) {
    const tsioStatus::Status status = own_->Commit();
    if (status != tsioStatus::kSuccess) {
      (void)own_->Rollback();
      result = RecWriteError(description, status);
    }
  } else {
    (void)own_->Rollback();
  }
  own_.reset();
  return result;
}
