// Transaction: the operations of the register-transaction cursor: creating
// and removing a transaction in its batch, moving it with its details to
// another transaction file, clearing it into its bank account's balance.
#include "transactions/transaction.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "accounts/bank_account.h"
#include "deposits/cash_detail.h"
#include "deposits/deposit_item.h"
#include "deposits/detail_transfer.h"
#include "deposits/tax_detail.h"
#include "deposits/tax_gl_detail.h"
#include "deposits/withdrawal_detail.h"
#include "framework/base/application.h"
#include "framework/batch/batch.h"
#include "framework/io/attachments.h"
#include "framework/io/bookmark.h"
#include "framework/io/company.h"
#include "framework/io/dictionary.h"
#include "framework/io/lock_file.h"
#include "framework/io/rollback_stack.h"
#include "programs/bk_program.h"
#include "records/messages.h"
#include "records/relations.h"
#include "transactions/transaction_file_header.h"
#include "validation/tran_totals.h"

namespace {

constexpr const char kTransactionText[] = "transaction";

// The unit of work one operation writes in (see transaction.h): the
// caller's, begun before the first write; or, when the caller runs none and
// no unit is open on the company, one of the operation's own, shared by the
// cursors it writes through and ended with the operation.
class OperationUnit {
 public:
  OperationUnit(const tsioDataFile& file, tclRollbackStack* caller) : file_(file) {
    if (caller != nullptr) {
      stack_ = caller;
    } else if (file.IsOpen() && !file.Company().InUnit()) {
      own_.emplace();
      stack_ = &*own_;
    }
  }
  ~OperationUnit() {
    if (own_) (void)End(false);
  }
  OperationUnit(const OperationUnit&) = delete;
  OperationUnit& operator=(const OperationUnit&) = delete;

  // A cursor the operation writes through takes the operation's own stack
  // until the end (the caller's unit needs nothing: every change made on the
  // company while it is open belongs to it).
  void Share(bkCursorBase& cursor) {
    if (!own_ || cursor.RollbackStack() != nullptr) return;
    cursor.AttachRollbackStack(&*own_);
    shared_.push_back(&cursor);
  }
  // Whether the operation runs in a unit of its own.
  bool Own() const { return own_.has_value(); }
  // Begins the unit (kSuccess when there is none to begin).
  [[nodiscard]] tsioStatus::Status Begin() {
    if (stack_ == nullptr || !file_.IsOpen()) return tsioStatus::kSuccess;
    return stack_->EnsureBegun(file_.Company());
  }
  // Ends the operation's own unit: committed after a success, else rolled
  // back. kSuccess, or the status of a commit that failed (the unit is then
  // rolled back). The caller's unit is left to the caller.
  [[nodiscard]] tsioStatus::Status End(bool success) {
    for (bkCursorBase* cursor : shared_) cursor->DetachRollbackStack();
    shared_.clear();
    if (!own_) return tsioStatus::kSuccess;
    tsioStatus::Status status = tsioStatus::kSuccess;
    if (success) {
      status = own_->Commit();
      if (status != tsioStatus::kSuccess) (void)own_->Rollback();
    } else {
      (void)own_->Rollback();
    }
    own_.reset();
    return status;
  }

 private:
  const tsioDataFile& file_;
  tclRollbackStack* stack_ = nullptr;
  std::optional<tclRollbackStack> own_;
  std::vector<bkCursorBase*> shared_;
};

// Whether the handle of `cursor` holds the lock of the handle's current
// record (of the cursor's record type).
bool HoldsCurrentLock(const bkCursorBase& cursor) {
  if (!cursor.State().positioned) return false;
  const tsioDataFile& file = cursor.File();
  return file.Locks().Holds(tsioLockFile::Identity(file.Spec().Code(), file.Spec().Instance(), cursor.TableID(),
                                                   cursor.CurrentKeyText()));
}

// The text of Create's last message: the transaction's message text, then
// "could not be created.".
std::string NotCreatedText(const TransactionData& record) {
  std::string text = record.MessageText();
  if (!text.empty() && text.back() != ' ') text += ' ';
  return text + "could not be created.";
}

// The batch's side of an operation's own unit of work: its parts keep their
// totals when the unit begins and take them back when it is rolled back (a
// caller running its own unit keeps the batch's units itself).
class BatchUnit {
 public:
  BatchUnit(zzBatch& batch, bool own) : batch_(own ? &batch : nullptr) {
    if (batch_ != nullptr) batch_->InitUnitOfWork();
  }
  ~BatchUnit() { End(false); }
  BatchUnit(const BatchUnit&) = delete;
  BatchUnit& operator=(const BatchUnit&) = delete;
  void End(bool committed) {
    if (batch_ == nullptr) return;
    if (committed) {
      (void)batch_->Commit();
    } else {
      batch_->Rollback();
    }
    batch_ = nullptr;
  }

