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

// The part of the walk that depends on the record kind.
template <typename Record>
struct RunKind;

template <>
struct RunKind<TransactionData> {
  using Cursor = Transaction;
  static constexpr short kIndex = 5;
  static constexpr const char* kStepColumns = kTranStepColumns;
  static const CString& Columns() { return bkRunningBalanceAccumulator::m_sTransactionColumns; }
  static const CString& BankColumns() { return bkRunningBalanceAccumulator::m_sBankAccountColumns; }
  static int Order(const TransactionData& a, const TransactionData& b) { return RegisterOrder(a, b); }
  // Of the target's account: the same bank account.
  static bool Same(const TransactionData& d, const TransactionData& target) {
    return d.GetBankAccount() == target.GetBankAccount();
  }
  static const tsDate& Day(const TransactionData& t) { return t.GetTransactionDate(); }
  // The register balance at the end of `before`.
  static tsCurrency Opening(const TransactionData& t, const tsDate& before, const tsioDataFileReference& master,
                            const tsioDataFileReference& own) {
    bkRegisterBalanceAsOfDateAccumulator opening(t.GetBankAccount(), before, master, own);
    return opening.accumulate();
  }
  // The key of the day's first line in index order.
  static void DayStart(TransactionData& key, const TransactionData& t) {
    key.SetBankAccount(t.GetBankAccount());
    key.SetTransactionDate(t.GetTransactionDate());
    key.SetCheck(tsDouble(0));
    key.SetSubtraction(tsCurrency());
    key.SetRun(tsDouble(0));
    key.SetSequence(tsDouble(0));
  }
};

template <>
struct RunKind<CashDetailData> {
  using Cursor = CashDetail;
  static constexpr short kIndex = 15;
  static constexpr const char* kStepColumns = kCashStepColumns;
  static const CString& Columns() { return bkCashRunningBalanceAccumulator::m_sCashDetailColumns; }
  static const CString& BankColumns() { return bkCashRunningBalanceAccumulator::m_sBankAccountColumns; }
  static int Order(const CashDetailData& a, const CashDetailData& b) { return CashOrder(a, b); }
  // Of the target's account: the same bank and GL cash account.
  static bool Same(const CashDetailData& d, const CashDetailData& target) {
    return d.GetBankAccount() == target.GetBankAccount() && d.GetCashAccount() == target.GetCashAccount();
  }
  static const tsDate& Day(const CashDetailData& c) { return c.GetAccountingDate(); }
  // The cash account's balance at the end of `before`.
  static tsCurrency Opening(const CashDetailData& c, const tsDate& before, const tsioDataFileReference& master,
                            const tsioDataFileReference& own) {
    bkCashAccountBalanceAsOfDateAccumulator opening(c.GetBankAccount(), c.GetCashAccount(), before, master, own);
    return opening.accumulate();
  }
  static void DayStart(CashDetailData& key, const CashDetailData& c) {
    key.SetBankAccount(c.GetBankAccount());
    key.SetCashAccount(c.GetCashAccount());
    key.SetAccountingDate(c.GetAccountingDate());
  }
};

}  // namespace

// The walk's cursors. `target` reads the caller's current record; the
// others read through the walk's own handle: `step` the index columns of
// the next line (served from what was read ahead), `lines` the lines with
// their amounts.
template <typename Record>
struct bkRunningBalanceWalk<Record>::Reader {
  using Kind = RunKind<Record>;
  using Cursor = typename Kind::Cursor;
  tsioDataFile own;
  short index = Kind::kIndex;
  std::unique_ptr<Cursor> target, step, lines;
  bool at_previous = false;  // `own` stands on the remembered line

  tsioStatus::Status Open(const tsioDataFileReference& master, const tsioDataFileReference& transactions) {
    const tsioStatus::Status st = OpenOwn(transactions, own);
    if (st != tsioStatus::kSuccess) return st;
    if (!master.IsValid()) return tsioStatus::kFileNotOpen;
    index = bkBalanceIndex(transactions, Record::kRecordType, Kind::kIndex);
    target = std::make_unique<Cursor>(transactions, Kind::Columns(), index);
    step = std::make_unique<Cursor>(own, Kind::kStepColumns, index);
    lines = std::make_unique<Cursor>(own, Kind::Columns(), index);
    return tsioStatus::kSuccess;
  }
  // The bank account's next line (the steps of BankAccountTransactionsRel
  // and BankAccountCashDetailsRel): a plain FetchNext in index order, whose
  // query starts at the current line; end of file (12) past the account's
  // last one.
  tsioStatus::Status Next(Cursor& c, const tsAlpha& account) {
    const tsioStatus::Status st = c.FetchNext(false);
    if (st == tsioStatus::kSuccess && c.m_Record.GetBankAccount() != account) return tsioStatus::kEndOfFile;
    return st;
  }
};

template <typename Record>
bkRunningBalanceWalk<Record>::bkRunningBalanceWalk(const tsioDataFileReference& master_file,
                                                   const tsioDataFileReference& transaction_file)
    : m_MasterFile(master_file), m_TransactionFile(transaction_file), m_Previous(RunKind<Record>::Columns()) {}

