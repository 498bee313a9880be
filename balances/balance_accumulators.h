// Balance accumulators: balances of a bank account as of any date, and the
// running balance beside each line of its register.
//
// The bank account keeps only current totals: the register balance BRGBLNC,
// the bank (cleared) balance BNKBLNC, the last reconciled balance BRECBAL
// with its date BRECDT; the GL cash account balance record keeps CAAMT per
// bank and cash account. Balances for an earlier date work backwards from
// them (balance_as_of.h): they read only what is dated after the date.
// Running balances work forwards from an as-of balance and remember where
// they stopped, so a register shown line by line costs one step per line.
//
// Every class works on the caller's master file (BKM) and transaction file
// (BKT, current or history, or a work-file copy) and opens its own cursors
// with the column lists below. Results are amounts; a computation that fails
// answers bkBalanceFailureAmount() and writes one log line (see
// balance_as_of.h). No operation throws.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "framework/types/values.h"
#include "records/bk_export.h"
#include "records/cash_detail_data.h"
#include "records/transaction_data.h"

class Transaction;

// Bank balance at the end of the as-of date: BNKBLNC minus the cleared
// amounts (TRECAMT) of the transactions cleared (TRECDT) after that date,
// walked by index 12 (bank, cleared date). A transaction dated before the
// date but cleared after it is taken away.
class BK_EXPORT bkBankBalanceAsOfDateAccumulator {
 public:
  static const CString m_sBankAccountColumns;  // BANKACC;BNKBLNC
  static const CString m_sTransactionColumns;  // TBNKACC;TRUN;TSEQ;TRECAMT;TRECDT

  bkBankBalanceAsOfDateAccumulator(const tsAlpha& bank, const tsDate& as_of,
                                   const tsioDataFileReference& master_file,
                                   const tsioDataFileReference& transaction_file);
  virtual ~bkBankBalanceAsOfDateAccumulator();

  tsCurrency accumulate();

 private:
  tsioStatus::Status fetchEndingBalance(const tsAlpha& bank, tsCurrency& ending);
  static tsCurrency analyzeTransaction(const Transaction& transaction);
  static void transactionDatePrimer(Transaction& transaction, const tsDate& date);

  tsAlpha m_BankAccount;
  tsDate m_AsOfDate;
  tsioDataFileReference m_MasterFile;
  tsioDataFileReference m_TransactionFile;
  short m_Index = 12;
};

// Register balance at the end of the as-of date: BRGBLNC minus the amounts
// (TADD - TSUBTR) of the transactions dated (TTRANDT) after it, walked by
// index 5 (register order).
class BK_EXPORT bkRegisterBalanceAsOfDateAccumulator {
 public:
  static const CString m_sBankAccountColumns;  // BANKACC;BRGBLNC
  static const CString m_sTransactionColumns;  // TBNKACC;TTRANDT;TCHECK;TSUBTR;TRUN;TSEQ;TADD

  bkRegisterBalanceAsOfDateAccumulator(const tsAlpha& bank, const tsDate& as_of,
                                       const tsioDataFileReference& master_file,
                                       const tsioDataFileReference& transaction_file);
  virtual ~bkRegisterBalanceAsOfDateAccumulator();

  tsCurrency accumulate();
  // Fetches the last accumulate made on the transaction file.
  long TransactionReads() const { return m_Reads; }

 private:
  tsioStatus::Status fetchEndingBalance(const tsAlpha& bank, tsCurrency& ending);

  tsAlpha m_BankAccount;
  tsDate m_AsOfDate;
  tsioDataFileReference m_MasterFile;
  tsioDataFileReference m_TransactionFile;
  short m_Index = 5;
  long m_Reads = 0;
};

// Last reconciled balance as of a date: BRECBAL minus the amounts of the
// reconciled transactions (TRECOND 3; others count 0) whose statement date
// (TSTMTDT) is after the date and not after the last reconciliation date
// BRECDT, walked by index 2 (bank, statement date). An empty BRECDT sets no
// such limit.
class BK_EXPORT bkLastReconciledBalanceAsOfDateAccumulator {
 public:
  static const CString m_sBankAccountColumns;  // BANKACC;BRECBAL;BRECDT
  static const CString m_sTransactionColumns;  // TBNKACC;TRUN;TSEQ;TSUBTR;TADD;TRECOND;TSTMTDT