 private:
  zzBatch* batch_;
};

// Moves every record `details` finds through `rel` from `owner` into
// `target` under `run` and `sequence`, each fetched with a lock and moved
// by `move(details)`. The walk must end at "no more records": any other
// fetch status fails the move with 1614 naming `description` (value 1, or 2
// when fatal); a move that fails ends the walk with its own status. The
// record fetched last is unlocked whatever happens (a moved record's delete
// released it).
template <typename Details, typename Move>
ccStatus<TransferStatus> MoveRelated(Details& details, const bkCursorBase& owner, const ccRelSpec& rel,
                                     const char* description, Move move) {
  ccStatus<TransferStatus> moved(kTransferDone);
  bool holding = false;
  tsioStatus::Status fetch = details.FetchFirstOf(owner, rel, true);
  while (fetch == tsioStatus::kSuccess) {
    holding = true;
    moved = move(details);
    if (moved.Value() != kTransferDone) break;
    holding = false;
    fetch = details.FetchNextOf(owner, rel, true);
  }
  if (holding) (void)details.Unlock();
  if (moved.Value() != kTransferDone) return moved;
  if (fetch != tsioStatus::kEndOfFile) return RecReadError(description, fetch);
  return moved;
}

// A cursor of class C on `file` sharing `stack`.
template <typename C>
std::unique_ptr<C> DetailCursor(const tsioDataFile& file, tclRollbackStack* stack) {
  auto cursor = std::make_unique<C>(file);
  if (stack != nullptr) cursor->AttachRollbackStack(stack);
  return cursor;
}

}  // namespace

ccStatus<ccError::Level> Transaction::Validate(bkProgram& program) { return m_Record.Validate(program, this); }

ccStatus<ccError::Level> Transaction::Create(bkProgram& program, TranTotals* totals, bool quiet) {
  ccStatus<ccError::Level> status(ccError::kNone);
  OperationUnit unit(File(), RollbackStack());
  unit.Share(*CursorPtr());
  // Begun before the run is taken, so the header's counter rolls back with
  // the caller's unit as well.
  tsioStatus::Status io = unit.Begin();
  if (io != tsioStatus::kSuccess) return status += bktTranWriteError(m_Record.MessageText(), io);

  TransactionFileHeader* header = program.BKTHeader();
  const ccStatus<ccBoolStatus> run = header != nullptr ? m_Record.SetRunAndSequence(*header)
                                                       : bktHeaderReadError(tsioStatus::kFileNotOpen);
  if (run.Value() != kBoolSuccess) {
    (void)unit.End(false);
    return status += run;
  }
  zzBatch& batch = program.GetBatch();
  BatchUnit batch_unit(batch, unit.Own());
  m_Record.SetBatchFields(batch);
  tsCurrency addition = m_Record.GetAddition();
  addition.Round(2);
  m_Record.SetAddition(addition);
  tsCurrency subtraction = m_Record.GetSubtraction();
  subtraction.Round(2);
  m_Record.SetSubtraction(subtraction);

  status += m_Record.Validate(program, nullptr);
  if (status.MaxLevel() >= ccError::kError) {
    if (!quiet) status.Add(ccError(0, ccError::kNone, NotCreatedText(m_Record)));
    status.SetValue(status.MaxLevel());
    (void)unit.End(false);
    return status;
  }

  io = Insert();
  if (io != tsioStatus::kSuccess) {
    (void)unit.End(false);
    return status += bktTranWriteError(m_Record.MessageText(), io);
  }
  const ccStatus<ccError::Level> counted = m_Record.UpdateBatchInfo(batch, false);
  status += counted;
  if (counted.MaxLevel() >= ccError::kError) {
    (void)unit.End(false);
    return status;
  }
  io = unit.End(true);
  // The operation's own unit: when it could not be committed nothing was
  // written, and the batch's parts take their totals back.
  batch_unit.End(io == tsioStatus::kSuccess);
  if (io != tsioStatus::kSuccess) return status += bktTranWriteError(m_Record.MessageText(), io);
  if (totals != nullptr && status.MaxLevel() < ccError::kError) totals->AddTransaction(m_Record);
  return status;
}

