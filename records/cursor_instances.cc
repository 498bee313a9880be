// The typed cursors of the exported tables, instantiated once in the library;
// each table's cursor class (in the folder of its subsystem) declares its
// instantiation extern.
#include "records/bk_cursor.h"
#include "records/bank_account_data.h"
#include "records/gl_cash_account_balance_data.h"
#include "records/reconcile_in_progress_data.h"
#include "records/last_tran_data.h"
#include "records/pending_deposit_data.h"
#include "records/transaction_data.h"
#include "records/deposit_item_data.h"
#include "records/deposit_item_detail_data.h"
#include "records/withdrawal_detail_data.h"
#include "records/cash_detail_data.h"
#include "records/batch_data.h"
#include "records/transaction_run_lock_data.h"
#include "records/tax_detail_data.h"
#include "records/tax_gl_detail_data.h"
#include "records/transaction_issue_data.h"
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
