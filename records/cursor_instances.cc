// The typed cursors of the exported tables, instantiated once in the library.
#include "records/bank_account.h"
#include "records/gl_cash_account_balance.h"
#include "records/reconcile_in_progress.h"
#include "records/last_tran.h"
#include "records/pending_deposit.h"
#include "records/transaction.h"
#include "records/deposit_item.h"
#include "records/deposit_item_detail.h"
#include "records/withdrawal_detail.h"
#include "records/cash_detail.h"
#include "records/batch.h"
#include "records/transaction_run_lock.h"
#include "records/tax_detail.h"
#include "records/tax_gl_detail.h"
#include "records/transaction_issue.h"

template class bkCursor<BankAccountData>;
template class bkCursor<GLCashAccountBalanceData>;
template class bkCursor<ReconcileInProgressData>;
template class bkCursor<LastTranData>;
template class bkCursor<PendingDepositData>;
template class bkCursor<TransactionData>;
template class bkCursor<DepositItemData>;
template class bkCursor<DepositItemDetailData>;
template class bkCursor<WithdrawalDetailData>;
template class bkCursor<CashDetailData>;
template class bkCursor<BatchData>;
template class bkCursor<TransactionRunLockData>;
template class bkCursor<TaxDetailData>;
template class bkCursor<TaxGLDetailData>;
template class bkCursor<TransactionIssueData>;