ccStatus<ccError::Level> Transaction::Remove(bkProgram& program, TranTotals* totals) {
  ccStatus<ccError::Level> status(ccError::kNone);
  // The batch and the totals take the stored amounts, also from a cursor
  // that binds only some columns.
  Transaction full(File());
  tsioStatus::Status io = bkCopyCurrentRecord(*this, full);
  if (io != tsioStatus::kSuccess) return bktTranDeleteError(m_Record.MessageText(), io);
  TransactionData& removed = full.m_Record;

  OperationUnit unit(File(), RollbackStack());
  unit.Share(*CursorPtr());
  io = unit.Begin();
  if (io == tsioStatus::kSuccess) io = Delete();
  if (io != tsioStatus::kSuccess) {
    (void)unit.End(false);
    return bktTranDeleteError(removed.MessageText(), io);
  }
  zzBatch& batch = program.GetBatch();
  BatchUnit batch_unit(batch, unit.Own());
  const ccStatus<ccError::Level> uncounted = removed.UpdateBatchInfo(batch, true);
  status += uncounted;
  if (uncounted.MaxLevel() >= ccError::kError) {
    (void)unit.End(false);
    return status;
  }
  io = unit.End(true);
  batch_unit.End(io == tsioStatus::kSuccess);
  if (io != tsioStatus::kSuccess) return status += bktTranDeleteError(removed.MessageText(), io);
  if (totals != nullptr) totals->SubtractTransaction(removed);
  return status;
}

ccStatus<TransferStatus> Transaction::Transfer(const tsioDataFile& target, const tsDouble& run,
                                               const tsDouble& sequence) {
  bkTransferUnit unit(*CursorPtr(), target);

  // 1. The copy: every stored column, under the new run and sequence, posted.
  Transaction copy(target);
  copy.AttachRollbackStack(RollbackStack());
  tsioStatus::Status io = bkCopyCurrentRecord(*this, copy);
  if (io != tsioStatus::kSuccess) return unit.End(RecReadError(kTransactionText, io), kTransactionText);
  copy.m_Record.SetRun(run);
  copy.m_Record.SetSequence(sequence);
  copy.m_Record.SetPosted(tsBool(true));

  // 2. The details of its type, before the transaction itself.
  {
    ccStatus<TransferStatus> details(kTransferDone);
    switch (copy.m_Record.GetType().Value()) {
      case 1:
      case 4:
        break;
      case 2: {
        auto items = DetailCursor<DepositItem>(File(), RollbackStack());
        details = MoveRelated(*items, *CursorPtr(), TransactionDepositItemsRel, "deposit item",
                              [&](DepositItem& item) { return item.Transfer(target, run, sequence); });
        break;
      }
      case 3: {
        auto lines = DetailCursor<WithdrawalDetail>(File(), RollbackStack());
        details = MoveRelated(*lines, *CursorPtr(), TransactionWithdrawalDetailsRel, "withdrawal detail",
                              [&](WithdrawalDetail& line) { return line.Transfer(target, run, sequence); });
        break;
      }
      default:
        TSGetApp()->Message("Invalid transaction type.");
        break;
    }
    if (details.Value() != kTransferDone) return unit.End(details, kTransactionText);
  }

  // 3. Its notes and file links.
  tsioAttachments source_attachments(File(), TableID());
  tsioAttachments target_attachments(target, TableID());
  bool attachments_read = false;
  if (xio_find_notes(File().FileNum(), TableID()) || xio_find_file_links(File().FileNum(), TableID())) {
    io = source_attachments.Fetch(*CursorPtr());
    if (io != tsioStatus::kSuccess) {
      return unit.End(RecAttachmentsReadError(kTransactionText, io), kTransactionText);
    }
    attachments_read = true;
  }

  // 4. The copy and its attachments written, the source deleted.
  tsioBookmark mark(*CursorPtr());
  io = copy.Insert();
  if (io != tsioStatus::kSuccess) return unit.End(RecWriteError(kTransactionText, io), kTransactionText);
  if (attachments_read) {
    target_attachments.CopyFrom(source_attachments);
    io = target_attachments.Write(*copy.CursorPtr());
    if (io != tsioStatus::kSuccess) return unit.End(TranNotesError(io), kTransactionText);
  }
  io = SetBuffer();
  if (io == tsioStatus::kSuccess) io = mark.GoTo();
  if (io != tsioStatus::kSuccess) return unit.End(RecReadError(kTransactionText, io), kTransactionText);
  io = Delete();
  if (io != tsioStatus::kSuccess) return unit.End(RecDeleteError(kTransactionText, io), kTransactionText);
  return unit.End(ccStatus<TransferStatus>(kTransferDone), kTransactionText);
}

