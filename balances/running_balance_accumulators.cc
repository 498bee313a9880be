// The running-balance accumulators of the register and of GL cash accounts.
#include <memory>

#include "accounts/bank_account.h"
#include "balances/balance_accumulators.h"
#include "balances/balance_as_of.h"
#include "deposits/cash_detail.h"
#include "framework/base/log.h"
#include "framework/io/bookmark.h"
#include "records/column_lists.h"
#include "transactions/transaction.h"

const CString bkRunningBalanceAccumulator::m_sBankAccountColumns = kBankRegisterBalanceColumns;
const CString bkRunningBalanceAccumulator::m_sTransactionColumns = kTranRunningBalanceColumns;
const CString bkCashRunningBalanceAccumulator::m_sBankAccountColumns = "BANKACC";
const CString bkCashRunningBalanceAccumulator::m_sCashDetailColumns = kCashRunningBalanceColumns;

namespace {

// The columns of index 5 (with the transaction's key): what tells whether
// the next line is the one asked for. The index holds them all, so reading
// them reads the index alone.
constexpr const char kTranStepColumns[] = "TBNKACC;TTRANDT;TCHECK;TSUBTR;TRUN;TSEQ";
// The same for index 15 of cash details.
constexpr const char kCashStepColumns[] = "CDBNKAC;CDCSHAC;CDACCDT;CDTRUN;CDTSEQ;CDRUN;CDSEQ";

template <typename T>
int Cmp(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// Register order (index 5) of two transactions of one bank account.
int RegisterOrder(const TransactionData& a, const TransactionData& b) {
  if (int c = Cmp(a.GetTransactionDate(), b.GetTransactionDate())) return c;
  if (int c = Cmp(a.GetCheck(), b.GetCheck())) return c;
  if (int c = Cmp(a.GetSubtraction(), b.GetSubtraction())) return c;
  if (int c = Cmp(a.GetRun(), b.GetRun())) return c;
  return Cmp(a.GetSequence(), b.GetSequence());
}

// Order of index 15 of two cash details of one bank and cash account.
int CashOrder(const CashDetailData& a, const CashDetailData& b) {
  if (int c = Cmp(a.GetAccountingDate(), b.GetAccountingDate())) return c;
  if (int c = Cmp(a.GetTranRun(), b.GetTranRun())) return c;
  if (int c = Cmp(a.GetTranSequence(), b.GetTranSequence())) return c;
  if (int c = Cmp(a.GetCashDetailRun(), b.GetCashDetailRun())) return c;
  return Cmp(a.GetCashDetailSequence(), b.GetCashDetailSequence());
}

// A second handle on the caller's file: the same company connection (so it
// sees the caller's unit of work), its own positions and buffers.
tsioStatus::Status OpenOwn(const tsioDataFileReference& file, tsioDataFile& own) {
  if (!file.IsValid()) return tsioStatus::kFileNotOpen;
  const tsioDataFile& f = file.File();
  return own.Open(f.Company().shared_from_this(), f.Spec());
}

}  // namespace

// ---- register ----

// The accumulator's cursors. `target` reads the caller's current record;
// the others read through the accumulator's own handle: `step` the index
// columns of the next line (served from what was read ahead), `lines` the
// lines with their amounts.
struct bkRunningBalanceAccumulator::Reader {
  tsioDataFile own;
  short index = 5;
  std::unique_ptr<Transaction> target, step, lines;
  bool at_previous = false;  // `own` stands on the remembered line

