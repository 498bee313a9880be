// The relations between the module's record types (see relations.h).
#include "records/relations.h"

namespace {
constexpr const char* kTran = "TBNKACC,TRUN,TSEQ";
constexpr const char* kBatch = "BAPPL,BATCH,BSOURCE,BDPLOC";
}  // namespace

const ccRelSpec BankAccountTransactionsRel("BKM", 1, "BANKACC", "BKT", 1, "TBNKACC");
const ccRelSpec BankAccountCashDetailsRel("BKM", 1, "BANKACC", "BKT", 5, "CDBNKAC");
const ccRelSpec TransactionBankAccountRel("BKT", 1, "TBNKACC", "BKM", 1, "BANKACC");
const ccRelSpec TransactionDepositItemsRel("BKT", 1, kTran, "BKT", 2, "DIBNKAC,DIRUN,DISEQ");
const ccRelSpec TransactionDepositItemDetailsRel("BKT", 1, kTran, "BKT", 3, "DIGBNKA,DIGRUN,DIGSEQ");
const ccRelSpec TransactionWithdrawalDetailsRel("BKT", 1, kTran, "BKT", 4, "WDBNKAC,WDRUN,WDSEQ");
const ccRelSpec TransactionCashDetailsRel("BKT", 1, kTran, "BKT", 5, "CDBNKAC,CDTRUN,CDTSEQ");
const ccRelSpec TransactionTaxDetailsRel("BKT", 1, kTran, "BKT", 8, "TXBNKAC,TXRUN,TXSEQ");
const ccRelSpec TransactionTaxGLDetailsRel("BKT", 1, kTran, "BKT", 9, "TGBNKAC,TGRUN,TGSEQ");
const ccRelSpec TransactionIssuesRel("BKT", 1, kTran, "BKZ", 2, kTran);
const ccRelSpec TransactionBatchRel("BKT", 1, "TAPPL,TBATCH,TSOURCE,TDPLOC", "BKT", 6, kBatch);
const ccRelSpec DepositItemTransactionRel("BKT", 2, "DIBNKAC,DIRUN,DISEQ", "BKT", 1, kTran);
const ccRelSpec DepositItemDetailsRel("BKT", 2, "DIBNKAC,DIRUN,DISEQ,DITEMNO", "BKT", 3,
                                      "DIGBNKA,DIGRUN,DIGSEQ,DIGLINO");
const ccRelSpec DepositItemDetailDepositItemRel("BKT", 3, "DIGBNKA,DIGRUN,DIGSEQ,DIGLINO", "BKT", 2,
                                                "DIBNKAC,DIRUN,DISEQ,DITEMNO");
const ccRelSpec CashDetailBatchRel("BKT", 5, "CDAPP,CDBATCH,CDSORCE,CDDPLOC", "BKT", 6, kBatch);
const ccRelSpec CashDetailTransactionRel("BKT", 5, "CDBNKAC,CDTRUN,CDTSEQ", "BKT", 1, kTran);
const ccRelSpec BatchTransactionsRel("BKT", 6, kBatch, "BKT", 1, "TAPPL,TBATCH,TSOURCE,TDPLOC");
const ccRelSpec BatchCashDetailsRel("BKT", 6, kBatch, "BKT", 5, "CDAPP,CDBATCH,CDSORCE,CDDPLOC");
const ccRelSpec BatchTaxGLDetailsRel("BKT", 6, kBatch, "BKT", 9, "TGAPPL,TGBATCH,TGSRC,TGDPLOC");
const ccRelSpec TaxDetailTransactionRel("BKT", 8, "TXBNKAC,TXRUN,TXSEQ", "BKT", 1, kTran);
const ccRelSpec TaxDetailTaxGLDetailsRel("BKT", 8, "TXBNKAC,TXRUN,TXSEQ,TXTXRUN,TXTXSEQ", "BKT", 9,
                                         "TGBNKAC,TGRUN,TGSEQ,TGTXRUN,TGTXSEQ");
const ccRelSpec TaxGLDetailBatchRel("BKT", 9, "TGAPPL,TGBATCH,TGSRC,TGDPLOC", "BKT", 6, kBatch);
const ccRelSpec TaxGLDetailTransactionRel("BKT", 9, "TGBNKAC,TGRUN,TGSEQ", "BKT", 1, kTran);