void Transaction::PrefetchTransferReads() {
  // The same cursors' first reads (a locked walk finds its first record
  // unlocked, then locks it): the statements are shared by their text.
  const bkCursorBase& self = *CursorPtr();
  CashDetail(File()).CursorPtr()->PrefetchFirstOf(self, TransactionCashDetailsRel, true);
  TaxDetail(File()).CursorPtr()->PrefetchFirstOf(self, TransactionTaxDetailsRel, true);
  TaxGLDetail(File()).CursorPtr()->PrefetchFirstOf(self, TransactionTaxGLDetailsRel, true);
  // Its type is not read yet: both kinds of lines are asked for.
  DepositItem(File()).CursorPtr()->PrefetchFirstOf(self, TransactionDepositItemsRel, true);
  WithdrawalDetail(File()).CursorPtr()->PrefetchFirstOf(self, TransactionWithdrawalDetailsRel, true);
  if (xio_find_notes(File().FileNum(), TableID()) || xio_find_file_links(File().FileNum(), TableID())) {
    tsioAttachments(File(), TableID()).Prefetch(self.RecordKeyText());
  }
}

ccStatus<TransferStatus> Transaction::TransferWithDetails(const tsioDataFile& target, const tsDouble& run,
                                                          const tsDouble& sequence) {
  bkTransferUnit unit(*CursorPtr(), target);
  tclRollbackStack* stack = RollbackStack();

  auto cash = DetailCursor<CashDetail>(File(), stack);
  ccStatus<TransferStatus> moved =
      MoveRelated(*cash, *CursorPtr(), TransactionCashDetailsRel, "cash detail",
                  [&](CashDetail& detail) { return detail.Transfer(target, run, sequence); });
  if (moved.Value() != kTransferDone) return unit.End(moved, kTransactionText);

  // Each tax detail after its tax GL details.
  auto tax = DetailCursor<TaxDetail>(File(), stack);
  auto tax_gl = DetailCursor<TaxGLDetail>(File(), stack);
  moved = MoveRelated(*tax, *CursorPtr(), TransactionTaxDetailsRel, "tax detail", [&](TaxDetail& detail) {
    ccStatus<TransferStatus> lines =
        MoveRelated(*tax_gl, detail, TaxDetailTaxGLDetailsRel, "tax gl detail",
                    [&](TaxGLDetail& line) { return line.Transfer(target, run, sequence); });
    if (lines.Value() != kTransferDone) return lines;
    return detail.Transfer(target, run, sequence);
  });
  if (moved.Value() != kTransferDone) return unit.End(moved, kTransactionText);
  // Tax GL details of the transaction that belong to no tax detail.
  moved = MoveRelated(*tax_gl, *CursorPtr(), TransactionTaxGLDetailsRel, "tax gl detail",
                      [&](TaxGLDetail& line) { return line.Transfer(target, run, sequence); });
  if (moved.Value() != kTransferDone) return unit.End(moved, kTransactionText);

  return unit.End(Transfer(target, run, sequence), kTransactionText);
}

