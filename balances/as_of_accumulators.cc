// The four as-of-date accumulators: register, bank, last reconciled and GL
// cash account balances as of a date.
#include <string>

#include "accounts/bank_account.h"
#include "balances/balance_accumulators.h"
#include "balances/balance_as_of.h"
#include "deposits/cash_detail.h"
#include "framework/control/account_format.h"
#include "framework/io/bookmark.h"
#include "ledger/gl_cash_account_balance.h"
#include "records/column_lists.h"
#include "transactions/transaction.h"

const CString bkBankBalanceAsOfDateAccumulator::m_sBankAccountColumns = kBankBalanceColumns;
const CString bkBankBalanceAsOfDateAccumulator::m_sTransactionColumns = kTranBankBalanceAsOfColumns;
const CString bkRegisterBalanceAsOfDateAccumulator::m_sBankAccountColumns = kBankRegisterBalanceColumns;
const CString bkRegisterBalanceAsOfDateAccumulator::m_sTransactionColumns = kTranRegisterBalanceAsOfColumns;
const CString bkLastReconciledBalanceAsOfDateAccumulator::m_sBankAccountColumns = kBankLastReconciledColumns;
const CString bkLastReconciledBalanceAsOfDateAccumulator::m_sTransactionColumns = kTranLastReconciledAsOfColumns;
const CString bkCashAccountBalanceAsOfDateAccumulator::m_sGLCashAccountBalanceColumns = kGLCashAccountBalanceColumns;
const CString bkCashAccountBalanceAsOfDateAccumulator::m_sCashDetailColumns = kCashBalanceAsOfColumns;

namespace {

// Reads one bank account's record with `columns` into `out` and puts the
// master file back where it was. The status of the read; when the read went
// well but the position could not be read again, the status of that.
tsioStatus::Status ReadBankAccount(const tsioDataFileReference& master, const CString& columns, const tsAlpha& id,
                                   BankAccountData& out) {
  BankAccount bank(master, columns, 0);
  tsioBookmark mark(*bank.CursorPtr());
  bank.m_Record.SetBankAccount(id);
  const tsioStatus::Status st = bank.FetchEQ(false);
  if (st == tsioStatus::kSuccess) out = bank.m_Record;  // before going back refills the cursor's record
  const tsioStatus::Status back = mark.GoTo();
  if (st != tsioStatus::kSuccess) return st;
  return back == tsioStatus::kNotFound ? tsioStatus::kSuccess : back;
}

}  // namespace

// ---- register ----

bkRegisterBalanceAsOfDateAccumulator::bkRegisterBalanceAsOfDateAccumulator(
    const tsAlpha& bank, const tsDate& as_of, const tsioDataFileReference& master_file,
    const tsioDataFileReference& transaction_file)
    : m_BankAccount(bank), m_AsOfDate(as_of), m_MasterFile(master_file), m_TransactionFile(transaction_file) {}

bkRegisterBalanceAsOfDateAccumulator::~bkRegisterBalanceAsOfDateAccumulator() = default;

tsioStatus::Status bkRegisterBalanceAsOfDateAccumulator::fetchEndingBalance(const tsAlpha& bank, tsCurrency& ending) {
  BankAccountData b(m_sBankAccountColumns);
  const tsioStatus::Status st = ReadBankAccount(m_MasterFile, m_sBankAccountColumns, bank, b);
  if (st == tsioStatus::kSuccess) ending = b.GetRegisterBalance();
  return st;
}

tsCurrency bkRegisterBalanceAsOfDateAccumulator::accumulate() {
  m_Reads = 0;
  bkBalanceFailure failure;
  m_Index = bkBalanceIndex(m_TransactionFile, TransactionData::kRecordType, 5);
  tsCurrency ending;
  const tsioStatus::Status st = fetchEndingBalance(m_BankAccount, ending);
  if (st != tsioStatus::kSuccess) {
    failure.RecordError(m_BankAccount.str(), st);
    return failure.Finish(ending);
  }
  bkBalanceAsOf walk(m_BankAccount, m_AsOfDate, ending, m_TransactionFile, m_Index, m_sTransactionColumns);
  const tsCurrency result = walk.Walk(failure);
  m_Reads = walk.Reads();
  return failure.Finish(result);
}