template <typename Record>
bkRunningBalanceWalk<Record>::bkRunningBalanceWalk(const bkRunningBalanceWalk& other)
    : m_MasterFile(other.m_MasterFile),
      m_TransactionFile(other.m_TransactionFile),
      m_HasPrevious(other.m_HasPrevious),
      m_Previous(other.m_Previous, RunKind<Record>::Columns()),
      m_PreviousBalance(other.m_PreviousBalance) {}

template <typename Record>
bkRunningBalanceWalk<Record>& bkRunningBalanceWalk<Record>::operator=(const bkRunningBalanceWalk& other) {
  if (this == &other) return *this;
  m_MasterFile = other.m_MasterFile;
  m_TransactionFile = other.m_TransactionFile;
  m_HasPrevious = other.m_HasPrevious;
  m_Previous = other.m_Previous;
  m_PreviousBalance = other.m_PreviousBalance;
  m_Reader.reset();  // cursors of the files this object held before
  return *this;
}

template <typename Record>
bkRunningBalanceWalk<Record>::~bkRunningBalanceWalk() = default;

template <typename Record>
void bkRunningBalanceWalk<Record>::Forget() {
  m_HasPrevious = false;
  m_Previous = Record(RunKind<Record>::Columns());
  m_PreviousBalance = tsCurrency();
  m_Reader.reset();
}

template <typename Record>
void bkRunningBalanceWalk<Record>::SetMasterFile(const tsioDataFileReference& master_file) {
  m_MasterFile = master_file;
  Forget();
}

template <typename Record>
void bkRunningBalanceWalk<Record>::SetTransactionFile(const tsioDataFileReference& transaction_file) {
  m_TransactionFile = transaction_file;
  Forget();
}

template <typename Record>
uint64_t bkRunningBalanceWalk<Record>::OwnFetches() const {
  return m_Reader ? m_Reader->own.State(Record::kRecordType)->fetches : 0;
}

template <typename Record>
tsCurrency bkRunningBalanceWalk<Record>::Fail() {
  m_HasPrevious = false;
  if (m_Reader) m_Reader->at_previous = false;
  return bkBalanceFailureAmount();
}

