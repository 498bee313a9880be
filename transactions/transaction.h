// Transaction: the cursor over register transactions (BKT record type 1) of an
// open transaction file, current or history.
//
// The typed cursor of the table (bkCursor<TransactionData>); the table's own
// operations are members of this class: creating a transaction in the
// program's batch, removing it, moving it with its details to another
// transaction file, clearing it into the bank balance.
//
// Units of work. Every operation works in the unit of work of the rollback
// stack attached to this cursor, which it begins before its first write, so
// that everything it writes (the run counter of the file's header, the
// record, its details, notes and attachments, the batch record, the bank
// account) commits or rolls back with the caller's unit; on a failure what
// was written stays for the caller to roll back (the operations never roll
// the caller's unit back). A cursor without a stack, on a company where no
// unit is open, runs each operation in a unit of its own, committed when the
// operation succeeds and rolled back when it fails, so such a call is all or
// nothing.
//
// Every operation works on the record the cursor holds: Create expects a
// filled, unsaved record; Remove, Transfer and clearTransaction the record
// just fetched (the file's current record).
#pragma once

#include <memory>

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "framework/types/values.h"
#include "records/bk_cursor.h"
#include "records/bk_export.h"
#include "records/transaction_data.h"
#include "records/transfer_status.h"

class BankAccount;
class TranTotals;
class bkProgram;
class bkRegisterTransactionRunLock;

extern template class bkCursor<TransactionData>;

class BK_EXPORT Transaction : public bkCursor<TransactionData> {
 public:
  // A cursor on `file` whose record binds `columns` ("" = all columns),
  // ordered by index `index` (0 = the key).
  explicit Transaction(const tsioDataFile& file, const CString& columns = "", short index = 0)
      : bkCursor(file, TransactionData::kRecordType, columns, index) {}

  // Validates the record with its validater, built on this cursor so that
  // deposits and withdrawals entered in this module have their detail lines
  // checked too (TransactionData::Validate).
  ccStatus<ccError::Level> Validate(bkProgram& program);

  // Writes the record as a new transaction of the program's current batch:
  //   1. run := the program's current run, sequence := the next sequence of
  //      the transaction file's header (bkProgram::BKTHeader); when no run
  //      can be taken, the header's message and nothing else;
  //   2. the batch fields from the program's batch (SetBatchFields);
  //   3. addition and subtraction rounded to 2 decimals;
  //   4. validated (TransactionData::Validate(program, nullptr): a validater
  //      kept from an earlier Validate through this cursor still checks the
  //      detail lines). An error (level 3 or more) writes nothing; unless
  //      `quiet`, a last message (number 0, level 0) says
  //      `<MessageText()> could not be created.`;
  //   5. inserted (failure: 1620 with the I/O status), counted into the
  //      module's part of the batch (TransactionData::UpdateBatchInfo,
  //      failure: 1618) and, unless that failed, added to `totals` (may be
  //      null) in the totals' current unit.
  // The messages of every step (validation warnings too); the value is the
  // highest level among them. The caller's rollback takes everything back,
  // the run counter and the batch record too; the batch's parts and the
  // totals follow the caller's units as the program keeps them
  // (zzBatch::InitUnitOfWork, Commit, Rollback; TranTotals likewise). In a
  // unit of its own the operation keeps the batch's unit itself.
  ccStatus<ccError::Level> Create(bkProgram& program, TranTotals* totals, bool quiet = false);

  // Deletes the record (with its notes and attachments; failure: 1619 with
  // the I/O status, nothing else changes), then uncounts it from the
  // module's part of the program's batch (failure: 1618, the part unchanged)
  // and, unless that failed, subtracts it from `totals` (may be null). A
  // transaction counted by Create is uncounted by Remove with the same
  // amount. Its details are the caller's to remove.
  ccStatus<ccError::Level> Remove(bkProgram& program, TranTotals* totals);

  // The family move to the same record type of another file (MoveRecord).
  using bkCursor<TransactionData>::Transfer;
  // Moves the transaction into `target` (another transaction file: the
  // history, usually) under run `run` and sequence `sequence`, marked
  // posted:
  //   1. the details that belong to its type, each fetched with a lock and
  //      moved by its own Transfer: a deposit's items with their lines
  //      (DepositItem::Transfer), a withdrawal's details
  //      (WithdrawalDetail::Transfer); checks and adjustments have none; any
  //      other type shows "Invalid transaction type." and moves the record
  //      alone. The walk must end at "no more details": a detail that cannot
  //      be read (held by another program, a damaged file) fails the move
  //      with 1614 "deposit item" / "withdrawal detail", a detail that cannot
  //      be moved with its move's message;
  //   2. its notes and file links read (failure 1621 "transaction");
  //   3. the copy (every stored column, whatever this cursor binds) inserted
  //      into `target` (failure 1615 "transaction"), the notes and file links
  //      written to it (failure 1622);
  //   4. the source record made current again (failure 1614 "transaction")
  //      and deleted with its notes (failure 1613 "transaction").
  // Value 0 when all of it moved; otherwise the first failure: 1, or 2 when
  // the I/O status is fatal, with one message. The transaction never leaves
  // this file while one of its details stays behind. Cash, tax and tax GL
  // details are not moved here (TransferWithDetails moves them too).
  [[nodiscard]] ccStatus<TransferStatus> Transfer(const tsioDataFile& target, const tsDouble& run,
                                                 const tsDouble& sequence);

