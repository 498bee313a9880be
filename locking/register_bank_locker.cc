// Bank (edit-register) locks.
#include "locking/register_bank_locker.h"

#include "framework/base/tag_values.h"
#include "locking/lock_messages.h"
#include "framework/io/rollback_stack.h"

RegisterBankLocker::RegisterBankLocker(const tsioDataFileReference& master)
    : m_File(master), m_Cursor(master.File(), "", 0) {}

RegisterBankLocker::~RegisterBankLocker() { (void)unlockBank(); }

ccStatus<ccError::Level> RegisterBankLocker::lockBank(const CString& bank) {
  if (bank.empty()) return ccStatus<ccError::Level>(ccError::kError);
  if (!m_LockedName.empty() && m_LockedName != bank) {
    // The bank held now must be released before another is taken; when it
    // cannot be, this locker keeps holding (and remembering) it, so a later
    // unlockBank or the destructor can still release it.
    tsioStatus::Status released = Release(nullptr);
    if (released != tsioStatus::kSuccess) return bkLockMessage(2302, bank, released);
  }
  m_Cursor.ClearFileBuffers();
  m_Cursor.m_Record.SetBankAccount(tsAlpha(bank));
  tsioStatus::Status st = m_Cursor.FetchEQ(true);
  if (st == tsioStatus::kNotFound) {
    tsioWaitingWrites waiting(m_Cursor.File().Company());
    st = m_Cursor.Insert();
    if (st == tsioStatus::kDuplicateKey) {
      // Another program inserted the record between our read and our insert:
      // its lock decides, as if it had been there all along.
      st = m_Cursor.FetchEQ(true);
      if (st == tsioStatus::kLocked) return bkLockMessage(2305, bank);
      if (st != tsioStatus::kSuccess) return bkLockMessage(2303, bank, st);
    } else if (st != tsioStatus::kSuccess) {
      return bkLockMessage(2300, bank, st);
    }
  } else if (st == tsioStatus::kLocked) {
    return bkLockMessage(2305, bank);
  } else if (st != tsioStatus::kSuccess) {
    return bkLockMessage(2303, bank, st);
  }
  st = m_Cursor.Lock();
  if (st == tsioStatus::kLocked) return bkLockMessage(2301, bank);
  if (st != tsioStatus::kSuccess) return bkLockMessage(2302, bank, st);
  m_LockedName = bank;
  return ccStatus<ccError::Level>(ccError::kNone);
}

tsioStatus::Status RegisterBankLocker::Release(bool* read_failed) {
  m_Cursor.m_Record.SetBankAccount(tsAlpha(m_LockedName));
  tsioStatus::Status st = m_Cursor.FetchEQ(false);
  if (read_failed) *read_failed = st != tsioStatus::kSuccess;
  if (st != tsioStatus::kSuccess) return st;
  st = m_Cursor.Delete();
  if (st == tsioStatus::kSuccess) m_LockedName.clear();
  return st;
}

ccStatus<ccError::Level> RegisterBankLocker::unlockBank(const CString& bank) {
  if (bank.empty()) return ccStatus<ccError::Level>(ccError::kNone);
  if (bank != m_LockedName) return bkLockMessage(2304, bank);
  bool read_failed = false;
  tsioStatus::Status st = Release(&read_failed);
  if (read_failed) return bkLockMessage(2303, bank, st);
  if (st != tsioStatus::kSuccess) return ccStatus<ccError::Level>(ccError::kWarning);
  return ccStatus<ccError::Level>(ccError::kNone);
}

ccStatus<ccError::Level> RegisterBankLocker::unlockBank() { return unlockBank(m_LockedName); }

ccStatus<ccError::Level> RegisterBankLocker::isBankLocked(const CString& bank) {
  if (bank.empty()) return ccStatus<ccError::Level>(ccError::kNone);
  // The bank this locker holds is held by no other program; asking never
  // releases it (an editor that asks would otherwise let another program
  // take the bank while it is still editing).
  if (bank == m_LockedName) return ccStatus<ccError::Level>(ccError::kNone);
  // Without a usable lock file nothing can be told: no holder's lock could
  // be seen, so "free" would be a guess.
  if (!m_Cursor.File().Locks().IsOpen()) return bkLockMessage(2303, bank, tsioStatus::kLockUnavailable);
  m_Cursor.m_Record.SetBankAccount(tsAlpha(bank));
  tsioStatus::Status st = m_Cursor.FetchEQ(false);
  if (st == tsioStatus::kNotFound) return ccStatus<ccError::Level>(ccError::kNone);
  if (st != tsioStatus::kSuccess) return bkLockMessage(2303, bank, st);
  st = m_Cursor.Locked();
  if (st == tsioStatus::kSuccess) return ccStatus<ccError::Level>(ccError::kNone);
  if (st == tsioStatus::kLocked) return ccStatus<ccError::Level>(ccError::kWarning);
  return bkLockMessage(2303, bank, st);
}
