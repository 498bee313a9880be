// RegisterBankLocker: the bank (edit-register) lock of one bank account.
//
// A program that edits a bank account's register holds that account's lock:
// a lock record (BKM record type 6, one per bank account) carrying this
// program's record lock. The lock counts as held only while a live program
// holds the record lock; a lock record left behind by a program that ended
// abnormally holds none, counts as free and is taken over by the next
// lockBank without inserting. A locker holds at most one bank at a time and
// releases it when destroyed. No operation waits or retries.
//
// Results (ccStatus<ccError::Level>): level 0 when all is well; level 3 with
// one message otherwise (2300 to 2305, tags "BankID" and "ioStatus"); the
// exceptions are stated per operation.
#pragma once

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "records/bk_export.h"
#include "locking/register_bank_lock.h"

class BK_EXPORT RegisterBankLocker {
 public:
  explicit RegisterBankLocker(const tsioDataFileReference& master);
  virtual ~RegisterBankLocker();
  RegisterBankLocker(const RegisterBankLocker&) = delete;
  RegisterBankLocker& operator=(const RegisterBankLocker&) = delete;

  // Takes the lock of `bank` (releasing any other this locker holds): level 0
  // when held; 2305 when another program holds it; level 3 without a message
  // for an empty id. When the bank held now cannot be released, nothing else
  // is locked: 2302 with the release's status, and the first bank stays held
  // and remembered.
  ccStatus<ccError::Level> lockBank(const CString& bank);
  // Releases the lock of `bank` and deletes its lock record: level 0 (also
  // for an empty id); 2304 when this locker does not hold `bank`; level 2
  // without a message when the lock record cannot be deleted (the lock stays
  // held).
  ccStatus<ccError::Level> unlockBank(const CString& bank);
  // Releases whatever this locker holds (level 0 when it holds nothing).
  ccStatus<ccError::Level> unlockBank();
  // Level 2 without a message when another program holds the lock of `bank`;
  // level 0 when it is free, when this locker holds it itself, or when the id
  // is empty; 2303 when the lock record cannot be read. Asking never releases
  // what this locker holds.
  ccStatus<ccError::Level> isBankLocked(const CString& bank);
  CString getLockedName() const { return m_LockedName; }

 private:
  // Deletes the lock record of the bank held (which ends its record lock)
  // and forgets its name; the failing status otherwise (`read_failed` tells
  // whether reading the lock record failed rather than deleting it).
  tsioStatus::Status Release(bool* read_failed);

  CString m_LockedName;
  tsioDataFileReference m_File;
  RegisterBankLock m_Cursor;
};