  tsioStatus::Status Open(const tsioDataFileReference& master, const tsioDataFileReference& transactions) {
    const tsioStatus::Status st = OpenOwn(transactions, own);
    if (st != tsioStatus::kSuccess) return st;
    if (!master.IsValid()) return tsioStatus::kFileNotOpen;
    index = bkBalanceIndex(transactions, TransactionData::kRecordType, 5);
    target = std::make_unique<Transaction>(transactions, bkRunningBalanceAccumulator::m_sTransactionColumns, index);
    step = std::make_unique<Transaction>(own, kTranStepColumns, index);
    lines = std::make_unique<Transaction>(own, bkRunningBalanceAccumulator::m_sTransactionColumns, index);
    return tsioStatus::kSuccess;
  }
  // The bank account's next transaction (the steps of
  // BankAccountTransactionsRel): a plain FetchNext in index order, whose
  // query starts at the current line; end of file (12) past the account's
  // last one.
  tsioStatus::Status Next(Transaction& c, const tsAlpha& account) {
    const tsioStatus::Status st = c.FetchNext(false);
    if (st == tsioStatus::kSuccess && c.m_Record.GetBankAccount() != account) return tsioStatus::kEndOfFile;
    return st;
  }
};

bkRunningBalanceAccumulator::bkRunningBalanceAccumulator(const tsioDataFileReference& master_file,
                                                         const tsioDataFileReference& transaction_file)
    : m_MasterFile(master_file),
      m_TransactionFile(transaction_file),
      m_PreviousTransaction(m_sTransactionColumns) {}

bkRunningBalanceAccumulator::bkRunningBalanceAccumulator(const bkRunningBalanceAccumulator& other)
    : m_MasterFile(other.m_MasterFile),
      m_TransactionFile(other.m_TransactionFile),
      m_HasPrevious(other.m_HasPrevious),
      m_PreviousTransaction(other.m_PreviousTransaction, m_sTransactionColumns),
      m_PreviousBalance(other.m_PreviousBalance) {}

bkRunningBalanceAccumulator& bkRunningBalanceAccumulator::operator=(const bkRunningBalanceAccumulator& other) {
  if (this == &other) return *this;
  m_MasterFile = other.m_MasterFile;
  m_TransactionFile = other.m_TransactionFile;
  m_HasPrevious = other.m_HasPrevious;
  m_PreviousTransaction = other.m_PreviousTransaction;
  m_PreviousBalance = other.m_PreviousBalance;
  m_Reader.reset();  // cursors of the files this object held before
  return *this;
}

bkRunningBalanceAccumulator::~bkRunningBalanceAccumulator() = default;

void bkRunningBalanceAccumulator::setMasterFile(const tsioDataFileReference& master_file) {
  m_MasterFile = master_file;
  m_HasPrevious = false;
  m_PreviousTransaction = TransactionData(m_sTransactionColumns);
  m_PreviousBalance = tsCurrency();
  m_Reader.reset();
}

void bkRunningBalanceAccumulator::setTransactionFile(const tsioDataFileReference& transaction_file) {
  m_TransactionFile = transaction_file;
  m_HasPrevious = false;
  m_PreviousTransaction = TransactionData(m_sTransactionColumns);
  m_PreviousBalance = tsCurrency();
  m_Reader.reset();
}

uint64_t bkRunningBalanceAccumulator::OwnFetches() const {
  return m_Reader ? m_Reader->own.State(TransactionData::kRecordType)->fetches : 0;
}

tsCurrency bkRunningBalanceAccumulator::Fail() {
  m_HasPrevious = false;
  if (m_Reader) m_Reader->at_previous = false;
  return bkBalanceFailureAmount();
}

tsCurrency bkRunningBalanceAccumulator::accumulate() {
  bkBalanceFailure failure;
  if (!m_Reader) {
    auto reader = std::make_unique<Reader>();
    const tsioStatus::Status st = reader->Open(m_MasterFile, m_TransactionFile);
    if (st != tsioStatus::kSuccess) {
      failure.ReadError(st);
      failure.Finish(tsCurrency());
      return Fail();
    }
    m_Reader = std::move(reader);
  }
  Reader& r = *m_Reader;
  // The line asked for: the transaction file's current record.
  tsioStatus::Status st = r.target->Refresh();
  if (st != tsioStatus::kSuccess) {
    failure.ReadError(st);
    failure.Finish(tsCurrency());
    return Fail();
  }
  const TransactionData& target = r.target->m_Record;
  const tsAlpha& bank = target.GetBankAccount();

  if (m_HasPrevious && bank == m_PreviousTransaction.GetBankAccount()) {
    const int order = RegisterOrder(m_PreviousTransaction, target);
    if (order == 0) return m_PreviousBalance;
    if (order < 0) {
      // Forward from the remembered line: the next line is one step.
      if (!r.at_previous) {
        r.step->m_Record = m_PreviousTransaction;
        st = r.step->SetBuffer();
        if (st != tsioStatus::kSuccess) {
          failure.ReadError(st);
          failure.Finish(tsCurrency());
          return Fail();
        }
      }
      r.at_previous = false;
      tsCurrency balance = m_PreviousBalance;
      st = r.Next(*r.step, bank);
      bool found = false;
      if (st == tsioStatus::kSuccess && r.step->m_Record.GetBankAccount() == bank) {
        const int where = RegisterOrder(r.step->m_Record, target);
        if (where == 0) {
          found = true;
        } else if (where < 0) {
          // Lines between: read them with their amounts.
          st = r.lines->FetchCurrent(false);
          while (st == tsioStatus::kSuccess && r.lines->m_Record.GetBankAccount() == bank) {
            const int w = RegisterOrder(r.lines->m_Record, target);
            if (w == 0) {
              found = true;
              break;
            }
            if (w > 0) break;
            balance += r.lines->m_Record.GetAmount();
            st = r.Next(*r.lines, bank);
          }
        }
      }
      if (st != tsioStatus::kSuccess && st != tsioStatus::kEndOfFile) {
        failure.ReadError(st);
        failure.Finish(tsCurrency());
        return Fail();
      }
      if (found) {
        balance += target.GetAmount();
        m_PreviousTransaction = target;
        m_PreviousBalance = balance;
        r.at_previous = true;
        return balance;
      }
      // Not ahead of the remembered line as the file stands: start over.
    }
  }

  // A fresh start: the register balance at the end of the day before the
  // line's date, then the lines of its day up to it.
  m_HasPrevious = false;
  r.at_previous = false;
  const tsDate& day = target.GetTransactionDate();
  bkRegisterBalanceAsOfDateAccumulator opening(bank, day.IsEmpty() ? day : day - 1, m_MasterFile, r.own);
  tsCurrency balance = opening.accumulate();
  if (bkIsBalanceFailure(balance)) return Fail();  // its line is written
  if (balance == tsCurrency()) {
    BankAccount b(m_MasterFile, m_sBankAccountColumns, 0);
    tsioBookmark mark(*b.CursorPtr());
    b.m_Record.SetBankAccount(bank);
    st = b.FetchEQ(false);
    const tsioStatus::Status back = mark.GoTo();
    if (st == tsioStatus::kSuccess && back != tsioStatus::kNotFound) st = back;
    if (st != tsioStatus::kSuccess) {
      failure.RecordError(bank.str(), st);
      failure.Finish(tsCurrency());
      return Fail();
    }
  }
  r.lines->Initialize();
  r.lines->m_Record.SetBankAccount(bank);
  r.lines->m_Record.SetTransactionDate(day);
  r.lines->m_Record.SetCheck(tsDouble(0));
  r.lines->m_Record.SetSubtraction(tsCurrency());
  r.lines->m_Record.SetRun(tsDouble(0));
  r.lines->m_Record.SetSequence(tsDouble(0));
  st = r.lines->FetchGE(false);
  bool found = false;
  while (st == tsioStatus::kSuccess && r.lines->m_Record.GetBankAccount() == bank) {
    const int w = RegisterOrder(r.lines->m_Record, target);
    if (w == 0) {
      found = true;
      break;
    }
    if (w > 0) break;
    balance += r.lines->m_Record.GetAmount();
    st = r.Next(*r.lines, bank);
  }
  if (st != tsioStatus::kSuccess && st != tsioStatus::kEndOfFile) {
    failure.ReadError(st);
    failure.Finish(tsCurrency());
    return Fail();
  }
  balance += target.GetAmount();
  if (found) {
    m_PreviousTransaction = target;
    m_PreviousBalance = balance;
    m_HasPrevious = true;
    r.at_previous = true;
  }
  return balance;
}

tsCurrency bkRunningBalanceAccumulator::accumulate(const tsAlpha& bank, const tsDouble& run,
                                                   const tsDouble& sequence) {
  Transaction t(m_TransactionFile, m_sTransactionColumns, 0);
  BankAccount b(m_MasterFile, m_sBankAccountColumns, 0);
  tsioBookmark tmark(*t.CursorPtr());
  tsioBookmark bmark(*b.CursorPtr());
  t.m_Record.SetBankAccount(bank);
  t.m_Record.SetRun(run);
  t.m_Record.SetSequence(sequence);
  tsioStatus::Status st = t.FetchEQ(false);
  if (st == tsioStatus::kSuccess) {
    b.m_Record.SetBankAccount(bank);
    st = b.FetchEQ(false);
  }
  if (st != tsioStatus::kSuccess) {
    (void)tmark.GoTo();
    (void)bmark.GoTo();
    x_log(0, "Helper function failed");
    return Fail();
  }
  const tsCurrency result = accumulate();
  if (bkIsBalanceFailure(result)) {  // no balance: the files go back where they were
    (void)tmark.GoTo();
    (void)bmark.GoTo();
  }
  return result;
}

// ---- GL cash accounts ----

struct bkCashRunningBalanceAccumulator::Reader {
  tsioDataFile own;
  short index = 15;
  std::unique_ptr<CashDetail> target, step, lines;
  bool at_previous = false;

