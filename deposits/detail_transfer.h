// The steps every move of a transaction's detail record to another
// transaction file shares (deposit items and their lines, withdrawal, cash,
// tax and tax GL details). Internal to the library: the cursors' Transfer
// members are the interface.
//
// A move copies the source cursor's current record into a cursor of the same
// class on the target file (all columns, key order) that shares the source's
// rollback stack, gives the copy its new transaction run and sequence, inserts
// it, makes the source record current again and deletes it. Every failure
// ends the move with one transfer-status message naming the record kind and
// the I/O status; what was already written stays for the unit of work to undo.
//
// Three things hold whatever cursor the caller hands in:
//   - the copy carries every column of the stored record, also those the
//     source cursor does not bind (a cursor over a column list would otherwise
//     write defaults in their place and the move would lose them);
//   - the source record is re-read by its key, also when the source cursor
//     reads by another index (an equal fetch on a batch index would find the
//     first record of the batch, and the delete would remove that one);
//   - a move run outside every unit of work is all or nothing (bkTransferUnit);
//   - a move that fails after locking the source record releases that lock.
#pragma once

#include <optional>

#include "framework/base/errors.h"
#include "framework/io/bookmark.h"
#include "framework/io/data_file.h"
#include "framework/io/io_status.h"
#include "framework/io/rollback_stack.h"
#include "records/bk_cursor_base.h"
#include "records/messages.h"
#include "records/transfer_status.h"

// A unit of work of the move's own, for a move whose caller runs none.
//
// When the source cursor has no rollback stack, no unit is open on its company
// and the target file belongs to the same company, the constructor attaches a
// stack of its own to the source cursor; every cursor the move opens after
// that shares it through the source's RollbackStack(). End() commits it when
// the move succeeded and rolls it back otherwise, then detaches it. In every
// other case the unit does nothing and the caller's unit (or the absence of
// one across companies) governs, as for any cursor.
class bkTransferUnit {
 public:
  bkTransferUnit(bkCursorBase& source, const tsioDataFile& target);
  // Rolls back and detaches when End() was not called.
  ~bkTransferUnit();
  bkTransferUnit(const bkTransferUnit&) = delete;
  bkTransferUnit& operator=(const bkTransferUnit&) = delete;

  // Ends the own unit (if any) on the move's result and returns that result;
  // a commit that fails is rolled back and reported as
  // RecWriteError(description, status).
  [[nodiscard]] ccStatus<TransferStatus> End(ccStatus<TransferStatus> result, const char* description);

 private:
  bkCursorBase* source_;
  std::optional<tclRollbackStack> own_;
};

// Copies the current record of `source` into `copy`, whose record binds every
// column: the stored record's values for the columns `source` does not bind,
// then the values of those it binds (as the caller holds them). kSuccess, or
// the status of reading the stored record; nothing is written.
template <typename Cursor>
[[nodiscard]] tsioStatus::Status bkCopyCurrentRecord(Cursor& source, Cursor& copy) {
  if (source.m_Record.Columns().size() < copy.m_Record.Columns().size()) {
    // Read the stored record by its key: the key columns the source binds
    // come from its record, the others from the handle's current record.
    Cursor stored(source.File());
    for (const auto& name : source.m_Record.KeyColumnNames()) {
      tsData* field = stored.m_Record.Find(name);
      if (field != nullptr && source.m_Record.Find(name) == nullptr) {
        const tsioStatus::Status status = source.GetColumnData(name, *field);
        if (status != tsioStatus::kSuccess) return status;
      }
    }
    stored.m_Record.SetData(source.m_Record);
    const tsioStatus::Status status = stored.FetchEQ(false);
    if (status != tsioStatus::kSuccess) return status;
    copy.m_Record.SetData(stored.m_Record);
  }
  copy.m_Record.SetData(source.m_Record);
  return tsioStatus::kSuccess;
}

