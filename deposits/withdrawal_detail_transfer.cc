// Moving a withdrawal detail to another transaction file under a new
// transaction run and sequence.
#include "deposits/detail_transfer.h"
#include "deposits/withdrawal_detail.h"

ccStatus<TransferStatus> WithdrawalDetail::Transfer(const tsioDataFile& target, const tsDouble& run,
                                                    const tsDouble& sequence) {
  return bkTransferRecord(*this, target, "withdrawal detail", bkRereadMode::kBookmark,
                          [&](WithdrawalDetailData& detail) {
                            detail.SetRun(run);
                            detail.SetSequence(sequence);
                          });
}