  bkLastReconciledBalanceAsOfDateAccumulator(const tsAlpha& bank, const tsDate& as_of,
                                             const tsioDataFileReference& master_file,
                                             const tsioDataFileReference& transaction_file);
  virtual ~bkLastReconciledBalanceAsOfDateAccumulator();

  tsCurrency accumulate();

 private:
  tsioStatus::Status fetchEndingInfo(const tsAlpha& bank, tsCurrency& ending, tsDate& last_reconciled);
  static tsCurrency analyzeTransaction(const Transaction& transaction);
  static void transactionDatePrimer(Transaction& transaction, const tsDate& date);

  tsAlpha m_BankAccount;
  tsDate m_AsOfDate;
  tsDate m_LastReconciledDate;
  tsioDataFileReference m_MasterFile;
  tsioDataFileReference m_TransactionFile;
  short m_Index = 2;
};

// Balance of one GL cash account of a bank account as of a date: CAAMT
// minus the amounts (CDAMT) of the cash details of that bank and cash
// account with an accounting date (CDACCDT) after the date, walked by index
// 15 (bank, cash account, accounting date). The cash account may be given
// formatted: it is looked up unformatted (account format 9, at most 30
// characters), and the accumulator keeps the unformatted id from its first
// accumulate on.
class BK_EXPORT bkCashAccountBalanceAsOfDateAccumulator {
 public:
  static const CString m_sGLCashAccountBalanceColumns;  // CABNKAC;CACSHAC;CAAMT
  static const CString m_sCashDetailColumns;            // CDBNKAC;CDACCDT;CDCSHAC;CDAMT

  bkCashAccountBalanceAsOfDateAccumulator(const tsAlpha& bank, const tsAlpha& cash_account, const tsDate& as_of,
                                          const tsioDataFileReference& master_file,
                                          const tsioDataFileReference& transaction_file);
  virtual ~bkCashAccountBalanceAsOfDateAccumulator();

  tsCurrency accumulate();

 private:
  tsCurrency _DoAccumulation();
  tsioStatus::Status fetchEndingBalance(const tsAlpha& bank, tsCurrency& ending);

  tsAlpha m_BankAccount;
  tsAlpha m_CashAccount;
  tsDate m_AsOfDate;
  tsioDataFileReference m_MasterFile;
  tsioDataFileReference m_TransactionFile;
  short m_Index = 15;
};

// What both running-balance accumulators keep and how they walk: the
// files, the remembered line and its balance, and the object's own handle
// and cursors (made on first use, never copied). Record is TransactionData
// (register order, index 5, per bank account) or CashDetailData (index 15,
// per bank and cash account); both are instantiated in the library.
template <typename Record>
class bkRunningBalanceWalk {
 public:
  bkRunningBalanceWalk(const tsioDataFileReference& master_file, const tsioDataFileReference& transaction_file);
  bkRunningBalanceWalk(const bkRunningBalanceWalk& other);
  bkRunningBalanceWalk& operator=(const bkRunningBalanceWalk& other);
  ~bkRunningBalanceWalk();

  // The balance after the transaction file's current record.
  tsCurrency Accumulate();
  // Positions the transaction file on the record whose key `set_key` fills
  // in and the master file on `bank`, then Accumulate(); when either cannot
  // be read, "Helper function failed" and the failure amount. On failure
  // both files go back where they were.
  tsCurrency AccumulateAt(const tsAlpha& bank, const std::function<void(Record&)>& set_key);

  void SetMasterFile(const tsioDataFileReference& master_file);
  void SetTransactionFile(const tsioDataFileReference& transaction_file);
  uint64_t OwnFetches() const;

 private:
  struct Reader;
  tsCurrency Fail();
  void Forget();

  tsioDataFileReference m_MasterFile;
  tsioDataFileReference m_TransactionFile;
  bool m_HasPrevious = false;
  Record m_Previous;
  tsCurrency m_PreviousBalance;
  std::unique_ptr<Reader> m_Reader;
};

