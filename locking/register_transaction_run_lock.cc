// Run markers, active runs and run balances.
#include "locking/register_transaction_run_lock.h"

#include "locking/lock_messages.h"

namespace {
const char* const kRunBalanceColumns = "TBNKACC;TRUN;TRECOND;TSUBTR;TADD";
}

bkRegisterTransactionRunLock::bkRegisterTransactionRunLock(const tsioDataFile& transactions)
    : m_Cursor(transactions, "", 0) {}

bkRegisterTransactionRunLock::~bkRegisterTransactionRunLock() {
  (void)RemoveActiveRun();
  m_ActiveCursor.reset();
  m_ActiveFile.reset();
}

ccStatus<ccError::Level> bkRegisterTransactionRunLock::CreateTransactionRunLocks(const tsAlpha& bank,
                                                                                  const RunSet& runs) {
  m_Cursor.Initialize();
  m_Cursor.m_Record.SetBankAccount(bank);
  for (const tsDouble& run : runs) {
    m_Cursor.m_Record.SetTransactionRun(run);
    tsioStatus::Status st = m_Cursor.Insert();
    if (st != tsioStatus::kSuccess) {
      return bkRunLockMessage(2403, m_Cursor.m_Record.GetBankAccount().str(), m_Cursor.m_Record.GetTransactionRun(),
                              st);
    }
  }
  return ccStatus<ccError::Level>(ccError::kNone);
}

ccStatus<ccError::Level> bkRegisterTransactionRunLock::DeleteTransactionRunLocks(const tsAlpha& bank, RunSet* locked) {
  m_Cursor.Initialize();
  m_Cursor.m_Record.SetBankAccount(bank);
  tsioStatus::Status st = m_Cursor.FetchGE(false);
  while (st == tsioStatus::kSuccess && m_Cursor.m_Record.GetBankAccount() == bank) {
    tsioStatus::Status lk = m_Cursor.Lock();
    if (lk == tsioStatus::kSuccess) {
      tsioStatus::Status del = m_Cursor.Delete();
      if (del != tsioStatus::kSuccess) {
        (void)m_Cursor.Unlock();
        return bkRunLockMessage(2400, bank.str(), m_Cursor.m_Record.GetTransactionRun(), del);
      }
      st = m_Cursor.FetchGT(false);  // from the deleted key
    } else if (lk == tsioStatus::kLocked) {
      if (locked) locked->insert(m_Cursor.m_Record.GetTransactionRun());
      st = m_Cursor.FetchNext(false);
    } else {
      return bkRunLockMessage(2401, bank.str(), m_Cursor.m_Record.GetTransactionRun(), lk);
    }
  }
  if (st == tsioStatus::kSuccess || st == tsioStatus::kEndOfFile) return ccStatus<ccError::Level>(ccError::kNone);
  return bkRunLockMessage(2402, bank.str(), st);
}

bool bkRegisterTransactionRunLock::TransactionRunExcluded(const tsAlpha& bank, const tsDouble& run) {
  m_Cursor.Initialize();
  m_Cursor.m_Record.SetBankAccount(bank);
  m_Cursor.m_Record.SetTransactionRun(run);
  if (m_Cursor.FetchGE(false) != tsioStatus::kSuccess) return false;
  if (m_Cursor.m_Record.GetBankAccount() != bank) return false;
  return m_Cursor.m_Record.GetTransactionRun() != run;
}

tsioStatus::Status bkRegisterTransactionRunLock::LockActiveRun(const tsDouble& run) {
  if (!m_ActiveCursor) {
    auto file = std::make_unique<tsioDataFile>(m_Cursor.File().FileName(), 0, 0);
    if (file->OpenStatus() != tsioStatus::kSuccess) return file->OpenStatus();
    m_ActiveFile = std::move(file);
    m_ActiveCursor = std::make_unique<TransactionRunLock>(*m_ActiveFile, "", 0);
  }
  if (m_ActiveRun && *m_ActiveRun != run) {
    // One object serves one active run: the run active now ends first. When
    // it cannot, it stays active (and remembered) and no other is taken.
    tsioStatus::Status removed = RemoveActiveRun();
    if (removed != tsioStatus::kSuccess) return removed;
  }
  m_ActiveCursor->Initialize();
  m_ActiveCursor->m_Record.SetTransactionRun(run);
  tsioStatus::Status st = m_ActiveCursor->FetchEQ(true);
  if (st == tsioStatus::kNotFound) {
    st = m_ActiveCursor->Insert();
    if (st == tsioStatus::kSuccess) st = m_ActiveCursor->Lock();
  }
  if (st == tsioStatus::kSuccess) m_ActiveRun = run;
  return st;
}

tsioStatus::Status bkRegisterTransactionRunLock::RemoveActiveRun() {
  if (!m_ActiveCursor || !m_ActiveRun) return tsioStatus::kSuccess;
  m_ActiveCursor->Initialize();
  m_ActiveCursor->m_Record.SetTransactionRun(*m_ActiveRun);
  tsioStatus::Status st = m_ActiveCursor->FetchEQ(true);
  if (st == tsioStatus::kSuccess) st = m_ActiveCursor->Delete();
  else if (st == tsioStatus::kNotFound) st = tsioStatus::kSuccess;
  if (st == tsioStatus::kSuccess) m_ActiveRun.reset();
  return st;
}

ccStatus<ccError::Level> bkRegisterTransactionRunLock::TransactionRunBalances(Transaction& cursor,
                                                                               const tsAlpha& bank,
                                                                               const tsDouble& run,
                                                                               tsCurrency& register_amount,
                                                                               tsCurrency& bank_amount) const {
  cursor.Initialize();
  cursor.m_Record.SetBankAccount(bank);
  cursor.m_Record.SetRun(run);
  tsioStatus::Status st = cursor.FetchGE(false);
  while (st == tsioStatus::kSuccess && cursor.m_Record.GetBankAccount() == bank && cursor.m_Record.GetRun() == run) {
    tsCurrency amount = cursor.m_Record.GetAmount();
    register_amount += amount;
    int state = cursor.m_Record.GetReconciled().Value();
    if (state == 2 || state == 3) bank_amount += amount;
    st = cursor.FetchNext(false);
  }
  if (st == tsioStatus::kSuccess || st == tsioStatus::kEndOfFile) return ccStatus<ccError::Level>(ccError::kNone);
  return bkRunLockMessage(2404, bank.str(), run, st);
}

ccStatus<ccError::Level> bkRegisterTransactionRunLock::ExcludedRunsBalances(const tsAlpha& bank, const RunSet& runs,
                                                                             tsCurrency& register_amount,
                                                                             tsCurrency& bank_amount) {
  Transaction cursor(m_Cursor.File(), kRunBalanceColumns, 0);
  ccStatus<ccError::Level> result(ccError::kNone);
  for (const tsDouble& run : runs) {
    if (result.MaxLevel() != ccError::kNone) break;
    result = TransactionRunBalances(cursor, bank, run, register_amount, bank_amount);
  }
  return result;
}
