// Column lists of the partial readers: records constructed with one of these
// bind only the named columns, in this order (names separated by ";").
#pragma once

// Bank accounts (BKM 1).
inline constexpr const char kBankRegisterBalanceColumns[] = "BANKACC;BRGBLNC";
inline constexpr const char kBankBalanceColumns[] = "BANKACC;BNKBLNC";
inline constexpr const char kBankLastReconciledColumns[] = "BANKACC;BRECBAL;BRECDT";

// Transactions (BKT 1).
inline constexpr const char kTranRunningBalanceColumns[] = "TBNKACC;TRUN;TSEQ;TTRANDT;TCHECK;TSUBTR;TADD";
inline constexpr const char kTranRegisterBalanceAsOfColumns[] = "TBNKACC;TTRANDT;TCHECK;TSUBTR;TRUN;TSEQ;TADD";
inline constexpr const char kTranBankBalanceAsOfColumns[] = "TBNKACC;TRUN;TSEQ;TRECAMT;TRECDT";
inline constexpr const char kTranLastReconciledAsOfColumns[] = "TBNKACC;TRUN;TSEQ;TSUBTR;TADD;TRECOND;TSTMTDT";
inline constexpr const char kTranDuplicateCheckColumns[] = "TBNKACC;TRUN;TSEQ;TCHECK";
inline constexpr const char kTranDuplicateDepositColumns[] = "TBNKACC;TRUN;TSEQ;TDEPDTE;TDEPID";
// The run balances of the run locks.
inline constexpr const char kTranRunBalanceColumns[] = "TBNKACC;TRUN;TRECOND;TSUBTR;TADD";

// Cash details (BKT 5).
inline constexpr const char kCashRunningBalanceColumns[] = "CDBNKAC;CDTRUN;CDTSEQ;CDRUN;CDSEQ;CDACCDT;CDCSHAC;CDAMT";
inline constexpr const char kCashBalanceAsOfColumns[] = "CDBNKAC;CDACCDT;CDCSHAC;CDAMT";

// GL cash account balances (BKM 3).
inline constexpr const char kGLCashAccountBalanceColumns[] = "CABNKAC;CACSHAC;CAAMT";

// Pending deposits (BKM 7).
inline constexpr const char kPendingDepositKeyColumns[] = "PDBNKAC;PDDEPDT;PDDEPID";
