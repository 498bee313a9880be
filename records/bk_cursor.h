// bkCursor<T>: the typed cursor of a table. It owns one record of class T
// (the record buffer, a public member) and one framework cursor (the io
// cursor, a bkCursorBase on that record) over one record type and index of an
// open data file, and forwards every record operation to the io cursor.
//
// The file-bound cursor class of each table (BankAccount, Transaction, ...)
// derives from bkCursor<T> with its own record type. Every operation returns
// the framework's status unchanged; only Transfer builds a message.
//
// Differences from the io cursor's operations, on purpose:
//   Update(count)             update method 0;
//   Unlock()                  Unlock(1): releases the current record's lock;
//   AttachCondition(f, e, b)  condition connector 1 (AND);
//   DetachCondition()         DetachCondition(0);
//   FetchNextOf(record, lock) never locks: the io cursor is asked without lock.
#pragma once

#include <memory>

#include "framework/base/errors.h"
#include "framework/io/cursor.h"
#include "framework/io/data_file.h"
#include "framework/io/io_status.h"
#include "framework/io/record.h"
#include "framework/types/ts_data.h"
#include "framework/types/ts_string.h"
#include "records/bk_cursor_base.h"
#include "records/bk_export.h"
#include "records/messages.h"
#include "records/transfer_status.h"

class tclRollbackStack;

template <typename T>
class BK_EXPORT bkCursor {
 public:
  // The record buffer: every fetch fills it, every write takes its values.
  T m_Record;

  // A cursor over record type `record_type` of `file`, ordered by index
  // `index`, whose record binds the columns of `columns` ("" = all). The
  // table description is the record definition's text in the dictionary.
  bkCursor(const tsioDataFile& file, short record_type, const CString& columns, short index)
      : m_Record(columns),
        io_(std::make_unique<bkCursorBase>(&m_Record, file, record_type, index)),
        table_description_(bkCursorBase::RecordDescription(file, record_type)) {}
  bkCursor(const bkCursor&) = delete;
  bkCursor& operator=(const bkCursor&) = delete;
  // Deletes the io cursor, then the record.
  virtual ~bkCursor() { io_.reset(); }

  [[nodiscard]] virtual tsioStatus::Status FetchFirst(bool lock) { return io_->FetchFirst(lock); }
  [[nodiscard]] virtual tsioStatus::Status FetchLast(bool lock) { return io_->FetchLast(lock); }
  [[nodiscard]] virtual tsioStatus::Status FetchNext(bool lock) { return io_->FetchNext(lock); }
  [[nodiscard]] virtual tsioStatus::Status FetchCurrent(bool lock) { return io_->FetchCurrent(lock); }
  [[nodiscard]] virtual tsioStatus::Status FetchPrev(bool lock) { return io_->FetchPrev(lock); }
  [[nodiscard]] virtual tsioStatus::Status FetchEQ(bool lock) { return io_->FetchEQ(lock); }
  [[nodiscard]] virtual tsioStatus::Status FetchGE(bool lock) { return io_->FetchGE(lock); }
  [[nodiscard]] virtual tsioStatus::Status FetchGT(bool lock) { return io_->FetchGT(lock); }
  [[nodiscard]] virtual tsioStatus::Status SeekEQ() { return io_->SeekEQ(); }

  [[nodiscard]] virtual tsioStatus::Status Insert(short* count = nullptr) { return io_->Insert(count); }
  [[nodiscard]] virtual tsioStatus::Status InsertMovedRecord(short* count = nullptr) {
    return io_->InsertMovedRecord(count);
  }
  [[nodiscard]] virtual tsioStatus::Status Update(short* count = nullptr) { return io_->Update(count, 0); }
  [[nodiscard]] virtual tsioStatus::Status Delete() { return io_->Delete(); }
  [[nodiscard]] virtual tsioStatus::Status Lock() { return io_->Lock(); }
  virtual tsioStatus::Status Unlock() { return io_->Unlock(1); }
  // The current record's lock released when the open unit of work ends (at
  // once without one; tsioCursor::UnlockAtUnitEnd).
  tsioStatus::Status UnlockAtUnitEnd() { return io_->UnlockAtUnitEnd(); }
  [[nodiscard]] virtual tsioStatus::Status Locked() const { return io_->Locked(); }

  virtual void Initialize() { io_->Initialize(); }
  virtual void Clear() { io_->Clear(); }
  virtual tsioStatus::Status Refresh() { return io_->Refresh(); }

