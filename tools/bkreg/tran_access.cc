// Shared steps on one register transaction (tran_access.h).
#include "tools/bkreg/tran_access.h"

#include <memory>

#include "batches/bk_batch_part.h"
#include "framework/batch/batch.h"

namespace bkreg {

std::string TranName(const TranRef& r) {
  return r.bank + " run " + std::to_string(r.run) + " sequence " + std::to_string(r.sequence);
}

void SetTranKey(Transaction& t, const TranRef& r) {
  t.m_Record.SetBankAccount(tsAlpha(r.bank));
  t.m_Record.SetRun(tsDouble(r.run, 0));
  t.m_Record.SetSequence(tsDouble(r.sequence, 0));
}

void UseBatchOf(ModuleWork& w, const TransactionData& t) {
  zzBatch batch(t.GetApplOfOrigin().str(), t.GetBatch(), t.GetBatchSource().Value());
  batch.SetDPLoc(t.GetBatchDPLoc());
  batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))->SetFileNumber(w.Register().FileNum());
  (void)batch.ReadInfo("BK");
  w.Program().SetBatch(batch);
}

}  // namespace bkreg
