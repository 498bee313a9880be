// Moving a tax detail, and a tax GL detail, to another transaction file under
// a new transaction run and sequence; both keep the tax detail's own run and
// sequence.
#include "deposits/detail_transfer.h"
#include "deposits/tax_detail.h"
#include "deposits/tax_gl_detail.h"

ccStatus<TransferStatus> TaxDetail::Transfer(const tsioDataFile& target, const tsDouble& run,
                                             const tsDouble& sequence) {
  return bkTransferRecord(*this, target, "tax detail", bkRereadMode::kLockedByKey, [&](TaxDetailData& detail) {
    detail.SetTranRun(run);
    detail.SetTranSequence(sequence);
  });
}

ccStatus<TransferStatus> TaxGLDetail::Transfer(const tsioDataFile& target, const tsDouble& run,
                                               const tsDouble& sequence) {
  return bkTransferRecord(*this, target, "tax gl detail", bkRereadMode::kLockedByKey,
                          [&](TaxGLDetailData& detail) {
                            detail.SetTranRun(run);
                            detail.SetTranSequence(sequence);
                          });
}