// The register balance after a transaction, in register order (index 5:
// bank, transaction date, check number, subtraction, run, sequence).
//
// accumulate() answers it for the transaction on which the transaction file
// stands (the file's current record, as the caller's cursor left it). It
// remembers the last transaction it answered for and that balance:
//   the same transaction again      the remembered balance, nothing read;
//   a later one of the same account steps forward from the remembered one:
//                                   one fetch for the very next line;
//   an earlier one, another account, or the first call: starts over from
//                                   the register balance as of the day
//                                   before the transaction's date.
// The forward steps are read through a handle of the accumulator's own on
// the transaction file, so the caller's positions never move; the fresh
// start walks the caller's file and puts it back where it was. A failure
// answers the failure amount and forgets the remembered line, so nothing is
// ever built on the failure amount.
//
// Copies and assignments take the files, the remembered line and balance;
// each object holds its own references and handle (nothing is shared).
class BK_EXPORT bkRunningBalanceAccumulator {
 public:
  static const CString m_sBankAccountColumns;  // BANKACC;BRGBLNC
  static const CString m_sTransactionColumns;  // TBNKACC;TRUN;TSEQ;TTRANDT;TCHECK;TSUBTR;TADD

  bkRunningBalanceAccumulator(const tsioDataFileReference& master_file,
                              const tsioDataFileReference& transaction_file);
  bkRunningBalanceAccumulator(const bkRunningBalanceAccumulator& other);
  bkRunningBalanceAccumulator& operator=(const bkRunningBalanceAccumulator& other);
  virtual ~bkRunningBalanceAccumulator();

  tsCurrency accumulate();
  // Positions the transaction file on the transaction (bank, run, sequence)
  // and the master file on its bank account, then accumulate(). When either
  // cannot be read: "Helper function failed", the failure amount, and both
  // files back where they were.
  tsCurrency accumulate(const tsAlpha& bank, const tsDouble& run, const tsDouble& sequence);

  // Take another file; the remembered line is forgotten.
  void setMasterFile(const tsioDataFileReference& master_file);
  void setTransactionFile(const tsioDataFileReference& transaction_file);

  // Fetches made so far through this object's own handle (for tests and
  // benchmarks; fetches on the caller's files are counted on them).
  uint64_t OwnFetches() const;

 private:
  bkRunningBalanceWalk<TransactionData> m_Walk;
};

// The balance of one GL cash account after a cash detail, in the order of
// index 15 (bank, cash account, accounting date, then the detail's key),
// over the cash details of the transaction file; as bkRunningBalanceAccumulator,
// with the remembered line's cash account part of what "the same account"
// means, and the fresh start from the cash account's balance as of the day
// before the detail's accounting date.
class BK_EXPORT bkCashRunningBalanceAccumulator {
 public:
  static const CString m_sBankAccountColumns;  // BANKACC
  static const CString m_sCashDetailColumns;   // CDBNKAC;CDTRUN;CDTSEQ;CDRUN;CDSEQ;CDACCDT;CDCSHAC;CDAMT

  bkCashRunningBalanceAccumulator(const tsioDataFileReference& master_file,
                                  const tsioDataFileReference& transaction_file);
  bkCashRunningBalanceAccumulator(const bkCashRunningBalanceAccumulator& other);
  bkCashRunningBalanceAccumulator& operator=(const bkCashRunningBalanceAccumulator& other);
  virtual ~bkCashRunningBalanceAccumulator();

  tsCurrency accumulate();
  // Positions the transaction file on the cash detail (bank, transaction
  // run and sequence, cash run and sequence) and the master file on its
  // bank account, then accumulate(); failure as for the register class.
  tsCurrency accumulate(const tsAlpha& bank, const tsDouble& transaction_run, const tsDouble& transaction_sequence,
                        const tsDouble& cash_run, const tsDouble& cash_sequence);

  void setMasterFile(const tsioDataFileReference& master_file);
  void setTransactionFile(const tsioDataFileReference& transaction_file);

  uint64_t OwnFetches() const;

 private:
  bkRunningBalanceWalk<CashDetailData> m_Walk;
};
