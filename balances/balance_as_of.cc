// The as-of walk, the failure amount and the work-file index translation.
#include "balances/balance_as_of.h"

#include <algorithm>
#include <vector>

#include "framework/base/errors.h"
#include "framework/base/log.h"
#include "framework/io/bookmark.h"
#include "framework/io/dictionary.h"
#include "transactions/transaction.h"

tsCurrency bkBalanceFailureAmount() { return tsCurrency(tsDouble::FromScaled(-999999999999999, 2, 2)); }

bool bkIsBalanceFailure(const tsCurrency& amount) { return amount == bkBalanceFailureAmount(); }

// ---- index translation ----

namespace {

struct ExpectedIndex {
  short number;
  std::vector<const char*> columns;
};

const std::vector<ExpectedIndex>& Expected() {
  static const std::vector<ExpectedIndex> expected = {
      {2, {"TBNKACC", "TSTMTDT"}},
      {5, {"TBNKACC", "TTRANDT", "TCHECK", "TSUBTR", "TRUN", "TSEQ"}},
      {12, {"TBNKACC", "TRECDT", "TRUN", "TSEQ"}},
      {13, {"TBNKACC", "TACTGDT", "TRUN", "TSEQ"}},
      {15, {"CDBNKAC", "CDCSHAC", "CDACCDT"}},
  };
  return expected;
}

}  // namespace

short bkBalanceIndex(const tsioDataFileReference& file, short record_type, short requested) {
  const short fn = file.FileNum();
  if (fn < 401 || fn > 600) return requested;
  const ExpectedIndex* want = nullptr;
  for (const auto& e : Expected()) {
    if (e.number == requested) want = &e;
  }
  if (!want) return 0;
  std::vector<short> expected;
  for (const char* c : want->columns) {
    const short n = xio_num(fn, record_type, c);
    if (n == 0) return 0;
    expected.push_back(n);
  }
  xio_rec_def rd;
  xio_key_def key;
  if (xio_get_rec_def(fn, record_type, &rd) != tsioStatus::kSuccess) return 0;
  if (xio_get_key_def(fn, record_type, 0, &key) != tsioStatus::kSuccess) return 0;
  const std::vector<short> record_key = key.segments;
  // Keys 1 to n (index 0 is the record's key); the order a key gives is its
  // segments followed by the record key's segments it lacks.
  for (short k = 1; k < rd.key_count; ++k) {
    if (xio_get_key_def(fn, record_type, k, &key) != tsioStatus::kSuccess) continue;
    std::vector<short> order(key.segments.begin(), key.segments.begin() + key.segment_count);
    for (short s : record_key) {
      if (std::find(order.begin(), order.end(), s) == order.end()) order.push_back(s);
    }
    if (order.size() >= expected.size() && std::equal(expected.begin(), expected.end(), order.begin())) return k;
  }
  return 0;
}

// ---- failures ----

void bkBalanceFailure::ReadError(tsioStatus::Status status) { Set("AFF FAIL: Read Error " + ccIOStatusStr(status)); }

void bkBalanceFailure::RecordError(const std::string& ids, tsioStatus::Status status) {
  Set("AFF FAIL: " + ids + ", " + ccIOStatusStr(status));
}

void bkBalanceFailure::Restored(tsioStatus::Status status) {
  // A record gone meanwhile (13) leaves the position as it was saved; only
  // a read that failed is a failure.
  if (status != tsioStatus::kSuccess && status != tsioStatus::kNotFound) ReadError(status);
}

tsCurrency bkBalanceFailure::Finish(const tsCurrency& amount) const {
  if (!failed_) return amount;
  x_log(0, line_);
  return bkBalanceFailureAmount();
}

// ---- the walk ----

bkBalanceAsOf::bkBalanceAsOf(const tsAlpha& bank, const tsDate& as_of, const tsCurrency& ending,
                             const tsioDataFileReference& transaction_file, short index, const CString& columns,
                             Contribution contribution, DatePrimer primer)
    : m_BankAccount(bank),
      m_AsOfDate(as_of),
      m_Amount(ending),
      m_TransactionFile(transaction_file),
      m_Index(index),
      m_Contribution(contribution ? contribution : &DefaultContribution),
      m_DatePrimer(primer ? primer : &DefaultDatePrimer),
      m_Columns(columns) {}

bkBalanceAsOf::~bkBalanceAsOf() = default;

void bkBalanceAsOf::SetStopDate(const tsDate& stop) {
  m_StopDate = stop;
  m_StopDateSet = true;
}

tsCurrency bkBalanceAsOf::DefaultContribution(const Transaction& transaction) {
  return transaction.m_Record.GetAmount();
}

void bkBalanceAsOf::DefaultDatePrimer(Transaction& transaction, const tsDate& date) {
  transaction.m_Record.SetTransactionDate(date);
}

tsCurrency bkBalanceAsOf::Walk(bkBalanceFailure& failure) {
  m_Reads = 0;
  m_Stopped = false;
  Transaction t(m_TransactionFile, m_Columns, m_Index);
  const uint64_t before = t.CursorPtr()->FetchCount();
  tsioBookmark mark(*t.CursorPtr());
  // Search from an empty record, so that index columns this cursor does not
  // bind search from their lowest values rather than from another record's.
  t.Initialize();
  t.m_Record.SetBankAccount(m_BankAccount);
  m_DatePrimer(t, m_AsOfDate.IsEmpty() ? m_AsOfDate : m_AsOfDate + 1);
  t.m_Record.SetCheck(tsDouble(0));
  t.m_Record.SetAddition(tsCurrency());
  t.m_Record.SetSubtraction(tsCurrency());
  t.m_Record.SetRun(tsDouble(0));
  t.m_Record.SetSequence(tsDouble(0));
  const bool stop = m_StopDateSet && !m_StopDate.IsEmpty();
  tsioStatus::Status st = t.FetchGT(false);
  while (st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == m_BankAccount) {
    if (stop && t.m_Record.GetStatementDate() > m_StopDate) {
      m_Stopped = true;
      break;
    }
    m_Amount -= m_Contribution(t);
    st = t.FetchNext(false);
  }
  if (st != tsioStatus::kSuccess && st != tsioStatus::kEndOfFile) failure.ReadError(st);
  failure.Restored(mark.GoTo());
  m_Reads = static_cast<long>(t.CursorPtr()->FetchCount() - before);
  return m_Amount;
}
