// The relations between the module's record types: source file, record type
// and columns, then target file, record type and columns, the n-th source
// column matching the n-th target column (names separated by ","). Given a
// cursor on a source record, a cursor on the target record type fetches the
// related records with FetchFirstOf/FetchNextOf. Built when the library is
// loaded, destroyed when it unloads.
//
// The target columns are the target's key or a leading part of it, except
// the relations into transactions, cash details and tax GL details by batch
// fields, which match non-key columns (served by the batch indexes 1, 7, 17).
#pragma once

#include "framework/io/record.h"
#include "records/bk_export.h"

// From bank accounts (BKM 1).
BK_EXPORT extern const ccRelSpec BankAccountTransactionsRel;  // BANKACC -> BKT 1 TBNKACC
BK_EXPORT extern const ccRelSpec BankAccountCashDetailsRel;   // BANKACC -> BKT 5 CDBNKAC
// From transactions (BKT 1): TBNKACC,TRUN,TSEQ unless stated.
BK_EXPORT extern const ccRelSpec TransactionBankAccountRel;         // TBNKACC -> BKM 1
BK_EXPORT extern const ccRelSpec TransactionDepositItemsRel;        // -> BKT 2
BK_EXPORT extern const ccRelSpec TransactionDepositItemDetailsRel;  // -> BKT 3
BK_EXPORT extern const ccRelSpec TransactionWithdrawalDetailsRel;   // -> BKT 4
BK_EXPORT extern const ccRelSpec TransactionCashDetailsRel;         // -> BKT 5
BK_EXPORT extern const ccRelSpec TransactionTaxDetailsRel;          // -> BKT 8
BK_EXPORT extern const ccRelSpec TransactionTaxGLDetailsRel;        // -> BKT 9
BK_EXPORT extern const ccRelSpec TransactionIssuesRel;              // -> BKZ 2
BK_EXPORT extern const ccRelSpec TransactionBatchRel;               // batch fields -> BKT 6
// From deposit items (BKT 2) and their details (BKT 3).
BK_EXPORT extern const ccRelSpec DepositItemTransactionRel;        // -> BKT 1
BK_EXPORT extern const ccRelSpec DepositItemDetailsRel;            // item -> its lines (BKT 3)
BK_EXPORT extern const ccRelSpec DepositItemDetailDepositItemRel;  // line -> its item
// From cash details (BKT 5).
BK_EXPORT extern const ccRelSpec CashDetailBatchRel;        // -> BKT 6
BK_EXPORT extern const ccRelSpec CashDetailTransactionRel;  // -> BKT 1
// From batches (BKT 6) to their members, by batch fields.
BK_EXPORT extern const ccRelSpec BatchTransactionsRel;   // -> BKT 1
BK_EXPORT extern const ccRelSpec BatchCashDetailsRel;    // -> BKT 5
BK_EXPORT extern const ccRelSpec BatchTaxGLDetailsRel;   // -> BKT 9
// From tax details (BKT 8) and tax GL details (BKT 9).
BK_EXPORT extern const ccRelSpec TaxDetailTransactionRel;    // -> BKT 1
BK_EXPORT extern const ccRelSpec TaxDetailTaxGLDetailsRel;   // -> BKT 9 (full tax-detail key)
BK_EXPORT extern const ccRelSpec TaxGLDetailBatchRel;        // -> BKT 6
BK_EXPORT extern const ccRelSpec TaxGLDetailTransactionRel;  // -> BKT 1
