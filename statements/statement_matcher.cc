// Matching statement lines to register transactions by indexed fetches.
#include "statements/statement_matcher.h"

#include <algorithm>

#include "transactions/transaction.h"

namespace {

// What a candidate search reads: the key, what a proposal shows and what
// decides whether it is a candidate.
constexpr const char kColumns[] = "TBNKACC;TRUN;TSEQ;TRANTYP;TTRANDT;TSUBTR;TADD;TRECOND;TPOSTED;TCHECK;TDEPDTE;TDEPID";

}  // namespace

bkMatchCandidate bkMatchCandidateOf(const TransactionData& r, short instance) {
  bkMatchCandidate c;
  c.instance = instance;
  c.run = r.GetRun().ToLongLong();
  c.sequence = r.GetSequence().ToLongLong();
  c.type = r.GetType().Value();
  c.date = r.GetTransactionDate();
  c.amount = r.GetAmount();
  c.check = r.GetCheck().ToLongLong();
  c.deposit_id = r.GetDepositID().str();
  c.posted = static_cast<bool>(r.GetPosted());
  c.state = r.GetReconciled().Value();
  return c;
}

namespace {

// An open transaction is a candidate; a settled one is kept apart when
// `settled_too` (a check of the line's number, or a transaction of its
// amount), once.
void Collect(const Transaction& t, short instance, bool settled_too, bkLineMatch* found) {
  bkMatchCandidate c = bkMatchCandidateOf(t.m_Record, instance);
  if (c.state == TransactionData::kStateOpen) {
    found->candidates.push_back(std::move(c));
  } else if (settled_too && std::find(found->settled.begin(), found->settled.end(), c) == found->settled.end()) {
    found->settled.push_back(std::move(c));
  }
}

// Ends a walk: the end of the records is its normal end.
tsioStatus::Status EndOfWalk(tsioStatus::Status st) {
  return st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound ? tsioStatus::kSuccess : st;
}

}  // namespace

bkStatementMatcher::bkStatementMatcher(std::vector<const tsioDataFile*> files, const tsAlpha& bank, int window_days)
    : files_(std::move(files)), bank_(bank), window_(window_days < 0 ? 0 : window_days) {}

bkStatementMatcher::~bkStatementMatcher() = default;

Transaction& bkStatementMatcher::Cursor(const tsioDataFile& file, short index) {
  auto& c = cursors_[{&file, index}];
  if (!c) c = std::make_unique<Transaction>(file, kColumns, index);
  return *c;
}

tsioStatus::Status bkStatementMatcher::ByCheck(const tsioDataFile& file, const bkStatementLine& line,
                                               bkLineMatch* found) {
  Transaction& t = Cursor(file, 6);
  t.Initialize();
  t.m_Record.SetBankAccount(bank_);
  t.m_Record.SetCheck(tsDouble(line.check, 0));
  t.m_Record.SetRun(tsDouble(0));
  t.m_Record.SetSequence(tsDouble(0));
  // From the first transaction of the number on (run and sequence 0): a
  // range of the index, which the engine walks by the index whatever it
  // knows of the table (an equality search of bank and number it may walk
  // by the key instead, reading the whole account).
  tsioStatus::Status st = t.FetchGE(false);
  ++fetches_;
  while (st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == bank_ &&
         t.m_Record.GetCheck().ToLongLong() == line.check) {
    Collect(t, file.Spec().Instance(), true, found);
    st = t.FetchNext(false);
    ++fetches_;
  }
  return EndOfWalk(st);
}

tsioStatus::Status bkStatementMatcher::ByReference(const tsioDataFile& file, const bkStatementLine& line,
                                                   bkLineMatch* found) {
  Transaction& t = Cursor(file, 3);
  t.Initialize();
  t.m_Record.SetBankAccount(bank_);
  t.m_Record.SetDepositDate(line.date - window_);
  const tsDate last = line.date + window_;
  tsioStatus::Status st = t.FetchGE(false);
  ++fetches_;
  while (st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == bank_ && t.m_Record.GetDepositDate() <= last) {
    if (t.m_Record.GetDepositID() == line.reference) {
      Collect(t, file.Spec().Instance(), t.m_Record.GetAmount() == line.amount, found);
    }
    st = t.FetchNext(false);
    ++fetches_;
  }
  return EndOfWalk(st);
}

tsioStatus::Status bkStatementMatcher::ByAmount(const tsioDataFile& file, const bkStatementLine& line,
                                                bkLineMatch* found) {
  const bool in = !(line.amount < tsCurrency());
  const tsCurrency add = in ? line.amount : tsCurrency();
  const tsCurrency sub = in ? tsCurrency() : tsCurrency(-line.amount);
  Transaction& t = Cursor(file, 14);
  t.Initialize();
  t.m_Record.SetBankAccount(bank_);
  t.m_Record.SetSubtraction(sub);
  t.m_Record.SetAddition(add);
  t.m_Record.SetTransactionDate(line.date - window_);
  t.m_Record.SetRun(tsDouble(0));
  t.m_Record.SetSequence(tsDouble(0));
  const tsDate last = line.date + window_;
  tsioStatus::Status st = t.FetchGE(false);
  ++fetches_;
  while (st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == bank_ && t.m_Record.GetSubtraction() == sub &&
         t.m_Record.GetAddition() == add && t.m_Record.GetTransactionDate() <= last) {
    Collect(t, file.Spec().Instance(), true, found);
    st = t.FetchNext(false);
    ++fetches_;
  }
  return EndOfWalk(st);
}

tsioStatus::Status bkStatementMatcher::Match(const bkStatementLine& line, bkLineMatch* out) {
  *out = bkLineMatch();
  auto each_file = [&](auto search) {
    for (const tsioDataFile* f : files_) {
      const tsioStatus::Status st = (this->*search)(*f, line, out);
      if (st != tsioStatus::kSuccess) return st;
    }
    return tsioStatus::kSuccess;
  };
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (line.check > 0) {
    out->by = "check";
    st = each_file(&bkStatementMatcher::ByCheck);
  } else {
    if (!line.reference.empty()) {
      out->by = "reference";
      st = each_file(&bkStatementMatcher::ByReference);
    }
    if (st == tsioStatus::kSuccess && out->candidates.empty()) {
      out->by = "amount";
      st = each_file(&bkStatementMatcher::ByAmount);
    }
  }
  if (st != tsioStatus::kSuccess) return st;
  if (out->candidates.empty()) {
    out->kind = bkMatchKind::kUnknown;
  } else if (out->candidates.size() == 1 && out->candidates[0].amount == line.amount) {
    out->kind = bkMatchKind::kExact;
  } else {
    out->kind = bkMatchKind::kAmbiguous;
  }
  return tsioStatus::kSuccess;
}
