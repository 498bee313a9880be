// Small steps the commands that act on one register transaction share:
// naming it, keying a record to it, taking its batch, deleting its details.
#ifndef BKREG_TRAN_ACCESS_H
#define BKREG_TRAN_ACCESS_H

#include <string>

#include "framework/io/rollback_stack.h"
#include "records/relations.h"
#include "tools/bkreg/module_commands.h"
#include "tools/bkreg/module_work.h"
#include "transactions/transaction.h"

namespace bkreg {

// "CHK run 12 sequence 3": how messages name a transaction.
std::string TranName(const TranRef& r);

// Sets `t`'s key fields (bank account, run, sequence) to `r`'s.
void SetTranKey(Transaction& t, const TranRef& r);

// Makes the transaction's batch the program's, its register part reading
// the batch record (so its control totals are kept when it is written).
void UseBatchOf(ModuleWork& w, const TransactionData& t);

// Deletes every detail of type D related to `t` through `rel`, in `unit`.
// Nothing to delete is a success.
template <typename D>
tsioStatus::Status DeleteDetails(Transaction& t, const ccRelSpec& rel, tclRollbackStack& unit) {
  D d(t.File());
  d.AttachRollbackStack(&unit);
  tsioStatus::Status st;
  while ((st = d.FetchFirstOf(*t.CursorPtr(), rel, true)) == tsioStatus::kSuccess) {
    st = d.Delete();
    if (st != tsioStatus::kSuccess) return st;
  }
  return st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound ? tsioStatus::kSuccess : st;
}

}  // namespace bkreg

#endif  // BKREG_TRAN_ACCESS_H