// Makes the record `source` holds the handle's current record again and reads
// it by its key (with a lock when `lock`): SetBuffer, then an equal fetch on
// the key. A source cursor that reads by its key and binds every key column
// fetches itself; any other reads through a key cursor on the same handle and
// then takes the values read (Refresh). kSuccess or the failing status.
template <typename Cursor>
[[nodiscard]] tsioStatus::Status bkRereadByKey(Cursor& source, bool lock) {
  tsioStatus::Status status = source.SetBuffer();
  if (status != tsioStatus::kSuccess) return status;
  bool binds_key = true;
  for (const auto& name : source.m_Record.KeyColumnNames()) {
    binds_key = binds_key && source.m_Record.Find(name) != nullptr;
  }
  if (source.IndexID() == 0 && binds_key) return source.FetchEQ(lock);

  Cursor keyed(source.File(), source.m_Record.KeyColumns(), 0);
  for (const auto& name : source.m_Record.KeyColumnNames()) {
    if (tsData* field = keyed.m_Record.Find(name)) {
      status = source.GetColumnData(name, *field);
      if (status != tsioStatus::kSuccess) return status;
    }
  }
  status = keyed.FetchEQ(lock);
  if (status != tsioStatus::kSuccess) return status;
  // The handle is on the record now; the source's fields take its values.
  // (The record was just read, so this reads nothing unless `lock` is false.)
  (void)source.Refresh();
  return tsioStatus::kSuccess;
}

// How a move makes the source record current again before deleting it.
enum class bkRereadMode {
  kLockedByKey,               // re-read by key with a lock
  kBookmark,                  // return to the bookmark taken before the insert
  kLockedByKeyThenBookmark,   // both: re-read with a lock, then the bookmark
};

// Moves the current record of `source` into `target` (see the file comment).
// `retarget(record)` gives the copy its new transaction run and sequence.
// Result: value 0; or 1 (2 for a fatal I/O status) with message 1615 (insert),
// 1614 (reading the stored record, the re-read or the bookmark) or 1613
// (delete), each naming `description` and the I/O status.
template <typename Cursor, typename Retarget>
[[nodiscard]] ccStatus<TransferStatus> bkTransferRecord(Cursor& source, const tsioDataFile& target,
                                                        const char* description, bkRereadMode mode,
                                                        Retarget retarget) {
  bkTransferUnit unit(*source.CursorPtr(), target);
  Cursor copy(target);
  copy.AttachRollbackStack(source.RollbackStack());
  tsioStatus::Status status = bkCopyCurrentRecord(source, copy);
  if (status != tsioStatus::kSuccess) return unit.End(RecReadError(description, status), description);
  retarget(copy.m_Record);

  std::optional<tsioBookmark> mark;
  if (mode != bkRereadMode::kLockedByKey) mark.emplace(*source.CursorPtr());
  status = copy.Insert();
  if (status != tsioStatus::kSuccess) return unit.End(RecWriteError(description, status), description);

  // A lock the move takes on the source record is the move's to release
  // when it fails (a successful delete ends it).
  bool locked_here = false;
  if (mode == bkRereadMode::kBookmark) {
    status = mark->GoTo();
  } else {
    status = bkRereadByKey(source, true);
    locked_here = status == tsioStatus::kSuccess;
    if (mode == bkRereadMode::kLockedByKeyThenBookmark) {
      const tsioStatus::Status back = mark->GoTo();
      if (status == tsioStatus::kSuccess) status = back;
    }
  }
  if (status != tsioStatus::kSuccess) {
    if (locked_here) (void)source.Unlock();
    return unit.End(RecReadError(description, status), description);
  }

  status = source.Delete();
  if (status != tsioStatus::kSuccess) {
    if (locked_here) (void)source.Unlock();
    return unit.End(RecDeleteError(description, status), description);
  }
  return unit.End(ccStatus<TransferStatus>(kTransferDone), description);
}