  virtual void AttachColumn(const CString& name, tsData& field) { io_->AttachColumn(name, field); }
  virtual tsioStatus::Status GetColumnData(const CString& name, tsData& out) const {
    return io_->GetColumnData(name, out);
  }
  virtual tsioStatus::Status SetColumnData(const CString& name, const tsData& value) {
    return io_->SetColumnData(name, value);
  }
  virtual void AttachRange(short segments) { io_->AttachRange(segments); }
  virtual void DetachRange() { io_->DetachRange(); }
  virtual void AttachCondition(short field, bool equal, bool ignore_blank) {
    io_->AttachCondition(field, equal, ignore_blank, 1);
  }
  virtual void DetachCondition() { io_->DetachCondition(0); }

  virtual short TableID() const { return io_->TableID(); }
  virtual short IndexID() const { return io_->IndexID(); }
  virtual const tsioDataFile& File() const { return io_->File(); }
  virtual bool AttachmentsExist() const { return io_->AttachmentsExist(); }
  virtual void ClearFileBuffers() const { io_->ClearFileBuffers(); }
  virtual const CString& TableDescription() const { return table_description_; }

  virtual void AttachRollbackStack(tclRollbackStack* stack) { io_->AttachRollbackStack(stack); }
  virtual void DetachRollbackStack() { io_->DetachRollbackStack(); }
  virtual tclRollbackStack* RollbackStack() const { return io_->RollbackStack(); }

  virtual bool IsRelToValid(const ccCursor& source, const ccRelSpec& rel) const {
    return io_->IsRelToValid(source, rel);
  }
  virtual bool IsRelFromValid(const ccCursor& target, const ccRelSpec& rel) const {
    return io_->IsRelFromValid(target, rel);
  }
  virtual bool IsDataValid(const ccRecData& record) const { return io_->IsDataValid(record); }

  // First/next record related to the source cursor's current record.
  [[nodiscard]] virtual tsioStatus::Status FetchFirstOf(const ccCursor& source, const ccRelSpec& rel, bool lock) {
    return io_->FetchFirstOf(source, rel, lock);
  }
  // First/next record whose leading key columns equal `record`'s key values.
  [[nodiscard]] virtual tsioStatus::Status FetchFirstOf(const ccRecData& record, bool lock) {
    return io_->FetchFirstOf(record, lock);
  }
  [[nodiscard]] virtual tsioStatus::Status FetchNextOf(const ccCursor& source, const ccRelSpec& rel, bool lock) {
    return io_->FetchNextOf(source, rel, lock);
  }
  // Never locks, whatever `lock` says.
  [[nodiscard]] virtual tsioStatus::Status FetchNextOf(const ccRecData& record, [[maybe_unused]] bool lock) {
    return io_->FetchNextOf(record, false);
  }

  // Moves (copies) the current record, with its notes and file links, to the
  // same record type of `target`.
  [[nodiscard]] virtual tsioStatus::Status MoveRecord(const tsioDataFile& target) { return io_->MoveRecord(target); }
  [[nodiscard]] virtual tsioStatus::Status CopyRecord(const tsioDataFile& target) { return io_->CopyRecord(target); }
  // MoveRecord (this cursor's own, through the virtual table); value 0 on
  // success, else ErrorTransferringRecord(TableDescription(), status):
  // message 1602 with value 2 for a fatal I/O status, 1 otherwise.
  virtual ccStatus<TransferStatus> Transfer(const tsioDataFile& target) {
    const tsioStatus::Status status = MoveRecord(target);
    if (status == tsioStatus::kSuccess) return ccStatus<TransferStatus>(kTransferDone);
    return ErrorTransferringRecord(TableDescription(), status);
  }
  [[nodiscard]] virtual tsioStatus::Status CopyNotes(const tsioDataFile& target) { return io_->CopyNotes(target); }
  [[nodiscard]] virtual tsioStatus::Status AppendNotes(const tsioDataFile& target) {
    return io_->AppendNotes(target);
  }
  virtual tsioStatus::Status SetBuffer() { return io_->SetBuffer(); }

  // The io cursor.
  operator bkCursorBase&() { return *io_; }              // NOLINT: converts on purpose
  operator const bkCursorBase&() const { return *io_; }  // NOLINT
  bkCursorBase* CursorPtr() const { return io_.get(); }
  // Deletes the current io cursor and adopts `cursor` (owned from now on; it
  // should work on this cursor's record). The io cursor held now, or nothing,
  // changes nothing: a typed cursor always has exactly one io cursor.
  void SetIOCursor(bkCursorBase* cursor) {
    if (cursor && cursor != io_.get()) io_.reset(cursor);
  }

 private:
  std::unique_ptr<bkCursorBase> io_;
  CString table_description_;
};