  // The move a posting program makes: every detail of the transaction and
  // then the transaction itself, into `target` under `run` and `sequence`:
  //   1. its cash details (CashDetail::Transfer);
  //   2. each tax detail, its tax GL details first (TaxGLDetail::Transfer,
  //      then TaxDetail::Transfer), then any tax GL detail of the transaction
  //      that belongs to no tax detail;
  //   3. Transfer above (deposit items with their lines or withdrawal
  //      details, notes and attachments, the record).
  // Each detail is fetched with a lock; one that cannot be read fails the
  // move with 1614 naming its kind. Result as Transfer; every detail keeps
  // its own run and sequence where it has them (CDRUN/CDSEQ,
  // TXTXRUN/TXTXSEQ, TGTXRUN/TGTXSEQ).
  [[nodiscard]] ccStatus<TransferStatus> TransferWithDetails(const tsioDataFile& target, const tsDouble& run,
                                                             const tsDouble& sequence);
  // Queues, on a server, the first reads TransferWithDetails of the
  // transaction with the record's key makes (its cash, tax and tax GL
  // details, deposit items and withdrawal details, whichever its type has,
  // and its notes), to be asked with the unit's next request
  // (framework/io/command_reads.h); nothing on an embedded database.
  void PrefetchTransferReads();


  // Clears the posted transaction the cursor holds: it is marked cleared
  // (TRECOND 2) with `amount` and `date` (TRECAMT, TRECDT) and taken out of
  // the reconciliation in progress (TCURREC 2), and its bank account's
  // balances and totals move with it (Transaction operations of
  // BankAccount, the record then written):
  //   - bank balance (UpdateBankBalance with `run` and `lock`): by `amount`
  //     less what the transaction had already brought into it (its stored
  //     cleared amount when it was cleared or reconciled already), so a
  //     transaction cleared again is never counted twice;
  //   - open totals (counted while the state is 1): it leaves them when it
  //     was open (ChangeOpenTotals by its kind and net amount);
  //   - unreconciled totals (counted while the state is not 3): it enters
  //     them again when it was reconciled (ChangeUnreconciledTotals).
  // The transaction is read again by its key with its lock before it
  // changes, so these follow the stored state, not a stale copy.
  //
  // `bank` is the caller's bank-account cursor: used as it is when it holds
  // the transaction's bank account and binds every column; else, when it
  // reads by the key and binds every column, repositioned on that account
  // and returned to its former position afterwards; else a cursor of its
  // own on the same file (sharing `bank`'s rollback stack, or this
  // cursor's) does the work. The bank account is locked first, then the
  // transaction; both are written, and the locks the clearing took are
  // released when the unit of work they were written in ends (at once in a
  // unit of the clearing's own), so no other program reads either before
  // the change commits. A lock the caller held before stays held.
  //
  // One message per failure, checked in this order: 2004 not posted;
  // 1608 "Bank Account Cursor" / "NULL"; 1608 "Cleared Date" / "Empty";
  // 2000 no such bank account; 2001 for the lock, update or unlock of the
  // bank account or the transaction that failed. After a failure every lock
  // taken here is released and the caller's cursor is back where it was;
  // what was written stays for the caller's rollback. After success a
  // cursor that cannot be put back gives warning 2002.
  ccStatus<ccError::Level> clearTransaction(const tsCurrency& amount, const tsDate& date, BankAccount* bank,
                                            const tsDouble& run, bkRegisterTransactionRunLock* lock);

 private:
  // After a failed clearing: releases the locks the clearing took on this
  // transaction and on the bank account of `used` (a lock `caller` or this
  // cursor held before the clearing stays held). The bank cursor made by
  // the clearing goes with it.
  void clearTransactionErrorCleanup(BankAccount* caller, BankAccount* used);

  // Locks the clearing took (a lock held before is not the clearing's).
  bool m_ClearLockedTransaction = false;
  bool m_ClearLockedBank = false;
};