// ---- bank ----

bkBankBalanceAsOfDateAccumulator::bkBankBalanceAsOfDateAccumulator(const tsAlpha& bank, const tsDate& as_of,
                                                                   const tsioDataFileReference& master_file,
                                                                   const tsioDataFileReference& transaction_file)
    : m_BankAccount(bank), m_AsOfDate(as_of), m_MasterFile(master_file), m_TransactionFile(transaction_file) {}

bkBankBalanceAsOfDateAccumulator::~bkBankBalanceAsOfDateAccumulator() = default;

tsioStatus::Status bkBankBalanceAsOfDateAccumulator::fetchEndingBalance(const tsAlpha& bank, tsCurrency& ending) {
  BankAccountData b(m_sBankAccountColumns);
  const tsioStatus::Status st = ReadBankAccount(m_MasterFile, m_sBankAccountColumns, bank, b);
  if (st == tsioStatus::kSuccess) ending = b.GetBankBalance();
  return st;
}

tsCurrency bkBankBalanceAsOfDateAccumulator::analyzeTransaction(const Transaction& transaction) {
  return transaction.m_Record.GetClearedAmount();
}

void bkBankBalanceAsOfDateAccumulator::transactionDatePrimer(Transaction& transaction, const tsDate& date) {
  transaction.m_Record.SetClearedDate(date);
}

tsCurrency bkBankBalanceAsOfDateAccumulator::accumulate() {
  bkBalanceFailure failure;
  m_Index = bkBalanceIndex(m_TransactionFile, TransactionData::kRecordType, 12);
  tsCurrency ending;
  const tsioStatus::Status st = fetchEndingBalance(m_BankAccount, ending);
  if (st != tsioStatus::kSuccess) {
    failure.RecordError(m_BankAccount.str(), st);
    return failure.Finish(ending);
  }
  bkBalanceAsOf walk(m_BankAccount, m_AsOfDate, ending, m_TransactionFile, m_Index, m_sTransactionColumns,
                     &analyzeTransaction, &transactionDatePrimer);
  return failure.Finish(walk.Walk(failure));
}

// ---- last reconciled ----

bkLastReconciledBalanceAsOfDateAccumulator::bkLastReconciledBalanceAsOfDateAccumulator(
    const tsAlpha& bank, const tsDate& as_of, const tsioDataFileReference& master_file,
    const tsioDataFileReference& transaction_file)
    : m_BankAccount(bank), m_AsOfDate(as_of), m_MasterFile(master_file), m_TransactionFile(transaction_file) {}

bkLastReconciledBalanceAsOfDateAccumulator::~bkLastReconciledBalanceAsOfDateAccumulator() = default;

tsioStatus::Status bkLastReconciledBalanceAsOfDateAccumulator::fetchEndingInfo(const tsAlpha& bank,
                                                                                tsCurrency& ending,
                                                                                tsDate& last_reconciled) {
  BankAccountData b(m_sBankAccountColumns);
  const tsioStatus::Status st = ReadBankAccount(m_MasterFile, m_sBankAccountColumns, bank, b);
  if (st == tsioStatus::kSuccess) {
    ending = b.GetLastReconciledBalance();
    last_reconciled = b.GetLastReconciledDate();
  }
  return st;
}

tsCurrency bkLastReconciledBalanceAsOfDateAccumulator::analyzeTransaction(const Transaction& transaction) {
  if (transaction.m_Record.GetReconciled().Value() != TransactionData::kStateReconciled) return tsCurrency();
  return transaction.m_Record.GetAmount();
}

void bkLastReconciledBalanceAsOfDateAccumulator::transactionDatePrimer(Transaction& transaction,
                                                                       const tsDate& date) {
  transaction.m_Record.SetStatementDate(date);
}

