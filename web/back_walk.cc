// The register read backwards over both transaction files (back_walk.h).
#include "web/back_walk.h"

namespace bkweb {

namespace {

constexpr short kRegisterIndex = 5;
constexpr const char* kOrderColumns[] = {"TBNKACC", "TTRANDT", "TCHECK", "TSUBTR", "TRUN", "TSEQ"};

std::string WithOrderColumns(const std::string& columns) {
  if (columns.empty()) return columns;
  std::string out = columns;
  const std::string padded = ";" + columns + ";";
  for (const char* c : kOrderColumns) {
    if (padded.find(";" + std::string(c) + ";") == std::string::npos) out += ";" + std::string(c);
  }
  return out;
}

bool Ended(tsioStatus::Status st) { return st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound; }

}  // namespace

struct BackWalk::Side {
  Side(const tsioDataFile& file, const std::string& columns) : cursor(file, columns, kRegisterIndex) {}
  Transaction cursor;
  tsioStatus::Status head = tsioStatus::kEndOfFile;  // kSuccess: the cursor holds the next line
};

BackWalk::BackWalk(const tsioDataFile& current, const tsioDataFile& history, const std::string& columns) {
  const std::string bound = WithOrderColumns(columns);
  sides_[0] = std::make_unique<Side>(current, bound);
  sides_[1] = std::make_unique<Side>(history, bound);
}

BackWalk::~BackWalk() = default;

void BackWalk::Start(const std::string& bank, const bkreg::RegisterPosition* before) {
  failed_ = tsioStatus::kSuccess;
  served_ = nullptr;
  bank_ = bank;
  // Past the account's last line: above every date, number, amount, run and
  // sequence its columns can hold.
  bkreg::RegisterPosition end;
  end.date = tsDate(9999, 12, 31);
  end.check = tsDouble(999999999999LL, 0);
  end.subtraction = tsCurrency(tsDouble::FromText("9999999999999.99", 2));
  end.run = tsDouble(999999999LL, 0);
  end.sequence = tsDouble(999999999LL, 0);
  const bkreg::RegisterPosition& at = before != nullptr ? *before : end;
  for (auto& s : sides_) {
    Transaction& t = s->cursor;
    // No range: the position's whole index value bounds the query, so the
    // index is entered at the position (a range on the bank account would
    // make the engine walk from the account's end down to it). Lines of
    // another account end the walk.
    t.DetachRange();
    t.Initialize();
    t.m_Record.SetBankAccount(tsAlpha(bank));
    t.m_Record.SetTransactionDate(at.date);
    t.m_Record.SetCheck(at.check);
    t.m_Record.SetSubtraction(at.subtraction);
    t.m_Record.SetRun(at.run);
    t.m_Record.SetSequence(at.sequence);
    // The first line at or after the position, then the one before it;
    // none at or after: the last line of the file is before it.
    tsioStatus::Status st = t.FetchGE(false);
    if (st == tsioStatus::kSuccess) {
      st = t.FetchPrev(false);
    } else if (Ended(st)) {
      st = t.FetchLast(false);
    }
    if (st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() != tsAlpha(bank)) st = tsioStatus::kEndOfFile;
    if (Ended(st)) st = tsioStatus::kEndOfFile;
    s->head = st;
    if (st != tsioStatus::kSuccess && st != tsioStatus::kEndOfFile) failed_ = st;
  }
}

tsioStatus::Status BackWalk::Prev(const TransactionData** line, bool* posted) {
  if (failed_ != tsioStatus::kSuccess) return failed_;
  if (served_ != nullptr) {
    tsioStatus::Status st = served_->cursor.FetchPrev(false);
    if (st == tsioStatus::kSuccess && served_->cursor.m_Record.GetBankAccount() != tsAlpha(bank_)) {
      st = tsioStatus::kEndOfFile;
    }
    if (Ended(st)) st = tsioStatus::kEndOfFile;
    served_->head = st;
    served_ = nullptr;
    if (st != tsioStatus::kSuccess && st != tsioStatus::kEndOfFile) return failed_ = st;
  }
  Side& current = *sides_[0];
  Side& history = *sides_[1];
  Side* pick = nullptr;
  if (current.head == tsioStatus::kSuccess && history.head == tsioStatus::kSuccess) {
    const int c = bkreg::RegisterPosition::Compare(bkreg::RegisterPosition::Of(current.cursor.m_Record),
                                                   bkreg::RegisterPosition::Of(history.cursor.m_Record));
    pick = c >= 0 ? &current : &history;
  } else if (current.head == tsioStatus::kSuccess) {
    pick = &current;
  } else if (history.head == tsioStatus::kSuccess) {
    pick = &history;
  } else {
    return tsioStatus::kEndOfFile;
  }
  served_ = pick;
  *line = &pick->cursor.m_Record;
  *posted = pick == &history;
  return tsioStatus::kSuccess;
}

}  // namespace bkweb
