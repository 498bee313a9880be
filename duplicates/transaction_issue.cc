// Moving a transaction issue to a renumbered transaction (see
// transaction_issue.h).
#include "duplicates/transaction_issue.h"

#include "deposits/detail_transfer.h"
#include "framework/io/company.h"
#include "framework/io/rollback_stack.h"

tsioStatus::Status TransactionIssue::RemapIssue(const tsDouble& run, const tsDouble& sequence) const {
  // The record buffer and the position are the working state of the write.
  TransactionIssue& self = const_cast<TransactionIssue&>(*this);
  const tsioDataFile& file = File();
  if (!file.IsOpen()) return tsioStatus::kFileNotOpen;

  // The issue the record names, read by its key (whatever index the cursor
  // reads by), and every column of it.
  tsioStatus::Status status = bkRereadByKey(self, false);
  if (status != tsioStatus::kSuccess) return status;
  TransactionIssue moved(file);
  status = bkCopyCurrentRecord(self, moved);
  if (status != tsioStatus::kSuccess) return status;
  moved.m_Record.SetRun(run);
  moved.m_Record.SetSequence(sequence);

  // A savepoint of its own, inside the caller's unit when there is one.
  tsioCompany& company = file.Company();
  if (tclRollbackStack* caller = RollbackStack()) {
    status = caller->EnsureBegun(company);
    if (status != tsioStatus::kSuccess) return status;
  }
  tclRollbackStack own;
  status = own.EnsureBegun(company);
  if (status == tsioStatus::kSuccess) status = self.Delete();
  if (status == tsioStatus::kSuccess) status = moved.Insert();
  if (status == tsioStatus::kSuccess) status = own.Commit();
  if (status != tsioStatus::kSuccess) {
    (void)own.Rollback();
    (void)bkRereadByKey(self, false);  // back on the old record, when it can be read
    return status;
  }
  self.m_Record.SetRun(run);
  self.m_Record.SetSequence(sequence);
  return tsioStatus::kSuccess;
}