  tsioStatus::Status Open(const tsioDataFileReference& master, const tsioDataFileReference& transactions) {
    const tsioStatus::Status st = OpenOwn(transactions, own);
    if (st != tsioStatus::kSuccess) return st;
    if (!master.IsValid()) return tsioStatus::kFileNotOpen;
    index = bkBalanceIndex(transactions, CashDetailData::kRecordType, 15);
    target = std::make_unique<CashDetail>(transactions, bkCashRunningBalanceAccumulator::m_sCashDetailColumns, index);
    step = std::make_unique<CashDetail>(own, kCashStepColumns, index);
    lines = std::make_unique<CashDetail>(own, bkCashRunningBalanceAccumulator::m_sCashDetailColumns, index);
    return tsioStatus::kSuccess;
  }
  // The next cash detail of the bank account (BankAccountCashDetailsRel's
  // steps), as for transactions.
  tsioStatus::Status Next(CashDetail& c, const tsAlpha& account) {
    const tsioStatus::Status st = c.FetchNext(false);
    if (st == tsioStatus::kSuccess && c.m_Record.GetBankAccount() != account) return tsioStatus::kEndOfFile;
    return st;
  }
};

bkCashRunningBalanceAccumulator::bkCashRunningBalanceAccumulator(const tsioDataFileReference& master_file,
                                                                 const tsioDataFileReference& transaction_file)
    : m_MasterFile(master_file), m_TransactionFile(transaction_file), m_PreviousCashDetail(m_sCashDetailColumns) {}

bkCashRunningBalanceAccumulator::bkCashRunningBalanceAccumulator(const bkCashRunningBalanceAccumulator& other)
    : m_MasterFile(other.m_MasterFile),
      m_TransactionFile(other.m_TransactionFile),
      m_HasPrevious(other.m_HasPrevious),
      m_PreviousCashDetail(other.m_PreviousCashDetail, m_sCashDetailColumns),
      m_PreviousBalance(other.m_PreviousBalance),
      m_PreviousCashAccount(other.m_PreviousCashAccount) {}

bkCashRunningBalanceAccumulator& bkCashRunningBalanceAccumulator::operator=(
    const bkCashRunningBalanceAccumulator& other) {
  if (this == &other) return *this;
  m_MasterFile = other.m_MasterFile;
  m_TransactionFile = other.m_TransactionFile;
  m_HasPrevious = other.m_HasPrevious;
  m_PreviousCashDetail = other.m_PreviousCashDetail;
  m_PreviousBalance = other.m_PreviousBalance;
  m_PreviousCashAccount = other.m_PreviousCashAccount;
  m_Reader.reset();
  return *this;
}

bkCashRunningBalanceAccumulator::~bkCashRunningBalanceAccumulator() = default;

void bkCashRunningBalanceAccumulator::setMasterFile(const tsioDataFileReference& master_file) {
  m_MasterFile = master_file;
  m_HasPrevious = false;
  m_PreviousCashDetail = CashDetailData(m_sCashDetailColumns);
  m_PreviousBalance = tsCurrency();
  m_Reader.reset();
}

void bkCashRunningBalanceAccumulator::setTransactionFile(const tsioDataFileReference& transaction_file) {
  m_TransactionFile = transaction_file;
  m_HasPrevious = false;
  m_PreviousCashDetail = CashDetailData(m_sCashDetailColumns);
  m_PreviousBalance = tsCurrency();
  m_Reader.reset();
}

uint64_t bkCashRunningBalanceAccumulator::OwnFetches() const {
  return m_Reader ? m_Reader->own.State(CashDetailData::kRecordType)->fetches : 0;
}

tsCurrency bkCashRunningBalanceAccumulator::Fail() {
  m_HasPrevious = false;
  if (m_Reader) m_Reader->at_previous = false;
  return bkBalanceFailureAmount();
}

tsCurrency bkCashRunningBalanceAccumulator::accumulate() {
  bkBalanceFailure failure;
  if (!m_Reader) {
    auto reader = std::make_unique<Reader>();
    const tsioStatus::Status st = reader->Open(m_MasterFile, m_TransactionFile);
    if (st != tsioStatus::kSuccess) {
      failure.ReadError(st);
      failure.Finish(tsCurrency());
      return Fail();
    }
    m_Reader = std::move(reader);
  }
  Reader& r = *m_Reader;
  tsioStatus::Status st = r.target->Refresh();
  if (st != tsioStatus::kSuccess) {
    failure.ReadError(st);
    failure.Finish(tsCurrency());
    return Fail();
  }
  const CashDetailData& target = r.target->m_Record;
  const tsAlpha& bank = target.GetBankAccount();
  const tsAlpha& cash = target.GetCashAccount();
  auto same_account = [&](const CashDetailData& d) {
    return d.GetBankAccount() == bank && d.GetCashAccount() == cash;
  };

  if (m_HasPrevious && bank == m_PreviousCashDetail.GetBankAccount() && cash == m_PreviousCashAccount) {
    const int order = CashOrder(m_PreviousCashDetail, target);
    if (order == 0) return m_PreviousBalance;
    if (order < 0) {
      if (!r.at_previous) {
        r.step->m_Record = m_PreviousCashDetail;
        st = r.step->SetBuffer();
        if (st != tsioStatus::kSuccess) {
          failure.ReadError(st);
          failure.Finish(tsCurrency());
          return Fail();
        }
      }
      r.at_previous = false;
      tsCurrency balance = m_PreviousBalance;
      st = r.Next(*r.step, bank);
      bool found = false;
      if (st == tsioStatus::kSuccess && same_account(r.step->m_Record)) {
        const int where = CashOrder(r.step->m_Record, target);
        if (where == 0) {
          found = true;
        } else if (where < 0) {
          st = r.lines->FetchCurrent(false);
          while (st == tsioStatus::kSuccess && same_account(r.lines->m_Record)) {
            const int w = CashOrder(r.lines->m_Record, target);
            if (w == 0) {
              found = true;
              break;
            }
            if (w > 0) break;
            balance += r.lines->m_Record.GetAmount();
            st = r.Next(*r.lines, bank);
          }
        }
      }
      if (st != tsioStatus::kSuccess && st != tsioStatus::kEndOfFile) {
        failure.ReadError(st);
        failure.Finish(tsCurrency());
        return Fail();
      }
      if (found) {
        balance += target.GetAmount();
        m_PreviousCashDetail = target;
        m_PreviousBalance = balance;
        r.at_previous = true;
        return balance;
      }
    }
  }

  m_HasPrevious = false;
  r.at_previous = false;
  const tsDate& day = target.GetAccountingDate();
  bkCashAccountBalanceAsOfDateAccumulator opening(bank, cash, day.IsEmpty() ? day : day - 1, m_MasterFile, r.own);
  tsCurrency balance = opening.accumulate();
  if (bkIsBalanceFailure(balance)) return Fail();
  if (balance == tsCurrency()) {
    BankAccount b(m_MasterFile, m_sBankAccountColumns, 0);
    tsioBookmark mark(*b.CursorPtr());
    b.m_Record.SetBankAccount(bank);
    st = b.FetchEQ(false);
    const tsioStatus::Status back = mark.GoTo();
    if (st == tsioStatus::kSuccess && back != tsioStatus::kNotFound) st = back;
    if (st != tsioStatus::kSuccess) {
      failure.RecordError(bank.str(), st);
      failure.Finish(tsCurrency());
      return Fail();
    }
  }
  r.lines->Initialize();
  r.lines->m_Record.SetBankAccount(bank);
  r.lines->m_Record.SetCashAccount(cash);
  r.lines->m_Record.SetAccountingDate(day);
  st = r.lines->FetchGE(false);
  bool found = false;
  while (st == tsioStatus::kSuccess && same_account(r.lines->m_Record)) {
    const int w = CashOrder(r.lines->m_Record, target);
    if (w == 0) {
      found = true;
      break;
    }
    if (w > 0) break;
    balance += r.lines->m_Record.GetAmount();
    st = r.Next(*r.lines, bank);
  }
  if (st != tsioStatus::kSuccess && st != tsioStatus::kEndOfFile) {
    failure.ReadError(st);
    failure.Finish(tsCurrency());
    return Fail();
  }
  balance += target.GetAmount();
  if (found) {
    m_PreviousCashDetail = target;
    m_PreviousCashAccount = cash;
    m_PreviousBalance = balance;
    m_HasPrevious = true;
    r.at_previous = true;
  }
  return balance;
}

tsCurrency bkCashRunningBalanceAccumulator::accumulate(const tsAlpha& bank, const tsDouble& transaction_run,
                                                       const tsDouble& transaction_sequence,
                                                       const tsDouble& cash_run, const tsDouble& cash_sequence) {
  CashDetail c(m_TransactionFile, m_sCashDetailColumns, 0);
  BankAccount b(m_MasterFile, m_sBankAccountColumns, 0);
  tsioBookmark cmark(*c.CursorPtr());
  tsioBookmark bmark(*b.CursorPtr());
  c.m_Record.SetBankAccount(bank);
  c.m_Record.SetTranRun(transaction_run);
  c.m_Record.SetTranSequence(transaction_sequence);
  c.m_Record.SetCashDetailRun(cash_run);
  c.m_Record.SetCashDetailSequence(cash_sequence);
  tsioStatus::Status st = c.FetchEQ(false);
  if (st == tsioStatus::kSuccess) {
    b.m_Record.SetBankAccount(bank);
    st = b.FetchEQ(false);
  }
  if (st != tsioStatus::kSuccess) {
    (void)cmark.GoTo();
    (void)bmark.GoTo();
    x_log(0, "Helper function failed");
    return Fail();
  }
  const tsCurrency result = accumulate();
  if (bkIsBalanceFailure(result)) {
    (void)cmark.GoTo();
    (void)bmark.GoTo();
  }
  return result;
}
