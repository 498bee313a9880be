// Moving a deposit item, with its lines, and a single deposit item line to
// another transaction file under a new transaction run and sequence.
#include "deposits/detail_transfer.h"
#include "framework/io/bookmark.h"
#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"
#include "records/messages.h"
#include "records/relations.h"

namespace {

constexpr const char kItem[] = "deposit item";
constexpr const char kLine[] = "deposit item detail";

}  // namespace

ccStatus<TransferStatus> DepositItemDetail::Transfer(const tsioDataFile& target, const tsDouble& run,
                                                     const tsDouble& sequence) {
  return bkTransferRecord(*this, target, kLine, bkRereadMode::kLockedByKeyThenBookmark,
                          [&](DepositItemDetailData& line) {
                            line.SetRun(run);
                            line.SetSequence(sequence);
                          });
}

ccStatus<TransferStatus> DepositItem::Transfer(const tsioDataFile& target, const tsDouble& run,
                                               const tsDouble& sequence) {
  bkTransferUnit unit(*CursorPtr(), target);

  // The copy of the item, under the new run and sequence.
  DepositItem copy(target);
  copy.AttachRollbackStack(RollbackStack());
  tsioStatus::Status status = bkCopyCurrentRecord(*this, copy);
  if (status != tsioStatus::kSuccess) return unit.End(RecReadError(kItem, status), kItem);
  copy.m_Record.SetRun(run);
  copy.m_Record.SetSequence(sequence);

  // The item's lines first, each fetched with a lock. The walk must end at
  // "no more lines" with every line moved: a line that cannot be read (locked
  // by another program, a damaged file) fails the item, so that no caller
  // takes for moved an item whose lines stayed behind.
  {
    DepositItemDetail lines(File());
    lines.AttachRollbackStack(RollbackStack());
    ccStatus<TransferStatus> moved(kTransferDone);
    bool holding = false;  // the line cursor holds a line it fetched with a lock
    tsioStatus::Status fetch = lines.FetchFirstOf(*CursorPtr(), DepositItemDetailsRel, true);
    while (fetch == tsioStatus::kSuccess) {
      holding = true;
      moved = lines.Transfer(target, run, sequence);
      if (moved.Value() != kTransferDone) break;
      holding = false;  // deleting the line released its lock
      fetch = lines.FetchNextOf(*CursorPtr(), DepositItemDetailsRel, true);
    }
    if (holding) (void)lines.Unlock();
    if (moved.Value() != kTransferDone) return unit.End(moved, kItem);
    if (fetch != tsioStatus::kEndOfFile) return unit.End(RecReadError(kLine, fetch), kItem);
  }

  // Then the item itself.
  tsioBookmark mark(*CursorPtr());
  status = copy.Insert();
  if (status != tsioStatus::kSuccess) return unit.End(RecWriteError(kItem, status), kItem);
  status = mark.GoTo();
  if (status != tsioStatus::kSuccess) return unit.End(RecReadError(kItem, status), kItem);
  status = Delete();
  if (status != tsioStatus::kSuccess) return unit.End(RecDeleteError(kItem, status), kItem);
  return unit.End(ccStatus<TransferStatus>(kTransferDone), kItem);
}