template <typename Record>
tsCurrency bkRunningBalanceWalk<Record>::Accumulate() {
  using Kind = RunKind<Record>;
  bkBalanceFailure failure;
  auto read_error = [&](tsioStatus::Status status) {
    failure.ReadError(status);
    failure.Finish(tsCurrency());
    return Fail();
  };
  if (!m_Reader) {
    auto reader = std::make_unique<Reader>();
    const tsioStatus::Status st = reader->Open(m_MasterFile, m_TransactionFile);
    if (st != tsioStatus::kSuccess) return read_error(st);
    m_Reader = std::move(reader);
  }
  Reader& r = *m_Reader;
  // The line asked for: the transaction file's current record.
  tsioStatus::Status st = r.target->Refresh();
  if (st != tsioStatus::kSuccess) return read_error(st);
  const Record& target = r.target->m_Record;
  const tsAlpha& bank = target.GetBankAccount();
  auto same = [&](const Record& d) { return Kind::Same(d, target); };
  // Adds the lines from `lines`' current one up to the target; true when
  // the target was reached.
  auto add_lines_up_to_target = [&](tsCurrency& balance) {
    while (st == tsioStatus::kSuccess && same(r.lines->m_Record)) {
      const int w = Kind::Order(r.lines->m_Record, target);
      if (w == 0) return true;
      if (w > 0) break;
      balance += r.lines->m_Record.GetAmount();
      st = r.Next(*r.lines, bank);
    }
    return false;
  };

  if (m_HasPrevious && same(m_Previous)) {
    const int order = Kind::Order(m_Previous, target);
    if (order == 0) return m_PreviousBalance;
    if (order < 0) {
      // Forward from the remembered line: the next line is one step.
      if (!r.at_previous) {
        r.step->m_Record = m_Previous;
        st = r.step->SetBuffer();
        if (st != tsioStatus::kSuccess) return read_error(st);
      }
      r.at_previous = false;
      tsCurrency balance = m_PreviousBalance;
      st = r.Next(*r.step, bank);
      bool found = false;
      if (st == tsioStatus::kSuccess && same(r.step->m_Record)) {
        const int where = Kind::Order(r.step->m_Record, target);
        if (where == 0) {
          found = true;
        } else if (where < 0) {
          // Lines between: read them with their amounts.
          st = r.lines->FetchCurrent(false);
          found = add_lines_up_to_target(balance);
        }
      }
      if (st != tsioStatus::kSuccess && st != tsioStatus::kEndOfFile) return read_error(st);
      if (found) {
        balance += target.GetAmount();
        m_Previous = target;
        m_PreviousBalance = balance;
        r.at_previous = true;
        return balance;
      }
      // Not ahead of the remembered line as the file stands: start over.
    }
  }

  // A fresh start: the account's balance at the end of the day before the
  // line's date, then the lines of its day up to it.
  m_HasPrevious = false;
  r.at_previous = false;
  const tsDate& day = Kind::Day(target);
  tsCurrency balance = Kind::Opening(target, day.IsEmpty() ? day : day - 1, m_MasterFile, r.own);
  if (bkIsBalanceFailure(balance)) return Fail();  // its line is written
  if (balance == tsCurrency()) {
    BankAccount b(m_MasterFile, Kind::BankColumns(), 0);
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
  Kind::DayStart(r.lines->m_Record, target);
  st = r.lines->FetchGE(false);
  const bool found = add_lines_up_to_target(balance);
  if (st != tsioStatus::kSuccess && st != tsioStatus::kEndOfFile) return read_error(st);
  balance += target.GetAmount();
  if (found) {
    m_Previous = target;
    m_PreviousBalance = balance;
    m_HasPrevious = true;
    r.at_previous = true;
  }
  return balance;
}

template <typename Record>
tsCurrency bkRunningBalanceWalk<Record>::AccumulateAt(const tsAlpha& bank,
                                                      const std::function<void(Record&)>& set_key) {
  typename RunKind<Record>::Cursor c(m_TransactionFile, RunKind<Record>::Columns(), 0);
  BankAccount b(m_MasterFile, RunKind<Record>::BankColumns(), 0);
  tsioBookmark cmark(*c.CursorPtr());
  tsioBookmark bmark(*b.CursorPtr());
  set_key(c.m_Record);
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
  const tsCurrency result = Accumulate();
  if (bkIsBalanceFailure(result)) {  // no balance: the files go back where they were
    (void)cmark.GoTo();
    (void)bmark.GoTo();
  }
  return result;
}

template class bkRunningBalanceWalk<TransactionData>;
template class bkRunningBalanceWalk<CashDetailData>;

// ---- register ----

bkRunningBalanceAccumulator::bkRunningBalanceAccumulator(const tsioDataFileReference& master_file,
                                                         const tsioDataFileReference& transaction_file)
    : m_Walk(master_file, transaction_file) {}
bkRunningBalanceAccumulator::bkRunningBalanceAccumulator(const bkRunningBalanceAccumulator& other) = default;
bkRunningBalanceAccumulator& bkRunningBalanceAccumulator::operator=(const bkRunningBalanceAccumulator& other) =
    default;
bkRunningBalanceAccumulator::~bkRunningBalanceAccumulator() = default;

void bkRunningBalanceAccumulator::setMasterFile(const tsioDataFileReference& master_file) {
  m_Walk.SetMasterFile(master_file);
}
void bkRunningBalanceAccumulator::setTransactionFile(const tsioDataFileReference& transaction_file) {
  m_Walk.SetTransactionFile(transaction_file);
}
uint64_t bkRunningBalanceAccumulator::OwnFetches() const { return m_Walk.OwnFetches(); }
tsCurrency bkRunningBalanceAccumulator::accumulate() { return m_Walk.Accumulate(); }

tsCurrency bkRunningBalanceAccumulator::accumulate(const tsAlpha& bank, const tsDouble& run,
                                                   const tsDouble& sequence) {
  return m_Walk.AccumulateAt(bank, [&](TransactionData& key) {
    key.SetBankAccount(bank);
    key.SetRun(run);
    key.SetSequence(sequence);
  });
}

// ---- GL cash accounts ----

bkCashRunningBalanceAccumulator::bkCashRunningBalanceAccumulator(const tsioDataFileReference& master_file,
                                                                 const tsioDataFileReference& transaction_file)
    : m_Walk(master_file, transaction_file) {}
bkCashRunningBalanceAccumulator::bkCashRunningBalanceAccumulator(const bkCashRunningBalanceAccumulator& other) =
    default;
bkCashRunningBalanceAccumulator& bkCashRunningBalanceAccumulator::operator=(
    const bkCashRunningBalanceAccumulator& other) = default;
bkCashRunningBalanceAccumulator::~bkCashRunningBalanceAccumulator() = default;

void bkCashRunningBalanceAccumulator::setMasterFile(const tsioDataFileReference& master_file) {
  m_Walk.SetMasterFile(master_file);
}
void bkCashRunningBalanceAccumulator::setTransactionFile(const tsioDataFileReference& transaction_file) {
  m_Walk.SetTransactionFile(transaction_file);
}
uint64_t bkCashRunningBalanceAccumulator::OwnFetches() const { return m_Walk.OwnFetches(); }
tsCurrency bkCashRunningBalanceAccumulator::accumulate() { return m_Walk.Accumulate(); }

tsCurrency bkCashRunningBalanceAccumulator::accumulate(const tsAlpha& bank, const tsDouble& transaction_run,
                                                       const tsDouble& transaction_sequence,
                                                       const tsDouble& cash_run, const tsDouble& cash_sequence) {
  return m_Walk.AccumulateAt(bank, [&](CashDetailData& key) {
    key.SetBankAccount(bank);
    key.SetTranRun(transaction_run);
    key.SetTranSequence(transaction_sequence);
    key.SetCashDetailRun(cash_run);
    key.SetCashDetailSequence(cash_sequence);
  });
}
