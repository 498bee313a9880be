// Moving a cash detail to another transaction file under a new transaction
// run and sequence; the cash detail keeps its own run and sequence.
#include "deposits/detail_transfer.h"
#include "deposits/cash_detail.h"

ccStatus<TransferStatus> CashDetail::Transfer(const tsioDataFile& target, const tsDouble& run,
                                              const tsDouble& sequence) {
  return bkTransferRecord(*this, target, "cash detail", bkRereadMode::kLockedByKey, [&](CashDetailData& detail) {
    detail.SetTranRun(run);
    detail.SetTranSequence(sequence);
  });
}
