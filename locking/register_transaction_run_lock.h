// bkRegisterTransactionRunLock: run markers and the active-run lock of the
// transaction file, and the register and bank amounts of whole runs.
//
// Run markers are records (bank account, run) of BKT record type 7; the
// active-run record of a run has a blank bank account and is held locked,
// while a posting program writes the run, through a second handle on the
// same file that nothing else in the program uses, so fetches, unlocks and
// buffer clearing on the program's other cursors cannot drop it. A marker or
// active-run record without a record lock belongs to no live program. No
// operation waits or retries; earlier effects are not rolled back when a
// later step fails.
//
// Messages (level 3): 2400 deleting a marker failed, 2401 locking a marker
// failed other than by another program's lock, 2402 walking a bank's markers
// failed, 2403 inserting a marker failed, 2404 reading a run's transactions
// failed. Tags "BankID", "tranRun", "ioStatus".
#pragma once

#include <memory>
#include <optional>
#include <set>

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/values.h"
#include "records/bk_export.h"
#include "transactions/transaction.h"
#include "locking/transaction_run_lock.h"

class BK_EXPORT bkRegisterTransactionRunLock {
 public:
  using RunSet = std::set<tsDouble, std::less<tsDouble>>;

  explicit bkRegisterTransactionRunLock(const tsioDataFile& transactions);
  // Removes the active run, then releases the active-run cursor and handle.
  ~bkRegisterTransactionRunLock();
  bkRegisterTransactionRunLock(const bkRegisterTransactionRunLock&) = delete;
  bkRegisterTransactionRunLock& operator=(const bkRegisterTransactionRunLock&) = delete;

  // Inserts a marker (bank, run) for each run, ascending; stops at the first
  // failure (2403), keeping the markers inserted before it.
  ccStatus<ccError::Level> CreateTransactionRunLocks(const tsAlpha& bank, const RunSet& runs);
  // Deletes every marker of `bank` that no live program holds; the runs of
  // markers another program holds are added to `locked` (when given). With a
  // blank bank this walks the active-run records.
  ccStatus<ccError::Level> DeleteTransactionRunLocks(const tsAlpha& bank, RunSet* locked = nullptr);
  // True exactly when `bank` has a marker for a higher run and none for `run`.
  bool TransactionRunExcluded(const tsAlpha& bank, const tsDouble& run);
  // Makes `run` the active run held by this object: the status of taking the
  // active-run record's lock (0, 9 when another program holds the run, or a
  // failure to open the private handle or insert the record). Another run
  // active here is removed first; when that fails its status is returned and
  // that run stays active.
  tsioStatus::Status LockActiveRun(const tsDouble& run);
  // Deletes the active-run record of the run this object holds (0 when it
  // holds none, or when the record is already gone).
  tsioStatus::Status RemoveActiveRun();
  // Adds the amounts of the transactions of (bank, run) to `register_amount`,
  // and of those cleared or reconciled to `bank_amount` (not reset first).
  ccStatus<ccError::Level> TransactionRunBalances(Transaction& cursor, const tsAlpha& bank, const tsDouble& run,
                                                  tsCurrency& register_amount, tsCurrency& bank_amount) const;
  // TransactionRunBalances over each run, ascending, until the first failure.
  ccStatus<ccError::Level> ExcludedRunsBalances(const tsAlpha& bank, const RunSet& runs, tsCurrency& register_amount,
                                                tsCurrency& bank_amount);

 private:
  TransactionRunLock m_Cursor;
  std::unique_ptr<TransactionRunLock> m_ActiveCursor;
  std::unique_ptr<tsioDataFile> m_ActiveFile;
  // The run whose active-run record this object holds locked.
  std::optional<tsDouble> m_ActiveRun;
};
