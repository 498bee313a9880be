// Finishing and undoing the reconciliation of a bank account's statement.
//
// Finish: the transactions of the account that are cleared (TRECOND 2) on or
// before the statement date and not yet on a statement are the statement's.
// Their cleared balance, the last reconciled balance plus their amounts
// (TADD - TSUBTR), must equal the statement's ending balance to the cent,
// and each must have been cleared at its own amount. Then, in one unit of
// work: each becomes reconciled (TRECOND 3) on the statement (TSTMTDT); the
// bank account's last reconciled balance and date become the statement's
// ending balance and date and its unreconciled totals lose them; the
// reconciliation is recorded (BKS record type 2: the previous reconciled
// balance and date, the totals by kind, the reconciliation in progress as
// it stood) and the reconciliation in progress ends.
//
// Undo takes back the account's last reconciliation exactly, from its
// record: the transactions reconciled on that statement are cleared again,
// the account's reconciled balance, date and unreconciled totals are put
// back, the reconciliation in progress is restored as it stood and the
// record goes. Undo then Finish gives the files Finish gave.
//
// The statement's transactions are found by the index of bank and statement
// date (2, which carries amounts and state), among those on no statement
// yet: the cost follows the unreconciled transactions, not the register.
#pragma once

#include <string>
#include <vector>

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/values.h"
#include "records/bk_export.h"

struct BK_EXPORT bkReconcileSummary {
  tsDate statement_date;
  tsCurrency ending_balance, previous_balance, cleared_balance;
  long count = 0;
  tsCurrency checks, deposits, withdrawals, adjusts_minus, adjusts_plus, total;
  bool locked = false;  // a failure was another program holding a record
  bool refused = false; // refused by a business rule (not a failure)
};

class BK_EXPORT bkReconciler {
 public:
  // `files`: the transaction files holding the account's transactions (the
  // history and the current transactions).
  bkReconciler(const tsioDataFile& master, std::vector<const tsioDataFile*> files, const tsioDataFile& statements);

  // Finishes the reconciliation of `bank`. The statement's date and ending
  // balance are the reconciliation in progress's; `date`/`ending` (when
  // `given`) are used when none is in progress and must agree with it when
  // one is.
  ccStatus<ccError::Level> Finish(const tsAlpha& bank, bool given, const tsDate& date, const tsCurrency& ending,
                                  bkReconcileSummary* summary);
  ccStatus<ccError::Level> Undo(const tsAlpha& bank, bkReconcileSummary* summary);

 private:
  const tsioDataFile& master_;
  std::vector<const tsioDataFile*> files_;
  const tsioDataFile& statements_;
};