ccStatus<ccError::Level> Transaction::clearTransaction(const tsCurrency& amount, const tsDate& date,
                                                       BankAccount* bank, const tsDouble& run,
                                                       bkRegisterTransactionRunLock* lock) {
  if (!m_Record.GetPosted()) return CannotClearUnpostedTransaction();
  if (bank == nullptr) return bktBlankFieldError("Bank Account Cursor", "NULL", ccError::kError);
  if (date.IsEmpty()) return bktBlankFieldError("Cleared Date", "Empty", ccError::kError);
  m_ClearLockedTransaction = false;
  m_ClearLockedBank = false;

  // The caller's cursor, as it stands.
  bkCursorBase& caller_io = *bank->CursorPtr();
  tsioBookmark mark(caller_io);
  if (caller_io.State().positioned) (void)bank->Refresh();

  // The bank cursor to work with: written through, so it must bind every
  // column (a cursor over some columns would silently drop the totals).
  const bool binds_all = bank->m_Record.Columns().size() >= BankAccountData().Columns().size();
  const bool holds = binds_all && caller_io.State().positioned &&
                     bank->m_Record.GetBankAccount() == m_Record.GetBankAccount();
  std::unique_ptr<BankAccount> own;
  BankAccount* used = bank;
  bool moved = false;  // the handle's position was moved and is to be put back
  // Puts the caller's cursor back where it was; the status of doing so.
  auto put_back = [&]() -> tsioStatus::Status {
    own.reset();
    if (!moved) {
      return holds ? bkRereadByKey(*bank, false) : tsioStatus::kSuccess;
    }
    tsioStatus::Status status = mark.GoTo();
    if (status == tsioStatus::kSuccess && caller_io.State().positioned) status = bank->Refresh();
    return status;
  };
  auto failed = [&](ccStatus<ccError::Level> message) {
    clearTransactionErrorCleanup(bank, used);
    (void)put_back();
    return message;
  };

  if (!holds) {
    if (!binds_all || bank->IndexID() != 0) {
      own = std::make_unique<BankAccount>(bank->File());
      tclRollbackStack* stack = bank->RollbackStack() != nullptr ? bank->RollbackStack() : RollbackStack();
      if (stack != nullptr) own->AttachRollbackStack(stack);
      used = own.get();
    }
    // Any fetch moves the handle's position, the caller's too.
    moved = true;
    const tsioStatus::Status found = used->FetchFirstOf(*CursorPtr(), TransactionBankAccountRel, false);
    if (found == tsioStatus::kEndOfFile || found == tsioStatus::kNotFound) {
      return failed(NoAssociatedBankAccountRecord(m_Record.GetBankAccount().str()));
    }
    if (found != tsioStatus::kSuccess) return failed(CannotActionRecordBecause("Read", "Bank Account", found));
  }

  // The bank account first, then the transaction, each read again with its
  // lock.
  const bool bank_held = HoldsCurrentLock(*used->CursorPtr());
  tsioStatus::Status io = used->FetchEQ(true);
  if (io != tsioStatus::kSuccess) return failed(CannotActionRecordBecause("Lock", "Bank Account", io));
  m_ClearLockedBank = !bank_held;

  io = SetBuffer();
  const bool transaction_held = io == tsioStatus::kSuccess && HoldsCurrentLock(*CursorPtr());
  if (io == tsioStatus::kSuccess) io = bkRereadByKey(*this, true);
  if (io != tsioStatus::kSuccess) return failed(CannotActionRecordBecause("Lock", "Transaction", io));
  m_ClearLockedTransaction = !transaction_held;
  if (!m_Record.GetPosted()) return failed(CannotClearUnpostedTransaction());

  const int old_state = m_Record.GetReconciled().Value();
  const tsCurrency old_amount = m_Record.GetClearedAmount();
  const tsDate old_date = m_Record.GetClearedDate();
  const tsChoice old_in_progress = m_Record.GetReconcileInProgress();
  auto restore_record = [&] {
    m_Record.SetReconciled(tsChoice(old_state));
    m_Record.SetClearedAmount(old_amount);
    m_Record.SetClearedDate(old_date);
    m_Record.SetReconcileInProgress(old_in_progress);
  };
  m_Record.SetReconciled(tsChoice(TransactionData::kStateCleared));
  m_Record.SetClearedAmount(amount);
  m_Record.SetClearedDate(date);
  m_Record.SetReconcileInProgress(tsChoice(2));

  OperationUnit unit(File(), RollbackStack() != nullptr ? RollbackStack() : used->RollbackStack());
  unit.Share(*CursorPtr());
  unit.Share(*used->CursorPtr());
  io = unit.Begin();
  if (io == tsioStatus::kSuccess) io = Update();
  if (io != tsioStatus::kSuccess) {
    restore_record();
    (void)unit.End(false);
    return failed(CannotActionRecordBecause("Update", "Transaction", io));
  }
  // The locks the clearing took end with the unit it writes in: until that
  // commits, no other program reads the transaction or the account and
  // writes an older copy back over the clearing.
  if (m_ClearLockedTransaction) {
    io = UnlockAtUnitEnd();
    if (io != tsioStatus::kSuccess) {
      restore_record();
      (void)unit.End(false);
      return failed(CannotActionRecordBecause("Unlock", "Transaction", io));
    }
    m_ClearLockedTransaction = false;
  }

  // The bank account: what the transaction brought into the bank balance
  // before (its cleared amount, when it was cleared or reconciled already)
  // is replaced by the amount cleared now; it leaves the open totals when it
  // was open, and comes back into the unreconciled totals when it was
  // reconciled.
  const bool was_in_bank = old_state == TransactionData::kStateCleared || old_state == TransactionData::kStateReconciled;
  used->UpdateBankBalance(was_in_bank ? tsCurrency(amount - old_amount) : amount, run, lock);
  const tsDouble net = m_Record.GetAmount();
  const bkTranType kind = static_cast<bkTranType>(m_Record.GetType().Value());
  (void)used->ChangeOpenTotals(net, kind, TransactionData::kStateCleared, static_cast<unsigned short>(old_state));
  (void)used->ChangeUnreconciledTotals(net, kind, TransactionData::kStateCleared,
                                       static_cast<unsigned short>(old_state));
  io = used->Update();
  if (io != tsioStatus::kSuccess) {
    restore_record();
    (void)unit.End(false);
    return failed(CannotActionRecordBecause("Update", "Bank Account", io));
  }
  if (m_ClearLockedBank) {
    io = used->UnlockAtUnitEnd();
    if (io != tsioStatus::kSuccess) {
      restore_record();
      (void)unit.End(false);
      return failed(CannotActionRecordBecause("Unlock", "Bank Account", io));
    }
    m_ClearLockedBank = false;
  }
  io = unit.End(true);
  if (io != tsioStatus::kSuccess) {
    restore_record();
    return failed(CannotActionRecordBecause("Update", "Bank Account", io));
  }

  io = put_back();
  if (io != tsioStatus::kSuccess) return CannotReturnToBookmarkedPositionBecause(io);
  return ccStatus<ccError::Level>(ccError::kNone);
}

void Transaction::clearTransactionErrorCleanup(BankAccount* caller, BankAccount* used) {
  if (m_ClearLockedTransaction) (void)Unlock();
  m_ClearLockedTransaction = false;
  BankAccount* bank = used != nullptr ? used : caller;
  if (m_ClearLockedBank && bank != nullptr) (void)bank->Unlock();
  m_ClearLockedBank = false;
}