tsCurrency bkLastReconciledBalanceAsOfDateAccumulator::accumulate() {
  bkBalanceFailure failure;
  m_Index = bkBalanceIndex(m_TransactionFile, TransactionData::kRecordType, 2);
  tsCurrency ending;
  const tsioStatus::Status st = fetchEndingInfo(m_BankAccount, ending, m_LastReconciledDate);
  if (st != tsioStatus::kSuccess) {
    failure.RecordError(m_BankAccount.str(), st);
    return failure.Finish(ending);
  }
  bkBalanceAsOf walk(m_BankAccount, m_AsOfDate, ending, m_TransactionFile, m_Index, m_sTransactionColumns,
                     &analyzeTransaction, &transactionDatePrimer);
  walk.SetStopDate(m_LastReconciledDate);
  return failure.Finish(walk.Walk(failure));
}

// ---- GL cash account ----

bkCashAccountBalanceAsOfDateAccumulator::bkCashAccountBalanceAsOfDateAccumulator(
    const tsAlpha& bank, const tsAlpha& cash_account, const tsDate& as_of, const tsioDataFileReference& master_file,
    const tsioDataFileReference& transaction_file)
    : m_BankAccount(bank),
      m_CashAccount(cash_account),
      m_AsOfDate(as_of),
      m_MasterFile(master_file),
      m_TransactionFile(transaction_file) {}

bkCashAccountBalanceAsOfDateAccumulator::~bkCashAccountBalanceAsOfDateAccumulator() = default;

tsioStatus::Status bkCashAccountBalanceAsOfDateAccumulator::fetchEndingBalance(const tsAlpha& bank,
                                                                               tsCurrency& ending) {
  GLCashAccountBalance c(m_MasterFile, m_sGLCashAccountBalanceColumns, 0);
  tsioBookmark mark(*c.CursorPtr());
  // GL accounts are stored unformatted (account format 9).
  m_CashAccount = xk_unformat_field(9, 0, tsAlpha(m_CashAccount.str().substr(0, 30)));
  c.m_Record.SetBankAccount(bank);
  c.m_Record.SetGLCashAccount(m_CashAccount);
  const tsioStatus::Status st = c.FetchEQ(false);
  if (st == tsioStatus::kSuccess) ending = c.m_Record.GetAmount();
  const tsioStatus::Status back = mark.GoTo();
  if (st != tsioStatus::kSuccess) return st;
  return back == tsioStatus::kNotFound ? tsioStatus::kSuccess : back;
}

tsCurrency bkCashAccountBalanceAsOfDateAccumulator::accumulate() {
  m_Index = bkBalanceIndex(m_TransactionFile, CashDetailData::kRecordType, 15);
  return _DoAccumulation();
}

tsCurrency bkCashAccountBalanceAsOfDateAccumulator::_DoAccumulation() {
  bkBalanceFailure failure;
  tsCurrency amount;
  tsioStatus::Status st = fetchEndingBalance(m_BankAccount, amount);
  if (st != tsioStatus::kSuccess) {
    failure.RecordError(m_BankAccount.str() + ", " + m_CashAccount.str(), st);
    return failure.Finish(amount);
  }
  CashDetail c(m_TransactionFile, m_sCashDetailColumns, m_Index);
  tsioBookmark mark(*c.CursorPtr());
  c.Initialize();
  c.m_Record.SetBankAccount(m_BankAccount);
  c.m_Record.SetCashAccount(m_CashAccount);
  c.m_Record.SetAccountingDate(m_AsOfDate.IsEmpty() ? m_AsOfDate : m_AsOfDate + 1);
  st = c.FetchGE(false);
  while (st == tsioStatus::kSuccess && c.m_Record.GetBankAccount() == m_BankAccount &&
         c.m_Record.GetCashAccount() == m_CashAccount && c.m_Record.GetAccountingDate() > m_AsOfDate) {
    amount -= c.m_Record.GetAmount();
    st = c.FetchNext(false);
  }
  // A walk that could not read on is a failure like any other, not the end
  // of the cash account's details.
  if (st != tsioStatus::kSuccess && st != tsioStatus::kEndOfFile) failure.ReadError(st);
  failure.Restored(mark.GoTo());
  return failure.Finish(amount);
}
